// The PDF export filter: the report run's export calls turned into drawing
// commands of the PDF writer.
#include "export/RepPDFFilt.h"

#include "export/RepImgCtrl.h"
#include "report/RepCtrls.h"
#include "platform/rtl/Streams.h"
#include "report/RepReport.h"

#include <QPainter>
#include <cmath>

namespace zorbel {

namespace {

constexpr double kPointsPerMM = 2.8346456692913385826; // 72 / 25.4

// Halving a pixel difference truncates towards zero.
double HalfOf(double v) { return std::trunc(v / 2); }

} // namespace

TPdfRgb PdfColor(TColor color)
{
    if (color < 0)
        color &= 0xFFFFFF;
    return {uint8_t(color & 0xFF), uint8_t((color >> 8) & 0xFF), uint8_t((color >> 16) & 0xFF)};
}

// ---- the base with its own output ----

TRepPAbstractExportFilter::~TRepPAbstractExportFilter() = default;

void TRepPAbstractExportFilter::OpenOutput(const QString &fileName)
{
    Output = std::make_unique<TFileStream>(fileName, fmCreate);
}

void TRepPAbstractExportFilter::CloseOutput() { Output.reset(); }

// ---- the PDF filter ----

TRepPDFDocumentFilter::TRepPDFDocumentFilter(const QString &fileName)
    : TRepPAbstractExportFilter(fileName), writer_(std::make_unique<TPdfWriter>())
{
    // The program's fonts carry the Cyrillic character set: text the
    // standard fonts cannot show goes through fonts embedded in code page 1251.
    writer_->CharSet = RUSSIAN_CHARSET;
}

TRepPDFDocumentFilter::~TRepPDFDocumentFilter() = default;

void TRepPDFDocumentFilter::OpenOutput(const QString &fileName)
{
    if (fileName.isEmpty()) {
        Output = std::make_unique<TMemoryStream>();
        fileOutput_ = false;
    } else {
        TRepPAbstractExportFilter::OpenOutput(fileName);
        fileOutput_ = true;
    }
}

// A memory stream stays readable until the filter goes.
void TRepPDFDocumentFilter::CloseOutput()
{
    if (fileOutput_)
        Output.reset();
}

void TRepPDFDocumentFilter::PageDone()
{
    TRepPAbstractExportFilter::PageDone();
    WritePage();
}

void TRepPDFDocumentFilter::BeginDocument(int paperWidth, int paperHeight, const QFont &font)
{
    TRepPAbstractExportFilter::BeginDocument(paperWidth, paperHeight, font);
    const TRepPrinter *printer = Report ? Report->RepPrinter : nullptr;
    const double xScale = printer ? printer->XScale() : ScreenPixelsPerInch / 254.0;
    const double yScale = printer ? printer->YScale() : ScreenPixelsPerInch / 254.0;
    pxX_ = 1 / (xScale * 10) * kPointsPerMM;
    pxY_ = 1 / (yScale * 10) * kPointsPerMM;
    // Positions arrive measured from the paper's top edge, so neither a top
    // margin nor a lift is added: the page looks as the preview shows it.
    writer_->Lift = 0;
    writer_->SetPdfPageGeometry(paperWidth * 0.1 * kPointsPerMM, paperHeight * 0.1 * kPointsPerMM, 0, 0, 0);
    started_ = 1;
}

void TRepPDFDocumentFilter::EndDocument()
{
    writer_->WritePdfDocument(OutputName);
    TRepPAbstractExportFilter::EndDocument();
}

void TRepPDFDocumentFilter::BeginNextPage()
{
    if (firstPage_) {
        firstPage_ = false;
        return;
    }
    TPdfCommand c;
    c.Kind = TPdfCommandKind::NewPage;
    writer_->SubmitPdfCommand(c);
}

void TRepPDFDocumentFilter::PutText(double x, double y, const QFont &font, TColor fontColor, unsigned,
                                    TAlignment alignment, const QString &text)
{
    const TRepPrinter *printer = Report ? Report->RepPrinter : nullptr;
    double dx = printer ? printer->XToDevice(x) : std::lround(x * ScreenPixelsPerInch / 254.0);
    const double dy = printer ? printer->YToDevice(y) : std::lround(y * ScreenPixelsPerInch / 254.0);
    if (alignment != TAlignment::taLeftJustify) {
        TCanvas measure;
        measure.Font = font;
        const int width = measure.TextWidth(text);
        dx -= alignment == TAlignment::taRightJustify ? width : width / 2;
    }
    TPdfCommand c;
    c.Kind = TPdfCommandKind::Text;
    c.X = dx * pxX_;
    const int size = font.pointSizeF() > 0 ? int(std::lround(font.pointSizeF()))
                                           : int(std::lround(font.pixelSize() * 72.0 / ScreenPixelsPerInch));
    // The writer places text on its baseline.
    c.Y = dy * pxY_ + size;
    c.FontName = font.family();
    c.Text = text;
    c.FontSize = size;
    c.Bold = font.bold();
    c.Italic = font.italic();
    c.Color = PdfColor(fontColor);
    writer_->SubmitPdfCommand(c);
}

QSizeF TRepPDFDocumentFilter::ControlSize(const TRepPrintable &control) const
{
    return {control.Size.Values[TRepPrintableSize::iWidth], control.Size.Values[TRepPrintableSize::iHeight]};
}

void TRepPDFDocumentFilter::PutShape(const TRepPrintable &control, TPdfShapeKind kind, double x, double y,
                                     const TCanvas::TPen &pen, const TCanvas::TBrush *brush)
{
    const QSizeF size = ControlSize(control);
    TPdfCommand c;
    c.Kind = TPdfCommandKind::Shape;
    c.ShapeKind = kind;
    c.X = x * pxX_;
    c.Y = y * pxY_;
    c.LineWidth = pen.Style == TPenStyle::psClear ? 0 : pen.Width;
    c.LineColor = PdfColor(pen.Color);
    c.Width = size.width() * pxX_;
    c.Height = size.height() * pxX_;
    if (brush) {
        c.Color = PdfColor(brush->Color);
        c.Filled = brush->Style != TBrushStyle::bsClear;
    }
    writer_->SubmitPdfCommand(c);
}

namespace {

TPdfShapeKind ShapeKindOf(TRepShapeType type)
{
    switch (type) {
    case TRepShape::qrsRectangle: return TPdfShapeKind::Rectangle;
    case TRepShape::qrsCircle: return TPdfShapeKind::Ellipse;
    case TRepShape::qrsVertLine: return TPdfShapeKind::VertLine;
    case TRepShape::qrsHorLine: return TPdfShapeKind::HorLine;
    case TRepShape::qrsTopAndBottom: return TPdfShapeKind::TopAndBottom;
    case TRepShape::qrsRightAndLeft: return TPdfShapeKind::LeftAndRight;
    case TRepShape::qrsRoundRect: return TPdfShapeKind::RoundRect;
    }
    return TPdfShapeKind::Rectangle;
}

// The screen's pixels per 0.1 mm: a picture's natural size in pixels.
constexpr double kScreenScale = ScreenPixelsPerInch / 254.0;

// A picture drawn into a fresh white bitmap of size w x h: stretched over
// all of it, or at its natural size from the top-left corner (centred when
// asked, as the page shows it).
QImage DrawIntoBitmap(const TRepPicture &picture, int w, int h, bool stretch, bool center)
{
    QImage bitmap(std::max(w, 0), std::max(h, 0), QImage::Format_RGB32);
    bitmap.fill(Qt::white);
    QPainter p(&bitmap);
    TCanvas c;
    c.Begin(&p);
    if (stretch)
        picture.Draw(c, QRect(0, 0, w, h));
    else
        DrawNaturalPicture(c, picture, QRect(0, 0, w, h), center, kScreenScale, kScreenScale);
    c.Begin(nullptr);
    return bitmap;
}

// The picture at its own pixel size.
QImage PictureBitmap(const TRepPicture &picture)
{
    if (picture.IsBitmap())
        return picture.Bitmap;
    return DrawIntoBitmap(picture, picture.Width(), picture.Height(), true, false);
}

// Fits picture inside the target box keeping its proportions, centred in
// the box: the side that would overflow is shortened and the position moves
// by half of what it lost.
void FitInside(const TRepPicture &picture, double &targetWidth, double &targetHeight, double &x, double &y)
{
    const double pw = picture.Width(), ph = picture.Height();
    if (pw / targetWidth >= ph / targetHeight) {
        const double old = targetHeight;
        targetHeight = PdfRound(ph / (pw / targetWidth));
        y += HalfOf(old - targetHeight);
    } else {
        const double old = targetWidth;
        targetWidth = PdfRound(pw / (ph / targetHeight));
        x += HalfOf(old - targetWidth);
    }
}

} // namespace

void TRepPDFDocumentFilter::PutImage(const QImage &bitmap, double x, double y, double targetWidth,
                                     double targetHeight)
{
    if (bitmap.width() <= 0 || bitmap.height() <= 0)
        return;
    TPdfCommand c;
    c.Kind = TPdfCommandKind::Image;
    c.X = x * pxX_;
    c.Y = (y + targetHeight) * pxY_;
    c.Width = bitmap.width() * pxX_;
    c.Height = bitmap.height() * pxX_;
    c.PixelWidth = bitmap.width();
    c.PixelHeight = bitmap.height();
    c.ScaleX = targetWidth / bitmap.width();
    c.ScaleY = targetHeight / bitmap.height();
    c.ImageData = EncodePdfImage(bitmap, writer_->CompressImages);
    writer_->SubmitPdfImageCommand(c);
}

void TRepPDFDocumentFilter::PutGraphic(TRepPrintable &control, double x, double y)
{
    if (const auto *rule = dynamic_cast<const TRepHRule *>(&control)) {
        PutShape(control, TPdfShapeKind::HorLine, x, y, rule->Pen, nullptr);
        return;
    }
    if (const auto *shape = dynamic_cast<const TRepPDFShape *>(&control)) {
        PutShape(control, ShapeKindOf(shape->ShapeType), x, y, shape->Pen, &shape->Brush);
        return;
    }
    if (const auto *shape = dynamic_cast<const TRepShape *>(&control)) {
        PutShape(control, ShapeKindOf(shape->Shape), x, y, shape->Pen, &shape->Brush);
        return;
    }
    PutPicture(control, x, y);
}

void TRepPDFDocumentFilter::PutPicture(const TRepPrintable &control, double x, double y)
{
    const QSizeF size = ControlSize(control);
    const int w = int(std::lround(size.width())), h = int(std::lround(size.height()));
    double targetWidth = w, targetHeight = h;
    if (const auto *image = dynamic_cast<const TRepImage *>(&control)) {
        if (!image->Picture.Empty())
            PutImage(DrawIntoBitmap(image->Picture, w, h, image->Stretch, image->Center), x, y, targetWidth,
                     targetHeight);
        return;
    }
    if (const auto *image = dynamic_cast<const TRepGrImage *>(&control)) {
        if (!image->Picture.Empty())
            PutImage(DrawIntoBitmap(image->Picture, w, h, !image->ClipImage, image->Center), x, y, targetWidth,
                     targetHeight);
        return;
    }
    if (const auto *image = dynamic_cast<const TRepDBImage *>(&control)) {
        const TRepPicture picture = image->LoadPicture();
        if (picture.Empty())
            return; // no field, or nothing in it
        if (!image->Stretch)
            FitInside(picture, targetWidth, targetHeight, x, y);
        // The field's picture itself goes into the box, stretched or fitted:
        // a box-sized bitmap with the picture in its corner, squeezed into
        // the fitted box, would lose the picture's proportions.
        PutImage(PictureBitmap(picture), x, y, targetWidth, targetHeight);
        return;
    }
    if (const auto *image = dynamic_cast<const TRepGrDBImage *>(&control)) {
        const TRepPicture picture = image->LoadPicture();
        if (picture.Empty())
            return; // no field, or nothing in it
        const double pw = picture.Width(), ph = picture.Height(), ratio = pw / ph;
        if (!image->Stretch) {
            const bool wider = pw / targetWidth >= ph / targetHeight;
            switch (image->FitMode) {
            case TFitMode::fmInsideProp: FitInside(picture, targetWidth, targetHeight, x, y); break;
            case TFitMode::fmProportional:
                if (wider)
                    targetWidth = PdfRound(targetHeight * ratio);
                else
                    targetHeight = PdfRound(targetWidth / ratio);
                break;
            case TFitMode::fmKeepWidth: targetHeight = PdfRound(targetWidth / ratio); break;
            case TFitMode::fmKeepHeight: targetWidth = PdfRound(targetHeight * ratio); break;
            }
        }
        PutImage(image->ClipImage ? DrawIntoBitmap(picture, w, h, false, false) : PictureBitmap(picture), x, y,
                 targetWidth, targetHeight);
        return;
    }
    // Any other kind of control carries nothing the writer could draw.
}

} // namespace zorbel
