#include "OrvalenAccount/Base64URL.h"
#include "OrvalenAccount/DPoPSigner.h"
#include "OrvalenAccount/OrvalenError.h"
#include "OrvalenAccount/SecureRandom.h"
#include "Platform/InMemoryKeychain.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/x509.h>

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <set>
#include <thread>
#include <vector>

namespace {

using Kind = DPoPSigner::Backend::Kind;

std::string reasonOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const OrvalenError &error) {
        if (const auto *dpop = error.as<OrvalenError::DpopUnavailable>())
            return dpop->reason.toStdString();
        return "<other OrvalenError: " + error.message().toStdString() + ">";
    }
    return "<no error>";
}

// An EC public key rebuilt from nothing but the published JWK, as a verifier would.
std::shared_ptr<EVP_PKEY> keyFromJWK(const QMap<QString, QString> &jwk)
{
    const auto x = Base64URL::decode(jwk.value(QStringLiteral("x")));
    const auto y = Base64URL::decode(jwk.value(QStringLiteral("y")));
    if (!x || !y || x->size() != 32 || y->size() != 32)
        return {};
    const QByteArray point = QByteArray(1, '\x04') + *x + *y;
    OSSL_PARAM_BLD *build = OSSL_PARAM_BLD_new();
    OSSL_PARAM_BLD_push_utf8_string(build, OSSL_PKEY_PARAM_GROUP_NAME, "prime256v1", 0);
    OSSL_PARAM_BLD_push_octet_string(build, OSSL_PKEY_PARAM_PUB_KEY, point.constData(), point.size());
    OSSL_PARAM *params = OSSL_PARAM_BLD_to_param(build);
    EVP_PKEY_CTX *context = EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr);
    EVP_PKEY *key = nullptr;
    if (EVP_PKEY_fromdata_init(context) == 1)
        EVP_PKEY_fromdata(context, &key, EVP_PKEY_PUBLIC_KEY, params);
    EVP_PKEY_CTX_free(context);
    OSSL_PARAM_free(params);
    OSSL_PARAM_BLD_free(build);
    return key ? std::shared_ptr<EVP_PKEY>(key, &EVP_PKEY_free) : nullptr;
}

bool verifyES256(EVP_PKEY *key, const QByteArray &input, const QByteArray &rs)
{
    if (rs.size() != 64)
        return false;
    ECDSA_SIG *sig = ECDSA_SIG_new();
    const auto *raw = reinterpret_cast<const unsigned char *>(rs.constData());
    ECDSA_SIG_set0(sig, BN_bin2bn(raw, 32, nullptr), BN_bin2bn(raw + 32, 32, nullptr));
    unsigned char *der = nullptr;
    const int derLength = i2d_ECDSA_SIG(sig, &der);
    ECDSA_SIG_free(sig);
    EVP_MD_CTX *context = EVP_MD_CTX_new();
    const bool ok = EVP_DigestVerifyInit(context, nullptr, EVP_sha256(), nullptr, key) == 1
        && EVP_DigestVerify(context, der, static_cast<std::size_t>(derLength),
                            reinterpret_cast<const unsigned char *>(input.constData()),
                            static_cast<std::size_t>(input.size()))
            == 1;
    EVP_MD_CTX_free(context);
    OPENSSL_free(der);
    return ok;
}

struct DecodedProof {
    QByteArray headerJson;
    QByteArray claimsJson;
    QJsonObject claims;
    QByteArray signature;
    QByteArray signingInput;
};

DecodedProof decode(const QString &proof)
{
    const QStringList parts = proof.split(QLatin1Char('.'));
    EXPECT_EQ(parts.size(), 3) << proof.toStdString();
    if (parts.size() != 3)
        return {};
    DecodedProof decoded;
    decoded.headerJson = Base64URL::decode(parts[0]).value_or(QByteArray());
    decoded.claimsJson = Base64URL::decode(parts[1]).value_or(QByteArray());
    decoded.signature = Base64URL::decode(parts[2]).value_or(QByteArray());
    decoded.claims = QJsonDocument::fromJson(decoded.claimsJson).object();
    decoded.signingInput = (parts[0] + QLatin1Char('.') + parts[1]).toLatin1();
    return decoded;
}

