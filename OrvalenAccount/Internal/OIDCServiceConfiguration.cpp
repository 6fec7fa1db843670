#include "OrvalenAccount/Internal/OIDCServiceConfiguration.h"

#include "OrvalenAccount/Internal/OIDCAuthorizationRequest.h"
#include "OrvalenAccount/Internal/OIDCError.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>
#include <QUrlQuery>

namespace {
// The browser is sent to the authorization endpoint, so only a web address will do:
// anything else (file:, javascript:, a custom scheme) from a tampered document
// would be handed to whatever program the desktop has for it.
bool isWebAddress(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.isRelative() && !url.host().isEmpty()
        && (scheme == QLatin1String("https") || scheme == QLatin1String("http"));
}

// The request appends its protocol parameters to the endpoint's query: one the endpoint
// carries already would reach the authority twice, and which of the two counts would be
// the authority's guess.
bool carriesAProtocolParameter(const QUrl &url)
{
    const QUrlQuery query(url);
    for (const auto &item : query.queryItems(QUrl::FullyDecoded)) {
        if (OIDCAuthorizationRequest::protocolParameterNames().contains(item.first))
            return true;
    }
    return false;
}

std::optional<QUrl> endpoint(const QJsonObject &document, const QString &key)
{
    const QJsonValue value = document.value(key);
    if (!value.isString())
        return std::nullopt;
    const QUrl url(value.toString(), QUrl::StrictMode);
    if (!url.isValid() || url.isRelative())
        return std::nullopt;
    return url;
}
} // namespace

OIDCServiceConfiguration OIDCServiceConfiguration::fromDiscoveryDocument(const QByteArray &json)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        throw OIDCError::general(OIDCGeneralErrorCode::invalidDiscoveryDocument);
    const QJsonObject object = document.object();

    const std::optional<QUrl> authorization = endpoint(object, QStringLiteral("authorization_endpoint"));
    if (!authorization || !isWebAddress(*authorization) || carriesAProtocolParameter(*authorization))
        throw OIDCError::general(OIDCGeneralErrorCode::invalidDiscoveryDocument);

    OIDCServiceConfiguration configuration;
    configuration.authorizationEndpoint = *authorization;
    if (const QJsonValue issuer = object.value(QStringLiteral("issuer")); issuer.isString())
        configuration.issuer = issuer.toString();
    configuration.tokenEndpoint = endpoint(object, QStringLiteral("token_endpoint"));
    configuration.userinfoEndpoint = endpoint(object, QStringLiteral("userinfo_endpoint"));
    configuration.jwksURI = endpoint(object, QStringLiteral("jwks_uri"));
    configuration.registrationEndpoint = endpoint(object, QStringLiteral("registration_endpoint"));
    configuration.endSessionEndpoint = endpoint(object, QStringLiteral("end_session_endpoint"));
    configuration.discoveryDocument = object;
    return configuration;
}

QUrl OIDCServiceConfiguration::discoveryURL(const QUrl &issuer)
{
    QUrl url = issuer;
    QString path = url.path();
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    url.setPath(path + QStringLiteral("/.well-known/openid-configuration"));
    url.setQuery(QString());
    url.setFragment(QString());
    return url;
}
