// The data file on disk: the check, packing (against Info-ZIP's unzip), and
// installing a new archive with its backup and reserve copies, including
// failures at every step.
#include "core/ZorbFile.h"

#include "ZorbSandbox.h"
#include "core/ZorbDialogHost.h"
#include "platform/system/SysFiles.h"
#include "platform/widgets/ModalScript.h"
#include "support/FaultEnv.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFileInfo>
#include <QProcess>

#include <cerrno>

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
}

TEST(ZorbFile, BackupAndReserveNames)
{
    TSandbox box;
    const QString files = box.Path("files");
    const QString program = box.Path("program");
    EXPECT_EQ(BackupFolderFor(QString(), files + "/my.den"), files + "/");
    EXPECT_EQ(BackupFolderFor(program + "/missing", files + "/my.den"), files + "/");
    EXPECT_EQ(BackupFolderFor(program, files + "/my.den"), program + "/");
    EXPECT_EQ(ReserveFolderFor(QString(), program), program + "/Reserve/");
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

TEST_F(ZorbFileInstall, AFailureAtAnyStepLeavesFileAndChainAsTheyWere)
{
    ASSERT_TRUE(Save("v1"));
    ASSERT_TRUE(Save("v2"));
    ASSERT_TRUE(Save("v3"));
    Age(names.Reserve1, 2); // the next save would rotate
    const QByteArray t = TSandbox::Read(names.Target), b = TSandbox::Read(names.Backup),
                     r1 = TSandbox::Read(names.Reserve1);
    // Staging the new archive beside the data file (the first copy), and the
    // old data file beside its backup (the second).
    for (int copy : {1, 2}) {
        TModalScript script;
        script.Press("OK");
        test::TFaultEnv env;
        env.FailCall(TSysOp::Copy, copy, ENOSPC);
        TSysEnvScope scope(env);
        EXPECT_FALSE(Save("new"));
        EXPECT_TRUE(script.Finished());
        ASSERT_EQ(script.Seen().size(), 1u);
        EXPECT_TRUE(script.Seen()[0].Text.startsWith(QString::fromUtf8("Ошибка копирования")));
        EXPECT_EQ(TSandbox::Read(names.Target), t);
        EXPECT_EQ(TSandbox::Read(names.Backup), b);
        EXPECT_EQ(TSandbox::Read(names.Reserve1), r1);
        EXPECT_FALSE(QFileInfo::exists(names.Reserve2));
        EXPECT_TRUE(QFileInfo::exists(z)); // the archive stays for another try
    }
    // A folder that takes no new file (the new archive is read, then no file
    // can be created): the data file stays as it was.
    {
        TModalScript script;
        script.Press("OK");
        test::TFaultEnv env;
        env.FailCall(TSysOp::Open, 2, EACCES, true);
        TSysEnvScope scope(env);
        EXPECT_FALSE(Save("new"));
        EXPECT_EQ(TSandbox::Read(names.Target), t);
        EXPECT_EQ(TSandbox::Read(names.Backup), b);
    }
    EXPECT_TRUE(Save("v4"));
    EXPECT_EQ(TSandbox::Read(names.Reserve1), b);
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
    QProcess unzip;
    unzip.start("unzip", {"-t", "-P", "secret", archive});
    ASSERT_TRUE(unzip.waitForFinished(10000));
    EXPECT_EQ(unzip.exitCode(), 0) << unzip.readAllStandardOutput().toStdString();
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
