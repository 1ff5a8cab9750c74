// The report printer: unit conversion, recording into the store with its
// status posts, the states and their errors, printing directly and from the
// store through a PDF file device, report files and paper detection, links.
#include "report/RepPrinter.h"

#include "platform/system/ShellOpen.h"
#include "support/ChildProcess.h"

#include <QFile>
#include <QPrinterInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace zorbel {
namespace {

struct Post {
    unsigned Msg;
    intptr_t WParam, LParam;
    bool Sent;
};

struct RecordingTarget : TRepMessageTarget {
    std::vector<Post> Posts;
    void PostMessage(unsigned msg, intptr_t w, intptr_t l) override { Posts.push_back({msg, w, l, false}); }
    void SendMessage(unsigned msg, intptr_t w, intptr_t l) override { Posts.push_back({msg, w, l, true}); }
};

// A report printer that prints into a PDF file, as a set-up naming it makes it.
struct PdfPrinter : TRepPrinter {
    explicit PdfPrinter(const QString &file)
    {
        TRepPrinterSettings s;
        s.OutputFile = file;
        TakeSettings(s);
    }
};

QString PdfText(const QString &pdf)
{
    const test::TChildRun p = test::RunChild("pdftotext", {"-layout", pdf, "-"});
    EXPECT_TRUE(p.Finished);
    return QString::fromUtf8(p.Out);
}

int PdfPages(const QString &pdf)
{
    const test::TChildRun p = test::RunChild("pdfinfo", {pdf});
    EXPECT_TRUE(p.Finished);
    const QString info = QString::fromUtf8(p.Out);
    for (const QString &line : info.split('\n'))
        if (line.startsWith("Pages:"))
            return line.mid(6).trimmed().toInt();
    return -1;
}

// A run of pages, each with "Страница n" written 20 mm from the top left.
void RecordPages(TRepPrinter &printer, int pages)
{
    printer.BeginDoc();
    for (int n = 1; n <= pages; ++n) {
        printer.NewPage();
        TCanvas &canvas = printer.GetCanvas();
        canvas.Font = QFont(QStringLiteral("Liberation Sans"));
        canvas.Font.setPixelSize(printer.HeightToDevice(50));
        canvas.Brush.Style = TBrushStyle::bsClear;
        canvas.FontColor = clBlack;
        canvas.TextOut(printer.XToDevice(200), printer.YToDevice(200), QStringLiteral("Страница %1").arg(n));
    }
    printer.EndDoc();
}

QStringList PageTexts(TRepPrinter &printer, int n)
{
    QStringList texts;
    const std::unique_ptr<TMetafile> page = printer.GetPageMetafile(n);
    if (page)
        EnumMetafileTexts(page->Data(), [&](const TMetafileText &t) { texts << t.Text; });
    return texts;
}

TEST(RepPrinter, ConvertsTenthsOfAMillimetreToDevicePixels)
{
    QTemporaryDir dir;
    PdfPrinter printer(dir.filePath("out.pdf"));
    printer.Device().Device().setResolution(600);
    printer.SetDestination(TRepDestination::Printer);
    printer.BeginDoc();
    EXPECT_EQ(printer.XToDevice(printer.LeftOrigin()), 0);
    EXPECT_EQ(printer.WidthToDevice(254), 600);
    EXPECT_EQ(printer.HeightToDevice(25.4), 60);
    printer.AbortDoc();

    TRepPrinter preview;
    preview.BeginDoc();
    EXPECT_DOUBLE_EQ(preview.XScale(), 96 / 254.0);
    EXPECT_EQ(preview.WidthToDevice(2100), 794); // A4 at 96 dpi
    EXPECT_EQ(preview.YToDevice(2970), 1123);
    preview.EndDoc();
}

TEST(RepPrinter, RecordsPagesIntoTheStoreAndAnnouncesEachWhenComplete)
{
    TRepPrinter printer;
    RecordingTarget status;
    printer.StatusWindow = &status;
    RecordPages(printer, 3);
    EXPECT_EQ(printer.Status(), TRepStatus::Ready);
    EXPECT_EQ(printer.RecordedPages(), 3);
    ASSERT_EQ(status.Posts.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(status.Posts[size_t(i)].Msg, RP_AVAILABLEPAGES);
        EXPECT_FALSE(status.Posts[size_t(i)].Sent);
    }
    EXPECT_EQ(status.Posts[0].WParam, 1); // page 1 announced when page 2 opened
    EXPECT_EQ(status.Posts[1].WParam, 2);
    EXPECT_EQ(status.Posts[2].WParam, 3); // EndDoc: one more than announced so far
    EXPECT_EQ(PageTexts(printer, 2), QStringList{QStringLiteral("Страница 2")});
    const std::unique_ptr<TMetafile> page = printer.GetPageMetafile(1);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->Width(), 794);
    EXPECT_EQ(page->Height(), 1123);
    EXPECT_EQ(printer.GetPageMetafile(0), nullptr);
    EXPECT_EQ(printer.GetPageMetafile(4), nullptr);
    EXPECT_EQ(printer.PageList().StoredPages(), 3);
}

