#include "tools/fakes/FakeGeoService.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace Fakes {

FakeGeoService::FakeGeoService(QObject *parent) : FakeService(parent)
{
    on(QStringLiteral("GET"), geoPath, [this](const RecordedRequest &) {
        const QJsonObject answer{{QStringLiteral("is_eu"), m_isEU}, {QStringLiteral("country"), m_country}};
        return ScriptedAnswer::json(200, QJsonDocument(answer).toJson(QJsonDocument::Compact));
    });
}

void FakeGeoService::setRegion(bool isEU, const QString &country)
{
    m_isEU = isEU;
    m_country = country;
}

} // namespace Fakes
