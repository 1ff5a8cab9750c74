// The memory table as a dataset: opening and closing, filling by Append and
// Insert, field values, post and delete, bookmarks, record count and number,
// EmptyTable, Sort kept across refills, filling with disabled upkeep, and
// random runs against a plain sorted vector and a plain list.
#include "memtable/VemtMemTable.h"
#include "memtable/MemTableSupport.h"
#include "platform/dataset/DataSource.h"
#include "platform/rtl/Collation.h"
#include "platform/rtl/DateTime.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace zorbel {
namespace {

using namespace test;

const QString kId = QStringLiteral("id");
const QString kNm = QStringLiteral("nm");
const QString kSdt = QStringLiteral("sdt");

TEST(VemtMemTable, OpenRefusesMissingOrUnsupportedFieldsAndCountsOnlyWhenOpen)
{
    TVemtMemTable empty;
    EXPECT_EQ(MessageOf([&] { empty.Open(); }), QStringLiteral("There must be at least one field"));
    EXPECT_FALSE(empty.Active());

    TVemtMemTable variant;
    variant.FieldDefs().Add(QStringLiteral("v"), ftVariant);
    EXPECT_EQ(MessageOf([&] { variant.Open(); }), QStringLiteral("Fielddef v (v) Datatype 32 not supported."));

    // A faulty index definition fails the open; the next open starts afresh.
    TVemtMemTable badIndex;
    badIndex.FieldDefs().Add(QStringLiteral("a"), ftInteger);
    badIndex.IndexDefs().Add(QStringLiteral("byB"), QStringLiteral("b"));
    EXPECT_EQ(MessageOf([&] { badIndex.Open(); }), QStringLiteral("Field 'b' not found"));
    EXPECT_FALSE(badIndex.Active());
    EXPECT_EQ(badIndex.FieldCount(), 0);
    badIndex.IndexDefs().Clear();
    badIndex.Open();
    EXPECT_EQ(badIndex.FieldCount(), 1);

    auto tab = MakeTabRes();
    EXPECT_EQ(MessageOf([&] { (void)tab->RecordCount(); }),
              QStringLiteral("Cannot perform this operation on a closed dataset"));
    tab->Open();
    EXPECT_EQ(tab->RecordCount(), 0);
    EXPECT_TRUE(tab->Eof());
    EXPECT_TRUE(tab->Bof());
    EXPECT_EQ(tab->RecNo(), -1);
    EXPECT_EQ(tab->Version(), QStringLiteral("3.07"));
}

TEST(VemtMemTable, AppendAddsAtTheEndAndInsertBeforeTheCurrentRecord)
{
    auto tab = MakeTabRes();
    tab->SetEnableIndexes(true);
    tab->Open();
    // Insert into an empty table gives one record with RecNo 1.
    AddRes(*tab, 1, QStringLiteral("a"), 1, 0, false);
    EXPECT_EQ(tab->RecordCount(), 1);
    EXPECT_EQ(tab->RecNo(), 1);
    AddRes(*tab, 2, QStringLiteral("b"), 2, 0);
    AddRes(*tab, 3, QStringLiteral("c"), 3, 0);
    EXPECT_EQ(tab->RecNo(), 3);

    tab->First();
    tab->Next();
    ASSERT_EQ(tab->FieldByName(kNm)->AsString(), QStringLiteral("b"));
    AddRes(*tab, 4, QStringLiteral("d"), 4, 0, false);
    EXPECT_EQ(tab->RecNo(), 2);
    EXPECT_EQ(tab->FieldByName(kNm)->AsString(), QStringLiteral("d"));
    EXPECT_EQ(Column(*tab, kNm), QStringList({"a", "d", "b", "c"}));

    // Append always adds at the end, wherever the cursor stands.
    tab->First();
    AddRes(*tab, 5, QStringLiteral("e"), 5, 0);
    EXPECT_EQ(Column(*tab, kNm), QStringList({"a", "d", "b", "c", "e"}));
    tab->Last();
    EXPECT_EQ(tab->RecNo(), 5);
    tab->Prior();
    EXPECT_EQ(tab->FieldByName(kNm)->AsString(), QStringLiteral("c"));
}

TEST(VemtMemTable, WithoutIndexUpkeepRowOrderIsRebuiltInSlotOrderBeforeUse)
{
    auto tab = MakeTabRes(); // TabRes keeps its indexes only on use
    tab->Open();
    for (int i = 1; i <= 3; ++i)
        AddRes(*tab, i, QString::number(i), i, 0);
    tab->First();
    AddRes(*tab, 4, QStringLiteral("4"), 4, 0, false);
    EXPECT_EQ(tab->FieldByName(kNm)->AsString(), QStringLiteral("4"));
    EXPECT_EQ(tab->RecNo(), 4);
    EXPECT_EQ(tab->RecordCount(), 4);
    tab->SetRecNo(2);
    tab->Delete();
    AddRes(*tab, 5, QStringLiteral("5"), 5, 0); // takes the freed slot 1
    EXPECT_EQ(tab->RecNo(), 2);
    EXPECT_EQ(Column(*tab, kNm), QStringList({"1", "5", "3", "4"}));
}

TEST(VemtMemTable, FieldValuesNullsReadOnlyAndValidation)
{
    auto tab = MakeTabRes();
    tab->Open();
    tab->Append();
    tab->FieldByName(kNm)->SetAsString(QStringLiteral("длинное имя, что длиннее тридцати знаков"));
    tab->Post();
    EXPECT_EQ(tab->FieldByName(kNm)->AsString(), QStringLiteral("длинное имя, что длиннее тридцати знаков").left(30));
    EXPECT_TRUE(tab->FieldByName(kSdt)->IsNull());

    tab->Edit();
    tab->FieldByName(kSdt)->SetAsFloat(12.5);
    tab->Post();
    EXPECT_DOUBLE_EQ(tab->FieldByName(kSdt)->AsFloat(), 12.5);
    tab->Edit();
    tab->FieldByName(kSdt)->Clear();
    tab->Post();
    EXPECT_TRUE(tab->FieldByName(kSdt)->IsNull());

    // Browse state refuses writes.
    EXPECT_EQ(MessageOf([&] { tab->FieldByName(kSdt)->SetAsFloat(1); }),
              QStringLiteral("Dataset is not in edit mode."));

    // A refused value leaves the old value and its null state intact.
    TField *sdt = tab->FieldByName(kSdt);
    sdt->OnValidate = [](TField *field) {
        if (field->AsFloat() < 0)
            throw EDatabaseError(QStringLiteral("negative"));
    };
    tab->Edit();
    EXPECT_EQ(MessageOf([&] { sdt->SetAsFloat(-1); }), QStringLiteral("negative"));
    EXPECT_TRUE(sdt->IsNull());
    sdt->SetAsFloat(7);
    EXPECT_EQ(MessageOf([&] { sdt->SetAsFloat(-1); }), QStringLiteral("negative"));
    EXPECT_DOUBLE_EQ(sdt->AsFloat(), 7);
    tab->Post();
    EXPECT_DOUBLE_EQ(sdt->AsFloat(), 7);

    tab->SetReadOnly(true);
    sdt->SetDisplayLabel(QStringLiteral("Приход"));
    EXPECT_FALSE(tab->CanModify());
    tab->SetReadOnly(false);
    tab->Edit();
    tab->SetReadOnly(true);
    EXPECT_EQ(MessageOf([&] { sdt->SetAsFloat(1); }), QStringLiteral("Field Приход is read only"));
    tab->SetReadOnly(false);
    tab->Cancel();
    EXPECT_DOUBLE_EQ(sdt->AsFloat(), 7);
}

TEST(VemtMemTable, CancelledInsertAndFailedPostLeaveTheStoreUnchanged)
{
    auto tab = MakeTabRes();
    tab->Open();
    AddRes(*tab, 1, QStringLiteral("a"), 1, 0);
    tab->Append();
    tab->FieldByName(kNm)->SetAsString(QStringLiteral("x"));
    tab->Cancel();
    EXPECT_EQ(tab->RecordCount(), 1);

    tab->BeforePost = [](TDataSet *) { throw EDatabaseError(QStringLiteral("refused")); };
    tab->Append();
    tab->FieldByName(kNm)->SetAsString(QStringLiteral("y"));
    EXPECT_EQ(MessageOf([&] { tab->Post(); }), QStringLiteral("refused"));
    EXPECT_EQ(tab->State(), dsInsert);
    tab->Cancel();
    tab->BeforePost = nullptr;
    EXPECT_EQ(Column(*tab, kNm), QStringList({"a"}));
}

TEST(VemtMemTable, DeleteMovesToTheNextRecordAndRecNoCanBeSetAfterwards)
{
    auto tab = MakeTabRes();
    tab->Open();
    for (int i = 1; i <= 5; ++i)
        AddRes(*tab, i, QString::number(i), i, 0);
    tab->SetRecNo(2);
    EXPECT_EQ(tab->FieldByName(kNm)->AsString(), QStringLiteral("2"));
    tab->Delete();
    EXPECT_EQ(tab->FieldByName(kNm)->AsString(), QStringLiteral("3"));
    EXPECT_EQ(tab->RecNo(), 2);
    EXPECT_EQ(tab->RecordCount(), 4);

    tab->SetRecNo(4);
    EXPECT_EQ(tab->FieldByName(kNm)->AsString(), QStringLiteral("5"));
    tab->Delete(); // the last record: the cursor falls back to the new last
    EXPECT_EQ(tab->FieldByName(kNm)->AsString(), QStringLiteral("4"));
    // 0, count + 1 and the current number change nothing.
    for (int n : {0, 4, 3}) {
        tab->SetRecNo(n);
        EXPECT_EQ(tab->RecNo(), 3) << n;
    }
    tab->SetRecNo(1);
    EXPECT_EQ(tab->FieldByName(kNm)->AsString(), QStringLiteral("1"));
    EXPECT_EQ(Column(*tab, kNm), QStringList({"1", "3", "4"}));
}

TEST(VemtMemTable, BookmarksSurviveOtherChangesButNotTheirRecordsDeletionOrEmptying)
{
    auto tab = MakeTabRes();
    tab->SetEnableIndexes(true);
    tab->Open();
    for (int i = 1; i <= 4; ++i)
        AddRes(*tab, i, QString::number(i), i, 0);
    tab->SetRecNo(3);
    const TBookmark third = tab->GetBookmark();
    tab->SetRecNo(2);
    const TBookmark second = tab->GetBookmark();
    ASSERT_TRUE(tab->BookmarkValid(third));
    EXPECT_EQ(tab->CompareBookmarks(second, third), -1);
    EXPECT_EQ(tab->CompareBookmarks(third, second), 1);
    EXPECT_EQ(tab->CompareBookmarks(third, third), 0);

    tab->First();
    AddRes(*tab, 9, QStringLiteral("9"), 9, 0, false); // a new first record
    tab->GotoBookmark(third);
    EXPECT_EQ(tab->FieldByName(kNm)->AsString(), QStringLiteral("3"));
    EXPECT_EQ(tab->RecNo(), 4);

    // The deleted record's slot is reused by the next record: the bookmark
    // still does not find it.
    tab->Delete();
    EXPECT_FALSE(tab->BookmarkValid(third));
    AddRes(*tab, 10, QStringLiteral("10"), 10, 0);
    EXPECT_FALSE(tab->BookmarkValid(third));
    EXPECT_EQ(MessageOf([&] { tab->GotoBookmark(third); }), QString::fromUtf8("Запись не найдена"));
    EXPECT_EQ(tab->CompareBookmarks(second, third), 0);

    ASSERT_TRUE(tab->BookmarkValid(second));
    tab->EmptyTable();
    EXPECT_FALSE(tab->BookmarkValid(second));
    AddRes(*tab, 1, QStringLiteral("1"), 1, 0);
    AddRes(*tab, 2, QStringLiteral("2"), 2, 0); // same slots and serials as before
    EXPECT_FALSE(tab->BookmarkValid(second));
    EXPECT_EQ(MessageOf([&] { tab->GotoBookmark(second); }), QString::fromUtf8("Запись не найдена"));

    const TBookmark last = tab->GetBookmark();
    tab->Close();
    tab->Open();
    EXPECT_FALSE(tab->BookmarkValid(last));
    EXPECT_FALSE(tab->BookmarkValid(TBookmark()));
}

TEST(VemtMemTable, EmptyTablePostsAPendingEditAndKeepsTheTableOpen)
{
    auto tab = MakeTabRes();
    tab->SetProgressFlags(1u << mtpcEmpty);
    std::vector<int> progress;
    tab->OnProgress = [&](TVemtCustomMemTable *, int percent, TVemtProgressCode code) {
        EXPECT_EQ(code, mtpcEmpty);
        progress.push_back(percent);
    };
    tab->Open();
    AddRes(*tab, 1, QStringLiteral("a"), 1, 0);
    bool posted = false;
    tab->AfterPost = [&](TDataSet *) { posted = true; };
    tab->Edit();
    tab->FieldByName(kNm)->SetAsString(QStringLiteral("b"));
    tab->EmptyTable();
    EXPECT_TRUE(posted);
    EXPECT_EQ(progress, std::vector<int>({0, 100}));
    EXPECT_TRUE(tab->Active());
    EXPECT_EQ(tab->State(), dsBrowse);
    EXPECT_FALSE(tab->ControlsDisabled());
    EXPECT_EQ(tab->RecordCount(), 0);
    EXPECT_TRUE(tab->Eof());
    EXPECT_TRUE(tab->Bof());
    AddRes(*tab, 2, QStringLiteral("c"), 1, 0);
    EXPECT_EQ(tab->RecordCount(), 1);

    // A closed table is emptied all the same; closing discards the rows.
    tab->Close();
    tab->EmptyTable();
    tab->Open();
    EXPECT_EQ(tab->RecordCount(), 0);
    EXPECT_NE(tab->FindField(kSdt), nullptr);
}

// TabRes is filled with its indexes disabled while sorted (its AfterOpen
// sorts): every post lands the cursor on the posted row, the sort index is not
// rebuilt for it, and the rows come out in name order, equal names in the
// order they were added, as a rebuild orders them.
TEST(VemtMemTable, FillingWithIndexesDisabledDoesNotResortAtEveryPost)
{
    auto tab = MakeTabRes();
    tab->SetSortFields(kNm);
    tab->AfterOpen = [](TDataSet *ds) { static_cast<TVemtCustomMemTable *>(ds)->Sort(); };
    TDataSource source; // a grid's link: posts fetch neighbouring rows too
    source.SetDataSet(tab.get());
    tab->Open();
    TVemtIndex *sorted = tab->CurrentIndex();
    ASSERT_EQ(sorted->Name(), QString::fromLatin1(TVemtIndexes::kDefaultSortName));
    const int rebuilds = sorted->RebuildCount();
    std::mt19937 random(5);
    std::vector<std::pair<QString, int>> added; // (name, id)
    constexpr int kRows = 3000;
    tab->DisableControls();
    for (int id = 0; id < kRows; ++id) {
        const QString name = QStringLiteral("Ст%1").arg(random() % 500);
        AddRes(*tab, id, name, id, 0, id % 2 == 0);
        added.emplace_back(name, id);
        ASSERT_EQ(tab->FieldByName(kId)->AsInteger(), id);
    }
    tab->EnableControls();
    EXPECT_EQ(sorted->RebuildCount(), rebuilds);
    std::stable_sort(added.begin(), added.end(),
                     [](const auto &a, const auto &b) { return CompareRussian(a.first, b.first, false) < 0; });
    QStringList expected;
    for (const auto &row : added)
        expected << QString::number(row.second);
    EXPECT_EQ(Column(*tab, kId), expected);
    EXPECT_EQ(tab->RecordCount(), kRows);
}

TEST(VemtMemTable, DataSourcesSeeOneChangeAfterEmptyTable)
{
    auto tab = MakeTabRes();
    TDataSource source;
    source.SetDataSet(tab.get());
    int changes = 0;
    source.OnDataChange = [&](TDataSource *, TField *field) {
        if (!field)
            ++changes;
    };
    tab->Open();
    AddRes(*tab, 1, QStringLiteral("a"), 1, 0);
    changes = 0;
    tab->EmptyTable();
    EXPECT_EQ(changes, 1);
}

TEST(VemtMemTable, SortIsKeptAcrossRefillsWithAndWithoutIndexUpkeep)
{
    for (bool upkeep : {true, false}) {
        SCOPED_TRACE(upkeep);
        auto tab = MakeTabRes();
        tab->SetEnableIndexes(upkeep);
        tab->SetSortFields(kSdt);
        tab->SetSortOptions(mtcoDescending);
        tab->AfterOpen = [](TDataSet *ds) { static_cast<TVemtCustomMemTable *>(ds)->Sort(); };
        tab->Open();
        for (int round = 0; round < 2; ++round) {
            tab->DisableControls();
            tab->EmptyTable();
            const double values[] = {3, 10, 1, 7, 5};
            for (int i = 0; i < 5; ++i)
                AddRes(*tab, i, QStringLiteral("n%1").arg(i), values[i] + round, 0, i % 2 == 0);
            tab->EnableControls();
            const QString expected = round == 0 ? QStringLiteral("10;7;5;3;1") : QStringLiteral("11;8;6;4;2");
            EXPECT_EQ(Column(*tab, kSdt).join(u';'), expected);
            EXPECT_EQ(tab->IndexName(), QString::fromLatin1(TVemtIndexes::kDefaultSortName));
            EXPECT_TRUE(tab->GetIsIndexField(tab->FieldByName(kSdt)));
            EXPECT_FALSE(tab->GetIsIndexField(tab->FieldByName(kNm)));
        }
        // The posted record is current after a post into the sorted table.
        AddRes(*tab, 9, QStringLiteral("mid"), 6.5, 0);
        EXPECT_EQ(tab->FieldByName(kNm)->AsString(), QStringLiteral("mid"));
        EXPECT_EQ(tab->RecNo(), 3);
        // Editing the key moves the record.
        tab->First();
        tab->Edit();
        tab->FieldByName(kSdt)->SetAsFloat(0);
        tab->Post();
        EXPECT_EQ(tab->FieldByName(kSdt)->AsFloat(), 0);
        EXPECT_EQ(Column(*tab, kSdt).join(u';'), QStringLiteral("8;6,5;6;4;2;0"));
        // Closing drops the sort index; reopening sorts again through AfterOpen.
        tab->Close();
        EXPECT_EQ(tab->IndexName(), QString());
        tab->AfterOpen = nullptr;
        tab->Open();
        EXPECT_EQ(tab->IndexName(), QString());
    }
}

TEST(VemtMemTable, SortOnBlankFieldsReturnsToRowOrder)
{
    auto tby = MakeTbY();
    tby->Open();
    for (const char *name : {"b", "c", "a"}) {
        tby->Append();
        tby->FieldByName(QStringLiteral("Itm"))->SetAsString(QString::fromLatin1(name));
        tby->Post();
    }
    tby->Sort();
    EXPECT_EQ(Column(*tby, QStringLiteral("Itm")), QStringList({"a", "b", "c"}));
    tby->SetSortFields(QString());
    tby->Sort();
    EXPECT_EQ(Column(*tby, QStringLiteral("Itm")), QStringList({"b", "c", "a"}));
}

TEST(VemtMemTable, IndexNamesSwitchTheOrderAndKeepTheCurrentRecord)
{
    auto tab = MakeTabRes();
    tab->SetFiltered(false);
    tab->IndexDefs().Add(QStringLiteral("byName"), kNm);
    tab->IndexDefs().Add(QStringLiteral("byAmount"), kSdt, {ixDescending});
    tab->SetIndexName(QStringLiteral("byName")); // applied when the table opens
    tab->Open();
    EXPECT_EQ(tab->IndexFieldNames(), kNm);
    for (const char *name : {"d", "b", "a", "c"})
        AddRes(*tab, 0, QString::fromLatin1(name), name[0] - 'a', 0);
    EXPECT_EQ(Column(*tab, kNm), QStringList({"a", "b", "c", "d"}));
    ASSERT_TRUE(tab->Locate(kNm, Variant(QStringLiteral("b")), {}));
    tab->SetIndexFieldNames(kId); // no index has exactly these fields
    EXPECT_EQ(tab->IndexName(), QStringLiteral("byName"));
    tab->SetIndexName(QStringLiteral("byAmount"));
    EXPECT_EQ(tab->FieldByName(kNm)->AsString(), QStringLiteral("b"));
    EXPECT_EQ(tab->RecNo(), 3);
    EXPECT_EQ(Column(*tab, kNm), QStringList({"d", "c", "b", "a"}));
    tab->SetIndexFieldNames(QString());
    EXPECT_EQ(tab->IndexName(), QString());
    EXPECT_EQ(Column(*tab, kNm), QStringList({"d", "b", "a", "c"}));
    // A hidden current record sends the cursor to the first visible one.
    tab->SetFiltered(true); // nothing restricts the rows yet
    tab->SetRecNo(2);
    ASSERT_EQ(tab->FieldByName(kNm)->AsString(), QStringLiteral("b"));
    tab->SetOnFilterRecord([](TDataSet *ds, bool &accept) { accept = ds->FieldByName(kNm)->AsString() != QStringLiteral("b"); });
    tab->SetIndexName(QStringLiteral("byName"));
    EXPECT_EQ(tab->FieldByName(kNm)->AsString(), QStringLiteral("a"));
}

TEST(VemtMemTable, AFailureWhileSwitchingTheIndexClosesTheTable)
{
    auto tab = MakeTabRes();
    tab->SetFiltered(false);
    tab->IndexDefs().Add(QStringLiteral("byName"), kNm);
    tab->IndexDefs().Add(QStringLiteral("byAmount"), kSdt, {ixDescending});
    tab->Open();
    for (const char *name : {"d", "b", "a", "c"})
        AddRes(*tab, 0, QString::fromLatin1(name), name[0] - 'a', 0);

    // The filter fails while the current record is looked up in the new order.
    tab->SetFiltered(true);
    bool fail = false;
    tab->SetOnFilterRecord([&](TDataSet *, bool &) {
        if (fail)
            throw EDatabaseError(QStringLiteral("filter failed"));
    });
    fail = true;
    EXPECT_THROW(tab->SetIndexName(QStringLiteral("byName")), EDatabaseError);
    EXPECT_FALSE(tab->Active());
    EXPECT_EQ(tab->State(), dsInactive);
    fail = false;
    tab->Open(); // the next open starts afresh
    for (const char *name : {"d", "b", "a", "c"})
        AddRes(*tab, 0, QString::fromLatin1(name), name[0] - 'a', 0);
    tab->SetIndexName(QStringLiteral("byName"));
    EXPECT_EQ(Column(*tab, kNm), QStringList({"a", "b", "c", "d"}));

    // A pending edit that cannot be posted fails the switch the same way.
    tab->Edit();
    tab->FieldByName(kNm)->SetAsString(QStringLiteral("e"));
    tab->BeforePost = [](TDataSet *) { throw EDatabaseError(QStringLiteral("refused")); };
    EXPECT_THROW(tab->SetIndexName(QStringLiteral("byAmount")), EDatabaseError);
    EXPECT_EQ(tab->State(), dsInactive);
    tab->BeforePost = nullptr;
    tab->Open();
    EXPECT_EQ(tab->RecordCount(), 0);
}

TEST(VemtMemTable, AClashWithAUniqueIndexLeavesTheRecordUnposted)
{
    auto tab = MakeTabRes();
    tab->SetEnableIndexes(true);
    tab->IndexDefs().Add(QStringLiteral("byId"), kId, {ixUnique});
    tab->Open();
    AddRes(*tab, 1, QStringLiteral("a"), 1, 0);
    AddRes(*tab, 2, QStringLiteral("b"), 2, 0);
    EXPECT_EQ(MessageOf([&] { AddRes(*tab, 1, QStringLiteral("c"), 3, 0); }),
              QStringLiteral("Duplicate index value. Operation aborted."));
    EXPECT_EQ(tab->State(), dsInsert);
    tab->Cancel();
    tab->First();
    tab->Edit();
    tab->FieldByName(kId)->SetAsInteger(2);
    EXPECT_THROW(tab->Post(), EMemTableDupKey);
    tab->Cancel();
    EXPECT_EQ(Column(*tab, kId), QStringList({"1", "2"}));
    tab->First();
    tab->Edit(); // its own key is no clash
    tab->FieldByName(kNm)->SetAsString(QStringLiteral("a2"));
    tab->Post();
    EXPECT_EQ(Column(*tab, kNm), QStringList({"a2", "b"}));
}

// A post that fails while the indexes take the new record (here its name
// cannot be compared under an unknown locale) leaves nothing in the store: a
// later sort does not bring up a stray copy, and the retried post adds one.
TEST(VemtMemTable, APostThatFailsInTheIndexesLeavesNoRecordBehind)
{
    auto lim = MakeTabLim();
    lim->Open();
    lim->Sort();
    for (const char *itm : {"Авто", "Еда"}) {
        lim->Append();
        lim->FieldByName(QStringLiteral("itm"))->SetAsString(S(itm));
        lim->Post();
    }
    lim->SetLocaleID(0x0409);
    lim->Append();
    lim->FieldByName(QStringLiteral("itm"))->SetAsString(S("Жильё"));
    EXPECT_EQ(MessageOf([&] { lim->Post(); }), QStringLiteral("Invalid locale. 1033"));
    EXPECT_EQ(lim->State(), dsInsert);
    lim->SetLocaleID(1024);
    lim->Post();
    lim->Sort();
    EXPECT_EQ(Column(*lim, QStringLiteral("itm")), QStringList({S("Авто"), S("Еда"), S("Жильё")}));

    lim->SetLocaleID(0x0409);
    lim->Append();
    lim->FieldByName(QStringLiteral("itm"))->SetAsString(S("Дача"));
    EXPECT_THROW(lim->Post(), EMemTableInvalidLocale);
    lim->Cancel();
    lim->SetLocaleID(1024);
    lim->SetSortFields(QString());
    lim->Sort();
    EXPECT_EQ(lim->RecordCount(), 3);
    EXPECT_FALSE(lim->Locate(QStringLiteral("itm"), Variant(S("Дача")), {}));
}

TEST(VemtMemTable, BookmarkOrderFollowsTheCurrentIndex)
{
    auto tab = MakeTabRes();
    tab->SetEnableIndexes(true);
    tab->Open();
    AddRes(*tab, 1, QStringLiteral("b"), 1, 0);
    AddRes(*tab, 2, QStringLiteral("a"), 2, 0);
    const TBookmark second = tab->GetBookmark();
    tab->First();
    const TBookmark first = tab->GetBookmark();
    EXPECT_EQ(tab->CompareBookmarks(first, second), -1);
    // A record inserted in front has a higher slot but comes first.
    AddRes(*tab, 3, QStringLiteral("c"), 3, 0, false);
    const TBookmark front = tab->GetBookmark();
    EXPECT_EQ(tab->RecNo(), 1);
    EXPECT_EQ(tab->CompareBookmarks(front, first), -1);
    tab->SetSortFields(kNm);
    tab->Sort();
    EXPECT_EQ(tab->CompareBookmarks(first, second), 1);
    EXPECT_EQ(tab->CompareBookmarks(front, first), 1);
    tab->GotoBookmark(first);
    tab->Edit();
    tab->FieldByName(kNm)->SetAsString(QStringLiteral("z"));
    tab->Post();
    EXPECT_EQ(Column(*tab, kNm), QStringList({"a", "c", "z"}));
}

TEST(VemtMemTable, FilteredCountWalksAndRestoresTheCursorWhileRecNoCountsHiddenRecords)
{
    auto tab = MakeTabRes();
    tab->Open();
    for (int i = 1; i <= 10; ++i)
        AddRes(*tab, i, QString::number(i), i, 0);
    tab->SetRecNo(5);
    tab->SetOnFilterRecord([](TDataSet *ds, bool &accept) { accept = ds->FieldByName(kId)->AsInteger() >= 8; });
    EXPECT_EQ(tab->RecordCount(), 3);
    EXPECT_EQ(tab->FieldByName(kNm)->AsString(), QStringLiteral("5"));
    tab->First();
    EXPECT_EQ(tab->RecNo(), 8);
    EXPECT_FALSE(tab->IsSequenced());
    // Setting RecNo goes to that position; a hidden record is not reached.
    tab->SetRecNo(10);
    EXPECT_EQ(tab->FieldByName(kNm)->AsString(), QStringLiteral("10"));
    tab->SetRecNo(4);
    EXPECT_EQ(tab->RecNo(), 10);
    tab->SetRecNo(9);
    EXPECT_EQ(tab->FieldByName(kNm)->AsString(), QStringLiteral("9"));
    tab->SetFiltered(false);
    EXPECT_EQ(tab->RecordCount(), 10);
    EXPECT_TRUE(tab->IsSequenced());
}

TEST(VemtMemTable, PersistentAndCalculatedFieldsOfTbDays)
{
    TVemtMemTable days;
    auto *date = days.AddField<TDateTimeField>(QStringLiteral("Date_Real"));
    auto *dt = days.AddField<TFloatField>(QStringLiteral("Dt"));
    auto *ct = days.AddField<TFloatField>(QStringLiteral("Ct"));
    auto *rest = days.AddField<TFloatField>(QStringLiteral("Rest"));
    auto *net = days.AddField<TFloatField>(QStringLiteral("Net"), fkCalculated);
    days.OnCalcFields = [&](TDataSet *) { net->SetAsFloat(dt->AsFloat() - ct->AsFloat()); };
    days.Open();
    EXPECT_EQ(days.FieldDefs().Count(), 4);
    double balance = 0;
    for (int day = 1; day <= 3; ++day) {
        balance += day * 10 - day;
        days.Append();
        date->SetAsDateTime(EncodeDate(2005, 3, day) + 0.5);
        dt->SetAsFloat(day * 10);
        ct->SetAsFloat(day);
        rest->SetAsFloat(balance);
        days.Post();
    }
    days.First();
    EXPECT_DOUBLE_EQ(date->AsDateTime(), EncodeDate(2005, 3, 1) + 0.5);
    EXPECT_DOUBLE_EQ(net->AsFloat(), 9);
    days.Last();
    EXPECT_DOUBLE_EQ(net->AsFloat(), 27);
    EXPECT_DOUBLE_EQ(rest->AsFloat(), 54);
    days.Close();
    days.Open(); // persistent fields survive a close; the rows do not
    EXPECT_EQ(days.FieldCount(), 5);
    EXPECT_TRUE(days.IsEmpty());
}

TEST(VemtMemTable, ReminderListIsEmptiedByReopeningAndKeepsAppendOrder)
{
    TVemtMemTable rem;
    rem.SetName(QStringLiteral("Tb_Rem"));
    rem.FieldDefs().Add(QStringLiteral("Date_Rem"), ftDate);
    rem.FieldDefs().Add(QStringLiteral("Rem"), ftString, 100);
    rem.FieldDefs().Add(QStringLiteral("id_person"), ftSmallint);
    rem.FieldDefs().Add(QStringLiteral("id_family"), ftSmallint);
    rem.FieldDefs().Add(QStringLiteral("Date_Create"), ftDateTime);
    rem.FieldDefs().Add(QStringLiteral("Knd"), ftWord);
    for (int build = 0; build < 2; ++build) {
        rem.Close();
        rem.Open();
        ASSERT_TRUE(rem.IsEmpty());
        const std::pair<int, const char *> rows[] = {{1, "Иванов (123)"}, {1, "Петров"}, {2, "Маша (Иванов)"},
                                                      {3, "Позвонить [Фирма]"}};
        for (const auto &[kind, text] : rows) {
            rem.Append();
            rem.FieldByName(QStringLiteral("Date_Rem"))->SetAsDateTime(EncodeDate(1970, 12, 7));
            rem.FieldByName(QStringLiteral("Rem"))->SetAsString(QString::fromUtf8(text));
            rem.FieldByName(QStringLiteral("Knd"))->SetAsInteger(kind);
            if (kind == 3)
                rem.FieldByName(QStringLiteral("Date_Create"))->SetAsDateTime(EncodeDate(2005, 1, 2) + 0.25);
            rem.Post();
        }
        EXPECT_EQ(rem.RecordCount(), 4);
        EXPECT_EQ(Column(rem, QStringLiteral("Knd")), QStringList({"1", "1", "2", "3"}));
        rem.Last();
        EXPECT_DOUBLE_EQ(rem.FieldByName(QStringLiteral("Date_Create"))->AsDateTime(), EncodeDate(2005, 1, 2) + 0.25);
        EXPECT_TRUE(rem.FieldByName(QStringLiteral("id_family"))->IsNull());
        rem.First();
        EXPECT_DOUBLE_EQ(rem.FieldByName(QStringLiteral("Date_Rem"))->AsDateTime(), EncodeDate(1970, 12, 7));
    }
}

TEST(VemtMemTable, DesignActivationDecidesWhetherAStoredActiveOpensWhileLoading)
{
    for (bool design : {true, false}) {
        auto tab = MakeTabRes();
        tab->SetDesignActivation(design);
        tab->BeginLoading();
        tab->SetActive(true);
        tab->Loaded();
        EXPECT_EQ(tab->Active(), design);
    }
}

// Long texts kept out of line (Performance other than mtpfFast) and memos:
// written, posted, edited, cancelled, sorted, filtered and located; the
// sanitizer build checks that no value block leaks.
TEST(VemtMemTable, OutOfLineTextsAndMemos)
{
    TVemtMemTable t;
    t.SetPerformance(mtpfBalanced);
    t.FieldDefs().Add(QStringLiteral("nm"), ftString, 40);
    t.FieldDefs().Add(QStringLiteral("note"), ftMemo);
    t.FieldDefs().Add(QStringLiteral("n"), ftInteger);
    t.SetSortFields(QStringLiteral("nm"));
    t.Open();
    ASSERT_TRUE(t.Store().IsVarLength(1));
    TField *nm = t.FieldByName(QStringLiteral("nm"));
    TField *note = t.FieldByName(QStringLiteral("note"));
    const char *names[] = {"Продукты:Молоко и сыр", "Авто", "Связь:Телефон домашний", "Дом"};
    int n = 0;
    for (const char *name : names) {
        t.Append();
        nm->SetAsString(QString::fromUtf8(name));
        if (n % 2 == 0)
            note->SetAsString(QStringLiteral("заметка %1").arg(n));
        t.FieldByName(QStringLiteral("n"))->SetAsInteger(n++);
        t.Post();
        EXPECT_EQ(nm->AsString(), QString::fromUtf8(name));
    }
    t.Sort();
    EXPECT_EQ(Column(t, QStringLiteral("n")), QStringList({"1", "3", "0", "2"}));
    ASSERT_TRUE(t.Locate(QStringLiteral("nm"), Variant(S("Связь:Телефон домашний")), {}));
    EXPECT_EQ(note->AsString(), QStringLiteral("заметка 2"));
    ASSERT_TRUE(t.Locate(QStringLiteral("nm"), Variant(S("Прод")), {loPartialKey}));
    EXPECT_FALSE(note->IsNull());

    t.Edit();
    nm->SetAsString(QString(60, u'я'));
    note->Clear();
    EXPECT_EQ(nm->AsString(), QString(40, u'я'));
    t.Cancel();
    EXPECT_EQ(nm->AsString(), S("Продукты:Молоко и сыр"));
    EXPECT_EQ(note->AsString(), QStringLiteral("заметка 0"));
    t.Edit();
    nm->SetAsString(S("Яблоки"));
    note->Clear();
    t.Post();
    EXPECT_EQ(Column(t, QStringLiteral("nm")).last(), S("Яблоки"));
    t.Last();
    EXPECT_TRUE(note->IsNull());

    t.SetFilter(QStringLiteral("nm like '*о*[мй]'"));
    t.SetFiltered(true);
    EXPECT_EQ(Column(t, QStringLiteral("n")), QStringList({"3", "2"}));
    t.SetFiltered(false);
    t.First();
    t.Delete();
    t.Insert();
    nm->SetAsString(QStringLiteral("Новая"));
    t.Post();
    EXPECT_EQ(t.RecordCount(), 4);
    t.EmptyTable();
    t.Append();
    nm->SetAsString(QStringLiteral("x"));
    note->SetAsString(QStringLiteral("y"));
    // Closed with a pending insert that owns value blocks.
    t.Close();
}

// Random appends, inserts, edits and deletes with a sort index current,
// checked after every step against a plain vector sorted the same way
// (records with equal keys keep the order in which they reached the key).
TEST(VemtMemTable, SortedTableAgreesWithAPlainSortedVector)
{
    for (bool upkeep : {true, false}) {
        SCOPED_TRACE(upkeep);
        auto tab = MakeTabRes();
        tab->SetFiltered(false);
        tab->SetEnableIndexes(upkeep);
        tab->SetSortFields(kSdt);
        tab->Open();
        tab->Sort();
        std::mt19937 random(upkeep ? 7 : 11);
        std::vector<std::pair<int, int>> reference; // (sdt, id)
        int nextId = 0;
        for (int step = 0; step < 300; ++step) {
            const int action = static_cast<int>(random() % 10);
            if (action < 5 || reference.empty()) {
                const int key = static_cast<int>(random() % 40);
                AddRes(*tab, nextId, QString(), key, 0, action % 2 == 0);
                reference.emplace_back(key, nextId++);
            } else if (action < 8) {
                tab->SetRecNo(1 + static_cast<int>(random() % reference.size()));
                const int id = tab->FieldByName(kId)->AsInteger();
                const int key = static_cast<int>(random() % 40);
                tab->Edit();
                tab->FieldByName(kSdt)->SetAsFloat(key);
                tab->Post();
                auto it = std::find_if(reference.begin(), reference.end(), [&](auto &r) { return r.second == id; });
                reference.erase(it);
                reference.emplace_back(key, id);
            } else {
                tab->SetRecNo(1 + static_cast<int>(random() % reference.size()));
                const int id = tab->FieldByName(kId)->AsInteger();
                tab->Delete();
                reference.erase(
                    std::find_if(reference.begin(), reference.end(), [&](auto &r) { return r.second == id; }));
            }
            std::vector<std::pair<int, int>> sorted = reference;
            std::stable_sort(sorted.begin(), sorted.end(), [](auto &a, auto &b) { return a.first < b.first; });
            std::vector<int> expectedKeys;
            for (auto &r : sorted)
                expectedKeys.push_back(r.first);
            std::vector<int> keys;
            std::vector<int> ids;
            tab->First();
            while (!tab->Eof()) {
                keys.push_back(tab->FieldByName(kSdt)->AsInteger());
                ids.push_back(tab->FieldByName(kId)->AsInteger());
                tab->Next();
            }
            ASSERT_EQ(keys, expectedKeys) << "step " << step;
            ASSERT_EQ(tab->RecordCount(), static_cast<int>(reference.size()));
            std::sort(ids.begin(), ids.end());
            std::vector<int> expectedIds;
            for (auto &r : reference)
                expectedIds.push_back(r.second);
            std::sort(expectedIds.begin(), expectedIds.end());
            ASSERT_EQ(ids, expectedIds) << "step " << step;
        }
    }
}

// Random appends, inserts, edits, deletes, sorts, filter and upkeep switches,
// EmptyTable and Locate on TabRes with a grid-sized buffer window, checked
// after every step against a plain list: the visible rows (their count, RecNo,
// the ids, the sort order) and the posted row being current.
TEST(VemtMemTable, RandomWorkAgreesWithAPlainList)
{
    struct Row {
        int id;
        QString nm;
        int sdt;
    };
    for (unsigned seed = 1; seed <= 60; ++seed) {
        SCOPED_TRACE(seed);
        auto tab = MakeTabRes();
        tab->SetFiltered(false);
        TDataSource source;
        TDataLink link;
        source.SetDataSet(tab.get());
        link.SetDataSource(&source);
        link.SetBufferCount(1 + static_cast<int>(seed % 6));
        tab->Open();
        std::mt19937 random(seed);
        std::vector<Row> rows;
        int nextId = 0;
        QString sortField;
        bool descending = false;
        bool filtered = false;
        const auto visible = [&](const Row &r) { return !filtered || r.sdt > 20; };
        for (int step = 0; step < 200; ++step) {
            SCOPED_TRACE(step);
            const int action = static_cast<int>(random() % 20);
            if (action < 8 || rows.empty()) {
                const Row row{nextId++, QStringLiteral("n%1").arg(random() % 7), static_cast<int>(random() % 40)};
                if (random() % 2)
                    tab->SetRecNo(1 + static_cast<int>(random() % std::max(1, tab->RecordCount())));
                AddRes(*tab, row.id, row.nm, row.sdt, 0, random() % 2 == 0);
                if (visible(row)) {
                    ASSERT_EQ(tab->FieldByName(kId)->AsInteger(), row.id);
                }
                rows.push_back(row);
            } else if (action < 13) {
                tab->SetRecNo(1 + static_cast<int>(random() % std::max(1, tab->RecordCount())));
                if (tab->IsEmpty())
                    continue;
                const int id = tab->FieldByName(kId)->AsInteger();
                const auto it = std::find_if(rows.begin(), rows.end(), [&](const Row &r) { return r.id == id; });
                if (action < 11) {
                    it->sdt = static_cast<int>(random() % 40);
                    tab->Edit();
                    tab->FieldByName(kSdt)->SetAsFloat(it->sdt);
                    tab->Post();
                } else {
                    tab->Delete();
                    rows.erase(it);
                }
            } else if (action < 15) {
                const int kind = static_cast<int>(random() % 4);
                sortField = kind == 0 ? QString() : (kind == 1 ? kSdt : kNm);
                descending = kind == 3 || (kind == 1 && random() % 2);
                tab->SetSortFields(sortField);
                tab->SetSortOptions(descending ? TVemtMemTableCompareOptions(mtcoDescending) : 0);
                tab->Sort();
            } else if (action < 16) {
                tab->SetEnableIndexes(!tab->EnableIndexes());
            } else if (action < 17) {
                filtered = !filtered;
                tab->SetFilter(filtered ? QStringLiteral("sdt>'20'") : QString());
                tab->SetFiltered(filtered);
            } else if (action < 18) {
                if (random() % 5 == 0) {
                    tab->EmptyTable();
                    rows.clear();
                }
            } else {
                const int value = static_cast<int>(random() % 40);
                const bool expected = std::any_of(rows.begin(), rows.end(),
                                                  [&](const Row &r) { return r.sdt == value && visible(r); });
                ASSERT_EQ(tab->Locate(kSdt, Variant(double(value)), {}), expected);
                if (expected) {
                    ASSERT_EQ(tab->FieldByName(kSdt)->AsInteger(), value);
                }
            }

            std::vector<int> expectedIds;
            for (const Row &r : rows)
                if (visible(r))
                    expectedIds.push_back(r.id);
            ASSERT_EQ(tab->RecordCount(), static_cast<int>(expectedIds.size()));
            std::vector<int> ids;
            QStringList keys;
            int lastRecNo = 0;
            tab->First();
            while (!tab->Eof()) {
                if (!filtered) {
                    ASSERT_EQ(tab->RecNo(), static_cast<int>(ids.size()) + 1);
                }
                ASSERT_GT(tab->RecNo(), lastRecNo);
                lastRecNo = tab->RecNo();
                ids.push_back(tab->FieldByName(kId)->AsInteger());
                keys << tab->FieldByName(sortField.isEmpty() ? kSdt : sortField)->AsString();
                tab->Next();
            }
            std::sort(ids.begin(), ids.end());
            std::sort(expectedIds.begin(), expectedIds.end());
            ASSERT_EQ(ids, expectedIds);
            for (qsizetype i = 1; !sortField.isEmpty() && i < keys.size(); ++i) {
                const int c = sortField == kNm ? QString::compare(keys[i - 1], keys[i])
                                               : keys[i - 1].toInt() - keys[i].toInt();
                ASSERT_LE(descending ? -c : c, 0) << "row " << i;
            }
        }
    }
}

} // namespace
} // namespace zorbel
