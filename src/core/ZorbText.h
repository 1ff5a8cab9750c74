// U(): the program's own texts, written in the sources as UTF-8 literals, as
// QString; it lives with the runtime's string routines, so every layer and
// every test reads its texts the same way.
#pragma once

#include "platform/rtl/StrUtils.h"
