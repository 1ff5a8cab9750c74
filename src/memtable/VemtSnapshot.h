// A snapshot of a dataset in a memory table: its data fields, with their
// labels, formats, widths, alignments and visibility, and its records in the
// order it walks them (its filter and index applied).
//
// Used where a report runs on a thread of its own over rows that a window
// keeps showing: the run walks the snapshot, which no control shows and
// nothing else reads or writes, while the window's grid may still paint its
// own dataset (painting moves that dataset's active record).
#pragma once

#include "memtable/VemtMemTable.h"

namespace zorbel {

class TDataSet;

// Fills Target (closed first, its field definitions replaced) with Source's
// data fields and records. Source's calculated and lookup fields become
// plain fields holding their values. Source stands where it stood afterwards
// (when that record is still there) and its controls show nothing meanwhile.
// Requires: Source open. Failures of Source's reads pass on; Target is then
// left closed.
void SnapshotDataSet(TDataSet &Source, TVemtMemTable &Target);

} // namespace zorbel
