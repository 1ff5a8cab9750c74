// The PDF writer: pages of content-stream lines, rendering of the drawing
// commands, and the one-pass file layout (see RepPdfObjs.h). The fonts' part
// (keys, standard fonts, TrueType embedding) is in RepPdfFonts.cpp.
#include "export/RepPdfObjs.h"

#include "export/RepPdfText.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Streams.h"
#include "platform/system/SysEnv.h"
#include "platform/system/SysFiles.h"

#include <QBuffer>
#include <cmath>

namespace zorbel {

// ---- small helpers ----

void TDictionary::Add(const QString &key, const QString &value)
{
    if (keys_.contains(key))
        return;
    keys_.append(key);
    values_.append(value);
}

QString TDictionary::Lookup(const QString &key) const
{
    const qsizetype i = keys_.indexOf(key);
    return i < 0 ? QString() : values_[i];
}

int PdfRound(double v)
{
    const double r = std::nearbyint(v); // the default rounding mode: halves to even
    if (!(std::fabs(r) < 2147483647.0))
        throw ERangeError(QStringLiteral("Range check error"));
    return int(r);
}

QString FormatPdfRgb(TPdfRgb color)
{
    return QString::asprintf("%4.2f %4.2f %4.2f", color.R / 255.0, color.G / 255.0, color.B / 255.0).trimmed();
}

QString FormatPdfArc(double x0, double y0, double x1, double y1, double rx, double ry)
{
    const double kx = rx * 0.55229, ky = ry * 0.55229;
    double c1x, c1y, c2x, c2y;
    if (x0 < x1 && y0 < y1) {
        c1x = x0, c1y = y0 + ky, c2x = x1 - kx, c2y = y1;
    } else if (x0 < x1) {
        c1x = x0 + kx, c1y = y0, c2x = x1, c2y = y1 + ky;
    } else if (y0 < y1) {
        c1x = x0 - kx, c1y = y0, c2x = x1, c2y = y1 - ky;
    } else {
        c1x = x0, c1y = y0 - ky, c2x = x1 + kx, c2y = y1;
    }
    QString s;
    for (double v : {c1x, c1y, c2x, c2y, x1, y1})
        s += QString::asprintf(" %6.1f ", v);
    return s.trimmed() + QStringLiteral(" c");
}

void SplitPdfList(const QString &text, QChar separator, QStringList &list)
{
    list.clear();
    for (const QString &piece : text.split(separator)) {
        const QString t = piece.trimmed();
        if (!t.isEmpty())
            list.append(t);
    }
}

QByteArray PdfRunLengthEncode(const QByteArray &data)
{
    QByteArray out;
    out.reserve(data.size() + data.size() / 64 + 2);
    QByteArray literal;
    auto flushLiteral = [&] {
        if (literal.isEmpty())
            return;
        out.append(char(literal.size() - 1));
        out.append(literal);
        literal.clear();
    };
    const qsizetype n = data.size();
    qsizetype i = 0;
    while (i < n) {
        qsizetype run = 1;
        while (i + run < n && run < 128 && data[i + run] == data[i])
            ++run;
        if (run >= 2) {
            flushLiteral();
            out.append(char(257 - run));
            out.append(data[i]);
            i += run;
        } else {
            literal.append(data[i++]);
            if (literal.size() == 128)
                flushLiteral();
        }
    }
    flushLiteral();
    out.append(char(128));
    return out;
}

QByteArray EncodePdfImage(const QImage &image, bool compress)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    QByteArray pixels;
    pixels.reserve(qsizetype(rgb.width()) * rgb.height() * 3);
    for (int y = 0; y < rgb.height(); ++y)
        pixels.append(reinterpret_cast<const char *>(rgb.constScanLine(y)), qsizetype(rgb.width()) * 3);
    if (compress)
        pixels = PdfRunLengthEncode(pixels);
    return pixels.toHex().toUpper();
}

// ---- pages and rendering ----

TPdfWriter::TPdfWriter()
{
    BaseFontAliases = {QStringLiteral("Arial:Helvetica"), QStringLiteral("Times-new-roman:Times"),
                       QStringLiteral("Courier-new:Courier")};
}

TPdfWriter::~TPdfWriter() = default;

