#include "export/ExportRtf.h"

#include "export/ExportWmf.h"
#include "platform/rtl/CodePages.h"
#include "report/RepReport.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <algorithm>
#include <cmath>

namespace zorbel {

namespace {

bool enhancedMetafiles = false;

// The colour table, by index (red, green, blue).
constexpr int RtfColors[18][3] = {
    {0, 0, 0},     {128, 0, 0},   {0, 128, 0},     {128, 128, 0},   {0, 0, 128},   {128, 0, 128},
    {0, 128, 128}, {128, 128, 128}, {192, 192, 192}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
    {0, 0, 255},   {255, 0, 255}, {0, 255, 255},   {192, 192, 192}, {128, 128, 128}, {255, 255, 255}};

// Family keywords by family number.
constexpr const char *RtfFamilies[8] = {"\\fnil", "\\froman", "\\fswiss", "\\fmodern",
                                        "\\fscript", "\\fdecor", "\\ftech", "\\fbidi"};

constexpr double TwipsPerTenth = 5.669291338582677165; // 1440 / 254

QByteArray Num(double v) { return QByteArray::number(qint64(std::lround(v))); }

// Guesses a family's kind from what the font database tells.
int FamilyNumber(const QString &family)
{
    if (QFontDatabase::isFixedPitch(family))
        return 3;
    const QString f = family.toLower();
    if (f.contains(QStringLiteral("script")))
        return 4;
    if (f.contains(QStringLiteral("sans")))
        return 2;
    if (f.contains(QStringLiteral("serif")) || f.contains(QStringLiteral("times")) || f.contains(QStringLiteral("roman")))
        return 1;
    return 2;
}

} // namespace

bool TRepWMFFilter::Enhanced() { return enhancedMetafiles; }
void TRepWMFFilter::SetEnhanced(bool on) { enhancedMetafiles = on; }

QByteArray RtfText(const QString &text)
{
    QByteArray out;
    out.reserve(text.size() + 8);
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c == u'\\' || c == u'{' || c == u'}') {
            out += '\\';
            out += char(c);
        } else if (c >= 0x20 && c < 0x7F)
            out += char(c);
        else if (c == u'\t')
            out += "\\tab ";
        else if (c < 0x20)
            out += ' ';
        else {
            const unsigned char b = UnicodeCharToCodePage(TCodePage::Win1251, c);
            if (b >= 0x80 && CodePageCharToUnicode(TCodePage::Win1251, b) == c)
                out += "\\'" + QByteArray::number(b, 16).rightJustified(2, '0');
            else
                out += "\\u" + QByteArray::number(int(int16_t(c))) + '?';
        }
    }
    return out;
}