DPoPSigner::Environment environment(std::shared_ptr<KeychainBackend> keychain)
{
    DPoPSigner::Environment env;
    env.keychain = std::move(keychain);
    env.now = [] { return QDateTime::fromSecsSinceEpoch(1'700'000'000, Qt::UTC).addMSecs(999); };
    return env;
}

} // namespace

TEST(DPoPSignerTest, ProofVerifiesAgainstThePublishedKeyAndCarriesTheClaims)
{
    auto keychain = std::make_shared<InMemoryKeychain>();
    const DPoPSigner signer(environment(keychain));
    const QString token = QStringLiteral("Kz~8mXK1EalYznwH-LC-1fBAo.4Ljp~zsPE_NeO.gxU");
    const QString proof = signer.generateProof(QUrl(QStringLiteral("https://id.example.com/api/sessions/refresh?x=1#frag")),
                                               QStringLiteral("post"), token);
    EXPECT_EQ(proof.count(QLatin1Char('.')), 2);
    const DecodedProof decoded = decode(proof);

    const QMap<QString, QString> &jwk = signer.publicJWK();
    EXPECT_EQ(decoded.headerJson,
              QByteArray(R"({"alg":"ES256","jwk":{"crv":"P-256","kty":"EC","x":")") + jwk.value("x").toLatin1()
                  + R"(","y":")" + jwk.value("y").toLatin1() + R"("},"typ":"dpop+jwt"})");
    EXPECT_EQ(jwk.size(), 4);
    EXPECT_EQ(jwk.value("kty"), "EC");
    EXPECT_EQ(jwk.value("crv"), "P-256");
    EXPECT_EQ(jwk.value("x").size(), 43);
    EXPECT_EQ(jwk.value("y").size(), 43);

    // The ath of this token is the one published with RFC 9449's example.
    const QString jti = decoded.claims.value("jti").toString();
    EXPECT_EQ(decoded.claimsJson,
              QByteArray(R"({"ath":"fUHyO2r2Z3DZ53EsNrWBb0xWXoaNy59IiKCAqksmQEo","htm":"POST",)"
                         R"("htu":"https://id.example.com/api/sessions/refresh","iat":1700000000,"jti":")")
                  + jti.toLatin1() + "\"}");
    EXPECT_EQ(jti.size(), 22);
    EXPECT_TRUE(Base64URL::decode(jti).has_value());

    ASSERT_EQ(decoded.signature.size(), 64);
    const auto publicKey = keyFromJWK(jwk);
    ASSERT_TRUE(publicKey);
    EXPECT_TRUE(verifyES256(publicKey.get(), decoded.signingInput, decoded.signature));
    QByteArray tampered = decoded.signingInput;
    tampered[tampered.size() - 1] = tampered.back() == 'A' ? 'B' : 'A';
    EXPECT_FALSE(verifyES256(publicKey.get(), tampered, decoded.signature));
}

