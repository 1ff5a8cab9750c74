// The SQLite connection: the program's functions and collations, errors, and I/O through the seam.
#include "platform/sqltable/SqlDialect.h"
#include "platform/sqltable/Sqlite.h"
#include "support/FaultEnv.h"

#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace zorbel;

namespace {

class SqliteTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        db.Open(dir.filePath(QStringLiteral("Zorbel.db")));
        db.Exec(QStringLiteral("create table t (id SMALLINT, name VARCHAR(30), d DATE, amt FLOAT, rate FLOAT)"));
    }
    // First column of the first row as text ("NULL" for null).
    QString Scalar(const QString &sql)
    {
        const TTranslatedSql t = TranslateSql(sql);
        TSqliteStatement st(db, t.Statements.front());
        if (!st.Step())
            return QStringLiteral("<none>");
        return st.IsNull(0) ? QStringLiteral("NULL") : st.ColumnText(0);
    }
    QTemporaryDir dir;
    TSqliteDb db;
};

} // namespace

TEST_F(SqliteTest, DatePartsOfDaySerials)
{
    // 45351 = 29 Feb 2024; 2 = 1 Jan 1900; -1 = 29 Dec 1899.
    db.Exec(QStringLiteral("insert into t (id, d) values (1, 45351), (2, 2), (3, -1), (4, null)"));
    EXPECT_EQ(Scalar("select extract(year from d)*10000+extract(month from d)*100+extract(day from d) from t where id=1"),
              "20240229");
    EXPECT_EQ(Scalar("select EXTRACT(YEAR FROM d) from t where id=2"), "1900");
    EXPECT_EQ(Scalar("select EXTRACT(DAY FROM d) from t where id=3"), "29");
    EXPECT_EQ(Scalar("select EXTRACT(MONTH FROM d) from t where id=4"), "NULL");
}

TEST_F(SqliteTest, LowerUpperFoldCyrillicAndLikeIsCaseSensitiveWithEscape)
{
    db.Exec(QStringLiteral("insert into t (id, name) values (1, 'Ёлка ПРОЦЕНТ 5%'), (2, 'ёлка')"));
    EXPECT_EQ(Scalar("select lower(name) from t where id=1"), "ёлка процент 5%");
    EXPECT_EQ(Scalar("select upper(name) from t where id=2"), "ЁЛКА");
    EXPECT_EQ(Scalar("select count(*) from t where name like 'ёлка'"), "1");
    EXPECT_EQ(Scalar("select count(*) from t where name like 'Ё%'"), "1");
    EXPECT_EQ(Scalar("select count(*) from t where lower(name) like '%ёлка%'"), "2");
    EXPECT_EQ(Scalar("select count(*) from t where name like 'e%' or name like 'ЁЛКА%'"), "0");
    EXPECT_EQ(Scalar("select count(*) from t where lower(name) like '%5^%' escape '^'"), "1");
    EXPECT_EQ(Scalar("select count(*) from t where lower(name) like '%5^_' escape '^'"), "0");
    EXPECT_EQ(Scalar("select count(*) from t where name like '_лка'"), "1");
}

TEST_F(SqliteTest, NumbersDivideAsRealsAndDivisionByZeroIsNull)
{
    db.Exec(QStringLiteral("insert into t (id, amt, rate) values (1, 3, 2), (2, 5, 0)"));
    EXPECT_EQ(Scalar("select amt/rate from t where id=1"), "1.5");
    EXPECT_EQ(Scalar("select amt/rate from t where id=2"), "NULL");
}

