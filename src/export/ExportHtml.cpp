#include "export/ExportHtml.h"

#include "platform/dataset/DataSet.h"
#include "export/RepImgCtrl.h"
#include "platform/system/SysPaths.h"
#include "report/RepCtrls.h"
#include "report/RepReport.h"

#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QUrl>
#include <cmath>
#include <functional>
#include <optional>
#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>

namespace zorbel {

namespace {

QString Num(int v) { return QString::number(v); }

// libjpeg reports a fatal error through error_exit, which must not return:
// jump back to the encoder, which then raises.
struct TJpegError {
    jpeg_error_mgr Manager;
    std::jmp_buf Jump;
};

void JpegErrorExit(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<TJpegError *>(info->err)->Jump, 1);
}

} // namespace

THTMLOptions &HTMLOptions()
{
    static THTMLOptions options;
    return options;
}

QString HTMLColorText(TColor c)
{
    if (c < 0)
        return QStringLiteral("#000000");
    return QStringLiteral("#%1%2%3")
        .arg(c & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((c >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((c >> 16) & 0xFF, 2, 16, QLatin1Char('0'))
        .toUpper();
}

namespace {

// The markup characters as entities.
QString EscapeMarkup(const QString &text)
{
    QString s = text;
    s.replace(QLatin1Char('&'), QStringLiteral("&amp;"));
    s.replace(QLatin1Char('<'), QStringLiteral("&lt;"));
    s.replace(QLatin1Char('>'), QStringLiteral("&gt;"));
    return s;
}

} // namespace

QString HTMLEscape(const QString &text)
{
    return EscapeMarkup(text).replace(QLatin1Char(' '), QStringLiteral("&nbsp;"));
}

// An attribute value that is no URL (an anchor's name): the markup
// characters and the quote as entities, blanks as they are.
QString HTMLAttribute(const QString &text)
{
    return EscapeMarkup(text).replace(QLatin1Char('"'), QStringLiteral("&quot;"));
}

// A link target as a URL: UTF-8 with blanks, quotes, non-ASCII and other
// characters a URL cannot hold percent-encoded; the URL's own delimiters
// and existing escapes stay. "&" becomes "&amp;", which the page reads back
// as "&".
QString HTMLUrl(const QString &target)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(target, "/:#?&=;@!$'()*+,~-._[]%"))
        .replace(QLatin1Char('&'), QStringLiteral("&amp;"));
}

// A file name relative to the page (or absolute) as a URL: every character
// that would end or change a path ("#", "?", "%", blanks) percent-encoded.
QString HTMLFileUrl(const QString &path)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(path, "/:!$'()*+,;=@~-._"));
}

