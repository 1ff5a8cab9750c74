// The operation card's month totals of the operation's category and of its
// parents against their limits, and the category's earlier operations that
// the card offers for reuse.
#include "core/ZorbCard.h"

#include "core/ZorbText.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/FormatSettings.h"
#include "platform/rtl/Money.h"

namespace zorbel {
namespace {

constexpr TColor OverLimitColor = clRed, UnderLimitColor = clNavy;

int64_t Units(const TField *f) { return !f || f->IsNull() ? 0 : MoneyToUnits(f->AsFloat()); }

QString Money(int64_t units) { return FormatFloat(QStringLiteral("#,##0.00"), UnitsToMoney(units)); }

} // namespace

QString TFormCard::MonthHint(int year, int month) const
{
    return FormatSettings().LongMonthNames[month - 1] + u' ' + QString::number(year) + U("г.");
}

void TFormCard::ApplyTotalLabel(TLabel *label, int64_t net, int64_t lim, bool income, const QString &prefix)
{
    QString sign;
    if (net < 0) {
        net = -net;
        if (lim != 0 && lim < net)
            label->SetFontColor(OverLimitColor);
    } else if (income) {
        if (lim != 0 && net < lim)
            label->SetFontColor(UnderLimitColor);
    } else if (net != 0) {
        sign = QStringLiteral("+"); // an expense category with more refunds than spending
    }
    if (net == 0 && lim == 0)
        return;
    QString text = prefix;
    if (net != 0 || !prefix.isEmpty())
        text += sign + Money(net) + QStringLiteral("  ");
    if (lim != 0)
        text += QStringLiteral("   (") + Money(lim) + QStringLiteral(")  ");
    label->SetCaption(text);
}

void TFormCard::ShowMonthTotals(bool IncludeCurrentRow)
{
    for (TLabel *l : {LabQlim, LabSum, Lab1, Lab2}) {
        l->SetCaption(QString());
        l->SetFontColor(clWindowText);
    }
    LabSum->SetHint(QString());
    PanDate->SetCaption(QString());
    PanDate->setToolTip(QString());
    for (TLabel *l : {Lab1, Lab2}) {
        l->SetVisible(false);
        l->SetHint(QString());
    }
    const TDateTime when = H("Date_Real")->IsNull() ? post_.EntryDate : H("Date_Real")->AsDateTime();
    int d = 0;
    DecodeDate(when, year_, month_, d);
    const int id = TPosting::OperationCategory(dm_.Tb_Hist);
    parentIds_[0] = parentIds_[1] = -100;
    if (!H("Level3")->IsNull()) {
        parentIds_[1] = H("Level2")->IsNull() ? -100 : H("Level2")->AsInteger();
        parentIds_[0] = H("Level1")->IsNull() ? -100 : H("Level1")->AsInteger();
    } else if (!H("Level2")->IsNull()) {
        parentIds_[0] = H("Level1")->IsNull() ? -100 : H("Level1")->AsInteger();
    }
    TTable &items = dm_.Tb_Items;
    if (id == -100 || !items.FindKey({Variant(int16_t(id))}))
        return;
    const int64_t lim = Units(items.FieldByName(QStringLiteral("Lim")));
    const int64_t qlim = Units(items.FieldByName(QStringLiteral("QLim")));
    const TField *dte = items.FieldByName(QStringLiteral("Dte"));
    if (!dte->IsNull())
        PanDate->SetCaption(FormatDateTime(QStringLiteral("dd.mm.yy ddd"), dte->AsDateTime()));
    else if (QitmHist.Active() && !QitmHist.IsEmpty() && !QitmHist.FieldByName(QStringLiteral("Date_Real"))->IsNull())
        PanDate->SetCaption(FormatDateTime(QStringLiteral("dd.mm.yy ddd"),
                                           QitmHist.FieldByName(QStringLiteral("Date_Real"))->AsDateTime()));
    if (!PanDate->Caption().isEmpty())
        PanDate->setToolTip(PanDate->Hint());
    const int lev = items.FieldByName(QStringLiteral("LEV"))->AsInteger();
    const QString column = lev == 0 ? QStringLiteral("level1") : lev == 1 ? QStringLiteral("level2") : QStringLiteral("level3");
    const bool income = items.FieldByName(QStringLiteral("C"))->AsString() == u"+";
    const bool byCurrency = options_.LimPlan;
    TTable &acc = dm_.Tb_Account;
    const QString currency = acc.FieldByName(QStringLiteral("Currency"))->AsString();
    const QString scope = byCurrency ? U(" Валюта  ") + currency
                                     : U(" Счёт  ") + acc.FieldByName(QStringLiteral("Account"))->AsString();
    TMonthSums sums;
    if (!ReadMonthSums(dm_, column, id, byCurrency, currency, acc.FieldByName(QStringLiteral("Id_Account"))->AsInteger(),
                       year_, month_, sums))
        return;
    int64_t net = sums.Dt - sums.Ct;
    int64_t qnet = income ? sums.Qct - sums.Qdt : sums.Qdt - sums.Qct;
    int rowDelta = 0;
    if (IncludeCurrentRow && dm_.Tb_Hist.State() == dsInsert) {
        rowDelta = 1;
        net += Units(H("Dt")) - Units(H("Ct"));
        qnet += FieldUnits(DBEQuant);
    }
    if (qnet != 0 || qlim != 0) {
        if (qnet > 0 && qlim != 0) {
            if (income && qlim > qnet)
                LabQlim->SetFontColor(UnderLimitColor);
            else if (!income && qlim < qnet)
                LabQlim->SetFontColor(OverLimitColor);
        }
        QString text = Money(qnet) + QStringLiteral("  ");
        if (qlim != 0)
            text += QStringLiteral("   (") + Money(qlim) + QStringLiteral(")  ");
        LabQlim->SetCaption(text);
    }
    ApplyTotalLabel(LabSum, net, lim, income, QString());
    if (!LabSum->Caption().isEmpty())
        LabSum->SetHint(U("Итог за ") + MonthHint(year_, month_) + scope + U(" (F8)"));
    if (parentIds_[1] != -100)
        ShowParentTotals(Lab2, rowDelta);
    if (parentIds_[0] != -100)
        ShowParentTotals(Lab1, rowDelta);
}

void TFormCard::ShowParentTotals(TLabel *Label, int IncludeRowDelta)
{
    const bool middle = Label == Lab2;
    const int id = parentIds_[middle ? 1 : 0];
    TTable &items = dm_.Tb_Items;
    if (!items.FindKey({Variant(int16_t(id))}))
        return;
    const int64_t lim = Units(items.FieldByName(QStringLiteral("Lim")));
    const bool income = items.FieldByName(QStringLiteral("C"))->AsString() == u"+";
    const QString name = items.FieldByName(QStringLiteral("ITM"))->AsString();
    TTable &acc = dm_.Tb_Account;
    TMonthSums sums;
    if (!ReadMonthSums(dm_, middle ? QStringLiteral("level2") : QStringLiteral("level1"), id, options_.LimPlan,
                       acc.FieldByName(QStringLiteral("Currency"))->AsString(),
                       acc.FieldByName(QStringLiteral("Id_Account"))->AsInteger(), year_, month_, sums))
        return;
    int64_t net = sums.Dt - sums.Ct;
    if (IncludeRowDelta)
        net += Units(H("Dt")) - Units(H("Ct"));
    ApplyTotalLabel(Label, net, lim, income, name + QStringLiteral(" = "));
    if (!Label->Caption().isEmpty()) {
        Label->SetVisible(true);
        Label->SetHint(U(" за ") + MonthHint(year_, month_));
    }
}

void TFormCard::ShowHistoryPosition()
{
    const int n = QitmHist.RecordCount();
    ButNext->SetVisible(n > 1);
    ButPrior->SetVisible(n > 1);
    const QString hint = QString::number(QitmHist.RecNo()) + u'/' + QString::number(n);
    ButNext->SetHint(hint);
    ButPrior->SetHint(hint);
    ButNext->SetEnabled(QitmHist.RecNo() > 1);
    ButPrior->SetEnabled(QitmHist.RecNo() < n);
}

void TFormCard::FillFromHistory()
{
    ButNext->SetHint(QString());
    ButPrior->SetHint(QString());
    try {
        if (!QitmHist.Active())
            QitmHist.Open();
    } catch (const Exception &) {
        return;
    }
    ButNext->SetVisible(QitmHist.RecordCount() > 1);
    ButPrior->SetVisible(QitmHist.RecordCount() > 1);
    if (QitmHist.IsEmpty() || QitmHist.FieldByName(QStringLiteral("Date_Real"))->IsNull() || !Editing())
        return;
    const auto q = [this](const char *name) { return QitmHist.FieldByName(U(name))->AsVariant(); };
    const TMemOptions &mem = post_.Mem;
    const bool expense = post_.CardMode == TCardMode::Expense;
    if (!QitmHist.FieldByName(QStringLiteral("Level1"))->IsNull() &&
        QitmHist.FieldByName(QStringLiteral("Level1"))->AsInteger() >= 0) {
        if (mem.Price)
            H("Price")->SetAsVariant(q("Price"));
        if (mem.Sum)
            H(expense ? "Ct" : "Dt")->SetAsVariant(q(expense ? "Ct" : "Dt"));
        if (mem.Quant)
            H(expense ? "Qdt" : "Qct")->SetAsVariant(q(expense ? "QDt" : "QCt"));
        H("Ref_Account")->SetAsVariant(q("Ref_Account"));
    }
    if (mem.Prs)
        H("ID_Person")->SetAsVariant(q("ID_Person"));
    if (mem.Frm)
        H("ID_Firm")->SetAsVariant(q("ID_Firm"));
    if (mem.Comm)
        H("Comment")->SetAsVariant(q("Comment"));
    if (mem.Rate)
        H("Rate")->SetAsVariant(q("Rate"));
    PanDate->SetCaption(
        FormatDateTime(QStringLiteral("dd.mm.yy ddd"), QitmHist.FieldByName(QStringLiteral("Date_Real"))->AsDateTime()));
    ShowHistoryPosition();
}

} // namespace zorbel
