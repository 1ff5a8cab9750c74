// The ledger's searches on the real main window offscreen: the history search
// dialog stepping through its hits and remembering its state, the text scan
// of Ctrl+F and F3, the notes search and the card's note picker, the
// calculator command, and "save to file" on the reference pages.
#include "ZorbLedgerWindow.h"
#include "core/ZorbComm.h"
#include "core/ZorbDlg.h"
#include "core/ZorbDm.h"
#include "core/ZorbSearch.h"
#include "core/ZorbText.h"
#include "platform/rtl/CodePages.h"
#include "platform/widgets/ModalScript.h"

#include <QFile>
#include <gtest/gtest.h>

namespace zorbel {
namespace {

class MainFind : public TLedgerWindowTest {
protected:
    void AddOperations() override
    {
        Op(acc1, EncodeDate(2024, 1, 10), 0, 100, U("Хлеб"));
        Op(acc1, EncodeDate(2024, 1, 11), 0, 30, U("Молоко 5%"));
        Op(acc1, EncodeDate(2024, 1, 12), 150, 0, U("Аванс"));
        Op(acc1, EncodeDate(2024, 1, 15), 5000, 0, U("Зарплата"));
        Op(acc1, EncodeDate(2024, 1, 20), 300, 0, U("хлеб"));
        Op(acc1, EncodeDate(2024, 1, 21), 0, 7, U("Молоко 50"));
        Op(acc2, EncodeDate(2024, 2, 4), 999, 0, U("Хлеб"));
    }
    // Runs F3 and returns the notices it showed.
    QStringList F3()
    {
        TModalScript script;
        for (int i = 0; i < 3; ++i)
            script.Press("OK");
        f->mpFindTextNextClick(nullptr);
        QStringList texts;
        for (const auto &seen : script.Seen())
            texts << seen.Text;
        return texts;
    }
};

TEST_F(MainFind, HistorySearchStepsThroughIncomeAboveAValueAndWraps)
{
    dm->UpdateMenus();
    for (TMenuItem *m : {f->mFind, f->mpFind, f->mpFindText, f->mpFindTextNext, f->mpFindComment})
        EXPECT_TRUE(m->Enabled()) << m->Name().toStdString();
    GoTo(U("Хлеб"));
    QStringList visited, captions;
    TModalScript script;
    script.Then([&](TForm &w) {
        auto &dlg = dynamic_cast<TFormDlg &>(w);
        EXPECT_EQ(dlg.Caption(), U("Поиск строки в истории"));
        EXPECT_FALSE(dlg.ButCancel->Visible());
        EXPECT_EQ(dlg.ButOk->Caption(), U("Найти...")); // a note field without text: nothing searched yet
        dlg.EdFnd->SetText("100");
        dlg.CbFnd->SetItemIndex(hfDt);
        dlg.CbFndChange(dlg.CbFnd);
        EXPECT_TRUE(dlg.EdFnd->Visible());
        EXPECT_FALSE(dlg.ButFnd->Visible());
        EXPECT_TRUE(dlg.ButEq->Visible());
        dlg.ButEq->Click();
        EXPECT_EQ(dlg.ButEq->Caption(), ">");
        for (int i = 0; i < 4; ++i) {
            dlg.ButOk->Click();
            captions << dlg.ButOk->Caption();
            visited << Current();
            EXPECT_GT(dm->Tb_Hist.FieldByName("Dt")->AsFloat(), 100);
        }
        EXPECT_EQ(dlg.ModalResult(), mrNone); // OK steps, it does not close
        dlg.SetModalResult(mrCancel);
    });
    f->mpFindClick(nullptr);
    ASSERT_TRUE(script.Finished()) << script.Errors().join("; ").toStdString();
    EXPECT_EQ(captions, (QStringList{"1/3", "2/3", "3/3", "1/3"}));
    EXPECT_EQ(visited[3], visited[0]);
    QStringList three = visited.mid(0, 3);
    three.sort();
    EXPECT_EQ(three, (QStringList{U("Аванс"), U("Зарплата"), U("хлеб")}));
    // The state is remembered; F3 goes on through the same hits.
    EXPECT_EQ(f->HistFindField, int(hfDt));
    EXPECT_EQ(f->HistFindOp, ">");
    EXPECT_EQ(f->HistFindText, "100");
    EXPECT_TRUE(dm->QFind.Active());
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(F3().isEmpty());
        EXPECT_GT(dm->Tb_Hist.FieldByName("Dt")->AsFloat(), 100);
    }
}

TEST_F(MainFind, DialogReopensWithItsStateAndSearchesAtOnce)
{
    f->HistFindField = hfCt;
    f->HistFindOp = "<";
    f->HistFindText = "50";
    TModalScript script;
    script.Then([&](TForm &w) {
        auto &dlg = dynamic_cast<TFormDlg &>(w);
        EXPECT_EQ(dlg.CbFnd->ItemIndex(), int(hfCt));
        EXPECT_EQ(dlg.ButEq->Caption(), "<");
        EXPECT_EQ(dlg.EdFnd->Text(), "50");
        EXPECT_EQ(dlg.ButOk->Caption(), "1/2"); // 30 and 7
        EXPECT_LT(dm->Tb_Hist.FieldByName("Ct")->AsFloat(), 50);
        // Another comparison starts a new search.
        dlg.ButEq->Click();
        EXPECT_EQ(dlg.ButEq->Caption(), "=");
        EXPECT_EQ(dlg.ButOk->Caption(), U("Найти..."));
        EXPECT_FALSE(dm->QFind.Active());
        dlg.SetModalResult(mrCancel);
    });
    f->mpFindClick(nullptr);
    EXPECT_TRUE(script.Finished()) << script.Errors().join("; ").toStdString();
    EXPECT_EQ(f->HistFindOp, "=");
    // Without a remembered date the date field takes the operation's and
    // shows it on the button.
    f->HistFindField = hfDate;
    f->HistFindDate = 0;
    GoTo(U("Аванс"));
    TModalScript date;
    date.Then([&](TForm &w) {
        auto &dlg = dynamic_cast<TFormDlg &>(w);
        EXPECT_TRUE(dlg.ButFnd->Visible());
        EXPECT_EQ(dlg.ButFnd->Caption(), "12.01.24");
        EXPECT_EQ(dlg.ButOk->Caption(), "1/1");
        EXPECT_EQ(Current(), U("Аванс"));
        dlg.SetModalResult(mrCancel);
    });
    f->mpFindClick(nullptr);
    EXPECT_TRUE(date.Finished()) << date.Errors().join("; ").toStdString();
    EXPECT_EQ(f->HistFindDate, EncodeDate(2024, 1, 12));
}

TEST_F(MainFind, NoteSearchTakesPercentLiterallyAndCountsNoHits)
{
    GoTo(U("Хлеб"));
    TModalScript script;
    script.Then([&](TForm &w) {
        auto &dlg = dynamic_cast<TFormDlg &>(w);
        dlg.EdFnd->SetText("5%");
        dlg.CbFndChange(dlg.CbFnd);
        dlg.ButOk->Click();
        EXPECT_EQ(dlg.ButOk->Caption(), "1/1"); // not "Молоко 50"
        EXPECT_EQ(Current(), U("Молоко 5%"));
        dlg.EdFnd->SetText(U("кефир"));
        dlg.CbFndChange(dlg.CbFnd);
        dlg.ButOk->Click();
        EXPECT_EQ(dlg.ButOk->Caption(), "0/0");
        dlg.SetModalResult(mrCancel);
    });
    f->mpFindClick(nullptr);
    EXPECT_TRUE(script.Finished()) << script.Errors().join("; ").toStdString();
}

TEST_F(MainFind, TextScanStartsAfterTheCurrentRowAndWraps)
{
    GoTo(U("Аванс"));
    TModalScript ask;
    ask.Enter("Edit", U("ХЛЕБ"), "OK");
    f->mpFindTextClick(nullptr);
    EXPECT_TRUE(ask.Finished());
    EXPECT_EQ(f->HistFindText, U("ХЛЕБ"));
    EXPECT_EQ(Current(), U("хлеб")); // the row after Аванс that shows it
    EXPECT_EQ(f->DBG->SelectedField()->FieldName().toLower(), "comment");
    EXPECT_TRUE(F3().isEmpty());
    EXPECT_EQ(Current(), U("Хлеб")); // round from the top
    EXPECT_TRUE(F3().isEmpty());
    EXPECT_EQ(Current(), U("хлеб"));

    // The only row that shows the text is the current one.
    f->HistFindText = U("зарплата");
    GoTo(U("Зарплата"));
    EXPECT_EQ(F3(), QStringList{U("Найдена только одна строка!")});
    EXPECT_EQ(Current(), U("Зарплата"));
    // No row shows it: the ledger stays where it was.
    f->HistFindText = U("кефир");
    GoTo(U("Аванс"));
    EXPECT_EQ(F3(), QStringList{U("Текст\n\"кефир\"\nне найден.")});
    EXPECT_EQ(Current(), U("Аванс"));
}

TEST_F(MainFind, NotesSearchStepsThroughOneNoteInAnyCase)
{
    GoTo(U("Аванс"));
    TModalScript script;
    script.Then([&](TForm &w) {
        auto &form = dynamic_cast<TFormComm &>(w);
        EXPECT_EQ(form.Caption(), U("Примечания текущего счёта за выбранный период"));
        EXPECT_FALSE(form.Rb1->Visible());
        form.Ed->SetText(U("хле"));
        EXPECT_EQ(form.Qcomm->RecordCount(), 2); // "Хлеб" and "хлеб" of this account
        EXPECT_EQ(form.PanCount->Caption(), "2   ");
        ASSERT_TRUE(form.Qcomm->Locate("Comment", Variant(U("Хлеб")), {}));
        EXPECT_EQ(form.Qcomm->FieldByName("cnt")->AsInteger(), 1); // the other account's is not counted
        form.SetModalResult(mrOk);
    });
    f->mpFindCommentClick(nullptr);
    ASSERT_TRUE(script.Finished()) << script.Errors().join("; ").toStdString();
    EXPECT_EQ(f->HistFindText, U("хле"));
    EXPECT_TRUE(dm->QcomFind.Active());
    EXPECT_FALSE(dm->QFind.Active());
    QStringList seen{Current()};
    F3();
    seen << Current();
    F3();
    seen << Current();
    EXPECT_EQ(seen[2], seen[0]);
    seen.removeLast();
    seen.sort();
    EXPECT_EQ(seen, (QStringList{U("Хлеб"), U("хлеб")}));

    // A note of one operation: F3 says so at once.
    TModalScript one;
    one.Then([&](TForm &w) {
        auto &form = dynamic_cast<TFormComm &>(w);
        form.Ed->SetText(U("аван"));
        EXPECT_EQ(form.ChosenNote(), U("Аванс"));
        form.SetModalResult(mrOk);
    });
    one.Press("OK");
    f->mpFindCommentClick(nullptr);
    EXPECT_TRUE(one.Finished()) << one.Errors().join("; ").toStdString();
    ASSERT_EQ(one.Seen().size(), 2u);
    EXPECT_EQ(one.Seen()[1].Text, U("Найдена только одна строка!"));
    EXPECT_EQ(Current(), U("Аванс"));
}

TEST_F(MainFind, CardPicksANoteFromAllAccounts)
{
    TModalScript script;
    script.Then([&](TForm &w) {
        auto &form = dynamic_cast<TFormComm &>(w);
        EXPECT_EQ(form.Caption(), U("Поиск и выбор примечаний"));
        EXPECT_TRUE(form.RbAll->Visible());
        form.RbAll->SetChecked(true);
        form.Ed->SetText(U("ХЛЕБ"));
        ASSERT_TRUE(form.Qcomm->Locate("Comment", Variant(U("Хлеб")), {}));
        EXPECT_EQ(form.Qcomm->FieldByName("cnt")->AsInteger(), 2);
        form.Ed->SetText("5%");
        EXPECT_EQ(form.Qcomm->RecordCount(), 1);
        form.SetModalResult(mrOk);
    });
    QString note;
    EXPECT_TRUE(f->PickNote(note));
    EXPECT_TRUE(script.Finished()) << script.Errors().join("; ").toStdString();
    EXPECT_EQ(note, U("Молоко 5%"));

    // OK on an empty list chooses nothing: the note typed on the card stays.
    TModalScript none;
    none.Then([&](TForm &w) {
        auto &form = dynamic_cast<TFormComm &>(w);
        form.Ed->SetText(U("кефир"));
        EXPECT_TRUE(form.Qcomm->IsEmpty());
        form.SetModalResult(mrOk);
    });
    EXPECT_FALSE(f->PickNote(note));
    EXPECT_TRUE(none.Finished()) << none.Errors().join("; ").toStdString();
}

TEST_F(MainFind, CalculatorIsTheProgramsOwnUnlessAnotherIsNamed)
{
    QStringList started;
    f->StartProgram = [&](const QString &program) {
        started << program;
        return program != "missing-calc";
    };
    TModalScript own;
    own.CloseWith(mrCancel);
    f->mCalcClick(nullptr); // the stored default names the Windows calculator
    ASSERT_EQ(own.Seen().size(), 1u);
    EXPECT_EQ(own.Seen()[0].Name, "FormCalc");
    EXPECT_TRUE(started.isEmpty());

    f->Calc = "kcalc";
    TModalScript none;
    f->mCalcClick(nullptr);
    EXPECT_TRUE(none.Seen().empty());
    EXPECT_EQ(started, QStringList{"kcalc"});
    // A program that does not start: the own calculator instead.
    f->Calc = "missing-calc";
    TModalScript fallback;
    fallback.CloseWith(mrCancel);
    f->mCalcClick(nullptr);
    ASSERT_EQ(fallback.Seen().size(), 1u);
    EXPECT_EQ(fallback.Seen()[0].Name, "FormCalc");
}

TEST_F(MainFind, ReferencePagesSaveTheirGrids)
{
    TTable &firm = dm->Tb_Firm;
    firm.Append();
    firm.FieldByName("FIRM")->SetAsString(U("Гастроном; «Уют»"));
    firm.Post();
    f->ShowPage(2);
    f->PmFirmPopup(nullptr);
    EXPECT_TRUE(f->mpFirmSave->Enabled());
    const QString csv = box.Path("files") + "/firms.csv";
    f->ExecuteExportDialog = [&](QString &name, int &type) {
        name = csv;
        type = 1;
        return true;
    };
    f->mpFirmSave->Click();
    const QByteArray bytes = TSandbox::Read(csv);
    EXPECT_TRUE(bytes.contains("\"" + UnicodeToWin1251(U("Гастроном; «Уют»")) + "\"")) << bytes.toStdString();

    // An empty diary has nothing to save.
    f->PmLogPopup(nullptr);
    EXPECT_FALSE(f->mpLogSave->Enabled());
}

} // namespace
} // namespace zorbel
