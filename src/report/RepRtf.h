// Reader of the rich text format into a QTextDocument.
//
// The reader knows what the control holds: the font and colour tables, font
// and size, bold, italic, underline, strike-through, text colour, paragraph
// alignment, paragraph and line breaks, tabs, characters as \'xx in the
// document's code page (Windows-1251 unless \ansicpg says otherwise) and as
// \uN with its \ucN replacement characters. Destinations it does not know
// (\*, pictures, document information, style sheets) are skipped. It never
// trusts its input: groups nest at most kMaxRtfDepth deep (deeper ones are
// read as text of the enclosing group), numbers are clamped, and a
// malformed file gives the text read so far.
#pragma once

#include <QByteArray>
#include <QTextDocument>

namespace zorbel {

constexpr int kMaxRtfDepth = 200;

// Replaces doc's content by the rich text in rtf. Returns false (leaving
// what was read) when the bytes are not rich text or end inside a group.
bool ReadRtf(const QByteArray &rtf, QTextDocument &doc);
// Whether bytes start as rich text does ("{\rtf").
bool IsRtf(const QByteArray &bytes);

} // namespace zorbel