void TPdfWriter::SetPdfPageGeometry(double pageWidth, double pageHeight, double topMargin, double yOffset,
                                    double xOffset)
{
    pageWidth_ = pageWidth;
    pageHeight_ = pageHeight;
    topMargin_ = topMargin;
    yOffset_ = yOffset;
    xOffset_ = xOffset;
}

void TPdfWriter::BeginPdfPage()
{
    pages_.emplace_back();
    pageOpen_ = true;
}

void TPdfWriter::EndPdfPage()
{
    if (!pageOpen_)
        return;
    AddPdfTextLine(QStringLiteral("ET"));
    pageOpen_ = false;
}

void TPdfWriter::AddPdfTextLine(const QString &line, int font) { pages_.back().TextLines.push_back({line, font}); }

QStringList TPdfWriter::PageTextLines(int i) const
{
    QStringList l;
    for (const TLine &line : pages_.at(size_t(i)).TextLines)
        l.append(line.Text);
    return l;
}

QStringList TPdfWriter::PageGraphicsLines(int i) const
{
    QStringList l;
    for (const QString &line : pages_.at(size_t(i)).GraphicsLines)
        l.append(line);
    return l;
}

void TPdfWriter::SubmitPdfCommand(const TPdfCommand &command)
{
    if (!pageOpen_ && pages_.empty())
        BeginPdfPage();
    TPdfCommand c = command;
    c.Y += topMargin_ + yOffset_;
    c.X += xOffset_;
    const double y = pageHeight_ - c.Y + Lift;
    switch (c.Kind) {
    case TPdfCommandKind::NewPage:
        EndPdfPage();
        BeginPdfPage();
        break;
    case TPdfCommandKind::Text: RenderText(c, y); break;
    case TPdfCommandKind::Shape: RenderShape(c, y); break;
    case TPdfCommandKind::Image: RenderImage(c, y); break;
    }
}

void TPdfWriter::RenderText(const TPdfCommand &c, double y)
{
    QString text = c.Text;
    text.replace(u'\\', QStringLiteral("\\\\")).replace(u'(', QStringLiteral("\\(")).replace(u')', QStringLiteral("\\)"));
    const QString family = QString(c.FontName).replace(u' ', u'-');
    QString key = family;
    if (c.Bold)
        key += QStringLiteral(", bold");
    if (c.Italic)
        key += QStringLiteral(", italic");
    const int font = FontNumber(key);
    // Text WinAnsi cannot hold is shown through the embedded font.
    if (!TrueTypeList.contains(family.trimmed()) && !PdfCanEncode(1252, c.Text))
        TrueTypeList.append(family.trimmed());
    AddPdfTextLine(FormatPdfRgb(c.Color) + QStringLiteral(" rg"));
    AddPdfTextLine(QStringLiteral("/") + QString::asprintf("F%-2.2d", font) + QString::asprintf(" %d Tf", c.FontSize));
    AddPdfTextLine(QString::asprintf(" 1 0 0 1 %d %d Tm (", PdfRound(c.X), PdfRound(y)) + text + QStringLiteral(") Tj"),
                   font);
}

int TPdfWriter::FontNumber(const QString &key)
{
    qsizetype i = fontList_.indexOf(key);
    if (i < 0) {
        fontList_.append(key);
        i = fontList_.size() - 1;
    }
    return int(i);
}

namespace {

QString Line(int x0, int y0, int x1, int y1) { return QString::asprintf("%d %d m %d %d l s", x0, y0, x1, y1); }

// A rectangle with elliptic corners of half axes rx, ry as one closed path,
// counter-clockwise from the middle of the bottom edge.
QStringList RoundRectPath(double x, double y, double w, double h, double rx, double ry)
{
    const double kx = rx * 0.55229, ky = ry * 0.55229;
    auto p = [](double v) { return QString::asprintf("%.2f", v); };
    auto c = [&](double a, double b, double c2, double d, double e, double f) {
        return QStringLiteral("%1 %2 %3 %4 %5 %6 c").arg(p(a), p(b), p(c2), p(d), p(e), p(f));
    };
    auto l = [&](double a, double b) { return QStringLiteral("%1 %2 l").arg(p(a), p(b)); };
    const double r = x + w, t = y + h;
    return {QStringLiteral("%1 %2 m").arg(p(x + rx), p(y)),
            l(r - rx, y),
            c(r - rx + kx, y, r, y + ry - ky, r, y + ry),
            l(r, t - ry),
            c(r, t - ry + ky, r - rx + kx, t, r - rx, t),
            l(x + rx, t),
            c(x + rx - kx, t, x, t - ry + ky, x, t - ry),
            l(x, y + ry),
            c(x, y + ry - ky, x + rx - kx, y, x + rx, y)};
}

} // namespace

