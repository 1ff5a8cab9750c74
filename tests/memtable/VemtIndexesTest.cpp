// Indexes and sorting: field-list text, sort order and tie-break, key search
// paths, uniqueness, and index upkeep checked against a plain sorted copy.
#include "memtable/VemtIndexes.h"
#include "memtable/StoreTable.h"
#include "support/MessageOf.h"
#include "platform/rtl/Collation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <numeric>
#include <random>

namespace zorbel {
namespace {

using test::MessageOf;
using test::StoreTable;

// A table shaped like the analysis windows' results: id, nm, sdt.
class VemtIndexTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        table.FieldDefs().Add(QStringLiteral("id"), ftSmallint);
        table.FieldDefs().Add(QStringLiteral("nm"), ftString, 30);
        table.FieldDefs().Add(QStringLiteral("sdt"), ftFloat);
        table.FieldDefs().Add(QStringLiteral("memo"), ftMemo);
        table.Open();
    }
    TVemtRecord *Add(const QString &name, double sum = 0, std::int16_t id = 0)
    {
        TVemtRecord *record = table.NewValues();
        table.SetValue<std::int16_t>(record, QStringLiteral("id"), id);
        if (!name.isNull())
            table.SetString(record, QStringLiteral("nm"), name);
        table.SetValue<double>(record, QStringLiteral("sdt"), sum);
        return table.Post(record);
    }
    QStringList Names()
    {
        QStringList names;
        for (TVemtRecord *record : table.Ordered())
            names << (table.IsNull(record, QStringLiteral("nm")) ? QStringLiteral("<null>")
                                                                  : table.String(record, QStringLiteral("nm")));
        return names;
    }
    std::vector<int> Slots()
    {
        std::vector<int> result;
        for (TVemtRecord *record : table.Ordered())
            result.push_back(record->SlotIndex);
        return result;
    }
    // A key record holding a name.
    TVemtRecord *Key(const QString &name)
    {
        TVemtRecord *key = table.NewValues();
        table.SetString(key, QStringLiteral("nm"), name);
        keys.push_back(key);
        return key;
    }
    void TearDown() override
    {
        for (TVemtRecord *key : keys)
            table.Store().FreeRecord(key, true, false);
    }
    StoreTable table;
    std::vector<TVemtRecord *> keys;
};

TEST_F(VemtIndexTest, FieldListTextAndOptionLetters)
{
    TVemtFieldList list;
    BuildFieldList(table, list, QStringLiteral(" nm:dc ; id:X;sdt:NPLq"));
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Fields(0), table.FieldByName(QStringLiteral("nm")));
    EXPECT_EQ(list.Options(0), unsigned(mtcoDescending | mtcoCaseInsensitive));
    EXPECT_EQ(list.Options(1), 0u) << "unknown letters are ignored";
    EXPECT_EQ(list.Options(2), unsigned(mtcoIgnoreNullKey | mtcoPartialKey | mtcoIgnoreLocale));
    EXPECT_EQ(list.IndexOf(table.FieldByName(QStringLiteral("sdt"))), 2);

    SetFieldOption(list, mtcoUnique, QStringLiteral("id;sdt:D"));
    EXPECT_EQ(list.Options(0), unsigned(mtcoDescending | mtcoCaseInsensitive));
    EXPECT_EQ(list.Options(1), unsigned(mtcoUnique));
    SetFieldOption(list, mtcoDescending, QStringLiteral("ID"));
    EXPECT_EQ(list.Options(0), unsigned(mtcoCaseInsensitive)) << "cleared on fields not named";
    EXPECT_EQ(list.Options(1), unsigned(mtcoUnique | mtcoDescending));

    TVemtFieldList copy;
    copy.Add(table.FieldByName(QStringLiteral("memo")), 0);
    list.CopyTo(copy);
    EXPECT_TRUE(SameFields(list, copy));
    copy.Clear();
    BuildFieldList(table, copy, QStringLiteral("nm;sdt;id"));
    EXPECT_FALSE(SameFields(list, copy));

    EXPECT_EQ(MessageOf([&] { BuildFieldList(table, list, QStringLiteral("nm;zz")); }),
              QStringLiteral("Field 'zz' not found"));
    EXPECT_EQ(MessageOf([&] { BuildFieldList(table, list, QStringLiteral("memo")); }),
              QStringLiteral("Can't index on field memo"));
}

