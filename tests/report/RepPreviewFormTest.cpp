// The standard preview window over a report run in the background: page
// commands and keys, progress, text search (Latin and Cyrillic), report files
// saved and loaded, exports (also of a loaded file), printing into a PDF file,
// the printer set-up, and a background run cancelled at random moments while
// the window thread reads its pages.
#include "RepReportSupport.h"
#include "report/RepPreviewForm.h"
#include "report/RepPrintDialog.h"

#include "platform/widgets/ModalScript.h"
#include "support/ChildProcess.h"
#include "support/WallClock.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QPrintDialog>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <ctime>

namespace zorbel::test {
namespace {

void Snapshot(QWidget &w, const QString &name)
{
    const QString dir = qEnvironmentVariable("ZORBEL_SCREENSHOTS");
    if (!dir.isEmpty())
        w.grab().save(QDir(dir).filePath(name + QStringLiteral(".png")));
}

// Handles events until the condition holds (at most ten seconds).
template <class F> bool WaitFor(F done)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

TRepStandardPreview *OpenPreview()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *p = dynamic_cast<TRepStandardPreview *>(w); p && p->isVisible() && p->Printer())
            return p;
    return nullptr;
}

// Ten lines a page; page n holds "Итого" and "TOTAL" when n is 2 or 5.
struct PreviewReport : ListReport {
    explicit PreviewReport(int pages)
    {
        for (int i = 1; i <= pages * 10; ++i) {
            const int page = (i - 1) / 10 + 1;
            table->Append();
            table->FieldByName(QStringLiteral("nm"))
                ->SetAsString((page == 2 || page == 5) && i % 10 == 3 ? QStringLiteral("Итого TOTAL %1").arg(page)
                                                                      : QStringLiteral("Строка %1").arg(i));
            table->Post();
        }
        Add(rbDetail, 270).Add(Expr(QStringLiteral("nm"), 0, 0));
        report.ReportTitle = QStringLiteral("Отчёт за год");
        report.PrevShowThumbs = true;
        report.PrevShowSearch = true;
        report.PrevInitialZoom = TRepZoomState::qrZoomToWidth;
    }
    TRepStandardPreview &Preview()
    {
        report.GenerateInThread(false);
        EXPECT_TRUE(WaitFor([&] {
            return !report.RunningInBackground() || (report.RepPrinter && report.RepPrinter->Status() == TRepStatus::Ready);
        }));
        WaitFor([&] { return !report.RunningInBackground(); });
        TRepStandardPreview *p = OpenPreview();
        EXPECT_NE(p, nullptr);
        WaitFor([&] { return p->Printer()->RecordedPages() == p->ThumbGrid->rowCount(); });
        return *p;
    }
};

class RepPreviewFormTest : public ::testing::Test {
protected:
    void SetUp() override { RegisterReportWindows(); }
    void TearDown() override
    {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *p = dynamic_cast<TRepStandardPreview *>(w))
                p->close();
        QCoreApplication::processEvents();
        RepPreviewInterface().reset();
        RepProgressWindowFactory() = nullptr;
        RepPrinterSetupHandler() = nullptr;
    }
};

