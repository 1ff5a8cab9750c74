// Locate and Lookup on memory tables: the year-totals window's searches on
// TbY by "Itm" (exact and partial, after Sort), the limits window's searches
// on TabLim, hidden records, duplicates, key conversion and the failures.
#include "memtable/VemtMemTable.h"
#include "memtable/MemTableSupport.h"
#include "platform/rtl/DateTime.h"

#include <gtest/gtest.h>

namespace zorbel {
namespace {

using namespace test;

const QString kItm = QStringLiteral("Itm");

void AddItem(TVemtCustomMemTable &t, const QString &itm, double january)
{
    t.Append();
    t.FieldByName(kItm)->SetAsString(itm);
    t.FieldByName(QStringLiteral("Rs1"))->SetAsFloat(january);
    t.Post();
}

// A TabLim row with its name and category id.
void AddLimit(TVemtCustomMemTable &t, const QString &itm, int id)
{
    t.Append();
    t.FieldByName(QStringLiteral("itm"))->SetAsString(itm);
    t.FieldByName(QStringLiteral("id_itm"))->SetAsInteger(id);
    t.Post();
}

// TbY with its sort on "Itm"; enough rows that a search on the sort field
// bisects the index.
class TbYLocate : public ::testing::Test {
protected:
    void SetUp() override
    {
        tby = MakeTbY();
        tby->Open();
        const char *names[] = {"Продукты:Хлеб", "Авто:Бензин", "Продукты:Молоко", "Авто:Ремонт", " ",
                               "Дом", "Продукты", "Связь:Телефон", "Авто"};
        int i = 0;
        for (const char *name : names)
            AddItem(*tby, QString::fromUtf8(name), ++i);
        for (int n = 0; n < 30; ++n)
            AddItem(*tby, QStringLiteral("Разное:%1").arg(n, 2, 10, QLatin1Char('0')), 100 + n);
        tby->Sort();
    }
    QString Current() const { return tby->FieldByName(kItm)->AsString(); }

