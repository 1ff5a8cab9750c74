// Report expressions: values, the element queue, operators, field and
// variable elements, and the evaluator with its parser.
//
// The parser works on substrings, level by level:
//   1 comparison  < <= <> = > >=   both sides: level 2
//   2 sum         + - " or "       operands: level 3
//   3 product     * / " and "      operands: level 4
//   4 factor      not, literals, (..), [name], names and calls, unary + -
// Operators count at parenthesis depth 0, outside quotes and square
// brackets, never at the first or last character. The first comparison
// splits the text (so a second one lands in an operand and yields an error);
// + - and * / group from left to right, so a-b+c is (a-b)+c and a/b*c is
// (a/b)*c. "or" and "and" take the single operand before them and everything
// after them at their level: a-b or c is a-(b or c), a or b+c is a or (b+c),
// 5 and 3*2 is 5 and (3*2). They need a space on both sides.
// Every nesting level and every chained operator counts towards
// RepEvMaxDepth; a deeper text compiles to an error element, which bounds both
// the parser's and the evaluator's stack.
#include "report/RepExpr.h"

#include "report/RepExprUnit.h"

#include "platform/dataset/DataSet.h"
#include "platform/dataset/Fields.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/FormatSettings.h"
#include "platform/rtl/StrUtils.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zorbel {

// ---- values ----

TRepEvValue TRepEvValue::String(const QString &text)
{
    TRepEvValue v;
    v.Kind = TRepEvKind::String;
    v.Text = text.size() > RepEvMaxString ? text.left(RepEvMaxString) : text;
    return v;
}

TRepEvValue TRepEvValue::Error(const QString &message)
{
    TRepEvValue v;
    v.Kind = TRepEvKind::Error;
    v.Text = message.size() > RepEvMaxString ? message.left(RepEvMaxString) : message;
    return v;
}

QString RepEvValueText(const TRepEvValue &value)
{
    switch (value.Kind) {
    case TRepEvKind::Integer: return QString::number(value.IntValue);
    case TRepEvKind::Float: return FloatToStr(value.FloatValue);
    case TRepEvKind::Boolean: return value.BoolValue ? QStringLiteral("True") : QStringLiteral("False");
    case TRepEvKind::String:
    case TRepEvKind::Error: return value.Text;
    }
    return QString();
}

QString RepEvKindWord(TRepEvKind kind)
{
    switch (kind) {
    case TRepEvKind::Integer: return QStringLiteral("integer");
    case TRepEvKind::Float: return QStringLiteral("float");
    case TRepEvKind::String: return QStringLiteral("string");
    case TRepEvKind::Boolean: return QStringLiteral("boolean");
    case TRepEvKind::Error: return QStringLiteral("error");
    }
    return QString();
}

// ---- queue and simple elements ----

TRepFiFo::~TRepFiFo() = default;

void TRepFiFo::Append(std::unique_ptr<TRepEvElement> element) { elements_.push_back(std::move(element)); }

TRepEvValue TRepEvElement::ComputeValue(TRepFiFo &) { return TRepEvValue(); }

