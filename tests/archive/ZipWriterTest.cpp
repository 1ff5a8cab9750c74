// The writer against independent oracles: every archive it writes must pass
// Info-ZIP's `unzip -t` and read back byte for byte through Python's zipfile
// and through our reader; old archives must survive every failed run.
#include "archive/ZipWriter.h"

#include "archive/TestCorpus.h"
#include "archive/ZipTestSupport.h"
#include "platform/rtl/CodePages.h"
#include "platform/rtl/DateTime.h"
#include "support/FaultEnv.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <fcntl.h>
#include <map>
#include <sys/file.h>
#include <unistd.h>

using namespace zorbel;
using namespace zorbel::test;

namespace {

// Replaces the writer's file list with the given names.
void SetFiles(TZipWriter &zip, std::initializer_list<QString> names)
{
    zip.FilesList().Clear();
    for (const QString &name : names)
        zip.FilesList().Add(name);
}

// One entry as Python's zipfile reads it back.
struct TPyEntry {
    QString Name;
    int Method = -1;
    int Flags = 0;
    QByteArray Md5; // of the data read
};

class ZipWriterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp_.isValid());
        work_ = tmp_.filePath("work");
        QDir().mkpath(work_);
        archive_ = tmp_.filePath("data.den");
    }

    QString Work(const QString &name) const { return work_ + "/" + name; }

    void MakeFile(const QString &name, const Bytes &data)
    {
        QDir().mkpath(QFileInfo(Work(name)).path());
        WriteFile(Work(name), data);
    }

    static void SetAge(const QString &path, const QDateTime &when)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(when, QFileDevice::FileModificationTime));
    }

    // The work folder of the program: tables, a lock file, a settings file.
    void MakeWorkFolder()
    {
        MakeFile("TB_HIST.db", SqliteFixture());
        MakeFile("notes.txt", TextBytes(60000, 1));
        MakeFile("Письма.txt", CyrillicBytes(30000, 2));
        MakeFile("noise.bin", SampleRandom(3000, 3));
        MakeFile("empty.dat", {});
        MakeFile("one.txt", {'x'});
        MakeFile("PDOXUSRS.LCK", {'l', 'o', 'c', 'k'});
        MakeFile("Zorbel.ini", {'[', ']'});
        MakeFile("sub/inner.txt", TextBytes(100, 4));
    }

    // Configured as the program's instance saves its data file.
    void Configure(TZipWriter &zip, const QString &password = QString(), int level = 1)
    {
        zip.SetDoProcessMessages(false);
        zip.SetRetainAttributes(false);
        zip.SetOverwriteMode(TUZOverwriteMode::Always);
        zip.SetDoAll(true);
        zip.SetPackLevel(level);
        zip.SetZipAction(TZipAction::zaReplace);
        zip.SetExcludeList({"*.lck", "*.ini"});
        zip.SetRootDir(work_);
        zip.SetZipName(archive_);
        zip.SetPassword(password);
        SetFiles(zip, {"*"});
    }

    int Pack(const QString &password = QString(), int level = 1)
    {
        TZipWriter zip;
        Configure(zip, password, level);
        return zip.CompressFiles();
    }

    static QByteArray Md5(const QByteArray &data)
    {
        return QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex();
    }
    QByteArray FileMd5(const QString &path) const
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? Md5(f.readAll()) : QByteArray();
    }

    // unzip -t; true when it reports no errors.
    bool UnzipTest(const QString &password = QString())
    {
        QStringList args{"-t"};
        if (!password.isEmpty())
            args << "-P" << password;
        QString output;
        const int rc = RunTool("unzip", args << archive_, tmp_.path(), &output);
        EXPECT_TRUE(output.contains("No errors detected")) << output.toStdString();
        return rc == 0;
    }

    // Every entry read back by Python's zipfile.
    std::vector<TPyEntry> PyRead(const QString &password = QString())
    {
        const QString script = "import zipfile, sys, hashlib\n"
                               "z = zipfile.ZipFile(sys.argv[1])\n"
                               "pwd = sys.argv[2].encode('cp1251') if len(sys.argv) > 2 else None\n"
                               "for i in z.infolist():\n"
                               "    name = i.filename.encode('cp437').decode('cp866')\n"
                               "    d = z.read(i, pwd=pwd)\n"
                               "    sys.stdout.buffer.write(('%s\\t%d\\t%d\\t%s\\n' % (name, i.compress_type,"
                               " i.flag_bits, hashlib.md5(d).hexdigest())).encode('utf-8'))\n";
        QStringList args{"-c", script, archive_};
        if (!password.isEmpty())
            args << password;
        QString output;
        EXPECT_EQ(RunTool("python3", args, tmp_.path(), &output), 0) << output.toStdString();
        std::vector<TPyEntry> entries;
        for (const QString &line : output.split('\n', Qt::SkipEmptyParts)) {
            const QStringList f = line.split('\t');
            if (f.size() == 4)
                entries.push_back({f[0], f[1].toInt(), f[2].toInt(), f[3].toLatin1()});
        }
        return entries;
    }

    QStringList Names(const std::vector<TPyEntry> &entries) const
    {
        QStringList names;
        for (const TPyEntry &e : entries)
            names << e.Name;
        return names;
    }

    // Checks unzip -t, and that Python reads each entry as the file of that
    // name in the work folder (or as expected[name] when given); returns
    // Python's entries.
    std::vector<TPyEntry> CheckArchive(const QString &password = QString(),
                                       const std::map<QString, QByteArray> &expected = {})
    {
        EXPECT_TRUE(UnzipTest(password));
        std::vector<TPyEntry> entries = PyRead(password);
        for (const TPyEntry &e : entries) {
            const auto it = expected.find(e.Name);
            EXPECT_EQ(e.Md5, it != expected.end() ? it->second : FileMd5(Work(e.Name))) << e.Name.toStdString();
        }
        return entries;
    }

    QByteArray ArchiveBytes() const
    {
        QFile f(archive_);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QStringList TempFiles() const { return QDir(tmp_.path()).entryList({"KPZ*"}, QDir::Files); }

    const QStringList savedNames{"TB_HIST.db", "empty.dat", "noise.bin", "notes.txt", "one.txt", "Письма.txt"};

    QTemporaryDir tmp_;
    QString work_;
    QString archive_;
};

} // namespace

