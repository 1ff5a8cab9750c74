// The memory table's dataset layer: opening and closing, record buffers,
// fetching and the cursor, field reads and writes, post, delete, bookmarks,
// record count and number, index switching and EmptyTable. The buffer and
// bookmark layouts are described in VemtMemTable.h.
#include "memtable/VemtMemTable.h"

#include "platform/dataset/DBConsts.h"

#include <algorithm>
#include <cstring>

namespace zorbel {

namespace {

constexpr int kFlagByteMask = 0xFF;

bool IsWriteState(TDataSetState state)
{
    switch (state) {
    case dsEdit: case dsInsert: case dsSetKey: case dsCalcFields: case dsFilter:
    case dsNewValue: case dsInternalCalc:
        return true;
    default:
        return false;
    }
}

void ReadInt32(const std::uint8_t *p, std::int32_t &value) { std::memcpy(&value, p, 4); }
void WriteInt32(std::uint8_t *p, std::int32_t value) { std::memcpy(p, &value, 4); }

} // namespace

TVemtCustomMemTable::TVemtCustomMemTable()
{
    store_ = std::make_unique<TVemtCommon>(this);
    indexes_ = std::make_unique<TVemtIndexes>(*this);
    currentIndex_ = indexes_->RowOrderIndex();
}

TVemtCustomMemTable::~TVemtCustomMemTable()
{
    if (Active()) {
        beforeCloseDone_ = true; // no close events while being destroyed
        CloseForDestroy();
    }
    filterTree_.reset();
    indexes_.reset();
    store_.reset();
}

// ---- Loading and opening ----

void TVemtCustomMemTable::BeginLoading() { loading_ = !designActivation_; }

void TVemtCustomMemTable::Loaded() { loading_ = false; }

void TVemtCustomMemTable::SetActive(bool value)
{
    if (value && loading_)
        return;
    TDataSet::SetActive(value);
}

void TVemtCustomMemTable::InternalInitFieldDefs()
{
    // Persistent fields define the records; default fields follow FieldDefs.
    if (FieldCount() == 0 || (Active() && DefaultFields()))
        return;
    FieldDefs().Clear();
    for (int i = 0; i < FieldCount(); ++i) {
        TField *field = Fields()[i];
        if (field->FieldKind() != fkData && field->FieldKind() != fkInternalCalc)
            continue;
        TFieldDef *def = FieldDefs().Add(field->FieldName(), field->DataType(), field->Size(), field->Required());
        def->SetInternalCalcField(field->FieldKind() == fkInternalCalc);
    }
}

void TVemtCustomMemTable::InternalOpen()
{
    TVemtCommon::Locker lock(*store_);
    InternalInitFieldDefs();
    if (DefaultFields()) {
        if (FieldDefs().Count() == 0)
            throw EMemTableError(QStringLiteral("There must be at least one field"));
        // The layout refuses unsupported types and too many definitions
        // before fields are made for them.
        store_->LayoutRecord();
        CreateFields();
    }
    try {
        SetBookmarkSize(kBookmarkBytes);
        BindFields(true);
        store_->LayoutRecord();
        cursorOpen_ = true;
        position_ = -1;
        indexes_->DeleteAll();
        currentIndex_ = indexes_->RowOrderIndex();
        indexes_->RowOrderIndex()->Clear();
        for (int i = 0; i < indexDefs_.Count(); ++i)
            indexes_->AddFromDef(*indexDefs_[i]);
    } catch (...) {
        // A failed open leaves the table as closing would.
        cursorOpen_ = false;
        indexes_->DeleteAll();
        BindFields(false);
        if (DefaultFields())
            DestroyFields();
        throw;
    }
    indexFieldList_.Clear();
    masterFieldList_.Clear();
    detailFieldList_.Clear();
    beforeCloseDone_ = false;
}

void TVemtCustomMemTable::DoAfterOpen()
{
    if (inAfterOpen_)
        return;
    inAfterOpen_ = true;
    try {
        indexes_->MarkAllUnordered();
        indexes_->RebuildAll();
        ApplyIndexNames();
        if (!Filter().isEmpty())
            BuildFilterTree(Filter(), FilterOptions());
    } catch (...) {
        inAfterOpen_ = false;
        throw;
    }
    inAfterOpen_ = false;
    TDataSet::DoAfterOpen();
}

void TVemtCustomMemTable::ApplyIndexNames()
{
    if (!indexFieldNames_.isEmpty())
        SetIndexFieldNames(indexFieldNames_);
    else if (!indexName_.isEmpty())
        SetIndexName(indexName_);
}

void TVemtCustomMemTable::DoBeforeClose()
{
    if (State() == dsEdit || State() == dsInsert)
        Cancel();
    if (!beforeCloseDone_)
        TDataSet::DoBeforeClose();
    beforeCloseDone_ = true;
}

void TVemtCustomMemTable::InternalClose()
{
    if (!beforeCloseDone_) {
        beforeCloseDone_ = true;
        TDataSet::DoBeforeClose();
    }
    {
        TVemtCommon::Locker lock(*store_);
        if (store_->Owner() == this) {
            store_->EmptyAll();
            store_->CloseOthers(this);
        }
    }
    if (currentIndex_ != indexes_->RowOrderIndex()) {
        indexFieldNames_.clear();
        indexName_.clear();
    }
    currentIndex_ = indexes_->RowOrderIndex();
    indexes_->DeleteAll();
    indexFieldList_.Clear();
    filterTree_.reset();
    cursorOpen_ = false;
    position_ = -1;
    BindFields(false);
    if (DefaultFields())
        DestroyFields();
}

void TVemtCustomMemTable::PrepareEmpty()
{
    if (State() == dsEdit || State() == dsInsert)
        CheckBrowseMode();
    if (Active()) {
        ClearBuffers();
        DataEvent(deDataSetChange);
    }
    indexes_->EmptyAll();
    position_ = -1;
}

void TVemtCustomMemTable::EmptyTable()
{
    Progress(0, mtpcEmpty);
    {
        TControlsOff off(*this);
        store_->EmptyAll();
    }
    Progress(100, mtpcEmpty);
}

void TVemtCustomMemTable::Progress(int percent, TVemtProgressCode code)
{
    const int bit = static_cast<int>(code);
    if (OnProgress && bit <= 15 && (progressFlags_ & (1u << bit)))
        OnProgress(this, percent, code);
}

// ---- Record buffers ----

TRecordBuffer TVemtCustomMemTable::AllocRecordBuffer()
{
    return reinterpret_cast<TRecordBuffer>(store_->NewRecord());
}

void TVemtCustomMemTable::FreeRecordBuffer(TRecordBuffer &buffer)
{
    store_->FreeRecord(Rec(buffer), true, false);
    buffer = nullptr;
}

void TVemtCustomMemTable::InternalInitRecord(TRecordBuffer buffer)
{
    TVemtRecord *record = Rec(buffer);
    ReleaseOwnValues(record);
    *record = TVemtRecord();
    std::memset(record->Data(), 0, static_cast<size_t>(store_->DataSize()));
    WriteInt32(BookmarkEntry(record), -1);
}

uint8_t *TVemtCustomMemTable::CalcFieldsArea(TRecordBuffer buffer) const
{
    return buffer ? Rec(buffer)->Data() + store_->CalcStart() : nullptr;
}

std::uint8_t *TVemtCustomMemTable::BookmarkEntry(TVemtRecord *buffer) const
{
    return buffer->Data() + store_->BookmarkStart() + 8 * std::max(attachSlot_, 0);
}

TRecordBuffer TVemtCustomMemTable::GetActiveRecordBuffer() const
{
    switch (State()) {
    case dsCalcFields: case dsInternalCalc:
        return CalcBuffer();
    case dsFilter:
        return recordUnderTest_ ? reinterpret_cast<TRecordBuffer>(recordUnderTest_) : FilterBuffer();
    case dsSetKey:
        return nullptr;
    case dsOldValue: {
        TVemtRecord *active = Rec(ActiveBuffer());
        TVemtRecord *stored = active ? StoredRecord(active) : nullptr;
        if (!stored)
            return ActiveBuffer();
        while (stored->OlderVersion)
            stored = stored->OlderVersion;
        return reinterpret_cast<TRecordBuffer>(stored);
    }
    default:
        return TDataSet::GetActiveRecordBuffer();
    }
}

// ---- Fetching and the cursor ----

void TVemtCustomMemTable::EnsureOrdered() const
{
    if (cursorOpen_ && !currentIndex_->Ordered())
        currentIndex_->Rebuild();
}

TGetResult TVemtCustomMemTable::GetRecord(TRecordBuffer buffer, TGetMode mode, bool)
{
    TVemtCommon::Locker lock(*store_);
    EnsureOrdered();
    const int count = currentIndex_->Count();
    TGetResult result = grOK;
    switch (mode) {
    case gmCurrent:
        if (position_ < 0 || position_ >= count || !AcceptRecord(currentIndex_->Entry(position_), false))
            result = grError;
        break;
    case gmNext:
        result = MoveToNextAccepted(false) ? grOK : grEOF;
        break;
    case gmPrior:
        result = MoveToPriorAccepted(false) ? grOK : grBOF;
        break;
    }
    if (result != grOK)
        return result;
    TVemtRecord *stored = currentIndex_->Entry(position_);
    TVemtRecord *target = Rec(buffer);
    ReleaseOwnValues(target);
    store_->CopyRecord(stored, target);
    target->Position = position_;
    target->Flags &= static_cast<std::uint8_t>(~kRecordStored);
    std::uint8_t *entry = BookmarkEntry(target);
    WriteInt32(entry, stored->SlotIndex);
    WriteInt32(entry + 4, stored->Serial);
    SetBookmarkFlag(buffer, bfCurrent);
    if (recalcOnFetch_)
        GetCalcFields(buffer);
    return grOK;
}

void TVemtCustomMemTable::SetCursorAfterLast()
{
    EnsureOrdered();
    position_ = currentIndex_->Count();
}

bool TVemtCustomMemTable::MoveToNextAccepted(bool force)
{
    EnsureOrdered();
    const int count = currentIndex_->Count();
    position_ = std::max(position_, -1);
    while (position_ < count - 1) {
        ++position_;
        if (AcceptRecord(currentIndex_->Entry(position_), force))
            return true;
    }
    return false;
}

bool TVemtCustomMemTable::MoveToPriorAccepted(bool force)
{
    EnsureOrdered();
    position_ = std::min(position_, currentIndex_->Count());
    while (position_ > 0) {
        --position_;
        if (AcceptRecord(currentIndex_->Entry(position_), force))
            return true;
    }
    return false;
}

void TVemtCustomMemTable::InternalFirst() { SetCursorBeforeFirst(); }

void TVemtCustomMemTable::InternalLast() { SetCursorAfterLast(); }

// ---- Field values ----

bool TVemtCustomMemTable::GetFieldData(TField *field, void *buffer) const
{
    if (!cursorOpen_)
        return false;
    if (field->FieldKind() == fkCalculated || field->FieldKind() == fkLookup)
        return TDataSet::GetFieldData(field, buffer);
    TVemtCommon::Locker lock(*store_);
    TVemtRecord *record = Rec(GetActiveRecordBuffer());
    const int fieldNo = field->FieldNo();
    if (!record || fieldNo <= 0 || fieldNo > store_->FieldCount())
        return false;
    if (store_->IsVarLength(fieldNo)) {
        QByteArray bytes;
        if (!ReadOutOfLine(record, field, buffer ? &bytes : nullptr))
            return false;
        if (buffer) {
            // The native buffer: texts zero-terminated, at most Size characters.
            const int size = field->DataSize();
            std::memset(buffer, 0, static_cast<size_t>(size));
            const int limit = field->DataType() == ftString || field->DataType() == ftFixedChar ? size - 2 : size;
            std::memcpy(buffer, bytes.constData(), static_cast<size_t>(std::min<qsizetype>(bytes.size(), limit)));
        }
        return true;
    }
    const std::uint8_t *slot = store_->FieldPointer(record, field);
    if (slot[0] == 0)
        return false;
    if (buffer)
        std::memcpy(buffer, slot + 1, static_cast<size_t>(TVemtCommon::StorageSize(field->DataType(), field->Size())));
    return true;
}

void TVemtCustomMemTable::CheckFieldWrite(TField *field) const
{
    if (!IsWriteState(State()))
        DatabaseError(DBConsts::SNotEditing);
    if (readOnly_ || (field->ReadOnly() && State() != dsSetKey))
        DatabaseError(DBConsts::SFieldReadOnly.arg(field->DisplayName()));
}

void TVemtCustomMemTable::SetFieldData(TField *field, const void *buffer)
{
    if (!cursorOpen_)
        return;
    TVemtCommon::Locker lock(*store_);
    CheckFieldWrite(field);
    TVemtRecord *record = Rec(GetActiveRecordBuffer());
    const int fieldNo = field->FieldNo();
    const bool computed = field->FieldKind() == fkCalculated || field->FieldKind() == fkLookup;
    if (!record || (!computed && (fieldNo <= 0 || fieldNo > store_->FieldCount())))
        return;
    // Validation runs before anything is written, so a refused value leaves
    // the old one (and its null state) intact.
    if (field->FieldKind() != fkLookup)
        field->Validate(buffer);
    if (!computed && store_->IsVarLength(fieldNo)) {
        std::uint32_t length = 0;
        if (buffer) {
            const auto *bytes = static_cast<const std::uint8_t *>(buffer);
            length = static_cast<std::uint32_t>(field->DataSize());
            if (field->DataType() == ftString || field->DataType() == ftFixedChar) {
                length = 0;
                while (length + 2 < static_cast<std::uint32_t>(field->DataSize()) &&
                       (bytes[length] != 0 || bytes[length + 1] != 0))
                    length += 2;
            }
        }
        WriteOutOfLine(record, field, buffer, length);
        store_->SetFieldWritten(fieldNo);
        if (State() != dsCalcFields && State() != dsFilter && State() != dsNewValue)
            DataEvent(deFieldChange, reinterpret_cast<intptr_t>(field));
        return;
    }
    std::uint8_t *slot = store_->FieldPointer(record, field);
    const size_t size = static_cast<size_t>(computed ? field->DataSize()
                                                     : TVemtCommon::StorageSize(field->DataType(), field->Size()));
    slot[0] = buffer ? 2 : 0;
    if (buffer)
        std::memcpy(slot + 1, buffer, size);
    else
        std::memset(slot + 1, 0, size);
    if (!computed)
        store_->SetFieldWritten(fieldNo);
    if (State() != dsCalcFields && State() != dsFilter && State() != dsNewValue)
        DataEvent(deFieldChange, reinterpret_cast<intptr_t>(field));
}

bool TVemtCustomMemTable::GetIsIndexField(TField *field) const { return indexFieldList_.IndexOf(field) >= 0; }

void TVemtCustomMemTable::ReleaseOwnValues(TVemtRecord *record) const
{
    for (int fieldNo = 1; fieldNo <= store_->FieldCount(); ++fieldNo) {
        if (!store_->IsVarLength(fieldNo))
            continue;
        std::uint8_t *slot = record->Data() + store_->FieldOffset(fieldNo);
        store_->FreeValue(TVemtCommon::SlotHandle(slot));
        TVemtCommon::SetSlotHandle(slot, 0);
    }
}

bool TVemtCustomMemTable::ReadOutOfLine(const TVemtRecord *record, const TField *field, QByteArray *bytes) const
{
    const std::uint8_t *slot = store_->FieldPointer(record, field);
    if (slot[0] == 0)
        return false;
    if (bytes) {
        std::uint32_t length = 0;
        const std::uint8_t *value = store_->ValueBytes(store_->FieldValueHandle(record, field), &length);
        *bytes = QByteArray(reinterpret_cast<const char *>(value), static_cast<qsizetype>(value ? length : 0));
    }
    return true;
}

void TVemtCustomMemTable::WriteOutOfLine(TVemtRecord *record, const TField *field, const void *bytes,
                                         std::uint32_t length)
{
    std::uint8_t *slot = store_->FieldPointer(record, field);
    const std::uint32_t handle = bytes ? store_->NewValue(length) : 0;
    if (bytes)
        std::memcpy(store_->ValueBytes(handle), bytes, length);
    store_->FreeValue(TVemtCommon::SlotHandle(slot));
    TVemtCommon::SetSlotHandle(slot, handle);
    slot[0] = bytes ? 2 : 0;
}

bool TVemtCustomMemTable::GetBlobData(TField *field, QByteArray &data) const
{
    const int fieldNo = field->FieldNo();
    if (!cursorOpen_ || fieldNo <= 0 || fieldNo > store_->FieldCount() || !store_->IsVarLength(fieldNo))
        return TDataSet::GetBlobData(field, data);
    TVemtCommon::Locker lock(*store_);
    const TVemtRecord *record = Rec(GetActiveRecordBuffer());
    data.clear();
    return record && ReadOutOfLine(record, field, &data);
}

void TVemtCustomMemTable::SetBlobData(TField *field, const QByteArray *data)
{
    const int fieldNo = field->FieldNo();
    if (!cursorOpen_ || fieldNo <= 0 || fieldNo > store_->FieldCount() || !store_->IsVarLength(fieldNo))
        return TDataSet::SetBlobData(field, data);
    TVemtCommon::Locker lock(*store_);
    CheckFieldWrite(field);
    TVemtRecord *record = Rec(GetActiveRecordBuffer());
    if (!record)
        return;
    WriteOutOfLine(record, field, data ? data->constData() : nullptr,
                   data ? static_cast<std::uint32_t>(data->size()) : 0);
    store_->SetFieldWritten(fieldNo);
    if (State() != dsCalcFields && State() != dsFilter && State() != dsNewValue)
        DataEvent(deFieldChange, reinterpret_cast<intptr_t>(field));
}

TUpdateStatus TVemtCustomMemTable::UpdateStatus() const
{
    const TVemtRecord *record = Rec(GetActiveRecordBuffer());
    if (!record)
        return TDataSet::UpdateStatus();
    switch (record->ChangeState) {
    case 1: return usModified;
    case kChangeInserted: return usInserted;
    case 3: return usDeleted;
    default: return usUnmodified;
    }
}

void TVemtCustomMemTable::CalcRecordFields(TVemtRecord *record)
{
    ClearCalcFields(reinterpret_cast<TRecordBuffer>(record));
    GetCalcFields(reinterpret_cast<TRecordBuffer>(record));
}

// ---- Editing ----

void TVemtCustomMemTable::DoBeforeInsert()
{
    insertPosition_ = RecNo();
    TDataSet::DoBeforeInsert();
}

TVemtRecord *TVemtCustomMemTable::StoredRecord(const TVemtRecord *buffer) const
{
    const std::int32_t slot = buffer->SlotIndex;
    if (slot < 0 || slot >= store_->RecordCount())
        return nullptr;
    TVemtRecord *stored = store_->Records(slot);
    return stored && stored->Serial == buffer->Serial ? stored : nullptr;
}

void TVemtCustomMemTable::ReplaceCursor(TVemtRecord *stored)
{
    if (currentIndex_->Ordered())
        return;
    EnsureOrdered();
    position_ = currentIndex_->FindRecordPosition(stored);
}

void TVemtCustomMemTable::PostNewRecord(TVemtRecord *buffer, bool append)
{
    TVemtRecord *record = store_->CloneRecord(buffer, true);
    record->Position = -1;
    record->Flags = 0;
    try {
        store_->StoreRecord(record);
    } catch (...) {
        store_->FreeRecord(record, true, false);
        throw;
    }
    const int savedPosition = position_;
    try {
        store_->UpdateIndexes(TVemtUpdateKind::Insert, record, this, append ? -1 : insertPosition_, buffer);
    } catch (...) {
        // The post failed: the record leaves the indexes that took it and the
        // store again, and the cursor stays where it was.
        indexes_->DropRecord(record);
        store_->DeleteRecord(record);
        position_ = savedPosition;
        throw;
    }
    buffer->SlotIndex = record->SlotIndex;
    buffer->Serial = record->Serial;
    ReleaseOwnValues(buffer); // the stored record has copies
    store_->SetModified(true);
    ReplaceCursor(record);
}

void TVemtCustomMemTable::InternalPost()
{
    TDataSet::InternalPost();
    TVemtCommon::Locker lock(*store_);
    TVemtRecord *buffer = Rec(ActiveBuffer());
    if (State() == dsEdit) {
        TVemtRecord *stored = StoredRecord(buffer);
        if (!stored)
            DatabaseError(DBConsts::SRecordNotFound);
        indexes_->CheckUnique(buffer, stored);
        for (int fieldNo = 1; fieldNo <= store_->FieldCount(); ++fieldNo)
            if (store_->FieldWritten(fieldNo))
                store_->SetModified(true);
        EnsureOrdered();
        if (position_ < 0 || position_ >= currentIndex_->Count() || currentIndex_->Entry(position_) != stored)
            position_ = currentIndex_->FindRecordPosition(stored);
        store_->UpdateIndexes(TVemtUpdateKind::Edit, stored, this, position_, buffer);
        store_->MoveValues(buffer, stored);
        stored->Position = -1;
        stored->Flags |= kRecordStored;
        ReplaceCursor(stored);
    } else {
        indexes_->CheckUnique(buffer, nullptr);
        PostNewRecord(buffer, GetBookmarkFlag(ActiveBuffer()) == bfEOF);
    }
    store_->ClearFieldWritten();
}

void TVemtCustomMemTable::InternalAddRecord(TRecordBuffer buffer, bool append)
{
    TVemtCommon::Locker lock(*store_);
    indexes_->CheckUnique(Rec(buffer), nullptr);
    PostNewRecord(Rec(buffer), append);
    store_->ClearFieldWritten();
}

void TVemtCustomMemTable::InternalCancel()
{
    TDataSet::InternalCancel();
    store_->ClearFieldWritten();
}

void TVemtCustomMemTable::InternalDelete()
{
    TVemtCommon::Locker lock(*store_);
    TVemtRecord *stored = StoredRecord(Rec(ActiveBuffer()));
    if (!stored)
        DatabaseError(DBConsts::SRecordNotFound);
    EnsureOrdered();
    if (position_ < 0 || position_ >= currentIndex_->Count() || currentIndex_->Entry(position_) != stored)
        position_ = currentIndex_->FindRecordPosition(stored);
    store_->UpdateIndexes(TVemtUpdateKind::Delete, stored, this, position_, nullptr);
    store_->DeleteRecord(stored);
    ClearBuffers();
    store_->SetModified(true);
}

void TVemtCustomMemTable::DoAfterPost()
{
    if (attachedAutoRefresh_)
        store_->RefreshOthers(this);
    if (autoReposition_ && !IsEmpty()) {
        if (TVemtRecord *stored = StoredRecord(Rec(ActiveBuffer()))) {
            EnsureOrdered();
            const int at = currentIndex_->FindRecordPosition(stored);
            if (at >= 0) {
                position_ = at;
                Resync({rmExact, rmCenter});
            }
        }
    }
    TDataSet::DoAfterPost();
}

void TVemtCustomMemTable::DoAfterDelete()
{
    if (attachedAutoRefresh_)
        store_->RefreshOthers(this);
    TDataSet::DoAfterDelete();
}

// ---- Count and number ----

int TVemtCustomMemTable::GetRecordCount() const
{
    CheckActive();
    auto &self = const_cast<TVemtCustomMemTable &>(*this);
    TVemtCommon::Locker lock(*store_);
    EnsureOrdered();
    if (!IsFilterActive())
        return currentIndex_->Count();
    const int saved = position_;
    int count = 0;
    try {
        self.SetCursorBeforeFirst();
        while (self.MoveToNextAccepted(false))
            ++count;
    } catch (...) {
        position_ = saved;
        throw;
    }
    position_ = saved;
    return count;
}

int TVemtCustomMemTable::GetRecNo() const
{
    if (!Active() || !ActiveBuffer() || IsEmpty())
        return -1;
    const TVemtRecord *buffer = Rec(ActiveBuffer());
    return buffer->Position < 0 ? -1 : buffer->Position + 1;
}

void TVemtCustomMemTable::SetRecNoImpl(int value)
{
    CheckActive();
    EnsureOrdered();
    const int current = RecNo();
    if (value <= 0 || value > currentIndex_->Count() || value == current)
        return;
    if (!IsFilterActive()) {
        MoveBy(value - current);
        CursorPosChanged();
        return;
    }
    // RecNo counts hidden records, MoveBy steps over visible ones only: with
    // a filter in force the record is reached by its position instead (a
    // hidden one is not reached at all).
    CheckBrowseMode();
    if (!AcceptRecord(currentIndex_->Entry(value - 1), false))
        return;
    DoBeforeScroll();
    position_ = value - 1;
    Resync({rmExact, rmCenter});
    DoAfterScroll();
}

void TVemtCustomMemTable::SetBlockReadSize(int value)
{
    if (value == BlockReadSize())
        return;
    TDataSet::SetBlockReadSize(value);
    if (value == 0 && Active()) {
        CursorPosChanged();
        Resync({});
    }
}

// ---- Bookmarks ----

void TVemtCustomMemTable::GetBookmarkData(TRecordBuffer buffer, void *data) const
{
    auto *out = static_cast<std::uint8_t *>(data);
    const std::uint32_t id = store_->DataID();
    std::memcpy(out, &id, 4);
    std::memcpy(out + 4, BookmarkEntry(Rec(buffer)), 8);
}

void TVemtCustomMemTable::SetBookmarkData(TRecordBuffer buffer, const void *data)
{
    std::memcpy(BookmarkEntry(Rec(buffer)), static_cast<const std::uint8_t *>(data) + 4, 8);
}

TBookmarkFlag TVemtCustomMemTable::GetBookmarkFlag(TRecordBuffer buffer) const
{
    return static_cast<TBookmarkFlag>(Rec(buffer)->Reserved & kFlagByteMask);
}

void TVemtCustomMemTable::SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag)
{
    Rec(buffer)->Reserved = static_cast<std::uint16_t>(flag);
}

