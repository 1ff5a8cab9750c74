// Exports a list report of about 200 pages (labels, a field text, two
// expressions with masks, a rule, a picture in the title, a summary total)
// to every format and prints each export's time beside the plain run into
// the preview's pages; target: each export <= 2x the plain run.
//   bench_export [records] [folder to keep the files in]
#include "../BenchTiming.h"
#include "export/ExportHtml.h"
#include "export/ExportRtf.h"
#include "export/ExportText.h"
#include "export/ExportXls.h"
#include "memtable/VemtMemTable.h"
#include "report/RepCtrls.h"
#include "report/RepReport.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>

using namespace zorbel;

namespace {

void Place(TRepPrintable &p, double left, double top, double width, double height)
{
    p.Size.Values[TRepPrintableSize::iLeft] = left;
    p.Size.Values[TRepPrintableSize::iTop] = top;
    p.Size.Values[TRepPrintableSize::iWidth] = width;
    p.Size.Values[TRepPrintableSize::iHeight] = height;
}

TRepBand &AddBand(TCustomBandReport &report, TRepBandType type, double height)
{
    auto b = std::make_unique<TRepBand>(type);
    b->Size.Length = height;
    b->Size.Width = 1900;
    return report.AddBand(std::move(b));
}

TRepLabel &Label(TRepCustomBand &band, const QFont &font, const QString &text, double left, double width = 380)
{
    auto l = std::make_unique<TRepLabel>();
    l->Font = font;
    l->AutoSize = false;
    Place(*l, left, 0, width, 70);
    l->SetCaption(text);
    return band.Add(std::move(l));
}

TRepExpr &Expr(TRepCustomBand &band, const QFont &font, const QString &expression, const QString &mask, double left)
{
    auto e = std::make_unique<TRepExpr>();
    e->Font = font;
    e->AutoSize = false;
    Place(*e, left, 0, 380, 45);
    e->SetExpression(expression);
    e->Mask = mask;
    return band.Add(std::move(e));
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int records = argc > 1 ? std::max(1, atoi(argv[1])) : 11800;
    QTemporaryDir temp;
    const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : temp.path();
    QDir().mkpath(folder);

    TVemtMemTable table;
    table.SetName(QStringLiteral("OPS"));
    table.FieldDefs().Add(QStringLiteral("D"), ftString, 10);
    table.FieldDefs().Add(QStringLiteral("CAT"), ftString, 30);
    table.FieldDefs().Add(QStringLiteral("AMT"), ftFloat);
    table.Open();
    for (int i = 0; i < records; ++i) {
        table.Append();
        table.FieldByName(QStringLiteral("D"))->SetAsString(QStringLiteral("%1.%2.2026").arg(1 + i % 28).arg(1 + i % 12));
        table.FieldByName(QStringLiteral("CAT"))->SetAsString(QStringLiteral("Категория «%1»").arg(i % 37));
        table.FieldByName(QStringLiteral("AMT"))->SetAsFloat((i % 1000) * 125.25);
        table.Post();
    }

    TBandReport report;
    report.DataSets.push_back(&table);
    report.MainController.DataSet = &table;
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPointSize(10);
    report.Font = font;
    TRepBand &title = AddBand(report, rbTitle, 150);
    QFont big = font;
    big.setPointSize(16);
    big.setBold(true);
    Label(title, big, QStringLiteral("Расходы по категориям"), 0, 1400).FontColor = clMaroon;
    auto logo = std::make_unique<TRepImage>();
    logo->Name = QStringLiteral("Logo");
    QImage bitmap(64, 32, QImage::Format_RGB32);
    bitmap.fill(QColor(30, 90, 200));
    logo->Picture.Bitmap = bitmap;
    logo->Stretch = true;
    Place(*logo, 1500, 10, 300, 120);
    title.Add(std::move(logo));
    TRepBand &columns = AddBand(report, rbColumnHeader, 60);
    Label(columns, font, QStringLiteral("Дата"), 0);
    Label(columns, font, QStringLiteral("Категория"), 300);
    Label(columns, font, QStringLiteral("Сумма"), 1020).SetAlignment(TAlignment::taRightJustify);
    Label(columns, font, QStringLiteral("В у.е."), 1420).SetAlignment(TAlignment::taRightJustify);
    auto rule = std::make_unique<TRepShape>();
    rule->Shape = TRepShape::qrsHorLine;
    Place(*rule, 0, 52, 1900, 8);
    columns.Add(std::move(rule));
    TRepBand &detail = AddBand(report, rbDetail, 45);
    auto date = std::make_unique<TRepDBText>();
    date->Font = font;
    date->AutoSize = false;
    Place(*date, 0, 0, 280, 45);
    date->DataSet = &table;
    date->SetDataField(QStringLiteral("D"));
    detail.Add(std::move(date));
    Expr(detail, font, QStringLiteral("CAT"), QString(), 300);
    Expr(detail, font, QStringLiteral("AMT"), QStringLiteral("#,##0.00"), 1020).SetAlignment(TAlignment::taRightJustify);
    Expr(detail, font, QStringLiteral("AMT/27.5"), QStringLiteral("#,##0.00"), 1420)
        .SetAlignment(TAlignment::taRightJustify);
    TRepBand &summary = AddBand(report, rbSummary, 60);
    Label(summary, font, QStringLiteral("Итого"), 0);
    Expr(summary, font, QStringLiteral("SUM(AMT)"), QStringLiteral("#,##0.00"), 1020)
        .SetAlignment(TAlignment::taRightJustify);
    TRepBand &footer = AddBand(report, rbPageFooter, 50);
    Expr(footer, font, QStringLiteral("'Страница '+PAGENUMBER"), QString(), 0);

    TRepPrinter preview;
    int pages = 0;
    const double plain = bench::BestSeconds(3, [&] {
        TRepPrinter printer;
        report.RepPrinter = &printer;
        report.CreateReport();
        pages = printer.RecordedPages();
        report.RepPrinter = nullptr;
    });
    report.RepPrinter = &preview;
    report.CreateReport(); // the pages the metafile writer saves
    std::printf("plain run into the preview: %d records, %d pages in %.3f s\n", records, pages, plain);

    struct Format {
        const char *Name;
        std::function<std::unique_ptr<TRepExportFilter>(const QString &)> Make;
        const char *File;
    };
    const Format formats[] = {
        {"CSV", [](const QString &f) { return std::make_unique<TRepCommaSeparatedFilter>(f); }, "report.csv"},
        {"text", [](const QString &f) { return std::make_unique<TRepAsciiExportFilter>(f); }, "report.txt"},
        {"XLS", [](const QString &f) { return std::make_unique<TRepXLSFilter>(f); }, "report.xls"},
        {"RTF", [](const QString &f) { return std::make_unique<TRepRTFExportFilter>(f); }, "report.rtf"},
        {"HTML", [](const QString &f) { return std::make_unique<TRepGHTMLDocumentFilter>(f); }, "report.htm"},
        {"WMF", [](const QString &f) { return std::make_unique<TRepWMFExportFilter>(f); }, "report.wmf"},
    };
    bool allMet = true;
    for (const Format &format : formats) {
        const QString file = QDir(folder).filePath(QString::fromLatin1(format.File));
        const double seconds = bench::BestSeconds(3, [&] {
            const std::unique_ptr<TRepExportFilter> writer = format.Make(file);
            report.ExportToFilter(*writer);
        });
        const double ratio = seconds / plain;
        allMet = allMet && ratio <= 2;
        std::printf("%-5s export: %.3f s = %.2fx the plain run (target <= 2x)%s\n", format.Name, seconds, ratio,
                    ratio <= 2 ? "" : "  MISSED");
    }
    return allMet ? 0 : 1;
}
