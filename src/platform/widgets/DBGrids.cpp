// The data grid over a QTableView whose model holds only the link's window of
// records; see DBGrids.h for the reading, drawing and editing rules.
#include "platform/widgets/DBGrids.h"

#include "platform/rtl/Exceptions.h"
#include "platform/widgets/FocusWithin.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QWheelEvent>
#include <algorithm>

namespace zorbel {

// ---- data link ----

class TGridDataLink : public TDataLink {
public:
    explicit TGridDataLink(TDBGrid *grid) : grid_(grid) {}

protected:
    void ActiveChanged() override { grid_->LinkActive(); }
    void DataSetChanged() override { grid_->LinkChanged(); }
    void DataSetScrolled(int) override { grid_->LinkChanged(); }
    void LayoutChanged() override { grid_->LayoutChanged(); }
    void RecordChanged(TField *field) override { grid_->LinkRecordChanged(field); }
    void EditingChanged() override { grid_->LinkRecordChanged(nullptr); }
    void UpdateData() override
    {
        if (auto *edit = qobject_cast<QLineEdit *>(grid_->editor_))
            grid_->WriteEditor(edit->text());
        else if (auto *combo = qobject_cast<QComboBox *>(grid_->editor_))
            grid_->WriteEditor(combo->currentText());
    }

private:
    TDBGrid *grid_;
};

// ---- item model: the link's window ----

class TGridModel : public QAbstractTableModel {
public:
    explicit TGridModel(TDBGrid *grid) : QAbstractTableModel(grid), grid_(grid) {}

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : rows_;
    }
    int columnCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : columns_;
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role != Qt::DisplayRole && role != Qt::EditRole)
            return {};
        TColumn *column = grid_->ShownColumn(index.column());
        return column ? grid_->CellText(index.row(), column) : QString();
    }
    bool setData(const QModelIndex &index, const QVariant &value, int role) override
    {
        if (role != Qt::EditRole || index.row() != grid_->link_->ActiveRecord())
            return false;
        grid_->WriteEditor(value.toString());
        return true;
    }
    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (index.row() == grid_->link_->ActiveRecord() && grid_->CanEditColumn(grid_->ShownColumn(index.column())))
            f |= Qt::ItemIsEditable;
        return f;
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Vertical)
            return role == Qt::DisplayRole && section == grid_->link_->ActiveRecord() ? QStringLiteral("►")
                                                                                      : QVariant();
        TColumn *column = grid_->ShownColumn(section);
        if (!column)
            return {};
        switch (role) {
        case Qt::DisplayRole: return column->TitleCaption();
        case Qt::FontRole: return grid_->TitleFont();
        case Qt::ForegroundRole:
            return ColorToQColor(column->Title().FontColor == clDefault ? grid_->TitleFontColor()
                                                                         : column->Title().FontColor);
        case Qt::BackgroundRole: return ColorToQColor(column->Title().Color);
        case Qt::TextAlignmentRole: {
            const TAlignment a = column->Title().Alignment;
            return int(Qt::AlignVCenter | (a == taCenter         ? Qt::AlignHCenter
                                           : a == taRightJustify ? Qt::AlignRight
                                                                 : Qt::AlignLeft));
        }
        default: return {};
        }
    }

    // Takes the new row and column counts; unchanged counts repaint only.
    void Update(int rows, int columns)
    {
        if (rows != rows_ || columns != columns_) {
            beginResetModel();
            rows_ = rows;
            columns_ = columns;
            endResetModel();
        } else if (rows_ > 0 && columns_ > 0) {
            emit dataChanged(index(0, 0), index(rows_ - 1, columns_ - 1));
            emit headerDataChanged(Qt::Vertical, 0, rows_ - 1);
        }
    }
    void Relayout()
    {
        beginResetModel();
        endResetModel();
    }

private:
    TDBGrid *grid_;
    int rows_ = 0;
    int columns_ = 0;
};

// ---- cell delegate: drawing and editors ----

