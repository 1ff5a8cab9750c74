// The data grid over a QTableView whose model holds only the link's window of
// records; see DBGrids.h for the reading, drawing and editing rules. This
// unit builds the grid, follows the dataset through the link, keeps the
// scroll bar and the shown columns, and draws the cells.
#include "platform/widgets/DBGridsView.h"

#include "platform/rtl/Exceptions.h"
#include "platform/widgets/FocusWithin.h"

#include <QScopedValueRollback>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

namespace zorbel {

namespace {

// Passes the client area's mouse, menu and drag events to the grid control,
// with mouse positions in the grid's coordinates, and follows its size.
class TViewportFilter : public QObject {
public:
    TViewportFilter(TDBGrid *grid, std::function<bool(QEvent *)> control, std::function<void()> resized)
        : QObject(grid), grid_(grid), control_(std::move(control)), resized_(std::move(resized))
    {
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::Resize: resized_(); return false;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove: {
            auto *me = static_cast<QMouseEvent *>(event);
            const QPointF local = static_cast<QWidget *>(watched)->mapTo(grid_, me->position().toPoint());
            QMouseEvent copy(me->type(), local, me->globalPosition(), me->button(), me->buttons(), me->modifiers());
            return control_(&copy);
        }
        case QEvent::ContextMenu:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::DragLeave:
        case QEvent::Drop: return control_(event);
        default: return false;
        }
    }

private:
    TDBGrid *grid_;
    std::function<bool(QEvent *)> control_;
    std::function<void()> resized_;
};

} // namespace

// ---- the grid ----

TDBGrid::TDBGrid(QWidget *parent, const QString &name)
    : QWidget(parent), TControl(this), link_(std::make_unique<TGridDataLink>(this)), columns_(this),
      selectedRows_(this)
{
    SetName(name);
    options_ = {dgEditing, dgTitles, dgIndicator, dgColumnResize, dgColLines, dgRowLines, dgTabs, dgConfirmDelete,
                dgCancelOnExit};
    model_ = new TGridModel(this);
    view_ = new TGridView(this);
    view_->setModel(model_);
    view_->setItemDelegate(new TGridDelegate(this));
    vbar_ = new QScrollBar(Qt::Vertical, this);
    vbar_->setRange(0, 0);
    setFocusProxy(view_);
    setFocusPolicy(Qt::StrongFocus);
    titleFont_ = font();
    view_->viewport()->installEventFilter(new TViewportFilter(
        this, [this](QEvent *e) { return ControlEvent(e); }, [this] { UpdateRowCount(); }));
    view_->viewport()->setAcceptDrops(true);
    view_->verticalHeader()->setDefaultSectionSize(DefaultRowHeight());

    QHeaderView *header = view_->horizontalHeader();
    connect(header, &QHeaderView::sectionClicked, this, [this](int section) {
        if (TColumn *column = ShownColumn(section))
            DispatchEvent([&] {
                if (OnTitleClick)
                    OnTitleClick(this, column);
            });
    });
    connect(header, &QHeaderView::sectionResized, this, [this](int section, int, int size) {
        if (!updating_)
            if (TColumn *column = ShownColumn(section)) {
                // The user's drag: the column's own width from now on (a
                // figure that no longer fits widens it again after the paint).
                column->width_ = size;
                column->figureWidth_ = 0;
            }
    });
    connect(header, &QHeaderView::sectionMoved, this,
            [this](int logical, int oldVisual, int newVisual) { ColumnDragged(logical, oldVisual, newVisual); });
    connect(vbar_, &QScrollBar::actionTriggered, this, [this](int action) {
        DispatchEvent([&] {
            switch (action) {
            case QAbstractSlider::SliderSingleStepAdd: ScrollLines(1); break;
            case QAbstractSlider::SliderSingleStepSub: ScrollLines(-1); break;
            case QAbstractSlider::SliderPageStepAdd: ScrollPages(1); break;
            case QAbstractSlider::SliderPageStepSub: ScrollPages(-1); break;
            case QAbstractSlider::SliderToMinimum: link_->DataSet()->First(); break;
            case QAbstractSlider::SliderToMaximum: link_->DataSet()->Last(); break;
            default: break;
            }
        });
    });
    connect(vbar_, &QScrollBar::sliderReleased, this, [this] {
        DispatchEvent([&] { ScrollTo(vbar_->sliderPosition()); });
        UpdateScrollBar();
    });
    SetOptions(options_);
    // OnEnter and OnExit follow the focus of the view and its editors.
    TrackFocusWithin(this, [this](QEvent *e) { TControl::ControlEvent(e); });
}

