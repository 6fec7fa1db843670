#include "OrvalenAccount/OrvalenError.h"
#include "OrvalenAccount/SignInWithAppleDriver.h"
#include "OrvalenAccount/SystemAppleIDAuthorizer.h"
#include "support/TaskRunner.h"

#include <gtest/gtest.h>

#include <QTimer>
#include <QWindow>

#include <functional>

namespace {

using AppleAuthorization = SignInWithAppleDriver::AppleAuthorization;

// Stands in for the system's sheet: records the request and, on the next turn of
// the event loop, plays the scripted ending on the delegate it was given.
class FakeAuthorizer final : public AppleIDAuthorizer {
public:
    using Script = std::function<void(AppleIDAuthorizationDelegate &)>;

    void performRequests(const AppleIDAuthorizationRequest &request, std::weak_ptr<AppleIDAuthorizationDelegate> delegate,
                         std::weak_ptr<AppleIDPresentationContextProvider> provider) override
    {
        requests.append(request);
        this->delegate = delegate;
        this->provider = provider;
        if (const auto p = provider.lock())
            anchor = p->presentationAnchor();
        if (!script)
            return;
        QTimer::singleShot(0, [delegate, script = script]() {
            if (const auto listener = delegate.lock())
                script(*listener);
        });
    }

    Script script;
    QList<AppleIDAuthorizationRequest> requests;
    std::weak_ptr<AppleIDAuthorizationDelegate> delegate;
    std::weak_ptr<AppleIDPresentationContextProvider> provider;
    QWindow *anchor = nullptr;
};

AppleIDCredential fullCredential()
{
    AppleIDCredential credential;
    credential.authorizationCode = QByteArray("c.0de");
    credential.identityToken = QByteArray("eyJ.token");
    credential.user = QStringLiteral("001234.abcd");
    credential.givenName = QStringLiteral("Ada");
    credential.familyName = QStringLiteral("Lovelace");
    credential.email = QStringLiteral("ada@example.com");
    return credential;
}

const QByteArray notUtf8("\xC3\x28\xFF", 3);

TEST(SignInWithAppleDriver, EndingsOfTheSheet)
{
    AppleIDCredential returning = fullCredential();
    returning.givenName.reset();
    returning.familyName.reset();
    returning.email.reset();
    AppleIDCredential badToken = fullCredential();
    badToken.identityToken = notUtf8;
    AppleIDCredential noToken = fullCredential();
    noToken.identityToken.reset();
    AppleIDCredential noCode = fullCredential();
    noCode.authorizationCode.reset();
    AppleIDCredential badCode = fullCredential();
    badCode.authorizationCode = notUtf8;

    const auto withCredential = [](std::optional<AppleIDCredential> credential) {
        return [credential](AppleIDAuthorizationDelegate &d) {
            d.authorizationControllerDidCompleteWithAuthorization({credential});
        };
    };
    const auto withError = [](QString domain, int code) {
        return [domain, code](AppleIDAuthorizationDelegate &d) {
            d.authorizationControllerDidCompleteWithError({domain, code, QStringLiteral("The sheet failed.")});
        };
    };
    const AppleAuthorization full{QStringLiteral("c.0de"), QStringLiteral("eyJ.token"), QStringLiteral("001234.abcd"),
                                  QStringLiteral("Ada"), QStringLiteral("Lovelace"), QStringLiteral("ada@example.com")};
    AppleAuthorization bare = full;
    bare.givenName.reset();
    bare.familyName.reset();
    bare.email.reset();
    AppleAuthorization tokenless = full;
    tokenless.identityToken.reset();

    const struct {
        const char *name;
        FakeAuthorizer::Script script;
        std::optional<AppleAuthorization> value;
        std::optional<OrvalenError> error;
    } cases[] = {
        {"first sign-in", withCredential(fullCredential()), full, std::nullopt},
        {"returning user", withCredential(returning), bare, std::nullopt},
        {"token not UTF-8", withCredential(badToken), tokenless, std::nullopt},
        {"no token", withCredential(noToken), tokenless, std::nullopt},
        {"not an Apple ID credential", withCredential(std::nullopt), std::nullopt,
         OrvalenError::authorizationFailed(QStringLiteral("siwa_missing_credential"))},
        {"no code", withCredential(noCode), std::nullopt,
         OrvalenError::authorizationFailed(QStringLiteral("siwa_missing_authcode"))},
        {"code not UTF-8", withCredential(badCode), std::nullopt,
         OrvalenError::authorizationFailed(QStringLiteral("siwa_missing_authcode"))},
        {"cancel", withError(QStringLiteral("com.apple.AuthenticationServices.AuthorizationError"), 1001), std::nullopt,
         OrvalenError::authorizationCancelled()},
        {"cancel code in another domain", withError(QStringLiteral("elsewhere"), 1001), std::nullopt,
         OrvalenError::authorizationCancelled()},
        {"other failure", withError(QStringLiteral("elsewhere"), 1004), std::nullopt,
         OrvalenError::authorizationFailed(QStringLiteral("The sheet failed."))},
    };
    QWindow window;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        auto authorizer = std::make_shared<FakeAuthorizer>();
        authorizer->script = c.script;
        SignInWithAppleDriver driver(OrvalenConfig{}, authorizer);
        try {
            const AppleAuthorization value = TestSupport::runTask(driver.authorize(&window));
            ASSERT_TRUE(c.value);
            EXPECT_EQ(value, *c.value);
        } catch (const OrvalenError &error) {
            ASSERT_TRUE(c.error) << error.message().toStdString();
            EXPECT_EQ(error, *c.error);
        }
        ASSERT_EQ(authorizer->requests.size(), 1);
        EXPECT_EQ(authorizer->requests[0].requestedScopes, (QList<AppleIDScope>{AppleIDScope::fullName, AppleIDScope::email}));
        EXPECT_EQ(authorizer->anchor, &window);
        // After the ending the delegate lets go of itself and of the provider.
        EXPECT_TRUE(authorizer->delegate.expired());
        EXPECT_TRUE(authorizer->provider.expired());
    }
}