TEST_F(RepPreviewFormTest, PagesKeysAndGoToPage)
{
    PreviewReport r(6);
    TRepStandardPreview &p = r.Preview();
    ASSERT_EQ(p.Printer()->RecordedPages(), 6);
    EXPECT_EQ(p.Caption(), QStringLiteral("Отчёт за год"));
    EXPECT_EQ(p.StatusBar->PanelText(1), QStringLiteral("Page 1 of 6"));
    EXPECT_EQ(p.StatusBar->PanelText(2), QStringLiteral("Отчёт за год"));
    EXPECT_TRUE(p.Print->isEnabled());
    EXPECT_TRUE(p.ZoomToWidth->Down());

    auto key = [&](WORD k, Qt::KeyboardModifiers mods) {
        QKeyEvent press(QEvent::KeyPress, k == VK_NEXT ? Qt::Key_PageDown : k == VK_PRIOR ? Qt::Key_PageUp
                                                        : k == VK_END ? Qt::Key_End : Qt::Key_Home, mods);
        QApplication::sendEvent(p.RepPreview, &press);
    };
    key(VK_NEXT, Qt::ControlModifier);
    EXPECT_EQ(p.RepPreview->PageNumber(), 6);
    EXPECT_EQ(p.ThumbGrid->currentRow(), 5);
    key(VK_HOME, Qt::NoModifier);
    key(VK_NEXT, Qt::ControlModifier | Qt::ShiftModifier); // not Ctrl alone: next page
    EXPECT_EQ(p.RepPreview->PageNumber(), 2);
    key(VK_PRIOR, Qt::ControlModifier);
    EXPECT_EQ(p.RepPreview->PageNumber(), 1);
    p.ToolButton2->Click();
    p.ToolButton2->Click();
    EXPECT_EQ(p.StatusBar->PanelText(1), QStringLiteral("Page 3 of 6"));
    p.LastPage->Click();
    p.ToolButton2->Click(); // beyond the last page: nothing
    EXPECT_EQ(p.RepPreview->PageNumber(), 6);

    // Go to page: 0, letters and a number above the count give page 1.
    for (const QString &typed : {QStringLiteral("4"), QStringLiteral("0"), QStringLiteral("4"), QStringLiteral("abc"),
                                 QStringLiteral("4"), QStringLiteral("99")}) {
        TModalScript script;
        QString caption;
        script.Then([&](TForm &f) {
            caption = f.Caption();
            f.findChild<TEdit *>(QStringLiteral("Value"))->SetText(typed);
            f.SetModalResult(mrOk);
        });
        p.GotoPageButton->Click();
        EXPECT_EQ(caption, QStringLiteral("Select a page from 1 to 6"));
        EXPECT_EQ(p.RepPreview->PageNumber(), typed == QStringLiteral("4") ? 4 : 1) << typed.toStdString();
    }

    p.resize(900, 700);
    p.RepPreview->SetZoom(100);
    Snapshot(p, QStringLiteral("preview-100"));
    p.ZoomFit->Click();
    EXPECT_EQ(p.RepPreview->ZoomState(), TRepZoomState::qrZoomToFit);
    Snapshot(p, QStringLiteral("preview-fit"));
}

// CPU time this thread has used, in milliseconds.
double ThreadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

TEST_F(RepPreviewFormTest, APreviewRunOnTheWindowThreadWaitsIdlyUntilItIsClosed)
{
    PreviewReport r(2);
    bool sawPreview = false;
    QElapsedTimer wall;
    // The preview is closed once both pages are recorded and 600 ms have
    // passed (a loaded machine may take longer to record them), or after 30 s.
    QTimer poll;
    poll.setInterval(50);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        TRepStandardPreview *p = OpenPreview();
        if (!p)
            return;
        sawPreview = p->Printer()->RecordedPages() == 2;
        if ((sawPreview && wall.elapsed() >= test::WallClockBound(600)) || wall.elapsed() > 30000) {
            poll.stop();
            p->close();
        }
    });
    poll.start();
    wall.start();
    const double cpu0 = ThreadCpuMs();
    r.report.RunPreview(); // returns once the preview is closed
    const double cpu = ThreadCpuMs() - cpu0;
    const qint64 elapsed = wall.elapsed();
    EXPECT_TRUE(sawPreview);
    EXPECT_EQ(OpenPreview(), nullptr);
    EXPECT_GE(elapsed, 500);
    // Waiting for the user is no busy loop: the thread sleeps most of the time.
    EXPECT_LT(cpu, elapsed * 0.4) << cpu << " ms of CPU in " << elapsed << " ms";
}

TEST_F(RepPreviewFormTest, ProgressShowsEveryFifthPercentAndEmptiesAtTheEnds)
{
    // A window of its own: the run's own progress notices do not interfere.
    TRepPrinter printer;
    TRepStandardPreview p(printer);
    EXPECT_EQ(p.StatusBar->PanelText(0), QStringLiteral("0%"));
    // The bar made with the window stays out of sight over the panels.
    EXPECT_EQ(p.ProgressBar->parentWidget(), p.StatusBar);
    EXPECT_EQ(p.ProgressBar->geometry(), QRect(2, 2, 100, 10));
    p.show();
    EXPECT_FALSE(p.ProgressBar->isVisible());
    p.RepPreview->SendMessage(WM_USER, 3, 0);
    EXPECT_EQ(p.StatusBar->PanelText(0), QStringLiteral("0%"));
    p.RepPreview->SendMessage(WM_USER, 5, 0);
    EXPECT_EQ(p.StatusBar->PanelText(0), QStringLiteral("5%"));
    p.RepPreview->SendMessage(WM_USER, 8, 0);
    EXPECT_EQ(p.StatusBar->PanelText(0), QStringLiteral("5%"));
    p.RepPreview->SendMessage(WM_USER, 100, 0);
    EXPECT_EQ(p.StatusBar->PanelText(0), QString());
}