TDBGrid::~TDBGrid()
{
    // The link goes first so no dataset event reaches a half-destroyed grid.
    link_.reset();
}

TDataSource *TDBGrid::DataSource() const { return link_->DataSource(); }
void TDBGrid::SetDataSource(TDataSource *source) { link_->SetDataSource(source); }
TDataLink &TDBGrid::DataLink() { return *link_; }
QTableView *TDBGrid::View() const { return view_; }

void TDBGrid::SetOptions(TDBGridOptions options)
{
    options_ = options;
    view_->horizontalHeader()->setVisible(options.Contains(dgTitles));
    view_->verticalHeader()->setVisible(options.Contains(dgIndicator));
    view_->setShowGrid(options.Contains(dgColLines) || options.Contains(dgRowLines));
    view_->horizontalHeader()->setSectionsMovable(options.Contains(dgColumnResize));
    view_->horizontalHeader()->setSectionResizeMode(options.Contains(dgColumnResize) ? QHeaderView::Interactive
                                                                                     : QHeaderView::Fixed);
    if (!options.Contains(dgMultiSelect))
        selectedRows_.Clear();
    UpdateRowCount();
    view_->viewport()->update();
}

void TDBGrid::SetSelectedIndex(int index)
{
    if (index < 0 || index >= columns_.Count() || index == selectedIndex_)
        return;
    CloseEditor(true);
    Fire(OnColExit, this);
    selectedIndex_ = index;
    UpdateCurrent();
    Fire(OnColEnter, this);
}

TField *TDBGrid::SelectedField() const
{
    return selectedIndex_ >= 0 && selectedIndex_ < columns_.Count() ? columns_[selectedIndex_]->Field() : nullptr;
}

void TDBGrid::SetSelectedField(TField *field)
{
    if (!field)
        return;
    for (int i = 0; i < columns_.Count(); ++i)
        if (columns_[i]->Field() == field) {
            SetSelectedIndex(i);
            return;
        }
}

QFont TDBGrid::TitleFont() const { return titleFont_; }

void TDBGrid::SetTitleFont(const QFont &font)
{
    titleFont_ = font;
    view_->horizontalHeader()->setFont(font);
    view_->horizontalHeader()->viewport()->update();
    ApplyColumnWidths(); // columns without a width of their own follow the font
}

void TDBGrid::SetTitleFontColor(TColor color)
{
    titleFontColor_ = color;
    view_->horizontalHeader()->viewport()->update();
}

void TDBGrid::SetFont(const QFont &font)
{
    view_->setFont(font);
    view_->verticalHeader()->setDefaultSectionSize(DefaultRowHeight());
    ApplyColumnWidths();
    UpdateRowCount();
    MeasureFiguresAgain(); // a smaller font may need less room than the figures took
}

void TDBGrid::SetColor(TColor color)
{
    TControl::SetColor(color);
    view_->viewport()->update();
}

int TDBGrid::DefaultRowHeight() const { return QFontMetrics(view_->font()).height() + 4; }

int TDBGrid::VisibleRowCount() const
{
    return std::max(1, view_->viewport()->height() / DefaultRowHeight());
}

void TDBGrid::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const int bar = vbar_->sizeHint().width();
    view_->setGeometry(0, 0, std::max(0, width() - bar), height());
    vbar_->setGeometry(width() - bar, 0, bar, height());
}

void TDBGrid::SetFocus() { view_->setFocus(Qt::OtherFocusReason); }

// ---- following the dataset ----

void TDBGrid::LinkActive()
{
    if (!link_->Active())
        selectedRows_.Clear();
    LayoutChanged();
    MeasureFiguresAgain(); // other data, other figures
}

void TDBGrid::LayoutChanged()
{
    if (updating_)
        return;
    if (columns_.State() == TDBGridColumnsState::csDefault)
        columns_.BuildDefault();
    if (selectedIndex_ >= columns_.Count())
        selectedIndex_ = std::max(0, columns_.Count() - 1);
    CloseEditor(false);
    updating_ = true;
    model_->Relayout();
    updating_ = false;
    ApplyColumnWidths();
    UpdateRowCount();
    LinkChanged();
}

