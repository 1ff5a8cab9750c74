// The dataset framework: navigation, editing, calculated and lookup fields, filters, locate.
#include "DataSetTestSupport.h"

#include "platform/rtl/Exceptions.h"

using namespace zorbel;
using namespace zorbel::test;
using testing::ElementsAre;

namespace {

// Opens ds with a grid-like link asking for `rows` buffers (1 = no link).
struct Linked {
    TDataSource source;
    RecordingLink link;
    Linked(TDataSet &ds, int rows)
    {
        source.SetDataSet(&ds);
        link.SetBufferCount(rows);
        link.SetDataSource(&source);
    }
};

} // namespace

TEST(DataSetNavigation, EmptyDatasetIsAtBothEndsWhateverMoves)
{
    People ds;
    ds.Open();
    EXPECT_TRUE(ds.Bof());
    EXPECT_TRUE(ds.Eof());
    EXPECT_TRUE(ds.IsEmpty());
    EXPECT_EQ(ds.RecordCount(), 0);
    EXPECT_EQ(ds.RecNo(), -1);
    ds.Next();
    ds.Prior();
    ds.Last();
    ds.First();
    EXPECT_EQ(ds.MoveBy(5), 0);
    EXPECT_TRUE(ds.Bof() && ds.Eof() && ds.IsEmpty());
    EXPECT_TRUE(ds.FieldByName(QStringLiteral("ID"))->IsNull());
    EXPECT_TRUE(ds.Bookmark().isEmpty());
    EXPECT_RAISES(ds.Delete(), EDatabaseError, "Действие невозможно: таблица пуста");
    // Editing an empty dataset starts an insert.
    ds.Edit();
    EXPECT_EQ(ds.State(), dsInsert);
    ds.Cancel();
    EXPECT_EQ(ds.RecordCount(), 0);
    ds.Close();
    EXPECT_RAISES(ds.First(), EDatabaseError, "Cannot perform this operation on a closed dataset");
}

TEST(DataSetNavigation, WalksBothWaysThroughTheBufferRing)
{
    for (int rows : {1, 3, 20}) {
        SCOPED_TRACE(rows);
        People ds;
        Linked view(ds, rows);
        ds.Open();
        ds.FillNumbered(10);
        EXPECT_THAT(ds.IdsForward(), ElementsAre(1, 2, 3, 4, 5, 6, 7, 8, 9, 10));
        EXPECT_TRUE(ds.Eof());
        EXPECT_EQ(ds.Id(), 10);
        ds.First();
        EXPECT_TRUE(ds.Bof());
        EXPECT_EQ(ds.MoveBy(4), 4);
        EXPECT_FALSE(ds.Bof() || ds.Eof());
        EXPECT_EQ(ds.Id(), 5);
        EXPECT_EQ(ds.RecNo(), 5);
        EXPECT_EQ(ds.MoveBy(100), 5);
        EXPECT_TRUE(ds.Eof());
        EXPECT_EQ(ds.MoveBy(-100), -9);
        EXPECT_TRUE(ds.Bof());
        EXPECT_EQ(ds.Id(), 1);
        std::vector<int> back;
        for (ds.Last(); !ds.Bof(); ds.Prior())
            back.push_back(ds.Id());
        EXPECT_THAT(back, ElementsAre(10, 9, 8, 7, 6, 5, 4, 3, 2, 1));
        EXPECT_EQ(ds.RecordCount(), 10);
    }
}

TEST(DataSetNavigation, OpenAndCloseEventsAndCountOfClosedDataset)
{
    People ds;
    EventLog log;
    log.Attach(ds);
    EXPECT_RAISES(ds.RecordCount(), EDatabaseError, "Cannot perform this operation on a closed dataset");
    ds.Open();
    EXPECT_THAT(log.Take(), ElementsAre("BeforeOpen", "AfterOpen"));
    ds.FillNumbered(2);
    log.Take();
    ds.Close();
    ds.Open();
    // Rows of this dataset survive a close; opening on data scrolls to it.
    EXPECT_THAT(log.Take(), ElementsAre("BeforeClose", "AfterClose", "BeforeOpen", "AfterOpen", "AfterScroll"));
    EXPECT_EQ(ds.Id(), 1);
    EXPECT_EQ(ds.FieldCount(), 3);
}

