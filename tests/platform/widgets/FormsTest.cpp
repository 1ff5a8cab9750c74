// Modal showing through the hook, dialog keys, key preview, exceptions in
// handlers, and nested modal windows.
#include "platform/widgets/ModalScript.h"
#include "platform/widgets/StdCtrls.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace zorbel {
namespace {

// A small dialog: an edit, OK (default) and Cancel (cancel) buttons, and a
// plain button that records its clicks.
class TTestDialog : public TForm {
public:
    TTestDialog()
    {
        SetName(QStringLiteral("TestDialog"));
        SetCaption(QStringLiteral("Проба"));
        resize(300, 120);
        Ed = new TEdit(this, QStringLiteral("Ed"));
        Ed->SetBounds(8, 8, 200, 24);
        ButOk = new TButton(this, QStringLiteral("ButOk"));
        ButOk->SetCaption(QStringLiteral("OK"));
        ButOk->SetModalResult(mrOk);
        ButOk->SetDefault(true);
        ButOk->SetBounds(8, 80, 75, 25);
        ButCancel = new TButton(this, QStringLiteral("ButCancel"));
        ButCancel->SetCaption(QStringLiteral("Отмена"));
        ButCancel->SetModalResult(mrCancel);
        ButCancel->SetCancel(true);
        ButCancel->SetBounds(90, 80, 75, 25);
        ButOther = new TButton(this, QStringLiteral("ButOther"));
        ButOther->SetCaption(QStringLiteral("Другое"));
        ButOther->SetBounds(172, 80, 75, 25);
        ButOther->OnClick = [this](TObject *) { ++OtherClicks; };
        SetActiveControl(Ed);
        DoCreate();
    }
    ~TTestDialog() override { DoDestroy(); }

