// The day sums kept between sessions: an image taken back answers every sum
// and row count exactly as the walk of the same rows does, and goes on
// following writes; an image or a kept file that is damaged, truncated,
// written for other contents or of another format is refused, and so are
// sums of contents that have changed since they were named.
#include "core/ZorbSums.h"
#include "core/ZorbSumsStore.h"

#include "ZorbPostFixture.h"
#include "ZorbSandbox.h"
#include "platform/rtl/Money.h"
#include "platform/sqltable/Database.h"
#include "platform/system/SysEnv.h"
#include "platform/system/SysPaths.h"
#include "support/RawNames.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <cstring>
#include <functional>
#include <optional>
#include <random>
#include <sqlite3.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace zorbel {
namespace {

using namespace zorbel::test;

TContentKey Key(const QByteArray &Seed, int64_t Size)
{
    return {TDigestAhead::Of(reinterpret_cast<const uint8_t *>(Seed.constData()), size_t(Seed.size())), Size};
}

class SumsImageTest : public PostTest {
protected:
    void Sql(const QString &sql)
    {
        dm.Qtemp.Close();
        dm.Qtemp.SQL() = QStringList{sql};
        dm.Qtemp.ExecSQL();
    }

    // Rows of both classes over accounts 1..4 and days across every block
    // level, with cents, nulls and computed amounts; then rows the sums do
    // not model: a text amount and another kind (account 3's sums are left
    // to the queries), a date with a time and no date (account 4's sums and
    // ranges of days).
    void Fill()
    {
        const TDateTime today = Date();
        std::mt19937 random(7);
        TTransactionScope tx(dm.Db);
        for (int i = 0; i < 600; ++i) {
            const int account = 1 + int(random() % 4);
            const int64_t day = int64_t(today) - 6000 + int64_t(random() % 9000);
            const QString kind = day > int64_t(today) && random() % 2 ? "'2'" : "'1'";
            const QString dt = random() % 3 == 0 ? QString::number((random() % 1000000) / 100.0, 'f', 2) : "null";
            const QString ct = random() % 2 == 0 ? QString::number((random() % 100000) / 100.0, 'f', 2) : "null";
            Sql(QStringLiteral("insert into tb_hist(id_account,date_real,date_create,kind,dt,ct,level1) "
                               "values(%1,%2,%3,%4,%5,%6,0)")
                    .arg(account)
                    .arg(day)
                    .arg(40000 + i)
                    .arg(kind, dt, ct));
        }
        const QString insert = QStringLiteral("insert into tb_hist(id_account,date_real,date_create,kind,dt,ct) "
                                              "values(%1,%2,%3,%4,%5,%6)");
        Sql(insert.arg(3).arg(qint64(today)).arg(41000.3).arg("'1'").arg("'много'").arg("null"));
        Sql(insert.arg(3).arg(qint64(today)).arg(41000.4).arg("'3'").arg(1).arg("null"));
        Sql(insert.arg(4).arg(double(today) - 0.5).arg(41000.1).arg("'1'").arg("null").arg(5));
        Sql(insert.arg(4).arg("null").arg(41000.2).arg("'1'").arg(7).arg("null"));
        Sql(insert.arg(1).arg(qint64(today) - 1).arg(41000.5).arg("'1'").arg("null").arg(0.1 + 0.2));
        tx.Commit();
    }

