// Reading what a printout produced: the texts of its recorded pages, its
// exports through the writers the layout carries (read back by xlrd and
// html.parser), and the preview window a print command opens.
#pragma once

#include "platform/canvas/Metafile.h"
#include "report/RepFilter.h"
#include "report/RepPreviewForm.h"
#include "report/RepPrinter.h"
#include "report/RepReport.h"

#include "PreviewWatch.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryFile>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace zorbel::test {

// Numbers as the program writes them: thousands apart by a no-break space.
inline QString N(const QString &text)
{
    return QString(text).replace(QLatin1Char(' '), QChar(0x00A0));
}
inline QString N(const char *text) { return N(QString::fromUtf8(text)); }

// Every text of every recorded page of one run.
inline QStringList RunTexts(TCustomBandReport &report, int *pages = nullptr)
{
    TRepPrinter printer;
    report.RepPrinter = &printer;
    report.CreateReport();
    const QStringList texts = PageTexts(printer);
    if (pages)
        *pages = printer.RecordedPages();
    report.RepPrinter = nullptr;
    return texts;
}

// The output of a program. It goes through a file rather than a pipe: a
// pipe read from inside a nested event loop came back empty now and then.
inline QString Tool(const QString &program, const QStringList &args)
{
    QTemporaryFile out;
    EXPECT_TRUE(out.open());
    out.close();
    QProcess p;
    p.setStandardOutputFile(out.fileName());
    p.start(program, args);
    EXPECT_TRUE(p.waitForFinished(60000)) << program.toStdString();
    EXPECT_EQ(p.exitCode(), 0) << program.toStdString() << ' ' << p.readAllStandardError().toStdString();
    QFile read(out.fileName());
    EXPECT_TRUE(read.open(QIODevice::ReadOnly));
    return QString::fromUtf8(read.readAll());
}

// Exports report into path through the carried writer of that file extension.
inline bool ExportAs(TCustomBandReport &report, const QString &ext, const QString &path)
{
    for (const TRepExportFilterLibraryEntry &e : ExportFilterLibrary().Registered())
        if (e.FileExt.compare(ext, Qt::CaseInsensitive) == 0) {
            std::unique_ptr<TRepExportFilter> writer = e.WriterClass(path);
            report.ExportToFilter(*writer);
            return QFile::exists(path);
        }
    return false;
}

// The output of a Python script run over one argument.
inline QString Python(const QString &script, const QString &arg)
{
    return Tool(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), script, arg});
}

// The cells of the first sheet of a workbook as xlrd reads them, "|" apart.
inline QString XlsCells(const QString &path)
{
    return Python(QStringLiteral("import sys,xlrd\n"
                                "s = xlrd.open_workbook(sys.argv[1]).sheet_by_index(0)\n"
                                "sys.stdout.buffer.write('|'.join(str(c.value) for r in range(s.nrows) for c in "
                                "s.row(r)).encode())"),
                  path);
}

// The text of every HTML page in dir as html.parser reads it, a line per
// piece, no-break spaces as blanks.
inline QString HtmlText(const QString &dir)
{
    return Python(QStringLiteral("import sys,glob\nfrom html.parser import HTMLParser\n"
                                "class P(HTMLParser):\n"
                                "    def handle_data(self, d): sys.stdout.buffer.write((d.replace(chr(160), ' ') + "
                                "chr(10)).encode())\n"
                                "for f in sorted(glob.glob(sys.argv[1] + '/*.htm*')):\n"
                                "    P().feed(open(f, 'rb').read().decode('utf-8', 'replace'))"),
                  dir);
}

// Answers the preview's save dialog with path and the file type of ext.
inline TRepFileDialog SaveAs(const QString &ext, const QString &path)
{
    return [ext, path](bool, const QString &, const QString &filter, QString &name, int &index) {
        const QStringList parts = filter.split(u'|');
        for (int i = 1; i < parts.size(); i += 2)
            if (parts[i].compare(QStringLiteral("*.") + ext, Qt::CaseInsensitive) == 0) {
                index = (i - 1) / 2 + 1;
                name = path;
                return true;
            }
        return false;
    };
}

// A preview action that saves the shown report as path through the file type of ext.
inline std::function<void(TRepStandardPreview &)> SaveThrough(const QString &ext, const QString &path)
{
    return [ext, path](TRepStandardPreview &p) {
        RepFileDialog() = SaveAs(ext, path);
        p.SaveClick();
    };
}

// The report engine's windows for a test, taken away again afterwards with
// the save dialog restored.
class TReportWindowsScope {
public:
    TReportWindowsScope() : savedDialog_(RepFileDialog()) { RegisterReportWindows(); }
    ~TReportWindowsScope()
    {
        RepFileDialog() = savedDialog_;
        RepPreviewInterface().reset();
        RepProgressWindowFactory() = nullptr;
        RepPrinterSetupHandler() = nullptr;
    }
    TReportWindowsScope(const TReportWindowsScope &) = delete;
    TReportWindowsScope &operator=(const TReportWindowsScope &) = delete;

private:
    TRepFileDialog savedDialog_;
};

} // namespace zorbel::test
