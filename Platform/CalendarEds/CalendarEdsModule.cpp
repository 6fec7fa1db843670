#include "Platform/CalendarEds/EdsCalendarStore.h"

#include <new>

// The module's one entry, which ModuleCalendarStore looks up by name: a new store, owned by
// the caller, or null. `log` takes the store's "debug" lines.
extern "C" Q_DECL_EXPORT CalendarStore *vantle_calendar_store_create(void (*log)(const QString &message))
{
    try {
        return new EdsCalendarStore(log);
    } catch (...) {
        return nullptr;
    }
}
