// The connection of one data set: its SQLite file in the work folder and the datasets attached to it.
#include "platform/sqltable/Database.h"

#include "platform/sqltable/SqlSchema.h"

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
        if (Path().isEmpty() || !QDir(Path()).exists())
            throw EDatabaseError(QStringLiteral("Invalid PATH for database %1: \"%2\"").arg(databaseName_, Path()));
        db_.Open(FileName());
        return;
    }
    // Closing a dataset may detach it: work on a copy.
    const std::vector<TClient> clients = clients_;
    for (const TClient &c : clients)
        c.Close();
    db_.Close();
}

TSqliteDb &TDatabase::Db()
{
    if (!Connected())
        throw EDatabaseError(QStringLiteral("Database %1 is not connected").arg(databaseName_));
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

void TDatabase::Detach(const void *dataSet)
{
    std::erase_if(clients_, [&](const TClient &c) { return c.DataSet == dataSet; });
}

} // namespace zorbel
