// TDataSet: the navigational dataset contract shared by the SQL tables and
// queries, the memory table and the test datasets.
//
// Record-buffer ring. The dataset keeps BufferCount record buffers (at least
// one; data links ask for more, a grid for one per visible row) plus one
// spare at index RecordCount that GetRecord fills before the ring takes it:
//
//   Buffers:  [0] [1] ... [RecordCount-1]  [RecordCount] ... [BufferCount]
//              ^ window of fetched records   ^ spare (TempBuffer)
//
// ActiveRecord indexes the buffer of the current record. CurrentRecord is the
// buffer that the descendant's cursor stands on (-1 when unknown); before
// moving, the framework re-synchronises the cursor with InternalSetToRecord,
// InternalFirst or InternalLast according to the buffer's bookmark flag.
// Scrolling past the window fetches with GetRecord (gmNext/gmPrior) into the
// spare and rotates the ring.
//
// A descendant implements the Internal* operations, the buffer operations
// (AllocRecordBuffer, FreeRecordBuffer, InternalInitRecord, GetRecord,
// bookmark data and flags), GetFieldData/SetFieldData, and calls, from
// InternalOpen: InternalInitFieldDefs; CreateFields when DefaultFields;
// BindFields(true); and from InternalClose: BindFields(false); DestroyFields
// when DefaultFields.
//
// Calculated and lookup fields live in a calculated-field area of
// CalcFieldsSize bytes that the descendant keeps in each record buffer: a
// slot per field at its Offset, a null byte followed by the native value.
// ReadCalcField/WriteCalcField read and write such a slot.
//
// Data events go to the registered data sources unless controls are
// disabled; DisableControls/EnableControls nest, and the outermost enable
// sends one dataset-change (or layout-change) event.
#pragma once

#include "platform/dataset/DBTypes.h"
#include "platform/dataset/FieldDefs.h"
#include "platform/dataset/Fields.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

namespace zorbel {

class TDataSource;
class TDataLink;

using TBookmark = TBookmarkStr;

class TDataSet {
public:
    using TDataSetNotifyEvent = std::function<void(TDataSet *dataSet)>;
    using TFilterRecordEvent = std::function<void(TDataSet *dataSet, bool &accept)>;

    TDataSet();
    virtual ~TDataSet();
    TDataSet(const TDataSet &) = delete;
    TDataSet &operator=(const TDataSet &) = delete;

    // Component name (used by the program to tell datasets apart).
    const QString &Name() const { return name_; }
    void SetName(const QString &name) { name_ = name; }
    // A number the program attaches to the dataset (shared handlers use it).
    long Tag() const { return tag_; }
    void SetTag(long tag) { tag_ = tag; }

    // Opening and closing.
    bool Active() const { return state_ != dsInactive; }
    virtual void SetActive(bool value);
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }
    TDataSetState State() const { return state_; }
    bool Modified() const { return modified_; }
    void SetModified(bool value) { modified_ = value; }
    bool DefaultFields() const { return defaultFields_; }
    bool AutoCalcFields() const { return autoCalcFields_; }
    void SetAutoCalcFields(bool value) { autoCalcFields_ = value; }
    bool CanModify() const { return GetCanModify(); }
    // Reads the field definitions from the data source (InternalInitFieldDefs)
    // while closed; an open dataset's definitions are current.
    void InitFieldDefs();

