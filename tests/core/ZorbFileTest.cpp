// The data file on disk: the check, packing (against Info-ZIP's unzip), and
// installing a new archive with its backup and reserve copies, including
// failures at every step.
#include "core/ZorbFile.h"
#include "core/ZorbKnown.h"
#include "core/ZorbSumsStore.h"

#include "ZorbSandbox.h"
#include "core/ZorbDialogHost.h"
#include "platform/system/SysFiles.h"
#include "platform/widgets/ModalScript.h"
#include "support/Environment.h"
#include "support/ChildProcess.h"
#include "support/FaultEnv.h"
#include "support/RawNames.h"

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

// The program's own files follow a home or a data folder whose name is not
// UTF-8 (made on a KOI8-R or CP1251 system): the list of checked contents,
// the kept sums and the reserve copies are written under the bytes of that
// name and found there again.
TEST(ZorbFile, TheProgramsOwnFilesFollowAHomeWhoseNameIsNotUtf8)
{
    TSandbox box;
    const QByteArray root = QFile::encodeName(box.Path("files"));
    struct TRow {
        const char *What;
        QByteArray Home, DataHome; // null: unset
        QByteArray Data;           // the data folder expected
    };
    const TRow rows[] = {
        {"a home", root + "/\xe4\xee\xec", {}, root + "/\xe4\xee\xec/.local/share"},
        {"a data folder", root + "/home", root + "/\xe4\xe0\xed\xed\xfb\xe5", root + "/\xe4\xe0\xed\xed\xfb\xe5"},
    };
    for (const TRow &row : rows) {
        SCOPED_TRACE(row.What);
        test::TEnvironment env{{"HOME", row.Home}, {"XDG_DATA_HOME", row.DataHome}};
        const QByteArray own = row.Data + "/zorbel";
        EXPECT_EQ(EncodeSystemName(ProgramDataFolder()), own);
        EXPECT_EQ(EncodeSystemName(TKnownContents::DefaultFile()), own + "/checked");
        EXPECT_EQ(EncodeSystemName(TSumsStore::DefaultFolder()), own + "/sums");
        EXPECT_EQ(EncodeSystemName(DefaultReserveFolder()), own + "/Reserve/");

        TKnownContents().Remember(Key("home", 1));
        EXPECT_TRUE(TKnownContents().Contains(Key("home", 1)));
        EXPECT_TRUE(test::ExistsRaw(own + "/checked"));

        const TBackupNames names = BackupNamesFor(box.Path("files/my.den"), box.Path("files"),
                                                  ReserveFolderFor(QString(), DefaultReserveFolder()));
        TSandbox::Write(names.Target, "v1");
        TSandbox::Write(names.Backup, "v0");
        FileSetDate(names.Backup, FileAge(names.Backup).addDays(-3));
        const QString z = box.Path("tmp/~~.bak");
        TSandbox::Write(z, "v2");
        TDialogHost dialogs;
        TModalScript none;
        ASSERT_TRUE(InstallDataFile(z, names, dialogs));
        EXPECT_TRUE(none.Seen().empty());
        EXPECT_EQ(test::ReadRaw(own + "/Reserve/1_my.bak"), QByteArray("v0"));
        EXPECT_TRUE(ProgramFolderNotices().isEmpty());
        test::RemoveTreeRaw(row.DataHome.isNull() ? row.Home : row.DataHome);
        QFile::remove(names.Backup);
    }
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
    QString unreadable; // a reserve copy no one may read (the seam refuses it to root)
};

QStringList Texts(const TModalScript &script)
{
    QStringList texts;
    for (const auto &seen : script.Seen())
        texts << QString(seen.Text).replace(u'\n', u'\r');
    return texts;
}

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
// file in place leaves each reserve copy either moved on or as it was, never
// out of order (R2 moves before R1), the backup takes the old data file
// whatever became of the reserve copies (they are a convenience, told in
// one notice), and no staging file stays.
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
    int failedSaves = 0, reserveLeft = 0, backupLeft = 0;
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
                EXPECT_TRUE(b || now.B == old.B) << where;
                if (!b)
                    ++backupLeft;
                if (!r1) {
                    ++reserveLeft;
                    EXPECT_TRUE(b) << where;
                    ASSERT_EQ(script.Seen().size(), 1u) << where;
                    EXPECT_TRUE(script.Seen()[0].Text.startsWith(U("Файл данных сохранён, но резервные копии")))
                        << where;
                    EXPECT_TRUE(script.Seen()[0].Text.contains(box.Path("program/Reserve"))) << where;
                }
            }
            for (const QString &folder : {box.Path("files"), box.Path("program/Reserve")})
                EXPECT_TRUE(QDir(folder).entryList({".~*"}, QDir::Hidden | QDir::Files).isEmpty()) << where;
        }
    }
    // The copies and renames of the data file and its backup fail the save;
    // the reserve copies' two copies, two staging renames and two renames
    // of the chain leave them as they were; the backup's rename fails last.
    EXPECT_EQ(failedSaves, 2 + 3);
    EXPECT_EQ(reserveLeft, 2 + 4);
    EXPECT_EQ(backupLeft, 1);
    EXPECT_TRUE(Save("v5"));
}

