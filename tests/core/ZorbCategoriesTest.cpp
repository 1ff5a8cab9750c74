// The category tree without a window, on the fixture data set: which nodes a
// tree gets (kinds, alternative trees, the transfer category), the rules of a
// move, a move re-pathing the operations in one transaction (also when its
// second statement fails), the count of operations on a path and the
// duplicate-name check.
#include "ZorbDmFixture.h"

#include "core/ZorbCategories.h"
#include "core/ZorbDm.h"
#include "core/ZorbText.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace zorbel::test {
namespace {

class CategoryData : public ::testing::Test {
protected:
    CategoryData()
    {
        dm.Db.SetParams({QStringLiteral("PATH=") + dir.path()});
        MakeFixture(dir.path());
        EXPECT_TRUE(dm.OpenDataSet({}).Opened);
    }
    // The nodes as "level:text" lines, "*" after a kind "0" node.
    QStringList Tree(bool income, int filter = 0, bool withTransfer = true, int accounts = 2)
    {
        dm.Qtv.Close();
        dm.Qtv.Open();
        QStringList lines;
        for (const TCategoryNodeSpec &n : CategoryTreeNodes(dm.Qtv, income, filter, withTransfer, accounts)) {
            lines << QString("%1:%2%3").arg(n.Level).arg(n.Text, n.ImageIndex == -1 ? "*" : "");
            if (n.Parent >= 0) {
                EXPECT_LT(n.Parent, int(lines.size()) - 1);
            }
        }
        dm.Qtv.Close();
        return lines;
    }
    void SetTrees(int id, const QString &a)
    {
        ASSERT_TRUE(dm.Tb_Items.FindKey({Variant(int16_t(id))}));
        dm.Tb_Items.Edit();
        dm.Tb_Items.FieldByName("A")->SetAsString(a);
        dm.Tb_Items.Post();
    }
    QStringList Select(const QString &text)
    {
        dm.Qtemp.Close();
        dm.Qtemp.SQL() = QStringList{text};
        dm.Qtemp.Open();
        QStringList rows = Rows(dm.Qtemp);
        dm.Qtemp.Close();
        return rows;
    }

