// The settings store: value kinds, keys, the file's privacy, and failed or interrupted writes.
#include "platform/system/Registry.h"

#include "ChildProcess.h"
#include "platform/system/SysNames.h"
#include "support/FaultEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <climits>
#include <sys/stat.h>
#include <unistd.h>

using namespace zorbel;

namespace {

const QString ZorbelKey = QStringLiteral("Software\\Ventaro\\Zorbel");

class RegistryTest : public testing::Test {
protected:
    QString Path() const { return dir_.filePath(QStringLiteral("cfg/registry.json")); }

    QByteArray FileBytes() const
    {
        QFile file(Path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Names in the settings folder other than the settings file itself.
    QStringList Strays() const
    {
        QStringList names = QDir(dir_.filePath(QStringLiteral("cfg"))).entryList(QDir::Files | QDir::Hidden);
        names.removeAll(QStringLiteral("registry.json"));
        return names;
    }

    // A settings file holding Left = 93 and Recent_Catalog.
    void WriteBaseline()
    {
        TRegistry reg(Path());
        ASSERT_TRUE(reg.OpenKey(ZorbelKey, true));
        reg.WriteInteger(QStringLiteral("Left"), 93);
        reg.WriteString(QStringLiteral("Recent_Catalog"), QStringLiteral("/home/ivan/деньги.den"));
        reg.CloseKey();
    }

    QTemporaryDir dir_;
};

// Expects the call to raise ERegistryException with exactly this message.
template <typename F> void ExpectRegistryError(F call, const QString &message)
{
    try {
        call();
        ADD_FAILURE() << "no exception, expected: " << message.toStdString();
    } catch (const ERegistryException &e) {
        EXPECT_EQ(e.Message(), message);
    }
}

} // namespace

TEST(Registry, DefaultFileLivesInTheXdgConfigFolder)
{
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/home/ivan/.cfg");
    EXPECT_EQ(TRegistry::DefaultFileName(), QStringLiteral("/home/ivan/.cfg/zorbel/registry.json"));
    if (saved.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", saved);
}

TEST_F(RegistryTest, EveryKindSurvivesTheFile)
{
    const QByteArray grid("\x00\x01\xff\x80grid", 8);
    {
        TRegistry reg(Path());
        ASSERT_TRUE(reg.OpenKey(ZorbelKey, true));
        reg.WriteString(QStringLiteral("Calc"), QStringLiteral("calc.exe"));
        reg.WriteString(QStringLiteral("DateForm"), QStringLiteral("dd.mm.yy ddd «Ёё»"));
        reg.WriteString(QStringLiteral("CSV"), QString());
        reg.WriteInteger(QStringLiteral("Left"), -93);
        reg.WriteInteger(QStringLiteral("Min"), INT_MIN);
        reg.WriteInteger(QStringLiteral("Max"), INT_MAX);
        reg.WriteBool(QStringLiteral("Bar"), true);
        reg.WriteBool(QStringLiteral("Status"), false);
        reg.WriteBinaryData(QStringLiteral("Grid"), grid.constData(), int(grid.size()));
        reg.CloseKey();
    }
    TRegistry reg(Path());
    ASSERT_TRUE(reg.OpenKey(ZorbelKey, false));
    EXPECT_EQ(reg.ReadString(QStringLiteral("Calc")), QStringLiteral("calc.exe"));
    EXPECT_EQ(reg.ReadString(QStringLiteral("DateForm")), QStringLiteral("dd.mm.yy ddd «Ёё»"));
    EXPECT_TRUE(reg.ValueExists(QStringLiteral("CSV")));
    EXPECT_EQ(reg.ReadString(QStringLiteral("CSV")), QString());
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("Left")), -93);
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("Min")), INT_MIN);
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("Max")), INT_MAX);
    EXPECT_TRUE(reg.ReadBool(QStringLiteral("Bar")));
    EXPECT_FALSE(reg.ReadBool(QStringLiteral("Status")));
    ASSERT_EQ(reg.GetDataSize(QStringLiteral("Grid")), 8);
    QByteArray read(8, '?');
    EXPECT_EQ(reg.ReadBinaryData(QStringLiteral("Grid"), read.data(), 8), 8);
    EXPECT_EQ(read, grid);
    EXPECT_EQ(reg.GetDataSize(QStringLiteral("Left")), 4);
    EXPECT_EQ(reg.GetDataSize(QStringLiteral("Calc")), 18);
    EXPECT_EQ(reg.GetDataSize(QStringLiteral("Top")), -1);
    EXPECT_FALSE(reg.ValueExists(QStringLiteral("Top")));
}

