// The table cursor against a plain sorted list: random posts, edits of key
// fields, deletes, ranges, a filter and walks in both directions, checked after every
// step against std::vector kept in the same order.
#include "platform/rtl/Collation.h"
#include "platform/sqltable/Database.h"
#include "platform/sqltable/Table.h"

#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>
#include <optional>
#include <random>

using namespace zorbel;

namespace {

struct TModelRow {
    int K;     // first key field
    QString S; // second key field (Russian order)
    int Id;    // unique, identifies the row
};

bool Before(const TModelRow &a, const TModelRow &b)
{
    if (a.K != b.K)
        return a.K < b.K;
    return CompareRussian(a.S, b.S, false) < 0;
}

const QString Names[] = {"ёж", "Еда", "еда", "Жук", "ель", "Ёлка", "яма", "Арбуз", "аист", "Ж"};

// Opens a database in dir and readies t as its table "T" with the small
// whole-number field K first; the caller adds the rest and creates it.
void NewTable(const QTemporaryDir &dir, TDatabase &db, TTable &t)
{
    db.SetParams({QStringLiteral("PATH=") + dir.path()});
    db.Open();
    t.SetDatabase(&db);
    t.SetTableName(QStringLiteral("T"));
    t.FieldDefs().Add(QStringLiteral("K"), ftSmallint);
}

} // namespace

TEST(TableCursorModel, RandomPostsEditsDeletesAndWalksMatchASortedList)
{
    QTemporaryDir dir;
    TDatabase db;
    TTable t;
    NewTable(dir, db, t);
    t.FieldDefs().Add(QStringLiteral("S"), ftString, 10);
    t.FieldDefs().Add(QStringLiteral("Id"), ftInteger);
    t.IndexDefs().Add(QString(), QStringLiteral("K;S"), {ixPrimary});
    t.CreateTable();
    t.Open();

    std::mt19937 rng(7);
    std::vector<TModelRow> model;
    int nextId = 1;
    int lo = 0, hi = 9; // current range of K
    bool filtered = false; // the filter "S <> 'еда'" (case-exact)
    auto inRange = [&](const TModelRow &r) {
        return r.K >= lo && r.K <= hi && !(filtered && r.S == QStringLiteral("еда"));
    };
    auto visible = [&] {
        std::vector<TModelRow> v;
        for (const TModelRow &r : model)
            if (inRange(r))
                v.push_back(r);
        std::sort(v.begin(), v.end(), Before);
        return v;
    };
    auto id = [&] { return t.FieldByName(QStringLiteral("Id"))->AsInteger(); };

    for (int step = 0; step < 600; ++step) {
        const int op = int(rng() % 10);
        if (op < 4) { // post a new row with a key not yet used
            TModelRow r{int(rng() % 10), Names[rng() % 10], nextId};
            if (std::any_of(model.begin(), model.end(), [&](const TModelRow &m) { return m.K == r.K && m.S == r.S; }))
                continue;
            ++nextId;
            t.AppendRecord({r.K, r.S, r.Id});
            model.push_back(r);
            if (inRange(r)) {
                ASSERT_EQ(id(), r.Id) << "the cursor stays on the posted row";
            }
        } else if (op < 5 && !t.IsEmpty()) { // change the key of the current row
            const int current = id();
            auto it = std::find_if(model.begin(), model.end(), [&](const TModelRow &m) { return m.Id == current; });
            ASSERT_NE(it, model.end());
            const QString s = Names[rng() % 10];
            if (std::any_of(model.begin(), model.end(), [&](const TModelRow &m) { return m.K == it->K && m.S == s; }))
                continue;
            t.Edit();
            t.FieldByName(QStringLiteral("S"))->SetAsString(s);
            t.Post();
            it->S = s;
        } else if (op < 6 && !t.IsEmpty()) { // delete the current row
            const int current = id();
            const std::vector<TModelRow> v = visible();
            const auto pos = std::find_if(v.begin(), v.end(), [&](const TModelRow &m) { return m.Id == current; }) - v.begin();
            t.Delete();
            std::erase_if(model, [&](const TModelRow &m) { return m.Id == current; });
            const std::vector<TModelRow> after = visible();
            if (!after.empty()) {
                ASSERT_EQ(id(), after[size_t(std::min<ptrdiff_t>(pos, ptrdiff_t(after.size()) - 1))].Id);
            }
        } else if (op < 7) { // a new range, sometimes the filter switched
            lo = int(rng() % 6);
            hi = lo + int(rng() % 5);
            t.SetRange({lo}, {hi});
            if (rng() % 3 == 0) {
                filtered = !filtered;
                t.SetFilter(QStringLiteral("S <> 'еда'"));
                t.SetFiltered(filtered);
            }
        } else if (op < 9) { // walk forward part way, then back
            const std::vector<TModelRow> v = visible();
            t.First();
            const int n = v.empty() ? 0 : int(rng() % v.size());
            for (int i = 0; i < n; ++i)
                t.Next();
            if (!v.empty()) {
                ASSERT_EQ(id(), v[size_t(n)].Id);
                ASSERT_EQ(t.RecNo(), n + 1);
                t.Prior();
                ASSERT_EQ(id(), v[size_t(std::max(n - 1, 0))].Id);
            }
        } else { // a full walk and the count
            const std::vector<TModelRow> v = visible();
            std::vector<int> walked;
            for (t.First(); !t.Eof(); t.Next())
                walked.push_back(id());
            std::vector<int> expected;
            for (const TModelRow &r : v)
                expected.push_back(r.Id);
            ASSERT_EQ(walked, expected) << "step " << step;
            ASSERT_EQ(t.RecordCount(), int(v.size()));
        }
    }
}

