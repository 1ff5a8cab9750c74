// Matching of import names against the data set: categories placed on the
// tree's levels, ancestors filled in, broken paths marked; people and firms.
#include "ImportFixture.h"

#include "analysis/ZorbImpItems.h"

namespace zorbel::test {
namespace {

class ImportItemsTest : public ::testing::Test {
protected:
    ImportItemsTest() : catalog(TImportCatalog::FromDataModule(data.Dm))
    {
        food = data.Id("Еда", TImportDataSet::ExpenseRoot);
        bread = data.Id("Хлеб", food);
        otherFood = data.Id("Прочее", food);
        salary = data.Id("Зарплата", TImportDataSet::IncomeRoot);
        otherSalary = data.Id("Прочее", salary);
        gifts = data.Id("Подарки", TImportDataSet::ExpenseRoot);
    }
    // Levels of an expense (or income) line naming a, b, c.
    TItemLevels Expense(const char *a, const char *b = "", const char *c = "")
    {
        return ResolveItemLevels({U(a), U(b), U(c)}, u'+', catalog);
    }
    TItemLevels Income(const char *a, const char *b = "", const char *c = "")
    {
        return ResolveItemLevels({U(a), U(b), U(c)}, u'-', catalog);
    }
    using R = std::array<int, 3>;

