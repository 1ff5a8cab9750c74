// Every figure cell of every window with money grids whole, at the default
// font and at 16 pt: the main ledger, the results window's totals,
// operations list and dynamics, the limits window with its totals strip,
// the monthly balances, a year by category and future days, over a ledger
// whose amounts run to eleven integer digits and whose totals, balances and
// limit differences are negative and longer still. For every figure cell a
// grid paints, the text drawn must be the field's formatted figure, inside
// the cell as the cell's font measures it, in a font not below four fifths
// of the grid's; a cell left empty while its column widens must be drawn
// once the grid has painted again.
// With ZORBEL_SHOTS set to a folder, each window is saved there as a PNG.
#include "RstFixture.h"

#include "analysis/ZorbDays.h"
#include "analysis/ZorbDiff.h"
#include "analysis/ZorbLim.h"
#include "analysis/ZorbRest.h"
#include "analysis/ZorbRstDynCalc.h"
#include "platform/rtl/Format.h"
#include "platform/widgets/DBGrids.h"
#include "support/ScreenShot.h"

#include <QApplication>
#include <QDir>
#include <QFontMetrics>
#include <QHeaderView>
#include <QScreen>
#include <set>

namespace zorbel::test {
namespace {

bool IsFigure(const TField *f)
{
    return dynamic_cast<const TNumericField *>(f) || dynamic_cast<const TDateTimeField *>(f);
}

// The text a figure field shows: its value in its display format.
QString Formatted(TField *f)
{
    if (f->IsNull())
        return QString();
    if (dynamic_cast<TFloatField *>(f) && !f->DisplayFormat().isEmpty())
        return FormatFloat(f->DisplayFormat(), f->AsFloat());
    return f->DisplayText();
}

// What the grids of a window drew in their last paint.
class TFigureWatch {
public:
    explicit TFigureWatch(QWidget &window) : window_(window)
    {
        for (TDBGrid *g : window.findChildren<TDBGrid *>()) {
            g->OnCellTextDrawn = [this, g](TObject *, TColumn *c, const QRect &cell, const QRect &box,
                                          const QString &text) { Drawn(g, c, cell, box, text); };
            TDrawColumnCellEvent inner = g->OnDrawColumnCell;
            kept_.emplace_back(g, inner);
            g->OnDrawColumnCell = [this, g, inner](TObject *s, const QRect &r, int dc, TColumn *c, TGridDrawState st) {
                if (inner)
                    inner(s, r, dc, c, st);
                if (c && c->Field() && IsFigure(c->Field()) && !c->Field()->IsNull())
                    painted_.insert(Key(g, r));
            };
        }
    }

    ~TFigureWatch()
    {
        for (auto &[g, inner] : kept_) {
            g->OnDrawColumnCell = inner;
            g->OnCellTextDrawn = nullptr;
        }
    }
    TFigureWatch(const TFigureWatch &) = delete;
    TFigureWatch &operator=(const TFigureWatch &) = delete;

    // Paints the window, lets the grids widen what they asked for, paints
    // it again and checks that last paint.
    void Check(const std::string &what)
    {
        for (int pass = 0; pass < 3; ++pass) {
            for (int i = 0; i < 3; ++i)
                QApplication::processEvents();
            painted_.clear();
            drawn_.clear();
            errors_.clear();
            figures_ = 0;
            (void)window_.grab();
        }
        EXPECT_GT(figures_, 0) << what;
        for (const auto &k : painted_)
            if (!drawn_.count(k))
                errors_.push_back("a figure cell left empty in " + std::get<0>(k)->Name().toStdString());
        EXPECT_TRUE(errors_.empty()) << what << ": " << errors_.size() << " faults, first: " << errors_.front();
        Figures += figures_;
    }
    int Figures = 0;

private:
    using TKey = std::tuple<TDBGrid *, int, int, int, int>;
    static TKey Key(TDBGrid *g, const QRect &r) { return {g, r.x(), r.y(), r.width(), r.height()}; }

