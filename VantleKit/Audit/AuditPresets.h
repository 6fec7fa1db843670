#pragma once

#include "VantleKit/Audit/AuditTune.h"

#include <QStringList>

#include <array>

// The audit's option lists and limits.
namespace AuditPresets {

inline const QStringList dayNames{
    QStringLiteral("Mon"), QStringLiteral("Tue"), QStringLiteral("Wed"), QStringLiteral("Thu"),
    QStringLiteral("Fri"), QStringLiteral("Sat"), QStringLiteral("Sun"),
};
inline constexpr std::array<double, 7> sleepOptions{6, 6.5, 7, 7.5, 8, 8.5, 9};
inline constexpr std::array<double, 7> wakeOptions{5, 5.5, 6, 6.5, 7, 7.5, 8};
inline constexpr std::array<double, 6> leaveOptions{6.5, 7, 7.5, 8, 8.5, 9};
inline constexpr std::array<double, 7> backOptions{16, 16.5, 17, 17.5, 18, 18.5, 19};
inline constexpr std::array<double, 5> wfhHourOptions{6, 7, 8, 9, 10};
inline constexpr std::array<double, 6> upkeepOptions{1, 1.5, 2, 2.5, 3, 4};
inline constexpr std::array<double, 6> familyOptions{5, 10, 15, 20, 25, 30};
inline constexpr double penciledWorkHours = 45;
inline constexpr int maxYoursCategories = 5;
// The longest name, in user-perceived characters, that the audit's text inputs accept.
inline constexpr int maxNameLength = 40;

struct StepperRange {
    double min;
    double max;
    double step;
};

constexpr StepperRange draftStepper(DraftKey key)
{
    switch (key) {
    case DraftKey::addLen:
        return {0.5, 4, 0.5};
    case DraftKey::addOver:
        return {0, 2, 0.5};
    case DraftKey::addTimes:
        break;
    }
    return {1, 7, 1};
}

} // namespace AuditPresets