    TImportDataSet data;
    TImportCatalog catalog;
    int food = 0, bread = 0, otherFood = 0, salary = 0, otherSalary = 0, gifts = 0;
    static constexpr int E = LevelEmpty;
};

TEST_F(ImportItemsTest, KnownNamesLandAtTheirDepthWithTheirAncestors)
{
    TItemLevels l = Expense("Хлеб");
    EXPECT_EQ(l.Result, (R{0, food, bread}));
    EXPECT_EQ(l.Names[0], U("Статья расхода"));
    EXPECT_EQ(l.Names[1], U("Еда"));

    EXPECT_EQ(Expense("хлеб", "ЕДА").Result, (R{0, food, bread})); // any order, any case
    EXPECT_EQ(Expense("", "Еда", "").Result, (R{0, food, E}));
    EXPECT_EQ(Expense("Статья расхода", "Еда", "Хлеб").Result, (R{0, food, bread}));
    EXPECT_EQ(Expense("Хлеб", "Статья расхода", "Еда").Result, (R{0, food, bread}));
    EXPECT_EQ(Income("Зарплата").Result, (R{1, salary, E}));
}

TEST_F(ImportItemsTest, NamesNotFoundBecomeNewChildrenBelowTheKnownOnes)
{
    TItemLevels l = Expense("Еда", "Новинка");
    EXPECT_EQ(l.Result, (R{0, food, LevelUnknown}));
    EXPECT_EQ(l.Names[2], U("Новинка"));
    EXPECT_EQ(Expense("Статья расхода", "Новая группа", "Новая статья").Result,
              (R{0, LevelUnknown, LevelUnknown}));
    l = Expense("", "Совсем новое", "");
    EXPECT_EQ(l.Result, (R{LevelUnknown, E, E}));
    EXPECT_EQ(l.Names[0], U("Совсем новое"));
    EXPECT_EQ(Expense("Новое1", "", "Новое2").Result, (R{LevelUnknown, LevelUnknown, E}));
}

// A name new to the tree is never booked below a name written after it:
// such a line is taken as written. Lines the tree rules refuse stay refused.
TEST_F(ImportItemsTest, ANewNameKeepsTheOrderItWasWrittenIn)
{
    constexpr int U = LevelUnknown, X = LevelInconsistent;
    const struct {
        const char *A, *B, *C;
        R Result;
        const char *Names;
    } cases[] = {
        {"Отпуск", "Еда", "", {U, U, E}, "Отпуск|Еда|"},
        {"Отпуск", "Статья расхода", "Еда", {U, U, U}, "Отпуск|Статья расхода|Еда"},
        {"Статья расхода", "Отпуск", "Еда", {0, U, U}, "Статья расхода|Отпуск|Еда"},
        {"Еда", "Новинка", "", {0, food, U}, "Статья расхода|Еда|Новинка"}, // ancestors still filled in
        {"Статья расхода", "Еда", "Новинка", {0, food, U}, "Статья расхода|Еда|Новинка"},
        {"Новое", "Еда", "Хлеб", {X, E, E}, "Новое|Еда|Хлеб"},               // refused by the tree rules
    };
    for (const auto &c : cases) {
        const TItemLevels l = Expense(c.A, c.B, c.C);
        EXPECT_EQ(l.Result, c.Result) << c.A << ':' << c.B << ':' << c.C;
        EXPECT_EQ(QStringList(l.Names.begin(), l.Names.end()).join(u'|'), ::zorbel::U(c.Names)) << c.A << ':' << c.B;
    }
}

TEST_F(ImportItemsTest, AnotherKindCountsAsNotFound)
{
    // The only "Зарплата" is income-only: an expense line does not take it.
    EXPECT_EQ(Expense("Зарплата").Result, (R{LevelUnknown, E, E}));
    EXPECT_EQ(Income("Хлеб").Result, (R{LevelUnknown, E, E}));
}

TEST_F(ImportItemsTest, OfTwoEqualNamesTheOneOfTheRightKindIsTaken)
{
    EXPECT_EQ(Expense("Прочее").Result, (R{0, food, otherFood}));
    EXPECT_EQ(Income("Прочее").Result, (R{1, salary, otherSalary}));
}

TEST_F(ImportItemsTest, BrokenPathsAreInconsistent)
{
    // Three names, none at depth 0: level 1 is marked, the others left empty.
    EXPECT_EQ(Expense("Еда", "Хлеб", "Новое").Result, (R{LevelInconsistent, E, E}));
    // Хлеб is no level-1 category: with Подарки refused there is none.
    EXPECT_EQ(Expense("Статья расхода", "Подарки", "Хлеб").Result[1], LevelInconsistent);
    // The transfer category is never imported.
    EXPECT_EQ(Expense("ПЕРЕВОД").Result, (R{LevelInconsistent, E, E}));
}

TEST_F(ImportItemsTest, ACategoryWhoseAncestorIsRefusedHasNoHalfPath)
{
    // Подарки (income-only) hangs under the expense root: for an income line
    // its root is refused, and the line must not become Level1-less.
    const TItemLevels l = Income("Подарки");
    EXPECT_EQ(l.Result[0], LevelInconsistent);
    EXPECT_LT(l.Result[1], LevelInconsistent + 1);
}

TEST_F(ImportItemsTest, PeopleAndFirmsAreFoundCaseInsensitive)
{
    EXPECT_GE(catalog.FindPerson(U("иванов и.и.")), 0);
    EXPECT_EQ(catalog.FindPerson(U("Иванов")), LevelUnknown);
    EXPECT_GE(catalog.FindFirm(U("МАГАЗИН")), 0);
    EXPECT_EQ(catalog.FindFirm(U("Аптека")), LevelUnknown);
    catalog.AddFirm(77, U("Аптека"));
    EXPECT_EQ(catalog.FindFirm(U("аптека")), 77);
}

TEST_F(ImportItemsTest, APlaceInTheTreeTellsEqualNamesApart)
{
    ASSERT_NE(catalog.FindItemAt(U("прочее"), 2, salary), nullptr);
    EXPECT_EQ(catalog.FindItemAt(U("прочее"), 2, salary)->Id, otherSalary);
    EXPECT_EQ(catalog.FindItemAt(U("Прочее"), 2, food)->Id, otherFood);
    EXPECT_EQ(catalog.FindItemAt(U("Прочее"), 1, food), nullptr);
    EXPECT_EQ(catalog.FindItemAt(U("Прочее"), 0, LevelEmpty), nullptr);
}

// Every level of "Дом:Ремонт:Прочее" has a namesake of a lower id elsewhere,
// at another depth: looked up name by name they form the path
// "Ремонт:Дом:Прочее", a wrong but whole one.
TEST(ImportPathTest, APathIsFoundWholeAmongNamesakesAtEveryLevel)
{
    TImportCatalog c;
    const auto add = [&c](int id, int ref, int lev, const char *name) {
        c.AddItem({id, ref, lev, u'-', U(name)});
    };
    add(1, LevelEmpty, 0, "Ремонт");
    add(2, 1, 1, "Дом");
    add(3, 2, 2, "Прочее");
    add(4, LevelEmpty, 0, "Прочее");
    add(5, LevelEmpty, 0, "Дом");
    add(6, 5, 1, "Ремонт");
    add(7, 6, 2, "Прочее");
    using R = std::array<int, 3>;
    const auto expense = [&c](const char *a, const char *b, const char *d) {
        return ResolveItemLevels({U(a), U(b), U(d)}, u'+', c).Result;
    };
    EXPECT_EQ(expense("Дом", "Ремонт", "Прочее"), (R{5, 6, 7}));
    EXPECT_EQ(expense("дом", "РЕМОНТ", ""), (R{5, 6, LevelEmpty}));
    EXPECT_EQ(expense("Ремонт", "Дом", "Прочее"), (R{1, 2, 3}));
    // A name not under the path found becomes a new child there, whatever
    // namesakes it has elsewhere.
    const TItemLevels fresh = ResolveItemLevels({U("Дом"), U("Ремонт"), U("Дом")}, u'+', c);
    EXPECT_EQ(fresh.Result, (R{5, 6, LevelUnknown}));
    EXPECT_EQ(fresh.Names[2], U("Дом"));
    // The path's own kind counts: an income line refuses these categories.
    EXPECT_EQ(ResolveItemLevels({U("Дом"), U("Ремонт"), U("Прочее")}, u'-', c).Result,
              (R{LevelUnknown, LevelUnknown, LevelUnknown}));
}

// Two roots named in a path: the second is no child of the first, so its
// level would be written empty; the line is marked, not half-written.
TEST(ImportPathTest, ANameTheWriteWouldDropMarksTheLine)
{
    TImportCatalog c;
    c.AddItem({1, LevelEmpty, 0, u'-', U("Подарки")});
    c.AddItem({2, LevelEmpty, 0, u'-', U("Еда")});
    const TItemLevels l = ResolveItemLevels({U("Подарки"), U("Еда"), QString()}, u'+', c);
    EXPECT_EQ(l.Result[0], 1);
    EXPECT_EQ(l.Result[1], LevelInconsistent);
}

} // namespace
} // namespace zorbel::test
