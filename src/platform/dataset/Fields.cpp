// Field classes: conversions between the native value buffers and the typed
// accessors, text formatting, and the field list.
#include "platform/dataset/Fields.h"

#include "platform/dataset/DBConsts.h"
#include "platform/dataset/DataSet.h"
#include "platform/rtl/DateTime.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/FormatSettings.h"
#include "platform/rtl/Money.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>

namespace zorbel {

namespace {

// Zero-filled scratch buffer of a field's native size; on the stack up to
// a string of 255 characters (every read and write of a field passes here).
class NativeBuffer {
public:
    explicit NativeBuffer(const TField &field)
    {
        const size_t size = size_t(std::max(field.DataSize(), 8));
        if (size <= sizeof(inline_)) {
            std::memset(inline_, 0, size);
            data_ = inline_;
        } else {
            heap_.assign(size, 0);
            data_ = heap_.data();
        }
    }
    NativeBuffer(const NativeBuffer &) = delete;
    NativeBuffer &operator=(const NativeBuffer &) = delete;
    void *data() { return data_; }
    const uint8_t *bytes() const { return data_; }

private:
    alignas(8) uint8_t inline_[512];
    std::vector<uint8_t> heap_;
    uint8_t *data_;
};

template <class T> T ReadAs(const NativeBuffer &b)
{
    T value;
    std::memcpy(&value, b.bytes(), sizeof(T));
    return value;
}

template <class T> void WriteAs(NativeBuffer &b, T value) { std::memcpy(b.data(), &value, sizeof(T)); }

// Rounds to the nearest integer, ties to even: the program's one rounding
// rule (RoundHalfEven in Money.h), so a field never rounds otherwise.
int64_t RoundToInt64(double value) { return static_cast<int64_t>(std::nearbyint(value)); }

} // namespace

// ---- TField ----

TField::TField(TFieldType dataType, int size) : dataType_(dataType), size_(size) {}

TField::~TField() = default;

void TField::SetFieldName(const QString &name)
{
    if (dataSet_) {
        TField *other = dataSet_->FindField(name);
        if (other && other != this)
            DatabaseError(DBConsts::SDuplicateFieldName.arg(name));
        dataSet_->Fields().Forget();
    }
    fieldName_ = name;
}

void TField::SetFieldKind(TFieldKind kind)
{
    if (dataSet_)
        dataSet_->CheckInactive();
    fieldKind_ = kind;
}

void TField::SetSize(int size)
{
    if (dataSet_)
        dataSet_->CheckInactive();
    size_ = size;
}

int TField::Index() const { return dataSet_ ? dataSet_->Fields().IndexOf(this) : -1; }

void TField::SetIndex(int index)
{
    if (!dataSet_)
        return;
    TFields &fields = dataSet_->Fields();
    index = std::clamp(index, 0, fields.Count() - 1);
    fields.Move(Index(), index);
    PropertyChanged(true);
}

bool TField::CanModify() const
{
    if (readOnly_ || !dataSet_ || !dataSet_->Active())
        return false;
    if (fieldKind_ != fkData && fieldKind_ != fkInternalCalc)
        return false;
    if (dataSet_->State() == dsSetKey)
        return dataSet_->GetIsIndexField(const_cast<TField *>(this));
    return dataSet_->CanModify();
}

const Variant *TField::StoredValue() const
{
    return dataSet_ && !validating_ ? dataSet_->StoredFieldValue(this) : nullptr;
}

bool TField::GetData(void *buffer) const
{
    if (!dataSet_)
        DatabaseError(DBConsts::SDataSetMissing.arg(DisplayName()));
    if (validating_) {
        if (valueBuffer_ && buffer)
            std::memcpy(buffer, valueBuffer_, size_t(DataSize()));
        return valueBuffer_ != nullptr;
    }
    return dataSet_->GetFieldData(const_cast<TField *>(this), buffer);
}

void TField::SetData(const void *buffer)
{
    if (!dataSet_)
        DatabaseError(DBConsts::SDataSetMissing.arg(DisplayName()));
    if (IsBlob()) {
        if (buffer)
            AccessError(FieldTypeName(dataType_));
        dataSet_->SetBlobData(this, nullptr);
        return;
    }
    dataSet_->SetFieldData(this, buffer);
}

QByteArray TField::GetBlobData() const
{
    if (!dataSet_)
        DatabaseError(DBConsts::SDataSetMissing.arg(DisplayName()));
    QByteArray data;
    if (!dataSet_->GetBlobData(const_cast<TField *>(this), data))
        return QByteArray();
    return data;
}

void TField::SetBlobData(const QByteArray *data)
{
    if (!dataSet_)
        DatabaseError(DBConsts::SDataSetMissing.arg(DisplayName()));
    dataSet_->SetBlobData(this, data);
}

bool TField::IsNull() const
{
    if (IsBlob()) {
        QByteArray data;
        return !dataSet_ || !dataSet_->GetBlobData(const_cast<TField *>(this), data);
    }
    if (const Variant *stored = StoredValue())
        return VarIsClear(*stored);
    return !GetData(nullptr);
}

void TField::Validate(const void *buffer)
{
    if (!OnValidate)
        return;
    validating_ = true;
    valueBuffer_ = buffer;
    try {
        OnValidate(this);
    } catch (...) {
        validating_ = false;
        valueBuffer_ = nullptr;
        throw;
    }
    validating_ = false;
    valueBuffer_ = nullptr;
}

void TField::Change()
{
    if (OnChange)
        OnChange(this);
}

void TField::FocusControl()
{
    if (dataSet_ && dataSet_->Active())
        dataSet_->DataEvent(deFocusControl, reinterpret_cast<intptr_t>(this));
}

void TField::SetText(const QString &text)
{
    if (OnSetText)
        OnSetText(this, text);
    else
        SetAsString(text);
}

QString TField::GetTextWithEvent(bool displayText) const
{
    if (OnGetText) {
        QString text;
        OnGetText(const_cast<TField *>(this), text, displayText);
        return text;
    }
    return GetText(displayText);
}

void TField::AccessError(const QString &typeName) const
{
    DatabaseError(DBConsts::SFieldAccessError.arg(DisplayName(), typeName));
}

void TField::PropertyChanged(bool layoutAffected)
{
    if (dataSet_ && dataSet_->Active())
        dataSet_->DataEvent(layoutAffected ? deLayoutChange : deDataSetChange);
}

QString TField::GetAsString() const { AccessError(QStringLiteral("String")); }
void TField::SetAsStringImpl(const QString &) { AccessError(QStringLiteral("String")); }
int TField::GetAsInteger() const { AccessError(QStringLiteral("Integer")); }
void TField::SetAsIntegerImpl(int) { AccessError(QStringLiteral("Integer")); }
void TField::SetAsLargeIntImpl(int64_t value)
{
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        AccessError(QStringLiteral("LargeInt"));
    SetAsIntegerImpl(int(value));
}
double TField::GetAsFloat() const { AccessError(QStringLiteral("Float")); }
void TField::SetAsFloatImpl(double) { AccessError(QStringLiteral("Float")); }
double TField::GetAsDateTime() const { AccessError(QStringLiteral("DateTime")); }
void TField::SetAsDateTimeImpl(double) { AccessError(QStringLiteral("DateTime")); }
bool TField::GetAsBoolean() const { AccessError(QStringLiteral("Boolean")); }
void TField::SetAsBooleanImpl(bool) { AccessError(QStringLiteral("Boolean")); }

// ---- TStringField ----

TStringField::TStringField(int size, bool fixedChar) : TField(fixedChar ? ftFixedChar : ftString, size) {}

bool TStringField::GetValue(QString &value) const
{
    // A text the record keeps as it would read back is shared, not copied.
    if (const Variant *stored = StoredValue()) {
        if (VarIsClear(*stored))
            return false;
        if (stored->VarType() == varString) {
            value = stored->AsString();
            if (value.size() <= Size() && !value.contains(QChar(0)))
                return true;
        }
    }
    NativeBuffer b(*this);
    if (!GetData(b.data()))
        return false;
    const auto *chars = reinterpret_cast<const char16_t *>(b.bytes());
    int length = 0;
    while (length < Size() && chars[length] != 0)
        ++length;
    value = QString::fromUtf16(chars, length);
    return true;
}

QString TStringField::GetAsString() const
{
    QString value;
    if (!GetValue(value))
        value.clear();
    return value; // returned in place, without a copy
}

void TStringField::SetAsStringImpl(const QString &value)
{
    if (value.isEmpty()) {
        SetData(nullptr);
        return;
    }
    const QString cut = value.left(Size());
    if (DataSet() && !OnValidate && DataSet()->StoreCalcText(this, cut))
        return;
    NativeBuffer b(*this);
    std::memcpy(b.data(), cut.utf16(), size_t(cut.size()) * 2);
    SetData(b.data());
}

int TStringField::GetAsInteger() const
{
    const QString s = GetAsString();
    return s.isEmpty() ? 0 : StrToInt(s);
}

void TStringField::SetAsIntegerImpl(int value) { SetAsStringImpl(IntToStr(value)); }

int64_t TStringField::GetAsLargeInt() const
{
    const QString s = GetAsString();
    return s.isEmpty() ? 0 : StrToInt64(s);
}

double TStringField::GetAsFloat() const
{
    const QString s = GetAsString();
    return s.isEmpty() ? 0.0 : StrToFloat(s);
}

void TStringField::SetAsFloatImpl(double value) { SetAsStringImpl(FloatToStr(value)); }

double TStringField::GetAsDateTime() const
{
    const QString s = GetAsString();
    return s.isEmpty() ? 0.0 : StrToDateTime(s);
}

void TStringField::SetAsDateTimeImpl(double value) { SetAsStringImpl(DateTimeToStr(value)); }

bool TStringField::GetAsBoolean() const
{
    const QString s = GetAsString();
    return !s.isEmpty() && QStringLiteral("TtYy").contains(s[0]);
}

void TStringField::SetAsBooleanImpl(bool value) { SetAsStringImpl(value ? QStringLiteral("T") : QStringLiteral("F")); }

// ---- Number fields ----

TNumericField::TNumericField(TFieldType dataType, int size) : TField(dataType, size)
{
    SetAlignment(taRightJustify);
}

TIntegerField::TIntegerField() : TIntegerField(ftInteger, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()) {}

TIntegerField::TIntegerField(TFieldType dataType, int minRange, int maxRange)
    : TNumericField(dataType, 0), minRange_(minRange), maxRange_(maxRange)
{
}

TSmallintField::TSmallintField() : TIntegerField(ftSmallint, -32768, 32767) {}
TWordField::TWordField() : TIntegerField(ftWord, 0, 65535) {}
TAutoIncField::TAutoIncField() : TIntegerField(ftAutoInc, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()) {}

int TIntegerField::DefaultDisplayWidth() const
{
    switch (DataType()) {
    case ftSmallint: return 6;
    case ftWord: return 5;
    default: return 11;
    }
}

bool TIntegerField::GetValue(int &value) const
{
    if (const Variant *stored = StoredValue()) {
        if (VarIsClear(*stored))
            return false;
        if (stored->VarType() == varSmallint || stored->VarType() == varInteger) {
            const int kept = stored->AsInteger();
            switch (DataType()) { // as the native value reads back
            case ftSmallint: value = int16_t(kept); break;
            case ftWord: value = uint16_t(kept); break;
            default: value = kept; break;
            }
            return true;
        }
    }
    NativeBuffer b(*this);
    if (!GetData(b.data()))
        return false;
    switch (DataType()) {
    case ftSmallint: value = ReadAs<int16_t>(b); break;
    case ftWord: value = ReadAs<uint16_t>(b); break;
    default: value = ReadAs<int32_t>(b); break;
    }
    return true;
}

QString TIntegerField::GetAsString() const
{
    int value;
    return GetValue(value) ? IntToStr(value) : QString();
}

void TIntegerField::SetAsStringImpl(const QString &value)
{
    if (value.isEmpty()) {
        SetData(nullptr);
        return;
    }
    int number;
    if (!TryStrToInt(value, number))
        DatabaseError(DBConsts::SInvalidIntegerValue.arg(value, DisplayName()));
    SetAsIntegerImpl(number);
}

int TIntegerField::GetAsInteger() const
{
    int value;
    return GetValue(value) ? value : 0;
}

void TIntegerField::SetAsIntegerImpl(int value)
{
    int low = minRange_, high = maxRange_;
    if (minValue_ != 0 || maxValue_ != 0) {
        low = std::max(low, minValue_);
        high = std::min(high, maxValue_);
    }
    if (value < low || value > high)
        DatabaseError(DBConsts::SFieldRangeError.arg(value).arg(DisplayName()).arg(low).arg(high));
    NativeBuffer b(*this);
    switch (DataType()) {
    case ftSmallint: WriteAs<int16_t>(b, int16_t(value)); break;
    case ftWord: WriteAs<uint16_t>(b, uint16_t(value)); break;
    default: WriteAs<int32_t>(b, value); break;
    }
    SetData(b.data());
}

double TIntegerField::GetAsFloat() const { return GetAsInteger(); }

void TIntegerField::SetAsFloatImpl(double value)
{
    const int64_t rounded = RoundToInt64(value);
    if (!std::isfinite(value) || rounded < std::numeric_limits<int>::min() ||
        rounded > std::numeric_limits<int>::max())
        DatabaseError(DBConsts::SFieldRangeError.arg(FloatToStr(value), DisplayName())
                          .arg(minRange_).arg(maxRange_));
    SetAsIntegerImpl(int(rounded));
}

QString TIntegerField::GetText(bool displayText) const
{
    int value;
    if (!GetValue(value))
        return QString();
    const QString &format = displayText || EditFormat().isEmpty() ? DisplayFormat() : EditFormat();
    return format.isEmpty() ? IntToStr(value) : FormatFloat(format, value);
}

TLargeintField::TLargeintField() : TNumericField(ftLargeint, 0) {}

bool TLargeintField::GetValue(int64_t &value) const
{
    NativeBuffer b(*this);
    if (!GetData(b.data()))
        return false;
    value = ReadAs<int64_t>(b);
    return true;
}

QString TLargeintField::GetAsString() const
{
    int64_t value;
    return GetValue(value) ? IntToStr(value) : QString();
}

void TLargeintField::SetAsStringImpl(const QString &value)
{
    if (value.isEmpty()) {
        SetData(nullptr);
        return;
    }
    int64_t number;
    if (!TryStrToInt64(value, number))
        DatabaseError(DBConsts::SInvalidIntegerValue.arg(value, DisplayName()));
    SetAsLargeIntImpl(number);
}

int TLargeintField::GetAsInteger() const { return int(GetAsLargeInt()); }
void TLargeintField::SetAsIntegerImpl(int value) { SetAsLargeIntImpl(value); }

int64_t TLargeintField::GetAsLargeInt() const
{
    int64_t value;
    return GetValue(value) ? value : 0;
}

void TLargeintField::SetAsLargeIntImpl(int64_t value)
{
    NativeBuffer b(*this);
    WriteAs<int64_t>(b, value);
    SetData(b.data());
}

double TLargeintField::GetAsFloat() const { return double(GetAsLargeInt()); }

void TLargeintField::SetAsFloatImpl(double value)
{
    if (!std::isfinite(value) || std::fabs(value) > 9.2e18)
        DatabaseError(DBConsts::SFieldValueError.arg(DisplayName()));
    SetAsLargeIntImpl(RoundToInt64(value));
}

QString TLargeintField::GetText(bool displayText) const
{
    int64_t value;
    if (!GetValue(value))
        return QString();
    const QString &format = displayText || EditFormat().isEmpty() ? DisplayFormat() : EditFormat();
    return format.isEmpty() ? IntToStr(value) : FormatFloat(format, double(value));
}

TFloatField::TFloatField() : TFloatField(ftFloat) {}
TFloatField::TFloatField(TFieldType dataType) : TNumericField(dataType, 0) {}
TCurrencyField::TCurrencyField() : TFloatField(ftCurrency) { SetCurrency(true); }

bool TFloatField::GetValue(double &value) const
{
    if (const Variant *stored = StoredValue()) {
        if (VarIsClear(*stored))
            return false;
        if (stored->VarType() == varDouble) {
            value = stored->AsDouble();
            return true;
        }
    }
    NativeBuffer b(*this);
    if (!GetData(b.data()))
        return false;
    value = ReadAs<double>(b);
    return true;
}

QString TFloatField::GetAsString() const
{
    double value;
    return GetValue(value) ? FloatToStr(value) : QString();
}

void TFloatField::SetAsStringImpl(const QString &value)
{
    if (value.isEmpty()) {
        SetData(nullptr);
        return;
    }
    double number;
    if (!TryStrToFloat(value, number))
        DatabaseError(DBConsts::SInvalidFloatValue.arg(value, DisplayName()));
    // Every float field the program edits holds money, a price, a quantity
    // or a rate: a typed number its arithmetic in 1/10000 cannot hold (1e20)
    // is refused here, where every edit and grid cell writes its text.
    CheckMoneyRange(number);
    SetAsFloatImpl(number);
}

int TFloatField::GetAsInteger() const { return int(RoundToInt64(GetAsFloat())); }
void TFloatField::SetAsIntegerImpl(int value) { SetAsFloatImpl(value); }

double TFloatField::GetAsFloat() const
{
    double value;
    return GetValue(value) ? value : 0.0;
}

void TFloatField::SetAsFloatImpl(double value)
{
    if ((minValue_ != 0 || maxValue_ != 0) && (value < minValue_ || value > maxValue_))
        DatabaseError(DBConsts::SFieldRangeError.arg(FloatToStr(value), DisplayName(),
                                                     FloatToStr(minValue_), FloatToStr(maxValue_)));
    NativeBuffer b(*this);
    WriteAs<double>(b, value);
    SetData(b.data());
}

QString TFloatField::GetText(bool displayText) const
{
    double value;
    if (!GetValue(value))
        return QString();
    const QString &format = displayText || EditFormat().isEmpty() ? DisplayFormat() : EditFormat();
    if (!format.isEmpty())
        return FormatFloat(format, value);
    if (currency_)
        return displayText ? FormatFloat(QStringLiteral("#,##0.00'р.'"), value)
                           : FormatFloat(QStringLiteral("0.00"), value);
    return FloatToStr(value);
}

// ---- TBooleanField ----

TBooleanField::TBooleanField() : TField(ftBoolean, 0) { SetDisplayValues(QStringLiteral("True;False")); }

void TBooleanField::SetDisplayValues(const QString &values)
{
    displayValues_ = values;
    const int semicolon = values.indexOf(u';');
    trueText_ = semicolon < 0 ? values : values.left(semicolon);
    falseText_ = semicolon < 0 ? QString() : values.mid(semicolon + 1);
    PropertyChanged(false);
}

bool TBooleanField::GetValue(bool &value) const
{
    NativeBuffer b(*this);
    if (!GetData(b.data()))
        return false;
    value = ReadAs<uint16_t>(b) != 0;
    return true;
}

QString TBooleanField::GetAsString() const
{
    bool value;
    if (!GetValue(value))
        return QString();
    return value ? trueText_ : falseText_;
}

void TBooleanField::SetAsStringImpl(const QString &value)
{
    if (value.isEmpty()) {
        SetData(nullptr);
        return;
    }
    const int n = int(value.size());
    if (value.compare(falseText_.left(n), Qt::CaseInsensitive) == 0)
        SetAsBooleanImpl(false);
    else if (value.compare(trueText_.left(n), Qt::CaseInsensitive) == 0)
        SetAsBooleanImpl(true);
    else
        DatabaseError(DBConsts::SInvalidBoolValue.arg(value, DisplayName()));
}

bool TBooleanField::GetAsBoolean() const
{
    bool value;
    return GetValue(value) && value;
}

void TBooleanField::SetAsBooleanImpl(bool value)
{
    NativeBuffer b(*this);
    WriteAs<uint16_t>(b, value ? 1 : 0);
    SetData(b.data());
}

// ---- Date and time fields ----
// Native values: Date = day number (1 = 0001-01-01), Time = milliseconds
// since midnight, both 32-bit; DateTime = day number * 86400000 + milliseconds
// as a double.

TDateTimeField::TDateTimeField() : TDateTimeField(ftDateTime) {}
TDateTimeField::TDateTimeField(TFieldType dataType) : TField(dataType, 0) {}
TDateField::TDateField() : TDateTimeField(ftDate) {}
TTimeField::TTimeField() : TDateTimeField(ftTime) {}

bool TDateTimeField::GetValue(double &value) const
{
    // A whole day kept for a date field reads back as it is, and so does a
    // date-time: a creation stamp of a file written elsewhere is no whole
    // millisecond, and only its own value finds its row again. Anything else
    // passes through the native form, which keeps whole milliseconds.
    if (const Variant *stored = StoredValue(); stored && (DataType() == ftDate || DataType() == ftDateTime)) {
        if (VarIsClear(*stored))
            return false;
        if (stored->VarType() == varDate) {
            const double day = stored->AsDate();
            if ((DataType() == ftDateTime || day == std::trunc(day)) && day > -700000.0 && day < 2900000.0) {
                value = day + 0.0; // no negative zero, as the native form
                return true;
            }
        }
    }
    NativeBuffer b(*this);
    if (!GetData(b.data()))
        return false;
    switch (DataType()) {
    case ftDate:
        value = TimeStampToDateTime(TTimeStamp{0, ReadAs<int32_t>(b)});
        break;
    case ftTime:
        value = TimeStampToDateTime(TTimeStamp{ReadAs<int32_t>(b), DateDelta});
        break;
    default: {
        const double ms = ReadAs<double>(b);
        const double days = std::trunc(ms / MSecsPerDay);
        value = TimeStampToDateTime(TTimeStamp{int(ms - days * MSecsPerDay), int(days)});
        break;
    }
    }
    return true;
}

double TDateTimeField::GetAsDateTime() const
{
    double value;
    return GetValue(value) ? value : 0.0;
}

void TDateTimeField::SetAsDateTimeImpl(double value)
{
    if (!std::isfinite(value) || std::fabs(value) > 3.0e6)
        DatabaseError(DBConsts::SFieldValueError.arg(DisplayName()));
    const TTimeStamp stamp = DateTimeToTimeStamp(value);
    NativeBuffer b(*this);
    switch (DataType()) {
    case ftDate: WriteAs<int32_t>(b, stamp.Date); break;
    case ftTime: WriteAs<int32_t>(b, stamp.Time); break;
    default: WriteAs<double>(b, double(stamp.Date) * MSecsPerDay + stamp.Time); break;
    }
    // A date-time is kept as given where the dataset keeps values (a
    // table's or a query's row), not at its whole millisecond: a stamp read
    // from a file written elsewhere is none, and a row given it (the
    // receiving leg of a transfer takes its sending leg's) must hold it to
    // the bit, or the two no longer find each other.
    if (DataType() == ftDateTime && FieldKind() == fkData && DataSet()) {
        DataSet()->SetFieldDataExact(this, b.data(), Variant::FromDate(value + 0.0));
        return;
    }
    SetData(b.data());
}

double TDateTimeField::GetAsFloat() const { return GetAsDateTime(); }
void TDateTimeField::SetAsFloatImpl(double value) { SetAsDateTimeImpl(value); }

QString TDateTimeField::GetText(bool displayText) const
{
    double value;
    if (!GetValue(value))
        return QString();
    QString format;
    if (displayText && !DisplayFormat().isEmpty())
        format = DisplayFormat();
    else if (DataType() == ftDate)
        format = FormatSettings().ShortDateFormat;
    else if (DataType() == ftTime)
        format = FormatSettings().LongTimeFormat;
    else
        format = QStringLiteral("c");
    if (value != lastValue_ || format != lastFormat_ || lastText_.isNull()) {
        lastText_ = FormatDateTime(format, value);
        lastValue_ = value;
        lastFormat_ = format;
    }
    return lastText_;
}

QString TDateTimeField::GetAsString() const { return GetText(false); }

void TDateTimeField::SetAsStringImpl(const QString &value)
{
    if (value.isEmpty()) {
        SetData(nullptr);
        return;
    }
    double parsed = 0;
    bool ok;
    switch (DataType()) {
    case ftDate: ok = TryStrToDate(value, parsed); break;
    case ftTime: ok = TryStrToTime(value, parsed); break;
    default: ok = TryStrToDateTime(value, parsed); break;
    }
    if (!ok) {
        const QString &message = DataType() == ftDate   ? DBConsts::SInvalidDateValue
                                 : DataType() == ftTime ? DBConsts::SInvalidTimeValue
                                                        : DBConsts::SInvalidDateTimeValue;
        throw EConvertError(message.arg(value));
    }
    SetAsDateTimeImpl(parsed);
}

// ---- Blob and memo fields ----

TBlobField::TBlobField(TFieldType dataType) : TField(dataType, 0) {}
TMemoField::TMemoField(TFieldType dataType) : TBlobField(dataType) {}

QString TBlobField::GetAsString() const { return QString::fromLatin1(GetBlobData()); }

void TBlobField::SetAsStringImpl(const QString &value)
{
    if (value.isEmpty()) {
        SetBlobData(nullptr);
        return;
    }
    const QByteArray data = value.toLatin1();
    SetBlobData(&data);
}

QString TBlobField::GetText(bool displayText) const
{
    if (!displayText)
        return GetAsString();
    const QString name = FieldTypeName(DataType());
    return QStringLiteral("(%1)").arg(IsNull() ? name : name.toUpper());
}

QString TMemoField::GetAsString() const { return QString::fromUtf8(GetBlobData()); }

void TMemoField::SetAsStringImpl(const QString &value)
{
    if (value.isEmpty()) {
        SetBlobData(nullptr);
        return;
    }
    const QByteArray data = value.toUtf8();
    SetBlobData(&data);
}

QString TMemoField::GetText(bool displayText) const { return TBlobField::GetText(displayText); }

// ---- TFields ----

namespace {
std::atomic<uint64_t> fieldListGenerations{0};
}

TFields::TFields(TDataSet *dataSet) : dataSet_(dataSet), generation_(++fieldListGenerations) {}

void TFields::Forget()
{
    byName_.clear();
    generation_ = ++fieldListGenerations;
}

TField *TFields::Fields(int index) const
{
    if (index < 0 || index >= Count())
        DatabaseError(DBConsts::SFieldIndexError);
    return items_[size_t(index)].get();
}

int TFields::IndexOf(const TField *field) const
{
    for (int i = 0; i < Count(); ++i)
        if (items_[size_t(i)].get() == field)
            return i;
    return -1;
}

TField *TFields::FindField(const QString &name) const
{
    if (const auto known = byName_.find(name); known != byName_.end())
        return known->second;
    TField *found = nullptr;
    for (const auto &field : items_)
        if (field->FieldName().compare(name, Qt::CaseInsensitive) == 0) {
            found = field.get();
            break;
        }
    constexpr qsizetype MaxNames = 512; // names built from data stay bounded
    if (byName_.size() >= size_t(MaxNames))
        byName_.clear();
    byName_.emplace(name, found);
    return found;
}

TField *TFields::FieldByName(const QString &name) const
{
    TField *field = FindField(name);
    if (!field)
        DatabaseError(DBConsts::SFieldNotFound.arg(name));
    return field;
}

TField *TFields::FieldByNumber(int fieldNo) const
{
    for (const auto &field : items_)
        if (field->FieldNo() == fieldNo)
            return field.get();
    return nullptr;
}

TField *TFields::Add(std::unique_ptr<TField> field)
{
    field->dataSet_ = dataSet_;
    Forget();
    items_.push_back(std::move(field));
    return items_.back().get();
}

std::unique_ptr<TField> TFields::Remove(TField *field)
{
    const int i = IndexOf(field);
    if (i < 0)
        return nullptr;
    Forget();
    std::unique_ptr<TField> owned = std::move(items_[size_t(i)]);
    items_.erase(items_.begin() + i);
    owned->dataSet_ = nullptr;
    return owned;
}

void TFields::Clear()
{
    Forget();
    items_.clear();
}

void TFields::Move(int from, int to)
{
    if (from == to || from < 0)
        return;
    Forget();
    std::unique_ptr<TField> field = std::move(items_[size_t(from)]);
    items_.erase(items_.begin() + from);
    items_.insert(items_.begin() + to, std::move(field));
}

namespace {

// A field of a type that has no typed access here (BCD, Bytes, WideString,
// ADT, ...): it exists so that datasets can name and refuse it themselves;
// its value accessors raise the access error.
class TUntypedField : public TField {
public:
    TUntypedField(TFieldType type, int size) : TField(type, size) {}
};

} // namespace

std::unique_ptr<TField> CreateDefaultField(TFieldType type, int size)
{
    switch (type) {
    case ftString: return std::make_unique<TStringField>(size);
    case ftFixedChar: return std::make_unique<TStringField>(size, true);
    case ftSmallint: return std::make_unique<TSmallintField>();
    case ftInteger: return std::make_unique<TIntegerField>();
    case ftWord: return std::make_unique<TWordField>();
    case ftAutoInc: return std::make_unique<TAutoIncField>();
    case ftLargeint: return std::make_unique<TLargeintField>();
    case ftBoolean: return std::make_unique<TBooleanField>();
    case ftFloat: return std::make_unique<TFloatField>();
    case ftCurrency: return std::make_unique<TCurrencyField>();
    case ftDate: return std::make_unique<TDateField>();
    case ftTime: return std::make_unique<TTimeField>();
    case ftDateTime: return std::make_unique<TDateTimeField>();
    case ftBlob: case ftGraphic: case ftParadoxOle: case ftDBaseOle: case ftTypedBinary:
    case ftOraBlob:
        return std::make_unique<TBlobField>(type);
    case ftMemo: case ftFmtMemo: case ftOraClob: return std::make_unique<TMemoField>(type);
    case ftUnknown: case ftCursor: return nullptr;
    default: return std::make_unique<TUntypedField>(type, size);
    }
}

} // namespace zorbel
