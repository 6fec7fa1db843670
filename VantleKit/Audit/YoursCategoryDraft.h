#pragma once

#include <QString>

// A named block of the user's own hours, as typed on the last step.
struct YoursCategoryDraft {
    QString name;
    double hours = 0; // hours a week

    bool operator==(const YoursCategoryDraft &) const = default;
};
