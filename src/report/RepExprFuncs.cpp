// The function library of report expressions and its 26 built-in functions.
//
// Each function is an element class; its name, description (prototype, a
// bar, the description) and argument pattern (a category digit, then
// one letter per argument: N numeric, S string, B boolean, V any value) come
// from the table kFunctionTexts. Categories: 1 date & time, 2 math & trig,
// 3 statistical, 4 database, 5 logical, 6 information, 7 other.
//
// Functions check their own arguments and answer a misuse with an error
// value. The aggregates (SUM, AVERAGE, MAX, MIN, COUNT) keep running totals
// in their element, added to once per aggregate pass.
#include "report/RepExpr.h"

#include "report/RepExprUnit.h"

#include "platform/rtl/Format.h"
#include "platform/rtl/StrUtils.h"

#include <cmath>
#include <limits>

namespace zorbel {

namespace {

struct TFunctionText {
    const char *Name;
    const char *Prototype; // up to and including the bar, where there is one
    const char *Description;
    const char *Arguments; // category digit, then one letter per argument
};

// name | prototype | description | arguments
constexpr TFunctionText kFunctionTexts[] = {
    {"IF", "IF(<Exp>, <X>, <Y>)|", "Returns <X> or <Y> depending on the boolean expression <Exp>", "5BVV"},
    {"STR", "STR(<X>)|", "Convert a numeric <X> to a string", "7N"},
    {"UPPER", "UPPER(<X>)|", "Converts a string to upper case letters", "7S"},
    {"LOWER", "LOWER(<X>)|", "Converts a string to lower case letters", "7S"},
    {"PRETTY", "PRETTY(<X>)|", "Makes the first character upper case and the rest lower case", "7S"},
    {"TIME", "TIME|", "Return current time as a string", "1"},
    {"DATE", "DATE|", "Return current date as a string", "1"},
    {"COPY", "COPY(<X>, <St>,<Len>)|", "Returns a substring of string X", "7SNN"},
    {"SUM", "SUM(<X>)|", "Sums the numeric <X>", "3N"},
    {"COUNT", "COUNT|", "Increments for each iteration", "3"},
    {"MAX", "MAX(<X>)|", "Returns the highest <X>", "3V"},
    {"MIN", "MIN( <V>) | ", "Returns the lowest <X>", "3N"},
    {"AVERAGE", "AVERAGE(<X>)|", "Returns the average of numeric <X>", "3N"},
    {"TRUE", "TRUE|", "boolean value", "5"},
    {"FALSE", "FALSE|", "boolean value", "5"},
    {"INT", "INT(<X>)|", "Returns the integer part of <X>", "2N"},
    {"FRAC", "FRAC(<X>)|", "Returns the fractional part of <X>", "2N"},
    {"SQRT", "SQRT(<X>)|", "Returns square root of <X>", "2N"},
    {"DIV", "DIV(<X>, <Y>) | ", "Integer division of <X> by <Y>", "2NN"},
    {"TYPEOF", "TYPEOF(<Exp>)|", "Returns the data type of <Exp>", "6N"},
    {"FORMATNUMERIC", "FORMATNUMERIC(<F>,<N>)|", "Formats numeric <N> using the mask in <F>", "7SN"},
    {"ARCCOS", "ARCCOS(<X>)|", "Returns the angle whose cosine is given", "2N"},
    {"COS", "COS(<X>)|", "Returns the cosine of the given angle", "2N"},
    {"SIN", "SIN(<X>)", "Returns the sine of the given angle", "2N"},
    {"TAN", "TAN(<X>)|", "Returns the tangent of the given angle", "2N"},
    {"COTAN", "COTAN(<X>)", "Returns the cotangent of the given angle", "2N"},
};

// Indexes into kFunctionTexts, in registration order.
enum TFunctionId {
    fnIf, fnStr, fnUpper, fnLower, fnPretty, fnTime, fnDate, fnCopy, fnSum, fnCount, fnMax, fnMin, fnAverage,
    fnTrue, fnFalse, fnInt, fnFrac, fnSqrt, fnDiv, fnTypeOf, fnFormatNumeric, fnArcCos, fnCos, fnSin, fnTan, fnCoTan,
};

TRepEvValue Error(const QString &message) { return TRepEvValue::Error(message); }

} // namespace

// A function whose texts are row Id of kFunctionTexts.
template <int Id> class TRepEvNamedFunction : public TRepEvElementFunction {
public:
    QString GetFunctionName() const override { return QLatin1String(kFunctionTexts[Id].Name); }
    QString GetDescriptionText() const override
    {
        return QLatin1String(kFunctionTexts[Id].Prototype) + QLatin1String(kFunctionTexts[Id].Description);
    }
    QString GetArgumentSpec() const override { return QLatin1String(kFunctionTexts[Id].Arguments); }

protected:
    bool OneNumber() const { return Arguments.size() == 1 && Arguments[0].IsNumber(); }
    // Misused arguments give "Wrong arguments for <name>" in every function,
    // TIME, DATE, COPY, FRAC and FORMATNUMERIC included, whose errors have no
    // text of their own: a printed cell or the expression builder then names
    // the function at fault instead of showing an empty error.
    TRepEvValue Wrong() const { return Error(RepExprText::WrongArguments(GetFunctionName())); }
};

class TRepEvIfFunction : public TRepEvNamedFunction<fnIf> {
public:
    TRepEvValue CalculateResult() override
    {
        if (Arguments.size() != 3 || Arguments[0].Kind != TRepEvKind::Boolean)
            return Wrong();
        return Arguments[0].BoolValue ? Arguments[1] : Arguments[2];
    }
};

class TRepEvStrFunction : public TRepEvNamedFunction<fnStr> {
public:
    TRepEvValue CalculateResult() override
    {
        if (Arguments.size() != 1 || Arguments[0].Kind == TRepEvKind::String || Arguments[0].IsError())
            return Error(QStringLiteral("Conversion error"));
        return TRepEvValue::String(RepEvValueText(Arguments[0]));
    }
};

// UPPER, LOWER and PRETTY: one string argument, an error passed on.
template <int Id> class TRepEvCaseFunction : public TRepEvNamedFunction<Id> {
public:
    TRepEvValue CalculateResult() override
    {
        const auto &args = this->Arguments;
        if (args.size() != 1)
            return Error(QStringLiteral("Missing argument for ") + this->GetFunctionName());
        if (args[0].IsError())
            return args[0];
        if (args[0].Kind != TRepEvKind::String)
            return this->Wrong();
        return TRepEvValue::String(Convert(args[0].Text));
    }

protected:
    virtual QString Convert(const QString &text) const = 0;
};

class TRepEvUpperFunction : public TRepEvCaseFunction<fnUpper> {
protected:
    QString Convert(const QString &text) const override { return AnsiUpperCase(text); }
};

class TRepEvLowerFunction : public TRepEvCaseFunction<fnLower> {
protected:
    QString Convert(const QString &text) const override { return AnsiLowerCase(text); }
};

class TRepEvPrettyFunction : public TRepEvCaseFunction<fnPretty> {
protected:
    // The first character (both halves of a surrogate pair) upper case.
    QString Convert(const QString &text) const override
    {
        const int head = text.size() >= 2 && text[0].isHighSurrogate() && text[1].isLowSurrogate() ? 2 : 1;
        return AnsiUpperCase(text.left(head)) + AnsiLowerCase(text.mid(head));
    }
};

class TRepEvTimeFunction : public TRepEvNamedFunction<fnTime> {
public:
    TRepEvValue CalculateResult() override
    {
        return Arguments.empty() ? TRepEvValue::String(TimeToStr(RepExprNow())) : Wrong();
    }
};

class TRepEvDateFunction : public TRepEvNamedFunction<fnDate> {
public:
    TRepEvValue CalculateResult() override
    {
        return Arguments.empty() ? TRepEvValue::String(DateToStr(RepExprNow())) : Wrong();
    }
};

class TRepEvCopyFunction : public TRepEvNamedFunction<fnCopy> {
public:
    TRepEvValue CalculateResult() override
    {
        if (Arguments.size() != 3 || Arguments[0].Kind != TRepEvKind::String ||
            Arguments[1].Kind != TRepEvKind::Integer || Arguments[2].Kind != TRepEvKind::Integer)
            return Wrong();
        const QString &text = Arguments[0].Text;
        qsizetype start = std::max(Arguments[1].IntValue, 1) - 1;
        qsizetype length = Arguments[2].IntValue;
        if (start >= text.size() || length <= 0)
            return TRepEvValue::String(QString());
        // Never begin inside a surrogate pair, never end with half of one.
        if (start > 0 && text[start].isLowSurrogate()) {
            ++start;
            --length;
        }
        QString part = text.mid(start, length);
        if (!part.isEmpty() && part.back().isHighSurrogate())
            part.chop(1);
        return TRepEvValue::String(part);
    }
};

// ---- aggregates ----

class TRepEvSumFunction : public TRepEvNamedFunction<fnSum> {
public:
    TRepEvSumFunction() { IsAggregate = true; }
    TRepEvValue Total;
    bool HasTotal = false;

