// Record store: layout, record life cycle, slots and serials, value blocks,
// comparison of values and records, locale, attached tables. The layout is
// described in VemtCommon.h.
//
// Slots and serials: a stored record takes the most recently freed slot, or a
// new one at the end of the record list; its serial is always the next value
// of the serial counter, which only grows until the store is emptied. The
// counter is checked before a record is stored, so that an overflow leaves no
// record behind and no serial is ever handed out twice.
#include "memtable/VemtCommon.h"

#include "memtable/VemtIndexes.h"
#include "platform/rtl/Collation.h"
#include "platform/rtl/StrUtils.h"

#include <QRandomGenerator>
#include <cstring>
#include <limits>
#include <memory>

namespace zorbel {
namespace {

constexpr std::int32_t kSerialLimit = 0x7FFFFFCF;  // serials stay below this
constexpr std::uint32_t kMaxValueLength = 0x7FFFFFFB;
constexpr std::int64_t kMaxDataSize = 0x7FFFFFE0;
constexpr int kBookmarkEntrySize = 8;
constexpr int kVarSlotSize = 5;                    // null byte + 32-bit handle
constexpr int kCharSize = static_cast<int>(sizeof(char16_t));

template <typename T>
T Load(const void *p)
{
    T value;
    std::memcpy(&value, p, sizeof(T));
    return value;
}

template <typename T>
int Sign(T a, T b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Text of a zero-terminated UTF-16 value of at most maxUnits units. Values
// in a record may start at an odd address; such a text is copied to an
// aligned buffer before it is read as characters.
class TextOf {
public:
    TextOf(const void *p, qsizetype maxUnits)
    {
        if (reinterpret_cast<std::uintptr_t>(p) % alignof(char16_t) == 0) {
            const auto *units = static_cast<const char16_t *>(p);
            qsizetype n = 0;
            while (n < maxUnits && units[n] != 0)
                ++n;
            view_ = QStringView(units, n);
            return;
        }
        const auto *bytes = static_cast<const std::uint8_t *>(p);
        qsizetype n = 0;
        while (n < maxUnits && (bytes[2 * n] != 0 || bytes[2 * n + 1] != 0))
            ++n;
        char16_t *copy = small_;
        if (n > kSmall) {
            large_ = std::make_unique<char16_t[]>(static_cast<size_t>(n));
            copy = large_.get();
        }
        std::memcpy(copy, p, static_cast<size_t>(n) * sizeof(char16_t));
        view_ = QStringView(copy, n);
    }
    TextOf(const TextOf &) = delete;
    TextOf &operator=(const TextOf &) = delete;
    operator QStringView() const { return view_; }

private:
    static constexpr qsizetype kSmall = 64;
    char16_t small_[kSmall];
    std::unique_ptr<char16_t[]> large_;
    QStringView view_;
};

// Whether the collation serves the locale: the neutral, user and system
// defaults (the program runs with the Russian locale) and every Russian one.
bool IsCollationLocale(int locale)
{
    const int langId = locale & 0xFFFF;
    return langId == 0 || langId == 0x0400 || langId == 0x0800 || (langId & 0x3FF) == 0x19;
}

// The run-time library's plain comparison (CompareStr, or CompareText when
// ignoring case), on texts that are not copied.
int ComparePlain(QStringView a, QStringView b, bool ignoreCase)
{
    const QString textA = QString::fromRawData(reinterpret_cast<const QChar *>(a.data()), a.size());
    const QString textB = QString::fromRawData(reinterpret_cast<const QChar *>(b.data()), b.size());
    const int result = ignoreCase ? CompareText(textA, textB) : CompareStr(textA, textB);
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

// The 34-byte decimal record (precision, sign and places, 32 bytes of
// digit nibbles) as a currency value in units of 1/10000.
bool BcdToCurrency(const std::uint8_t *bcd, std::int64_t &result)
{
    const int precision = bcd[0];
    const int places = bcd[1] & 0x3F;
    const bool negative = (bcd[1] & 0x80) != 0;
    if (precision > 64 || places > precision)
        return false;
    __int128 value = 0;
    for (int i = 0; i < precision; ++i) {
        const int nibble = (i % 2 == 0) ? (bcd[2 + i / 2] >> 4) : (bcd[2 + i / 2] & 0x0F);
        if (nibble > 9)
            return false;
        value = value * 10 + nibble;
        if (value > (static_cast<__int128>(1) << 100))
            return false;
    }
    for (int p = places; p < 4; ++p)
        value *= 10;
    for (int p = places; p > 4; --p)
        value /= 10;
    if (value > std::numeric_limits<std::int64_t>::max())
        return false;
    result = static_cast<std::int64_t>(negative ? -value : value);
    return true;
}

} // namespace

// ---------------------------------------------------------------------------
// TVemtFieldList

void TVemtFieldList::Add(TField *field, TVemtMemTableCompareOptions options)
{
    fields_.push_back(field);
    options_.push_back(options);
}

int TVemtFieldList::IndexOf(const TField *field) const
{
    for (size_t i = 0; i < fields_.size(); ++i)
        if (fields_[i] == field)
            return static_cast<int>(i);
    return -1;
}

void TVemtFieldList::Clear()
{
    fields_.clear();
    options_.clear();
}

void TVemtFieldList::CopyTo(TVemtFieldList &target) const
{
    target.Clear();
    for (size_t i = 0; i < fields_.size(); ++i)
        target.Add(fields_[i], options_[i]);
}

// ---------------------------------------------------------------------------
// Construction, lock

TVemtCommon::TVemtCommon(TVemtTableLink *owner) : owner_(owner), attached_(1, nullptr)
{
    dataId_ = DrawDataID();
    if (owner_)
        AttachTable(owner_);
}

TVemtCommon::~TVemtCommon()
{
    for (size_t i = 0; i < attached_.size(); ++i) {
        if (TVemtTableLink *table = attached_[i]) {
            if (table->IsOpen())
                table->CloseTable();
            table->SetAttachSlot(-1);
            attached_[i] = nullptr;
        }
    }
    FreeAllRecords();
    for (std::uint8_t *block : blocks_)
        delete[] block;
}

void TVemtCommon::Lock()
{
    if (!standalone_)
        mutex_.lock();
}

void TVemtCommon::Unlock()
{
    if (!standalone_)
        mutex_.unlock();
}

std::uint32_t TVemtCommon::DrawDataID() const
{
    std::uint32_t id;
    do
        id = QRandomGenerator::global()->bounded(0x80000001u);
    while (id == dataId_);
    return id;
}

// ---------------------------------------------------------------------------
// Layout

bool TVemtCommon::IsBlobType(TFieldType type)
{
    return zorbel::IsBlobType(type);
}

bool TVemtCommon::IsSupportedType(TFieldType type)
{
    switch (type) {
    case ftString: case ftSmallint: case ftInteger: case ftWord: case ftBoolean: case ftFloat:
    case ftCurrency: case ftBCD: case ftDate: case ftTime: case ftDateTime: case ftBytes:
    case ftVarBytes: case ftAutoInc: case ftFixedChar: case ftLargeint: case ftADT: case ftArray:
        return true;
    default:
        return IsBlobType(type);
    }
}

int TVemtCommon::StorageSize(TFieldType type, int size)
{
    switch (type) {
    case ftString: case ftFixedChar: return (size + 1) * kCharSize;
    case ftSmallint: case ftWord: case ftBoolean: return 2;
    case ftInteger: case ftAutoInc: return 4;
    case ftFloat: case ftCurrency: case ftDate: case ftTime: case ftDateTime: case ftLargeint: return 8;
    case ftBCD: return 34;
    case ftBytes: return size;
    case ftVarBytes: return size + 2;
    default: return 0;
    }
}

void TVemtCommon::LayoutFieldDef(TFieldDef &def)
{
    const TFieldType type = def.DataType();
    if (!IsSupportedType(type))
        throw EMemTableError(QStringLiteral("Fielddef %1 (%2) Datatype %3 not supported.")
                                 .arg(def.Name(), def.DisplayName())
                                 .arg(static_cast<int>(type)));
    const int fieldNo = ++fieldCount_;
    if (fieldNo > kVemtMaxFields)
        throw EMemTableError(QStringLiteral("Too many fielddefs. Please raise VEMT_MAX_FIELDS value."));
    const bool textOrBytes = type == ftString || type == ftBytes || type == ftVarBytes || type == ftFixedChar;
    std::uint8_t flags = 0;
    if (IsBlobType(type) || (textOrBytes && def.Size() > 12 && performance_ != mtpfFast))
        flags = kFieldVarLength;
    if (flags && !IsBlobType(type) && OnSetupField)
        OnSetupField(def, flags);
    fieldFlags_[fieldNo] = flags & ~kFieldWritten;
    if (!(flags & kFieldVarLength)) {
        fieldOffset_[fieldNo] = fixedSize_;
        fixedSize_ += 1 + StorageSize(type, def.Size());
    }
}

void TVemtCommon::LayoutRecord()
{
    Locker lock(*this);
    TFieldDefs &defs = owner_->LayoutFieldDefs();
    if (defs.Count() == 0)
        throw EMemTableError(QStringLiteral("There must be at least one field"));
    fieldCount_ = 0;
    fixedSize_ = 0;
    std::fill(std::begin(fieldOffset_), std::end(fieldOffset_), 0);
    std::fill(std::begin(fieldFlags_), std::end(fieldFlags_), 0);
    for (int i = 0; i < defs.Count(); ++i)
        LayoutFieldDef(*defs[i]);
    calcStart_ = fixedSize_;
    bookmarkStart_ = calcStart_ + owner_->CalcAreaSize();
    varStart_ = bookmarkStart_ + AttachMaxCount() * kBookmarkEntrySize;
    varCount_ = 0;
    for (int fieldNo = 1; fieldNo <= fieldCount_; ++fieldNo) {
        if (!(fieldFlags_[fieldNo] & kFieldVarLength))
            continue;
        fieldOffset_[fieldNo] = varStart_ + kVarSlotSize * varCount_++;
        if (performance_ == mtpfSmall)
            fieldFlags_[fieldNo] |= kFieldCompressed;
    }
    const std::int64_t dataSize = static_cast<std::int64_t>(varStart_) + kVarSlotSize * varCount_;
    if (dataSize >= kMaxDataSize)
        throw EMemTableError(QStringLiteral("Record size is out of range."));
    dataSize_ = static_cast<int>(dataSize);
    recordSize_ = dataSize_ + static_cast<int>(sizeof(TVemtRecord));
    modified_ = false;
}

// ---------------------------------------------------------------------------
// Records

TVemtRecord *TVemtCommon::NewRecord() const
{
    void *block = ::operator new(static_cast<size_t>(recordSize_));
    auto *record = new (block) TVemtRecord;
    std::memset(record->Data(), 0, static_cast<size_t>(dataSize_));
    return record;
}

void TVemtCommon::StoreRecord(TVemtRecord *record)
{
    Locker lock(*this);
    // The limit is checked before the record is stored, on both paths: a
    // refused record is not stored (the caller that catches the error has
    // nothing half-added to remove), and a reused slot draws a serial too, so
    // it must not carry the counter past the limit and wrap it.
    if (serialCounter_ >= kSerialLimit)
        throw EMemTableFatalError(
            QStringLiteral("Bookmark counter is out of range. Please close and reopen table."));
    if (freeSlots_.empty()) {
        record->SlotIndex = nextSlot_++;
        records_.push_back(record);
    } else {
        record->SlotIndex = freeSlots_.back();
        freeSlots_.pop_back();
        records_[static_cast<size_t>(record->SlotIndex)] = record;
    }
    record->Serial = serialCounter_++;
    record->Flags |= kRecordStored;
    if (enableVersioning_)
        record->ChangeState = kChangeInserted;
}

void TVemtCommon::ReleaseSlot(TVemtRecord *record)
{
    Locker lock(*this);
    const std::int32_t slot = record->SlotIndex;
    if (slot < 0 || slot >= RecordCount() || records_[static_cast<size_t>(slot)] != record)
        return;
    freeSlots_.push_back(slot);
    records_[static_cast<size_t>(slot)] = nullptr;
}

void TVemtCommon::DeleteRecord(TVemtRecord *record)
{
    Locker lock(*this);
    ReleaseSlot(record);
    FreeRecordUnlocked(record, true, true);
}

void TVemtCommon::FreeRecord(TVemtRecord *record, bool withValues, bool withVersions)
{
    Locker lock(*this);
    FreeRecordUnlocked(record, withValues, withVersions);
}

void TVemtCommon::FreeRecordUnlocked(TVemtRecord *record, bool withValues, bool withVersions)
{
    while (record) {
        if (withValues)
            FreeValues(record);
        TVemtRecord *older = withVersions ? record->OlderVersion : nullptr;
        record->~TVemtRecord();
        ::operator delete(record);
        record = older;
    }
}

void TVemtCommon::FreeAllRecords()
{
    for (TVemtRecord *&record : records_) {
        FreeRecordUnlocked(record, true, true);
        record = nullptr;
    }
}

void TVemtCommon::EmptyStore()
{
    Locker lock(*this);
    FreeAllRecords();
    records_.clear();
    freeSlots_.clear();
    nextSlot_ = 0;
    serialCounter_ = 0;
    dataId_ = DrawDataID();
}

void TVemtCommon::EmptyAll()
{
    Locker lock(*this);
    for (TVemtTableLink *table : attached_)
        if (table && table->IsOpen())
            table->PrepareEmpty();
    EmptyStore();
}

void TVemtCommon::CopyRecord(const TVemtRecord *source, TVemtRecord *target) const
{
    target->Position = source->Position;
    target->SlotIndex = source->SlotIndex;
    target->Serial = source->Serial;
    target->ChangeState = source->ChangeState;
    target->OlderVersion = source->OlderVersion;
    target->ChangeLevel = source->ChangeLevel;
    std::memcpy(target->Data(), source->Data(), static_cast<size_t>(varStart_));
    for (int i = 0; i < varCount_; ++i)
        target->Data()[varStart_ + kVarSlotSize * i] = source->Data()[varStart_ + kVarSlotSize * i];
}

TVemtRecord *TVemtCommon::CloneRecord(const TVemtRecord *record, bool withValues)
{
    Locker lock(*this);
    TVemtRecord *clone = NewRecord();
    CopyRecord(record, clone);
    if (withValues) {
        for (int i = 0; i < varCount_; ++i) {
            const std::uint8_t *from = record->Data() + varStart_ + kVarSlotSize * i;
            SetSlotHandle(clone->Data() + varStart_ + kVarSlotSize * i, CopyValue(SlotHandle(from)));
        }
    }
    return clone;
}

void TVemtCommon::MoveValues(TVemtRecord *source, TVemtRecord *target)
{
    Locker lock(*this);
    for (int i = 0; i < varCount_; ++i) {
        std::uint8_t *from = source->Data() + varStart_ + kVarSlotSize * i;
        std::uint8_t *to = target->Data() + varStart_ + kVarSlotSize * i;
        const std::uint32_t handle = SlotHandle(from);
        if (from[0] == 0) {
            FreeValue(SlotHandle(to));
            SetSlotHandle(to, 0);
            to[0] = 0;
        } else if (handle != 0) {
            if (SlotHandle(to) != handle)
                FreeValue(SlotHandle(to));
            SetSlotHandle(to, handle);
            SetSlotHandle(from, 0);
        }
    }
    CopyRecord(source, target);
}

void TVemtCommon::FreeValues(TVemtRecord *record)
{
    Locker lock(*this);
    for (int i = 0; i < varCount_; ++i) {
        std::uint8_t *slot = record->Data() + varStart_ + kVarSlotSize * i;
        FreeValue(SlotHandle(slot));
        SetSlotHandle(slot, 0);
        slot[0] = 0;
    }
}

std::uint8_t *TVemtCommon::FieldPointer(TVemtRecord *record, const TField *field) const
{
    return const_cast<std::uint8_t *>(FieldPointer(static_cast<const TVemtRecord *>(record), field));
}

const std::uint8_t *TVemtCommon::FieldPointer(const TVemtRecord *record, const TField *field) const
{
    if (!record || !field)
        return nullptr;
    const int fieldNo = field->FieldNo();
    if (fieldNo > 0 && fieldNo <= fieldCount_)
        return record->Data() + fieldOffset_[fieldNo];
    return record->Data() + calcStart_ + field->Offset();
}

// ---------------------------------------------------------------------------
// Value blocks

std::uint32_t TVemtCommon::NewValue(std::uint32_t length)
{
    if (length > kMaxValueLength)
        throw EMemTableError(QStringLiteral("Value is too long."));
    Locker lock(*this);
    auto *block = new std::uint8_t[4 + static_cast<size_t>(length)]();
    std::memcpy(block, &length, 4);
    if (!freeBlocks_.empty()) {
        const std::uint32_t handle = freeBlocks_.back();
        freeBlocks_.pop_back();
        blocks_[handle - 1] = block;
        return handle;
    }
    blocks_.push_back(block);
    return static_cast<std::uint32_t>(blocks_.size());
}

std::uint32_t TVemtCommon::CopyValue(std::uint32_t handle)
{
    if (handle == 0)
        return 0;
    Locker lock(*this);
    std::uint32_t length = 0;
    const std::uint8_t *bytes = ValueBytes(handle, &length);
    const std::uint32_t copy = NewValue(length);
    std::memcpy(ValueBytes(copy), bytes, length);
    return copy;
}

void TVemtCommon::FreeValue(std::uint32_t handle)
{
    Locker lock(*this);
    if (handle == 0 || handle > blocks_.size() || !blocks_[handle - 1])
        return;
    delete[] blocks_[handle - 1];
    blocks_[handle - 1] = nullptr;
    freeBlocks_.push_back(handle);
}

std::uint8_t *TVemtCommon::ValueBytes(std::uint32_t handle, std::uint32_t *length)
{
    std::uint8_t *block = handle != 0 && handle <= blocks_.size() ? blocks_[handle - 1] : nullptr;
    if (length)
        *length = block ? Load<std::uint32_t>(block) : 0;
    return block ? block + 4 : nullptr;
}

std::uint32_t TVemtCommon::SlotHandle(const std::uint8_t *fieldPointer)
{
    return Load<std::uint32_t>(fieldPointer + 1);
}

void TVemtCommon::SetSlotHandle(std::uint8_t *fieldPointer, std::uint32_t handle)
{
    std::memcpy(fieldPointer + 1, &handle, 4);
}

std::uint32_t TVemtCommon::FieldValueHandle(const TVemtRecord *record, const TField *field) const
{
    const std::uint32_t own = SlotHandle(FieldPointer(record, field));
    if (own != 0)
        return own;
    const std::int32_t slot = record->SlotIndex;
    if (slot < 0)
        throw EMemTableInvalidRecord(QStringLiteral("Invalid record "));
    const TVemtRecord *stored = slot < RecordCount() ? records_[static_cast<size_t>(slot)] : nullptr;
    return stored && stored != record ? SlotHandle(FieldPointer(stored, field)) : 0;
}

// ---------------------------------------------------------------------------
// Comparison

bool TVemtCommon::LocaleUsesCollation() const { return IsCollationLocale(localeId_); }

int TVemtCommon::CompareTexts(const void *first, qsizetype maxFirst, const void *second, qsizetype maxSecond,
                              TVemtMemTableCompareOptions options, int locale, bool &fullMatch)
{
    if (options & (mtcoPartialKey | mtcoIgnoreLocale))
        return CompareStrings(TextOf(first, maxFirst), TextOf(second, maxSecond), options, locale, fullMatch);
    // The usual case compares in place, without measuring the texts first.
    if (!IsCollationLocale(locale))
        throw EMemTableInvalidLocale(QStringLiteral("Invalid locale. %1").arg(locale));
    const int result = CompareRussianText(first, maxFirst, second, maxSecond, (options & mtcoCaseInsensitive) != 0);
    const int sign = result < 0 ? -1 : (result > 0 ? 1 : 0);
    return (options & mtcoDescending) ? -sign : sign;
}

int TVemtCommon::CompareStrings(QStringView first, QStringView second, TVemtMemTableCompareOptions options,
                                int locale, bool &fullMatch)
{
    if (options & mtcoPartialKey) {
        fullMatch = first.size() == second.size();
        if (second.size() > first.size())
            second = second.first(first.size());
    }
    const bool ignoreCase = (options & mtcoCaseInsensitive) != 0;
    int result;
    if (options & mtcoIgnoreLocale) {
        result = ComparePlain(first, second, ignoreCase);
    } else {
        if (!IsCollationLocale(locale))
            throw EMemTableInvalidLocale(QStringLiteral("Invalid locale. %1").arg(locale));
        result = CompareRussian(first, second, ignoreCase);
        result = result < 0 ? -1 : (result > 0 ? 1 : 0);
    }
    return (options & mtcoDescending) ? -result : result;
}

int TVemtCommon::CompareValues(const void *first, const void *second, TFieldType type,
                               TVemtMemTableCompareOptions options, int locale, bool &fullMatch)
{
    fullMatch = true;
    int result = 0;
    switch (type) {
    case ftString: case ftFixedChar:
        return CompareTexts(first, std::numeric_limits<qsizetype>::max(), second,
                            std::numeric_limits<qsizetype>::max(), options, locale, fullMatch);
    case ftSmallint:
        result = Sign(Load<std::int16_t>(first), Load<std::int16_t>(second));
        break;
    case ftInteger: case ftAutoInc: case ftDate: case ftTime:
        result = Sign(Load<std::int32_t>(first), Load<std::int32_t>(second));
        break;
    case ftLargeint:
        result = Sign(Load<std::int64_t>(first), Load<std::int64_t>(second));
        break;
    case ftWord:
        result = Sign(Load<std::uint16_t>(first), Load<std::uint16_t>(second));
        break;
    case ftBoolean:
        result = Sign(Load<std::uint16_t>(first) != 0, Load<std::uint16_t>(second) != 0);
        break;
    case ftFloat: case ftCurrency: case ftDateTime:
        result = Sign(Load<double>(first), Load<double>(second));
        break;
    case ftBCD: {
        std::int64_t a = 0;
        std::int64_t b = 0;
        if (BcdToCurrency(static_cast<const std::uint8_t *>(first), a)
            && BcdToCurrency(static_cast<const std::uint8_t *>(second), b))
            result = Sign(a, b);
        break;
    }
    default:
        break;
    }
    return (options & mtcoDescending) ? -result : result;
}

TVemtKeyField TVemtCommon::KeyField(TField *field, TVemtMemTableCompareOptions options) const
{
    TVemtKeyField key;
    key.Field = field;
    key.Type = field->DataType();
    key.Options = options;
    const int fieldNo = field->FieldNo();
    key.Offset = fieldNo > 0 && fieldNo <= fieldCount_ ? fieldOffset_[fieldNo] : calcStart_ + field->Offset();
    key.VarLength = IsVarLength(fieldNo);
    key.MaxUnits = std::max(field->Size(), 0);
    key.Compressed = key.VarLength && (fieldFlags_[fieldNo] & kFieldCompressed);
    return key;
}

void TVemtCommon::PrepareKeyFields(const TVemtFieldList &fields, std::vector<TVemtKeyField> &keys) const
{
    keys.clear();
    for (int i = 0; i < fields.Count(); ++i)
        keys.push_back(KeyField(fields.Fields(i), fields.Options(i)));
}

int TVemtCommon::CompareField(const TVemtKeyField &key, const TVemtRecord *first, const TVemtRecord *second,
                              const std::uint8_t *a, const std::uint8_t *b, TVemtMemTableCompareOptions options,
                              bool &fullMatch) const
{
    if (!key.VarLength && !OnCompareFields) {
        if (key.Type == ftString || key.Type == ftFixedChar)
            return CompareTexts(a + 1, key.MaxUnits, b + 1, key.MaxUnits, options, localeId_, fullMatch);
        return CompareValues(a + 1, b + 1, key.Type, options, localeId_, fullMatch);
    }
    auto &self = const_cast<TVemtCommon &>(*this);
    const void *va = a + 1;
    const void *vb = b + 1;
    QByteArray unpackedA;
    QByteArray unpackedB;
    std::uint32_t lengthA = 0;
    std::uint32_t lengthB = 0;
    if (key.VarLength) {
        va = self.ValueBytes(FieldValueHandle(first, key.Field), &lengthA);
        vb = self.ValueBytes(FieldValueHandle(second, key.Field), &lengthB);
        if (key.Compressed && OnDecompressField) {
            unpackedA = OnDecompressField(key.Field, static_cast<const std::uint8_t *>(va), lengthA);
            unpackedB = OnDecompressField(key.Field, static_cast<const std::uint8_t *>(vb), lengthB);
            va = unpackedA.constData();
            vb = unpackedB.constData();
            lengthA = static_cast<std::uint32_t>(unpackedA.size());
            lengthB = static_cast<std::uint32_t>(unpackedB.size());
        }
    }
    if (OnCompareFields) {
        int result = 0;
        OnCompareFields(va, vb, key.Field, key.Type, options, fullMatch, result);
        return result;
    }
    if (key.Type == ftString || key.Type == ftFixedChar)
        return CompareTexts(va, lengthA / kCharSize, vb, lengthB / kCharSize, options, localeId_, fullMatch);
    // Other variable-length types have no order.
    return 0;
}

int TVemtCommon::CompareKeys(const TVemtKeyField *keys, int count, const TVemtRecord *first,
                             const TVemtRecord *second, bool ignoreNull, bool partial, int mode) const
{
    if (!first || !second)
        return 0;
    int result = 0;
    for (int i = 0; i < count; ++i) {
        const TVemtKeyField &key = keys[i];
        TVemtMemTableCompareOptions options = key.Options;
        if (mode >= cmLess && mode <= cmGreaterEqual)
            options &= ~mtcoDescending;
        if (partial)
            options |= mtcoPartialKey;
        const std::uint8_t *a = first->Data() + key.Offset;
        const std::uint8_t *b = second->Data() + key.Offset;
        const bool hasA = a[0] != 0;
        const bool hasB = b[0] != 0;
        if (!hasA && (ignoreNull || (options & mtcoIgnoreNullKey)))
            continue;
        bool fullMatch = true;
        if (hasA && hasB)
            result = CompareField(key, first, second, a, b, options, fullMatch);
        else
            result = hasA ? 1 : (hasB ? -1 : 0);
        switch (mode) {
        case cmEqual: if (result != 0 || !fullMatch) return result; break;
        case cmLess: if (result < 0) return result; break;
        case cmGreater: if (result > 0) return result; break;
        case cmLessEqual: if (result <= 0) return result; break;
        case cmGreaterEqual: if (result >= 0) return result; break;
        default: break;
        }
    }
    return result;
}

bool TVemtCommon::MatchKeys(const TVemtKeyField *keys, int count, const TVemtRecord *key, const TVemtRecord *record,
                            bool partial) const
{
    for (int i = 0; i < count; ++i)
        if (CompareKeys(keys + i, 1, key, record, false, partial, cmEqual) != 0)
            return false;
    return true;
}

int TVemtCommon::CompareRecords(const TVemtFieldList &fields, int count, const TVemtRecord *first,
                                const TVemtRecord *second, bool ignoreNull, bool partial, int mode) const
{
    if (!first || !second)
        return 0;
    Locker lock(const_cast<TVemtCommon &>(*this));
    const int n = (count <= 0 || count > fields.Count()) ? fields.Count() : count;
    // The usual short lists need no allocation.
    constexpr int kShortList = 8;
    TVemtKeyField shortKeys[kShortList];
    std::vector<TVemtKeyField> longKeys;
    TVemtKeyField *keys = shortKeys;
    if (n > kShortList) {
        longKeys.resize(static_cast<size_t>(n));
        keys = longKeys.data();
    }
    for (int i = 0; i < n; ++i)
        keys[i] = KeyField(fields.Fields(i), fields.Options(i));
    return CompareKeys(keys, n, first, second, ignoreNull, partial, mode);
}

// ---------------------------------------------------------------------------
// Written marks, locale, settings

void TVemtCommon::SetFieldWritten(int fieldNo)
{
    if (fieldNo > 0 && fieldNo <= kVemtMaxFields)
        fieldFlags_[fieldNo] |= kFieldWritten;
}

bool TVemtCommon::FieldWritten(int fieldNo) const
{
    return fieldNo > 0 && fieldNo <= kVemtMaxFields && (fieldFlags_[fieldNo] & kFieldWritten);
}

void TVemtCommon::ClearFieldWritten()
{
    for (std::uint8_t &flags : fieldFlags_)
        flags &= ~kFieldWritten;
}

void TVemtCommon::SetLocaleID(int value)
{
    localeId_ = value;
    sortId_ = (value >> 16) & 0x0F;
    languageId_ = value & 0xFF;
    subLanguageId_ = (value >> 10) & 0x3F;
}

namespace {
int BuildLocale(int sortId, int subLanguageId, int languageId)
{
    const int langId = subLanguageId * 1024 + languageId;
    if (langId < 0 || langId > 0xFFFF)
        throw ERangeError(QStringLiteral("Range check error"));
    return sortId * 65536 + langId;
}
} // namespace

void TVemtCommon::SetLanguageID(int value)
{
    localeId_ = BuildLocale(sortId_, subLanguageId_, value);
    languageId_ = value;
}

void TVemtCommon::SetSubLanguageID(int value)
{
    localeId_ = BuildLocale(sortId_, value, languageId_);
    subLanguageId_ = value;
}

void TVemtCommon::SetSortID(int value)
{
    localeId_ = BuildLocale(value, subLanguageId_, languageId_);
    sortId_ = value;
}

void TVemtCommon::SetStandalone(bool value)
{
    if (value == standalone_)
        return;
    if (AttachedCount() > 1)
        throw EMemTableError(QStringLiteral("Children are attached to this table."));
    // Switching takes effect between operations: the lock is free here unless
    // this thread holds it, and then the state must not change under it.
    standalone_ = value;
}

void TVemtCommon::SetAutoIncMinValue(int value)
{
    autoIncMin_ = value;
    if (value > autoIncMax_)
        autoIncMax_ = value - 1;
}

// ---------------------------------------------------------------------------
// Attached tables

void TVemtCommon::AttachTable(TVemtTableLink *table)
{
    Locker lock(*this);
    for (size_t i = 0; i < attached_.size(); ++i) {
        if (!attached_[i]) {
            attached_[i] = table;
            table->SetAttachSlot(static_cast<int>(i));
            return;
        }
    }
    if (AnyAttachedOpen())
        throw EMemTableError(QStringLiteral("Table must be closed for this operation."));
    attached_.push_back(table);
    table->SetAttachSlot(static_cast<int>(attached_.size()) - 1);
}

void TVemtCommon::DetachTable(TVemtTableLink *table)
{
    Locker lock(*this);
    for (TVemtTableLink *&slot : attached_)
        if (slot == table)
            slot = nullptr;
}

void TVemtCommon::SetAttachMaxCount(int value)
{
    Locker lock(*this);
    if (value == AttachMaxCount())
        return;
    if (value <= 0)
        throw ERangeError(QStringLiteral("Invalid argument."));
    if (AnyAttachedOpen())
        throw EMemTableError(QStringLiteral("Table must be closed for this operation."));
    for (size_t i = static_cast<size_t>(value); i < attached_.size(); ++i)
        if (attached_[i])
            attached_[i]->SetAttachSlot(-1);
    attached_.resize(static_cast<size_t>(value), nullptr);
}

int TVemtCommon::AttachedCount() const
{
    int count = 0;
    for (TVemtTableLink *table : attached_)
        count += table != nullptr;
    return count;
}

bool TVemtCommon::AnyAttachedOpen() const
{
    for (TVemtTableLink *table : attached_)
        if (table && table->IsOpen())
            return true;
    return false;
}

void TVemtCommon::CloseOthers(TVemtTableLink *except)
{
    Locker lock(*this);
    for (TVemtTableLink *table : attached_)
        if (table && table != except && table->IsOpen())
            table->CloseTable();
}

void TVemtCommon::RefreshOthers(TVemtTableLink *except)
{
    Locker lock(*this);
    for (TVemtTableLink *table : attached_)
        if (table && table != except && table->IsOpen() && table->IsBrowsing())
            table->RefreshTable();
}

void TVemtCommon::RebuildAllIndexes()
{
    Locker lock(*this);
    for (TVemtTableLink *table : attached_)
        if (table && table->IsOpen())
            table->Indexes().RebuildAll();
}

void TVemtCommon::MarkAllIndexesUnordered()
{
    Locker lock(*this);
    for (TVemtTableLink *table : attached_)
        if (table && table->IsOpen())
            table->Indexes().MarkAllUnordered();
}

void TVemtCommon::RefreshAll()
{
    Locker lock(*this);
    for (TVemtTableLink *table : attached_)
        if (table && table->IsOpen())
            table->RefreshTable();
}

void TVemtCommon::UpdateIndexes(TVemtUpdateKind kind, TVemtRecord *record, TVemtTableLink *origin,
                                int position, TVemtRecord *newValues)
{
    Locker lock(*this);
    for (TVemtTableLink *table : attached_)
        if (table && table->IsOpen())
            table->Indexes().Update(kind, record, table == origin ? position : -1, newValues);
}

} // namespace zorbel
