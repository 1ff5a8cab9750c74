// The data grid's link, item model, cell delegate and item view: the Qt side
// of the grid, each step handed to the grid's own rules (DBGridsView.h).
#include "platform/widgets/DBGridsView.h"

#include <QPaintEvent>

#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPaintEvent>
#include <QWheelEvent>

namespace zorbel {

// ---- data link ----

void TDBGrid::TGridDataLink::UpdateData()
{
    if (auto *edit = qobject_cast<QLineEdit *>(grid_->editor_))
        grid_->WriteEditor(edit->text());
    else if (auto *combo = qobject_cast<QComboBox *>(grid_->editor_))
        grid_->WriteEditor(combo->currentText());
}

// ---- item model: the link's window ----

QVariant TDBGrid::TGridModel::data(const QModelIndex &index, int role) const
{
    if (role == Qt::ToolTipRole) {
        TColumn *column = grid_->ShownColumn(index.column());
        const QString hint = column ? grid_->CellHint(index.row(), column) : QString();
        return hint.isEmpty() ? QVariant() : QVariant(hint);
    }
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return {};
    TColumn *column = grid_->ShownColumn(index.column());
    return column ? grid_->CellText(index.row(), column) : QString();
}

bool TDBGrid::TGridModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    // An editor's text goes only into the cell the grid has selected.
    if (role != Qt::EditRole || index.row() != grid_->link_->ActiveRecord() ||
        index.column() != grid_->ViewColumnOf(grid_->selectedIndex_))
        return false;
    grid_->WriteEditor(value.toString());
    return true;
}

Qt::ItemFlags TDBGrid::TGridModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (grid_->DataWalkedByRun())
        return f;
    if (index.row() == grid_->link_->ActiveRecord() && grid_->CanEditColumn(grid_->ShownColumn(index.column())))
        f |= Qt::ItemIsEditable;
    return f;
}

QVariant TDBGrid::TGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical)
        return role == Qt::DisplayRole && !grid_->DataWalkedByRun() && section == grid_->link_->ActiveRecord()
                   ? QStringLiteral("►")
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

void TDBGrid::TGridModel::Update(int rows, int columns)
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

// ---- cell delegate: editors ----

QWidget *TDBGrid::TGridDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &,
                                              const QModelIndex &index) const
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

void TDBGrid::TGridDelegate::destroyEditor(QWidget *editor, const QModelIndex &index) const
{
    if (grid_->editor_ == editor)
        grid_->editor_ = nullptr;
    QStyledItemDelegate::destroyEditor(editor, index);
}

void TDBGrid::TGridDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
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

void TDBGrid::TGridDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const
{
    if (auto *combo = qobject_cast<QComboBox *>(editor))
        model->setData(index, combo->currentText(), Qt::EditRole);
    else if (auto *edit = qobject_cast<QLineEdit *>(editor))
        model->setData(index, edit->text(), Qt::EditRole);
}

QStringList TDBGrid::TGridDelegate::LookupValues(TField *field)
{
    QStringList values;
    TDataSet *ds = field->LookupDataSet();
    TField *result = ds->FindField(field->LookupResultField());
    if (!result)
        return values;
    const TBookmark mark = ds->Bookmark();
    {
        TControlsOff off(*ds);
        for (ds->First(); !ds->Eof(); ds->Next())
            values << result->DisplayText();
        if (!mark.isEmpty() && ds->BookmarkValid(mark))
            ds->GotoBookmark(mark);
    }
    return values;
}

// ---- the item view ----

TDBGrid::TGridView::TGridView(TDBGrid *grid) : QTableView(grid), grid_(grid)
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

namespace {

bool IsTabKey(const QEvent *event, bool &back)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto *ke = static_cast<const QKeyEvent *>(event);
    if ((ke->key() != Qt::Key_Tab && ke->key() != Qt::Key_Backtab) ||
        (ke->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
        return false;
    back = ke->key() == Qt::Key_Backtab || (ke->modifiers() & Qt::ShiftModifier);
    return true;
}

} // namespace

bool TDBGrid::TGridDelegate::eventFilter(QObject *object, QEvent *event)
{
    bool back = false;
    if (IsTabKey(event, back) && object == grid_->editor_) {
        if (!grid_->TabKey(back)) {
            // Not the grid's key: the text is kept and the focus moves on.
            grid_->CloseEditor(true);
            static_cast<TGridView *>(grid_->View())->MoveFocus(!back);
        }
        return true;
    }
    return QStyledItemDelegate::eventFilter(object, event);
}

bool TDBGrid::TGridView::event(QEvent *event)
{
    bool back = false;
    if (IsTabKey(event, back) && grid_->TabKey(back)) {
        event->accept();
        return true;
    }
    return QTableView::event(event);
}

void TDBGrid::TGridView::keyPressEvent(QKeyEvent *event)
{
    if (!grid_->KeyDown(event->key(), event->modifiers(), event->text()))
        QTableView::keyPressEvent(event);
}

void TDBGrid::TGridView::wheelEvent(QWheelEvent *event)
{
    const QPoint pos = grid_->mapFromGlobal(event->globalPosition().toPoint());
    if (grid_->DoMouseWheel(ShiftStateOf(event->modifiers(), event->buttons()), event->angleDelta().y(), pos))
        event->accept();
    else
        QTableView::wheelEvent(event);
}

void TDBGrid::TGridView::paintEvent(QPaintEvent *event)
{
    grid_->PaintStarts(event->rect());
    QTableView::paintEvent(event);
    grid_->PaintEnds();
}

void TDBGrid::TGridView::updateGeometries()
{
    QTableView::updateGeometries();
    if (grid_->link_->Active() && grid_->link_->BufferCount() != grid_->VisibleRowCount())
        grid_->UpdateRowCount();
}

void TDBGrid::TGridView::focusInEvent(QFocusEvent *event)
{
    QTableView::focusInEvent(event);
    viewport()->update();
}

void TDBGrid::TGridView::focusOutEvent(QFocusEvent *event)
{
    QTableView::focusOutEvent(event);
    viewport()->update();
}

} // namespace zorbel
