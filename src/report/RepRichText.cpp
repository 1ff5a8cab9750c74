// The rich text reader and the rich text printables.
//
// Reader: a single pass over the bytes with a stack of group states (the
// character and paragraph properties, the destination being read and the
// \uc count). Text is gathered while the character format stays the same
// and written to the document through a cursor; \par ends a paragraph with
// the alignment in force at that point, as the format defines.
#include "report/RepRichText.h"

#include "platform/dataset/DataSet.h"
#include "platform/dataset/Fields.h"
#include "platform/rtl/CodePages.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <cmath>
#include <map>
#include <vector>

namespace zorbel {

namespace {

constexpr double kTenthsPerPixel = 254.0 / ScreenPixelsPerInch;
int Round(double v) { return int(std::lround(v)); }

enum class TRtfDest : uint8_t {
    Text,       // document text
    FontTable,  // \fonttbl: names end with ';'
    ColorTable, // \colortbl: \red \green \blue, entries end with ';'
    Skip        // anything not shown
};

struct TRtfState {
    int Font = 0;
    int HalfPoints = 24;
    bool Bold = false, Italic = false, Underline = false, Strike = false;
    int Color = 0;
    Qt::Alignment Align = Qt::AlignLeft;
    int Uc = 1;
    TRtfDest Dest = TRtfDest::Text;
};

struct TRtfFont {
    QString Name;
    int Charset = 1;
};

class TRtfReader {
public:
    TRtfReader(const QByteArray &bytes, QTextDocument &doc) : in_(bytes), doc_(doc), cursor_(&doc) {}
    bool Read();

private:
    void ControlWord(const QByteArray &word, bool hasParam, int param);
    void ControlSymbol(char c);
    void Char(char16_t c);
    void Byte(unsigned char b);
    void Flush();
    void EndParagraph();
    QTextCharFormat Format() const;
    QTextBlockFormat BlockFormat() const;
    bool Skipping() { return skip_ > 0 ? (--skip_, true) : false; }

