// Filter-expression parser: a tokenizer and a recursive-descent parser with
// one function per precedence level, building TExprNode trees. The rewrites
// that evaluators rely on (constant typing, mirroring, NULL tests, partial
// compares) are made where a comparison is built (MakeComparison).
#include "platform/dataset/FilterExpr.h"

#include "platform/dataset/DBConsts.h"
#include "platform/dataset/DataSet.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/FormatSettings.h"
#include "platform/rtl/StrUtils.h"

#include <cmath>
#include <limits>
#include <map>

namespace zorbel {

namespace {

enum class Tok {
    End, Name, String, Number, LParen, RParen, Comma, Eq, Ne, Lt, Gt, Le, Ge, Plus, Minus, Mul,
    Div, And, Or, Not, Like, Is, Null, In
};

struct Token {
    Tok kind = Tok::End;
    QString text;   // name, unquoted string, or number text
    QString source; // the token as written, for messages
};

// Function names the parser knows; any other name is a field.
constexpr const char *kFunctions[] = {"UPPER", "LOWER", "SUBSTRING", "TRIM", "TRIMLEFT",
                                      "TRIMRIGHT", "GETDATE", "YEAR", "MONTH", "DAY", "HOUR",
                                      "MINUTE", "SECOND", "DATE", "TIME"};

// Keywords and their tokens.
struct Keyword {
    const char *name;
    Tok token;
};
constexpr Keyword kKeywords[] = {{"AND", Tok::And}, {"OR", Tok::Or},     {"NOT", Tok::Not},
                                 {"LIKE", Tok::Like}, {"IS", Tok::Is},   {"NULL", Tok::Null},
                                 {"IN", Tok::In}};

[[noreturn]] void ParseError(const QString &message) { DatabaseError(message); }

bool IsNameStart(QChar c)
{
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_' ||
           (c.unicode() >= 128 && c.isLetter());
}

bool IsNameChar(QChar c) { return IsNameStart(c) || (c >= u'0' && c <= u'9') || c == u'.'; }

bool IsDigit(QChar c) { return c >= u'0' && c <= u'9'; }

class Lexer {
public:
    explicit Lexer(const QString &text) : text_(text) {}

    // Reads the next token; prevOperand tells whether a "-" directly before a
    // number is a sign (it is when no operand precedes).
    Token Next(bool prevOperand)
    {
        SkipBlanks();
        Token t;
        const int start = pos_;
        if (pos_ >= text_.size()) {
            t.kind = Tok::End;
            return t;
        }
        const QChar c = text_[pos_];
        if (IsNameStart(c)) {
            while (pos_ < text_.size() && IsNameChar(text_[pos_]))
                ++pos_;
            t.text = text_.mid(start, pos_ - start);
            t.kind = Tok::Name;
            const QString upper = t.text.toUpper();
            for (const Keyword &k : kKeywords)
                if (upper == QLatin1String(k.name))
                    t.kind = k.token;
        } else if (c == u'[') {
            const int close = int(text_.indexOf(u']', pos_ + 1));
            if (close < 0)
                ParseError(DBConsts::SExprNameError);
            t.kind = Tok::Name;
            t.text = text_.mid(pos_ + 1, close - pos_ - 1);
            pos_ = close + 1;
        } else if (c == u'\'') {
            t.kind = Tok::String;
            t.text = ReadString();
        } else if (IsDigit(c) || (c == u'-' && !prevOperand && pos_ + 1 < text_.size() &&
                                  IsDigit(text_[pos_ + 1]))) {
            t.kind = Tok::Number;
            t.text = ReadNumber();
        } else {
            t.kind = ReadOperator();
        }
        t.source = text_.mid(start, pos_ - start);
        return t;
    }

private:
    void SkipBlanks()
    {
        for (;;) {
            while (pos_ < text_.size() && text_[pos_].unicode() <= ' ')
                ++pos_;
            if (text_.mid(pos_, 2) != QLatin1String("/*"))
                return;
            const int end = int(text_.indexOf(QLatin1String("*/"), pos_ + 2));
            pos_ = end < 0 ? int(text_.size()) : end + 2;
        }
    }

