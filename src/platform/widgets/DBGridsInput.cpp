// The data grid's answers to the user: mouse presses and the wheel, keys,
// and the choice of records in a multi-select grid (selected bookmarks).
#include "platform/widgets/DBGridsView.h"

#include "platform/widgets/FocusWithin.h"

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <algorithm>

namespace zorbel {

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
        case Qt::Key_Tab:
        case Qt::Key_Backtab: done = TabKey(key == Qt::Key_Backtab || shift); break;
        case Qt::Key_Left:
        case Qt::Key_Right: {
            const int step = key == Qt::Key_Left ? -1 : 1;
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

bool TDBGrid::TabKey(bool back)
{
    if (!options_.Contains(dgTabs) || !options_.Contains(dgEditing) || options_.Contains(dgRowSelect) ||
        !link_->Active() || ShownColumns().empty())
        return false;
    DispatchEvent([&] {
        const std::vector<TColumn *> shown = ShownColumns();
        int next = ViewColumnOf(selectedIndex_) + (back ? -1 : 1);
        if (next < 0 || next >= int(shown.size())) {
            // Past the last column: the first of the next record (the
            // record being edited is posted by the move); at the end the
            // cell stays.
            CloseEditor(true);
            if (link_->DataSet()->MoveBy(back ? -1 : 1) == 0)
                return;
            next = back ? int(shown.size()) - 1 : 0;
        }
        SetSelectedIndex(shown[next]->Index());
    });
    return true;
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

} // namespace zorbel
