#pragma once

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QString>
#include <QUrl>

#include <chrono>
#include <optional>

class QNetworkAccessManager;

// Asks the identity service which region the user is in ("api/geo"), once per launch,
// and keeps the last answer in the user defaults: error telemetry starts off by default
// in the EU. A failed probe keeps the previous answer.
class GeoProbeClient final {
public:
    static inline const QString path = QStringLiteral("/api/geo");
    static inline const QString cachedIsEUKey = QStringLiteral("orvalen.error_telemetry_geo_is_eu");
    static constexpr std::chrono::seconds timeout{10};

    GeoProbeClient() = delete;

    // The cached answer; false when the region was never probed. GUI thread.
    static bool cachedIsEU();
    // The cached answer; nothing when the region was never probed. GUI thread.
    static std::optional<bool> cachedAnswer();

    // GET the identity service's "/api/geo"; a usable answer is cached and returned,
    // anything else returns nothing and keeps the cache. Never throws. GUI thread.
    static QCoro::Task<std::optional<bool>> probe(QUrl identityURL, QNetworkAccessManager *network = nullptr);

    // The answer's "is_eu" Boolean; nothing for any other body.
    static std::optional<bool> parseAnswer(const QByteArray &body);
};
