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

#include <QStringList>
#include <algorithm>
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
        for (int k = 0; k < 3; ++k) {
            written_[k] = names[size_t(k)];
            pos_[k].N = written_[k];
            pos_[k].W = written_[k].isEmpty() ? -1 : k;
        }
    }

    TItemLevels Run();

private:
    struct TPos {
        QString N;
        int I = LevelInconsistent;
        int P = LevelEmpty;
        int L = -1;
        int R = LevelEmpty;
        int W = -1; // the position the name was written at; -1 for a name taken from the tree
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
        pos_[k].W = -1;
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
    // True when the names stand from level 1 on without a gap, one of them
    // is new to the tree, and the tree rules moved them out of the order
    // they were written in (or dropped one).
    bool WrittenOrderBroken() const;
    // Places the names as written (ZorbImpItems.h).
    void AsWritten();
    // Why the line is refused, or empty when it is not.
    QString Why() const;
    // The names from the root down to the category, joined by " › ".
    QString BranchOf(const TImportItem &item) const;

    QString written_[3];
    bool transfer_ = false; // the names reached the transfer category
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
        pos_[k].W = k; // the written name, found at its place
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
        if (R(k) == TransferItemId) {
            R(k) = LevelInconsistent;
            transfer_ = true;
        }
    // A name shown at a level that the write would leave empty.
    bool importable = true;
    for (int k = 0; k < 3; ++k)
        importable = importable && R(k) != LevelInconsistent;
    for (int k = 0; importable && k < 3; ++k)
        if (Has(k) && R(k) == LevelEmpty)
            R(k) = LevelInconsistent;
}

bool TResolver::WrittenOrderBroken() const
{
    if (written_[0].isEmpty() || (written_[1].isEmpty() && !written_[2].isEmpty()))
        return false;
    bool fresh = false; // a name no category of the tree bears
    int given = 0;
    for (const QString &name : written_)
        if (!name.isEmpty()) {
            ++given;
            fresh = fresh || catalog_.ItemsNamed(name).empty();
        }
    if (!fresh)
        return false;
    int last = -1, kept = 0;
    for (const TPos &p : pos_) {
        if (p.W < 0)
            continue;
        if (p.W < last)
            return true;
        last = p.W;
        ++kept;
    }
    return kept < given;
}

void TResolver::AsWritten()
{
    int given = 0;
    for (int k = 0; k < 3; ++k) {
        pos_[k] = TPos();
        pos_[k].N = written_[k];
        pos_[k].W = written_[k].isEmpty() ? -1 : k;
        given += int(!written_[k].isEmpty());
    }
    // Among the first name's roots, the one whose chain of the next names
    // goes deepest.
    const TImportItem *best[3] = {};
    int depth = 0;
    bool known = false;
    for (const TImportItem *root : catalog_.ItemsNamed(written_[0])) {
        if (!Accepted(root))
            continue;
        known = true;
        if (root->Lev != 0)
            continue;
        const TImportItem *chain[3] = {root};
        int d = 1;
        while (d < given) {
            const TImportItem *child = AcceptedChild(written_[d], d, chain[d - 1]->Id);
            if (!child)
                break;
            chain[d++] = child;
        }
        if (d > depth) {
            depth = d;
            std::copy(chain, chain + d, best);
        }
    }
    if (depth == 0 && known) {
        // The first name is a category below the top of the tree: the
        // written path has no room above it.
        R(0) = LevelInconsistent;
        return;
    }
    for (int k = 0; k < depth; ++k) {
        Fill(k, *best[k]);
        pos_[k].W = k;
        R(k) = best[k]->Id;
    }
    for (int k = depth; k < given; ++k)
        R(k) = LevelUnknown;
}

QString TResolver::BranchOf(const TImportItem &item) const
{
    QStringList names{item.Name};
    const TImportItem *at = &item;
    for (int guard = 0; guard < 3 && at->Lev > 0; ++guard) {
        at = catalog_.FindItem(at->Ref);
        if (!at)
            break;
        names.prepend(at->Name);
    }
    return names.join(QStringLiteral(" › "));
}

QString TResolver::Why() const
{
    int k = 0;
    while (k < 3 && pos_[k].R != LevelInconsistent)
        ++k;
    if (k == 3)
        return {};
    if (transfer_)
        return QStringLiteral("«ПЕРЕВОД» — статья переводов между счетами: импорт переводы не записывает.");
    QStringList names;
    for (const QString &name : written_)
        if (!name.isEmpty())
            names.append(name);
    QString why = QStringLiteral("Статьи строки («%1») не образуют ветвь дерева статей").arg(names.join(QStringLiteral(" › ")));
    // Where the refused level's name stands in the tree, and a kind that
    // keeps the line out of that branch.
    const QString &name = pos_[k].N;
    const std::vector<const TImportItem *> namesakes = name.isEmpty() ? std::vector<const TImportItem *>()
                                                                      : catalog_.ItemsNamed(name);
    if (!namesakes.empty()) {
        const TImportItem *item = namesakes.front();
        for (const TImportItem *n : namesakes)
            if (Accepted(n)) {
                item = n;
                break;
            }
        why += QStringLiteral(": «%1» стоит в ветви «%2»").arg(name, BranchOf(*item));
        for (const TImportItem *at = item; at; at = at->Lev > 0 ? catalog_.FindItem(at->Ref) : nullptr)
            if (!Accepted(at)) {
                why += QStringLiteral(", а «%1» — статья только %2").arg(
                    at->Name, at->C == u'+' ? QStringLiteral("доходов") : QStringLiteral("расходов"));
                break;
            }
    }
    return why + QStringLiteral(". Строка не будет записана.");
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
    const bool broken = WrittenOrderBroken();
    CompletePath();
    // Only a line the tree rules would book out of its written order is
    // placed again; a line they refuse stays refused.
    if (broken && std::none_of(std::begin(pos_), std::end(pos_),
                               [](const TPos &p) { return p.R == LevelInconsistent; })) {
        transfer_ = false;
        AsWritten();
        CompletePath();
    }
    TItemLevels out;
    for (int k = 0; k < 3; ++k) {
        out.Names[size_t(k)] = pos_[k].N;
        out.Result[size_t(k)] = pos_[k].R;
    }
    out.Why = Why();
    return out;
}

} // namespace

TItemLevels ResolveItemLevels(const std::array<QString, 3> &names, QChar direction, const TImportCatalog &catalog)
{
    return TResolver(names, direction, catalog).Run();
}

} // namespace zorbel
