// The design-time editors offscreen: the label and expression dialogs write
// their printable back (and stop at a size that is no number), the builder's
// function page, arguments, insertion and validation, and the variables
// editor's renames, expression edits and new entries.
#include "report/RepEditors.h"

#include "platform/rtl/Exceptions.h"
#include "platform/widgets/ModalScript.h"

#include <QTableWidget>
#include <QTextCursor>
#include <gtest/gtest.h>

namespace zorbel {
namespace {

QStringList Items(TListBox *list)
{
    QStringList out;
    for (int i = 0; i < list->Count(); ++i)
        out << list->Items()[i];
    return out;
}

// Selects the named function on the function page ("All" listed).
void SelectFunction(TRepExpressionBuilder &b, const QString &name)
{
    b.LbCategory->SetItemIndex(0);
    b.CategoryChange();
    b.LbFunctions->SetItemIndex(Items(b.LbFunctions).indexOf(name));
    b.FunctionChange();
}

TEST(RepEditors, LabelDialogWritesTheLabelBackAndStopsAtASizeThatIsNoNumber)
{
    TRepLabel label;
    label.SetCaption(QStringLiteral("Было"));
    label.Size.SetMeasure(TRepPrintableSize::iWidth, 300);
    TRepLabelEditor editor(&label);
    EXPECT_EQ(editor.ShortName(), "REPLABEL");
    EXPECT_EQ(editor.ControlClass(), "TRepLabel");
    TModalScript script;
    script.Then([](TForm &f) {
        auto &d = static_cast<TRepTextDialog &>(f);
        EXPECT_EQ(d.Caption(), "Text Settings");
        EXPECT_EQ(d.EdText->Text(), QStringLiteral("Было"));
        EXPECT_EQ(d.EdWidth->Text(), "300");
        d.EdText->SetText(QStringLiteral("Итого за месяц"));
        d.EdWidth->SetText(QStringLiteral("250"));
        d.EdHeight->SetText(QStringLiteral("40"));
        d.ChStretch->SetChecked(true);
        d.ChTransparent->SetChecked(true);
        d.ButOk->Click();
    });
    ASSERT_TRUE(editor.Edit());
    EXPECT_EQ(label.Caption(), QStringLiteral("Итого за месяц"));
    EXPECT_EQ(label.Size.GetMeasure(TRepPrintableSize::iWidth), 250);
    EXPECT_EQ(label.Size.GetMeasure(TRepPrintableSize::iHeight), 40);
    EXPECT_TRUE(label.AutoStretch);
    EXPECT_TRUE(label.Transparent);

    // An emptied width: the caption is already written, the rest is not.
    script.Then([](TForm &f) {
        auto &d = static_cast<TRepTextDialog &>(f);
        d.EdText->SetText(QStringLiteral("Новое"));
        d.EdWidth->SetText(QString());
        d.ChStretch->SetChecked(false);
        d.ButOk->Click();
    });
    EXPECT_THROW(editor.Edit(), EConvertError);
    EXPECT_EQ(label.Caption(), QStringLiteral("Новое"));
    EXPECT_EQ(label.Size.GetMeasure(TRepPrintableSize::iWidth), 250);
    EXPECT_TRUE(label.AutoStretch);

    script.Press("ButCancel");
    EXPECT_FALSE(editor.Edit());
    EXPECT_TRUE(script.Finished()) << script.Errors().join(u'\n').toStdString();
}

TEST(RepEditors, ExpressionDialogTakesTheBuildersTextAndTheMask)
{
    TRepExpr expr;
    expr.SetExpression(QStringLiteral("1"));
    TRepExprEditor editor(&expr);
    EXPECT_EQ(editor.Description(), "Expression Control");
    TModalScript script;
    script.Then([](TForm &f) {
        auto &d = static_cast<TRepTextDialog &>(f);
        EXPECT_EQ(d.Caption(), "Expression settings");
        d.ButBuild->Click(); // the builder is the next step
        EXPECT_EQ(d.EdText->Text(), "1 * 7");
        d.CbMask->SetText(QStringLiteral("#,##0.00"));
        d.ButOk->Click();
    });
    script.Then([](TForm &f) {
        auto &b = static_cast<TRepExpressionBuilder &>(f);
        EXPECT_EQ(b.Ed->textCursor().selectedText(), "1"); // the whole text selected
        b.Ed->moveCursor(QTextCursor::End);
        b.OperatorButtons[2]->Click(); // " * "
        b.InsertText(QStringLiteral("7"));
        b.ButOk->Click();
    });
    ASSERT_TRUE(editor.Edit());
    EXPECT_TRUE(script.Finished()) << script.Errors().join(u'\n').toStdString();
    EXPECT_EQ(expr.Expression(), "1 * 7");
    EXPECT_EQ(expr.Mask, "#,##0.00");
}

TEST(RepEditors, BuilderListsFunctionsByCategoryAndInsertsThemWithArguments)
{
    TRepExpressionBuilder b({}, nullptr);
    b.LbCategory->SetItemIndex(7); // Other
    b.CategoryChange();
    EXPECT_EQ(Items(b.LbFunctions), QStringList({"STR", "UPPER", "LOWER", "PRETTY", "COPY", "FORMATNUMERIC"}));
    b.LbCategory->SetItemIndex(4); // Database
    b.CategoryChange();
    EXPECT_TRUE(Items(b.LbFunctions).isEmpty());

    // Descriptions split at their first bar; SIN and COTAN have none.
    SelectFunction(b, "UPPER");
    EXPECT_EQ(b.LbFuncName->Caption(), "UPPER(<X>)");
    EXPECT_EQ(b.LbFuncDesc->Caption(), "Converts a string to upper case letters");
    for (const char *name : {"SIN", "COTAN"}) {
        SelectFunction(b, QString::fromLatin1(name));
        EXPECT_TRUE(b.LbFuncName->Caption().isEmpty()) << name;
        EXPECT_TRUE(b.LbFuncDesc->Caption().startsWith(QString::fromLatin1(name) + "(<X>)Returns")) << name;
    }

    // Two numeric arguments 7 and 2, then a function without arguments.
    SelectFunction(b, "DIV");
    b.ContinueClick();
    ASSERT_EQ(b.Page(), TRepExpressionBuilder::pgArguments);
    ASSERT_EQ(b.ArgEdits.size(), 2u);
    EXPECT_EQ(b.ArgLabels[1]->Caption(), "Argument 2 - numeric value");
    b.ArgEdits[0]->SetText("7");
    b.ArgEdits[1]->SetText("2");
    b.ArgsOkClick();
    EXPECT_EQ(b.Page(), TRepExpressionBuilder::pgMain);
    EXPECT_EQ(b.Ed->Text(), "DIV(7,2)");
    SelectFunction(b, "COPY");
    b.ContinueClick();
    EXPECT_EQ(b.ArgLabels[0]->Caption(), "Argument 1 - text Value");
    EXPECT_EQ(b.ArgEdits.size(), 3u); // the rows of the previous function are gone
    b.ShowPage(TRepExpressionBuilder::pgMain);
    SelectFunction(b, "TIME");
    b.ContinueClick();
    EXPECT_EQ(b.Ed->Text(), "DIV(7,2)TIME");
}

TEST(RepEditors, ValidateReportsTheValueOrTheError)
{
    TRepEvEnvironment local;
    local.DefineVariable(QStringLiteral("Rate"), QStringLiteral("2*3"));
    TRepExpressionBuilder b({}, &local);
    TModalScript script;
    for (int i = 0; i < 4; ++i)
        script.Press("OK");
    const auto validate = [&](const char *text) {
        b.Ed->SetText(QString::fromUtf8(text));
        return b.Validate();
    };
    EXPECT_EQ(validate("1/0"), "ERROR: Cannot divide by 0");
    EXPECT_EQ(validate("''"), "There are no errors. The result is : ");
    EXPECT_EQ(validate("RATE+1"), "There are no errors. The result is : 7");
    EXPECT_TRUE(validate("1+").startsWith("ERROR: "));
    EXPECT_TRUE(script.Finished());
    ASSERT_EQ(script.Seen().size(), 4u);
    EXPECT_EQ(script.Seen()[0].Text, "ERROR: Cannot divide by 0");
    EXPECT_FALSE(local.IsCompiled()); // both environments discarded again

    // The variable page lists the local names before the global ones.
    b.ButVariable->Click();
    const QStringList names = Items(b.LbVariables);
    ASSERT_FALSE(names.isEmpty());
    EXPECT_EQ(names.first(), "RATE");
    EXPECT_TRUE(names.contains("APPNAME"));
    b.LbVariables->SetItemIndex(0);
    b.VariableChange();
    EXPECT_EQ(b.LbValue->Caption(), "Value : 2*3");
    b.Ed->moveCursor(QTextCursor::End);
    b.VarOkClick();
    EXPECT_EQ(b.Ed->Text(), "1+RATE");
}

TEST(RepEditors, ShowExpressionBuilderGivesTheTextOnOkAndNothingOnCancel)
{
    QString text = QStringLiteral("'a'");
    const QString heading = QStringLiteral("Enter 1. parameter for UPPER(<X>)");
    TModalScript script;
    script.Then([&](TForm &f) {
        auto &b = static_cast<TRepExpressionBuilder &>(f);
        EXPECT_EQ(b.LbHeading->Caption(), heading);
        b.InsertText(QStringLiteral("UPPER('b')")); // replaces the selected text
        b.ButOk->Click();
    });
    EXPECT_TRUE(ShowExpressionBuilder(&heading, text, {}, nullptr));
    EXPECT_EQ(text, "UPPER('b')");
    script.Press("ButCancel");
    EXPECT_FALSE(ShowExpressionBuilder(nullptr, text, {}, nullptr));
    EXPECT_TRUE(text.isEmpty());
    EXPECT_TRUE(script.Finished());
}

TEST(RepEditors, VariablesEditorRenamesEditsAndAddsVariables)
{
    TRepEvEnvironment env;
    env.DefineVariable(QStringLiteral("Base"), QStringLiteral("1"));
    TRepEnvironmentEditor ed(&env, true);
    EXPECT_EQ(ed.Caption(), "User Defined Functions Edtor");
    ASSERT_EQ(ed.UDFGrid->rowCount(), 1);
    EXPECT_TRUE(ed.RbLocal->Checked());
    ed.UDFGrid->item(0, 0)->setText(QStringLiteral("total"));
    EXPECT_EQ(env.Names(0), "TOTAL");
    EXPECT_EQ(ed.UDFGrid->item(0, 0)->text(), "TOTAL");
    ed.UDFGrid->item(0, 1)->setText(QStringLiteral("2+2"));
    EXPECT_EQ(env.Variable(0)->ExpressionText, "2+2");
    // A compiled environment keeps its expressions: the cell goes back.
    env.CompileAll();
    ed.UDFGrid->item(0, 1)->setText(QStringLiteral("3"));
    EXPECT_EQ(env.Variable(0)->ExpressionText, "2+2");
    EXPECT_EQ(ed.UDFGrid->item(0, 1)->text(), "2+2");
    env.DiscardAll();

    // "&Edit": the builder, headed by the name, on the row's expression.
    ed.UDFGrid->setCurrentCell(0, 1);
    TModalScript script;
    script.Then([](TForm &f) {
        auto &b = static_cast<TRepExpressionBuilder &>(f);
        EXPECT_EQ(b.LbHeading->Caption(), "TOTAL");
        b.InsertText(QStringLiteral("10"));
        b.ButOk->Click();
    });
    ed.ButEdit->Click();
    EXPECT_EQ(env.Variable(0)->ExpressionText, "10");

    ed.ButAdd->Click();
    EXPECT_TRUE(ed.GrNew->Visible());
    ed.EdName->SetText(QStringLiteral("extra"));
    ed.EdExpression->SetText(QStringLiteral("TOTAL*2"));
    ed.NewOkClick();
    EXPECT_FALSE(ed.GrNew->Visible());
    ASSERT_EQ(env.Count(), 2);
    EXPECT_EQ(env.Names(1), "EXTRA");
    EXPECT_EQ(ed.UDFGrid->rowCount(), 2);
    EXPECT_TRUE(script.Finished());

    // Without an environment only the global one is offered.
    TRepEnvironmentEditor global(nullptr, false);
    EXPECT_FALSE(global.RbLocal->isEnabled());
    EXPECT_TRUE(global.RbGlobal->Checked());
    EXPECT_EQ(global.UDFGrid->rowCount(), GlobalEnvironment().Count());
}

} // namespace
} // namespace zorbel
