// Record store: layout sizes, slots and serials, value blocks, value and
// record comparison, locale and attached tables.
#include "memtable/VemtCommon.h"
#include "memtable/StoreTable.h"
#include "support/MessageOf.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace zorbel {

// Reaches the serial counter, which only billions of stores could move.
class TVemtCommonTestAccess {
public:
    static void SetSerialCounter(TVemtCommon &store, std::int32_t value) { store.serialCounter_ = value; }
};

namespace {

using test::MessageOf;
using test::StoreTable;

int Compare(const void *a, const void *b, TFieldType type, TVemtMemTableCompareOptions options = 0)
{
    bool full = true;
    return TVemtCommon::CompareValues(a, b, type, options, 1024, full);
}

int CompareText(QStringView a, QStringView b, TVemtMemTableCompareOptions options, bool *fullMatch = nullptr,
                int locale = 1024)
{
    bool full = true;
    const int result = TVemtCommon::CompareStrings(a, b, options, locale, full);
    if (fullMatch)
        *fullMatch = full;
    return result;
}

// --- layout ------------------------------------------------------------------

struct LayoutCase {
    TFieldType type;
    int size;
    int fixedBytes; // null byte + value; 0 when the field lies in the variable-length area
};

TEST(VemtLayout, SizesOfEveryFieldTypeInFastMode)
{
    const LayoutCase cases[] = {
        // type        size  fixed bytes
        {ftString, 30, 1 + 62},   {ftFixedChar, 3, 1 + 8}, {ftSmallint, 0, 3}, {ftWord, 0, 3},
        {ftBoolean, 0, 3},        {ftInteger, 0, 5},       {ftAutoInc, 0, 5},  {ftFloat, 0, 9},
        {ftCurrency, 0, 9},       {ftDate, 0, 9},          {ftTime, 0, 9},     {ftDateTime, 0, 9},
        {ftLargeint, 0, 9},       {ftBCD, 0, 35},          {ftBytes, 20, 21},  {ftVarBytes, 20, 23},
        {ftADT, 0, 1},            {ftArray, 0, 1},         {ftBlob, 0, 0},     {ftMemo, 0, 0},
        {ftGraphic, 0, 0},        {ftFmtMemo, 0, 0},       {ftParadoxOle, 0, 0}, {ftDBaseOle, 0, 0},
        {ftTypedBinary, 0, 0},    {ftOraBlob, 0, 0},       {ftOraClob, 0, 0},
    };
    for (const LayoutCase &c : cases) {
        StoreTable table;
        table.FieldDefs().Add(QStringLiteral("f"), c.type, c.size);
        table.Store().LayoutRecord();
        TVemtCommon &store = table.Store();
        const int varBytes = c.fixedBytes == 0 ? 5 : 0;
        EXPECT_EQ(store.FixedSize(), c.fixedBytes) << static_cast<int>(c.type);
        EXPECT_EQ(store.BookmarkStart(), c.fixedBytes);
        EXPECT_EQ(store.VarStart(), c.fixedBytes + 8) << "one attach slot of 8 bytes";
        EXPECT_EQ(store.DataSize(), c.fixedBytes + 8 + varBytes);
        EXPECT_EQ(store.RecordSize(), store.DataSize() + 32);
        EXPECT_EQ(store.IsVarLength(1), varBytes != 0);
    }
}

TEST(VemtLayout, PerformanceModeMovesLongTextsOutOfTheRecord)
{
    for (TVemtPerformance mode : {mtpfFast, mtpfBalanced, mtpfSmall}) {
        StoreTable table;
        table.FieldDefs().Add(QStringLiteral("short"), ftString, 12);
        table.FieldDefs().Add(QStringLiteral("long"), ftString, 13);
        table.FieldDefs().Add(QStringLiteral("bytes"), ftBytes, 40);
        table.FieldDefs().Add(QStringLiteral("n"), ftInteger);
        table.calcAreaSize = 10;
        TVemtCommon &store = table.Store();
        store.SetPerformance(mode);
        store.SetAttachMaxCount(2);
        store.LayoutRecord();
        EXPECT_FALSE(store.IsVarLength(1));
        EXPECT_EQ(store.FieldOffset(1), 0);
        if (mode == mtpfFast) {
            EXPECT_EQ(store.FixedSize(), 27 + 29 + 41 + 5);
            EXPECT_EQ(store.FieldOffset(4), 27 + 29 + 41);
            EXPECT_EQ(store.DataSize(), store.FixedSize() + 10 + 16);
        } else {
            EXPECT_EQ(store.FixedSize(), 27 + 5);
            EXPECT_EQ(store.FieldOffset(4), 27);
            EXPECT_EQ(store.CalcStart(), 32);
            EXPECT_EQ(store.BookmarkStart(), 42);
            EXPECT_EQ(store.VarStart(), 58);
            EXPECT_EQ(store.FieldOffset(2), 58);
            EXPECT_EQ(store.FieldOffset(3), 63);
            EXPECT_EQ(store.DataSize(), 68);
            EXPECT_EQ((store.FieldFlags(2) & kFieldCompressed) != 0, mode == mtpfSmall);
        }
    }
}

TEST(VemtLayout, RefusesTablesWithoutFieldsAndUnsupportedTypes)
{
    StoreTable empty;
    EXPECT_EQ(MessageOf([&] { empty.Store().LayoutRecord(); }), QStringLiteral("There must be at least one field"));
    StoreTable wide;
    wide.FieldDefs().Add(QStringLiteral("n"), ftInteger);
    wide.FieldDefs().Add(QStringLiteral("w"), ftWideString, 10);
    EXPECT_EQ(MessageOf([&] { wide.Store().LayoutRecord(); }),
              QStringLiteral("Fielddef w (w) Datatype 24 not supported."));
    EXPECT_THROW(wide.Store().LayoutRecord(), EMemTableError);
}

// --- records, slots, serials ------------------------------------------------------

class VemtStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        table.FieldDefs().Add(QStringLiteral("nm"), ftString, 30);
        table.FieldDefs().Add(QStringLiteral("memo"), ftMemo);
        table.FieldDefs().Add(QStringLiteral("id"), ftSmallint);
        table.Open();
    }
    TVemtRecord *Stored(const QString &name)
    {
        TVemtRecord *record = table.NewValues();
        table.SetString(record, QStringLiteral("nm"), name);
        return table.Post(record);
    }
    StoreTable table;
    TVemtCommon &store = table.Store();
};

