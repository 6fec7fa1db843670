#include "AuditQuizOptions.h"

#include "VantleKit/Audit/AuditMath.h"

QList<AuditChipOption> hourOpts(std::span<const double> values, const QString &suffix)
{
    QList<AuditChipOption> options;
    options.reserve(qsizetype(values.size()));
    for (double value : values)
        options.append({value, AuditMath::fmtH(value) + suffix});
    return options;
}

QList<AuditChipOption> timeOpts(std::span<const double> values)
{
    QList<AuditChipOption> options;
    options.reserve(qsizetype(values.size()));
    for (double value : values)
        options.append({value, AuditMath::fmtTime(value)});
    return options;
}