    QTemporaryDir dir;
    TDm dm;
};

TEST_F(CategoryData, TreesFollowKindsAndTheTransferCategory)
{
    EXPECT_EQ(Tree(false), (QStringList{U("0:ПЕРЕВОД"), U("0:Статья расхода"), U("1:Еда"), U("2:Молоко"),
                                        U("2:Хлеб"), U("1:Разное*")}));
    // The income tree: a kind "0" child of an expense root stays hidden with its root.
    EXPECT_EQ(Tree(true), (QStringList{U("0:Статья дохода"), U("1:Зарплата")}));
    // One account, or a tree built without it: no transfer category.
    EXPECT_FALSE(Tree(false, 0, true, 1).contains(U("0:ПЕРЕВОД")));
    EXPECT_FALSE(Tree(false, 0, false, 5).contains(U("0:ПЕРЕВОД")));
    // A kind "0" root and an empty kind show in both trees.
    ASSERT_TRUE(dm.Tb_Items.FindKey({Variant(int16_t(1))}));
    dm.Tb_Items.Edit();
    dm.Tb_Items.FieldByName("C")->SetAsString("0");
    dm.Tb_Items.Post();
    ASSERT_TRUE(dm.Tb_Items.FindKey({Variant(int16_t(20))}));
    dm.Tb_Items.Edit();
    dm.Tb_Items.FieldByName("C")->Clear();
    dm.Tb_Items.Post();
    EXPECT_TRUE(Tree(false).contains(U("0:Статья дохода*")));
    EXPECT_TRUE(Tree(false).contains(U("1:Зарплата")));
    EXPECT_EQ(Tree(true), (QStringList{U("0:Статья дохода*"), U("1:Зарплата")}));
}

TEST_F(CategoryData, AlternativeTreesHideWholeBranches)
{
    SetTrees(0, QString(QChar(4)));  // the expense root: tree 3 only
    SetTrees(10, QString(QChar(1))); // Еда: tree 1 only
    SetTrees(11, QString(QChar(5))); // Хлеб: trees 1 and 3
    // Tree 3: Еда lacks the bit, so Хлеб under it is hidden too; Разное has no A.
    EXPECT_EQ(Tree(false, 3), (QStringList{U("0:ПЕРЕВОД"), U("0:Статья расхода"), U("1:Разное*")}));
    // Tree 1: the root lacks bit 1, so its whole subtree is hidden.
    EXPECT_EQ(Tree(false, 1), (QStringList{U("0:ПЕРЕВОД")}));
    // All trees.
    EXPECT_EQ(Tree(false, 0).size(), 6);
}

TEST(CategoryMoveRules, RefusalsAndTheSiblingRule)
{
    const TCategoryNodeInfo root{0, 0, NoLevel, true}, root2{1, 0, NoLevel, true};
    const TCategoryNodeInfo food{10, 1, 0, true}, misc{30, 1, 0, false}, misc2{31, 1, 0, false};
    const TCategoryNodeInfo bread{11, 2, 10, false}, milk{12, 2, 10, false};
    const TCategoryNodeInfo transfer{-1, 0, NoLevel, false};
    int mode = MoveBeside;
    EXPECT_EQ(CheckCategoryMove(food, root2, mode), U("Перемещаемая статья не должна иметь ответвлений!"));
    EXPECT_EQ(CheckCategoryMove(transfer, root, mode), U("Перемещения, связанные с зелёной статьёй, не поддерживаются!"));
    EXPECT_EQ(CheckCategoryMove(misc, transfer, mode), U("Перемещения, связанные с зелёной статьёй, не поддерживаются!"));
    mode = MoveAsChild;
    EXPECT_EQ(CheckCategoryMove(misc, bread, mode), U("Невозможно переместить статью на более правый уровень!"));
    EXPECT_EQ(CheckCategoryMove(misc, root, mode), U("Нет смысла в перемещении!"));
    mode = MoveAsChild;
    EXPECT_EQ(CheckCategoryMove(misc, root2, mode), "");
    EXPECT_EQ(mode, MoveAsChild);
    // Beside: two roots are pointless, two level-1 siblings nest, two
    // level-2 siblings are pointless.
    mode = MoveBeside;
    const TCategoryNodeInfo leafRoot{5, 0, NoLevel, false};
    EXPECT_EQ(CheckCategoryMove(leafRoot, root, mode), U("Нет смысла в перемещении!"));
    mode = MoveBeside;
    EXPECT_EQ(CheckCategoryMove(misc, misc2, mode), "");
    EXPECT_EQ(mode, MoveAsChild);
    mode = MoveBeside;
    EXPECT_EQ(CheckCategoryMove(milk, bread, mode), U("Нет смысла в перемещении!"));
    // A level-2 category beside a root becomes a root.
    mode = MoveBeside;
    EXPECT_EQ(CheckCategoryMove(bread, root2, mode), "");
    EXPECT_EQ(mode, MoveBeside);
}

TEST_F(CategoryData, AMoveToTheRootRepathsItsOperationsOnly)
{
    // Хлеб (0/10/11) becomes a root: operations 1 and 9 carry its path.
    EXPECT_EQ(CountPathOperations(dm, {0, 10, 11}), 2);
    MoveCategoryRow(dm, 11, 0, NoLevel, {0, 10, 11}, {11, NoLevel, NoLevel});
    EXPECT_EQ(Select("select lev, id_ref from tb_items where id_itm=11"), QStringList{"0|~"});
    EXPECT_EQ(Select("select count(*) from tb_hist where level1=11 and level2 is null and level3 is null"),
              QStringList{"2"});
    EXPECT_EQ(Select("select count(*) from tb_hist where level3=11"), QStringList{"0"});
    // Молоко's operation (0/10/12) kept its path.
    EXPECT_EQ(CountPathOperations(dm, {0, 10, 12}), 1);
    // And back under Еда.
    MoveCategoryRow(dm, 11, 2, 10, {11, NoLevel, NoLevel}, {0, 10, 11});
    EXPECT_EQ(CountPathOperations(dm, {0, 10, 11}), 2);
    EXPECT_EQ(Select("select lev, id_ref from tb_items where id_itm=11"), QStringList{"2|10"});
}

TEST_F(CategoryData, AFailingRepathLeavesRowAndOperationsUnchanged)
{
    dm.Db.Db().Exec("create temp trigger refuse before update on tb_hist begin select raise(abort,'refused'); end");
    EXPECT_THROW(MoveCategoryRow(dm, 11, 0, NoLevel, {0, 10, 11}, {11, NoLevel, NoLevel}), Exception);
    EXPECT_EQ(Select("select lev, id_ref from tb_items where id_itm=11"), QStringList{"2|10"});
    EXPECT_EQ(CountPathOperations(dm, {0, 10, 11}), 2);
    // Tb_Items reads the unchanged row.
    ASSERT_TRUE(dm.Tb_Items.FindKey({Variant(int16_t(11))}));
    EXPECT_EQ(dm.Tb_Items.FieldByName("LEV")->AsInteger(), 2);
}

TEST_F(CategoryData, PathCountsAreExactAcrossAccounts)
{
    // Level 2 of one path is not level 1 of another: Еда (0/10) has no
    // operation of its own although its children have.
    EXPECT_EQ(CountPathOperations(dm, {0, 10, NoLevel}), 0);
    EXPECT_EQ(CountPathOperations(dm, {1, 20, NoLevel}), 2); // accounts 1 and 2
    EXPECT_EQ(CountPathOperations(dm, {-1, NoLevel, NoLevel}), 3); // rows 5, 6 and 8
    EXPECT_EQ(PathOfIds({0, 10, 11}), (TCategoryPath{0, 10, 11}));
    EXPECT_EQ(PathOfIds({30}), (TCategoryPath{30, NoLevel, NoLevel}));
}

TEST_F(CategoryData, NamesCompareTrimmedAndWithoutCase)
{
    EXPECT_TRUE(CategoryNameExists(dm, NoLevel, U("  еДА ")));
    EXPECT_FALSE(CategoryNameExists(dm, 10, U("Еда")));
    EXPECT_TRUE(CategoryNameExists(dm, 10, U("ХЛЕБ")));
    EXPECT_FALSE(CategoryNameExists(dm, NoLevel, U("Новая статья")));
}

} // namespace
} // namespace zorbel::test

