// Text on a painting canvas is measured on the device it is drawn on, so
// right-aligned and centred text lands where it belongs on a printer's page
// as well as on the screen.
#include "platform/canvas/Graphics.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace zorbel {
namespace {

struct TInk {
    int Left = -1, Right = -1;
};

// The leftmost and rightmost columns holding anything but white.
TInk InkColumns(const QImage &image)
{
    TInk ink;
    for (int x = 0; x < image.width(); ++x)
        for (int y = 0; y < image.height(); ++y)
            if (image.pixel(x, y) != qRgb(255, 255, 255)) {
                if (ink.Left < 0)
                    ink.Left = x;
                ink.Right = x;
                break;
            }
    return ink;
}

TEST(CanvasText, AlignedTextIsMeasuredAndPlacedInTheDevicesOwnPixels)
{
    const QString text = QStringLiteral("Результат 9 360,75");
    int screenWidth = 0;
    for (int dpi : {96, 600}) {
        QImage page(dpi * 4, dpi / 2, QImage::Format_RGB32);
        page.setDotsPerMeterX(qRound(dpi / 0.0254));
        page.setDotsPerMeterY(qRound(dpi / 0.0254));
        page.fill(Qt::white);
        QPainter painter(&page);
        TCanvas c;
        c.Begin(&painter);
        c.Font = QFont(QStringLiteral("Liberation Sans"));
        c.Font.setPointSize(10);
        c.FontColor = clBlack;
        c.Brush.Style = TBrushStyle::bsClear;
        const int width = c.TextWidth(text);
        if (dpi == 96)
            screenWidth = width;
        else // the same text is as long on paper: 600/96 times the pixels
            EXPECT_NEAR(double(width) / screenWidth, 600.0 / 96, 0.6);
        EXPECT_GT(c.TextHeight(text), dpi / 10); // 10 pt is about 0.14 inch

        const int right = page.width() * 3 / 4;
        c.TextAlign = TA_RIGHT | TA_TOP;
        c.TextOut(right, 0, text);
        c.Begin(nullptr);
        painter.end();
        const TInk ink = InkColumns(page);
        ASSERT_GE(ink.Left, 0) << dpi;
        EXPECT_LE(ink.Right, right) << dpi;
        EXPECT_GE(ink.Right, right - width / 10) << dpi;
        EXPECT_NEAR(ink.Left, right - width, width / 10) << dpi;
    }
}

} // namespace
} // namespace zorbel
