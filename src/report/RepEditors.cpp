// The design-time editors. Layouts are fixed in code; the texts are the
// engine's own English ones. The builder is one window whose pages (main,
// data field, function, arguments, variable) are panels shown in turn.
#include "report/RepEditors.h"

#include "platform/dataset/DataSet.h"
#include "platform/rtl/Format.h"

#include <QHeaderView>
#include <QStyle>
#include <QTableWidget>
#include <QTextCursor>

namespace zorbel {

namespace {

template <class T> T *Make(QWidget *parent, const char *name, int left, int top, int width, int height)
{
    auto *control = new T(parent, QString::fromLatin1(name));
    control->SetBounds(left, top, width, height);
    return control;
}

TButton *MakeButton(QWidget *parent, const char *name, const QString &caption, int left, int top, int width = 75,
                    int height = 25)
{
    auto *button = Make<TButton>(parent, name, left, top, width, height);
    button->SetCaption(caption);
    return button;
}

TLabel *MakeLabel(QWidget *parent, const char *name, const QString &caption, int left, int top)
{
    auto *label = new TLabel(parent, QString::fromLatin1(name));
    label->SetCaption(caption);
    label->SetBounds(left, top, label->Width(), label->Height());
    return label;
}

TPanel *MakePage(QWidget *parent, const char *name)
{
    auto *panel = new TPanel(parent, QString::fromLatin1(name));
    panel->SetBevelOuter(TBevelCut::bvNone);
    panel->SetAlign(TAlign::alClient);
    return panel;
}

// The engine's information box: the message and an OK button.
class TRepMessageBox : public TForm {
public:
    explicit TRepMessageBox(const QString &text)
    {
        SetName(QStringLiteral("RepMessage"));
        SetCaption(QStringLiteral("Expression Builder"));
        SetBorderStyle(TFormBorderStyle::bsDialog);
        SetPosition(TPosition::poScreenCenter);
        auto *message = new TLabel(this, QStringLiteral("Message"));
        message->SetAutoSize(false);
        message->setWordWrap(true);
        message->SetCaption(text);
        message->SetBounds(12, 12, 320, 48);
        auto *ok = MakeButton(this, "OK", QStringLiteral("OK"), 135, 68);
        ok->SetModalResult(mrOk);
        ok->SetDefault(true);
        ok->SetCancel(true);
        ResizeClient(344, 105);
        DoCreate();
    }
    ~TRepMessageBox() override { DoDestroy(); }
};

// The categories of the function page; an entry's category is the first
// character of its argument list ("1".."7"), "All" lists every one.
constexpr const char *kCategories[] = {"All",         "Date & time", "Math & trig", "Statistical",
                                       "Database",    "Logical",     "Information", "Other"};

QString ArgumentCaption(QChar letter, int number)
{
    switch (letter.unicode()) {
    case u'N': return QStringLiteral("Argument %1 - numeric value").arg(number);
    case u'B': return QStringLiteral("Argument %1 - logical value").arg(number);
    case u'S': return QStringLiteral("Argument %1 - text Value").arg(number);
    default: return QStringLiteral("Argument %1 - value").arg(number);
    }
}

// The name line and the description of a library entry: the text split at
// its first bar; without a bar the whole text is the description.
std::pair<QString, QString> SplitDescription(const QString &text)
{
    const qsizetype bar = text.indexOf(u'|');
    if (bar < 0)
        return {QString(), text};
    return {text.left(bar), text.mid(bar + 1)};
}

// Every carriage return goes with the character after it (a line break).
QString WithoutReturns(const QString &text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r')
            ++i;
        else
            out += text[i];
    }
    return out;
}

} // namespace

// ---- the label and expression dialogs ---------------------------------------

