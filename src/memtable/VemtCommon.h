// The record store behind a memory table, its value comparison and the field
// lists that indexes, sorts and key searches compare on.
//
// A record is one heap block: a 32-byte header (TVemtRecord) followed by the
// data part. The data part, laid out by TVemtCommon::LayoutRecord:
//
//   +------------------------------------------------------------+
//   | fixed fields: per field a null byte (0 = null) + value     |  0 .. CalcStart
//   | calculated fields' area (size given by the table)          |  CalcStart ..
//   | bookmark area: AttachMaxCount x 8 bytes                    |  BookmarkStart ..
//   | variable-length fields: per field a null byte + a 32-bit   |  VarStart ..
//   |   little-endian handle of a value block (0 = none)         |  .. DataSize
//   +------------------------------------------------------------+
//
// A value block holds a variable-length value: a 32-bit little-endian length
// n, then n bytes. Blocks live in the store's block table and are named by a
// 32-bit handle, so the reference in a record stays 4 bytes wide on any
// machine. A copy of a record in a table's record buffer carries no handles of
// its own; its values are those of the stored record with the same SlotIndex.
//
// Strings are held as UTF-16 code units, zero-terminated, Size + 1 units.
//
// Every operation that reads or changes shared state takes the store's
// re-entrant lock, unless the store is Standalone.
#pragma once

#include "platform/dataset/DataSet.h"
#include "platform/rtl/Exceptions.h"

#include <QString>
#include <QStringView>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace zorbel {

// The memory table's own failures.
ZORBEL_EXCEPTION(EMemTableError, EDatabaseError);
ZORBEL_EXCEPTION(EMemTableFatalError, EMemTableError);
ZORBEL_EXCEPTION(EMemTableDupKey, EMemTableError);
ZORBEL_EXCEPTION(EMemTableFilterError, EMemTableError);
ZORBEL_EXCEPTION(EMemTableLocaleError, EMemTableError);
ZORBEL_EXCEPTION(EMemTableInvalidRecord, EMemTableFatalError);
ZORBEL_EXCEPTION(EMemTableInvalidLocale, EMemTableLocaleError);

// Compare options: one bit per member, in the order of the option set.
enum TVemtMemTableCompareOption : unsigned {
    mtcoDescending = 1u << 0,      // reverse the order of the field
    mtcoCaseInsensitive = 1u << 1, // texts compare apart from case
    mtcoPartialKey = 1u << 2,      // the second text is cut to the first's length
    mtcoIgnoreNullKey = 1u << 3,   // a null first value skips the field
    mtcoIgnoreLocale = 1u << 4,    // texts compare in the runtime's plain order, not by collation
    mtcoUnique = 1u << 5,          // index: no two equal keys
    mtcoNonMaintained = 1u << 6,   // index: not kept up to date, rebuilt on use
};
using TVemtMemTableCompareOptions = unsigned;

// Storage choice for long text and byte fields.
enum TVemtPerformance { mtpfFast = 0, mtpfBalanced = 1, mtpfSmall = 2 };

// Operations that report progress.
enum TVemtProgressCode { mtpcLoad, mtpcSave, mtpcCopy, mtpcEmpty, mtpcSort, mtpcSearch };

// Index maintenance after a change of one record.
enum class TVemtUpdateKind { Insert, Edit, Delete };

// Modes of TVemtCommon::CompareRecords: when to stop walking the fields.
enum TVemtCompareMode {
    cmEqual = 0,       // stop at the first field that differs or matches partly
    cmLess = 1,        // stop at a result below 0 (descending ignored)
    cmGreater = 2,     // stop at a result above 0 (descending ignored)
    cmLessEqual = 3,   // stop at a result of 0 or below (descending ignored)
    cmGreaterEqual = 4 // stop at a result of 0 or above (descending ignored)
};

// Record header, 32 bytes; the data part follows it in the same block.
struct TVemtRecord {
    std::int32_t Position = -1;    // -1 in the store (tie-breaks rely on it); in a buffer, its index place
    std::int32_t SlotIndex = -1;   // slot in the store's record list; -1 until stored
    std::int32_t Serial = -1;      // number given when stored; identity behind bookmarks
    std::uint8_t Flags = 0;        // bit 0: held by the store
    std::uint8_t ChangeState = 0;  // 0 unchanged, 2 inserted (versioning only)
    std::uint16_t Reserved = 0;
    std::int32_t ChangeLevel = -1; // versioning level; -1 when new
    std::int32_t Reserved2 = 0;
    TVemtRecord *OlderVersion = nullptr; // older version of the same record, or none

