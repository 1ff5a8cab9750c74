// Generated arithmetic and comparison expressions, evaluated by the report
// evaluator from their text and by a small independent evaluator over the
// tree they were printed from. The texts use the fewest parentheses that
// precedence and grouping allow (left to right for + - * /; "or" and "and"
// take the rest of their level as right operand), plus some extra ones.
#include "RepExprSupport.h"

#include <cmath>
#include <random>
#include <string>
#include <variant>

using namespace zorbel;
using namespace zorbel::test;

namespace {

// ---- the reference ----

struct Ref {
    enum Kind { Int, Float, Bool, Err } kind = Int;
    int64_t i = 0;
    double f = 0;
    bool b = false;
    std::string err;
};

Ref MakeErr(const char *m) { return Ref{Ref::Err, 0, 0, false, m}; }
Ref MakeInt(int64_t v)
{
    if (v < INT32_MIN || v > INT32_MAX)
        return MakeErr("Integer overflow");
    return Ref{Ref::Int, v, 0, false, {}};
}
Ref MakeFloat(double v) { return std::isfinite(v) ? Ref{Ref::Float, 0, v, false, {}} : MakeErr("Floating point overflow"); }
Ref MakeBool(bool v) { return Ref{Ref::Bool, 0, 0, v, {}}; }

struct Node {
    char op = 0; // 0 literal; + - * / o(r) a(nd); < l(<=) > g(>=) = n(<>)
    std::string text;
    Ref value;
    // 'o' or 'a' when the text ends in the right operand of an "or" or
    // "and" outside parentheses.
    char openWord = 0;
    std::unique_ptr<Node> left, right;
};

int Precedence(char op)
{
    switch (op) {
    case 0: return 4;
    case '*': case '/': case 'a': return 3;
    case '+': case '-': case 'o': return 2;
    default: return 1;
    }
}

Ref Apply(char op, const Ref &l, const Ref &r)
{
    if (l.kind == Ref::Err)
        return l;
    if (r.kind == Ref::Err)
        return r;
    if (l.kind == Ref::Int && r.kind == Ref::Int) {
        switch (op) {
        case '+': return MakeInt(l.i + r.i);
        case '-': return MakeInt(l.i - r.i);
        case '*': return MakeInt(l.i * r.i);
        case '/': return r.i == 0 ? MakeErr("Cannot divide by 0") : MakeFloat(double(l.i) / double(r.i));
        case 'o': return MakeInt(l.i | r.i);
        case 'a': return MakeInt(l.i & r.i);
        case '<': return MakeBool(l.i < r.i);
        case 'l': return MakeBool(l.i <= r.i);
        case '>': return MakeBool(l.i > r.i);
        case 'g': return MakeBool(l.i >= r.i);
        case '=': return MakeBool(l.i == r.i);
        default: return MakeBool(l.i != r.i);
        }
    }
    const double a = l.kind == Ref::Int ? double(l.i) : l.f;
    const double b = r.kind == Ref::Int ? double(r.i) : r.f;
    switch (op) {
    case '+': return MakeFloat(a + b);
    case '-': return MakeFloat(a - b);
    case '*': return MakeFloat(a * b);
    case '/': return b == 0 ? MakeErr("Cannot divide by 0") : MakeFloat(a / b);
    case 'o': return MakeErr("Operator OR is not compatible with numeric expressions");
    case 'a': return MakeErr("Operator AND is not compatible with numeric expressions");
    case '<': return MakeBool(a < b);
    case 'l': return MakeBool(a <= b);
    case '>': return MakeBool(a > b);
    case 'g': return MakeBool(a >= b);
    case '=': return MakeBool(a == b);
    default: return MakeBool(a != b);
    }
}

std::string OpText(char op)
{
    switch (op) {
    case 'o': return " or ";
    case 'a': return " and ";
    case 'l': return "<=";
    case 'g': return ">=";
    case 'n': return "<>";
    default: return std::string(1, op);
    }
}

class Generator {
public:
    explicit Generator(unsigned seed) : random_(seed) {}

    std::unique_ptr<Node> Arithmetic(int depth)
    {
        if (depth == 0 || Chance(30))
            return Literal();
        static const char ops[] = {'+', '-', '*', '/', '+', '-', '*', 'o', 'a'};
        auto node = std::make_unique<Node>();
        node->op = ops[Pick(sizeof ops)];
        node->left = Arithmetic(depth - 1);
        node->right = Arithmetic(depth - 1);
        node->value = Apply(node->op, node->left->value, node->right->value);
        const int p = Precedence(node->op);
        const int pl = Precedence(node->left->op), pr = Precedence(node->right->op);
        const bool word = node->op == 'o' || node->op == 'a';
        // "or" and "and" take one operand on the left and the rest of their
        // level on the right; + - * / group from left to right, so a left
        // operand ending in an open word operator of their level needs
        // parentheses.
        const bool wrapLeft = word ? pl <= p : pl < p || node->left->openWord == (p == 2 ? 'o' : 'a');
        const bool wrapRight = word ? pr < p : pr <= p;
        const std::string right = Wrap(*node->right, wrapRight);
        node->text = Wrap(*node->left, wrapLeft) + Spaced(OpText(node->op)) + right;
        if (word)
            node->openWord = node->op;
        else if (right == node->right->text)
            node->openWord = node->right->openWord;
        return node;
    }

