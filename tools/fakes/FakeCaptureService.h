#pragma once

#include "tools/fakes/FakeService.h"

#include <QJsonObject>
#include <QList>
#include <QString>

namespace Fakes {

// The analytics capture service on loopback.
//
//   POST /capture/  {"api_key", "event", "distinct_id", "properties"?, "timestamp"?}
//                   -> 200 {"status": 1}; a body that is not such an object -> 400
//                   {"error": "invalid_payload"}; a key other than the accepted one -> 401
//                   {"error": "invalid_api_key"}
class FakeCaptureService : public FakeService {
    Q_OBJECT
public:
    static inline const QString capturePath = QStringLiteral("/capture/");

    explicit FakeCaptureService(QObject *parent = nullptr);

    // The address the application is given as its analytics service.
    QUrl analyticsURL() const { return baseUrl(); }
    // When set, only this project key is accepted; otherwise any non-empty one is.
    void setAcceptedKey(const QString &key) { m_acceptedKey = key; }

    // Every accepted event body, in order of arrival.
    QList<QJsonObject> events() const { return m_events; }
    QStringList eventNames() const;

private:
    ScriptedAnswer capture(const RecordedRequest &request);

    QString m_acceptedKey;
    QList<QJsonObject> m_events;
};

} // namespace Fakes