TEST_F(ZipWriterTest, SavingTheWorkFolderPassesEveryOracleAtEveryLevel)
{
    MakeWorkFolder();
    for (int level = 0; level <= 9; ++level) {
        SCOPED_TRACE("level " + std::to_string(level));
        QFile::remove(archive_);
        EXPECT_EQ(Pack(QString(), level), 6);
        const std::vector<TPyEntry> entries = CheckArchive();
        // Sorted listing, lock and settings files left out, no sub-folder.
        EXPECT_EQ(Names(entries), savedNames);
        for (const TPyEntry &e : entries) {
            // Empty, incompressible and 1-byte files are stored whole.
            if (e.Name == "empty.dat" || e.Name == "noise.bin" || e.Name == "one.txt" || level == 0) {
                EXPECT_EQ(e.Method, 0) << e.Name.toStdString();
            } else {
                EXPECT_EQ(e.Method, 8) << e.Name.toStdString();
            }
            EXPECT_EQ(e.Flags & 6, level == 1 || level == 2 ? 4 : level >= 8 ? 2 : 0) << e.Name.toStdString();
        }
    }
    EXPECT_TRUE(TempFiles().isEmpty());

    // Our reader unpacks the same bytes.
    TZipReader reader;
    reader.SetZipName(archive_);
    reader.SetDestDir(tmp_.filePath("out"));
    reader.SetDoAll(true);
    reader.SetOverwriteMode(TUZOverwriteMode::Always);
    reader.SetDoProcessMessages(false);
    EXPECT_EQ(reader.ExtractFiles(), 6);
    for (const QString &name : savedNames)
        EXPECT_EQ(FileMd5(tmp_.filePath("out/" + name)), FileMd5(Work(name))) << name.toStdString();
}