    std::uint8_t *Data() { return reinterpret_cast<std::uint8_t *>(this + 1); }
    const std::uint8_t *Data() const { return reinterpret_cast<const std::uint8_t *>(this + 1); }
};
static_assert(sizeof(TVemtRecord) == 32, "the record header is 32 bytes");

constexpr std::uint8_t kRecordStored = 0x01;    // TVemtRecord::Flags bit 0
constexpr std::uint8_t kChangeInserted = 2;     // TVemtRecord::ChangeState
constexpr int kVemtMaxFields = 256;             // field numbers 1..256 have a layout slot
constexpr std::uint8_t kFieldVarLength = 0x01;  // per-field flag bits
constexpr std::uint8_t kFieldCompressed = 0x02;
constexpr std::uint8_t kFieldWritten = 0x04;

class TVemtIndex;
class TVemtIndexes;
class TVemtCommon;

// A field of a compared list, resolved against the store's layout once.
struct TVemtKeyField {
    TField *Field = nullptr;
    TFieldType Type = ftUnknown;
    TVemtMemTableCompareOptions Options = 0;
    int Offset = 0;          // of the null byte in the record's data
    int MaxUnits = 0;        // characters of a text field (its Size)
    bool VarLength = false;  // value in a value block
    bool Compressed = false; // value block passes OnDecompressField
};

// A field list with compare options per field: what an index, a sort, a
// locate or a master/detail link compares on.
class TVemtFieldList {
public:
    TVemtFieldList() = default;
    virtual ~TVemtFieldList() = default;

    void Add(TField *field, TVemtMemTableCompareOptions options);
    TField *Fields(int index) const { return fields_[static_cast<size_t>(index)]; }
    TVemtMemTableCompareOptions Options(int index) const { return options_[static_cast<size_t>(index)]; }
    void SetOptions(int index, TVemtMemTableCompareOptions options) { options_[static_cast<size_t>(index)] = options; }
    int Count() const { return static_cast<int>(fields_.size()); }
    // Position of the field in the list, or -1.
    int IndexOf(const TField *field) const;
    virtual void Clear();
    // Copies this list into target (which is cleared first).
    void CopyTo(TVemtFieldList &target) const;

private:
    std::vector<TField *> fields_;                   // the fields, not owned
    std::vector<TVemtMemTableCompareOptions> options_; // per field
};

// What the store and the indexes need of a memory table. The memory table
// implements it; the store keeps the tables that share it through it.
// Contract for the implementer:
// - records handed to StoreRecord keep Position -1 while they are stored;
// - PrepareEmpty settles a pending edit, clears the buffers and calls
//   Indexes().EmptyAll() and sets the cursor position to -1;
// - SwitchIndex is the table's index switch (settle edits, keep the current
//   record when the new index shows it, else go to the first record);
// - close the table before destroying its store: the store closes tables
//   that are still open through CloseTable.
class TVemtTableLink {
public:
    virtual ~TVemtTableLink() = default;

    virtual TDataSet &DataSet() = 0;
    virtual TVemtCommon &Store() = 0;
    // Field definitions that the record layout is computed from.
    virtual TFieldDefs &LayoutFieldDefs() = 0;
    // Size of the calculated fields' area of a record.
    virtual int CalcAreaSize() const = 0;
    virtual bool IsOpen() const = 0;
    virtual bool IsBrowsing() const = 0;
    virtual void CloseTable() = 0;
    virtual void RefreshTable() = 0;
    // Settles a pending edit, clears buffers and indexes before the store is
    // emptied under it.
    virtual void PrepareEmpty() = 0;
    virtual void SetAttachSlot(int slot) = 0;

