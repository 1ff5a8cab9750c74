// Two figures of the preview window over a list report of 25 lines a page:
// the time from starting a background run to its first page shown in the
// preview window (target 100 ms), and a text search through 1,000 pages
// (target 0.5 s).
//   bench_preview [pages]
#include "../BenchTiming.h"
#include "memtable/VemtMemTable.h"
#include "report/RepCtrls.h"
#include "report/RepPreviewForm.h"
#include "report/RepReport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>

using namespace zorbel;

namespace {

constexpr int kLinesPerPage = 25;

struct ListReport {
    TVemtMemTable table;
    TBandReport report;

    explicit ListReport(int pages)
    {
        table.SetName(QStringLiteral("T"));
        table.FieldDefs().Add(QStringLiteral("nm"), ftString, 60);
        table.FieldDefs().Add(QStringLiteral("amt"), ftFloat);
        table.Open();
        for (int i = 1; i <= pages * kLinesPerPage; ++i) {
            table.Append();
            table.FieldByName(QStringLiteral("nm"))->SetAsString(
                QStringLiteral("Расход по статье %1 — продукты и хозяйство").arg(i));
            table.FieldByName(QStringLiteral("amt"))->SetAsFloat(i * 1.25);
            table.Post();
        }
        report.DataSets.push_back(&table);
        report.MainController.DataSet = &table;
        auto band = std::make_unique<TRepBand>(rbDetail);
        band->Size.Length = 2770.0 / kLinesPerPage;
        band->Size.Width = 1900;
        for (const char *field : {"nm", "amt"}) {
            auto text = std::make_unique<TRepDBText>();
            text->DataSet = &table;
            text->SetDataField(QString::fromLatin1(field));
            text->Size.Values[TRepPrintableSize::iLeft] = field[0] == 'n' ? 0 : 1400;
            text->Size.Values[TRepPrintableSize::iWidth] = field[0] == 'n' ? 1300 : 400;
            text->Size.Values[TRepPrintableSize::iHeight] = 50;
            band->Add(std::move(text));
        }
        report.AddBand(std::move(band));
        report.PrevShowThumbs = false;
        report.PrevShowSearch = true;
    }
};

TRepStandardPreview *OpenPreview()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *p = dynamic_cast<TRepStandardPreview *>(w); p && p->Printer())
            return p;
    return nullptr;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    RegisterReportWindows();
    const int pages = argc > 1 ? std::max(2, atoi(argv[1])) : 1000;
    ListReport list(pages);

    // First page: from the entry point until the window's preview holds page 1.
    double firstPage = 1e9;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer t;
        t.start();
        list.report.GenerateInThread(false);
        TRepStandardPreview *preview = nullptr;
        while (!(preview = OpenPreview()) || !preview->RepPreview->Image().Metafile())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        firstPage = std::min(firstPage, t.elapsed() / 1000.0);
        if (run < 4) {
            preview->close();
            QCoreApplication::processEvents();
        }
    }
    std::printf("first page of a background run shown: %.1f ms (target <= 100 ms)\n", firstPage * 1000);

    // Search: the run is let finish, then every page is searched.
    TRepStandardPreview *preview = OpenPreview();
    while (list.report.RunningInBackground() && preview->Printer()->Status() != TRepStatus::Ready)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    while (list.report.RunningInBackground())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const int stored = preview->Printer()->RecordedPages();
    const double search = bench::BestSeconds(3, [&] { preview->Search(QStringLiteral("хозяйство 99999"), false); });
    std::printf("search through %d pages: %.3f s (target <= 0.5 s for 1,000)\n", stored, search);
    preview->close();
    QCoreApplication::processEvents();
    return 0;
}
