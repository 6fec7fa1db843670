#pragma once

#include "Platform/SystemLog.h"

// Entries sent to the systemd journal through libsystemd.
class JournalSystemLog final : public SystemLogSink {
public:
    void write(const SystemLogEntry &entry) noexcept override;

    // Sends one entry; 0 on success, else a negative errno (no journal socket: -ENOENT).
    static int send(const SystemLogEntry &entry) noexcept;
    // True when this process can reach a journal (its socket exists).
    static bool isAvailable();
};
