// Data files that are not what the program writes, as they reach a household
// by mail or on a stick: entries that state or inflate to more than a data
// set can hold, and archives full of foreign entries. Each is refused in
// Russian with nothing left in the work folders, or opened as plain data
// without its foreign entries; every case ends in bounded time.
#include "ZorbMainRun.h"
#include "core/TulnCommon.h"
#include "core/ZorbFile.h"
#include "core/ZorbKnown.h"
#include "platform/sqltable/Sqlite.h"
#include "platform/system/SysFiles.h"
#include "support/ChildProcess.h"
#include "support/FaultEnv.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

namespace zorbel {
namespace {

// Runs a Python script with the given arguments; true when it ended well.
bool Python(const QString &script, const QStringList &args)
{
    const test::TChildRun py = test::RunChild("python3", QStringList{"-c", script} + args);
    if (!py.Finished)
        return false;
    EXPECT_EQ(py.ExitCode, 0) << py.Err.toStdString();
    return py.ExitCode == 0;
}

// The names an archive lists, read by Python's zipfile.
QStringList EntryNames(const QString &archive)
{
    const test::TChildRun py = test::RunChild(
        "python3", {"-c", "import zipfile,sys\nprint('\\n'.join(zipfile.ZipFile(sys.argv[1]).namelist()))", archive});
    return QString::fromUtf8(py.Out).split('\n', Qt::SkipEmptyParts);
}

class ZorbHostileFile : public ZorbMainRun {
protected:
    void TearDown() override { TDataZip::DataSetSizeBound = TDataZip::DefaultSizeBound; }
    // Starts with File, expecting the start to refuse it with a notice that
    // begins with Message; the work folders stay empty.
    void ExpectRefused(const QString &file, const QString &message)
    {
        QElapsedTimer clock;
        clock.start();
        TModalScript script;
        script.Press("OK");
        auto f = Start({file});
        EXPECT_FALSE(f->ReadyToRun()) << file.toStdString();
        EXPECT_TRUE(script.Finished()) << Texts(script).join(" | ").toStdString();
        EXPECT_EQ(Texts(script).value(0), message + "\r" + file);
        EXPECT_TRUE(IsFolderEmpty(f->WorkDir));
        EXPECT_TRUE(IsFolderEmpty(f->TempDir + "ZORB_NEW"));
        EXPECT_LT(clock.elapsed(), 20000) << file.toStdString();
    }
};

TEST_F(ZorbHostileFile, EntriesPastTheSizeBoundAreRefusedBeforeAnythingIsWritten)
{
    const QString good = MakeDataFile("good.den", QString());
    // The data set's own entry stating 2 GiB and just under 2 GiB (its data
    // is a few bytes); and one that truly inflates to 3 MiB from a few kilobytes.
    ASSERT_TRUE(Python("import zipfile,sys,struct\n"
                       "src=zipfile.ZipFile(sys.argv[1]).read('Zorbel.db')\n"
                       "for name,size in ((sys.argv[2],0x80000000),(sys.argv[3],0x7ffffff0)):\n"
                       "  z=zipfile.ZipFile(name,'w',zipfile.ZIP_DEFLATED); z.writestr('Zorbel.db',src); z.close()\n"
                       "  b=bytearray(open(name,'rb').read())\n"
                       "  c=b.find(b'PK\\x01\\x02'); struct.pack_into('<I',b,c+24,size)\n"
                       "  struct.pack_into('<I',b,22,size)\n"
                       "  open(name,'wb').write(b)\n"
                       "z=zipfile.ZipFile(sys.argv[4],'w',zipfile.ZIP_DEFLATED)\n"
                       "z.writestr('Zorbel.db',src+bytes(3<<20)); z.close()\n",
                       {good, File("declared.den"), File("almost.den"), File("inflates.den")}));
    ASSERT_LT(QFileInfo(File("inflates.den")).size(), 200000);

    const QString tooLarge = U("Файл данных слишком велик: столько данных не бывает в домашнем учёте. Файл не открыт.");
    // 2 GiB does not fit the headers' fields: the file is no data file.
    TModalScript refused;
    refused.Press("OK");
    EXPECT_FALSE(Start({File("declared.den")})->ReadyToRun());
    EXPECT_EQ(Texts(refused), QStringList{U("Ошибка распаковки файла данных!\r") + File("declared.den")});
    ExpectRefused(File("almost.den"), tooLarge);
    TDataZip::DataSetSizeBound = 2 << 20;
    ExpectRefused(File("inflates.den"), tooLarge);
    // Within the bound but not within the disk's free space (less what is
    // always kept free): the disk is named.
    TDataZip::DataSetSizeBound = 4 << 20;
    {
        test::TFaultEnv env;
        env.SetDiskFree(TDataZip::FreeSpaceMargin + (2 << 20));
        TSysEnvScope scope(env);
        ExpectRefused(File("inflates.den"), U("Недостаточно места на диске «") +
                                                MountPointOf(box.Path("runtime")) +
                                                U("» для распаковки файла данных!"));
    }
    // Under the bound the same file opens as it did.
    TDataZip::DataSetSizeBound = 4 << 20;
    TModalScript none;
    auto f = Start({File("inflates.den")});
    EXPECT_TRUE(f->ReadyToRun());
    EXPECT_TRUE(HasAccount(*f, U("Кошелёк")));
    f->mCloseNotSaveClick(f.get());
}

// 1,000 foreign entries beside the database: the data set opens, none of
// them is unpacked, and the next save carries the database alone.
TEST_F(ZorbHostileFile, ForeignEntriesAreNeitherUnpackedNorSavedAgain)
{
    const QString file = MakeDataFile("crowded.den", QString());
    ASSERT_TRUE(Python("import zipfile,sys\n"
                       "z=zipfile.ZipFile(sys.argv[1],'a',zipfile.ZIP_DEFLATED)\n"
                       "for i in range(1000): z.writestr('junk/%04d.txt' % i if i % 2 else 'x%04d.bin' % i, b'j'*100)\n"
                       "z.close()\n",
                       {file}));
    ASSERT_EQ(EntryNames(file).size(), 1001);
    QElapsedTimer clock;
    clock.start();
    TModalScript none;
    auto f = Start({file});
    ASSERT_TRUE(f->ReadyToRun());
    EXPECT_TRUE(none.Seen().empty()) << Texts(none).join(" | ").toStdString();
    EXPECT_EQ(QDir(f->WorkDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{"Zorbel.db"});
    AddAccount(*f, U("После"));
    f->mSaveClick(f.get());
    EXPECT_FALSE(f->Dm->Modified());
    EXPECT_EQ(EntryNames(file), QStringList{"Zorbel.db"});
    f->mCloseNotSaveClick(f.get());
    EXPECT_LT(clock.elapsed(), 30000);
}

// Contents the program wrote from a sound data set open again without the
// checks that read every row and page; contents changed by anyone else, or
// holding what the check reports, are checked whole every time.
TEST_F(ZorbHostileFile, OnlyContentsThisProgramWroteSkipTheWholeCheck)
{
    const QString file = MakeDataFile("own.den", QString());
    {
        TModalScript none;
        auto f = Start({file});
        ASSERT_TRUE(f->ReadyToRun());
        EXPECT_FALSE(f->Dm->CheckedWhole());
        EXPECT_TRUE(none.Seen().empty()) << Texts(none).join(" | ").toStdString();
        f->mCloseNotSaveClick(f.get());
    }
    // Another program writes an impossible value into the same file.
    ASSERT_TRUE(Python("import zipfile,sys,sqlite3,os\n"
                       "d=os.path.join(os.path.dirname(sys.argv[1]),'Zorbel.db')\n"
                       "open(d,'wb').write(zipfile.ZipFile(sys.argv[1]).read('Zorbel.db'))\n"
                       "c=sqlite3.connect(d)\n"
                       "c.create_collation('RUSSIAN',lambda a,b:(a>b)-(a<b))\n"
                       "c.execute(\"update Tb_Account set Rest='много'\"); c.commit(); c.close()\n"
                       "z=zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_DEFLATED); z.write(d,'Zorbel.db'); z.close()\n"
                       "os.remove(d)\n",
                       {file}));
    const QString report = U("В файле данных есть значения, которые программа не может учесть");
    for (int round = 0; round < 2; ++round) {
        TModalScript script;
        script.Press("OK");
        auto f = Start({file});
        ASSERT_TRUE(f->ReadyToRun());
        EXPECT_TRUE(f->Dm->CheckedWhole()) << round;
        ASSERT_FALSE(Texts(script).isEmpty()) << round;
        EXPECT_TRUE(Texts(script)[0].startsWith(report)) << Texts(script)[0].toStdString();
        // Saved by the program, the value is still there: told again next time.
        AddAccount(*f, U("Ещё") + QString::number(round));
        f->mSaveClick(f.get());
        EXPECT_FALSE(f->Dm->Modified());
        f->mCloseNotSaveClick(f.get());
    }
}

// Python that rewrites the database of the data file argv[1] with the SQL
// of argv[2]; with argv[3] "forge" the new database keeps the old one's size
// and CRC-32 (4 bytes in the unused gap of a page fix the CRC, as anyone can
// do with the numbers a zip header shows). Prints the old CRC and size.
const char *RewriteDatabase = R"(import zipfile,sys,sqlite3,os,struct,zlib
den,sql,mode=sys.argv[1],sys.argv[2],sys.argv[3]
old=zipfile.ZipFile(den).read('Zorbel.db')
d=os.path.join(os.path.dirname(den),'Zorbel.db')
open(d,'wb').write(old)
c=sqlite3.connect(d)
c.create_collation('RUSSIAN',lambda a,b:(a>b)-(a<b))
c.executescript(sql); c.commit(); c.close()
new=bytearray(open(d,'rb').read()); os.remove(d)
if mode=='forge':
    assert len(new)==len(old), (len(new),len(old))
    ps=struct.unpack('>H',new[16:18])[0]; ps=65536 if ps==1 else ps
    at=None
    for p in range(len(new)//ps):
        base=p*ps; h=base+(100 if p==0 else 0)
        if new[h] not in (2,5,10,13): continue
        cells=struct.unpack('>H',new[h+3:h+5])[0]
        content=struct.unpack('>H',new[h+5:h+7])[0] or 65536
        gap=h+(12 if new[h] in (2,5) else 8)+2*cells
        if base+content-gap>=8: at=gap; break
    assert at is not None
    T=[]
    for n in range(256):
        r=n
        for _ in range(8): r=(r>>1)^0xEDB88320 if r&1 else r>>1
        T.append(r)
    top={T[n]>>24:n for n in range(256)}
    def back(reg,data):
        for b in reversed(data):
            n=top[reg>>24]; reg=(((reg^T[n])<<8)&0xFFFFFFFF)|(n^b)
        return reg
    want=back(zlib.crc32(old)^0xFFFFFFFF,new[at+4:])
    want=back(want,b'\0\0\0\0')
    have=zlib.crc32(bytes(new[:at]))^0xFFFFFFFF
    new[at:at+4]=struct.pack('<I',want^have)
    assert zlib.crc32(bytes(new))==zlib.crc32(old) and bytes(new)!=old
z=zipfile.ZipFile(den,'w',zipfile.ZIP_DEFLATED); z.writestr('Zorbel.db',bytes(new)); z.close()
print('%08x %d'%(zlib.crc32(old),len(old)))
)";

// Runs RewriteDatabase; the old database's "crc size" as it printed them.
QByteArray Rewrite(const QString &file, const QString &sql, const QString &mode)
{
    const test::TChildRun py = test::RunChild("python3", {"-c", RewriteDatabase, file, sql, mode});
    EXPECT_EQ(py.ExitCode, 0) << py.Err.toStdString();
    return py.Out.trimmed();
}

// A database forged to the size and CRC-32 of contents the program saved
// and remembered is not taken for them: it gets the whole check, and what
// the check reports is told. A list of an earlier version, which named
// contents by CRC-32 and size, lets nothing skip the check either.
TEST_F(ZorbHostileFile, AForgedDatabaseWithTheSameCrcAndSizeGetsTheWholeCheck)
{
    const QString file = MakeDataFile("forged.den", QString());
    {
        TModalScript none;
        auto f = Start({file});
        ASSERT_TRUE(f->ReadyToRun());
        ASSERT_FALSE(f->Dm->CheckedWhole()) << "saved by the program: known";
        f->mCloseNotSaveClick(f.get());
    }
    const QByteArray crcAndSize = Rewrite(file, "update Tb_Account set Rest=1e308;", "forge");
    ASSERT_FALSE(crcAndSize.isEmpty());
    const QString report = U("В файле данных есть значения, которые программа не может учесть");
    for (int round = 0; round < 2; ++round) {
        if (round == 1)
            TSandbox::Write(TKnownContents::DefaultFile(), crcAndSize + " 1\n"); // the old list's line
        TModalScript script;
        script.Press("OK");
        auto f = Start({file});
        ASSERT_TRUE(f->ReadyToRun()) << round;
        EXPECT_TRUE(f->Dm->CheckedWhole()) << round;
        ASSERT_FALSE(Texts(script).isEmpty()) << round;
        EXPECT_TRUE(Texts(script)[0].startsWith(report)) << Texts(script)[0].toStdString();
        f->mCloseNotSaveClick(f.get());
    }
}

// A file received from someone else (here: rewritten by another tool) pays
// the whole check once: contents that pass it with nothing to report are
// remembered, and open unchecked the next time. Contents the check reports
// on are checked at every opening.
TEST_F(ZorbHostileFile, AReceivedFileIsRememberedAfterItsWholeCheckAReportedOneNever)
{
    const QString received = MakeDataFile("received.den", QString());
    ASSERT_FALSE(Rewrite(received, U("update Tb_Account set Account='Чужой';"), "plain").isEmpty());
    const QString reported = MakeDataFile("reported.den", QString());
    ASSERT_FALSE(Rewrite(reported, "update Tb_Account set Rest='много';", "plain").isEmpty());
    for (int round = 0; round < 3; ++round) {
        {
            TModalScript none;
            auto f = Start({received});
            ASSERT_TRUE(f->ReadyToRun()) << round;
            EXPECT_EQ(f->Dm->CheckedWhole(), round == 0) << round;
            EXPECT_TRUE(f->Dm->Tb_Account.Locate("Account", Variant(U("Чужой")), {})) << round;
            EXPECT_TRUE(none.Seen().empty()) << Texts(none).join(" | ").toStdString();
            f->mCloseNotSaveClick(f.get());
        }
        TModalScript script;
        script.Press("OK");
        auto f = Start({reported});
        ASSERT_TRUE(f->ReadyToRun()) << round;
        EXPECT_TRUE(f->Dm->CheckedWhole()) << round;
        EXPECT_EQ(Texts(script).size(), 1) << round;
        f->mCloseNotSaveClick(f.get());
    }
}

// A view in place of one of the tables is named by the structure refusal,
// not taken for a failed unpacking; the first table the opening reads
// (Tb_Account) and any other alike.
TEST_F(ZorbHostileFile, AViewInPlaceOfATableIsRefusedByName)
{
    for (const char *table : {"Tb_Log", "Tb_Account"}) {
        const QString file = MakeDataFile(QString("view-%1.den").arg(table), QString());
        ASSERT_FALSE(Rewrite(file, QString("drop table %1; create view %1 as select 1 as x;").arg(table), "plain")
                         .isEmpty());
        ExpectRefused(file, U("Файл не открыт: в его базе данных «%1» — представление, а не таблица.").arg(table));
    }
}

// Operations the program wrote since the opening without their year and
// month are filled in at the next opening, as every row was before the list
// of checked contents knew them.
TEST_F(ZorbHostileFile, YearsLeftUnfilledAreFilledAtTheNextOpening)
{
    const QString file = MakeDataFile("years.den", QString());
    const auto unfilled = [](TFormMain &f) {
        TSqliteStatement st(f.Dm->Db.Db(), "SELECT count(*) FROM tb_hist WHERE yr IS NULL OR mn IS NULL");
        return st.Step() ? st.ColumnInt(0) : -1;
    };
    TModalScript none;
    for (int round = 0; round < 3; ++round) {
        auto f = Start({file});
        ASSERT_TRUE(f->ReadyToRun());
        EXPECT_EQ(unfilled(*f), 0) << round;
        EXPECT_TRUE(f->Dm->YearsFilled()) << round;
        if (round == 0) {
            // An operation written without them, as an older path or an
            // import of another version might.
            f->Dm->Db.Db().Exec("INSERT INTO tb_hist(id_account, date_real, date_create, kind, ct) "
                                "VALUES(1, 45000, 45000.5, '1', 10)");
            EXPECT_FALSE(f->Dm->YearsFilled());
        }
        f->Dm->SetModified(true);
        f->mSaveClick(f.get());
        f->mCloseNotSaveClick(f.get());
        // The saved contents go first on the list, filled or not.
        const QByteArray list = TSandbox::Read(TKnownContents::DefaultFile());
        EXPECT_TRUE(list.left(list.indexOf('\n')).endsWith(round == 0 ? " 0" : " 1")) << round << list.toStdString();
    }
    EXPECT_TRUE(none.Seen().empty()) << Texts(none).join(" | ").toStdString();
}

// A file of an earlier version lacks an index of the operations: the
// opening makes it, and closing saves the file with it, so that later
// openings neither build it again nor find the contents changed.
TEST_F(ZorbHostileFile, AnIndexTheFileLackedIsSavedOnClosing)
{
    const QString file = MakeDataFile("older.den", QString());
    ASSERT_FALSE(Rewrite(file, "drop index Tb_Hist_Date;", "plain").isEmpty());
    const auto indexed = [](TFormMain &f) {
        TSqliteStatement st(f.Dm->Db.Db(), "SELECT count(*) FROM sqlite_master WHERE name = 'Tb_Hist_Date'");
        return st.Step() && st.ColumnInt(0) == 1;
    };
    for (const bool first : {true, false}) {
        TModalScript script;
        script.Press("Yes"); // "Закрыть программу?", and nothing else
        auto f = Start({file});
        ASSERT_TRUE(f->ReadyToRun());
        EXPECT_TRUE(indexed(*f)) << first;
        EXPECT_EQ(f->Dm->IndexesMade(), first);
        EXPECT_EQ(f->Dm->Modified(), first);
        EXPECT_TRUE(Close(*f)) << first;
        EXPECT_EQ(Texts(script), QStringList{U("Закрыть программу?")}) << first;
    }
}

} // namespace
} // namespace zorbel