TEST_F(VemtIndexTest, SortIsByCollationWithEqualKeysInSlotOrder)
{
    Add(QStringLiteral("Ёлка"));
    Add(QStringLiteral("Жук"));
    Add(QStringLiteral("елка"));
    Add(QStringLiteral("Еда"));
    Add(QStringLiteral(" "));
    Add(QStringLiteral("Абрикос"));
    Add(QStringLiteral("Жук"));
    Add(QString());
    Add(QStringLiteral("ёлка"));
    Add(QStringLiteral("Жук"));
    table.Sort(QStringLiteral("nm"));
    EXPECT_EQ(Names(), (QStringList{"<null>", " ", "Абрикос", "Еда", "елка", "ёлка", "Ёлка", "Жук", "Жук", "Жук"}));
    EXPECT_EQ(Slots()[7], 1);
    EXPECT_EQ(Slots()[8], 6);
    EXPECT_EQ(Slots()[9], 9);

    // Descending: nulls still first, equal keys in falling slot order.
    table.Sort(QStringLiteral("nm"), mtcoDescending);
    EXPECT_EQ(Names(), (QStringList{"<null>", "Жук", "Жук", "Жук", "Ёлка", "ёлка", "елка", "Еда", "Абрикос", " "}));
    EXPECT_EQ(Slots()[1], 9);
    EXPECT_EQ(Slots()[3], 1);
    table.Sort(QStringLiteral("nm:D"));
    EXPECT_EQ(Names()[1], QStringLiteral("Жук"));

    table.Sort(QStringLiteral("nm:C"));
    EXPECT_EQ(Names().mid(5, 3), (QStringList{"Ёлка", "ёлка", "Жук"})) << "case-blind: slot order";
}

// A sort on one number field takes an inline comparison; it must order as the
// general comparison of several fields does when the others are equal.
TEST_F(VemtIndexTest, SortOnOneNumberFieldOrdersAsTheGeneralComparison)
{
    std::mt19937 random(7);
    for (int i = 0; i < 300; ++i) {
        TVemtRecord *record = Add(QStringLiteral("same"), static_cast<double>(random() % 40) - 20,
                                  static_cast<std::int16_t>(static_cast<int>(random() % 50) - 25));
        if (random() % 10 == 0)
            table.SetNull(record, QStringLiteral("sdt"));
        if (random() % 10 == 0)
            table.SetNull(record, QStringLiteral("id"));
    }
    const struct {
        const char *single;
        TVemtMemTableCompareOptions options;
        const char *general;
    } cases[] = {
        {"sdt", 0, "sdt;nm"}, {"sdt", mtcoDescending, "sdt:D;nm"}, {"id", 0, "id;nm"}, {"id:D", 0, "id:D;nm"}};
    for (const auto &c : cases) {
        table.Sort(QString::fromLatin1(c.general));
        const std::vector<int> expected = Slots();
        table.Sort(QString::fromLatin1(c.single), c.options);
        EXPECT_EQ(Slots(), expected) << c.single;
    }
    // Nulls first, equal amounts in slot order.
    table.Sort(QStringLiteral("sdt"));
    const std::vector<TVemtRecord *> ordered = table.Ordered();
    for (size_t i = 1; i < ordered.size(); ++i) {
        const bool nullBefore = table.IsNull(ordered[i - 1], QStringLiteral("sdt"));
        const bool nullHere = table.IsNull(ordered[i], QStringLiteral("sdt"));
        ASSERT_FALSE(!nullBefore && nullHere);
        if (nullBefore && !nullHere)
            continue;
        if (nullBefore == nullHere && (nullHere || table.Value<double>(ordered[i - 1], QStringLiteral("sdt"))
                                                       == table.Value<double>(ordered[i], QStringLiteral("sdt"))))
            ASSERT_LT(ordered[i - 1]->SlotIndex, ordered[i]->SlotIndex);
        else
            ASSERT_LT(table.Value<double>(ordered[i - 1], QStringLiteral("sdt")),
                      table.Value<double>(ordered[i], QStringLiteral("sdt")));
    }
}

