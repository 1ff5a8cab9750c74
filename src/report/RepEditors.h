// Design-time editors of the report engine (English, as its windows are):
// the property dialogs of a label and of an expression printable, the
// expression builder, and the editor of an environment's variables.
//
// An editor object (TRepLabelEditor, TRepExprEditor) stands between a
// printable and whatever edits it: it reads and writes the printable's text,
// colour, font and alignment, and Edit() opens its dialog. The builder and
// the variables editor are modal windows; ShowExpressionBuilder and
// ShowVariablesEditor open them.
#pragma once

#include "platform/widgets/ExtCtrls.h"
#include "platform/widgets/Forms.h"
#include "platform/widgets/StdCtrls.h"
#include "report/RepCtrls.h"

#include <vector>

class QTableWidget;

namespace zorbel {

class TDataSet;

// The editor of one printable.
class TRepPrintableEditor {
public:
    explicit TRepPrintableEditor(TRepPrintable *control) : Control(control) {}
    TRepPrintableEditor(const TRepPrintableEditor &) = delete;
    TRepPrintableEditor &operator=(const TRepPrintableEditor &) = delete;
    virtual ~TRepPrintableEditor() = default;

    TRepPrintable *Control;

    virtual TColor GetColor() const { return Control->Color; }
    virtual QFont GetFont() const { return QFont(); }
    virtual QString ControlClass() const = 0;
    virtual QString GetText() const { return QString(); }
    virtual QString ShortName() const = 0;
    virtual QString Description() const = 0;
    virtual TAlignment GetAlignment() const { return Control->Alignment; }
    virtual void SetAlignment(TAlignment alignment) { Control->SetAlignment(alignment); }
    virtual void SetColor(TColor color) { Control->Color = color; }
    virtual void SetFont(const QFont &) {}
    virtual void SetText(const QString &) {}
    // Opens the dialog; true when it was closed with OK.
    virtual bool Edit() = 0;
};

class TRepLabelEditor : public TRepPrintableEditor {
public:
    explicit TRepLabelEditor(TRepCustomLabel *label) : TRepPrintableEditor(label) {}
    TRepCustomLabel *Label() const { return static_cast<TRepCustomLabel *>(Control); }

    QFont GetFont() const override { return Label()->Font; }
    QString ControlClass() const override { return QStringLiteral("TRepLabel"); }
    QString GetText() const override { return Label()->Caption(); }
    QString ShortName() const override { return QStringLiteral("REPLABEL"); }
    QString Description() const override { return QStringLiteral("Text Control"); }
    void SetFont(const QFont &font) override { Label()->SetFont(font); }
    void SetText(const QString &text) override { Label()->SetCaption(text); }
    // "Text Settings". OK writes the caption, the sizes and the flags in
    // that order; a width or height that is no number fails there
    // (EConvertError) with what was written before kept.
    bool Edit() override;
};

class TRepExprEditor : public TRepLabelEditor {
public:
    explicit TRepExprEditor(TRepExpr *expr) : TRepLabelEditor(expr) {}
    TRepExpr *Expr() const { return static_cast<TRepExpr *>(Control); }

    QString ControlClass() const override { return QStringLiteral("TRepExpr"); }
    QString GetText() const override { return Expr()->Expression(); }
    QString ShortName() const override { return QStringLiteral("REPEXPR"); }
    QString Description() const override { return QStringLiteral("Expression Control"); }
    void SetText(const QString &text) override { Expr()->SetExpression(text); }
    // "Expression settings": as the label's, plus the format mask, with
    // "..." opening the builder over the report's datasets.
    bool Edit() override;
};

// The dialog of both editors; the expression rows exist only for an expression.
class TRepTextDialog : public TForm {
public:
    explicit TRepTextDialog(bool expression, QWidget *parent = nullptr);
    ~TRepTextDialog() override;

    TEdit *EdText, *EdWidth, *EdHeight;
    TButton *ButBuild = nullptr; // "..." beside the expression
    TComboBox *CbMask = nullptr;
    TCheckBox *ChAutoSize, *ChStretch, *ChTransparent;
    TButton *ButOk, *ButCancel;
    // The datasets the builder offers.
    std::vector<TDataSet *> DataSets;
};

// A multi-line edit without horizontal scrolling: long lines wrap.
class TWordWrapEdit : public TMemo {
public:
    explicit TWordWrapEdit(QWidget *parent, const QString &name = {});
};

class TRepExpressionBuilder : public TForm {
public:
    // dataSets are offered by their component names; local may be nullptr.
    TRepExpressionBuilder(const std::vector<TDataSet *> &dataSets, TRepEvEnvironment *local, QWidget *parent = nullptr);
    ~TRepExpressionBuilder() override;