TEST(RepPrinter, StatesGuardTheDocumentCalls)
{
    TRepPrinter printer;
    EXPECT_EQ(printer.GetPageMetafile(1), nullptr);
    try {
        printer.NewPage();
        FAIL() << "NewPage while idle";
    } catch (const ERepError &e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Illegal call to NewPage"));
    }
    RecordPages(printer, 1);
    try {
        printer.BeginDoc();
        FAIL() << "BeginDoc while ready";
    } catch (const ERepError &e) {
        EXPECT_EQ(e.Message(), QStringLiteral("RepPrinter not ready"));
    }
    EXPECT_THROW(printer.NewPage(), ERepError);
}

TEST(RepPrinter, DetachingThePreviewCancelsABusyRun)
{
    TRepPrinter printer;
    int closed = 0;
    printer.OnClientClosed = [&](TRepPrinter &) { ++closed; };
    printer.SetClient(true);
    printer.BeginDoc();
    printer.NewPage();
    printer.SetClient(false);
    EXPECT_TRUE(printer.Cancelled());
    EXPECT_EQ(closed, 1);
    printer.AbortDoc();
    EXPECT_EQ(printer.Status(), TRepStatus::Ready);
    EXPECT_EQ(printer.RecordedPages(), 1); // the open page was kept
    EXPECT_NE(printer.GetPageMetafile(1), nullptr);
}

TEST(RepPrinter, PrintsOnlyThePageRangeDirectly)
{
    QTemporaryDir dir;
    const QString out = dir.filePath("range.pdf");
    PdfPrinter printer(out);
    ASSERT_TRUE(printer.PrintersAvailable());
    printer.SetDestination(TRepDestination::Printer);
    printer.FirstPage = 2;
    printer.LastPage = 3;
    int after = 0;
    printer.OnAfterPrint = [&](TRepPrinter &) { ++after; };
    RecordPages(printer, 5);
    EXPECT_EQ(after, 1);
    EXPECT_EQ(PdfPages(out), 2);
    const QString text = PdfText(out);
    EXPECT_TRUE(text.contains(QStringLiteral("Страница 2")));
    EXPECT_TRUE(text.contains(QStringLiteral("Страница 3")));
    EXPECT_FALSE(text.contains(QStringLiteral("Страница 1")));
    EXPECT_FALSE(text.contains(QStringLiteral("Страница 4")));
}

TEST(RepPrinter, PrintsStoredPagesThroughThePdfDevice)
{
    QTemporaryDir dir;
    const QString out = dir.filePath("stored.pdf");
    PdfPrinter printer(out);
    RecordPages(printer, 3);
    RecordingTarget status;
    printer.StatusWindow = &status;
    printer.Print();
    EXPECT_EQ(PdfPages(out), 3);
    const QString text = PdfText(out);
    for (int n = 1; n <= 3; ++n)
        EXPECT_TRUE(text.contains(QStringLiteral("Страница %1").arg(n))) << text.toStdString();
    ASSERT_EQ(status.Posts.size(), 3u);
    EXPECT_EQ(status.Posts.back().Msg, WM_USER);
    EXPECT_EQ(status.Posts.back().WParam, 100);
    EXPECT_EQ(status.Posts.front().WParam, 33);
}

TEST(RepPrinter, PrintAsksTheOwnerReportToRunAgainOnThePrinter)
{
    TRepPrinter printer;
    RecordingTarget report;
    printer.OwnerReport = &report;
    RecordPages(printer, 1);
    printer.Print();
    ASSERT_EQ(report.Posts.size(), 1u);
    EXPECT_EQ(report.Posts[0].Msg, RP_PRINTAGAIN);
    printer.ClosePreview();
    ASSERT_EQ(report.Posts.size(), 2u);
    EXPECT_EQ(report.Posts[1].Msg, RP_PREVIEWCLOSED);
    EXPECT_TRUE(report.Posts[1].Sent);
    EXPECT_EQ(report.Posts[1].LParam, reinterpret_cast<intptr_t>(&printer));
}

