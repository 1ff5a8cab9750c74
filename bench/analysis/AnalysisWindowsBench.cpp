// The monthly balances, year by category, future days and limits windows
// over 10 accounts and 5 years with 2,000 categories in three levels (one in
// three with a limit), at 100,000 operations (the reference) and at the
// number given as the first argument (1,000,000 by default), both data sets
// open at once and timed in the same rounds: each window opened through the
// main window's command, computed and closed, timed from the command to the
// close.
//   rest    all accounts of the currency, the year tables and the chart;
//   diff    last year at level 3, all accounts of the currency;
//   days    the days after today of one account (its plans over the coming
//           year, one for every thousand operations);
//   lim     one month at depth 3, every turnover and every limit, with totals.
// The ledger's day sums are built first, as the main window builds them
// once it has painted; the computations alone follow, with the day sums as
// the windows pass them, the monthly balances and the future days also
// without (the query over the operations, what a click before the sums are
// built waits for). The days window is checked, on its first untimed
// opening, to list the days FillDays lists, so that its line times the list
// the user sees.
// Each line prints both sizes and their ratio. A second argument runs only
// the lines whose name starts with it ("diff", "days: "), e.g. under a
// profiler.
// Target: each window <= 200 ms (the limits window <= 100 ms), at the large
// size within 2x the reference.
#include "analysis/AnalysisWindows.h"
#include "analysis/ZorbDays.h"
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

