#pragma once

#include "Platform/Updater.h"
#include "Platform/UpdaterUserDriver.h"

#include <QObject>

#include <memory>
#include <optional>

// The application's handle on the updater: owns it and its user driver, and starts it
// at once when asked to. A start that fails leaves the updater stopped (it never checks
// and canCheckForUpdates stays false) and says why in the log, since only the
// build's configuration can be at fault.
class UpdaterController final : public QObject {
    Q_OBJECT
public:
    UpdaterController(bool startingUpdater, Updater::Settings settings, UpdaterDelegate *updaterDelegate,
                      std::unique_ptr<UpdaterUserDriver> userDriver, QObject *parent = nullptr);
    ~UpdaterController() override;

    Updater *updater() const { return m_updater.get(); }

    // Starts the updater unless it runs already; the reason when it cannot start.
    std::optional<UpdaterError> startUpdater();
    // A check the person asked for.
    void checkForUpdates();

private:
    // Declared first so that it outlives the updater, which dismisses it on the way out.
    std::unique_ptr<UpdaterUserDriver> m_userDriver;
    std::unique_ptr<Updater> m_updater;
};