namespace {

// The value of the next element of the queue. A compiled queue always holds
// the operand; a missing one reads as an empty operand.
[[gnu::always_inline]] inline TRepEvValue NextValue(TRepFiFo &queue)
{
    if (TRepEvElement *element = queue.NextElement()) [[likely]]
        return element->ComputeValue(queue);
    return TRepEvValue::Error(QStringLiteral("Error in expression : "));
}

// Operator symbols and verbs for the messages, by operator code.
struct TOperatorText {
    const char *Symbol;
    const char *Verb; // for "Cannot %s %s expressions"
};
constexpr TOperatorText kOperatorText[] = {
    {"<", nullptr},  {"<=", nullptr}, {">", nullptr},       {">=", nullptr}, {"=", nullptr},  {"<>", nullptr},
    {"+", "add"},    {"-", "subtract"}, {"OR", nullptr},    {"*", "multiply"}, {"/", "divide"}, {"AND", nullptr},
};

QString Symbol(TRepEvOperator op) { return QLatin1String(kOperatorText[int(op)].Symbol); }

TRepEvValue FromInt64(int64_t value)
{
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        return TRepEvValue::Error(RepExprText::IntegerOverflow);
    return TRepEvValue::Integer(int32_t(value));
}

TRepEvValue FromDouble(double value)
{
    return std::isfinite(value) ? TRepEvValue::Float(value) : TRepEvValue::Error(RepExprText::FloatOverflow);
}

template <typename T> TRepEvValue Compare(TRepEvOperator op, const T &a, const T &b)
{
    switch (op) {
    case TRepEvOperator::Less: return TRepEvValue::Boolean(a < b);
    case TRepEvOperator::LessEqual: return TRepEvValue::Boolean(a <= b);
    case TRepEvOperator::Greater: return TRepEvValue::Boolean(a > b);
    case TRepEvOperator::GreaterEqual: return TRepEvValue::Boolean(a >= b);
    case TRepEvOperator::Equal: return TRepEvValue::Boolean(a == b);
    default: return TRepEvValue::Boolean(!(a == b));
    }
}

bool IsComparison(TRepEvOperator op) { return int(op) <= int(TRepEvOperator::NotEqual); }

TRepEvValue IntegerOperator(TRepEvOperator op, int32_t a, int32_t b)
{
    if (IsComparison(op))
        return Compare(op, a, b);
    switch (op) {
    case TRepEvOperator::Plus: return FromInt64(int64_t(a) + b);
    case TRepEvOperator::Minus: return FromInt64(int64_t(a) - b);
    case TRepEvOperator::Multiply: return FromInt64(int64_t(a) * b);
    case TRepEvOperator::Or: return TRepEvValue::Integer(a | b);
    case TRepEvOperator::And: return TRepEvValue::Integer(a & b);
    default:
        if (b == 0)
            return TRepEvValue::Error(QStringLiteral("Cannot divide by 0"));
        return TRepEvValue::Float(double(a) / double(b));
    }
}

TRepEvValue FloatOperator(TRepEvOperator op, double a, double b)
{
    if (IsComparison(op))
        return Compare(op, a, b);
    switch (op) {
    case TRepEvOperator::Plus: return FromDouble(a + b);
    case TRepEvOperator::Minus: return FromDouble(a - b);
    case TRepEvOperator::Multiply: return FromDouble(a * b);
    case TRepEvOperator::Or:
    case TRepEvOperator::And: return TRepEvValue::Error(RepExprText::NotCompatible(Symbol(op), "numeric"));
    default:
        if (b == 0)
            return TRepEvValue::Error(QStringLiteral("Cannot divide by 0"));
        return FromDouble(a / b);
    }
}

// Strings order by their Windows-1251 bytes (case-sensitive; a proper
// prefix is smaller) and are equal only when identical.
struct TByteText {
    const QString &Text;
    bool operator<(const TByteText &o) const { return CompareStr(Text, o.Text) < 0; }
    bool operator<=(const TByteText &o) const { return CompareStr(Text, o.Text) <= 0; }
    bool operator>(const TByteText &o) const { return CompareStr(Text, o.Text) > 0; }
    bool operator>=(const TByteText &o) const { return CompareStr(Text, o.Text) >= 0; }
    bool operator==(const TByteText &o) const { return Text == o.Text; }
};

TRepEvValue StringOperator(TRepEvOperator op, const QString &a, const QString &b)
{
    if (IsComparison(op))
        return Compare(op, TByteText{a}, TByteText{b});
    if (op == TRepEvOperator::Plus)
        return TRepEvValue::String(a.size() >= RepEvMaxString ? a : a + b);
    if (op == TRepEvOperator::Or || op == TRepEvOperator::And)
        return TRepEvValue::Error(RepExprText::NotCompatible(Symbol(op), "string"));
    return TRepEvValue::Error(RepExprText::CannotDo(kOperatorText[int(op)].Verb, QStringLiteral("string")));
}

TRepEvValue BooleanOperator(TRepEvOperator op, bool a, bool b)
{
    switch (op) {
    case TRepEvOperator::Equal: return TRepEvValue::Boolean(a == b);
    case TRepEvOperator::NotEqual: return TRepEvValue::Boolean(a != b);
    case TRepEvOperator::Or: return TRepEvValue::Boolean(a || b);
    case TRepEvOperator::And: return TRepEvValue::Boolean(a && b);
    default:
        if (IsComparison(op))
            return TRepEvValue::Error(RepExprText::NotCompatible(Symbol(op), "boolean"));
        return TRepEvValue::Error(RepExprText::CannotDo(kOperatorText[int(op)].Verb, QStringLiteral("boolean")));
    }
}

} // namespace

