#include "Vantle/Views/SettingsGeneralSection.h"

#include "Platform/LoginItem.h"
#include "Platform/LoginItemError.h"
#include "Platform/Preferences.h"
#include "Vantle/Services/MeetingsService.h"
#include "Vantle/Views/SettingsSwitch.h"

#include <QLabel>

#include <utility>

SettingsGeneralSection::SettingsGeneralSection(MeetingsService *meetings, SettingsEnvironment environment,
                                               QWidget *parent)
    : SettingsSection(QStringLiteral("General"), parent), m_meetings(meetings), m_environment(std::move(environment))
{
    m_launchAtLoginSwitch = addToggle(QStringLiteral("Launch vantle at login"));
    m_launchAtLoginSwitch->setChecked(m_launchAtLoginEnabled);
    connect(m_launchAtLoginSwitch, &SettingsSwitch::clicked, this, &SettingsGeneralSection::setLaunchAtLoginEnabled);
    addFootnote(QStringLiteral("Keeps vantle available the moment you sign in to this computer."));
    m_showMeetingsSwitch = addToggle(QStringLiteral("Show today's meetings"));
    m_showMeetingsSwitch->setChecked(showMeetings());
    connect(m_showMeetingsSwitch, &SettingsSwitch::clicked, this, &SettingsGeneralSection::setShowMeetingsBinding);
    m_calendarFootnote = addFootnote(QString());
    syncCalendarFootnote();

    if (m_meetings) {
        connect(m_meetings, &MeetingsService::authorizationChanged, this,
                &SettingsGeneralSection::syncCalendarFootnote);
    }
    connect(&Preferences::standard(), &Preferences::valueChanged, this, [this](const QString &key) {
        if (key != showMeetingsKey)
            return;
        m_showMeetingsSwitch->setChecked(showMeetings());
        syncCalendarFootnote();
    });
}

QString SettingsGeneralSection::calendarFootnote(bool showMeetings, CalendarAuthorization authorization)
{
    using Status = CalendarAuthorization;
    const bool refused =
        authorization == Status::restricted || authorization == Status::denied || authorization == Status::writeOnly;
    if (showMeetings && refused)
        return QStringLiteral("Calendar access is off. Enable it in the desktop's settings.");
    if (authorization != Status::fullAccess)
        return QStringLiteral("Turning this on asks the desktop's calendar for access so vantle can list today's "
                              "events — they never leave this computer.");
    return QStringLiteral("Lists today's events on the main window so you can count them in your week with one click.");
}

void SettingsGeneralSection::syncCalendarFootnote()
{
    const CalendarAuthorization status = m_meetings ? m_meetings->authorization() : CalendarAuthorization::notDetermined;
    m_calendarFootnote->setText(calendarFootnote(showMeetings(), status));
}

bool SettingsGeneralSection::showMeetings() const { return Preferences::standard().boolValue(showMeetingsKey, false); }

void SettingsGeneralSection::setShowMeetingsBinding(bool value)
{
    Preferences::standard().setValue(showMeetingsKey, value);
    m_showMeetingsSwitch->setChecked(showMeetings());
    m_environment.track(QStringLiteral("meetings_setting_changed"), {{QStringLiteral("enabled"), value}});
    // The footnote follows the status as the answer arrives; nothing waits for it here.
    if (value && m_meetings) {
        QCoro::Task<void> asking = m_meetings->requestAccessIfNeeded();
        Q_UNUSED(asking) // runs on by itself
    }
}

void SettingsGeneralSection::windowShown()
{
    // As when the window is first made: off, then what is registered, through the change
    // handler.
    m_launchAtLoginEnabled = false;
    setLaunchAtLoginEnabled(LoginItem::mainApp().status() == LoginItem::Status::enabled);
}

void SettingsGeneralSection::setLaunchAtLoginEnabled(bool value)
{
    m_launchAtLoginSwitch->setChecked(value);
    if (m_launchAtLoginEnabled == value)
        return;
    m_launchAtLoginEnabled = value;
    setLaunchAtLogin(value);
}

void SettingsGeneralSection::setLaunchAtLogin(bool enabled)
{
    const LoginItem item = LoginItem::mainApp();
    try {
        if (enabled)
            item.registerItem();
        else
            item.unregisterItem();
    } catch (const LoginItemError &error) {
        // Another program's entry under our name is not ours to change: the person is told
        // why the switch went back. Other failures are neither shown nor logged.
        if (error.kind() == LoginItemError::Kind::conflict && m_environment.showAlert)
            m_environment.showAlert(QStringLiteral("Couldn't turn on launch at login"), error.message());
        setLaunchAtLoginEnabled(item.status() == LoginItem::Status::enabled);
    } catch (...) {
        setLaunchAtLoginEnabled(item.status() == LoginItem::Status::enabled);
    }
}
