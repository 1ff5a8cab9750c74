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

} // namespace
} // namespace zorbel::test
