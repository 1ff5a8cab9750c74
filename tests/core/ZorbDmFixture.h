// Data sets for the data module's tests, each in its own temporary work
// folder: the template (unpacked through the zip reader), a fixture with
// Cyrillic names in the current structure, and one in the oldest structure.
//
// Fixture rows (stamps sN = 2024-01-01 00:N:00.500):
// TB_ACCOUNT  1 Кошелёк руб rest 1500 ! rate 1 beg 1000; 2 Банк Ёлка руб 20000 rate 1;
//             3 Доллары $ 300 rate 90; 4 Пустой евро EUR 0 rate 100; 5 Копилка руб 0 rate 1
// TB_HIST     # acc date       stamp kind dt    ct   l1 l2 l3 price pers firm ref comment        qdt qct rate b
//             1 1   2024-01-10 s1    1    -     100  0  10 11 50    1    1    -   Хлеб белый     2   -   1    -
//             2 1   2024-01-15 s2    1    5000  -    1  20 -  -     -    -    -   Аванс          -   -   1    -
//             3 1   2024-02-03 s3    1    -     250  0  10 12 -     -    -    -   Молоко свежее  -   -   1    +
//             4 1   2024-02-20 s4    2    -     400  0  30 -  -     -    -    -   -              -   -   1    -
//             5 1   2024-02-05 s5    1    -     900  -1 -  -  -     -    -    3   -              -   -   1    -
//             6 3   2024-02-05 s5    1    10    -    -1 -  -  -     -    -    1   -              -   -   90   -
//             7 2   2023-12-31 s7    1    20000 -    1  20 -  -     -    -    -   -              -   -   1    -
//             8 1   2030-01-01 s8    2    -     700  -1 -  -  -     -    -    5   -              -   -   1    -
//             9 1   2024-01-10 s9    1    -     30   0  10 11 -     -    -    -   ХЛЕБ           -   3   3    -
//             (Yr and Mn of every row follow Date_Real)
// TB_ITEMS    -1 ПЕРЕВОД (-); 0 Статья расхода (-); 1 Статья дохода (+); 10 Еда under 0 (-, grp 12, sm 100);
//             11 Хлеб under 10 (-, S N, grp 2, sm 50); 12 Молоко under 10 (-, grp 2, sm 80);
//             20 Зарплата under 1 (+); 30 Разное under 0 (0, grp 2, sm 30, lim -20);
//             40 Сирота level 2 under the missing 99
// TB_PERSON   1 Иванов И.И. firm 1 born 1980-03-05; 2 Ёлкин П. firm 1; 3 Андреев А. firm 2 born 1975-03-05;
//             4 Свободный
// TB_FIRM     1 Магазин; 2 Аптека; 3 Рынок; 4 Киоск
// TB_FAMILY   1 person 3 Петя born 2010-06-01
// Tb_Log      s101 remind 2024-01-05 c 1 person 2 Оплатить; s102 remind 2024-02-10 c 2 dy 10 firm 3 Взнос;
//             s103 remind 2024-05-01 c 1 Будущее; s104 remind 2024-01-05 c 0 Просто запись
#pragma once

#include "support/TableRows.h"

#include <QString>

namespace zorbel::test {

// Unpacks the template archive into folder through the zip reader; returns
// the number of files extracted.
int UnpackTemplate(const QString &folder);
// Writes the fixture data set into folder.
void MakeFixture(const QString &folder);
// Writes a data set in the oldest structure (fields and widths before every
// upgrade) into folder: one account, one operation, four categories, a
// person and a firm with 50-character comments.
void MakeOldDataSet(const QString &folder);

// Runs sql through the sqlite3 program on a data set's file and returns its
// output, trimmed; anything sqlite3 writes to its error stream fails the test.
QString SqliteShell(const QString &file, const QString &sql);

} // namespace zorbel::test
