// Reminders without a window: the day window around month ends and
// 29 February, the marks that list a row always or never, monthly and daily
// diary entries, the texts and the counts line. "Today" is given to the
// build, so every date is tested on any day.
#include "ZorbDmFixture.h"
#include "platform/rtl/StrUtils.h"

#include "core/ZorbDm.h"
#include "core/ZorbRemind.h"
#include "platform/rtl/Format.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace zorbel::test {
namespace {

TEST(ReminderDays, MonthEndsAndLeapDay)
{
    // 28 February of a common year: the birthday of the 29th comes today.
    auto w = ReminderWindow(MakeReminderDays(D(2023, 2, 28)), 0, 0);
    EXPECT_TRUE(RemindedOn(w, 28, 2));
    EXPECT_TRUE(RemindedOn(w, 29, 2));
    EXPECT_FALSE(RemindedOn(w, 1, 3));
    // In a leap year the 29th waits for its own day, and on it the 28th is past.
    w = ReminderWindow(MakeReminderDays(D(2024, 2, 28)), 0, 0);
    EXPECT_FALSE(RemindedOn(w, 29, 2));
    w = ReminderWindow(MakeReminderDays(D(2024, 2, 29)), 0, 0);
    EXPECT_TRUE(RemindedOn(w, 29, 2));
    EXPECT_FALSE(RemindedOn(w, 28, 2));
    // Day 31 on the last day of a 30-day month, not on the 29th.
    EXPECT_TRUE(RemindedOn(ReminderWindow(MakeReminderDays(D(2024, 4, 30)), 0, 0), 31, 4));
    EXPECT_FALSE(RemindedOn(ReminderWindow(MakeReminderDays(D(2024, 4, 29)), 0, 0), 30, 4));
    // A 31-day month keeps the 31st to itself.
    EXPECT_FALSE(RemindedOn(ReminderWindow(MakeReminderDays(D(2024, 3, 30)), 0, 0), 31, 3));
}

TEST(ReminderDays, DaysBeforeAndAfterAcrossTheYear)
{
    const TReminderDays days = MakeReminderDays(D(2024, 12, 31));
    // Both 0: today only.
    auto w = ReminderWindow(days, 0, 0);
    EXPECT_EQ(w.size(), 1u);
    EXPECT_FALSE(RemindedOn(w, 1, 1));
    EXPECT_FALSE(RemindedOn(w, 30, 12));
    // Day1 = 2, Day2 = 2: from the day before yesterday to the day after tomorrow.
    w = ReminderWindow(days, 2, 2);
    for (auto [d, m] : {std::pair{29, 12}, {30, 12}, {31, 12}, {1, 1}, {2, 1}})
        EXPECT_TRUE(RemindedOn(w, d, m)) << d << "." << m;
    EXPECT_FALSE(RemindedOn(w, 28, 12));
    EXPECT_FALSE(RemindedOn(w, 3, 1));
    // Day1 = 1 adds tomorrow only; Day2 = 1 yesterday only.
    EXPECT_TRUE(RemindedOn(ReminderWindow(days, 1, 0), 1, 1));
    EXPECT_FALSE(RemindedOn(ReminderWindow(days, 1, 0), 30, 12));
    EXPECT_TRUE(RemindedOn(ReminderWindow(days, 0, 1), 30, 12));
    EXPECT_FALSE(RemindedOn(ReminderWindow(days, 0, 1), 1, 1));
}

TEST(ReminderDays, MarksListAlwaysOrNever)
{
    const auto w = ReminderWindow(MakeReminderDays(D(2024, 3, 5)), 0, 0);
    EXPECT_TRUE(RemindedPerson(w, QString(), QString(), 5, 3));
    EXPECT_FALSE(RemindedPerson(w, QString(), QString(), 6, 3));
    EXPECT_FALSE(RemindedPerson(w, "x", QString(), 5, 3)); // another mark: never
    EXPECT_FALSE(RemindedPerson(w, "x", "!", 5, 3));
    EXPECT_TRUE(RemindedPerson(w, "!", "!", 0, 0));        // the flag: always, even without a birthday
}

TEST(ReminderDays, TitleCounts)
{
    EXPECT_EQ(ReminderTitle({3, 0, 2}), U("3 персоны         2 напоминания"));
    EXPECT_EQ(ReminderTitle({0, 4, 0}), U("4 родств.         "));
    EXPECT_EQ(ReminderTitle({1, 1, 1}), U("1 персона         1 родств.         1 напоминание"));
    EXPECT_EQ(ReminderTitle({5, 0, 11}), U("5 персон         11 напоминаний"));
    EXPECT_EQ(ReminderTitle({}), QString());
}

class ReminderBuild : public ::testing::Test {
protected:
    ReminderBuild()
    {
        dm.Db.SetParams({QStringLiteral("PATH=") + dir.path()});
        MakeFixture(dir.path());
        EXPECT_TRUE(dm.OpenDataSet({}).Opened);
    }
    TReminderCounts Build(TDateTime today, int day1 = 0, int day2 = 0, const QString &flag = QString())
    {
        TReminderSettings s;
        s.Days = MakeReminderDays(today);
        s.Today = today;
        s.Day1 = day1;
        s.Day2 = day2;
        s.RemFlag = flag;
        return BuildReminders(dm, s);
    }
    void AddPerson(const QString &name, TDateTime birthday, const QString &c = QString())
    {
        dm.Tb_Person.Append();
        dm.Tb_Person.FieldByName("NAME")->SetAsString(name);
        if (birthday > 0)
            dm.Tb_Person.FieldByName("BIRTHDAY")->SetAsDateTime(birthday);
        if (!c.isEmpty())
            dm.Tb_Person.FieldByName("C")->SetAsString(c);
        dm.Tb_Person.Post();
    }
    void AddEntry(const QString &note, TDateTime remind, const char *mode)
    {
        dm.Tb_Log.Append();
        dm.Tb_Log.FieldByName("Note")->SetAsString(note);
        dm.Tb_Log.FieldByName("Date_Remind")->SetAsDateTime(remind);
        dm.Tb_Log.FieldByName("C")->SetAsString(QString::fromLatin1(mode));
        dm.Tb_Log.Post();
    }
    // The rows of Tb_Rem as "kind|date|text" lines (empty when it is closed).
    QStringList Rem()
    {
        QStringList rows;
        if (!dm.Tb_Rem.Active())
            return rows;
        for (dm.Tb_Rem.First(); !dm.Tb_Rem.Eof(); dm.Tb_Rem.Next()) {
            const TField *date = dm.Tb_Rem.FieldByName("Date_Rem");
            rows << QStringLiteral("%1|%2|%3")
                        .arg(dm.Tb_Rem.FieldByName("Knd")->AsInteger())
                        .arg(date->IsNull() ? QStringLiteral("~") : FormatDateTime("yyyy-mm-dd", date->AsDateTime()))
                        .arg(dm.Tb_Rem.FieldByName("Rem")->AsString());
        }
        return rows;
    }

