#include "OrvalenAccount/DPoPSigner.h"

#include "OrvalenAccount/Base64URL.h"
#include "OrvalenAccount/OrvalenError.h"
#include "Platform/CryptoLibrary.h"

#include <openssl/core_names.h>

#include <QCryptographicHash>

#include <array>
#include <charconv>
#include <cstring>

namespace {

using PKey = std::shared_ptr<EVP_PKEY>;

OrvalenError unavailable(const char *reason)
{
    return OrvalenError::dpopUnavailable(QString::fromLatin1(reason));
}

// libcrypto, loaded on the first key operation; without it no key can be made or used.
const CryptoLibrary &crypto(const char *reason)
{
    const CryptoLibrary *library = CryptoLibrary::get();
    if (!library)
        throw unavailable(reason);
    return *library;
}

PKey adopt(EVP_PKEY *key)
{
    return key ? PKey(key, crypto("key_create_failed").EVP_PKEY_free) : PKey();
}

PKey generateP256()
{
    return adopt(crypto("key_create_failed").EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
}

// The key item holds the private key as PKCS#8 PrivateKeyInfo (DER).
QByteArray pkcs8(EVP_PKEY *key)
{
    const CryptoLibrary &c = crypto("key_create_failed");
    PKCS8_PRIV_KEY_INFO *info = c.EVP_PKEY2PKCS8(key);
    if (!info)
        return {};
    unsigned char *out = nullptr;
    const int length = c.i2d_PKCS8_PRIV_KEY_INFO(info, &out);
    c.PKCS8_PRIV_KEY_INFO_free(info);
    if (length <= 0 || !out)
        return {};
    QByteArray der(reinterpret_cast<const char *>(out), length);
    c.CRYPTO_clear_free(out, static_cast<std::size_t>(length), OPENSSL_FILE, OPENSSL_LINE);
    return der;
}

PKey fromPkcs8(const QByteArray &der)
{
    const CryptoLibrary &c = crypto("stored_key_unreadable");
    const auto *cursor = reinterpret_cast<const unsigned char *>(der.constData());
    PKCS8_PRIV_KEY_INFO *info = c.d2i_PKCS8_PRIV_KEY_INFO(nullptr, &cursor, der.size());
    if (!info)
        return {};
    PKey key = adopt(c.EVP_PKCS82PKEY(info));
    c.PKCS8_PRIV_KEY_INFO_free(info);
    return key;
}

bool isP256(EVP_PKEY *key)
{
    const CryptoLibrary &c = crypto("public_key_format");
    if (c.EVP_PKEY_get_base_id(key) != EVP_PKEY_EC)
        return false;
    std::array<char, 64> group{};
    std::size_t length = 0;
    if (c.EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, group.data(), group.size(), &length) != 1)
        return false;
    return std::strcmp(group.data(), "prime256v1") == 0;
}

// x and y of the public point, 32 bytes each, as the JWK publishes them.
QMap<QString, QString> publicJWK(EVP_PKEY *key)
{
    if (!isP256(key))
        throw unavailable("public_key_format");
    const CryptoLibrary &c = crypto("public_key_export_failed");
    BIGNUM *x = nullptr;
    BIGNUM *y = nullptr;
    const bool exported = c.EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_EC_PUB_X, &x) == 1
        && c.EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_EC_PUB_Y, &y) == 1;
    std::array<unsigned char, 65> point{};
    point[0] = 0x04;
    const bool fits = exported && c.BN_bn2binpad(x, point.data() + 1, 32) == 32
        && c.BN_bn2binpad(y, point.data() + 33, 32) == 32;
    c.BN_free(x);
    c.BN_free(y);
    if (!exported)
        throw unavailable("public_key_export_failed");
    if (!fits)
        throw unavailable("public_key_format");
    const auto *bytes = reinterpret_cast<const char *>(point.data());
    return {
        {QStringLiteral("kty"), QStringLiteral("EC")},
        {QStringLiteral("crv"), QStringLiteral("P-256")},
        {QStringLiteral("x"), Base64URL::encode(QByteArrayView(bytes + 1, 32))},
        {QStringLiteral("y"), Base64URL::encode(QByteArrayView(bytes + 33, 32))},
    };
}

struct SelectedKey {
    DPoPSigner::Backend backend;
    QMap<QString, QString> jwk;
};

// A usable key from stored PKCS#8 bytes, or an error naming why not.
SelectedKey keyFromItem(const QByteArray &der)
{
    PKey key = fromPkcs8(der);
    if (!key)
        throw unavailable("stored_key_unreadable");
    auto jwk = publicJWK(key.get());
    return {{DPoPSigner::Backend::Kind::softwareKeychain, std::move(key)}, std::move(jwk)};
}

