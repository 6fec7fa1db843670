#pragma once

#include "Platform/CalendarStore.h"

#include <atomic>
#include <memory>

// The desktop's calendar store as the application holds it: the real store lives in the
// module "vantle-calendar-eds" (Evolution Data Server and everything it pulls in), loaded
// the first time access is requested, so that a person who never shows the meetings pays
// nothing for them. Until then the status is not determined and nothing is loaded.
//
// A module that cannot be loaded means no calendar store: one "warn" line in the meetings
// log, the status restricted, access not granted and every fetch failing as a missing store.
class ModuleCalendarStore final : public CalendarStore {
    Q_OBJECT
public:
    static inline const QString moduleName = QStringLiteral("vantle-calendar-eds");
    // extern "C" CalendarStore *vantle_calendar_store_create(DebugLog log): a new store,
    // owned by the caller, that writes what it notices (a calendar unavailable, an event
    // that cannot be read) as "debug" lines through `log`, which any thread may call.
    static inline const char *const factorySymbol = "vantle_calendar_store_create";
    using DebugLog = void (*)(const QString &message);
    using Factory = CalendarStore *(*)(DebugLog log);

    explicit ModuleCalendarStore(QObject *parent = nullptr);
    ~ModuleCalendarStore() override;

    CalendarAuthorization authorizationStatus() const override;
    QFuture<bool> requestFullAccessToEvents() override;
    void rebuildSources() override;
    QFuture<CalendarFetch> events(QDateTime from, QDateTime to, QTimeZone zone) override;

    // Whether the module's store is in use.
    bool isLoaded() const { return m_loaded.load() != nullptr; }

private:
    // The module's store, loaded on the first call; null when it cannot be.
    CalendarStore *store();

    std::unique_ptr<CalendarStore> m_store;
    std::atomic<CalendarStore *> m_loaded = nullptr;
    std::atomic<bool> m_unavailable = false;
};