TEST_F(ZipWriterTest, PasswordProtectsEveryEntry)
{
    MakeWorkFolder();
    // A Cyrillic password is taken in Windows-1251 bytes, as Python is told;
    // unzip gets its arguments in UTF-8, so it checks an ASCII one.
    EXPECT_EQ(Pack("s3cret!"), 6);
    CheckArchive("s3cret!");
    const QString password = "Пароль1";
    EXPECT_EQ(Pack(password), 6);
    for (const TPyEntry &e : PyRead(password))
        EXPECT_EQ(e.Md5, FileMd5(Work(e.Name))) << e.Name.toStdString();
    const QByteArray zip = ArchiveBytes();

    TZipReader reader;
    reader.SetZipName(archive_);
    reader.ReadDirectory();
    ASSERT_EQ(reader.Count(), 6);
    for (int i = 0; i < reader.Count(); ++i) {
        const TZipHeaderInfo &e = reader.Entry(i);
        SCOPED_TRACE(e.FileName().toStdString());
        EXPECT_TRUE(e.IsEncrypted());
        // The 12-byte header decrypts to the CRC's top byte at its end.
        const int data = e.RelativeOffset + 30 + e.FileNameLength + e.ExtraFieldLength;
        QByteArray header = zip.mid(data, 12);
        TZipKeys keys;
        keys.InitKeys(UnicodeToWin1251(password));
        keys.DecryptBuffer(reinterpret_cast<uint8_t *>(header.data()), 12);
        EXPECT_EQ(uint8_t(header[11]), uint8_t(e.Crc32 >> 24));
        if (e.FileName() == "empty.dat") {
            EXPECT_EQ(e.CompressionMethod, 0);
            EXPECT_EQ(e.CompressedSize, 12);
        }
    }
    QString output;
    EXPECT_TRUE(UnzipRefusesPassword(archive_, "wrong", tmp_.path(), &output, {"empty.dat"})) << output.toStdString();
    reader.SetDestDir(tmp_.filePath("out"));
    reader.SetDoAll(true);
    reader.SetDoProcessMessages(false);
    reader.SetPassword(password);
    EXPECT_EQ(reader.ExtractFiles(), 6);
    for (const QString &name : savedNames)
        EXPECT_EQ(FileMd5(tmp_.filePath("out/" + name)), FileMd5(Work(name))) << name.toStdString();

    // Same folder, same archive apart from the random header bytes.
    EXPECT_EQ(Pack(password), 6);
    const QByteArray again = ArchiveBytes();
    EXPECT_EQ(again.size(), zip.size());
    EXPECT_NE(again, zip);
    QFile::remove(archive_);
    Pack();
    const QByteArray plain = ArchiveBytes();
    Pack();
    EXPECT_EQ(ArchiveBytes(), plain) << "two packs of one folder differ";
}

TEST_F(ZipWriterTest, RezippingCarriesOldEntriesAndAppendsNewFiles)
{
    MakeFile("a.txt", TextBytes(5000, 1));
    MakeFile("b.txt", TextBytes(6000, 2));
    MakeFile("c.txt", TextBytes(7000, 3));
    EXPECT_EQ(Pack(), 3);
    const QByteArray cMd5 = FileMd5(Work("c.txt"));

    MakeFile("b.txt", CyrillicBytes(9000, 5));
    QFile::remove(Work("c.txt"));
    MakeFile("0new.txt", TextBytes(100, 6));
    EXPECT_EQ(Pack(), 3); // a and b replaced in place, 0new appended; c copied
    EXPECT_EQ(Names(CheckArchive({}, {{"c.txt", cMd5}})), (QStringList{"a.txt", "b.txt", "c.txt", "0new.txt"}));

    // An archive held in a stream is replaced by the new stream.
    MakeFile("1more.txt", TextBytes(200, 7));
    TZipWriter zip;
    Configure(zip);
    auto *stream = new TMemoryStream;
    stream->LoadFromFile(archive_);
    zip.SetSourceStream(stream);
    SetFiles(zip, {"1more.txt"});
    EXPECT_EQ(zip.CompressFiles(), 1);
    ASSERT_NE(zip.SourceStream(), nullptr);
    EXPECT_EQ(zip.Count(), 5);
    QFile::remove(archive_);
    static_cast<TMemoryStream *>(zip.SourceStream())->SaveToFile(archive_);
    EXPECT_EQ(Names(CheckArchive({}, {{"c.txt", cMd5}})),
              (QStringList{"a.txt", "b.txt", "c.txt", "0new.txt", "1more.txt"}));
}

