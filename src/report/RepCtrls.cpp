// Text and picture printables. Every measure is in 0.1 mm; the printer turns
// positions into device pixels as it draws. A label's lines are measured
// with the font drawn, at the screen's 96 pixels per inch that page
// metafiles are recorded at, so the wrapping matches the page.
#include "report/RepCtrls.h"

#include "platform/dataset/DataSet.h"
#include "platform/dataset/Fields.h"
#include "platform/rtl/DateTime.h"
#include "platform/rtl/Format.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace zorbel {

namespace {
int Round(double v) { return int(std::lround(v)); }
constexpr double kTenthsPerPixel = 254.0 / ScreenPixelsPerInch;
constexpr TColor kWhite = 0xFFFFFF;

double &Left(TRepPrintable &p) { return p.Size.Values[TRepPrintableSize::iLeft]; }
double &Top(TRepPrintable &p) { return p.Size.Values[TRepPrintableSize::iTop]; }
double &Width(TRepPrintable &p) { return p.Size.Values[TRepPrintableSize::iWidth]; }
double &Height(TRepPrintable &p) { return p.Size.Values[TRepPrintableSize::iHeight]; }

// Device rectangle of a printable placed at the band offset (x, y).
QRect DeviceRect(TRepPrinter &pr, TRepPrintable &p, double x, double y)
{
    const int l = pr.XToDevice(x + Left(p)), t = pr.YToDevice(y + Top(p));
    return QRect(QPoint(l, t), QPoint(pr.XToDevice(x + Left(p) + Width(p)) - 1, pr.YToDevice(y + Top(p) + Height(p)) - 1));
}

// The stand-in an export writer receives carries device-pixel bounds.
void SetDeviceBounds(TRepPrintable &p, const QRect &r)
{
    p.Size.SetUnits(TRepUnit::Native);
    Left(p) = r.left();
    Top(p) = r.top();
    Width(p) = r.width();
    Height(p) = r.height();
}

bool Exporting(const TRepPrintable &p) { return p.Report && p.Report->Exporting && p.Report->ExportFilter; }
bool Drawing(const TRepPrintable &p) { return p.Report && p.Report->DrawToPrinter; }

// Splits text into lines as a string list takes text: CR LF, LF or CR end a line.
QStringList SplitLines(const QString &text)
{
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = t.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}
} // namespace

// ---- pictures ----

bool TRepPicture::LoadFromData(const QByteArray &bytes)
{
    Clear();
    if (bytes.isEmpty())
        return false;
    QImage image;
    if (!image.loadFromData(bytes) || image.isNull())
        return false;
    Bitmap = std::move(image);
    return true;
}