// A range's count may come from a counter and the positions of the rows
// walked from the top from the walk itself, so that neither needs the list
// of the whole range; once the list exists, it answers.
TEST(TableCursorModel, CounterAndWalkedRowsStandInForTheListUntilItIsBuilt)
{
    QTemporaryDir dir;
    TDatabase db;
    TTable t;
    NewTable(dir, db, t);
    t.FieldDefs().Add(QStringLiteral("Id"), ftInteger);
    t.IndexDefs().Add(QString(), QStringLiteral("K;Id"), {ixPrimary});
    t.CreateTable();
    int asked = 0;
    std::vector<Variant> seenStart;
    t.SetRowCounter([&](const QStringList &order, const TRowValues &start, const TRowValues &) -> std::optional<int> {
        ++asked;
        seenStart = start;
        EXPECT_EQ(order, (QStringList{QStringLiteral("K"), QStringLiteral("Id")}));
        return 1000; // deliberately not the true count: shows who answered
    });
    t.Open();
    for (int i = 0; i < 40; ++i)
        t.AppendRecord({i % 4, 100 - i});
    t.SetRange({Variant(int16_t(2))}, {Variant(int16_t(2))});
    EXPECT_EQ(t.RecordCount(), 1000);
    EXPECT_EQ(asked, 1);
    ASSERT_EQ(seenStart.size(), 1u);
    EXPECT_EQ(seenStart[0].AsInteger(), 2);

    // Rows 1..4 of the range by the walk: their positions before any list.
    std::vector<int> before;
    for (int i = 0; i < 4; ++i, t.Next())
        before.push_back(t.RecNo());
    EXPECT_EQ(before, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(t.RecordCount(), 1000); // still no list

    t.Last(); // builds the list: the count is the rows'
    EXPECT_EQ(t.RecordCount(), 10);
    EXPECT_EQ(t.RecNo(), 10);
    t.SetFilter(QStringLiteral("Id > 70"));
    t.SetFiltered(true);
    const int asks = asked;
    EXPECT_EQ(t.RecordCount(), 7); // a filter is never the counter's
    EXPECT_EQ(asked, asks);
}
