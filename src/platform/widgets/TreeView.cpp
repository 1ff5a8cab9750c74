// The tree view over QTreeWidget; see TreeView.h.
#include "platform/widgets/TreeView.h"

#include "platform/rtl/Collation.h"
#include "platform/widgets/FocusWithin.h"

#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <algorithm>
#include <utility>
#include <vector>

namespace zorbel {

namespace {

// Expansion flags of a branch, kept while its nodes are taken out and put back.
void SaveExpanded(QTreeWidgetItem *item, std::vector<std::pair<QTreeWidgetItem *, bool>> &states)
{
    states.emplace_back(item, item->isExpanded());
    for (int i = 0; i < item->childCount(); ++i)
        SaveExpanded(item->child(i), states);
}

void RestoreExpanded(const std::vector<std::pair<QTreeWidgetItem *, bool>> &states)
{
    for (const auto &[item, expanded] : states)
        item->setExpanded(expanded);
}

bool TextLess(QTreeWidgetItem *a, QTreeWidgetItem *b) { return CompareRussian(a->text(0), b->text(0), false) < 0; }

} // namespace

// ---- node ----

TTreeNode::TTreeNode(const QString &text) : QTreeWidgetItem(QStringList{text})
{
    setFlags(flags() | Qt::ItemIsEditable);
}

TTreeNode::~TTreeNode()
{
    // Removing the edited node would otherwise commit its editor into a node
    // that is going away.
    if (TTreeView *tree = TreeView())
        for (TTreeNode *p = tree->editedNode_; p; p = p->Parent())
            if (p == this) {
                tree->EndEditing(true);
                break;
            }
}

TTreeView *TTreeNode::TreeView() const { return static_cast<TTreeView *>(treeWidget()); }

int TTreeNode::Level() const
{
    int level = 0;
    for (QTreeWidgetItem *p = parent(); p; p = p->parent())
        ++level;
    return level;
}

int TTreeNode::Index() const
{
    if (parent())
        return parent()->indexOfChild(const_cast<TTreeNode *>(this));
    return treeWidget() ? treeWidget()->indexOfTopLevelItem(const_cast<TTreeNode *>(this)) : -1;
}

int TTreeNode::AbsoluteIndex() const
{
    TTreeView *tree = TreeView();
    int index = 0;
    for (TTreeNode *n = tree ? tree->Items().GetFirstNode() : nullptr; n; n = n->GetNext(), ++index)
        if (n == this)
            return index;
    return -1;
}

TTreeNode *TTreeNode::GetNextSibling() const
{
    const int i = Index();
    if (parent())
        return static_cast<TTreeNode *>(parent()->child(i + 1));
    return treeWidget() ? static_cast<TTreeNode *>(treeWidget()->topLevelItem(i + 1)) : nullptr;
}

TTreeNode *TTreeNode::GetPrevSibling() const
{
    const int i = Index();
    if (i <= 0)
        return nullptr;
    if (parent())
        return static_cast<TTreeNode *>(parent()->child(i - 1));
    return treeWidget() ? static_cast<TTreeNode *>(treeWidget()->topLevelItem(i - 1)) : nullptr;
}

TTreeNode *TTreeNode::GetNext() const
{
    if (HasChildren())
        return Item(0);
    for (const TTreeNode *n = this; n; n = n->Parent())
        if (TTreeNode *next = n->GetNextSibling())
            return next;
    return nullptr;
}

void TTreeNode::Expand(bool recurse)
{
    setExpanded(true);
    if (recurse)
        for (int i = 0; i < Count(); ++i)
            Item(i)->Expand(true);
}

void TTreeNode::Collapse(bool recurse)
{
    setExpanded(false);
    if (recurse)
        for (int i = 0; i < Count(); ++i)
            Item(i)->Collapse(true);
}

bool TTreeNode::Selected() const { return isSelected(); }

bool TTreeNode::Focused() const { return treeWidget() && treeWidget()->currentItem() == this; }

void TTreeNode::MakeVisible()
{
    if (treeWidget())
        treeWidget()->scrollToItem(this);
}

QRect TTreeNode::DisplayRect(bool textOnly) const
{
    TTreeView *tree = TreeView();
    if (!tree)
        return {};
    const QRect row = tree->visualItemRect(this);
    if (!textOnly || row.isEmpty())
        return row;
    return QRect(row.left(), row.top(), tree->fontMetrics().horizontalAdvance(Text()) + 6, row.height());
}

bool TTreeNode::EditText()
{
    TTreeView *tree = TreeView();
    if (!tree || tree->ReadOnly())
        return false;
    tree->setCurrentItem(this);
    tree->edit(tree->indexFromItem(this), QAbstractItemView::AllEditTriggers, nullptr);
    return tree->IsEditing();
}

void TTreeNode::EndEdit(bool cancel)
{
    if (TTreeView *tree = TreeView())
        tree->EndEditing(cancel);
}

void TTreeNode::AlphaSort(bool recurse)
{
    TTreeView *tree = TreeView();
    QTreeWidgetItem *current = tree ? tree->currentItem() : nullptr;
    std::vector<std::pair<QTreeWidgetItem *, bool>> states;
    for (int i = 0; i < Count(); ++i)
        SaveExpanded(child(i), states);
    QList<QTreeWidgetItem *> children = takeChildren();
    std::stable_sort(children.begin(), children.end(), TextLess);
    addChildren(children);
    RestoreExpanded(states);
    if (recurse)
        for (int i = 0; i < Count(); ++i)
            Item(i)->AlphaSort(true);
    if (tree && current)
        tree->setCurrentItem(current);
}

void TTreeNode::MoveTo(TTreeNode *destination, TNodeAttachMode mode)
{
    TTreeView *tree = TreeView();
    if (!tree || destination == this)
        return;
    for (TTreeNode *p = destination; p; p = p->Parent())
        if (p == this)
            return; // a branch cannot move into itself
    QTreeWidgetItem *current = tree->currentItem();
    std::vector<std::pair<QTreeWidgetItem *, bool>> states;
    SaveExpanded(this, states);
    if (parent())
        parent()->takeChild(Index());
    else
        tree->takeTopLevelItem(Index());
    TTreeNode *parentNode = nullptr;
    int index = 0;
    switch (mode) {
    case naAdd:
    case naAddFirst:
    case naInsert:
        parentNode = destination ? destination->Parent() : nullptr;
        index = mode == naAddFirst ? 0
                : mode == naInsert && destination ? destination->Index()
                : parentNode ? parentNode->Count()
                             : tree->topLevelItemCount();
        break;
    case naAddChild:
    case naAddChildFirst:
        parentNode = destination;
        index = mode == naAddChildFirst ? 0 : parentNode ? parentNode->Count() : tree->topLevelItemCount();
        break;
    }
    if (parentNode)
        parentNode->insertChild(index, this);
    else
        tree->insertTopLevelItem(index, this);
    RestoreExpanded(states);
    if (current)
        tree->setCurrentItem(current);
}

void TTreeNode::Delete()
{
    if (TTreeView *tree = TreeView())
        for (TTreeNode *p = tree->dropTarget_; p; p = p->Parent())
            if (p == this) {
                tree->dropTarget_ = nullptr;
                break;
            }
    delete this;
}

void TTreeNode::DeleteChildren()
{
    while (Count() > 0)
        Item(Count() - 1)->Delete();
}

// ---- nodes ----

int TTreeNodes::Count() const
{
    int n = 0;
    for (TTreeNode *node = GetFirstNode(); node; node = node->GetNext())
        ++n;
    return n;
}

TTreeNode *TTreeNodes::Item(int absoluteIndex) const
{
    if (absoluteIndex < 0)
        return nullptr;
    TTreeNode *node = GetFirstNode();
    for (int i = 0; node && i < absoluteIndex; ++i)
        node = node->GetNext();
    return node;
}

TTreeNode *TTreeNodes::GetFirstNode() const { return static_cast<TTreeNode *>(tree_->topLevelItem(0)); }

TTreeNode *TTreeNodes::Attach(TTreeNode *node, TTreeNode *parent, int index)
{
    if (parent)
        parent->insertChild(index, node);
    else
        tree_->insertTopLevelItem(index, node);
    if (tree_->SortType() == TSortType::stText) {
        if (parent)
            parent->AlphaSort(false);
        else
            tree_->AlphaSort();
    }
    return node;
}

TTreeNode *TTreeNodes::AddObject(TTreeNode *sibling, const QString &text, std::int64_t data)
{
    TTreeNode *parent = sibling ? sibling->Parent() : nullptr;
    auto *node = new TTreeNode(text);
    node->SetData(data);
    return Attach(node, parent, parent ? parent->Count() : tree_->topLevelItemCount());
}

TTreeNode *TTreeNodes::AddFirst(TTreeNode *sibling, const QString &text)
{
    return Attach(new TTreeNode(text), sibling ? sibling->Parent() : nullptr, 0);
}

TTreeNode *TTreeNodes::AddChildObject(TTreeNode *parent, const QString &text, std::int64_t data)
{
    auto *node = new TTreeNode(text);
    node->SetData(data);
    return Attach(node, parent, parent ? parent->Count() : tree_->topLevelItemCount());
}

TTreeNode *TTreeNodes::AddChildFirst(TTreeNode *parent, const QString &text)
{
    return Attach(new TTreeNode(text), parent, 0);
}

TTreeNode *TTreeNodes::Insert(TTreeNode *sibling, const QString &text)
{
    if (!sibling)
        return Add(nullptr, text);
    return Attach(new TTreeNode(text), sibling->Parent(), sibling->Index());
}

void TTreeNodes::Clear()
{
    tree_->dropTarget_ = nullptr;
    tree_->EndEditing(true);
    tree_->clear();
}

void TTreeNodes::BeginUpdate()
{
    if (updateCount_++ == 0)
        tree_->setUpdatesEnabled(false);
}

void TTreeNodes::EndUpdate()
{
    if (updateCount_ > 0 && --updateCount_ == 0)
        tree_->setUpdatesEnabled(true);
}

// ---- drawing and label editing ----

class TTreeDelegate : public QStyledItemDelegate {
public:
    explicit TTreeDelegate(TTreeView *tree) : QStyledItemDelegate(tree), tree_(tree) {}

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        TCustomDrawState state = 0;
        if (option.state & QStyle::State_Selected)
            state |= cdsSelected;
        if (option.state & QStyle::State_HasFocus)
            state |= cdsFocused;
        if (auto *node = static_cast<TTreeNode *>(tree_->itemFromIndex(index)))
            tree_->DrawNode(painter, option.rect, node, state);
    }
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
        tree_->editor_ = editor;
        tree_->editedNode_ = static_cast<TTreeNode *>(tree_->itemFromIndex(index));
        return editor;
    }
    void destroyEditor(QWidget *editor, const QModelIndex &index) const override
    {
        if (tree_->editor_ == editor) {
            tree_->editor_ = nullptr;
            tree_->editedNode_ = nullptr;
        }
        QStyledItemDelegate::destroyEditor(editor, index);
    }
    void setModelData(QWidget *editor, QAbstractItemModel *, const QModelIndex &index) const override
    {
        if (auto *edit = qobject_cast<QLineEdit *>(editor))
            if (auto *node = static_cast<TTreeNode *>(tree_->itemFromIndex(index)))
                tree_->LabelEdited(node, edit->text());
    }

