#include "Platform/UpdaterSignature.h"

#include <openssl/evp.h>

#include <memory>

namespace UpdaterSignature {

namespace {

constexpr qsizetype keySize = 32;
constexpr qsizetype signatureSize = 64;

using PKey = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using DigestContext = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;

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

PKey publicKey(const QByteArray &raw)
{
    return PKey(EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr,
                                            reinterpret_cast<const unsigned char *>(raw.constData()),
                                            static_cast<size_t>(raw.size())),
                &EVP_PKEY_free);
}

} // namespace

std::optional<QByteArray> decodePublicKey(const QString &base64)
{
    auto raw = strictBase64(base64, keySize);
    if (!raw || !publicKey(*raw))
        return std::nullopt;
    return raw;
}

bool verify(const QByteArray &rawPublicKey, const QByteArray &message, const QString &signatureBase64)
{
    if (rawPublicKey.size() != keySize)
        return false;
    const auto signature = strictBase64(signatureBase64, signatureSize);
    if (!signature)
        return false;
    const PKey key = publicKey(rawPublicKey);
    DigestContext context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!key || !context)
        return false;
    // Ed25519 hashes internally: no digest is named, and the message goes in one piece.
    if (EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return false;
    return EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char *>(signature->constData()),
                            static_cast<size_t>(signature->size()),
                            reinterpret_cast<const unsigned char *>(message.constData()),
                            static_cast<size_t>(message.size()))
        == 1;
}

} // namespace UpdaterSignature
