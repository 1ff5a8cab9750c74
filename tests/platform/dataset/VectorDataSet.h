// A small dataset over a vector of rows that can be inserted, edited,
// deleted and filtered: the tests drive the framework through it. Each row
// keeps its values in the record layout (RowBufferDataSet.h) under an id
// that is its bookmark.
#pragma once

#include "RowBufferDataSet.h"

#include <cstring>
#include <vector>

namespace zorbel::test {

class TVectorDataSet : public TRowBufferDataSet {
public:
    TVectorDataSet() = default;
    ~TVectorDataSet() override { CloseForDestroy(); }

    // Rows by id, in display order; ids are never reused.
    int RowCount() const override { return int(rows_.size()); }

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

protected:
    int KeyOfRow(int row) const override { return rows_[size_t(row)].id; }
    int RowOfKey(int id) const override
    {
        for (int i = 0; i < RowCount(); ++i)
            if (rows_[size_t(i)].id == id)
                return i;
        return -1;
    }
    void FillValues(TRecordBuffer buffer, int row) override
    {
        std::memcpy(buffer, rows_[size_t(row)].data.data(), size_t(RowSize()));
    }

    void InternalAddRecord(TRecordBuffer buffer, bool append) override
    {
        Row row{nextId_++, std::vector<uint8_t>(buffer, buffer + RowSize())};
        const int at = append || Cursor() < 0 ? RowCount() : Cursor();
        rows_.insert(rows_.begin() + at, row);
        SetCursor(at);
    }
    void InternalPost() override
    {
        TDataSet::InternalPost();
        TRecordBuffer buffer = ActiveBuffer();
        if (State() == dsEdit) {
            std::memcpy(rows_[size_t(Cursor())].data.data(), buffer, size_t(RowSize()));
            return;
        }
        // Insert before the record that was current when Insert began.
        const TBookmarkFlag flag = GetBookmarkFlag(buffer);
        const bool append = flag == bfEOF;
        if (flag == bfBOF)
            SetCursor(0);
        else if (!append)
            SetCursor(RowOfKey(KeyOfBuffer(buffer)));
        InternalAddRecord(buffer, append);
    }
    void InternalDelete() override { rows_.erase(rows_.begin() + Cursor()); }

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

private:
    struct Row {
        int id;
        std::vector<uint8_t> data;
    };

    std::vector<Row> rows_;
    int nextId_ = 1;
};

} // namespace zorbel::test
