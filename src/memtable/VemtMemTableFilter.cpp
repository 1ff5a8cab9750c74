// Filters of the memory table: the Filter text is parsed once into a tree
// (TExprParser) and evaluated here for every record under test.
//
// Values are Variants of the kinds empty, null, integer, real, currency,
// string, boolean, date and array. Two non-null values are compared and
// combined in the mode that their kinds select (kComparePairs). Null and
// empty operands:
//   comparisons, LIKE, IN, compare nodes   false
//   NOT                                    null
//   AND                                    false when a known side is false, else null
//   OR                                     the known side's truth value; both null: null
//   arithmetic, negation, string functions null
// and a null result of the whole expression hides the record without raising.
#include "memtable/VemtMemTable.h"

#include "platform/dataset/DBConsts.h"
#include "platform/rtl/DateTime.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/FormatSettings.h"
#include "platform/rtl/StrUtils.h"

#include <array>
#include <cmath>
#include <vector>

namespace zorbel {

namespace {

constexpr int kListSize = 51;  // elements of an argument or value list
constexpr int kMaxMaskStars = 30;

// Kinds of non-null values, and the modes in which a pair is compared.
enum Kind { kInt, kReal, kCurr, kStr, kBool, kDate };
enum Mode { mInt, mReal, mCurr, mStr, mBool };

// Mode of a (left, right) pair of kinds.
//                                      int    real   curr   str    bool   date
constexpr Mode kComparePairs[6][6] = {{mInt, mReal, mCurr, mReal, mInt, mReal},    // int
                                      {mReal, mReal, mCurr, mReal, mReal, mReal},  // real
                                      {mCurr, mCurr, mCurr, mCurr, mCurr, mReal},  // currency
                                      {mReal, mReal, mCurr, mStr, mBool, mReal},   // string
                                      {mInt, mReal, mCurr, mBool, mBool, mReal},   // boolean
                                      {mReal, mReal, mReal, mReal, mReal, mReal}}; // date

bool Clear(const Variant &v) { return v.IsNull() || v.IsEmpty(); }

Kind KindOf(const Variant &v)
{
    switch (v.VarType()) {
    case varSmallint: case varInteger: case varInt64: return kInt;
    case varCurrency: return kCurr;
    case varString: return kStr;
    case varBoolean: return kBool;
    case varDate: return kDate;
    default: return kReal;
    }
}

Mode PairMode(const Variant &a, const Variant &b) { return kComparePairs[KindOf(a)][KindOf(b)]; }

template <typename T> int Sign(T a, T b) { return a < b ? -1 : (a > b ? 1 : 0); }

// -1, 0 or 1 for two non-null values.
int CompareKnown(const Variant &a, const Variant &b)
{
    switch (PairMode(a, b)) {
    case mInt: return Sign(a.AsInteger(), b.AsInteger());
    case mCurr: return Sign(a.AsCurrencyUnits(), b.AsCurrencyUnits());
    case mBool: return Sign(int(a.AsBoolean()), int(b.AsBoolean()));
    case mStr: {
        const int c = CompareStr(a.AsString(), b.AsString());
        return Sign(c, 0);
    }
    case mReal: break;
    }
    return Sign(a.AsDouble(), b.AsDouble());
}

// Truth value of a non-null value.
bool Truth(const Variant &v)
{
    switch (KindOf(v)) {
    case kInt: return v.AsInt64() != 0;
    case kReal: case kDate: return v.AsDouble() != 0;
    case kCurr: return v.AsCurrencyUnits() != 0;
    default: return v.AsBoolean();
    }
}

Variant IntegerResult(std::int64_t value)
{
    if (value >= INT32_MIN && value <= INT32_MAX)
        return Variant(static_cast<int>(value));
    return Variant(static_cast<long long>(value));
}

Variant Arithmetic(TCanOp op, const Variant &a, const Variant &b)
{
    if (Clear(a) || Clear(b))
        return Variant::Null();
    if (op == coADD && KindOf(a) == kStr && KindOf(b) == kStr)
        return Variant(a.AsString() + b.AsString());
    if (op == coDIV)
        return Variant(a.AsDouble() / b.AsDouble());
    if (op == coMOD || op == coREM) {
        const std::int64_t divisor = b.AsInt64();
        if (divisor == 0)
            return Variant::Null(); // no value rather than a fault
        return IntegerResult(a.AsInt64() % divisor);
    }
    Mode mode = PairMode(a, b);
    if (mode == mStr)
        mode = mReal;
    switch (mode) {
    case mInt: case mBool: {
        const std::int64_t x = a.AsInt64();
        const std::int64_t y = b.AsInt64();
        return IntegerResult(op == coADD ? x + y : (op == coSUB ? x - y : x * y));
    }
    case mCurr: {
        if (op == coMUL)
            return Variant::FromCurrency(a.AsCurrency() * b.AsCurrency());
        const std::int64_t x = a.AsCurrencyUnits();
        const std::int64_t y = b.AsCurrencyUnits();
        return Variant::FromCurrencyUnits(op == coADD ? x + y : x - y);
    }
    default: {
        const double x = a.AsDouble();
        const double y = b.AsDouble();
        return Variant(op == coADD ? x + y : (op == coSUB ? x - y : x * y));
    }
    }
}

Variant Negate(const Variant &v)
{
    if (Clear(v))
        return Variant::Null();
    switch (KindOf(v)) {
    case kInt: case kBool: return IntegerResult(-v.AsInt64());
    case kCurr: return Variant::FromCurrencyUnits(-v.AsCurrencyUnits());
    case kDate: return Variant::FromDate(-v.AsDate());
    default: return Variant(-v.AsDouble());
    }
}

// ---- Masks (LIKE) ----

QChar FoldLatin(QChar c) { return (c >= u'a' && c <= u'z') ? QChar(c.unicode() - 32) : c; }

struct MaskElement {
    enum Type { Literal, AnyChar, Star, Set } type = Literal;
    QChar ch;                                     // Literal
    bool negate = false;                          // Set
    std::vector<std::pair<QChar, QChar>> ranges;  // Set, folded
};

[[noreturn]] void InvalidMask(const QString &mask, int position)
{
    throw Exception(QStringLiteral("'%1' is an invalid mask at (%2)").arg(mask).arg(position));
}

std::vector<MaskElement> CompileMask(const QString &mask)
{
    std::vector<MaskElement> elements;
    int stars = 0;
    for (int i = 0; i < mask.size(); ++i) {
        const QChar c = mask[i];
        MaskElement e;
        if (c == u'*') {
            if (++stars > kMaxMaskStars)
                InvalidMask(mask, i + 1);
            e.type = MaskElement::Star;
        } else if (c == u'?') {
            e.type = MaskElement::AnyChar;
        } else if (c == u'[') {
            const int open = i;
            e.type = MaskElement::Set;
            ++i;
            if (i < mask.size() && mask[i] == u'!') {
                e.negate = true;
                ++i;
            }
            bool closed = false;
            for (; i < mask.size(); ++i) {
                if (mask[i] == u']') {
                    closed = true;
                    break;
                }
                if (mask[i] == u'-')
                    InvalidMask(mask, i + 1); // a range without its first character
                QChar first = FoldLatin(mask[i]);
                QChar last = first;
                if (i + 2 < mask.size() && mask[i + 1] == u'-' && mask[i + 2] != u']') {
                    last = FoldLatin(mask[i + 2]);
                    i += 2;
                }
                e.ranges.emplace_back(first, last);
            }
            if (!closed)
                InvalidMask(mask, open + 1);
        } else {
            e.ch = FoldLatin(c);
        }
        elements.push_back(std::move(e));
    }
    return elements;
}

bool ElementMatches(const MaskElement &e, QChar c)
{
    const QChar f = FoldLatin(c);
    switch (e.type) {
    case MaskElement::AnyChar: return true;
    case MaskElement::Literal: return e.ch == f;
    case MaskElement::Set: {
        bool in = false;
        for (const auto &[first, last] : e.ranges)
            in = in || (f >= first && f <= last);
        return in != e.negate;
    }
    default: return false;
    }
}

// Whether the whole text matches the whole mask.
bool MatchesMask(const QString &text, const QString &mask)
{
    const std::vector<MaskElement> elements = CompileMask(mask);
    // reachable[j]: the characters read so far are matched by elements[0..j).
    const size_t n = elements.size();
    std::vector<char> reachable(n + 1, 0);
    reachable[0] = 1;
    for (size_t j = 1; j <= n; ++j)
        reachable[j] = reachable[j - 1] && elements[j - 1].type == MaskElement::Star;
    std::vector<char> next(n + 1, 0);
    for (const QChar c : text) {
        next[0] = 0;
        for (size_t j = 1; j <= n; ++j) {
            const MaskElement &e = elements[j - 1];
            if (e.type == MaskElement::Star)
                next[j] = next[j - 1] || reachable[j];
            else
                next[j] = reachable[j - 1] && ElementMatches(e, c);
        }
        reachable.swap(next);
    }
    return reachable[n] != 0;
}

bool Like(const Variant &text, const Variant &mask)
{
    if (Clear(text) || Clear(mask))
        return false;
    return MatchesMask(text.AsString(), mask.AsString());
}

TFieldType MapFieldType(TFieldType type)
{
    switch (type) {
    case ftCurrency: return ftFloat;
    case ftAutoInc: return ftInteger;
    case ftFixedChar: case ftWideString: return ftString;
    case ftCursor: case ftReference: case ftDataSet: case ftVariant: case ftInterface:
    case ftIDispatch: case ftGuid:
        return ftUnknown;
    default:
        return TVemtCommon::IsBlobType(type) ? ftBlob : type;
    }
}

bool IsConstantType(TFieldType type)
{
    switch (type) {
    case ftString: case ftFixedChar: case ftSmallint: case ftWord: case ftInteger: case ftAutoInc:
    case ftFloat: case ftCurrency: case ftBoolean: case ftBCD: case ftDate: case ftTime: case ftDateTime:
        return true;
    default:
        return false;
    }
}

[[noreturn]] void NotSupported(TCanOp op)
{
    throw EMemTableFilterError(QStringLiteral("Operator not supported (%1).").arg(static_cast<int>(op)));
}

// Converts text to a date or time with one format setting replaced for the
// time of the conversion.
TDateTime ConvertWithFormat(QString TFormatSettings::*setting, const QString &format, const QString &text,
                            TDateTime (*convert)(const QString &))
{
    QString &slot = FormatSettings().*setting;
    const QString saved = slot;
    slot = format;
    try {
        const TDateTime value = convert(text);
        slot = saved;
        return value;
    } catch (...) {
        slot = saved;
        throw;
    }
}

} // namespace

// ---- Setting the filter ----

void TVemtCustomMemTable::SetFilterText(const QString &text)
{
    TDataSet::SetFilterText(text);
    filterTree_.reset();
    if (!cursorOpen_ || !Active())
        return;
    BuildFilterTree(text, FilterOptions());
    if (Filtered()) {
        First();
        Refresh();
    }
}

void TVemtCustomMemTable::SetFiltered(bool value)
{
    TDataSet::SetFiltered(value);
    if (!cursorOpen_ || !Active())
        return;
    if (value && !filterTree_ && !Filter().trimmed().isEmpty()) {
        SetFilterText(Filter());
        return;
    }
    First();
    Refresh();
}

void TVemtCustomMemTable::BuildFilterTree(const QString &text, TFilterOptions options)
{
    filterTree_.reset();
    const QString trimmed = Trim(text);
    if (trimmed.isEmpty())
        return;
    TExprParser parser(this, trimmed, options, {poExtSyntax}, MapFieldType);
    filterTree_ = parser.TakeRoot();
}

bool TVemtCustomMemTable::IsFilterActive() const
{
    return Filtered() && (filterTree_ || OnFilterRecord());
}

bool TVemtCustomMemTable::AcceptRecord(TVemtRecord *record, bool force)
{
    if (!force && !IsFilterActive())
        return true;
    TVemtRecord *savedRecord = recordUnderTest_;
    const TDataSetState savedState = SetTempState(dsFilter);
    recordUnderTest_ = record;
    bool accept = true;
    try {
        if (recalcOnIndex_)
            CalcRecordFields(record);
        if (force || Filtered()) {
            if (OnFilterRecord())
                OnFilterRecord()(this, accept);
            if (accept && filterTree_)
                accept = EvaluateFilter(record);
        }
    } catch (...) {
        recordUnderTest_ = savedRecord;
        RestoreState(savedState);
        throw;
    }
    recordUnderTest_ = savedRecord;
    RestoreState(savedState);
    return accept;
}

bool TVemtCustomMemTable::EvaluateFilter(TVemtRecord *record)
{
    if (!filterTree_)
        return true;
    // Field reads go to the record under test in the filter state.
    TVemtRecord *saved = recordUnderTest_;
    const bool switchState = State() != dsFilter;
    const TDataSetState savedState = switchState ? SetTempState(dsFilter) : State();
    recordUnderTest_ = record;
    Variant result;
    try {
        result = EvaluateNode(filterTree_.get());
    } catch (...) {
        recordUnderTest_ = saved;
        if (switchState)
            RestoreState(savedState);
        throw;
    }
    recordUnderTest_ = saved;
    if (switchState)
        RestoreState(savedState);
    return !Clear(result) && Truth(result);
}

// ---- Evaluation ----

Variant TVemtCustomMemTable::EvaluateNode(const TExprNode *node)
{
    if (!node)
        return Variant();
    switch (node->NodeClass) {
    case nodeFIELD: {
        if (node->Operator != coFIELD2)
            throw EMemTableFilterError(
                QStringLiteral("Unknown operator (%1)").arg(static_cast<int>(node->Operator)));
        return FieldByName(node->FieldName)->AsVariant();
    }
    case nodeCONST:
        if (node->Operator != coCONST2)
            return Variant();
        if (!IsConstantType(node->DataType))
            throw EMemTableFilterError(
                QStringLiteral("Unknown fieldtype (%1)").arg(static_cast<int>(node->DataType)));
        return node->Value;
    case nodeUNARY: {
        const Variant v = EvaluateNode(node->Left.get());
        switch (node->Operator) {
        case coISBLANK: return Variant(Clear(v));
        case coNOTBLANK: return Variant(!Clear(v));
        case coNOT: return Clear(v) ? Variant::Null() : Variant(!Truth(v));
        case coMINUS: return Negate(v);
        case coUPPER: return Clear(v) ? Variant::Null() : Variant(UpperCase(v.AsString()));
        case coLOWER: return Clear(v) ? Variant::Null() : Variant(LowerCase(v.AsString()));
        default: return Variant();
        }
    }
    case nodeBINARY: {
        const Variant a = EvaluateNode(node->Left.get());
        const Variant b = EvaluateNode(node->Right.get());
        switch (node->Operator) {
        case coEQ: case coNE: case coGT: case coLT: case coGE: case coLE: {
            if (Clear(a) || Clear(b))
                return Variant(false);
            const int c = CompareKnown(a, b);
            switch (node->Operator) {
            case coEQ: return Variant(c == 0);
            case coNE: return Variant(c != 0);
            case coGT: return Variant(c > 0);
            case coLT: return Variant(c < 0);
            case coGE: return Variant(c >= 0);
            default: return Variant(c <= 0);
            }
        }
        case coAND: case coOR: {
            // Three-valued, as VemtMemTable.h says why: a record that passes
            // one side of an "or" stays shown when the other side is null.
            const bool andOp = node->Operator == coAND;
            if (Clear(a) && Clear(b))
                return Variant::Null();
            if (Clear(a) || Clear(b)) {
                const bool known = Truth(Clear(a) ? b : a);
                if (andOp)
                    return known ? Variant::Null() : Variant(false);
                return Variant(known);
            }
            if (KindOf(a) == kInt && KindOf(b) == kInt) {
                const std::int64_t x = a.AsInt64();
                const std::int64_t y = b.AsInt64();
                return Variant((andOp ? (x & y) : (x | y)) != 0);
            }
            return Variant(andOp ? (Truth(a) && Truth(b)) : (Truth(a) || Truth(b)));
        }
        case coADD: case coSUB: case coMUL: case coDIV: case coMOD: case coREM:
            return Arithmetic(node->Operator, a, b);
        case coLIKE:
            return Variant(Like(a, b));
        case coIN: {
            if (Clear(a) || Clear(b))
                return Variant(false);
            if (!b.IsArray())
                return Variant(CompareKnown(a, b) == 0);
            for (int i = 0; i <= b.ArrayHighBound() && !b[i].IsEmpty(); ++i)
                if (!b[i].IsNull() && CompareKnown(a, b[i]) == 0)
                    return Variant(true);
            return Variant(false);
        }
        default:
            NotSupported(node->Operator);
        }
    }
    case nodeCOMPARE: {
        const Variant a = EvaluateNode(node->Left.get());
        const Variant b = EvaluateNode(node->Right.get());
        if (Clear(a) || Clear(b))
            return Variant(false);
        QString x = a.AsString();
        QString y = b.AsString();
        if (node->CaseInsensitive) {
            x = AnsiUpperCase(x);
            y = AnsiUpperCase(y);
        }
        if (node->PartialLength > 0) {
            x = x.left(node->PartialLength);
            y = y.left(node->PartialLength);
        }
        switch (node->Operator) {
        case coEQ: return Variant(x == y);
        case coNE: return Variant(x != y);
        case coLIKE:
            return Variant(Like(EvaluateNode(node->Left.get()), EvaluateNode(node->Right.get())));
        default: NotSupported(node->Operator);
        }
    }
    case nodeFUNC:
        if (node->Operator != coFUNC2)
            NotSupported(node->Operator);
        return EvaluateFunction(node);
    case nodeLISTELEM:
        return EvaluateList(node);
    default:
        return Variant();
    }
}

Variant TVemtCustomMemTable::EvaluateList(const TExprNode *node)
{
    if (!node)
        return Variant();
    if (node->Operator != coLISTELEM2)
        NotSupported(node->Operator);
    std::vector<Variant> items(kListSize);
    int position = 0;
    int count = 0;
    for (const auto &element : node->Elements) {
        if (position >= kListSize)
            break;
        const Variant v = EvaluateNode(element.get());
        ++count;
        if (v.IsArray()) {
            for (int i = 0; i <= v.ArrayHighBound() && !v[i].IsEmpty() && position < kListSize; ++i)
                items[size_t(position++)] = v[i];
        } else {
            items[size_t(position++)] = v;
        }
    }
    if (count < 2) {
        const Variant &single = items[0];
        return Clear(single) ? Variant::Null() : Variant(single.AsString());
    }
    return VarArrayOf(items);
}

Variant TVemtCustomMemTable::EvaluateFunction(const TExprNode *node)
{
    const QString name = AnsiUpperCase(node->FunctionName);
    if (name == QLatin1String("GETDATE"))
        return Variant::FromDate(Now());
    const Variant args = EvaluateList(node->Left.get());
    const Variant first = args.IsArray() ? args[0] : args;
    auto text = [](const Variant &v) { return v.AsString(); };
    if (name == QLatin1String("UPPER") || name == QLatin1String("LOWER") || name == QLatin1String("TRIM") ||
        name == QLatin1String("TRIMLEFT") || name == QLatin1String("TRIMRIGHT")) {
        if (Clear(first))
            return Variant::Null();
        const QString s = text(first);
        if (name == QLatin1String("UPPER"))
            return Variant(UpperCase(s));
        if (name == QLatin1String("LOWER"))
            return Variant(LowerCase(s));
        if (name == QLatin1String("TRIM"))
            return Variant(Trim(s));
        return Variant(name == QLatin1String("TRIMLEFT") ? TrimLeft(s) : TrimRight(s));
    }
    if (name == QLatin1String("SUBSTRING")) {
        if (!args.IsArray())
            throw EMemTableFilterError(QStringLiteral("Invalid or missing parameter for function %1").arg(name));
        if (Clear(first))
            return Variant::Null();
        const QString s = text(first);
        QString fromText = text(args[1]);
        int length = Clear(args[2]) ? 0 : args[2].AsInteger();
        const int comma = fromText.indexOf(u',');
        if (comma >= 0) {
            if (length == 0)
                length = StrToInt(fromText.mid(comma + 1).trimmed());
            fromText = fromText.left(comma);
        }
        const int from = StrToInt(fromText.trimmed());
        return Variant(length > 0 ? s.mid(std::max(from, 1) - 1, length) : s.mid(std::max(from, 1) - 1));
    }
    if (name == QLatin1String("YEAR") || name == QLatin1String("MONTH") || name == QLatin1String("DAY") ||
        name == QLatin1String("HOUR") || name == QLatin1String("MINUTE") || name == QLatin1String("SECOND")) {
        if (Clear(first))
            return Variant::Null();
        const TDateTime value = first.AsDate();
        int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
        DecodeDate(value, year, month, day);
        DecodeTime(value, hour, minute, second, msec);
        if (name == QLatin1String("YEAR"))
            return Variant(year);
        if (name == QLatin1String("MONTH"))
            return Variant(month);
        if (name == QLatin1String("DAY"))
            return Variant(day);
        if (name == QLatin1String("HOUR"))
            return Variant(hour);
        return Variant(name == QLatin1String("MINUTE") ? minute : second);
    }
    if (name == QLatin1String("DATE")) {
        if (args.IsArray())
            return Variant::FromDate(
                ConvertWithFormat(&TFormatSettings::ShortDateFormat, text(args[1]), text(first), StrToDate));
        return Variant(static_cast<int>(std::trunc(first.AsDate())));
    }
    if (name == QLatin1String("TIME")) {
        if (args.IsArray())
            return Variant::FromDate(
                ConvertWithFormat(&TFormatSettings::ShortTimeFormat, text(args[1]), text(first), StrToTime));
        const double value = first.AsDate();
        return Variant(value - std::trunc(value));
    }
    throw EMemTableFilterError(QStringLiteral("Invalid function name %1").arg(name));
}

} // namespace zorbel
