// The preview's pages as pictures, and readers of where a PDF put its words.
#pragma once

#include "../report/RepExprSupport.h"
#include "../report/RepReportSupport.h"
#include "PdfSupport.h"

#include <QPainter>
#include <QRegularExpression>
#include <memory>
#include <vector>

namespace zorbel::test {

// The recorded page n drawn at the screen's resolution.
inline QImage PreviewPage(TRepPrinter &printer, int n)
{
    const std::unique_ptr<TMetafile> m = printer.GetPageMetafile(n);
    QImage image(m->Width(), m->Height(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    PlayMetafile(p, m->Data(), QRectF(0, 0, image.width(), image.height()));
    return image;
}

// A word of a PDF page and its box in points from the page's top-left.
struct PdfWord {
    int Page;
    QString Text;
    double XMin, YMin, XMax, YMax;
};

inline std::vector<PdfWord> PdfWords(const QString &pdf)
{
    const QString html = RunPdfTool(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), QStringLiteral("-enc"),
                                                               QStringLiteral("UTF-8"), pdf, QStringLiteral("-")})
                             .Output;
    std::vector<PdfWord> words;
    int page = 0;
    static const QRegularExpression word(QStringLiteral(
        "<page|<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>"));
    for (auto it = word.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (m.captured(0) == QStringLiteral("<page")) {
            ++page;
            continue;
        }
        words.push_back({page, m.captured(5), m.captured(1).toDouble(), m.captured(2).toDouble(),
                         m.captured(3).toDouble(), m.captured(4).toDouble()});
    }
    return words;
}

inline const PdfWord *FindWord(const std::vector<PdfWord> &words, const QString &text, int page = 0)
{
    for (const PdfWord &w : words)
        if (w.Text == text && (page == 0 || w.Page == page))
            return &w;
    return nullptr;
}

// 0.1 mm as points.
inline double Points(double tenths) { return tenths * 0.1 * 72 / 25.4; }

} // namespace zorbel::test
