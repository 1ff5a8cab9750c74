// Opening data sets that another program has changed: triggers, views, extra
// objects, constraints and damage are refused before anything is written;
// values the columns cannot hold open as plain data and are reported once.
#include "ZorbDmFixture.h"

#include "core/ZorbDialogHost.h"
#include "core/ZorbDm.h"
#include "core/ZorbDmCheck.h"
#include "core/ZorbText.h"
#include "platform/widgets/ModalScript.h"
#include "platform/sqltable/Sqlite.h"
#include "platform/sqltable/SqlSchema.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace zorbel::test {
namespace {

// Runs sql on a database file through a plain SQLite connection, as another
// program would (its own RUSSIAN collation, plain byte order).
void WriteForeign(const QString &file, const QString &sql)
{
    sqlite3 *raw = nullptr;
    ASSERT_EQ(sqlite3_open(file.toUtf8().constData(), &raw), SQLITE_OK);
    sqlite3_create_collation(raw, "RUSSIAN", SQLITE_UTF8, nullptr, [](void *, int n1, const void *a, int n2, const void *b) {
        const int c = std::memcmp(a, b, size_t(std::min(n1, n2)));
        return c != 0 ? c : n1 - n2;
    });
    char *error = nullptr;
    EXPECT_EQ(sqlite3_exec(raw, sql.toUtf8().constData(), nullptr, nullptr, &error), SQLITE_OK)
        << (error ? error : "") << " in " << sql.toStdString();
    sqlite3_free(error);
    sqlite3_close(raw);
}

QByteArray ReadFile(const QString &name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class ZorbDmCheckTest : public ::testing::Test {
protected:
    ZorbDmCheckTest() { dm.Db.SetParams({QStringLiteral("PATH=") + dir.path()}); }

    // Makes the fixture, changes it with sql, opens it and expects it
    // refused untouched; returns the refusal.
    QString Refusal(const QString &sql)
    {
        MakeFixture(dir.path());
        WriteForeign(dm.Db.FileName(), sql);
        const QByteArray before = ReadFile(dm.Db.FileName());
        QString message = QStringLiteral("<opened>");
        try {
            dm.OpenDataSet({});
        } catch (const EDataSetRefused &e) {
            message = e.Message();
        }
        EXPECT_FALSE(dm.Db.Connected());
        EXPECT_FALSE(dm.Tb_Account.Active());
        EXPECT_EQ(ReadFile(dm.Db.FileName()), before) << "the refused file was written";
        dm.CloseDataSet();
        return message;
    }

    QTemporaryDir dir;
    TDialogHost host;
    TDm dm{&host};
};

TEST_F(ZorbDmCheckTest, TriggersViewsAndForeignObjectsAreRefusedAndNoTriggerRuns)
{
    // A trigger on each table, for each kind of write the opening and the
    // program make; the canary table would record any body that ran.
    for (const char *table : {"Tb_Account", "Tb_Hist", "Tb_Items", "TB_Person", "Tb_Firm", "TB_Family", "Tb_Log"}) {
        for (const char *event : {"insert", "update", "delete"}) {
            const QString sql = QStringLiteral("create table canary (x); create trigger evil after %1 on %2 "
                                               "begin insert into canary values (1); end;")
                                    .arg(QLatin1String(event), QLatin1String(table));
            EXPECT_EQ(Refusal(sql), U("Файл не открыт: в его базе данных есть то, чего программа не создаёт: "
                                      "таблица «canary», триггер «evil»."))
                << table << ' ' << event;
            EXPECT_EQ(SqliteShell(dm.Db.FileName(), QStringLiteral("select count(*) from canary")), u"0");
            QFile::remove(dm.Db.FileName());
        }
    }
    const struct {
        const char *sql;
        const char *message;
    } cases[] = {
        {"create view v as select * from tb_hist", "в его базе данных есть то, чего программа не создаёт: "
                                                   "представление «v»."},
        {"create table notes (x)", "в его базе данных есть то, чего программа не создаёт: таблица «notes»."},
        {"create index Tb_Hist_Extra on Tb_Hist (Dt)", "в его базе данных есть то, чего программа не создаёт: "
                                                      "индекс «Tb_Hist_Extra»."},
        // Indexes of ours, made otherwise.
        {"drop index Tb_Account_Account; create unique index Tb_Account_Account on Tb_Account (Account)",
         "таблица «Tb_Account» в его базе данных устроена не так, как в файлах программы (индекс «Tb_Account_Account»)."},
        {"drop index TB_Person_Name; create index TB_Person_Name on TB_Person (Name) where Name > 'a'",
         "таблица «TB_Person» в его базе данных устроена не так, как в файлах программы (индекс «TB_Person_Name»)."},
        {"drop index Tb_Firm_Firm; create index Tb_Firm_Firm on Tb_Firm (Firm || 'x')",
         "таблица «Tb_Firm» в его базе данных устроена не так, как в файлах программы (индекс «Tb_Firm_Firm»)."},
        {"drop index Tb_Log_PK", "таблица «Tb_Log» в его базе данных устроена не так, как в файлах программы "
                                 "(нет индекса «Tb_Log_PK»)."},
        // Columns.
        {"alter table Tb_Firm add column Extra FLOAT", "таблица «Tb_Firm» в его базе данных устроена не так, как "
                                                       "в файлах программы (лишний столбец «Extra»)."},
        {"alter table Tb_Firm drop column Phone", "таблица «Tb_Firm» в его базе данных устроена не так, как в "
                                                  "файлах программы (нет столбца «Phone»)."},
        // An upgrade group half there: the upgrade would not complete it.
        {"alter table Tb_Account drop column Beg",
         "таблица «Tb_Account» в его базе данных устроена не так, как в файлах программы (нет столбца «Beg»)."},
        // Checks, defaults and generated columns run expressions on every write.
        {"alter table Tb_Log add column Z VARCHAR(1) DEFAULT 'x'",
         "таблица «Tb_Log» в его базе данных устроена не так, как в файлах программы (ограничения или параметры, "
         "которых программа не задаёт)."},
        {"drop table TB_Family; create table TB_Family (Id_Family SMALLINT, Id_Person SMALLINT, "
         "Name VARCHAR(30) COLLATE RUSSIAN CHECK (length(Name) < 1000000), Birthday DATE INTEGER, "
         "Comment VARCHAR(50) COLLATE RUSSIAN, C VARCHAR(1) COLLATE RUSSIAN, Dy SMALLINT, Mn SMALLINT); "
         "create unique index TB_Family_PK on TB_Family (Id_Family)",
         "таблица «TB_Family» в его базе данных устроена не так, как в файлах программы (ограничения или "
         "параметры, которых программа не задаёт)."},
        {"drop table TB_Family; create table TB_Family (Id_Family SMALLINT, Id_Person SMALLINT, "
         "Name VARCHAR(30), Birthday DATE INTEGER, Comment VARCHAR(50), C VARCHAR(1), Dy SMALLINT, "
         "Mn SMALLINT AS (Dy + 1)); create unique index TB_Family_PK on TB_Family (Id_Family)",
         "таблица «TB_Family» в его базе данных устроена не так, как в файлах программы (ограничения или "
         "параметры, которых программа не задаёт)."},
        {"drop table Tb_Log; create table Tb_Log (Date_Create TIMESTAMP REAL, Date_Remind DATE INTEGER, "
         "Note VARCHAR(70) PRIMARY KEY, Id_Person SMALLINT, Id_firm SMALLINT, C VARCHAR(1), Dy SMALLINT)",
         "таблица «Tb_Log» в его базе данных устроена не так, как в файлах программы (ограничения или параметры, "
         "которых программа не задаёт)."},
        {"drop table Tb_Log", "в его базе данных нет таблицы «Tb_Log»."},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(Refusal(U(c.sql)), U("Файл не открыт: ") + U(c.message)) << c.sql;
        QFile::remove(dm.Db.FileName());
    }
}

TEST_F(ZorbDmCheckTest, ALongStatementInATriggerCannotHoldTheOpening)
{
    QElapsedTimer clock;
    clock.start();
    // No account is the default one: the opening marks the first.
    const QString message = Refusal(QStringLiteral(
        "update Tb_Account set C = null;"
        "create trigger slow after update on Tb_Account begin select count(*) from (with recursive r(i) as "
        "(select 1 union all select i + 1 from r where i < 10000000000) select i from r); end;"));
    EXPECT_TRUE(message.contains(U("триггер «slow»"))) << message.toStdString();
    EXPECT_LT(clock.elapsed(), 10000);
}

TEST_F(ZorbDmCheckTest, ADamagedFileIsRefused)
{
    MakeFixture(dir.path());
    const QString root = SqliteShell(dm.Db.FileName(), QStringLiteral("select rootpage from sqlite_master "
                                                                       "where name = 'Tb_Log'"));
    const int pageSize = SqliteShell(dm.Db.FileName(), QStringLiteral("pragma page_size")).toInt();
    ASSERT_GT(root.toInt(), 1);
    QFile f(dm.Db.FileName());
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.seek(qint64(root.toInt() - 1) * pageSize + 8);
    f.write(QByteArray(64, '\xff')); // the cell pointers of the table's page
    f.close();
    const QByteArray before = ReadFile(dm.Db.FileName());
    try {
        dm.OpenDataSet({});
        ADD_FAILURE() << "opened";
    } catch (const EDataSetRefused &e) {
        EXPECT_EQ(e.Message(), U("Файл не открыт: его база данных повреждена."));
    }
    EXPECT_EQ(ReadFile(dm.Db.FileName()), before);
}

TEST_F(ZorbDmCheckTest, ImpossibleValuesOpenAsDataAndAreReportedOnce)
{
    MakeFixture(dir.path());
    // Text and blobs in money columns, a sum too large for the money
    // arithmetic, an infinite one, an identifier beyond 16 bits, a date beyond year 9999; and a balance.
    WriteForeign(dm.Db.FileName(),
                 QStringLiteral("update Tb_Hist set Dt = 'много' where Date_Create = (select min(Date_Create) from Tb_Hist "
                                "where Id_Account = 1);"
                                "update Tb_Hist set Ct = x'00ff' where Id_Account = 2;"
                                "update Tb_Hist set Dt = 1e308 where Id_Account = 3;"
                                "update Tb_Hist set Price = 9e999 where Id_Account = 3;"
                                "update Tb_Items set Lim = 1e11 where ID_ITM = 30;"
                                "update TB_Person set Id_Firm = 70000 where Id_Person = 1;"
                                "update Tb_Log set Date_Remind = 1e7 where Note = 'Будущее';"
                                "update Tb_Account set Rest = -1e20 where Id_Account = 4;"
                                "update Tb_Account set Beg = 'x' where Id_Account = 4;"));
    TModalScript script;
    script.Press(QStringLiteral("OK"));
    ASSERT_TRUE(dm.OpenDataSet({}).Opened);
    ASSERT_EQ(script.Seen().size(), 1u);
    EXPECT_EQ(QString(script.Seen()[0].Text).replace(u'\n', u'\r'),
              U("В файле данных есть значения, которые программа не может учесть (текст в числовом поле, число вне "
                "допустимых пределов):\r"
                "Tb_Account, строк: 1; счета: «Пустой евро»\r"
                "Tb_Hist, строк: 3; счета: «Банк Ёлка», «Доллары», «Кошелёк»\r"
                "Tb_Items, строк: 1\r"
                "TB_Person, строк: 1\r"
                "Tb_Log, строк: 1\r"
                "Итоги, в которые они входят, неверны, пока значения не исправлены."));
    // The rows are there as stored; the rest of the data set reads as before.
    EXPECT_EQ(dm.Tb_Account.RecordCount(), 5);
    EXPECT_EQ(dm.Tb_Hist.RecordCount(), 9);
    EXPECT_FALSE(dm.Modified());

    // A clean data set opens without a word.
    dm.CloseDataSet();
    QFile::remove(dm.Db.FileName());
    MakeFixture(dir.path());
    WriteForeign(dm.Db.FileName(), QStringLiteral("update Tb_Hist set Dt = 99999999999.99 where Id_Account = 1 "
                                                  "and Dt is not null; update Tb_Hist set Ct = null where Ct = 100"));
    TModalScript quiet;
    ASSERT_TRUE(dm.OpenDataSet({}).Opened);
    EXPECT_TRUE(quiet.Seen().empty());
}

// The count of rows holding impossible values is made in one pass over the
// rows; it agrees with the same test in SQL (which names the accounts) on
// every kind of value a foreign program can store.
TEST_F(ZorbDmCheckTest, TheRowScanAgreesWithTheSqlCondition)
{
    MakeFixture(dir.path());
    const QString v = QStringLiteral(
        "(CASE abs(random()) % 16 WHEN 0 THEN NULL WHEN 1 THEN 7 WHEN 2 THEN 32767 WHEN 3 THEN 32768 "
        "WHEN 4 THEN -32768 WHEN 5 THEN -32769 WHEN 6 THEN 1.5 WHEN 7 THEN 1e11 WHEN 8 THEN -99999999999.99 "
        "WHEN 9 THEN 'много' WHEN 10 THEN x'00ff' WHEN 11 THEN 9e999 WHEN 12 THEN -9e999 WHEN 13 THEN 2958465.5 "
        "WHEN 14 THEN -693595 ELSE 45000 END)");
    const QString sql = QStringLiteral("INSERT INTO Tb_Hist(Id_Account, Date_Real, Date_Create, Kind, Dt, Ct, Level1, Price, "
                                 "Comment, Rate) WITH RECURSIVE r(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM r WHERE i < 3000) "
                                 "SELECT coalesce(%1, 1), %1, 50000 + i / 7.0, '1', %1, %1, %1, %1, %1, %1 FROM r");
    WriteForeign(dm.Db.FileName(), sql.arg(v));
    dm.Db.Open();
    const QString report = ImpossibleValuesReport(dm.Db.Db());
    const qsizetype at = report.indexOf(U("Tb_Hist, строк: "));
    ASSERT_GE(at, 0) << report.toStdString();
    const int scanned = report.mid(at + 16).section(u';', 0, 0).section(u'\r', 0, 0).toInt();
    const TTableDef stored = ReadTableDef(dm.Db.Db(), QStringLiteral("Tb_Hist"));
    TSqliteStatement count(dm.Db.Db(),
                           QStringLiteral("SELECT count(*) FROM Tb_Hist WHERE %1").arg(ImpossibleRowsCondition(stored)));
    ASSERT_TRUE(count.Step());
    EXPECT_EQ(scanned, count.ColumnInt(0));
    EXPECT_GT(scanned, 2000);
    EXPECT_LT(scanned, 3000);
    dm.CloseDataSet();
}

TEST_F(ZorbDmCheckTest, ALargeOldDataSetOpensWithinTheLimit)
{
    // A million operations in the oldest structure: every upgrade step runs
    // over all of them (Yr and Mn filled, the sums' index built, the comment
    // widened by copying the table), each within the opening's step limit.
    MakeOldDataSet(dir.path());
    {
        TDatabase db;
        db.SetParams({QStringLiteral("PATH=") + dir.path()});
        db.Open();
        db.Db().Exec(QStringLiteral(
            "with recursive r(i) as (select 1 union all select i + 1 from r where i < 1000000) "
            "insert into Tb_Hist (Id_Account, Date_Real, Date_Create, Kind, Dt, Level1) "
            "select 1, 40000 + i / 300, 40000 + i / 300.0 + i * 1e-7, '1', i * 1.5, 0 from r"));
    }
    ASSERT_TRUE(dm.OpenDataSet({}).Opened);
    EXPECT_EQ(SelectRows(dm.Qtemp, QStringLiteral("select count(*) from tb_hist where yr is null")), QStringList{"0"});
}

} // namespace
} // namespace zorbel::test
