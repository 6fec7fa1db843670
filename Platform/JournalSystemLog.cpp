#include "Platform/JournalSystemLog.h"

#include <systemd/sd-journal.h>
#include <sys/uio.h>

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <vector>

void JournalSystemLog::write(const SystemLogEntry &entry) noexcept
{
    using namespace std::chrono;
    const std::int64_t now = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    // libsystemd drops a line quietly when no journal listens, after trying to reach it;
    // looking for the socket now and then is far cheaper than trying for every line.
    if (now >= m_nextCheckMs.load(std::memory_order_relaxed)) {
        m_available.store(isAvailable(), std::memory_order_relaxed);
        m_nextCheckMs.store(now + 10'000, std::memory_order_relaxed);
    }
    if (m_available.load(std::memory_order_relaxed))
        send(entry);
}

int JournalSystemLog::send(const SystemLogEntry &entry) noexcept
{
    try {
        // sd_journal_sendv takes each field whole, so a message may hold newlines and
        // "%" without any formatting getting in the way.
        const QList<QByteArray> fields = SystemLog::fields(entry);
        std::vector<iovec> vectors;
        vectors.reserve(static_cast<std::size_t>(fields.size()));
        for (const QByteArray &f : fields)
            vectors.push_back(iovec{const_cast<char *>(f.constData()), static_cast<std::size_t>(f.size())});
        return sd_journal_sendv(vectors.data(), static_cast<int>(vectors.size()));
    } catch (...) {
        return -ENOMEM;
    }
}

bool JournalSystemLog::isAvailable()
{
    return ::access("/run/systemd/journal/socket", F_OK) == 0;
}
