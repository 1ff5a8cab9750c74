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

// Units rounded to whole hundredths, ties to even: a figure the program
// computes (an average, a balance in the common unit) shown and written
// with two decimals as every amount a person enters is.
inline int64_t RoundUnitsToCents(long double units) { return RoundHalfEven(units / 100) * 100; }

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

// The bound of an account's stored balance (Rest, and Beg, into which the
// purge folds old operations), alone and with its planned operations:
// |balance| < BalanceLimit. A balance is kept as a double of whole units and
// read back in 1/10000; the read gives the very units back only while the
// double's spacing stays below 1/10000, which holds below 2^39 (about
// 5.5 * 10^11) and fails above it (from 2^39 on the spacing is 2^-13 > 10^-4,
// so some unit values share one double). Posting refuses any change that
// would take a balance past it, and the opening's check of stored values
// uses the same bound for Rest and Beg, so what posting accepts a later
// opening never calls impossible. Four amounts of MoneyLimit stay inside it.
constexpr double BalanceLimit = 549755813888.0; // 2^39
constexpr int64_t BalanceLimitUnits = int64_t(549755813888) * MoneyScale;

inline bool BalanceInRange(double value) { return std::isfinite(value) && std::fabs(value) < BalanceLimit; }
template <typename Int> constexpr bool BalanceUnitsInRange(Int units)
{
    return units < Int(BalanceLimitUnits) && units > -Int(BalanceLimitUnits);
}

// The Russian text that refuses a change taking the balance of the account
// named Account past BalanceLimit; WithPlanned: the balance with the
// account's planned operations.
QString BalanceRangeMessage(const QString &Account, bool WithPlanned);

// Raises EConvertError with MoneyRangeMessage() unless MoneyInRange(value).
// Every field and dialog that takes money, a price, a quantity or a rate
// checks the number it read through this one routine before storing it.
void CheckMoneyRange(double value);

} // namespace zorbel
