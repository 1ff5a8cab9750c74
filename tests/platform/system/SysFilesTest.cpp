// File primitives: the private temporary folder, moves, copies, times, attributes, atomic saves.
#include "platform/system/SysFiles.h"

#include "platform/rtl/Exceptions.h"
#include "support/FaultEnv.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace zorbel;

namespace {

QByteArray Native(const QString &path) { return QFile::encodeName(path); }

void Put(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(bytes);
}

QByteArray Get(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

unsigned ModeOf(const QString &path)
{
    struct stat st {};
    return ::lstat(Native(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0xffffu;
}

// A fixed time with milliseconds, away from any daylight-saving change.
const QDateTime Noon = QDateTime(QDate(2024, 2, 29), QTime(12, 34, 56, 789));

class SysFilesTest : public testing::Test {
protected:
    QString At(const QString &name) const { return dir_.filePath(name); }
    QTemporaryDir dir_;
};

} // namespace

TEST_F(SysFilesTest, TempFolderIsPrivateToTheUser)
{
    const QString expected = At(QStringLiteral("zorbel-%1/").arg(::getuid()));
    EXPECT_EQ(UserTempFolder(dir_.path()), expected);
    EXPECT_EQ(ModeOf(expected), 0700u);

    // An existing folder of ours with loose rights is narrowed.
    ASSERT_EQ(::chmod(Native(expected).constData(), 0777), 0);
    EXPECT_EQ(UserTempFolder(dir_.path() + QLatin1Char('/')), expected);
    EXPECT_EQ(ModeOf(expected), 0700u);
}

TEST_F(SysFilesTest, TempFolderRefusesWhatSomeoneElsePlanted)
{
    const QString name = QStringLiteral("zorbel-%1").arg(::getuid());
    QTemporaryDir linkBase, foreignBase, target;
    ASSERT_EQ(::symlink(Native(target.path()).constData(), Native(linkBase.filePath(name)).constData()), 0);
    EXPECT_EQ(UserTempFolder(linkBase.path()), QString());

    const QByteArray foreign = Native(foreignBase.filePath(name));
    ASSERT_EQ(::mkdir(foreign.constData(), 0700), 0);
    if (::chown(foreign.constData(), ::getuid() + 1, ::getgid()) != 0)
        GTEST_SKIP() << "cannot give a folder to another user here";
    EXPECT_EQ(UserTempFolder(foreignBase.path()), QString());
}

TEST_F(SysFilesTest, MoveReplacesTheTargetAcrossFolders)
{
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("other")));
    const QString source = At(QStringLiteral("data.den"));
    const QString target = At(QStringLiteral("other/data.bak"));
    Put(source, "new");
    Put(target, "old");
    ASSERT_EQ(FileSetDate(source, Noon), 0);

    EXPECT_TRUE(MoveFileReplace(source, target));
    EXPECT_FALSE(QFile::exists(source));
    EXPECT_EQ(Get(target), "new");
    EXPECT_EQ(FileAge(target), Noon);

    EXPECT_FALSE(MoveFileReplace(source, target)); // the source is gone
    EXPECT_EQ(Get(target), "new");
    EXPECT_FALSE(MoveFileReplace(target, At(QStringLiteral("other")))); // onto a folder
    EXPECT_EQ(Get(target), "new");
}

TEST_F(SysFilesTest, MoveAcrossFileSystemsCopiesAndDeletes)
{
    // /dev/shm is a memory file system on most Linux machines.
    QTemporaryDir shm(QStringLiteral("/dev/shm/zorbel-test-XXXXXX"));
    struct stat a {}, b {};
    if (!shm.isValid() || ::stat(Native(shm.path()).constData(), &a) != 0
        || ::stat(Native(dir_.path()).constData(), &b) != 0 || a.st_dev == b.st_dev)
        GTEST_SKIP() << "no second file system at hand";

    const QString source = shm.filePath(QStringLiteral("~~.bak"));
    const QString target = At(QStringLiteral("data.den"));
    QByteArray big(300000, 'z');
    big[123456] = 'A';
    Put(source, big);
    Put(target, "old");
    ASSERT_EQ(::chmod(Native(source).constData(), 0640), 0);
    ASSERT_EQ(FileSetDate(source, Noon), 0);

    EXPECT_TRUE(MoveFileReplace(source, target));
    EXPECT_FALSE(QFile::exists(source));
    EXPECT_EQ(Get(target), big);
    EXPECT_EQ(FileAge(target), Noon);
    EXPECT_EQ(ModeOf(target), 0640u);
}

TEST_F(SysFilesTest, CopyKeepsContentsModeAndTimeAndNeverHalfReplaces)
{
    const QString source = At(QStringLiteral("a.den"));
    const QString target = At(QStringLiteral("b.den"));
    Put(source, QByteArray("\0PK\x03\x04", 5));
    ASSERT_EQ(::chmod(Native(source).constData(), 0444), 0);
    ASSERT_EQ(FileSetDate(source, Noon), 0);

    EXPECT_TRUE(CopyFile(source, target, false));
    EXPECT_EQ(Get(target), QByteArray("\0PK\x03\x04", 5));
    EXPECT_EQ(ModeOf(target), 0444u);
    EXPECT_EQ(FileAge(target), Noon);
    EXPECT_EQ(Get(source), QByteArray("\0PK\x03\x04", 5));

    Put(At(QStringLiteral("c.den")), "keep");
    EXPECT_FALSE(CopyFile(source, At(QStringLiteral("c.den")), true));
    EXPECT_EQ(Get(At(QStringLiteral("c.den"))), "keep");
    EXPECT_FALSE(CopyFile(At(QStringLiteral("missing")), At(QStringLiteral("c.den")), false));
    EXPECT_FALSE(CopyFile(dir_.path(), At(QStringLiteral("c.den")), false)); // a folder
    EXPECT_EQ(Get(At(QStringLiteral("c.den"))), "keep");
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files).size(), 3); // no temporary left
}

