// The blocked entry list against a plain array: every read, insert and erase
// at random places, across block splits and emptied blocks, sorting through
// TakeAll/Assign, and removal of every reference to a record; each entry's
// order key travels with it.
#include "memtable/VemtEntryList.h"

#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace zorbel {
namespace {

// Distinct fake record addresses; the list never dereferences them.
TVemtRecord *Fake(size_t n) { return reinterpret_cast<TVemtRecord *>(static_cast<uintptr_t>(16 * (n + 1))); }

// The key the tests give a fake record: made from its address alone, so a
// key that stays behind when its entry moves shows.
std::uint64_t KeyOfFake(const void *, const TVemtRecord *record)
{
    return reinterpret_cast<uintptr_t>(record) * 7 + 3;
}

void ExpectSame(const TVemtEntryList &list, const std::vector<TVemtRecord *> &reference)
{
    ASSERT_EQ(list.size(), reference.size());
    ASSERT_EQ(list.empty(), reference.empty());
    for (size_t i = 0; i < reference.size(); ++i) {
        ASSERT_EQ(list[i], reference[i]) << i;
        ASSERT_EQ(list.KeyAt(i), list.KeyOf(reference[i])) << i;
    }
    // Backwards and by strides too: reads do not depend on the last block read.
    for (size_t i = reference.size(); i-- > 0;)
        ASSERT_EQ(list[i], reference[i]) << i;
    for (size_t i = 0; i < reference.size(); i += 997)
        ASSERT_EQ(list[reference.size() - 1 - i], reference[reference.size() - 1 - i]);
    if (!reference.empty()) {
        EXPECT_EQ(list.back(), reference.back());
    }
}

TEST(VemtEntryListTest, BehavesAsAnArrayUnderRandomInsertsAndErases)
{
    std::mt19937 rng(5);
    TVemtEntryList list;
    list.SetKeyOf(KeyOfFake, nullptr);
    std::vector<TVemtRecord *> reference;
    size_t next = 0;
    // Grow well past several blocks with inserts anywhere and appends.
    for (int step = 0; step < 20000; ++step) {
        TVemtRecord *r = Fake(next++);
        if (step % 3 == 0) {
            list.push_back(r);
            reference.push_back(r);
        } else {
            const size_t at = rng() % (reference.size() + 1);
            list.insert(at, r, KeyOfFake(nullptr, r));
            reference.insert(reference.begin() + static_cast<std::ptrdiff_t>(at), r);
        }
        if (step % 2500 == 0)
            ExpectSame(list, reference);
    }
    ExpectSame(list, reference);
    // Shrink to nothing, erasing at random places (blocks empty out).
    while (!reference.empty()) {
        const size_t at = rng() % reference.size();
        ASSERT_EQ(list[at], reference[at]);
        list.erase(at);
        reference.erase(reference.begin() + static_cast<std::ptrdiff_t>(at));
        if (reference.size() % 3001 == 0)
            ExpectSame(list, reference);
    }
    ExpectSame(list, reference);
    // An emptied list takes entries again, at its end and its start.
    list.insert(0, Fake(1), KeyOfFake(nullptr, Fake(1)));
    list.insert(0, Fake(2), KeyOfFake(nullptr, Fake(2)));
    list.push_back(Fake(3));
    ExpectSame(list, {Fake(2), Fake(1), Fake(3)});
}

TEST(VemtEntryListTest, TakeAllAssignAndRemoveKeepTheOrder)
{
    TVemtEntryList list;
    list.SetKeyOf(KeyOfFake, nullptr);
    std::vector<TVemtRecord *> reference;
    for (size_t i = 0; i < 3 * TVemtEntryList::MaxBlock + 17; ++i) {
        list.insert(0, Fake(i % 50), KeyOfFake(nullptr, Fake(i % 50)));
        reference.insert(reference.begin(), Fake(i % 50));
    }
    std::vector<TVemtRecord *> all = list.TakeAll();
    EXPECT_EQ(all, reference);
    EXPECT_TRUE(list.empty());
    std::reverse(all.begin(), all.end());
    std::reverse(reference.begin(), reference.end());
    list.Assign(std::move(all));
    ExpectSame(list, reference);

    // Inserting into an assigned list splits its blocks as they fill.
    for (size_t i = 0; i < TVemtEntryList::MaxBlock * 2; ++i) {
        list.insert(list.size() / 2, Fake(1000 + i), KeyOfFake(nullptr, Fake(1000 + i)));
        reference.insert(reference.begin() + static_cast<std::ptrdiff_t>(reference.size() / 2), Fake(1000 + i));
    }
    ExpectSame(list, reference);

    list.remove(Fake(7));
    std::erase(reference, Fake(7));
    ExpectSame(list, reference);
    list.clear();
    ExpectSame(list, {});
}

TEST(VemtEntryListTest, InsertKeepsTheKeyItIsGivenAndNoKeyFunctionMeansZero)
{
    TVemtEntryList list;
    list.SetKeyOf(KeyOfFake, nullptr);
    // An edit places a record under the key of its new values.
    list.insert(0, Fake(1), 42);
    list.push_back(Fake(2));
    EXPECT_EQ(list.KeyAt(0), 42u);
    EXPECT_EQ(list.KeyAt(1), KeyOfFake(nullptr, Fake(2)));

    TVemtEntryList plain;
    plain.push_back(Fake(1));
    plain.Assign({Fake(3), Fake(4)});
    EXPECT_EQ(plain.KeyAt(0), 0u);
    EXPECT_EQ(plain.KeyAt(1), 0u);
}

} // namespace
} // namespace zorbel
