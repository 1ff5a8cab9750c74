// The results window itself over 100,000 operations (three accounts, five
// years, 300 categories, 30 people) in a new data set of the main window:
//   open      the window created for 2024 and its grouped totals filled
//             (TabRes, the status bar and both charts), then freed;
//   refresh   one RefreshResults after a condition change (kind box);
//   totals    TabRes and both charts filled for a year of every account
//             grouped by the 300 categories;
//   list      tab 1 opened on a year of every account and kind: 20,000 rows
//             with their names.
// Targets: open <= 200 ms, refresh <= 100 ms, totals <= 100 ms, list <= 100 ms.
#include "analysis/AnalysisWindows.h"
#include "analysis/ZorbRst.h"
#include "common/BenchTiming.h"
#include "core/ZorbDbTransaction.h"
#include "core/ZorbMain.h"
#include "core/ZorbSandbox.h"
#include "platform/dataset/Fields.h"
#include "platform/widgets/ModalScript.h"

#include <QApplication>

#include <cstdio>
#include <random>

using namespace zorbel;
using namespace zorbel::bench;

namespace {

void Exec(TDatabase &Db, const QString &Sql)
{
    TQuery q;
    q.SetDatabase(&Db);
    q.SQL() << Sql;
    q.ExecSQL();
}

void Fill(TFormMain &Main)
{
    TDm &dm = *Main.Dm;
    {
        TDbTransaction tr(dm.Db);
        Exec(dm.Db, QStringLiteral("delete from tb_hist"));
        Exec(dm.Db, QStringLiteral("delete from tb_items"));
        Exec(dm.Db, QStringLiteral("delete from tb_account"));
        Exec(dm.Db, QStringLiteral("insert into tb_account (id_account, account, currency, rest, rate, beg) values "
                                   "(1, 'a1', 'r', 0, 1, 0), (2, 'a2', 'r', 0, 1, 0), (3, 'a3', '$', 0, 90, 0)"));
        for (int i = 1; i <= 300; ++i)
            Exec(dm.Db, QStringLiteral("insert into tb_items (id_itm, itm, lev, c) values (%1, 'item %1', 0, '-')")
                            .arg(i));
        for (int i = 1; i <= 30; ++i)
            Exec(dm.Db, QStringLiteral("insert into tb_person (id_person, name) values (%1, 'person %1')").arg(i));
        TQuery ins;
        ins.SetDatabase(&dm.Db);
        ins.SQL() << QStringLiteral("insert into tb_hist (id_account, date_real, date_create, kind, dt, ct, level1, "
                                    "price, id_person, comment, rate, yr, mn) values (:a, :d, :c, :k, :dt, :ct, :l, "
                                    ":p, :pr, :cm, 1, :y, :m)");
        std::mt19937 rng(7);
        const TDateTime start = EncodeDate(2021, 1, 1);
        for (int i = 0; i < 100000; ++i) {
            // 20,000 a year: five years, a day per 5 rows.
            const TDateTime d = start + i / 55;
            int y = 0, m = 0, day = 0;
            DecodeDate(d, y, m, day);
            const bool income = rng() % 5 == 0;
            ins.ParamByName(QStringLiteral("a"))->SetAsInteger(int(rng() % 3) + 1);
            ins.ParamByName(QStringLiteral("d"))->SetAsDate(d);
            ins.ParamByName(QStringLiteral("c"))->SetAsDateTime(start + i / 86400.0);
            ins.ParamByName(QStringLiteral("k"))->SetAsString(rng() % 20 ? QStringLiteral("1") : QStringLiteral("2"));
            ins.ParamByName(QStringLiteral("dt"))->SetAsFloat(double(rng() % 100000) / 100);
            ins.ParamByName(QStringLiteral("ct"))->SetAsFloat(double(rng() % 100000) / 100);
            ins.ParamByName(income ? QStringLiteral("ct") : QStringLiteral("dt"))->Clear();
            ins.ParamByName(QStringLiteral("l"))->SetAsInteger(int(rng() % 300) + 1);
            ins.ParamByName(QStringLiteral("p"))->SetAsFloat(double(rng() % 1000));
            ins.ParamByName(QStringLiteral("pr"))->SetAsInteger(int(rng() % 30) + 1);
            ins.ParamByName(QStringLiteral("cm"))->SetAsString(QStringLiteral("operation %1").arg(rng() % 5000));
            ins.ParamByName(QStringLiteral("y"))->SetAsInteger(y);
            ins.ParamByName(QStringLiteral("m"))->SetAsInteger(m);
            ins.ExecSQL();
        }
        tr.Commit();
    }
    for (TTable *t : {&dm.Tb_Account, &dm.Tb_Items, &dm.Tb_Person, &dm.Tb_Hist}) {
        t->Close();
        t->Open();
    }
}

std::unique_ptr<TFormRst> Window(TFormMain &Main, bool AllAccounts)
{
    auto f = std::make_unique<TFormRst>(Main);
    f->Updating = true;
    f->ChAcc->SetChecked(!AllAccounts);
    f->CbKind->SetItemIndex(AllAccounts ? 2 : 0);
    f->Updating = false;
    f->Period.Kind = rpYear;
    f->Period.FromDate = EncodeDate(2024, 1, 1);
    f->Period.ToDate = EncodeDate(2024, 12, 31);
    return f;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TSandbox box;
    RegisterAnalysisWindows();
    TModalScript start;
    start.Press(QStringLiteral("Yes"));
    TFormMain main(QStringList{}, box.Path("program"));
    Fill(main);

    auto refreshed = Window(main, false);
    refreshed->RefreshResults();
    auto totals = Window(main, true);
    auto list = Window(main, true);
    list->TcGrp->SetTabIndex(1);
    int groups = 0, rows = 0;
    std::vector<TContender> c{
        {"open (year, current account)",
         [&] {
             auto f = Window(main, false);
             f->FormShow(nullptr);
         },
         {}},
        {"refresh (kind changed)",
         [&] {
             refreshed->CbKind->SetItemIndex(refreshed->CbKind->ItemIndex() == 0 ? 2 : 0);
             refreshed->RefreshResults();
         },
         {}},
        {"totals and charts (300 categories)",
         [&] {
             totals->RefreshResults();
             groups = totals->TabRes.RecordCount();
         },
         {}},
        {"list (tab 1, a year)",
         [&] {
             list->RefreshResults();
             rows = list->Qhs().RecordCount();
         },
         {}},
    };
    RunInterleaved(c, 11);
    for (const TContender &k : c)
        std::printf("%-36s min %7.2f ms  median %7.2f ms\n", k.Name.c_str(), k.Min() * 1000, k.Median() * 1000);
    std::printf("groups %d, chart points %zu, list rows %d\n", groups, totals->DBChPie->Series(0).Points().size(),
                rows);
    return 0;
}
