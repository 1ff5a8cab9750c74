// The print dialog (driven through Qt's real dialog) and the progress window
// of print and export runs.
#include "report/RepPrintDialog.h"
#include "report/RepProgress.h"

#include "platform/widgets/ModalScript.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPrintDialog>
#include <QRadioButton>
#include <QSpinBox>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <thread>

namespace zorbel {
namespace {

void Snapshot(QWidget &w, const QString &name)
{
    const QString dir = qEnvironmentVariable("ZORBEL_SCREENSHOTS");
    if (!dir.isEmpty())
        w.grab().save(QDir(dir).filePath(name + QStringLiteral(".png")));
}

// Answers the next print dialog that opens: the step sees it open, may
// change it, and decides whether to confirm it.
void AnswerPrintDialog(std::function<bool(QPrintDialog &)> step)
{
    QTimer::singleShot(0, [step] {
        auto *dialog = qobject_cast<QPrintDialog *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        if (step(*dialog))
            dialog->accept();
        else
            dialog->reject();
    });
}

// The user's choices, made on the dialog's own controls.
void ChoosePages(QPrintDialog &d, int from, int to)
{
    d.findChild<QRadioButton *>(QStringLiteral("printRange"))->click();
    d.findChild<QSpinBox *>(QStringLiteral("to"))->setValue(to);
    d.findChild<QSpinBox *>(QStringLiteral("from"))->setValue(from);
}

void SetCopies(QPrintDialog &d, int copies) { d.findChild<QSpinBox *>(QStringLiteral("copies"))->setValue(copies); }

class RepPrintDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        printer_.SetOutputFile(dir_.filePath(QStringLiteral("out.pdf")));
    }
    QTemporaryDir dir_;
    TPrinter printer_;
};

TEST_F(RepPrintDialogTest, CancelledDialogChangesNothing)
{
    TRepPrintDialog dialog(&printer_);
    dialog.Options = poPageNums | poWarning;
    dialog.MinPage = 1;
    dialog.MaxPage = 40;
    dialog.FromPage = 1;
    dialog.ToPage = 40;
    dialog.Copies = 3;
    const int copiesBefore = printer_.Device().copyCount();
    int shown = 0, closed = 0;
    dialog.OnShow = [&](TObject *) { ++shown; };
    dialog.OnClose = [&](TObject *) { ++closed; };
    AnswerPrintDialog([](QPrintDialog &d) {
        ChoosePages(d, 5, 6);
        SetCopies(d, 7);
        return false;
    });
    EXPECT_FALSE(dialog.Execute());
    EXPECT_EQ(dialog.PrintRange, TPrintRange::prAllPages);
    EXPECT_EQ(dialog.FromPage, 1);
    EXPECT_EQ(dialog.ToPage, 40);
    EXPECT_EQ(dialog.Copies, 3);
    EXPECT_EQ(printer_.Device().copyCount(), copiesBefore);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(closed, 1);
}

TEST_F(RepPrintDialogTest, ConfirmedDialogHandsBackRangeCopiesAndDevice)
{
    TRepPrintDialog dialog(&printer_);
    dialog.Options = poPageNums | poWarning;
    dialog.MinPage = 1;
    dialog.MaxPage = 12;
    dialog.FromPage = 1;
    dialog.ToPage = 12;
    dialog.Orientation = 2;
    QPoint where;
    QSize size;
    QAbstractPrintDialog::PrintDialogOptions options;
    AnswerPrintDialog([&](QPrintDialog &d) {
        where = d.frameGeometry().topLeft();
        size = d.frameGeometry().size();
        options = d.options();
        Snapshot(d, QStringLiteral("print-dialog"));
        ChoosePages(d, 3, 7);
        SetCopies(d, 2);
        return true;
    });
    ASSERT_TRUE(dialog.Execute());
    EXPECT_EQ(dialog.PrintRange, TPrintRange::prPageNums);
    EXPECT_EQ(dialog.FromPage, 3);
    EXPECT_EQ(dialog.ToPage, 7);
    EXPECT_EQ(dialog.Copies, 2);
    EXPECT_FALSE(dialog.PrintToFile); // no file box was offered
    // The printer still prints into its file.
    EXPECT_EQ(printer_.Device().outputFileName(), dir_.filePath(QStringLiteral("out.pdf")));
    EXPECT_EQ(printer_.Device().outputFormat(), QPrinter::PdfFormat);
    EXPECT_EQ(dialog.Orientation, 2); // the landscape asked for came through
    EXPECT_EQ(dialog.DuplexCode, 1);
    EXPECT_FALSE(dialog.Duplex);
    EXPECT_EQ(dialog.PaperSize, 9); // A4
    EXPECT_NEAR(dialog.Paperwidth, 2100, 1);
    EXPECT_NEAR(dialog.Paperlength, 2970, 1);
    EXPECT_EQ(dialog.Device, printer_.OutputFile());
    // Page numbers offered, no selection; the file device is offered as the
    // printer it is.
    EXPECT_TRUE(options.testFlag(QAbstractPrintDialog::PrintPageRange));
    EXPECT_FALSE(options.testFlag(QAbstractPrintDialog::PrintSelection));
    EXPECT_TRUE(options.testFlag(QAbstractPrintDialog::PrintToFile));
    // Centred across, a third of the free height above.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_NEAR(where.x(), (screen.width() - size.width()) / 2, 2);
    EXPECT_NEAR(where.y(), (screen.height() - size.height()) / 3, 2);
}