class TGridDelegate : public QStyledItemDelegate {
public:
    explicit TGridDelegate(TDBGrid *grid) : QStyledItemDelegate(grid), grid_(grid) {}

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        grid_->DrawCell(painter, option.rect, index.row(), index.column());
    }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &index) const override
    {
        TColumn *column = grid_->ShownColumn(index.column());
        TField *field = column ? column->Field() : nullptr;
        QWidget *editor;
        if (field && field->Lookup() && field->LookupDataSet() && field->LookupDataSet()->Active()) {
            auto *combo = new QComboBox(parent);
            combo->addItems(LookupValues(field));
            QObject::connect(combo, &QComboBox::activated, grid_, [g = grid_] { g->EditorModified(); });
            editor = combo;
        } else {
            auto *edit = new QLineEdit(parent);
            edit->setFrame(false);
            // The first change the user makes puts the record into edit mode, so
            // a post or a move from elsewhere takes the text (UpdateData).
            QObject::connect(edit, &QLineEdit::textEdited, grid_, [g = grid_] { g->EditorModified(); });
            if (field && (field->DataType() == ftString || field->DataType() == ftFixedChar) && field->Size() > 0)
                edit->setMaxLength(field->Size());
            if (column && column->ButtonStyle() == TColumnButtonStyle::cbsEllipsis) {
                QAction *button = edit->addAction(QIcon(), QLineEdit::TrailingPosition);
                button->setText(QStringLiteral("..."));
                button->setObjectName(QStringLiteral("EllipsisButton"));
                QObject::connect(button, &QAction::triggered, grid_, [g = grid_] { Fire(g->OnEditButtonClick, g); });
            }
            editor = edit;
        }
        editor->setFont(grid_->View()->font());
        grid_->editor_ = editor;
        grid_->editorBookmark_ = grid_->EditedRecord();
        return editor;
    }
    void destroyEditor(QWidget *editor, const QModelIndex &index) const override
    {
        if (grid_->editor_ == editor)
            grid_->editor_ = nullptr;
        QStyledItemDelegate::destroyEditor(editor, index);
    }
    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        TColumn *column = grid_->ShownColumn(index.column());
        TField *field = column ? column->Field() : nullptr;
        // Loaded once: the view reloads an open editor on every change of its
        // cell, which would drop what the user typed.
        if (!field || editor->property("loaded").toBool())
            return;
        editor->setProperty("loaded", true);
        if (auto *combo = qobject_cast<QComboBox *>(editor)) {
            combo->setCurrentIndex(combo->findText(field->DisplayText()));
        } else if (auto *edit = qobject_cast<QLineEdit *>(editor)) {
            if (!grid_->editorFromKey_)
                edit->setText(field->Text());
            grid_->editorFromKey_ = false;
        }
    }
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override
    {
        if (auto *combo = qobject_cast<QComboBox *>(editor))
            model->setData(index, combo->currentText(), Qt::EditRole);
        else if (auto *edit = qobject_cast<QLineEdit *>(editor))
            model->setData(index, edit->text(), Qt::EditRole);
    }

private:
    // The result values of a lookup field's dataset, in its order.
    static QStringList LookupValues(TField *field)
    {
        QStringList values;
        TDataSet *ds = field->LookupDataSet();
        TField *result = ds->FindField(field->LookupResultField());
        if (!result)
            return values;
        const TBookmark mark = ds->Bookmark();
        ds->DisableControls();
        try {
            for (ds->First(); !ds->Eof(); ds->Next())
                values << result->DisplayText();
            if (!mark.isEmpty() && ds->BookmarkValid(mark))
                ds->GotoBookmark(mark);
        } catch (...) {
            ds->EnableControls();
            throw;
        }
        ds->EnableControls();
        return values;
    }
    TDBGrid *grid_;
};

// ---- the item view ----

