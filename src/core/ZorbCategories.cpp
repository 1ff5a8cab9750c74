// The category tree's model and data steps (see ZorbCategories.h).
#include "core/ZorbCategories.h"

#include "platform/sqltable/Database.h"
#include "core/ZorbDm.h"
#include "core/ZorbText.h"
#include "platform/rtl/StrUtils.h"

namespace zorbel {

namespace {

// The bit of an alternative tree 1..5 in a category's A.
int TreeBit(int tree) { return 1 << (tree - 1); }

bool InTree(const QString &a, int treeFilter)
{
    if (treeFilter < 1 || treeFilter > 5 || a.isEmpty())
        return true;
    return (a.at(0).unicode() & TreeBit(treeFilter)) != 0;
}

bool KindShown(const QString &c, bool income) { return income ? c != u"-" : c != u"+"; }

// Binds a level of a path: a null level stays null.
void BindLevel(TQuery &q, const QString &name, int level)
{
    if (level == NoLevel)
        q.ParamByName(name)->Clear();
    else
        q.ParamByName(name)->SetAsSmallInt(level);
}

} // namespace

TCategoryPath PathOfIds(const std::vector<int> &Ids)
{
    TCategoryPath p;
    if (Ids.size() > 0)
        p.Level1 = Ids[0];
    if (Ids.size() > 1)
        p.Level2 = Ids[1];
    if (Ids.size() > 2)
        p.Level3 = Ids[2];
    return p;
}

std::vector<TCategoryNodeSpec> CategoryTreeNodes(TDataSet &Qtv, bool Income, int TreeFilter, bool WithTransfer,
                                                 int AccountCount)
{
    std::vector<TCategoryNodeSpec> nodes;
    TField *itm[3], *id[3], *c[3], *a[3];
    for (int i = 0; i < 3; ++i) {
        const QString n = QString::number(i + 1);
        itm[i] = Qtv.FieldByName(QStringLiteral("itm") + n);
        id[i] = Qtv.FieldByName(QStringLiteral("id") + n);
        c[i] = Qtv.FieldByName(QStringLiteral("c") + n);
        a[i] = Qtv.FieldByName(QStringLiteral("a") + n);
    }
    // The last id seen per level and the node of the current root and level 1.
    int last[3] = {NoLevel, NoLevel, NoLevel};
    int rootNode = -1, levelOneNode = -1;
    const auto add = [&](int level, int parent) {
        nodes.push_back({itm[level]->AsString(), id[level]->AsInteger(), level, parent,
                         c[level]->AsString() == u"0" ? -1 : 0});
        return int(nodes.size()) - 1;
    };
    for (Qtv.First(); !Qtv.Eof(); Qtv.Next()) {
        bool shown[3];
        for (int i = 0; i < 3; ++i)
            shown[i] = KindShown(c[i]->AsString(), Income) && InTree(a[i]->AsString(), TreeFilter);
        const int id1 = id[0]->AsInteger();
        if (shown[0] && id1 != last[0]) {
            last[0] = id1;
            last[1] = last[2] = NoLevel;
            levelOneNode = -1;
            const bool leftOut = id1 == TransferCategory && (AccountCount < 2 || !WithTransfer);
            rootNode = leftOut ? -1 : add(0, -1);
        }
        if (!id[1]->IsNull() && shown[1] && id[1]->AsInteger() != last[1]) {
            last[1] = id[1]->AsInteger();
            last[2] = NoLevel;
            levelOneNode = rootNode >= 0 && shown[0] ? add(1, rootNode) : -1;
        }
        if (!id[2]->IsNull() && shown[2] && id[2]->AsInteger() != last[2]) {
            last[2] = id[2]->AsInteger();
            if (levelOneNode >= 0 && shown[1] && shown[0])
                add(2, levelOneNode);
        }
    }
    return nodes;
}

QString CheckCategoryMove(const TCategoryNodeInfo &Source, const TCategoryNodeInfo &Target, int &Mode)
{
    if (Source.HasChildren)
        return U("Перемещаемая статья не должна иметь ответвлений!");
    if (Source.Id == TransferCategory || Target.Id == TransferCategory)
        return U("Перемещения, связанные с зелёной статьёй, не поддерживаются!");
    const QString pointless = U("Нет смысла в перемещении!");
    if (Mode == MoveAsChild) {
        if (Target.Level >= 2)
            return U("Невозможно переместить статью на более правый уровень!");
        if (Source.Level > 0 && Source.ParentId == Target.Id)
            return pointless;
    } else {
        if (Source.Level == 0 && Target.Level == 0)
            return pointless;
        if (Source.Level == Target.Level && Source.ParentId == Target.ParentId) {
            if (Source.Level == 1)
                Mode = MoveAsChild;
            else if (Source.Level == 2)
                return pointless;
        }
    }
    return {};
}

void MoveCategoryRow(TDm &dm, int Id, int NewLevel, int NewParent, const TCategoryPath &OldPath,
                     const TCategoryPath &NewPath)
{
    // The row and its operations are written by two statements in one
    // transaction, so a failure leaves the tree and the ledger agreeing. The
    // levels go in as bound parameters, "is" matching a null level as an equal
    // one: a path read from the data file is never pasted into SQL text.
    TQuery &q = dm.Qtemp;
    try {
        TTransactionScope tx(dm.Db);
        q.Close();
        q.SQL() = QStringList{QStringLiteral("update tb_items set lev=:lev, id_ref=:ref where id_itm=:id")};
        q.ParamByName(QStringLiteral("lev"))->SetAsSmallInt(NewLevel);
        BindLevel(q, QStringLiteral("ref"), NewParent);
        q.ParamByName(QStringLiteral("id"))->SetAsSmallInt(Id);
        q.ExecSQL();
        // "is" matches a null level as well as an equal one.
        q.SQL() = QStringList{QStringLiteral("update tb_hist set level1=:n1, level2=:n2, level3=:n3"),
                              QStringLiteral("where level1 is :o1 and level2 is :o2 and level3 is :o3")};
        BindLevel(q, QStringLiteral("n1"), NewPath.Level1);
        BindLevel(q, QStringLiteral("n2"), NewPath.Level2);
        BindLevel(q, QStringLiteral("n3"), NewPath.Level3);
        BindLevel(q, QStringLiteral("o1"), OldPath.Level1);
        BindLevel(q, QStringLiteral("o2"), OldPath.Level2);
        BindLevel(q, QStringLiteral("o3"), OldPath.Level3);
        q.ExecSQL();
        tx.Commit();
    } catch (...) {
        q.Close();
        dm.Tb_Items.Refresh();
        throw;
    }
    q.Close();
    dm.Tb_Items.Refresh();
    if (dm.Tb_Hist.Active())
        dm.Tb_Hist.Refresh();
}

int CountPathOperations(TDm &dm, const TCategoryPath &Path)
{
    // The path is bound, not pasted, as in MoveCategoryRow: the count finds
    // the operations whose stored levels equal the path, nulls included.
    TQuery &q = dm.Qtemp;
    q.Close();
    q.SQL() = QStringList{QStringLiteral("select count(*) from tb_hist"),
                          QStringLiteral("where level1 is :l1 and level2 is :l2 and level3 is :l3")};
    BindLevel(q, QStringLiteral("l1"), Path.Level1);
    BindLevel(q, QStringLiteral("l2"), Path.Level2);
    BindLevel(q, QStringLiteral("l3"), Path.Level3);
    q.Open();
    const int count = q.IsEmpty() ? 0 : q.Fields()[0]->AsInteger();
    q.Close();
    return count;
}

bool CategoryNameExists(TDm &dm, int ExcludeId, const QString &Name)
{
    const QString wanted = Trim(Name).toLower();
    TQuery &q = dm.Qdup;
    q.Close();
    q.ParamByName(QStringLiteral("id"))->SetAsSmallInt(ExcludeId);
    q.Open();
    bool found = false;
    for (q.First(); !q.Eof() && !found; q.Next())
        found = Trim(q.Fields()[0]->AsString()).toLower() == wanted;
    q.Close();
    return found;
}

} // namespace zorbel