    // Integers add as integers while the total fits; a float on either side
    // makes the total a float, so every number counts. A string or boolean
    // makes the total an error, and an error argument makes it that error.
    void AddCurrentRecord() override
    {
        if (Arguments.size() != 1) {
            Total = Wrong();
        } else if (!HasTotal || !Total.IsError()) {
            const TRepEvValue &arg = Arguments[0];
            if (arg.IsError())
                Total = arg;
            else if (!arg.IsNumber())
                Total = Error(RepExprText::CannotDo("add", RepEvKindWord(arg.Kind)));
            else if (!HasTotal)
                Total = arg;
            else if (Total.Kind == TRepEvKind::Integer && arg.Kind == TRepEvKind::Integer) {
                const int64_t sum = int64_t(Total.IntValue) + arg.IntValue;
                Total = sum == int32_t(sum) ? TRepEvValue::Integer(int32_t(sum)) : TRepEvValue::Float(double(sum));
            } else {
                const double sum = Total.AsDouble() + arg.AsDouble();
                Total = std::isfinite(sum) ? TRepEvValue::Float(sum) : Error(RepExprText::FloatOverflow);
            }
        }
        HasTotal = true;
    }
    TRepEvValue CalculateResult() override { return HasTotal ? Total : TRepEvValue::Integer(0); }
    void ClearTotals() override { HasTotal = false; }
};

class TRepEvAverageFunction : public TRepEvSumFunction {
public:
    TRepEvAverageFunction() { Average = TRepEvValue::Float(0); }
    TRepEvValue Average;
    int64_t RecordTotal = 0;