TEST_F(VemtStore, NewRecordIsBlank)
{
    TVemtRecord *record = store.NewRecord();
    EXPECT_EQ(record->Position, -1);
    EXPECT_EQ(record->SlotIndex, -1);
    EXPECT_EQ(record->Serial, -1);
    EXPECT_EQ(record->ChangeLevel, -1);
    EXPECT_EQ(record->Flags, 0);
    EXPECT_EQ(record->OlderVersion, nullptr);
    for (int i = 0; i < store.DataSize(); ++i)
        ASSERT_EQ(record->Data()[i], 0) << i;
    store.FreeRecord(record, true, true);
}

TEST_F(VemtStore, FreedSlotsAreReusedLastFirstWithNewSerials)
{
    TVemtRecord *a = Stored(QStringLiteral("a"));
    TVemtRecord *b = Stored(QStringLiteral("b"));
    TVemtRecord *c = Stored(QStringLiteral("c"));
    EXPECT_EQ(c->SlotIndex, 2);
    EXPECT_EQ(c->Serial, 2);
    EXPECT_TRUE(a->Flags & kRecordStored);
    table.DeleteStored(a);
    table.DeleteStored(c);
    EXPECT_EQ(store.RecordCount(), 3) << "empty slots still count";
    EXPECT_EQ(store.Records(0), nullptr);
    TVemtRecord *d = Stored(QStringLiteral("d"));
    TVemtRecord *e = Stored(QStringLiteral("e"));
    EXPECT_EQ(d->SlotIndex, 2);
    EXPECT_EQ(d->Serial, 3);
    EXPECT_EQ(e->SlotIndex, 0);
    EXPECT_EQ(e->Serial, 4);
    EXPECT_EQ(store.Records(1), b);
}