namespace zorbel::test {
namespace {

TEST(CategoryTrees, MembershipBitsDigitsAndStoredValue)
{
    EXPECT_EQ(TreeBits(QString()), 0);
    EXPECT_EQ(TreeBits(QString(QChar(5))), 5);
    EXPECT_EQ(TreesText(QString(QChar(5))), "1,3");
    EXPECT_EQ(TreesText(QString(QChar(21))), "1,3,5");
    EXPECT_EQ(TreesText(QString(QChar(16))), "5");
    EXPECT_EQ(TreesText(QString()), "");
    EXPECT_EQ(TreeMembership(5), QString(QChar(5)));
    EXPECT_TRUE(TreeMembership(0).isEmpty());
    EXPECT_TRUE(TreeMembership(31).isEmpty());
    for (int bits = 1; bits < 31; ++bits)
        EXPECT_EQ(TreeBits(TreeMembership(bits)), bits);
}

TEST(CategoryDialog, CaptionsLabelsAndPlaces)
{
    const QStringList titles{QString::fromUtf8("Статья"), QString::fromUtf8("Группа"), QString::fromUtf8("Вид")};
    EXPECT_EQ(CategoryDialogCaption(CatAddBeside, true), QString::fromUtf8("Добавление статьи прихода"));
    EXPECT_EQ(CategoryDialogCaption(CatAddBranch, false), QString::fromUtf8("Ответвление статьи расхода"));
    EXPECT_EQ(CategoryDialogCaption(CatEdit, false), QString::fromUtf8("Изменение статьи расхода"));

    const TCategoryNodeInfo root{7, 0, NoLevel, true}, mid{8, 1, 7, true}, leaf{9, 2, 8, false};
    const auto label = [&](int mode, const TCategoryNodeInfo *node) {
        return CategoryDialogLabel(mode, titles, node, "N", "P");
    };
    EXPECT_EQ(label(CatAddBeside, nullptr), QString::fromUtf8("Статья"));
    EXPECT_EQ(label(CatAddBeside, &root), QString::fromUtf8("Статья ..."));
    EXPECT_EQ(label(CatAddBeside, &mid), QString::fromUtf8("Статья \"P\""));
    EXPECT_EQ(label(CatAddBeside, &leaf), QString::fromUtf8("Группа \"P\""));
    EXPECT_EQ(label(CatAddBranch, &mid), QString::fromUtf8("Группа \"N\""));
    EXPECT_EQ(label(CatEdit, &leaf), QString::fromUtf8("Вид \"N\""));

    // A new category beside a root is a root; beside a deeper one it shares the parent.
    EXPECT_EQ(NewCategoryPlace(CatAddBeside, nullptr).Lev, 0);
    EXPECT_EQ(NewCategoryPlace(CatAddBeside, nullptr).IdRef, NoLevel);
    EXPECT_EQ(NewCategoryPlace(CatAddBeside, &root).IdRef, NoLevel);
    EXPECT_EQ(NewCategoryPlace(CatAddBeside, &leaf).Lev, 2);
    EXPECT_EQ(NewCategoryPlace(CatAddBeside, &leaf).IdRef, 8);
    EXPECT_EQ(NewCategoryPlace(CatAddBranch, &mid).Lev, 2);
    EXPECT_EQ(NewCategoryPlace(CatAddBranch, &mid).IdRef, 8);
}

} // namespace
} // namespace zorbel::test