    virtual TVemtIndexes &Indexes() = 0;
    virtual TVemtIndex *CurrentIndex() const = 0;
    virtual int CursorPosition() const = 0;
    virtual void SetCursorPosition(int position) = 0;
    virtual bool EnableIndexes() const = 0;
    virtual bool RecalcOnIndex() const = 0;
    virtual void SetRecalcOnIndex(bool value) = 0;
    // Computes the calculated fields of a store record before it is compared.
    virtual void CalcRecordFields(TVemtRecord *record) = 0;
    // Whether anything restricts the visible records (filter, range, ...).
    virtual bool IsFiltering() const = 0;
    // The record test: whether the table shows the record.
    virtual bool AcceptRecord(TVemtRecord *record) = 0;
    virtual void Progress(int percent, TVemtProgressCode code) = 0;
    // Makes the index current (no index: the row-order index).
    virtual void SwitchIndex(TVemtIndex *index) = 0;
};

// The record store.
class TVemtCommon {
public:
    // Creates the store with LocaleID 1024, AttachMaxCount 1 and a fresh DataID.
    explicit TVemtCommon(TVemtTableLink *owner);
    ~TVemtCommon();
    TVemtCommon(const TVemtCommon &) = delete;
    TVemtCommon &operator=(const TVemtCommon &) = delete;

    // Re-entrant lock; does nothing while Standalone.
    void Lock();
    void Unlock();
    class Locker {
    public:
        explicit Locker(TVemtCommon &store) : store_(store) { store_.Lock(); }
        ~Locker() { store_.Unlock(); }
        Locker(const Locker &) = delete;
        Locker &operator=(const Locker &) = delete;

    private:
        TVemtCommon &store_;
    };

    // Computes the layout from the owning table's field definitions.
    void LayoutRecord();

    // A record of the total record size: header fields -1/0, data zeroed.
    // The caller owns it until StoreRecord; free it with FreeRecord.
    TVemtRecord *NewRecord() const;
    // Gives the record a slot and a serial and puts it into the record list;
    // the store owns it from then on.
    void StoreRecord(TVemtRecord *record);
    // Empties the record's slot and puts it on the free-slot list; the record
    // itself is not freed.
    void ReleaseSlot(TVemtRecord *record);
    // Releases the record's slot and frees it with its values and versions.
    void DeleteRecord(TVemtRecord *record);
    void FreeRecord(TVemtRecord *record, bool withValues, bool withVersions);
    // Frees every record, resets slots and serials to 0, draws a new DataID.
    void EmptyStore();
    // Tells every open attached table, then empties the store.
    void EmptyAll();

    // Copies header fields and the data up to the variable-length area; of the
    // variable-length fields only the null bytes.
    void CopyRecord(const TVemtRecord *source, TVemtRecord *target) const;
    // A new record with the same content (and copies of its value blocks when
    // withValues). The caller owns it.
    TVemtRecord *CloneRecord(const TVemtRecord *record, bool withValues);
    // Hands the source's value blocks to the target, then copies the record.
    void MoveValues(TVemtRecord *source, TVemtRecord *target);
    // Frees and nulls every value block of the record.
    void FreeValues(TVemtRecord *record);

    // Address of the field's null byte in the record, or null.
    std::uint8_t *FieldPointer(TVemtRecord *record, const TField *field) const;
    const std::uint8_t *FieldPointer(const TVemtRecord *record, const TField *field) const;

    // Value blocks. A handle of 0 names no block.
    std::uint32_t NewValue(std::uint32_t length);
    std::uint32_t CopyValue(std::uint32_t handle);
    void FreeValue(std::uint32_t handle);
    // The block's bytes after its length word, and its length.
    std::uint8_t *ValueBytes(std::uint32_t handle, std::uint32_t *length = nullptr);
    // The value handle in a variable-length field slot of the record itself.
    static std::uint32_t SlotHandle(const std::uint8_t *fieldPointer);
    static void SetSlotHandle(std::uint8_t *fieldPointer, std::uint32_t handle);
    // The value block of a variable-length field of the record: its own, or
    // that of the stored record with the same SlotIndex.
    // Raises EMemTableInvalidRecord when the record has no block and no slot.
    std::uint32_t FieldValueHandle(const TVemtRecord *record, const TField *field) const;