TEST_F(VemtStore, EmptyingResetsSlotsAndSerialsAndDrawsANewDataID)
{
    Stored(QStringLiteral("a"));
    Stored(QStringLiteral("b"));
    for (int round = 0; round < 20; ++round) {
        const std::uint32_t before = store.DataID();
        store.EmptyAll();
        EXPECT_NE(store.DataID(), before);
        EXPECT_LE(store.DataID(), 0x80000000u);
        EXPECT_EQ(store.RecordCount(), 0);
        TVemtRecord *record = Stored(QStringLiteral("x"));
        EXPECT_EQ(record->SlotIndex, 0);
        EXPECT_EQ(record->Serial, 0);
    }
}

TEST_F(VemtStore, SerialOverflowIsRefusedBeforeTheRecordIsStored)
{
    TVemtRecord *first = Stored(QStringLiteral("a"));
    TVemtCommonTestAccess::SetSerialCounter(store, 0x7FFFFFCE);
    TVemtRecord *last = Stored(QStringLiteral("b"));
    EXPECT_EQ(last->Serial, 0x7FFFFFCE);
    // Appending path and free-slot path alike.
    TVemtRecord *record = store.NewRecord();
    EXPECT_EQ(MessageOf([&] { store.StoreRecord(record); }),
              QStringLiteral("Bookmark counter is out of range. Please close and reopen table."));
    EXPECT_EQ(record->SlotIndex, -1);
    EXPECT_EQ(store.RecordCount(), 2);
    table.DeleteStored(first);
    EXPECT_THROW(store.StoreRecord(record), EMemTableFatalError);
    EXPECT_EQ(store.Records(0), nullptr) << "the free slot stays free";
    EXPECT_EQ(record->Serial, -1);
    store.FreeRecord(record, true, true);
}

TEST_F(VemtStore, VariableLengthValuesAreFoundThroughTheStoredRecord)
{
    table.Store().SetPerformance(mtpfBalanced);
    table.Close();
    table.Open();
    ASSERT_TRUE(store.IsVarLength(1));
    TVemtRecord *stored = Stored(QStringLiteral("Длинное название"));
    EXPECT_EQ(table.String(stored, QStringLiteral("nm")), QStringLiteral("Длинное название"));

    // A buffer copy carries no handle of its own: it reads the stored record's.
    TVemtRecord *buffer = store.NewRecord();
    store.CopyRecord(stored, buffer);
    EXPECT_EQ(TVemtCommon::SlotHandle(store.FieldPointer(buffer, table.FieldByName(QStringLiteral("nm")))), 0u);
    EXPECT_EQ(table.String(buffer, QStringLiteral("nm")), QStringLiteral("Длинное название"));
    TVemtFieldList list;
    list.Add(table.FieldByName(QStringLiteral("nm")), 0);
    EXPECT_EQ(store.CompareRecords(list, 0, buffer, stored, false, false, cmEqual), 0);

    // A copy that belongs to no slot has no value to compare.
    buffer->SlotIndex = -1;
    EXPECT_EQ(MessageOf([&] { store.CompareRecords(list, 0, buffer, stored, false, false, cmEqual); }),
              QStringLiteral("Invalid record "));
    EXPECT_THROW(store.CompareRecords(list, 0, buffer, stored, false, false, cmEqual), EMemTableInvalidRecord);

    // A clone with values owns copies; moving them hands the blocks over.
    TVemtRecord *clone = store.CloneRecord(stored, true);
    TField *nm = table.FieldByName(QStringLiteral("nm"));
    const std::uint32_t cloneHandle = TVemtCommon::SlotHandle(store.FieldPointer(clone, nm));
    EXPECT_NE(cloneHandle, TVemtCommon::SlotHandle(store.FieldPointer(stored, nm)));
    table.SetString(clone, QStringLiteral("nm"), QStringLiteral("Другое"));
    store.MoveValues(clone, stored);
    EXPECT_EQ(table.String(stored, QStringLiteral("nm")), QStringLiteral("Другое"));
    EXPECT_EQ(TVemtCommon::SlotHandle(store.FieldPointer(clone, nm)), 0u);
    // A null source value frees and nulls the target's.
    clone->Data()[store.FieldOffset(1)] = 0;
    store.MoveValues(clone, stored);
    EXPECT_TRUE(table.IsNull(stored, QStringLiteral("nm")));
    EXPECT_EQ(TVemtCommon::SlotHandle(store.FieldPointer(stored, nm)), 0u);
    store.FreeRecord(clone, true, false);
    store.FreeRecord(buffer, false, false);
}

