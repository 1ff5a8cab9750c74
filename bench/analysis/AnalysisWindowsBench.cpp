// The monthly balances, year by category, future days and limits windows on
// 100,000 operations (or the number given as the first argument) over 10
// accounts and 5 years with 2,000 categories (one in three with a limit): each window opened through the main window's
// command, computed and closed, timed from the command to the close.
//   rest    all accounts of the currency, the year tables and the chart;
//   diff    last year at level 3, all accounts of the currency;
//   days    the days after today of one account;
//   lim     one month at depth 3, every turnover and every limit, with totals.
// Target: each window <= 200 ms (the limits window <= 100 ms).
#include "analysis/AnalysisWindows.h"
#include "analysis/ZorbDaysCalc.h"
#include "analysis/ZorbDiffCalc.h"
#include "analysis/ZorbLimCalc.h"
#include "analysis/ZorbRestCalc.h"
#include "common/BenchSize.h"
#include "common/BenchTiming.h"
#include "core/ZorbLaunch.h"
#include "ledger/LedgerDataSet.h"
#include "platform/widgets/ModalScript.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <functional>

using namespace zorbel;
using namespace zorbel::bench;

namespace {

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Opens the window of Item and closes it as soon as it is shown.
double OpenOnce(TMenuItem *Item)
{
    TModalScript script;
    script.Then([](TForm &f) { f.Close(); });
    QElapsedTimer t;
    t.start();
    Item->Click();
    const double ms = t.nsecsElapsed() / 1e6;
    if (!script.Finished()) {
        std::fprintf(stderr, "window did not open: %s\n", qPrintable(script.Errors().join(u';')));
        std::exit(1);
    }
    return ms;
}

} // namespace

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    for (const char *v : {"TMPDIR", "XDG_CONFIG_HOME", "XDG_DATA_HOME"})
        qputenv(v, home.path().toUtf8());
    const QString program = home.path() + "/program";
    QDir().mkpath(program);
    QApplication app(argc, argv);
    RegisterAnalysisWindows();

    TFormMain f(QStringList{}, program);
    Fill(f, TSize{10, OperationCount(argc, argv, 100000), 5, 40, 49});
    sqlite3 *db = f.Dm->Db.Db().Handle();
    f.Dm->Db.ReleaseStatements();
    Check(sqlite3_exec(db, "update tb_items set lim=id_itm*10, qlim=id_itm where id_itm%3=0", nullptr, nullptr,
                       nullptr),
          db);
    // An account of the currency most accounts share; the last full year.
    f.Dm->Tb_Account.Locate("Id_Account", 3, {});
    const int year = YearOfToday() - 1;
    f.EntryDate = EncodeDate(year, 6, 15);
    f.LimPlan = f.DiffAcc = true;
    f.BalCur = 1;
    f.BalSel = 0;
    f.LimLev = f.DiffLev = 3;
    f.LimFilter = 2;
    f.LimSum = true;

    const std::pair<const char *, TMenuItem *> windows[] = {
        {"rest (balances, chart)", f.mRest}, {"diff (year, level 3)", f.mCompare},
        {"days (future days)", f.mDays}, {"lim (month, depth 3, limits)", f.mLim}};
    std::printf("%-32s %9s %9s %9s\n", "window", "median", "best", "worst");
    for (const auto &[name, item] : windows) {
        std::vector<double> ms;
        OpenOnce(item); // warm the page cache once
        for (int i = 0; i < 9; ++i)
            ms.push_back(OpenOnce(item));
        std::printf("%-32s %9.1f %9.1f %9.1f\n", name, Median(ms), *std::min_element(ms.begin(), ms.end()),
                    *std::max_element(ms.begin(), ms.end()));
    }

    // The computations alone (queries and memory tables, no window).
    TVemtMemTable rest, years, diff, days, lim, sums;
    OpenRestTables(rest, years);
    OpenDiffTable(diff);
    OpenDaysTable(days);
    OpenLimTables(lim, sums);
    TTable &acc = f.Dm->Tb_Account;
    const TAccountScope scope{acc.FieldByName("Id_Account")->AsInteger(), acc.FieldByName("Currency")->AsString(),
                              true, false};
    const std::pair<const char *, std::function<void()>> computations[] = {
        {"rest: ComputeMonthlyBalances", [&] { ComputeMonthlyBalances(f.Dm->Db, scope, 0, rest, years); }},
        {"diff: ComputeYearItemTotals", [&] { ComputeYearItemTotals(f.Dm->Db, {year, 3, scope, true}, diff); }},
        {"days: FillDays", [&] { FillDays(f.Dm->Db, scope.AccountId, 0, Date(), days); }},
        {"lim: turnovers, totals, sort", [&] {
             ComputeLimitTurnovers(f.Dm->Db, {year, 6, 3, scope, TLimContents::TurnoversAndLimits}, lim);
             ComputeLimitTotals(lim, sums);
             lim.Sort();
         }}};
    for (const auto &[name, run] : computations) {
        std::vector<double> ms;
        for (int i = 0; i < 9; ++i) {
            QElapsedTimer t;
            t.start();
            run();
            ms.push_back(t.nsecsElapsed() / 1e6);
        }
        std::printf("%-32s %9.1f %9.1f %9.1f\n", name, Median(ms), *std::min_element(ms.begin(), ms.end()),
                    *std::max_element(ms.begin(), ms.end()));
    }
    std::printf("rows: %d months, %d year rows, %d categories of the year, %d limit rows\n", rest.RecordCount(),
                years.RecordCount(), diff.RecordCount(), lim.RecordCount());
    f.Dm->SetModified(false);
    f.mCloseNotSaveClick(&f);
    return 0;
}
