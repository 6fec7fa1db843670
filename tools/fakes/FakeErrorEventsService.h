#pragma once

#include "tools/fakes/FakeService.h"

#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

namespace Fakes {

// The identity service's error-telemetry intake on loopback.
//
//   POST /api/error-events  {"app_slug", "platform", "app_version", "os_version",
//                            "install_id", "dropped", "events": [{"time", "level",
//                            "subsystem", "category", "message"}, ...]}
//                           -> 202 {"accepted": <number of events>}; any other body -> 400
//                           {"error": "invalid_payload", "message": <why>}
class FakeErrorEventsService : public FakeService {
    Q_OBJECT
public:
    static inline const QString eventsPath = QStringLiteral("/api/error-events");

    explicit FakeErrorEventsService(QObject *parent = nullptr);

    QUrl identityURL() const { return baseUrl(); }
    // Every accepted batch, in order of arrival.
    QList<QJsonObject> batches() const { return m_batches; }
    // The events of every accepted batch, in order.
    QList<QJsonObject> events() const;

    // Why the service would refuse `body`; nothing when it takes it.
    static std::optional<QString> batchProblem(const QByteArray &body);

private:
    QList<QJsonObject> m_batches;
};

} // namespace Fakes
