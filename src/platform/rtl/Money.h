// The program's money model in one place: amounts are kept as double and are
// added, subtracted and compared as 64-bit integers of 1/10000 (the scale of
// the runtime's Currency type). Converting multiplies in extended precision
// and rounds to the nearest unit with ties to even, as the x87 unit did for
// the original: 0.03125 (312.5 units) becomes 312, 0.09375 becomes 938.
#pragma once

#include <cmath>
#include <cstdint>

namespace zorbel {

// Units of 1/10000 in one whole amount.
constexpr int64_t MoneyScale = 10000;

// The largest size an amount, price, quantity or rate may have: below it a
// value is exact to 1/10000, and millions of them still sum inside the
// 64-bit range (about 9.2e14 whole units).
constexpr double MoneyLimit = 1e12;

// Rounds to the nearest integer with ties to even (the original's Round).
// A value beyond the int64 range, or NaN, yields 0 rather than undefined
// behaviour.
inline int64_t RoundHalfEven(long double value)
{
    if (!(value > -9.2e18L && value < 9.2e18L))
        return 0;
    // llrint rounds in the current mode (to nearest, ties to even) as
    // nearbyint does, without saving and restoring the FPU environment.
    return std::llrint(value);
}

// Requires: |amount| below about 9.2e14 whole units.
inline int64_t MoneyToUnits(double amount)
{
    return RoundHalfEven(static_cast<long double>(amount) * MoneyScale);
}

inline double UnitsToMoney(int64_t units)
{
    return static_cast<double>(units) / static_cast<double>(MoneyScale);
}

} // namespace zorbel
