// The calculator: the expression language against hand-computed values and
// its messages, and the window driven through the modal hook with real keys.
#include "core/ZorbCalc.h"
#include "core/ZorbCalcParser.h"

#include "platform/widgets/ModalScript.h"

#include <gtest/gtest.h>

#include <QDir>

namespace zorbel {
namespace {

long double Eval(const QString &typed)
{
    int pos = 1;
    return ParseExpression(AddLeadingZeros(NormaliseExpression(typed)), pos);
}

// The message of the failure, and where reading stopped.
QString Failure(const QString &typed, int *stoppedAt = nullptr)
{
    int pos = 1;
    try {
        ParseExpression(AddLeadingZeros(NormaliseExpression(typed)), pos);
    } catch (const Exception &e) {
        if (stoppedAt)
            *stoppedAt = pos;
        return e.Message();
    }
    return QStringLiteral("(no failure)");
}

TEST(CalcParser, PrecedenceSignsAndPowers)
{
    EXPECT_DOUBLE_EQ(double(Eval(QStringLiteral("2*(2+3)-8/(5-3)"))), 6.0);
    EXPECT_DOUBLE_EQ(double(Eval(QStringLiteral("-2^2"))), -4.0);
    EXPECT_DOUBLE_EQ(double(Eval(QStringLiteral("2^3^2"))), 512.0);
    EXPECT_DOUBLE_EQ(double(Eval(QStringLiteral("2^-1"))), 0.5);
    EXPECT_DOUBLE_EQ(double(Eval(QStringLiteral("2*-3"))), -6.0);
    EXPECT_DOUBLE_EQ(double(Eval(QStringLiteral("2--3"))), 5.0);
    EXPECT_DOUBLE_EQ(double(Eval(QStringLiteral("10-4-3"))), 3.0);   // left to right
    EXPECT_DOUBLE_EQ(double(Eval(QStringLiteral("64/4/2"))), 8.0);
    EXPECT_DOUBLE_EQ(double(Eval(QStringLiteral("1,5e2+1E-1"))), 150.1);
}

TEST(CalcParser, FunctionsIgnoreCase)
{
    EXPECT_DOUBLE_EQ(double(Eval(QStringLiteral("sin(0)+COS(0)"))), 1.0);
    EXPECT_DOUBLE_EQ(double(Eval(QStringLiteral("ln(1)"))), 0.0);
    EXPECT_NEAR(double(Eval(QStringLiteral("Ln(2,718281828459045)"))), 1.0, 1e-12);
}

TEST(CalcParser, NormalisingDropsBlanksAndAddsZeros)
{
    EXPECT_EQ(AddLeadingZeros(NormaliseExpression(QStringLiteral("1 000,5 + 1"))), QStringLiteral("1000,5+1"));
    EXPECT_DOUBLE_EQ(double(Eval(QStringLiteral("1 000,5 + 1"))), 1001.5);
    EXPECT_EQ(AddLeadingZeros(NormaliseExpression(QStringLiteral(".5*(-,5)"))), QStringLiteral("0,5*(-0,5)"));
    EXPECT_EQ(NormaliseExpression(QStringLiteral("1б5+2ю5\t+3Б1+4Ю1")), QStringLiteral("1,5+2,5+3,1+4,1"));
}

TEST(CalcParser, SyntaxMessages)
{
    EXPECT_EQ(Failure(QStringLiteral("tan(1)")), QStringLiteral("Неизвестная функция tan"));
    EXPECT_EQ(Failure(QStringLiteral("x+1")), QStringLiteral("Необъявленная переменная x"));
    EXPECT_EQ(Failure(QStringLiteral("2+")), QStringLiteral("Неожиданный конец строки"));
    int at = 0;
    EXPECT_EQ(Failure(QStringLiteral("2)"), &at), QStringLiteral("Некорректный символ"));
    EXPECT_EQ(at, 2); // stopped at the ')'
    EXPECT_EQ(Failure(QStringLiteral("(2+3")), QStringLiteral("Ожидается \")\""));
    EXPECT_EQ(Failure(QStringLiteral("sin(2")), QStringLiteral("Ожидается \")\""));
    EXPECT_EQ(Failure(QStringLiteral("1e")), QStringLiteral("Неожиданный конец строки"));
    EXPECT_EQ(Failure(QStringLiteral("1e+")), QStringLiteral("Ожидается цифра"));
    EXPECT_EQ(Failure(QStringLiteral("1,+2")), QStringLiteral("Ожидается цифра"));
    EXPECT_EQ(Failure(QStringLiteral("2*#")), QStringLiteral("Некорректный символ"));
}

TEST(CalcParser, ResultsThatAreNotFiniteNumbersAreRefused)
{
    EXPECT_EQ(Failure(QStringLiteral("1/0")), QStringLiteral("Деление на ноль"));
    EXPECT_EQ(Failure(QStringLiteral("1/(2-2)")), QStringLiteral("Деление на ноль"));
    EXPECT_EQ(Failure(QStringLiteral("0^-1")), QStringLiteral("Деление на ноль"));
    EXPECT_EQ(Failure(QStringLiteral("10^5000")), QStringLiteral("Переполнение при вычислении"));
    EXPECT_EQ(Failure(QStringLiteral("ln(0)")), QStringLiteral("Деление на ноль"));
    EXPECT_EQ(Failure(QStringLiteral("ln(-1)")), QStringLiteral("Недопустимая операция с плавающей точкой"));
    EXPECT_EQ(Failure(QStringLiteral("(-8)^0,5")), QStringLiteral("Недопустимая операция с плавающей точкой"));
    EXPECT_FALSE(Failure(QStringLiteral("1e999")).isEmpty()); // beyond a double: a conversion error
    EXPECT_NE(Failure(QStringLiteral("1e999")), QStringLiteral("(no failure)"));
}

// Types text into the calculator's edit key by key, as a person would.
void Type(TFormCalc &calc, const QString &text)
{
    for (QChar c : text)
        SendKey(calc.Ed, 0, Qt::NoModifier, QString(c));
}

TEST(CalcWindow, EnterEvaluatesAndReturnsTheResult)
{
    TFormCalc calc;
    TModalScript script;
    script.Then([&](TForm &) {
        Type(calc, QStringLiteral("2ю5*4")); // 'ю' is the decimal separator
        EXPECT_EQ(calc.Ed->Text(), QStringLiteral("2,5*4"));
        if (const QString dir = qEnvironmentVariable("ZORBEL_SCREENSHOTS"); !dir.isEmpty())
            calc.grab().save(QDir(dir).filePath(QStringLiteral("calculator.png")));
        SendKey(calc.Ed, Qt::Key_Return);
    });
    EXPECT_EQ(calc.ShowModal(), mrOk);
    EXPECT_EQ(calc.ResultText, QStringLiteral("10"));
    EXPECT_TRUE(script.Finished());
}

TEST(CalcWindow, FailureShowsTheMessageAndKeepsTheWindowOpen)
{
    TFormCalc calc;
    calc.Ed->SetText(QStringLiteral("2 + 3)"));
    TModalScript script;
    // The notice opens from inside the calculator's step and takes the step after it.
    script.Then([&](TForm &) {
        calc.ButOk->Click();
        EXPECT_TRUE(calc.ResultText.isEmpty());
        EXPECT_EQ(calc.Ed->Text(), QStringLiteral("2+3)"));
        EXPECT_EQ(calc.Ed->cursorPosition(), 4); // just after the ')' where reading stopped
        EXPECT_EQ(calc.ModalResult(), mrNone);
        calc.Ed->SetText(QStringLiteral("2+3"));
        calc.ButOk->Click();
    });
    script.Press(QStringLiteral("OK"));
    EXPECT_EQ(calc.ShowModal(), mrOk);
    EXPECT_EQ(calc.ResultText, QStringLiteral("5"));
    ASSERT_EQ(script.Seen().size(), 2u);
    EXPECT_EQ(script.Seen()[1].Text, QStringLiteral("Некорректный символ"));
    EXPECT_TRUE(script.Finished());
}

TEST(CalcWindow, EmptyLineCancels)
{
    TFormCalc calc;
    calc.Ed->SetText(QStringLiteral("  "));
    TModalScript script;
    script.Then([&](TForm &) { calc.ButOk->Click(); });
    EXPECT_EQ(calc.ShowModal(), mrCancel);
    EXPECT_TRUE(calc.ResultText.isEmpty());
}

TEST(CalcWindow, KeepOpenShowsThenSelectsTheResult)
{
    TFormCalc calc;
    calc.KeepOpen = true;
    calc.Ed->SetText(QStringLiteral("1+1"));
    TModalScript script;
    script.Then([&](TForm &f) {
        calc.ButOk->Click();
        EXPECT_EQ(calc.Ed->Text(), QStringLiteral("2"));
        EXPECT_FALSE(calc.Ed->hasSelectedText());
        calc.ButOk->Click();
        EXPECT_EQ(calc.Ed->SelText(), QStringLiteral("2"));
        EXPECT_EQ(calc.ResultText, QStringLiteral("2"));
        f.SetModalResult(mrCancel);
    });
    calc.ShowModal();
    EXPECT_TRUE(script.Finished());
}

TEST(CalcWindow, KeypadInsertsWrapsAndDeletes)
{
    TFormCalc calc;
    const auto key = [&](const char *caption) {
        for (TButton *b : calc.Keys)
            if (b->Caption() == QString::fromUtf8(caption))
                return b;
        return static_cast<TButton *>(nullptr);
    };
    calc.show();
    calc.FormShow(&calc);
    EXPECT_EQ(calc.ButDec->Caption(), QStringLiteral(","));
    for (const char *c : {"1", "2", "+", "3"})
        key(c)->Click();
    EXPECT_EQ(calc.Ed->Text(), QStringLiteral("12+3"));
    calc.Ed->setSelection(0, 4);
    key("(")->Click();
    EXPECT_EQ(calc.Ed->Text(), QStringLiteral("(12+3)"));
    key("*")->Click();
    key("2")->Click();
    calc.ButDel->Click(); // deletes the character before the caret
    EXPECT_EQ(calc.Ed->Text(), QStringLiteral("(12+3)*"));
    calc.Ed->setSelection(1, 2);
    calc.ButDel->Click(); // deletes the selection
    EXPECT_EQ(calc.Ed->Text(), QStringLiteral("(+3)*"));
    calc.Ed->SetSelStart(0);
    calc.ButDel->Click(); // nothing before the caret
    EXPECT_EQ(calc.Ed->Text(), QStringLiteral("(+3)*"));
    calc.Ed->undo();
    calc.Ed->undo();
    EXPECT_NE(calc.Ed->Text(), QStringLiteral("(+3)*")); // keypad input is undoable
}

TEST(CalcWindow, EscapeCancels)
{
    TFormCalc calc;
    TModalScript script;
    script.Then([&](TForm &f) { SendKeyToFocus(f, Qt::Key_Escape); });
    EXPECT_EQ(calc.ShowModal(), mrCancel);
}

} // namespace
} // namespace zorbel
