// Runs a list layout (title, column header, a detail band of 6 data texts
// and 1 expression, a group footer with a sum every 25 records, a page
// footer with the page number) built of the report's own printables over
// 100,000 records into recorded pages and prints pages per second; then
// turns pages of dense text in the preview control at 100 % and prints the
// median time of a turn. Targets beside the figures.
//   bench_report [records [preview.png]]   (the second saves the preview at
//                                           its whole-page zoom)
#include "../BenchTiming.h"
#include "memtable/VemtMemTable.h"
#include "report/RepCtrls.h"
#include "report/RepPreview.h"

#include <QApplication>
#include <cstdio>
#include <vector>

using namespace zorbel;

namespace {

template <class T> T &Put(TRepCustomBand &band, double left, double width = 260)
{
    auto t = std::make_unique<T>();
    t->Size.Values[TRepPrintableSize::iLeft] = left;
    t->Size.Values[TRepPrintableSize::iTop] = 5;
    t->Size.Values[TRepPrintableSize::iWidth] = width;
    t->Size.Values[TRepPrintableSize::iHeight] = 40;
    return band.Add(std::move(t));
}

TRepBand &AddBand(TCustomBandReport &report, TRepBandType type, double height)
{
    auto b = std::make_unique<TRepBand>(type);
    b->Size.Length = height;
    b->Size.Width = 1900;
    return report.AddBand(std::move(b));
}

// Median milliseconds of a page turn in the preview (dense A4 pages at 100 %).
double PageTurnMs(const char *shot)
{
    TBandReport report;
    TRepBand &detail = AddBand(report, rbDetail, 2770);
    for (int col = 0; col < 4; ++col) {
        auto &memo = Put<TRepMemo>(detail, col * 475, 460);
        memo.Size.Values[TRepPrintableSize::iHeight] = 2700;
        memo.AutoSize = false;
        for (int line = 0; line < 70; ++line)
            memo.Lines << QStringLiteral("Строка %1, колонка %2: плотный текст").arg(line + 1).arg(col + 1);
    }
    report.MainController.OnNeedData = [n = 0](bool &more) mutable { more = ++n <= 4; };
    report.OnNeedData = report.MainController.OnNeedData;
    TRepPrinter printer;
    report.RepPrinter = &printer;
    report.CreateReport();
    TRepPreview preview;
    preview.resize(900, 1200);
    preview.show();
    preview.SetPrinter(&printer);
    QCoreApplication::processEvents();
    std::vector<double> times;
    for (int i = 0; i < 60; ++i) {
        const int page = 1 + (i + 1) % std::max(1, printer.RecordedPages());
        const double s = bench::BestSeconds(1, [&] {
            preview.SetPageNumber(page);
            preview.Image().repaint();
        });
        times.push_back(s * 1000);
    }
    std::sort(times.begin(), times.end());
    if (shot) {
        preview.SetPageNumber(2);
        preview.ZoomToFit();
        QCoreApplication::processEvents();
        preview.grab().save(QString::fromLocal8Bit(shot));
    }
    preview.SetPrinter(nullptr);
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
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
    Put<TRepLabel>(AddBand(report, rbTitle, 100), 0).SetCaption(QStringLiteral("Операции"));
    TRepBand &columns = AddBand(report, rbColumnHeader, 50);
    for (int i = 0; i < 7; ++i)
        Put<TRepLabel>(columns, i * 270).SetCaption(QStringLiteral("Колонка %1").arg(i + 1));
    TRepBand &detail = AddBand(report, rbDetail, 45);
    const char *fields[] = {"N", "D", "CAT", "NOTE", "AMT", "G"};
    for (int i = 0; i < 6; ++i) {
        auto &t = Put<TRepDBText>(detail, i * 270);
        t.DataSet = &table;
        t.SetDataField(QString::fromLatin1(fields[i]));
    }
    detail.Printables().back()->Alignment = TAlignment::taLeftJustify;
    static_cast<TRepDBText &>(*detail.Printables()[4]).Mask = QStringLiteral("#,###,###,##0.00");
    Put<TRepExpr>(detail, 6 * 270).SetExpression(QStringLiteral("AMT*2"));
    auto &group = report.AddBand(std::make_unique<TRepGroup>());
    group.Size.Length = 0;
    group.Expression = QStringLiteral("G");
    TRepBand &footer = AddBand(report, rbGroupFooter, 50);
    group.FooterBand = &footer;
    auto &sum = Put<TRepExpr>(footer, 4 * 270);
    sum.SetExpression(QStringLiteral("SUM(AMT)"));
    sum.Mask = QStringLiteral("#,###,###,##0.00#");
    sum.ResetAfterPrint = true;
    auto &page = Put<TRepSysData>(AddBand(report, rbPageFooter, 50), 0);
    page.SetData(qrsPageNumber);
    page.SetText(QStringLiteral("Страница "));

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
    std::printf("preview page turn (dense A4 at 100 %%): median %.2f ms (target <= 16)\n", PageTurnMs(argc > 2 ? argv[2] : nullptr));
    return 0;
}
