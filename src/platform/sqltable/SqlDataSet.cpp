// The record buffers, bookmarks and field values that TTable and TQuery share.
#include "platform/sqltable/SqlDataSet.h"

#include "platform/dataset/DBConsts.h"
#include "platform/sqltable/Database.h"

#include <cmath>
#include <cstring>

namespace zorbel {
namespace {

template <class T> void Put(void *buffer, T value) { std::memcpy(buffer, &value, sizeof(T)); }
template <class T> T Get(const void *buffer)
{
    T value;
    std::memcpy(&value, buffer, sizeof(T));
    return value;
}

bool IsComputed(const TField *field)
{
    return field->FieldKind() == fkCalculated || field->FieldKind() == fkLookup;
}

} // namespace

TFieldType FieldTypeOfKind(TColumnKind kind)
{
    switch (kind) {
    case TColumnKind::Short: return ftSmallint;
    case TColumnKind::Integer: return ftInteger;
    case TColumnKind::Number: return ftFloat;
    case TColumnKind::Alpha: return ftString;
    case TColumnKind::Date: return ftDate;
    case TColumnKind::Timestamp: return ftDateTime;
    case TColumnKind::Boolean: return ftBoolean;
    case TColumnKind::Unknown: break;
    }
    return ftUnknown;
}

TColumnKind KindOfFieldType(TFieldType type)
{
    switch (type) {
    case ftSmallint: case ftWord: return TColumnKind::Short;
    case ftInteger: case ftAutoInc: case ftLargeint: return TColumnKind::Integer;
    case ftFloat: case ftCurrency: case ftBCD: return TColumnKind::Number;
    case ftString: case ftFixedChar: case ftWideString: case ftMemo: return TColumnKind::Alpha;
    case ftDate: return TColumnKind::Date;
    case ftDateTime: case ftTime: return TColumnKind::Timestamp;
    case ftBoolean: return TColumnKind::Boolean;
    default: return TColumnKind::Unknown;
    }
}

bool VariantToNative(const Variant &value, TFieldType type, int size, void *buffer)
{
    if (VarIsClear(value))
        return false;
    switch (type) {
    case ftString: case ftFixedChar: case ftWideString: {
        const QString s = value.AsString().left(size);
        std::memcpy(buffer, s.utf16(), size_t(s.size()) * 2);
        Put<char16_t>(static_cast<char *>(buffer) + s.size() * 2, 0);
        return true;
    }
    case ftSmallint: case ftWord: Put<int16_t>(buffer, int16_t(value.AsInteger())); return true;
    case ftBoolean: Put<int16_t>(buffer, value.AsBoolean() ? 1 : 0); return true;
    case ftInteger: case ftAutoInc: Put<int32_t>(buffer, value.AsInteger()); return true;
    case ftLargeint: Put<int64_t>(buffer, value.AsInt64()); return true;
    case ftFloat: case ftCurrency: Put<double>(buffer, value.AsDouble()); return true;
    case ftDate: Put<int32_t>(buffer, DateTimeToTimeStamp(value.AsDate()).Date); return true;
    case ftTime: Put<int32_t>(buffer, DateTimeToTimeStamp(value.AsDate()).Time); return true;
    case ftDateTime: {
        const TTimeStamp stamp = DateTimeToTimeStamp(value.AsDate());
        Put<double>(buffer, double(stamp.Date) * MSecsPerDay + stamp.Time);
        return true;
    }
    default: throw EDatabaseError(QStringLiteral("Unsupported field type %1").arg(FieldTypeName(type)));
    }
}

Variant NativeToVariant(TFieldType type, int size, const void *buffer)
{
    switch (type) {
    case ftString: case ftFixedChar: case ftWideString: {
        const auto *p = static_cast<const char16_t *>(buffer);
        int n = 0;
        while (n < size && p[n] != 0)
            ++n;
        return Variant(QString::fromUtf16(p, n));
    }
    case ftSmallint: case ftWord: return Variant(Get<int16_t>(buffer));
    case ftBoolean: return Variant(Get<int16_t>(buffer) != 0);
    case ftInteger: case ftAutoInc: return Variant(int(Get<int32_t>(buffer)));
    case ftLargeint: return Variant(static_cast<long long>(Get<int64_t>(buffer)));
    case ftFloat: case ftCurrency: return Variant(Get<double>(buffer));
    case ftDate: return Variant::FromDate(TimeStampToDateTime(TTimeStamp{0, Get<int32_t>(buffer)}));
    case ftTime: return Variant::FromDate(TimeStampToDateTime(TTimeStamp{Get<int32_t>(buffer), DateDelta}));
    case ftDateTime: {
        const double ms = Get<double>(buffer);
        const double days = std::trunc(ms / MSecsPerDay);
        return Variant::FromDate(TimeStampToDateTime(TTimeStamp{int(ms - days * MSecsPerDay), int(days)}));
    }
    default: throw EDatabaseError(QStringLiteral("Unsupported field type %1").arg(FieldTypeName(type)));
    }
}

// ---- TSqlDataSet -------------------------------------------------------------

// Descendants close in their destructors (CloseForDestroy), which detaches.
TSqlDataSet::~TSqlDataSet() = default;

void TSqlDataSet::SetDatabase(TDatabase *database)
{
    CheckInactive();
    database_ = database;
}

QString TSqlDataSet::DatabaseName() const
{
    return database_ ? database_->DatabaseName() : QString();
}

// Buffers are owned by the framework, which frees each through
// FreeRecordBuffer.
TRecordBuffer TSqlDataSet::AllocRecordBuffer()
{
    auto *rec = new TSqlRecord;
    rec->Values.assign(size_t(FieldDefs().Count()), Variant::Null());
    rec->Calc.assign(size_t(CalcFieldsSize()), 0);
    return reinterpret_cast<TRecordBuffer>(rec);
}

void TSqlDataSet::FreeRecordBuffer(TRecordBuffer &buffer)
{
    delete Rec(buffer);
    buffer = nullptr;
}

void TSqlDataSet::InternalInitRecord(TRecordBuffer buffer)
{
    TSqlRecord *rec = Rec(buffer);
    rec->RowId = 0;
    rec->Values.assign(size_t(FieldDefs().Count()), Variant::Null());
}

void TSqlDataSet::GetBookmarkData(TRecordBuffer buffer, void *data) const
{
    Put<int64_t>(data, Rec(buffer)->RowId);
}

void TSqlDataSet::SetBookmarkData(TRecordBuffer buffer, const void *data)
{
    Rec(buffer)->RowId = Get<int64_t>(data);
}

TBookmarkFlag TSqlDataSet::GetBookmarkFlag(TRecordBuffer buffer) const
{
    return Rec(buffer)->Flag;
}

void TSqlDataSet::SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag)
{
    Rec(buffer)->Flag = flag;
}

