// TDataSet's editing: insert, append, edit, post, cancel and delete, with
// their events and the checks that guard them.
#include "platform/dataset/DataSet.h"
#include "platform/dataset/DataSetPrivate.h"

#include "platform/dataset/DBConsts.h"
#include "platform/dataset/DataSource.h"
#include "platform/rtl/Exceptions.h"

namespace zorbel {

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

} // namespace zorbel
