// A writer of PDF 1.3 documents. It gathers drawing commands page by page in
// memory (each page a list of text lines and a list of graphics lines of its
// content stream) and writes the whole file in one pass when the document is
// finished, counting bytes for the cross-reference table instead of seeking.
//
// File layout, with n pages and f font objects:
//   1 catalog, 2 outlines, 3 page tree (with the shared resources),
//   2i+4 page i, 2i+5 its content stream (i = 0 .. n-1),
//   2n+4 .. 2n+f+3 fonts (a standard font one object, an embedded TrueType
//   font four: font, descriptor, font program, its length),
//   2n+f+4 document information, 2n+f+5 procedure set, then xref and trailer.
//
// Coordinates handed in are points from the page's top-left corner, y growing
// downwards; the writer flips them into PDF space (origin bottom-left).
// Numbers in the file always use "." as decimal separator, whatever the
// program's format settings say.
//
// Fonts: a text names a font family and style; the key "Family-Name, bold,
// italic" gets a font number in order of first use (resource /F00, /F01 ...).
// Latin text uses one of the standard Type1 fonts in WinAnsi encoding; a
// family in the TrueType list is embedded with an encoding of the writer's
// character set, whose differences name every glyph by its glyph name. A text
// with characters outside WinAnsi puts its family into the TrueType list, so
// Cyrillic text shows and can be copied from the document.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <vector>

namespace zorbel {

class TStream;

// A lookup from text keys to text values; duplicate keys are ignored.
class TDictionary {
public:
    void Add(const QString &key, const QString &value);
    // The value of key, or empty text when absent.
    QString Lookup(const QString &key) const;
    int Count() const { return int(keys_.size()); }

private:
    QStringList keys_, values_;
};

struct TPdfRgb {
    uint8_t R = 0, G = 0, B = 0;
};

enum class TPdfCommandKind : uint8_t { Text = 1, NewPage = 2, Shape = 3, Image = 4 };

enum class TPdfShapeKind : uint8_t {
    Rectangle = 0,
    Ellipse = 1,
    HorLine = 2,
    VertLine = 3,
    RoundRect = 4,
    TopAndBottom = 5,
    LeftAndRight = 6,
};

// One drawing handed to the writer. Positions and sizes in points from the
// page's top-left corner (for images Y is the bottom edge).
struct TPdfCommand {
    TPdfCommandKind Kind = TPdfCommandKind::Text;
    double X = 0, Y = 0;
    QString FontName;
    QString Text;
    int FontSize = 0;
    bool Bold = false, Italic = false;
    bool Filled = false;         // shapes: the brush is not clear
    double Width = 0, Height = 0;
    double LineWidth = 0;
    double ScaleX = 1, ScaleY = 1; // images: target size over pixel size
    QByteArray ImageData;        // images: pixels as hexadecimal digits
    TPdfShapeKind ShapeKind = TPdfShapeKind::Rectangle;
    int PixelWidth = 0, PixelHeight = 0;
    TPdfRgb LineColor;
    TPdfRgb Color; // text colour (texts) or fill colour (shapes)
};

// The numbers of the text written with FormatPdfRgb: "r g b" with two decimals.
QString FormatPdfRgb(TPdfRgb color);
// One cubic Bezier quarter of an ellipse with half axes rx, ry from (x0, y0)
// to (x1, y1): "x1 y1 x2 y2 x3 y3 c".
QString FormatPdfArc(double x0, double y0, double x1, double y1, double rx, double ry);
// Nearest integer, halves to the even neighbour.
int PdfRound(double v);
// Clears list and adds every trimmed, non-empty piece of text between separators.
void SplitPdfList(const QString &text, QChar separator, QStringList &list);
// The standard font name of a font key: "Arial, bold" -> "Helvetica-Bold".
QString MapToBaseFont(const QString &key, const QStringList &aliases);
// Big-endian reads of a font program; a read beyond its end raises ERangeError.
uint32_t ReadBigEndian16(const QByteArray &data, int64_t pos);
uint32_t ReadBigEndian32(const QByteArray &data, int64_t pos);
// The PDF run-length encoding of data, ending with the end-of-data byte 128.
QByteArray PdfRunLengthEncode(const QByteArray &data);
// The pixels of image (rows from the top, red, green, blue per pixel) as
// upper-case hexadecimal digits, run-length encoded first when compress is on.
QByteArray EncodePdfImage(const QImage &image, bool compress);
// The glyph name of a Unicode character, empty when the table has none.
QString PdfGlyphName(char16_t unicode);
// The code page of a Windows character set (1252 for the default set 0).
int PdfCodePageOfCharSet(int charSet);

// What the writer embeds for one TrueType font.
struct TPdfTrueTypeFont {
    QByteArray Program; // the whole font file
    int FirstChar = 0, LastChar = 255;
    int Ascent = 0, Descent = 0; // 1/1000 of the em
    double ItalicAngle = 0;      // degrees
    int BBox[4] = {};            // 1/1000 of the em
    int Widths[256] = {};        // 1/1000 of the em
    QString Encoding;            // the /Encoding dictionary
};

class TPdfWriter {
public:
    TPdfWriter();
    ~TPdfWriter();
    TPdfWriter(const TPdfWriter &) = delete;
    TPdfWriter &operator=(const TPdfWriter &) = delete;