void TRepPicture::Draw(TCanvas &canvas, const QRect &target, const QRect &clip) const
{
    if (Empty() || target.isEmpty())
        return;
    const QRect visible = clip.isNull() ? target : target.intersected(clip);
    if (visible.isEmpty())
        return;
    QImage image = Bitmap;
    if (!IsBitmap()) {
        if (QPainter *p = canvas.Painter()) {
            p->save();
            p->setClipRect(visible);
            PlayMetafile(*p, Metafile.Data(), QRectF(target));
            p->restore();
            return;
        }
        image = QImage(target.size(), QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QPainter p(&image);
        PlayMetafile(p, Metafile.Data(), QRectF(QPointF(0, 0), QSizeF(target.size())));
    }
    if (visible == target) {
        canvas.StretchDraw(target, image);
        return;
    }
    // Only the visible part is handed on, so recorded pages hold no
    // drawing outside the printable.
    const double sx = double(image.width()) / target.width(), sy = double(image.height()) / target.height();
    const QRect source(QPoint(int(std::floor((visible.left() - target.left()) * sx)),
                              int(std::floor((visible.top() - target.top()) * sy))),
                       QPoint(int(std::ceil((visible.right() + 1 - target.left()) * sx)) - 1,
                              int(std::ceil((visible.bottom() + 1 - target.top()) * sy)) - 1));
    const QImage part = image.copy(source.intersected(image.rect()));
    if (!part.isNull())
        canvas.StretchDraw(visible, part);
}

void DrawNaturalPicture(TCanvas &canvas, const TRepPicture &picture, const QRect &rect, bool center,
                        double xScale, double yScale)
{
    const int w = Round(picture.Width() * kTenthsPerPixel * xScale);
    const int h = Round(picture.Height() * kTenthsPerPixel * yScale);
    QRect target(rect.topLeft(), QSize(w, h));
    if (center)
        target.translate((rect.width() - w) / 2, (rect.height() - h) / 2);
    picture.Draw(canvas, target, rect);
}

// ---- shape ----

TRepShape::TRepShape()
{
    Width(*this) = Height(*this) = 65 * kTenthsPerPixel;
    Brush.Color = kWhite;
}

void TRepShape::Print(double x, double y)
{
    if (!Printer || !CanPrint())
        return;
    TRepPrinter &pr = *Printer;
    const int l = pr.XToDevice(x + Left(*this)), t = pr.YToDevice(y + Top(*this));
    const int r = pr.XToDevice(x + Left(*this) + Width(*this)), b = pr.YToDevice(y + Top(*this) + Height(*this));
    if (Exporting(*this)) {
        TRepShape s;
        s.Shape = Shape;
        s.Brush = Brush;
        s.Pen = Pen;
        s.RoundFactor = RoundFactor;
        s.Name = Name;
        SetDeviceBounds(s, QRect(QPoint(l, t), QPoint(r - 1, b - 1)));
        Report->ExportFilter->PutGraphic(s, l, t);
    }
    if (!Drawing(*this))
        return;
    TCanvas &c = pr.GetCanvas();
    c.Brush = Brush;
    c.Pen = Pen;
    auto line = [&c](int x1, int y1, int x2, int y2) {
        c.MoveTo(x1, y1);
        c.LineTo(x2, y2);
    };
    switch (Shape) {
    case qrsRectangle: c.Rectangle(QRect(QPoint(l, t), QPoint(r - 1, b - 1))); break;
    case qrsCircle: c.Ellipse(QRect(QPoint(l, t), QPoint(r - 1, b - 1))); break;
    case qrsVertLine: {
        const int mx = pr.XToDevice(x + Left(*this) + Width(*this) / 2);
        line(mx, t, mx, b);
        break;
    }
    case qrsHorLine: {
        const int my = pr.YToDevice(y + Top(*this) + Height(*this) / 2);
        line(l, my, r, my);
        break;
    }
    case qrsTopAndBottom:
        line(l, t, r, t);
        line(l, b, r, b);
        break;
    case qrsRightAndLeft:
        line(l, t, l, b);
        line(r, t, r, b);
        break;
    case qrsRoundRect: {
        // The corner is a share of the control's screen width, so it does
        // not grow with the printer's resolution.
        const int corner = Round(Width(*this) / kTenthsPerPixel * RoundFactor);
        c.RoundRect(QRect(QPoint(l, t), QPoint(r - 1, b - 1)), QSize(corner, corner));
        break;
    }
    }
}

// ---- images ----

TRepImage::TRepImage() { Width(*this) = Height(*this) = 105 * kTenthsPerPixel; }

void TRepImage::PictureChanged()
{
    if (AutoSize && Picture.Width() > 0 && Picture.Height() > 0) {
        Width(*this) = Picture.Width() * kTenthsPerPixel;
        Height(*this) = Picture.Height() * kTenthsPerPixel;
    }
    Transparent = !(Picture.IsBitmap() && Picture.Width() * kTenthsPerPixel >= Width(*this) &&
                    Picture.Height() * kTenthsPerPixel >= Height(*this));
}

// Hands a picture to the export writer as an image stand-in.
static void ExportPicture(TRepPrintable &owner, const TRepPicture &picture, const QRect &rect, bool center,
                          bool stretch)
{
    TRepImage image;
    image.Name = owner.Name;
    image.Picture = picture;
    image.Center = center;
    image.Stretch = stretch;
    image.Color = owner.Color;
    SetDeviceBounds(image, rect);
    owner.Report->ExportFilter->PutGraphic(image, rect.left(), rect.top());
}

void TRepImage::Print(double x, double y)
{
    if (!Printer)
        return;
    TRepPrinter &pr = *Printer;
    const QRect rect = DeviceRect(pr, *this, x, y);
    if (Exporting(*this))
        ExportPicture(*this, Picture, rect, Center, Stretch);
    TCanvas &c = pr.GetCanvas();
    if (Stretch)
        Picture.Draw(c, rect);
    else
        DrawNaturalPicture(c, Picture, rect, Center, pr.XScale(), pr.YScale());
    TRepPrintable::Print(x, y);
}

TRepDBImage::TRepDBImage() { Width(*this) = Height(*this) = 105 * kTenthsPerPixel; }

void TRepDBImage::Prepare()
{
    TRepPrintable::Prepare();
    Field = DataSet ? DataSet->FindField(DataField) : nullptr;
}

void TRepDBImage::Unprepare()
{
    Field = nullptr;
    TRepPrintable::Unprepare();
}

TRepPicture TRepDBImage::LoadPicture() const
{
    TRepPicture picture;
    if (!dynamic_cast<TBlobField *>(Field))
        return picture;
    try {
        picture.LoadFromData(Field->GetBlobData());
    } catch (const std::exception &) {
        picture.Clear(); // an unreadable field prints as an empty one
    }
    return picture;
}

void TRepDBImage::Print(double x, double y)
{
    if (!Printer)
        return;
    TRepPrinter &pr = *Printer;
    const QRect rect = DeviceRect(pr, *this, x, y);
    const TRepPicture picture = LoadPicture();
    if (Exporting(*this)) {
        // The writers get the field's picture as a field's picture: one that
        // does not stretch is fitted into the box in proportion there.
        TRepDBImage image;
        image.Name = Name;
        image.DataSet = DataSet;
        image.DataField = DataField;
        image.Field = Field;
        image.Center = Center;
        image.Stretch = Stretch;
        image.Color = Color;
        SetDeviceBounds(image, rect);
        Report->ExportFilter->PutGraphic(image, rect.left(), rect.top());
    }
    TCanvas &c = pr.GetCanvas();
    c.Brush.Style = TBrushStyle::bsSolid;
    c.Brush.Color = Color;
    if (Stretch) {
        if (picture.Empty())
            c.FillRect(rect);
        else
            picture.Draw(c, rect);
    } else
        DrawNaturalPicture(c, picture, rect, Center, pr.XScale(), pr.YScale());
    TRepPrintable::Print(x, y);
}

bool TRepDBImage::GetExpandedHeight(double &pixels)
{
    pixels = Height(*this) / kTenthsPerPixel;
    if (dynamic_cast<TBlobField *>(Field)) {
        const TRepPicture picture = LoadPicture();
        pixels = picture.Height();
    }
    return true;
}

// ---- labels ----

TRepCustomLabel::TRepCustomLabel()
{
    Font = QFont(QStringLiteral("Liberation Sans"));
    Font.setPointSize(10);
    Transparent = false;
}

void TRepCustomLabel::SetCaption(const QString &caption)
{
    caption_ = caption;
    OutputText = caption;
    LinesValid = false;
    WrapText();
}

void TRepCustomLabel::SetName(const QString &name)
{
    if (caption_.isEmpty() || caption_ == Name)
        SetCaption(name);
    Name = name;
}

void TRepCustomLabel::SetFont(const QFont &font)
{
    Font = font;
    LinesValid = false;
    WrapText();
}

void TRepCustomLabel::Loaded()
{
    TRepPrintable::Loaded();
    if (FontSize > 0) {
        QFont f = Font;
        f.setPointSize(FontSize);
        SetFont(f);
    }
}

double TRepCustomLabel::MeasureLine(const QString &s) const
{
    return Report ? Report->TextWidth(Font, s) : TCustomBandReport::FontTextWidth(Font, s);
}

double TRepCustomLabel::MinHeight() const { return TCustomBandReport::FontTextHeight(Font) + 1; }

TAlignment TRepCustomLabel::MirroredAlignment() const
{
    if (!RightToLeft || !MirrorsAlignment() || Alignment == TAlignment::taCenter)
        return Alignment;
    return Alignment == TAlignment::taLeftJustify ? TAlignment::taRightJustify : TAlignment::taLeftJustify;
}

namespace {

bool IsDigit(QChar c) { return c >= u'0' && c <= u'9'; }

bool IsBlank(QChar c) { return c == u' ' || c == QChar(0x00A0); }

// Whether a break character at i sits inside a figure: a blank between
// digit groups ("1 420 909"), or a minus (and the blank after it) that signs
// the digits that follow ("-1 420", "- 3 262").
bool InsideFigure(const QString &line, qsizetype i)
{
    const auto at = [&](qsizetype k) { return k >= 0 && k < line.size() ? line[k] : QChar(); };
    const QChar c = line[i];
    if (c == u'-')
        return IsDigit(at(i + 1)) || (IsBlank(at(i + 1)) && IsDigit(at(i + 2)));
    return IsDigit(at(i + 1)) && (IsDigit(at(i - 1)) || (at(i - 1) == u'-' && !IsDigit(at(i - 2))));
}

bool HoldsDigit(const QStringList &lines)
{
    for (const QString &line : lines)
        if (std::any_of(line.begin(), line.end(), IsDigit))
            return true;
    return false;
}

} // namespace

bool TRepCustomLabel::WhollyWrapped() const
{
    // The common case, one line of text kept whole, without building lists.
    return UsesCaptionText() && WrappedLines.size() == 1 && WrappedLines.front().size() == OutputText.size() &&
           !OutputText.contains(QLatin1Char('\r')) && !OutputText.contains(QLatin1Char('\n'));
}

QStringList TRepCustomLabel::SourceLines() const
{
    QStringList sources;
    if (UsesCaptionText())
        sources = QString(OutputText).remove(QLatin1Char('\n')).split(QLatin1Char('\r'));
    else
        for (const QString &line : Lines)
            sources += QString(line).remove(QLatin1Char('\n')).split(QLatin1Char('\r'));
    return sources;
}

void TRepCustomLabel::KeepFiguresWhole(const QStringList &sources)
{
    WrappedLines = sources;
    const double width = Width(*this);
    auto measure = [&](const QFont &font, const QString &line) {
        return Report ? Report->TextWidth(font, line) : TCustomBandReport::FontTextWidth(font, line);
    };
    auto widest = [&](const QFont &font, const QString &room = QString()) {
        double w = 0;
        for (const QString &line : sources)
            w = std::max(w, measure(font, line + room));
        return w;
    };
    if (widest(Font) <= width)
        return;
    const qreal size = Font.pointSizeF();
    if (size <= 0)
        return;
    // A reduced figure keeps two blanks' room in its box (a digit's width,
    // more than the blank between its own digit groups), so it never runs
    // into the text beside it.
    const int smallest = std::max(4, int(std::ceil(size / 2)));
    QFont f = Font;
    for (int points = int(std::ceil(size)) - 1; points >= smallest; --points) {
        f.setPointSize(points);
        fitted_ = true;
        fitFont_ = f;
        if (widest(f, QStringLiteral("  ")) <= width)
            return;
    }
}

void TRepCustomLabel::WrapText()
{
    if (!Band && !Report)
        return;
    WrappedLines.clear();
    lineClosed_ = false;
    fitted_ = false;
    const bool inReport = Report != nullptr;
    if (UsesCaptionText()) {
        WrapSourceLine(OutputText);
        if (inReport && !ResizeGuard && Height(*this) < MinHeight())
            Height(*this) = MinHeight();
    } else if (AutoSize)
        WrappedLines = Lines;
    else
        for (const QString &line : Lines)
            WrapSourceLine(line);
    // A figure is whole or not shown: when wrapping dropped or cut
    // characters of a text holding a digit, or put a digit on a line below
    // the box of a label that does not stretch, the lines stay whole instead.
    if (!AutoSize && !WhollyWrapped()) {
        const QStringList sources = SourceLines();
        const qsizetype shown =
            AutoStretch ? WrappedLines.size()
                        : qsizetype(std::floor((Height(*this) + 1) / TCustomBandReport::FontTextHeight(Font)));
        if ((WrappedLines.join(QString()) != sources.join(QString()) ||
             (shown < WrappedLines.size() && HoldsDigit(WrappedLines.mid(shown)))) &&
            HoldsDigit(sources))
            KeepFiguresWhole(sources);
    }
    if (AutoSize && !ResizeGuard && inReport) {
        double widest = 0;
        for (const QString &line : WrappedLines)
            widest = std::max(widest, MeasureLine(line));
        const double frame = Frame.Width * 254.0 / 72;
        const double w = widest + (Frame.DrawLeft ? frame : 0) + (Frame.DrawRight ? frame : 0);
        ResizeGuard = true;
        const TAlignment a = MirroredAlignment();
        if (a == TAlignment::taRightJustify)
            Left(*this) += Width(*this) - w;
        else if (a == TAlignment::taCenter)
            Left(*this) += std::trunc((Width(*this) - w) / 2);
        Width(*this) = w;
        if (Height(*this) < MinHeight())
            Height(*this) = MinHeight();
        ResizeGuard = false;
    }
    LinesValid = true;
}

void TRepCustomLabel::WrapSourceLine(const QString &source)
{
    QString line = source;
    line.remove(QLatin1Char('\n'));
    if (line.contains(QLatin1Char('\r'))) {
        for (const QString &piece : line.split(QLatin1Char('\r')))
            WrapSourceLine(piece);
        return;
    }
    lineInProgress_.clear();
    lineClosed_ = false;
    if (AutoSize) {
        EmitLine(line);
        lineClosed_ = true;
        return;
    }
    // A word runs up to and including its first break character; a figure's
    // own blanks and sign do not break it.
    int start = 0;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if ((c == QLatin1Char(' ') || c == QLatin1Char('-')) && !InsideFigure(line, i)) {
            AddWord(line.mid(start, i + 1 - start));
            start = i + 1;
        }
    }
    if (start < line.size())
        AddWord(line.mid(start));
    if (!lineClosed_)
        EmitLine(lineInProgress_);
}

