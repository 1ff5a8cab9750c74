// Field classes: the typed view of one column of a dataset's active record.
//
// A field reads and writes its value as a native buffer (FieldDataSize in
// DBTypes.h gives the layouts) through its dataset's GetFieldData and
// SetFieldData; the typed accessors (AsString, AsInteger, ...) convert between
// that buffer and the caller's type. Null rules, as the program relies on
// them: a null reads as 0 from a number accessor and as '' from AsString;
// writing '' to a string field makes it null; a string longer than the field
// is cut to Size characters.
//
// Data fields take their FieldNo from the field definitions; calculated and
// lookup fields have FieldNo -1 and a slot in the calculated-field area at
// Offset (a null byte, then the native value), filled by OnCalcFields or by
// the lookup.
#pragma once

#include "platform/dataset/DBTypes.h"
#include "platform/rtl/StrUtils.h"
#include "platform/rtl/Variant.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

namespace zorbel {

class TDataSet;

class TField {
public:
    using TFieldNotifyEvent = std::function<void(TField *sender)>;
    using TFieldGetTextEvent = std::function<void(TField *sender, QString &text, bool displayText)>;
    using TFieldSetTextEvent = std::function<void(TField *sender, const QString &text)>;

    virtual ~TField();
    TField(const TField &) = delete;
    TField &operator=(const TField &) = delete;

    // Identity and layout.
    TDataSet *DataSet() const { return dataSet_; }
    const QString &FieldName() const { return fieldName_; }
    void SetFieldName(const QString &name);
    // 1-based column number for data fields, -1 for calculated and lookup fields.
    int FieldNo() const { return fieldNo_; }
    TFieldKind FieldKind() const { return fieldKind_; }
    void SetFieldKind(TFieldKind kind);
    TFieldType DataType() const { return dataType_; }
    // Characters of a string field; 0 for fixed-size types.
    int Size() const { return size_; }
    void SetSize(int size);
    // Bytes of the native value buffer.
    int DataSize() const { return FieldDataSize(dataType_, size_); }
    // Offset of the field's slot in the calculated-field area.
    int Offset() const { return offset_; }
    // Position in the dataset's field list; SetIndex moves the field there.
    int Index() const;
    void SetIndex(int index);
    bool Calculated() const { return fieldKind_ == fkCalculated; }
    bool Lookup() const { return fieldKind_ == fkLookup; }
    bool IsBlob() const { return IsBlobType(dataType_); }

