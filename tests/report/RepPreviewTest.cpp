// The preview control driven offscreen: zoom limits and fitting, page
// turns, pages appearing while a run (on the window thread or a background
// thread) is still adding them, and the painted sheet.
#include "RepReportSupport.h"
#include "report/RepPreview.h"

#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <gtest/gtest.h>
#include <thread>

namespace zorbel::test {
namespace {

void Pump()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

struct Previewed : ListReport {
    TRepPreview preview;
    explicit Previewed(int rows)
    {
        Rows(rows);
        Add(rbDetail, 50).Add(Expr(QStringLiteral("nm"), 0, 0));
        Add(rbPageFooter, 50).Add(Expr(QStringLiteral("'Стр. '+PAGENUMBER"), 0, 0));
    }
};

TEST(RepPreviewControl, ZoomLimitsSizesAndFitting)
{
    Previewed r(10);
    r.Run();
    r.preview.SetPrinter(&r.printer());
    r.preview.show(); // resize events reach shown windows only
    TRepPrinter &pr = r.printer();
    EXPECT_EQ(r.preview.Zoom(), 100);
    EXPECT_EQ(r.preview.Image().width(), pr.WidthToDevice(pr.PaperWidthValue()) + 4);
    r.preview.SetZoom(1);
    r.preview.SetZoom(2001);
    EXPECT_EQ(r.preview.Zoom(), 100);
    r.preview.SetZoom(2);
    EXPECT_EQ(r.preview.Zoom(), 2);
    r.preview.SetZoom(2000);
    EXPECT_EQ(r.preview.Zoom(), 2000);
    EXPECT_EQ(r.preview.Image().height(), int(std::lround(pr.HeightToDevice(pr.PaperLengthValue() * 20.0))) + 4);
    r.preview.SetZoom(50);
    EXPECT_EQ(r.preview.Image().width(), int(std::lround(pr.WidthToDevice(pr.PaperWidthValue() / 2.0))) + 4);

    // A tall, narrow window: the smaller ratio wins and is kept on resize.
    const double pw = pr.WidthToDevice(pr.PaperWidthValue()), ph = pr.HeightToDevice(pr.PaperLengthValue());
    r.preview.resize(300, 900);
    r.preview.ZoomToFit();
    EXPECT_EQ(r.preview.ZoomState(), TRepZoomState::qrZoomToFit);
    EXPECT_EQ(r.preview.Zoom(), std::min(std::lround(300 / pw * 95), std::lround(900 / ph * 95)));
    r.preview.resize(900, 300);
    EXPECT_EQ(r.preview.Zoom(), std::min(std::lround(900 / pw * 95), std::lround(300 / ph * 95)));

    // Zoom to width follows the window at 90 % of its width.
    r.preview.ZoomToWidth();
    EXPECT_EQ(r.preview.Zoom(), std::lround(900 / pw * 90));
    r.preview.resize(600, 400);
    EXPECT_EQ(r.preview.ZoomState(), TRepZoomState::qrZoomToWidth);
    EXPECT_EQ(r.preview.Zoom(), std::lround(600 / pw * 90));
    // Setting a number leaves the fitting.
    r.preview.SetZoom(100);
    EXPECT_EQ(r.preview.ZoomState(), TRepZoomState::qrZoomOther);

    // Without a printer the default page is used as pixels.
    TRepPreview bare;
    bare.SetZoom(100);
    EXPECT_EQ(bare.Image().width(), 216 + 4);
    EXPECT_EQ(bare.Image().height(), 279 + 4);
}

TEST(RepPreviewControl, PageTurnsStayWithinTheStoredPagesAndPaintTheSheet)
{
    Previewed r(150);
    r.Run();
    ASSERT_EQ(r.printer().RecordedPages(), 3);
    r.preview.SetPrinter(&r.printer());
    EXPECT_TRUE(r.printer().Client());
    EXPECT_EQ(r.printer().StatusWindow, &r.preview);
    ASSERT_NE(r.preview.Image().Metafile(), nullptr);
    r.preview.verticalScrollBar()->setValue(100);
    r.preview.SetPageNumber(3);
    EXPECT_EQ(r.preview.PageNumber(), 3);
    EXPECT_EQ(r.preview.Image().PageNumber, 3);
    EXPECT_EQ(r.preview.verticalScrollBar()->value(), 0);
    r.preview.SetPageNumber(4);
    r.preview.SetPageNumber(0);
    EXPECT_EQ(r.preview.PageNumber(), 3);
    // The page shown is the stored page 3.
    QStringList texts;
    EnumMetafileTexts(r.preview.Image().Metafile()->Data(), [&](const TMetafileText &t) { texts << t.Text; });
    EXPECT_TRUE(texts.contains(QStringLiteral("Строка 150")));

    // The sheet is white inside a black outline with a shadow on the right and bottom.
    const QImage shot = r.preview.Image().grab().toImage();
    const int w = shot.width(), h = shot.height();
    EXPECT_EQ(QColor(shot.pixel(0, h / 2)), QColor(Qt::black));
    EXPECT_EQ(QColor(shot.pixel(w / 2, h - 1)), QColor(Qt::black));
    EXPECT_EQ(QColor(shot.pixel(w - 1, h / 2)), QColor(Qt::black));
    EXPECT_EQ(QColor(shot.pixel(w / 2, h / 2)), QColor(Qt::white));
    EXPECT_EQ(QColor(shot.pixel(w - 1, 0)).lightness() > 0, true); // above the shadow's start

    // Detaching clears the printer's client flag.
    r.preview.SetPrinter(nullptr);
    EXPECT_FALSE(r.printer().Client());
    EXPECT_EQ(r.printer().StatusWindow, nullptr);
}

TEST(RepPreviewControl, FollowsARunInProgressOnTheWindowThreadAndInTheBackground)
{
    for (bool background : {false, true}) {
        Previewed r(400);
        r.printerHolder = std::make_unique<TRepPrinter>();
        r.report.RepPrinter = r.printerHolder.get();
        r.preview.SetPrinter(&r.printer());
        std::vector<int> seen, progress;
        r.preview.OnPageAvailable = [&](TRepPreview &, int n) {
            seen.push_back(n);
            // Page 1 is shown once it is stored.
            if (n >= 1) {
                EXPECT_NE(r.preview.Image().Metafile(), nullptr);
            }
        };
        r.preview.OnProgressUpdate = [&](TRepPreview &, int p) { progress.push_back(p); };
        EXPECT_EQ(r.preview.Image().Metafile(), nullptr); // nothing stored yet
        if (background) {
            std::thread run([&] { r.report.CreateReport(); });
            while (!r.report.Available || r.printer().Status() == TRepStatus::Busy)
                Pump();
            run.join();
        } else
            r.report.CreateReport();
        Pump();
        const int pages = r.printer().RecordedPages();
        ASSERT_EQ(pages, 8);
        ASSERT_FALSE(seen.empty());
        EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
        EXPECT_EQ(seen.back(), pages);
        EXPECT_GE(seen.size(), size_t(pages - 1));
        EXPECT_FALSE(progress.empty());
        EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
        ASSERT_NE(r.preview.Image().Metafile(), nullptr);
        r.preview.SetPageNumber(pages);
        EXPECT_EQ(r.preview.PageNumber(), pages);
    }
}

TEST(RepPreviewControl, LinksUnderTheMouseRaiseEnterLeaveAndClick)
{
    TRepPreview preview;
    TRepPreviewImage &image = preview.Image();
    image.Zoom = 200;
    image.Links.push_back({QRect(10, 10, 20, 10), QStringLiteral("INT:тест")});
    QStringList events;
    preview.SetOnHyperlink([&](TRepHyperlinkEventType t, const QString &link, bool &handled) {
        events << QStringLiteral("%1 %2").arg(int(t)).arg(link);
        handled = true;
    });
    auto move = [&](QPoint p) {
        QMouseEvent e(QEvent::MouseMove, QPointF(p), QPointF(p), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&image, &e);
    };
    move(QPoint(10, 10));  // page (5, 5): outside
    move(QPoint(40, 30));  // page (20, 15): inside
    move(QPoint(58, 38));  // page (29, 19): inside, same link
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(40, 30), QPointF(40, 30), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&image, &press);
    move(QPoint(70, 30)); // page (35, 15): outside
    EXPECT_EQ(events, (QStringList{"0 INT:тест", "2 INT:тест", "1 "}));
}

} // namespace
} // namespace zorbel::test
