// The passes that point TDataSet's fields at another buffer for a while:
// the filter pass over a candidate record and the calculated-field pass,
// with the calculated-field area's layout (a presence byte, then the value);
// and the field data of the buffer the current state reads.
#include "platform/dataset/DataSet.h"
#include "platform/dataset/DataSetPrivate.h"

#include "platform/dataset/DBConsts.h"
#include "platform/dataset/DataSource.h"
#include "platform/rtl/Exceptions.h"

#include <cstring>

namespace zorbel {

// ---- Filters ----

void TDataSet::SetFiltered(bool value) { filtered_ = value; }
void TDataSet::SetFilterText(const QString &text) { filterText_ = text; }
void TDataSet::SetFilterOptions(TFilterOptions options) { filterOptions_ = options; }
void TDataSet::SetOnFilterRecord(TFilterRecordEvent handler) { onFilterRecord_ = std::move(handler); }

bool TDataSet::FilterRecordAccepted(TRecordBuffer buffer)
{
    if (!onFilterRecord_)
        return true;
    const TDataSetState saved = SetTempState(dsFilter);
    TRecordBuffer savedBuffer = filterBuffer_;
    filterBuffer_ = buffer;
    bool accept = true;
    try {
        onFilterRecord_(this, accept);
    } catch (...) {
        filterBuffer_ = savedBuffer;
        RestoreState(saved);
        throw;
    }
    filterBuffer_ = savedBuffer;
    RestoreState(saved);
    return accept;
}

// ---- Calculated fields ----

uint8_t *TDataSet::CalcFieldsArea(TRecordBuffer) const { return nullptr; }

void TDataSet::ClearCalcFields(TRecordBuffer buffer)
{
    if (uint8_t *area = buffer ? CalcFieldsArea(buffer) : nullptr)
        std::memset(area, 0, size_t(calcFieldsSize_));
}

void TDataSet::GetCalcFields(TRecordBuffer buffer)
{
    if (calcFieldsSize_ <= 0 && !internalCalcFields_)
        return;
    const TDataSetState saved = state_;
    state_ = dsCalcFields;
    try {
        CalculateFields(buffer);
    } catch (...) {
        state_ = saved;
        throw;
    }
    state_ = saved;
}

void TDataSet::CalculateFields(TRecordBuffer buffer)
{
    TRecordBuffer savedCalc = calcBuffer_;
    calcBuffer_ = buffer;
    try {
        if (state_ != dsInternalCalc) {
            ClearCalcFields(buffer);
            for (int i = 0; i < fields_.Count(); ++i)
                if (fields_[i]->FieldKind() == fkLookup)
                    fields_[i]->CalcLookupValue();
        }
        DoOnCalcFields();
    } catch (...) {
        calcBuffer_ = savedCalc;
        throw;
    }
    calcBuffer_ = savedCalc;
}

bool TDataSet::ReadCalcField(const uint8_t *area, const TField *field, void *buffer)
{
    const uint8_t *slot = area + field->Offset();
    if (slot[0] == 0)
        return false;
    if (buffer)
        std::memcpy(buffer, slot + 1, size_t(field->DataSize()));
    return true;
}

void TDataSet::WriteCalcField(uint8_t *area, const TField *field, const void *buffer)
{
    uint8_t *slot = area + field->Offset();
    slot[0] = buffer ? 1 : 0;
    if (buffer)
        std::memcpy(slot + 1, buffer, size_t(field->DataSize()));
    else
        std::memset(slot + 1, 0, size_t(field->DataSize()));
}

TRecordBuffer TDataSet::GetActiveRecordBuffer() const
{
    switch (state_) {
    case dsBrowse: return IsEmpty() ? nullptr : ActiveBuffer();
    case dsEdit: case dsInsert: case dsNewValue: case dsCurValue: case dsOldValue:
    case dsBlockRead:
        return ActiveBuffer();
    case dsCalcFields: case dsInternalCalc: return calcBuffer_;
    case dsFilter: return filterBuffer_;
    default: return nullptr;
    }
}

bool TDataSet::ReadCalcSlot(TRecordBuffer record, const TField *field, void *buffer) const
{
    const uint8_t *area = CalcFieldsArea(record);
    return area && ReadCalcField(area, field, buffer);
}

void TDataSet::WriteCalcSlot(TRecordBuffer record, const TField *field, const void *buffer)
{
    WriteCalcField(CalcFieldsArea(record), field, buffer);
}

bool TDataSet::GetFieldData(TField *field, void *buffer) const
{
    if (!IsComputedKind(field->FieldKind()))
        return false;
    TRecordBuffer record = GetActiveRecordBuffer();
    return record && ReadCalcSlot(record, field, buffer);
}

void TDataSet::SetFieldData(TField *field, const void *buffer)
{
    if (!IsWriteMode(state_))
        DatabaseError(DBConsts::SNotEditing);
    if (!IsComputedKind(field->FieldKind()))
        DatabaseError(DBConsts::SFieldReadOnly.arg(field->DisplayName()));
    TRecordBuffer record = GetActiveRecordBuffer();
    uint8_t *area = record ? CalcFieldsArea(record) : nullptr;
    if (!area)
        return;
    field->Validate(buffer);
    WriteCalcSlot(record, field, buffer);
    if (state_ != dsCalcFields && state_ != dsFilter && state_ != dsNewValue)
        DataEvent(deFieldChange, reinterpret_cast<intptr_t>(field));
}

bool TDataSet::GetBlobData(TField *, QByteArray &) const { return false; }

void TDataSet::SetBlobData(TField *field, const QByteArray *)
{
    DatabaseError(DBConsts::SFieldReadOnly.arg(field->DisplayName()));
}

void TDataSet::InternalHandleException() {}

} // namespace zorbel
