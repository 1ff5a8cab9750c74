// The days after a given day (today) on which an account has operations,
// realised or planned: each day's income and expense and the running
// balance, which starts from the opening balance plus the realised
// operations up to and including that day. Every sum is added in units of
// 1/10000 (Money.h), so a balance run over many days keeps its cents.
#pragma once

#include "core/ZorbSums.h"
#include "memtable/VemtMemTable.h"
#include "platform/rtl/DateTime.h"
#include "platform/sqltable/Database.h"

#include <cstdint>

namespace zorbel {

// Defines and opens (empty) TbDays: Date_Real "Дата", Dt "Приход",
// Ct "Расход", Rest "Остаток".
void OpenDaysTable(TVemtMemTable &TbDays);

// Empties TbDays and fills it with the days after StartDay of account
// AccountId whose opening balance is Beg. Returns the starting balance in
// units. Leaves TbDays on its first row.
// On a failed read: raises, with TbDays left empty, so no balance computed
// from a part of the rows is ever listed. Sums, when given and able to
// answer, gives the realised operations up to StartDay instead of a query
// over every operation of the account.
int64_t FillDays(TDatabase &Db, int AccountId, double Beg, TDateTime StartDay, TVemtMemTable &TbDays,
                 THistSums *Sums = nullptr);

} // namespace zorbel