    // Every answer the sums give (or refuse), as text: sums of both classes,
    // row counts whole and by days, realised row counts, for the accounts
    // and one that has no rows, over ranges that cross every block level.
    std::vector<std::string> Answers()
    {
        const TDateTime t = Date();
        const std::pair<TDateTime, TDateTime> ranges[] = {
            {0, t - 1},         {t, t},         {t - 40, t + 40},     {t - 63, t + 1},    {t - 4100, t - 1},
            {t - 70, t - 64},   {-800000, 2958465}, {t + 1, t + 100000}, {t - 10000, t + 10000}, {t + 5, t - 5},
            {t - 262200, t - 4000}};
        std::vector<std::string> out;
        const auto opt = [](const std::optional<int64_t> &n) { return n ? std::to_string(*n) : std::string("-"); };
        for (int account = 1; account <= 5; ++account) {
            out.push_back("rows " + std::to_string(account) + " " + opt(dm.HistSums.Rows(account, true, 0, 0)));
            for (const auto &[d1, d2] : ranges) {
                const std::string at = std::to_string(account) + " " + std::to_string(d1) + ".." + std::to_string(d2);
                for (const TSumClass kind : {TSumClass::Realised, TSumClass::Planned}) {
                    int64_t in = -1, out1 = -1;
                    out.push_back(dm.HistSums.Sums(account, kind, d1, d2, in, out1)
                                      ? "sums " + at + " " + std::to_string(in) + " " + std::to_string(out1)
                                      : "sums " + at + " -");
                }
                out.push_back("days " + at + " " + opt(dm.HistSums.Rows(account, false, d1, d2)));
                out.push_back("realised " + at + " " + opt(dm.HistSums.RealisedRows(account, d1, d2)));
            }
        }
        return out;
    }

    // The answers of a walk over the rows as they stand now.
    std::vector<std::string> WalkedAnswers()
    {
        dm.HistSums.Drop();
        dm.HistSums.Build();
        EXPECT_TRUE(dm.HistSums.Ready());
        return Answers();
    }

    // A new connection to the same file, as the next session opens it.
    void Reopen()
    {
        ASSERT_TRUE(dm.OpenDataSet({}).Opened);
        ASSERT_FALSE(dm.HistSums.Ready());
    }

    // A cell of an image (THistSums::Image): where it lies, whose it is
    // (and where its account begins), its series (0 realised, 1 planned, 2
    // row counts) and its day.
    struct TCellAt {
        qsizetype At = 0;
        int64_t Account = 0;
        qsizetype AccountAt = 0;
        int Series = 0;
        int64_t Day = 0;
    };
    static int64_t I64(const QByteArray &b, qsizetype at)
    {
        int64_t v = 0;
        std::memcpy(&v, b.constData() + at, 8);
        return v;
    }
    static std::vector<TCellAt> ImageCells(const QByteArray &image)
    {
        const auto u32 = [&](qsizetype at) {
            uint32_t v = 0;
            std::memcpy(&v, image.constData() + at, 4);
            return v;
        };
        std::vector<TCellAt> cells;
        qsizetype at = 4 + 8 + 20 + 24;
        const uint32_t accountCount = u32(at);
        at += 4;
        for (uint32_t a = 0; a < accountCount; ++a) {
            const qsizetype accountAt = at;
            const int64_t id = I64(image, at);
            at += 32;
            for (int series = 0; series < 3; ++series) {
                const uint32_t days = u32(at);
                at += 4;
                for (uint32_t d = 0; d < days; ++d, at += 40)
                    cells.push_back({at, id, accountAt, series, I64(image, at)});
            }
        }
        EXPECT_EQ(at, image.size());
        return cells;
    }
    static TCellAt Cell(const std::vector<TCellAt> &cells, int64_t account, int series, size_t nth)
    {
        size_t seen = 0;
        for (const TCellAt &c : cells)
            if (c.Account == account && c.Series == series && seen++ == nth)
                return c;
        ADD_FAILURE() << "no cell " << nth << " of account " << account << " series " << series;
        return TCellAt{};
    }
    // Adds units to the low half of a 128-bit total in an image (the
    // totals stay far below 2^63: nothing carries into the high half).
    static void AddUnits(QByteArray &b, qsizetype where, int64_t units)
    {
        const int64_t v = I64(b, where) + units;
        std::memcpy(b.data() + where, &v, 8);
    }

