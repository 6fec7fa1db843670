#include "Platform/SystemLog.h"

#include "Platform/JournalSystemLog.h"

#include <mutex>
#include <utility>

namespace SystemLog {

namespace {
struct Slots {
    std::mutex mutex;
    std::shared_ptr<SystemLogSink> sink;
    std::shared_ptr<const Router> router;
};

// Never destroyed: lines may still be written while statics are torn down at exit.
Slots &slots()
{
    static auto *instance = new Slots;
    return *instance;
}

QByteArray field(const char *name, const QString &value)
{
    QByteArray bytes = value.toUtf8();
    if (bytes.contains('\0'))
        bytes.replace('\0', QByteArray());
    return QByteArray(name) + '=' + bytes;
}
} // namespace

int priority(SystemLogLevel level)
{
    switch (level) {
    case SystemLogLevel::debug: return 7;
    case SystemLogLevel::info: return 6;
    case SystemLogLevel::warn: return 4;
    case SystemLogLevel::error: return 3;
    }
    return 6;
}

QList<QByteArray> fields(const SystemLogEntry &entry)
{
    return {
        field("MESSAGE", entry.message),
        QByteArray("PRIORITY=") + QByteArray::number(priority(entry.level)),
        QByteArray("SYSLOG_IDENTIFIER=") + identifier,
        field("SUBSYSTEM", entry.subsystem),
        field("CATEGORY", entry.category),
    };
}

std::shared_ptr<SystemLogSink> sink()
{
    Slots &s = slots();
    std::lock_guard lock(s.mutex);
    if (!s.sink)
        s.sink = std::make_shared<JournalSystemLog>();
    return s.sink;
}

void setSink(std::shared_ptr<SystemLogSink> sink)
{
    Slots &s = slots();
    std::lock_guard lock(s.mutex);
    s.sink = std::move(sink);
}

void setRouter(Router router)
{
    Slots &s = slots();
    std::lock_guard lock(s.mutex);
    s.router = router ? std::make_shared<const Router>(std::move(router)) : nullptr;
}

void write(SystemLogLevel level, const QString &subsystem, const QString &category, const QString &message) noexcept
{
    try {
        std::shared_ptr<const Router> router;
        {
            Slots &s = slots();
            std::lock_guard lock(s.mutex);
            router = s.router;
        }
        const SystemLogEntry entry{level, subsystem, category, message};
        if (router)
            (*router)(entry);
        else
            sink()->write(entry);
    } catch (...) {
        // The system log is the last place a failure could be reported.
    }
}

} // namespace SystemLog
