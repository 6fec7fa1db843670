#include "Platform/CalendarStore.h"

CalendarStoreError::CalendarStoreError(const QString &message, bool storeMissing)
    : std::runtime_error(message.toStdString())
    , m_storeMissing(storeMissing)
{
}

CalendarStore::CalendarStore(QObject *parent) : QObject(parent) {}

CalendarStore::~CalendarStore() = default;