// Without a printer the PDF file stands in for one, so printing is offered;
// with no file named yet a print writes nothing and says it printed nothing.
TEST(RepPrinter, WithoutAPrinterOrANamedFilePrintingDoesNothing)
{
    if (!QPrinterInfo::availablePrinterNames().isEmpty())
        GTEST_SKIP() << "a printer is installed here";
    TRepPrinter printer;
    EXPECT_TRUE(printer.PrintersAvailable());
    EXPECT_FALSE(printer.Device().Available());
    int after = 0;
    printer.OnAfterPrint = [&](TRepPrinter &) { ++after; };
    RecordPages(printer, 1);
    printer.Print(); // nothing happens, nothing fails
    EXPECT_EQ(after, 0);
    printer.SetPrinterIndex(0);
    EXPECT_EQ(printer.Device().PrinterIndex(), -1);
}

TEST(RepPrinter, SavedReportLoadsWithItsPaper)
{
    QTemporaryDir dir;
    TRepPrinter landscape;
    landscape.Settings().PaperSize = rpA4;
    landscape.Settings().Orientation = true;
    landscape.SetCompression(true);
    RecordPages(landscape, 2);
    landscape.Save(dir.filePath("land.rep"));

    TRepPrinter reader;
    reader.Settings().PaperSize = 1;
    reader.OnPrintSetup = [](TRepPrinter &) {};
    reader.Load(dir.filePath("land.rep"));
    EXPECT_TRUE(reader.Loaded());
    EXPECT_EQ(reader.Status(), TRepStatus::Ready);
    EXPECT_EQ(reader.RecordedPages(), 2);
    EXPECT_EQ(reader.Settings().PaperSize, rpA4);
    EXPECT_TRUE(reader.Settings().Orientation);
    EXPECT_FALSE(reader.OnPrintSetup);
    EXPECT_EQ(PageTexts(reader, 2), QStringList{QStringLiteral("Страница 2")});

    // A size no table entry has leaves the paper as it was.
    TRepPrinter odd;
    odd.Settings().PaperSize = rpCustom;
    odd.Settings().PaperWidth = 1234;
    odd.Settings().PaperLength = 777;
    EXPECT_EQ(odd.PaperWidthValue(), 1234);
    EXPECT_EQ(odd.PaperLengthValue(), 777);
    RecordPages(odd, 1);
    odd.Save(dir.filePath("odd.rep"));
    TRepPrinter oddReader;
    oddReader.Settings().PaperSize = 5;
    oddReader.Load(dir.filePath("odd.rep"));
    EXPECT_EQ(oddReader.Settings().PaperSize, 5);
    EXPECT_FALSE(oddReader.Settings().Orientation);
}

TEST(RepPrinter, ADamagedReportFileLeavesThePrinterCleared)
{
    QTemporaryDir dir;
    QFile f(dir.filePath("bad.rep"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(500, '\x03'));
    f.close();
    TRepPrinter printer;
    RecordPages(printer, 2);
    EXPECT_THROW(printer.Load(dir.filePath("bad.rep")), ERepFileError);
    EXPECT_EQ(printer.Status(), TRepStatus::Idle);
    EXPECT_EQ(printer.RecordedPages(), 0);
    EXPECT_EQ(printer.GetPageMetafile(1), nullptr);
    EXPECT_FALSE(printer.Loaded());
}

TEST(RepPrinter, PaperFollowsCodeOrientationAndCustomSize)
{
    TRepPrinter printer;
    printer.Settings().PaperSize = rpA4;
    EXPECT_EQ(printer.PaperWidthValue(), 2100);
    EXPECT_EQ(printer.PaperLengthValue(), 2970);
    printer.SetOrientation(true);
    EXPECT_EQ(printer.PaperWidthValue(), 2970);
    EXPECT_EQ(printer.PaperLengthValue(), 2100);
    printer.Settings().PaperSize = 19; // Env9: 98.43 mm
    EXPECT_EQ(printer.PaperLengthValue(), 984);
    EXPECT_TRUE(printer.SetPaperSize(rpDefault));
    EXPECT_FALSE(printer.SetPaperSize(28));
}

TEST(RepPrinter, LinksOpenOnlyAddressesAndReachHandlers)
{
    std::vector<QUrl> opened;
    const TShellLauncher previous = SetShellLauncher([&](const QUrl &u) {
        opened.push_back(u);
        return true;
    });
    std::vector<QString> handled;
    RegisterRepLinkHandler("doc:", [&](TRepPrinter &, const QString &rest) { handled.push_back(rest); });
    TRepPrinter printer;
    printer.FollowLink("ext:https://example.org/a");
    printer.FollowLink("EXT:/usr/bin/xterm");
    printer.FollowLink("INT:doc:42");
    printer.FollowLink("INT:unknown");
    printer.FollowLink("doc:7");
    printer.FollowLink("mailto:someone@example.org");
    ClearRepLinkHandlers();
    SetShellLauncher(previous);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0].toString(), "https://example.org/a");
    EXPECT_EQ(opened[1].scheme(), "mailto");
    EXPECT_EQ(handled, (std::vector<QString>{"42", "7"}));
}

} // namespace
} // namespace zorbel
