// Panels, splitters, images and timers.
#include "platform/widgets/ExtCtrls.h"

#include <QMouseEvent>
#include <QPainter>

namespace zorbel {

namespace {
template <class T> void Init(T *control, const QString &name)
{
    if (!name.isEmpty())
        control->SetName(name);
}

// Click fired on a left-button release inside the control.
bool ClickOnRelease(TControl *control, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        auto *me = static_cast<QMouseEvent *>(event);
        if (me->button() == Qt::LeftButton && control->Widget()->rect().contains(me->position().toPoint()))
            control->Click();
    }
    return false;
}
} // namespace

// ---- panel ----

TPanel::TPanel(QWidget *parent, const QString &name) : QFrame(parent), TControl(this)
{
    Init(this, name);
    UpdateFrame();
}

void TPanel::SetCaption(const QString &caption)
{
    caption_ = caption;
    update();
}

void TPanel::SetAlignment(TAlignment alignment)
{
    alignment_ = alignment;
    update();
}

void TPanel::SetBevelOuter(TBevelCut cut)
{
    outer_ = cut;
    UpdateFrame();
}

void TPanel::SetBevelInner(TBevelCut cut)
{
    inner_ = cut;
    UpdateFrame();
}

void TPanel::SetBorderWidth(int width)
{
    borderWidth_ = width;
    UpdateFrame();
}

void TPanel::UpdateFrame()
{
    const TBevelCut cut = outer_ != TBevelCut::bvNone ? outer_ : inner_;
    setFrameShape(cut == TBevelCut::bvNone ? QFrame::NoFrame : QFrame::Panel);
    setFrameShadow(cut == TBevelCut::bvLowered ? QFrame::Sunken : QFrame::Raised);
    setLineWidth(1);
    const int bevels = (outer_ != TBevelCut::bvNone) + (inner_ != TBevelCut::bvNone);
    const int extra = borderWidth_ + (bevels > 1 ? 1 : 0);
    setContentsMargins(extra, extra, extra, extra);
    AlignChildren(this);
}

void TPanel::SetColor(TColor color) { TControl::SetColor(color); }

void TPanel::paintEvent(QPaintEvent *event)
{
    QFrame::paintEvent(event);
    if (caption_.isEmpty())
        return;
    QPainter painter(this);
    const Qt::Alignment h = alignment_ == TAlignment::taCenter       ? Qt::AlignHCenter
                            : alignment_ == TAlignment::taRightJustify ? Qt::AlignRight
                                                                      : Qt::AlignLeft;
    painter.setPen(palette().color(QPalette::WindowText));
    painter.setFont(CaptionFont());
    painter.drawText(contentsRect().adjusted(2, 0, -2, 0), int(h | Qt::AlignVCenter), caption_);
}

QFont TPanel::CaptionFont() const
{
    const int room = contentsRect().width() - 4;
    return FontToFit(font(), room, [this](const QFontMetrics &fm) { return fm.horizontalAdvance(caption_); });
}

bool TPanel::ControlEvent(QEvent *event)
{
    ClickOnRelease(this, event);
    return TControl::ControlEvent(event);
}

// ---- splitter ----

TSplitter::TSplitter(QWidget *parent, const QString &name) : QWidget(parent), TControl(this)
{
    Init(this, name);
    resize(3, 3);
    SetCursor(crHSplit);
}

TControl *TSplitter::Target() const
{
    // The aligned sibling touching the splitter on its aligned side.
    QWidget *parent = parentWidget();
    if (!parent)
        return nullptr;
    for (QObject *child : parent->children()) {
        auto *w = qobject_cast<QWidget *>(child);
        auto *c = w ? dynamic_cast<TControl *>(w) : nullptr;
        if (!c || c == this || w->isHidden() || c->Align() != Align())
            continue;
        if ((Align() == TAlign::alLeft && w->geometry().right() + 1 == x()) ||
            (Align() == TAlign::alRight && w->x() == geometry().right() + 1) ||
            (Align() == TAlign::alTop && w->geometry().bottom() + 1 == y()) ||
            (Align() == TAlign::alBottom && w->y() == geometry().bottom() + 1))
            return c;
    }
    return nullptr;
}

bool TSplitter::ControlEvent(QEvent *event)
{
    const bool horizontal = Align() == TAlign::alLeft || Align() == TAlign::alRight;
    if (event->type() == QEvent::Show || event->type() == QEvent::Resize)
        setCursor(horizontal ? Qt::SplitHCursor : Qt::SplitVCursor);
    if (event->type() == QEvent::MouseButtonPress) {
        auto *me = static_cast<QMouseEvent *>(event);
        if (TControl *t = Target()) {
            pressPos_ = horizontal ? int(me->globalPosition().x()) : int(me->globalPosition().y());
            startSize_ = horizontal ? t->Width() : t->Height();
        }
    } else if (event->type() == QEvent::MouseMove && pressPos_ >= 0) {
        auto *me = static_cast<QMouseEvent *>(event);
        TControl *t = Target();
        if (t) {
            int delta = (horizontal ? int(me->globalPosition().x()) : int(me->globalPosition().y())) - pressPos_;
            if (Align() == TAlign::alRight || Align() == TAlign::alBottom)
                delta = -delta;
            const int size = std::max(minSize_, startSize_ + delta);
            if (horizontal)
                t->SetWidth(size);
            else
                t->SetHeight(size);
        }
    } else if (event->type() == QEvent::MouseButtonRelease && pressPos_ >= 0) {
        pressPos_ = -1;
        Fire(OnMoved, this);
    }
    return TControl::ControlEvent(event);
}

// ---- image ----

TImage::TImage(QWidget *parent, const QString &name) : QLabel(parent), TControl(this)
{
    Init(this, name);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void TImage::SetPicture(const QPixmap &picture)
{
    picture_ = picture;
    setPixmap(picture);
}

void TImage::SetStretch(bool stretch) { setScaledContents(stretch); }

void TImage::SetTransparent(bool transparent) { setAutoFillBackground(!transparent); }

bool TImage::ControlEvent(QEvent *event)
{
    ClickOnRelease(this, event);
    return TControl::ControlEvent(event);
}

// ---- timer ----

TTimer::TTimer(QObject *owner, const QString &name) : QObject(owner)
{
    if (!name.isEmpty())
        SetName(name);
    timer_.setInterval(1000);
    connect(&timer_, &QTimer::timeout, this, [this] { Fire(OnTimer, this); });
    Restart();
}

void TTimer::SetEnabled(bool enabled)
{
    enabled_ = enabled;
    Restart();
}

void TTimer::SetInterval(int ms)
{
    timer_.setInterval(ms);
    Restart();
}

void TTimer::Restart()
{
    if (enabled_ && timer_.interval() > 0)
        timer_.start();
    else
        timer_.stop();
}

} // namespace zorbel
