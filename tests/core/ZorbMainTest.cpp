// The program end to end, in-process: start-up, the data file lifecycle with
// passwords, backups and failures, closing, settings, the second instance.
// Every dialog is answered by a TModalScript; a dialog nobody expected fails
// the test through the script's errors.
#include "core/ZorbMain.h"

#include "ZorbMainRun.h"
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include "ZorbSandbox.h"
#include "core/TulnCommon.h"
#include "core/ZorbText.h"
#include "platform/system/InstanceMutex.h"
#include "platform/system/Registry.h"
#include "platform/system/SysFiles.h"
#include "platform/widgets/ModalScript.h"
#include "support/ChildProcess.h"
#include "support/FaultEnv.h"
#include "support/RawNames.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QWheelEvent>
#include <QWindow>

namespace zorbel {
namespace {

TEST_F(ZorbMainRun, NewDataSetSavedWithPasswordReopensIntact)
{
    TModalScript script;
    auto f = Start();
    ASSERT_TRUE(f->ReadyToRun());
    EXPECT_TRUE(f->Caption().isEmpty());
    EXPECT_FALSE(f->Dm->Modified());
    EXPECT_TRUE(HasAccount(*f, U("Мой первый счёт")));
    EXPECT_TRUE(QFileInfo::exists(f->WorkDir + "/Zorbel.db"));
    EXPECT_TRUE(f->WorkDir.startsWith(box.Path("runtime/zorbel/")));
    EXPECT_TRUE(QFileInfo::exists(MimePackageFile("Zorbel")));
    EXPECT_TRUE(script.Finished()) << Texts(script).join(" | ").toStdString();

    AddAccount(*f, U("Кошелёк"));
    EXPECT_TRUE(f->Dm->Modified());
    TModalScript pw;
    pw.Then(Password("pw")).Then(Password("pw")).Press("OK");
    f->mPasswordClick(f.get());
    EXPECT_EQ(Texts(pw).last(), U("Пароль изменён!"));
    EXPECT_EQ(f->FilePassword, "pw");

    // The first save of a new data set, even through save as, ties it to its
    // file: a private file, the title, and no changes left.
    saveAs = File("home.den");
    f->mSaveAsClick(f.get());
    EXPECT_EQ(f->Caption(), File("home.den"));
    EXPECT_FALSE(f->Dm->Modified());
    EXPECT_EQ(QFileInfo(saveAs).permissions() & 0x0077, 0); // no one else's to read
    const test::TChildRun unzip = test::RunChild("unzip", {"-t", "-P", "pw", saveAs});
    ASSERT_TRUE(unzip.Finished);
    EXPECT_EQ(unzip.ExitCode, 0);
    // The desktop tells a data file from other zips by its first local
    // header naming the database (the MIME package's magic), password or not.
    const QByteArray head = TSandbox::Read(saveAs).left(39);
    ASSERT_EQ(head.size(), 39);
    EXPECT_TRUE(head.startsWith("PK\x03\x04"));
    EXPECT_EQ(uint8_t(head[26]) | uint8_t(head[27]) << 8, 9);
    EXPECT_EQ(head.mid(30), "Zorbel.db");

    // Save as of a data set that has a file writes a copy; the data set keeps its file and its changes.
    AddAccount(*f, U("Копилка"));
    saveAs = File("copy.den");
    f->mSaveAsClick(f.get());
    EXPECT_TRUE(QFileInfo::exists(File("copy.den")));
    EXPECT_EQ(f->Caption(), File("home.den"));
    EXPECT_TRUE(f->Dm->Modified());

    // Closing saves into the data set's own file without a dialog.
    saveAs.clear();
    TModalScript closing;
    closing.Press("Yes");
    EXPECT_TRUE(Close(*f));
    EXPECT_EQ(Texts(closing), QStringList{U("Закрыть программу?")});
    const QString work = f->WorkDir;
    f.reset();
    EXPECT_FALSE(QFileInfo::exists(work));

    // Start with the file: a wrong password, then the right one.
    TModalScript open;
    open.Then(Password("bad")).Press("OK").Then(Password("pw"));
    f = Start({File("home.den")});
    EXPECT_TRUE(open.Finished()) << Texts(open).join(" | ").toStdString();
    EXPECT_EQ(Texts(open)[1], U("Пароль неверен!!!"));
    ASSERT_TRUE(f->ReadyToRun());
    EXPECT_EQ(f->Caption(), File("home.den"));
    EXPECT_TRUE(HasAccount(*f, U("Кошелёк")));
    EXPECT_TRUE(HasAccount(*f, U("Копилка")));
    EXPECT_EQ(f->FilePassword, "pw");
    EXPECT_FALSE(f->Dm->Modified());

    // A save now keeps the previous file as the backup copy.
    const QByteArray before = TSandbox::Read(File("home.den"));
    AddAccount(*f, U("Карта"));
    f->mSaveClick(f.get());
    EXPECT_FALSE(f->Dm->Modified());
    EXPECT_EQ(TSandbox::Read(File("home.bak")), before);
    EXPECT_EQ(f->Caption(), File("home.den"));
    TModalScript last;
    last.Press("Yes");
    EXPECT_TRUE(Close(*f));
    EXPECT_TRUE(last.Finished());
}

// A data file made on a CP1251 system, in a folder named so too: opened from
// the command line, saved with its backup and reserve copies, locked, and
// offered again at the next start, all under its own bytes.
TEST_F(ZorbMainRun, AFileWhoseNameIsNotUtf8WorksLikeAnyOther)
{
    using test::ExistsRaw;
    using test::ListRaw;
    const QString made = MakeDataFile("plain.den", QString());
    const QByteArray folder = EncodeSystemName(File("")) + "p\xe0\xef\xea\xe0";
    ASSERT_EQ(::mkdir(folder.constData(), 0700), 0);
    const QByteArray reserve = EncodeSystemName(box.Path("data/zorbel/Reserve"));
    // The sandbox's own removal goes through Qt and leaves such names behind.
    struct TRawCleanup {
        QByteArray Folder, Reserve;
        ~TRawCleanup()
        {
            test::RemoveTreeRaw(Folder);
            test::RemoveTreeRaw(Reserve);
        }
    } cleanup{folder, reserve};
    const QByteArray raw = folder + "/non\xff\xfeutf8.den";
    ASSERT_EQ(::rename(EncodeSystemName(made).constData(), raw.constData()), 0);
    const QString name = DecodeSystemName(raw);
    ForgetRecentFile();

    TModalScript none;
    auto f = Start({name});
    ASSERT_TRUE(f->ReadyToRun()) << Texts(none).join(" | ").toStdString();
    EXPECT_TRUE(Texts(none).isEmpty()) << Texts(none).join(" | ").toStdString();
    EXPECT_EQ(f->Caption(), name);
    EXPECT_TRUE(HasAccount(*f, U("Кошелёк")));
    EXPECT_TRUE(ExistsRaw(folder + "/.non\xff\xfeutf8.den.lock"));

    // Saves: the backup beside it; a leftover of an interrupted save is found
    // by its bytes and removed; the reserve copies move on.
    const QByteArray first = test::ReadRaw(raw);
    AddAccount(*f, U("Копилка"));
    f->mSaveClick(f.get());
    EXPECT_FALSE(f->Dm->Modified());
    EXPECT_EQ(test::ReadRaw(folder + "/non\xff\xfeutf8.bak"), first);
    {
        const int fd = ::open((folder + "/.~non\xff\xfeutf8.den").constData(), O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    AddAccount(*f, U("Карта"));
    f->mSaveClick(f.get());
    EXPECT_FALSE(f->Dm->Modified());
    EXPECT_EQ(ListRaw(folder), (QList<QByteArray>{".non\xff\xfeutf8.den.lock", "non\xff\xfeutf8.bak", "non\xff\xfeutf8.den"}));
    EXPECT_EQ(ListRaw(reserve), QList<QByteArray>{"1_non\xff\xfeutf8.bak"});
    const QString r1 = DecodeSystemName(reserve + "/1_non\xff\xfeutf8.bak");
    const QByteArray r1Bytes = test::ReadRaw(reserve + "/1_non\xff\xfeutf8.bak");
    ASSERT_FALSE(r1Bytes.isEmpty());
    FileSetDate(r1, FileAge(r1).addDays(-1));
    AddAccount(*f, U("Вклад"));
    f->mSaveClick(f.get());
    EXPECT_EQ(test::ReadRaw(reserve + "/2_non\xff\xfeutf8.bak"), r1Bytes);
    EXPECT_EQ(ListRaw(reserve), (QList<QByteArray>{"1_non\xff\xfeutf8.bak", "2_non\xff\xfeutf8.bak"}));

    // Closing releases the lock and remembers the file by its bytes.
    TModalScript last;
    last.Press("Yes");
    EXPECT_TRUE(Close(*f));
    f.reset();
    EXPECT_FALSE(ExistsRaw(folder + "/.non\xff\xfeutf8.den.lock"));
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(SettingsKey(), false));
        EXPECT_EQ(EncodeSystemName(reg.ReadString("Recent_Catalog")), raw);
    }
    TModalScript again;
    auto g = Start();
    ASSERT_TRUE(g->ReadyToRun()) << Texts(again).join(" | ").toStdString();
    EXPECT_EQ(g->Caption(), name);
    EXPECT_TRUE(HasAccount(*g, U("Вклад")));
    g->mCloseNotSaveClick(g.get());
    g.reset();

    // Dropped on the window, it opens too.
    ForgetRecentFile();
    TModalScript drop;
    auto h = Start();
    h->WMDropFiles({name});
    EXPECT_EQ(h->Caption(), name) << Texts(drop).join(" | ").toStdString();
    EXPECT_TRUE(HasAccount(*h, U("Вклад")));
    h->mCloseNotSaveClick(h.get());
}

// Qt's file dialog shows such a name with U+FFFD and gives it back so: the
// program opens the file the dialog showed, and when two names look the
// same it says so instead of guessing.
TEST_F(ZorbMainRun, AFileDialogsLossyNameOpensTheFileItShowed)
{
    const QString made = MakeDataFile("plain.den", QString());
    const QByteArray files = EncodeSystemName(File(""));
    const QByteArray raw = files + "non\xff\xfeutf8.den";
    struct TRawCleanup {
        QByteArray Files;
        ~TRawCleanup()
        {
            for (const QByteArray &name : test::ListRaw(Files))
                ::unlink((Files + name).constData());
        }
    } cleanup{files};
    ASSERT_EQ(::rename(EncodeSystemName(made).constData(), raw.constData()), 0);
    ForgetRecentFile();
    auto f = Start();
    QString answer = QFile::decodeName(raw);
    ASSERT_TRUE(answer.contains(QChar(0xFFFD)));
    f->ExecuteOpenDialog = [&](QString &name) {
        name = answer;
        return true;
    };
    TModalScript none;
    f->mOpenClick(f.get());
    EXPECT_TRUE(Texts(none).isEmpty()) << Texts(none).join(" | ").toStdString();
    EXPECT_EQ(EncodeSystemName(f->Caption()), raw);
    EXPECT_TRUE(HasAccount(*f, U("Кошелёк")));

    // Another file that Qt shows the same: nothing is opened, the user is told.
    ASSERT_TRUE(test::PutRaw(files + "non\xfe\xffutf8.den", "PK"));
    TModalScript told;
    told.Press("OK");
    f->mOpenClick(f.get());
    EXPECT_TRUE(told.Finished());
    ASSERT_EQ(Texts(told).size(), 1);
    EXPECT_TRUE(Texts(told)[0].startsWith(U("В папке несколько файлов"))) << Texts(told)[0].toStdString();
    EXPECT_EQ(EncodeSystemName(f->Caption()), raw);
    f->mCloseNotSaveClick(f.get());
}

// The work folder under a session folder whose name is not UTF-8 (a home
// made on another system): the data set unpacks, saves and reopens there.
TEST_F(ZorbMainRun, AWorkFolderWhoseNameIsNotUtf8Works)
{
    const QByteArray runtime = EncodeSystemName(box.Path("")) + "/run\xe0\xef";
    ASSERT_EQ(::mkdir(runtime.constData(), 0700), 0);
    struct TRawCleanup {
        QByteArray Folder;
        ~TRawCleanup() { test::RemoveTreeRaw(Folder); }
    } cleanup{runtime};
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", runtime); // the sandbox puts its own back afterwards
    const QString file = MakeDataFile("work.den", QString());
    {
        auto f = Start({file});
        ASSERT_TRUE(f->ReadyToRun());
        EXPECT_EQ(EncodeSystemName(f->WorkDir), runtime + "/zorbel/ZORB_DAT");
        EXPECT_FALSE(test::ListRaw(runtime + "/zorbel/ZORB_DAT").isEmpty());
        EXPECT_TRUE(HasAccount(*f, U("Кошелёк")));
        AddAccount(*f, U("Копилка"));
        f->mSaveClick(f.get());
        EXPECT_FALSE(f->Dm->Modified());
        f->mCloseNotSaveClick(f.get());
    }
    auto again = Start({file});
    ASSERT_TRUE(again->ReadyToRun());
    EXPECT_TRUE(HasAccount(*again, U("Копилка")));
    again->mCloseNotSaveClick(again.get());
    again.reset();
    qputenv("XDG_RUNTIME_DIR", saved);
}

TEST_F(ZorbMainRun, ReserveCopiesRotateAcrossDays)
{
    const QString file = MakeDataFile("r.den", QString());
    auto f = Start({file});
    ASSERT_TRUE(f->ReadyToRun());
    const QString reserve = box.Path("data/zorbel/Reserve/");
    for (int i = 0; i < 3; ++i) {
        AddAccount(*f, QString("A%1").arg(i));
        f->mSaveClick(f.get());
    }
    EXPECT_TRUE(QFileInfo::exists(reserve + "1_r.bak"));
    EXPECT_FALSE(QFileInfo::exists(reserve + "2_r.bak"));
    const QByteArray r1 = TSandbox::Read(reserve + "1_r.bak");
    FileSetDate(reserve + "1_r.bak", FileAge(reserve + "1_r.bak").addDays(-1));
    AddAccount(*f, "B");
    f->mSaveClick(f.get());
    EXPECT_EQ(TSandbox::Read(reserve + "2_r.bak"), r1);
    f->mCloseNotSaveClick(f.get());
}

TEST_F(ZorbMainRun, AFailedSaveLeavesTheDataFileByteIdentical)
{
    const QString file = MakeDataFile("keep.den", QString());
    const QByteArray before = TSandbox::Read(file);
    auto f = Start({file});
    ASSERT_TRUE(f->ReadyToRun());
    AddAccount(*f, "X");

    // The folder of the data file takes no new file (the staging name is taken by a folder).
    QDir().mkpath(box.Path("files/.~keep.den"));
    TModalScript s1;
    s1.Press("OK").Press("OK");
    f->mSaveClick(f.get());
    EXPECT_TRUE(s1.Finished());
    EXPECT_TRUE(Texts(s1)[0].startsWith(U("Ошибка копирования")));
    EXPECT_EQ(Texts(s1)[1], U("Файл не может быть сохранён!"));
    EXPECT_EQ(TSandbox::Read(file), before);
    EXPECT_FALSE(QFileInfo::exists(File("keep.bak")));
    EXPECT_TRUE(f->Dm->Modified());
    QDir().rmdir(box.Path("files/.~keep.den"));

    // A full disk while packing: named once, with the disk and the file.
    TModalScript s2;
    s2.Press("OK");
    {
        test::TFaultEnv env;
        env.FailCall(TSysOp::Write, 1, ENOSPC, true);
        TSysEnvScope scope(env);
        f->mSaveClick(f.get());
    }
    EXPECT_TRUE(s2.Finished());
    EXPECT_EQ(Texts(s2), QStringList{DiskFullText(f->TempDir, file)});
    EXPECT_EQ(TSandbox::Read(file), before);
    EXPECT_TRUE(f->Dm->Modified());

    // Closing when the save fails asks once, and staying keeps the program open.
    QDir().mkpath(box.Path("files/.~keep.den"));
    TModalScript s3;
    s3.Press("Yes").Press("OK").Press("Cancel");
    EXPECT_FALSE(Close(*f));
    EXPECT_FALSE(f->StartingOrClosing);
    EXPECT_TRUE(s3.Finished());
    EXPECT_TRUE(Texts(s3).last().startsWith(U("Файл не может быть сохранён!\rСохранить данные в другой файл?")));
    QDir().rmdir(box.Path("files/.~keep.den"));
    TModalScript s4;
    s4.Press("Yes");
    EXPECT_TRUE(Close(*f));
    f.reset();
    auto g = Start({file});
    EXPECT_TRUE(HasAccount(*g, "X"));
    g->mCloseNotSaveClick(g.get());
}

TEST_F(ZorbMainRun, BadFilesGiveTheMessageAndLeaveNothingUnpacked)
{
    // A "PK" file that is no archive; a foreign archive; one whose entry escapes.
    TSandbox::Write(File("broken.den"), "PK\3\4 this is not an archive");
    const test::TChildRun py = test::RunChild("python3", {"-c",
                         "import zipfile,sys\n"
                         "z=zipfile.ZipFile(sys.argv[1],'w'); z.writestr('notes.txt','hello'); z.close()\n"
                         "z=zipfile.ZipFile(sys.argv[2],'w'); z.writestr('Zorbel.db','x'); "
                         "z.writestr('../../escaped.txt','evil'); z.close()\n"
                         "import sqlite3,os\n"
                         "db=os.path.join(os.path.dirname(sys.argv[3]),'Zorbel.db')\n"
                         "c=sqlite3.connect(db); c.execute('create table Tb_Account(Id_Account integer)'); "
                         "c.commit(); c.close()\n"
                         "z=zipfile.ZipFile(sys.argv[3],'w'); z.write(db,'Zorbel.db'); z.close(); os.remove(db)\n",
                         File("foreign.den"), File("escape.den"), File("tables.den")});
    ASSERT_TRUE(py.Finished);
    ASSERT_EQ(py.ExitCode, 0);
    const struct {
        const char *file;
        const char *message;
    } cases[] = {
        {"broken.den", "Ошибка распаковки файла данных!\r"}, // its directory cannot be read
        {"foreign.den", "Ошибка распаковки файла данных!\r"},
        {"escape.den", "Ошибка распаковки файла данных!\r"},
        {"tables.den", "Ошибка распаковки файла данных!\r"},
    };
    for (const auto &c : cases) {
        TModalScript script;
        script.Press("OK");
        auto f = Start({File(c.file)});
        EXPECT_FALSE(f->ReadyToRun()) << c.file;
        EXPECT_TRUE(script.Finished()) << c.file;
        EXPECT_TRUE(Texts(script).value(0).startsWith(U(c.message)))
            << c.file << ": " << Texts(script).join(" | ").toStdString();
        EXPECT_TRUE(Texts(script).value(0).endsWith("\r" + File(c.file))) << c.file; // which file failed
        EXPECT_TRUE(IsFolderEmpty(f->WorkDir)) << c.file;
        EXPECT_TRUE(IsFolderEmpty(f->TempDir + "ZORB_NEW")) << c.file;
    }
    EXPECT_FALSE(QFileInfo::exists(box.Path("tmp/escaped.txt")));
    EXPECT_FALSE(QFileInfo::exists(box.Path("escaped.txt")));

    // A file without the ".den" extension ends the program; a missing one does not.
    TSandbox::Write(File("data.zip"), "PK");
    TModalScript ext;
    ext.Press("OK");
    EXPECT_FALSE(Start({File("data.zip")})->ReadyToRun());
    EXPECT_EQ(Texts(ext), QStringList{U("Файл должен иметь расширение .den\r") + File("data.zip")});
    TModalScript missing;
    missing.Press("OK");
    auto f = Start({File("none.den")});
    EXPECT_TRUE(f->ReadyToRun());
    EXPECT_EQ(Texts(missing), QStringList{U("Файл отсутствует!\r") + File("none.den")});
    f->mCloseNotSaveClick(f.get());
}

TEST_F(ZorbMainRun, OpeningABadFileWhileRunningKeepsTheOpenDataSet)
{
    const QString good = MakeDataFile("good.den", "pw");
    const QString other = MakeDataFile("other.den", "secret");
    TModalScript open;
    open.Then(Password("pw"));
    auto f = Start({good});
    ASSERT_TRUE(f->ReadyToRun());
    AddAccount(*f, U("Несохранённый"));
    // A wrong password, then the box cancelled: the file is not opened, and
    // the open data set stays open and modified.
    TModalScript script;
    script.Then(Password("nope")).Press("OK").CloseWith(mrCancel).Press("OK");
    f->OpenPath(other);
    EXPECT_TRUE(script.Finished()) << Texts(script).join(" | ").toStdString();
    EXPECT_EQ(Texts(script).value(3), U("Файл не открыт: пароль не введён.\r") + other);
    EXPECT_TRUE(f->Dm->Tb_Account.Active());
    EXPECT_EQ(f->Caption(), good);
    EXPECT_EQ(f->FilePassword, "pw");
    EXPECT_TRUE(HasAccount(*f, U("Несохранённый")));
    EXPECT_TRUE(f->Dm->Modified());
    // The right password: the open data set is saved first, then replaced.
    TModalScript right;
    right.Then(Password("secret"));
    f->OpenPath(other);
    EXPECT_TRUE(right.Finished()) << Texts(right).join(" | ").toStdString();
    EXPECT_EQ(f->Caption(), other);
    EXPECT_EQ(f->FilePassword, "secret");
    EXPECT_FALSE(f->Dm->Modified());
    f->mCloseNotSaveClick(f.get());
    EXPECT_TRUE(ReopenedHoldsAccount(good, "pw", U("Несохранённый")));
}

TEST_F(ZorbMainRun, RecentFileAndSettingsSurviveARestart)
{
    const QString file = MakeDataFile("recent.den", QString());
    {
        auto f = Start({file});
        f->Mem_Sum = false;
        f->CSV = "t";
        f->CbPer->SetItemIndex(3);
        f->PanD->SetWidth(222);
        f->SetBounds(40, 50, 700, 500);
        f->FConfirm = false;
        TModalScript none;
        EXPECT_TRUE(Close(*f));
        EXPECT_TRUE(none.Finished());
    }
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(SettingsKey(), false));
        EXPECT_EQ(reg.ReadString("Recent_Catalog"), file);
        EXPECT_FALSE(reg.ReadBool("Mem_Sum"));
        reg.WriteString("Format_Prc", "broken"); // a value of the wrong kind
        reg.CloseKey();
    }
    auto f = Start();
    ASSERT_TRUE(f->ReadyToRun());
    EXPECT_EQ(f->Caption(), file);
    EXPECT_FALSE(f->Mem_Sum);
    EXPECT_EQ(f->CSV, "t");
    EXPECT_EQ(f->CbPer->ItemIndex(), 3);
    EXPECT_EQ(f->PanD->Width(), 222);
    EXPECT_EQ(QRect(f->Left(), f->Top(), f->Width(), f->Height()), QRect(40, 50, 700, 500));
    EXPECT_EQ(f->Format_Prc, 3);
    f->KeepRegistry = false;
    {
        // The settings cannot be dropped on a full disk: the user reads why in
        // Russian, and they stay for the next start.
        test::TFaultEnv env;
        env.FailCall(TSysOp::Write, 1, ENOSPC, true);
        TSysEnvScope scope(env);
        TModalScript full;
        full.Press("OK");
        EXPECT_TRUE(Close(*f));
        ASSERT_TRUE(full.Finished()) << Texts(full).join(" | ").toStdString();
        const QString notice = Texts(full).last();
        EXPECT_TRUE(notice.startsWith(U("Настройки не могут быть сохранены!"))) << notice.toStdString();
        QString words = notice;
        words.remove(TRegistry::DefaultFileName());
        EXPECT_FALSE(words.contains(QRegularExpression(QStringLiteral("[A-Za-z]{3}")))) << notice.toStdString();
    }
    {
        TRegistry reg;
        EXPECT_TRUE(reg.KeyExists(SettingsKey()));
    }
    f.reset();
    f = Start();
    ASSERT_TRUE(f->ReadyToRun());
    f->KeepRegistry = false;
    EXPECT_TRUE(Close(*f));
    TRegistry reg;
    EXPECT_FALSE(reg.KeyExists(SettingsKey()));
}

