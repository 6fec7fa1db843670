#include "OrvalenAccount/Base64URL.h"

namespace Base64URL {

void append(QByteArray &out, QByteArrayView data)
{
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    const auto *in = reinterpret_cast<const unsigned char *>(data.data());
    const qsizetype size = data.size();
    qsizetype at = out.size();
    out.resize(at + (size * 4 + 2) / 3);
    char *dst = out.data();
    qsizetype i = 0;
    for (; i + 3 <= size; i += 3) {
        const unsigned v = (unsigned(in[i]) << 16) | (unsigned(in[i + 1]) << 8) | in[i + 2];
        dst[at++] = alphabet[(v >> 18) & 63];
        dst[at++] = alphabet[(v >> 12) & 63];
        dst[at++] = alphabet[(v >> 6) & 63];
        dst[at++] = alphabet[v & 63];
    }
    if (size - i == 1) {
        const unsigned v = unsigned(in[i]) << 16;
        dst[at++] = alphabet[(v >> 18) & 63];
        dst[at++] = alphabet[(v >> 12) & 63];
    } else if (size - i == 2) {
        const unsigned v = (unsigned(in[i]) << 16) | (unsigned(in[i + 1]) << 8);
        dst[at++] = alphabet[(v >> 18) & 63];
        dst[at++] = alphabet[(v >> 12) & 63];
        dst[at++] = alphabet[(v >> 6) & 63];
    }
}

QByteArray encodeToAscii(QByteArrayView data)
{
    QByteArray out;
    append(out, data);
    return out;
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
