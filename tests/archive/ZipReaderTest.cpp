// The reader against archives written by independent tools (Info-ZIP zip,
// Python's zipfile) and against damaged and hostile archives.
#include "archive/ZipReader.h"

#include "archive/ZipDecode.h"
#include "ZipRecordSupport.h"
#include "support/FaultEnv.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <random>
#include <unistd.h>

using namespace zorbel;
using namespace ziptest;

namespace {

class ZipReaderTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        src = tmp.filePath("src");
        out = tmp.filePath("out");
        QDir().mkpath(src);
    }

    QString Src(const QString &name) const { return src + "/" + name; }
    QString Out(const QString &name) const { return out + "/" + name; }

    void MakeFile(const QString &name, const QByteArray &data)
    {
        QDir().mkpath(QFileInfo(Src(name)).path());
        ASSERT_TRUE(WriteFile(Src(name), data));
    }

    // Runs Info-ZIP zip in the source folder; returns the archive's path.
    QString Zip(const QString &archive, const QStringList &args)
    {
        const QString path = tmp.filePath(archive);
        QString output;
        EXPECT_EQ(RunTool("zip", QStringList{"-q", path} + args, src, &output), 0) << output.toStdString();
        return path;
    }

    // Runs a Python snippet with `zipfile` imported and `path` set to the
    // archive's path; returns that path.
    QString PyZip(const QString &archive, const QString &body)
    {
        const QString path = tmp.filePath(archive);
        QString output;
        const QString script = "import zipfile, sys\npath = sys.argv[1]\n" + body;
        EXPECT_EQ(RunTool("python3", {"-c", script, path}, src, &output), 0) << output.toStdString();
        return path;
    }

    // Extracts everything of archive into out/ and returns the count.
    int ExtractAll(TZipReader &zip, const QString &archive)
    {
        zip.SetZipName(archive);
        zip.SetDestDir(out);
        zip.SetDoAll(true);
        zip.SetOverwriteMode(TUZOverwriteMode::Always);
        zip.SetDoProcessMessages(false);
        return zip.ExtractFiles();
    }

    QStringList OutFiles() const
    {
        QStringList found;
        QDir dir(out);
        for (const QFileInfo &fi : dir.entryInfoList(QDir::Files | QDir::Hidden))
            found << fi.fileName();
        found.sort();
        return found;
    }

    static QByteArray Text(int size, unsigned seed)
    {
        static const char *words[] = {"money ", "account ", "rate ", "ledger ", "income ", "expense ", "\n"};
        std::mt19937 rng(seed);
        QByteArray b;
        b.reserve(size);
        while (b.size() < size)
            b += words[rng() % 7];
        b.truncate(size);
        return b;
    }

    static QByteArray Noise(int size, unsigned seed)
    {
        std::mt19937 rng(seed);
        QByteArray b(size, 0);
        for (char &c : b)
            c = char(rng());
        return b;
    }

    QTemporaryDir tmp;
    QString src;
    QString out;
};

} // namespace