    QString ReadString()
    {
        QString value;
        ++pos_;
        for (;;) {
            if (pos_ >= text_.size())
                ParseError(DBConsts::SExprStringError);
            const QChar c = text_[pos_++];
            if (c != u'\'') {
                value += c;
            } else if (pos_ < text_.size() && text_[pos_] == u'\'') {
                value += c;
                ++pos_;
            } else {
                return value;
            }
        }
    }

    // Digits, a decimal separator followed by digits, an exponent.
    QString ReadNumber()
    {
        const int start = pos_;
        const QChar sep = FormatSettings().DecimalSeparator;
        if (text_[pos_] == u'-')
            ++pos_;
        auto digits = [&] {
            while (pos_ < text_.size() && IsDigit(text_[pos_]))
                ++pos_;
        };
        digits();
        if (pos_ + 1 < text_.size() && text_[pos_] == sep && IsDigit(text_[pos_ + 1])) {
            ++pos_;
            digits();
        }
        if (pos_ < text_.size() && (text_[pos_] == u'e' || text_[pos_] == u'E')) {
            int p = pos_ + 1;
            if (p < text_.size() && (text_[p] == u'+' || text_[p] == u'-'))
                ++p;
            if (p < text_.size() && IsDigit(text_[p])) {
                pos_ = p;
                digits();
            }
        }
        return text_.mid(start, pos_ - start);
    }

    Tok ReadOperator()
    {
        const QChar c = text_[pos_++];
        const QChar n = pos_ < text_.size() ? text_[pos_] : QChar();
        switch (c.unicode()) {
        case '(': return Tok::LParen;
        case ')': return Tok::RParen;
        case ',': return Tok::Comma;
        case '=': return Tok::Eq;
        case '+': return Tok::Plus;
        case '-': return Tok::Minus;
        case '*': return Tok::Mul;
        case '/': return Tok::Div;
        case '<':
            if (n == u'>') { ++pos_; return Tok::Ne; }
            if (n == u'=') { ++pos_; return Tok::Le; }
            return Tok::Lt;
        case '>':
            if (n == u'=') { ++pos_; return Tok::Ge; }
            return Tok::Gt;
        default:
            ParseError(DBConsts::SExprInvalidChar.arg(c));
        }
    }

    const QString &text_;
    int pos_ = 0;
};

using NodePtr = std::unique_ptr<TExprNode>;

NodePtr NewNode(TNodeClass nodeClass, TCanOp op, NodePtr left = nullptr, NodePtr right = nullptr)
{
    auto node = std::make_unique<TExprNode>();
    node->NodeClass = nodeClass;
    node->Operator = op;
    node->Left = std::move(left);
    node->Right = std::move(right);
    return node;
}

TCanOp Mirror(TCanOp op)
{
    switch (op) {
    case coGT: return coLT;
    case coLT: return coGT;
    case coGE: return coLE;
    case coLE: return coGE;
    default: return op;
    }
}

// Types that compare only through LIKE and the blank tests.
bool IsUncomparable(TFieldType t) { return IsBlobType(t) || t == ftBytes || t == ftVarBytes; }

class Parser {
public:
    Parser(TDataSet *dataSet, const QString &text, TFilterOptions options,
           TExprParser::TFieldMap map)
        : dataSet_(dataSet), lexer_(text), options_(options), map_(std::move(map))
    {
        Advance();
    }

    NodePtr Parse()
    {
        NodePtr root = Value(ParseOr());
        if (tok_.kind != Tok::End)
            ParseError(DBConsts::SExprTermination);
        return root;
    }

private:
    void Advance()
    {
        const bool operand = tok_.kind == Tok::Name || tok_.kind == Tok::String ||
                             tok_.kind == Tok::Number || tok_.kind == Tok::RParen ||
                             tok_.kind == Tok::Null;
        tok_ = lexer_.Next(operand && started_);
        started_ = true;
    }

    QString TokenName() const
    {
        return tok_.kind == Tok::End ? DBConsts::SExprNothing : QStringLiteral("'%1'").arg(tok_.source);
    }

    TFieldType Map(TFieldType t) const { return map_ ? map_(t) : t; }

