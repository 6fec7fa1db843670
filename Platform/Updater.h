#pragma once

#include "Platform/UpdaterDelegate.h"
#include "Platform/UpdaterError.h"
#include "Platform/UpdaterFeedItem.h"

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

class QNetworkReply;
class UpdaterUserDriver;

// Checks the update feed, on a schedule and when asked, and offers the newest release
// above the running version through its user driver. Nothing is downloaded or installed:
// the offer's one action opens the release's download page in the browser.
//
// One check at a time. A cycle fetches the feed, picks the newest well-formed release of
// the default channel or of a channel the delegate allows, verifies its Ed25519 signature
// with the build's public key, and offers it. Every cycle ends with the delegate's
// didFinishUpdateCycle. Outcomes of a check the person asked for (nothing newer, an
// error) are shown through the driver and end the cycle when acknowledged; those of a
// scheduled check end it quietly. Confined to the GUI thread.
class Updater final : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)

public:
    struct Settings {
        QUrl feedURL;
        QString publicKey;       // base64 of the 32-byte Ed25519 public key
        QString currentVersion;  // the running version, as UpdaterVersion reads it
        QString applicationName = QStringLiteral("vantle");
        std::chrono::milliseconds firstScheduledCheck = std::chrono::minutes(1);
        std::chrono::milliseconds checkInterval = std::chrono::hours(24);
        // A feed that has not finished arriving by then counts as not answering, however
        // steadily its bytes trickle in: a deadline from the start of the request.
        std::chrono::milliseconds feedTimeout = std::chrono::seconds(30);
        qint64 maximumFeedSize = 4 * 1024 * 1024;
        // The application's manager, so the feed takes no network thread of its own; null:
        // the updater makes one. Not owned; it must outlive the updater.
        QNetworkAccessManager *network = nullptr;
    };

    // Neither the driver nor the delegate is owned; both must outlive the updater.
    Updater(Settings settings, UpdaterUserDriver *userDriver, UpdaterDelegate *delegate, QObject *parent = nullptr);
    ~Updater() override;

    // Checks the settings and starts the schedule. An error of the updater's domain when
    // the feed address, the public key or the running version is unusable: the updater
    // then stays stopped and never checks.
    std::optional<UpdaterError> start();
    bool isStarted() const { return m_started; }

    // True while started and no cycle runs: a check the person asks for would start now.
    bool canCheckForUpdates() const { return m_canCheck; }

    // A check the person asked for. Ignored before start() and while an offer or an outcome
    // is on screen; a scheduled check still fetching becomes one the person asked for.
    void checkForUpdates();
    // What the schedule runs; ignored unless the updater is started and idle.
    void checkForUpdatesInBackground();

    const Settings &settings() const { return m_settings; }

Q_SIGNALS:
    void canCheckForUpdatesChanged(bool canCheckForUpdates);

private:
    enum class Phase { idle, fetching, presenting };

    void beginCycle(UpdateCheck check);
    void feedFinished();
    void evaluate(const QByteArray &body);
    void offer(const UpdaterFeedItem &item);
    // Shows an outcome when the person is waiting for one, then ends the cycle.
    void conclude(const UpdaterError &error, bool personWaits);
    void finish(std::optional<UpdaterError> error);
    void setCanCheck(bool canCheck);
    bool isCurrent(std::uint64_t cycle, Phase phase) const { return m_cycle == cycle && m_phase == phase; }

    Settings m_settings;
    QByteArray m_publicKey;
    UpdaterUserDriver *m_userDriver;
    UpdaterDelegate *m_delegate;
    std::unique_ptr<QNetworkAccessManager> m_ownNetwork;
    QNetworkAccessManager *m_network;
    QTimer m_schedule;
    QTimer m_feedDeadline;
    bool m_started = false;
    bool m_canCheck = false;
    Phase m_phase = Phase::idle;
    UpdateCheck m_check = UpdateCheck::background;
    // Numbers the cycles, so that an answer meant for an earlier one is ignored.
    std::uint64_t m_cycle = 0;
    QPointer<QNetworkReply> m_reply;
    QByteArray m_body;
    bool m_tooLarge = false;
    bool m_timedOut = false;
};
