#pragma once

#include <QList>

// The answers of the four questions. Hours are hours; times of day are hours after
// midnight (6.5 is 6:30).
struct QuizAnswers {
    double sleep = 0;     // hours of sleep a night
    double wake = 0;      // wake-up time
    QList<bool> days;     // workdays, 7 entries, Monday first
    double leave = 0;     // leaves for work at
    double back = 0;      // back from work at
    bool wfh = false;     // works from home
    double wfhHours = 0;  // hours worked a day from home
    double upkeepDay = 0; // upkeep hours a day
    double familyWk = 0;  // hours a week with family and friends
    // The flat work week was taken instead of answering the work question.
    bool workPenciled = false;

    bool operator==(const QuizAnswers &) const = default;
};