// A compare handler that is no consistent order cannot make the sort leave
// its range: every record is still listed once.
TEST_F(VemtIndexTest, InconsistentCompareHandlerKeepsTheSortInRange)
{
    for (int i = 0; i < 500; ++i)
        Add(QString::number(i));
    std::mt19937 random(3);
    table.Store().OnCompareFields = [&](const void *, const void *, TField *, TFieldType, TVemtMemTableCompareOptions,
                                        bool &, int &result) { result = static_cast<int>(random() % 3) - 1; };
    table.Sort(QStringLiteral("nm"));
    table.Store().OnCompareFields = nullptr;
    std::vector<int> listed = Slots();
    std::sort(listed.begin(), listed.end());
    std::vector<int> all(500);
    std::iota(all.begin(), all.end(), 0);
    EXPECT_EQ(listed, all);
}

TEST_F(VemtIndexTest, BlankSortReturnsToRowOrderAndClosedTableIsNotSorted)
{
    Add(QStringLiteral("б"));
    Add(QStringLiteral("а"));
    table.Sort(QStringLiteral("nm"));
    ASSERT_NE(table.Indexes().Find(QStringLiteral("__MT__DEFSORT")), nullptr);
    EXPECT_EQ(table.Indexes().Count(), 2);
    EXPECT_EQ(Names(), (QStringList{"а", "б"}));
    table.Sort(QStringLiteral("  "));
    EXPECT_EQ(table.Indexes().Find(QStringLiteral("__MT__DEFSORT")), nullptr);
    EXPECT_EQ(table.Indexes().DefaultSortIndex(), nullptr);
    EXPECT_EQ(table.CurrentIndex(), table.Indexes().RowOrderIndex());
    EXPECT_EQ(Names(), (QStringList{"б", "а"}));

    table.Close();
    table.Sort(QStringLiteral("nm"));
    EXPECT_EQ(table.Indexes().Count(), 1);
}

TEST_F(VemtIndexTest, SortKeepsTheCurrentRecordCurrent)
{
    Add(QStringLiteral("в"));
    TVemtRecord *b = Add(QStringLiteral("б"));
    Add(QStringLiteral("а"));
    table.SetCursorPosition(1);
    table.Sort(QStringLiteral("nm"));
    EXPECT_EQ(table.CurrentIndex()->Entry(table.CursorPosition()), b);
    EXPECT_EQ(table.CursorPosition(), 1);
    table.Sort(QStringLiteral("sdt;nm"), mtcoDescending);
    EXPECT_EQ(table.CurrentIndex()->Entry(table.CursorPosition()), b);
}

TEST_F(VemtIndexTest, UniqueSortRefusesEqualKeys)
{
    Add(QStringLiteral("Иван"));
    Add(QStringLiteral("иван"));
    table.Sort(QStringLiteral("nm"), mtcoUnique);
    EXPECT_EQ(table.Ordered().size(), 2u);
    EXPECT_EQ(MessageOf([&] { table.Sort(QStringLiteral("nm"), mtcoUnique | mtcoCaseInsensitive); }),
              QStringLiteral("Duplicate index value. Operation aborted."));
    EXPECT_THROW(table.Sort(QStringLiteral("nm:C"), mtcoUnique), EMemTableDupKey);
}

TEST_F(VemtIndexTest, UniqueIndexChecksNewValuesBeforeAPost)
{
    TVemtRecord *ivan = Add(QStringLiteral("Иван"));
    Add(QStringLiteral("Пётр"));
    TVemtIndex *unique = table.Indexes().AddFromDef(TIndexDef(QStringLiteral("byName"), QStringLiteral("nm"),
                                                              {ixUnique, ixCaseInsensitive}));
    unique->Rebuild();
    EXPECT_EQ(unique->Options(), unsigned(mtcoUnique | mtcoCaseInsensitive));
    EXPECT_EQ(unique->Fields().Options(0), unsigned(mtcoCaseInsensitive));
    EXPECT_THROW(table.Indexes().CheckUnique(Key(QStringLiteral("ПЁТР")), nullptr), EMemTableDupKey);
    EXPECT_NO_THROW(table.Indexes().CheckUnique(Key(QStringLiteral("Мария")), nullptr));
    EXPECT_NO_THROW(table.Indexes().CheckUnique(Key(QStringLiteral("ИВАН")), ivan)) << "the record itself";
    table.enableIndexes = false;
    EXPECT_NO_THROW(table.Indexes().CheckUnique(Key(QStringLiteral("Пётр")), nullptr));

    EXPECT_EQ(MessageOf([&] { table.Indexes().AddFromDef(TIndexDef(QStringLiteral("x"), QString(), {})); }),
              QStringLiteral("Missing Name or FieldNames in IndexDef!"));
    EXPECT_EQ(table.Indexes().FindByFields(QStringLiteral("NM")), unique);
    table.Indexes().Delete(unique);
    EXPECT_EQ(table.Indexes().Find(QStringLiteral("byName")), nullptr);
}

