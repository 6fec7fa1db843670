#include "Vantle/Utilities/LogCenter.h"

#include "Vantle/Utilities/DiagnosticLogger.h"
#include "Vantle/Utilities/Log.h"
#include "Vantle/Utilities/LogRedaction.h"

#include <QCoreApplication>
#include <QDateTime>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
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

struct Pending {
    qint64 timeMs;
    SystemLogLevel level;
    QString subsystem;
    QString category;
    QString message;
    bool keepDebug;
    // Cut to maxQueuedMessageLength before it was queued.
    bool cutShort = false;
};
} // namespace

struct LogCenter::State {
    State(Settings s) : settings(std::move(s)), ring(settings.ringLines, settings.ringChars) {}

    // Writer thread: takes batches until the log stops.
    void run();
    // Writes a batch; how many of its lines it took before the log stopped.
    std::size_t process(std::deque<Pending> &batch, std::unique_ptr<LogFileSink> &files);
    static QString finishedMessage(const QString &message, bool cutShort);

    mutable std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable drained;
    std::deque<Pending> queue;
    qsizetype queuedChars = 0;
    std::uint64_t submitted = 0;
    std::uint64_t processed = 0;
    std::uint64_t dropped = 0;
    std::uint64_t droppedUnreported = 0;
    // Set under the lock; also read without it, so that a line submitted after the stop
    // costs nothing but its count.
    std::atomic<bool> stopped{false};
    bool writerDone = false;
    Settings settings;
    std::uint64_t filesGeneration = 0;
    std::shared_ptr<const TelemetrySink> telemetry;
    LogRing ring;
    // The report of dropped lines: a copy, since the writer may outlive the facade's statics.
    const QString appSubsystem = Log::appSubsystem;
};

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
{
    if (!settings.keepDebug)
        settings.keepDebug = [] { return DiagnosticLogger::verboseActiveNow(); };
    m_state = std::make_shared<State>(std::move(settings));
    m_writer = std::thread([state = m_state] { state->run(); });
}

LogCenter::~LogCenter()
{
    shutdown();
    // Stopped by its own writer (a sink that ended the log): that thread ends on its own.
    if (m_writer.joinable())
        m_writer.detach();
}

void LogCenter::submit(SystemLogLevel level, const QString &subsystem, const QString &category,
                       const QString &message) noexcept
{
    State &s = *m_state;
    try {
        // After the stop nothing but the count is touched: the verbose rule behind
        // keepDebug may already be gone with the program's statics.
        if (s.stopped.load(std::memory_order_acquire)) {
            std::lock_guard lock(s.mutex);
            ++s.dropped;
            return;
        }
        const bool cutShort = message.size() > maxQueuedMessageLength;
        Pending pending{QDateTime::currentMSecsSinceEpoch(),
                        level,
                        subsystem,
                        category,
                        cutShort ? message.left(maxQueuedMessageLength) : message,
                        level != SystemLogLevel::debug || s.settings.keepDebug(),
                        cutShort};
        const qsizetype chars = pending.message.size();
        {
            std::lock_guard lock(s.mutex);
            if (s.stopped.load(std::memory_order_relaxed)) {
                ++s.dropped;
                return;
            }
            if (static_cast<qsizetype>(s.queue.size()) >= queueLineLimit || s.queuedChars + chars > queueCharLimit) {
                ++s.dropped;
                ++s.droppedUnreported;
                return;
            }
            s.queue.push_back(std::move(pending));
            s.queuedChars += chars;
            ++s.submitted;
        }
        s.wake.notify_one();
    } catch (...) {
        // Logging must never take its caller down.
    }
}

bool LogCenter::drain(std::chrono::milliseconds timeout)
{
    State &s = *m_state;
    std::unique_lock lock(s.mutex);
    const std::uint64_t target = s.submitted;
    return s.drained.wait_for(lock, timeout, [&] { return s.processed >= target || s.writerDone; });
}

const LogRing &LogCenter::ring() const
{
    return m_state->ring;
}

LogRing &LogCenter::ring()
{
    return m_state->ring;
}

QString LogCenter::directory() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->settings.directory;
}

QStringList LogCenter::logFiles() const
{
    return LogFileSink::files(directory());
}

std::uint64_t LogCenter::droppedCount() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->dropped;
}

void LogCenter::setFiles(QString directory, LogFileSink::Limits limits)
{
    std::lock_guard lock(m_state->mutex);
    m_state->settings.directory = std::move(directory);
    m_state->settings.fileLimits = limits;
    ++m_state->filesGeneration;
}