void TRepCustomLabel::AddWord(QString word)
{
    const double width = Width(*this);
    if (MeasureLine(lineInProgress_ + word) <= width) {
        lineInProgress_ += word;
        return;
    }
    if (lineInProgress_.isEmpty()) {
        // A word longer than the line keeps what stays strictly narrower.
        int n = 0;
        while (n < word.size() && MeasureLine(word.left(n + 1)) < width)
            ++n;
        lineInProgress_ = word.left(n);
        word.clear();
    }
    EmitLine(lineInProgress_);
    lineInProgress_.clear();
    if (MeasureLine(word) > width) {
        if (width == 0)
            word.clear();
        else
            while (!word.isEmpty() && MeasureLine(word) > width)
                word.chop(1);
        EmitLine(word);
        word.clear();
    }
    if (!WordWrap) {
        word.clear();
        lineClosed_ = true;
    }
    lineInProgress_ += word;
}

void TRepCustomLabel::Prepare()
{
    TRepPrintable::Prepare();
    NextLineIndex = 0;
    FinishedPrinting = true;
    SetCaption(caption_);
}

void TRepCustomLabel::Print(double x, double y)
{
    if (!CanPrint() || !Printer)
        return;
    PrintLines(Left(*this) + x, Top(*this) + y, Width(*this), Height(*this));
}

