#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>

// The on-disk log: JSON lines in "vantle-<n>.log" files, <n> growing by one at each
// rotation. The newest file takes the lines until the next line would take it past the
// size limit; then a new file starts and the oldest beyond the file limit are deleted.
// A file that ends in a broken line (a crash, a full disk) gets a newline before the
// next line, so no JSON line is ever joined to another. A folder that cannot be made or
// a file that cannot be written drops lines and is tried again a little later; nothing
// is ever reported to the caller. Not thread-safe: the log writer thread alone uses it.
class LogFileSink final {
public:
    struct Limits {
        qint64 maxFileBytes = 1024 * 1024;
        int maxFiles = 5;
        // How long to wait after a failure before the folder or the file is tried again.
        std::chrono::milliseconds retryDelay{5000};
    };

    // "$XDG_STATE_HOME/vantle/logs" ("~/.local/state/vantle/logs" when unset).
    static QString defaultDirectory();
    static QString fileName(qint64 index);
    // The log files in `directory`, oldest first, as full paths.
    static QStringList files(const QString &directory);

    explicit LogFileSink(QString directory, Limits limits);
    LogFileSink(const LogFileSink &) = delete;
    LogFileSink &operator=(const LogFileSink &) = delete;

    // Appends whole lines, each ending in a newline. Returns how many were written.
    qsizetype write(const QList<QByteArray> &lines);

    const QString &directory() const { return m_directory; }
    qint64 droppedLines() const { return m_dropped; }

private:
    bool ensureOpen();
    bool open(qint64 index);
    bool writeChunk(const QByteArray &chunk, qsizetype lines);
    bool rotate();
    void prune();
    void fail();

    QString m_directory;
    Limits m_limits;
    QFile m_file;
    qint64 m_index = 0;
    qint64 m_size = 0;
    qint64 m_dropped = 0;
    std::chrono::steady_clock::time_point m_retryAt{};
};
