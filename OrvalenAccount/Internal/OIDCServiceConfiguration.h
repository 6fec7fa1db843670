#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QUrl>

#include <optional>

// What an OpenID Connect authority publishes about itself at
// "/.well-known/openid-configuration". Only the authorization endpoint is
// required; the other endpoints are kept when they are absolute addresses.
struct OIDCServiceConfiguration {
    QUrl authorizationEndpoint;
    std::optional<QString> issuer;
    std::optional<QUrl> tokenEndpoint;
    std::optional<QUrl> userinfoEndpoint;
    std::optional<QUrl> jwksURI;
    std::optional<QUrl> registrationEndpoint;
    std::optional<QUrl> endSessionEndpoint;
    QJsonObject discoveryDocument;

    // Reads a discovery document; throws OIDCError (invalidDiscoveryDocument) when
    // it is not a JSON object or has no absolute http(s) "authorization_endpoint".
    static OIDCServiceConfiguration fromDiscoveryDocument(const QByteArray &json);

    // The document's address for an issuer: the issuer's path with
    // "/.well-known/openid-configuration" appended (one slash between them).
    static QUrl discoveryURL(const QUrl &issuer);
};
