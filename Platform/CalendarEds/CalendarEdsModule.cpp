#include "Platform/CalendarEds/EdsCalendarStore.h"

#include <new>

// The module's one entry, which ModuleCalendarStore looks up by name: a new store, owned by
// the caller, or null.
extern "C" Q_DECL_EXPORT CalendarStore *vantle_calendar_store_create()
{
    try {
        return new EdsCalendarStore();
    } catch (...) {
        return nullptr;
    }
}
