// The PDF writer: file structure checked byte by byte and by qpdf, fonts,
// number formatting, run-length data, and pages rendered by poppler.
#include "export/PdfConst.h"
#include "export/RepPdfObjs.h"

#include "PdfSupport.h"
#include "../support/FaultEnv.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/FormatSettings.h"
#include "platform/rtl/Streams.h"

#include <QFile>
#include <QSet>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <clocale>
#include <gtest/gtest.h>
#include <random>

using namespace zorbel;
using namespace zorbel::test;

namespace {

TPdfCommand Text(const QString &text, double x, double y, const QString &font = QStringLiteral("Arial"),
                 bool bold = false)
{
    TPdfCommand c;
    c.Kind = TPdfCommandKind::Text;
    c.X = x;
    c.Y = y;
    c.Text = text;
    c.FontName = font;
    c.FontSize = 12;
    c.Bold = bold;
    return c;
}

TPdfCommand Shape(TPdfShapeKind kind, double x, double y, double w, double h, TPdfRgb line, bool filled = false,
                  TPdfRgb fill = {})
{
    TPdfCommand c;
    c.Kind = TPdfCommandKind::Shape;
    c.ShapeKind = kind;
    c.X = x, c.Y = y, c.Width = w, c.Height = h;
    c.LineWidth = 2;
    c.LineColor = line;
    c.Filled = filled;
    c.Color = fill;
    return c;
}

QString Save(TPdfWriter &w, const QTemporaryDir &dir, const QString &name = QStringLiteral("t.pdf"))
{
    const QString path = dir.filePath(name);
    w.WritePdfDocument(path);
    return path;
}

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

// Every cross-reference entry points at "k 0 obj" of its own object k.
void ExpectExactOffsets(const QByteArray &pdf)
{
    const qsizetype xref = pdf.lastIndexOf("\r\nxref\r\n") + 2;
    ASSERT_GT(xref, 2);
    const QByteArray start = pdf.mid(pdf.lastIndexOf("startxref\r\n") + 11).split('\r').first();
    EXPECT_EQ(start.toLongLong(), xref);
    const QList<QByteArray> lines = pdf.mid(xref).split('\n');
    const int count = lines[1].trimmed().split(' ')[1].toInt();
    EXPECT_EQ(lines[2], QByteArray("0000000000 65535 f\r"));
    for (int k = 1; k < count; ++k) {
        const QByteArray entry = lines[2 + k];
        ASSERT_EQ(entry.size(), 19) << k; // 20 bytes with the line feed
        const qsizetype offset = entry.left(10).toLongLong();
        EXPECT_TRUE(pdf.mid(offset).startsWith(QByteArray::number(k) + " 0 obj\r\n")) << "object " << k;
    }
}

} // namespace

