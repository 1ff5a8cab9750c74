// Step 2 of the import, without a window: every line of the loaded text is
// parsed by the column map into a row of the preview table TabImp, with its
// categories, person and firm matched against the data set.
//
// TabImp fields, in order (the grid shows the first thirteen):
//   Date_Real  date        operation date (the fallback date when unreadable)
//   Itm1..Itm3 string 30   category names as placed on levels 1..3
//   Dt, Ct     float       income, expense amount
//   Price, Qdt, Qct float  price, quantities in and out
//   Pers, Firm string 30   person and firm names
//   Comment    string 200  note (as wide as the operations' comment)
//   Rate       float       rate
//   Level1..3  smallint    category id, LevelUnknown, LevelInconsistent or null
//   ID_Person, ID_Firm     person/firm id, LevelUnknown (not found) or null
//   rdate      boolean     False: the line's date was empty or unreadable
//                          and the fallback date stands; null otherwise
//   rCt        boolean     True: the line has no (readable) amount or holds
//                          an unreadable number; null otherwise
//   Why        string 400  why the line's categories are refused (Russian),
//                          null when they are not
//
// A negative figure under "Приход" is money going out: the row is an
// expense of that size (Ct), not an income.
#pragma once

#include "analysis/ZorbImpItems.h"
#include "analysis/ZorbImpParse.h"

#include <QStringList>
#include <cstdint>

namespace zorbel {

class TDataSet;
class TVemtMemTable;

// What step 2 reads besides the lines.
struct TImportSettings {
    TImportFormat Format;
    QStringList Columns;              // the column map, field 1 first
    QString DefPerson, DefFirm, DefComment; // defaults for lines without one
};

// Counts and sums of importable rows (amounts in units of 1/10000).
struct TImportSummary {
    int Importable = 0;
    int64_t IncomeUnits = 0;
    int64_t ExpenseUnits = 0;
};

// Adds the field definitions of TabImp to a closed table and opens it;
// titles, formats and the hidden columns are set on the fields.
void OpenImportTable(TVemtMemTable &tab);

// Appends one row per non-blank line to the open table (rows already there
// stay) and returns the counts of this run's importable rows. Requires: the
// table opened by OpenImportTable.
TImportSummary BuildImportPreview(TVemtMemTable &tab, const QStringList &lines, const TImportSettings &settings,
                                  const TImportCatalog &catalog, TDateTime fallbackDate);

// True for a row with an amount and every level LevelInconsistent + 1 or more.
bool ImportableRow(TDataSet &tab);
// Counts the importable rows of the whole table; the current row is kept.
TImportSummary CountImportable(TVemtMemTable &tab);

// "Всего / К импорту = 12 / 10 строк ... Приход = 1 234,50  Расход = 99,00"
QString ImportSummaryLine(int total, const TImportSummary &summary);

} // namespace zorbel
