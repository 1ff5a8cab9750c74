// The extra printables on a real report: what the preview draws, what the
// PDF writer draws, and which writers each of them is handed to.
#include "export/RepImgCtrl.h"

#include "export/ExportHtml.h"

#include "export/RepPDFFilt.h"
#include "PdfReportSupport.h"

#include <QBuffer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace zorbel;
using namespace zorbel::test;

namespace {

// Notes what it is handed; its dialog name decides which writer it poses as.
class NotingFilter : public TRepExportFilter {
public:
    NotingFilter(const QString &dialogName) : TRepExportFilter(QString()), name_(dialogName) {}
    QString GetDialogName() const override { return name_; }
    QStringList Graphics, Texts;
    void PutGraphic(TRepPrintable &control, double, double) override
    {
        Graphics << (dynamic_cast<TRepHRule *>(&control)      ? QStringLiteral("TRepHRule")
                     : dynamic_cast<TRepPDFShape *>(&control) ? QStringLiteral("TRepPDFShape")
                     : dynamic_cast<TRepGrImage *>(&control)  ? QStringLiteral("TRepGrImage")
                                                              : QStringLiteral("other"));
    }
    void PutText(double, double, const QFont &, TColor, unsigned, TAlignment, const QString &text) override
    {
        Texts << text;
    }

private:
    QString name_;
};

// Device pixels of the preview (96 per inch) of a position in 0.1 mm.
int Px(double tenths) { return int(std::lround(tenths * ScreenPixelsPerInch / 254.0)); }

template <class T> T &Place(TRepBand &band, double left, double top, double width, double height)
{
    T &c = band.Add(std::make_unique<T>());
    c.Size.Values[TRepPrintableSize::iLeft] = left;
    c.Size.Values[TRepPrintableSize::iTop] = top;
    c.Size.Values[TRepPrintableSize::iWidth] = width;
    c.Size.Values[TRepPrintableSize::iHeight] = height;
    return c;
}

TRepPicture Picture(const QImage &image)
{
    TRepPicture p;
    p.Bitmap = image;
    return p;
}

QImage HalfRedHalfBlue(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::blue);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w / 2; ++x)
            image.setPixelColor(x, y, Qt::red);
    return image;
}

QString ExportPdf(ListReport &r, const QTemporaryDir &dir, const QString &name)
{
    const QString path = dir.filePath(name);
    TRepPDFDocumentFilter filter(path);
    r.report.ExportToFilter(filter);
    KeepForLooking(path, name);
    return path;
}

// The report written by the HTML writer: the document's text.
QString ExportHtml(ListReport &r, const QTemporaryDir &dir, const QString &name)
{
    const QString path = dir.filePath(name);
    TRepGHTMLDocumentFilter filter(path);
    r.report.ExportToFilter(filter);
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QString::fromUtf8(f.readAll());
}

} // namespace

