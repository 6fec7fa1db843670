#include "tools/fakes/FakeIdentityService.h"

#include "OrvalenAccount/OrvalenJSON.h"
#include "tools/fakes/FakeAuthority.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QUuid>

#include <openssl/core_names.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

#include <memory>
#include <stdexcept>

namespace Fakes {

namespace {

constexpr auto kBase64Url = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;

std::optional<QByteArray> fromBase64Url(const QByteArray &text)
{
    auto decoded = QByteArray::fromBase64Encoding(text, kBase64Url | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    return *decoded;
}

std::optional<QJsonObject> jsonObject(const QByteArray &bytes)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return doc.object();
}

struct PkeyDeleter {
    void operator()(EVP_PKEY *p) const { EVP_PKEY_free(p); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyDeleter>;

Pkey p256PublicKey(const QByteArray &x, const QByteArray &y)
{
    const QByteArray point = QByteArray(1, '\x04') + x + y;
    OSSL_PARAM_BLD *builder = OSSL_PARAM_BLD_new();
    if (!builder)
        return {};
    OSSL_PARAM_BLD_push_utf8_string(builder, OSSL_PKEY_PARAM_GROUP_NAME, "prime256v1", 0);
    OSSL_PARAM_BLD_push_octet_string(builder, OSSL_PKEY_PARAM_PUB_KEY, point.constData(),
                                     static_cast<size_t>(point.size()));
    OSSL_PARAM *params = OSSL_PARAM_BLD_to_param(builder);
    EVP_PKEY_CTX *ctx = EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr);
    EVP_PKEY *key = nullptr;
    if (params && ctx && EVP_PKEY_fromdata_init(ctx) == 1)
        EVP_PKEY_fromdata(ctx, &key, EVP_PKEY_PUBLIC_KEY, params);
    EVP_PKEY_CTX_free(ctx);
    OSSL_PARAM_free(params);
    OSSL_PARAM_BLD_free(builder);
    return Pkey(key);
}

// A JOSE signature (r then s, 32 bytes each) checked over `input` with SHA-256.
bool verifyEs256(EVP_PKEY *key, const QByteArray &input, const QByteArray &joseSignature)
{
    if (joseSignature.size() != 64)
        return false;
    ECDSA_SIG *sig = ECDSA_SIG_new();
    BIGNUM *r = BN_bin2bn(reinterpret_cast<const unsigned char *>(joseSignature.constData()), 32, nullptr);
    BIGNUM *s = BN_bin2bn(reinterpret_cast<const unsigned char *>(joseSignature.constData()) + 32, 32, nullptr);
    if (!sig || !r || !s || ECDSA_SIG_set0(sig, r, s) != 1) {
        BN_free(r);
        BN_free(s);
        ECDSA_SIG_free(sig);
        return false;
    }
    unsigned char *der = nullptr;
    const int derLength = i2d_ECDSA_SIG(sig, &der);
    ECDSA_SIG_free(sig);
    if (derLength <= 0)
        return false;
    EVP_MD_CTX *md = EVP_MD_CTX_new();
    const bool ok = md && EVP_DigestVerifyInit(md, nullptr, EVP_sha256(), nullptr, key) == 1
        && EVP_DigestVerify(md, der, static_cast<size_t>(derLength),
                            reinterpret_cast<const unsigned char *>(input.constData()),
                            static_cast<size_t>(input.size()))
            == 1;
    EVP_MD_CTX_free(md);
    OPENSSL_free(der);
    return ok;
}

std::optional<QByteArray> bearerOf(const RecordedRequest &request)
{
    const QByteArray authorization = request.header("Authorization");
    if (!authorization.startsWith("Bearer "))
        return std::nullopt;
    return authorization.mid(7);
}

} // namespace

FakeIdentityService::FakeIdentityService(QObject *parent) : FakeService(parent)
{
    on(QStringLiteral("POST"), exchangePath, [this](const RecordedRequest &r) { return exchange(r); });
    on(QStringLiteral("POST"), refreshPath, [this](const RecordedRequest &r) { return refresh(r); });
    on(QStringLiteral("POST"), revokePath, [this](const RecordedRequest &r) { return revoke(r); });
    on(QStringLiteral("POST"), appleAuthcodePath, [this](const RecordedRequest &r) { return appleAuthcode(r); });
    on(QStringLiteral("POST"), consentsPath, [this](const RecordedRequest &r) { return consent(r); });
}

void FakeIdentityService::setAuthority(FakeAuthority *authority)
{
    m_authority = authority;
}

QList<DPoPCheck> FakeIdentityService::dpopFailures() const
{
    QList<DPoPCheck> out;
    for (const DPoPCheck &check : m_checks) {
        if (!check.valid)
            out.append(check);
    }
    return out;
}

ScriptedAnswer FakeIdentityService::withDeprecation(ScriptedAnswer answer, const QByteArray &value)
{
    answer.headers.append(qMakePair(QByteArray("Orvalen-Deprecation"), value));
    return answer;
}

QString FakeIdentityService::newAccountId()
{
    // RFC 9562: 48 bits of Unix milliseconds, version 7, random bits, variant 10.
    QByteArray bytes(16, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(bytes.data()), 4);
    const quint64 millis = static_cast<quint64>(QDateTime::currentMSecsSinceEpoch());
    for (int i = 0; i < 6; ++i)
        bytes[i] = static_cast<char>((millis >> (8 * (5 - i))) & 0xff);
    bytes[6] = static_cast<char>((bytes[6] & 0x0f) | 0x70);
    bytes[8] = static_cast<char>((bytes[8] & 0x3f) | 0x80);
    return QStringLiteral("oa_") + QUuid::fromRfc4122(bytes).toString(QUuid::WithoutBraces).toLower();
}

FakeIdentityService::Account FakeIdentityService::accountFor(const QString &email)
{
    const QString key = email.trimmed().toLower();
    auto found = m_accounts.constFind(key);
    if (found == m_accounts.constEnd())
        found = m_accounts.insert(key, newAccountId());
    return Account{found.value(), key};
}

std::optional<QString> FakeIdentityService::accountOfSession(const QString &oas) const
{
    const auto found = m_liveSessions.constFind(oas);
    if (found == m_liveSessions.constEnd() || found->expiresAt <= QDateTime::currentDateTimeUtc())
        return std::nullopt;
    return found->accountId;
}

QJsonObject FakeIdentityService::issueSession(const QString &appSlug)
{
    return issueSession(appSlug, Account{accountId, email});
}

QJsonObject FakeIdentityService::issueSession(const QString &appSlug, const Account &account)
{
    ++m_issued;
    const QString nonce = QUuid::createUuid().toString(QUuid::Id128).left(12);
    const QString oas = QStringLiteral("oas_%1_%2").arg(m_issued).arg(nonce);
    const QString refreshToken = QStringLiteral("rt_%1_%2").arg(m_issued).arg(nonce);
    const QDateTime expiresAt = QDateTime::currentDateTimeUtc().addSecs(m_lifetimeSeconds);
    m_liveSessions.insert(oas, SessionRecord{account.id, expiresAt});
    m_liveRefreshTokens.insert(refreshToken, RefreshRecord{account.id, account.email});
    QJsonObject session{
        {QStringLiteral("ok"), true},
        {QStringLiteral("oas"), oas},
        {QStringLiteral("refresh_token"), refreshToken},
        {QStringLiteral("expires_at"), OrvalenJSON::encodeDate(expiresAt)},
        {QStringLiteral("orvalen_account_id"), account.id},
        {QStringLiteral("email"), account.email},
        {QStringLiteral("app_slug"), appSlug},
    };
    return session;
}

QJsonObject FakeIdentityService::saveState() const
{
    QJsonObject accounts;
    for (auto it = m_accounts.constBegin(); it != m_accounts.constEnd(); ++it)
        accounts.insert(it.key(), it.value());
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QJsonObject sessions;
    for (auto it = m_liveSessions.constBegin(); it != m_liveSessions.constEnd(); ++it) {
        if (it->expiresAt > now) {
            sessions.insert(it.key(), QJsonObject{{QStringLiteral("account"), it->accountId},
                                                  {QStringLiteral("expires_at"), OrvalenJSON::encodeDate(it->expiresAt)}});
        }
    }
    QJsonObject refreshTokens;
    for (auto it = m_liveRefreshTokens.constBegin(); it != m_liveRefreshTokens.constEnd(); ++it) {
        refreshTokens.insert(it.key(), QJsonObject{{QStringLiteral("account"), it->accountId},
                                                   {QStringLiteral("email"), it->email}});
    }
    const auto sorted = [](const QSet<QString> &set) {
        QStringList list(set.begin(), set.end());
        list.sort();
        return QJsonArray::fromStringList(list);
    };
    return QJsonObject{
        {QStringLiteral("issued"), m_issued},
        {QStringLiteral("accounts"), accounts},
        {QStringLiteral("sessions"), sessions},
        {QStringLiteral("refresh_tokens"), refreshTokens},
        {QStringLiteral("used_refresh_tokens"), sorted(m_usedRefreshTokens)},
        {QStringLiteral("revoked"), sorted(m_revoked)},
    };
}

void FakeIdentityService::restoreState(const QJsonObject &state)
{
    const auto fail = [](const char *what) { throw std::runtime_error(std::string("identity state: ") + what); };
    const auto object = [&](const QString &key) {
        const QJsonValue value = state.value(key);
        if (!value.isUndefined() && !value.isObject())
            fail("a member is not an object");
        return value.toObject();
    };
    const auto strings = [&](const QString &key) {
        QSet<QString> out;
        const QJsonValue value = state.value(key);
        if (!value.isUndefined() && !value.isArray())
            fail("a member is not an array");
        for (const QJsonValue &item : value.toArray()) {
            if (!item.isString())
                fail("a token is not a string");
            out.insert(item.toString());
        }
        return out;
    };

    QHash<QString, QString> accounts;
    const QJsonObject savedAccounts = object(QStringLiteral("accounts"));
    for (auto it = savedAccounts.begin(); it != savedAccounts.end(); ++it) {
        if (!it.value().isString())
            fail("an account id is not a string");
        accounts.insert(it.key(), it.value().toString());
    }
    QHash<QString, SessionRecord> sessions;
    const QJsonObject savedSessions = object(QStringLiteral("sessions"));
    for (auto it = savedSessions.begin(); it != savedSessions.end(); ++it) {
        const QJsonObject record = it.value().toObject();
        if (!record.value(QStringLiteral("account")).isString())
            fail("a session record is malformed");
        // Throws a std::runtime_error of its own for a date it cannot read.
        const QDateTime expiresAt = OrvalenJSON::decodeDate(record.value(QStringLiteral("expires_at")).toString());
        sessions.insert(it.key(), SessionRecord{record.value(QStringLiteral("account")).toString(), expiresAt});
    }
    QHash<QString, RefreshRecord> refreshTokens;
    const QJsonObject savedRefresh = object(QStringLiteral("refresh_tokens"));
    for (auto it = savedRefresh.begin(); it != savedRefresh.end(); ++it) {
        const QJsonObject record = it.value().toObject();
        if (!record.value(QStringLiteral("account")).isString() || !record.value(QStringLiteral("email")).isString())
            fail("a refresh token record is malformed");
        refreshTokens.insert(it.key(), RefreshRecord{record.value(QStringLiteral("account")).toString(),
                                                     record.value(QStringLiteral("email")).toString()});
    }
    const QJsonValue issued = state.value(QStringLiteral("issued"));
    if (!issued.isUndefined() && !issued.isDouble())
        fail("\"issued\" is not a number");

    m_usedRefreshTokens = strings(QStringLiteral("used_refresh_tokens"));
    m_revoked = strings(QStringLiteral("revoked"));
    m_accounts = std::move(accounts);
    m_liveSessions = std::move(sessions);
    m_liveRefreshTokens = std::move(refreshTokens);
    m_issued = issued.toInt();
}

ScriptedAnswer FakeIdentityService::decorate(ScriptedAnswer answer) const
{
    if (!m_deprecation.isEmpty())
        answer = withDeprecation(std::move(answer), m_deprecation);
    return answer;
}

ScriptedAnswer FakeIdentityService::exchange(const RecordedRequest &request)
{
    const QJsonObject body = request.json().object();
    if (!body.value(QStringLiteral("app_slug")).isString() || !body.value(QStringLiteral("code")).isString())
        return decorate(ScriptedAnswer::json(400, R"({"error":"invalid_request"})"));
    Account account{accountId, email};
    if (m_authority) {
        const FakeAuthority::Redemption redemption =
            m_authority->redeem(body.value(QStringLiteral("code")).toString(),
                                body.value(QStringLiteral("code_verifier")).toString(),
                                body.value(QStringLiteral("redirect_uri")).toString());
        if (!redemption.refusal.isEmpty()) {
            m_exchangeRefusals.append(redemption.refusal);
            return decorate(ScriptedAnswer::json(400, R"({"error":"invalid_grant"})"));
        }
        if (!redemption.email.isEmpty())
            account = accountFor(redemption.email);
    }
    const QJsonObject session = issueSession(body.value(QStringLiteral("app_slug")).toString(), account);
    return decorate(ScriptedAnswer::json(200, QJsonDocument(session).toJson(QJsonDocument::Compact)));
}

ScriptedAnswer FakeIdentityService::refresh(const RecordedRequest &request)
{
    const QJsonObject body = request.json().object();
    const QString token = body.value(QStringLiteral("refresh_token")).toString();
    if (m_usedRefreshTokens.contains(token))
        return decorate(ScriptedAnswer::json(401, R"({"error":"refresh_token_reused"})"));
    const auto record = m_liveRefreshTokens.constFind(token);
    if (record == m_liveRefreshTokens.constEnd())
        return decorate(ScriptedAnswer::json(401, R"({"error":"invalid_refresh_token"})"));
    const Account account{record->accountId, record->email};
    m_liveRefreshTokens.erase(record);
    m_usedRefreshTokens.insert(token);
    const QJsonObject session = issueSession(body.value(QStringLiteral("app_slug")).toString(), account);
    return decorate(ScriptedAnswer::json(200, QJsonDocument(session).toJson(QJsonDocument::Compact)));
}

ScriptedAnswer FakeIdentityService::revoke(const RecordedRequest &request)
{
    const std::optional<QByteArray> bearer = bearerOf(request);
    if (!bearer || !m_liveSessions.contains(QString::fromUtf8(*bearer)))
        return decorate(ScriptedAnswer::json(401, R"({"error":"invalid_session"})"));
    m_liveSessions.remove(QString::fromUtf8(*bearer));
    m_revoked.insert(QString::fromUtf8(*bearer));
    return decorate(ScriptedAnswer::json(200, R"({"ok":true})"));
}

ScriptedAnswer FakeIdentityService::appleAuthcode(const RecordedRequest &request)
{
    const QJsonObject body = request.json().object();
    if (!body.value(QStringLiteral("app_slug")).isString()
        || !body.value(QStringLiteral("authorization_code")).isString())
        return decorate(ScriptedAnswer::json(400, R"({"error":"invalid_request"})"));
    QJsonObject session = issueSession(body.value(QStringLiteral("app_slug")).toString());
    QJsonObject answer{
        {QStringLiteral("ok"), true},
        {QStringLiteral("orvalen_account_id"), session.value(QStringLiteral("orvalen_account_id"))},
        {QStringLiteral("email"), session.value(QStringLiteral("email"))},
        {QStringLiteral("oas"), session.value(QStringLiteral("oas"))},
        {QStringLiteral("refresh_token"), session.value(QStringLiteral("refresh_token"))},
        {QStringLiteral("expires_at"), session.value(QStringLiteral("expires_at"))},
        {QStringLiteral("is_new_user"), false},
    };
    return decorate(ScriptedAnswer::json(200, QJsonDocument(answer).toJson(QJsonDocument::Compact)));
}

bool FakeIdentityService::handleSpecial(const RecordedRequest &request, ScriptedAnswer &)
{
    if (request.hasHeader("DPoP")) {
        DPoPCheck check = verifyProof(request.header("DPoP"), request.method, url(request.path), bearerOf(request),
                                      QDateTime::currentDateTimeUtc());
        if (check.valid) {
            const QByteArray claims = fromBase64Url(request.header("DPoP").split('.').value(1)).value_or(QByteArray());
            const QByteArray jti = jsonObject(claims).value_or(QJsonObject()).value(QStringLiteral("jti")).toString().toUtf8();
            if (m_seenJtis.contains(jti)) {
                check.valid = false;
                check.failure = QStringLiteral("jti replayed");
            }
            m_seenJtis.insert(jti);
        }
        m_checks.append(check);
    }
    return false;
}

DPoPCheck FakeIdentityService::verifyProof(const QByteArray &proof, const QString &method, const QUrl &url,
                                           const std::optional<QByteArray> &bearer, const QDateTime &now)
{
    DPoPCheck check;
    check.method = method;
    check.path = url.path();
    const auto fail = [&check](const QString &why) {
        check.valid = false;
        check.failure = why;
        return check;
    };
    const QList<QByteArray> parts = proof.split('.');
    if (parts.size() != 3)
        return fail(QStringLiteral("not a compact JWS"));
    const auto headerBytes = fromBase64Url(parts[0]);
    const auto claimBytes = fromBase64Url(parts[1]);
    const auto signature = fromBase64Url(parts[2]);
    if (!headerBytes || !claimBytes || !signature)
        return fail(QStringLiteral("not base64url"));
    const auto header = jsonObject(*headerBytes);
    const auto claims = jsonObject(*claimBytes);
    if (!header || !claims)
        return fail(QStringLiteral("header or claims not a JSON object"));
    if (header->value(QStringLiteral("typ")).toString() != QLatin1String("dpop+jwt"))
        return fail(QStringLiteral("typ"));
    if (header->value(QStringLiteral("alg")).toString() != QLatin1String("ES256"))
        return fail(QStringLiteral("alg"));
    const QJsonObject jwk = header->value(QStringLiteral("jwk")).toObject();
    if (jwk.value(QStringLiteral("kty")).toString() != QLatin1String("EC")
        || jwk.value(QStringLiteral("crv")).toString() != QLatin1String("P-256"))
        return fail(QStringLiteral("jwk is not a P-256 key"));
    const auto x = fromBase64Url(jwk.value(QStringLiteral("x")).toString().toUtf8());
    const auto y = fromBase64Url(jwk.value(QStringLiteral("y")).toString().toUtf8());
    if (!x || !y || x->size() != 32 || y->size() != 32)
        return fail(QStringLiteral("jwk coordinates"));
    check.jwkThumbprintInput = QStringLiteral(R"({"crv":"P-256","kty":"EC","x":"%1","y":"%2"})")
                                   .arg(jwk.value(QStringLiteral("x")).toString(),
                                        jwk.value(QStringLiteral("y")).toString());
    Pkey key = p256PublicKey(*x, *y);
    if (!key)
        return fail(QStringLiteral("jwk is not a point on P-256"));
    if (!verifyEs256(key.get(), parts[0] + '.' + parts[1], *signature))
        return fail(QStringLiteral("signature does not verify"));

    if (claims->value(QStringLiteral("htm")).toString() != method)
        return fail(QStringLiteral("htm"));
    QUrl expectedHtu = url.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment);
    if (claims->value(QStringLiteral("htu")).toString() != expectedHtu.toString())
        return fail(QStringLiteral("htu"));
    const QJsonValue iat = claims->value(QStringLiteral("iat"));
    if (!iat.isDouble() || std::abs(iat.toDouble() - static_cast<double>(now.toSecsSinceEpoch())) > 300)
        return fail(QStringLiteral("iat"));
    if (claims->value(QStringLiteral("jti")).toString().size() < 16)
        return fail(QStringLiteral("jti"));
    if (bearer) {
        const QByteArray ath = QCryptographicHash::hash(*bearer, QCryptographicHash::Sha256).toBase64(kBase64Url);
        if (claims->value(QStringLiteral("ath")).toString().toUtf8() != ath)
            return fail(QStringLiteral("ath does not match the bearer token"));
    }
    check.valid = true;
    return check;
}

ScriptedAnswer FakeIdentityService::consent(const RecordedRequest &request)
{
    const std::optional<QByteArray> bearer = bearerOf(request);
    const std::optional<QString> account = bearer ? accountOfSession(QString::fromUtf8(*bearer)) : std::nullopt;
    if (!account)
        return ScriptedAnswer::json(401, R"({"error":"unauthorized"})");
    const QJsonDocument document = request.json();
    const QJsonObject body = document.object();
    const QString kind = body.value(QStringLiteral("kind")).toString();
    bool complete = document.isObject() && (kind == QLatin1String("terms") || kind == QLatin1String("privacy"));
    for (const char *key : {"version", "surface", "verbatim_text"})
        complete = complete && body.value(QLatin1String(key)).isString() && !body.value(QLatin1String(key)).toString().isEmpty();
    if (!complete)
        return ScriptedAnswer::json(400, R"({"error":"invalid_body"})");
    m_consents.append(Consent{*account, body});
    return ScriptedAnswer::json(200, R"({"ok":true})");
}

} // namespace Fakes