    // Definitions and fields.
    TFieldDefs &FieldDefs() { return fieldDefs_; }
    const TFieldDefs &FieldDefs() const { return fieldDefs_; }
    TFields &Fields() { return fields_; }
    const TFields &Fields() const { return fields_; }
    int FieldCount() const { return fields_.Count(); }
    TField *FieldByName(const QString &name) const { return fields_.FieldByName(name); }
    TField *FindField(const QString &name) const { return fields_.FindField(name); }
    TField *FieldByNumber(int fieldNo) const { return fields_.FieldByNumber(fieldNo); }
    QStringList GetFieldNames() const;
    // The fields named in "A;B" in that order; raises "Field '%s' not found".
    std::vector<TField *> GetFieldList(const QString &fieldNames) const;
    // Declares a persistent field of class F on a closed dataset; the dataset
    // owns it. Calculated and lookup fields need a size for string values.
    template <class F, class... Args>
    F *AddField(const QString &name, TFieldKind kind = fkData, Args &&...args)
    {
        auto field = std::make_unique<F>(std::forward<Args>(args)...);
        F *result = field.get();
        AddFieldObject(std::move(field), name, kind);
        return result;
    }
    // Removes and frees a persistent field of a closed dataset.
    void RemoveField(TField *field);
    // Value of one field, or for "A;B" an array of values.
    Variant FieldValues(const QString &fieldNames) const;
    void SetFieldValues(const QString &fieldNames, const Variant &value);

    // Navigation.
    void First();
    void Last();
    void Next() { MoveBy(1); }
    void Prior() { MoveBy(-1); }
    // Moves by distance records; returns the number actually moved.
    int MoveBy(int distance);
    bool Bof() const { return bof_; }
    bool Eof() const { return eof_; }
    bool IsEmpty() const;
    // 1-based record number, -1 when unknown; and the record count (-1 when
    // the descendant cannot tell).
    int RecNo() const { return GetRecNo(); }
    void SetRecNo(int value) { SetRecNoImpl(value); }
    int RecordCount() const { return GetRecordCount(); }
    // Refills the buffers around the cursor record.
    void Resync(TResyncMode mode);
    void Refresh();
    // Editing.
    void Insert();
    void Append();
    void Edit();
    void Post();
    void Cancel();
    void Delete();
    // Posts a modified edit or insert, cancels an unmodified one.
    void CheckBrowseMode();
    // Asks the controls to write their pending values (deUpdateRecord).
    void UpdateRecord();
    // Inserts or appends a whole record with the values in field order.
    void InsertRecord(const std::vector<Variant> &values);
    void AppendRecord(const std::vector<Variant> &values);
    void ClearFields();

    // Bookmarks.
    TBookmarkStr Bookmark() const;
    void SetBookmark(const TBookmarkStr &bookmark) { GotoBookmark(bookmark); }
    TBookmark GetBookmark() const { return Bookmark(); }
    void GotoBookmark(const TBookmark &bookmark);
    void FreeBookmark(TBookmark &bookmark) const { bookmark.clear(); }
    bool BookmarkAvailable() const;
    virtual bool BookmarkValid(const TBookmark &bookmark) const;
    // -1, 0 or 1; the base knows no order and answers 0.
    virtual int CompareBookmarks(const TBookmark &a, const TBookmark &b) const;

    // Searching.
    virtual bool Locate(const QString &keyFields, const Variant &keyValues,
                        TLocateOptions options);
    virtual Variant Lookup(const QString &keyFields, const Variant &keyValues,
                           const QString &resultFields);

    // Filtering.
    const QString &Filter() const { return filterText_; }
    void SetFilter(const QString &text) { SetFilterText(text); }
    bool Filtered() const { return filtered_; }
    // The setters of Filtered and Filter; the base stores the value, a
    // descendant re-reads its records.
    virtual void SetFiltered(bool value);
    virtual void SetFilterText(const QString &text);
    TFilterOptions FilterOptions() const { return filterOptions_; }
    virtual void SetFilterOptions(TFilterOptions options);
    const TFilterRecordEvent &OnFilterRecord() const { return onFilterRecord_; }
    virtual void SetOnFilterRecord(TFilterRecordEvent handler);

