// Reading of delimited import files, without any window: the 14 column names
// and the remembered column map, the parsing settings, the split of a line
// into fields, dates, amounts, the category path held in one field, and the
// decoding of the file's bytes into lines.
//
// A line is a sequence of fields joined by one separator character. A field
// that opens with a double quote runs to its closing quote (a doubled quote
// inside stands for one quote), so a separator inside quotes does not split;
// the enclosing quotes are not part of the field. Any other field runs to the
// next separator as it stands.
//
// Failures never raise here: a value that cannot be read comes back as 0 (no
// value) with an Unreadable flag, so that the preview can mark it.
#pragma once

#include "platform/rtl/DateTime.h"
#include "platform/system/SysRead.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <array>
#include <vector>

namespace zorbel {

// Index of a column name in ImportFieldNames (the remembered map stores it).
enum TImportColumn : int {
    icDate = 0, icItem1, icItem2, icItem3, icIncome, icExpense, icPrice,
    icQtyIn, icQtyOut, icNote, icPerson, icFirm, icRate, icSkip, icColumnCount
};

// The column names, by TImportColumn. "---" marks a field that is skipped.
extern const std::array<QString, icColumnCount> ImportFieldNames;

// Order of the date parts (the items of the date-order list).
enum TImportDateOrder : int { idoDayMonthYear = 0, idoYearMonthDay = 1, idoMonthDayYear = 2 };

// The parsing settings, each one character (null: the box was empty).
struct TImportFormat {
    QChar FieldSep = u';';   // 't' in the box stands for TAB
    QChar DecimalChar = u',';
    QChar DateSep = u'.';
    int DateOrder = idoDayMonthYear;
    QChar ItemSep = u':';

    // From the texts of the edit boxes (the first character counts).
    static TImportFormat FromTexts(const QString &csv, const QString &num, const QString &date, int order,
                                   const QString &itm);
};

// Field N (from 1) of a line; empty beyond the line's end or with no separator.
QString SplitImportField(int N, QStringView line, QChar sep);
// All fields of a line in order (at least one).
void SplitImportFields(QStringView line, QChar sep, std::vector<QString> &fields);

// The date of a field, 0 when the field is empty or the date cannot be read.
// Unreadable (optional) is set when the field is not empty and gives no date:
// not exactly three numeric parts, a day or month out of range, an
// impossible day. A year below 1000 is taken as 2000 + year (05 = 2005).
TDateTime ParseImportDate(QStringView text, QChar sep, int order, bool *unreadable = nullptr);

// The amount of a field, never negative; 0 means no value. Every character
// but the digits and the decimal character is dropped (signs, spaces,
// currency letters, thousands separators). Unreadable (optional) is set, and
// 0 returned, when the text cannot stand for one amount: more than one
// decimal character, a point or comma between digits that is not a
// thousands separator (12.50 when the decimal character is ','), or an
// amount the money arithmetic cannot hold (MoneyInRange). Negative
// (optional) is set when a minus (a hyphen or the minus sign) stands before
// the first digit, so that a caller can tell money going out.
double ParseImportAmount(QStringView text, QChar decimalChar, bool *unreadable = nullptr, bool *negative = nullptr);

// Splits a category path held in one of the three names (exactly one
// non-empty) at sep into levels 1, 2 and 3 (level 3 keeps further
// separators). One leading separator is ignored; a name without a separator
// stays as it is. Nothing happens when sep is null.
void SplitItemPath(std::array<QString, 3> &names, QChar sep);

// ---- the remembered layout ----

// The column names of an ImpList text ("0;13;5;1"): the listed names, then
// every name of indices 0..12 not yet listed, in table order.
QStringList ImportListNames(const QString &impList);
// The ImpList text of the names in order (names not in the table are left out).
QString ImportListText(const QStringList &names);
// The first position (from 0) of a name in the list, -1 when absent.
int FindColumnPosition(const QStringList &names, const QString &name);

// The ImpDelims text: decimal character, date separator, date order and
// category separator joined by #1.
struct TImportDelims {
    QString Num = QStringLiteral(",");
    QString Date = QStringLiteral(".");
    int DateOrder = 0;
    QString Itm = QStringLiteral(":");
};
// Applies the pieces present in text over the defaults in delims.
void ParseImportDelims(const QString &text, TImportDelims &delims);
QString ImportDelimsText(const TImportDelims &delims);

// ---- the file ----

enum class TImportEncoding { Win1251, Utf8, Utf16 };

constexpr qsizetype MaxImportFileBytes = ReadBound::ImportFile;
constexpr qsizetype MaxImportLineLength = 65536;

struct TImportText {
    QStringList Lines;
    TImportEncoding Encoding = TImportEncoding::Win1251;
    int Damaged = 0; // lines holding ImportDamageMark
    QString Error;   // not empty: the file is not loaded, this says why (in Russian)
};

// Stands in a line for each character that a delimited text cannot hold.
constexpr char16_t ImportDamageMark = 0xFFFD;

// Decodes a file's bytes into lines: UTF-16 (little- or big-endian) or UTF-8
// when it starts with that byte-order mark (dropped), UTF-8 when it is valid
// UTF-8 holding non-ASCII bytes, Windows-1251 otherwise. Lines end at LF,
// CR LF or CR. In a damaged line (NUL bytes or other control characters but
// TAB, bytes the encoding cannot read) each such character becomes
// ImportDamageMark; a line of only blanks and control characters becomes
// empty. A file too large, with a line longer than MaxImportLineLength, or
// not a text (no fewer damaged lines than readable ones, and a quarter of
// its characters damaged) gives an Error and no lines.
TImportText DecodeImportFile(const QByteArray &bytes);

} // namespace zorbel