TVemtRecord *TVemtCustomMemTable::ResolveBookmark(const void *bookmark) const
{
    if (!bookmark)
        return nullptr;
    const auto *in = static_cast<const std::uint8_t *>(bookmark);
    std::uint32_t id;
    std::int32_t slot;
    std::int32_t serial;
    std::memcpy(&id, in, 4);
    ReadInt32(in + 4, slot);
    ReadInt32(in + 8, serial);
    TVemtCommon::Locker lock(*store_);
    if (id != store_->DataID() || slot < 0 || slot >= store_->RecordCount())
        return nullptr;
    TVemtRecord *record = store_->Records(slot);
    return record && record->Serial == serial ? record : nullptr;
}

bool TVemtCustomMemTable::BookmarkValid(const TBookmark &bookmark) const
{
    return bookmark.size() == kBookmarkBytes && ResolveBookmark(bookmark.constData()) != nullptr;
}

int TVemtCustomMemTable::CompareBookmarks(const TBookmark &a, const TBookmark &b) const
{
    if (!BookmarkValid(a) || !BookmarkValid(b))
        return 0;
    // By the records' places in the current index: the order the user sees
    // (slot numbers say nothing about it once records were inserted or
    // slots reused).
    TVemtCommon::Locker lock(*store_);
    EnsureOrdered();
    const int pa = currentIndex_->FindRecordPosition(ResolveBookmark(a.constData()));
    const int pb = currentIndex_->FindRecordPosition(ResolveBookmark(b.constData()));
    return pa < pb ? -1 : (pa > pb ? 1 : 0);
}

