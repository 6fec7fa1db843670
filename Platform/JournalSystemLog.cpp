#include "Platform/JournalSystemLog.h"

#include <systemd/sd-journal.h>
#include <sys/uio.h>

#include <QFileInfo>

#include <cerrno>
#include <vector>

void JournalSystemLog::write(const SystemLogEntry &entry) noexcept
{
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
    return QFileInfo::exists(QStringLiteral("/run/systemd/journal/socket"));
}
