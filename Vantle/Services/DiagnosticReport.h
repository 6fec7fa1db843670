#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

// The diagnostic report: one zip holding
//   summary.json          the application, the system, the account state (never a token)
//                         and the ledger, as one JSON object
//   ring.log              the in-memory log ring, JSON lines
//   logs/vantle-<n>.log   the log files, oldest first
class DiagnosticReport final {
public:
    static inline const QString summaryName = QStringLiteral("summary.json");
    static inline const QString ringName = QStringLiteral("ring.log");
    static inline const QString logsFolder = QStringLiteral("logs/");
    // At most this much of the log files goes in; the newest files are kept.
    static constexpr qint64 maxLogBytes = 16 * 1024 * 1024;

    struct Contents {
        QJsonObject summary;
        QByteArray ring;
        QStringList logFiles; // full paths, oldest first
    };

    DiagnosticReport() = delete;

    // The zip's bytes; nothing when the zip could not be made, its module not loading among
    // the causes. A log file that vanished meanwhile is left out; one that is being written
    // ends at its last whole line.
    static std::optional<QByteArray> build(const Contents &contents);

    // The application and the system: name, version, platform, OS and kernel.
    static QJsonObject systemSummary();
    // `object` with every text value passed through the log's redaction, at any depth:
    // whatever a summary provider hands in, no token leaves in it.
    static QJsonObject redacted(const QJsonObject &object);
};