TEST(PdfWriter, OnePageDocumentHasItsObjectsInOrderAtExactOffsets)
{
    QTemporaryDir dir;
    TPdfWriter w;
    w.SubmitPdfCommand(Text(QStringLiteral("Hello"), 100, 100));
    const QString path = Save(w, dir);
    const QByteArray pdf = ReadAll(path);
    EXPECT_TRUE(pdf.startsWith("%PDF-1.3\r\n1 0 obj\r\n")); // object 1 at offset 10
    ExpectExactOffsets(pdf);
    EXPECT_TRUE(pdf.contains("/Kids [4 0 R]\r\n"));
    EXPECT_TRUE(pdf.contains("4 0 obj\r\n<<\r\n/Type /Page\r\n/Parent 3 0 R\r\n/Contents 5 0 R\r\n"));
    EXPECT_TRUE(pdf.contains("  /F00 6 0 R \r\n"));
    EXPECT_TRUE(pdf.contains("6 0 obj\r\n<<\r\n/Type /Font\r\n/Subtype /Type1\r\n/Name /F00\r\n/BaseFont /Helvetica\r\n"
                             "/Encoding /WinAnsiEncoding"));
    EXPECT_TRUE(pdf.contains("7 0 obj\r\n<<\r\n/CreationDate (D:"));
    EXPECT_TRUE(pdf.contains("/ProcSet 8 0 R"));
    EXPECT_TRUE(pdf.contains("8 0 obj\r\n[/PDF /Text]\r\nendobj\r\nxref\r\n0 9\r\n"));
    EXPECT_TRUE(pdf.contains("/Size 9\r\n/Root 1 0 R\r\n/Info 7 0 R"));
    EXPECT_TRUE(pdf.endsWith("%%EOF\r\n"));
    QString report;
    EXPECT_TRUE(QpdfClean(path, &report)) << report.toStdString();
    EXPECT_TRUE(PdfInfo(path).contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\n"))));
    EXPECT_TRUE(PdfText(path).contains(QStringLiteral("Hello")));
}

TEST(PdfWriter, TextOnlyPageKeepsBeginTextAndItsLengthCountsIt)
{
    TPdfWriter w;
    w.SubmitPdfCommand(Text(QStringLiteral("a\\b(c)"), 10, 10));
    const QByteArray pdf = w.BuildPdfDocument();
    const QStringList lines = w.PageTextLines(0);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], QStringLiteral("0.00 0.00 0.00 rg"));
    EXPECT_EQ(lines[1], QStringLiteral("/F00 12 Tf"));
    // Y flipped: 840 - 10 + 20.
    EXPECT_EQ(lines[2], QStringLiteral(" 1 0 0 1 10 850 Tm (a\\\\b\\(c\\)) Tj"));
    EXPECT_EQ(lines[3], QStringLiteral("ET"));
    int textBytes = 0;
    for (const QString &l : lines)
        textBytes += int(l.size()) + 2;
    const QByteArray head = QByteArray("<< /Length ") + QByteArray::number(textBytes + 4) + " >>\r\nstream\r\nBT\r\n";
    EXPECT_TRUE(pdf.contains(head)) << pdf.toStdString();
}

TEST(PdfWriter, FontsAreNumberedByFirstUseAndMappedOntoStandardFonts)
{
    TPdfWriter w;
    w.SubmitPdfCommand(Text(QStringLiteral("a"), 0, 0));
    w.SubmitPdfCommand(Text(QStringLiteral("b"), 0, 0, QStringLiteral("Arial"), true));
    w.SubmitPdfCommand(Text(QStringLiteral("c"), 0, 0));
    w.SubmitPdfCommand(Text(QStringLiteral("d"), 0, 0, QStringLiteral("Times New Roman")));
    EXPECT_EQ(w.FontList(), QStringList({QStringLiteral("Arial"), QStringLiteral("Arial, bold"),
                                         QStringLiteral("Times-New-Roman")}));
    const QStringList lines = w.PageTextLines(0);
    EXPECT_EQ(lines[1], QStringLiteral("/F00 12 Tf"));
    EXPECT_EQ(lines[4], QStringLiteral("/F01 12 Tf"));
    EXPECT_EQ(lines[7], QStringLiteral("/F00 12 Tf"));
    EXPECT_EQ(lines[10], QStringLiteral("/F02 12 Tf"));
    const QByteArray pdf = w.BuildPdfDocument();
    ExpectExactOffsets(pdf);
    // One page, three Type1 fonts: the procedure set is 2n + f + 5.
    EXPECT_TRUE(pdf.contains("/ProcSet 10 0 R"));
    EXPECT_TRUE(pdf.contains("/BaseFont /Helvetica-Bold"));
    EXPECT_TRUE(pdf.contains("/BaseFont /Times-Roman"));

    const QStringList aliases = w.BaseFontAliases;
    EXPECT_EQ(MapToBaseFont(QStringLiteral("Arial"), aliases), QStringLiteral("Helvetica"));
    EXPECT_EQ(MapToBaseFont(QStringLiteral("Arial, bold"), aliases), QStringLiteral("Helvetica-Bold"));
    EXPECT_EQ(MapToBaseFont(QStringLiteral("Arial, italic"), aliases), QStringLiteral("Helvetica-Oblique"));
    EXPECT_EQ(MapToBaseFont(QStringLiteral("Arial, bold, italic"), aliases), QStringLiteral("Helvetica-BoldOblique"));
    EXPECT_EQ(MapToBaseFont(QStringLiteral("Times-New-Roman, bold, italic"), aliases), QStringLiteral("Times-BoldItalic"));
    EXPECT_EQ(MapToBaseFont(QStringLiteral("Courier-New, italic"), aliases), QStringLiteral("Courier-Oblique"));
    EXPECT_EQ(MapToBaseFont(QStringLiteral("MS-Sans-Serif, bold"), aliases), QStringLiteral("Courier-Bold"));
    EXPECT_EQ(MapToBaseFont(QStringLiteral("helvetica"), aliases), QStringLiteral("helvetica"));
    EXPECT_EQ(MapToBaseFont(QStringLiteral("Symbol, bold"), aliases), QStringLiteral("Symbol"));
    EXPECT_EQ(MapToBaseFont(QStringLiteral("Times"), aliases), QStringLiteral("Times-Roman"));
}