class TGridView : public QTableView {
public:
    explicit TGridView(TDBGrid *grid) : QTableView(grid), grid_(grid)
    {
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setSelectionMode(NoSelection);
        setEditTriggers(NoEditTriggers);
        setAutoScroll(false);
        setTabKeyNavigation(false);
        setWordWrap(false);
        setCornerButtonEnabled(false);
        verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        verticalHeader()->setMinimumWidth(12);
        verticalHeader()->setMaximumWidth(12);
        horizontalHeader()->setHighlightSections(false);
        horizontalHeader()->setSectionsClickable(true);
    }
    void CommitAndClose(QWidget *editor, bool accept)
    {
        if (accept)
            commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (!grid_->KeyDown(event->key(), event->modifiers(), event->text()))
            QTableView::keyPressEvent(event);
    }
    void mousePressEvent(QMouseEvent *event) override { grid_->MouseDown(event); }
    void mouseReleaseEvent(QMouseEvent *event) override { grid_->MouseUp(event); }
    void mouseMoveEvent(QMouseEvent *) override {}
    void mouseDoubleClickEvent(QMouseEvent *) override {}
    void wheelEvent(QWheelEvent *event) override
    {
        const QPoint pos = grid_->mapFromGlobal(event->globalPosition().toPoint());
        if (grid_->DoMouseWheel(ShiftStateOf(event->modifiers(), event->buttons()), event->angleDelta().y(), pos))
            event->accept();
        else
            QTableView::wheelEvent(event);
    }
    void updateGeometries() override
    {
        QTableView::updateGeometries();
        if (grid_->link_->Active() && grid_->link_->BufferCount() != grid_->VisibleRowCount())
            grid_->UpdateRowCount();
    }
    void focusInEvent(QFocusEvent *event) override
    {
        QTableView::focusInEvent(event);
        viewport()->update();
    }
    void focusOutEvent(QFocusEvent *event) override
    {
        QTableView::focusOutEvent(event);
        viewport()->update();
    }

private:
    TDBGrid *grid_;
};

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

constexpr int IndicatorWidth = 12;

} // namespace

// ---- columns ----

void TColumn::SetFieldName(const QString &name)
{
    fieldName_ = name;
    Changed(true);
}

TField *TColumn::Field() const
{
    TDataSet *ds = grid_->DataLink().DataSet();
    return ds && !fieldName_.isEmpty() ? ds->FindField(fieldName_) : nullptr;
}

int TColumn::Index() const { return grid_->Columns().IndexOf(this); }

QString TColumn::TitleCaption() const
{
    if (!title_.Caption.isEmpty())
        return title_.Caption;
    TField *field = Field();
    return field ? field->DisplayLabel() : fieldName_;
}

void TColumn::SetTitleCaption(const QString &caption)
{
    title_.Caption = caption;
    Changed(false);
}

void TColumn::SetTitleColor(TColor color)
{
    title_.Color = color;
    Changed(false);
}

void TColumn::SetTitleFontColor(TColor color)
{
    title_.FontColor = color;
    Changed(false);
}

void TColumn::SetWidth(int width)
{
    width_ = width;
    grid_->ApplyColumnWidths();
}

void TColumn::SetVisible(bool visible)
{
    visible_ = visible;
    Changed(true);
}

TAlignment TColumn::Alignment() const
{
    if (alignmentSet_)
        return alignment_;
    TField *field = Field();
    return field ? field->Alignment() : taLeftJustify;
}

void TColumn::SetAlignment(TAlignment alignment)
{
    alignment_ = alignment;
    alignmentSet_ = true;
    Changed(false);
}

void TColumn::SetColor(TColor color)
{
    color_ = color;
    Changed(false);
}

void TColumn::SetFontColor(TColor color)
{
    fontColor_ = color;
    Changed(false);
}

void TColumn::Changed(bool layout)
{
    if (grid_->updating_)
        return;
    if (layout)
        grid_->LayoutChanged();
    else {
        grid_->View()->viewport()->update();
        grid_->View()->horizontalHeader()->viewport()->update();
    }
}

TColumn *TDBGridColumns::Add()
{
    if (state_ == TDBGridColumnsState::csDefault) {
        items_.clear();
        state_ = TDBGridColumnsState::csCustomized;
    }
    items_.push_back(std::make_unique<TColumn>(grid_));
    grid_->LayoutChanged();
    return items_.back().get();
}

void TDBGridColumns::Clear()
{
    items_.clear();
    state_ = TDBGridColumnsState::csDefault;
    grid_->LayoutChanged();
}

void TDBGridColumns::Delete(int index)
{
    items_.erase(items_.begin() + index);
    grid_->LayoutChanged();
}

void TDBGridColumns::Move(int from, int to)
{
    if (from == to || from < 0 || to < 0 || from >= Count() || to >= Count())
        return;
    // A moved default column makes the set the grid's own.
    state_ = TDBGridColumnsState::csCustomized;
    auto column = std::move(items_[size_t(from)]);
    items_.erase(items_.begin() + from);
    items_.insert(items_.begin() + to, std::move(column));
    grid_->LayoutChanged();
}

