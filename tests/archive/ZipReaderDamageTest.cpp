// The reader against damaged and hostile archives: every case ends in one of
// the component's exceptions or in failed entries, never in a crash, a hang,
// a wrong file or a file outside the destination folder.
#include "archive/ZipReader.h"

#include "archive/ZipDecode.h"
#include "ZipRecordSupport.h"
#include "support/FaultEnv.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QTemporaryDir>
#include <map>

using namespace zorbel;
using namespace ziptest;

namespace {

class ZipDamageTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        out = tmp.filePath("out");
        archive = tmp.filePath("a.zip");
    }

    // Writes an archive with Python's zipfile; body sees `z` open for writing.
    QByteArray PyArchive(const QString &body)
    {
        QString output;
        const QString script = "import zipfile, sys\n"
                               "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n" + body;
        EXPECT_EQ(RunTool("python3", {"-c", script, archive}, tmp.path(), &output), 0) << output.toStdString();
        return ReadFile(archive);
    }

    // The standard victim: a stored, a deflated and a second deflated entry.
    QByteArray Victim()
    {
        return PyArchive("    z.writestr('stored.txt', b'stored data ' * 300)\n"
                         "    z.writestr('deflated.txt', b'deflated data, quite repetitive. ' * 2000,"
                         " compress_type=zipfile.ZIP_DEFLATED)\n"
                         "    z.writestr('bin.dat', bytes(range(256)) * 40, compress_type=zipfile.ZIP_DEFLATED)\n");
    }

    static std::map<QString, QByteArray> VictimFiles()
    {
        QByteArray bin;
        for (int r = 0; r < 40; ++r)
            for (int i = 0; i < 256; ++i)
                bin.append(char(i));
        return {{"stored.txt", QByteArray("stored data ").repeated(300)},
                {"deflated.txt", QByteArray("deflated data, quite repetitive. ").repeated(2000)},
                {"bin.dat", bin}};
    }

    struct Outcome {
        int count = -1;
        QString error; // class of the exception, empty when none
        int skipped = 0;
        int badCrc = 0;
    };

    // Reads and extracts Bytes; exceptions of the component are recorded,
    // anything else fails the test.
    Outcome Attempt(const QByteArray &Bytes, TIncompleteZipMode Mode = TIncompleteZipMode::izAssumeMulti,
                    bool RecreateDirs = false)
    {
        QDir(out).removeRecursively();
        WriteFile(archive, Bytes);
        Outcome o;
        TZipReader zip;
        zip.SetIncompleteZipMode(Mode);
        zip.SetRecreateDirs(RecreateDirs);
        zip.SetDoProcessMessages(false);
        zip.OnSkippingFile = [&](TZipReader *, TSkipReason, const QString &, int) { ++o.skipped; };
        zip.OnBadCRC = [&](TZipReader *, uint32_t, uint32_t, int) { ++o.badCrc; };
        zip.OnGetNextDisk = [](TZipReader *, int, QString &name) { name.clear(); };
        try {
            zip.SetZipName(archive);
            zip.SetDestDir(out);
            zip.SetDoAll(true);
            zip.SetOverwriteMode(TUZOverwriteMode::Always);
            o.count = zip.ExtractFiles();
        } catch (const EBadZipFile &) {
            o.error = "EBadZipFile";
        } catch (const EIncompleteZip &) {
            o.error = "EIncompleteZip";
        } catch (const EFatalUnzipError &) {
            o.error = "EFatalUnzipError";
        } catch (const EListError &) {
            o.error = "EListError";
        } catch (const EUserCanceled &) {
            o.error = "EUserCanceled";
        } catch (const EStreamError &) {
            o.error = "EStreamError";
        }
        return o;
    }

    // Every file under out/ holds exactly the data of one of the victim's
    // files (a damaged central directory may have changed its name).
    void ExpectOnlyGoodFiles(const Outcome &o)
    {
        const auto files = VictimFiles();
        int found = 0;
        QDirIterator it(out, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            const QByteArray data = ReadFile(path);
            ++found;
            bool known = false;
            for (const auto &[name, content] : files)
                known = known || data == content;
            EXPECT_TRUE(known) << path.toStdString();
        }
        if (o.error.isEmpty()) {
            EXPECT_EQ(found, o.count);
        }
    }

    QTemporaryDir tmp;
    QString out;
    QString archive;
};

qsizetype CentralStart(const QByteArray &b) { return qsizetype(Get32(b, b.size() - 22 + 16)); }

} // namespace

