// The printer device's rule for a PDF output file that exists: a document
// replaces it only after the user agreed, in the dialog that named it or in
// the question asked then, and each agreement lets one document through.
#include "platform/canvas/Printers.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace zorbel {
namespace {

const QByteArray Kept = "the user's own file";

QByteArray Contents(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Prints one empty page; true when a document was begun.
bool PrintPage(TPrinter &printer)
{
    printer.BeginDoc();
    const bool begun = printer.Printing();
    printer.EndDoc();
    return begun;
}

struct TReplaceCase {
    const char *Name;
    bool Exists;      // the file is there before the print
    bool AgreedThis;  // the dialog that named it took it (it asked)
    bool AgreedOther; // a dialog took another file
    bool Question;    // the program's windows ask (else nothing asks)
    bool Answer;      // the user's answer
    bool Printed;     // the document was begun and the file replaced
    int Asked;        // questions asked
};

class PrinterReplace : public ::testing::TestWithParam<TReplaceCase> {
protected:
    void TearDown() override
    {
        TPrinter::ReplaceQuestion() = nullptr;
        TPrinter::AgreedToReplace(QString());
    }
};

TEST_P(PrinterReplace, AnExistingFileIsReplacedOnlyAfterTheUserAgreed)
{
    const TReplaceCase &c = GetParam();
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("out.pdf"));
    if (c.Exists) {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(Kept);
    }
    int asked = 0;
    if (c.Question)
        TPrinter::ReplaceQuestion() = [&](const QString &name) {
            EXPECT_EQ(name, file);
            ++asked;
            return c.Answer;
        };
    if (c.AgreedThis)
        TPrinter::AgreedToReplace(file);
    if (c.AgreedOther)
        TPrinter::AgreedToReplace(dir.filePath(QStringLiteral("other.pdf")));
    TPrinter printer;
    printer.SetOutputFile(file);
    // Asking first, as the print roads do before a run, then the document:
    // one question at most.
    const bool may = printer.MayBeginDoc();
    EXPECT_EQ(may, c.Printed);
    if (may) {
        EXPECT_TRUE(PrintPage(printer));
    }
    EXPECT_EQ(asked, c.Asked);
    if (c.Printed) {
        EXPECT_TRUE(Contents(file).startsWith("%PDF"));
    } else {
        EXPECT_EQ(Contents(file), c.Exists ? Kept : QByteArray());
        // The document alone guards as well, for a road that does not ask first.
        asked = 0;
        EXPECT_FALSE(PrintPage(printer));
        EXPECT_EQ(asked, c.Question ? 1 : 0);
        EXPECT_EQ(Contents(file), Kept);
    }

    // The agreement was spent: a second document on the now existing file
    // asks again, and no keeps it.
    if (c.Printed) {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(Kept);
        f.close();
        int again = 0;
        TPrinter::ReplaceQuestion() = [&](const QString &) {
            ++again;
            return false;
        };
        EXPECT_FALSE(PrintPage(printer));
        EXPECT_EQ(again, 1);
        EXPECT_EQ(Contents(file), Kept);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PrinterReplace,
    ::testing::Values(TReplaceCase{"NewFile", false, false, false, false, false, true, 0},
                      TReplaceCase{"ExistingWithNobodyToAsk", true, false, false, false, false, false, 0},
                      TReplaceCase{"ExistingKeptOnNo", true, false, false, true, false, false, 1},
                      TReplaceCase{"ExistingReplacedOnYes", true, false, false, true, true, true, 1},
                      TReplaceCase{"AgreedInTheDialog", true, true, false, true, false, true, 0},
                      TReplaceCase{"AgreedForAnotherFile", true, false, true, true, false, false, 1}),
    [](const auto &info) { return std::string(info.param.Name); });

// Without a printer or a file the device takes no document and asks nothing.
TEST(Printer, WithoutADeviceNothingBeginsAndNothingIsAsked)
{
    TPrinter printer;
    if (!printer.Printers().isEmpty())
        GTEST_SKIP() << "this machine has printers";
    int asked = 0;
    TPrinter::ReplaceQuestion() = [&](const QString &) {
        ++asked;
        return true;
    };
    EXPECT_FALSE(printer.Available());
    EXPECT_FALSE(printer.MayBeginDoc());
    EXPECT_FALSE(PrintPage(printer));
    EXPECT_EQ(asked, 0);
    TPrinter::ReplaceQuestion() = nullptr;
}

} // namespace
} // namespace zorbel
