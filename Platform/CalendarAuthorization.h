#pragma once

// Whether the application may read the user's calendar events, numbered as the settings
// window and the stored analytics expect them.
//
// On this desktop the calendar store asks nobody: access is full as soon as the store
// answers, and restricted while no calendar store runs. Denied and write-only cannot come
// from the store; they are kept so that callers handle every status a store may report.
enum class CalendarAuthorization : int {
    notDetermined = 0,
    restricted = 1,
    denied = 2,
    fullAccess = 3,
    writeOnly = 4,
};