TEST_F(ZipWriterTest, UpdateAndFreshenGoByDates)
{
    MakeFile("old.txt", TextBytes(5000, 1));
    MakeFile("new.txt", TextBytes(5000, 2));
    EXPECT_EQ(Pack(), 2);

    // old.txt changes but looks older than its entry; new.txt is newer.
    MakeFile("old.txt", TextBytes(5000, 3));
    SetAge(Work("old.txt"), QDateTime::currentDateTime().addDays(-10));
    MakeFile("new.txt", TextBytes(5000, 4));
    SetAge(Work("new.txt"), QDateTime::currentDateTime().addDays(1));
    MakeFile("added.txt", TextBytes(100, 5));

    TZipWriter zip;
    Configure(zip);
    zip.SetZipAction(TZipAction::zaFreshen);
    EXPECT_EQ(zip.CompressFiles(), 1); // new.txt only; nothing added
    const QByteArray oldMd5 = Md5(QByteArray(reinterpret_cast<const char *>(TextBytes(5000, 1).data()), 5000));
    EXPECT_EQ(Names(CheckArchive({}, {{"old.txt", oldMd5}})), (QStringList{"new.txt", "old.txt"}));

    SetFiles(zip, {"*"});
    zip.SetZipAction(TZipAction::zaUpdate);
    EXPECT_EQ(zip.CompressFiles(), 1); // added.txt; new.txt's entry is not older than the file
    EXPECT_EQ(Names(CheckArchive({}, {{"old.txt", oldMd5}})), (QStringList{"new.txt", "old.txt", "added.txt"}));
}

// A file whose time cannot be read is still packed, dated 1 January 1980,
// and the archive stays whole.
TEST_F(ZipWriterTest, AFileWhoseTimeCannotBeReadIsDatedAtTheEarliestDate)
{
    MakeFile("dated.txt", TextBytes(500, 1));
    MakeFile("undated.txt", TextBytes(500, 2));
    SetAge(Work("dated.txt"), QDateTime(QDate(2020, 5, 6), QTime(7, 8, 10)));
    SetAge(Work("undated.txt"), QDateTime(QDate(2020, 5, 6), QTime(7, 8, 10)));
    TZipWriter zip;
    Configure(zip);
    SetFiles(zip, {"dated.txt"});
    EXPECT_EQ(zip.CompressFiles(), 1);
    SetFiles(zip, {"undated.txt"});
    zip.SetZipAction(TZipAction::zaUpdate);
    {
        TFaultEnv env;
        env.FailCall(TSysOp::FileTime, 1, EIO, true);
        TSysEnvScope scope(env);
        EXPECT_EQ(zip.CompressFiles(), 1);
    }
    EXPECT_EQ(Names(CheckArchive({}, {})), (QStringList{"dated.txt", "undated.txt"}));
    TZipReader r;
    r.SetZipName(archive_);
    r.ReadDirectory();
    ASSERT_EQ(r.Count(), 2);
    EXPECT_DOUBLE_EQ(r.GetDateTime(0), EncodeDate(2020, 5, 6) + EncodeTime(7, 8, 10, 0));
    EXPECT_DOUBLE_EQ(r.GetDateTime(1), EncodeDate(1980, 1, 1));
}

