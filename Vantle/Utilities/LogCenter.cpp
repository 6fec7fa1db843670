#include "Vantle/Utilities/LogCenter.h"

#include "Vantle/Utilities/DiagnosticLogger.h"
#include "Vantle/Utilities/Log.h"
#include "Vantle/Utilities/LogRedaction.h"

#include <QCoreApplication>
#include <QDateTime>

#include <utility>

namespace {
// Lines written below the application's facade (the account layer's) take its road too.
const bool routed = [] {
    SystemLog::setRouter([](const SystemLogEntry &entry) {
        LogCenter::shared().submit(entry.level, entry.subsystem, entry.category, entry.message);
    });
    return true;
}();

void shutdownShared()
{
    LogCenter::shared().shutdown();
}
} // namespace

LogCenter &LogCenter::shared()
{
    // Never destroyed: objects torn down at exit may still log; their lines are dropped
    // once the writer has stopped. The writer stops with the application object, while
    // everything it uses still exists; at exit, with statics going, it would not.
    static LogCenter *const instance = [] {
        auto *center = new LogCenter(Settings{});
        qAddPostRoutine(shutdownShared);
        return center;
    }();
    (void)routed;
    return *instance;
}

LogCenter::LogCenter(Settings settings)
    : m_settings(std::move(settings)), m_ring(m_settings.ringLines, m_settings.ringChars)
{
    if (!m_settings.keepDebug)
        m_settings.keepDebug = [] { return DiagnosticLogger::verboseActiveNow(); };
    m_writer = std::thread([this] { run(); });
}

LogCenter::~LogCenter()
{
    shutdown();
}

void LogCenter::submit(SystemLogLevel level, const QString &subsystem, const QString &category,
                       const QString &message) noexcept
{
    try {
        const bool cutShort = message.size() > maxQueuedMessageLength;
        Pending pending{QDateTime::currentMSecsSinceEpoch(),
                        level,
                        subsystem,
                        category,
                        cutShort ? message.left(maxQueuedMessageLength) : message,
                        level != SystemLogLevel::debug || m_settings.keepDebug(),
                        cutShort};
        const qsizetype chars = pending.message.size();
        {
            std::lock_guard lock(m_mutex);
            if (m_stop)
                return;
            if (static_cast<qsizetype>(m_queue.size()) >= queueLineLimit || m_queuedChars + chars > queueCharLimit) {
                ++m_dropped;
                ++m_droppedUnreported;
                return;
            }
            m_queue.push_back(std::move(pending));
            m_queuedChars += chars;
            ++m_submitted;
        }
        m_wake.notify_one();
    } catch (...) {
        // Logging must never take its caller down.
    }
}

bool LogCenter::drain(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    const std::uint64_t target = m_submitted;
    return m_drained.wait_for(lock, timeout, [&] { return m_processed >= target || m_writerDone; });
}

QString LogCenter::directory() const
{
    std::lock_guard lock(m_mutex);
    return m_settings.directory;
}

QStringList LogCenter::logFiles() const
{
    return LogFileSink::files(directory());
}

std::uint64_t LogCenter::droppedCount() const
{
    std::lock_guard lock(m_mutex);
    return m_dropped;
}

void LogCenter::setFiles(QString directory, LogFileSink::Limits limits)
{
    std::lock_guard lock(m_mutex);
    m_settings.directory = std::move(directory);
    m_settings.fileLimits = limits;
    ++m_filesGeneration;
}

void LogCenter::setTelemetrySink(TelemetrySink sink)
{
    std::lock_guard lock(m_mutex);
    m_telemetry = sink ? std::make_shared<const TelemetrySink>(std::move(sink)) : nullptr;
}

