// TDataSet: states, the record-buffer ring, navigation, editing, calculated
// fields and data events. See DataSet.h for the ring's layout.
#include "platform/dataset/DataSet.h"

#include "platform/dataset/DBConsts.h"
#include "platform/dataset/DataSource.h"
#include "platform/rtl/Exceptions.h"

#include <algorithm>
#include <cstring>

namespace zorbel {

namespace {

constexpr int kMaxBufferCount = 1024;

bool IsWriteMode(TDataSetState s)
{
    switch (s) {
    case dsEdit: case dsInsert: case dsSetKey: case dsCalcFields: case dsFilter:
    case dsNewValue: case dsInternalCalc:
        return true;
    default:
        return false;
    }
}

bool IsComputedKind(TFieldKind kind) { return kind == fkCalculated || kind == fkLookup; }

// Field types a data field may bind to a definition of (the class library
// lets string fields serve fixed-char columns and so on).
int TypeFamily(TFieldType type)
{
    switch (type) {
    case ftString: case ftFixedChar: case ftWideString: return 1;
    case ftInteger: case ftAutoInc: return 2;
    case ftFloat: case ftCurrency: return 3;
    case ftBlob: case ftGraphic: case ftParadoxOle: case ftDBaseOle: case ftTypedBinary:
    case ftOraBlob: return 4;
    case ftMemo: case ftFmtMemo: case ftOraClob: return 5;
    default: return 100 + static_cast<int>(type);
    }
}

} // namespace

void DatabaseError(const QString &message) { throw EDatabaseError(message); }

TDataSet::TDataSet() : fieldDefs_([this] { InitFieldDefs(); }), fields_(this) {}

void TDataSet::InitFieldDefs()
{
    if (!Active())
        InternalInitFieldDefs();
}

TDataSet::~TDataSet()
{
    // Sources forget this dataset, so their links go inactive.
    const std::vector<TDataSource *> sources = dataSources_;
    for (TDataSource *source : sources)
        source->SetDataSet(nullptr);
}

void TDataSet::CloseForDestroy()
{
    destroying_ = true;
    SetActive(false);
}

// ---- Fields ----

void TDataSet::AddFieldObject(std::unique_ptr<TField> field, const QString &name, TFieldKind kind)
{
    CheckInactive();
    if (FindField(name))
        DatabaseError(DBConsts::SDuplicateFieldName.arg(name));
    field->fieldName_ = name;
    field->fieldKind_ = kind;
    fields_.Add(std::move(field));
}

void TDataSet::RemoveField(TField *field)
{
    CheckInactive();
    fields_.Remove(field);
}

QStringList TDataSet::GetFieldNames() const
{
    QStringList names;
    for (int i = 0; i < fields_.Count(); ++i)
        names.append(fields_[i]->FieldName());
    return names;
}

std::vector<TField *> TDataSet::GetFieldList(const QString &fieldNames) const
{
    std::vector<TField *> list;
    for (const QString &name : SplitFieldNames(fieldNames))
        list.push_back(FieldByName(name));
    return list;
}

void TDataSet::CreateFields()
{
    for (int i = 0; i < fieldDefs_.Count(); ++i)
        fieldDefs_[i]->CreateField(this);
}

void TDataSet::DestroyFields() { fields_.Clear(); }

void TDataSet::BindFields(bool binding)
{
    calcFieldsSize_ = 0;
    internalCalcFields_ = false;
    for (int i = 0; i < fields_.Count(); ++i) {
        TField *field = fields_[i];
        if (!binding) {
            if (!IsComputedKind(field->FieldKind()))
                field->fieldNo_ = 0;
            continue;
        }
        if (IsComputedKind(field->FieldKind())) {
            field->fieldNo_ = -1;
            field->offset_ = calcFieldsSize_;
            calcFieldsSize_ += field->DataSize() + 1;
            if (field->FieldKind() == fkLookup &&
                (!field->LookupDataSet() || field->KeyFields().isEmpty() ||
                 field->LookupKeyFields().isEmpty() || field->LookupResultField().isEmpty()))
                DatabaseError(DBConsts::SLookupInfoError.arg(field->DisplayName()));
            continue;
        }
        const int defIndex = fieldDefs_.IndexOf(field->FieldName());
        if (defIndex < 0)
            DatabaseError(DBConsts::SFieldNotFound.arg(field->DisplayName()));
        const TFieldDef *def = fieldDefs_[defIndex];
        if (TypeFamily(def->DataType()) != TypeFamily(field->DataType()))
            DatabaseError(DBConsts::SFieldTypeMismatch.arg(field->DisplayName(),
                                                           FieldTypeName(field->DataType()),
                                                           FieldTypeName(def->DataType())));
        field->fieldNo_ = def->FieldNo();
        if (def->InternalCalcField())
            internalCalcFields_ = true;
    }
}

// ---- Opening and closing ----

void TDataSet::SetActive(bool value)
{
    if (Active() == value)
        return;
    if (value) {
        DoBeforeOpen();
        try {
            OpenCursor();
        } catch (...) {
            // A failed open leaves no cursor and no default fields behind, so
            // the next open starts afresh.
            state_ = dsInactive;
            try {
                CloseCursor();
            } catch (...) {
            }
            if (defaultFields_)
                DestroyFields();
            throw;
        }
        SetState(dsBrowse);
        DoAfterOpen();
        if (!IsEmpty())
            DoAfterScroll();
    } else {
        if (!destroying_)
            DoBeforeClose();
        SetState(dsInactive);
        CloseCursor();
        if (!destroying_)
            DoAfterClose();
    }
}

void TDataSet::CloseAfterFailure()
{
    if (!Active())
        return;
    SetState(dsInactive);
    CloseCursor();
}

void TDataSet::OpenCursor()
{
    defaultFields_ = fields_.Count() == 0;
    InternalOpen();
    internalOpenComplete_ = true;
    UpdateBufferCount();
    bof_ = true;
}

void TDataSet::CloseCursor()
{
    if (blockReadSize_ != 0)
        SetBlockReadSize(0);
    SetBufListSize(0);
    bufferCount_ = 0;
    ClearBuffers();
    if (internalOpenComplete_ || IsCursorOpen())
        InternalClose();
    internalOpenComplete_ = false;
    calcBuffer_ = nullptr;
    filterBuffer_ = nullptr;
}

void TDataSet::CheckActive() const
{
    if (state_ == dsInactive)
        DatabaseError(DBConsts::SDataSetClosed);
}

void TDataSet::CheckInactive() const
{
    if (state_ != dsInactive)
        DatabaseError(DBConsts::SDataSetOpen);
}

void TDataSet::SetState(TDataSetState value)
{
    if (state_ == value)
        return;
    state_ = value;
    modified_ = false;
    DataEvent(deUpdateState);
}

TDataSetState TDataSet::SetTempState(TDataSetState value)
{
    const TDataSetState old = state_;
    state_ = value;
    ++disableCount_;
    return old;
}

void TDataSet::RestoreState(TDataSetState value)
{
    state_ = value;
    --disableCount_;
}

// ---- The buffer ring ----

void TDataSet::SetBufListSize(int value)
{
    const int old = int(buffers_.size());
    if (old == value)
        return;
    if (value < old) {
        for (int i = value; i < old; ++i)
            FreeRecordBuffer(buffers_[size_t(i)]);
        buffers_.resize(size_t(value));
        return;
    }
    buffers_.reserve(size_t(value));
    while (int(buffers_.size()) < value)
        buffers_.push_back(AllocRecordBuffer());
}

void TDataSet::SetBufferCount(int value)
{
    value = std::clamp(value, 1, kMaxBufferCount);
    if (value == bufferCount_)
        return;
    int shifted = 0;
    if (value < recordCount_) {
        // Keep the active record: drop buffers from the front first.
        shifted = std::max(0, activeRecord_ - (value - 1));
        for (int i = 0; i < shifted; ++i)
            MoveBuffer(0, int(buffers_.size()) - 1);
        activeRecord_ -= shifted;
        if (currentRecord_ >= 0)
            currentRecord_ -= shifted;
        recordCount_ = std::min(recordCount_ - shifted, value);
        if (currentRecord_ >= recordCount_)
            currentRecord_ = -1;
    }
    SetBufListSize(value + 1);
    const bool grew = value > bufferCount_;
    bufferCount_ = value;
    for (TDataSource *source : dataSources_)
        for (TDataLink *link : source->dataLinks_)
            if (link->active_)
                link->firstRecord_ = std::max(0, link->firstRecord_ - shifted);
    if (grew && internalOpenComplete_ && state_ != dsInsert) {
        GetNextRecords();
        const int added = GetPriorRecords();
        for (TDataSource *source : dataSources_)
            for (TDataLink *link : source->dataLinks_)
                if (link->active_)
                    link->firstRecord_ += added;
    }
}

void TDataSet::UpdateBufferCount()
{
    if (!internalOpenComplete_)
        return;
    int count = 1;
    for (TDataSource *source : dataSources_)
        for (TDataLink *link : source->dataLinks_)
            count = std::max(count, link->bufferCount_);
    SetBufferCount(count);
}

void TDataSet::MoveBuffer(int curIndex, int newIndex)
{
    if (curIndex == newIndex)
        return;
    auto first = buffers_.begin();
    if (newIndex < curIndex)
        std::rotate(first + newIndex, first + curIndex, first + curIndex + 1);
    else
        std::rotate(first + curIndex, first + curIndex + 1, first + newIndex + 1);
}

TRecordBuffer TDataSet::ActiveBuffer() const
{
    return buffers_.empty() ? nullptr : buffers_[size_t(activeRecord_)];
}

void TDataSet::ClearBuffers()
{
    recordCount_ = 0;
    activeRecord_ = 0;
    currentRecord_ = -1;
    bof_ = true;
    eof_ = true;
}

void TDataSet::ActivateBuffers()
{
    recordCount_ = 1;
    activeRecord_ = 0;
    currentRecord_ = 0;
    bof_ = false;
    eof_ = false;
}

void TDataSet::SetCurrentRecord(int index)
{
    if (currentRecord_ == index)
        return;
    TRecordBuffer buffer = buffers_[size_t(index)];
    switch (GetBookmarkFlag(buffer)) {
    case bfCurrent: case bfInserted: InternalSetToRecord(buffer); break;
    case bfBOF: InternalFirst(); break;
    case bfEOF: InternalLast(); break;
    }
    currentRecord_ = index;
}

void TDataSet::UpdateCursorPos()
{
    if (recordCount_ > 0)
        SetCurrentRecord(activeRecord_);
}

bool TDataSet::GetNextRecord()
{
    TGetMode mode = gmNext;
    if (recordCount_ > 0) {
        SetCurrentRecord(recordCount_ - 1);
        if (state_ == dsInsert && currentRecord_ == activeRecord_ &&
            GetBookmarkFlag(ActiveBuffer()) == bfCurrent)
            mode = gmCurrent;
    }
    const bool ok = GetRecord(buffers_[size_t(recordCount_)], mode, true) == grOK;
    if (!ok) {
        CursorPosChanged();
        return false;
    }
    if (recordCount_ == 0)
        ActivateBuffers();
    else if (recordCount_ < bufferCount_)
        ++recordCount_;
    else
        MoveBuffer(0, recordCount_);
    currentRecord_ = recordCount_ - 1;
    return true;
}

bool TDataSet::GetPriorRecord()
{
    if (recordCount_ > 0)
        SetCurrentRecord(0);
    const bool ok = GetRecord(buffers_[size_t(recordCount_)], gmPrior, true) == grOK;
    if (!ok) {
        CursorPosChanged();
        return false;
    }
    if (recordCount_ == 0) {
        ActivateBuffers();
    } else {
        MoveBuffer(recordCount_, 0);
        if (recordCount_ < bufferCount_) {
            ++recordCount_;
            ++activeRecord_;
        }
    }
    currentRecord_ = 0;
    return true;
}

int TDataSet::GetNextRecords()
{
    int n = 0;
    while (recordCount_ < bufferCount_ && GetNextRecord())
        ++n;
    return n;
}

int TDataSet::GetPriorRecords()
{
    int n = 0;
    while (recordCount_ < bufferCount_ && GetPriorRecord())
        ++n;
    return n;
}

void TDataSet::SetActiveRecord(int value)
{
    if (activeRecord_ == value)
        return;
    activeRecord_ = value;
}

// ---- Navigation ----

void TDataSet::First()
{
    CheckBrowseMode();
    DoBeforeScroll();
    ClearBuffers();
    try {
        InternalFirst();
        GetNextRecord();
        GetNextRecords();
    } catch (...) {
        bof_ = true;
        DataEvent(deDataSetChange);
        throw;
    }
    bof_ = true;
    DataEvent(deDataSetChange);
    DoAfterScroll();
}

void TDataSet::Last()
{
    CheckBrowseMode();
    DoBeforeScroll();
    ClearBuffers();
    try {
        InternalLast();
        GetPriorRecord();
        GetPriorRecords();
    } catch (...) {
        eof_ = true;
        DataEvent(deDataSetChange);
        throw;
    }
    eof_ = true;
    DataEvent(deDataSetChange);
    DoAfterScroll();
}

int TDataSet::MoveBy(int distance)
{
    CheckBrowseMode();
    int result = 0;
    DoBeforeScroll();
    if ((distance > 0 && !eof_) || (distance < 0 && !bof_)) {
        bof_ = false;
        eof_ = false;
        const int oldRecordCount = recordCount_;
        int scrollCount = 0;
        auto finish = [&] {
            if (recordCount_ != oldRecordCount)
                DataEvent(deDataSetChange);
            else
                DataEvent(deDataSetScroll, scrollCount);
        };
        try {
            while (distance > 0) {
                if (activeRecord_ < recordCount_ - 1) {
                    ++activeRecord_;
                } else {
                    const int step = recordCount_ < bufferCount_ ? 0 : 1;
                    if (!GetNextRecord()) {
                        eof_ = true;
                        break;
                    }
                    scrollCount -= step;
                }
                --distance;
                ++result;
            }
            while (distance < 0) {
                if (activeRecord_ > 0) {
                    --activeRecord_;
                } else {
                    const int step = recordCount_ < bufferCount_ ? 0 : 1;
                    if (!GetPriorRecord()) {
                        bof_ = true;
                        break;
                    }
                    scrollCount += step;
                }
                ++distance;
                --result;
            }
        } catch (...) {
            finish();
            throw;
        }
        finish();
        DoAfterScroll();
    }
    return result;
}

bool TDataSet::IsEmpty() const { return activeRecord_ >= recordCount_; }

void TDataSet::Resync(TResyncMode mode)
{
    CheckActive();
    TRecordBuffer spare = buffers_[size_t(recordCount_)];
    if (mode.Contains(rmExact)) {
        CursorPosChanged();
        if (GetRecord(spare, gmCurrent, true) != grOK)
            DatabaseError(DBConsts::SRecordNotFound);
    } else if (GetRecord(spare, gmCurrent, false) != grOK &&
               GetRecord(spare, gmNext, false) != grOK &&
               GetRecord(spare, gmPrior, false) != grOK) {
        ClearBuffers();
        DataEvent(deDataSetChange);
        return;
    }
    int count = mode.Contains(rmCenter) ? (bufferCount_ - 1) / 2 : activeRecord_;
    MoveBuffer(recordCount_, 0);
    ActivateBuffers();
    try {
        while (count > 0 && GetPriorRecord())
            --count;
        GetNextRecords();
        GetPriorRecords();
    } catch (...) {
        DataEvent(deDataSetChange);
        throw;
    }
    DataEvent(deDataSetChange);
}

void TDataSet::Refresh()
{
    CheckBrowseMode();
    DoBeforeRefresh();
    UpdateCursorPos();
    InternalRefresh();
    Resync({});
    DoAfterRefresh();
}

// ---- Editing ----

void TDataSet::CheckCanModify() const
{
    if (!CanModify())
        DatabaseError(DBConsts::SDataSetReadOnly);
}

void TDataSet::BeginInsertAppend()
{
    CheckBrowseMode();
    CheckCanModify();
    DoBeforeInsert();
    DoBeforeScroll();
}

void TDataSet::EndInsertAppend()
{
    SetState(dsInsert);
    try {
        DoOnNewRecord();
    } catch (...) {
        UpdateCursorPos();
        SetState(dsBrowse);
        Resync({});
        throw;
    }
    modified_ = false;
    DataEvent(deDataSetChange);
    DoAfterInsert();
    DoAfterScroll();
}

void TDataSet::InitRecord(TRecordBuffer buffer)
{
    InternalInitRecord(buffer);
    ClearCalcFields(buffer);
    SetBookmarkFlag(buffer, bfInserted);
}

void TDataSet::Insert()
{
    BeginInsertAppend();
    const TBookmarkStr oldCurrent = Bookmark();
    MoveBuffer(recordCount_, activeRecord_);
    TRecordBuffer buffer = ActiveBuffer();
    InitRecord(buffer);
    if (recordCount_ == 0)
        SetBookmarkFlag(buffer, bfBOF);
    else if (!oldCurrent.isEmpty())
        SetBookmarkData(buffer, oldCurrent.constData());
    if (recordCount_ < bufferCount_)
        ++recordCount_;
    InternalInsert();
    EndInsertAppend();
}

void TDataSet::Append()
{
    BeginInsertAppend();
    ClearBuffers();
    TRecordBuffer buffer = buffers_[0];
    InitRecord(buffer);
    SetBookmarkFlag(buffer, bfEOF);
    recordCount_ = 1;
    bof_ = false;
    GetPriorRecords();
    InternalInsert();
    EndInsertAppend();
}

void TDataSet::Edit()
{
    if (state_ == dsEdit || state_ == dsInsert)
        return;
    if (recordCount_ == 0) {
        Insert();
        return;
    }
    CheckBrowseMode();
    CheckCanModify();
    DoBeforeEdit();
    UpdateCursorPos();
    InternalEdit();
    GetCalcFields(ActiveBuffer());
    SetState(dsEdit);
    DataEvent(deRecordChange);
    DoAfterEdit();
}

void TDataSet::UpdateRecord()
{
    if (!IsWriteMode(state_))
        DatabaseError(DBConsts::SNotInsertOrEdit);
    DataEvent(deUpdateRecord);
}

void TDataSet::CheckRequiredFields()
{
    for (int i = 0; i < fields_.Count(); ++i) {
        TField *field = fields_[i];
        if (field->Required() && !field->ReadOnly() && field->FieldKind() == fkData &&
            field->IsNull()) {
            field->FocusControl();
            DatabaseError(DBConsts::SFieldRequired.arg(field->DisplayName()));
        }
    }
}

void TDataSet::InternalPost() { CheckRequiredFields(); }

void TDataSet::Post()
{
    UpdateRecord();
    if (state_ != dsEdit && state_ != dsInsert)
        return;
    DataEvent(deCheckBrowseMode);
    DoBeforePost();
    UpdateCursorPos();
    InternalPost();
    SetState(dsBrowse);
    Resync({});
    DoAfterPost();
}

void TDataSet::Cancel()
{
    if (state_ != dsEdit && state_ != dsInsert)
        return;
    DataEvent(deCheckBrowseMode);
    DoBeforeCancel();
    const bool scrollEvents = state_ == dsInsert;
    if (scrollEvents)
        DoBeforeScroll();
    UpdateCursorPos();
    InternalCancel();
    SetState(dsBrowse);
    Resync({});
    DoAfterCancel();
    if (scrollEvents)
        DoAfterScroll();
}

void TDataSet::Delete()
{
    CheckActive();
    if (state_ == dsInsert || state_ == dsSetKey) {
        Cancel();
        return;
    }
    if (recordCount_ == 0)
        DatabaseError(DBConsts::SDataSetEmpty);
    DataEvent(deCheckBrowseMode);
    DoBeforeDelete();
    DoBeforeScroll();
    UpdateCursorPos();
    InternalDelete();
    SetState(dsBrowse);
    Resync({});
    DoAfterDelete();
    DoAfterScroll();
}

void TDataSet::CheckBrowseMode()
{
    CheckActive();
    DataEvent(deCheckBrowseMode);
    switch (state_) {
    case dsEdit: case dsInsert:
        UpdateRecord();
        if (modified_)
            Post();
        else
            Cancel();
        break;
    case dsSetKey:
        Post();
        break;
    default:
        break;
    }
}

void TDataSet::ClearFields()
{
    if (state_ != dsEdit && state_ != dsInsert)
        DatabaseError(DBConsts::SNotInsertOrEdit);
    DataEvent(deCheckBrowseMode);
    TRecordBuffer buffer = ActiveBuffer();
    const TBookmarkFlag flag = GetBookmarkFlag(buffer);
    QByteArray bookmark(bookmarkSize_, 0);
    if (bookmarkSize_ > 0)
        GetBookmarkData(buffer, bookmark.data());
    InternalInitRecord(buffer);
    ClearCalcFields(buffer);
    SetBookmarkFlag(buffer, flag);
    if (bookmarkSize_ > 0)
        SetBookmarkData(buffer, bookmark.constData());
    GetCalcFields(buffer);
    modified_ = true;
    DataEvent(deRecordChange);
}

// ---- Bookmarks ----

bool TDataSet::BookmarkAvailable() const
{
    return (state_ == dsBrowse || state_ == dsEdit || state_ == dsInsert) && !IsEmpty() &&
           GetBookmarkFlag(ActiveBuffer()) == bfCurrent;
}

TBookmarkStr TDataSet::Bookmark() const
{
    if (!BookmarkAvailable() || bookmarkSize_ <= 0)
        return TBookmarkStr();
    TBookmarkStr bookmark(bookmarkSize_, 0);
    GetBookmarkData(ActiveBuffer(), bookmark.data());
    return bookmark;
}

void TDataSet::GotoBookmark(const TBookmark &bookmark)
{
    if (bookmark.isEmpty())
        return;
    CheckBrowseMode();
    DoBeforeScroll();
    InternalGotoBookmark(bookmark.constData());
    Resync({rmExact, rmCenter});
    DoAfterScroll();
}

bool TDataSet::BookmarkValid(const TBookmark &) const { return false; }

int TDataSet::CompareBookmarks(const TBookmark &, const TBookmark &) const { return 0; }

// ---- Filters ----

void TDataSet::SetFiltered(bool value) { filtered_ = value; }
void TDataSet::SetFilterText(const QString &text) { filterText_ = text; }
void TDataSet::SetFilterOptions(TFilterOptions options) { filterOptions_ = options; }
void TDataSet::SetOnFilterRecord(TFilterRecordEvent handler) { onFilterRecord_ = std::move(handler); }

bool TDataSet::FilterRecordAccepted(TRecordBuffer buffer)
{
    if (!onFilterRecord_)
        return true;
    const TDataSetState saved = SetTempState(dsFilter);
    TRecordBuffer savedBuffer = filterBuffer_;
    filterBuffer_ = buffer;
    bool accept = true;
    try {
        onFilterRecord_(this, accept);
    } catch (...) {
        filterBuffer_ = savedBuffer;
        RestoreState(saved);
        throw;
    }
    filterBuffer_ = savedBuffer;
    RestoreState(saved);
    return accept;
}

void TDataSet::SetBlockReadSize(int value)
{
    if (value > 0) {
        CheckActive();
        blockReadSize_ = value;
        SetState(dsBlockRead);
    } else {
        blockReadSize_ = 0;
        if (state_ == dsBlockRead)
            SetState(dsBrowse);
    }
}

// ---- Calculated fields ----

uint8_t *TDataSet::CalcFieldsArea(TRecordBuffer) const { return nullptr; }

void TDataSet::ClearCalcFields(TRecordBuffer buffer)
{
    if (uint8_t *area = buffer ? CalcFieldsArea(buffer) : nullptr)
        std::memset(area, 0, size_t(calcFieldsSize_));
}

void TDataSet::GetCalcFields(TRecordBuffer buffer)
{
    if (calcFieldsSize_ <= 0 && !internalCalcFields_)
        return;
    const TDataSetState saved = state_;
    state_ = dsCalcFields;
    try {
        CalculateFields(buffer);
    } catch (...) {
        state_ = saved;
        throw;
    }
    state_ = saved;
}

void TDataSet::CalculateFields(TRecordBuffer buffer)
{
    TRecordBuffer savedCalc = calcBuffer_;
    calcBuffer_ = buffer;
    try {
        if (state_ != dsInternalCalc) {
            ClearCalcFields(buffer);
            for (int i = 0; i < fields_.Count(); ++i)
                if (fields_[i]->FieldKind() == fkLookup)
                    fields_[i]->CalcLookupValue();
        }
        DoOnCalcFields();
    } catch (...) {
        calcBuffer_ = savedCalc;
        throw;
    }
    calcBuffer_ = savedCalc;
}

bool TDataSet::ReadCalcField(const uint8_t *area, const TField *field, void *buffer)
{
    const uint8_t *slot = area + field->Offset();
    if (slot[0] == 0)
        return false;
    if (buffer)
        std::memcpy(buffer, slot + 1, size_t(field->DataSize()));
    return true;
}

void TDataSet::WriteCalcField(uint8_t *area, const TField *field, const void *buffer)
{
    uint8_t *slot = area + field->Offset();
    slot[0] = buffer ? 1 : 0;
    if (buffer)
        std::memcpy(slot + 1, buffer, size_t(field->DataSize()));
    else
        std::memset(slot + 1, 0, size_t(field->DataSize()));
}

TRecordBuffer TDataSet::GetActiveRecordBuffer() const
{
    switch (state_) {
    case dsBrowse: return IsEmpty() ? nullptr : ActiveBuffer();
    case dsEdit: case dsInsert: case dsNewValue: case dsCurValue: case dsOldValue:
    case dsBlockRead:
        return ActiveBuffer();
    case dsCalcFields: case dsInternalCalc: return calcBuffer_;
    case dsFilter: return filterBuffer_;
    default: return nullptr;
    }
}

bool TDataSet::GetFieldData(TField *field, void *buffer) const
{
    if (!IsComputedKind(field->FieldKind()))
        return false;
    TRecordBuffer record = GetActiveRecordBuffer();
    const uint8_t *area = record ? CalcFieldsArea(record) : nullptr;
    return area && ReadCalcField(area, field, buffer);
}

void TDataSet::SetFieldData(TField *field, const void *buffer)
{
    if (!IsWriteMode(state_))
        DatabaseError(DBConsts::SNotEditing);
    if (!IsComputedKind(field->FieldKind()))
        DatabaseError(DBConsts::SFieldReadOnly.arg(field->DisplayName()));
    TRecordBuffer record = GetActiveRecordBuffer();
    uint8_t *area = record ? CalcFieldsArea(record) : nullptr;
    if (!area)
        return;
    field->Validate(buffer);
    WriteCalcField(area, field, buffer);
    if (state_ != dsCalcFields && state_ != dsFilter && state_ != dsNewValue)
        DataEvent(deFieldChange, reinterpret_cast<intptr_t>(field));
}

bool TDataSet::GetBlobData(TField *, QByteArray &) const { return false; }

void TDataSet::SetBlobData(TField *field, const QByteArray *)
{
    DatabaseError(DBConsts::SFieldReadOnly.arg(field->DisplayName()));
}

void TDataSet::InternalHandleException() {}

// ---- Controls and data events ----

void TDataSet::DisableControls()
{
    if (disableCount_ == 0) {
        disableState_ = state_;
        enableEvent_ = deDataSetChange;
    }
    ++disableCount_;
}

void TDataSet::EnableControls()
{
    if (disableCount_ == 0)
        return;
    if (--disableCount_ != 0)
        return;
    if (disableState_ != state_)
        DataEvent(deUpdateState);
    if (disableState_ != dsInactive && state_ != dsInactive)
        DataEvent(enableEvent_);
}

void TDataSet::DataEvent(TDataEvent event, intptr_t info)
{
    bool notify = !(ControlsDisabled() || state_ == dsBlockRead);
    switch (event) {
    case deFieldChange: {
        auto *field = reinterpret_cast<TField *>(info);
        if (field->FieldKind() == fkData || field->FieldKind() == fkInternalCalc)
            modified_ = true;
        if (state_ != dsSetKey) {
            if (calcFieldsSize_ != 0 && autoCalcFields_ && field->FieldKind() == fkData)
                GetCalcFields(ActiveBuffer());
            field->Change();
        }
        break;
    }
    case deLayoutChange:
        if (ControlsDisabled())
            enableEvent_ = deLayoutChange;
        break;
    case deUpdateState:
        if (ControlsDisabled()) {
            event = deDisabledStateChange;
            info = state_ != dsInactive ? 1 : 0;
            notify = true;
            if (info == 0)
                disableState_ = dsInactive;
        }
        break;
    default:
        break;
    }
    if (!notify)
        return;
    const std::vector<TDataSource *> sources = dataSources_;
    for (TDataSource *source : sources)
        source->DataEvent(event, info);
}

void TDataSet::RegisterDataSource(TDataSource *source)
{
    dataSources_.push_back(source);
    UpdateBufferCount();
}

void TDataSet::UnregisterDataSource(TDataSource *source)
{
    dataSources_.erase(std::remove(dataSources_.begin(), dataSources_.end(), source),
                       dataSources_.end());
}

// ---- Event steps ----

void TDataSet::DoAfterOpen() { CallEvent(AfterOpen); }
void TDataSet::DoBeforeOpen() { CallEvent(BeforeOpen); }
void TDataSet::DoAfterClose() { CallEvent(AfterClose); }
void TDataSet::DoBeforeClose() { CallEvent(BeforeClose); }
void TDataSet::DoBeforeInsert() { CallEvent(BeforeInsert); }
void TDataSet::DoAfterInsert() { CallEvent(AfterInsert); }
void TDataSet::DoBeforeEdit() { CallEvent(BeforeEdit); }
void TDataSet::DoAfterEdit() { CallEvent(AfterEdit); }
void TDataSet::DoBeforePost() { CallEvent(BeforePost); }
void TDataSet::DoAfterPost() { CallEvent(AfterPost); }
void TDataSet::DoBeforeCancel() { CallEvent(BeforeCancel); }
void TDataSet::DoAfterCancel() { CallEvent(AfterCancel); }
void TDataSet::DoBeforeDelete() { CallEvent(BeforeDelete); }
void TDataSet::DoAfterDelete() { CallEvent(AfterDelete); }
void TDataSet::DoBeforeScroll() { CallEvent(BeforeScroll); }
void TDataSet::DoAfterScroll() { CallEvent(AfterScroll); }
void TDataSet::DoBeforeRefresh() { CallEvent(BeforeRefresh); }
void TDataSet::DoAfterRefresh() { CallEvent(AfterRefresh); }
void TDataSet::DoOnNewRecord() { CallEvent(OnNewRecord); }
void TDataSet::DoOnCalcFields() { CallEvent(OnCalcFields); }

} // namespace zorbel