QByteArray EncodeJpeg(const QImage &image, int quality)
{
    if (image.isNull() || image.width() <= 0 || image.height() <= 0)
        throw EInvalidGraphic(QStringLiteral("Invalid graphic"));
    QImage rgb(image.size(), QImage::Format_RGB888);
    rgb.fill(Qt::white);
    {
        QPainter p(&rgb);
        p.drawImage(0, 0, image);
    }
    jpeg_compress_struct info{};
    TJpegError error{};
    info.err = jpeg_std_error(&error.Manager);
    error.Manager.error_exit = JpegErrorExit;
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(error.Jump)) {
        jpeg_destroy_compress(&info);
        std::free(buffer);
        throw EInvalidGraphic(QStringLiteral("JPEG error"));
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = JDIMENSION(rgb.width());
    info.image_height = JDIMENSION(rgb.height());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb.constScanLine(int(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    const QByteArray bytes(reinterpret_cast<const char *>(buffer), qsizetype(size));
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return bytes;
}

// ---- output and page bookkeeping ----

void TRepGAbstractExportFilter::BeginDocument(int paperWidth, int paperHeight, const QFont &font)
{
    StartDocument(paperWidth, paperHeight, font);
    TRepExportFilter::BeginDocument(paperWidth, paperHeight, font);
}

void TRepGAbstractExportFilter::EndDocument()
{
    CloseOutput();
    TRepExportFilter::EndDocument();
}

void TRepGAbstractExportFilter::BeginNextPage()
{
    PageComplete = false;
    PageFont = QFont();
}

// ---- HTML ----

TRepGHTMLDocumentFilter::TRepGHTMLDocumentFilter(const QString &fileName) : TRepGAbstractExportFilter(fileName)
{
    THTMLOptions &o = HTMLOptions();
    o.Concat = o.MultiPage = o.PageLinks = false;
    o.FinalPage = 0;
    o.PictureDir.clear();
    o.LinkFontName = QStringLiteral("Arial");
    o.LinkFontSize = 12;
    o.ConcatCount = 1;
}

QString TRepGHTMLDocumentFilter::BaseName() const
{
    // The file's name cut before its first "."; its folder stays whole (a
    // dotted folder name must not send the pages elsewhere).
    const QFileInfo f(OutputName);
    const QString stem = f.baseName().isEmpty() ? f.fileName() : f.baseName();
    return f.path() == QStringLiteral(".") && !OutputName.startsWith(QStringLiteral("./"))
               ? stem
               : f.path() + QLatin1Char('/') + stem;
}

void TRepGHTMLDocumentFilter::WriteHead(const QString &title)
{
    WriteLine(QStringLiteral("<html>"));
    WriteLine(QStringLiteral("<head>"));
    WriteLine(QStringLiteral(" <meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">"));
    WriteLine(QStringLiteral(" <title>") + HTMLEscape(title) + QStringLiteral("</title>"));
    WriteLine(QStringLiteral("</head>"));
    QString attributes = QStringLiteral(" bgcolor=\"") + HTMLColorText(BodyBackColor) + QStringLiteral("\" ");
    if (!BodyPicture.trimmed().isEmpty())
        attributes += QStringLiteral(" background=\"") + BodyPicture + QLatin1Char('"');
    if (!BodyAttributes.trimmed().isEmpty())
        attributes += QLatin1Char(' ') + BodyAttributes;
    WriteLine(QStringLiteral("<body ") + attributes + QLatin1Char('>'));
}

void TRepGHTMLDocumentFilter::BeginDocument(int paperWidth, int paperHeight, const QFont &font)
{
    if (HTMLOptions().MultiPage)
        return;
    TRepGAbstractExportFilter::BeginDocument(paperWidth, paperHeight, font);
    WriteHead(QFileInfo(OutputName).fileName());
}

void TRepGHTMLDocumentFilter::BeginNextPage()
{
    FirstPageDue = false;
    if (!HTMLOptions().MultiPage)
        return;
    CloseOutput();
    PageBottomY = 0;
    const QString name = BaseName() + Num(PageNo) + QStringLiteral(".html");
    SyncedOutput = false; // page files are many: see TFileReplacer
    OpenOutput(name);
    TRepExportFilter::BeginDocument(0, 0, ReportFont); // Started
    WriteHead(QFileInfo(name).fileName());
}

const TRepHTMLLinkSource *TRepGHTMLDocumentFilter::FindLinkLabel(const QString &text) const
{
    if (!Report || !text.startsWith(QStringLiteral("%!")) || !text.endsWith(QStringLiteral("!%")))
        return nullptr;
    for (const auto &band : Report->Bands())
        for (const auto &p : band->Printables())
            if (QStringLiteral("%!") + p->Name + QStringLiteral("!%") == text)
                if (auto *link = dynamic_cast<const TRepHTMLLinkSource *>(p.get()))
                    return link;
    return nullptr;
}

void TRepGHTMLDocumentFilter::PutText(double x, double y, const QFont &font, TColor fontColor, unsigned,
                                      TAlignment alignment, const QString &text)
{
    QString shown = text;
    const TRepHTMLLinkSource *link = FindLinkLabel(text);
    if (link)
        shown = link->LinkCaption();
    if (Report && Report->MainController.DataSet) {
        TDataSet *d = Report->MainController.DataSet;
        LastPageReached = d->Active() && d->Eof() && ReportNo == HTMLOptions().ConcatCount;
    }
    QString out = HTMLEscape(shown);
    if (link) {
        const QString target = link->LinkTarget();
        switch (link->LinkKind()) {
        case 0: out = QStringLiteral("<a href=\"") + HTMLUrl(target) + QStringLiteral("\">") + out + QStringLiteral("</a>"); break;
        case 1: out = QStringLiteral("<a href=\"#") + HTMLUrl(target) + QStringLiteral("\">") + out + QStringLiteral("</a>"); break;
        default: out = QStringLiteral("<a name=\"") + HTMLAttribute(target) + QStringLiteral("\">"); break;
        }
    }
    TRepPrinter *pr = Report ? Report->RepPrinter : nullptr;
    int left = pr ? pr->XToDevice(x) : int(std::lround(x * ScreenPixelsPerInch / 254.0));
    const int top = pr ? pr->YToDevice(y) : int(std::lround(y * ScreenPixelsPerInch / 254.0));
    if (alignment != TAlignment::taLeftJustify) {
        QFont f = font;
        f.setPixelSize(FontPixelHeight(font));
        const int width = int(std::lround(QFontMetricsF(f).horizontalAdvance(shown)));
        left -= alignment == TAlignment::taRightJustify ? width : width / 2;
    }
    PageBottomY = std::max(PageBottomY, top);
    const int points = font.pointSize() > 0 ? font.pointSize() : int(std::lround(FontPixelHeight(font) * 72.0 / 96));
    QString style = QStringLiteral("<div style=\"position:absolute;top:%1px;left:%2px;font-family:%3;font-size:%4pt;")
                        .arg(Num(top), Num(left), font.family().trimmed(), Num(points));
    if (font.italic())
        style += QStringLiteral("font-style:italic;");
    if (font.bold())
        style += QStringLiteral("font-weight:bold;");
    if (fontColor != 0)
        style += QStringLiteral("color:") + HTMLColorText(fontColor) + QLatin1Char(';');
    style += QStringLiteral("\">");
    WriteLine(style);
    WriteLine(out);
    WriteLine(QStringLiteral("</DIV>"));
}

void TRepGHTMLDocumentFilter::WriteRule(int left, int top, int width, int pen, TColor color)
{
    WriteLine(QStringLiteral("<DIV style=\"position:absolute;left:%1px;top:%2px;height:%3px;\"><hr width=\"%4\" "
                             "size=\"%5\" color=\"%6\"></div>")
                  .arg(Num(left), Num(top), Num(pen), Num(width), Num(pen), HTMLColorText(color)));
}

void TRepGHTMLDocumentFilter::WriteBar(int left, int top, int height, int width, TColor color)
{
    WriteLine(QStringLiteral("<DIV style=\"position:absolute;left:%1px;top:%2px;height:%3px;width:%4px; "
                             "background-color: %5\"></div>")
                  .arg(Num(left), Num(top), Num(height), Num(width), HTMLColorText(color)));
}

namespace {

// What a picture control puts into the document: the image written to its
// file and the size the page shows it at.
struct THtmlPicture {
    QImage Image;
    int Width = 0, Height = 0;
};

// draw run over a white sheet of width x height; nothing when it drew nothing
// (a control that shows no picture, a text rich or plain, leaves it untouched).
std::optional<THtmlPicture> DrawnPicture(int width, int height, const std::function<void(TCanvas &, QRect)> &draw)
{
    if (width <= 0 || height <= 0)
        return std::nullopt;
    QImage sheet(width, height, QImage::Format_ARGB32_Premultiplied);
    sheet.fill(Qt::transparent);
    {
        QPainter painter(&sheet);
        TCanvas canvas;
        canvas.Begin(&painter);
        draw(canvas, QRect(0, 0, width, height));
        canvas.Begin(nullptr);
    }
    bool drawn = false;
    for (int y = 0; y < height && !drawn; ++y) {
        const QRgb *row = reinterpret_cast<const QRgb *>(sheet.constScanLine(y));
        for (int x = 0; x < width && !drawn; ++x)
            drawn = qAlpha(row[x]) != 0;
    }
    if (!drawn)
        return std::nullopt;
    QImage bitmap(width, height, QImage::Format_RGB32);
    bitmap.fill(Qt::white);
    {
        QPainter painter(&bitmap);
        painter.drawImage(0, 0, sheet);
    }
    return THtmlPicture{bitmap, width, height};
}

// The size a data-aware picture of size picture takes in a box of width x
// height when it does not stretch: keeping its proportions, to the box's
// width (keepWidth), to its height (keepHeight), or else as large as fits
// inside the box. Fitting to the width whenever the box is relatively wider
// than the picture would run past the box's bottom, so the default fits
// inside it.
QSize FittedPictureSize(QSize picture, int width, int height, bool keepWidth, bool keepHeight)
{
    const double sx = double(width) / picture.width(), sy = double(height) / picture.height();
    const double s = keepWidth ? sx : keepHeight ? sy : std::min(sx, sy);
    return QSize(int(std::lround(picture.width() * s)), int(std::lround(picture.height() * s)));
}

// The picture of control for a box of width x height.
std::optional<THtmlPicture> HtmlPicture(TRepPrintable &control, int width, int height)
{
    const TRepPicture *own = nullptr;
    bool stretch = false;
    if (const auto *image = dynamic_cast<const TRepImage *>(&control))
        own = &image->Picture, stretch = image->Stretch;
    else if (const auto *image = dynamic_cast<const TRepGrImage *>(&control))
        own = &image->Picture, stretch = image->Stretch;
    if (own && own->IsBitmap()) {
        // A bitmap goes into the file unchanged, at its own size; a control
        // that stretches it shows it over the control's box, as the page does.
        if (width <= 0 || height <= 0)
            return std::nullopt;
        const QImage &bitmap = own->Bitmap;
        return THtmlPicture{bitmap, stretch ? width : bitmap.width(), stretch ? height : bitmap.height()};
    }
    std::optional<TRepPicture> field;
    bool keepWidth = false, keepHeight = false;
    if (const auto *image = dynamic_cast<const TRepDBImage *>(&control))
        field = image->LoadPicture(), stretch = image->Stretch;
    else if (const auto *image = dynamic_cast<const TRepGrDBImage *>(&control)) {
        field = image->LoadPicture(), stretch = image->Stretch;
        keepWidth = image->FitMode == TFitMode::fmKeepWidth;
        keepHeight = image->FitMode == TFitMode::fmKeepHeight;
    }
    if (field) {
        if (field->Empty() || field->Width() <= 0 || field->Height() <= 0)
            return std::nullopt;
        const QSize size = stretch ? QSize(width, height)
                                   : FittedPictureSize(QSize(field->Width(), field->Height()), width, height,
                                                       keepWidth, keepHeight);
        return DrawnPicture(size.width(), size.height(), [&field](TCanvas &c, QRect r) { field->Draw(c, r); });
    }
    // Any other picture is stretched over the control's box.
    return DrawnPicture(width, height, [&control](TCanvas &c, QRect r) { control.StretchPicture(c, r); });
}

} // namespace

bool TRepGHTMLDocumentFilter::WritePicture(TRepPrintable &control, int left, int top, int width, int height)
{
    const std::optional<THtmlPicture> picture = HtmlPicture(control, width, height);
    if (!picture)
        return false;
    const QImage &bitmap = picture->Image;
    // Every picture gets a file of its own: one printed on every record must
    // not overwrite what earlier records showed.
    ++PictureCount;
    const QString name = (control.Name.isEmpty() ? QStringLiteral("picture") : control.Name) + Num(PictureCount) +
                         QStringLiteral(".jpg");
    const QString dir = HTMLOptions().PictureDir.trimmed();
    const QString link = dir.isEmpty() ? name : QDir::cleanPath(dir) + QLatin1Char('/') + name;
    // A relative link and file are relative to the document's folder, not to
    // the process's current folder.
    const QString docFolder = OutputName.isEmpty() ? QString() : AbsoluteFolderOf(OutputName);
    const QString file = QDir::isAbsolutePath(link) || docFolder.isEmpty() ? link : docFolder + QLatin1Char('/') + link;
    TFileReplacer out(file, true, false); // one of many: see TFileReplacer
    out.Write(EncodeJpeg(bitmap));
    out.Commit();
    WriteLine(QStringLiteral("<DIV style=\"position:absolute;left:%1px;top:%2px;\"><img src=\"%3\" width=%4 "
                             "height=%5></div>")
                  .arg(Num(left), Num(top), HTMLFileUrl(link), Num(picture->Width), Num(picture->Height)));
    return true;
}

void TRepGHTMLDocumentFilter::PutGraphic(TRepPrintable &control, double x, double y)
{
    const int l = int(std::trunc(x)), t = int(std::lround(y));
    const int w = int(std::lround(control.Size.Values[TRepPrintableSize::iWidth]));
    const int h = int(std::lround(control.Size.Values[TRepPrintableSize::iHeight]));
    const int r = l + w, b = t + h;
    if (auto *rule = dynamic_cast<TRepHTMLRuleSource *>(&control))
        WriteRule(l, t, w, rule->RulePenWidth(), rule->RuleColor());
    else if (auto *shape = dynamic_cast<TRepShape *>(&control)) {
        const int pen = shape->Pen.Width;
        switch (shape->Shape) {
        case TRepShape::qrsHorLine: WriteRule(l, t, w, pen, shape->Pen.Color); break;
        case TRepShape::qrsVertLine: WriteBar((l + r) / 2, t, h, pen, shape->Pen.Color); break;
        case TRepShape::qrsRectangle:
            if (shape->Brush.Style == TBrushStyle::bsSolid)
                WriteBar(l, t, h, w, shape->Brush.Color);
            else {
                WriteBar(l, t, h, pen, shape->Pen.Color);
                WriteBar(r - pen, t, h, pen, shape->Pen.Color);
                WriteRule(l, t - shape->VertAdjust - 8, w, pen, shape->Pen.Color);
                WriteRule(l, b - 8, w, pen, shape->Pen.Color);
            }
            break;
        default: return;
        }
    } else if (!WritePicture(control, l, t, w, h))
        return;
    PageBottomY = std::max(PageBottomY, t);
}

void TRepGHTMLDocumentFilter::FinishPage()
{
    const THTMLOptions &o = HTMLOptions();
    if (!o.MultiPage || FirstPageDue) {
        FirstPageDue = false;
        return;
    }
    QString block;
    if (o.PageLinks) {
        const QString base = QFileInfo(BaseName()).fileName();
        const QString gap = QStringLiteral("&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;");
        block = QStringLiteral("<div style=\"position:absolute;top:%1px;left:10mm;font-family:%2;font-size:%3pt;"
                               "text-decoration:none;text-align:left;\">")
                    .arg(Num(PageBottomY + 30), o.LinkFontName, Num(o.LinkFontSize));
        auto href = [&](int page) { return QStringLiteral("<a href=\"") + HTMLUrl(LinkPrefix) + HTMLFileUrl(base + Num(page)) + QStringLiteral(".html\">"); };
        if (o.FirstLastLinks && LastPageReached)
            block += href(1) + QStringLiteral("First page</a>") + gap;
        if (PageNo > 1)
            block += href(PageNo - 1) + QStringLiteral("Previous page</a>") + gap;
        if (!LastPageReached)
            block += href(PageNo + 1) + QStringLiteral("Next page</a>");
        if (o.FirstLastLinks && PageNo == 1)
            block += gap + QStringLiteral("<a href=\"") + HTMLFileUrl(base + Num(o.FinalPage)) + QStringLiteral(".html\">Last page</a>");
        block += QStringLiteral("<br><br></div>");
    }
    WriteLine(block);
    WriteLine(QStringLiteral("</body>"));
    WriteLine(QStringLiteral("</html>"));
    ++PageNo;
}

void TRepGHTMLDocumentFilter::EndDocument()
{
    const THTMLOptions &o = HTMLOptions();
    if (!o.MultiPage) {
        WriteLine(QStringLiteral("</body>"));
        WriteLine(QStringLiteral("</html>"));
    }
    if (!o.Concat && !o.MultiPage)
        TRepGAbstractExportFilter::EndDocument();
    else if (o.MultiPage) {
        CloseOutput(); // the last page file is complete
        TRepExportFilter::EndDocument();
    }
    --PageNo;
    ++ReportNo;
}

} // namespace zorbel