    const QByteArray &in_;
    qsizetype pos_ = 0;
    QTextDocument &doc_;
    QTextCursor cursor_;
    std::vector<TRtfState> stack_;
    TRtfState st_;
    int overflow_ = 0; // braces past the depth limit, read as plain grouping
    int skip_ = 0;     // replacement characters still to drop after \u
    int codePage_ = 1251;
    std::map<int, TRtfFont> fonts_;
    int fontBeingDefined_ = 0;
    std::vector<TColor> colors_;
    int red_ = 0, green_ = 0, blue_ = 0;
    bool colorTouched_ = false;
    QString pending_;
    QTextCharFormat pendingFormat_;
    bool destinationNext_ = false; // after \*
};

QTextCharFormat TRtfReader::Format() const
{
    QTextCharFormat f;
    QFont font(QStringLiteral("Liberation Sans"));
    if (auto it = fonts_.find(st_.Font); it != fonts_.end() && !it->second.Name.isEmpty())
        font.setFamily(it->second.Name);
    font.setPixelSize(std::max(1, Round(st_.HalfPoints / 2.0 * ScreenPixelsPerInch / 72)));
    font.setBold(st_.Bold);
    font.setItalic(st_.Italic);
    font.setUnderline(st_.Underline);
    font.setStrikeOut(st_.Strike);
    f.setFont(font);
    if (st_.Color > 0 && st_.Color < int(colors_.size()))
        f.setForeground(ColorToQColor(colors_[size_t(st_.Color)]));
    else
        f.setForeground(Qt::black);
    return f;
}

QTextBlockFormat TRtfReader::BlockFormat() const
{
    QTextBlockFormat b;
    b.setAlignment(st_.Align);
    return b;
}

void TRtfReader::Flush()
{
    if (pending_.isEmpty())
        return;
    cursor_.insertText(pending_, pendingFormat_);
    pending_.clear();
}

void TRtfReader::Char(char16_t c)
{
    if (st_.Dest == TRtfDest::FontTable) {
        if (c == u';')
            fonts_[fontBeingDefined_].Name = fonts_[fontBeingDefined_].Name.trimmed();
        else
            fonts_[fontBeingDefined_].Name += QChar(c);
        return;
    }
    if (st_.Dest == TRtfDest::ColorTable) {
        if (c == u';') {
            colors_.push_back(colorTouched_ ? RGB(red_, green_, blue_) : clBlack);
            red_ = green_ = blue_ = 0;
            colorTouched_ = false;
        }
        return;
    }
    if (st_.Dest != TRtfDest::Text)
        return;
    const QTextCharFormat f = Format();
    if (!pending_.isEmpty() && f != pendingFormat_)
        Flush();
    pendingFormat_ = f;
    pending_ += QChar(c);
}

void TRtfReader::Byte(unsigned char b)
{
    int cp = codePage_;
    if (auto it = fonts_.find(st_.Font); it != fonts_.end())
        cp = it->second.Charset == 204 ? 1251 : it->second.Charset == 0 ? 1252 : cp;
    // Windows-1251 is what the program's texts hold; other single-byte code
    // pages are read as Latin-1.
    Char(cp == 1251 ? CodePageCharToUnicode(TCodePage::Win1251, b) : char16_t(b));
}

void TRtfReader::EndParagraph()
{
    if (st_.Dest != TRtfDest::Text)
        return;
    Flush();
    cursor_.setBlockFormat(BlockFormat());
    cursor_.insertBlock();
}

void TRtfReader::ControlSymbol(char c)
{
    switch (c) {
    case '\\': case '{': case '}': Char(char16_t(c)); break;
    case '~': Char(u'\u00A0'); break;
    case '_': Char(u'\u2011'); break;
    case '*': destinationNext_ = true; break;
    case '\n': case '\r': EndParagraph(); break;
    default: break; // \- optional hyphen, \| and others show nothing
    }
}

void TRtfReader::ControlWord(const QByteArray &w, bool hasParam, int param)
{
    const bool on = !hasParam || param != 0;
    // Destinations.
    if (w == "fonttbl") { st_.Dest = TRtfDest::FontTable; return; }
    if (w == "colortbl") { st_.Dest = TRtfDest::ColorTable; return; }
    static const char *const kSkipped[] = {"stylesheet", "info", "pict", "object", "header", "footer", "headerl",
                                           "headerr", "footerl", "footerr", "fldinst", "listtable",
                                           "listoverridetable", "rsidtbl", "generator", "themedata",
                                           "colorschememapping", "latentstyles", "datastore", "xmlnstbl",
                                           "mmathPr", "footnote", "bkmkstart", "bkmkend", "revtbl", "filetbl"};
    for (const char *s : kSkipped)
        if (w == s) {
            st_.Dest = TRtfDest::Skip;
            return;
        }
    if (destinationNext_ && st_.Dest == TRtfDest::Text) {
        st_.Dest = TRtfDest::Skip; // an optional destination we do not know
        destinationNext_ = false;
        return;
    }
    destinationNext_ = false;
    if (w == "ansicpg" && hasParam) codePage_ = param;
    else if (w == "f" && hasParam) {
        if (st_.Dest == TRtfDest::FontTable)
            fontBeingDefined_ = param;
        else
            st_.Font = param;
    } else if (w == "fcharset" && hasParam) {
        if (st_.Dest == TRtfDest::FontTable)
            fonts_[fontBeingDefined_].Charset = param;
    } else if (w == "red" && hasParam) { red_ = param; colorTouched_ = true; }
    else if (w == "green" && hasParam) { green_ = param; colorTouched_ = true; }
    else if (w == "blue" && hasParam) { blue_ = param; colorTouched_ = true; }
    else if (w == "fs" && hasParam) st_.HalfPoints = std::clamp(param, 2, 3276);
    else if (w == "b") st_.Bold = on;
    else if (w == "i") st_.Italic = on;
    else if (w == "ul") st_.Underline = on;
    else if (w == "ulnone") st_.Underline = false;
    else if (w == "strike") st_.Strike = on;
    else if (w == "cf" && hasParam) st_.Color = param;
    else if (w == "plain") {
        const TRtfState keep = st_;
        st_ = TRtfState();
        st_.Align = keep.Align;
        st_.Uc = keep.Uc;
        st_.Dest = keep.Dest;
    } else if (w == "pard") st_.Align = Qt::AlignLeft;
    else if (w == "ql") st_.Align = Qt::AlignLeft;
    else if (w == "qr") st_.Align = Qt::AlignRight;
    else if (w == "qc") st_.Align = Qt::AlignHCenter;
    else if (w == "qj") st_.Align = Qt::AlignJustify;
    else if (w == "par") EndParagraph();
    else if (w == "line") Char(u'\u2028');
    else if (w == "tab") Char(u'\t');
    else if (w == "uc" && hasParam) st_.Uc = std::clamp(param, 0, 16);
    else if (w == "u" && hasParam) {
        Char(char16_t(param < 0 ? param + 65536 : param));
        skip_ = st_.Uc;
        return;
    } else if (w == "emdash") Char(u'\u2014');
    else if (w == "endash") Char(u'\u2013');
    else if (w == "bullet") Char(u'\u2022');
    else if (w == "lquote") Char(u'\u2018');
    else if (w == "rquote") Char(u'\u2019');
    else if (w == "ldblquote") Char(u'\u201C');
    else if (w == "rdblquote") Char(u'\u201D');
}

bool TRtfReader::Read()
{
    const qsizetype n = in_.size();
    // The header opens the outermost group.
    if (!IsRtf(in_))
        return false;
    int depth = 0;
    bool closed = false;
    while (pos_ < n && !closed) {
        const char c = in_[pos_++];
        if (c == '{') {
            destinationNext_ = false;
            if (int(stack_.size()) >= kMaxRtfDepth)
                ++overflow_;
            else
                stack_.push_back(st_);
            ++depth;
            skip_ = 0;
        } else if (c == '}') {
            if (overflow_ > 0)
                --overflow_;
            else if (!stack_.empty()) {
                if (st_.Dest == TRtfDest::Text)
                    Flush();
                st_ = stack_.back();
                stack_.pop_back();
            }
            skip_ = 0;
            closed = --depth == 0;
        } else if (c == '\\') {
            if (pos_ >= n)
                break;
            const char d = in_[pos_];
            if (d == '\'') {
                // \'xx: one byte in the code page.
                ++pos_;
                int v = 0, digits = 0;
                while (digits < 2 && pos_ < n && std::isxdigit(static_cast<unsigned char>(in_[pos_]))) {
                    v = v * 16 + QByteArray(1, in_[pos_]).toInt(nullptr, 16);
                    ++pos_;
                    ++digits;
                }
                if (!Skipping() && digits > 0)
                    Byte(static_cast<unsigned char>(v));
            } else if (std::isalpha(static_cast<unsigned char>(d))) {
                QByteArray word;
                while (pos_ < n && std::isalpha(static_cast<unsigned char>(in_[pos_])) && word.size() < 32)
                    word += in_[pos_++];
                bool neg = false, hasParam = false;
                long long param = 0;
                if (pos_ < n && in_[pos_] == '-') {
                    neg = true;
                    ++pos_;
                }
                int digits = 0;
                while (pos_ < n && std::isdigit(static_cast<unsigned char>(in_[pos_]))) {
                    if (digits < 10)
                        param = param * 10 + (in_[pos_] - '0');
                    ++digits;
                    ++pos_;
                }
                hasParam = digits > 0;
                if (pos_ < n && in_[pos_] == ' ')
                    ++pos_;
                param = std::clamp(neg ? -param : param, -2147483647LL, 2147483647LL);
                if (!Skipping())
                    ControlWord(word, hasParam, int(param));
            } else {
                ++pos_;
                if (!Skipping())
                    ControlSymbol(d);
            }
        } else if (c == '\r' || c == '\n') {
            // Line breaks of the file carry no meaning.
        } else if (!Skipping())
            Byte(static_cast<unsigned char>(c));
    }
    if (st_.Dest == TRtfDest::Text || stack_.empty())
        Flush();
    cursor_.setBlockFormat(BlockFormat());
    return closed;
}

} // namespace

bool IsRtf(const QByteArray &bytes) { return bytes.startsWith("{\\rtf"); }

bool ReadRtf(const QByteArray &rtf, QTextDocument &doc)
{
    doc.clear();
    doc.setDocumentMargin(0);
    TRtfReader reader(rtf, doc);
    return reader.Read();
}

// ---- layout ----

int TRepRichLayout::Length() const { return std::max(0, doc_.characterCount() - 1); }

void TRepRichLayout::LayoutAt(double width)
{
    if (width_ == width)
        return;
    doc_.setDocumentMargin(0);
    doc_.setTextWidth(std::max(width, 1.0));
    doc_.documentLayout()->documentSize(); // lays the whole document out
    width_ = width;
}

namespace {
// Calls visit(block, line, top) for each line from the one holding from
// while its bottom stays within height of the first line's top; returns the
// first character of the first line that does not fit (length when all do).
template <class Visit>
int FitLines(QTextDocument &doc, int from, double height, int length, Visit visit)
{
    bool started = false;
    double y0 = 0;
    QAbstractTextDocumentLayout *layout = doc.documentLayout();
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        QTextLayout *tl = block.layout();
        if (!tl)
            continue;
        const double blockTop = layout->blockBoundingRect(block).top();
        for (int i = 0; i < tl->lineCount(); ++i) {
            const QTextLine line = tl->lineAt(i);
            const int start = block.position() + line.textStart();
            const int end = start + line.textLength();
            if (!started && end <= from && start < from)
                continue;
            const double top = blockTop + line.y();
            if (!started) {
                started = true;
                y0 = top;
            }
            if (top + line.height() - y0 > height)
                return std::min(start, length);
            visit(block, line, top - y0);
        }
    }
    return length;
}
} // namespace

