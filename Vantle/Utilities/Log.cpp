#include "Vantle/Utilities/Log.h"

#include <QDebug>

#include <utility>

Log::Log(QString category) : Log(appSubsystem, std::move(category)) {}

Log::Log(QString subsystem, QString category) : m_subsystem(std::move(subsystem)), m_category(std::move(category)) {}

void Log::emit(const QString &level, const QString &message) const noexcept
{
    // Placeholder sink until the journal, ring and file sinks stand.
    try {
        qInfo().noquote() << level << m_category << message;
    } catch (...) {
    }
}
