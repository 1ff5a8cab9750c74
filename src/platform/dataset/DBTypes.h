// Basic types of the dataset framework: field types with fixed ordinals
// (stored files and the filter-expression constant type codes rely on
// these numbers), field kinds, dataset states, record-fetch modes, bookmark
// flags, data events and the small option sets used by fields, indexes,
// filters and locate.
#pragma once

#include <QString>
#include <cstdint>
#include <initializer_list>

namespace zorbel {

// A set of enumerators of E (at most 32), one bit each.
template <class E> class TSet {
public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> items)
    {
        for (E e : items)
            bits_ |= Bit(e);
    }
    constexpr bool Contains(E e) const { return (bits_ & Bit(e)) != 0; }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr TSet &Include(E e)
    {
        bits_ |= Bit(e);
        return *this;
    }
    constexpr TSet &Exclude(E e)
    {
        bits_ &= ~Bit(e);
        return *this;
    }
    constexpr TSet operator+(TSet o) const { return FromBits(bits_ | o.bits_); }
    constexpr TSet operator-(TSet o) const { return FromBits(bits_ & ~o.bits_); }
    constexpr TSet operator*(TSet o) const { return FromBits(bits_ & o.bits_); }
    constexpr bool operator==(const TSet &) const = default;
    constexpr uint32_t Bits() const { return bits_; }
    static constexpr TSet FromBits(uint32_t bits)
    {
        TSet s;
        s.bits_ = bits;
        return s;
    }

private:
    static constexpr uint32_t Bit(E e) { return uint32_t(1) << static_cast<int>(e); }
    uint32_t bits_ = 0;
};

// Field data types; the ordinals are fixed (stored files and filter
// constants carry them).
enum class TFieldType : int {
    ftUnknown = 0, ftString = 1, ftSmallint = 2, ftInteger = 3, ftWord = 4, ftBoolean = 5,
    ftFloat = 6, ftCurrency = 7, ftBCD = 8, ftDate = 9, ftTime = 10, ftDateTime = 11,
    ftBytes = 12, ftVarBytes = 13, ftAutoInc = 14, ftBlob = 15, ftMemo = 16, ftGraphic = 17,
    ftFmtMemo = 18, ftParadoxOle = 19, ftDBaseOle = 20, ftTypedBinary = 21, ftCursor = 22,
    ftFixedChar = 23, ftWideString = 24, ftLargeint = 25, ftADT = 26, ftArray = 27,
    ftReference = 28, ftDataSet = 29, ftOraBlob = 30, ftOraClob = 31, ftVariant = 32,
    ftInterface = 33, ftIDispatch = 34, ftGuid = 35
};
using enum TFieldType;

// Name of a field type as messages print it ("String", "Integer", ...).
QString FieldTypeName(TFieldType type);

// True for the types whose values live outside the record (blob and memo kinds).
bool IsBlobType(TFieldType type);

// How a value of this type is entered in a grid cell: a date is picked
// through the button beside the cell (the program's date dialog), a date-time
// is a stamp the program writes and nobody types, any other type is typed.
enum class TFieldEntry { feTyped, fePicked, feStamped };
TFieldEntry FieldEntryOf(TFieldType type);

// Byte size of the native value buffer of a field of this type and size, the
// layout that GetFieldData/SetFieldData exchange:
//   String, FixedChar  Size+1 UTF-16 code units, zero-terminated ((Size+1)*2 bytes)
//   Smallint, Word     16-bit integer (2)          Boolean  16-bit, 0 false (2)
//   Integer, AutoInc   32-bit signed (4)           Largeint 64-bit signed (8)
//   Float, Currency    8-byte double (8)
//   Date               32-bit day number, day 1 = 0001-01-01, in the first 4 of 8 bytes
//   Time               32-bit milliseconds since midnight, first 4 of 8 bytes
//   DateTime           double: day number * 86400000 + milliseconds (8)
//   BCD 34, Bytes Size, VarBytes Size+2 (2-byte length, then bytes)
//   blob types, ADT, Array and unknown types: 0 (no value in the record)
int FieldDataSize(TFieldType type, int size);

