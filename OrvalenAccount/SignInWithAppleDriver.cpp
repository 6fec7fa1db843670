#include "OrvalenAccount/SignInWithAppleDriver.h"

#include "OrvalenAccount/Internal/OneShotContinuation.h"
#include "OrvalenAccount/OrvalenError.h"
#include "OrvalenAccount/SystemAppleIDAuthorizer.h"

#include <QPointer>
#include <QStringDecoder>
#include <QWindow>

#include <utility>
#include <vector>

namespace {
using AppleAuthorization = SignInWithAppleDriver::AppleAuthorization;

std::optional<QString> readUtf8(const std::optional<QByteArray> &bytes)
{
    if (!bytes)
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(*bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

// Hears how the request ended and resumes the waiting sign-in, at most once. The
// service holds it only weakly, so it keeps itself (and the provider) alive
// through its companions until the first completion.
class SIWADelegate final : public AppleIDAuthorizationDelegate {
public:
    std::optional<OneShotContinuation<AppleAuthorization>> continuation;
    std::vector<std::shared_ptr<void>> retainCycleBreakers;

    void authorizationControllerDidCompleteWithAuthorization(const AppleIDAuthorizationOutcome &outcome) override
    {
        if (!outcome.credential) {
            finish(OrvalenError::authorizationFailed(QStringLiteral("siwa_missing_credential")));
            return;
        }
        const AppleIDCredential &credential = *outcome.credential;
        const std::optional<QString> code = readUtf8(credential.authorizationCode);
        if (!code) {
            finish(OrvalenError::authorizationFailed(QStringLiteral("siwa_missing_authcode")));
            return;
        }
        finish(AppleAuthorization{*code, readUtf8(credential.identityToken), credential.user,
                                  credential.givenName, credential.familyName, credential.email});
    }

    void authorizationControllerDidCompleteWithError(const AppleIDAuthorizationError &error) override
    {
        if (error.code == AppleIDAuthorizationError::canceledCode)
            finish(OrvalenError::authorizationCancelled());
        else
            finish(OrvalenError::authorizationFailed(error.localizedDescription));
    }

private:
    void finish(std::variant<AppleAuthorization, OrvalenError> outcome)
    {
        // Released when this call returns, which may end this delegate's life.
        const std::vector<std::shared_ptr<void>> companions = std::exchange(retainCycleBreakers, {});
        std::optional<OneShotContinuation<AppleAuthorization>> waiting = std::exchange(continuation, std::nullopt);
        if (!waiting)
            return;
        if (auto *value = std::get_if<AppleAuthorization>(&outcome))
            waiting->resume(std::move(*value));
        else
            waiting->resumeThrowing(std::get<OrvalenError>(std::move(outcome)));
    }
};

class PresentationProvider final : public AppleIDPresentationContextProvider {
public:
    explicit PresentationProvider(QWindow *window) : anchorRef(window) {}
    QWindow *presentationAnchor() override { return anchorRef.data(); }

    QPointer<QWindow> anchorRef;
};
} // namespace

SignInWithAppleDriver::SignInWithAppleDriver(OrvalenConfig config, std::shared_ptr<AppleIDAuthorizer> authorizer)
    : m_config(std::move(config)),
      m_authorizer(authorizer ? std::move(authorizer) : std::make_shared<SystemAppleIDAuthorizer>())
{
}

QCoro::Task<SignInWithAppleDriver::AppleAuthorization> SignInWithAppleDriver::authorize(QWindow *window)
{
    const AppleIDAuthorizationRequest request{{AppleIDScope::fullName, AppleIDScope::email}};
    const std::shared_ptr<AppleIDAuthorizer> authorizer = m_authorizer;
    OneShotContinuation<AppleAuthorization> cont;
    {
        auto delegate = std::make_shared<SIWADelegate>();
        auto provider = std::make_shared<PresentationProvider>(window);
        delegate->continuation = cont;
        delegate->retainCycleBreakers = {delegate, provider};
        authorizer->performRequests(request, delegate, provider);
    }
    // Nothing of this driver is touched from here on: it may be gone when the sheet closes.
    co_return co_await cont;
}
