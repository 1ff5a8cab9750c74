// Forms, modal showing, the event dispatcher, the key router, the
// application object and the screen.
//
// Key routing, in the order the original framework used for a key press on
// the focused widget of one of our forms:
//   1. shortcuts: popup menus of the focused control and its parents, then
//      the form's main menu (Menus.h);
//   2. dialog keys: Enter clicks a focused button, else the default button
//      unless the control wants Enter; Escape clicks the cancel button;
//   3. OnKeyDown of the form (with KeyPreview), then of the control; Key := 0
//      swallows the key, though its character still reaches step 4 and, when
//      printable and not swallowed there, is still typed;
//   4. OnKeyPress of the form (with KeyPreview), then of the control, with the
//      key's character; a handler may swallow it (#0) or replace it;
//   5. the widget's own handling.
// The router sits on the application object and delivers the event itself,
// so Qt's propagation of an unhandled key to the parents never routes twice.
#include "platform/widgets/Forms.h"

#include "platform/widgets/Menus.h"
#include "platform/widgets/StdCtrls.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QSet>
#include <QStyle>
#include <QToolTip>
#include <QUrl>
#include <vector>

namespace zorbel {

namespace {

int dispatchDepth = 0;
std::vector<TForm *> modalStack;
TModalHandler &ModalHandlerSlot()
{
    static TModalHandler handler;
    return handler;
}

// The character a key press types, as the original's key-press event saw it:
// Ctrl with a Latin letter gives the control character, Enter #13, Escape #27.
QChar CharOf(const QKeyEvent *ke)
{
    const bool ctrl = (ke->modifiers() & Qt::ControlModifier) && !(ke->modifiers() & Qt::AltModifier);
    if (ctrl && ke->key() >= Qt::Key_A && ke->key() <= Qt::Key_Z)
        return QChar(char16_t(ke->key() - Qt::Key_A + 1));
    switch (ke->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return QChar(u'\r');
    case Qt::Key_Escape: return QChar(u'\x1b');
    case Qt::Key_Backspace: return QChar(u'\b');
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return QChar();
    default: break;
    }
    const QString text = ke->text();
    if (text.isEmpty() || (text.at(0).unicode() < 32 && text.at(0).unicode() != 0))
        return QChar();
    return text.at(0);
}

WORD KeyOf(const QKeyEvent *ke)
{
    if (ke->modifiers() & Qt::KeypadModifier) {
        if (ke->key() >= Qt::Key_0 && ke->key() <= Qt::Key_9)
            return WORD(VK_NUMPAD0 + (ke->key() - Qt::Key_0));
        switch (ke->key()) {
        case Qt::Key_Plus: return VK_ADD;
        case Qt::Key_Minus: return VK_SUBTRACT;
        case Qt::Key_Asterisk: return VK_MULTIPLY;
        case Qt::Key_Slash: return VK_DIVIDE;
        case Qt::Key_Period:
        case Qt::Key_Comma: return VK_DECIMAL;
        default: break;
        }
    }
    return VirtualKeyOf(ke->key());
}

class KeyRouter : public QObject {
public:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
            return false;
        if (delivering_.contains(event))
            return false;
        auto *widget = qobject_cast<QWidget *>(object);
        if (!widget || qobject_cast<QMenu *>(widget))
            return false;
        auto *form = dynamic_cast<TForm *>(widget->window());
        if (!form)
            return false;
        auto *ke = static_cast<QKeyEvent *>(event);
        if (event->type() == QEvent::KeyPress)
            RouteKeyDown(widget, form, ke);
        else
            RouteKeyUp(widget, form, ke);
        event->accept();
        return true;
    }

private:
    // Lets the widget handle the event (or a replacement) as Qt would.
    void Deliver(QWidget *widget, QEvent *event)
    {
        delivering_.insert(event);
        QApplication::sendEvent(widget, event);
        delivering_.remove(event);
    }

    bool RouteKeyUp(QWidget *widget, TForm *form, QKeyEvent *ke)
    {
        TControl *control = FindControl(widget);
        WORD key = KeyOf(ke);
        const TShiftState shift = ShiftStateOf(ke->modifiers());
        if ((form->KeyPreview() || control == form) && form->OnKeyUp)
            DispatchEvent([&] { form->OnKeyUp(form, key, shift); });
        if (key && control && control != form && control->OnKeyUp)
            DispatchEvent([&] { control->OnKeyUp(control, key, shift); });
        if (key)
            Deliver(widget, ke);
        return true;
    }

