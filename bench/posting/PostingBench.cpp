// The road of one operation on a data set of 100,000 operations over 10
// accounts, 5 years and 40 categories: add a realised expense through the card (closed with
// OK by the modal hook), edit it, delete it, add a transfer. Every step
// includes the balance update and the status-bar totals (the period's and
// the opening sums and the planned sums, as the ledger computes them).
// Prints the median and the worst of 50 runs of each step. With
// POSTING_PARTS set it first times the card's queries one by one.
#include "core/ZorbCard.h"

#include "archive/ZipReader.h"
#include "platform/rtl/Format.h"
#include "platform/widgets/ModalScript.h"

#include <QApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>

using namespace zorbel;

namespace {

constexpr int Accounts = 10, Rows = 100000, Runs = 50;
constexpr int Categories = 40; // leaf categories the operations spread over

QString U(const char *text) { return QString::fromUtf8(text); }

double Ms(std::chrono::steady_clock::time_point from)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - from).count();
}

// The balance routine with the status bar's queries: Rest, the opening
// balance, the period's realised and planned sums.
class TBenchHost : public TDmHost, public TPostHost {
public:
    TDateTime EntryDate() const override { return Date(); }
    void UpdateBalances(TDm &dm, bool recompute, int64_t delta) override
    {
        TPostHost::UpdateBalances(dm, recompute, delta);
        const Variant acc = dm.Tb_Account.FieldByName(QStringLiteral("Id_Account"))->AsVariant();
        const TDateTime begin = EncodeDate(2026, 1, 1), end = EncodeDate(2026, 12, 31);
        const auto sums = [&](TQuery &q, TDateTime d1, TDateTime d2) {
            q.Close();
            q.ParamByName(QStringLiteral("id_account"))->SetAsSmallInt(acc.AsInteger());
            q.ParamByName(QStringLiteral("d1"))->SetAsDate(d1);
            q.ParamByName(QStringLiteral("d2"))->SetAsDate(d2);
            q.Open();
            total += q.Fields()[0]->AsFloat() - q.Fields()[1]->AsFloat();
            q.Close();
        };
        if (recompute)
            sums(dm.Qsum, 0, begin - 1);
        sums(dm.Qsum, begin, end);
        sums(dm.Qplan, Date(), end);
    }
    void ApplyLedgerRange(TDm &dm) override
    {
        const Variant acc = dm.Tb_Account.FieldByName(QStringLiteral("Id_Account"))->AsVariant();
        dm.Tb_Hist.SetRange({acc}, {acc});
    }
    double total = 0;
};

void Fill(TDm &dm)
{
    TSqliteDb &db = dm.Db.Db();
    db.Exec(QStringLiteral("BEGIN"));
    TTable &acc = dm.Tb_Account;
    for (int a = acc.RecordCount() + 1; a <= Accounts; ++a) {
        acc.Insert();
        acc.FieldByName(QStringLiteral("Account"))->SetAsString(U("Счёт ") + QString::number(a));
        acc.FieldByName(QStringLiteral("Currency"))->SetAsString(a % 2 ? U("руб") : U("$"));
        acc.FieldByName(QStringLiteral("Rate"))->SetAsFloat(a % 2 ? 1 : 90);
        acc.Post();
    }
    TSqliteStatement ins(db, QStringLiteral("insert into Tb_Hist (Id_Account,Date_Real,Date_Create,Kind,Dt,Ct,"
                                            "Level1,Level2,Level3,Comment,Rate,Yr,Mn) values (?,?,?,?,?,?,?,?,?,?,?,?,?)"));
    std::mt19937 rnd(7);
    const TDateTime first = EncodeDate(2022, 1, 1);
    for (int i = 0; i < Rows; ++i) {
        const int day = int(first) + int(rnd() % 1826);
        int y = 0, m = 0, d = 0;
        DecodeDate(day, y, m, d);
        ins.Reset();
        ins.BindInt(1, 1 + i % Accounts);
        ins.BindDouble(2, day);
        ins.BindDouble(3, 45000.0 + i / 86400.0);
        ins.BindText(4, QStringLiteral("1"));
        const bool income = i % 5 == 0;
        ins.BindNull(income ? 6 : 5);
        ins.BindDouble(income ? 5 : 6, double(rnd() % 100000) / 100);
        ins.BindInt(7, income ? 1 : 0);
        ins.BindInt(8, 10);
        ins.BindInt(9, 11 + (i / Accounts) % Categories); // the card's category (11) is one of them
        ins.BindText(10, U("Покупка ") + QString::number(i));
        ins.BindDouble(11, 1);
        ins.BindInt(12, y);
        ins.BindInt(13, m);
        ins.Step();
    }
    db.Exec(QStringLiteral("COMMIT"));
    // Rest follows the operations, as the posting keeps it.
    db.Exec(QStringLiteral("update tb_account set beg=0, rest=(select coalesce(sum(coalesce(dt,0))-sum(coalesce(ct,0)),0) "
                           "from tb_hist h where h.id_account=tb_account.id_account and kind='1')"));
    acc.Refresh();
    TTable &items = dm.Tb_Items;
    for (const auto &[id, parent, level, name] :
         {std::tuple{-1, -100, 0, "ПЕРЕВОД"}, {10, 0, 1, "Еда"}, {11, 10, 2, "Хлеб"}}) {
        if (items.FindKey({Variant(int16_t(id))}))
            continue;
        items.Insert();
        items.FieldByName(QStringLiteral("ITM"))->SetAsString(U(name));
        if (parent != -100)
            items.FieldByName(QStringLiteral("ID_REF"))->SetAsInteger(parent);
        items.FieldByName(QStringLiteral("LEV"))->SetAsInteger(level);
        items.Post();
        items.Edit();
        items.FieldByName(QStringLiteral("ID_ITM"))->SetAsInteger(id);
        items.Post();
    }
}