TEST(DPoPSignerTest, ClaimsFollowTheRequest)
{
    const DPoPSigner signer(environment(std::make_shared<InMemoryKeychain>()));
    struct Case {
        const char *url;
        const char *method;
        std::optional<QString> token;
        const char *htu;
        const char *htm;
        std::optional<QString> ath;
    };
    const Case cases[] = {
        {"https://id.example.com/api/whoami", "GET", std::nullopt, "https://id.example.com/api/whoami", "GET", std::nullopt},
        {"https://id.example.com/a/b?q=1&r=%2F", "get", QString(), "https://id.example.com/a/b", "GET",
         QStringLiteral("47DEQpj8HBSa-_TImW-5JCeuQeRkm5NMpJWZG3hSuFU")},
        {"https://id.example.com:8443/x#only-fragment", "Patch", std::nullopt, "https://id.example.com:8443/x", "PATCH", std::nullopt},
        {"http://127.0.0.1:5000/api/contacts/me?app=vantle", "GET", std::nullopt, "http://127.0.0.1:5000/api/contacts/me", "GET", std::nullopt},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.url);
        const DecodedProof decoded = decode(signer.generateProof(QUrl(QString::fromLatin1(c.url)), QString::fromLatin1(c.method), c.token));
        EXPECT_EQ(decoded.claims.value("htu").toString(), QLatin1String(c.htu));
        EXPECT_EQ(decoded.claims.value("htm").toString(), QLatin1String(c.htm));
        EXPECT_EQ(decoded.claims.contains("ath"), c.ath.has_value());
        if (c.ath) {
            EXPECT_EQ(decoded.claims.value("ath").toString(), *c.ath);
        }
        EXPECT_FALSE(decoded.claimsJson.contains("\\/")) << "slashes must not be escaped";
    }
}

