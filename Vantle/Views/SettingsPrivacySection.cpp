#include "Vantle/Views/SettingsPrivacySection.h"

#include "Platform/UrlOpener.h"
#include "Vantle/Services/Analytics.h"
#include "Vantle/Utilities/Constants.h"
#include "Vantle/Views/SettingsLinks.h"
#include "Vantle/Views/SettingsSwitch.h"

#include <QPushButton>

SettingsPrivacySection::SettingsPrivacySection(QWidget *parent)
    : SettingsSection(QStringLiteral("Privacy & Support"), parent), m_analyticsEnabled(!Analytics::isOptedOut())
{
    m_analyticsSwitch = addToggle(QStringLiteral("Share anonymous usage analytics"));
    m_analyticsSwitch->setChecked(m_analyticsEnabled);
    connect(m_analyticsSwitch, &SettingsSwitch::clicked, this, &SettingsPrivacySection::setAnalyticsEnabled);
    addFootnote(QStringLiteral("Covers product events such as onboarding steps, timer starts and stops, and which "
                               "settings you change. Your entry notes and category names are never sent."));
    QPushButton *support = addButton(QStringLiteral("Contact support"));
    support->setObjectName(QStringLiteral("contactSupportButton"));
    connect(support, &QPushButton::clicked, this, []() { UrlOpener::open(SettingsLinks::support()); });
    addLabeledValue(QStringLiteral("Version"), versionLabel());
}

QString SettingsPrivacySection::versionLabel() { return Constants::version(); }

void SettingsPrivacySection::windowShown()
{
    m_analyticsEnabled = !Analytics::isOptedOut();
    m_analyticsSwitch->setChecked(m_analyticsEnabled);
}

void SettingsPrivacySection::setAnalyticsEnabled(bool value)
{
    m_analyticsSwitch->setChecked(value);
    if (m_analyticsEnabled == value)
        return;
    m_analyticsEnabled = value;
    Analytics::setOptedOut(!value);
}