    // Compares two field values (the bytes after the null bytes).
    // On return: -1, 0 or 1; fullMatch False when a partial text compare cut
    // the second value. Strings are zero-terminated UTF-16.
    static int CompareValues(const void *first, const void *second, TFieldType type,
                             TVemtMemTableCompareOptions options, int locale, bool &fullMatch);
    // Compares two texts with the options (see CompareValues).
    static int CompareStrings(QStringView first, QStringView second, TVemtMemTableCompareOptions options,
                              int locale, bool &fullMatch);
    // The same for zero-terminated UTF-16 values of at most maxFirst and
    // maxSecond units, at any address.
    static int CompareTexts(const void *first, qsizetype maxFirst, const void *second, qsizetype maxSecond,
                            TVemtMemTableCompareOptions options, int locale, bool &fullMatch);
    // Compares two records on the first `count` fields of the list (all when
    // count <= 0). See TVemtCompareMode for when it stops.
    int CompareRecords(const TVemtFieldList &fields, int count, const TVemtRecord *first,
                       const TVemtRecord *second, bool ignoreNull, bool partial, int mode) const;
    // The same on key fields resolved beforehand (PrepareKeyFields), for the
    // long loops of sorting and searching.
    // Requires: the caller holds the lock; the layout has not changed since.
    int CompareKeys(const TVemtKeyField *keys, int count, const TVemtRecord *first, const TVemtRecord *second,
                    bool ignoreNull, bool partial, int mode) const;
    // Whether every key field compares equal: unlike CompareKeys, a partial
    // match of one field does not decide for the fields after it.
    // Requires: as CompareKeys.
    bool MatchKeys(const TVemtKeyField *keys, int count, const TVemtRecord *key, const TVemtRecord *record,
                   bool partial) const;
    TVemtKeyField KeyField(TField *field, TVemtMemTableCompareOptions options) const;
    void PrepareKeyFields(const TVemtFieldList &fields, std::vector<TVemtKeyField> &keys) const;

    // The record list: slots, empty ones included.
    int RecordCount() const { return static_cast<int>(records_.size()); }
    TVemtRecord *Records(int slot) const { return records_[static_cast<size_t>(slot)]; }
    std::uint32_t DataID() const { return dataId_; }

    // Layout.
    int FieldCount() const { return fieldCount_; }
    int FixedSize() const { return fixedSize_; }
    int CalcStart() const { return calcStart_; }
    int BookmarkStart() const { return bookmarkStart_; }
    int VarStart() const { return varStart_; }
    int DataSize() const { return dataSize_; }
    int RecordSize() const { return recordSize_; }
    // Offset of the null byte of field number 1..256.
    int FieldOffset(int fieldNo) const { return fieldOffset_[fieldNo]; }
    std::uint8_t FieldFlags(int fieldNo) const { return fieldFlags_[fieldNo]; }
    bool IsVarLength(int fieldNo) const { return fieldNo > 0 && (fieldFlags_[fieldNo] & kFieldVarLength); }
    // Storage size of a field's value (the null byte not included).
    static int StorageSize(TFieldType type, int size);
    static bool IsSupportedType(TFieldType type);
    static bool IsBlobType(TFieldType type);

    // Per-field written marks (set by field writes, cleared after post/cancel).
    void SetFieldWritten(int fieldNo);
    bool FieldWritten(int fieldNo) const;
    void ClearFieldWritten();

    // Locale.
    int LocaleID() const { return localeId_; }
    void SetLocaleID(int value);
    // Whether texts compare in the Russian collation under LocaleID (else
    // a locale-aware text comparison raises EMemTableInvalidLocale).
    bool LocaleUsesCollation() const;
    int LanguageID() const { return languageId_; }
    void SetLanguageID(int value);
    int SubLanguageID() const { return subLanguageId_; }
    void SetSubLanguageID(int value);
    int SortID() const { return sortId_; }
    void SetSortID(int value);

    bool Standalone() const { return standalone_; }
    void SetStandalone(bool value);
    TVemtPerformance Performance() const { return performance_; }
    void SetPerformance(TVemtPerformance value) { performance_ = value; }
    int AutoIncMinValue() const { return autoIncMin_; }
    void SetAutoIncMinValue(int value);
    int AutoIncMaxValue() const { return autoIncMax_; }
    void SetAutoIncMaxValue(int value) { autoIncMax_ = value; }
    bool EnableVersioning() const { return enableVersioning_; }
    void SetEnableVersioning(bool value) { enableVersioning_ = value; }
    int VersioningMode() const { return versioningMode_; }
    void SetVersioningMode(int value) { versioningMode_ = value; }
    bool Modified() const { return modified_; }
    void SetModified(bool value) { modified_ = value; }
    int DeletedCount() const { return deletedCount_; }
    void SetDeletedCount(int value) { deletedCount_ = value; }

