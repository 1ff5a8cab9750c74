// TDatabase: the connection of one data set. The data set is one SQLite file
// (DatabaseFileName) in the folder given by the "PATH" parameter; its tables
// and queries name this component and reach SQLite through it. Closing (or
// destroying) the database first closes every open dataset attached to it.
#pragma once

#include "platform/sqltable/Sqlite.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <initializer_list>
#include <vector>

namespace zorbel {

class TDatabase {
public:
    // File name of the data set's database inside the PATH folder.
    static constexpr const char *DatabaseFileName = "Zorbel.db";

    TDatabase() = default;
    ~TDatabase();
    TDatabase(const TDatabase &) = delete;
    TDatabase &operator=(const TDatabase &) = delete;

    const QString &DatabaseName() const { return databaseName_; }
    void SetDatabaseName(const QString &name) { databaseName_ = name; }
    // "NAME=value" lines; PATH is the folder of the database file.
    const QStringList &Params() const { return params_; }
    void SetParams(const QStringList &params) { params_ = params; }
    QString Path() const;
    // Full path of the database file.
    QString FileName() const;

    bool Connected() const { return db_.IsOpen(); }
    void SetConnected(bool value);
    void Open() { SetConnected(true); }
    void Close() { SetConnected(false); }

    // The engine's decimal separator of numbers inside SQL text.
    static QChar SqlDecimalSeparator() { return u'.'; }

    // Requires: Connected.
    TSqliteDb &Db();

    // A dataset registers how to close it (Close runs these first) and how
    // to end any walk it keeps running (before a restructure or a pack).
    void Attach(const void *dataSet, std::function<void()> close, std::function<void()> release = {});
    void Detach(const void *dataSet);
    // Ends the running walks of the attached datasets: SQLite refuses to
    // drop a table or VACUUM while a statement is mid-walk.
    void ReleaseStatements();
    // Rewrites the database file without free pages, so that a purge or a
    // restructure also shrinks the data file the work folder is packed into.
    void Pack();

    // Transactions: every write between StartTransaction and Commit lands
    // together, or none of it after Rollback. They nest: an inner one is a
    // savepoint inside the outer. Rollback first ends the datasets' running
    // walks; their buffers then hold what was rolled back until refreshed.
    void StartTransaction();
    void Commit();
    void Rollback();
    bool InTransaction() const { return depth_ > 0; }

private:
    struct TClient {
        const void *DataSet;
        std::function<void()> Close;
        std::function<void()> Release;
    };
    QString databaseName_;
    QStringList params_;
    TSqliteDb db_;
    std::vector<TClient> clients_;
    int depth_ = 0; // open transactions (savepoints)
};

class TDataSet;

// One logical change of several rows as one transaction for a scope: begun
// on construction, rolled back when the scope is left without Commit (an
// exception on the way), after which the datasets named are cancelled and
// refreshed so they show the stored rows again. The running walks of the
// attached datasets are ended first, so a rollback never cuts a cursor's
// stream in the middle; datasets not named that show the changed rows are
// refreshed by the caller afterwards.
class TTransactionScope {
public:
    explicit TTransactionScope(TDatabase &db, std::initializer_list<TDataSet *> refreshOnRollback = {});
    ~TTransactionScope();
    TTransactionScope(const TTransactionScope &) = delete;
    TTransactionScope &operator=(const TTransactionScope &) = delete;
    void Commit();
    // Rolls back now (the destructor then does nothing).
    void Rollback();

private:
    void RefreshDataSets();
    TDatabase &db_;
    std::vector<TDataSet *> refresh_;
    bool done_ = false;
};

} // namespace zorbel
