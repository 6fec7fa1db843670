#pragma once

#include "Vantle/Views/SettingsEnvironment.h"
#include "Vantle/Views/SettingsSection.h"

#include <QPointer>

class QLabel;
class QPushButton;
class UpdaterService;

// The settings window's "Updates" section: a check by hand, the last failed check's text,
// and the beta channel. Both controls follow whether the updater would start a check now.
// A check started from the keyboard hands the focus back to "Check for Updates…" when it
// ends (its dialog closed), so the person goes on from where they were.
class SettingsUpdatesSection final : public SettingsSection {
    Q_OBJECT
public:
    // `updater` is not owned and should outlive the section.
    SettingsUpdatesSection(UpdaterService *updater, SettingsEnvironment environment, QWidget *parent = nullptr);

private:
    void syncRows();
    bool betaUpdatesEnabled() const;
    void setBetaUpdatesBinding(bool value);

    QPointer<UpdaterService> m_updater;
    SettingsEnvironment m_environment;
    QPushButton *m_checkForUpdatesButton = nullptr;
    QLabel *m_updateStatus = nullptr;
    SettingsSwitch *m_betaSwitch = nullptr;
    // Where the focus waits while the button is off for a check it started.
    QPointer<QWidget> m_focusHolder;
};