    QString GetFunctionName() const override { return QLatin1String(kFunctionTexts[fnAverage].Name); }
    QString GetDescriptionText() const override
    {
        return QLatin1String(kFunctionTexts[fnAverage].Prototype) + QLatin1String(kFunctionTexts[fnAverage].Description);
    }
    QString GetArgumentSpec() const override { return QLatin1String(kFunctionTexts[fnAverage].Arguments); }

    void AddCurrentRecord() override
    {
        TRepEvSumFunction::AddCurrentRecord();
        ++RecordTotal;
        if (Total.IsNumber())
            Average = TRepEvValue::Float(Total.AsDouble() / double(RecordTotal));
        else
            Average = Total;
    }
    TRepEvValue CalculateResult() override { return Average; }
    void ClearTotals() override
    {
        TRepEvSumFunction::ClearTotals();
        Average = TRepEvValue::Float(0);
        RecordTotal = 0;
    }
};

// MAX and MIN: the first value taken whole, then replaced by a greater
// (smaller) one of the same kind; integers and floats compare as numbers.
// An error argument, or one of a kind that cannot be compared with the
// total, makes the total an error.
template <int Id, bool Greatest> class TRepEvExtremeFunction : public TRepEvNamedFunction<Id> {
public:
    TRepEvExtremeFunction() { this->IsAggregate = true; }
    TRepEvValue Total;
    bool HasTotal = false;

    void AddCurrentRecord() override
    {
        const auto &args = this->Arguments;
        if (args.size() != 1) {
            Total = this->Wrong();
        } else if (!HasTotal) {
            Total = args[0];
        } else if (!Total.IsError()) {
            const TRepEvValue &arg = args[0];
            if (arg.IsError())
                Total = arg;
            else if (arg.IsNumber() && Total.IsNumber())
                Replace(arg, Total.Kind == TRepEvKind::Integer && arg.Kind == TRepEvKind::Integer
                                 ? (arg.IntValue > Total.IntValue) - (arg.IntValue < Total.IntValue)
                                 : (arg.AsDouble() > Total.AsDouble()) - (arg.AsDouble() < Total.AsDouble()));
            else if (arg.Kind != Total.Kind)
                Total = this->Wrong();
            else if (arg.Kind == TRepEvKind::String)
                Replace(arg, CompareStr(arg.Text, Total.Text));
            else
                Replace(arg, int(arg.BoolValue) - int(Total.BoolValue));
        }
        HasTotal = true;
    }
    TRepEvValue CalculateResult() override { return HasTotal ? Total : TRepEvValue::Integer(0); }
    void ClearTotals() override { HasTotal = false; }

private:
    // order: the argument against the total (<0, 0, >0).
    void Replace(const TRepEvValue &arg, int order)
    {
        if (Greatest ? order > 0 : order < 0)
            Total = arg;
    }
};

class TRepEvMaxFunction : public TRepEvExtremeFunction<fnMax, true> {};
class TRepEvMinFunction : public TRepEvExtremeFunction<fnMin, false> {};

// COUNT counts aggregate passes, that is printed records.
class TRepEvCountFunction : public TRepEvNamedFunction<fnCount> {
public:
    TRepEvCountFunction() { IsAggregate = true; }
    int32_t RecordTotal = 0;

