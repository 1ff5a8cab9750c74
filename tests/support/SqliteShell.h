// Runs one statement through the sqlite3 program on a database file and
// returns its output: an oracle independent of the program's own tables.
#pragma once

#include <QProcess>
#include <QString>
#include <gtest/gtest.h>

namespace zorbel::test {

inline QString RunSqlite3(const QString &file, const QString &sql)
{
    QProcess p;
    p.start(QStringLiteral("sqlite3"), {file, sql});
    EXPECT_TRUE(p.waitForFinished(10000));
    const QByteArray err = p.readAllStandardError();
    EXPECT_TRUE(err.isEmpty()) << err.toStdString() << " in " << sql.toStdString();
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

} // namespace zorbel::test