uint8_t *TSqlDataSet::CalcFieldsArea(TRecordBuffer buffer) const
{
    TSqlRecord *rec = Rec(buffer);
    if (rec->Calc.size() < size_t(CalcFieldsSize()))
        rec->Calc.resize(size_t(CalcFieldsSize()), 0);
    return rec->Calc.empty() ? nullptr : rec->Calc.data();
}

TRecordBuffer TSqlDataSet::GetActiveRecordBuffer() const
{
    if (State() == dsSetKey)
        return reinterpret_cast<TRecordBuffer>(keyBuffer_);
    return TDataSet::GetActiveRecordBuffer();
}

// Computed values are kept as variants beside the area, so a lookup text is
// shared rather than copied into the area and out again for every record.
int TSqlDataSet::CalcIndex(const TField *field) const
{
    const size_t offset = size_t(field->Offset());
    return offset < calcIndex_.size() ? calcIndex_[offset] : -1;
}

// The variant of a computed field in record; nullptr when the area keeps it
// or the record has no area.
Variant *TSqlDataSet::CalcValue(TRecordBuffer record, const TField *field) const
{
    const int index = CalcIndex(field);
    if (index < 0 || !CalcFieldsArea(record))
        return nullptr;
    TSqlRecord *rec = Rec(record);
    if (rec->CalcValues.size() < calcCount_)
        rec->CalcValues.resize(calcCount_);
    return &rec->CalcValues[size_t(index)];
}

bool TSqlDataSet::ReadCalcSlot(TRecordBuffer record, const TField *field, void *buffer) const
{
    const Variant *value = CalcValue(record, field);
    if (!value)
        return TDataSet::ReadCalcSlot(record, field, buffer);
    if (CalcFieldsArea(record)[field->Offset()] == 0)
        return false;
    if (buffer)
        VariantToNative(*value, field->DataType(), field->Size(), buffer);
    return true;
}

void TSqlDataSet::WriteCalcSlot(TRecordBuffer record, const TField *field, const void *buffer)
{
    Variant *value = CalcValue(record, field);
    if (!value) {
        TDataSet::WriteCalcSlot(record, field, buffer);
        return;
    }
    CalcFieldsArea(record)[field->Offset()] = buffer ? 1 : 0;
    *value = buffer ? NativeToVariant(field->DataType(), field->Size(), buffer) : Variant::Null();
}

