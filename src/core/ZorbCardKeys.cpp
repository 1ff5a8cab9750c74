// The operation card's keys and buttons: the amount keys ('=', '%', space,
// '+', '-', the separators and the jumps to other fields), the "=" buttons
// that derive one field, the calculator on a field, the percentage, the
// person, firm and note pickers, the history buttons and the function keys.
#include "core/ZorbCard.h"

#include "core/TulnDlg.h"
#include "core/ZorbBound.h"
#include "core/ZorbCalc.h"
#include "core/ZorbText.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/FormatSettings.h"
#include "platform/rtl/Money.h"

namespace zorbel {
namespace {

int64_t Units(const TField *f) { return !f || f->IsNull() ? 0 : MoneyToUnits(f->AsFloat()); }

} // namespace

TDBEdit *TFormCard::KeyTarget() const
{
    for (TDBEdit *e : {DBEQuant, DBEPrice, DBERate, DBE_Rate})
        if (e->Focused())
            return e;
    return DBESum;
}

int64_t TFormCard::FieldUnits(TDBEdit *edit) const
{
    if (edit == DBETrans_Ref)
        return dm_.Qtrans.Active() ? Units(dm_.Qtrans.FieldByName(QStringLiteral("Dt"))) : 0;
    return Units(edit->Field());
}

void TFormCard::WriteAmount(TDBEdit *edit, double value)
{
    TField *f = edit->Field();
    if (edit == DBETrans_Ref) {
        if (!dm_.Qtrans.Active())
            return;
        dm_.Qtrans.Edit();
        f = dm_.Qtrans.FieldByName(QStringLiteral("Dt"));
    } else if (!Editing() || !f) {
        return;
    }
    f->SetAsFloat(value);
}

void TFormCard::ButSumEvClick(TObject *Sender)
{
    if (!Editing())
        return;
    const int tag = dynamic_cast<TComponent *>(Sender) ? dynamic_cast<TComponent *>(Sender)->Tag() : 0;
    ButOk->setFocus();
    dm_.Tb_Hist.UpdateRecord();
    const int64_t S = FieldUnits(DBESum), P = Units(H("Price")), Q = FieldUnits(DBEQuant),
                  T = FieldUnits(DBETrans_Ref);
    TDBEdit *const focusFor[] = {nullptr, DBESum, DBEPrice, DBEQuant, DBETrans_Ref, DBERate, DBE_Rate};
    if (tag >= 1 && tag <= 6 && focusFor[tag]->CanFocus())
        focusFor[tag]->SetFocus();
    if (const auto d = DeriveField(tag, post_.CardMode, S, P, Q, T, ButDiv->Down())) {
        TDBEdit *const target[] = {nullptr, DBESum, DBEPrice, DBEQuant, DBETrans_Ref, DBERate};
        // A derived value past the bound is not written: the field keeps
        // what it held and the person is told why, as for a typed one.
        if (!MoneyInRange(d->Value))
            ShowNotice(MoneyRangeMessage(), false);
        else
            WriteAmount(target[d->Tag], d->Value);
    }
    ShowMonthTotals(true);
}

void TFormCard::DBESumKeyPress(TObject *Sender, QChar &Key)
{
    TDBEdit *target = KeyTarget();
    if (Sender == DBETrans_Ref)
        target = DBETrans_Ref;
    const auto value = [&] {
        // A field whose text still shows its value steps from the value as
        // stored: the shown text is rounded to the ledger's format (a rate of
        // 0,0125 shows as 0,01).
        const TField *f = target->Field();
        if (f && !f->IsNull() && !target->DataLink().IsModified())
            return f->AsFloat();
        QString text = target->Text();
        text.remove(FormatSettings().ThousandSeparator);
        double v = 0;
        TryStrToFloat(text.isEmpty() ? QStringLiteral("0") : text, v);
        return v;
    };
    const auto write = [&](std::optional<double> v) {
        if (v) {
            target->SetText(FloatToStr(*v));
            target->DataLink().Modified();
            target->SetSelStart(target->Text().size());
        }
    };
    static const QString separators = U("./,бюБЮ");
    static const QString who = U("qQйЙ"), where = U("aAфФ"), note = U("zZяЯ");
    if (Key == u'=') {
        Key = QChar();
        ButSumEvClick(Sender);
    } else if (Key == u'%' || Key == u' ') {
        Key = QChar();
        if (target->DataLink().Edit() || target == DBETrans_Ref)
            write(PercentStep(value(), PercentValue));
    } else if (Key == u'+') {
        Key = QChar();
        if (target->DataLink().Edit() || target == DBETrans_Ref)
            write(StepUp(value()));
    } else if (Key == u'-') {
        Key = QChar();
        if (target->DataLink().Edit() || target == DBETrans_Ref)
            write(StepDown(value()));
    } else if (separators.contains(Key)) {
        Key = FormatSettings().DecimalSeparator;
    } else if (who.contains(Key)) {
        Key = QChar();
        DBLWho->SetFocus();
    } else if (where.contains(Key)) {
        Key = QChar();
        DBLWhere->SetFocus();
    } else if (note.contains(Key)) {
        Key = QChar();
        DBEComm->SetFocus();
    } else if (Key == u'*') {
        Key = QChar();
        if (post_.CardMode != TCardMode::Transfer)
            ToggleDerivedField(dynamic_cast<TComponent *>(Sender) ? dynamic_cast<TComponent *>(Sender)->Tag() : 0);
    }
}

void TFormCard::DBESumKeyDown(TObject *Sender, WORD &Key, TShiftState)
{
    if (Key != VK_UP && Key != VK_DOWN)
        return;
    QChar c = Key == VK_UP ? QChar(u'+') : QChar(u'-');
    Key = 0;
    DBESumKeyPress(Sender, c);
}

void TFormCard::DBLTransKeyPress(TObject *, QChar &Key)
{
    if (!Tb_Acc.Active() || Key.unicode() < 32)
        return;
    Tb_Acc.FindNearest({Variant(QString(Key))});
    if (!Tb_Acc.IsEmpty() && Editing())
        H("REF_ACCOUNT")->SetAsVariant(Tb_Acc.FieldByName(QStringLiteral("ID_ACCOUNT"))->AsVariant());
}

void TFormCard::ButFindWhoClick(TObject *Sender)
{
    if (!Editing() || !PickReference)
        return;
    const int tag = dynamic_cast<TComponent *>(Sender) ? dynamic_cast<TComponent *>(Sender)->Tag() : 0;
    Variant id;
    if (PickReference(tag, id))
        H(tag == 1 ? "ID_Person" : "ID_Firm")->SetAsVariant(id);
}

void TFormCard::DBLWhoKeyPress(TObject *Sender, QChar &Key)
{
    if (Key != u'+')
        return;
    Key = QChar();
    ButFindWhoClick(Sender);
}

void TFormCard::DBLWhoKeyDown(TObject *Sender, WORD &Key, TShiftState)
{
    if (Key != VK_DELETE || !Editing())
        return;
    Key = 0;
    H(Sender == DBLWho ? "ID_Person" : "ID_Firm")->Clear();
}

void TFormCard::ButDelWhoClick(TObject *Sender)
{
    const int tag = dynamic_cast<TComponent *>(Sender) ? dynamic_cast<TComponent *>(Sender)->Tag() : 0;
    static const char *const fields[] = {"", "ID_Person", "ID_Firm", "Comment"};
    if (tag < 1 || tag > 3 || !Editing())
        return;
    try {
        H(fields[tag])->Clear();
    } catch (const Exception &) {
        // The field keeps its value, which the card shows; nothing is lost.
    }
}

void TFormCard::ButCommClick(TObject *)
{
    QString note;
    if (Editing() && PickNote && PickNote(note))
        H("Comment")->SetAsString(note);
}

void TFormCard::DBECommKeyPress(TObject *, QChar &Key)
{
    if (Key == u'\r') {
        Key = QChar();
        ButOkClick(ButOk);
    } else if (Key == QChar(27)) {
        Key = QChar();
        SetModalResult(mrCancel);
    }
}

void TFormCard::DBECommEnter(TObject *) { DBEComm->SelectAll(); }

void TFormCard::ButSumClick(TObject *)
{
    TDBEdit *edit = DBESum;
    for (TDBEdit *e : {DBERate, DBEQuant, DBEPrice, DBE_Rate, DBETrans_Ref})
        if (e->Focused()) {
            edit = e;
            break;
        }
    EditWithCalculator(edit);
}

void TFormCard::EditWithCalculator(TDBEdit *Edit)
{
    TFormCalc calc;
    QString text = Edit->Text();
    text.remove(FormatSettings().ThousandSeparator);
    calc.Ed->SetText(text);
    if (calc.ShowModal() != mrOk || calc.ResultText.isEmpty())
        return;
    try {
        if (Edit == DBETrans_Ref) {
            if (dm_.Qtrans.Active()) {
                dm_.Qtrans.Edit();
                dm_.Qtrans.FieldByName(QStringLiteral("Dt"))->SetAsString(calc.ResultText);
            }
        } else if (Edit->Field() && (Editing() || Edit->DataLink().Edit())) {
            Edit->Field()->SetAsString(calc.ResultText);
        }
        Edit->SetSelStart(Edit->Text().size());
    } catch (const EConvertError &e) {
        // A result past the money bound: refused with the typed road's reason.
        ShowNotice(e.Message(), false);
    } catch (const Exception &) {
        // A result the field does not take is dropped.
    }
}

void TFormCard::ButDivClick(TObject *)
{
    ButDiv->SetCaption(ButDiv->Down() ? U("x") : U("/"));
    ButDiv->SetHint(ButDiv->Down() ? U("умножить") : U("делить"));
}

void TFormCard::ButPercClick(TObject *)
{
    QString answer = FloatToStr(PercentValue);
    if (!InputLine(U("Процент пересчёта суммы"), U("Новый процент (можно отрицательный):"), answer, false))
        return;
    if (answer == FloatToStr(PercentValue))
        return;
    double v = 0;
    if (!TryStrToFloat(answer.trimmed().isEmpty() ? QStringLiteral("0") : answer.trimmed(), v))
        return;
    PercentValue = v;
    ButPerc->SetCaption(v == 0 ? U("%") : FloatToStr(v) + u'%');
}

void TFormCard::LabSumClick(TObject *)
{
    options_.LimPlan = !options_.LimPlan;
    ShowMonthTotals(true);
}

void TFormCard::LabAccountClick(TObject *) { ShowAccountLabel(); }

void TFormCard::ButPriorClick(TObject *Sender)
{
    try {
        if (!QitmHist.Active())
            QitmHist.Open();
        if (Sender == ButPrior)
            QitmHist.Next();
        else
            QitmHist.Prior();
    } catch (const Exception &) {
        return;
    }
    FillFromHistory();
}

void TFormCard::FormKeyDown(TObject *, WORD &Key, TShiftState Shift)
{
    const bool alt = Shift & ssAlt, shift = Shift & ssShift;
    if (Key == VK_F9 && OpenSystemCalculator) {
        OpenSystemCalculator();
    } else if (Key == VK_F6) {
        ButSumClick(ButSum);
    } else if (Key == VK_F7) {
        ButCommClick(ButComm);
    } else if (Key == VK_F5) {
        if (ChDate->Visible()) {
            ChDate->SetChecked(true);
            ButOkClick(ButOk);
        }
    } else if (Key == VK_F8) {
        LabSumClick(LabSum);
    } else if ((alt && Key == VK_LEFT) || (shift && Key == VK_F1)) {
        Key = 0;
        ButPriorClick(ButPrior);
    } else if ((alt && Key == VK_RIGHT) || (shift && Key == VK_F2)) {
        Key = 0;
        ButPriorClick(ButNext);
    }
}

} // namespace zorbel