    TRepEvValue ComputeValue(TRepFiFo &queue) override
    {
        CollectArguments(queue);
        const bool tooMany = !Arguments.empty();
        Arguments.clear();
        if (tooMany)
            return Error(QStringLiteral("COUNT - Too many arguments"));
        if (queue.AggregateMode) {
            if (RecordTotal == std::numeric_limits<int32_t>::max())
                return Error(RepExprText::IntegerOverflow);
            ++RecordTotal;
        }
        return TRepEvValue::Integer(RecordTotal);
    }
    void ClearTotals() override { RecordTotal = 0; }
};

// ---- constants and numbers ----

template <int Id, bool Value> class TRepEvBooleanConstant : public TRepEvNamedFunction<Id> {
public:
    TRepEvValue CalculateResult() override
    {
        return this->Arguments.empty() ? TRepEvValue::Boolean(Value) : Error(QStringLiteral("Too many arguments"));
    }
};

class TRepEvTrue : public TRepEvBooleanConstant<fnTrue, true> {};
class TRepEvFalse : public TRepEvBooleanConstant<fnFalse, false> {};

class TRepEvIntFunction : public TRepEvNamedFunction<fnInt> {
public:
    TRepEvValue CalculateResult() override
    {
        if (!OneNumber())
            return Wrong();
        if (Arguments[0].Kind == TRepEvKind::Integer)
            return Arguments[0];
        const double whole = std::trunc(Arguments[0].FloatValue);
        if (whole < std::numeric_limits<int32_t>::min() || whole > std::numeric_limits<int32_t>::max())
            return Error(RepExprText::IntegerOverflow);
        return TRepEvValue::Integer(int32_t(whole));
    }
};

class TRepEvFracFunction : public TRepEvNamedFunction<fnFrac> {
public:
    TRepEvValue CalculateResult() override
    {
        if (!OneNumber())
            return Wrong();
        if (Arguments[0].Kind == TRepEvKind::Integer)
            return TRepEvValue::Float(0);
        double whole;
        return TRepEvValue::Float(std::modf(Arguments[0].FloatValue, &whole));
    }
};

class TRepEvSQRTFunction : public TRepEvNamedFunction<fnSqrt> {
public:
    TRepEvValue CalculateResult() override
    {
        if (!OneNumber() || Arguments[0].AsDouble() < 0)
            return Error(QStringLiteral("Invalid argument to SQRT function"));
        return TRepEvValue::Float(std::sqrt(Arguments[0].AsDouble()));
    }
};

class TRepEvDivFunction : public TRepEvNamedFunction<fnDiv> {
public:
    TRepEvValue CalculateResult() override
    {
        if (Arguments.size() != 2 || !Arguments[0].IsNumber() || !Arguments[1].IsNumber())
            return Wrong();
        // Floats round to the nearest integer, halves to the even one.
        const double x = std::nearbyint(Arguments[0].AsDouble());
        const double y = std::nearbyint(Arguments[1].AsDouble());
        if (y == 0)
            return Error(QStringLiteral("Division by Zero"));
        constexpr double limit = 9.0e18;
        if (std::fabs(x) >= limit || std::fabs(y) >= limit)
            return Error(RepExprText::IntegerOverflow);
        const int64_t quotient = int64_t(x) / int64_t(y);
        if (quotient < std::numeric_limits<int32_t>::min() || quotient > std::numeric_limits<int32_t>::max())
            return Error(RepExprText::IntegerOverflow);
        return TRepEvValue::Integer(int32_t(quotient));
    }
};

class TRepEvTypeOfFunction : public TRepEvNamedFunction<fnTypeOf> {
public:
    TRepEvValue CalculateResult() override
    {
        if (Arguments.size() != 1)
            return Error(RepExprText::WrongArguments(QStringLiteral("TypeOf")));
        switch (Arguments[0].Kind) {
        case TRepEvKind::Integer: return TRepEvValue::String(QStringLiteral("INTEGER"));
        case TRepEvKind::Float: return TRepEvValue::String(QStringLiteral("FLOAT"));
        case TRepEvKind::String: return TRepEvValue::String(QStringLiteral("STRING"));
        case TRepEvKind::Boolean: return TRepEvValue::String(QStringLiteral("BOOLEAN"));
        case TRepEvKind::Error: return TRepEvValue::String(QStringLiteral("ERROR"));
        }
        return Error(QStringLiteral("Unknown type"));
    }
};

class TRepEvFormatNumericFunction : public TRepEvNamedFunction<fnFormatNumeric> {
public:
    TRepEvValue CalculateResult() override
    {
        if (Arguments.size() != 2 || Arguments[0].Kind != TRepEvKind::String || !Arguments[1].IsNumber())
            return Wrong();
        try {
            return TRepEvValue::String(FormatFloat(Arguments[0].Text, Arguments[1].AsDouble()));
        } catch (const Exception &) {
            return Error(QStringLiteral("Invalid format or value specified"));
        }
    }
};

// ---- trigonometry ----

template <int Id> class TRepEvTrigFunction : public TRepEvNamedFunction<Id> {
public:
    TRepEvValue CalculateResult() override
    {
        if (!this->OneNumber())
            return this->Wrong();
        return Compute(this->Arguments[0].AsDouble());
    }

protected:
    virtual TRepEvValue Compute(double x) const = 0;
    static TRepEvValue Result(double y)
    {
        return std::isfinite(y) ? TRepEvValue::Float(y) : Error(RepExprText::FloatOverflow);
    }
};

class TRepEvArcCosFunction : public TRepEvTrigFunction<fnArcCos> {
protected:
    TRepEvValue Compute(double x) const override
    {
        if (x < -1 || x > 1)
            return Error(QStringLiteral("Invalid argument to ARCCOS function"));
        return Result(std::acos(x));
    }
};

class TRepEvCosFunction : public TRepEvTrigFunction<fnCos> {
protected:
    TRepEvValue Compute(double x) const override { return Result(std::cos(x)); }
};

class TRepEvSinFunction : public TRepEvTrigFunction<fnSin> {
protected:
    TRepEvValue Compute(double x) const override { return Result(std::sin(x)); }
};

class TRepEvTanFunction : public TRepEvTrigFunction<fnTan> {
protected:
    TRepEvValue Compute(double x) const override { return Result(std::tan(x)); }
};

class TRepEvCoTanFunction : public TRepEvTrigFunction<fnCoTan> {
protected:
    TRepEvValue Compute(double x) const override
    {
        const double t = std::tan(x);
        if (t == 0)
            return Error(QStringLiteral("Division by Zero"));
        return Result(1 / t);
    }
};

// ---- library ----

void TRepLibrary::AddEntry(TRepEvFunctionClass elementClass, const QString &name, const QString &description,
                           const QString &argumentSpec, const QString &vendor)
{
    entries_.push_back(TRepLibraryEntry{description, argumentSpec, elementClass, AnsiUpperCase(name), vendor});
}

int TRepLibrary::IndexOf(const QString &name) const
{
    const QString upper = AnsiUpperCase(name);
    for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].Name == upper)
            return int(i);
    return -1;
}