// Key search bisects from 21 entries and scans below; both find the first of
// equal keys.
TEST_F(VemtIndexTest, SearchScansBelow21EntriesAndBisectsFrom21)
{
    int compares = 0;
    table.Store().OnCompareFields = [&](const void *a, const void *b, TField *, TFieldType,
                                        TVemtMemTableCompareOptions, bool &, int &result) {
        ++compares;
        double x;
        double y;
        std::memcpy(&x, a, sizeof x);
        std::memcpy(&y, b, sizeof y);
        result = x < y ? -1 : (x > y ? 1 : 0);
    };
    for (int count : {20, 21}) {
        table.Store().EmptyAll();
        for (int i = 0; i < count; ++i)
            Add(QStringLiteral("r"), i < 15 ? i : 15); // 15 appears count-15 times
        table.Sort(QStringLiteral("sdt"));
        TVemtIndex *index = table.CurrentIndex();
        TVemtRecord *key = table.NewValues();
        keys.push_back(key);
        table.SetValue<double>(key, QStringLiteral("sdt"), 15);
        compares = 0;
        const TVemtSearchResult found = index->Search(key, nullptr, false, false);
        EXPECT_TRUE(found.Found);
        EXPECT_EQ(found.Position, 15) << count;
        if (count == 20) {
            EXPECT_EQ(compares, 16) << "scan";
        } else {
            EXPECT_LE(compares, 8) << "bisection";
        }
        table.SetValue<double>(key, QStringLiteral("sdt"), 7.5);
        const TVemtSearchResult missing = index->Search(key, nullptr, false, false);
        EXPECT_FALSE(missing.Found);
        if (count == 21) {
            EXPECT_EQ(missing.Position, 8) << "where the key belongs";
        }
        const TVemtSearchResult partial = index->Search(key, nullptr, false, true);
        EXPECT_EQ(partial.Position, 8) << "first entry past the key";
    }
    table.Store().OnCompareFields = nullptr;
}

// Ё weighs as Е before it weighs after it, so "ёж" sorts before "ежа" while
// the prefix "еж" of "ежа" sorts before "ёж": a partial key must still find it.
TEST_F(VemtIndexTest, PartialKeyFindsTextsAcrossYo)
{
    for (int i = 0; i < 30; ++i)
        Add(i % 2 ? QStringLiteral("ёж%1").arg(i) : QStringLiteral("ежа%1").arg(i));
    Add(QStringLiteral("ёж"));
    table.Sort(QStringLiteral("nm"));
    TVemtIndex *index = table.CurrentIndex();
    TVemtFieldList partial;
    BuildFieldList(table, partial, QStringLiteral("nm:P"));
    const TVemtSearchResult found = index->Search(Key(QStringLiteral("еж")), &partial, false, false);
    ASSERT_TRUE(found.Found);
    EXPECT_EQ(table.String(index->Entry(found.Position), QStringLiteral("nm")), QStringLiteral("ежа0"));
    EXPECT_EQ(found.Position, 16) << "the first match in index order, after ёж and ёж1..ёж29";
}

