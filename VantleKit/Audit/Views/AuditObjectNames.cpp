#include "AuditObjectNames.h"

#include <QObject>

QString AuditObjectNames::name(QStringView screen, QStringView control)
{
    return QStringLiteral("audit.") + screen.toString() + QLatin1Char('.') + control.toString();
}

QString AuditObjectNames::part(const QObject *owner, QStringView part)
{
    const QString base = owner->objectName();
    if (base.isEmpty())
        return QString();
    return base + QLatin1Char('.') + part.toString();
}
