// Field types, field definitions and index definitions.
#include "platform/dataset/FieldDefs.h"

#include "platform/dataset/DBConsts.h"
#include "platform/dataset/DataSet.h"
#include "platform/rtl/Exceptions.h"

namespace zorbel {

namespace {

// Type names as messages print them, indexed by ordinal.
constexpr const char *kFieldTypeNames[] = {
    "Unknown", "String", "SmallInt", "Integer", "Word", "Boolean", "Float", "Currency", "BCD",
    "Date", "Time", "DateTime", "Bytes", "VarBytes", "AutoInc", "Blob", "Memo", "Graphic",
    "FmtMemo", "ParadoxOle", "dBaseOle", "TypedBinary", "Cursor", "FixedChar", "WideString",
    "LargeInt", "ADT", "Array", "Reference", "DataSet", "OraBlob", "OraClob", "Variant",
    "Interface", "IDispatch", "Guid"};

} // namespace

QString FieldTypeName(TFieldType type)
{
    const int i = static_cast<int>(type);
    if (i < 0 || i >= int(std::size(kFieldTypeNames)))
        return QStringLiteral("Unknown");
    return QString::fromLatin1(kFieldTypeNames[i]);
}

bool IsBlobType(TFieldType type)
{
    switch (type) {
    case ftBlob: case ftMemo: case ftGraphic: case ftFmtMemo: case ftParadoxOle:
    case ftDBaseOle: case ftTypedBinary: case ftOraBlob: case ftOraClob:
        return true;
    default:
        return false;
    }
}

TFieldEntry FieldEntryOf(TFieldType type)
{
    switch (type) {
    case ftDate: return TFieldEntry::fePicked;
    case ftDateTime: return TFieldEntry::feStamped;
    default: return TFieldEntry::feTyped;
    }
}

int FieldDataSize(TFieldType type, int size)
{
    switch (type) {
    case ftString: case ftFixedChar:
        return (size + 1) * 2;
    case ftSmallint: case ftWord: case ftBoolean:
        return 2;
    case ftInteger: case ftAutoInc:
        return 4;
    case ftFloat: case ftCurrency: case ftDate: case ftTime: case ftDateTime: case ftLargeint:
        return 8;
    case ftBCD:
        return 34;
    case ftBytes:
        return size;
    case ftVarBytes:
        return size + 2;
    default:
        return 0;
    }
}

QStringList SplitFieldNames(const QString &fields)
{
    QStringList result;
    for (const QString &part : fields.split(u';')) {
        const QString name = part.trimmed();
        if (!name.isEmpty())
            result.append(name);
    }
    return result;
}

// ---- TFieldDef ----

TFieldDef::TFieldDef(TFieldDefs *owner, QString name, TFieldType dataType, int size,
                     bool required, int fieldNo)
    : owner_(owner), name_(std::move(name)), dataType_(dataType), size_(size), fieldNo_(fieldNo)
{
    SetRequired(required);
}

void TFieldDef::SetRequired(bool required)
{
    if (required)
        attributes_.Include(faRequired);
    else
        attributes_.Exclude(faRequired);
}

int TFieldDef::Index() const
{
    for (int i = 0; i < owner_->Count(); ++i)
        if (owner_->Items(i) == this)
            return i;
    return -1;
}

TField *TFieldDef::CreateField(TDataSet *dataset) const
{
    std::unique_ptr<TField> field = CreateDefaultField(dataType_, size_);
    if (!field)
        DatabaseError(QStringLiteral("Field '%1' is of an unknown type").arg(name_));
    field->SetRequired(Required());
    TField *result = field.get();
    dataset->AddFieldObject(std::move(field), name_, internalCalc_ ? fkInternalCalc : fkData);
    return result;
}

// ---- TFieldDefs ----

TFieldDef *TFieldDefs::Add(const QString &name, TFieldType dataType, int size, bool required)
{
    if (!name.isEmpty() && IndexOf(name) >= 0)
        DatabaseError(DBConsts::SDuplicateFieldName.arg(name));
    items_.push_back(std::make_unique<TFieldDef>(this, name, dataType, size, required, Count() + 1));
    return items_.back().get();
}

TFieldDef *TFieldDefs::AddFieldDef()
{
    items_.push_back(std::make_unique<TFieldDef>(this, QString(), ftUnknown, 0, false, Count() + 1));
    return items_.back().get();
}

int TFieldDefs::IndexOf(const QString &name) const
{
    for (int i = 0; i < Count(); ++i)
        if (items_[size_t(i)]->Name().compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

TFieldDef *TFieldDefs::Find(const QString &name) const
{
    const int i = IndexOf(name);
    if (i < 0)
        DatabaseError(DBConsts::SFieldNotFound.arg(name));
    return Items(i);
}

void TFieldDefs::Delete(int index)
{
    items_.erase(items_.begin() + index);
    for (int i = index; i < Count(); ++i)
        items_[size_t(i)]->SetFieldNo(i + 1);
}

void TFieldDefs::Assign(const TFieldDefs &source)
{
    if (&source == this)
        return;
    Clear();
    for (const auto &def : source.items_) {
        TFieldDef *copy = Add(def->Name(), def->DataType(), def->Size(), def->Required());
        copy->SetAttributes(def->Attributes());
        copy->SetPrecision(def->Precision());
        copy->SetInternalCalcField(def->InternalCalcField());
    }
}

// ---- TIndexDefs ----

TIndexDef *TIndexDefs::Add(const QString &name, const QString &fields, TIndexOptions options)
{
    if (!name.isEmpty() && IndexOf(name) >= 0)
        DatabaseError(DBConsts::SDuplicateIndexName.arg(name));
    items_.push_back(std::make_unique<TIndexDef>(name, fields, options));
    return items_.back().get();
}

int TIndexDefs::IndexOf(const QString &name) const
{
    for (int i = 0; i < Count(); ++i)
        if (items_[size_t(i)]->Name().compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

TIndexDef *TIndexDefs::Find(const QString &name) const
{
    const int i = IndexOf(name);
    if (i < 0)
        DatabaseError(DBConsts::SIndexNotFound.arg(name));
    return Items(i);
}

TIndexDef *TIndexDefs::GetIndexForFields(const QString &fields, bool caseInsensitive) const
{
    const QStringList wanted = SplitFieldNames(fields);
    for (const auto &def : items_) {
        if (def->Options().Contains(ixExpression))
            continue;
        if (def->Options().Contains(ixCaseInsensitive) != caseInsensitive)
            continue;
        const QStringList have = SplitFieldNames(def->Fields());
        if (have.size() != wanted.size())
            continue;
        bool same = true;
        for (int i = 0; i < have.size() && same; ++i)
            same = have[i].compare(wanted[i], Qt::CaseInsensitive) == 0;
        if (same)
            return def.get();
    }
    return nullptr;
}

TIndexDef *TIndexDefs::FindIndexForFields(const QString &fields) const
{
    TIndexDef *def = GetIndexForFields(fields, false);
    if (!def)
        def = GetIndexForFields(fields, true);
    if (!def)
        DatabaseError(QStringLiteral("No index for fields '%1'").arg(fields));
    return def;
}

void TIndexDefs::Delete(int index) { items_.erase(items_.begin() + index); }

void TIndexDefs::Assign(const TIndexDefs &source)
{
    if (&source == this)
        return;
    Clear();
    for (const auto &def : source.items_) {
        TIndexDef *copy = Add(def->Name(), def->Fields(), def->Options());
        copy->SetDescFields(def->DescFields());
        copy->SetCaseInsFields(def->CaseInsFields());
        copy->SetExpression(def->Expression());
    }
}

} // namespace zorbel
