#pragma once

#include <QString>

// How an interactive sign-in begun by a view ended: success, cancelled by the person,
// or failed with the text to show.
class SignInResult final {
public:
    enum class Kind { success, cancelled, failed };

    static SignInResult success() { return SignInResult(Kind::success, {}); }
    static SignInResult cancelled() { return SignInResult(Kind::cancelled, {}); }
    static SignInResult failed(QString message) { return SignInResult(Kind::failed, std::move(message)); }

    Kind kind() const { return m_kind; }
    // The text to show; empty unless failed.
    const QString &message() const { return m_message; }

    bool operator==(const SignInResult &) const = default;

private:
    SignInResult(Kind kind, QString message) : m_kind(kind), m_message(std::move(message)) {}

    Kind m_kind;
    QString m_message;
};
