// Helpers of the metafile tests: a page drawn through a canvas, pixel
// comparison; external converters come from support/Tools.h.
#pragma once

#include "platform/canvas/Metafile.h"
#include "support/Tools.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

namespace zorbel::test {

// A 400 x 300 picture: a red filled rectangle with a black outline at
// (20, 20)-(120, 80), a blue ellipse at (200, 40)-(300, 140), a line from
// (20, 200) to (380, 200), and the texts "Итого 1 234,56" at (30, 100) and
// "Report" right-aligned at (380, 250), in Liberation Sans 20 px.
void DrawSample(TCanvas &canvas);
TMetafile RecordSample();

// Fraction of pixels whose colour differs by more than tolerance in any
// channel (the images are compared at the size of a).
double DifferingPixels(const QImage &a, const QImage &b, int tolerance);

} // namespace zorbel::test
