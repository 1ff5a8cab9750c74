// Page control, tab control, status bar, up-down, progress bar, image list.
#include "platform/widgets/ComCtrls.h"

#include "platform/widgets/StdCtrls.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStackedWidget>
#include <QStyle>
#include <QStyleOption>
#include <QTabBar>
#include <QToolButton>

namespace zorbel {

namespace {
template <class T> void Init(T *control, const QString &name)
{
    if (!name.isEmpty())
        control->SetName(name);
}
} // namespace

// ---- page control ----

TTabSheet::TTabSheet(TPageControl *pageControl, const QString &name)
    : QWidget(nullptr), TControl(this), pageControl_(pageControl)
{
    Init(this, name);
    pageControl->AddPage(this);
}

void TTabSheet::SetCaption(const QString &caption)
{
    caption_ = caption;
    pageControl_->UpdateTabs();
}

void TTabSheet::SetTabVisible(bool visible)
{
    tabVisible_ = visible;
    pageControl_->UpdateTabs();
}

int TTabSheet::PageIndex() const
{
    const auto &pages = pageControl_->pages_;
    return int(std::find(pages.begin(), pages.end(), this) - pages.begin());
}

TPageControl::TPageControl(QWidget *parent, const QString &name)
    : QWidget(parent), TControl(this), tabs_(new QTabBar(this)), stack_(new QStackedWidget(this))
{
    Init(this, name);
    tabs_->setDrawBase(true);
    tabs_->setExpanding(false);
    connect(tabs_, &QTabBar::currentChanged, this, [this](int tab) {
        if (updating_ || tab < 0)
            return;
        auto *page = static_cast<TTabSheet *>(tabs_->tabData(tab).value<void *>());
        bool allow = true;
        if (OnChanging)
            DispatchEvent([&] { OnChanging(this, allow); });
        if (!allow) {
            UpdateTabs();
            return;
        }
        stack_->setCurrentWidget(page);
        Fire(OnChange, this);
    });
}

void TPageControl::AddPage(TTabSheet *page)
{
    pages_.push_back(page);
    stack_->addWidget(page);
    UpdateTabs();
}

void TPageControl::UpdateTabs()
{
    updating_ = true;
    while (tabs_->count())
        tabs_->removeTab(0);
    for (TTabSheet *page : pages_)
        if (page->TabVisible()) {
            const int tab = tabs_->addTab(page->Caption());
            tabs_->setTabData(tab, QVariant::fromValue<void *>(page));
            if (page == ActivePage())
                tabs_->setCurrentIndex(tab);
        }
    tabs_->setVisible(tabs_->count() > 0);
    const int top = tabs_->count() ? tabs_->sizeHint().height() : 0;
    tabs_->setGeometry(0, 0, width(), top);
    stack_->setGeometry(0, top, width(), height() - top);
    updating_ = false;
}

TTabSheet *TPageControl::ActivePage() const { return static_cast<TTabSheet *>(stack_->currentWidget()); }

void TPageControl::SetActivePage(TTabSheet *page)
{
    if (!page)
        return;
    stack_->setCurrentWidget(page);
    UpdateTabs();
}

int TPageControl::ActivePageIndex() const { return ActivePage() ? ActivePage()->PageIndex() : -1; }

void TPageControl::SetActivePageIndex(int index)
{
    if (index >= 0 && index < PageCount())
        SetActivePage(pages_[index]);
}

bool TPageControl::ControlEvent(QEvent *event)
{
    if (event->type() == QEvent::Resize)
        UpdateTabs();
    return TControl::ControlEvent(event);
}

// ---- tab control ----

TTabControl::TTabControl(QWidget *parent, const QString &name) : QWidget(parent), TControl(this), tabs_(new QTabBar(this))
{
    Init(this, name);
    tabs_->setExpanding(false);
    connect(tabs_, &QTabBar::currentChanged, this, [this] {
        if (!updating_)
            Fire(OnChange, this);
    });
}

QStringList TTabControl::Tabs() const
{
    QStringList list;
    for (int i = 0; i < tabs_->count(); ++i)
        list << tabs_->tabText(i);
    return list;
}

void TTabControl::SetTabs(const QStringList &tabs)
{
    updating_ = true;
    while (tabs_->count())
        tabs_->removeTab(0);
    for (const QString &t : tabs)
        tabs_->addTab(t);
    updating_ = false;
    const int h = tabs_->sizeHint().height();
    tabs_->setGeometry(0, 0, width(), h);
    setContentsMargins(2, h + 2, 2, 2);
    AlignChildren(this);
}

int TTabControl::TabIndex() const { return tabs_->currentIndex(); }

void TTabControl::SetTabIndex(int index)
{
    updating_ = true;
    tabs_->setCurrentIndex(index);
    updating_ = false;
}

bool TTabControl::ControlEvent(QEvent *event)
{
    if (event->type() == QEvent::Resize)
        tabs_->setGeometry(0, 0, width(), tabs_->sizeHint().height());
    return TControl::ControlEvent(event);
}

// ---- status bar ----

TStatusBar::TStatusBar(QWidget *parent, const QString &name) : QWidget(parent), TControl(this)
{
    Init(this, name);
    resize(width(), fontMetrics().height() + 6);
}

namespace {

// Each panel is drawn 2 pixels narrower than its width (the gap to the next)
// and its text 3 pixels inside the frame on either side.
constexpr int PanelGap = 2, TextMargin = 3;

} // namespace

void TStatusBar::Changed()
{
    textFontValid_ = false;
    update();
}

void TStatusBar::AddPanel(int width, const QString &text)
{
    panels_.push_back({text, width});
    Changed();
}

void TStatusBar::SetPanelText(int index, const QString &text)
{
    panels_.at(index).Text = text;
    Changed();
}

void TStatusBar::SetPanelWidth(int index, int width)
{
    panels_.at(index).Width = std::max(0, width);
    Changed();
}

void TStatusBar::SetPanelAlignment(int index, TAlignment alignment)
{
    panels_.at(index).Alignment = alignment;
    update();
}

namespace {

int TextWidth(const QFontMetrics &fm, const QString &text)
{
    return text.isEmpty() ? 0 : fm.horizontalAdvance(text) + 2 * TextMargin + PanelGap + 1;
}

} // namespace

int TStatusBar::TextPanelWidth(const QString &text) const { return TextWidth(fontMetrics(), text); }

int TStatusBar::DrawnWidth(int index, const QFontMetrics &fm) const
{
    const TStatusPanel &p = panels_.at(size_t(index));
    return std::max(p.Width, TextWidth(fm, p.Text));
}

int TStatusBar::PanelsWidth(const QFontMetrics &fm) const
{
    int total = 0;
    for (int i = 0; i < PanelCount(); ++i)
        total += DrawnWidth(i, fm);
    return total;
}

QFont TStatusBar::TextFont() const
{
    if (!textFontValid_) {
        textFont_ = FontToFit(font(), width(), [this](const QFontMetrics &fm) { return PanelsWidth(fm); });
        textFontValid_ = true;
    }
    return textFont_;
}

QRect TStatusBar::PanelRect(int index) const
{
    const QFontMetrics fm(TextFont());
    int left = 0;
    for (int i = 0; i < index; ++i)
        left += DrawnWidth(i, fm);
    const bool last = index + 1 == PanelCount();
    const int w = last ? std::max(DrawnWidth(index, fm), width() - left) : DrawnWidth(index, fm);
    return QRect(left, 0, w, height());
}

QRect TStatusBar::PanelTextRect(int index) const
{
    return PanelRect(index).adjusted(TextMargin, 0, -PanelGap - TextMargin, 0);
}

void TStatusBar::SetSimplePanel(bool simple)
{
    simple_ = simple;
    update();
}

void TStatusBar::SetSimpleText(const QString &text)
{
    simpleText_ = text;
    update();
}

int TStatusBar::PanelAt(QPoint pos) const
{
    if (simple_ || !rect().contains(pos))
        return -1;
    for (int i = 0; i < PanelCount(); ++i) {
        const QRect r = PanelRect(i);
        if (pos.x() >= r.left() && (i + 1 == PanelCount() || pos.x() <= r.right()))
            return i;
    }
    return -1;
}

void TStatusBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QStyleOptionFrame frame;
    frame.initFrom(this);
    frame.lineWidth = 1;
    frame.frameShape = QFrame::Panel;
    frame.state |= QStyle::State_Sunken;
    painter.setPen(palette().color(QPalette::WindowText));
    auto draw = [&](const QRect &r, const QRect &textRect, const QString &text, TAlignment a) {
        frame.rect = r;
        style()->drawPrimitive(QStyle::PE_Frame, &frame, &painter, this);
        const int h = a == TAlignment::taRightJustify ? int(Qt::AlignRight)
                      : a == TAlignment::taCenter     ? int(Qt::AlignHCenter)
                                                      : int(Qt::AlignLeft);
        painter.drawText(textRect, h | int(Qt::AlignVCenter), text);
    };
    if (simple_) {
        draw(rect(), rect().adjusted(TextMargin, 0, -TextMargin, 0), simpleText_, TAlignment::taLeftJustify);
        return;
    }
    painter.setFont(TextFont());
    for (int i = 0; i < PanelCount(); ++i)
        draw(PanelRect(i).adjusted(0, 0, -PanelGap, 0), PanelTextRect(i), panels_[size_t(i)].Text,
             panels_[size_t(i)].Alignment);
}

