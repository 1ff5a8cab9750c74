// The data grid: TDBGrid shows a dataset through a data link, one row per
// record, and TKDBGrid adds the program's wheel and mouse rules.
//
// The grid never copies the dataset. Its item model has exactly the rows of
// the link's buffer window (the records the view has room for), and a cell
// is read by making its buffer the dataset's active record for the moment
// of the read, so that field values, calculated fields and OnDrawColumnCell
// handlers see the row being drawn. Painting thus writes the dataset's
// active record, so while a run on another thread walks the dataset
// (TDataSet::WalkedByRun) the grid leaves it alone: its cells are painted
// blank, without OnDrawColumnCell, and a resize waits; the run's end
// re-enables the dataset's controls, which repaints the rows. The
// current record is always one of the shown rows: moving through the grid
// (keys, clicks, the vertical scroll bar, the wheel) moves the dataset, and
// the window follows it. The vertical scroll bar is the grid's own: its range
// is the record count and its position the record number when the dataset is
// sequenced, else five positions (first, upper, middle, lower, last).
//
// Columns. Without columns of its own the grid shows one default column per
// visible field, in field order, rebuilt whenever the dataset's layout
// changes. Adding a column makes the set customised: from then on the grid
// shows exactly the columns added. Column indexes count hidden columns.
//
// Cell drawing. Every cell goes through DrawCell: the canvas gets the
// grid's colours for the cell's state (highlight for selected cells), then
// DefaultDrawColumnCell writes the field's display text unless
// DefaultDrawing is off, then OnDrawColumnCell may paint over it. Only the
// cells of the shown rows are ever drawn. A figure (a number, a date or a
// time) is drawn whole: in the cell's font, or in one reduced to no less
// than FigureFontShare of it where that fits; where even that does not fit
// the cell stays empty for this paint and the column widens to take the
// figure in the cell's font, after which the grid paints again. That
// widening is the figures', not the column's own width: when the grid's
// font or its dataset changes, the next whole paint measures the figures
// again and a column widened only for them goes back as far as they allow
// (while a figure is wider than its column the column never narrows). A
// stored layout keeps the own widths (set by code, by a layout or by the
// user's drag), so it never holds a width only a figure at another font
// needed.
//
// Selection. The selected column (SelectedIndex) and the current record make
// the focused cell; with dgRowSelect the whole current row is selected. With
// dgMultiSelect, SelectedRows holds bookmarks of chosen records: Ctrl+click
// toggles a record, Shift+click and Shift+arrows extend from the current one,
// a plain click clears the choice.
//
// Editing in place (dgEditing, not ReadOnly): F2, Enter or typing opens an
// editor on the focused cell; a lookup field gets a drop-down list of its
// lookup dataset's result values; a column with an ellipsis button shows one
// that fires OnEditButtonClick. Enter or leaving the cell writes the text into
// the field (putting the dataset into edit mode); moving to another record
// posts it, as the dataset does on every move; Escape drops the editor, and
// a second Escape cancels the record's changes.
#pragma once

#include "platform/dataset/DataSource.h"
#include "platform/dataset/DataSet.h"
#include "platform/widgets/Controls.h"
#include "platform/widgets/Forms.h"

#include <QTableView>
#include <algorithm>
#include <QWidget>
#include <memory>
#include <vector>

class QScrollBar;
class QLineEdit;

namespace zorbel {

class TDBGrid;

enum class TDBGridOption {
    dgEditing, dgAlwaysShowEditor, dgTitles, dgIndicator, dgColumnResize, dgColLines, dgRowLines,
    dgTabs, dgRowSelect, dgAlwaysShowSelection, dgConfirmDelete, dgCancelOnExit, dgMultiSelect
};
using enum TDBGridOption;
using TDBGridOptions = TSet<TDBGridOption>;

// State of a cell being drawn.
using TGridDrawState = unsigned;
constexpr TGridDrawState gdSelected = 1, gdFocused = 2, gdFixed = 4;

enum class TColumnButtonStyle { cbsAuto, cbsEllipsis, cbsNone };

// The title cell of a column.
struct TColumnTitle {
    QString Caption;      // empty: the field's display label
    TAlignment Alignment = taLeftJustify;
    TColor Color = clBtnFace;
    TColor FontColor = clDefault; // clDefault: the grid's title font colour
};

class TColumn {
public:
    explicit TColumn(TDBGrid *grid) : grid_(grid) {}
    TColumn(const TColumn &) = delete;
    TColumn &operator=(const TColumn &) = delete;

