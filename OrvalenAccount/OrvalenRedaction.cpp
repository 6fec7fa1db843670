#include "OrvalenAccount/OrvalenRedaction.h"

namespace OrvalenRedaction {

QString endpoint(const QString &endpoint)
{
    for (qsizetype i = 0; i < endpoint.size(); ++i) {
        const QChar c = endpoint.at(i);
        if (c == QLatin1Char('?') || c == QLatin1Char('#'))
            return endpoint.left(i);
    }
    return endpoint;
}

OrvalenLogFields decodeFailure(const QString &endpointText, const std::optional<QString> &field)
{
    OrvalenLogFields fields{
        {QStringLiteral("endpoint"), endpoint(endpointText)},
        {QStringLiteral("class"), QStringLiteral("decode")},
    };
    if (field)
        fields.insert(QStringLiteral("field"), *field);
    return fields;
}

OrvalenLogFields transportFailure(const QString &endpointText, const OrvalenTransportError &error)
{
    OrvalenLogFields fields{
        {QStringLiteral("endpoint"), endpoint(endpointText)},
        {QStringLiteral("class"), QStringLiteral("transport")},
        {QStringLiteral("error_domain"), error.domain},
        {QStringLiteral("error_code"), QString::number(error.code)},
    };
    if (error.isURLError)
        fields.insert(QStringLiteral("url_error"), QString::number(error.code));
    return fields;
}

} // namespace OrvalenRedaction
