#include "OrvalenAccount/Base64URL.h"

namespace Base64URL {

QByteArray encodeToAscii(QByteArrayView data)
{
    return data.toByteArray().toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

QString encode(QByteArrayView data)
{
    return QString::fromLatin1(encodeToAscii(data));
}

std::optional<QByteArray> decode(QStringView text)
{
    // fromBase64Encoding tolerates "=" and stray characters in ways a JOSE reader must not.
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool ok = (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9')
            || u == '-' || u == '_';
        if (!ok)
            return std::nullopt;
    }
    if (text.size() % 4 == 1)
        return std::nullopt;
    auto result = QByteArray::fromBase64Encoding(text.toLatin1(),
                                                 QByteArray::Base64UrlEncoding
                                                     | QByteArray::AbortOnBase64DecodingErrors);
    if (!result)
        return std::nullopt;
    return std::move(result.decoded);
}

} // namespace Base64URL