TEST_F(ZipReaderTest, ListsAndExtractsInfoZipArchivesAtEveryLevel)
{
    MakeFile("text.txt", Text(70000, 1));
    MakeFile("noise.bin", Noise(20000, 2));
    MakeFile("empty.dat", {});
    MakeFile("dir/inner.txt", Text(100, 3));
    for (const char *level : {"-0", "-1", "-6", "-9"}) {
        SCOPED_TRACE(level);
        const QString archive = Zip(QString("l%1.zip").arg(level), {level, "-r", "text.txt", "noise.bin",
                                                                     "empty.dat", "dir"});
        TZipReader zip;
        zip.SetZipName(archive);
        zip.ReadDirectory();
        ASSERT_EQ(zip.Count(), 5);
        QStringList names;
        for (int i = 0; i < zip.Count(); ++i)
            names << zip.Entry(i).FullName();
        EXPECT_EQ(names, (QStringList{"text.txt", "noise.bin", "empty.dat", "dir\\", "dir\\inner.txt"}));
        // Every field against Python's reading of the same archive.
        QString listing;
        ASSERT_EQ(RunTool("python3", {"-c", "import zipfile, sys\n"
                                            "for i in zipfile.ZipFile(sys.argv[1]).infolist():\n"
                                            "    print(i.filename, i.CRC, i.compress_size, i.file_size, i.compress_type,"
                                            " i.flag_bits, i.header_offset, i.external_attr)",
                                      archive},
                          src, &listing),
                  0);
        QStringList ours;
        for (int i = 0; i < zip.Count(); ++i) {
            const TZipHeaderInfo &e = zip.Entry(i);
            QString name = e.FullName();
            SlashesToForward(name);
            ours << QString("%1 %2 %3 %4 %5 %6 %7 %8")
                        .arg(name)
                        .arg(e.Crc32)
                        .arg(e.CompressedSize)
                        .arg(e.UncompressedSize)
                        .arg(e.CompressionMethod)
                        .arg(e.Flag)
                        .arg(e.RelativeOffset)
                        .arg(uint32_t(e.ExternalFileAttributes));
        }
        EXPECT_EQ(ours, listing.trimmed().split('\n'));
        EXPECT_EQ(zip.Entry(0).UncompressedSize, 70000);
        EXPECT_FALSE(zip.IsEntryEncrypted(0));
        // Both sides are in MS-DOS form, which keeps even seconds only.
        EXPECT_NEAR(zip.GetDateTime(0), FileAgeAsDateTime(Src("text.txt")), 3.0 / 86400);

        QDir(out).removeRecursively();
        EXPECT_EQ(ExtractAll(zip, archive), 4); // the folder entry creates nothing
        EXPECT_EQ(OutFiles(), (QStringList{"empty.dat", "inner.txt", "noise.bin", "text.txt"}));
        EXPECT_EQ(ReadFile(Out("text.txt")), ReadFile(Src("text.txt")));
        EXPECT_EQ(ReadFile(Out("noise.bin")), ReadFile(Src("noise.bin")));
        EXPECT_EQ(ReadFile(Out("inner.txt")), ReadFile(Src("dir/inner.txt")));
        EXPECT_EQ(QFileInfo(Out("empty.dat")).size(), 0);
        // The entry's time is given to the file.
        EXPECT_NEAR(FileAgeAsDateTime(Out("text.txt")), zip.GetDateTime(0), 3.0 / 86400);
    }
}

TEST_F(ZipReaderTest, RecreatesFoldersAndSelectsByMask)
{
    MakeFile("a.txt", "A");
    MakeFile("b.db", "B");
    MakeFile("sub/c.txt", "C");
    MakeFile("sub/deep/d.db", "D");
    const QString archive = Zip("m.zip", {"-r", "a.txt", "b.db", "sub"});

    TZipReader zip;
    zip.SetZipName(archive);
    zip.SetDestDir(out + "/");
    EXPECT_EQ(zip.DestDir(), out);
    zip.SetRecreateDirs(true);
    zip.FilesList().Add("*.DB");
    EXPECT_EQ(zip.ExtractFiles(), 2);
    EXPECT_TRUE(QFileInfo::exists(Out("b.db")));
    EXPECT_TRUE(QFileInfo::exists(Out("sub/deep/d.db")));
    EXPECT_FALSE(QFileInfo::exists(Out("a.txt")));

    // Folder entries are offered to OnStartUnZip too, when recreating folders.
    QStringList started;
    zip.OnStartUnZip = [&](TZipReader *, int, QString &name, bool &skip) {
        started << name;
        skip = true;
    };
    zip.SetDoAll(true);
    EXPECT_EQ(zip.ExtractFiles(), 0);
    started.sort();
    EXPECT_EQ(started, (QStringList{Out("a.txt"), Out("b.db"), Out("sub"), Out("sub/c.txt"), Out("sub/deep"),
                                    Out("sub/deep/d.db")}));
    zip.SetDoAll(false);
    zip.OnStartUnZip = nullptr;

    QDir(out).removeRecursively();
    zip.FilesList().Clear();
    zip.FilesList().Add("sub\\*");
    zip.SetRecreateDirs(false);
    EXPECT_EQ(zip.ExtractFiles(), 2);
    EXPECT_EQ(OutFiles(), (QStringList{"c.txt", "d.db"}));

    // RootDir is taken off the front of stored folders.
    QDir(out).removeRecursively();
    zip.SetRecreateDirs(true);
    zip.SetRootDir("SUB");
    EXPECT_EQ(zip.RootDir(), "SUB/");
    zip.SetRootDir("sub\\");
    zip.FilesList().Clear();
    zip.FilesList().Add("*d.db");
    EXPECT_EQ(zip.ExtractFiles(), 1);
    EXPECT_TRUE(QFileInfo::exists(Out("deep/d.db")));
}

