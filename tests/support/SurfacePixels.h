// Reading a report's design surface as pixels: the surface rendered into an
// image, colours compared as the canvas draws them, pixels counted in a
// rectangle.
#pragma once

#include "platform/canvas/Graphics.h"
#include "report/RepReport.h"

#include <QImage>
#include <QPainter>
#include <functional>

namespace zorbel::test {

// The whole surface; the image starts black, so anything left unpainted shows.
inline QImage RenderSurface(TCustomBandReport &report)
{
    QImage image(report.PixelSize(), QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    TCanvas canvas;
    canvas.Begin(&painter);
    report.PaintSurface(canvas);
    return image;
}

inline QRgb Rgb(TColor c) { return ColorToQColor(c).rgb() | 0xFF000000u; }

inline int CountPixels(const QImage &image, const QRect &r, const std::function<bool(QRgb)> &test)
{
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            n += test(image.pixel(x, y));
    return n;
}

// Pixels of colour c in the rectangle.
inline int Count(const QImage &image, const QRect &r, TColor c)
{
    return CountPixels(image, r, [c](QRgb p) { return p == Rgb(c); });
}

// Pixels darker than light grey (text, lines) in the rectangle.
inline int Dark(const QImage &image, const QRect &r)
{
    return CountPixels(image, r, [](QRgb p) { return qGray(p) < 0xB0; });
}

} // namespace zorbel::test
