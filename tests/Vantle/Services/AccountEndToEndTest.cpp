// The whole account road over loopback with the real keyring (the test run's own
// gnome-keyring): browser sign-in, launch restores, sign-out and reset.

#include "AccountServiceHarness.h"

#include "OrvalenAccount/Internal/OIDCAuthorizationRequest.h"
#include "support/AccountPrinters.h"
#include "support/TaskRunner.h"

#include <gtest/gtest.h>

#include <QWindow>

using namespace std::chrono_literals;
using Fakes::FakeAuthority;
using Fakes::FakeIdentityService;
using Fakes::ScriptedAnswer;

namespace {

const QString kPost = QStringLiteral("POST");

ScriptedAnswer dropped()
{
    ScriptedAnswer answer;
    answer.dropConnection = true;
    return answer;
}

void clearAccountItems()
{
    KeychainStorage storage(QStringLiteral("vantle"));
    for (const QString &key : {KeychainStorage::Keys::session, KeychainStorage::Keys::oidcAuthState,
                               KeychainStorage::Keys::dpopJwkThumbprint})
        storage.deleteData(key);
}

// Nothing secret in what the service logged or tracked.
void expectNoSecretsIn(const AccountServiceHarness &h, const QStringList &secrets)
{
    const QString journal = h.journal.join(u'\n');
    for (const QString &secret : secrets)
        EXPECT_FALSE(!secret.isEmpty() && journal.contains(secret)) << secret.toStdString();
    EXPECT_FALSE(journal.contains(QStringLiteral("eyJ"))); // a JWS (a DPoP proof) begins so
}

TEST(AccountEndToEnd, BrowserSignInRestoreSignOutAndReset)
{
    clearAccountItems();
    AccountServiceHarness h(nullptr);
    QWindow window;
    window.show();
    h.attach();
    ASSERT_TRUE(h.waitForLaunchRestore());
    EXPECT_FALSE(h.service->isAuthenticated());
    EXPECT_TRUE(h.journalOf(QStringLiteral("identify")).isEmpty());

    // ---- the browser sign-in ----
    const SignInResult result = TestSupport::runTask(h.service->beginSignIn(OAuthDriver::ProviderHint::google));
    ASSERT_EQ(result, SignInResult::success()) << result.message().toStdString();

    ASSERT_EQ(h.browser->returnedUrls().size(), 1);
    const QUrl redirect = h.browser->returnedUrls().first();
    EXPECT_EQ(redirect.adjusted(QUrl::RemoveQuery).toString(), QStringLiteral("vantle://auth/callback"));
    EXPECT_EQ(h.browser->resumeAnswers(), QList<bool>{true});
    const QMap<QString, QString> authorization = h.authority.lastAuthorization();
    EXPECT_EQ(authorization.value(QStringLiteral("code_challenge_method")), QStringLiteral("S256"));
    EXPECT_EQ(authorization.value(QStringLiteral("prompt")), QStringLiteral("select_account"));
    // The identity service redeemed the code with the verifier of that challenge.
    EXPECT_EQ(h.identity.countOf(kPost, FakeIdentityService::exchangePath), 1);
    EXPECT_TRUE(h.identity.exchangeRefusals().isEmpty()) << h.identity.exchangeRefusals().join(u';').toStdString();
    const QString verifier = h.identity.requestsTo(FakeIdentityService::exchangePath)
                                 .first().json().object().value(QStringLiteral("code_verifier")).toString();
    EXPECT_EQ(OIDCAuthorizationRequest::codeChallengeS256(verifier), authorization.value(QStringLiteral("code_challenge")));

    const std::optional<StoredSession> signedIn = h.stored();
    ASSERT_TRUE(signedIn);
    EXPECT_TRUE(h.identity.isLiveSessionToken(signedIn->oas));
    EXPECT_EQ(signedIn->account.orvalenAccountId.raw, FakeIdentityService::accountId);
    EXPECT_EQ(h.bridge->manager()->state(), OrvalenAccountState::signedIn(signedIn->account));
    EXPECT_TRUE(h.service->isAuthenticated());
    EXPECT_EQ(h.service->accountDisplayName(), FakeIdentityService::email);
    // identify ran after the mirror had the new account.
    EXPECT_EQ(h.journalOf(QStringLiteral("identify")),
              QStringList{QStringLiteral("identify %1 (mirrored: %1)").arg(FakeIdentityService::accountId)});
    EXPECT_EQ(h.bridge->currentSession()->oas, signedIn->oas);
    expectNoSecretsIn(h, {signedIn->oas, *signedIn->refreshToken, h.authority.code(), verifier});

    // ---- launch restores, each in a fresh bridge and service ----
    struct Restore {
        const char *name;
        qint64 secondsToExpiry;
        std::optional<ScriptedAnswer> refreshAnswer;
        bool signedIn;
        bool offline;
        enum { kept, refreshed, deleted } item;
    };
    const Restore restores[] = {
        {"valid", 3600, std::nullopt, true, false, Restore::kept},
        {"expired, refreshed", -60, std::nullopt, true, false, Restore::refreshed},
        {"expired, refresh refused invalid_grant", -60, ScriptedAnswer::json(400, R"({"error":"invalid_grant"})"),
         false, false, Restore::deleted},
        {"expired, offline", -60, dropped(), true, true, Restore::kept},
    };
    for (const Restore &r : restores) {
        const StoredSession before =
            h.storeLiveSession(r.secondsToExpiry, FakeIdentityService::accountId, FakeIdentityService::email);
        if (r.refreshAnswer) {
            h.identity.enqueue(kPost, FakeIdentityService::refreshPath, *r.refreshAnswer);
            if (r.refreshAnswer->dropConnection) // Qt sends once more on a dropped kept-alive connection
                h.identity.enqueue(kPost, FakeIdentityService::refreshPath, *r.refreshAnswer);
        }
        h.journal.clear();
        h.launch();
        h.attach();
        ASSERT_TRUE(h.waitForLaunchRestore()) << r.name;

        EXPECT_EQ(h.service->isAuthenticated(), r.signedIn) << r.name;
        EXPECT_EQ(h.bridge->manager()->isOffline(), r.offline) << r.name;
        EXPECT_EQ(h.journalOf(QStringLiteral("identify")).size(), r.signedIn ? 1 : 0) << r.name;
        const std::optional<StoredSession> after = h.stored();
        switch (r.item) {
        case Restore::kept:
            EXPECT_EQ(after, before) << r.name;
            break;
        case Restore::refreshed:
            ASSERT_TRUE(after) << r.name;
            EXPECT_NE(after->oas, before.oas) << r.name;
            EXPECT_TRUE(h.identity.isLiveSessionToken(after->oas)) << r.name;
            EXPECT_TRUE(h.identity.isUsedRefreshToken(*before.refreshToken)) << r.name;
            EXPECT_GT(after->expiresAt, QDateTime::currentDateTimeUtc()) << r.name;
            break;
        case Restore::deleted:
            EXPECT_FALSE(h.storage().getData(KeychainStorage::Keys::session)) << r.name;
            break;
        }
        expectNoSecretsIn(h, {before.oas, *before.refreshToken});
    }

    // ---- sign-out: revoked, gone, signed out; also when the revoke fails ----
    for (const bool revokeFails : {false, true}) {
        const StoredSession session = h.storeLiveSession(3600, FakeIdentityService::accountId, FakeIdentityService::email);
        h.launch();
        h.attach();
        ASSERT_TRUE(h.waitForLaunchRestore());
        ASSERT_TRUE(h.service->isAuthenticated());
        if (revokeFails)
            h.identity.enqueue(kPost, FakeIdentityService::revokePath, ScriptedAnswer::json(503, "{}"));
        const int revokesBefore = h.identity.countOf(kPost, FakeIdentityService::revokePath);
        const int proofsBefore = static_cast<int>(h.identity.dpopChecks().size());

        h.service->signOut();
        ASSERT_TRUE(TestSupport::waitUntil([&] { return !h.service->isAuthenticated(); })) << revokeFails;

        EXPECT_EQ(h.identity.countOf(kPost, FakeIdentityService::revokePath), revokesBefore + 1) << revokeFails;
        EXPECT_EQ(h.identity.revokedSessions().contains(session.oas), !revokeFails) << revokeFails;
        ASSERT_EQ(h.identity.dpopChecks().size(), proofsBefore + 1) << revokeFails;
        EXPECT_TRUE(h.identity.dpopChecks().last().valid) << h.identity.dpopChecks().last().failure.toStdString();
        EXPECT_FALSE(h.storage().getData(KeychainStorage::Keys::session)) << revokeFails;
        EXPECT_EQ(h.bridge->manager()->state(), OrvalenAccountState::signedOut()) << revokeFails;
        EXPECT_EQ(h.service->accountDisplayName(), AccountService::notSignedInText) << revokeFails;
    }

    // ---- reset: exactly the three items of the account layer ----
    h.storeLiveSession(3600, FakeIdentityService::accountId, FakeIdentityService::email);
    h.launch();
    h.attach();
    ASSERT_TRUE(h.waitForLaunchRestore());
    KeychainStorage storage = h.storage();
    storage.setData("{}", KeychainStorage::Keys::oidcAuthState);
    storage.setData("jkt", KeychainStorage::Keys::dpopJwkThumbprint);
    const std::optional<QByteArray> installID = storage.getData(QStringLiteral("orvalen_install_id"));
    TestSupport::runTask(h.service->resetAndClearLocalData());
    for (const QString &key : {KeychainStorage::Keys::session, KeychainStorage::Keys::oidcAuthState,
                               KeychainStorage::Keys::dpopJwkThumbprint})
        EXPECT_FALSE(storage.getData(key)) << key.toStdString();
    EXPECT_EQ(storage.getData(QStringLiteral("orvalen_install_id")), installID);
    EXPECT_FALSE(h.service->isAuthenticated());
    EXPECT_EQ(h.bridge->manager()->state(), OrvalenAccountState::signedOut());
    clearAccountItems();
}

} // namespace
