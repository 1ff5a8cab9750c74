// The operation card's arithmetic, without a window: deriving the missing
// one of sum, price and quantity, the amount keys ('%', '+', '-'), and the
// month totals of a category read through bound parameters.
//
// Amounts are taken as 64-bit integers of 1/10000 (0 stands for an empty or
// zero field); derived values are written back as floating numbers, so the
// fields keep full precision.
#pragma once

#include "core/ZorbPost.h"

#include <optional>

namespace zorbel {

// The card's switches (settings of the main window).
struct TCardSwitches {
    bool QuantDefault = false; // an empty quantity becomes 1
    bool AutoSum = false;      // derive the missing one of three
    int AutoCor = 0;           // always derive: 0 none, 1 quantity, 2 price, 3 sum
};

// Steps 1 to 3 of the card's OK on the current row of Hist: the default
// quantity, the missing one of sum, price and quantity, and the field the
// switches always derive. SumField and QuantField are the mode's fields
// (Ct and Qdt for an expense, Dt and Qct for an income).
void DeriveOnOk(TDataSet &Hist, const QString &SumField, const QString &QuantField, TCardMode Mode,
                const TCardSwitches &Switches);

// The field the "=" button or key with this tag derives, and its value.
// Tags: 1 sum, 2 price, 3 quantity, 4 receiving amount, 5 cross rate, 6 rate.
// S, P, Q, T: sum, price, quantity, receiving amount in 1/10000.
// Multiply: the cross-rate button is down ("x").
struct TDerivedField {
    int Tag = 0;
    double Value = 0;
};
std::optional<TDerivedField> DeriveField(int Tag, TCardMode Mode, int64_t S, int64_t P, int64_t Q, int64_t T,
                                         bool Multiply);

// '%' or space: the value raised by Percent percent (an empty field gets
// Percent/100); nothing when Percent is 0 or the result is not positive.
std::optional<double> PercentStep(double Value, double Percent);
// '+' and '-': one up, or one down when above 1; nothing for a 0 result.
std::optional<double> StepUp(double Value);
std::optional<double> StepDown(double Value);

// The AutoCor value the '*' key toggles to for a field's tag (1 sum, 2
// price, 3 quantity); other tags keep it.
int ToggleAutoCor(int AutoCor, int Tag);

// Realised sums of a category in a month, in 1/10000: over the account, or
// (ByCurrency) over every account of the currency. LevelColumn is "level1",
// "level2" or "level3". False when the query could not be run.
struct TMonthSums {
    int64_t Dt = 0, Ct = 0, Qdt = 0, Qct = 0;
};
bool ReadMonthSums(TDm &Dm, const QString &LevelColumn, int CategoryId, bool ByCurrency, const QString &Currency,
                   int Account, int Year, int Month, TMonthSums &Sums);

} // namespace zorbel