    void Drawn(TDBGrid *g, TColumn *c, const QRect &cell, const QRect &box, const QString &text)
    {
        TField *f = c ? c->Field() : nullptr;
        if (!f || !IsFigure(f))
            return;
        ++figures_;
        drawn_.insert(Key(g, cell));
        const std::string where = g->Name().toStdString() + "." + c->FieldName().toStdString() + " \"" +
                                  text.toStdString() + "\"";
        if (text != Formatted(f))
            errors_.push_back(where + " is not " + Formatted(f).toStdString());
        const QFont &font = g->Canvas().Font;
        const int advance = QFontMetrics(font).horizontalAdvance(text);
        if (box.left() < cell.left() || box.left() + advance > cell.left() + cell.width())
            errors_.push_back(where + " runs out of its cell: " + std::to_string(advance) + " px in " +
                              std::to_string(cell.width()));
        const double size = g->View()->font().pointSizeF();
        if (size > 0 && font.pointSizeF() < size * TDBGrid::FigureFontShare - 0.01)
            errors_.push_back(where + " drawn at " + std::to_string(font.pointSizeF()) + " pt in a grid of " +
                              std::to_string(size));
    }

    QWidget &window_;
    std::vector<std::pair<TDBGrid *, TDrawColumnCellEvent>> kept_; // each grid's own handler
    std::set<TKey> painted_, drawn_;
    std::vector<std::string> errors_;
    int figures_ = 0;
};

// The grid shows every column whole, the last one ending inside its view
// (the future days' balance ran under the scroll bar, the grouped totals'
// result under the splitter).
void ExpectColumnsWhole(TDBGrid &grid, const std::string &what)
{
    // Paint, widen, the window follows, lay out again.
    for (int i = 0; i < 12; ++i)
        QApplication::processEvents();
    const QHeaderView *h = grid.View()->horizontalHeader();
    ASSERT_GT(h->count(), 0) << what;
    EXPECT_EQ(h->offset(), 0) << what;
    const int last = h->logicalIndex(h->count() - 1);
    EXPECT_LE(h->sectionViewportPosition(last) + h->sectionSize(last), grid.View()->viewport()->width())
        << what << ": the last column ends at " << h->sectionViewportPosition(last) + h->sectionSize(last)
        << " in a view " << grid.View()->viewport()->width() << " wide";
}

void Shot(QWidget &w, const QString &name)
{
    const QByteArray dir = qgetenv("ZORBEL_SHOTS");
    if (!dir.isEmpty())
        WindowPicture(w).save(QDir(QString::fromUtf8(dir)).filePath(name + QStringLiteral(".png")));
}

class FigureCells : public RstFixture {
protected:
    // The generated ledger with amounts of ten and eleven integer digits
    // (within the money bound), limits on an expense and an income
    // category, and every opening balance deep below zero.
    void PopulateHuge()
    {
        Populate(60);
        Exec(U("update tb_hist set dt = dt * 190000003, ct = ct * 189999983"));
        Exec(U("update tb_account set beg = -98765432101.23"));
        Exec(U("update tb_items set lim = 1234567890.12 where id_itm in (110, 200)"));
        // Days to come after today, for the future days window.
        const TDateTime today = std::trunc(Now());
        for (int account = 1; account <= 3; ++account)
            for (int i = 1; i <= 6; ++i)
                TDataSetBuilder(main->Dm->Db)
                    .Operation({.Account = account, .Date = today + 3 * i, .Kind = U("2"), .Ct = 98765432109.87 - i,
                                .Level1 = 100});
        TDm &dm = *main->Dm;
        for (TTable *t : {&dm.Tb_Account, &dm.Tb_Items, &dm.Tb_Hist}) {
            t->Close();
            t->Open();
        }
        dm.Tb_Account.First();
        main->SetLedgerRange(dm.Tb_Hist);
        main->EntryDate = EncodeDate(2024, 3, 15);
        main->LimSum = true;
        main->LimFilter = 2; // every turnover and every limit
        main->LimPlan = true; // the accounts of the current one's currency
        main->RestDt = 7;     // balances, expenses and incomes
        main->BalYear = 2024;
    }

    void SetFonts(int points)
    {
        if (points > 0) {
            main->GridFont.setPointSize(points);
            main->TitleFont.setPointSize(points);
        }
        main->ApplyGridFonts();
    }

