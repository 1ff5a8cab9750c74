// The dynamics rows of the results window (see ZorbRstDynCalc.h).
#include "analysis/ZorbRstDynCalc.h"

#include "analysis/ZorbAnalysisTables.h"
#include "platform/dataset/Fields.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/FormatSettings.h"
#include "platform/rtl/Money.h"

#include "platform/sqltable/Query.h"
#include "platform/sqltable/Sqlite.h"

#include <cmath>
#include <map>
#include <optional>

namespace zorbel {

namespace {

// The value fields every source query and TabDyn share, in the source's order.
constexpr const char *SourceValues[] = {"dt", "ct", "price", "dty", "cty", "pricey", "rate", "qdt", "qct"};

std::optional<double> Value(const TField *F)
{
    return F->IsNull() ? std::nullopt : std::optional<double>(F->AsFloat());
}

void Put(TField *F, const std::optional<double> &V)
{
    if (V)
        F->SetAsFloat(*V);
    else
        F->Clear();
}

// The TabDyn fields a fill writes, looked up once.
struct TDynFields {
    explicit TDynFields(TDataSet &T)
        : vr(T.FieldByName(QStringLiteral("vr"))), dt(T.FieldByName(QStringLiteral("dt"))),
          ct(T.FieldByName(QStringLiteral("ct"))), bal(T.FieldByName(QStringLiteral("bal"))),
          rest(T.FieldByName(QStringLiteral("rest"))), price(T.FieldByName(QStringLiteral("price"))),
          dty(T.FieldByName(QStringLiteral("dty"))), cty(T.FieldByName(QStringLiteral("cty"))),
          baly(T.FieldByName(QStringLiteral("baly"))), resty(T.FieldByName(QStringLiteral("resty"))),
          pricey(T.FieldByName(QStringLiteral("pricey"))), rate(T.FieldByName(QStringLiteral("rate"))),
          qdt(T.FieldByName(QStringLiteral("qdt"))), qct(T.FieldByName(QStringLiteral("qct"))),
          dw(T.FieldByName(QStringLiteral("dw")))
    {
    }
    TField *vr, *dt, *ct, *bal, *rest, *price, *dty, *cty, *baly, *resty, *pricey, *rate, *qdt, *qct, *dw;
};

// One unit's values before they become a row.
struct TDynValues {
    std::optional<double> dt, ct, price, dty, cty, pricey, rate, qdt, qct;
};

// Writes an income and expense pair and, when either is present, their
// difference and the running balance R advanced by it. Cents: the balance is
// written to the cent (R itself stays exact), as a balance in the common
// unit, whose opening and amounts are quotients, would else carry four
// decimals into the grid's export.
void PutPair(TField *In, TField *Out, TField *Bal, TField *Rest, const std::optional<double> &VIn,
             const std::optional<double> &VOut, int64_t &R, bool Cents)
{
    Put(In, VIn);
    Put(Out, VOut);
    if (!VIn && !VOut)
        return;
    const double bal = VIn.value_or(0) - VOut.value_or(0);
    Bal->SetAsFloat(bal);
    R += MoneyToUnits(bal);
    Rest->SetAsFloat(UnitsToMoney(Cents ? RoundUnitsToCents(R) : R));
}

// Writes the values of the row being appended and advances the running
// balances in money and in the common unit.
void PutValues(const TDynFields &F, const TDynValues &V, int64_t &R, int64_t &RY)
{
    PutPair(F.dt, F.ct, F.bal, F.rest, V.dt, V.ct, R, false);
    Put(F.price, V.price);
    PutPair(F.dty, F.cty, F.baly, F.resty, V.dty, V.cty, RY, true);
    Put(F.pricey, V.pricey);
    Put(F.rate, V.rate);
    Put(F.qdt, V.qdt);
    Put(F.qct, V.qct);
}

// Posts the appended row when it has a label, else drops it; a failing post
// cancels the row.
void PostOrDrop(TDataSet &T, const TDynFields &F)
{
    try {
        if (F.vr->AsString().isEmpty())
            T.Cancel();
        else
            T.Post();
    } catch (const Exception &) {
        T.Cancel();
    }
}

// A week's sums in 1/10000 and the number of days that gave an average.
struct TWeekSums {
    int64_t dt = 0, ct = 0, dty = 0, cty = 0, qdt = 0, qct = 0;
    int64_t price = 0, pricey = 0, rate = 0;
    int nPrice = 0, nPricey = 0, nRate = 0;