// Tab walks the tool bar left to right, then the tree and the ledger beside
// it, and Shift+Tab walks back.
TEST_F(ZorbMainRun, TabWalksTheToolBarThenTheTreeAndTheLedger)
{
    auto f = Start();
    f->Show();
    QApplication::setActiveWindow(f.get());
    f->ButExit->setFocus();
    // The control that has the focus (a grid's inner view counts as the grid).
    const auto focused = [] {
        QWidget *w = QApplication::focusWidget();
        while (w && w->objectName().isEmpty())
            w = w->parentWidget();
        return w ? w->objectName() : QString();
    };
    QStringList walk;
    for (int i = 0; i < 6; ++i) {
        SendKeyToFocus(*f, Qt::Key_Tab);
        walk << focused();
    }
    EXPECT_EQ(walk, (QStringList{"ButAcc", "ButDate", "CbPer", "ButResult", "TvCt", "DBG"}));
    SendKeyToFocus(*f, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(focused(), QStringLiteral("TvCt"));
    f->mCloseNotSaveClick(f.get());
}

TEST_F(ZorbMainRun, HelpShowsOnlyWithTheHelpFile)
{
    auto f = Start();
    EXPECT_FALSE(f->mManual->Visible());
    f->mCloseNotSaveClick(f.get());
    f.reset();
    TSandbox::Write(box.Path("program/Zorbel.Hlp"), "help");
    f = Start();
    EXPECT_TRUE(f->mManual->Visible());
    QString opened;
    f->OpenHelpFile = [&](const QString &name) {
        opened = name;
        return true;
    };
    f->mManualClick(f.get());
    EXPECT_EQ(opened, box.Path("program/Zorbel.Hlp"));
    f->mCloseNotSaveClick(f.get());
}

TEST_F(ZorbMainRun, ASecondInstanceIsRefused)
{
    TInstanceMutex first(QStringLiteral("Ventaro_Zorbel"));
    ASSERT_TRUE(first.Owned());
    TModalScript script;
    script.Press("OK");
    EXPECT_EQ(ZorbelMain({}, false), 1);
    EXPECT_EQ(Texts(script), QStringList{"Program is already running!"});
}

// Without a session folder the lock lives in the configuration folder, but
// the work folder in the temporary one: a copy started with another
// configuration folder must still not empty the tables of a running copy.
TEST_F(ZorbMainRun, ACopyWithAnotherConfigurationFolderIsRefusedToo)
{
    qunsetenv("XDG_RUNTIME_DIR");
    QString temp;
    TempFolder(temp);
    ASSERT_FALSE(temp.isEmpty());
    ASSERT_NE(QDir(temp).canonicalPath(), QDir(UserLockFolder()).canonicalPath());
    TInstanceMutex running(QStringLiteral("Ventaro_Zorbel"), temp);
    ASSERT_TRUE(running.Owned());
    const QString theirs = temp + QStringLiteral("ZORB_DAT/tb_hist.keep");
    QDir().mkpath(temp + QStringLiteral("ZORB_DAT"));
    TSandbox::Write(theirs, "their tables");
    TModalScript script;
    script.Press("OK");
    EXPECT_EQ(ZorbelMain({}, false), 1);
    EXPECT_EQ(Texts(script), QStringList{"Program is already running!"});
    EXPECT_TRUE(QFileInfo::exists(theirs)) << "the running copy's work folder";
}

TEST_F(ZorbMainRun, CloseWithoutSavingAsksOnlyWhenModified)
{
    auto f = Start();
    TModalScript none;
    f->mCloseNotSaveClick(f.get());
    EXPECT_TRUE(none.Finished());
    EXPECT_EQ(none.Seen().size(), 0u);
    f = Start();
    AddAccount(*f, "Y");
    TModalScript no;
    no.Press("No");
    f->mCloseNotSaveClick(f.get());
    EXPECT_EQ(Texts(no), QStringList{U("Закрыть программу без сохранения изменений?")});
    EXPECT_TRUE(f->Dm->Modified());
    TModalScript yes;
    yes.Press("Yes");
    f->mCloseNotSaveClick(f.get());
    EXPECT_FALSE(f->Dm->Modified());
}

} // namespace
} // namespace zorbel

