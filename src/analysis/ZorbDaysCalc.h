// The days after a given day (today) on which an account has operations,
// realised or planned: each day's income and expense and the running
// balance, which starts from the opening balance plus the realised
// operations up to and including that day. Sums are floating point.
#pragma once

#include "memtable/VemtMemTable.h"
#include "platform/rtl/DateTime.h"
#include "platform/sqltable/Database.h"

#include <optional>

namespace zorbel {

// Defines and opens (empty) TbDays: Date_Real "Дата", Dt "Приход",
// Ct "Расход", Rest "Остаток".
void OpenDaysTable(TVemtMemTable &TbDays);

// Empties TbDays and fills it with the days after StartDay of account
// AccountId whose opening balance is Beg. Returns the starting balance, or
// nothing when the realised sums could not be read (the balance then starts
// at 0). Leaves TbDays on its first row.
std::optional<double> FillDays(TDatabase &Db, int AccountId, double Beg, TDateTime StartDay, TVemtMemTable &TbDays);

} // namespace zorbel