    TDBGrid *Grid() const { return grid_; }
    QString FieldName() const { return fieldName_; }
    void SetFieldName(const QString &name);
    // The dataset's field of that name (nullptr when there is none).
    TField *Field() const;
    void SetField(TField *field) { SetFieldName(field ? field->FieldName() : QString()); }
    int Index() const;

    TColumnTitle &Title() { return title_; }
    const TColumnTitle &Title() const { return title_; }
    // The title's caption: its own, else the field's display label.
    QString TitleCaption() const;
    void SetTitleCaption(const QString &caption);
    void SetTitleColor(TColor color);
    void SetTitleFontColor(TColor color);

    // The width shown: the own width, or wider while the column's figures
    // need it (see the cell drawing above), or its title in a grid whose
    // titles are shown whole (TDBGrid::SetTitlesWhole).
    int Width() const;
    // The width set (by code, a layout or the user's drag); unset, the
    // default: the field's display width in digits, or
    // the title when that is wider, and 64 pixels without a field.
    int OwnWidth() const { return width_ >= 0 ? width_ : DefaultWidth(); }
    void SetWidth(int width);
    int DefaultWidth() const;
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    // taLeftJustify unless set: then the field's alignment.
    TAlignment Alignment() const;
    void SetAlignment(TAlignment alignment);
    TColor Color() const { return color_; }   // clDefault: the grid's colour
    void SetColor(TColor color);
    TColor FontColor() const { return fontColor_; } // clDefault: the grid's font colour
    void SetFontColor(TColor color);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
    TColumnButtonStyle ButtonStyle() const { return buttonStyle_; }
    void SetButtonStyle(TColumnButtonStyle style) { buttonStyle_ = style; }

private:
    friend class TDBGrid;
    friend class TDBGridColumns;
    void Changed(bool layout);
    TDBGrid *grid_;
    QString fieldName_;
    TColumnTitle title_;
    int width_ = -1;      // unset: DefaultWidth()
    int figureWidth_ = 0;         // the width its figures need beyond the own width (0: none)
    bool measurePending_ = false; // its figures are measured again when next painted whole
    bool visible_ = true;
    bool alignmentSet_ = false;
    TAlignment alignment_ = taLeftJustify;
    TColor color_ = clDefault;
    TColor fontColor_ = clDefault;
    bool readOnly_ = false;
    TColumnButtonStyle buttonStyle_ = TColumnButtonStyle::cbsAuto;
};

enum class TDBGridColumnsState { csDefault, csCustomized };

class TDBGridColumns {
public:
    explicit TDBGridColumns(TDBGrid *grid) : grid_(grid) {}
    int Count() const { return int(items_.size()); }
    TColumn *Items(int index) const { return items_.at(size_t(index)).get(); }
    TColumn *operator[](int index) const { return Items(index); }
    // Adds a column; the set becomes customised.
    TColumn *Add();
    // Removes every column; the grid goes back to default columns.
    void Clear();
    void Delete(int index);
    // Moves a column to another index.
    void Move(int from, int to);
    // Back to one default column per visible field.
    void RebuildColumns();
    TDBGridColumnsState State() const { return state_; }
    int IndexOf(const TColumn *column) const;

private:
    friend class TDBGrid;
    void BuildDefault();
    TDBGrid *grid_;
    std::vector<std::unique_ptr<TColumn>> items_;
    TDBGridColumnsState state_ = TDBGridColumnsState::csDefault;
};

// Bookmarks of the records chosen in a multi-select grid, in dataset order.
class TBookmarkList {
public:
    explicit TBookmarkList(TDBGrid *grid) : grid_(grid) {}
    int Count() const { return int(items_.size()); }
    const TBookmark &Items(int index) const { return items_.at(size_t(index)); }
    const TBookmark &operator[](int index) const { return Items(index); }
    bool CurrentRowSelected() const;
    void SetCurrentRowSelected(bool selected);
    bool Find(const TBookmark &bookmark, int &index) const;
    void Clear();
    // Drops bookmarks that no longer name a record; true when any went.
    bool Refresh();

private:
    friend class TDBGrid;
    bool Contains(const TBookmark &bookmark) const;
    TDBGrid *grid_;
    std::vector<TBookmark> items_;
};

using TDrawColumnCellEvent =
    std::function<void(TObject *Sender, const QRect &Rect, int DataCol, TColumn *Column, TGridDrawState State)>;
using TDBGridClickEvent = std::function<void(TObject *Sender, TColumn *Column)>;
// A text DefaultDrawColumnCell drew: the cell, the text's own box (the
// canvas's font at the call measures it) and the text.
using TCellTextDrawnEvent =
    std::function<void(TObject *Sender, TColumn *Column, const QRect &Cell, const QRect &Box, const QString &Text)>;
// The hint of a cell, asked with the cell's record current; empty for none.
using TCellHintEvent = std::function<QString(TObject *Sender, TColumn *Column)>;
using TMovedEvent = std::function<void(TObject *Sender, int FromIndex, int ToIndex)>;
using TMouseWheelEvent =
    std::function<void(TObject *Sender, TShiftState Shift, int WheelDelta, QPoint MousePos, bool &Handled)>;

class TDBGrid : public QWidget, public TControl {
    Q_OBJECT
public:
    explicit TDBGrid(QWidget *parent, const QString &name = {});
    ~TDBGrid() override;

