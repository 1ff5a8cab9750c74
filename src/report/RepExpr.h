// The report expression language: short formulas ("Sum(amt)", "IF(x > 0,
// 'yes', 'no')", "PAGENUMBER") that a report layout compiles once and then
// evaluates as often as it prints.
//
// Compiling turns the text into a flat queue of elements in prefix order: an
// operator element is followed by the elements of its left and then its right
// operand; a function element by the elements of each argument and one
// argument-end marker. Evaluating rewinds the queue and computes its first
// element, which pulls its operands from the queue as it goes; nothing is
// allocated on the way except the argument values of function calls.
//
// Names are resolved while compiling, in this order: the function library
// (FunctionLibrary), the fields of the evaluator's datasets, the variables of
// the report-local and then the global environment (GlobalEnvironment).
// Every failure of the language is a value of kind Error whose text is the
// message; the one exception is Evaluate on an evaluator that holds no
// compiled expression ("Evaluator not prepared").
//
// An aggregate pass (Accumulate) is an ordinary evaluation with the queue's
// AggregateMode set: the aggregate functions (SUM, AVERAGE, MAX, MIN, COUNT)
// add the current record to running totals that live in their elements, from
// one ClearTotals to the next.
//
// Nothing here locks: an evaluator belongs to the thread that runs its report,
// and reports run one at a time.
#pragma once

#include "platform/rtl/Exceptions.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <vector>

namespace zorbel {

class TDataSet;
class TField;
class TRepEvEnvironment;
class TRepEvEmbeddedFunction;

ZORBEL_EXCEPTION(ERepExprError, Exception);

// Kind of a value; the numbers are the stored codes.
enum class TRepEvKind : uint8_t {
    Integer = 0, // 32-bit signed
    Float = 1,   // double, always finite
    String = 2,  // at most RepEvMaxString characters
    Boolean = 3,
    Error = 4,   // the message is the text
};

// Longest string a value holds, in characters (Cyrillic counts one each).
constexpr int RepEvMaxString = 255;
// Deepest nesting of operators, operands and calls a compiled expression may
// have; deeper texts compile to an error, so evaluation never runs out of stack.
constexpr int RepEvMaxDepth = 400;
// Longest chain of variables whose expressions use further variables.
constexpr int RepEvMaxVariableNesting = 8;

// The value of an expression or of any element, copied by value. Only the
// member named by Kind is meaningful; Text holds a string or an error message.
struct TRepEvValue {
    TRepEvKind Kind = TRepEvKind::Integer;
    bool BoolValue = false;
    int32_t IntValue = 0;
    double FloatValue = 0;
    QString Text;

    static TRepEvValue Integer(int32_t value)
    {
        TRepEvValue v;
        v.IntValue = value;
        return v;
    }
    static TRepEvValue Float(double value)
    {
        TRepEvValue v;
        v.Kind = TRepEvKind::Float;
        v.FloatValue = value;
        return v;
    }
    static TRepEvValue Boolean(bool value)
    {
        TRepEvValue v;
        v.Kind = TRepEvKind::Boolean;
        v.BoolValue = value;
        return v;
    }
    // The text cut to RepEvMaxString characters.
    static TRepEvValue String(const QString &text);
    static TRepEvValue Error(const QString &message);

    bool IsError() const { return Kind == TRepEvKind::Error; }
    bool IsNumber() const { return Kind == TRepEvKind::Integer || Kind == TRepEvKind::Float; }
    // Integer or float as a double (0 for other kinds).
    double AsDouble() const { return Kind == TRepEvKind::Integer ? double(IntValue) : FloatValue; }
};

// The value as text: an integer in decimal, a float in the general form with
// up to 15 significant digits and the decimal comma, a boolean as "True" or
// "False", a string or an error message as it is.
QString RepEvValueText(const TRepEvValue &value);
// "integer", "float", "string", "boolean", "error": the words of the messages.
QString RepEvKindWord(TRepEvKind kind);

class TRepEvElement;

// The datasets searched for field names: a list the caller passes and keeps,
// or one made on demand and owned here.
class TRepDataSetListHolder {
public:
    // An own list is freed when another one replaces it.
    void Set(std::vector<TDataSet *> *list)
    {
        if (list != own_.get())
            own_.reset();
        list_ = list;
    }
    // The list, making an own empty one when none is set.
    std::vector<TDataSet *> *Get()
    {
        if (!list_) {
            own_ = std::make_unique<std::vector<TDataSet *>>();
            list_ = own_.get();
        }
        return list_;
    }
    // The list as set, nullptr when none.
    std::vector<TDataSet *> *Peek() const { return list_; }

private:
    std::unique_ptr<std::vector<TDataSet *>> own_;
    std::vector<TDataSet *> *list_ = nullptr;
};

// The element queue of one compiled expression. It owns its elements.
class TRepFiFo {
public:
    TRepFiFo() = default;
    TRepFiFo(const TRepFiFo &) = delete;
    TRepFiFo &operator=(const TRepFiFo &) = delete;
    ~TRepFiFo();

