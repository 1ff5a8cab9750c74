// Field and index definitions: what a dataset's records hold (name, type,
// size, required, field number) and which indexes order them. A dataset makes
// its default fields from its field definitions when it opens.
#pragma once

#include "platform/dataset/DBTypes.h"

#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

namespace zorbel {

class TDataSet;
class TField;
class TFieldDefs;

// One column of the dataset's records.
class TFieldDef {
public:
    TFieldDef(TFieldDefs *owner, QString name, TFieldType dataType, int size, bool required,
              int fieldNo);
    TFieldDef(const TFieldDef &) = delete;
    TFieldDef &operator=(const TFieldDef &) = delete;

    const QString &Name() const { return name_; }
    void SetName(const QString &name) { name_ = name; }
    // The name as shown in messages (the name itself).
    const QString &DisplayName() const { return name_; }
    TFieldType DataType() const { return dataType_; }
    void SetDataType(TFieldType type) { dataType_ = type; }
    // Characters of a string field, bytes of a Bytes field; 0 for fixed-size types.
    int Size() const { return size_; }
    void SetSize(int size) { size_ = size; }
    bool Required() const { return attributes_.Contains(faRequired); }
    void SetRequired(bool required);
    TFieldAttributes Attributes() const { return attributes_; }
    void SetAttributes(TFieldAttributes attributes) { attributes_ = attributes; }
    // 1-based number of the column in the record.
    int FieldNo() const { return fieldNo_; }
    void SetFieldNo(int fieldNo) { fieldNo_ = fieldNo; }
    int Precision() const { return precision_; }
    void SetPrecision(int precision) { precision_ = precision; }
    // Position in the owning list.
    int Index() const;
    // Whether the definition describes a field computed but stored in the record.
    bool InternalCalcField() const { return internalCalc_; }
    void SetInternalCalcField(bool value) { internalCalc_ = value; }

    // Creates a field of the class that fits the type, owned by dataset.
    // Requires: dataset != nullptr.
    TField *CreateField(TDataSet *dataset) const;

private:
    TFieldDefs *owner_;
    QString name_;
    TFieldType dataType_;
    int size_;
    TFieldAttributes attributes_;
    int fieldNo_;
    int precision_ = 0;
    bool internalCalc_ = false;
};

// The ordered list of field definitions of one dataset.
class TFieldDefs {
public:
    // updater refreshes the definitions from their source (the dataset's
    // InitFieldDefs); none for definitions kept by hand.
    explicit TFieldDefs(std::function<void()> updater = nullptr) : updater_(std::move(updater)) {}
    TFieldDefs(const TFieldDefs &) = delete;
    TFieldDefs &operator=(const TFieldDefs &) = delete;

    // Adds a definition with the next field number. Raises EDatabaseError
    // "Duplicate field name" when the name exists (case-insensitive).
    TFieldDef *Add(const QString &name, TFieldType dataType, int size = 0, bool required = false);
    TFieldDef *AddFieldDef();
    int Count() const { return int(items_.size()); }
    TFieldDef *Items(int index) const { return items_.at(size_t(index)).get(); }
    TFieldDef *operator[](int index) const { return Items(index); }
    // Position of the definition named name (case-insensitive), or -1.
    int IndexOf(const QString &name) const;
    // The definition named name; raises "Field '%s' not found" when missing.
    TFieldDef *Find(const QString &name) const;
    void Clear() { items_.clear(); }
    void Delete(int index);
    // Re-reads the definitions from their source.
    void Update()
    {
        if (updater_)
            updater_();
    }
    void Assign(const TFieldDefs &source);

private:
    std::function<void()> updater_;
    std::vector<std::unique_ptr<TFieldDef>> items_;
};

// One index: a name, the fields it orders on ("A;B"), its options, and the
// fields among them that sort descending or ignore case.
class TIndexDef {
public:
    TIndexDef(QString name, QString fields, TIndexOptions options)
        : name_(std::move(name)), fields_(std::move(fields)), options_(options)
    {
    }

    const QString &Name() const { return name_; }
    void SetName(const QString &name) { name_ = name; }
    const QString &Fields() const { return fields_; }
    void SetFields(const QString &fields) { fields_ = fields; }
    TIndexOptions Options() const { return options_; }
    void SetOptions(TIndexOptions options) { options_ = options; }
    const QString &DescFields() const { return descFields_; }
    void SetDescFields(const QString &fields) { descFields_ = fields; }
    const QString &CaseInsFields() const { return caseInsFields_; }
    void SetCaseInsFields(const QString &fields) { caseInsFields_ = fields; }
    const QString &Expression() const { return expression_; }
    void SetExpression(const QString &expression) { expression_ = expression; }

private:
    QString name_;
    QString fields_;
    TIndexOptions options_;
    QString descFields_;
    QString caseInsFields_;
    QString expression_;
};

class TIndexDefs {
public:
    // updater refreshes the definitions from their source (a table's index
    // list); none for definitions kept by hand.
    explicit TIndexDefs(std::function<void()> updater = nullptr) : updater_(std::move(updater)) {}
    TIndexDefs(const TIndexDefs &) = delete;
    TIndexDefs &operator=(const TIndexDefs &) = delete;

    // Adds an index definition; raises "Duplicate index name" for a name that
    // exists (case-insensitive; unnamed indexes never clash).
    TIndexDef *Add(const QString &name, const QString &fields, TIndexOptions options = {});
    int Count() const { return int(items_.size()); }
    TIndexDef *Items(int index) const { return items_.at(size_t(index)).get(); }
    TIndexDef *operator[](int index) const { return Items(index); }
    int IndexOf(const QString &name) const;
    // The definition named name; raises "Index '%s' not found" when missing.
    TIndexDef *Find(const QString &name) const;
    // The first definition whose field list is fields (case-insensitive), or
    // nullptr. With caseInsensitive only indexes with ixCaseInsensitive count,
    // without it only those without.
    TIndexDef *GetIndexForFields(const QString &fields, bool caseInsensitive) const;
    // As GetIndexForFields, raising "No index for fields '%s'" when none fits.
    TIndexDef *FindIndexForFields(const QString &fields) const;
    void Clear() { items_.clear(); }
    void Delete(int index);
    void Update()
    {
        if (updater_)
            updater_();
    }
    void Assign(const TIndexDefs &source);

private:
    std::function<void()> updater_;
    std::vector<std::unique_ptr<TIndexDef>> items_;
};

// Splits a field-list text "A;B;C" into its names (blanks around names trimmed,
// empty names dropped).
QStringList SplitFieldNames(const QString &fields);

} // namespace zorbel
