// Fonts of the PDF writer: the mapping of a font key onto one of the
// standard Type1 fonts, and the embedding of a TrueType font program with
// its widths, metrics and an encoding that names every glyph.
//
// TrueType tables read here (all numbers big-endian):
//   table directory: number of tables at byte 4; entry t at 12 + 16t holds
//     the tag (4 bytes), checksum, offset (entry + 8), length (entry + 12);
//   'head': units per em at 18, the bounding box xMin, yMin, xMax, yMax as
//     signed 16-bit numbers at 36, 38, 40, 42;
//   'post': the italic angle, signed 16.16 fixed point, at 4.
// Widths, ascent and descent are measured in the embedded program itself,
// all in thousandths of the em as PDF glyph space wants them.
#include "export/PdfConst.h"
#include "export/RepPdfObjs.h"
#include "export/RepPdfText.h"
#include "platform/canvas/FontFiles.h"
#include "platform/rtl/Exceptions.h"

#include <QRawFont>
#include <cmath>

namespace zorbel {

namespace {

// The standard families, by index: 0 and 1 take "-Bold"/"-Oblique"
// suffixes, 2 "-Bold"/"-Italic"/"-Roman", 3 and 4 none.
constexpr const char *kStandardFamilies[5] = {"Courier", "Helvetica", "Times", "Symbol", "ZapfDingbats"};

// The family part and the style part of a font key "Family, bold, italic".
QString KeyFamily(const QString &key) { return key.section(u',', 0, 0).trimmed(); }
QString KeyStyle(const QString &key)
{
    const qsizetype comma = key.indexOf(u',');
    return comma < 0 ? QString() : key.mid(comma + 1).trimmed();
}

// A system font that stands for a standard family when a family has no
// TrueType program of its own.
QString SubstituteFamily(const QString &baseFont)
{
    if (baseFont.startsWith(QStringLiteral("Times"), Qt::CaseInsensitive))
        return QStringLiteral("Liberation Serif");
    if (baseFont.startsWith(QStringLiteral("Courier"), Qt::CaseInsensitive))
        return QStringLiteral("Liberation Mono");
    return QStringLiteral("Liberation Sans");
}

int Signed16(uint32_t v) { return v >= 0x8000 ? int(v) - 0x10000 : int(v); }

} // namespace

QString MapToBaseFont(const QString &key, const QStringList &aliases)
{
    const QString lower = key.toLower();
    const bool bold = lower.contains(QStringLiteral("bold"));
    const bool italic = lower.contains(QStringLiteral("italic"));
    QString family = key.section(u',', 0, 0);
    for (const QString &alias : aliases)
        if (alias.toLower().startsWith(family.toLower())) {
            const qsizetype colon = alias.indexOf(u':');
            family = colon < 0 ? QStringLiteral("Courier") : alias.mid(colon + 1);
            break;
        }
    const qsizetype dash = family.indexOf(u'-');
    if (dash >= 0)
        family = family.left(dash);
    int index = -1;
    for (int i = 0; i < 5 && index < 0; ++i)
        if (family.compare(QLatin1String(kStandardFamilies[i]), Qt::CaseInsensitive) == 0)
            index = i;
    if (index < 0) {
        family = QStringLiteral("Courier");
        index = 0;
    }
    if (index <= 1)
        return family + (bold && italic ? QStringLiteral("-BoldOblique")
                         : bold         ? QStringLiteral("-Bold")
                         : italic       ? QStringLiteral("-Oblique")
                                        : QString());
    if (index == 2)
        return family + (bold && italic ? QStringLiteral("-BoldItalic")
                         : bold         ? QStringLiteral("-Bold")
                         : italic       ? QStringLiteral("-Italic")
                                        : QStringLiteral("-Roman"));
    return family;
}

uint32_t ReadBigEndian16(const QByteArray &data, int64_t pos)
{
    if (pos < 0 || pos + 2 > data.size())
        throw ERangeError(QStringLiteral("Range check error"));
    const auto *p = reinterpret_cast<const uint8_t *>(data.constData()) + pos;
    return (uint32_t(p[0]) << 8) | p[1];
}

uint32_t ReadBigEndian32(const QByteArray &data, int64_t pos)
{
    if (pos < 0 || pos + 4 > data.size())
        throw ERangeError(QStringLiteral("Range check error"));
    return (ReadBigEndian16(data, pos) << 16) | ReadBigEndian16(data, pos + 2);
}

QString PdfGlyphName(char16_t unicode)
{
    for (int i = 0; i < PdfGlyphNameCount; ++i)
        if (PdfGlyphNames[i].Unicode == unicode)
            return QLatin1String(PdfGlyphNames[i].Name);
    return QString();
}

int PdfCodePageOfCharSet(int charSet)
{
    // Character set, code page.
    static constexpr int kTable[][2] = {{128, 932},  {134, 936},  {136, 950},  {161, 1253}, {162, 1254},
                                        {163, 1258}, {177, 1255}, {178, 1256}, {186, 1257}, {204, 1251},
                                        {222, 874},  {238, 1250}, {255, 1}};
    for (const auto &row : kTable)
        if (row[0] == charSet)
            return row[1];
    return 1252;
}

bool TPdfWriter::IsTrueTypeFont(int font) const
{
    return TrueTypeList.contains(KeyFamily(fontList_.at(font)));
}

int TPdfWriter::FontObjectCount() const
{
    int f = 0;
    for (int i = 0; i < fontList_.size(); ++i)
        f += IsTrueTypeFont(i) ? 4 : 1;
    return f;
}

void TPdfWriter::WriteFonts(TOutput &out, int &k)
{
    for (int i = 0; i < fontList_.size(); ++i) {
        const QString &key = fontList_[i];
        if (IsTrueTypeFont(i)) {
            WriteTrueTypeFont(out, KeyFamily(key), KeyStyle(key), i, k);
            continue;
        }
        out.WriteLine(QString::asprintf("%d 0 obj", k));
        out.WriteLine("<<");
        out.WriteLine("/Type /Font");
        out.WriteLine("/Subtype /Type1");
        out.WriteLine(QString::asprintf("/Name /F%-2.2d", i));
        out.WriteLine(QStringLiteral("/BaseFont /") + MapToBaseFont(key, BaseFontAliases));
        out.WriteLine("/Encoding /WinAnsiEncoding");
        out.WriteLine(">>");
        out.WriteLine("endobj");
        out.MarkObjectStart();
        ++k;
    }
}

TPdfTrueTypeFont TPdfWriter::PrepareTrueTypeFont(const QString &family, const QString &style) const
{
    TPdfTrueTypeFont font;
    const QString face = family.trimmed().replace(u'-', u' ');
    const QString lookup = style.isEmpty() ? face : face + u'-' + style;
    const QString lowerStyle = style.toLower();
    const bool bold = lowerStyle.contains(QStringLiteral("bold"));
    const bool italic = lowerStyle.contains(QStringLiteral("italic"));
    font.Program = FontFileData(face, bold, italic);
    if (!IsTrueTypeOutlineFont(font.Program))
        font.Program = FontFileData(SubstituteFamily(MapToBaseFont(family, BaseFontAliases)), bold, italic);
    QRawFont raw(font.Program, 1000, QFont::PreferNoHinting);
    if (!IsTrueTypeOutlineFont(font.Program) || !raw.isValid())
        throw ERangeError(QStringLiteral("Font widths for \"%1\" not obtainable (%2)").arg(family).arg(0));

    const QByteArray &p = font.Program;
    int64_t head = -1, post = -1;
    const uint32_t tables = ReadBigEndian16(p, 4);
    for (uint32_t t = 0; t < tables; ++t) {
        const int64_t entry = 12 + 16 * int64_t(t);
        const QByteArray tag = p.mid(entry, 4);
        if (tag == "head")
            head = ReadBigEndian32(p, entry + 8);
        else if (tag == "post")
            post = ReadBigEndian32(p, entry + 8);
    }
    if (head < 0)
        throw ERangeError(QStringLiteral("Range check error"));
    const double unitsPerEm = ReadBigEndian16(p, head + 18);
    if (unitsPerEm <= 0)
        throw ERangeError(QStringLiteral("Range check error"));
    for (int i = 0; i < 4; ++i)
        font.BBox[i] = int(std::lround(Signed16(ReadBigEndian16(p, head + 36 + 2 * i)) * 1000.0 / unitsPerEm));
    if (post >= 0)
        font.ItalicAngle = int32_t(ReadBigEndian32(p, post + 4)) / 65536.0;
    font.Ascent = int(std::lround(raw.ascent()));
    font.Descent = -int(std::lround(raw.descent()));
    font.FirstChar = 0;
    font.LastChar = 255;

    const int cp = PdfCodePageOfCharSet(CharSet);
    const QString customWidths = CustomWidths.Lookup(lookup);
    if (!customWidths.isEmpty()) {
        QStringList numbers;
        SplitPdfList(customWidths, u' ', numbers);
        if (numbers.size() < 256)
            throw ERangeError(QStringLiteral("Not enough Custom widths (%1 < 256) for font \"%2\"  ")
                                  .arg(numbers.size())
                                  .arg(family));
        for (int c = 0; c < 256; ++c)
            font.Widths[c] = numbers[c].toInt();
    } else {
        for (int c = 0; c < 256; ++c) {
            char16_t u = PdfCodePageUnicode(cp, uchar(c));
            if (u < 32 || u == 0xFFFD)
                u = u' ';
            const QList<quint32> glyphs = raw.glyphIndexesForString(QString(QChar(u)));
            const QList<QPointF> advances = raw.advancesForGlyphIndexes(glyphs, QRawFont::UseDesignMetrics);
            font.Widths[c] = advances.isEmpty() ? 0 : int(std::lround(advances[0].x()));
        }
    }

    const QString customEncoding = CustomEncodings.Lookup(lookup);
    if (!customEncoding.isEmpty()) {
        font.Encoding = QStringLiteral(" <</Type/Encoding /Differences [ ") + customEncoding + QStringLiteral(" ]>>");
    } else {
        QString e = QStringLiteral(" <</Type/Encoding /Differences [ %1 ").arg(font.FirstChar + 2);
        for (int c = 2; c < 256; ++c) {
            const char16_t u = PdfCodePageUnicode(cp, uchar(c));
            const QString name = PdfGlyphName(u);
            if (!name.isEmpty())
                e += u'/' + name;
            else if (u <= 256 || u == 0xFFFD)
                e += QStringLiteral("/space");
            else
                e += QString::asprintf("/uni%04X", unsigned(u));
        }
        font.Encoding = e + QStringLiteral("]") + QStringLiteral(">>");
    }
    return font;
}

void TPdfWriter::WriteTrueTypeFont(TOutput &out, const QString &family, const QString &style, int fontNumber, int &k)
{
    const TPdfTrueTypeFont font = PrepareTrueTypeFont(family, style);
    out.WriteLine(QString::asprintf("%d 0 obj", k));
    out.WriteLine("<<");
    out.WriteLine("/Type /Font");
    out.WriteLine("/Subtype /TrueType");
    out.WriteLine(QString::asprintf("/Name /F%-2.2d", fontNumber));
    out.WriteLine(QStringLiteral("/BaseFont /") + family.trimmed());
    out.WriteLine(QStringLiteral("/FirstChar %1").arg(font.FirstChar));
    out.WriteLine(QStringLiteral("/LastChar %1").arg(font.LastChar));
    out.WriteLine("/Widths [ ");
    QString widths;
    for (int w : font.Widths)
        widths += QString::asprintf("%-d ", w);
    out.WriteLine(widths + QStringLiteral(" ]"));
    out.WriteLine(QStringLiteral("/Encoding ") + font.Encoding);
    out.WriteLine(QString::asprintf("/FontDescriptor %d 0 R", k + 1));
    out.WriteLine(">>");
    out.WriteLine("endobj");
    out.MarkObjectStart();

    out.WriteLine(QString::asprintf("%d 0 obj", k + 1));
    out.WriteLine("<<");
    out.WriteLine("/Type /FontDescriptor");
    out.WriteLine(QStringLiteral("/Ascent %1").arg(font.Ascent));
    out.WriteLine(QStringLiteral("/Descent %1").arg(font.Descent));
    out.WriteLine("/Flags 40");
    out.WriteLine(QString::asprintf("/FontBBox [ %-d %-d %-d %-d ]", font.BBox[0], font.BBox[1], font.BBox[2],
                                    font.BBox[3]));
    out.WriteLine(QString::asprintf("/FontName /F%-2.2d", fontNumber));
    out.WriteLine(QString::asprintf("/ItalicAngle %g", font.ItalicAngle));
    out.WriteLine(QString::asprintf("/FontFile2 %d 0 R", k + 2));
    out.WriteLine(">>");
    out.WriteLine("endobj");
    out.MarkObjectStart();

    out.WriteLine(QString::asprintf("%d 0 obj", k + 2));
    out.WriteLine("<<");
    out.WriteLine(QString::asprintf("/Length %d 0 R /Length1 %d 0 R ", k + 3, k + 3));
    out.WriteLine(">>");
    out.WriteLine("stream");
    out.WriteRaw(font.Program);
    out.WriteLine("\r\nendstream");
    out.WriteLine("endobj");
    out.MarkObjectStart();

    out.WriteLine(QString::asprintf("%d 0 obj", k + 3));
    out.WriteLine(QStringLiteral("   %1").arg(font.Program.size()));
    out.WriteLine("endobj");
    out.MarkObjectStart();
    k += 4;
}

} // namespace zorbel