TEST_F(SqliteTest, NoJournalFileIsLeftInTheFolder)
{
    db.Exec(QStringLiteral("begin; insert into t (id) values (1); commit;"));
    db.Exec(QStringLiteral("insert into t (id) values (2)"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({"Zorbel.db"}));
}

TEST_F(SqliteTest, ParametersBindByTranslatedIndex)
{
    db.Exec(QStringLiteral("insert into t (id, name) values (1, 'а'), (2, 'б'), (3, 'в')"));
    const TTranslatedSql t = TranslateSql(QStringLiteral("select count(*) from t where id between :Lo and :hi and name<>:lo"));
    TSqliteStatement st(db, t.Statements.front());
    ASSERT_EQ(st.ParamCount(), 2);
    st.BindInt(1, 1);
    st.BindInt(2, 3);
    ASSERT_TRUE(st.Step());
    EXPECT_EQ(st.ColumnInt(0), 3); // ":lo" bound to 1 compared with text never matches: all three
}

TEST_F(SqliteTest, ErrorsRaiseDatabaseErrors)
{
    EXPECT_THROW(db.Exec(QStringLiteral("select * from missing")), EDatabaseError);
    EXPECT_THROW(TSqliteStatement(db, QStringLiteral("selec 1")), EDatabaseError);
    TSqliteDb closed;
    EXPECT_THROW(closed.Exec(QStringLiteral("select 1")), EDatabaseError);
}

TEST_F(SqliteTest, FailedFileIoFailsTheStatementAndKeepsNothingOfIt)
{
    db.Exec(QStringLiteral("insert into t (id) values (1)"));
    test::TFaultEnv env;
    {
        TSysEnvScope scope(env);
        env.FailCall(TSysOp::Write, 1, ENOSPC, true); // the disk is full
        EXPECT_THROW(db.Exec(QStringLiteral("begin; insert into t (id) values (2); insert into t (id) values (3); "
                                            "commit;")),
                     EDatabaseError);
        EXPECT_GT(env.Calls(TSysOp::Write), 0); // SQLite's writes went through the seam
        env.Heal(); // SQLite rolled the transaction back itself
    }
    db.Close();
    db.Open(dir.filePath(QStringLiteral("Zorbel.db")));
    EXPECT_EQ(Scalar("select count(*) from t"), "1");

    db.Close();
    TSysEnvScope scope(env);
    env.FailCall(TSysOp::Open, 1, EACCES);
    EXPECT_THROW(db.Open(dir.filePath(QStringLiteral("Zorbel.db"))), EDatabaseError);
    db.Open(dir.filePath(QStringLiteral("Zorbel.db")));
    env.FailCall(TSysOp::Read, 1);
    EXPECT_THROW(Scalar("select count(*) from t"), EDatabaseError);
    EXPECT_EQ(Scalar("select count(*) from t"), "1");
}

TEST_F(SqliteTest, NowIsTheSeamsClock)
{
    test::TFaultEnv env;
    env.SetNow(QDateTime(QDate(2024, 2, 29), QTime(12, 0), Qt::UTC));
    TSysEnvScope scope(env);
    TSqliteStatement st(db, QStringLiteral("select date('now')"));
    ASSERT_TRUE(st.Step());
    EXPECT_EQ(st.ColumnText(0), QStringLiteral("2024-02-29"));
}

namespace {

// Runs sql on the file through a plain connection, as another program would.
void WriteForeign(const QString &file, const char *sql)
{
    sqlite3 *raw = nullptr;
    ASSERT_EQ(sqlite3_open(file.toUtf8().constData(), &raw), SQLITE_OK);
    char *error = nullptr;
    EXPECT_EQ(sqlite3_exec(raw, sql, nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(raw);
}

} // namespace

// A database file from outside carries triggers, views and schema that call
// the program's functions: none of it runs, and SQL cannot rewrite the schema.
TEST_F(SqliteTest, NothingTheFileCarriesRuns)
{
    db.Close();
    WriteForeign(dir.filePath(QStringLiteral("Zorbel.db")),
                 "create table canary (x);"
                 "create trigger t_ins after insert on t begin insert into canary values (new.id); end;"
                 "create trigger t_upd before update on t begin insert into canary values (old.id); end;"
                 "create view v as select count(*) from t;"
                 "insert into t (id) values (1);");
    db.Open(dir.filePath(QStringLiteral("Zorbel.db")));
    EXPECT_EQ(Scalar("select count(*) from canary"), "1"); // the plain connection's own insert
    db.Exec(QStringLiteral("insert into t (id) values (2); update t set amt = 1;"));
    EXPECT_EQ(Scalar("select count(*) from canary"), "1");
    EXPECT_THROW(Scalar("select * from v"), EDatabaseError);
    // The program's own statements call its functions.
    EXPECT_EQ(Scalar("select count(*) from t where lower('ЁЛКА') like 'ёлка'"), "2");
    // The schema cannot be rewritten through SQL.
    db.Exec(QStringLiteral("pragma writable_schema = on"));
    EXPECT_THROW(db.Exec(QStringLiteral("update sqlite_master set sql = 'create table t (x)' where name = 't'")),
                 EDatabaseError);
    EXPECT_EQ(Scalar("select count(*) from t"), "2");

    // A schema that calls the program's functions (a costly LIKE in a check,
    // lower() in an index) is refused as a whole.
    for (const char *sql : {"create table c (x, y check (y like '%a%a%a%a%a%a%a%a%a%a%a%a%b'));",
                            "create table e (name); create index e_lower on e (lower(name));"}) {
        db.Close();
        const QString file = dir.filePath(QStringLiteral("other.db"));
        QFile::remove(file);
        WriteForeign(file, sql);
        EXPECT_THROW(
            {
                db.Open(file);
                Scalar("select count(*) from sqlite_master");
            },
            EDatabaseError)
            << sql;
    }
}

TEST_F(SqliteTest, AStepLimitEndsALongStatementAndEachStepHasItsOwn)
{
    const QString endless = QStringLiteral("with recursive r(i) as (select 1 union all select i + 1 from r "
                                           "where i < 10000000000) select count(*) from r");
    db.SetStepLimit(5'000'000);
    QElapsedTimer clock;
    clock.start();
    EXPECT_THROW(Scalar(endless), EDatabaseError);
    EXPECT_THROW(db.Exec(QStringLiteral("create table big as ") + endless), EDatabaseError);
    EXPECT_LT(clock.elapsed(), 5000);
    // Statements within the limit run, however many follow each other.
    const QString small = QStringLiteral("with recursive r(i) as (select 1 union all select i + 1 from r "
                                         "where i < 10000) select count(*) from r");
    for (int i = 0; i < 50; ++i)
        ASSERT_EQ(Scalar(small), "10000");
    // Lifted, and lifted by closing.
    db.SetStepLimit(0);
    const QString longer = QStringLiteral("with recursive r(i) as (select 1 union all select i + 1 from r "
                                          "where i < 1000000) select count(*) from r");
    EXPECT_EQ(Scalar(longer), "1000000");
    db.SetStepLimit(1000);
    db.Close();
    db.Open(dir.filePath(QStringLiteral("Zorbel.db")));
    EXPECT_EQ(Scalar(longer), "1000000");
}
