// A small data set of the program's seven tables in a temporary work folder:
// Cyrillic names (Ё, lower-case first letters), five accounts in three
// currencies, a transfer pair, realised and planned operations, nulls in
// rates, comments, persons and dates. Tests write their expectations by hand
// from the rows below.
//
// TB_ACCOUNT  id account      currency rest   C   A   rate beg
//             1  Кошелёк      руб      1500   !   +   1    1000
//             2  Банк Ёлка    руб      20000      +   1    0
//             3  Доллары      $        300            90   100
//             4  евро счёт    EUR      0              100  50
//             5  Ёжик         руб      0              1    null
// TB_HIST     # acc date        stamp kind dt    ct   l1 l2 l3   price pers firm ref comment             qdt rate yr   mn  b
//             1 1   2024-01-10  s1    1    -     100  0  10 11   50    1    1    -   Хлеб белый          2   1    2024 1
//             2 1   2024-01-15  s2    1    5000  -    1  20 -    -     -    -    -   Аванс               -   1    2024 1
//             3 1   2024-02-03  s3    1    -     250  0  10 12   -     2    -    -   молоко 50% жирн_    -   1    2024 2   +
//             4 1   2024-02-20  s4    2    -     400  0  30 -    -     -    -    -   -                   -   1    2024 2
//             5 1   2024-02-05  s5    1    -     900  -1 -  -    -     -    -    3   -                   -   1    2024 2
//             6 3   2024-02-05  s5    1    10    -    -1 -  -    -     -    -    1   -                   -   90   2024 2
//             7 3   2024-03-01  s7    1    -     5    0  30 -    -     -    2    -   Кофе                -   0    2024 3
//             8 2   2023-12-31  s8    1    20000 -    1  20 -    -     -    -    -   -                   -   1    2023 12
//             9 2   2024-01-10  s9    2    -     1000 0  10 -    -     -    -    -   -                   -   -    -    -
//            10 1   2024-01-10  s10   1    -     30   0  10 11   -     1    -    -   хлеб                -   3    2024 1
// (stamp sN = 2024-01-01 + N minutes + 0.5 s)
// TB_ITEMS    id itm             ref lev c  s  a grp sm
//             -1 ПЕРЕВОД         -   0   0
//              0 Статья расхода  -   0   -
//              1 Статья дохода   -   0   +
//             10 Еда             0   1   -     1 12  100
//             11 Хлеб            10  2   -  N  1 2   50
//             12 Молоко          10  2   -     3 3   80
//             20 Зарплата        1   1   +
//             30 Разное          0   1   0       2   30
// TB_PERSON   1 Иванов И.И. firm 1 born 1980-03-05; 2 Ёлкин П. firm 1 no birthday;
//             3 Андреев А. firm 2 born 1975-03-05
// TB_FIRM     1 Магазин; 2 Аптека
// TB_FAMILY   1 person 1 Маша born 2010-06-01; 2 person 3 Петя no birthday
// Tb_Log      l1 remind 2024-01-05 c 1 Оплатить; l2 remind 2024-02-10 c 2 dy 10 Взнос;
//             l3 remind 2024-05-01 c 1 Будущее; l4 remind 2024-01-05 c 0 Просто запись
#pragma once

#include "platform/sqltable/Database.h"
#include "platform/sqltable/Query.h"
#include "platform/sqltable/Table.h"
#include "support/TableRows.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace zorbel::test {

class SqlFixture : public ::testing::Test {
protected:
    void SetUp() override;

    // Runs the lines as a query and returns its rows.
    QStringList Select(const QStringList &lines);
    void Exec(const QStringList &lines);

    QTemporaryDir dir;
    TDatabase db;
};

// Creates the seven tables with their keys and indexes in db (empty).
void CreateZorbelTables(TDatabase &db);
// Fills them with the rows above.
void FillZorbelTables(TDatabase &db);

} // namespace zorbel::test