private:
    TTreeView *tree_;
};

// ---- tree ----

TTreeView::TTreeView(QWidget *parent, const QString &name) : QTreeWidget(parent), TControl(this), items_(this)
{
    SetName(name);
    setColumnCount(1);
    setHeaderHidden(true);
    setSelectionMode(SingleSelection);
    setUniformRowHeights(true);
    // Dragging is the control's own (DragMode, OnDragOver, OnDragDrop), not
    // the item view's; the view keeps accepting drops for it.
    setDragEnabled(false);
    setItemDelegate(new TTreeDelegate(this));
    HideViewSelection();
    SetReadOnly(false);
    // A label editor taking the focus is no leaving of the tree.
    TrackFocusWithin(this, [this](QEvent *e) { TControl::ControlEvent(e); });
    connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *current) {
        if (OnChange)
            DispatchEvent([&] { OnChange(this, static_cast<TTreeNode *>(current)); });
    });
}

TTreeView::~TTreeView()
{
    // Node deletion during teardown must reach no handler.
    EndEditing(true);
    OnChange = nullptr;
    blockSignals(true);
}

TTreeNode *TTreeView::Selected() const { return static_cast<TTreeNode *>(currentItem()); }

void TTreeView::SetSelected(TTreeNode *node)
{
    if (node)
        setCurrentItem(node);
    else
        setCurrentItem(nullptr);
}

