// Variant: a value of one of the runtime's dynamic kinds, as fields, keys,
// parameters and expressions pass them around. Kinds and their type codes:
//
//   code    kind       stored as
//   0x0000  Empty      nothing (unassigned)
//   0x0001  Null       nothing (a database null)
//   0x0002  Smallint   int64, range of int16
//   0x0003  Integer    int64, range of int32
//   0x0005  Double     double
//   0x0006  Currency   int64 units of 1/10000 (Money.h)
//   0x0007  Date       double (TDateTime)
//   0x000B  Boolean    int64 0 or 1
//   0x0014  Int64      int64
//   0x0100  String     QString
//   0x200C  Array      vector of Variant, indexes from 0 (VarArrayOf)
//
// Conversions follow the runtime's rules: numbers and text meet through the
// decimal comma (strict parsing, Format.h), dates are their day serial,
// True is -1 as a number, Empty is 0, "" or False, and Null converts to
// nothing (EVariantError). Floats become integers by rounding half to even.
#pragma once

#include "platform/rtl/DateTime.h"

#include <QString>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace zorbel {

enum : uint16_t {
    varEmpty = 0x0000,
    varNull = 0x0001,
    varSmallint = 0x0002,
    varInteger = 0x0003,
    varDouble = 0x0005,
    varCurrency = 0x0006,
    varDate = 0x0007,
    varBoolean = 0x000B,
    varVariant = 0x000C,
    varInt64 = 0x0014,
    varString = 0x0100,
    varArray = 0x2000,
};

class Variant {
public:
    Variant() = default; // Empty
    Variant(int16_t value) : type_(varSmallint), int_(value) {}
    Variant(int value) : type_(varInteger), int_(value) {}
    Variant(long value) : type_(varInt64), int_(value) {}
    Variant(long long value) : type_(varInt64), int_(value) {}
    Variant(double value) : type_(varDouble), double_(value) {}
    Variant(bool value) : type_(varBoolean), int_(value ? 1 : 0) {}
    Variant(const QString &value) : type_(varString), string_(value) {}
    Variant(const char *value) : type_(varString), string_(QString::fromUtf8(value)) {}

    static Variant Null();
    static Variant FromDate(TDateTime value);
    // The amount rounded to 1/10000 (ties to even).
    static Variant FromCurrency(double value);
    static Variant FromCurrencyUnits(int64_t units);
    static Variant Array(std::vector<Variant> items);

    uint16_t VarType() const { return type_; }
    bool IsEmpty() const { return type_ == varEmpty; }
    bool IsNull() const { return type_ == varNull; }
    bool IsArray() const { return type_ == (varArray | varVariant); }
    bool IsNumeric() const; // an integer kind, Double or Currency (not Date, not Boolean)

    // Conversions; each raises EVariantError when the value cannot be
    // converted (Null, an array, a text that does not read as the kind, or an
    // integer out of the target's range).
    int16_t AsSmallint() const;
    int AsInteger() const;
    int64_t AsInt64() const;
    double AsDouble() const;
    int64_t AsCurrencyUnits() const;
    double AsCurrency() const;
    TDateTime AsDate() const;
    bool AsBoolean() const;
    QString AsString() const;
    // The value converted to the kind of the given type code.
    Variant AsType(uint16_t type) const;

    // Array access (0-based); an index outside raises EVariantError.
    int ArrayHighBound() const;
    const Variant &operator[](int index) const;
    Variant &operator[](int index);

private:
    [[noreturn]] void CannotConvert(uint16_t target) const;
    int64_t RoundedInteger(uint16_t target, int64_t low, int64_t high) const;

    uint16_t type_ = varEmpty;
    int64_t int_ = 0;
    double double_ = 0;
    QString string_;
    std::vector<Variant> array_;
};

// The name of a type code as messages show it ("дробное число", "строка").
QString VarTypeName(uint16_t type);

inline uint16_t VarType(const Variant &v) { return v.VarType(); }
inline bool VarIsNull(const Variant &v) { return v.IsNull(); }
inline bool VarIsEmpty(const Variant &v) { return v.IsEmpty(); }
inline bool VarIsArray(const Variant &v) { return v.IsArray(); }
// Null or Empty.
inline bool VarIsClear(const Variant &v) { return v.IsNull() || v.IsEmpty(); }
// Text of the value; Null and Empty give "".
QString VarToStr(const Variant &v);
Variant VarArrayOf(std::initializer_list<Variant> items);
Variant VarArrayOf(const std::vector<Variant> &items);
int VarArrayLowBound(const Variant &v);
int VarArrayHighBound(const Variant &v);

enum class TVariantRelationship { vrEqual, vrLessThan, vrGreaterThan, vrNotEqual };

// Compares two values. Null and Empty equal only their own kind and are
// "not equal" to anything else. Two texts compare by AnsiCompareStr. A text
// against a number, date or Boolean is converted to a number first (a text
// that is not a number raises EVariantError). Integers and Currency compare
// exactly, other numbers and dates as doubles; False < True. Arrays are equal
// when their elements are, else "not equal".
TVariantRelationship VarCompareValue(const Variant &a, const Variant &b);
// Equality by VarCompareValue.
bool operator==(const Variant &a, const Variant &b);

} // namespace zorbel
