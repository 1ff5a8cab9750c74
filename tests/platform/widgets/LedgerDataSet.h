// A large read-mostly dataset for the grid tests and the grid benchmark: its
// rows are computed from their index, so 100,000 rows cost no memory until
// edited; an edited row is kept as its own copy. Rows can be neither
// inserted nor deleted.
//
// Fields: ID Integer (index + 1), DATE_REAL Date (1 January 2020 + index / 40
// days), NAME String(24) ("Запись <ID>"), SUM Float (ID * 1.5), KIND
// String(1) ("1" realised, "2" every seventh row planned).
//
// Record buffer: per field a null byte and the field's native value, then
// the calculated-field area, then the row index (int32, the bookmark) and
// the bookmark flag (one byte).
#pragma once

#include "platform/dataset/DBConsts.h"
#include "platform/dataset/DataSet.h"

#include <cstring>
#include <unordered_map>
#include <vector>

namespace zorbel::test {

class TLedgerDataSet : public TDataSet {
public:
    explicit TLedgerDataSet(int rows) : rows_(rows)
    {
        FieldDefs().Add(QStringLiteral("ID"), ftInteger);
        FieldDefs().Add(QStringLiteral("DATE_REAL"), ftDate);
        FieldDefs().Add(QStringLiteral("NAME"), ftString, 24);
        FieldDefs().Add(QStringLiteral("SUM"), ftFloat);
        FieldDefs().Add(QStringLiteral("KIND"), ftString, 1);
    }
    ~TLedgerDataSet() override { CloseForDestroy(); }

    // Rows the grid fetched into buffers since the counter was reset.
    long Fetches() const { return fetches_; }
    void ResetFetches() { fetches_ = 0; }

    bool BookmarkValid(const TBookmark &b) const override
    {
        const int i = IndexOf(b);
        return i >= 0 && i < rows_;
    }
    int CompareBookmarks(const TBookmark &a, const TBookmark &b) const override
    {
        const int ia = IndexOf(a), ib = IndexOf(b); // an empty bookmark (-1) sorts first
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
        if (State() != dsEdit && State() != dsInsert)
            DatabaseError(DBConsts::SNotEditing);
        uint8_t *slot = GetActiveRecordBuffer() + offsets_[size_t(field->FieldNo() - 1)];
        field->Validate(buffer);
        slot[0] = buffer ? 1 : 0;
        if (buffer)
            std::memcpy(slot + 1, buffer, size_t(field->DataSize()));
        DataEvent(deFieldChange, reinterpret_cast<intptr_t>(field));
    }

protected:
    TRecordBuffer AllocRecordBuffer() override { return new uint8_t[size_t(BufferSize())](); }
    void FreeRecordBuffer(TRecordBuffer &buffer) override
    {
        delete[] buffer;
        buffer = nullptr;
    }
    void InternalInitRecord(TRecordBuffer buffer) override { std::memset(buffer, 0, size_t(rowSize_)); }
    TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool) override
    {
        switch (mode) {
        case gmNext:
            if (cursor_ >= rows_ - 1) {
                cursor_ = rows_;
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
            if (cursor_ < 0 || cursor_ >= rows_)
                return grError;
            break;
        }
        Fill(buffer, cursor_);
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
    void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) override { buffer[IdOffset() + 4] = uint8_t(flag); }
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
    void InternalLast() override { cursor_ = rows_; }
    void InternalGotoBookmark(const void *bookmark) override { cursor_ = IndexOf(bookmark); }
    void InternalSetToRecord(TRecordBuffer buffer) override { InternalGotoBookmark(buffer + IdOffset()); }
    void InternalAddRecord(TRecordBuffer, bool) override { DatabaseError(QStringLiteral("Rows are fixed")); }
    void InternalDelete() override { DatabaseError(QStringLiteral("Rows are fixed")); }
    void InternalPost() override
    {
        TDataSet::InternalPost();
        if (State() != dsEdit)
            DatabaseError(QStringLiteral("Rows are fixed"));
        TRecordBuffer buffer = ActiveBuffer();
        edited_[cursor_].assign(buffer, buffer + rowSize_);
    }
    int GetRecordCount() const override { return rows_; }
    int GetRecNo() const override
    {
        if (!Active() || IsEmpty())
            return -1;
        return IndexOf(ActiveBuffer() + IdOffset()) + 1;
    }
    void SetRecNoImpl(int value) override
    {
        CheckBrowseMode();
        if (value < 1 || value > rows_ || value == RecNo())
            return;
        DoBeforeScroll();
        cursor_ = value - 1;
        Resync(TResyncMode{rmCenter});
        DoAfterScroll();
    }
    uint8_t *CalcFieldsArea(TRecordBuffer buffer) const override { return buffer + rowSize_; }

private:
    int IdOffset() const { return rowSize_ + CalcFieldsSize(); }
    int BufferSize() const { return IdOffset() + 5; }
    // The row of a bookmark; -1 for one that is not a row's.
    static int IndexOf(const TBookmark &bookmark)
    {
        if (bookmark.size() != 4)
            return -1;
        return IndexOf(static_cast<const void *>(bookmark.constData()));
    }
    static int IndexOf(const void *bookmark)
    {
        int index;
        std::memcpy(&index, bookmark, 4);
        return index;
    }
    template <class T> void Put(TRecordBuffer buffer, int field, const T &value)
    {
        buffer[offsets_[size_t(field)]] = 1;
        std::memcpy(buffer + offsets_[size_t(field)] + 1, &value, sizeof(T));
    }
    void PutString(TRecordBuffer buffer, int field, const QString &text)
    {
        buffer[offsets_[size_t(field)]] = 1;
        std::memcpy(buffer + offsets_[size_t(field)] + 1, text.utf16(), size_t(text.size() + 1) * 2);
    }
    void Fill(TRecordBuffer buffer, int index)
    {
        ++fetches_;
        auto edited = edited_.find(index);
        if (edited != edited_.end()) {
            std::memcpy(buffer, edited->second.data(), size_t(rowSize_));
        } else {
            std::memset(buffer, 0, size_t(rowSize_));
            const int id = index + 1;
            Put(buffer, 0, int32_t(id));
            // Day numbers count from 1 January of year 1; 737425 is 1 January 2020.
            Put(buffer, 1, int32_t(737425 + index / 40));
            PutString(buffer, 2, QStringLiteral("Запись %1").arg(id));
            Put(buffer, 3, id * 1.5);
            PutString(buffer, 4, id % 7 == 0 ? QStringLiteral("2") : QStringLiteral("1"));
        }
        std::memset(buffer + rowSize_, 0, size_t(CalcFieldsSize()));
        std::memcpy(buffer + IdOffset(), &index, 4);
        buffer[IdOffset() + 4] = uint8_t(bfCurrent);
    }

    int rows_;
    std::unordered_map<int, std::vector<uint8_t>> edited_;
    std::vector<int> offsets_;
    int rowSize_ = 0;
    int cursor_ = -1;
    bool open_ = false;
    long fetches_ = 0;
};

} // namespace zorbel::test
