#include "OrvalenAccount/Internal/OIDCAuthorizationRequest.h"
#include "OrvalenAccount/Internal/OIDCAuthorizationService.h"
#include "OrvalenAccount/Internal/OIDCError.h"
#include "OrvalenAccount/Internal/OIDCExternalUserAgent.h"
#include "OrvalenAccount/Internal/OIDCExternalUserAgentSession.h"
#include "OrvalenAccount/Internal/OIDCServiceConfiguration.h"
#include "tools/fakes/FakeAuthority.h"
#include "support/TaskRunner.h"

#include <gtest/gtest.h>

#include <QNetworkAccessManager>
#include <QRegularExpression>
#include <QSet>
#include <QUrlQuery>

using namespace std::chrono_literals;

namespace {

OIDCServiceConfiguration configurationWith(const QString &authorizationEndpoint)
{
    OIDCServiceConfiguration configuration;
    configuration.authorizationEndpoint = QUrl(authorizationEndpoint);
    return configuration;
}

OIDCAuthorizationRequest makeRequest(QMap<QString, QString> extra = {},
                                     const QString &endpoint = QStringLiteral("https://auth.example/authorize"))
{
    return OIDCAuthorizationRequest(configurationWith(endpoint), QStringLiteral("vantle"),
                                    {QStringLiteral("orvalen.account")}, QUrl(QStringLiteral("vantle://auth/callback")),
                                    QStringLiteral("code"), std::move(extra));
}

// An agent that only records what it was asked to show.
class RecordingAgent final : public OIDCExternalUserAgent {
public:
    explicit RecordingAgent(bool opens = true) : m_opens(opens) {}
    bool presentExternalUserAgentRequest(const QUrl &url) override
    {
        presented.append(url);
        return m_opens;
    }
    void dismissExternalUserAgent() override { ++dismissals; }
    QList<QUrl> presented;
    int dismissals = 0;

private:
    bool m_opens;
};

struct Ending {
    int calls = 0;
    std::optional<OIDCAuthorizationResponse> response;
    std::optional<OIDCError> error;
};

std::shared_ptr<OIDCExternalUserAgentSession> present(const OIDCAuthorizationRequest &request,
                                                      std::shared_ptr<RecordingAgent> agent, std::shared_ptr<Ending> ending)
{
    return OIDCAuthorizationService::presentAuthorizationRequest(
        request, std::move(agent),
        [ending](std::optional<OIDCAuthorizationResponse> response, std::optional<OIDCError> error) {
            ++ending->calls;
            ending->response = std::move(response);
            ending->error = std::move(error);
        });
}

TEST(OIDCPkce, ChallengeOfTheKnownVerifier)
{
    // RFC 7636, appendix B.
    EXPECT_EQ(OIDCAuthorizationRequest::codeChallengeS256(QStringLiteral("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk")),
              QStringLiteral("E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM"));
}

TEST(OIDCPkce, VerifiersAreUnreservedFreshAndLongEnough)
{
    const QRegularExpression unreserved(QStringLiteral("^[A-Za-z0-9._~-]{43,128}$"));
    QSet<QString> seen;
    for (int i = 0; i < 200; ++i) {
        const QString verifier = OIDCAuthorizationRequest::generateCodeVerifier();
        EXPECT_TRUE(unreserved.match(verifier).hasMatch()) << verifier.toStdString();
        seen.insert(verifier);
    }
    EXPECT_EQ(seen.size(), 200);

    const OIDCAuthorizationRequest a = makeRequest();
    const OIDCAuthorizationRequest b = makeRequest();
    EXPECT_NE(a.state(), b.state());
    EXPECT_NE(a.nonce(), b.nonce());
    EXPECT_NE(a.state(), a.nonce());
    EXPECT_EQ(a.codeChallenge(), OIDCAuthorizationRequest::codeChallengeS256(a.codeVerifier()));
}

TEST(OIDCRequest, ARelativeRedirectIsRefused)
{
    for (const char *redirect : {"", "/callback", "auth/callback"}) {
        try {
            OIDCAuthorizationRequest(configurationWith(QStringLiteral("https://auth.example/authorize")),
                                     QStringLiteral("vantle"), {}, QUrl(QLatin1String(redirect)), QStringLiteral("code"), {});
            ADD_FAILURE() << redirect;
        } catch (const OIDCError &error) {
            EXPECT_EQ(error.code(), OIDCGeneralErrorCode::invalidRequest) << redirect;
        }
    }
}

TEST(OIDCRequest, QueryValuesArriveExactlyAsGiven)
{
    const QMap<QString, QString> extra{
        {QStringLiteral("plus"), QStringLiteral("1.0+beta")},
        {QStringLiteral("tricky"), QStringLiteral("a&b=c d%20é#f")},
        // The protocol's own keys cannot be overridden or repeated.
        {QStringLiteral("state"), QStringLiteral("chosen-by-caller")},
        {QStringLiteral("redirect_uri"), QStringLiteral("https://evil.example/")},
    };
    const OIDCAuthorizationRequest request = makeRequest(extra, QStringLiteral("https://auth.example/authorize?tenant=x+y"));
    const QUrl url = request.externalUserAgentRequestURL();
    EXPECT_EQ(url.host(), QStringLiteral("auth.example"));
    EXPECT_EQ(url.path(), QStringLiteral("/authorize"));

    const QByteArray raw = url.query(QUrl::FullyEncoded).toLatin1();
    EXPECT_EQ(raw.count("state="), 1);
    EXPECT_EQ(raw.count("redirect_uri="), 1);
    const auto got = Fakes::FakeAuthority::decodeQuery(raw);
    EXPECT_EQ(got.value(QStringLiteral("tenant")), QStringLiteral("x y")); // the endpoint's own query is kept as it was
    EXPECT_EQ(got.value(QStringLiteral("plus")), QStringLiteral("1.0+beta"));
    EXPECT_EQ(got.value(QStringLiteral("tricky")), QStringLiteral("a&b=c d%20é#f"));
    EXPECT_EQ(got.value(QStringLiteral("state")), request.state());
    EXPECT_EQ(got.value(QStringLiteral("redirect_uri")), QStringLiteral("vantle://auth/callback"));
    EXPECT_EQ(got.value(QStringLiteral("scope")), QStringLiteral("orvalen.account"));
    EXPECT_EQ(got.value(QStringLiteral("code_challenge_method")), QStringLiteral("S256"));
}

TEST(OIDCDiscovery, DocumentAddressFollowsTheIssuerPath)
{
    const struct {
        const char *issuer;
        const char *expected;
    } cases[] = {
        {"https://auth.example", "https://auth.example/.well-known/openid-configuration"},
        {"https://auth.example/", "https://auth.example/.well-known/openid-configuration"},
        {"https://auth.example/tenant/", "https://auth.example/tenant/.well-known/openid-configuration"},
        {"http://127.0.0.1:8080/t?x=1#y", "http://127.0.0.1:8080/t/.well-known/openid-configuration"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(OIDCServiceConfiguration::discoveryURL(QUrl(QLatin1String(c.issuer))), QUrl(QLatin1String(c.expected)))
            << c.issuer;
}

TEST(OIDCDiscovery, DocumentNeedsAnAbsoluteWebAuthorizationEndpoint)
{
    const struct {
        const char *json;
        bool valid;
    } cases[] = {
        {R"({"authorization_endpoint":"https://a.example/auth","token_endpoint":"https://a.example/token","issuer":"https://a.example"})", true},
        {R"({"authorization_endpoint":"http://127.0.0.1:9/auth"})", true},
        {R"({"authorization_endpoint":"https://a.example/auth?tenant=x&State=y"})", true},
        // The request's own parameters are the only ones: none may come twice.
        {R"({"authorization_endpoint":"https://p/authorize?code_challenge"})", false},
        {R"({"authorization_endpoint":"https://p/authorize?tenant=x&state=fixed"})", false},
        {R"({"authorization_endpoint":"https://p/authorize?redirect%5Furi=https://evil.example/"})", false},
        {R"({"authorization_endpoint":"/auth"})", false},
        {R"j({"authorization_endpoint":"javascript:alert(1)"})j", false},
        {R"({"authorization_endpoint":"vantle://auth/callback"})", false},
        {R"({"authorization_endpoint":42})", false},
        {R"({"token_endpoint":"https://a.example/token"})", false},
        {R"(["https://a.example/auth"])", false},
        {"", false},
    };
    for (const auto &c : cases) {
        try {
            const auto configuration = OIDCServiceConfiguration::fromDiscoveryDocument(QByteArray(c.json));
            EXPECT_TRUE(c.valid) << c.json;
        } catch (const OIDCError &error) {
            EXPECT_FALSE(c.valid) << c.json;
            EXPECT_EQ(error.domain(), OIDGeneralErrorDomain);
            EXPECT_EQ(error.code(), OIDCGeneralErrorCode::invalidDiscoveryDocument);
        }
    }
    const auto full = OIDCServiceConfiguration::fromDiscoveryDocument(
        R"({"authorization_endpoint":"https://a.example/auth","token_endpoint":"https://a.example/token",
            "userinfo_endpoint":"relative","issuer":"https://a.example","extra":true})");
    EXPECT_EQ(full.tokenEndpoint, QUrl(QStringLiteral("https://a.example/token")));
    EXPECT_EQ(full.userinfoEndpoint, std::nullopt);
    EXPECT_EQ(full.issuer, QStringLiteral("https://a.example"));
    EXPECT_TRUE(full.discoveryDocument.value(QStringLiteral("extra")).toBool());
}

TEST(OIDCDiscovery, FetchesTheDocumentOfTheFakeAuthority)
{
    Fakes::FakeAuthority authority;
    QNetworkAccessManager network;
    const auto configuration = TestSupport::runTask(
        OIDCAuthorizationService::discoverServiceConfigurationForIssuer(authority.issuer(), &network));
    EXPECT_EQ(configuration.authorizationEndpoint, authority.authorizationEndpoint());
    EXPECT_EQ(configuration.tokenEndpoint, authority.url(QStringLiteral("/token")));
    // Without a manager of its own, discovery uses the shared one, as identity requests do.
    const auto shared = TestSupport::runTask(
        OIDCAuthorizationService::discoverServiceConfigurationForIssuer(authority.issuer(), nullptr));
    EXPECT_EQ(shared.authorizationEndpoint, authority.authorizationEndpoint());
}

TEST(OIDCSession, OnlyTheRedirectURIIsTaken)
{
    const OIDCAuthorizationRequest request = makeRequest();
    const QString query = QStringLiteral("?code=abc&state=") + request.state();
    const struct {
        QString url;
        bool taken;
    } cases[] = {
        {QStringLiteral("https://auth/callback") + query, false},
        {QStringLiteral("vantle://elsewhere/callback") + query, false},
        {QStringLiteral("vantle://auth:8080/callback") + query, false},
        {QStringLiteral("vantle://auth/callback/more") + query, false},
        {QStringLiteral("vantle://auth/Callback") + query, false},
        {QStringLiteral("vantle://auth") + query, false},
        {QStringLiteral("not a url at all"), false},
        {QStringLiteral("VANTLE://AUTH/callback") + query, true},
    };
    for (const auto &c : cases) {
        auto ending = std::make_shared<Ending>();
        auto session = present(request, std::make_shared<RecordingAgent>(), ending);
        EXPECT_EQ(session->resumeExternalUserAgentFlowWithURL(QUrl(c.url)), c.taken) << c.url.toStdString();
        EXPECT_EQ(session->isFinished(), c.taken) << c.url.toStdString();
        EXPECT_EQ(ending->calls, c.taken ? 1 : 0) << c.url.toStdString();
    }
}

TEST(OIDCSession, RedirectEndings)
{
    const OIDCAuthorizationRequest request = makeRequest();
    const QString state = QString::fromLatin1(QUrl::toPercentEncoding(request.state()));
    const struct {
        const char *name;
        QString query;
        std::optional<QString> code; // a response with this code, else an error:
        QString domain;
        int errorCode;
    } cases[] = {
        {"code", QStringLiteral("code=a%2Bb%2Fc&state=") + state, QStringLiteral("a+b/c"), {}, 0},
        {"no code", QStringLiteral("state=") + state, std::nullopt, {}, 0},
        {"wrong state", QStringLiteral("code=abc&state=other"), {}, OIDGeneralErrorDomain, OIDCGeneralErrorCode::stateMismatch},
        {"no state", QStringLiteral("code=abc"), {}, OIDGeneralErrorDomain, OIDCGeneralErrorCode::stateMismatch},
        // Without the state nothing is believed, not even a refusal.
        {"error, wrong state", QStringLiteral("error=access_denied&state=other"), {}, OIDGeneralErrorDomain, OIDCGeneralErrorCode::stateMismatch},
        {"error", QStringLiteral("error=access_denied&error_description=see+https://x&state=") + state, {},
         OIDOAuthAuthorizationErrorDomain, OIDCOAuthErrorCode::accessDenied},
        {"unknown error", QStringLiteral("error=weird&state=") + state, {}, OIDOAuthAuthorizationErrorDomain, OIDCOAuthErrorCode::other},
        // Each of these comes once (RFC 6749 §4.1.2); with two, the one checked and the
        // one used could differ.
        {"state twice, ours first", QStringLiteral("code=abc&state=") + state + QStringLiteral("&state=other"), {},
         OIDGeneralErrorDomain, OIDCGeneralErrorCode::invalidResponse},
        {"state twice, ours second", QStringLiteral("code=abc&state=other&state=") + state, {},
         OIDGeneralErrorDomain, OIDCGeneralErrorCode::invalidResponse},
        {"state twice, both ours", QStringLiteral("code=abc&state=") + state + QStringLiteral("&state=") + state, {},
         OIDGeneralErrorDomain, OIDCGeneralErrorCode::invalidResponse},
        {"code twice", QStringLiteral("code=abc&code=def&state=") + state, {}, OIDGeneralErrorDomain,
         OIDCGeneralErrorCode::invalidResponse},
        {"code twice, same value", QStringLiteral("code=abc&state=") + state + QStringLiteral("&code=abc"), {},
         OIDGeneralErrorDomain, OIDCGeneralErrorCode::invalidResponse},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        auto ending = std::make_shared<Ending>();
        auto agent = std::make_shared<RecordingAgent>();
        auto session = present(request, agent, ending);
        ASSERT_EQ(agent->presented.size(), 1);
        EXPECT_EQ(agent->presented[0], request.externalUserAgentRequestURL());
        EXPECT_TRUE(session->resumeExternalUserAgentFlowWithURL(QUrl(QStringLiteral("vantle://auth/callback?") + c.query)));
        ASSERT_EQ(ending->calls, 1);
        EXPECT_EQ(agent->dismissals, 1);
        const bool isResponse = c.domain.isEmpty();
        ASSERT_EQ(ending->response.has_value(), isResponse);
        ASSERT_EQ(ending->error.has_value(), !isResponse);
        if (isResponse) {
            EXPECT_EQ(ending->response->authorizationCode, c.code);
            EXPECT_EQ(ending->response->state, request.state());
        } else {
            EXPECT_EQ(ending->error->domain(), c.domain);
            EXPECT_EQ(ending->error->code(), c.errorCode);
            // A description a person may see repeats nothing from the URL.
            EXPECT_FALSE(ending->error->localizedDescription().contains(QStringLiteral("http")));
            EXPECT_FALSE(ending->error->localizedDescription().contains(QStringLiteral("other")));
            EXPECT_FALSE(ending->error->localizedDescription().contains(request.state()));
        }
        // Ended once: later redirects and cancels change nothing.
        EXPECT_FALSE(session->resumeExternalUserAgentFlowWithURL(
            QUrl(QStringLiteral("vantle://auth/callback?code=x&state=") + state)));
        session->cancel();
        EXPECT_EQ(ending->calls, 1);
    }
}

TEST(OIDCSession, CancelEndsWithTheUserCancelledError)
{
    auto ending = std::make_shared<Ending>();
    auto session = present(makeRequest(), std::make_shared<RecordingAgent>(), ending);
    session->cancel();
    session->cancel();
    ASSERT_EQ(ending->calls, 1);
    ASSERT_TRUE(ending->error);
    EXPECT_EQ(ending->error->domain(), OIDGeneralErrorDomain);
    EXPECT_EQ(ending->error->code(), -3);
}

TEST(OIDCSession, ABrowserThatDoesNotOpenIsReportedOnALaterTurn)
{
    auto ending = std::make_shared<Ending>();
    auto session = present(makeRequest(), std::make_shared<RecordingAgent>(false), ending);
    EXPECT_EQ(ending->calls, 0);
    EXPECT_FALSE(session->isFinished());
    ASSERT_TRUE(TestSupport::waitUntil([&] { return ending->calls == 1; }));
    ASSERT_TRUE(ending->error);
    EXPECT_EQ(ending->error->code(), OIDCGeneralErrorCode::browserOpenError);
}

// Every parameter the protocol owns, whichever one an additional parameter names, is
// sent once and with the protocol's value.
TEST(OIDCRequest, NoAdditionalParameterRepeatsAReservedKey)
{
    const QStringList reserved{QStringLiteral("response_type"), QStringLiteral("client_id"),
                               QStringLiteral("redirect_uri"),  QStringLiteral("scope"),
                               QStringLiteral("state"),         QStringLiteral("nonce"),
                               QStringLiteral("code_challenge"), QStringLiteral("code_challenge_method")};
    for (const QString &key : reserved) {
        SCOPED_TRACE(key.toStdString());
        const OIDCAuthorizationRequest request = makeRequest({{key, QStringLiteral("from-the-caller")}});
        const QUrlQuery query(request.externalUserAgentRequestURL());
        const QStringList values = query.allQueryItemValues(key, QUrl::FullyDecoded);
        ASSERT_EQ(values.size(), 1);
        EXPECT_NE(values.first(), QStringLiteral("from-the-caller"));
    }
    const QUrlQuery query(makeRequest().externalUserAgentRequestURL());
    for (const auto &[key, value] : query.queryItems())
        EXPECT_TRUE(reserved.contains(key)) << key.toStdString() << ": the list above misses a key the request sends";
}

// What a person is shown when a sign-in fails, word for word.
TEST(OIDCError, EveryDescriptionAPersonMaySee)
{
    namespace G = OIDCGeneralErrorCode;
    const struct {
        int code;
        const char *text;
    } general[] = {
        {G::userCanceledAuthorizationFlow, "The sign-in was cancelled."},
        {G::networkError, "Couldn't reach the sign-in service."},
        {G::serverError, "The sign-in service is not answering correctly."},
        {G::invalidDiscoveryDocument, "The sign-in service's configuration is not usable."},
        {G::browserOpenError, "Couldn't open the web browser."},
        {G::stateMismatch, "The sign-in response did not match this sign-in."},
        {G::randomSourceFailure, "Couldn't prepare a secure sign-in request."},
        {G::invalidRequest, "The sign-in request could not be made."},
        {G::invalidResponse, "The sign-in response was not valid."},
        {-99, "The sign-in did not complete."},
    };
    for (const auto &row : general) {
        const OIDCError error = OIDCError::general(row.code);
        EXPECT_EQ(error.domain(), OIDGeneralErrorDomain);
        EXPECT_EQ(error.code(), row.code);
        EXPECT_EQ(error.localizedDescription(), QString::fromUtf8(row.text)) << row.code;
        EXPECT_STREQ(error.what(), row.text);
    }
    const struct {
        const char *word;
        int code;
        const char *text;
    } words[] = {
        {"invalid_request", OIDCOAuthErrorCode::invalidRequest, "The sign-in service did not accept the request."},
        {"unauthorized_client", OIDCOAuthErrorCode::unauthorizedClient, "This application may not sign in this way."},
        {"access_denied", OIDCOAuthErrorCode::accessDenied, "Access was denied."},
        {"unsupported_response_type", OIDCOAuthErrorCode::unsupportedResponseType, "The sign-in service does not support this request."},
        {"invalid_scope", OIDCOAuthErrorCode::invalidScope, "The requested access is not available."},
        {"server_error", OIDCOAuthErrorCode::serverError, "The sign-in service had a problem. Try again later."},
        {"temporarily_unavailable", OIDCOAuthErrorCode::temporarilyUnavailable, "The sign-in service is busy. Try again later."},
        {"something_new", OIDCOAuthErrorCode::other, "The sign-in service reported an error."},
    };
    for (const auto &row : words) {
        const OIDCError error = OIDCError::fromOAuthErrorWord(QLatin1String(row.word));
        EXPECT_EQ(error.code(), row.code) << row.word;
        EXPECT_EQ(error.localizedDescription(), QString::fromUtf8(row.text)) << row.word;
    }
}

TEST(OIDCError, OAuthWordsAreKeptOutOfTheDescription)
{
    for (const char *word : {"invalid_request", "unauthorized_client", "access_denied", "unsupported_response_type",
                             "invalid_scope", "server_error", "temporarily_unavailable", "<script>"}) {
        const OIDCError error = OIDCError::fromOAuthErrorWord(QLatin1String(word));
        EXPECT_EQ(error.domain(), OIDOAuthAuthorizationErrorDomain);
        EXPECT_EQ(error.oauthError(), QLatin1String(word));
        EXPECT_FALSE(error.localizedDescription().contains(QLatin1String(word))) << word;
        EXPECT_FALSE(error.localizedDescription().isEmpty());
    }
}

} // namespace
