// The connection of one data set: its SQLite file in the work folder and the datasets attached to it.
#include "platform/sqltable/Database.h"

#include "platform/dataset/DataSet.h"
#include "platform/sqltable/SqlSchema.h"
#include "platform/system/SysPaths.h"

#include <QDir>

namespace zorbel {

TDatabase::~TDatabase()
{
    SetConnected(false); // closes the open datasets, so none is left attached
}

QString TDatabase::Path() const
{
    for (const QString &line : params_) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq > 0 && line.left(eq).trimmed().compare(QStringLiteral("PATH"), Qt::CaseInsensitive) == 0)
            return line.mid(eq + 1).trimmed();
    }
    return QString();
}

QString TDatabase::FileName() const
{
    return QDir(Path()).filePath(QString::fromLatin1(DatabaseFileName));
}

void TDatabase::SetConnected(bool value)
{
    if (value == Connected())
        return;
    if (value) {
        if (Path().isEmpty() || !IsFolder(Path()))
            throw EDatabaseError(QStringLiteral("Папка базы данных %1 не найдена: «%2»").arg(databaseName_, Path()));
        db_.Open(FileName());
        return;
    }
    // Closing a dataset may detach it: work on a copy.
    const std::vector<TClient> clients = clients_;
    for (const TClient &c : clients)
        c.Close();
    db_.Close();
    depth_ = 0;
}

TSqliteDb &TDatabase::Db()
{
    if (!Connected())
        throw EDatabaseError(QStringLiteral("База данных %1 не открыта").arg(databaseName_));
    return db_;
}

void TDatabase::Attach(const void *dataSet, std::function<void()> close, std::function<void()> release)
{
    Detach(dataSet);
    clients_.push_back({dataSet, std::move(close), std::move(release)});
}

void TDatabase::ReleaseStatements()
{
    for (const TClient &c : clients_)
        if (c.Release)
            c.Release();
}

void TDatabase::Pack()
{
    ReleaseStatements();
    PackDatabase(Db());
}

void TDatabase::StartTransaction()
{
    Db().Exec(QStringLiteral("SAVEPOINT zb%1").arg(depth_));
    ++depth_;
}

void TDatabase::Commit()
{
    if (depth_ == 0)
        throw EDatabaseError(QStringLiteral("Нет начатой транзакции"));
    --depth_;
    try {
        Db().Exec(QStringLiteral("RELEASE zb%1").arg(depth_));
    } catch (...) {
        // A release that failed (a full disk at the commit) must leave
        // nothing of the transaction behind.
        try {
            ReleaseStatements();
            Db().Exec(QStringLiteral("ROLLBACK TO zb%1; RELEASE zb%1").arg(depth_));
        } catch (const Exception &) {
            // SQLite has rolled the whole transaction back itself.
        }
        throw;
    }
}

void TDatabase::Rollback()
{
    if (depth_ == 0)
        throw EDatabaseError(QStringLiteral("Нет начатой транзакции"));
    ReleaseStatements();
    --depth_;
    Db().Exec(QStringLiteral("ROLLBACK TO zb%1; RELEASE zb%1").arg(depth_));
}

TTransactionScope::TTransactionScope(TDatabase &db, std::initializer_list<TDataSet *> refreshOnRollback)
    : db_(db), refresh_(refreshOnRollback)
{
    db_.ReleaseStatements();
    db_.StartTransaction(); // nests inside a transaction already running
}

TTransactionScope::~TTransactionScope()
{
    if (done_)
        return;
    try {
        Rollback();
    } catch (const Exception &) {
        // Leaving by an exception already, which the user hears of: SQLite
        // has rolled the whole transaction back itself when its rollback
        // fails (a failed COMMIT or a full disk ends it).
    }
}

void TTransactionScope::Commit()
{
    done_ = true;
    try {
        db_.Commit();
    } catch (...) {
        RefreshDataSets();
        throw;
    }
}

void TTransactionScope::Rollback()
{
    done_ = true;
    db_.Rollback();
    RefreshDataSets();
}

void TTransactionScope::RefreshDataSets()
{
    for (TDataSet *ds : refresh_) {
        if (!ds->Active())
            continue;
        if (ds->State() == dsEdit || ds->State() == dsInsert)
            ds->Cancel();
        ds->Refresh();
    }
}

void TDatabase::Detach(const void *dataSet)
{
    std::erase_if(clients_, [&](const TClient &c) { return c.DataSet == dataSet; });
}

} // namespace zorbel
