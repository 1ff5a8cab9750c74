// Category, person and firm matching of the import (see ZorbImpItems.h).
//
// Resolution works on three positions k = 0, 1, 2 (levels 1..3). Each holds
// a name N, an id I (LevelInconsistent until a category is accepted), a
// parent P, a depth L (-1 until accepted) and a result R. Swapping two
// positions exchanges all five. The cases by the number of names given are
// the tree rules of the import: known names land at the level of their
// depth, missing ancestors are filled in from the tree, names not found take
// the free lower positions, and a path that breaks the tree gives
// LevelInconsistent.
#include "analysis/ZorbImpItems.h"

#include "core/ZorbDm.h"
#include "platform/sqltable/Sqlite.h"

#include <utility>

namespace zorbel {

// ---- catalog -----------------------------------------------------------------

TImportCatalog TImportCatalog::FromDataModule(TDm &dm)
{
    TImportCatalog catalog;
    TSqliteDb &db = dm.Db.Db();
    {
        TSqliteStatement st(db, QStringLiteral("SELECT ID_ITM, ID_REF, LEV, C, ITM FROM Tb_Items ORDER BY ID_ITM"));
        while (st.Step()) {
            TImportItem item;
            item.Id = int(st.ColumnInt(0));
            item.Ref = st.IsNull(1) ? LevelEmpty : int(st.ColumnInt(1));
            item.Lev = st.IsNull(2) ? -1 : int(st.ColumnInt(2));
            const QString c = st.ColumnText(3);
            item.C = c.isEmpty() ? QChar() : c.at(0);
            item.Name = st.ColumnText(4);
            catalog.AddItem(item);
        }
    }
    {
        TSqliteStatement st(db, QStringLiteral("SELECT Id_Person, Name FROM TB_Person ORDER BY Name, Id_Person"));
        while (st.Step())
            catalog.AddPerson(int(st.ColumnInt(0)), st.ColumnText(1));
    }
    {
        TSqliteStatement st(db, QStringLiteral("SELECT Id_Firm, Firm FROM Tb_Firm ORDER BY Firm, Id_Firm"));
        while (st.Step())
            catalog.AddFirm(int(st.ColumnInt(0)), st.ColumnText(1));
    }
    return catalog;
}

void TImportCatalog::AddItem(const TImportItem &item)
{
    byId_.insert(item.Id, items_.size());
    byName_[Key(item.Name)].push_back(items_.size());
    items_.push_back(item);
}

void TImportCatalog::AddPerson(int id, const QString &name)
{
    if (!name.isEmpty() && !persons_.contains(Key(name)))
        persons_.insert(Key(name), id); // the first of equal names stays
}

void TImportCatalog::AddFirm(int id, const QString &name)
{
    if (!name.isEmpty() && !firms_.contains(Key(name)))
        firms_.insert(Key(name), id);
}

void TImportCatalog::SetItemKind(int id, QChar c)
{
    const auto it = byId_.constFind(id);
    if (it != byId_.constEnd())
        items_[*it].C = c;
}

const TImportItem *TImportCatalog::FindItem(int id) const
{
    const auto it = byId_.constFind(id);
    return it == byId_.constEnd() ? nullptr : &items_[*it];
}

// Among namesakes the first whose kind the line accepts, not only the very
// first one: an income "Подарки" beside an expense "Подарки" would otherwise
// make an expense line's name unknown and write a third "Подарки".
const TImportItem *TImportCatalog::LocateItem(const QString &name, QChar refused) const
{
    const auto it = byName_.constFind(Key(name));
    if (it == byName_.constEnd())
        return nullptr;
    for (size_t index : *it)
        if (items_[index].C != refused)
            return &items_[index];
    return nullptr;
}

const TImportItem *TImportCatalog::FindItemAt(const QString &name, int lev, int ref) const
{
    const auto it = byName_.constFind(Key(name));
    if (it == byName_.constEnd())
        return nullptr;
    for (size_t index : *it) {
        const TImportItem &item = items_[index];
        if (item.Lev == lev && (lev == 0 || item.Ref == ref))
            return &item;
    }
    return nullptr;
}

std::vector<const TImportItem *> TImportCatalog::ItemsNamed(const QString &name) const
{
    std::vector<const TImportItem *> out;
    const auto it = byName_.constFind(Key(name));
    if (it != byName_.constEnd())
        for (size_t index : *it)
            out.push_back(&items_[index]);
    return out;
}

int TImportCatalog::FindPerson(const QString &name) const { return persons_.value(Key(name), LevelUnknown); }

int TImportCatalog::FindFirm(const QString &name) const { return firms_.value(Key(name), LevelUnknown); }

// ---- resolution ----------------------------------------------------------------

namespace {

class TResolver {
public:
    TResolver(const std::array<QString, 3> &names, QChar direction, const TImportCatalog &catalog)
        : direction_(direction), catalog_(catalog)
    {
        for (int k = 0; k < 3; ++k)
            pos_[k].N = names[size_t(k)];
    }