// --- comparing values -------------------------------------------------------------

TEST(VemtCompareValues, NumericTypes)
{
    const std::int16_t small[] = {-5, 3};
    EXPECT_EQ(Compare(&small[0], &small[1], ftSmallint), -1);
    const std::uint16_t word[] = {65535, 1};
    EXPECT_EQ(Compare(&word[0], &word[1], ftWord), 1) << "unsigned";
    const std::uint16_t boolean[] = {0, 7};
    EXPECT_EQ(Compare(&boolean[0], &boolean[1], ftBoolean), -1);
    const std::uint16_t trues[] = {1, 7};
    EXPECT_EQ(Compare(&trues[0], &trues[1], ftBoolean), 0);
    const std::int32_t integer[] = {7, 7};
    EXPECT_EQ(Compare(&integer[0], &integer[1], ftInteger), 0);
    const std::int64_t large[] = {std::int64_t(1) << 40, -1};
    EXPECT_EQ(Compare(&large[0], &large[1], ftLargeint), 1);
    const double real[] = {-0.5, 0.25};
    EXPECT_EQ(Compare(&real[0], &real[1], ftFloat), -1);
    EXPECT_EQ(Compare(&real[0], &real[1], ftDateTime), -1);
    EXPECT_EQ(Compare(&real[0], &real[1], ftFloat, mtcoDescending), 1);
    // Date and time compare their first 32-bit word only.
    const std::int32_t dates[] = {730000, 12345, 730000, 99999};
    EXPECT_EQ(Compare(&dates[0], &dates[2], ftDate), 0);
    EXPECT_EQ(Compare(&dates[1], &dates[0], ftTime), -1);
    EXPECT_EQ(Compare(&dates[0], &dates[1], ftTime, mtcoDescending), -1);
    // Types without an order compare equal.
    EXPECT_EQ(Compare(&dates[0], &dates[1], ftBytes), 0);
}

TEST(VemtCompareValues, BcdComparesAsCurrencyAndFailedConversionIsEqual)
{
    std::uint8_t a[34] = {4, 2, 0x12, 0x50};        // 12.50
    std::uint8_t b[34] = {3, 0x80 | 1, 0x99, 0x90}; // -99.9
    EXPECT_EQ(Compare(a, b, ftBCD), 1);
    EXPECT_EQ(Compare(b, a, ftBCD), -1);
    std::uint8_t bad[34] = {2, 0, 0xAB};            // not decimal digits
    EXPECT_EQ(Compare(a, bad, ftBCD), 0);
}