void TDBGridColumns::RebuildColumns() { Clear(); }

int TDBGridColumns::IndexOf(const TColumn *column) const
{
    for (int i = 0; i < Count(); ++i)
        if (items_[size_t(i)].get() == column)
            return i;
    return -1;
}

void TDBGridColumns::BuildDefault()
{
    items_.clear();
    TDataSet *ds = grid_->DataLink().DataSet();
    if (!ds || !grid_->DataLink().Active())
        return;
    const QFontMetrics cells(grid_->View()->font()), titles(grid_->TitleFont());
    for (int i = 0; i < ds->FieldCount(); ++i) {
        TField *field = ds->Fields()[i];
        if (!field->Visible())
            continue;
        auto column = std::make_unique<TColumn>(grid_);
        column->fieldName_ = field->FieldName();
        column->width_ = std::max(field->DisplayWidth() * cells.horizontalAdvance(QLatin1Char('0')) + 4,
                                  titles.horizontalAdvance(field->DisplayLabel()) + 4);
        items_.push_back(std::move(column));
    }
}

// ---- selected bookmarks ----

bool TBookmarkList::Contains(const TBookmark &bookmark) const
{
    int index;
    return Find(bookmark, index);
}

bool TBookmarkList::Find(const TBookmark &bookmark, int &index) const
{
    const TDataSet *ds = grid_->DataLink().DataSet();
    auto less = [ds](const TBookmark &a, const TBookmark &b) {
        const int c = ds ? ds->CompareBookmarks(a, b) : 0;
        return c != 0 ? c < 0 : a < b;
    };
    auto it = std::lower_bound(items_.begin(), items_.end(), bookmark, less);
    index = int(it - items_.begin());
    return it != items_.end() && *it == bookmark;
}

bool TBookmarkList::CurrentRowSelected() const
{
    const TDataSet *ds = grid_->DataLink().DataSet();
    if (!grid_->DataLink().Active() || !ds || ds->IsEmpty() || !ds->BookmarkAvailable())
        return false;
    return Contains(ds->Bookmark());
}

void TBookmarkList::SetCurrentRowSelected(bool selected)
{
    const TDataSet *ds = grid_->DataLink().DataSet();
    if (!grid_->DataLink().Active() || !ds || ds->IsEmpty() || !ds->BookmarkAvailable())
        return;
    const TBookmark mark = ds->Bookmark();
    int index;
    const bool found = Find(mark, index);
    if (found == selected)
        return;
    if (selected)
        items_.insert(items_.begin() + index, mark);
    else
        items_.erase(items_.begin() + index);
    grid_->View()->viewport()->update();
}

void TBookmarkList::Clear()
{
    if (items_.empty())
        return;
    items_.clear();
    grid_->View()->viewport()->update();
}

bool TBookmarkList::Refresh()
{
    const TDataSet *ds = grid_->DataLink().DataSet();
    const size_t before = items_.size();
    std::erase_if(items_, [ds](const TBookmark &b) { return !ds || !ds->BookmarkValid(b); });
    if (items_.size() != before)
        grid_->View()->viewport()->update();
    return items_.size() != before;
}

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
            if (TColumn *column = ShownColumn(section))
                column->width_ = size;
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
    UpdateRowCount();
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
    const std::vector<TColumn *> shown = ShownColumns();
    for (int i = 0; i < int(shown.size()) && i < model_->columnCount(); ++i)
        view_->horizontalHeader()->resizeSection(i, shown[size_t(i)]->Width());
    updating_ = false;
}

void TDBGrid::UpdateRowCount()
{
    if (updating_) {
        rowsPending_ = true;
        return;
    }

    if (!link_->Active())
        return;
    updating_ = true;
    try {
        link_->SetBufferCount(VisibleRowCount());
    } catch (...) {
        updating_ = false;
        throw;
    }
    updating_ = false;
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
    // column now stands under, as with the class library's grid.
    if (OnTitleClick && toIndex < columns_.Count()) {
        TColumn *moved = columns_[toIndex];
        DispatchEvent([&] { OnTitleClick(this, moved); });
    }
}

// ---- drawing ----