void LogCenter::setTelemetrySink(TelemetrySink sink)
{
    std::lock_guard lock(m_state->mutex);
    m_state->telemetry = sink ? std::make_shared<const TelemetrySink>(std::move(sink)) : nullptr;
}

void LogCenter::shutdown(std::chrono::milliseconds timeout, std::chrono::milliseconds batchTimeout)
{
    State &s = *m_state;
    if (s.stopped.load(std::memory_order_acquire))
        return;
    drain(timeout);
    bool done = false;
    {
        std::unique_lock lock(s.mutex);
        if (s.stopped.load(std::memory_order_relaxed))
            return;
        s.stopped.store(true, std::memory_order_release);
        // What the writer could not take in time is dropped, not written while the
        // program goes on tearing itself down.
        s.dropped += s.queue.size();
        s.queuedChars = 0;
        s.queue.clear();
        s.wake.notify_all();
        done = s.drained.wait_for(lock, batchTimeout, [&] { return s.writerDone; });
    }
    if (!m_writer.joinable() || m_writer.get_id() == std::this_thread::get_id())
        return;
    // A writer stuck on a hung disk must not hold the process at exit; it keeps its share
    // of the state.
    if (done)
        m_writer.join();
    else
        m_writer.detach();
}

void LogCenter::State::run()
{
    std::unique_ptr<LogFileSink> files;
    std::uint64_t filesGenerationSeen = ~std::uint64_t(0);
    for (;;) {
        std::deque<Pending> batch;
        std::uint64_t droppedToReport = 0;
        {
            std::unique_lock lock(mutex);
            wake.wait(lock, [&] { return stopped.load(std::memory_order_relaxed) || !queue.empty(); });
            if (queue.empty() && stopped.load(std::memory_order_relaxed))
                break;
            batch.swap(queue);
            queuedChars = 0;
            droppedToReport = std::exchange(droppedUnreported, 0);
            if (filesGenerationSeen != filesGeneration) {
                filesGenerationSeen = filesGeneration;
                files = std::make_unique<LogFileSink>(settings.directory, settings.fileLimits);
            }
        }
        if (droppedToReport > 0) {
            batch.push_back(Pending{QDateTime::currentMSecsSinceEpoch(), SystemLogLevel::info, appSubsystem,
                                    QStringLiteral("logging"),
                                    QStringLiteral("log_lines_dropped count=%1").arg(droppedToReport), true});
        }
        const auto count = static_cast<std::uint64_t>(batch.size()) - (droppedToReport > 0 ? 1 : 0);
        std::uint64_t written = 0;
        bool lost = false;
        try {
            written = std::min<std::uint64_t>(process(batch, files), count);
        } catch (...) {
            // A sink that throws loses this batch (the files all of it), never the writer. The
            // next batch reports it, with the drops this one was to report.
            lost = true;
        }
        {
            std::lock_guard lock(mutex);
            processed += count;
            dropped += count - written;
            if (lost)
                droppedUnreported += count + droppedToReport;
        }
        drained.notify_all();
    }
    {
        std::lock_guard lock(mutex);
        writerDone = true;
    }
    drained.notify_all();
}

QString LogCenter::State::finishedMessage(const QString &message, bool cutShort)
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

std::size_t LogCenter::State::process(std::deque<Pending> &batch, std::unique_ptr<LogFileSink> &files)
{
    const std::shared_ptr<SystemLogSink> system = SystemLog::sink();
    std::shared_ptr<const TelemetrySink> telemetryNow;
    {
        std::lock_guard lock(mutex);
        telemetryNow = telemetry;
    }
    QList<QByteArray> lines;
    lines.reserve(static_cast<qsizetype>(batch.size()));
    std::size_t done = 0;
    for (Pending &pending : batch) {
        // Once the log has stopped, the rest of the batch is dropped too: the program is
        // tearing itself down, and the writer may be running on without it.
        if (stopped.load(std::memory_order_acquire))
            break;
        ++done;
        LogRecord record{pending.timeMs, pending.level, std::move(pending.subsystem), std::move(pending.category),
                         finishedMessage(pending.message, pending.cutShort)};
        if (system)
            system->write(SystemLogEntry{record.level, record.subsystem, record.category, record.message});
        if (record.level == SystemLogLevel::warn || record.level == SystemLogLevel::error) {
            if (telemetryNow && *telemetryNow)
                (*telemetryNow)(record);
        }
        if (pending.keepDebug) {
            lines.append(record.toJsonLine());
            ring.append(std::move(record));
        }
    }
    if (files)
        files->write(lines);
    return done;
}
