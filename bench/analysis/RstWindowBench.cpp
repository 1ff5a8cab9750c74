// The results window itself on the large data set of the ledger benchmarks
// (ten accounts in two currencies, 2,000 categories in three levels: 40
// groups of 49 items under the expense root, operations over the five years
// before this one, 1 in 20 planned), at 100,000 operations (the reference)
// and at the number given as the first argument (1,000,000 by default), both
// data sets open at once and timed in the same rounds:
//   open      the window created for the year before last and shown, which
//             fills its grouped totals (TabRes, the status bar and the pie
//             chart) and paints it, then freed;
//   refresh   one RefreshResults after a condition change (kind box);
//   totals    TabRes and both charts filled for a year of every account
//             under the expense root, grouped by its 40 groups;
//   list      tab 1 opened on a year of every account and kind: a fifth of
//             the operations (20,000 rows at 100,000) with their names;
//   list 60k  tab 1 on the days from the first of that year that hold
//             60,000 operations of every account at the given size (6,000
//             at 100,000), the size of list the target names;
//   dynamics  tab 2, the days of the five years of every account and kind
//             with their running balances, as a table.
// Every contender is timed until the window has painted what it changed.
// Each line prints both sizes and their ratio. ZORBEL_BENCH_ONLY=text times
// only the contenders whose name holds the text.
// With "memory" as the second argument nothing is timed: one window is used
// as a user would (opened on the year, then its list of every account) at
// the given size, and the process's peak resident size is printed.
// Targets: open <= 200 ms, refresh <= 100 ms, totals <= 100 ms, a list of
// 60,000 rows <= 100 ms, dynamics <= 300 ms; at the large size within 2x the
// reference.
#include "analysis/AnalysisWindows.h"
#include "analysis/ZorbRst.h"
#include "common/BenchMemory.h"
#include "common/BenchSize.h"
#include "common/BenchTiming.h"
#include "ledger/LedgerDataSet.h"
#include "platform/sqltable/Database.h"
#include "core/ZorbMain.h"
#include "core/ZorbSandbox.h"
#include "platform/dataset/Fields.h"
#include "platform/widgets/ModalScript.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>

using namespace zorbel;
using namespace zorbel::bench;

