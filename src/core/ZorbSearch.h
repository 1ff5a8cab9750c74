// The ledger's searches without windows: the history search's condition on
// QFind (one field compared with a value, the value always a bound
// parameter), the notes list query, the bookmark list query and its totals.
#pragma once

#include "platform/rtl/DateTime.h"

#include <QString>
#include <QStringList>

#include <cstdint>

namespace zorbel {

class TDataSet;
class TField;
class TQuery;

// The fields of the history search, in the order of its field list.
enum THistFindField { hfNote, hfDate, hfItem, hfDt, hfCt, hfPrice, hfRate, hfPerson, hfFirm };
const QStringList &HistFindFieldNames();
// Income, expense, price and rate: typed as numbers, compared with = > <.
bool IsHistNumberField(int field);
// Date and the numbers take a comparison.
bool HistFieldHasComparison(int field);
// Date, category, person and firm take their value from a button.
bool HistFieldHasButton(int field);

struct THistFindValues {
    QString Text;       // the note text or the number typed
    QString Op = QStringLiteral("="); // "=", ">" or "<"
    TDateTime Date = 0;
    int Item = 0, Level = 1;
    int Person = 0, Firm = 0;
};

// Whether the field has a value to search for.
bool HistFindHasValue(int field, const THistFindValues &values);

// Sets QFind's condition (its third and fourth lines) and its parameter p
// for the field. A number that does not convert raises the conversion error.
void PrepareHistFind(TQuery &find, int field, const THistFindValues &values);

// A text for "like": lower-cased, every '^', '%' and '_' escaped with '^'
// (so each is found literally), between '%' and '%'. escaped tells whether an
// escape clause is needed.
QString LikePattern(const QString &text, bool *escaped);

// The category F3 step over the tree's node texts in tree order: the first
// node after selected whose text holds text (case folded), else the first
// from the top up to and including selected; -1 when none matches or when
// nothing is selected (selected < 0).
int NextMatchingNode(const QStringList &texts, int selected, const QString &text);

// The node the search dialog selects while the user types: the first whose
// text begins with typed (case folded), else the first that contains it;
// -1 when none does or typed is empty.
int FirstNodeByName(const QStringList &texts, const QString &typed);

// What a key typed into the search dialog's number box does.
enum class TNumberKey {
    Type,           // typed as usual
    Drop,           // swallowed
    ClearThenType,  // the whole text is cleared, then the key is typed
    Comparison      // '>', '<', '=': becomes the comparison, not typed
};
// A sign only at the start and once, one decimal separator, digits; control
// keys pass. SelLength > 0 means a selection.
TNumberKey NumberFieldKey(QChar key, const QString &text, int selStart, int selLength, QChar decimal);

// "Текст", the searched text in quotes (nothing when empty), "не найден.".
QString TextNotFoundMessage(const QString &text);

// The row counter of a search: "row/count".
QString HitCounter(int row, int count);

struct TNotesQuery {
    bool OnlyCurrentAccount = false;
    int Account = 0;
    bool WholeBase = true;          // "По всей базе": no category condition
    int Level1 = 0, Level2 = 0, Level3 = 0; // the current ledger row's category
    QString Text;                   // the edit's text
    TDateTime Begin = 0, End = 0;
};
// Rewrites Qcomm's text and parameters for the notes list (not opened).
void BuildNotesQuery(TQuery &comm, const TNotesQuery &options);

// The bookmark list's text: the marked operations with the names of their
// categories, person, firm and accounts; the third line takes the account
// condition, the fourth the period.
QStringList MarksQueryText();
// Rewrites Qmark's account line and period (not opened).
void PrepareMarksQuery(TQuery &mark, bool allAccounts, int account, TDateTime begin, TDateTime end);

// The bookmark list's totals in units of 1/10000, each row rounded to a unit
// as the ledger's totals are, so they equal the ledger's own sums.
struct TMarkTotals {
    int Count = 0;
    int64_t Dt = 0, Ct = 0, Qdt = 0, Qct = 0;
};
// Adds up the open bookmark list and returns it to its first row.
TMarkTotals SumMarks(TDataSet &mark);
// A total in units for the status bar: "#,##0.00", trimmed.
QString FormatMarkSum(int64_t units);

} // namespace zorbel