    // Controls.
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return disableCount_ != 0; }
    // Marks the dataset as walked by a run on another thread, from its start
    // to its end (both on the window thread, which alone reads the mark).
    // Moving through the records writes the dataset's buffers and active
    // record, so a control that shows the dataset reads and writes nothing of
    // it while the mark is set: a paint in between would move the record
    // under the run (which then prints another row) and read buffers the run
    // is rewriting. Nests; the run's controls are disabled as well, so the
    // outermost EnableControls after the run repaints them.
    void BeginRunWalk() { ++runWalks_; }
    void EndRunWalk()
    {
        if (runWalks_ > 0)
            --runWalks_;
    }
    bool WalkedByRun() const { return runWalks_ != 0; }
    // Sends a data event to the data sources (suppressed while disabled).
    virtual void DataEvent(TDataEvent event, intptr_t info = 0);

    // The field value buffers a descendant serves: false for null. The base
    // reads calculated and lookup fields from the calculated-field area of
    // the buffer the state selects (GetActiveRecordBuffer) and reports data
    // fields as null.
    virtual bool GetFieldData(TField *field, void *buffer) const;
    // The variant a descendant keeps for a data field of the record
    // GetFieldData would read, so that a field can share a text instead of
    // passing it through its native buffer; nullptr when it keeps none (the
    // base keeps none).
    virtual const Variant *StoredFieldValue(const TField *field) const { (void)field; return nullptr; }
    // Writes a text (already cut to the field's size) into a calculated or
    // lookup string field while the record's computed fields are filled,
    // without the native buffer; false when this dataset cannot (the field
    // then writes its native buffer). Not used while OnValidate is set.
    virtual bool StoreCalcText(TField *field, const QString &text) { (void)field; (void)text; return false; }
    virtual void SetFieldData(TField *field, const void *buffer);
    // Writes a data field's value as the variant Value where the descendant
    // keeps variants (StoredFieldValue), Buffer being its native form (for
    // OnValidate); the base writes Buffer (SetFieldData). Date-time fields
    // set so keep a stamp that is no whole millisecond.
    virtual void SetFieldDataExact(TField *field, const void *buffer, const Variant &value)
    {
        (void)value;
        SetFieldData(field, buffer);
    }
    virtual bool GetBlobData(TField *field, QByteArray &data) const;
    virtual void SetBlobData(TField *field, const QByteArray *data);
    // Whether the field belongs to the current index.
    virtual bool GetIsIndexField(TField *field) const { (void)field; return false; }
    virtual bool IsSequenced() const { return true; }
    // Change state of the active record; the base knows none.
    virtual TUpdateStatus UpdateStatus() const { return usUnmodified; }
    // Records read in a block without notifying controls; 0 ends block reading.
    int BlockReadSize() const { return blockReadSize_; }
    virtual void SetBlockReadSize(int value);

    // Buffers.
    TRecordBuffer ActiveBuffer() const;
    TRecordBuffer TempBuffer() const { return buffers_.empty() ? nullptr : buffers_[size_t(recordCount_)]; }
    TRecordBuffer CalcBuffer() const { return calcBuffer_; }
    int BufferCount() const { return bufferCount_; }
    int CalcFieldsSize() const { return calcFieldsSize_; }

    // Events.
    TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
    TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
    TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
    TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
    TDataSetNotifyEvent BeforeRefresh, AfterRefresh;
    TDataSetNotifyEvent OnNewRecord, OnCalcFields;

