#include "Platform/RecordingSystemLog.h"

QByteArray RecordingSystemLog::Record::field(const QByteArray &name) const
{
    const QByteArray prefix = name + '=';
    for (const QByteArray &f : fields) {
        if (f.startsWith(prefix))
            return f.mid(prefix.size());
    }
    return {};
}

void RecordingSystemLog::write(const SystemLogEntry &entry) noexcept
{
    try {
        Record record{entry, SystemLog::fields(entry)};
        std::lock_guard lock(m_mutex);
        m_records.append(std::move(record));
    } catch (...) {
    }
}

QList<RecordingSystemLog::Record> RecordingSystemLog::records() const
{
    std::lock_guard lock(m_mutex);
    return m_records;
}

void RecordingSystemLog::clear()
{
    std::lock_guard lock(m_mutex);
    m_records.clear();
}