TEST_F(ZipReaderTest, OverwriteModes)
{
    MakeFile("f.txt", "new contents");
    const QString archive = Zip("o.zip", {"f.txt"});
    QDir().mkpath(out);
    auto resetTarget = [&](const char *data, uint32_t dos) {
        WriteFile(Out("f.txt"), data);
        SetFileAgeDos(Out("f.txt"), dos);
    };
    const uint32_t old = uint32_t((1990 - 1980) << 9 | 1 << 5 | 1) << 16;
    const uint32_t future = uint32_t((2090 - 1980) << 9 | 1 << 5 | 1) << 16;

    TZipReader zip;
    zip.SetZipName(archive);
    zip.SetDestDir(out);
    zip.SetDoAll(true);
    std::vector<TSkipReason> skipped;
    zip.OnSkippingFile = [&](TZipReader *, TSkipReason r, const QString &, int) { skipped.push_back(r); };

    struct Case {
        TUZOverwriteMode mode;
        uint32_t existingDate;
        bool replaced;
    };
    for (const Case &c : {Case{TUZOverwriteMode::Never, old, false}, Case{TUZOverwriteMode::ifNewer, old, true},
                          Case{TUZOverwriteMode::ifNewer, future, false}, Case{TUZOverwriteMode::ifOlder, future, true},
                          Case{TUZOverwriteMode::ifOlder, old, false}, Case{TUZOverwriteMode::Always, future, true}}) {
        SCOPED_TRACE(int(c.mode));
        resetTarget("old", c.existingDate);
        skipped.clear();
        zip.SetOverwriteMode(c.mode);
        EXPECT_EQ(zip.ExtractFiles(), c.replaced ? 1 : 0);
        EXPECT_EQ(ReadFile(Out("f.txt")), c.replaced ? "new contents" : "old");
        if (!c.replaced) {
            EXPECT_EQ(skipped, std::vector<TSkipReason>{TSkipReason::srNoOverwrite});
        }
    }

    // Prompt: the event decides; without it, the message box does.
    zip.SetOverwriteMode(TUZOverwriteMode::Prompt);
    resetTarget("old", old);
    zip.OnPromptForOverwrite = [](TZipReader *, bool &yes, int, QString &) { yes = true; };
    EXPECT_EQ(zip.ExtractFiles(), 1);
    zip.OnPromptForOverwrite = nullptr;
    resetTarget("old", old);
    QString asked;
    zip.MessageBox = [&](const QString &text, const QString &caption, int) {
        asked = caption + ": " + text;
        return mrNo;
    };
    EXPECT_EQ(zip.ExtractFiles(), 0);
    EXPECT_EQ(asked, "File Exists Alert: Replace existing file f.txt?");
    EXPECT_EQ(ReadFile(Out("f.txt")), "old");
}

TEST_F(ZipReaderTest, PasswordRetryThroughTheEvent)
{
    MakeFile("secret.txt", Text(5000, 4));
    MakeFile("plain.txt", "plain");
    MakeFile("second.txt", Text(300, 5));
    // zip -e from a file name argument writes with a data descriptor (flag
    // bit 3), so the check byte comes from the time field.
    const QString archive = Zip("p.zip", {"-P", "right", "secret.txt", "second.txt"});
    TZipReader zip;
    zip.SetZipName(archive);
    zip.ReadDirectory();
    ASSERT_TRUE(zip.IsEntryEncrypted(0));

    // Wrong password, handler keeps it: every entry skipped, no file.
    std::vector<std::pair<int, QString>> calls;
    zip.OnBadPassword = [&](TZipReader *, int index, QString &pw) { calls.push_back({index, pw}); };
    zip.SetPassword("wrong");
    EXPECT_EQ(ExtractAll(zip, archive), 0);
    ASSERT_GE(calls.size(), 1u);
    EXPECT_EQ(calls[0], (std::pair<int, QString>{0, "wrong"}));
    EXPECT_TRUE(OutFiles().isEmpty());

    // Wrong then right: the same header is tried again with the new keys.
    calls.clear();
    zip.OnBadPassword = [&](TZipReader *, int index, QString &pw) {
        calls.push_back({index, pw});
        pw = "right";
    };
    EXPECT_EQ(zip.ExtractFiles(), 2);
    EXPECT_EQ(calls.size(), 1u);
    EXPECT_EQ(zip.Password(), "right");
    EXPECT_EQ(ReadFile(Out("secret.txt")), ReadFile(Src("secret.txt")));
    EXPECT_EQ(ReadFile(Out("second.txt")), ReadFile(Src("second.txt")));
}

