// The design views of the rule, the vector shape, the pictures and the
// link label.
#include "export/RepImgCtrl.h"
#include "report/RepDesign.h"

namespace zorbel {

void TRepHRule::Paint(TCanvas &canvas)
{
    if (PrintingNow)
        return;
    const QSize size = BoundsRect().size();
    canvas.Pen = Pen;
    canvas.Brush = Brush;
    canvas.MoveTo(0, size.height() / 2);
    canvas.LineTo(size.width(), size.height() / 2);
}

void TRepPDFShape::Paint(TCanvas &canvas)
{
    if (PrintingNow)
        return;
    const QSize size = BoundsRect().size();
    canvas.Pen = Pen;
    canvas.Brush = Brush;
    switch (ShapeType) {
    case TRepShape::qrsRectangle:
        // Inside the pen, so a thick line is not cut off at the top and left.
        canvas.Rectangle(QRect(QPoint(Pen.Width, Pen.Width), QPoint(size.width() - 1, size.height() - 1)));
        break;
    case TRepShape::qrsRoundRect: break; // the writer draws no rounded shape
    default: PaintShapeFigure(canvas, ShapeType, size, 0);
    }
}

void TRepGrImage::Paint(TCanvas &canvas)
{
    if (PrintingNow)
        return;
    PaintDesignPicture(canvas, Picture, BoundsRect().size(), Stretch, Center, GetZoom());
}

void TRepGrDBImage::Paint(TCanvas &canvas)
{
    if (PrintingNow)
        return;
    PaintFieldPlaceholder(canvas, *this, DataSet, DataField);
}

void TRepCustomHTMLLabel::Paint(TCanvas &canvas)
{
    if (PrintingNow)
        return;
    BeginDesignText(canvas, *this, Font, FontColor);
    TAlignment alignment = Alignment;
    if (RightToLeft && alignment != TAlignment::taCenter)
        alignment = alignment == TAlignment::taLeftJustify ? TAlignment::taRightJustify : TAlignment::taLeftJustify;
    PaintDesignLines(canvas, lines_, BoundsRect().size(), alignment, Frame, GetZoom());
}

} // namespace zorbel
