// Object lists of the zip component: growth, index errors, ownership and duplicate policies.
#include "archive/ZipCntn.h"

#include <gtest/gtest.h>

#include <memory>

using namespace zorbel;

namespace {

struct Item {
    static QString ClassName() { return QStringLiteral("Item"); }
    explicit Item(int k, int *freed = nullptr) : key(k), freedCounter(freed) {}
    ~Item()
    {
        if (freedCounter)
            ++*freedCounter;
    }
    int key;
    int *freedCounter;
};

class SortedItems : public TSortedObjectList<Item> {
public:
    using TSortedObjectList::TSortedObjectList;
    int Compare(const Item *A, const Item *B) const override { return A->key - B->key; }
};

} // namespace

TEST(ObjectList, GrowsInStepsUpToTheCapacityLimit)
{
    TObjectList<Item> list(false);
    Item shared(0);
    std::vector<int> capacities;
    for (int i = 0; i < 33; ++i) {
        list.Add(&shared);
        if (capacities.empty() || capacities.back() != list.Capacity())
            capacities.push_back(list.Capacity());
    }
    EXPECT_EQ(capacities, (std::vector<int>{4, 8, 16, 32, 48}));
    while (list.Count() < 65520)
        list.Add(&shared);
    EXPECT_THROW(list.Add(&shared), EListError);
    EXPECT_EQ(list.Count(), 65520);
    EXPECT_THROW(list.SetCapacity(10), EListError);
}

TEST(ObjectList, IndexErrorsNeighboursAndOwnership)
{
    int freed = 0;
    {
        TObjectList<Item> list;
        Item *a = new Item(1, &freed);
        Item *b = new Item(2, &freed);
        list.Add(a);
        list.Add(b);
        try {
            list.Items(2);
            FAIL();
        } catch (const EListError &e) {
            EXPECT_EQ(e.Message(), "List index out of bounds (2)");
        }
        EXPECT_THROW(list.Items(-1), EListError);
        EXPECT_EQ(list.Neighbour(a, true), b);
        EXPECT_EQ(list.Neighbour(a, false), nullptr);
        EXPECT_EQ(list.Neighbour(nullptr, false), b);
        Item stranger(9);
        try {
            list.Neighbour(&stranger, true);
            FAIL();
        } catch (const EListError &e) {
            EXPECT_EQ(e.Message(), "tObject Item not in item list");
        }
        list.Put(0, new Item(3, &freed));
        EXPECT_EQ(freed, 1);
    }
    EXPECT_EQ(freed, 3);
}

TEST(SortedObjectList, DuplicatePolicies)
{
    int freed = 0;
    SortedItems ignore(TDuplicates::dupIgnore);
    ignore.Add(new Item(5));
    EXPECT_EQ(ignore.Add(new Item(5, &freed)), -1);
    EXPECT_EQ(ignore.Count(), 1);
    EXPECT_EQ(freed, 1);

    SortedItems error(TDuplicates::dupError);
    error.Add(new Item(5));
    auto dup = std::make_unique<Item>(5);
    try {
        error.Add(dup.get());
        FAIL();
    } catch (const EListError &e) {
        EXPECT_EQ(e.Message(), "Duplicate Object index");
    }
    EXPECT_EQ(error.Count(), 1);
    EXPECT_THROW(error.Put(0, dup.get()), EListError);

    SortedItems accept(TDuplicates::dupAccept, false);
    Item a(3), b(1), c(3), d(2), e(3);
    for (Item *i : {&a, &b, &c, &d, &e})
        accept.Add(i);
    ASSERT_EQ(accept.Count(), 5);
    // A new equal item goes before the ones already held.
    EXPECT_EQ(accept[0], &b);
    EXPECT_EQ(accept[1], &d);
    EXPECT_EQ(accept[2], &e);
    EXPECT_EQ(accept[3], &c);
    EXPECT_EQ(accept[4], &a);
    int index = -1;
    Item key(3);
    EXPECT_TRUE(accept.Find(&key, index));
    EXPECT_EQ(index, 2);
    Item missing(4);
    EXPECT_FALSE(accept.Find(&missing, index));
    EXPECT_EQ(index, 5);
    EXPECT_EQ(accept.IndexOf(&missing), -1);
}