TEST_F(VemtIndexTest, SearchRespectingTheFilterMovesToTheNextVisibleMatch)
{
    for (int i = 0; i < 30; ++i)
        Add(QString::number(i % 10), i);
    table.Sort(QStringLiteral("nm"));
    TVemtIndex *index = table.CurrentIndex();
    table.Filter = [&](TVemtRecord *record) { return table.Value<double>(record, QStringLiteral("sdt")) >= 20; };
    const TVemtSearchResult found = index->Search(Key(QStringLiteral("3")), nullptr, true, false);
    ASSERT_TRUE(found.Found);
    EXPECT_EQ(table.Value<double>(index->Entry(found.Position), QStringLiteral("sdt")), 23);
    EXPECT_EQ(index->Search(Key(QStringLiteral("3")), nullptr, false, false).Position, 9);
    table.Filter = [](TVemtRecord *) { return false; };
    const TVemtSearchResult none = index->Search(Key(QStringLiteral("3")), nullptr, true, false);
    EXPECT_FALSE(none.Found);
    EXPECT_EQ(none.Position, index->Count());
    table.Filter = nullptr;

    // A search on other fields than the current index's compares every entry.
    TVemtFieldList bySum;
    BuildFieldList(table, bySum, QStringLiteral("sdt"));
    TVemtRecord *key = table.NewValues();
    keys.push_back(key);
    table.SetValue<double>(key, QStringLiteral("sdt"), 17);
    const TVemtSearchResult bySumFound = table.Indexes().SearchCurrent(bySum, key, false, false);
    ASSERT_TRUE(bySumFound.Found);
    EXPECT_EQ(table.String(index->Entry(bySumFound.Position), QStringLiteral("nm")), QStringLiteral("7"));
}

TEST_F(VemtIndexTest, ProgressOfSortAndSearch)
{
    for (int i = 0; i < 250; ++i)
        Add(QString::number(i));
    table.Sort(QStringLiteral("nm"));
    const auto start = std::find(table.ProgressLog.begin(), table.ProgressLog.end(), std::make_pair(0, int(mtpcSort)));
    ASSERT_NE(start, table.ProgressLog.end());
    EXPECT_NE(std::find(start, table.ProgressLog.end(), std::make_pair(100, int(mtpcSort))), table.ProgressLog.end());
    table.ProgressLog.clear();
    TVemtFieldList byName;
    BuildFieldList(table, byName, QStringLiteral("nm"));
    table.Indexes().RowOrderIndex()->Search(Key(QStringLiteral("none")), &byName, false, false);
    const std::vector<std::pair<int, int>> expected = {
        {0, mtpcSearch}, {40, mtpcSearch}, {80, mtpcSearch}, {100, mtpcSearch}};
    EXPECT_EQ(table.ProgressLog, expected);
}

TEST_F(VemtIndexTest, InsertInRowOrderGoesBeforeTheRecordThatWasCurrent)
{
    Add(QStringLiteral("a"));
    Add(QStringLiteral("b"));
    TVemtRecord *record = table.NewValues();
    table.SetString(record, QStringLiteral("nm"), QStringLiteral("new"));
    table.Post(record, 2); // Insert began on record number 2
    EXPECT_EQ(Names(), (QStringList{"a", "new", "b"}));
    EXPECT_EQ(table.CursorPosition(), 1);
    TVemtRecord *first = table.NewValues();
    table.SetString(first, QStringLiteral("nm"), QStringLiteral("first"));
    table.Post(first, 0);
    EXPECT_EQ(Names().front(), QStringLiteral("first"));
    EXPECT_EQ(table.CurrentIndex()->FindRecordPosition(record), 2);
}