void TRepCustomLabel::PrintLines(double x, double y, double width, double height)
{
    TRepPrinter &pr = *Printer;
    TCanvas &c = pr.GetCanvas();
    // 1. The print handler may change the text for this print only.
    QString kept;
    bool changed = false;
    if (!OutputText.isEmpty() && OnPrint) {
        QString value = OutputText;
        OnPrint(*this, value);
        if (value != OutputText) {
            kept = OutputText;
            OutputText = value;
            LinesValid = false;
            changed = true;
        }
    }
    // 2. Wrap; AutoSize may change the width, a figure wider than the box
    // the font.
    WrapText();
    const double entryWidth = width;
    width = Width(*this);
    const QFont &font = PrintFont();
    const double lineHeight = TCustomBandReport::FontTextHeight(font);
    // A reduced font keeps the baseline of the label's own.
    const double baseline =
        fitted_ ? (QFontMetricsF(Font).ascent() - QFontMetricsF(font).ascent()) * kTenthsPerPixel : 0.0;
    // 3, 4. The background.
    const bool drawing = Drawing(*this), exporting = Exporting(*this);
    const QRect back(QPoint(pr.XToDevice(x), pr.YToDevice(y)),
                     QPoint(pr.XToDevice(x + width) - 1, pr.YToDevice(y + height) - 1));
    if (exporting && !Transparent && Color != kWhite) {
        TRepShape shape;
        shape.Brush.Style = TBrushStyle::bsSolid;
        shape.Brush.Color = Color;
        shape.Pen.Style = TPenStyle::psClear;
        SetDeviceBounds(shape, back);
        Report->ExportFilter->PutGraphic(shape, back.left(), back.top());
    }
    auto fill = [&](double top, double bottom) {
        c.Brush.Style = TBrushStyle::bsSolid;
        c.Brush.Color = Color;
        c.FillRect(QRect(QPoint(pr.XToDevice(x), pr.YToDevice(top)), QPoint(pr.XToDevice(x + width) - 1, pr.YToDevice(bottom) - 1)));
    };
    if (drawing && !Transparent)
        fill(y, y + height);
    // 5. The frame's lines push the text inwards.
    const int f = Round(Frame.Width / 72.0 * 254);
    if (Frame.HasLines()) {
        if (Frame.DrawTop)
            y += f;
        if (Frame.DrawLeft)
            x += f;
    }
    // 6, 7. Where the lines go.
    double bottomLimit = y + height + 1, currentY = y;
    double tx = x;
    if (AutoSize && Alignment == TAlignment::taRightJustify)
        tx = x - (width - entryWidth);
    else if (AutoSize && Alignment == TAlignment::taCenter)
        tx = x - (width - entryWidth) / 2;
    const TAlignment align = MirroredAlignment();
    unsigned textAlign = TA_LEFT | TA_TOP;
    if (align == TAlignment::taRightJustify) {
        textAlign = TA_RIGHT | TA_TOP;
        tx += width;
    } else if (align == TAlignment::taCenter) {
        textAlign = TA_CENTER | TA_TOP;
        tx += width / 2;
    }
    c.Font = font;
    c.FontColor = FontColor;
    c.Brush.Style = TBrushStyle::bsClear;
    c.TextAlign = textAlign;
    // 8. The lines, from the first not yet printed.
    if (FinishedPrinting)
        NextLineIndex = 0;
    double growth = 0;
    bool requested = false;
    auto lineFits = [&] {
        if (bottomLimit >= currentY + lineHeight)
            return true;
        if (!AutoStretch || !Band || !Band->CanExpand(lineHeight))
            return false;
        const double oldGrowth = growth;
        Band->ExpandBy(lineHeight, requested, growth);
        bottomLimit = y + height + 1 + growth;
        if (drawing && !Transparent && growth > oldGrowth) {
            fill(y + height + oldGrowth, y + height + growth);
            c.Brush.Style = TBrushStyle::bsClear;
        }
        return bottomLimit >= currentY + lineHeight;
    };
    const int first = NextLineIndex;
    while (NextLineIndex < WrappedLines.size() && lineFits()) {
        const QString &line = WrappedLines[NextLineIndex];
        if (drawing && !line.isEmpty())
            c.TextOut(pr.XToDevice(tx), pr.YToDevice(currentY + baseline), line);
        if (exporting && fitted_)
            Report->ExportFilter->PutFittedText(tx, currentY + baseline, currentY, font, FontColor, unsigned(Color),
                                                align, line);
        else if (exporting)
            Report->ExportFilter->PutText(tx, currentY, font, FontColor, unsigned(Color), align, line);
        currentY += lineHeight;
        ++NextLineIndex;
    }
    if (NextLineIndex > first)
        ++Progress;
    // 9. A stretching label with lines left prints them when the band prints
    // it again on the next page.
    FinishedPrinting = !(NextLineIndex < WrappedLines.size() && AutoStretch);
    c.TextAlign = TA_LEFT | TA_TOP;
    // 10. The text changed by the handler was for this print only.
    if (changed) {
        OutputText = kept;
        LinesValid = false;
    }
    // 11. The frame around what was printed.
    if ((drawing || exporting) && Frame.HasLines()) {
        const QRect r(QPoint(pr.XToDevice(x - f), pr.YToDevice(y - f)),
                      QPoint(pr.XToDevice(x + width) - 1, pr.YToDevice(y + height + growth) - 1));
        Frame.Draw(c, r, pr.YScale(), pr.XScale(), Report);
    }
}

