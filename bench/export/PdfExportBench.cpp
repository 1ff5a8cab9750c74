// Runs a list layout (title, column header, a detail band of a name, an
// amount and a quantity from a memory table, a page footer with the page
// number) of 200 pages into the preview's recorded pages, then exports the
// same report to a PDF file, and prints both times, their ratio against the
// target of at most 2 and the file's size.
//   bench_export_pdf [pages [file to keep]]
#include "../BenchTiming.h"
#include "export/RepPDFFilt.h"
#include "memtable/VemtMemTable.h"
#include "report/RepCtrls.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <cstdio>

using namespace zorbel;

namespace {

template <class T> T &Place(TRepCustomBand &band, double left, double width = 400)
{
    T &p = band.Add(std::make_unique<T>());
    p.Size.Values[TRepPrintableSize::iLeft] = left;
    p.Size.Values[TRepPrintableSize::iTop] = 0;
    p.Size.Values[TRepPrintableSize::iWidth] = width;
    p.Size.Values[TRepPrintableSize::iHeight] = 45;
    return p;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int pages = argc > 1 ? std::max(1, atoi(argv[1])) : 200;

    TVemtMemTable table;
    table.SetName(QStringLiteral("Ops"));
    table.FieldDefs().Add(QStringLiteral("nm"), ftString, 40);
    table.FieldDefs().Add(QStringLiteral("amt"), ftFloat);
    table.FieldDefs().Add(QStringLiteral("qty"), ftInteger);
    table.Open();
    // 50 tenths a line on 2770 of printable height, less the bands around.
    const int rows = pages * 53;
    for (int i = 1; i <= rows; ++i) {
        table.Append();
        table.FieldByName(QStringLiteral("nm"))->SetAsString(QStringLiteral("Продукты, операция %1").arg(i));
        table.FieldByName(QStringLiteral("amt"))->SetAsFloat(i * 1.25);
        table.FieldByName(QStringLiteral("qty"))->SetAsInteger(i % 7);
        table.Post();
    }

    TBandReport report;
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(10);
    report.Font = font;
    report.DataSets.push_back(&table);
    report.MainController.DataSet = &table;
    auto addBand = [&](TRepBandType type, double height) -> TRepBand & {
        auto b = std::make_unique<TRepBand>(type);
        b->Size.Length = height;
        b->Size.Width = 1900;
        return report.AddBand(std::move(b));
    };
    Place<TRepLabel>(addBand(rbTitle, 100), 0, 1000).SetCaption(QStringLiteral("Операции за год"));
    TRepBand &head = addBand(rbColumnHeader, 50);
    Place<TRepLabel>(head, 0).SetCaption(QStringLiteral("Статья"));
    Place<TRepLabel>(head, 1000).SetCaption(QStringLiteral("Сумма"));
    Place<TRepLabel>(head, 1500).SetCaption(QStringLiteral("Кол-во"));
    TRepBand &detail = addBand(rbDetail, 50);
    for (auto [field, left] : {std::pair{"nm", 0.0}, {"amt", 1000.0}, {"qty", 1500.0}}) {
        auto &t = Place<TRepDBText>(detail, left, field == std::string("nm") ? 900 : 400);
        t.DataSet = &table;
        t.SetDataField(QString::fromLatin1(field));
    }
    TRepBand &foot = addBand(rbPageFooter, 50);
    auto &number = Place<TRepSysData>(foot, 1500);
    number.SetData(qrsPageNumber);

    std::unique_ptr<TRepPrinter> printer;
    const double preview = bench::BestSeconds(3, [&] {
        printer = std::make_unique<TRepPrinter>();
        report.RepPrinter = printer.get();
        report.CreateReport();
    });
    const int recorded = printer->RecordedPages();
    const QString file =
        argc > 2 ? QString::fromLocal8Bit(argv[2]) : QDir::temp().filePath(QStringLiteral("zorbel-bench-export.pdf"));
    const double pdf = bench::BestSeconds(3, [&] {
        TRepPDFDocumentFilter filter(file);
        report.ExportToFilter(filter);
    });
    const double ratio = pdf / preview;
    std::printf("pages %d, records %d\n", recorded, rows);
    std::printf("preview run    %.3f s\n", preview);
    std::printf("PDF export     %.3f s  (%.2f x the preview run, target <= 2: %s)\n", pdf, ratio,
                ratio <= 2 ? "met" : "MISSED");
    std::printf("PDF file       %lld bytes (%.1f KB a page)\n", (long long)QFileInfo(file).size(),
                QFileInfo(file).size() / 1024.0 / std::max(recorded, 1));
    if (argc <= 2)
        QFile::remove(file);
    return 0;
}