TRepEvValue RepEvApplyOperator(TRepEvOperator op, const TRepEvValue &left, const TRepEvValue &right)
{
    if (left.IsError())
        return left;
    if (right.IsError())
        return right;
    if (left.Kind == right.Kind) {
        switch (left.Kind) {
        case TRepEvKind::Integer: return IntegerOperator(op, left.IntValue, right.IntValue);
        case TRepEvKind::Float: return FloatOperator(op, left.FloatValue, right.FloatValue);
        case TRepEvKind::String: return StringOperator(op, left.Text, right.Text);
        default: return BooleanOperator(op, left.BoolValue, right.BoolValue);
        }
    }
    // Integer with float is a float; every other pair meets as text.
    if (left.IsNumber() && right.IsNumber())
        return FloatOperator(op, left.AsDouble(), right.AsDouble());
    return StringOperator(op, TRepEvValue::String(RepEvValueText(left)).Text,
                          TRepEvValue::String(RepEvValueText(right)).Text);
}

TRepEvValue TRepEvElementOperator::ComputeValue(TRepFiFo &queue)
{
    const TRepEvValue left = NextValue(queue);
    const TRepEvValue right = NextValue(queue);
    return RepEvApplyOperator(OperatorCode, left, right);
}

TRepEvValue TRepEvElementNot::ComputeValue(TRepFiFo &queue)
{
    const TRepEvValue operand = NextValue(queue);
    if (operand.Kind == TRepEvKind::Boolean)
        return TRepEvValue::Boolean(!operand.BoolValue);
    return TRepEvValue::Error(QStringLiteral("Invalid use of NOT"));
}

// ---- functions ----

void TRepEvElementFunction::CollectArguments(TRepFiFo &queue)
{
    Arguments.clear();
    while (TRepEvElement *element = queue.NextElement()) {
        if (dynamic_cast<TRepEvElementArgumentEnd *>(element))
            break;
        Arguments.push_back(element->ComputeValue(queue));
    }
}

TRepEvValue TRepEvElementFunction::ComputeValue(TRepFiFo &queue)
{
    CollectArguments(queue);
    if (queue.AggregateMode)
        AddCurrentRecord();
    TRepEvValue result = CalculateResult();
    Arguments.clear();
    return result;
}

TRepEvValue TRepEvElementFunction::CalculateResult()
{
    return TRepEvValue::Error(RepExprText::WrongArguments(GetFunctionName()));
}

QString TRepEvElementFunction::GetVendorText() const { return QStringLiteral("Zorbel"); }

// ---- fields ----

TRepEvElementDataField::TRepEvElementDataField(TField *field)
{
    SourceDataSet = field->DataSet();
    FieldIndex = field->Index();
    fieldName_ = field->FieldName();
    Bind(field);
}

void TRepEvElementDataField::Bind(TField *field)
{
    SourceField = field;
    if (!field)
        read_ = TRepFieldRead::Unknown;
    else if (dynamic_cast<TStringField *>(field))
        read_ = TRepFieldRead::String;
    else if (dynamic_cast<TIntegerField *>(field))
        read_ = TRepFieldRead::Integer;
    else if (dynamic_cast<TFloatField *>(field))
        read_ = TRepFieldRead::Float;
    else if (dynamic_cast<TBooleanField *>(field))
        read_ = TRepFieldRead::Boolean;
    else if (dynamic_cast<TDateTimeField *>(field))
        read_ = TRepFieldRead::DateText;
    else
        read_ = TRepFieldRead::Unknown;
}