TEST(DataSetEditing, InsertGoesBeforeTheCurrentRowAppendToTheEnd)
{
    People ds;
    ds.Open();
    ds.FillNumbered(3);
    ds.First();
    ds.Next();
    ds.Insert();
    ds.FieldByName(QStringLiteral("ID"))->SetAsInteger(9);
    ds.Post();
    EXPECT_EQ(ds.Id(), 9);
    EXPECT_EQ(ds.RecNo(), 2);
    ds.Append();
    ds.FieldByName(QStringLiteral("ID"))->SetAsInteger(10);
    ds.Post();
    EXPECT_EQ(ds.Id(), 10);
    EXPECT_THAT(ds.IdsForward(), ElementsAre(1, 9, 2, 3, 10));
    // Insert into an empty dataset.
    People empty;
    empty.Open();
    empty.Insert();
    empty.FieldByName(QStringLiteral("ID"))->SetAsInteger(1);
    empty.Post();
    EXPECT_EQ(empty.RecordCount(), 1);
    EXPECT_EQ(empty.RecNo(), 1);
}

TEST(DataSetEditing, EventOrderOfEachEditingStep)
{
    People ds;
    ds.Open();
    ds.FillNumbered(3);
    ds.First();
    EventLog log;
    log.Attach(ds);

    ds.Insert();
    EXPECT_THAT(log.Take(), ElementsAre("BeforeInsert", "BeforeScroll", "OnNewRecord", "AfterInsert", "AfterScroll"));
    ds.FieldByName(QStringLiteral("ID"))->SetAsInteger(7);
    ds.Post();
    EXPECT_THAT(log.Take(), ElementsAre("BeforePost", "AfterPost"));

    ds.Edit();
    EXPECT_THAT(log.Take(), ElementsAre("BeforeEdit", "AfterEdit"));
    ds.Cancel();
    EXPECT_THAT(log.Take(), ElementsAre("BeforeCancel", "AfterCancel"));

    ds.Append();
    log.Take();
    ds.Cancel();
    EXPECT_THAT(log.Take(), ElementsAre("BeforeCancel", "BeforeScroll", "AfterCancel", "AfterScroll"));
    EXPECT_EQ(ds.Id(), 3); // a cancelled append returns to the last row

    ds.Delete();
    EXPECT_THAT(log.Take(), ElementsAre("BeforeDelete", "BeforeScroll", "AfterDelete", "AfterScroll"));

    ds.Refresh();
    EXPECT_THAT(log.Take(), ElementsAre("BeforeRefresh", "AfterRefresh"));
    EXPECT_THAT(ds.IdsForward(), ElementsAre(7, 1, 2));
}

TEST(DataSetEditing, CancelRestoresAndCheckBrowseModePostsOnlyChanges)
{
    People ds;
    ds.Open();
    ds.FillNumbered(2);
    ds.First();
    TField *name = ds.FieldByName(QStringLiteral("Name"));
    ds.Edit();
    name->SetAsString(QStringLiteral("changed"));
    EXPECT_TRUE(ds.Modified());
    ds.Cancel();
    EXPECT_EQ(name->AsString(), QStringLiteral("N1"));

    ds.Edit();
    name->SetAsString(QStringLiteral("kept"));
    ds.CheckBrowseMode();
    EXPECT_EQ(ds.State(), dsBrowse);
    EXPECT_EQ(name->AsString(), QStringLiteral("kept"));

    // An untouched insert is dropped by CheckBrowseMode, also by navigation.
    ds.Append();
    ds.First();
    EXPECT_EQ(ds.RecordCount(), 2);
    // OnNewRecord values do not count as a change.
    ds.OnNewRecord = [](TDataSet *d) { d->FieldByName(QStringLiteral("ID"))->SetAsInteger(99); };
    ds.Append();
    EXPECT_EQ(ds.Id(), 99);
    EXPECT_FALSE(ds.Modified());
    ds.CheckBrowseMode();
    EXPECT_EQ(ds.RecordCount(), 2);
}

