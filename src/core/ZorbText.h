// U(): the program's own texts, written in the sources as UTF-8 literals, as
// QString ("Ошибка копирования" and the like).
#pragma once

#include <QString>

namespace zorbel {

inline QString U(const char *Text)
{
    return QString::fromUtf8(Text);
}

} // namespace zorbel
