// Colour conversion and the canvas's drawing primitives.
#include "platform/canvas/Graphics.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>

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

void TCanvas::FillRect(const QRect &rect)
{
    if (painter_ && Brush.Style == TBrushStyle::bsSolid)
        painter_->fillRect(rect, ColorToQColor(Brush.Color));
}

void TCanvas::Rectangle(const QRect &rect)
{
    if (!painter_)
        return;
    FillRect(rect.adjusted(1, 1, -1, -1));
    if (Pen.Style != TPenStyle::psClear) {
        painter_->setPen(QPen(ColorToQColor(Pen.Color), Pen.Width));
        painter_->setBrush(Qt::NoBrush);
        painter_->drawRect(rect.adjusted(0, 0, -1, -1));
    }
}

void TCanvas::LineTo(int x, int y)
{
    if (painter_ && Pen.Style != TPenStyle::psClear) {
        Qt::PenStyle style = Pen.Style == TPenStyle::psDash ? Qt::DashLine
                             : Pen.Style == TPenStyle::psDot ? Qt::DotLine
                                                             : Qt::SolidLine;
        painter_->setPen(QPen(QBrush(ColorToQColor(Pen.Color)), Pen.Width, style));
        painter_->drawLine(penPos_, QPoint(x, y));
    }
    penPos_ = QPoint(x, y);
}

void TCanvas::TextOut(int x, int y, const QString &text)
{
    if (!painter_)
        return;
    const QFontMetrics metrics(Font);
    const QRect box(x, y, metrics.horizontalAdvance(text), metrics.height());
    FillRect(box);
    painter_->setFont(Font);
    painter_->setPen(ColorToQColor(FontColor));
    painter_->drawText(QPoint(x, y + metrics.ascent()), text);
}

void TCanvas::TextRect(const QRect &rect, int x, int y, const QString &text)
{
    if (!painter_)
        return;
    FillRect(rect);
    painter_->save();
    painter_->setClipRect(rect);
    painter_->setFont(Font);
    painter_->setPen(ColorToQColor(FontColor));
    painter_->drawText(QPoint(x, y + QFontMetrics(Font).ascent()), text);
    painter_->restore();
}

void TCanvas::Draw(int x, int y, const QPixmap &picture)
{
    if (painter_)
        painter_->drawPixmap(x, y, picture);
}

int TCanvas::TextWidth(const QString &text) const { return QFontMetrics(Font).horizontalAdvance(text); }

int TCanvas::TextHeight(const QString &) const { return QFontMetrics(Font).height(); }

} // namespace zorbel
