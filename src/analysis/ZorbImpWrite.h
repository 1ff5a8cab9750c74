// Step 3 of the import, without a window: the importable rows of the preview
// table become realised operations of the current account.
//
// The whole pass is one SQLite transaction: new people, firms and
// categories, widened category kinds, the operations and the account's
// stored balance commit together, and an error that ends the pass rolls all
// of it back. Inside the pass a single failed post (a person, a firm, a
// category or an operation) is cancelled and the pass goes on:
//   - a person or firm that cannot be created is left off the operation;
//   - a row whose category cannot be created or found is not written, so no
//     operation ever stands without the head of its category path;
//   - an operation that cannot be posted is not written.
// Rows not written are counted in Failed and their amounts stay out of the
// balance change, which sums exactly the operations written.
//
// A category marked as not found is first looked for at its place in the
// tree (its name at its level under the row's parent) and created there when
// absent, so two categories of one name under different parents stay two;
// a found one of the other kind is widened to '0' (both kinds).
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

namespace zorbel {

class TDm;
class TVemtMemTable;

struct TImportWriteResult {
    int Written = 0;          // operations posted
    int Failed = 0;           // importable rows not written
    int Refused = 0;          // rows with an amount whose categories are refused
    QString FirstWhy;         // the reason given for the first of those
    std::vector<int> WrittenRows; // record numbers (from 1) of the rows written, ascending
    int64_t IncomeUnits = 0;  // sum of the written incomes, 1/10000
    int64_t ExpenseUnits = 0; // sum of the written expenses, 1/10000
    bool CategoriesCreated = false;
    int64_t BalanceChange() const { return IncomeUnits - ExpenseUnits; }
};

// Writes the importable rows of tab (rows without an amount or with a
// broken category path are passed over) and adds BalanceChange to the
// current account's Rest. Progress gets the number of rows written so far.
// Raises (after rolling everything back) when the pass cannot go on; then
// no table holds anything of it. Requires: the data set open with a current
// account; tab opened by OpenImportTable. On return tab is on its first row.
TImportWriteResult WriteImport(TDm &dm, TVemtMemTable &tab, const std::function<void(int)> &progress = {});

} // namespace zorbel