bool TStatusBar::ControlEvent(QEvent *event)
{
    if (event->type() == QEvent::Resize || event->type() == QEvent::Show)
        textFontValid_ = false;
    if (event->type() == QEvent::FontChange) {
        textFontValid_ = false;
        // A larger font chosen in the settings makes the bar taller with it.
        const int h = fontMetrics().height() + 6;
        if (h != height())
            SetBounds(Left(), Top(), Width(), h);
    }
    if (event->type() == QEvent::MouseButtonRelease) {
        auto *me = static_cast<QMouseEvent *>(event);
        if (me->button() == Qt::LeftButton && rect().contains(me->position().toPoint()))
            Click();
    }
    return TControl::ControlEvent(event);
}

// ---- up-down ----

TUpDown::TUpDown(QWidget *parent, const QString &name)
    : QWidget(parent), TControl(this), up_(new QToolButton(this)), down_(new QToolButton(this))
{
    Init(this, name);
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    up_->setAutoRepeat(true);
    down_->setAutoRepeat(true);
    up_->setFocusPolicy(Qt::NoFocus);
    down_->setFocusPolicy(Qt::NoFocus);
    connect(up_, &QToolButton::clicked, this, [this] { Step(TUDBtnType::btNext); });
    connect(down_, &QToolButton::clicked, this, [this] { Step(TUDBtnType::btPrev); });
    resize(16, 24);
    SetOrientation(TUDOrientation::udVertical);
}

