// The data grid over a 100,000-row dataset: only the shown rows are read,
// moving and selecting go through the dataset, edits post, column layouts
// round-trip, and owner drawing sees exactly the shown cells.
// With ZORBEL_SCREENSHOTS set to a folder the grid is saved there as grid.png.
#include "LedgerDataSet.h"
#include "../dataset/DataSetTestSupport.h"

#include "platform/widgets/DBGrids.h"
#include "platform/widgets/Forms.h"
#include "platform/widgets/ModalScript.h"
#include "platform/widgets/StdCtrls.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QWheelEvent>
#include <set>

namespace zorbel {
namespace {

using test::TLedgerDataSet;

constexpr int Rows = 100000;

struct GridFixture : ::testing::Test {
    TLedgerDataSet data{Rows};
    TDataSource source{&data};
    TForm form;
    TKDBGrid *grid = nullptr;

    void SetUp() override
    {
        form.resize(520, 300);
        grid = new TKDBGrid(&form, QStringLiteral("DBG"));
        grid->SetAlign(TAlign::alClient);
        grid->SetDataSource(&source);
        data.Open();
        form.show();
        QApplication::processEvents();
    }
    int Id() const { return data.FieldByName(QStringLiteral("ID"))->AsInteger(); }
    // Ids of the rows the grid shows, top to bottom.
    std::vector<int> ShownIds() const
    {
        std::vector<int> ids;
        QAbstractItemModel *model = grid->View()->model();
        for (int r = 0; r < model->rowCount(); ++r)
            ids.push_back(model->index(r, 0).data().toInt());
        return ids;
    }
    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString &text = {})
    {
        SendKey(grid->View(), key, modifiers, text);
    }
    void ClickRow(int row, int column = 0, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        const QRect r = grid->View()->visualRect(grid->View()->model()->index(row, column));
        QMouseEvent press(QEvent::MouseButtonPress, r.center(), grid->View()->viewport()->mapToGlobal(r.center()),
                          Qt::LeftButton, Qt::LeftButton, modifiers);
        QApplication::sendEvent(grid->View()->viewport(), &press);
        QMouseEvent release(QEvent::MouseButtonRelease, r.center(),
                            grid->View()->viewport()->mapToGlobal(r.center()), Qt::LeftButton, Qt::NoButton,
                            modifiers);
        QApplication::sendEvent(grid->View()->viewport(), &release);
    }
    void Wheel(int delta)
    {
        QWidget *vp = grid->View()->viewport();
        QWheelEvent wheel(QPointF(20, 20), vp->mapToGlobal(QPointF(20, 20)), QPoint(), QPoint(0, delta),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(vp, &wheel);
    }
};

TEST_F(GridFixture, ShowsOnlyTheRowsThatFitAndFollowsTheDataset)
{
    const int visible = grid->VisibleRowCount();
    EXPECT_GT(visible, 5);
    EXPECT_LT(visible, 40);
    EXPECT_EQ(grid->View()->model()->rowCount(), visible);
    EXPECT_EQ(grid->View()->model()->columnCount(), 5);
    std::vector<int> expected(static_cast<size_t>(visible));
    for (int i = 0; i < visible; ++i)
        expected[size_t(i)] = i + 1;
    EXPECT_EQ(ShownIds(), expected);

    data.ResetFetches();
    Key(Qt::Key_PageDown);
    EXPECT_EQ(Id(), 1 + visible);
    EXPECT_EQ(ShownIds().back(), Id());
    EXPECT_LE(data.Fetches(), 2 * visible) << "a page step reads about one page";
    EXPECT_EQ(grid->VerticalBar()->value(), visible);
    EXPECT_EQ(grid->VerticalBar()->maximum(), Rows - 1);

    Key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(Id(), Rows);
    EXPECT_EQ(ShownIds().back(), Rows);
    EXPECT_EQ(int(ShownIds().size()), visible);
    EXPECT_EQ(grid->VerticalBar()->value(), Rows - 1);

    Key(Qt::Key_Up);
    EXPECT_EQ(Id(), Rows - 1);
    EXPECT_EQ(ShownIds().back(), Rows) << "the window does not move while the current row is inside it";

    grid->ScrollTo(49999);
    EXPECT_EQ(Id(), 50000);
    const std::vector<int> shown = ShownIds();
    EXPECT_NE(std::find(shown.begin(), shown.end(), 50000), shown.end());

    Key(Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(Id(), 1);
    EXPECT_EQ(ShownIds().front(), 1);
}

TEST_F(GridFixture, WheelMovesByTheSetNumberOfRowsOrIsSwallowed)
{
    grid->SetWheelLinesMany(3);
    Wheel(-120);
    EXPECT_EQ(Id(), 4);
    Wheel(120);
    EXPECT_EQ(Id(), 1);
    grid->SetWheelLinesMode(true);
    Wheel(-240);
    EXPECT_EQ(Id(), 1 + 2 * QApplication::wheelScrollLines());
    const int before = Id();
    grid->OnMouseWheel = [](TObject *, TShiftState, int, QPoint, bool &handled) { handled = true; };
    Wheel(-120);
    EXPECT_EQ(Id(), before);
}

TEST_F(GridFixture, ClicksSelectRowsAndBookmarks)
{
    grid->SetOptions(grid->Options() + TDBGridOptions{dgRowSelect, dgMultiSelect});
    std::vector<std::string> downs;
    grid->OnMouseDown = [&](TObject *, TMouseButton, TShiftState, int, int) {
        downs.push_back(std::to_string(Id()));
    };
    ClickRow(3, 2);
    EXPECT_EQ(Id(), 4);
    EXPECT_EQ(grid->SelectedIndex(), 2);
    EXPECT_EQ(grid->SelectedField()->FieldName(), QStringLiteral("NAME"));
    EXPECT_EQ(downs, std::vector<std::string>{"1"}) << "OnMouseDown fires before the grid moves";
    EXPECT_EQ(grid->SelectedRows().Count(), 0);

    ClickRow(5, 0, Qt::ControlModifier);
    ClickRow(1, 0, Qt::ControlModifier);
    EXPECT_EQ(grid->SelectedRows().Count(), 2);
    EXPECT_TRUE(grid->SelectedRows().CurrentRowSelected());
    ClickRow(5, 0, Qt::ControlModifier);
    EXPECT_EQ(grid->SelectedRows().Count(), 1) << "a second Ctrl+click takes the row out";

    // Shift+click chooses the rows from the current one (id 6) to the clicked one.
    ClickRow(3, 0, Qt::ShiftModifier);
    EXPECT_EQ(Id(), 4);
    EXPECT_EQ(grid->SelectedRows().Count(), 4);
    const TBookmark here = data.Bookmark();
    std::vector<int> ids;
    for (int i = 0; i < grid->SelectedRows().Count(); ++i) {
        data.GotoBookmark(grid->SelectedRows()[i]);
        ids.push_back(Id());
    }
    EXPECT_EQ(ids, (std::vector<int>{2, 4, 5, 6})) << "kept in dataset order";
    data.GotoBookmark(here);

    Key(Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(grid->SelectedRows().Count(), 5);
    EXPECT_EQ(Id(), 3);
    ClickRow(0);
    EXPECT_EQ(grid->SelectedRows().Count(), 0) << "a plain click clears the choice";

    grid->SetSelectedField(data.FieldByName(QStringLiteral("SUM")));
    EXPECT_EQ(grid->SelectedIndex(), 3);
}

TEST_F(GridFixture, EditInPlacePostsWhenTheRowChanges)
{
    grid->SetSelectedField(data.FieldByName(QStringLiteral("NAME")));
    Key(Qt::Key_Down);
    Key(Qt::Key_F2);
    auto *edit = qobject_cast<QLineEdit *>(grid->InplaceEditor());
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->text(), QStringLiteral("Запись 2"));
    edit->setText(QStringLiteral("Хлеб"));
    SendKey(edit, Qt::Key_Return);
    EXPECT_EQ(grid->InplaceEditor(), nullptr);
    EXPECT_EQ(data.State(), dsEdit);
    Key(Qt::Key_Down);
    EXPECT_EQ(data.State(), dsBrowse);
    Key(Qt::Key_Up);
    EXPECT_EQ(data.FieldByName(QStringLiteral("NAME"))->AsString(), QStringLiteral("Хлеб"));

    // Typing opens the editor with the typed letter; Escape twice drops it all.
    Key(0x416, Qt::NoModifier, QStringLiteral("Ж"));
    edit = qobject_cast<QLineEdit *>(grid->InplaceEditor());
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->text(), QStringLiteral("Ж"));
    SendKey(edit, Qt::Key_Return);
    EXPECT_EQ(data.FieldByName(QStringLiteral("NAME"))->AsString(), QStringLiteral("Ж"));
    Key(Qt::Key_Escape);
    EXPECT_EQ(data.State(), dsBrowse);
    EXPECT_EQ(data.FieldByName(QStringLiteral("NAME"))->AsString(), QStringLiteral("Хлеб"));

    grid->SetReadOnly(true);
    Key(Qt::Key_F2);
    EXPECT_EQ(grid->InplaceEditor(), nullptr);
}

// Tab and Shift+Tab walk the cells of a grid edited in place, from the open
// editor too, whose text stays in its own column; past the last column the
// walk goes on in the next record. A row-select grid leaves Tab to the focus.
TEST_F(GridFixture, TabWalksTheCellsAndTheEditorsTextStaysInItsColumn)
{
    TField *name = data.FieldByName(QStringLiteral("NAME"));
    TField *sum = data.FieldByName(QStringLiteral("SUM"));
    grid->SetSelectedField(name);
    Key(Qt::Key_F2);
    auto *edit = qobject_cast<QLineEdit *>(grid->InplaceEditor());
    ASSERT_NE(edit, nullptr);
    edit->setText(QStringLiteral("Хлеб"));
    SendKey(edit, Qt::Key_Tab);
    QApplication::processEvents();
    EXPECT_EQ(grid->SelectedField(), sum);
    EXPECT_EQ(grid->InplaceEditor(), nullptr);
    EXPECT_EQ(name->AsString(), QStringLiteral("Хлеб"));
    EXPECT_DOUBLE_EQ(sum->AsFloat(), 1.5);

    // Typing in the next cell and tabbing on writes that cell only.
    Key(0x35, Qt::NoModifier, QStringLiteral("5"));
    ASSERT_NE(grid->InplaceEditor(), nullptr);
    SendKey(grid->InplaceEditor(), Qt::Key_Tab);
    QApplication::processEvents();
    EXPECT_EQ(grid->SelectedField(), data.FieldByName(QStringLiteral("KIND")));
    EXPECT_DOUBLE_EQ(sum->AsFloat(), 5);
    EXPECT_EQ(name->AsString(), QStringLiteral("Хлеб"));

    Key(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(grid->SelectedField(), sum);
    Key(Qt::Key_Tab);
    Key(Qt::Key_Tab); // past the last column: the next record, first column
    EXPECT_EQ(Id(), 2);
    EXPECT_EQ(grid->SelectedField(), data.FieldByName(QStringLiteral("ID")));
    EXPECT_EQ(data.State(), dsBrowse);
    Key(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(Id(), 1);
    EXPECT_EQ(grid->SelectedField(), data.FieldByName(QStringLiteral("KIND")));
    EXPECT_EQ(name->AsString(), QStringLiteral("Хлеб"));

    grid->SetOptions({dgTitles, dgIndicator, dgTabs, dgRowSelect});
    Key(Qt::Key_Tab);
    EXPECT_EQ(grid->SelectedField(), data.FieldByName(QStringLiteral("KIND")));
}

TEST_F(GridFixture, EllipsisButtonOfADateColumnFires)
{
    QString layout = QStringLiteral("ID=40\r\nDATE_REAL=80\r\nNAME=100\r\nSUM=60\r\nKIND=20");
    ApplyColumnLayout(grid, true, layout);
    ASSERT_EQ(grid->Columns()[1]->ButtonStyle(), TColumnButtonStyle::cbsEllipsis);
    int clicks = 0;
    grid->OnEditButtonClick = [&](TObject *) { ++clicks; };
    grid->SetSelectedIndex(1);
    grid->SetEditorMode(true);
    ASSERT_NE(grid->InplaceEditor(), nullptr);
    auto *button = grid->InplaceEditor()->findChild<QAction *>(QStringLiteral("EllipsisButton"));
    ASSERT_NE(button, nullptr);
    button->trigger();
    EXPECT_EQ(clicks, 1);
}

TEST_F(GridFixture, ColumnsWithoutAWidthTakeTheirFieldsDisplayWidth)
{
    // Columns listed in code with no width of their own are as wide as their
    // field's display width in digits (or their title, when wider), not all
    // one narrow default that cuts names and dates short.
    grid->Columns().Clear();
    for (const char *name : {"NAME", "KIND", "DATE_REAL", "NOSUCH"})
        grid->Columns().Add()->SetFieldName(QString::fromLatin1(name));
    data.FieldByName(QStringLiteral("NAME"))->SetDisplayWidth(30);
    data.FieldByName(QStringLiteral("KIND"))->SetDisplayLabel(QStringLiteral("Плановая операция"));
    QApplication::processEvents();
    const QFontMetrics cells(grid->View()->font()), titles(grid->TitleFont());
    TDBGridColumns &c = grid->Columns();
    EXPECT_EQ(c[0]->Width(), 30 * cells.horizontalAdvance(QLatin1Char('0')) + 4);
    EXPECT_EQ(c[1]->Width(), titles.horizontalAdvance(QStringLiteral("Плановая операция")) + 4);
    EXPECT_GE(c[2]->Width(), cells.horizontalAdvance(QStringLiteral("01.01.2024")));
    EXPECT_EQ(c[3]->Width(), 64) << "no field: the grid's default";
    EXPECT_EQ(grid->View()->horizontalHeader()->sectionSize(0), c[0]->Width());
    // A width set by code or by the user stays.
    c[0]->SetWidth(55);
    data.FieldByName(QStringLiteral("NAME"))->SetDisplayWidth(40);
    EXPECT_EQ(c[0]->Width(), 55);
    grid->View()->horizontalHeader()->resizeSection(1, 77);
    EXPECT_EQ(c[1]->Width(), 77);
}

TEST_F(GridFixture, ColumnLayoutRoundTrip)
{
    QString stored;
    ApplyColumnLayout(grid, false, stored);
    EXPECT_EQ(stored.split(QStringLiteral("\r\n")).size(), 5);
    EXPECT_TRUE(stored.startsWith(QStringLiteral("ID=")));

    // Every visible field needs a positive width; a hidden one may have none.
    QString zero = QStringLiteral("sum=70\r\nname=150\r\nDATE_REAL=0\r\nid=30\r\nKIND=15");
    ApplyColumnLayout(grid, true, zero);
    EXPECT_EQ(grid->Columns().State(), TDBGridColumnsState::csDefault);
    data.FieldByName(QStringLiteral("DATE_REAL"))->SetVisible(false);
    QString layout = zero;
    ApplyColumnLayout(grid, true, layout);
    ASSERT_EQ(grid->Columns().Count(), 5);
    EXPECT_EQ(grid->Columns()[0]->Field(), data.FieldByName(QStringLiteral("SUM")));
    EXPECT_EQ(grid->Columns()[1]->Width(), 150);
    EXPECT_EQ(grid->Columns()[2]->Width(), 20) << "a width of 0 becomes 20";
    EXPECT_EQ(grid->View()->horizontalHeader()->sectionSize(1), 150);
    EXPECT_EQ(grid->View()->model()->index(0, 1).data().toString(), QStringLiteral("Запись 1"));

    QString back;
    ApplyColumnLayout(grid, false, back);
    EXPECT_EQ(back, QStringLiteral("SUM=70\r\nNAME=150\r\nDATE_REAL=20\r\nID=30\r\nKIND=15"));

    // A layout lacking one visible field changes nothing.
    data.FieldByName(QStringLiteral("DATE_REAL"))->SetVisible(true);
    QString incomplete = QStringLiteral("ID=10\r\nNAME=10\r\nSUM=10\r\nKIND=10");
    ApplyColumnLayout(grid, true, incomplete);
    EXPECT_EQ(grid->Columns()[0]->FieldName(), QStringLiteral("SUM"));
    // A line naming no field brings the default columns back.
    QString unknown = back + QStringLiteral("\r\nNOSUCH=40");
    ApplyColumnLayout(grid, true, unknown);
    EXPECT_EQ(grid->Columns().State(), TDBGridColumnsState::csDefault);
    EXPECT_EQ(grid->Columns()[0]->FieldName(), QStringLiteral("ID"));

    // A grid of one column stores one line per visible field.
    grid->Columns().Add()->SetFieldName(QStringLiteral("NAME"));
    ASSERT_EQ(grid->Columns().Count(), 1);
    QString all;
    ApplyColumnLayout(grid, false, all);
    EXPECT_EQ(grid->Columns().Count(), 5);
    EXPECT_TRUE(all.startsWith(QStringLiteral("ID="))) << all.toStdString();
    EXPECT_EQ(all.count(QStringLiteral("\r\n")), 4);
}

TEST_F(GridFixture, OwnerDrawingSeesOnlyTheShownCellsOfTheirOwnRow)
{
    grid->SetOptions(grid->Options() + TDBGridOptions{dgRowSelect});
    grid->SetDefaultDrawing(false);
    Key(Qt::Key_Down);
    grid->View()->setFocus();
    std::set<int> ids;
    int cells = 0, selected = 0;
    std::vector<std::string> errors;
    grid->OnDrawColumnCell = [&](TObject *, const QRect &rect, int, TColumn *column, TGridDrawState state) {
        ++cells;
        ids.insert(Id());
        if (state & gdSelected) {
            ++selected;
            if (Id() != 2)
                errors.push_back("selected row " + std::to_string(Id()));
        }
        // Paint the planned rows blue, as the ledger does.
        TField *kind = data.FieldByName(QStringLiteral("KIND"));
        grid->Canvas().FontColor = kind->AsString() == QStringLiteral("2") ? clBlue : clBlack;
        grid->DefaultDrawColumnCell(rect, column->Index(), column, state);
    };
    grid->View()->viewport()->repaint();
    const int visible = grid->VisibleRowCount();
    EXPECT_EQ(cells, visible * 5);
    EXPECT_EQ(int(ids.size()), visible);
    EXPECT_EQ(*ids.begin(), 1);
    EXPECT_EQ(*ids.rbegin(), visible);
    EXPECT_EQ(selected, 5);
    EXPECT_TRUE(errors.empty()) << errors.front();
    EXPECT_EQ(Id(), 2) << "drawing leaves the current record alone";

    const QString dir = qEnvironmentVariable("ZORBEL_SCREENSHOTS");
    if (!dir.isEmpty())
        form.grab().save(QDir(dir).filePath(QStringLiteral("grid.png")));
}

// A number wider than its cell is drawn whole: in a font reduced a little
// where that fits, else its column widens (right-aligned, it lost its
// leading digits at the cell's left edge, or shrank to 6 pt in a 16 pt
// row); a text keeps the grid's font and is cut as before.
TEST_F(GridFixture, NumbersWiderThanTheirCellAreDrawnWhole)
{
    data.FieldByName(QStringLiteral("SUM"))->SetDisplayFormat(QStringLiteral("#,##0.00"));
    QFont big = grid->View()->font();
    big.setPointSize(16);
    grid->SetFont(big);
    TColumn *sum = nullptr;
    for (int i = 0; i < grid->Columns().Count(); ++i) {
        const QString name = grid->Columns()[i]->FieldName();
        if (name == QStringLiteral("SUM") || name == QStringLiteral("NAME"))
            grid->Columns()[i]->SetWidth(40);
        if (name == QStringLiteral("SUM"))
            sum = grid->Columns()[i];
    }
    ASSERT_NE(sum, nullptr);
    int numbers = 0, texts = 0;
    std::vector<std::string> errors;
    grid->OnCellTextDrawn = [&](TObject *, TColumn *column, const QRect &cell, const QRect &, const QString &text) {
        const QFontMetrics fm(grid->Canvas().Font);
        if (column->FieldName() == QStringLiteral("SUM")) {
            ++numbers;
            if (text != column->Field()->DisplayText() || fm.horizontalAdvance(text) > cell.width() - 4)
                errors.push_back("cut: " + text.toStdString());
            if (grid->Canvas().Font.pointSizeF() < grid->View()->font().pointSizeF() * TDBGrid::FigureFontShare)
                errors.push_back("reduced too far: " + text.toStdString());
        } else if (column->FieldName() == QStringLiteral("NAME")) {
            ++texts;
            if (grid->Canvas().Font.pointSizeF() != grid->View()->font().pointSizeF())
                errors.push_back("text reduced: " + text.toStdString());
        }
    };
    grid->View()->viewport()->repaint();
    QApplication::processEvents(); // the column widens after the paint
    EXPECT_GT(sum->Width(), 40);
    grid->View()->viewport()->repaint();
    EXPECT_GT(numbers, 0);
    EXPECT_GT(texts, 0);
    EXPECT_TRUE(errors.empty()) << errors.front();
    // The widening is the figures', not the column's: a stored layout keeps
    // the column's own width (it kept 591 px of a 72 pt font at 8 pt).
    const int wide = sum->Width();
    QString layout;
    ApplyColumnLayout(grid, false, layout);
    EXPECT_TRUE(layout.contains(QStringLiteral("SUM=40"))) << layout.toStdString();

    // Back at a small font the column narrows to what its widest figure
    // needs there, or to its own width where they fit that.
    const auto widest = [&](const QFont &font) {
        int need = 0;
        data.DisableControls();
        for (data.First(); !data.Eof(); data.Next())
            need = std::max(need, QFontMetrics(font).horizontalAdvance(data.FieldByName("SUM")->DisplayText()) + 4);
        data.First();
        data.EnableControls();
        return need;
    };
    for (int points : {8, 6, 28, 9}) {
        QFont font = grid->View()->font();
        font.setPointSize(points);
        grid->SetFont(font);
        grid->View()->viewport()->repaint();
        QApplication::processEvents();
        grid->View()->viewport()->repaint(); // a paint after a widening draws the figures
        QApplication::processEvents();
        const int need = widest(font);
        EXPECT_GE(sum->Width(), std::min(need, 40)) << points;
        EXPECT_LE(sum->Width(), std::max(need, 40)) << points << " pt: " << sum->Width() << " > " << need;
        EXPECT_TRUE(errors.empty()) << points << " pt: " << errors.front();
        if (points == 28) {
            EXPECT_GT(sum->Width(), wide / 2) << "widened again for the larger font";
        }
    }
    EXPECT_EQ(sum->OwnWidth(), 40);

    // A width the user drags is the user's and stays, at any font.
    const int shown = grid->View()->horizontalHeader()->visualIndex(sum->Index());
    grid->View()->horizontalHeader()->resizeSection(shown, 300);
    EXPECT_EQ(sum->OwnWidth(), 300);
    QFont small = grid->View()->font();
    small.setPointSize(7);
    grid->SetFont(small);
    grid->View()->viewport()->repaint();
    QApplication::processEvents();
    EXPECT_EQ(sum->Width(), 300);
    ApplyColumnLayout(grid, false, layout);
    EXPECT_TRUE(layout.contains(QStringLiteral("SUM=300"))) << layout.toStdString();
}

TEST_F(GridFixture, TitleClickAndColumnMove)
{
    QStringList titles;
    grid->OnTitleClick = [&](TObject *, TColumn *column) { titles << column->FieldName(); };
    std::pair<int, int> moved{-1, -1};
    grid->OnColumnMoved = [&](TObject *, int from, int to) { moved = {from, to}; };
    emit grid->View()->horizontalHeader()->sectionClicked(2);
    EXPECT_EQ(titles, QStringList{QStringLiteral("NAME")});
    grid->View()->horizontalHeader()->moveSection(0, 3);
    EXPECT_EQ(moved, std::make_pair(0, 3));
    EXPECT_EQ(grid->Columns()[3]->FieldName(), QStringLiteral("ID"));
    EXPECT_EQ(grid->View()->horizontalHeader()->visualIndex(0), 0);
    EXPECT_EQ(grid->View()->model()->headerData(3, Qt::Horizontal).toString(), QStringLiteral("ID"));

    grid->Columns()[0]->SetVisible(false);
    EXPECT_EQ(grid->View()->model()->columnCount(), 4);
    EXPECT_EQ(grid->View()->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("NAME"));
}

TEST_F(GridFixture, EnterAndExitIgnoreTheGridsOwnEditor)
{
    auto *other = new TEdit(&form, QStringLiteral("Other"));
    other->SetAlign(TAlign::alTop);
    other->show();
    QApplication::setActiveWindow(&form);
    QStringList log;
    grid->OnEnter = [&](TObject *) { log << QStringLiteral("enter"); };
    grid->OnExit = [&](TObject *) { log << QStringLiteral("exit"); };
    other->SetFocus();
    log.clear();
    grid->SetFocus();
    EXPECT_TRUE(grid->Focused());
    grid->SetEditorMode(true);
    ASSERT_NE(grid->InplaceEditor(), nullptr);
    EXPECT_TRUE(grid->InplaceEditor()->hasFocus());
    grid->SetEditorMode(false);
    other->SetFocus();
    EXPECT_EQ(log, (QStringList{"enter", "exit"}));
}

TEST_F(GridFixture, ClosingTheDatasetEmptiesTheGrid)
{
    grid->SetOptions(grid->Options() + TDBGridOptions{dgMultiSelect});
    ClickRow(2, 0, Qt::ControlModifier);
    EXPECT_EQ(grid->SelectedRows().Count(), 1);
    data.Close();
    EXPECT_EQ(grid->View()->model()->rowCount(), 0);
    EXPECT_EQ(grid->SelectedRows().Count(), 0);
    data.Open();
    EXPECT_EQ(grid->View()->model()->rowCount(), grid->VisibleRowCount());
}


// While a run on another thread walks the dataset, painting, the model's
// texts and a resize leave it alone (its active record, its buffers, its
// fetches); when the run ends and its controls come back, the grid shows
// the rows again, sized for the new height.
TEST_F(GridFixture, ARunWalkingTheDatasetIsNotDisturbedByPaintingOrResizing)
{
    Key(Qt::Key_Down);
    Key(Qt::Key_Down);
    int drawn = 0;
    grid->OnDrawColumnCell = [&](TObject *, const QRect &, int, TColumn *, TGridDrawState) { ++drawn; };
    const int active = grid->DataLink().ActiveRecord();
    const int buffers = grid->DataLink().BufferCount();

    data.DisableControls();
    data.BeginRunWalk();
    data.ResetFetches();
    grid->ResetPaintedCells();
    grid->View()->viewport()->repaint();
    form.resize(520, 500);
    QApplication::processEvents();
    grid->View()->viewport()->repaint();
    const std::vector<int> shownDuringRun = ShownIds();
    EXPECT_EQ(drawn, 0) << "owner drawing reads the dataset's fields";
    EXPECT_EQ(grid->PaintedCells(), 0);
    EXPECT_EQ(grid->DataLink().ActiveRecord(), active);
    EXPECT_EQ(data.Fetches(), 0);
    EXPECT_EQ(grid->DataLink().BufferCount(), buffers) << "a resize changed the dataset's buffers";
    EXPECT_TRUE(std::all_of(shownDuringRun.begin(), shownDuringRun.end(), [](int id) { return id == 0; }));

    data.EndRunWalk();
    data.EnableControls();
    QApplication::processEvents();
    grid->View()->viewport()->repaint();
    EXPECT_GT(drawn, 0);
    EXPECT_EQ(Id(), 3);
    EXPECT_EQ(grid->DataLink().BufferCount(), grid->VisibleRowCount());
    EXPECT_GT(grid->VisibleRowCount(), buffers);
    EXPECT_EQ(ShownIds().front(), 1);
}
TEST(GridLookupTest, InPlaceLookupDropDownWritesTheKeyField)
{
    test::People persons;
    persons.Open();
    persons.AddRow(1, QStringLiteral("Анна"), 0);
    persons.AddRow(2, QStringLiteral("Борис"), 0);
    persons.First();
    test::TVectorDataSet ops;
    ops.FieldDefs().Add(QStringLiteral("PersonId"), ftSmallint);
    TField *personId = ops.AddField<TSmallintField>(QStringLiteral("PersonId"));
    auto *person = ops.AddField<TStringField>(QStringLiteral("Person"), fkLookup, 10);
    person->SetLookupDataSet(&persons);
    person->SetKeyFields(QStringLiteral("PersonId"));
    person->SetLookupKeyFields(QStringLiteral("ID"));
    person->SetLookupResultField(QStringLiteral("Name"));
    ops.Open();
    ops.Append();
    personId->SetAsInteger(1);
    ops.Post();
    TDataSource source(&ops);
    TForm form;
    form.resize(300, 200);
    auto *grid = new TDBGrid(&form, QStringLiteral("DBGTab"));
    grid->SetAlign(TAlign::alClient);
    grid->SetDataSource(&source);
    form.show();
    EXPECT_EQ(grid->View()->model()->index(0, 1).data().toString(), QStringLiteral("Анна"));

    grid->SetSelectedField(person);
    grid->SetEditorMode(true);
    auto *combo = qobject_cast<QComboBox *>(grid->InplaceEditor());
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->count(), 2);
    EXPECT_EQ(combo->currentText(), QStringLiteral("Анна"));
    combo->setCurrentIndex(1);
    SendKey(combo, Qt::Key_Return);
    EXPECT_EQ(grid->InplaceEditor(), nullptr);
    EXPECT_EQ(personId->AsInteger(), 2);
    ops.Post();
    EXPECT_EQ(person->AsString(), QStringLiteral("Борис"));
    EXPECT_EQ(persons.FieldByName(QStringLiteral("ID"))->AsInteger(), 1) << "the list leaves its dataset's cursor";
}


TEST(GridLayoutTest, AppliedLayoutLetsDatesBePickedAndKeepsStampsFromTyping)
{
    test::TVectorDataSet ops;
    ops.FieldDefs().Add(QStringLiteral("DATE_REAL"), ftDate);
    ops.FieldDefs().Add(QStringLiteral("DATE_CREATE"), ftDateTime);
    ops.FieldDefs().Add(QStringLiteral("Comment"), ftString, 20);
    ops.Open();
    ops.Append();
    ops.FieldByName(QStringLiteral("DATE_CREATE"))->SetAsDateTime(43831.5);
    ops.Post();
    TDataSource source(&ops);
    TForm form;
    form.resize(300, 200);
    auto *grid = new TDBGrid(&form, QStringLiteral("DBG"));
    grid->SetAlign(TAlign::alClient);
    grid->SetDataSource(&source);
    form.show();

    QString layout = QStringLiteral("Comment=90\r\nDATE_CREATE=80\r\nDATE_REAL=70");
    ApplyColumnLayout(grid, true, layout);
    ASSERT_EQ(grid->Columns().Count(), 3);
    EXPECT_EQ(grid->Columns()[0]->ButtonStyle(), TColumnButtonStyle::cbsAuto);
    EXPECT_FALSE(grid->Columns()[0]->ReadOnly());
    EXPECT_TRUE(grid->Columns()[1]->ReadOnly()) << "a date-time is a stamp";
    EXPECT_EQ(grid->Columns()[1]->ButtonStyle(), TColumnButtonStyle::cbsAuto);
    EXPECT_EQ(grid->Columns()[2]->ButtonStyle(), TColumnButtonStyle::cbsEllipsis);
    EXPECT_FALSE(grid->Columns()[2]->ReadOnly());

    grid->SetSelectedIndex(1);
    grid->SetEditorMode(true);
    EXPECT_EQ(grid->InplaceEditor(), nullptr);
    SendKey(grid->View(), 0, Qt::NoModifier, QStringLiteral("7"));
    EXPECT_EQ(ops.State(), dsBrowse);
    EXPECT_DOUBLE_EQ(ops.FieldByName(QStringLiteral("DATE_CREATE"))->AsDateTime(), 43831.5);
}
} // namespace
} // namespace zorbel