TEST(VemtCompareValues, TextOptionsOneByOneAndCombined)
{
    EXPECT_LT(CompareText(u"абв", u"Абв", 0), 0);
    EXPECT_EQ(CompareText(u"абв", u"АБВ", mtcoCaseInsensitive), 0);
    EXPECT_GT(CompareText(u"абв", u"Абв", mtcoDescending), 0);
    EXPECT_EQ(CompareText(u"абв", u"АБВ", mtcoDescending | mtcoCaseInsensitive), 0);
    EXPECT_LT(CompareText(u"б", u"А", mtcoDescending | mtcoCaseInsensitive), 0);

    bool full = true;
    EXPECT_EQ(CompareText(u"аб", u"абв", mtcoPartialKey, &full), 0);
    EXPECT_FALSE(full);
    EXPECT_EQ(CompareText(u"абв", u"аб", mtcoPartialKey, &full), 1);
    EXPECT_FALSE(full);
    EXPECT_EQ(CompareText(u"абв", u"абв", mtcoPartialKey, &full), 0);
    EXPECT_TRUE(full);
    EXPECT_EQ(CompareText(u"АБ", u"абв", mtcoPartialKey | mtcoCaseInsensitive, &full), 0);
    EXPECT_EQ(CompareText(u"аб", u"абв", 0, &full), -1);
    EXPECT_TRUE(full);

    // Without the locale: the runtime's plain order (Windows-1251 bytes: Ё ё
    // before А..я), and only a-z fold.
    EXPECT_LT(CompareText(u"Z", u"a", mtcoIgnoreLocale), 0);
    EXPECT_GT(CompareText(u"Z", u"a", 0), 0);
    EXPECT_LT(CompareText(u"ё", u"А", mtcoIgnoreLocale), 0);
    EXPECT_GT(CompareText(u"ё", u"А", 0), 0);
    EXPECT_LT(CompareText(u"Я", u"а", mtcoIgnoreLocale), 0);
    EXPECT_GT(CompareText(u"Я", u"а", 0), 0);
    EXPECT_EQ(CompareText(u"abc", u"ABC", mtcoIgnoreLocale | mtcoCaseInsensitive), 0);
    EXPECT_NE(CompareText(u"я", u"Я", mtcoIgnoreLocale | mtcoCaseInsensitive), 0);
    EXPECT_LT(CompareText(u"a", u"B", mtcoIgnoreLocale | mtcoCaseInsensitive), 0);
    EXPECT_GT(CompareText(u"a", u"B", mtcoIgnoreLocale | mtcoCaseInsensitive | mtcoDescending), 0);
}

TEST(VemtCompareValues, LocaleMustBeKnown)
{
    EXPECT_EQ(CompareText(u"а", u"б", 0, nullptr, 1049), -1);
    EXPECT_EQ(CompareText(u"а", u"б", 0, nullptr, 0x0800), -1);
    EXPECT_EQ(MessageOf([] { CompareText(u"а", u"б", 0, nullptr, 1033); }), QStringLiteral("Invalid locale. 1033"));
    EXPECT_THROW(CompareText(u"а", u"б", 0, nullptr, 1033), EMemTableInvalidLocale);
    EXPECT_EQ(CompareText(u"а", u"б", mtcoIgnoreLocale, nullptr, 1033), -1) << "no locale needed";
}

// --- comparing records ------------------------------------------------------------

class VemtCompareRecords : public VemtStore {
protected:
    TVemtRecord *Make(const QString &name, std::int16_t id, bool nameNull = false)
    {
        TVemtRecord *record = table.NewValues();
        if (!nameNull)
            table.SetString(record, QStringLiteral("nm"), name);
        table.SetValue<std::int16_t>(record, QStringLiteral("id"), id);
        made.push_back(record);
        return record;
    }
    void TearDown() override
    {
        for (TVemtRecord *record : made)
            store.FreeRecord(record, true, true);
    }
    TVemtFieldList List(TVemtMemTableCompareOptions nameOptions, TVemtMemTableCompareOptions idOptions = 0)
    {
        TVemtFieldList list;
        list.Add(table.FieldByName(QStringLiteral("nm")), nameOptions);
        list.Add(table.FieldByName(QStringLiteral("id")), idOptions);
        return list;
    }
    std::vector<TVemtRecord *> made;
};

TEST_F(VemtCompareRecords, NullsComeFirstEvenDescending)
{
    TVemtRecord *none = Make(QString(), 1, true);
    TVemtRecord *some = Make(QStringLiteral("а"), 1);
    for (TVemtMemTableCompareOptions options : {0u, unsigned(mtcoDescending)}) {
        EXPECT_EQ(store.CompareRecords(List(options), 0, none, some, false, false, cmEqual), -1);
        EXPECT_EQ(store.CompareRecords(List(options), 0, some, none, false, false, cmEqual), 1);
        EXPECT_EQ(store.CompareRecords(List(options), 0, none, none, false, false, cmEqual), 0);
    }
}