    // Presentation.
    QString DisplayLabel() const { return displayLabel_.isEmpty() ? fieldName_ : displayLabel_; }
    void SetDisplayLabel(const QString &label) { displayLabel_ = label; PropertyChanged(true); }
    // The label, used in messages.
    QString DisplayName() const { return DisplayLabel(); }
    int DisplayWidth() const { return displayWidth_ >= 0 ? displayWidth_ : DefaultDisplayWidth(); }
    void SetDisplayWidth(int width) { displayWidth_ = width; PropertyChanged(true); }
    const QString &DisplayFormat() const { return displayFormat_; }
    void SetDisplayFormat(const QString &format) { displayFormat_ = format; PropertyChanged(false); }
    const QString &EditFormat() const { return editFormat_; }
    void SetEditFormat(const QString &format) { editFormat_ = format; PropertyChanged(false); }
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment alignment) { alignment_ = alignment; PropertyChanged(false); }
    bool Visible() const { return visible_; }
    void SetVisible(bool visible) { visible_ = visible; PropertyChanged(true); }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly) { readOnly_ = readOnly; PropertyChanged(false); }
    bool Required() const { return required_; }
    void SetRequired(bool required) { required_ = required; }
    const QString &DefaultExpression() const { return defaultExpression_; }
    void SetDefaultExpression(const QString &e) { defaultExpression_ = e; }
    long Tag() const { return tag_; }
    void SetTag(long tag) { tag_ = tag; }
    // True when the dataset is open, may be modified and the field is writable.
    bool CanModify() const;

    // Lookup definition: the value is LookupResultField of the record of
    // LookupDataSet whose LookupKeyFields equal this dataset's KeyFields.
    TDataSet *LookupDataSet() const { return lookupDataSet_; }
    void SetLookupDataSet(TDataSet *dataSet) { lookupDataSet_ = dataSet; }
    const QString &KeyFields() const { return keyFields_; }
    void SetKeyFields(const QString &fields)
    {
        keyFields_ = fields;
        keyListGeneration_ = 0;
    }
    const QString &LookupKeyFields() const { return lookupKeyFields_; }
    void SetLookupKeyFields(const QString &fields) { lookupKeyFields_ = fields; }
    const QString &LookupResultField() const { return lookupResultField_; }
    void SetLookupResultField(const QString &field) { lookupResultField_ = field; }

    // Values.
    bool IsNull() const;
    void Clear() { SetData(nullptr); }
    QString AsString() const { return GetAsString(); }
    void SetAsString(const QString &value) { SetAsStringImpl(value); }
    int AsInteger() const { return GetAsInteger(); }
    void SetAsInteger(int value) { SetAsIntegerImpl(value); }
    int64_t AsLargeInt() const { return GetAsLargeInt(); }
    void SetAsLargeInt(int64_t value) { SetAsLargeIntImpl(value); }
    double AsFloat() const { return GetAsFloat(); }
    void SetAsFloat(double value) { SetAsFloatImpl(value); }
    double AsCurrency() const { return GetAsFloat(); }
    void SetAsCurrency(double value) { SetAsFloatImpl(value); }
    double AsDateTime() const { return GetAsDateTime(); }
    void SetAsDateTime(double value) { SetAsDateTimeImpl(value); }
    bool AsBoolean() const { return GetAsBoolean(); }
    void SetAsBoolean(bool value) { SetAsBooleanImpl(value); }
    // The value as a variant: Null when the field is null, otherwise of the
    // variant kind that fits the type.
    Variant AsVariant() const;
    void SetAsVariant(const Variant &value);
    Variant Value() const;
    void SetValue(const Variant &value);
    // Text for editing (EditFormat) and for showing (DisplayFormat); both pass
    // through OnGetText when assigned. SetText goes through OnSetText.
    QString Text() const { return GetTextWithEvent(false); }
    void SetText(const QString &text);
    QString DisplayText() const { return GetTextWithEvent(true); }

    // Native access. GetData copies the value into buffer (DataSize bytes,
    // may be nullptr to test for null) and returns false for null. SetData
    // writes buffer, or null when buffer is nullptr.
    bool GetData(void *buffer) const;
    void SetData(const void *buffer);
    // Blob and memo contents.
    QByteArray GetBlobData() const;
    void SetBlobData(const QByteArray *data);

    // Runs OnValidate with buffer as the field's value (the dataset calls it
    // from SetFieldData before storing).
    void Validate(const void *buffer);
    // Fires OnChange (the dataset calls it after a field change).
    void Change();
    // Asks the controls showing this field to take the focus.
    void FocusControl();
    // Lookup fields: fetch the value from the lookup dataset into this field.
    void CalcLookupValue();
    // Copies the value of another field.
    void AssignValue(const TField &source);

    TFieldNotifyEvent OnValidate;
    TFieldNotifyEvent OnChange;
    TFieldGetTextEvent OnGetText;
    TFieldSetTextEvent OnSetText;

protected:
    TField(TFieldType dataType, int size);

    // Conversions each class defines for its type; the base raises
    // "Cannot access field '%s' as type %s".
    virtual QString GetAsString() const;
    virtual void SetAsStringImpl(const QString &value);
    virtual int GetAsInteger() const;
    virtual void SetAsIntegerImpl(int value);
    virtual int64_t GetAsLargeInt() const { return GetAsInteger(); }
    virtual void SetAsLargeIntImpl(int64_t value);
    virtual double GetAsFloat() const;
    virtual void SetAsFloatImpl(double value);
    virtual double GetAsDateTime() const;
    virtual void SetAsDateTimeImpl(double value);
    virtual bool GetAsBoolean() const;
    virtual void SetAsBooleanImpl(bool value);
    // Text without the OnGetText event: displayText chooses DisplayFormat.
    virtual QString GetText(bool displayText) const { (void)displayText; return GetAsString(); }
    virtual int DefaultDisplayWidth() const { return 10; }

    // The value as the dataset keeps it in the active record, when it keeps
    // variants (see TDataSet::StoredFieldValue); nullptr otherwise.
    const Variant *StoredValue() const;
    [[noreturn]] void AccessError(const QString &typeName) const;
    // Tells the dataset that a property shown by controls changed.
    void PropertyChanged(bool layoutAffected);
    void SetDataType(TFieldType type) { dataType_ = type; }

