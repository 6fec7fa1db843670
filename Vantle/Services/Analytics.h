#pragma once

#include <QString>
#include <QUrl>
#include <QVariantMap>

#include <functional>
#include <optional>

class QNetworkAccessManager;

// Product analytics: events with properties, sent to the capture service in the
// background. Nothing is sent or queued while the user has opted out.
// Property values are text, numbers or booleans.
namespace Analytics {

using Properties = QVariantMap;
using ContextProvider = std::function<Properties()>;
using AppEventSink = std::function<void(const QString &canonicalName, const Properties &properties)>;

inline const QString optOutKey = QStringLiteral("vantle.analytics.optOut");
inline const QString anonymousDistinctIDKey = QStringLiteral("analytics.anonymousDistinctId");
inline const QString legacyDistinctIDKey = QStringLiteral("analytics.distinctId");
// Events are sent as this prefix and their name ("vantle_settings_viewed").
inline const QString eventPrefix = QStringLiteral("vantle_");

// Records one event; adds the common properties and the context provider's. Events of the
// mirror table also go to the app-event sink under their canonical names. Never fails.
// Called from another thread, the event is handed to the GUI thread first.
void track(const QString &event, const Properties &properties = {});
// Links the anonymous identifier to the account; ignored unless the identifier begins "oa_".
void identify(const QString &orvalenAccountID);
// The anonymous distinct identifier ("dev_" + lower-case UUID), kept in the keychain.
QString anonymousDistinctID();
// The account layer's install identifier for the app slug "vantle", read once per process.
QString cachedInstallID();
// Stores the choice under "vantle.analytics.optOut"; opting out deletes the identifiers.
void setOptedOut(bool optedOut);
bool isOptedOut();

// The two hooks set once at start-up.
void setContextProvider(ContextProvider provider);
void setAppEventSink(AppEventSink sink);

// The canonical name under which the identity service sees `event`, when it is one of the
// mirrored events; nothing otherwise.
std::optional<QString> mirroredName(const QString &event);
// The capture service's "/capture/" address.
QUrl captureURL();
// Forgets the identifiers held in memory, so the next read goes to the keychain again
// (after the keychain or the install metrics' store was replaced).
void forgetCachedIdentifiers();
// The network manager the uploads use (null: the shared one).
void setNetwork(QNetworkAccessManager *network);

} // namespace Analytics
