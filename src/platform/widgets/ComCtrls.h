// Common controls: page control with tab sheets, tab control, status bar,
// up-down, progress bar and the image list.
//
// The page control keeps its tab bar and its pages apart, so a page whose tab
// is hidden can still be the active page: the main window switches such
// pages from its buttons, with no tab shown at all. The tab control is tabs
// without pages: its children sit below the tabs and stay the same whichever
// tab is chosen.
#pragma once

#include "platform/dataset/DBTypes.h" // TAlignment, shared with fields
#include "platform/widgets/Controls.h"

#include <QProgressBar>
#include <QWidget>
#include <vector>

class QTabBar;
class QStackedWidget;
class QToolButton;

namespace zorbel {

class TPageControl;

class TTabSheet : public QWidget, public TControl {
    Q_OBJECT
public:
    // The sheet becomes the last page of the control.
    TTabSheet(TPageControl *pageControl, const QString &name = {});
    QString Caption() const { return caption_; }
    void SetCaption(const QString &caption);
    bool TabVisible() const { return tabVisible_; }
    void SetTabVisible(bool visible);
    int PageIndex() const;
    TPageControl *PageControl() const { return pageControl_; }

private:
    TPageControl *pageControl_;
    QString caption_;
    bool tabVisible_ = true;
};

using TTabChangingEvent = std::function<void(TObject *Sender, bool &AllowChange)>;

class TPageControl : public QWidget, public TControl {
    Q_OBJECT
public:
    explicit TPageControl(QWidget *parent, const QString &name = {});
    int PageCount() const { return int(pages_.size()); }
    TTabSheet *Pages(int index) const { return pages_.at(index); }
    TTabSheet *ActivePage() const;
    // Changing the page from code fires neither OnChanging nor OnChange.
    void SetActivePage(TTabSheet *page);
    int ActivePageIndex() const;
    void SetActivePageIndex(int index);

    TTabChangingEvent OnChanging;
    TNotifyEvent OnChange;

protected:
    bool ControlEvent(QEvent *event) override;

private:
    friend class TTabSheet;
    void AddPage(TTabSheet *page);
    void UpdateTabs();
    QTabBar *tabs_;
    QStackedWidget *stack_;
    std::vector<TTabSheet *> pages_;
    bool updating_ = false;
};

class TTabControl : public QWidget, public TControl {
    Q_OBJECT
public:
    explicit TTabControl(QWidget *parent, const QString &name = {});
    QStringList Tabs() const;
    void SetTabs(const QStringList &tabs);
    int TabIndex() const;
    // Setting the index from code fires nothing.
    void SetTabIndex(int index);

    TNotifyEvent OnChange;

protected:
    bool ControlEvent(QEvent *event) override;

private:
    QTabBar *tabs_;
    bool updating_ = false;
};

// A status bar of panels of set widths; the last panel takes the rest. A
// panel whose text is wider than its width widens to hold it whole (the
// panels after it move right), so a figure never loses digits at its edge.
// When the bar is too narrow for every panel so widened, its texts are drawn
// in a font reduced just enough that all fit (down to 6 points). The bar's
// height follows its font.
class TStatusBar : public QWidget, public TControl {
    Q_OBJECT
public:
    struct TStatusPanel {
        QString Text;
        int Width = 50;
        TAlignment Alignment = TAlignment::taLeftJustify;
    };
    explicit TStatusBar(QWidget *parent, const QString &name = {});
    int PanelCount() const { return int(panels_.size()); }
    void AddPanel(int width, const QString &text = {});
    QString PanelText(int index) const { return panels_.at(index).Text; }
    void SetPanelText(int index, const QString &text);
    int PanelWidth(int index) const { return panels_.at(index).Width; }
    void SetPanelWidth(int index, int width);
    void SetPanelAlignment(int index, TAlignment alignment);
    // The width a panel needs to show Text whole in the bar's font.
    int TextPanelWidth(const QString &text) const;
    // The font the texts are drawn in: the bar's own, or smaller to fit.
    QFont TextFont() const;
    // Where a panel is drawn: its set width, or wider for its text.
    QRect PanelRect(int index) const;
    // The rectangle inside a panel that its text is drawn in.
    QRect PanelTextRect(int index) const;
    // One text over the whole bar instead of the panels.
    void SetSimplePanel(bool simple);
    void SetSimpleText(const QString &text);
    // Panel under a point of the bar, -1 outside.
    int PanelAt(QPoint pos) const;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool ControlEvent(QEvent *event) override;

private:
    int DrawnWidth(int index, const QFontMetrics &fm) const;
    int PanelsWidth(const QFontMetrics &fm) const;
    void Changed();
    std::vector<TStatusPanel> panels_;
    mutable QFont textFont_;
    mutable bool textFontValid_ = false;
    bool simple_ = false;
    QString simpleText_;
};

enum class TUDBtnType { btNext, btPrev };
enum class TUDOrientation { udVertical, udHorizontal };
using TUDClickEvent = std::function<void(TObject *Sender, TUDBtnType Button)>;

// Two arrow buttons stepping Position between Min and Max; with an associated
// edit the edit shows the position.
class TUpDown : public QWidget, public TControl {
    Q_OBJECT
public:
    explicit TUpDown(QWidget *parent, const QString &name = {});
    int Position() const { return position_; }
    void SetPosition(int position);
    void SetMin(int min) { min_ = min; SetPosition(position_); }
    void SetMax(int max) { max_ = max; SetPosition(position_); }
    int Min() const { return min_; }
    int Max() const { return max_; }
    void SetIncrement(int increment) { increment_ = increment; }
    void SetWrap(bool wrap) { wrap_ = wrap; }
    void SetOrientation(TUDOrientation orientation);
    // The edit that shows the position.
    void SetAssociate(QWidget *edit);
    // Steps as a press of the button would: Position moves, then OnClick.
    void Step(TUDBtnType button);

    TUDClickEvent OnClick;

protected:
    bool ControlEvent(QEvent *event) override;

private:
    TUDOrientation orientation_ = TUDOrientation::udVertical;
    QToolButton *up_, *down_;
    QWidget *associate_ = nullptr;
    int min_ = 0, max_ = 100, position_ = 0, increment_ = 1;
    bool wrap_ = false;
};

class TProgressBar : public QProgressBar, public TControl {
    Q_OBJECT
public:
    explicit TProgressBar(QWidget *parent, const QString &name = {});
    int Position() const { return value(); }
    void SetPosition(int position) { setValue(position); }
    void SetMin(int min) { setMinimum(min); }
    void SetMax(int max) { setMaximum(max); }
    void SetStep(int step) { step_ = step; }
    void StepIt() { setValue(value() + step_ > maximum() ? minimum() : value() + step_); }

private:
    int step_ = 10;
};

// Glyphs of one size, by index.
class TImageList : public TComponent {
public:
    TImageList(int width = 16, int height = 16) : width_(width), height_(height) {}
    int Width() const { return width_; }
    int Height() const { return height_; }
    int Count() const { return int(images_.size()); }
    // Adds a glyph scaled to the list's size; returns its index.
    int Add(const QPixmap &image);
    QPixmap GetBitmap(int index) const { return images_.at(index); }
    void Clear() { images_.clear(); }

private:
    int width_, height_;
    std::vector<QPixmap> images_;
};

} // namespace zorbel
