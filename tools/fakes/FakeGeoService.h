#pragma once

#include "tools/fakes/FakeService.h"

#include <QString>

namespace Fakes {

// The identity service's region probe on loopback.
//
//   GET /api/geo  -> 200 {"is_eu": <bool>, "country": <two letters>}
class FakeGeoService : public FakeService {
    Q_OBJECT
public:
    static inline const QString geoPath = QStringLiteral("/api/geo");

    explicit FakeGeoService(QObject *parent = nullptr);

    QUrl identityURL() const { return baseUrl(); }
    // The region the answers name; outside the EU ("US") until set.
    void setRegion(bool isEU, const QString &country);

private:
    bool m_isEU = false;
    QString m_country = QStringLiteral("US");
};

} // namespace Fakes