private:
    friend class TDataSet;
    friend class TFields;

    QString GetTextWithEvent(bool displayText) const;

    TDataSet *dataSet_ = nullptr;
    QString fieldName_;
    int fieldNo_ = 0;
    TFieldKind fieldKind_ = fkData;
    TFieldType dataType_;
    int size_;
    int offset_ = 0;
    QString displayLabel_;
    int displayWidth_ = -1;
    QString displayFormat_;
    QString editFormat_;
    TAlignment alignment_ = taLeftJustify;
    bool visible_ = true;
    bool readOnly_ = false;
    bool required_ = false;
    QString defaultExpression_;
    long tag_ = 0;
    TDataSet *lookupDataSet_ = nullptr;
    QString keyFields_;
    // The fields keyFields_ names, resolved for the dataset's field list of
    // that generation (0: not resolved).
    std::vector<TField *> keyList_;
    uint64_t keyListGeneration_ = 0;
    QString lookupKeyFields_;
    QString lookupResultField_;
    // While OnValidate runs, reads see the value being validated.
    bool validating_ = false;
    const void *valueBuffer_ = nullptr;
};

// String and fixed-char fields; Size counts characters.
class TStringField : public TField {
public:
    explicit TStringField(int size = 20, bool fixedChar = false);
    bool FixedChar() const { return DataType() == ftFixedChar; }
    void SetFixedChar(bool fixedChar) { SetDataType(fixedChar ? ftFixedChar : ftString); }
    // The value, false when null.
    bool GetValue(QString &value) const;

protected:
    QString GetAsString() const override;
    void SetAsStringImpl(const QString &value) override;
    int GetAsInteger() const override;
    void SetAsIntegerImpl(int value) override;
    int64_t GetAsLargeInt() const override;
    double GetAsFloat() const override;
    void SetAsFloatImpl(double value) override;
    double GetAsDateTime() const override;
    void SetAsDateTimeImpl(double value) override;
    bool GetAsBoolean() const override;
    void SetAsBooleanImpl(bool value) override;
    int DefaultDisplayWidth() const override { return Size(); }
};

// Common base of the number fields: DisplayFormat and EditFormat are
// FormatFloat masks; numbers align right.
class TNumericField : public TField {
protected:
    TNumericField(TFieldType dataType, int size);
};

// Smallint, Integer, Word and AutoInc fields, checked against the type's
// range and against MinValue/MaxValue when either is set.
class TIntegerField : public TNumericField {
public:
    TIntegerField();
    int MinValue() const { return minValue_; }
    void SetMinValue(int v) { minValue_ = v; }
    int MaxValue() const { return maxValue_; }
    void SetMaxValue(int v) { maxValue_ = v; }
    bool GetValue(int &value) const;

protected:
    TIntegerField(TFieldType dataType, int minRange, int maxRange);
    QString GetAsString() const override;
    void SetAsStringImpl(const QString &value) override;
    int GetAsInteger() const override;
    void SetAsIntegerImpl(int value) override;
    double GetAsFloat() const override;
    void SetAsFloatImpl(double value) override;
    QString GetText(bool displayText) const override;
    int DefaultDisplayWidth() const override;

private:
    int minRange_;
    int maxRange_;
    int minValue_ = 0;
    int maxValue_ = 0;
};

class TSmallintField : public TIntegerField {
public:
    TSmallintField();
};

class TWordField : public TIntegerField {
public:
    TWordField();
};

class TAutoIncField : public TIntegerField {
public:
    TAutoIncField();
};

class TLargeintField : public TNumericField {
public:
    TLargeintField();
    bool GetValue(int64_t &value) const;

protected:
    QString GetAsString() const override;
    void SetAsStringImpl(const QString &value) override;
    int GetAsInteger() const override;
    void SetAsIntegerImpl(int value) override;
    int64_t GetAsLargeInt() const override;
    void SetAsLargeIntImpl(int64_t value) override;
    double GetAsFloat() const override;
    void SetAsFloatImpl(double value) override;
    QString GetText(bool displayText) const override;
    int DefaultDisplayWidth() const override { return 15; }
};

// Float and currency fields (8-byte double).
class TFloatField : public TNumericField {
public:
    TFloatField();
    // Currency formatting when no DisplayFormat is set.
    bool Currency() const { return currency_; }
    void SetCurrency(bool currency) { currency_ = currency; PropertyChanged(false); }
    int Precision() const { return precision_; }
    void SetPrecision(int precision) { precision_ = precision; PropertyChanged(false); }
    double MinValue() const { return minValue_; }
    void SetMinValue(double v) { minValue_ = v; }
    double MaxValue() const { return maxValue_; }
    void SetMaxValue(double v) { maxValue_ = v; }
    bool GetValue(double &value) const;

protected:
    explicit TFloatField(TFieldType dataType);
    QString GetAsString() const override;
    void SetAsStringImpl(const QString &value) override;
    int GetAsInteger() const override;
    void SetAsIntegerImpl(int value) override;
    double GetAsFloat() const override;
    void SetAsFloatImpl(double value) override;
    QString GetText(bool displayText) const override;

private:
    bool currency_ = false;
    int precision_ = 15;
    double minValue_ = 0;
    double maxValue_ = 0;
};

