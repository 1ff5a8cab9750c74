// Control base: properties, mouse, focus, drag and align handling; canvas;
// key code translation; colours and shortcut texts.
#include "platform/widgets/Controls.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QMimeData>
#include <QPainter>
#include <QPalette>
#include <QSet>

namespace zorbel {

QFont FontToFit(const QFont &font, int width, const std::function<int(const QFontMetrics &)> &needed,
                double smallest)
{
    QFont f = font;
    if (width <= 0 || f.pointSizeF() <= 0)
        return f; // not laid out yet, or sized in pixels: left as it is
    while (needed(QFontMetrics(f)) > width && f.pointSizeF() > smallest)
        f.setPointSizeF(std::max(smallest, f.pointSizeF() - 0.5));
    return f;
}

namespace {

constexpr char kDragMime[] = "application/x-zorbel-control";
TControl *dragSource = nullptr;

// Virtual keys of the Russian ЙЦУКЕН layout, letter by letter: the key that
// carries the letter on a standard keyboard.
struct CyrillicKey {
    char16_t Letter;
    WORD Key;
};
constexpr CyrillicKey kCyrillicKeys[] = {
    {u'Й', 'Q'}, {u'Ц', 'W'}, {u'У', 'E'}, {u'К', 'R'}, {u'Е', 'T'}, {u'Н', 'Y'}, {u'Г', 'U'},
    {u'Ш', 'I'}, {u'Щ', 'O'}, {u'З', 'P'}, {u'Х', 219}, {u'Ъ', 221}, {u'Ф', 'A'}, {u'Ы', 'S'},
    {u'В', 'D'}, {u'А', 'F'}, {u'П', 'G'}, {u'Р', 'H'}, {u'О', 'J'}, {u'Л', 'K'}, {u'Д', 'L'},
    {u'Ж', 186}, {u'Э', 222}, {u'Я', 'Z'}, {u'Ч', 'X'}, {u'С', 'C'}, {u'М', 'V'}, {u'И', 'B'},
    {u'Т', 'N'}, {u'Ь', 'M'}, {u'Б', 188}, {u'Ю', 190}, {u'Ё', 192},
};

// Qt keys and the virtual keys they stand for (besides letters, digits and F-keys).
struct KeyPair {
    int Qt;
    WORD Vk;
};
constexpr KeyPair kKeys[] = {
    {Qt::Key_Backspace, VK_BACK}, {Qt::Key_Tab, VK_TAB},       {Qt::Key_Backtab, VK_TAB},
    {Qt::Key_Return, VK_RETURN},  {Qt::Key_Enter, VK_RETURN},  {Qt::Key_Shift, VK_SHIFT},
    {Qt::Key_Control, VK_CONTROL}, {Qt::Key_Alt, VK_MENU},     {Qt::Key_Escape, VK_ESCAPE},
    {Qt::Key_Space, VK_SPACE},    {Qt::Key_PageUp, VK_PRIOR},  {Qt::Key_PageDown, VK_NEXT},
    {Qt::Key_End, VK_END},        {Qt::Key_Home, VK_HOME},     {Qt::Key_Left, VK_LEFT},
    {Qt::Key_Up, VK_UP},          {Qt::Key_Right, VK_RIGHT},   {Qt::Key_Down, VK_DOWN},
    {Qt::Key_Insert, VK_INSERT},  {Qt::Key_Delete, VK_DELETE}, {Qt::Key_Equal, VK_OEM_PLUS},
    {Qt::Key_Plus, VK_OEM_PLUS},  {Qt::Key_Minus, VK_OEM_MINUS}, {Qt::Key_Backslash, VK_OEM_5},
    {Qt::Key_Comma, 188},         {Qt::Key_Period, 190},       {Qt::Key_Slash, 191},
    {Qt::Key_Semicolon, 186},     {Qt::Key_Apostrophe, 222},   {Qt::Key_BracketLeft, 219},
    {Qt::Key_BracketRight, 221},  {Qt::Key_QuoteLeft, 192},    {Qt::Key_Asterisk, VK_MULTIPLY},
};

// Names of keys in shortcut texts.
struct KeyName {
    WORD Vk;
    const char *Name;
};
constexpr KeyName kKeyNames[] = {
    {VK_BACK, "BkSp"},   {VK_TAB, "Tab"},      {VK_RETURN, "Enter"}, {VK_ESCAPE, "Esc"},
    {VK_SPACE, "Space"}, {VK_PRIOR, "PgUp"},   {VK_NEXT, "PgDn"},    {VK_END, "End"},
    {VK_HOME, "Home"},   {VK_LEFT, "Left"},    {VK_UP, "Up"},        {VK_RIGHT, "Right"},
    {VK_DOWN, "Down"},   {VK_INSERT, "Ins"},   {VK_DELETE, "Del"},   {VK_ADD, "Num +"},
    {VK_SUBTRACT, "Num -"}, {VK_MULTIPLY, "Num *"}, {VK_DIVIDE, "Num /"}, {VK_OEM_5, "\\"},
    {VK_OEM_PLUS, "="},  {VK_OEM_MINUS, "-"},
};

// Widgets whose aligned children are being laid out (guards re-entry).
QSet<QWidget *> &AligningParents()
{
    static QSet<QWidget *> set;
    return set;
}

} // namespace

QString ShortCutToText(TShortCut shortcut)
{
    const WORD key = shortcut & 0x0FFF;
    QString name;
    if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z'))
        name = QChar(key);
    else if (key >= VK_F1 && key <= VK_F1 + 23)
        name = QStringLiteral("F%1").arg(key - VK_F1 + 1);
    else if (key >= VK_NUMPAD0 && key <= VK_NUMPAD0 + 9)
        name = QStringLiteral("Num %1").arg(key - VK_NUMPAD0);
    else
        for (const KeyName &k : kKeyNames)
            if (k.Vk == key)
                name = QString::fromLatin1(k.Name);
    if (name.isEmpty())
        return {};
    QString prefix;
    if (shortcut & scShift)
        prefix += QStringLiteral("Shift+");
    if (shortcut & scCtrl)
        prefix += QStringLiteral("Ctrl+");
    if (shortcut & scAlt)
        prefix += QStringLiteral("Alt+");
    return prefix + name;
}

// ---- control ----

// Routes the widget's own events to its control. A scroll area (list, memo,
// grid) gets its mouse, context-menu and drag events from its viewport (the
// client area) and the rest from itself, so none arrives twice.
class TControl::EventFilter : public QObject {
public:
    explicit EventFilter(TControl *control) : control_(control) {}
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const bool hasViewport = qobject_cast<QAbstractScrollArea *>(control_->Widget()) != nullptr;
        if (hasViewport && ClientEvent(event->type()) != (watched != control_->Widget()))
            return false;
        return control_->ControlEvent(event);
    }

private:
    static bool ClientEvent(QEvent::Type type)
    {
        switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::ContextMenu:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::DragLeave:
        case QEvent::Drop: return true;
        default: return false;
        }
    }
    TControl *control_;
};