    TItemLevels Run();

private:
    struct TPos {
        QString N;
        int I = LevelInconsistent;
        int P = LevelEmpty;
        int L = -1;
        int R = LevelEmpty;
    };

    bool Has(int k) const { return !pos_[k].N.isEmpty(); }
    int &L(int k) { return pos_[k].L; }
    int &R(int k) { return pos_[k].R; }
    int &I(int k) { return pos_[k].I; }
    int &P(int k) { return pos_[k].P; }
    void Swap(int a, int b) { std::swap(pos_[a], pos_[b]); }
    bool Accepted(const TImportItem *item) const { return item && item->C != direction_; }
    void Fill(int k, const TImportItem &item)
    {
        pos_[k].I = item.Id;
        pos_[k].P = item.Ref;
        pos_[k].L = item.Lev;
        pos_[k].N = item.Name;
    }
    // Looks the parent up into position k; true when accepted.
    bool LookupParent(int parent, int k)
    {
        const TImportItem *item = catalog_.FindItem(parent);
        if (!Accepted(item))
            return false;
        Fill(k, *item);
        return true;
    }
    // The child named so of parent at depth lev whose kind is accepted.
    const TImportItem *AcceptedChild(const QString &name, int lev, int parent) const
    {
        for (const TImportItem *item : catalog_.ItemsNamed(name))
            if (item->Lev == lev && item->Ref == parent && Accepted(item))
                return item;
        return nullptr;
    }
    // Places the names as a path from a root (ZorbImpItems.h); returns how
    // many positions it placed: 0, or 2 or 3.
    int LookupPath();
    void Lookup();
    void ThreeNames();
    void TwoNames();
    void OneName();
    // Moves the only named position's name up into the first free place.
    void MoveNotFoundUp();
    // Completes paths from the tree and marks broken ones (ZorbImpItems.h).
    void CompletePath();

