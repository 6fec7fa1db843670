#pragma once

#include <QString>

// Lengths and cuts of texts the user typed, counted in user-perceived characters
// (grapheme clusters): an emoji sequence, a flag or a letter with its combining marks
// counts once and is never split.
namespace AuditText {

int graphemeCount(const QString &text);

// The first `max` user-perceived characters of `text` (the whole text when it has no more;
// empty when max <= 0).
QString truncatedToGraphemes(const QString &text, int max);

} // namespace AuditText
