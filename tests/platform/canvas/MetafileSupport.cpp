#include "platform/canvas/MetafileSupport.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace zorbel::test {

void DrawSample(TCanvas &canvas)
{
    canvas.Brush.Color = clRed;
    canvas.Pen.Color = clBlack;
    canvas.Pen.Width = 2;
    canvas.Rectangle(QRect(QPoint(20, 20), QPoint(119, 79)));
    canvas.Brush.Color = clBlue;
    canvas.Pen.Width = 1;
    canvas.Ellipse(QRect(QPoint(200, 40), QPoint(299, 139)));
    canvas.MoveTo(20, 200);
    canvas.LineTo(380, 200);
    canvas.Font = QFont(QStringLiteral("Liberation Sans"));
    canvas.Font.setPixelSize(20);
    canvas.FontCharset = RUSSIAN_CHARSET;
    canvas.FontColor = clBlack;
    canvas.Brush.Style = TBrushStyle::bsClear;
    canvas.TextOut(30, 100, QStringLiteral("Итого 1 234,56"));
    canvas.TextAlign = TA_RIGHT | TA_TOP;
    canvas.TextOut(380, 250, QStringLiteral("Report"));
}

TMetafile RecordSample()
{
    TMetafileRecorder recorder(400, 300);
    TCanvas canvas;
    canvas.BeginRecording(&recorder);
    DrawSample(canvas);
    canvas.BeginRecording(nullptr);
    return recorder.Finish();
}

double DifferingPixels(const QImage &a, const QImage &b, int tolerance)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32).scaled(x.size());
    qint64 differing = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row), q = y.pixel(col, row);
            if (std::abs(qRed(p) - qRed(q)) > tolerance || std::abs(qGreen(p) - qGreen(q)) > tolerance ||
                std::abs(qBlue(p) - qBlue(q)) > tolerance)
                ++differing;
        }
    return double(differing) / (qint64(x.width()) * x.height());
}

} // namespace zorbel::test
