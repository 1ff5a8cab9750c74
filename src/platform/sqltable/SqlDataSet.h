// TSqlDataSet: the record-buffer side shared by TTable and TQuery.
//
// A record buffer is a TSqlRecord (handed to the framework as an opaque
// TRecordBuffer): the row's bookmark (a rowid, or a row number of a query
// result), its bookmark flag, one Variant per field definition in stored form
// (SqlSchema.h) and the calculated-field area. GetFieldData/SetFieldData
// convert between those Variants and the framework's native value buffers.
#pragma once

#include "platform/dataset/DataSet.h"
#include "platform/sqltable/SqlSchema.h"

namespace zorbel {

class TDatabase;

struct TSqlRecord {
    int64_t RowId = 0;
    TBookmarkFlag Flag = bfCurrent;
    std::vector<Variant> Values; // one per field definition
    std::vector<uint8_t> Calc;   // calculated-field area
    // Values of the calculated and lookup fields whose slot says "not null",
    // by the field's place among them (the area keeps only the null bytes).
    std::vector<Variant> CalcValues;
};

// Field type of a column kind and back.
TFieldType FieldTypeOfKind(TColumnKind kind);
TColumnKind KindOfFieldType(TFieldType type);

// Native value buffer (FieldDataSize layout) from a value and back. Returns
// false, leaving buffer untouched, for Null.
bool VariantToNative(const Variant &value, TFieldType type, int size, void *buffer);
Variant NativeToVariant(TFieldType type, int size, const void *buffer);

class TSqlDataSet : public TDataSet {
public:
    TDatabase *Database() const { return database_; }
    void SetDatabase(TDatabase *database);
    QString DatabaseName() const;

    bool GetFieldData(TField *field, void *buffer) const override;
    const Variant *StoredFieldValue(const TField *field) const override;
    bool StoreCalcText(TField *field, const QString &text) override;
    void SetFieldData(TField *field, const void *buffer) override;
    void SetFieldDataExact(TField *field, const void *buffer, const Variant &value) override;

protected:
    TSqlDataSet() = default;
    ~TSqlDataSet() override;

    static TSqlRecord *Rec(TRecordBuffer buffer) { return reinterpret_cast<TSqlRecord *>(buffer); }

    TRecordBuffer AllocRecordBuffer() override;
    void FreeRecordBuffer(TRecordBuffer &buffer) override;
    void InternalInitRecord(TRecordBuffer buffer) override;
    void GetBookmarkData(TRecordBuffer buffer, void *data) const override;
    void SetBookmarkData(TRecordBuffer buffer, const void *data) override;
    TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) const override;
    void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) override;
    uint8_t *CalcFieldsArea(TRecordBuffer buffer) const override;
    bool ReadCalcSlot(TRecordBuffer record, const TField *field, void *buffer) const override;
    void WriteCalcSlot(TRecordBuffer record, const TField *field, const void *buffer) override;
    TRecordBuffer GetActiveRecordBuffer() const override;

    // Fills the definitions from the columns: Unknown kinds take the type
    // of a persistent field of that name, else fallback (from the values).
    void InitFieldDefsFrom(const std::vector<TColumnDef> &columns);
    // Binds fields and registers with the database; InternalOpen calls it
    // after InitFieldDefsFrom.
    void FinishOpen();
    // Ends statements kept running between calls (see TDatabase).
    virtual void ReleaseStatements() {}
    // Unbinds fields and unregisters; InternalClose calls it.
    void FinishClose();
    // Copies a row into a buffer and computes its calculated fields.
    void FillBuffer(TRecordBuffer buffer, int64_t rowId, const std::vector<Variant> &values);
    // Values of the record being posted.
    const std::vector<Variant> &ActiveValues() const { return Rec(ActiveBuffer())->Values; }

    // The key buffer that dsSetKey reads and writes (nullptr: none).
    TSqlRecord *keyBuffer_ = nullptr;

private:
    // The place of a computed field's value in CalcValues, -1 when the area
    // keeps it (types without a variant form).
    int CalcIndex(const TField *field) const;
    Variant *CalcValue(TRecordBuffer record, const TField *field) const;

    TDatabase *database_ = nullptr;
    // CalcIndex by the field's Offset, made when the fields are bound.
    std::vector<int> calcIndex_;
    size_t calcCount_ = 0;
};

} // namespace zorbel
