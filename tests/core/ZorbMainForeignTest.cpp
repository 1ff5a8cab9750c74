// Data files that another program has changed, end to end: files built here
// with Python's sqlite3 and zipfile from a file the program wrote. A database
// with triggers, views or tables of its own is refused at start-up and when
// opened while running, in bounded time, with the file untouched and no
// trigger run; impossible values open as plain data with one notice.
// With ZORBEL_SCREENSHOTS set to a folder the notices are saved there as PNGs.
#include "ZorbMainRun.h"

#include "core/TulnCommon.h"
#include "support/ChildProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

namespace zorbel {
namespace {

// A script step that saves the notice for a look by eye and confirms it.
TModalScript::TStep ShotAndOk(const QString &name)
{
    return [name](TForm &form) {
        const QString dir = qEnvironmentVariable("ZORBEL_SCREENSHOTS");
        if (!dir.isEmpty())
            form.grab().save(QDir(dir).filePath(name + QStringLiteral(".png")));
        form.SetModalResult(mrOk);
    };
}

class ZorbMainForeign : public ZorbMainRun {
protected:
    // Writes File(name): the data file from, its database changed by sql.
    void Derive(const QString &from, const QString &name, const QString &sql)
    {
        const test::TChildRun py = test::RunChild("python3", {"-c",
                             "import sqlite3,zipfile,sys,os\n"
                             "src,dst,sql=sys.argv[1:4]\n"
                             "db=dst+'.db'\n"
                             "open(db,'wb').write(zipfile.ZipFile(src).read('Zorbel.db'))\n"
                             "c=sqlite3.connect(db)\n"
                             "c.create_collation('RUSSIAN',lambda a,b:(a>b)-(a<b))\n"
                             "c.executescript(sql)\n"
                             "c.execute('update Tb_Hist set Dt=? where Dt=111',(float('nan'),))\n"
                             "c.execute('update Tb_Hist set Ct=? where Ct=222',(float('inf'),))\n"
                             "c.commit(); c.close()\n"
                             "z=zipfile.ZipFile(dst,'w',zipfile.ZIP_DEFLATED); z.write(db,'Zorbel.db'); z.close()\n"
                             "os.remove(db)\n",
                             from, File(name), sql});
        ASSERT_TRUE(py.Finished);
        ASSERT_EQ(py.ExitCode, 0) << py.Err.toStdString();
    }
    // The canary's rows in a data file, through Python.
    QString Canary(const QString &file)
    {
        const test::TChildRun py = test::RunChild("python3", {"-c",
                             "import sqlite3,zipfile,sys\n"
                             "open(sys.argv[1]+'.db','wb').write(zipfile.ZipFile(sys.argv[1]).read('Zorbel.db'))\n"
                             "print(sqlite3.connect(sys.argv[1]+'.db').execute('select count(*) from canary')"
                             ".fetchone()[0])\n",
                             file});
        EXPECT_TRUE(py.Finished);
        QFile::remove(file + ".db");
        return QString::fromUtf8(py.Out).trimmed();
    }
};

TEST_F(ZorbMainForeign, ADatabaseWithCodeOrForeignObjectsIsRefusedUntouched)
{
    const QString good = MakeDataFile("good.den", QString());
    // The start-up marks a default account when none is: a write that would fire the triggers.
    const QString noDefault = "update Tb_Account set C = null;";
    const QString canary = "create table canary (x);";
    const struct {
        const char *name;
        QString sql;
        QString shown;
    } cases[] = {
        {"update.den", noDefault + canary + "create trigger t after update on Tb_Account begin "
                                            "insert into canary values (1); end;",
         U("таблица «canary», триггер «t»")},
        {"delete.den", canary + "create trigger wipe after delete on Tb_Hist begin delete from Tb_Log; "
                                "insert into canary values (1); end;",
         U("таблица «canary», триггер «wipe»")},
        {"slow.den", noDefault + "create trigger slow after update on Tb_Account begin select count(*) from "
                                 "(with recursive r(i) as (select 1 union all select i + 1 from r where "
                                 "i < 10000000000) select i from r); end;",
         U("триггер «slow»")},
        {"view.den", "create view Totals as select sum(Dt) from Tb_Hist;", U("представление «Totals»")},
        {"extra.den", "create table Extra (x); insert into Extra values (1);", U("таблица «Extra»")},
    };
    for (const auto &c : cases) {
        Derive(good, c.name, c.sql);
        const QByteArray before = TSandbox::Read(File(c.name));
        TModalScript script;
        script.Then(ShotAndOk(QStringLiteral("refused-") + QFileInfo(c.name).baseName()));
        QElapsedTimer clock;
        clock.start();
        auto f = Start({File(c.name)});
        EXPECT_LT(clock.elapsed(), 20000) << c.name;
        EXPECT_FALSE(f->ReadyToRun()) << c.name;
        EXPECT_EQ(Texts(script), QStringList{U("Файл не открыт: в его базе данных есть то, чего программа не "
                                               "создаёт: ") +
                                             c.shown + QStringLiteral(".\r") + File(c.name)})
            << c.name;
        EXPECT_EQ(TSandbox::Read(File(c.name)), before) << c.name;
        EXPECT_TRUE(IsFolderEmpty(f->WorkDir)) << c.name;
    }
    EXPECT_EQ(Canary(File("update.den")), "0");

    // Opened while the program runs: refused the same way; a new data set
    // takes its place and the refused file is not its file.
    auto f = Start({good});
    ASSERT_TRUE(f->ReadyToRun());
    const QByteArray before = TSandbox::Read(File("update.den"));
    TModalScript script;
    script.Press("OK");
    f->OpenPath(File("update.den"));
    EXPECT_EQ(Texts(script), QStringList{U("Файл не открыт: в его базе данных есть то, чего программа не создаёт: "
                                           "таблица «canary», триггер «t».\r") +
                                         File("update.den")});
    EXPECT_TRUE(f->Caption().isEmpty());
    EXPECT_TRUE(f->Dm->Tb_Account.Active());
    f->mCloseNotSaveClick(f.get());
    EXPECT_EQ(TSandbox::Read(File("update.den")), before);
}

TEST_F(ZorbMainForeign, ImpossibleAmountsOpenWithOneNoticeNamingTheAccount)
{
    const QString good = MakeDataFile("good.den", QString());
    Derive(good, "values.den",
           "insert into Tb_Hist (Id_Account, Date_Real, Date_Create, Kind, Dt, Level1) "
           "select Id_Account, 45000, 45000.5, '1', 'сто', 0 from Tb_Account where Account = 'Кошелёк';"
           "insert into Tb_Hist (Id_Account, Date_Real, Date_Create, Kind, Dt, Level1) "
           "select Id_Account, 45001, 45001.5, '1', 1e308, 0 from Tb_Account where Account = 'Кошелёк';"
           "insert into Tb_Hist (Id_Account, Date_Real, Date_Create, Kind, Ct, Level1) "
           "select Id_Account, 45002, 45002.5, '1', 222, 0 from Tb_Account where Account = 'Кошелёк';"
           "insert into Tb_Hist (Id_Account, Date_Real, Date_Create, Kind, Dt, Level1) "
           "select Id_Account, 45003, 45003.5, '1', 111, 0 from Tb_Account where Account = 'Мой первый счёт';");
    const QByteArray before = TSandbox::Read(File("values.den"));
    TModalScript script;
    script.Then(ShotAndOk(QStringLiteral("impossible-values")));
    auto f = Start({File("values.den")});
    ASSERT_TRUE(f->ReadyToRun());
    // NaN is stored as null: plain data. Text, 1e308 and infinity are told once.
    EXPECT_EQ(Texts(script),
              QStringList{U("В файле данных есть значения, которые программа не может учесть (текст в числовом "
                            "поле, число вне допустимых пределов):\rTb_Hist, строк: 3; счета: «Кошелёк»\rИтоги, в "
                            "которые они входят, неверны, пока значения не исправлены.")});
    EXPECT_EQ(f->Caption(), File("values.den"));
    EXPECT_FALSE(f->Dm->Modified());
    f->mCloseNotSaveClick(f.get());
    EXPECT_EQ(TSandbox::Read(File("values.den")), before);
}

} // namespace
} // namespace zorbel