TControl::TControl(QWidget *self) : self_(self), filter_(std::make_unique<EventFilter>(this))
{
    self_->installEventFilter(filter_.get());
    if (auto *area = qobject_cast<QAbstractScrollArea *>(self_)) {
        area->viewport()->installEventFilter(filter_.get());
        area->viewport()->setAcceptDrops(true);
    }
    self_->setAcceptDrops(true);
}

TControl::~TControl()
{
    if (dragSource == this)
        dragSource = nullptr;
}

void TControl::SetName(const QString &name)
{
    TComponent::SetName(name);
    self_->setObjectName(name);
}

QString TControl::Name() const { return self_->objectName(); }

int TControl::Left() const { return self_->x(); }
int TControl::Top() const { return self_->y(); }
int TControl::Width() const { return self_->width(); }
int TControl::Height() const { return self_->height(); }

void TControl::SetBounds(int left, int top, int width, int height)
{
    self_->setGeometry(left, top, std::max(0, width), std::max(0, height));
    if (align_ != TAlign::alNone && self_->parentWidget())
        AlignChildren(self_->parentWidget());
}

void TControl::SetAlign(TAlign align)
{
    align_ = align;
    if (align_ != TAlign::alNone && self_->parentWidget())
        AlignChildren(self_->parentWidget());
}

void TControl::SetVisible(bool visible)
{
    self_->setVisible(visible);
    if (align_ != TAlign::alNone && self_->parentWidget())
        AlignChildren(self_->parentWidget());
}

void TControl::SetHint(const QString &hint)
{
    hint_ = hint;
    self_->setToolTip(hint.section(QLatin1Char('|'), 0, 0));
}

TColor TControl::FontColor() const { return QColorToColor(self_->palette().color(QPalette::WindowText)); }

void TControl::SetFontColor(TColor color)
{
    QPalette palette = self_->palette();
    const QColor c = ColorToQColor(color);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(role, c);
    self_->setPalette(palette);
}

void TControl::SetColor(TColor color)
{
    color_ = color;
    if (color == clDefault || color == clNone) {
        // No colour of its own: the parent shows through.
        self_->setAutoFillBackground(false);
        return;
    }
    QPalette palette = self_->palette();
    palette.setColor(QPalette::Window, ColorToQColor(color));
    self_->setPalette(palette);
    self_->setAutoFillBackground(true);
}

