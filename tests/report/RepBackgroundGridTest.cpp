// A background run walks a table that a grid on screen shows (a window stays
// open under the modal preview): the grid's painting must neither move the
// table's record under the run nor read its buffers, and the rows come back
// when the run ends.
#include "RepReportSupport.h"

#include "platform/dataset/DataSource.h"
#include "platform/widgets/DBGrids.h"
#include "platform/widgets/Forms.h"
#include "report/RepPreviewForm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

namespace zorbel::test {
namespace {

TEST(RepBackgroundGridTest, AGridLeavesTheWalkedTableAloneUntilTheRunEnds)
{
    RepPreviewInterface().reset(); // no preview window: the test reads the pages itself
    constexpr int rows = 3000;
    ListReport r;
    r.Rows(rows);
    r.Add(rbDetail, 50).Add(Expr(QStringLiteral("nm"), 0, 0));
    r.table->First();

    TDataSource source{r.table.get()};
    TForm form;
    form.resize(400, 300);
    auto *grid = new TDBGrid(&form, QStringLiteral("G"));
    grid->SetAlign(TAlign::alClient);
    grid->SetDataSource(&source);
    bool running = false;
    int drawnDuringRun = 0, drawnAfter = 0;
    grid->OnDrawColumnCell = [&](TObject *, const QRect &, int, TColumn *, TGridDrawState) {
        ++(running ? drawnDuringRun : drawnAfter);
    };
    form.show();
    QApplication::processEvents();

    r.report.GenerateInThread(false);
    int paints = 0;
    QElapsedTimer t;
    t.start();
    while (r.report.RunningInBackground() && t.elapsed() < 60000) {
        running = true;
        grid->View()->viewport()->repaint();
        running = false;
        ++paints;
        QApplication::processEvents();
    }
    ASSERT_FALSE(r.report.RunningInBackground());
    EXPECT_GT(paints, 0);
    EXPECT_EQ(drawnDuringRun, 0) << "a cell was drawn from the table while the run walked it";

    // Every detail printed its own row, in the table's order.
    TRepPrinter *printer = r.report.RepPrinter;
    ASSERT_NE(printer, nullptr);
    QStringList printed;
    for (int page = 1; page <= printer->AvailablePages(); ++page)
        for (const PageText &text : TextsOf(*printer, page))
            printed << text.Text;
    ASSERT_EQ(printed.size(), rows);
    for (int i = 0; i < rows; ++i)
        ASSERT_EQ(printed[i], QStringLiteral("Строка %1").arg(i + 1)) << "line " << i + 1;

    // The run's end gives the rows back to the grid.
    grid->View()->viewport()->repaint();
    EXPECT_GT(drawnAfter, 0);
    EXPECT_FALSE(r.table->WalkedByRun());
    EXPECT_FALSE(r.table->ControlsDisabled());
}

} // namespace
} // namespace zorbel::test