void TVemtCustomMemTable::InternalGotoBookmark(const void *bookmark)
{
    if (!bookmark)
        throw EMemTableError(QStringLiteral("Bookmark %1 not found.").arg(-200));
    std::int32_t slot;
    ReadInt32(static_cast<const std::uint8_t *>(bookmark) + 4, slot);
    if (slot < 0)
        return;
    TVemtCommon::Locker lock(*store_);
    TVemtRecord *record = ResolveBookmark(bookmark);
    if (!record)
        DatabaseError(DBConsts::SRecordNotFound);
    EnsureOrdered();
    const int at = currentIndex_->FindRecordPosition(record);
    if (at >= 0)
        position_ = at;
}

void TVemtCustomMemTable::InternalSetToRecord(TRecordBuffer buffer)
{
    TVemtCommon::Locker lock(*store_);
    TVemtRecord *stored = StoredRecord(Rec(buffer));
    if (!stored)
        return;
    EnsureOrdered();
    const int at = currentIndex_->FindRecordPosition(stored);
    if (at >= 0)
        position_ = at;
}

// ---- Indexes ----

void TVemtCustomMemTable::Sort() { indexes_->SortWith(sortFields_, sortOptions_); }

void TVemtCustomMemTable::SetIndexFieldNames(const QString &value)
{
    indexFieldNames_ = value;
    if (!cursorOpen_)
        return;
    if (value.trimmed().isEmpty())
        SwitchIndex(nullptr);
    else if (TVemtIndex *index = indexes_->FindByFields(value))
        SwitchIndex(index);
}