    // A NULL literal is only an operand of = and <> (and IS); anywhere else
    // the expression is malformed.
    static NodePtr Value(NodePtr node)
    {
        if (IsNullLiteral(node.get()))
            ParseError(DBConsts::SExprIncorrect);
        return node;
    }
    static bool IsNullLiteral(const TExprNode *n) { return n && n->NodeClass == nodeNULL; }

    NodePtr ParseOr()
    {
        NodePtr left = ParseAnd();
        while (tok_.kind == Tok::Or) {
            Advance();
            left = NewNode(nodeBINARY, coOR, Value(std::move(left)), Value(ParseAnd()));
        }
        return left;
    }

    NodePtr ParseAnd()
    {
        NodePtr left = ParseNot();
        while (tok_.kind == Tok::And) {
            Advance();
            left = NewNode(nodeBINARY, coAND, Value(std::move(left)), Value(ParseNot()));
        }
        return left;
    }

    NodePtr ParseNot()
    {
        if (tok_.kind != Tok::Not)
            return ParseCompare();
        Advance();
        return NewNode(nodeUNARY, coNOT, Value(ParseNot()));
    }

    NodePtr ParseCompare()
    {
        NodePtr left = ParseAdd();
        TCanOp op;
        switch (tok_.kind) {
        case Tok::Eq: op = coEQ; break;
        case Tok::Ne: op = coNE; break;
        case Tok::Lt: op = coLT; break;
        case Tok::Gt: op = coGT; break;
        case Tok::Le: op = coLE; break;
        case Tok::Ge: op = coGE; break;
        case Tok::Like: op = coLIKE; break;
        case Tok::Is: return ParseIsNull(std::move(left));
        case Tok::In: return ParseIn(std::move(left));
        default: return left;
        }
        Advance();
        return MakeComparison(op, std::move(left), ParseAdd());
    }

    NodePtr ParseIsNull(NodePtr left)
    {
        Advance();
        TCanOp op = coISBLANK;
        if (tok_.kind == Tok::Not) {
            op = coNOTBLANK;
            Advance();
        }
        if (tok_.kind != Tok::Null)
            ParseError(DBConsts::SExprBadNullTest);
        Advance();
        return NewNode(nodeUNARY, op, Value(std::move(left)));
    }

    NodePtr ParseIn(NodePtr left)
    {
        Advance();
        if (tok_.kind != Tok::LParen)
            ParseError(DBConsts::SExprNoLParen.arg(TokenName()));
        Advance();
        if (tok_.kind == Tok::RParen)
            ParseError(DBConsts::SExprEmptyInList);
        NodePtr list = ParseList();
        return NewNode(nodeBINARY, coIN, Value(std::move(left)), std::move(list));
    }

    // Elements separated by commas up to the closing parenthesis (the opening
    // one has been read).
    NodePtr ParseList()
    {
        NodePtr list = NewNode(nodeLISTELEM, coLISTELEM2);
        for (;;) {
            list->Elements.push_back(Value(ParseOr()));
            if (tok_.kind == Tok::Comma) {
                Advance();
                continue;
            }
            if (tok_.kind != Tok::RParen)
                ParseError(DBConsts::SExprNoRParenOrComma.arg(TokenName()));
            Advance();
            return list;
        }
    }

    NodePtr ParseAdd()
    {
        NodePtr left = ParseMul();
        while (tok_.kind == Tok::Plus || tok_.kind == Tok::Minus) {
            const TCanOp op = tok_.kind == Tok::Plus ? coADD : coSUB;
            Advance();
            left = NewNode(nodeBINARY, op, Value(std::move(left)), Value(ParseMul()));
        }
        return left;
    }

    NodePtr ParseMul()
    {
        NodePtr left = ParseUnary();
        while (tok_.kind == Tok::Mul || tok_.kind == Tok::Div) {
            const TCanOp op = tok_.kind == Tok::Mul ? coMUL : coDIV;
            Advance();
            left = NewNode(nodeBINARY, op, Value(std::move(left)), Value(ParseUnary()));
        }
        return left;
    }

