#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

// The system log: the systemd journal, one entry per line, under the identifier "vantle"
// with the subsystem and category as fields of their own, so that
//   journalctl --user -t vantle CATEGORY=auth
// finds the lines of one component. Any thread may write.
enum class SystemLogLevel { debug, info, warn, error };

struct SystemLogEntry {
    SystemLogLevel level = SystemLogLevel::info;
    QString subsystem;
    QString category;
    QString message;
};

// Where journal entries go: the journal itself, or a recording for tests.
class SystemLogSink {
public:
    virtual ~SystemLogSink() = default;
    // Never throws; a failure to write is dropped.
    virtual void write(const SystemLogEntry &entry) noexcept = 0;
};

namespace SystemLog {

// Never destroyed, as everything a log writer left behind at exit may still use.
inline const QByteArray &identifier = *new const QByteArray(QByteArrayLiteral("vantle"));

// The journal priority of a level: 7 debug, 6 info, 4 warning, 3 error.
int priority(SystemLogLevel level);
// The fields of the journal entry for `entry`, each "NAME=value": MESSAGE, PRIORITY,
// SYSLOG_IDENTIFIER, SUBSYSTEM and CATEGORY. NUL characters are dropped from the values.
QList<QByteArray> fields(const SystemLogEntry &entry);

// The sink journal entries go to: the journal unless replaced (tests give a recording
// one; null restores the journal).
std::shared_ptr<SystemLogSink> sink();
void setSink(std::shared_ptr<SystemLogSink> sink);

// Writes one line from code below the application's logging facade (the account layer).
// Once the application has installed its router the line takes the facade's road
// (redaction, log ring, log files, error telemetry, then the sink); before that it goes
// straight to the sink. Never throws.
using Router = std::function<void(const SystemLogEntry &)>;
void write(SystemLogLevel level, const QString &subsystem, const QString &category, const QString &message) noexcept;
void setRouter(Router router);

} // namespace SystemLog
