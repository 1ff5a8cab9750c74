// What the monthly, yearly and limits windows share: the memory tables they
// fill are declared as tables of field definitions, and the choice "the
// current account" or "every account of its currency" (with or without
// transfer legs) becomes one condition line with bound values.
#pragma once

#include "memtable/VemtMemTable.h"
#include "platform/sqltable/Query.h"

#include <QString>
#include <array>
#include <map>
#include <optional>
#include <span>

namespace zorbel {

class TSqliteStatement;

// One field of a memory table: name, type, size (strings), display label
// (empty: keep the name), display format, display width (0: the default),
// and whether the grids show it.
struct TMemFieldDef {
    TMemFieldDef(QString name, TFieldType type, int size = 0, QString title = {}, QString format = {}, int width = 0,
                 bool visible = true)
        : Name(std::move(name)), Type(type), Size(size), Title(std::move(title)), Format(std::move(format)),
          Width(width), Visible(visible)
    {
    }
    QString Name;
    TFieldType Type;
    int Size = 0;
    QString Title;
    QString Format;
    int Width = 0;
    bool Visible = true;
};

// Defines the fields of a closed memory table and opens it empty.
void OpenMemTable(TVemtMemTable &Table, std::span<const TMemFieldDef> Fields);

// The accounts a computation covers.
struct TAccountScope {
    int AccountId = 0;       // the current account
    QString Currency;        // its currency
    bool SameCurrency = false; // every account of that currency
    bool NoTransfers = false;  // leave out transfer legs (level1 -1)
};

// The from-line of those queries: "from tb_account a cross join tb_hist h",
// the accounts read first, so that the operations of each account in scope
// are found through the (account, date) index instead of a scan of all.
QString AccountsThenOperations();

// The account condition line of a query over "tb_hist h, tb_account a":
// "and h.id_account=:acc" or "and a.currency=:cur", with
// " and level1<>-1 " appended when transfers are left out. The account and
// the currency are bound values, never pasted: a currency is text a user
// typed, and a quote in it would end the literal and break the figures.
QString AccountScopeLine(const TAccountScope &Scope);
// Binds the value the line of AccountScopeLine names (call after the SQL is set).
void BindAccountScope(TQuery &Query, const TAccountScope &Scope);

// The category columns of a depth: "level1", "level1,level2" or
// "level1,level2,level3".
QString LevelColumns(int Depth);

// A float field's value in units of 1/10000 (null counts as 0).
int64_t FieldUnits(const TField *Field);

// The engine's sum() and avg() of a group's terms, for analyses that fold
// the rows of a query in memory instead of letting the engine sort them by
// their group: the count of terms that are not null, the floating-point
// sum of every term in the order given, and for whole terms their exact sum
// until it passes 64 bits, as the engine keeps them.
struct TEngineSum {
    int64_t Count = 0;
    double Real = 0;
    int64_t Whole = 0;
    bool Approx = false;   // a term that is not whole: the sum is Real
    bool Overflow = false; // the whole sum passed 64 bits: the engine's sum fails

    // Adds the term in Column of St; false for text or blob, which the
    // engine converts by rules not repeated here (the caller runs the query).
    bool Add(const TSqliteStatement &St, int Column);
    // sum(): null without terms. Requires: !Overflow.
    std::optional<double> Sum() const;
    // avg(): null without terms.
    std::optional<double> Average() const;
};

// The value in Column of St as a whole group key below 2^40 (null stays
// null); false for text, blob, a fraction or a number beyond.
bool WholeKey(const TSqliteStatement &St, int Column, std::optional<int64_t> &Out);

// Walks Query's rows once into Groups: KeyOf(St, Key) reads a row's group
// key, and the N terms from column FirstTerm on are added to that group's
// sums. False, with Groups partly filled, as soon as a row's key or a term
// is one the engine would treat by rules the sums do not model (the caller
// then runs the grouped query instead).
template <size_t N, typename TKey, typename TKeyOf>
bool FoldTerms(TQuery &Query, int FirstTerm, TKeyOf KeyOf, std::map<TKey, std::array<TEngineSum, N>> &Groups)
{
    bool foldable = true;
    Query.ForEachRow([&](const TSqliteStatement &St) {
        TKey key{};
        if (!KeyOf(St, key))
            return foldable = false;
        std::array<TEngineSum, N> &terms = Groups[key];
        for (size_t i = 0; i < N; ++i)
            if (!terms[i].Add(St, FirstTerm + int(i)))
                return foldable = false;
        return true;
    });
    return foldable;
}

} // namespace zorbel
