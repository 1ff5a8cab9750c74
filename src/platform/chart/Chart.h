// The chart component: a chart widget holding pie, bar and line series whose
// points come from a dataset (a label field and a value field) or are added
// by code, drawn through Qt Charts.
//
// A series keeps its own list of points (label, value or null, colour); the
// Qt series are rebuilt from that list on every refresh, so what is drawn and
// what callers read back (Points, MarkText) are one thing. Qt Charts lacks
// three things the program's charts rely on, made here:
//   - pie slices take the absolute value (a negative amount still shows as a
//     slice of its size; its mark keeps the sign); null points and zeros give
//     no slice;
//   - bars of one series coloured point by point: the bar series is a stacked
//     series with one bar set per colour that holds the values of that
//     colour's points in their categories and 0 in the others;
//   - a null value leaves a gap: no bar in its category, a break in a line
//     (the line is split into one Qt series per unbroken run).
//
// A series bound to a dataset re-reads its points when the dataset's data
// change (open, close, post, delete, refresh), not when it only scrolls, and
// the chart is drawn again once the current event is handled; RefreshData
// re-reads and draws at once. Reading walks the rows the dataset shows (its filter
// applies) and returns to the row that was current.
#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

QT_BEGIN_NAMESPACE
class QAbstractSeries;
class QBarCategoryAxis;
class QChart;
class QGraphicsSimpleTextItem;
class QChartView;
class QPainter;
QT_END_NAMESPACE

namespace zorbel {

class TDataSet;
class TPrinter;

enum class TChartKind { Pie, Bar, Line };

// What a point's mark shows.
enum class TMarksStyle { Value, Percent, Label, LabelPercent, LabelValue };

struct TChartPoint {
    QString Label;
    std::optional<double> Value; // nullopt: a null value
    QColor Color;
    bool operator==(const TChartPoint &) const = default;
};

class TDBChart;

class TChartSeries {
public:
    TChartSeries(TDBChart &Owner, TChartKind Kind);
    ~TChartSeries();
    TChartSeries(const TChartSeries &) = delete;
    TChartSeries &operator=(const TChartSeries &) = delete;

    TChartKind Kind() const { return kind_; }

    // Binding: labels from LabelField, values from ValueField of DataSet.
    // nullptr unbinds (the points stay until Clear).
    void SetDataSource(TDataSet *DataSet);
    TDataSet *DataSource() const { return dataSet_; }
    void SetLabelField(const QString &Name);
    void SetValueField(const QString &Name);
    const QString &LabelField() const { return labelField_; }
    const QString &ValueField() const { return valueField_; }

    // Points added by code (unbound series).
    void Clear();
    void Add(const QString &Label, std::optional<double> Value, QColor Color = QColor());
    const std::vector<TChartPoint> &Points() const { return points_; }

    // Colours: each point its own (a pie always does), or one series colour.
    bool ColorEachPoint = false;
    QColor SeriesColor;
    QString Title;
    // Line pen width in pixels (0: the drawing's default).
    int PenWidth = 0;
    // Bar width in percent of its category (0: the drawing's default).
    int BarWidthPercent = 0;

    // Marks beside the points.
    bool MarksVisible() const { return marksVisible_; }
    void SetMarksVisible(bool Visible);
    TMarksStyle MarksStyle() const { return marksStyle_; }
    void SetMarksStyle(TMarksStyle Style);
    QString ValueFormat = "0.00";
    QString PercentFormat = "##0%";
    // The mark of point i in the current style ("" for a null point).
    QString MarkText(int i) const;

    // Pie only: the angle of the first slice, degrees.
    int RotationAngle() const { return rotation_; }
    void SetRotationAngle(int Degrees);

    // Re-reads the bound dataset (nothing when unbound or closed). A failed
    // read leaves no points and is raised.
    void RefreshData();

private:
    friend class TDBChart;
    class TLink;
    QColor PointColor(int i) const;
    double AbsTotal() const;

    TDBChart &owner_;
    TChartKind kind_;
    TDataSet *dataSet_ = nullptr;
    std::unique_ptr<TLink> link_;
    QString labelField_;
    QString valueField_;
    std::vector<TChartPoint> points_;
    bool marksVisible_ = false;
    TMarksStyle marksStyle_ = TMarksStyle::Label;
    int rotation_ = 0;
};

class TDBChart : public QWidget {
public:
    explicit TDBChart(QWidget *Parent = nullptr);
    ~TDBChart() override;

    TChartSeries &AddSeries(TChartKind Kind);
    int SeriesCount() const { return int(series_.size()); }
    TChartSeries &Series(int i) { return *series_.at(size_t(i)); }

    bool LegendVisible() const { return legendVisible_; }
    void SetLegendVisible(bool Visible);
    QString Title() const { return title_; }
    void SetTitle(const QString &Text);
    // Pie size in percent of the plot (1..200; 100 fills it).
    int Zoom() const { return zoom_; }
    void SetZoom(int Percent);

    // Re-reads every bound series and redraws; a failed read leaves every
    // series empty and is raised.
    void RefreshData();
    // Rebuilds the drawing from the series' points.
    void Rebuild();
    // Rebuilds once the current event is handled (bound series that changed).
    void ScheduleRebuild();
    // With this on, a chart that is not visible (a page behind another) is
    // drawn when it is shown instead of at every change.
    void SetDeferWhileHidden(bool Defer) { deferHidden_ = Defer; }

    // Draws the chart into Rect of a painter (printing, images).
    void Draw(QPainter &Painter, const QRectF &Rect);
    QImage Image(const QSize &Size);
    void CopyToClipboard();
    // Prints one page on the printer's current settings, landscape or
    // portrait; false when the printer cannot take a document.
    bool Print(TPrinter &Printer, bool Landscape);

    // The drawn Qt chart (read back by tests).
    QChart *Chart() const;
    // Called when a point or the chart background is clicked.
    std::function<void()> OnClick;
    // Called on a double click. The mouse wheel neither scrolls nor zooms.
    std::function<void()> OnDblClick;

protected:
    void showEvent(QShowEvent *Event) override;

private:
    void BuildPie(TChartSeries &S);
    void BuildBar(TChartSeries &S);
    void BuildLine(TChartSeries &S);
    void AddMark(const QString &Text, QPointF Point, QAbstractSeries *Series);
    void AddCategoryLabels(QBarCategoryAxis *Axis, const QStringList &Labels);
    void PlaceMarks();

    // A mark beside a bar or a line point, placed again when the plot moves.
    struct TMark {
        QGraphicsSimpleTextItem *Item;
        QPointF Point;
        QAbstractSeries *Series;
    };
    std::vector<TMark> marks_;
    // The category names under the bottom axis, drawn by the chart (see
    // AddCategoryLabels), one per category in order.
    std::vector<QGraphicsSimpleTextItem *> categoryLabels_;
    std::vector<std::unique_ptr<TChartSeries>> series_;
    QChartView *view_ = nullptr;
    bool legendVisible_ = false;
    QString title_;
    int zoom_ = 100;
    bool building_ = false;
    bool pending_ = false;
    bool deferHidden_ = false;
    bool stale_ = false; // changed while hidden: draw when shown
};

// The colour of point i of a series that colours each point (the classic
// chart palette, repeated).
QColor ChartPaletteColor(int i);

} // namespace zorbel
