// Conversion and comparison rules of Variant (see the header's table).
#include "platform/rtl/Variant.h"

#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Money.h"
#include "platform/rtl/StrUtils.h"

#include <cmath>
#include <limits>

namespace zorbel {

namespace {

constexpr uint16_t VarArrayType = varArray | varVariant;

bool IsIntegerType(uint16_t t) { return t == varSmallint || t == varInteger || t == varInt64; }

[[noreturn]] void IndexOutOfBounds()
{
    throw EVariantError(QStringLiteral("Номер элемента массива вне его границ"));
}

} // namespace

QString VarTypeName(uint16_t type)
{
    switch (type) {
    case varEmpty: return QStringLiteral("пусто");
    case varNull: return QStringLiteral("пустое значение");
    case varSmallint: return QStringLiteral("короткое целое");
    case varInteger: return QStringLiteral("целое");
    case varDouble: return QStringLiteral("дробное число");
    case varCurrency: return QStringLiteral("денежная сумма");
    case varDate: return QStringLiteral("дата");
    case varBoolean: return QStringLiteral("логическое");
    case varInt64: return QStringLiteral("длинное целое");
    case varString: return QStringLiteral("строка");
    case VarArrayType: return QStringLiteral("массив");
    default: return QStringLiteral("неизвестный");
    }
}

Variant Variant::Null()
{
    Variant v;
    v.type_ = varNull;
    return v;
}

Variant Variant::FromDate(TDateTime value)
{
    Variant v;
    v.type_ = varDate;
    v.double_ = value;
    return v;
}

Variant Variant::FromCurrency(double value) { return FromCurrencyUnits(MoneyToUnits(value)); }

Variant Variant::FromCurrencyUnits(int64_t units)
{
    Variant v;
    v.type_ = varCurrency;
    v.int_ = units;
    return v;
}

Variant Variant::Array(std::vector<Variant> items)
{
    Variant v;
    v.type_ = VarArrayType;
    v.array_ = std::move(items);
    return v;
}

bool Variant::IsNumeric() const { return IsIntegerType(type_) || type_ == varDouble || type_ == varCurrency; }

void Variant::CannotConvert(uint16_t target) const
{
    throw EVariantError(QStringLiteral("Значение типа «%1» нельзя преобразовать в тип «%2»")
                            .arg(VarTypeName(type_), VarTypeName(target)));
}

int64_t Variant::RoundedInteger(uint16_t target, int64_t low, int64_t high) const
{
    int64_t result = 0;
    switch (type_) {
    case varEmpty:
        return 0;
    case varSmallint:
    case varInteger:
    case varInt64:
        result = int_;
        break;
    case varBoolean:
        result = int_ ? -1 : 0;
        break;
    case varCurrency:
        result = RoundHalfEven(static_cast<long double>(int_) / MoneyScale);
        break;
    case varDouble:
    case varDate:
    case varString: {
        double d = double_;
        if (type_ == varString) {
            int64_t exact;
            if (TryStrToInt64(string_, exact)) {
                result = exact;
                break;
            }
            if (!TryStrToFloat(string_, d))
                CannotConvert(target);
        }
        if (!(std::fabs(d) < 9.2e18))
            CannotConvert(target);
        result = RoundHalfEven(d);
        break;
    }
    default:
        CannotConvert(target);
    }
    if (result < low || result > high)
        throw EVariantError(QStringLiteral("Переполнение при преобразовании значения типа «%1» в тип «%2»")
                                .arg(VarTypeName(type_), VarTypeName(target)));
    return result;
}

int16_t Variant::AsSmallint() const
{
    return static_cast<int16_t>(RoundedInteger(varSmallint, INT16_MIN, INT16_MAX));
}

int Variant::AsInteger() const { return static_cast<int>(RoundedInteger(varInteger, INT32_MIN, INT32_MAX)); }

int64_t Variant::AsInt64() const { return RoundedInteger(varInt64, INT64_MIN, INT64_MAX); }

double Variant::AsDouble() const
{
    switch (type_) {
    case varEmpty:
        return 0;
    case varSmallint:
    case varInteger:
    case varInt64:
        return static_cast<double>(int_);
    case varBoolean:
        return int_ ? -1 : 0;
    case varCurrency:
        return UnitsToMoney(int_);
    case varDouble:
    case varDate:
        return double_;
    case varString: {
        double d;
        if (!TryStrToFloat(string_, d))
            CannotConvert(varDouble);
        return d;
    }
    default:
        CannotConvert(varDouble);
    }
}

int64_t Variant::AsCurrencyUnits() const
{
    switch (type_) {
    case varCurrency:
        return int_;
    case varSmallint:
    case varInteger:
    case varInt64:
    case varBoolean:
    case varEmpty:
        return RoundedInteger(varCurrency, INT64_MIN / MoneyScale, INT64_MAX / MoneyScale) * MoneyScale;
    case varString: {
        // Rounded from the text itself: through a double a tie may move.
        int64_t units;
        if (TryStrToCurrUnits(string_, units))
            return units;
        [[fallthrough]];
    }
    case varDouble:
    case varDate: {
        const double d = AsDouble();
        if (!(std::fabs(d) < 922337203685477.0))
            throw EVariantError(QStringLiteral("Переполнение при преобразовании значения типа «%1» в тип «денежная сумма»")
                                    .arg(VarTypeName(type_)));
        return MoneyToUnits(d);
    }
    default:
        CannotConvert(varCurrency);
    }
}

double Variant::AsCurrency() const { return UnitsToMoney(AsCurrencyUnits()); }

TDateTime Variant::AsDate() const
{
    if (type_ == varString) {
        TDateTime d;
        if (!TryStrToDateTime(string_, d))
            CannotConvert(varDate);
        return d;
    }
    return AsDouble();
}

bool Variant::AsBoolean() const
{
    switch (type_) {
    case varEmpty:
        return false;
    case varSmallint:
    case varInteger:
    case varInt64:
    case varBoolean:
    case varCurrency:
        return int_ != 0;
    case varDouble:
    case varDate:
        return double_ != 0;
    case varString: {
        const QString t = string_.trimmed();
        if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
            return true;
        if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
            return false;
        double d;
        if (!TryStrToFloat(string_, d))
            CannotConvert(varBoolean);
        return d != 0;
    }
    default:
        CannotConvert(varBoolean);
    }
}

QString Variant::AsString() const
{
    switch (type_) {
    case varEmpty:
        return QString();
    case varSmallint:
    case varInteger:
    case varInt64:
        return IntToStr(int_);
    case varBoolean:
        return int_ ? QStringLiteral("True") : QStringLiteral("False");
    case varCurrency:
        return CurrToStr(UnitsToMoney(int_));
    case varDouble:
        return FloatToStr(double_);
    case varDate:
        return DateTimeToStr(double_);
    case varString:
        return string_;
    default:
        CannotConvert(varString);
    }
}

Variant Variant::AsType(uint16_t type) const
{
    if (type == type_)
        return *this;
    switch (type) {
    case varEmpty: return Variant();
    case varNull: return Null();
    case varSmallint: return Variant(AsSmallint());
    case varInteger: return Variant(AsInteger());
    case varInt64: return Variant(static_cast<long long>(AsInt64()));
    case varDouble: return Variant(AsDouble());
    case varCurrency: return FromCurrencyUnits(AsCurrencyUnits());
    case varDate: return FromDate(AsDate());
    case varBoolean: return Variant(AsBoolean());
    case varString: return Variant(AsString());
    default: CannotConvert(type);
    }
}

int Variant::ArrayHighBound() const
{
    if (!IsArray())
        throw EVariantError(QStringLiteral("Значение не является массивом"));
    return static_cast<int>(array_.size()) - 1;
}

const Variant &Variant::operator[](int index) const
{
    if (index < 0 || index > ArrayHighBound())
        IndexOutOfBounds();
    return array_[index];
}

Variant &Variant::operator[](int index)
{
    if (index < 0 || index > ArrayHighBound())
        IndexOutOfBounds();
    return array_[index];
}

QString VarToStr(const Variant &v) { return VarIsClear(v) ? QString() : v.AsString(); }

Variant VarArrayOf(std::initializer_list<Variant> items) { return Variant::Array(std::vector<Variant>(items)); }

Variant VarArrayOf(const std::vector<Variant> &items) { return Variant::Array(items); }

int VarArrayLowBound(const Variant &v)
{
    v.ArrayHighBound(); // raises for a non-array
    return 0;
}

int VarArrayHighBound(const Variant &v) { return v.ArrayHighBound(); }

namespace {

template <typename T> TVariantRelationship Order(T a, T b)
{
    return a < b ? TVariantRelationship::vrLessThan
                 : b < a ? TVariantRelationship::vrGreaterThan : TVariantRelationship::vrEqual;
}

} // namespace

TVariantRelationship VarCompareValue(const Variant &a, const Variant &b)
{
    using R = TVariantRelationship;
    const uint16_t ta = a.VarType(), tb = b.VarType();
    if (VarIsClear(a) || VarIsClear(b))
        return ta == tb ? R::vrEqual : R::vrNotEqual;
    if (a.IsArray() || b.IsArray()) {
        if (!a.IsArray() || !b.IsArray() || a.ArrayHighBound() != b.ArrayHighBound())
            return R::vrNotEqual;
        for (int i = 0; i <= a.ArrayHighBound(); ++i)
            if (VarCompareValue(a[i], b[i]) != R::vrEqual)
                return R::vrNotEqual;
        return R::vrEqual;
    }
    if (ta == varString && tb == varString)
        return Order(AnsiCompareStr(a.AsString(), b.AsString()), 0);
    if ((ta == varBoolean && (tb == varBoolean || tb == varString)) || (tb == varBoolean && ta == varString))
        return Order(a.AsBoolean(), b.AsBoolean());
    if (ta == varDate || tb == varDate) // a text against a date reads as a date
        return Order(a.AsDate(), b.AsDate());
    const bool exactA = IsIntegerType(ta) || ta == varCurrency;
    const bool exactB = IsIntegerType(tb) || tb == varCurrency;
    if (exactA && exactB) {
        if (ta == varCurrency || tb == varCurrency) {
            // Compare in units; an integer beyond the Currency range is
            // beyond every Currency value.
            const auto units = [](const Variant &v) -> long double {
                return v.VarType() == varCurrency ? v.AsCurrencyUnits()
                                                  : static_cast<long double>(v.AsInt64()) * MoneyScale;
            };
            return Order(units(a), units(b));
        }
        return Order(a.AsInt64(), b.AsInt64());
    }
    return Order(a.AsDouble(), b.AsDouble());
}

bool operator==(const Variant &a, const Variant &b) { return VarCompareValue(a, b) == TVariantRelationship::vrEqual; }

} // namespace zorbel
