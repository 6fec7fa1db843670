#pragma once

#include "Vantle/Utilities/LogFileSink.h"
#include "Vantle/Utilities/LogRecord.h"
#include "Vantle/Utilities/LogRing.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// Where every log line goes. The caller only stamps the line and queues it; one writer
// thread redacts it and hands it to the system log, the in-memory ring, the log files
// and, for "warn" and "error", error telemetry. A caller never waits on the disk, the
// journal or the network: when the writer falls too far behind, new lines are dropped
// and counted, and a line saying how many follows once it catches up.
class LogCenter final {
public:
    // A message longer than this is cut (cleanly) once it is redacted.
    static constexpr qsizetype maxMessageLength = 16 * 1024;
    // A message longer than this is cut before it is queued, which bounds what waits for
    // the writer; the writer then drops the word the cut went through, since the cut may
    // have left half a secret that no rule recognises.
    static constexpr qsizetype maxQueuedMessageLength = 16 * maxMessageLength;
    // Lines and characters that may wait for the writer.
    static constexpr qsizetype queueLineLimit = 20'000;
    static constexpr qsizetype queueCharLimit = 8 * 1024 * 1024;

    struct Settings {
        QString directory = LogFileSink::defaultDirectory();
        LogFileSink::Limits fileLimits;
        qsizetype ringLines = LogRing::defaultLineLimit;
        qsizetype ringChars = LogRing::defaultCharLimit;
        // Whether "debug" lines are kept in the ring and the files right now; any thread
        // calls it. Empty: DiagnosticLogger's verbose rule.
        std::function<bool()> keepDebug;
    };
    using TelemetrySink = std::function<void(const LogRecord &)>;

    // The process's log. Never destroyed. Stopped (see shutdown()) when the application
    // object goes, before main() returns: a writer still running while the program's
    // statics are torn down would use them after they are gone.
    static LogCenter &shared();

    explicit LogCenter(Settings settings);
    ~LogCenter();
    LogCenter(const LogCenter &) = delete;
    LogCenter &operator=(const LogCenter &) = delete;

    // Queues one line. Never throws, never blocks on anything but a short lock.
    void submit(SystemLogLevel level, const QString &subsystem, const QString &category,
                const QString &message) noexcept;
    // Waits until every line submitted before the call has reached every sink; false
    // when `timeout` passed first. For the diagnostic report and tests, off the GUI thread
    // where the wait could be long.
    bool drain(std::chrono::milliseconds timeout = std::chrono::seconds(5));

    const LogRing &ring() const { return m_ring; }
    LogRing &ring() { return m_ring; }
    QString directory() const;
    QStringList logFiles() const;
    // Lines dropped because the writer fell behind, since the start.
    std::uint64_t droppedCount() const;

    // Later lines go to the files in `directory` with `limits` (tests; a moved state folder).
    void setFiles(QString directory, LogFileSink::Limits limits);
    // Receives each "warn" and "error" line on the writer thread; empty: none.
    void setTelemetrySink(TelemetrySink sink);

    // Stops the writer after writing what is queued. Waits at most `timeout` for the queue,
    // then drops what is left and lets the writer end its batch (a writer stuck on a hung
    // disk is left behind). Later lines are dropped.
    void shutdown(std::chrono::milliseconds timeout = std::chrono::seconds(5));

private:
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

    void run();
    static QString finishedMessage(const QString &message, bool cutShort);
    void process(std::deque<Pending> &batch, std::unique_ptr<LogFileSink> &files);

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_drained;
    std::deque<Pending> m_queue;
    qsizetype m_queuedChars = 0;
    std::uint64_t m_submitted = 0;
    std::uint64_t m_processed = 0;
    std::uint64_t m_dropped = 0;
    std::uint64_t m_droppedUnreported = 0;
    bool m_stop = false;
    bool m_writerDone = false;
    Settings m_settings;
    std::uint64_t m_filesGeneration = 0;
    std::shared_ptr<const TelemetrySink> m_telemetry;
    LogRing m_ring;
    std::thread m_writer;
};