void TDBGrid::ApplyColumnWidths()
{
    updating_ = true;
    bool changed = false;
    QHeaderView *header = view_->horizontalHeader();
    const std::vector<TColumn *> shown = ShownColumns();
    for (int i = 0; i < int(shown.size()) && i < model_->columnCount(); ++i) {
        const int width = shown[size_t(i)]->Width();
        changed = changed || header->sectionSize(i) != width;
        header->resizeSection(i, width);
    }
    updating_ = false;
    if (changed && OnColumnWidths && !widthsNoticePending_) {
        // After the event that changed them: the handler may resize windows.
        widthsNoticePending_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                widthsNoticePending_ = false;
                DispatchEvent([&] {
                    if (OnColumnWidths)
                        OnColumnWidths(this);
                });
            },
            Qt::QueuedConnection);
    }
}

void TDBGrid::SetTitlesWhole(bool whole)
{
    titlesWhole_ = whole;
    ApplyColumnWidths();
}

int TDBGrid::TitleNeed(const TColumn *column) const
{
    if (!titlesWhole_ || !options_.Contains(dgTitles))
        return 0;
    const int viewColumn = ViewColumnOf(column->Index());
    if (viewColumn < 0 || viewColumn >= model_->columnCount())
        return 0;
    // The header's own measure: the caption in the title font with the
    // style's margins, so the header draws it without an ellipsis.
    return view_->horizontalHeader()->sectionSizeHint(viewColumn);
}

int TDBGrid::WholeWidth() const
{
    int width = 2 * view_->frameWidth() + vbar_->sizeHint().width();
    if (options_.Contains(dgIndicator))
        width += view_->verticalHeader()->width();
    for (const TColumn *c : ShownColumns())
        width += c->Width();
    return width;
}

void WidenFormToGrid(TForm &form, TDBGrid &grid)
{
    const int missing = grid.WholeWidth() - grid.width();
    if (missing > 0)
        form.SetBounds(form.Left(), form.Top(), form.Width() + missing, form.Height());
}

void TDBGrid::UpdateRowCount()
{
    if (updating_) {
        rowsPending_ = true;
        return;
    }

    if (!link_->Active())
        return;
    if (DataWalkedByRun()) {
        // The buffer count is the dataset's: it changes when the run ends.
        rowsPending_ = true;
        return;
    }
    {
        const QScopedValueRollback<bool> busy(updating_, true);
        link_->SetBufferCount(VisibleRowCount());
    }
    LinkChanged();
}

void TDBGrid::LinkChanged()
{
    if (updating_)
        return;
    updating_ = true;
    const int rows = link_->Active() ? link_->RecordCount() : 0;
    model_->Update(rows, int(ShownColumns().size()));
    if (model_->columnCount() > 0 && view_->horizontalHeader()->sectionSize(0) != ShownColumns()[0]->Width()) {
        updating_ = false;
        ApplyColumnWidths();
        updating_ = true;
    }
    updating_ = false;
    // The dataset went to another record under an open editor: its text was
    // written to its own record before the move (UpdateData), so it closes.
    if (editor_ && EditedRecord() != editorBookmark_)
        CloseEditor(false);
    UpdateCurrent();
    UpdateScrollBar();
    if (rowsPending_) {
        // The view changed size while the grid was busy.
        rowsPending_ = false;
        if (link_->Active() && link_->BufferCount() != VisibleRowCount())
            UpdateRowCount();
    }
}

TBookmark TDBGrid::EditedRecord() const
{
    TDataSet *ds = link_->DataSet();
    return ds && link_->Active() && ds->BookmarkAvailable() ? ds->Bookmark() : TBookmark();
}

void TDBGrid::EditorModified()
{
    if (editor_ && !link_->Editing())
        DispatchEvent([&] { link_->Edit(); });
}

void TDBGrid::LinkRecordChanged(TField *)
{
    const int row = link_->ActiveRecord();
    if (row >= 0 && row < model_->rowCount() && model_->columnCount() > 0)
        emit model_->dataChanged(model_->index(row, 0), model_->index(row, model_->columnCount() - 1));
}

void TDBGrid::UpdateCurrent()
{
    if (updating_ || !link_->Active() || model_->rowCount() == 0 || model_->columnCount() == 0)
        return;
    const QModelIndex index =
        model_->index(std::clamp(link_->ActiveRecord(), 0, model_->rowCount() - 1),
                      std::max(0, ViewColumnOf(selectedIndex_)));
    if (view_->currentIndex() != index && !editor_)
        view_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    view_->viewport()->update();
}

