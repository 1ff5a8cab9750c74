// Windows, the application object and the screen.
//
// TForm is a top-level window whose controls are members of the deriving
// class, created in its constructor; the constructor ends with DoCreate()
// (fires OnCreate) and the destructor starts with DoDestroy() (fires
// OnDestroy), since only the deriving class knows when its members exist.
//
// Showing modally: ShowModal shows the window, then waits until ModalResult
// becomes non-zero. Setting ModalResult asks OnCloseQuery and OnClose first;
// either may refuse, and the window stays up. Closing from the title bar sets
// ModalResult 2 (mrCancel). How the wait happens is the modal handler's
// business: by default a local event loop runs until a result is set; a test
// installs its own handler (see ModalScript.h) that drives the open window
// and returns, so no test ever waits for a person. Every message box of the
// program is a TForm shown this way, so one hook answers them all.
//
// A window whose handler leaves it open without a result is closed with
// mrCancel when the test handler returns, and the handler records that.
//
// A window is written like this:
//
//   class TFormCalc : public TForm {
//   public:
//       TFormCalc() {
//           SetCaption("Калькулятор"); SetKeyPreview(true);
//           Ed = new TEdit(this, "Ed");            // owned by the form
//           Ed->OnKeyPress = [this](TObject *s, QChar &k) { EdKeyPress(s, k); };
//           OnKeyDown = [this](TObject *s, WORD &k, TShiftState sh) { FormKeyDown(s, k, sh); };
//           DoCreate();
//       }
//       ~TFormCalc() override { DoDestroy(); }
//       TEdit *Ed;
//       void EdKeyPress(TObject *Sender, QChar &Key);
//       void FormKeyDown(TObject *Sender, WORD &Key, TShiftState Shift);
//   };
#pragma once

#include "platform/widgets/Controls.h"
#include "platform/rtl/Exceptions.h"

#include <QMargins>
#include <QStringList>
#include <QWidget>

class QEventLoop;

namespace zorbel {

class TMainMenu;
class TButton;

enum class TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum class TFormStyle { fsNormal, fsStayOnTop };
enum class TPosition { poDesigned, poDefault, poScreenCenter, poMainFormCenter };
enum class TWindowState { wsNormal, wsMinimized, wsMaximized };
enum class TCloseAction { caNone, caHide, caFree, caMinimize };

using TCloseEvent = std::function<void(TObject *Sender, TCloseAction &Action)>;
using TCloseQueryEvent = std::function<void(TObject *Sender, bool &CanClose)>;
using TDropFilesEvent = std::function<void(TObject *Sender, const QStringList &Files)>;

class TForm : public QWidget, public TControl {
    Q_OBJECT
public:
    explicit TForm(QWidget *parent = nullptr);
    ~TForm() override;

    QString Caption() const { return windowTitle(); }
    void SetCaption(const QString &caption) { setWindowTitle(caption); }

    // Bounds include the window frame. A form not yet framed by the window
    // manager (not shown, or just shown) is sized for the frame last seen
    // around a form, and sized again for its own frame once it has one, so
    // bounds stored from a shown form come back the same. A shown form is
    // kept within the free area of its screen.
    void SetBounds(int left, int top, int width, int height) override;
    // The frame around the client area (its own, else the last seen).
    QMargins FrameMargins() const;
    // Remembers the frame the window manager puts around forms.
    static void NoteFrame(const QMargins &frame);
    int Width() const override;
    int Height() const override;
    void SetClientWidth(int width) { ResizeClient(width, height()); }
    void SetClientHeight(int height) { ResizeClient(width(), height); }

    // The window width (frame included) a title bar needs to show the
    // caption whole: the caption in the bold form or desktop font (the
    // wider), and the room a window manager takes for its buttons and icon
    // (TitleBarButtonsWidth).
    int CaptionWidth() const;
    static constexpr int TitleBarButtonsWidth = 120;

    TFormBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TFormBorderStyle style);
    TFormStyle FormStyle() const { return formStyle_; }
    void SetFormStyle(TFormStyle style);
    TPosition Position() const { return position_; }
    void SetPosition(TPosition position) { position_ = position; }
    TWindowState WindowState() const;
    void SetWindowState(TWindowState state);

    // With KeyPreview the form's OnKeyDown and OnKeyPress see every key before
    // the focused control and may swallow it (Key := 0).
    bool KeyPreview() const { return keyPreview_; }
    void SetKeyPreview(bool preview) { keyPreview_ = preview; }

    TControl *ActiveControl() const;
    void SetActiveControl(TControl *control);

