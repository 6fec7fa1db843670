#pragma once

#include <QString>

// The logging facade: one value per component, for one subsystem and category.
// emit() redacts the line and writes it to the system log, the in-memory ring and the
// log files, and hands "warn" and "error" lines to error telemetry. It never fails and
// never blocks the GUI thread on disk or network: the line is queued for the log's
// writer thread (see LogCenter). Any thread may emit.
class Log final {
public:
    static inline const QString appSubsystem = QStringLiteral("dev.orvalen.vantle");

    explicit Log(QString category);
    Log(QString subsystem, QString category);

    // `level` is "debug", "info", "warn" or "error"; anything else is logged as "info".
    void emit(const QString &level, const QString &message) const noexcept;

    const QString &subsystem() const { return m_subsystem; }
    const QString &category() const { return m_category; }

private:
    QString m_subsystem;
    QString m_category;
};
