// The extra-conditions and output-limits dialog of the results window.
//
//   +--PanFld------------------------------+   +--PanFiltSum--------------------+
//   | Примечание   [=] [................]  |   | [Валюта счёта        v]        |
//   | Приход       [=] [......]            |   | (o) Приход    [>] [.......]    |
//   | ...six numeric rows...               |   | ( ) Расход    [>] [.......]    |
//   +--------------------------------------+   | ( ) Результат [>] [.......]    |
//                        [ OK ] [Отмена]       +--------------------------------+
#include "analysis/ZorbFilt.h"

#include "core/TulnDlg.h"
#include "core/ZorbText.h"
#include "platform/canvas/Graphics.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/FormatSettings.h"

namespace zorbel {

namespace {

const char *const CompareHints[] = {"равно", "больше", "меньше", "не равно"};

TComboBox *CompareBox(QWidget *Parent, const QString &Name, int Top)
{
    auto *box = new TComboBox(Parent, Name);
    box->SetStyle(TComboBoxStyle::csDropDownList);
    for (const char *c : {"=", ">", "<", "#"})
        box->Items().Add(QString::fromLatin1(c));
    box->SetBounds(110, Top, 44, 22);
    return box;
}

TEdit *RowEdit(QWidget *Parent, const QString &Name, int Top, int Width)
{
    auto *edit = new TEdit(Parent, Name);
    edit->SetBounds(160, Top, Width, 22);
    return edit;
}

void RowLabel(QWidget *Parent, const char *Caption, int Top)
{
    auto *label = new TLabel(Parent);
    label->SetCaption(U(Caption));
    label->SetBounds(8, Top + 3, 100, 16);
}

} // namespace

QStringList RstUnitLabels(int Unit)
{
    switch (Unit) {
    case 1: return {U("+ у.е."), U("- у.е."), U("Результат")};
    case 2: return {U("+ Кол."), U("- Кол."), U("Результат")};
    default: return {U("Приход"), U("Расход"), U("Результат")};
    }
}

bool NumberEditAccepts(QChar Key, const QString &Text, int CaretPos, int SelLength, bool &ClearFirst)
{
    ClearFirst = false;
    if (Key.unicode() < 32)
        return true;
    const QChar sep = FormatSettings().DecimalSeparator;
    if (Key == u'-') {
        if (SelLength > 0) {
            ClearFirst = true;
            return true;
        }
        return !Text.contains(u'-') && CaretPos == 0;
    }
    if (Key == sep) {
        if (Text.contains(sep)) {
            if (SelLength > 0) {
                ClearFirst = true;
                return true;
            }
            return false;
        }
        return true;
    }
    return Key >= u'0' && Key <= u'9';
}

TFormFilt::TFormFilt()
{
    SetName(U("FormFilt"));
    SetCaption(QString());
    SetPosition(TPosition::poScreenCenter);
    SetBorderStyle(TFormBorderStyle::bsDialog);
    SetClientWidth(330);
    SetClientHeight(250);

    PanFld = new TPanel(this, U("PanFld"));
    PanFld->SetBounds(0, 0, 330, 210);
    struct TRow {
        const char *Label, *Box, *Edit;
    };
    static constexpr TRow rows[] = {
        {"Примечание", "CbComm", "Ed_Comm"}, {"Приход", "CbDt", "Ed_Dt"},       {"Расход", "CbCt", "Ed_Ct"},
        {"Цена", "CbPrice", "Ed_Price"},     {"Курс", "CbRate", "Ed_Rate"},     {"Кол-во прих.", "CbQdt", "Ed_Qdt"},
        {"Кол-во расх.", "CbQct", "Ed_Qct"},
    };
    std::array<TComboBox *, 7> boxes{};
    std::array<TEdit *, 7> edits{};
    for (int i = 0; i < 7; ++i) {
        const int top = 8 + i * 28;
        RowLabel(PanFld, rows[i].Label, top);
        boxes[size_t(i)] = CompareBox(PanFld, U(rows[i].Box), top);
        edits[size_t(i)] = RowEdit(PanFld, U(rows[i].Edit), top, i == 0 ? 160 : 100);
    }
    CbComm = boxes[0], CbDt = boxes[1], CbCt = boxes[2], CbPrice = boxes[3], CbRate = boxes[4], CbQdt = boxes[5],
    CbQct = boxes[6];
    Ed_Comm = edits[0], Ed_Dt = edits[1], Ed_Ct = edits[2], Ed_Price = edits[3], Ed_Rate = edits[4],
    Ed_Qdt = edits[5], Ed_Qct = edits[6];

    PanFiltSum = new TPanel(this, U("PanFiltSum"));
    PanFiltSum->SetBounds(0, 0, 330, 210);
    CbTab = new TComboBox(PanFiltSum, U("CbTab"));
    CbTab->SetStyle(TComboBoxStyle::csDropDownList);
    CbTab->Items().Add(U("Валюта счёта"));
    CbTab->Items().Add(U("Общая валюта (у.е.)"));
    CbTab->Items().Add(U("Количество"));
    CbTab->SetHint(U("Что выводить в таблицу"));
    CbTab->SetBounds(8, 8, 200, 22);
    CbTab->SetItemIndex(0);
    const QStringList labels = RstUnitLabels(0);
    std::array<TRadioButton *, 3> radios{};
    std::array<TButton *, 3> eqs{};
    std::array<TEdit *, 3> limits{};
    static constexpr const char *radioNames[] = {"RbDt", "RbCt", "RbRs"};
    static constexpr const char *eqNames[] = {"ButEqDt", "ButEqCt", "ButEqRs"};
    static constexpr const char *limitNames[] = {"EdDt", "EdCt", "EdRs"};
    for (int i = 0; i < 3; ++i) {
        const int top = 44 + i * 30;
        radios[size_t(i)] = new TRadioButton(PanFiltSum, U(radioNames[i]));
        radios[size_t(i)]->SetCaption(labels[i]);
        radios[size_t(i)]->SetHint(U("Что выводить в диаграмму"));
        radios[size_t(i)]->SetBounds(8, top, 110, 22);
        eqs[size_t(i)] = new TButton(PanFiltSum, U(eqNames[i]));
        eqs[size_t(i)]->SetCaption(QStringLiteral(">"));
        eqs[size_t(i)]->SetBounds(124, top, 30, 22);
        limits[size_t(i)] = RowEdit(PanFiltSum, U(limitNames[i]), top, 120);
    }
    RbDt = radios[0], RbCt = radios[1], RbRs = radios[2];
    ButEqDt = eqs[0], ButEqCt = eqs[1], ButEqRs = eqs[2];
    EdDt = limits[0], EdCt = limits[1], EdRs = limits[2];
    RbCt->SetChecked(true);

    ButOk = new TButton(this, U("ButOk"));
    ButOk->SetCaption(U("OK"));
    ButOk->SetDefault(true);
    ButOk->SetBounds(160, 218, 75, 25);
    ButCancel = new TButton(this, U("ButCancel"));
    ButCancel->SetCaption(U("Отмена"));
    ButCancel->SetCancel(true);
    ButCancel->SetModalResult(mrCancel);
    ButCancel->SetBounds(245, 218, 75, 25);

    // FormCreate: every comparison starts at "=".
    for (TComboBox *box : boxes) {
        box->SetItemIndex(0);
        box->SetHint(U(CompareHints[0]));
        box->OnChange = [this](TObject *s) { CbCommChange(s); };
    }
    for (TEdit *edit : {Ed_Dt, Ed_Ct, Ed_Price, Ed_Rate, Ed_Qdt, Ed_Qct, EdDt, EdCt, EdRs})
        edit->OnKeyPress = [this](TObject *s, QChar &k) { EdDtKeyPress(s, k); };
    for (TRadioButton *rb : radios)
        rb->OnClick = [this](TObject *s) { RbDtClick(s); };
    for (TButton *b : eqs)
        b->OnClick = [this](TObject *s) { ButEqDtClick(s); };
    CbTab->OnChange = [this](TObject *s) { CbTabChange(s); };
    ButOk->OnClick = [this](TObject *s) { ButOkClick(s); };
    OnShow = [this](TObject *s) { FormShow(s); };
}

TFormFilt::~TFormFilt() = default;

std::array<TComboBox *, rnCount> TFormFilt::numberBoxes() const
{
    return {CbDt, CbCt, CbPrice, CbRate, CbQdt, CbQct};
}

std::array<TEdit *, rnCount> TFormFilt::numberEdits() const
{
    return {Ed_Dt, Ed_Ct, Ed_Price, Ed_Rate, Ed_Qdt, Ed_Qct};
}

void TFormFilt::FormShow(TObject *)
{
    PanFld->SetVisible(!LimitsMode);
    PanFiltSum->SetVisible(LimitsMode);
    if (!LimitsMode) {
        Ed_Comm->SetFocus();
        return;
    }
    PanFiltSum->raise();
    RbDtClick(nullptr);
    (RbDt->Checked() ? EdDt : RbCt->Checked() ? EdCt : EdRs)->SetFocus();
}

void TFormFilt::RbDtClick(TObject *)
{
    for (TRadioButton *rb : {RbDt, RbCt, RbRs})
        rb->SetFontColor(rb->Checked() ? clBlue : clBlack);
}

void TFormFilt::CbTabChange(TObject *)
{
    const QStringList labels = RstUnitLabels(CbTab->ItemIndex());
    RbDt->SetCaption(labels[0]);
    RbCt->SetCaption(labels[1]);
    RbRs->SetCaption(labels[2]);
}

void TFormFilt::ButEqDtClick(TObject *Sender)
{
    auto *button = dynamic_cast<TButton *>(Sender);
    if (!button)
        return;
    const QString c = button->Caption();
    button->SetCaption(c == u"=" ? QStringLiteral(">") : c == u">" ? QStringLiteral("<") : QStringLiteral("="));
}

void TFormFilt::CbCommChange(TObject *Sender)
{
    auto *box = dynamic_cast<TComboBox *>(Sender);
    if (box && box->ItemIndex() >= 0 && box->ItemIndex() < 4)
        box->SetHint(U(CompareHints[box->ItemIndex()]));
}

void FilterNumberKey(TEdit *Edit, QChar &Key)
{
    bool clear = false;
    if (!NumberEditAccepts(Key, Edit->Text(), Edit->SelStart(), Edit->SelLength(), clear)) {
        Key = QChar();
        return;
    }
    if (clear)
        Edit->SetText(QString());
}

void TFormFilt::EdDtKeyPress(TObject *Sender, QChar &Key)
{
    if (auto *edit = dynamic_cast<TEdit *>(Sender))
        FilterNumberKey(edit, Key);
}

bool TFormFilt::ValidateNumberEdit(TEdit *Edit)
{
    double value = 0;
    if (Edit->Text().isEmpty() || TryStrToCurr(Edit->Text(), value))
        return true;
    ShowNotice(U("Должно быть число или пусто!"), false);
    Edit->SetFocus();
    return false;
}

void TFormFilt::ButOkClick(TObject *)
{
    ButOk->SetFocus();
    const std::vector<TEdit *> edits = LimitsMode ? std::vector<TEdit *>{EdDt, EdCt, EdRs}
                                                  : std::vector<TEdit *>{Ed_Dt, Ed_Ct, Ed_Price, Ed_Rate, Ed_Qdt, Ed_Qct};
    for (TEdit *edit : edits)
        if (!ValidateNumberEdit(edit))
            return;
    SetModalResult(mrOk);
}

void TFormFilt::ReadConditions(TRstConditions &C) const
{
    C.Comment = Ed_Comm->Text();
    C.CommentCompare = CbComm->ItemIndex();
    const auto boxes = numberBoxes();
    const auto edits = numberEdits();
    for (size_t i = 0; i < size_t(rnCount); ++i)
        C.Numbers[i] = {edits[i]->Text(), boxes[i]->ItemIndex()};
}

QString TFormFilt::LimitFilter(const QStringList &FieldNames, QString &Marks) const
{
    QString text;
    Marks = QStringLiteral("- - -");
    const TEdit *edits[] = {EdDt, EdCt, EdRs};
    const TButton *eqs[] = {ButEqDt, ButEqCt, ButEqRs};
    for (int i = 0; i < 3; ++i) {
        if (edits[i]->Text().isEmpty())
            continue;
        Marks[i * 2] = u'+';
        if (!text.isEmpty())
            text += QStringLiteral(" and ");
        QString value = edits[i]->Text();
        value.replace(u'\'', QStringLiteral("''"));
        text += FieldNames.value(i) + eqs[i]->Caption() + u'\'' + value + u'\'';
    }
    return text;
}

} // namespace zorbel