TEST(DataSetEditing, RefusedWritesAndFailedPostsKeepTheState)
{
    People ds;
    ds.Open();
    ds.FillNumbered(1);
    TField *name = ds.FieldByName(QStringLiteral("Name"));
    EXPECT_RAISES(name->SetAsString(QStringLiteral("x")), EDatabaseError, "Dataset is not in edit mode.");
    EXPECT_RAISES(ds.Post(), EDatabaseError, "Таблица не в режиме правки или добавления");
    name->SetReadOnly(true);
    name->SetDisplayLabel(QStringLiteral("Имя"));
    ds.Edit();
    EXPECT_RAISES(name->SetAsString(QStringLiteral("x")), EDatabaseError, "Field Имя is read only");
    ds.Cancel();

    ds.FieldByName(QStringLiteral("ID"))->SetRequired(true);
    ds.Append();
    EXPECT_RAISES(ds.Post(), EDatabaseError, "Поле 'ID' должно быть заполнено");
    EXPECT_EQ(ds.State(), dsInsert);
    ds.BeforePost = [](TDataSet *) { Abort(); };
    ds.FieldByName(QStringLiteral("ID"))->SetAsInteger(5);
    EXPECT_THROW(ds.Post(), EAbort);
    EXPECT_EQ(ds.State(), dsInsert);
    ds.Cancel();
    EXPECT_EQ(ds.RecordCount(), 1);
}

TEST(DataSetBookmarks, ReturnToARowAndRefuseADeletedOne)
{
    People ds;
    ds.Open();
    ds.FillNumbered(5);
    ds.First();
    ds.MoveBy(2);
    const TBookmark third = ds.GetBookmark();
    ds.Next();
    const TBookmark fourth = ds.GetBookmark();
    ds.First();
    ds.GotoBookmark(third);
    EXPECT_EQ(ds.Id(), 3);
    EXPECT_LT(ds.CompareBookmarks(third, fourth), 0);
    EXPECT_TRUE(ds.BookmarkValid(third));

    ds.Delete();
    EXPECT_EQ(ds.Id(), 4);
    EXPECT_FALSE(ds.BookmarkValid(third));
    EXPECT_RAISES(ds.GotoBookmark(third), EDatabaseError, "Запись не найдена");

    // Deleting the last row moves to the new last; deleting the only row empties.
    ds.Last();
    ds.Delete();
    EXPECT_EQ(ds.Id(), 4);
    EXPECT_THAT(ds.IdsForward(), ElementsAre(1, 2, 4));
    People one;
    one.Open();
    one.FillNumbered(1);
    one.Delete();
    EXPECT_TRUE(one.IsEmpty() && one.Bof() && one.Eof());
    TBookmark b = ds.GetBookmark();
    ds.FreeBookmark(b);
    EXPECT_TRUE(b.isEmpty());
}

namespace {

// Qty Integer, Price Float and the calculated Total = Qty * Price.
class Lines : public TVectorDataSet {
public:
    TIntegerField *Qty;
    TFloatField *Price;
    TFloatField *Total;
    std::vector<TDataSetState> statesSeen;
    Lines()
    {
        FieldDefs().Add(QStringLiteral("Qty"), ftInteger);
        FieldDefs().Add(QStringLiteral("Price"), ftFloat);
        Qty = AddField<TIntegerField>(QStringLiteral("Qty"));
        Price = AddField<TFloatField>(QStringLiteral("Price"));
        Total = AddField<TFloatField>(QStringLiteral("Total"), fkCalculated);
        OnCalcFields = [this](TDataSet *) {
            statesSeen.push_back(State());
            Total->SetAsFloat(Qty->AsInteger() * Price->AsFloat());
        };
    }
};

} // namespace

