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

void CheckMoneyRange(double value)
{
    if (!MoneyInRange(value))
        throw EConvertError(MoneyRangeMessage());
}

} // namespace zorbel
