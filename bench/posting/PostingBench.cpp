// The road of one operation on the ledger benchmark's data set (100,000
// operations, or the number given as the first argument, over 10 accounts
// and 5 years, 2,000 expense categories), in the shown main window: add a
// realised expense through the card (closed with OK by the modal hook), edit
// it, delete it (the question answered Yes), add a transfer. Each step
// includes UpdateBalances, the status-bar totals and the repaint of the
// ledger's grid and status bar after the card closes: what the user waits
// for (month view; ZORBEL_BENCH_WHOLE=1: the whole period). The same steps
// run first on 10,000 operations (ZORBEL_BENCH_SMALL=n for another size) in
// the same run, the reference each step's ratio is printed against. Prints
// the minimum, the median and the worst of 50 runs of each step; target
// 16 ms each, within 1.3 x the reference.
// With POSTING_PARTS set it first times the card's queries one by one;
// ZORBEL_BENCH_CATINDEX=1 adds an index by account and category (a what-if).
#include "core/ZorbMain.h"

#include "common/BenchHome.h"
#include "common/BenchSize.h"
#include "ledger/LedgerDataSet.h"
#include "platform/widgets/ModalScript.h"

#include <QApplication>
#include <QProcess>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

using namespace zorbel;
using namespace zorbel::bench;

namespace {

constexpr int Runs = 50;

double Ms(std::chrono::steady_clock::time_point from)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - from).count();
}

void Report(const char *what, std::vector<double> ms, std::vector<double> ref)
{
    std::sort(ms.begin(), ms.end());
    std::sort(ref.begin(), ref.end());
    const double median = ms[ms.size() / 2], refMedian = ref[ref.size() / 2];
    std::printf("%-38s min %7.2f ms   median %7.2f ms   worst %7.2f ms   (target 16 ms) %s   reference median "
                "%7.2f ms, %5.2fx (target 1.3x) %s\n",
                what, ms.front(), median, ms.back(), median <= 16 ? "ok" : "OVER", refMedian, median / refMedian,
                median / refMedian <= 1.3 ? "ok" : "OVER");
}

void Paint(TFormMain &f)
{
    f.DBG->View()->viewport()->repaint();
    f.Sb->repaint();
}

// Times Step; the card or question it opens is answered by Answer.
double Timed(const std::function<void(TForm &)> &Answer, const std::function<void()> &Step)
{
    TModalScript script;
    if (Answer)
        script.Then(Answer);
    const auto t = std::chrono::steady_clock::now();
    Step();
    const double ms = Ms(t);
    if (!script.Finished()) {
        std::fprintf(stderr, "a window did not close: %s\n", qPrintable(script.Errors().join(u'\n')));
        std::exit(1);
    }
    return ms;
}

struct TSteps {
    std::vector<double> Add, Edit, Del, Transfer;
};