TEST_F(ZipReaderTest, PythonArchivesStoredDeflatedEncryptedCyrillicInMemory)
{
    MakeFile("payload", Text(40000, 6));
    // Entry "XXXX.db" is renamed in place to "Счёт.db" in code page 866.
    const QString archive = PyZip("py.zip", R"(
data = open('payload', 'rb').read()
with zipfile.ZipFile(path, 'w') as z:
    z.writestr(zipfile.ZipInfo('stored.txt'), data[:1000])
    z.writestr('XXXX.db', data, compress_type=zipfile.ZIP_DEFLATED)
    z.writestr('empty', b'', compress_type=zipfile.ZIP_DEFLATED)
raw = open(path, 'rb').read().replace(b'XXXX.db', '\u0421\u0447\u0451\u0442.db'.encode('cp866'))
open(path, 'wb').write(raw)
)");
    QByteArray bytes = ReadFile(archive);
    auto *memory = new TMemoryStream;
    memory->WriteBuffer(bytes.constData(), bytes.size());

    TZipReader zip;
    zip.SetSourceStream(memory);
    EXPECT_TRUE(zip.KeepZipOpen());
    zip.SetDestDir(out);
    zip.SetDoAll(true);
    zip.SetOverwriteMode(TUZOverwriteMode::Always);
    EXPECT_EQ(zip.ExtractFiles(), 3);
    EXPECT_EQ(zip.GetFilename(1), "Счёт.db");
    EXPECT_EQ(ReadFile(Out("Счёт.db")), ReadFile(Src("payload")));
    EXPECT_EQ(ReadFile(Out("stored.txt")), ReadFile(Src("payload")).left(1000));
    EXPECT_TRUE(QFileInfo::exists(Out("empty")));
    // An archive in memory is never read again and stays open.
    EXPECT_EQ(zip.ExtractFiles(), 3);
    EXPECT_EQ(zip.SourceStream(), memory);
    zip.CloseArchive(); // frees the stream
    EXPECT_EQ(zip.Count(), 0);

    // The template road: the caller frees the stream first, then lets go of it.
    auto *again = new TMemoryStream;
    again->WriteBuffer(bytes.constData(), bytes.size());
    zip.SetSourceStream(again);
    QDir(out).removeRecursively();
    EXPECT_EQ(zip.ExtractFiles(), 3);
    delete again;
    zip.SetSourceStream(nullptr);
    EXPECT_EQ(zip.SourceStream(), nullptr);

    // Also after a failed read: the stream is still the caller's to free.
    auto *junk = new TMemoryStream;
    junk->WriteBuffer("not an archive", 14);
    zip.SetSourceStream(junk);
    EXPECT_THROW(zip.ExtractFiles(), EIncompleteZip);
    EXPECT_EQ(zip.SourceStream(), junk);
    delete junk;
    zip.SetSourceStream(nullptr);
}

TEST_F(ZipReaderTest, NamesFlaggedAsUtf8AreReadAsUtf8)
{
    // Python's zipfile (like 7-Zip) stores a non-ASCII name in UTF-8 with
    // general-purpose bit 11 set; an unflagged one stays code page 866.
    const QString archive = PyZip("utf8.zip", R"(
with zipfile.ZipFile(path, 'w') as z:
    z.writestr('\u0421\u0447\u0451\u0442.db', b'utf8 entry')
    z.writestr('\u043f\u0430\u043f\u043a\u0430/\u20ac.txt', b'euro', compress_type=zipfile.ZIP_DEFLATED)
    z.writestr('YYYY.866', b'cp866 entry')
raw = open(path, 'rb').read().replace(b'YYYY.866', '\u0421\u0447\u0451\u0442.866'.encode('cp866'))
open(path, 'wb').write(raw)
)");
    TZipReader zip;
    zip.SetRecreateDirs(true);
    EXPECT_EQ(ExtractAll(zip, archive), 3);
    EXPECT_EQ(zip.GetFilename(0), "Счёт.db");
    EXPECT_EQ(zip.GetFilename(1), "€.txt");
    EXPECT_EQ(zip.GetFilename(2), "Счёт.866");
    EXPECT_EQ(ReadFile(Out("Счёт.db")), QByteArray("utf8 entry"));
    EXPECT_EQ(ReadFile(Out("папка/€.txt")), QByteArray("euro"));
    EXPECT_EQ(ReadFile(Out("Счёт.866")), QByteArray("cp866 entry"));
}

