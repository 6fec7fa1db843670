#include "OrvalenAccount/OrvalenConfig.h"

QString toRaw(AuthScheme scheme)
{
    switch (scheme) {
    case AuthScheme::aswas:
        return QStringLiteral("aswas");
    case AuthScheme::loopback:
        return QStringLiteral("loopback");
    case AuthScheme::systemBrowser:
        return QStringLiteral("systemBrowser");
    }
    return {};
}

template <>
std::optional<AuthScheme> fromRaw<AuthScheme>(const QString &raw)
{
    for (const AuthScheme scheme : AuthSchemes::allCases) {
        if (toRaw(scheme) == raw)
            return scheme;
    }
    return std::nullopt;
}

QString toRaw(OrvalenLogLevel level)
{
    switch (level) {
    case OrvalenLogLevel::debug:
        return QStringLiteral("debug");
    case OrvalenLogLevel::info:
        return QStringLiteral("info");
    case OrvalenLogLevel::warning:
        return QStringLiteral("warning");
    case OrvalenLogLevel::error:
        return QStringLiteral("error");
    }
    return {};
}

template <>
std::optional<OrvalenLogLevel> fromRaw<OrvalenLogLevel>(const QString &raw)
{
    for (const OrvalenLogLevel level :
         {OrvalenLogLevel::debug, OrvalenLogLevel::info, OrvalenLogLevel::warning, OrvalenLogLevel::error}) {
        if (toRaw(level) == raw)
            return level;
    }
    return std::nullopt;
}

void OrvalenConfig::log(OrvalenLogLevel level, const QString &event, const OrvalenLogFields &fields) const
{
    if (!logger)
        return;
    // Logging sits on error paths of the identity client; a faulty sink must not
    // turn a logged failure into a different one.
    try {
        logger(level, event, fields);
    } catch (...) {
    }
}

namespace OrvalenAccountLibrary {

QString versionLine(const QString &host)
{
    return QStringLiteral("OrvalenAccount/") + libVersion + QStringLiteral(" (") + host + QLatin1Char(')');
}

} // namespace OrvalenAccountLibrary
