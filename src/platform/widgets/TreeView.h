// The tree view: nodes with a text, an integer data word and an image index,
// built through TTreeNodes, with label editing, alphabetical sorting, hit
// tests, owner drawing and dragging of nodes.
//
// A node is the tree widget's own item (TTreeNode derives from
// QTreeWidgetItem), so the view and the program see the same objects. The
// image index is kept as a mark only (the program's trees have no images).
//
// Absolute index: nodes numbered in display order with every branch
// counted, collapsed or not (parent, its children in order, then the next
// sibling).
//
// Label editing (unless ReadOnly): F2, EditText or a click on the selected
// node's label asks OnEditing first (AllowEdit may refuse); when the edit
// ends with Enter or by leaving it, OnEdited gets the new text in S and may
// change it (setting it back to the node's text refuses the edit); the node
// takes S. Escape drops the edit without OnEdited.
//
// Owner drawing: OnCustomDrawItem receives each node with its state; the
// canvas holds the tree's font, the font colour and the brush for the state
// (highlight for a selected node). The handler may change them; with
// DefaultDraw left true the tree then fills the label with the brush and
// writes the text in the canvas's font. No other highlight is drawn.
#pragma once

#include "platform/widgets/Controls.h"
#include "platform/widgets/StdCtrls.h"

#include <QTreeWidget>
#include <cstdint>

namespace zorbel {

class TTreeView;

enum class TNodeAttachMode { naAdd, naAddFirst, naAddChild, naAddChildFirst, naInsert };
using enum TNodeAttachMode;

class TTreeNode : public QTreeWidgetItem {
public:
    explicit TTreeNode(const QString &text);
    // A label edit of the node or its branch ends unwritten.
    ~TTreeNode() override;

    QString Text() const { return text(0); }
    void SetText(const QString &text) { setText(0, text); }
    std::int64_t Data() const { return data_; }
    void SetData(std::int64_t data) { data_ = data; }
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int index) { imageIndex_ = index; }

    TTreeView *TreeView() const;
    TTreeNode *Parent() const { return static_cast<TTreeNode *>(parent()); }
    // 0 for a root.
    int Level() const;
    int Count() const { return childCount(); }
    TTreeNode *Item(int index) const { return static_cast<TTreeNode *>(child(index)); }
    bool HasChildren() const { return childCount() > 0; }
    // Position among its siblings.
    int Index() const;
    int AbsoluteIndex() const;
    TTreeNode *GetFirstChild() const { return Count() ? Item(0) : nullptr; }
    TTreeNode *GetLastChild() const { return Count() ? Item(Count() - 1) : nullptr; }
    TTreeNode *GetNextSibling() const;
    TTreeNode *GetPrevSibling() const;
    // The next node in absolute order (nullptr after the last).
    TTreeNode *GetNext() const;

    bool Expanded() const { return isExpanded(); }
    void SetExpanded(bool expanded) { setExpanded(expanded); }
    void Expand(bool recurse);
    void Collapse(bool recurse);
    bool Selected() const;
    bool Focused() const;
    void MakeVisible();
    // The node's row, or with textOnly its label, in the tree's client coordinates.
    QRect DisplayRect(bool textOnly) const;
    // Starts label editing (false when refused or read-only).
    bool EditText();
    void EndEdit(bool cancel);
    // Sorts the children by text in the Russian order (recurse: all levels).
    void AlphaSort(bool recurse = false);
    // Moves the node (with its branch) relative to destination.
    void MoveTo(TTreeNode *destination, TNodeAttachMode mode);
    // Frees the node and its branch.
    void Delete();
    void DeleteChildren();

private:
    std::int64_t data_ = 0;
    int imageIndex_ = 0;
};

