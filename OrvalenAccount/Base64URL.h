#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// The unpadded URL-safe base64 of JWS, JWK and DPoP texts ("+" -> "-", "/" -> "_", no "=").
namespace Base64URL {
QString encode(QByteArrayView data);
QByteArray encodeToAscii(QByteArrayView data);
// Appends the encoding of `data` to `out` (no intermediate buffer).
void append(QByteArray &out, QByteArrayView data);
// Accepts the unpadded URL-safe alphabet only; anything else gives nothing.
std::optional<QByteArray> decode(QStringView text);
} // namespace Base64URL