    bool RouteKeyDown(QWidget *widget, TForm *form, QKeyEvent *ke)
    {
        QPointer<QWidget> guard(widget);
        TControl *control = FindControl(widget);
        const WORD vk = KeyOf(ke);
        const TShiftState shift = ShiftStateOf(ke->modifiers());
        const bool modifierKey = vk == VK_SHIFT || vk == VK_CONTROL || vk == VK_MENU;

        if (vk && !modifierKey && RunShortCut(control, form, ShortCut(vk, shift)))
            return true;
        if (vk == VK_TAB) {
            Deliver(widget, ke);
            return true;
        }
        if (KeyModifiers(shift) == 0 && RunDialogKey(widget, control, form, vk))
            return true;

        WORD key = vk;
        bool downSwallowed = false;
        if ((form->KeyPreview() || control == form) && form->OnKeyDown) {
            DispatchEvent([&] { form->OnKeyDown(form, key, shift); });
            downSwallowed = key == 0;
        }
        if (!downSwallowed && control && control != form && control->OnKeyDown && guard) {
            DispatchEvent([&] { control->OnKeyDown(control, key, shift); });
            downSwallowed = key == 0;
        }
        if (!guard)
            return true;

        const QChar original = CharOf(ke);
        QChar ch = original;
        if (!ch.isNull()) {
            if ((form->KeyPreview() || control == form) && form->OnKeyPress)
                DispatchEvent([&] { form->OnKeyPress(form, ch); });
            if (!ch.isNull() && control && control != form && control->OnKeyPress && guard)
                DispatchEvent([&] { control->OnKeyPress(control, ch); });
            if (ch.isNull() || !guard)
                return true;
        }
        if (downSwallowed && (ch.isNull() || ch.unicode() < 32))
            return true;
        if (ch != original || downSwallowed) {
            // Type the (replaced) character alone.
            QKeyEvent typed(QEvent::KeyPress, ch.unicode() < 32 ? ke->key() : 0, ke->modifiers(), QString(ch));
            Deliver(widget, &typed);
            return true;
        }
        Deliver(widget, ke);
        return true;
    }

    static bool RunShortCut(TControl *control, TForm *form, TShortCut shortCut)
    {
        for (TControl *c = control; c; c = c->ParentControl())
            if (c->PopupMenu() && c->PopupMenu()->IsShortCut(shortCut))
                return true;
        return form->Menu() && form->Menu()->IsShortCut(shortCut);
    }

    static bool RunDialogKey(QWidget *widget, TControl *control, TForm *form, WORD vk)
    {
        if (vk == VK_RETURN) {
            if (control && control->WantsReturn())
                return false;
            if (auto *button = dynamic_cast<TButton *>(control); button && button->isEnabled()) {
                button->Click();
                return true;
            }
            if (qobject_cast<QAbstractButton *>(widget))
                return false;
            if (TButton *button = form->DefaultButton()) {
                button->Click();
                return true;
            }
        } else if (vk == VK_ESCAPE) {
            if (control && control->WantsReturn())
                return false;
            if (TButton *button = form->CancelButton()) {
                button->Click();
                return true;
            }
        }
        return false;
    }

    QSet<QEvent *> delivering_;
};

void EnsureKeyRouter()
{
    static KeyRouter *router = nullptr;
    if (!router && qApp) {
        router = new KeyRouter; // lives as long as the application object
        router->setParent(qApp);
        qApp->installEventFilter(router);
    }
}

// Ends the top modal window when its ModalResult was set by the event just handled.
void EndPendingModal()
{
    if (!modalStack.empty()) {
        TForm *form = modalStack.back();
        if (form->ModalResult() != mrNone)
            form->SetModalResult(form->ModalResult());
    }
}

} // namespace

bool DispatchEvent(const std::function<void()> &handler)
{
    bool ok = true;
    ++dispatchDepth;
    try {
        handler();
    } catch (...) {
        ok = false;
        try {
            Application().HandleException(nullptr);
        } catch (...) {
            // A failure while reporting a failure must not cross the event loop.
        }
    }
    --dispatchDepth;
    if (dispatchDepth == 0)
        EndPendingModal();
    return ok;
}

TModalHandler SetModalHandler(TModalHandler handler)
{
    TModalHandler previous = std::move(ModalHandlerSlot());
    ModalHandlerSlot() = std::move(handler);
    return previous;
}

TModalHandler ModalHandler() { return ModalHandlerSlot(); }

// ---- form ----

TForm::TForm(QWidget *parent) : QWidget(parent, Qt::Window), TControl(this)
{
    EnsureKeyRouter();
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFocusPolicy(Qt::NoFocus);
    ApplyWindowFlags();
}