TEST(DataSetCalcFields, ComputedOnFetchAndOnChangeWhileEditing)
{
    Lines ds;
    ds.Open();
    EXPECT_EQ(ds.Total->FieldNo(), -1);
    EXPECT_GT(ds.CalcFieldsSize(), 0);
    ds.Append();
    ds.Qty->SetAsInteger(3);
    ds.Price->SetAsFloat(2.5);
    EXPECT_DOUBLE_EQ(ds.Total->AsFloat(), 7.5);
    ds.Post();
    ds.Append();
    ds.Qty->SetAsInteger(2);
    ds.Price->SetAsFloat(4);
    ds.Post();
    ds.First();
    EXPECT_DOUBLE_EQ(ds.Total->AsFloat(), 7.5);
    ds.Next();
    EXPECT_DOUBLE_EQ(ds.Total->AsFloat(), 8.0);
    for (TDataSetState s : ds.statesSeen)
        EXPECT_EQ(s, dsCalcFields);
    EXPECT_FALSE(ds.Total->CanModify());

    ds.SetAutoCalcFields(false);
    ds.Edit();
    ds.Qty->SetAsInteger(10);
    EXPECT_DOUBLE_EQ(ds.Total->AsFloat(), 8.0);
    ds.Post();
    EXPECT_DOUBLE_EQ(ds.Total->AsFloat(), 40.0);
}

TEST(DataSetLookupFields, KeyFieldsAreResolvedAgainWhenTheFieldsOrTheKeyChange)
{
    People persons;
    persons.Open();
    persons.AddRow(1, QStringLiteral("Анна"), 0);
    persons.AddRow(2, QStringLiteral("Борис"), 0);

    TVectorDataSet ops;
    ops.FieldDefs().Add(QStringLiteral("PersonId"), ftSmallint);
    ops.FieldDefs().Add(QStringLiteral("OtherId"), ftSmallint);
    ops.AddField<TSmallintField>(QStringLiteral("PersonId"));
    ops.AddField<TSmallintField>(QStringLiteral("OtherId"));
    auto *personName = ops.AddField<TStringField>(QStringLiteral("PersonName"), fkLookup, 10);
    personName->SetLookupDataSet(&persons);
    personName->SetKeyFields(QStringLiteral("PersonId"));
    personName->SetLookupKeyFields(QStringLiteral("ID"));
    personName->SetLookupResultField(QStringLiteral("Name"));
    const auto fill = [&] {
        ops.Open();
        ops.Append();
        ops.FieldByName(QStringLiteral("PersonId"))->SetAsInteger(1);
        ops.FieldByName(QStringLiteral("OtherId"))->SetAsInteger(2);
        ops.Post();
        ops.First();
    };
    fill();
    EXPECT_EQ(personName->AsString(), QStringLiteral("Анна"));
    ops.Close();
    // The key field replaced by a new field object of the same name.
    ops.RemoveField(ops.FieldByName(QStringLiteral("PersonId")));
    ops.AddField<TSmallintField>(QStringLiteral("PersonId"));
    fill();
    EXPECT_EQ(personName->AsString(), QStringLiteral("Анна"));
    ops.Close();
    // Another key named.
    personName->SetKeyFields(QStringLiteral("OtherId"));
    fill();
    EXPECT_EQ(personName->AsString(), QStringLiteral("Борис"));
}