TEST(PdfWriter, NumbersUseAPointWhateverTheLocaleAndTheSeparatorStays)
{
    const std::string old = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "ru_RU.UTF-8");
    const QChar separator = FormatSettings().DecimalSeparator;
    TPdfWriter w;
    TPdfCommand c = Text(QStringLiteral("x"), 0, 0);
    c.Color = {128, 64, 255};
    w.SubmitPdfCommand(c);
    TPdfCommand r = Shape(TPdfShapeKind::Rectangle, 10, 10, 20, 20, {}, false);
    r.LineWidth = 1;
    w.SubmitPdfCommand(r);
    w.SubmitPdfCommand(Shape(TPdfShapeKind::Ellipse, 10.25, 10, 21, 20, {}));
    std::setlocale(LC_ALL, old.c_str());
    EXPECT_EQ(FormatSettings().DecimalSeparator, separator);
    EXPECT_EQ(w.PageTextLines(0)[0], QStringLiteral("0.50 0.25 1.00 rg"));
    const QStringList g = w.PageGraphicsLines(0);
    EXPECT_EQ(g[0], QStringLiteral("1.00 w"));
    EXPECT_EQ(g[3], QStringLiteral(" 2 w")); // lines and ellipses: "%2.0f"
    EXPECT_EQ(g[5], QStringLiteral("  20.8  850.0 m"));
    for (const QString &line : g)
        EXPECT_FALSE(line.contains(u',')) << line.toStdString();
}

namespace {

// A plain run-length decoder to check the encoder against.
QByteArray RunLengthDecode(const QByteArray &in, bool &ended)
{
    QByteArray out;
    ended = false;
    for (qsizetype i = 0; i < in.size();) {
        const int n = uchar(in[i++]);
        if (n == 128) {
            ended = i == in.size();
            break;
        }
        if (n < 128) {
            out += in.mid(i, n + 1);
            i += n + 1;
        } else {
            out += QByteArray(257 - n, in[i++]);
        }
    }
    return out;
}

} // namespace