    int ModalResult() const { return modalResult_; }
    void SetModalResult(int result);
    bool Modal() const { return modal_; }

    TMainMenu *Menu() const { return menu_; }
    void SetMenu(TMainMenu *menu);

    int HelpContext() const { return helpContext_; }
    void SetHelpContext(int context) { helpContext_ = context; }

    // Accepts files dropped from the desktop; OnDropFiles receives their paths.
    void SetAcceptFiles(bool accept);

    // Canvas in the form's font, for measuring (and painting in OnPaint).
    TCanvas &Canvas();

    void Show();
    void Hide() { hide(); }
    int ShowModal();
    // Asks to close: OnCloseQuery, then OnClose decides what happens.
    void Close();
    // Frees the window once the current event has been handled.
    void Release() { deleteLater(); }
    // Asks OnCloseQuery whether the window may close.
    bool CloseQuery();

    // Default and cancel buttons answer Enter and Escape.
    TButton *DefaultButton() const;
    TButton *CancelButton() const;

    TNotifyEvent OnCreate, OnShow, OnHide, OnDestroy, OnActivate, OnDeactivate, OnPaint;
    TCloseEvent OnClose;
    TCloseQueryEvent OnCloseQuery;
    TDropFilesEvent OnDropFiles;

protected:
    void DoCreate();
    void DoDestroy();
    // Sizes the client area (fixed for dialog borders).
    void ResizeClient(int width, int height);
    bool ControlEvent(QEvent *event) override;

    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    // Ends the modal loop when ModalResult holds and the form agrees.
    bool TryEndModal();
    void ApplyWindowFlags();
    void CenterOnScreen();
    // Cuts the window to the free area of its screen and moves it inside;
    // a window that fits keeps its size.
    void KeepOnScreen();
    bool FixedSize() const;

    // The size with frame asked for while the frame was not known; the
    // client is sized again for it once the window manager frames the form.
    QSize pendingFrameSize_;
    TFormBorderStyle borderStyle_ = TFormBorderStyle::bsSizeable;
    TFormStyle formStyle_ = TFormStyle::fsNormal;
    TPosition position_ = TPosition::poDesigned;
    bool keyPreview_ = false;
    bool acceptFiles_ = false;
    int modalResult_ = mrNone;
    bool modal_ = false;
    bool modalEnded_ = false;
    bool created_ = false;
    bool destroyed_ = false;
    bool inEndModal_ = false;
    int helpContext_ = 0;
    TMainMenu *menu_ = nullptr;
    QEventLoop *loop_ = nullptr;
    TCanvas canvas_;
};

// How ShowModal waits. It receives the shown window; on return the window
// should have a ModalResult. Returns the handler that was installed before.
using TModalHandler = std::function<void(TForm &Form)>;
TModalHandler SetModalHandler(TModalHandler handler);
TModalHandler ModalHandler();

class TApplication {
public:
    // The title set, else the program's name.
    QString Title() const;
    void SetTitle(const QString &title) { title_ = title; }
    QString HelpFile() const { return helpFile_; }
    void SetHelpFile(const QString &file) { helpFile_ = file; }

    TForm *MainForm() const { return mainForm_; }
    void SetMainForm(TForm *form) { mainForm_ = form; }

    // Shows the help topic of a context through OnHelp (nothing when unset).
    void HelpContext(int context);
    // Handles the exception being processed (call only inside a catch): EAbort
    // is ignored, others go to OnException or ShowException.
    void HandleException(TObject *sender);
    // The error message box: the exception's text, titled with the title.
    void ShowException(const Exception &e);
    void ProcessMessages();
    void BringToFront();

    std::function<void(int Context)> OnHelp;
    std::function<void(TObject *Sender, const Exception &E)> OnException;

private:
    QString title_;
    QString helpFile_;
    TForm *mainForm_ = nullptr;
};

TApplication &Application();

class TScreen {
public:
    int Width() const;
    int Height() const;
    QPoint CursorPos() const;
    // The font message boxes use.
    QFont MessageFont() const;
    QFont HintFont() const;
    TCursor Cursor() const { return cursor_; }
    void SetCursor(TCursor cursor);
    TForm *ActiveForm() const;
    TControl *ActiveControl() const;

private:
    TCursor cursor_ = crDefault;
};

TScreen &Screen();

// Shows the hourglass cursor for its lifetime, restoring the previous cursor
// also when an exception passes.
class THourGlass {
public:
    THourGlass();
    ~THourGlass();
    THourGlass(const THourGlass &) = delete;
    THourGlass &operator=(const THourGlass &) = delete;

private:
    TCursor previous_;
};

} // namespace zorbel
