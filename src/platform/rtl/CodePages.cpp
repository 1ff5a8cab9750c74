// Code-page tables: the upper halves (0x80..0xFF) of Windows-1251 and 866 as
// Unicode code units; the lower halves are ASCII in both. The reverse direction
// is a lazily built 64K-entry table per code page.
#include "platform/rtl/CodePages.h"

#include <array>
#include <mutex>

namespace zorbel {
namespace {

// Windows-1251, bytes 0x80..0xBF; 0xC0..0xFF are U+0410..U+044F. Byte 0x98 has
// no character in the code page and is carried as U+0098 so it round-trips.
constexpr std::array<char16_t, 64> kWin1251High = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // B8
};

// 866, bytes 0xB0..0xDF (box drawing) and 0xF0..0xFF; 0x80..0xAF are
// U+0410..U+043F and 0xE0..0xEF are U+0440..U+044F.
constexpr std::array<char16_t, 48> kCp866Box = {
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, // C8
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580, // D8
};
constexpr std::array<char16_t, 16> kCp866Tail = {
    0x0401, 0x0451, 0x0404, 0x0454, 0x0407, 0x0457, 0x040E, 0x045E, // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0, // F8
};

char16_t Win1251Char(unsigned char b)
{
    if (b < 0x80)
        return b;
    if (b < 0xC0)
        return kWin1251High[b - 0x80];
    return char16_t(0x0410 + (b - 0xC0));
}

char16_t Cp866Char(unsigned char b)
{
    if (b < 0x80)
        return b;
    if (b < 0xB0)
        return char16_t(0x0410 + (b - 0x80));
    if (b < 0xE0)
        return kCp866Box[b - 0xB0];
    if (b < 0xF0)
        return char16_t(0x0440 + (b - 0xE0));
    return kCp866Tail[b - 0xF0];
}

// Reverse table: Unicode code unit -> byte, 0 meaning "none" (U+0000 maps to 0
// explicitly, checked before the lookup).
struct ReverseTable {
    std::array<unsigned char, 0x10000> bytes{};
};

const ReverseTable &Reverse(TCodePage cp)
{
    static ReverseTable tables[2];
    static std::once_flag once[2];
    const int i = cp == TCodePage::Win1251 ? 0 : 1;
    std::call_once(once[i], [&] {
        for (int b = 1; b < 256; ++b)
            tables[i].bytes[CodePageCharToUnicode(cp, static_cast<unsigned char>(b))] =
                static_cast<unsigned char>(b);
    });
    return tables[i];
}

} // namespace

char16_t CodePageCharToUnicode(TCodePage cp, unsigned char byte)
{
    return cp == TCodePage::Win1251 ? Win1251Char(byte) : Cp866Char(byte);
}

unsigned char UnicodeCharToCodePage(TCodePage cp, char16_t ch)
{
    if (ch == 0)
        return 0;
    const unsigned char b = Reverse(cp).bytes[ch];
    return b ? b : '?';
}

QString CodePageToUnicode(TCodePage cp, const char *bytes, qsizetype length)
{
    QString result(length, Qt::Uninitialized);
    QChar *out = result.data();
    for (qsizetype i = 0; i < length; ++i)
        out[i] = QChar(CodePageCharToUnicode(cp, static_cast<unsigned char>(bytes[i])));
    return result;
}

QString CodePageToUnicode(TCodePage cp, const QByteArray &bytes)
{
    return CodePageToUnicode(cp, bytes.constData(), bytes.size());
}

void AppendCodePage(QByteArray &out, TCodePage cp, QStringView text)
{
    // One byte per character at most: written straight into the buffer.
    const qsizetype start = out.size();
    out.resize(start + text.size());
    char *o = out.data() + start;
    const ReverseTable &table = Reverse(cp);
    const char16_t *in = text.utf16();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t ch = in[i];
        if (QChar::isHighSurrogate(ch) && i + 1 < text.size() && QChar::isLowSurrogate(in[i + 1])) {
            *o++ = '?';
            ++i;
            continue;
        }
        if (ch == 0) {
            *o++ = '\0';
            continue;
        }
        const unsigned char b = table.bytes[ch];
        *o++ = static_cast<char>(b ? b : '?');
    }
    out.truncate(o - out.constData());
}

QByteArray UnicodeToCodePage(TCodePage cp, const QString &text)
{
    QByteArray result;
    AppendCodePage(result, cp, text);
    return result;
}

QByteArray CharToOem(const QByteArray &ansi)
{
    return UnicodeToCp866(Win1251ToUnicode(ansi));
}

QByteArray OemToChar(const QByteArray &oem)
{
    return UnicodeToWin1251(Cp866ToUnicode(oem));
}

} // namespace zorbel