int TRepRichLayout::Measure(int from, double width, double height)
{
    const int length = Length();
    if (from >= length)
        return -1;
    LayoutAt(width);
    return FitLines(doc_, from, height, length, [](const QTextBlock &, const QTextLine &, double) {});
}

int TRepRichLayout::Draw(TCanvas &canvas, int from, const QRect &target, double scale)
{
    const int length = Length();
    if (from >= length)
        return -1;
    LayoutAt(target.width() / scale);
    const TColor keptColor = canvas.FontColor;
    const unsigned keptAlign = canvas.TextAlign;
    canvas.Brush.Style = TBrushStyle::bsClear;
    canvas.TextAlign = TA_LEFT | TA_BASELINE;
    const int result = FitLines(doc_, from, target.height() / scale, length,
                                [&](const QTextBlock &block, const QTextLine &line, double top) {
        const int ls = line.textStart(), le = ls + line.textLength();
        const int baseline = target.top() + Round((top + line.ascent()) * scale);
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            const int fs = frag.position() - block.position(), fe = fs + frag.length();
            const int s = std::max(ls, fs), e = std::min(le, fe);
            if (s >= e)
                continue;
            const QTextCharFormat fmt = frag.charFormat();
            QFont font = fmt.font();
            font.setPixelSize(std::max(1, Round(FontPixelHeight(font) * scale)));
            canvas.Font = font;
            canvas.FontColor = QColorToColor(fmt.foreground().color());
            // Pieces between tabs and line breaks go where the layout put them.
            const QString text = frag.text().mid(s - fs, e - s);
            int pieceStart = 0;
            for (int k = 0; k <= text.size(); ++k) {
                if (k < text.size() && text[k] != QLatin1Char('\t') && text[k] != QChar(0x2028))
                    continue;
                if (k > pieceStart) {
                    const double x = line.cursorToX(s + pieceStart);
                    canvas.TextOut(target.left() + Round(x * scale), baseline, text.mid(pieceStart, k - pieceStart));
                }
                pieceStart = k + 1;
            }
        }
    });
    canvas.FontColor = keptColor;
    canvas.TextAlign = keptAlign;
    return result;
}

