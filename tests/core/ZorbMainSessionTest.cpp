// The data file as a user meets it across sessions: a new data set tied to
// the file it was saved to, cancelling without errors, password characters,
// the end of a desktop session, a failed start, window bounds, damaged
// settings, Qt's own texts, and packing on close with a failure.
#include "ZorbMainRun.h"
#include "core/TulnCommon.h"
#include "platform/system/Registry.h"
#include "platform/system/SysFiles.h"
#include "support/FaultEnv.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include <csignal>
#include <sys/stat.h>

namespace zorbel {
namespace {

int ModeOf(const QString &file)
{
    struct stat st {};
    return ::stat(QFile::encodeName(file).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

QString RecentSetting()
{
    TRegistry reg;
    return reg.OpenKey(SettingsKey(), false) ? reg.ReadString("Recent_Catalog") : QString();
}

TEST_F(ZorbMainRun, ANewDataSetSavedOnceStaysTiedToItsFile)
{
    auto f = Start();
    ASSERT_TRUE(f->ReadyToRun());
    AddAccount(*f, U("Кошелёк"));
    saveAs = File("tied.den");
    f->mSaveClick(f.get());
    EXPECT_EQ(f->Caption(), File("tied.den"));
    EXPECT_EQ(ModeOf(File("tied.den")), 0600);

    // The next save asks no name: the dialog would answer nothing now.
    saveAs.clear();
    AddAccount(*f, U("Карта"));
    TModalScript none;
    f->mSaveClick(f.get());
    EXPECT_TRUE(none.Seen().empty()) << Texts(none).join(" | ").toStdString();
    EXPECT_FALSE(f->Dm->Modified());
    EXPECT_TRUE(QFileInfo::exists(File("tied.bak")));
    f->FConfirm = false;
    EXPECT_TRUE(Close(*f));
    f.reset();
    EXPECT_EQ(RecentSetting(), File("tied.den"));

    // What a save killed on the way left behind goes at the next start.
    const QStringList leftovers{File(".~tied.den"), File(".~tied.den.Xy12ab"),
                                box.Path("runtime/zorbel/KPZa1b2c3.tmp")};
    for (const QString &name : leftovers)
        TSandbox::Write(name, "half");

    // The next start shows the data, not an empty data set.
    f = Start();
    EXPECT_EQ(f->Caption(), File("tied.den"));
    EXPECT_TRUE(HasAccount(*f, U("Карта")));
    for (const QString &name : leftovers)
        EXPECT_FALSE(QFileInfo::exists(name)) << name.toStdString();
    f->mCloseNotSaveClick(f.get());
    f.reset();

    // A new data set saved only when the program closes is offered next time too.
    ForgetRecentFile();
    f = Start();
    EXPECT_TRUE(f->Caption().isEmpty());
    AddAccount(*f, U("Наличные"));
    saveAs = File("closing.den");
    f->FConfirm = false;
    EXPECT_TRUE(Close(*f));
    f.reset();
    EXPECT_EQ(RecentSetting(), File("closing.den"));
    f = Start();
    EXPECT_EQ(f->Caption(), File("closing.den"));
    EXPECT_TRUE(HasAccount(*f, U("Наличные")));
    f->mCloseNotSaveClick(f.get());
}

TEST_F(ZorbMainRun, CancellingADialogIsNoError)
{
    auto f = Start();
    AddAccount(*f, U("Кошелёк"));
    {
        TModalScript none;
        f->mSaveClick(f.get());
        f->mSaveAsClick(f.get());
        EXPECT_TRUE(none.Seen().empty()) << Texts(none).join(" | ").toStdString();
        EXPECT_TRUE(f->Dm->Modified());
    }
    TModalScript closing;
    closing.Press("Yes").Press("Yes");
    EXPECT_TRUE(Close(*f));
    EXPECT_EQ(Texts(closing).value(1), U("Данные не сохранены! Закрыть их без сохранения изменений?"));
    f.reset();

    // Cancelling the password box: the file is not opened, which is no
    // damage of the file, and it is still the one offered next time.
    const QString file = MakeDataFile("locked.den", "pw");
    ASSERT_EQ(RecentSetting(), file);
    TModalScript cancelled;
    cancelled.CloseWith(mrCancel).Press("OK");
    f = Start();
    EXPECT_TRUE(cancelled.Finished()) << Texts(cancelled).join(" | ").toStdString();
    EXPECT_EQ(Texts(cancelled).value(1), U("Файл не открыт: пароль не введён.\r") + file);
    ASSERT_TRUE(f->ReadyToRun());
    EXPECT_TRUE(f->Caption().isEmpty());
    f->FConfirm = false;
    EXPECT_TRUE(Close(*f));
    f.reset();
    EXPECT_EQ(RecentSetting(), file);
}

TEST_F(ZorbMainRun, PasswordsWithCharactersOutsideTheCodePageAreRefused)
{
    EXPECT_EQ(PasswordCharsOutsideCodePage(U("aё€Ж?密码密😀")), U("密码😀"));
    EXPECT_TRUE(PasswordCharsOutsideCodePage(U("Пароль №1 €")).isEmpty());
    auto f = Start();
    TModalScript script;
    script.Then(Password(U("密码"))).Press("OK");
    f->mPasswordClick(f.get());
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(Texts(script).value(1), U("Эти символы нельзя использовать в пароле: 密 (U+5BC6), 码 (U+7801)\rПароль не изменён."));
    EXPECT_TRUE(f->FilePassword.isEmpty());
    EXPECT_FALSE(f->Dm->Modified());
    f->mCloseNotSaveClick(f.get());
}

// A terminating signal during the message loop: the data set is saved with
// its password, nothing is asked, the work folder is emptied, the run ends well.
TEST_F(ZorbMainRun, ATerminatingSignalClosesWithoutQuestionsAndSaves)
{
    const QString file = MakeDataFile("term.den", "pw");
    const QByteArray before = TSandbox::Read(file);
    TModalScript script;
    script.Then(Password("pw"));
    QString work;
    bool raised = false;
    QTimer::singleShot(50, [&] {
        auto *form = dynamic_cast<TFormMain *>(Application().MainForm());
        ASSERT_NE(form, nullptr);
        work = form->WorkDir;
        AddAccount(*form, U("До выхода"));
        raised = ::raise(SIGTERM) == 0;
    });
    const int rc = ZorbelMain({file}, true);
    EXPECT_TRUE(raised);
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(script.Finished()) << Texts(script).join(" | ").toStdString();
    EXPECT_NE(TSandbox::Read(file), before);
    EXPECT_FALSE(work.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(work + "/Zorbel.db"));

    EXPECT_TRUE(ReopenedHoldsAccount(file, "pw", U("До выхода")));
}

TEST_F(ZorbMainRun, AFailedStartEndsWithAnErrorCode)
{
    TSandbox::Write(File("bad.den"), "not an archive");
    TModalScript script;
    script.Press("OK");
    EXPECT_EQ(ZorbelMain({File("bad.den")}, false), 1);
    EXPECT_EQ(Texts(script), QStringList{U("Неверный формат файла\r") + File("bad.den")});
}

TEST(ZorbMainBounds, StoredBoundsAreKeptOnAScreen)
{
    const QList<QRect> areas{QRect(0, 0, 1920, 1050), QRect(1920, 0, 1280, 1024)};
    const QSize fallback(804, 544);
    EXPECT_EQ(ClampWindowBounds(QRect(5000, 5000, 30000, -10), areas, fallback), QRect(0, 506, 1920, 544));
    EXPECT_EQ(ClampWindowBounds(QRect(2000, 100, 800, 600), areas, fallback), QRect(2000, 100, 800, 600));
    EXPECT_EQ(ClampWindowBounds(QRect(3100, -40, 800, 600), areas, fallback), QRect(2400, 0, 800, 600));
    EXPECT_EQ(ClampWindowBounds(QRect(-300, 20, 0, 0), areas, fallback), QRect(0, 20, 804, 544));
    EXPECT_EQ(ClampWindowBounds(QRect(10, 10, 0, 5), {}, fallback), QRect(10, 10, 804, 5));
}

// Negative positions in the settings (a window once dragged off the left or
// top edge, or a minimised one's -32000 as another system stores it) put
// neither the main window nor a window it opens off the screen.
TEST_F(ZorbMainRun, NegativeStoredPositionsComeBackOnScreen)
{
    {
        TRegistry reg;
        reg.OpenKey(SettingsKey(), true);
        reg.WriteInteger("Left", -32000);
        reg.WriteInteger("Top", -32000);
        reg.WriteInteger("Width", 800);
        reg.WriteInteger("Height", 500);
        reg.WriteInteger("Com_Left", -32000);
        reg.WriteInteger("Com_Top", -700);
        reg.CloseKey();
    }
    auto f = Start();
    f->Show();
    QCoreApplication::processEvents();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(screen.contains(f->frameGeometry().topLeft())) << f->x() << "," << f->y();
    EXPECT_TRUE(screen.intersects(f->frameGeometry()));
    QPoint common(-1, -1);
    bool shown = false;
    TModalScript script;
    script.Then([&](TForm &w) {
        shown = true;
        common = w.frameGeometry().topLeft();
        w.SetModalResult(mrCancel);
    });
    f->mAboutClick(f.get());
    EXPECT_TRUE(shown);
    EXPECT_TRUE(screen.contains(common)) << common.x() << "," << common.y();
    f->mCloseNotSaveClick(f.get());
}

TEST_F(ZorbMainRun, WindowBoundsOffEveryScreenComeBackOnScreen)
{
    {
        TRegistry reg;
        reg.OpenKey(SettingsKey(), true);
        reg.WriteInteger("Left", 5000);
        reg.WriteInteger("Top", 5000);
        reg.WriteInteger("Width", 30000);
        reg.WriteInteger("Height", -10);
        reg.CloseKey();
    }
    auto f = Start();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect bounds(f->Left(), f->Top(), f->Width(), f->Height());
    EXPECT_TRUE(screen.contains(bounds)) << bounds.x() << "," << bounds.y() << " " << bounds.width() << "x"
                                         << bounds.height();
    EXPECT_GT(bounds.height(), 0);
    // What is saved is what the next start restores.
    f->SetBounds(screen.left() + 30, screen.top() + 40, 640, 480);
    const QRect saved = f->geometry();
    f->FConfirm = false;
    EXPECT_TRUE(Close(*f));
    f.reset();
    f = Start();
    EXPECT_EQ(f->geometry().size(), saved.size());
    EXPECT_EQ(f->pos(), QPoint(screen.left() + 30, screen.top() + 40));
    f->mCloseNotSaveClick(f.get());
}

TEST_F(ZorbMainRun, AFramedWindowKeepsItsSizeFromSessionToSession)
{
    // Under a window manager every form has a frame (title bar and borders);
    // the bounds stored at the end come back at the next start, frame and all.
    TForm::NoteFrame(QMargins(1, 20, 1, 5));
    struct Reset {
        ~Reset() { TForm::NoteFrame(QMargins()); }
    } reset;
    auto f = Start();
    ASSERT_FALSE(f->FrameMargins().isNull());
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    f->SetBounds(screen.left() + 30, screen.top() + 40, 640, 480);
    const QSize client = f->geometry().size();
    const QSize outer(f->Width(), f->Height());
    for (int session = 0; session < 3; ++session) {
        f->FConfirm = false;
        EXPECT_TRUE(Close(*f));
        f.reset();
        f = Start();
        EXPECT_EQ(f->geometry().size(), client) << "session " << session;
        EXPECT_EQ(QSize(f->Width(), f->Height()), outer) << "session " << session;
    }
    f->mCloseNotSaveClick(f.get());
}

TEST_F(ZorbMainRun, DamagedSettingsAreKeptAsideAndTheUserToldOnce)
{
    const QString store = TRegistry::DefaultFileName();
    QDir().mkpath(QFileInfo(store).absolutePath());
    TSandbox::Write(store, "{\"format\": \"zorbel-registry 1\", \"keys\": {\"Software\\\\Ven");
    test::TFaultEnv env;
    env.SetNow(QDateTime(QDate(2026, 3, 1), QTime(10, 15, 0)));
    TSysEnvScope scope(env);
    TModalScript told;
    told.Press("OK");
    auto f = Start();
    EXPECT_TRUE(told.Finished());
    const QString kept = store + ".damaged-20260301-101500";
    EXPECT_EQ(Texts(told).value(0),
              U("Файл настроек повреждён и не может быть прочитан. Используются настройки по умолчанию.\r"
                "Повреждённый файл сохранён как\r") +
                  kept);
    EXPECT_EQ(TSandbox::Read(kept).left(10), QByteArray("{\"format\":"));
    ASSERT_TRUE(f->ReadyToRun());
    f->FConfirm = false;
    EXPECT_TRUE(Close(*f));
    f.reset();
    TModalScript none;
    f = Start();
    EXPECT_TRUE(none.Seen().empty()) << Texts(none).join(" | ").toStdString();
    f->mCloseNotSaveClick(f.get());
}

TEST(ZorbMainTexts, QtsOwnDialogsSpeakRussian)
{
    ASSERT_TRUE(InstallQtTranslations());
    EXPECT_TRUE(InstallQtTranslations()); // once is enough
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "File &name:"), U("&Имя файла:"));
}

TEST_F(ZorbMainRun, PackingOnCloseNeverDamagesTheDataFile)
{
    const QString file = MakeDataFile("pack.den", "pw");
    ::chmod(QFile::encodeName(file).constData(), 0640);
    TModalScript open;
    open.Then(Password("pw")).Then(Password("pw"));
    auto f = Start({file});
    ASSERT_TRUE(f->ReadyToRun());
    const QByteArray before = TSandbox::Read(file);
    for (TSysOp op : {TSysOp::Write, TSysOp::Rename}) {
        f->PackOnClose = true;
        {
            test::TFaultEnv env;
            env.FailCall(op, 1, ENOSPC, true);
            TSysEnvScope scope(env);
            f->PackAndRezip();
        }
        EXPECT_EQ(TSandbox::Read(file), before);
        EXPECT_FALSE(f->PackOnClose);
        EXPECT_FALSE(QFileInfo::exists(f->TempDir + "~~.bak"));
    }
    f->PackOnClose = true;
    f->PackAndRezip();
    EXPECT_NE(TSandbox::Read(file), before);
    EXPECT_EQ(ModeOf(file), 0640);
    f.reset();
    auto g = Start({file});
    EXPECT_TRUE(open.Finished()) << Texts(open).join(" | ").toStdString();
    EXPECT_TRUE(HasAccount(*g, U("Кошелёк")));
    g->mCloseNotSaveClick(g.get());
}

} // namespace
} // namespace zorbel
