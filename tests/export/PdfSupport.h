// Independent readers of the PDF files the tests write: qpdf checks the
// structure, pdfinfo and pdffonts read the objects, pdftotext the texts and
// pdftoppm renders pages for pixel probes.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace zorbel::test {

struct TPdfToolRun {
    int ExitCode = -1;
    QString Output; // standard output and error together
};

inline TPdfToolRun RunPdfTool(const QString &program, const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    TPdfToolRun r;
    if (!p.waitForFinished(120000))
        return r;
    r.ExitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.Output = QString::fromUtf8(p.readAll());
    return r;
}

// qpdf --check found no error and no warning.
inline bool QpdfClean(const QString &pdf, QString *report = nullptr)
{
    const TPdfToolRun r = RunPdfTool(QStringLiteral("qpdf"), {QStringLiteral("--check"), pdf});
    if (report)
        *report = r.Output;
    return r.ExitCode == 0 && !r.Output.contains(QStringLiteral("WARNING"), Qt::CaseInsensitive);
}

inline QString PdfInfo(const QString &pdf) { return RunPdfTool(QStringLiteral("pdfinfo"), {pdf}).Output; }

inline QString PdfText(const QString &pdf)
{
    return RunPdfTool(QStringLiteral("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf,
                                                 QStringLiteral("-")})
        .Output;
}

// With ZORBEL_KEEP_PDF set to a folder, a copy of the file goes there, so a
// person can look at what a test wrote.
inline void KeepForLooking(const QString &path, const QString &name)
{
    const QString folder = qEnvironmentVariable("ZORBEL_KEEP_PDF");
    if (!folder.isEmpty()) {
        QFile::remove(folder + u'/' + name);
        QFile::copy(path, folder + u'/' + name);
    }
}

inline void KeepForLooking(const QImage &image, const QString &name)
{
    const QString folder = qEnvironmentVariable("ZORBEL_KEEP_PDF");
    if (!folder.isEmpty())
        image.save(folder + u'/' + name);
}

// Page n (1-based) rendered at dpi (72: one pixel per point).
inline QImage RenderPdfPage(const QString &pdf, int n = 1, int dpi = 72)
{
    const QString base = pdf + QStringLiteral(".page");
    RunPdfTool(QStringLiteral("pdftoppm"), {QStringLiteral("-png"), QStringLiteral("-r"), QString::number(dpi),
                                         QStringLiteral("-f"), QString::number(n), QStringLiteral("-l"),
                                         QString::number(n), QStringLiteral("-singlefile"), pdf, base});
    return QImage(base + QStringLiteral(".png"));
}

// Whether the pixel at (x, y) is within tolerance of colour in every channel.
inline bool PixelNear(const QImage &image, int x, int y, const QColor &colour, int tolerance = 40)
{
    if (!image.valid(x, y))
        return false;
    const QColor c = image.pixelColor(x, y);
    return std::abs(c.red() - colour.red()) <= tolerance && std::abs(c.green() - colour.green()) <= tolerance &&
           std::abs(c.blue() - colour.blue()) <= tolerance;
}

// Whether some pixel within radius of (x, y) is near colour (lines one
// pixel off after rounding still count).
inline bool PixelAround(const QImage &image, int x, int y, const QColor &colour, int radius = 2, int tolerance = 60)
{
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx)
            if (PixelNear(image, x + dx, y + dy, colour, tolerance))
                return true;
    return false;
}

} // namespace zorbel::test
