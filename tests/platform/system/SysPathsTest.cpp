// Path questions and file primitives on names whose bytes are not UTF-8:
// each reaches the file the bytes name, never another.
#include "platform/system/InstanceMutex.h"
#include "platform/system/Registry.h"
#include "platform/system/SysFiles.h"
#include "platform/system/SysPaths.h"
#include "support/Environment.h"
#include "support/RawNames.h"

#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace zorbel;

namespace {

class SysPathsTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        root_ = QFile::encodeName(dir_.path()); // the temporary folder's own name is ASCII
        ASSERT_EQ(::mkdir(Raw("/p\xe0\xef\xea\xe0").constData(), 0700), 0); // CP1251 "папка"
        PutRaw(Raw("/p\xe0\xef\xea\xe0/non\xff\xfeutf8.den"), "PK data");
    }
    // A path under the test folder, as bytes.
    QByteArray Raw(const QByteArray &tail) const { return root_ + tail; }
    void TearDown() override { test::RemoveTreeRaw(root_); }
    static void PutRaw(const QByteArray &path, const QByteArray &bytes)
    {
        ASSERT_TRUE(test::PutRaw(path, bytes)) << path.toHex().toStdString();
    }
    static bool ExistsRaw(const QByteArray &path) { return test::ExistsRaw(path); }
    static QList<QByteArray> ListRaw(const QByteArray &folder) { return test::ListRaw(folder); }
    QString Name(const QByteArray &tail) const { return DecodeSystemName(Raw(tail)); }

    QTemporaryDir dir_;
    QByteArray root_;
};

