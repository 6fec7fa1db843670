#pragma once

#include "Vantle/Utilities/LogRecord.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

class QNetworkAccessManager;

// Sends the log's "warn" and "error" lines to the identity service ("api/error-events")
// in batches, every 60 seconds, while the user's consent allows it. Lines wait in a
// bounded queue; when it is full the newest are dropped and counted, so the first
// failures of a burst, usually the cause, are the ones that arrive. Without consent the
// queue is emptied and nothing is sent. The client configures once at start-up and flushes
// on the GUI thread; record() may be called from any thread.
class ErrorTelemetry final : public QObject {
    Q_OBJECT
public:
    struct Configuration {
        QString appSlug = QStringLiteral("vantle");
        QString platform = QStringLiteral("linux");
        QString appVersion;
        QString osVersion;
        QString installID;
        QUrl identityURL;

        // The application's: app slug "vantle", platform "linux", the app version, the OS
        // version as major.minor.patch, the account layer's install identifier and the
        // identity service's address.
        static Configuration forApplication();
    };

    static inline const QString path = QStringLiteral("/api/error-events");
    static constexpr qsizetype queueLimit = 100;
    static constexpr std::chrono::seconds flushInterval{60};
    static constexpr std::chrono::seconds requestTimeout{30};

    // The process's client.
    static ErrorTelemetry &shared();
    // At start-up: configures the shared client for the application, starts it and probes
    // the user's region in the background.
    static void startAtLaunch();

    explicit ErrorTelemetry(QObject *parent = nullptr);
    ~ErrorTelemetry() override;

    void configure(Configuration configuration);
    const Configuration &configuration() const { return m_configuration; }

    // Takes the shared log's warnings and errors and flushes every `interval`.
    void start(std::chrono::milliseconds interval = flushInterval);
    void stop();

    // Queues one line; "debug" and "info" lines are ignored. Never throws.
    void record(const LogRecord &record) noexcept;
    qsizetype pendingCount() const;

    // Sends what is queued, as one batch, when consent allows; a flush already under way
    // makes this one return at once. A batch the service could not take (no answer, 429,
    // 5xx) goes back to the queue for the next flush; one it refused otherwise is dropped.
    QCoro::Task<void> flush();

    // Tests: what decides consent (empty: ErrorTelemetryConsent::isEnabled) and the
    // network manager (null: the shared one).
    void setConsent(std::function<bool()> consent);
    void setNetwork(QNetworkAccessManager *network) { m_network = network; }

private:
    struct Queue;

    QByteArray body(const QList<LogRecord> &events, std::uint64_t dropped) const;

    Configuration m_configuration;
    std::shared_ptr<Queue> m_queue;
    std::function<bool()> m_consent;
    QNetworkAccessManager *m_network = nullptr;
    QTimer m_timer;
    bool m_flushing = false;
    bool m_receivesLog = false;
};
