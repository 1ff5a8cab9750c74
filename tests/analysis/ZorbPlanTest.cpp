// The future-dates dialog: the date rules against hand-counted calendars, and
// the window driven through the modal hook.
#include "analysis/ZorbPlan.h"
#include "core/ZorbText.h"

#include "platform/rtl/Format.h"
#include "platform/widgets/ModalScript.h"

#include <gtest/gtest.h>

#include <QDir>

namespace zorbel {
namespace {


// With ZORBEL_SCREENSHOTS set to a folder the dialog is saved there as a PNG.
void Snapshot(TForm &form, const QString &name)
{
    const QString dir = qEnvironmentVariable("ZORBEL_SCREENSHOTS");
    if (!dir.isEmpty())
        form.grab().save(QDir(dir).filePath(name + QStringLiteral(".png")));
}

std::vector<bool> Ticks(std::initializer_list<int> ticked)
{
    std::vector<bool> t(32, false);
    for (int k : ticked)
        t[size_t(k)] = true;
    return t;
}

TEST(PlanDays, WeekdaysMondayFirst)
{
    // 4 January 2027 is a Monday: Monday and Friday over two weeks.
    const TDateTime monday = EncodeDate(2027, 1, 4);
    const std::vector<int> days = PlanDays(monday, monday + 13, true, Ticks({1, 5}));
    const std::vector<int> expected{int(monday), int(monday) + 4, int(monday) + 7, int(monday) + 11};
    EXPECT_EQ(days, expected);
    // Sunday is 7.
    EXPECT_EQ(PlanDays(monday, monday + 13, true, Ticks({7})), (std::vector<int>{int(monday) + 6, int(monday) + 13}));
}

TEST(PlanDays, DaysOfMonthSkipMonthsWithoutThem)
{
    // 31 exists in January and March only; 29 February 2027 does not exist.
    const TDateTime from = EncodeDate(2027, 1, 1), to = EncodeDate(2027, 4, 30);
    EXPECT_EQ(PlanDays(from, to, false, Ticks({31})),
              (std::vector<int>{int(EncodeDate(2027, 1, 31)), int(EncodeDate(2027, 3, 31))}));
    EXPECT_EQ(PlanDays(from, to, false, Ticks({29})).size(), 3u); // January, March, April
    EXPECT_EQ(PlanDays(EncodeDate(2028, 2, 1), EncodeDate(2028, 2, 29), false, Ticks({29})).size(), 1u);
    EXPECT_TRUE(PlanDays(from, to, false, Ticks({})).empty());
}

TEST(PlanDays, RangeLimits)
{
    const TDateTime tomorrow = EncodeDate(2027, 5, 10);
    // A start in the past becomes tomorrow; after the end it becomes the end.
    EXPECT_EQ(ClampPlanStart(EncodeDate(2027, 1, 1), EncodeDate(2027, 6, 1), tomorrow), tomorrow);
    EXPECT_EQ(ClampPlanStart(EncodeDate(2027, 7, 1), EncodeDate(2027, 6, 1), tomorrow), EncodeDate(2027, 6, 1));
    // An end longer than 120 months is cut, the day of month clamped.
    EXPECT_EQ(ClampPlanEnd(EncodeDate(2040, 1, 1), EncodeDate(2027, 5, 31), tomorrow), EncodeDate(2037, 5, 31));
    EXPECT_EQ(ClampPlanEnd(EncodeDate(2040, 1, 1), EncodeDate(2028, 2, 29), tomorrow), EncodeDate(2038, 2, 28));
    EXPECT_EQ(ClampPlanEnd(EncodeDate(2027, 5, 1), EncodeDate(2027, 5, 20), tomorrow), EncodeDate(2027, 5, 20));
}

class PlanWindow : public ::testing::Test {
protected:
    PlanWindow()
    {
        form.PlanStart = Date() + 1;
        form.PlanEnd = Date() + 60;
        form.AskDate = [this](TDateTime) { return picked; };
    }
    TFormPlan form;
    TDateTime picked = -2000000;
};

TEST_F(PlanWindow, AddingTwiceListsEachDateOnce)
{
    form.show();
    form.FormShow(&form);
    form.ChWeek->SetChecked(0, true); // Monday
    form.ButAdd->Click();
    const int mondays = form.Lb->Count();
    EXPECT_GE(mondays, 8);
    EXPECT_TRUE(form.ButOk->isEnabled());
    form.ButAdd->Click();
    EXPECT_EQ(form.Lb->Count(), mondays);
    // Entries carry their day; the text is the long form of that day.
    for (int i = 0; i < form.Lb->Count(); ++i) {
        const int day = int(form.Lb->Items().Objects(i));
        EXPECT_EQ(DayOfWeek(day), 2);
        EXPECT_EQ(form.Lb->Items().Strings(i), FormatDateTime(U("dd.mmm.yyyy ddd"), day));
        if (i > 0) {
            EXPECT_GT(day, int(form.Lb->Items().Objects(i - 1)));
        }
    }
    // Switching to days of the month clears the list.
    form.ButDays->Press();
    EXPECT_EQ(form.Lb->Count(), 0);
    EXPECT_FALSE(form.ButOk->isEnabled());
    EXPECT_TRUE(form.ChDays->isVisibleTo(&form));
    EXPECT_FALSE(form.ChWeek->isVisibleTo(&form));
}

TEST_F(PlanWindow, DeletingAndClearingFollowTheList)
{
    form.ChWeek->SetChecked(2, true);
    form.ButAdd->Click();
    const int n = form.Lb->Count();
    ASSERT_GE(n, 3);
    form.PmDtPopup(nullptr);
    EXPECT_EQ(form.mpClear->Caption(), U("Очистить ") + CountText(n, U("строку"), U("строки"), U("строк")));
    form.Lb->SetItemIndex(2);
    form.mpDel->Click();
    EXPECT_EQ(form.Lb->Count(), n - 1);
    EXPECT_EQ(form.Lb->ItemIndex(), 1);
    form.mpClear->Click();
    EXPECT_EQ(form.Lb->Count(), 0);
    EXPECT_FALSE(form.ButOk->isEnabled());
    form.PmDtPopup(nullptr);
    EXPECT_EQ(form.mpClear->Caption(), QStringLiteral("Очистить"));
    EXPECT_FALSE(form.mpDel->Enabled());
}

TEST_F(PlanWindow, DateButtonsClampAndShowTheDay)
{
    form.FormShow(&form);
    picked = Date() - 5; // the past becomes tomorrow
    form.ButDateClick(form.ButDate);
    EXPECT_EQ(form.PlanStart, Date() + 1);
    EXPECT_TRUE(form.ButDate->Caption().startsWith(U("с  ") + FormatDateTime(U("dd.mm.yy"), Date() + 1)));
    picked = -2000000; // a cancelled picker changes nothing
    form.ButDateToClick(form.ButDateTo);
    EXPECT_EQ(form.PlanEnd, Date() + 60);
    picked = IncMonth(form.PlanStart, 200);
    form.ButDateToClick(form.ButDateTo);
    EXPECT_EQ(form.PlanEnd, IncMonth(form.PlanStart, 120));
    EXPECT_TRUE(form.ButDateTo->Caption().startsWith(U("по ")));
    // A Sunday is red.
    const TDateTime sunday = form.PlanStart + (8 - DayOfWeek(form.PlanStart)) % 7;
    form.PlanEnd = sunday;
    form.ShowPlanDate(form.ButDateTo);
    EXPECT_EQ(form.ButDateTo->FontColor(), 255);
}

TEST(PlanDialog, OkHandsTheChosenDaysToTheCaller)
{
    const TDateTime from = Date() + 1;
    TModalScript script;
    script.Then([](TForm &f) {
        auto &plan = dynamic_cast<TFormPlan &>(f);
        EXPECT_EQ(plan.Caption(), QStringLiteral("Тиражирование операции в будущее"));
        plan.ButDays->Press();
        plan.ChDays->SetChecked(0, true); // the 1st
        plan.ChDays->SetChecked(14, true); // the 15th
        plan.mpAdd->Click();
        Snapshot(f, QStringLiteral("future-dates"));
        PressButton(f, QStringLiteral("ButOk"));
    });
    std::vector<int> days;
    ASSERT_TRUE(ChooseFutureDates(from, IncMonth(from, 3), days));
    EXPECT_GE(days.size(), 5u);
    for (int d : days) {
        int y = 0, m = 0, day = 0;
        DecodeDate(d, y, m, day);
        EXPECT_TRUE(day == 1 || day == 15);
        EXPECT_GE(d, int(from));
    }
    TModalScript cancel;
    cancel.Press(QStringLiteral("BitBtn2"));
    EXPECT_FALSE(ChooseFutureDates(from, from + 30, days));
    EXPECT_TRUE(days.empty());
}

} // namespace
} // namespace zorbel

#include "analysis/AnalysisWindows.h"
#include "core/ZorbLaunch.h"

namespace zorbel {
namespace {

TEST(PlanDialog, RegisteredAsTheFutureDatesLauncher)
{
    AnalysisLaunchers().FormPlan = nullptr;
    RegisterAnalysisWindows();
    ASSERT_TRUE(AnalysisLaunchers().FormPlan);
    TModalScript script;
    script.Then([](TForm &f) {
        auto &plan = dynamic_cast<TFormPlan &>(f);
        plan.ChWeek->SetChecked(6, true); // Sundays
        plan.ButAdd->Click();
        PressButton(f, QStringLiteral("ButOk"));
    });
    std::vector<int> days;
    ASSERT_TRUE(AnalysisLaunchers().FormPlan(Date() + 1, Date() + 14, days));
    ASSERT_EQ(days.size(), 2u);
    EXPECT_EQ(DayOfWeek(days[0]), 1);
    EXPECT_EQ(days[1] - days[0], 7);
}

} // namespace
} // namespace zorbel