// The nodes of a tree.
class TTreeNodes {
public:
    explicit TTreeNodes(TTreeView *tree) : tree_(tree) {}
    // Every node, all levels.
    int Count() const;
    // The node of an absolute index (nullptr out of range).
    TTreeNode *Item(int absoluteIndex) const;
    TTreeNode *operator[](int absoluteIndex) const { return Item(absoluteIndex); }
    TTreeNode *GetFirstNode() const;
    // A node after the last sibling of sibling (a root when sibling is nullptr).
    TTreeNode *Add(TTreeNode *sibling, const QString &text) { return AddObject(sibling, text, 0); }
    TTreeNode *AddObject(TTreeNode *sibling, const QString &text, std::int64_t data);
    TTreeNode *AddFirst(TTreeNode *sibling, const QString &text);
    // A node as the last (first) child of parent (a root when parent is nullptr).
    TTreeNode *AddChild(TTreeNode *parent, const QString &text) { return AddChildObject(parent, text, 0); }
    TTreeNode *AddChildObject(TTreeNode *parent, const QString &text, std::int64_t data);
    TTreeNode *AddChildFirst(TTreeNode *parent, const QString &text);
    // A node just before sibling.
    TTreeNode *Insert(TTreeNode *sibling, const QString &text);
    void Delete(TTreeNode *node) { node->Delete(); }
    void Clear();
    // Stops repainting until the matching EndUpdate.
    void BeginUpdate();
    void EndUpdate();

private:
    TTreeNode *Attach(TTreeNode *node, TTreeNode *parent, int index);
    TTreeView *tree_;
    int updateCount_ = 0;
};

// Where a point lies relative to the nodes.
enum class THitTest { htAbove, htBelow, htNowhere, htOnItem, htOnButton, htOnIcon, htOnIndent, htOnLabel,
                      htOnRight, htOnStateIcon, htToLeft, htToRight };
using enum THitTest;
using THitTests = TSet<THitTest>;

// State of a node being drawn.
using TCustomDrawState = unsigned;
constexpr TCustomDrawState cdsSelected = 1, cdsFocused = 2, cdsHot = 4;

enum class TSortType { stNone, stText };

using TTVChangedEvent = std::function<void(TObject *Sender, TTreeNode *Node)>;
using TTVEditingEvent = std::function<void(TObject *Sender, TTreeNode *Node, bool &AllowEdit)>;
using TTVEditedEvent = std::function<void(TObject *Sender, TTreeNode *Node, QString &S)>;
using TTVCustomDrawItemEvent =
    std::function<void(TObject *Sender, TTreeNode *Node, TCustomDrawState State, bool &DefaultDraw)>;

class TTreeView : public QTreeWidget, public TControl {
    Q_OBJECT
public:
    explicit TTreeView(QWidget *parent, const QString &name = {});
    ~TTreeView() override;

    TTreeNodes &Items() { return items_; }
    TTreeNode *Selected() const;
    void SetSelected(TTreeNode *node);
    // The node under a drag in progress (kept through the drop).
    TTreeNode *DropTarget() const { return dropTarget_; }
    void SetDropTarget(TTreeNode *node) { dropTarget_ = node; }

    // Points are in client coordinates.
    TTreeNode *GetNodeAt(int x, int y) const;
    THitTests GetHitTestInfoAt(int x, int y) const;

    void FullExpand();
    void FullCollapse();
    void AlphaSort();
    TSortType SortType() const { return sortType_; }
    // stText keeps the nodes sorted: sorts now and after every edit.
    void SetSortType(TSortType type);

    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly);
    bool RightClickSelect() const { return rightClickSelect_; }
    void SetRightClickSelect(bool select) { rightClickSelect_ = select; }
    bool IsEditing() const { return editor_ != nullptr; }
    // Enter and Escape in the label editor end the edit and do nothing else.
    bool EditorTakesKey(const QWidget *focused, WORD key) const override;
    void SetColor(TColor color) override;

    TCanvas &Canvas() { return canvas_; }

    TTVChangedEvent OnChange;
    TTVEditingEvent OnEditing;
    TTVEditedEvent OnEdited;
    TTVCustomDrawItemEvent OnCustomDrawItem;

protected:
    bool ControlEvent(QEvent *event) override;
    bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override;

private:
    friend class TTreeNode;
    friend class TTreeNodes;
    friend class TTreeDelegate;
    void LabelEdited(TTreeNode *node, const QString &text);
    // Ends a label edit in progress, writing it unless cancelled.
    void EndEditing(bool cancel);
    void DrawNode(QPainter *painter, const QRect &rect, TTreeNode *node, TCustomDrawState state);
    void HideViewSelection();

    TTreeNodes items_;
    TCanvas canvas_;
    TTreeNode *dropTarget_ = nullptr;
    QWidget *editor_ = nullptr;
    TTreeNode *editedNode_ = nullptr;
    TSortType sortType_ = TSortType::stNone;
    bool readOnly_ = false;
    bool rightClickSelect_ = false;
    // A click on the selected node arms a label edit that opens after the
    // double-click interval; a double-click in between disarms it.
    bool delayedEditArmed_ = false;
    bool delayedEditCancelled_ = false;
};

} // namespace zorbel
