#pragma once

#include "Platform/ActivationPolicy.h"
#include "Platform/Updater.h"
#include "Platform/UpdaterController.h"
#include "Platform/UpdaterDelegate.h"
#include "Platform/UpdaterUserDriver.h"

#include <QMetaObject>
#include <QObject>
#include <QSet>
#include <QString>
#include <QVariantMap>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class Preferences;

// The application's one handle on the updater. Creates the updater's controller only when
// the build carries a usable update configuration; mirrors whether a check the person asks
// for may start now; starts such checks with the application brought forward as a
// regular application for the length of the cycle; answers which channels are allowed
// (beta while the person opted in); and keeps the text of the last failed cycle for the
// settings window. Created once at start-up; confined to the GUI thread.
class UpdaterService final : public QObject, public UpdaterDelegate {
    Q_OBJECT
    Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)
    Q_PROPERTY(QString statusMessage READ statusMessageText NOTIFY statusMessageChanged)

public:
    static inline const QString betaEnabledKey = QStringLiteral("vantle.updates.betaEnabled");
    static inline const QString betaChannel = QStringLiteral("beta");
    static inline const char *const forceCheckVariable = "VANTLE_FORCE_UPDATE_CHECK_ON_LAUNCH";
    static inline const QString failurePrefix = QStringLiteral("Update check failed: ");

    // What the service is built from. standard() is the application's; tests replace parts.
    struct Environment {
        QVariantMap infoDictionary;
        QString currentVersion;
        // Not owned; the process-wide layers when null.
        ActivationPolicy *activation = nullptr;
        Preferences *preferences = nullptr;
        // The windows of the updater, which the application hands in; without them an
        // offer or an outcome is dropped as if acknowledged.
        std::function<std::unique_ptr<UpdaterUserDriver>()> makeUserDriver;
        // Schedule, timeout and size limit of the updater; its feed, key and version come
        // from the fields above.
        Updater::Settings updaterSettings;
        std::chrono::milliseconds forcedCheckDelay = std::chrono::seconds(1);

        // The build's configuration and version; no windows.
        static Environment standard();
    };

    explicit UpdaterService(QObject *parent = nullptr);
    explicit UpdaterService(Environment environment, QObject *parent = nullptr);
    ~UpdaterService() override;

    // True while the updater would start a check the person asks for now; false for the
    // life of the process without a usable configuration.
    bool canCheckForUpdates() const { return m_canCheckForUpdates; }
    // "Update check failed: " and the description, once a cycle failed for a reason outside
    // the updater's own domain. Never cleared: a later success leaves it standing.
    const std::optional<QString> &statusMessage() const { return m_statusMessage; }
    QString statusMessageText() const { return m_statusMessage.value_or(QString()); }

    // Starts a check the person asked for; does nothing without a controller or with an
    // updater that could not start. The outcome arrives through didFinishUpdateCycle.
    void checkForUpdates();

    // UpdaterDelegate
    QSet<QString> allowedChannels(Updater &updater) override;
    void didFinishUpdateCycle(Updater &updater, UpdateCheck check, const std::optional<UpdaterError> &error) override;

Q_SIGNALS:
    void canCheckForUpdatesChanged(bool canCheckForUpdates);
    void statusMessageChanged();

private:
    static bool hasValidUpdateConfig(const QVariantMap &infoDictionary);
    void forceInteractiveCheckOnLaunchIfNeeded();
    void setCanCheckForUpdates(bool value);
    ActivationPolicy &activation() const;
    Preferences &preferences() const;

    ActivationPolicy *m_activation;
    Preferences *m_preferences;
    std::chrono::milliseconds m_forcedCheckDelay;

    std::unique_ptr<UpdaterController> m_controller;
    QMetaObject::Connection m_canCheckObservation;
    bool m_canCheckForUpdates = false;
    std::optional<QString> m_statusMessage;
    std::optional<ActivationPolicy::Policy> m_policyBeforeCheck;
};