TEST(DataSetLookupFields, ShowTheLookedUpValueAndARenameAfterRefresh)
{
    People persons;
    persons.Open();
    persons.AddRow(1, QStringLiteral("Анна"), 0);
    persons.AddRow(2, QStringLiteral("Борис"), 0);
    persons.First();

    TVectorDataSet ops;
    ops.FieldDefs().Add(QStringLiteral("PersonId"), ftSmallint);
    TField *personId = ops.AddField<TSmallintField>(QStringLiteral("PersonId"));
    auto *personName = ops.AddField<TStringField>(QStringLiteral("PersonName"), fkLookup, 10);
    personName->SetLookupDataSet(&persons);
    personName->SetKeyFields(QStringLiteral("PersonId"));
    personName->SetLookupKeyFields(QStringLiteral("ID"));
    personName->SetLookupResultField(QStringLiteral("Name"));
    ops.Open();
    for (int id : {2, 1, 0}) {
        ops.Append();
        if (id)
            personId->SetAsInteger(id);
        ops.Post();
    }
    ops.First();
    EXPECT_EQ(personName->AsString(), QStringLiteral("Борис"));
    ops.Next();
    EXPECT_EQ(personName->AsString(), QStringLiteral("Анна"));
    ops.Next();
    EXPECT_TRUE(personName->IsNull());
    // The lookup does not move the looked-up dataset.
    EXPECT_EQ(persons.Id(), 1);

    persons.Next();
    persons.Edit();
    persons.FieldByName(QStringLiteral("Name"))->SetAsString(QStringLiteral("Богдан"));
    persons.Post();
    ops.First();
    ops.Refresh();
    EXPECT_EQ(personName->AsString(), QStringLiteral("Богдан"));
}

TEST(DataSetFilter, OnFilterRecordHidesRowsFromNavigationCountAndLocate)
{
    People ds;
    ds.Open();
    ds.FillNumbered(10);
    ds.SetOnFilterRecord([](TDataSet *d, bool &accept) {
        EXPECT_EQ(d->State(), dsFilter);
        accept = d->FieldByName(QStringLiteral("ID"))->AsInteger() % 2 == 0;
    });
    EXPECT_EQ(ds.RecordCount(), 10); // not filtered yet
    ds.SetFiltered(true);
    EXPECT_EQ(ds.Id(), 2);
    EXPECT_EQ(ds.RecordCount(), 5);
    EXPECT_THAT(ds.IdsForward(), ElementsAre(2, 4, 6, 8, 10));
    EXPECT_FALSE(ds.Locate(QStringLiteral("ID"), Variant(3), {}));
    EXPECT_TRUE(ds.Locate(QStringLiteral("ID"), Variant(8), {}));
    ds.SetFiltered(false);
    EXPECT_EQ(ds.RecordCount(), 10);
}

