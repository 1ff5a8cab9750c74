// Reader of the rich text format into a QTextDocument.
//
// A single pass over the bytes with a stack of group states (the character
// and paragraph properties, the destination being read and the \uc count).
// Text is gathered while the character format stays the same and written to
// the document through a cursor; \par ends a paragraph with the alignment in
// force at that point, as the format defines.
#include "report/RepRtf.h"

#include "platform/rtl/CodePages.h"

#include <QTextBlock>
#include <QTextCursor>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <vector>

namespace zorbel {

namespace {

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
    TRtfReader(const QByteArray &bytes, QTextDocument &doc) : in_(bytes), cursor_(&doc) {}
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
    QTextCursor cursor_;
    std::vector<TRtfState> stack_;
    TRtfState st_;
    int overflow_ = 0; // braces past the depth limit, read as plain grouping
    int skip_ = 0;     // replacement characters still to drop after \u
    int codePage_ = 1251;
    std::map<int, TRtfFont> fonts_;
    int fontBeingDefined_ = 0;
    std::vector<QColor> colors_;
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
    font.setPixelSize(std::max(1, Round(st_.HalfPoints / 2.0 * 96 / 72)));
    font.setBold(st_.Bold);
    font.setItalic(st_.Italic);
    font.setUnderline(st_.Underline);
    font.setStrikeOut(st_.Strike);
    f.setFont(font);
    if (st_.Color > 0 && st_.Color < int(colors_.size()))
        f.setForeground(colors_[size_t(st_.Color)]);
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
    if (c < 0x20 && c != u'\t')
        return; // control characters carry no text
    if (st_.Dest == TRtfDest::FontTable) {
        if (c == u';')
            fonts_[fontBeingDefined_].Name = fonts_[fontBeingDefined_].Name.trimmed();
        else
            fonts_[fontBeingDefined_].Name += QChar(c);
        return;
    }
    if (st_.Dest == TRtfDest::ColorTable) {
        if (c == u';') {
            colors_.push_back(colorTouched_ ? QColor(red_ & 255, green_ & 255, blue_ & 255) : QColor(Qt::black));
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

} // namespace zorbel