TEST(PdfWriter, RunLengthDataDecodesToTheInput)
{
    bool ended = false;
    EXPECT_EQ(PdfRunLengthEncode(QByteArray("aaab")), QByteArray("\xFE" "a\x00" "b\x80", 5));
    EXPECT_EQ(PdfRunLengthEncode(QByteArray()), QByteArray("\x80", 1));
    const QByteArray longRun(300, 'z');
    EXPECT_EQ(RunLengthDecode(PdfRunLengthEncode(longRun), ended), longRun);
    EXPECT_TRUE(ended);
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        QByteArray data;
        const int pieces = int(random() % 40);
        for (int p = 0; p < pieces; ++p)
            data += QByteArray(int(random() % 200) + 1, char(random() % 3));
        const QByteArray encoded = PdfRunLengthEncode(data);
        ASSERT_EQ(RunLengthDecode(encoded, ended), data);
        ASSERT_TRUE(ended);
        ASSERT_LE(encoded.size(), data.size() + data.size() / 128 + 2);
    }
    // Pixels: rows from the top, red, green, blue, as upper-case hex.
    QImage image(2, 1, QImage::Format_RGB32);
    image.setPixelColor(0, 0, QColor(0x12, 0xAB, 0x00));
    image.setPixelColor(1, 0, QColor(0xFF, 0x01, 0x80));
    EXPECT_EQ(EncodePdfImage(image, false), QByteArray("12AB00FF0180"));
}

