#include "Platform/SystemInfo.h"

#include <QRegularExpression>
#include <QStringList>
#include <QSysInfo>

namespace SystemInfo {

QString platform()
{
    return QStringLiteral("linux");
}

QString osName()
{
    // QSysInfo reads /etc/os-release on every call, and every analytics event asks.
    static const QString name = [] {
        const QString type = QSysInfo::productType();
        return type.isEmpty() || type == QLatin1String("unknown") ? QStringLiteral("linux") : type;
    }();
    return name;
}

QString kernelVersion()
{
    return QSysInfo::kernelVersion();
}

QString majorMinorPatch(const QString &version)
{
    static const QRegularExpression leading(QStringLiteral("^\\s*(\\d+)(?:\\.(\\d+))?(?:\\.(\\d+))?"));
    const QRegularExpressionMatch match = leading.match(version);
    if (!match.hasMatch())
        return QStringLiteral("0.0.0");
    QStringList parts;
    for (int i = 1; i <= 3; ++i) {
        const QString part = match.captured(i);
        parts.append(part.isEmpty() ? QStringLiteral("0") : QString::number(part.toULongLong()));
    }
    return parts.join(QLatin1Char('.'));
}

QString osVersion()
{
    static const QString version = [] {
        const QString product = QSysInfo::productVersion();
        if (!product.isEmpty() && product != QLatin1String("unknown") && product.front().isDigit())
            return majorMinorPatch(product);
        return majorMinorPatch(kernelVersion());
    }();
    return version;
}

} // namespace SystemInfo
