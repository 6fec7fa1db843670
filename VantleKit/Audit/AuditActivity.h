#pragma once

#include <QString>

// A recurring activity added on the dashboard.
struct AuditActivity {
    QString name;
    double times = 0; // times a week
    double len = 0;   // hours each time
    double over = 0;  // lead-in and lead-out hours each time

    double weeklyHours() const { return times * (len + over); }

    bool operator==(const AuditActivity &) const = default;
};
