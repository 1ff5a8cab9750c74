// The accounts book's rules without a window: totals over the accounts, the
// account dialog's checks and its effect on the stored balance and the marks,
// deletion, the default and group marks, currency sums and renaming.
//
// An account row (Tb_Account) as these rules use it: ACCOUNT name, CURRENCY
// free text, REST stored balance, Beg opening amount (counted into REST),
// Rate units of the currency per conventional unit (empty or positive),
// C "!" on the one default account, A "+" on the group's accounts. Money is
// summed in units of 1/10000 (core/Money.h).
#pragma once

#include <QString>
#include <cstdint>
#include <functional>

namespace zorbel {

class TDm;

// The accounts book's state, recomputed after every change it makes.
struct TAccountTotals {
    int Count = 0;                 // accounts
    int GroupCount = 0;            // accounts with the group mark
    bool SeveralCurrencies = false;
    bool AllRatesKnown = true;     // every account has a non-zero rate
    int64_t RestSum = 0;           // sum of REST, units
    int64_t YeSum = 0;             // sum of REST / Rate, units
    QString Currency;              // the current account's currency
    QString Caption;               // the text of the totals panel
};

// Walks every account and returns the totals; the table stays on its current
// row. Marks C other than "!" are cleared. With Synchronise, the current
// account's default mark is taken from every other account, and every other
// account of its currency takes its rate. A pending edit of the table is
// posted first (a failing post cancels it); a failing post of one row cancels
// that row's change.
TAccountTotals RefreshAccountTotals(TDm &dm, bool Synchronise);

// Which field the account dialog's check points at.
enum class TAccountField { None, Name, Currency, Rate };
// Checks the account dialog's entries; returns the message to show ("" when
// they are acceptable) and in Field the edit to focus. An empty rate is
// allowed; a typed one must read as a number above 0 (either decimal
// separator accepted).
QString CheckAccountEntry(const QString &Name, const QString &Currency, const QString &RateText,
                          TAccountField &Field);

// What the account dialog remembers when it starts.
struct TAccountEdit {
    bool Adding = false;
    bool FirstAccount = false; // the table was empty
    int64_t KeptRest = 0, KeptBeg = 0;
    bool Default = false;      // ChDef's initial state
    bool Group = false;        // ChGroup's initial state
};
// Starts adding (inserts a row) or editing (puts the current row in edit).
TAccountEdit BeginAccountEdit(TDm &dm, bool Adding);
// Ends the dialog accepted: REST moves by the change of Beg, the marks follow
// the check boxes (the first account always becomes the default), the row is
// posted (a failure cancels). Then RefreshAccountTotals with synchronisation.
// Requires: the row is still in insert or edit state, its fields written.
TAccountTotals FinishAccountEdit(TDm &dm, const TAccountEdit &Edit, bool Default, bool Group);
// Ends the dialog cancelled: the insert or edit is cancelled and the totals
// recomputed with synchronisation.
TAccountTotals CancelAccountEdit(TDm &dm);

// Deletes the current account. Refused with a notice for the default account
// and for an account with transfers; an account with operations is deleted
// with them after Confirm (the warning text) answers true. The operations and
// the account go in one transaction. Returns true when the account was
// deleted; then the caller sets PackOnClose.
bool DeleteAccount(TDm &dm, const std::function<bool(const QString &)> &Confirm);

// Moves the default mark to the current account.
void MakeDefaultAccount(TDm &dm);
// Toggles the current account's group mark.
void ToggleGroupAccount(TDm &dm);

// Reopens Qacn (sums by currency), over all accounts or the group's; returns
// the sum of its ye column in units.
int64_t OpenCurrencySums(TDm &dm, bool GroupOnly);

// Renames currency Old to New on every account. Refused (false, after the
// notice "Уже есть такая валюта!") when an account already has New; empty or
// unchanged New does nothing. Both statements bind the names.
bool RenameCurrency(TDm &dm, const QString &Old, const QString &New);

// Stores a corrected balance typed as Text in the current account; false when
// the text does not read as a number or the post fails. Raises EConvertError
// (in Russian) for a number beyond the money range.
bool CorrectAccountRest(TDm &dm, const QString &Text);

} // namespace zorbel
