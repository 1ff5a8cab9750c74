// Tables over SQLite against raw sqlite3 calls on the same file, in one run:
// a TB_HIST of 100,000 operations over 10 accounts and 5 years.
//   1. open the table in key order and set the range of one account;
//   2. post 1,000 new operations one by one;
//   3. run Qsum for a year;
//   4. walk the whole range with Next.
// Each line prints our time, the raw time and their ratio.
#include "platform/rtl/DateTime.h"
#include "platform/sqltable/Database.h"
#include "platform/sqltable/Query.h"
#include "platform/sqltable/Table.h"

#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <sqlite3.h>

using namespace zorbel;

namespace {

constexpr int Accounts = 10;
constexpr int Rows = 100000;
constexpr int Posts = 1000;
constexpr int Account = 5;     // the account of the range
constexpr int QsumRuns = 100;  // Qsum is timed over this many runs

const char *const Columns[] = {"Id_Account", "Date_Real", "Date_Create", "Kind", "Dt", "Ct", "Level1",
                               "Level2", "Level3", "Price", "ID_Person", "ID_Firm", "Ref_Account", "Comment",
                               "Qdt", "Qct", "Rate", "Yr", "Mn", "B"};

double Ms(std::chrono::steady_clock::time_point from)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - from).count();
}

void Check(int rc, sqlite3 *db)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
}

void CreateHist(TDatabase &db)
{
    TTable t;
    t.SetDatabase(&db);
    t.SetTableName(QStringLiteral("Tb_Hist"));
    const TFieldType types[] = {ftSmallint, ftDate,     ftDateTime, ftString, ftFloat, ftFloat, ftSmallint,
                                ftSmallint, ftSmallint, ftFloat,    ftSmallint, ftSmallint, ftSmallint, ftString,
                                ftFloat,    ftFloat,    ftFloat,    ftSmallint, ftSmallint, ftString};
    for (int i = 0; i < 20; ++i) {
        const int size = types[i] == ftString ? (i == 13 ? 200 : 1) : 0;
        t.FieldDefs().Add(QString::fromLatin1(Columns[i]), types[i], size, i == 0 || i == 2);
    }
    t.IndexDefs().Add(QString(), QStringLiteral("Id_Account;Date_Real;Date_Create;Kind"), {ixPrimary});
    t.CreateTable();
}

const double Day0 = EncodeDate(2020, 1, 1);
const int Days = int(EncodeDate(2025, 1, 1) - Day0);

// Binds operation n (of account acc) to an INSERT of the 20 columns.
void BindOperation(sqlite3_stmt *st, int acc, int n)
{
    const int day = int(Day0) + (n * 7919) % Days;
    sqlite3_bind_int(st, 1, acc);
    sqlite3_bind_int(st, 2, day);
    sqlite3_bind_double(st, 3, std::round((Day0 + n / 86400.0 + acc * 1e-3) * 86400000.0) / 86400000.0);
    sqlite3_bind_text(st, 4, n % 10 == 0 ? "2" : "1", 1, SQLITE_STATIC);
    if (n % 3 == 0)
        sqlite3_bind_double(st, 5, 100 + n % 1000);
    else
        sqlite3_bind_double(st, 6, 10 + n % 500);
    sqlite3_bind_int(st, 7, n % 5);
    sqlite3_bind_int(st, 8, 10 + n % 7);
    sqlite3_bind_null(st, 9);
    sqlite3_bind_double(st, 10, 12.5);
    sqlite3_bind_text(st, 14, "Хлеб и молоко", -1, SQLITE_STATIC);
    sqlite3_bind_double(st, 17, 1.0);
    sqlite3_bind_int(st, 18, 2020 + (day - int(Day0)) / 366);
    sqlite3_bind_int(st, 19, 1 + n % 12);
}

sqlite3_stmt *Prepare(sqlite3 *db, const char *sql)
{
    sqlite3_stmt *st = nullptr;
    Check(sqlite3_prepare_v2(db, sql, -1, &st, nullptr), db);
    return st;
}

const char *const InsertSql = "INSERT INTO Tb_Hist VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)";
const char *const RangeSql = "SELECT rowid,* FROM Tb_Hist WHERE Id_Account=?1 "
                             "ORDER BY Id_Account,Date_Real,Date_Create,Kind,rowid";

void Report(const char *what, double ours, double raw, const char *target)
{
    std::printf("%-30s %10.4f %10.4f %7.2fx   %s\n", what, ours, raw, raw > 0 ? ours / raw : 0.0, target);
}

// Reads every column of the current row as a raw caller would.
double ReadRaw(sqlite3_stmt *st)
{
    double sum = 0;
    for (int c = 0; c < sqlite3_column_count(st); ++c) {
        switch (sqlite3_column_type(st, c)) {
        case SQLITE_INTEGER: sum += double(sqlite3_column_int64(st, c)); break;
        case SQLITE_FLOAT: sum += sqlite3_column_double(st, c); break;
        case SQLITE_TEXT: sum += double(sqlite3_column_bytes(st, c)) + (sqlite3_column_text(st, c) ? 1 : 0); break;
        default: break;
        }
    }
    return sum;
}

} // namespace