    std::unique_ptr<Node> Comparison(int depth)
    {
        static const char ops[] = {'<', 'l', '>', 'g', '=', 'n'};
        auto node = std::make_unique<Node>();
        node->op = ops[Pick(sizeof ops)];
        node->left = Arithmetic(depth);
        node->right = Chance(30) ? Copy(*node->left) : Arithmetic(depth);
        node->value = Apply(node->op, node->left->value, node->right->value);
        node->text = node->left->text + Spaced(OpText(node->op)) + node->right->text;
        return node;
    }

private:
    bool Chance(int percent) { return int(random_() % 100) < percent; }
    size_t Pick(size_t n) { return random_() % n; }

    std::unique_ptr<Node> Literal()
    {
        auto node = std::make_unique<Node>();
        const int kind = int(random_() % 10);
        if (kind < 6) {
            const int64_t v = random_() % 100;
            node->text = std::to_string(v);
            node->value = MakeInt(v);
        } else if (kind < 8) {
            const int64_t v = 100000 + random_() % 2000000000;
            node->text = std::to_string(v);
            node->value = MakeInt(v);
        } else {
            node->text = std::to_string(random_() % 1000) + "." + std::to_string(random_() % 100);
            node->value = MakeFloat(std::strtod(node->text.c_str(), nullptr));
        }
        return node;
    }

    std::unique_ptr<Node> Copy(const Node &n)
    {
        auto node = std::make_unique<Node>();
        node->op = 0;
        node->text = "(" + n.text + ")";
        node->value = n.value;
        return node;
    }

    // Parentheses where needed, and now and then where not.
    std::string Wrap(const Node &n, bool needed)
    {
        return needed || (n.op != 0 && Chance(15)) ? "(" + n.text + ")" : n.text;
    }

    // Blanks around an operator at random; words keep their own.
    std::string Spaced(const std::string &op)
    {
        if (op.front() == ' ')
            return op;
        return Chance(50) ? " " + op + " " : op;
    }

    std::mt19937 random_;
};

::testing::AssertionResult Same(const TRepEvValue &got, const Ref &want)
{
    bool same = false;
    switch (want.kind) {
    case Ref::Int: same = got.Kind == TRepEvKind::Integer && got.IntValue == want.i; break;
    case Ref::Float: same = got.Kind == TRepEvKind::Float && got.FloatValue == want.f; break;
    case Ref::Bool: same = got.Kind == TRepEvKind::Boolean && got.BoolValue == want.b; break;
    case Ref::Err: same = got.Kind == TRepEvKind::Error && got.Text == QString::fromStdString(want.err); break;
    }
    if (same)
        return ::testing::AssertionSuccess();
    std::ostringstream os;
    PrintTo(got, &os);
    return ::testing::AssertionFailure() << "got " << os.str() << ", want kind " << want.kind << " i=" << want.i
                                         << " f=" << want.f << " b=" << want.b << " err=" << want.err;
}

// Windows-1251 byte of the characters the string cases use.
int Byte1251(char16_t c)
{
    if (c < 0x80)
        return c;
    if (c >= 0x0410 && c <= 0x044F)
        return 0xC0 + (c - 0x0410);
    if (c == 0x0401)
        return 0xA8;
    if (c == 0x0451)
        return 0xB8;
    return -1;
}

} // namespace

TEST(RepExprOracle, GeneratedArithmeticAgreesWithTheReference)
{
    Generator generator(20261208);
    int errors = 0;
    for (int i = 0; i < 400; ++i) {
        const std::unique_ptr<Node> tree = generator.Arithmetic(1 + i % 5);
        const QString text = QString::fromStdString(tree->text);
        EXPECT_TRUE(Same(Eval(text), tree->value)) << tree->text;
        errors += tree->value.kind == Ref::Err;
    }
    // The mix covers failures as well as results.
    EXPECT_GT(errors, 20);
    EXPECT_LT(errors, 300);
}

TEST(RepExprOracle, GeneratedComparisonsAgreeWithTheReference)
{
    Generator generator(8122026);
    int truths = 0;
    for (int i = 0; i < 300; ++i) {
        const std::unique_ptr<Node> tree = generator.Comparison(i % 4);
        EXPECT_TRUE(Same(Eval(QString::fromStdString(tree->text)), tree->value)) << tree->text;
        truths += tree->value.kind == Ref::Bool && tree->value.b;
    }
    EXPECT_GT(truths, 30);
    EXPECT_LT(truths, 270);
}

TEST(RepExprOracle, GeneratedStringComparisonsFollowCodePageBytes)
{
    const std::u16string alphabet = u"abzABZАБЯабяЁё";
    std::mt19937 random(1251);
    auto word = [&] {
        std::u16string w;
        const int n = int(random() % 4);
        for (int i = 0; i < n; ++i)
            w += alphabet[random() % alphabet.size()];
        return w;
    };
    const char *const ops[] = {"<", "<=", ">", ">=", "=", "<>"};
    for (int i = 0; i < 300; ++i) {
        const std::u16string a = word();
        const std::u16string b = i % 5 == 0 ? a : word();
        int order = 0;
        for (size_t k = 0; k < std::min(a.size(), b.size()) && order == 0; ++k)
            order = Byte1251(a[k]) - Byte1251(b[k]);
        if (order == 0)
            order = int(a.size()) - int(b.size());
        const int op = int(random() % 6);
        const bool want = op == 0 ? order < 0 : op == 1 ? order <= 0 : op == 2 ? order > 0 : op == 3 ? order >= 0
                                                     : op == 4 ? order == 0 : order != 0;
        const QString text = u'\'' + QString::fromStdU16String(a) + QStringLiteral("' ") + QLatin1String(ops[op]) +
                             QStringLiteral(" '") + QString::fromStdU16String(b) + u'\'';
        EXPECT_TRUE(IsBoolean(Eval(text), want)) << text.toStdString();
    }
}