TEST_F(ZipWriterTest, ExclusionAndNoCompressPatterns)
{
    MakeWorkFolder();
    TZipWriter zip;
    Configure(zip, QString(), 6);
    zip.SetExcludeList({"*.lck", "*.ini", work_ + "/notes.*"});
    zip.SetNoCompressList({"*.db", "<o>ne.txt"});
    SetFiles(zip, {"*", "empty.dat", Work("Zorbel.ini")});
    EXPECT_EQ(zip.CompressFiles(), 5);
    const std::vector<TPyEntry> entries = CheckArchive();
    EXPECT_EQ(Names(entries), (QStringList{"empty.dat", "TB_HIST.db", "noise.bin", "one.txt", "Письма.txt"}));
    for (const TPyEntry &e : entries)
        if (e.Name == "TB_HIST.db") {
            EXPECT_EQ(e.Method, 0);
        }

    EXPECT_TRUE(zip.IsExcluded("/x/y/DATA.LCK"));
    EXPECT_FALSE(zip.IsExcluded("/x/y/a.ini.bak"));
    EXPECT_FALSE(zip.IsExcluded("/elsewhere/notes.txt")); // a path pattern needs the path
    EXPECT_TRUE(zip.IsExcluded(work_ + "/notes.txt"));
}

TEST_F(ZipWriterTest, ArchivesOfInfoZipAreCarriedOverIntact)
{
    // Info-ZIP writes different extra fields in local and central headers.
    MakeFile("z1.txt", TextBytes(4000, 1));
    MakeFile("z2.bin", BinaryBytes(4000, 2));
    QString output;
    ASSERT_EQ(RunTool("zip", {"-q", archive_, "z1.txt", "z2.bin"}, work_, &output), 0) << output.toStdString();
    ASSERT_EQ(RunTool("python3",
                      {"-c", "import zipfile,sys\nz = zipfile.ZipFile(sys.argv[1], 'a')\nz.comment = b'old comment'\nz.close()",
                       archive_},
                      work_, &output),
              0)
        << output.toStdString();
    const std::map<QString, QByteArray> old{{"z1.txt", FileMd5(Work("z1.txt"))}, {"z2.bin", FileMd5(Work("z2.bin"))}};
    QFile::remove(Work("z1.txt"));
    QFile::remove(Work("z2.bin"));
    MakeFile("mine.txt", TextBytes(3000, 3));

    TZipWriter zip;
    Configure(zip);
    zip.ReadDirectory();
    EXPECT_EQ(zip.GetZipComment(), "old comment");
    EXPECT_EQ(zip.CompressFiles(), 1);
    EXPECT_EQ(Names(CheckArchive({}, old)), (QStringList{"z1.txt", "z2.bin", "mine.txt"}));
    EXPECT_EQ(zip.Count(), 3);
    EXPECT_EQ(zip.GetZipComment(), "old comment");
}

TEST_F(ZipWriterTest, FailedRunLeavesTheOldArchiveUntouched)
{
    MakeWorkFolder();
    EXPECT_EQ(Pack(), 6);
    const QByteArray before = ArchiveBytes();
    MakeFile("notes.txt", TextBytes(80000, 9));

    struct TInjected {};
    // A handler raising after the first file, and one raising inside a file.
    for (int where = 0; where < 2; ++where) {
        TZipWriter zip;
        Configure(zip);
        if (where == 0)
            zip.OnEndZip = [](TZipWriter *, const QString &, int, int, int) { throw TInjected(); };
        else
            zip.OnFilePercentDone = [](TZipReader *, int percent) {
                if (percent > 30)
                    throw TInjected();
            };
        EXPECT_THROW(zip.CompressFiles(), TInjected);
        EXPECT_EQ(ArchiveBytes(), before);
        EXPECT_TRUE(TempFiles().isEmpty()) << TempFiles().join(' ').toStdString();
    }

    // A gathered file that cannot be read fails the whole run.
    TZipWriter zip;
    Configure(zip);
    std::vector<TSkipReason> skipped;
    zip.OnSkippingFile = [&](TZipReader *, TSkipReason reason, const QString &, int) { skipped.push_back(reason); };
    zip.OnStartZip = [&](TZipWriter *, const QString &, TZipHeaderInfo &, bool &) { QFile::remove(Work("one.txt")); };
    bool completed = false;
    zip.OnZipComplete = [&](TZipWriter *, int) { completed = true; };
    EXPECT_THROW(zip.CompressFiles(), EStreamError);
    EXPECT_FALSE(completed);
    EXPECT_EQ(skipped, std::vector<TSkipReason>{TSkipReason::srFileCreateError});
    EXPECT_EQ(ArchiveBytes(), before);
    EXPECT_TRUE(TempFiles().isEmpty());

    // A new archive that fails leaves no file at all.
    QFile::remove(archive_);
    TZipWriter fresh;
    Configure(fresh);
    fresh.OnEndZip = [](TZipWriter *, const QString &, int, int, int) { throw TInjected(); };
    EXPECT_THROW(fresh.CompressFiles(), TInjected);
    EXPECT_FALSE(QFile::exists(archive_));
    EXPECT_TRUE(TempFiles().isEmpty());
}