    bool Empty() const
    {
        return dt == 0 && ct == 0 && dty == 0 && cty == 0 && qdt == 0 && qct == 0 && price == 0 && pricey == 0 &&
               rate == 0;
    }
};

std::optional<double> NonZero(int64_t Units)
{
    return Units == 0 ? std::nullopt : std::optional<double>(UnitsToMoney(Units));
}

std::optional<double> Average(int64_t Sum, int Count)
{
    if (Count <= 0)
        return std::nullopt;
    return UnitsToMoney(RoundHalfEven(static_cast<long double>(Sum) / Count));
}

} // namespace

QString DynUnitName(int Unit)
{
    static constexpr const char *names[] = {"Дни", "Недели", "Месяцы", "Годы", "Века..."};
    return Unit >= 0 && Unit < 5 ? QString::fromUtf8(names[Unit]) : QString();
}

QString DynFilterText(int Kind)
{
    if (Kind < 0 || Kind >= int(DynKinds.size()))
        return QString();
    const QString f = QString::fromLatin1(DynKinds[size_t(Kind)].Field);
    return f + QStringLiteral("<>null and ") + f + QStringLiteral("<>0");
}

void OpenDynTable(TVemtMemTable &TabDyn, const QString &Title)
{
    const QString money = QStringLiteral("#,##0.00");
    // Money columns are 12 digits wide: a running balance in the millions
    // ("1 511 033,06") would lose its leading digit in a narrower cell.
    const TMemFieldDef defs[] = {
        {QStringLiteral("vr"), ftString, 15, Title, {}, 10},
        {QStringLiteral("dt"), ftFloat, 0, QStringLiteral("Приход"), money, 12},
        {QStringLiteral("ct"), ftFloat, 0, QStringLiteral("Расход"), money, 12},
        {QStringLiteral("bal"), ftFloat, 0, QStringLiteral("Баланс"), money, 12},
        {QStringLiteral("rest"), ftFloat, 0, QStringLiteral("Остаток"), money, 12},
        {QStringLiteral("price"), ftFloat, 0, QStringLiteral("Цена ср."), money, 12},
        {QStringLiteral("dty"), ftFloat, 0, QStringLiteral("Прих.у.е."), money, 12},
        {QStringLiteral("cty"), ftFloat, 0, QStringLiteral("Расх.у.е."), money, 12},
        {QStringLiteral("baly"), ftFloat, 0, QStringLiteral("Бал.у.е."), money, 12},
        {QStringLiteral("resty"), ftFloat, 0, QStringLiteral("Ост.у.е."), money, 12},
        {QStringLiteral("pricey"), ftFloat, 0, QStringLiteral("Цена ср.у.е."), money, 12},
        {QStringLiteral("rate"), ftFloat, 0, QStringLiteral("Курс ср."), QStringLiteral("0.0000")},
        {QStringLiteral("qdt"), ftFloat, 0, QStringLiteral("Кол-во+"), QStringLiteral("0.00")},
        {QStringLiteral("qct"), ftFloat, 0, QStringLiteral("Кол-во-"), QStringLiteral("0.00")},
        {QStringLiteral("dw"), ftWord, 0, {}, {}, 0, false},
    };
    TabDyn.Close();
    OpenMemTable(TabDyn, defs);
    TabDyn.FieldByName(QStringLiteral("vr"))->SetAlignment(taCenter);
}

QString DynDayLabel(TDateTime Date) { return FormatDateTime(QStringLiteral("dd.mm.yy ddd"), Date); }

QString DynMonthLabel(int Year, int Month)
{
    if (Month < 1 || Month > 12)
        return QString();
    return FormatSettings().ShortMonthNames[Month - 1] + u'.' + QString::number(Year).mid(2, 2);
}

int DynWeekday(TDateTime Date) { return (DayOfWeek(Date) + 5) % 7 + 1; }

TDynSource ReadDynSource(TDataSet &Source, int Unit)
{
    TDynSource rows;
    TField *in[9];
    for (int i = 0; i < 9; ++i)
        in[i] = Source.FieldByName(QString::fromLatin1(SourceValues[i]));
    TField *date = Unit == duDays ? Source.FieldByName(QStringLiteral("date_real")) : nullptr;
    TField *yr = Unit == duDays ? nullptr : Source.FieldByName(QStringLiteral("yr"));
    TField *mn = Unit == duMonths ? Source.FieldByName(QStringLiteral("mn")) : nullptr;
    for (Source.First(); !Source.Eof(); Source.Next()) {
        TDynSourceRow r;
        if (date && !date->IsNull())
            r.Date = date->AsDateTime();
        if (yr && !yr->IsNull())
            r.Yr = yr->AsInteger();
        if (mn && !mn->IsNull())
            r.Mn = mn->AsInteger();
        for (int i = 0; i < 9; ++i)
            r.Values[size_t(i)] = Value(in[i]);
        rows.push_back(r);
    }
    return rows;
}

namespace {

// A group key of the day, month or year pass: null first, then ascending.
using TFoldKey = std::array<std::optional<int64_t>, 2>;

// The value positions whose query column is avg(term)/10; the others are sum(term).
constexpr bool AverageTenth[9] = {false, false, true, false, false, true, true, false, false};

} // namespace

std::optional<TDynSource> FoldDynSource(TDatabase &Db, const TRstSql &Sql, int Unit, TDateTime D1, TDateTime D2)
{
    const TRstQueryKind kind = Unit == duDays     ? TRstQueryKind::DayTerms
                               : Unit == duMonths ? TRstQueryKind::MnTerms
                                                  : TRstQueryKind::YrTerms;
    const int keys = Unit == duMonths ? 2 : 1;
    TQuery q;
    q.SetDatabase(&Db);
    ApplyRstConditions(q, kind, Sql, D1, D2);
    std::map<TFoldKey, std::array<TEngineSum, 9>> groups;
    const auto keyOf = [keys](const TSqliteStatement &St, TFoldKey &Key) {
        for (int k = 0; k < keys; ++k)
            if (!WholeKey(St, k, Key[size_t(k)]))
                return false;
        return true;
    };
    if (!FoldTerms(q, keys, keyOf, groups))
        return std::nullopt;
    TDynSource rows;
    rows.reserve(groups.size());
    for (const auto &[key, g] : groups) {
        TDynSourceRow r;
        if (Unit == duDays) {
            if (key[0])
                r.Date = TDateTime(*key[0]);
        } else {
            if (key[0])
                r.Yr = int(*key[0]);
            if (Unit == duMonths && key[1])
                r.Mn = int(*key[1]);
        }
        for (int i = 0; i < 9; ++i) {
            const TEngineSum &f = g[size_t(i)];
            if (AverageTenth[i]) {
                if (const std::optional<double> avg = f.Average())
                    r.Values[size_t(i)] = *avg / 10;
            } else if (f.Overflow) {
                return std::nullopt; // the engine's sum fails: the query reports it
            } else {
                r.Values[size_t(i)] = f.Sum();
            }
        }
        rows.push_back(r);
    }
    return rows;
}

bool GroupsWithoutSort(TQuery &Query)
{
    TQuery plan;
    plan.SetDatabase(Query.Database());
    plan.SQL() = QStringList{QStringLiteral("explain query plan")} + Query.SQL();
    bool sorts = false, read = false;
    try {
        for (int i = 0; i < Query.ParamCount(); ++i)
            plan.ParamByName(Query.Params()[i]->Name())->SetValue(Query.Params()[i]->Value());
        plan.ForEachRow([&](const TSqliteStatement &St) {
            read = true;
            sorts = sorts || St.ColumnText(3).contains(QStringLiteral("TEMP B-TREE"));
            return true;
        });
    } catch (const Exception &) {
        // The plan is only the choice of road: the fold gives the same rows.
        return false;
    }
    return read && !sorts;
}

void FillDynamicRows(const TDynSource &Source, int Unit, const TDynOpening &Opening, TDataSet &TabDyn)
{
    int64_t R = Opening.Amount, RY = Opening.Common;
    const TDynFields out(TabDyn);
    for (const TDynSourceRow &row : Source) {
        TabDyn.Append();
        if (Unit == duDays && row.Date) {
            const TDateTime d = *row.Date;
            out.vr->SetAsString(DynDayLabel(d));
            const int w = DayOfWeek(d);
            if (w == 1 || w == 7)
                out.dw->SetAsInteger(w);
        } else if (Unit != duDays && row.Yr) {
            if (Unit == duMonths)
                out.vr->SetAsString(row.Mn ? DynMonthLabel(*row.Yr, *row.Mn) : QString());
            else
                out.vr->SetAsString(QString::number(*row.Yr));
        }
        const auto &v = row.Values;
        PutValues(out, {v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8]}, R, RY);
        PostOrDrop(TabDyn, out);
    }
    TabDyn.First();
}