    TEdit *Ed;
    TButton *ButOk, *ButCancel, *ButOther;
    int OtherClicks = 0;
};

TEST(ModalTest, ScriptAnswersWithButtonsAndResults)
{
    TTestDialog dialog;
    TModalScript script;
    script.Press(QStringLiteral("ButOk")).Press(QStringLiteral("ButCancel")).CloseWith(mrYes).CloseFromTitleBar();
    EXPECT_EQ(dialog.ShowModal(), mrOk);
    EXPECT_EQ(dialog.ShowModal(), mrCancel);
    EXPECT_EQ(dialog.ShowModal(), mrYes);
    EXPECT_EQ(dialog.ShowModal(), mrCancel);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(script.Finished()) << script.Errors().join('\n').toStdString();
    ASSERT_EQ(script.Seen().size(), 4u);
    EXPECT_EQ(script.Seen()[0].Caption, QStringLiteral("Проба"));
    EXPECT_EQ(script.Seen()[2].Result, mrYes);
}

TEST(ModalTest, RealKeysAndClicksReachTheButtons)
{
    TTestDialog dialog;
    TModalScript script;
    // Enter in the edit goes to the default button, Escape to the cancel button.
    script.Then([](TForm &f) { SendKeyToFocus(f, Qt::Key_Return); });
    script.Then([](TForm &f) { SendKeyToFocus(f, Qt::Key_Escape); });
    // Enter on a focused plain button clicks that button, not the default one.
    script.Then([&](TForm &f) {
        dialog.ButOther->setFocus();
        SendKey(dialog.ButOther, Qt::Key_Return);
        EXPECT_EQ(dialog.OtherClicks, 1);
        EXPECT_EQ(f.ModalResult(), mrNone);
        SendClick(dialog.ButCancel);
    });
    script.Then([&](TForm &) { SendClick(dialog.ButOk); });
    EXPECT_EQ(dialog.ShowModal(), mrOk);
    EXPECT_EQ(dialog.ShowModal(), mrCancel);
    EXPECT_EQ(dialog.ShowModal(), mrCancel);
    EXPECT_EQ(dialog.ShowModal(), mrOk);
    EXPECT_TRUE(script.Finished()) << script.Errors().join('\n').toStdString();
}

TEST(ModalTest, CloseQueryAndOnCloseCanKeepTheWindowOpen)
{
    TTestDialog dialog;
    bool allow = false;
    int closes = 0;
    dialog.OnCloseQuery = [&](TObject *, bool &canClose) { canClose = allow; };
    dialog.OnClose = [&](TObject *, TCloseAction &) { ++closes; };
    TModalScript script;
    script.Then([&](TForm &f) {
        dialog.ButOk->Click();
        EXPECT_EQ(f.ModalResult(), mrNone); // refused: still open
        EXPECT_TRUE(f.isVisible());
        allow = true;
        dialog.ButOk->Click();
    });
    EXPECT_EQ(dialog.ShowModal(), mrOk);
    EXPECT_EQ(closes, 1);

    // OnClose with caNone refuses as well.
    dialog.OnClose = [&](TObject *, TCloseAction &action) { action = TCloseAction::caNone; };
    script.Then([&](TForm &f) {
        dialog.ButOk->Click();
        EXPECT_EQ(f.ModalResult(), mrNone);
    });
    // Left open by its step: closed with Cancel and reported, never hanging.
    EXPECT_EQ(dialog.ShowModal(), mrCancel);
    EXPECT_EQ(script.Errors().size(), 1);
}

TEST(ModalTest, HandlerResettingModalResultKeepsTheWindowOpen)
{
    TTestDialog dialog;
    bool valid = false;
    // A validating OK handler: the button set ModalResult first, the handler clears it.
    dialog.ButOk->OnClick = [&](TObject *) {
        if (!valid)
            dialog.SetModalResult(mrNone);
    };
    TModalScript script;
    script.Then([&](TForm &f) {
        SendKeyToFocus(f, Qt::Key_Return);
        EXPECT_TRUE(f.isVisible());
        valid = true;
        SendKeyToFocus(f, Qt::Key_Return);
    });
    // The same with the mouse.
    script.Then([&](TForm &f) {
        valid = false;
        SendClick(dialog.ButOk);
        EXPECT_TRUE(f.isVisible());
        EXPECT_EQ(f.ModalResult(), mrNone);
        valid = true;
        SendClick(dialog.ButOk);
    });
    EXPECT_EQ(dialog.ShowModal(), mrOk);
    EXPECT_EQ(dialog.ShowModal(), mrOk);
    EXPECT_TRUE(script.Finished());
}

TEST(ModalTest, UnexpectedWindowIsClosedAndReported)
{
    TTestDialog dialog;
    TModalScript script;
    EXPECT_EQ(dialog.ShowModal(), mrCancel);
    EXPECT_FALSE(script.Finished());
    ASSERT_EQ(script.Errors().size(), 1);
    EXPECT_TRUE(script.Errors()[0].contains(QStringLiteral("Проба")));
}

TEST(ModalTest, DialogOpenedFromAModalWindowTakesTheNextStep)
{
    TTestDialog outer;
    int innerResult = -1;
    outer.ButOther->OnClick = [&](TObject *) {
        TTestDialog inner;
        inner.SetCaption(QStringLiteral("Внутреннее"));
        innerResult = inner.ShowModal();
    };
    TModalScript script;
    script.Then([&](TForm &) {
        SendClick(outer.ButOther);
        EXPECT_EQ(innerResult, mrCancel);
        EXPECT_TRUE(outer.isVisible());
        SendKeyToFocus(outer, Qt::Key_Return);
    });
    script.Then([](TForm &f) {
        EXPECT_EQ(f.Caption(), QStringLiteral("Внутреннее"));
        SendKeyToFocus(f, Qt::Key_Escape);
    });
    EXPECT_EQ(outer.ShowModal(), mrOk);
    EXPECT_TRUE(script.Finished()) << script.Errors().join('\n').toStdString();
    ASSERT_EQ(script.Seen().size(), 2u);
    EXPECT_EQ(script.Seen()[1].Caption, QStringLiteral("Внутреннее"));
}

// Stored bounds include the window frame. A form not yet shown has none of
// its own, so it counts the frame last seen around a shown form: bounds
// stored from a shown dialog restore to the same size the next time instead
// of growing by the title bar at every opening.
TEST(FormBoundsTest, AHiddenFormCountsTheFrameLastSeen)
{
    TForm::NoteFrame(QMargins(4, 23, 4, 6));
    {
        TTestDialog dialog;
        dialog.SetBounds(10, 20, 400, 300);
        EXPECT_EQ(dialog.width(), 392);
        EXPECT_EQ(dialog.height(), 271);
        EXPECT_EQ(dialog.Width(), 400);
        EXPECT_EQ(dialog.Height(), 300);
        dialog.SetBounds(dialog.Left(), dialog.Top(), dialog.Width(), dialog.Height());
        EXPECT_EQ(dialog.Height(), 300) << "a stored size comes back unchanged";
        // A window without a frame (a drop-down picker) never gets one.
        dialog.SetBorderStyle(TFormBorderStyle::bsNone);
        dialog.SetBounds(10, 20, 120, 150);
        EXPECT_EQ(dialog.size(), QSize(120, 150));
    }
    // With no frame seen yet (the first window of a run), the size asked for
    // gets the form's own frame once the form has one.
    TForm::NoteFrame(QMargins());
    TTestDialog shown;
    shown.SetBounds(0, 0, 400, 300);
    shown.show();
    QApplication::processEvents();
    ASSERT_NE(shown.frameGeometry(), shown.geometry()) << "the offscreen platform frames this window";
    EXPECT_EQ(shown.frameGeometry().size(), QSize(400, 300));
    EXPECT_EQ(shown.Height(), 300);
    // A framed form goes by its own frame.
    TForm::NoteFrame(QMargins(40, 40, 40, 40));
    shown.SetBounds(0, 0, 500, 350);
    EXPECT_EQ(shown.frameGeometry().size(), QSize(500, 350));
    TForm::NoteFrame(QMargins());
}

// Records whether Qt blocked a window behind a modal one.
class TBlockWatch : public QObject {
public:
    bool Blocked = false;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::WindowBlocked)
            Blocked = true;
        else if (e->type() == QEvent::WindowUnblocked)
            Blocked = false;
        return false;
    }
};