TEST(PdfWriter, CyrillicTextIsEmbeddedAsTrueTypeAndReadsBack)
{
    QTemporaryDir dir;
    TPdfWriter w;
    w.CharSet = 204;
    w.Lift = 0;
    w.SubmitPdfCommand(Text(QStringLiteral("Итого за месяц: 1 234,50 ₽№"), 50, 100));
    w.SubmitPdfCommand(Text(QStringLiteral("Plain Latin"), 50, 140, QStringLiteral("Times New Roman")));
    w.SubmitPdfCommand(Text(QStringLiteral("Жирный"), 50, 180, QStringLiteral("Arial"), true));
    EXPECT_EQ(w.TrueTypeList, QStringList({QStringLiteral("Arial")}));
    const QString path = Save(w, dir);
    QString report;
    EXPECT_TRUE(QpdfClean(path, &report)) << report.toStdString();
    const QString text = PdfText(path);
    // The rouble sign has no place in code page 1251: it becomes "?".
    EXPECT_TRUE(text.contains(QStringLiteral("Итого за месяц: 1 234,50 ?№"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Plain Latin")));
    EXPECT_TRUE(text.contains(QStringLiteral("Жирный")));
    const QString fonts = RunPdfTool(QStringLiteral("pdffonts"), {path}).Output;
    EXPECT_TRUE(fonts.contains(QRegularExpression(QStringLiteral("Arial\\s+TrueType\\s+Custom\\s+yes"))))
        << fonts.toStdString();
    EXPECT_TRUE(fonts.contains(QRegularExpression(QStringLiteral("Times-Roman\\s+Type 1\\s+WinAnsi\\s+no"))));

    const QByteArray pdf = ReadAll(path);
    ExpectExactOffsets(pdf);
    EXPECT_TRUE(pdf.contains("/FirstChar 0\r\n/LastChar 255\r\n/Widths [ \r\n"));
    const qsizetype at = pdf.indexOf("/Widths [ \r\n") + 12;
    const QList<QByteArray> widths = pdf.mid(at, pdf.indexOf("]", at) - at).simplified().split(' ');
    EXPECT_EQ(widths.size(), 256);
    // Liberation Sans: "A" and the Cyrillic "А" (0xC0 in 1251) are 667
    // thousandths of the em wide, the space 278.
    EXPECT_EQ(widths[65], "667");
    EXPECT_EQ(widths[0xC0], "667");
    EXPECT_EQ(widths[32], "278");
    EXPECT_TRUE(pdf.contains("/afii10017/afii10018"));

    // The text is drawn: dark pixels where the first line stands.
    const QImage page = RenderPdfPage(path);
    int dark = 0;
    for (int x = 50; x < 250; ++x)
        for (int y = 90; y < 100; ++y)
            dark += page.pixelColor(x, y).lightness() < 100;
    EXPECT_GT(dark, 100);
}

TEST(PdfWriter, ShapesDrawWhereAndAsAsked)
{
    QTemporaryDir dir;
    TPdfWriter w;
    w.Lift = 0;
    const TPdfRgb red{255, 0, 0}, blue{0, 0, 255}, green{0, 160, 0};
    w.SubmitPdfCommand(Shape(TPdfShapeKind::Rectangle, 50, 100, 100, 50, {}, true, red));
    w.SubmitPdfCommand(Shape(TPdfShapeKind::Rectangle, 200, 100, 100, 50, blue));
    w.SubmitPdfCommand(Shape(TPdfShapeKind::Ellipse, 50, 200, 100, 60, green));
    w.SubmitPdfCommand(Shape(TPdfShapeKind::RoundRect, 200, 200, 160, 80, blue, true, red));
    w.SubmitPdfCommand(Shape(TPdfShapeKind::HorLine, 50, 300, 100, 20, red));
    w.SubmitPdfCommand(Shape(TPdfShapeKind::VertLine, 200, 300, 20, 100, red));
    w.SubmitPdfCommand(Shape(TPdfShapeKind::TopAndBottom, 300, 300, 100, 40, green));
    const QString path = Save(w, dir);
    KeepForLooking(path, QStringLiteral("shapes.pdf"));
    EXPECT_TRUE(QpdfClean(path));
    const QImage p = RenderPdfPage(path);
    ASSERT_EQ(p.size(), QSize(595, 840));
    // Shapes span Y to Y + H from the top.
    EXPECT_TRUE(PixelNear(p, 100, 125, Qt::red)); // filled rectangle
    EXPECT_TRUE(PixelNear(p, 100, 95, Qt::white));
    EXPECT_TRUE(PixelNear(p, 250, 100, Qt::blue)); // outline: top edge
    EXPECT_TRUE(PixelNear(p, 250, 125, Qt::white)); // ... and nothing inside
    EXPECT_TRUE(PixelNear(p, 100, 200, QColor(0, 160, 0))); // ellipse: top centre
    EXPECT_TRUE(PixelNear(p, 150, 230, QColor(0, 160, 0))); // right centre
    EXPECT_TRUE(PixelNear(p, 52, 202, Qt::white)); // its box's corner stays empty
    EXPECT_TRUE(PixelNear(p, 280, 240, Qt::red)); // rounded rectangle filled
    EXPECT_TRUE(PixelNear(p, 280, 200, Qt::blue)); // its top edge
    EXPECT_TRUE(PixelNear(p, 200, 200, Qt::white)); // a rounded corner, not a square one
    EXPECT_TRUE(PixelNear(p, 100, 310, Qt::red)); // horizontal line at half height
    EXPECT_TRUE(PixelNear(p, 100, 300, Qt::white));
    EXPECT_TRUE(PixelNear(p, 210, 350, Qt::red)); // vertical line at half width
    EXPECT_TRUE(PixelNear(p, 350, 300, QColor(0, 160, 0))); // top and bottom
    EXPECT_TRUE(PixelNear(p, 350, 340, QColor(0, 160, 0)));
    EXPECT_TRUE(PixelNear(p, 350, 320, Qt::white));
}

TEST(PdfWriter, ImagesShowTheirPixelsPlainOrRunLengthEncoded)
{
    for (bool compress : {false, true}) {
        QTemporaryDir dir;
        TPdfWriter w;
        w.Lift = 0;
        w.CompressImages = compress;
        QImage image(4, 2, QImage::Format_RGB32);
        image.fill(Qt::blue);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 2; ++x)
                image.setPixelColor(x, y, Qt::red);
        TPdfCommand c;
        c.Kind = TPdfCommandKind::Image;
        c.X = 100;
        c.Y = 300; // bottom edge
        c.Width = 4, c.Height = 2;
        c.ScaleX = c.ScaleY = 25; // 100 x 50 points
        c.PixelWidth = 4, c.PixelHeight = 2;
        c.ImageData = EncodePdfImage(image, compress);
        w.SubmitPdfImageCommand(c);
        const QString path = Save(w, dir);
        QString report;
        EXPECT_TRUE(QpdfClean(path, &report)) << report.toStdString();
        const QImage p = RenderPdfPage(path);
        EXPECT_TRUE(PixelNear(p, 120, 275, Qt::red)) << compress;
        EXPECT_TRUE(PixelNear(p, 180, 275, Qt::blue)) << compress;
        EXPECT_TRUE(PixelNear(p, 150, 245, Qt::white)) << compress; // above the top edge
    }
}

TEST(PdfWriter, EmptyDocumentIsOneValidBlankPage)
{
    QTemporaryDir dir;
    TPdfWriter w;
    const QString path = Save(w, dir);
    QString report;
    EXPECT_TRUE(QpdfClean(path, &report)) << report.toStdString();
    EXPECT_TRUE(PdfInfo(path).contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\n"))));
    EXPECT_EQ(w.PageCount(), 1);
}

TEST(PdfWriter, PagesFollowNewPageCommands)
{
    QTemporaryDir dir;
    TPdfWriter w;
    for (int i = 1; i <= 3; ++i) {
        if (i > 1) {
            TPdfCommand c;
            c.Kind = TPdfCommandKind::NewPage;
            w.SubmitPdfCommand(c);
        }
        w.SubmitPdfCommand(Text(QStringLiteral("Page%1").arg(i), 50, 100));
    }
    const QString path = Save(w, dir);
    const QByteArray pdf = ReadAll(path);
    EXPECT_TRUE(pdf.contains("/Kids [4 0 R 6 0 R 8 0 R]"));
    ExpectExactOffsets(pdf);
    EXPECT_TRUE(QpdfClean(path));
    const QString text = PdfText(path);
    EXPECT_LT(text.indexOf(QStringLiteral("Page1")), text.indexOf(QStringLiteral("Page2")));
    EXPECT_LT(text.indexOf(QStringLiteral("Page2")), text.indexOf(QStringLiteral("Page3")));
    EXPECT_EQ(text.count(u'\f'), 3);
}

TEST(PdfWriter, FailedWriteKeepsTheOldFileAndHostStreamGetsTheDocument)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.pdf"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old contents");
    }
    TFaultEnv env;
    env.SetNow(QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7)));
    TSysEnvScope scope(env);
    TPdfWriter w;
    w.SubmitPdfCommand(Text(QStringLiteral("new"), 10, 10));
    env.FailCall(TSysOp::Write, 1, ENOSPC, true);
    EXPECT_THROW(w.WritePdfDocument(path), Exception);
    EXPECT_EQ(ReadAll(path), QByteArray("old contents"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({QStringLiteral("old.pdf")}));
    env.Heal();

    TMemoryStream stream;
    w.OutputStream = &stream;
    w.Subject = QStringLiteral("Report");
    w.WritePdfDocument(QString());
    const QByteArray written(reinterpret_cast<const char *>(stream.Memory()), stream.Size());
    EXPECT_TRUE(written.startsWith("%PDF-1.3"));
    EXPECT_TRUE(written.contains("/CreationDate (D:20260304050607)"));
    EXPECT_TRUE(written.contains("/Subject (Report )\r\n")); // the subject, then a blank
    ExpectExactOffsets(written);
}