TRepEvValue TRepEvElementDataField::ComputeValue(TRepFiFo &)
{
    // Default fields are made again whenever the dataset opens: fetch the
    // field at the same position each time (none while it is closed).
    if (SourceDataSet && SourceDataSet->DefaultFields()) {
        TField *current = FieldIndex < SourceDataSet->Fields().Count() ? SourceDataSet->Fields()[FieldIndex] : nullptr;
        if (current != SourceField)
            Bind(current);
    }
    try {
        switch (read_) {
        case TRepFieldRead::String: {
            QString text;
            static_cast<TStringField *>(SourceField)->GetValue(text);
            return TRepEvValue::String(text);
        }
        case TRepFieldRead::Integer: {
            int value = 0;
            static_cast<TIntegerField *>(SourceField)->GetValue(value);
            return TRepEvValue::Integer(value);
        }
        case TRepFieldRead::Float: {
            double value = 0;
            static_cast<TFloatField *>(SourceField)->GetValue(value);
            return std::isfinite(value) ? TRepEvValue::Float(value) : TRepEvValue::Error(RepExprText::FloatOverflow);
        }
        case TRepFieldRead::Boolean: {
            bool value = false;
            static_cast<TBooleanField *>(SourceField)->GetValue(value);
            return TRepEvValue::Boolean(value);
        }
        case TRepFieldRead::DateText: return TRepEvValue::String(SourceField->AsString());
        case TRepFieldRead::Unknown: break;
        }
    } catch (const Exception &e) {
        return TRepEvValue::Error(e.Message());
    }
    return TRepEvValue::Error(QStringLiteral("Field %1 is of unknown type").arg(fieldName_));
}

// ---- variables ----

TRepEvValue TRepEvElementWrapper::ComputeValue(TRepFiFo &queue) { return Target->ComputeValue(queue); }

TRepEvEmbeddedFunction::TRepEvEmbeddedFunction(const QString &expression)
    : OwnEvaluator(std::make_unique<TRepEvaluator>()), ExpressionText(expression)
{
}

TRepEvValue TRepEvEmbeddedFunction::ComputeValue(TRepFiFo &)
{
    if (Busy)
        return TRepEvValue::Error(QStringLiteral("Recursive calls not allowed"));
    // Variables that use variables nest evaluations; each is bounded by
    // RepEvMaxDepth, and so is their chain, so the stack stays bounded.
    static thread_local int nesting = 0;
    if (nesting >= RepEvMaxVariableNesting)
        return TRepEvValue::Error(QStringLiteral("Expression too complex"));
    struct TBusy {
        bool &Flag;
        explicit TBusy(bool &flag) : Flag(flag) { Flag = true; ++nesting; }
        ~TBusy() { Flag = false; --nesting; }
    } busy(Busy);
    return OwnEvaluator->Evaluate();
}

// ---- parser ----

class TRepEvaluator::TParser {
public:
    explicit TParser(TRepEvaluator &owner) : owner_(owner) {}

    // Parses text at a level (1 comparison .. 4 factor).
    void Parse(int level, const QString &text)
    {
        if (depth_ >= RepEvMaxDepth) {
            owner_.Append(std::make_unique<TRepEvElementError>(QStringLiteral("Expression too complex")));
            return;
        }
        ++depth_;
        struct TLeave {
            int &Depth;
            ~TLeave() { --Depth; }
        } leave{depth_};
        switch (level) {
        case 1: Binary(1, text); break;
        case 2: Binary(2, text); break;
        case 3: Binary(3, text); break;
        default: Factor(text); break;
        }
    }

private:
    struct TSplit {
        int Position = -1;
        int Length = 0;
        TRepEvOperator Op = TRepEvOperator::Plus;
    };

    static bool WordAt(const QString &text, int at, QLatin1String word)
    {
        return QStringView(text).mid(at, word.size()).compare(word, Qt::CaseInsensitive) == 0 &&
               at + word.size() <= text.size();
    }