TEST_F(VemtIndexTest, DisabledUpkeepPlacesIntoTheCurrentIndexAndMarksTheOthers)
{
    Add(QStringLiteral("б"));
    TVemtRecord *a = Add(QStringLiteral("а"));
    table.Sort(QStringLiteral("nm"));
    TVemtIndex *sorted = table.CurrentIndex();
    TVemtIndex *rowOrder = table.Indexes().RowOrderIndex();
    const int rebuilds = sorted->RebuildCount();
    table.enableIndexes = false;
    Add(QStringLiteral("аб"));
    EXPECT_TRUE(sorted->Ordered()) << "placed where a rebuild puts it, not re-sorted";
    EXPECT_EQ(sorted->RebuildCount(), rebuilds);
    EXPECT_EQ(table.CursorPosition(), 1) << "the cursor is on the new record";
    EXPECT_FALSE(rowOrder->Ordered()) << "an index not shown waits for its next use";
    EXPECT_EQ(Names(), (QStringList{"а", "аб", "б"}));
    table.DeleteStored(a);
    EXPECT_TRUE(sorted->Ordered()) << "deletions are kept while indexes are off";
    EXPECT_EQ(Names(), (QStringList{"аб", "б"}));
    EXPECT_EQ(rowOrder->Count(), 0) << "unordered row order dropped its references";

    // Switched on again, upkeep does not patch an index that missed records:
    // it stays unordered until rebuilt.
    table.enableIndexes = true;
    Add(QStringLiteral("в"));
    EXPECT_FALSE(rowOrder->Ordered());
    EXPECT_EQ(sorted->RebuildCount(), rebuilds);
    table.Sort(QString());
    EXPECT_EQ(Names(), (QStringList{"б", "в", "аб"})) << "row order rebuilt in slot order (a's slot reused)";

    // A record that cannot be placed (its comparison fails) leaves the index
    // to be rebuilt rather than missing the stored record.
    table.Sort(QStringLiteral("nm"));
    table.enableIndexes = false;
    table.Store().SetLocaleID(0x0409);
    EXPECT_EQ(MessageOf([&] { Add(QStringLiteral("г")); }), QStringLiteral("Invalid locale. 1033"));
    table.Store().SetLocaleID(1024);
    EXPECT_EQ(Names(), (QStringList{"аб", "б", "в", "г"}));
}

// With upkeep off, random inserts (into reused slots too) and deletes leave
// the current index exactly as a rebuild would make it, for a sorted index
// with equal keys, nulls and a descending field (one numeric key is sorted
// by its own comparison), and for the row order.
TEST_F(VemtIndexTest, DisabledUpkeepKeepsTheCurrentIndexAsARebuildMakesIt)
{
    for (const QString &fields : {QStringLiteral("nm:D;sdt"), QStringLiteral("sdt:D"), QString()}) {
        SCOPED_TRACE(fields.toStdString());
        table.Store().EmptyAll();
        table.Sort(fields);
        TVemtIndex *current = table.CurrentIndex();
        TVemtIndex *oracle = table.Indexes().Add(QStringLiteral("oracle"), false, !fields.isEmpty(), 0, fields);
        const int rebuilds = current->RebuildCount();
        table.enableIndexes = false;
        std::mt19937 random(77);
        std::vector<TVemtRecord *> stored;
        for (int step = 0; step < 400; ++step) {
            if (random() % 3 != 0 || stored.empty()) {
                const int n = static_cast<int>(random() % 6);
                stored.push_back(Add(n == 0 ? QString() : QString(QChar(u'а' + n)), random() % 3));
            } else {
                const size_t victim = random() % stored.size();
                table.DeleteStored(stored[victim]);
                stored.erase(stored.begin() + static_cast<std::ptrdiff_t>(victim));
            }
            ASSERT_TRUE(current->Ordered());
            oracle->Rebuild();
            ASSERT_EQ(current->Count(), oracle->Count()) << step;
            for (int i = 0; i < current->Count(); ++i)
                ASSERT_EQ(current->Entry(i), oracle->Entry(i)) << "step " << step << " entry " << i;
        }
        EXPECT_EQ(current->RebuildCount(), rebuilds);
        table.enableIndexes = true;
        table.Indexes().Delete(oracle);
    }
}

