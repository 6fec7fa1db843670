#include "Platform/UpdaterSignature.h"

#include "Platform/CryptoLibrary.h"

#include <memory>

namespace UpdaterSignature {

namespace {

constexpr qsizetype keySize = 32;
constexpr qsizetype signatureSize = 64;

std::optional<QByteArray> strictBase64(const QString &text, qsizetype expectedSize)
{
    // Non-ASCII text would turn into '?' on the way to Latin-1 and might then decode.
    for (const QChar c : text) {
        if (c.unicode() > 0x7f)
            return std::nullopt;
    }
    const auto decoded = QByteArray::fromBase64Encoding(text.trimmed().toLatin1(),
                                                         QByteArray::AbortOnBase64DecodingErrors);
    if (decoded.decodingStatus != QByteArray::Base64DecodingStatus::Ok || decoded.decoded.size() != expectedSize)
        return std::nullopt;
    return decoded.decoded;
}

} // namespace

std::optional<QByteArray> decodePublicKey(const QString &base64)
{
    // Any 32 bytes are an Ed25519 public key to OpenSSL (one that is no point on the curve
    // verifies nothing): libcrypto is not loaded to say so, only to verify.
    return strictBase64(base64, keySize);
}

bool verify(const QByteArray &rawPublicKey, const QByteArray &message, const QString &signatureBase64)
{
    if (rawPublicKey.size() != keySize)
        return false;
    const auto signature = strictBase64(signatureBase64, signatureSize);
    if (!signature)
        return false;
    const CryptoLibrary *c = CryptoLibrary::get();
    if (!c)
        return false;
    const std::unique_ptr<EVP_PKEY, decltype(c->EVP_PKEY_free)> key(
        c->EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr,
                                       reinterpret_cast<const unsigned char *>(rawPublicKey.constData()),
                                       static_cast<size_t>(rawPublicKey.size())),
        c->EVP_PKEY_free);
    const std::unique_ptr<EVP_MD_CTX, decltype(c->EVP_MD_CTX_free)> context(c->EVP_MD_CTX_new(), c->EVP_MD_CTX_free);
    if (!key || !context)
        return false;
    // Ed25519 hashes internally: no digest is named, and the message goes in one piece.
    if (c->EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return false;
    return c->EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char *>(signature->constData()),
                               static_cast<size_t>(signature->size()),
                               reinterpret_cast<const unsigned char *>(message.constData()),
                               static_cast<size_t>(message.size()))
        == 1;
}

} // namespace UpdaterSignature
