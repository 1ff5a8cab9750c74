// The work folder routines and the file type association of TulnCommon.
#include "core/TulnCommon.h"

#include "ZorbSandbox.h"
#include "platform/system/Registry.h"
#include "platform/system/SysFiles.h"
#include "support/ChildProcess.h"
#include "support/FaultEnv.h"
#include "support/RawNames.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcessEnvironment>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

namespace zorbel {
namespace {

TEST(TulnCommon, WorkFolderIsPrivateToTheUser)
{
    TSandbox box;
    QString temp;
    TempFolder(temp);
    ASSERT_FALSE(temp.isEmpty());
    EXPECT_EQ(temp, box.Path("runtime/zorbel/"));
    EXPECT_TRUE(temp.endsWith(u'/'));
    const QString work = temp + QStringLiteral("ZORB_DAT");
    ASSERT_TRUE(ForceFolder(work + QStringLiteral("/deeper")));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(temp).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat(QFile::encodeName(work + QStringLiteral("/deeper")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0077, 0u);
}

TEST(TulnCommon, APlantedTemporaryFolderCannotBlockTheWorkFolder)
{
    TSandbox box;
    // No session folder, and the user's folder under the shared temporary
    // folder is a link someone planted: a fresh private folder is used.
    qunsetenv("XDG_RUNTIME_DIR");
    const QString planted = box.Path("tmp/zorbel-") + QString::number(::getuid());
    ASSERT_TRUE(QFile::link(box.Path("files"), planted));
    QString temp;
    TempFolder(temp);
    ASSERT_FALSE(temp.isEmpty());
    EXPECT_TRUE(temp.startsWith(planted + "-")) << temp.toStdString();
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(temp).constData(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // A session folder others may enter is not the session's own.
    QDir().mkpath(box.Path("open"));
    QFile::setPermissions(box.Path("open"), QFileDevice::Permissions(0x7777));
    qputenv("XDG_RUNTIME_DIR", box.Path("open").toUtf8());
    EXPECT_EQ(UserRuntimeFolder(), QString());
    // The session folder's own "zorbel" folder is narrowed to 0700.
    qputenv("XDG_RUNTIME_DIR", box.Path("runtime").toUtf8());
    QDir().mkpath(box.Path("runtime/zorbel"));
    QFile::setPermissions(box.Path("runtime/zorbel"), QFileDevice::Permissions(0x7755));
    EXPECT_EQ(UserRuntimeFolder(), box.Path("runtime/zorbel/"));
    ASSERT_EQ(::stat(QFile::encodeName(box.Path("runtime/zorbel")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

// Another run's folder is removed only when its guard opens and no one holds
// it: a guard that is there but cannot be opened (here no descriptor left)
// may belong to a live run, whose work copy stays.
TEST(TulnCommon, AGuardThatCannotBeOpenedKeepsItsRunsFolder)
{
    TSandbox box;
    qunsetenv("XDG_RUNTIME_DIR");
    const QString other = box.Path("tmp/zorbel-") + QString::number(::getuid()) + "-Ab12Cd";
    ASSERT_TRUE(QDir().mkpath(other + "/ZORB_DAT"));
    TSandbox::Write(other + "/ZORB_DAT/Zorbel.db", "decrypted tables");
    TSandbox::Write(other + "/Guard.lock", "");
    {
        test::TFaultEnv env;
        env.FailCall(TSysOp::Open, 1, EMFILE, true);
        TSysEnvScope scope(env);
        RemoveAbandonedTempFolders(QStringLiteral("Guard"));
        EXPECT_GE(env.Calls(TSysOp::Open), 1) << "the guard is opened through the system seam";
        EXPECT_TRUE(QFileInfo::exists(other + "/ZORB_DAT/Zorbel.db"));
    }
    // Opened and held by no one: the run has ended, and its folder goes.
    RemoveAbandonedTempFolders(QStringLiteral("Guard"));
    EXPECT_FALSE(QFileInfo::exists(other + "/ZORB_DAT/Zorbel.db"));
}

TEST(TulnCommon, FileVersionTextReadsTheRecordAProgramFileCarries)
{
    TSandbox box;
    QString text = "x";
    quint32 high = 7;
    // The program's own file carries the build's version.
    ASSERT_TRUE(FileVersionText(QCoreApplication::applicationFilePath(), text, high));
    EXPECT_EQ(text, ProgramVersionText());
    const QStringList parts = text.split('.');
    EXPECT_EQ(high, parts[0].toUInt() << 16 | parts[1].toUInt());

    const QString file = box.Path("files/prog");
    // Made at run time, so that this test's own file does not carry the records.
    const QByteArray key = QByteArray("Zorbel") + "FileVersion=";
    TSandbox::Write(file, "\x7f" "ELF " + key + '\0' + key + "9.x" + '\0' + key + "2.10.65535.7" + '\0' + "tail");
    ASSERT_TRUE(FileVersionText(file, text, high));
    EXPECT_EQ(text, "2.10.65535.7");
    EXPECT_EQ(high, 0x0002000Au);
    TSandbox::Write(file, key + "1.70000" + '\0' + " no other");
    text = "kept";
    EXPECT_FALSE(FileVersionText(file, text, high));
    EXPECT_EQ(text, "kept");
    EXPECT_FALSE(FileVersionText(box.Path("files/missing"), text, high));
}

// The file is read through the system seam in runs: a record that spans two
// runs is found, and a file whose reading fails carries no version.
TEST(TulnCommon, FileVersionTextReadsThroughTheSeamAcrossRuns)
{
    TSandbox box;
    const QString file = box.Path("files/prog");
    const QByteArray key = QByteArray("Zorbel") + "FileVersion=";
    constexpr qsizetype Run = 1 << 20;
    QString text;
    quint32 high = 0;
    // The key cut by the end of the first run, then the text cut by it.
    for (qsizetype before : {Run - 5, Run - key.size() - 3}) {
        TSandbox::Write(file, QByteArray(before, 'p') + key + "4.3.2.1" + '\0' + QByteArray(100, 't'));
        ASSERT_TRUE(FileVersionText(file, text, high)) << before;
        EXPECT_EQ(text, "4.3.2.1");
    }
    // A text without its zero byte at the very end carries nothing.
    TSandbox::Write(file, QByteArray(Run - 3, 'p') + key + "4.3");
    EXPECT_FALSE(FileVersionText(file, text, high));

    TSandbox::Write(file, QByteArray(Run + 10, 'p') + key + "5.6" + '\0');
    test::TFaultEnv env;
    TSysEnvScope scope(env);
    env.FailCall(TSysOp::Read, 2);
    text = "kept";
    EXPECT_FALSE(FileVersionText(file, text, high));
    EXPECT_EQ(text, "kept");
    env.FailCall(TSysOp::Open, 1);
    EXPECT_FALSE(FileVersionText(file, text, high));
    ASSERT_TRUE(FileVersionText(file, text, high));
    EXPECT_EQ(text, "5.6.0.0");
}

TEST(TulnCommon, ClearFolderEmptiesNestedAndReadOnlyEntriesButNotLinkTargets)
{
    TSandbox box;
    const QString root = box.Path("files/work");
    const QString outside = box.Path("files/outside.txt");
    QDir().mkpath(root + QStringLiteral("/sub/deep"));
    TSandbox::Write(root + QStringLiteral("/a.db"), "a");
    TSandbox::Write(root + QStringLiteral("/.hidden"), "h");
    TSandbox::Write(root + QStringLiteral("/sub/deep/b"), "b");
    TSandbox::Write(outside, "keep");
    QFile::link(outside, root + QStringLiteral("/link"));
    QFile::link(box.Path("files"), root + QStringLiteral("/dirlink"));
    ::chmod(QFile::encodeName(root + QStringLiteral("/sub")).constData(), 0500);

    EXPECT_FALSE(IsFolderEmpty(root));
    EXPECT_TRUE(ClearFolder(root, true));
    EXPECT_TRUE(FolderExists(root));
    EXPECT_TRUE(IsFolderEmpty(root));
    EXPECT_EQ(TSandbox::Read(outside), QByteArray("keep"));
    EXPECT_TRUE(ClearFolder(root, false));
    EXPECT_FALSE(QFileInfo::exists(root));
    EXPECT_TRUE(ClearFolder(root, true)); // a missing folder is clear
    EXPECT_TRUE(IsFolderEmpty(outside));   // not a folder
    EXPECT_FALSE(FolderExists(outside));
}

TEST(TulnCommon, FindFileInTakesTheFirstMatchIgnoringCase)
{
    TSandbox box;
    const QString dir = box.Path("program");
    EXPECT_TRUE(FindFileIn(dir, QStringLiteral("*.den")).isEmpty());
    TSandbox::Write(dir + QStringLiteral("/b.DEN"), "PK");
    TSandbox::Write(dir + QStringLiteral("/c.den"), "PK");
    TSandbox::Write(dir + QStringLiteral("/a.txt"), "");
    QDir(dir).mkdir(QStringLiteral("a.den"));
    EXPECT_EQ(FindFileIn(dir, QStringLiteral("*.den")), dir + QStringLiteral("/b.DEN"));

    // A program folder and a file whose names are not UTF-8: the name found
    // reaches the file.
    const QByteArray odd = QFile::encodeName(dir) + "/\xef\xf0\xee\xe3"; // CP1251 "прог"
    ASSERT_EQ(::mkdir(odd.constData(), 0700), 0);
    ASSERT_TRUE(test::PutRaw(odd + "/\xf1\xe5\xec\xfc\xff.den", "PK"));
    ASSERT_TRUE(test::PutRaw(odd + "/z.den", "PK"));
    const QString found = FindFileIn(DecodeSystemName(odd), QStringLiteral("*.den"));
    EXPECT_EQ(EncodeSystemName(found), odd + "/z.den"); // byte order: 'z' before 0xF1
    ::unlink((odd + "/z.den").constData());
    EXPECT_EQ(EncodeSystemName(FindFileIn(DecodeSystemName(odd), QStringLiteral("*.DEN"))),
              odd + "/\xf1\xe5\xec\xfc\xff.den");
    test::RemoveTreeRaw(odd);
}

TEST(TulnCommon, RegisterFileTypeWritesAndRemovesTheAssociation)
{
    TSandbox box;
    {
        TRegistry reg;
        reg.OpenKey(QStringLiteral("Software\\Ventaro\\Lumvara"), true);
        reg.WriteString(QStringLiteral("x"), QStringLiteral("y"));
        reg.OpenKey(QStringLiteral("Software\\Ventaro\\Zorbel"), true);
        reg.WriteInteger(QStringLiteral("Left"), 1);
        reg.CloseKey();
    }
    EXPECT_FALSE(RegisterFileType(".den", "Zorbel", "Zorbel", true));
    const QString mime = MimePackageFile(QStringLiteral("Zorbel"));
    const QString entry = DesktopEntryFile(QStringLiteral("Zorbel"));
    EXPECT_TRUE(mime.startsWith(box.Path("data")));
    const QByteArray xml = TSandbox::Read(mime);
    EXPECT_TRUE(xml.contains("type=\"application/x-zorbel\""));
    EXPECT_TRUE(xml.contains("<glob pattern=\"*.den\"/>"));
    const QByteArray desktop = TSandbox::Read(entry);
    EXPECT_TRUE(desktop.contains("MimeType=application/x-zorbel;"));
    EXPECT_TRUE(desktop.contains("\" %f\n"));
    EXPECT_EQ(box.MimeRefreshes, 1);
    EXPECT_TRUE(RegisterFileType(".den", "Zorbel", "Zorbel", true)); // it existed now
    EXPECT_EQ(box.MimeRefreshes, 1);                                  // and nothing changed
    {
        TRegistry reg;
        EXPECT_FALSE(reg.KeyExists(QStringLiteral("Software\\Ventaro\\Lumvara")));
        EXPECT_TRUE(reg.KeyExists(QStringLiteral("Software\\Ventaro\\Zorbel")));
    }
    EXPECT_TRUE(RegisterFileType(".den", "Zorbel", "Zorbel", false));
    EXPECT_FALSE(QFileInfo::exists(mime));
    EXPECT_FALSE(QFileInfo::exists(entry));
    TRegistry reg;
    EXPECT_FALSE(reg.KeyExists(QStringLiteral("Software\\Ventaro\\Zorbel")));
}

// Runs a desktop tool in the sandbox's folders with no desktop session set;
// the tool's standard output, or a null array when it failed.
QByteArray RunTool(const TSandbox &box, const QString &tool, const QStringList &arguments)
{
    QProcessEnvironment env;
    env.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
    env.insert(QStringLiteral("HOME"), box.Path("files"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), box.Path("data"));
    env.insert(QStringLiteral("XDG_DATA_DIRS"), box.Path("system"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), box.Path("config"));
    env.insert(QStringLiteral("XDG_CONFIG_DIRS"), box.Path("system"));
    test::TChildOptions options;
    options.TimeoutMs = 20000;
    options.Environment = env.toStringList();
    const test::TChildRun process = test::RunChild(tool, arguments, options);
    if (!process.Ok()) {
        ADD_FAILURE() << tool.toStdString() << ": " << process.Out.toStdString() << process.Err.toStdString();
        return {};
    }
    return process.Out;
}

// Run out of a build folder, the program registers itself for ".den" files
// in the user's data folder, and the desktop's own tools take it so: the
// entry validates and is the default for the type once the caches are built.
TEST(TulnCommon, RegistrationFromABuildFolderWorksWithTheDesktopTools)
{
    TSandbox box;
    EXPECT_TRUE(InstalledDesktopEntry().isEmpty());
    EXPECT_FALSE(RegisterFileType(".den", "Zorbel", "Zorbel", true));
    const QString entry = DesktopEntryFile(QStringLiteral("Zorbel"));
    const QString text = QString::fromUtf8(TSandbox::Read(entry));
    EXPECT_TRUE(text.contains(QStringLiteral("\nExec=") + DesktopExecArgument(QCoreApplication::applicationFilePath()) +
                              QStringLiteral(" %f\n")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("\nComment[ru]=Учёт денег семьи"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("\nIcon=zorbel\n")));
    const QImage icon(UserIconFile());
    EXPECT_EQ(icon.size(), QSize(256, 256));
    EXPECT_EQ(box.MimeRefreshes, 1);

    RunTool(box, QStringLiteral("desktop-file-validate"), {entry});
    RefreshDesktopDatabases(box.Path("data"), true);
    // shared-mime-info took the package: "*.den" names the program's type.
    EXPECT_TRUE(TSandbox::Read(box.Path("data/mime/globs2")).contains("application/x-zorbel:*.den"));
    EXPECT_TRUE(TSandbox::Read(box.Path("data/mime/magic")).contains("application/x-zorbel"));
    EXPECT_EQ(RunTool(box, QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"),
                                                         QStringLiteral("application/x-zorbel")}),
              QByteArray("zorbel-zorbel.desktop\n"));
}

// With the installed program's entry in a system data folder, the start
// writes no user copy and removes the one a build folder's run left behind,
// which would otherwise shadow the installed program.
TEST(TulnCommon, InstalledEntryServesWithoutAUserCopy)
{
    TSandbox box;
    EXPECT_FALSE(RegisterFileType(".den", "Zorbel", "Zorbel", true)); // a run out of a build folder
    const QString stale[] = {MimePackageFile(QStringLiteral("Zorbel")), DesktopEntryFile(QStringLiteral("Zorbel")),
                             UserIconFile()};
    for (const QString &file : stale)
        ASSERT_TRUE(QFileInfo::exists(file)) << file.toStdString();
    EXPECT_EQ(box.MimeRefreshes, 1);

    const QString installed = box.Path("system/applications/example.zorbel.Zorbel.desktop");
    ASSERT_TRUE(QDir().mkpath(box.Path("system/applications")));
    TSandbox::Write(installed, "[Desktop Entry]\n");
    EXPECT_EQ(InstalledDesktopEntry().toStdString(), installed.toStdString());
    EXPECT_TRUE(RegisterFileType(".den", "Zorbel", "Zorbel", true));
    for (const QString &file : stale)
        EXPECT_FALSE(QFileInfo::exists(file)) << file.toStdString();
    EXPECT_EQ(box.MimeRefreshes, 2);
    EXPECT_TRUE(RegisterFileType(".den", "Zorbel", "Zorbel", true));
    EXPECT_EQ(box.MimeRefreshes, 2); // nothing to write or remove
    for (const QString &file : stale)
        EXPECT_FALSE(QFileInfo::exists(file));

    // A user data folder of the same path as a system one is not an install.
    QFile::remove(installed);
    TSandbox::Write(box.Path("data/applications/example.zorbel.Zorbel.desktop"), "[Desktop Entry]\n");
    qputenv("XDG_DATA_DIRS", (box.Path("data") + u':' + box.Path("system")).toUtf8());
    EXPECT_TRUE(InstalledDesktopEntry().isEmpty());
}

// Without the desktop's tools the refresh does nothing and never fails.
TEST(TulnCommon, RefreshWithoutTheDesktopToolsDoesNothing)
{
    TSandbox box;
    RegisterFileType(".den", "Zorbel", "Zorbel", true);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", box.Path("program").toUtf8());
    RefreshDesktopDatabases(box.Path("data"), true);
    RefreshDesktopDatabases(box.Path("data"), false);
    qputenv("PATH", path);
    EXPECT_FALSE(QFileInfo::exists(box.Path("data/mime/globs2")));
    EXPECT_FALSE(QFileInfo::exists(box.Path("data/applications/mimeinfo.cache")));
}

TEST(TulnCommon, DesktopExecLineQuotesEveryReservedCharacter)
{
    // After the desktop-entry string unescaping (\\ -> \) the argument reads
    // "/opt/a \"b\" \$x \`y\` \\z %%": quote, dollar, backtick and backslash
    // escaped inside the quotes, the percent sign doubled.
    EXPECT_EQ(DesktopExecArgument(QStringLiteral("/opt/a \"b\" $x `y` \\z %")),
              QStringLiteral("\"/opt/a \\\\\"b\\\\\" \\\\$x \\\\`y\\\\` \\\\\\\\z %%\""));
    EXPECT_EQ(DesktopExecArgument(QStringLiteral("/opt/Зорбел/zorbel")), QStringLiteral("\"/opt/Зорбел/zorbel\""));
    // A newline could start a new key of the entry: no entry is written.
    EXPECT_TRUE(DesktopExecArgument(QStringLiteral("/opt/a\nExec=evil")).isEmpty());
}

} // namespace
} // namespace zorbel