TEST_F(ZipReaderTest, LargeFileRoundTrip)
{
    const QByteArray big = Text(50 * 1024 * 1024, 7);
    MakeFile("big.txt", big);
    const QString archive = Zip("big.zip", {"-1", "big.txt"});
    TZipReader zip;
    int lastPercent = -1;
    zip.OnTotalPercentDone = [&](TZipReader *, int p) { lastPercent = p; };
    test::TFaultEnv counting; // fails nothing: counts the writes
    {
        TSysEnvScope scope(counting);
        EXPECT_EQ(ExtractAll(zip, archive), 1);
    }
    EXPECT_EQ(lastPercent, 100);
    EXPECT_TRUE(ReadFile(Out("big.txt")) == big);
    // The file is written in runs of a mebibyte, not a write per decoded block.
    EXPECT_LE(counting.Calls(TSysOp::Write), 60);
}

TEST_F(ZipReaderTest, ReadsTheDirectoryAgainOnlyWhenTheFileChanges)
{
    MakeFile("one.txt", "1");
    MakeFile("two.txt", "2");
    const QString archive = Zip("r.zip", {"one.txt"});
    TZipReader zip;
    zip.SetKeepZipOpen(true);
    zip.SetZipName(archive);
    zip.ReadDirectory();
    EXPECT_EQ(zip.Count(), 1);
    // Rewritten with the old time: not noticed.
    const QDateTime when = QFileInfo(archive).lastModified();
    zip.CloseArchive();
    zip.SetZipName(archive);
    zip.ReadDirectory();
    Zip("r.zip", {"two.txt"});
    {
        QFile f(archive);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.setFileTime(when, QFileDevice::FileModificationTime);
    }
    zip.SetZipName(archive.toUpper().replace(tmp.path().toUpper(), tmp.path())); // same name, other case
    zip.ReadDirectory();
    EXPECT_EQ(zip.Count(), 1);
    // A new time makes it read again.
    {
        QFile f(archive);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.setFileTime(when.addSecs(10), QFileDevice::FileModificationTime);
    }
    zip.ReadDirectory();
    EXPECT_EQ(zip.Count(), 2);
}

TEST_F(ZipReaderTest, CommentsAndSortModes)
{
    MakeFile("b.txt", Text(3000, 8));
    MakeFile("a.txt", Noise(3000, 9));
    const QString archive = PyZip("c.zip", R"(
with zipfile.ZipFile(path, 'w', zipfile.ZIP_DEFLATED) as z:
    z.write('b.txt')
    z.write('a.txt')
    z.comment = b'archive note'
    z.getinfo('a.txt').comment = b'file note'
)");
    TZipReader zip;
    zip.SetZipName(archive);
    zip.SetSortMode(TZipSortMode::ByName);
    zip.ReadDirectory();
    EXPECT_EQ(zip.GetFilename(0), "a.txt");
    EXPECT_EQ(zip.GetFileComment(0), "file note");
    EXPECT_EQ(zip.GetFileComment(1), "");
    EXPECT_EQ(zip.GetZipComment(), "archive note");
    zip.ApplySortMode(TZipSortMode::ByNone);
    EXPECT_EQ(zip.GetFilename(0), "b.txt");
    zip.ApplySortMode(TZipSortMode::ByCompressedSize);
    EXPECT_EQ(zip.GetFilename(0), "a.txt"); // noise doesn't shrink
    try {
        zip.GetFilename(2);
        FAIL();
    } catch (const EListError &e) {
        EXPECT_EQ(e.Message(), "Index 2 is out of range");
    }
}