    QTemporaryDir dir;
    TDm dm;
};

TEST_F(ReminderBuild, BirthdaysAndDueEntriesInOrder)
{
    const TReminderCounts c = Build(D(2024, 3, 5));
    EXPECT_EQ(c.Persons, 2);
    EXPECT_EQ(c.Family, 0);
    EXPECT_EQ(c.Diary, 1);
    // Persons by birth date, with firm; the daily entry since January with its person.
    EXPECT_EQ(Rem(), (QStringList{U("1|1975-03-05|Андреев А. [Аптека]"), U("1|1980-03-05|Иванов И.И. (111) [Магазин]"),
                                  U("3|2024-01-05|Оплатить (Ёлкин П.)")}));
    EXPECT_EQ(dm.Tb_Rem.FieldByName("Rem")->DisplayLabel(), U("2 персоны         1 напоминание"));
    EXPECT_EQ(dm.Tb_Rem.FieldByName("Date_Rem")->DisplayLabel(), U("Дата"));
    EXPECT_FALSE(dm.Tb_Rem.FieldByName("Knd")->Visible());
    // The diary row carries its key; a person's row its identifier.
    dm.Tb_Rem.Last();
    EXPECT_EQ(dm.Tb_Rem.FieldByName("Date_Create")->AsDateTime(), Stamp(101));
    dm.Tb_Rem.First();
    EXPECT_EQ(dm.Tb_Rem.FieldByName("id_person")->AsInteger(), 3);
}

TEST_F(ReminderBuild, FamilyWindowAndEmptyList)
{
    // Петя (person 3) was born on 1 June; two days before with Day1 = 2.
    Build(D(2024, 5, 30), 2, 0);
    EXPECT_TRUE(Rem().contains(U("2|2010-06-01|Петя (Андреев А.)")));
    Build(D(2024, 5, 30), 1, 0);
    EXPECT_FALSE(Rem().join('\n').contains(U("Петя")));
    // No birthday and no due entry: the table is closed.
    dm.Tb_Log.First();
    while (!dm.Tb_Log.IsEmpty())
        dm.Tb_Log.Delete();
    EXPECT_EQ(Build(D(2024, 8, 8)).Total(), 0);
    EXPECT_FALSE(dm.Tb_Rem.Active());
}

TEST_F(ReminderBuild, FlagListsAlwaysOtherMarksNever)
{
    AddPerson(U("Всегда"), 0, "!");
    AddPerson(U("Никогда"), D(1990, 3, 5), "x");
    EXPECT_FALSE(Rem().join('\n').contains(U("Всегда")));
    Build(D(2024, 3, 5));
    EXPECT_FALSE(Rem().join('\n').contains(U("Всегда")));
    EXPECT_FALSE(Rem().join('\n').contains(U("Никогда")));
    Build(D(2024, 3, 5), 0, 0, "!");
    EXPECT_TRUE(Rem().contains(U("1|~|Всегда")));
    EXPECT_FALSE(Rem().join('\n').contains(U("Никогда")));
    // A quote as the mark is a value, not SQL.
    AddPerson(U("Кавычка"), 0, "'");
    EXPECT_EQ(Build(D(2024, 3, 5), 0, 0, "'").Persons, 3);
    EXPECT_TRUE(Rem().contains(U("1|~|Кавычка")));
}

TEST_F(ReminderBuild, LeapDayBirthdaysAndMonthlyEntries)
{
    AddPerson(U("Високосный"), D(2000, 2, 29));
    AddPerson(U("Февральский"), D(2001, 2, 28));
    AddEntry(U("Двадцать восьмое"), D(2023, 1, 28), "2");
    AddEntry(U("Двадцать девятое"), D(2023, 1, 29), "2");
    AddEntry(U("Тридцать первое"), D(2030, 1, 31), "2"); // in the future: still monthly
    const auto has = [&](const char *text) { return Rem().join('\n').contains(U(text)); };
    Build(D(2023, 2, 28));
    EXPECT_TRUE(has("Високосный"));
    EXPECT_TRUE(has("Февральский"));
    EXPECT_TRUE(has("Двадцать девятое"));
    EXPECT_TRUE(has("Тридцать первое"));
    Build(D(2024, 2, 28));
    EXPECT_FALSE(has("Високосный"));
    EXPECT_TRUE(has("Двадцать восьмое"));
    EXPECT_FALSE(has("Двадцать девятое"));
    Build(D(2024, 2, 29));
    EXPECT_TRUE(has("Високосный"));
    EXPECT_FALSE(has("Февральский"));
    EXPECT_FALSE(has("Двадцать восьмое"));
    EXPECT_TRUE(has("Двадцать девятое"));
    EXPECT_TRUE(has("Тридцать первое"));
    Build(D(2024, 4, 29));
    EXPECT_TRUE(has("Двадцать девятое"));
    EXPECT_FALSE(has("Тридцать первое"));
    Build(D(2024, 4, 30));
    EXPECT_TRUE(has("Тридцать первое"));
    EXPECT_FALSE(has("Двадцать девятое"));
}

TEST_F(ReminderBuild, DailyEntryFromItsDateAndLongTextsCut)
{
    // Будущее: daily from 1 May 2024.
    Build(D(2024, 4, 30));
    EXPECT_FALSE(Rem().join('\n').contains(U("Будущее")));
    Build(D(2024, 5, 1));
    EXPECT_TRUE(Rem().join('\n').contains(U("Будущее")));
    Build(D(2027, 9, 9));
    EXPECT_TRUE(Rem().join('\n').contains(U("Будущее")));
    // "Просто запись" never reminds.
    EXPECT_FALSE(Rem().join('\n').contains(U("Просто запись")));

    AddPerson(QString(30, QChar(u'Ж')), D(1999, 9, 9));
    dm.Tb_Person.Edit();
    dm.Tb_Person.FieldByName("COMMENT")->SetAsString(QString(90, QChar(u'к')));
    dm.Tb_Person.Post();
    Build(D(2027, 9, 9));
    dm.Tb_Rem.First();
    const QString text = dm.Tb_Rem.FieldByName("Rem")->AsString();
    EXPECT_EQ(text.size(), 100);
    EXPECT_EQ(text, QString(30, QChar(u'Ж')) + "  " + QString(68, QChar(u'к')));
}

} // namespace
} // namespace zorbel::test
