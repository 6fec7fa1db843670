#include "Platform/CalendarStore.h"

#include "Platform/EdsCalendarStore.h"

CalendarStoreError::CalendarStoreError(const QString &message, bool storeMissing)
    : std::runtime_error(message.toStdString())
    , m_storeMissing(storeMissing)
{
}

CalendarStore::CalendarStore(QObject *parent) : QObject(parent) {}

CalendarStore::~CalendarStore() = default;

std::shared_ptr<CalendarStore> CalendarStore::system()
{
    return std::make_shared<EdsCalendarStore>();
}