// A cancel requested while the output is written (messages being processed)
// stops the run with EUserCanceled, clears the request and keeps the old
// archive; with message processing off the request is not looked at.
TEST_F(ZipWriterTest, CancelRequestedWhileWritingAbortsTheRun)
{
    MakeWorkFolder();
    EXPECT_EQ(Pack(), 6);
    const QByteArray before = ArchiveBytes();
    MakeFile("notes.txt", TextBytes(80000, 9));

    TZipWriter zip;
    Configure(zip);
    zip.SetDoProcessMessages(true);
    int calls = 0;
    zip.ProcessMessages = [&] {
        if (++calls == 3)
            zip.SetCancel(true);
    };
    try {
        zip.CompressFiles();
        ADD_FAILURE() << "the run was not cancelled";
    } catch (const EUserCanceled &e) {
        EXPECT_EQ(e.Message(), QStringLiteral("User Aborted Operation"));
    }
    EXPECT_EQ(calls, 3);
    EXPECT_FALSE(zip.Cancel());
    EXPECT_EQ(ArchiveBytes(), before);
    EXPECT_TRUE(TempFiles().isEmpty()) << TempFiles().join(' ').toStdString();

    TZipWriter quiet;
    Configure(quiet);
    quiet.SetCancel(true);
    EXPECT_EQ(quiet.CompressFiles(), 6);
    EXPECT_TRUE(quiet.Cancel());
    EXPECT_TRUE(UnzipTest());
}

TEST_F(ZipWriterTest, SkipsKeepOldEntriesAndNamesArePackedOnce)
{
    MakeFile("a.txt", TextBytes(3000, 1));
    MakeFile("b.txt", TextBytes(3000, 2));
    EXPECT_EQ(Pack(), 2);
    const QByteArray aMd5 = FileMd5(Work("a.txt"));
    MakeFile("a.txt", TextBytes(3000, 7));

    TZipWriter zip;
    Configure(zip);
    SetFiles(zip, {"b.txt", "a.txt", Work("b.txt")});
    std::vector<TSkipReason> skipped;
    zip.OnSkippingFile = [&](TZipReader *, TSkipReason reason, const QString &, int) { skipped.push_back(reason); };
    zip.OnStartZip = [](TZipWriter *, const QString &name, TZipHeaderInfo &, bool &skip) {
        skip = name.endsWith("a.txt");
    };
    EXPECT_EQ(zip.CompressFiles(), 1);
    EXPECT_EQ(skipped, std::vector<TSkipReason>{TSkipReason::srNoOverwrite});
    EXPECT_EQ(zip.FilesList().Count(), 0);
    EXPECT_EQ(Names(CheckArchive({}, {{"a.txt", aMd5}})), (QStringList{"a.txt", "b.txt"}));
}

