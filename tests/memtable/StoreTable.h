// A minimal memory table for the store and index tests and the benchmark: a
// data set whose records live in a TVemtCommon and are ordered by a
// TVemtIndexes, filled and changed directly through the store (the full
// dataset layer is not needed to exercise the store and the indexes).
#pragma once

#include "memtable/VemtCommon.h"
#include "memtable/VemtIndexes.h"

#include <QString>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace zorbel::test {

class StoreTable : public TDataSet, public TVemtTableLink {
public:
    StoreTable()
    {
        store_ = std::make_unique<TVemtCommon>(this);
        indexes_ = std::make_unique<TVemtIndexes>(*this);
    }
    ~StoreTable() override
    {
        if (Active())
            Close();
        indexes_.reset();
        store_.reset();
    }

    // --- filling ---------------------------------------------------------
    TVemtRecord *NewValues() { return store_->NewRecord(); }
    void SetNull(TVemtRecord *record, const QString &name)
    {
        std::uint8_t *p = store_->FieldPointer(record, FieldByName(name));
        p[0] = 0;
    }
    void SetString(TVemtRecord *record, const QString &name, const QString &text)
    {
        TField *field = FieldByName(name);
        std::uint8_t *p = store_->FieldPointer(record, field);
        const int units = static_cast<int>(std::min<qsizetype>(text.size(), field->Size()));
        if (store_->IsVarLength(field->FieldNo())) {
            const std::uint32_t handle = store_->NewValue(static_cast<std::uint32_t>(units * 2));
            std::memcpy(store_->ValueBytes(handle), text.utf16(), static_cast<size_t>(units) * 2);
            store_->FreeValue(TVemtCommon::SlotHandle(p));
            TVemtCommon::SetSlotHandle(p, handle);
        } else {
            std::memset(p + 1, 0, static_cast<size_t>(field->Size() + 1) * 2);
            std::memcpy(p + 1, text.utf16(), static_cast<size_t>(units) * 2);
        }
        p[0] = 2;
    }
    template <typename T> void SetValue(TVemtRecord *record, const QString &name, T value)
    {
        std::uint8_t *p = store_->FieldPointer(record, FieldByName(name));
        std::memcpy(p + 1, &value, sizeof(T));
        p[0] = 2;
    }
    QString String(const TVemtRecord *record, const QString &name) const
    {
        TField *field = FieldByName(name);
        const std::uint8_t *p = store_->FieldPointer(record, field);
        if (p[0] == 0)
            return QString();
        if (store_->IsVarLength(field->FieldNo())) {
            std::uint32_t length = 0;
            const std::uint8_t *bytes = store_->ValueBytes(store_->FieldValueHandle(record, field), &length);
            return TextAt(bytes, length / 2);
        }
        return TextAt(p + 1, field->Size());
    }
    // Text of at most maxUnits UTF-16 units up to a zero, read byte-wise
    // (values in a record may lie at odd addresses).
    static QString TextAt(const std::uint8_t *bytes, int maxUnits)
    {
        QString text;
        for (int i = 0; i < maxUnits; ++i) {
            char16_t unit;
            std::memcpy(&unit, bytes + 2 * i, 2);
            if (unit == 0)
                break;
            text += QChar(unit);
        }
        return text;
    }
    template <typename T> T Value(const TVemtRecord *record, const QString &name) const
    {
        T value{};
        std::memcpy(&value, store_->FieldPointer(record, FieldByName(name)) + 1, sizeof(T));
        return value;
    }
    bool IsNull(const TVemtRecord *record, const QString &name) const
    {
        return store_->FieldPointer(record, FieldByName(name))[0] == 0;
    }
    // Stores the record and tells the indexes, as a post of an insert does.
    TVemtRecord *Post(TVemtRecord *record, int insertPosition = -1)
    {
        store_->StoreRecord(record);
        store_->UpdateIndexes(TVemtUpdateKind::Insert, record, this, insertPosition, nullptr);
        return record;
    }
    // Changes a stored record to the values of `values` (a copy of it with
    // new values), as a post of an edit does.
    void PostEdit(TVemtRecord *stored, TVemtRecord *values)
    {
        values->SlotIndex = stored->SlotIndex;
        values->Serial = stored->Serial;
        store_->UpdateIndexes(TVemtUpdateKind::Edit, stored, this, position_, values);
        store_->MoveValues(values, stored);
        stored->Position = -1;
        stored->Flags |= kRecordStored;
    }
    void DeleteStored(TVemtRecord *stored)
    {
        store_->UpdateIndexes(TVemtUpdateKind::Delete, stored, this, position_, nullptr);
        store_->DeleteRecord(stored);
    }
    // The current index's records, in its order (rebuilt first when needed).
    std::vector<TVemtRecord *> Ordered()
    {
        TVemtIndex *index = CurrentIndex();
        if (!index->Ordered())
            index->Rebuild();
        std::vector<TVemtRecord *> records;
        for (int i = 0; i < index->Count(); ++i)
            records.push_back(index->Entry(i));
        return records;
    }
    void Sort(const QString &fields, TVemtMemTableCompareOptions options = 0)
    {
        indexes_->SortWith(fields, options);
    }

