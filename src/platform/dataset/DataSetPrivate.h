// Rules the TDataSet units share and nobody else needs.
#pragma once

#include "platform/dataset/DBTypes.h"

namespace zorbel {

// States in which field values may be written.
inline bool IsWriteMode(TDataSetState s)
{
    switch (s) {
    case dsEdit: case dsInsert: case dsSetKey: case dsCalcFields: case dsFilter:
    case dsNewValue: case dsInternalCalc:
        return true;
    default:
        return false;
    }
}

// Fields whose values live in the calculated-field area, not in the record.
inline bool IsComputedKind(TFieldKind kind) { return kind == fkCalculated || kind == fkLookup; }

} // namespace zorbel
