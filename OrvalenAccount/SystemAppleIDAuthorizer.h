#pragma once

#include "OrvalenAccount/AppleIDAuthorizer.h"

// This system has no Sign in with Apple service: every request fails at once
// with a reason a person can read.
class SystemAppleIDAuthorizer final : public AppleIDAuthorizer {
public:
    static inline const QString errorDomain = QStringLiteral("dev.orvalen.account.apple_id");

    void performRequests(const AppleIDAuthorizationRequest &request,
                         std::weak_ptr<AppleIDAuthorizationDelegate> delegate,
                         std::weak_ptr<AppleIDPresentationContextProvider> provider) override;
};