namespace zorbel {

int TreeBits(const QString &A) { return A.isEmpty() ? 0 : int(A.at(0).unicode()) & 31; }

QString TreesText(const QString &A)
{
    const int bits = TreeBits(A);
    QStringList trees;
    for (int tree = 1; tree <= 5; ++tree)
        if (bits & (1 << (tree - 1)))
            trees << QString::number(tree);
    return trees.join(u',');
}

QString TreeMembership(int Bits)
{
    Bits &= 31;
    if (Bits == 0 || Bits == 31)
        return {};
    return QString(QChar(char16_t(Bits)));
}

QString CategoryDialogCaption(int Mode, bool Income)
{
    const char *head = Mode == CatAddBeside   ? "Добавление статьи "
                       : Mode == CatAddBranch ? "Ответвление статьи "
                                              : "Изменение статьи ";
    return QString::fromUtf8(head) + QString::fromUtf8(Income ? "приход" : "расход") + QString::fromUtf8("а");
}

QString CategoryDialogLabel(int Mode, const QStringList &LevelTitles, const TCategoryNodeInfo *Node,
                            const QString &NodeName, const QString &ParentName)
{
    const auto title = [&LevelTitles](int level) {
        return level >= 0 && level < LevelTitles.size() ? LevelTitles.at(level) : QString();
    };
    const auto quoted = [](const QString &name) { return QStringLiteral(" \"") + name + u'"'; };
    if (!Node)
        return title(0);
    const int level = Node->Level;
    if (Mode == CatAddBeside) {
        if (level == 0)
            return title(0) + QStringLiteral(" ...");
        return title(level - 1) + quoted(ParentName);
    }
    return title(level) + quoted(NodeName);
}

TCategoryPlace NewCategoryPlace(int Mode, const TCategoryNodeInfo *Node)
{
    TCategoryPlace place;
    if (!Node)
        return place;
    if (Mode == CatAddBranch) {
        place.Lev = Node->Level + 1;
        place.IdRef = Node->Id;
    } else {
        place.Lev = Node->Level;
        if (Node->Level > 0)
            place.IdRef = Node->ParentId;
    }
    return place;
}

} // namespace zorbel