void TVemtCustomMemTable::SetIndexName(const QString &value)
{
    indexName_ = value;
    if (!cursorOpen_)
        return;
    if (value.trimmed().isEmpty())
        SwitchIndex(nullptr);
    else if (TVemtIndex *index = indexes_->Find(value))
        SwitchIndex(index);
}

void TVemtCustomMemTable::SwitchIndex(TVemtIndex *index)
{
    TVemtIndex *target = index ? index : indexes_->RowOrderIndex();
    if (target == currentIndex_)
        return;
    const bool open = cursorOpen_ && Active();
    try {
        TVemtRecord *remembered = nullptr;
        if (open) {
            CheckBrowseMode();
            if (!IsEmpty())
                remembered = StoredRecord(Rec(ActiveBuffer()));
        }
        currentIndex_ = target;
        indexFieldNames_ = target->RowOrder() ? QString() : target->FieldNames();
        indexName_ = target->RowOrder() ? QString() : target->Name();
        target->Fields().CopyTo(indexFieldList_);
        EnsureOrdered();
        position_ = std::min(position_, currentIndex_->Count() - 1);
        if (!open || position_ < 0)
            return;
        const int at = remembered ? currentIndex_->FindRecordPosition(remembered) : -1;
        if (at >= 0 && AcceptRecord(currentIndex_->Entry(at), false)) {
            position_ = at;
            CursorPosChanged();
            Resync({});
        } else {
            First();
        }
    } catch (...) {
        // A half-made switch leaves no cursor behind: the table is closed
        // (without its close events) and the failure goes on to the caller.
        if (open)
            CloseAfterFailure();
        throw;
    }
}

bool TVemtCustomMemTable::SameFields(const TVemtFieldList &a, const TVemtFieldList &b)
{
    return zorbel::SameFields(a, b);
}

} // namespace zorbel
