#include "Platform/ModuleCalendarStore.h"

#include "Platform/AppModule.h"
#include "Platform/SystemLog.h"

#include <QPromise>

namespace {

// The module's lines take the application's road, as the meetings service's do.
void debugLine(const QString &message)
{
    SystemLog::write(SystemLogLevel::debug, QStringLiteral("dev.orvalen.vantle"), QStringLiteral("meetings"), message);
}

template <typename T>
QFuture<T> ready(T value)
{
    QPromise<T> promise;
    promise.start();
    promise.addResult(std::move(value));
    promise.finish();
    return promise.future();
}

} // namespace

std::shared_ptr<CalendarStore> CalendarStore::system()
{
    return std::make_shared<ModuleCalendarStore>();
}

ModuleCalendarStore::ModuleCalendarStore(QObject *parent) : CalendarStore(parent) {}

ModuleCalendarStore::~ModuleCalendarStore() = default;

CalendarStore *ModuleCalendarStore::store()
{
    if (CalendarStore *loaded = m_loaded.load())
        return loaded;
    if (m_unavailable.load())
        return nullptr;
    QString error;
    const auto create = reinterpret_cast<Factory>(AppModule::resolve(moduleName, factorySymbol, &error));
    if (create)
        m_store.reset(create(&debugLine));
    if (!m_store) {
        m_unavailable.store(true);
        SystemLog::write(SystemLogLevel::warn, QStringLiteral("dev.orvalen.vantle"), QStringLiteral("meetings"),
                         QStringLiteral("calendar store unavailable: ") + (create ? QStringLiteral("no store made") : error));
        return nullptr;
    }
    connect(m_store.get(), &CalendarStore::changed, this, &CalendarStore::changed);
    m_loaded.store(m_store.get());
    return m_store.get();
}

CalendarAuthorization ModuleCalendarStore::authorizationStatus() const
{
    if (const CalendarStore *loaded = m_loaded.load())
        return loaded->authorizationStatus();
    return m_unavailable.load() ? CalendarAuthorization::restricted : CalendarAuthorization::notDetermined;
}

QFuture<bool> ModuleCalendarStore::requestFullAccessToEvents()
{
    if (CalendarStore *inner = store())
        return inner->requestFullAccessToEvents();
    return ready(false);
}

void ModuleCalendarStore::rebuildSources()
{
    if (CalendarStore *inner = m_loaded.load())
        inner->rebuildSources();
}

QFuture<CalendarFetch> ModuleCalendarStore::events(QDateTime from, QDateTime to, QTimeZone zone)
{
    if (CalendarStore *inner = m_loaded.load())
        return inner->events(std::move(from), std::move(to), std::move(zone));
    if (!m_unavailable.load())
        return ready(CalendarFetch{});
    QPromise<CalendarFetch> promise;
    promise.start();
    promise.setException(std::make_exception_ptr(CalendarStoreError(QStringLiteral("no calendar store"), true)));
    promise.finish();
    return promise.future();
}
