// Indexes of a memory table: each an ordered list of references to the store's
// records, kept sorted on a field list with compare options and searchable by
// key; the set of a table's indexes (the row-order index, the defined ones
// and the default sort index); the field-list text and the sort.
//
// Field-list text: names separated by ";", each optionally followed by ":"
// and option letters in any case and order: C case-insensitive, D descending,
// N ignore null key, P partial key, L ignore locale; other letters are ignored.
//
// Entries reference records owned by the store. An index is Ordered while its
// entries are in order and complete; an index that is not Ordered is rebuilt
// (reloaded from the store and sorted) before it is used again.
//
// Indexes that are not kept up to date (EnableIndexes off, a non-maintained or
// disabled index) would have to be rebuilt after every post. The current
// index avoids that while its entries are exactly what a rebuild gives (all
// records that pass the index filter, in slot order for the row order, by key
// and then by slot for a sorted index): a new record is put where a rebuild
// would put it, and the index stays Ordered. So filling a table whose indexes
// are disabled stays near-linear, and what the table shows is the same as if
// the index had been rebuilt.
#pragma once

#include "memtable/VemtCommon.h"
#include "memtable/VemtEntryList.h"

#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace zorbel {

// Fills the list from field-list text; names are looked up in the data set.
// Raises the data set's field-not-found error for an unknown name and
// EDatabaseError "Can't index on field %s" for a field that cannot be indexed.
void BuildFieldList(TDataSet &dataSet, TVemtFieldList &fieldList, const QString &text);
// Sets the option on each field of the list named in the text, clears it on
// the others.
void SetFieldOption(TVemtFieldList &fieldList, TVemtMemTableCompareOption option, const QString &text);
// True when both lists hold the same fields in the same order.
bool SameFields(const TVemtFieldList &a, const TVemtFieldList &b);

// Result of a key search.
struct TVemtSearchResult {
    bool Found = false;  // an entry equal to the key was found
    int Position = -1;   // the entry found, or where the key belongs; -1 for none
    int LastCompare = 0; // result of the last comparison of key and entry
};

class TVemtIndex {
public:
    // Requires: the table's store is laid out (the fields exist).
    TVemtIndex(const QString &name, bool internal, bool sorted, TVemtMemTableCompareOptions options,
               const QString &fieldNames, TVemtTableLink &table);
    TVemtIndex(const TVemtIndex &) = delete;
    TVemtIndex &operator=(const TVemtIndex &) = delete;

    const QString &Name() const { return name_; }
    const QString &FieldNames() const { return fieldNames_; }
    const TVemtFieldList &Fields() const { return fields_; }
    TVemtMemTableCompareOptions Options() const { return options_; }
    bool Sorted() const { return sorted_; }
    bool Internal() const { return internal_; }
    bool RowOrder() const { return rowOrder_; }
    bool Ordered() const { return ordered_; }
    void SetOrdered(bool value)
    {
        ordered_ = value;
        asRebuilt_ = false;
    }
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value) { enabled_ = value; }
    bool NoReload() const { return noReload_; }
    void SetNoReload(bool value) { noReload_ = value; }
    int Ordinal() const { return ordinal_; }
    // How many times the entries were reloaded or sorted by Rebuild (tests
    // check with it that filling does not re-sort).
    int RebuildCount() const { return rebuildCount_; }

    int Count() const { return static_cast<int>(entries_.size()); }
    TVemtRecord *Entry(int position) const { return entries_[static_cast<size_t>(position)]; }

    // Empties the entries; the index is then not Ordered.
    void Clear();
    // Fills the entries with every stored record that passes the index
    // filter, in slot order.
    void Load();
    // Sorts the entries first..last (quicksort, insertion-sort finish).
    void SortRange(int first, int last);
    // Reloads and sorts while the table is open, checks uniqueness.
    // Raises EMemTableDupKey for two equal keys in a unique index.
    void Rebuild();
    // Searches the key record (on `fields`, or the index's own when null):
    // bisection when the index is Ordered, sorted and holds 21 entries or
    // more, no partial key is asked for and the key compares in the index's
    // order; a scan from the first entry otherwise. Finds the first of equal entries; with respectFilter only one
    // the table shows. With `partial` the scan also stops at the first entry
    // above the key (Found false, Position there).
    TVemtSearchResult Search(TVemtRecord *key, const TVemtFieldList *fields, bool respectFilter, bool partial);
    // Position of the entry with the record's SlotIndex, or -1.
    int FindRecordPosition(const TVemtRecord *record);
    // Compares two records on the index's fields; with tieBreak equal keys
    // are ordered by origin and SlotIndex.
    int CompareRecords(const TVemtRecord *first, const TVemtRecord *second, bool partial, bool tieBreak) const;
    // Whether the record passes OnFilterIndex and the filter expression.
    bool PassesFilter(TVemtRecord *record);

    // Where a record with these values goes: before the first entry whose key
    // is not below them (so before equal keys). Requires: Ordered.
    // The exact comparison is used: a prefix comparison can disagree with the
    // collation's order ("ёж" sorts before "ежа", its prefix "еж" after).
    int LowerBound(const TVemtRecord *values);
    // Puts the record at the position; its order key is made from values
    // (the record itself when null).
    void InsertEntry(int position, TVemtRecord *record, const TVemtRecord *values = nullptr);
    void RemoveEntry(int position);

    // Index filter expression (none in this program); set by the filter layer.
    std::function<bool(TVemtRecord *record)> FilterExpression;

