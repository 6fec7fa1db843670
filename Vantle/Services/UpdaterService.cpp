#include "Vantle/Services/UpdaterService.h"

#include "Platform/Preferences.h"
#include "Platform/UpdaterConfiguration.h"
#include "Vantle/Utilities/Constants.h"

#include <QMetaType>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QtGlobal>

#include <utility>

namespace {

// The value under `key` when it is text, trimmed; empty for anything else.
QString trimmedString(const QVariantMap &dictionary, const QString &key)
{
    const QVariant value = dictionary.value(key);
    if (value.typeId() != QMetaType::QString)
        return {};
    return value.toString().trimmed();
}

} // namespace

UpdaterService::Environment UpdaterService::Environment::standard()
{
    Environment environment;
    environment.infoDictionary = UpdaterConfiguration::infoDictionary();
    environment.currentVersion = Constants::version();
    return environment;
}

UpdaterService::UpdaterService(QObject *parent) : UpdaterService(Environment::standard(), parent) {}

UpdaterService::UpdaterService(Environment environment, QObject *parent)
    : QObject(parent), m_activation(environment.activation), m_preferences(environment.preferences),
      m_forcedCheckDelay(environment.forcedCheckDelay)
{
    if (hasValidUpdateConfig(environment.infoDictionary)) {
        Updater::Settings settings = environment.updaterSettings;
        settings.feedURL = QUrl(trimmedString(environment.infoDictionary, UpdaterConfiguration::feedURLKey));
        settings.publicKey = trimmedString(environment.infoDictionary, UpdaterConfiguration::publicKeyKey);
        settings.currentVersion = environment.currentVersion;
        std::unique_ptr<UpdaterUserDriver> driver =
            environment.makeUserDriver ? environment.makeUserDriver() : nullptr;
        m_controller = std::make_unique<UpdaterController>(true, std::move(settings), this, std::move(driver));

        // The initial value and every change reach the property on a later turn of the
        // event loop, read from the updater itself; nothing arrives once the service is gone.
        const QPointer<Updater> updater = m_controller->updater();
        auto mirror = [this, updater]() {
            if (!updater)
                return;
            const bool value = updater->canCheckForUpdates();
            QMetaObject::invokeMethod(
                this, [this, value]() { setCanCheckForUpdates(value); }, Qt::QueuedConnection);
        };
        m_canCheckObservation = connect(updater, &Updater::canCheckForUpdatesChanged, this, mirror);
        mirror();
    }
    forceInteractiveCheckOnLaunchIfNeeded();
}

UpdaterService::~UpdaterService()
{
    disconnect(m_canCheckObservation);
    m_controller.reset();
}

bool UpdaterService::hasValidUpdateConfig(const QVariantMap &infoDictionary)
{
    const QString feed = trimmedString(infoDictionary, UpdaterConfiguration::feedURLKey);
    const QString key = trimmedString(infoDictionary, UpdaterConfiguration::publicKeyKey);
    return !feed.isEmpty() && !key.isEmpty() && !key.startsWith(QLatin1String("REPLACE_"));
}

void UpdaterService::forceInteractiveCheckOnLaunchIfNeeded()
{
    // Exactly "1": "true", "01" or " 1" do not count.
    if (!qEnvironmentVariableIsSet(forceCheckVariable) || qgetenv(forceCheckVariable) != "1")
        return;
    QTimer::singleShot(m_forcedCheckDelay, this, [this]() { checkForUpdates(); });
}

void UpdaterService::checkForUpdates()
{
    // An updater that could not start begins no cycle, and no end of a cycle would put the
    // policy back: it is left as it is.
    if (!m_controller || !m_controller->updater()->isStarted())
        return;
    // Several checks in one cycle put back the policy from before the first.
    if (!m_policyBeforeCheck)
        m_policyBeforeCheck = activation().policy();
    activation().setPolicy(ActivationPolicy::Policy::regular);
    activation().activateIgnoringOtherApps();
    m_controller->checkForUpdates();
}

QSet<QString> UpdaterService::allowedChannels(Updater &)
{
    if (preferences().boolValue(betaEnabledKey, false))
        return {betaChannel};
    return {};
}

void UpdaterService::didFinishUpdateCycle(Updater &, UpdateCheck, const std::optional<UpdaterError> &error)
{
    if (error && error->domain() != UpdaterError::domainName) {
        const QString message = failurePrefix + error->localizedDescription();
        if (m_statusMessage != message) {
            m_statusMessage = message;
            Q_EMIT statusMessageChanged();
        }
    }
    if (m_policyBeforeCheck) {
        activation().setPolicy(*std::exchange(m_policyBeforeCheck, std::nullopt));
    }
}

void UpdaterService::setCanCheckForUpdates(bool value)
{
    if (m_canCheckForUpdates == value)
        return;
    m_canCheckForUpdates = value;
    Q_EMIT canCheckForUpdatesChanged(value);
}

ActivationPolicy &UpdaterService::activation() const
{
    return m_activation ? *m_activation : ActivationPolicy::shared();
}

Preferences &UpdaterService::preferences() const
{
    return m_preferences ? *m_preferences : Preferences::standard();
}
