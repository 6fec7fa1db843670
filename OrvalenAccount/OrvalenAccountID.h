#pragma once

#include <QHashFunctions>
#include <QJsonValue>
#include <QString>

// An account's identifier at the identity service. Holds any text: decoding and
// construction never validate, so an identifier the service changes shape of
// still round-trips; isWellFormed() says whether it has today's shape.
struct OrvalenAccountID {
    QString raw;

    OrvalenAccountID() = default;
    explicit OrvalenAccountID(QString rawValue) : raw(std::move(rawValue)) {}

    // "oa_" + a lower-case version-7 UUID with the RFC 9562 variant, 39 characters.
    bool isWellFormed() const;
    QString description() const { return raw; }

    // Coded as a bare JSON string; throws OrvalenJSON::DecodingError for any other JSON type.
    static OrvalenAccountID fromJson(const QJsonValue &value);
    QJsonValue toJson() const { return raw; }

    bool operator==(const OrvalenAccountID &) const = default;
};

inline size_t qHash(const OrvalenAccountID &id, size_t seed = 0) noexcept { return qHash(id.raw, seed); }