void LogCenter::shutdown(std::chrono::milliseconds timeout)
{
    drain(timeout);
    bool done = false;
    {
        std::unique_lock lock(m_mutex);
        m_stop = true;
        // What the writer could not take in time is dropped, not written while the
        // program goes on tearing itself down.
        m_queuedChars = 0;
        m_queue.clear();
        m_wake.notify_all();
        done = m_drained.wait_for(lock, std::chrono::seconds(1), [&] { return m_writerDone; });
    }
    if (!m_writer.joinable() || m_writer.get_id() == std::this_thread::get_id())
        return;
    // A writer stuck on a hung disk must not hold the process at exit.
    if (done)
        m_writer.join();
    else
        m_writer.detach();
}

void LogCenter::run()
{
    std::unique_ptr<LogFileSink> files;
    std::uint64_t filesGeneration = ~std::uint64_t(0);
    for (;;) {
        std::deque<Pending> batch;
        std::uint64_t droppedToReport = 0;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [&] { return m_stop || !m_queue.empty(); });
            if (m_queue.empty() && m_stop)
                break;
            batch.swap(m_queue);
            m_queuedChars = 0;
            droppedToReport = std::exchange(m_droppedUnreported, 0);
            if (filesGeneration != m_filesGeneration) {
                filesGeneration = m_filesGeneration;
                files = std::make_unique<LogFileSink>(m_settings.directory, m_settings.fileLimits);
            }
        }
        if (droppedToReport > 0) {
            batch.push_back(Pending{QDateTime::currentMSecsSinceEpoch(), SystemLogLevel::info, Log::appSubsystem,
                                    QStringLiteral("logging"),
                                    QStringLiteral("log_lines_dropped count=%1").arg(droppedToReport), true});
        }
        const auto count = static_cast<std::uint64_t>(batch.size()) - (droppedToReport > 0 ? 1 : 0);
        try {
            process(batch, files);
        } catch (...) {
            // A sink that throws loses this batch, never the writer.
        }
        {
            std::lock_guard lock(m_mutex);
            m_processed += count;
        }
        m_drained.notify_all();
    }
    {
        std::lock_guard lock(m_mutex);
        m_writerDone = true;
    }
    m_drained.notify_all();
}

QString LogCenter::finishedMessage(const QString &message, bool cutShort)
{
    // Redacted whole, then cut: a cut first could leave half an address or token that no
    // rule recognises any more.
    QString redacted = LogRedaction::redact(message);
    if (!cutShort)
        return LogRedaction::cut(redacted, maxMessageLength);
    // Cut short before it was queued. Where that cut would stay in the message (the rules
    // took much out), the word it went through goes too; elsewhere the cut below drops it.
    if (redacted.size() > maxMessageLength)
        return LogRedaction::cut(redacted, maxMessageLength);
    qsizetype end = redacted.size();
    while (end > 0 && !redacted.at(end - 1).isSpace())
        --end;
    redacted.truncate(end);
    return LogRedaction::markedCut(redacted, maxMessageLength);
}

void LogCenter::process(std::deque<Pending> &batch, std::unique_ptr<LogFileSink> &files)
{
    const std::shared_ptr<SystemLogSink> system = SystemLog::sink();
    std::shared_ptr<const TelemetrySink> telemetry;
    {
        std::lock_guard lock(m_mutex);
        telemetry = m_telemetry;
    }
    QList<QByteArray> lines;
    lines.reserve(static_cast<qsizetype>(batch.size()));
    for (Pending &pending : batch) {
        LogRecord record{pending.timeMs, pending.level, std::move(pending.subsystem), std::move(pending.category),
                         finishedMessage(pending.message, pending.cutShort)};
        if (system)
            system->write(SystemLogEntry{record.level, record.subsystem, record.category, record.message});
        if (record.level == SystemLogLevel::warn || record.level == SystemLogLevel::error) {
            if (telemetry && *telemetry)
                (*telemetry)(record);
        }
        if (pending.keepDebug) {
            lines.append(record.toJsonLine());
            m_ring.append(std::move(record));
        }
    }
    if (files)
        files->write(lines);
}
