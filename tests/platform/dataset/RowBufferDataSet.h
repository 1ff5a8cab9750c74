// The record-buffer plumbing the test datasets share: a descendant of TDataSet
// over numbered rows, built on the buffer protocol as a real descendant
// would. A derived dataset says how many rows there are, which key each row
// has (the bookmark) and writes a row's values into a buffer; this base does
// the buffers, the cursor, bookmarks, field data and opening.
//
// Record buffer: per field definition a null byte followed by the field's
// native value (FieldDataSize bytes) -- RowSize() bytes, the same layout a
// derived dataset keeps its rows in -- then the calculated-field area, then
// the row's key (int32, the bookmark) and the bookmark flag (one byte).
//
// The cursor is a row number: -1 before the first row, RowCount() after the
// last.
#pragma once

#include "platform/dataset/DBConsts.h"
#include "platform/dataset/DataSet.h"

#include <cstring>
#include <vector>

namespace zorbel::test {

class TRowBufferDataSet : public TDataSet {
public:
    virtual int RowCount() const = 0;

    bool BookmarkValid(const TBookmark &bookmark) const override { return RowOfBookmark(bookmark) >= 0; }
    int CompareBookmarks(const TBookmark &a, const TBookmark &b) const override
    {
        const int ia = RowOfBookmark(a), ib = RowOfBookmark(b); // unknown and empty bookmarks sort first
        return ia < ib ? -1 : ia > ib ? 1 : 0;
    }

    bool GetFieldData(TField *field, void *buffer) const override
    {
        if (field->FieldNo() <= 0)
            return TDataSet::GetFieldData(field, buffer);
        TRecordBuffer record = GetActiveRecordBuffer();
        if (!record)
            return false;
        const uint8_t *slot = record + offsets_[size_t(field->FieldNo() - 1)];
        if (slot[0] == 0)
            return false;
        if (buffer)
            std::memcpy(buffer, slot + 1, size_t(field->DataSize()));
        return true;
    }

    void SetFieldData(TField *field, const void *buffer) override
    {
        if (field->FieldNo() <= 0) {
            TDataSet::SetFieldData(field, buffer);
            return;
        }
        const TDataSetState s = State();
        if (s != dsEdit && s != dsInsert && s != dsSetKey && s != dsCalcFields && s != dsFilter)
            DatabaseError(DBConsts::SNotEditing);
        if (field->ReadOnly() && s != dsSetKey)
            DatabaseError(DBConsts::SFieldReadOnly.arg(field->DisplayName()));
        TRecordBuffer record = GetActiveRecordBuffer();
        field->Validate(buffer);
        uint8_t *slot = record + offsets_[size_t(field->FieldNo() - 1)];
        slot[0] = buffer ? 1 : 0;
        if (buffer)
            std::memcpy(slot + 1, buffer, size_t(field->DataSize()));
        else
            std::memset(slot + 1, 0, size_t(field->DataSize()));
        if (s != dsCalcFields && s != dsFilter)
            DataEvent(deFieldChange, reinterpret_cast<intptr_t>(field));
    }

protected:
    // The key of a row and the row of a key (-1 when no row has it).
    virtual int KeyOfRow(int row) const = 0;
    virtual int RowOfKey(int key) const = 0;
    // Writes the row's values (RowSize() bytes) at the start of buffer.
    virtual void FillValues(TRecordBuffer buffer, int row) = 0;

    int RowSize() const { return rowSize_; }
    int Cursor() const { return cursor_; }
    void SetCursor(int row) { cursor_ = row; }
    // Byte offset of a field definition's null byte in a row (index from 0).
    int OffsetOf(int fieldIndex) const { return offsets_[size_t(fieldIndex)]; }
    // The key stored in a buffer or a bookmark.
    static int KeyOf(const void *bookmark)
    {
        int key;
        std::memcpy(&key, bookmark, 4);
        return key;
    }
    int KeyOfBuffer(TRecordBuffer buffer) const { return KeyOf(buffer + KeyOffset()); }
    int RowOfBookmark(const TBookmark &bookmark) const
    {
        return bookmark.size() == 4 ? RowOfKey(KeyOf(bookmark.constData())) : -1;
    }
    // A whole record buffer for a row: its values, an empty calculated-field
    // area, its key and the flag of a current record.
    void Fill(TRecordBuffer buffer, int row)
    {
        FillValues(buffer, row);
        std::memset(buffer + rowSize_, 0, size_t(CalcFieldsSize()));
        const int key = KeyOfRow(row);
        std::memcpy(buffer + KeyOffset(), &key, 4);
        buffer[KeyOffset() + 4] = uint8_t(bfCurrent);
    }
    int BufferSize() const { return KeyOffset() + 5; }