TTreeNode *TTreeView::GetNodeAt(int x, int y) const
{
    const QRect client = viewport()->rect();
    if (!client.contains(x, y))
        return nullptr;
    return static_cast<TTreeNode *>(itemAt(QPoint(client.left() + 1, y)));
}

THitTests TTreeView::GetHitTestInfoAt(int x, int y) const
{
    const QRect client = viewport()->rect();
    THitTests outside;
    if (x < client.left())
        outside.Include(htToLeft);
    else if (x > client.right())
        outside.Include(htToRight);
    if (y < client.top())
        outside.Include(htAbove);
    else if (y > client.bottom())
        outside.Include(htBelow);
    if (!outside.Empty())
        return outside;
    TTreeNode *node = GetNodeAt(x, y);
    if (!node)
        return {htNowhere};
    const QRect label = node->DisplayRect(true);
    if (x >= label.left() && x <= label.right())
        return {htOnItem, htOnLabel};
    if (x > label.right())
        return {htOnRight};
    if (node->HasChildren() && x >= label.left() - indentation())
        return {htOnButton};
    return {htOnIndent};
}

void TTreeView::FullExpand()
{
    for (TTreeNode *n = items_.GetFirstNode(); n; n = n->GetNextSibling())
        n->Expand(true);
}

void TTreeView::FullCollapse()
{
    for (TTreeNode *n = items_.GetFirstNode(); n; n = n->GetNextSibling())
        n->Collapse(true);
}

