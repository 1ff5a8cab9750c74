// The chart component over Qt Charts (see Chart.h for the model).
#include "platform/chart/Chart.h"

#include "platform/canvas/Printers.h"
#include "platform/dataset/DataSet.h"
#include "platform/dataset/DataSource.h"
#include "platform/dataset/Fields.h"
#include "platform/rtl/Format.h"

#include <QApplication>
#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QGraphicsSimpleTextItem>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPieSeries>
#include <QPieSlice>
#include <QStackedBarSeries>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <vector>

namespace zorbel {

// ---- palette ----------------------------------------------------------------

QColor ChartPaletteColor(int i)
{
    // The classic chart colours, in the order points take them.
    static constexpr QRgb palette[] = {
        0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFFFFFF, 0x808080, 0xFF00FF, 0x008080,
        0x000080, 0x800000, 0x008000, 0x808000, 0x800080, 0xC0C0C0, 0x00FFFF, 0x000000,
    };
    constexpr int n = int(sizeof(palette) / sizeof(palette[0]));
    return QColor(palette[((i % n) + n) % n]);
}

namespace {

// Slices and bars are outlined in black, as the classic chart draws them, so
// that a white or yellow point stays visible on the white chart.
const QColor OutlineColour(Qt::black);

// A value axis labels its ticks with as many decimals as its step needs (a
// range of 0..1 in fifths reads 0; 0,2; 0,4 ... and not 0, 0, 0, 1, 1, 1),
// in the program's number format: decimal comma, blank between thousands.
void FormatValueAxis(QValueAxis *Axis)
{
    const int ticks = Axis->tickCount();
    const double step = ticks > 1 ? (Axis->max() - Axis->min()) / (ticks - 1) : 0;
    int decimals = 0;
    for (double s = step; decimals < 6 && s > 0 && s - std::floor(s + 1e-9) > 1e-9; s *= 10)
        ++decimals;
    Axis->setLabelFormat(QStringLiteral("%.%1f").arg(decimals));
}

} // namespace

// ---- the dataset link ------------------------------------------------------

// Re-reads the series when the bound dataset's data change; scrolling alone
// (DataSetScrolled) leaves the points as they are. A change notice that left
// the points as they were (another reader walking the table with its controls
// disabled) draws nothing again.
class TChartSeries::TLink : public TDataLink {
public:
    explicit TLink(TChartSeries &Series) : series_(Series) { SetDataSource(&source_); }
    ~TLink() override
    {
        reading_ = true; // the series is going: no more re-reads
        SetDataSource(nullptr);
    }
    void Bind(TDataSet *DataSet) { source_.SetDataSet(DataSet); }

protected:
    void ActiveChanged() override { Changed(); }
    void DataSetChanged() override { Changed(); }
    void DataSetScrolled(int) override {}
    void LayoutChanged() override { Changed(); }
    void RecordChanged(TField *) override {}

private:
    void Changed()
    {
        if (reading_)
            return;
        reading_ = true;
        const std::vector<TChartPoint> before = series_.points_;
        series_.RefreshData();
        if (series_.points_ != before)
            series_.owner_.ScheduleRebuild();
        reading_ = false;
    }
    TChartSeries &series_;
    TDataSource source_;
    bool reading_ = false;
};

// ---- series ----------------------------------------------------------------

TChartSeries::TChartSeries(TDBChart &Owner, TChartKind Kind) : owner_(Owner), kind_(Kind) {}

TChartSeries::~TChartSeries() = default;

void TChartSeries::SetDataSource(TDataSet *DataSet)
{
    dataSet_ = DataSet;
    if (!DataSet) {
        link_.reset();
        return;
    }
    if (!link_)
        link_ = std::make_unique<TLink>(*this);
    link_->Bind(DataSet);
}

void TChartSeries::SetLabelField(const QString &Name)
{
    labelField_ = Name;
}

void TChartSeries::SetValueField(const QString &Name)
{
    valueField_ = Name;
}

void TChartSeries::Clear()
{
    points_.clear();
}

void TChartSeries::Add(const QString &Label, std::optional<double> Value, QColor Color)
{
    points_.push_back({Label, Value, Color});
}

void TChartSeries::SetMarksVisible(bool Visible)
{
    marksVisible_ = Visible;
    owner_.Rebuild();
}

void TChartSeries::SetMarksStyle(TMarksStyle Style)
{
    marksStyle_ = Style;
    owner_.Rebuild();
}

void TChartSeries::SetRotationAngle(int Degrees)
{
    rotation_ = Degrees;
    owner_.Rebuild();
}

void TChartSeries::RefreshData()
{
    if (!dataSet_)
        return;
    points_.clear();
    if (!dataSet_->Active())
        return;
    TField *label = labelField_.isEmpty() ? nullptr : dataSet_->FindField(labelField_);
    TField *value = valueField_.isEmpty() ? nullptr : dataSet_->FindField(valueField_);
    if (!value)
        return;
    TDataSet &ds = *dataSet_;
    const TBookmark mark = ds.Bookmark();
    TControlsOff off(ds);
    try {
        for (ds.First(); !ds.Eof(); ds.Next()) {
            std::optional<double> v;
            if (!value->IsNull())
                v = value->AsFloat();
            points_.push_back({label ? label->AsString() : QString(), v, QColor()});
        }
    } catch (...) {
        points_.clear(); // a chart of a part of the rows would mislead
        throw;
    }
    if (!mark.isEmpty() && ds.BookmarkValid(mark))
        ds.GotoBookmark(mark);
}

QColor TChartSeries::PointColor(int i) const
{
    const TChartPoint &p = points_.at(size_t(i));
    if (p.Color.isValid())
        return p.Color;
    if (kind_ == TChartKind::Pie || ColorEachPoint)
        return ChartPaletteColor(i);
    return SeriesColor.isValid() ? SeriesColor : ChartPaletteColor(0);
}

double TChartSeries::AbsTotal() const
{
    double total = 0;
    for (const TChartPoint &p : points_)
        if (p.Value)
            total += std::fabs(*p.Value);
    return total;
}

QString TChartSeries::MarkText(int i) const
{
    const TChartPoint &p = points_.at(size_t(i));
    if (!p.Value)
        return QString();
    const double total = AbsTotal();
    const QString value = FormatFloat(ValueFormat, *p.Value);
    const QString percent = FormatFloat(PercentFormat, total > 0 ? std::fabs(*p.Value) / total * 100 : 0);
    switch (marksStyle_) {
    case TMarksStyle::Value: return value;
    case TMarksStyle::Percent: return percent;
    case TMarksStyle::Label: return p.Label;
    case TMarksStyle::LabelPercent: return p.Label + ' ' + percent;
    case TMarksStyle::LabelValue: return p.Label + ' ' + value;
    }
    return QString();
}

// ---- chart -----------------------------------------------------------------

namespace {

// The view passes clicks to the chart's OnClick and OnDblClick and swallows
// the wheel.
class TChartView : public QChartView {
public:
    TChartView(QChart *Chart, TDBChart &Owner) : QChartView(Chart), owner_(Owner) {}

protected:
    void mousePressEvent(QMouseEvent *Event) override
    {
        QChartView::mousePressEvent(Event);
        if (owner_.OnClick)
            owner_.OnClick();
    }
    void mouseDoubleClickEvent(QMouseEvent *Event) override
    {
        QChartView::mouseDoubleClickEvent(Event);
        if (owner_.OnDblClick)
            owner_.OnDblClick();
    }
    void wheelEvent(QWheelEvent *Event) override { Event->accept(); }

private:
    TDBChart &owner_;
};

} // namespace

TDBChart::TDBChart(QWidget *Parent) : QWidget(Parent)
{
    auto *chart = new QChart;
    chart->legend()->setVisible(false);
    chart->setBackgroundRoundness(0);
    view_ = new TChartView(chart, *this);
    view_->setRenderHint(QPainter::Antialiasing);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
}

TDBChart::~TDBChart()
{
    // Series unbind before the chart goes.
    series_.clear();
}

QChart *TDBChart::Chart() const
{
    return view_->chart();
}

TChartSeries &TDBChart::AddSeries(TChartKind Kind)
{
    series_.push_back(std::make_unique<TChartSeries>(*this, Kind));
    return *series_.back();
}

void TDBChart::SetLegendVisible(bool Visible)
{
    legendVisible_ = Visible;
    Chart()->legend()->setVisible(Visible);
}

void TDBChart::SetTitle(const QString &Text)
{
    title_ = Text;
    Chart()->setTitle(Text);
}

void TDBChart::SetZoom(int Percent)
{
    zoom_ = std::clamp(Percent, 1, 200);
    Rebuild();
}

void TDBChart::RefreshData()
{
    pending_ = false;
    try {
        for (auto &s : series_)
            s->RefreshData();
    } catch (...) {
        // No series keeps the points of an earlier reading beside the others.
        for (auto &s : series_)
            s->points_.clear();
        Rebuild();
        throw;
    }
    Rebuild();
}

void TDBChart::showEvent(QShowEvent *Event)
{
    QWidget::showEvent(Event);
    if (stale_)
        Rebuild();
}

void TDBChart::ScheduleRebuild()
{
    // Several changes in a row (a refill, a walk of the table) draw once.
    if (pending_)
        return;
    pending_ = true;
    QTimer::singleShot(0, this, [this] {
        if (pending_)
            Rebuild();
    });
}

void TDBChart::Rebuild()
{
    if (building_)
        return;
    pending_ = false;
    if (deferHidden_ && !isVisible()) {
        stale_ = true;
        return;
    }
    stale_ = false;
    building_ = true;
    // A new Qt chart each time: nothing of the previous drawing (axes, marks,
    // their laid-out places) can stay behind.
    QChart *old = Chart();
    auto *chart = new QChart;
    chart->setBackgroundRoundness(0);
    chart->setTitle(title_);
    // A hidden legend is set hidden before the series come, so that its marks
    // are never laid out.
    chart->legend()->setVisible(legendVisible_);
    view_->setChart(chart);
    delete old;
    marks_.clear();
    categoryLabels_.clear();
    chart->setLocale(QLocale(QLocale::Russian, QLocale::Russia));
    chart->setLocalizeNumbers(true);
    // Marks of bars and lines sit at their points whenever the plot moves.
    QObject::connect(chart, &QChart::plotAreaChanged, chart, [this](const QRectF &) { PlaceMarks(); });
    for (auto &s : series_) {
        switch (s->Kind()) {
        case TChartKind::Pie: BuildPie(*s); break;
        case TChartKind::Bar: BuildBar(*s); break;
        case TChartKind::Line: BuildLine(*s); break;
        }
    }
    chart->legend()->setVisible(legendVisible_);
    PlaceMarks();
    building_ = false;
}

void TDBChart::PlaceMarks()
{
    for (const TMark &m : marks_)
        m.Item->setPos(Chart()->mapToPosition(m.Point, m.Series) + QPointF(-10, -18));
    // Category names: each centred under its category; one that would run
    // into the name shown before it, or out of the chart, is left out.
    const QRectF plot = Chart()->plotArea();
    const double width = Chart()->size().width();
    const int n = int(categoryLabels_.size());
    double shownRight = -1e9;
    for (int i = 0; i < n; ++i) {
        QGraphicsSimpleTextItem *item = categoryLabels_[size_t(i)];
        const QRectF box = item->boundingRect();
        const double left = plot.left() + (i + 0.5) * plot.width() / n - box.width() / 2;
        item->setPos(left, plot.bottom() + 5);
        const bool fits = left >= shownRight + 6 && left >= 0 && left + box.width() <= width;
        item->setVisible(fits);
        if (fits)
            shownRight = left + box.width();
    }
}

void TDBChart::AddCategoryLabels(QBarCategoryAxis *Axis, const QStringList &Labels)
{
    // The axis keeps its room for one line of labels but draws them
    // invisibly: Qt would shorten every name to "..." once they are crowded,
    // where the classic chart shows whole names and skips those that do not fit.
    Axis->setLabelsBrush(QBrush(Qt::transparent));
    for (const QString &label : Labels) {
        auto *item = new QGraphicsSimpleTextItem(label, Chart());
        item->setFont(Axis->labelsFont());
        item->setZValue(10);
        categoryLabels_.push_back(item);
    }
}

void TDBChart::AddMark(const QString &Text, QPointF Point, QAbstractSeries *Series)
{
    auto *item = new QGraphicsSimpleTextItem(Text, Chart());
    item->setZValue(10);
    marks_.push_back({item, Point, Series});
}

void TDBChart::BuildPie(TChartSeries &S)
{
    auto *pie = new QPieSeries;
    pie->setName(S.Title);
    pie->setPieSize(0.7 * zoom_ / 100.0);
    pie->setPieStartAngle(S.RotationAngle());
    pie->setPieEndAngle(S.RotationAngle() + 360);
    // The slices go in as one list: appended one by one, each would restyle
    // all those before it.
    QList<QPieSlice *> slices;
    for (int i = 0; i < int(S.Points().size()); ++i) {
        const TChartPoint &p = S.Points()[size_t(i)];
        // A null or zero amount has no slice; a negative one its size.
        if (!p.Value || *p.Value == 0)
            continue;
        auto *slice = new QPieSlice(S.MarksVisible() ? S.MarkText(i) : p.Label, std::fabs(*p.Value));
        slice->setColor(S.PointColor(i));
        slice->setLabelVisible(S.MarksVisible());
        slices << slice;
    }
    pie->append(slices);
    Chart()->addSeries(pie);
    // After the chart's theme has dressed the slices in white outlines.
    for (QPieSlice *slice : slices)
        slice->setBorderColor(OutlineColour);
}

void TDBChart::BuildBar(TChartSeries &S)
{
    // One bar set per colour, holding the values of the points of that colour
    // in their categories and 0 elsewhere, so each point keeps its colour; a
    // null point holds nothing at all.
    auto *bars = new QStackedBarSeries;
    bars->setName(S.Title);
    QStringList categories;
    const int n = int(S.Points().size());
    const bool oneColour = !S.ColorEachPoint && std::none_of(S.Points().begin(), S.Points().end(),
                                                             [](const TChartPoint &p) { return p.Color.isValid(); });
    if (oneColour && n > 0) {
        // All bars in the series colour: one bar set holds every point.
        auto *set = new QBarSet(S.Title);
        for (const TChartPoint &p : S.Points()) {
            categories << p.Label;
            set->append(p.Value ? *p.Value : 0.0);
        }
        set->setColor(S.PointColor(0));
        bars->append(set);
    }
    std::vector<std::pair<QRgb, QBarSet *>> sets;
    for (int i = 0; i < n && !oneColour; ++i) {
        const TChartPoint &p = S.Points()[size_t(i)];
        categories << p.Label;
        const QColor colour = S.PointColor(i);
        auto it = std::find_if(sets.begin(), sets.end(), [&](const auto &e) { return e.first == colour.rgba(); });
        if (it == sets.end()) {
            auto *set = new QBarSet(p.Label);
            set->setColor(colour);
            for (int j = 0; j < n; ++j)
                set->append(0.0);
            bars->append(set);
            sets.emplace_back(colour.rgba(), set);
            it = sets.end() - 1;
        }
        if (p.Value)
            it->second->replace(i, *p.Value);
    }
    if (S.BarWidthPercent > 0)
        bars->setBarWidth(S.BarWidthPercent / 100.0);
    Chart()->addSeries(bars);
    // After the chart's theme has dressed the bars.
    for (QBarSet *set : bars->barSets())
        set->setBorderColor(OutlineColour);
    // Bar series of one chart share the axes of the first one, so their
    // bars are measured on one scale.
    QBarCategoryAxis *x = nullptr;
    QValueAxis *y = nullptr;
    for (QAbstractAxis *axis : Chart()->axes()) {
        if (!x)
            x = qobject_cast<QBarCategoryAxis *>(axis);
        if (!y)
            y = qobject_cast<QValueAxis *>(axis);
    }
    const bool shared = x && y;
    double lo = shared ? y->min() : 0, hi = shared ? y->max() : 0;
    if (!shared) {
        x = new QBarCategoryAxis;
        x->append(categories.isEmpty() ? QStringList{QString()} : categories);
        y = new QValueAxis;
        Chart()->addAxis(x, Qt::AlignBottom);
        Chart()->addAxis(y, Qt::AlignLeft);
        AddCategoryLabels(x, categories);
    }
    bars->attachAxis(x);
    bars->attachAxis(y);
    for (const TChartPoint &p : S.Points())
        if (p.Value)
            lo = std::min(lo, *p.Value), hi = std::max(hi, *p.Value);
    y->setRange(lo, hi > lo ? hi : lo + 1);
    y->applyNiceNumbers();
    FormatValueAxis(y);
    if (!S.MarksVisible())
        return;
    for (int i = 0; i < n; ++i) {
        const TChartPoint &p = S.Points()[size_t(i)];
        if (!p.Value)
            continue;
        AddMark(S.MarkText(i), QPointF(i, *p.Value), bars);
    }
}

void TDBChart::BuildLine(TChartSeries &S)
{
    // A null value breaks the line: each unbroken run is its own Qt series,
    // all in the series colour, only the first listed in the legend.
    QStringList categories;
    for (const TChartPoint &p : S.Points())
        categories << p.Label;
    auto *x = new QBarCategoryAxis;
    x->append(categories.isEmpty() ? QStringList{QString()} : categories);
    auto *y = new QValueAxis;
    Chart()->addAxis(x, Qt::AlignBottom);
    Chart()->addAxis(y, Qt::AlignLeft);
    AddCategoryLabels(x, categories);
    const QColor colour = S.SeriesColor.isValid() ? S.SeriesColor : ChartPaletteColor(0);
    // Each run gets all its points before it joins the chart: a point added
    // to a shown series lays out the whole line again, which made a line of
    // a few thousand points (the days of ten years) take seconds.
    std::vector<QList<QPointF>> runs;
    bool broken = true;
    double lo = 0, hi = 0;
    for (int i = 0; i < int(S.Points().size()); ++i) {
        const TChartPoint &p = S.Points()[size_t(i)];
        if (!p.Value) {
            broken = true;
            continue;
        }
        lo = std::min(lo, *p.Value), hi = std::max(hi, *p.Value);
        if (broken)
            runs.emplace_back();
        broken = false;
        runs.back().append(QPointF(i, *p.Value));
    }
    bool first = true;
    for (const QList<QPointF> &points : runs) {
        auto *run = new QLineSeries;
        run->setName(S.Title);
        run->setColor(colour);
        if (S.PenWidth > 0) {
            QPen pen = run->pen();
            pen.setWidth(S.PenWidth);
            pen.setColor(colour);
            run->setPen(pen);
        }
        run->setPointsVisible(true);
        run->append(points);
        Chart()->addSeries(run);
        run->attachAxis(x);
        run->attachAxis(y);
        if (!first)
            for (QLegendMarker *m : Chart()->legend()->markers(run))
                m->setVisible(false);
        first = false;
        if (S.MarksVisible())
            for (const QPointF &point : points)
                AddMark(S.MarkText(int(point.x())), point, run);
    }
    y->setRange(lo, hi > lo ? hi : lo + 1);
    y->applyNiceNumbers();
    FormatValueAxis(y);
}

void TDBChart::Draw(QPainter &Painter, const QRectF &Rect)
{
    // Lays the chart out at a screen-like size of the target's shape, then
    // scales it into the target.
    // A drawing still waiting (hidden, or a rebuild posted after a data
    // change) is made now: the posted rebuild would replace the Qt chart
    // while this one lays it out.
    if (stale_ || pending_) {
        const bool defer = deferHidden_;
        deferHidden_ = false;
        Rebuild();
        deferHidden_ = defer;
    }
    QChart *chart = Chart();
    const QRectF old = chart->geometry();
    const double width = 1000;
    const double height = Rect.width() > 0 ? width * Rect.height() / Rect.width() : 700;
    chart->resize(width, height);
    QCoreApplication::sendPostedEvents(); // lay the chart out at that size
    PlaceMarks();
    view_->scene()->render(&Painter, Rect, chart->mapRectToScene(QRectF(0, 0, width, height)));
    chart->setGeometry(old);
    QCoreApplication::sendPostedEvents();
    PlaceMarks();
}

QImage TDBChart::Image(const QSize &Size)
{
    QImage image(Size, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    Draw(painter, QRectF(QPointF(0, 0), QSizeF(Size)));
    return image;
}

void TDBChart::CopyToClipboard()
{
    QApplication::clipboard()->setImage(Image(size().isEmpty() ? QSize(640, 480) : size()));
}

bool TDBChart::Print(TPrinter &Printer, bool Landscape)
{
    if (!Printer.Available())
        return false;
    Printer.Device().setPageOrientation(Landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    Printer.BeginDoc();
    QPainter *painter = Printer.Canvas().Painter();
    if (!painter) {
        Printer.Abort();
        return false;
    }
    const int w = Printer.PageWidth(), h = Printer.PageHeight();
    // A margin of a twentieth of the page on each side.
    Draw(*painter, QRectF(w / 20.0, h / 20.0, w * 0.9, h * 0.9));
    Printer.EndDoc();
    return true;
}

} // namespace zorbel
