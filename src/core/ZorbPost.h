// TPosting: the road by which money moves in the ledger, without a window.
// It prepares a new operation row before the card is shown, writes the row
// after the card closed with OK, keeps the second leg of a transfer, deletes
// an operation (both legs of a transfer), copies one into future dates, moves
// one to another account and purges old history. The main window's commands
// are thin handlers over these routines.
//
// Invariants it keeps with every change:
//   - an account's Rest is its Beg plus its realised ('1') income minus
//     expense; balances move by differences in units of 1/10000, never by
//     summing the history again (except in the purge);
//   - a realised transfer is a pair: the sending leg (Level1 -1, sum in Ct,
//     Ref_Account the target) and the receiving leg in the target account
//     (Level1 -1, amount in Dt, Ref_Account the sender, the same Date_Create,
//     Kind '1'); a planned transfer has no receiving leg;
//   - every row it writes, both legs of a transfer included, carries the
//     year and month of its Date_Real in Yr and Mn, also after its date moved;
//   - every change that writes more than one row runs in one transaction:
//     after a failure part-way, every row and every balance is as before.
//
// It works on the data module's tables: Tb_Hist (the ledger, restricted by
// the main window's range) standing on the operation, Tb_Account on the
// current account, Tb_Items for the category rows.
#pragma once

#include "core/ZorbDm.h"
#include "core/ZorbHost.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace zorbel {

// What the card is entering: byte values as the main window keeps them.
enum class TCardMode : uint8_t { Idle = 0, Expense = 1, Income = 2, Transfer = 3 };

// A node of a category tree: its id, its tree level (0..2) and the ids above it.
struct TCategoryNode {
    int16_t Id = 0;
    int Level = 0;
    int16_t Parent = 0;      // level 1 and 2
    int16_t Grandparent = 0; // level 2
};

// The options that fill a new operation from the category's remembered values.
struct TMemOptions {
    bool Sum = false, Price = false, Quant = false, Prs = false, Frm = false, Comm = false, Rate = false;
    bool AnyRow() const { return Sum || Price || Quant || Prs || Frm || Comm; }
};

// The person and firm buttons of the card: while down their Tag goes into
// every new operation; posting an operation with a person or firm sets it.
struct TStickyRefs {
    bool WhoDown = false, WhereDown = false;
    int WhoTag = 0, WhereTag = 0;
};

// What the card hands over after OK.
struct TCardResult {
    int64_t BalanceDelta = 0;   // change of the current account's Rest, 1/10000
    int64_t TransferAmount = 0; // credited to a target in another currency, 1/10000; 0 otherwise
    std::optional<int> TargetAccount; // the card's chosen target account, any id (none: no target)
    Variant TargetRate;         // that account's Rate as it stands (null when it has none)
    bool TakeEntryDate = false; // ChDate visible and checked
    bool TakeCategory = false;  // ChCategory visible and checked
    bool HasNode = false;       // a node is selected in the visible tree
    TCategoryNode Node;         // that node
};

// What posting needs of the main window; the defaults let it run without one.
// Notices (a receiving leg not found) go through the notice host.
class TPostHost : public TNoticeHost {
public:
    // Adds Delta (1/10000) to the current account's Rest and refreshes the
    // totals; RecomputeOpening also the period's opening balance.
    virtual void UpdateBalances(TDm &dm, bool RecomputeOpening, int64_t Delta);
    // Restricts Tb_Hist to the ledger's account and period again.
    virtual void ApplyLedgerRange(TDm &dm) { (void)dm; }
};

// The card's balance change as it opens: the amount the row holds when it is
// edited (Ct for an expense or transfer, Dt for an income), else 0.
int64_t CardDeltaOnShow(TCardMode mode, bool editing, TDataSet &hist);
// The balance change on OK from the value of CardDeltaOnShow: a new or
// realised operation gives its full amount (minus an expense, plus an
// income), an edited realised one new minus old; a planned one keeps Delta.
int64_t CardDeltaOnOk(int64_t Delta, bool realiseFlag, TDataSet &hist);

// The range the copy into the future offers first: from the day after Today
// to the end of that day's month when it is the 14th or earlier, else to the
// end of the following month.
void DefaultFutureRange(TDateTime Today, TDateTime &From, TDateTime &To);

