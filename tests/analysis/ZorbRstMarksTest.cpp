// The results window together with its neighbours: the bookmarks window
// opened from its list (jumps and removals land in that list), F9 starting
// the calculator through the main window, an output limit the memory table
// refuses, and the colours of the condition boxes as they are painted.
#include "RstFixture.h"

#include "analysis/ZorbFilt.h"
#include "core/ZorbLaunch.h"
#include "core/ZorbMarks.h"

#include <QApplication>
#include <QImage>

namespace zorbel::test {
namespace {

const QString kKey = QStringLiteral("Id_Account;Date_Real;Date_Create;Kind");

Variant KeyOf(const TRstRow &r)
{
    return VarArrayOf({Variant(r.Account), Variant::FromDate(r.Date), Variant::FromDate(r.Stamp), Variant(r.Kind)});
}

bool OnRow(TQuery &q, const TRstRow &r)
{
    return q.FieldByName(U("id_account"))->AsInteger() == r.Account &&
           int(q.FieldByName(U("date_real"))->AsDateTime()) == int(r.Date) &&
           q.FieldByName(U("kind"))->AsString() == r.Kind &&
           std::abs(q.FieldByName(U("date_create"))->AsDateTime() - r.Stamp) < 1e-8;
}

class RstMarksTest : public RstFixture {
protected:
    // The first marked row that passes Pick.
    const TRstRow *Marked(const std::function<bool(const TRstRow &)> &Pick)
    {
        for (const TRstRow &r : Rows)
            if (r.Mark && Pick(r))
                return &r;
        return nullptr;
    }
    // Shows the bookmarks window from the results window's list; Step runs
    // on it with every period and account listed.
    void WithMarks(TFormRst &f, const std::function<void(TFormMrk &)> &Step, TModalScript &Script)
    {
        const bool whole = f.Period.Kind == rpWhole;
        const TDateTime from = f.Period.FromDate, to = f.Period.ToDate;
        Script.Then([Step, whole, from, to](TForm &form) {
            auto &marks = static_cast<TFormMrk &>(form);
            // The results window's own period, as the ledger hands over its own.
            EXPECT_EQ(marks.ChTotal->Checked(), whole);
            EXPECT_EQ(marks.ChTotal->Enabled(), !whole);
            marks.ChAll->SetChecked(true);
            if (!whole) {
                ASSERT_GT(marks.Qmark.RecordCount(), 0);
                for (marks.Qmark.First(); !marks.Qmark.Eof(); marks.Qmark.Next()) {
                    const TDateTime d = marks.Qmark.FieldByName(U("date_real"))->AsDateTime();
                    ASSERT_TRUE(d >= from && d <= to) << d;
                }
            }
            marks.ChTotal->SetChecked(true);
            Step(marks);
            if (form.ModalResult() == mrNone)
                form.SetModalResult(mrCancel);
        });
        f.ShowBookmarks();
    }
};

bool In2024(const TRstRow &r) { return r.Date >= EncodeDate(2024, 1, 1) && r.Date <= EncodeDate(2024, 12, 31); }

TEST_F(RstMarksTest, JumpLandsInTheResultsListAndWidensItsPeriodWhenNeeded)
{
    Populate(240);
    auto f = OpenList();
    ASSERT_EQ(FormRst(), static_cast<TRstWindow *>(f.get()));
    const TRstRow *inside = Marked([](const TRstRow &r) { return In2024(r) && r.Account != 2; });
    const TRstRow *later = Marked([](const TRstRow &r) { return r.Date > EncodeDate(2024, 12, 31); });
    ASSERT_TRUE(inside && later);
    const int accountBefore = main->Dm->Tb_Account.FieldByName(U("Id_Account"))->AsInteger();

    // A mark of the shown year: the list moves to it, the ledger's account stays.
    TModalScript script;
    WithMarks(*f, [&](TFormMrk &m) {
        ASSERT_TRUE(m.Qmark.Locate(kKey, KeyOf(*inside), {}));
        m.GoToMark();
    }, script);
    EXPECT_TRUE(script.Finished()) << script.Errors().join(u';').toStdString();
    EXPECT_TRUE(OnRow(f->Qhs(), *inside));
    EXPECT_EQ(f->Period.Kind, rpYear);
    EXPECT_EQ(main->Dm->Tb_Account.FieldByName(U("Id_Account"))->AsInteger(), accountBefore);

    // A mark of 2025: the list switches to the whole period and finds it.
    TModalScript second;
    WithMarks(*f, [&](TFormMrk &m) {
        ASSERT_TRUE(m.Qmark.Locate(kKey, KeyOf(*later), {}));
        m.GoToMark();
    }, second);
    EXPECT_TRUE(second.Finished()) << second.Errors().join(u';').toStdString();
    EXPECT_EQ(f->Period.Kind, rpWhole);
    EXPECT_TRUE(f->Qhs().Active());
    EXPECT_TRUE(OnRow(f->Qhs(), *later));
}

TEST_F(RstMarksTest, MarkOutsideTheConditionsIsReported)
{
    Populate(240);
    auto f = OpenList();
    // Realised operations only: a planned mark is in no period of the list.
    f->CbKind->SetItemIndex(0);
    f->RefreshResults();
    const TRstRow *planned = Marked([](const TRstRow &r) { return r.Kind == u"2"; });
    ASSERT_NE(planned, nullptr);
    TModalScript script;
    QString notice;
    script.Then([&](TForm &form) {
        auto &marks = static_cast<TFormMrk &>(form);
        marks.ChAll->SetChecked(true);
        marks.ChTotal->SetChecked(true);
        ASSERT_TRUE(marks.Qmark.Locate(kKey, KeyOf(*planned), {}));
        TModalScript inner;
        inner.Press(QStringLiteral("OK"));
        marks.GoToMark();
        EXPECT_TRUE(inner.Finished());
        ASSERT_EQ(inner.Seen().size(), 1u);
        notice = inner.Seen()[0].Text;
        form.SetModalResult(mrCancel);
    });
    f->ShowBookmarks();
    EXPECT_TRUE(script.Finished()) << script.Errors().join(u';').toStdString();
    EXPECT_EQ(notice, U("В отобранных строках закладка не найдена!"));
    EXPECT_EQ(f->Period.Kind, rpWhole);
    // The list still shows only realised rows.
    for (f->Qhs().First(); !f->Qhs().Eof(); f->Qhs().Next())
        ASSERT_EQ(f->Qhs().FieldByName(U("kind"))->AsString(), U("1"));
}

// The list cannot be read again after a mark is removed: it stays closed
// (no row with a stale mark) and the user is told.
TEST_F(RstMarksTest, AResultsListThatCannotBeReadAgainIsSaidSo)
{
    Populate(240);
    auto f = OpenList();
    TQuery &hs = f->Qhs();
    const TRstRow *target = Marked([](const TRstRow &r) { return In2024(r); });
    ASSERT_NE(target, nullptr);
    const auto previous = hs.BeforeOpen;
    TModalScript script;
    WithMarks(*f, [&](TFormMrk &m) {
        ASSERT_TRUE(m.Qmark.Locate(kKey, KeyOf(*target), {}));
        hs.BeforeOpen = [](TDataSet *) { throw EDatabaseError(QStringLiteral("injected failure")); };
        TModalScript notice;
        notice.Press(QStringLiteral("OK"));
        m.RemoveMarks(false);
        hs.BeforeOpen = previous;
        ASSERT_EQ(notice.Seen().size(), 1u);
        EXPECT_TRUE(notice.Seen()[0].Text.contains(QStringLiteral("injected failure")));
    }, script);
    EXPECT_FALSE(hs.Active());
    EXPECT_EQ(Sqlite(U("select count(*) from tb_hist where b is not null")).toInt(),
              int(std::count_if(Rows.begin(), Rows.end(), [](const TRstRow &r) { return r.Mark; })) - 1);
}

// Removing all marks is one step: a row whose mark cannot be removed keeps
// every mark, and the failure goes on to the user.
TEST_F(RstMarksTest, AllMarksGoOrNone)
{
    Populate(240);
    auto f = OpenList();
    const int marks = int(std::count_if(Rows.begin(), Rows.end(), [](const TRstRow &r) { return r.Mark; }));
    ASSERT_GT(marks, 2);
    TTable &h = main->Dm->Tb_Hist;
    int posts = 0;
    TModalScript script;
    const auto previous = h.BeforePost;
    WithMarks(*f, [&](TFormMrk &m) {
        h.BeforePost = [&posts, previous](TDataSet *d) {
            if (previous)
                previous(d);
            if (++posts == 2)
                throw EDatabaseError(QStringLiteral("injected failure"));
        };
        EXPECT_THROW(m.RemoveMarks(true), Exception);
        h.BeforePost = previous;
    }, script);
    EXPECT_EQ(Sqlite(U("select count(*) from tb_hist where b is not null")).toInt(), marks);
}

TEST_F(RstMarksTest, RemovingMarksRereadsTheResultsListOnItsRow)
{
    Populate(240);
    auto f = OpenList();
    TQuery &hs = f->Qhs();
    const TRstRow *target = Marked([](const TRstRow &r) { return In2024(r); });
    ASSERT_NE(target, nullptr);
    ASSERT_TRUE(hs.Locate(kKey, KeyOf(*target), {}));
    hs.Next();
    hs.Next();
    const int recNo = hs.RecNo();
    ASSERT_GT(recNo, 2);
    ASSERT_TRUE(hs.Locate(kKey, KeyOf(*target), {}));
    ASSERT_FALSE(hs.FieldByName(U("b"))->IsNull());
    hs.SetRecNo(recNo);

    TModalScript script;
    WithMarks(*f, [&](TFormMrk &m) {
        ASSERT_TRUE(m.Qmark.Locate(kKey, KeyOf(*target), {}));
        m.RemoveMarks(false);
    }, script);
    EXPECT_TRUE(script.Finished()) << script.Errors().join(u';').toStdString();
    EXPECT_EQ(hs.RecNo(), recNo);
    // The list was read again: the removed mark is gone from it.
    ASSERT_TRUE(hs.Locate(kKey, KeyOf(*target), {}));
    EXPECT_TRUE(hs.FieldByName(U("b"))->IsNull());
    EXPECT_EQ(Sqlite(U("select count(*) from tb_hist where b is not null")).toInt(),
              int(std::count_if(Rows.begin(), Rows.end(), [](const TRstRow &r) { return r.Mark; })) - 1);

    // Clearing all closes the bookmarks window and the list shows no mark.
    TModalScript all;
    all.Then([](TForm &form) {
        auto &marks = static_cast<TFormMrk &>(form);
        marks.ChAll->SetChecked(true);
        marks.ChTotal->SetChecked(true);
        TModalScript yes;
        yes.Press(QStringLiteral("Yes"));
        marks.ButClear->Click();
        EXPECT_TRUE(yes.Finished());
        EXPECT_EQ(form.ModalResult(), mrOk);
    });
    f->ShowBookmarks();
    EXPECT_TRUE(all.Finished()) << all.Errors().join(u';').toStdString();
    for (hs.First(); !hs.Eof(); hs.Next())
        ASSERT_TRUE(hs.FieldByName(U("b"))->IsNull());
    EXPECT_EQ(Sqlite(U("select count(*) from tb_hist where b is not null")).toInt(), 0);
}

TEST_F(RstMarksTest, CtrlEqualsInTheListOpensTheBookmarksAndMarksNothing)
{
    // "=" alone toggles the row's bookmark; with Ctrl it is the shortcut of
    // "Все закладки..." and must not mark the row on the way.
    Populate(30);
    auto f = OpenList();
    f->show();
    TQuery &q = f->Qhs();
    ASSERT_TRUE(q.Active() && !q.IsEmpty());
    const QString before = Sqlite(U("select count(*) from tb_hist where b is not null"));
    QString opened;
    TModalScript script;
    script.Then([&](TForm &form) {
        opened = form.objectName();
        form.SetModalResult(mrCancel);
    });
    SendKey(f->DBGTab->View(), Qt::Key_Equal, Qt::ControlModifier, QStringLiteral("="));
    EXPECT_TRUE(script.Finished()) << script.Errors().join(u';').toStdString();
    EXPECT_EQ(opened, QStringLiteral("FormMrk"));
    EXPECT_EQ(Sqlite(U("select count(*) from tb_hist where b is not null")), before);
    EXPECT_EQ(ShortCutToText(f->mpShowMark->ShortCut()), QStringLiteral("Ctrl+="));
}

TEST_F(RstMarksTest, F9StartsTheCalculatorOfTheSettings)
{
    Populate(12);
    auto f = OpenWindow();
    QStringList started;
    main->Calc = QStringLiteral("galculator");
    main->StartProgram = [&started](const QString &Program) {
        started << Program;
        return true;
    };
    WORD key = VK_F9;
    f->FormKeyDown(nullptr, key, TShiftState{});
    EXPECT_EQ(key, 0);
    EXPECT_EQ(started, QStringList{QStringLiteral("galculator")});
    // With a modifier F9 is not the calculator.
    key = VK_F9;
    f->FormKeyDown(nullptr, key, TShiftState{ssCtrl});
    EXPECT_EQ(started.size(), 1);
    // The default setting opens the program's own calculator.
    main->Calc = QStringLiteral("calc.exe");
    TModalScript script;
    QString caption;
    script.Then([&caption](TForm &form) {
        caption = form.objectName();
        form.SetModalResult(mrCancel);
    });
    key = VK_F9;
    f->FormKeyDown(nullptr, key, TShiftState{});
    EXPECT_TRUE(script.Finished()) << script.Errors().join(u';').toStdString();
    EXPECT_EQ(caption, QStringLiteral("FormCalc"));
    EXPECT_EQ(started.size(), 1);
}

TEST_F(RstMarksTest, LimitTheTableCannotReadIsRefusedAndReported)
{
    Populate(240);
    auto f = OpenWindow();
    f->RefreshResults();
    const int rows = f->TabRes.RecordCount();
    ASSERT_GT(rows, 1);
    // A working limit first, so that the refusal has something to lift.
    TModalScript first;
    first.Then([](TForm &form) {
        auto &filt = static_cast<TFormFilt &>(form);
        filt.EdDt->SetText(QStringLiteral("1000000000"));
        filt.ButOk->Click();
    });
    f->mpFiltClick(nullptr);
    ASSERT_TRUE(first.Finished()) << first.Errors().join(u';').toStdString();
    ASSERT_EQ(f->TabRes.RecordCount(), 0);
    // The dialog hands over a threshold that is no number (its own check is
    // passed over, as another caller of the dialog might).
    TModalScript script;
    script.Then([](TForm &form) {
        auto &filt = static_cast<TFormFilt &>(form);
        filt.EdDt->SetText(QStringLiteral("12 abc"));
        form.SetModalResult(mrOk);
    });
    script.Press(QStringLiteral("OK"));
    f->mpFiltClick(nullptr);
    ASSERT_TRUE(script.Finished()) << script.Errors().join(u';').toStdString();
    ASSERT_EQ(script.Seen().size(), 2u);
    EXPECT_EQ(script.Seen()[1].Text, U("Ограничение не принято: sdt>'12 abc'"));
    EXPECT_TRUE(f->TabRes.Filter().isEmpty());
    EXPECT_EQ(f->ButFiltSum->Caption(), QStringLiteral("- - -"));
    EXPECT_EQ(f->TabRes.RecordCount(), rows);
}

TEST_F(RstMarksTest, ConditionBoxesArePaintedInTheirStateColours)
{
    Populate(60);
    auto f = OpenWindow();
    f->resize(1000, 620);
    f->show();
    f->RefreshResults();
    // A point near the right end of a box: its background, not its caption.
    const auto colourAt = [&f](TCheckBox *Box) {
        const QImage image = f->grab().toImage();
        return image.pixelColor(Box->mapTo(f.get(), QPoint(Box->width() - 4, Box->height() / 2)));
    };
    const QColor info = QApplication::palette().color(QPalette::ToolTipBase);
    const QColor exclude(0xFF, 0xDB, 0xDB);
    const QColor plain = colourAt(f->ChMark);
    ASSERT_NE(info, plain);
    for (TCheckBox *b : {f->ChItm1, f->ChAcc, f->ChPers, f->ChFirm})
        EXPECT_EQ(colourAt(b), info) << b->objectName().toStdString();
    f->ToggleIncludeExclude(f->ChAcc);
    f->ToggleIncludeExclude(f->ChFirm);
    EXPECT_EQ(colourAt(f->ChAcc), exclude);
    EXPECT_EQ(colourAt(f->ChFirm), exclude);
    EXPECT_EQ(colourAt(f->ChPers), info);
    // Bookmarks: red for "without", lime for "with", the panel's when unticked.
    f->ChMark->SetTag(1);
    f->ChMark->SetChecked(true);
    EXPECT_EQ(colourAt(f->ChMark), QColor(Qt::red));
    f->ChMarkMouseDown(f->ChMark, TMouseButton::mbRight, TShiftState{}, 0, 0);
    EXPECT_EQ(f->ChMark->Tag(), 0);
    EXPECT_EQ(colourAt(f->ChMark), QColor(Qt::green));
    f->ChTrans->SetChecked(true);
    EXPECT_EQ(colourAt(f->ChTrans), QColor(Qt::red));
    f->ChMark->SetChecked(false);
    f->ChTrans->SetChecked(false);
    EXPECT_EQ(colourAt(f->ChMark), plain);
    EXPECT_EQ(colourAt(f->ChTrans), plain);
    // A right click on the unticked box shows the kind its tick will choose.
    f->ChMarkMouseDown(f->ChMark, TMouseButton::mbRight, TShiftState{}, 0, 0);
    EXPECT_FALSE(f->ChMark->Checked());
    EXPECT_EQ(f->ChMark->Tag(), 1);
    EXPECT_EQ(colourAt(f->ChMark), QColor(Qt::red));
    if (const QByteArray dir = qgetenv("ZORBEL_SHOTS"); !dir.isEmpty()) // to look at
        f->grab().save(QString::fromUtf8(dir) + QStringLiteral("/rst-boxes.png"));
    f->ChMarkMouseDown(f->ChMark, TMouseButton::mbRight, TShiftState{}, 0, 0);
    EXPECT_EQ(colourAt(f->ChMark), QColor(Qt::green));
    f->ToggleIncludeExclude(f->ChAcc);
    EXPECT_EQ(colourAt(f->ChAcc), info);
}

} // namespace
} // namespace zorbel::test
