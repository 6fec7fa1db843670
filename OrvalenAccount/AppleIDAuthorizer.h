#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

class QWindow;

// The system's Sign in with Apple service, as the Apple driver sees it: a request
// with scopes goes in, and a delegate hears once how it ended. There is no such
// service on Linux (SystemAppleIDAuthorizer says so at once); tests script one.

enum class AppleIDScope { fullName, email };

struct AppleIDAuthorizationRequest {
    QList<AppleIDScope> requestedScopes;
};

// An Apple ID credential as the service hands it over: code and token as raw bytes.
struct AppleIDCredential {
    std::optional<QByteArray> authorizationCode;
    std::optional<QByteArray> identityToken;
    QString user;
    std::optional<QString> givenName;  // of the full name, shared only on a first sign-in
    std::optional<QString> familyName; // of the full name, shared only on a first sign-in
    std::optional<QString> email;      // shared only on a first sign-in
};

// A completed authorization. Its credential is absent when the service produced a
// credential of another kind (a stored password, for instance).
struct AppleIDAuthorizationOutcome {
    std::optional<AppleIDCredential> credential;
};

struct AppleIDAuthorizationError {
    static constexpr int canceledCode = 1001; // the person closed the sheet
    static constexpr int unknownCode = 1000;
    QString domain;
    int code = 0;
    QString localizedDescription;
};

class AppleIDAuthorizationDelegate {
public:
    virtual ~AppleIDAuthorizationDelegate() = default;
    virtual void authorizationControllerDidCompleteWithAuthorization(const AppleIDAuthorizationOutcome &outcome) = 0;
    virtual void authorizationControllerDidCompleteWithError(const AppleIDAuthorizationError &error) = 0;
};

class AppleIDPresentationContextProvider {
public:
    virtual ~AppleIDPresentationContextProvider() = default;
    // The window the sheet belongs to; none when the window is gone.
    virtual QWindow *presentationAnchor() = 0;
};

class AppleIDAuthorizer {
public:
    virtual ~AppleIDAuthorizer() = default;
    // Starts the request. The delegate and the provider are held weakly, as the
    // service holds them: whoever starts a request keeps them alive until it ends.
    virtual void performRequests(const AppleIDAuthorizationRequest &request,
                                 std::weak_ptr<AppleIDAuthorizationDelegate> delegate,
                                 std::weak_ptr<AppleIDPresentationContextProvider> provider) = 0;
};