// ---- memo ----

void TRepMemo::Print(double x, double y)
{
    SetCaption(QString());
    TRepCustomLabel::Print(x, y);
    SetCaption(Name);
}

bool TRepMemo::GetExpandedHeight(double &pixels)
{
    WrapText();
    pixels = WrappedLines.size() * TCustomBandReport::FontTextHeight(Font) / kTenthsPerPixel;
    return true;
}

// ---- data text ----

void TRepDBText::SetDataField(const QString &name)
{
    dataField_ = name;
    SetCaption(name);
}

void TRepDBText::Prepare()
{
    TRepCustomLabel::Prepare();
    Field = nullptr;
    FieldFound = false;
    IsMemo = false;
    if (!DataSet)
        return;
    Field = DataSet->FindField(dataField_);
    if (!Field)
        return;
    FieldIndex = Field->Index();
    FieldFound = true;
    if (dynamic_cast<TBlobField *>(Field)) {
        IsMemo = true;
        OutputText.clear();
    }
}

void TRepDBText::FetchField()
{
    if (FieldFound && DataSet && DataSet->DefaultFields() && FieldIndex >= 0 && FieldIndex < DataSet->Fields().Count())
        Field = DataSet->Fields()[FieldIndex];
}

void TRepDBText::LoadFieldText()
{
    try {
        if (!Field) {
            OutputText.clear();
            Lines.clear();
        } else if (dynamic_cast<TBlobField *>(Field))
            Lines = SplitLines(Field->AsString());
        else if (dynamic_cast<TStringField *>(Field) || Mask.isEmpty())
            OutputText = Field->DisplayText();
        else if (dynamic_cast<TIntegerField *>(Field))
            OutputText = FormatFloat(Mask, Field->AsInteger());
        else if (dynamic_cast<TFloatField *>(Field))
            OutputText = FormatFloat(Mask, Field->AsFloat());
        else if (dynamic_cast<TDateTimeField *>(Field))
            OutputText = FormatDateTime(Mask, Field->AsDateTime());
        else
            OutputText = Field->DisplayText();
    } catch (const std::exception &) {
        // A field that cannot be read prints empty for this record.
        OutputText.clear();
        Lines.clear();
    }
    LinesValid = false;
}