TRepTextDialog::TRepTextDialog(bool expression, QWidget *parent)
    : TForm(parent)
{
    SetName(expression ? QStringLiteral("RepExprEditor") : QStringLiteral("RepLabelEditor"));
    SetCaption(expression ? QStringLiteral("Expression settings") : QStringLiteral("Text Settings"));
    SetBorderStyle(TFormBorderStyle::bsDialog);
    SetPosition(TPosition::poScreenCenter);
    int y = 12;
    MakeLabel(this, "LbText", expression ? QStringLiteral("Expression") : QStringLiteral("Text"), 12, y + 4);
    EdText = Make<TEdit>(this, "EdText", 96, y, expression ? 220 : 250, 22);
    if (expression) {
        ButBuild = MakeButton(this, "ButBuild", QStringLiteral("..."), 320, y, 26, 22);
        ButBuild->OnClick = [this](TObject *) {
            QString text = EdText->Text();
            if (ShowExpressionBuilder(nullptr, text, DataSets, nullptr, this))
                EdText->SetText(text);
        };
    }
    y += 32;
    MakeLabel(this, "LbWidth", QStringLiteral("Width"), 12, y + 4);
    EdWidth = Make<TEdit>(this, "EdWidth", 96, y, 60, 22);
    MakeLabel(this, "LbHeight", QStringLiteral("Height"), 176, y + 4);
    EdHeight = Make<TEdit>(this, "EdHeight", 236, y, 60, 22);
    // The "9999" edit mask: up to four digits.
    for (TEdit *e : {EdWidth, EdHeight})
        e->setInputMask(QStringLiteral("9999"));
    y += 32;
    if (expression) {
        MakeLabel(this, "LbMask", QStringLiteral("Format mask"), 12, y + 4);
        CbMask = Make<TComboBox>(this, "CbMask", 96, y, 250, 22);
        CbMask->SetStyle(TComboBoxStyle::csDropDown);
        for (const char *mask : {"#,##0.00", "0.00", "#,##0", "dd.mm.yyyy", "hh:nn"})
            CbMask->Items().Add(QString::fromLatin1(mask));
        y += 32;
    }
    ChAutoSize = Make<TCheckBox>(this, "ChAutoSize", 12, y, 100, 20);
    ChAutoSize->SetCaption(QStringLiteral("Autosize"));
    ChStretch = Make<TCheckBox>(this, "ChStretch", 120, y, 100, 20);
    ChStretch->SetCaption(QStringLiteral("Stretch"));
    ChTransparent = Make<TCheckBox>(this, "ChTransparent", 228, y, 110, 20);
    ChTransparent->SetCaption(QStringLiteral("Transparent"));
    y += 34;
    ButOk = MakeButton(this, "ButOk", QStringLiteral("OK"), 190, y);
    ButOk->SetModalResult(mrOk);
    ButOk->SetDefault(true);
    ButCancel = MakeButton(this, "ButCancel", QStringLiteral("Cancel"), 271, y);
    ButCancel->SetModalResult(mrCancel);
    ButCancel->SetCancel(true);
    ResizeClient(358, y + 37);
    DoCreate();
}

TRepTextDialog::~TRepTextDialog() { DoDestroy(); }

namespace {

// Fills the dialog from the label, shows it, and writes back on OK.
bool EditText(TRepLabelEditor &editor, TRepCustomLabel &label, TRepExpr *expr)
{
    TRepTextDialog dialog(expr != nullptr);
    if (expr && label.Report)
        dialog.DataSets = label.Report->DataSets;
    dialog.EdText->SetText(editor.GetText());
    dialog.EdWidth->SetText(QString::number(qRound(label.Size.GetMeasure(TRepPrintableSize::iWidth))));
    dialog.EdHeight->SetText(QString::number(qRound(label.Size.GetMeasure(TRepPrintableSize::iHeight))));
    dialog.ChAutoSize->SetChecked(label.AutoSize);
    dialog.ChStretch->SetChecked(label.AutoStretch);
    dialog.ChTransparent->SetChecked(label.Transparent);
    if (expr)
        dialog.CbMask->SetText(expr->Mask);
    if (dialog.ShowModal() != mrOk)
        return false;
    editor.SetText(dialog.EdText->Text());
    label.Size.SetMeasure(TRepPrintableSize::iWidth, StrToInt(dialog.EdWidth->Text().trimmed()));
    label.Size.SetMeasure(TRepPrintableSize::iHeight, StrToInt(dialog.EdHeight->Text().trimmed()));
    label.AutoSize = dialog.ChAutoSize->Checked();
    label.AutoStretch = dialog.ChStretch->Checked();
    label.Transparent = dialog.ChTransparent->Checked();
    if (expr)
        expr->Mask = dialog.CbMask->Text();
    return true;
}

} // namespace

