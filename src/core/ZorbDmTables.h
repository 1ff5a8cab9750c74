// The seven tables of a data set in their current structure, as data: each
// table's stored fields (name, kind, width, required, label, display format,
// visibility), its primary key, its secondary index and its order. The data
// module builds its persistent fields from these rows; the template data set
// is created from them by the build tool (resources/template), so the program
// and the template can never disagree about a field.
#pragma once

#include "platform/dataset/DBTypes.h"

#include <span>

namespace zorbel {

class TDatabase;

struct TDmFieldDef {
    const char *Name;
    TFieldType Type;    // ftSmallint, ftString, ftFloat, ftDate or ftDateTime
    int Size;           // characters of a string field, else 0
    bool Required;
    const char *Label;  // display label, "" for the field name
    const char *Format; // display format, "" for none
    bool Visible;
};

struct TDmTableDef {
    const char *Component;   // the dataset's name in the data module
    const char *TableName;   // the stored table
    long Tag;                // identifier counter slot (0: no identifier)
    const char *Key;         // primary key fields, ';'-separated
    const char *IndexName;   // secondary index, "" for none
    const char *IndexFields; // its fields
    const char *OrderFields; // IndexFieldNames of the component, "" when ordered by IndexName or the key
    const char *OrderIndex;  // IndexName of the component, ""
    std::span<const TDmFieldDef> Fields;
};

// The tables in the order Tb_Account, Tb_Hist, Tb_Items, Tb_Person, Tb_Firm,
// Tb_Family, Tb_Log.
std::span<const TDmTableDef> DmTables();
// The table of a component name (case-insensitive), nullptr when none.
const TDmTableDef *DmTable(const char *component);

// Creates one table with its key and secondary index. Requires: db connected.
void CreateDmTable(TDatabase &db, const TDmTableDef &def);
// Creates the template data set in db: the seven tables, empty but for the
// transfer category (ID_ITM -1 "ПЕРЕВОД", level 0, kind '-'), which the
// first-run rows need so that the category roots get the identifiers 0 and 1.
void CreateTemplateDataSet(TDatabase &db);
// The columns of the index "Tb_Hist_Cover", in order: the account, the date
// and the kind lead, so that an account's sums up to a date read a range of
// it; the rest are every column the balance sums, the year by category, the
// month against limits and the results window's totals and opening sums of
// one account (amounts over the rate too) read, so that none of them reads
// the rows.
std::span<const char *const> HistCoverColumns();
// Creates, when missing, the index "Tb_Hist_Cover" over HistCoverColumns
// (an index of that name with other columns, as earlier versions made it,
// is replaced, or kept when the new one cannot be made); and the index
// "Tb_Hist_Item" over (Id_Account, Level3, Date_Real, Level2, Level1), which
// gives the card's history of one category of an account in date order: a
// third-level category straight from the index, one of a higher level by
// the account's entries without a third level, read in the index alone.
// And the index "Tb_Hist_Date" (HistDateIndexFields): every column of
// Tb_Hist but the comment and the creation stamp, led by the date, so that
// the results window's totals, dynamics and opening sums over a period of
// every account read the period's entries of the index alone, and its list
// comes in date order without a sort.
// Requires: db connected, Tb_Hist present.
void EnsureHistCoverIndex(TDatabase &db);

// The columns of "Tb_Hist_Date", in order, separated by ';'.
inline constexpr const char *HistDateIndexFields =
    "Date_Real;Level1;Level2;Level3;Id_Account;Kind;Dt;Ct;Rate;Qdt;Qct;Price;ID_Person;ID_Firm;Ref_Account;B;Yr;Mn";

} // namespace zorbel