// Random inserts, edits and deletes against a plain sorted copy.
TEST_F(VemtIndexTest, UpkeepMatchesAPlainSortedCopy)
{
    std::mt19937 random(20261208);
    const QString letters = QStringLiteral("аАбеЕёЁжzZ ");
    auto randomName = [&] {
        QString name;
        for (int n = static_cast<int>(random() % 4); n >= 0; --n)
            name += letters[static_cast<qsizetype>(random() % letters.size())];
        return name;
    };
    TVemtIndex *byName = table.Indexes().Add(QStringLiteral("byName"), false, true, mtcoCaseInsensitive,
                                            QStringLiteral("nm;id:D"));
    table.Sort(QStringLiteral("sdt:D;nm"));
    TVemtIndex *bySum = table.CurrentIndex();
    std::map<TVemtRecord *, std::tuple<QString, std::int16_t, double>> model;

    auto check = [&](TVemtIndex *index, auto less) {
        std::vector<std::tuple<QString, std::int16_t, double>> expected;
        for (const auto &item : model)
            expected.push_back(item.second);
        std::stable_sort(expected.begin(), expected.end(), less);
        ASSERT_TRUE(index->Ordered());
        ASSERT_EQ(index->Count(), static_cast<int>(expected.size()));
        for (int i = 0; i < index->Count(); ++i) {
            TVemtRecord *entry = index->Entry(i);
            ASSERT_TRUE(model.count(entry)) << "entry of a deleted record";
            const auto &values = model[entry];
            ASSERT_FALSE(less(values, expected[static_cast<size_t>(i)]) || less(expected[static_cast<size_t>(i)], values))
                << i;
            ASSERT_EQ(index->FindRecordPosition(entry), i);
        }
    };
    auto nameLess = [](const auto &a, const auto &b) {
        const int c = CompareRussian(std::get<0>(a), std::get<0>(b), true);
        return c != 0 ? c < 0 : std::get<1>(a) > std::get<1>(b);
    };
    auto sumLess = [](const auto &a, const auto &b) {
        if (std::get<2>(a) != std::get<2>(b))
            return std::get<2>(a) > std::get<2>(b);
        return CompareRussian(std::get<0>(a), std::get<0>(b), false) < 0;
    };

    for (int step = 0; step < 600; ++step) {
        const unsigned action = model.size() < 5 ? 0 : random() % 3;
        if (action == 0) {
            const QString name = randomName();
            const auto id = static_cast<std::int16_t>(random() % 5);
            const double sum = static_cast<double>(random() % 7);
            table.SetCursorPosition(model.empty() ? -1 : static_cast<int>(random() % model.size()));
            TVemtRecord *record = Add(name, sum, id);
            model[record] = {name, id, sum};
            EXPECT_EQ(bySum->Entry(table.CursorPosition()), record) << "the cursor follows the insert";
        } else {
            const int position = static_cast<int>(random() % model.size());
            TVemtRecord *stored = bySum->Entry(position);
            table.SetCursorPosition(position);
            if (action == 1) {
                TVemtRecord *values = table.Store().CloneRecord(stored, false);
                values->Position = position;
                auto &[name, id, sum] = model[stored];
                if (random() % 2)
                    name = randomName();
                if (random() % 2)
                    sum = static_cast<double>(random() % 7);
                id = static_cast<std::int16_t>(random() % 5);
                table.SetString(values, QStringLiteral("nm"), name);
                table.SetValue<double>(values, QStringLiteral("sdt"), sum);
                table.SetValue<std::int16_t>(values, QStringLiteral("id"), id);
                table.PostEdit(stored, values);
                EXPECT_EQ(bySum->Entry(table.CursorPosition()), stored) << "the cursor follows the edit";
                table.Store().FreeRecord(values, true, false);
            } else {
                table.DeleteStored(stored);
                model.erase(stored);
            }
        }
        check(bySum, sumLess);
        check(byName, nameLess);
        ASSERT_EQ(table.Indexes().RowOrderIndex()->Count(), static_cast<int>(model.size()));
    }
}