std::unique_ptr<TRepEvElement> TRepLibrary::CreateElement(const QString &name) const
{
    const int index = IndexOf(name);
    if (index < 0)
        return std::make_unique<TRepEvElementError>(RepExprText::UnknownFunction(name));
    return GetEntry(index).ElementClass();
}

void TRepLibrary::RegisterFunction(TRepEvFunctionClass elementClass)
{
    const std::unique_ptr<TRepEvElementFunction> sample = elementClass();
    AddEntry(elementClass, sample->GetFunctionName(), sample->GetDescriptionText(), sample->GetArgumentSpec(),
             sample->GetVendorText());
}

TRepFunctionLibrary &FunctionLibrary()
{
    static TRepFunctionLibrary *const library = [] {
        static TRepFunctionLibrary instance;
        for (TRepEvFunctionClass cls : {
                 &MakeRepFunction<TRepEvIfFunction>, &MakeRepFunction<TRepEvStrFunction>,
                 &MakeRepFunction<TRepEvUpperFunction>, &MakeRepFunction<TRepEvLowerFunction>,
                 &MakeRepFunction<TRepEvPrettyFunction>, &MakeRepFunction<TRepEvTimeFunction>,
                 &MakeRepFunction<TRepEvDateFunction>, &MakeRepFunction<TRepEvCopyFunction>,
                 &MakeRepFunction<TRepEvSumFunction>, &MakeRepFunction<TRepEvCountFunction>,
                 &MakeRepFunction<TRepEvMaxFunction>, &MakeRepFunction<TRepEvMinFunction>,
                 &MakeRepFunction<TRepEvAverageFunction>, &MakeRepFunction<TRepEvTrue>,
                 &MakeRepFunction<TRepEvFalse>, &MakeRepFunction<TRepEvIntFunction>,
                 &MakeRepFunction<TRepEvFracFunction>, &MakeRepFunction<TRepEvSQRTFunction>,
                 &MakeRepFunction<TRepEvDivFunction>, &MakeRepFunction<TRepEvTypeOfFunction>,
                 &MakeRepFunction<TRepEvFormatNumericFunction>, &MakeRepFunction<TRepEvArcCosFunction>,
                 &MakeRepFunction<TRepEvCosFunction>, &MakeRepFunction<TRepEvSinFunction>,
                 &MakeRepFunction<TRepEvTanFunction>, &MakeRepFunction<TRepEvCoTanFunction>})
            instance.RegisterFunction(cls);
        return &instance;
    }();
    return *library;
}

} // namespace zorbel
