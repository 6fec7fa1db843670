#pragma once

#include "tools/fakes/FakeService.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>

namespace Fakes {

// The identity service's diagnostic-report intake on loopback.
//
//   POST /diagnostics  multipart/form-data with a "report" file part holding a zip, and
//                      "Authorization: Bearer <session token>"
//     -> 201 {"code": <six-character support code>} once the zip opens and holds
//        "summary.json" (a JSON object with "app", "os", "account" and "ledger"),
//        "ring.log" and any "logs/vantle-<n>.log", every log line a JSON object;
//     -> 401 {"error": "unauthorized"} without an accepted bearer token;
//     -> 400 {"error": "bad_request", "message": <why>} for a body that is not such a form;
//     -> 422 {"error": "report_incomplete", "message": <why>} for a zip that is not such a
//        report.
class FakeDiagnosticsService : public FakeService {
    Q_OBJECT
public:
    static inline const QString diagnosticsPath = QStringLiteral("/diagnostics");

    struct Upload {
        QString code;
        QMap<QString, QByteArray> fields;  // the form's plain fields
        QMap<QString, QByteArray> members; // the zip's members by name
    };

    struct FormPart {
        QString name;
        QString fileName;
        QByteArray contentType;
        QByteArray data;
    };

    explicit FakeDiagnosticsService(QObject *parent = nullptr);

    QUrl identityURL() const { return baseUrl(); }
    // When set, only "Bearer <token>" is accepted; otherwise any non-empty bearer token is.
    void setAcceptedToken(const QString &token) { m_acceptedToken = token; }

    QList<Upload> uploads() const { return m_uploads; }

    // The parts of a multipart/form-data body; nothing when it is not one.
    static std::optional<QList<FormPart>> parseForm(const QByteArray &contentType, const QByteArray &body);
    // The members of a zip; nothing when it does not open.
    static std::optional<QMap<QString, QByteArray>> unzip(const QByteArray &zip);
    // Why the members are not a diagnostic report; nothing when they are.
    static std::optional<QString> reportProblem(const QMap<QString, QByteArray> &members);

private:
    ScriptedAnswer receive(const RecordedRequest &request);

    std::optional<QString> m_acceptedToken;
    QList<Upload> m_uploads;
};

} // namespace Fakes