    std::unique_ptr<TVemtMemTable> tby;
};

TEST_F(TbYLocate, ExactAndPartialKeysFindTheFirstMatchInSortOrder)
{
    ASSERT_EQ(tby->RecordCount(), 39);
    tby->First();
    EXPECT_EQ(Current(), QStringLiteral(" ")); // the totals row sorts first
    EXPECT_TRUE(tby->Locate(kItm, Variant(S("Продукты:Молоко")), {}));
    EXPECT_EQ(Current(), S("Продукты:Молоко"));
    EXPECT_TRUE(tby->Found());
    EXPECT_TRUE(tby->Locate(kItm, Variant(S("Продукты")), {}));
    EXPECT_EQ(Current(), S("Продукты"));
    EXPECT_TRUE(tby->Locate(kItm, Variant(S("Авто:")), {loPartialKey}));
    EXPECT_EQ(Current(), S("Авто:Бензин"));
    EXPECT_TRUE(tby->Locate(kItm, Variant(S("Разное:1")), {loPartialKey}));
    EXPECT_EQ(Current(), S("Разное:10"));
    EXPECT_TRUE(tby->Locate(kItm, Variant(S("продукты:х")), {loPartialKey, loCaseInsensitive}));
    EXPECT_EQ(Current(), S("Продукты:Хлеб"));
    EXPECT_FALSE(tby->Locate(kItm, Variant(S("продукты:х")), {loPartialKey}));
    EXPECT_FALSE(tby->Found());
    EXPECT_EQ(Current(), S("Продукты:Хлеб")); // a failed search leaves the cursor
    EXPECT_FALSE(tby->Locate(kItm, Variant(S("Авто:Бензин и масло")), {}));
    // The position found is the sort position.
    tby->Locate(kItm, Variant(S("Авто")), {});
    EXPECT_EQ(tby->RecNo(), 2);
    tby->Next();
    EXPECT_EQ(Current(), S("Авто:Бензин"));
}

TEST_F(TbYLocate, EditFoundRowOrAppendANewOne)
{
    // What the year-totals window does for each result row.
    const std::pair<const char *, double> rows[] = {{"Дом", 5}, {"Новая", 7}, {"Дом", 1}};
    for (const auto &[name, value] : rows) {
        if (tby->Locate(kItm, Variant(S(name)), {})) {
            tby->Edit();
        } else {
            tby->Append();
            tby->FieldByName(kItm)->SetAsString(S(name));
        }
        tby->FieldByName(QStringLiteral("Rs2"))->SetAsFloat(value);
        tby->Post();
    }
    EXPECT_EQ(tby->RecordCount(), 40);
    ASSERT_TRUE(tby->Locate(kItm, Variant(S("Дом")), {}));
    EXPECT_DOUBLE_EQ(tby->FieldByName(QStringLiteral("Rs2"))->AsFloat(), 1);
    ASSERT_TRUE(tby->Locate(kItm, Variant(S("Новая")), {}));
    EXPECT_TRUE(tby->FieldByName(QStringLiteral("Rs1"))->IsNull());
    EXPECT_EQ(Column(*tby, kItm).indexOf(S("Новая")), 5); // kept in sort order
}

TEST_F(TbYLocate, HiddenRecordsAreNeverFound)
{
    tby->SetFilter(QStringLiteral("Rs1 < 100"));
    tby->SetFiltered(true);
    EXPECT_FALSE(tby->Locate(kItm, Variant(S("Разное:05")), {}));
    EXPECT_FALSE(tby->Locate(kItm, Variant(S("Разное")), {loPartialKey}));
    EXPECT_TRUE(tby->Locate(kItm, Variant(S("Дом")), {}));
    // A search on other fields scans, with the filter as well.
    EXPECT_FALSE(tby->Locate(QStringLiteral("Rs1"), Variant(105.0), {}));
    EXPECT_TRUE(tby->Locate(QStringLiteral("Rs1"), Variant(2.0), {}));
    EXPECT_EQ(Current(), S("Авто:Бензин"));
}

TEST(VemtMemTableLocate, EmptyTablesDuplicatesAndDescendingSort)
{
    auto lim = MakeTabLim();
    lim->Open();
    EXPECT_FALSE(lim->Locate(QStringLiteral("itm"), Variant(S("a")), {}));
    EXPECT_TRUE(lim->IsEmpty());
    EXPECT_EQ(lim->RecNo(), -1);

    const std::pair<const char *, int> rows[] = {{"Еда", 1}, {"Авто", 2}, {"Еда", 3}, {"Жильё", 4}};
    for (const auto &[itm, id] : rows)
        AddLimit(*lim, S(itm), id);
    // Two records with the same key: the first in the current index.
    ASSERT_TRUE(lim->Locate(QStringLiteral("itm"), Variant(S("Еда")), {}));
    EXPECT_EQ(lim->FieldByName(QStringLiteral("id_itm"))->AsInteger(), 1);
    ASSERT_TRUE(lim->Locate(QStringLiteral("id_itm"), Variant(4), {}));
    EXPECT_EQ(lim->FieldByName(QStringLiteral("itm"))->AsString(), S("Жильё"));

    lim->SetSortOptions(mtcoDescending);
    lim->Sort();
    EXPECT_EQ(Column(*lim, QStringLiteral("itm")), QStringList({S("Жильё"), S("Еда"), S("Еда"), S("Авто")}));
    for (const char *itm : {"Авто", "Еда", "Жильё"}) {
        ASSERT_TRUE(lim->Locate(QStringLiteral("itm"), Variant(S(itm)), {})) << itm;
        EXPECT_EQ(lim->FieldByName(QStringLiteral("itm"))->AsString(), S(itm));
    }
    EXPECT_FALSE(lim->Locate(QStringLiteral("itm"), Variant(S("Дача")), {}));
}

TEST(VemtMemTableLocate, DescendingSortOfALargeTableIsBisectedInItsOwnDirection)
{
    auto lim = MakeTabLim();
    lim->Open();
    for (int i = 0; i < 60; ++i)
        AddLimit(*lim, QStringLiteral("item %1").arg(i, 2, 10, QLatin1Char('0')), i);
    lim->SetSortOptions(mtcoDescending);
    lim->Sort();
    for (int i : {0, 17, 31, 59}) {
        ASSERT_TRUE(lim->Locate(QStringLiteral("itm"), Variant(QStringLiteral("item %1").arg(i, 2, 10, QLatin1Char('0'))), {}));
        EXPECT_EQ(lim->FieldByName(QStringLiteral("id_itm"))->AsInteger(), i);
        EXPECT_EQ(lim->RecNo(), 60 - i);
    }
}

// An index ordered apart from case (or in the plain order) cannot be bisected
// with a key that compares case by case (or by collation): such a Locate still
// finds the first match in the index's order.
TEST(VemtMemTableLocate, AKeyComparedOtherwiseThanTheIndexOrdersStillFindsItsRecord)
{
    for (const char *letters : {"C", "L"}) {
        SCOPED_TRACE(letters);
        auto lim = MakeTabLim();
        lim->Open();
        const char *stems[] = {"аб", "Аб", "АБ", "аБ", "ав", "Ав", "б", "Б", "ё", "Ё"};
        for (int i = 0; i < 40; ++i)
            AddLimit(*lim, S(stems[i % 10]) + QString::number(i / 20), i);
        lim->SetSortFields(QStringLiteral("itm:") + QString::fromLatin1(letters));
        lim->Sort();
        const QStringList order = Column(*lim, QStringLiteral("id_itm"));
        for (int i = 0; i < 40; ++i) {
            const QString key = S(stems[i % 10]) + QString::number(i / 20);
            ASSERT_TRUE(lim->Locate(QStringLiteral("itm"), Variant(key), {})) << i;
            EXPECT_EQ(lim->FieldByName(QStringLiteral("itm"))->AsString(), key);
            const int first = std::min(i % 10 + (i / 20) * 20, i % 10 + 10 + (i / 20) * 20);
            EXPECT_EQ(lim->RecNo(), order.indexOf(QString::number(first)) + 1) << i;
        }
    }
}

// With a partial key every key field must still match: a name that only
// begins with the key text does not end the comparison before the id.
TEST(VemtMemTableLocate, PartialKeyOnTwoFieldsMatchesBoth)
{
    auto lim = MakeTabLim();
    lim->Open();
    const std::pair<const char *, int> rows[] = {{"Авто", 1}, {"Авиа", 7}, {"Ав", 3}, {"Дом", 7}};
    for (const auto &[itm, id] : rows)
        AddLimit(*lim, S(itm), id);
    const QString fields = QStringLiteral("itm;id_itm");
    for (bool sorted : {false, true}) {
        SCOPED_TRACE(sorted);
        if (sorted)
            lim->Sort();
        ASSERT_TRUE(lim->Locate(fields, VarArrayOf({Variant(S("Ав")), Variant(7)}), {loPartialKey}));
        EXPECT_EQ(lim->FieldByName(QStringLiteral("itm"))->AsString(), S("Авиа"));
        ASSERT_TRUE(lim->Locate(fields, VarArrayOf({Variant(S("Ав")), Variant(3)}), {loPartialKey}));
        EXPECT_EQ(lim->FieldByName(QStringLiteral("itm"))->AsString(), S("Ав"));
        EXPECT_FALSE(lim->Locate(fields, VarArrayOf({Variant(S("Ав")), Variant(9)}), {loPartialKey}));
        EXPECT_FALSE(lim->Locate(fields, VarArrayOf({Variant(S("Ав")), Variant(7)}), {}));
    }
}

TEST(VemtMemTableLocate, KeyValuesAreConvertedToTheFieldsTypes)
{
    TVemtMemTable t;
    t.FieldDefs().Add(QStringLiteral("nm"), ftString, 5);
    t.FieldDefs().Add(QStringLiteral("n"), ftSmallint);
    t.FieldDefs().Add(QStringLiteral("d"), ftDate);
    t.FieldDefs().Add(QStringLiteral("when"), ftDateTime);
    t.FieldDefs().Add(QStringLiteral("w"), ftWord);
    t.Open();
    t.Append();
    t.FieldByName(QStringLiteral("nm"))->SetAsString(QStringLiteral("abcdefgh"));
    t.FieldByName(QStringLiteral("n"))->SetAsInteger(-3);
    t.FieldByName(QStringLiteral("d"))->SetAsDateTime(EncodeDate(2005, 2, 1));
    t.FieldByName(QStringLiteral("when"))->SetAsDateTime(EncodeDate(2005, 2, 1) + 0.5);
    t.FieldByName(QStringLiteral("w"))->SetAsInteger(65000);
    t.Post();
    t.Append();
    t.Post(); // a row of nulls
    // A key text longer than the field is cut to its size.
    EXPECT_TRUE(t.Locate(QStringLiteral("nm"), Variant(QStringLiteral("abcdeXYZ")), {}));
    EXPECT_TRUE(t.Locate(QStringLiteral("n"), Variant(QStringLiteral("-3")), {}));
    EXPECT_TRUE(t.Locate(QStringLiteral("d"), Variant(QStringLiteral("01.02.2005")), {}));
    EXPECT_TRUE(t.Locate(QStringLiteral("d"), Variant::FromDate(EncodeDate(2005, 2, 1)), {}));
    EXPECT_TRUE(t.Locate(QStringLiteral("when"), Variant(EncodeDate(2005, 2, 1) + 0.5), {}));
    EXPECT_FALSE(t.Locate(QStringLiteral("when"), Variant(EncodeDate(2005, 2, 1)), {}));
    EXPECT_TRUE(t.Locate(QStringLiteral("w"), Variant(65000), {}));
    EXPECT_EQ(t.RecNo(), 1);
    // A null key finds the null row.
    EXPECT_TRUE(t.Locate(QStringLiteral("n"), Variant::Null(), {}));
    EXPECT_EQ(t.RecNo(), 2);
    // Two fields: an array compares both; a single value is refused.
    EXPECT_TRUE(t.Locate(QStringLiteral("nm;n"), VarArrayOf({Variant(QStringLiteral("abcde")), Variant(-3)}), {}));
    EXPECT_EQ(t.RecNo(), 1);
    EXPECT_FALSE(t.Locate(QStringLiteral("nm;n"), VarArrayOf({Variant(QStringLiteral("abcde")), Variant(3)}), {}));
    EXPECT_EQ(MessageOf([&] { t.Locate(QStringLiteral("nm;n"), Variant(QStringLiteral("abcde")), {}); }),
              QStringLiteral("More fields than values"));
    EXPECT_EQ(MessageOf([&] { t.Locate(QStringLiteral("nm;n"), VarArrayOf({Variant(1)}), {}); }),
              QString::fromUtf8("Номер элемента массива вне его границ"));
    EXPECT_EQ(MessageOf([&] { t.Locate(QStringLiteral("nm"), VarArrayOf({VarArrayOf({Variant(1)})}), {}); }),
              QStringLiteral("Values variant array has invalid dimension count"));
    EXPECT_EQ(MessageOf([&] { t.Locate(QStringLiteral("zz"), Variant(1), {}); }), QStringLiteral("Field 'zz' not found"));
    EXPECT_EQ(MessageOf([&] { t.Locate(QString(), Variant(1), {}); }),
              QStringLiteral("There must be at least one field"));
    EXPECT_EQ(MessageOf([&] { t.Locate(QStringLiteral("d"), Variant(QStringLiteral("not a date")), {}); }),
              QString::fromUtf8("Значение типа «строка» нельзя преобразовать в тип «дата»"));
    EXPECT_EQ(t.RecNo(), 1); // failures leave the cursor
}

TEST(VemtMemTableLocate, LocateSettlesAPendingEditWhileLookupLeavesItAlone)
{
    auto lim = MakeTabLim();
    lim->Open();
    for (int i = 1; i <= 3; ++i)
        AddLimit(*lim, QStringLiteral("n%1").arg(i), i);
    lim->Edit();
    lim->FieldByName(QStringLiteral("Lim"))->SetAsFloat(-50);
    EXPECT_EQ(lim->Lookup(QStringLiteral("id_itm"), Variant(1), QStringLiteral("itm")).AsString(), QStringLiteral("n1"));
    EXPECT_TRUE(lim->Lookup(QStringLiteral("id_itm"), Variant(9), QStringLiteral("itm")).IsNull());
    EXPECT_EQ(lim->State(), dsEdit);
    int scrolls = 0;
    lim->AfterScroll = [&](TDataSet *) { ++scrolls; };
    EXPECT_TRUE(lim->Locate(QStringLiteral("id_itm"), Variant(2), {}));
    EXPECT_EQ(lim->State(), dsBrowse);
    EXPECT_EQ(scrolls, 1);
    EXPECT_FALSE(lim->Locate(QStringLiteral("id_itm"), Variant(9), {}));
    EXPECT_EQ(scrolls, 1);
    lim->Last();
    EXPECT_DOUBLE_EQ(lim->FieldByName(QStringLiteral("Lim"))->AsFloat(), -50); // the edit was posted
}

} // namespace
} // namespace zorbel
