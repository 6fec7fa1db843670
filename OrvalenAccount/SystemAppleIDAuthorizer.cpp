#include "OrvalenAccount/SystemAppleIDAuthorizer.h"

void SystemAppleIDAuthorizer::performRequests(const AppleIDAuthorizationRequest &,
                                              std::weak_ptr<AppleIDAuthorizationDelegate> delegate,
                                              std::weak_ptr<AppleIDPresentationContextProvider>)
{
    if (const auto listener = delegate.lock()) {
        listener->authorizationControllerDidCompleteWithError(
            {errorDomain, AppleIDAuthorizationError::unknownCode,
             QStringLiteral("Sign in with Apple is not available on this computer.")});
    }
}