void TDBGrid::UpdateScrollBar()
{
    const QSignalBlocker block(vbar_);
    TDataSet *ds = link_->DataSet();
    if (!link_->Active() || !ds) {
        vbar_->setRange(0, 0);
        return;
    }
    if (ds->IsSequenced()) {
        const int count = std::max(0, ds->RecordCount());
        vbar_->setRange(0, std::max(0, count - 1));
        vbar_->setPageStep(std::max(1, VisibleRowCount()));
        vbar_->setValue(std::max(0, ds->RecNo() - 1));
    } else {
        vbar_->setRange(0, 4);
        vbar_->setPageStep(1);
        vbar_->setValue(ds->Bof() ? 0 : ds->Eof() ? 4 : 2);
    }
}

void TDBGrid::ScrollLines(int rows)
{
    if (!link_->Active())
        return;
    CloseEditor(true);
    link_->DataSet()->MoveBy(rows);
}

void TDBGrid::ScrollPages(int pages) { ScrollLines(pages * VisibleRowCount()); }

void TDBGrid::ScrollTo(int position)
{
    TDataSet *ds = link_->DataSet();
    if (!link_->Active() || !ds)
        return;
    CloseEditor(true);
    if (ds->IsSequenced())
        ds->SetRecNo(position + 1);
    else if (position <= 0)
        ds->First();
    else if (position >= 4)
        ds->Last();
}

// ---- columns as shown ----

std::vector<TColumn *> TDBGrid::ShownColumns() const
{
    std::vector<TColumn *> shown;
    for (int i = 0; i < columns_.Count(); ++i)
        if (columns_[i]->Visible())
            shown.push_back(columns_[i]);
    return shown;
}

TColumn *TDBGrid::ShownColumn(int viewColumn) const
{
    int n = 0;
    for (int i = 0; i < columns_.Count(); ++i)
        if (columns_[i]->Visible() && n++ == viewColumn)
            return columns_[i];
    return nullptr;
}

int TDBGrid::ViewColumnOf(int columnIndex) const
{
    int n = 0;
    for (int i = 0; i < columns_.Count(); ++i) {
        if (i == columnIndex)
            return columns_[i]->Visible() ? n : -1;
        n += columns_[i]->Visible() ? 1 : 0;
    }
    return -1;
}

void TDBGrid::ColumnDragged(int logical, int oldVisual, int newVisual)
{
    if (updating_)
        return;
    // The view keeps its own order; the columns take the new one instead.
    updating_ = true;
    view_->horizontalHeader()->moveSection(newVisual, oldVisual);
    updating_ = false;
    (void)logical;
    TColumn *from = ShownColumn(oldVisual), *to = ShownColumn(newVisual);
    if (!from || !to)
        return;
    const int fromIndex = from->Index(), toIndex = to->Index();
    columns_.Move(fromIndex, toIndex);
    if (selectedIndex_ == fromIndex)
        selectedIndex_ = toIndex;
    if (OnColumnMoved)
        DispatchEvent([&] { OnColumnMoved(this, fromIndex, toIndex); });
    // The release that ends the drag is also a click on the title the
    // column now stands under: a window that sorts by a title click sorts by
    // the column the user just placed.
    if (OnTitleClick && toIndex < columns_.Count()) {
        TColumn *moved = columns_[toIndex];
        DispatchEvent([&] { OnTitleClick(this, moved); });
    }
}

// ---- drawing ----

bool TDBGrid::DataWalkedByRun() const
{
    const TDataSet *ds = link_->DataSet();
    return ds && ds->WalkedByRun();
}

QString TDBGrid::ReadAtRow(int row, const std::function<QString()> &read) const
{
    if (!link_->Active() || DataWalkedByRun() || row < 0 || row >= link_->RecordCount())
        return {};
    const int active = link_->ActiveRecord();
    link_->SetActiveRecord(row);
    QString text;
    try {
        text = read();
    } catch (const Exception &) {
        text.clear();
    }
    link_->SetActiveRecord(active);
    return text;
}

QString TDBGrid::CellText(int row, TColumn *column) const
{
    TField *field = column->Field();
    return field ? ReadAtRow(row, [field] { return field->DisplayText(); }) : QString();
}

QString TDBGrid::CellHint(int row, TColumn *column) const
{
    if (!OnCellHint)
        return {};
    return ReadAtRow(row, [&] { return OnCellHint(const_cast<TDBGrid *>(this), column); });
}

