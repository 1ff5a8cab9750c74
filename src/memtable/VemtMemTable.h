// The memory table: a dataset whose records live in a record store
// (TVemtCommon) and are shown in the order of one of its indexes
// (TVemtIndexes). Filled with Append/Insert and Post, emptied by EmptyTable or
// by closing, ordered by Sort, restricted by Filter and searched by Locate.
//
// Record buffers are records of the store's layout (see VemtCommon.h). In a
// buffer:
//   header Position    place of the record in the current index, -1 unknown
//   header SlotIndex   slot of the stored record it shows, -1 for a new one
//   header Serial      serial of that stored record
//   header Reserved    low byte: the buffer's bookmark flag (TBookmarkFlag)
//   bookmark entry     at BookmarkStart + 8 x attach slot: the record it refers
//                      to as 32-bit SlotIndex, 32-bit Serial
//
// A bookmark is 12 bytes: the store's DataID, the SlotIndex and the Serial.
// It is resolved through the store's slot list and valid only while that slot
// holds the record with that serial and the store has not been emptied since
// (emptying draws a new DataID); a stale bookmark never reaches freed memory.
//
// Out-of-line values (blobs; long texts when Performance is not mtpfFast)
// live in the store's value blocks: a buffer's slot names a block only when
// the buffer owns it (a value written since it was fetched); otherwise the
// value is the stored record's.
//
// Cursor: a position in the current index's entry list; -1 is before the
// first entry, Count() after the last. An index that is not Ordered (indexes
// disabled while filling, or marked for rebuilding) is rebuilt before any
// cursor operation reads it; while indexes are disabled, posts place new
// records into the current index as a rebuild would, so it stays Ordered.
//
// Filters: the Filter text is parsed once (TExprParser) into a tree that
// EvaluateFilter walks for each record under test, reading fields straight
// from the store record. Nulls follow SQL's three-valued logic: a comparison
// with a null side is false, "and"/"or" with a null operand take the known
// side's result ("or" with one null side gives the other side's result, "and"
// gives false when one side is false, else null), and a null result hides the
// record without raising. The program's own filters ("y > 2005", amounts
// compared and joined by "and") meet no null operand, since a comparison is
// never null; for any other text the rule keeps a record that passes one
// side of an "or", which taking a null side as false for the whole "or"
// would hide.
#pragma once

#include "memtable/VemtCommon.h"
#include "memtable/VemtIndexes.h"
#include "platform/dataset/DataSet.h"
#include "platform/dataset/FilterExpr.h"

#include <QString>
#include <functional>
#include <memory>

namespace zorbel {

class TVemtCustomMemTable : public TDataSet, public TVemtTableLink {
public:
    using TVemtProgressEvent = std::function<void(TVemtCustomMemTable *table, int percent, TVemtProgressCode code)>;

    TVemtCustomMemTable();
    ~TVemtCustomMemTable() override;

    // Form loading: between BeginLoading and Loaded an Active set by the form
    // is ignored when DesignActivation is false.
    void BeginLoading();
    void Loaded();
    void SetActive(bool value) override;

    // Removes every record; fields, indexes, sort and filter stay.
    void EmptyTable();
    // Orders the table by SortFields with SortOptions and keeps that order
    // (also for records added later) until the table closes.
    void Sort();
    // Reports progress through OnProgress when code is in ProgressFlags.
    virtual void Progress(int percent, TVemtProgressCode code) override;

    // Settings.
    const QString &SortFields() const { return sortFields_; }
    void SetSortFields(const QString &value) { sortFields_ = value; }
    TVemtMemTableCompareOptions SortOptions() const { return sortOptions_; }
    void SetSortOptions(TVemtMemTableCompareOptions value) { sortOptions_ = value; }
    const QString &IndexFieldNames() const { return indexFieldNames_; }
    void SetIndexFieldNames(const QString &value);
    const QString &IndexName() const { return indexName_; }
    void SetIndexName(const QString &value);
    TIndexDefs &IndexDefs() { return indexDefs_; }
    bool EnableIndexes() const override { return enableIndexes_; }
    void SetEnableIndexes(bool value) { enableIndexes_ = value; }
    bool AutoReposition() const { return autoReposition_; }
    void SetAutoReposition(bool value) { autoReposition_ = value; }
    bool RecalcOnIndex() const override { return recalcOnIndex_; }
    void SetRecalcOnIndex(bool value) override { recalcOnIndex_ = value; }
    bool RecalcOnFetch() const { return recalcOnFetch_; }
    void SetRecalcOnFetch(bool value) { recalcOnFetch_ = value; }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool value) { readOnly_ = value; }
    bool DesignActivation() const { return designActivation_; }
    void SetDesignActivation(bool value) { designActivation_ = value; }
    bool AttachedAutoRefresh() const { return attachedAutoRefresh_; }
    void SetAttachedAutoRefresh(bool value) { attachedAutoRefresh_ = value; }
    int AttachMaxCount() const { return store_->AttachMaxCount(); }
    void SetAttachMaxCount(int value) { store_->SetAttachMaxCount(value); }
    int AutoIncMinValue() const { return store_->AutoIncMinValue(); }
    void SetAutoIncMinValue(int value) { store_->SetAutoIncMinValue(value); }
    TVemtPerformance Performance() const { return store_->Performance(); }
    void SetPerformance(TVemtPerformance value) { store_->SetPerformance(value); }
    bool Standalone() const { return store_->Standalone(); }
    void SetStandalone(bool value) { store_->SetStandalone(value); }
    int LocaleID() const { return store_->LocaleID(); }
    void SetLocaleID(int value) { store_->SetLocaleID(value); }
    // Bit n set: progress code n reports.
    unsigned ProgressFlags() const { return progressFlags_; }
    void SetProgressFlags(unsigned value) { progressFlags_ = value; }
    QString Version() const { return QStringLiteral("3.07"); }
    void SetVersion(const QString &) {}
    // Whether the last Locate found a record.
    bool Found() const { return found_; }

