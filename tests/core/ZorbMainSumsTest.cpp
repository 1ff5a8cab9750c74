// The main window and the day sums kept between sessions: a file this
// user's program saved, or one remembered after its whole check, opens with
// its day sums in place, the same as the walk builds; a file whose contents
// changed since (edited and saved, or rewritten by another tool) never gets
// the sums of its earlier contents.
#include "ZorbMainRun.h"
#include "core/ZorbDm.h"
#include "core/ZorbSumsStore.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/StrUtils.h"
#include "platform/sqltable/Sqlite.h"
#include "support/ChildProcess.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <cstring>
#include <functional>

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
    // Shows the window and lets it walk the day sums in its slices (over
    // sums taken back: the walk that checks them).
    static void WalkInWindow(TFormMain &f)
    {
        f.Show();
        QElapsedTimer waited;
        waited.start();
        while (!f.Dm->HistSums.Checked() && waited.elapsed() < 10000) {
            QApplication::processEvents();
            QThread::msleep(2);
        }
        ASSERT_TRUE(f.Dm->HistSums.Checked());
        QApplication::processEvents();
    }
    // Another tool runs Sql on the database inside the data file and packs
    // it again (the contents are new to the user).
    static void RewriteWithPython(const QString &file, const QString &sql)
    {
        const test::TChildRun py = test::RunChild("python3", {"-c",
                             "import zipfile,sys,sqlite3,os\n"
                             "d=os.path.join(os.path.dirname(sys.argv[1]),'Zorbel.db')\n"
                             "open(d,'wb').write(zipfile.ZipFile(sys.argv[1]).read('Zorbel.db'))\n"
                             "c=sqlite3.connect(d)\n"
                             "c.create_collation('RUSSIAN',lambda a,b:(a>b)-(a<b))\n"
                             "c.executescript(sys.argv[2]); c.commit(); c.close()\n"
                             "z=zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_DEFLATED); z.write(d,'Zorbel.db'); z.close()\n"
                             "os.remove(d)\n",
                             file, sql});
        ASSERT_TRUE(py.Finished);
        ASSERT_EQ(py.ExitCode, 0) << py.Err.toStdString();
    }
    // A number the open data set's rows give (one value of one statement).
    static int64_t Number(TFormMain &f, const QString &sql)
    {
        TSqliteStatement st(f.Dm->Db.Db(), sql);
        EXPECT_TRUE(st.Step()) << sql.toStdString();
        return st.ColumnInt(0);
    }
    // Units of 1/10000 of an amount column, summed row by row.
    static QString Units(const char *column)
    {
        return QStringLiteral("coalesce(sum(cast(round(coalesce(%1,0)*10000) as integer)),0)").arg(QLatin1String(column));
    }
    static QString MoneyText(int64_t units)
    {
        return Trim(FormatFloat(QStringLiteral("#,##0.00"), double(units) / 10000));
    }
    // The current account's Rest, and Beg plus its realised rows, in units.
    static std::pair<int64_t, int64_t> RestAndRows(TFormMain &f)
    {
        const int account = f.Dm->Tb_Account.FieldByName("Id_Account")->AsInteger();
        const QString where = QStringLiteral(" from tb_hist where id_account=%1 and kind='1'").arg(account);
        const int64_t rest = Number(f, QStringLiteral("select cast(round(rest*10000) as integer) from tb_account "
                                                     "where id_account=%1").arg(account));
        const int64_t beg = Number(f, QStringLiteral("select cast(round(coalesce(beg,0)*10000) as integer) from "
                                                    "tb_account where id_account=%1").arg(account));
        return {rest, beg + Number(f, "select " + Units("dt") + " - " + Units("ct") + where)};
    }
    // The status bar's start, income, expense and end as the rows give them
    // for the current account and the viewed period.
    static std::vector<QString> PanelsFromRows(TFormMain &f)
    {
        const int account = f.Dm->Tb_Account.FieldByName("Id_Account")->AsInteger();
        const auto sum = [&](const char *column, const QString &days) {
            return Number(f, "select " + Units(column) +
                                 QStringLiteral(" from tb_hist where id_account=%1 and kind='1' and ").arg(account) + days);
        };
        const QString before = QStringLiteral("date_real<%1").arg(qint64(f.PeriodBegin));
        const QString within = QStringLiteral("date_real between %1 and %2").arg(qint64(f.PeriodBegin)).arg(qint64(f.PeriodEnd));
        const int64_t beg = Number(f, QStringLiteral("select cast(round(coalesce(beg,0)*10000) as integer) from "
                                                    "tb_account where id_account=%1").arg(account));
        const int64_t opening = beg + sum("dt", before) - sum("ct", before);
        const int64_t in = sum("dt", within), out = sum("ct", within);
        return {MoneyText(opening), MoneyText(in), MoneyText(out), MoneyText(opening + in - out)};
    }
    static std::vector<QString> Panels(TFormMain &f)
    {
        std::vector<QString> texts;
        for (int panel : {1, 3, 5, 7})
            texts.push_back(f.Sb->PanelText(panel).section(QStringLiteral("  "), 0, 0));
        return texts;
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
    RewriteWithPython(file, "update Tb_Hist set Ct=coalesce(Ct,0)+1, Dt=coalesce(Dt,0)+1 where rowid=2");
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

// A file received from elsewhere is checked whole at its first opening and
// remembered; its day sums are kept once the window has walked them, also
// when its opening writes to it (the default account's mark, the years and
// months of its rows, the index of the balance sums: all of it again at
// every opening until the user saves), so its next opening needs no walk. A
// change of an amount before the walk ends keeps none for those contents.
TEST_F(ZorbMainSums, AReceivedFileKeepsItsSumsFromItsFirstCheckedOpening)
{
    const QString made = MakeLedgerFile("made.den", true);
    const QByteArray original = TSandbox::Read(made);
    struct TCase {
        const char *What;
        const char *Sql;  // what the other tool did to the file
        bool EditBeforeTheWalk = false;
    };
    const TCase cases[] = {
        {"without the default account's mark", "update Tb_Account set C=null"},
        {"with rows whose years are missing", "update Tb_Hist set Yr=null, Mn=null where rowid%3=0"},
        {"without the index of the balance sums", "drop index Tb_Hist_Cover"},
        {"an amount changed before the walk ended", "", true},
    };
    int n = 0;
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.What);
        // Each case its own contents: a comment of its own on one row.
        const QString file = File(QStringLiteral("received%1.den").arg(n));
        TSandbox::Write(file, original);
        RewriteWithPython(file, QStringLiteral("update Tb_Hist set Comment='%1' where rowid=1; %2").arg(n++).arg(c.Sql));
        const int kept = KeptFiles();
        {
            auto f = Start({file});
            ASSERT_TRUE(f->ReadyToRun());
            EXPECT_TRUE(f->Dm->CheckedWhole());
            EXPECT_FALSE(f->Dm->HistSums.Ready());
            if (c.EditBeforeTheWalk)
                Sql(*f, "update tb_hist set ct=coalesce(ct,0)+1 where rowid=5");
            WalkInWindow(*f);
            f->Dm->SetModified(false); // not saved: the file stays as received
            f->mCloseNotSaveClick(f.get());
        }
        EXPECT_EQ(KeptFiles(), kept + (c.EditBeforeTheWalk ? 0 : 1));
        auto f = Start({file});
        ASSERT_TRUE(f->ReadyToRun());
        EXPECT_FALSE(f->Dm->CheckedWhole());
        EXPECT_EQ(f->Dm->HistSums.Ready(), !c.EditBeforeTheWalk);
        if (f->Dm->HistSums.Ready()) {
            const QByteArray loaded = f->Dm->HistSums.Image();
            EXPECT_EQ(Walked(*f), loaded);
        }
        f->Dm->SetModified(false);
        f->mCloseNotSaveClick(f.get());
    }
}