bool TUpDown::ControlEvent(QEvent *event)
{
    if (event->type() == QEvent::Resize)
        SetOrientation(orientation_);
    return TControl::ControlEvent(event);
}

void TUpDown::SetOrientation(TUDOrientation orientation)
{
    orientation_ = orientation;
    const int w = width(), h = height();
    if (orientation == TUDOrientation::udVertical) {
        up_->setGeometry(0, 0, w, h / 2);
        down_->setGeometry(0, h / 2, w, h - h / 2);
    } else {
        up_->setArrowType(Qt::RightArrow);
        down_->setArrowType(Qt::LeftArrow);
        down_->setGeometry(0, 0, w / 2, h);
        up_->setGeometry(w / 2, 0, w - w / 2, h);
    }
}

void TUpDown::SetPosition(int position)
{
    position_ = std::clamp(position, std::min(min_, max_), std::max(min_, max_));
    if (auto *edit = dynamic_cast<TEdit *>(associate_))
        edit->SetText(QString::number(position_));
}

void TUpDown::SetAssociate(QWidget *edit)
{
    associate_ = edit;
    SetPosition(position_);
}

void TUpDown::Step(TUDBtnType button)
{
    // The arrows step from the number the edit shows, which may have been
    // typed since the position was last set.
    if (auto *edit = dynamic_cast<TEdit *>(associate_)) {
        bool ok = false;
        const int shown = edit->Text().trimmed().toInt(&ok);
        if (ok)
            position_ = std::clamp(shown, std::min(min_, max_), std::max(min_, max_));
    }
    int next = position_ + (button == TUDBtnType::btNext ? increment_ : -increment_);
    if (wrap_) {
        if (next > max_) next = min_;
        if (next < min_) next = max_;
    }
    SetPosition(next);
    if (OnClick)
        DispatchEvent([&] { OnClick(this, button); });
}

// ---- progress bar, image list ----

TProgressBar::TProgressBar(QWidget *parent, const QString &name) : QProgressBar(parent), TControl(this)
{
    Init(this, name);
    setTextVisible(false);
}

int TImageList::Add(const QPixmap &image)
{
    images_.push_back(image.size() == QSize(width_, height_) ? image
                                                             : image.scaled(width_, height_, Qt::IgnoreAspectRatio,
                                                                            Qt::SmoothTransformation));
    return Count() - 1;
}

} // namespace zorbel