void TPdfWriter::RenderShape(const TPdfCommand &c, double y)
{
    const double x = c.X, w = c.Width, h = c.Height;
    const QString lineColor = FormatPdfRgb(c.LineColor) + QStringLiteral(" RG");
    switch (c.ShapeKind) {
    case TPdfShapeKind::Rectangle: {
        AddPdfGraphicsLine(QString::asprintf("%.2f w", c.LineWidth));
        const QString box = QString::asprintf("%d %d %d %d re ", PdfRound(x), PdfRound(y - h), PdfRound(w), PdfRound(h));
        if (c.Filled) {
            AddPdfGraphicsLine(FormatPdfRgb(c.Color) + QStringLiteral(" rg"));
            AddPdfGraphicsLine(box + QStringLiteral("f"));
        } else {
            AddPdfGraphicsLine(lineColor);
            AddPdfGraphicsLine(box + QStringLiteral("s"));
        }
        break;
    }
    case TPdfShapeKind::Ellipse: {
        AddPdfGraphicsLine(QString::asprintf("%2.0f w", c.LineWidth));
        AddPdfGraphicsLine(lineColor);
        const double rx = w / 2, ry = h / 2;
        AddPdfGraphicsLine(QString::asprintf("%6.1f ", x + rx) + QString::asprintf("%6.1f", y) + QStringLiteral(" m"));
        AddPdfGraphicsLine(FormatPdfArc(x + rx, y, x + w, y - ry, rx, ry));
        AddPdfGraphicsLine(FormatPdfArc(x + w, y - ry, x + rx, y - h, rx, ry));
        AddPdfGraphicsLine(FormatPdfArc(x + rx, y - h, x, y - ry, rx, ry));
        AddPdfGraphicsLine(FormatPdfArc(x, y - ry, x + rx, y, rx, ry) + QStringLiteral(" s"));
        break;
    }
    case TPdfShapeKind::RoundRect: {
        // Corners as the report's shape rounds them: a circle a tenth of
        // the width across.
        AddPdfGraphicsLine(QString::asprintf("%.2f w", c.LineWidth));
        AddPdfGraphicsLine(lineColor);
        if (c.Filled)
            AddPdfGraphicsLine(FormatPdfRgb(c.Color) + QStringLiteral(" rg"));
        const double r = std::min(w * 0.05, std::min(w, h) / 2);
        for (const QString &l : RoundRectPath(x, y - h, w, h, r, r))
            AddPdfGraphicsLine(l);
        AddPdfGraphicsLine(c.Filled ? QStringLiteral("b") : QStringLiteral("s"));
        break;
    }
    case TPdfShapeKind::HorLine:
        AddPdfGraphicsLine(QString::asprintf("%2.0f w", c.LineWidth));
        AddPdfGraphicsLine(lineColor);
        AddPdfGraphicsLine(Line(PdfRound(x), PdfRound(y - h / 2), PdfRound(x + w), PdfRound(y - h / 2)));
        break;
    case TPdfShapeKind::VertLine:
        AddPdfGraphicsLine(QString::asprintf("%2.0f w", c.LineWidth));
        AddPdfGraphicsLine(lineColor);
        AddPdfGraphicsLine(Line(PdfRound(x + w / 2), PdfRound(y - h), PdfRound(x + w / 2), PdfRound(y)));
        break;
    case TPdfShapeKind::TopAndBottom:
        AddPdfGraphicsLine(QString::asprintf("%2.0f w", c.LineWidth));
        AddPdfGraphicsLine(lineColor);
        AddPdfGraphicsLine(Line(PdfRound(x), PdfRound(y), PdfRound(x + w), PdfRound(y)));
        AddPdfGraphicsLine(Line(PdfRound(x), PdfRound(y - h), PdfRound(x + w), PdfRound(y - h)));
        break;
    case TPdfShapeKind::LeftAndRight:
        AddPdfGraphicsLine(QString::asprintf("%2.0f w", c.LineWidth));
        AddPdfGraphicsLine(lineColor);
        AddPdfGraphicsLine(Line(PdfRound(x), PdfRound(y - h), PdfRound(x), PdfRound(y)));
        AddPdfGraphicsLine(Line(PdfRound(x + w), PdfRound(y - h), PdfRound(x + w), PdfRound(y)));
        break;
    }
}

