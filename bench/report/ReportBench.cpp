// Runs a list layout (title, column header, a detail band of 6 field texts
// and 1 expression, a group footer with a sum every 25 records, a page
// footer with the page number) over 100,000 records into recorded pages and
// prints pages per second with the target beside it.
//   bench_report [records]
#include "../BenchTiming.h"
#include "memtable/VemtMemTable.h"
#include "report/RepReport.h"

#include <QGuiApplication>
#include <cstdio>

using namespace zorbel;

namespace {

// Writes a field's text, an expression's value or a fixed text.
class BenchText : public TRepPrintable {
public:
    QString Field, Expression, Fixed;
    TField *Source = nullptr;
    TRepEvaluator Evaluator;
    double *Sum = nullptr; // a group footer's running sum, printed and reset

    void Prepare() override
    {
        TRepPrintable::Prepare();
        if (!Field.isEmpty())
            Source = Report->MainController.DataSet->FieldByName(Field);
        if (!Expression.isEmpty())
            Report->PrepareEvaluator(Evaluator, Expression);
    }
    void Unprepare() override
    {
        TRepPrintable::Unprepare();
        if (Evaluator.IsCompiled())
            Evaluator.Discard();
    }
    void Print(double x, double y) override
    {
        QString s = Fixed;
        if (Source)
            s = Source->AsString();
        else if (Evaluator.IsCompiled())
            s = RepEvValueText(Evaluator.Evaluate());
        else if (Sum) {
            s = QString::number(*Sum, 'f', 2);
            *Sum = 0;
        }
        TCanvas &c = Printer->GetCanvas();
        c.Font = Report->Font;
        c.Brush.Style = TBrushStyle::bsClear;
        c.TextOut(Printer->XToDevice(x + Size.Values[TRepPrintableSize::iLeft]),
                  Printer->YToDevice(y + Size.Values[TRepPrintableSize::iTop]), s);
    }
};

BenchText &Put(TRepCustomBand &band, double left)
{
    auto t = std::make_unique<BenchText>();
    t->Size.Values[TRepPrintableSize::iLeft] = left;
    t->Size.Values[TRepPrintableSize::iTop] = 5;
    return band.Add(std::move(t));
}

TRepBand &AddBand(TCustomBandReport &report, TRepBandType type, double height)
{
    auto b = std::make_unique<TRepBand>(type);
    b->Size.Length = height;
    b->Size.Width = 1900;
    return report.AddBand(std::move(b));
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int records = argc > 1 ? std::max(1, atoi(argv[1])) : 100000;

    TVemtMemTable table;
    table.SetName(QStringLiteral("OPS"));
    table.FieldDefs().Add(QStringLiteral("N"), ftInteger);
    table.FieldDefs().Add(QStringLiteral("D"), ftString, 10);
    table.FieldDefs().Add(QStringLiteral("CAT"), ftString, 30);
    table.FieldDefs().Add(QStringLiteral("NOTE"), ftString, 40);
    table.FieldDefs().Add(QStringLiteral("AMT"), ftFloat);
    table.FieldDefs().Add(QStringLiteral("G"), ftInteger);
    table.Open();
    for (int i = 0; i < records; ++i) {
        table.Append();
        table.FieldByName(QStringLiteral("N"))->SetAsInteger(i + 1);
        table.FieldByName(QStringLiteral("D"))->SetAsString(QStringLiteral("%1.%2.2026").arg(1 + i % 28).arg(1 + i % 12));
        table.FieldByName(QStringLiteral("CAT"))->SetAsString(QStringLiteral("Категория %1").arg(i % 37));
        table.FieldByName(QStringLiteral("NOTE"))->SetAsString(QStringLiteral("Покупка номер %1").arg(i));
        table.FieldByName(QStringLiteral("AMT"))->SetAsFloat((i % 1000) * 1.25);
        table.FieldByName(QStringLiteral("G"))->SetAsInteger(i / 25);
        table.Post();
    }

    TBandReport report;
    report.DataSets.push_back(&table);
    report.MainController.DataSet = &table;
    double sum = 0;
    Put(AddBand(report, rbTitle, 100), 0).Fixed = QStringLiteral("Операции");
    TRepBand &columns = AddBand(report, rbColumnHeader, 50);
    for (int i = 0; i < 7; ++i)
        Put(columns, i * 270).Fixed = QStringLiteral("Колонка %1").arg(i + 1);
    TRepBand &detail = AddBand(report, rbDetail, 45);
    const char *fields[] = {"N", "D", "CAT", "NOTE", "AMT", "G"};
    for (int i = 0; i < 6; ++i)
        Put(detail, i * 270).Field = QString::fromLatin1(fields[i]);
    Put(detail, 6 * 270).Expression = QStringLiteral("AMT*2");
    detail.AfterPrint = [&](TRepCustomBand &, bool) { sum += table.FieldByName(QStringLiteral("AMT"))->AsFloat(); };
    auto &group = report.AddBand(std::make_unique<TRepGroup>());
    group.Size.Length = 0;
    group.Expression = QStringLiteral("G");
    TRepBand &footer = AddBand(report, rbGroupFooter, 50);
    group.FooterBand = &footer;
    Put(footer, 4 * 270).Sum = &sum;
    Put(AddBand(report, rbPageFooter, 50), 0).Expression = QStringLiteral("'Страница '+PAGENUMBER");

    int pages = 0;
    const double seconds = bench::BestSeconds(3, [&] {
        TRepPrinter printer;
        report.RepPrinter = &printer;
        report.CreateReport();
        pages = printer.RecordedPages();
        report.RepPrinter = nullptr;
    });
    std::printf("report run: %d records, %d pages in %.3f s: %.0f pages/s (target >= 300)\n", records, pages,
                seconds, pages / seconds);
    return 0;
}
