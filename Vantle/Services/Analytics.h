#pragma once

#include <QString>
#include <QVariantMap>

#include <functional>

// Product analytics: events with properties, sent to the capture service in the
// background. Nothing is sent or queued while the user has opted out.
// Property values are text, numbers or booleans.
namespace Analytics {

using Properties = QVariantMap;
using ContextProvider = std::function<Properties()>;
using AppEventSink = std::function<void(const QString &canonicalName, const Properties &properties)>;

// Records one event; adds the common properties and the context provider's. Events of the
// mirror table also go to the app-event sink under their canonical names. Never fails.
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

} // namespace Analytics
