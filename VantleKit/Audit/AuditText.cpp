#include "VantleKit/Audit/AuditText.h"

#include <QTextBoundaryFinder>

namespace AuditText {

int graphemeCount(const QString &text)
{
    if (text.isEmpty())
        return 0;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

QString truncatedToGraphemes(const QString &text, int max)
{
    if (max <= 0)
        return QString();
    // A cluster is at least one UTF-16 unit, so a text this short cannot hold more.
    if (text.size() <= max)
        return text;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    qsizetype position = 0;
    while (count < max) {
        const qsizetype next = finder.toNextBoundary();
        if (next == -1)
            return text;
        position = next;
        ++count;
    }
    return text.left(position);
}

} // namespace AuditText
