#include "core/ZorbCardRules.h"

#include "platform/rtl/Money.h"

namespace zorbel {
namespace {

int64_t Units(const TField *f) { return f->IsNull() ? 0 : MoneyToUnits(f->AsFloat()); }

// a * b / 10^8 with both in 1/10000: the product as a whole value.
double Product(int64_t a, int64_t b) { return double(static_cast<long double>(a) * b / 1e8L); }
double Quotient(int64_t a, int64_t b) { return double(static_cast<long double>(a) / b); }

} // namespace

void DeriveOnOk(TDataSet &Hist, const QString &SumField, const QString &QuantField, TCardMode Mode,
                const TCardSwitches &Switches)
{
    if (Mode == TCardMode::Transfer)
        return;
    TField *sum = Hist.FieldByName(SumField);
    TField *price = Hist.FieldByName(QStringLiteral("Price"));
    TField *quant = Hist.FieldByName(QuantField);
    const int64_t S = Units(sum), P = Units(price);
    int64_t Q = Units(quant);
    if (Q == 0 && Switches.QuantDefault) {
        Q = 10000;
        quant->SetAsFloat(1);
    }
    if (Switches.AutoSum) {
        if (P != 0 && Q != 0 && S == 0)
            sum->SetAsFloat(Product(P, Q));
        else if (Q != 0 && S != 0 && P == 0)
            price->SetAsFloat(Quotient(S, Q));
        else if (P != 0 && S != 0 && Q == 0)
            quant->SetAsFloat(Quotient(S, P));
    }
    // The always-derived field works on the typed values, not those just derived.
    switch (Switches.AutoCor) {
    case 1:
        if (P != 0 && S != 0)
            quant->SetAsFloat(Quotient(S, P));
        break;
    case 2:
        if (Q != 0 && S != 0)
            price->SetAsFloat(Quotient(S, Q));
        break;
    case 3:
        if (P != 0 && Q != 0)
            sum->SetAsFloat(Product(P, Q));
        break;
    default:
        break;
    }
}

std::optional<TDerivedField> DeriveField(int Tag, TCardMode Mode, int64_t S, int64_t P, int64_t Q, int64_t T,
                                         bool Multiply)
{
    switch (Tag) {
    case 1:
        if (Mode == TCardMode::Transfer && P != 0 && T != 0)
            return TDerivedField{1, Multiply ? Product(P, T) : Quotient(T, P)};
        if (P != 0 && Q != 0)
            return TDerivedField{1, Product(P, Q)};
        return std::nullopt;
    case 2:
        if (Q != 0 && S != 0)
            return TDerivedField{2, Quotient(S, Q)};
        return std::nullopt;
    case 3:
        if (P != 0 && S != 0)
            return TDerivedField{3, Quotient(S, P)};
        return std::nullopt;
    case 4:
        if (P != 0 && S != 0)
            return TDerivedField{4, Multiply ? Quotient(S, P) : Product(S, P)};
        return std::nullopt;
    case 5:
        if (T != 0 && S != 0)
            return TDerivedField{5, Multiply ? Quotient(S, T) : Quotient(T, S)};
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

std::optional<double> PercentStep(double Value, double Percent)
{
    if (Percent == 0)
        return std::nullopt;
    const double add = Value != 0 ? Value * Percent / 100 : Percent / 100;
    if (Value + add > 0)
        return Value + add;
    return std::nullopt;
}

std::optional<double> StepUp(double Value)
{
    if (Value + 1 == 0)
        return std::nullopt;
    return Value + 1;
}

std::optional<double> StepDown(double Value)
{
    const double v = Value > 1 ? Value - 1 : Value;
    if (v == 0)
        return std::nullopt;
    return v;
}

int ToggleAutoCor(int AutoCor, int Tag)
{
    switch (Tag) {
    case 1:
        return AutoCor == 3 ? 0 : 3;
    case 2:
        return AutoCor == 2 ? 0 : 2;
    case 3:
        return AutoCor == 1 ? 0 : 1;
    default:
        return AutoCor;
    }
}

bool ReadMonthSums(TDm &Dm, const QString &LevelColumn, int CategoryId, bool ByCurrency, const QString &Currency,
                   int Account, int Year, int Month, TMonthSums &Sums)
{
    // The column is one of three fixed names; every value goes in as a parameter.
    if (LevelColumn != u"level1" && LevelColumn != u"level2" && LevelColumn != u"level3")
        return false;
    TQuery &q = Dm.QItmOne;
    try {
        q.Close();
        while (q.SQL().size() > 2)
            q.SQL().removeLast();
        q.SQL() << QStringLiteral("and ") + LevelColumn + QStringLiteral("=:itm") +
                       (ByCurrency ? QStringLiteral(" and a.currency=:cur") : QStringLiteral(" and h.id_account=:acc")) +
                       QStringLiteral(" and yr=:yr and mn=:mn and h.date_real between :d1 and :d2");
        q.ParamByName(QStringLiteral("itm"))->SetAsInteger(CategoryId);
        if (ByCurrency)
            q.ParamByName(QStringLiteral("cur"))->SetAsString(Currency);
        else
            q.ParamByName(QStringLiteral("acc"))->SetAsInteger(Account);
        q.ParamByName(QStringLiteral("yr"))->SetAsInteger(Year);
        q.ParamByName(QStringLiteral("mn"))->SetAsInteger(Month);
        // Yr and Mn follow Date_Real: the same month as a date range lets the
        // operations' key find the rows without reading the whole table.
        const TDateTime first = EncodeDate(Year, Month, 1);
        q.ParamByName(QStringLiteral("d1"))->SetAsDate(first);
        q.ParamByName(QStringLiteral("d2"))->SetAsDate(IncMonth(first, 1) - 1);
        q.Open();
        Sums = {};
        if (!q.IsEmpty()) {
            Sums.Dt = Units(q.Fields()[0]);
            Sums.Ct = Units(q.Fields()[1]);
            Sums.Qdt = Units(q.Fields()[2]);
            Sums.Qct = Units(q.Fields()[3]);
        }
        q.Close();
        return true;
    } catch (const Exception &) {
        q.Close();
        return false;
    }
}

} // namespace zorbel
