#pragma once

#include "OrvalenAccount/OrvalenAccountID.h"
#include "OrvalenAccount/OrvalenProvider.h"

#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

// The signed-in account.
struct OrvalenAccount {
    OrvalenAccountID orvalenAccountId;
    QString emailPrimary;
    std::optional<QList<OrvalenProvider>> providers; // absent: not known

    // Keys "orvalen_account_id", "email_primary", "providers". A provider the
    // client does not know fails the whole record. Throws OrvalenJSON::DecodingError.
    static OrvalenAccount fromJson(const QJsonObject &object);
    // Absent providers are not written; an empty list is.
    QJsonObject toJson() const;

    bool operator==(const OrvalenAccount &) const = default;
};

size_t qHash(const OrvalenAccount &account, size_t seed = 0) noexcept;