// Indexes whose first field gives order keys (a whole number ascending, a
// whole number descending, a text descending with nulls) against a plain
// sorted copy, over several blocks of entries and with many texts that tie
// in their first characters; and the place a new record's values would take.
TEST_F(VemtIndexTest, OrderKeysPlaceAndFindAsTheComparisonDoes)
{
    std::mt19937 random(4242);
    const QStringList stems{QStringLiteral("Про"), QStringLiteral("про"), QStringLiteral("Прё"),
                            QStringLiteral("Пр"), QStringLiteral("ab"), QString()};
    const QString letters = QStringLiteral("аеёЕЁя z1");
    auto randomName = [&]() -> std::optional<QString> {
        if (random() % 10 == 0)
            return std::nullopt;
        QString name = stems[static_cast<qsizetype>(random() % stems.size())];
        for (int n = static_cast<int>(random() % 3); n > 0; --n)
            name += letters[static_cast<qsizetype>(random() % letters.size())];
        return name;
    };
    using Values = std::pair<std::optional<QString>, std::int16_t>;
    // Nulls first in every order; a descending text reverses the collation.
    auto nameOrder = [](const std::optional<QString> &a, const std::optional<QString> &b, bool descending) {
        if (!a || !b)
            return a ? 1 : (b ? -1 : 0);
        const int c = CompareRussian(*a, *b, false);
        const int sign = c < 0 ? -1 : (c > 0 ? 1 : 0);
        return descending ? -sign : sign;
    };
    struct Case {
        TVemtIndex *Index;
        std::function<int(const Values &, const Values &)> Order;
    };
    const std::vector<Case> cases{
        {table.Indexes().Add(QStringLiteral("byId"), false, true, 0, QStringLiteral("id")),
         [](const Values &a, const Values &b) { return a.second < b.second ? -1 : (a.second > b.second ? 1 : 0); }},
        {table.Indexes().Add(QStringLiteral("byIdDown"), false, true, 0, QStringLiteral("id:D;nm")),
         [&](const Values &a, const Values &b) {
             if (a.second != b.second)
                 return a.second > b.second ? -1 : 1;
             return nameOrder(a.first, b.first, false);
         }},
        {table.Indexes().Add(QStringLiteral("byNameDown"), false, true, 0, QStringLiteral("nm:D;id")),
         [&](const Values &a, const Values &b) {
             const int c = nameOrder(a.first, b.first, true);
             return c != 0 ? c : (a.second < b.second ? -1 : (a.second > b.second ? 1 : 0));
         }},
    };
    std::map<TVemtRecord *, Values> model;
    auto put = [&](TVemtRecord *record, const Values &values) {
        if (values.first)
            table.SetString(record, QStringLiteral("nm"), *values.first);
        else
            table.SetNull(record, QStringLiteral("nm"));
        table.SetValue<std::int16_t>(record, QStringLiteral("id"), values.second);
    };
    auto randomValues = [&] { return Values{randomName(), static_cast<std::int16_t>(int(random() % 2001) - 1000)}; };
    auto check = [&] {
        for (const Case &c : cases) {
            SCOPED_TRACE(c.Index->Name().toStdString());
            ASSERT_TRUE(c.Index->Ordered());
            ASSERT_EQ(c.Index->Count(), static_cast<int>(model.size()));
            for (int i = 1; i < c.Index->Count(); ++i)
                ASSERT_LE(c.Order(model.at(c.Index->Entry(i - 1)), model.at(c.Index->Entry(i))), 0) << i;
            // A new record's place: after every entry below its values.
            for (int probe = 0; probe < 50; ++probe) {
                const Values values = randomValues();
                TVemtRecord *key = table.NewValues();
                keys.push_back(key);
                put(key, values);
                const int below = static_cast<int>(std::count_if(model.begin(), model.end(), [&](const auto &item) {
                    return c.Order(item.second, values) < 0;
                }));
                ASSERT_EQ(c.Index->LowerBound(key), below);
            }
        }
    };
    // Mostly inserts first (past two blocks), then as many deletes as inserts.
    for (int step = 0; step < 10000; ++step) {
        const unsigned action = step < 8000 ? random() % 8 : random() % 3;
        if (action >= 2 || model.empty()) {
            const Values values = randomValues();
            TVemtRecord *record = table.NewValues();
            put(record, values);
            model[table.Post(record)] = values;
        } else {
            auto item = model.begin();
            std::advance(item, static_cast<std::ptrdiff_t>(random() % model.size()));
            TVemtRecord *stored = item->first;
            table.SetCursorPosition(-1);
            if (action == 1) {
                TVemtRecord *values = table.Store().CloneRecord(stored, false);
                Values changed = item->second;
                if (random() % 2)
                    changed.first = randomName();
                else
                    changed.second = static_cast<std::int16_t>(int(random() % 2001) - 1000);
                put(values, changed);
                table.PostEdit(stored, values);
                table.Store().FreeRecord(values, true, false);
                item->second = changed;
            } else {
                table.DeleteStored(stored);
                model.erase(item);
            }
        }
        if (step % 1000 == 999)
            check();
    }
    EXPECT_GT(model.size(), 2 * TVemtEntryList::MaxBlock);
}

} // namespace
} // namespace zorbel