    TPos pos_[3];
    QChar direction_;
    const TImportCatalog &catalog_;
};

int TResolver::LookupPath()
{
    if (!Has(0) || !Has(1))
        return 0;
    // Among namesake roots, the first whose path goes deepest.
    const TImportItem *best[3] = {};
    int depth = 0;
    for (const TImportItem *root : catalog_.ItemsNamed(pos_[0].N)) {
        if (root->Lev != 0 || !Accepted(root))
            continue;
        const TImportItem *child = AcceptedChild(pos_[1].N, 1, root->Id);
        if (!child)
            continue;
        const TImportItem *grandchild = Has(2) ? AcceptedChild(pos_[2].N, 2, child->Id) : nullptr;
        const int d = grandchild ? 3 : 2;
        if (d > depth) {
            depth = d;
            best[0] = root;
            best[1] = child;
            best[2] = grandchild;
        }
        if (depth == 3 || !Has(2))
            break;
    }
    for (int k = 0; k < depth; ++k) {
        Fill(k, *best[k]);
        R(k) = LevelEmpty;
    }
    return depth;
}

void TResolver::Lookup()
{
    const int placed = LookupPath();
    for (int k = 0; k < 3; ++k) {
        if (!Has(k) || k < placed)
            continue;
        if (placed > 0) {
            R(k) = LevelUnknown; // a new child below the path found
            continue;
        }
        const TImportItem *item = catalog_.LocateItem(pos_[k].N, direction_);
        if (Accepted(item)) {
            I(k) = item->Id;
            P(k) = item->Ref;
            L(k) = item->Lev;
        }
        if (L(k) < 0)
            R(k) = LevelUnknown;
    }
}

void TResolver::ThreeNames()
{
    if (L(0) < 0 && L(1) < 0 && L(2) < 0)
        return;
    if (L(0) == 0) {
    } else if (L(1) == 0) {
        Swap(0, 1);
    } else if (L(2) == 0) {
        Swap(0, 2);
    } else {
        R(0) = LevelInconsistent;
        R(1) = R(2) = LevelEmpty;
        return;
    }
    R(0) = I(0);
    if (L(1) < 0 && L(2) < 0)
        return;
    if (L(1) != 1)
        Swap(1, 2);
    if (L(1) != 1) {
        R(1) = LevelInconsistent;
        return;
    }
    if (P(1) != I(0)) {
        R(1) = LevelInconsistent;
        return;
    }
    R(1) = I(1);
    if (L(2) < 0)
        return;
    R(2) = L(2) == 2 && P(2) == I(1) ? I(2) : LevelInconsistent;
}

void TResolver::MoveNotFoundUp()
{
    if (!Has(0))
        Swap(0, Has(1) ? 1 : 2);
    if (!Has(1) && Has(2))
        Swap(1, 2);
}

void TResolver::TwoNames()
{
    if (L(0) < 0 && L(1) < 0 && L(2) < 0) {
        MoveNotFoundUp();
        return;
    }
    if (L(0) == 0) {
        R(0) = I(0);
    } else if (L(1) == 0) {
        Swap(0, 1);
        R(0) = I(0);
    } else if (L(2) == 0) {
        Swap(0, 2);
        R(0) = I(0);
    }
    if (L(0) != 0) {
        if (L(0) == 1)
            Swap(0, 1);
        else if (L(2) == 1)
            Swap(1, 2);
        if (L(0) == 2)
            Swap(0, 2);
        else if (L(1) == 2)
            Swap(1, 2);
    }
    if (R(0) == LevelEmpty) {
        if (L(1) != 1 && L(2) == 1)
            Swap(1, 2);
        if (L(1) != 1) {
            R(1) = LevelInconsistent;
            return;
        }
        if (LookupParent(P(1), 0)) {
            if (L(0) == 0) {
                R(0) = I(0);
            } else {
                R(0) = R(1) = LevelInconsistent;
                return;
            }
        }
        R(1) = I(1);
        if (L(2) == 2) {
            R(2) = P(2) == I(1) ? I(2) : LevelInconsistent;
        } else if (R(2) != LevelUnknown) {
            R(1) = R(2) = LevelInconsistent;
        }
        return;
    }
    if (R(0) == LevelUnknown) {
        if (!Has(1) && L(1) != 1)
            Swap(0, 1);
        else if (!Has(2) && L(2) != 2)
            Swap(0, 2);
    }
    if (!Has(1) && Has(2) && L(1) != 1)
        Swap(1, 2);
    if (L(1) < 0 && L(2) < 0 && L(0) != 0) {
        R(0) = LevelInconsistent;
        return;
    }
    if (L(1) != 1 && L(2) == 1)
        Swap(1, 2);
    if (L(1) == 1) {
        if (L(0) != 0 && LookupParent(P(1), 0))
            R(0) = I(0);
        R(1) = P(1) == I(0) ? I(1) : LevelInconsistent;
        return;
    }
    if (L(2) == 2) {
        LookupParent(P(2), 1);
        if (P(1) == I(0)) {
            R(1) = I(1);
            R(2) = I(2);
        } else {
            R(1) = R(2) = LevelInconsistent;
        }
    }
}

void TResolver::OneName()
{
    const int k = Has(0) ? 0 : Has(1) ? 1 : 2;
    if (L(k) < 0) {
        MoveNotFoundUp();
        return;
    }
    if (L(k) >= 0 && L(k) <= 2 && L(k) != k)
        Swap(k, L(k));
    if (L(0) == 0) {
        R(0) = I(0);
        return;
    }
    if (L(1) == 1) {
        if (LookupParent(P(1), 0))
            R(0) = I(0);
        R(1) = I(1);
        return;
    }
    if (L(2) == 2) {
        if (LookupParent(P(2), 1)) {
            R(1) = I(1);
            if (LookupParent(P(1), 0))
                R(0) = I(0);
        }
        R(2) = I(2);
    }
}

void TResolver::CompletePath()
{
    const auto isId = [](int r) { return r >= 0; };
    for (int k = 2; k >= 1; --k) {
        if (!isId(R(k)))
            continue;
        if (R(k - 1) == LevelEmpty) {
            const TImportItem *self = catalog_.FindItem(R(k));
            const TImportItem *parent = self ? catalog_.FindItem(self->Ref) : nullptr;
            if (Accepted(parent) && parent->Lev == k - 1) {
                Fill(k - 1, *parent);
                R(k - 1) = parent->Id;
            }
        }
        const TImportItem *self = catalog_.FindItem(R(k));
        if (!isId(R(k - 1)) || !self || self->Ref != R(k - 1))
            R(k) = LevelInconsistent;
    }
    // A category below level 1 needs a level-1 category above it.
    if (R(0) == LevelEmpty && (R(1) != LevelEmpty || R(2) != LevelEmpty))
        R(0) = LevelInconsistent;
    if (R(1) == LevelEmpty && R(2) != LevelEmpty)
        R(1) = LevelInconsistent;
    for (int k = 0; k < 3; ++k)
        if (R(k) == TransferItemId)
            R(k) = LevelInconsistent;
    // A name shown at a level that the write would leave empty.
    bool importable = true;
    for (int k = 0; k < 3; ++k)
        importable = importable && R(k) != LevelInconsistent;
    for (int k = 0; importable && k < 3; ++k)
        if (Has(k) && R(k) == LevelEmpty)
            R(k) = LevelInconsistent;
}

TItemLevels TResolver::Run()
{
    Lookup();
    const int given = int(Has(0)) + int(Has(1)) + int(Has(2));
    if (given == 3)
        ThreeNames();
    else if (given == 2)
        TwoNames();
    else if (given == 1)
        OneName();
    CompletePath();
    TItemLevels out;
    for (int k = 0; k < 3; ++k) {
        out.Names[size_t(k)] = pos_[k].N;
        out.Result[size_t(k)] = pos_[k].R;
    }
    return out;
}

} // namespace

TItemLevels ResolveItemLevels(const std::array<QString, 3> &names, QChar direction, const TImportCatalog &catalog)
{
    return TResolver(names, direction, catalog).Run();
}

} // namespace zorbel