TEST(ExtraPrintables, RulesAndPdfShapesDrawAndReachOnlyTheirWriters)
{
    QTemporaryDir dir;
    ListReport r;
    r.Rows(1);
    TRepBand &band = r.Add(rbDetail, 400);
    auto &rule = Place<TRepHRule>(band, 100, 50, 500, 40);
    rule.Pen.Color = clRed;
    rule.Pen.Width = 3;
    auto &circle = Place<TRepPDFShape>(band, 800, 0, 300, 200);
    circle.ShapeType = TRepShape::qrsCircle;
    circle.Pen.Color = clBlue;
    circle.Pen.Width = 2;
    circle.Brush.Style = TBrushStyle::bsClear;
    auto &round = Place<TRepPDFShape>(band, 1200, 0, 400, 200);
    round.ShapeType = TRepShape::qrsRoundRect;
    round.Brush.Color = clLime;
    round.Pen.Color = clGreen;
    r.Run();

    // The preview: the rule at half its height, the circle, no rounded rectangle.
    const QImage preview = PreviewPage(r.printer(), 1);
    KeepForLooking(preview, QStringLiteral("shapes-preview.png"));
    const int top = 100; // the band starts at the top margin
    EXPECT_TRUE(PixelAround(preview, Px(100 + 100 + 250), Px(top + 50 + 20), Qt::red));
    EXPECT_TRUE(PixelNear(preview, Px(100 + 100 + 250), Px(top + 50 + 5), Qt::white));
    EXPECT_TRUE(PixelAround(preview, Px(100 + 800 + 150), Px(top), Qt::blue));
    EXPECT_TRUE(PixelNear(preview, Px(100 + 1200 + 200), Px(top + 100), Qt::white));

    // The PDF has all three, the rounded one filled with rounded corners.
    const QString path = ExportPdf(r, dir, QStringLiteral("shapes-report.pdf"));
    ASSERT_TRUE(QpdfClean(path));
    const QImage pdf = RenderPdfPage(path, 1, 96); // one pixel per preview pixel
    KeepForLooking(pdf, QStringLiteral("shapes-report.png"));
    EXPECT_TRUE(PixelAround(pdf, Px(100 + 100 + 250), Px(top + 50 + 20), Qt::red));
    EXPECT_TRUE(PixelAround(pdf, Px(100 + 800 + 150), Px(top), Qt::blue));
    EXPECT_TRUE(PixelNear(pdf, Px(100 + 800 + 150), Px(top + 100), Qt::white));
    EXPECT_TRUE(PixelNear(pdf, Px(100 + 1200 + 200), Px(top + 100), Qt::green));
    EXPECT_TRUE(PixelNear(pdf, Px(100 + 1200) + 1, Px(top) + 1, Qt::white));

    // Writers: the HTML writer gets the rule (its only rule), no other gets either.
    const QString html = ExportHtml(r, dir, QStringLiteral("rules.htm"));
    EXPECT_EQ(html.count(QStringLiteral("<hr ")), 1) << html.toStdString();
    EXPECT_TRUE(html.contains(QStringLiteral("size=\"3\" color=\"#FF0000\"")));
    NotingFilter csv(QStringLiteral("Comma separated"));
    r.report.ExportToFilter(csv);
    EXPECT_FALSE(csv.Graphics.contains(QStringLiteral("TRepHRule")));
    EXPECT_FALSE(csv.Graphics.contains(QStringLiteral("TRepPDFShape")));
}

TEST(ExtraPrintables, PicturesStretchOrClipOnThePreviewAndInThePdf)
{
    QTemporaryDir dir;
    ListReport r;
    r.Rows(1);
    TRepBand &band = r.Add(rbDetail, 600);
    auto &stretched = Place<TRepGrImage>(band, 0, 0, 400, 200);
    stretched.SetPicture(Picture(HalfRedHalfBlue(8, 4)));
    stretched.Stretch = true;
    auto &clipped = Place<TRepGrImage>(band, 800, 0, 400, 200);
    clipped.SetPicture(Picture(HalfRedHalfBlue(20, 10))); // smaller than the control
    clipped.ClipImage = true;
    EXPECT_TRUE(clipped.Transparent);
    r.Run();

    const QImage preview = PreviewPage(r.printer(), 1);
    const int top = 100, left = 100;
    EXPECT_TRUE(PixelNear(preview, Px(left + 100), Px(top + 100), Qt::red));
    EXPECT_TRUE(PixelNear(preview, Px(left + 300), Px(top + 100), Qt::blue));
    // Natural size: 20 x 10 screen pixels from the top-left corner.
    EXPECT_TRUE(PixelNear(preview, Px(left + 800) + 5, Px(top) + 5, Qt::red));
    EXPECT_TRUE(PixelNear(preview, Px(left + 800) + 15, Px(top) + 5, Qt::blue));
    EXPECT_TRUE(PixelNear(preview, Px(left + 800) + 30, Px(top) + 5, Qt::white));

    const QString path = ExportPdf(r, dir, QStringLiteral("pictures.pdf"));
    QString report;
    ASSERT_TRUE(QpdfClean(path, &report)) << report.toStdString();
    const QImage pdf = RenderPdfPage(path, 1, 96);
    EXPECT_TRUE(PixelNear(pdf, Px(left + 100), Px(top + 100), Qt::red));
    EXPECT_TRUE(PixelNear(pdf, Px(left + 300), Px(top + 100), Qt::blue));
    EXPECT_TRUE(PixelNear(pdf, Px(left + 200), Px(top) - 3, Qt::white));
    EXPECT_TRUE(PixelNear(pdf, Px(left + 800) + 5, Px(top) + 5, Qt::red));
    EXPECT_TRUE(PixelNear(pdf, Px(left + 800) + 15, Px(top) + 5, Qt::blue));

    // Pictures go to every writer: the HTML writer saves them as JPEG files.
    const QString html = ExportHtml(r, dir, QStringLiteral("pictures.htm"));
    EXPECT_EQ(html.count(QStringLiteral("<img src=")), 2) << html.toStdString();
    const QRegularExpression src(QStringLiteral("<img src=\"([^\"]+)\""));
    for (auto it = src.globalMatch(html); it.hasNext();) {
        const QImage jpeg(dir.filePath(it.next().captured(1)));
        EXPECT_FALSE(jpeg.isNull());
        EXPECT_TRUE(PixelNear(jpeg, 2, jpeg.height() / 2, Qt::red, 70));
    }
    NotingFilter csv(QStringLiteral("Comma separated"));
    r.report.ExportToFilter(csv);
    EXPECT_EQ(csv.Graphics.count(QStringLiteral("TRepGrImage")), 2);
}