void TControl::SetCursor(TCursor cursor)
{
    cursor_ = cursor;
    if (cursor == crDefault)
        self_->unsetCursor();
    else
        self_->setCursor(CursorShape(cursor));
}

bool TControl::TabStop() const { return self_->focusPolicy() & Qt::TabFocus; }

void TControl::SetTabStop(bool tabStop)
{
    self_->setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::ClickFocus);
}

bool TControl::CanFocus() const
{
    return self_->isVisible() && self_->isEnabled() && self_->focusPolicy() != Qt::NoFocus;
}

bool TControl::Focused() const
{
    QWidget *focus = self_->window()->focusWidget();
    return focus && (focus == self_ || focus->focusProxy() == self_ || self_->isAncestorOf(focus));
}

void TControl::SetFocus() { self_->setFocus(Qt::OtherFocusReason); }

TControl *TControl::ParentControl() const
{
    return self_->isWindow() ? nullptr : FindControl(self_->parentWidget());
}

TControl *FindControl(QWidget *widget)
{
    for (; widget; widget = widget->parentWidget()) {
        if (auto *control = dynamic_cast<TControl *>(widget))
            return control;
        if (widget->isWindow())
            break;
    }
    return nullptr;
}

void TControl::AlignChildren(QWidget *parent)
{
    if (!parent || AligningParents().contains(parent))
        return;
    AligningParents().insert(parent);
    QRect r = parent->contentsRect();
    for (TAlign pass : {TAlign::alTop, TAlign::alBottom, TAlign::alLeft, TAlign::alRight, TAlign::alClient}) {
        for (QObject *child : parent->children()) {
            auto *w = qobject_cast<QWidget *>(child);
            auto *c = w ? dynamic_cast<TControl *>(w) : nullptr;
            if (!c || c->align_ != pass || w->isHidden() || w->isWindow())
                continue;
            const int h = w->height(), wd = w->width();
            switch (pass) {
            case TAlign::alTop:
                w->setGeometry(r.left(), r.top(), r.width(), h);
                r.setTop(r.top() + h);
                break;
            case TAlign::alBottom:
                w->setGeometry(r.left(), r.bottom() - h + 1, r.width(), h);
                r.setBottom(r.bottom() - h);
                break;
            case TAlign::alLeft:
                w->setGeometry(r.left(), r.top(), wd, r.height());
                r.setLeft(r.left() + wd);
                break;
            case TAlign::alRight:
                w->setGeometry(r.right() - wd + 1, r.top(), wd, r.height());
                r.setRight(r.right() - wd);
                break;
            default:
                w->setGeometry(r.left(), r.top(), std::max(0, r.width()), std::max(0, r.height()));
            }
        }
    }
    AligningParents().remove(parent);
}

TShiftState ShiftStateOf(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons)
{
    TShiftState s = 0;
    if (modifiers & Qt::ShiftModifier) s |= ssShift;
    if (modifiers & Qt::ControlModifier) s |= ssCtrl;
    if (modifiers & Qt::AltModifier) s |= ssAlt;
    if (buttons & Qt::LeftButton) s |= ssLeft;
    if (buttons & Qt::RightButton) s |= ssRight;
    if (buttons & Qt::MiddleButton) s |= ssMiddle;
    return s;
}

namespace {
TMouseButton ButtonOf(Qt::MouseButton button)
{
    return button == Qt::RightButton ? TMouseButton::mbRight
           : button == Qt::MiddleButton ? TMouseButton::mbMiddle
                                        : TMouseButton::mbLeft;
}
} // namespace

