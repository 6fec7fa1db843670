#include "OrvalenAccount/Internal/HTTPResponse.h"

std::optional<QString> HTTPResponse::header(QByteArrayView name) const
{
    for (const auto &[key, value] : headers) {
        if (QByteArrayView(key).compare(name, Qt::CaseInsensitive) == 0)
            return QString::fromUtf8(value);
    }
    return std::nullopt;
}