void TRepDBText::Print(double x, double y)
{
    if (!Enabled)
        return;
    FetchField();
    LoadFieldText();
    TRepCustomLabel::Print(x, y);
}

QString TRepDBText::GetFieldString()
{
    FetchField();
    LoadFieldText();
    return IsMemo ? Lines.join(QLatin1Char('\n')) : OutputText;
}

bool TRepDBText::GetExpandedHeight(double &pixels)
{
    GetFieldString();
    WrapText();
    pixels = WrappedLines.size() * TCustomBandReport::FontTextHeight(Font) / kTenthsPerPixel;
    return true;
}

void TRepDBText::Unprepare()
{
    Field = nullptr;
    FieldFound = false;
    TRepCustomLabel::Unprepare();
    SetCaption(dataField_.isEmpty() ? Name : dataField_);
}

bool TRepDBText::MirrorsAlignment() const
{
    // Numbers and dates keep their alignment in right-to-left text.
    return !Field || !(dynamic_cast<TIntegerField *>(Field) || dynamic_cast<TFloatField *>(Field) ||
                       dynamic_cast<TDateTimeField *>(Field));
}

// ---- expression ----

TRepExpr::TRepExpr() { SetExpression(QString()); }

void TRepExpr::SetExpression(const QString &expression)
{
    expression_ = expression;
    SetCaption(expression.isEmpty() ? QStringLiteral("(none)") : expression);
}

