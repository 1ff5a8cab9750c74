// The control base every window element shares, and the drawing canvas that
// owner-drawn controls paint cells and nodes with.
//
// A control is a Qt widget that also derives from TControl (a mixin): TButton
// is a QPushButton and a TControl. TControl gives it the program's vocabulary
// (Name, Tag, Hint, bounds, Align, Font, Color, PopupMenu) and the events the
// windows bind (OnClick, OnKeyDown, OnMouseDown, OnDragDrop ...). Every event
// runs through DispatchEvent, which catches a failure inside the handler and
// shows it as the application's error message (EAbort silently), so an
// exception never crosses Qt's event loop.
//
// Keys are not handled here but by the application's key router (FormsKeys.cpp):
// it finds the focused control, consults popup and main-menu shortcuts, the
// form's key preview, then the control's OnKeyDown and OnKeyPress.
//
// Aligned children (alTop, alBottom, alLeft, alRight, alClient) are laid out
// by their parent whenever it resizes or an aligned child changes: alTop first,
// then alBottom, alLeft, alRight, each taking its strip of the space left, and
// alClient the rest, each group in creation order.
#pragma once

#include "platform/widgets/Classes.h"

#include <QFont>
#include <QFontMetrics>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QWidget>
#include <memory>

class QPainter;
class QMimeData;

namespace zorbel {

class TForm;
class TPopupMenu;

enum class TMouseButton { mbLeft, mbRight, mbMiddle };
enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum class TDragMode { dmManual, dmAutomatic };
enum class TDragState { dsDragEnter, dsDragLeave, dsDragMove };

using TKeyEvent = std::function<void(TObject *Sender, WORD &Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TObject *Sender, QChar &Key)>;
using TMouseEvent =
    std::function<void(TObject *Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject *Sender, TShiftState Shift, int X, int Y)>;
using TContextPopupEvent = std::function<void(TObject *Sender, QPoint MousePos, bool &Handled)>;
using TDragOverEvent = std::function<void(TObject *Sender, TObject *Source, int X, int Y,
                                          TDragState State, bool &Accept)>;
using TDragDropEvent = std::function<void(TObject *Sender, TObject *Source, int X, int Y)>;

// Runs an event handler. A failure inside it is shown through the application
// (Application().HandleException); EAbort is swallowed silently. Returns false
// when the handler failed.
bool DispatchEvent(const std::function<void()> &handler);

// Calls a notify event through the dispatcher when it is assigned.
inline void Fire(const TNotifyEvent &event, TObject *sender)
{
    if (event)
        DispatchEvent([&] { event(sender); });
}

// The font, or the largest smaller one (in half points, down to smallest
// points) in which Needed(metrics) is at most Width: the one rule by which a
// text holding a figure is drawn whole where its box is too narrow, instead
// of losing digits at the box's edge. The result may still be too wide when
// even the smallest size is; callers that cannot widen the box check it.
QFont FontToFit(const QFont &font, int width, const std::function<int(const QFontMetrics &)> &needed,
                double smallest = 6);

// Cursor shapes the program sets.
using TCursor = int;
constexpr TCursor crDefault = 0, crArrow = -2, crCross = -3, crIBeam = -4, crSizeWE = -9,
                  crHourGlass = -11, crDrag = -12, crNo = -18, crHSplit = -14, crHandPoint = -21;

// The control base (a mixin beside the Qt widget class).
class TControl : public TComponent {
public:
    explicit TControl(QWidget *self);
    ~TControl() override;

    QWidget *Widget() const { return self_; }
    void SetName(const QString &name) override;
    QString Name() const override;

    virtual int Left() const;
    virtual int Top() const;
    virtual int Width() const;
    virtual int Height() const;
    virtual void SetBounds(int left, int top, int width, int height);
    void SetLeft(int left) { SetBounds(left, Top(), Width(), Height()); }
    void SetTop(int top) { SetBounds(Left(), top, Width(), Height()); }
    void SetWidth(int width) { SetBounds(Left(), Top(), width, Height()); }
    void SetHeight(int height) { SetBounds(Left(), Top(), Width(), height); }
    int ClientWidth() const { return self_->contentsRect().width(); }
    int ClientHeight() const { return self_->contentsRect().height(); }
    QPoint ScreenToClient(QPoint p) const { return self_->mapFromGlobal(p); }
    QPoint ClientToScreen(QPoint p) const { return self_->mapToGlobal(p); }

