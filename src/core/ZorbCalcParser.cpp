#include "core/ZorbCalcParser.h"

#include "platform/rtl/Format.h"
#include "platform/rtl/FormatSettings.h"

#include <cmath>

namespace zorbel {
namespace {

const QString EndOfText = QStringLiteral("Неожиданный конец строки");
const QString BadChar = QStringLiteral("Некорректный символ");
const QString DigitExpected = QStringLiteral("Ожидается цифра");
const QString ParenExpected = QStringLiteral("Ожидается \")\"");

bool IsLetter(QChar c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }
bool IsDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// A finite result, or the error the arithmetic unit would have raised.
long double Checked(long double value, bool division = false)
{
    if (std::isnan(value))
        throw EInvalidOp(QStringLiteral("Недопустимая операция с плавающей точкой"));
    if (std::isinf(value)) {
        if (division)
            throw EZeroDivide(QStringLiteral("Деление на ноль"));
        throw EOverflow(QStringLiteral("Переполнение при вычислении"));
    }
    return value;
}

class TParser {
public:
    TParser(const QString &text, int &pos) : text_(text), pos_(pos), sep_(FormatSettings().DecimalSeparator) {}

    long double Expression()
    {
        const long double v = Sum();
        if (!AtEnd())
            throw ESyntaxError(BadChar);
        return v;
    }

private:
    bool AtEnd() const { return pos_ > text_.size(); }
    QChar Peek() const { return AtEnd() ? QChar() : text_[pos_ - 1]; }
    void Skip() { ++pos_; }

    long double Sum()
    {
        long double v = Product();
        while (Peek() == u'+' || Peek() == u'-') {
            const bool plus = Peek() == u'+';
            Skip();
            const long double r = Product();
            v = Checked(plus ? v + r : v - r);
        }
        return v;
    }

    long double Product()
    {
        long double v = Power();
        while (Peek() == u'*' || Peek() == u'/') {
            const bool times = Peek() == u'*';
            Skip();
            const long double r = Power();
            if (!times && r == 0)
                throw EZeroDivide(QStringLiteral("Деление на ноль"));
            v = Checked(times ? v * r : v / r, !times);
        }
        return v;
    }

    long double Power()
    {
        if (AtEnd())
            throw ESyntaxError(EndOfText);
        if (Peek() == u'+') {
            Skip();
            return Power();
        }
        if (Peek() == u'-') {
            Skip();
            return -Power();
        }
        const long double base = Primary();
        if (Peek() != u'^')
            return base;
        Skip();
        const long double exponent = Power();
        if (base == 0 && exponent < 0)
            throw EZeroDivide(QStringLiteral("Деление на ноль"));
        return Checked(std::pow(base, exponent));
    }

    void CloseParen()
    {
        if (Peek() != u')')
            throw ESyntaxError(ParenExpected);
        Skip();
    }

    long double Primary()
    {
        if (AtEnd())
            throw ESyntaxError(EndOfText);
        const QChar c = Peek();
        if (c == u'(') {
            Skip();
            const long double v = Sum();
            CloseParen();
            return v;
        }
        if (IsDigit(c))
            return Number();
        if (IsLetter(c) || c == u'_')
            return Identifier();
        throw ESyntaxError(BadChar);
    }

    void Digits()
    {
        if (!IsDigit(Peek()))
            throw ESyntaxError(DigitExpected);
        while (IsDigit(Peek()))
            Skip();
    }

    long double Number()
    {
        const int start = pos_;
        Digits();
        if (Peek() == sep_) {
            Skip();
            Digits();
        }
        if (Peek() == u'E' || Peek() == u'e') {
            Skip();
            if (AtEnd())
                throw ESyntaxError(EndOfText);
            if (Peek() == u'+' || Peek() == u'-')
                Skip();
            Digits();
        }
        return StrToFloat(text_.mid(start - 1, pos_ - start));
    }

    long double Identifier()
    {
        const int start = pos_;
        while (IsLetter(Peek()) || IsDigit(Peek()) || Peek() == u'_')
            Skip();
        const QString name = text_.mid(start - 1, pos_ - start);
        if (Peek() != u'(')
            throw ESyntaxError(QStringLiteral("Необъявленная переменная ") + name);
        Skip();
        const long double arg = Sum();
        CloseParen();
        const QString lower = name.toLower();
        if (lower == u"sin")
            return std::sin(arg);
        if (lower == u"cos")
            return std::cos(arg);
        if (lower == u"ln") {
            if (arg == 0)
                throw EZeroDivide(QStringLiteral("Деление на ноль"));
            return Checked(std::log(arg));
        }
        throw ESyntaxError(QStringLiteral("Неизвестная функция ") + name);
    }

    const QString &text_;
    int &pos_;
    QChar sep_;
};

} // namespace

long double ParseExpression(const QString &Text, int &Pos)
{
    return TParser(Text, Pos).Expression();
}

bool IsSeparatorKey(QChar Key)
{
    static const QString keys = QStringLiteral(".,бюБЮ");
    return keys.contains(Key);
}

QString NormaliseExpression(const QString &Text)
{
    const QChar sep = FormatSettings().DecimalSeparator;
    QString result;
    result.reserve(Text.size());
    for (const QChar c : Text) {
        if (c.unicode() < 33)
            continue;
        result += IsSeparatorKey(c) ? sep : c;
    }
    return result;
}

QString AddLeadingZeros(const QString &Text)
{
    static const QString before = QStringLiteral("(*+-/^");
    const QChar sep = FormatSettings().DecimalSeparator;
    QString result;
    result.reserve(Text.size() + 4);
    for (qsizetype i = 0; i < Text.size(); ++i) {
        if (Text[i] == sep && (i == 0 || before.contains(Text[i - 1])))
            result += u'0';
        result += Text[i];
    }
    return result;
}

} // namespace zorbel