    // True while an aggregate pass runs.
    bool AggregateMode = false;

    void Append(std::unique_ptr<TRepEvElement> element);
    void Rewind() { readPosition_ = 0; }
    // The element at the read position, which then advances; nullptr past
    // the end.
    TRepEvElement *NextElement()
    {
        return readPosition_ < elements_.size() ? elements_[readPosition_++].get() : nullptr;
    }
    int Count() const { return int(elements_.size()); }
    TRepEvElement *Element(int index) const { return elements_[size_t(index)].get(); }
    int ReadPosition() const { return int(readPosition_); }

private:
    std::vector<std::unique_ptr<TRepEvElement>> elements_;
    size_t readPosition_ = 0;
};

// Base of every element of a queue.
class TRepEvElement {
public:
    TRepEvElement() = default;
    TRepEvElement(const TRepEvElement &) = delete;
    TRepEvElement &operator=(const TRepEvElement &) = delete;
    virtual ~TRepEvElement() = default;

    // Set only by the aggregate functions.
    bool IsAggregate = false;

    // The element's value; operands and arguments are taken from the queue.
    virtual TRepEvValue ComputeValue(TRepFiFo &queue);
    // Restarts running totals.
    virtual void ClearTotals() {}
};

// Operator codes, in the stored order.
enum class TRepEvOperator : uint8_t {
    Less = 0,
    LessEqual = 1,
    Greater = 2,
    GreaterEqual = 3,
    Equal = 4,
    NotEqual = 5,
    Plus = 6,
    Minus = 7,
    Or = 8,
    Multiply = 9,
    Divide = 10,
    And = 11,
};

// Combines two values as the operator does (kinds aligned first).
TRepEvValue RepEvApplyOperator(TRepEvOperator op, const TRepEvValue &left, const TRepEvValue &right);

// A binary operator: computes the next two elements as its operands.
class TRepEvElementOperator : public TRepEvElement {
public:
    explicit TRepEvElementOperator(TRepEvOperator code) : OperatorCode(code) {}
    TRepEvOperator OperatorCode;
    TRepEvValue ComputeValue(TRepFiFo &queue) override;
};

// "not": computes the next element; a boolean is negated, anything else is
// the error "Invalid use of NOT".
class TRepEvElementNot : public TRepEvElement {
public:
    TRepEvValue ComputeValue(TRepFiFo &queue) override;
};

// A number literal (integer or float). The report run patches the literals of
// its variables in place (TRepEvEnvironment::SetIntegerConstant).
class TRepEvElementConstant : public TRepEvElement {
public:
    explicit TRepEvElementConstant(const TRepEvValue &value) : Value(value) {}
    TRepEvValue Value;
    TRepEvValue ComputeValue(TRepFiFo &) override { return Value; }
};

// A string literal.
class TRepEvElementString : public TRepEvElement {
public:
    explicit TRepEvElementString(const QString &text) : Value(TRepEvValue::String(text)) {}
    void SetText(const QString &text) { Value = TRepEvValue::String(text); }
    const QString &Text() const { return Value.Text; }
    TRepEvValue ComputeValue(TRepFiFo &) override { return Value; }

private:
    TRepEvValue Value;
};

// A compile-time error standing where the faulty part was.
class TRepEvElementError : public TRepEvElement {
public:
    explicit TRepEvElementError(const QString &message) : Message(message) {}
    QString Message;
    TRepEvValue ComputeValue(TRepFiFo &) override { return TRepEvValue::Error(Message); }
};

// Marks the end of a function's arguments; never computed.
class TRepEvElementArgumentEnd : public TRepEvElement {};

// Base of the library functions. ComputeValue collects the arguments (every
// element up to the argument-end marker, each computed), adds the current
// record in an aggregate pass, and returns CalculateResult.
class TRepEvElementFunction : public TRepEvElement {
public:
    // The computed arguments of the current computation; emptied after it.
    std::vector<TRepEvValue> Arguments;

