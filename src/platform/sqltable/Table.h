// TTable: a table of the data set as a navigational dataset, over a
// TTableCursor. Rows come in the order of IndexFieldNames, IndexName or the
// primary key; posts and deletes write through at once. Key searches and
// ranges take key values either directly (FindKey, SetRange) or through the
// key buffer (SetKey/SetRangeStart/SetRangeEnd, then field assignments, then
// GotoKey/ApplyRange). FindKey, SetRange and GotoKey use the leading index
// fields that were given; a range set through the key buffers compares every
// index field, those not assigned being null, which sorts first (so an end key
// (account + 1) stops before that account's rows). Filter texts go through the shared filter-expression parser and run
// as SQL conditions.
#pragma once

#include "platform/sqltable/SqlDataSet.h"
#include "platform/sqltable/TableCursor.h"

namespace zorbel {

class TTable : public TSqlDataSet {
public:
    TTable() = default;
    ~TTable() override;

    const QString &TableName() const { return tableName_; }
    void SetTableName(const QString &name);
    const QString &IndexFieldNames() const { return indexFieldNames_; }
    void SetIndexFieldNames(const QString &names);
    const QString &IndexName() const { return indexName_; }
    void SetIndexName(const QString &name);
    // Kept for the program's settings; one connection owns the file anyway.
    bool Exclusive() const { return exclusive_; }
    void SetExclusive(bool value) { exclusive_ = value; }
    TIndexDefs &IndexDefs() { return indexDefs_; }

    bool Exists();
    // Creates the table from FieldDefs and IndexDefs (ixPrimary: the key).
    void CreateTable();
    void DeleteTable();
    // Writes are never held back; kept for callers that ask.
    void FlushBuffers();
    // Restructure: sets the width of a string field keeping the rows
    // (SetTextFieldWidth, with its messages). An open table is closed for it
    // and opened again afterwards, also on failure.
    void RestructureTextField(const QString &fieldName, int newSize);

    // Key searches over the current order.
    bool FindKey(const std::vector<Variant> &key);
    void FindNearest(const std::vector<Variant> &key);
    void SetKey();
    void EditKey();
    bool GotoKey();
    void GotoNearest();

    // Ranges over the current order.
    void SetRange(const std::vector<Variant> &start, const std::vector<Variant> &end);
    void SetRangeStart();
    void SetRangeEnd();
    void ApplyRange();
    void CancelRange();

    bool Locate(const QString &keyFields, const Variant &keyValues, TLocateOptions options) override;
    // Searches through the cursor (an indexed query) when the key and result
    // fields are stored columns; the current record stays where it is.
    Variant Lookup(const QString &keyFields, const Variant &keyValues, const QString &resultFields) override;
    bool BookmarkValid(const TBookmark &bookmark) const override;
    bool GetIsIndexField(TField *field) const override;
    void SetFiltered(bool value) override;
    void SetFilterText(const QString &text) override;
    void SetFilterOptions(TFilterOptions options) override;

    // The cursor under the open table (for tests and benchmarks).
    TTableCursor *Cursor() const { return cursor_.get(); }
    // Counts ranges without listing their rows (TTableCursor::SetRowCounter),
    // for this table's cursor now and whenever it opens.
    void SetRowCounter(TTableCursor::TRowCounter counter);

protected:
    TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck) override;
    void InternalOpen() override;
    void InternalClose() override;
    bool IsCursorOpen() const override { return cursor_ != nullptr; }
    void InternalFirst() override { crack_ = TCrack::BeforeFirst; }
    void InternalLast() override { crack_ = TCrack::AfterLast; }
    void InternalGotoBookmark(const void *bookmark) override;
    void InternalSetToRecord(TRecordBuffer buffer) override;
    void InternalAddRecord(TRecordBuffer buffer, bool append) override;
    void InternalDelete() override;
    void InternalPost() override;
    void InternalRefresh() override;
    void DoBeforeRefresh() override;
    void ReleaseStatements() override;
    int GetRecordCount() const override;
    int GetRecNo() const override;
    void SetRecNoImpl(int value) override;

private:
    // Where the cursor stands for the framework: on its current row, or on a
    // crack before the first or after the last row.
    enum class TCrack { None, BeforeFirst, AfterLast };
    enum TKeyIndex { kiLookup, kiRangeStart, kiRangeEnd, kiCount };

    TSqliteDb &Db() const;
    void ApplyOrder(const QString &fieldNames, const QString &indexName);
    void ApplyFilter();
    void BeginKeyEdit(TKeyIndex index, bool clear);
    // Leaves dsSetKey (the framework's Post does not).
    void EndKeyEdit();
    // The given leading key values of a key buffer (stops at the first Empty).
    std::vector<Variant> KeyValues(TKeyIndex index) const;
    // A range bound from a key buffer: every field of the order, those not
    // assigned as null (nulls sort first); empty when none was assigned (an
    // open bound).
    std::vector<Variant> RangeKeyValues(TKeyIndex index) const;
    // After the cursor moved by itself: refill the buffers around it.
    void ResyncToCursor();

    QString tableName_;
    QString indexFieldNames_;
    QString indexName_;
    bool exclusive_ = false;
    TIndexDefs indexDefs_;
    std::unique_ptr<TTableCursor> cursor_;
    TTableCursor::TRowCounter counter_;
    // Lookup's reading of its field lists, by the texts asked (lookup fields
    // ask the same ones for every record); valid while this cursor is open.
    struct TLookupPlan {
        QString KeyFields, ResultFields;
        QStringList Keys;
        std::vector<int> ResultColumns;
        bool Direct = false; // every name is a stored column: read beside the cursor
    };
    const TLookupPlan &LookupPlan(const QString &keyFields, const QString &resultFields);
    std::vector<TLookupPlan> lookupPlans_;
    TCrack crack_ = TCrack::BeforeFirst;
    TSqlRecord keys_[kiCount];
};

} // namespace zorbel
