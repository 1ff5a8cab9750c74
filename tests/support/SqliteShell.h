// Runs one statement through the sqlite3 program on a database file and
// returns its output: an oracle independent of the program's own tables.
#pragma once

#include "support/ChildProcess.h"

#include <QString>
#include <gtest/gtest.h>

namespace zorbel::test {

inline QString RunSqlite3(const QString &file, const QString &sql)
{
    TChildOptions options;
    options.TimeoutMs = 10000;
    const TChildRun run = RunChild(QStringLiteral("sqlite3"), {file, sql}, options);
    EXPECT_TRUE(run.Finished);
    EXPECT_TRUE(run.Err.isEmpty()) << run.Err.toStdString() << " in " << sql.toStdString();
    return QString::fromUtf8(run.Out).trimmed();
}

} // namespace zorbel::test