    // ---- settings (a host may change them before the first command) ----
    TStream *OutputStream = nullptr; // written to instead of a file when set
    QStringList TrueTypeList;        // families embedded as TrueType ("Times-New-Roman")
    QStringList BaseFontAliases;     // "Arial:Helvetica", ...
    TDictionary CustomWidths, CustomEncodings;
    int CharSet = 0;                 // Windows character set of the TrueType encodings
    QString Title, Subject, Author;
    double Lift = 20;                // points added to every flipped Y
    bool TextFirst = false;          // a page stream writes its text before its graphics
    bool CompressImages = false;     // run-length encode image data

    void SetPdfPageGeometry(double pageWidth, double pageHeight, double topMargin, double yOffset, double xOffset);
    // Renders one command into the open page (opening the first page).
    void SubmitPdfCommand(const TPdfCommand &command);
    void SubmitPdfImageCommand(const TPdfCommand &command) { SubmitPdfCommand(command); }
    // Closes the open page and writes the whole document: to OutputStream
    // when set, else to the file (an old file of that name is replaced only
    // once the new one is complete). Raises the stream's or file's error.
    void WritePdfDocument(const QString &fileName);
    // The whole document as WritePdfDocument writes it.
    QByteArray BuildPdfDocument();

    // Prepares the embedding of one TrueType font (family as in font keys).
    TPdfTrueTypeFont PrepareTrueTypeFont(const QString &family, const QString &style) const;

    // ---- state, for the filter and for tests ----
    const QStringList &FontList() const { return fontList_; }
    int PageCount() const { return int(pages_.size()); }
    double PageWidth() const { return pageWidth_; }
    double PageHeight() const { return pageHeight_; }
    // The lines of page i (0-based) as they stand, text lines without the
    // closing "ET" of an open page.
    QStringList PageTextLines(int i) const;
    QStringList PageGraphicsLines(int i) const;

private:
    struct TLine {
        QString Text;
        int Font = -1; // the font of a "Tj" line, whose text is encoded in that font
    };
    struct TPage {
        std::vector<TLine> TextLines;
        std::vector<QString> GraphicsLines;
    };

    void BeginPdfPage();
    void EndPdfPage();
    void AddPdfTextLine(const QString &line, int font = -1);
    void AddPdfGraphicsLine(const QString &line) { pages_.back().GraphicsLines.push_back(line); }
    void RenderText(const TPdfCommand &c, double y);
    void RenderShape(const TPdfCommand &c, double y);
    void RenderImage(const TPdfCommand &c, double y);
    int FontNumber(const QString &key);
    bool IsTrueTypeFont(int font) const;
    QByteArray EncodeLine(const TLine &line) const;
    int FontObjectCount() const;

    // The document being written, with the byte count and the object offsets.
    class TOutput {
    public:
        QByteArray Data;
        std::vector<int64_t> Offsets;

        void WriteLine(const QByteArray &s) { Data += s; Data += "\r\n"; }
        void WriteLine(const QString &s) { WriteLine(s.toLatin1()); }
        void WriteLine(const char *s) { WriteLine(QByteArray(s)); }
        void WriteRaw(const QByteArray &s) { Data += s; }
        // Appends the byte count to the offsets: the next object starts here.
        void MarkObjectStart();
    };
    void WriteFonts(TOutput &out, int &k);
    void WriteTrueTypeFont(TOutput &out, const QString &family, const QString &style, int font, int &k);

    std::vector<TPage> pages_;
    bool pageOpen_ = false;
    QStringList fontList_;
    double pageWidth_ = 595, pageHeight_ = 840;
    double topMargin_ = 0, yOffset_ = 0, xOffset_ = 0;
};

} // namespace zorbel