TEST(DPoPSignerTest, ProofsOfTheSameSecondDifferInJti)
{
    const DPoPSigner signer(environment(std::make_shared<InMemoryKeychain>()));
    const QUrl url(QStringLiteral("https://id.example.com/api/x"));
    std::set<QString> seen;
    for (int i = 0; i < 50; ++i) {
        const DecodedProof decoded = decode(signer.generateProof(url, QStringLiteral("GET"), std::nullopt));
        EXPECT_EQ(decoded.claims.value("iat").toInteger(), 1'700'000'000);
        seen.insert(decoded.claims.value("jti").toString());
    }
    EXPECT_EQ(seen.size(), 50u);
}

TEST(DPoPSignerTest, FailingRandomSourceStopsTheProof)
{
    auto env = environment(std::make_shared<InMemoryKeychain>());
    env.random = [](unsigned char *buffer, std::size_t length) {
        std::memset(buffer, 0, length);
        return false;
    };
    const DPoPSigner signer(env);
    EXPECT_EQ(reasonOf([&] { signer.generateProof(QUrl(QStringLiteral("https://a.example/")), QStringLiteral("GET"), std::nullopt); }),
              "random_unavailable");

    EXPECT_EQ(SecureRandom::urlSafeString(16).size(), 22);
    EXPECT_EQ(SecureRandom::urlSafeString(0), QString());
    EXPECT_EQ(reasonOf([] { SecureRandom::urlSafeString(-1); }), "random_negative_count");
    EXPECT_EQ(reasonOf([] { SecureRandom::urlSafeString(16, {}); }), "random_unavailable");
}

TEST(DPoPSignerTest, ThumbprintFollowsRfc7638)
{
    // The example key of RFC 7638, section 3.1.
    const QMap<QString, QString> rsa{
        {"kty", "RSA"},
        {"n", "0vx7agoebGcQSuuPiLJXZptN9nndrQmbXEps2aiAFbWhM78LhWx4cbbfAAtVT86zwu1RK7aPFFxuhDR1L6tSoc_BJECPebWKRXjBZCiFV4n3oknjhMs"
              "tn64tZ_2W-5JsGY4Hc5n9yBXArwl93lqt7_RN5w6Cf0h4QyQ5v-65YGjQR0_FDW2QvzqY368QQMicAtaSqzs8KJZgnYb9c7d0zgdAZHzu6qMQvRL5hajrn1"
              "n91CbOpbISD08qNLyrdkt-bFTWhAI4vMQFh6WeZu0fM4lFd2NcRwr3XPksINHaQ-G_xBniIqbw0Ls1jF44-csFCur-kEgU8awapJzKnqDKgw"},
        {"e", "AQAB"},
        {"alg", "RS256"},
        {"kid", "2011-04-29"},
    };
    EXPECT_EQ(DPoPSigner::jwkThumbprint(rsa), "NzbLsXh8uDCcd-6MNwXF4W_7noWXFZAfHkxZsRGC9Xs");

    // The example key of RFC 9449, section 4.1, with the thumbprint the RFC gives for
    // it; an EC key's thumbprint covers crv, kty, x and y only, whatever else it holds.
    const QMap<QString, QString> ec{{"kty", "EC"},
                                    {"x", "l8tFrhx-34tV3hRICRDY9zCkDlpBhF42UQUfWVAWBFs"},
                                    {"y", "9VE4jf_Ok_o64zbTTlcuNJajHmt6v9TDVrU0CdvGRDA"},
                                    {"crv", "P-256"}};
    EXPECT_EQ(DPoPSigner::jwkThumbprint(ec), "0ZcOCORZNYy-DWpqq30jZyJGHTN0d2HglBV3uiguA4I");
    QMap<QString, QString> withExtras = ec;
    withExtras.insert("use", "sig");
    withExtras.insert("kid", "k1");
    EXPECT_EQ(DPoPSigner::jwkThumbprint(withExtras), "0ZcOCORZNYy-DWpqq30jZyJGHTN0d2HglBV3uiguA4I");
    QMap<QString, QString> missing = ec;
    missing.remove("y");
    EXPECT_EQ(reasonOf([&] { DPoPSigner::jwkThumbprint(missing); }), "jwk_member_missing");

    const DPoPSigner signer(environment(std::make_shared<InMemoryKeychain>()));
    EXPECT_EQ(signer.jktThumbprint().size(), 43);
    EXPECT_EQ(signer.jktThumbprint(), DPoPSigner::jwkThumbprint(signer.publicJWK()));
}

TEST(DPoPSignerTest, SecondSignerFindsTheStoredKey)
{
    auto keychain = std::make_shared<InMemoryKeychain>();
    const DPoPSigner first(environment(keychain));
    EXPECT_EQ(first.backendKind(), Kind::softwareKeychain);
    EXPECT_EQ(keychain->itemCount(), 1);
    QByteArray stored;
    EXPECT_EQ(keychain->copyMatching(KeychainItemQuery::key("dev.orvalen.account.dpop.privatekey.dev.orvalen.vantle"), &stored),
              KeychainStatus::success);

    const DPoPSigner second(environment(keychain));
    EXPECT_EQ(second.backendKind(), Kind::softwareKeychain);
    EXPECT_EQ(second.jktThumbprint(), first.jktThumbprint());
    EXPECT_EQ(second.publicJWK(), first.publicJWK());
    EXPECT_EQ(keychain->itemCount(), 1);
    EXPECT_EQ(keychain->callCount(InMemoryKeychain::Op::add), 1);

    // The second signer's proofs verify against the first one's published key.
    const auto publicKey = keyFromJWK(first.publicJWK());
    const DecodedProof decoded = decode(second.generateProof(QUrl(QStringLiteral("https://a.example/p")), QStringLiteral("GET"), std::nullopt));
    EXPECT_TRUE(verifyES256(publicKey.get(), decoded.signingInput, decoded.signature));

    // Another application's tag is another key.
    auto other = environment(keychain);
    other.applicationIdentifier = QStringLiteral("dev.orvalen.other");
    const DPoPSigner third(other);
    EXPECT_NE(third.jktThumbprint(), first.jktThumbprint());
    EXPECT_EQ(keychain->itemCount(), 2);
    EXPECT_EQ(DPoPSigner::keyTag(QString()), "dev.orvalen.account.dpop.privatekey.default");
}

TEST(DPoPSignerTest, KeySelectionUnderKeychainFailures)
{
    using Op = InMemoryKeychain::Op;
    const QByteArray tag = DPoPSigner::keyTag(DPoPSigner::defaultApplicationIdentifier());

    // A transient failure of the load step: the retry finds the stored key on the
    // duplicate add and uses it, so the tag still holds one key.
    {
        auto keychain = std::make_shared<InMemoryKeychain>();
        const DPoPSigner first(environment(keychain));
        keychain->failNext(Op::copyMatching, KeychainStatus::interactionNotAllowed);
        const DPoPSigner second(environment(keychain));
        EXPECT_EQ(second.backendKind(), Kind::softwareKeychain);
        EXPECT_EQ(second.jktThumbprint(), first.jktThumbprint());
        EXPECT_EQ(keychain->itemCount(), 1);
    }
    // The duplicate's re-read fails too: the stored key is left alone and this process
    // signs with a key of its own.
    {
        auto keychain = std::make_shared<InMemoryKeychain>();
        const DPoPSigner first(environment(keychain));
        QByteArray before;
        keychain->copyMatching(KeychainItemQuery::key(tag), &before);
        keychain->failAlways(Op::copyMatching, KeychainStatus::interactionNotAllowed);
        const DPoPSigner second(environment(keychain));
        EXPECT_EQ(second.backendKind(), Kind::ephemeralCryptoKit);
        EXPECT_NE(second.jktThumbprint(), first.jktThumbprint());
        keychain->failAlways(Op::copyMatching, std::nullopt);
        QByteArray after;
        keychain->copyMatching(KeychainItemQuery::key(tag), &after);
        EXPECT_EQ(after, before);
        EXPECT_EQ(keychain->itemCount(), 1);
    }
    // A locked keyring: nothing can be stored, every launch gets a key of its own.
    {
        auto keychain = std::make_shared<InMemoryKeychain>();
        keychain->failAlways(Op::copyMatching, KeychainStatus::interactionNotAllowed);
        keychain->failAlways(Op::add, KeychainStatus::interactionNotAllowed);
        const DPoPSigner first(environment(keychain));
        const DPoPSigner second(environment(keychain));
        EXPECT_EQ(first.backendKind(), Kind::ephemeralCryptoKit);
        EXPECT_EQ(second.backendKind(), Kind::ephemeralCryptoKit);
        EXPECT_NE(first.jktThumbprint(), second.jktThumbprint());
        EXPECT_EQ(keychain->itemCount(), 0);
        const DecodedProof decoded = decode(first.generateProof(QUrl(QStringLiteral("https://a.example/")), QStringLiteral("GET"), std::nullopt));
        EXPECT_TRUE(verifyES256(keyFromJWK(first.publicJWK()).get(), decoded.signingInput, decoded.signature));
    }
    // A valid key of another curve cannot make ES256 proofs: it gives way to a new
    // P-256 key, which later launches find.
    {
        auto keychain = std::make_shared<InMemoryKeychain>();
        EVP_PKEY *p384 = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-384");
        ASSERT_NE(p384, nullptr);
        PKCS8_PRIV_KEY_INFO *info = EVP_PKEY2PKCS8(p384);
        unsigned char *der = nullptr;
        const int length = i2d_PKCS8_PRIV_KEY_INFO(info, &der);
        ASSERT_GT(length, 0);
        ASSERT_EQ(keychain->add(KeychainItemQuery::key(tag), QByteArray(reinterpret_cast<const char *>(der), length)),
                  KeychainStatus::success);
        OPENSSL_free(der);
        PKCS8_PRIV_KEY_INFO_free(info);
        EVP_PKEY_free(p384);

        const DPoPSigner first(environment(keychain));
        EXPECT_EQ(first.backendKind(), Kind::softwareKeychain);
        EXPECT_EQ(first.publicJWK().value("crv"), "P-256");
        const DecodedProof decoded = decode(first.generateProof(QUrl(QStringLiteral("https://a.example/")), QStringLiteral("GET"), std::nullopt));
        EXPECT_TRUE(verifyES256(keyFromJWK(first.publicJWK()).get(), decoded.signingInput, decoded.signature));
        const DPoPSigner second(environment(keychain));
        EXPECT_EQ(second.jktThumbprint(), first.jktThumbprint());
        EXPECT_EQ(keychain->itemCount(), 1);
    }
    // Stored bytes that are no key give way to a new key, which later launches find.
    {
        auto keychain = std::make_shared<InMemoryKeychain>();
        ASSERT_EQ(keychain->add(KeychainItemQuery::key(tag), QByteArray("not a key")), KeychainStatus::success);
        const DPoPSigner first(environment(keychain));
        EXPECT_EQ(first.backendKind(), Kind::softwareKeychain);
        const DPoPSigner second(environment(keychain));
        EXPECT_EQ(second.jktThumbprint(), first.jktThumbprint());
        EXPECT_EQ(keychain->itemCount(), 1);
    }
}

// Making a signer reads the keychain; a key found there is decoded, or given way to a new
// one when it is no key, only when the signer is first used, from whichever thread.
TEST(DPoPSignerTest, AStoredKeyIsTakenUpWhenFirstUsed)
{
    using Op = InMemoryKeychain::Op;
    const QByteArray tag = DPoPSigner::keyTag(DPoPSigner::defaultApplicationIdentifier());
    const struct {
        const char *name;
        std::function<void(const std::shared_ptr<InMemoryKeychain> &)> stored;
        int writesWhenMade; // adds and updates
        bool sameKeyAsFirstUse;
    } cases[] = {
        {"a key", [](const auto &k) { DPoPSigner(environment(k)).jktThumbprint(); }, 0, true},
        {"bytes that are no key", [&tag](const auto &k) { k->add(KeychainItemQuery::key(tag), "not a key"); }, 0, false},
        {"nothing", [](const auto &) {}, 1, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        auto keychain = std::make_shared<InMemoryKeychain>();
        c.stored(keychain);
        QByteArray before;
        keychain->copyMatching(KeychainItemQuery::key(tag), &before);
        const int reads = keychain->callCount(Op::copyMatching), writes = keychain->callCount(Op::add) + keychain->callCount(Op::update);

        const DPoPSigner signer(environment(keychain));
        EXPECT_EQ(keychain->callCount(Op::copyMatching) - reads, 1);
        EXPECT_EQ(keychain->callCount(Op::add) + keychain->callCount(Op::update) - writes, c.writesWhenMade);

        // First used on another thread, as the identity client may.
        QString proof;
        std::thread([&]() { proof = signer.generateProof(QUrl(QStringLiteral("https://a.example/")), QStringLiteral("GET"), std::nullopt); }).join();
        const DecodedProof decoded = decode(proof);
        EXPECT_TRUE(verifyES256(keyFromJWK(signer.publicJWK()).get(), decoded.signingInput, decoded.signature));
        EXPECT_EQ(signer.backendKind(), Kind::softwareKeychain);
        QByteArray after;
        ASSERT_EQ(keychain->copyMatching(KeychainItemQuery::key(tag), &after), KeychainStatus::success);
        EXPECT_EQ(after == before, c.sameKeyAsFirstUse);
        EXPECT_EQ(DPoPSigner(environment(keychain)).jktThumbprint(), signer.jktThumbprint()) << "later signers find it";
        EXPECT_EQ(keychain->itemCount(), 1);
    }
}

TEST(DPoPSignerTest, ConcurrentProofsAllVerify)
{
    const DPoPSigner signer(environment(std::make_shared<InMemoryKeychain>()));
    const auto publicKey = keyFromJWK(signer.publicJWK());
    std::atomic<int> verified{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&signer, &publicKey, &verified, t] {
            for (int i = 0; i < 25; ++i) {
                const QString proof = signer.generateProof(QUrl(QStringLiteral("https://a.example/%1").arg(t)), QStringLiteral("GET"),
                                                           QStringLiteral("token"));
                const QStringList parts = proof.split(QLatin1Char('.'));
                const auto signature = Base64URL::decode(parts.value(2));
                if (signature && verifyES256(publicKey.get(), (parts[0] + QLatin1Char('.') + parts[1]).toLatin1(), *signature))
                    ++verified;
            }
        });
    }
    for (auto &thread : threads)
        thread.join();
    EXPECT_EQ(verified.load(), 100);
}