    TRepEvValue ComputeValue(TRepFiFo &queue) override;
    virtual void AddCurrentRecord() {}
    virtual TRepEvValue CalculateResult();
    virtual QString GetFunctionName() const = 0;
    // Prototype, a bar, the description.
    virtual QString GetDescriptionText() const = 0;
    virtual QString GetVendorText() const;
    // A category digit, then one letter per argument (N, S, B, V).
    virtual QString GetArgumentSpec() const = 0;

protected:
    // Takes the arguments from the queue into Arguments.
    void CollectArguments(TRepFiFo &queue);
};

// How a field's value is read.
enum class TRepFieldRead : uint8_t { String, Integer, Float, Boolean, DateText, Unknown };

// A field of the current record of a dataset.
class TRepEvElementDataField : public TRepEvElement {
public:
    explicit TRepEvElementDataField(TField *field);
    TDataSet *SourceDataSet = nullptr;
    int FieldIndex = -1;
    TField *SourceField = nullptr;
    TRepEvValue ComputeValue(TRepFiFo &queue) override;

private:
    void Bind(TField *field);
    TRepFieldRead read_ = TRepFieldRead::Unknown;
    QString fieldName_;
};

// A reference to a variable of an environment (not owned).
class TRepEvElementWrapper : public TRepEvElement {
public:
    explicit TRepEvElementWrapper(TRepEvEmbeddedFunction *target) : Target(target) {}
    TRepEvEmbeddedFunction *Target;
    TRepEvValue ComputeValue(TRepFiFo &queue) override;
};

// A compiled expression: the queue, the datasets searched for field names and
// the local environment searched for variables before the global one.
class TRepEvaluator {
public:
    TRepEvaluator();
    TRepEvaluator(const TRepEvaluator &) = delete;
    TRepEvaluator &operator=(const TRepEvaluator &) = delete;
    virtual ~TRepEvaluator();

    // The datasets searched for field names, in order; nullptr means names
    // are never fields. The caller keeps ownership of a list it passes; an own
    // list is freed when replaced.
    void SetDataSetList(std::vector<TDataSet *> *list) { dataSets_.Set(list); }
    // The list, creating an own empty one when none is set.
    std::vector<TDataSet *> *GetDataSetList() { return dataSets_.Get(); }

    // Searched for variables before the global environment; not owned. Read
    // only while compiling.
    TRepEvEnvironment *LocalEnvironment = nullptr;

    // Compiles the text (empty: a one-space string). Never fails: errors
    // become error elements whose message is the value they yield.
    void Compile(const QString &expression);
    // Frees the queue and releases the use of the global environment.
    void Discard();
    bool IsCompiled() const { return isCompiled_; }
    // Requires: compiled, else raises ERepExprError "Evaluator not prepared".
    TRepEvValue Evaluate();
    // One aggregate pass over the current record; the value is dropped.
    void Accumulate();
    void ClearTotals();
    bool HasAggregates() const;
    // Compile, evaluate, discard.
    TRepEvValue EvaluateText(const QString &expression);
    void SetAggregateMode(bool on);
    // The compiled queue, nullptr when not compiled.
    TRepFiFo *Queue() const { return queue_.get(); }

protected:
    // A name with an argument text (empty: none): a library function, else a
    // field or variable, else an error.
    virtual void AddFunctionCall(const QString &name, const QString &arguments);
    // A field of the datasets, else a variable, else an error.
    virtual void AddNameReference(const QString &name);

private:
    class TParser;
    void AddVariableReference(const QString &name);
    void Append(std::unique_ptr<TRepEvElement> element);

    TRepDataSetListHolder dataSets_;
    std::unique_ptr<TRepFiFo> queue_;
    bool isCompiled_ = false;
    // The global environment this evaluator holds a use of, while compiled.
    TRepEvEnvironment *globalUse_ = nullptr;
    TParser *parser_ = nullptr; // while compiling
};

// A variable: its expression text and its own evaluator. Computing it
// evaluates that evaluator in plain mode; a variable reached again while it
// computes yields "Recursive calls not allowed".
class TRepEvEmbeddedFunction : public TRepEvElement {
public:
    explicit TRepEvEmbeddedFunction(const QString &expression);
    std::unique_ptr<TRepEvaluator> OwnEvaluator;
    QString ExpressionText;
    bool Busy = false;
    TRepEvValue ComputeValue(TRepFiFo &queue) override;
    void ClearTotals() override { OwnEvaluator->ClearTotals(); }
};

// ---- Function library ----

using TRepEvFunctionClass = std::unique_ptr<TRepEvElementFunction> (*)();

template <class T> std::unique_ptr<TRepEvElementFunction> MakeRepFunction() { return std::make_unique<T>(); }

struct TRepLibraryEntry {
    QString Description;  // prototype, a bar, the description
    QString ArgumentSpec; // category digit, then one letter per argument
    TRepEvFunctionClass ElementClass = nullptr;
    QString Name;         // upper case
    QString Vendor;
};

// Registered functions in registration order; names are looked up ignoring
// case.
class TRepLibrary {
public:
    TRepLibrary() = default;
    TRepLibrary(const TRepLibrary &) = delete;
    TRepLibrary &operator=(const TRepLibrary &) = delete;
    virtual ~TRepLibrary() = default;