namespace zorbel {
namespace {

TEST_F(ZorbMainRun, PasswordChangeAsksTwiceAndWarnsAboutLongOnes)
{
    auto f = Start();
    struct Case {
        QStringList answers; // first box, second box ("" when not shown)
        bool longWarning;
        const char *lastText;
        const char *password; // FilePassword afterwards
    } cases[] = {
        {{"abc", "abd"}, false, "Пароль не подтверждён, а потому не изменён!!!", ""},
        {{"", ""}, false, "Вы не ввели новый пароль!", ""},
        {{"abcdefgh", "abcdefgh"}, true, "Пароль изменён!", "abcdefgh"},
    };
    for (const Case &c : cases) {
        TModalScript script;
        script.Then(Password(c.answers[0]));
        if (c.longWarning)
            script.Press("Yes");
        if (QString::fromUtf8(c.lastText) != U("Вы не ввели новый пароль!"))
            script.Then(Password(c.answers[1]));
        script.Press("OK");
        const bool modifiedBefore = f->Dm->Modified();
        f->mPasswordClick(f.get());
        EXPECT_TRUE(script.Finished()) << Texts(script).join(" | ").toStdString();
        EXPECT_EQ(Texts(script).last(), U(c.lastText));
        EXPECT_EQ(f->FilePassword, c.password);
        EXPECT_EQ(f->Dm->Modified(), modifiedBefore || !QString(c.password).isEmpty());
    }
    // A long password refused at the warning changes nothing.
    TModalScript refused;
    refused.Then(Password("0123456789")).Press("No");
    f->mPasswordClick(f.get());
    EXPECT_EQ(f->FilePassword, "abcdefgh");
    f->mCloseNotSaveClick(f.get());
}

TEST_F(ZorbMainRun, CancellingTheFirstSaveWarnsOfLossWhenThereIsWork)
{
    auto f = Start();
    TTable &items = f->Dm->Tb_Items;
    items.Append();
    items.FieldByName("ITM")->SetAsString(U("Еда"));
    items.FieldByName("LEV")->SetAsInteger(0);
    items.Post();
    TModalScript script;
    script.Press("OK");
    f->mSaveClick(f.get()); // both dialogs cancelled: the user's choice, not a failure
    EXPECT_EQ(Texts(script), QStringList{U("Внимание! Данные будут утеряны! Сохраните свою работу!!!")});
    EXPECT_TRUE(f->Dm->Modified());
    // The second dialog may still name the file.
    TModalScript second;
    second.Press("OK");
    int asked = 0;
    f->ExecuteSaveDialog = [&](QString &name) {
        name = File("late.den");
        return ++asked == 2;
    };
    f->mSaveClick(f.get());
    EXPECT_TRUE(QFileInfo::exists(File("late.den")));
    EXPECT_FALSE(f->Dm->Modified());
    f->mCloseNotSaveClick(f.get());
}

TEST_F(ZorbMainRun, DroppedFileIsOpenedAndWheelOverCardEditsSendsKeys)
{
    const QString file = MakeDataFile("drop.den", QString());
    ForgetRecentFile();
    auto f = Start();
    ASSERT_FALSE(HasAccount(*f, U("Кошелёк")));
    f->WMDropFiles({file});
    EXPECT_EQ(f->Caption(), file);
    EXPECT_TRUE(HasAccount(*f, U("Кошелёк")));

    // A stand-in card with the sum box focused: the wheel becomes Up and Down.
    TForm card;
    TEdit *sum = new TEdit(&card, "DBESum");
    TEdit *other = new TEdit(&card, "EdOther");
    QStringList keys;
    sum->OnKeyDown = [&](TObject *, WORD &key, TShiftState) { keys << QString::number(key); };
    other->OnKeyDown = [&](TObject *, WORD &key, TShiftState) { keys << "other" + QString::number(key); };
    card.Show();
    QApplication::setActiveWindow(&card);
    sum->setFocus();
    QCoreApplication::processEvents();
    f->FormCard = &card;
    auto wheel = [](int dy) {
        return QWheelEvent(QPointF(1, 1), QPointF(1, 1), QPoint(), QPoint(0, dy), Qt::NoButton, Qt::NoModifier,
                           Qt::NoScrollPhase, false);
    };
    QWheelEvent up = wheel(120), down = wheel(-120);
    ASSERT_TRUE(sum->hasFocus());
    f->AppMessage(sum, &up);
    f->AppMessage(sum, &down);
    EXPECT_EQ(keys, (QStringList{"38", "40"}));
    other->setFocus();
    QCoreApplication::processEvents();
    ASSERT_TRUE(other->hasFocus());
    keys.clear();
    f->AppMessage(other, &up);
    EXPECT_TRUE(keys.isEmpty());
    f->FormCard = nullptr;
    f->mCloseNotSaveClick(f.get());
}

} // namespace
} // namespace zorbel

