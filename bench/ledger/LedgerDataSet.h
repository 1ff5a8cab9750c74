// The large data set of the ledger and posting benchmarks: accounts, a
// category tree under the expense root and operations over several years,
// written into the open data set of a main window with raw inserts in one
// transaction.
#pragma once

#include "core/ZorbMain.h"
#include "platform/rtl/StrUtils.h"

#include <cstdio>
#include <cstdlib>
#include <random>
#include <sqlite3.h>
#include <vector>

namespace zorbel::bench {


inline int YearOfToday()
{
    int y, m, d;
    DecodeDate(Date(), y, m, d);
    return y;
}

struct TSize {
    int Accounts, Operations, Years, Groups, ItemsPerGroup;
};

inline void Check(int rc, sqlite3 *db)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
        std::exit(2);
    }
}

// Fills the open data set of f: accounts, a category tree under the expense
// root (Groups level-1 groups of ItemsPerGroup level-2 items) and operations
// spread over the years before this one, 1 in 20 planned.
inline void Fill(TFormMain &f, const TSize &size)
{
    TTable &acc = f.Dm->Tb_Account;
    const char *names[] = {"Кошелёк", "Банк Ёлка", "Доллары", "Евро", "Копилка", "Карта", "Вклад", "Касса",
                           "Сейф", "Запас"};
    for (int i = 1; i < size.Accounts; ++i) {
        acc.Append();
        acc.FieldByName("Account")->SetAsString(U(names[i % 10]) + (i >= 10 ? QString::number(i) : QString()));
        acc.FieldByName("Currency")->SetAsString(i % 3 == 2 ? "USD" : U("руб"));
        acc.FieldByName("Rate")->SetAsFloat(i % 3 == 2 ? 90 : 1);
        acc.FieldByName("Rest")->SetAsFloat(0);
        acc.Post();
    }
    sqlite3 *db = f.Dm->Db.Db().Handle();
    f.Dm->Db.ReleaseStatements();
    Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db);
    sqlite3_stmt *item = nullptr;
    Check(sqlite3_prepare_v2(db, "insert into tb_items(id_itm,itm,id_ref,lev,c) values(?,?,?,?,'-')", -1, &item,
                             nullptr),
          db);
    const char *groups[] = {"Еда", "Дом", "Транспорт", "Здоровье", "Одежда", "Связь", "Отдых", "Дети"};
    std::vector<std::pair<int, int>> leaves; // (group, item)
    int id = 100;
    for (int g = 0; g < size.Groups; ++g) {
        const int groupId = id++;
        const QByteArray gname = (U(groups[g % 8]) + QString(" %1").arg(g + 1)).toUtf8();
        sqlite3_bind_int(item, 1, groupId);
        sqlite3_bind_text(item, 2, gname.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(item, 3, 0);
        sqlite3_bind_int(item, 4, 1);
        Check(sqlite3_step(item), db);
        sqlite3_reset(item);
        for (int i = 0; i < size.ItemsPerGroup; ++i) {
            const QByteArray iname = (U("Статья ") + QString("%1.%2").arg(g + 1).arg(i + 1)).toUtf8();
            sqlite3_bind_int(item, 1, id);
            sqlite3_bind_text(item, 2, iname.constData(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int(item, 3, groupId);
            sqlite3_bind_int(item, 4, 2);
            Check(sqlite3_step(item), db);
            sqlite3_reset(item);
            leaves.push_back({groupId, id++});
        }
    }
    sqlite3_finalize(item);

    sqlite3_stmt *op = nullptr;
    Check(sqlite3_prepare_v2(db,
                             "insert into tb_hist(id_account,date_real,date_create,kind,dt,ct,level1,level2,level3,"
                             "comment,rate,yr,mn) values(?,?,?,?,?,?,?,?,?,?,1,?,?)",
                             -1, &op, nullptr),
          db);
    std::mt19937 rnd(7);
    int y, m, d;
    DecodeDate(Date(), y, m, d);
    const TDateTime first = EncodeDate(y - size.Years, 1, 1), last = EncodeDate(y, 1, 1) - 1;
    const TDateTime stamp0 = first;
    const QByteArray comments[] = {U("Хлеб белый").toUtf8(), U("Молоко").toUtf8(), U("Бензин").toUtf8(),
                                   U("Зарплата за месяц").toUtf8(), QByteArray()};
    for (int i = 0; i < size.Operations; ++i) {
        const int account = 1 + int(rnd() % unsigned(size.Accounts));
        const TDateTime date = first + double(rnd() % unsigned(last - first + 1));
        const bool income = rnd() % 10 == 0;
        const auto &[group, leaf] = leaves[rnd() % leaves.size()];
        int yy, mm, dd;
        DecodeDate(date, yy, mm, dd);
        sqlite3_bind_int(op, 1, account);
        sqlite3_bind_int64(op, 2, qint64(date));
        sqlite3_bind_double(op, 3, stamp0 + double(i) / MSecsPerDay);
        sqlite3_bind_text(op, 4, rnd() % 20 == 0 ? "2" : "1", -1, SQLITE_STATIC);
        const double amount = double(1 + rnd() % 500000) / 100;
        if (income) {
            sqlite3_bind_double(op, 5, amount * 20);
            sqlite3_bind_null(op, 6);
            sqlite3_bind_int(op, 7, 1);
            sqlite3_bind_null(op, 8);
            sqlite3_bind_null(op, 9);
        } else {
            sqlite3_bind_null(op, 5);
            sqlite3_bind_double(op, 6, amount);
            sqlite3_bind_int(op, 7, 0);
            sqlite3_bind_int(op, 8, group);
            sqlite3_bind_int(op, 9, leaf);
        }
        const QByteArray &c = comments[i % 5];
        if (c.isEmpty())
            sqlite3_bind_null(op, 10);
        else
            sqlite3_bind_text(op, 10, c.constData(), -1, SQLITE_STATIC);
        sqlite3_bind_int(op, 11, yy);
        sqlite3_bind_int(op, 12, mm);
        Check(sqlite3_step(op), db);
        sqlite3_reset(op);
    }
    sqlite3_finalize(op);
    // For comparison: the sums without the index that holds what they read.
    if (qEnvironmentVariableIsSet("ZORBEL_BENCH_NOCOVER"))
        Check(sqlite3_exec(db, "drop index \"Tb_Hist_Cover\"", nullptr, nullptr, nullptr), db);
    Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
    f.Dm->Tb_Items.Refresh();
    f.Dm->Tb_Hist.Refresh();
    f.Dm->SetModified(true);
}

} // namespace zorbel::bench