TEST_F(ZipReaderTest, DestDirQuestionMarkAndMissingArchive)
{
    TZipReader zip;
    zip.SetZipName(tmp.filePath("nothing.zip"));
    try {
        zip.SetDestDir("?"); // no folder dialog: cancelled
        FAIL();
    } catch (const EUserCanceled &e) {
        EXPECT_EQ(e.Message(), "User canceled Set Desination Directory");
    }
    EXPECT_THROW(zip.SetZipName("x?"), EUserCanceled);
    // A dialog that answers "?" leaves DestDir "?": nothing is touched.
    zip.SelectFolderDialog = [](const QString &, QString &folder) {
        folder = "?";
        return true;
    };
    zip.SetDestDir("?");
    EXPECT_EQ(zip.ExtractFiles(), 0);
    zip.SetDestDir(out);
    EXPECT_THROW(zip.ExtractFiles(), EFOpenError);
}

TEST_F(ZipReaderTest, EmptyArchiveHasNoFirstEntry)
{
    const QString archive = PyZip("e.zip", "zipfile.ZipFile(path, 'w').close()\n");
    TZipReader zip;
    zip.SetZipName(archive);
    zip.ReadDirectory();
    EXPECT_EQ(zip.Count(), 0);
    try {
        zip.IsEntryEncrypted(0);
        FAIL();
    } catch (const EListError &e) {
        EXPECT_EQ(e.Message(), "Index 0 is out of range");
    }
    EXPECT_THROW(
        {
            TZipReader other;
            other.SetZipName(tmp.filePath("nothing.zip"));
            other.ReadDirectory();
        },
        EFOpenError);
}

TEST_F(ZipReaderTest, SplitArchiveAcrossVolumes)
{
    MakeFile("r.bin", Noise(300000, 10));
    MakeFile("t.txt", Text(200000, 11));
    const QString archive = Zip("s.zip", {"-s", "64k", "r.bin", "t.txt"});
    const QString base = archive.chopped(4);
    ASSERT_TRUE(QFileInfo::exists(base + ".z04"));
    TZipReader zip;
    QList<int> asked;
    // Info-ZIP names volume n "s.zNN" and the last one "s.zip".
    zip.OnGetNextDisk = [&](TZipReader *, int disk, QString &name) {
        asked << disk;
        name = disk == 5 ? base + ".zip" : base + QString(".z%1").arg(disk, 2, 10, QLatin1Char('0'));
    };
    EXPECT_EQ(ExtractAll(zip, archive), 2);
    EXPECT_EQ(zip.NumberOfVolumes(), 5);
    EXPECT_EQ(zip.MultiMode(), TMultiMode::mmBlocks);
    EXPECT_TRUE(ReadFile(Out("r.bin")) == ReadFile(Src("r.bin")));
    EXPECT_TRUE(ReadFile(Out("t.txt")) == ReadFile(Src("t.txt")));
    EXPECT_TRUE(asked.contains(1) && asked.contains(4));

    // The default handler names volume n "<name>.00n".
    const QString other = tmp.filePath("v");
    for (int disk = 1; disk <= 4; ++disk)
        QFile::copy(base + QString(".z%1").arg(disk, 2, 10, QLatin1Char('0')), other + QString(".%1").arg(disk, 3, 10, QLatin1Char('0')));
    QFile::copy(archive, other + ".zip");
    QFile::copy(archive, other + ".005");
    TZipReader plain;
    QDir(out).removeRecursively();
    EXPECT_EQ(ExtractAll(plain, other + ".zip"), 2);
    EXPECT_TRUE(ReadFile(Out("r.bin")) == ReadFile(Src("r.bin")));

    // A volume nobody can supply cancels.
    zip.CloseArchive();
    zip.OnGetNextDisk = [](TZipReader *, int, QString &name) { name.clear(); };
    try {
        ExtractAll(zip, archive);
        FAIL();
    } catch (const EUserCanceled &e) {
        EXPECT_EQ(e.Message(), "User canceled loading new disk.");
    }
}

