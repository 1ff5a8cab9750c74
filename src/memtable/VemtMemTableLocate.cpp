// Locate and Lookup of the memory table: the key values are written into a
// scratch record of the store's layout (a key record) and the current index
// is searched for the first visible record that equals it on the key fields:
// by binary search when the key fields are the index's own, else by scanning
// the index in order.
#include "memtable/VemtMemTable.h"

#include "platform/dataset/DBConsts.h"
#include "platform/rtl/DateTime.h"

#include <cmath>
#include <cstring>

namespace zorbel {

namespace {

void CheckDimensions(const Variant &values)
{
    if (!values.IsArray())
        return;
    for (int i = 0; i <= values.ArrayHighBound(); ++i)
        if (values[i].IsArray())
            throw EMemTableError(QStringLiteral("Values variant array has invalid dimension count"));
}

// A scratch record taken from the store and returned when it goes out of scope.
class KeyRecord {
public:
    explicit KeyRecord(TVemtCommon &store) : store_(store), record_(store.NewRecord()) {}
    ~KeyRecord() { store_.FreeRecord(record_, true, false); }
    KeyRecord(const KeyRecord &) = delete;
    KeyRecord &operator=(const KeyRecord &) = delete;
    TVemtRecord *Get() const { return record_; }

private:
    TVemtCommon &store_;
    TVemtRecord *record_;
};

template <typename T> void Put(std::uint8_t *slot, T value) { std::memcpy(slot + 1, &value, sizeof(T)); }

} // namespace

void TVemtCustomMemTable::SetRecordFieldValue(TVemtRecord *record, TField *field, const Variant &value)
{
    TVemtCommon::Locker lock(*store_);
    std::uint8_t *slot = store_->FieldPointer(record, field);
    const int fieldNo = field->FieldNo();
    if (!slot)
        return;
    if (fieldNo > 0 && store_->IsVarLength(fieldNo)) {
        const bool text = field->DataType() == ftString || field->DataType() == ftFixedChar;
        if (VarIsClear(value)) {
            WriteOutOfLine(record, field, nullptr, 0);
        } else if (!text) {
            WriteOutOfLine(record, field, "", 0); // other types take no key value
        } else {
            const QString cut = value.AsString().left(field->Size());
            WriteOutOfLine(record, field, cut.utf16(), static_cast<std::uint32_t>(cut.size() * 2));
        }
        store_->SetFieldWritten(fieldNo);
        return;
    }
    const size_t size = static_cast<size_t>(TVemtCommon::StorageSize(field->DataType(), field->Size()));
    if (VarIsClear(value)) {
        slot[0] = 0;
        std::memset(slot + 1, 0, size);
    } else {
        std::memset(slot + 1, 0, size);
        switch (field->DataType()) {
        case ftString: case ftFixedChar: {
            const QString text = value.AsString().left(field->Size());
            std::memcpy(slot + 1, text.utf16(), static_cast<size_t>(text.size()) * sizeof(char16_t));
            break;
        }
        case ftSmallint: Put(slot, value.AsSmallint()); break;
        case ftWord: Put(slot, static_cast<std::uint16_t>(value.AsInteger())); break;
        case ftBoolean: Put(slot, static_cast<std::int16_t>(value.AsBoolean() ? 1 : 0)); break;
        case ftInteger: case ftAutoInc: Put(slot, static_cast<std::int32_t>(value.AsInteger())); break;
        case ftFloat: case ftCurrency: Put(slot, value.AsDouble()); break;
        case ftDate: case ftTime: case ftDateTime: {
            // Numbers and dates are day serials; texts go through the
            // locale's date and time format (Variant's conversion).
            const TTimeStamp stamp = DateTimeToTimeStamp(value.AsDate());
            if (field->DataType() == ftDate)
                Put(slot, static_cast<std::int32_t>(stamp.Date));
            else if (field->DataType() == ftTime)
                Put(slot, static_cast<std::int32_t>(stamp.Time));
            else
                Put(slot, TimeStampToMSecs(stamp));
            break;
        }
        case ftLargeint: Put(slot, static_cast<std::int64_t>(std::trunc(value.AsDouble()))); break;
        default: break;
        }
        slot[0] = 2;
    }
    if (fieldNo > 0)
        store_->SetFieldWritten(fieldNo);
}

void TVemtCustomMemTable::SetRecordKeyValues(TVemtRecord *record, const QString &keyFields, const Variant &keyValues)
{
    TVemtFieldList fields;
    BuildFieldList(*this, fields, keyFields);
    CheckDimensions(keyValues);
    if (!keyValues.IsArray() && fields.Count() > 1)
        throw EMemTableError(DBConsts::SMoreFieldsThanValues);
    if (fields.Count() == 0)
        throw EMemTableError(QStringLiteral("There must be at least one field"));
    for (int i = 0; i < fields.Count(); ++i)
        SetRecordFieldValue(record, fields.Fields(i), keyValues.IsArray() ? keyValues[i] : keyValues);
}

int TVemtCustomMemTable::LocateRecord(const QString &keyFields, const Variant &keyValues, TLocateOptions options,
                                      bool settle)
{
    CheckDimensions(keyValues);
    if (settle)
        CheckBrowseMode();
    else
        CheckActive();
    CursorPosChanged();
    TVemtFieldList fields;
    BuildFieldList(*this, fields, keyFields);
    TVemtMemTableCompareOptions extra = 0;
    if (options.Contains(loCaseInsensitive))
        extra |= mtcoCaseInsensitive;
    if (options.Contains(loPartialKey))
        extra |= mtcoPartialKey;
    TVemtCommon::Locker lock(*store_);
    EnsureOrdered();
    // On the current index's own fields the search bisects the index, so the
    // key must compare in the index's direction.
    const bool ownFields = SameFields(fields, currentIndex_->Fields());
    for (int i = 0; i < fields.Count(); ++i) {
        const TVemtMemTableCompareOptions own = ownFields ? currentIndex_->Fields().Options(i) & mtcoDescending : 0;
        fields.SetOptions(i, fields.Options(i) | extra | own);
    }
    KeyRecord key(*store_);
    SetRecordKeyValues(key.Get(), keyFields, keyValues);
    const TVemtSearchResult result = indexes_->SearchCurrent(fields, key.Get(), true, false);
    return result.Found ? result.Position : -1;
}

bool TVemtCustomMemTable::Locate(const QString &keyFields, const Variant &keyValues, TLocateOptions options)
{
    DoBeforeScroll();
    const int position = LocateRecord(keyFields, keyValues, options);
    found_ = position >= 0;
    if (found_) {
        position_ = position;
        Resync({rmExact, rmCenter});
        DoAfterScroll();
    }
    return found_;
}

Variant TVemtCustomMemTable::Lookup(const QString &keyFields, const Variant &keyValues, const QString &resultFields)
{
    GetFieldList(resultFields); // unknown result fields fail before the search
    // A pending edit stays pending: lookup fields call this while editing.
    const int position = LocateRecord(keyFields, keyValues, {}, false);
    if (position < 0)
        return Variant::Null();
    TVemtRecord *saved = recordUnderTest_;
    const TDataSetState savedState = SetTempState(dsFilter);
    recordUnderTest_ = currentIndex_->Entry(position);
    Variant result;
    try {
        result = FieldValues(resultFields);
    } catch (...) {
        recordUnderTest_ = saved;
        RestoreState(savedState);
        throw;
    }
    recordUnderTest_ = saved;
    RestoreState(savedState);
    return result;
}

} // namespace zorbel
