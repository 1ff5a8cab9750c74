// The design views of the text, shape and picture printables.
#include "platform/dataset/DataSet.h"
#include "report/RepCtrls.h"
#include "report/RepDesign.h"

#include <cmath>

namespace zorbel {

namespace {
int Round(double v) { return int(std::lround(v)); }
} // namespace

QFont ZoomedFont(const QFont &font, int zoom)
{
    QFont f = font;
    if (zoom != 100 && font.pointSizeF() > 0)
        f.setPointSize(std::max(1, Round(font.pointSizeF() * zoom / 100)));
    return f;
}

void PaintDesignLines(TCanvas &canvas, const QStringList &lines, QSize size, TAlignment alignment,
                      const TRepFrame &frame, int zoom)
{
    const int lineHeight = canvas.TextHeight(QStringLiteral("W"));
    const int inset = Round(frame.Width / 72.0 * ScreenPixelsPerInch * zoom / 100);
    int x = frame.DrawLeft ? inset : 0;
    const int top = frame.DrawTop && frame.Width > 0 ? inset : 0;
    unsigned align = TA_LEFT;
    if (alignment == TAlignment::taRightJustify) {
        x = size.width();
        align = TA_RIGHT;
    } else if (alignment == TAlignment::taCenter) {
        x = size.width() / 2;
        align = TA_CENTER;
    }
    canvas.TextAlign = align | TA_TOP;
    canvas.Brush.Style = TBrushStyle::bsClear;
    for (int i = 0; i < lines.size(); ++i)
        if (!lines[i].isEmpty())
            canvas.TextOut(x, top + i * lineHeight, lines[i]);
    canvas.TextAlign = TA_LEFT | TA_TOP;
}

void BeginDesignText(TCanvas &canvas, const TRepPrintable &control, const QFont &font, TColor fontColor)
{
    canvas.Font = ZoomedFont(font, control.GetZoom());
    canvas.FontColor = fontColor;
    if (!control.Transparent) {
        canvas.Brush = {control.Color, TBrushStyle::bsSolid};
        canvas.FillRect(QRect(QPoint(0, 0), control.BoundsRect().size()));
    }
}

void PaintFieldPlaceholder(TCanvas &canvas, const TRepPrintable &control, const TDataSet *dataSet,
                           const QString &dataField)
{
    const QSize size = control.BoundsRect().size();
    canvas.Brush = {control.Color, TBrushStyle::bsSolid};
    canvas.FillRect(QRect(QPoint(0, 0), size));
    const TField *field = dataSet ? dataSet->FindField(dataField) : nullptr;
    const QString text = QLatin1Char('(') + (field ? field->DisplayLabel() : control.Name) + QLatin1Char(')');
    canvas.Brush.Style = TBrushStyle::bsClear;
    canvas.FontColor = clBlack;
    canvas.TextAlign = TA_LEFT | TA_TOP;
    canvas.TextOut((size.width() - canvas.TextWidth(text)) / 2, (size.height() - canvas.TextHeight(text)) / 2, text);
}

void PaintDesignPicture(TCanvas &canvas, const TRepPicture &picture, QSize size, bool stretch, bool center, int zoom)
{
    canvas.Pen = {clBlack, 1, TPenStyle::psDash};
    DrawOutline(canvas, QRect(QPoint(0, 0), size));
    if (picture.Empty())
        return;
    QRect target(QPoint(0, 0), stretch ? size : QSize(picture.Width(), picture.Height()));
    if (!stretch && center)
        target.moveTopLeft(QPoint((size.width() - picture.Width()) / 2, (size.height() - picture.Height()) / 2));
    if (zoom != 100 && !stretch)
        target = QRect(QPoint(Round(target.left() * zoom / 100.0), Round(target.top() * zoom / 100.0)),
                       QPoint(Round((target.right() + 1) * zoom / 100.0) - 1, Round((target.bottom() + 1) * zoom / 100.0) - 1));
    picture.Draw(canvas, target, QRect(QPoint(0, 0), size));
}

void PaintShapeFigure(TCanvas &canvas, TRepShape::TShapeType shape, QSize size, int roundCorner)
{
    const int w = size.width(), h = size.height();
    const auto line = [&canvas](int x1, int y1, int x2, int y2) {
        canvas.MoveTo(x1, y1);
        canvas.LineTo(x2, y2);
    };
    switch (shape) {
    case TRepShape::qrsRectangle: canvas.Rectangle(QRect(0, 0, w, h)); break;
    case TRepShape::qrsCircle: canvas.Ellipse(QRect(0, 0, w, h)); break;
    case TRepShape::qrsVertLine: line(w / 2, 0, w / 2, h); break;
    case TRepShape::qrsHorLine: line(0, h / 2, w, h / 2); break;
    case TRepShape::qrsTopAndBottom:
        line(0, 0, w, 0);
        line(0, h - 1, w, h - 1);
        break;
    case TRepShape::qrsRightAndLeft:
        line(0, 0, 0, h);
        line(w - 1, 0, w - 1, h);
        break;
    case TRepShape::qrsRoundRect: canvas.RoundRect(QRect(0, 0, w, h), QSize(roundCorner, roundCorner)); break;
    }
}

void TRepShape::Paint(TCanvas &canvas)
{
    if (PrintingNow)
        return;
    canvas.Brush = Brush;
    canvas.Pen = Pen;
    const QSize size = BoundsRect().size();
    PaintShapeFigure(canvas, Shape, size, Round(size.width() * RoundFactor));
}

void TRepCustomLabel::Paint(TCanvas &canvas)
{
    if (PrintingNow)
        return;
    // The label's own colour is the background, the corner marks and the
    // frame go over it, the text over both.
    BeginDesignText(canvas, *this, Font, FontColor);
    PaintOutline(canvas);
    WrapText();
    PaintDesignLines(canvas, WrappedLines, BoundsRect().size(), MirroredAlignment(), Frame, GetZoom());
}

void TRepMemo::Paint(TCanvas &canvas)
{
    if (!Caption().isEmpty() && !Lines.join(QString()).isEmpty())
        SetCaption(QString());
    TRepCustomLabel::Paint(canvas);
}

void TRepImage::Paint(TCanvas &canvas)
{
    if (PrintingNow)
        return;
    PaintDesignPicture(canvas, Picture, BoundsRect().size(), Stretch, Center, GetZoom());
}

void TRepDBImage::Paint(TCanvas &canvas)
{
    if (PrintingNow)
        return;
    PaintFieldPlaceholder(canvas, *this, DataSet, DataField);
    PaintOutline(canvas);
}

} // namespace zorbel