    TRecordBuffer AllocRecordBuffer() override { return new uint8_t[size_t(BufferSize())](); }
    void FreeRecordBuffer(TRecordBuffer &buffer) override
    {
        delete[] buffer;
        buffer = nullptr;
    }
    void InternalInitRecord(TRecordBuffer buffer) override { std::memset(buffer, 0, size_t(rowSize_)); }

    // Steps the cursor and fills the buffer; with Filtered, rows the filter
    // refuses are passed over.
    TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool) override
    {
        for (;;) {
            switch (mode) {
            case gmNext:
                if (cursor_ >= RowCount() - 1) {
                    cursor_ = RowCount();
                    return grEOF;
                }
                ++cursor_;
                break;
            case gmPrior:
                if (cursor_ <= 0) {
                    cursor_ = -1;
                    return grBOF;
                }
                --cursor_;
                break;
            case gmCurrent:
                if (cursor_ < 0 || cursor_ >= RowCount())
                    return grError;
                break;
            }
            Fill(buffer, cursor_);
            if (!Filtered() || FilterRecordAccepted(buffer))
                break;
            if (mode == gmCurrent)
                return grError;
        }
        GetCalcFields(buffer);
        return grOK;
    }

    void GetBookmarkData(TRecordBuffer buffer, void *data) const override
    {
        std::memcpy(data, buffer + KeyOffset(), 4);
    }
    void SetBookmarkData(TRecordBuffer buffer, const void *data) override
    {
        std::memcpy(buffer + KeyOffset(), data, 4);
    }
    TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) const override
    {
        return static_cast<TBookmarkFlag>(buffer[KeyOffset() + 4]);
    }
    void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) override
    {
        buffer[KeyOffset() + 4] = uint8_t(flag);
    }

    void InternalOpen() override
    {
        InternalInitFieldDefs();
        if (DefaultFields())
            CreateFields();
        BindFields(true);
        offsets_.clear();
        rowSize_ = 0;
        for (int i = 0; i < FieldDefs().Count(); ++i) {
            offsets_.push_back(rowSize_);
            rowSize_ += 1 + FieldDataSize(FieldDefs()[i]->DataType(), FieldDefs()[i]->Size());
        }
        SetBookmarkSize(4);
        cursor_ = -1;
        open_ = true;
    }
    void InternalClose() override
    {
        BindFields(false);
        if (DefaultFields())
            DestroyFields();
        open_ = false;
    }
    bool IsCursorOpen() const override { return open_; }
    void InternalFirst() override { cursor_ = -1; }
    void InternalLast() override { cursor_ = RowCount(); }
    // A bookmark of a row that is gone leaves no current record.
    void InternalGotoBookmark(const void *bookmark) override { cursor_ = RowOfKey(KeyOf(bookmark)); }
    void InternalSetToRecord(TRecordBuffer buffer) override { InternalGotoBookmark(buffer + KeyOffset()); }
    int GetRecNo() const override
    {
        if (!Active() || IsEmpty())
            return -1;
        return RowOfKey(KeyOfBuffer(ActiveBuffer())) + 1;
    }
    uint8_t *CalcFieldsArea(TRecordBuffer buffer) const override { return buffer + rowSize_; }

private:
    int KeyOffset() const { return rowSize_ + CalcFieldsSize(); }

    std::vector<int> offsets_;
    int rowSize_ = 0;
    int cursor_ = -1;
    bool open_ = false;
};

} // namespace zorbel::test
