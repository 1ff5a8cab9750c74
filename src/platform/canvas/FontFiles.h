// The font program behind a font: the bytes of the file the system's font
// matching picks for a family and style (what a PDF file embeds).
#pragma once

#include <QByteArray>
#include <QString>

namespace zorbel {

// The whole font file the system uses for family in the given style; empty
// when no font file can be found or read. The system substitutes a family it
// does not have (Arial by Liberation Sans, for example).
QByteArray FontFileData(const QString &family, bool bold, bool italic);

// Whether data is a TrueType font program with glyph outlines (what a PDF
// TrueType font may embed).
bool IsTrueTypeOutlineFont(const QByteArray &data);

} // namespace zorbel