// Against the Secret Service of the session (scripts/test starts one). Outside CI a
// machine without one skips; under CI=true its absence is a failure.
TEST(DPoPSignerTest, SecondSignerFindsTheKeyInTheSystemKeyring)
{
    const auto keychain = Keychain::system();
    QByteArray probe;
    const std::int32_t status = keychain->copyMatching(KeychainItemQuery::key("dev.orvalen.account.dpop.probe"), &probe);
    if (status == KeychainStatus::notAvailable) {
        if (qEnvironmentVariable("CI") == QLatin1String("true"))
            FAIL() << "no Secret Service reachable under CI";
        GTEST_SKIP() << "no Secret Service reachable";
    }
    auto env = environment(keychain);
    env.applicationIdentifier = QStringLiteral("dev.orvalen.test.") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    const DPoPSigner first(env);
    const DPoPSigner second(env);
    keychain->remove(KeychainItemQuery::key(DPoPSigner::keyTag(env.applicationIdentifier)));
    EXPECT_EQ(first.backendKind(), Kind::softwareKeychain);
    EXPECT_EQ(second.backendKind(), Kind::softwareKeychain);
    EXPECT_EQ(second.jktThumbprint(), first.jktThumbprint());
}

namespace {
// Bytes in a heap block of exactly their size, so that AddressSanitizer sees any read
// past the end (a QByteArray copy would carry a terminating zero).
class ExactBytes {
public:
    explicit ExactBytes(const QByteArray &bytes) : m_storage(new char[std::max<qsizetype>(bytes.size(), 1)])
    {
        std::memcpy(m_storage.get(), bytes.constData(), static_cast<std::size_t>(bytes.size()));
        m_view = QByteArray::fromRawData(m_storage.get(), bytes.size());
    }
    const QByteArray &bytes() const { return m_view; }

private:
    std::unique_ptr<char[]> m_storage;
    QByteArray m_view;
};

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}
} // namespace

