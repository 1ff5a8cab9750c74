// Conversion of the enhanced metafiles the report engine records into
// Windows metafiles (placeable WMF), for programs that read only those.
#pragma once

#include <QByteArray>

namespace zorbel {

// The EMF drawing as a placeable WMF at 96 units per inch: pens, brushes,
// fonts, text alignment and colours, rectangles, rounded rectangles,
// ellipses, lines, polylines, polygons, texts (Windows-1251, charset 204,
// with their character advances) and bitmaps. Records the engine never
// writes are skipped. Raises EMetafileError when emf is not a well-formed
// enhanced metafile or does not fit the 16-bit coordinates of the format.
QByteArray EmfToWmf(const QByteArray &emf);

} // namespace zorbel
