#pragma once

#include "Platform/RawEnum.h"

#include <QString>

#include <array>
#include <optional>

// The screens of the audit, in flow order.
enum class AuditScreen { sleep, work, upkeep, family, dash, yours };

inline constexpr std::array<AuditScreen, 6> allAuditScreens{
    AuditScreen::sleep, AuditScreen::work, AuditScreen::upkeep,
    AuditScreen::family, AuditScreen::dash, AuditScreen::yours,
};

QString toRaw(AuditScreen screen);
template <>
std::optional<AuditScreen> fromRaw<AuditScreen>(const QString &raw);
