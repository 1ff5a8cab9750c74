// A year by category (see ZorbDiffCalc.h).
//
// One grouped query (month and the category levels of the chosen depth, sums
// of income and expense) over the year; each result row is named by its
// category path and its net result is added to that name's month. The names
// come from one read of tb_items. Rows are written to the memory table once
// all months are known, with their row sums; the table then sorts by name.
#include "analysis/ZorbDiffCalc.h"

#include "platform/dataset/Fields.h"
#include "platform/rtl/FormatSettings.h"
#include "platform/rtl/Money.h"

#include <algorithm>
#include <array>
#include <map>
#include <unordered_map>

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
    const QString levels = LevelColumns(level);
    TQuery q;
    q.SetDatabase(&Db);
    q.SQL() = {QStringLiteral("Select mn,") + levels + QStringLiteral(",sum(dt) sdt,sum(ct) sct"),
               AccountsThenOperations(), QStringLiteral("where a.id_account=h.id_account"),
               QStringLiteral("and kind='1' and yr=:yr"), AccountScopeLine(Options.Scope),
               // The year's dates again, so that the (account, date) index finds its rows.
               QStringLiteral("and h.date_real between :d1 and :d2"),
               QStringLiteral("group by mn,") + levels};
    q.ParamByName(QStringLiteral("yr"))->SetAsSmallInt(Options.Year);
    const int year = std::clamp(Options.Year, 1, 9999); // a year no date can have finds nothing anyway
    q.ParamByName(QStringLiteral("d1"))->SetAsDate(EncodeDate(year, 1, 1));
    q.ParamByName(QStringLiteral("d2"))->SetAsDate(EncodeDate(year, 12, 31));
    BindAccountScope(q, Options.Scope);
    q.Open();

    const auto names = CategoryNames(Db);
    auto nameOf = [&names](const TField *f, bool &found) {
        found = false;
        if (f->IsNull())
            return QString();
        const auto it = names.find(f->AsInteger());
        found = it != names.end();
        return found ? it->second : QString();
    };
    // Net results by name and month; a month is shown only when not 0.
    std::map<QString, std::array<int64_t, 12>> rows;
    TField *mn = q.FieldByName(QStringLiteral("mn"));
    TField *sdt = q.FieldByName(QStringLiteral("sdt")), *sct = q.FieldByName(QStringLiteral("sct"));
    for (; !q.Eof(); q.Next()) {
        bool found = false;
        QString name = nameOf(q.FieldByName(QStringLiteral("level1")), found);
        for (int k = 2; k <= level; ++k) {
            const QString part = nameOf(q.FieldByName(QStringLiteral("level%1").arg(k)), found);
            if (!found)
                break;
            name += u':' + part;
        }
        const int64_t net = FieldUnits(sdt) - FieldUnits(sct);
        if (net == 0)
            continue;
        auto &months = rows.try_emplace(name.left(90), std::array<int64_t, 12>{}).first->second;
        const int m = mn->IsNull() ? 0 : mn->AsInteger();
        // Added, not overwritten: result rows of categories missing from
        // tb_items share the empty name (and long paths share their first 90
        // characters), and each must count in the month, not only the last.
        if (m >= 1 && m <= 12)
            months[size_t(m - 1)] += net;
    }
    q.Close();

    TDiffOutcome outcome;
    std::array<int64_t, 12> monthTotals{};
    TField *itm = TbY.FieldByName(QStringLiteral("Itm")), *smRs = TbY.FieldByName(QStringLiteral("SmRs"));
    TField *rs[12];
    for (int i = 0; i < 12; ++i)
        rs[i] = TbY.FieldByName(QStringLiteral("Rs%1").arg(i + 1));
    TbY.DisableControls();
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
    TbY.EnableControls();
    TbY.First();
    return outcome;
}

} // namespace zorbel
