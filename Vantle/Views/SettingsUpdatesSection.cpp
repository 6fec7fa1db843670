#include "Vantle/Views/SettingsUpdatesSection.h"

#include "Platform/Preferences.h"
#include "Vantle/Services/UpdaterService.h"
#include "Vantle/Views/SettingsSwitch.h"

#include <QLabel>
#include <QPushButton>

#include <utility>

SettingsUpdatesSection::SettingsUpdatesSection(UpdaterService *updater, SettingsEnvironment environment,
                                               QWidget *parent)
    : SettingsSection(QStringLiteral("Updates"), parent), m_updater(updater), m_environment(std::move(environment))
{
    m_checkForUpdatesButton = addButton(QStringLiteral("Check for Updates…"));
    m_checkForUpdatesButton->setObjectName(QStringLiteral("checkForUpdatesButton"));
    connect(m_checkForUpdatesButton, &QPushButton::clicked, this, [this]() {
        if (m_updater)
            m_updater->checkForUpdates();
    });
    m_updateStatus = addFootnote(QString());
    m_betaSwitch = addToggle(QStringLiteral("Install beta updates"));
    m_betaSwitch->setChecked(betaUpdatesEnabled());
    connect(m_betaSwitch, &SettingsSwitch::clicked, this, &SettingsUpdatesSection::setBetaUpdatesBinding);
    addFootnote(QStringLiteral(
        "New features and changes land here first, and things may break occasionally. But if that's your jam, hop "
        "in. Turning this off keeps any beta you already have until a stable release catches up."));

    if (m_updater) {
        connect(m_updater, &UpdaterService::canCheckForUpdatesChanged, this, &SettingsUpdatesSection::syncRows);
        connect(m_updater, &UpdaterService::statusMessageChanged, this, &SettingsUpdatesSection::syncRows);
    }
    connect(&Preferences::standard(), &Preferences::valueChanged, this, [this](const QString &key) {
        if (key == UpdaterService::betaEnabledKey)
            m_betaSwitch->setChecked(betaUpdatesEnabled());
    });
    syncRows();
}

void SettingsUpdatesSection::syncRows()
{
    const bool canCheck = m_updater && m_updater->canCheckForUpdates();
    if (!canCheck && m_checkForUpdatesButton->hasFocus()) {
        // Off under the focus, the button would pass it on to the next control, scrolling
        // the form there. The focus waits on the button's row, unseen, for the check to end.
        m_focusHolder = rowOf(m_checkForUpdatesButton);
        m_focusHolder->setFocus(Qt::OtherFocusReason);
    }
    m_checkForUpdatesButton->setEnabled(canCheck);
    if (canCheck && m_focusHolder) {
        if (m_focusHolder == window()->focusWidget())
            m_checkForUpdatesButton->setFocus(Qt::TabFocusReason);
        m_focusHolder.clear();
    }
    m_betaSwitch->setEnabled(canCheck);
    const std::optional<QString> status = m_updater ? m_updater->statusMessage() : std::nullopt;
    m_updateStatus->setText(status.value_or(QString()));
    rowOf(m_updateStatus)->setVisible(status.has_value());
}

bool SettingsUpdatesSection::betaUpdatesEnabled() const
{
    return Preferences::standard().boolValue(UpdaterService::betaEnabledKey, false);
}

void SettingsUpdatesSection::setBetaUpdatesBinding(bool value)
{
    Preferences::standard().setValue(UpdaterService::betaEnabledKey, value);
    m_betaSwitch->setChecked(betaUpdatesEnabled());
    m_environment.track(QStringLiteral("beta_updates_setting_changed"), {{QStringLiteral("enabled"), value}});
    // Opting in looks for a beta at once; opting out never starts a check.
    if (value && m_updater && m_updater->canCheckForUpdates())
        m_updater->checkForUpdates();
}