TEST_F(VemtCompareRecords, FieldsInOrderWithCountAndIgnoreNull)
{
    TVemtRecord *a1 = Make(QStringLiteral("Иван"), 1);
    TVemtRecord *a2 = Make(QStringLiteral("иван"), 2);
    TVemtRecord *nullName = Make(QString(), 9, true);
    EXPECT_EQ(store.CompareRecords(List(0), 0, a1, a2, false, false, cmEqual), 1);
    EXPECT_EQ(store.CompareRecords(List(mtcoCaseInsensitive), 0, a1, a2, false, false, cmEqual), -1);
    EXPECT_EQ(store.CompareRecords(List(mtcoCaseInsensitive), 1, a1, a2, false, false, cmEqual), 0);
    EXPECT_EQ(store.CompareRecords(List(mtcoCaseInsensitive, mtcoDescending), 0, a1, a2, false, false, cmEqual), 1);
    // A null first value skips the field when asked.
    EXPECT_EQ(store.CompareRecords(List(0), 0, nullName, a1, true, false, cmEqual), 1);
    EXPECT_EQ(store.CompareRecords(List(mtcoIgnoreNullKey), 0, nullName, a1, false, false, cmEqual), 1);
    EXPECT_EQ(store.CompareRecords(List(0), 0, nullName, a1, false, false, cmEqual), -1);
    // Missing records compare equal.
    EXPECT_EQ(store.CompareRecords(List(0), 0, nullptr, a1, false, false, cmEqual), 0);
}

TEST_F(VemtCompareRecords, PartialStopsAtTheFirstPartlyMatchingField)
{
    TVemtRecord *key = Make(QStringLiteral("Ив"), 5);
    TVemtRecord *entry = Make(QStringLiteral("Иванов"), 1);
    EXPECT_EQ(store.CompareRecords(List(0), 0, key, entry, false, true, cmEqual), 0);
    EXPECT_EQ(store.CompareRecords(List(mtcoPartialKey), 0, key, entry, false, false, cmEqual), 0);
    EXPECT_EQ(store.CompareRecords(List(0), 0, key, entry, false, false, cmEqual), -1);
    TVemtRecord *exact = Make(QStringLiteral("Ив"), 1);
    EXPECT_EQ(store.CompareRecords(List(0), 0, key, exact, false, true, cmEqual), 1) << "full match goes on";
}

TEST_F(VemtCompareRecords, ModesStopOnTheirConditionAndIgnoreDescending)
{
    TVemtRecord *a = Make(QStringLiteral("а"), 1);
    TVemtRecord *b = Make(QStringLiteral("б"), 1);
    TVemtRecord *a2 = Make(QStringLiteral("а"), 2);
    const TVemtFieldList desc = List(mtcoDescending, mtcoDescending);
    EXPECT_EQ(store.CompareRecords(desc, 0, a, b, false, false, cmEqual), 1);
    EXPECT_EQ(store.CompareRecords(desc, 0, a, b, false, false, cmLess), -1);
    EXPECT_EQ(store.CompareRecords(desc, 0, b, a, false, false, cmGreater), 1);
    // cmLess goes past a greater field and past equal ones.
    EXPECT_EQ(store.CompareRecords(desc, 0, b, a, false, false, cmLess), 0);
    EXPECT_EQ(store.CompareRecords(desc, 0, a, a2, false, false, cmLessEqual), 0) << "stops at the equal name";
    EXPECT_EQ(store.CompareRecords(desc, 0, a, a2, false, false, cmGreaterEqual), 0);
    EXPECT_EQ(store.CompareRecords(desc, 0, a, a2, false, false, cmGreater), -1) << "the last field compared";
}

TEST_F(VemtCompareRecords, CompareHandlerDecides)
{
    TVemtRecord *a = Make(QStringLiteral("а"), 1);
    TVemtRecord *b = Make(QStringLiteral("б"), 2);
    int calls = 0;
    store.OnCompareFields = [&](const void *, const void *, TField *, TFieldType, TVemtMemTableCompareOptions,
                                bool &, int &result) {
        ++calls;
        EXPECT_EQ(result, 0);
        result = 1;
    };
    EXPECT_EQ(store.CompareRecords(List(0), 0, a, b, false, false, cmEqual), 1);
    EXPECT_EQ(calls, 1);
    store.OnCompareFields = nullptr;
}

