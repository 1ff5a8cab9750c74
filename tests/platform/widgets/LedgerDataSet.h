// A large read-mostly dataset for the grid tests and the grid benchmark: its
// rows are computed from their index, so 100,000 rows cost no memory until
// edited; an edited row is kept as its own copy. Rows can be neither
// inserted nor deleted.
//
// Fields: ID Integer (index + 1), DATE_REAL Date (1 January 2020 + index / 40
// days), NAME String(24) ("Запись <ID>"), SUM Float (ID * 1.5), KIND
// String(1) ("1" realised, "2" every seventh row planned).
// A row's key (its bookmark) is its index; the record layout is
// RowBufferDataSet.h's.
#pragma once

#include "../dataset/RowBufferDataSet.h"

#include <cstring>
#include <unordered_map>
#include <vector>

namespace zorbel::test {

class TLedgerDataSet : public TRowBufferDataSet {
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

    int RowCount() const override { return rows_; }

protected:
    int KeyOfRow(int row) const override { return row; }
    int RowOfKey(int key) const override { return key >= 0 && key < rows_ ? key : -1; }
    void FillValues(TRecordBuffer buffer, int index) override
    {
        ++fetches_;
        auto edited = edited_.find(index);
        if (edited != edited_.end()) {
            std::memcpy(buffer, edited->second.data(), size_t(RowSize()));
            return;
        }
        std::memset(buffer, 0, size_t(RowSize()));
        const int id = index + 1;
        Put(buffer, 0, int32_t(id));
        // Day numbers count from 1 January of year 1; 737425 is 1 January 2020.
        Put(buffer, 1, int32_t(737425 + index / 40));
        PutString(buffer, 2, QStringLiteral("Запись %1").arg(id));
        Put(buffer, 3, id * 1.5);
        PutString(buffer, 4, id % 7 == 0 ? QStringLiteral("2") : QStringLiteral("1"));
    }

    void InternalAddRecord(TRecordBuffer, bool) override { DatabaseError(QStringLiteral("Rows are fixed")); }
    void InternalDelete() override { DatabaseError(QStringLiteral("Rows are fixed")); }
    void InternalPost() override
    {
        TDataSet::InternalPost();
        if (State() != dsEdit)
            DatabaseError(QStringLiteral("Rows are fixed"));
        TRecordBuffer buffer = ActiveBuffer();
        edited_[Cursor()].assign(buffer, buffer + RowSize());
    }
    int GetRecordCount() const override { return rows_; }
    void SetRecNoImpl(int value) override
    {
        CheckBrowseMode();
        if (value < 1 || value > rows_ || value == RecNo())
            return;
        DoBeforeScroll();
        SetCursor(value - 1);
        Resync(TResyncMode{rmCenter});
        DoAfterScroll();
    }

private:
    template <class T> void Put(TRecordBuffer buffer, int field, const T &value)
    {
        buffer[OffsetOf(field)] = 1;
        std::memcpy(buffer + OffsetOf(field) + 1, &value, sizeof(T));
    }
    void PutString(TRecordBuffer buffer, int field, const QString &text)
    {
        buffer[OffsetOf(field)] = 1;
        std::memcpy(buffer + OffsetOf(field) + 1, text.utf16(), size_t(text.size() + 1) * 2);
    }

    int rows_;
    std::unordered_map<int, std::vector<uint8_t>> edited_;
    long fetches_ = 0;
};

} // namespace zorbel::test
