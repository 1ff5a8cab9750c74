// The message of the program's exception an action raises, for tests that
// check the wording of errors.
#pragma once

#include "platform/rtl/Exceptions.h"

#include <QString>

namespace zorbel::test {

// The Message() of the Exception Action raises, or "<no exception>".
template <typename F> QString MessageOf(F Action)
{
    try {
        Action();
    } catch (const Exception &e) {
        return e.Message();
    }
    return QStringLiteral("<no exception>");
}

} // namespace zorbel::test