TEST_F(SysPathsTest, QuestionsReachTheFileTheBytesName)
{
    const QString folder = Name("/p\xe0\xef\xea\xe0");
    const QString file = Name("/p\xe0\xef\xea\xe0/non\xff\xfeutf8.den");
    EXPECT_TRUE(PathExists(folder));
    EXPECT_TRUE(IsFolder(folder));
    EXPECT_FALSE(IsRegularFile(folder));
    EXPECT_TRUE(PathExists(file));
    EXPECT_TRUE(IsRegularFile(file));
    EXPECT_FALSE(IsFolder(file));
    EXPECT_EQ(FileSizeOf(file), 7);
    EXPECT_EQ(AbsoluteFolderOf(file), folder);
    // The name Qt shows for it names nothing.
    const QString shown = QFile::decodeName(Raw("/p\xe0\xef\xea\xe0/non\xff\xfeutf8.den"));
    EXPECT_FALSE(PathExists(shown));
    EXPECT_EQ(FileSizeOf(shown), -1);

    // A dangling link does not exist, but is a link.
    ASSERT_EQ(::symlink("nowhere", Raw("/p\xe0\xef\xea\xe0/l\xff").constData()), 0);
    EXPECT_FALSE(PathExists(Name("/p\xe0\xef\xea\xe0/l\xff")));
    EXPECT_TRUE(IsSymLink(Name("/p\xe0\xef\xea\xe0/l\xff")));
    EXPECT_FALSE(IsSymLink(file));

    // Folders made byte-exact, parents too, with the mode asked.
    const QString deep = folder + QStringLiteral("/a") + DecodeSystemName("\xfe") + QStringLiteral("/b");
    EXPECT_TRUE(MakeFolders(deep, 0700));
    EXPECT_TRUE(ExistsRaw(Raw("/p\xe0\xef\xea\xe0/a\xfe/b")));
    EXPECT_TRUE(MakeFolders(deep)); // already there
    EXPECT_EQ(ChangeMode(deep, 0500), 0);
    struct stat st {};
    ASSERT_EQ(::stat(Raw("/p\xe0\xef\xea\xe0/a\xfe/b").constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0500u);
    EXPECT_TRUE(RemoveFolder(deep));
    EXPECT_FALSE(ExistsRaw(Raw("/p\xe0\xef\xea\xe0/a\xfe/b")));
}

TEST_F(SysPathsTest, RelativeNamesAreTakenFromTheCurrentFolderByteExact)
{
    char saved[4096];
    ASSERT_NE(::getcwd(saved, sizeof saved), nullptr);
    ASSERT_EQ(::chdir(Raw("/p\xe0\xef\xea\xe0").constData()), 0);
    const QString name = AbsoluteName(QStringLiteral("./x/../non") + DecodeSystemName("\xff\xfe") + "utf8.den");
    const bool exists = PathExists(QStringLiteral("non") + DecodeSystemName("\xff\xfe") + "utf8.den");
    ASSERT_EQ(::chdir(saved), 0);
    EXPECT_EQ(EncodeSystemName(name), Raw("/p\xe0\xef\xea\xe0/non\xff\xfeutf8.den"));
    EXPECT_TRUE(exists);
}

TEST_F(SysPathsTest, ListingGivesNamesByteExactAndMatchesWildcardsOnCharacters)
{
    const QByteArray folder = Raw("/p\xe0\xef\xea\xe0");
    PutRaw(folder + "/a[1].den", "x");
    PutRaw(folder + "/.hidden", "x");
    ASSERT_EQ(::mkdir((folder + "/sub\xff").constData(), 0700), 0);
    ASSERT_EQ(::symlink("sub\xff", (folder + "/link").constData()), 0);
    const QList<TFolderEntry> all = FolderEntries(DecodeSystemName(folder));
    QList<QByteArray> names;
    for (const TFolderEntry &e : all) {
        names << EncodeSystemName(e.Name);
        const QByteArray n = EncodeSystemName(e.Name);
        EXPECT_EQ(e.Folder, n == "sub\xff" || n == "link") << n.toHex().toStdString();
        EXPECT_EQ(e.Link, n == "link") << n.toHex().toStdString();
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, ListRaw(folder));
    EXPECT_EQ(names.size(), 5);

    auto matching = [&](const QStringList &patterns) {
        QStringList found;
        for (const TFolderEntry &e : FolderEntries(DecodeSystemName(folder), patterns))
            found << QString::fromLatin1(EncodeSystemName(e.Name).toHex());
        found.sort();
        return found;
    };
    const QString odd = QString::fromLatin1(QByteArray("non\xff\xfeutf8.den").toHex());
    EXPECT_EQ(matching({"*.DEN"}), (QStringList{QString::fromLatin1(QByteArray("a[1].den").toHex()), odd}));
    EXPECT_EQ(matching({"non??utf8.den"}), QStringList{odd}); // one character per kept byte
    EXPECT_TRUE(matching({"non?utf8.den"}).isEmpty());
    // Brackets are the name's own, not a character class.
    EXPECT_EQ(matching({"a[1].den"}), QStringList{QString::fromLatin1(QByteArray("a[1].den").toHex())});
    EXPECT_TRUE(matching({"a1.den"}).isEmpty());
    EXPECT_TRUE(FolderEntries(DecodeSystemName(folder + "/none")).isEmpty());
}

TEST_F(SysPathsTest, AFileDialogsLossyNameIsFoundOnDisk)
{
    const QByteArray folder = Raw("/p\xe0\xef\xea\xe0");
    // What Qt's dialog gives for the file and for a new name in the folder.
    const QString lossy = QFile::decodeName(folder + "/non\xff\xfeutf8.den");
    ASSERT_TRUE(lossy.contains(QChar(0xFFFD)));
    bool ambiguous = true;
    EXPECT_EQ(EncodeSystemName(ReachableName(lossy, &ambiguous)), folder + "/non\xff\xfeutf8.den");
    EXPECT_FALSE(ambiguous);
    EXPECT_EQ(EncodeSystemName(ReachableName(QFile::decodeName(folder + "/new.den"))), folder + "/new.den");
    // Plain names, and a name that really holds U+FFFD, are left alone.
    EXPECT_EQ(ReachableName(dir_.path() + "/plain.den"), dir_.path() + "/plain.den");
    PutRaw(folder + "/b\xef\xbf\xbd.den", "x");
    const QString literal = DecodeSystemName(folder + "/b\xef\xbf\xbd.den");
    EXPECT_EQ(ReachableName(literal), literal);
    // Nothing that looks the same: the name as given (a new file).
    const QString none = QFile::decodeName(folder + "/c\xff.den");
    EXPECT_EQ(ReachableName(none), none);
    // Two names that look the same: no guess, also when one of them truly
    // holds U+FFFD (and so exists under the very text the dialog gives back
    // for either), and also for a folder on the way.
    const struct {
        QByteArray First, Second, Chosen;
    } lookalikes[] = {
        // first              second                      chosen
        {"/d\xff.den", "/d\xfe.den", "/d\xff.den"},
        {"/a\xff.den", "/a\xef\xbf\xbd.den", "/a\xff.den"},
        {"/e\xff/x.den", "/e\xef\xbf\xbd/x.den", "/e\xff/x.den"},
    };
    for (const auto &l : lookalikes) {
        SCOPED_TRACE(l.Chosen.toHex().toStdString());
        for (const QByteArray &name : {l.First, l.Second}) {
            if (const qsizetype slash = name.lastIndexOf('/'); slash > 0)
                ::mkdir((folder + name.left(slash)).constData(), 0700);
            PutRaw(folder + name, "x");
        }
        ambiguous = false;
        EXPECT_TRUE(ReachableName(QFile::decodeName(folder + l.Chosen), &ambiguous).isEmpty());
        EXPECT_TRUE(ambiguous);
    }
}

TEST_F(SysPathsTest, ADroppedFilesUrlGivesItsBytes)
{
    EXPECT_EQ(EncodeSystemName(LocalFileOfUrl(QUrl(QStringLiteral("file:///tmp/non%FF%FEutf8.den")))),
              QByteArray("/tmp/non\xff\xfeutf8.den"));
    EXPECT_EQ(EncodeSystemName(LocalFileOfUrl(QUrl(QStringLiteral("file:///tmp/p%E0%EF%EA%E0/a%20b.den")))),
              QByteArray("/tmp/p\xe0\xef\xea\xe0/a b.den"));
    // UTF-8 names, as a desktop sends them, read as before.
    const QString plain = QString::fromUtf8("/home/я/счёт #1 100%.den");
    EXPECT_EQ(LocalFileOfUrl(QUrl::fromLocalFile(plain)), plain);
    EXPECT_EQ(LocalFileOfUrl(QUrl(QStringLiteral("file:///tmp/%D1%81%D1%87%D1%91%D1%82.den"))),
              QString::fromUtf8("/tmp/счёт.den"));
    EXPECT_TRUE(LocalFileOfUrl(QUrl(QStringLiteral("https://example.org/a.den"))).isEmpty());
    // The way a drop carries them: a text/uri-list read back into URLs.
    QMimeData mime;
    mime.setData(QStringLiteral("text/uri-list"), "file:///tmp/d%FF/non%FF%FEutf8.den\r\n");
    ASSERT_EQ(mime.urls().size(), 1);
    EXPECT_EQ(EncodeSystemName(LocalFileOfUrl(mime.urls().first())), QByteArray("/tmp/d\xff/non\xff\xfeutf8.den"));
}

TEST_F(SysPathsTest, FilePrimitivesWriteUnderTheExactName)
{
    const QByteArray folder = Raw("/p\xe0\xef\xea\xe0");
    const QString target = DecodeSystemName(folder + "/new\xfd" "dir/saved\xff.den");
    SaveFileAtomically(target, QByteArray("contents"));
    EXPECT_EQ(ListRaw(folder + "/new\xfd" "dir"), QList<QByteArray>{"saved\xff.den"}); // no temporary left
    QByteArray back;
    ASSERT_TRUE(ReadWholeFile(target, -1, back).Ok());
    EXPECT_EQ(back, "contents");
    const QString copy = DecodeSystemName(folder + "/copy\xfe.den");
    ASSERT_TRUE(CopyFile(target, copy, false));
    EXPECT_TRUE(ExistsRaw(folder + "/copy\xfe.den"));
    EXPECT_FALSE(CopyFile(target, copy, true));
    const QString moved = DecodeSystemName(folder + "/moved\xfe.den");
    ASSERT_TRUE(MoveFileReplace(copy, moved));
    EXPECT_FALSE(ExistsRaw(folder + "/copy\xfe.den"));
    EXPECT_TRUE(ExistsRaw(folder + "/moved\xfe.den"));
    EXPECT_EQ(FileGetAttr(moved) & faArchive, faArchive);
    EXPECT_TRUE(FileAge(moved).isValid());
    EXPECT_EQ(FileSetAttr(moved, faReadOnly), 0);
    EXPECT_EQ(FileGetAttr(moved) & faReadOnly, faReadOnly);
}

// The user's folders come from the environment byte for byte: a home, data
// or configuration folder whose name is not UTF-8 (made on a KOI8-R or
// CP1251 system) must lead to itself, or the settings, the lock and the
// program's own files go elsewhere or nowhere.
TEST_F(SysPathsTest, TheUsersFoldersKeepTheBytesOfTheirNames)
{
    const QByteArray home = Raw("/\xe4\xee\xec"); // CP1251 "дом"
    const passwd *entry = ::getpwuid(::getuid());
    const QByteArray own = entry ? QByteArray(entry->pw_dir) : QByteArray();
    struct TRow {
        const char *What;
        QByteArray Home, DataHome, ConfigHome; // null: unset
        QByteArray Data, Config;               // the folders expected
    };
    const TRow rows[] = {
        {"home only", home, {}, {}, home + "/.local/share", home + "/.config"},
        {"both set", home, Raw("/d\xff"), Raw("/c\xfe/"), Raw("/d\xff"), Raw("/c\xfe")},
        {"relative ones are no folders", home, "d\xff", "./c", home + "/.local/share", home + "/.config"},
        {"home empty: the user's entry", "", {}, {}, own + "/.local/share", own + "/.config"},
    };
    for (const TRow &row : rows) {
        test::TEnvironment env{
            {"HOME", row.Home}, {"XDG_DATA_HOME", row.DataHome}, {"XDG_CONFIG_HOME", row.ConfigHome}};
        EXPECT_EQ(EncodeSystemName(UserDataHome()), row.Data) << row.What;
        EXPECT_EQ(EncodeSystemName(UserConfigHome()), row.Config) << row.What;
        EXPECT_EQ(EncodeSystemName(TRegistry::DefaultFileName()), row.Config + "/zorbel/registry.json") << row.What;
    }
    {
        // The lock of the single instance lives there too when no session
        // folder is set.
        test::TEnvironment env{{"HOME", home}, {"XDG_CONFIG_HOME", {}}, {"XDG_RUNTIME_DIR", {}}};
        EXPECT_EQ(EncodeSystemName(UserLockFolder()), home + "/.config/zorbel-" + QByteArray::number(::getuid()) + "/");
        EXPECT_TRUE(ExistsRaw(home + "/.config/zorbel-" + QByteArray::number(::getuid())));
    }
    {
        test::TEnvironment env{{"XDG_DATA_DIRS", "/opt/z\xff/share::relative:/usr/share"}};
        const QStringList folders = SystemDataFolders();
        ASSERT_EQ(folders.size(), 2);
        EXPECT_EQ(EncodeSystemName(folders[0]), QByteArray("/opt/z\xff/share"));
        EXPECT_EQ(folders[1], QStringLiteral("/usr/share"));
    }
    {
        test::TEnvironment env{{"XDG_DATA_DIRS", {}}};
        EXPECT_EQ(SystemDataFolders(), (QStringList{"/usr/local/share", "/usr/share"}));
    }
}

// The questions a save and a start ask of a path, byte-exact: the program's
// own file, a folder's real name behind links, a file's permission bits.
TEST_F(SysPathsTest, ProgramFileRealNamesAndModesReachTheBytes)
{
    EXPECT_TRUE(IsRegularFile(ProgramFile()));
    EXPECT_TRUE(PathAccessible(ProgramFile(), X_OK));
    const QByteArray folder = Raw("/p\xe0\xef\xea\xe0");
    ASSERT_EQ(::symlink(folder.constData(), Raw("/l\xff").constData()), 0);
    char *real = ::realpath(folder.constData(), nullptr);
    ASSERT_NE(real, nullptr);
    const QByteArray expected(real);
    ::free(real);
    EXPECT_EQ(EncodeSystemName(CanonicalName(Name("/l\xff/./"))), expected);
    EXPECT_TRUE(CanonicalName(Name("/l\xff/none")).isEmpty());
    const QString file = Name("/p\xe0\xef\xea\xe0/non\xff\xfeutf8.den");
    ASSERT_EQ(::chmod(EncodeSystemName(file).constData(), 0640), 0);
    EXPECT_EQ(FileModeOf(file), 0640);
    EXPECT_EQ(FileModeOf(Name("/l\xff/non\xff\xfeutf8.den")), 0640); // through the link
    EXPECT_EQ(FileModeOf(Name("/none")), -1);
}

} // namespace