    TVemtProgressEvent OnProgress;

    // Filters.
    void SetFiltered(bool value) override;
    void SetFilterText(const QString &text) override;
    // Parses text into the filter tree (a blank text leaves none).
    void BuildFilterTree(const QString &text, TFilterOptions options);
    void FreeFilterTree() { filterTree_.reset(); }
    bool HasFilterTree() const { return filterTree_ != nullptr; }
    bool IsFilterActive() const;
    // The record test; force applies the filter even when not Filtered.
    bool AcceptRecord(TVemtRecord *record, bool force);
    // The filter tree's truth value for the store record.
    bool EvaluateFilter(TVemtRecord *record);

    // Searching.
    bool Locate(const QString &keyFields, const Variant &keyValues, TLocateOptions options) override;
    Variant Lookup(const QString &keyFields, const Variant &keyValues, const QString &resultFields) override;
    // Position in the current index of the first visible record whose key
    // fields hold the values, or -1. settle: post or cancel a pending edit first.
    int LocateRecord(const QString &keyFields, const Variant &keyValues, TLocateOptions options,
                     bool settle = true);
    // Fills the key fields' slots of a record with the values (one value, or an
    // array with one element per field).
    void SetRecordKeyValues(TVemtRecord *record, const QString &keyFields, const Variant &keyValues);
    // Stores one value, converted to the field's type, into its slot.
    void SetRecordFieldValue(TVemtRecord *record, TField *field, const Variant &value);
    static bool SameFields(const TVemtFieldList &a, const TVemtFieldList &b);

    // Bookmarks.
    bool BookmarkValid(const TBookmark &bookmark) const override;
    int CompareBookmarks(const TBookmark &a, const TBookmark &b) const override;

    // Field values.
    bool GetFieldData(TField *field, void *buffer) const override;
    void SetFieldData(TField *field, const void *buffer) override;
    bool GetBlobData(TField *field, QByteArray &data) const override;
    void SetBlobData(TField *field, const QByteArray *data) override;
    bool GetIsIndexField(TField *field) const override;
    bool IsSequenced() const override { return !Filtered(); }
    TUpdateStatus UpdateStatus() const override;
    void SetBlockReadSize(int value) override;

    // TVemtTableLink.
    TDataSet &DataSet() override { return *this; }
    TVemtCommon &Store() override { return *store_; }
    TFieldDefs &LayoutFieldDefs() override { return FieldDefs(); }
    int CalcAreaSize() const override { return CalcFieldsSize(); }
    bool IsOpen() const override { return cursorOpen_; }
    bool IsBrowsing() const override { return State() == dsBrowse; }
    void CloseTable() override { Close(); }
    void RefreshTable() override { Refresh(); }
    void PrepareEmpty() override;
    void SetAttachSlot(int slot) override { attachSlot_ = slot; }
    TVemtIndexes &Indexes() override { return *indexes_; }
    TVemtIndex *CurrentIndex() const override { return currentIndex_; }
    int CursorPosition() const override { return position_; }
    void SetCursorPosition(int position) override { position_ = position; }
    void CalcRecordFields(TVemtRecord *record) override;
    bool IsFiltering() const override { return IsFilterActive(); }
    bool AcceptRecord(TVemtRecord *record) override { return AcceptRecord(record, false); }
    void SwitchIndex(TVemtIndex *index) override;