SelectedKey createKeychainKey(KeychainBackend &keychain, const QByteArray &tag)
{
    // The hardware-backed attempt comes first; this platform has no such key store, so
    // it fails at once and the software key below is made instead.
    PKey key = generateP256();
    if (!key)
        throw unavailable("key_create_failed");
    auto jwk = publicJWK(key.get());
    const QByteArray der = pkcs8(key.get());
    if (der.isEmpty())
        throw unavailable("key_create_failed");

    const auto query = KeychainItemQuery::key(tag);
    const std::int32_t added = keychain.add(query, der);
    if (added == KeychainStatus::success)
        return {{DPoPSigner::Backend::Kind::softwareKeychain, std::move(key)}, std::move(jwk)};
    if (added != KeychainStatus::duplicateItem)
        throw unavailable("key_create_failed");

    // A key is already stored under the tag: the load step missed it (a transient
    // failure) or another process stored it meanwhile. One tag holds one key, so use it.
    QByteArray stored;
    if (keychain.copyMatching(query, &stored) != KeychainStatus::success)
        throw unavailable("key_create_failed");
    try {
        return keyFromItem(stored);
    } catch (const OrvalenError &) {
        // The stored bytes are no key at all; nothing can sign with them, so they give
        // way to the new key rather than leave this device without a lasting one.
    }
    if (keychain.update(query, der) != KeychainStatus::success)
        throw unavailable("key_create_failed");
    return {{DPoPSigner::Backend::Kind::softwareKeychain, std::move(key)}, std::move(jwk)};
}

SelectedKey ephemeralKey()
{
    PKey key = generateP256();
    if (!key)
        throw unavailable("key_create_failed");
    auto jwk = publicJWK(key.get());
    return {{DPoPSigner::Backend::Kind::ephemeralCryptoKit, std::move(key)}, std::move(jwk)};
}

// Key selection after the load step: the stored key when `stored` holds a usable one, else
// a new key in the keychain, else one in memory.
SelectedKey selectKey(const std::shared_ptr<KeychainBackend> &keychain, const QByteArray &tag,
                      const std::optional<QByteArray> &stored)
{
    if (stored) {
        try {
            return keyFromItem(*stored);
        } catch (const OrvalenError &) {
        }
    }
    if (keychain) {
        try {
            return createKeychainKey(*keychain, tag);
        } catch (const OrvalenError &) {
        }
    }
    return ephemeralKey();
}

void appendEscaped(QByteArray &out, unsigned char u)
{
    static constexpr char hex[] = "0123456789abcdef";
    switch (u) {
    case '"': out.append("\\\""); break;
    case '\\': out.append("\\\\"); break;
    case '\b': out.append("\\b"); break;
    case '\f': out.append("\\f"); break;
    case '\n': out.append("\\n"); break;
    case '\r': out.append("\\r"); break;
    case '\t': out.append("\\t"); break;
    default:
        if (u < 0x20) {
            out.append("\\u00");
            out.append(hex[u >> 4]);
            out.append(hex[u & 0xf]);
        } else {
            out.append(static_cast<char>(u));
        }
    }
}

// A JSON string as the proof's text form writes it: "/" and non-ASCII kept as they are.
void appendJsonString(QByteArray &out, QByteArrayView utf8)
{
    out.append('"');
    for (const char c : utf8)
        appendEscaped(out, static_cast<unsigned char>(c));
    out.append('"');
}

void appendJsonString(QByteArray &out, QStringView value)
{
    // Methods and URLs are ASCII; only other text pays for a conversion.
    for (const QChar c : value) {
        if (c.unicode() >= 0x80)
            return appendJsonString(out, QByteArrayView(value.toUtf8()));
    }
    out.append('"');
    for (const QChar c : value)
        appendEscaped(out, static_cast<unsigned char>(c.unicode()));
    out.append('"');
}

void openMember(QByteArray &out, const char *name)
{
    if (out.size() > 1)
        out.append(',');
    out.append('"').append(name).append("\":");
}

// Fetched once: OpenSSL 3 looks a digest up by name on every call that names it through
// EVP_sha256().
const EVP_MD *sha256Method()
{
    const CryptoLibrary &c = crypto("sign_failed");
    static const std::unique_ptr<EVP_MD, decltype(c.EVP_MD_free)> method(c.EVP_MD_fetch(nullptr, "SHA256", nullptr),
                                                                        c.EVP_MD_free);
    return method ? method.get() : c.EVP_sha256();
}

QByteArray sha256(QByteArrayView data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256);
}

} // namespace

QByteArray DPoPSigner::keyTag(const QString &applicationIdentifier)
{
    const QString suffix = applicationIdentifier.isEmpty() ? QStringLiteral("default") : applicationIdentifier;
    return QByteArrayLiteral("dev.orvalen.account.dpop.privatekey.") + suffix.toUtf8();
}

