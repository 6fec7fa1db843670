#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Ed25519 verification of feed items (OpenSSL). Keys and signatures travel as base64
// text: 32 raw key bytes, 64 raw signature bytes.
namespace UpdaterSignature {

// The raw key, or nothing when the text is not base64 of exactly 32 bytes (any 32 bytes
// are an Ed25519 key to import; one that is no point on the curve verifies nothing).
std::optional<QByteArray> decodePublicKey(const QString &base64);

// True when `signatureBase64` is a valid Ed25519 signature of `message` under
// `rawPublicKey`. Malformed input of any kind is simply not valid.
bool verify(const QByteArray &rawPublicKey, const QByteArray &message, const QString &signatureBase64);

} // namespace UpdaterSignature