    // The operator of the level at position i, if one starts there.
    static bool OperatorAt(const QString &text, int i, int level, TSplit &split)
    {
        const QChar c = text[i];
        const QChar next = text[i + 1];
        auto found = [&](TRepEvOperator op, int length) {
            split = TSplit{i, length, op};
            return true;
        };
        switch (level) {
        case 1:
            if (c == u'<') {
                if (next == u'>')
                    return found(TRepEvOperator::NotEqual, 2);
                if (next == u'=')
                    return found(TRepEvOperator::LessEqual, 2);
                return found(TRepEvOperator::Less, 1);
            }
            if (c == u'=')
                return found(TRepEvOperator::Equal, 1);
            if (c == u'>')
                return next == u'=' ? found(TRepEvOperator::GreaterEqual, 2) : found(TRepEvOperator::Greater, 1);
            return false;
        case 2:
            if (c == u'+')
                return found(TRepEvOperator::Plus, 1);
            if (c == u'-')
                return found(TRepEvOperator::Minus, 1);
            if (c == u' ' && WordAt(text, i + 1, QLatin1String("or ")))
                return found(TRepEvOperator::Or, 4);
            return false;
        default:
            if (c == u'*')
                return found(TRepEvOperator::Multiply, 1);
            if (c == u'/')
                return found(TRepEvOperator::Divide, 1);
            if (c == u' ' && WordAt(text, i + 1, QLatin1String("and ")))
                return found(TRepEvOperator::And, 5);
            return false;
        }
    }

    // The operators of the level outside quotes, brackets and parentheses,
    // in text order. An operator is never the first or last character, and
    // only follows a non-blank operand: in "a+-b" the minus is the sign of b.
    // Level 1 stops at the first one: a second comparison lands in an operand
    // and yields an error there.
    static std::vector<TSplit> FindOperators(const QString &text, int level)
    {
        std::vector<TSplit> splits;
        const int n = int(text.size());
        bool inQuote = false;
        bool inBracket = false;
        int depth = 0;
        bool operand = false; // a non-blank character since the last operator
        for (int i = 0; i < n; ++i) {
            TSplit split;
            if (!inQuote && !inBracket && depth == 0 && operand && i < n - 1 && OperatorAt(text, i, level, split)) {
                splits.push_back(split);
                if (level == 1)
                    break;
                operand = false;
                i += split.Length - 1;
                continue;
            }
            const QChar c = text[i];
            if (c != u' ')
                operand = true;
            if (inBracket) {
                if (c == u']')
                    inBracket = false;
            } else if (c == u'\'') {
                inQuote = !inQuote;
            } else if (!inQuote) {
                if (c == u'[')
                    inBracket = true;
                else if (c == u'(')
                    ++depth;
                else if (c == u')')
                    --depth;
            }
        }
        return splits;
    }

    static bool IsWordOperator(TRepEvOperator op) { return op == TRepEvOperator::Or || op == TRepEvOperator::And; }

    // + - and * / group from left to right: a-b-c is (a-b)-c and a/b*c is
    // (a/b)*c. The first "or" (or "and") of the level ends the chain: its
    // left operand is the last operand of the chain and its right operand is
    // the rest of the text at the same level, so a-b or c-d is
    // a-(b or (c-d)). In prefix order the last operator comes first, then the
    // operands in text order.
    void Binary(int level, const QString &text)
    {
        std::vector<TSplit> splits = FindOperators(text, level);
        if (splits.empty()) {
            Parse(level + 1, text);
            return;
        }
        const auto word = std::find_if(splits.begin(), splits.end(), [](const TSplit &s) { return IsWordOperator(s.Op); });
        const bool tail = word != splits.end();
        if (tail)
            splits.erase(word + 1, splits.end());
        const int chain = int(splits.size());
        if (depth_ + chain > RepEvMaxDepth) {
            Error(QStringLiteral("Expression too complex"));
            return;
        }
        // The chain's operators; a word operator comes just before the
        // chain's last operand, its own left operand.
        const int plain = chain - (tail ? 1 : 0);
        for (int k = plain - 1; k >= 0; --k)
            owner_.Append(std::make_unique<TRepEvElementOperator>(splits[size_t(k)].Op));
        // Each operator adds one level of nesting to the evaluation.
        depth_ += chain;
        const int operandLevel = level == 1 ? 2 : level + 1;
        int from = 0;
        for (int k = 0; k < chain; ++k) {
            const TSplit &split = splits[size_t(k)];
            if (k == plain)
                owner_.Append(std::make_unique<TRepEvElementOperator>(split.Op));
            Parse(operandLevel, text.mid(from, split.Position - from));
            from = split.Position + split.Length;
        }
        Parse(level == 1 ? 2 : tail ? level : operandLevel, text.mid(from));
        depth_ -= chain;
    }

    void Error(const QString &message) { owner_.Append(std::make_unique<TRepEvElementError>(message)); }

