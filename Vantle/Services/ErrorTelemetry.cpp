#include "Vantle/Services/ErrorTelemetry.h"

#include "OrvalenAccount/Internal/HTTPTransport.h"
#include "Platform/SystemInfo.h"
#include "Vantle/Services/Analytics.h"
#include "Vantle/Services/ErrorTelemetryConsent.h"
#include "Vantle/Services/GeoProbeClient.h"
#include "Vantle/Utilities/Constants.h"
#include "Vantle/Utilities/Log.h"
#include "Vantle/Utilities/LogCenter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>

#include <deque>
#include <mutex>
#include <utility>

// Shared with the log writer's hook, so a line arriving while the client goes away
// never touches a destroyed object.
struct ErrorTelemetry::Queue {
    std::mutex mutex;
    std::deque<LogRecord> events;
    std::uint64_t dropped = 0;

    void push(const LogRecord &record)
    {
        std::lock_guard lock(mutex);
        if (static_cast<qsizetype>(events.size()) >= queueLimit) {
            ++dropped;
            return;
        }
        events.push_back(record);
    }
};

ErrorTelemetry::Configuration ErrorTelemetry::Configuration::forApplication()
{
    Configuration configuration;
    configuration.appVersion = Constants::version();
    configuration.osVersion = SystemInfo::osVersion();
    configuration.installID = Analytics::cachedInstallID();
    configuration.identityURL = Constants::Auth::identityURL();
    return configuration;
}

ErrorTelemetry &ErrorTelemetry::shared()
{
    static auto *instance = new ErrorTelemetry;
    return *instance;
}

namespace {
QCoro::Task<void> probeRegion(QUrl identityURL)
{
    co_await GeoProbeClient::probe(std::move(identityURL));
}
} // namespace

void ErrorTelemetry::startAtLaunch()
{
    ErrorTelemetry &telemetry = shared();
    telemetry.configure(Configuration::forApplication());
    telemetry.start();
    probeRegion(telemetry.configuration().identityURL);
}

ErrorTelemetry::ErrorTelemetry(QObject *parent) : QObject(parent), m_queue(std::make_shared<Queue>())
{
    m_timer.setSingleShot(false);
    connect(&m_timer, &QTimer::timeout, this, [this] { flush(); });
}

ErrorTelemetry::~ErrorTelemetry()
{
    stop();
}

void ErrorTelemetry::configure(Configuration configuration)
{
    m_configuration = std::move(configuration);
}

void ErrorTelemetry::start(std::chrono::milliseconds interval)
{
    std::weak_ptr<Queue> queue = m_queue;
    LogCenter::shared().setTelemetrySink([queue](const LogRecord &record) {
        if (const auto q = queue.lock())
            q->push(record);
    });
    m_receivesLog = true;
    m_timer.start(interval);
}

void ErrorTelemetry::stop()
{
    m_timer.stop();
    if (m_receivesLog) {
        LogCenter::shared().setTelemetrySink({});
        m_receivesLog = false;
    }
}

void ErrorTelemetry::record(const LogRecord &record) noexcept
{
    if (record.level != SystemLogLevel::warn && record.level != SystemLogLevel::error)
        return;
    try {
        m_queue->push(record);
    } catch (...) {
    }
}

qsizetype ErrorTelemetry::pendingCount() const
{
    std::lock_guard lock(m_queue->mutex);
    return static_cast<qsizetype>(m_queue->events.size());
}

void ErrorTelemetry::setConsent(std::function<bool()> consent)
{
    m_consent = std::move(consent);
}

QByteArray ErrorTelemetry::body(const QList<LogRecord> &events, std::uint64_t dropped) const
{
    QJsonArray list;
    for (const LogRecord &event : events)
        list.append(event.toJson());
    const QJsonObject object{
        {QStringLiteral("app_slug"), m_configuration.appSlug},
        {QStringLiteral("platform"), m_configuration.platform},
        {QStringLiteral("app_version"), m_configuration.appVersion},
        {QStringLiteral("os_version"), m_configuration.osVersion},
        {QStringLiteral("install_id"), m_configuration.installID},
        {QStringLiteral("dropped"), static_cast<qint64>(dropped)},
        {QStringLiteral("events"), list},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QCoro::Task<void> ErrorTelemetry::flush()
{
    if (m_flushing)
        co_return;
    QList<LogRecord> batch;
    std::uint64_t dropped = 0;
    try {
        const bool allowed = m_consent ? m_consent() : ErrorTelemetryConsent::isEnabled();
        {
            std::lock_guard lock(m_queue->mutex);
            if (!allowed) {
                m_queue->events.clear();
                m_queue->dropped = 0;
                co_return;
            }
            batch = QList<LogRecord>(m_queue->events.begin(), m_queue->events.end());
            m_queue->events.clear();
            dropped = std::exchange(m_queue->dropped, 0);
        }
        if (batch.isEmpty() || !m_configuration.identityURL.isValid())
            co_return;
    } catch (...) {
        co_return;
    }

    m_flushing = true;
    QPointer<ErrorTelemetry> self(this);
    const std::shared_ptr<Queue> queue = m_queue;
    bool retry = false;
    try {
        HTTPRequest request;
        request.method = QStringLiteral("POST");
        request.url = m_configuration.identityURL;
        request.url.setPath(m_configuration.identityURL.path() + path);
        request.headers = {qMakePair(QByteArray("Content-Type"), QByteArray("application/json")),
                           qMakePair(QByteArray("Accept"), QByteArray("application/json"))};
        request.body = body(batch, dropped);
        request.timeout = requestTimeout;
        const HTTPResponse response = co_await HTTPTransport::send(m_network, std::move(request));
        retry = response.status == 429 || response.status >= 500;
        if (!response.isSuccess()) {
            // Never "warn" here: that line would come straight back into the queue.
            Log(QStringLiteral("telemetry"))
                .emit(QStringLiteral("info"), QStringLiteral("error_telemetry_rejected status=%1").arg(response.status));
        }
    } catch (...) {
        retry = true;
    }
    if (retry) {
        // The batch goes back in front of what arrived meanwhile, within the bound.
        std::lock_guard lock(queue->mutex);
        std::deque<LogRecord> merged(batch.begin(), batch.end());
        for (LogRecord &later : queue->events)
            merged.push_back(std::move(later));
        std::uint64_t over = 0;
        while (static_cast<qsizetype>(merged.size()) > queueLimit) {
            merged.pop_back();
            ++over;
        }
        queue->events = std::move(merged);
        queue->dropped += dropped + over;
    }
    if (self)
        self->m_flushing = false;
}