TEST_F(ZipDamageTest, TruncatedAtEveryOffset)
{
    const QByteArray whole = Victim();
    ASSERT_EQ(Attempt(whole).count, 3);
    for (qsizetype cut = 0; cut < whole.size(); cut += (cut < 120 || cut > whole.size() - 400) ? 1 : 37) {
        SCOPED_TRACE(cut);
        for (auto mode : {TIncompleteZipMode::izAssumeMulti, TIncompleteZipMode::izAssumeBad}) {
            const Outcome o = Attempt(whole.left(cut), mode);
            ExpectOnlyGoodFiles(o);
            if (mode == TIncompleteZipMode::izAssumeMulti && cut < whole.size() - 22) {
                EXPECT_EQ(o.error, "EIncompleteZip");
            }
        }
    }
}

TEST_F(ZipDamageTest, FlippedBytesInHeadersAndData)
{
    const QByteArray whole = Victim();
    for (qsizetype at = 0; at < whole.size(); at += (at >= CentralStart(whole) || at < 80) ? 1 : 13) {
        SCOPED_TRACE(at);
        QByteArray damaged = whole;
        damaged[at] = char(damaged[at] ^ 0x5A);
        ExpectOnlyGoodFiles(Attempt(damaged, TIncompleteZipMode::izAssumeBad, at % 2 == 0));
    }
}

TEST_F(ZipDamageTest, CentralDirectoryOutsideTheFileIsListedFromLocalHeaders)
{
    QByteArray b = Victim();
    Put32(b, b.size() - 22 + 16, 0x7FFF0000);
    const Outcome o = Attempt(b);
    EXPECT_EQ(o.count, 3);
    ExpectOnlyGoodFiles(o);
}

TEST_F(ZipDamageTest, AnEndRecordOnlyOrACutLocalHeaderIsNoZip)
{
    QByteArray end;
    Add32(end, 0x06054B50);
    Add16(end, 0);
    Add16(end, 0);
    Add16(end, 3); // entries on this disk
    Add16(end, 3); // total entries
    Add32(end, 150);
    Add32(end, 0);
    Add16(end, 0);
    EXPECT_EQ(Attempt(end).error, "EBadZipFile");
    // No end record, and a local signature with no whole header behind it:
    // not an empty archive.
    QByteArray cut("PK\x03\x04", 4);
    cut += QByteArray(10, '\x11');
    EXPECT_EQ(Attempt(cut, TIncompleteZipMode::izAssumeBad).error, "EBadZipFile");
}

TEST_F(ZipDamageTest, CentralDirectoryEndingEarlyIsRefused)
{
    QByteArray b = Victim();
    Put16(b, b.size() - 22 + 10, 4); // one entry more than there are
    Put16(b, b.size() - 22 + 8, 4);
    EXPECT_EQ(Attempt(b).error, "EBadZipFile");
}

TEST_F(ZipDamageTest, TwoEntriesAtOneOffset)
{
    QByteArray b = Victim();
    const qsizetype central = CentralStart(b);
    // Point the second central header at the first local header.
    const qsizetype second = central + 46 + 10; // after "stored.txt"
    ASSERT_EQ(Get32(b, second), 0x02014B50u);
    Put32(b, second + 42, 0);
    TZipReader zip;
    WriteFile(archive, b);
    zip.SetZipName(archive);
    try {
        zip.ReadDirectory();
        FAIL();
    } catch (const EListError &e) {
        EXPECT_EQ(e.Message(), "Duplicate Object index");
    }
    EXPECT_EQ(zip.Count(), 0);
}

TEST_F(ZipDamageTest, HostileNamesStayInsideTheDestination)
{
    const QByteArray b = PyArchive("    for n in ['../evil.txt', '/abs.txt', 'a/../../up.txt', 'ctl\\x01.txt', 'ok.txt',"
                                   " 'sub/fine.txt']:\n"
                                   "        z.writestr(n, b'x')\n");
    for (bool recreate : {false, true}) {
        SCOPED_TRACE(recreate);
        QDir(tmp.path()).remove("evil.txt");
        const Outcome o = Attempt(b, TIncompleteZipMode::izAssumeMulti, recreate);
        EXPECT_EQ(o.count, 3); // abs.txt (into out/), ok.txt, fine.txt
        EXPECT_EQ(o.skipped, 3);
        EXPECT_FALSE(QFileInfo::exists(tmp.filePath("evil.txt")));
        EXPECT_FALSE(QFileInfo::exists(tmp.filePath("up.txt")));
        EXPECT_TRUE(QFileInfo::exists(out + "/abs.txt"));
        EXPECT_TRUE(QFileInfo::exists(out + (recreate ? "/sub/fine.txt" : "/fine.txt")));
    }
}

TEST_F(ZipDamageTest, OutputLargerThanStatedLeavesNoFile)
{
    for (const char *method : {"zipfile.ZIP_STORED", "zipfile.ZIP_DEFLATED"}) {
        SCOPED_TRACE(method);
        QByteArray b = PyArchive(QString("    z.writestr('f.txt', b'0123456789' * 5000, compress_type=%1)\n").arg(method));
        const qsizetype central = CentralStart(b);
        Put32(b, central + 24, 49999); // uncompressed size one byte short
        const Outcome o = Attempt(b);
        EXPECT_EQ(o.count, 0);
        EXPECT_EQ(o.badCrc, 1);
        EXPECT_FALSE(QFileInfo::exists(out + "/f.txt"));
    }
}