// Kinds of fields.
enum class TFieldKind {
    fkData,         // a column of the dataset's records
    fkCalculated,   // computed by OnCalcFields into the calculated-field area
    fkLookup,       // looked up in another dataset through key fields
    fkInternalCalc, // computed, but stored in the record like a data field
    fkAggregate     // not used; kept for the ordinal order
};
using enum TFieldKind;

// Dataset states. The state decides which record buffer a field reads and
// whether fields may be written.
enum class TDataSetState {
    dsInactive,     // closed: no records, no field access
    dsBrowse,       // open, positioned on the active buffer; read only
    dsEdit,         // the active record is being changed
    dsInsert,       // a new record is being filled in the active buffer
    dsSetKey,       // key buffer being filled for a key search
    dsCalcFields,   // OnCalcFields running on the calculation buffer
    dsFilter,       // a record under test by the filter or a search
    dsNewValue,     // access to the new values of a cached update
    dsOldValue,     // access to the values before the edit
    dsCurValue,     // access to the values currently stored
    dsBlockRead,    // block read: controls are not notified
    dsInternalCalc, // internal calculated fields being computed
    dsOpening       // an open is under way
};
using enum TDataSetState;

// Modes of GetRecord and its results.
enum class TGetMode { gmCurrent, gmNext, gmPrior };
using enum TGetMode;
enum class TGetResult { grOK, grBOF, grEOF, grError };
using enum TGetResult;

// Where a record buffer stands relative to the data.
enum class TBookmarkFlag { bfCurrent, bfBOF, bfEOF, bfInserted };
using enum TBookmarkFlag;

// Notifications from a dataset to its data sources and links.
enum class TDataEvent {
    deFieldChange,          // a field value changed (Info: the field)
    deRecordChange,         // the active record changed as a whole
    deDataSetChange,        // the buffers were refilled
    deDataSetScroll,        // the buffers scrolled (Info: distance)
    deLayoutChange,         // fields were added, removed or rearranged
    deUpdateRecord,         // controls should write their pending values
    deUpdateState,          // the dataset state changed
    deCheckBrowseMode,      // about to leave edit or insert
    dePropertyChange,
    deFieldListChange,
    deFocusControl,         // a control should take the focus (Info: the field)
    deParentScroll,
    deConnectChange,
    deReconcileError,
    deDisabledStateChange   // state changed while controls are disabled
};
using enum TDataEvent;

// Change state of a record under cached updates or versioning.
enum class TUpdateStatus { usUnmodified, usModified, usInserted, usDeleted };
using enum TUpdateStatus;

enum class TResyncModeItem { rmExact, rmCenter };
using enum TResyncModeItem;
using TResyncMode = TSet<TResyncModeItem>;

enum class TLocateOption { loCaseInsensitive, loPartialKey };
using enum TLocateOption;
using TLocateOptions = TSet<TLocateOption>;

enum class TFilterOption { foCaseInsensitive, foNoPartialCompare };
using enum TFilterOption;
using TFilterOptions = TSet<TFilterOption>;

enum class TIndexOption {
    ixPrimary, ixUnique, ixDescending, ixCaseInsensitive, ixExpression, ixNonMaintained
};
using enum TIndexOption;
using TIndexOptions = TSet<TIndexOption>;

enum class TFieldAttribute { faHiddenCol, faReadonly, faRequired, faLink, faUnNamed, faFixed };
using enum TFieldAttribute;
using TFieldAttributes = TSet<TFieldAttribute>;

enum class TAlignment { taLeftJustify, taRightJustify, taCenter };
using enum TAlignment;

// A bookmark: opaque bytes that the dataset's GetBookmarkData fills.
using TBookmarkStr = QByteArray;

// A record buffer as handed out by AllocRecordBuffer. Its layout belongs to
// the descendant dataset.
using TRecordBuffer = uint8_t *;

} // namespace zorbel
