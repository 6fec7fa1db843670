#pragma once

#include "Platform/RawEnum.h"

#include <QHashFunctions>
#include <QString>

// A way of signing in to an account.
enum class OrvalenProvider { password, emailLink, google, apple, passkey };

QString toRaw(OrvalenProvider provider);
template <>
std::optional<OrvalenProvider> fromRaw<OrvalenProvider>(const QString &raw);

namespace OrvalenProviders {
inline constexpr OrvalenProvider allCases[] = {OrvalenProvider::password, OrvalenProvider::emailLink,
                                               OrvalenProvider::google, OrvalenProvider::apple,
                                               OrvalenProvider::passkey};
}

inline size_t qHash(OrvalenProvider provider, size_t seed = 0) noexcept
{
    return qHash(static_cast<int>(provider), seed);
}
