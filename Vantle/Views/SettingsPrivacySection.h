#pragma once

#include "Vantle/Views/SettingsSection.h"

// The settings window's "Privacy & Support" section: product analytics, the support page
// and the application's version.
class SettingsPrivacySection final : public SettingsSection {
    Q_OBJECT
public:
    explicit SettingsPrivacySection(QWidget *parent = nullptr);

    // The application's version as the "Version" row shows it.
    static QString versionLabel();

    bool analyticsEnabled() const { return m_analyticsEnabled; }
    // The window appears: the switch shows the stored choice.
    void windowShown();

private:
    void setAnalyticsEnabled(bool value);

    bool m_analyticsEnabled = true;
    SettingsSwitch *m_analyticsSwitch = nullptr;
};
