// The road from an empty data set to a printed and exported analysis, as a
// person walks it: a new data set, a second account, categories through the
// category dialog, a hundred operations typed into the operation card, the
// results window for a year with its three printouts previewed and saved, the data
// file saved with a password, opened again and checked.
#include "PrintCheck.h"
#include "core/ZorbMainRun.h"

#include "analysis/AnalysisWindows.h"
#include "analysis/ZorbPrnKit.h"
#include "analysis/ZorbRst.h"
#include "analysis/ZorbRstDynCalc.h"
#include "core/ZorbCard.h"
#include "core/ZorbDm.h"
#include "platform/rtl/DateTime.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Money.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <map>

namespace zorbel::test {
namespace {

struct TTotals {
    int64_t In = 0, Out = 0;
};

class WholeRoad : public ZorbMainRun {
protected:
    void SetUp() override { RegisterAnalysisWindows(); }
    TReportWindowsScope reportWindows;

    // A category under Parent through the category dialog.
    int NewCategory(TFormMain &f, TTreeView *tree, int parent, const QString &name)
    {
        tree->SetSelected(f.FindCategoryNode(tree, parent));
        TModalScript script;
        script.Then([&](TForm &form) {
            FindControl<TDBEdit>(form, U("DBECat"))->SetText(name);
            PressButton(form, U("ButOk"));
        });
        f.mpCategoryNewChild->Click();
        EXPECT_TRUE(script.Finished()) << Texts(script).join(" | ").toStdString();
        TTable &items = f.Dm->Tb_Items;
        EXPECT_TRUE(items.Locate(U("ITM"), Variant(name), {}));
        return items.FieldByName(U("ID_ITM"))->AsInteger();
    }

    // One operation typed into the card opened from the menu: the account and
    // the day chosen in the main window, the amount and a note typed.
    void TypeOperation(TFormMain &f, bool income, int category, TDateTime day, int amount, const QString &note)
    {
        if (income != f.mDt->Checked())
            f.mDtClick(income ? f.mDt : f.mCt);
        TTreeView *tree = income ? f.TvDt : f.TvCt;
        tree->SetSelected(f.FindCategoryNode(tree, category));
        f.EntryDate = day;
        TModalScript script;
        script.Then([&](TForm &form) {
            auto &card = dynamic_cast<TFormCard &>(form);
            // The card offers the last operation's amount and note: both are replaced.
            card.DBESum->selectAll();
            for (QChar c : QString::number(amount))
                SendKey(card.DBESum, 0, Qt::NoModifier, QString(c));
            card.ButDelComm->Click();
            if (!note.isEmpty()) {
                card.DBEComm->setFocus();
                for (QChar c : note)
                    SendKey(card.DBEComm, 0, Qt::NoModifier, QString(c));
            }
            card.ButOk->Click();
        });
        f.mMoneyNew->Click();
        EXPECT_TRUE(script.Finished()) << Texts(script).join(" | ").toStdString();
    }

    int Count(TFormMain &f, const QString &sql)
    {
        TQuery &q = f.Dm->Qtemp;
        q.Close();
        q.SQL() = QStringList{sql};
        q.Open();
        const int n = q.Fields()[0]->AsInteger();
        q.Close();
        return n;
    }

    // The results window for the year over every account and kind.
    static std::unique_ptr<TFormRst> Results(TFormMain &f, int year)
    {
        auto r = std::make_unique<TFormRst>(f);
        r->Updating = true;
        r->ChAcc->SetChecked(false);
        r->CbKind->SetItemIndex(2);
        r->Updating = false;
        r->Period.Kind = rpYear;
        r->Period.FromDate = EncodeDate(year, 1, 1);
        r->Period.ToDate = EncodeDate(year, 12, 31);
        r->RefreshResults();
        return r;
    }