std::vector<TRtfFont> RtfFontList()
{
    // Sorted, case aside, before duplicates are dropped, so each family is
    // listed once wherever the system happens to name it twice: a text's
    // \f number is found by name (FontIndexOf, a binary search), and with a
    // family listed twice the font table would carry entries no text uses.
    QStringList names = QFontDatabase::families();
    std::sort(names.begin(), names.end(),
              [](const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    std::vector<TRtfFont> fonts;
    for (const QString &n : names)
        if (fonts.empty() || fonts.back().Name.compare(n, Qt::CaseInsensitive) != 0)
            fonts.push_back({n, FamilyNumber(n)});
    return fonts;
}

// ---- RTF ----

int TRepRTFExportFilter::FontIndexOf(const QString &family) const
{
    const auto it = std::lower_bound(Fonts.begin(), Fonts.end(), family, [](const TRtfFont &f, const QString &n) {
        return f.Name.compare(n, Qt::CaseInsensitive) < 0;
    });
    return it != Fonts.end() && it->Name.compare(family, Qt::CaseInsensitive) == 0 ? int(it - Fonts.begin()) : -1;
}

void TRepRTFExportFilter::WriteLine(const QByteArray &line)
{
    WriteBytes(line + "\r\n");
}

void TRepRTFExportFilter::BeginDocument(int paperWidth, int paperHeight, const QFont &font)
{
    bool landscape = false;
    int paperCode = 0;
    if (Report) {
        const TRepPage &page = Report->Page;
        PaperLengthTw = page.Values[TRepPage::iLength] * TwipsPerTenth;
        PaperWidthTw = page.Values[TRepPage::iWidth] * TwipsPerTenth;
        MarginTop = page.Values[TRepPage::iTopMargin] * TwipsPerTenth;
        MarginBottom = page.Values[TRepPage::iBottomMargin] * TwipsPerTenth;
        MarginLeft = page.Values[TRepPage::iLeftMargin] * TwipsPerTenth;
        MarginRight = page.Values[TRepPage::iRightMargin] * TwipsPerTenth;
        landscape = page.Orientation() == poLandscape;
        paperCode = page.PaperSize();
    } else {
        MarginTop = MarginBottom = MarginLeft = MarginRight = 720;
        PaperLengthTw = PaperWidthTw = 0;
    }
    Fonts = RtfFontList();
    OpenOutput(OutputName);
    PageBreakDue = false;
    PointHeight = 3.5277777777777777778;
    LineTotal = int(std::lround(paperHeight / PointHeight));

    // \ansicpg1251 names the code page of the text bytes: without it a reader
    // takes them as Western (1252) wherever a font's charset does not say
    // otherwise, and the Russian text comes out garbled.
    QByteArray header = "{\\rtf1\\ansi\\ansicpg1251\\deff0\\deftab720";
    if (PaperLengthTw > 0)
        header += "\\paperh" + Num(PaperLengthTw) + "\\paperw" + Num(PaperWidthTw) + "\\psz" +
                  QByteArray::number(paperCode);
    header += "\\margl" + Num(MarginLeft) + "\\margr" + Num(MarginRight) + "\\margt" + Num(MarginTop) + "\\margb" +
              Num(MarginBottom);
    if (landscape)
        header += "\\landscape";
    QByteArray fontTable = "{\\fonttbl";
    for (size_t i = 0; i < Fonts.size(); ++i)
        fontTable += "{\\f" + QByteArray::number(qsizetype(i)) + RtfFamilies[Fonts[i].Family & 7] +
                     "\\fcharset204 " + RtfText(Fonts[i].Name) + ";}";
    fontTable += "}";
    QByteArray colorTable = "{\\colortbl";
    for (const auto &c : RtfColors)
        colorTable += "\\red" + QByteArray::number(c[0]) + "\\green" + QByteArray::number(c[1]) + "\\blue" +
                      QByteArray::number(c[2]) + ';';
    colorTable += "}";
    WriteLine(header + fontTable);
    WriteLine(colorTable);
    WriteLine("\\deflang1033");
    TRepExportFilter::BeginDocument(paperWidth, paperHeight, font);
}

void TRepRTFExportFilter::BeginNextPage() { PageLines.assign(size_t(std::max(LineTotal, 0)), {}); }

void TRepRTFExportFilter::PutText(double x, double y, const QFont &font, TColor fontColor, unsigned,
                                  TAlignment alignment, const QString &text)
{
    TItem item;
    item.ItemX = x;
    item.ItemY = y;
    item.ItemText = RtfText(text);
    item.ItemAlignment = alignment == TAlignment::taRightJustify ? 1 : alignment == TAlignment::taCenter ? 2 : 0;
    item.FontIndex = FontIndexOf(font.family());
    item.ItemColor = fontColor;
    item.Bold = font.bold();
    item.Italic = font.italic();
    item.Underline = font.underline();
    item.StrikeOut = font.strikeOut();
    const double points = font.pointSizeF() > 0 ? font.pointSizeF() : FontPixelHeight(font) * 72.0 / 96;
    item.HalfPoints = int(std::lround(points * 2));
    const double line = std::nearbyint(y / PointHeight);
    if (!(line >= 0 && line < double(PageLines.size())))
        return; // off the page
    std::vector<TItem> &items = PageLines[size_t(line)];
    const auto at = std::upper_bound(items.begin(), items.end(), x,
                                     [](double v, const TItem &i) { return v < i.ItemX; });
    items.insert(at, std::move(item));
}

void TRepRTFExportFilter::FinishPage()
{
    if (PageBreakDue)
        WriteLine("{\\page }");
    double y0 = MarginTop * 0.17638888888888888888;
    int m = 0;
    for (const std::vector<TItem> &items : PageLines) {
        QByteArray format, content;
        for (const TItem &item : items) {
            if (format.isEmpty()) {
                format = "\\pard\\plain";
                const qint64 s = std::lround((item.ItemY - y0) * TwipsPerTenth) - qint64(m) * 10 - 50;
                if (s > 0)
                    format += "\\sb" + QByteArray::number(s);
            }
            m = std::max(m, item.HalfPoints);
            y0 = std::max(y0, item.ItemY);
            static constexpr const char *tabs[3] = {"\\tql", "\\tqr", "\\tqc"};
            format += tabs[item.ItemAlignment % 3];
            format += "\\tx" + QByteArray::number(std::lround(item.ItemX * TwipsPerTenth - MarginLeft) + 20);
            content += "\\tab\\plain";
            if (item.FontIndex >= 0)
                content += "\\f" + QByteArray::number(item.FontIndex);
            content += "\\fs" + QByteArray::number(item.HalfPoints);
            if (item.Bold)
                content += "\\b";
            if (item.Italic)
                content += "\\i";
            if (item.Underline)
                content += "\\ul";
            if (item.StrikeOut)
                content += "\\strike";
            // The colour word ends at the one blank before the text: a second
            // blank would be read as text, and a coloured item would start a
            // blank to the right of its tab stop.
            const int r = item.ItemColor & 0xFF, g = (item.ItemColor >> 8) & 0xFF, b = (item.ItemColor >> 16) & 0xFF;
            for (int k = 1; k < 18 && item.ItemColor >= 0; ++k)
                if (RtfColors[k][0] == r && RtfColors[k][1] == g && RtfColors[k][2] == b) {
                    content += "\\cf" + QByteArray::number(k);
                    break;
                }
            content += ' ' + item.ItemText;
        }
        if (!content.isEmpty()) {
            WriteLine(format);
            WriteLine("{\\plain" + content + "{\\fs1\\par}}");
            PageBreakDue = true;
        }
    }
}

void TRepRTFExportFilter::EndDocument()
{
    WriteLine("\\par }");
    CloseOutput();
    PageLines.clear();
    TRepExportFilter::EndDocument();
}

// ---- metafiles ----

void TRepWMFExportFilter::BeginDocument(int paperWidth, int paperHeight, const QFont &font)
{
    const QFileInfo f(OutputName);
    const QString stem = f.fileName().contains(QLatin1Char('.')) ? f.completeBaseName() : f.fileName();
    BaseName = OutputName.left(OutputName.size() - f.fileName().size()) + stem;
    Written.clear();
    TRepExportFilter::BeginDocument(paperWidth, paperHeight, font);
}

void TRepWMFExportFilter::EndDocument()
{
    if (Report && SourcePrinter) {
        const bool enhanced = TRepWMFFilter::Enhanced();
        const int pages = std::max(SourcePrinter->PageNumber(), SourcePrinter->RecordedPages());
        for (int i = 1; i <= pages; ++i) {
            const std::unique_ptr<TMetafile> page = SourcePrinter->GetPageMetafile(i);
            if (!page)
                continue;
            const QString name = BaseName + QStringLiteral("%1").arg(i, 3, 10, QLatin1Char('0')) +
                                 (enhanced ? QStringLiteral(".emf") : QStringLiteral(".wmf"));
            TFileReplacer out(name, true, false); // one of many: see TFileReplacer
            out.Write(enhanced ? page->Data() : EmfToWmf(page->Data()));
            out.Commit();
            Written << name;
        }
    }
    TRepExportFilter::EndDocument();
}

} // namespace zorbel
