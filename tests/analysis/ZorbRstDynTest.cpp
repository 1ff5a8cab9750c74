// The results window's dynamics: the rows by days, weeks, months and years
// against sums computed here from the generated ledger (a leap year and a
// year end), the running balance from the opening balance, the week rule on
// hand-made days, the charts' points, the empty period, the joke unit, the
// popup, the stored choices and the table printout through its preview.
#include "PreviewWatch.h"
#include "RstFixture.h"

#include "analysis/ZorbAnalysisTables.h"
#include "analysis/ZorbRstDynCalc.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/FormatSettings.h"

#include <QChart>
#include <QLineSeries>
#include <QTemporaryDir>

#include <map>

namespace zorbel::test {
namespace {

using Opt = std::optional<double>;

// One row of TabDyn as read back.
struct TDynRead {
    QString Vr;
    std::map<QString, Opt> V;
    int Dw = 0;
};

std::vector<TDynRead> ReadDyn(TDataSet &T)
{
    std::vector<TDynRead> rows;
    for (T.First(); !T.Eof(); T.Next()) {
        TDynRead r;
        r.Vr = T.FieldByName(U("vr"))->AsString();
        for (const char *f : {"dt", "ct", "bal", "rest", "price", "dty", "cty", "baly", "resty", "pricey", "rate",
                              "qdt", "qct"}) {
            TField *x = T.FieldByName(U(f));
            r.V[U(f)] = x->IsNull() ? Opt() : Opt(x->AsFloat());
        }
        r.Dw = T.FieldByName(U("dw"))->AsInteger();
        rows.push_back(r);
    }
    return rows;
}

// What a period unit should show, summed here from the generated rows in
// 1/10000 (money and quantities) and as plain doubles (common unit, averages).
struct TExpect {
    int64_t Dt = 0, Ct = 0, Qdt = 0, Qct = 0;
    bool AnyDt = false, AnyCt = false;
    double Dty = 0, Cty = 0;
    double PriceSum = 0;
    int PriceCount = 0;
    double RateSum = 0;
    int Count = 0;
    TDateTime First = 0;
};

// The opening balances of every account before From: the accounts' starting
// sums and every operation before the period.
std::pair<double, double> Opening(const std::vector<TRstRow> &Rows, TDateTime From)
{
    double amount = 1000 + 250.5 + 100, common = 1000 + 250.5 + 100.0 / 90;
    for (const TRstRow &r : Rows)
        if (r.Date < From) {
            amount += r.Dt.value_or(0) - r.Ct.value_or(0);
            common += r.Dt.value_or(0) / r.Rate - r.Ct.value_or(0) / r.Rate;
        }
    return {amount, common};
}

// Rows of [From, To] grouped by Key (ordered as the unit's rows come).
template <class K>
std::map<K, TExpect> Group(const std::vector<TRstRow> &Rows, TDateTime From, TDateTime To,
                           const std::function<K(TDateTime)> &Key)
{
    std::map<K, TExpect> g;
    for (const TRstRow &r : Rows) {
        if (r.Date < From || r.Date > To)
            continue;
        TExpect &e = g[Key(r.Date)];
        if (e.Count == 0 || r.Date < e.First)
            e.First = r.Date;
        ++e.Count;
        e.Dt += r.Dt ? MoneyToUnits(*r.Dt) : 0;
        e.Ct += r.Ct ? MoneyToUnits(*r.Ct) : 0;
        e.AnyDt |= bool(r.Dt);
        e.AnyCt |= bool(r.Ct);
        e.Qdt += r.Qdt ? MoneyToUnits(*r.Qdt) : 0;
        e.Qct += r.Qct ? MoneyToUnits(*r.Qct) : 0;
        e.Dty += r.Dt.value_or(0) / r.Rate;
        e.Cty += r.Ct.value_or(0) / r.Rate;
        if (r.Price) {
            e.PriceSum += *r.Price;
            ++e.PriceCount;
        }
        e.RateSum += r.Rate;
    }
    return g;
}

// Checks money, quantities and the running balances of read rows against
// the expected groups, in order.
template <class K, class L>
void CheckRows(const std::vector<TDynRead> &Got, const std::map<K, TExpect> &Want,
               const std::pair<double, double> &Open, const L &Label)
{
    ASSERT_EQ(Got.size(), Want.size());
    int64_t rest = MoneyToUnits(Open.first);
    double resty = Open.second;
    size_t i = 0;
    for (const auto &[key, e] : Want) {
        const TDynRead &r = Got[i++];
        EXPECT_EQ(r.Vr, Label(key, e)) << i;
        EXPECT_NEAR(r.V.at(U("dt")).value_or(0), UnitsToMoney(e.Dt), 1e-9) << r.Vr.toStdString();
        EXPECT_NEAR(r.V.at(U("ct")).value_or(0), UnitsToMoney(e.Ct), 1e-9) << r.Vr.toStdString();
        EXPECT_NEAR(r.V.at(U("qdt")).value_or(0), UnitsToMoney(e.Qdt), 1e-9) << r.Vr.toStdString();
        EXPECT_NEAR(r.V.at(U("qct")).value_or(0), UnitsToMoney(e.Qct), 1e-9) << r.Vr.toStdString();
        EXPECT_NEAR(r.V.at(U("bal")).value_or(0), UnitsToMoney(e.Dt - e.Ct), 1e-9) << r.Vr.toStdString();
        rest += e.Dt - e.Ct;
        ASSERT_TRUE(r.V.at(U("rest"))) << r.Vr.toStdString();
        EXPECT_NEAR(*r.V.at(U("rest")), UnitsToMoney(rest), 1e-9) << r.Vr.toStdString();
        EXPECT_NEAR(r.V.at(U("dty")).value_or(0), e.Dty, 1e-3) << r.Vr.toStdString();
        EXPECT_NEAR(r.V.at(U("cty")).value_or(0), e.Cty, 1e-3) << r.Vr.toStdString();
        resty += e.Dty - e.Cty;
        EXPECT_NEAR(r.V.at(U("resty")).value_or(0), resty, 0.01) << r.Vr.toStdString();
        // To the cent, as every balance (the export wrote four decimals).
        EXPECT_EQ(MoneyToUnits(r.V.at(U("resty")).value_or(0)) % 100, 0) << r.Vr.toStdString();
    }
}

class RstDynTest : public RstFixture {
protected:
    // The window on tab 2 for [From, To], unit and view chosen.
    std::unique_ptr<TFormRst> Dynamics(TDateTime From, TDateTime To, int Unit, int View = 2)
    {
        auto f = OpenWindow();
        f->Period.FromDate = From;
        f->Period.ToDate = To;
        f->CbDay->SetItemIndex(Unit);
        f->Cbars->SetItemIndex(View);
        f->TcGrp->SetTabIndex(2);
        f->TcGrpChange(f.get());
        return f;
    }
    const TDateTime From = EncodeDate(2024, 2, 1), To = EncodeDate(2025, 2, 28);
};

TEST_F(RstDynTest, DaysAcrossALeapYearAndAYearEndMatchTheRows)
{
    Populate(600);
    auto f = Dynamics(From, To, duDays);
    ASSERT_TRUE(f->TabDyn.Active());
    EXPECT_EQ(f->TabDyn.FieldByName(U("vr"))->DisplayLabel(), U("Дни"));
    const auto want = Group<TDateTime>(Rows, From, To, [](TDateTime d) { return d; });
    const auto got = ReadDyn(f->TabDyn);
    CheckRows<TDateTime>(got, want, Opening(Rows, From),
                         [](const TDateTime &d, const TExpect &) { return FormatDateTime(U("dd.mm.yy ddd"), d); });
    // Averages of the day, weekend marks, the leap day and the new year.
    size_t i = 0;
    for (const auto &[d, e] : want) {
        const TDynRead &r = got[i++];
        if (e.PriceCount)
            EXPECT_NEAR(r.V.at(U("price")).value_or(0), e.PriceSum / e.PriceCount, 1e-9) << r.Vr.toStdString();
        else
            EXPECT_FALSE(r.V.at(U("price"))) << r.Vr.toStdString();
        EXPECT_NEAR(r.V.at(U("rate")).value_or(0), e.RateSum / e.Count, 1e-9) << r.Vr.toStdString();
        const int w = DayOfWeek(d);
        EXPECT_EQ(r.Dw, w == 1 || w == 7 ? w : 0) << r.Vr.toStdString();
    }
    const auto labelled = [&](const char *Vr) {
        return std::any_of(got.begin(), got.end(), [&](const TDynRead &r) { return r.Vr == U(Vr); });
    };
    EXPECT_TRUE(labelled("29.02.24 Чт"));
    EXPECT_TRUE(labelled("31.12.24 Вт"));
    EXPECT_TRUE(labelled("01.01.25 Ср"));
}

TEST_F(RstDynTest, WeeksMonthsAndYearsMatchTheRows)
{
    Populate(600);
    const auto open = Opening(Rows, From);
    // A week: the days of one Monday-to-Sunday week, labelled by its first day with operations.
    {
        auto f = Dynamics(From, To, duWeeks);
        EXPECT_EQ(f->TabDyn.FieldByName(U("vr"))->DisplayLabel(), U("Недели"));
        const auto want = Group<TDateTime>(Rows, From, To, [](TDateTime d) { return d - (DynWeekday(d) - 1); });
        CheckRows<TDateTime>(ReadDyn(f->TabDyn), want, open, [](const TDateTime &, const TExpect &e) {
            return FormatDateTime(U("dd.mm.yy ddd"), e.First);
        });
        // The week of the new year starts on Monday 30 December 2024.
        EXPECT_TRUE(f->TabDyn.Locate(U("vr"), Variant(U("30.12.24 Пн")), {}));
        EXPECT_EQ(f->DataDyn.DataSet(), &f->TabDyn);
    }
    {
        auto f = Dynamics(From, To, duMonths);
        const auto want = Group<int>(Rows, From, To, [](TDateTime d) {
            int y, m, dd;
            DecodeDate(d, y, m, dd);
            return y * 100 + m;
        });
        CheckRows<int>(ReadDyn(f->TabDyn), want, open, [](const int &k, const TExpect &) {
            return FormatSettings().ShortMonthNames[k % 100 - 1] + U(".") + QString::number(k / 100 % 100);
        });
        EXPECT_TRUE(f->TabDyn.Locate(U("vr"), Variant(U("фев.24")), {}));
    }
    {
        auto f = Dynamics(From, To, duYears);
        const auto want = Group<int>(Rows, From, To, [](TDateTime d) {
            int y, m, dd;
            DecodeDate(d, y, m, dd);
            return y;
        });
        CheckRows<int>(ReadDyn(f->TabDyn), want, open,
                       [](const int &y, const TExpect &) { return QString::number(y); });
        EXPECT_EQ(f->TabDyn.RecordCount(), 2);
    }
}

TEST_F(RstDynTest, ConditionsNarrowTheRowsAndTheOpeningBalance)
{
    Populate(600);
    auto f = Dynamics(From, To, duYears);
    // Realised operations of the first account only.
    f->Updating = true;
    f->CbKind->SetItemIndex(0);
    f->ChAcc->SetTag(1);
    f->ChAcc->SetChecked(true);
    f->Updating = false;
    f->RefreshResults();
    std::vector<TRstRow> mine;
    for (const TRstRow &r : Rows)
        if (r.Account == 1 && r.Kind == U("1"))
            mine.push_back(r);
    double amount = 1000, common = 1000;
    for (const TRstRow &r : mine)
        if (r.Date < From) {
            amount += r.Dt.value_or(0) - r.Ct.value_or(0);
            common += (r.Dt.value_or(0) - r.Ct.value_or(0)) / r.Rate;
        }
    const auto want = Group<int>(mine, From, To, [](TDateTime d) {
        int y, m, dd;
        DecodeDate(d, y, m, dd);
        return y;
    });
    CheckRows<int>(ReadDyn(f->TabDyn), want, {amount, common},
                   [](const int &y, const TExpect &) { return QString::number(y); });
}

TEST_F(RstDynTest, EmptyPeriodGivesAnEmptyTableAndEmptyCharts)
{
    Populate(60);
    for (int view : {0, 1, 2}) {
        auto f = Dynamics(EncodeDate(2030, 1, 1), EncodeDate(2030, 12, 31), duDays, view);
        EXPECT_TRUE(f->TabDyn.Active());
        EXPECT_EQ(f->TabDyn.RecordCount(), 0);
        EXPECT_TRUE(f->DBCh->Series(0).Points().empty());
        EXPECT_TRUE(f->DBChD->Series(0).Points().empty());
        f->PmDynPopup(nullptr);
        EXPECT_FALSE(f->pmSaveDyn->Enabled());
        EXPECT_FALSE(f->pmPrintDyn->Enabled());
    }
}

TEST_F(RstDynTest, ChartsHoldTheChosenValueOfEveryRow)
{
    Populate(300);
    auto f = Dynamics(From, To, duMonths, 0);
    for (int kind : {3, 8, 12}) {
        f->CbDyn->SetItemIndex(kind);
        f->CbDynClick(f->CbDyn);
        const QString field = U(DynKinds[size_t(kind)].Field);
        EXPECT_EQ(f->DBCh->Series(0).ValueField(), field);
        const auto rows = ReadDyn(f->TabDyn);
        for (TDBChart *c : {f->DBCh, f->DBChD}) {
            const auto &points = c->Series(0).Points();
            ASSERT_EQ(points.size(), rows.size()) << kind;
            for (size_t i = 0; i < rows.size(); ++i) {
                EXPECT_EQ(points[i].Label, rows[i].Vr);
                EXPECT_EQ(points[i].Value.has_value(), rows[i].V.at(field).has_value()) << field.toStdString();
                if (points[i].Value) {
                    EXPECT_DOUBLE_EQ(*points[i].Value, *rows[i].V.at(field));
                }
            }
        }
    }
    // The drawn line: one green series of width 2 through every month.
    f->DBCh->Rebuild();
    auto *line = qobject_cast<QLineSeries *>(f->DBCh->Chart()->series().value(0));
    ASSERT_TRUE(line);
    EXPECT_EQ(line->count(), f->TabDyn.RecordCount());
    EXPECT_EQ(line->pen().width(), 2);
    // With ZORBEL_SCREENSHOTS set to a folder the three views are saved there.
    if (const QString dir = qEnvironmentVariable("ZORBEL_SCREENSHOTS"); !dir.isEmpty()) {
        f->SetBounds(0, 0, 1000, 640);
        f->show();
        f->CbDyn->SetItemIndex(3);
        f->CbDynClick(f->CbDyn);
        for (int view : {0, 1, 2}) {
            f->Cbars->SetItemIndex(view);
            f->CbarsClick(f->Cbars);
            for (int i = 0; i < 5; ++i)
                QCoreApplication::processEvents();
            f->grab().save(QDir(dir).filePath(QStringLiteral("dynamics-%1.png").arg(view)));
        }
        f->CbDay->SetItemIndex(duDays);
        f->CbDynClick(f->CbDay);
        QCoreApplication::processEvents();
        f->grab().save(QDir(dir).filePath(QStringLiteral("dynamics-days.png")));
        f->hide();
    }
    // The kind box is hidden in the table view; a double click toggles the marks of both.
    f->Cbars->SetItemIndex(2);
    f->CbarsClick(f->Cbars);
    EXPECT_FALSE(f->CbDyn->Visible());
    EXPECT_TRUE(f->DBGDyn->Visible());
    EXPECT_EQ(f->TabDyn.RecordCount(), int(ReadDyn(f->TabDyn).size())); // nothing hidden
    f->DBChDDblClick();
    EXPECT_TRUE(f->DBCh->Series(0).MarksVisible());
    EXPECT_TRUE(f->DBChD->Series(0).MarksVisible());
    f->DBChDDblClick();
    EXPECT_FALSE(f->DBChD->Series(0).MarksVisible());
}

TEST_F(RstDynTest, TableColumnsHoldAmountsInTheMillionsWhole)
{
    // A running balance in the millions, right-aligned in its cell, must not
    // lose its leading digit (reading as a thousand times less).
    Populate(40);
    auto f = Dynamics(From, To, duDays, 0);
    f->Cbars->SetItemIndex(2);
    f->CbarsClick(f->Cbars);
    const QFontMetrics cells(f->DBGDyn->View()->font());
    const int needed = cells.horizontalAdvance(FormatFloat(U("#,##0.00"), -1511033.06)) + 4;
    for (int i = 0; i < f->DBGDyn->Columns().Count(); ++i) {
        TColumn *c = f->DBGDyn->Columns()[i];
        const TField *field = c->Field();
        ASSERT_NE(field, nullptr);
        const auto *number = dynamic_cast<const TFloatField *>(field);
        if (number && number->DisplayFormat() == U("#,##0.00")) {
            EXPECT_GE(c->Width(), needed) << c->FieldName().toStdString();
        }
    }
    // The day labels ("05.01.24 Пт") fit their column too.
    EXPECT_GE(f->DBGDyn->Columns()[0]->Width(), cells.horizontalAdvance(DynDayLabel(From)) + 4);
}

TEST_F(RstDynTest, CenturiesAreAJokeAndChoicesAreKept)
{
    Populate(120);
    auto f = Dynamics(From, To, duDays, 1);
    TModalScript joke;
    joke.Press(QStringLiteral("OK"));
    f->CbDay->SetItemIndex(duCenturies);
    f->CbDynClick(f->CbDay);
    ASSERT_EQ(joke.Seen().size(), 1u);
    EXPECT_EQ(joke.Seen()[0].Text, U("Шутка!"));
    EXPECT_EQ(f->CbDay->ItemIndex(), int(duYears));
    EXPECT_EQ(f->TabDyn.FieldByName(U("vr"))->DisplayLabel(), U("Годы"));
    EXPECT_EQ(f->TabDyn.RecordCount(), 2);

    f->PmDynPopup(nullptr);
    EXPECT_EQ(f->pmSaveDyn->Caption(), U("Со&хранить 2 строки в файл... "));
    EXPECT_TRUE(f->pmPrintDyn->Enabled());

    // Closing keeps the three choices and empties the table; a new window takes them.
    f->CbDyn->SetItemIndex(7);
    TCloseAction a = TCloseAction::caHide;
    f->FormClose(f.get(), a);
    EXPECT_FALSE(f->TabDyn.Active());
    EXPECT_EQ(main->Res_Bars, 1);
    EXPECT_EQ(main->Res_Dyn, 7);
    EXPECT_EQ(main->Res_Day, int(duYears));
    auto g = OpenWindow();
    EXPECT_EQ(g->Cbars->ItemIndex(), 1);
    EXPECT_EQ(g->CbDyn->ItemIndex(), 7);
    EXPECT_EQ(g->CbDay->ItemIndex(), int(duYears));
}

TEST_F(RstDynTest, TablePrintoutListsTheRowsAndChartPrintGoesToThePrinter)
{
    Populate(300);
    RegisterReportWindows();
    auto f = Dynamics(From, To, duMonths, 2);
    PreviewWatch watch(QStringLiteral("dynamics-printout"));
    watch.Arm();
    f->ButPrnCh->Click(); // the table view prints the table
    EXPECT_GE(watch.Pages, 1);
    EXPECT_TRUE(watch.Texts.contains(U("Месяцы")));
    EXPECT_TRUE(watch.Texts.contains(U("фев.24")));
    EXPECT_TRUE(watch.Texts.contains(U("янв.25")));
    RepPreviewInterface().reset();

    // The line chart on a page of its own, titled with kind and unit.
    QTemporaryDir dir;
    const QString pdf = dir.filePath(U("chart.pdf"));
    f->Cbars->SetItemIndex(0);
    f->CbarsClick(f->Cbars);
    int asked = 0;
    f->PrinterSetup = [&] {
        ++asked;
        Printer().SetOutputFile(pdf);
        return true;
    };
    f->ButPrnCh->Click();
    Printer().SetOutputFile(QString());
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(QFileInfo(pdf).size() > 0);
    EXPECT_TRUE(f->DBCh->Title().isEmpty());
    // Refused set-up: nothing printed.
    f->PrinterSetup = [] { return false; };
    QFile::remove(pdf);
    f->ButPrnCh->Click();
    EXPECT_FALSE(QFile::exists(pdf));
}

// ---- the week rule and the sums on hand-made days ----

class DynRowsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::vector<TMemFieldDef> defs{{U("date_real"), ftDate}};
        for (const char *f : {"dt", "ct", "price", "dty", "cty", "pricey", "rate", "qdt", "qct"})
            defs.push_back({U(f), ftFloat});
        OpenMemTable(Qday, defs);
        OpenDynTable(TabDyn, U("Недели"));
    }
    void Day(TDateTime D, Opt Dt, Opt Ct, Opt Price = {}, double Rate = 1, Opt Qdt = {})
    {
        Qday.Append();
        Qday.FieldByName(U("date_real"))->SetAsDateTime(D);
        const auto put = [this](const char *f, Opt v) {
            if (v)
                Qday.FieldByName(U(f))->SetAsFloat(*v);
        };
        put("dt", Dt);
        put("ct", Ct);
        put("dty", Dt ? Opt(*Dt / Rate) : Opt());
        put("cty", Ct ? Opt(*Ct / Rate) : Opt());
        put("price", Price);
        put("rate", Rate);
        put("qdt", Qdt);
        Qday.Post();
    }
    QStringList Labels()
    {
        QStringList l;
        for (const TDynRead &r : ReadDyn(TabDyn))
            l << r.Vr;
        return l;
    }
    TVemtMemTable Qday, TabDyn;
};