    NodePtr ParseUnary()
    {
        if (tok_.kind != Tok::Minus)
            return ParsePrimary();
        Advance();
        return NewNode(nodeUNARY, coMINUS, Value(ParseUnary()));
    }

    NodePtr ParsePrimary()
    {
        switch (tok_.kind) {
        case Tok::Name: {
            const Token name = tok_;
            Advance();
            const QString upper = name.text.toUpper();
            if (tok_.kind == Tok::LParen && name.source == name.text && IsFunction(upper))
                return ParseFunction(upper);
            return FieldNode(name.text);
        }
        case Tok::String: {
            NodePtr node = StringConstant(tok_.text);
            Advance();
            return node;
        }
        case Tok::Number: {
            NodePtr node = NumberConstant(tok_.text);
            Advance();
            return node;
        }
        case Tok::Null:
            Advance();
            return NewNode(nodeNULL, coNOTDEFINED);
        case Tok::LParen: {
            Advance();
            NodePtr inner = ParseOr();
            if (tok_.kind != Tok::RParen)
                ParseError(DBConsts::SExprNoRParen.arg(TokenName()));
            Advance();
            return inner;
        }
        default:
            ParseError(DBConsts::SExprExpected.arg(TokenName()));
        }
    }

    static bool IsFunction(const QString &upper)
    {
        for (const char *f : kFunctions)
            if (upper == QLatin1String(f))
                return true;
        return false;
    }

    NodePtr ParseFunction(const QString &name)
    {
        Advance(); // "("
        NodePtr node = NewNode(nodeFUNC, coFUNC2);
        node->FunctionName = name;
        if (tok_.kind == Tok::RParen)
            Advance();
        else
            node->Left = ParseList();
        return node;
    }

    NodePtr FieldNode(const QString &name)
    {
        NodePtr node = NewNode(nodeFIELD, coFIELD2);
        node->FieldName = name;
        if (dataSet_) {
            const TField *field = dataSet_->FieldByName(name);
            node->FieldName = field->FieldName();
            node->FieldNo = field->FieldNo();
            node->DataType = Map(field->DataType());
            node->Size = field->Size();
            rawTypes_[node.get()] = field->DataType();
        }
        return node;
    }

    NodePtr StringConstant(const QString &text)
    {
        NodePtr node = NewNode(nodeCONST, coCONST2);
        node->DataType = Map(ftString);
        node->Size = int(text.size());
        node->Value = Variant(text);
        constText_[node.get()] = text;
        return node;
    }

    NodePtr NumberConstant(const QString &text)
    {
        NodePtr node = NewNode(nodeCONST, coCONST2);
        int integer;
        double real;
        if (TryStrToInt(text, integer)) {
            node->DataType = Map(ftInteger);
            node->Value = Variant(integer);
        } else if (TryStrToFloat(text, real)) {
            node->DataType = Map(ftFloat);
            node->Value = Variant(real);
        } else {
            ParseError(DBConsts::SExprBadConst.arg(FieldTypeName(ftFloat)));
        }
        constText_[node.get()] = text;
        return node;
    }

    // The raw (unmapped) type of a field node, ftUnknown for other nodes.
    TFieldType RawType(const TExprNode *n) const
    {
        auto it = rawTypes_.find(n);
        return it == rawTypes_.end() ? ftUnknown : it->second;
    }