    // --- test controls -----------------------------------------------------
    std::function<bool(TVemtRecord *)> Filter;   // record test; none: all visible
    std::vector<std::pair<int, int>> ProgressLog; // (percent, code)
    bool enableIndexes = true;
    int calcAreaSize = 0;

    // --- TVemtTableLink ----------------------------------------------------
    TDataSet &DataSet() override { return *this; }
    TVemtCommon &Store() override { return *store_; }
    TFieldDefs &LayoutFieldDefs() override { return FieldDefs(); }
    int CalcAreaSize() const override { return calcAreaSize; }
    bool IsOpen() const override { return open_; }
    bool IsBrowsing() const override { return State() == dsBrowse; }
    void CloseTable() override { Close(); }
    void RefreshTable() override {}
    void PrepareEmpty() override
    {
        indexes_->EmptyAll();
        position_ = -1;
    }
    void SetAttachSlot(int slot) override { attachSlot_ = slot; }
    TVemtIndexes &Indexes() override { return *indexes_; }
    TVemtIndex *CurrentIndex() const override { return current_ ? current_ : indexes_->RowOrderIndex(); }
    int CursorPosition() const override { return position_; }
    void SetCursorPosition(int position) override { position_ = position; }
    bool EnableIndexes() const override { return enableIndexes; }
    bool RecalcOnIndex() const override { return recalcOnIndex_; }
    void SetRecalcOnIndex(bool value) override { recalcOnIndex_ = value; }
    void CalcRecordFields(TVemtRecord *) override {}
    bool IsFiltering() const override { return static_cast<bool>(Filter); }
    bool AcceptRecord(TVemtRecord *record) override { return !Filter || Filter(record); }
    void Progress(int percent, TVemtProgressCode code) override { ProgressLog.emplace_back(percent, code); }
    void SwitchIndex(TVemtIndex *index) override
    {
        TVemtIndex *target = index ? index : indexes_->RowOrderIndex();
        if (target == CurrentIndex())
            return;
        TVemtRecord *currentRecord =
            position_ >= 0 && position_ < CurrentIndex()->Count() ? CurrentIndex()->Entry(position_) : nullptr;
        current_ = target;
        if (!target->Ordered())
            target->Rebuild();
        const int found = currentRecord ? target->FindRecordPosition(currentRecord) : -1;
        position_ = found >= 0 ? found : (target->Count() > 0 ? 0 : -1);
    }

    int AttachSlot() const { return attachSlot_; }

protected:
    TRecordBuffer AllocRecordBuffer() override { return reinterpret_cast<TRecordBuffer>(store_->NewRecord()); }
    void FreeRecordBuffer(TRecordBuffer &buffer) override
    {
        store_->FreeRecord(reinterpret_cast<TVemtRecord *>(buffer), false, false);
        buffer = nullptr;
    }
    void InternalInitRecord(TRecordBuffer) override {}
    TGetResult GetRecord(TRecordBuffer, TGetMode mode, bool) override
    {
        return mode == gmCurrent ? grError : (mode == gmNext ? grEOF : grBOF);
    }
    void GetBookmarkData(TRecordBuffer, void *) const override {}
    void SetBookmarkData(TRecordBuffer, const void *) override {}
    TBookmarkFlag GetBookmarkFlag(TRecordBuffer) const override { return bfCurrent; }
    void SetBookmarkFlag(TRecordBuffer, TBookmarkFlag) override {}
    void InternalOpen() override
    {
        CreateFields();
        BindFields(true);
        store_->LayoutRecord();
        open_ = true;
        position_ = -1;
    }
    void InternalClose() override
    {
        store_->EmptyAll();
        indexes_->DeleteAll();
        current_ = nullptr;
        open_ = false;
        BindFields(false);
        DestroyFields();
    }
    bool IsCursorOpen() const override { return open_; }
    void InternalFirst() override {}
    void InternalLast() override {}
    void InternalGotoBookmark(const void *) override {}
    void InternalSetToRecord(TRecordBuffer) override {}
    void InternalAddRecord(TRecordBuffer, bool) override {}
    void InternalDelete() override {}

private:
    std::unique_ptr<TVemtCommon> store_;
    std::unique_ptr<TVemtIndexes> indexes_;
    TVemtIndex *current_ = nullptr;
    int position_ = -1;
    bool open_ = false;
    bool recalcOnIndex_ = false;
    int attachSlot_ = -1;
};

} // namespace zorbel::test