TEST(SignInWithAppleDriver, CancelShowsTheFixedText)
{
    auto authorizer = std::make_shared<FakeAuthorizer>();
    authorizer->script = [](AppleIDAuthorizationDelegate &d) {
        d.authorizationControllerDidCompleteWithError({QStringLiteral("x"), 1001, QStringLiteral("secret detail")});
    };
    SignInWithAppleDriver driver(OrvalenConfig{}, authorizer);
    try {
        TestSupport::runTask(driver.authorize(nullptr));
        ADD_FAILURE() << "the sign-in succeeded";
    } catch (const OrvalenError &error) {
        EXPECT_EQ(error.message(), QStringLiteral("Sign-in was cancelled."));
    }
}

TEST(SignInWithAppleDriver, ASecondCallbackIsIgnored)
{
    auto authorizer = std::make_shared<FakeAuthorizer>();
    std::shared_ptr<AppleIDAuthorizationDelegate> held;
    auto driver = std::make_unique<SignInWithAppleDriver>(OrvalenConfig{}, authorizer);
    auto task = driver->authorize(nullptr);
    // The sign-in outlives the driver that started it.
    driver.reset();
    held = authorizer->delegate.lock();
    ASSERT_TRUE(held);
    QTimer::singleShot(0, [held]() {
        held->authorizationControllerDidCompleteWithAuthorization({fullCredential()});
        held->authorizationControllerDidCompleteWithError({QStringLiteral("x"), 1001, QString()});
        held->authorizationControllerDidCompleteWithAuthorization({std::nullopt});
    });
    const AppleAuthorization value = TestSupport::runTask(std::move(task));
    EXPECT_EQ(value.authorizationCode, QStringLiteral("c.0de"));
    EXPECT_TRUE(authorizer->provider.expired());
    held.reset();
    EXPECT_TRUE(authorizer->delegate.expired());
}

TEST(SignInWithAppleDriver, ThisSystemHasNoSignInWithApple)
{
    SignInWithAppleDriver driver(OrvalenConfig{});
    try {
        TestSupport::runTask(driver.authorize(nullptr));
        ADD_FAILURE() << "the sign-in succeeded";
    } catch (const OrvalenError &error) {
        EXPECT_EQ(error.message(), QStringLiteral("Sign-in failed: Sign in with Apple is not available on this computer."));
    }
}

} // namespace
