// The extra printables: drawing on the page and the hand-over to writers.
#include "export/RepImgCtrl.h"

#include "export/RepPDFFilt.h"
#include "platform/dataset/DataSet.h"
#include "platform/dataset/Fields.h"

#include <QPainter>
#include <cmath>

namespace zorbel {

namespace {

// Pixels of the screen (96 per inch) as 0.1 mm.
constexpr double kTenthMMPerPixel = 254.0 / ScreenPixelsPerInch;

void SetPixelSize(TRepPrintable &p, int width, int height)
{
    p.Size.Values[TRepPrintableSize::iWidth] = width * kTenthMMPerPixel;
    p.Size.Values[TRepPrintableSize::iHeight] = height * kTenthMMPerPixel;
}

bool IsPdfWriter(const TRepExportFilter *f) { return dynamic_cast<const TRepPDFDocumentFilter *>(f) != nullptr; }
bool IsHtmlWriter(const TRepExportFilter *f) { return dynamic_cast<const TRepGHTMLDocumentFilter *>(f) != nullptr; }

TRepExportFilter *ExportingFilter(const TRepPrintable &p)
{
    return p.Report && p.Report->Exporting ? p.Report->ExportFilter : nullptr;
}

// The device rectangle of a printable printed at the band offsets (x, y).
QRect DeviceRect(const TRepPrintable &p, double x, double y)
{
    const double l = x + p.Size.Values[TRepPrintableSize::iLeft], t = y + p.Size.Values[TRepPrintableSize::iTop];
    const TRepPrinter &pr = *p.Printer;
    return QRect(QPoint(pr.XToDevice(l), pr.YToDevice(t)),
                 QPoint(pr.XToDevice(l + p.Size.Values[TRepPrintableSize::iWidth]) - 1,
                        pr.YToDevice(t + p.Size.Values[TRepPrintableSize::iHeight]) - 1));
}

// Hands a stand-in of the control to the writer: a copy of what the writer
// reads, with the control's device-pixel bounds as its size.
template <class T> void HandOver(TRepExportFilter &filter, const T &control, double x, double y,
                                 const std::function<void(T &)> &copy)
{
    const QRect r = DeviceRect(control, x, y);
    T standIn;
    standIn.Name = control.Name;
    standIn.Color = control.Color;
    standIn.Transparent = control.Transparent;
    standIn.Size.SetUnits(TRepUnit::Native);
    standIn.Size.Values[TRepPrintableSize::iLeft] = r.left();
    standIn.Size.Values[TRepPrintableSize::iTop] = r.top();
    standIn.Size.Values[TRepPrintableSize::iWidth] = r.width();
    standIn.Size.Values[TRepPrintableSize::iHeight] = r.height();
    copy(standIn);
    filter.PutGraphic(standIn, r.left(), r.top());
}

} // namespace

// ---- rule ----

TRepHRule::TRepHRule() { SetPixelSize(*this, 100, 10); }

void TRepHRule::Print(double x, double y)
{
    if (!Report || !Printer)
        return;
    TRepExportFilter *filter = ExportingFilter(*this);
    if (filter && (IsHtmlWriter(filter) || IsPdfWriter(filter)))
        HandOver<TRepHRule>(*filter, *this, x, y, [this](TRepHRule &s) {
            s.Pen = Pen;
            s.Brush = Brush;
        });
    if (Report->DrawToPrinter && CanPrint()) {
        TCanvas &c = Printer->GetCanvas();
        c.Brush = Brush;
        c.Pen = Pen;
        const double l = x + Size.Values[TRepPrintableSize::iLeft];
        const int yy = Printer->YToDevice(y + Size.Values[TRepPrintableSize::iTop] +
                                          Size.Values[TRepPrintableSize::iHeight] / 2);
        c.MoveTo(Printer->XToDevice(l), yy);
        c.LineTo(Printer->XToDevice(l + Size.Values[TRepPrintableSize::iWidth]), yy);
    }
}

// ---- PDF shape ----

TRepPDFShape::TRepPDFShape() { SetPixelSize(*this, 100, 10); }

void TRepPDFShape::Print(double x, double y)
{
    if (!Report || !Printer || !CanPrint())
        return;
    TRepExportFilter *filter = ExportingFilter(*this);
    if (filter && IsPdfWriter(filter))
        HandOver<TRepPDFShape>(*filter, *this, x, y, [this](TRepPDFShape &s) {
            s.Pen = Pen;
            s.Brush = Brush;
            s.ShapeType = ShapeType;
        });
    if (!Report->DrawToPrinter)
        return;
    TCanvas &c = Printer->GetCanvas();
    c.Brush = Brush;
    c.Pen = Pen;
    const double l = x + Size.Values[TRepPrintableSize::iLeft], t = y + Size.Values[TRepPrintableSize::iTop];
    const double w = Size.Values[TRepPrintableSize::iWidth], h = Size.Values[TRepPrintableSize::iHeight];
    const int L = Printer->XToDevice(l), T = Printer->YToDevice(t), R = Printer->XToDevice(l + w),
              B = Printer->YToDevice(t + h);
    auto line = [&c](int x0, int y0, int x1, int y1) {
        c.MoveTo(x0, y0);
        c.LineTo(x1, y1);
    };
    switch (ShapeType) {
    case TRepShape::qrsRectangle: c.Rectangle(QRect(QPoint(L, T), QPoint(R - 1, B - 1))); break;
    case TRepShape::qrsCircle: c.Ellipse(QRect(QPoint(L, T), QPoint(R - 1, B - 1))); break;
    case TRepShape::qrsVertLine: line(Printer->XToDevice(l + w / 2), T, Printer->XToDevice(l + w / 2), B); break;
    case TRepShape::qrsHorLine: line(L, Printer->YToDevice(t + h / 2), R, Printer->YToDevice(t + h / 2)); break;
    case TRepShape::qrsTopAndBottom:
        line(L, T, R, T);
        line(L, B, R, B);
        break;
    case TRepShape::qrsRightAndLeft:
        line(L, T, L, B);
        line(R, T, R, B);
        break;
    case TRepShape::qrsRoundRect: break; // only the PDF writer draws it
    }
}

// ---- picture ----

TRepGrImage::TRepGrImage() { SetPixelSize(*this, 105, 105); }

void TRepGrImage::SetPicture(const TRepPicture &picture)
{
    Picture = picture;
    const double w = Size.Values[TRepPrintableSize::iWidth] / kTenthMMPerPixel;
    const double h = Size.Values[TRepPrintableSize::iHeight] / kTenthMMPerPixel;
    Transparent = !(picture.IsBitmap() && picture.Width() >= w && picture.Height() >= h);
}

void TRepGrImage::Print(double x, double y)
{
    if (!Report || !Printer)
        return;
    if (Report->DrawToPrinter && CanPrint()) {
        TCanvas &c = Printer->GetCanvas();
        const QRect rect = DeviceRect(*this, x, y).adjusted(0, 0, 1, 1);
        if (Stretch)
            Picture.Draw(c, rect);
        else if (ClipImage)
            DrawNaturalPicture(c, Picture, rect, Center, Printer->XScale(), Printer->YScale());
        else
            Picture.Draw(c, rect, rect);
    }
    TRepPrintable::Print(x, y);
    if (TRepExportFilter *filter = ExportingFilter(*this))
        HandOver<TRepGrImage>(*filter, *this, x, y, [this](TRepGrImage &s) {
            s.Picture = Picture;
            s.Stretch = Stretch;
            s.Center = Center;
            s.ClipImage = ClipImage;
        });
}

// ---- picture from a field ----

TRepGrDBImage::TRepGrDBImage() { SetPixelSize(*this, 105, 105); }

void TRepGrDBImage::Prepare()
{
    TRepPrintable::Prepare();
    Field = DataSet ? DataSet->FindField(DataField) : nullptr;
}

void TRepGrDBImage::Unprepare()
{
    Field = nullptr;
    TRepPrintable::Unprepare();
}

void TRepGrDBImage::DataSetRemoved(TDataSet *dataSet)
{
    if (dataSet == DataSet) {
        DataSet = nullptr;
        Field = nullptr;
    }
}

TRepPicture TRepGrDBImage::LoadPicture() const
{
    TRepPicture picture;
    if (dynamic_cast<TBlobField *>(Field))
        picture.LoadFromData(Field->GetBlobData());
    return picture;
}

void TRepGrDBImage::Print(double x, double y)
{
    if (!Report || !Printer)
        return;
    const TRepPicture picture = LoadPicture();
    if (Report->DrawToPrinter && CanPrint()) {
        TCanvas &c = Printer->GetCanvas();
        c.Brush.Style = TBrushStyle::bsSolid;
        c.Brush.Color = Color;
        QRect rect = DeviceRect(*this, x, y).adjusted(0, 0, 1, 1);
        const double l = x + Size.Values[TRepPrintableSize::iLeft], t = y + Size.Values[TRepPrintableSize::iTop];
        if (!picture.Empty() && !Stretch) {
            const double ratio = double(picture.Width()) / picture.Height();
            // The control's own pixel size.
            const double width = Size.Values[TRepPrintableSize::iWidth] / kTenthMMPerPixel;
            const double height = Size.Values[TRepPrintableSize::iHeight] / kTenthMMPerPixel;
            const bool wider = picture.Width() / width >= picture.Height() / height;
            bool keepWidth = FitMode == TFitMode::fmKeepWidth, keepHeight = FitMode == TFitMode::fmKeepHeight;
            if (FitMode == TFitMode::fmProportional)
                (wider ? keepHeight : keepWidth) = true;
            if (FitMode == TFitMode::fmInsideProp) {
                if (wider) {
                    const int old = rect.height();
                    rect.setHeight(int(std::lround(picture.Height() / (picture.Width() / width))));
                    rect.translate(0, (old - rect.height()) / 2);
                } else {
                    const int old = rect.width();
                    rect.setWidth(int(std::lround(picture.Width() / (picture.Height() / height))));
                    rect.translate((old - rect.width()) / 2, 0);
                }
            }
            if (keepWidth)
                rect.setBottom(Printer->YToDevice(t + Size.Values[TRepPrintableSize::iWidth] / ratio) - 1);
            if (keepHeight)
                rect.setRight(Printer->XToDevice(l + Size.Values[TRepPrintableSize::iHeight] * ratio) - 1);
        }
        if (Stretch) {
            if (picture.Empty())
                c.FillRect(rect);
            else
                picture.Draw(c, rect);
        } else if (ClipImage) {
            DrawNaturalPicture(c, picture, rect, Center, Printer->XScale(), Printer->YScale());
        } else {
            picture.Draw(c, rect, rect);
        }
    }
    TRepPrintable::Print(x, y);
    if (TRepExportFilter *filter = ExportingFilter(*this))
        HandOver<TRepGrDBImage>(*filter, *this, x, y, [this](TRepGrDBImage &s) {
            s.DataSet = DataSet;
            s.DataField = DataField;
            s.Field = Field;
            s.Stretch = Stretch;
            s.Center = Center;
            s.ClipImage = ClipImage;
            s.FitMode = FitMode;
        });
}

// ---- HTML label ----

TRepCustomHTMLLabel::TRepCustomHTMLLabel() { Transparent = false; }

void TRepCustomHTMLLabel::SetCaption(const QString &caption)
{
    caption_ = caption;
    FormatLines();
}

void TRepCustomHTMLLabel::SetName(const QString &name)
{
    if (caption_.isEmpty() || caption_ == Name)
        caption_ = name;
    Name = name;
    FormatLines();
}

void TRepCustomHTMLLabel::SetFont(const QFont &font)
{
    Font = font;
    FormatLines();
}

void TRepCustomHTMLLabel::Loaded()
{
    TRepPrintable::Loaded();
    if (StoredFontSize > 0)
        Font.setPointSize(StoredFontSize);
    FormatLines();
}

double TRepCustomHTMLLabel::TextWidth(const QString &text) const
{
    TCanvas measure;
    measure.Font = Font;
    return measure.TextWidth(text) * kTenthMMPerPixel;
}

void TRepCustomHTMLLabel::FormatLines()
{
    if (formatting_ || (!Band && !Report))
        return;
    formatting_ = true;
    lines_.clear();
    const double width = Size.Values[TRepPrintableSize::iWidth];
    QString text = caption_;
    text.remove(u'\n');
    for (const QString &paragraph : text.split(u'\r')) {
        if (AutoSize) {
            lines_.append(paragraph);
            continue;
        }
        // Words end after a blank or a hyphen, which stay with the word.
        QStringList words;
        QString word;
        for (QChar ch : paragraph) {
            word += ch;
            if (ch == u' ' || ch == u'-') {
                words.append(word);
                word.clear();
            }
        }
        if (!word.isEmpty())
            words.append(word);
        QString line;
        bool dropped = false;
        for (QString w : words) {
            if (TextWidth(line + w) <= width) {
                line += w;
                continue;
            }
            if (!WordWrap) {
                // The word ends the line and is dropped itself.
                lines_.append(line);
                line.clear();
                dropped = true;
                continue;
            }
            if (!line.isEmpty())
                lines_.append(line);
            // A word wider than the label keeps the letters that fit.
            while (!w.isEmpty() && TextWidth(w) > width)
                w.chop(1);
            line = w;
        }
        // Once a word was dropped the last unfinished line is left out.
        if (!dropped)
            lines_.append(line);
    }
    if (AutoSize && Report) {
        double widest = 0;
        for (const QString &l : lines_)
            widest = std::max(widest, TextWidth(l));
        const double frame = Frame.Width / 72.0 * 254;
        widest += (Frame.DrawLeft ? frame : 0) + (Frame.DrawRight ? frame : 0);
        const double lost = Size.Values[TRepPrintableSize::iWidth] - widest;
        if (Alignment == TAlignment::taRightJustify)
            Size.Values[TRepPrintableSize::iLeft] += lost;
        else if (Alignment == TAlignment::taCenter)
            Size.Values[TRepPrintableSize::iLeft] += std::trunc(lost / 2);
        Size.Values[TRepPrintableSize::iWidth] = widest;
        TCanvas measure;
        measure.Font = Font;
        Size.Values[TRepPrintableSize::iHeight] =
            std::max(Size.Values[TRepPrintableSize::iHeight], (measure.TextHeight(QStringLiteral("W")) + 1) * kTenthMMPerPixel);
    }
    formatting_ = false;
}

void TRepCustomHTMLLabel::Prepare()
{
    TRepPrintable::Prepare();
    SetCaption(QString(caption_));
}

void TRepCustomHTMLLabel::Unprepare() { TRepPrintable::Unprepare(); }

void TRepCustomHTMLLabel::Print(double x, double y) { PrintLines(x, y); }

void TRepHTMLLabel::PrintLines(double x, double y)
{
    if (!Report || !Printer)
        return;
    TCanvas &c = Printer->GetCanvas();
    c.Font = Font;
    c.FontColor = FontColor;
    const double lineHeight = c.TextHeight(QStringLiteral("W")) / Printer->YScale();
    const double l = x + Size.Values[TRepPrintableSize::iLeft];
    double top = y + Size.Values[TRepPrintableSize::iTop];
    const double bottom = top + Size.Values[TRepPrintableSize::iHeight];
    if (Report->DrawToPrinter && !Transparent) {
        c.Pen.Width = 0;
        c.Brush.Style = TBrushStyle::bsSolid;
        c.Brush.Color = Color;
        c.FillRect(DeviceRect(*this, x, y).adjusted(0, 0, 1, 1));
    }
    const double frame = std::lround(Frame.Width / 72.0 * 254);
    double textX = l;
    if (Frame.DrawTop)
        top += frame;
    if (Frame.DrawLeft)
        textX += frame;
    // The line fits above the bottom, or the band grows by a line for it
    // (the new part filled like the label).
    bool fits = top + lineHeight <= bottom + 1;
    if (!fits && AutoStretch && Band && Band->CanExpand(lineHeight)) {
        bool requested = false;
        double growth = 0;
        Band->ExpandBy(lineHeight, requested, growth);
        if (Report->DrawToPrinter && !Transparent && growth > 0) {
            c.Brush.Style = TBrushStyle::bsSolid;
            c.Brush.Color = Color;
            c.FillRect(QRect(QPoint(Printer->XToDevice(l), Printer->YToDevice(bottom)),
                             QPoint(Printer->XToDevice(l + Size.Values[TRepPrintableSize::iWidth]) - 1,
                                    Printer->YToDevice(bottom + growth) - 1)));
        }
        fits = top + lineHeight <= bottom + 1 + growth;
    }
    if (fits) {
        if (Report->DrawToPrinter && !Caption().isEmpty() && ShowOnDocs) {
            c.Brush.Style = TBrushStyle::bsClear;
            c.TextAlign = TA_LEFT | TA_TOP;
            c.TextOut(Printer->XToDevice(textX), Printer->YToDevice(top), Caption());
        }
        TRepExportFilter *filter = ExportingFilter(*this);
        if (filter && IsHtmlWriter(filter))
            filter->PutText(textX, top, Font, FontColor, unsigned(Color), Alignment,
                            QStringLiteral("%!") + Name + QStringLiteral("!%"));
    }
    TRepPrintable::Print(x, y);
}

} // namespace zorbel