void TDBGrid::DrawCell(QPainter *painter, const QRect &rect, int row, int viewColumn)
{
    TColumn *column = ShownColumn(viewColumn);
    if (!column || !link_->Active())
        return;
    if (DataWalkedByRun()) {
        DrawBlankCell(painter, rect, column);
        return;
    }
    if (row >= link_->RecordCount())
        return;
    ++paintedCells_;
    const int active = link_->ActiveRecord();
    const bool current = row == active;
    const bool focused = view_->hasFocus() || (editor_ && editor_->hasFocus());
    const bool inSelection = current && (options_.Contains(dgRowSelect) || viewColumn == ViewColumnOf(selectedIndex_));
    TGridDrawState state = 0;
    link_->SetActiveRecord(row);
    bool chosen = false;
    if (options_.Contains(dgMultiSelect) && !selectedRows_.items_.empty()) {
        TDataSet *ds = link_->DataSet();
        chosen = ds->BookmarkAvailable() && selectedRows_.Contains(ds->Bookmark());
    }
    if ((inSelection && (focused || options_.Contains(dgAlwaysShowSelection))) || chosen)
        state |= gdSelected;
    if (current && focused && viewColumn == ViewColumnOf(selectedIndex_))
        state |= gdFocused;

    canvas_.Font = view_->font();
    canvas_.FontColor = column->FontColor() == clDefault ? clWindowText : column->FontColor();
    canvas_.Brush.Style = TBrushStyle::bsSolid;
    canvas_.Brush.Color = column->Color() != clDefault ? column->Color() : Color() != clDefault ? Color() : clWindow;
    if (state & gdSelected) {
        canvas_.Brush.Color = clHighlight;
        canvas_.FontColor = clHighlightText;
    }
    if (!isEnabled())
        canvas_.FontColor = clGrayText;
    canvas_.Begin(painter);
    painter->save();
    painter->setClipRect(rect);
    DispatchEvent([&] {
        if (defaultDrawing_)
            DefaultDrawColumnCell(rect, column->Index(), column, state);
        if (OnDrawColumnCell)
            OnDrawColumnCell(this, rect, column->Index(), column, state);
    });
    painter->restore();
    canvas_.Begin(nullptr);
    link_->SetActiveRecord(active);
}

void TDBGrid::DrawBlankCell(QPainter *painter, const QRect &rect, TColumn *column)
{
    const TColor color = column->Color() != clDefault ? column->Color() : Color() != clDefault ? Color() : clWindow;
    painter->fillRect(rect, ColorToQColor(color));
}

void TDBGrid::DefaultDrawColumnCell(const QRect &rect, int, TColumn *column, TGridDrawState)
{
    TField *field = column ? column->Field() : nullptr;
    const QString text = field ? field->DisplayText() : QString();
    // A figure wider than its cell: a somewhat smaller font where that
    // fits, else an empty cell until its column has widened.
    const bool figure = dynamic_cast<const TNumericField *>(field) || dynamic_cast<const TDateTimeField *>(field);
    const int room = rect.width() - 4;
    const auto advance = [&text](const QFontMetrics &fm) { return fm.horizontalAdvance(text); };
    // Whether the figure fits a room: in the cell's font or one reduced to
    // no less than FigureFontShare of it (that font, when it does).
    const auto fits = [&](int space, QFont *font) {
        if (advance(QFontMetrics(canvas_.Font)) <= space)
            return true;
        const QFont reduced =
            FontToFit(canvas_.Font, space, advance, std::max(6.0, canvas_.Font.pointSizeF() * FigureFontShare));
        if (advance(QFontMetrics(reduced)) > space || reduced.pointSizeF() <= 0)
            return false;
        if (font)
            *font = reduced;
        return true;
    };
    if (figure && measuring_ && column && column->measurePending_) {
        // What the figure needs beyond the column's own width.
        const int need = fits(column->OwnWidth() - 4, nullptr) ? 0 : advance(QFontMetrics(canvas_.Font)) + 4;
        auto at = std::find_if(measured_.begin(), measured_.end(),
                               [&](const std::pair<int, int> &m) { return m.first == column->Index(); });
        if (at == measured_.end())
            measured_.emplace_back(column->Index(), need);
        else
            at->second = std::max(at->second, need);
    }
    if (figure && advance(QFontMetrics(canvas_.Font)) > room) {
        QFont reduced;
        if (!fits(room, &reduced)) {
            WidenAfterPaint(column, column->Width() + advance(QFontMetrics(canvas_.Font)) - room);
            canvas_.FillRect(rect);
            return;
        }
        canvas_.Font = reduced;
    }
    const int width = canvas_.TextWidth(text);
    const TAlignment alignment = column ? column->Alignment() : taLeftJustify;
    const int x = alignment == taRightJustify ? rect.right() - width - 2
                  : alignment == taCenter     ? rect.left() + (rect.width() - width) / 2
                                              : rect.left() + 2;
    const int y = rect.top() + (rect.height() - canvas_.TextHeight(text)) / 2;
    canvas_.TextRect(rect, x, y, text);
    if (OnCellTextDrawn)
        OnCellTextDrawn(this, column, rect, QRect(x, y, width, canvas_.TextHeight(text)), text);
}

