#pragma once

#include <QString>
#include <QUrl>

#include <cstdint>
#include <exception>
#include <optional>
#include <variant>

// The one error that leaves the account layer. Each case carries a fixed,
// user-facing message (message()), which what() returns as UTF-8.
class OrvalenError final : public std::exception {
public:
    struct ServerError {
        int status = 0;
        std::optional<QString> code;
        bool operator==(const ServerError &) const = default;
    };
    struct MalformedResponse {
        std::optional<QString> field;
        bool operator==(const MalformedResponse &) const = default;
    };
    struct AuthorizationFailed {
        QString reason;
        bool operator==(const AuthorizationFailed &) const = default;
    };
    struct KeychainFailure {
        std::int32_t status = 0;
        bool operator==(const KeychainFailure &) const = default;
    };
    struct ClientKilled {
        std::optional<QUrl> replacement;
        bool operator==(const ClientKilled &) const = default;
    };
    struct RequiresUpgrade {
        QString minVersion;
        bool operator==(const RequiresUpgrade &) const = default;
    };
    struct DpopUnavailable {
        QString reason;
        bool operator==(const DpopUnavailable &) const = default;
    };
    struct NotSignedIn {
        bool operator==(const NotSignedIn &) const = default;
    };
    struct SessionExpired {
        bool operator==(const SessionExpired &) const = default;
    };
    struct NetworkUnavailable {
        bool operator==(const NetworkUnavailable &) const = default;
    };
    struct AuthorizationCancelled {
        bool operator==(const AuthorizationCancelled &) const = default;
    };

    using Case = std::variant<ServerError, MalformedResponse, AuthorizationFailed, KeychainFailure,
                              ClientKilled, RequiresUpgrade, DpopUnavailable, NotSignedIn,
                              SessionExpired, NetworkUnavailable, AuthorizationCancelled>;

    OrvalenError(Case value); // NOLINT(google-explicit-constructor): a case is an error

    static OrvalenError serverError(int status, std::optional<QString> code = std::nullopt);
    static OrvalenError malformedResponse(std::optional<QString> field = std::nullopt);
    static OrvalenError authorizationFailed(QString reason);
    static OrvalenError keychainFailure(std::int32_t status);
    static OrvalenError clientKilled(std::optional<QUrl> replacement = std::nullopt);
    static OrvalenError requiresUpgrade(QString minVersion);
    static OrvalenError dpopUnavailable(QString reason);
    static OrvalenError notSignedIn();
    static OrvalenError sessionExpired();
    static OrvalenError networkUnavailable();
    static OrvalenError authorizationCancelled();

    const Case &value() const { return m_case; }
    template <typename T>
    bool is() const { return std::holds_alternative<T>(m_case); }
    template <typename T>
    const T *as() const { return std::get_if<T>(&m_case); }

    // The fixed user-facing message (the error's description).
    QString message() const;
    const char *what() const noexcept override { return m_what.constData(); }

    bool operator==(const OrvalenError &other) const { return m_case == other.m_case; }

private:
    Case m_case;
    QByteArray m_what;
};