void TRepExpr::Prepare()
{
    TRepCustomLabel::Prepare();
    if (!Report)
        return;
    Report->PrepareEvaluator(Evaluator, expression_);
    if (Master)
        Master->RegisterClient(this);
    else if (Evaluator.HasAggregates())
        Report->MainController.RegisterClient(this);
    Evaluator.ClearTotals();
}

void TRepExpr::Notify(TRepCustomController &controller, int code)
{
    TRepPrintable::Notify(controller, code);
    if (code == 0 && Evaluator.IsCompiled())
        Evaluator.Accumulate();
}

QString TRepExpr::ValueText()
{
    const TRepEvValue v = Evaluator.Evaluate();
    switch (v.Kind) {
    case TRepEvKind::Integer: return FormatFloat(Mask, v.IntValue);
    case TRepEvKind::Float: return FormatFloat(Mask, v.FloatValue);
    case TRepEvKind::Boolean: return v.BoolValue ? QStringLiteral("True") : QStringLiteral("False");
    default: return v.Text;
    }
}

void TRepExpr::Print(double x, double y)
{
    if (!CanPrint())
        return;
    OutputText = ValueText();
    LinesValid = false;
    TRepCustomLabel::Print(x, y);
    if (ResetAfterPrint)
        Evaluator.ClearTotals();
}