TEST_F(DynRowsTest, WeeksBreakOnMondayAfterSevenDaysAndOnAnEarlierWeekday)
{
    // Wednesday 5th, Friday 7th, Monday 10th and Sunday 16th of March 2025;
    // then Sunday 23rd and Saturday 29th with nothing between.
    Day(EncodeDate(2025, 3, 5), 10, {});
    Day(EncodeDate(2025, 3, 7), {}, 4);
    Day(EncodeDate(2025, 3, 10), 1, {});
    Day(EncodeDate(2025, 3, 16), {}, 2);
    Day(EncodeDate(2025, 3, 23), {}, 3);
    Day(EncodeDate(2025, 3, 29), 0.5, {});
    FillWeekRows(Qday, {MoneyToUnits(100), MoneyToUnits(50)}, TabDyn);
    EXPECT_EQ(Labels(), (QStringList{U("05.03.25 Ср"), U("10.03.25 Пн"), U("23.03.25 Вс"), U("29.03.25 Сб")}));
    const auto rows = ReadDyn(TabDyn);
    EXPECT_EQ(rows[0].V.at(U("bal")), Opt(6));
    EXPECT_EQ(rows[0].V.at(U("rest")), Opt(106));
    EXPECT_EQ(rows[1].V.at(U("dt")), Opt(1));
    EXPECT_EQ(rows[1].V.at(U("ct")), Opt(2));
    EXPECT_EQ(rows[1].V.at(U("rest")), Opt(105));
    EXPECT_EQ(rows[2].V.at(U("rest")), Opt(102));
    EXPECT_FALSE(rows[2].V.at(U("dt"))); // a zero sum is left empty
    EXPECT_EQ(rows[3].V.at(U("rest")), Opt(102.5));
    EXPECT_EQ(rows[3].V.at(U("resty")), Opt(52.5));
    EXPECT_EQ(rows[0].Dw, 0);
}