TEST_F(RepPrintDialogTest, OneCopyKeepsTheDriversCount)
{
    printer_.Device().setCopyCount(4);
    TRepPrintDialog dialog(&printer_);
    AnswerPrintDialog([](QPrintDialog &d) {
        SetCopies(d, 1);
        return true;
    });
    ASSERT_TRUE(dialog.Execute());
    EXPECT_GE(dialog.Copies, 1);
    EXPECT_EQ(dialog.Copies, std::max(1, printer_.Device().copyCount()));
}

TEST_F(RepPrintDialogTest, EmptyOptionsOfferNeitherPagesNorSelectionButThePdfFile)
{
    TRepPrintDialog dialog(&printer_);
    dialog.Options = poSelection | poPrintToFile | poDisablePrintToFile;
    QAbstractPrintDialog::PrintDialogOptions seen;
    AnswerPrintDialog([&](QPrintDialog &d) {
        seen = d.options();
        return false;
    });
    dialog.Execute();
    EXPECT_TRUE(seen.testFlag(QAbstractPrintDialog::PrintSelection));
    EXPECT_FALSE(seen.testFlag(QAbstractPrintDialog::PrintToFile)); // disabled wins
    EXPECT_FALSE(seen.testFlag(QAbstractPrintDialog::PrintPageRange));

    dialog.Options = 0;
    printer_.SetOutputFile(QString()); // a printer, not a file device
    AnswerPrintDialog([&](QPrintDialog &d) {
        seen = d.options();
        return false;
    });
    dialog.Execute();
    EXPECT_FALSE(seen.testFlag(QAbstractPrintDialog::PrintSelection));
    EXPECT_FALSE(seen.testFlag(QAbstractPrintDialog::PrintPageRange));
    // The PDF file is one of the printers (the only one without CUPS), not
    // the desktop's "print to file" box: offered unless that is disabled.
    EXPECT_TRUE(seen.testFlag(QAbstractPrintDialog::PrintToFile));
}

// Without a printer the dialog offers the PDF file from the first print on
// (it was offered only after a chart had printed into one): the warning
// comes only where printing to a file is disabled, and only when asked for.
TEST_F(RepPrintDialogTest, MissingPrinterOffersThePdfFileAndWarnsOnlyWithoutIt)
{
    TPrinter bare; // no printer installed here and no file device
    if (!bare.Printers().isEmpty())
        GTEST_SKIP() << "this machine has printers";
    TRepPrintDialog dialog(&bare);
    dialog.Options = poWarning | poPageNums;
    const QString file = dir_.filePath(QStringLiteral("first.pdf"));
    AnswerPrintDialog([&](QPrintDialog &d) {
        auto *name = d.findChild<QLineEdit *>(QStringLiteral("filename"));
        EXPECT_TRUE(name && name->isEnabled()); // the PDF file is the printer chosen
        if (name)
            name->setText(file);
        return true;
    });
    EXPECT_TRUE(dialog.Execute());
    EXPECT_EQ(bare.OutputFile(), file);
    EXPECT_TRUE(bare.Available());

    TPrinter none;
    TRepPrintDialog warned(&none);
    warned.Options = poWarning | poDisablePrintToFile;
    TModalScript script;
    script.Press(QStringLiteral("OK"));
    EXPECT_FALSE(warned.Execute());
    ASSERT_EQ(script.Seen().size(), 1u);
    EXPECT_EQ(script.Seen()[0].Text, RepNoPrinterText());

    warned.Options = poDisablePrintToFile; // no warning: the dialog itself opens
    bool opened = false;
    AnswerPrintDialog([&](QPrintDialog &) {
        opened = true;
        return false;
    });
    EXPECT_FALSE(warned.Execute());
    EXPECT_TRUE(opened);
}

TEST(RepProgressFormTest, ShowsEveryFifthPercentAndCancels)
{
    TRepPrinter printer;
    TRepProgressForm form(printer);
    EXPECT_EQ(form.Caption(), QStringLiteral("Printing progress"));
    EXPECT_GE(form.ClientWidth(), 149);
    EXPECT_GE(form.ClientHeight(), 97);
    const QString before = form.Info->Caption();
    for (int p : {3, 7}) {
        printer.SetProgress(p);
        form.SendMessage(WM_USER, p, 0);
        EXPECT_EQ(form.Gauge->Position(), 0);
        EXPECT_EQ(form.Info->Caption(), before);
    }
    printer.SetProgress(10);
    form.SendMessage(WM_USER, 10, 0);
    EXPECT_EQ(form.Gauge->Position(), 10);
    EXPECT_EQ(form.Info->Caption(), QStringLiteral("10%  Completed"));
    form.Show();
    Snapshot(form, QStringLiteral("print-progress"));
    // A writer names its work in the caption, from any thread.
    static_cast<TRepMessageTarget &>(form).SetStatusCaption(QStringLiteral("Writing XLS file..."));
    EXPECT_EQ(form.Caption(), QStringLiteral("Writing XLS file..."));
    std::thread([&form] { form.SetStatusCaption(QStringLiteral("Printing progress")); }).join();
    QCoreApplication::processEvents();
    EXPECT_EQ(form.Caption(), QStringLiteral("Printing progress"));

    EXPECT_FALSE(printer.Cancelled());
    form.CancelButton->Click();
    EXPECT_TRUE(printer.Cancelled());
}

