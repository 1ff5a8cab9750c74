// Single-byte code pages of the PDF writer: the text of a "Tj" line is
// written in the code page of its font (WinAnsi, 1252, for the standard
// fonts; the writer's character set for embedded fonts).
#pragma once

#include <QByteArray>
#include <QString>

namespace zorbel {

// The Unicode character of one byte of the Windows code page cp (1 is the
// system's OEM code page, 866; one the system cannot convert counts as
// 1252); U+FFFD when the byte stands for nothing.
char16_t PdfCodePageUnicode(int cp, unsigned char byte);
// Whether every character of text has a byte in code page cp.
bool PdfCanEncode(int cp, const QString &text);
// text in code page cp; a character without a byte becomes "?".
QByteArray PdfEncodeText(int cp, const QString &text);

} // namespace zorbel
