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
#include <QGraphicsSimpleTextItem>
#include <QValueAxis>

#include <algorithm>

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

TEST_F(ChartTest, WhitePointsKeepAVisibleOutline)
{
    // The fifth palette colour is white: that slice or bar would vanish on
    // the white chart unless outlined in a dark colour.
    ASSERT_EQ(ChartPaletteColor(4), QColor(Qt::white));
    for (TChartKind kind : {TChartKind::Pie, TChartKind::Bar}) {
        TDBChart chart;
        chart.resize(400, 300);
        chart.show();
        TChartSeries &s = chart.AddSeries(kind);
        s.ColorEachPoint = true;
        for (int i = 0; i < 6; ++i)
            s.Add(QString::number(i), 1.0 + i);
        chart.Rebuild();
        QCoreApplication::processEvents();
        QList<QColor> outlines;
        if (auto *pie = FirstSeries<QPieSeries>(chart))
            for (QPieSlice *slice : pie->slices())
                outlines << slice->borderColor();
        if (auto *bars = FirstSeries<QStackedBarSeries>(chart))
            for (QBarSet *set : bars->barSets())
                outlines << set->borderColor();
        ASSERT_EQ(outlines.size(), 6) << int(kind);
        for (const QColor &c : outlines)
            EXPECT_LT(c.lightness(), 100) << int(kind) << ' ' << c.name().toStdString();
    }
}

// The category names drawn under the bottom axis, visible ones only.
QList<QGraphicsSimpleTextItem *> ShownCategoryNames(TDBChart &chart)
{
    QList<QGraphicsSimpleTextItem *> shown;
    for (QGraphicsItem *item : chart.Chart()->childItems()) {
        auto *text = dynamic_cast<QGraphicsSimpleTextItem *>(item);
        if (text && text->isVisible())
            shown << text;
    }
    std::sort(shown.begin(), shown.end(), [](auto *a, auto *b) { return a->x() < b->x(); });
    return shown;
}

TEST_F(ChartTest, CrowdedCategoryNamesAreSkippedNotCutShort)
{
    for (TChartKind kind : {TChartKind::Bar, TChartKind::Line}) {
        TDBChart chart;
        chart.resize(500, 300);
        chart.show();
        TChartSeries &s = chart.AddSeries(kind);
        for (int i = 0; i < 40; ++i)
            s.Add(QString::fromUtf8("янв.%1").arg(10 + i), double(i % 7));
        chart.Rebuild();
        QCoreApplication::processEvents();
        const QList<QGraphicsSimpleTextItem *> crowded = ShownCategoryNames(chart);
        // Some names are shown whole, in order, none over another.
        ASSERT_GT(crowded.size(), 3);
        EXPECT_LT(crowded.size(), 40);
        EXPECT_EQ(crowded.first()->text(), QString::fromUtf8("янв.10"));
        for (int i = 0; i < crowded.size(); ++i) {
            EXPECT_TRUE(crowded[i]->text().startsWith(QString::fromUtf8("янв."))) << i;
            EXPECT_FALSE(crowded[i]->text().contains(QStringLiteral("...")));
            if (i > 0) {
                EXPECT_LT(crowded[i - 1]->x() + crowded[i - 1]->boundingRect().width(), crowded[i]->x()) << i;
            }
        }
        // Few categories: every name, each under its own category.
        TDBChart few;
        few.resize(500, 300);
        few.show();
        TChartSeries &f = few.AddSeries(kind);
        for (const char *name : {"Транспорт", "Развлечения", "Здоровье"})
            f.Add(QString::fromUtf8(name), 5.0);
        few.Rebuild();
        QCoreApplication::processEvents();
        const QList<QGraphicsSimpleTextItem *> all = ShownCategoryNames(few);
        ASSERT_EQ(all.size(), 3);
        EXPECT_EQ(all[1]->text(), QString::fromUtf8("Развлечения"));
        const QRectF plot = few.Chart()->plotArea();
        EXPECT_GT(all[0]->y(), plot.bottom());
        EXPECT_NEAR(all[1]->x() + all[1]->boundingRect().width() / 2, plot.center().x(), 1.0);
    }
}

TEST_F(ChartTest, ValueAxisLabelsTellTheirTicksApart)
{
    // Small values (quantities, rates) and a chart with nothing to show
    // label every tick with a different number, in the program's format.
    const std::vector<std::vector<double>> cases = {{0.3, 1.2, 0.8}, {}, {1.02, 1.05}, {12000, 58000}};
    for (const auto &values : cases) {
        for (TChartKind kind : {TChartKind::Bar, TChartKind::Line}) {
            TDBChart chart;
            TChartSeries &s = chart.AddSeries(kind);
            for (double v : values)
                s.Add(QStringLiteral("p%1").arg(v), v);
            chart.Rebuild();
            QValueAxis *y = nullptr;
            for (QAbstractAxis *axis : chart.Chart()->axes(Qt::Vertical))
                y = y ? y : qobject_cast<QValueAxis *>(axis);
            ASSERT_NE(y, nullptr);
            EXPECT_TRUE(chart.Chart()->localizeNumbers());
            QStringList labels;
            const int n = y->tickCount();
            for (int i = 0; i < n; ++i) {
                const double v = y->min() + (y->max() - y->min()) * i / (n - 1);
                labels << QString::asprintf(y->labelFormat().toLatin1().constData(), v);
            }
            labels.removeDuplicates();
            EXPECT_EQ(labels.size(), n) << y->labelFormat().toStdString() << ' ' << values.size();
        }
    }
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