    NodePtr MakeComparison(TCanOp op, NodePtr left, NodePtr right)
    {
        if (IsNullLiteral(left.get()) || IsNullLiteral(right.get())) {
            if (op != coEQ && op != coNE)
                ParseError(DBConsts::SExprNullOnlyEqNe);
            NodePtr operand = Value(IsNullLiteral(left.get()) ? std::move(right) : std::move(left));
            return NewNode(nodeUNARY, op == coEQ ? coISBLANK : coNOTBLANK, std::move(operand));
        }
        if (op != coLIKE && left->NodeClass == nodeCONST && right->NodeClass == nodeFIELD) {
            std::swap(left, right);
            op = Mirror(op);
        }
        if (op != coLIKE && (IsUncomparable(RawType(left.get())) || IsUncomparable(RawType(right.get()))))
            ParseError(DBConsts::SExprTypeMis);
        const bool fieldConst = left->NodeClass == nodeFIELD && right->NodeClass == nodeCONST;
        if (fieldConst && RawType(left.get()) != ftUnknown && op != coLIKE)
            TypeConstant(*right, RawType(left.get()), left->Size);
        if (op != coLIKE) {
            // A text compared with a date, time or date-time operand that is
            // not a field takes that operand's type too.
            if (IsTextConstant(right.get()) && DateResultType(left.get()) != ftUnknown)
                TypeConstant(*right, DateResultType(left.get()), sizeof(double));
            else if (IsTextConstant(left.get()) && DateResultType(right.get()) != ftUnknown)
                TypeConstant(*left, DateResultType(right.get()), sizeof(double));
        }
        if (fieldConst && (op == coEQ || op == coNE || op == coLIKE) &&
            right->Value.VarType() == varString && !right->Value.AsString().isEmpty()) {
            QString text = right->Value.AsString();
            const bool partial = text.endsWith(u'*') && text.size() > 1 &&
                                 !options_.Contains(foNoPartialCompare);
            if (options_.Contains(foCaseInsensitive) || partial) {
                NodePtr node = NewNode(nodeCOMPARE, op, std::move(left), std::move(right));
                node->CaseInsensitive = options_.Contains(foCaseInsensitive);
                if (partial) {
                    text.chop(1);
                    node->Right->Value = Variant(text);
                    node->Right->Size = int(text.size());
                    node->PartialLength = int(text.size());
                }
                return node;
            }
        }
        return NewNode(nodeBINARY, op, std::move(left), std::move(right));
    }

    static bool IsTextConstant(const TExprNode *n)
    {
        return n->NodeClass == nodeCONST && n->Value.VarType() == varString;
    }

    // The date kind of what a function yields: GETDATE a date-time, DATE and
    // TIME with a format argument a date or a time (with one argument they
    // yield numbers); ftUnknown for everything else.
    static TFieldType DateResultType(const TExprNode *n)
    {
        if (n->NodeClass != nodeFUNC)
            return ftUnknown;
        if (n->FunctionName == QLatin1String("GETDATE"))
            return ftDateTime;
        const bool formatted = n->Left && n->Left->Elements.size() >= 2;
        if (formatted && n->FunctionName == QLatin1String("DATE"))
            return ftDate;
        if (formatted && n->FunctionName == QLatin1String("TIME"))
            return ftTime;
        return ftUnknown;
    }

