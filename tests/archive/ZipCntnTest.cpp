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

namespace {

// Items of two classes for the stored form: a node with a key, and a leaf
// that adds a text of its own.
struct Node {
    static QString ClassName() { return QStringLiteral("TNode"); }
    explicit Node(int k) : key(k) {}
    virtual ~Node() = default;
    virtual QString ObjectClassName() const { return ClassName(); }
    int key;
};

struct Leaf : Node {
    Leaf(int k, const QString &t) : Node(k), text(t) {}
    QString ObjectClassName() const override { return QStringLiteral("TLeaf"); }
    QString text;
};

class SortedNodes : public TSortedObjectList<Node> {
public:
    using TSortedObjectList::TSortedObjectList;
    int Compare(const Node *A, const Node *B) const override { return A->key - B->key; }
};

QByteArray Bytes(TMemoryStream &s) { return QByteArray(reinterpret_cast<const char *>(s.Memory()), int(s.Size())); }

// A stream holding the bytes given in hex, at its start.
void Fill(TMemoryStream &s, const char *hex)
{
    const QByteArray bytes = QByteArray::fromHex(hex);
    s.WriteBuffer(bytes.constData(), bytes.size());
    s.SetPosition(0);
}

class StoredLists : public ::testing::Test {
protected:
    using TRegistry = TObjectClassRegistry<Node>;
    void SetUp() override
    {
        TRegistry::Register(
            "TNode", [](TStream &s, const Node &n) { WriteListCount(s, n.key); },
            [](TStream &s) { return std::make_unique<Node>(ReadListCount(s)); });
        TRegistry::Register(
            "TLeaf",
            [](TStream &s, const Node &n) {
                WriteListCount(s, n.key);
                WriteClassName(s, static_cast<const Leaf &>(n).text);
            },
            [](TStream &s) {
                const int key = ReadListCount(s);
                return std::make_unique<Leaf>(key, ReadClassName(s));
            });
    }
    void TearDown() override
    {
        TRegistry::Unregister("TNode");
        TRegistry::Unregister("TLeaf");
    }
};

} // namespace

TEST_F(StoredLists, SortedListRoundTripsWithItsPolicyOwnsFlagAndClasses)
{
    SortedNodes list(TDuplicates::dupAccept);
    EXPECT_FALSE(list.HasData());
    list.Add(new Node(7));
    list.Add(new Leaf(2, "ab"));
    list.Add(new Node(7));
    ASSERT_TRUE(list.HasData());
    TMemoryStream s;
    list.WriteData(s);
    const QByteArray expected = QByteArray::fromHex("01"          // policy: accept
                                                    "01"          // owns its items
                                                    "03000000"    // three items
                                                    "05544c656166" // "TLeaf"
                                                    "02000000"    // key 2
                                                    "026162"      // "ab"
                                                    "05544e6f6465" "07000000"  // "TNode", 7
                                                    "05544e6f6465" "07000000");
    EXPECT_EQ(Bytes(s).toHex(), expected.toHex());

    SortedNodes back(TDuplicates::dupError, false);
    back.Add(new Node(99)); // replaced by what is read (not owned: freed here)
    std::unique_ptr<Node> old(back[0]);
    s.SetPosition(0);
    back.ReadData(s);
    EXPECT_EQ(back.Duplicates(), TDuplicates::dupAccept);
    EXPECT_TRUE(back.OwnsItems());
    ASSERT_EQ(back.Count(), 3);
    EXPECT_EQ(back[0]->ObjectClassName(), "TLeaf");
    EXPECT_EQ(static_cast<Leaf *>(back[0])->text, "ab");
    EXPECT_EQ(back[1]->key, 7);
    EXPECT_EQ(back[2]->ObjectClassName(), "TNode");
    EXPECT_EQ(s.Position(), s.Size());
}

TEST_F(StoredLists, UnregisteredMissingAndDamagedItemsAreRefused)
{
    const auto message = [](const std::function<void()> &f) {
        try {
            f();
        } catch (const EClassNotFound &e) {
            return e.Message();
        }
        return QStringLiteral("no EClassNotFound");
    };
    TObjectList<Node> list;
    list.Add(new Node(1));
    TRegistry::Unregister("TNode");
    TMemoryStream s;
    EXPECT_EQ(message([&] { list.WriteData(s); }), "Source Class <TNode> not registered");
    EXPECT_EQ(s.Size(), 0); // nothing written
    TObjectList<Node> holes(false);
    holes.Add(nullptr);
    EXPECT_EQ(message([&] { holes.WriteData(s); }), "Nil Source Class!");
    EXPECT_EQ(s.Size(), 0);

    // A stored class that is not registered when reading.
    TMemoryStream stored;
    Fill(stored, "0101000000" "05544e6f6465" "01000000");
    TObjectList<Node> back;
    EXPECT_EQ(message([&] { back.ReadData(stored); }), "Class <TNode> not registered");
    EXPECT_EQ(back.Count(), 0);

    // A damaged count and a cut stream.
    SetUp();
    TMemoryStream bad;
    Fill(bad, "01ffffffff");
    EXPECT_THROW(back.ReadData(bad), EListError);
    TMemoryStream cut;
    Fill(cut, "0102000000" "05544e6f6465" "01000000" "05544e6f");
    EXPECT_THROW(back.ReadData(cut), EReadError);
    EXPECT_EQ(back.Count(), 1); // the item read before the cut
    // A sorted list's policy byte out of range.
    TMemoryStream policy;
    Fill(policy, "070100000000");
    SortedNodes sorted(TDuplicates::dupIgnore);
    EXPECT_THROW(sorted.ReadData(policy), EReadError);
}
