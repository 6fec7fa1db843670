#include "VantleKit/Audit/AuditMath.h"

#include "VantleKit/Audit/AuditPresets.h"
#include "VantleKit/Audit/AuditText.h"
#include "VantleKit/VantJSONValue.h"

#include <QByteArray>

namespace AuditMath {

namespace {

std::optional<double> numberMember(const VantJSONValue &object, const QString &key)
{
    const std::optional<VantJSONValue> value = object.member(key);
    return value ? value->numberValue() : std::nullopt;
}

// A text member; nothing as well when it holds half of a surrogate pair (a JSON escape can
// name one), which is no text and must not travel back to the service.
std::optional<QString> stringMember(const VantJSONValue &object, const QString &key)
{
    const std::optional<VantJSONValue> value = object.member(key);
    std::optional<QString> text = value ? value->stringValue() : std::nullopt;
    if (text && !text->isValidUtf16())
        return std::nullopt;
    return text;
}

bool boolMemberOrFalse(const VantJSONValue &object, const QString &key)
{
    const std::optional<VantJSONValue> value = object.member(key);
    return value && value->boolValue().value_or(false);
}

std::optional<VantJSONValue::Array> arrayMember(const VantJSONValue &object, const QString &key)
{
    const std::optional<VantJSONValue> value = object.member(key);
    return value ? value->arrayValue() : std::nullopt;
}

} // namespace

std::optional<ImportedAudit> parseImportHash(const QString &text)
{
    const QString prefix = QStringLiteral("#a=");
    if (!text.startsWith(prefix))
        return std::nullopt;
    QString encoded = text.mid(prefix.size());
    encoded.replace(QLatin1Char('-'), QLatin1Char('+')).replace(QLatin1Char('_'), QLatin1Char('/'));
    while (encoded.size() % 4 != 0)
        encoded += QLatin1Char('=');
    // Anything outside the base64 alphabet (whitespace and non-ASCII included) fails the
    // decoding below rather than being skipped.
    const auto decoded =
        QByteArray::fromBase64Encoding(encoded.toUtf8(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    const std::optional<VantJSONValue> root = VantJSONValue::decode(*decoded);
    if (!root)
        return std::nullopt;
    const std::optional<VantJSONValue> answers = root->member(QStringLiteral("answers"));
    if (!answers || answers->kind() != VantJSONValue::Kind::object)
        return std::nullopt;

    ImportedAudit imported;
    QuizAnswers &s = imported.s;
    const struct {
        const char *key;
        double *field;
    } numbers[] = {
        {"sleep", &s.sleep},         {"wake", &s.wake},           {"leave", &s.leave},
        {"back", &s.back},           {"wfhHours", &s.wfhHours},   {"upkeepDay", &s.upkeepDay},
        {"familyWk", &s.familyWk},
    };
    for (const auto &number : numbers) {
        const std::optional<double> value = numberMember(*answers, QString::fromLatin1(number.key));
        if (!value)
            return std::nullopt;
        *number.field = *value;
    }
    const std::optional<VantJSONValue::Array> days = arrayMember(*answers, QStringLiteral("days"));
    if (!days || days->size() != 7)
        return std::nullopt;
    for (const VantJSONValue &day : *days)
        s.days.append(day.boolValue().value_or(false));
    s.wfh = boolMemberOrFalse(*answers, QStringLiteral("wfh"));
    s.workPenciled = boolMemberOrFalse(*answers, QStringLiteral("workPenciled"));

    if (const auto activities = arrayMember(*answers, QStringLiteral("activities"))) {
        for (const VantJSONValue &element : *activities) {
            const std::optional<QString> name = stringMember(element, QStringLiteral("name"));
            const std::optional<double> times = numberMember(element, QStringLiteral("times"));
            const std::optional<double> len = numberMember(element, QStringLiteral("len"));
            const std::optional<double> over = numberMember(element, QStringLiteral("over"));
            if (!name || !times || !len || !over)
                continue;
            imported.acts.append(AuditActivity{
                AuditText::truncatedToGraphemes(*name, AuditPresets::maxNameLength), *times, *len, *over,
            });
        }
    }

    if (const auto rows = arrayMember(*answers, QStringLiteral("yoursCategories"))) {
        QList<YoursCategoryDraft> drafts;
        for (const VantJSONValue &element : *rows) {
            if (drafts.size() == AuditPresets::maxYoursCategories)
                break;
            const std::optional<QString> name = stringMember(element, QStringLiteral("name"));
            const std::optional<double> hours = numberMember(element, QStringLiteral("hours"));
            if (name && hours)
                drafts.append(YoursCategoryDraft{*name, *hours});
        }
        if (!drafts.isEmpty())
            imported.yoursCats = drafts;
    }
    return imported;
}

} // namespace AuditMath