TEST_F(ZipWriterTest, PathsDisposeAndCommentsWritten)
{
    MakeWorkFolder();
    TZipWriter zip;
    Configure(zip);
    zip.SetExcludeList({"*.lck", "*.ini", "*.db"});
    zip.SetRelativePaths(true);
    EXPECT_TRUE(zip.StorePaths());
    EXPECT_TRUE(zip.Recurse());
    zip.SetDispose(true);
    QStringList disposed;
    zip.OnDisposeFile = [&](TZipWriter *, const QString &name, bool &skip) {
        disposed << QFileInfo(name).fileName();
        skip = name.endsWith("one.txt");
    };
    std::map<QString, QByteArray> sums;
    for (const char *name : {"empty.dat", "noise.bin", "notes.txt", "one.txt", "sub/inner.txt", "Письма.txt"})
        sums[name] = FileMd5(Work(name));
    EXPECT_EQ(zip.CompressFiles(), 6);
    EXPECT_TRUE(Names(CheckArchive({}, sums)).contains("sub/inner.txt"));
    EXPECT_EQ(disposed.size(), 6);
    EXPECT_FALSE(QFile::exists(Work("notes.txt")));
    EXPECT_TRUE(QFile::exists(Work("one.txt")));

    // A comment changed through the reader is written when the name changes.
    zip.SetZipComment("Комментарий");
    zip.SetZipName(QString());
    QString output;
    RunTool("python3", {"-c", "import zipfile,sys; print(zipfile.ZipFile(sys.argv[1]).comment.hex())", archive_},
            tmp_.path(), &output);
    EXPECT_EQ(output.trimmed().toLatin1(), UnicodeToWin1251("Комментарий").toHex());
    CheckArchive({}, sums);

    zip.SetStorePaths(false);
    EXPECT_FALSE(zip.RelativePaths());
}

TEST_F(ZipWriterTest, FileTooLargeForTheHeadersFailsTheRun)
{
    // The headers hold sizes in signed 32 bits, as the reader reads them: a
    // file of 2 GiB must not be written into an archive that can't be read
    // back. The file is sparse, so it costs no disk.
    MakeWorkFolder();
    EXPECT_EQ(Pack(), 6);
    const QByteArray before = ArchiveBytes();
    {
        QFile huge(Work("huge.bin"));
        ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
        ASSERT_TRUE(huge.resize(qint64(1) << 31));
    }
    EXPECT_THROW(Pack(), EBadZipFile);
    EXPECT_EQ(ArchiveBytes(), before);
    EXPECT_TRUE(TempFiles().isEmpty());
}

TEST_F(ZipWriterTest, TwoFilesUnderOneStoredNameFailTheRun)
{
    MakeWorkFolder();
    EXPECT_EQ(Pack(), 6);
    const QByteArray before = ArchiveBytes();
    // Names that differ only in case, and names whose characters code page
    // 866 lacks (both stored as "?.txt"), would leave one file out.
    for (const auto &[first, second] : {std::pair<QString, QString>{"Case.txt", "case.TXT"}, {"€.txt", "∑.txt"}}) {
        SCOPED_TRACE(first.toStdString());
        MakeFile(first, TextBytes(100, 5));
        MakeFile(second, TextBytes(100, 6));
        TZipWriter zip;
        Configure(zip);
        try {
            zip.CompressFiles();
            ADD_FAILURE() << "the run reported success";
        } catch (const EZipNameClash &e) {
            EXPECT_TRUE(e.Message().contains(first) && e.Message().contains(second)) << e.Message().toStdString();
        }
        EXPECT_EQ(ArchiveBytes(), before);
        EXPECT_TRUE(TempFiles().isEmpty());
        QFile::remove(Work(first));
        QFile::remove(Work(second));
    }
    // The same file named twice is still packed once.
    TZipWriter zip;
    Configure(zip);
    SetFiles(zip, {"one.txt", Work("one.txt"), "*"});
    EXPECT_EQ(zip.CompressFiles(), 6);
}