TEST_F(DynRowsTest, WeeksAcrossTheYearEndAveragesAndEmptyWeeks)
{
    // Monday 30 December 2024 .. Sunday 5 January 2025 is one week.
    Day(EncodeDate(2024, 12, 30), 100, {}, 2, 2);
    Day(EncodeDate(2025, 1, 1), {}, 30, {}, 4);
    Day(EncodeDate(2025, 1, 5), {}, 10, 5, 3);
    // A week of zeros gives no row.
    Day(EncodeDate(2025, 1, 8), 0, 0, 0, 0);
    Day(EncodeDate(2025, 1, 13), {}, {}, {}, 0, 1.25);
    FillWeekRows(Qday, {}, TabDyn);
    EXPECT_EQ(Labels(), (QStringList{U("30.12.24 Пн"), U("13.01.25 Пн")}));
    const auto rows = ReadDyn(TabDyn);
    EXPECT_EQ(rows[0].V.at(U("price")), Opt(3.5)); // the two days with a price
    EXPECT_EQ(rows[0].V.at(U("rate")), Opt(3));
    EXPECT_EQ(rows[0].V.at(U("bal")), Opt(60));
    EXPECT_NEAR(rows[0].V.at(U("baly")).value_or(0), 50 - 7.5 - 10.0 / 3, 1e-4);
    // Quantities alone: no balance.
    EXPECT_EQ(rows[1].V.at(U("qdt")), Opt(1.25));
    EXPECT_FALSE(rows[1].V.at(U("bal")));
    EXPECT_FALSE(rows[1].V.at(U("rest")));
    EXPECT_FALSE(rows[1].V.at(U("price")));
}

