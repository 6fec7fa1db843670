#include "Vantle/App/SignInLinks.h"

#include "../Services/AccountServiceHarness.h"
#include "Platform/InMemoryKeychain.h"
#include "support/AccountPrinters.h"
#include "support/TaskRunner.h"

#include <QUrlQuery>
#include <QWindow>

#include <gtest/gtest.h>

namespace {

// A "vantle://" link whose state is not the pending sign-in's (an old tab's, a made-up one)
// is refused and leaves the sign-in waiting; the browser's own link then completes it.
TEST(SignInLinksTest, AForeignSignInLinkLeavesThePendingSignInAlone)
{
    AccountServiceHarness h(std::make_shared<InMemoryKeychain>());
    QWindow window;
    window.show();
    h.attach();
    ASSERT_TRUE(h.waitForLaunchRestore());
    OrvalenAccountManager &manager = *h.bridge->manager();

    struct Row {
        const char *name;
        std::function<QUrl(QUrl)> alter;
    };
    const auto withState = [](QUrl url, const std::optional<QString> &state) {
        QUrlQuery query(url);
        query.removeAllQueryItems(QStringLiteral("state"));
        if (state)
            query.addQueryItem(QStringLiteral("state"), *state);
        url.setQuery(query);
        return url;
    };
    const Row rows[] = {
        {"another state", [&](QUrl url) { return withState(url, QStringLiteral("someone-elses")); }},
        {"no state", [&](QUrl url) { return withState(url, std::nullopt); }},
        {"an empty state", [&](QUrl url) { return withState(url, QString()); }},
        {"an error with another state",
         [&](QUrl) { return QUrl(QStringLiteral("vantle://auth/callback?error=access_denied&state=x")); }},
    };
    QStringList refusedWhilePending;
    h.browser->setResumeHandler([&](const QUrl &real) {
        for (const Row &row : rows) {
            const bool taken = SignInLinks::open(manager, row.alter(real));
            if (!taken && manager.isSignInPending())
                refusedWhilePending.append(QString::fromLatin1(row.name));
        }
        return SignInLinks::open(manager, real);
    });

    const SignInResult result = TestSupport::runTask(h.service->beginSignIn(OAuthDriver::ProviderHint::email));
    EXPECT_EQ(result, SignInResult::success()) << result.message().toStdString();
    EXPECT_EQ(refusedWhilePending.size(), static_cast<qsizetype>(std::size(rows))) << refusedWhilePending.join(u',').toStdString();
    EXPECT_TRUE(h.service->isAuthenticated());
    // With no sign-in pending, no link is taken.
    EXPECT_FALSE(SignInLinks::open(manager, QUrl(QStringLiteral("vantle://auth/callback?code=a&state=b"))));
}

} // namespace