    void AddEntry(TRepEvFunctionClass elementClass, const QString &name, const QString &description,
                  const QString &argumentSpec, const QString &vendor);
    virtual const TRepLibraryEntry &GetEntry(int index) const { return entries_[size_t(index)]; }
    int Count() const { return int(entries_.size()); }
    // Index of the name (any case), -1 when unknown.
    int IndexOf(const QString &name) const;
    // A new element of the named function; an unknown name gives an error
    // element "Unknown function : <name>".
    std::unique_ptr<TRepEvElement> CreateElement(const QString &name) const;
    // Adds an entry with what a temporary element of the class tells.
    void RegisterFunction(TRepEvFunctionClass elementClass);

private:
    std::vector<TRepLibraryEntry> entries_;
};

class TRepFunctionLibrary : public TRepLibrary {};

// The one library, holding the 26 built-in functions.
TRepFunctionLibrary &FunctionLibrary();

// ---- Environments ----

// A set of named variables (names upper case, in definition order). An
// environment is compiled while its UseCount is above 0: its variables are
// compiled and discarded as a group, with the environment's dataset list and
// the environment itself as their local environment.
class TRepEvEnvironment {
public:
    TRepEvEnvironment() = default;
    TRepEvEnvironment(const TRepEvEnvironment &) = delete;
    TRepEvEnvironment &operator=(const TRepEvEnvironment &) = delete;
    ~TRepEvEnvironment();

    int Count() const { return int(variables_.size()); }
    const QString &Names(int index) const { return variables_[size_t(index)].Name; }
    TRepEvEmbeddedFunction *Variable(int index) const { return variables_[size_t(index)].Function.get(); }
    // Index of the name (any case), -1 when unknown.
    int IndexOf(const QString &name) const;

    // Adds a new variable (compiled at once when the environment is); an
    // existing name keeps its expression.
    void DefineVariable(const QString &name, const QString &expression);
    // Frees the variable; unknown names are ignored. Requires: no compiled
    // expression refers to it any more.
    void DeleteVariable(const QString &name);
    // Gives a variable a new name (upper case); false when the name is
    // unknown, the new one is empty or taken by another variable.
    bool RenameVariable(const QString &name, const QString &newName);
    // Replaces a variable's expression; false when the name is unknown or the
    // environment is compiled (its variables are in use).
    bool SetVariableExpression(const QString &name, const QString &expression);
    // A wrapper around the named variable, or an error element
    // "Unknown function : <name>".
    std::unique_ptr<TRepEvElement> CreateVariableElement(const QString &name) const;
    // The variable's value; an unknown name gives an error value.
    TRepEvValue GetVariableValue(const QString &name) const;
    // The first element of the variable's compiled expression (the literal
    // of a constant variable); nullptr when unknown or not compiled.
    TRepEvElement *GetVariableElement(const QString &name) const;
    // Patch a literal element in place; other elements are left alone.
    static void SetIntegerConstant(TRepEvElement *element, int32_t value);
    static void SetStringConstant(TRepEvElement *element, const QString &text);
    // A number literal takes the whole value; a string literal the text of a
    // string value.
    static void SetConstantResult(TRepEvElement *element, const TRepEvValue &value);

    void CompileAll();
    void DiscardAll();
    bool IsCompiled() const { return useCount_ > 0; }
    int UseCount() const { return useCount_; }

    void SetDataSetList(std::vector<TDataSet *> *list) { dataSets_.Set(list); }
    std::vector<TDataSet *> *GetDataSetList() { return dataSets_.Get(); }

    // Frees every variable.
    void Clear();

    // Stored form in a report layout: the names and, in the same order, the
    // expression texts. Loading replaces every variable; a name without a
    // stored expression gets the empty text, an expression without a name is
    // dropped.
    QStringList StoredNames() const;
    QStringList StoredExpressions() const;
    void LoadStored(const QStringList &names, const QStringList &expressions);

private:
    struct TVariable {
        QString Name;
        std::unique_ptr<TRepEvEmbeddedFunction> Function;
    };
    void CompileVariable(TRepEvEmbeddedFunction &variable);

    std::vector<TVariable> variables_;
    int useCount_ = 0;
    TRepDataSetListHolder dataSets_;
};

// The environment shared by every report: APPSTARTTIME, APPSTARTDATE and
// APPNAME, fixed when it is first used. Once compiled, it stays compiled.
TRepEvEnvironment &GlobalEnvironment();

} // namespace zorbel