DPoPSigner::DPoPSigner() : DPoPSigner(Environment{}) {}

DPoPSigner::DPoPSigner(Environment environment)
    : m_keychain(environment.keychain ? std::move(environment.keychain) : Keychain::system())
    , m_tag(keyTag(environment.applicationIdentifier))
    , m_now(std::move(environment.now))
    , m_random(std::move(environment.random))
{
    if (!m_now)
        m_now = [] { return QDateTime::currentDateTimeUtc(); };
    if (!m_random)
        m_random = &SecureRandom::systemSource;

    // The load step now; a key found is decoded on first use. Without one, the rest of the
    // selection (a new key, stored at once) happens here as well.
    QByteArray stored;
    if (m_keychain->copyMatching(KeychainItemQuery::key(m_tag), &stored) == KeychainStatus::success)
        m_storedKey = std::move(stored);
    else
        takeUpKey();
}

void DPoPSigner::takeUpKey() const
{
    std::call_once(m_keyTakenUp, [this]() {
        SelectedKey selected = selectKey(m_keychain, m_tag, m_storedKey);
        setKey(std::move(selected.backend), std::move(selected.jwk));
    });
}

void DPoPSigner::setKey(Backend backend, QMap<QString, QString> jwk) const
{
    m_backend = std::move(backend);
    m_publicJWK = std::move(jwk);
    try {
        m_jktThumbprint = jwkThumbprint(m_publicJWK);
    } catch (const OrvalenError &) {
        // No thumbprint, no proofs: generateProof() says so to each caller.
        m_backend.key.reset();
        return;
    }

    QByteArray header("{");
    header.append("\"alg\":\"ES256\",\"jwk\":{");
    bool first = true;
    for (auto it = m_publicJWK.cbegin(); it != m_publicJWK.cend(); ++it) {
        if (!first)
            header.append(',');
        first = false;
        appendJsonString(header, it.key());
        header.append(':');
        appendJsonString(header, it.value());
    }
    header.append("},\"typ\":\"dpop+jwt\"}");
    m_encodedHeader = Base64URL::encodeToAscii(header);
}

DPoPSigner::Backend::Kind DPoPSigner::backendKind() const
{
    takeUpKey();
    return m_backend.kind;
}

const QMap<QString, QString> &DPoPSigner::publicJWK() const
{
    takeUpKey();
    return m_publicJWK;
}

const QString &DPoPSigner::jktThumbprint() const
{
    takeUpKey();
    return m_jktThumbprint;
}

DPoPSigner::~DPoPSigner() = default;

QString DPoPSigner::jwkThumbprint(const QMap<QString, QString> &jwk)
{
    // RFC 7638 section 3.2: the required members of the key type, in lexicographic order.
    const QString kty = jwk.value(QStringLiteral("kty"));
    QStringList members;
    if (kty == QLatin1String("RSA"))
        members = {QStringLiteral("e"), QStringLiteral("kty"), QStringLiteral("n")};
    else if (kty == QLatin1String("oct"))
        members = {QStringLiteral("k"), QStringLiteral("kty")};
    else if (kty == QLatin1String("OKP"))
        members = {QStringLiteral("crv"), QStringLiteral("kty"), QStringLiteral("x")};
    else
        members = {QStringLiteral("crv"), QStringLiteral("kty"), QStringLiteral("x"), QStringLiteral("y")};

    QByteArray canonical("{");
    for (const QString &name : members) {
        const auto it = jwk.constFind(name);
        if (it == jwk.cend())
            throw unavailable("jwk_member_missing");
        if (canonical.size() > 1)
            canonical.append(',');
        appendJsonString(canonical, name);
        canonical.append(':');
        appendJsonString(canonical, it.value());
    }
    canonical.append('}');
    return Base64URL::encode(sha256(canonical));
}

