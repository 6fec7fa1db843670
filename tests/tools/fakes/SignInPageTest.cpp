#include "HttpFetch.h"
#include "tools/fakes/FakeAuthority.h"
#include "tools/fakes/FakeIdentityService.h"

#include <QJsonDocument>
#include <QMap>
#include <QUrlQuery>

#include <gtest/gtest.h>

using Fakes::FakeAuthority;
using Fakes::FakeIdentityService;

namespace {

// A state with every character a page or a redirect could mishandle.
const QString awkwardState = QStringLiteral("s\"><script>alert(1)</script>&x=+/%é");

QMap<QString, QString> authorizationRequest(const QString &provider = QStringLiteral("google"))
{
    return {
        {QStringLiteral("client_id"), QStringLiteral("vantle-desktop")},
        {QStringLiteral("redirect_uri"), FakeAuthority::registeredRedirect},
        {QStringLiteral("response_type"), QStringLiteral("code")},
        {QStringLiteral("state"), awkwardState},
        {QStringLiteral("code_challenge"), QStringLiteral("UWxLI_vp_8rVJXb6RbvHilqxwz5yIo5XBtvbv6vTWf4")},
        {QStringLiteral("code_challenge_method"), QStringLiteral("S256")},
        {QStringLiteral("provider"), provider},
        {QStringLiteral("orvalen_app_slug"), QStringLiteral("vantle")},
    };
}

QByteArray form(const QMap<QString, QString> &fields)
{
    QByteArray out;
    for (auto it = fields.constBegin(); it != fields.constEnd(); ++it) {
        if (!out.isEmpty())
            out += '&';
        out += QUrl::toPercentEncoding(it.key()) + '=' + QUrl::toPercentEncoding(it.value());
    }
    return out;
}

QUrl withQuery(QUrl url, const QMap<QString, QString> &fields)
{
    url.setQuery(QString::fromLatin1(form(fields)), QUrl::StrictMode);
    return url;
}

} // namespace

TEST(SignInPage, ShowsAFormThatCarriesTheRequestSafely)
{
    FakeAuthority authority;
    authority.setSignInPage(true);
    struct Case {
        QString hint;
        QString checked;
    };
    const Case cases[] = {
        {QStringLiteral("google"), QStringLiteral("google")},
        {QStringLiteral("apple"), QStringLiteral("apple")},
        {QStringLiteral("email"), QStringLiteral("email")},
        {QStringLiteral("<b>"), QStringLiteral("email")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.hint.toStdString());
        const HttpFetch page = HttpFetch::run(QStringLiteral("GET"), withQuery(authority.authorizationEndpoint(),
                                                                               authorizationRequest(c.hint)));
        EXPECT_EQ(page.status, 200);
        EXPECT_TRUE(page.contentType.startsWith("text/html"));
        EXPECT_TRUE(page.location.isEmpty());
        const QString html = QString::fromUtf8(page.body);
        EXPECT_TRUE(html.contains(QStringLiteral("value=\"%1\" checked").arg(c.checked)));
        EXPECT_EQ(html.count(QStringLiteral(" checked")), 1);
        // The state goes back into the form escaped, never as markup.
        EXPECT_TRUE(html.contains(awkwardState.toHtmlEscaped()));
        EXPECT_FALSE(html.contains(QStringLiteral("<script>")));
        EXPECT_FALSE(html.contains(QStringLiteral("<b>")));
    }
}