// The four steps, Runs times, on a new data set of the given size.
TSteps RunSteps(const QString &program, int operations)
{
    TFormMain f(QStringList{}, program);
    Fill(f, TSize{10, operations, 5, 40, 49});
    f.resize(1000, 650);
    f.Show();
    QApplication::processEvents();
    // What-if: an index by account and category for the card's history.
    if (qEnvironmentVariableIsSet("ZORBEL_BENCH_CATINDEX"))
        f.Dm->Db.Db().Exec(QStringLiteral("create index bench_cat on tb_hist(id_account,level3,date_real)"));
    // The day sums of the balances, as the shown window fills them when idle.
    f.Dm->HistSums.Build();
    f.EntryDate = Date();
    f.CbPer->SetItemIndex(qEnvironmentVariableIsSet("ZORBEL_BENCH_WHOLE") ? 0 : pkMonth); // as the ledger's figures
    f.CbPerClick(f.CbPer);
    TTreeView *tv = f.TvCt;
    f.BuildCategoryTree(tv, false, true, false, true);
    TTreeNode *leaf = f.FindCategoryNode(tv, 101);
    TTreeNode *transferNode = f.FindCategoryNode(tv, -1);
    if (!leaf || !transferNode) {
        std::fprintf(stderr, "the expense tree lacks a leaf or the transfer node\n");
        std::exit(1);
    }
    TFormCard &card = *f.Card();
    // The parts go to the error stream, which the parent passes on: its
    // standard output holds only the lines of times it parses.
    if (qEnvironmentVariableIsSet("POSTING_PARTS")) {
        TDm &dm = *f.Dm;
        dm.Tb_Hist.Insert();
        TPosting::SetOperationCategory(dm.Tb_Hist, TCategoryNode{101, 2, 100, 0});
        auto t = std::chrono::steady_clock::now();
        card.PrepareHistory(1);
        std::fprintf(stderr, "category history %.2f ms (%d rows)\n", Ms(t), card.QitmHist.RecordCount());
        t = std::chrono::steady_clock::now();
        card.ShowMonthTotals(false);
        std::fprintf(stderr, "month totals (three sums) %.2f ms\n", Ms(t));
        t = std::chrono::steady_clock::now();
        f.UpdateBalances(false, 0);
        std::fprintf(stderr, "UpdateBalances %.2f ms\n", Ms(t));
        dm.Tb_Hist.Cancel();
        for (const QString &sql : card.QitmHist.SQL())
            std::fprintf(stderr, "  %s\n", qPrintable(sql));
        card.QitmHist.Close();
        sqlite3_stmt *st = nullptr;
        const QByteArray plan = ("explain query plan " + card.QitmHist.SQL().join(' ')).toUtf8();
        sqlite3_prepare_v2(dm.Db.Db().Handle(), plan.constData(), -1, &st, nullptr);
        while (st && sqlite3_step(st) == SQLITE_ROW)
            std::fprintf(stderr, "  plan: %s\n", sqlite3_column_text(st, 3));
        sqlite3_finalize(st);
    }

    TField *ct = f.Dm->Tb_Hist.FieldByName(QStringLiteral("Ct"));
    std::vector<double> add, edit, del, transfer;
    for (int run = 0; run < Runs; ++run) {
        tv->SetSelected(leaf);
        add.push_back(Timed(
            [&](TForm &) {
                ct->SetAsFloat(12.5);
                card.ButOk->Click();
            },
            [&] {
                f.mMoneyNewClick(nullptr);
                Paint(f);
            }));
        edit.push_back(Timed(
            [&](TForm &) {
                ct->SetAsFloat(10);
                card.ButOk->Click();
            },
            [&] {
                f.mMoneyEditClick(nullptr);
                Paint(f);
            }));
        del.push_back(Timed([](TForm &q) { q.SetModalResult(mrYes); }, [&] {
            f.mMoneyDeleteClick(nullptr);
            Paint(f);
        }));
        tv->SetSelected(transferNode);
        transfer.push_back(Timed(
            [&](TForm &) {
                ct->SetAsFloat(5);
                card.DBLTrans->RefreshList();
                card.DBLTrans->setCurrentIndex(-1);
                card.DBLTrans->setCurrentIndex(run % 8);
                if (card.GrRate->isVisibleTo(&card)) { // across currencies: the amount received
                    f.Dm->Qtrans.Edit();
                    f.Dm->Qtrans.FieldByName(QStringLiteral("Dt"))->SetAsFloat(5.0 / 90);
                }
                card.ButOk->Click();
            },
            [&] {
                f.mMoneyNewClick(nullptr);
                Paint(f);
            }));
    }
    f.Dm->SetModified(false);
    f.mCloseNotSaveClick(&f);
    return {add, edit, del, transfer};
}

} // namespace

int main(int argc, char **argv)
{
    TBenchHome home;
    const QString program = home.Program();
    QApplication app(argc, argv);
    const int operations = OperationCount(argc, argv, 100000);
    const int reference = qEnvironmentVariableIsSet("ZORBEL_BENCH_SMALL")
                              ? qEnvironmentVariableIntValue("ZORBEL_BENCH_SMALL")
                              : 10000;
    // "--steps N": one data set's steps, printed as lines of times for the
    // parent (a window remembers the last data set of its home, so each size
    // runs in a process and home of its own).
    if (argc > 2 && std::strcmp(argv[1], "--steps") == 0) {
        const TSteps steps = RunSteps(program, std::atoi(argv[2]));
        for (const std::vector<double> *v : {&steps.Add, &steps.Edit, &steps.Del, &steps.Transfer}) {
            for (double ms : *v)
                std::printf("%.4f ", ms);
            std::printf("\n");
        }
        return 0;
    }
    const auto child = [&](int n) {
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(QCoreApplication::applicationFilePath(), {"--steps", QString::number(n)});
        if (!p.waitForFinished(1800000) || p.exitCode() != 0) {
            std::fprintf(stderr, "the steps on %d operations failed\n", n);
            std::exit(1);
        }
        std::vector<std::vector<double>> lines;
        for (const QByteArray &line : p.readAllStandardOutput().split('\n')) {
            std::vector<double> v;
            for (const QByteArray &x : line.split(' '))
                if (!x.isEmpty())
                    v.push_back(x.toDouble());
            if (!v.empty())
                lines.push_back(v);
        }
        if (lines.size() != 4) {
            std::fprintf(stderr, "the steps on %d operations printed no times\n", n);
            std::exit(1);
        }
        return TSteps{lines[0], lines[1], lines[2], lines[3]};
    };
    const TSteps small = child(reference);
    const TSteps big = child(operations);
    std::printf("%d operations over 10 accounts, 2000 categories\n", operations);
    std::printf("reference: the same steps on %d operations\n", reference);
    Report("add a realised expense (card, OK)", big.Add, small.Add);
    Report("edit it (card, OK)", big.Edit, small.Edit);
    Report("delete it (question, Yes)", big.Del, small.Del);
    Report("add a transfer (card, OK)", big.Transfer, small.Transfer);
    return 0;
}