// A recent-file name whose bytes are not UTF-8 comes back byte-exact; the
// file stays readable JSON, and a file written before reads the same.
TEST_F(RegistryTest, AFileNameWithBytesThatAreNotUtf8SurvivesTheFile)
{
    const QString odd = DecodeSystemName("/home/u/p\xe0\xef\xea\xe0/non\xff\xfeutf8.den");
    {
        TRegistry reg(Path());
        ASSERT_TRUE(reg.OpenKey(ZorbelKey, true));
        reg.WriteString(QStringLiteral("Recent_Catalog"), odd);
        reg.WriteString(QStringLiteral("Plain"), QStringLiteral("/home/u/счёт.den"));
        reg.CloseKey();
    }
    const QByteArray text = FileBytes();
    EXPECT_TRUE(text.contains("non\xef\xbf\xbd\xef\xbf\xbdutf8.den")) << text.toStdString(); // shown readably
    EXPECT_FALSE(text.contains("non\xff")) << "the file is UTF-8 text";
    {
        TRegistry reg(Path());
        ASSERT_TRUE(reg.OpenKey(ZorbelKey, false));
        EXPECT_EQ(EncodeSystemName(reg.ReadString(QStringLiteral("Recent_Catalog"))),
                  QByteArray("/home/u/p\xe0\xef\xea\xe0/non\xff\xfeutf8.den"));
        EXPECT_EQ(reg.ReadString(QStringLiteral("Plain")), QStringLiteral("/home/u/счёт.den"));
        // Written back unchanged, it stays so.
        reg.WriteInteger(QStringLiteral("Left"), 1);
        reg.CloseKey();
    }
    TRegistry again(Path());
    ASSERT_TRUE(again.OpenKey(ZorbelKey, false));
    EXPECT_EQ(again.ReadString(QStringLiteral("Recent_Catalog")), odd);

    // A settings file of an earlier version: strings as they were, and a
    // damaged "bytes" member falls back to the text.
    QDir().mkpath(dir_.filePath(QStringLiteral("cfg")));
    QFile file(Path());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(R"({"format": "zorbel-registry 1", "keys": {"Software\\Ventaro\\Zorbel": {)"
               R"("Recent_Catalog": {"kind": "string", "data": "/home/u/Семья.den"},)"
               R"("Odd": {"kind": "string", "data": "a\ufffd.den", "bytes": "!!not base64"}}}})");
    file.close();
    TRegistry old(Path());
    ASSERT_TRUE(old.OpenKey(ZorbelKey, false));
    EXPECT_EQ(old.ReadString(QStringLiteral("Recent_Catalog")), QStringLiteral("/home/u/Семья.den"));
    EXPECT_EQ(old.ReadString(QStringLiteral("Odd")), QString::fromUtf8("a\uFFFD.den"));
}