// Posting the form answers a page that hands the browser back to the application, at once
// and by its link, and tells the person they can go back: the tab does not stay on the form.
TEST(SignInPage, PostingTheFormSendsTheBrowserBackToTheApplication)
{
    FakeAuthority authority;
    authority.setSignInPage(true);
    struct Case {
        const char *name;
        QMap<QString, QString> fields; // added to the authorization request
        int status;
        QString result; // the way back's first parameter; empty: no way back
        QString pageProblem;
    };
    const QString problem = QStringLiteral("Type an e-mail address such as someone@example.com.");
    const Case cases[] = {
        {"allowed", {{"signin_email", " Someone@Example.test "}, {"signin_decision", "allow"}}, 200, "code", {}},
        {"cancelled", {{"signin_email", ""}, {"signin_decision", "deny"}}, 200, "error=access_denied", {}},
        {"no address", {{"signin_email", ""}, {"signin_decision", "allow"}}, 422, {}, problem},
        {"no domain", {{"signin_email", "someone@localhost"}, {"signin_decision", "allow"}}, 422, {}, problem},
        {"markup", {{"signin_email", "<i>x</i>@y.z"}, {"signin_decision", "allow"}}, 422, {}, problem},
        {"two at signs", {{"signin_email", "a@b@c.d"}, {"signin_decision", "allow"}}, 422, {}, problem},
        {"foreign redirect", {{"redirect_uri", "https://elsewhere.test/cb"}, {"signin_email", "a@b.c"}}, 400, {}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QMap<QString, QString> fields = authorizationRequest();
        for (auto it = c.fields.constBegin(); it != c.fields.constEnd(); ++it)
            fields.insert(it.key(), it.value());
        const HttpFetch answer =
            HttpFetch::run(QStringLiteral("POST"), authority.authorizationEndpoint(), form(fields));
        EXPECT_EQ(answer.status, c.status);
        if (c.result.isEmpty()) {
            EXPECT_TRUE(answer.backLink().isEmpty());
        } else {
            const QByteArray link = answer.backLink();
            const QString html = QString::fromUtf8(answer.body);
            EXPECT_TRUE(html.contains(QStringLiteral("You can go back to vantle now.")));
            EXPECT_TRUE(html.contains(QStringLiteral("<meta http-equiv=\"refresh\" content=\"0; url=%1\">")
                                          .arg(QString::fromUtf8(link).toHtmlEscaped())));
            EXPECT_FALSE(html.contains(QStringLiteral("<form")));
            const QUrl back = QUrl::fromEncoded(link, QUrl::StrictMode);
            EXPECT_EQ(back.scheme(), QStringLiteral("vantle"));
            EXPECT_EQ(back.host(), QStringLiteral("auth"));
            EXPECT_EQ(back.path(), QStringLiteral("/callback"));
            const QUrlQuery query(back);
            EXPECT_TRUE(QString::fromLatin1(link).section(QLatin1Char('?'), 1).startsWith(c.result));
            EXPECT_EQ(query.queryItemValue(QStringLiteral("state"), QUrl::FullyDecoded), awkwardState);
        }
        if (!c.pageProblem.isEmpty()) {
            const QString html = QString::fromUtf8(answer.body);
            EXPECT_TRUE(html.contains(c.pageProblem));
            // What was typed stays in the field, escaped.
            EXPECT_TRUE(html.contains(QStringLiteral("value=\"%1\"").arg(fields.value("signin_email").trimmed().toHtmlEscaped())));
            EXPECT_FALSE(html.contains(QStringLiteral("<i>")));
        }
    }
}

TEST(SignInPage, EachAddressSignsInAsItsOwnAccountWithSingleUseCodes)
{
    FakeAuthority authority;
    authority.setSignInPage(true);
    FakeIdentityService identity;
    identity.setAuthority(&authority);
    // The requests below carry this verifier's S256 challenge.
    const QString verifier = QStringLiteral("dBjftJeZ4CVP-mJ92K1SahEiJo6g9bTFeA-ZX06y1bU");

    const auto signIn = [&](const QString &email) {
        QMap<QString, QString> fields = authorizationRequest();
        fields.insert(QStringLiteral("signin_email"), email);
        fields.insert(QStringLiteral("signin_decision"), QStringLiteral("allow"));
        const HttpFetch back = HttpFetch::run(QStringLiteral("POST"), authority.authorizationEndpoint(), form(fields));
        return QUrlQuery(QUrl::fromEncoded(back.backLink())).queryItemValue(QStringLiteral("code"), QUrl::FullyDecoded);
    };
    const auto exchange = [&](const QString &code, const QString &codeVerifier) {
        QJsonObject object{{"app_slug", "vantle"}, {"code", code}, {"code_verifier", codeVerifier},
                           {"redirect_uri", FakeAuthority::registeredRedirect}};
        const QByteArray body = QJsonDocument(object).toJson();
        return HttpFetch::run(QStringLiteral("POST"), identity.url(FakeIdentityService::exchangePath), body, {},
                              "application/json");
    };

    const QString first = signIn(QStringLiteral("Ann@Example.test"));
    const HttpFetch ann = exchange(first, verifier);
    ASSERT_EQ(ann.status, 200);
    EXPECT_EQ(ann.json().value("email").toString(), QStringLiteral("ann@example.test"));
    const QString annId = ann.json().value("orvalen_account_id").toString();
    EXPECT_TRUE(annId.startsWith(QStringLiteral("oa_")));
    EXPECT_EQ(identity.accountOfSession(ann.json().value("oas").toString()), annId);

    struct Case {
        const char *name;
        QString code;
        QString verifier;
        int status;
        QString account; // empty: another account than Ann's
    };
    const Case cases[] = {
        {"a used code", first, verifier, 400, {}},
        {"an unknown code", QStringLiteral("made-up"), verifier, 400, {}},
        {"no verifier", signIn(QStringLiteral("ann@example.test")), {}, 400, {}},
        {"another request's verifier", signIn(QStringLiteral("ann@example.test")), verifier + "x", 400, {}},
        {"the same address again", signIn(QStringLiteral("ann@example.test")), verifier, 200, annId},
        {"another address", signIn(QStringLiteral("bo@example.test")), verifier, 200, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const HttpFetch answer = exchange(c.code, c.verifier);
        EXPECT_EQ(answer.status, c.status);
        if (c.status != 200) {
            EXPECT_EQ(answer.json().value("error").toString(), QStringLiteral("invalid_grant"));
            continue;
        }
        const QString id = answer.json().value("orvalen_account_id").toString();
        if (c.account.isEmpty())
            EXPECT_NE(id, annId);
        else
            EXPECT_EQ(id, c.account);
    }
}
