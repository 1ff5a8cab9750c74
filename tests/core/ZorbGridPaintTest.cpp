// Cell colours of the program's grids on rows of the fixture data set:
// planned, bookmarked and weekend operations, selected cells, birthdays of
// people, diary kinds, and the balance warning of grids without a balance.
#include "ZorbDmFixture.h"

#include "core/ZorbDm.h"
#include "core/ZorbGridPaint.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace zorbel::test {
namespace {

class GridPaint : public ::testing::Test {
protected:
    GridPaint()
    {
        dm.Db.SetParams({QStringLiteral("PATH=") + dir.path()});
        MakeFixture(dir.path());
        EXPECT_TRUE(dm.OpenDataSet({}).Opened);
        dm.Tb_Hist.CancelRange();
    }
    // Positions Tb_Hist on the row with stamp n.
    void OnRow(int n)
    {
        ASSERT_TRUE(dm.Tb_Hist.Locate("Date_Create", Variant::FromDate(Stamp(n)), {}));
    }
    TCellPaint Paint(int tag, const QString &field, bool selected = false, const QString &grid = "DBG")
    {
        TCellPaintInput in;
        in.Tag = tag;
        in.GridName = grid;
        in.FieldName = field;
        in.Selected = selected;
        in.GridColor = clWindow;
        in.GridFontColor = clWindowText;
        in.Days = days;
        in.Day1 = day1;
        in.RemFlag = remFlag;
        TDataSet &ds = tag == 3 ? static_cast<TDataSet &>(dm.Tb_Person)
                       : tag == 5 ? static_cast<TDataSet &>(dm.Tb_Log)
                                  : static_cast<TDataSet &>(dm.Tb_Hist);
        return PaintCellColors(in, ds);
    }

    QTemporaryDir dir;
    TDm dm;
    TReminderDays days{};
    int day1 = 0;
    QString remFlag;
};

TEST_F(GridPaint, OperationsByKindMarkAndWeekday)
{
    OnRow(1); // realised, Wednesday
    TCellPaint p = Paint(1, "Comment");
    EXPECT_EQ(p.Brush, clWindow);
    EXPECT_EQ(p.FontColor, clWindowText);
    OnRow(4); // planned, Tuesday
    p = Paint(1, "Comment");
    EXPECT_EQ(p.Brush, RGB(205, 231, 231));
    EXPECT_EQ(p.FontColor, RGB(0, 0, 255));
    p = Paint(1, "Comment", true);
    EXPECT_EQ(p.Brush, RGB(0, 128, 192));
    EXPECT_EQ(p.FontColor, clHighlightText);
    EXPECT_TRUE(p.Plain);
    OnRow(3); // bookmarked, Saturday
    EXPECT_EQ(Paint(1, "Ct").Brush, RGB(210, 255, 210));
    EXPECT_EQ(Paint(1, "Ct", true).Brush, RGB(0, 128, 0));
    EXPECT_EQ(Paint(1, "Ct", false, "DBGMark").Brush, clWindow); // the bookmarks grid itself
    EXPECT_EQ(Paint(1, "Comment").Brush, clWindow);
    EXPECT_EQ(Paint(1, "Date_Real").FontColor, RGB(128, 0, 128));
    EXPECT_EQ(Paint(1, "Date_Real", true).FontColor, RGB(255, 0, 255));
    OnRow(7); // Sunday
    EXPECT_EQ(Paint(2, "DATE_REAL").FontColor, RGB(255, 0, 0));
    EXPECT_EQ(Paint(2, "DATE_REAL", true).FontColor, RGB(255, 0, 0));
    // A grid whose rows carry no balance never warns.
    OnRow(1);
    EXPECT_EQ(Paint(1, "Comment", false, "DBGDays").FontColor, clWindowText);
}

TEST_F(GridPaint, BirthdaysAndDiary)
{
    ASSERT_TRUE(dm.Tb_Person.Locate("Id_Person", Variant(1), {})); // born 5 March
    days = {{{1, 1, 31}, {5, 3, 31}, {2, 2, 28}, {3, 3, 31}, {4, 4, 30}}};
    EXPECT_EQ(Paint(3, "Name").Brush, clWindow); // tomorrow, but Day1 is 0
    day1 = 1;
    EXPECT_EQ(Paint(3, "Name").Brush, RGB(210, 255, 210));
    EXPECT_EQ(Paint(3, "Name").FontColor, clWindowText); // people keep their font colour
    EXPECT_EQ(Paint(3, "Name", true).Brush, RGB(0, 128, 0));
    // A row marked in C is left out, unless C is the reminder flag.
    dm.Tb_Person.Edit();
    dm.Tb_Person.FieldByName("C")->SetAsString("x");
    dm.Tb_Person.Post();
    EXPECT_EQ(Paint(3, "Name").Brush, clWindow);
    remFlag = "x";
    EXPECT_EQ(Paint(3, "Name").Brush, RGB(210, 255, 210));

    ASSERT_TRUE(dm.Tb_Log.Locate("Note", Variant(QString::fromUtf8("Взнос")), {})); // c '2'
    EXPECT_EQ(Paint(5, "Note").Brush, RGB(255, 219, 219));
    EXPECT_EQ(Paint(5, "Note", true).Brush, RGB(128, 0, 0));
    ASSERT_TRUE(dm.Tb_Log.Locate("Note", Variant(QString::fromUtf8("Просто запись")), {})); // c '0'
    EXPECT_EQ(Paint(5, "Note").Brush, clWindow);
}

} // namespace
} // namespace zorbel::test