TEST_F(RegistryTest, ReadingAnotherKindRaisesButDoubleWordsAreInterchangeable)
{
    TRegistry reg(Path());
    ASSERT_TRUE(reg.OpenKey(ZorbelKey, true));
    reg.WriteString(QStringLiteral("Left"), QStringLiteral("93"));
    reg.WriteInteger(QStringLiteral("Top"), 2);
    reg.WriteBool(QStringLiteral("Bar"), true);
    reg.WriteBinaryData(QStringLiteral("Grid"), "ab", 2);
    char buffer[8];

    ExpectRegistryError([&] { reg.ReadInteger(QStringLiteral("Left")); }, QStringLiteral("Invalid data type for 'Left'"));
    ExpectRegistryError([&] { reg.ReadBool(QStringLiteral("Left")); }, QStringLiteral("Invalid data type for 'Left'"));
    ExpectRegistryError([&] { reg.ReadBinaryData(QStringLiteral("Left"), buffer, 8); },
                        QStringLiteral("Invalid data type for 'Left'"));
    ExpectRegistryError([&] { reg.ReadString(QStringLiteral("Top")); }, QStringLiteral("Invalid data type for 'Top'"));
    ExpectRegistryError([&] { reg.ReadString(QStringLiteral("Grid")); }, QStringLiteral("Invalid data type for 'Grid'"));
    ExpectRegistryError([&] { reg.ReadInteger(QStringLiteral("Grid")); }, QStringLiteral("Invalid data type for 'Grid'"));
    ExpectRegistryError([&] { reg.ReadBinaryData(QStringLiteral("Bar"), buffer, 8); },
                        QStringLiteral("Invalid data type for 'Bar'"));

    // Booleans and integers are both double words.
    EXPECT_TRUE(reg.ReadBool(QStringLiteral("Top")));
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("Bar")), 1);
}

TEST_F(RegistryTest, MissingValuesAndMissingKeys)
{
    TRegistry reg(Path());
    EXPECT_FALSE(reg.OpenKey(ZorbelKey, false));
    EXPECT_FALSE(reg.KeyExists(ZorbelKey));
    ExpectRegistryError([&] { reg.WriteInteger(QStringLiteral("Left"), 1); },
                        QString::fromUtf8("Не удалось записать значение «Left»"));

    ASSERT_TRUE(reg.OpenKey(ZorbelKey, true));
    EXPECT_EQ(reg.CurrentPath(), ZorbelKey);
    EXPECT_EQ(reg.ReadString(QStringLiteral("SaveDir")), QString());
    ExpectRegistryError([&] { reg.ReadInteger(QStringLiteral("Left")); },
                        QString::fromUtf8("Не удалось прочитать значение «Left»"));
    ExpectRegistryError([&] { reg.ReadBool(QStringLiteral("Bar")); }, QString::fromUtf8("Не удалось прочитать значение «Bar»"));
    reg.WriteBinaryData(QStringLiteral("Grid"), "abcd", 4);
    char small[3];
    ExpectRegistryError([&] { reg.ReadBinaryData(QStringLiteral("Grid"), small, 3); },
                        QString::fromUtf8("Не удалось прочитать значение «Grid»"));
    reg.CloseKey();
    EXPECT_TRUE(reg.CurrentPath().isEmpty());
    EXPECT_FALSE(reg.ValueExists(QStringLiteral("Grid")));

    // A key created without values is kept, and its parents exist.
    TRegistry again(Path());
    EXPECT_TRUE(again.KeyExists(QStringLiteral("\\Software\\Ventaro")));
    EXPECT_FALSE(again.KeyExists(QStringLiteral("Software\\Vent")));
    EXPECT_TRUE(again.OpenKey(ZorbelKey, false));
}

