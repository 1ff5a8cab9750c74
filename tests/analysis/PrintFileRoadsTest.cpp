// Every print road of the program on a machine without a printer, walked as
// a user would through the real windows: the print dialog (Qt's, with the PDF
// file it offers and its own question before it takes a file that exists),
// the report preview's Print and Printer setup, and the question before a
// print replaces a file. On each road no file is written that the user did
// not name for that print (an earlier print's file stays as it was), and a
// file that exists is replaced only after the user said yes.
#include "PrintCheck.h"
#include "RstFixture.h"

#include "analysis/ZorbRest.h"
#include "platform/canvas/Printers.h"
#include "platform/widgets/ModalScript.h"

#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <deque>

namespace zorbel::test {
namespace {

// A user at the print windows, polled from short timers: each step waits for
// its window (a print dialog, the dialog's question, a finished preview, a
// file) and then acts on it. A step not met within the time limit ends the
// walk: its dialogs are cancelled and the preview closed, so a test never
// hangs, and Failed names the step.
class TPrintUser {
public:
    struct TStep {
        QString What;
        std::function<bool()> Ready;
        std::function<void()> Act;
    };

    void Add(const QString &what, std::function<bool()> ready, std::function<void()> act = {})
    {
        steps_.push_back({what, std::move(ready), std::move(act)});
    }

    // The print dialog: names file (the PDF device is the only printer here)
    // and presses its Print button, as a click does (the dialog then asks
    // about a file that exists).
    void NameFile(const QString &file)
    {
        Add(QStringLiteral("print dialog for ") + file, [] { return Dialog() != nullptr; },
            [file] {
                QPrintDialog *d = Dialog();
                auto *name = d->findChild<QLineEdit *>(QStringLiteral("filename"));
                auto *buttons = d->findChild<QDialogButtonBox *>();
                ASSERT_NE(name, nullptr);
                ASSERT_NE(buttons, nullptr);
                ASSERT_TRUE(name->isEnabled()) << "the PDF file is not the chosen printer";
                name->setText(file);
                buttons->button(QDialogButtonBox::Ok)->click();
            });
    }
    void CancelDialog()
    {
        Add(QStringLiteral("cancel the print dialog"), [] { return Dialog() != nullptr; },
            [] { Dialog()->reject(); });
    }
    // The print dialog's own question about a file that exists.
    void AnswerDialogQuestion(bool yes)
    {
        Add(yes ? QStringLiteral("yes to the dialog's question") : QStringLiteral("no to the dialog's question"),
            [] { return qobject_cast<QMessageBox *>(QApplication::activeModalWidget()) != nullptr; },
            [yes] {
                auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
            });
    }
    // Acts on the preview once its run is complete (a run on the window
    // thread has handed its pages over, a background run has ended) and
    // nothing is open above it.
    void OnPreview(const QString &what, std::function<void(TRepStandardPreview &)> act)
    {
        Add(what,
            [this] {
                TRepStandardPreview *p = OpenPreview();
                QWidget *top = QApplication::activeModalWidget();
                if (!p || p->Printer()->Status() != TRepStatus::Ready || (top && top != p))
                    return false;
                const auto *report = dynamic_cast<const TCustomBandReport *>(p->Printer()->OwnerReport);
                return Background ? report && !report->RunningInBackground() : p->Printer()->Loaded();
            },
            [act] { act(*OpenPreview()); });
    }
    // The printout runs on a background thread under its preview.
    bool Background = false;
    void Until(const QString &what, std::function<bool()> ready, std::function<void()> act = {})
    {
        Add(what, std::move(ready), std::move(act));
    }

