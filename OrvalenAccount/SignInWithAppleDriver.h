#pragma once

#include "OrvalenAccount/AppleIDAuthorizer.h"
#include "OrvalenAccount/OrvalenConfig.h"

#include <QCoro/QCoroTask>
#include <QString>

#include <memory>
#include <optional>

class QWindow;

// Runs one Sign in with Apple request and returns what the service handed back.
// Sends nothing anywhere: the account manager exchanges the code. One driver per
// sign-in; it may be dropped while the sign-in runs.
class SignInWithAppleDriver final {
public:
    struct AppleAuthorization {
        QString authorizationCode;
        std::optional<QString> identityToken;
        QString userIdentifier;
        std::optional<QString> givenName;
        std::optional<QString> familyName;
        std::optional<QString> email;
        bool operator==(const AppleAuthorization &) const = default;
    };

    // Without an authorizer, this system's (which always fails).
    explicit SignInWithAppleDriver(OrvalenConfig config, std::shared_ptr<AppleIDAuthorizer> authorizer = nullptr);

    // Requests full name and e-mail, in that order. Throws OrvalenError:
    // authorizationCancelled when the person cancelled (error code 1001),
    // authorizationFailed otherwise.
    QCoro::Task<AppleAuthorization> authorize(QWindow *window);

    const OrvalenConfig &config() const { return m_config; }

private:
    OrvalenConfig m_config;
    std::shared_ptr<AppleIDAuthorizer> m_authorizer;
};