// Opens the window of Item and closes it as soon as it is shown (after
// Shown has looked at it).
double OpenOnce(TMenuItem *Item, const std::function<void(TForm &)> &Shown = {})
{
    TModalScript script;
    script.Then([&Shown](TForm &f) {
        if (Shown)
            Shown(f);
        f.Close();
    });
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

// One data set in a main window of its own, set as the windows expect.
struct TSide {
    TSide(const QString &Program, int Operations) : Main(QStringList{}, Program)
    {
        Fill(Main, TSize{10, Operations, 5, 40, 49});
        sqlite3 *db = Main.Dm->Db.Db().Handle();
        Main.Dm->Db.ReleaseStatements();
        Check(sqlite3_exec(db, "update tb_items set lim=id_itm*10, qlim=id_itm where id_itm%3=0", nullptr,
                           nullptr, nullptr),
              db);
        // Plans of the account the windows show, on days after today.
        sqlite3_stmt *plan = nullptr;
        Check(sqlite3_prepare_v2(db,
                                 "insert into tb_hist(id_account,date_real,date_create,kind,ct,level1,level2,level3,"
                                 "rate,yr,mn) values(3,?1,?1+0.5+?5*1e-6,'2',?2,0,100,101,1,?3,?4)",
                                 -1, &plan, nullptr),
              db);
        for (int i = 0; i < Operations / 1000; ++i) {
            const TDateTime day = Date() + 1 + i % 365;
            int y, m, d;
            DecodeDate(day, y, m, d);
            sqlite3_bind_int64(plan, 1, qint64(day));
            sqlite3_bind_double(plan, 2, 10 + i % 97);
            sqlite3_bind_int(plan, 3, y);
            sqlite3_bind_int(plan, 4, m);
            sqlite3_bind_int(plan, 5, i);
            Check(sqlite3_step(plan), db);
            sqlite3_reset(plan);
        }
        sqlite3_finalize(plan);
        Main.Dm->Tb_Hist.Refresh();
        // An account of the currency most accounts share; the last full year.
        Main.Dm->Tb_Account.Locate("Id_Account", 3, {});
        Main.EntryDate = EncodeDate(YearOfToday() - 1, 6, 15);
        Main.LimPlan = Main.DiffAcc = true;
        Main.BalCur = 1;
        Main.BalSel = 0;
        Main.LimLev = Main.DiffLev = 3;
        Main.LimFilter = 2;
        Main.LimSum = true;
        Main.Dm->HistSums.Build();
        OpenRestTables(Rest, Years);
        OpenDiffTable(Diff);
        OpenDaysTable(Days);
        OpenLimTables(Lim, Sums);
    }
    ~TSide()
    {
        Main.Dm->SetModified(false);
        Main.mCloseNotSaveClick(&Main);
    }
    // The days window lists what FillDays lists, and not nothing.
    void CheckDays(TForm &Form)
    {
        const auto *days = dynamic_cast<TFormDays *>(&Form);
        FillDays(Main.Dm->Db, Scope().AccountId, 0, Date(), Days, &Main.Dm->HistSums);
        if (!days || Days.RecordCount() == 0 || days->TbDays.RecordCount() != Days.RecordCount()) {
            std::fprintf(stderr, "the days window lists %d days, FillDays %d\n", days ? days->TbDays.RecordCount() : -1,
                         Days.RecordCount());
            std::exit(1);
        }
    }
    TAccountScope Scope()
    {
        TTable &acc = Main.Dm->Tb_Account;
        return {acc.FieldByName("Id_Account")->AsInteger(), acc.FieldByName("Currency")->AsString(), true, false};
    }
    std::vector<std::pair<std::string, std::function<void()>>> Runs()
    {
        const int year = YearOfToday() - 1;
        return {
            {"rest (balances, chart)", [this] { OpenOnce(Main.mRest); }},
            {"diff (year, level 3)", [this] { OpenOnce(Main.mCompare); }},
            {"days (future days)",
             [this] {
                 // Checked on the first, untimed, opening only.
                 std::function<void(TForm &)> check;
                 if (!DaysChecked)
                     check = [this](TForm &f) { CheckDays(f); };
                 OpenOnce(Main.mDays, check);
                 DaysChecked = true;
             }},
            {"lim (month, depth 3, limits)", [this] { OpenOnce(Main.mLim); }},
            {"rest: ComputeMonthlyBalances",
             [this] { ComputeMonthlyBalances(Main.Dm->Db, Scope(), 0, Rest, Years, &Main.Dm->HistSums); }},
            {"  reference: without the day sums", [this] { ComputeMonthlyBalances(Main.Dm->Db, Scope(), 0, Rest, Years); }},
            {"diff: ComputeYearItemTotals", [this, year] { ComputeYearItemTotals(Main.Dm->Db, {year, 3, Scope(), true}, Diff); }},
            {"days: FillDays", [this] { FillDays(Main.Dm->Db, Scope().AccountId, 0, Date(), Days, &Main.Dm->HistSums); }},
            {"  reference: without the day sums", [this] { FillDays(Main.Dm->Db, Scope().AccountId, 0, Date(), Days); }},
            {"lim: turnovers, totals, sort",
             [this, year] {
                 ComputeLimitTurnovers(Main.Dm->Db, {year, 6, 3, Scope(), TLimContents::TurnoversAndLimits}, Lim);
                 ComputeLimitTotals(Lim, Sums);
                 Lim.Sort();
             }},
        };
    }
    TFormMain Main;
    TVemtMemTable Rest, Years, Diff, Days, Lim, Sums;
    bool DaysChecked = false;
};

} // namespace

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    for (const char *v : {"TMPDIR", "XDG_CONFIG_HOME", "XDG_DATA_HOME"})
        qputenv(v, home.path().toUtf8());
    QApplication app(argc, argv);
    RegisterAnalysisWindows();
    const int operations = OperationCount(argc, argv, 1000000);
    for (const char *folder : {"/reference", "/program"})
        QDir().mkpath(home.path() + folder);
    TSide small(home.path() + "/reference", 100000), large(home.path() + "/program", operations);
    auto a = small.Runs(), b = large.Runs();
    std::printf("%-36s %22s %22s %14s\n", "", "100000: min / median", "given: min / median", "ratio min/med");
    const char *only = argc > 2 ? argv[2] : "";
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].first.rfind(only, 0) != 0)
            continue;
        std::vector<TContender> c{{a[i].first, a[i].second, {}}, {b[i].first, b[i].second, {}}};
        c[0].Run(); // warm the page cache once
        c[1].Run();
        RunInterleaved(c, 9);
        std::printf("%-36s %9.2f %9.2f ms %9.2f %9.2f ms %6.2f %6.2f\n", c[0].Name.c_str(), c[0].Min() * 1000,
                    c[0].Median() * 1000, c[1].Min() * 1000, c[1].Median() * 1000, c[1].Min() / c[0].Min(),
                    c[1].Median() / c[0].Median());
        std::fflush(stdout);
    }
    for (TSide *s : {&small, &large})
        std::printf("rows: %d months, %d year rows, %d categories of the year, %d limit rows\n", s->Rest.RecordCount(),
                    s->Years.RecordCount(), s->Diff.RecordCount(), s->Lim.RecordCount());
    return 0;
}