void UnpackTemplate(const QString &folder)
{
    TZipReader zip;
    zip.SetDestDir(folder);
    zip.SetDoAll(true);
    zip.SetOverwriteMode(TUZOverwriteMode::Always);
    TDm::ExtractTemplate(zip);
}

void Report(const char *what, std::vector<double> &ms)
{
    std::sort(ms.begin(), ms.end());
    std::printf("%-34s median %7.2f ms   worst %7.2f ms   (target 16 ms)\n", what, ms[ms.size() / 2], ms.back());
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    TBenchHost host;
    TDm dm(&host);
    dm.Db.SetParams({QStringLiteral("PATH=") + dir.path()});
    UnpackTemplate(dir.path());
    if (!dm.OpenDataSet({}).Opened)
        return 1;
    Fill(dm);
    dm.Tb_Person.Open();
    dm.Tb_Firm.Open();
    dm.Tb_Account.First();
    host.ApplyLedgerRange(dm);
    std::printf("%d operations over %d accounts\n", Rows, Accounts);

    TPosting post(dm, host);
    post.EntryDate = Date();
    TMainOptions options;
    TFormCard card(dm, post, options);
    TCardTrees trees;
    trees.ExpenseNode = TCategoryNode{11, 2, 10, 0};
    std::vector<double> add, edit, del, transfer;
    if (qEnvironmentVariableIsSet("POSTING_PARTS")) {
        dm.Tb_Hist.Insert();
        TPosting::SetOperationCategory(dm.Tb_Hist, *trees.ExpenseNode);
        auto t = std::chrono::steady_clock::now();
        card.PrepareHistory(1);
        std::printf("history %.2f ms (%d rows)\n", Ms(t), card.QitmHist.RecordCount());
        t = std::chrono::steady_clock::now();
        TMonthSums sums;
        ReadMonthSums(dm, QStringLiteral("level3"), 11, false, {}, 1, 2026, 5, sums);
        std::printf("month sums %.2f ms\n", Ms(t));
        t = std::chrono::steady_clock::now();
        card.ShowMonthTotals(false);
        std::printf("month totals %.2f ms\n", Ms(t));
        t = std::chrono::steady_clock::now();
        post.DayRate(1, Date());
        std::printf("day rate %.2f ms\n", Ms(t));
        dm.Tb_Hist.Cancel();
        card.QitmHist.Close();
    }
    for (int run = 0; run < Runs; ++run) {
        TModalScript script;
        script.Then([&](TForm &) {
            dm.Tb_Hist.FieldByName(QStringLiteral("Ct"))->SetAsFloat(12.5);
            card.ButOk->Click();
        });
        auto t = std::chrono::steady_clock::now();
        trees.ExpenseShown = true;
        RunOperationCard(dm, post, card, true, trees);
        add.push_back(Ms(t));
        script.Then([&](TForm &) {
            dm.Tb_Hist.FieldByName(QStringLiteral("Ct"))->SetAsFloat(10);
            card.ButOk->Click();
        });
        t = std::chrono::steady_clock::now();
        RunOperationCard(dm, post, card, false, trees);
        edit.push_back(Ms(t));
        t = std::chrono::steady_clock::now();
        post.DeleteOperation();
        del.push_back(Ms(t));
        trees.ExpenseNode = TCategoryNode{-1, 0, 0, 0};
        script.Then([&](TForm &) {
            dm.Tb_Hist.FieldByName(QStringLiteral("Ct"))->SetAsFloat(5);
            card.DBLTrans->RefreshList();
            card.DBLTrans->setCurrentIndex(-1);
            card.DBLTrans->setCurrentIndex(run % 8 + 1);
            if (card.GrRate->isVisibleTo(&card)) { // across currencies: the amount received
                dm.Qtrans.Edit();
                dm.Qtrans.FieldByName(QStringLiteral("Dt"))->SetAsFloat(5.0 / 90);
            }
            card.ButOk->Click();
        });
        t = std::chrono::steady_clock::now();
        RunOperationCard(dm, post, card, true, trees);
        transfer.push_back(Ms(t));
        trees.ExpenseNode = TCategoryNode{11, 2, 10, 0};
        if (!script.Finished()) {
            std::fprintf(stderr, "the card did not close: %s\n", qPrintable(script.Errors().join(u'\n')));
            return 1;
        }
    }
    Report("add a realised expense (card, OK)", add);
    Report("edit it (card, OK)", edit);
    Report("delete it", del);
    Report("add a transfer (card, OK)", transfer);
    return 0;
}
