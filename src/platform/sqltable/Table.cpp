// TTable: a table as a navigational dataset with keys, ranges, lookups and write-through posts.
#include "platform/sqltable/Table.h"

#include "platform/dataset/DBConsts.h"
#include "platform/sqltable/Database.h"
#include "platform/sqltable/FilterSql.h"

#include <cstring>

namespace zorbel {

TTable::~TTable()
{
    CloseForDestroy();
}

TSqliteDb &TTable::Db() const
{
    if (!Database())
        DatabaseError(QStringLiteral("У таблицы %1 нет базы данных").arg(tableName_));
    return Database()->Db();
}

void TTable::SetTableName(const QString &name)
{
    CheckInactive();
    // "Tb_Hist.DB" names the table Tb_Hist.
    tableName_ = name.endsWith(QStringLiteral(".db"), Qt::CaseInsensitive) ? name.left(name.size() - 3) : name;
}

void TTable::SetIndexFieldNames(const QString &names)
{
    ApplyOrder(names, names.isEmpty() ? indexName_ : QString());
}

void TTable::SetIndexName(const QString &name)
{
    ApplyOrder(name.isEmpty() ? indexFieldNames_ : QString(), name);
}

// An unknown field or index leaves the order as it was.
void TTable::ApplyOrder(const QString &fieldNames, const QString &indexName)
{
    if (Active()) {
        CheckBrowseMode();
        cursor_->SetOrder(fieldNames, indexName);
    }
    indexFieldNames_ = fieldNames;
    indexName_ = indexName;
    if (Active())
        First();
}

bool TTable::Exists()
{
    return TableExists(Db(), tableName_);
}

void TTable::CreateTable()
{
    CheckInactive();
    TTableDef def;
    def.Name = tableName_;
    for (int i = 0; i < FieldDefs().Count(); ++i) {
        const TFieldDef *f = FieldDefs()[i];
        const TColumnKind kind = KindOfFieldType(f->DataType());
        if (kind == TColumnKind::Unknown)
            DatabaseError(QStringLiteral("Поле «%2» типа %1 нельзя хранить в таблице")
                              .arg(FieldTypeName(f->DataType()), f->Name()));
        def.Columns.push_back({f->Name(), kind, kind == TColumnKind::Alpha ? f->Size() : 0, f->Required()});
    }
    for (int i = 0; i < indexDefs_.Count(); ++i) {
        const TIndexDef *x = indexDefs_[i];
        TTableIndexDef index;
        index.Primary = x->Options().Contains(ixPrimary);
        index.Unique = index.Primary || x->Options().Contains(ixUnique);
        index.Name = index.Primary ? QString() : x->Name();
        index.Fields = SplitFieldNames(x->Fields());
        if (index.Primary)
            def.Indexes.insert(def.Indexes.begin(), index);
        else
            def.Indexes.push_back(index);
    }
    zorbel::CreateTable(Db(), def);
}

void TTable::DeleteTable()
{
    CheckInactive();
    DropTable(Db(), tableName_);
}

void TTable::FlushBuffers()
{
    CheckBrowseMode();
}

void TTable::RestructureTextField(const QString &fieldName, int newSize)
{
    const bool wasActive = Active();
    Close();
    try {
        TSqliteDb &db = Db();
        Database()->ReleaseStatements();
        SetTextFieldWidth(db, tableName_, fieldName, newSize);
    } catch (...) {
        if (wasActive)
            Open();
        throw;
    }
    if (wasActive)
        Open();
}

void TTable::ReleaseStatements()
{
    if (cursor_)
        cursor_->ReleaseStream();
}

// ---- opening -------------------------------------------------------------------

void TTable::InternalOpen()
{
    TTableDef def = ReadTableDef(Db(), tableName_);
    InitFieldDefsFrom(def.Columns);
    indexDefs_.Clear();
    for (const TTableIndexDef &index : def.Indexes) {
        TIndexOptions options;
        if (index.Primary)
            options.Include(ixPrimary);
        if (index.Unique)
            options.Include(ixUnique);
        indexDefs_.Add(index.Name, index.Fields.join(u';'), options);
    }
    lookupPlans_.clear();
    cursor_ = std::make_unique<TTableCursor>(Db(), std::move(def));
    cursor_->SetRowCounter(counter_);
    try {
        cursor_->SetOrder(indexFieldNames_, indexName_);
        if (Filtered() && !Filter().trimmed().isEmpty()) {
            FinishOpen(); // the parser needs the fields
            ApplyFilter();
        } else {
            FinishOpen();
        }
    } catch (...) {
        cursor_.reset();
        throw;
    }
    for (TSqlRecord &key : keys_)
        key.Values.assign(size_t(FieldDefs().Count()), Variant());
    crack_ = TCrack::BeforeFirst;
}

void TTable::InternalClose()
{
    FinishClose();
    lookupPlans_.clear();
    cursor_.reset();
}

// ---- record fetching -------------------------------------------------------------

TGetResult TTable::GetRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck)
{
    try {
        switch (mode) {
        case gmCurrent:
            if (crack_ != TCrack::None || !cursor_->HasRow())
                return grError;
            break;
        case gmNext:
            if (crack_ == TCrack::AfterLast)
                return grEOF;
            if (crack_ == TCrack::BeforeFirst)
                cursor_->First();
            else
                cursor_->Next();
            if (!cursor_->HasRow() || (crack_ == TCrack::None && cursor_->Eof())) {
                crack_ = TCrack::AfterLast;
                return grEOF;
            }
            break;
        case gmPrior:
            if (crack_ == TCrack::BeforeFirst)
                return grBOF;
            if (crack_ == TCrack::AfterLast)
                cursor_->Last();
            else
                cursor_->Prior();
            if (!cursor_->HasRow() || (crack_ == TCrack::None && cursor_->Bof())) {
                crack_ = TCrack::BeforeFirst;
                return grBOF;
            }
            break;
        }
    } catch (const EDatabaseError &) {
        if (doCheck)
            throw;
        return grError;
    }
    crack_ = TCrack::None;
    FillBuffer(buffer, *cursor_->Current(), cursor_->Values());
    return grOK;
}

