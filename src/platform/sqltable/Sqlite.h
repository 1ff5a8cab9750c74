// A thin owner of one SQLite connection and its prepared statements, with the
// functions the program's SQL expects registered on every connection:
// zb_year/zb_month/zb_day over day serials, lower/upper folding Cyrillic as
// AnsiLowerCase/AnsiUpperCase do, a case-sensitive LIKE with ESCAPE, and the
// Russian collation (CompareRussian) as "RUSSIAN" (case-blind order, ties by
// case, so equality is exact) and "RUSSIAN_CI" (case-blind). Errors raise EDatabaseError with SQLite's
// message.
//
// Nothing a database file carries runs: triggers and views are disabled, the
// file's schema is untrusted (it may call none of the functions above) and
// the connection is defensive (no writable schema, no direct page writes).
//
// The connection runs with an in-memory journal and no syncing: the database
// lives in a scratch work folder and durability comes from saving the data
// file, so no journal file is ever left beside it.
#pragma once

#include "platform/rtl/Exceptions.h"

#include <QString>
#include <functional>
#include <cstdint>

struct sqlite3;
struct sqlite3_stmt;

namespace zorbel {

class TSqliteStatement;

class TSqliteDb {
public:
    TSqliteDb() = default;
    ~TSqliteDb();
    TSqliteDb(const TSqliteDb &) = delete;
    TSqliteDb &operator=(const TSqliteDb &) = delete;

    // Opens (creating when missing) the database file; raises EDatabaseError.
    void Open(const QString &fileName);
    void Close();
    bool IsOpen() const { return db_ != nullptr; }
    const QString &FileName() const { return fileName_; }

    // Runs statements without results.
    void Exec(const QString &sql);
    int64_t Changes() const;
    // Rows changed by all statements since the connection opened (DDL adds none).
    int64_t TotalChanges() const;
    int64_t LastInsertRowId() const;
    sqlite3 *Handle() const { return db_; }

    [[noreturn]] void Fail(const QString &context) const;

    // Bounds each statement step (and each Exec) to about instructions
    // virtual machine steps; past it the statement fails as interrupted.
    // 0 lifts the bound. Opening a data set sets one, so a file cannot keep
    // the program busy forever.
    void SetStepLimit(int64_t instructions);
    // Starts the budget of one step afresh.
    void StartStep() { periods_ = 0; }

    // Told the table and rowid of every row an INSERT or UPDATE on this
    // connection writes (deleted rows are not told); an empty function stops
    // it. The function must not use the connection. Ends with Close.
    using TRowWritten = std::function<void(const char *Table, int64_t RowId)>;
    void SetRowWrittenHook(TRowWritten Hook);

private:
    static constexpr int ProgressPeriod = 1000; // instructions between checks
    static int Progress(void *self);

    sqlite3 *db_ = nullptr;
    QString fileName_;
    TRowWritten rowWritten_;
    int64_t stepLimit_ = 0; // in periods; 0: none
    int64_t periods_ = 0;
};

// One prepared statement. Parameter indexes are 1-based, column indexes 0-based.
class TSqliteStatement {
public:
    TSqliteStatement(TSqliteDb &db, const QString &sql);
    ~TSqliteStatement();
    TSqliteStatement(const TSqliteStatement &) = delete;
    TSqliteStatement &operator=(const TSqliteStatement &) = delete;

    int ParamCount() const;
    void BindNull(int index);
    void BindInt(int index, int64_t value);
    void BindDouble(int index, double value);
    void BindText(int index, const QString &value);
    void BindBlob(int index, const void *data, int size);

    // Advances to the next row: true while a row is available.
    bool Step();
    void Reset();

    int ColumnCount() const;
    QString ColumnName(int column) const;
    QString ColumnDeclType(int column) const;
    bool IsNull(int column) const;
    // SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT, SQLITE_BLOB or SQLITE_NULL,
    // named below for callers that do not include SQLite's header.
    int ColumnType(int column) const;
    enum TValueType { vtInteger = 1, vtFloat = 2, vtText = 3, vtBlob = 4, vtNull = 5 };
    int64_t ColumnInt(int column) const;
    double ColumnDouble(int column) const;
    QString ColumnText(int column) const;
    QByteArray ColumnBlob(int column) const;

private:
    TSqliteDb &db_;
    sqlite3_stmt *stmt_ = nullptr;
};

} // namespace zorbel