    // The pages brought to the front in turn.
    enum TPage { pgMain, pgField, pgFunction, pgArguments, pgVariable };
    TPage Page() const { return page_; }
    void ShowPage(TPage page);

    // The edit's text with every carriage return removed with the character after it.
    QString Expression() const;
    // Replaces the selection with text, the caret after it, the edit focused.
    void InsertText(const QString &text);

    // Main page.
    TPanel *PanMain;
    TLabel *LbHeading;
    TWordWrapEdit *Ed;
    TButton *ButField, *ButFunction, *ButVariable, *ButValidate, *ButClear, *ButOk, *ButCancel;
    std::vector<TButton *> OperatorButtons;
    // Data field page.
    TPanel *PanField;
    TListBox *LbDataSets, *LbFields;
    TButton *ButFieldOk, *ButFieldCancel;
    // Function page.
    TPanel *PanFunction;
    TListBox *LbCategory, *LbFunctions;
    TLabel *LbFuncName, *LbFuncDesc;
    TButton *ButContinue, *ButFunctionCancel;
    // Arguments page: one label, edit and "..." per argument.
    TPanel *PanArguments;
    TLabel *LbArgsHeading;
    std::vector<TLabel *> ArgLabels;
    std::vector<TEdit *> ArgEdits;
    std::vector<TButton *> ArgButtons;
    TButton *ButArgsOk, *ButArgsCancel;
    // Variable page.
    TPanel *PanVariable;
    TListBox *LbVariables;
    TLabel *LbValue;
    TButton *ButVarOk, *ButModify, *ButVarCancel;

    void CategoryChange();
    void FunctionChange();
    // Continue or a double click: the arguments page, or the bare name.
    void ContinueClick();
    void ArgsOkClick();
    void DataSetChange();
    void FieldOkClick();
    void VariableChange();
    void VarOkClick();
    // Compiles and evaluates the edit once; the message it shows.
    QString Validate();

    // What the function page lists: library indexes in registration order.
    std::vector<int> ListedFunctions;

private:
    void BuildMain();
    void BuildPages();
    void FillVariables();
    TPage page_ = pgMain;
    std::vector<TDataSet *> dataSets_;
    TRepEvEnvironment *local_;
    int argFunction_ = -1; // library index of the function whose arguments are asked
};

// Opens the builder modally on expression. True when closed with OK: the
// expression then holds the edited text without carriage returns (each
// removed with the character after it); on Cancel it is emptied. A null
// heading keeps "Enter expression:".
bool ShowExpressionBuilder(const QString *heading, QString &expression, const std::vector<TDataSet *> &dataSets,
                           TRepEvEnvironment *local, QWidget *parent = nullptr);

class TRepEnvironmentEditor : public TForm {
public:
    // env null: only the global environment can be edited.
    TRepEnvironmentEditor(TRepEvEnvironment *env, bool allowGlobal, QWidget *parent = nullptr);
    ~TRepEnvironmentEditor() override;

    TGroupBox *GrAvailable;
    QTableWidget *UDFGrid;
    TRadioButton *RbLocal, *RbGlobal;
    TButton *ButEdit, *ButAdd, *ButDelete, *ButClose;
    TGroupBox *GrNew;
    TEdit *EdName, *EdExpression;
    TButton *ButNewBuild, *ButNewOk, *ButNewCancel;

    // The environment the grid shows.
    TRepEvEnvironment &Current() const;
    void Fill();
    // A cell typed in: a name renames the variable, an expression replaces
    // its expression (unless the environment is compiled: the cell goes back).
    void CellEdited(int row, int column);
    // "&Edit" or a double click: the builder on the row's expression.
    void EditClick();
    void NewOkClick();

private:
    TRepEvEnvironment *env_;
    bool filling_ = false;
};

void ShowVariablesEditor(TRepEvEnvironment *env, bool allowGlobal, QWidget *parent = nullptr);

} // namespace zorbel