void TRepExpr::Unprepare()
{
    Evaluator.SetDataSetList(nullptr);
    if (Evaluator.IsCompiled())
        Evaluator.Discard();
    TRepCustomLabel::Unprepare();
    SetExpression(expression_);
}

// ---- system data ----

namespace {
const char *const kSysDataNames[] = {"Time", "Date", "Date/Time", "Page#", "Report title", "Detail count", "Detail no"};
}

TRepSysData::TRepSysData() { ShowKind(); }

void TRepSysData::SetData(TRepSysDataType data)
{
    data_ = data;
    ShowKind();
}

void TRepSysData::SetText(const QString &text)
{
    text_ = text;
    ShowKind();
}

void TRepSysData::ShowKind()
{
    SetCaption(text_ + QLatin1Char('(') + QString::fromLatin1(kSysDataNames[data_]) + QLatin1Char(')'));
}

void TRepSysData::Print(double x, double y)
{
    auto *bandReport = dynamic_cast<TBandReport *>(Report);
    switch (data_) {
    case qrsTime: SetCaption(text_ + FormatDateTime(QStringLiteral("t"), TimeOf(Now()))); break;
    case qrsDate: SetCaption(text_ + FormatDateTime(QStringLiteral("c"), Date())); break;
    case qrsDateTime: SetCaption(text_ + FormatDateTime(QStringLiteral("c"), Now())); break;
    case qrsPageNumber: SetCaption(text_ + QString::number(Report ? Report->CurrentPage : 0)); break;
    case qrsReportTitle: SetCaption(text_ + (Report ? Report->ReportTitle : QString())); break;
    case qrsDetailCount:
        if (bandReport)
            SetCaption(text_ + QString::number(bandReport->RecordTotal()));
        break;
    case qrsDetailNo:
        if (bandReport)
            SetCaption(text_ + QString::number(bandReport->MainController.DetailNumber));
        break;
    }
    TRepCustomLabel::Print(x, y);
}

} // namespace zorbel
