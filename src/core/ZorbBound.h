// The bounds every road into the ledger passes, checked where the rows are
// posted rather than in each window: the card, the "=" and AutoSum
// derivations, the transfer's receiving leg, packets, group edits, copies
// into the future and moves all post Tb_Hist and Tb_Account, so the data
// module's BeforePost events hold them all to the same two rules (Money.h):
//   - an amount, price, quantity or rate of an operation: MoneyInRange;
//   - an account's balance, alone (Rest, Beg) and with its planned
//     operations: |balance| < BalanceLimit.
// A refusal raises EConvertError with the Russian reason before the row is
// written, so the caller's transaction leaves nothing of the step.
#pragma once

#include <QString>
#include <cstdint>

namespace zorbel {

class TDataSet;
class TDm;
class TField;
class TTable;

// The amount fields of an operation row, in the order the card checks them.
inline constexpr const char *OperationAmountFields[] = {"Ct", "Dt", "Price", "Qdt", "Qct", "Rate"};

// The first amount field of Row's current record that holds a value outside
// MoneyInRange; nullptr when every one is null or in range. Row must have
// the fields of OperationAmountFields.
TField *AmountOutOfRange(TDataSet &Row);

// The exact sum of Dt - Ct over the planned operations (Kind above '1') of
// Account, in units; from the day sums when they can answer, else read row
// by row.
__int128 PlannedUnits(TDm &Dm, int Account);

// Tb_Hist's BeforePost: refuses an amount outside MoneyInRange, and a
// planned row, new, edited or leaving for another account, that would take
// an account's balance with its planned operations past BalanceLimit (a
// change that brings an already larger one nearer passes).
void CheckOperationRow(TDm &Dm, TTable &Hist);

// Tb_Hist's BeforeDelete: the same for a planned row going away.
void CheckOperationDelete(TDm &Dm, TTable &Hist);

// Tb_Account's BeforePost: refuses a Rest or Beg, or a Rest with the
// account's planned operations, past BalanceLimit, unless the value is the
// stored one or nearer to zero than it (so a file written before keeps
// being edited and repaired).
void CheckAccountRow(TDm &Dm, TTable &Accounts);

} // namespace zorbel