    TDataSource *DataSource() const;
    void SetDataSource(TDataSource *source);
    TDataLink &DataLink();

    TDBGridOptions Options() const { return options_; }
    void SetOptions(TDBGridOptions options);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
    bool DefaultDrawing() const { return defaultDrawing_; }
    void SetDefaultDrawing(bool value) { defaultDrawing_ = value; }

    TDBGridColumns &Columns() { return columns_; }
    TBookmarkList &SelectedRows() { return selectedRows_; }

    // Index of the focused column among all columns.
    int SelectedIndex() const { return selectedIndex_; }
    void SetSelectedIndex(int index);
    // The field of the focused column.
    TField *SelectedField() const;
    void SetSelectedField(TField *field);

    // Fonts: cells and titles.
    QFont TitleFont() const;
    void SetTitleFont(const QFont &font);
    TColor TitleFontColor() const { return titleFontColor_; }
    void SetTitleFontColor(TColor color);
    void SetFont(const QFont &font);
    void SetColor(TColor color) override;

    // Titles shown whole: no column is narrower than its title needs in the
    // title font (a window whose titles are short words at any font).
    bool TitlesWhole() const { return titlesWhole_; }
    void SetTitlesWhole(bool whole);
    // The width the grid needs to show every shown column whole: its frame,
    // the row indicator, the columns and the scroll bar.
    int WholeWidth() const;

    // Rows shown at once (the link's window).
    int VisibleRowCount() const;
    // Row height in pixels.
    int DefaultRowHeight() const;

    // Canvas cells are drawn on; valid inside OnDrawColumnCell.
    TCanvas &Canvas() { return canvas_; }
    // Writes the column's display text into rect with the canvas's brush and font.
    void DefaultDrawColumnCell(const QRect &rect, int dataCol, TColumn *column, TGridDrawState state);

    // Cell under a point of the grid: column index (-1 for the indicator)
    // and row (0 the titles when shown, then the shown records); -1 outside.
    void MouseCoord(int x, int y, int &col, int &row) const;
    // Rectangle of a shown record's cell in grid coordinates.
    QRect CellRect(int col, int row) const;

