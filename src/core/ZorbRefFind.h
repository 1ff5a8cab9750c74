// Text search in the reference books: the list of rows of the people, firms
// or diary table in which some visible field shows a text (people with their
// family members), and the F3 step to the next field that shows it. The
// routines take the tables themselves, so they run without a window; the
// main window and its search window TFormFind only show the results.
//
// Fields are compared as the grids show them (lookups and calculated fields
// included), without regard to case, by FindTextNoCase.
#pragma once

#include <QString>
#include <vector>

namespace zorbel {

class TDataSet;

// One row found. Number is the row's key as the list keeps it: the record
// number of a diary row, the identifier of a firm or person, -(Id_Family)-10
// for a family member. PersonId is the person of a family member, so a
// member is found again even when two people share a name.
struct TFindItem {
    QString Text;
    int Number = 0;
    int PersonId = 0;
    bool Family() const { return Number < 0; }
    int FamilyId() const { return -Number - 10; }
};

// The number of visible fields of the current row whose text contains Text.
int CountRowMatches(TDataSet &Table, const QString &Text);

// What a search lists and by which key.
struct TFindSource {
    TDataSet *Table = nullptr;
    QString KeyField;   // empty: the record number (the diary)
    QString TextField;  // the item's text
    TDataSet *Family = nullptr; // people only: the filtered family of the current person
};

// Walks the table from its first row and lists every row that matches, each
// person followed by its matching family members. The tables' controls are
// disabled during the walk and their positions restored afterwards (a failed
// restore is ignored). Nothing when Text is empty or the table is closed or
// empty.
std::vector<TFindItem> SearchTable(const TFindSource &Source, const QString &Text);

// The first visible field at position Start or later in the table's field
// list whose text contains Text: its position, or -1.
int FindInRow(TDataSet &Table, int Start, const QString &Text);

// The F3 step from field Selected of the current row: the rest of the row,
// the following rows, then from the first row up to the end. On success the
// table stands on the row and the found field's position is returned; else
// the record number is set back and -1 is returned. Controls are disabled
// during the walk.
int FindNextRow(TDataSet &Table, int Selected, const QString &Text);

// The ledger's F3 scan: the rows after the current one to the end, then from
// the first row round to the current one, each from its first visible field.
// On success the table stands on the row, the field's position is returned and
// SameRow tells whether it is the starting row (the only match); else the
// record number is set back and -1 is returned.
int FindNextLedgerRow(TDataSet &Table, const QString &Text, bool *SameRow);

} // namespace zorbel