// ---- printables ----

TRepCustomRichText::TRepCustomRichText() : richEdit_(std::make_unique<QTextDocument>())
{
    Font = QFont(QStringLiteral("Liberation Sans"));
    Font.setPixelSize(FontPixelHeight(QFont(QStringLiteral("Liberation Sans"), 10)));
    richEdit_->setDefaultFont(Font);
    richEdit_->setDocumentMargin(0);
    FinishedPrinting = true;
    Size.Values[TRepPrintableSize::iWidth] = Size.Values[TRepPrintableSize::iHeight] = 100 * kTenthsPerPixel;
}

TRepCustomRichText::~TRepCustomRichText() = default;

void TRepCustomRichText::SetLines(const QByteArray &bytes)
{
    richEdit_->setDefaultFont(Font);
    if (IsRtf(bytes))
        ReadRtf(bytes, *richEdit_);
    else {
        richEdit_->setPlainText(QString::fromUtf8(bytes));
        richEdit_->setDocumentMargin(0);
    }
    NextChar = 0;
}

void TRepCustomRichText::Print(double x, double y)
{
    if (!Printer || !Report)
        return;
    TRepPrinter &pr = *Printer;
    QTextDocument &doc = Printed();
    TRepRichLayout layout(doc);
    const double left = Size.Values[TRepPrintableSize::iLeft], top = Size.Values[TRepPrintableSize::iTop];
    const double width = Size.Values[TRepPrintableSize::iWidth], height = Size.Values[TRepPrintableSize::iHeight];
    QRect rect(QPoint(pr.XToDevice(x + left), pr.YToDevice(y + top)),
               QPoint(pr.XToDevice(x + left + width) - 1, pr.YToDevice(y + top + height) - 1));
    // Device pixels per screen pixel: 1 on recorded pages.
    const double scale = pr.XScale() * kTenthsPerPixel;
    if (FinishedPrinting)
        NextChar = 0;
    const int length = layout.Length();
    const int from = NextChar;
    int fit = layout.Measure(from, rect.width() / scale, rect.height() / scale);
    TCanvas &canvas = pr.GetCanvas();
    if (fit >= 0 && fit < length && AutoStretch && Band && length > 0) {
        FinishedPrinting = false;
        double growth = 0;
        bool requested = false;
        while (fit >= 0 && fit < length && Band->CanExpand(50)) {
            Band->ExpandBy(50, requested, growth);
            rect.setBottom(pr.YToDevice(y + top + height + growth) - 1);
            fit = layout.Measure(from, rect.width() / scale, rect.height() / scale);
        }
        const int drawn = layout.Draw(canvas, from, rect, scale);
        if (drawn < 0 || drawn >= length) {
            NextChar = length;
            FinishedPrinting = true;
        } else
            NextChar = drawn;
    } else {
        const int drawn = layout.Draw(canvas, from, rect, scale);
        NextChar = drawn < 0 ? length : drawn;
        FinishedPrinting = true;
        TRepPrintable::Print(x, y);
    }
    if (NextChar > from)
        ++Progress;
    if (Report->Exporting && Report->ExportFilter) {
        // The part just printed goes to the writer as a picture.
        TMetafileRecorder recorder(rect.width(), rect.height());
        TCanvas mc;
        mc.BeginRecording(&recorder);
        TRepRichLayout(doc).Draw(mc, from, QRect(0, 0, rect.width(), rect.height()), scale);
        TRepImage image;
        image.Name = Name;
        image.AutoSize = true;
        image.Picture.Metafile = recorder.Finish();
        image.Size.SetUnits(TRepUnit::Native);
        image.Size.Values[TRepPrintableSize::iLeft] = rect.left();
        image.Size.Values[TRepPrintableSize::iTop] = rect.top();
        image.Size.Values[TRepPrintableSize::iWidth] = rect.width();
        image.Size.Values[TRepPrintableSize::iHeight] = rect.height();
        Report->ExportFilter->PutGraphic(image, rect.left(), rect.top());
    }
}

