#pragma once

#include "Platform/SystemLog.h"

#include <atomic>
#include <cstdint>

// Entries sent to the systemd journal through libsystemd.
// Where no journal listens (a container), lines are dropped without trying to send them;
// whether one listens is looked at again every ten seconds.
class JournalSystemLog final : public SystemLogSink {
public:
    void write(const SystemLogEntry &entry) noexcept override;

    // Sends one entry; 0 on success, else a negative errno (no journal socket: -ENOENT).
    static int send(const SystemLogEntry &entry) noexcept;
    // True when this process can reach a journal (its socket exists).
    static bool isAvailable();

private:
    std::atomic<std::int64_t> m_nextCheckMs{0};
    std::atomic<bool> m_available{false};
};