TForm::~TForm()
{
    for (auto it = modalStack.begin(); it != modalStack.end(); ++it)
        if (*it == this) {
            modalStack.erase(it);
            break;
        }
    if (Application().MainForm() == this)
        Application().SetMainForm(nullptr);
}

void TForm::DoCreate()
{
    if (created_)
        return;
    created_ = true;
    Fire(OnCreate, this);
}

void TForm::DoDestroy()
{
    if (destroyed_)
        return;
    destroyed_ = true;
    Fire(OnDestroy, this);
}

bool TForm::FixedSize() const
{
    return borderStyle_ == TFormBorderStyle::bsDialog || borderStyle_ == TFormBorderStyle::bsSingle ||
           borderStyle_ == TFormBorderStyle::bsToolWindow;
}

void TForm::ResizeClient(int width, int height)
{
    if (FixedSize())
        setFixedSize(width, height);
    else
        resize(width, height);
}

void TForm::SetBounds(int left, int top, int width, int height)
{
    const QRect frame = frameGeometry(), inner = geometry();
    const int extraW = frame.width() - inner.width(), extraH = frame.height() - inner.height();
    move(left, top);
    ResizeClient(std::max(0, width - extraW), std::max(0, height - extraH));
}

int TForm::Width() const { return frameGeometry().width(); }
int TForm::Height() const { return frameGeometry().height(); }

void TForm::SetBorderStyle(TFormBorderStyle style)
{
    borderStyle_ = style;
    if (!FixedSize()) {
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }
    ApplyWindowFlags();
}

void TForm::SetFormStyle(TFormStyle style)
{
    formStyle_ = style;
    ApplyWindowFlags();
}

void TForm::ApplyWindowFlags()
{
    const bool visible = isVisible();
    Qt::WindowFlags flags = Qt::Window;
    switch (borderStyle_) {
    case TFormBorderStyle::bsNone: flags = Qt::Window | Qt::FramelessWindowHint; break;
    case TFormBorderStyle::bsDialog:
        flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
        break;
    case TFormBorderStyle::bsToolWindow:
    case TFormBorderStyle::bsSizeToolWin: flags = Qt::Tool; break;
    default: break;
    }
    if (formStyle_ == TFormStyle::fsStayOnTop)
        flags |= Qt::WindowStaysOnTopHint;
    setWindowFlags(flags);
    if (visible)
        show();
}

TWindowState TForm::WindowState() const
{
    if (isMaximized())
        return TWindowState::wsMaximized;
    if (isMinimized())
        return TWindowState::wsMinimized;
    return TWindowState::wsNormal;
}

void TForm::SetWindowState(TWindowState state)
{
    Qt::WindowStates s = windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized);
    if (state == TWindowState::wsMaximized)
        s |= Qt::WindowMaximized;
    else if (state == TWindowState::wsMinimized)
        s |= Qt::WindowMinimized;
    setWindowState(s);
}

TControl *TForm::ActiveControl() const
{
    QWidget *focus = focusWidget();
    TControl *control = focus ? FindControl(focus) : nullptr;
    return control == this ? nullptr : control;
}

void TForm::SetActiveControl(TControl *control)
{
    if (control)
        control->Widget()->setFocus(Qt::OtherFocusReason);
}

void TForm::SetMenu(TMainMenu *menu)
{
    menu_ = menu;
    if (!menu) {
        setContentsMargins(0, 0, 0, 0);
        return;
    }
    QMenuBar *bar = menu->Bar();
    bar->setParent(this);
    bar->show();
    const int h = bar->sizeHint().height();
    bar->setGeometry(0, 0, width(), h);
    setContentsMargins(0, h, 0, 0);
    AlignChildren(this);
}

void TForm::SetAcceptFiles(bool accept)
{
    acceptFiles_ = accept;
    setAcceptDrops(true);
}

TCanvas &TForm::Canvas()
{
    canvas_.Font = font();
    return canvas_;
}

void TForm::Show()
{
    show();
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        raise();
}

