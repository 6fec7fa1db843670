#pragma once

#include "Platform/RawEnum.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>

class QNetworkAccessManager;

// How an interactive sign-in is presented.
enum class AuthScheme { aswas, loopback, systemBrowser };
QString toRaw(AuthScheme scheme);
template <>
std::optional<AuthScheme> fromRaw<AuthScheme>(const QString &raw);
namespace AuthSchemes {
inline constexpr AuthScheme allCases[] = {AuthScheme::aswas, AuthScheme::loopback, AuthScheme::systemBrowser};
}

// The level of an account-layer log event; raw values are the same words.
enum class OrvalenLogLevel { debug, info, warning, error };
QString toRaw(OrvalenLogLevel level);
template <>
std::optional<OrvalenLogLevel> fromRaw<OrvalenLogLevel>(const QString &raw);

using OrvalenLogFields = QMap<QString, QString>;
// May be called from any code path of the account layer; must not throw.
using OrvalenLogger = std::function<void(OrvalenLogLevel level, const QString &event, const OrvalenLogFields &fields)>;

// Where the identity service and the OAuth authority are, who the application is,
// how a sign-in is presented, and which transport and logger to use. Built once
// by the application; holders keep their own copy and never change it.
struct OrvalenConfig {
    QUrl authorityURL;
    QUrl identityURL;
    QString appSlug;
    QString clientID;
    QString clientVersion;
    QString libVersion;
    QUrl redirectURI;
    AuthScheme preferredScheme = AuthScheme::systemBrowser;
    std::optional<QString> keychainAccessGroup;
    QStringList scopes;
    QNetworkAccessManager *urlSession = nullptr; // shared, not owned
    OrvalenLogger logger;                        // empty: the account layer does not log
    std::optional<QString> installID;

    // A copy whose absent installID is replaced by this installation's identifier
    // for appSlug (kept in the keychain); a present one stays. Never fails.
    OrvalenConfig withAutoInstallID() const;

    // Calls the logger when one is set; swallows anything it throws.
    void log(OrvalenLogLevel level, const QString &event, const OrvalenLogFields &fields = {}) const;
};

namespace OrvalenAccountLibrary {
inline const QString libVersion = QStringLiteral("0.11.5");
// "OrvalenAccount/0.11.5 (" + host + ")": the User-Agent of identity requests.
QString versionLine(const QString &host);
} // namespace OrvalenAccountLibrary
