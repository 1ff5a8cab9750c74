// TForm as a window: creation and destruction events, bounds and border
// styles, window state, the main menu, showing, painting and files dropped
// from the desktop. Modal showing is in FormsModal.cpp, keys in FormsKeys.cpp.
#include "platform/widgets/Forms.h"
#include "platform/widgets/FormsPrivate.h"

#include "platform/system/SysFiles.h"
#include "platform/widgets/Menus.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QGuiApplication>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QScreen>
#include <QShowEvent>
#include <QUrl>

#include <algorithm>

namespace zorbel {

// Defined with the forms: the control layer knows forms only by name.
TForm *TControl::ParentForm() const { return dynamic_cast<TForm *>(self_->window()); }

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
    ForgetModalForm(this);
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

namespace {

QMargins &LastFrame()
{
    static QMargins frame;
    return frame;
}

// The frame around a window's client area; none while the window manager
// has not framed it. (Before that Qt reports a frame rectangle one pixel
// short at the right and bottom, which must not count as a frame.)
QMargins OwnFrame(const QWidget *w)
{
    const QRect frame = w->frameGeometry(), inner = w->geometry();
    const QMargins m(inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
                     frame.bottom() - inner.bottom());
    if (m.left() < 0 || m.top() < 0 || m.right() < 0 || m.bottom() < 0)
        return QMargins();
    return m;
}

} // namespace

void TForm::NoteFrame(const QMargins &frame) { LastFrame() = frame; }

QMargins TForm::FrameMargins() const
{
    const QMargins own = OwnFrame(this);
    if (own.isNull()) {
        const Qt::WindowType type = windowType();
        const bool frameless = !isWindow() || (windowFlags() & Qt::FramelessWindowHint) || type == Qt::Popup ||
                               type == Qt::ToolTip || type == Qt::SplashScreen;
        // Not framed yet (even shown: the frame comes a little later).
        return frameless ? QMargins() : LastFrame();
    }
    // The frame of a normal window on a real screen is the one the next forms
    // get (a maximised one may lose its borders; the offscreen platform
    // frames some windows and not others).
    if (!(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) &&
        QGuiApplication::platformName() != QLatin1String("offscreen"))
        NoteFrame(own);
    return own;
}

void TForm::SetBounds(int left, int top, int width, int height)
{
    const QMargins frame = FrameMargins();
    pendingFrameSize_ = OwnFrame(this).isNull() ? QSize(std::max(0, width), std::max(0, height)) : QSize();
    move(left, top);
    ResizeClient(std::max(0, width - frame.left() - frame.right()),
                 std::max(0, height - frame.top() - frame.bottom()));
    if (isVisible())
        KeepOnScreen();
}

int TForm::Width() const
{
    const QMargins frame = FrameMargins();
    return geometry().width() + frame.left() + frame.right();
}

int TForm::Height() const
{
    const QMargins frame = FrameMargins();
    return geometry().height() + frame.top() + frame.bottom();
}

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
    // A window shown while a modal window is up stays usable, as the class
    // library disables only the windows that existed when the modal one
    // came: it becomes a window of the innermost modal form, which lets it
    // take input, and keeps it above that form.
    if (!modal_ && !parentWidget())
        if (TForm *top = TopModalForm(); top && top != this && top->isVisible()) {
            // A dialog-type window is the kind the window manager keeps over
            // its owner; it keeps the buttons of a main window.
            setParent(top, (windowFlags() & ~Qt::WindowType_Mask) | Qt::Dialog | Qt::WindowTitleHint |
                               Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
        }
    show();
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        raise();
}

int TForm::CaptionWidth() const
{
    // A window manager draws titles in the desktop's font, not the form's:
    // the wider of the two, bold, stands for it.
    int text = 0;
    for (QFont title : {font(), QApplication::font()}) {
        title.setBold(true);
        text = std::max(text, QFontMetrics(title).horizontalAdvance(Caption()));
    }
    return text + TitleBarButtonsWidth;
}

void TForm::CenterOnScreen()
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QRect frame = frameGeometry();
    move(screen.width() / 2 - frame.width() / 2, screen.height() / 2 - frame.height() / 2);
}

void TForm::KeepOnScreen()
{
    if (!isWindow() || (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized)))
        return;
    // The screen under the window's centre, else the one it was put on. The
    // area is in device-independent pixels, as the window's size is, so the
    // window fits at any scale factor.
    const QScreen *screen = QGuiApplication::screenAt(frameGeometry().center());
    if (!screen)
        screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QMargins frame = FrameMargins();
    const QSize room(std::max(0, area.width() - frame.left() - frame.right()),
                     std::max(0, area.height() - frame.top() - frame.bottom()));
    if (pendingFrameSize_.isValid())
        pendingFrameSize_ = pendingFrameSize_.boundedTo(area.size());
    const QSize client = size().boundedTo(room);
    if (client != size()) {
        if (FixedSize())
            setFixedSize(client);
        else
            resize(client);
    }
    // pos() is the frame's corner, also before the window manager framed it.
    const QSize outer = client.grownBy(frame);
    const int left = std::clamp(pos().x(), area.left(), std::max(area.left(), area.left() + area.width() - outer.width()));
    const int top = std::clamp(pos().y(), area.top(), std::max(area.top(), area.top() + area.height() - outer.height()));
    if (QPoint(left, top) != pos())
        move(left, top);
}

bool TForm::ControlEvent(QEvent *event)
{
    // Learn the frame as soon as the window manager has put one around a
    // form, and give the size asked for before it the frame it now has.
    if ((event->type() == QEvent::Move || event->type() == QEvent::Resize ||
         event->type() == QEvent::WindowActivate) &&
        isWindow() && isVisible() && !OwnFrame(this).isNull()) {
        const QMargins frame = FrameMargins();
        if (pendingFrameSize_.isValid() && !(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) {
            const QSize asked = pendingFrameSize_;
            pendingFrameSize_ = QSize();
            const QSize client(std::max(0, asked.width() - frame.left() - frame.right()),
                               std::max(0, asked.height() - frame.top() - frame.bottom()));
            if (client != size())
                ResizeClient(client.width(), client.height());
            KeepOnScreen();
        }
    }
    if (event->type() == QEvent::Resize && menu_)
        menu_->Bar()->setGeometry(0, 0, width(), contentsMargins().top());
    return TControl::ControlEvent(event);
}

void TForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    // A dialog, shown modally or not (the start-up's splash with today's
    // date), is at least as wide as its caption needs, so that a window
    // manager never cuts the title of a small box ("Повто... роль!").
    if (borderStyle_ == TFormBorderStyle::bsDialog && Width() < CaptionWidth())
        SetWidth(std::min(CaptionWidth(), Screen().Width()));
    if (FixedSize())
        setFixedSize(size());
    if (position_ == TPosition::poScreenCenter)
        CenterOnScreen();
    KeepOnScreen();
    AlignChildren(this);
    Fire(OnShow, this);
    KeepOnScreen();
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
            files << LocalFileOfUrl(url);
    event->acceptProposedAction();
    if (!files.isEmpty() && OnDropFiles)
        DispatchEvent([&] { OnDropFiles(this, files); });
}

} // namespace zorbel
