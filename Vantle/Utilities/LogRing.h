#pragma once

#include "Vantle/Utilities/LogRecord.h"

#include <QList>

#include <deque>
#include <mutex>

// The newest log lines in memory, for the diagnostic report. Bounded by a number of
// lines and by their total length; the oldest lines leave first. Any thread may use it.
class LogRing final {
public:
    static constexpr qsizetype defaultLineLimit = 1000;
    static constexpr qsizetype defaultCharLimit = 1'000'000;

    explicit LogRing(qsizetype lineLimit = defaultLineLimit, qsizetype charLimit = defaultCharLimit);

    void append(LogRecord record);
    // Oldest first.
    QList<LogRecord> snapshot() const;
    // The lines as JSON lines, oldest first.
    QByteArray toJsonLines() const;
    qsizetype size() const;
    void clear();

private:
    mutable std::mutex m_mutex;
    std::deque<LogRecord> m_records;
    qsizetype m_chars = 0;
    qsizetype m_lineLimit;
    qsizetype m_charLimit;
};