// The title is whole (a window manager cuts a title wider than the window
// to "Pr... ss"), also a writer's longer one, and the parts lie inside the
// window at the small and at a large font.
TEST(RepProgressFormTest, TitleAndPartsFitAtEveryFontSize)
{
    const QFont kept = QApplication::font();
    for (int points : {8, 16}) {
        QFont f = kept;
        f.setPointSize(points);
        QApplication::setFont(f);
        TRepPrinter printer;
        TRepProgressForm form(printer);
        EXPECT_GE(form.ClientWidth(), form.CaptionWidth()) << points;
        form.SetStatusCaption(QStringLiteral("Writing the Comma separated text file..."));
        EXPECT_GE(form.ClientWidth(), form.CaptionWidth()) << points;
        const QRect client = form.rect();
        printer.SetProgress(100);
        form.SendMessage(WM_USER, 100, 0);
        for (QWidget *part : {static_cast<QWidget *>(form.Gauge), static_cast<QWidget *>(form.Info),
                              static_cast<QWidget *>(form.CancelButton)})
            EXPECT_TRUE(client.contains(part->geometry())) << points << " " << part->objectName().toStdString();
        const QFontMetrics fm(form.Info->font());
        EXPECT_LE(fm.horizontalAdvance(form.Info->Caption()), form.Info->width()) << points;
        EXPECT_LE(fm.height(), form.Info->height()) << points;
        EXPECT_GE(form.CancelButton->height(), form.CancelButton->sizeHint().height()) << points;
    }
    QApplication::setFont(kept);
}

TEST(RepProgressFormTest, NoticesPostedFromAnotherThreadArriveOnTheWindowThread)
{
    TRepPrinter printer;
    TRepProgressForm form(printer);
    printer.StatusWindow = &form;
    std::thread worker([&] {
        for (int p = 1; p <= 45; ++p)
            printer.SetProgress(p);
    });
    worker.join();
    EXPECT_EQ(form.Gauge->Position(), 0); // nothing handled yet
    QCoreApplication::processEvents();
    EXPECT_EQ(form.Gauge->Position(), 45);
    EXPECT_EQ(form.Info->Caption(), QStringLiteral("45%  Completed"));
    printer.StatusWindow = nullptr;
}

TEST(RepProgressFormTest, RegisteredWindowShowsWhilePrintingStoredPages)
{
    RegisterRepProgressWindow();
    TRepPrinter printer;
    std::unique_ptr<TRepMessageTarget> window = RepProgressWindowFactory()(printer);
    auto *form = dynamic_cast<TRepProgressForm *>(window.get());
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(form->isVisible());
    RepProgressWindowFactory() = nullptr;
}

// The question before a print replaces a file names the file and answers
// yes only to "Да": Enter, Escape and the title bar keep the file, whichever
// button had the focus (Enter on the focused "Да" replaced it).
TEST(RepReplaceFileQuestion, OnlyYesReplaces)
{
    const QString file = QStringLiteral("/tmp/отчёт за год.pdf");
    struct TCase {
        const char *Name;
        std::function<void(TModalScript &)> Answer;
        bool Yes;
    };
    const TCase cases[] = {
        {"yes", [](TModalScript &s) { s.Press(QStringLiteral("Yes")); }, true},
        {"no", [](TModalScript &s) { s.Press(QStringLiteral("No")); }, false},
        {"enter", [](TModalScript &s) { s.Then([](TForm &f) { SendKeyToFocus(f, Qt::Key_Return); }); }, false},
        {"escape", [](TModalScript &s) { s.Then([](TForm &f) { SendKeyToFocus(f, Qt::Key_Escape); }); }, false},
        {"title bar", [](TModalScript &s) { s.CloseFromTitleBar(); }, false},
    };
    for (const TCase &c : cases) {
        TModalScript script;
        c.Answer(script);
        EXPECT_EQ(AskReplacePrintFile(file), c.Yes) << c.Name;
        EXPECT_TRUE(script.Finished()) << c.Name << ": " << script.Errors().join(u'|').toStdString();
        ASSERT_EQ(script.Seen().size(), 1u) << c.Name;
        EXPECT_TRUE(script.Seen()[0].Text.contains(file)) << script.Seen()[0].Text.toStdString();
        EXPECT_TRUE(script.Seen()[0].Text.contains(QStringLiteral("Заменить"))) << c.Name;
    }
}

} // namespace
} // namespace zorbel