namespace zorbel {
namespace {

TEST_F(ZorbMainRun, OpeningTheOpenFileAgainShowsWhatWasJustSavedIntoIt)
{
    // With a password: it is asked once, after the changes went into the file.
    const QString file = MakeDataFile("same.den", "pw");
    TModalScript start;
    start.Then(Password("pw"));
    auto f = Start({file});
    ASSERT_TRUE(f->ReadyToRun());
    AddAccount(*f, U("Свежий"));
    TModalScript reopen;
    reopen.Then(Password("pw"));
    f->OpenPath(file);
    EXPECT_TRUE(reopen.Finished()) << Texts(reopen).join(" | ").toStdString();
    EXPECT_EQ(f->Caption(), file);
    EXPECT_TRUE(HasAccount(*f, U("Свежий")));
    EXPECT_FALSE(f->Dm->Modified());
    // Unchanged, and the password box cancelled: the open data set stays.
    TModalScript cancelled;
    cancelled.CloseWith(mrCancel).Press("OK");
    f->OpenPath(file);
    EXPECT_TRUE(cancelled.Finished()) << Texts(cancelled).join(" | ").toStdString();
    EXPECT_EQ(f->Caption(), file);
    EXPECT_EQ(f->FilePassword, "pw");
    EXPECT_TRUE(HasAccount(*f, U("Свежий")));

    // A new data set saved (in the save dialog) under the name of the file
    // being opened: the file is opened as it now is.
    const QString other = MakeDataFile("other.den", QString());
    TModalScript none;
    f->mNewClick(f.get());
    AddAccount(*f, U("Из нового"));
    saveAs = other;
    f->OpenPath(other);
    saveAs.clear();
    EXPECT_TRUE(none.Finished()) << Texts(none).join(" | ").toStdString();
    EXPECT_EQ(f->Caption(), other);
    EXPECT_TRUE(HasAccount(*f, U("Из нового")));
    f->mCloseNotSaveClick(f.get());
}

TEST_F(ZorbMainRun, AnUnwritableSettingsStoreStopsNeitherStartNorClose)
{
    // The settings folder cannot be made: a file holds its name.
    TSandbox::Write(box.Path("config/zorbel"), "not a folder");
    TModalScript start;
    auto f = Start();
    EXPECT_TRUE(start.Finished()) << Texts(start).join(" | ").toStdString();
    ASSERT_TRUE(f->ReadyToRun());
    EXPECT_TRUE(f->Mem_Sum);
    TModalScript closing;
    closing.Press("Yes").Press("OK");
    EXPECT_TRUE(Close(*f));
    EXPECT_TRUE(closing.Finished()) << Texts(closing).join(" | ").toStdString();
    EXPECT_TRUE(Texts(closing).last().startsWith(U("Настройки не могут быть сохранены!")));
}

TEST_F(ZorbMainRun, OneWheelTurnOverTheCardIsOneKey)
{
    auto f = Start();
    ASSERT_TRUE(f->ReadyToRun());
    TForm card;
    card.SetBounds(0, 0, 300, 200);
    TPanel *panel = new TPanel(&card, "PanEdits");
    panel->SetBounds(0, 0, 300, 200);
    TEdit *sum = new TEdit(panel, "DBESum");
    sum->SetBounds(10, 10, 100, 24);
    QStringList keys;
    sum->OnKeyDown = [&](TObject *, WORD &key, TShiftState) { keys << QString::number(key); };
    card.Show();
    QApplication::setActiveWindow(&card);
    sum->setFocus();
    QCoreApplication::processEvents();
    ASSERT_TRUE(sum->hasFocus());
    f->FormCard = &card;
    // The turn arrives at the window as from the system, over the panel, and
    // passes on to the widgets below the pointer.
    const QPointF at(150, 150);
    QWheelEvent up(at, card.mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                   Qt::NoScrollPhase, false);
    QWheelEvent down(at, card.mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                     Qt::NoScrollPhase, false);
    ASSERT_NE(card.windowHandle(), nullptr);
    QCoreApplication::sendEvent(card.windowHandle(), &up);
    QCoreApplication::sendEvent(card.windowHandle(), &down);
    EXPECT_EQ(keys, (QStringList{"38", "40"}));
    f->FormCard = nullptr;
    f->mCloseNotSaveClick(f.get());
}

TEST_F(ZorbMainRun, LastRealisedDateIsTheLatestRealisedOperationOfTheAccount)
{
    TModalScript none;
    auto f = Start();
    ASSERT_TRUE(f->ReadyToRun());
    f->EntryDate = EncodeDate(2030, 1, 1);
    EXPECT_EQ(f->LastRealisedDate(), EncodeDate(2030, 1, 1)); // no operations yet
    TTable &h = f->Dm->Tb_Hist;
    const struct {
        int y, m, d;
        const char *kind;
    } rows[] = {{2024, 3, 5, "1"}, {2024, 7, 9, "1"}, {2025, 1, 2, "2"}};
    for (const auto &r : rows) {
        h.Insert();
        h.FieldByName("Date_Real")->SetAsDateTime(EncodeDate(r.y, r.m, r.d));
        h.FieldByName("Kind")->SetAsString(r.kind);
        h.FieldByName("Ct")->SetAsFloat(1);
        h.Post();
    }
    EXPECT_EQ(f->LastRealisedDate(), EncodeDate(2024, 7, 9));
    EXPECT_TRUE(none.Finished()) << Texts(none).join(" | ").toStdString();
    f->Dm->SetModified(false);
    f->mCloseNotSaveClick(f.get());
}

} // namespace
} // namespace zorbel
