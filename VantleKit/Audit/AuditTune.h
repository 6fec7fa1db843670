#pragma once

#include <array>

// The three dashboard values that the questions derive.
enum class TuneCat { work, upkeep, family };

inline constexpr std::array<TuneCat, 3> allTuneCats{TuneCat::work, TuneCat::upkeep, TuneCat::family};

// One T for each dashboard value.
template <typename T>
struct PerTune {
    T work{};
    T upkeep{};
    T family{};

    T &operator[](TuneCat cat)
    {
        switch (cat) {
        case TuneCat::upkeep:
            return upkeep;
        case TuneCat::family:
            return family;
        case TuneCat::work:
            break;
        }
        return work;
    }
    const T &operator[](TuneCat cat) const { return const_cast<PerTune &>(*this)[cat]; }

    bool operator==(const PerTune &) const = default;
};

// The three steppers of the add-activity box.
enum class DraftKey { addTimes, addLen, addOver };

struct DraftValues {
    double addTimes = 0;
    double addLen = 0;
    double addOver = 0;

    double &operator[](DraftKey key)
    {
        switch (key) {
        case DraftKey::addLen:
            return addLen;
        case DraftKey::addOver:
            return addOver;
        case DraftKey::addTimes:
            break;
        }
        return addTimes;
    }
    double operator[](DraftKey key) const { return const_cast<DraftValues &>(*this)[key]; }

    bool operator==(const DraftValues &) const = default;
};