void TTable::InternalGotoBookmark(const void *bookmark)
{
    int64_t rowid;
    std::memcpy(&rowid, bookmark, sizeof rowid);
    cursor_->GotoBookmark(rowid);
    crack_ = TCrack::None;
}

void TTable::InternalSetToRecord(TRecordBuffer buffer)
{
    // Every row went away behind the table's back: the refresh finds none to stand on.
    if (cursor_ && !cursor_->HasRow() && !cursor_->BookmarkValid(Rec(buffer)->RowId))
        return;
    InternalGotoBookmark(&Rec(buffer)->RowId);
}

bool TTable::BookmarkValid(const TBookmark &bookmark) const
{
    if (!cursor_ || bookmark.size() != qsizetype(sizeof(int64_t)))
        return false;
    int64_t rowid;
    std::memcpy(&rowid, bookmark.constData(), sizeof rowid);
    return cursor_->BookmarkValid(rowid);
}

void TTable::SetRowCounter(TTableCursor::TRowCounter counter)
{
    counter_ = std::move(counter);
    if (cursor_)
        cursor_->SetRowCounter(counter_);
}

int TTable::GetRecordCount() const
{
    return cursor_ ? cursor_->RecordCount() : 0;
}

int TTable::GetRecNo() const
{
    if (!cursor_ || State() == dsInsert || IsEmpty())
        return -1;
    const int n = cursor_->RecNoOf(Rec(ActiveBuffer())->RowId);
    return n > 0 ? n : -1;
}

void TTable::SetRecNoImpl(int value)
{
    CheckBrowseMode();
    if (value < 1 || value > cursor_->RecordCount() || value == GetRecNo())
        return;
    DoBeforeScroll();
    cursor_->SetRecNo(value);
    ResyncToCursor();
    DoAfterScroll();
}

void TTable::ResyncToCursor()
{
    if (cursor_->HasRow()) {
        crack_ = TCrack::None;
        Resync({rmExact, rmCenter});
    } else {
        // No row to stand on (an empty table or range): the buffers empty.
        crack_ = TCrack::BeforeFirst;
        Resync({rmCenter});
    }
}

// ---- writing ---------------------------------------------------------------------

void TTable::InternalAddRecord(TRecordBuffer buffer, bool)
{
    cursor_->Insert(Rec(buffer)->Values);
    crack_ = TCrack::None;
}

void TTable::InternalPost()
{
    TSqlDataSet::InternalPost();
    TSqlRecord *rec = Rec(ActiveBuffer());
    if (State() == dsEdit) {
        cursor_->GotoBookmark(rec->RowId);
        cursor_->Update(rec->Values);
    } else {
        cursor_->Insert(rec->Values);
    }
    crack_ = TCrack::None;
}

