// The real main window offscreen: its own keys (Esc, Ctrl+keypad plus,
// Ctrl+F6, Ctrl and Alt with the arrows), the calculators and what they start
// with, the analysis commands' keys reaching the launchers, the results
// button, and the statistics window opened from the status bar.
#include "ZorbLedgerWindow.h"
#include "core/ZorbAcc.h"
#include "core/ZorbCalc.h"
#include "core/ZorbLaunch.h"
#include "core/ZorbMarks.h"
#include "core/ZorbText.h"
#include "platform/rtl/Format.h"
#include "platform/widgets/ModalScript.h"
#include "support/TableRows.h"

#include <QApplication>
#include <gtest/gtest.h>

namespace zorbel {
namespace {

// Money as the status bar shows it: '_' stands for the thousands separator.
QString Money(const char *text) { return U(text).replace(u'_', QChar(0xA0)); }

class MainLaunch : public TLedgerWindowTest {
protected:
    void AddOperations() override
    {
        Op(acc1, EncodeDate(2024, 3, 4), 0, 1234.5, U("Шуба"));
        Op(acc1, EncodeDate(2024, 3, 4), 0, 20, U("Хлеб"));
        Op(acc1, EncodeDate(2024, 3, 9), 150, 0, U("Возврат"));
        Op(acc1, EncodeDate(2024, 4, 2), 0, 30, U("Молоко"));
    }
    void TearDown() override
    {
        AnalysisLaunchers() = saved_;
        TLedgerWindowTest::TearDown();
    }
    void Mark(const QString &comment)
    {
        GoTo(comment);
        TTable &t = dm->Tb_Hist;
        t.Edit();
        t.FieldByName("B")->SetAsString("+");
        t.Post();
    }
    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString &text = {})
    {
        f->DBG->SetFocus();
        SendKeyToFocus(*f, key, mods, text);
    }
    void ShowPeriod(int kind, TDateTime entry)
    {
        f->EntryDate = entry;
        f->CbPer->SetItemIndex(kind);
        f->CbPerClick(f->CbPer);
    }
    // The calculator's edit line as the key opens it.
    QString CalculatorOpenedBy(int key, Qt::KeyboardModifiers mods)
    {
        QString text = "(not shown)";
        TModalScript script;
        script.Then([&](TForm &w) {
            auto *calc = qobject_cast<TFormCalc *>(&w);
            ASSERT_NE(calc, nullptr);
            EXPECT_TRUE(calc->KeepOpen);
            text = calc->Ed->Text();
            w.SetModalResult(mrCancel);
        });
        Key(key, mods);
        EXPECT_TRUE(script.Finished()) << script.Errors().join(u';').toStdString();
        EXPECT_FALSE(dm->Qcalc.Active());
        return text;
    }
    TAnalysisLaunchers saved_ = AnalysisLaunchers();
};

TEST_F(MainLaunch, CtrlF6StartsWithTheBookmarkedSumsOfThePeriodElseTheOperationsSum)
{
    Mark(U("Хлеб"));
    Mark(U("Возврат"));
    Mark(U("Молоко")); // April: outside the period
    ShowPeriod(3, EncodeDate(2024, 3, 15)); // March
    GoTo(U("Шуба"));
    EXPECT_EQ(CalculatorOpenedBy(Qt::Key_F6, Qt::ControlModifier), "150-20");
    // F6 leaves the bookmarks aside: the current operation's expense,
    // without the thousands separator.
    EXPECT_EQ(CalculatorOpenedBy(Qt::Key_F6, Qt::NoModifier), U("1234,50"));

    // Only an expense bookmarked: the expense alone.
    GoTo(U("Возврат"));
    dm->Tb_Hist.Edit();
    dm->Tb_Hist.FieldByName("B")->Clear();
    dm->Tb_Hist.Post();
    EXPECT_EQ(CalculatorOpenedBy(Qt::Key_F6, Qt::ControlModifier), "20");
    // Nothing bookmarked in April's period but its own row: the income of
    // an operation without an expense shows when nothing is marked.
    ShowPeriod(3, EncodeDate(2024, 4, 15));
    GoTo(U("Молоко"));
    dm->Tb_Hist.Edit();
    dm->Tb_Hist.FieldByName("B")->Clear();
    dm->Tb_Hist.Post();
    GoTo(U("Молоко"));
    EXPECT_EQ(CalculatorOpenedBy(Qt::Key_F6, Qt::ControlModifier), U("30,00"));
    ShowPeriod(3, EncodeDate(2024, 3, 15));
    GoTo(U("Возврат"));
    EXPECT_EQ(CalculatorOpenedBy(Qt::Key_F6, Qt::NoModifier), U("150,00"));
}

TEST_F(MainLaunch, F9StartsTheNamedCalculatorFromTheMainWindowAndTheAccountsBook)
{
    QStringList started;
    f->StartProgram = [&](const QString &program) {
        started << program;
        return true;
    };
    f->Calc = "kcalc";
    Key(Qt::Key_F9);
    EXPECT_EQ(started, QStringList{"kcalc"});

    TModalScript book;
    book.Then([](TForm &w) {
        ASSERT_NE(qobject_cast<TFormAcc *>(&w), nullptr);
        SendKeyToFocus(w, Qt::Key_F9);
        w.SetModalResult(mrCancel);
    });
    f->ButAccClick(f->ButAcc);
    EXPECT_TRUE(book.Finished()) << book.Errors().join(u';').toStdString();
    EXPECT_EQ(started, (QStringList{"kcalc", "kcalc"}));
}

TEST_F(MainLaunch, ArrowKeysStepTheDayThePeriodAndMoveRowsInTheDayView)
{
    ShowPeriod(3, EncodeDate(2024, 3, 15));
    Key(Qt::Key_Left, Qt::ControlModifier);
    EXPECT_EQ(f->EntryDate, EncodeDate(2024, 3, 14));
    Key(Qt::Key_Right, Qt::ControlModifier);
    Key(Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(f->EntryDate, EncodeDate(2024, 3, 16));
    Key(Qt::Key_Right, Qt::AltModifier);
    EXPECT_EQ(f->PeriodBegin, EncodeDate(2024, 4, 1));
    Key(Qt::Key_Left, Qt::AltModifier);
    Key(Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(f->PeriodBegin, EncodeDate(2024, 2, 1));
    // Ctrl with Shift is not Ctrl alone: nothing moves.
    const TDateTime before = f->EntryDate;
    Key(Qt::Key_Left, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(f->EntryDate, before);

    // The day view: Ctrl+Down moves the operation below its neighbour, from
    // any control; in the month view it does nothing.
    ShowPeriod(5, EncodeDate(2024, 3, 4));
    ASSERT_TRUE(f->mpUp->Visible());
    GoTo(U("Шуба"));
    const auto order = [&] {
        QStringList names;
        for (dm->Tb_Hist.First(); !dm->Tb_Hist.Eof(); dm->Tb_Hist.Next())
            names << Current();
        return names;
    };
    ASSERT_EQ(order(), (QStringList{U("Шуба"), U("Хлеб")}));
    GoTo(U("Шуба"));
    f->TvCt->SetFocus();
    SendKeyToFocus(*f, Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(order(), (QStringList{U("Хлеб"), U("Шуба")}));
    ShowPeriod(3, EncodeDate(2024, 3, 4));
    EXPECT_FALSE(f->mpUp->Visible());
    GoTo(U("Хлеб"));
    f->TvCt->SetFocus();
    SendKeyToFocus(*f, Qt::Key_Down, Qt::ControlModifier);
    ShowPeriod(5, EncodeDate(2024, 3, 4));
    EXPECT_EQ(order(), (QStringList{U("Хлеб"), U("Шуба")}));
}

TEST_F(MainLaunch, CtrlKeypadPlusListsBookmarksWithoutMarkingTheRow)
{
    GoTo(U("Хлеб"));
    TModalScript script;
    script.Then([](TForm &w) {
        EXPECT_NE(qobject_cast<TFormMrk *>(&w), nullptr);
        w.SetModalResult(mrCancel);
    });
    Key(Qt::Key_Plus, Qt::ControlModifier | Qt::KeypadModifier, "+");
    EXPECT_TRUE(script.Finished()) << script.Errors().join(u';').toStdString();
    EXPECT_TRUE(dm->Tb_Hist.FieldByName("B")->IsNull());
    EXPECT_EQ(Current(), U("Хлеб"));
    // The plain '+' still marks the row.
    Key(Qt::Key_Plus, Qt::KeypadModifier, "+");
    GoTo(U("Хлеб"));
    EXPECT_FALSE(dm->Tb_Hist.FieldByName("B")->IsNull());
}

TEST_F(MainLaunch, EscapeClosesOnlyWithTheSettingAndNoBookBeingEdited)
{
    f->FConfirm = true;
    f->Escape = false;
    {
        TModalScript none;
        Key(Qt::Key_Escape);
        EXPECT_TRUE(none.Seen().empty());
    }
    f->Escape = true;
    TTable &person = dm->Tb_Person;
    person.Append();
    person.FieldByName("NAME")->SetAsString(U("Иванов"));
    {
        TModalScript none;
        Key(Qt::Key_Escape);
        EXPECT_TRUE(none.Seen().empty());
    }
    person.Cancel();
    TModalScript ask;
    ask.Press("No");
    Key(Qt::Key_Escape);
    ASSERT_EQ(ask.Seen().size(), 1u);
    EXPECT_EQ(ask.Seen()[0].Text, U("Закрыть программу?"));
    EXPECT_TRUE(f->ReadyToRun());
}

TEST_F(MainLaunch, AnalysisKeysReachTheirLaunchers)
{
    QStringList opened;
    TAnalysisLaunchers &l = AnalysisLaunchers();
    l.FormLim = [&](TFormMain &) { opened << "lim"; };
    l.FormRest = [&](TFormMain &) { opened << "rest"; };
    l.FormDiff = [&](TFormMain &) { opened << "diff"; };
    l.FormDays = [&](TFormMain &, TDateTime &) {
        opened << "days";
        return false;
    };
    l.OpenResults = [&](TFormMain &, TTreeNode *node, bool contact) {
        opened << QString("rst:%1:%2").arg(node != nullptr).arg(contact);
    };
    l.FormImp = [&](TFormMain &) { opened << "imp"; };
    for (int key : {Qt::Key_F8, Qt::Key_F9, Qt::Key_F10, Qt::Key_F11, Qt::Key_F12})
        Key(key, Qt::ControlModifier);
    EXPECT_EQ(opened, (QStringList{"rst:0:0", "lim", "rest", "diff", "days"}));

    // The results button shows exactly while the command is enabled.
    EXPECT_TRUE(f->mResult->Enabled());
    EXPECT_FALSE(f->ButResult->isHidden());
    f->ButResult->Click();
    f->mImport->Click();
    EXPECT_EQ(opened.mid(5), (QStringList{"rst:0:0", "imp"}));
}

TEST_F(MainLaunch, StatisticsRepeatTheStatusBarForEachKindOfPeriod)
{
    GoTo(U("Шуба"));
    const TTable &acc = dm->Tb_Account;
    const QString accountLine = acc.FieldByName("Account")->AsString() + " = " +
                                FormatFloat("#,##0.00", acc.FieldByName("Rest")->AsFloat()).trimmed() + " " +
                                acc.FieldByName("Currency")->AsString();
    const QStringList whole = f->StatisticsLines();
    ASSERT_EQ(whole.size(), 12);
    EXPECT_EQ(whole[0], U("Весь период"));
    EXPECT_EQ(whole.mid(1, 5), (QStringList{"", U("Начало = 0,00"), U("Приход = 150,00"), Money("Расход = 1_284,50"),
                                            Money("Конец  = -1_134,50")}));
    for (int i = 0; i < 4; ++i) // the status bar's own figures
        EXPECT_TRUE(whole[2 + i].endsWith(f->Sb->PanelText(2 * i + 1))) << whole[2 + i].toStdString();
    EXPECT_EQ(whole[7], f->Sb->Hint());
    EXPECT_EQ(whole[9], accountLine);
    EXPECT_EQ(whole[9], Money("Мой первый счёт = -1_134,50 $"));
    EXPECT_TRUE(whole[11].startsWith(U("Сегодня  ")));

    ShowPeriod(5, EncodeDate(2024, 3, 4));
    const QStringList day = f->StatisticsLines();
    EXPECT_EQ(day[0], U("День = 04 мар 2024"));
    EXPECT_EQ(day[4], Money("Расход = 1_254,50"));

    ShowPeriod(3, EncodeDate(2024, 3, 20));
    EXPECT_EQ(f->StatisticsLines()[0], U("Месяц = 01 мар 2024 - 31 мар 2024"));

    // A click on the status bar shows the same lines in the ledger's font.
    TModalScript script;
    script.Then([&](TForm &w) {
        auto *sum = qobject_cast<TFormSum *>(&w);
        ASSERT_NE(sum, nullptr);
        EXPECT_EQ(w.Caption(), U("Статистика"));
        // The memo gives its no-break spaces back as plain ones.
        EXPECT_EQ(sum->M->Lines(), f->StatisticsLines().join(u'\n').replace(QChar(0xA0), u' ').split(u'\n'));
        EXPECT_EQ(sum->M->Font(), f->DBG->Font());
        w.SetModalResult(mrCancel);
    });
    f->Sb->OnClick(f->Sb);
    EXPECT_TRUE(script.Finished()) << script.Errors().join(u';').toStdString();
}

TEST_F(MainLaunch, StatisticsShowPlannedSumsWhenThePeriodHasPlans)
{
    TTable &t = dm->Tb_Hist;
    t.Append();
    t.FieldByName("Id_Account")->SetAsInteger(acc1);
    t.FieldByName("Date_Real")->SetAsDateTime(Date() + 3);
    t.FieldByName("Kind")->SetAsString("2");
    t.FieldByName("Ct")->SetAsFloat(40);
    t.FieldByName("Level1")->SetAsInteger(0);
    t.Post();
    ShowPeriod(0, Date());
    ASSERT_FALSE(f->PlannedExpenseText.isEmpty());
    const QStringList lines = f->StatisticsLines();
    EXPECT_EQ(lines[4], U("Расход = ") + f->PlannedExpenseText);
    EXPECT_TRUE(lines[4].contains(Money("1_324,50"))) << lines[4].toStdString();
    EXPECT_EQ(lines[3], U("Приход = ") + f->Sb->PanelText(3));
}

} // namespace
} // namespace zorbel
