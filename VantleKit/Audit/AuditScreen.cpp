#include "VantleKit/Audit/AuditScreen.h"

QString toRaw(AuditScreen screen)
{
    switch (screen) {
    case AuditScreen::sleep:
        return QStringLiteral("sleep");
    case AuditScreen::work:
        return QStringLiteral("work");
    case AuditScreen::upkeep:
        return QStringLiteral("upkeep");
    case AuditScreen::family:
        return QStringLiteral("family");
    case AuditScreen::dash:
        return QStringLiteral("dash");
    case AuditScreen::yours:
        return QStringLiteral("yours");
    }
    return QString();
}

template <>
std::optional<AuditScreen> fromRaw<AuditScreen>(const QString &raw)
{
    for (const AuditScreen screen : allAuditScreens) {
        if (toRaw(screen) == raw)
            return screen;
    }
    return std::nullopt;
}