namespace {

// The process's resident size now and at its peak, in MiB.
void PrintMemory(const char *when)
{
    const TResident r = Resident();
    std::printf("memory %-28s resident %6.1f MiB  peak %6.1f MiB\n", when, r.NowMiB, r.PeakMiB);
}

// The year of the totals and the list: the one before last of the five.
int ListYear() { return YearOfToday() - 2; }

std::unique_ptr<TFormRst> Window(TFormMain &Main, bool AllAccounts)
{
    // As the launcher does: the period and boxes are set before showing, and
    // showing fills the totals once.
    auto f = std::make_unique<TFormRst>(Main);
    f->resize(1000, 620);
    f->Updating = true;
    f->ChAcc->SetChecked(!AllAccounts);
    f->CbKind->SetItemIndex(AllAccounts ? 2 : 0);
    f->Updating = false;
    f->Period.Kind = rpYear;
    f->Period.FromDate = EncodeDate(ListYear(), 1, 1);
    f->Period.ToDate = EncodeDate(ListYear(), 12, 31);
    f->show(); // the pie page is drawn, the bar page waits until shown
    return f;
}

// Paints what the last step changed, as the event loop would before the
// user sees it.
void Paint(QWidget &W)
{
    QCoreApplication::processEvents();
    W.repaint();
}

// One data set in a main window of its own, with the windows its
// contenders reuse.
struct TSide {
    TSide(TSandbox &Box, const char *Folder, int Operations)
    {
        QDir().mkpath(Box.Path(Folder));
        TModalScript start;
        start.Press(QStringLiteral("Yes"));
        Main = std::make_unique<TFormMain>(QStringList{}, Box.Path(Folder));
        QElapsedTimer fill;
        fill.start();
        Fill(*Main, TSize{10, Operations, 5, 40, 49});
        std::printf("%d operations filled in %.1f s\n", Operations, fill.elapsed() / 1000.0);
        std::fflush(stdout);
    }
    // ListDays: the length of the short list's period (the same on both sides).
    void MakeWindows(int ListDays)
    {
        Refreshed = Window(*Main, false);
        Refreshed->RefreshResults();
        // The expense root ticked: grouped by its 40 groups of categories.
        Totals = Window(*Main, true);
        Totals->Updating = true;
        Totals->ChItm1->SetTag(0);
        Totals->ChItm1->SetCaption(QStringLiteral("Расход"));
        Totals->ChItm1->SetChecked(true);
        Totals->Updating = false;
        List = Window(*Main, true);
        List->TcGrp->SetTabIndex(1);
        ShortList = Window(*Main, true);
        ShortList->Period.ToDate = ShortList->Period.FromDate + ListDays - 1;
        ShortList->TcGrp->SetTabIndex(1);
        Dynamics = Window(*Main, true);
        Dynamics->Period.FromDate = EncodeDate(YearOfToday() - 5, 1, 1);
        Dynamics->Period.ToDate = EncodeDate(YearOfToday() - 1, 12, 31);
        Dynamics->CbDay->SetItemIndex(0);
        Dynamics->Cbars->SetItemIndex(2); // the table
        Dynamics->TcGrp->SetTabIndex(2);
    }
    std::unique_ptr<TFormMain> Main;
    std::unique_ptr<TFormRst> Refreshed, Totals, List, ShortList, Dynamics;
    int Groups = 0, Rows = 0, ShortRows = 0, Days = 0;
};

// The contenders of one side, named with its size.
std::vector<TContender> Contenders(TSide &S)
{
    return {
        {"open (year, current account)",
         [&S] {
             auto f = Window(*S.Main, false);
             Paint(*f); // the window and its shown chart are drawn
             if (f->TabRes.RecordCount() == 0)
                 std::fprintf(stderr, "open filled no totals\n");
         },
         {}},
        {"refresh (kind changed)",
         [&S] {
             S.Refreshed->CbKind->SetItemIndex(S.Refreshed->CbKind->ItemIndex() == 0 ? 2 : 0);
             S.Refreshed->RefreshResults();
             Paint(*S.Refreshed);
         },
         {}},
        {"totals and charts (40 groups)",
         [&S] {
             S.Totals->RefreshResults();
             Paint(*S.Totals);
             S.Groups = S.Totals->TabRes.RecordCount();
         },
         {}},
        {"list (tab 1, a year)",
         [&S] {
             S.List->RefreshResults();
             Paint(*S.List);
             S.Rows = S.List->Qhs().RecordCount();
         },
         {}},
        {"list (tab 1, 60,000 rows)",
         [&S] {
             S.ShortList->RefreshResults();
             Paint(*S.ShortList);
             S.ShortRows = S.ShortList->Qhs().RecordCount();
         },
         {}},
        {"dynamics (tab 2, days of 5 years)",
         [&S] {
             S.Dynamics->RefreshResults();
             Paint(*S.Dynamics);
             S.Days = S.Dynamics->TabDyn.RecordCount();
         },
         {}},
    };
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TSandbox box;
    RegisterAnalysisWindows();
    const int operations = OperationCount(argc, argv, 1000000);

    if (argc > 2 && std::strcmp(argv[2], "memory") == 0) {
        TSide side(box, "program", operations);
        PrintMemory("after the fill");
        auto f = Window(*side.Main, false);
        QCoreApplication::processEvents();
        PrintMemory("one window open");
        f->Updating = true;
        f->ChAcc->SetChecked(false);
        f->CbKind->SetItemIndex(2);
        f->Updating = false;
        f->TcGrp->SetTabIndex(1);
        f->RefreshResults();
        QCoreApplication::processEvents();
        std::printf("list rows %d\n", f->Qhs().RecordCount());
        PrintMemory("its list of every account");
        return 0;
    }

    constexpr int Reference = 100000;
    TSide small(box, "reference", Reference), large(box, "program", operations);
    // Five years of days hold the operations evenly: the days of 60,000 at
    // the given size.
    const int listDays = std::max(1, int(60000.0 * 5 * 365.25 / operations));
    small.MakeWindows(listDays);
    large.MakeWindows(listDays);
    PrintMemory("with both data sets and their windows");
    std::vector<TContender> a = Contenders(small), b = Contenders(large), c;
    // ZORBEL_BENCH_ONLY=text keeps the contenders whose name holds it (for a profile of one).
    const QByteArray only = qgetenv("ZORBEL_BENCH_ONLY");
    for (size_t i = 0; i < a.size(); ++i) {
        if (!only.isEmpty() && a[i].Name.find(only.constData()) == std::string::npos)
            continue;
        c.push_back(a[i]);
        c.push_back(b[i]);
    }
    RunInterleaved(c, 7, [] { QCoreApplication::processEvents(); });
    std::printf("%-36s %20s %20s %14s\n", "", "100000: min / median", "given: min / median", "ratio min/med");
    for (size_t i = 0; i < c.size(); i += 2)
        std::printf("%-36s %9.2f %9.2f ms %9.2f %9.2f ms %6.2f %6.2f\n", c[i].Name.c_str(), c[i].Min() * 1000,
                    c[i].Median() * 1000, c[i + 1].Min() * 1000, c[i + 1].Median() * 1000,
                    c[i + 1].Min() / c[i].Min(), c[i + 1].Median() / c[i].Median());
    for (TSide *s : {&small, &large})
        std::printf("groups %d, chart points %zu, list rows %d, short list rows %d, day rows %d\n", s->Groups,
                    s->Totals->DBChPie->Series(0).Points().size(), s->Rows, s->ShortRows, s->Days);
    PrintMemory("after the runs");
    return 0;
}