TEST(DPoPSignerTest, DerToJoseAcceptsWellFormedSignatures)
{
    const QByteArray r32 = QByteArray(32, '\x11');
    const QByteArray s32 = QByteArray(32, '\x22');
    struct Case {
        const char *name;
        QByteArray der;
        QByteArray jose;
        int componentLength = 32;
    };
    const Case cases[] = {
        {"plain", hex("3044") + hex("0220") + r32 + hex("0220") + s32, r32 + s32},
        {"r with sign zero, short s", hex("3044") + hex("022100") + QByteArray(32, '\x81') + hex("021f") + QByteArray(31, '\x22'),
         QByteArray(32, '\x81') + QByteArray(1, '\0') + QByteArray(31, '\x22')},
        {"both with sign zeros", hex("3046") + hex("022100") + QByteArray(32, '\xff') + hex("022100") + QByteArray(32, '\x80'),
         QByteArray(32, '\xff') + QByteArray(32, '\x80')},
        // P-521's components need the long form of the sequence length.
        {"long-form sequence length", hex("308188") + hex("024201") + QByteArray(65, '\x11') + hex("024201") + QByteArray(65, '\x22'),
         hex("01") + QByteArray(65, '\x11') + hex("01") + QByteArray(65, '\x22'), 66},
        {"tiny integers", hex("3006020101020102"), QByteArray(31, '\0') + hex("01") + QByteArray(31, '\0') + hex("02")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const ExactBytes exact(c.der);
        EXPECT_EQ(DPoPSigner::derToJoseECDSA(exact.bytes(), c.componentLength), c.jose);
    }
}

TEST(DPoPSignerTest, DerToJoseRejectsMalformedInput)
{
    const QByteArray r32 = QByteArray(32, '\x11');
    const QByteArray s32 = QByteArray(32, '\x22');
    struct Case {
        const char *name;
        QByteArray der;
        const char *reason;
    };
    const Case cases[] = {
        {"empty", QByteArray(), "der_not_sequence"},
        {"two bytes", hex("3000"), "der_not_sequence"},
        {"not a sequence", hex("3144") + hex("0220") + r32 + hex("0220") + s32, "der_not_sequence"},
        {"first element not an integer", hex("3044") + hex("0320") + r32 + hex("0220") + s32, "der_not_integer"},
        {"second element not an integer", hex("3044") + hex("0220") + r32 + hex("0420") + s32, "der_not_integer"},
        {"indefinite sequence length", hex("3080") + hex("0220") + r32 + hex("0220") + s32 + hex("0000"), "der_bad_length"},
        {"indefinite integer length", hex("3044") + hex("0280") + r32 + hex("0220") + s32, "der_bad_length"},
        {"five length bytes", hex("30850000000044") + hex("0220") + r32 + hex("0220") + s32, "der_bad_length"},
        {"r longer than 32 bytes", hex("3045") + hex("022101") + r32 + hex("0220") + s32, "der_integer_too_long"},
        {"s longer than 32 bytes", hex("3045") + hex("0220") + r32 + hex("022101") + s32, "der_integer_too_long"},
        {"empty r", hex("3024") + hex("0200") + hex("0220") + s32, "der_integer_empty"},
        {"empty s", hex("3024") + hex("0220") + r32 + hex("0200"), "der_integer_empty"},
        {"negative r", hex("3044") + hex("0220") + QByteArray(32, '\x81') + hex("0220") + s32, "der_integer_negative"},
        {"negative s", hex("3044") + hex("0220") + r32 + hex("0220") + QByteArray(32, '\x92'), "der_integer_negative"},
        {"r with a needless zero", hex("3045") + hex("022100") + r32 + hex("0220") + s32, "der_integer_not_minimal"},
        {"s with a needless zero", hex("3046") + hex("0220") + r32 + hex("02220001") + s32, "der_integer_not_minimal"},
        {"long form for a short sequence", hex("308144") + hex("0220") + r32 + hex("0220") + s32, "der_length_not_minimal"},
        {"long form for a short integer", hex("3045") + hex("028120") + r32 + hex("0220") + s32, "der_length_not_minimal"},
        {"leading zero length byte", hex("30820044") + hex("0220") + r32 + hex("0220") + s32, "der_length_not_minimal"},
        {"bytes after the sequence", hex("3044") + hex("0220") + r32 + hex("0220") + s32 + hex("00"), "der_trailing_bytes"},
        {"a third integer", hex("3047") + hex("0220") + r32 + hex("0220") + s32 + hex("020101"), "der_trailing_bytes"},
        {"sequence longer than the input", hex("3050") + hex("0220") + r32 + hex("0220") + s32, "der_truncated"},
        {"huge sequence length", hex("3084ffffffff") + hex("0220") + r32, "der_truncated"},
        {"integer longer than the sequence", hex("3044") + hex("0220") + r32 + hex("0230") + s32, "der_truncated"},
        {"only r", hex("3022") + hex("0220") + r32, "der_truncated"},
        {"length bytes cut off", hex("308201"), "der_truncated"},
        {"integer header cut off", hex("300302"), "der_truncated"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const ExactBytes exact(c.der);
        EXPECT_EQ(reasonOf([&] { DPoPSigner::derToJoseECDSA(exact.bytes(), 32); }), std::string(c.reason));
    }
}

TEST(DPoPSignerTest, DerToJoseNeverReadsPastTheEndOfAnyPrefix)
{
    const QByteArray der = hex("3046") + hex("022100") + QByteArray(32, '\x81') + hex("022100") + QByteArray(32, '\x92');
    ASSERT_EQ(DPoPSigner::derToJoseECDSA(der, 32).size(), 64);
    for (qsizetype length = 0; length < der.size(); ++length) {
        SCOPED_TRACE(length);
        const ExactBytes exact(der.left(length));
        EXPECT_NE(reasonOf([&] { DPoPSigner::derToJoseECDSA(exact.bytes(), 32); }), "<no error>");
    }
}