int TForm::ShowModal()
{
    if (modal_ || isVisible())
        throw Exception(QStringLiteral("Cannot make a visible window modal"));
    modalResult_ = mrNone;
    modalEnded_ = false;
    modal_ = true;
    modalStack.push_back(this);
    const int savedDepth = dispatchDepth;
    dispatchDepth = 0;
    struct Restore {
        TForm *form;
        int depth;
        ~Restore()
        {
            form->loop_ = nullptr;
            form->hide();
            form->setWindowModality(Qt::NonModal);
            form->modal_ = false;
            if (!modalStack.empty() && modalStack.back() == form)
                modalStack.pop_back();
            dispatchDepth = depth;
        }
    } restore{this, savedDepth};

    setWindowModality(Qt::ApplicationModal);
    Show();
    activateWindow();
    if (!focusWidget() || focusWidget() == this)
        focusNextChild();

    if (TModalHandler handler = ModalHandlerSlot()) {
        // A window that closed itself while showing needs no answer.
        if (!modalEnded_)
            handler(*this);
        if (!modalEnded_ && modalResult_ != mrNone)
            TryEndModal();
        if (!modalEnded_) {
            // Left open by the handler: closed as from the title bar, whatever
            // the window says.
            modalResult_ = mrCancel;
            if (!TryEndModal()) {
                modalResult_ = mrCancel;
                modalEnded_ = true;
            }
        }
    } else {
        while (!modalEnded_) {
            QEventLoop loop;
            loop_ = &loop;
            loop.exec(QEventLoop::DialogExec);
            loop_ = nullptr;
        }
    }
    return modalResult_;
}

void TForm::SetModalResult(int result)
{
    modalResult_ = result;
    if (modal_ && !modalEnded_ && result != mrNone && dispatchDepth == 0)
        TryEndModal();
}

bool TForm::CloseQuery()
{
    bool canClose = true;
    if (OnCloseQuery && !DispatchEvent([&] { OnCloseQuery(this, canClose); }))
        canClose = false;
    return canClose;
}

bool TForm::TryEndModal()
{
    if (inEndModal_ || modalEnded_)
        return modalEnded_;
    inEndModal_ = true;
    ++dispatchDepth;
    TCloseAction action = TCloseAction::caNone;
    if (CloseQuery()) {
        action = TCloseAction::caHide;
        if (OnClose && !DispatchEvent([&] { OnClose(this, action); }))
            action = TCloseAction::caNone;
    }
    --dispatchDepth;
    if (action == TCloseAction::caNone)
        modalResult_ = mrNone;
    else {
        modalEnded_ = true;
        if (loop_)
            loop_->quit();
    }
    inEndModal_ = false;
    return modalEnded_;
}

void TForm::Close()
{
    if (modal_)
        SetModalResult(mrCancel);
    else
        close();
}

void TForm::closeEvent(QCloseEvent *event)
{
    event->ignore();
    if (modal_) {
        if (!modalEnded_)
            SetModalResult(mrCancel);
        return;
    }
    if (!CloseQuery())
        return;
    TCloseAction action = TCloseAction::caHide;
    if (OnClose)
        DispatchEvent([&] { OnClose(this, action); });
    switch (action) {
    case TCloseAction::caHide: event->accept(); break;
    case TCloseAction::caFree:
        event->accept();
        deleteLater();
        break;
    case TCloseAction::caMinimize: showMinimized(); break;
    default: break;
    }
}

TButton *TForm::DefaultButton() const
{
    for (TButton *b : findChildren<TButton *>())
        if (b->Default() && b->isVisible() && b->isEnabled())
            return b;
    return nullptr;
}

TButton *TForm::CancelButton() const
{
    for (TButton *b : findChildren<TButton *>())
        if (b->Cancel() && b->isVisible() && b->isEnabled())
            return b;
    return nullptr;
}

void TForm::CenterOnScreen()
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QRect frame = frameGeometry();
    move(screen.width() / 2 - frame.width() / 2, screen.height() / 2 - frame.height() / 2);
}

bool TForm::ControlEvent(QEvent *event)
{
    if (event->type() == QEvent::Resize && menu_)
        menu_->Bar()->setGeometry(0, 0, width(), contentsMargins().top());
    return TControl::ControlEvent(event);
}

void TForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    if (FixedSize())
        setFixedSize(size());
    if (position_ == TPosition::poScreenCenter)
        CenterOnScreen();
    AlignChildren(this);
    Fire(OnShow, this);
}

void TForm::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        Fire(OnHide, this);
}

void TForm::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange)
        Fire(isActiveWindow() ? OnActivate : OnDeactivate, this);
}

void TForm::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    if (OnPaint) {
        QPainter painter(this);
        TCanvas &canvas = Canvas();
        canvas.Begin(&painter);
        Fire(OnPaint, this);
        canvas.Begin(nullptr);
    }
}

