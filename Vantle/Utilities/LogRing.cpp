#include "Vantle/Utilities/LogRing.h"

#include <utility>

namespace {
qsizetype weight(const LogRecord &record)
{
    return record.message.size() + record.category.size() + record.subsystem.size();
}
} // namespace

LogRing::LogRing(qsizetype lineLimit, qsizetype charLimit)
    : m_lineLimit(std::max<qsizetype>(1, lineLimit)), m_charLimit(std::max<qsizetype>(1, charLimit))
{
}

void LogRing::append(LogRecord record)
{
    std::lock_guard lock(m_mutex);
    m_chars += weight(record);
    m_records.push_back(std::move(record));
    // The newest line always stays, even one longer than the whole budget.
    while (m_records.size() > 1
           && (static_cast<qsizetype>(m_records.size()) > m_lineLimit || m_chars > m_charLimit)) {
        m_chars -= weight(m_records.front());
        m_records.pop_front();
    }
}

QList<LogRecord> LogRing::snapshot() const
{
    std::lock_guard lock(m_mutex);
    return QList<LogRecord>(m_records.begin(), m_records.end());
}

QByteArray LogRing::toJsonLines() const
{
    QByteArray out;
    for (const LogRecord &record : snapshot())
        out.append(record.toJsonLine());
    return out;
}

qsizetype LogRing::size() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<qsizetype>(m_records.size());
}

void LogRing::clear()
{
    std::lock_guard lock(m_mutex);
    m_records.clear();
    m_chars = 0;
}
