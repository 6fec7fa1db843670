#pragma once

#include <QString>

// One option of a chip row: the value it stands for and the label it shows.
struct AuditChipOption {
    double value = 0;
    QString label;
};
