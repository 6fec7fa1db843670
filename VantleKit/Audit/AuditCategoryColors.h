#pragma once

#include <QString>

// The audit's category colours as the ledger stores them.
namespace AuditCategoryColors {

inline const QString work = QStringLiteral("#7C9EF5");
inline const QString upkeep = QStringLiteral("#C58BF2");
inline const QString people = QStringLiteral("#6FD1A6");
inline const QString activity = QStringLiteral("#F58BA0"); // every activity added on the dashboard
inline const QString yours = QStringLiteral("#F0A32A");    // every "yours" row

} // namespace AuditCategoryColors