QString TDBGrid::CellText(int row, TColumn *column) const
{
    TField *field = column->Field();
    if (!field || !link_->Active() || row < 0 || row >= link_->RecordCount())
        return {};
    const int active = link_->ActiveRecord();
    link_->SetActiveRecord(row);
    QString text;
    try {
        text = field->DisplayText();
    } catch (const Exception &) {
        text.clear();
    }
    link_->SetActiveRecord(active);
    return text;
}

void TDBGrid::DrawCell(QPainter *painter, const QRect &rect, int row, int viewColumn)
{
    TColumn *column = ShownColumn(viewColumn);
    if (!column || !link_->Active() || row >= link_->RecordCount())
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

void TDBGrid::DefaultDrawColumnCell(const QRect &rect, int, TColumn *column, TGridDrawState)
{
    TField *field = column ? column->Field() : nullptr;
    const QString text = field ? field->DisplayText() : QString();
    const int width = canvas_.TextWidth(text);
    const TAlignment alignment = column ? column->Alignment() : taLeftJustify;
    const int x = alignment == taRightJustify ? rect.right() - width - 2
                  : alignment == taCenter     ? rect.left() + (rect.width() - width) / 2
                                              : rect.left() + 2;
    const int y = rect.top() + (rect.height() - canvas_.TextHeight(text)) / 2;
    canvas_.TextRect(rect, x, y, text);
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

// ---- input ----

bool TDBGrid::ControlEvent(QEvent *event)
{
    return IsFocusEvent(event) ? false : TControl::ControlEvent(event);
}

bool TDBGrid::DoMouseWheel(TShiftState shift, int wheelDelta, QPoint mousePos)
{
    bool handled = false;
    if (OnMouseWheel)
        DispatchEvent([&] { OnMouseWheel(this, shift, wheelDelta, mousePos, handled); });
    if (!handled && wheelDelta != 0 && link_->Active()) {
        const int steps = std::max(1, std::abs(wheelDelta) / 120);
        DispatchEvent([&] { ScrollLines(wheelDelta < 0 ? steps : -steps); });
        handled = true;
    }
    return handled;
}

void TDBGrid::MouseDown(QMouseEvent *event)
{
    view_->setFocus(Qt::MouseFocusReason);
    if (!link_->Active())
        return;
    const QPoint p = event->position().toPoint();
    const int row = view_->rowAt(p.y()), viewColumn = view_->columnAt(p.x());
    if (row < 0 || event->button() != Qt::LeftButton)
        return;
    TColumn *column = ShownColumn(viewColumn);
    const bool sameCell = row == link_->ActiveRecord() && column && column->Index() == selectedIndex_;
    DispatchEvent([&] {
        MoveToRow(row, event->modifiers());
        if (column)
            SetSelectedIndex(column->Index());
        if (sameCell && !editor_ && options_.Contains(dgEditing) && !(event->modifiers() & Qt::ControlModifier))
            SetEditorMode(true);
    });
}

void TDBGrid::MouseUp(QMouseEvent *event)
{
    const QPoint p = event->position().toPoint();
    if (event->button() == Qt::LeftButton && view_->rowAt(p.y()) >= 0 && ShownColumn(view_->columnAt(p.x())))
        Fire(OnCellClick, this);
}

void TDBGrid::MoveToRow(int row, Qt::KeyboardModifiers modifiers)
{
    const int from = link_->ActiveRecord();
    CloseEditor(true);
    const bool multi = options_.Contains(dgMultiSelect);
    if (multi && (modifiers & Qt::ShiftModifier)) {
        SelectRange(from, row);
        return;
    }
    if (multi && !(modifiers & Qt::ControlModifier))
        selectedRows_.Clear();
    if (row != from)
        link_->DataSet()->MoveBy(row - from);
    if (multi && (modifiers & Qt::ControlModifier))
        selectedRows_.SetCurrentRowSelected(!selectedRows_.CurrentRowSelected());
}

void TDBGrid::SelectRange(int fromRow, int toRow)
{
    TDataSet *ds = link_->DataSet();
    const int step = toRow >= fromRow ? 1 : -1;
    selectedRows_.SetCurrentRowSelected(true);
    for (int r = fromRow; r != toRow; r += step) {
        if (ds->MoveBy(step) == 0)
            break;
        selectedRows_.SetCurrentRowSelected(true);
    }
}

bool TDBGrid::KeyDown(int key, Qt::KeyboardModifiers modifiers, const QString &text)
{
    if (!link_->Active())
        return false;
    TDataSet *ds = link_->DataSet();
    const bool ctrl = modifiers & Qt::ControlModifier;
    const bool shift = modifiers & Qt::ShiftModifier;
    const bool multi = options_.Contains(dgMultiSelect);
    auto move = [&](int distance) {
        CloseEditor(true);
        if (multi && shift) {
            selectedRows_.SetCurrentRowSelected(true);
            ds->MoveBy(distance);
            selectedRows_.SetCurrentRowSelected(true);
        } else {
            if (multi)
                selectedRows_.Clear();
            ds->MoveBy(distance);
        }
    };
    bool done = true;
    DispatchEvent([&] {
        switch (key) {
        case Qt::Key_Up: move(-1); break;
        case Qt::Key_Down: move(1); break;
        case Qt::Key_PageUp: move(-VisibleRowCount()); break;
        case Qt::Key_PageDown: move(VisibleRowCount()); break;
        case Qt::Key_Home:
            if (ctrl) {
                CloseEditor(true);
                ds->First();
            } else {
                SetSelectedIndex(ShownColumns().empty() ? 0 : ShownColumns().front()->Index());
            }
            break;
        case Qt::Key_End:
            if (ctrl) {
                CloseEditor(true);
                ds->Last();
            } else {
                SetSelectedIndex(ShownColumns().empty() ? 0 : ShownColumns().back()->Index());
            }
            break;
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Tab:
        case Qt::Key_Backtab: {
            if ((key == Qt::Key_Tab || key == Qt::Key_Backtab) && !options_.Contains(dgTabs)) {
                done = false;
                break;
            }
            const int step = key == Qt::Key_Left || key == Qt::Key_Backtab || shift ? -1 : 1;
            const int next = ViewColumnOf(selectedIndex_) + step;
            if (TColumn *column = ShownColumn(next))
                SetSelectedIndex(column->Index());
            break;
        }
        case Qt::Key_F2:
        case Qt::Key_Return:
        case Qt::Key_Enter: SetEditorMode(!EditorMode()); break;
        case Qt::Key_Escape:
            if (ds->State() == dsEdit || ds->State() == dsInsert)
                ds->Cancel();
            else
                done = false;
            break;
        default:
            if (!text.isEmpty() && text[0].isPrint() && !ctrl && options_.Contains(dgEditing)) {
                SetEditorMode(true);
                if (auto *edit = qobject_cast<QLineEdit *>(editor_)) {
                    edit->setText(text);
                    editorFromKey_ = false;
                    EditorModified();
                }
            } else {
                done = false;
            }
        }
    });
    return done;
}

// ---- editing ----

bool TDBGrid::CanEditColumn(TColumn *column) const
{
    if (!column || readOnly_ || !options_.Contains(dgEditing) || column->ReadOnly() || !link_->Active())
        return false;
    TField *field = column->Field();
    if (!field || link_->ReadOnly())
        return false;
    if (field->Lookup()) {
        // A lookup column edits its key field.
        TField *key = field->LookupDataSet() ? link_->DataSet()->FindField(field->KeyFields()) : nullptr;
        return key && !field->ReadOnly() && key->CanModify();
    }
    return field->CanModify();
}

bool TDBGrid::EditorMode() const { return editor_ != nullptr; }

void TDBGrid::SetEditorMode(bool on)
{
    if (!on) {
        CloseEditor(true);
        return;
    }
    if (editor_ || !CanEditColumn(ShownColumn(ViewColumnOf(selectedIndex_))))
        return;
    UpdateCurrent();
    if (!view_->currentIndex().isValid())
        return;
    editorFromKey_ = false;
    view_->edit(view_->currentIndex());
    if (editor_)
        editor_->setFocus(Qt::OtherFocusReason);
}

void TDBGrid::CloseEditor(bool accept)
{
    if (QWidget *editor = editor_) {
        // The grid keeps the focus its editor had, and takes none it had not.
        const bool hadFocus = editor->hasFocus();
        static_cast<TGridView *>(view_)->CommitAndClose(editor, accept);
        editor_ = nullptr;
        if (hadFocus)
            view_->setFocus(Qt::OtherFocusReason);
    }
}

void TDBGrid::WriteEditor(const QString &text)
{
    TColumn *column = ShownColumn(ViewColumnOf(selectedIndex_));
    TField *field = column ? column->Field() : nullptr;
    if (!field)
        return;
    DispatchEvent([&] {
        if (field->Lookup()) {
            if (text == field->DisplayText())
                return;
            TDataSet *ds = link_->DataSet();
            const Variant key = field->LookupDataSet()->Lookup(field->LookupResultField(), text,
                                                               field->LookupKeyFields());
            if (!link_->Edit())
                return;
            ds->FieldByName(field->KeyFields())->SetValue(key);
            return;
        }
        if (text == field->Text())
            return;
        if (!link_->Edit())
            return;
        field->SetText(text);
    });
}

// ---- the program's grid ----

TKDBGrid::TKDBGrid(QWidget *parent, const QString &name) : TDBGrid(parent, name) {}

bool TKDBGrid::DoMouseWheel(TShiftState shift, int wheelDelta, QPoint mousePos)
{
    bool handled = false;
    if (OnMouseWheel)
        DispatchEvent([&] { OnMouseWheel(this, shift, wheelDelta, mousePos, handled); });
    if (handled || wheelDelta == 0 || !DataLink().Active() || !DataLink().DataSet())
        return handled;
    const int steps = std::max(1, std::abs(wheelDelta) / 120);
    const int lines = wheelLinesMode_ ? QApplication::wheelScrollLines() : wheelLinesMany_;
    DispatchEvent([&] { ScrollLines((wheelDelta < 0 ? steps : -steps) * lines); });
    return true;
}

// ---- column layout ----

void ApplyColumnLayout(TDBGrid *grid, bool apply, QString &layout)
{
    TDataSet *ds = grid && grid->DataSource() ? grid->DataSource()->DataSet() : nullptr;
    if (!grid || !ds)
        return;
    TDBGridColumns &columns = grid->Columns();
    if (!apply) {
        if (columns.Count() <= 1) {
            // Too few columns to describe a layout: the grid takes one column
            // per visible field first.
            columns.Clear();
            for (int i = 0; i < ds->FieldCount(); ++i) {
                TField *field = ds->Fields()[i];
                if (!field->Visible())
                    continue;
                const QFontMetrics metrics(grid->View()->font());
                TColumn *column = columns.Add();
                column->SetFieldName(field->FieldName());
                column->SetWidth(std::max(field->DisplayWidth() * metrics.horizontalAdvance(QLatin1Char('0')) + 4,
                                          metrics.horizontalAdvance(field->DisplayLabel()) + 4));
            }
        }
        if (columns.Count() > 1) {
            QStringList lines;
            for (int i = 0; i < columns.Count(); ++i)
                if (columns[i]->Width() > 0)
                    lines << columns[i]->FieldName() + QLatin1Char('=') + QString::number(columns[i]->Width());
            layout = lines.join(QStringLiteral("\r\n"));
        }
        return;
    }
    if (layout.isEmpty())
        return;
    QList<std::pair<QString, int>> lines;
    for (const QString &raw : layout.split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        const int eq = line.indexOf(QLatin1Char('='));
        if (line.isEmpty())
            continue;
        bool ok = false;
        const int width = eq < 0 ? 0 : line.mid(eq + 1).trimmed().toInt(&ok);
        lines.append({eq < 0 ? line : line.left(eq).trimmed(), ok ? width : 0});
    }
    auto widthOf = [&lines](const QString &name) {
        for (const auto &[field, width] : lines)
            if (field.compare(name, Qt::CaseInsensitive) == 0)
                return width;
        return 0;
    };
    for (int i = 0; i < ds->FieldCount(); ++i)
        if (ds->Fields()[i]->Visible() && widthOf(ds->Fields()[i]->FieldName()) <= 0)
            return;
    columns.Clear();
    for (const auto &[name, width] : lines) {
        TField *field = ds->FindField(name);
        if (!field) {
            columns.Clear();
            return;
        }
        TColumn *column = columns.Add();
        column->SetFieldName(field->FieldName());
        column->SetWidth(width > 0 ? width : 20);
        if (field->DataType() == ftDate)
            column->SetButtonStyle(TColumnButtonStyle::cbsEllipsis);
        else if (field->DataType() == ftDateTime)
            column->SetReadOnly(true);
    }
}

} // namespace zorbel
