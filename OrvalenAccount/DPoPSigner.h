#pragma once

#include "OrvalenAccount/SecureRandom.h"
#include "Platform/Keychain.h"

#include <QByteArray>
#include <QDateTime>
#include <QMap>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

struct evp_pkey_st;

// The device-bound P-256 key and its DPoP proofs (RFC 9449). The key is looked up
// in the keychain under its tag, else created there, else kept in memory for this
// process only. A key found in the keychain is read when the signer is made and decoded
// when it is first needed (a proof, its public key or thumbprint): decoding it is most of
// what making a signer costs, and a start that signs nothing (every signed-out start)
// never pays it. Proofs may be made from any thread.
class DPoPSigner final {
public:
    // Where the private key lives. Linux has no hardware-backed key store, so
    // secureEnclave never arises here; the two keychain cases sign the same way.
    struct Backend {
        enum class Kind { secureEnclave, softwareKeychain, ephemeralCryptoKit };
        Kind kind = Kind::ephemeralCryptoKit;
        std::shared_ptr<evp_pkey_st> key;
    };

    struct Environment {
        std::shared_ptr<KeychainBackend> keychain; // null: Keychain::system()
        // The application's identifier, suffix of the key tag; empty gives "default".
        QString applicationIdentifier = defaultApplicationIdentifier();
        std::function<QDateTime()> now;            // null: the system clock
        SecureRandom::Source random;               // null: the system's secure generator
    };

    static QString defaultApplicationIdentifier() { return QStringLiteral("dev.orvalen.vantle"); }
    static QByteArray keyTag(const QString &applicationIdentifier);

    DPoPSigner();
    explicit DPoPSigner(Environment environment);
    ~DPoPSigner();
    DPoPSigner(const DPoPSigner &) = delete;
    DPoPSigner &operator=(const DPoPSigner &) = delete;

    Backend::Kind backendKind() const;
    const QMap<QString, QString> &publicJWK() const;
    // Empty in the one case where no thumbprint can be made (then no proof can either).
    const QString &jktThumbprint() const;

    // The compact proof for one request: header {"alg","jwk","typ":"dpop+jwt"}, claims
    // {"ath"?, "htm", "htu", "iat", "jti"}, signed with ES256. Throws OrvalenError.
    QString generateProof(const QUrl &htu, const QString &htm, const std::optional<QString> &accessToken) const;

    // RFC 7638 thumbprint: SHA-256 over the key type's required members, sorted, as
    // compact JSON; base64url. Throws OrvalenError::dpopUnavailable when one is missing.
    static QString jwkThumbprint(const QMap<QString, QString> &jwk);

    // ECDSA-Sig-Value (DER SEQUENCE of two INTEGERs) to r || s, each `componentLength`
    // bytes. Only the strict encoding passes (shortest lengths, positive integers in
    // their fewest bytes, nothing after s); anything else is OrvalenError::dpopUnavailable.
    // Never reads past the end of `der`; a result is always 2 * componentLength bytes.
    static QByteArray derToJoseECDSA(const QByteArray &der, int componentLength);

private:
    QByteArray sign(const QByteArray &data) const;
    // Takes up the key now, if that was left for its first use; every member below the
    // flag is set once it returns, and never changes after.
    void takeUpKey() const;
    void setKey(Backend backend, QMap<QString, QString> jwk) const;

    std::shared_ptr<KeychainBackend> m_keychain;
    QByteArray m_tag;
    std::optional<QByteArray> m_storedKey; // found in the keychain, not yet decoded
    std::function<QDateTime()> m_now;
    SecureRandom::Source m_random;

    mutable std::once_flag m_keyTakenUp;
    mutable Backend m_backend;
    mutable QMap<QString, QString> m_publicJWK;
    mutable QString m_jktThumbprint;
    mutable QByteArray m_encodedHeader; // base64url of the header JSON: the same for every proof
};
