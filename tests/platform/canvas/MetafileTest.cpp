// The recorder's EMF read by independent readers (emf2svg, LibreOffice), the
// player against direct painting and against LibreOffice's rendering of an
// EMF LibreOffice wrote, text enumeration, and damaged input.
#include "platform/canvas/MetafileSupport.h"

#include "platform/rtl/Streams.h"

#include <QFile>
#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <array>
#include <cstring>
#include <limits>
#include <random>

namespace zorbel {
namespace {

QImage Blank(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

QImage Play(const QByteArray &emf, int w, int h)
{
    QImage image = Blank(w, h);
    QPainter painter(&image);
    PlayMetafile(painter, emf, QRectF(0, 0, w, h));
    return image;
}

void Save(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// Bounding box of the pixels matching a colour test.
template <typename Match> QRect BoxOf(const QImage &image, Match match)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (match(image.pixel(x, y)))
                box = box.united(QRect(x, y, 1, 1));
    return box;
}

// The smallest share of differing pixels between ours and the part of theirs
// at offset, moved by up to 3 pixels each way (readers round edges apart).
double BestDifference(const QImage &ours, const QImage &theirs, QPoint offset)
{
    double best = 1;
    for (int dy = -3; dy <= 3; ++dy)
        for (int dx = -3; dx <= 3; ++dx)
            best = std::min(best, test::DifferingPixels(ours, theirs.copy(QRect(offset + QPoint(dx, dy), ours.size())), 96));
    return best;
}

bool Reddish(QRgb p) { return qRed(p) > 180 && qGreen(p) < 80 && qBlue(p) < 80; }
bool Blueish(QRgb p) { return qBlue(p) > 180 && qRed(p) < 80 && qGreen(p) < 80; }
bool Greenish(QRgb p) { return qGreen(p) > 120 && qRed(p) < 60 && qBlue(p) < 60; }
bool Dark(QRgb p) { return qGray(p) < 100; }

TEST(MetafileRecorder, WritesRecordsThatEmf2svgReads)
{
    QTemporaryDir dir;
    const TMetafile page = test::RecordSample();
    Save(dir.filePath("page.emf"), page.Data());
    test::RunTool("emf2svg-conv", {"-i", dir.filePath("page.emf"), "-o", dir.filePath("page.svg")});
    QFile f(dir.filePath("page.svg"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString svg = QString::fromUtf8(f.readAll());

    EXPECT_TRUE(svg.contains(QRegularExpression(
        R"re(<rect x="20\.0+" y="20\.0+" width="100\.0+" height="60\.0+"\s+fill="#FF0000" stroke="#000000")re")))
        << svg.toStdString();
    EXPECT_TRUE(svg.contains(QRegularExpression(R"re(<ellipse cx="250\.0+" cy="90\.0+" rx="50\.0+" ry="50\.0+"\s+fill="#0000FF")re")));
    EXPECT_TRUE(svg.contains(QRegularExpression(R"re(M 20\.0+,200\.0+ L 380\.0+,200\.0+)re")));
    EXPECT_TRUE(svg.contains(QStringLiteral("<![CDATA[Итого 1 234,56]]>")));

    // "Report" was right-aligned at 380: its left edge lies one text width before.
    TCanvas measure;
    measure.Font = QFont(QStringLiteral("Liberation Sans"));
    measure.Font.setPixelSize(20);
    const QRegularExpressionMatch m =
        QRegularExpression(R"re(x="([0-9.]+)" y="([0-9.]+)" font-size="20\.0+" ><!\[CDATA\[Report\]\]>)re").match(svg);
    ASSERT_TRUE(m.hasMatch());
    EXPECT_NEAR(m.captured(1).toDouble(), 380 - measure.TextWidth("Report"), 1.0);
    EXPECT_NEAR(m.captured(2).toDouble(), 250 + QFontMetrics(measure.Font).ascent(), 1.0); // baseline
}

TEST(MetafileRecorder, LibreOfficeShowsTextAndShapesWhereTheyWereDrawn)
{
    QTemporaryDir dir;
    Save(dir.filePath("page.emf"), test::RecordSample().Data());

    const QString pdf = test::SofficeConvert(dir.filePath("page.emf"), "pdf", dir.path());
    ASSERT_FALSE(pdf.isEmpty());
    const QString text = QString::fromUtf8(test::RunTool("pdftotext", {"-layout", pdf, "-"}));
    EXPECT_TRUE(text.contains(QStringLiteral("Итого 1 234,56"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Report")));

    // LibreOffice places the picture somewhere on its page at 96 dpi; the
    // shapes must keep their places relative to each other.
    const QString png = test::SofficeConvert(dir.filePath("page.emf"), "png", dir.path());
    ASSERT_FALSE(png.isEmpty());
    const QImage lo(png);
    const QRect red = BoxOf(lo, Reddish), blue = BoxOf(lo, Blueish);
    ASSERT_FALSE(red.isEmpty());
    ASSERT_FALSE(blue.isEmpty());
    const QPoint offset = red.topLeft() - QPoint(21, 21); // inside the 2-px outline
    EXPECT_NEAR(red.width(), 97, 3);
    EXPECT_NEAR(red.height(), 57, 3);
    EXPECT_NEAR(blue.left() - offset.x(), 200, 3);
    EXPECT_NEAR(blue.top() - offset.y(), 40, 3);
    EXPECT_NEAR(blue.width(), 100, 3);
    // Dark text pixels below the rectangle, where "Итого" was written.
    const QRect textBox = BoxOf(lo.copy(QRect(offset + QPoint(25, 95), QSize(200, 30))), Dark);
    EXPECT_GT(textBox.width(), 120);

    // Our player draws the same picture as LibreOffice, shapes and text.
    const QImage ours = Play(test::RecordSample().Data(), 400, 300);
    EXPECT_LT(BestDifference(ours, lo, offset), 0.02);
}

TEST(MetafilePlayer, DrawsLibreOfficeMetafileAsLibreOfficeDoes)
{
    QTemporaryDir dir;
    QFile svg(dir.filePath("shapes.svg"));
    ASSERT_TRUE(svg.open(QIODevice::WriteOnly));
    svg.write(R"(<svg xmlns="http://www.w3.org/2000/svg" width="400" height="300" viewBox="0 0 400 300">
<rect x="40" y="30" width="120" height="80" fill="#00a000" stroke="#000000" stroke-width="2"/>
<circle cx="280" cy="90" r="50" fill="#c00000"/>
<polygon points="60,250 160,150 260,250" fill="#0000c0"/>
<text x="200" y="280" font-family="Liberation Sans" font-size="24" fill="#000000">Сумма</text>
</svg>)");
    svg.close();
    const QString emfPath = test::SofficeConvert(dir.filePath("shapes.svg"), "emf", dir.path());
    ASSERT_FALSE(emfPath.isEmpty());
    QFile emfFile(emfPath);
    ASSERT_TRUE(emfFile.open(QIODevice::ReadOnly));
    TMetafile emf;
    ASSERT_NO_THROW(emf.SetData(emfFile.readAll()));
    QDir().mkpath(dir.filePath("png"));
    const QString png = test::SofficeConvert(emfPath, "png", dir.filePath("png"));
    ASSERT_FALSE(png.isEmpty());
    const QImage lo(png);

    const QImage ours = Play(emf.Data(), emf.Width(), emf.Height());
    const QRect greenOurs = BoxOf(ours, Greenish), greenTheirs = BoxOf(lo, Greenish);
    ASSERT_FALSE(greenOurs.isEmpty());
    ASSERT_FALSE(greenTheirs.isEmpty());
    EXPECT_NEAR(greenOurs.width(), greenTheirs.width(), 3);
    EXPECT_NEAR(greenOurs.height(), greenTheirs.height(), 3);
    EXPECT_LT(BestDifference(ours, lo, greenTheirs.topLeft() - greenOurs.topLeft()), 0.02);
    // The text of the drawing is found by enumeration.
    QStringList texts;
    EnumMetafileTexts(emf.Data(), [&](const TMetafileText &t) { texts << t.Text; });
    EXPECT_TRUE(texts.join(QString()).contains(QStringLiteral("Сумма")));
}

TEST(MetafilePlayer, RecordedPageLooksLikeDirectPaintingAtAnyScale)
{
    const TMetafile page = test::RecordSample();
    EXPECT_EQ(page.Width(), 400);
    EXPECT_EQ(page.Height(), 300);
    TMetafile reread; // the size as a reader finds it in the header
    reread.SetData(page.Data());
    EXPECT_EQ(reread.Width(), 400);
    EXPECT_EQ(reread.Height(), 300);
    for (double scale : {1.0, 2.0}) {
        const int w = int(400 * scale), h = int(300 * scale);
        QImage direct = Blank(w, h);
        {
            QPainter painter(&direct);
            painter.scale(scale, scale);
            TCanvas canvas;
            canvas.Begin(&painter);
            test::DrawSample(canvas);
        }
        const QImage played = Play(page.Data(), w, h);
        EXPECT_LT(test::DifferingPixels(played, direct, 96), 0.01) << "scale " << scale;
    }
}

TEST(MetafileText, EnumerationGivesTextsWithTheirPlaces)
{
    std::vector<TMetafileText> texts;
    EnumMetafileTexts(test::RecordSample().Data(), [&](const TMetafileText &t) { texts.push_back(t); });
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].Text, QStringLiteral("Итого 1 234,56"));
    EXPECT_NEAR(texts[0].Box.left(), 30, 1);
    EXPECT_NEAR(texts[0].Box.top(), 100, 1);
    EXPECT_EQ(texts[1].Text, QStringLiteral("Report"));
    EXPECT_NEAR(texts[1].Box.right(), 380, 1);
}

TEST(MetafileRecorder, StretchedPictureKeepsItsPixels)
{
    QImage picture(4, 2, QImage::Format_RGB32);
    picture.fill(Qt::white);
    picture.setPixel(0, 0, qRgb(255, 0, 0));
    picture.setPixel(3, 1, qRgb(0, 0, 255));
    TMetafileRecorder recorder(100, 100);
    TCanvas canvas;
    canvas.BeginRecording(&recorder);
    canvas.StretchDraw(QRect(10, 10, 80, 40), picture);
    const QImage played = Play(recorder.Finish().Data(), 100, 100);
    EXPECT_TRUE(Reddish(played.pixel(15, 15)));   // top-left source pixel, 20 x 20 each
    EXPECT_TRUE(Blueish(played.pixel(85, 45)));   // bottom-right
    EXPECT_EQ(qGray(played.pixel(50, 20)), 255);  // white between
    EXPECT_EQ(qGray(played.pixel(5, 5)), 255);    // outside the target
}

TEST(MetafileCanvas, ClippedTextStaysInsideItsRectangle)
{
    TMetafileRecorder recorder(200, 50);
    TCanvas canvas;
    canvas.BeginRecording(&recorder);
    canvas.Font = QFont(QStringLiteral("Liberation Sans"));
    canvas.Font.setPixelSize(30);
    canvas.Brush.Style = TBrushStyle::bsClear;
    canvas.FontColor = clBlack;
    canvas.TextRect(QRect(0, 0, 60, 50), 5, 5, QStringLiteral("WWWWWWWW"));
    const QImage played = Play(recorder.Finish().Data(), 200, 50);
    EXPECT_FALSE(BoxOf(played.copy(0, 0, 60, 50), Dark).isEmpty());
    EXPECT_TRUE(BoxOf(played.copy(60, 0, 140, 50), Dark).isEmpty());
}

// ---- damaged input ----

TEST(MetafileChecks, TruncatedOrForeignBytesAreRefused)
{
    const QByteArray good = test::RecordSample().Data();
    TMetafile m;
    EXPECT_THROW(m.SetData(QByteArray()), EMetafileError);
    EXPECT_THROW(m.SetData(QByteArray("not a metafile at all, just some text that is long enough to pass "
                                      "the size test of the header record")),
                 EMetafileError);
    for (qsizetype cut = 0; cut < good.size(); cut += 4)
        EXPECT_THROW(m.SetData(good.left(cut)), EMetafileError) << "cut at " << cut;
    // A record claiming more bytes than the file has.
    QByteArray longRecord = good;
    const uint32_t huge = 0x7FFFFFF0;
    std::memcpy(longRecord.data() + 108 + 4, &huge, 4);
    EXPECT_THROW(m.SetData(longRecord), EMetafileError);
    QImage image = Blank(50, 50);
    QPainter painter(&image);
    EXPECT_THROW(PlayMetafile(painter, longRecord, QRectF(0, 0, 50, 50)), EMetafileError);
}

TEST(MetafileChecks, EmptyTextRecordDrawsNothing)
{
    // The first EXTTEXTOUTW record of the sample, its character count set to 0.
    QByteArray emf = test::RecordSample().Data();
    // Read byte by byte with the bounds checked: the compiler cannot tell the
    // sample from an empty array and warns about a four-byte copy from it.
    const auto word = [&emf](qsizetype pos) {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= uint32_t(uint8_t(emf.at(pos + i))) << (8 * i);
        return v;
    };
    qsizetype at = 0;
    for (;;) {
        ASSERT_LE(at + 8, emf.size());
        const uint32_t type = word(at), size = word(at + 4);
        if (type == 84)
            break;
        at += size;
        ASSERT_LT(at, emf.size());
    }
    const uint32_t none = 0;
    std::memcpy(emf.data() + at + 36 + 8, &none, 4); // emrtext.nChars
    std::vector<QString> texts;
    EnumMetafileTexts(emf, [&](const TMetafileText &t) { texts.push_back(t.Text); });
    EXPECT_EQ(texts, std::vector<QString>{QStringLiteral("Report")});
    EXPECT_NO_THROW(Play(emf, 40, 30));
}

// A sheet larger than the page, in a colour no page uses: the player plays
// into the target alone and must leave every pixel around it as it was.
constexpr QRgb Sentinel = qRgb(0, 255, 1);

struct Sheet {
    QImage Image;
    QRect Target;
};

Sheet SheetAround(QSize page, int margin = 20)
{
    Sheet sheet{QImage(page + QSize(2 * margin, 2 * margin), QImage::Format_RGB32),
                QRect(QPoint(margin, margin), page)};
    sheet.Image.fill(Sentinel);
    return sheet;
}

// Pixels outside the target that are no longer the sentinel colour.
int DrawnOutside(const Sheet &sheet)
{
    int drawn = 0;
    for (int y = 0; y < sheet.Image.height(); ++y)
        for (int x = 0; x < sheet.Image.width(); ++x)
            drawn += !sheet.Target.contains(x, y) && sheet.Image.pixel(x, y) != Sentinel;
    return drawn;
}

// Plays emf into the sheet's target; true when it played to the end, false
// when it stopped at damage (EMetafileError). The painter's state must be
// the caller's again either way.
bool PlayInto(Sheet &sheet, const QByteArray &emf)
{
    QPainter painter(&sheet.Image);
    const QPen pen(Qt::magenta, 3);
    painter.setPen(pen);
    painter.setBrush(Qt::cyan);
    painter.translate(3, 4);
    const QTransform before = painter.transform();
    bool played = true;
    try {
        PlayMetafile(painter, emf, QRectF(sheet.Target));
    } catch (const EMetafileError &) {
        played = false;
    }
    EXPECT_EQ(painter.transform(), before);
    EXPECT_FALSE(painter.hasClipping());
    EXPECT_EQ(painter.pen(), pen);
    EXPECT_EQ(painter.brush(), QBrush(Qt::cyan));
    return played;
}

// The sample's bytes with records inserted right after the header (the
// header's byte and record counts follow).
QByteArray WithRecordsAfterHeader(QByteArray emf, const QByteArray &records, uint32_t count)
{
    const auto word = [&emf](qsizetype pos) {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= uint32_t(uint8_t(emf.at(pos + i))) << (8 * i);
        return v;
    };
    const auto setWord = [&emf](qsizetype pos, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            emf[pos + i] = char(v >> (8 * i));
    };
    const uint32_t headerSize = word(4);
    emf.insert(qsizetype(headerSize), records);
    setWord(48, word(48) + uint32_t(records.size()));
    setWord(52, word(52) + count);
    return emf;
}

// An EMR_SETWORLDTRANSFORM record.
QByteArray WorldTransform(const std::array<float, 6> &m)
{
    QByteArray record(32, '\0');
    const uint32_t head[] = {35, 32};
    std::memcpy(record.data(), head, sizeof head);
    std::memcpy(record.data() + 8, m.data(), sizeof(float) * 6);
    return record;
}

// One line of text in Liberation Sans of the given pixel size on a 400 x 300 page.
QByteArray TextPage(int pixelSize)
{
    TMetafileRecorder recorder(400, 300);
    TCanvas canvas;
    canvas.BeginRecording(&recorder);
    canvas.Font = QFont(QStringLiteral("Liberation Sans"));
    canvas.Font.setPixelSize(pixelSize);
    canvas.FontColor = clBlack;
    canvas.Brush.Style = TBrushStyle::bsClear;
    canvas.TextOut(30, 100, QStringLiteral("Итого 1 234,56"));
    canvas.BeginRecording(nullptr);
    return recorder.Finish().Data();
}

TEST(MetafileChecks, TextUnderAnyWorldTransformIsDrawnWithinThePageOrLeftOut)
{
    // World transforms that damaged records give, beside sound ones. Qt's
    // glyph cache crashed on the nearly singular ones (both axes pointing
    // the same way: on the 60 x 80 page the text meets m11 = 0.0659,
    // m12 = -1.54e-5, m21 = 0.223, m22 = 4.22e-5 times the factor), which a
    // check of glyph size and axis lengths let through.
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const double s11 = 0.0659 / 0.15, s12 = -1.54e-5 / (80 / 300.0), s21 = 0.223 / 0.15, s22 = 4.22e-5 / (80 / 300.0);
    struct Case {
        const char *Name;
        double M11, M12, M21, M22, Dx, Dy;
        int PixelSize;
        bool Visible; // the text must show inside the page
    };
    const Case cases[] = {
        {"upright", 1, 0, 0, 1, 0, 0, 20, true},
        {"turned", 0.866, -0.5, 0.5, 0.866, 0, 0, 20, true},
        {"mirrored", -1, 0, 0, 1, 400, 0, 20, true},
        {"stretched wide", 6, 0, 0, 1, 0, 0, 20, true},
        {"nearly singular", 40 * s11, 40 * s12, 40 * s21, 40 * s22, 0, 0, 200, false},
        {"nearly singular, larger font", 10 * s11, 10 * s12, 10 * s21, 10 * s22, 0, 0, 2000, false},
        {"nearly singular, large", 1000 * s11, 1000 * s12, 1000 * s21, 1000 * s22, 0, 0, 20, false},
        {"nearly singular, small font", 100 * s11, 100 * s12, 100 * s21, 100 * s22, 0, 0, 200, false},
        {"squashed flat", 1, 0, 0, 1e-4, 0, 0, 2000, false},
        {"skewed", 1, 3, 0, 1, 0, 0, 20, false},
        {"huge", 1e5, 0, 0, 1e5, 0, 0, 20, false},
        {"tiny", 1e-9, 0, 0, 1e-9, 0, 0, 20, false},
        {"singular", 1, 1, 1, 1, 0, 0, 200, false},
        {"zero", 0, 0, 0, 0, 0, 0, 20, false},
        {"far away", 1, 0, 0, 1, 1e9, -1e9, 20, false},
        {"infinitely far", 1, 0, 0, 1, inf, 0, 20, false},
        {"not a number", nan, 0, 0, 1, 0, 0, 20, false},
        {"infinite scale", inf, 0, 0, inf, 0, 0, 20, false},
    };
    for (const Case &c : cases)
        for (const QSize page : {QSize(60, 80), QSize(120, 160), QSize(400, 300)}) {
            SCOPED_TRACE(testing::Message() << c.Name << " on " << page.width() << " x " << page.height());
            const std::array<float, 6> world = {float(c.M11), float(c.M12), float(c.M21),
                                                float(c.M22), float(c.Dx), float(c.Dy)};
            const QByteArray emf = WithRecordsAfterHeader(TextPage(c.PixelSize), WorldTransform(world), 1);
            TMetafile loaded;
            ASSERT_NO_THROW(loaded.SetData(emf)); // well-formed records: only their numbers are absurd
            Sheet sheet = SheetAround(page);
            EXPECT_TRUE(PlayInto(sheet, emf));
            EXPECT_EQ(DrawnOutside(sheet), 0);
            if (c.Visible) {
                EXPECT_FALSE(BoxOf(sheet.Image.copy(sheet.Target), Dark).isEmpty());
            }
        }
}

TEST(MetafileChecks, ShapesBeyondTheFrameStayOnThePage)
{
    // A rectangle larger than the picture, alone and after a record that
    // drops every clip region: the page's own bound holds in both.
    TMetafileRecorder recorder(400, 300);
    TCanvas canvas;
    canvas.BeginRecording(&recorder);
    canvas.Brush.Color = clBlue;
    canvas.Rectangle(QRect(-100, -100, 600, 500));
    canvas.BeginRecording(nullptr);
    const QByteArray plain = recorder.Finish().Data();
    QByteArray noClip(16, '\0');
    const uint32_t record[] = {75, 16, 0, 5}; // EMR_EXTSELECTCLIPRGN, no region, RGN_COPY
    std::memcpy(noClip.data(), record, sizeof record);
    for (const QByteArray &emf : {plain, WithRecordsAfterHeader(plain, noClip, 1)}) {
        Sheet sheet = SheetAround(QSize(100, 75));
        EXPECT_TRUE(PlayInto(sheet, emf));
        EXPECT_EQ(DrawnOutside(sheet), 0);
        EXPECT_TRUE(Blueish(sheet.Image.pixel(sheet.Target.center())));
    }
}

TEST(MetafileChecks, RandomDamageIsRefusedOrDrawnWithinThePage)
{
    // Every damaged copy is refused by the loader, stops at the damaged
    // record (EMetafileError), or plays to its end; whichever it does, it
    // draws nothing outside the page, leaves the painter as it found it and
    // draws the same twice (no byte is read that the file does not hold).
    const QByteArray good = test::RecordSample().Data();
    std::mt19937 random(1234);
    int refused = 0, stopped = 0, played = 0;
    for (int round = 0; round < 600; ++round) {
        QByteArray bad = good;
        for (int k = 0; k < 1 + round % 8; ++k)
            bad[qsizetype(random() % uint32_t(bad.size()))] = char(random());
        SCOPED_TRACE(testing::Message() << "round " << round);
        bool loads = true;
        try {
            TMetafile m;
            m.SetData(bad);
        } catch (const EMetafileError &) {
            loads = false;
        }
        Sheet first = SheetAround(QSize(100, 75)), second = SheetAround(QSize(100, 75));
        const bool whole = PlayInto(first, bad);
        EXPECT_EQ(PlayInto(second, bad), whole);
        EXPECT_EQ(DrawnOutside(first), 0);
        EXPECT_TRUE(first.Image == second.Image);
        // Listing the texts plays the text records alone: where it stops at
        // damage, so does the whole play.
        bool listed = true;
        try {
            EnumMetafileTexts(bad, [](const TMetafileText &) {});
        } catch (const EMetafileError &) {
            listed = false;
        }
        if (!listed) {
            EXPECT_FALSE(whole);
        }
        refused += !loads;
        stopped += loads && !whole;
        played += loads && whole;
    }
    // The walk reaches every outcome.
    EXPECT_GT(refused, 50);
    EXPECT_GT(stopped, 0);
    EXPECT_GT(played, 50);
}

TEST(MetafileStream, LoadsExactlyOneMetafileWithinItsLimit)
{
    const TMetafile page = test::RecordSample();
    TMemoryStream stream;
    page.SaveToStream(stream);
    stream.WriteBuffer("tail", 4);
    stream.SetPosition(0);
    TMetafile back;
    back.LoadFromStream(stream);
    EXPECT_EQ(back.Data(), page.Data());
    EXPECT_EQ(stream.Position(), page.Data().size());
    stream.SetPosition(0);
    EXPECT_THROW(back.LoadFromStream(stream, page.Data().size() - 4), EMetafileError);
}

} // namespace
} // namespace zorbel