TEST_F(RepPreviewFormTest, SearchFindsLatinAndCyrillicWholeCharacters)
{
    PreviewReport r(6);
    TRepStandardPreview &p = r.Preview();
    auto results = [&] {
        QStringList s;
        for (int i = 0; i < p.SearchResultBox->count(); ++i)
            s << p.SearchResultBox->item(i)->text();
        return s;
    };
    p.Search(QStringLiteral("итого"), false);
    EXPECT_EQ(results(), QStringList({QStringLiteral("Page 2"), QStringLiteral("Page 5")}));
    EXPECT_TRUE(p.SearchResultBox->isEnabled());
    EXPECT_EQ(p.SearchTextLabel->Caption(), QStringLiteral("итого"));
    p.Search(QStringLiteral("total"), false);
    EXPECT_EQ(results(), QStringList({QStringLiteral("Page 2"), QStringLiteral("Page 5")}));
    p.Search(QStringLiteral("total"), true);
    EXPECT_EQ(results(), QStringList({QStringLiteral("No matching text")}));
    EXPECT_FALSE(p.SearchResultBox->isEnabled());
    // A letter whose low byte matches another's is not a match: "И" (U+0418)
    // and "\x18" share the low byte.
    p.Search(QString(QChar(0x0418)) + QStringLiteral("tOGO"), false);
    EXPECT_EQ(results(), QStringList({QStringLiteral("No matching text")}));

    // Through the dialog: Cancel does nothing, Search runs.
    TModalScript script;
    script.Then([](TForm &f) {
        EXPECT_EQ(f.Caption(), QStringLiteral("Report Preview : Text Search"));
        f.findChild<TEdit *>(QStringLiteral("Edit1"))->SetText(QStringLiteral("Строка 45"));
        f.findChild<TSpeedButton *>(QStringLiteral("SpeedButton1"))->Click();
    });
    script.Then([](TForm &f) {
        f.findChild<TEdit *>(QStringLiteral("Edit1"))->SetText(QStringLiteral("Строка 45"));
        Snapshot(f, QStringLiteral("preview-search"));
        f.findChild<TSpeedButton *>(QStringLiteral("SpeedButton2"))->Click();
    });
    p.FindButton->Click();
    EXPECT_EQ(results(), QStringList({QStringLiteral("No matching text")})); // unchanged by Cancel
    p.FindButton->Click();
    EXPECT_EQ(results(), QStringList({QStringLiteral("Page 5")}));
    EXPECT_TRUE(script.Finished());
}

// A writer that keeps the texts it is handed.
struct CollectingFilter : TRepExportFilter {
    using TRepExportFilter::TRepExportFilter;
    static inline QStringList Texts;
    QString GetDialogName() const override { return QStringLiteral("Collect"); }
    QString GetFileExtension() const override { return QStringLiteral("col"); }
    QString GetDescriptionText() const override { return QStringLiteral("Collected texts"); }
    void PutText(double, double, const QFont &, TColor, unsigned, TAlignment, const QString &text) override
    {
        Texts << text;
    }
};

TEST_F(RepPreviewFormTest, SaveDialogGivesATypedNameTheChosenTypesExtension)
{
    QTemporaryDir dir;
    const QString filter = QStringLiteral("Report file(*.REP)|*.REP|Text file (*.TXT)|*.TXT|Excel spreadsheet (*.XLS)|*.XLS");
    struct Case {
        int Type;       // the entry the user picks, 0-based
        QString Typed;  // what the user types
        QString Written;
    };
    const std::vector<Case> cases = {{1, QStringLiteral("year"), QStringLiteral("year.TXT")},
                                     {2, QStringLiteral("year"), QStringLiteral("year.XLS")},
                                     {0, QStringLiteral("year"), QStringLiteral("year.REP")},
                                     {2, QStringLiteral("year.xls"), QStringLiteral("year.xls")}};
    for (const Case &c : cases) {
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            // The user picks the type in the list, types a name and saves.
            auto *types = box->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
            ASSERT_NE(types, nullptr);
            types->setCurrentIndex(c.Type);
            emit types->activated(c.Type);
            emit types->textActivated(types->currentText());
            box->selectFile(c.Typed);
            QMetaObject::invokeMethod(box, "accept");
        });
        QString name = dir.path() + QLatin1Char('/');
        int index = 0;
        ASSERT_TRUE(RunDesktopFileDialog(true, QStringLiteral("Save report"), filter, name, index));
        EXPECT_EQ(QFileInfo(name).fileName(), c.Written);
        EXPECT_EQ(index, c.Type + 1);
    }
}

