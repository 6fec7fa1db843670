#include "VantleKit/Audit/AuditSubmission.h"

#include "VantleKit/Audit/AuditCategoryColors.h"
#include "VantleKit/Audit/AuditMath.h"

#include <QJsonArray>

QJsonObject AuditSubmission::requestBody(const VantJSONValue &answers, const VantJSONValue &derived,
                                         double sleepHours, double wakeTime, const QString &timezone,
                                         const QList<VantAuditCategoryInput> &categories)
{
    QJsonArray list;
    for (const VantAuditCategoryInput &category : categories)
        list.append(category.toJson());
    return QJsonObject{
        {QStringLiteral("answers"), answers.toJson()},
        {QStringLiteral("derived"), derived.toJson()},
        {QStringLiteral("sleep_hours"), sleepHours},
        {QStringLiteral("wake_time"), wakeTime},
        {QStringLiteral("timezone"), timezone},
        {QStringLiteral("categories"), list},
    };
}

QJsonObject AuditSubmission::requestBody() const
{
    return requestBody(answers, derived, sleepHours, wakeTime, timezone, categories);
}

namespace {

VantJSONValue answersObject(const AuditState &state)
{
    const QuizAnswers &s = state.s;
    VantJSONValue::Array days;
    for (const bool day : s.days)
        days.append(VantJSONValue::boolean(day));
    VantJSONValue::Array activities;
    for (const AuditActivity &activity : state.acts) {
        activities.append(VantJSONValue::object({
            {QStringLiteral("name"), VantJSONValue::string(activity.name)},
            {QStringLiteral("times"), VantJSONValue::number(activity.times)},
            {QStringLiteral("len"), VantJSONValue::number(activity.len)},
            {QStringLiteral("over"), VantJSONValue::number(activity.over)},
        }));
    }
    VantJSONValue::Array rows;
    for (const YoursCategoryDraft &row : state.yoursCats) {
        // The name exactly as typed: only the category list gets the trimmed one.
        rows.append(VantJSONValue::object({
            {QStringLiteral("name"), VantJSONValue::string(row.name)},
            {QStringLiteral("hours"), VantJSONValue::number(row.hours)},
        }));
    }
    return VantJSONValue::object({
        {QStringLiteral("sleep"), VantJSONValue::number(s.sleep)},
        {QStringLiteral("wake"), VantJSONValue::number(s.wake)},
        {QStringLiteral("days"), VantJSONValue::array(days)},
        {QStringLiteral("leave"), VantJSONValue::number(s.leave)},
        {QStringLiteral("back"), VantJSONValue::number(s.back)},
        {QStringLiteral("wfh"), VantJSONValue::boolean(s.wfh)},
        {QStringLiteral("wfhHours"), VantJSONValue::number(s.wfhHours)},
        {QStringLiteral("upkeepDay"), VantJSONValue::number(s.upkeepDay)},
        {QStringLiteral("familyWk"), VantJSONValue::number(s.familyWk)},
        {QStringLiteral("workPenciled"), VantJSONValue::boolean(s.workPenciled)},
        {QStringLiteral("activities"), VantJSONValue::array(activities)},
        {QStringLiteral("yoursCategories"), VantJSONValue::array(rows)},
    });
}

VantJSONValue derivedObject(const AuditState &state)
{
    const double waking = AuditMath::weeklyWaking(state.s);
    const double committed = AuditMath::committed(state);
    const double asleep = 7 * state.s.sleep;
    return VantJSONValue::object({
        {QStringLiteral("w"), VantJSONValue::number(waking)},
        {QStringLiteral("committed"), VantJSONValue::number(committed)},
        {QStringLiteral("yours"), VantJSONValue::number(waking - committed)},
        {QStringLiteral("sleep_weekly"), VantJSONValue::number(asleep)},
        {QStringLiteral("receipt"), VantJSONValue::object({
                                        {QStringLiteral("total"), VantJSONValue::number(168)},
                                        {QStringLiteral("asleep"), VantJSONValue::number(asleep)},
                                        {QStringLiteral("committed"), VantJSONValue::number(committed)},
                                    })},
    });
}

} // namespace

namespace AuditMath {

AuditSubmission buildSubmitBody(const AuditState &state, const QString &timezone)
{
    QList<VantAuditCategoryInput> categories;
    const auto add = [&categories](const QString &name, CategoryKind kind, const QString &color, double hours) {
        categories.append(VantAuditCategoryInput{
            name, kind, color, std::nullopt, halfHours(hours), categories.size(),
        });
    };
    add(QStringLiteral("Work"), CategoryKind::committed, AuditCategoryColors::work, state.v.work);
    add(QStringLiteral("Upkeep"), CategoryKind::committed, AuditCategoryColors::upkeep, state.v.upkeep);
    add(QStringLiteral("People"), CategoryKind::committed, AuditCategoryColors::people, state.v.family);
    for (const AuditActivity &activity : state.acts)
        add(activity.name, CategoryKind::committed, AuditCategoryColors::activity, activity.weeklyHours());
    for (const YoursCategoryDraft &row : state.yoursCats)
        add(row.name.trimmed(), CategoryKind::yours, AuditCategoryColors::yours, row.hours);

    return AuditSubmission{
        answersObject(state), derivedObject(state), state.s.sleep, state.s.wake, timezone, categories,
    };
}

} // namespace AuditMath