TEST(PdfWriter, CustomWidthsMustNameEveryCode)
{
    TPdfWriter w;
    w.TrueTypeList = {QStringLiteral("Arial")};
    w.CustomWidths.Add(QStringLiteral("Arial-bold"), QStringLiteral("500 500 500"));
    w.SubmitPdfCommand(Text(QStringLiteral("x"), 0, 0, QStringLiteral("Arial"), true));
    try {
        w.BuildPdfDocument();
        FAIL() << "no error";
    } catch (const ERangeError &e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Not enough Custom widths (3 < 256) for font \"Arial\"  "));
    }
    QStringList many;
    for (int i = 0; i < 256; ++i)
        many << QString::number(i);
    TPdfWriter w2;
    w2.TrueTypeList = {QStringLiteral("Arial")};
    w2.CustomWidths.Add(QStringLiteral("Arial"), many.join(u' '));
    w2.CustomEncodings.Add(QStringLiteral("Arial"), QStringLiteral("65 /B"));
    w2.SubmitPdfCommand(Text(QStringLiteral("A"), 0, 0));
    const QByteArray pdf = w2.BuildPdfDocument();
    EXPECT_TRUE(pdf.contains("\r\n0 1 2 3 ") && pdf.contains(" 254 255  ]\r\n"));
    EXPECT_TRUE(pdf.contains("/Encoding  <</Type/Encoding /Differences [ 65 /B ]>>"));
}