void TPdfWriter::RenderImage(const TPdfCommand &c, double y)
{
    AddPdfGraphicsLine(QString::asprintf("q %d 0 0 %d %d %d cm", PdfRound(c.Width * c.ScaleX),
                                         PdfRound(c.Height * c.ScaleY), PdfRound(c.X), PdfRound(y)));
    AddPdfGraphicsLine(QStringLiteral("BI"));
    AddPdfGraphicsLine(QString::asprintf("/Width %d", c.PixelWidth));
    AddPdfGraphicsLine(QString::asprintf("/Height %d", c.PixelHeight));
    AddPdfGraphicsLine(QStringLiteral("/BitsPerComponent 8"));
    AddPdfGraphicsLine(QStringLiteral("/ColorSpace /DeviceRGB"));
    AddPdfGraphicsLine(CompressImages ? QStringLiteral("/Filter [/ASCIIHexDecode /RunLengthDecode]")
                                      : QStringLiteral("/Filter [/ASCIIHexDecode]"));
    AddPdfGraphicsLine(QStringLiteral("ID"));
    AddPdfGraphicsLine(QString::fromLatin1(c.ImageData));
    AddPdfGraphicsLine(QStringLiteral(">"));
    AddPdfGraphicsLine(QStringLiteral("EI"));
    AddPdfGraphicsLine(QStringLiteral("Q"));
}

// ---- the file ----

void TPdfWriter::TOutput::MarkObjectStart()
{
    if (Data.size() > 9999999999LL)
        throw ERangeError(QStringLiteral("Range check error"));
    Offsets.push_back(Data.size());
}

QByteArray TPdfWriter::EncodeLine(const TLine &line) const
{
    if (line.Font < 0)
        return line.Text.toLatin1();
    const int cp = IsTrueTypeFont(line.Font) ? PdfCodePageOfCharSet(CharSet) : 1252;
    return PdfEncodeText(cp, line.Text);
}

namespace {

// A text string of the document information: literal when plain ASCII,
// else UTF-16 with its byte-order mark.
QByteArray PdfInfoString(const QString &s)
{
    bool ascii = true;
    for (QChar ch : s)
        ascii = ascii && ch.unicode() >= 32 && ch.unicode() < 127;
    if (!ascii) {
        QByteArray utf16("\xFE\xFF");
        for (QChar ch : s) {
            utf16 += char(ch.unicode() >> 8);
            utf16 += char(ch.unicode() & 0xFF);
        }
        return "<" + utf16.toHex().toUpper() + ">";
    }
    QString t = s;
    t.replace(u'\\', QStringLiteral("\\\\")).replace(u'(', QStringLiteral("\\(")).replace(u')', QStringLiteral("\\)"));
    return "(" + t.toLatin1() + ")";
}

} // namespace

