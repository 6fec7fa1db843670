#pragma once

#include "Platform/RawEnum.h"

#include <QString>

#include <optional>

// Kind of a ledger category. Only committed and yours categories are tracked; sleep and
// unaccounted time are kept by the ledger itself.
enum class CategoryKind { committed, yours, sleep, unaccounted };

QString toRaw(CategoryKind kind);
template <>
std::optional<CategoryKind> fromRaw<CategoryKind>(const QString &raw);
