// The file-name codec: every byte string comes back exactly, UTF-8 reads as
// Qt reads it, and each byte of anything else is kept on its own.
#include "platform/system/SysNames.h"

#include <gtest/gtest.h>

#include <random>

using namespace zorbel;

namespace {

std::string Hex(const QByteArray &b) { return b.toHex(' ').toStdString(); }

// The kept form of one byte that is not part of valid UTF-8.
QChar Kept(unsigned char b) { return QChar(char16_t(0xDC00 + b)); }

TEST(SysNames, ValidUtf8DecodesAsQtDecodesIt)
{
    for (const char *text : {"", "/tmp/plain.den", "/home/я/счёт 1.den", "a\xf0\x9f\x98\x80" "b", "\xef\xbf\xbd",
                             "\xf4\x8f\xbf\xbf", "\xed\x9f\xbf", "\xee\x80\x80", "\xc2\x80", "\xe0\xa0\x80",
                             "\xf0\x90\x80\x80"}) {
        const QByteArray bytes(text);
        const QString name = DecodeSystemName(bytes);
        EXPECT_EQ(name, QString::fromUtf8(bytes)) << Hex(bytes);
        EXPECT_FALSE(NameHasLostBytes(name)) << Hex(bytes);
        EXPECT_EQ(ShownName(name), name);
        EXPECT_EQ(EncodeSystemName(name), bytes) << Hex(bytes);
    }
}

TEST(SysNames, EachByteOfInvalidUtf8IsKeptAndWrittenBack)
{
    const struct {
        QByteArray bytes;
        QString name;
    } cases[] = {
        // CP1251 and KOI8-R names: every byte above 0x7F alone.
        {QByteArray("non\xff\xfeutf8.den"), QStringLiteral("non") + Kept(0xff) + Kept(0xfe) + QStringLiteral("utf8.den")},
        {QByteArray("\xd1\xf7\xb8\xf2.den"), QString(Kept(0xd1)) + Kept(0xf7) + Kept(0xb8) + Kept(0xf2) + ".den"},
        // A stray continuation byte and a lead byte with no continuation.
        {QByteArray("\x80"), QString(Kept(0x80))},
        {QByteArray("a\xd1"), QStringLiteral("a") + Kept(0xd1)},
        // Truncated sequences: the bytes that began them are kept, the next
        // character reads normally.
        {QByteArray("a\xe2\x82.den"), QStringLiteral("a") + Kept(0xe2) + Kept(0x82) + ".den"},
        {QByteArray("\xf0\x9f\x98"), QString(Kept(0xf0)) + Kept(0x9f) + Kept(0x98)},
        {QByteArray("\xe2\x82\xd0\xaf"), QString(Kept(0xe2)) + Kept(0x82) + QString::fromUtf8("Я")},
        // Overlong forms of '/' and of U+0000, and the never-valid C0, C1, F5..FF.
        {QByteArray("\xc0\xaf"), QString(Kept(0xc0)) + Kept(0xaf)},
        {QByteArray("\xe0\x80\xaf"), QString(Kept(0xe0)) + Kept(0x80) + Kept(0xaf)},
        {QByteArray("\xf0\x80\x80\xaf"), QString(Kept(0xf0)) + Kept(0x80) + Kept(0x80) + Kept(0xaf)},
        {QByteArray("\xc1\xbf"), QString(Kept(0xc1)) + Kept(0xbf)},
        // Surrogates encoded in UTF-8 (CESU): not characters.
        {QByteArray("\xed\xa0\x80"), QString(Kept(0xed)) + Kept(0xa0) + Kept(0x80)},
        {QByteArray("\xed\xbf\xbf"), QString(Kept(0xed)) + Kept(0xbf) + Kept(0xbf)},
        {QByteArray("\xed\xb3\xbf"), QString(Kept(0xed)) + Kept(0xb3) + Kept(0xbf)}, // would read as U+DCFF
        // Past U+10FFFF.
        {QByteArray("\xf4\x90\x80\x80"), QString(Kept(0xf4)) + Kept(0x90) + Kept(0x80) + Kept(0x80)},
        {QByteArray("\xf5\x80\x80\x80"), QString(Kept(0xf5)) + Kept(0x80) + Kept(0x80) + Kept(0x80)},
        // A kept byte right after a character outside the BMP stays apart from it.
        {QByteArray("\xf0\x90\x80\x80\xff"), QString::fromUtf8("\xf0\x90\x80\x80") + Kept(0xff)},
    };
    for (const auto &c : cases) {
        const QString name = DecodeSystemName(c.bytes);
        EXPECT_EQ(name, c.name) << Hex(c.bytes);
        EXPECT_TRUE(NameHasLostBytes(name)) << Hex(c.bytes);
        EXPECT_EQ(EncodeSystemName(name), c.bytes) << Hex(c.bytes);
        const QString shown = ShownName(name);
        EXPECT_FALSE(NameHasLostBytes(shown)) << Hex(c.bytes);
        EXPECT_EQ(shown.size(), name.size());
        qsizetype kept = 0;
        for (QChar ch : name)
            kept += ch.unicode() >= 0xDC80 && ch.unicode() <= 0xDCFF;
        EXPECT_EQ(shown.count(QChar(0xFFFD)), kept) << Hex(c.bytes);
    }
    EXPECT_EQ(ShownName(DecodeSystemName("non\xff\xfeutf8.den")), QString::fromUtf8("non\uFFFD\uFFFDutf8.den"));
}

TEST(SysNames, SurrogatesThatStandForNoByteBecomeTheReplacementCharacter)
{
    // A lone high surrogate, or U+DC00..U+DC7F, names no byte: never a
    // control character or a '/' that would send a file call elsewhere.
    EXPECT_EQ(EncodeSystemName(QString(QChar(char16_t(0xD800))) + "x"), QByteArray("\xef\xbf\xbdx"));
    EXPECT_EQ(EncodeSystemName(QString(QChar(char16_t(0xDC2F)))), QByteArray("\xef\xbf\xbd"));
    EXPECT_EQ(EncodeSystemName(QString(QChar(char16_t(0xDC00)))), QByteArray("\xef\xbf\xbd"));
    // A pair is one character.
    const QString pair = QString::fromUtf8("\xf0\x9f\x98\x80");
    EXPECT_FALSE(NameHasLostBytes(pair));
    EXPECT_TRUE(NameHasLostBytes(pair.left(1)));
    EXPECT_TRUE(NameHasLostBytes(pair.right(1)));
}

TEST(SysNames, RandomByteStringsComeBackExactly)
{
    std::mt19937 rnd(20261210);
    // Bytes drawn to hit lead bytes, continuations and ASCII alike.
    const unsigned char pool[] = {0x00, 0x2f, 0x41, 0x7f, 0x80, 0x8f, 0x90, 0x9f, 0xa0, 0xbf, 0xc0, 0xc1, 0xc2,
                                  0xd0, 0xdf, 0xe0, 0xe1, 0xec, 0xed, 0xee, 0xef, 0xf0, 0xf1, 0xf3, 0xf4, 0xf5, 0xff};
    for (int round = 0; round < 20000; ++round) {
        QByteArray bytes;
        const int n = int(rnd() % 12);
        for (int i = 0; i < n; ++i)
            bytes += char(rnd() % 2 ? pool[rnd() % sizeof pool] : rnd() % 256);
        const QString name = DecodeSystemName(bytes);
        ASSERT_EQ(EncodeSystemName(name), bytes) << Hex(bytes);
        // Valid UTF-8 (what Qt's decoder reads back unchanged) is exactly
        // what decodes without a kept byte, and then as Qt decodes it.
        ASSERT_EQ(NameHasLostBytes(name), QString::fromUtf8(bytes).toUtf8() != bytes) << Hex(bytes);
        if (!NameHasLostBytes(name)) {
            ASSERT_EQ(name, QString::fromUtf8(bytes)) << Hex(bytes);
        }
        // Decoding is stable: what it gives encodes and decodes to itself.
        ASSERT_EQ(DecodeSystemName(EncodeSystemName(name)), name) << Hex(bytes);
    }
}

} // namespace