TEST(DynRows, MonthsOutsideTheYearAreDroppedButCountInTheBalance)
{
    TVemtMemTable q, dyn;
    std::vector<TMemFieldDef> defs{{U("yr"), ftSmallint}, {U("mn"), ftSmallint}};
    for (const char *f : {"dt", "ct", "price", "dty", "cty", "pricey", "rate", "qdt", "qct"})
        defs.push_back({U(f), ftFloat});
    OpenMemTable(q, defs);
    const auto add = [&q](int y, int m, Opt dt, Opt ct) {
        q.Append();
        q.FieldByName(U("yr"))->SetAsInteger(y);
        q.FieldByName(U("mn"))->SetAsInteger(m);
        if (dt)
            q.FieldByName(U("dt"))->SetAsFloat(*dt);
        if (ct)
            q.FieldByName(U("ct"))->SetAsFloat(*ct);
        q.Post();
    };
    add(2004, 1, 10.5, {});
    add(2004, 13, 1, {});
    add(2004, 12, {}, {});
    add(2005, 2, {}, 0.25);
    OpenDynTable(dyn, U("Месяцы"));
    FillDynamicRows(q, duMonths, {MoneyToUnits(-1), 0}, dyn);
    const auto rows = ReadDyn(dyn);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].Vr, U("янв.04"));
    EXPECT_EQ(rows[0].V.at(U("rest")), Opt(9.5));
    EXPECT_EQ(rows[1].Vr, U("дек.04"));
    EXPECT_FALSE(rows[1].V.at(U("bal"))); // nothing in or out: no balance
    EXPECT_EQ(rows[2].Vr, U("фев.05"));
    EXPECT_EQ(rows[2].V.at(U("rest")), Opt(10.25)); // the thirteenth month's 1 included
    EXPECT_EQ(DynFilterText(3), U("rest<>null and rest<>0"));
}

} // namespace
} // namespace zorbel::test