void TTreeView::AlphaSort()
{
    QTreeWidgetItem *current = currentItem();
    std::vector<std::pair<QTreeWidgetItem *, bool>> states;
    QList<QTreeWidgetItem *> roots;
    for (int i = 0; i < topLevelItemCount(); ++i)
        SaveExpanded(topLevelItem(i), states);
    while (topLevelItemCount() > 0)
        roots << takeTopLevelItem(0);
    std::stable_sort(roots.begin(), roots.end(), TextLess);
    addTopLevelItems(roots);
    for (QTreeWidgetItem *root : roots)
        static_cast<TTreeNode *>(root)->AlphaSort(true);
    RestoreExpanded(states);
    if (current)
        setCurrentItem(current);
}

void TTreeView::SetSortType(TSortType type)
{
    sortType_ = type;
    if (type == TSortType::stText)
        AlphaSort();
}

void TTreeView::SetReadOnly(bool readOnly)
{
    readOnly_ = readOnly;
    setEditTriggers(readOnly ? NoEditTriggers : EditTriggers(EditKeyPressed | SelectedClicked));
}

void TTreeView::SetColor(TColor color)
{
    TControl::SetColor(color);
    QPalette p = palette();
    p.setColor(QPalette::Base, ColorToQColor(color));
    setPalette(p);
    HideViewSelection();
}

void TTreeView::HideViewSelection()
{
    // The nodes draw their own selection (DrawNode); the view's highlight of
    // the indent and branch area is painted in the background colour.
    QPalette p = palette();
    p.setColor(QPalette::Highlight, p.color(QPalette::Base));
    p.setColor(QPalette::HighlightedText, p.color(QPalette::Text));
    setPalette(p);
}

bool TTreeView::edit(const QModelIndex &index, EditTrigger trigger, QEvent *event)
{
    // A click on the selected node only arms Qt's delayed edit, which comes
    // back here as AllEditTriggers without an event. When a double-click came
    // in between (it opens the node's work, an operation card above this
    // window), no editor opens: it would open behind that work and take the
    // next keys typed as the node's new name.
    if (trigger == AllEditTriggers && !event && delayedEditArmed_) {
        delayedEditArmed_ = false;
        if (std::exchange(delayedEditCancelled_, false))
            return false;
    }
    const bool opens = index.isValid() && state() != EditingState && !readOnly_ &&
                       (trigger == AllEditTriggers || (trigger != SelectedClicked && (trigger & editTriggers())));
    if (opens && OnEditing) {
        bool allow = true;
        TTreeNode *node = static_cast<TTreeNode *>(itemFromIndex(index));
        DispatchEvent([&] { OnEditing(this, node, allow); });
        if (!allow)
            return false;
    }
    if (readOnly_ && trigger == AllEditTriggers)
        return false;
    const bool result = QTreeWidget::edit(index, trigger, event);
    if (trigger == SelectedClicked && result) {
        delayedEditArmed_ = true;
        delayedEditCancelled_ = false;
    }
    return result;
}

