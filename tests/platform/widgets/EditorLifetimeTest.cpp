// In-place editors of the tree and the grid outlive nothing: a label edit
// that re-sorts its branch, a node deleted or the tree cleared under an open
// editor, and windows destroyed with an editor open and typed into (run
// under the sanitizer build to catch use after free).
#include "../dataset/DataSetTestSupport.h"

#include "platform/widgets/DBGrids.h"
#include "platform/widgets/Forms.h"
#include "platform/widgets/ModalScript.h"
#include "platform/widgets/TreeView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>

namespace zorbel {
namespace {

TEST(EditorLifetimeTest, TreeLabelEditorUnderSortingAndDeletion)
{
    TForm form;
    form.resize(300, 300);
    auto *tree = new TTreeView(&form, QStringLiteral("TvCt"));
    tree->SetAlign(TAlign::alClient);
    TTreeNode *food = tree->Items().Add(nullptr, QStringLiteral("Питание"));
    tree->Items().AddChild(food, QStringLiteral("Хлеб"));
    TTreeNode *last = tree->Items().AddChild(food, QStringLiteral("Яйца"));
    form.show();
    QApplication::setActiveWindow(&form);
    tree->SetSortType(TSortType::stText);
    food->Expand(false);

    QStringList edited;
    tree->OnEdited = [&](TObject *, TTreeNode *node, QString &s) { edited << node->Text() + QStringLiteral("->") + s; };
    // The renamed node moves to its place in the sorted branch.
    ASSERT_TRUE(last->EditText());
    auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    editor->setText(QStringLiteral("Бублики"));
    SendKey(editor, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_FALSE(tree->IsEditing());
    EXPECT_EQ(food->Item(0)->Text(), QStringLiteral("Бублики"));
    EXPECT_EQ(food->Item(1)->Text(), QStringLiteral("Хлеб"));
    EXPECT_EQ(edited, QStringList{QStringLiteral("Яйца->Бублики")});
    edited.clear();

    // Deleting a node, or its parent, or every node, drops its edit: no
    // rename reaches the program for a node that is going away.
    ASSERT_TRUE(food->Item(1)->EditText());
    qobject_cast<QLineEdit *>(QApplication::focusWidget())->setText(QStringLiteral("Хлебцы"));
    food->Item(1)->Delete();
    QApplication::processEvents();
    EXPECT_FALSE(tree->IsEditing());
    EXPECT_EQ(food->Count(), 1);

    tree->Items().AddChild(food, QStringLiteral("Сыр"));
    ASSERT_TRUE(food->Item(1)->EditText());
    food->Delete();
    QApplication::processEvents();
    EXPECT_FALSE(tree->IsEditing());

    food = tree->Items().Add(nullptr, QStringLiteral("Дом"));
    ASSERT_TRUE(food->EditText());
    tree->Items().Clear();
    QApplication::processEvents();
    EXPECT_FALSE(tree->IsEditing());
    EXPECT_EQ(tree->Items().Count(), 0);
    EXPECT_TRUE(edited.isEmpty()) << edited.join(QLatin1Char(' ')).toStdString();

    tree->OnEdited = nullptr; // the log goes before the form
    tree->Items().Add(nullptr, QStringLiteral("Авто"));
    ASSERT_TRUE(tree->Items()[0]->EditText());
    // The form goes with the editor open.
}

TEST(EditorLifetimeTest, GridDestroyedWithATypedEditorLeavesTheEditToItsTable)
{
    test::People people;
    people.Open();
    people.FillNumbered(5);
    people.First();
    TDataSource source(&people);
    {
        TForm form;
        form.resize(300, 200);
        auto *grid = new TDBGrid(&form, QStringLiteral("DBGPerson"));
        grid->SetAlign(TAlign::alClient);
        grid->SetDataSource(&source);
        form.show();
        QApplication::setActiveWindow(&form);
        grid->SetFocus();
        grid->SetSelectedField(people.FieldByName(QStringLiteral("Name")));
        grid->SetEditorMode(true);
        auto *edit = qobject_cast<QLineEdit *>(grid->InplaceEditor());
        ASSERT_NE(edit, nullptr);
        edit->selectAll();
        SendKey(edit, 0, Qt::NoModifier, QStringLiteral("Ы"));
    }
    // The table stays in edit mode; what reached the record posts.
    EXPECT_EQ(people.State(), dsEdit);
    people.Post();
    EXPECT_EQ(people.State(), dsBrowse);
}

} // namespace
} // namespace zorbel