QString DPoPSigner::generateProof(const QUrl &htu, const QString &htm, const std::optional<QString> &accessToken) const
{
    takeUpKey();
    if (!m_backend.key)
        throw unavailable("jwk_member_missing");
    QString target = htu.toString(QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::FullyEncoded);
    if (target.isEmpty())
        target = htu.toString(QUrl::FullyEncoded);
    std::array<unsigned char, 16> jti{};
    SecureRandom::fill(jti.data(), jti.size(), m_random);
    const qint64 iat = m_now().toMSecsSinceEpoch() / 1000;

    // Members in key order: ath, htm, htu, iat, jti.
    QByteArray claims;
    claims.reserve(160 + htm.size() + target.size());
    claims.append('{');
    if (accessToken) {
        openMember(claims, "ath");
        claims.append('"');
        Base64URL::append(claims, sha256(accessToken->toUtf8()));
        claims.append('"');
    }
    openMember(claims, "htm");
    appendJsonString(claims, htm.toUpper());
    openMember(claims, "htu");
    appendJsonString(claims, target);
    openMember(claims, "iat");
    std::array<char, 24> number{};
    const auto written = std::to_chars(number.data(), number.data() + number.size(), iat);
    claims.append(number.data(), written.ptr - number.data());
    openMember(claims, "jti");
    claims.append('"');
    Base64URL::append(claims, QByteArrayView(reinterpret_cast<const char *>(jti.data()), static_cast<qsizetype>(jti.size())));
    claims.append("\"}");

    QByteArray proof;
    proof.reserve(m_encodedHeader.size() + (claims.size() * 4 + 2) / 3 + 90);
    proof.append(m_encodedHeader).append('.');
    Base64URL::append(proof, claims);
    const QByteArray signature = sign(proof);
    proof.append('.');
    Base64URL::append(proof, signature);
    return QString::fromLatin1(proof);
}

QByteArray DPoPSigner::sign(const QByteArray &data) const
{
    const CryptoLibrary &c = crypto("sign_failed");
    EVP_MD_CTX *context = c.EVP_MD_CTX_new();
    if (!context)
        throw unavailable("sign_failed");
    std::array<unsigned char, 80> der{}; // a P-256 ECDSA-Sig-Value takes at most 72 bytes
    std::size_t length = der.size();
    const bool signedOk = c.EVP_DigestSignInit(context, nullptr, sha256Method(), nullptr, m_backend.key.get()) == 1
        && c.EVP_DigestSign(context, der.data(), &length, reinterpret_cast<const unsigned char *>(data.constData()),
                            static_cast<std::size_t>(data.size()))
            == 1;
    c.EVP_MD_CTX_free(context);
    if (!signedOk)
        throw unavailable("sign_failed");
    return derToJoseECDSA(QByteArray::fromRawData(reinterpret_cast<const char *>(der.data()), static_cast<qsizetype>(length)), 32);
}

QByteArray DPoPSigner::derToJoseECDSA(const QByteArray &der, int componentLength)
{
    if (componentLength <= 0)
        throw unavailable("der_bad_component_length");
    const auto *bytes = reinterpret_cast<const unsigned char *>(der.constData());
    const qsizetype size = der.size();
    if (size < 3 || bytes[0] != 0x30)
        throw unavailable("der_not_sequence");

    qsizetype pos = 1;
    // A definite length at `pos`, in its shortest form, which must fit before `limit`.
    // 0x80 (indefinite) is not DER, and more than four length bytes is no signature
    // anyone makes.
    const auto readLength = [&](qsizetype limit) -> qsizetype {
        if (pos >= limit)
            throw unavailable("der_truncated");
        const unsigned char first = bytes[pos++];
        qsizetype length = first;
        if (first >= 0x80) {
            const int count = first & 0x7f;
            if (count == 0 || count > 4)
                throw unavailable("der_bad_length");
            if (limit - pos < count)
                throw unavailable("der_truncated");
            if (bytes[pos] == 0x00)
                throw unavailable("der_length_not_minimal");
            length = 0;
            for (int i = 0; i < count; ++i)
                length = (length << 8) | bytes[pos++];
            if (length < 0x80)
                throw unavailable("der_length_not_minimal");
        }
        if (length > limit - pos)
            throw unavailable("der_truncated");
        return length;
    };

    // Two statements: the end is only known once the length has moved `pos` past it.
    const qsizetype sequenceLength = readLength(size);
    const qsizetype end = pos + sequenceLength;
    if (end != size)
        throw unavailable("der_trailing_bytes");
    QByteArray jose;
    jose.reserve(2 * componentLength);
    for (int component = 0; component < 2; ++component) {
        if (pos >= end)
            throw unavailable("der_truncated");
        if (bytes[pos++] != 0x02)
            throw unavailable("der_not_integer");
        qsizetype length = readLength(end);
        const unsigned char *value = bytes + pos;
        pos += length;
        // r and s are positive and written in the fewest bytes: one leading zero only
        // where the next byte would otherwise read as a sign.
        if (length == 0)
            throw unavailable("der_integer_empty");
        if (value[0] & 0x80)
            throw unavailable("der_integer_negative");
        if (length > 1 && value[0] == 0x00 && !(value[1] & 0x80))
            throw unavailable("der_integer_not_minimal");
        if (value[0] == 0x00 && length > 1) {
            ++value;
            --length;
        }
        if (length > componentLength)
            throw unavailable("der_integer_too_long");
        jose.append(componentLength - length, '\0');
        jose.append(reinterpret_cast<const char *>(value), length);
    }
    if (pos != end)
        throw unavailable("der_trailing_bytes");
    return jose;
}
