#include "Vantle/Utilities/Log.h"

#include "Vantle/Utilities/LogCenter.h"

#include <utility>

Log::Log(QString category) : Log(appSubsystem, std::move(category)) {}

Log::Log(QString subsystem, QString category) : m_subsystem(std::move(subsystem)), m_category(std::move(category)) {}

void Log::emit(const QString &level, const QString &message) const noexcept
{
    LogCenter::shared().submit(LogRecord::parseLevel(level), m_subsystem, m_category, message);
}
