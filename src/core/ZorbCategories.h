// The category tree without its window: which categories a tree shows, the
// category path of a node, the rules of moving a category and its data steps
// (re-pathing its row and its operations in one transaction), the count of
// operations on a path, and the duplicate-name check.
//
// Categories are rows of TB_ITEMS in three levels (LEV 0..2, ID_REF the
// parent). An operation stores the path of its category in Level1..Level3:
// (id, -, -) for a root, (parent, id, -) for level 1, (grandparent, parent,
// id) for level 2. Id -1 is the transfer category. Kind C: '-' expense,
// '+' income, '0' both. A: the first character is a bit set of the five
// alternative trees (1, 2, 4, 8, 16); empty means every tree.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace zorbel {

class TDm;
class TDataSet;

// A level that does not apply (stored as null).
constexpr int NoLevel = -100;
// The transfer category.
constexpr int TransferCategory = -1;

struct TCategoryPath {
    int Level1 = NoLevel, Level2 = NoLevel, Level3 = NoLevel;
    bool operator==(const TCategoryPath &) const = default;
};

// The path of a node from the ids of its ancestors, root first
// (Ids.size() - 1 is the node's level, at most 2).
TCategoryPath PathOfIds(const std::vector<int> &Ids);

// One node of a filled tree, in fill order (a parent before its children).
struct TCategoryNodeSpec {
    QString Text;
    int Id = 0;
    int Level = 0;
    int Parent = -1;      // index of the parent in the list, -1 for a root
    int ImageIndex = 0;   // -1 marks a category of kind "0"
};

// The nodes of an expense (Income false) or income tree from the rows of the
// data module's query Qtv (roots with their descendants, in name order).
// TreeFilter 1..5 keeps categories of that alternative tree (0: all); the
// transfer category enters only WithTransfer and with two accounts or more.
// A category is shown only when it and its ancestors pass.
std::vector<TCategoryNodeSpec> CategoryTreeNodes(TDataSet &Qtv, bool Income, int TreeFilter, bool WithTransfer,
                                                 int AccountCount);

// What a tree knows of a node taking part in a move.
struct TCategoryNodeInfo {
    int Id = 0;
    int Level = 0;
    int ParentId = NoLevel;   // NoLevel for a root
    bool HasChildren = false;
};

// Modes of a move: beside the target (its last sibling) or its last child.
constexpr int MoveBeside = 0, MoveAsChild = 2;

// The refusal message of a move, empty when it may go on; a move beside a
// level-1 sibling becomes a move into it (Mode set to MoveAsChild).
// Requires: source and target are different nodes.
QString CheckCategoryMove(const TCategoryNodeInfo &Source, const TCategoryNodeInfo &Target, int &Mode);

// Writes a move: the category row Id takes NewLevel and NewParent (NoLevel:
// a root), and every operation of any account on OldPath takes NewPath, in
// one transaction (after a failure neither the row nor any operation has
// changed; the failure passes on). Tb_Items and Tb_Hist are refreshed.
void MoveCategoryRow(TDm &dm, int Id, int NewLevel, int NewParent, const TCategoryPath &OldPath,
                     const TCategoryPath &NewPath);

// Operations of all accounts whose path is exactly Path.
int CountPathOperations(TDm &dm, const TCategoryPath &Path);

// True when a category other than ExcludeId (NoLevel: none excluded) has a
// name equal to Name, both trimmed and compared without regard to case.
bool CategoryNameExists(TDm &dm, int ExcludeId, const QString &Name);

} // namespace zorbel

namespace zorbel {

// ---- alternative-tree membership (the A field) ----

// The tree bits (1, 2, 4, 8, 16 for trees 1..5) of a category's A; 0 when A
// is empty (member of every tree).
int TreeBits(const QString &A);
// The trees of A as digits "1".."5" joined by "," (trees 1, 3, 5 give
// "1,3,5"); empty for an empty A.
QString TreesText(const QString &A);
// The A value of a set of tree bits: empty (every tree) for no tree or all
// five, else the one character with that code.
QString TreeMembership(int Bits);

// ---- the category dialog ----

// Modes of the category dialog: add beside the selected node, add a branch
// under it, edit it.
constexpr int CatAddBeside = 1, CatAddBranch = 2, CatEdit = 3;

// The dialog's caption: "Добавление статьи ", "Ответвление статьи " or
// "Изменение статьи " with the tree's kind in the genitive ("расхода",
// "прихода").
QString CategoryDialogCaption(int Mode, bool Income);

// What the dialog's label says: the title of the level the new or edited
// category takes, with the name of the node it hangs under or of itself.
// LevelTitles holds the titles of levels 0..2; Node is null when no node is
// selected.
QString CategoryDialogLabel(int Mode, const QStringList &LevelTitles, const TCategoryNodeInfo *Node,
                            const QString &NodeName, const QString &ParentName);

// Where a new category goes: its LEV and ID_REF (NoLevel: none, a root).
struct TCategoryPlace {
    int Lev = 0;
    int IdRef = NoLevel;
};
// Mode CatAddBeside or CatAddBranch; Node is null when none is selected.
TCategoryPlace NewCategoryPlace(int Mode, const TCategoryNodeInfo *Node);

} // namespace zorbel
