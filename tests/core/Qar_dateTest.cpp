// The date picker: results for accept, delete and cancel, month layout,
// month and year steps across year ends, the year edit, placement.
// With ZORBEL_SCREENSHOTS set to a folder the picker is saved as date-picker.png.
#include "core/Qar_date.h"

#include "platform/rtl/DateTime.h"
#include "platform/widgets/ModalScript.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QMouseEvent>

namespace zorbel {
namespace {

TFormDate &Picker(TForm &form) { return dynamic_cast<TFormDate &>(form); }

QString Ymd(TDateTime d)
{
    int y, m, day;
    DecodeDate(d, y, m, day);
    return QStringLiteral("%1-%2-%3").arg(y).arg(m).arg(day);
}

// The cell that shows a day of the calendar's month.
QPoint CellOfDay(const TQarCalendar &c, int day)
{
    for (int row = 1; row < TQarCalendar::RowCount; ++row)
        for (int col = 0; col < TQarCalendar::ColCount; ++col)
            if (c.CellText(col, row) == QString::number(day))
                return {col, row};
    return {-1, -1};
}

TEST(PickDateTest, ReturnsTheChosenWholeDayOrTheSentinels)
{
    const TDateTime start = EncodeDate(2026, 3, 10) + 0.75;
    {
        TModalScript script;
        script.Press(QStringLiteral("ButOk"));
        EXPECT_EQ(PickDate(false, true, start), EncodeDate(2026, 3, 10)) << "time of day dropped";
        EXPECT_TRUE(script.Finished());
        EXPECT_EQ(FormDate, nullptr);
    }
    {
        TModalScript script;
        script.Then([](TForm &f) {
            TFormDate &p = Picker(f);
            EXPECT_EQ(FormDate, &p);
            const QPoint cell = CellOfDay(*p.Calendar, 21);
            const QRect r = p.Calendar->CellRect(cell.x(), cell.y());
            SendClick(p.Calendar, r.center());
            EXPECT_EQ(p.Calendar->Day(), 21);
            PressButton(f, QStringLiteral("ButOk"));
        });
        EXPECT_EQ(PickDate(false, true, start), EncodeDate(2026, 3, 21));
    }
    {
        TModalScript script;
        script.Then([](TForm &f) {
            TFormDate &p = Picker(f);
            EXPECT_TRUE(p.ButDel->isVisible());
            EXPECT_FALSE(p.PanTop->isVisible());
            PressButton(f, QStringLiteral("ButDel"));
        });
        EXPECT_EQ(PickDate(true, false, start), DateDeleted);
    }
    {
        TModalScript script;
        script.Then([](TForm &f) { EXPECT_FALSE(Picker(f).ButDel->isVisible()); })
            .Press(QStringLiteral("ButCancel"));
        // The first window is left open by its step: closed as cancelled.
        EXPECT_EQ(PickDate(false, true, start), DateCancelled);
        EXPECT_EQ(PickDate(false, true, start), DateCancelled);
    }
    {
        // Escape cancels even with the delete button shown; Enter accepts.
        TModalScript script;
        script.Then([](TForm &f) { SendKeyToFocus(f, Qt::Key_Escape); })
            .Then([](TForm &f) {
                SendKeyToFocus(f, Qt::Key_Right);
                SendKeyToFocus(f, Qt::Key_Return);
            })
            .CloseFromTitleBar();
        EXPECT_EQ(PickDate(true, true, start), DateCancelled);
        EXPECT_EQ(PickDate(true, true, start), EncodeDate(2026, 3, 11));
        EXPECT_EQ(PickDate(true, true, start), DateCancelled);
        EXPECT_TRUE(script.Finished()) << script.Errors().join(QLatin1Char('\n')).toStdString();
    }
    {
        // A double click on a day accepts it.
        TModalScript script;
        script.Then([](TForm &f) {
            TFormDate &p = Picker(f);
            const QPoint cell = CellOfDay(*p.Calendar, 2);
            const QPointF at = p.Calendar->CellRect(cell.x(), cell.y()).center();
            QMouseEvent press(QEvent::MouseButtonPress, at, p.Calendar->mapToGlobal(at), Qt::LeftButton,
                              Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(p.Calendar, &press);
            QMouseEvent dbl(QEvent::MouseButtonDblClick, at, p.Calendar->mapToGlobal(at), Qt::LeftButton,
                            Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(p.Calendar, &dbl);
        });
        EXPECT_EQ(PickDate(false, true, start), EncodeDate(2026, 3, 2));
    }
}

TEST(PickDateTest, MonthLayoutPutsDayOneUnderItsWeekday)
{
    TModalScript script;
    script.Then([](TForm &f) {
        TQarCalendar &c = *Picker(f).Calendar;
        // 1 September 2024 is a Sunday: last column of the first week row.
        EXPECT_EQ(c.MonthOffset(), -5);
        EXPECT_EQ(c.CellText(6, 1), QStringLiteral("1"));
        EXPECT_EQ(c.CellText(0, 1), QString());
        EXPECT_EQ(c.CellText(0, 6), QStringLiteral("30"));
        EXPECT_EQ(c.CellText(0, 0), QStringLiteral("Пн"));
        EXPECT_EQ(c.CellText(6, 0), QStringLiteral("Вс"));
        EXPECT_EQ(QPoint(c.Col(), c.Row()), QPoint(0, 2)) << "the 2nd, a Monday";
        // Empty cells refuse the selection.
        EXPECT_FALSE(c.MoveToCell(0, 1));
        EXPECT_EQ(c.Day(), 2);
        const QString dir = qEnvironmentVariable("ZORBEL_SCREENSHOTS");
        if (!dir.isEmpty()) {
            Picker(f).ButDel->SetVisible(true);
            f.grab().save(QDir(dir).filePath(QStringLiteral("date-picker.png")));
        }
        // 1 April 2026 is a Wednesday.
        c.SetCalendarDate(EncodeDate(2026, 4, 1));
        EXPECT_EQ(c.MonthOffset(), -1);
        EXPECT_EQ(c.CellText(2, 1), QStringLiteral("1"));
        EXPECT_EQ(c.CellText(3, 5), QStringLiteral("30"));
        EXPECT_EQ(c.CellText(4, 5), QString());
    });
    PickDate(false, true, EncodeDate(2024, 9, 2));
}

TEST(PickDateTest, MonthAndYearStepsCrossYearEndsAndClampTheDay)
{
    TModalScript script;
    script.Then([](TForm &f) {
        TFormDate &p = Picker(f);
        auto date = [&] { return Ymd(p.Calendar->CalendarDate()); };
        p.MonBar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        EXPECT_EQ(date(), QStringLiteral("2024-2-29")) << "31 January, a month on, in a leap year";
        p.MonBar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        EXPECT_EQ(date(), QStringLiteral("2024-2-29")) << "page steps do nothing";
        for (int i = 0; i < 10; ++i)
            p.MonBar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        EXPECT_EQ(date(), QStringLiteral("2024-12-29"));
        p.MonBar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        EXPECT_EQ(date(), QStringLiteral("2025-1-29"));
        EXPECT_EQ(p.UdY->Position(), 2025);
        EXPECT_EQ(p.EdY->Text(), QStringLiteral("2025"));
        EXPECT_EQ(p.PanMon->Caption(), QStringLiteral("Январь"));
        p.MonBar->triggerAction(QAbstractSlider::SliderSingleStepSub);
        EXPECT_EQ(date(), QStringLiteral("2024-12-29"));
        EXPECT_EQ(p.PanMon->Caption(), QStringLiteral("Декабрь"));

        p.Calendar->SetCalendarDate(EncodeDate(2024, 2, 29));
        p.UdY->SetPosition(2024);
        p.UdY->Step(TUDBtnType::btNext);
        EXPECT_EQ(date(), QStringLiteral("2025-2-28")) << "29 February a year on";
        p.UdY->Step(TUDBtnType::btPrev);
        p.UdY->Step(TUDBtnType::btPrev);
        EXPECT_EQ(date(), QStringLiteral("2023-2-28"));

        // The year edit takes digits only; Enter applies it without closing.
        QApplication::setActiveWindow(&f);
        p.EdY->SetFocus();
        p.EdY->selectAll();
        EXPECT_FALSE(p.ButOk->Default());
        for (const QString &ch : {QStringLiteral("2"), QStringLiteral("x"), QStringLiteral("0"),
                                  QStringLiteral("ы"), QStringLiteral("3"), QStringLiteral("0")})
            SendKey(p.EdY, 0, Qt::NoModifier, ch);
        EXPECT_EQ(p.EdY->Text(), QStringLiteral("2030"));
        SendKey(p.EdY, Qt::Key_Return);
        EXPECT_FALSE(f.ModalResult());
        EXPECT_EQ(date(), QStringLiteral("2030-2-28"));
        p.Calendar->SetFocus();
        EXPECT_TRUE(p.ButOk->Default());

        p.ButToday->Click();
        EXPECT_EQ(p.Calendar->CalendarDate(), Date());
        EXPECT_TRUE(p.ButToday->Hint().startsWith(QStringLiteral("Today is ")));
        PressButton(f, QStringLiteral("ButCancel"));
    });
    EXPECT_EQ(PickDate(false, true, EncodeDate(2024, 1, 31)), DateCancelled);
}

TEST(PickDateTest, OpensBesideThePointer)
{
    // Far from the edges: right of and below the pointer... unless the
    // pointer's x exceeds the client width, then left of it.
    EXPECT_EQ(DatePickerPosition({400, 300}, 151, 180, 768), QPoint(249, 310));
    EXPECT_EQ(DatePickerPosition({100, 300}, 151, 180, 768), QPoint(100, 310)) << "near the left edge";
    EXPECT_EQ(DatePickerPosition({400, 700}, 151, 180, 768), QPoint(249, 510)) << "near the bottom: above";
}

} // namespace
} // namespace zorbel