TEST_F(RegistryTest, DeleteKeyRemovesItWithEverythingBelowAndWritesAtOnce)
{
    {
        TRegistry reg(Path());
        for (const char *key : {"Software\\Ventaro\\Zorbel", "Software\\Ventaro\\Zorbel\\Sub",
                                "Software\\Ventaro\\ZorbelX", "Software\\Ventaro\\Lumvara"}) {
            ASSERT_TRUE(reg.OpenKey(QLatin1String(key), true));
            reg.WriteInteger(QStringLiteral("Left"), 1);
        }
        reg.CloseKey();
    }
    TRegistry reg(Path());
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("Software\\Ventaro\\Zorbel\\Sub"), false));
    EXPECT_TRUE(reg.DeleteKey(ZorbelKey));
    EXPECT_TRUE(reg.CurrentPath().isEmpty()); // the open key went with it
    EXPECT_FALSE(reg.DeleteKey(ZorbelKey));

    TRegistry fresh(Path()); // sees the file before `reg` is closed
    EXPECT_FALSE(fresh.KeyExists(ZorbelKey));
    EXPECT_FALSE(fresh.KeyExists(QStringLiteral("Software\\Ventaro\\Zorbel\\Sub")));
    EXPECT_TRUE(fresh.KeyExists(QStringLiteral("Software\\Ventaro\\ZorbelX")));
    ASSERT_TRUE(fresh.OpenKey(QStringLiteral("Software\\Ventaro\\Lumvara"), false));
    EXPECT_EQ(fresh.ReadInteger(QStringLiteral("Left")), 1);
}

TEST_F(RegistryTest, FailedWriteLeavesTheOldFileAndKeepsChangesPending)
{
    WriteBaseline();
    const QByteArray before = FileBytes();
    ASSERT_FALSE(before.isEmpty());

    TRegistry reg(Path());
    ASSERT_TRUE(reg.OpenKey(ZorbelKey, true));
    reg.WriteInteger(QStringLiteral("Left"), 500);
    {
        test::TFaultEnv env;
        env.FailCall(TSysOp::Write, 1, ENOSPC, true); // the disk is full
        TSysEnvScope scope(env);
        ExpectRegistryError([&] { reg.CloseKey(); },
                            QString::fromUtf8("Не удаётся записать файл «%1». Нет места на диске.").arg(Path()));
        EXPECT_EQ(FileBytes(), before);
        EXPECT_EQ(Strays(), QStringList());
    }
    reg.CloseKey();
    TRegistry after(Path());
    ASSERT_TRUE(after.OpenKey(ZorbelKey, false));
    EXPECT_EQ(after.ReadInteger(QStringLiteral("Left")), 500);
}

TEST_F(RegistryTest, CrashWhileWritingLeavesTheOldFileReadable)
{
    WriteBaseline();
    const QByteArray before = FileBytes();
    // The process ends before the data is written, before it is synced, and
    // before the new file is renamed over the old one.
    for (TSysOp crashAt : {TSysOp::Write, TSysOp::Flush, TSysOp::Rename}) {
        const int code = test::RunInChild([&] {
            TRegistry reg(Path());
            reg.OpenKey(ZorbelKey, true);
            reg.WriteInteger(QStringLiteral("Left"), 7);
            test::TFaultEnv env;
            env.AtCall(crashAt, 1, [] { ::_exit(42); });
            TSysEnvScope scope(env);
            reg.CloseKey();
            return 0;
        });
        ASSERT_EQ(code, 42);
        EXPECT_EQ(FileBytes(), before);
    }
    TRegistry reg(Path());
    ASSERT_TRUE(reg.OpenKey(ZorbelKey, false));
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("Left")), 93);
}