    // Cursor primitives.
    virtual void SetCursorBeforeFirst() { position_ = -1; }
    virtual void SetCursorAfterLast();
    // Move to the next (prior) record that passes the record test.
    virtual bool MoveToNextAccepted(bool force);
    virtual bool MoveToPriorAccepted(bool force);

protected:
    TRecordBuffer AllocRecordBuffer() override;
    void FreeRecordBuffer(TRecordBuffer &buffer) override;
    void InternalInitRecord(TRecordBuffer buffer) override;
    TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck) override;
    int GetRecordSize() const override { return store_->RecordSize(); }
    void GetBookmarkData(TRecordBuffer buffer, void *data) const override;
    void SetBookmarkData(TRecordBuffer buffer, const void *data) override;
    TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) const override;
    void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) override;
    void InternalOpen() override;
    void InternalClose() override;
    bool IsCursorOpen() const override { return cursorOpen_; }
    void InternalFirst() override;
    void InternalLast() override;
    void InternalGotoBookmark(const void *bookmark) override;
    void InternalSetToRecord(TRecordBuffer buffer) override;
    void InternalInitFieldDefs() override;
    void InternalAddRecord(TRecordBuffer buffer, bool append) override;
    void InternalDelete() override;
    void InternalPost() override;
    void InternalCancel() override;
    int GetRecordCount() const override;
    int GetRecNo() const override;
    void SetRecNoImpl(int value) override;
    bool GetCanModify() const override { return !readOnly_; }
    uint8_t *CalcFieldsArea(TRecordBuffer buffer) const override;
    TRecordBuffer GetActiveRecordBuffer() const override;

    void DoAfterOpen() override;
    void DoBeforeClose() override;
    void DoBeforeInsert() override;
    void DoAfterPost() override;
    void DoAfterDelete() override;

private:
    static constexpr int kBookmarkBytes = 12; // DataID, SlotIndex, Serial

    static TVemtRecord *Rec(TRecordBuffer buffer) { return reinterpret_cast<TVemtRecord *>(buffer); }
    // The record a bookmark names, or null when it is stale.
    TVemtRecord *ResolveBookmark(const void *bookmark) const;
    // The stored record a buffer shows, or null.
    TVemtRecord *StoredRecord(const TVemtRecord *buffer) const;
    std::uint8_t *BookmarkEntry(TVemtRecord *buffer) const;
    // Rebuilds the current index when it is not Ordered.
    void EnsureOrdered() const;
    // Stores the active buffer as a new record at the insert position.
    void PostNewRecord(TVemtRecord *buffer, bool append);
    // Finds the posted record again when the index was rebuilt meanwhile.
    void ReplaceCursor(TVemtRecord *stored);
    void ApplyIndexNames();
    // Out-of-line values. A record buffer owns the value blocks named in its
    // slots (fetching copies no handles: an unchanged value is read from the
    // stored record with the buffer's SlotIndex); a field write gives the
    // buffer a block of its own, which a post hands to the store.
    void ReleaseOwnValues(TVemtRecord *record) const;
    // The value of an out-of-line field of the record; false for null.
    bool ReadOutOfLine(const TVemtRecord *record, const TField *field, QByteArray *bytes) const;
    // Replaces the record's own value block of the field (null: none).
    void WriteOutOfLine(TVemtRecord *record, const TField *field, const void *bytes, std::uint32_t length);
    // Checks of a field write: state, read-only table and field.
    void CheckFieldWrite(TField *field) const;
    // Filter evaluation (VemtMemTableFilter.cpp).
    Variant EvaluateNode(const TExprNode *node);
    Variant EvaluateFunction(const TExprNode *node);
    Variant EvaluateList(const TExprNode *node);

    std::unique_ptr<TVemtCommon> store_;     // the record store (owned)
    std::unique_ptr<TVemtIndexes> indexes_;  // row order, defined and sort indexes
    TIndexDefs indexDefs_;
    TVemtFieldList indexFieldList_;          // fields of the current index
    TVemtFieldList masterFieldList_;         // master/detail lists (never set)
    TVemtFieldList detailFieldList_;
    std::unique_ptr<TExprNode> filterTree_;  // parsed Filter, or none

    TVemtIndex *currentIndex_ = nullptr;     // whose order the table shows
    mutable int position_ = -1;              // cursor in the current index
    int insertPosition_ = -1;                // RecNo when Insert began
    bool cursorOpen_ = false;
    bool loading_ = false;                   // form loading with DesignActivation false
    bool beforeCloseDone_ = false;
    bool inAfterOpen_ = false;
    bool found_ = false;
    TVemtRecord *recordUnderTest_ = nullptr; // store record the filter reads
    int attachSlot_ = 0;

    QString sortFields_;
    TVemtMemTableCompareOptions sortOptions_ = 0;
    QString indexFieldNames_;
    QString indexName_;
    bool enableIndexes_ = true;
    bool autoReposition_ = false;
    bool recalcOnIndex_ = false;
    bool recalcOnFetch_ = true;
    bool readOnly_ = false;
    bool designActivation_ = true;
    bool attachedAutoRefresh_ = true;
    unsigned progressFlags_ = (1u << mtpcLoad) | (1u << mtpcSave) | (1u << mtpcCopy);
};

// The component placed on forms; it adds no behaviour.
class TVemtMemTable : public TVemtCustomMemTable {
public:
    TVemtMemTable() = default;
};

} // namespace zorbel