    // Editing in place.
    bool EditorMode() const;
    void SetEditorMode(bool on);
    QWidget *InplaceEditor() const { return editor_; }

    // Moves the dataset as the scroll bar's arrows, pages and thumb do.
    void ScrollLines(int rows);
    void ScrollPages(int pages);
    void ScrollTo(int position);

    // The shown item view and its model (tests and painting).
    QTableView *View() const;
    QScrollBar *VerticalBar() const { return vbar_; }
    // Cells drawn since the counter was last reset.
    int PaintedCells() const { return paintedCells_; }
    void ResetPaintedCells() { paintedCells_ = 0; }

    void SetFocus() override;

    // The smallest share of the cell's font a figure is reduced to before
    // its column widens: figures in a row read at about the row's size.
    static constexpr double FigureFontShare = 0.8;

    TDrawColumnCellEvent OnDrawColumnCell;
    // Fires for every text DefaultDrawColumnCell draws (the figure checks of
    // the windows' tests follow what a user sees through it).
    TCellTextDrawnEvent OnCellTextDrawn;
    // A cell's own hint, shown when the mouse rests on it.
    TCellHintEvent OnCellHint;
    TNotifyEvent OnCellClick, OnColEnter, OnColExit, OnEditButtonClick;
    TDBGridClickEvent OnTitleClick, OnColumnClick;
    TMovedEvent OnColumnMoved;
    TMouseWheelEvent OnMouseWheel;
    // Fires, after the event that caused it, when the shown columns' widths
    // changed (a figure widened or narrowed a column, a font, a layout): a
    // window that shows the grid whole follows it (WidenFormToGrid).
    TNotifyEvent OnColumnWidths;

protected:
    bool ControlEvent(QEvent *event) override;
    // Wheel handling; returns true when the wheel was used. The grid moves one
    // record per wheel step unless OnMouseWheel handled it.
    virtual bool DoMouseWheel(TShiftState shift, int wheelDelta, QPoint mousePos);
    // Press and release on the cells, after the control's mouse events fired.
    virtual void MouseDown(QMouseEvent *event);
    virtual void MouseUp(QMouseEvent *event);
    void resizeEvent(QResizeEvent *event) override;

private:
    // The grid's inner parts (DBGridsView.h): the link to the dataset, the
    // item model of the link's window, the cell delegate and the item view.
    class TGridDataLink;
    class TGridModel;
    class TGridDelegate;
    class TGridView;
    // Columns tell the grid when their layout or look changed.
    friend class TColumn;
    friend class TDBGridColumns;

    void LinkActive();
    void LinkChanged();
    void LinkRecordChanged(TField *field);
    void LayoutChanged();
    void UpdateRowCount();
    void UpdateScrollBar();
    void UpdateCurrent();
    void ApplyColumnWidths();
    std::vector<TColumn *> ShownColumns() const;
    TColumn *ShownColumn(int viewColumn) const;
    int ViewColumnOf(int columnIndex) const;
    void DrawCell(QPainter *painter, const QRect &rect, int row, int viewColumn);
    void DrawTitle(QPainter *painter, const QRect &rect, int viewColumn);
    bool CanEditColumn(TColumn *column) const;
    void MoveToRow(int row, Qt::KeyboardModifiers modifiers);
    bool KeyDown(int key, Qt::KeyboardModifiers modifiers, const QString &text);
    // Tab (back: Shift+Tab) in a grid edited in place with dgTabs: the next
    // (previous) column, wrapping to the next (previous) record; false when
    // the key is not the grid's and the focus moves on.
    bool TabKey(bool back);
    void SelectRange(int fromRow, int toRow);
    void WriteEditor(const QString &text);
    // The user changed the editor's text: the record goes into edit mode.
    void EditorModified();
    // Bookmark of the current record (empty when it has none).
    TBookmark EditedRecord() const;
    void CloseEditor(bool accept);
    void ColumnDragged(int logical, int oldVisual, int newVisual);
    QString CellText(int row, TColumn *column) const;
    QString CellHint(int row, TColumn *column) const;
    // What read returns with the record of a row of the link current
    // (empty when there is no such row or read raises).
    QString ReadAtRow(int row, const std::function<QString()> &read) const;
    // True while a run on another thread walks the dataset
    // (TDataSet::WalkedByRun): the grid then reads and writes nothing of it.
    bool DataWalkedByRun() const;
    // A cell painted without the dataset: its background only.
    void DrawBlankCell(QPainter *painter, const QRect &rect, TColumn *column);
    // Asks for column to be at least width pixels wide after this paint.
    void WidenAfterPaint(TColumn *column, int width);
    void ApplyPendingWidths();
    // Every column's figures are measured again at the next whole paint
    // that draws it (a column scrolled out of view waits until it is seen).
    void MeasureFiguresAgain();
    // Around a paint of the cells: a whole paint after MeasureFiguresAgain
    // sets each column it drew to the width its figures need.
    void PaintStarts(const QRect &area);
    void PaintEnds();

