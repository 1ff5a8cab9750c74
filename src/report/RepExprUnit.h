// Internal links between the expression sources (not for other units).
#pragma once

#include "platform/rtl/DateTime.h"

#include <QString>

namespace zorbel {

class TRepEvEnvironment;

// The clock that TIME, DATE and the global variables read.
TDateTime RepExprNow();

// Releases an evaluator's use of the global environment, unless the global
// environment has already been freed at program end.
void ReleaseGlobalUse(TRepEvEnvironment &global);

// Message texts shared by the operators and the functions.
namespace RepExprText {
inline QString CannotDo(const char *verb, const QString &kindWord)
{
    return QStringLiteral("Cannot %1 %2 expressions").arg(QLatin1String(verb), kindWord);
}
inline QString NotCompatible(const QString &op, const char *kindWord)
{
    return QStringLiteral("Operator %1 is not compatible with %2 expressions").arg(op, QLatin1String(kindWord));
}
inline QString UnknownFunction(const QString &name) { return QStringLiteral("Unknown function : ") + name; }
inline QString WrongArguments(const QString &name) { return QStringLiteral("Wrong arguments for ") + name; }
inline const QString IntegerOverflow = QStringLiteral("Integer overflow");
inline const QString FloatOverflow = QStringLiteral("Floating point overflow");
} // namespace RepExprText

} // namespace zorbel