bool TControl::ControlEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        auto *me = static_cast<QMouseEvent *>(event);
        const QPoint p = me->position().toPoint();
        TShiftState shift = ShiftStateOf(me->modifiers(), me->buttons());
        if (event->type() == QEvent::MouseButtonDblClick) {
            shift |= ssDouble;
            Fire(OnDblClick, this);
        }
        if (OnMouseDown)
            DispatchEvent([&] { OnMouseDown(this, ButtonOf(me->button()), shift, p.x(), p.y()); });
        if (me->button() == Qt::LeftButton && dragMode_ == TDragMode::dmAutomatic) {
            dragArmed_ = true;
            dragStart_ = p;
        }
        return false;
    }
    case QEvent::MouseButtonRelease: {
        auto *me = static_cast<QMouseEvent *>(event);
        const QPoint p = me->position().toPoint();
        dragArmed_ = false;
        if (OnMouseUp)
            DispatchEvent([&] {
                OnMouseUp(this, ButtonOf(me->button()), ShiftStateOf(me->modifiers(), me->buttons()), p.x(), p.y());
            });
        return false;
    }
    case QEvent::MouseMove: {
        auto *me = static_cast<QMouseEvent *>(event);
        const QPoint p = me->position().toPoint();
        if (OnMouseMove)
            DispatchEvent([&] { OnMouseMove(this, ShiftStateOf(me->modifiers(), me->buttons()), p.x(), p.y()); });
        if (dragArmed_ && (p - dragStart_).manhattanLength() >= QApplication::startDragDistance()) {
            dragArmed_ = false;
            BeginDrag();
            return true;
        }
        return false;
    }
    case QEvent::FocusIn: {
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            Fire(OnEnter, this);
        return false;
    }
    case QEvent::FocusOut: {
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            Fire(OnExit, this);
        return false;
    }
    case QEvent::Resize:
        AlignChildren(self_);
        Fire(OnResize, this);
        return false;
    case QEvent::Show:
    case QEvent::Hide:
        if (align_ != TAlign::alNone && !self_->isWindow() && self_->parentWidget())
            AlignChildren(self_->parentWidget());
        if (event->type() == QEvent::Show)
            AlignChildren(self_);
        return false;
    case QEvent::ContextMenu: {
        auto *ce = static_cast<QContextMenuEvent *>(event);
        return ShowPopupMenu(ce->pos(), ce->globalPos());
    }
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *de = static_cast<QDragMoveEvent *>(event);
        if (!de->mimeData()->hasFormat(QLatin1String(kDragMime)))
            return false;
        bool accept = false;
        if (OnDragOver) {
            const QPoint p = de->position().toPoint();
            const TDragState state = event->type() == QEvent::DragEnter ? TDragState::dsDragEnter
                                                                        : TDragState::dsDragMove;
            accept = true;
            DispatchEvent([&] { OnDragOver(this, dragSource, p.x(), p.y(), state, accept); });
        }
        if (accept)
            de->acceptProposedAction();
        else
            de->ignore();
        return true;
    }
    case QEvent::DragLeave:
        if (dragSource && OnDragOver) {
            bool ignored = false;
            DispatchEvent([&] { OnDragOver(this, dragSource, -1, -1, TDragState::dsDragLeave, ignored); });
        }
        return false;
    case QEvent::Drop: {
        auto *de = static_cast<QDropEvent *>(event);
        if (!de->mimeData()->hasFormat(QLatin1String(kDragMime)))
            return false;
        const QPoint p = de->position().toPoint();
        if (OnDragDrop)
            DispatchEvent([&] { OnDragDrop(this, dragSource, p.x(), p.y()); });
        de->acceptProposedAction();
        return true;
    }
    default:
        return false;
    }
}

void TControl::BeginDrag()
{
    auto *mime = new QMimeData; // owned by the drag
    mime->setData(QLatin1String(kDragMime), Name().toUtf8());
    QDrag drag(self_);
    drag.setMimeData(mime);
    dragSource = this;
    drag.exec(Qt::MoveAction | Qt::CopyAction);
    Fire(OnEndDrag, this);
    dragSource = nullptr;
}

TControl *TControl::DragSource() { return dragSource; }

QMimeData *NewDragMimeData(TControl *source)
{
    auto *mime = new QMimeData;
    mime->setData(QLatin1String(kDragMime), source ? source->Name().toUtf8() : QByteArray());
    dragSource = source;
    return mime;
}

WORD VirtualKeyOf(int qtKey)
{
    if ((qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) || (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z))
        return WORD(qtKey);
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return WORD(VK_F1 + (qtKey - Qt::Key_F1));
    for (const KeyPair &k : kKeys)
        if (k.Qt == qtKey)
            return k.Vk;
    const QChar upper = QChar(char16_t(qtKey)).toUpper();
    for (const CyrillicKey &k : kCyrillicKeys)
        if (k.Letter == upper.unicode())
            return k.Key;
    return 0;
}

int QtKeyOf(WORD vk)
{
    if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z'))
        return vk;
    if (vk >= VK_F1 && vk <= VK_F1 + 23)
        return Qt::Key_F1 + (vk - VK_F1);
    if (vk == VK_ADD)
        return Qt::Key_Plus;
    if (vk == VK_SUBTRACT)
        return Qt::Key_Minus;
    for (const KeyPair &k : kKeys)
        if (k.Vk == vk)
            return k.Qt;
    return 0;
}

QCursor CursorShape(TCursor cursor)
{
    switch (cursor) {
    case crHourGlass: return QCursor(Qt::WaitCursor);
    case crHandPoint: return QCursor(Qt::PointingHandCursor);
    case crIBeam: return QCursor(Qt::IBeamCursor);
    case crCross: return QCursor(Qt::CrossCursor);
    case crSizeWE:
    case crHSplit: return QCursor(Qt::SplitHCursor);
    case crDrag: return QCursor(Qt::DragMoveCursor);
    case crNo: return QCursor(Qt::ForbiddenCursor);
    default: return QCursor(Qt::ArrowCursor);
    }
}

} // namespace zorbel
