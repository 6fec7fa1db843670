#pragma once

#include <QString>

#include <optional>

// Enums with text raw values: each enum declares `QString toRaw(E)` and specialises
// `fromRaw<E>`, which yields nothing for a text that is no case's raw value.
// Raw values compare exactly (case-sensitive, no trimming).
template <typename E>
std::optional<E> fromRaw(const QString &raw);
