// Shared pieces of the report run tests and benchmark: a text printable that
// writes one text (or an expression's value) per print, and recorded-page
// readers.
#pragma once

#include "RepExprSupport.h"
#include "platform/canvas/Metafile.h"
#include "report/RepReport.h"

#include <QString>
#include <memory>
#include <vector>

namespace zorbel::test {

// Writes Text, or the value of Expression, at its position; with Parts > 1
// it prints one part per pass and asks the band to continue.
class TTestText : public TRepPrintable {
public:
    QString Text;
    QString Expression;
    int Parts = 1;
    int PartsDone = 0;
    TRepEvaluator Evaluator;

    void Prepare() override
    {
        TRepPrintable::Prepare();
        PartsDone = 0;
        if (!Expression.isEmpty())
            Report->PrepareEvaluator(Evaluator, Expression);
    }
    void Unprepare() override
    {
        TRepPrintable::Unprepare();
        if (Evaluator.IsCompiled())
            Evaluator.Discard();
    }
    QString Value() { return Expression.isEmpty() ? Text : RepEvValueText(Evaluator.Evaluate()); }
    void Print(double x, double y) override
    {
        TRepPrintable::Print(x, y);
        QString s = Value();
        if (Parts > 1)
            s += QStringLiteral(" #%1").arg(PartsDone + 1);
        const double px = x + Size.Values[TRepPrintableSize::iLeft], py = y + Size.Values[TRepPrintableSize::iTop];
        if (Report->DrawToPrinter) {
            TCanvas &c = Printer->GetCanvas();
            c.Font = Report->Font;
            c.Brush.Style = TBrushStyle::bsClear;
            c.TextOut(Printer->XToDevice(px), Printer->YToDevice(py), s);
        }
        if (Report->Exporting && Report->ExportFilter)
            Report->ExportFilter->PutText(px, py, Report->Font, clBlack, unsigned(Color), Alignment, s);
        if (Parts > 1) {
            ++PartsDone;
            ++Progress;
            FinishedPrinting = PartsDone >= Parts;
            if (FinishedPrinting)
                PartsDone = 0;
        }
    }
};

inline std::unique_ptr<TTestText> Text(const QString &text, double left, double top, double width = 300,
                                       double height = 50)
{
    auto t = std::make_unique<TTestText>();
    t->Text = text;
    t->Size.Values[TRepPrintableSize::iLeft] = left;
    t->Size.Values[TRepPrintableSize::iTop] = top;
    t->Size.Values[TRepPrintableSize::iWidth] = width;
    t->Size.Values[TRepPrintableSize::iHeight] = height;
    return t;
}

inline std::unique_ptr<TTestText> Expr(const QString &expression, double left, double top)
{
    auto t = Text(QString(), left, top);
    t->Expression = expression;
    return t;
}

inline std::unique_ptr<TRepBand> Band(TRepBandType type, double height, double width = 1900)
{
    auto b = std::make_unique<TRepBand>(type);
    b->Size.Length = height;
    b->Size.Width = width;
    return b;
}

// A text of a recorded page with its position converted to 0.1 mm.
struct PageText {
    QString Text;
    double X, Y;
};

inline std::vector<PageText> TextsOf(TRepPrinter &printer, int page)
{
    std::vector<PageText> out;
    const std::unique_ptr<TMetafile> m = printer.GetPageMetafile(page);
    if (m)
        EnumMetafileTexts(m->Data(), [&](const TMetafileText &t) {
            out.push_back({t.Text, t.Origin.x() * 254.0 / ScreenPixelsPerInch, t.Origin.y() * 254.0 / ScreenPixelsPerInch});
        });
    return out;
}

// Pages of A4 at 10 mm margins: the printable height is 2770.
struct ListReport {
    std::unique_ptr<TVemtMemTable> table = MakeTable(QStringLiteral("T"));
    std::unique_ptr<TRepPrinter> printerHolder = std::make_unique<TRepPrinter>();
    TRepPrinter &printer() { return *printerHolder; }
    TBandReport report;

    ListReport()
    {
        report.RepPrinter = printerHolder.get();
        report.DataSets.push_back(table.get());
        report.MainController.DataSet = table.get();
        report.Options = unsigned(TBandReportOption::FirstPageHeader);
    }
    void Rows(int n, int perGroup = 1000000)
    {
        for (int i = 1; i <= n; ++i) {
            table->Append();
            table->FieldByName(QStringLiteral("nm"))->SetAsString(QStringLiteral("Строка %1").arg(i));
            table->FieldByName(QStringLiteral("amt"))->SetAsFloat(i);
            table->FieldByName(QStringLiteral("qty"))->SetAsInteger((i - 1) / perGroup);
            table->Post();
        }
    }
    TRepBand &Add(TRepBandType type, double height, double width = 1900)
    {
        return report.AddBand(Band(type, height, width));
    }
    // Each run records into a fresh printer, as every entry point does.
    void Run()
    {
        printerHolder = std::make_unique<TRepPrinter>();
        report.RepPrinter = printerHolder.get();
        report.CreateReport();
    }
    std::vector<PageText> Page(int n) { return TextsOf(printer(), n); }
    QStringList Texts(int n)
    {
        QStringList s;
        for (const PageText &t : Page(n))
            s << t.Text;
        return s;
    }
};

// The text's record; a missing text reads as one far off the page.
inline const PageText *Find(const std::vector<PageText> &texts, const QString &text)
{
    static const PageText missing{QString(), -1e9, -1e9};
    for (const PageText &t : texts)
        if (t.Text == text)
            return &t;
    return &missing;
}

} // namespace zorbel::test
