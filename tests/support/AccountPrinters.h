#pragma once

#include "OrvalenAccount/OrvalenAccountState.h"
#include "OrvalenAccount/OrvalenError.h"

#include <ostream>

// Readable test failures for the account layer's values.
inline void PrintTo(const OrvalenError &error, std::ostream *os)
{
    *os << error.message().toStdString();
}

inline void PrintTo(const OrvalenAccountState &state, std::ostream *os)
{
    *os << state.description().toStdString();
}