// An entry whose data end before its stated size, with a CRC that matches
// what is there: refused like a bad CRC, nothing left behind, stored or
// deflated, and also in the middle of a run of good entries.
TEST_F(ZipDamageTest, OutputShorterThanStatedLeavesNoFile)
{
    for (const char *method : {"zipfile.ZIP_STORED", "zipfile.ZIP_DEFLATED"}) {
        SCOPED_TRACE(method);
        QByteArray b = PyArchive(QString("    z.writestr('f.txt', b'0123456789' * 5000, compress_type=%1)\n"
                                         "    z.writestr('g.txt', b'good')\n")
                                     .arg(method));
        const qsizetype central = CentralStart(b);
        for (const uint32_t stated : {50001u, 50000u + 32768u}) {
            Put32(b, central + 24, stated);
            const Outcome o = Attempt(b);
            EXPECT_EQ(o.count, 1) << stated;
            EXPECT_EQ(o.badCrc, 1) << stated;
            EXPECT_FALSE(QFileInfo::exists(out + "/f.txt")) << stated;
            EXPECT_TRUE(QFileInfo::exists(out + "/g.txt")) << stated;
            EXPECT_EQ(QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                      QStringList{"g.txt"});
        }
    }
}

TEST_F(ZipDamageTest, PrematureEndDeletesThePartialFile)
{
    QByteArray b = PyArchive("    z.writestr('big.txt', bytes(range(256)) * 200)\n");
    const qsizetype central = CentralStart(b);
    Put32(b, central + 20, 0x10000000); // compressed size far beyond the file
    Put32(b, central + 24, 0x10000000);
    const Outcome o = Attempt(b);
    EXPECT_EQ(o.error, "EFatalUnzipError");
    EXPECT_FALSE(QFileInfo::exists(out + "/big.txt"));
}

TEST_F(ZipDamageTest, BadLocalSignatureAndBadCrcFailOnlyTheirEntry)
{
    QByteArray b = Victim();
    b[0] = 'X'; // local header of stored.txt
    const qsizetype central = CentralStart(b);
    const qsizetype second = central + 46 + 10; // "stored.txt" is 10 bytes
    Put32(b, second + 16, Get32(b, second + 16) ^ 1); // CRC of deflated.txt
    uint32_t calc = 0, stored = 0;
    WriteFile(archive, b);
    TZipReader zip;
    std::vector<TSkipReason> reasons;
    zip.OnSkippingFile = [&](TZipReader *, TSkipReason r, const QString &, int) { reasons.push_back(r); };
    zip.OnBadCRC = [&](TZipReader *, uint32_t c, uint32_t s, int) {
        calc = c;
        stored = s;
    };
    zip.SetZipName(archive);
    zip.SetDestDir(out);
    zip.SetDoAll(true);
    EXPECT_EQ(zip.ExtractFiles(), 1);
    EXPECT_EQ(reasons, std::vector<TSkipReason>{TSkipReason::srBadHeader});
    EXPECT_EQ(calc ^ stored, 1u);
    EXPECT_FALSE(QFileInfo::exists(out + "/deflated.txt"));
    EXPECT_TRUE(QFileInfo::exists(out + "/bin.dat"));
}

TEST_F(ZipDamageTest, UnknownMethodIsShownAndNotCounted)
{
    QByteArray b = Victim();
    const qsizetype central = CentralStart(b);
    Put16(b, central + 10, 12); // bzip2
    WriteFile(archive, b);
    TZipReader zip;
    QString shown;
    zip.MessageBox = [&](const QString &text, const QString &caption, int) {
        shown = caption + ": " + text;
        return mrOk;
    };
    zip.SetZipName(archive);
    zip.SetDestDir(out);
    zip.SetDoAll(true);
    EXPECT_EQ(zip.ExtractFiles(), 2);
    EXPECT_EQ(shown, "Zip Error: Unknown Compression Method");
    EXPECT_FALSE(QFileInfo::exists(out + "/stored.txt"));
}