bool TSqlDataSet::StoreCalcText(TField *field, const QString &text)
{
    if (State() != dsCalcFields || !IsComputed(field))
        return false;
    const TRecordBuffer record = GetActiveRecordBuffer();
    Variant *value = record ? CalcValue(record, field) : nullptr;
    if (!value)
        return false;
    CalcFieldsArea(record)[field->Offset()] = 1;
    *value = Variant(text);
    return true;
}

bool TSqlDataSet::GetFieldData(TField *field, void *buffer) const
{
    if (IsComputed(field))
        return TDataSet::GetFieldData(field, buffer);
    const Variant *v = StoredFieldValue(field);
    if (!v || VarIsClear(*v))
        return false;
    if (buffer)
        VariantToNative(*v, field->DataType(), field->Size(), buffer);
    return true;
}

const Variant *TSqlDataSet::StoredFieldValue(const TField *field) const
{
    if (IsComputed(field)) {
        static const Variant null = Variant::Null();
        const TRecordBuffer record = GetActiveRecordBuffer();
        const Variant *value = record ? CalcValue(record, field) : nullptr;
        if (!value)
            return nullptr;
        return CalcFieldsArea(record)[field->Offset()] ? value : &null;
    }
    const TRecordBuffer active = GetActiveRecordBuffer();
    if (!active || field->FieldNo() < 1)
        return nullptr;
    const std::vector<Variant> &values = Rec(active)->Values;
    if (size_t(field->FieldNo()) > values.size())
        return nullptr;
    return &values[size_t(field->FieldNo() - 1)];
}

void TSqlDataSet::SetFieldData(TField *field, const void *buffer)
{
    SetFieldDataExact(field, buffer,
                      buffer && !IsComputed(field) ? NativeToVariant(field->DataType(), field->Size(), buffer)
                                                   : Variant::Null());
}

void TSqlDataSet::SetFieldDataExact(TField *field, const void *buffer, const Variant &value)
{
    if (IsComputed(field)) {
        TDataSet::SetFieldData(field, buffer);
        return;
    }
    if (State() != dsEdit && State() != dsInsert && State() != dsSetKey)
        DatabaseError(DBConsts::SNotEditing);
    const TRecordBuffer active = GetActiveRecordBuffer();
    if (!active || field->FieldNo() < 1)
        return;
    field->Validate(buffer);
    Variant v = buffer ? value : Variant::Null();
    std::vector<Variant> &values = Rec(active)->Values;
    if (size_t(field->FieldNo()) > values.size())
        values.resize(size_t(field->FieldNo()), Variant::Null());
    values[size_t(field->FieldNo() - 1)] = std::move(v);
    if (State() != dsSetKey)
        DataEvent(deFieldChange, reinterpret_cast<intptr_t>(field));
}

void TSqlDataSet::InitFieldDefsFrom(const std::vector<TColumnDef> &columns)
{
    FieldDefs().Clear();
    for (const TColumnDef &c : columns) {
        TFieldType type = FieldTypeOfKind(c.Kind);
        int size = c.Kind == TColumnKind::Alpha ? c.Size : 0;
        if (TField *persistent = FindField(c.Name); persistent && persistent->FieldKind() == fkData) {
            type = persistent->DataType();
            size = persistent->Size();
        }
        FieldDefs().Add(c.Name, type, size, c.Required);
    }
}

void TSqlDataSet::FinishOpen()
{
    if (DefaultFields())
        CreateFields();
    BindFields(true);
    calcIndex_.assign(size_t(CalcFieldsSize()), -1);
    calcCount_ = 0;
    for (int i = 0; i < FieldCount(); ++i) {
        const TField *field = Fields()[i];
        if (!IsComputed(field))
            continue;
        switch (field->DataType()) {
        case ftString: case ftFixedChar: case ftWideString: case ftSmallint: case ftWord: case ftBoolean:
        case ftInteger: case ftAutoInc: case ftLargeint: case ftFloat: case ftCurrency: case ftDate: case ftTime:
        case ftDateTime:
            calcIndex_[size_t(field->Offset())] = int(calcCount_++);
            break;
        default: break; // kept in the area
        }
    }
    SetBookmarkSize(int(sizeof(int64_t)));
    if (database_)
        database_->Attach(this, [this] { Close(); }, [this] { ReleaseStatements(); });
}

void TSqlDataSet::FinishClose()
{
    BindFields(false);
    calcIndex_.clear();
    calcCount_ = 0;
    if (DefaultFields())
        DestroyFields();
    if (database_)
        database_->Detach(this);
}

void TSqlDataSet::FillBuffer(TRecordBuffer buffer, int64_t rowId, const std::vector<Variant> &values)
{
    TSqlRecord *rec = Rec(buffer);
    rec->RowId = rowId;
    rec->Flag = bfCurrent;
    rec->Values = values;
    GetCalcFields(buffer);
}

} // namespace zorbel