class TCurrencyField : public TFloatField {
public:
    TCurrencyField();
};

// Boolean fields (16-bit native value). DisplayValues is "True;False" by
// default: the texts for true and false.
class TBooleanField : public TField {
public:
    TBooleanField();
    const QString &DisplayValues() const { return displayValues_; }
    void SetDisplayValues(const QString &values);
    bool GetValue(bool &value) const;

protected:
    QString GetAsString() const override;
    void SetAsStringImpl(const QString &value) override;
    bool GetAsBoolean() const override;
    void SetAsBooleanImpl(bool value) override;
    int DefaultDisplayWidth() const override { return 5; }

private:
    QString displayValues_;
    QString trueText_;
    QString falseText_;
};

// Date, time and date-time fields. Values are TDateTime (days since
// 30.12.1899, fraction = time of day); DisplayFormat is a FormatDateTime mask.
class TDateTimeField : public TField {
public:
    TDateTimeField();
    bool GetValue(double &value) const;

protected:
    explicit TDateTimeField(TFieldType dataType);
    QString GetAsString() const override;
    void SetAsStringImpl(const QString &value) override;
    double GetAsFloat() const override;
    void SetAsFloatImpl(double value) override;
    double GetAsDateTime() const override;
    void SetAsDateTimeImpl(double value) override;
    QString GetText(bool displayText) const override;
    int DefaultDisplayWidth() const override { return 18; }

private:
    // The last text made, by value and format: a column walked in date order
    // shows the same day row after row.
    mutable double lastValue_ = 0;
    mutable QString lastFormat_, lastText_;
};

class TDateField : public TDateTimeField {
public:
    TDateField();

protected:
    int DefaultDisplayWidth() const override { return 10; }
};

class TTimeField : public TDateTimeField {
public:
    TTimeField();

protected:
    int DefaultDisplayWidth() const override { return 10; }
};

// Binary blobs: AsString gives the bytes as Latin-1 characters.
class TBlobField : public TField {
public:
    explicit TBlobField(TFieldType dataType = ftBlob);

protected:
    QString GetAsString() const override;
    void SetAsStringImpl(const QString &value) override;
    int DefaultDisplayWidth() const override { return 10; }
    QString GetText(bool displayText) const override;
};

// Memo fields: text kept as UTF-8 blob data. Grids show blobs and memos by
// their kind: "(MEMO)" ("(BLOB)") with contents, "(Memo)" ("(Blob)") without.
class TMemoField : public TBlobField {
public:
    explicit TMemoField(TFieldType dataType = ftMemo);

protected:
    QString GetAsString() const override;
    void SetAsStringImpl(const QString &value) override;
    QString GetText(bool displayText) const override;
};

// The field list of a dataset. The dataset owns its fields.
class TFields {
public:
    explicit TFields(TDataSet *dataSet);
    TFields(const TFields &) = delete;
    TFields &operator=(const TFields &) = delete;

    int Count() const { return int(items_.size()); }
    TField *Fields(int index) const;
    TField *operator[](int index) const { return Fields(index); }
    int IndexOf(const TField *field) const;
    // The field named name (case-insensitive), or nullptr.
    TField *FindField(const QString &name) const;
    // The field named name; raises "Field '%s' not found".
    TField *FieldByName(const QString &name) const;
    // The field with this FieldNo, or nullptr.
    TField *FieldByNumber(int fieldNo) const;

private:
    friend class TDataSet;
    friend class TField;
    TField *Add(std::unique_ptr<TField> field);
    std::unique_ptr<TField> Remove(TField *field);
    void Clear();
    void Move(int from, int to);
    // Drops the remembered name answers (the names or the list changed).
    void Forget();
    // Changes whenever Forget runs; unique across all field lists, so a field
    // can tell whether what it resolved by name still holds.
    uint64_t Generation() const { return generation_; }

    TDataSet *dataSet_;
    std::vector<std::unique_ptr<TField>> items_;
    // FindField's answers by the name as asked: a walk over a dataset asks
    // the same few names for every record.
    mutable std::unordered_map<QString, TField *, TTextHash> byName_;
    uint64_t generation_;
};

// The field the dataset creates for a field type by default; nullptr for
// ftUnknown and ftCursor, which have no field at all. Types without typed
// access here (BCD, Bytes, VarBytes, WideString, ADT, Array, ...) get a field
// whose value accessors raise the access error.
std::unique_ptr<TField> CreateDefaultField(TFieldType type, int size);

} // namespace zorbel
