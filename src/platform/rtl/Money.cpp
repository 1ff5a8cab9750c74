// The range check of typed amounts; see Money.h for the bound and its reason.
#include "platform/rtl/Money.h"

#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Format.h"

namespace zorbel {

QString MoneyRangeMessage()
{
    return QStringLiteral("Слишком большое число: по модулю оно должно быть меньше %1.")
        .arg(FormatFloat(QStringLiteral("#,##0"), MoneyLimit));
}

QString BalanceRangeMessage(const QString &Account, bool WithPlanned)
{
    return QStringLiteral("Слишком большое число: остаток счёта «%1»%2 по модулю должен быть меньше %3, "
                          "иначе программа не сочтёт его точно. Изменение не записано.")
        .arg(Account, WithPlanned ? QStringLiteral(" с планируемыми операциями") : QString(),
             FormatFloat(QStringLiteral("#,##0"), BalanceLimit));
}

void CheckMoneyRange(double value)
{
    if (!MoneyInRange(value))
        throw EConvertError(MoneyRangeMessage());
}

} // namespace zorbel