// A dialog narrower than its caption needs is widened when it shows, so a
// window manager does not cut the title; a wide one and a sizeable window
// keep their widths.
TEST(ModalTest, ADialogIsAtLeastAsWideAsItsCaption)
{
    struct TCase {
        TFormBorderStyle Style;
        int Width;
        const char *Caption;
        bool Widened;
        bool Modal = true; // else shown as the start-up's splash is
    };
    for (const TCase &c : {TCase{TFormBorderStyle::bsDialog, 200, "Повторите пароль!", true},
                           TCase{TFormBorderStyle::bsDialog, 200, "Пароль для файла Семья.den", true},
                           TCase{TFormBorderStyle::bsDialog, 600, "Повторите пароль!", false},
                           TCase{TFormBorderStyle::bsSizeable, 200, "Пароль для файла Семья.den", false},
                           TCase{TFormBorderStyle::bsDialog, 200, "  11 декабря 2026 г.   пятница", true, false},
                           TCase{TFormBorderStyle::bsSizeable, 200, "  11 декабря 2026 г.   пятница", false, false}}) {
        TForm form;
        form.SetBorderStyle(c.Style);
        form.SetCaption(QString::fromUtf8(c.Caption));
        form.SetWidth(c.Width);
        ASSERT_GT(form.CaptionWidth(), 200) << c.Caption;
        int shown = 0;
        if (c.Modal) {
            TModalScript script;
            script.Then([&](TForm &f) {
                shown = f.Width();
                f.SetModalResult(mrOk);
            });
            form.ShowModal();
        } else {
            form.Show();
            QCoreApplication::processEvents();
            shown = form.Width();
            form.hide();
        }
        // (A shown form counts its own frame, a few pixels off the one assumed.)
        if (c.Widened)
            EXPECT_GE(shown, form.CaptionWidth()) << c.Caption;
        else
            EXPECT_NEAR(shown, c.Width, 8) << c.Caption;
    }
}

