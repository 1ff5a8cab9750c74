// Conversions between Unicode and the two single-byte code pages that file
// formats fix: Windows-1251 (exports, imports, report files) and 866 (zip entry
// names, the "OEM" code page of Russian Windows).
//
// Rule for characters outside a code page: each one becomes a single '?'
// (a surrogate pair counts as one character). Every byte of either code page
// decodes to exactly one Unicode character, so bytes -> Unicode -> bytes is the
// identity for both code pages.
#pragma once

#include <QByteArray>
#include <QString>

namespace zorbel {

enum class TCodePage { Win1251, Cp866 };

// One byte of the code page as a Unicode character.
char16_t CodePageCharToUnicode(TCodePage cp, unsigned char byte);
// One Unicode character as a byte of the code page, '?' when it has none.
unsigned char UnicodeCharToCodePage(TCodePage cp, char16_t ch);

QString CodePageToUnicode(TCodePage cp, const char *bytes, qsizetype length);
QString CodePageToUnicode(TCodePage cp, const QByteArray &bytes);
QByteArray UnicodeToCodePage(TCodePage cp, const QString &text);
// The same bytes appended to out.
void AppendCodePage(QByteArray &out, TCodePage cp, QStringView text);

inline QString Win1251ToUnicode(const QByteArray &bytes) { return CodePageToUnicode(TCodePage::Win1251, bytes); }
inline QByteArray UnicodeToWin1251(const QString &text) { return UnicodeToCodePage(TCodePage::Win1251, text); }
inline QString Cp866ToUnicode(const QByteArray &bytes) { return CodePageToUnicode(TCodePage::Cp866, bytes); }
inline QByteArray UnicodeToCp866(const QString &text) { return UnicodeToCodePage(TCodePage::Cp866, text); }

// Byte-to-byte conversions of Windows-1251 text to 866 and back, as the zip
// component names entries (a byte with no counterpart becomes '?').
QByteArray CharToOem(const QByteArray &ansi);
QByteArray OemToChar(const QByteArray &oem);

} // namespace zorbel
