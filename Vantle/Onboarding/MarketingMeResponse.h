#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// The contacts service's answer about the signed-in person's lists:
// {"lists": [{"list_slug": "...", "state": "..."}, ...]}. Every key is required.
struct MarketingMeResponse {
    struct MarketingListState {
        QString listSlug; // "list_slug"
        QString state;    // "state"; only "never_asked" means anything here
    };

    QList<MarketingListState> lists;

    // Nothing for a body that is not that object, misses a key or has a value of another type.
    static std::optional<MarketingMeResponse> fromJson(const QByteArray &body);
};

using MarketingListState = MarketingMeResponse::MarketingListState;
