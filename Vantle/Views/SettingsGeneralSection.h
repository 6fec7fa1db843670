#pragma once

#include "Platform/CalendarAuthorization.h"
#include "Vantle/Views/SettingsEnvironment.h"
#include "Vantle/Views/SettingsSection.h"

#include <QPointer>

class MeetingsService;
class QLabel;

// The settings window's "General" section: launch at login, and today's meetings with the
// line about calendar access under it.
class SettingsGeneralSection final : public SettingsSection {
    Q_OBJECT
public:
    static inline const QString showMeetingsKey = QStringLiteral("vantle.showMeetings");

    // `meetings` is not owned and should outlive the section.
    SettingsGeneralSection(MeetingsService *meetings, SettingsEnvironment environment, QWidget *parent = nullptr);

    // The line under "Show today's meetings" for the switch and the calendar access.
    static QString calendarFootnote(bool showMeetings, CalendarAuthorization authorization);

    bool launchAtLoginEnabled() const { return m_launchAtLoginEnabled; }
    // Registers or unregisters the login item; on failure the switch follows the real status,
    // and another program's entry in the way is shown in the window's alert.
    void setLaunchAtLogin(bool enabled);
    // The window appears: the switch starts again from what is registered, and its change
    // handler runs as for any change (an entry of ours is registered once more).
    void windowShown();

private:
    void setLaunchAtLoginEnabled(bool value);
    bool showMeetings() const;
    void setShowMeetingsBinding(bool value);
    void syncCalendarFootnote();

    QPointer<MeetingsService> m_meetings;
    SettingsEnvironment m_environment;
    bool m_launchAtLoginEnabled = false;

    SettingsSwitch *m_launchAtLoginSwitch = nullptr;
    SettingsSwitch *m_showMeetingsSwitch = nullptr;
    QLabel *m_calendarFootnote = nullptr;
};