TEST_F(ZipWriterTest, EntriesWithZip64LocalFieldsAreCarriedOver)
{
    // Python with force_zip64, and Info-ZIP reading from a pipe, put a Zip64
    // extra field in the local header and 0xFFFFFFFF in its size fields.
    QString output;
    ASSERT_EQ(RunTool("python3",
                      {"-c",
                       "import zipfile,sys\n"
                       "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
                       "    with z.open('big.txt', 'w', force_zip64=True) as f: f.write(b'hello world ' * 500)\n"
                       "    z.writestr('plain.txt', b'plain')\n",
                       archive_},
                      work_, &output),
              0)
        << output.toStdString();
    ASSERT_EQ(RunTool("sh", {"-c", "printf 'piped data %.0s' $(seq 300) | zip -q \"$0\" -", archive_}, work_, &output), 0)
        << output.toStdString();
    const std::map<QString, QByteArray> old{{"big.txt", Md5(QByteArray("hello world ").repeated(500))},
                                            {"plain.txt", Md5("plain")},
                                            {"-", Md5(QByteArray("piped data ").repeated(300))}};
    MakeFile("mine.txt", TextBytes(3000, 3));

    TZipWriter zip;
    Configure(zip);
    EXPECT_EQ(zip.CompressFiles(), 1);
    EXPECT_EQ(Names(CheckArchive({}, old)), (QStringList{"big.txt", "plain.txt", "-", "mine.txt"}));
    // The local headers now carry the real sizes and no Zip64 field.
    const QByteArray bytes = ArchiveBytes();
    for (qsizetype at = bytes.indexOf("PK\x03\x04"); at >= 0; at = bytes.indexOf("PK\x03\x04", at + 4)) {
        const auto u16 = [&](qsizetype p) { return uint8_t(bytes[p]) | uint8_t(bytes[p + 1]) << 8; };
        EXPECT_NE(uint8_t(bytes[at + 18]) & uint8_t(bytes[at + 19]) & uint8_t(bytes[at + 20]) & uint8_t(bytes[at + 21]),
                  0xFF);
        const qsizetype extra = at + 30 + u16(at + 26);
        for (qsizetype p = extra; p + 4 <= extra + u16(at + 28); p += 4 + u16(p + 2))
            EXPECT_NE(u16(p), 1) << "a Zip64 field is left in a local header";
    }
    EXPECT_EQ(zip.Count(), 4);

    // Written to a pipe, Info-ZIP follows the data with a data descriptor
    // whose sizes are 8 bytes each.
    QFile::remove(archive_);
    ASSERT_EQ(RunTool("sh", {"-c", "printf 'piped data %.0s' $(seq 300) | zip -q - - | cat > \"$0\"", archive_}, work_,
                      &output),
              0)
        << output.toStdString();
    ASSERT_TRUE(ArchiveBytes().contains("PK\x07\x08"));
    TZipWriter piped;
    Configure(piped);
    EXPECT_EQ(piped.CompressFiles(), 1);
    EXPECT_EQ(Names(CheckArchive({}, old)), (QStringList{"-", "mine.txt"}));
}

TEST_F(ZipWriterTest, StaleTemporaryArchivesOfAKilledRunAreRemoved)
{
    MakeWorkFolder();
    // What a save killed half-way leaves beside the archive, and names that
    // are not the writer's own.
    const QString stale = tmp_.filePath("KPZa1B2c3.tmp");
    WriteFile(stale, SampleRandom(2 << 20, 4));
    const QStringList foreign{"KPZ12345.tmp", "KPZabcdef.txt", "xKPZabcdef.tmp", "other.tmp"};
    for (const QString &name : foreign)
        WriteFile(tmp_.filePath(name), {'x'});
    // A temporary archive another run is still writing (it holds its lock).
    const QString busy = tmp_.filePath("KPZbusy01.tmp");
    WriteFile(busy, {'y'});
    const int fd = ::open(QFile::encodeName(busy).constData(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);

    EXPECT_EQ(Pack(), 6);
    EXPECT_FALSE(QFileInfo::exists(stale));
    EXPECT_TRUE(QFileInfo::exists(busy));
    for (const QString &name : foreign)
        EXPECT_TRUE(QFileInfo::exists(tmp_.filePath(name))) << name.toStdString();
    ::close(fd);
    EXPECT_EQ(Pack(), 6);
    EXPECT_FALSE(QFileInfo::exists(busy));
    CheckArchive();
}
