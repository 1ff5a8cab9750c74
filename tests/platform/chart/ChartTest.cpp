// The chart component: points read from a dataset and what the Qt series
// hold afterwards (negative pie slices, per-point bar colours, null gaps).
#include "platform/chart/Chart.h"
#include "platform/canvas/Printers.h"
#include "platform/sqltable/SqlFixture.h"

#include <QBarSet>
#include <QChart>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPieSeries>
#include <QPieSlice>
#include <QStackedBarSeries>

using namespace zorbel;
using namespace zorbel::test;

namespace {

class ChartTest : public SqlFixture {
protected:
    void SetUp() override
    {
        SqlFixture::SetUp();
        // Opening balances less 100: 900, -100, 0, -50 and a null.
        q.SetDatabase(&db);
        q.SQL() << "select account, beg - 100 v from tb_account order by id_account";
        q.Open();
    }
    // A series of the chart over q: labels from account, values from v.
    TChartSeries &Bound(TDBChart &chart, TChartKind kind)
    {
        TChartSeries &s = chart.AddSeries(kind);
        s.SetLabelField("account");
        s.SetValueField("v");
        s.SetDataSource(&q);
        return s;
    }
    template <class T> T *FirstSeries(TDBChart &chart)
    {
        const auto all = chart.Chart()->series();
        return all.isEmpty() ? nullptr : qobject_cast<T *>(all.first());
    }
    TQuery q;
};

TEST_F(ChartTest, PieTakesAbsoluteValuesAndSkipsNullsAndZeros)
{
    TDBChart chart;
    TChartSeries &pie = Bound(chart, TChartKind::Pie);
    chart.RefreshData();

    ASSERT_EQ(pie.Points().size(), 5u);
    EXPECT_FALSE(pie.Points()[4].Value.has_value());
    auto *qt = FirstSeries<QPieSeries>(chart);
    ASSERT_NE(qt, nullptr);
    ASSERT_EQ(qt->count(), 3);
    EXPECT_DOUBLE_EQ(qt->slices()[0]->value(), 900);
    EXPECT_DOUBLE_EQ(qt->slices()[1]->value(), 100); // -100 as its size
    EXPECT_DOUBLE_EQ(qt->slices()[2]->value(), 50);
    EXPECT_EQ(qt->slices()[1]->label(), QString::fromUtf8("Банк Ёлка"));

    // Marks keep the sign; percents are of the absolute total 1050.
    pie.SetMarksVisible(true);
    pie.SetMarksStyle(TMarksStyle::LabelValue);
    EXPECT_EQ(pie.MarkText(1), QString::fromUtf8("Банк Ёлка -100,00"));
    pie.SetMarksStyle(TMarksStyle::Percent);
    EXPECT_EQ(pie.MarkText(0), "86%");
    EXPECT_EQ(pie.MarkText(4), "");
    qt = FirstSeries<QPieSeries>(chart);
    EXPECT_TRUE(qt->slices()[0]->isLabelVisible());
    EXPECT_EQ(qt->slices()[0]->label(), "86%");
}

TEST_F(ChartTest, LegendListsEverySliceWhetherShownBeforeOrAfterTheData)
{
    TDBChart chart;
    chart.resize(400, 300);
    chart.show();
    Bound(chart, TChartKind::Pie);
    chart.RefreshData();
    QCoreApplication::processEvents();
    EXPECT_FALSE(chart.Chart()->legend()->isVisible());
    // Shown after the slices came: one marker per slice, laid out.
    chart.SetLegendVisible(true);
    QCoreApplication::processEvents();
    EXPECT_TRUE(chart.Chart()->legend()->isVisible());
    ASSERT_EQ(chart.Chart()->legend()->markers().size(), 3);
    EXPECT_EQ(chart.Chart()->legend()->markers()[1]->label(), QString::fromUtf8("Банк Ёлка"));
    EXPECT_GT(chart.Chart()->legend()->geometry().width(), 0);
    // Read again with the legend on: it stays on with the new chart.
    chart.RefreshData();
    QCoreApplication::processEvents();
    EXPECT_TRUE(chart.Chart()->legend()->isVisible());
    EXPECT_EQ(chart.Chart()->legend()->markers().size(), 3);
    chart.SetLegendVisible(false);
    chart.RefreshData();
    EXPECT_FALSE(chart.Chart()->legend()->isVisible());
}

TEST_F(ChartTest, BarsColourEachPointAndLeaveNullsEmpty)
{
    TDBChart chart;
    TChartSeries &bar = Bound(chart, TChartKind::Bar);
    bar.ColorEachPoint = true;
    chart.RefreshData();

    auto *qt = FirstSeries<QStackedBarSeries>(chart);
    ASSERT_NE(qt, nullptr);
    ASSERT_EQ(qt->count(), 5);
    const double expected[] = {900, -100, 0, -50, 0};
    for (int i = 0; i < 5; ++i) {
        QBarSet *set = qt->barSets()[i];
        // Each category holds only its own point's value.
        for (int j = 0; j < 5; ++j)
            EXPECT_DOUBLE_EQ(set->at(j), j == i ? expected[i] : 0.0) << i << ' ' << j;
        EXPECT_EQ(set->color(), ChartPaletteColor(i)) << i;
    }
    EXPECT_NE(qt->barSets()[0]->color(), qt->barSets()[1]->color());

    // Rebuilding keeps one axis each way.
    chart.Rebuild();
    EXPECT_EQ(chart.Chart()->axes(Qt::Vertical).size(), 1);
    EXPECT_EQ(chart.Chart()->axes(Qt::Horizontal).size(), 1);

    // One series colour when points are not coloured each.
    bar.ColorEachPoint = false;
    bar.SeriesColor = Qt::darkGreen;
    chart.Rebuild();
    qt = FirstSeries<QStackedBarSeries>(chart);
    for (QBarSet *set : qt->barSets())
        EXPECT_EQ(set->color(), QColor(Qt::darkGreen));
}

TEST_F(ChartTest, BarsOfOneColourShareASet)
{
    TDBChart chart;
    TChartSeries &bar = chart.AddSeries(TChartKind::Bar);
    bar.ColorEachPoint = true;
    for (int i = 0; i < 40; ++i)
        bar.Add(QString::number(i), double(i));
    chart.Rebuild();
    auto *qt = FirstSeries<QStackedBarSeries>(chart);
    ASSERT_NE(qt, nullptr);
    // Sixteen palette colours: point i and point i + 16 are in one set.
    ASSERT_EQ(qt->count(), 16);
    for (int i = 0; i < 40; ++i) {
        QBarSet *set = qt->barSets()[i % 16];
        EXPECT_DOUBLE_EQ(set->at(i), double(i)) << i;
        EXPECT_DOUBLE_EQ(qt->barSets()[(i + 1) % 16]->at(i), 0.0) << i;
    }
}

TEST_F(ChartTest, LineBreaksAtNullValues)
{
    TDBChart chart;
    TChartSeries &line = chart.AddSeries(TChartKind::Line);
    line.Add("a", 1.0);
    line.Add("b", 2.0);
    line.Add("c", std::nullopt);
    line.Add("d", -3.0);
    chart.Rebuild();
    const auto all = chart.Chart()->series();
    ASSERT_EQ(all.size(), 2);
    auto *first = qobject_cast<QLineSeries *>(all[0]);
    auto *second = qobject_cast<QLineSeries *>(all[1]);
    ASSERT_TRUE(first && second);
    ASSERT_EQ(first->count(), 2);
    EXPECT_EQ(first->at(1), QPointF(1, 2));
    ASSERT_EQ(second->count(), 1);
    EXPECT_EQ(second->at(0), QPointF(3, -3));
}

TEST_F(ChartTest, ReReadsWhenTheDataChangeAndKeepsTheCurrentRow)
{
    TDBChart chart;
    TChartSeries &pie = Bound(chart, TChartKind::Pie);
    q.First();
    q.Next();
    q.Next();
    chart.RefreshData();
    EXPECT_EQ(q.FieldByName("account")->AsString(), QString::fromUtf8("Доллары"));

    // Closing empties the chart, reopening fills it again.
    q.Close();
    EXPECT_TRUE(pie.Points().empty());
    q.SQL().clear();
    q.SQL() << "select account, rest v from tb_account where id_account < 3";
    q.Open();
    ASSERT_EQ(pie.Points().size(), 2u);
    EXPECT_DOUBLE_EQ(*pie.Points()[1].Value, 20000);
    QCoreApplication::processEvents(); // the drawing follows once the event is handled
    EXPECT_EQ(FirstSeries<QPieSeries>(chart)->count(), 2);

    // Another chart reading the same rows (a walk with controls disabled)
    // leaves this drawing as it is.
    QChart *drawn = chart.Chart();
    TDBChart other;
    Bound(other, TChartKind::Bar);
    other.RefreshData();
    QCoreApplication::processEvents();
    EXPECT_EQ(chart.Chart(), drawn);
    // Changed rows are drawn anew.
    q.Close();
    q.SQL().clear();
    q.SQL() << "select account, rest v from tb_account";
    q.Open();
    QCoreApplication::processEvents();
    EXPECT_NE(chart.Chart(), drawn);
    EXPECT_GT(FirstSeries<QPieSeries>(chart)->count(), 2);
}

TEST_F(ChartTest, PrintsAPageAndDrawsAnImage)
{
    TDBChart chart;
    chart.resize(400, 300);
    TChartSeries &pie = chart.AddSeries(TChartKind::Pie);
    pie.Add("a", 3.0);
    pie.Add("b", 1.0);
    chart.Rebuild();
    QImage image = chart.Image(QSize(200, 150));
    // Something besides the white background was drawn.
    bool coloured = false;
    for (int y = 0; y < image.height() && !coloured; ++y)
        for (int x = 0; x < image.width() && !coloured; ++x)
            coloured = QColor(image.pixel(x, y)) != QColor(Qt::white);
    EXPECT_TRUE(coloured);

    TPrinter printer;
    const QString file = dir.path() + "/chart.pdf";
    printer.SetOutputFile(file);
    ASSERT_TRUE(chart.Print(printer, true));
    EXPECT_EQ(printer.PageCount(), 1);
    EXPECT_GT(QFileInfo(file).size(), 1000);
}

} // namespace