    void Start()
    {
        next_ = 0;
        Failed.clear();
        deadline_.start();
        Poll();
    }
    bool Done() const { return next_ >= steps_.size() && Failed.isEmpty(); }
    QString Failed;

private:
    static QPrintDialog *Dialog()
    {
        auto *d = qobject_cast<QPrintDialog *>(QApplication::activeModalWidget());
        return d && d->isVisible() ? d : nullptr;
    }
    void Poll()
    {
        if (next_ >= steps_.size() || !Failed.isEmpty())
            return;
        // The next poll is set first: an action may open a modal window, and
        // the polls go on inside its loop.
        QTimer::singleShot(20, &context_, [this] { Poll(); });
        const TStep &step = steps_[next_];
        if (step.Ready()) {
            ++next_;
            deadline_.restart();
            if (step.Act)
                step.Act();
        } else if (deadline_.elapsed() > 30000) {
            Failed = step.What;
            GiveUp();
        }
    }
    static void GiveUp()
    {
        for (int i = 0; i < 10; ++i)
            if (auto *d = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
                d->reject();
        if (TRepStandardPreview *p = OpenPreview())
            p->close();
    }
    std::vector<TStep> steps_;
    size_t next_ = 0;
    QElapsedTimer deadline_;
    QObject context_; // the polls end with the user
};

QByteArray Contents(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void Write(const QString &file, const QByteArray &bytes)
{
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

bool IsPdf(const QString &file) { return Contents(file).startsWith("%PDF"); }

const QByteArray Kept = "the user's own file, not a print";

class PrintFileRoads : public RstFixture {
protected:
    void SetUp() override
    {
        RstFixture::SetUp();
        ASSERT_TRUE(Printer().Printers().isEmpty()) << "the tests see no printer";
        // An earlier print left its file as the application printer's output.
        earlier = dir.filePath(QStringLiteral("earlier.pdf"));
        Write(earlier, Kept);
        Printer().SetOutputFile(earlier);
        named = dir.filePath(QStringLiteral("named.pdf"));
        TPrinter::ReplaceQuestion() = [this](const QString &file) {
            asked << file;
            if (answers.empty()) {
                ADD_FAILURE() << "an unexpected question about " << file.toStdString();
                return false;
            }
            const bool yes = answers.front();
            answers.pop_front();
            return yes;
        };
    }
    void TearDown() override
    {
        TPrinter::ReplaceQuestion() = nullptr;
        Printer().SetOutputFile(QString());
        RstFixture::TearDown();
    }
    // Only the files the user named, and the earlier print's untouched.
    void ExpectNoOtherFileWritten()
    {
        EXPECT_EQ(Contents(earlier), Kept);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files, QDir::Name),
                  (QStringList{QStringLiteral("earlier.pdf"), QStringLiteral("named.pdf")}));
        EXPECT_FALSE(QFile::exists(QDir::home().filePath(QStringLiteral("print.pdf"))));
    }

    TReportWindowsScope reportWindows;
    QTemporaryDir dir;
    QString earlier, named;
    QStringList asked;
    std::deque<bool> answers;
};

struct TRoad {
    const char *Name;
    bool Report; // a printout in the preview; else a chart printed at once
};
// The road's name in the test's listing (not the struct's bytes, which hold
// a pointer and so change from build to build).
void PrintTo(const TRoad &road, std::ostream *os) { *os << road.Name; }

class PrintFileRoadsOf : public PrintFileRoads, public ::testing::WithParamInterface<TRoad> {
protected:
    // Opens the road's window and presses its print command; returns when
    // the command (and its preview) is over.
    void Print();
    std::unique_ptr<TFormRst> window;
    std::unique_ptr<TFormRest> balances;
};

void PrintFileRoadsOf::Print()
{
    const QString name = QString::fromLatin1(GetParam().Name);
    std::unique_ptr<TFormRst> &f = window;
    if (name == u"balances chart") {
        if (!balances) {
            balances = std::make_unique<TFormRest>(*main);
            balances->Show();
        }
        balances->ButPrnClick(nullptr);
        return;
    }
    if (!f) {
        f = OpenWindow();
        f->show();
        if (name == u"operations printout") {
            f->TcGrp->SetTabIndex(1);
            f->TcGrpChange(nullptr);
        } else if (name.startsWith(u"dynamics")) {
            f->CbDay->SetItemIndex(2);
            f->Cbars->SetItemIndex(name == u"dynamics printout" ? 2 : 0);
            f->TcGrp->SetTabIndex(2);
            f->TcGrpChange(f.get());
            f->CbarsClick(f->Cbars);
        } else {
            f->RefreshResults();
        }
    }
    if (name == u"totals printout")
        f->mpPrintClick(nullptr);
    else if (name == u"operations printout")
        f->ButPrhClick(nullptr);
    else if (name.startsWith(u"dynamics"))
        f->ButPrnChClick(f->ButPrnCh);
    else
        f->ButPrnPieClick(name == u"bar chart" ? static_cast<TObject *>(f->ButPrnBar)
                                                : static_cast<TObject *>(f->ButPrnPie));
}

TEST_P(PrintFileRoadsOf, WriteOnlyTheNamedFileAndReplaceItOnlyAfterYes)
{
    Populate(90);
    TPrintUser user;
    user.Background = QLatin1String(GetParam().Name) == u"totals printout";
    if (GetParam().Report) {
        // Print with nowhere to print: the set-up asks where.
        user.OnPreview(QStringLiteral("print"), [](TRepStandardPreview &p) { p.Print->Click(); });
        user.NameFile(named);
        user.Until(QStringLiteral("the named file printed"), [&] { return IsPdf(named); },
                   [&] { Write(named, Kept); });
        // Print again into the file, now the user's: asked, and kept on no.
        user.OnPreview(QStringLiteral("print again, no"), [&](TRepStandardPreview &p) {
            answers = {false};
            p.Print->Click();
        });
        user.Until(QStringLiteral("the question asked"), [&] { return asked.size() == 1; });
        user.OnPreview(QStringLiteral("print again, yes"), [&](TRepStandardPreview &p) {
            EXPECT_EQ(Contents(named), Kept);
            answers = {true};
            p.Print->Click();
        });
        user.Until(QStringLiteral("replaced after yes"), [&] { return IsPdf(named); },
                   [&] { Write(named, Kept); });
        // Set-up naming the existing file: the dialog's own question, no
        // keeps it; yes lets the next print replace it without a second one.
        user.OnPreview(QStringLiteral("set-up"), [](TRepStandardPreview &p) { p.PrintSetup->Click(); });
        user.NameFile(named);
        user.AnswerDialogQuestion(false);
        user.CancelDialog();
        user.OnPreview(QStringLiteral("set-up again"), [&](TRepStandardPreview &p) {
            EXPECT_EQ(Contents(named), Kept);
            p.PrintSetup->Click();
        });
        user.NameFile(named);
        user.AnswerDialogQuestion(true);
        user.OnPreview(QStringLiteral("print after the set-up"), [](TRepStandardPreview &p) { p.Print->Click(); });
        user.Until(QStringLiteral("replaced after the dialog's yes"), [&] { return IsPdf(named); });
        user.OnPreview(QStringLiteral("close"), [](TRepStandardPreview &p) { p.close(); });
        user.Start();
        Print();
        EXPECT_TRUE(user.Done()) << "stopped at: " << user.Failed.toStdString();
        EXPECT_EQ(asked, QStringList(2, named));
    } else {
        TModalScript notices; // any notice is an error: nothing failed
        user.NameFile(named);
        user.Start();
        Print();
        EXPECT_TRUE(user.Done()) << "stopped at: " << user.Failed.toStdString();
        EXPECT_TRUE(IsPdf(named));

        Write(named, Kept);
        TPrintUser keep;
        keep.NameFile(named);
        keep.AnswerDialogQuestion(false);
        keep.CancelDialog();
        keep.Start();
        Print();
        EXPECT_TRUE(keep.Done()) << "stopped at: " << keep.Failed.toStdString();
        EXPECT_EQ(Contents(named), Kept);

        TPrintUser replace;
        replace.NameFile(named);
        replace.AnswerDialogQuestion(true);
        replace.Start();
        Print();
        EXPECT_TRUE(replace.Done()) << "stopped at: " << replace.Failed.toStdString();
        EXPECT_TRUE(IsPdf(named));
        EXPECT_TRUE(asked.isEmpty()); // the dialog asked; nothing asks twice
        EXPECT_TRUE(notices.Seen().empty()) << notices.Seen().front().Text.toStdString();
    }
    ExpectNoOtherFileWritten();
}

INSTANTIATE_TEST_SUITE_P(EveryRoad, PrintFileRoadsOf,
                         ::testing::Values(TRoad{"totals printout", true}, TRoad{"operations printout", true},
                                           TRoad{"dynamics printout", true}, TRoad{"pie chart", false},
                                           TRoad{"bar chart", false}, TRoad{"dynamics chart", false},
                                           TRoad{"balances chart", false}),
                         [](const auto &info) {
                             std::string n = info.param.Name;
                             std::replace(n.begin(), n.end(), ' ', '_');
                             return n;
                         });

} // namespace
} // namespace zorbel::test