TEST_F(ZipReaderTest, OutputThatCannotBeWrittenIsNotCountedAsExtracted)
{
    // A small entry stays in the output's buffers until the file is closed;
    // a disk that refuses those bytes must not leave a short file counted
    // as extracted, nor cost the file it was to replace.
    MakeFile("small.txt", Text(3000, 1));
    const QString archive = Zip("small.zip", {"small.txt"});
    QDir().mkpath(out);
    WriteFile(out + "/small.txt", "kept");
    TZipReader zip;
    int count = -1;
    {
        test::TFaultEnv env;
        env.FailCall(TSysOp::Write, 1, ENOSPC, true); // the disk is full
        TSysEnvScope scope(env);
        EXPECT_THROW(count = ExtractAll(zip, archive), EWriteError);
    }
    EXPECT_EQ(count, -1);
    EXPECT_EQ(ReadFile(out + "/small.txt"), QByteArray("kept"));
    EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden), QStringList{"small.txt"});
}

// The output bound holds for the whole extraction: an entry whose stated size
// would pass it (a lying one of almost 2 GiB, or one that only passes it with those
// before it) ends the extraction before anything of it is written.
TEST_F(ZipReaderTest, TheOutputLimitStopsAtAnEntryThatWouldPassIt)
{
    MakeFile("a.txt", Text(3000, 1));
    MakeFile("b.txt", Text(3000, 2));
    const QString archive = Zip("ab.zip", {"a.txt", "b.txt"});
    TZipReader zip;
    zip.SetOutputLimit(5000);
    EXPECT_THROW(ExtractAll(zip, archive), EZipOutputLimit);
    EXPECT_EQ(OutFiles(), QStringList{"a.txt"});
    zip.SetOutputLimit(6000);
    QDir(out).removeRecursively();
    EXPECT_EQ(ExtractAll(zip, archive), 2);

    const QString lying = PyZip("lying.zip", "import struct\n"
                                             "z = zipfile.ZipFile(path, 'w'); z.writestr('x.db', b'abc' * 10); z.close()\n"
                                             "b = bytearray(open(path, 'rb').read())\n"
                                             "c = b.find(b'PK\\x01\\x02'); struct.pack_into('<I', b, c + 24, 0x7ffffff0)\n"
                                             "open(path, 'wb').write(b)\n");
    QDir(out).removeRecursively();
    zip.SetOutputLimit(qint64(1) << 30);
    EXPECT_THROW(ExtractAll(zip, lying), EZipOutputLimit);
    EXPECT_TRUE(OutFiles().isEmpty());
}

TEST_F(ZipReaderTest, ALinkAtTheOutputNameIsReplacedNotWrittenThrough)
{
    MakeFile("small.txt", Text(3000, 1));
    const QString archive = Zip("small.zip", {"small.txt"});
    const QString full = tmp.filePath("full.txt");
    ASSERT_EQ(::symlink("/dev/full", QFile::encodeName(full).constData()), 0);
    TZipReader zip;
    zip.OnStartUnZip = [&](TZipReader *, int, QString &FName, bool &) { FName = full; };
    EXPECT_EQ(ExtractAll(zip, archive), 1);
    EXPECT_FALSE(QFileInfo(full).isSymLink());
    EXPECT_EQ(ReadFile(full), ReadFile(Src("small.txt")));
}

TEST_F(ZipReaderTest, SourceStreamIsFreedOnlyWhenTheArchiveIsDropped)
{
    // With KeepZipOpen off, reading and extracting close a file after use;
    // a stream in memory stays the archive, and its owner may free it and
    // let go of it afterwards.
    MakeFile("a.txt", Text(2000, 1));
    QFile f(Zip("a.zip", {"a.txt"}));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    TZipReader zip;
    auto *stream = new TMemoryStream;
    stream->WriteBuffer(bytes.constData(), bytes.size());
    zip.SetSourceStream(stream);
    zip.SetKeepZipOpen(false);
    zip.ReadDirectory();
    ASSERT_EQ(zip.SourceStream(), stream) << "the stream was freed by ReadDirectory";
    EXPECT_EQ(zip.GetZipComment(), QString());
    EXPECT_EQ(zip.GetFileComment(0), QString());
    EXPECT_EQ(ExtractAll(zip, QString()), 1);
    ASSERT_EQ(zip.SourceStream(), stream) << "the stream was freed by ExtractFiles";
    EXPECT_EQ(stream->Size(), bytes.size());
    delete stream;
    zip.SetSourceStream(nullptr);
    EXPECT_EQ(zip.SourceStream(), nullptr);
}