TEST_F(SysFilesTest, FileTimes)
{
    const QString file = At(QStringLiteral("R1.bak"));
    Put(file, "x");
    EXPECT_EQ(FileSetDate(file, Noon), 0);
    EXPECT_EQ(FileAge(file), Noon);
    const QDateTime early(QDate(1970, 1, 1), QTime(0, 0, 1, 500), Qt::UTC);
    EXPECT_EQ(FileSetDate(file, early), 0);
    EXPECT_EQ(FileAge(file).toMSecsSinceEpoch(), 1500);

    EXPECT_FALSE(FileAge(At(QStringLiteral("missing"))).isValid());
    EXPECT_FALSE(FileAge(dir_.path()).isValid());
    EXPECT_NE(FileSetDate(At(QStringLiteral("missing")), Noon), 0);
}

// Reading and setting a file's time go through the seam: a refused call
// reads as no time and sets nothing, and a copy whose time cannot be set is
// no copy (its target untouched).
TEST_F(SysFilesTest, FileTimesGoThroughTheSeam)
{
    const QString file = At(QStringLiteral("R2.bak"));
    Put(file, "x");
    ASSERT_EQ(FileSetDate(file, Noon), 0);
    const QDateTime later = Noon.addDays(3);
    test::TFaultEnv env;
    TSysEnvScope scope(env);
    env.FailCall(TSysOp::FileTime, 1, EIO);
    EXPECT_FALSE(FileAge(file).isValid());
    EXPECT_EQ(FileAge(file), Noon);
    env.FailCall(TSysOp::FileTime, 1, EPERM);
    EXPECT_EQ(FileSetDate(file, later), EPERM);
    EXPECT_EQ(FileAge(file), Noon);
    EXPECT_TRUE(TSysEnv::ModifiedTime(dir_.path()).isValid()); // a folder has a time too

    const QString target = At(QStringLiteral("R3.bak"));
    Put(target, "keep");
    env.FailCall(TSysOp::FileTime, 1, EIO);
    EXPECT_FALSE(CopyFile(file, target, false));
    EXPECT_EQ(Get(target), "keep");
    EXPECT_TRUE(CopyFile(file, target, false));
    EXPECT_EQ(FileAge(target), Noon);
}

