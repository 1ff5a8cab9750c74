// The data file on disk: the check, packing (against Info-ZIP's unzip), and
// installing a new archive with its backup and reserve copies, including
// failures at every step.
#include "core/ZorbFile.h"
#include "core/ZorbKnown.h"

#include "ZorbSandbox.h"
#include "core/ZorbDialogHost.h"
#include "platform/system/SysFiles.h"
#include "platform/widgets/ModalScript.h"
#include "support/ChildProcess.h"
#include "support/FaultEnv.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <sys/stat.h>

namespace zorbel {
namespace {

TEST(ZorbFile, CheckNamesEachFault)
{
    TSandbox box;
    const QString dir = box.Path("files/");
    TSandbox::Write(dir + "good.DEN", "PK\3\4rest");
    TSandbox::Write(dir + "text.den", "Hello");
    TSandbox::Write(dir + "short.den", "P");
    TSandbox::Write(dir + "data.zip", "PK\3\4");
    TSandbox::Write(dir + "locked.den", "PK\3\4");
    EXPECT_EQ(DataFileState(dir + "good.DEN"), TDataFileState::Ok);
    EXPECT_EQ(DataFileState(dir + "none.den"), TDataFileState::Missing);
    EXPECT_EQ(DataFileState(dir), TDataFileState::Missing);
    EXPECT_EQ(DataFileState(dir + "data.zip"), TDataFileState::BadExtension);
    EXPECT_EQ(DataFileState(dir + "text.den"), TDataFileState::BadFormat);
    EXPECT_EQ(DataFileState(dir + "short.den"), TDataFileState::BadFormat);
    {
        test::TFaultEnv env;
        env.FailCall(TSysOp::Open, 1, EACCES);
        TSysEnvScope scope(env);
        EXPECT_EQ(DataFileState(dir + "locked.den"), TDataFileState::NotReadable);
    }
    EXPECT_EQ(DataFileMessage(TDataFileState::BadExtension, "x.zip"),
              QString::fromUtf8("Файл должен иметь расширение .den\rx.zip"));
    EXPECT_EQ(DataFileMessage(TDataFileState::Missing, "y"), QString::fromUtf8("Файл отсутствует!\ry"));
    EXPECT_TRUE(DataFileMessage(TDataFileState::Ok, "y").isEmpty());

    // A name whose bytes are not UTF-8 (made on a CP1251 or KOI8-R system)
    // is checked like any other, and shown readably in the notice.
    for (const QByteArray &odd : {QByteArray("non\xff\xfeutf8.den"), QByteArray("\xd1.den"), QByteArray("a\xe2\x82.den"),
                                 QByteArray("\xc0\xaf.den")}) {
        const QByteArray raw = EncodeSystemName(dir) + odd;
        const int fd = ::open(raw.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, "PK\3\4", 4), 4);
        ::close(fd);
        const QString name = DecodeSystemName(raw);
        EXPECT_EQ(DataFileState(name), TDataFileState::Ok) << odd.toHex().toStdString();
        ASSERT_EQ(::unlink(raw.constData()), 0);
        EXPECT_EQ(DataFileState(name), TDataFileState::Missing) << odd.toHex().toStdString();
    }
    EXPECT_EQ(DataFileMessage(TDataFileState::Missing, DecodeSystemName("non\xff.den")),
              QString::fromUtf8("Файл отсутствует!\rnon\uFFFD.den"));
}

// The list of checked contents keeps the newest keys, ignores what it cannot
// read, and a list it cannot write only costs a check.
// A key whose digest is that of the text Seed.
TContentKey Key(const QByteArray &Seed, int64_t Size)
{
    return {TDigestAhead::Of(reinterpret_cast<const uint8_t *>(Seed.constData()), size_t(Seed.size())), Size};
}

QByteArray HexOf(const TContentKey &K)
{
    return QByteArray(reinterpret_cast<const char *>(K.Digest.data()), qsizetype(K.Digest.size())).toHex();
}

TEST(ZorbFile, KnownContentsKeepTheNewestAndTrustNothingElse)
{
    TSandbox box;
    const QString file = box.Path("data/zorbel/checked");
    TKnownContents known(file);
    EXPECT_FALSE(known.Contains(Key("a", 100)));
    EXPECT_FALSE(known.Contains({})); // no contents named
    known.Remember({});
    EXPECT_FALSE(QFileInfo::exists(file));
    for (int i = 0; i <= TKnownContents::Capacity; ++i)
        known.Remember(Key(QByteArray::number(i), int64_t(i) * 4096));
    EXPECT_FALSE(known.Contains(Key("0", 0))) << "the oldest is forgotten";
    for (int i = 1; i <= TKnownContents::Capacity; ++i)
        EXPECT_TRUE(TKnownContents(file).Contains(Key(QByteArray::number(i), int64_t(i) * 4096))) << i;
    // Size and digest must both match.
    EXPECT_FALSE(known.Contains(Key("1", 4097)));
    EXPECT_FALSE(known.Contains(Key("2", 4096)));
    // Remembering a key again moves it first instead of adding it twice,
    // with what is known of it now.
    EXPECT_FALSE(known.Facts(Key("1", 4096)).YearsFilled);
    known.Remember(Key("1", 4096), true);
    known.Remember(Key("x", 1));
    EXPECT_TRUE(known.Facts(Key("1", 4096)).YearsFilled);
    EXPECT_FALSE(known.Facts(Key("x", 1)).YearsFilled);
    EXPECT_EQ(TSandbox::Read(file).count('\n'), TKnownContents::Capacity);

    // A damaged list: its readable lines still count, nothing else does.
    const QByteArray good = HexOf(Key("g", 5));
    const QByteArray other = HexOf(Key("o", 6));
    TSandbox::Write(file, "zz 12 1\n" + good + " 5 1\n" + other.left(63) + " 6 1\n" + other + "0 6 1\n" + other +
                              " 6\n" + other + " 6 2\n" + other + " -6 0\n\x01\x02\n");
    EXPECT_TRUE(known.Facts(Key("g", 5)).YearsFilled);
    EXPECT_FALSE(known.Contains(Key("g", 12)));
    EXPECT_FALSE(known.Contains(Key("o", 6)));
    // A list of an earlier version named contents by CRC-32 and size, which
    // anyone can match: it names nothing now.
    TSandbox::Write(file, "1234abcd 5 1\n89abcdef 4096 0\n");
    for (int i = 0; i < 64; ++i)
        EXPECT_FALSE(known.Contains(Key(QByteArray::number(i), 5)));
    TContentKey crcLike;
    crcLike.Size = 5;
    crcLike.Digest[0] = 0x12, crcLike.Digest[1] = 0x34, crcLike.Digest[2] = 0xab, crcLike.Digest[3] = 0xcd;
    EXPECT_FALSE(known.Contains(crcLike));
    // A list in a place that cannot be written: nothing remembered, no failure.
    TKnownContents nowhere(box.Path("files/not-a-folder/checked"));
    TSandbox::Write(box.Path("files/not-a-folder"), "a file");
    nowhere.Remember(Key("n", 1));
    EXPECT_FALSE(nowhere.Contains(Key("n", 1)));
}

TEST(ZorbFile, BackupAndReserveNames)
{
    TSandbox box;
    const QString files = box.Path("files");
    const QString program = box.Path("program");
    EXPECT_EQ(BackupFolderFor(QString(), files + "/my.den"), files + "/");
    EXPECT_EQ(BackupFolderFor(program + "/missing", files + "/my.den"), files + "/");
    EXPECT_EQ(BackupFolderFor(program, files + "/my.den"), program + "/");
    EXPECT_EQ(ReserveFolderFor(QString(), program + "/Reserve"), program + "/Reserve/");
    // By default the reserve copies live in the user's data folder.
    EXPECT_EQ(DefaultReserveFolder(), box.Path("data/zorbel/Reserve/"));
    EXPECT_EQ(ReserveFolderFor(files, program), files + "/");
    const TBackupNames n = BackupNamesFor(files + "/my.data.den", program + "/", files + "/R/");
    EXPECT_EQ(n.Backup, program + "/my.data.bak");
    EXPECT_EQ(n.Reserve1, files + "/R/1_my.data.bak");
    EXPECT_EQ(n.Reserve2, files + "/R/2_my.data.bak");
}

class ZorbFileInstall : public testing::Test {
protected:
    void SetUp() override
    {
        names = BackupNamesFor(box.Path("files/my.den"), box.Path("files"), box.Path("program/Reserve"));
        z = box.Path("tmp/~~.bak");
    }
    // One save: a new archive with this content is installed.
    bool Save(const QByteArray &content)
    {
        TSandbox::Write(z, content);
        return InstallDataFile(z, names, dialogs);
    }
    // Moves a file's modification time days into the past.
    static void Age(const QString &file, int days)
    {
        FileSetDate(file, FileAge(file).addDays(-days));
    }
    TSandbox box;
    TDialogHost dialogs;
    TBackupNames names;
    QString z;
};

TEST_F(ZorbFileInstall, BackupAndReserveCopiesRotateAtMostOnceADay)
{
    ASSERT_TRUE(Save("v1"));
    EXPECT_EQ(TSandbox::Read(names.Target), QByteArray("v1"));
    EXPECT_FALSE(QFileInfo::exists(names.Backup));
    EXPECT_FALSE(QFileInfo::exists(z));
    ASSERT_TRUE(Save("v2"));
    EXPECT_EQ(TSandbox::Read(names.Backup), QByteArray("v1"));
    EXPECT_FALSE(QFileInfo::exists(names.Reserve1));
    // No first reserve copy yet: the backup is "a day newer" than none.
    ASSERT_TRUE(Save("v3"));
    EXPECT_EQ(TSandbox::Read(names.Backup), QByteArray("v2"));
    EXPECT_EQ(TSandbox::Read(names.Reserve1), QByteArray("v1"));
    // The same day: only the backup moves on.
    ASSERT_TRUE(Save("v4"));
    EXPECT_EQ(TSandbox::Read(names.Backup), QByteArray("v3"));
    EXPECT_EQ(TSandbox::Read(names.Reserve1), QByteArray("v1"));
    EXPECT_FALSE(QFileInfo::exists(names.Reserve2));
    // A day later.
    Age(names.Reserve1, 1);
    ASSERT_TRUE(Save("v5"));
    EXPECT_EQ(TSandbox::Read(names.Target), QByteArray("v5"));
    EXPECT_EQ(TSandbox::Read(names.Backup), QByteArray("v4"));
    EXPECT_EQ(TSandbox::Read(names.Reserve1), QByteArray("v3"));
    EXPECT_EQ(TSandbox::Read(names.Reserve2), QByteArray("v1"));
    // Copies keep the time of the save that wrote them.
    Age(names.Reserve1, 3);
    Age(names.Reserve2, 3);
    ASSERT_TRUE(Save("v6"));
    EXPECT_EQ(TSandbox::Read(names.Reserve1), QByteArray("v4"));
    EXPECT_EQ(TSandbox::Read(names.Reserve2), QByteArray("v3"));
    EXPECT_TRUE(QDir(box.Path("files")).entryList({".~*"}, QDir::Hidden | QDir::Files).isEmpty());
}

// A failure at any copy or rename of a save that also moves the reserve
// copies on: a failed save changes nothing; a save that put the new data
// file in place leaves each copy either moved on or as it was, never lost
// out of order (R2 moves before R1, R1 before B), and no staging file stays.
TEST_F(ZorbFileInstall, AFailureAtAnyStepLeavesFileAndChainAsTheyWere)
{
    struct TState {
        QByteArray T, B, R1, R2;
        bool operator==(const TState &) const = default;
    };
    auto state = [&] {
        return TState{TSandbox::Read(names.Target), TSandbox::Read(names.Backup), TSandbox::Read(names.Reserve1),
                      TSandbox::Read(names.Reserve2)};
    };
    auto prepare = [&] {
        for (const QString &f : {names.Target, names.Backup, names.Reserve1, names.Reserve2})
            QFile::remove(f);
        EXPECT_TRUE(Save("v1") && Save("v2") && Save("v3") && Save("v4"));
        Age(names.Reserve1, 2); // the next save moves the reserve copies on
        return state();
    };
    const TState before = prepare();
    ASSERT_EQ(before, (TState{"v4", "v3", "v1", ""}));
    // R1 exists: the full chain is R1 -> R2, B -> R1, T -> B.
    const TState rotated{"new", "v4", "v3", "v1"};
    int failedSaves = 0, partialChains = 0;
    for (TSysOp op : {TSysOp::Copy, TSysOp::Rename}) {
        for (int nth = 1; nth <= 8; ++nth) {
            const TState old = prepare();
            TModalScript script;
            script.Press("OK");
            bool saved;
            {
                test::TFaultEnv env;
                env.FailCall(op, nth, EIO);
                TSysEnvScope scope(env);
                saved = Save("new");
            }
            const TState now = state();
            const std::string where = (op == TSysOp::Copy ? "copy " : "rename ") + std::to_string(nth);
            if (!saved) {
                ++failedSaves;
                EXPECT_EQ(now, old) << where;
                EXPECT_TRUE(QFileInfo::exists(z)) << where; // kept for another try
                EXPECT_TRUE(script.Finished()) << where;
            } else {
                EXPECT_EQ(now.T, rotated.T) << where;
                EXPECT_FALSE(QFileInfo::exists(z)) << where;
                const bool r2 = now.R2 == rotated.R2, r1 = now.R1 == rotated.R1, b = now.B == rotated.B;
                EXPECT_TRUE(r2 || now.R2 == old.R2) << where;
                EXPECT_TRUE(r1 ? r2 : now.R1 == old.R1) << where;
                EXPECT_TRUE(b ? r1 : now.B == old.B) << where;
                if (!b)
                    ++partialChains;
            }
            for (const QString &folder : {box.Path("files"), box.Path("program/Reserve")})
                EXPECT_TRUE(QDir(folder).entryList({".~*"}, QDir::Hidden | QDir::Files).isEmpty()) << where;
        }
    }
    // Four copies and the data file's rename fail the save; the chain's three
    // renames fail after it.
    EXPECT_EQ(failedSaves, 4 + 5);
    EXPECT_EQ(partialChains, 3);
    EXPECT_TRUE(Save("v5"));
}

TEST_F(ZorbFileInstall, ANewDataFileIsPrivateAndAReplacedOneKeepsItsMode)
{
    auto mode = [](const QString &file) {
        struct stat st {};
        return ::stat(QFile::encodeName(file).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
    };
    ::umask(022);
    ASSERT_TRUE(Save("v1"));
    EXPECT_EQ(mode(names.Target), 0600);
    ::chmod(QFile::encodeName(names.Target).constData(), 0640);
    ASSERT_TRUE(Save("v2"));
    EXPECT_EQ(mode(names.Target), 0640);
    EXPECT_EQ(mode(names.Backup), 0640);
    ASSERT_TRUE(Save("v3"));
    EXPECT_EQ(mode(names.Reserve1), 0640);
    EXPECT_EQ(mode(QFileInfo(names.Reserve1).absolutePath()), 0700);
}

TEST_F(ZorbFileInstall, SavingUnderANewNameMovesItsOldBackupToTheReserve)
{
    TSandbox::Write(names.Backup, "old backup");
    Age(names.Backup, 3);
    ASSERT_TRUE(Save("first"));
    EXPECT_EQ(TSandbox::Read(names.Target), QByteArray("first"));
    EXPECT_EQ(TSandbox::Read(names.Reserve1), QByteArray("old backup"));
    EXPECT_FALSE(QFileInfo::exists(names.Backup));
}

TEST_F(ZorbFileInstall, LeftoversOfAnInterruptedSaveGoButNothingElse)
{
    const QString files = box.Path("files/");
    for (const char *name : {".~my.den", ".~my.den.Ab12Cd", "my.den.backup", ".~other.den", "notes.txt"})
        TSandbox::Write(files + name, "x");
    ASSERT_TRUE(Save("v1"));
    EXPECT_FALSE(QFileInfo::exists(files + ".~my.den.Ab12Cd"));
    for (const char *name : {"my.den.backup", ".~other.den", "notes.txt"})
        EXPECT_TRUE(QFileInfo::exists(files + name)) << name;

    const QString temp = box.Path("tmp/");
    for (const char *name : {"KPZa1B2c3.tmp", "~~.bak", "KPZnotes.txt", "mine.tmp"})
        TSandbox::Write(temp + name, "x");
    RemoveTempLeftovers(temp);
    EXPECT_FALSE(QFileInfo::exists(temp + "KPZa1B2c3.tmp"));
    EXPECT_FALSE(QFileInfo::exists(temp + "~~.bak"));
    EXPECT_TRUE(QFileInfo::exists(temp + "KPZnotes.txt"));
    EXPECT_TRUE(QFileInfo::exists(temp + "mine.tmp"));
}

// Packs a folder; the archive must pass Info-ZIP's test with the password.
TEST(ZorbFilePack, PacksTheFolderButLockAndIniFiles)
{
    TSandbox box;
    const QString work = box.Path("tmp/work");
    QDir().mkpath(work);
    TSandbox::Write(work + "/Zorbel.db", QByteArray(50000, 'x') + "tail");
    TSandbox::Write(work + "/a.lck", "lock");
    TSandbox::Write(work + "/Zorbel.ini", "ini");
    TDataZip zip;
    const QString archive = box.Path("tmp/out.zip");
    TSandbox::Write(archive, "old");
    ASSERT_EQ(zip.PackFolder(work, archive, "secret"), 1);
    const test::TChildRun unzip = test::RunChild("unzip", {"-t", "-P", "secret", archive});
    ASSERT_TRUE(unzip.Finished);
    EXPECT_EQ(unzip.ExitCode, 0) << unzip.Out.toStdString();
    zip.ReadDirectory(archive);
    EXPECT_EQ(zip.Count(), 1);
    EXPECT_TRUE(zip.IsEntryEncrypted(0));
    // Back out, with the wrong password first.
    const QString back = box.Path("tmp/back");
    QDir().mkpath(back);
    int asked = 0;
    zip.OnBadPassword = [&](int, QString &next) {
        if (++asked == 1)
            next = "secret";
    };
    zip.SetPassword("wrong");
    int skipped = -1;
    EXPECT_EQ(zip.ExtractAll(back, skipped), 1);
    EXPECT_EQ(skipped, 0);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(TSandbox::Read(back + "/Zorbel.db"), TSandbox::Read(work + "/Zorbel.db"));
}

TEST(ZorbFilePack, AFullDiskFailsThePackAndLeavesNoArchive)
{
    TSandbox box;
    const QString work = box.Path("tmp/work");
    QDir().mkpath(work);
    QByteArray data;
    for (int i = 0; i < 200000; ++i)
        data += QByteArray::number(i * 7919 % 100003);
    TSandbox::Write(work + "/Zorbel.db", data);
    const QString archive = box.Path("tmp/full.zip");
    TDataZip zip;
    {
        // The disk fills up after the first write.
        test::TFaultEnv env;
        env.FailCall(TSysOp::Write, 2, ENOSPC, true);
        TSysEnvScope scope(env);
        EXPECT_EQ(zip.PackFolder(work, archive, QString()), 0);
    }
    EXPECT_FALSE(QFileInfo::exists(archive));
    EXPECT_TRUE(QDir(box.Path("tmp")).entryList({"full.zip*"}, QDir::Files | QDir::Hidden).isEmpty());
    EXPECT_EQ(zip.PackFolder(work, archive, QString()), 1);
}

} // namespace
} // namespace zorbel