    template <class TWindow>
    void Sweep(TMenuItem *item, const QString &name, int points, std::function<void(TWindow &)> prepare = {},
               std::function<void(TWindow &)> after = {})
    {
        bool seen = false;
        TModalScript script;
        script.Then([&](TForm &f) {
            auto *w = qobject_cast<TWindow *>(&f);
            ASSERT_NE(w, nullptr);
            seen = true;
            if (prepare)
                prepare(*w);
            TFigureWatch watch(f);
            watch.Check(name.toStdString() + " at " + std::to_string(points));
            if (after)
                after(*w);
            Shot(f, name + QString::number(points));
            f.Close();
        });
        item->Click();
        EXPECT_TRUE(seen) << name.toStdString();
        EXPECT_TRUE(script.Errors().isEmpty()) << script.Errors().join(u';').toStdString();
    }
};

TEST_F(FigureCells, EveryMoneyGridDrawsWholeFiguresAtDefaultAndLargeFonts)
{
    PopulateHuge();
    const QFont grid = main->GridFont, title = main->TitleFont;
    for (int points : {0, 16}) {
        main->GridFont = grid;
        main->TitleFont = title;
        SetFonts(points);
        const std::string at = " at " + std::to_string(points);

        main->resize(900, 600);
        main->show();
        // The entry date's button holds its caption whole, and what follows
        // it on the bar starts right of it.
        main->EntryDate = EncodeDate(2026, 12, 10);
        main->ShowEntryDate();
        const QFontMetrics dateFont(main->ButDate->font());
        EXPECT_EQ(main->ButDate->Caption(), U("10.12.26 Чт"));
        EXPECT_LE(dateFont.horizontalAdvance(main->ButDate->Caption()) + 12, main->ButDate->width()) << at;
        EXPECT_GE(main->CbPer->x(), main->PanDate->x() + main->PanDate->width()) << at;
        EXPECT_GE(main->PanDate->width(), main->ButDate->x() + main->ButDate->width()) << at;
        // The results button and the account's balance come after the period
        // box, each whole and apart: the balance's caption starts with the
        // account's name, which a button over it would hide.
        ASSERT_TRUE(main->ButResult->isVisible()) << at;
        EXPECT_GE(main->ButResult->x(), main->CbPer->x() + main->CbPer->width()) << at;
        EXPECT_GE(main->PanAcRest->x(), main->ButResult->x() + main->ButResult->width()) << at;
        EXPECT_TRUE(main->PanAcRest->Caption().startsWith(main->Dm->Tb_Account.FieldByName("Account")->AsString().trimmed() + " = "))
            << at;
        // A width the user gave the balance (kept in the settings) stays when
        // the date moves the bar.
        const int width = main->PanAcRest->width();
        main->PanAcRest->SetWidth(width + 30);
        main->ShowEntryDate();
        EXPECT_EQ(main->PanAcRest->width(), width + 30) << at;
        main->PanAcRest->SetWidth(width);
        main->EntryDate = EncodeDate(2024, 3, 15);
        TFigureWatch ledger(*main);
        ledger.Check("ledger" + at);
        Shot(*main, QStringLiteral("ledger%1").arg(points));

        auto rst = OpenWindow();
        rst->resize(1000, 600);
        rst->show();
        rst->RefreshResults();
        // The pane as the totals' bar needs it, before the grid's figures
        // are painted and measured.
        const int barPane = rst->PanGrTb->Width();
        TFigureWatch(*rst).Check("grouped totals" + at);
        // Whole where the screen has room for them beside the chart; on a
        // narrower screen the grid does not take the chart's room.
        if (rst->frameGeometry().width() < rst->screen()->availableGeometry().width()) {
            ExpectColumnsWhole(*rst->DBGRes, "grouped totals" + at);
        } else {
            EXPECT_LE(rst->PanGrTb->Width(),
                      std::max(barPane, rst->PanGrp->width() - TFormRst::SplitterWidth - TFormRst::ChartMinWidth))
                << at;
        }
        rst->TcGrp->SetTabIndex(1);
        rst->TcGrpChange(nullptr);
        TFigureWatch(*rst).Check("operations list" + at);
        rst->CbDay->SetItemIndex(duMonths);
        rst->Cbars->SetItemIndex(2);
        rst->TcGrp->SetTabIndex(2);
        rst->TcGrpChange(nullptr);
        ASSERT_TRUE(rst->TabDyn.Active());
        ASSERT_GT(rst->TabDyn.RecordCount(), 0);
        TFigureWatch(*rst).Check("dynamics" + at);
        rst->close();
        rst.reset();

        Sweep<TFormLim>(main->mLim, QStringLiteral("limits"), points);
        Sweep<TFormRest>(main->mRest, QStringLiteral("balances"), points, [](TFormRest &w) {
            w.CbSel->SetItemIndex(3); // the tables
            w.CbSelClick(nullptr);
        });
        Sweep<TFormDiff>(main->mCompare, QStringLiteral("year"), points);
        Sweep<TFormDays>(main->mDays, QStringLiteral("days"), points, {},
                         [&](TFormDays &w) { ExpectColumnsWhole(*w.DBGDays, "future days" + at); });
        main->hide();
    }
}

} // namespace
} // namespace zorbel::test