void TTable::InternalDelete()
{
    cursor_->Delete();
    crack_ = cursor_->HasRow() ? TCrack::None : TCrack::BeforeFirst;
}

void TTable::InternalRefresh()
{
    cursor_->Refresh();
    crack_ = cursor_->HasRow() ? TCrack::None : TCrack::BeforeFirst;
}

// A row deleted behind the table's back (by a query, or by rolling back the
// transaction that inserted it) must not stop Refresh: re-read first, since
// the cursor's cached order may still hold the row, and let the active
// buffer stand for the row the cursor kept.
void TTable::DoBeforeRefresh()
{
    TSqlDataSet::DoBeforeRefresh();
    if (!cursor_ || IsEmpty())
        return;
    TSqlRecord *active = Rec(ActiveBuffer());
    cursor_->Refresh();
    if (cursor_->BookmarkValid(active->RowId))
        return;
    if (!cursor_->Current()) {
        ClearBuffers(); // no row is left: the buffers name none
        return;
    }
    if (cursor_->Current())
        active->RowId = *cursor_->Current();
    CursorPosChanged();
}

// ---- keys and ranges -----------------------------------------------------------

void TTable::BeginKeyEdit(TKeyIndex index, bool clear)
{
    CheckBrowseMode();
    if (clear)
        keys_[index].Values.assign(size_t(FieldDefs().Count()), Variant());
    keyBuffer_ = &keys_[index];
    SetState(dsSetKey);
}

void TTable::SetKey() { BeginKeyEdit(kiLookup, true); }
void TTable::EditKey() { BeginKeyEdit(kiLookup, false); }
void TTable::SetRangeStart() { BeginKeyEdit(kiRangeStart, true); }
void TTable::SetRangeEnd() { BeginKeyEdit(kiRangeEnd, true); }

void TTable::EndKeyEdit()
{
    if (State() == dsSetKey)
        SetState(dsBrowse);
}

std::vector<Variant> TTable::KeyValues(TKeyIndex index) const
{
    std::vector<Variant> values;
    for (const QString &name : cursor_->OrderFields()) {
        const int col = cursor_->FieldIndex(name);
        const Variant &v = keys_[index].Values[size_t(col)];
        if (v.IsEmpty())
            break;
        values.push_back(v);
    }
    return values;
}

std::vector<Variant> TTable::RangeKeyValues(TKeyIndex index) const
{
    std::vector<Variant> values;
    bool assigned = false;
    for (const QString &name : cursor_->OrderFields()) {
        const Variant &v = keys_[index].Values[size_t(cursor_->FieldIndex(name))];
        assigned = assigned || !v.IsEmpty();
        values.push_back(v.IsEmpty() ? Variant::Null() : v);
    }
    if (!assigned)
        values.clear();
    return values;
}

bool TTable::GotoKey()
{
    EndKeyEdit();
    CheckBrowseMode();
    DoBeforeScroll();
    if (!cursor_->FindKey(KeyValues(kiLookup)))
        return false;
    ResyncToCursor();
    DoAfterScroll();
    return true;
}

void TTable::GotoNearest()
{
    EndKeyEdit();
    CheckBrowseMode();
    DoBeforeScroll();
    cursor_->FindNearest(KeyValues(kiLookup));
    ResyncToCursor();
    DoAfterScroll();
}

bool TTable::FindKey(const std::vector<Variant> &key)
{
    CheckBrowseMode();
    DoBeforeScroll();
    if (!cursor_->FindKey(key))
        return false;
    ResyncToCursor();
    DoAfterScroll();
    return true;
}

void TTable::FindNearest(const std::vector<Variant> &key)
{
    CheckBrowseMode();
    DoBeforeScroll();
    cursor_->FindNearest(key);
    ResyncToCursor();
    DoAfterScroll();
}

void TTable::SetRange(const std::vector<Variant> &start, const std::vector<Variant> &end)
{
    CheckBrowseMode();
    cursor_->SetRange(start, end);
    First();
}

void TTable::ApplyRange()
{
    EndKeyEdit();
    CheckBrowseMode();
    cursor_->SetRange(RangeKeyValues(kiRangeStart), RangeKeyValues(kiRangeEnd));
    First();
}

void TTable::CancelRange()
{
    CheckBrowseMode();
    cursor_->CancelRange();
    First();
}

// ---- searching and filtering -----------------------------------------------------

