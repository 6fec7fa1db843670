#pragma once

#include "VantleKit/Audit/AuditActivity.h"
#include "VantleKit/Audit/QuizAnswers.h"
#include "VantleKit/Audit/YoursCategoryDraft.h"

#include <QList>

#include <optional>

// An audit read back from an import text.
struct ImportedAudit {
    QuizAnswers s;
    QList<AuditActivity> acts;
    // Absent when the import carried no usable rows.
    std::optional<QList<YoursCategoryDraft>> yoursCats;

    bool operator==(const ImportedAudit &) const = default;
};