void TDBGrid::WidenAfterPaint(TColumn *column, int width)
{
    if (!column)
        return;
    const bool queued = !pendingWidths_.empty();
    pendingWidths_.emplace_back(column->Index(), width);
    if (!queued)
        QMetaObject::invokeMethod(this, [this] { ApplyPendingWidths(); }, Qt::QueuedConnection);
}

void TDBGrid::ApplyPendingWidths()
{
    std::vector<std::pair<int, int>> pending;
    pending.swap(pendingWidths_);
    bool changed = false;
    for (const auto &[index, width] : pending)
        if (index >= 0 && index < columns_.Count() && columns_[index]->Width() < width) {
            columns_[index]->figureWidth_ = width;
            changed = true;
        }
    if (changed)
        ApplyColumnWidths();
}

void TDBGrid::MeasureFiguresAgain()
{
    for (int i = 0; i < columns_.Count(); ++i)
        columns_[i]->measurePending_ = true;
    view_->viewport()->update();
}

void TDBGrid::PaintStarts(const QRect &area)
{
    // Only a paint of every shown row sees all the figures a column shows.
    measuring_ = area.contains(view_->viewport()->rect()) &&
                 std::any_of(columns_.items_.begin(), columns_.items_.end(),
                             [](const std::unique_ptr<TColumn> &c) { return c->measurePending_; });
    if (measuring_)
        measured_.clear();
}

void TDBGrid::PaintEnds()
{
    if (!measuring_)
        return;
    measuring_ = false;
    // A column not drawn (out of view, no rows yet, a run walking the data)
    // stays to be measured.
    if (measured_.empty())
        return;
    std::vector<std::pair<int, int>> measured;
    measured.swap(measured_);
    for (const auto &[index, need] : measured)
        if (index >= 0 && index < columns_.Count())
            columns_[index]->measurePending_ = false;
    // After the paint: a paint must not change the layout it walks.
    QMetaObject::invokeMethod(
        this,
        [this, measured] {
            bool changed = false;
            for (const auto &[index, need] : measured)
                if (index >= 0 && index < columns_.Count()) {
                    TColumn *c = columns_[index];
                    const int figure = need > c->OwnWidth() ? need : 0;
                    changed = changed || figure != c->figureWidth_;
                    c->figureWidth_ = figure;
                }
            if (changed)
                ApplyColumnWidths();
        },
        Qt::QueuedConnection);
}

void TDBGrid::MouseCoord(int x, int y, int &col, int &row) const
{
    col = -1;
    row = -1;
    const QPoint p = view_->viewport()->mapFrom(this, QPoint(x, y));
    const int titleRows = options_.Contains(dgTitles) ? 1 : 0;
    if (titleRows && view_->horizontalHeader()->geometry().contains(view_->mapFrom(this, QPoint(x, y)))) {
        row = 0;
    } else if (p.y() >= 0) {
        const int r = view_->rowAt(p.y());
        if (r < 0)
            return;
        row = r + titleRows;
    } else {
        return;
    }
    const TColumn *column = ShownColumn(view_->columnAt(p.x()));
    col = column ? column->Index() : -1;
}

QRect TDBGrid::CellRect(int col, int row) const
{
    const int viewColumn = ViewColumnOf(col);
    if (viewColumn < 0 || row < 0 || row >= model_->rowCount())
        return {};
    const QRect r = view_->visualRect(model_->index(row, viewColumn));
    return QRect(view_->viewport()->mapTo(this, r.topLeft()), r.size());
}

} // namespace zorbel
