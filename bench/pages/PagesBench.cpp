// Records 1,000 pages of dense text (60 lines x 5 columns) through the report
// printer into the page store, plays every page back onto an A4 image at
// 96 dpi, and saves and loads the 1,000-page report file. Prints pages per
// second and seconds per save/load, with the targets beside them.
//   bench_pages [pages [last-page.png]]
#include "report/RepPrinter.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <cstdio>

using namespace zorbel;

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int pages = argc > 1 ? std::max(1, atoi(argv[1])) : 1000;
    QTemporaryDir dir;

    TRepPrinter printer;
    QElapsedTimer timer;
    timer.start();
    printer.BeginDoc();
    for (int p = 1; p <= pages; ++p) {
        printer.NewPage();
        TCanvas &canvas = printer.GetCanvas();
        canvas.Font = QFont(QStringLiteral("Liberation Sans"));
        canvas.Font.setPixelSize(printer.HeightToDevice(35));
        canvas.Brush.Style = TBrushStyle::bsClear;
        canvas.FontColor = clBlack;
        for (int line = 0; line < 60; ++line) {
            const double y = 150 + line * 45;
            canvas.TextOut(printer.XToDevice(150), printer.YToDevice(y), QString::number(p * 100 + line));
            canvas.TextOut(printer.XToDevice(400), printer.YToDevice(y), QStringLiteral("%1.%2.2024").arg(1 + line % 28).arg(1 + p % 12));
            canvas.TextOut(printer.XToDevice(750), printer.YToDevice(y), QStringLiteral("Продукты и хозтовары"));
            canvas.TextAlign = TA_RIGHT | TA_TOP;
            canvas.TextOut(printer.XToDevice(1650), printer.YToDevice(y), QStringLiteral("1 234,%1").arg(line, 2, 10, QLatin1Char('0')));
            canvas.TextOut(printer.XToDevice(1950), printer.YToDevice(y), QStringLiteral("-56 789,00"));
            canvas.TextAlign = TA_LEFT | TA_TOP;
        }
    }
    printer.EndDoc();
    const double recordSeconds = timer.nsecsElapsed() / 1e9;

    QImage image(printer.WidthToDevice(printer.PaperWidthValue()), printer.HeightToDevice(printer.PaperLengthValue()),
                 QImage::Format_RGB32);
    timer.restart();
    for (int p = 1; p <= pages; ++p) {
        std::unique_ptr<TMetafile> page = printer.GetPageMetafile(p);
        image.fill(Qt::white);
        QPainter painter(&image);
        PlayMetafile(painter, page->Data(), QRectF(image.rect()));
    }
    const double playSeconds = timer.nsecsElapsed() / 1e9;
    if (argc > 2)
        image.save(QString::fromLocal8Bit(argv[2])); // to look at the played page

    const QString file = dir.filePath("pages.rep");
    timer.restart();
    printer.Save(file);
    const double saveSeconds = timer.nsecsElapsed() / 1e9;
    TRepPrinter reader;
    timer.restart();
    reader.Load(file);
    const double loadSeconds = timer.nsecsElapsed() / 1e9;
    const int64_t bytes = QFileInfo(file).size();

    std::printf("pages: %d, report file %.1f MB, store %s\n", pages, bytes / 1e6,
                printer.PageList().Store()->Resident() ? "in memory" : "spilled to a temporary file");
    std::printf("record:   %8.0f pages/s   (target >= 500)\n", pages / recordSeconds);
    std::printf("playback: %8.0f pages/s   (target >= 200, A4 at 96 dpi)\n", pages / playSeconds);
    std::printf("save:     %8.3f s         (target <= 0.5)\n", saveSeconds);
    std::printf("load:     %8.3f s         (target <= 0.5), %d pages\n", loadSeconds, reader.RecordedPages());
    return reader.RecordedPages() == pages ? 0 : 1;
}
