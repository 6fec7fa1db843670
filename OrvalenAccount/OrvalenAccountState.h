#pragma once

#include "OrvalenAccount/OrvalenAccount.h"
#include "OrvalenAccount/OrvalenError.h"

#include <QMetaType>
#include <QString>

#include <variant>

// The account manager's published sign-in state: signing in, signed in as an account,
// failed with an error, or signed out (the initial state). Equal by case and payload.
class OrvalenAccountState final {
public:
    struct SigningIn {
        bool pending = true;
        bool operator==(const SigningIn &) const = default;
    };
    struct SignedIn {
        OrvalenAccount account;
        bool operator==(const SignedIn &) const = default;
    };
    struct Failed {
        OrvalenError error;
        bool operator==(const Failed &) const = default;
    };
    struct SignedOut {
        bool operator==(const SignedOut &) const = default;
    };
    using Case = std::variant<SignedOut, SigningIn, SignedIn, Failed>;

    OrvalenAccountState() = default; // signed out

    static OrvalenAccountState signingIn(bool pending = true) { return OrvalenAccountState(SigningIn{pending}); }
    static OrvalenAccountState signedIn(OrvalenAccount account) { return OrvalenAccountState(SignedIn{std::move(account)}); }
    static OrvalenAccountState failed(OrvalenError error) { return OrvalenAccountState(Failed{std::move(error)}); }
    static OrvalenAccountState signedOut() { return OrvalenAccountState(); }

    const Case &value() const { return m_case; }
    template <typename T>
    bool is() const { return std::holds_alternative<T>(m_case); }
    template <typename T>
    const T *as() const { return std::get_if<T>(&m_case); }

    // The signed-in account, or null.
    const OrvalenAccount *account() const;

    // For test output and diagnostics: "signedIn(oa_...)", "failed(Sign-in was cancelled.)".
    // Holds no token: states never carry one.
    QString description() const;

    bool operator==(const OrvalenAccountState &other) const { return m_case == other.m_case; }

private:
    explicit OrvalenAccountState(Case value) : m_case(std::move(value)) {}

    Case m_case;
};

Q_DECLARE_METATYPE(OrvalenAccountState)
