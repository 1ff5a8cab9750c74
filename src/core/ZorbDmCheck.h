// A data file comes from outside (mail, a stick, another computer): before the
// program writes to an unpacked data set it checks that the database is one
// the program itself writes, and it tells the user once about values that the
// columns cannot hold.
//
// The program's own database holds the seven tables with the columns, keys and
// indexes it creates (or an older structure that the upgrade on opening
// completes: a group of upgrade columns is either all there or all missing,
// and the comment fields may be narrower than 200 characters), and nothing
// else: no triggers, no views, no other tables or indexes, no constraints,
// defaults or generated columns. Its pages pass SQLite's quick check.
#pragma once

#include "platform/rtl/Exceptions.h"

#include <QString>

namespace zorbel {

class TSqliteDb;
struct TTableDef;

// The database is not the program's own; the message (Russian) says why.
ZORBEL_EXCEPTION(EDataSetRefused, EDatabaseError);

// Raises EDataSetRefused when the database is not the program's own. Reads
// only. With Pages false the pages' quick check (which reads every page) is
// left out. Requires: db open.
void CheckDataSetStructure(TSqliteDb &db, bool Pages = true);

// Values the columns cannot hold: text or blobs in number, identifier and date
// columns, identifiers outside 16 bits, dates outside years 1..9999, numbers
// whose size the money arithmetic in 1/10000 cannot hold (MoneyLimit; an
// account's Rest and Beg: BalanceLimit, the bound posting keeps) or that are
// infinite. Returns the Russian report naming each table that holds such
// rows with their count (and, for operations and accounts, the accounts), or
// an empty string when there are none. Reads only. Requires: the structure
// passed CheckDataSetStructure.
QString ImpossibleValuesReport(TSqliteDb &db);

// The rows of a stored table that hold such a value, as an SQL condition;
// empty when no column can hold one.
QString ImpossibleRowsCondition(const TTableDef &stored);

} // namespace zorbel