// A reserve entry or folder that cannot take the copies: every save still
// writes the data file and its backup, and says once, naming the folder, that
// the reserve copies stayed as they were; nothing is written where the
// program's own folder would lead elsewhere, nor its mode changed there.
TEST_F(ZorbFileInstall, AReserveThatCannotTakeTheCopiesNeverBlocksASave)
{
    const QString own = AbsoluteName(DefaultReserveFolder());
    const QString elsewhere = box.Path("files/elsewhere");
    struct TRow {
        const char *What;
        bool Own;                                   // the default reserve folder, not one the user named
        std::function<QString(const TBackupNames &)> Break; // breaks it; the folder the notice names ("": none)
    };
    const auto folderAt = [](const QString &copy) {
        EXPECT_TRUE(QDir().mkpath(copy));
        return AbsoluteFolderOf(copy);
    };
    const TRow rows[] = {
        {"a folder as the first copy", false, [&](const TBackupNames &n) { return folderAt(n.Reserve1); }},
        {"a folder as the second copy", false,
         [&](const TBackupNames &n) {
             QDir().mkpath(AbsoluteFolderOf(n.Reserve1));
             TSandbox::Write(n.Reserve1, "r1");
             Age(n.Reserve1, 5);
             return folderAt(n.Reserve2);
         }},
        {"a first copy no one may read", false,
         [&](const TBackupNames &n) {
             QDir().mkpath(AbsoluteFolderOf(n.Reserve1));
             TSandbox::Write(n.Reserve1, "r1");
             Age(n.Reserve1, 5);
             ::chmod(QFile::encodeName(n.Reserve1).constData(), 0);
             unreadable = n.Reserve1; // root reads it all the same: the seam refuses it then
             return AbsoluteFolderOf(n.Reserve1);
         }},
        {"the own folder a link", true,
         [&](const TBackupNames &) {
             QDir().mkpath(AbsoluteFolderOf(own));
             EXPECT_EQ(::symlink(QFile::encodeName(elsewhere).constData(), QFile::encodeName(own).constData()), 0);
             return own;
         }},
        {"the program's data folder a link", true,
         [&](const TBackupNames &) {
             const QString data = ProgramDataFolder();
             EXPECT_EQ(::symlink(QFile::encodeName(elsewhere).constData(), QFile::encodeName(data).constData()), 0);
             return data;
         }},
        {"the own folder someone else's", true,
         [&](const TBackupNames &) {
             QDir().mkpath(own);
             if (::chown(QFile::encodeName(own).constData(), ::getuid() + 1, ::getgid()) != 0)
                 return QString(); // cannot be made here
             return own;
         }},
        {"a file as the own folder", true,
         [&](const TBackupNames &) {
             QDir().mkpath(AbsoluteFolderOf(own));
             TSandbox::Write(own, "not a folder");
             return own;
         }},
        {"the own folder open to others", true,
         [&](const TBackupNames &) {
             QDir().mkpath(own);
             ::chmod(QFile::encodeName(own).constData(), 0755);
             return QString(); // taken, and made private
         }},
    };
    for (const TRow &row : rows) {
        SCOPED_TRACE(row.What);
        test::RemoveTreeRaw(QFile::encodeName(box.Path("data")));
        test::RemoveTreeRaw(QFile::encodeName(box.Path("program/Reserve")));
        test::RemoveTreeRaw(QFile::encodeName(elsewhere));
        QDir().mkpath(box.Path("data"));
        QDir().mkpath(elsewhere);
        ::chmod(QFile::encodeName(elsewhere).constData(), 0755);
        unreadable.clear();
        names = BackupNamesFor(box.Path("files/my.den"), box.Path("files"),
                               row.Own ? DefaultReserveFolder() : box.Path("program/Reserve"));
        TSandbox::Write(names.Target, "v1");
        TSandbox::Write(names.Backup, "v0");
        Age(names.Backup, 3); // the reserve copies are due to move on
        const QString folder = row.Break(names);
        if (folder.isEmpty() && std::string(row.What) != "the own folder open to others")
            continue;
        const bool moves = folder.isEmpty();
        const QByteArray r1 = TSandbox::Read(names.Reserve1), r2 = TSandbox::Read(names.Reserve2);
        test::TFaultEnv env;
        if (!unreadable.isEmpty() && ::geteuid() == 0)
            env.FailPath(unreadable);
        TSysEnvScope scope(env);
        TModalScript script;
        if (!moves)
            script.Press("OK");
        ASSERT_TRUE(Save("v2"));
        EXPECT_TRUE(script.Finished()) << Texts(script).join(" | ").toStdString();
        EXPECT_EQ(TSandbox::Read(names.Target), QByteArray("v2"));
        EXPECT_EQ(TSandbox::Read(names.Backup), QByteArray("v1"));
        if (moves) {
            EXPECT_TRUE(script.Seen().empty());
            EXPECT_EQ(TSandbox::Read(names.Reserve1), QByteArray("v0"));
            struct stat st {};
            ASSERT_EQ(::lstat(QFile::encodeName(own).constData(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, 0700u);
            continue;
        }
        ASSERT_EQ(script.Seen().size(), 1u);
        const QString text = script.Seen()[0].Text;
        EXPECT_TRUE(text.startsWith(U("Файл данных сохранён, но резервные копии 1_my.bak, 2_my.bak не обновлены: ")))
            << text.toStdString();
        EXPECT_TRUE(text.contains(U("«") + folder + U("»"))) << text.toStdString();
        if (unreadable.isEmpty()) {
            EXPECT_EQ(TSandbox::Read(names.Reserve1), r1);
            EXPECT_EQ(TSandbox::Read(names.Reserve2), r2);
        }
        // Nothing went where the link leads; its mode is as it was.
        EXPECT_TRUE(test::ListRaw(QFile::encodeName(elsewhere)).isEmpty());
        EXPECT_EQ(QFileInfo(elsewhere).permissions() & QFileDevice::ReadOther, QFileDevice::ReadOther);
        // No staging copy stays behind.
        for (const QString &f : {box.Path("files"), AbsoluteFolderOf(names.Reserve1)})
            EXPECT_TRUE(QDir(f).entryList({".~*"}, QDir::Hidden | QDir::Files).isEmpty()) << f.toStdString();
        // The next save as well; handed back, the notice is the caller's to show.
        TInstallNotes notes;
        TSandbox::Write(z, "v3");
        ASSERT_TRUE(InstallDataFile(z, names, dialogs, &notes));
        EXPECT_EQ(TSandbox::Read(names.Backup), QByteArray("v2"));
        EXPECT_EQ(notes.ReserveNotice, text);
        EXPECT_FALSE(notes.FolderRefused);
        EXPECT_EQ(script.Seen().size(), 1u);
    }
}

// A data file's folder the user may not write: the save fails, changes
// nothing, and is handed back as such (the window offers another file)
// instead of a copy error.
TEST_F(ZorbFileInstall, AFolderThatTakesNoFileIsHandedBack)
{
    ASSERT_TRUE(Save("v1"));
    ASSERT_TRUE(Save("v2"));
    test::TFaultEnv env;
    env.FailPath(box.Path("files"), EACCES, true);
    TSysEnvScope scope(env);
    for (int error : {EACCES, EROFS}) {
        env.Heal();
        env.FailPath(box.Path("files"), error, true);
        TModalScript none;
        TInstallNotes notes;
        TSandbox::Write(z, "v3");
        EXPECT_FALSE(InstallDataFile(z, names, dialogs, &notes));
        EXPECT_TRUE(notes.FolderRefused);
        EXPECT_TRUE(none.Seen().empty());
        EXPECT_EQ(TSandbox::Read(names.Target), QByteArray("v2"));
        EXPECT_EQ(TSandbox::Read(names.Backup), QByteArray("v1"));
        EXPECT_TRUE(QFileInfo::exists(z));
    }
    // Without notes the failure is told as before.
    TModalScript told;
    told.Press("OK");
    EXPECT_FALSE(Save("v3"));
    EXPECT_TRUE(told.Finished());
    EXPECT_TRUE(Texts(told).value(0).startsWith(U("Ошибка копирования"))) << Texts(told).join(" | ").toStdString();
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
