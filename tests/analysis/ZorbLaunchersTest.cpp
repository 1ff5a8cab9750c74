// What the main window's launchers hand to the results, turnovers and
// balances windows, read from the open window: the period and its kind, the
// display formats, the stored column layout, the person or firm of a
// statement, and the stored options with their out-of-range values replaced.
#include "RstFixture.h"

#include "analysis/ZorbLim.h"
#include "analysis/ZorbRest.h"
#include "platform/rtl/Exceptions.h"

#include <QRegularExpression>

namespace zorbel::test {
namespace {

class LaunchersTest : public RstFixture {
protected:
    void SetUp() override
    {
        RstFixture::SetUp();
        Populate(60);
    }
    void ShowPeriod(int kind, TDateTime entry)
    {
        main->EntryDate = entry;
        main->CbPer->SetItemIndex(kind);
        main->CbPerClick(main->CbPer);
    }
    // Runs command with Step reading the window, then closes it.
    template <class TWindow>
    void Open(const std::function<void()> &command, const std::function<void(TWindow &)> &step)
    {
        bool seen = false;
        TModalScript script;
        script.Then([&](TForm &f) {
            auto *w = qobject_cast<TWindow *>(&f);
            ASSERT_NE(w, nullptr) << f.Name().toStdString();
            seen = true;
            step(*w);
            f.SetModalResult(mrCancel);
        });
        command();
        EXPECT_TRUE(seen);
        EXPECT_TRUE(script.Finished()) << script.Errors().join(u';').toStdString();
    }
    static QString Format(TDataSet &d, const char *field) { return d.FieldByName(U(field))->DisplayFormat(); }
};

TEST_F(LaunchersTest, ResultsTakeThePeriodFormatsAndColumnLayout)
{
    ShowPeriod(3, EncodeDate(2024, 3, 15));
    main->QntFormat = U("0.000");
    main->PrcFormat = U("0.0");
    main->RteFormat = U("0.0000");
    main->Dm->Tb_Hist.FieldByName(U("Date_Real"))->SetDisplayFormat(U("dd.mm.yyyy"));
    main->Col_Rst.clear();
    Open<TFormRst>([&] { main->mResult->Click(); },
                   [&](TFormRst &w) {
                       EXPECT_EQ(w.Period.Kind, int(rpMonth));
                       EXPECT_EQ(w.Period.FromDate, EncodeDate(2024, 3, 1));
                       EXPECT_EQ(w.Period.ToDate, EncodeDate(2024, 3, 31));
                       EXPECT_TRUE(w.ButDt1->Visible());
                       EXPECT_TRUE(w.ButDt2->Visible());
                       EXPECT_EQ(w.StartNode, nullptr);
                       EXPECT_FALSE(w.ContactMode);
                       EXPECT_EQ(Format(w.Qhs(), "date_real"), U("dd.mm.yyyy"));
                       EXPECT_EQ(Format(w.Qhs(), "qdt"), U("0.000"));
                       EXPECT_EQ(Format(w.Qhs(), "qct"), U("0.000"));
                       EXPECT_EQ(Format(w.Qhs(), "price"), U("0.0"));
                       EXPECT_EQ(Format(w.Qhs(), "rate"), U("0.0000"));
                       ASSERT_TRUE(w.TabRes.Active());
                       for (const char *q : {"sdq", "scq", "amq"})
                           EXPECT_EQ(Format(w.TabRes, q), U("0.000")) << q;
                   });
    // The window stored its columns on closing; a changed width comes back.
    ASSERT_TRUE(main->Col_Rst.contains(U("comment="))) << main->Col_Rst.toStdString();
    main->Col_Rst.replace(QRegularExpression(U("comment=\\d+")), U("comment=77"));

    // The whole period: the window spans the first to the last operation
    // and offers no period steps.
    ShowPeriod(0, EncodeDate(2024, 3, 15));
    TDateTime first = 1e9, last = 0;
    for (const TRstRow &r : Rows) {
        first = std::min(first, r.Date);
        last = std::max(last, r.Date);
    }
    Open<TFormRst>([&] { main->mResult->Click(); },
                   [&](TFormRst &w) {
                       EXPECT_EQ(w.Period.Kind, int(rpWhole));
                       EXPECT_EQ(w.Period.FromDate, first);
                       EXPECT_EQ(w.Period.ToDate, last);
                       EXPECT_FALSE(w.ButDt1->Visible());
                       bool laid = false;
                       for (int i = 0; i < w.DBGTab->Columns().Count(); ++i)
                           if (w.DBGTab->Columns()[i]->FieldName().compare(U("comment"), Qt::CaseInsensitive) == 0)
                               laid = w.DBGTab->Columns()[i]->Width() == 77;
                       EXPECT_TRUE(laid);
                   });
}

TEST_F(LaunchersTest, StatementsOfAPersonAndAFirmOpenOnThem)
{
    main->ShowPage(1);
    ASSERT_TRUE(main->Dm->Tb_Person.Locate(U("NAME"), Variant(U("Петров")), {}));
    Open<TFormRst>([&] { main->pmResPers->Click(); },
                   [](TFormRst &w) {
                       EXPECT_EQ(w.ChPers->Caption(), U("Петров"));
                       EXPECT_EQ(w.ChPers->Tag(), 2);
                       EXPECT_TRUE(w.ButPers->Down());
                       EXPECT_FALSE(w.ButFirm->Down());
                       EXPECT_EQ(w.TcGrp->TabIndex(), 1);
                   });
    main->ShowPage(2);
    ASSERT_TRUE(main->Dm->Tb_Firm.Locate(U("FIRM"), Variant(U("Аптека")), {}));
    Open<TFormRst>([&] { main->pmResFirm->Click(); },
                   [](TFormRst &w) {
                       EXPECT_EQ(w.ChFirm->Caption(), U("Аптека"));
                       EXPECT_EQ(w.ChFirm->Tag(), 2);
                       EXPECT_TRUE(w.ButFirm->Down());
                       EXPECT_EQ(w.TcGrp->TabIndex(), 1);
                   });
}

// A failure that ends the results window is told, not dropped: the window
// going away would otherwise look like a finished command.
TEST_F(LaunchersTest, AFailureInsideTheResultsWindowIsToldAndEndsIt)
{
    TModalScript script;
    script.Then([](TForm &f) {
        f.SetModalResult(mrCancel);
        throw Exception(U("сбой в окне"));
    });
    script.Press(QStringLiteral("OK"));
    EXPECT_NO_THROW(main->mResult->Click());
    EXPECT_EQ(FormRst(), nullptr);
    ASSERT_EQ(script.Seen().size(), 2u);
    EXPECT_EQ(script.Seen()[1].Text, U("сбой в окне"));
}

TEST_F(LaunchersTest, TurnoversAndBalancesTakeTheStoredOptions)
{
    main->EntryDate = EncodeDate(2024, 11, 20);
    main->LimPlan = true;
    main->LimQuant = true;
    main->LimSum = false;
    main->LimLev = 2;
    main->LimFilter = 2;
    Open<TFormLim>([&] { main->mLim->Click(); },
                   [](TFormLim &w) {
                       EXPECT_EQ(w.Year, 2024);
                       EXPECT_EQ(w.Month, 11);
                       EXPECT_EQ(w.CbAcc->ItemIndex(), 1);
                       EXPECT_EQ(w.CbAcc->Text(), U("Счета с этой валютой"));
                       EXPECT_EQ(w.Level, 2);
                       EXPECT_TRUE(w.ButQuant->Down());
                       EXPECT_FALSE(w.ButSum->Down());
                       EXPECT_EQ(w.CbLim->ItemIndex(), 2);
                       w.CbAcc->SetItemIndex(0);
                       w.CbAcc->OnClick(w.CbAcc);
                   });
    EXPECT_FALSE(main->LimPlan);
    EXPECT_TRUE(main->LimQuant);
    EXPECT_EQ(main->LimLev, 2);
    EXPECT_EQ(main->LimFilter, 2);

    main->BalCur = 1;
    main->BalSel = 3;
    main->BalEqv = 2;
    main->BalYear = 2024;
    Open<TFormRest>([&] { main->mRest->Click(); },
                    [](TFormRest &w) {
                        EXPECT_EQ(w.CbAcc->ItemIndex(), 1);
                        EXPECT_EQ(w.CbSel->ItemIndex(), 3);
                        EXPECT_EQ(w.CbEqv->ItemIndex(), 2);
                        EXPECT_EQ(w.CbYr->Text(), U("2024"));
                    });
    EXPECT_EQ(main->BalCur, 1);
    EXPECT_EQ(main->BalEqv, 2);
    EXPECT_EQ(main->BalYear, 2024);

    // Stored indexes out of range become the first item.
    main->BalCur = -1;
    main->BalEqv = -3;
    Open<TFormRest>([&] { main->mRest->Click(); },
                    [](TFormRest &w) {
                        EXPECT_EQ(w.CbAcc->ItemIndex(), 0);
                        EXPECT_EQ(w.CbEqv->ItemIndex(), 0);
                    });
    EXPECT_EQ(main->BalCur, 0);
    EXPECT_EQ(main->BalEqv, 0);
}

} // namespace
} // namespace zorbel::test
