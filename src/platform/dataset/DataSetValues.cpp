// Variant-valued access: field values as variants, FieldValues, record
// insertion from value lists, lookup fields, and the generic Locate/Lookup
// that scan the records through the descendant's GetRecord.
#include "platform/dataset/DBConsts.h"
#include "platform/dataset/DataSet.h"
#include "platform/rtl/StrUtils.h"

namespace zorbel {

// ---- TField ----

Variant TField::AsVariant() const
{
    if (IsNull())
        return Variant::Null();
    switch (dataType_) {
    case ftSmallint: return Variant(int16_t(GetAsInteger()));
    case ftInteger: case ftWord: case ftAutoInc: return Variant(GetAsInteger());
    case ftLargeint: return Variant(static_cast<long long>(GetAsLargeInt()));
    case ftBoolean: return Variant(GetAsBoolean());
    case ftFloat: case ftCurrency: case ftBCD: return Variant(GetAsFloat());
    case ftDate: case ftTime: case ftDateTime: return Variant::FromDate(GetAsDateTime());
    default: return Variant(GetAsString());
    }
}

void TField::SetAsVariant(const Variant &value)
{
    if (VarIsClear(value)) {
        Clear();
        return;
    }
    switch (dataType_) {
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc:
        SetAsIntegerImpl(value.AsInteger());
        break;
    case ftLargeint: SetAsLargeIntImpl(value.AsInt64()); break;
    case ftBoolean: SetAsBooleanImpl(value.AsBoolean()); break;
    case ftFloat: case ftCurrency: case ftBCD: SetAsFloatImpl(value.AsDouble()); break;
    case ftDate: case ftTime: case ftDateTime:
        if (value.VarType() == varString)
            SetAsStringImpl(value.AsString());
        else
            SetAsDateTimeImpl(value.AsDate());
        break;
    default: SetAsStringImpl(value.AsString()); break;
    }
}

Variant TField::Value() const { return AsVariant(); }
void TField::SetValue(const Variant &value) { SetAsVariant(value); }

void TField::AssignValue(const TField &source) { SetAsVariant(source.AsVariant()); }

void TField::CalcLookupValue()
{
    if (!lookupDataSet_ || !lookupDataSet_->Active())
        return;
    const uint64_t generation = dataSet_->Fields().Generation();
    if (keyListGeneration_ != generation) {
        keyList_ = dataSet_->GetFieldList(keyFields_);
        keyListGeneration_ = generation;
    }
    Variant key;
    if (keyList_.size() == 1) {
        key = keyList_.front()->AsVariant();
    } else {
        std::vector<Variant> values;
        for (TField *field : keyList_)
            values.push_back(field->AsVariant());
        key = VarArrayOf(values);
    }
    // A record without a key has nothing to look up (a null key would
    // otherwise find a lookup record whose key is null).
    bool anyKey = !VarIsClear(key);
    if (key.IsArray()) {
        anyKey = false;
        for (int i = 0; i <= key.ArrayHighBound(); ++i)
            anyKey = anyKey || !VarIsClear(key[i]);
    }
    if (!anyKey)
        return;
    SetAsVariant(lookupDataSet_->Lookup(lookupKeyFields_, key, lookupResultField_));
}

// ---- TDataSet ----

Variant TDataSet::FieldValues(const QString &fieldNames) const
{
    const std::vector<TField *> fields = GetFieldList(fieldNames);
    if (fields.size() == 1)
        return fields[0]->AsVariant();
    std::vector<Variant> values;
    for (TField *field : fields)
        values.push_back(field->AsVariant());
    return VarArrayOf(values);
}

void TDataSet::SetFieldValues(const QString &fieldNames, const Variant &value)
{
    const std::vector<TField *> fields = GetFieldList(fieldNames);
    if (fields.size() == 1) {
        fields[0]->SetAsVariant(value);
        return;
    }
    for (size_t i = 0; i < fields.size(); ++i)
        fields[i]->SetAsVariant(value[int(i)]);
}

void TDataSet::AddRecord(const std::vector<Variant> &values, bool append)
{
    if (append)
        Append();
    else
        Insert();
    try {
        const int n = std::min(int(values.size()), fields_.Count());
        for (int i = 0; i < n; ++i)
            if (!values[size_t(i)].IsEmpty())
                fields_[i]->SetAsVariant(values[size_t(i)]);
        Post();
    } catch (...) {
        Cancel();
        throw;
    }
}

void TDataSet::InsertRecord(const std::vector<Variant> &values) { AddRecord(values, false); }
void TDataSet::AppendRecord(const std::vector<Variant> &values) { AddRecord(values, true); }

namespace {

// The key values for n fields: element i of an array, or the single value.
std::vector<Variant> KeyValueList(const Variant &keyValues, size_t n)
{
    std::vector<Variant> values;
    if (keyValues.IsArray()) {
        for (size_t i = 0; i < n; ++i)
            values.push_back(keyValues[int(i)]);
    } else {
        if (n > 1)
            DatabaseError(DBConsts::SMoreFieldsThanValues);
        values.push_back(keyValues);
    }
    return values;
}

bool FieldMatches(const TField *field, const Variant &key, TLocateOptions options)
{
    if (VarIsClear(key))
        return field->IsNull();
    if (field->IsNull())
        return false;
    const TFieldType type = field->DataType();
    if (type == ftString || type == ftFixedChar || type == ftMemo) {
        QString text = field->AsString();
        QString wanted = VarToStr(key);
        if (options.Contains(loCaseInsensitive)) {
            text = AnsiUpperCase(text);
            wanted = AnsiUpperCase(wanted);
        }
        if (options.Contains(loPartialKey))
            return text.startsWith(wanted);
        return text == wanted;
    }
    return VarCompareValue(field->AsVariant(), key) == TVariantRelationship::vrEqual;
}

} // namespace

bool TDataSet::LocateRecord(const QString &keyFields, const Variant &keyValues,
                            TLocateOptions options)
{
    CheckActive();
    const std::vector<TField *> fields = GetFieldList(keyFields);
    if (fields.empty())
        DatabaseError(DBConsts::SFieldNotFound.arg(keyFields));
    const std::vector<Variant> values = KeyValueList(keyValues, fields.size());
    CursorPosChanged();
    TRecordBuffer buffer = TempBuffer();
    const TDataSetState saved = SetTempState(dsFilter);
    TRecordBuffer savedFilter = filterBuffer_;
    filterBuffer_ = buffer;
    bool found = false;
    try {
        InternalFirst();
        while (!found && GetRecord(buffer, gmNext, true) == grOK) {
            found = true;
            for (size_t i = 0; i < fields.size() && found; ++i)
                found = FieldMatches(fields[i], values[i], options);
        }
    } catch (...) {
        filterBuffer_ = savedFilter;
        RestoreState(saved);
        CursorPosChanged();
        throw;
    }
    filterBuffer_ = savedFilter;
    RestoreState(saved);
    return found;
}

bool TDataSet::Locate(const QString &keyFields, const Variant &keyValues, TLocateOptions options)
{
    DoBeforeScroll();
    CheckBrowseMode();
    bool found;
    try {
        found = LocateRecord(keyFields, keyValues, options);
    } catch (...) {
        CursorPosChanged();
        UpdateCursorPos();
        throw;
    }
    if (!found) {
        CursorPosChanged();
        UpdateCursorPos();
        return false;
    }
    Resync({rmExact, rmCenter});
    DoAfterScroll();
    return true;
}

Variant TDataSet::Lookup(const QString &keyFields, const Variant &keyValues,
                         const QString &resultFields)
{
    Variant result = Variant::Null();
    GetFieldList(resultFields); // unknown result fields fail before the search
    bool found;
    try {
        found = LocateRecord(keyFields, keyValues, {});
        if (found) {
            const TDataSetState saved = SetTempState(dsFilter);
            TRecordBuffer savedFilter = filterBuffer_;
            filterBuffer_ = TempBuffer();
            try {
                result = FieldValues(resultFields);
            } catch (...) {
                filterBuffer_ = savedFilter;
                RestoreState(saved);
                throw;
            }
            filterBuffer_ = savedFilter;
            RestoreState(saved);
        }
    } catch (...) {
        CursorPosChanged();
        UpdateCursorPos();
        throw;
    }
    CursorPosChanged();
    UpdateCursorPos();
    return result;
}

} // namespace zorbel
