#include "OrvalenAccount/OrvalenAccountID.h"

#include "OrvalenAccount/OrvalenJSON.h"

namespace {

bool isLowerHex(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f');
}

} // namespace

bool OrvalenAccountID::isWellFormed() const
{
    // oa_xxxxxxxx-xxxx-7xxx-Vxxx-xxxxxxxxxxxx, checked by position rather than with a
    // regular expression so no locale or case folding can widen what matches.
    static constexpr int prefixLength = 3;
    static constexpr int length = prefixLength + 36;
    if (raw.size() != length || !raw.startsWith(QLatin1String("oa_")))
        return false;
    for (int i = 0; i < 36; ++i) {
        const QChar c = raw.at(prefixLength + i);
        switch (i) {
        case 8:
        case 13:
        case 18:
        case 23:
            if (c != QLatin1Char('-'))
                return false;
            break;
        case 14:
            if (c != QLatin1Char('7'))
                return false;
            break;
        case 19:
            if (c != QLatin1Char('8') && c != QLatin1Char('9') && c != QLatin1Char('a') && c != QLatin1Char('b'))
                return false;
            break;
        default:
            if (!isLowerHex(c))
                return false;
        }
    }
    return true;
}

OrvalenAccountID OrvalenAccountID::fromJson(const QJsonValue &value)
{
    if (!value.isString())
        throw OrvalenJSON::DecodingError(QStringLiteral("Expected an account identifier string"));
    return OrvalenAccountID(value.toString());
}
