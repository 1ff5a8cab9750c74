// The object lists behind the zip component's entry lists: capacity growth and owned items.
#include "archive/ZipCntn.h"

namespace zorbel {

void ListIndexError(int Index)
{
    throw EListError(QStringLiteral("List index out of bounds (%1)").arg(Index));
}

int GrownCapacity(int Capacity)
{
    if (Capacity < 5)
        return Capacity + 4;
    if (Capacity <= 8)
        return Capacity + 8;
    return Capacity + 16;
}

} // namespace zorbel