bool TTable::Locate(const QString &keyFields, const Variant &keyValues, TLocateOptions options)
{
    CheckBrowseMode();
    const QStringList fields = SplitFieldNames(keyFields);
    if (fields.isEmpty())
        DatabaseError(DBConsts::SFieldNotFound.arg(keyFields));
    std::vector<Variant> values;
    if (keyValues.IsArray()) {
        for (qsizetype i = 0; i < fields.size(); ++i)
            values.push_back(keyValues[int(i)]);
    } else {
        if (fields.size() > 1)
            DatabaseError(DBConsts::SMoreFieldsThanValues);
        values.push_back(keyValues);
    }
    DoBeforeScroll();
    if (!cursor_->Locate(fields, values, options.Contains(loCaseInsensitive), options.Contains(loPartialKey)))
        return false;
    ResyncToCursor();
    DoAfterScroll();
    return true;
}

const TTable::TLookupPlan &TTable::LookupPlan(const QString &keyFields, const QString &resultFields)
{
    for (const TLookupPlan &plan : lookupPlans_)
        if (plan.KeyFields == keyFields && plan.ResultFields == resultFields)
            return plan;
    TLookupPlan plan{keyFields, resultFields, SplitFieldNames(keyFields), {}, false};
    const QStringList results = SplitFieldNames(resultFields);
    const auto stored = [this](const QStringList &names) {
        for (const QString &name : names)
            if (cursor_->FieldIndex(name) < 0)
                return false;
        return !names.isEmpty();
    };
    plan.Direct = stored(plan.Keys) && stored(results);
    if (plan.Direct) {
        GetFieldList(resultFields); // unknown result fields fail before the search
        for (const QString &name : results)
            plan.ResultColumns.push_back(cursor_->FieldIndex(name));
    }
    constexpr size_t MaxPlans = 32; // texts built by callers stay few
    if (lookupPlans_.size() >= MaxPlans)
        lookupPlans_.clear();
    lookupPlans_.push_back(std::move(plan));
    return lookupPlans_.back();
}

Variant TTable::Lookup(const QString &keyFields, const Variant &keyValues, const QString &resultFields)
{
    if (!cursor_ || State() != dsBrowse || OnFilterRecord())
        return TSqlDataSet::Lookup(keyFields, keyValues, resultFields);
    const TLookupPlan &plan = LookupPlan(keyFields, resultFields);
    if (!plan.Direct)
        return TSqlDataSet::Lookup(keyFields, keyValues, resultFields);
    std::vector<Variant> values;
    if (keyValues.IsArray()) {
        for (qsizetype i = 0; i < plan.Keys.size(); ++i)
            values.push_back(keyValues[int(i)]);
    } else if (plan.Keys.size() > 1) {
        DatabaseError(DBConsts::SMoreFieldsThanValues);
    }
    const std::span<const Variant> key = values.empty() ? std::span(&keyValues, 1) : std::span(values);
    // Read beside the cursor: the current record and its buffers stay as they are.
    const TRowValues *row = cursor_->LookupRow(plan.KeyFields, plan.Keys, key);
    if (!row)
        return Variant::Null();
    if (plan.ResultColumns.size() == 1)
        return (*row)[size_t(plan.ResultColumns.front())];
    std::vector<Variant> found;
    for (int column : plan.ResultColumns)
        found.push_back((*row)[size_t(column)]);
    return VarArrayOf(found);
}

bool TTable::GetIsIndexField(TField *field) const
{
    if (!cursor_)
        return false;
    for (const QString &name : cursor_->OrderFields())
        if (name.compare(field->FieldName(), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

void TTable::ApplyFilter()
{
    QString sql;
    if (Filtered() && !Filter().trimmed().isEmpty()) {
        TExprParser parser(this, Filter(), FilterOptions());
        sql = FilterToSql(parser.Root());
    }
    cursor_->SetFilterSql(sql);
}

void TTable::SetFiltered(bool value)
{
    if (Active())
        CheckBrowseMode();
    TSqlDataSet::SetFiltered(value);
    if (Active()) {
        ApplyFilter();
        First();
    }
}

void TTable::SetFilterText(const QString &text)
{
    if (Active())
        CheckBrowseMode();
    TSqlDataSet::SetFilterText(text);
    if (Active() && Filtered()) {
        ApplyFilter();
        First();
    }
}

void TTable::SetFilterOptions(TFilterOptions options)
{
    TSqlDataSet::SetFilterOptions(options);
    if (Active() && Filtered()) {
        ApplyFilter();
        First();
    }
}

} // namespace zorbel
