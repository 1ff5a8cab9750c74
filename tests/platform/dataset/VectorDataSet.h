// A small dataset over a vector of rows, built on the record-buffer protocol
// as a real descendant would: the tests drive the framework through it.
//
// Row layout (also the start of every record buffer): per field definition a
// null byte followed by the field's native value (FieldDataSize bytes).
// A record buffer continues with the calculated-field area, then the row id
// (int32, the bookmark) and the bookmark flag (one byte).
#pragma once

#include "platform/dataset/DBConsts.h"
#include "platform/dataset/DataSet.h"

#include <cstring>
#include <vector>

namespace zorbel::test {

class TVectorDataSet : public TDataSet {
public:
    TVectorDataSet() = default;
    ~TVectorDataSet() override { CloseForDestroy(); }

    // Rows by id, in display order; ids are never reused.
    int RowCount() const { return int(rows_.size()); }

    void SetFiltered(bool value) override
    {
        TDataSet::SetFiltered(value);
        if (Active())
            First();
    }
    void SetOnFilterRecord(TFilterRecordEvent handler) override
    {
        TDataSet::SetOnFilterRecord(std::move(handler));
        if (Active() && Filtered())
            First();
    }

    bool BookmarkValid(const TBookmark &bookmark) const override
    {
        return bookmark.size() == 4 && IndexOfId(IdOf(bookmark.constData())) >= 0;
    }
    int CompareBookmarks(const TBookmark &a, const TBookmark &b) const override
    {
        const int ia = IndexOfId(IdOf(a.constData())), ib = IndexOfId(IdOf(b.constData()));
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
    TRecordBuffer AllocRecordBuffer() override { return new uint8_t[size_t(BufferSize())](); }
    void FreeRecordBuffer(TRecordBuffer &buffer) override
    {
        delete[] buffer;
        buffer = nullptr;
    }
    void InternalInitRecord(TRecordBuffer buffer) override
    {
        std::memset(buffer, 0, size_t(rowSize_));
    }

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
        std::memcpy(data, buffer + IdOffset(), 4);
    }
    void SetBookmarkData(TRecordBuffer buffer, const void *data) override
    {
        std::memcpy(buffer + IdOffset(), data, 4);
    }
    TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) const override
    {
        return static_cast<TBookmarkFlag>(buffer[IdOffset() + 4]);
    }
    void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) override
    {
        buffer[IdOffset() + 4] = uint8_t(flag);
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
    void InternalGotoBookmark(const void *bookmark) override
    {
        // A bookmark of a deleted row leaves no current record.
        cursor_ = IndexOfId(IdOf(bookmark));
    }
    void InternalSetToRecord(TRecordBuffer buffer) override { InternalGotoBookmark(buffer + IdOffset()); }

    void InternalAddRecord(TRecordBuffer buffer, bool append) override
    {
        Row row{nextId_++, std::vector<uint8_t>(buffer, buffer + rowSize_)};
        const int at = append || cursor_ < 0 ? RowCount() : cursor_;
        rows_.insert(rows_.begin() + at, row);
        cursor_ = at;
    }
    void InternalPost() override
    {
        TDataSet::InternalPost();
        TRecordBuffer buffer = ActiveBuffer();
        if (State() == dsEdit) {
            std::memcpy(rows_[size_t(cursor_)].data.data(), buffer, size_t(rowSize_));
            return;
        }
        // Insert before the record that was current when Insert began.
        const TBookmarkFlag flag = GetBookmarkFlag(buffer);
        const bool append = flag == bfEOF;
        if (flag == bfBOF)
            cursor_ = 0;
        else if (!append)
            cursor_ = IndexOfId(IdOf(buffer + IdOffset()));
        InternalAddRecord(buffer, append);
    }
    void InternalDelete() override { rows_.erase(rows_.begin() + cursor_); }

    int GetRecordCount() const override
    {
        CheckActive();
        if (!Filtered())
            return RowCount();
        auto *self = const_cast<TVectorDataSet *>(this);
        std::vector<uint8_t> scratch(static_cast<size_t>(BufferSize()));
        int n = 0;
        for (int i = 0; i < RowCount(); ++i) {
            self->Fill(scratch.data(), i);
            n += self->FilterRecordAccepted(scratch.data()) ? 1 : 0;
        }
        return n;
    }
    int GetRecNo() const override
    {
        if (!Active() || IsEmpty())
            return -1;
        return IndexOfId(IdOf(ActiveBuffer() + IdOffset())) + 1;
    }
    uint8_t *CalcFieldsArea(TRecordBuffer buffer) const override { return buffer + rowSize_; }

private:
    struct Row {
        int id;
        std::vector<uint8_t> data;
    };

    int IdOffset() const { return rowSize_ + CalcFieldsSize(); }
    int BufferSize() const { return IdOffset() + 5; }
    static int IdOf(const void *bookmark)
    {
        int id;
        std::memcpy(&id, bookmark, 4);
        return id;
    }
    int IndexOfId(int id) const
    {
        for (int i = 0; i < RowCount(); ++i)
            if (rows_[size_t(i)].id == id)
                return i;
        return -1;
    }
    void Fill(TRecordBuffer buffer, int index)
    {
        const Row &row = rows_[size_t(index)];
        std::memcpy(buffer, row.data.data(), size_t(rowSize_));
        std::memset(buffer + rowSize_, 0, size_t(CalcFieldsSize()));
        std::memcpy(buffer + IdOffset(), &row.id, 4);
        buffer[IdOffset() + 4] = uint8_t(bfCurrent);
    }

    std::vector<Row> rows_;
    std::vector<int> offsets_;
    int rowSize_ = 0;
    int cursor_ = -1;
    int nextId_ = 1;
    bool open_ = false;
};

} // namespace zorbel::test