void FillDynamicRows(TDataSet &Source, int Unit, const TDynOpening &Opening, TDataSet &TabDyn)
{
    FillDynamicRows(ReadDynSource(Source, Unit), Unit, Opening, TabDyn);
}

namespace {

int64_t Units(const std::optional<double> &V) { return V ? MoneyToUnits(*V) : 0; }

void AddAverage(int64_t &Sum, int &Count, const std::optional<double> &V)
{
    const int64_t v = Units(V);
    if (v != 0) {
        Sum += v;
        ++Count;
    }
}

} // namespace

void FillWeekRows(const TDynSource &Days, const TDynOpening &Opening, TDataSet &TabDyn)
{
    int64_t R = Opening.Amount, RY = Opening.Common;
    const TDynFields out(TabDyn);
    TDateTime start = 0; // the current week's first day with operations
    int startDay = 1;    // its weekday, Monday = 1
    TWeekSums w;
    const auto emitWeek = [&] {
        if (w.Empty())
            return;
        TabDyn.Append();
        out.vr->SetAsString(DynDayLabel(start));
        const TDynValues v{NonZero(w.dt),  NonZero(w.ct),
                           Average(w.price, w.nPrice), NonZero(w.dty),
                           NonZero(w.cty), Average(w.pricey, w.nPricey),
                           Average(w.rate, w.nRate),   NonZero(w.qdt),
                           NonZero(w.qct)};
        PutValues(out, v, R, RY);
        PostOrDrop(TabDyn, out);
    };
    for (const TDynSourceRow &row : Days) {
        if (!row.Date)
            continue;
        const TDateTime d = *row.Date;
        const int day = DynWeekday(d);
        if (day == 1 || d - start >= 7 || day < startDay) {
            emitWeek();
            w = TWeekSums{};
            start = d;
            startDay = day;
        }
        const auto &in = row.Values;
        w.dt += Units(in[0]);
        w.ct += Units(in[1]);
        AddAverage(w.price, w.nPrice, in[2]);
        w.dty += Units(in[3]);
        w.cty += Units(in[4]);
        AddAverage(w.pricey, w.nPricey, in[5]);
        AddAverage(w.rate, w.nRate, in[6]);
        w.qdt += Units(in[7]);
        w.qct += Units(in[8]);
    }
    emitWeek();
    TabDyn.First();
}

void FillWeekRows(TDataSet &Qday, const TDynOpening &Opening, TDataSet &TabDyn)
{
    FillWeekRows(ReadDynSource(Qday, duDays), Opening, TabDyn);
}

} // namespace zorbel
