#pragma once

#include "Vantle/Utilities/LogFileSink.h"
#include "Vantle/Utilities/LogRecord.h"
#include "Vantle/Utilities/LogRing.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
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

    const LogRing &ring() const;
    LogRing &ring();
    QString directory() const;
    QStringList logFiles() const;
    // Lines dropped since the start: because the writer fell behind, because it had not
    // taken them when the log stopped, or because they came after.
    std::uint64_t droppedCount() const;

    // Later lines go to the files in `directory` with `limits` (tests; a moved state folder).
    void setFiles(QString directory, LogFileSink::Limits limits);
    // Receives each "warn" and "error" line on the writer thread; empty: none.
    void setTelemetrySink(TelemetrySink sink);

    // Stops the writer after writing what is queued. Waits at most `timeout` for the queue,
    // then drops what is left, the writer's own batch included, and waits at most
    // `batchTimeout` for the line it is writing (a writer stuck on a hung disk is left
    // behind, with everything it uses). Lines dropped so, and lines submitted later, are
    // counted. Only the first call does anything.
    void shutdown(std::chrono::milliseconds timeout = std::chrono::seconds(5),
                  std::chrono::milliseconds batchTimeout = std::chrono::seconds(1));

private:
    // Everything the writer uses: it owns a share, so a writer left behind at shutdown
    // never uses what the center freed.
    struct State;

    std::shared_ptr<State> m_state;
    std::thread m_writer;
};