    // Attached tables.
    TVemtTableLink *Owner() const { return owner_; }
    void AttachTable(TVemtTableLink *table);
    void DetachTable(TVemtTableLink *table);
    int AttachMaxCount() const { return static_cast<int>(attached_.size()); }
    void SetAttachMaxCount(int value);
    TVemtTableLink *AttachedTable(int slot) const { return attached_[static_cast<size_t>(slot)]; }
    int AttachedCount() const;
    bool AnyAttachedOpen() const;
    void CloseOthers(TVemtTableLink *except);
    void RefreshOthers(TVemtTableLink *except);
    // Broadcasts to every open attached table.
    void RebuildAllIndexes();
    void MarkAllIndexesUnordered();
    void RefreshAll();
    // Passes an index change on; the position only to the originating table.
    void UpdateIndexes(TVemtUpdateKind kind, TVemtRecord *record, TVemtTableLink *origin, int position,
                       TVemtRecord *newValues);

    // Events. OnSetupField may change the flags of variable-length fields that
    // are not blobs; OnCompareFields decides a comparison (Result starts at 0);
    // OnDecompressField unpacks a compressed value before it is compared.
    std::function<void(TFieldDef &field, std::uint8_t &flags)> OnSetupField;
    std::function<void(const void *keyValue, const void *fieldValue, TField *field, TFieldType type,
                       TVemtMemTableCompareOptions options, bool &fullCompare, int &result)>
        OnCompareFields;
    std::function<QByteArray(TField *field, const std::uint8_t *bytes, std::uint32_t length)> OnDecompressField;

private:
    friend class TVemtCommonTestAccess;

    void LayoutFieldDef(TFieldDef &def);
    int CompareField(const TVemtKeyField &key, const TVemtRecord *first, const TVemtRecord *second,
                     const std::uint8_t *a, const std::uint8_t *b, TVemtMemTableCompareOptions options,
                     bool &fullMatch) const;
    std::uint32_t DrawDataID() const;
    void FreeRecordUnlocked(TVemtRecord *record, bool withValues, bool withVersions);
    void FreeAllRecords();

    TVemtTableLink *owner_;                // the table that created the store
    mutable std::recursive_mutex mutex_;   // the store's lock
    bool standalone_ = false;              // no locking when set
    std::vector<TVemtRecord *> records_;   // slot -> record or null; owned
    std::vector<std::int32_t> freeSlots_;  // stack of free slot indexes
    std::int32_t nextSlot_ = 0;            // next slot for an appended record
    std::int32_t serialCounter_ = 0;       // next serial
    std::uint32_t dataId_ = 0;             // changes whenever the store is emptied

    std::vector<std::uint8_t *> blocks_;   // handle - 1 -> value block (owned)
    std::vector<std::uint32_t> freeBlocks_; // free handles

    int fieldCount_ = 0;
    int fieldOffset_[kVemtMaxFields + 1] = {};   // by field number
    std::uint8_t fieldFlags_[kVemtMaxFields + 1] = {};
    int fixedSize_ = 0;
    int calcStart_ = 0;
    int bookmarkStart_ = 0;
    int varStart_ = 0;
    int varCount_ = 0;
    int dataSize_ = 0;
    int recordSize_ = static_cast<int>(sizeof(TVemtRecord));

    int localeId_ = 1024;
    int languageId_ = 0;
    int subLanguageId_ = 1;
    int sortId_ = 0;
    TVemtPerformance performance_ = mtpfFast;
    int autoIncMin_ = 0;
    int autoIncMax_ = 0;
    bool enableVersioning_ = false;
    int versioningMode_ = 0;
    bool modified_ = false;
    int deletedCount_ = 0;

    std::vector<TVemtTableLink *> attached_; // AttachMaxCount slots
};

} // namespace zorbel