TEST(PdfFonts, GlyphTableCodePagesAndFontProgramReads)
{
    // The table is ordered by name, names each Unicode value once, from 32 up.
    QSet<unsigned> seen;
    for (int i = 0; i < PdfGlyphNameCount; ++i) {
        if (i > 0) {
            EXPECT_LT(qstrcmp(PdfGlyphNames[i - 1].Name, PdfGlyphNames[i].Name), 0) << PdfGlyphNames[i].Name;
        }
        EXPECT_GE(PdfGlyphNames[i].Unicode, 32);
        EXPECT_FALSE(seen.contains(PdfGlyphNames[i].Unicode)) << PdfGlyphNames[i].Name;
        seen.insert(PdfGlyphNames[i].Unicode);
    }
    EXPECT_EQ(PdfGlyphName(u'А'), QStringLiteral("afii10017"));
    EXPECT_EQ(PdfGlyphName(u'я'), QStringLiteral("afii10097"));
    EXPECT_EQ(PdfGlyphName(u'A'), QStringLiteral("A"));
    EXPECT_EQ(PdfGlyphName(u'€'), QStringLiteral("Euro"));
    EXPECT_TRUE(PdfGlyphName(u'\x4E00').isEmpty());

    EXPECT_EQ(PdfCodePageOfCharSet(204), 1251);
    EXPECT_EQ(PdfCodePageOfCharSet(238), 1250);
    EXPECT_EQ(PdfCodePageOfCharSet(0), 1252);
    EXPECT_EQ(PdfCodePageOfCharSet(1), 1252);

    const QByteArray bytes("\x01\x02\x03\x04\x05", 5);
    EXPECT_EQ(ReadBigEndian16(bytes, 3), 0x0405u);
    EXPECT_EQ(ReadBigEndian32(bytes, 1), 0x02030405u);
    EXPECT_THROW(ReadBigEndian16(bytes, 4), ERangeError);
    EXPECT_THROW(ReadBigEndian32(bytes, 2), ERangeError);
    EXPECT_THROW(ReadBigEndian16(bytes, -1), ERangeError);

    QStringList list{QStringLiteral("old")};
    SplitPdfList(QStringLiteral(" a : b ::c "), u':', list);
    EXPECT_EQ(list, QStringList({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));

    // An embedded italic font: its slant in degrees, its box in thousandths.
    TPdfWriter w;
    w.CharSet = 204;
    const TPdfTrueTypeFont italic = w.PrepareTrueTypeFont(QStringLiteral("Arial"), QStringLiteral("bold, italic"));
    EXPECT_LT(italic.ItalicAngle, -5);
    EXPECT_GT(italic.Ascent, 800);
    EXPECT_LT(italic.Descent, -150);
    EXPECT_LT(italic.BBox[0], 0);
    EXPECT_GT(italic.BBox[2], 900);
    EXPECT_LT(italic.BBox[2], 2000);
    const TPdfTrueTypeFont plain = w.PrepareTrueTypeFont(QStringLiteral("Arial"), QString());
    EXPECT_EQ(plain.ItalicAngle, 0);
    EXPECT_NE(plain.Program, italic.Program);
}
