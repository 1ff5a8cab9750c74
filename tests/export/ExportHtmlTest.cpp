// The HTML writer: documents parsed by Python's html.parser, pictures decoded
// by djpeg, pages and their links in multi-page mode, escaping and alignment.
#include "ExportSupport.h"
#include "export/ExportHtml.h"

#include <QFontMetricsF>
#include <QJsonArray>
#include <QJsonObject>
#include <QUrl>
#include <gtest/gtest.h>

namespace zorbel::test {
namespace {

// The elements of an HTML file: per div its style and text, per img and a
// its attributes, and the head's meta.
QJsonObject ParseHtml(const QString &file)
{
    return PythonJson(QStringLiteral(
                          "import json,sys\n"
                          "from html.parser import HTMLParser\n"
                          "class P(HTMLParser):\n"
                          "    def __init__(s):\n"
                          "        super().__init__(); s.divs=[]; s.imgs=[]; s.links=[]; s.meta=[]; s.title=''; s.t=None\n"
                          "    def handle_starttag(s, tag, attrs):\n"
                          "        a=dict(attrs)\n"
                          "        if tag=='div': s.divs.append({'style': a.get('style',''), 'text': ''})\n"
                          "        if tag=='img': s.imgs.append(a)\n"
                          "        if tag=='a': s.links.append(a)\n"
                          "        if tag=='meta': s.meta.append(a)\n"
                          "        s.t=tag\n"
                          "    def handle_endtag(s, tag):\n"
                          "        s.t=None\n"
                          "    def handle_data(s, d):\n"
                          "        if s.t=='title': s.title+=d\n"
                          "        elif s.divs: s.divs[-1]['text']+=d.strip()\n"
                          "p=P(); p.feed(open(sys.argv[1], encoding='utf-8').read())\n"
                          "print(json.dumps({'divs':p.divs,'imgs':p.imgs,'links':p.links,'meta':p.meta,'title':p.title}))"),
                      {file})
        .object();
}

// The div whose text is text; an empty object when none is.
QJsonObject DivOf(const QJsonObject &doc, const QString &text)
{
    for (const QJsonValue &d : doc.value("divs").toArray())
        if (d.toObject().value("text").toString() == text)
            return d.toObject();
    return {};
}

int StyleNumber(const QString &style, const QString &key)
{
    const qsizetype at = style.indexOf(key + QLatin1Char(':'));
    return at < 0 ? -1 : style.mid(at + key.size() + 1).section(QStringLiteral("px"), 0, 0).toInt();
}

TEST(ExportHtml, AReportIsOneDocumentOfPositionedTextsRulesAndPictures)
{
    ExportReport r(60);
    TRepGHTMLDocumentFilter html(r.Path(QStringLiteral("report.htm")));
    r.Export(html);
    const QJsonObject doc = ParseHtml(html.OutputName);
    ASSERT_FALSE(doc.isEmpty());
    EXPECT_EQ(doc.value("title").toString(), QStringLiteral("report.htm"));
    EXPECT_TRUE(doc.value("meta").toArray().first().toObject().value("content").toString().contains("charset=utf-8"));

    // Texts as the report holds them; a no-break space in the amounts is
    // what &nbsp; reads back as.
    int previousTop = -1;
    for (int i = 1; i <= 60; ++i) {
        const QJsonObject name = DivOf(doc, ExportReport::Name(i).replace(QLatin1Char(' '), QChar(0xA0)));
        ASSERT_FALSE(name.isEmpty()) << i;
        const QString style = name.value("style").toString();
        EXPECT_FALSE(style.contains(QStringLiteral("color:"))); // black writes no colour
        EXPECT_TRUE(style.contains(QStringLiteral("font-family:Liberation Sans;font-size:10pt;")));
        const int top = StyleNumber(style, QStringLiteral("top"));
        EXPECT_GT(top, previousTop); // one endless page: tops keep growing
        previousTop = top;
        EXPECT_FALSE(DivOf(doc, AmountText(ExportReport::Amount(i))).isEmpty());
        EXPECT_FALSE(DivOf(doc, ExportReport::Date(i)).isEmpty());
    }
    const QString title = DivOf(doc, QStringLiteral("Расходы\u00A0за\u00A0март")).value("style").toString();
    EXPECT_TRUE(title.contains(QStringLiteral("font-size:14pt;font-weight:bold;color:#FF0000;"))) << title.toStdString();

    // The heading's rule and the picture, written next to the document.
    const QByteArray bytes = FileBytes(html.OutputName);
    EXPECT_TRUE(bytes.contains("<hr width=\""));
    EXPECT_EQ(bytes.count("<html>"), 1);
    EXPECT_TRUE(bytes.endsWith("</body>\r\n</html>\r\n"));
    const QJsonArray imgs = doc.value("imgs").toArray();
    ASSERT_EQ(imgs.size(), 1);
    const QJsonObject img = imgs.first().toObject();
    EXPECT_EQ(img.value("src").toString(), QStringLiteral("Logo1.jpg"));
    const QString jpeg = r.Path(img.value("src").toString());
    const QByteArray ppm = RunTool(QStringLiteral("djpeg"), {jpeg});
    // P6 <width> <height> 255: the bitmap as it is (40 x 20), blue inside;
    // the picture stretches, so the document shows it over its box.
    const QList<QByteArray> head = ppm.left(20).split('\n');
    ASSERT_GE(head.size(), 2);
    EXPECT_EQ(head[1], QByteArray("40 20"));
    EXPECT_NEAR(img.value("width").toString().toInt(), 76, 1); // 200 tenths at 96 dpi
    EXPECT_NEAR(img.value("height").toString().toInt(), 38, 1);
    const qsizetype middle = ppm.size() - 3 * (40 * 20 / 2);
    EXPECT_LT(uchar(ppm[middle]), 30);
    EXPECT_GT(uchar(ppm[middle + 2]), 220);
}

TEST(ExportHtml, TextIsEscapedAndPlacedByItsAlignment)
{
    TRepGHTMLDocumentFilter html{QString()}; // a memory document
    QFont f(QStringLiteral("Liberation Serif"));
    f.setPointSize(12);
    f.setItalic(true);
    html.BeginDocument(2100, 2970, f);
    html.FinishPage();
    html.BeginNextPage();
    const double x = 300 * 254.0 / 96; // 300 pixels
    html.PutText(x, 0, f, clBlack, clWhite, TAlignment::taLeftJustify, QStringLiteral("a<b & c"));
    html.PutText(x, 100, f, RGB(255, 0, 0), clWhite, TAlignment::taRightJustify, QStringLiteral("Итого"));
    html.PutText(x, 200, f, RGB(0, 128, 255), clWhite, TAlignment::taCenter, QStringLiteral("Итого"));
    html.FinishPage();
    html.EndDocument();
    const QString out = QString::fromUtf8(html.MemoryOutput);
    EXPECT_TRUE(out.contains(QStringLiteral("\r\na&lt;b&nbsp;&amp;&nbsp;c\r\n</DIV>\r\n")));
    QFont px = f;
    px.setPixelSize(FontPixelHeight(f));
    const int width = int(std::lround(QFontMetricsF(px).horizontalAdvance(QStringLiteral("Итого"))));
    ASSERT_GT(width, 10);
    EXPECT_TRUE(out.contains(QStringLiteral("top:0px;left:300px;font-family:Liberation Serif;font-size:12pt;"
                                            "font-style:italic;\">")));
    EXPECT_TRUE(out.contains(QStringLiteral("left:%1px;font-family:Liberation Serif;font-size:12pt;font-style:italic;"
                                            "color:#FF0000;\">")
                                 .arg(300 - width)));
    EXPECT_TRUE(out.contains(QStringLiteral("left:%1px;font-family:Liberation Serif;font-size:12pt;font-style:italic;"
                                            "color:#0080FF;\">")
                                 .arg(300 - width / 2)));
    EXPECT_EQ(HTMLColorText(clSystemColor | 5), QStringLiteral("#000000"));
}

TEST(ExportHtml, AnEmptyReportWritesTheHeadAndTailOnly)
{
    TRepGHTMLDocumentFilter html{QString()};
    html.BeginDocument(2100, 2970, QFont());
    html.FinishPage();
    html.BeginNextPage();
    html.FinishPage();
    html.EndDocument();
    EXPECT_EQ(html.MemoryOutput, QByteArray("<html>\r\n<head>\r\n <meta http-equiv=\"Content-Type\" content=\"text/html; "
                                            "charset=utf-8\">\r\n <title></title>\r\n</head>\r\n<body  "
                                            "bgcolor=\"#FFFFFF\" >\r\n</body>\r\n</html>\r\n"));
}

TEST(ExportHtml, PagesAreFilesBesideTheDocumentLinkedInOrder)
{
    ExportReport r(60);
    r.report.CreateReport();
    ASSERT_EQ(r.printer.RecordedPages(), 2);
    // A folder with a dot in its name: pages are named after the file, not
    // after the path's first dot.
    QDir(r.dir.path()).mkdir(QStringLiteral("v1.2"));
    const QString folder = r.Path(QStringLiteral("v1.2"));
    TRepGHTMLDocumentFilter html(folder + QStringLiteral("/report.htm"));
    HTMLOptions().MultiPage = true;
    HTMLOptions().PageLinks = true;
    r.report.ExportToFilter(html);
    HTMLOptions().MultiPage = HTMLOptions().PageLinks = false;

    EXPECT_EQ(FilesIn(folder), (QStringList{"Logo1.jpg", "report1.html", "report2.html"}));
    const QJsonObject first = ParseHtml(folder + QStringLiteral("/report1.html"));
    const QJsonObject second = ParseHtml(folder + QStringLiteral("/report2.html"));
    EXPECT_EQ(first.value("title").toString(), QStringLiteral("report1.html"));
    EXPECT_EQ(first.value("links").toArray(), QJsonArray({QJsonObject{{"href", "report2.html"}}}));
    EXPECT_EQ(second.value("links").toArray(), QJsonArray({QJsonObject{{"href", "report1.html"}}}));
    EXPECT_TRUE(FileBytes(folder + QStringLiteral("/report1.html")).contains(">Next page</a>"));
    EXPECT_TRUE(FileBytes(folder + QStringLiteral("/report2.html")).contains(">Previous page</a>"));
    EXPECT_FALSE(DivOf(first, ExportReport::Name(1).replace(QLatin1Char(' '), QChar(0xA0))).isEmpty());
    EXPECT_TRUE(DivOf(first, ExportReport::Name(60).replace(QLatin1Char(' '), QChar(0xA0))).isEmpty());
    EXPECT_FALSE(DivOf(second, ExportReport::Name(60).replace(QLatin1Char(' '), QChar(0xA0))).isEmpty());
    EXPECT_EQ(second.value("imgs").toArray().size(), 0); // the picture is on the title page
    EXPECT_EQ(FilesIn(r.dir.path()), QStringList()); // nothing beside the folder
}

// A control that shows a picture through StretchPicture only, as controls of
// other libraries do.
class PaintedPicture : public TRepPrintable {
public:
    void StretchPicture(TCanvas &canvas, const QRect &rect) override
    {
        canvas.Brush.Style = TBrushStyle::bsSolid;
        canvas.Brush.Color = clRed;
        canvas.FillRect(rect);
    }
};

TEST(ExportHtml, PageFilesAreNamedFromTheNameBeforeItsFirstDotAndBitmapsKeepTheirSize)
{
    QTemporaryDir dir;
    TRepGHTMLDocumentFilter html(dir.filePath(QStringLiteral("report.v2.htm")));
    HTMLOptions().MultiPage = true;
    html.BeginDocument(2100, 2970, QFont());
    html.FinishPage();
    html.BeginNextPage();
    // A bitmap that does not stretch: the file holds it as it is, shown at its size.
    TRepImage logo;
    logo.Name = QStringLiteral("Logo");
    logo.Picture.Bitmap = QImage(30, 10, QImage::Format_RGB32);
    logo.Picture.Bitmap.fill(Qt::green);
    ExportReport::Place(logo, 0, 0, 80, 60);
    html.PutGraphic(logo, 10, 20);
    html.FinishPage();
    html.BeginNextPage();
    html.FinishPage();
    html.EndDocument();
    HTMLOptions().MultiPage = false;
    EXPECT_EQ(FilesIn(dir.path()), (QStringList{"Logo1.jpg", "report1.html", "report2.html"}));
    EXPECT_TRUE(FileBytes(dir.filePath(QStringLiteral("report1.html")))
                    .contains("<img src=\"Logo1.jpg\" width=30 height=10></div>"));
    EXPECT_EQ(QImage(dir.filePath(QStringLiteral("Logo1.jpg"))).size(), QSize(30, 10));
}

TEST(ExportHtml, PicturesGoIntoTheirFolderBesideTheDocumentAndOthersAreSkipped)
{
    QTemporaryDir dir;
    TRepGHTMLDocumentFilter html(dir.filePath(QStringLiteral("doc.htm")));
    HTMLOptions().PictureDir = QStringLiteral("pics");
    html.BeginDocument(2100, 2970, QFont());
    html.FinishPage();
    html.BeginNextPage();
    PaintedPicture painted;
    painted.Name = QStringLiteral("Chart");
    ExportReport::Place(painted, 0, 0, 30, 20); // device pixels, as writers get them
    html.PutGraphic(painted, 10, 20);
    html.PutGraphic(painted, 10, 60); // printed again: a file of its own
    TRepLabel label; // draws no picture
    ExportReport::Place(label, 0, 0, 30, 20);
    html.PutGraphic(label, 10, 100);
    html.FinishPage();
    html.EndDocument();
    HTMLOptions().PictureDir.clear();

    EXPECT_EQ(FilesIn(dir.filePath(QStringLiteral("pics"))), (QStringList{"Chart1.jpg", "Chart2.jpg"}));
    const QByteArray doc = FileBytes(html.OutputName);
    EXPECT_TRUE(doc.contains("<DIV style=\"position:absolute;left:10px;top:20px;\"><img src=\"pics/Chart1.jpg\" "
                             "width=30 height=20></div>\r\n"));
    EXPECT_TRUE(doc.contains("top:60px;\"><img src=\"pics/Chart2.jpg\""));
    EXPECT_EQ(doc.count("<img"), 2);
    const QByteArray ppm = RunTool(QStringLiteral("djpeg"), {dir.filePath(QStringLiteral("pics/Chart2.jpg"))});
    ASSERT_GT(ppm.size(), 3);
    EXPECT_GT(uchar(ppm[ppm.size() - 3]), 220); // red
    EXPECT_LT(uchar(ppm[ppm.size() - 1]), 40);
}

TEST(ExportHtml, PictureAndPageNamesAreWrittenAsUrls)
{
    ExportReport r(60);
    r.report.CreateReport();
    ASSERT_EQ(r.printer.RecordedPages(), 2);
    TRepGHTMLDocumentFilter html(r.Path(QStringLiteral("отчёт 2024.htm")));
    HTMLOptions().MultiPage = true;
    HTMLOptions().PageLinks = true;
    HTMLOptions().PictureDir = QStringLiteral("мои #1");
    r.report.ExportToFilter(html);
    HTMLOptions().MultiPage = HTMLOptions().PageLinks = false;
    HTMLOptions().PictureDir.clear();

    const QJsonObject first = ParseHtml(r.Path(QStringLiteral("отчёт 20241.html")));
    const QJsonArray imgs = first.value("imgs").toArray();
    ASSERT_EQ(imgs.size(), 1);
    const QString src = imgs.first().toObject().value("src").toString();
    EXPECT_EQ(src, QStringLiteral("%D0%BC%D0%BE%D0%B8%20%231/Logo1.jpg"));
    // The URL names the file written.
    EXPECT_TRUE(QFile::exists(r.Path(QUrl::fromPercentEncoding(src.toLatin1()))));
    EXPECT_EQ(first.value("links").toArray(),
              QJsonArray({QJsonObject{{"href", "%D0%BE%D1%82%D1%87%D1%91%D1%82%202024" "2.html"}}}));
}

} // namespace
} // namespace zorbel::test