QString PdfText(const QString &pdf);

TEST_F(RepPreviewFormTest, SaveLoadExportAndMissingFiles)
{
    QTemporaryDir dir;
    PreviewReport r(5);
    TRepStandardPreview &p = r.Preview();
    const QString rep = dir.filePath(QStringLiteral("year.rep"));
    QString asked;
    RepFileDialog() = [&](bool save, const QString &title, const QString &filter, QString &name, int &index) {
        asked = title + QLatin1Char('|') + filter;
        name = save ? rep : rep;
        index = 1;
        return true;
    };
    p.SaveReport->Click();
    ASSERT_TRUE(QFile::exists(rep));
    EXPECT_TRUE(asked.startsWith(QStringLiteral("Save report|Report file")));

    // Export through the library's entry 2: the report runs again into it.
    TRepFilterComponent<CollectingFilter> registered;
    CollectingFilter::Texts.clear();
    RepFileDialog() = [&](bool, const QString &, const QString &filter, QString &name, int &index) {
        EXPECT_TRUE(filter.contains(QStringLiteral("*.col")));
        name = dir.filePath(QStringLiteral("out.col"));
        index = 2;
        return true;
    };
    p.SaveReport->Click();
    EXPECT_EQ(CollectingFilter::Texts.size(), 50);
    EXPECT_TRUE(CollectingFilter::Texts.contains(QStringLiteral("Итого TOTAL 5")));
    EXPECT_EQ(p.Printer()->RecordedPages(), 5); // the preview's pages are untouched

    // A missing file and a broken one leave the preview as it was.
    const std::vector<PageText> before = TextsOf(*p.Printer(), 3);
    for (const QString &bad : {dir.filePath(QStringLiteral("gone.rep")), dir.filePath(QStringLiteral("broken.rep"))}) {
        if (bad.endsWith(QStringLiteral("broken.rep"))) {
            QFile f(bad);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write("not a report file at all");
        }
        TModalScript script;
        script.Press(QStringLiteral("OK"));
        EXPECT_FALSE(p.LoadFile(bad));
        ASSERT_EQ(script.Seen().size(), 1u);
        if (bad.endsWith(QStringLiteral("gone.rep"))) {
            // The framework's error box ends a message with a full stop.
            EXPECT_EQ(script.Seen()[0].Text, QStringLiteral("File does not exist."));
        }
        EXPECT_EQ(p.Printer()->RecordedPages(), 5);
        EXPECT_EQ(TextsOf(*p.Printer(), 3).size(), before.size());
    }

    // Loading gives the same pages; its export needs the run and says so.
    TRepPrinter saved;
    saved.Load(rep);
    p.Close();
    QCoreApplication::processEvents();
    TRepPrinter loaded;
    loaded.Load(rep);
    TRepStandardPreview view(loaded);
    view.show();
    ASSERT_TRUE(view.LoadFile(rep));
    EXPECT_EQ(TRepStandardPreview::StatusTitle(), rep);
    EXPECT_FALSE(view.PrintSetup->isEnabled());
    EXPECT_TRUE(view.Print->isEnabled());
    ASSERT_EQ(loaded.RecordedPages(), 5);
    for (int n = 1; n <= 5; ++n) {
        const auto a = TextsOf(saved, n), b = TextsOf(loaded, n);
        ASSERT_EQ(a.size(), b.size());
        for (size_t i = 0; i < a.size(); ++i)
            EXPECT_EQ(a[i].Text, b[i].Text);
    }
    // Print with nowhere to print (no printer here, no file named): the
    // print dialog asks where, and the loaded pages go there.
    if (loaded.Device().Printers().isEmpty()) {
        const QString pdf = dir.filePath(QStringLiteral("loaded.pdf"));
        bool asked = false;
        QTimer::singleShot(0, [&] {
            auto *d = qobject_cast<QPrintDialog *>(QApplication::activeModalWidget());
            ASSERT_NE(d, nullptr);
            auto *name = d->findChild<QLineEdit *>(QStringLiteral("filename"));
            ASSERT_NE(name, nullptr);
            name->setText(pdf);
            asked = true;
            d->accept();
        });
        view.Print->Click();
        EXPECT_TRUE(asked);
        const QString text = PdfText(pdf);
        EXPECT_TRUE(text.contains(QStringLiteral("Итого TOTAL 5"))) << text.left(300).toStdString();
    }
    TModalScript script;
    script.Press(QStringLiteral("OK"));
    view.SaveReport->Click();
    ASSERT_EQ(script.Seen().size(), 1u);
    EXPECT_EQ(script.Seen()[0].Text, RepStoredExportText());
    RepFileDialog() = nullptr;
}

