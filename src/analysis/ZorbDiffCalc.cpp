// A year by category (see ZorbDiffCalc.h).
//
// The year's operations grouped by month and the category levels of the
// chosen depth, with their sums of income and expense (folded in memory as
// they stream, or grouped by the query); each group is named by its
// category path and its net result is added to that name's month. The names
// come from one read of tb_items, and each path is named once, however many
// months it has. Rows are written to the memory table once
// all months are known, with their row sums; the table then sorts by name.
#include "analysis/ZorbDiffCalc.h"

#include "platform/dataset/Fields.h"
#include "platform/rtl/FormatSettings.h"
#include "platform/rtl/Money.h"
#include "platform/sqltable/Sqlite.h"

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <unordered_map>
#include <vector>

namespace zorbel {

namespace {

const QString kMoney = QStringLiteral("#,##0.00");

// Names of every category by id.
std::unordered_map<int, QString> CategoryNames(TDatabase &Db)
{
    std::unordered_map<int, QString> names;
    TQuery q;
    q.SetDatabase(&Db);
    q.SQL() = {QStringLiteral("select id_itm,itm from tb_items")};
    q.Open();
    for (; !q.Eof(); q.Next())
        names[q.Fields()[0]->AsInteger()] = q.Fields()[1]->AsString();
    q.Close();
    return names;
}

// A group's month and levels as whole numbers, null as NullKey; a path's
// levels alone. Hashed for the fold, which at a million operations meets a
// group per row.
constexpr int64_t NullKey = INT64_MIN;
template <size_t N> struct TKeyHash {
    size_t operator()(const std::array<int64_t, N> &Key) const noexcept
    {
        uint64_t h = 0;
        for (int64_t v : Key) {
            h = (h ^ uint64_t(v)) * 0x9E3779B97F4A7C15ull;
            h ^= h >> 32;
        }
        return size_t(h);
    }
};
using TGroupKey = std::array<int64_t, 4>;
using TPathKey = std::array<int64_t, 3>;

// One group of the year's operations: month, category levels (as deep as
// asked), the sums of income and expense (null without a value).
struct TDiffGroup {
    std::optional<int> Month;
    std::array<std::optional<int>, 3> Levels;
    std::optional<double> Dt, Ct;
};

// The query's head and conditions, without its grouping.
QStringList YearLines(const QString &Select, const TDiffOptions &Options)
{
    return {Select, AccountsThenOperations(), QStringLiteral("where a.id_account=h.id_account"),
            QStringLiteral("and kind='1' and yr=:yr"), AccountScopeLine(Options.Scope),
            // The year's dates again, so that the (account, date) index finds its rows.
            QStringLiteral("and h.date_real between :d1 and :d2")};
}

void BindYear(TQuery &Q, const TDiffOptions &Options)
{
    Q.ParamByName(QStringLiteral("yr"))->SetAsSmallInt(Options.Year);
    const int year = std::clamp(Options.Year, 1, 9999); // a year no date can have finds nothing anyway
    Q.ParamByName(QStringLiteral("d1"))->SetAsDate(EncodeDate(year, 1, 1));
    Q.ParamByName(QStringLiteral("d2"))->SetAsDate(EncodeDate(year, 12, 31));
    BindAccountScope(Q, Options.Scope);
}

// The year's operations grouped by month and levels: folded in memory as
// they stream (at a million operations the engine's sort by group took a
// third of the time), or, when a value appears that the fold does not model
// (text where a number is expected, a fraction where an id is), grouped by
// the query.
std::vector<TDiffGroup> YearGroups(TDatabase &Db, const TDiffOptions &Options, int Level)
{
    const QString levels = LevelColumns(Level);
    {
        TQuery q;
        q.SetDatabase(&Db);
        q.SQL() = YearLines(QStringLiteral("Select mn,") + levels + QStringLiteral(",dt,ct"), Options);
        BindYear(q, Options);
        std::unordered_map<TGroupKey, std::pair<TEngineSum, TEngineSum>, TKeyHash<4>> folded;
        bool foldable = true;
        q.ForEachRow([&](const TSqliteStatement &st) {
            TGroupKey key{NullKey, NullKey, NullKey, NullKey};
            for (int k = 0; k <= Level; ++k) {
                std::optional<int64_t> v;
                if (!WholeKey(st, k, v) || (v && (*v < INT32_MIN || *v > INT32_MAX)))
                    return foldable = false;
                if (v)
                    key[size_t(k)] = *v;
            }
            auto &sums = folded[key];
            return foldable = sums.first.Add(st, Level + 1) && sums.second.Add(st, Level + 2);
        });
        for (const auto &[key, sums] : folded)
            if (sums.first.Overflow || sums.second.Overflow)
                foldable = false; // the engine's sum fails: the query reports it
        if (foldable) {
            std::vector<TDiffGroup> groups;
            groups.reserve(folded.size());
            for (const auto &[key, sums] : folded) {
                TDiffGroup g;
                if (key[0] != NullKey)
                    g.Month = int(key[0]);
                for (int k = 0; k < Level; ++k)
                    if (key[size_t(k + 1)] != NullKey)
                        g.Levels[size_t(k)] = int(key[size_t(k + 1)]);
                g.Dt = sums.first.Sum();
                g.Ct = sums.second.Sum();
                groups.push_back(g);
            }
            return groups;
        }
    }
    TQuery q;
    q.SetDatabase(&Db);
    q.SQL() = YearLines(QStringLiteral("Select mn,") + levels + QStringLiteral(",sum(dt) sdt,sum(ct) sct"), Options);
    q.SQL() << QStringLiteral("group by mn,") + levels;
    BindYear(q, Options);
    q.Open();
    std::vector<TDiffGroup> groups;
    const auto value = [](const TField *f) { return f->IsNull() ? std::optional<double>() : f->AsFloat(); };
    const auto id = [](const TField *f) { return f->IsNull() ? std::optional<int>() : f->AsInteger(); };
    TField *mn = q.FieldByName(QStringLiteral("mn"));
    TField *sdt = q.FieldByName(QStringLiteral("sdt")), *sct = q.FieldByName(QStringLiteral("sct"));
    TField *lv[3] = {};
    for (int k = 0; k < Level; ++k)
        lv[k] = q.FieldByName(QStringLiteral("level%1").arg(k + 1));
    for (; !q.Eof(); q.Next()) {
        TDiffGroup g;
        g.Month = id(mn);
        for (int k = 0; k < Level; ++k)
            g.Levels[size_t(k)] = id(lv[k]);
        g.Dt = value(sdt);
        g.Ct = value(sct);
        groups.push_back(g);
    }
    q.Close();
    return groups;
}

} // namespace

void OpenDiffTable(TVemtMemTable &TbY)
{
    std::vector<TMemFieldDef> fields{{QStringLiteral("Itm"), ftString, 90, QStringLiteral("Статья"), {}, 40}};
    for (int i = 1; i <= 12; ++i)
        fields.push_back({QStringLiteral("Rs%1").arg(i), ftFloat, 0, FormatSettings().LongMonthNames[i - 1],
                          kMoney, 11});
    fields.push_back({QStringLiteral("SmRs"), ftFloat, 0, QStringLiteral("Сумма"), kMoney, 14});
    OpenMemTable(TbY, fields);
    TbY.SetSortFields(QStringLiteral("Itm"));
}

TDiffOutcome ComputeYearItemTotals(TDatabase &Db, const TDiffOptions &Options, TVemtMemTable &TbY)
{
    TbY.EmptyTable();
    const int level = std::clamp(Options.Level, 1, 3);
    const auto names = CategoryNames(Db);
    auto nameOf = [&names](const std::optional<int> &id, bool &found) {
        found = false;
        if (!id)
            return QString();
        const auto it = names.find(*id);
        found = it != names.end();
        return found ? it->second : QString();
    };
    // Net results by name and month; a month is shown only when not 0. The
    // row of each path, once named.
    std::map<QString, std::array<int64_t, 12>> rows;
    std::unordered_map<TPathKey, std::array<int64_t, 12> *, TKeyHash<3>> rowOfPath;
    for (const TDiffGroup &g : YearGroups(Db, Options, level)) {
        const int64_t net = (g.Dt ? MoneyToUnits(*g.Dt) : 0) - (g.Ct ? MoneyToUnits(*g.Ct) : 0);
        if (net == 0)
            continue;
        TPathKey path{NullKey, NullKey, NullKey};
        for (int k = 0; k < level; ++k)
            if (g.Levels[size_t(k)])
                path[size_t(k)] = *g.Levels[size_t(k)];
        auto at = rowOfPath.find(path);
        if (at == rowOfPath.end()) {
            bool found = false;
            QString name = nameOf(g.Levels[0], found);
            for (int k = 2; k <= level; ++k) {
                const QString part = nameOf(g.Levels[size_t(k - 1)], found);
                if (!found)
                    break;
                name += u':' + part;
            }
            at = rowOfPath.emplace(path, &rows.try_emplace(name.left(90), std::array<int64_t, 12>{}).first->second)
                     .first;
        }
        std::array<int64_t, 12> &months = *at->second;
        const int m = g.Month.value_or(0);
        // Added, not overwritten: result rows of categories missing from
        // tb_items share the empty name (and long paths share their first 90
        // characters), and each must count in the month, not only the last.
        if (m >= 1 && m <= 12)
            months[size_t(m - 1)] += net;
    }

    TDiffOutcome outcome;
    std::array<int64_t, 12> monthTotals{};
    TField *itm = TbY.FieldByName(QStringLiteral("Itm")), *smRs = TbY.FieldByName(QStringLiteral("SmRs"));
    TField *rs[12];
    for (int i = 0; i < 12; ++i)
        rs[i] = TbY.FieldByName(QStringLiteral("Rs%1").arg(i + 1));
    // TbY has no unique key and no required field, takes any float, and each
    // name is cut to its 90 characters: no figure of the year makes a post
    // fail. Should one fail all the same, the row is cancelled and the
    // failure goes on to the window's notice rather than the row being left
    // out in silence: the count and the grand total already hold it, and a
    // year shown without one of its categories is a wrong figure. The table
    // is left browsing with its controls on, so the next computation starts
    // clean instead of posting the half-written row.
    TControlsOff off(TbY);
    try {
        for (const auto &[name, months] : rows) {
            TbY.Append();
            itm->SetAsString(name);
            int64_t rowSum = 0;
            for (int i = 0; i < 12; ++i) {
                rowSum += months[size_t(i)];
                monthTotals[size_t(i)] += months[size_t(i)];
                if (months[size_t(i)] != 0)
                    rs[i]->SetAsFloat(UnitsToMoney(months[size_t(i)]));
            }
            if (rowSum != 0) {
                outcome.GrandTotal += rowSum;
                smRs->SetAsFloat(UnitsToMoney(rowSum));
            }
            TbY.Post();
            ++outcome.Count;
        }
        TbY.Sort();
        if (Options.Totals && outcome.Count > 0) {
            TbY.Append();
            itm->SetAsString(QStringLiteral(" "));
            for (int i = 0; i < 12; ++i)
                if (monthTotals[size_t(i)] != 0)
                    rs[i]->SetAsFloat(UnitsToMoney(monthTotals[size_t(i)]));
            smRs->SetAsFloat(UnitsToMoney(outcome.GrandTotal));
            TbY.Post();
        }
    } catch (...) {
        TbY.Cancel();
        throw;
    }
    TbY.First();
    return outcome;
}

} // namespace zorbel