TEST_F(ZipDamageTest, ADamagedEntryLeavesTheExistingFileOfItsName)
{
    QByteArray bad = Victim();
    const qsizetype central = CentralStart(bad);
    const qsizetype second = central + 46 + 10; // "stored.txt" is 10 bytes
    Put32(bad, second + 16, Get32(bad, second + 16) ^ 1); // CRC of deflated.txt
    QByteArray unknown = Victim();
    Put16(unknown, CentralStart(unknown) + 46 + 10 + 10, 12); // deflated.txt: bzip2
    QByteArray truncated = Victim();
    Put32(truncated, CentralStart(truncated) + 46 + 10 + 20, 0x10000000); // deflated.txt runs past the end

    for (const QByteArray *b : {&bad, &unknown, &truncated}) {
        QDir(out).removeRecursively();
        QDir().mkpath(out);
        WriteFile(out + "/deflated.txt", "the user's own data");
        WriteFile(archive, *b);
        TZipReader zip;
        zip.MessageBox = [](const QString &, const QString &, int) { return mrOk; };
        zip.SetZipName(archive);
        zip.SetDestDir(out);
        zip.SetDoAll(true);
        zip.SetOverwriteMode(TUZOverwriteMode::Always);
        try {
            EXPECT_EQ(zip.ExtractFiles(), 2);
        } catch (const EFatalUnzipError &) {
            EXPECT_EQ(b, &truncated);
        }
        EXPECT_EQ(ReadFile(out + "/deflated.txt"), QByteArray("the user's own data"));
        // No temporary file is left beside it.
        for (const QString &name : QDir(out).entryList(QDir::Files | QDir::Hidden))
            EXPECT_TRUE(VictimFiles().count(name)) << name.toStdString();
    }
    // A good entry still replaces the file.
    WriteFile(archive, Victim());
    TZipReader zip;
    zip.SetZipName(archive);
    zip.SetDestDir(out);
    zip.SetDoAll(true);
    zip.SetOverwriteMode(TUZOverwriteMode::Always);
    EXPECT_EQ(zip.ExtractFiles(), 3);
    EXPECT_EQ(ReadFile(out + "/deflated.txt"), VictimFiles()["deflated.txt"]);
}

TEST_F(ZipDamageTest, SymbolicLinksInTheDestinationAreReplacedNotFollowed)
{
    const QByteArray b = PyArchive("    z.writestr('stored.txt', b'new data')\n"
                                   "    z.writestr('sub/fine.txt', b'fine')\n");
    const QString outside = tmp.filePath("outside");
    QDir().mkpath(outside);
    WriteFile(outside + "/target.txt", "outside file");
    QDir().mkpath(out);
    ASSERT_TRUE(QFile::link(outside + "/target.txt", out + "/stored.txt"));
    ASSERT_TRUE(QFile::link(outside, out + "/sub"));
    WriteFile(archive, b);
    TZipReader zip;
    zip.SetZipName(archive);
    zip.SetDestDir(out);
    zip.SetDoAll(true);
    zip.SetRecreateDirs(true);
    zip.SetOverwriteMode(TUZOverwriteMode::Always);
    EXPECT_EQ(zip.ExtractFiles(), 2);
    EXPECT_EQ(ReadFile(outside + "/target.txt"), QByteArray("outside file"));
    EXPECT_FALSE(QFileInfo::exists(outside + "/fine.txt"));
    EXPECT_FALSE(QFileInfo(out + "/stored.txt").isSymLink());
    EXPECT_EQ(ReadFile(out + "/stored.txt"), QByteArray("new data"));
    EXPECT_FALSE(QFileInfo(out + "/sub").isSymLink());
    EXPECT_EQ(ReadFile(out + "/sub/fine.txt"), QByteArray("fine"));
}

// A folder link that cannot be removed stops its entries: they are skipped as
// unsafe, never written through the link.
TEST_F(ZipDamageTest, AFolderLinkThatCannotBeRemovedSkipsItsEntries)
{
    const QByteArray b = PyArchive("    z.writestr('sub/fine.txt', b'fine')\n"
                                   "    z.writestr('top.txt', b'top')\n");
    const QString outside = tmp.filePath("outside");
    QDir().mkpath(outside);
    QDir().mkpath(out);
    ASSERT_TRUE(QFile::link(outside, out + "/sub"));
    WriteFile(archive, b);
    TZipReader zip;
    zip.SetZipName(archive);
    zip.SetDestDir(out);
    zip.SetDoAll(true);
    zip.SetRecreateDirs(true);
    zip.SetOverwriteMode(TUZOverwriteMode::Always);
    std::vector<TSkipReason> skipped;
    zip.OnSkippingFile = [&](TZipReader *, TSkipReason reason, const QString &, int) { skipped.push_back(reason); };
    test::TFaultEnv env;
    env.FailCall(TSysOp::Remove, 1, EPERM);
    TSysEnvScope scope(env);
    EXPECT_EQ(zip.ExtractFiles(), 1);
    EXPECT_EQ(skipped, std::vector<TSkipReason>{TSkipReason::srUnsafeName});
    EXPECT_FALSE(QFileInfo::exists(outside + "/fine.txt"));
    EXPECT_TRUE(QFileInfo(out + "/sub").isSymLink());
    EXPECT_EQ(ReadFile(out + "/top.txt"), QByteArray("top"));
}