    static QString TrimSpaces(const QString &text)
    {
        int from = 0;
        int to = int(text.size());
        while (from < to && text[from] == u' ')
            ++from;
        while (to > from && text[to - 1] == u' ')
            --to;
        return text.mid(from, to - from);
    }

    static bool IsLetter(QChar c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }
    static bool IsDigit(QChar c) { return c >= u'0' && c <= u'9'; }

    void Factor(const QString &raw)
    {
        const QString text = TrimSpaces(raw);
        const int n = int(text.size());
        const QChar first = n > 0 ? text[0] : QChar();
        if (n >= 3 && QStringView(text).left(3).compare(QLatin1String("not"), Qt::CaseInsensitive) == 0) {
            owner_.Append(std::make_unique<TRepEvElementNot>());
            Parse(2, text.mid(3));
        } else if (first == u'\'') {
            if (n >= 2 && text[n - 1] == u'\'')
                owner_.Append(std::make_unique<TRepEvElementString>(text.mid(1, n - 2)));
            else
                Error(QStringLiteral("Missing '"));
        } else if (first == u'(') {
            if (n >= 2 && text[n - 1] == u')')
                Parse(1, text.mid(1, n - 2));
            else
                Error(QStringLiteral("Missing )"));
        } else if (first == u'+') {
            Parse(4, text.mid(1));
        } else if (first == u'-') {
            Parse(2, QStringLiteral("0-") + text.mid(1));
        } else if (IsDigit(first)) {
            Number(text);
        } else if (IsLetter(first)) {
            NameOrCall(text);
        } else if (first == u'[') {
            if (n >= 2 && text[n - 1] == u']')
                owner_.AddNameReference(text.mid(1, n - 2));
            else
                Error(QStringLiteral("Missing ]"));
        } else {
            Error(QStringLiteral("Error in expression : ") + text);
        }
    }

    void Number(const QString &text)
    {
        const QString illegal = QStringLiteral("Illegal character in numeric contant \"%1\"").arg(text);
        bool digitsOnly = true;
        for (QChar c : text) {
            if (IsDigit(c))
                continue;
            if (c != u'+' && c != u'-' && c != u'.' && c != u'E' && c != u'e')
                return Error(illegal);
            digitsOnly = false;
        }
        if (digitsOnly) {
            int64_t value = 0;
            bool fits = true;
            for (QChar c : text) {
                value = value * 10 + (c.unicode() - u'0');
                if (value > std::numeric_limits<int32_t>::max()) {
                    fits = false;
                    break;
                }
            }
            if (fits)
                return owner_.Append(std::make_unique<TRepEvElementConstant>(TRepEvValue::Integer(int32_t(value))));
        }
        QString local = text;
        local.replace(u'.', FormatSettings().DecimalSeparator);
        double value = 0;
        if (!TryStrToFloat(local, value))
            return Error(illegal);
        owner_.Append(std::make_unique<TRepEvElementConstant>(TRepEvValue::Float(value)));
    }

    void NameOrCall(const QString &text)
    {
        const int open = int(text.indexOf(u'('));
        if (open < 0)
            return owner_.AddFunctionCall(text, QString());
        if (!text.endsWith(u')'))
            return Error(RepExprText::UnknownFunction(QString()));
        owner_.AddFunctionCall(text.left(open), text.mid(open + 1, text.size() - open - 2));
    }

public:
    // Arguments: cut at every "," at depth 0 outside quotes (never at the
    // last character), each piece parsed as a whole expression.
    void Arguments(const QString &text)
    {
        const int n = int(text.size());
        bool inQuote = false;
        int depth = 0;
        int start = 0;
        for (int i = 0; i < n - 1; ++i) {
            const QChar c = text[i];
            if (c == u'\'')
                inQuote = !inQuote;
            else if (inQuote)
                continue;
            else if (c == u'(')
                ++depth;
            else if (c == u')')
                --depth;
            else if (c == u',' && depth == 0) {
                Parse(1, text.mid(start, i - start));
                start = i + 1;
            }
        }
        Parse(1, text.mid(start));
    }

private:
    TRepEvaluator &owner_;
    int depth_ = 0;
};

// ---- evaluator ----

