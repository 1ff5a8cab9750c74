// Names of an import line matched against the data set: the category tree,
// the people and the firms, held in memory for one preview or write pass so
// that each line costs a few hash lookups instead of table searches.
//
// Category resolution (ResolveItemLevels) places the up to three category
// names of a line on the tree's levels. Each level's result is a category id
// (0 or more), LevelEmpty (no name there), LevelUnknown (-50: a name not
// found, created on writing) or LevelInconsistent (-100: the names do not
// form a path of the tree, or name the transfer category; the line is not
// importable). After resolution a line that names any category carries its
// whole path: a found category brings its missing ancestors, and a level-2 or
// level-3 result never stands without a level-1 result above it.
//
// Names given as a path from level 1 ("Подарки:Прочее") are first looked up
// as that path: level 1 among the roots, each next name among the children
// of the one before. When at least two levels are found so, they are the
// result, and a next name not found under them becomes a new child there,
// whatever namesakes the tree has elsewhere. Otherwise each name is looked
// up alone (the first namesake of an accepted kind) by the tree rules.
// A name that would be written nowhere (its level left empty on an
// importable line) marks its level LevelInconsistent, so the preview never
// shows a name that the write drops.
//
// Names written from level 1 on (a path "A:B" or the columns Статья1,
// Статья2, ...) keep the order they were written in whenever one of them is
// new to the tree (no category bears its name): the tree rules would move a
// known root above a new name written before it ("Подарки:Прочее" with a
// root «Прочее» would book to Прочее › Подарки), and a new category would be
// made where the user never put it. A line the tree rules would book out of
// its written order is taken as written instead: the first name's root and
// the chain of the next names below it, as far as the tree has them, then
// new categories for the rest. A line the tree rules refuse stays refused,
// and names the tree knows may still come in any order.
#pragma once

#include <QHash>
#include <QString>
#include <array>
#include <climits>
#include <vector>

namespace zorbel {

class TDm;

constexpr int LevelEmpty = INT_MIN;      // no value at that level
constexpr int LevelUnknown = -50;        // a name not found: created on writing
constexpr int LevelInconsistent = -100;  // not a path of the tree
constexpr int TransferItemId = -1;       // the category "ПЕРЕВОД"

// One category row.
struct TImportItem {
    int Id = 0;
    int Ref = LevelEmpty; // parent id
    int Lev = 0;          // depth 0, 1, 2
    QChar C;              // '-' expense, '+' income, '0' both
    QString Name;
};

class TImportCatalog {
public:
    // Reads the category, person and firm tables of the data module; the
    // tables' current rows are kept.
    static TImportCatalog FromDataModule(TDm &dm);

    // Adds a row (in ascending id order for the name search's "first").
    void AddItem(const TImportItem &item);
    void AddPerson(int id, const QString &name);
    void AddFirm(int id, const QString &name);
    // Sets the kind of a category.
    void SetItemKind(int id, QChar c);

    // The category of an id, nullptr when none.
    const TImportItem *FindItem(int id) const;
    // The first category (by id) named so, case-insensitive, whose kind is
    // not refused; nullptr when none.
    const TImportItem *LocateItem(const QString &name, QChar refused) const;
    // The category named so at a place of the tree: depth lev under parent
    // ref (LevelEmpty for a root), case-insensitive; nullptr when none.
    const TImportItem *FindItemAt(const QString &name, int lev, int ref) const;
    // Every category named so (case-insensitive), in ascending id.
    std::vector<const TImportItem *> ItemsNamed(const QString &name) const;
    // Id of the person or firm of that name (case-insensitive), or LevelUnknown.
    int FindPerson(const QString &name) const;
    int FindFirm(const QString &name) const;

private:
    static QString Key(const QString &name) { return name.toCaseFolded(); }
    std::vector<TImportItem> items_;
    QHash<int, size_t> byId_;
    QHash<QString, std::vector<size_t>> byName_; // indexes in ascending id
    QHash<QString, int> persons_, firms_;
};

// The three names of a line and their level results.
struct TItemLevels {
    std::array<QString, 3> Names;
    std::array<int, 3> Result{LevelEmpty, LevelEmpty, LevelEmpty};
    // When a level is LevelInconsistent: why the line is refused, in Russian.
    QString Why;
};

// Places the names on the tree's levels. Direction is the kind the
// categories may not have: '+' for an expense line, '-' for an income line.
// Ancestors filled in from the tree replace the names at their levels.
TItemLevels ResolveItemLevels(const std::array<QString, 3> &names, QChar direction, const TImportCatalog &catalog);

} // namespace zorbel
