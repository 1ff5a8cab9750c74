// The data grid's inner parts, seen only by the grid's own units: the data
// link that reports the dataset's changes to the grid, the item model whose
// rows are the link's window of records, the cell delegate that draws cells
// and opens the in-place editors, and the item view that passes keys, mouse
// and wheel to the grid. Each part is a nested class of TDBGrid and calls the
// grid's private steps; none of them holds data of its own beyond the model's
// row and column counts.
#pragma once

#include "platform/widgets/DBGrids.h"

#include <QAbstractTableModel>
#include <QStyledItemDelegate>

namespace zorbel {

class TDBGrid::TGridDataLink : public TDataLink {
public:
    explicit TGridDataLink(TDBGrid *grid) : grid_(grid) {}

protected:
    void ActiveChanged() override { grid_->LinkActive(); }
    void DataSetChanged() override { grid_->LinkChanged(); }
    void DataSetScrolled(int) override { grid_->LinkChanged(); }
    void LayoutChanged() override { grid_->LayoutChanged(); }
    void RecordChanged(TField *field) override { grid_->LinkRecordChanged(field); }
    void EditingChanged() override { grid_->LinkRecordChanged(nullptr); }
    // Writes an open editor's text into its field before the dataset posts or moves.
    void UpdateData() override;

private:
    TDBGrid *grid_;
};

// The link's window as a table: one row per buffered record, one column per
// shown column. Cells are read from the dataset on demand.
class TDBGrid::TGridModel : public QAbstractTableModel {
public:
    explicit TGridModel(TDBGrid *grid) : QAbstractTableModel(grid), grid_(grid) {}

    int rowCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : rows_; }
    int columnCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : columns_; }
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Takes the new row and column counts; unchanged counts repaint only.
    void Update(int rows, int columns);
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

// Draws every cell through the grid and builds the in-place editors: a
// drop-down for lookup fields, else a line edit (with the ellipsis button
// when the column asks for one).
class TDBGrid::TGridDelegate : public QStyledItemDelegate {
public:
    explicit TGridDelegate(TDBGrid *grid) : QStyledItemDelegate(grid), grid_(grid) {}

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        grid_->DrawCell(painter, option.rect, index.row(), index.column());
    }
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &index) const override;
    void destroyEditor(QWidget *editor, const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;

protected:
    // Tab in an editor is the grid's key, not the view's move to its next cell.
    bool eventFilter(QObject *object, QEvent *event) override;

private:
    // The result values of a lookup field's dataset, in its order.
    static QStringList LookupValues(TField *field);
    TDBGrid *grid_;
};

// The shown table: no scroll bar of its own (the grid's bar moves the
// dataset), no selection of its own, editors opened only by the grid.
class TDBGrid::TGridView : public QTableView {
public:
    explicit TGridView(TDBGrid *grid);
    // Writes the editor's text through the model (when accepted) and closes it.
    void CommitAndClose(QWidget *editor, bool accept)
    {
        if (accept)
            commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
    // Moves the focus to the next (previous) control, as Tab does.
    void MoveFocus(bool next) { QTableView::focusNextPrevChild(next); }

protected:
    // Tab moves between the cells of a grid edited in place (dgTabs).
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override { grid_->MouseDown(event); }
    void mouseReleaseEvent(QMouseEvent *event) override { grid_->MouseUp(event); }
    void mouseMoveEvent(QMouseEvent *) override {}
    void mouseDoubleClickEvent(QMouseEvent *) override {}
    void wheelEvent(QWheelEvent *event) override;
    void updateGeometries() override;
    void paintEvent(QPaintEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    TDBGrid *grid_;
};

} // namespace zorbel