TRepEvaluator::TRepEvaluator() = default;

TRepEvaluator::~TRepEvaluator() { Discard(); }

void TRepEvaluator::Append(std::unique_ptr<TRepEvElement> element) { queue_->Append(std::move(element)); }

void TRepEvaluator::Compile(const QString &expression)
{
    Discard();
    TRepEvEnvironment &global = GlobalEnvironment();
    global.CompileAll();
    globalUse_ = &global;
    queue_ = std::make_unique<TRepFiFo>();
    TParser parser(*this);
    parser_ = &parser;
    struct TDone {
        TParser *&Parser;
        ~TDone() { Parser = nullptr; }
    } done{parser_};
    parser.Parse(1, expression.isEmpty() ? QStringLiteral("' '") : expression);
    isCompiled_ = true;
}

void TRepEvaluator::Discard()
{
    queue_.reset();
    isCompiled_ = false;
    if (TRepEvEnvironment *global = globalUse_) {
        globalUse_ = nullptr;
        ReleaseGlobalUse(*global);
    }
}

TRepEvValue TRepEvaluator::Evaluate()
{
    if (!isCompiled_)
        throw ERepExprError(QStringLiteral("Evaluator not prepared"));
    queue_->Rewind();
    return queue_->NextElement()->ComputeValue(*queue_);
}

void TRepEvaluator::Accumulate()
{
    SetAggregateMode(true);
    struct TPlain {
        TRepEvaluator &Owner;
        ~TPlain() { Owner.SetAggregateMode(false); }
    } plain{*this};
    Evaluate();
}

void TRepEvaluator::SetAggregateMode(bool on)
{
    if (queue_)
        queue_->AggregateMode = on;
}

void TRepEvaluator::ClearTotals()
{
    if (!queue_)
        return;
    for (int i = 0; i < queue_->Count(); ++i)
        queue_->Element(i)->ClearTotals();
}

bool TRepEvaluator::HasAggregates() const
{
    if (!queue_)
        return false;
    for (int i = 0; i < queue_->Count(); ++i)
        if (queue_->Element(i)->IsAggregate)
            return true;
    return false;
}

TRepEvValue TRepEvaluator::EvaluateText(const QString &expression)
{
    Compile(expression);
    struct TDiscard {
        TRepEvaluator &Owner;
        ~TDiscard() { Owner.Discard(); }
    } discard{*this};
    return Evaluate();
}

void TRepEvaluator::AddFunctionCall(const QString &name, const QString &arguments)
{
    const QString upper = AnsiUpperCase(name);
    const TRepFunctionLibrary &library = FunctionLibrary();
    const int index = library.IndexOf(upper);
    if (index < 0) {
        if (arguments.isEmpty())
            AddNameReference(upper);
        else
            Append(std::make_unique<TRepEvElementError>(RepExprText::UnknownFunction(upper)));
        return;
    }
    Append(library.GetEntry(index).ElementClass());
    if (!arguments.isEmpty() && parser_)
        parser_->Arguments(arguments);
    Append(std::make_unique<TRepEvElementArgumentEnd>());
}

void TRepEvaluator::AddNameReference(const QString &name)
{
    if (std::vector<TDataSet *> *dataSets = dataSets_.Peek()) {
        const int dot = int(name.indexOf(u'.'));
        const QString qualifier = dot < 0 ? QString() : AnsiUpperCase(name.left(dot));
        const QString fieldName = AnsiUpperCase(dot < 0 ? name : name.mid(dot + 1));
        for (TDataSet *dataSet : *dataSets) {
            if (!dataSet)
                continue;
            if (!qualifier.isEmpty() && AnsiUpperCase(dataSet->Name()) != qualifier)
                continue;
            if (TField *field = dataSet->FindField(fieldName))
                return Append(std::make_unique<TRepEvElementDataField>(field));
            if (!qualifier.isEmpty())
                break;
        }
    }
    AddVariableReference(name);
}

void TRepEvaluator::AddVariableReference(const QString &name)
{
    if (LocalEnvironment && LocalEnvironment->IndexOf(name) >= 0)
        return Append(LocalEnvironment->CreateVariableElement(name));
    Append(GlobalEnvironment().CreateVariableElement(name));
}

} // namespace zorbel