namespace {

QByteArray Png(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A table "Pics" whose first record holds a 200 x 100 picture, red left, blue right.
void OpenPictureTable(TVemtMemTable &table)
{
    table.SetName(QStringLiteral("Pics"));
    table.FieldDefs().Add(QStringLiteral("pic"), ftBlob);
    table.Open();
    table.Append();
    table.FieldByName(QStringLiteral("pic"))->SetAsString(QString::fromLatin1(Png(HalfRedHalfBlue(200, 100))));
    table.Post();
}

} // namespace

TEST(ExtraPrintables, FieldPicturesKeepTheirRatioAndEmptyFieldsWriteNothing)
{
    QTemporaryDir dir;
    TVemtMemTable table;
    OpenPictureTable(table);
    table.Append();
    table.Post(); // no picture

    ListReport r;
    r.report.DataSets = {&table};
    r.report.MainController.DataSet = &table;
    TRepBand &band = r.Add(rbDetail, 1500); // one record a page
    auto &image = Place<TRepGrDBImage>(band, 0, 0, 600, 1000);
    image.DataSet = &table;
    image.DataField = QStringLiteral("pic");
    image.FitMode = TFitMode::fmKeepWidth;
    r.Run();
    ASSERT_EQ(r.printer().RecordedPages(), 2);

    // Width 600 tenths, height 600 / 2 = 300 whatever the control's 1000.
    const QImage preview = PreviewPage(r.printer(), 1);
    const int top = 100, left = 100;
    EXPECT_TRUE(PixelNear(preview, Px(left + 100), Px(top + 250), Qt::red));
    EXPECT_TRUE(PixelNear(preview, Px(left + 500), Px(top + 250), Qt::blue));
    EXPECT_TRUE(PixelNear(preview, Px(left + 300), Px(top + 400), Qt::white));

    const QString path = ExportPdf(r, dir, QStringLiteral("field-pictures.pdf"));
    ASSERT_TRUE(QpdfClean(path));
    const QImage pdf = RenderPdfPage(path, 1, 96);
    EXPECT_TRUE(PixelNear(pdf, Px(left + 100), Px(top + 250), Qt::red));
    EXPECT_TRUE(PixelNear(pdf, Px(left + 500), Px(top + 250), Qt::blue));
    EXPECT_TRUE(PixelNear(pdf, Px(left + 300), Px(top + 400), Qt::white));

    // The second record's empty field: nothing on its page.
    TRepPDFDocumentFilter filter{QString()};
    filter.OutputName = dir.filePath(QStringLiteral("again.pdf"));
    r.report.ExportToFilter(filter);
    ASSERT_EQ(filter.Writer().PageCount(), 2);
    EXPECT_TRUE(filter.Writer().PageGraphicsLines(0).contains(QStringLiteral("BI")));
    EXPECT_FALSE(filter.Writer().PageGraphicsLines(1).contains(QStringLiteral("BI")));

    // Without a field of that name the picture is not drawn at all.
    image.DataField = QStringLiteral("missing");
    r.Run();
    EXPECT_TRUE(PixelNear(PreviewPage(r.printer(), 1), Px(left + 100), Px(top + 250), Qt::white));
}

TEST(ExtraPrintables, AFieldPictureThatDoesNotStretchFitsItsBoxInProportionCentred)
{
    QTemporaryDir dir;
    TVemtMemTable table;
    OpenPictureTable(table);

    ListReport r;
    r.report.DataSets = {&table};
    r.report.MainController.DataSet = &table;
    TRepBand &band = r.Add(rbDetail, 1500);
    auto &image = Place<TRepDBImage>(band, 0, 0, 600, 1000);
    image.DataSet = &table;
    image.DataField = QStringLiteral("pic");
    image.Stretch = false;

    // PDF: 600 wide, 300 high, 350 down from the box's top.
    const QString path = ExportPdf(r, dir, QStringLiteral("db-picture.pdf"));
    ASSERT_TRUE(QpdfClean(path));
    const QImage pdf = RenderPdfPage(path, 1, 96);
    const int top = 100, left = 100;
    EXPECT_TRUE(PixelNear(pdf, Px(left + 100), Px(top + 500), Qt::red));
    EXPECT_TRUE(PixelNear(pdf, Px(left + 500), Px(top + 500), Qt::blue));
    EXPECT_TRUE(PixelNear(pdf, Px(left + 585), Px(top + 500), Qt::blue)); // its own 200 pixels end before
    EXPECT_TRUE(PixelNear(pdf, Px(left + 300), Px(top + 200), Qt::white));
    EXPECT_TRUE(PixelNear(pdf, Px(left + 300), Px(top + 800), Qt::white));

    // HTML: the picture file holds the fitted picture, twice as wide as high.
    const QString html = ExportHtml(r, dir, QStringLiteral("db-picture.htm"));
    const QRegularExpression img(QStringLiteral("<img src=\"([^\"]+)\" width=(\\d+) height=(\\d+)>"));
    const QRegularExpressionMatch m = img.match(html);
    ASSERT_TRUE(m.hasMatch()) << html.toStdString();
    const int w = m.captured(2).toInt(), h = m.captured(3).toInt();
    EXPECT_NEAR(w, Px(600), 1);
    EXPECT_NEAR(h, w / 2, 1);
    QImage jpeg(dir.filePath(m.captured(1)));
    ASSERT_FALSE(jpeg.isNull());
    EXPECT_EQ(jpeg.size(), QSize(w, h));
    EXPECT_TRUE(PixelNear(jpeg, w / 4, h / 2, Qt::red));
    EXPECT_TRUE(PixelNear(jpeg, 3 * w / 4, h / 2, Qt::blue));
}

TEST(ExtraPrintables, HtmlLabelsFollowTheirNameAndPrintTheirCaption)
{
    ListReport r;
    r.Rows(1);
    TRepBand &band = r.Add(rbDetail, 300);
    auto &label = Place<TRepHTMLLabel>(band, 100, 50, 800, 60);
    label.SetName(QStringLiteral("Label1"));
    EXPECT_EQ(label.Caption(), QStringLiteral("Label1"));
    label.SetName(QStringLiteral("Label2"));
    EXPECT_EQ(label.Caption(), QStringLiteral("Label2"));
    label.SetCaption(QStringLiteral("a\r\nb"));
    EXPECT_EQ(label.Lines(), QStringList({QStringLiteral("a"), QStringLiteral("b")}));
    label.SetCaption(QStringLiteral("Сайт семьи"));
    label.SetName(QStringLiteral("Link"));
    EXPECT_EQ(label.Caption(), QStringLiteral("Сайт семьи"));
    label.LinkText = QStringLiteral("https://example.org/");
    r.Run();

    bool found = false;
    for (const PageText &t : TextsOf(r.printer(), 1))
        found = found || (t.Text == QStringLiteral("Сайт семьи") && std::abs(t.X - 200) < 5);
    EXPECT_TRUE(found);

    // The HTML writer shows the caption as the link; no other writer gets it.
    QTemporaryDir dir;
    const QString html = ExportHtml(r, dir, QStringLiteral("label.htm"));
    EXPECT_TRUE(html.contains(QStringLiteral("<a href=\"https://example.org/\">Сайт&nbsp;семьи</a>")))
        << html.toStdString();
    EXPECT_FALSE(html.contains(QStringLiteral("%!")));
    // Targets are URLs: blanks and Cyrillic percent-encoded, not entities;
    // an anchor's own name stays text.
    label.LinkText = QStringLiteral("https://example.org/мои файлы/a b.html?x=1&y=2");
    r.Run();
    EXPECT_TRUE(ExportHtml(r, dir, QStringLiteral("url.htm"))
                    .contains(QStringLiteral("<a href=\"https://example.org/%D0%BC%D0%BE%D0%B8%20%D1%84%D0%B0%D0%B9%D0%BB%D1%8B/"
                                             "a%20b.html?x=1&amp;y=2\">")));
    label.LinkText = QStringLiteral("глава \"1\"");
    label.LinkType = TLinkDef::ldNameJump;
    r.Run();
    EXPECT_TRUE(ExportHtml(r, dir, QStringLiteral("jump.htm"))
                    .contains(QStringLiteral("<a href=\"#%D0%B3%D0%BB%D0%B0%D0%B2%D0%B0%20%221%22\">")));
    label.LinkType = TLinkDef::ldNameLabel;
    r.Run();
    EXPECT_TRUE(ExportHtml(r, dir, QStringLiteral("name.htm")).contains(QStringLiteral("<a name=\"глава &quot;1&quot;\">")));
    label.LinkType = TLinkDef::ldHTTPJump;
    label.LinkText = QStringLiteral("https://example.org/");
    NotingFilter csv(QStringLiteral("Comma separated"));
    r.report.ExportToFilter(csv);
    EXPECT_TRUE(csv.Texts.isEmpty());
}

TEST(ExtraPrintables, HtmlLabelsTooLowPrintOnlyWhenTheBandMayGrow)
{
    ListReport r;
    r.Rows(1);
    TRepBand &band = r.Add(rbDetail, 300);
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(20); // a line of about 80 tenths
    auto &label = Place<TRepHTMLLabel>(band, 0, 0, 800, 20);
    label.AutoSize = false; // AutoSize would make the label a line high
    label.SetFont(font);
    label.SetName(QStringLiteral("Tall"));
    r.Run();
    EXPECT_TRUE(r.Texts(1).isEmpty());
    label.AutoStretch = true;
    r.Run();
    EXPECT_EQ(r.Texts(1), QStringList({QStringLiteral("Tall")}));
}

TEST(ExtraPrintables, HtmlLabelsWrapWithoutAutoSize)
{
    ListReport r;
    TRepBand &band = r.Add(rbDetail, 300);
    auto &label = Place<TRepHTMLLabel>(band, 0, 0, 0, 60);
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(10);
    label.SetFont(font);
    label.AutoSize = false;
    TCanvas measure;
    measure.Font = font;
    // Room for "one two " but not for "three".
    label.Size.Values[TRepPrintableSize::iWidth] = (measure.TextWidth(QStringLiteral("one two t")) + 1) * 254.0 / 96;
    label.SetCaption(QStringLiteral("one two three"));
    EXPECT_EQ(label.Lines(), QStringList({QStringLiteral("one two "), QStringLiteral("three")}));
    label.WordWrap = false;
    label.SetCaption(QStringLiteral("one two three"));
    EXPECT_EQ(label.Lines(), QStringList({QStringLiteral("one two ")}));
}
