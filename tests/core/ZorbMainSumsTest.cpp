// The main window and the day sums kept between sessions: a file this
// user's program saved, or one remembered after its whole check, opens with
// its day sums in place, the same as the walk builds; a file whose contents
// changed since (edited and saved, or rewritten by another tool) never gets
// the sums of its earlier contents.
#include "ZorbMainRun.h"
#include "core/ZorbDm.h"
#include "core/ZorbSumsStore.h"
#include "support/ChildProcess.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>

namespace zorbel {
namespace {

class ZorbMainSums : public ZorbMainRun {
protected:
    static void Sql(TFormMain &f, const QString &sql)
    {
        f.Dm->Qtemp.Close();
        f.Dm->Qtemp.SQL() = QStringList{sql};
        f.Dm->Qtemp.ExecSQL();
    }
    // Operations of both classes over two accounts, across years.
    static void AddOperations(TFormMain &f, int count, int seed)
    {
        AddAccount(f, U("Банк"));
        TTransactionScope tx(f.Dm->Db);
        const int64_t today = int64_t(Date());
        for (int i = 0; i < count; ++i) {
            const int64_t day = today - 2000 + (i * 37 + seed) % 2400;
            Sql(f, QStringLiteral("insert into tb_hist(id_account,date_real,date_create,kind,dt,ct,level1,yr,mn) "
                                  "values(%1,%2,%3,'%4',%5,%6,0,2000,1)")
                       .arg(1 + i % 2)
                       .arg(day)
                       .arg(40000 + i)
                       .arg(day > today ? 2 : 1)
                       .arg(i % 3 == 0 ? QString::number(i * 1.25 + seed, 'f', 2) : QStringLiteral("null"))
                       .arg(i % 3 != 0 ? QString::number(i * 0.37, 'f', 2) : QStringLiteral("null")));
        }
        tx.Commit();
    }
    // A data file the program saved; with Walked its day sums were complete
    // at the save.
    QString MakeLedgerFile(const QString &name, bool walked)
    {
        ForgetRecentFile();
        TModalScript script;
        script.Press("Yes");
        auto f = Start();
        AddOperations(*f, 500, 3);
        saveAs = File(name);
        f->mSaveClick(f.get());
        saveAs.clear();
        EXPECT_FALSE(f->Dm->Modified());
        EXPECT_TRUE(Close(*f));
        EXPECT_TRUE(script.Finished());
        // The rows went in by statements: the opening brings the account's
        // stored balance to them once, and that is saved.
        {
            auto g = Start({File(name)});
            EXPECT_TRUE(g->Dm->Modified());
            g->Dm->HistSums.Drop();
            if (walked)
                g->Dm->HistSums.Build();
            g->mSaveClick(g.get());
            g->mCloseNotSaveClick(g.get());
        }
        auto g = Start({File(name)});
        EXPECT_FALSE(g->Dm->Modified());
        g->mCloseNotSaveClick(g.get());
        return File(name);
    }
    static int KeptFiles()
    {
        return int(QDir(TSumsStore::DefaultFolder()).entryList({"*.sums"}, QDir::Files).size());
    }
    // The sums as a walk builds them over the rows as they stand.
    static QByteArray Walked(TFormMain &f)
    {
        f.Dm->HistSums.Drop();
        f.Dm->HistSums.Build();
        return f.Dm->HistSums.Image();
    }
    // Shows the window and lets it walk the day sums in its slices.
    static void WalkInWindow(TFormMain &f)
    {
        f.Show();
        QElapsedTimer waited;
        waited.start();
        while (!f.Dm->HistSums.Ready() && waited.elapsed() < 10000) {
            QApplication::processEvents();
            QThread::msleep(2);
        }
        ASSERT_TRUE(f.Dm->HistSums.Ready());
        QApplication::processEvents();
    }
};

TEST_F(ZorbMainSums, ASavedFileOpensWithTheSumsTheWalkBuilds)
{
    const QString file = MakeLedgerFile("kept.den", true);
    EXPECT_EQ(KeptFiles(), 1);
    for (int round = 0; round < 2; ++round) {
        auto f = Start({file});
        ASSERT_TRUE(f->ReadyToRun());
        EXPECT_FALSE(f->Dm->CheckedWhole());
        // In place before the window has run a single event.
        ASSERT_TRUE(f->Dm->HistSums.Ready()) << round;
        const QByteArray loaded = f->Dm->HistSums.Image();
        ASSERT_FALSE(loaded.isEmpty());
        EXPECT_EQ(Walked(*f), loaded) << round;
        f->mCloseNotSaveClick(f.get());
    }
}

TEST_F(ZorbMainSums, ASaveBeforeTheWalkEndedKeepsTheSumsWhenItEnds)
{
    const QString file = MakeLedgerFile("late.den", false);
    EXPECT_EQ(KeptFiles(), 0);
    {
        auto f = Start({file});
        ASSERT_TRUE(f->ReadyToRun());
        EXPECT_FALSE(f->Dm->HistSums.Ready());
        WalkInWindow(*f);
        EXPECT_EQ(KeptFiles(), 1);
        f->mCloseNotSaveClick(f.get());
    }
    auto f = Start({file});
    ASSERT_TRUE(f->ReadyToRun());
    ASSERT_TRUE(f->Dm->HistSums.Ready());
    const QByteArray loaded = f->Dm->HistSums.Image();
    EXPECT_EQ(Walked(*f), loaded);
    f->mCloseNotSaveClick(f.get());
}

TEST_F(ZorbMainSums, ChangedContentsNeverGetTheSumsOfEarlierOnes)
{
    const QString file = MakeLedgerFile("changed.den", true);
    {
        // Edited and closed without saving: the file holds what it held.
        auto f = Start({file});
        ASSERT_TRUE(f->Dm->HistSums.Ready());
        Sql(*f, "update tb_hist set ct=coalesce(ct,0)+100 where rowid%4=0");
        f->Dm->SetModified(false);
        f->mCloseNotSaveClick(f.get());
    }
    QByteArray before;
    {
        auto f = Start({file});
        ASSERT_TRUE(f->Dm->HistSums.Ready());
        before = f->Dm->HistSums.Image();
        EXPECT_EQ(Walked(*f), before);
        // Edited (the balances stay) and saved: the saved contents keep sums
        // of their own.
        Sql(*f, "update tb_hist set dt=coalesce(dt,0)+7, ct=coalesce(ct,0)+7 where rowid%5=0");
        f->Dm->SetModified(true);
        f->mSaveClick(f.get());
        EXPECT_FALSE(f->Dm->Modified());
        f->mCloseNotSaveClick(f.get());
    }
    EXPECT_EQ(KeptFiles(), 2);
    {
        auto f = Start({file});
        ASSERT_TRUE(f->Dm->HistSums.Ready());
        const QByteArray loaded = f->Dm->HistSums.Image();
        EXPECT_NE(loaded, before);
        EXPECT_EQ(Walked(*f), loaded);
        f->mCloseNotSaveClick(f.get());
    }

    // Another tool changes two amounts of a row in the file (the balance
    // stays): contents new to the user,
    // checked whole and walked; remembered after the check, they keep their
    // sums once the walk ends.
    const test::TChildRun py = test::RunChild("python3", {"-c",
                         "import zipfile,sys,sqlite3,os\n"
                         "d=os.path.join(os.path.dirname(sys.argv[1]),'Zorbel.db')\n"
                         "open(d,'wb').write(zipfile.ZipFile(sys.argv[1]).read('Zorbel.db'))\n"
                         "c=sqlite3.connect(d)\n"
                         "c.create_collation('RUSSIAN',lambda a,b:(a>b)-(a<b))\n"
                         "c.execute('update Tb_Hist set Ct=coalesce(Ct,0)+1, Dt=coalesce(Dt,0)+1 where rowid=2'); c.commit(); c.close()\n"
                         "z=zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_DEFLATED); z.write(d,'Zorbel.db'); z.close()\n"
                         "os.remove(d)\n",
                         file});
    ASSERT_TRUE(py.Finished);
    ASSERT_EQ(py.ExitCode, 0) << py.Err.toStdString();
    {
        auto f = Start({file});
        ASSERT_TRUE(f->ReadyToRun());
        EXPECT_TRUE(f->Dm->CheckedWhole());
        EXPECT_FALSE(f->Dm->HistSums.Ready());
        WalkInWindow(*f);
        f->mCloseNotSaveClick(f.get());
    }
    EXPECT_EQ(KeptFiles(), 3);
    auto f = Start({file});
    EXPECT_FALSE(f->Dm->CheckedWhole());
    ASSERT_TRUE(f->Dm->HistSums.Ready());
    const QByteArray loaded = f->Dm->HistSums.Image();
    EXPECT_EQ(Walked(*f), loaded);
    f->mCloseNotSaveClick(f.get());
}

// A password keeps the file's figures from anyone without it: once the file
// has one, its sums are not kept in the user's folder, and those kept
// before are dropped.
TEST_F(ZorbMainSums, AFileWithAPasswordKeepsNoSums)
{
    const QString file = MakeLedgerFile("secret.den", true);
    ASSERT_EQ(KeptFiles(), 1);
    {
        auto f = Start({file});
        ASSERT_TRUE(f->Dm->HistSums.Ready());
        TModalScript script;
        script.Then(Password("тайна")).Then(Password("тайна")).Press("OK");
        f->mPasswordClick(f.get());
        EXPECT_TRUE(script.Finished()) << Texts(script).join(" | ").toStdString();
        f->Dm->SetModified(true);
        f->mSaveClick(f.get());
        EXPECT_FALSE(f->Dm->Modified());
        f->mCloseNotSaveClick(f.get());
    }
    EXPECT_EQ(KeptFiles(), 0);
    for (int round = 0; round < 2; ++round) {
        TModalScript open;
        open.Then(Password("тайна"));
        auto f = Start({file});
        ASSERT_TRUE(f->ReadyToRun());
        EXPECT_TRUE(open.Finished()) << Texts(open).join(" | ").toStdString();
        EXPECT_FALSE(f->Dm->HistSums.Ready()) << round;
        WalkInWindow(*f);
        EXPECT_EQ(KeptFiles(), 0) << round;
        f->mCloseNotSaveClick(f.get());
    }
}

} // namespace
} // namespace zorbel
