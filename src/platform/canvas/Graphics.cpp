// Colour conversion and the canvas's drawing primitives, painted through a
// QPainter or handed to a metafile recorder.
#include "platform/canvas/Graphics.h"

#include "platform/canvas/Metafile.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <cmath>
#include <vector>

namespace zorbel {

QColor ColorToQColor(TColor color)
{
    if (color & clSystemColor) {
        const QPalette palette = QGuiApplication::palette();
        switch (color & 0xFF) {
        case 5: return palette.color(QPalette::Base);
        case 8: return palette.color(QPalette::Text);
        case 13: return palette.color(QPalette::Highlight);
        case 14: return palette.color(QPalette::HighlightedText);
        case 15: return palette.color(QPalette::Button);
        case 16: return palette.color(QPalette::Dark);
        case 17: return palette.color(QPalette::Disabled, QPalette::Text);
        case 18: return palette.color(QPalette::ButtonText);
        case 20: return palette.color(QPalette::Light);
        case 23: return palette.color(QPalette::ToolTipText);
        case 24: return palette.color(QPalette::ToolTipBase);
        default: return palette.color(QPalette::Window);
        }
    }
    return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

TColor QColorToColor(const QColor &color) { return RGB(color.red(), color.green(), color.blue()); }

// ---- canvas ----

int FontPixelHeight(const QFont &font)
{
    if (font.pixelSize() > 0)
        return font.pixelSize();
    return std::max(1, int(std::lround(font.pointSizeF() * ScreenPixelsPerInch / 72.0)));
}

namespace {

Qt::PenStyle QtPenStyle(TPenStyle style)
{
    return style == TPenStyle::psDash  ? Qt::DashLine
           : style == TPenStyle::psDot ? Qt::DotLine
                                       : Qt::SolidLine;
}

} // namespace

void TCanvas::UsePen()
{
    if (Pen.Style == TPenStyle::psClear)
        painter_->setPen(Qt::NoPen);
    else
        painter_->setPen(QPen(QBrush(ColorToQColor(Pen.Color)), Pen.Width, QtPenStyle(Pen.Style)));
}

void TCanvas::FillRect(const QRect &rect)
{
    if (Brush.Style != TBrushStyle::bsSolid)
        return;
    if (recorder_) {
        recorder_->UseNullPen();
        recorder_->UseBrush(Brush);
        recorder_->Rectangle(rect);
    } else if (painter_) {
        painter_->fillRect(rect, ColorToQColor(Brush.Color));
    }
}

void TCanvas::Rectangle(const QRect &rect)
{
    if (recorder_) {
        recorder_->UsePen(Pen);
        recorder_->UseBrush(Brush);
        recorder_->Rectangle(rect);
        return;
    }
    if (!painter_)
        return;
    FillRect(rect.adjusted(1, 1, -1, -1));
    if (Pen.Style != TPenStyle::psClear) {
        UsePen();
        painter_->setBrush(Qt::NoBrush);
        painter_->drawRect(rect.adjusted(0, 0, -1, -1));
    }
}

void TCanvas::Ellipse(const QRect &rect)
{
    if (recorder_) {
        recorder_->UsePen(Pen);
        recorder_->UseBrush(Brush);
        recorder_->Ellipse(rect);
        return;
    }
    if (!painter_)
        return;
    UsePen();
    painter_->setBrush(Brush.Style == TBrushStyle::bsSolid ? QBrush(ColorToQColor(Brush.Color)) : QBrush());
    painter_->drawEllipse(rect.adjusted(0, 0, -1, -1));
}

void TCanvas::RoundRect(const QRect &rect, QSize corner)
{
    if (recorder_) {
        recorder_->UsePen(Pen);
        recorder_->UseBrush(Brush);
        recorder_->RoundRect(rect, corner);
        return;
    }
    if (!painter_)
        return;
    UsePen();
    painter_->setBrush(Brush.Style == TBrushStyle::bsSolid ? QBrush(ColorToQColor(Brush.Color)) : QBrush());
    painter_->drawRoundedRect(QRectF(rect.adjusted(0, 0, -1, -1)), corner.width() / 2.0, corner.height() / 2.0);
}

void TCanvas::LineTo(int x, int y)
{
    if (recorder_) {
        recorder_->UsePen(Pen);
        recorder_->MoveTo(penPos_);
        recorder_->LineTo(QPoint(x, y));
    } else if (painter_ && Pen.Style != TPenStyle::psClear) {
        UsePen();
        painter_->drawLine(penPos_, QPoint(x, y));
    }
    penPos_ = QPoint(x, y);
}

void TCanvas::Polyline(const QList<QPoint> &points)
{
    if (recorder_) {
        recorder_->UsePen(Pen);
        recorder_->Polyline(points);
    } else if (painter_) {
        UsePen();
        painter_->drawPolyline(points.constData(), int(points.size()));
    }
}

void TCanvas::Polygon(const QList<QPoint> &points)
{
    if (recorder_) {
        recorder_->UsePen(Pen);
        recorder_->UseBrush(Brush);
        recorder_->Polygon(points);
    } else if (painter_) {
        UsePen();
        painter_->setBrush(Brush.Style == TBrushStyle::bsSolid ? QBrush(ColorToQColor(Brush.Color)) : QBrush());
        painter_->drawPolygon(points.constData(), int(points.size()));
    }
}

// The top-left corner of the text box for a reference point under TextAlign.
QPoint TCanvas::TextOrigin(const QFontMetrics &metrics, int x, int y, int width) const
{
    const unsigned horizontal = TextAlign & TA_CENTER;
    if (horizontal == TA_CENTER)
        x -= width / 2;
    else if (horizontal == TA_RIGHT)
        x -= width;
    if ((TextAlign & TA_BASELINE) == TA_BASELINE)
        y -= metrics.ascent();
    else if (TextAlign & TA_BOTTOM)
        y -= metrics.height();
    return {x, y};
}

namespace {

std::vector<int> Advances(const QFontMetrics &metrics, const QString &text, int width)
{
    // Each character's own advance; the last one takes up the difference to
    // the width of the whole text (kerning), so the advances add up to it.
    std::vector<int> out;
    out.reserve(size_t(text.size()));
    int sum = 0;
    for (QChar c : text) {
        out.push_back(metrics.horizontalAdvance(c));
        sum += out.back();
    }
    if (!out.empty())
        out.back() += width - sum;
    return out;
}

} // namespace

// Text is measured on the device it is drawn on: a printer's pixels are far
// smaller than the screen's, and screen metrics would misplace aligned text.
QFontMetrics TCanvas::Metrics() const
{
    if (painter_ && painter_->device())
        return QFontMetrics(Font, painter_->device());
    return QFontMetrics(Font);
}

void TCanvas::TextOut(int x, int y, const QString &text)
{
    // The text is shaped once: its width places it and closes its advances.
    const QFontMetrics metrics = Metrics();
    const int width = metrics.horizontalAdvance(text);
    const QPoint origin = TextOrigin(metrics, x, y, width);
    const QRect box(origin, QSize(width, metrics.height()));
    if (recorder_) {
        recorder_->UseFont(Font, FontCharset, FontColor);
        recorder_->UseTextAlign(TA_LEFT | TA_TOP);
        recorder_->TextOut(origin, text, Advances(metrics, text, width), box, false,
                           Brush.Style == TBrushStyle::bsSolid, Brush.Color);
        return;
    }
    if (!painter_)
        return;
    FillRect(box);
    painter_->setFont(Font);
    painter_->setPen(ColorToQColor(FontColor));
    painter_->drawText(QPoint(origin.x(), origin.y() + metrics.ascent()), text);
}

void TCanvas::TextRect(const QRect &rect, int x, int y, const QString &text)
{
    const QFontMetrics metrics = Metrics();
    const int width = metrics.horizontalAdvance(text);
    const QPoint origin = TextOrigin(metrics, x, y, width);
    if (recorder_) {
        recorder_->UseFont(Font, FontCharset, FontColor);
        recorder_->UseTextAlign(TA_LEFT | TA_TOP);
        recorder_->TextOut(origin, text, Advances(metrics, text, width), rect, true,
                           Brush.Style == TBrushStyle::bsSolid, Brush.Color);
        return;
    }
    if (!painter_)
        return;
    FillRect(rect);
    painter_->save();
    painter_->setClipRect(rect);
    painter_->setFont(Font);
    painter_->setPen(ColorToQColor(FontColor));
    painter_->drawText(QPoint(origin.x(), origin.y() + metrics.ascent()), text);
    painter_->restore();
}

void TCanvas::Draw(int x, int y, const QPixmap &picture)
{
    if (recorder_)
        recorder_->StretchDraw(QRect(QPoint(x, y), picture.size()), picture.toImage());
    else if (painter_)
        painter_->drawPixmap(x, y, picture);
}

void TCanvas::StretchDraw(const QRect &rect, const QImage &image)
{
    if (recorder_)
        recorder_->StretchDraw(rect, image);
    else if (painter_)
        painter_->drawImage(rect, image);
}

int TCanvas::TextWidth(const QString &text) const { return Metrics().horizontalAdvance(text); }

int TCanvas::TextHeight(const QString &) const { return Metrics().height(); }

} // namespace zorbel
