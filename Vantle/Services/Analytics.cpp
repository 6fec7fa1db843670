#include "Vantle/Services/Analytics.h"

#include "OrvalenAccount/Internal/HTTPTransport.h"
#include "OrvalenAccount/OrvalenInstallMetrics.h"
#include "Platform/Deployment.h"
#include "Platform/Preferences.h"
#include "Platform/SystemInfo.h"
#include "Vantle/Utilities/Constants.h"
#include "Vantle/Utilities/KeychainHelper.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QThread>
#include <QUuid>

#include <mutex>
#include <utility>

namespace Analytics {

namespace {
// The events the identity service has to see of an install and an account (first
// opened, signed in, through the first-run gate), and the names it knows them by. Only
// names the application really tracks belong here. One table: adding a mirrored event
// means adding a row here.
struct MirrorRow {
    const char *event;
    const char *canonical;
};
constexpr MirrorRow mirrorTable[] = {
    {"app_first_opened", "app_first_opened"},
    {"sign_in_completed", "sign_in_completed"},
    {"onboarding_completed", "onboarding_completed"},
};

// Uploads allowed in flight at once; a capture service that hangs must not gather an
// endless pile of requests.
constexpr int maxInFlight = 32;
constexpr std::chrono::seconds uploadTimeout{15};

struct State {
    std::mutex mutex;
    std::optional<QString> anonymousID;
    std::optional<QString> installID;
    // GUI thread only.
    ContextProvider context;
    AppEventSink sink;
    QPointer<QNetworkAccessManager> network;
    int inFlight = 0;
};

State &state()
{
    static auto *instance = new State;
    return *instance;
}

bool onGuiThread()
{
    const QCoreApplication *app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

// Runs `work` on the GUI thread: now when already there, else queued.
template <typename Work>
void onGui(Work work)
{
    if (onGuiThread()) {
        work();
        return;
    }
    if (QCoreApplication *app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, std::move(work), Qt::QueuedConnection);
}

Properties commonProperties()
{
    return {
        {QStringLiteral("app"), QStringLiteral("vantle")},
        {QStringLiteral("app_version"), Constants::version()},
        {QStringLiteral("platform"), SystemInfo::platform()},
        {QStringLiteral("os_name"), SystemInfo::osName()},
        {QStringLiteral("os_version"), SystemInfo::osVersion()},
    };
}

QString capturedName(const QString &event)
{
    if (event.startsWith(QLatin1Char('$')) || event.startsWith(eventPrefix))
        return event;
    return eventPrefix + event;
}

QCoro::Task<void> upload(QNetworkAccessManager *network, HTTPRequest request)
{
    try {
        co_await HTTPTransport::send(network, std::move(request));
    } catch (...) {
        // Never reported back: analytics must not disturb anything else.
    }
    --state().inFlight;
}

// Sends one event; GUI thread.
void send(const QString &event, const QString &distinctID, Properties properties)
{
    const QString key = Deployment::analyticsKey();
    const QUrl url = captureURL();
    State &s = state();
    if (key.isEmpty() || !url.isValid() || s.inFlight >= maxInFlight)
        return;
    const QJsonObject body{
        {QStringLiteral("api_key"), key},
        {QStringLiteral("event"), capturedName(event)},
        {QStringLiteral("distinct_id"), distinctID},
        {QStringLiteral("properties"), QJsonObject::fromVariantMap(properties)},
        {QStringLiteral("timestamp"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)},
    };
    HTTPRequest request;
    request.method = QStringLiteral("POST");
    request.url = url;
    request.headers = {qMakePair(QByteArray("Content-Type"), QByteArray("application/json"))};
    request.body = QJsonDocument(body).toJson(QJsonDocument::Compact);
    request.timeout = uploadTimeout;
    ++s.inFlight;
    upload(s.network, std::move(request));
}
} // namespace

std::optional<QString> mirroredName(const QString &event)
{
    for (const MirrorRow &row : mirrorTable) {
        if (event == QLatin1String(row.event))
            return QString::fromLatin1(row.canonical);
    }
    return std::nullopt;
}

QUrl captureURL()
{
    QUrl url = Deployment::analyticsURL();
    url.setPath(url.path() + QStringLiteral("/capture/"));
    return url;
}

void track(const QString &event, const Properties &properties)
{
    onGui([event, properties] {
        try {
            if (isOptedOut())
                return;
            State &s = state();
            if (const auto canonical = mirroredName(event); canonical && s.sink)
                s.sink(*canonical, properties);
            Properties merged = commonProperties();
            if (s.context)
                merged.insert(s.context());
            merged.insert(properties);
            send(event, anonymousDistinctID(), std::move(merged));
        } catch (...) {
        }
    });
}

void identify(const QString &orvalenAccountID)
{
    if (!orvalenAccountID.startsWith(QLatin1String("oa_")))
        return;
    onGui([orvalenAccountID] {
        try {
            if (isOptedOut())
                return;
            Properties properties = commonProperties();
            properties.insert(QStringLiteral("$anon_distinct_id"), anonymousDistinctID());
            send(QStringLiteral("$identify"), orvalenAccountID, std::move(properties));
        } catch (...) {
        }
    });
}

QString anonymousDistinctID()
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    if (s.anonymousID)
        return *s.anonymousID;
    QString id;
    const std::optional<QString> stored = KeychainHelper::load(anonymousDistinctIDKey);
    if (stored && stored->startsWith(QLatin1String("dev_"))) {
        id = *stored;
    } else if (const std::optional<QString> legacy = KeychainHelper::load(legacyDistinctIDKey);
               legacy && !legacy->isEmpty()) {
        id = legacy->startsWith(QLatin1String("dev_")) ? *legacy : QStringLiteral("dev_") + legacy->toLower();
        if (KeychainHelper::save(id, anonymousDistinctIDKey))
            KeychainHelper::remove(legacyDistinctIDKey);
    } else {
        id = QStringLiteral("dev_") + QUuid::createUuid().toString(QUuid::WithoutBraces).toLower();
        // When the keychain cannot keep it, the identifier still holds for this process.
        KeychainHelper::save(id, anonymousDistinctIDKey);
    }
    s.anonymousID = id;
    return id;
}

QString cachedInstallID()
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    if (!s.installID)
        s.installID = OrvalenInstallMetrics::installID(QStringLiteral("vantle"));
    return *s.installID;
}

void setOptedOut(bool optedOut)
{
    Preferences::standard().setValue(optOutKey, optedOut);
    if (optedOut) {
        {
            State &s = state();
            std::lock_guard lock(s.mutex);
            s.anonymousID.reset();
        }
        KeychainHelper::remove(legacyDistinctIDKey);
        KeychainHelper::remove(anonymousDistinctIDKey);
    } else {
        anonymousDistinctID();
    }
}

bool isOptedOut()
{
    return Preferences::standard().boolValue(optOutKey);
}

void setContextProvider(ContextProvider provider)
{
    state().context = std::move(provider);
}

void setAppEventSink(AppEventSink sink)
{
    state().sink = std::move(sink);
}

void forgetCachedIdentifiers()
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    s.anonymousID.reset();
    s.installID.reset();
}

void setNetwork(QNetworkAccessManager *network)
{
    state().network = network;
}

} // namespace Analytics
