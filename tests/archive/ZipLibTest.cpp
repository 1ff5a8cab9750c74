// The zip component's helpers: percentages, MS-DOS dates, the folder walk and temporary files.
#include "archive/ZipLib.h"

#include "ZipRecordSupport.h"
#include "support/FaultEnv.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

using namespace zorbel;
using namespace ziptest;

TEST(ZipLib, PercentAndDates)
{
    EXPECT_EQ(Percent(1, 3), 33);
    EXPECT_EQ(Percent(2, 3), 67);
    EXPECT_EQ(Percent(5, 2), 100);
    EXPECT_EQ(Percent(5, 0), 0);
    TDateTime t = 0;
    ASSERT_TRUE(DosDateTimeToDateTime(DateTimeToDosDateTime(45000.5), t));
    EXPECT_DOUBLE_EQ(t, 45000.5);
    EXPECT_FALSE(DosDateTimeToDateTime(uint32_t(2 << 5 | 31) << 16, t)); // 31 February
}

TEST(ZipLib, DirSearchWalksMasksAndFolderPatterns)
{
    QTemporaryDir tmp;
    const QString root = tmp.path() + "/";
    QDir(root).mkpath("a1/inner");
    QDir(root).mkpath("a2");
    QDir(root).mkpath("b1");
    QDir(root).mkpath(".hid");
    for (const char *f : {"top.db", "NOEXT", "x.ini", "a1/f1.db", "a1/inner/f2.db", "a2/f3.db",
                          "b1/f4.db", ".hid/f5.db"})
        ASSERT_TRUE(WriteFile(root + f, "x"));

    auto walk = [](const QString &start, bool recurse, const QString &mask) {
        TDirSearch search(start, recurse, mask);
        QStringList found;
        int64_t size = -1;
        for (QString n = search.NextFile(size); !n.isEmpty(); n = search.NextFile(size)) {
            EXPECT_EQ(size, 1);
            found << n;
        }
        found.sort();
        return found;
    };
    EXPECT_EQ(walk(root, false, "*.*"),
              (QStringList{root + "NOEXT", root + "top.db", root + "x.ini"}));
    EXPECT_EQ(walk(tmp.path(), true, "*.db"),
              (QStringList{root + ".hid/f5.db", root + "a1/f1.db", root + "a1/inner/f2.db",
                           root + "a2/f3.db", root + "b1/f4.db", root + "top.db"}));
    // A wildcard folder of the start path filters the first level only.
    EXPECT_EQ(walk(root + "a?", false, "*.db"), (QStringList{root + "a1/f1.db", root + "a2/f3.db"}));
    EXPECT_EQ(walk(root + "*", true, "f2*"), (QStringList{root + "a1/inner/f2.db"}));
    EXPECT_TRUE(walk(root + "missing", true, "*").isEmpty());
}

TEST(ZipLib, TempFileAndOemRoundTrip)
{
    QTemporaryDir tmp;
    const QString a = TempFileIn(tmp.path());
    const QString b = TempFileIn(tmp.path());
    EXPECT_TRUE(QFileInfo(a).fileName().startsWith("KPZ"));
    EXPECT_TRUE(FileExistsByName(a));
    EXPECT_NE(a, b);
    EXPECT_EQ(QFileInfo(a).fileName().size(), 13); // "KPZ", six characters, ".tmp"
    EXPECT_TRUE(a.endsWith(".tmp"));
    EXPECT_EQ(QFile::permissions(a) & (QFileDevice::ReadOther | QFileDevice::ReadGroup), QFileDevice::Permissions());
    EXPECT_EQ(OemRoundTrip("Счёт €"), "Счёт ?");
}

// The temporary file and the file times go through the system seam: a refused
// open makes no file, and a refused time reads as none and sets none.
TEST(ZipLib, TempFilesAndFileTimesGoThroughTheSeam)
{
    QTemporaryDir tmp;
    const QString file = tmp.path() + "/f.db";
    ASSERT_TRUE(WriteFile(file, "x"));
    const uint32_t dos = DateTimeToDosDateTime(45000.5);
    ASSERT_TRUE(SetFileAgeDos(file, dos));
    test::TFaultEnv env;
    TSysEnvScope scope(env);
    env.FailCall(TSysOp::Open, 1, EMFILE);
    EXPECT_TRUE(TempFileIn(tmp.path()).isEmpty());
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::Files), QStringList{"f.db"});

    uint32_t read = 0;
    env.FailCall(TSysOp::FileTime, 1);
    EXPECT_FALSE(FileAgeDos(file, read));
    env.FailCall(TSysOp::FileTime, 1);
    EXPECT_FALSE(SetFileAgeDos(file, DateTimeToDosDateTime(46000.25)));
    ASSERT_TRUE(FileAgeDos(file, read));
    EXPECT_EQ(read, dos);
    // A file made read-only still takes its entry's time.
    QFile::setPermissions(file, QFileDevice::ReadOwner);
    EXPECT_TRUE(SetFileAgeDos(file, DateTimeToDosDateTime(46000.25)));
    ASSERT_TRUE(FileAgeDos(file, read));
    EXPECT_EQ(read, DateTimeToDosDateTime(46000.25));
}