int main()
{
    QTemporaryDir dir;
    TDatabase db;
    db.SetDatabaseName(QStringLiteral("DbZorb"));
    db.SetParams({QStringLiteral("PATH=") + dir.path()});
    db.Open();
    CreateHist(db);
    sqlite3 *raw = db.Db().Handle(); // the same connection: same pragmas, same cache

    {
        Check(sqlite3_exec(raw, "BEGIN", nullptr, nullptr, nullptr), raw);
        sqlite3_stmt *ins = Prepare(raw, InsertSql);
        for (int n = 0; n < Rows; ++n) {
            sqlite3_reset(ins);
            sqlite3_clear_bindings(ins);
            BindOperation(ins, 1 + n % Accounts, n / Accounts);
            Check(sqlite3_step(ins), raw);
        }
        sqlite3_finalize(ins);
        Check(sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr), raw);
    }
    std::printf("TB_HIST: %d operations, %d accounts, 5 years; range of account %d\n\n", Rows, Accounts, Account);
    std::printf("%-30s %10s %10s %8s\n", "step", "ours", "sqlite3", "ratio");

    // 1. Open in key order and set the range of one account.
    TTable hist;
    hist.SetDatabase(&db);
    hist.SetTableName(QStringLiteral("Tb_Hist"));
    auto t0 = std::chrono::steady_clock::now();
    hist.Open();
    hist.SetRange({Account}, {Account});
    const double openOurs = Ms(t0);
    t0 = std::chrono::steady_clock::now();
    sqlite3_stmt *range = Prepare(raw, RangeSql);
    sqlite3_bind_int(range, 1, Account);
    Check(sqlite3_step(range), raw);
    volatile double sink = ReadRaw(range);
    const double openRaw = Ms(t0);
    sqlite3_finalize(range);
    Report("open + range (ms)", openOurs, openRaw, "target: <= 100 ms");

    // 2. Post operations one by one.
    t0 = std::chrono::steady_clock::now();
    for (int n = 0; n < Posts; ++n) {
        const int day = int(Day0) + (n * 37) % Days;
        hist.Append();
        hist.Fields()[0]->SetAsInteger(Account);
        hist.Fields()[1]->SetAsDateTime(day);
        hist.Fields()[2]->SetAsDateTime(EncodeDate(2026, 1, 1) + n / 86400.0);
        hist.Fields()[3]->SetAsString(QStringLiteral("1"));
        hist.Fields()[5]->SetAsFloat(10 + n % 500);
        hist.Fields()[6]->SetAsInteger(0);
        hist.Fields()[7]->SetAsInteger(10);
        hist.Fields()[9]->SetAsFloat(12.5);
        hist.Fields()[13]->SetAsString(QStringLiteral("Хлеб и молоко"));
        hist.Fields()[16]->SetAsFloat(1.0);
        hist.Fields()[17]->SetAsInteger(2020);
        hist.Fields()[18]->SetAsInteger(1);
        hist.Post();
    }
    const double postOurs = Ms(t0) / Posts;
    t0 = std::chrono::steady_clock::now();
    sqlite3_stmt *ins = Prepare(raw, InsertSql);
    for (int n = 0; n < Posts; ++n) {
        sqlite3_reset(ins);
        sqlite3_clear_bindings(ins);
        BindOperation(ins, Account + 100, n);
        Check(sqlite3_step(ins), raw);
    }
    sqlite3_finalize(ins);
    const double postRaw = Ms(t0) / Posts;
    Report("post, per operation (ms)", postOurs, postRaw, "target: <= 3x raw");

    // 3. Qsum for a year.
    TQuery qsum;
    qsum.SetDatabase(&db);
    qsum.SQL() = QStringList({"Select Sum(dt),Sum(ct) from tb_hist", "where id_account=:id_account",
                              "and date_real between :d1 and :d2", "and kind='1'"});
    t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < QsumRuns; ++i) {
        qsum.Close();
        qsum.ParamByName(QStringLiteral("id_account"))->SetAsSmallInt(Account);
        qsum.ParamByName(QStringLiteral("d1"))->SetAsDate(EncodeDate(2023, 1, 1));
        qsum.ParamByName(QStringLiteral("d2"))->SetAsDate(EncodeDate(2023, 12, 31));
        qsum.Open();
        sink = sink + qsum.Fields()[1]->AsFloat();
    }
    const double qsumOurs = Ms(t0) / QsumRuns;
    t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < QsumRuns; ++i) {
        sqlite3_stmt *st = Prepare(raw, "Select Sum(dt),Sum(ct) from tb_hist where id_account=?1 "
                                        "and date_real between ?2 and ?3 and kind='1'");
        sqlite3_bind_int(st, 1, Account);
        sqlite3_bind_int(st, 2, int(EncodeDate(2023, 1, 1)));
        sqlite3_bind_int(st, 3, int(EncodeDate(2023, 12, 31)));
        Check(sqlite3_step(st), raw);
        sink = sink + sqlite3_column_double(st, 1);
        sqlite3_finalize(st);
    }
    const double qsumRaw = Ms(t0) / QsumRuns;
    Report("Qsum for a year, per run (ms)", qsumOurs, qsumRaw, "");

    // 4. Walk the whole range.
    int steps = 0;
    t0 = std::chrono::steady_clock::now();
    for (hist.First(); !hist.Eof(); hist.Next())
        ++steps;
    const double walkOurs = Ms(t0);
    int rawSteps = 0;
    t0 = std::chrono::steady_clock::now();
    range = Prepare(raw, RangeSql);
    sqlite3_bind_int(range, 1, Account);
    while (sqlite3_step(range) == SQLITE_ROW) {
        sink = sink + ReadRaw(range);
        ++rawSteps;
    }
    sqlite3_finalize(range);
    const double walkRaw = Ms(t0);
    Report("walk, per step (us)", walkOurs / steps * 1000, walkRaw / rawSteps * 1000, "target: <= 3x raw");
    std::printf("\nwalk: %d rows, %.2f ms (ours) vs %d rows, %.2f ms (raw)\n", steps, walkOurs, rawSteps, walkRaw);
    (void)sink;
    hist.Close();
    return 0;
}