bool TTreeView::EditorTakesKey(const QWidget *focused, WORD key) const
{
    return editor_ && focused == editor_ && (key == VK_RETURN || key == VK_ESCAPE);
}

void TTreeView::EndEditing(bool cancel)
{
    if (QWidget *editor = editor_) {
        if (!cancel)
            commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
        editor_ = nullptr;
        editedNode_ = nullptr;
    }
}

void TTreeView::LabelEdited(TTreeNode *node, const QString &text)
{
    QString s = text;
    if (OnEdited)
        DispatchEvent([&] { OnEdited(this, node, s); });
    node->SetText(s);
    if (sortType_ == TSortType::stText) {
        if (node->Parent())
            node->Parent()->AlphaSort(false);
        else
            AlphaSort();
    }
}

void TTreeView::DrawNode(QPainter *painter, const QRect &rect, TTreeNode *node, TCustomDrawState state)
{
    const bool selected = state & cdsSelected;
    canvas_.Font = font();
    canvas_.FontColor = selected ? clHighlightText : clWindowText;
    canvas_.Brush.Style = TBrushStyle::bsSolid;
    canvas_.Brush.Color = selected ? clHighlight : Color() == clDefault ? clWindow : Color();
    bool defaultDraw = true;
    canvas_.Begin(painter);
    if (OnCustomDrawItem)
        DispatchEvent([&] { OnCustomDrawItem(this, node, state, defaultDraw); });
    if (defaultDraw) {
        const QRect label(rect.left(), rect.top(), canvas_.TextWidth(node->Text()) + 6, rect.height());
        canvas_.FillRect(label);
        canvas_.Brush.Style = TBrushStyle::bsClear;
        canvas_.TextOut(label.left() + 3, label.top() + (label.height() - canvas_.TextHeight(node->Text())) / 2,
                        node->Text());
        // The focused node is framed with a dotted line, as the desktop's tree
        // does, so it stays visible when a handler paints away the selection.
        if ((state & cdsFocused) && (state & cdsSelected)) {
            QPen pen(ColorToQColor(canvas_.FontColor), 1, Qt::DotLine);
            painter->save();
            painter->setPen(pen);
            painter->setBrush(Qt::NoBrush);
            painter->drawRect(label.adjusted(0, 0, -1, -1));
            painter->restore();
        }
    }
    canvas_.Begin(nullptr);
}

bool TTreeView::ControlEvent(QEvent *event)
{
    if (IsFocusEvent(event))
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonDblClick:
        // Disarmed before OnDblClick runs: a window it shows modally runs
        // its own event loop, in which the armed edit would fire.
        if (delayedEditArmed_)
            delayedEditCancelled_ = true;
        break;
    case QEvent::MouseButtonPress: {
        auto *me = static_cast<QMouseEvent *>(event);
        if (me->button() != Qt::RightButton)
            break;
        // The right button selects only with RightClickSelect; the view's own
        // handling, which would select, is skipped.
        if (rightClickSelect_)
            if (TTreeNode *node = GetNodeAt(me->position().toPoint().x(), me->position().toPoint().y()))
                setCurrentItem(node);
        TControl::ControlEvent(event);
        return true;
    }
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        const QPoint p = static_cast<QDragMoveEvent *>(event)->position().toPoint();
        dropTarget_ = GetNodeAt(p.x(), p.y());
        break;
    }
    case QEvent::DragLeave: dropTarget_ = nullptr; break;
    case QEvent::Drop: {
        const QPoint p = static_cast<QDropEvent *>(event)->position().toPoint();
        if (TTreeNode *node = GetNodeAt(p.x(), p.y()))
            dropTarget_ = node;
        const bool result = TControl::ControlEvent(event);
        dropTarget_ = nullptr;
        return result;
    }
    default: break;
    }
    return TControl::ControlEvent(event);
}

} // namespace zorbel