    std::unique_ptr<TGridDataLink> link_;
    TGridModel *model_;
    TGridView *view_;
    QScrollBar *vbar_;
    TDBGridColumns columns_;
    TBookmarkList selectedRows_;
    TDBGridOptions options_;
    TCanvas canvas_;
    QWidget *editor_ = nullptr;
    bool editorFromKey_ = false;
    TBookmark editorBookmark_;
    QFont titleFont_;
    TColor titleFontColor_ = clWindowText;
    bool readOnly_ = false;
    bool defaultDrawing_ = true;
    bool updating_ = false;
    bool rowsPending_ = false;
    int selectedIndex_ = 0;
    int paintedCells_ = 0;
    // Widths figures asked for during a paint, by column index; applied
    // once the paint is over (a paint must not change the layout it walks).
    std::vector<std::pair<int, int>> pendingWidths_;
    // Measuring the figures again: under way in this paint, and the width
    // each painted column's figures need (0: they fit its own width).
    bool measuring_ = false;
    std::vector<std::pair<int, int>> measured_;
    bool titlesWhole_ = false;
    bool widthsNoticePending_ = false; // OnColumnWidths is queued
    // The width a column's title needs when titles are shown whole, else 0.
    int TitleNeed(const TColumn *column) const;
};

// The program's grid: the wheel moves WheelLinesMany records per step (or
// the system's wheel-lines setting with WheelLinesMode), and OnMouseDown and
// OnMouseUp fire before the grid's own handling of every press and release.
class TKDBGrid : public TDBGrid {
    Q_OBJECT
public:
    explicit TKDBGrid(QWidget *parent, const QString &name = {});
    bool WheelLinesMode() const { return wheelLinesMode_; }
    void SetWheelLinesMode(bool mode) { wheelLinesMode_ = mode; }
    int WheelLinesMany() const { return wheelLinesMany_; }
    void SetWheelLinesMany(int many) { wheelLinesMany_ = many; }

protected:
    bool DoMouseWheel(TShiftState shift, int wheelDelta, QPoint mousePos) override;

private:
    bool wheelLinesMode_ = false;
    int wheelLinesMany_ = 1;
};

// Applies a remembered column layout to a grid (apply true) or stores the
// grid's layout (apply false). The layout is lines "FieldName=width".
// Applying needs a positive width for every visible field of the dataset
// (names without regard to case); otherwise the grid keeps its columns.
// Then one column per line, in line order (a width of 0 or less becomes 20;
// date columns get the ellipsis button, date-time columns are read-only); a
// line naming no field of the dataset restores the default columns.
// Storing first turns the default columns into the grid's own when it has at
// most one column, then writes one line per column with a positive width.
void ApplyColumnLayout(TDBGrid *grid, bool apply, QString &layout);

// Widens form, as far as its screen allows, until grid (which takes the
// form's extra width) shows every column whole; a form wide enough already
// keeps its width.
void WidenFormToGrid(TForm &form, TDBGrid &grid);

} // namespace zorbel