    // How many answers are given at all (not refused for the queries).
    static int Given(const std::vector<std::string> &answers)
    {
        int n = 0;
        for (const std::string &a : answers)
            n += a.back() != '-' ? 1 : 0;
        return n;
    }
};

TEST_F(SumsImageTest, AnAdoptedImageAnswersAsTheWalkAndFollowsWrites)
{
    Fill();
    const std::vector<std::string> walked = WalkedAnswers();
    // Accounts 3 and 4 hold rows not modelled: some answers are refused.
    EXPECT_LT(Given(walked), int(walked.size()));
    EXPECT_GT(Given(walked), int(walked.size()) * 3 / 5);
    const QByteArray image = dm.HistSums.Image();
    ASSERT_FALSE(image.isEmpty());

    Reopen();
    ASSERT_TRUE(dm.HistSums.Adopt(image));
    ASSERT_TRUE(dm.HistSums.Ready());
    EXPECT_EQ(Answers(), walked);
    EXPECT_EQ(dm.HistSums.Image(), image);

    // Writes after the adoption reach the sums as after a walk, the row the
    // sums could not model among them.
    Sql(QStringLiteral("update tb_hist set ct=ct+1.25, date_real=date_real-64 where rowid%5=0"));
    Sql(QStringLiteral("delete from tb_hist where dt='много' or kind='3'"));
    Sql(QStringLiteral("insert into tb_hist(id_account,date_real,date_create,kind,dt) values(2,%1,42000,'2',99.99)")
            .arg(qint64(Date()) + 4096));
    ASSERT_TRUE(dm.HistSums.Ready());
    const std::vector<std::string> followed = Answers();
    EXPECT_EQ(followed, WalkedAnswers());
    EXPECT_GT(Given(followed), Given(walked)); // account 3 is answered again
}

TEST_F(SumsImageTest, RowsWithAnAccountThatIsNoWholeNumberTravelInTheImage)
{
    Fill();
    Sql(QStringLiteral("insert into tb_hist(id_account,date_real,date_create,kind,dt) values(1.5,%1,41000.9,'1',3)")
            .arg(qint64(Date())));
    const std::vector<std::string> walked = WalkedAnswers();
    EXPECT_EQ(Given(walked), 0);
    const QByteArray image = dm.HistSums.Image();
    Reopen();
    ASSERT_TRUE(dm.HistSums.Adopt(image));
    EXPECT_EQ(Answers(), walked);
    Sql(QStringLiteral("delete from tb_hist where id_account=1.5"));
    const std::vector<std::string> after = Answers();
    EXPECT_GT(Given(after), 0);
    EXPECT_EQ(after, WalkedAnswers());
}

TEST_F(SumsImageTest, AnImageThatIsDamagedOrDoesNotFitTheTableIsRefused)
{
    Fill();
    dm.HistSums.Build();
    const QByteArray image = dm.HistSums.Image();
    const std::vector<std::string> walked = Answers();
    ASSERT_GT(image.size(), 1000);

    // Refused: the cache stays as it was (here: the walk's).
    const auto refused = [&](const QByteArray &bytes, const char *what) {
        SCOPED_TRACE(what);
        EXPECT_FALSE(dm.HistSums.Adopt(bytes));
        ASSERT_TRUE(dm.HistSums.Ready());
        EXPECT_EQ(Answers(), walked);
    };
    refused(QByteArray(), "empty");
    for (qsizetype n = 1; n < image.size(); n += 997)
        refused(image.left(n), "truncated");
    refused(image.left(image.size() - 1), "one byte short");
    refused(image + '\0', "one byte more");
    QByteArray format = image;
    format[0] = char(format[0] + 1);
    refused(format, "another format");
    QByteArray accounts = image;
    accounts[4 + 8 + 20 + 24] = char(0x7f); // the number of accounts
    refused(accounts, "a count past the end");

    // Images of the table as it stood before a change.
    Reopen();
    Sql(QStringLiteral("insert into tb_hist(id_account,date_real,date_create,kind,dt) values(1,%1,41001,'1',3)")
            .arg(qint64(Date())));
    EXPECT_FALSE(dm.HistSums.Adopt(image)) << "one row more";
    Sql(QStringLiteral("delete from tb_hist where rowid=(select min(rowid) from tb_hist)"));
    EXPECT_FALSE(dm.HistSums.Adopt(image)) << "as many rows, the last one another";
    Sql(QStringLiteral("delete from tb_hist where rowid=(select max(rowid) from tb_hist)"));
    Sql(QStringLiteral("update tb_hist set ct=coalesce(ct,0)+1 where rowid=(select min(rowid) from tb_hist)"));
    dm.HistSums.Build();
    const QByteArray same = dm.HistSums.Image();
    Reopen();
    Sql(QStringLiteral("alter table tb_hist add column spare integer"));
    EXPECT_FALSE(dm.HistSums.Adopt(same)) << "a new schema";
    EXPECT_FALSE(dm.HistSums.Ready());
}

// An image that fits the table but whose cells are not the rows' (damaged
// by a fault of the program's own, or edited and sealed again) answers until
// the walk has checked it, and then never again: the walked cells replace it,
// writes made while the walk checks are followed by both, and a sound image
// passes its check unchanged.
TEST_F(SumsImageTest, AnImageTakenBackIsCheckedAgainstTheRows)
{
    Fill();
    dm.HistSums.Build();
    const QByteArray image = dm.HistSums.Image();
    // Each case starts from the rows the image was made of.
    const QString file = dm.Db.FileName(), kept = file + ".kept";
    dm.Db.Close();
    ASSERT_TRUE(QFile::copy(file, kept));

    const std::vector<TCellAt> cells = ImageCells(image);
    std::vector<std::pair<qsizetype, int64_t>> accounts; // where each account's row count lies
    for (const TCellAt &c : cells)
        if (accounts.empty() || accounts.back().second != c.Account)
            accounts.emplace_back(c.AccountAt + 8, c.Account);
    const auto cell = [&](int64_t account, int series, size_t nth) { return Cell(cells, account, series, nth); };
    const auto add = AddUnits;

    struct TCase {
        const char *What;
        std::function<void(QByteArray &)> Tamper;
    };
    const TCase cases[] = {
        {"sound", [](QByteArray &) {}},
        {"one unit more on a day", [&](QByteArray &b) { add(b, cell(1, 0, 3).At + 8, 1); }},
        {"an expense moved to another day, the account's total kept",
         [&](QByteArray &b) {
             add(b, cell(2, 0, 5).At + 24, 70000);
             add(b, cell(2, 0, 40).At + 24, -70000);
         }},
        {"a planned day changed", [&](QByteArray &b) { add(b, cell(1, 1, 0).At + 24, 123456789); }},
        {"a row counted in another account",
         [&](QByteArray &b) {
             add(b, accounts[0].first, -1);
             add(b, accounts[1].first, 1);
         }},
        {"a day's sums moved to the day before",
         [&](QByteArray &b) {
             for (size_t k = 1;; ++k) {
                 const TCellAt c = cell(3, 0, k), before = cell(3, 0, k - 1);
                 if (c.Day - before.Day > 1) {
                     add(b, c.At, -1);
                     return;
                 }
             }
         }},
    };
    int visible = 0; // tampered images whose answers differ from the rows'
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.What);
        QByteArray bytes = image;
        c.Tamper(bytes);
        const bool sound = bytes == image;
        dm.Db.Close();
        ASSERT_TRUE(QFile::remove(file) && QFile::copy(kept, file));
        Reopen();
        const std::vector<std::string> rows = WalkedAnswers();
        dm.HistSums.Drop();
        ASSERT_TRUE(dm.HistSums.Adopt(bytes));
        ASSERT_TRUE(dm.HistSums.Ready());
        EXPECT_FALSE(dm.HistSums.Checked());
        EXPECT_EQ(dm.HistSums.Image() == image, sound);
        const bool shown = Answers() != rows;
        EXPECT_FALSE(sound && shown);
        visible += shown ? 1 : 0;
        // The check walks in slices, and the rows change between them: below
        // its position, beyond it, a row added and one taken away.
        const int corrections = dm.HistSums.Corrections();
        ASSERT_EQ(dm.HistSums.BuildFor(0), THistSums::TProgress::Going);
        ASSERT_TRUE(dm.HistSums.Building());
        EXPECT_FALSE(dm.HistSums.Checked());
        Sql(QStringLiteral("update tb_hist set ct=coalesce(ct,0)+2.5, date_real=date_real+1 where rowid in (3,590)"));
        Sql(QStringLiteral("insert into tb_hist(id_account,date_real,date_create,kind,dt) values(2,%1,43000,'1',9.99)")
                .arg(qint64(Date()) - 3));
        Sql(QStringLiteral("delete from tb_hist where rowid in (7,480)"));
        for (int slice = 0; dm.HistSums.BuildFor(0) == THistSums::TProgress::Going; ++slice)
            ASSERT_LT(slice, 100);
        ASSERT_TRUE(dm.HistSums.Checked());
        EXPECT_EQ(dm.HistSums.Corrections(), corrections + (sound ? 0 : 1));
        const std::vector<std::string> checked = Answers();
        EXPECT_EQ(checked, WalkedAnswers());
    }
    EXPECT_GE(visible, 4);
}

