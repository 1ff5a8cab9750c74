// The glyph-name table of the PDF writer: the names by which a TrueType
// font's encoding tells a reader which character each code stands for.
#pragma once

namespace zorbel {

struct TPdfGlyphName {
    unsigned short Unicode;
    const char *Name;
};

// Ordered by name; every Unicode value occurs once.
extern const TPdfGlyphName PdfGlyphNames[];
extern const int PdfGlyphNameCount;

} // namespace zorbel