    // Gives a constant the type and size of the field it is compared with.
    void TypeConstant(TExprNode &node, TFieldType type, int size)
    {
        const QString text = constText_.count(&node) ? constText_[&node] : node.Value.AsString();
        const QString trimmed = Trim(text);
        bool ok = true;
        Variant value;
        int integer = 0;
        int64_t big = 0;
        double real = 0;
        auto integral = [&](int64_t low, int64_t high) {
            if (TryStrToInt64(trimmed, big)) {
            } else if (TryStrToFloat(trimmed, real) && std::trunc(real) == real &&
                       std::fabs(real) < 9.2e18) {
                big = int64_t(real);
            } else {
                return false;
            }
            return big >= low && big <= high;
        };
        switch (type) {
        case ftString: case ftFixedChar: case ftWideString:
            value = Variant(text);
            break;
        case ftSmallint: ok = integral(-32768, 32767); value = Variant(int(big)); break;
        case ftWord: ok = integral(0, 65535); value = Variant(int(big)); break;
        case ftInteger: case ftAutoInc:
            ok = integral(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
            value = Variant(int(big));
            break;
        case ftLargeint:
            ok = integral(std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max());
            value = Variant(static_cast<long long>(big));
            break;
        case ftFloat: case ftCurrency: case ftBCD:
            ok = TryStrToFloat(trimmed, real);
            value = Variant(real);
            break;
        case ftBoolean:
            if (trimmed.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0)
                value = Variant(true);
            else if (trimmed.compare(QLatin1String("FALSE"), Qt::CaseInsensitive) == 0)
                value = Variant(false);
            else if ((ok = TryStrToInt(trimmed, integer)))
                value = Variant(integer != 0);
            break;
        case ftDate: case ftTime: case ftDateTime:
            if (node.Value.VarType() != varString) {
                value = Variant::FromDate(node.Value.AsDouble());
            } else {
                TDateTime date = 0;
                ok = type == ftDate   ? TryStrToDate(trimmed, date)
                     : type == ftTime ? TryStrToTime(trimmed, date)
                                      : TryStrToDateTime(trimmed, date);
                value = Variant::FromDate(date);
            }
            break;
        default:
            ok = false;
            break;
        }
        if (!ok)
            ParseError(DBConsts::SExprBadConst.arg(FieldTypeName(type)));
        node.Value = value;
        node.DataType = Map(type);
        node.Size = size;
    }

    TDataSet *dataSet_;
    Lexer lexer_;
    TFilterOptions options_;
    TExprParser::TFieldMap map_;
    Token tok_;
    bool started_ = false;
    std::map<const TExprNode *, TFieldType> rawTypes_;
    std::map<const TExprNode *, QString> constText_;
};

QString OperatorText(TCanOp op)
{
    switch (op) {
    case coEQ: return QStringLiteral("=");
    case coNE: return QStringLiteral("<>");
    case coGT: return QStringLiteral(">");
    case coLT: return QStringLiteral("<");
    case coGE: return QStringLiteral(">=");
    case coLE: return QStringLiteral("<=");
    case coAND: return QStringLiteral("and");
    case coOR: return QStringLiteral("or");
    case coADD: return QStringLiteral("+");
    case coSUB: return QStringLiteral("-");
    case coMUL: return QStringLiteral("*");
    case coDIV: return QStringLiteral("/");
    case coMOD: return QStringLiteral("mod");
    case coREM: return QStringLiteral("rem");
    case coLIKE: return QStringLiteral("like");
    case coIN: return QStringLiteral("in");
    case coISBLANK: return QStringLiteral("isblank");
    case coNOTBLANK: return QStringLiteral("notblank");
    case coNOT: return QStringLiteral("not");
    case coMINUS: return QStringLiteral("-");
    case coUPPER: return QStringLiteral("upper");
    case coLOWER: return QStringLiteral("lower");
    default: return QStringLiteral("op%1").arg(static_cast<int>(op));
    }
}

} // namespace

TExprParser::TExprParser(TDataSet *dataSet, const QString &text, TFilterOptions options,
                         TParserOptions, TFieldMap fieldMap)
{
    Parser parser(dataSet, text, options, std::move(fieldMap));
    root_ = parser.Parse();
}

QString ExprNodeToString(const TExprNode *node)
{
    if (!node)
        return QStringLiteral("nil");
    switch (node->NodeClass) {
    case nodeFIELD:
        return node->FieldName;
    case nodeCONST: {
        const QString value = node->Value.VarType() == varString
                                  ? QStringLiteral("'%1'").arg(node->Value.AsString())
                                  : VarToStr(node->Value);
        return value + u':' + FieldTypeName(node->DataType);
    }
    case nodeUNARY:
        return QStringLiteral("%1(%2)").arg(OperatorText(node->Operator), ExprNodeToString(node->Left.get()));
    case nodeBINARY:
        return QStringLiteral("(%1 %2 %3)")
            .arg(ExprNodeToString(node->Left.get()), OperatorText(node->Operator),
                 ExprNodeToString(node->Right.get()));
    case nodeCOMPARE:
        return QStringLiteral("compare[ci=%1,len=%2](%3 %4 %5)")
            .arg(int(node->CaseInsensitive))
            .arg(node->PartialLength)
            .arg(ExprNodeToString(node->Left.get()), OperatorText(node->Operator),
                 ExprNodeToString(node->Right.get()));
    case nodeFUNC:
        return QStringLiteral("%1%2").arg(node->FunctionName,
                                          node->Left ? ExprNodeToString(node->Left.get()) : QStringLiteral("[]"));
    case nodeLISTELEM: {
        QStringList parts;
        for (const auto &e : node->Elements)
            parts.append(ExprNodeToString(e.get()));
        return u'[' + parts.join(QStringLiteral(", ")) + u']';
    }
    default:
        return QStringLiteral("null");
    }
}

} // namespace zorbel