private:
    friend class TVemtIndexes;

    // Resolves the fields against the store's layout for the loops below.
    void PrepareKeys();
    // CompareRecords on the prepared keys. Requires: PrepareKeys, the lock.
    int CompareEntries(const TVemtRecord *first, const TVemtRecord *second, bool partial, bool tieBreak) const;
    int TieBreak(const TVemtRecord *first, const TVemtRecord *second) const;
    template <typename T> struct FixedKeyCompare;
    void CheckUnique();
    int ScanForSlot(int from, std::int32_t slot) const;
    // Whether keys compared with these options follow the entries' order, so
    // that a search may bisect them.
    bool KeysFollowOrder(const std::vector<TVemtKeyField> &keys) const;
    // Walks the entries in order for the first one equal to key on keys
    // (and accepted by the filter with respectFilter); with partial it also
    // stops, not found, at the first entry above the key. Requires the
    // store's lock to be held.
    TVemtSearchResult ScanFor(const std::vector<TVemtKeyField> &keys, TVemtRecord *key, bool respectFilter,
                              bool partial, bool reportProgress);
    // Whether a record can be placed as a rebuild would place it: the entries
    // are as rebuilt and the order is one a sort reproduces exactly (no
    // comparison handler, no partial or null-skipping key, no calculated
    // values that a rebuild would compute anew).
    bool CanPlaceAsRebuilt() const;
    // Where a rebuild would put the stored record. Requires: CanPlaceAsRebuilt.
    int PlaceAsRebuilt(const TVemtRecord *record);
    // The first entry not below the values (with tieBreak: not below the
    // record, ties ordered as the sort orders them). Requires: Ordered.
    int Bisect(const TVemtRecord *values, bool tieBreak);

    // Order keys (see VemtEntryList.h): a number per record made from the
    // first key field such that a smaller number means the record sorts
    // first in this index. Equal numbers tell nothing; the records are
    // compared then. Nulls take 0 (they come first in every order), values
    // 2^62 plus a number below 2^61 (reversed when descending): for a text
    // its first characters' primary weights, for a whole number its value.
    enum class TOrderKeyKind { None, Text, Int16, UInt16, Int32 };
    // Chooses the key for the index's first field: none for a field that a
    // number cannot order as the comparison does (floats, blobs, computed
    // fields, partial, null-skipping or plain-order texts).
    void ChooseOrderKey();
    static std::uint64_t OrderKeyOf(const void *index, const TVemtRecord *record);
    // Whether the keys decide comparisons now: a comparison handler or a
    // locale outside the collation must see every comparison.
    bool OrderKeysApply() const;

    QString name_;                        // name in the index set
    QString fieldNames_;                  // field-list text it was made from
    TVemtTableLink &table_;               // owning table
    TVemtCommon &store_;                  // the table's store
    TVemtEntryList entries_;              // records of the store, in index order
    TVemtFieldList fields_;               // fields with their compare options
    std::vector<TVemtKeyField> keys_;     // fields_ resolved by PrepareKeys
    TVemtMemTableCompareOptions options_; // index-level options (unique, non-maintained)
    bool sorted_;                         // entries kept in key order
    bool internal_;                       // made by the table itself
    bool rowOrder_ = false;               // the row-order index
    bool ordered_ = false;                // entries currently complete and in order
    bool asRebuilt_ = false;              // Ordered, and in the order a rebuild gives
    int rebuildCount_ = 0;                // reloads and sorts by Rebuild
    bool enabled_ = true;
    bool noReload_ = false;               // rebuild sorts without reloading
    bool filtered_ = false;               // an index filter applies
    int ordinal_ = 0;                     // place in the index set
    TOrderKeyKind keyKind_ = TOrderKeyKind::None; // what the order key is made of
    int keyOffset_ = 0;                   // the first key field's null byte in the data
    int keyUnits_ = 0;                    // characters of a text key field
    bool keyDescending_ = false;          // the first key field sorts descending
};