// Kept day sums that were edited and sealed again (or damaged by a fault of
// the program's own) answer at the opening, but decide no stored balance:
// the whole-period repair reads the rows while they are unchecked. The walk
// checks them in the window's slices and replaces them; from then on every
// figure of the status bar is the rows', the file kept for the contents
// holds the walked sums, and the saved file's balances are the rows'.
TEST_F(ZorbMainSums, EditedKeptSumsNeverReachAFigureOrAStoredBalance)
{
    const QString made = MakeLedgerFile("edited.den", true);
    const QByteArray original = TSandbox::Read(made);
    QString account;
    int64_t firstDay = 0;
    {
        auto f = Start({made});
        const int id = int(Number(*f, "select min(id_account) from tb_hist"));
        ASSERT_TRUE(f->Dm->Tb_Account.Locate("Id_Account", Variant(id), {}));
        account = f->Dm->Tb_Account.FieldByName("Account")->AsString();
        firstDay = Number(*f, QStringLiteral("select min(date_real) from tb_hist where id_account=%1 and kind='1'").arg(id));
        f->mCloseNotSaveClick(f.get());
    }
    // The kept file: a header of 60 bytes, the image, the SHA-256 of all
    // before. In the image, after 60 bytes of its own, the first account:
    // its number and three counts, then its realised days (a count, then
    // each day: the day, Dt and Ct in 16 bytes each).
    constexpr qsizetype FirstDay = 60 + 60 + 32 + 4, SecondDay = FirstDay + 40;
    const auto addCt = [](QByteArray &b, qsizetype day, int64_t units) {
        int64_t ct = 0;
        std::memcpy(&ct, b.constData() + day + 24, 8);
        ct += units;
        std::memcpy(b.data() + day + 24, &ct, 8);
    };
    struct TCase {
        const char *What;
        std::function<void(QByteArray &)> Edit;
        // The edit contradicts the stored balance in the opening's
        // whole-period view: the rows are read at once and the sums dropped.
        // Else it shows in the first day's view until the walk has checked it.
        bool SeenAtOpening;
    };
    const TCase cases[] = {
        {"an expense added to a day", [&](QByteArray &b) { addCt(b, FirstDay, 1234567890100); }, true},
        {"an expense moved between days, the total kept",
         [&](QByteArray &b) {
             addCt(b, FirstDay, 987654321000);
             addCt(b, SecondDay, -987654321000);
         },
         false},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.What);
        TSandbox::Write(made, original);
        const QDir folder(TSumsStore::DefaultFolder());
        const QStringList files = folder.entryList({"*.sums"}, QDir::Files);
        ASSERT_EQ(files.size(), 1);
        const QString kept = folder.filePath(files[0]);
        QByteArray bytes = TSandbox::Read(kept);
        const QByteArray sound = bytes;
        int64_t day = 0;
        std::memcpy(&day, bytes.constData() + FirstDay, 8);
        ASSERT_EQ(day, firstDay);
        c.Edit(bytes);
        bytes.chop(32);
        const TSha256 seal = TDigestAhead::Of(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
        bytes.append(reinterpret_cast<const char *>(seal.data()), qsizetype(seal.size()));
        TSandbox::Write(kept, bytes);

        auto f = Start({made, account});
        ASSERT_TRUE(f->ReadyToRun());
        ASSERT_EQ(f->Dm->Tb_Account.FieldByName("Account")->AsString(), account);
        ASSERT_EQ(f->PeriodKind(), pkTotal);
        // The opening's whole-period view: the stored balance stays the rows'.
        const auto [rest, rows] = RestAndRows(*f);
        EXPECT_EQ(MoneyText(rest), MoneyText(rows));
        EXPECT_EQ(f->Dm->HistSums.Ready(), !c.SeenAtOpening);
        EXPECT_FALSE(f->Dm->HistSums.Checked());
        const int corrections = f->Dm->HistSums.Corrections();
        if (!c.SeenAtOpening) {
            f->EntryDate = double(firstDay);
            f->CbPer->SetItemIndex(pkDay);
            f->CbPerClick(f->CbPer);
            EXPECT_NE(Panels(*f), PanelsFromRows(*f)) << "the edited sums answer until checked";
        }
        WalkInWindow(*f);
        EXPECT_EQ(f->Dm->HistSums.Corrections(), corrections + (c.SeenAtOpening ? 0 : 1));
        EXPECT_EQ(Panels(*f), PanelsFromRows(*f));
        // The kept file holds the walked sums again.
        EXPECT_EQ(TSandbox::Read(kept), sound);
        // What a save writes: the rows' balance.
        f->CbPer->SetItemIndex(pkTotal);
        f->CbPerClick(f->CbPer);
        EXPECT_EQ(Panels(*f), PanelsFromRows(*f));
        const auto [saved, sum] = RestAndRows(*f);
        EXPECT_EQ(MoneyText(saved), MoneyText(sum));
        f->Dm->SetModified(false);
        f->mCloseNotSaveClick(f.get());
    }
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