QByteArray TPdfWriter::BuildPdfDocument()
{
    // A document with nothing drawn is one empty page.
    if (pages_.empty())
        BeginPdfPage();
    EndPdfPage();
    const int n = PageCount();
    const int f = FontObjectCount();
    TOutput out;
    out.WriteLine("%PDF-1.3");
    out.MarkObjectStart();
    for (const char *l : {"1 0 obj", "<<", "/Type /Catalog", "/Pages 3 0 R", "/Outlines 2 0 R",
                          "/ViewerPreferences << /HideToolbar false /FitWindow true >>", ">>", "endobj"})
        out.WriteLine(l);
    out.MarkObjectStart();
    for (const char *l : {"2 0 obj", "<<", "/Type /Outlines", "/Count 0", ">>", "endobj"})
        out.WriteLine(l);
    out.MarkObjectStart();
    out.WriteLine("3 0 obj");
    out.WriteLine("<<");
    out.WriteLine("/Type /Pages");
    out.WriteLine(QString::asprintf("/Count %d", n));
    QString kids;
    for (int i = 0; i < n; ++i)
        kids += QString::asprintf("%d 0 R ", 2 * i + 4);
    out.WriteLine(QStringLiteral("/Kids [") + kids.trimmed() + QStringLiteral("]"));
    out.WriteLine(QString::asprintf("/MediaBox [0 0 %d %d]", PdfRound(pageWidth_), PdfRound(pageHeight_)));
    out.WriteLine("/Resources << ");
    out.WriteLine("/Font << ");
    int k = 2 * n + 4;
    for (int i = 0; i < fontList_.size(); ++i) {
        out.WriteLine(QString::asprintf("  /F%-2.2d %d 0 R ", i, k));
        k += IsTrueTypeFont(i) ? 4 : 1;
    }
    out.WriteLine("  >>");
    out.WriteLine(QString::asprintf("/ProcSet %d 0 R", 2 * n + f + 5));
    out.WriteLine(">>");
    out.WriteLine(">>");
    out.WriteLine("endobj");
    out.MarkObjectStart();
    for (int i = 0; i < n; ++i) {
        const int p = 2 * i + 4;
        out.WriteLine(QString::asprintf("%d 0 obj", p));
        out.WriteLine("<<");
        out.WriteLine("/Type /Page");
        out.WriteLine("/Parent 3 0 R");
        out.WriteLine(QString::asprintf("/Contents %d 0 R", p + 1));
        out.WriteLine(">>");
        out.WriteLine("endobj");
        out.MarkObjectStart();
        QByteArray graphics, text;
        for (const QString &l : pages_[size_t(i)].GraphicsLines)
            graphics += l.toLatin1() + "\r\n";
        for (const TLine &l : pages_[size_t(i)].TextLines)
            text += EncodeLine(l) + "\r\n";
        out.WriteLine(QString::asprintf("%d 0 obj", p + 1));
        out.WriteLine(QString::asprintf("<< /Length %lld >>", (long long)(graphics.size() + text.size() + 4)));
        out.WriteLine("stream");
        if (TextFirst) {
            out.WriteLine("BT");
            out.WriteRaw(text);
            out.WriteRaw(graphics);
        } else {
            out.WriteRaw(graphics);
            out.WriteLine("BT");
            out.WriteRaw(text);
        }
        out.WriteLine("endstream");
        out.WriteLine("endobj");
        out.MarkObjectStart();
    }
    k = 2 * n + 4;
    WriteFonts(out, k);
    out.WriteLine(QString::asprintf("%d 0 obj", k));
    out.WriteLine("<<");
    // The date in the form PDF defines (D:YYYYMMDDHHmmSS): a reader shows
    // it as a date, where the locale's date text would read as no date.
    out.WriteLine("/CreationDate " +
                  PdfInfoString(TSysEnv::CurrentTime().toString(QStringLiteral("'D:'yyyyMMddHHmmss"))));
    out.WriteLine("/Producer (Zorbel PDF Export)");
    out.WriteLine("/Subject " + PdfInfoString(Subject + QLatin1Char(' ')));
    out.WriteLine("/Creator (Zorbel)");
    out.WriteLine("/Title " + PdfInfoString(Title));
    out.WriteLine("/Author " + PdfInfoString(Author));
    out.WriteLine(">>");
    out.WriteLine("endobj");
    out.MarkObjectStart();
    out.WriteLine(QString::asprintf("%d 0 obj", k + 1));
    out.WriteLine("[/PDF /Text]");
    out.WriteLine("endobj");
    const int64_t xref = out.Data.size();
    const int m = int(out.Offsets.size());
    out.WriteLine("xref");
    out.WriteLine(QString::asprintf("0 %d", m + 1));
    out.WriteLine("0000000000 65535 f");
    for (int64_t o : out.Offsets)
        out.WriteLine(QString::asprintf("%010lld 00000 n", (long long)o));
    out.WriteLine("trailer");
    out.WriteLine("<<");
    out.WriteLine(QString::asprintf("/Size %d", m + 1));
    out.WriteLine("/Root 1 0 R");
    out.WriteLine(QString::asprintf("/Info %d 0 R", m - 1));
    out.WriteLine(">>");
    out.WriteLine("startxref");
    out.WriteLine(QString::asprintf("%lld", (long long)xref));
    out.WriteLine("%%EOF");
    return out.Data;
}

void TPdfWriter::WritePdfDocument(const QString &fileName)
{
    const QByteArray document = BuildPdfDocument();
    if (OutputStream)
        OutputStream->WriteBuffer(document.constData(), document.size());
    else
        SaveFileAtomically(fileName, document);
}

} // namespace zorbel
