#include "OrvalenAccount/Internal/Semver.h"

#include <QList>
#include <QRegularExpression>
#include <QStringList>

namespace Semver {

namespace {
// Pieces beyond 64 bits cannot be told apart by the service either; they count as 0
// like any other unreadable piece.
QList<qint64> pieces(const QString &version)
{
    // Anchored to the whole piece: "$" alone would also match before a final newline.
    static const QRegularExpression number(QRegularExpression::anchoredPattern(QStringLiteral("[+-]?[0-9]+")));
    QList<qint64> out;
    for (const QString &piece : version.split(QLatin1Char('.'), Qt::SkipEmptyParts)) {
        qint64 value = 0;
        if (number.match(piece).hasMatch()) {
            bool ok = false;
            value = piece.toLongLong(&ok);
            if (!ok)
                value = 0;
        }
        out.append(value);
    }
    return out;
}
} // namespace

int compare(const QString &a, const QString &b)
{
    const QList<qint64> left = pieces(a);
    const QList<qint64> right = pieces(b);
    const qsizetype length = std::max(left.size(), right.size());
    for (qsizetype i = 0; i < length; ++i) {
        const qint64 l = i < left.size() ? left.at(i) : 0;
        const qint64 r = i < right.size() ? right.at(i) : 0;
        if (l != r)
            return l > r ? 1 : -1;
    }
    return 0;
}

} // namespace Semver
