#pragma once

#include <QDateTime>
#include <QString>
#include <QUrl>

#include <optional>
#include <variant>

// One notice the identity service attaches to an answer: the endpoint that gave
// it, or the calling client version, is going away.
class OrvalenDeprecationNotice final {
public:
    struct Endpoint {
        std::optional<QUrl> replacement;
        std::optional<QDateTime> expires;
        std::optional<QString> reason;
        bool operator==(const Endpoint &) const = default;
    };
    struct Client {
        QString minVersion;
        std::optional<QString> currentVersion;
        std::optional<QString> reason;
        bool operator==(const Client &) const = default;
    };
    using Case = std::variant<Endpoint, Client>;

    OrvalenDeprecationNotice(Case value) : m_case(std::move(value)) {} // NOLINT(google-explicit-constructor)

    static OrvalenDeprecationNotice endpoint(std::optional<QUrl> replacement, std::optional<QDateTime> expires,
                                             std::optional<QString> reason)
    {
        return Case(Endpoint{std::move(replacement), std::move(expires), std::move(reason)});
    }
    static OrvalenDeprecationNotice client(QString minVersion, std::optional<QString> currentVersion,
                                           std::optional<QString> reason)
    {
        return Case(Client{std::move(minVersion), std::move(currentVersion), std::move(reason)});
    }

    const Case &value() const { return m_case; }
    template <typename T>
    bool is() const { return std::holds_alternative<T>(m_case); }
    template <typename T>
    const T *as() const { return std::get_if<T>(&m_case); }

    // Same case, equal payloads: URLs as values, dates as instants.
    bool operator==(const OrvalenDeprecationNotice &other) const { return m_case == other.m_case; }

private:
    Case m_case;
};
