#include "Platform/UpdaterController.h"

#include "Platform/SystemLog.h"

#include <utility>

UpdaterController::UpdaterController(bool startingUpdater, Updater::Settings settings,
                                     UpdaterDelegate *updaterDelegate,
                                     std::unique_ptr<UpdaterUserDriver> userDriver, QObject *parent)
    : QObject(parent), m_userDriver(std::move(userDriver)),
      m_updater(std::make_unique<Updater>(std::move(settings), m_userDriver.get(), updaterDelegate))
{
    if (startingUpdater)
        startUpdater();
}

UpdaterController::~UpdaterController() = default;

std::optional<UpdaterError> UpdaterController::startUpdater()
{
    auto error = m_updater->start();
    if (error)
        SystemLog::write(SystemLogLevel::warn, QStringLiteral("dev.orvalen.vantle"), QStringLiteral("updates"),
                         QStringLiteral("update_checks_off reason=") + error->localizedDescription());
    return error;
}

void UpdaterController::checkForUpdates() { m_updater->checkForUpdates(); }