    TAlign Align() const { return align_; }
    void SetAlign(TAlign align);

    // Visible is the control's own flag; Showing also needs every parent shown.
    bool Visible() const { return !self_->isHidden(); }
    virtual void SetVisible(bool visible);
    bool Showing() const { return self_->isVisible(); }
    bool Enabled() const { return self_->isEnabled(); }
    void SetEnabled(bool enabled) { self_->setEnabled(enabled); }

    QString Hint() const { return hint_; }
    void SetHint(const QString &hint);

    QFont Font() const { return self_->font(); }
    void SetFont(const QFont &font) { self_->setFont(font); }
    TColor FontColor() const;
    void SetFontColor(TColor color);
    TColor Color() const { return color_; }
    virtual void SetColor(TColor color);

    TCursor Cursor() const { return cursor_; }
    void SetCursor(TCursor cursor);

    TPopupMenu *PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(TPopupMenu *menu) { popupMenu_ = menu; }

    bool TabStop() const;
    void SetTabStop(bool tabStop);
    bool CanFocus() const;
    bool Focused() const;
    virtual void SetFocus();

    // The form the control lies on (the form itself for a form).
    TForm *ParentForm() const;
    TControl *ParentControl() const;

    void Repaint() { self_->repaint(); }
    void Invalidate() { self_->update(); }

    // Fires OnClick as a user's click would.
    virtual void Click() { Fire(OnClick, this); }

    // Drag and drop between controls. With automatic mode a left-button drag
    // starts by itself; BeginDrag starts one from a mouse handler.
    TDragMode DragMode() const { return dragMode_; }
    void SetDragMode(TDragMode mode) { dragMode_ = mode; }
    void BeginDrag();
    // The control being dragged, while a drag is in progress.
    static TControl *DragSource();

    // Enter goes to the control instead of the form's default button.
    virtual bool WantsReturn() const { return false; }
    // A key that an in-place editor of the control (the focused widget
    // inside it) keeps for itself: it reaches neither shortcuts, dialog
    // buttons nor the control's key events.
    virtual bool EditorTakesKey(const QWidget *, WORD) const { return false; }

    TNotifyEvent OnClick, OnDblClick, OnEnter, OnExit, OnResize;
    TKeyEvent OnKeyDown, OnKeyUp;
    TKeyPressEvent OnKeyPress;
    TMouseEvent OnMouseDown, OnMouseUp;
    TMouseMoveEvent OnMouseMove;
    TContextPopupEvent OnContextPopup;
    TDragOverEvent OnDragOver;
    TDragDropEvent OnDragDrop;
    TNotifyEvent OnEndDrag;

    // Lays out the aligned children of a widget.
    static void AlignChildren(QWidget *parent);

protected:
    // Event hook for the control: return true to consume the event.
    virtual bool ControlEvent(QEvent *event);
    // Qt's own context menu of the widget is replaced by PopupMenu.
    bool ShowPopupMenu(QPoint localPos, QPoint globalPos);

private:
    class EventFilter;
    QWidget *self_;
    std::unique_ptr<EventFilter> filter_;
    QString hint_;
    TAlign align_ = TAlign::alNone;
    TColor color_ = clDefault;
    TCursor cursor_ = crDefault;
    TPopupMenu *popupMenu_ = nullptr;
    TDragMode dragMode_ = TDragMode::dmManual;
    QPoint dragStart_;
    bool dragArmed_ = false;
};

// The nearest control at or above a widget (nullptr when there is none).
TControl *FindControl(QWidget *widget);

// Gives the form a control lies on a modal result, as a clicked button with a
// ModalResult does; nothing when the control lies on no form. The form layer
// defines it, so controls need not know forms.
void SetParentModalResult(TControl *control, int result);

// The drag data of a drag of source; it also becomes the drag source. Drops
// built with it (by a test or a drag started elsewhere) reach OnDragDrop.
QMimeData *NewDragMimeData(TControl *source);

// Shift state of Qt modifiers and mouse buttons.
TShiftState ShiftStateOf(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons = Qt::NoButton);
// Virtual key code of a Qt key; Russian-layout letters map to the key that
// carries them (Ф is 'A'), as the keyboard reports them.
WORD VirtualKeyOf(int qtKey);
// The Qt key of a virtual key code.
int QtKeyOf(WORD virtualKey);

QCursor CursorShape(TCursor cursor);

} // namespace zorbel