    // Category name to income and expense of the grouped totals, in 1/10000.
    static std::map<QString, TTotals> Grouped(TFormRst &r)
    {
        std::map<QString, TTotals> g;
        for (r.TabRes.First(); !r.TabRes.Eof(); r.TabRes.Next())
            g[r.TabRes.FieldByName(U("nm"))->AsString()] = {MoneyToUnits(r.TabRes.FieldByName(U("sdt"))->AsFloat()),
                                                            MoneyToUnits(r.TabRes.FieldByName(U("sct"))->AsFloat())};
        return g;
    }
};

TEST_F(WholeRoad, NewDataSetToPrintedAnalysisAndBackFromAPasswordedFile)
{
    ForgetRecentFile();
    std::unique_ptr<TFormMain> f;
    {
        TModalScript start; // no question on the way to a new data set
        f = Start();
        ASSERT_TRUE(f->ReadyToRun());
        EXPECT_TRUE(start.Finished()) << Texts(start).join(" | ").toStdString();
    }
    f->Show();
    AddAccount(*f, U("Банк"));
    TTable &acc = f->Dm->Tb_Account;
    ASSERT_TRUE(acc.Locate(U("Account"), Variant(U("Мой первый счёт")), {}));
    const int wallet = acc.FieldByName(U("Id_Account"))->AsInteger();
    ASSERT_TRUE(acc.Locate(U("Account"), Variant(U("Банк")), {}));
    const int bank = acc.FieldByName(U("Id_Account"))->AsInteger();

    const int food = NewCategory(*f, f->TvCt, 0, U("Продукты"));
    const int travel = NewCategory(*f, f->TvCt, 0, U("Транспорт"));
    f->mDtClick(f->mDt);
    const int salary = NewCategory(*f, f->TvDt, 1, U("Зарплата"));
    f->mDtClick(f->mCt);

    // A hundred operations over last year, a quarter of them incomes.
    int year = 0, month = 0, day = 0;
    DecodeDate(Date(), year, month, day);
    --year;
    std::map<int, TTotals> byAccount;
    std::map<QString, TTotals> byCategory;
    for (int i = 0; i < 100; ++i) {
        const int account = i % 2 ? bank : wallet;
        ASSERT_TRUE(acc.Locate(U("Id_Account"), Variant(account), {}));
        const bool income = i % 4 == 0;
        const int amount = 50 + (i * 37) % 950;
        const int category = income ? salary : i % 3 ? food : travel;
        const QString note = i % 10 == 3 ? U("Заметка %1").arg(i) : QString();
        TypeOperation(*f, income, category, EncodeDate(year, 1 + i % 12, 1 + (i * 7) % 28), amount, note);
        (income ? byAccount[account].In : byAccount[account].Out) += int64_t(amount) * 10000;
        const QString name = income ? U("Зарплата") : category == food ? U("Продукты") : U("Транспорт");
        (income ? byCategory[name].In : byCategory[name].Out) += int64_t(amount) * 10000;
    }
    ASSERT_EQ(Count(*f, U("select count(*) from tb_hist")), 100);
    EXPECT_EQ(Count(*f, U("select count(*) from tb_hist where comment like 'Заметка%'")), 10);
    std::map<int, double> rests;
    for (int id : {wallet, bank}) {
        ASSERT_TRUE(acc.Locate(U("Id_Account"), Variant(id), {}));
        rests[id] = acc.FieldByName(U("Rest"))->AsFloat();
        EXPECT_EQ(MoneyToUnits(rests[id]), byAccount[id].In - byAccount[id].Out) << id;
    }

    // The results window opened from the main window on the year: its totals
    // are what was typed; its printouts are previewed and saved.
    f->EntryDate = EncodeDate(year, 6, 1);
    f->CbPer->SetItemIndex(1); // a year
    f->CbPerClick(f->CbPer);
    QTemporaryDir dir;
    const QString xls = dir.filePath(U("totals.xls")), html = dir.filePath(U("list.htm"));
    const QString span = U("01.01.%1 - 31.12.%1").arg(year);
    const int64_t spent = byCategory[U("Продукты")].Out + byCategory[U("Транспорт")].Out;
    TRstOpening o;
    QStringList totalsTexts;
    PreviewWatch list(U("road-operations")), dynamics(U("road-dynamics"));
    const QString dynXls = dir.filePath(U("dynamics.xls"));
    QString listHtml;
    bool seen = false;
    TModalScript results;
    results.Then([&](TForm &form) {
        auto &r = dynamic_cast<TFormRst &>(form);
        seen = true;
        EXPECT_EQ(r.Period.FromDate, EncodeDate(year, 1, 1));
        EXPECT_EQ(r.Period.ToDate, EncodeDate(year, 12, 31));
        // It opens on the main window's account; every account is wanted.
        EXPECT_TRUE(r.ChAcc->Checked());
        r.ChAcc->SetChecked(false);
        // The first level holds the two roots; the expense root opens on its categories.
        auto level1 = Grouped(r);
        EXPECT_EQ(level1.size(), 2u);
        EXPECT_EQ(level1[U("Статья дохода")].In, byCategory[U("Зарплата")].In);
        EXPECT_EQ(level1[U("Статья расхода")].Out, spent);
        ASSERT_TRUE(r.TabRes.Locate(U("nm"), Variant(U("Статья расхода")), {}));
        r.DBGResDblClick(nullptr);
        ASSERT_TRUE(r.ChItm1->Checked());
        auto level2 = Grouped(r);
        EXPECT_EQ(level2.size(), 2u);
        for (const QString &name : {U("Продукты"), U("Транспорт")})
            EXPECT_EQ(level2[name].Out, byCategory[name].Out) << name.toStdString();
        o = r.ComputeOpeningBalances();
        // Grouped totals: a modal preview (the next step).
        r.mpPrint->Click();

        // The operations list of every category (every operation on its pages).
        r.ChItm1->SetChecked(false);
        r.TcGrp->SetTabIndex(1);
        r.TcGrpChange(nullptr);
        ASSERT_EQ(r.Qhs().RecordCount(), 100);
        list.Act = [&](TRepStandardPreview &p) {
            SaveThrough(U("htm"), html)(p);
            listHtml = HtmlText(dir.path());
        };
        list.WaitLoaded = true;
        list.Arm();
        r.ButPrh->Click();

        // The dynamics by months, printed from the table's popup.
        r.CbDay->SetItemIndex(duMonths);
        r.TcGrp->SetTabIndex(2);
        r.TcGrpChange(&r);
        dynamics.Act = SaveThrough(U("xls"), dynXls);
        dynamics.WaitLoaded = true;
        dynamics.Arm();
        r.pmPrintDyn->Click();
        r.Close();
    });
    // The modal preview of the grouped totals, once its background run is done.
    results.Then([&](TForm &form) {
        auto &p = dynamic_cast<TRepStandardPreview &>(form);
        QElapsedTimer waited;
        waited.start();
        while ((p.Printer()->Status() != TRepStatus::Ready || p.Printer()->RecordedPages() == 0) &&
               waited.elapsed() < 30000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        totalsTexts = PageTexts(*p.Printer());
        const QString shots = qEnvironmentVariable("ZORBEL_SCREENSHOTS");
        if (!shots.isEmpty()) {
            // The window manager maximises the preview a moment after it shows.
            for (waited.restart(); waited.elapsed() < 700;)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            p.grab().save(QDir(shots).filePath(U("road-totals.png")));
        }
        SaveThrough(U("xls"), xls)(p);
        p.Close();
    });
    f->mResult->Click();
    EXPECT_TRUE(seen);
    EXPECT_TRUE(results.Finished()) << results.Errors().join(u';').toStdString();

    for (const QString &t : {U("Реальные Обороты за ") + span, U("Статья расхода"), U("Продукты"), U("Транспорт"),
                             U("Начало  = ") + PrnAmount(o.Amount), U("Остаток = ") + PrnAmount(o.Amount - spent)})
        EXPECT_TRUE(totalsTexts.contains(t)) << t.toStdString() << " in " << totalsTexts.join(u'|').toStdString();
    const QString cells = XlsCells(xls);
    for (const QString &t : {U("Статья расхода"), U("Продукты"), U("Транспорт")})
        EXPECT_TRUE(cells.contains(t)) << t.toStdString() << " in " << cells.toStdString();

    ASSERT_GE(list.Pages, 2);
    EXPECT_TRUE(list.Texts.contains(U("Движения за период       ") + span));
    // Both accounts are listed: the heading names no account.
    EXPECT_TRUE(list.Texts.contains(U("Счет       "))) << list.Texts.join(u'|').toStdString();
    for (int i = 3; i < 100; i += 10)
        EXPECT_TRUE(list.AllTexts.contains(U("Заметка %1").arg(i))) << i;
    EXPECT_TRUE(list.AllTexts.contains(U("100"))); // the last record number
    for (const QString &t : {U("Движения за период"), U("Заметка 93"), U("Зарплата")})
        EXPECT_TRUE(listHtml.contains(t)) << t.toStdString() << " in " << listHtml.left(2000).toStdString();

    ASSERT_GE(dynamics.Pages, 1);
    const QString yy = QString::number(year % 100).rightJustified(2, u'0');
    for (const QString &t : {U("Месяцы"), U("янв.") + yy, U("дек.") + yy})
        EXPECT_TRUE(dynamics.Texts.contains(t)) << t.toStdString() << " in " << dynamics.Texts.join(u'|').toStdString();
    const QString dynCells = XlsCells(dynXls);
    for (const QString &t : {U("Месяцы"), U("июн.") + yy})
        EXPECT_TRUE(dynCells.contains(t)) << t.toStdString() << " in " << dynCells.toStdString();

    // Saved with a password, closed, opened again.
    TModalScript pw;
    pw.Then(Password(U("дорога"))).Then(Password(U("дорога"))).Press(U("OK"));
    f->mPasswordClick(f.get());
    EXPECT_TRUE(pw.Finished()) << Texts(pw).join(" | ").toStdString();
    saveAs = File(U("road.den"));
    f->mSaveClick(f.get());
    EXPECT_FALSE(f->Dm->Modified());
    saveAs.clear();
    {
        TModalScript closing;
        closing.Press(U("Yes"));
        EXPECT_TRUE(Close(*f));
    }
    f.reset();

    std::unique_ptr<TFormMain> g;
    {
        TModalScript open;
        open.Then(Password(U("дорога")));
        g = Start({File(U("road.den"))});
        ASSERT_TRUE(g->ReadyToRun());
        EXPECT_TRUE(open.Finished()) << Texts(open).join(" | ").toStdString();
    }
    EXPECT_EQ(Count(*g, U("select count(*) from tb_hist")), 100);
    EXPECT_EQ(Count(*g, U("select count(*) from tb_hist where comment like 'Заметка%'")), 10);
    TTable &acc2 = g->Dm->Tb_Account;
    for (int id : {wallet, bank}) {
        ASSERT_TRUE(acc2.Locate(U("Id_Account"), Variant(id), {}));
        EXPECT_EQ(acc2.FieldByName(U("Rest"))->AsFloat(), rests[id]) << id;
    }
    {
        auto r = Results(*g, year);
        auto level1 = Grouped(*r);
        EXPECT_EQ(level1[U("Статья дохода")].In, byCategory[U("Зарплата")].In);
        EXPECT_EQ(level1[U("Статья расхода")].Out, byCategory[U("Продукты")].Out + byCategory[U("Транспорт")].Out);
    }
    TModalScript last;
    last.Press(U("Yes"));
    EXPECT_TRUE(Close(*g));
}

} // namespace
} // namespace zorbel::test