// A 1600x1000 screen at a scale factor of 2 leaves 800x500 for windows: one
// designed larger opens within the free area, one that fits keeps its size.
// The scale factor and the screen are fixed when the application starts, so
// the checks run in a second run of this test program.
TEST(FormBoundsTest, WindowsFitTheScreenAtAScaleFactorOfTwo)
{
    if (qEnvironmentVariableIsEmpty("ZORBEL_SCALED_SCREEN")) {
        QTemporaryDir dir;
        const QString config = dir.filePath(QStringLiteral("screen.json"));
        QFile file(config);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(R"({"screens": [{"name": "small", "x": 0, "y": 0, "width": 1600, "height": 1000,
                       "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
        file.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ZORBEL_SCALED_SCREEN"), QStringLiteral("1"));
        env.insert(QStringLiteral("QT_SCALE_FACTOR"), QStringLiteral("2"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen:configfile=") + config);
        QProcess child;
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_filter=FormBoundsTest.WindowsFitTheScreenAtAScaleFactorOfTwo")});
        ASSERT_TRUE(child.waitForFinished(60000));
        const QByteArray output = child.readAll();
        EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
        EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
        return;
    }
    const QScreen *screen = QGuiApplication::primaryScreen();
    ASSERT_EQ(screen->devicePixelRatio(), 2.0);
    const QRect area = screen->availableGeometry();
    ASSERT_EQ(area, QRect(0, 0, 800, 500));

    TForm large;
    large.SetBounds(100, 50, 842, 547); // the results window's designed size
    large.show();
    EXPECT_TRUE(area.contains(large.frameGeometry())) << large.Width() << "x" << large.Height();
    // Sized again while shown, as windows do with remembered bounds.
    large.SetBounds(-300, 200, 2000, 1500);
    EXPECT_TRUE(area.contains(large.frameGeometry())) << large.Width() << "x" << large.Height();

    TForm dialog;
    dialog.SetBorderStyle(TFormBorderStyle::bsDialog);
    dialog.SetPosition(TPosition::poScreenCenter);
    dialog.SetBounds(0, 0, 900, 520);
    dialog.show();
    EXPECT_TRUE(area.contains(dialog.frameGeometry()));
    EXPECT_EQ(dialog.maximumSize(), dialog.size()); // still of fixed size

    TForm small;
    small.SetBounds(700, 450, 300, 200);
    small.show();
    EXPECT_EQ(QSize(small.Width(), small.Height()), QSize(300, 200)); // fits: as designed
    EXPECT_TRUE(area.contains(small.frameGeometry()));
}

TEST(ModalTest, WindowShownFromAModalWindowIsNotBlockedByIt)
{
    // A modeless window opened while a modal one is up (a print preview of
    // a modal results window) takes input and sits above the modal window.
    TTestDialog outer;
    auto *preview = new TTestDialog;
    preview->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<TTestDialog> alive(preview);
    TBlockWatch watch;
    preview->installEventFilter(&watch);
    bool blockedWhileUp = true;
    TModalScript script;
    script.Then([&](TForm &) {
        preview->Show();
        QApplication::processEvents();
        blockedWhileUp = watch.Blocked;
        EXPECT_TRUE(preview->isWindow());
        // The window manager keeps it above the modal window it belongs to.
        ASSERT_TRUE(preview->windowHandle());
        EXPECT_EQ(preview->windowHandle()->transientParent(), outer.windowHandle());
        preview->Close();
        SendKeyToFocus(outer, Qt::Key_Return);
    });
    EXPECT_EQ(outer.ShowModal(), mrOk);
    EXPECT_FALSE(blockedWhileUp);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(alive.isNull());
}

TEST(ModalTest, FormEventsFireAroundShowing)
{
    TTestDialog dialog;
    QStringList events;
    dialog.OnShow = [&](TObject *) { events << QStringLiteral("show"); };
    dialog.OnClose = [&](TObject *, TCloseAction &) { events << QStringLiteral("close"); };
    dialog.OnHide = [&](TObject *) { events << QStringLiteral("hide"); };
    TModalScript script;
    script.Then([&](TForm &f) {
        events << QStringLiteral("step");
        EXPECT_TRUE(f.Modal());
        f.SetModalResult(mrNo);
    });
    EXPECT_EQ(dialog.ShowModal(), mrNo);
    EXPECT_EQ(events, (QStringList{"show", "step", "close", "hide"}));
    EXPECT_FALSE(dialog.Modal());
}

TEST(DispatchTest, ExceptionInHandlerIsShownAndEAbortIsSilent)
{
    TTestDialog dialog;
    Application().SetTitle(QStringLiteral("Zorbel"));
    dialog.ButOther->OnClick = [](TObject *) { throw EConvertError(QStringLiteral("Неверное число")); };
    TModalScript script;
    script.Press(QStringLiteral("OK"));
    dialog.ButOther->Click(); // not modal: the error box is the only window
    ASSERT_EQ(script.Seen().size(), 1u);
    EXPECT_EQ(script.Seen()[0].Caption, QStringLiteral("Zorbel"));
    EXPECT_EQ(script.Seen()[0].Text, QStringLiteral("Неверное число."));
    EXPECT_TRUE(script.Finished());

    dialog.ButOther->OnClick = [](TObject *) { Abort(); };
    dialog.ButOther->Click();
    EXPECT_EQ(script.Seen().size(), 1u); // nothing shown

    // Text that ends in punctuation gets no extra full stop; the window
    // whose handler failed stays usable.
    dialog.ButOther->OnClick = [](TObject *) { throw Exception(QStringLiteral("Файл не найден!")); };
    script.Then([&](TForm &f) {
        SendClick(dialog.ButOther); // the error box opens from inside this window
        EXPECT_TRUE(f.isVisible());
        SendKeyToFocus(f, Qt::Key_Return);
    });
    script.Press(QStringLiteral("OK"));
    EXPECT_EQ(dialog.ShowModal(), mrOk);
    ASSERT_EQ(script.Seen().size(), 3u);
    EXPECT_EQ(script.Seen()[2].Text, QStringLiteral("Файл не найден!"));
    EXPECT_EQ(script.Seen()[2].Result, mrOk);
    EXPECT_TRUE(script.Finished()) << script.Errors().join('\n').toStdString();
}

TEST(DispatchTest, ExceptionOnExceptionHookReceivesIt)
{
    QString seen;
    Application().OnException = [&](TObject *, const Exception &e) { seen = e.Message(); };
    EXPECT_FALSE(DispatchEvent([] { throw EDatabaseError(QStringLiteral("Table is busy")); }));
    EXPECT_TRUE(DispatchEvent([] {}));
    Application().OnException = nullptr;
    EXPECT_EQ(seen, QStringLiteral("Table is busy"));
}

// Key preview: the form sees keys first and may swallow them.
class TKeyForm : public TForm {
public:
    TKeyForm()
    {
        resize(200, 100);
        Ed = new TEdit(this, QStringLiteral("Ed"));
        Ed->SetBounds(4, 4, 150, 24);
        Ed->OnKeyDown = [this](TObject *, WORD &key, TShiftState) { Log << QStringLiteral("ed-down %1").arg(key); };
        Ed->OnKeyPress = [this](TObject *, QChar &key) {
            Log << QStringLiteral("ed-press %1").arg(key);
            if (key == QLatin1Char('.'))
                key = QLatin1Char(','); // decimal separator
        };
        OnKeyDown = [this](TObject *, WORD &key, TShiftState shift) {
            Log << QStringLiteral("form-down %1").arg(key);
            if (key == VK_F4 || (key == 'A' && shift == ssCtrl))
                key = 0;
        };
        OnKeyPress = [this](TObject *, QChar &key) {
            Log << QStringLiteral("form-press %1").arg(key);
            if (key == QLatin1Char('#'))
                key = QChar();
        };
        SetActiveControl(Ed);
        DoCreate();
    }
    TEdit *Ed;
    QStringList Log;
};

TEST(KeyTest, PreviewSeesKeysFirstAndMaySwallowThem)
{
    TKeyForm form;
    form.SetKeyPreview(true);
    form.show();
    SendKey(form.Ed, Qt::Key_1, Qt::NoModifier, QStringLiteral("1"));
    EXPECT_EQ(form.Log, (QStringList{"form-down 49", "ed-down 49", "form-press 1", "ed-press 1"}));
    EXPECT_EQ(form.Ed->Text(), QStringLiteral("1"));

    form.Log.clear();
    SendKey(form.Ed, Qt::Key_F4);
    EXPECT_EQ(form.Log, (QStringList{"form-down 115"})); // swallowed: the edit never hears it

    form.Log.clear();
    SendKey(form.Ed, Qt::Key_NumberSign, Qt::NoModifier, QStringLiteral("#"));
    EXPECT_EQ(form.Ed->Text(), QStringLiteral("1")); // swallowed character is not typed
    EXPECT_FALSE(form.Log.contains(QStringLiteral("ed-press #")));

    // A replaced character is typed as replaced.
    SendKey(form.Ed, Qt::Key_Period, Qt::NoModifier, QStringLiteral("."));
    EXPECT_EQ(form.Ed->Text(), QStringLiteral("1,"));

    // A swallowed key-down still types its printable character: only OnKeyPress stops a character.
    form.Ed->OnKeyDown = [](TObject *, WORD &key, TShiftState) { key = 0; };
    SendKey(form.Ed, Qt::Key_5, Qt::NoModifier, QStringLiteral("5"));
    EXPECT_EQ(form.Ed->Text(), QStringLiteral("1,5"));
}

TEST(KeyTest, WithoutPreviewTheFormHearsNothingOfItsControls)
{
    TKeyForm form;
    form.show();
    SendKey(form.Ed, Qt::Key_F4);
    EXPECT_EQ(form.Log, (QStringList{"ed-down 115"}));
}

TEST(KeyTest, RussianLettersArriveAsTypedCharactersOnTheirKeys)
{
    TKeyForm form;
    form.SetKeyPreview(true);
    form.show();
    SendKey(form.Ed, 0x0444 /* ф */, Qt::NoModifier, QStringLiteral("ф"));
    SendKey(form.Ed, 0x0411 /* Б */, Qt::ShiftModifier, QStringLiteral("Б"));
    EXPECT_EQ(form.Log, (QStringList{"form-down 65", "ed-down 65", "form-press ф", "ed-press ф", "form-down 188",
                                     "ed-down 188", "form-press Б", "ed-press Б"}));
    EXPECT_EQ(form.Ed->Text(), QStringLiteral("фБ"));
}

TEST(KeyTest, KeypadAndFunctionKeysGiveTheirVirtualKeys)
{
    TKeyForm form;
    form.SetKeyPreview(true);
    form.show();
    QList<QPair<WORD, TShiftState>> seen;
    form.OnKeyDown = [&](TObject *, WORD &key, TShiftState shift) { seen << qMakePair(key, shift); };
    SendKey(form.Ed, Qt::Key_Plus, Qt::ControlModifier | Qt::KeypadModifier, QStringLiteral("+"));
    SendKey(form.Ed, Qt::Key_7, Qt::ControlModifier, QStringLiteral("7"));
    SendKey(form.Ed, Qt::Key_F3, Qt::ShiftModifier);
    SendKey(form.Ed, Qt::Key_Left, Qt::AltModifier);
    SendKey(form.Ed, Qt::Key_Delete, Qt::ControlModifier);
    const QList<QPair<WORD, TShiftState>> expected{
        {VK_ADD, ssCtrl}, {WORD('7'), ssCtrl}, {VK_F3, ssShift}, {VK_LEFT, ssAlt}, {VK_DELETE, ssCtrl}};
    EXPECT_EQ(seen, expected);
}

TEST(KeyTest, CtrlLettersGiveControlCharacters)
{
    TKeyForm form;
    form.SetKeyPreview(true);
    form.show();
    form.OnKeyDown = nullptr;
    QChar pressed;
    form.Ed->OnKeyPress = [&](TObject *, QChar &key) { pressed = key; };
    SendKey(form.Ed, Qt::Key_C, Qt::ControlModifier, QStringLiteral("c"));
    EXPECT_EQ(pressed, QChar(3));
}

} // namespace
} // namespace zorbel

namespace zorbel {
namespace {

TEST(ModalTest, ShowingModallyActivatesTheWindow)
{
    TTestDialog dialog;
    int activations = 0;
    dialog.OnActivate = [&](TObject *) { ++activations; };
    TModalScript script;
    script.Then([&](TForm &f) {
        QCoreApplication::processEvents();
        EXPECT_EQ(activations, 1);
        EXPECT_EQ(Screen().ActiveForm(), &f);
        EXPECT_EQ(Screen().ActiveControl(), dialog.Ed);
        f.SetModalResult(mrOk);
    });
    EXPECT_EQ(dialog.ShowModal(), mrOk);
}

TEST(ModalTest, WindowClosingItselfOnShowTakesNoStep)
{
    TTestDialog dialog;
    dialog.OnShow = [&](TObject *) { dialog.SetModalResult(mrAbort); };
    TModalScript script;
    EXPECT_EQ(dialog.ShowModal(), mrAbort);
    EXPECT_TRUE(script.Finished());
    EXPECT_TRUE(script.Seen().empty());
}

TEST(ModalTest, WithoutAHandlerAnEventLoopWaitsForTheResult)
{
    TModalHandler saved = SetModalHandler(nullptr);
    TTestDialog dialog;
    QTimer::singleShot(0, &dialog, [&] { SendKeyToFocus(dialog, Qt::Key_Escape); });
    EXPECT_EQ(dialog.ShowModal(), mrCancel);
    QTimer::singleShot(0, &dialog, [&] { dialog.close(); });
    EXPECT_EQ(dialog.ShowModal(), mrCancel);
    QTimer::singleShot(0, &dialog, [&] { SendClick(dialog.ButOk); });
    EXPECT_EQ(dialog.ShowModal(), mrOk);
    SetModalHandler(saved);
}

// Ending the application (a logout, an ending signal) while a window is shown
// modally ends that window as cancelled, so the handlers unwind and the
// program can finish; it does not spin on an event loop that no longer runs.
TEST(ModalTest, EndingTheApplicationEndsAModalWindowAsCancelled)
{
    TModalHandler saved = SetModalHandler(nullptr);
    std::mutex m;
    std::condition_variable cv;
    bool returned = false;
    // A modal loop that never ends would also stop the timers: fail loudly
    // instead of hanging.
    std::thread watchdog([&] {
        std::unique_lock lock(m);
        if (!cv.wait_for(lock, std::chrono::seconds(10), [&] { return returned; })) {
            std::fprintf(stderr, "ShowModal did not return after the application was ended\n");
            std::abort();
        }
    });
    int result = mrNone;
    {
        TTestDialog dialog;
        QTimer::singleShot(50, &dialog, [] { QCoreApplication::exit(0); });
        result = dialog.ShowModal();
        EXPECT_FALSE(dialog.isVisible());
    }
    {
        std::lock_guard lock(m);
        returned = true;
    }
    cv.notify_all();
    watchdog.join();
    EXPECT_EQ(result, mrCancel);
    // The application's loop runs once so that event loops work again for
    // the tests that follow.
    QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
    SetModalHandler(saved);
}

// A window that stores its bounds when it closes and sets them again when it
// opens keeps its size, also when it is set before the window manager has
// framed it (before showing, and in OnShow).
TEST(FormBoundsTest, AWindowOpenedAgainKeepsItsStoredSize)
{
    TForm main;
    Application().SetMainForm(&main);
    main.SetBounds(10, 10, 300, 200);
    main.show();
    QCoreApplication::processEvents();
    const QSize frame = main.frameGeometry().size() - main.geometry().size();
    ASSERT_TRUE(frame.width() > 0 || frame.height() > 0) << "the platform draws no frame";

    int storedWidth = 530, storedHeight = 360;
    for (int opening = 0; opening < 3; ++opening) {
        TForm book(&main);
        book.SetBounds(4, 4, storedWidth, storedHeight);
        EXPECT_EQ(book.Width(), storedWidth);
        EXPECT_EQ(book.Height(), storedHeight);
        book.OnShow = [&](TObject *) { book.SetBounds(4, 4, storedWidth, storedHeight); };
        book.show();
        QCoreApplication::processEvents();
        storedWidth = book.Width();
        storedHeight = book.Height();
        book.hide();
    }
    EXPECT_EQ(storedWidth, 530);
    EXPECT_EQ(storedHeight, 360);
}

} // namespace
} // namespace zorbel
