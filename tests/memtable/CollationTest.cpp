// The Russian collation shared by the memory tables and the SQL tables.
#include "platform/rtl/Collation.h"

#include <QString>
#include <gtest/gtest.h>
#include <cstring>
#include <random>

namespace zorbel {
namespace {

int Sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

TEST(Collation, RussianAlphabetOrderWithYo)
{
    const QString lower = QStringLiteral("абвгдеёжзийклмнопрстуфхцчшщъыьэюя");
    const QString upper = lower.toUpper();
    for (qsizetype i = 1; i < lower.size(); ++i) {
        for (bool ignoreCase : {false, true}) {
            EXPECT_LT(CompareRussian(lower.mid(i - 1, 1), lower.mid(i, 1), ignoreCase), 0) << i;
            EXPECT_LT(CompareRussian(upper.mid(i - 1, 1), upper.mid(i, 1), ignoreCase), 0) << i;
            // Case never outweighs the letter.
            EXPECT_LT(CompareRussian(upper.mid(i - 1, 1), lower.mid(i, 1), ignoreCase), 0) << i;
            EXPECT_LT(CompareRussian(lower.mid(i - 1, 1), upper.mid(i, 1), ignoreCase), 0) << i;
        }
    }
    // Ё weighs as Е first; only a tie on the letters puts Ё after Е.
    EXPECT_GT(CompareRussian(u"Елена", u"Ёж", true), 0);
    EXPECT_LT(CompareRussian(u"еж", u"ёж", true), 0);
    EXPECT_LT(CompareRussian(u"ёж", u"ель", false), 0);
    EXPECT_LT(CompareRussian(u"ёж", u"жук", false), 0);
    EXPECT_NE(CompareRussian(u"ёлка", u"елка", true), 0);
}

TEST(Collation, CaseRules)
{
    EXPECT_EQ(CompareRussian(u"Привет Мир", u"пРИВЕТ мИР", true), 0);
    EXPECT_EQ(CompareRussian(u"ЁЛКА", u"ёлка", true), 0);
    EXPECT_EQ(CompareRussian(u"Abc", u"aBC", true), 0);
    // Case-sensitive: equal apart from case, the lower-case letter first.
    EXPECT_LT(CompareRussian(u"ёлка", u"Ёлка", false), 0);
    EXPECT_GT(CompareRussian(u"Abc", u"abc", false), 0);
    EXPECT_GT(CompareRussian(u"aBc", u"abC", false), 0) << "the first difference decides";
    EXPECT_EQ(CompareRussian(u"Тест", u"Тест", false), 0);
}

TEST(Collation, GroupsAndPrefixes)
{
    // Space and symbols, then digits, then Latin, then Cyrillic letters.
    const char16_t *ordered[] = {u"", u" ", u"  Я", u"!", u"0", u"9", u"a", u"Z", u"а", u"А1", u"Аб", u"я"};
    for (size_t i = 1; i < std::size(ordered); ++i)
        EXPECT_LT(CompareRussian(ordered[i - 1], ordered[i], false), 0) << i;
    EXPECT_LT(CompareRussian(u"Иван", u"Иванов", true), 0);
    EXPECT_GT(CompareRussian(u"Иванов", u"Иван", true), 0);
    EXPECT_LT(CompareRussian(u" ", u"Автомобиль", false), 0) << "a totals row sorts first";
}

TEST(Collation, ConsistentOrderOnRandomTexts)
{
    const QString alphabet = QStringLiteral("аАеЕёЁжЖzZ 1-");
    std::mt19937 random(12);
    std::vector<QString> texts;
    for (int i = 0; i < 300; ++i) {
        QString text;
        for (int n = static_cast<int>(random() % 4); n >= 0; --n)
            text += alphabet[static_cast<qsizetype>(random() % alphabet.size())];
        texts.push_back(text);
    }
    for (bool ignoreCase : {false, true}) {
        for (size_t i = 0; i < texts.size(); ++i) {
            for (size_t j = 0; j < texts.size(); j += 7) {
                const int ab = CompareRussian(texts[i], texts[j], ignoreCase);
                ASSERT_EQ(Sign(ab), -Sign(CompareRussian(texts[j], texts[i], ignoreCase)));
                const bool same = ignoreCase ? texts[i].toLower() == texts[j].toLower() : texts[i] == texts[j];
                ASSERT_EQ(ab == 0, same) << texts[i].toStdString() << " / " << texts[j].toStdString();
            }
        }
        std::vector<QString> sorted = texts;
        std::sort(sorted.begin(), sorted.end(),
                  [&](const QString &a, const QString &b) { return CompareRussian(a, b, ignoreCase) < 0; });
        for (size_t i = 1; i < sorted.size(); ++i)
            for (size_t j = i; j < sorted.size(); j += 13)
                ASSERT_LE(CompareRussian(sorted[i - 1], sorted[j], ignoreCase), 0);
    }
}

// Zero-terminated texts in record buffers, at odd addresses and cut at their
// field size, order as the same texts do.
TEST(Collation, TextsInBuffersOrderAsStrings)
{
    const QString alphabet = QStringLiteral("аАеЁёzZ 1");
    std::mt19937 random(5);
    auto put = [](std::vector<unsigned char> &buffer, const QString &text) {
        buffer.assign(1 + 2 * (static_cast<size_t>(text.size()) + 1), 0); // one byte before: odd address
        std::memcpy(buffer.data() + 1, text.utf16(), 2 * static_cast<size_t>(text.size()));
    };
    std::vector<unsigned char> a;
    std::vector<unsigned char> b;
    for (int i = 0; i < 2000; ++i) {
        QString x;
        QString y;
        for (int n = static_cast<int>(random() % 5); n > 0; --n)
            x += alphabet[static_cast<qsizetype>(random() % alphabet.size())];
        for (int n = static_cast<int>(random() % 5); n > 0; --n)
            y += alphabet[static_cast<qsizetype>(random() % alphabet.size())];
        put(a, x);
        put(b, y);
        const bool ignoreCase = i % 2 == 0;
        ASSERT_EQ(Sign(CompareRussianText(a.data() + 1, 100, b.data() + 1, 100, ignoreCase)),
                  Sign(CompareRussian(x, y, ignoreCase)));
        ASSERT_EQ(Sign(CompareRussianText(a.data() + 1, 2, b.data() + 1, 3, ignoreCase)),
                  Sign(CompareRussian(QStringView(x).left(2), QStringView(y).left(3), ignoreCase)));
    }
}

// The primary prefix orders texts as the collation does wherever it differs,
// and differs wherever the first characters differ in letters (not only in
// case or Ё): every group, the end of a text, and texts cut at their size.
TEST(Collation, PrimaryPrefixOrdersAsTheTexts)
{
    const QString alphabet = QStringLiteral("аАбеЕёЁжЖяЯzZa0 9-!ßΩ\u04E9\u00E9");
    std::mt19937 random(31);
    std::vector<QString> texts{QString(), QStringLiteral("а"), QStringLiteral("ё"), QStringLiteral("ёж"),
                               QStringLiteral("ежа"), QStringLiteral("Ежа")};
    for (int i = 0; i < 400; ++i) {
        QString text;
        for (int n = static_cast<int>(random() % 6); n > 0; --n)
            text += alphabet[static_cast<qsizetype>(random() % alphabet.size())];
        texts.push_back(text);
    }
    const auto prefixOf = [](const QString &text, qsizetype maxUnits) {
        std::vector<char16_t> buffer(static_cast<size_t>(text.size()) + 1, 0);
        std::memcpy(buffer.data(), text.utf16(), 2 * static_cast<size_t>(text.size()));
        return RussianPrimaryPrefix(buffer.data(), maxUnits);
    };
    int ordered = 0;
    for (const qsizetype maxUnits : {qsizetype(100), qsizetype(2)}) {
        for (const QString &a : texts) {
            for (const QString &b : texts) {
                const std::uint64_t pa = prefixOf(a, maxUnits);
                const std::uint64_t pb = prefixOf(b, maxUnits);
                ASSERT_LT(pa, std::uint64_t(1) << 60);
                const QStringView va = QStringView(a).left(maxUnits);
                const QStringView vb = QStringView(b).left(maxUnits);
                if (pa != pb) {
                    ++ordered;
                    for (bool ignoreCase : {false, true})
                        ASSERT_EQ(pa < pb ? -1 : 1, Sign(CompareRussian(va, vb, ignoreCase)))
                            << a.toStdString() << " / " << b.toStdString();
                }
                const bool samePrimary =
                    CompareRussian(va.left(RussianPrefixUnits), vb.left(RussianPrefixUnits), true) == 0
                    || (va.left(RussianPrefixUnits).toString().replace(u'ё', u'е').replace(u'Ё', u'е').toLower()
                        == vb.left(RussianPrefixUnits).toString().replace(u'ё', u'е').replace(u'Ё', u'е').toLower());
                ASSERT_EQ(pa == pb, samePrimary) << a.toStdString() << " / " << b.toStdString();
            }
        }
    }
    EXPECT_GT(ordered, 100000);
}

} // namespace
} // namespace zorbel