protected:
    // Record buffers; the descendant owns their layout.
    virtual TRecordBuffer AllocRecordBuffer() = 0;
    virtual void FreeRecordBuffer(TRecordBuffer &buffer) = 0;
    virtual void InternalInitRecord(TRecordBuffer buffer) = 0;
    virtual TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck) = 0;
    virtual int GetRecordSize() const { return 0; }
    // Bookmarks of buffers; data is BookmarkSize bytes.
    virtual void GetBookmarkData(TRecordBuffer buffer, void *data) const = 0;
    virtual void SetBookmarkData(TRecordBuffer buffer, const void *data) = 0;
    virtual TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) const = 0;
    virtual void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) = 0;
    // Cursor operations.
    virtual void InternalOpen() = 0;
    virtual void InternalClose() = 0;
    virtual bool IsCursorOpen() const = 0;
    virtual void InternalFirst() = 0;
    virtual void InternalLast() = 0;
    virtual void InternalGotoBookmark(const void *bookmark) = 0;
    virtual void InternalSetToRecord(TRecordBuffer buffer) = 0;
    virtual void InternalInitFieldDefs() {}
    virtual void InternalHandleException();
    // Editing operations.
    virtual void InternalAddRecord(TRecordBuffer buffer, bool append) = 0;
    virtual void InternalDelete() = 0;
    virtual void InternalPost();
    virtual void InternalCancel() {}
    virtual void InternalEdit() {}
    virtual void InternalInsert() {}
    virtual void InternalRefresh() {}
    // Counting and positioning.
    virtual int GetRecordCount() const { return -1; }
    virtual int GetRecNo() const { return -1; }
    virtual void SetRecNoImpl(int value) { (void)value; }
    virtual bool GetCanModify() const { return true; }
    virtual void CheckActive() const;
    virtual void CheckInactive() const;
    // Zero-fills the calculated-field area of buffer (all calculated fields null).
    virtual void ClearCalcFields(TRecordBuffer buffer);
    // The calculated-field area of a buffer; the base has none (nullptr).
    virtual uint8_t *CalcFieldsArea(TRecordBuffer buffer) const;
    // A calculated or lookup field's slot of a record (whose area exists):
    // read as ReadCalcField, written as WriteCalcField. A descendant may keep
    // the values elsewhere, the area's null byte still telling null.
    virtual bool ReadCalcSlot(TRecordBuffer record, const TField *field, void *buffer) const;
    virtual void WriteCalcSlot(TRecordBuffer record, const TField *field, const void *buffer);
    // The record buffer that fields read in the current state (nullptr: none).
    virtual TRecordBuffer GetActiveRecordBuffer() const;
    // For a descendant's destructor: closes without the close events. A
    // descendant that may be destroyed open must call it, since the base
    // destructor can no longer reach the descendant's buffer operations.
    void CloseForDestroy();

    // Event steps a descendant may extend.
    virtual void DoAfterOpen();
    virtual void DoBeforeOpen();
    virtual void DoAfterClose();
    virtual void DoBeforeClose();
    virtual void DoBeforeInsert();
    virtual void DoAfterInsert();
    virtual void DoBeforeEdit();
    virtual void DoAfterEdit();
    virtual void DoBeforePost();
    virtual void DoAfterPost();
    virtual void DoBeforeCancel();
    virtual void DoAfterCancel();
    virtual void DoBeforeDelete();
    virtual void DoAfterDelete();
    virtual void DoBeforeScroll();
    virtual void DoAfterScroll();
    virtual void DoBeforeRefresh();
    virtual void DoAfterRefresh();
    virtual void DoOnNewRecord();
    virtual void DoOnCalcFields();

    // Helpers for descendants.
    // Makes default fields from FieldDefs.
    void CreateFields();
    // Frees the default fields.
    void DestroyFields();
    // Binds (or unbinds) fields to the definitions: FieldNo of data fields,
    // Offset and CalcFieldsSize of calculated and lookup fields. Raises
    // "Field '%s' not found" for a data field without definition and a type
    // mismatch for a definition of another type.
    void BindFields(bool binding);
    // Computes calculated and lookup fields of buffer (state dsCalcFields).
    void GetCalcFields(TRecordBuffer buffer);
    void CalculateFields(TRecordBuffer buffer);
    void InitRecord(TRecordBuffer buffer);
    // Runs the OnFilterRecord handler for buffer in state dsFilter.
    bool FilterRecordAccepted(TRecordBuffer buffer);
    // Reads and writes a calculated field's slot in an area.
    static bool ReadCalcField(const uint8_t *area, const TField *field, void *buffer);
    static void WriteCalcField(uint8_t *area, const TField *field, const void *buffer);
    void SetState(TDataSetState value);
    // Closes after a failure that left the cursor unusable: state inactive,
    // cursor closed, without the close events.
    void CloseAfterFailure();
    // Changes the state without data events (for short internal switches).
    TDataSetState SetTempState(TDataSetState value);
    void RestoreState(TDataSetState value);
    void CursorPosChanged() { currentRecord_ = -1; }
    void UpdateCursorPos();
    void ClearBuffers();
    void ActivateBuffers();
    // The buffer a field-level search reads in state dsFilter.
    TRecordBuffer FilterBuffer() const { return filterBuffer_; }
    TRecordBuffer Buffers(int index) const { return buffers_[size_t(index)]; }
    int RecordBufferCount() const { return recordCount_; }
    int ActiveRecordIndex() const { return activeRecord_; }
    int CurrentRecordIndex() const { return currentRecord_; }
    int BookmarkSize() const { return bookmarkSize_; }
    void SetBookmarkSize(int size) { bookmarkSize_ = size; }
    bool InternalOpenComplete() const { return internalOpenComplete_; }
    // Generic search: the first record (in cursor order, passing the
    // descendant's GetRecord checks) whose key fields match, fetched into
    // TempBuffer; the cursor is left on it. Returns false when none matches.
    // A pending edit stays pending (Locate settles it first; Lookup, which
    // lookup fields call while their dataset may be editing, does not).
    bool LocateRecord(const QString &keyFields, const Variant &keyValues, TLocateOptions options);