// Adds Delta (1/10000) to Rest of the account row Accounts stands on.
void AddToRest(TTable &Accounts, int64_t Delta);

// The lines of the account picker for moving an operation: every account
// but the current one, in the account table's order, as name = rest
// currency (",   курс=" rate when above 0), with its id. Keeps Tb_Account's row.
struct TAccountLine {
    QString Text;
    int Id = 0;
};
std::vector<TAccountLine> AccountPickerLines(TDm &dm);

// The rate to offer when moving an operation: the number after "курс=" in a
// line of the account picker; 0 when there is none.
double RateFromAccountLine(const QString &line);

// The average Rate of Account's operations on Day; 0 when it finds nothing
// or the average is null. A failed read raises.
double DayRate(TDm &dm, int Account, TDateTime Day);

class TPosting {
public:
    TPosting(TDm &dm, TPostHost &host) : dm_(dm), host_(host) {}
    TPosting(const TPosting &) = delete;
    TPosting &operator=(const TPosting &) = delete;

    // ---- state the main window keeps ----
    TCardMode CardMode = TCardMode::Idle;
    bool RealiseFlag = false;
    TDateTime EntryDate = 0;
    TMemOptions Mem;
    TStickyRefs Sticky;

    // "Today" for deciding realised against planned.
    static TDateTime Today();

    // The average Rate of the account's operations on the date; 0 when the
    // query fails, finds nothing or the average is null.
    double DayRate(int account, TDateTime date);

    // Writes Node's path into the current operation (Tb_Hist editing).
    static void SetOperationCategory(TDataSet &hist, const TCategoryNode &node);
    // The operation's path equals the node's (the transfer node -1 matches all).
    static bool CategoryMatchesRow(TDataSet &hist, const TCategoryNode &node);
    // The deepest non-null level of the current operation; -100 when none.
    static int OperationCategory(TDataSet &hist);

    // The card mode for editing the current operation (Idle: nothing to edit).
    TCardMode ModeForEdit();

    // Fills a new operation (Tb_Hist inserting, its category written): Kind
    // by the entry date, the category's remembered values, the day's rate.
    void PrepareNew();

    // Writes the operation after the card's OK, in one transaction: the row
    // with its year and month, the category's memory, the currency's rate,
    // the current account's Rest for a realised row and a transfer's
    // receiving leg. On failure everything is as before and the failure is
    // passed on (the row's edit cancelled).
    void PostOperation(bool isNew, const TCardResult &card);

    // Writes or updates the receiving leg of the sending leg just posted and
    // moves the target's Rest by the difference. Part of PostOperation.
    void WriteTransferPair(bool isNew, const TCardResult &card);

    // Deletes the current operation; a realised one gives its account (and,
    // for a transfer, the target) its amount back. The receiving leg of a
    // transfer is not deleted on its own (false).
    bool DeleteOperation();

    // Adds a planned copy of the current operation for every day (whole day
    // numbers). Returns the number written; a copy that fails is skipped.
    int CopyToFuture(const std::vector<int> &days);

    // Moves the current operation to the account Target, with Rate when it
    // is above 0. False when nothing was moved.
    bool MoveOperation(int target, double rate);

    // Folds (true) the realised operations before EntryDate into every
    // account's Beg, or sets (false) every Rest to Beg plus all realised
    // operations. True when every account row was posted; otherwise Failure,
    // when given, gets the reason of the first row refused.
    bool PurgeHistory(bool beforeEntryDate, QString *Failure = nullptr);

    // The whole purge as one step: fold, delete the operations before
    // EntryDate, recompute every Rest. False, with nothing changed and the
    // person told why, when a step failed.
    bool Purge();

private:
    TField *H(const char *name);
    // Positions Tb_Account on the account and runs f there, then goes back.
    void AtAccount(int account, const std::function<void()> &f);
    void RememberInCategory();
    // Gives every account of the current account's currency the posted
    // row's rate; the notice to give when it could not (empty when done).
    QString UpdateCurrencyRate();

    TDm &dm_;
    TPostHost &host_;
};

} // namespace zorbel