// --- locale, settings, attached tables ------------------------------------------

TEST(VemtSettings, LocaleIsSplitAndRebuilt)
{
    StoreTable table;
    TVemtCommon &store = table.Store();
    EXPECT_EQ(store.LocaleID(), 1024);
    EXPECT_EQ(store.LanguageID(), 0);
    EXPECT_EQ(store.SubLanguageID(), 1);
    EXPECT_EQ(store.SortID(), 0);
    store.SetLocaleID(0x00010419);
    EXPECT_EQ(store.SortID(), 1);
    EXPECT_EQ(store.LanguageID(), 0x19);
    EXPECT_EQ(store.SubLanguageID(), 1);
    store.SetSortID(0);
    store.SetSubLanguageID(2);
    EXPECT_EQ(store.LocaleID(), 2 * 1024 + 0x19);
    EXPECT_THROW(store.SetSubLanguageID(64), ERangeError);
    EXPECT_EQ(store.LocaleID(), 2 * 1024 + 0x19);
}

TEST(VemtSettings, AutoIncMinimumRaisesTheMaximum)
{
    StoreTable table;
    TVemtCommon &store = table.Store();
    store.SetAutoIncMinValue(100);
    EXPECT_EQ(store.AutoIncMaxValue(), 99);
    store.SetAutoIncMaxValue(500);
    store.SetAutoIncMinValue(200);
    EXPECT_EQ(store.AutoIncMaxValue(), 500);
}

TEST(VemtSettings, AttachedTables)
{
    StoreTable owner;
    owner.FieldDefs().Add(QStringLiteral("n"), ftInteger);
    TVemtCommon &store = owner.Store();
    EXPECT_EQ(owner.AttachSlot(), 0);
    EXPECT_EQ(store.AttachMaxCount(), 1);
    EXPECT_EQ(MessageOf([&] { store.SetAttachMaxCount(0); }), QStringLiteral("Invalid argument."));
    StoreTable other;
    store.AttachTable(&other);
    EXPECT_EQ(other.AttachSlot(), 1);
    EXPECT_EQ(store.AttachMaxCount(), 2) << "a full list grows while no table is open";
    EXPECT_EQ(MessageOf([&] { store.SetStandalone(true); }), QStringLiteral("Children are attached to this table."));
    store.DetachTable(&other);
    EXPECT_EQ(store.AttachedTable(1), nullptr);
    store.SetStandalone(true);
    store.SetStandalone(false);
    store.AttachTable(&other);
    owner.Open();
    StoreTable third;
    EXPECT_EQ(MessageOf([&] { store.AttachTable(&third); }), QStringLiteral("Table must be closed for this operation."));
    EXPECT_EQ(MessageOf([&] { store.SetAttachMaxCount(3); }), QStringLiteral("Table must be closed for this operation."));
    store.DetachTable(&other);
}

// One re-entrant lock per store: another thread waits while this one holds
// it; a Standalone store takes no lock.
TEST(VemtLock, StoreOperationsWaitForTheHolderUnlessStandalone)
{
    using namespace std::chrono_literals;
    StoreTable table;
    table.FieldDefs().Add(QStringLiteral("n"), ftInteger);
    table.Open();
    TVemtCommon &store = table.Store();
    for (bool standalone : {false, true}) {
        store.SetStandalone(standalone);
        std::atomic<bool> stored{false};
        std::thread other;
        {
            TVemtCommon::Locker lock(store);
            TVemtCommon::Locker again(store);
            other = std::thread([&] {
                store.StoreRecord(store.NewRecord());
                stored = true;
            });
            const auto until = std::chrono::steady_clock::now() + (standalone ? 5s : 100ms);
            while (!stored && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(1ms);
            EXPECT_EQ(stored.load(), standalone);
        }
        other.join();
        EXPECT_TRUE(stored);
    }
    EXPECT_EQ(store.RecordCount(), 2);
}

} // namespace
} // namespace zorbel
