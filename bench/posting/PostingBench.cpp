// The road of one operation on the ledger benchmark's data set (100,000
// operations over 10 accounts and 5 years, 2,000 expense categories), in the
// main window: add a realised expense through the card (closed with OK by the
// modal hook), edit it, delete it (the question answered Yes), add a transfer.
// Each step includes UpdateBalances and the status-bar totals (month view;
// ZORBEL_BENCH_WHOLE=1: the whole period). Prints the
// minimum, the median and the worst of 50 runs of each step; target 16 ms each.
// With POSTING_PARTS set it first times the card's queries one by one;
// ZORBEL_BENCH_CATINDEX=1 adds an index by account and category (a what-if).
#include "core/ZorbMain.h"

#include "common/BenchHome.h"
#include "common/BenchSize.h"
#include "ledger/LedgerDataSet.h"
#include "platform/widgets/ModalScript.h"

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>

using namespace zorbel;
using namespace zorbel::bench;

namespace {

constexpr int Runs = 50;

double Ms(std::chrono::steady_clock::time_point from)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - from).count();
}

void Report(const char *what, std::vector<double> &ms)
{
    std::sort(ms.begin(), ms.end());
    std::printf("%-38s min %7.2f ms   median %7.2f ms   worst %7.2f ms   (target 16 ms)\n", what, ms.front(),
                ms[ms.size() / 2], ms.back());
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

} // namespace

int main(int argc, char **argv)
{
    TBenchHome home;
    const QString program = home.Program();
    QApplication app(argc, argv);

    TFormMain f(QStringList{}, program);
    const int operations = OperationCount(argc, argv, 100000);
    Fill(f, TSize{10, operations, 5, 40, 49});
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
        return 1;
    }
    std::printf("%d operations over 10 accounts, 2000 categories\n", operations);
    TFormCard &card = *f.Card();
    if (qEnvironmentVariableIsSet("POSTING_PARTS")) {
        TDm &dm = *f.Dm;
        dm.Tb_Hist.Insert();
        TPosting::SetOperationCategory(dm.Tb_Hist, TCategoryNode{101, 2, 100, 0});
        auto t = std::chrono::steady_clock::now();
        card.PrepareHistory(1);
        std::printf("category history %.2f ms (%d rows)\n", Ms(t), card.QitmHist.RecordCount());
        t = std::chrono::steady_clock::now();
        card.ShowMonthTotals(false);
        std::printf("month totals (three sums) %.2f ms\n", Ms(t));
        t = std::chrono::steady_clock::now();
        f.UpdateBalances(false, 0);
        std::printf("UpdateBalances %.2f ms\n", Ms(t));
        dm.Tb_Hist.Cancel();
        for (const QString &sql : card.QitmHist.SQL())
            std::printf("  %s\n", qPrintable(sql));
        card.QitmHist.Close();
        sqlite3_stmt *st = nullptr;
        const QByteArray plan = ("explain query plan " + card.QitmHist.SQL().join(' ')).toUtf8();
        sqlite3_prepare_v2(dm.Db.Db().Handle(), plan.constData(), -1, &st, nullptr);
        while (st && sqlite3_step(st) == SQLITE_ROW)
            std::printf("  plan: %s\n", sqlite3_column_text(st, 3));
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
            [&] { f.mMoneyNewClick(nullptr); }));
        edit.push_back(Timed(
            [&](TForm &) {
                ct->SetAsFloat(10);
                card.ButOk->Click();
            },
            [&] { f.mMoneyEditClick(nullptr); }));
        del.push_back(Timed([](TForm &q) { q.SetModalResult(mrYes); }, [&] { f.mMoneyDeleteClick(nullptr); }));
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
            [&] { f.mMoneyNewClick(nullptr); }));
    }
    Report("add a realised expense (card, OK)", add);
    Report("edit it (card, OK)", edit);
    Report("delete it (question, Yes)", del);
    Report("add a transfer (card, OK)", transfer);
    f.Dm->SetModified(false);
    return 0;
}
