// The program's money model in one place: amounts are kept as double and are
// added, subtracted and compared as 64-bit integers of 1/10000 (the scale of
// the runtime's Currency type). Converting multiplies in extended precision
// and rounds to the nearest unit with ties to even, the rule the balances
// stored in data files were summed by, so that a balance summed again from
// its operations matches the stored one: 0.03125 (312.5 units) becomes 312,
// 0.09375 becomes 938.
#pragma once

#include <QString>

#include <cmath>
#include <cstdint>

namespace zorbel {

// Units of 1/10000 in one whole amount.
constexpr int64_t MoneyScale = 10000;

// Rounds to the nearest integer with ties to even (half a unit goes to the
// even neighbour, never always away from zero).
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

// The bound of every amount, price, quantity and rate a person enters or an
// import reads: |value| < MoneyLimit. Below it a value with four decimals is
// exact in 1/10000 and survives the trip through the stored double unchanged
// (10^11 * 10^4 = 10^15 < 2^53), and tens of thousands of such values still
// add up inside int64. Beyond it (1e20 typed as a sum) the units overflow and
// a posted amount would move the balance by nothing.
constexpr double MoneyLimit = 1e11;

inline bool MoneyInRange(double value) { return std::isfinite(value) && std::fabs(value) < MoneyLimit; }

// The Russian text that refuses a typed value out of range.
QString MoneyRangeMessage();

// Raises EConvertError with MoneyRangeMessage() unless MoneyInRange(value).
// Every field and dialog that takes money, a price, a quantity or a rate
// checks the number it read through this one routine before storing it.
void CheckMoneyRange(double value);

} // namespace zorbel