private:
    friend class TDataLink;
    friend class TDataSource;
    friend class TField;
    friend class TFieldDef;

    void AddFieldObject(std::unique_ptr<TField> field, const QString &name, TFieldKind kind);
    void OpenCursor();
    void CloseCursor();
    void SetBufListSize(int value);
    void SetBufferCount(int value);
    void UpdateBufferCount();
    bool GetNextRecord();
    bool GetPriorRecord();
    int GetNextRecords();
    int GetPriorRecords();
    void SetCurrentRecord(int index);
    // Moves the buffer at curIndex to newIndex, shifting those between.
    void MoveBuffer(int curIndex, int newIndex);
    void BeginInsertAppend();
    void EndInsertAppend();
    void CheckCanModify() const;
    void CheckRequiredFields();
    void FreeFieldBuffers() {}
    void CallEvent(const TDataSetNotifyEvent &event) { if (event) event(this); }
    void RegisterDataSource(TDataSource *source);
    void UnregisterDataSource(TDataSource *source);
    void SetActiveRecord(int value);
    void AddRecord(const std::vector<Variant> &values, bool append);

    QString name_;
    long tag_ = 0;
    TDataSetState state_ = dsInactive;
    bool modified_ = false;
    bool bof_ = true;
    bool eof_ = true;
    bool defaultFields_ = false;
    bool autoCalcFields_ = true;
    bool internalOpenComplete_ = false;
    bool internalCalcFields_ = false;
    bool destroying_ = false;
    TFieldDefs fieldDefs_;
    TFields fields_;
    std::vector<TRecordBuffer> buffers_;
    int bufferCount_ = 0;
    int recordCount_ = 0;
    int activeRecord_ = 0;
    int currentRecord_ = -1;
    int bookmarkSize_ = 0;
    int blockReadSize_ = 0;
    int calcFieldsSize_ = 0;
    TRecordBuffer calcBuffer_ = nullptr;
    TRecordBuffer filterBuffer_ = nullptr;
    int disableCount_ = 0;
    int runWalks_ = 0;
    TDataSetState disableState_ = dsInactive;
    TDataEvent enableEvent_ = deDataSetChange;
    QString filterText_;
    bool filtered_ = false;
    TFilterOptions filterOptions_;
    TFilterRecordEvent onFilterRecord_;
    std::vector<TDataSource *> dataSources_;
};

// Raises EDatabaseError with the message.
[[noreturn]] void DatabaseError(const QString &message);

// Controls of a dataset stay disabled while this lives.
class TControlsOff {
public:
    explicit TControlsOff(TDataSet &dataSet) : dataSet_(dataSet) { dataSet_.DisableControls(); }
    ~TControlsOff() { dataSet_.EnableControls(); }
    TControlsOff(const TControlsOff &) = delete;
    TControlsOff &operator=(const TControlsOff &) = delete;

private:
    TDataSet &dataSet_;
};

} // namespace zorbel