TEST_F(SysFilesTest, AttributesMapToTheZipBits)
{
    const QString file = At(QStringLiteral("Zorbel.den"));
    const QString hidden = At(QStringLiteral(".hidden"));
    Put(file, "x");
    Put(hidden, "x");
    EXPECT_EQ(FileGetAttr(file), faArchive);
    EXPECT_EQ(FileGetAttr(hidden), faArchive | faHidden);
    EXPECT_EQ(FileGetAttr(dir_.path()), faDirectory);
    EXPECT_EQ(FileGetAttr(At(QStringLiteral("missing"))), -1);

    EXPECT_EQ(FileSetAttr(file, faReadOnly | faArchive), 0);
    EXPECT_EQ(FileGetAttr(file), faReadOnly | faArchive);
    EXPECT_EQ(ModeOf(file) & 0222, 0u);
    EXPECT_EQ(FileSetAttr(file, faArchive), 0);
    EXPECT_EQ(FileGetAttr(file), faArchive);
    EXPECT_NE(FileSetAttr(At(QStringLiteral("missing")), 0), 0);
}

TEST_F(SysFilesTest, AtomicSaveCreatesTheFolderAndSurvivesFailures)
{
    const QString file = At(QStringLiteral("deep/er/store.json"));
    SaveFileAtomically(file, "first");
    EXPECT_EQ(Get(file), "first");
    EXPECT_EQ(ModeOf(file), 0600u);

    // Creating the temporary file, writing it, syncing it, renaming it over the file.
    for (TSysOp failAt : {TSysOp::Open, TSysOp::Write, TSysOp::Flush, TSysOp::Rename}) {
        test::TFaultEnv env;
        env.FailCall(failAt, 1);
        TSysEnvScope scope(env);
        EXPECT_THROW(SaveFileAtomically(file, "second, longer contents"), EWriteError);
        EXPECT_EQ(Get(file), "first");
        EXPECT_EQ(QDir(At(QStringLiteral("deep/er"))).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }
    SaveFileAtomically(file, QByteArray());
    EXPECT_EQ(Get(file), QByteArray());
}

TEST_F(SysFilesTest, WholeFileReadsEverythingWithinItsBoundOrFails)
{
    const QString file = At(QStringLiteral("store.json"));
    QByteArray big(200000, 'x');
    big[199999] = 'y';
    Put(file, big);
    QByteArray data;
    EXPECT_TRUE(ReadWholeFile(file, big.size(), data).Ok());
    EXPECT_EQ(data, big);
    EXPECT_EQ(ReadWholeFile(file, big.size() - 1, data).Fault, TReadFault::TooLarge);
    EXPECT_TRUE(data.isEmpty());
    EXPECT_EQ(ReadFaultText(ReadWholeFile(file, ReadBound::CheckedList, data)), QString::fromUtf8("Файл больше 64 КБ."));
    // A link to a regular file is followed.
    const QString link = At(QStringLiteral("link.json"));
    ASSERT_EQ(::symlink(QFile::encodeName(file).constData(), QFile::encodeName(link).constData()), 0);
    EXPECT_TRUE(ReadWholeFile(link, -1, data).Ok());
    EXPECT_EQ(data, big);
    const TReadResult missing = ReadWholeFile(At(QStringLiteral("missing")), -1, data);
    EXPECT_EQ(missing.Fault, TReadFault::Missing);
    EXPECT_EQ(ReadFaultText(missing), QString::fromUtf8("Файл не найден."));
    EXPECT_TRUE(data.isEmpty());
    // A file whose size says nothing of what it yields (the kernel's own
    // files say 0) is still read no further than one byte past the bound.
    test::TFaultEnv counting;
    {
        TSysEnvScope scope(counting);
        EXPECT_EQ(ReadWholeFile(QStringLiteral("/proc/self/maps"), 10, data).Fault, TReadFault::TooLarge);
    }
    EXPECT_EQ(counting.Calls(TSysOp::Read), 1) << "11 bytes in one read";
    test::TFaultEnv env;
    env.FailCall(TSysOp::Read, 2, EIO); // after the first 64 KB
    TSysEnvScope scope(env);
    const TReadResult failed = ReadWholeFile(file, -1, data);
    EXPECT_EQ(failed.Fault, TReadFault::Failed);
    EXPECT_EQ(ReadFaultText(failed), QString::fromUtf8("Ошибка ввода-вывода."));
    EXPECT_TRUE(data.isEmpty());
}
