// Russian collation: a primary weight per UTF-16 code unit, looked up in one
// table of 65536 entries built on first use. The weight of a unit is the weight
// of its lower-case form with Ё folded to Е, so equal weights mean equal
// letters apart from case and Ё; the group (see Collation.h) sits in the high
// half of the weight. The secondary and tertiary levels are only walked when
// the primary level ties, which is rare in sorting.
//
// Texts are read unit by unit through memcpy, so that texts lying at odd
// addresses in record buffers are compared in place; a zero-terminated text
// ends at its first zero unit or its maximum, whichever comes first.
#include "platform/rtl/Collation.h"

#include <QChar>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>

namespace zorbel {
namespace {

constexpr std::uint32_t kGroupOther = 0x00000;  // space, punctuation, symbols
constexpr std::uint32_t kGroupDigit = 0x10000;  // 0-9
constexpr std::uint32_t kGroupLatin = 0x20000;  // a-z
constexpr std::uint32_t kGroupCyrillic = 0x30000; // Russian alphabet, then other Cyrillic
constexpr std::uint32_t kGroupLetter = 0x40000; // other letters

constexpr char16_t kSmallYo = 0x0451, kCapitalYo = 0x0401, kSmallIe = 0x0435;

// The Russian alphabet in its order, lower case, without ё (weighed as е).
constexpr char16_t kRussian[] = u"абвгдежзийклмнопрстуфхцчшщъыьэюя";

using WeightTable = std::array<std::uint32_t, 65536>;

std::unique_ptr<WeightTable> BuildWeights()
{
    auto table = std::make_unique<WeightTable>();
    std::array<int, 65536> russianRank;
    russianRank.fill(-1);
    for (int i = 0; kRussian[i] != 0; ++i)
        russianRank[kRussian[i]] = i;
    for (std::uint32_t unit = 0; unit < 65536; ++unit) {
        const QChar c(static_cast<char16_t>(unit));
        char16_t lower = c.isSurrogate() ? c.unicode() : c.toLower().unicode();
        if (lower == kSmallYo)
            lower = kSmallIe;
        std::uint32_t weight;
        if (lower >= u'0' && lower <= u'9')
            weight = kGroupDigit + (lower - u'0');
        else if (lower >= u'a' && lower <= u'z')
            weight = kGroupLatin + (lower - u'a');
        else if (russianRank[lower] >= 0)
            weight = kGroupCyrillic + static_cast<std::uint32_t>(russianRank[lower]);
        else if (!QChar(lower).isLetter())
            weight = kGroupOther + lower;
        else if (lower >= 0x0400 && lower <= 0x052F)
            weight = kGroupCyrillic + 0x100 + lower;
        else
            weight = kGroupLetter + lower;
        (*table)[unit] = weight;
    }
    return table;
}

const WeightTable &Weights()
{
    static const std::unique_ptr<WeightTable> table = BuildWeights();
    return *table;
}

bool IsYo(char16_t c) { return c == kSmallYo || c == kCapitalYo; }
bool IsLowerCase(char16_t c) { return QChar(c).toLower().unicode() == c; }

// A text being compared: units read one by one, ending at its size or, for a
// zero-terminated text, at its first zero unit.
class Units {
public:
    Units(const void *data, qsizetype size, bool zeroTerminated)
        : bytes_(static_cast<const unsigned char *>(data)), size_(size), zeroTerminated_(zeroTerminated)
    {
    }
    // The unit at i; false past the end of the text.
    bool At(qsizetype i, char16_t &unit) const
    {
        if (i >= size_)
            return false;
        std::memcpy(&unit, bytes_ + 2 * i, sizeof unit);
        return !(zeroTerminated_ && unit == 0);
    }

private:
    const unsigned char *bytes_;
    qsizetype size_;
    bool zeroTerminated_;
};

int Compare(const Units &a, const Units &b, bool ignoreCase)
{
    const WeightTable &weight = Weights();
    char16_t ua = 0;
    char16_t ub = 0;
    qsizetype common = 0;
    for (;; ++common) {
        const bool hasA = a.At(common, ua);
        const bool hasB = b.At(common, ub);
        if (!hasA || !hasB) {
            if (hasA != hasB)
                return hasA ? 1 : -1;
            break;
        }
        if (ua != ub && weight[ua] != weight[ub])
            return weight[ua] < weight[ub] ? -1 : 1;
    }
    // Same letters apart from case and Ё: the first Е/Ё difference decides.
    for (qsizetype i = 0; i < common; ++i) {
        a.At(i, ua);
        b.At(i, ub);
        if (IsYo(ua) != IsYo(ub))
            return IsYo(ua) ? 1 : -1;
    }
    if (ignoreCase)
        return 0;
    // Equal apart from case: the first character that differs decides, its
    // lower-case form first.
    for (qsizetype i = 0; i < common; ++i) {
        a.At(i, ua);
        b.At(i, ub);
        if (ua == ub)
            continue;
        const bool lowerA = IsLowerCase(ua);
        const bool lowerB = IsLowerCase(ub);
        if (lowerA != lowerB)
            return lowerA ? -1 : 1;
        return ua < ub ? -1 : 1;
    }
    return 0;
}

} // namespace

int CompareRussian(QStringView a, QStringView b, bool ignoreCase)
{
    return Compare(Units(a.utf16(), a.size(), false), Units(b.utf16(), b.size(), false), ignoreCase);
}

int CompareRussianText(const void *a, qsizetype maxA, const void *b, qsizetype maxB, bool ignoreCase)
{
    return Compare(Units(a, maxA, true), Units(b, maxB, true), ignoreCase);
}

// Each character takes its weight plus one (every weight is below 0x50000, so
// it fits in 20 bits) and the end of the text 0: a shorter text sorts first,
// as Compare orders a prefix before the texts it begins.
std::uint64_t RussianPrimaryPrefix(const void *text, qsizetype maxUnits)
{
    static_assert(kGroupLetter + 0xFFFF + 1 < (1u << 20), "a weight must fit in 20 bits");
    const WeightTable &weight = Weights();
    const Units units(text, maxUnits, true);
    std::uint64_t prefix = 0;
    bool ended = false;
    for (qsizetype i = 0; i < RussianPrefixUnits; ++i) {
        char16_t unit = 0;
        ended = ended || !units.At(i, unit);
        prefix = (prefix << 20) | (ended ? 0 : weight[unit] + 1);
    }
    return prefix;
}

} // namespace zorbel