// Until the walk has checked it, an image taken back decides no write: the
// bound of an account's balance with its planned rows reads the rows, so an
// image that claims planned expenses past the bound refuses nothing.
TEST_F(SumsImageTest, AnUncheckedImageDecidesNoBound)
{
    Fill();
    dm.HistSums.Build();
    QByteArray image = dm.HistSums.Image();
    AddUnits(image, Cell(ImageCells(image), 1, 1, 0).At + 24, int64_t(BalanceLimit) * 20000);
    Reopen();
    ASSERT_TRUE(dm.HistSums.Adopt(image));
    ASSERT_FALSE(dm.HistSums.Checked());
    GoAccount(1);
    const int planned = Count(QStringLiteral("kind='2' and id_account=1"));
    EXPECT_NO_THROW(Add(TCardMode::Expense, Bread(), 5, Date() + 30));
    EXPECT_EQ(Count(QStringLiteral("kind='2' and id_account=1")), planned + 1);
}

class SumsStoreTest : public SumsImageTest {
protected:
    TSandbox box;
    const TContentKey key = Key("contents", 4096);
    QString Folder() const { return box.Path("data/zorbel/sums"); }
    static int Mode(const QString &path)
    {
        struct stat st {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
    }
};

TEST_F(SumsStoreTest, KeptSumsComeBackForTheSameContentsOnly)
{
    Fill();
    TSumsStore store(Folder());
    dm.HistSums.Build();
    const std::vector<std::string> walked = Answers();
    store.Save(dm.HistSums); // no contents named: nothing kept
    EXPECT_FALSE(QFileInfo::exists(Folder()));
    dm.HistSums.NameContents(key);
    store.Save(dm.HistSums);
    const QString file = store.FileFor(key);
    ASSERT_TRUE(QFileInfo(file).isFile());
    EXPECT_EQ(Mode(file), 0600);
    EXPECT_EQ(Mode(Folder()), 0700);

    Reopen();
    EXPECT_FALSE(store.Load(dm.HistSums)) << "no contents named";
    dm.HistSums.NameContents(Key("other", 4096));
    EXPECT_FALSE(store.Load(dm.HistSums)) << "other contents";
    dm.HistSums.NameContents(key);
    ASSERT_TRUE(store.Load(dm.HistSums));
    EXPECT_EQ(Answers(), walked);

    // A change makes them other contents: the file is neither taken nor
    // written over.
    const QByteArray kept = TSandbox::Read(file);
    Add(TCardMode::Expense, Bread(), 5, Date());
    EXPECT_FALSE(dm.HistSums.Contents().Valid());
    store.Save(dm.HistSums);
    EXPECT_EQ(TSandbox::Read(file), kept);
    Reopen();
    dm.HistSums.NameContents(key);
    EXPECT_FALSE(store.Load(dm.HistSums)) << "one row more than the kept sums";
    EXPECT_FALSE(dm.HistSums.Ready());
}

TEST_F(SumsStoreTest, AChangeByAnotherConnectionOrTheSchemaEndsTheContents)
{
    dm.HistSums.NameContents(key);
    EXPECT_EQ(dm.HistSums.Contents(), key);
    EXPECT_EQ(Count(QStringLiteral("1")), 0); // reading changes nothing
    EXPECT_EQ(dm.HistSums.Contents(), key);
    // Another program writes to the work copy between the program's statements.
    dm.Db.ReleaseStatements();
    sqlite3 *other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(dm.Db.FileName()).constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "create table spare(x); insert into spare values(1)", nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(other);
    EXPECT_FALSE(dm.HistSums.Contents().Valid());
    EXPECT_FALSE(dm.HistSums.Contents().Valid()) << "for good";

    dm.HistSums.NameContents(key);
    Sql(QStringLiteral("create index spare_x on spare(x)"));
    EXPECT_FALSE(dm.HistSums.Contents().Valid());
    Sql(QStringLiteral("drop table spare"));
    dm.HistSums.NameContents(key);
    ASSERT_TRUE(dm.OpenDataSet({}).Opened);
    EXPECT_FALSE(dm.HistSums.Contents().Valid()) << "another connection";
}

TEST_F(SumsStoreTest, ADamagedOrForeignFileIsPassedOver)
{
    Fill();
    TSumsStore store(Folder());
    dm.HistSums.Build();
    dm.HistSums.NameContents(key);
    store.Save(dm.HistSums);
    const QString file = store.FileFor(key);
    const QByteArray good = TSandbox::Read(file);
    ASSERT_GT(good.size(), 1000);
    const auto passedOver = [&](const QByteArray &bytes, const std::string &what) {
        SCOPED_TRACE(what);
        TSandbox::Write(file, bytes);
        dm.HistSums.Drop();
        dm.HistSums.NameContents(key);
        EXPECT_FALSE(store.Load(dm.HistSums));
        EXPECT_FALSE(dm.HistSums.Ready());
    };
    // Any byte changed: the header, the image, the trailing digest.
    for (qsizetype at = 0; at < good.size(); at += at < 100 ? 1 : 1009) {
        QByteArray bad = good;
        bad[at] = char(bad[at] ^ 0x20);
        passedOver(bad, "byte " + std::to_string(at));
    }
    QByteArray last = good;
    last[last.size() - 1] = char(last[last.size() - 1] ^ 1);
    passedOver(last, "the last byte");
    for (qsizetype n : {qsizetype(0), qsizetype(8), qsizetype(60), good.size() / 2, good.size() - 1})
        passedOver(good.left(n), "truncated to " + std::to_string(n));
    passedOver(good + "x", "a byte more");
    // Sound sums of other contents under this name.
    dm.HistSums.NameContents(Key("other", 1));
    store.Save(dm.HistSums);
    passedOver(TSandbox::Read(store.FileFor(Key("other", 1))), "written for other contents");

    // A folder in its place, or a file that cannot be read.
    QFile::remove(file);
    QDir().mkpath(file);
    Reopen();
    dm.HistSums.NameContents(key);
    EXPECT_FALSE(store.Load(dm.HistSums));
    QDir().rmdir(file);

    TSandbox::Write(file, good);
    Reopen();
    dm.HistSums.NameContents(key);
    EXPECT_TRUE(store.Load(dm.HistSums)) << "the good file is taken";
}

// The kept sums are trusted as the user's own files are: a folder that
// leads elsewhere (a link, another user's folder, a link in place of the
// program's data folder) neither takes them nor gives them back, and keeps
// its mode; the user's own folder open to others is made private and used.
TEST_F(SumsStoreTest, AFolderThatLeadsElsewhereKeepsNoSums)
{
    Fill();
    dm.HistSums.Build();
    dm.HistSums.NameContents(key);
    const QString data = box.Path("data/zorbel"), elsewhere = box.Path("files/elsewhere");
    // Good sums for these contents, planted where the folder would lead.
    TSumsStore planted(box.Path("files/planted"));
    planted.Save(dm.HistSums);
    const QByteArray good = TSandbox::Read(planted.FileFor(key));
    ASSERT_FALSE(good.isEmpty());
    const auto link = [&](const QString &at) {
        QDir().mkpath(AbsoluteFolderOf(at));
        return ::symlink(QFile::encodeName(elsewhere).constData(), QFile::encodeName(at).constData()) == 0;
    };
    struct TRow {
        const char *What;
        std::function<bool()> Make; // false: cannot be made here
        bool Used;                  // the folder is the program's own after all
    };
    const TRow rows[] = {
        {"a link", [&] { return link(Folder()); }, false},
        {"the data folder a link", [&] { return link(data); }, false},
        {"another user's folder",
         [&] {
             QDir().mkpath(Folder());
             return ::chown(QFile::encodeName(Folder()).constData(), ::getuid() + 1, ::getgid()) == 0;
         },
         false},
        {"a file",
         [&] {
             QDir().mkpath(data);
             TSandbox::Write(Folder(), "x");
             return true;
         },
         false},
        {"the user's own, open to others",
         [&] {
             QDir().mkpath(Folder());
             return ::chmod(QFile::encodeName(Folder()).constData(), 0755) == 0;
         },
         true},
    };
    for (const TRow &row : rows) {
        SCOPED_TRACE(row.What);
        RemoveTreeRaw(QFile::encodeName(box.Path("data"))); // a link in it goes, not what it leads to
        RemoveTreeRaw(QFile::encodeName(elsewhere));
        QDir().mkpath(box.Path("data"));
        QDir().mkpath(elsewhere);
        ::chmod(QFile::encodeName(elsewhere).constData(), 0755);
        if (!row.Make())
            continue;
        const QString target =
            (row.Used ? Folder() : elsewhere) + QStringLiteral("/") + QFileInfo(planted.FileFor(key)).fileName();
        TSandbox::Write(target, good);
        TSumsStore store(Folder());
        dm.HistSums.Drop();
        dm.HistSums.NameContents(key);
        EXPECT_EQ(store.Load(dm.HistSums), row.Used);
        if (row.Used) {
            EXPECT_EQ(Mode(Folder()), 0700);
            continue;
        }
        EXPECT_FALSE(dm.HistSums.Ready());
        QFile::remove(target);
        dm.HistSums.Build();
        dm.HistSums.NameContents(key);
        store.Save(dm.HistSums);
        store.Forget(key);
        EXPECT_TRUE(ListRaw(QFile::encodeName(elsewhere)).isEmpty()) << "nothing written where it leads";
        EXPECT_EQ(Mode(elsewhere), 0755);
    }
}

TEST_F(SumsStoreTest, TheNewestCapacityFilesAreKept)
{
    TSumsStore store(Folder());
    dm.HistSums.Build();
    const QDateTime start = QDateTime::currentDateTime().addDays(-10);
    for (int i = 0; i < TSumsStore::Capacity; ++i) {
        dm.HistSums.NameContents(Key(QByteArray::number(i), 100));
        store.Save(dm.HistSums);
        ASSERT_EQ(TSysEnv::SetModifiedTime(store.FileFor(Key(QByteArray::number(i), 100)), start.addSecs(i)), 0);
    }
    // Using the oldest makes it the newest.
    dm.HistSums.NameContents(Key("0", 100));
    ASSERT_TRUE(store.Load(dm.HistSums));
    dm.HistSums.NameContents(Key("new", 100));
    // Sums taken back are kept again only once the walk has checked them.
    store.Save(dm.HistSums);
    EXPECT_FALSE(QFileInfo::exists(store.FileFor(Key("new", 100))));
    dm.HistSums.Build();
    ASSERT_TRUE(dm.HistSums.Checked());
    store.Save(dm.HistSums);
    EXPECT_EQ(QDir(Folder()).entryList({"*.sums"}, QDir::Files).size(), TSumsStore::Capacity);
    EXPECT_TRUE(QFileInfo::exists(store.FileFor(Key("0", 100))));
    EXPECT_FALSE(QFileInfo::exists(store.FileFor(Key("1", 100))));
    EXPECT_TRUE(QFileInfo::exists(store.FileFor(Key("2", 100))));
    EXPECT_TRUE(QFileInfo::exists(store.FileFor(Key("new", 100))));
}

} // namespace
} // namespace zorbel