TEST(DataSetLocate, SeveralFieldsWithOptionsAndLookupWithoutMoving)
{
    People ds;
    ds.Open();
    ds.AddRow(1, QStringLiteral("Иванов"), 10);
    ds.AddRow(2, QStringLiteral("иванова"), 20);
    ds.AddRow(3, QStringLiteral("Петров"), 20);
    ds.First();
    EventLog log;
    log.Attach(ds);

    const QString keys = QStringLiteral("Name;Amount");
    EXPECT_FALSE(ds.Locate(keys, VarArrayOf({QStringLiteral("ИВАНОВА"), 20.0}), {}));
    EXPECT_EQ(ds.Id(), 1);
    EXPECT_THAT(log.Take(), ElementsAre("BeforeScroll"));
    EXPECT_TRUE(ds.Locate(keys, VarArrayOf({QStringLiteral("ИВАНОВА"), 20.0}), {loCaseInsensitive}));
    EXPECT_EQ(ds.Id(), 2);
    EXPECT_THAT(log.Take(), ElementsAre("BeforeScroll", "AfterScroll"));
    EXPECT_TRUE(ds.Locate(keys, VarArrayOf({QStringLiteral("иван"), 20}), {loCaseInsensitive, loPartialKey}));
    EXPECT_EQ(ds.Id(), 2);
    EXPECT_TRUE(ds.Locate(QStringLiteral("Name"), QStringLiteral("Ив"), {loPartialKey}));
    EXPECT_EQ(ds.Id(), 1);
    EXPECT_FALSE(ds.Locate(QStringLiteral("Name"), QStringLiteral("Ив"), {}));

    EXPECT_RAISES(ds.Locate(keys, Variant(1), {}), EDatabaseError, "More fields than values");
    EXPECT_RAISES(ds.Locate(QStringLiteral("Nope"), Variant(1), {}), EDatabaseError, "Field 'Nope' not found");

    ds.Last();
    const Variant found = ds.Lookup(QStringLiteral("ID"), Variant(2), QStringLiteral("Name;Amount"));
    ASSERT_TRUE(found.IsArray());
    EXPECT_EQ(found[0].AsString(), QStringLiteral("иванова"));
    EXPECT_EQ(found[1].AsDouble(), 20.0);
    EXPECT_TRUE(ds.Lookup(QStringLiteral("ID"), Variant(7), QStringLiteral("Name")).IsNull());
    EXPECT_EQ(ds.Id(), 3);
    EXPECT_EQ(ds.State(), dsBrowse);

    // A lookup leaves a pending edit pending; a locate posts it first.
    ds.Edit();
    ds.FieldByName(QStringLiteral("Name"))->SetAsString(QStringLiteral("Сидоров"));
    EXPECT_EQ(ds.Lookup(QStringLiteral("ID"), Variant(1), QStringLiteral("Amount")).AsDouble(), 10.0);
    EXPECT_EQ(ds.State(), dsEdit);
    EXPECT_EQ(ds.FieldByName(QStringLiteral("Name"))->AsString(), QStringLiteral("Сидоров"));
    EXPECT_TRUE(ds.Locate(QStringLiteral("Name"), QStringLiteral("Сидоров"), {}));
    EXPECT_EQ(ds.State(), dsBrowse);
    EXPECT_EQ(ds.Id(), 3);
}

TEST(DataSetEditing, WholeRecordsFromValueListsAndClearedFields)
{
    People ds;
    ds.Open();
    ds.AppendRecord({Variant(1), Variant(QStringLiteral("Один")), Variant(1.5)});
    ds.AppendRecord({Variant(3), Variant::Null(), Variant()});
    ds.First();
    ds.Next();
    ds.InsertRecord({Variant(2), Variant(QStringLiteral("Два"))});
    EXPECT_EQ(ds.Id(), 2);
    EXPECT_THAT(ds.IdsForward(), ElementsAre(1, 2, 3));
    EXPECT_TRUE(ds.FieldByName(QStringLiteral("Name"))->IsNull());
    EXPECT_THROW(ds.AppendRecord({Variant(QStringLiteral("x"))}), EVariantError);
    EXPECT_EQ(ds.State(), dsBrowse);
    EXPECT_EQ(ds.RecordCount(), 3);

    ds.First();
    ds.Edit();
    ds.ClearFields();
    EXPECT_TRUE(ds.FieldByName(QStringLiteral("ID"))->IsNull());
    EXPECT_TRUE(ds.Modified());
    ds.Post();
    EXPECT_TRUE(ds.FieldByName(QStringLiteral("Amount"))->IsNull());
    EXPECT_EQ(ds.RecNo(), 1);

    EXPECT_EQ(ds.GetFieldNames(), (QStringList{QStringLiteral("ID"), QStringLiteral("Name"), QStringLiteral("Amount")}));
    ds.FieldByName(QStringLiteral("Amount"))->SetIndex(0);
    EXPECT_EQ(ds.Fields()[0]->FieldName(), QStringLiteral("Amount"));
    EXPECT_EQ(ds.FieldByName(QStringLiteral("ID"))->Index(), 1);
}
