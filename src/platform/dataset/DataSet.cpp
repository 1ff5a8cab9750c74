// TDataSet: construction, fields and their binding to the definitions,
// opening and closing, states, and the data events sent to the sources.
// Buffers and navigation are in DataSetBuffers.cpp, editing in
// DataSetEdit.cpp, the filter and calculated-field passes in DataSetCalc.cpp.
// See DataSet.h for the ring's layout.
#include "platform/dataset/DataSet.h"
#include "platform/dataset/DataSetPrivate.h"

#include "platform/dataset/DBConsts.h"
#include "platform/dataset/DataSource.h"
#include "platform/rtl/Exceptions.h"

namespace zorbel {

namespace {

// Field types a data field may bind to a definition of (a string field
// serves a fixed-char column and so on: one value kind, one family).
int TypeFamily(TFieldType type)
{
    switch (type) {
    case ftString: case ftFixedChar: case ftWideString: return 1;
    case ftInteger: case ftAutoInc: return 2;
    case ftFloat: case ftCurrency: return 3;
    case ftBlob: case ftGraphic: case ftParadoxOle: case ftDBaseOle: case ftTypedBinary:
    case ftOraBlob: return 4;
    case ftMemo: case ftFmtMemo: case ftOraClob: return 5;
    default: return 100 + static_cast<int>(type);
    }
}

} // namespace

void DatabaseError(const QString &message) { throw EDatabaseError(message); }

TDataSet::TDataSet() : fieldDefs_([this] { InitFieldDefs(); }), fields_(this) {}

void TDataSet::InitFieldDefs()
{
    if (!Active())
        InternalInitFieldDefs();
}

TDataSet::~TDataSet()
{
    // Sources forget this dataset, so their links go inactive.
    const std::vector<TDataSource *> sources = dataSources_;
    for (TDataSource *source : sources)
        source->SetDataSet(nullptr);
}

void TDataSet::CloseForDestroy()
{
    destroying_ = true;
    SetActive(false);
}

// ---- Fields ----

void TDataSet::AddFieldObject(std::unique_ptr<TField> field, const QString &name, TFieldKind kind)
{
    CheckInactive();
    if (FindField(name))
        DatabaseError(DBConsts::SDuplicateFieldName.arg(name));
    field->fieldName_ = name;
    field->fieldKind_ = kind;
    fields_.Add(std::move(field));
}

void TDataSet::RemoveField(TField *field)
{
    CheckInactive();
    fields_.Remove(field);
}

QStringList TDataSet::GetFieldNames() const
{
    QStringList names;
    for (int i = 0; i < fields_.Count(); ++i)
        names.append(fields_[i]->FieldName());
    return names;
}

std::vector<TField *> TDataSet::GetFieldList(const QString &fieldNames) const
{
    std::vector<TField *> list;
    // One plain name (what lookups and calculated fields ask per record)
    // needs no splitting.
    if (!fieldNames.isEmpty() && !fieldNames.contains(u';') && !fieldNames.front().isSpace() &&
        !fieldNames.back().isSpace()) {
        list.push_back(FieldByName(fieldNames));
        return list;
    }
    for (const QString &name : SplitFieldNames(fieldNames))
        list.push_back(FieldByName(name));
    return list;
}

void TDataSet::CreateFields()
{
    for (int i = 0; i < fieldDefs_.Count(); ++i)
        fieldDefs_[i]->CreateField(this);
}

void TDataSet::DestroyFields() { fields_.Clear(); }

void TDataSet::BindFields(bool binding)
{
    calcFieldsSize_ = 0;
    internalCalcFields_ = false;
    for (int i = 0; i < fields_.Count(); ++i) {
        TField *field = fields_[i];
        if (!binding) {
            if (!IsComputedKind(field->FieldKind()))
                field->fieldNo_ = 0;
            continue;
        }
        if (IsComputedKind(field->FieldKind())) {
            field->fieldNo_ = -1;
            field->offset_ = calcFieldsSize_;
            calcFieldsSize_ += field->DataSize() + 1;
            if (field->FieldKind() == fkLookup &&
                (!field->LookupDataSet() || field->KeyFields().isEmpty() ||
                 field->LookupKeyFields().isEmpty() || field->LookupResultField().isEmpty()))
                DatabaseError(DBConsts::SLookupInfoError.arg(field->DisplayName()));
            continue;
        }
        const int defIndex = fieldDefs_.IndexOf(field->FieldName());
        if (defIndex < 0)
            DatabaseError(DBConsts::SFieldNotFound.arg(field->DisplayName()));
        const TFieldDef *def = fieldDefs_[defIndex];
        if (TypeFamily(def->DataType()) != TypeFamily(field->DataType()))
            DatabaseError(DBConsts::SFieldTypeMismatch.arg(field->DisplayName(),
                                                           FieldTypeName(field->DataType()),
                                                           FieldTypeName(def->DataType())));
        field->fieldNo_ = def->FieldNo();
        if (def->InternalCalcField())
            internalCalcFields_ = true;
    }
}

// ---- Opening and closing ----

void TDataSet::SetActive(bool value)
{
    if (Active() == value)
        return;
    if (value) {
        DoBeforeOpen();
        try {
            OpenCursor();
        } catch (...) {
            // A failed open leaves no cursor and no default fields behind, so
            // the next open starts afresh.
            state_ = dsInactive;
            try {
                CloseCursor();
            } catch (const Exception &) {
                // The open's own failure is the one passed on.
            }
            if (defaultFields_)
                DestroyFields();
            throw;
        }
        SetState(dsBrowse);
        DoAfterOpen();
        if (!IsEmpty())
            DoAfterScroll();
    } else {
        if (!destroying_)
            DoBeforeClose();
        SetState(dsInactive);
        CloseCursor();
        if (!destroying_)
            DoAfterClose();
    }
}

void TDataSet::CloseAfterFailure()
{
    if (!Active())
        return;
    SetState(dsInactive);
    CloseCursor();
}

void TDataSet::OpenCursor()
{
    defaultFields_ = fields_.Count() == 0;
    InternalOpen();
    internalOpenComplete_ = true;
    UpdateBufferCount();
    bof_ = true;
}

void TDataSet::CloseCursor()
{
    if (blockReadSize_ != 0)
        SetBlockReadSize(0);
    SetBufListSize(0);
    bufferCount_ = 0;
    ClearBuffers();
    if (internalOpenComplete_ || IsCursorOpen())
        InternalClose();
    internalOpenComplete_ = false;
    calcBuffer_ = nullptr;
    filterBuffer_ = nullptr;
}

void TDataSet::CheckActive() const
{
    if (state_ == dsInactive)
        DatabaseError(DBConsts::SDataSetClosed);
}

void TDataSet::CheckInactive() const
{
    if (state_ != dsInactive)
        DatabaseError(DBConsts::SDataSetOpen);
}

void TDataSet::SetState(TDataSetState value)
{
    if (state_ == value)
        return;
    state_ = value;
    modified_ = false;
    DataEvent(deUpdateState);
}

TDataSetState TDataSet::SetTempState(TDataSetState value)
{
    const TDataSetState old = state_;
    state_ = value;
    ++disableCount_;
    return old;
}

void TDataSet::RestoreState(TDataSetState value)
{
    state_ = value;
    --disableCount_;
}

// ---- Controls and data events ----

void TDataSet::DisableControls()
{
    if (disableCount_ == 0) {
        disableState_ = state_;
        enableEvent_ = deDataSetChange;
    }
    ++disableCount_;
}

void TDataSet::EnableControls()
{
    if (disableCount_ == 0)
        return;
    if (--disableCount_ != 0)
        return;
    if (disableState_ != state_)
        DataEvent(deUpdateState);
    if (disableState_ != dsInactive && state_ != dsInactive)
        DataEvent(enableEvent_);
}

void TDataSet::DataEvent(TDataEvent event, intptr_t info)
{
    bool notify = !(ControlsDisabled() || state_ == dsBlockRead);
    switch (event) {
    case deFieldChange: {
        auto *field = reinterpret_cast<TField *>(info);
        if (field->FieldKind() == fkData || field->FieldKind() == fkInternalCalc)
            modified_ = true;
        if (state_ != dsSetKey) {
            if (calcFieldsSize_ != 0 && autoCalcFields_ && field->FieldKind() == fkData)
                GetCalcFields(ActiveBuffer());
            field->Change();
        }
        break;
    }
    case deLayoutChange:
        if (ControlsDisabled())
            enableEvent_ = deLayoutChange;
        break;
    case deUpdateState:
        if (ControlsDisabled()) {
            event = deDisabledStateChange;
            info = state_ != dsInactive ? 1 : 0;
            notify = true;
            if (info == 0)
                disableState_ = dsInactive;
        }
        break;
    default:
        break;
    }
    if (!notify)
        return;
    const std::vector<TDataSource *> sources = dataSources_;
    for (TDataSource *source : sources)
        source->DataEvent(event, info);
}

void TDataSet::RegisterDataSource(TDataSource *source)
{
    dataSources_.push_back(source);
    UpdateBufferCount();
}

void TDataSet::UnregisterDataSource(TDataSource *source)
{
    dataSources_.erase(std::remove(dataSources_.begin(), dataSources_.end(), source),
                       dataSources_.end());
}

// ---- Event steps ----

void TDataSet::DoAfterOpen() { CallEvent(AfterOpen); }
void TDataSet::DoBeforeOpen() { CallEvent(BeforeOpen); }
void TDataSet::DoAfterClose() { CallEvent(AfterClose); }
void TDataSet::DoBeforeClose() { CallEvent(BeforeClose); }
void TDataSet::DoBeforeInsert() { CallEvent(BeforeInsert); }
void TDataSet::DoAfterInsert() { CallEvent(AfterInsert); }
void TDataSet::DoBeforeEdit() { CallEvent(BeforeEdit); }
void TDataSet::DoAfterEdit() { CallEvent(AfterEdit); }
void TDataSet::DoBeforePost() { CallEvent(BeforePost); }
void TDataSet::DoAfterPost() { CallEvent(AfterPost); }
void TDataSet::DoBeforeCancel() { CallEvent(BeforeCancel); }
void TDataSet::DoAfterCancel() { CallEvent(AfterCancel); }
void TDataSet::DoBeforeDelete() { CallEvent(BeforeDelete); }
void TDataSet::DoAfterDelete() { CallEvent(AfterDelete); }
void TDataSet::DoBeforeScroll() { CallEvent(BeforeScroll); }
void TDataSet::DoAfterScroll() { CallEvent(AfterScroll); }
void TDataSet::DoBeforeRefresh() { CallEvent(BeforeRefresh); }
void TDataSet::DoAfterRefresh() { CallEvent(AfterRefresh); }
void TDataSet::DoOnNewRecord() { CallEvent(OnNewRecord); }
void TDataSet::DoOnCalcFields() { CallEvent(OnCalcFields); }

} // namespace zorbel