class TVemtIndexes {
public:
    static constexpr const char *kRowOrderName = "__MT__ROWORDER";
    static constexpr const char *kDefaultSortName = "__MT__DEFSORT";

    // Creates the set with its row-order index.
    explicit TVemtIndexes(TVemtTableLink &table);
    TVemtIndexes(const TVemtIndexes &) = delete;
    TVemtIndexes &operator=(const TVemtIndexes &) = delete;

    TVemtIndex *RowOrderIndex() const { return indexes_.front().get(); }
    TVemtIndex *DefaultSortIndex() const { return defaultSort_; }
    int Count() const { return static_cast<int>(indexes_.size()); }
    TVemtIndex *Items(int i) const { return indexes_[static_cast<size_t>(i)].get(); }

    // Adds a new index at the end of the set.
    TVemtIndex *Add(const QString &name, bool internal, bool sorted, TVemtMemTableCompareOptions options,
                    const QString &fieldNames);
    // Raises EMemTableError when the definition has no fields.
    TVemtIndex *AddFromDef(const TIndexDef &def);
    // Deletes the index (never the row-order one); the row-order index becomes
    // current when it was current.
    void Delete(TVemtIndex *index);
    // Deletes every index but the row-order one.
    void DeleteAll();
    TVemtIndex *Find(const QString &name) const;
    TVemtIndex *FindByFields(const QString &fieldNames) const;

    // Clears every index (they must be rebuilt).
    void ClearAll();
    // Empties every index as the store is emptied: they stay Ordered, so
    // later inserts are kept in them.
    void EmptyAll();
    void RebuildAll();
    void MarkAllUnordered();
    // Searches the current index (by key when the fields are its own, else by
    // comparing every entry in order).
    TVemtSearchResult SearchCurrent(const TVemtFieldList &fields, TVemtRecord *key, bool respectFilter,
                                    bool partial);
    // Raises EMemTableDupKey when a unique index holds the new values in
    // another record than `changing` (null for a new record).
    void CheckUnique(TVemtRecord *newValues, const TVemtRecord *changing);
    // Keeps every index up to date after a change of the store record.
    // position: the table's cursor position (edit, delete) or insert position
    // (insert), -1 when not given; newValues: the buffer holding the new
    // values (edit) or the posted buffer (insert), may be null otherwise.
    void Update(TVemtUpdateKind kind, TVemtRecord *record, int position, TVemtRecord *newValues);
    // Removes the record from every index that holds it (undoes an insert
    // whose post failed).
    void DropRecord(const TVemtRecord *record);
    // Sort: replaces the default sort index by one on sortFields and makes it
    // (or the row-order index, for blank sortFields) current. Nothing while
    // the table is closed.
    void SortWith(const QString &sortFields, TVemtMemTableCompareOptions options);

    // (DataSet's index, record, var Accept) for the index filter.
    std::function<void(TVemtIndex &index, TVemtRecord *record, bool &accept)> OnFilterIndex;

private:
    void UpdateIndex(TVemtIndex &index, TVemtUpdateKind kind, TVemtRecord *record, int position,
                     TVemtRecord *newValues);
    int InsertPlace(TVemtIndex &index, TVemtRecord *values, int position);
    void Renumber();

    TVemtTableLink &table_;
    std::vector<std::unique_ptr<TVemtIndex>> indexes_; // row-order index first
    TVemtIndex *defaultSort_ = nullptr;                // made by SortWith, or none
};

} // namespace zorbel