bool TRepLabelEditor::Edit() { return EditText(*this, *Label(), nullptr); }

bool TRepExprEditor::Edit() { return EditText(*this, *Label(), Expr()); }

// ---- the expression builder ---------------------------------------------------

TWordWrapEdit::TWordWrapEdit(QWidget *parent, const QString &name)
    : TMemo(parent, name)
{
    SetWordWrap(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

TRepExpressionBuilder::TRepExpressionBuilder(const std::vector<TDataSet *> &dataSets, TRepEvEnvironment *local,
                                             QWidget *parent)
    : TForm(parent), dataSets_(dataSets), local_(local)
{
    SetName(QStringLiteral("RepExpressionBuilder"));
    SetCaption(QStringLiteral("Expression Builder"));
    SetBorderStyle(TFormBorderStyle::bsDialog);
    SetPosition(TPosition::poScreenCenter);
    ResizeClient(460, 330);
    BuildMain();
    BuildPages();
    for (TDataSet *d : dataSets_)
        LbDataSets->Items().Add(d->Name());
    for (const char *c : kCategories)
        LbCategory->Items().Add(QString::fromLatin1(c));
    FillVariables();
    ShowPage(pgMain);
    DoCreate();
}

TRepExpressionBuilder::~TRepExpressionBuilder() { DoDestroy(); }

void TRepExpressionBuilder::BuildMain()
{
    PanMain = MakePage(this, "PanMain");
    LbHeading = MakeLabel(PanMain, "LbHeading", QStringLiteral("Enter expression:"), 20, 14);
    Ed = Make<TWordWrapEdit>(PanMain, "Ed", 20, 36, 341, 91);
    ButValidate = MakeButton(PanMain, "ButValidate", QStringLiteral("Valida&te"), 372, 36);
    ButClear = MakeButton(PanMain, "ButClear", QStringLiteral("&Clear"), 372, 68);
    ButValidate->OnClick = [this](TObject *) { Validate(); };
    ButClear->OnClick = [this](TObject *) { Ed->SetText(QString()); };
    auto *group = Make<TGroupBox>(PanMain, "GrInsert", 20, 140, 420, 140);
    group->SetCaption(QStringLiteral("Insert at cursor position"));
    ButField = MakeButton(group, "ButField", QStringLiteral("&Database field"), 12, 24, 120);
    ButFunction = MakeButton(group, "ButFunction", QStringLiteral("&Function"), 12, 58, 120);
    ButVariable = MakeButton(group, "ButVariable", QStringLiteral("&Variable"), 12, 92, 120);
    ButField->OnClick = [this](TObject *) { ShowPage(pgField); };
    ButFunction->OnClick = [this](TObject *) {
        ShowPage(pgFunction);
        if (LbCategory->ItemIndex() < 0) {
            LbCategory->SetItemIndex(0);
            CategoryChange();
        }
    };
    ButVariable->OnClick = [this](TObject *) {
        FillVariables();
        ShowPage(pgVariable);
    };
    const char *const operators[] = {"+", "-", "*", "/", "=", "<", ">", "<>", "<=", ">=", "Not", "And", "Or"};
    int i = 0;
    for (const char *op : operators) {
        const QString caption = QString::fromLatin1(op);
        TButton *b = MakeButton(group, "", caption, 150 + (i % 5) * 52, 24 + (i / 5) * 34, 46);
        b->SetName(QStringLiteral("ButOp%1").arg(i));
        b->OnClick = [this, caption](TObject *) { InsertText(u' ' + caption + u' '); };
        OperatorButtons.push_back(b);
        ++i;
    }
    ButOk = MakeButton(PanMain, "ButOk", QStringLiteral("OK"), 284, 292);
    ButOk->SetModalResult(mrOk);
    ButOk->SetDefault(true);
    ButCancel = MakeButton(PanMain, "ButCancel", QStringLiteral("Cancel"), 365, 292);
    ButCancel->SetModalResult(mrCancel);
    ButCancel->SetCancel(true);
}

void TRepExpressionBuilder::BuildPages()
{
    // Data field.
    PanField = MakePage(this, "PanField");
    MakeLabel(PanField, "LbFieldHead", QStringLiteral("Insert database field in expression"), 20, 14);
    MakeLabel(PanField, "LbSelDataSet", QStringLiteral("Select dataset"), 20, 40);
    LbDataSets = Make<TListBox>(PanField, "LbDataSets", 20, 58, 200, 220);
    MakeLabel(PanField, "LbAvailFields", QStringLiteral("Available fields"), 240, 40);
    LbFields = Make<TListBox>(PanField, "LbFields", 240, 58, 200, 220);
    ButFieldOk = MakeButton(PanField, "ButFieldOk", QStringLiteral("OK"), 284, 292);
    ButFieldCancel = MakeButton(PanField, "ButFieldCancel", QStringLiteral("Cancel"), 365, 292);
    QObject::connect(LbDataSets, &QListWidget::currentRowChanged, [this] { DataSetChange(); });
    ButFieldOk->OnClick = [this](TObject *) { FieldOkClick(); };
    LbFields->OnDblClick = [this](TObject *) { FieldOkClick(); };
    ButFieldCancel->OnClick = [this](TObject *) { ShowPage(pgMain); };

    // Function.
    PanFunction = MakePage(this, "PanFunction");
    MakeLabel(PanFunction, "LbFuncHead", QStringLiteral("Select function"), 20, 14);
    MakeLabel(PanFunction, "LbCatHead", QStringLiteral("Category"), 20, 40);
    LbCategory = Make<TListBox>(PanFunction, "LbCategory", 20, 58, 140, 160);
    MakeLabel(PanFunction, "LbAvailFuncs", QStringLiteral("Available functions"), 180, 40);
    LbFunctions = Make<TListBox>(PanFunction, "LbFunctions", 180, 58, 260, 160);
    LbFuncName = MakeLabel(PanFunction, "LbFuncName", QString(), 20, 226);
    LbFuncDesc = Make<TLabel>(PanFunction, "LbFuncDesc", 20, 246, 420, 40);
    LbFuncDesc->SetAutoSize(false);
    LbFuncDesc->setWordWrap(true);
    ButContinue = MakeButton(PanFunction, "ButContinue", QStringLiteral("Continue"), 284, 292);
    ButFunctionCancel = MakeButton(PanFunction, "ButFunctionCancel", QStringLiteral("Cancel"), 365, 292);
    QObject::connect(LbCategory, &QListWidget::currentRowChanged, [this] { CategoryChange(); });
    QObject::connect(LbFunctions, &QListWidget::currentRowChanged, [this] { FunctionChange(); });
    ButContinue->OnClick = [this](TObject *) { ContinueClick(); };
    LbFunctions->OnDblClick = [this](TObject *) { ContinueClick(); };
    ButFunctionCancel->OnClick = [this](TObject *) { ShowPage(pgMain); };

    // Arguments (rows made for each function).
    PanArguments = MakePage(this, "PanArguments");
    LbArgsHeading = MakeLabel(PanArguments, "LbArgsHead", QStringLiteral("Enter parameters for function"), 20, 14);
    ButArgsOk = MakeButton(PanArguments, "ButArgsOk", QStringLiteral("OK"), 284, 292);
    ButArgsCancel = MakeButton(PanArguments, "ButArgsCancel", QStringLiteral("Cancel"), 365, 292);
    ButArgsOk->OnClick = [this](TObject *) { ArgsOkClick(); };
    ButArgsCancel->OnClick = [this](TObject *) { ShowPage(pgMain); };

    // Variable.
    PanVariable = MakePage(this, "PanVariable");
    MakeLabel(PanVariable, "LbVarHead", QStringLiteral("Select variable"), 20, 14);
    LbVariables = Make<TListBox>(PanVariable, "LbVariables", 20, 36, 420, 200);
    LbValue = MakeLabel(PanVariable, "LbValue", QStringLiteral("Value :"), 20, 246);
    ButModify = MakeButton(PanVariable, "ButModify", QStringLiteral("&Modify variables"), 20, 292, 120);
    ButVarOk = MakeButton(PanVariable, "ButVarOk", QStringLiteral("OK"), 284, 292);
    ButVarCancel = MakeButton(PanVariable, "ButVarCancel", QStringLiteral("Cancel"), 365, 292);
    QObject::connect(LbVariables, &QListWidget::currentRowChanged, [this] { VariableChange(); });
    ButVarOk->OnClick = [this](TObject *) { VarOkClick(); };
    LbVariables->OnDblClick = [this](TObject *) { VarOkClick(); };
    ButVarCancel->OnClick = [this](TObject *) { ShowPage(pgMain); };
    ButModify->OnClick = [this](TObject *) {
        ShowVariablesEditor(local_, true, this);
        FillVariables();
    };
}

void TRepExpressionBuilder::ShowPage(TPage page)
{
    page_ = page;
    const TPanel *pages[] = {PanMain, PanField, PanFunction, PanArguments, PanVariable};
    for (int i = 0; i < 5; ++i)
        const_cast<TPanel *>(pages[i])->SetVisible(i == int(page));
    if (page == pgMain)
        Ed->setFocus();
}

QString TRepExpressionBuilder::Expression() const { return WithoutReturns(Ed->Text()); }

void TRepExpressionBuilder::InsertText(const QString &text)
{
    QTextCursor cursor = Ed->textCursor();
    cursor.insertText(text); // replaces the selection, the caret after the text
    Ed->setTextCursor(cursor);
    ShowPage(pgMain);
}

void TRepExpressionBuilder::DataSetChange()
{
    LbFields->Items().Clear();
    const int i = LbDataSets->ItemIndex();
    if (i < 0 || size_t(i) >= dataSets_.size())
        return;
    TDataSet *d = dataSets_[size_t(i)];
    if (d->FieldCount() > 0) {
        for (int f = 0; f < d->FieldCount(); ++f)
            LbFields->Items().Add(d->Fields()[f]->FieldName());
    } else {
        for (int f = 0; f < d->FieldDefs().Count(); ++f)
            LbFields->Items().Add(d->FieldDefs()[f]->Name());
    }
}

void TRepExpressionBuilder::FieldOkClick()
{
    const int d = LbDataSets->ItemIndex(), f = LbFields->ItemIndex();
    if (d < 0 || f < 0)
        return;
    InsertText(LbDataSets->Items()[d] + u'.' + LbFields->Items()[f]);
}

void TRepExpressionBuilder::CategoryChange()
{
    ListedFunctions.clear();
    LbFunctions->Items().Clear();
    const int category = LbCategory->ItemIndex();
    const TRepFunctionLibrary &library = FunctionLibrary();
    for (int i = 0; i < library.Count(); ++i) {
        const TRepLibraryEntry &e = library.GetEntry(i);
        if (category > 0 && (e.ArgumentSpec.isEmpty() || e.ArgumentSpec[0] != QChar(u'0' + category)))
            continue;
        ListedFunctions.push_back(i);
        LbFunctions->Items().Add(e.Name);
    }
    LbFuncName->SetCaption(QString());
    LbFuncDesc->SetCaption(QString());
}

void TRepExpressionBuilder::FunctionChange()
{
    const int i = LbFunctions->ItemIndex();
    if (i < 0 || size_t(i) >= ListedFunctions.size())
        return;
    const auto [name, description] = SplitDescription(FunctionLibrary().GetEntry(ListedFunctions[size_t(i)]).Description);
    LbFuncName->SetCaption(name);
    LbFuncDesc->SetCaption(description);
}

void TRepExpressionBuilder::ContinueClick()
{
    const int i = LbFunctions->ItemIndex();
    if (i < 0 || size_t(i) >= ListedFunctions.size())
        return;
    argFunction_ = ListedFunctions[size_t(i)];
    const TRepLibraryEntry &e = FunctionLibrary().GetEntry(argFunction_);
    const QString letters = e.ArgumentSpec.mid(1);
    if (letters.isEmpty()) {
        InsertText(e.Name);
        return;
    }
    for (TLabel *l : ArgLabels)
        delete l;
    for (TEdit *ed : ArgEdits)
        delete ed;
    for (TButton *b : ArgButtons)
        delete b;
    ArgLabels.clear();
    ArgEdits.clear();
    ArgButtons.clear();
    const QString nameLine = SplitDescription(e.Description).first;
    for (int n = 0; n < letters.size(); ++n) {
        const int top = 44 + n * 40;
        TLabel *label = MakeLabel(PanArguments, "", ArgumentCaption(letters[n], n + 1), 20, top + 4);
        label->SetName(QStringLiteral("LbArg%1").arg(n + 1));
        auto *edit = Make<TEdit>(PanArguments, "", 200, top, 200, 22);
        edit->SetName(QStringLiteral("EdArg%1").arg(n + 1));
        TButton *more = MakeButton(PanArguments, "", QStringLiteral("..."), 406, top, 26, 22);
        more->SetName(QStringLiteral("ButArg%1").arg(n + 1));
        more->OnClick = [this, edit, n, nameLine](TObject *) {
            const QString heading = QStringLiteral("Enter %1. parameter for %2").arg(n + 1).arg(nameLine);
            QString text = edit->Text();
            if (ShowExpressionBuilder(&heading, text, dataSets_, local_, this))
                edit->SetText(text);
        };
        label->show();
        edit->show();
        more->show();
        ArgLabels.push_back(label);
        ArgEdits.push_back(edit);
        ArgButtons.push_back(more);
    }
    ShowPage(pgArguments);
}

void TRepExpressionBuilder::ArgsOkClick()
{
    if (argFunction_ < 0)
        return;
    QStringList args;
    for (TEdit *e : ArgEdits)
        args << e->Text();
    InsertText(FunctionLibrary().GetEntry(argFunction_).Name + u'(' + args.join(u',') + u')');
}

void TRepExpressionBuilder::FillVariables()
{
    LbVariables->Items().Clear();
    for (TRepEvEnvironment *env : {local_, &GlobalEnvironment()})
        if (env)
            for (int i = 0; i < env->Count(); ++i)
                LbVariables->Items().Add(env->Names(i));
    LbValue->SetCaption(QStringLiteral("Value :"));
}

void TRepExpressionBuilder::VariableChange()
{
    const int i = LbVariables->ItemIndex();
    if (i < 0)
        return;
    const QString name = LbVariables->Items()[i];
    for (TRepEvEnvironment *env : {local_, &GlobalEnvironment()})
        if (env && env->IndexOf(name) >= 0) {
            LbValue->SetCaption(QStringLiteral("Value : ") + env->Variable(env->IndexOf(name))->ExpressionText);
            return;
        }
}

void TRepExpressionBuilder::VarOkClick()
{
    const int i = LbVariables->ItemIndex();
    if (i >= 0)
        InsertText(LbVariables->Items()[i]);
}

QString TRepExpressionBuilder::Validate()
{
    GlobalEnvironment().CompileAll();
    if (local_)
        local_->CompileAll();
    std::vector<TDataSet *> list = dataSets_;
    TRepEvValue value;
    {
        TRepEvaluator evaluator;
        evaluator.SetDataSetList(&list);
        evaluator.LocalEnvironment = local_;
        value = evaluator.EvaluateText(Expression());
    }
    if (local_)
        local_->DiscardAll();
    GlobalEnvironment().DiscardAll();
    const QString message = value.IsError() ? QStringLiteral("ERROR: ") + value.Text
                                            : QStringLiteral("There are no errors. The result is : ") + RepEvValueText(value);
    TRepMessageBox box(message);
    box.ShowModal();
    return message;
}

bool ShowExpressionBuilder(const QString *heading, QString &expression, const std::vector<TDataSet *> &dataSets,
                           TRepEvEnvironment *local, QWidget *parent)
{
    TRepExpressionBuilder builder(dataSets, local, parent);
    if (heading)
        builder.LbHeading->SetCaption(*heading);
    builder.Ed->SetText(expression);
    builder.Ed->SelectAll();
    const bool ok = builder.ShowModal() == mrOk;
    expression = ok ? builder.Expression() : QString();
    return ok;
}

// ---- the variables editor -------------------------------------------------------

TRepEnvironmentEditor::TRepEnvironmentEditor(TRepEvEnvironment *env, bool allowGlobal, QWidget *parent)
    : TForm(parent), env_(env)
{
    SetName(QStringLiteral("RepEnvironmentEditor"));
    SetCaption(QStringLiteral("User Defined Functions Edtor"));
    SetBorderStyle(TFormBorderStyle::bsDialog);
    SetPosition(TPosition::poScreenCenter);
    GrAvailable = Make<TGroupBox>(this, "GrAvailable", 8, 8, 444, 230);
    GrAvailable->SetCaption(QStringLiteral("Available User Defined Functions"));
    UDFGrid = new QTableWidget(0, 2, GrAvailable);
    UDFGrid->setObjectName(QStringLiteral("UDFGrid"));
    UDFGrid->setGeometry(10, 22, 424, 170);
    UDFGrid->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Expression")});
    UDFGrid->horizontalHeader()->setStretchLastSection(true);
    UDFGrid->verticalHeader()->hide();
    UDFGrid->setColumnWidth(0, 120);
    RbLocal = Make<TRadioButton>(GrAvailable, "RbLocal", 10, 200, 130, 20);
    RbLocal->SetCaption(QStringLiteral("&Local defines"));
    RbGlobal = Make<TRadioButton>(GrAvailable, "RbGlobal", 150, 200, 130, 20);
    RbGlobal->SetCaption(QStringLiteral("&Global defines"));
    ButEdit = MakeButton(this, "ButEdit", QStringLiteral("&Edit"), 8, 246);
    ButAdd = MakeButton(this, "ButAdd", QStringLiteral("&Add"), 89, 246);
    ButDelete = MakeButton(this, "ButDelete", QStringLiteral("&Delete"), 170, 246);
    ButClose = MakeButton(this, "ButClose", QStringLiteral("Close"), 377, 246);
    ButClose->SetModalResult(mrOk);
    ButClose->SetCancel(true);

    GrNew = Make<TGroupBox>(this, "GrNew", 8, 280, 444, 90);
    GrNew->SetCaption(QStringLiteral("New entry"));
    MakeLabel(GrNew, "LbName", QStringLiteral("Name :"), 10, 26);
    EdName = Make<TEdit>(GrNew, "EdName", 90, 22, 150, 22);
    MakeLabel(GrNew, "LbExpression", QStringLiteral("Expression :"), 10, 56);
    EdExpression = Make<TEdit>(GrNew, "EdExpression", 90, 52, 250, 22);
    ButNewBuild = MakeButton(GrNew, "ButNewBuild", QStringLiteral("..."), 344, 52, 26, 22);
    ButNewOk = MakeButton(GrNew, "ButNewOk", QStringLiteral("&OK"), 376, 22, 60);
    ButNewCancel = MakeButton(GrNew, "ButNewCancel", QStringLiteral("&Cancel"), 376, 52, 60);
    GrNew->SetVisible(false);
    ResizeClient(460, 378);

    RbLocal->SetEnabled(env_ != nullptr);
    RbGlobal->SetEnabled(allowGlobal || env_ == nullptr);
    (env_ ? RbLocal : RbGlobal)->SetChecked(true);
    for (TRadioButton *rb : {RbLocal, RbGlobal})
        QObject::connect(rb, &QRadioButton::toggled, [this](bool on) {
            if (on)
                Fill();
        });
    QObject::connect(UDFGrid, &QTableWidget::cellChanged, [this](int row, int column) { CellEdited(row, column); });
    QObject::connect(UDFGrid, &QTableWidget::cellDoubleClicked, [this] { EditClick(); });
    ButEdit->OnClick = [this](TObject *) { EditClick(); };
    ButAdd->OnClick = [this](TObject *) {
        EdName->SetText(QString());
        EdExpression->SetText(QString());
        GrNew->SetVisible(true);
        EdName->setFocus();
    };
    ButNewBuild->OnClick = [this](TObject *) {
        QString text = EdExpression->Text();
        if (ShowExpressionBuilder(nullptr, text, {}, env_, this))
            EdExpression->SetText(text);
    };
    ButNewOk->OnClick = [this](TObject *) { NewOkClick(); };
    ButNewCancel->OnClick = [this](TObject *) { GrNew->SetVisible(false); };
    Fill();
    DoCreate();
}

TRepEnvironmentEditor::~TRepEnvironmentEditor() { DoDestroy(); }

TRepEvEnvironment &TRepEnvironmentEditor::Current() const
{
    return env_ && RbLocal->Checked() ? *env_ : GlobalEnvironment();
}

void TRepEnvironmentEditor::Fill()
{
    filling_ = true;
    const TRepEvEnvironment &env = Current();
    UDFGrid->setRowCount(env.Count());
    for (int i = 0; i < env.Count(); ++i) {
        UDFGrid->setItem(i, 0, new QTableWidgetItem(env.Names(i)));
        UDFGrid->setItem(i, 1, new QTableWidgetItem(env.Variable(i)->ExpressionText));
    }
    filling_ = false;
}

void TRepEnvironmentEditor::CellEdited(int row, int column)
{
    if (filling_)
        return;
    TRepEvEnvironment &env = Current();
    if (row < 0 || row >= env.Count())
        return;
    const QString name = env.Names(row);
    const QString text = UDFGrid->item(row, column) ? UDFGrid->item(row, column)->text() : QString();
    if (column == 0)
        env.RenameVariable(name, text);
    else
        env.SetVariableExpression(name, text);
    Fill(); // shows what the environment holds now (upper-cased, or the old text)
}

void TRepEnvironmentEditor::EditClick()
{
    const int row = UDFGrid->currentRow();
    TRepEvEnvironment &env = Current();
    if (row < 0 || row >= env.Count())
        return;
    const QString heading = env.Names(row);
    QString text = env.Variable(row)->ExpressionText;
    if (ShowExpressionBuilder(&heading, text, {}, env_, this)) {
        UDFGrid->item(row, 1)->setText(text); // as if typed into the cell
    }
}

void TRepEnvironmentEditor::NewOkClick()
{
    const QString name = EdName->Text().trimmed();
    if (!name.isEmpty())
        Current().DefineVariable(name, EdExpression->Text());
    GrNew->SetVisible(false);
    Fill();
}

void ShowVariablesEditor(TRepEvEnvironment *env, bool allowGlobal, QWidget *parent)
{
    TRepEnvironmentEditor editor(env, allowGlobal, parent);
    editor.ShowModal();
}

} // namespace zorbel
