// Turnovers against limits and plans (see ZorbLimCalc.h).
//
// The month's operations are grouped by the category levels of the depth and
// by kind ('1' realised, '2' planned). Each group is credited to one
// category: at depth 3 its level3 when set; at depth 1, or when level2 is not
// set, its level1; else its level2. The categories are read once from
// tb_items (name, parent, level, direction, limits); a row's name is its
// path "root:parent:name". Rows are collected in memory in the order they
// first appear and then written to TabLim.
#include "analysis/ZorbLimCalc.h"

#include "platform/dataset/Fields.h"
#include "platform/rtl/Money.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <unordered_map>
#include <vector>

namespace zorbel {

namespace {

using Opt = std::optional<double>;

struct TLimItem {
    QString Itm, C;
    std::optional<int> IdRef;
    int Lev = 0;
    Opt Lim, QLim;
};

// One row of TabLim.
struct TLimRow {
    int Id = 0;
    const TLimItem *Item = nullptr;
    Opt Lim, Ct, CtP, Dt, DtP, Bal, Rb, QLim, Qdt, QdtP, Qct, QctP, QBal, QRb;
    std::optional<int> RbX, QRbX;
};

Opt Value(const TField *f) { return f->IsNull() ? Opt() : Opt(f->AsFloat()); }

std::unordered_map<int, TLimItem> ReadItems(TDatabase &Db, std::vector<int> &order)
{
    std::unordered_map<int, TLimItem> items;
    TQuery q;
    q.SetDatabase(&Db);
    q.SQL() = {QStringLiteral("select id_itm,itm,id_ref,lev,c,lim,qlim from tb_items order by id_itm")};
    q.Open();
    for (; !q.Eof(); q.Next()) {
        TLimItem item;
        item.Itm = q.Fields()[1]->AsString();
        if (!q.Fields()[2]->IsNull())
            item.IdRef = q.Fields()[2]->AsInteger();
        item.Lev = q.Fields()[3]->AsInteger();
        item.C = q.Fields()[4]->AsString();
        item.Lim = Value(q.Fields()[5]);
        item.QLim = Value(q.Fields()[6]);
        const int id = q.Fields()[0]->AsInteger();
        order.push_back(id);
        items.emplace(id, std::move(item));
    }
    q.Close();
    return items;
}

// A new row for a category: its limits with the sign rules.
TLimRow NewRow(int id, const TLimItem &item)
{
    TLimRow row;
    row.Id = id;
    row.Item = &item;
    row.Lim = item.Lim;
    if (row.Lim && item.C == u'-' && *row.Lim > 0)
        row.Lim = -*row.Lim;
    row.QLim = item.QLim;
    if (row.QLim && item.C == u'+' && *row.QLim > 0)
        row.QLim = -*row.QLim;
    return row;
}

// The category's name after its parent's and its grandparent's.
QString PathName(const std::unordered_map<int, TLimItem> &items, const TLimItem &item)
{
    QString name = item.Itm;
    std::optional<int> up = item.IdRef;
    for (int k = 0; k < 2 && up; ++k) {
        const auto it = items.find(*up);
        if (it == items.end())
            break;
        name = it->second.Itm + u':' + name;
        up = it->second.IdRef;
    }
    return name;
}

// A group's sums: income and quantity in as they are, expense and quantity
// out negated; a null sum leaves its value.
struct TGroupSums {
    const TField *Sdt, *Sct, *Sqdt, *Sqct;
    void Into(Opt &dt, Opt &ct, Opt &qdt, Opt &qct) const
    {
        if (!Sdt->IsNull())
            dt = Sdt->AsFloat();
        if (!Sct->IsNull())
            ct = -Sct->AsFloat();
        if (!Sqdt->IsNull())
            qdt = Sqdt->AsFloat();
        if (!Sqct->IsNull())
            qct = -Sqct->AsFloat();
    }
};

// A realised group: turnovers, balances and the differences from the limits.
void SetRealised(TLimRow &row, const TGroupSums &sums)
{
    sums.Into(row.Dt, row.Ct, row.Qdt, row.Qct);
    row.Bal = row.Dt.value_or(0) + row.Ct.value_or(0);
    row.QBal = row.Qdt.value_or(0) + row.Qct.value_or(0);
    if (row.Lim) {
        const double lim = *row.Lim;
        const Opt &turnover = lim > 0 ? row.Dt : row.Ct;
        if (turnover) {
            row.Rb = lim > 0 ? *turnover - lim : lim - *turnover;
            if (lim != 0 && *turnover != 0)
                row.RbX = LimitPercent(*turnover, lim);
        }
    }
    if (row.QLim) {
        const double lim = *row.QLim;
        const Opt &turnover = lim >= 0 ? row.Qdt : row.Qct;
        if (turnover) {
            row.QRb = lim >= 0 ? *turnover - lim : lim - *turnover;
            if (lim != 0 && *turnover != 0)
                row.QRbX = LimitPercent(*turnover, lim);
        }
    }
}

void Put(TField *f, const Opt &v)
{
    if (v)
        f->SetAsFloat(*v);
}

const QString kMoney = QStringLiteral("#,##0.00");
const QString kPercent = QStringLiteral("0%");

} // namespace

int LimitPercent(double Value, double Limit)
{
    const double p = std::nearbyint(Value * 100 / Limit);
    return p > 2147483647.0 ? 2147483647 : p < -2147483647.0 ? -2147483647 : int(p);
}

void OpenLimTables(TVemtMemTable &TabLim, TVemtMemTable &TabSum)
{
    const TMemFieldDef lim[] = {
        {QStringLiteral("itm"), ftString, 90, QStringLiteral("Статья")},
        {QStringLiteral("Lim"), ftFloat, 0, QStringLiteral("Лимит"), kMoney},
        {QStringLiteral("Ct"), ftFloat, 0, QStringLiteral("Расход"), kMoney},
        {QStringLiteral("CtP"), ftFloat, 0, QStringLiteral("РасхПлан"), kMoney},
        {QStringLiteral("Dt"), ftFloat, 0, QStringLiteral("Приход"), kMoney},
        {QStringLiteral("DtP"), ftFloat, 0, QStringLiteral("ПрихПлан"), kMoney},
        {QStringLiteral("Bal"), ftFloat, 0, QStringLiteral("Баланс"), kMoney},
        {QStringLiteral("Rb"), ftFloat, 0, QStringLiteral("РазнЛим"), kMoney},
        {QStringLiteral("RbX"), ftInteger, 0, QStringLiteral("%Лим"), kPercent},
        {QStringLiteral("QLim"), ftFloat, 0, QStringLiteral("Лимит"), kMoney, 0, false},
        {QStringLiteral("Qdt"), ftFloat, 0, QStringLiteral("Кол+"), kMoney, 0, false},
        {QStringLiteral("QdtP"), ftFloat, 0, QStringLiteral("КолПл+"), kMoney, 0, false},
        {QStringLiteral("Qct"), ftFloat, 0, QStringLiteral("Кол-"), kMoney, 0, false},
        {QStringLiteral("QctP"), ftFloat, 0, QStringLiteral("КолПл-"), kMoney, 0, false},
        {QStringLiteral("QBal"), ftFloat, 0, QStringLiteral("Баланс"), kMoney, 0, false},
        {QStringLiteral("QRb"), ftFloat, 0, QStringLiteral("РазнЛим"), kMoney, 0, false},
        {QStringLiteral("QRbX"), ftInteger, 0, QStringLiteral("%Лим"), kPercent, 0, false},
        {QStringLiteral("id_itm"), ftSmallint, 0, {}, {}, 0, false},
        {QStringLiteral("lev"), ftSmallint, 0, {}, {}, 0, false},
        {QStringLiteral("Id_Ref"), ftSmallint, 0, {}, {}, 0, false},
        {QStringLiteral("C"), ftString, 1, {}, {}, 0, false},
    };
    OpenMemTable(TabLim, lim);
    TabLim.SetSortFields(QStringLiteral("itm"));
    const QString sum = QStringLiteral("#,###,###,##0.00");
    const TMemFieldDef totals[] = {
        {QStringLiteral("itm"), ftString, 6, QStringLiteral("Итого")},
        {QStringLiteral("SumLimDt"), ftFloat, 0, QStringLiteral("Лимит+"), sum},
        {QStringLiteral("SumLimCt"), ftFloat, 0, QStringLiteral("Лимит-"), sum},
        {QStringLiteral("SumDt"), ftFloat, 0, QStringLiteral("Приход"), sum},
        {QStringLiteral("SumCt"), ftFloat, 0, QStringLiteral("Расход"), sum},
        {QStringLiteral("SumBal"), ftFloat, 0, QStringLiteral("Баланс"), sum},
        {QStringLiteral("SumResDt"), ftFloat, 0, QStringLiteral("РазнЛим+"), sum},
        {QStringLiteral("SumResCt"), ftFloat, 0, QStringLiteral("РазнЛим-"), sum},
        {QStringLiteral("SumPercDt"), ftInteger, 0, QStringLiteral("%Лим+"), kPercent},
        {QStringLiteral("SumPercCt"), ftInteger, 0, QStringLiteral("%Лим-"), kPercent},
        {QStringLiteral("SumPlan"), ftFloat, 0, QStringLiteral("ПланОпер"), sum},
        {QStringLiteral("SumDtPlan"), ftFloat, 0, QStringLiteral("Прих+План"), sum},
        {QStringLiteral("SumCtPlan"), ftFloat, 0, QStringLiteral("Расх+План"), sum},
        {QStringLiteral("SumBalPlan"), ftFloat, 0, QStringLiteral("Бал+План"), sum},
        {QStringLiteral("SumLimPlanDt"), ftFloat, 0, QStringLiteral("Лим-План+"), sum},
        {QStringLiteral("SumLimPlanCt"), ftFloat, 0, QStringLiteral("Лим-План-"), sum},
    };
    OpenMemTable(TabSum, totals);
}

void ComputeLimitTurnovers(TDatabase &Db, const TLimOptions &Options, TVemtMemTable &TabLim)
{
    TabLim.EmptyTable();
    const int depth = std::clamp(Options.Depth, 1, 3);
    const QString levels = LevelColumns(depth);
    TQuery q;
    q.SetDatabase(&Db);
    q.SQL() = {QStringLiteral("Select ") + levels + QStringLiteral(",kind,"),
               QStringLiteral("sum(ct) sct,sum(dt) sdt,sum(qdt) sqdt,sum(qct) sqct"),
               AccountsThenOperations(), QStringLiteral("where a.id_account=h.id_account"),
               AccountScopeLine(Options.Scope), QStringLiteral("and yr=:y and mn=:m"),
               // The month's dates again, so that the (account, date) index finds its rows.
               QStringLiteral("and h.date_real between :d1 and :d2"),
               QStringLiteral("group by ") + levels + QStringLiteral(",kind")};
    q.ParamByName(QStringLiteral("y"))->SetAsSmallInt(Options.Year);
    q.ParamByName(QStringLiteral("m"))->SetAsSmallInt(Options.Month);
    const TDateTime first = EncodeDate(std::clamp(Options.Year, 1, 9998), std::clamp(Options.Month, 1, 12), 1);
    q.ParamByName(QStringLiteral("d1"))->SetAsDate(first);
    q.ParamByName(QStringLiteral("d2"))->SetAsDate(IncMonth(first, 1) - 1);
    BindAccountScope(q, Options.Scope);
    q.Open();

    std::vector<int> order;
    const auto items = ReadItems(Db, order);
    std::vector<TLimRow> rows;
    std::unordered_map<int, size_t> rowOf; // category id -> index in rows
    const TField *level1 = q.FieldByName(QStringLiteral("level1"));
    const TField *level2 = depth > 1 ? q.FieldByName(QStringLiteral("level2")) : nullptr;
    const TField *level3 = depth > 2 ? q.FieldByName(QStringLiteral("level3")) : nullptr;
    const TField *kind = q.FieldByName(QStringLiteral("kind"));
    const TGroupSums sums{q.FieldByName(QStringLiteral("sdt")), q.FieldByName(QStringLiteral("sct")),
                          q.FieldByName(QStringLiteral("sqdt")), q.FieldByName(QStringLiteral("sqct"))};
    for (; !q.Eof(); q.Next()) {
        const TField *chosen = level3 && !level3->IsNull()            ? level3
                               : depth == 1 || !level2 || level2->IsNull() ? level1
                                                                       : level2;
        if (chosen->IsNull())
            continue;
        const int id = chosen->AsInteger();
        const auto item = items.find(id);
        if (item == items.end())
            continue;
        if (Options.Contents == TLimContents::LimitedTurnovers && !item->second.Lim && !item->second.QLim)
            continue;
        auto [at, added] = rowOf.try_emplace(id, rows.size());
        if (added)
            rows.push_back(NewRow(id, item->second));
        TLimRow &row = rows[at->second];
        if (kind->AsString() != QStringLiteral("2"))
            SetRealised(row, sums);
        else
            sums.Into(row.DtP, row.CtP, row.QdtP, row.QctP); // plans touch no balance
    }
    q.Close();

    if (Options.Contents == TLimContents::TurnoversAndLimits) {
        for (int id : order) {
            const TLimItem &item = items.at(id);
            if ((item.Lim || item.QLim) && !rowOf.contains(id)) {
                rowOf.emplace(id, rows.size());
                rows.push_back(NewRow(id, item));
            }
        }
    }

    // TabLim has no unique key and no required field, takes any float, each
    // name is cut to its 90 characters and the ids are the small integers
    // the opening checked: no row of the month makes a post fail. Should one
    // fail all the same, the row is cancelled and the failure goes on to the
    // window's notice rather than the category being left out in silence
    // (its turnover would be missing from the totals strip summed from these
    // rows). The table is left browsing with its controls on, so the next
    // rebuild starts clean instead of posting the half-written row.
    TControlsOff off(TabLim);
    auto field = [&TabLim](const char *name) { return TabLim.FieldByName(QString::fromLatin1(name)); };
    try {
        for (const TLimRow &row : rows) {
            TabLim.Append();
            field("itm")->SetAsString(PathName(items, *row.Item).left(90));
            field("id_itm")->SetAsInteger(row.Id);
            field("lev")->SetAsInteger(row.Item->Lev);
            if (row.Item->IdRef)
                field("Id_Ref")->SetAsInteger(*row.Item->IdRef);
            field("C")->SetAsString(row.Item->C);
            const std::pair<const char *, const Opt *> values[] = {
                {"Lim", &row.Lim},   {"Ct", &row.Ct},     {"CtP", &row.CtP},   {"Dt", &row.Dt},     {"DtP", &row.DtP},
                {"Bal", &row.Bal},   {"Rb", &row.Rb},     {"QLim", &row.QLim}, {"Qdt", &row.Qdt},   {"QdtP", &row.QdtP},
                {"Qct", &row.Qct},   {"QctP", &row.QctP}, {"QBal", &row.QBal}, {"QRb", &row.QRb}};
            for (const auto &[name, value] : values)
                Put(field(name), *value);
            if (row.RbX)
                field("RbX")->SetAsInteger(*row.RbX);
            if (row.QRbX)
                field("QRbX")->SetAsInteger(*row.QRbX);
            TabLim.Post();
        }
    } catch (...) {
        TabLim.Cancel();
        throw;
    }
    TabLim.First();
}

void ComputeLimitTotals(TVemtMemTable &TabLim, TVemtMemTable &TabSum)
{
    if (!TabSum.Active())
        TabSum.Open();
    TabSum.EmptyTable();
    if (!TabLim.Active() || TabLim.IsEmpty())
        return;
    // Money: limits above 0 (income) and the others; then the turnovers.
    int64_t lPlus = 0, lMinus = 0, qPlus = 0, qMinus = 0;
    int64_t dt = 0, ct = 0, dtP = 0, ctP = 0, qdt = 0, qct = 0, qdtP = 0, qctP = 0;
    auto units = [&TabLim](const char *name) { return FieldUnits(TabLim.FieldByName(QString::fromLatin1(name))); };
    TabLim.DisableControls();
    for (TabLim.First(); !TabLim.Eof(); TabLim.Next()) {
        const int64_t lim = units("Lim"), qlim = units("QLim");
        (lim > 0 ? lPlus : lMinus) += lim;
        (qlim > 0 ? qPlus : qMinus) += qlim;
        dt += units("Dt");
        ct += units("Ct");
        dtP += units("DtP");
        ctP += units("CtP");
        qdt += units("Qdt");
        qct += units("Qct");
        qdtP += units("QdtP");
        qctP += units("QctP");
    }
    TabLim.First();
    TabLim.EnableControls();

    auto put = [&TabSum](const char *name, int64_t value, bool when = true) {
        if (when)
            TabSum.FieldByName(QString::fromLatin1(name))->SetAsFloat(UnitsToMoney(value));
    };
    auto percent = [&TabSum](const char *name, int64_t value, int64_t limit) {
        if (value != 0 && limit != 0)
            TabSum.FieldByName(QString::fromLatin1(name))
                ->SetAsInteger(LimitPercent(UnitsToMoney(value), UnitsToMoney(limit)));
    };

    // As for the rows above: nothing here is refused by TabSum (any float,
    // percentages kept to the integer range), and should a post fail all the
    // same, the failure is reported and the table left browsing, not a totals
    // row dropped in silence.
    try {
        TabSum.Append();
        TabSum.FieldByName(QStringLiteral("itm"))->SetAsString(QStringLiteral("Деньги"));
        put("SumLimDt", lPlus, lPlus != 0);
        put("SumResDt", dt - lPlus, lPlus != 0);
        put("SumLimCt", lMinus, lMinus != 0);
        put("SumResCt", lMinus - ct, lMinus != 0);
        put("SumDt", dt);
        put("SumCt", ct);
        put("SumBal", dt + ct);
        put("SumPlan", dtP + ctP);
        put("SumDtPlan", dt + dtP, dt + dtP != 0);
        put("SumCtPlan", ct + ctP, ct + ctP != 0);
        put("SumBalPlan", dt + ct + dtP + ctP);
        put("SumLimPlanDt", lPlus - dtP, lPlus - dtP != 0);
        put("SumLimPlanCt", lMinus - ctP, lMinus - ctP != 0);
        percent("SumPercDt", dt, lPlus);
        percent("SumPercCt", ct, lMinus);
        TabSum.Post();

        TabSum.Append();
        TabSum.FieldByName(QStringLiteral("itm"))->SetAsString(QStringLiteral("Кол-во"));
        const std::pair<const char *, int64_t> quantities[] = {
            {"SumLimDt", qPlus},          {"SumLimCt", qMinus},         {"SumDt", qdt},
            {"SumCt", qct},               {"SumBal", qdt + qct},        {"SumPlan", qdtP + qctP},
            {"SumDtPlan", qdt + qdtP},    {"SumCtPlan", qct + qctP},    {"SumBalPlan", qdt + qct + qdtP + qctP},
            {"SumResDt", qPlus - qdt},    {"SumResCt", qMinus - qct},   {"SumLimPlanDt", qPlus - qdtP},
            {"SumLimPlanCt", qMinus - qctP}};
        for (const auto &[name, value] : quantities)
            put(name, value, value != 0);
        percent("SumPercDt", qdt, qPlus);
        percent("SumPercCt", qct, qMinus);
        TabSum.Post();
    } catch (...) {
        TabSum.Cancel();
        throw;
    }
    TabSum.First();
}

} // namespace zorbel