QString PdfText(const QString &pdf)
{
    const test::TChildRun p = test::RunChild(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    EXPECT_TRUE(p.Finished);
    return QString::fromUtf8(p.Out);
}

TEST_F(RepPreviewFormTest, PrintRunsAgainOnThePrinterAndSetupCanBeCancelled)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("printed.pdf"));
    PreviewReport r(3);
    r.report.PrinterSettings.OutputFile = pdf; // as its set-up names it
    int printed = 0;
    r.report.AfterPrint = [&](TCustomBandReport &) { ++printed; };
    TRepStandardPreview &p = r.Preview();
    TRepPrinter *shown = p.Printer();
    p.Print->Click();
    ASSERT_TRUE(WaitFor([&] { return QFile::exists(pdf) && printed > 0; }));
    const QString text = PdfText(pdf);
    EXPECT_TRUE(text.contains(QStringLiteral("Итого TOTAL 2"))) << text.left(400).toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Строка 30")));
    EXPECT_EQ(r.report.RepPrinter, shown); // the preview's printer is back

    // Set-up: cancelled sets Tag 1, confirmed Tag 0 with the chosen range.
    QTimer::singleShot(0, [] {
        if (auto *d = qobject_cast<QPrintDialog *>(QApplication::activeModalWidget()))
            d->reject();
    });
    p.PrintSetup->Click();
    EXPECT_EQ(r.report.Tag, 1);
    QTimer::singleShot(0, [] {
        if (auto *d = qobject_cast<QPrintDialog *>(QApplication::activeModalWidget())) {
            Snapshot(*d, QStringLiteral("preview-print-dialog"));
            d->accept();
        }
    });
    p.PrintSetup->Click();
    EXPECT_EQ(r.report.Tag, 0);
    EXPECT_EQ(r.report.PrinterSettings.FirstPage, 0); // all pages
}

TEST_F(RepPreviewFormTest, ClosingDuringABackgroundRunCancelsItAndAllowsAnother)
{
    PreviewReport r(400);
    r.report.GenerateInThread(false);
    TRepStandardPreview *p = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (p = OpenPreview()) && p->Printer()->RecordedPages() >= 1; }));
    p->close();
    EXPECT_FALSE(r.report.RunningInBackground());
    EXPECT_TRUE(r.report.Available);
    EXPECT_EQ(r.report.RepPrinter, nullptr);
    QCoreApplication::processEvents();
    // Previewed again, to the end.
    TRepStandardPreview &again = r.Preview();
    EXPECT_EQ(again.Printer()->RecordedPages(), 400);
}

TEST_F(RepPreviewFormTest, BackgroundRunCancelledAtRandomMomentsWhileItsPagesAreRead)
{
    RepPreviewInterface().reset(); // no window: the test reads the pages itself
    PreviewReport r(2000);
    QRandomGenerator random(20261209);
    int sawPages = 0;
    for (int round = 0; round < 100; ++round) {
        r.report.GenerateInThread(false);
        TRepPrinter *printer = r.report.RepPrinter;
        ASSERT_NE(printer, nullptr);
        const int stopAfter = int(random.bounded(40));
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < stopAfter) {
            const int stored = printer->AvailablePages();
            if (stored > 0) {
                const int n = 1 + int(random.bounded(stored));
                if (std::unique_ptr<TMetafile> page = printer->GetPageMetafile(n)) {
                    EXPECT_FALSE(page->Data().isEmpty());
                    ++sawPages;
                }
            }
            QCoreApplication::processEvents();
        }
        r.report.WaitForRun();
        ASSERT_FALSE(r.report.RunningInBackground());
        ASSERT_TRUE(r.report.Available);
        QCoreApplication::processEvents();
    }
    EXPECT_GT(sawPages, 0);
}

} // namespace
} // namespace zorbel::test
