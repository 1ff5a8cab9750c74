// Monthly balances and their yearly tables (see ZorbRestCalc.h).
//
// The months come from the ledger's day sums when they can answer (a few
// lookups per account and month), else from one query of the daily sums of
// income and expense over the accounts in scope (answered from the
// account-date index without reading the rows), added up per month in
// units; the running balance B
// starts at the opening balance and moves by each month's income minus
// expense.
// The yearly table is built from the same months in memory: one row per
// year, the months of that year in their columns, then the sums and the
// average of the non-zero month-end balances.
#include "analysis/ZorbRestCalc.h"

#include "platform/dataset/Fields.h"
#include "platform/sqltable/Sqlite.h"
#include "platform/rtl/FormatSettings.h"
#include "platform/rtl/Money.h"

#include <array>
#include <cmath>
#include <map>
#include <optional>
#include <vector>

namespace zorbel {

namespace {

const QString kMoney = QStringLiteral("#,###,###,##0.00");

struct TMonthRow {
    int Year, Month;
    int64_t Dt, Ct, Rest; // units
};

// A year of the yearly table; a month without operations stays empty.
struct TYearRow {
    std::array<std::optional<TMonthRow>, 12> Months;
};

void SetUnits(TField *field, int64_t units) { field->SetAsFloat(UnitsToMoney(units)); }

} // namespace

// Sums per day, read from the (account, date, kind, income, expense) index
// alone, then added up per month of the date.
TRestMonths MonthsFromQuery(TDatabase &Db, const TAccountScope &Scope)
{
    TQuery q;
    q.SetDatabase(&Db);
    q.SQL() = {QStringLiteral("select h.date_real,sum(dt) sdt,sum(ct) sct "),
               AccountsThenOperations(), QStringLiteral("where a.id_account=h.id_account"),
               QStringLiteral("and kind='1'"), AccountScopeLine(Scope), QStringLiteral("group by h.date_real")};
    BindAccountScope(q, Scope);
    q.Open();
    TRestMonths sums;
    TField *date = q.FieldByName(QStringLiteral("date_real"));
    TField *sdt = q.FieldByName(QStringLiteral("sdt")), *sct = q.FieldByName(QStringLiteral("sct"));
    for (; !q.Eof(); q.Next()) {
        if (date->IsNull())
            continue; // an operation without a date has no month
        int yy, mm, dd;
        DecodeDate(date->AsDateTime(), yy, mm, dd);
        auto &month = sums[{yy, mm}];
        month.first += FieldUnits(sdt);
        month.second += FieldUnits(sct);
    }
    q.Close();
    return sums;
}

// A few lookups of the day sums per account and month instead of a walk of
// every operation.
std::optional<TRestMonths> MonthsFromSums(TDatabase &Db, const TAccountScope &Scope, THistSums &Sums)
{
    // Sums taken back and not yet checked against the rows are left to the
    // status bar, which shows them again once checked; this window does not.
    if (Scope.NoTransfers || !Sums.Checked())
        return std::nullopt;
    // The accounts the query's join meets, each as often as tb_account lists it.
    TQuery qa;
    qa.SetDatabase(&Db);
    qa.SQL() = {QStringLiteral("select a.id_account from tb_account a"),
                Scope.SameCurrency ? QStringLiteral("where a.currency=:cur") : QStringLiteral("where a.id_account=:acc")};
    BindAccountScope(qa, Scope);
    std::map<int, int> accounts; // id -> times listed
    bool whole = true;
    qa.ForEachRow([&](const TSqliteStatement &st) {
        const int64_t id = st.ColumnInt(0);
        whole = st.ColumnType(0) == TSqliteStatement::vtInteger && id >= INT16_MIN && id <= INT16_MAX;
        if (whole)
            ++accounts[int(id)];
        return whole;
    });
    if (!whole)
        return std::nullopt;
    // Dates the calendar holds; a span beyond them is left to the query.
    const TDateTime firstDay = EncodeDate(1, 1, 1), lastDay = EncodeDate(9999, 12, 31);
    TRestMonths sums;
    for (const auto &[id, times] : accounts) {
        // The first and the last date, each one step down the (account,
        // date) index; asked together the engine would read the whole range.
        std::optional<double> lo, hi;
        bool numbers = true;
        for (const char *edge : {"min", "max"}) {
            TQuery qr;
            qr.SetDatabase(&Db);
            qr.SQL() = {QStringLiteral("select %1(date_real) from tb_hist where id_account=:acc").arg(QLatin1String(edge))};
            qr.ParamByName(QStringLiteral("acc"))->SetAsSmallInt(id);
            qr.ForEachRow([&](const TSqliteStatement &st) {
                const int type = st.ColumnType(0);
                if (type == TSqliteStatement::vtNull)
                    return false;
                numbers = numbers && (type == TSqliteStatement::vtInteger || type == TSqliteStatement::vtFloat);
                (edge[1] == 'i' ? lo : hi) = st.ColumnDouble(0);
                return false;
            });
        }
        if (!numbers)
            return std::nullopt;
        if (!lo || !hi) {
            // No dated row: the account adds nothing, if the sums model it.
            if (!Sums.RealisedRows(id, 0, 0))
                return std::nullopt;
            continue;
        }
        if (*lo < firstDay || *hi > lastDay || *lo != std::trunc(*lo) || *hi != std::trunc(*hi))
            return std::nullopt;
        int y = 0, m = 0, d = 0;
        DecodeDate(*lo, y, m, d);
        for (TDateTime first = EncodeDate(y, m, 1); first <= *hi; first = IncMonth(first, 1)) {
            const TDateTime last = IncMonth(first, 1) - 1;
            const std::optional<int64_t> rows = Sums.RealisedRows(id, first, last);
            if (!rows)
                return std::nullopt;
            if (*rows == 0)
                continue;
            int64_t in = 0, out = 0;
            if (!Sums.Sums(id, TSumClass::Realised, first, last, in, out))
                return std::nullopt;
            int yy = 0, mm = 0, dd = 0;
            DecodeDate(first, yy, mm, dd);
            auto &month = sums[{yy, mm}];
            month.first += in * times;
            month.second += out * times;
        }
    }
    return sums;
}

QString MonthLabel(int Year, int Month)
{
    return FormatSettings().ShortMonthNames[Month - 1] + u'.' + QString::number(Year).mid(2, 2);
}

void OpenRestTables(TVemtMemTable &TbRest, TVemtMemTable &TbY)
{
    const TMemFieldDef rest[] = {
        {QStringLiteral("y"), ftSmallint, 0, QStringLiteral("Год")},
        {QStringLiteral("m"), ftSmallint, 0, QStringLiteral("Месяц")},
        {QStringLiteral("Per"), ftString, 8, {}, {}, 0, false},
        {QStringLiteral("Dt"), ftFloat, 0, QStringLiteral("Приход"), kMoney},
        {QStringLiteral("Ct"), ftFloat, 0, QStringLiteral("Расход"), kMoney},
        {QStringLiteral("Bn"), ftFloat, 0, QStringLiteral("Баланс"), kMoney},
        {QStringLiteral("Rest"), ftFloat, 0, QStringLiteral("Остаток"), kMoney},
    };
    OpenMemTable(TbRest, rest);

    std::vector<TMemFieldDef> year{{QStringLiteral("Yr"), ftSmallint, 0, QStringLiteral("Год")}};
    const auto &shortNames = FormatSettings().ShortMonthNames;
    for (int i = 1; i <= 12; ++i) {
        const QString n = QString::number(i), month = shortNames[i - 1];
        year.push_back({QStringLiteral("Dt") + n, ftFloat, 0, month + QStringLiteral(" Прх"), kMoney});
        year.push_back({QStringLiteral("Ct") + n, ftFloat, 0, month + QStringLiteral(" Рсх"), kMoney});
        year.push_back({QStringLiteral("Bn") + n, ftFloat, 0, month + QStringLiteral(" Бал"), kMoney});
        year.push_back({QStringLiteral("Rs") + n, ftFloat, 0, month + QStringLiteral(" Ост"), kMoney});
    }
    year.push_back({QStringLiteral("SmDt"), ftFloat, 0, QStringLiteral("Сум Прх"), kMoney});
    year.push_back({QStringLiteral("SmCt"), ftFloat, 0, QStringLiteral("Сум Рсх"), kMoney});
    year.push_back({QStringLiteral("SmBn"), ftFloat, 0, QStringLiteral("Сум Прх-Рсх"), kMoney});
    year.push_back({QStringLiteral("SmRs"), ftFloat, 0, QStringLiteral("Сред. Ост."), kMoney});
    OpenMemTable(TbY, year);
}

QStringList ComputeMonthlyBalances(TDatabase &Db, const TAccountScope &Scope, double Beg, TVemtMemTable &TbRest,
                                   TVemtMemTable &TbY, THistSums *Sums)
{
    TbRest.EmptyTable();
    TbY.EmptyTable();

    int64_t b = MoneyToUnits(Beg);
    if (Scope.SameCurrency) {
        TQuery qbeg;
        qbeg.SetDatabase(&Db);
        qbeg.SQL() = {QStringLiteral("select sum(beg) from tb_account"), QStringLiteral("where currency=:currency")};
        qbeg.ParamByName(QStringLiteral("currency"))->SetAsString(Scope.Currency);
        qbeg.Open();
        b = FieldUnits(qbeg.Fields()[0]);
        qbeg.Close();
    }

    const std::optional<TRestMonths> fromSums = Sums ? MonthsFromSums(Db, Scope, *Sums) : std::nullopt;
    const TRestMonths sums = fromSums ? *fromSums : MonthsFromQuery(Db, Scope);
    std::vector<TMonthRow> months;
    for (const auto &[ym, s] : sums) {
        b += s.first - s.second;
        months.push_back({ym.first, ym.second, s.first, s.second, b});
    }

    TField *y = TbRest.FieldByName(QStringLiteral("y")), *m = TbRest.FieldByName(QStringLiteral("m"));
    TField *per = TbRest.FieldByName(QStringLiteral("Per")), *dt = TbRest.FieldByName(QStringLiteral("Dt"));
    TField *ct = TbRest.FieldByName(QStringLiteral("Ct")), *bn = TbRest.FieldByName(QStringLiteral("Bn"));
    TField *rest = TbRest.FieldByName(QStringLiteral("Rest"));
    std::map<int, TYearRow> years;
    for (const TMonthRow &row : months) {
        TbRest.Append();
        y->SetAsInteger(row.Year);
        m->SetAsInteger(row.Month);
        per->SetAsString(MonthLabel(row.Year, row.Month));
        SetUnits(dt, row.Dt);
        SetUnits(ct, row.Ct);
        SetUnits(bn, row.Dt - row.Ct);
        SetUnits(rest, row.Rest);
        TbRest.Post();
        years[row.Year].Months[size_t(row.Month - 1)] = row;
    }

    QStringList yearTexts;
    for (const auto &[year, row] : years) {
        yearTexts.append(QString::number(year));
        TbY.Append();
        TbY.FieldByName(QStringLiteral("Yr"))->SetAsInteger(year);
        int64_t sumDt = 0, sumCt = 0, sumBn = 0, sumRs = 0;
        int restMonths = 0;
        for (int i = 1; i <= 12; ++i) {
            const auto &month = row.Months[size_t(i - 1)];
            if (!month)
                continue;
            const QString n = QString::number(i);
            SetUnits(TbY.FieldByName(QStringLiteral("Dt") + n), month->Dt);
            SetUnits(TbY.FieldByName(QStringLiteral("Ct") + n), month->Ct);
            SetUnits(TbY.FieldByName(QStringLiteral("Bn") + n), month->Dt - month->Ct);
            SetUnits(TbY.FieldByName(QStringLiteral("Rs") + n), month->Rest);
            sumDt += month->Dt;
            sumCt += month->Ct;
            sumBn += month->Dt - month->Ct;
            if (month->Rest != 0) {
                sumRs += month->Rest;
                ++restMonths;
            }
        }
        SetUnits(TbY.FieldByName(QStringLiteral("SmDt")), sumDt);
        SetUnits(TbY.FieldByName(QStringLiteral("SmCt")), sumCt);
        SetUnits(TbY.FieldByName(QStringLiteral("SmBn")), sumBn);
        // The average balance to the cent, as the balances it averages.
        SetUnits(TbY.FieldByName(QStringLiteral("SmRs")),
                 restMonths ? RoundUnitsToCents(static_cast<long double>(sumRs) / restMonths) : 0);
        TbY.Post();
    }
    TbRest.First();
    TbY.First();
    return yearTexts;
}

} // namespace zorbel
