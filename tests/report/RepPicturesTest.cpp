// Shapes and pictures on recorded pages, pictures from blob fields, and one
// golden page per printable kind kept as EMF and as a PNG rendering.
//
// Golden pages live in tests/data/report/golden; ZORBEL_UPDATE_GOLDEN=1
// writes them anew from the current code (look at the PNGs before keeping
// them).
#include "RepReportSupport.h"
#include "report/RepCtrls.h"
#include "report/RepRichText.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QtEndian>
#include <cstring>
#include <gtest/gtest.h>

namespace zorbel::test {
namespace {

template <class T> T &Place(TRepBand &band, double left, double top, double width, double height)
{
    auto p = std::make_unique<T>();
    p->Size.Values[TRepPrintableSize::iLeft] = left;
    p->Size.Values[TRepPrintableSize::iTop] = top;
    p->Size.Values[TRepPrintableSize::iWidth] = width;
    p->Size.Values[TRepPrintableSize::iHeight] = height;
    return band.Add(std::move(p));
}

// Four quadrants in red, green, blue and black.
QImage Quadrants(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    QPainter p(&img);
    p.fillRect(0, 0, w / 2, h / 2, Qt::red);
    p.fillRect(w / 2, 0, w - w / 2, h / 2, Qt::green);
    p.fillRect(0, h / 2, w / 2, h - h / 2, Qt::blue);
    p.fillRect(w / 2, h / 2, w - w / 2, h - h / 2, Qt::black);
    return img;
}

QByteArray Encoded(const QImage &img, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, format, 95);
    return bytes;
}

QImage Render(const QByteArray &emf, int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    PlayMetafile(p, emf, QRectF(0, 0, w, h));
    return img;
}

bool Near(QRgb a, QColor b, int tolerance = 40)
{
    return std::abs(qRed(a) - b.red()) <= tolerance && std::abs(qGreen(a) - b.green()) <= tolerance &&
           std::abs(qBlue(a) - b.blue()) <= tolerance;
}

// Every record of an EMF as (type, offset).
std::vector<std::pair<uint32_t, int>> Records(const QByteArray &emf)
{
    std::vector<std::pair<uint32_t, int>> out;
    for (int at = 0; at + 8 <= emf.size();) {
        uint32_t head[2];
        std::memcpy(head, emf.constData() + at, sizeof head);
        const uint32_t type = qFromLittleEndian(head[0]);
        const uint32_t size = qFromLittleEndian(head[1]);
        out.emplace_back(type, at);
        if (size < 8)
            break;
        at += int(size);
    }
    return out;
}

TEST(RepShapePrint, FiguresAndRoundCornersThatDoNotScaleWithTheDevice)
{
    ListReport r;
    TRepBand &b = r.Add(rbTitle, 400);
    const TRepShape::TShapeType kinds[] = {TRepShape::qrsRectangle, TRepShape::qrsCircle, TRepShape::qrsVertLine,
                                           TRepShape::qrsHorLine, TRepShape::qrsTopAndBottom,
                                           TRepShape::qrsRightAndLeft, TRepShape::qrsRoundRect};
    for (int i = 0; i < 7; ++i) {
        auto &s = Place<TRepShape>(b, 10 + i * 250, 10, 200, 300);
        s.Shape = kinds[i];
        s.RoundFactor = 0.25f;
    }
    r.Run();
    const QByteArray emf = r.printer().GetPageMetafile(1)->Data();
    int rects = 0, ellipses = 0, lines = 0, rounds = 0;
    for (auto [type, at] : Records(emf)) {
        rects += type == 43;    // EMR_RECTANGLE
        ellipses += type == 42; // EMR_ELLIPSE
        lines += type == 54;    // EMR_LINETO
        if (type == 44) {       // EMR_ROUNDRECT: box, then the corner size
            ++rounds;
            const int corner = qFromLittleEndian<int32_t>(emf.constData() + at + 24);
            // 200 units = 75.6 screen pixels; a quarter of that.
            EXPECT_EQ(corner, int(std::lround(200 * 96 / 254.0 * 0.25)));
        }
    }
    EXPECT_EQ(rects, 1);
    EXPECT_EQ(ellipses, 1);
    EXPECT_EQ(lines, 6); // one each for the two middle lines, two each for the pairs
    EXPECT_EQ(rounds, 1);
}

TEST(RepImagePrint, NaturalSizeFollowsThePrinterResolutionCentredAndClipped)
{
    // A 96 x 96 pixel picture on a 600-dpi device is one inch square.
    TRepPicture picture;
    picture.Bitmap = Quadrants(96, 96);
    const double scale = 600 / 254.0; // device pixels per 0.1 mm
    QImage page(1000, 1000, QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter painter(&page);
    TCanvas canvas;
    canvas.Begin(&painter);
    DrawNaturalPicture(canvas, picture, QRect(100, 100, 800, 800), true, scale, scale);
    painter.end();
    // Centred: (800 - 600) / 2 = 100 in from the rectangle.
    EXPECT_TRUE(Near(page.pixel(199, 199), Qt::white, 0));
    EXPECT_TRUE(Near(page.pixel(201, 201), Qt::red));
    EXPECT_TRUE(Near(page.pixel(798, 798), Qt::black));
    EXPECT_TRUE(Near(page.pixel(801, 801), Qt::white, 0));
    EXPECT_TRUE(Near(page.pixel(798, 201), Qt::green));

    // Clipped to a rectangle smaller than the picture, not centred.
    page.fill(Qt::white);
    painter.begin(&page);
    canvas.Begin(&painter);
    DrawNaturalPicture(canvas, picture, QRect(100, 100, 400, 400), false, scale, scale);
    painter.end();
    EXPECT_TRUE(Near(page.pixel(150, 150), Qt::red));
    EXPECT_TRUE(Near(page.pixel(390, 390), Qt::red));
    EXPECT_TRUE(Near(page.pixel(450, 450), Qt::black)); // the picture's middle at 400
    EXPECT_TRUE(Near(page.pixel(520, 300), Qt::white, 0));
    EXPECT_TRUE(Near(page.pixel(300, 520), Qt::white, 0));
}

struct BlobReport : ListReport {
    std::unique_ptr<TVemtMemTable> pics = std::make_unique<TVemtMemTable>();
    TRepDBImage *image = nullptr;
    explicit BlobReport(const std::vector<QByteArray> &blobs)
    {
        pics->FieldDefs().Add(QStringLiteral("pic"), ftBlob);
        pics->FieldDefs().Add(QStringLiteral("nm"), ftString, 20);
        pics->Open();
        for (size_t i = 0; i < blobs.size(); ++i) {
            pics->Append();
            pics->FieldByName(QStringLiteral("pic"))->SetBlobData(&blobs[i]);
            pics->FieldByName(QStringLiteral("nm"))->SetAsString(QStringLiteral("запись %1").arg(i + 1));
            pics->Post();
        }
        report.MainController.DataSet = pics.get();
        TRepBand &b = Add(rbDetail, 300);
        image = &Place<TRepDBImage>(b, 100, 0, 254, 254); // 96 x 96 screen pixels
        image->DataSet = pics.get();
        image->DataField = QStringLiteral("pic");
        image->Stretch = true;
        auto &t = Place<TRepDBText>(b, 500, 0, 400, 50);
        t.DataSet = pics.get();
        t.SetDataField(QStringLiteral("nm"));
    }
};

TEST(RepDBImagePrint, PngJpegAndBmpBlobsPrintAndOtherBytesPrintNothing)
{
    const QImage q = Quadrants(40, 40);
    BlobReport r({Encoded(q, "PNG"), Encoded(q, "JPEG"), Encoded(q, "BMP"), QByteArray("not a picture"), QByteArray()});
    r.Run();
    EXPECT_EQ(r.Texts(1), (QStringList{"запись 1", "запись 2", "запись 3", "запись 4", "запись 5"}));
    const QImage page = Render(r.printer().GetPageMetafile(1)->Data(), 794, 1123);
    // Band tops at 100 + 300 k units; the picture's quadrants 64 units in.
    for (int k = 0; k < 5; ++k) {
        const int top = int(std::lround((100 + 300 * k) * 96 / 254.0));
        const int left = int(std::lround(200 * 96 / 254.0));
        const QRgb red = page.pixel(left + 20, top + 20), black = page.pixel(left + 70, top + 70);
        if (k < 3) {
            EXPECT_TRUE(Near(red, Qt::red)) << k;
            EXPECT_TRUE(Near(black, Qt::black)) << k;
        } else {
            // No picture: the stretched control's white background only.
            EXPECT_TRUE(Near(red, Qt::white, 0)) << k;
            EXPECT_TRUE(Near(black, Qt::white, 0)) << k;
        }
    }
    r.pics->First();
    r.image->Prepare();
    double pixels = 0;
    ASSERT_TRUE(r.image->GetExpandedHeight(pixels));
    EXPECT_EQ(pixels, 40); // the picture's own height
    r.image->Unprepare();
}

// ---- golden pages ----

struct GoldenPage {
    ListReport r;
    TRepBand *band;
    GoldenPage()
    {
        r.report.Page.SetPaperSize(rpCustom);
        r.report.Page.Values[TRepPage::iWidth] = 1200;
        r.report.Page.Values[TRepPage::iLength] = 500;
        r.report.Page.Values[TRepPage::iLeftMargin] = r.report.Page.Values[TRepPage::iRightMargin] = 50;
        r.report.Page.Values[TRepPage::iTopMargin] = r.report.Page.Values[TRepPage::iBottomMargin] = 50;
        band = &r.Add(rbTitle, 400, 1100);
    }
};

void CheckGolden(GoldenPage &g, const char *name)
{
    g.r.Run();
    ASSERT_EQ(g.r.printer().RecordedPages(), 1) << name;
    const QByteArray emf = g.r.printer().GetPageMetafile(1)->Data();
    const QImage now = Render(emf, 454, 189); // 120 x 50 mm at 96 dpi
    const QString base = QStringLiteral(ZORBEL_TEST_DATA "/report/golden/") + QString::fromLatin1(name);
    if (qEnvironmentVariableIsSet("ZORBEL_UPDATE_GOLDEN")) {
        QDir().mkpath(QStringLiteral(ZORBEL_TEST_DATA "/report/golden"));
        QFile f(base + QStringLiteral(".emf"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(emf);
        f.close();
        ASSERT_TRUE(now.save(base + QStringLiteral(".png")));
    }
    const QImage golden(base + QStringLiteral(".png"));
    ASSERT_FALSE(golden.isNull()) << base.toStdString();
    QFile f(base + QStringLiteral(".emf"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QImage stored = Render(f.readAll(), 454, 189);
    // Anti-aliasing may differ between font engines: count pixels that
    // differ clearly and allow a few in a thousand.
    auto differing = [](const QImage &a, const QImage &b) {
        int n = 0;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
                n += !Near(a.pixel(x, y), QColor(b.pixel(x, y)), 64);
        return n;
    };
    ASSERT_EQ(golden.size(), now.size());
    const int limit = now.width() * now.height() * 4 / 1000;
    EXPECT_LE(differing(now.convertToFormat(QImage::Format_RGB32), golden.convertToFormat(QImage::Format_RGB32)), limit)
        << name;
    EXPECT_LE(differing(stored, golden.convertToFormat(QImage::Format_RGB32)), limit) << name << " (stored EMF)";
    // The page is not blank.
    EXPECT_GT(differing(now, QImage(now.size(), QImage::Format_RGB32)), 0);
}

TEST(RepGoldenPages, OnePagePerPrintableKind)
{
    {
        GoldenPage g;
        auto &l = Place<TRepLabel>(*g.band, 0, 0, 500, 60);
        l.SetCaption(QStringLiteral("Метка слева"));
        auto &c = Place<TRepLabel>(*g.band, 0, 100, 1100, 60);
        c.AlignToBand = true;
        c.SetAlignment(TAlignment::taCenter);
        c.Color = clYellow;
        c.Frame.DrawTop = c.Frame.DrawBottom = c.Frame.DrawLeft = c.Frame.DrawRight = true;
        c.SetCaption(QStringLiteral("По центру, в рамке"));
        auto &w = Place<TRepLabel>(*g.band, 600, 200, 450, 60);
        w.AutoSize = false;
        w.FontColor = clNavy;
        w.Font.setBold(true);
        w.SetCaption(QStringLiteral("Длинная подпись переносится по словам"));
        CheckGolden(g, "label");
    }
    {
        GoldenPage g;
        auto &m = Place<TRepMemo>(*g.band, 0, 0, 700, 300);
        m.AutoSize = false;
        m.Lines = QStringList{"Памятка: первая строка", "вторая строка, длинная и поэтому перенесённая", "", "четвёртая"};
        m.Font = QFont(QStringLiteral("Liberation Serif"), 11);
        m.AutoStretch = true;
        CheckGolden(g, "memo");
    }
    {
        GoldenPage g;
        g.r.Rows(3);
        auto &t = Place<TRepDBText>(*g.band, 0, 0, 400, 60);
        t.DataSet = g.r.table.get();
        t.SetDataField(QStringLiteral("nm"));
        auto &a = Place<TRepDBText>(*g.band, 500, 0, 400, 60);
        a.DataSet = g.r.table.get();
        a.SetDataField(QStringLiteral("amt"));
        a.Mask = QStringLiteral("#,###,###,##0.00");
        a.SetAlignment(TAlignment::taRightJustify);
        g.r.report.MainController.DataSet = nullptr; // the first record only
        CheckGolden(g, "dbtext");
    }
    {
        GoldenPage g;
        auto &e = Place<TRepExpr>(*g.band, 0, 0, 600, 60);
        e.SetExpression(QStringLiteral("'Итого: ' + STR(12*3)"));
        auto &s = Place<TRepSysData>(*g.band, 0, 100, 400, 60);
        s.SetData(qrsPageNumber);
        s.SetText(QStringLiteral("Страница "));
        CheckGolden(g, "expr_sysdata");
    }
    {
        GoldenPage g;
        const TRepShape::TShapeType kinds[] = {TRepShape::qrsRectangle, TRepShape::qrsCircle, TRepShape::qrsVertLine,
                                               TRepShape::qrsHorLine, TRepShape::qrsTopAndBottom,
                                               TRepShape::qrsRightAndLeft, TRepShape::qrsRoundRect};
        for (int i = 0; i < 7; ++i) {
            auto &s = Place<TRepShape>(*g.band, i * 155, 50, 130, 250);
            s.Shape = kinds[i];
            s.Brush.Color = i % 2 ? clSilver : clAqua;
            s.Pen.Width = 2;
            s.RoundFactor = 0.3f;
        }
        CheckGolden(g, "shape");
    }
    {
        GoldenPage g;
        auto &i = Place<TRepImage>(*g.band, 0, 0, 300, 300);
        i.Picture.Bitmap = Quadrants(60, 60);
        i.Center = true;
        auto &s = Place<TRepImage>(*g.band, 400, 0, 600, 200);
        s.Picture.Bitmap = Quadrants(60, 60);
        s.Stretch = true;
        CheckGolden(g, "image");
    }
    {
        GoldenPage g;
        auto &rt = Place<TRepCustomRichText>(*g.band, 0, 0, 1100, 380);
        rt.SetLines("{\\rtf1\\ansi\\ansicpg1251{\\fonttbl{\\f0\\fcharset204 Liberation Sans;}{\\f1 Liberation Serif;}}"
                    "{\\colortbl ;\\red200\\green0\\blue0;}\\pard\\qc\\f0\\fs28\\b \\'c7\\'e0\\'e3\\'ee\\'eb\\'ee\\'e2"
                    "\\'ee\\'ea\\b0\\par\\pard\\f1\\fs20 \\i \\'ea\\'f3\\'f0\\'f1\\'e8\\'e2\\i0 , \\ul \\'ef\\'ee"
                    "\\'e4\\'f7\\'e5\\'f0\\'ea\\'ed\\'f3\\'f2\\'ee\\ulnone , \\cf1 \\'ea\\'f0\\'e0\\'f1\\'ed\\'fb"
                    "\\'e9\\cf0 , \\strike \\'e7\\'e0\\'f7\\'e5\\'f0\\'ea\\'ed\\'f3\\'f2\\'ee\\strike0 .\\par"
                    "\\pard\\qr \\u1071?\\u1073?\\u1083?\\u1086?\\u1082?\\u1086? \\'f1\\'EF\\'f0\\'e0\\'e2\\'e0\\par}");
        CheckGolden(g, "richtext");
    }
}

} // namespace
} // namespace zorbel::test