// ---- data rich text ----

void TRepDBRichText::Prepare()
{
    TRepCustomRichText::Prepare();
    Field = DataSet ? DataSet->FindField(DataField) : nullptr;
    if (dynamic_cast<TBlobField *>(Field))
        RichEdit().clear();
}

void TRepDBRichText::Unprepare()
{
    Field = nullptr;
    TRepCustomRichText::Unprepare();
}

void TRepDBRichText::LoadField()
{
    if (!dynamic_cast<TBlobField *>(Field))
        return;
    try {
        SetLines(Field->GetBlobData());
    } catch (const std::exception &) {
        SetLines(QByteArray()); // an unreadable field prints nothing
    }
}

void TRepDBRichText::Print(double x, double y)
{
    // A continuation keeps the text it is part way through.
    if (FinishedPrinting)
        LoadField();
    TRepCustomRichText::Print(x, y);
}

QString TRepDBRichText::GetFieldString()
{
    if (!Enabled)
        return QString();
    try {
        Prepare();
        if (dynamic_cast<TBlobField *>(Field)) {
            LoadField();
            return RichEdit().toPlainText();
        }
        return Field ? Field->DisplayText() : QString();
    } catch (const std::exception &) {
        return QString();
    }
}

bool TRepDBRichText::GetExpandedHeight(double &pixels)
{
    LoadField();
    TRepRichLayout layout(RichEdit());
    const double width = Size.Values[TRepPrintableSize::iWidth] / kTenthsPerPixel;
    const double height = Size.Values[TRepPrintableSize::iHeight];
    double added = 0;
    // Grows in steps of 50 units until the text fits; the document's own
    // height bounds the steps.
    const double limit = RichEdit().size().height() * kTenthsPerPixel + height + 100;
    for (;;) {
        const int fit = layout.Measure(0, width, (height + added) / kTenthsPerPixel);
        if (fit < 0 || fit >= layout.Length() || added > limit)
            break;
        added += 50;
    }
    layout.Release();
    pixels = (height + added) / kTenthsPerPixel;
    return true;
}

} // namespace zorbel
