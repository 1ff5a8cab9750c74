// Time to show a 100,000-row dataset in the grid and to scroll it from top
// to bottom a page at a time, offscreen. Each step moves the dataset one
// page (as the scroll bar's page arrow does) and repaints the grid at once.
// Targets: first paint within 100 ms; page steps within 5 ms, judged by the
// median and the 99th percentile (a single maximum is one unlucky
// scheduling of a shared machine, so it is printed apart).
#include "LedgerDataSet.h"

#include "platform/widgets/DBGrids.h"
#include "platform/widgets/Forms.h"

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace zorbel;

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    constexpr int Rows = 100000;
    test::TLedgerDataSet data(Rows);
    TDataSource source(&data);
    data.Open();

    QElapsedTimer timer;
    timer.start();
    TForm form;
    form.resize(900, 600);
    auto *grid = new TKDBGrid(&form, QStringLiteral("DBG"));
    grid->SetAlign(TAlign::alClient);
    grid->SetOptions(grid->Options() + TDBGridOptions{dgRowSelect, dgMultiSelect});
    grid->SetDataSource(&source);
    form.show();
    QApplication::processEvents();
    grid->View()->viewport()->repaint();
    const double firstPaint = timer.nsecsElapsed() / 1e6;
    const int firstCells = grid->PaintedCells();
    grid->ResetPaintedCells();

    std::vector<double> steps, moves;
    long fetched = 0;
    data.ResetFetches();
    while (!data.Eof()) {
        timer.restart();
        grid->ScrollPages(1);
        moves.push_back(timer.nsecsElapsed() / 1e6);
        grid->View()->viewport()->repaint();
        steps.push_back(timer.nsecsElapsed() / 1e6);
        if (steps.size() > size_t(Rows))
            break;
    }
    fetched = data.Fetches();
    const int cells = grid->PaintedCells();
    std::sort(steps.begin(), steps.end());
    std::sort(moves.begin(), moves.end());
    double total = 0;
    for (double s : steps)
        total += s;
    std::printf("rows %d, shown rows %d, columns %d\n", Rows, grid->VisibleRowCount(),
                grid->View()->model()->columnCount());
    std::printf("first paint: %.2f ms, %d cells drawn (target <= 100 ms)\n", firstPaint, firstCells);
    std::printf("page steps: %zu, median %.3f ms, p99 %.3f ms (target <= 5 ms); mean %.3f ms, max %.3f ms\n",
                steps.size(), steps[steps.size() / 2], steps[steps.size() * 99 / 100],
                total / double(steps.size()), steps.back());
    std::printf("of which moving the dataset and the model: median %.3f ms, p99 %.3f ms\n", moves[moves.size() / 2],
                moves[moves.size() * 99 / 100]);
    std::printf("records fetched while scrolling: %ld (%.2f per row passed); cells drawn: %d (%.1f per step)\n",
                fetched, double(fetched) / Rows, cells, double(cells) / double(steps.size()));
    return 0;
}
