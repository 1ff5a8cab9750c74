// Indexes, the index set and the sort (see VemtIndexes.h).
//
// Key search: an index that is Ordered, sorted and holds 21 entries or more is
// bisected; any other is scanned from its first entry. Sorting is a quicksort
// with median of three that leaves ranges below 6 entries to a final insertion
// sort; every comparison breaks ties by record origin and SlotIndex, so equal
// keys end in SlotIndex order (falling when the first field is descending).
#include "memtable/VemtIndexes.h"
#include "platform/rtl/Collation.h"

#include <algorithm>
#include <cstring>

namespace zorbel {
namespace {

constexpr int kBisectMinimum = 21;   // entries from which a key search bisects
constexpr int kQuickSortMinimum = 6; // ranges below this wait for the insertion sort
constexpr int kProgressStep = 100;   // entries between progress reports
constexpr int kPrefetchDistance = 8; // entries ahead whose records are fetched

const QString kDupKeyMessage = QStringLiteral("Duplicate index value. Operation aborted.");

// One name of field-list text with its option letters.
struct FieldItem {
    QString Name;
    TVemtMemTableCompareOptions Options = 0;
};

std::vector<FieldItem> ParseFieldList(const QString &listText)
{
    std::vector<FieldItem> items;
    for (const QString &part : listText.split(QLatin1Char(';'))) {
        const QString text = part.trimmed();
        if (text.isEmpty())
            continue;
        FieldItem item;
        const qsizetype colon = text.indexOf(QLatin1Char(':'));
        item.Name = (colon < 0 ? text : text.left(colon)).trimmed();
        if (colon >= 0) {
            for (QChar letter : text.mid(colon + 1)) {
                switch (letter.toUpper().unicode()) {
                case u'C': item.Options |= mtcoCaseInsensitive; break;
                case u'D': item.Options |= mtcoDescending; break;
                case u'N': item.Options |= mtcoIgnoreNullKey; break;
                case u'P': item.Options |= mtcoPartialKey; break;
                case u'L': item.Options |= mtcoIgnoreLocale; break;
                default: break;
                }
            }
        }
        items.push_back(item);
    }
    return items;
}

// Quicksort of entries low..high (median of three, ranges below 6 entries left
// alone), then one insertion sort over the whole range. compare(a, b) gives
// -1, 0 or 1 and never 0 for two different records (ties are broken).
template <class Compare>
void QuickSortEntries(std::vector<TVemtRecord *> &entries, int low, int high, int prefetchOffset,
                      const Compare &compare)
{
    // Recurse into the smaller part and loop on the larger one, so the stack
    // stays logarithmic whatever the data.
    while (high - low + 1 >= kQuickSortMinimum) {
        const int mid = low + (high - low) / 2;
        if (compare(entries[mid], entries[low]) < 0)
            std::swap(entries[mid], entries[low]);
        if (compare(entries[high], entries[low]) < 0)
            std::swap(entries[high], entries[low]);
        if (compare(entries[high], entries[mid]) < 0)
            std::swap(entries[high], entries[mid]);
        std::swap(entries[mid], entries[high - 1]);
        const TVemtRecord *pivot = entries[high - 1];
        int i = low;
        int j = high - 1;
        // The two scans walk the entry list in order but reach the records
        // through pointers; fetching the records ahead hides the cache misses.
        const auto prefetch = [&](int at) {
            if (at >= low && at <= high)
                __builtin_prefetch(entries[static_cast<size_t>(at)]->Data() + prefetchOffset);
        };
        // The bounds checks keep a comparison that is not a consistent order
        // (an OnCompareFields handler, partial-key fields) inside the range.
        for (;;) {
            do
                prefetch(i + kPrefetchDistance);
            while (compare(entries[++i], pivot) < 0 && i < high - 1);
            do
                prefetch(j - kPrefetchDistance);
            while (compare(entries[--j], pivot) > 0 && j > low);
            if (j < i)
                break;
            std::swap(entries[i], entries[j]);
        }
        std::swap(entries[i], entries[high - 1]);
        if (i - low < high - i) {
            QuickSortEntries(entries, low, i - 1, prefetchOffset, compare);
            low = i + 1;
        } else {
            QuickSortEntries(entries, i + 1, high, prefetchOffset, compare);
            high = i - 1;
        }
    }
}

template <class Compare>
void SortEntries(std::vector<TVemtRecord *> &entries, int first, int last, int prefetchOffset,
                 const Compare &compare)
{
    QuickSortEntries(entries, first, last, prefetchOffset, compare);
    for (int i = first + 1; i <= last; ++i) {
        TVemtRecord *record = entries[i];
        int j = i - 1;
        while (j >= first && compare(entries[j], record) > 0) {
            entries[j + 1] = entries[j];
            --j;
        }
        entries[j + 1] = record;
    }
}

bool IsIndexableType(TFieldType type)
{
    return TVemtCommon::IsSupportedType(type) && !TVemtCommon::IsBlobType(type) && type != ftBytes
        && type != ftVarBytes;
}

} // namespace

// Compares two records on one fixed-size numeric key of type T the way
// TVemtCommon::CompareKeys does (nulls first, descending reverses values
// only), then breaks ties as the index does.
template <typename T> struct TVemtIndex::FixedKeyCompare {
    const TVemtIndex *Index;
    int Offset;
    bool Descending;

    int operator()(const TVemtRecord *first, const TVemtRecord *second) const
    {
        const std::uint8_t *a = first->Data() + Offset;
        const std::uint8_t *b = second->Data() + Offset;
        int result;
        if (a[0] != 0 && b[0] != 0) {
            T x;
            T y;
            std::memcpy(&x, a + 1, sizeof(T));
            std::memcpy(&y, b + 1, sizeof(T));
            result = x < y ? -1 : (y < x ? 1 : 0);
            if (Descending)
                result = -result;
        } else {
            result = a[0] != 0 ? 1 : (b[0] != 0 ? -1 : 0);
        }
        return result != 0 ? result : Index->TieBreak(first, second);
    }
};

// ---------------------------------------------------------------------------
// Field lists

void BuildFieldList(TDataSet &dataSet, TVemtFieldList &fieldList, const QString &text)
{
    fieldList.Clear();
    for (const FieldItem &item : ParseFieldList(text)) {
        TField *field = dataSet.FieldByName(item.Name);
        if (field->FieldKind() > fkInternalCalc || !IsIndexableType(field->DataType()))
            throw EDatabaseError(QStringLiteral("Can't index on field %1").arg(field->DisplayName()));
        if (field->FieldKind() == fkCalculated)
            if (auto *table = dynamic_cast<TVemtTableLink *>(&dataSet))
                table->SetRecalcOnIndex(true);
        fieldList.Add(field, item.Options);
    }
}

void SetFieldOption(TVemtFieldList &fieldList, TVemtMemTableCompareOption option, const QString &text)
{
    const std::vector<FieldItem> items = ParseFieldList(text);
    for (int i = 0; i < fieldList.Count(); ++i) {
        const QString &name = fieldList.Fields(i)->FieldName();
        const bool named = std::any_of(items.begin(), items.end(), [&](const FieldItem &item) {
            return item.Name.compare(name, Qt::CaseInsensitive) == 0;
        });
        const TVemtMemTableCompareOptions options = fieldList.Options(i);
        fieldList.SetOptions(i, named ? (options | option) : (options & ~option));
    }
}

bool SameFields(const TVemtFieldList &a, const TVemtFieldList &b)
{
    if (a.Count() != b.Count())
        return false;
    for (int i = 0; i < a.Count(); ++i)
        if (a.Fields(i) != b.Fields(i))
            return false;
    return true;
}

// ---------------------------------------------------------------------------
// TVemtIndex

TVemtIndex::TVemtIndex(const QString &name, bool internal, bool sorted, TVemtMemTableCompareOptions options,
                       const QString &fieldNames, TVemtTableLink &table)
    : name_(name), fieldNames_(fieldNames), table_(table), store_(table.Store()), options_(options),
      sorted_(sorted), internal_(internal)
{
    if (!fieldNames.trimmed().isEmpty()) {
        BuildFieldList(table.DataSet(), fields_, fieldNames);
        for (TVemtMemTableCompareOption option :
             {mtcoDescending, mtcoCaseInsensitive, mtcoPartialKey, mtcoIgnoreNullKey, mtcoIgnoreLocale}) {
            if (options & option)
                SetFieldOption(fields_, option, fieldNames);
        }
    }
    ordered_ = store_.RecordCount() == 0;
    asRebuilt_ = ordered_;
    ChooseOrderKey();
}

void TVemtIndex::ChooseOrderKey()
{
    keyKind_ = TOrderKeyKind::None;
    entries_.SetKeyOf(nullptr, nullptr);
    if (fields_.Count() == 0)
        return;
    TField *field = fields_.Fields(0);
    const TVemtMemTableCompareOptions options = fields_.Options(0);
    const TVemtKeyField key = store_.KeyField(field, options);
    if (field->FieldKind() != fkData || key.VarLength || (options & (mtcoPartialKey | mtcoIgnoreNullKey)))
        return;
    switch (key.Type) {
    case ftString: case ftFixedChar:
        if (!(options & mtcoIgnoreLocale))
            keyKind_ = TOrderKeyKind::Text;
        break;
    case ftSmallint: keyKind_ = TOrderKeyKind::Int16; break;
    case ftWord: keyKind_ = TOrderKeyKind::UInt16; break;
    case ftInteger: case ftAutoInc: case ftDate: case ftTime: keyKind_ = TOrderKeyKind::Int32; break;
    default: break;
    }
    if (keyKind_ == TOrderKeyKind::None)
        return;
    keyOffset_ = key.Offset;
    keyUnits_ = key.MaxUnits;
    keyDescending_ = (options & mtcoDescending) != 0;
    entries_.SetKeyOf(&TVemtIndex::OrderKeyOf, this);
}

std::uint64_t TVemtIndex::OrderKeyOf(const void *context, const TVemtRecord *record)
{
    const auto &index = *static_cast<const TVemtIndex *>(context);
    const std::uint8_t *field = record->Data() + index.keyOffset_;
    if (field[0] == 0)
        return 0;
    const auto load = [field](auto value) {
        std::memcpy(&value, field + 1, sizeof value);
        return value;
    };
    // Every value below is below 2^61; offsets keep signed values in order.
    std::uint64_t value = 0;
    switch (index.keyKind_) {
    case TOrderKeyKind::Text: value = RussianPrimaryPrefix(field + 1, index.keyUnits_); break;
    case TOrderKeyKind::Int16: value = static_cast<std::uint64_t>(load(std::int16_t()) + 0x8000); break;
    case TOrderKeyKind::UInt16: value = load(std::uint16_t()); break;
    case TOrderKeyKind::Int32:
        value = static_cast<std::uint64_t>(static_cast<std::int64_t>(load(std::int32_t())) + 0x80000000LL);
        break;
    case TOrderKeyKind::None: return 0;
    }
    constexpr std::uint64_t kValueMask = (std::uint64_t(1) << 61) - 1;
    return (std::uint64_t(1) << 62) | (index.keyDescending_ ? kValueMask - value : value);
}

bool TVemtIndex::OrderKeysApply() const
{
    return keyKind_ != TOrderKeyKind::None && !store_.OnCompareFields
        && (keyKind_ != TOrderKeyKind::Text || store_.LocaleUsesCollation());
}

void TVemtIndex::Clear()
{
    entries_.clear();
    ordered_ = false;
    asRebuilt_ = false;
}

bool TVemtIndex::PassesFilter(TVemtRecord *record)
{
    const auto &onFilter = table_.Indexes().OnFilterIndex;
    if (!onFilter && !FilterExpression)
        return true;
    bool accept = true;
    if (onFilter)
        onFilter(*this, record, accept);
    if (accept && FilterExpression)
        accept = FilterExpression(record);
    return accept;
}

void TVemtIndex::Load()
{
    Clear();
    TVemtCommon::Locker lock(store_);
    filtered_ = table_.Indexes().OnFilterIndex || FilterExpression;
    const bool recalc = table_.RecalcOnIndex();
    for (int slot = 0; slot < store_.RecordCount(); ++slot) {
        TVemtRecord *record = store_.Records(slot);
        if (!record)
            continue;
        if (recalc)
            table_.CalcRecordFields(record);
        if (!filtered_ || PassesFilter(record))
            entries_.push_back(record);
    }
}

int TVemtIndex::TieBreak(const TVemtRecord *first, const TVemtRecord *second) const
{
    const bool firstPlaced = first->Position >= 0;
    const bool secondPlaced = second->Position >= 0;
    int result = 0;
    if (!firstPlaced && !secondPlaced)
        result = first->SlotIndex < second->SlotIndex ? -1 : (first->SlotIndex > second->SlotIndex ? 1 : 0);
    else if (firstPlaced != secondPlaced)
        result = firstPlaced ? 1 : -1;
    if (fields_.Count() > 0 && (fields_.Options(0) & mtcoDescending))
        result = -result;
    return result;
}

int TVemtIndex::CompareRecords(const TVemtRecord *first, const TVemtRecord *second, bool partial,
                               bool tieBreak) const
{
    const int result = store_.CompareRecords(fields_, 0, first, second, false, partial, cmEqual);
    return result != 0 || !tieBreak ? result : TieBreak(first, second);
}

void TVemtIndex::PrepareKeys()
{
    store_.PrepareKeyFields(fields_, keys_);
}

int TVemtIndex::CompareEntries(const TVemtRecord *first, const TVemtRecord *second, bool partial,
                               bool tieBreak) const
{
    const int result =
        store_.CompareKeys(keys_.data(), static_cast<int>(keys_.size()), first, second, false, partial, cmEqual);
    return result != 0 || !tieBreak ? result : TieBreak(first, second);
}

void TVemtIndex::SortRange(int first, int last)
{
    TVemtCommon::Locker lock(store_);
    PrepareKeys();
    if (first < last) {
        std::vector<TVemtRecord *> entries = entries_.TakeAll();
        const auto general = [this](const TVemtRecord *a, const TVemtRecord *b) {
            return CompareEntries(a, b, false, true);
        };
        const int prefetchOffset = keys_.empty() ? 0 : keys_.front().Offset;
        // One fixed-size numeric key (the analysis windows' sorts on an amount)
        // is compared inline; it orders exactly as CompareEntries does.
        const bool oneFixedKey = keys_.size() == 1 && !keys_[0].VarLength && !store_.OnCompareFields
            && !(keys_[0].Options & mtcoIgnoreNullKey);
        const TFieldType type = oneFixedKey ? keys_[0].Type : ftUnknown;
        const auto sortAs = [&](auto sample) {
            const FixedKeyCompare<decltype(sample)> compare{this, keys_[0].Offset,
                                                            (keys_[0].Options & mtcoDescending) != 0};
            SortEntries(entries, first, last, prefetchOffset, compare);
        };
        switch (type) {
        case ftSmallint: sortAs(std::int16_t()); break;
        case ftWord: sortAs(std::uint16_t()); break;
        case ftInteger: case ftAutoInc: case ftDate: case ftTime: sortAs(std::int32_t()); break;
        case ftLargeint: sortAs(std::int64_t()); break;
        case ftFloat: case ftCurrency: case ftDateTime: sortAs(double()); break;
        default: SortEntries(entries, first, last, prefetchOffset, general); break;
        }
        entries_.Assign(std::move(entries));
    }
    ordered_ = true;
}

void TVemtIndex::CheckUnique()
{
    PrepareKeys();
    for (int i = 1; i < Count(); ++i)
        if (CompareEntries(entries_[i - 1], entries_[i], false, false) == 0)
            throw EMemTableDupKey(kDupKeyMessage);
}

void TVemtIndex::Rebuild()
{
    if (!table_.IsOpen()) {
        ordered_ = true;
        asRebuilt_ = false;
        return;
    }
    TVemtCommon::Locker lock(store_);
    ++rebuildCount_;
    if (!noReload_)
        Load();
    if (!entries_.empty() && sorted_) {
        table_.Progress(0, mtpcSort);
        SortRange(0, Count() - 1);
        if (options_ & mtcoUnique)
            CheckUnique();
        table_.Progress(100, mtpcSort);
    }
    ordered_ = true;
    asRebuilt_ = !noReload_;
    if (table_.CurrentIndex() == this && table_.CursorPosition() > Count() - 1)
        table_.SetCursorPosition(Count() - 1);
}

TVemtSearchResult TVemtIndex::ScanFor(const std::vector<TVemtKeyField> &keys, TVemtRecord *key, bool respectFilter,
                                      bool partial, bool reportProgress)
{
    TVemtSearchResult result;
    const int count = Count();
    const int keyCount = static_cast<int>(keys.size());
    const bool recalc = table_.RecalcOnIndex();
    for (int i = 0; i < count; ++i) {
        TVemtRecord *entry = entries_[i];
        if (reportProgress && i > 0 && i % kProgressStep == 0)
            table_.Progress(static_cast<int>(100LL * i / count), mtpcSearch);
        if (recalc)
            table_.CalcRecordFields(entry);
        const int c = store_.CompareKeys(keys.data(), keyCount, key, entry, false, partial, cmEqual);
        result.LastCompare = c;
        if (c == 0 && (keyCount == 1 || store_.MatchKeys(keys.data(), keyCount, key, entry, partial))
            && (!respectFilter || table_.AcceptRecord(entry))) {
            result.Found = true;
            result.Position = i;
            break;
        }
        if (partial && c < 0) {
            result.Position = i;
            break;
        }
    }
    return result;
}

TVemtSearchResult TVemtIndex::Search(TVemtRecord *key, const TVemtFieldList *fields, bool respectFilter,
                                     bool partial)
{
    TVemtCommon::Locker lock(store_);
    std::vector<TVemtKeyField> keys;
    store_.PrepareKeyFields(fields ? *fields : fields_, keys);
    auto compare = [&](const TVemtRecord *entry, bool withPartial) {
        return store_.CompareKeys(keys.data(), static_cast<int>(keys.size()), key, entry, false, withPartial, cmEqual);
    };
    table_.Progress(0, mtpcSearch);
    TVemtSearchResult result;
    const int count = Count();
    // A prefix (partial key) comparison can disagree with the collation's
    // order ("еж" matches "ежа", which sorts after "ёж", which "еж" is below),
    // so partial keys are looked for by scanning; bisection compares exactly.
    const bool partialKeys = partial || std::any_of(keys.begin(), keys.end(), [](const TVemtKeyField &k) {
                                 return (k.Options & mtcoPartialKey) != 0;
                             });
    if (!ordered_ || rowOrder_ || !sorted_ || count < kBisectMinimum || partialKeys || !KeysFollowOrder(keys)) {
        result = ScanFor(keys, key, respectFilter, partial, true);
        table_.Progress(100, mtpcSearch);
        return result;
    }

    int low = 0;
    int high = count - 1;
    int position = -1;
    while (low <= high) {
        const int mid = low + (high - low) / 2;
        const int c = compare(entries_[mid], false);
        result.LastCompare = c;
        if (c < 0) {
            high = mid - 1;
        } else if (c > 0) {
            low = mid + 1;
        } else {
            position = mid;
            break;
        }
    }
    if (position >= 0) {
        while (position > 0 && compare(entries_[position - 1], false) == 0)
            --position;
        result.Found = true;
        result.LastCompare = 0;
    } else {
        position = low;
    }
    if (respectFilter && table_.IsFiltering() && position < count && !table_.AcceptRecord(entries_[position])) {
        // Move on to the next visible entry that still matches.
        result.Found = false;
        int next = position + 1;
        for (; next < count; ++next) {
            const int c = compare(entries_[next], false);
            result.LastCompare = c;
            if (c != 0) {
                next = count;
                break;
            }
            if (table_.AcceptRecord(entries_[next])) {
                result.Found = true;
                break;
            }
        }
        position = next;
    }
    result.Position = position;
    table_.Progress(100, mtpcSearch);
    return result;
}

bool TVemtIndex::KeysFollowOrder(const std::vector<TVemtKeyField> &keys) const
{
    if (static_cast<int>(keys.size()) != fields_.Count())
        return false;
    for (int i = 0; i < fields_.Count(); ++i) {
        const TVemtMemTableCompareOptions own = fields_.Options(i);
        const TVemtMemTableCompareOptions key = keys[static_cast<size_t>(i)].Options;
        if ((own ^ key) & (mtcoDescending | mtcoIgnoreLocale))
            return false;
        // The collation orders case within equal letters, so a key that
        // ignores case may bisect a case-sensitive order, not the reverse;
        // the plain order interleaves cases, so there both must agree.
        const bool ownIgnoresCase = own & mtcoCaseInsensitive;
        const bool keyIgnoresCase = key & mtcoCaseInsensitive;
        if (ownIgnoresCase != keyIgnoresCase && (ownIgnoresCase || (own & mtcoIgnoreLocale)))
            return false;
    }
    return true;
}

int TVemtIndex::ScanForSlot(int from, std::int32_t slot) const
{
    for (int i = std::max(from, 0); i < Count(); ++i) {
        if (i > 0 && i % kProgressStep == 0)
            table_.Progress(static_cast<int>(100LL * i / Count()), mtpcSearch);
        if (entries_[static_cast<size_t>(i)]->SlotIndex == slot)
            return i;
    }
    return -1;
}

int TVemtIndex::FindRecordPosition(const TVemtRecord *record)
{
    TVemtCommon::Locker lock(store_);
    const std::int32_t slot = record->SlotIndex;
    if (rowOrder_) {
        if (ordered_) {
            int low = 0;
            int high = Count() - 1;
            while (low <= high) {
                const int mid = low + (high - low) / 2;
                const std::int32_t s = entries_[static_cast<size_t>(mid)]->SlotIndex;
                if (s == slot)
                    return mid;
                if (s < slot)
                    low = mid + 1;
                else
                    high = mid - 1;
            }
        }
        return ScanForSlot(0, slot);
    }
    int start = 0;
    if (ordered_ && sorted_ && Count() >= kBisectMinimum) {
        const TVemtSearchResult found = Search(const_cast<TVemtRecord *>(record), nullptr, false, false);
        if (found.Found)
            start = found.Position;
    }
    const int position = ScanForSlot(start, slot);
    // A record whose key no longer matches its place is still found.
    return position >= 0 || start == 0 ? position : ScanForSlot(0, slot);
}

int TVemtIndex::Bisect(const TVemtRecord *values, bool tieBreak)
{
    TVemtCommon::Locker lock(store_);
    PrepareKeys();
    // Most steps are decided by the order keys beside the entries; only a
    // tie reaches the entry's record.
    const bool keyed = OrderKeysApply();
    const std::uint64_t key = keyed ? OrderKeyOf(this, values) : 0;
    int low = 0;
    int high = Count();
    while (low < high) {
        const int mid = low + (high - low) / 2;
        const std::uint64_t entryKey = keyed ? entries_.KeyAt(static_cast<size_t>(mid)) : 0;
        const bool above = key != entryKey
            ? key > entryKey
            : CompareEntries(values, entries_[static_cast<size_t>(mid)], false, tieBreak) > 0;
        if (above)
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

int TVemtIndex::LowerBound(const TVemtRecord *values) { return Bisect(values, false); }

bool TVemtIndex::CanPlaceAsRebuilt() const
{
    if (!ordered_ || !asRebuilt_ || noReload_ || table_.RecalcOnIndex())
        return false;
    if (rowOrder_ || !sorted_)
        return true;
    if (store_.OnCompareFields)
        return false;
    for (int i = 0; i < fields_.Count(); ++i)
        if (fields_.Options(i) & (mtcoPartialKey | mtcoIgnoreNullKey))
            return false;
    return true;
}

int TVemtIndex::PlaceAsRebuilt(const TVemtRecord *record)
{
    if (rowOrder_ || !sorted_) {
        // Loading takes the records in slot order.
        const auto bySlot = [](const TVemtRecord *entry, std::int32_t slot) { return entry->SlotIndex < slot; };
        if (entries_.empty() || entries_.back()->SlotIndex < record->SlotIndex)
            return Count();
        size_t low = 0, high = entries_.size();
        while (low < high) {
            const size_t mid = low + (high - low) / 2;
            if (bySlot(entries_[mid], record->SlotIndex))
                low = mid + 1;
            else
                high = mid;
        }
        return static_cast<int>(low);
    }
    // The sort breaks ties by slot, so no two records compare equal and the
    // place is unique: before the first entry that sorts after the record.
    return Bisect(record, true);
}

void TVemtIndex::InsertEntry(int position, TVemtRecord *record, const TVemtRecord *values)
{
    position = std::clamp(position, 0, Count());
    entries_.insert(static_cast<size_t>(position), record, entries_.KeyOf(values ? values : record));
}

void TVemtIndex::RemoveEntry(int position)
{
    entries_.erase(static_cast<size_t>(position));
}

// ---------------------------------------------------------------------------
// TVemtIndexes

TVemtIndexes::TVemtIndexes(TVemtTableLink &table) : table_(table)
{
    auto rowOrder = std::make_unique<TVemtIndex>(QString::fromLatin1(kRowOrderName), true, false, 0, QString(), table);
    rowOrder->rowOrder_ = true;
    indexes_.push_back(std::move(rowOrder));
}

void TVemtIndexes::Renumber()
{
    for (size_t i = 0; i < indexes_.size(); ++i)
        indexes_[i]->ordinal_ = static_cast<int>(i);
}

TVemtIndex *TVemtIndexes::Add(const QString &name, bool internal, bool sorted,
                              TVemtMemTableCompareOptions options, const QString &fieldNames)
{
    indexes_.push_back(std::make_unique<TVemtIndex>(name, internal, sorted, options, fieldNames, table_));
    Renumber();
    return indexes_.back().get();
}

TVemtIndex *TVemtIndexes::AddFromDef(const TIndexDef &def)
{
    if (def.Fields().trimmed().isEmpty())
        throw EMemTableError(QStringLiteral("Missing Name or FieldNames in IndexDef!"));
    TVemtMemTableCompareOptions options = 0;
    const TIndexOptions ix = def.Options();
    if (ix.Contains(ixUnique))
        options |= mtcoUnique;
    if (ix.Contains(ixDescending))
        options |= mtcoDescending;
    if (ix.Contains(ixCaseInsensitive))
        options |= mtcoCaseInsensitive;
    if (ix.Contains(ixNonMaintained))
        options |= mtcoNonMaintained;
    return Add(def.Name(), false, true, options, def.Fields());
}

void TVemtIndexes::Delete(TVemtIndex *index)
{
    if (!index || index == RowOrderIndex())
        return;
    if (table_.CurrentIndex() == index)
        table_.SwitchIndex(nullptr);
    if (defaultSort_ == index)
        defaultSort_ = nullptr;
    indexes_.erase(std::remove_if(indexes_.begin(), indexes_.end(),
                                  [index](const std::unique_ptr<TVemtIndex> &item) { return item.get() == index; }),
                   indexes_.end());
    Renumber();
}

void TVemtIndexes::DeleteAll()
{
    while (indexes_.size() > 1)
        Delete(indexes_.back().get());
    defaultSort_ = nullptr;
}

TVemtIndex *TVemtIndexes::Find(const QString &name) const
{
    for (const auto &index : indexes_)
        if (index->Name().compare(name, Qt::CaseInsensitive) == 0)
            return index.get();
    return nullptr;
}

TVemtIndex *TVemtIndexes::FindByFields(const QString &fieldNames) const
{
    const QString wanted = fieldNames.trimmed();
    for (const auto &index : indexes_)
        if (!index->RowOrder() && index->FieldNames().trimmed().compare(wanted, Qt::CaseInsensitive) == 0)
            return index.get();
    return nullptr;
}

void TVemtIndexes::ClearAll()
{
    for (const auto &index : indexes_)
        index->Clear();
}

void TVemtIndexes::EmptyAll()
{
    for (const auto &index : indexes_) {
        index->entries_.clear();
        index->ordered_ = true;
        index->asRebuilt_ = true;
    }
}

void TVemtIndexes::RebuildAll()
{
    for (const auto &index : indexes_)
        index->Rebuild();
}

void TVemtIndexes::MarkAllUnordered()
{
    for (const auto &index : indexes_) {
        index->ordered_ = false;
        index->asRebuilt_ = false;
    }
}

TVemtSearchResult TVemtIndexes::SearchCurrent(const TVemtFieldList &fields, TVemtRecord *key, bool respectFilter,
                                              bool partial)
{
    TVemtIndex *current = table_.CurrentIndex();
    if (!current)
        current = RowOrderIndex();
    if (SameFields(fields, current->Fields()))
        return current->Search(key, &fields, respectFilter, partial);
    TVemtCommon &store = table_.Store();
    TVemtCommon::Locker lock(store);
    std::vector<TVemtKeyField> keys;
    store.PrepareKeyFields(fields, keys);
    return current->ScanFor(keys, key, respectFilter, partial, false);
}

void TVemtIndexes::CheckUnique(TVemtRecord *newValues, const TVemtRecord *changing)
{
    if (!table_.EnableIndexes())
        return;
    for (const auto &index : indexes_) {
        if (!index->Enabled() || !(index->Options() & mtcoUnique) || (index->Options() & mtcoNonMaintained))
            continue;
        const TVemtSearchResult found = index->Search(newValues, nullptr, false, false);
        if (found.Found && (!changing || index->Entry(found.Position)->SlotIndex != changing->SlotIndex))
            throw EMemTableDupKey(kDupKeyMessage);
    }
}

int TVemtIndexes::InsertPlace(TVemtIndex &index, TVemtRecord *values, int position)
{
    if (index.RowOrder()) {
        if (table_.CurrentIndex() == &index && position >= 0)
            return std::clamp(position - 1, 0, index.Count());
        return index.Count();
    }
    return index.LowerBound(values);
}

void TVemtIndexes::UpdateIndex(TVemtIndex &index, TVemtUpdateKind kind, TVemtRecord *record, int position,
                               TVemtRecord *newValues)
{
    const bool current = table_.CurrentIndex() == &index;
    const auto place = [&](int at) {
        if (current) {
            table_.SetCursorPosition(at);
            if (newValues)
                newValues->Position = at;
        }
    };
    switch (kind) {
    case TVemtUpdateKind::Insert: {
        if (!index.PassesFilter(record))
            break;
        const int at = InsertPlace(index, newValues ? newValues : record, position);
        index.InsertEntry(at, record);
        place(at);
        break;
    }
    case TVemtUpdateKind::Edit: {
        if (index.RowOrder() || !newValues)
            break;
        if (index.CompareRecords(newValues, record, false, false) == 0) {
            if (current)
                table_.SetCursorPosition(newValues->Position);
            break;
        }
        int old = current && position >= 0 && position < index.Count() && index.Entry(position) == record
            ? position
            : index.FindRecordPosition(record);
        if (old >= 0)
            index.RemoveEntry(old);
        if (index.PassesFilter(newValues)) {
            // The record still holds its old values: the key comes from the new.
            const int at = InsertPlace(index, newValues, -1);
            index.InsertEntry(at, record, newValues);
            place(at);
        }
        break;
    }
    case TVemtUpdateKind::Delete: {
        const int at = index.FindRecordPosition(record);
        if (at >= 0) {
            index.RemoveEntry(at);
            if (current)
                table_.SetCursorPosition(at);
        }
        break;
    }
    }
}

void TVemtIndexes::Update(TVemtUpdateKind kind, TVemtRecord *record, int position, TVemtRecord *newValues)
{
    TVemtCommon::Locker lock(table_.Store());
    for (const auto &item : indexes_) {
        TVemtIndex &index = *item;
        const bool maintained = index.Enabled() && !(index.Options() & mtcoNonMaintained)
            && (table_.EnableIndexes() || kind == TVemtUpdateKind::Delete);
        if (!maintained && kind == TVemtUpdateKind::Insert && table_.CurrentIndex() == &index
            && index.CanPlaceAsRebuilt()) {
            // Not maintained, but the table reads it next: put the record
            // where the rebuild would, instead of rebuilding at every post.
            // Until it is placed the index counts as unordered, so a failing
            // filter or comparison leaves it to be rebuilt.
            index.ordered_ = false;
            index.asRebuilt_ = false;
            if (index.PassesFilter(record)) {
                const int at = index.PlaceAsRebuilt(record);
                index.InsertEntry(at, record);
                table_.SetCursorPosition(at);
                if (newValues)
                    newValues->Position = at;
            }
            index.ordered_ = true;
            index.asRebuilt_ = true;
            continue;
        }
        if (!maintained || !index.Ordered()) {
            // Rebuilt before its next use; a deleted record must not stay
            // referenced meanwhile.
            if (kind == TVemtUpdateKind::Delete)
                index.Clear();
            index.ordered_ = false;
            index.asRebuilt_ = false;
            continue;
        }
        UpdateIndex(index, kind, record, position, newValues);
        index.ordered_ = true;
        // Removing an entry keeps the rebuilt order; placing one by upkeep
        // rules (before equal keys, at the insert position) need not.
        index.asRebuilt_ = index.asRebuilt_ && kind == TVemtUpdateKind::Delete;
    }
}

void TVemtIndexes::DropRecord(const TVemtRecord *record)
{
    for (const auto &index : indexes_)
        index->entries_.remove(record);
}

void TVemtIndexes::SortWith(const QString &sortFields, TVemtMemTableCompareOptions options)
{
    if (!table_.IsOpen())
        return;
    if (defaultSort_) {
        TVemtIndex *old = defaultSort_;
        defaultSort_ = nullptr;
        Delete(old);
    }
    if (!sortFields.trimmed().isEmpty()) {
        defaultSort_ = Add(QString::fromLatin1(kDefaultSortName), true, true, options, sortFields);
        defaultSort_->Rebuild();
    }
    table_.SwitchIndex(defaultSort_);
}

} // namespace zorbel