void TForm::dragEnterEvent(QDragEnterEvent *event)
{
    if (acceptFiles_ && event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        QWidget::dragEnterEvent(event);
}

void TForm::dropEvent(QDropEvent *event)
{
    if (!acceptFiles_ || !event->mimeData()->hasUrls()) {
        QWidget::dropEvent(event);
        return;
    }
    QStringList files;
    for (const QUrl &url : event->mimeData()->urls())
        if (url.isLocalFile())
            files << url.toLocalFile();
    event->acceptProposedAction();
    if (!files.isEmpty() && OnDropFiles)
        DispatchEvent([&] { OnDropFiles(this, files); });
}

// ---- the error message box ----

namespace {

// A message box of the framework itself: icon, text and an OK button.
class TErrorBox : public TForm {
public:
    TErrorBox(const QString &text, const QString &caption)
    {
        SetName(QStringLiteral("ErrorBox"));
        SetCaption(caption);
        SetBorderStyle(TFormBorderStyle::bsDialog);
        SetPosition(TPosition::poScreenCenter);
        setFont(Screen().MessageFont());
        const int margin = 12, icon = 32;
        auto *image = new QLabel(this);
        image->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(icon, icon));
        image->setGeometry(margin, margin, icon, icon);
        auto *message = new TLabel(this, QStringLiteral("Message"));
        message->setWordWrap(true);
        const QRect bounds = fontMetrics().boundingRect(QRect(0, 0, Screen().Width() / 2, 10000),
                                                        Qt::TextWordWrap | Qt::TextExpandTabs, text);
        message->SetAutoSize(false);
        message->SetCaption(text);
        message->SetBounds(margin * 2 + icon, margin, bounds.width() + 2, bounds.height());
        const int textBottom = margin + std::max(icon, bounds.height());
        auto *ok = new TButton(this, QStringLiteral("OK"));
        ok->SetCaption(QStringLiteral("OK"));
        ok->SetModalResult(mrOk);
        ok->SetDefault(true);
        ok->SetCancel(true);
        const int w = std::max(margin * 3 + icon + bounds.width(), 75 + margin * 2);
        ok->SetBounds((w - 75) / 2, textBottom + margin, 75, 25);
        ResizeClient(w, textBottom + margin * 2 + 25);
        DoCreate();
    }
    ~TErrorBox() override { DoDestroy(); }
};

} // namespace

// ---- application ----

TApplication &Application()
{
    static TApplication application;
    return application;
}

QString TApplication::Title() const
{
    return title_.isEmpty() ? QCoreApplication::applicationName() : title_;
}

void TApplication::HelpContext(int context)
{
    if (OnHelp)
        OnHelp(context);
}

void TApplication::HandleException(TObject *sender)
{
    try {
        throw;
    } catch (const EAbort &) {
    } catch (const Exception &e) {
        if (OnException)
            OnException(sender, e);
        else
            ShowException(e);
    } catch (const std::exception &e) {
        const Exception wrapped(QString::fromLocal8Bit(e.what()));
        if (OnException)
            OnException(sender, wrapped);
        else
            ShowException(wrapped);
    } catch (...) {
        ShowException(Exception(QStringLiteral("Unknown error")));
    }
}

void TApplication::ShowException(const Exception &e)
{
    // The message ends with a full stop unless it ends with punctuation.
    QString text = e.Message();
    if (!text.isEmpty() && text.back() > QLatin1Char('.'))
        text += QLatin1Char('.');
    TErrorBox box(text, title_);
    box.ShowModal();
}

void TApplication::ProcessMessages() { QCoreApplication::processEvents(); }

void TApplication::BringToFront()
{
    if (mainForm_) {
        mainForm_->raise();
        mainForm_->activateWindow();
    }
}

// ---- screen ----

TScreen &Screen()
{
    static TScreen screen;
    return screen;
}

int TScreen::Width() const { return QGuiApplication::primaryScreen()->geometry().width(); }
int TScreen::Height() const { return QGuiApplication::primaryScreen()->geometry().height(); }
QPoint TScreen::CursorPos() const { return QCursor::pos(); }
QFont TScreen::MessageFont() const { return QApplication::font("QMessageBox"); }
QFont TScreen::HintFont() const { return QToolTip::font(); }

void TScreen::SetCursor(TCursor cursor)
{
    if (cursor == cursor_)
        return;
    if (cursor_ != crDefault)
        QApplication::restoreOverrideCursor();
    cursor_ = cursor;
    if (cursor_ != crDefault)
        QApplication::setOverrideCursor(CursorShape(cursor_));
}

TForm *TScreen::ActiveForm() const { return dynamic_cast<TForm *>(QApplication::activeWindow()); }

TControl *TScreen::ActiveControl() const
{
    QWidget *focus = QApplication::focusWidget();
    return focus ? FindControl(focus) : nullptr;
}

} // namespace zorbel
