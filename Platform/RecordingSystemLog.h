#pragma once

#include "Platform/SystemLog.h"

#include <mutex>

// Keeps every entry with the journal fields it would have been sent with: for tests.
class RecordingSystemLog final : public SystemLogSink {
public:
    struct Record {
        SystemLogEntry entry;
        QList<QByteArray> fields;

        // The value of one field ("MESSAGE", "PRIORITY", ...); empty when absent.
        QByteArray field(const QByteArray &name) const;
    };

    void write(const SystemLogEntry &entry) noexcept override;

    QList<Record> records() const;
    void clear();

private:
    mutable std::mutex m_mutex;
    QList<Record> m_records;
};