TEST_F(RegistryTest, UnwritableLocationIsReported)
{
    QFile blocker(dir_.filePath(QStringLiteral("cfg")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
    blocker.close();
    {
        TRegistry reg(Path());
        ASSERT_TRUE(reg.OpenKey(ZorbelKey, true));
        reg.WriteBool(QStringLiteral("Bar"), true);
        EXPECT_THROW(reg.CloseKey(), ERegistryException);
        EXPECT_TRUE(reg.OpenKey(ZorbelKey, false));
        EXPECT_FALSE(reg.DeleteKey(ZorbelKey));
        EXPECT_TRUE(reg.KeyExists(ZorbelKey)); // the failed delete changed nothing
    } // the destructor's silent retry fails as well and must not throw
}

// A settings file past any size the program writes (a valid one, padded
// with a huge value) is neither read nor written back whole: it is set aside
// unread, once, and the store starts empty; one just within the bound reads.
TEST_F(RegistryTest, ASettingsFilePastTheBoundIsSetAsideUnread)
{
    const auto write = [&](qint64 size) {
        const QByteArray head = R"({"format":"zorbel-registry 1","keys":{"Software\\Ventaro\\Zorbel":{)"
                                R"("Left":{"kind":"integer","data":93},"Pad":{"kind":"string","data":")";
        const QByteArray tail = "\"}}}}";
        QDir().mkpath(QFileInfo(Path()).path());
        QFile file(Path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(head + QByteArray(size - head.size() - tail.size(), 'x') + tail);
    };
    write(TRegistry::MaxFileSize);
    {
        TRegistry reg(Path());
        ASSERT_TRUE(reg.OpenKey(ZorbelKey, false));
        EXPECT_EQ(reg.ReadInteger(QStringLiteral("Left")), 93);
    }
    EXPECT_TRUE(TRegistry::TakeOversizedCopies().isEmpty());
    write(TRegistry::MaxFileSize + 1);
    {
        TRegistry reg(Path());
        EXPECT_FALSE(reg.KeyExists(ZorbelKey));
        ASSERT_TRUE(reg.OpenKey(ZorbelKey, true));
        reg.WriteInteger(QStringLiteral("Top"), 5);
        reg.CloseKey();
    }
    const QStringList kept = TRegistry::TakeOversizedCopies();
    ASSERT_EQ(kept.size(), 1);
    EXPECT_TRUE(kept[0].startsWith(Path() + ".too-large-"));
    EXPECT_EQ(QFileInfo(kept[0]).size(), TRegistry::MaxFileSize + 1);
    EXPECT_LT(QFileInfo(Path()).size(), 1024) << "the new store holds only what was written";
    EXPECT_TRUE(TRegistry::TakeOversizedCopies().isEmpty());
    EXPECT_TRUE(TRegistry::TakeDamagedCopies().isEmpty());
    QFile::remove(kept[0]);
}

TEST_F(RegistryTest, FileIsPrivateAndForeignContentIsKeptAsideAndReadsAsEmpty)
{
    WriteBaseline();
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(Path()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    for (const char *content : {"not a store", "{\"format\":\"other\",\"keys\":{\"Software\\\\Ventaro\\\\Zorbel\":{}}}"}) {
        QFile file(Path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
        file.close();
        TRegistry reg(Path());
        EXPECT_FALSE(reg.KeyExists(ZorbelKey)) << content;
        // The unreadable file is kept aside, once, for the user to see.
        const QStringList kept = TRegistry::TakeDamagedCopies();
        ASSERT_EQ(kept.size(), 1) << content;
        EXPECT_TRUE(kept[0].startsWith(Path() + ".damaged-"));
        QFile copy(kept[0]);
        ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
        EXPECT_EQ(copy.readAll(), QByteArray(content));
        copy.close();
        copy.remove();
        EXPECT_FALSE(QFileInfo::exists(Path()));
        EXPECT_TRUE(TRegistry::TakeDamagedCopies().isEmpty());
    }

    // Values in a form the store never writes are skipped one by one.
    QFile file(Path());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(R"({"format":"zorbel-registry 1","keys":{"Software\\Ventaro\\Zorbel":{
        "Left":{"kind":"integer","data":1.5}, "Top":{"kind":"integer","data":4294967296},
        "Bar":{"kind":"boolean","data":1}, "Grid":{"kind":"binary","data":"@@"},
        "Width":{"kind":"integer","data":804}}}})");
    file.close();
    TRegistry reg(Path());
    ASSERT_TRUE(reg.OpenKey(ZorbelKey, false));
    for (const char *name : {"Left", "Top", "Bar", "Grid"})
        EXPECT_FALSE(reg.ValueExists(QLatin1String(name))) << name;
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("Width")), 804);
}
