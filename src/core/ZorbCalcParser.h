// The calculator's expression language: a recursive-descent parser that
// evaluates as it reads, in extended precision.
//
//   expression := sum, consuming the whole text
//   sum        := product { ('+' | '-') product }          left to right
//   product    := power { ('*' | '/') power }              left to right
//   power      := '+' power | '-' power | primary [ '^' power ]
//                 (a sign covers the power that follows: -2^2 = -4;
//                  '^' is right-associative: 2^3^2 = 512)
//   primary    := '(' sum ')' | number | identifier
//   number     := digits [ sep digits ] [ ('E'|'e') ['+'|'-'] digits ]
//   identifier := (letter | '_') { letter | digit | '_' }, a call of sin,
//                 cos or ln when '(' follows; there are no variables.
//
// The parse position is 1-based and shared by every rule; after a failure it
// marks where reading stopped. Grammar errors raise ESyntaxError; arithmetic
// whose result is not a finite number raises EZeroDivide, EOverflow or
// EInvalidOp rather than passing inf or NaN on.
#pragma once

#include "platform/rtl/Exceptions.h"

#include <QString>

namespace zorbel {

ZORBEL_EXCEPTION(ESyntaxError, Exception);
ZORBEL_EXCEPTION(EMathError, Exception);
ZORBEL_EXCEPTION(EZeroDivide, EMathError);
ZORBEL_EXCEPTION(EOverflow, EMathError);
ZORBEL_EXCEPTION(EInvalidOp, EMathError);

// Requires: Text normalised (NormaliseExpression), Pos 1-based.
// On return: the value; Pos is one past the last character read.
long double ParseExpression(const QString &Text, int &Pos);

// Drops blanks and control characters (codes below 33) and turns '.', ',',
// 'б', 'ю', 'Б', 'Ю' into the decimal separator.
QString NormaliseExpression(const QString &Text);
// Inserts "0" before a decimal separator that starts the text or follows
// one of '(', '*', '+', '-', '/', '^'.
QString AddLeadingZeros(const QString &Text);
// True for the characters the calculator reads as a decimal separator.
bool IsSeparatorKey(QChar Key);

} // namespace zorbel
