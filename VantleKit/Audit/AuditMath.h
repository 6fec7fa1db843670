#pragma once

#include "VantleKit/Audit/AuditActivity.h"
#include "VantleKit/Audit/AuditState.h"
#include "VantleKit/Audit/AuditSubmission.h"
#include "VantleKit/Audit/ImportedAudit.h"
#include "VantleKit/Audit/QuizAnswers.h"
#include "VantleKit/Audit/YoursCategoryDraft.h"

#include <QList>
#include <QString>

#include <optional>

// The audit's week arithmetic and text formatting. Everything is in hours; nothing here
// rounds unless it says so.
namespace AuditMath {

// Hours a week already spoken for: the activities, then work, upkeep and family.
double committed(const AuditState &state);
// The waking week minus what is committed; negative when over-committed.
double yoursHours(const AuditState &state);
double actsTotal(const QList<AuditActivity> &acts);
double weeklyWaking(const QuizAnswers &answers);
int dayCount(const QuizAnswers &answers);
double yoursTotal(const QList<YoursCategoryDraft> &rows);
// floor(x + 0.5): halves go upward (2.5 gives 3, -2.5 gives -2).
double jsRound(double x);

// The nearest half hour, ties upward.
double roundHalfHour(double hours);
// Hours as a whole number of half hours, ties upward. NaN gives 0 and values beyond the
// 64-bit range saturate, so a hostile import can never make this undefined.
qint64 halfHours(double hours);

// The work week the work answers give.
double deriveWork(const QuizAnswers &answers);
// Fingerprints of the answers a dashboard value derives from.
QString workKey(const QuizAnswers &answers);
// The shortest text that reads back as the same number, with ".0" on whole numbers.
QString numberKey(double value);

// "3½", "−½", "112": hours rounded to the half hour.
QString fmtH(double hours);
// "6:30 AM": an hour of day on the 12-hour clock.
QString fmtTime(double hour);

AuditSubmission buildSubmitBody(const AuditState &state, const QString &timezone);
// Reads "#a=" followed by base64url JSON; nothing on any failure.
std::optional<ImportedAudit> parseImportHash(const QString &text);

} // namespace AuditMath
