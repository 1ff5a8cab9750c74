// The category windows and batch entry on the real main window offscreen:
// the category dialog (captions, labels, where a new category goes, the
// duplicate check, the transfer category), the category search window
// (search by the beginning of a name in any case, kinds, tree membership),
// and packets through Ctrl+digit and the menu with the packet window, its
// questions and its line commands.
#include "core/ZorbMain.h"
#include "platform/rtl/StrUtils.h"

#include "ZorbSandbox.h"
#include "core/ZorbCat.h"
#include "core/ZorbGrp.h"
#include "core/ZorbItm.h"
#include "core/ZorbTree.h"
#include "platform/widgets/ModalScript.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QRadioButton>

namespace zorbel {
namespace {

class MainCat : public testing::Test {
protected:
    void SetUp() override
    {
        f = std::make_unique<TFormMain>(QStringList{}, box.Path("program"));
        ASSERT_TRUE(f->ReadyToRun());
        dm = f->Dm.get();
        dm->Tb_Account.First();
        acc1 = dm->Tb_Account.FieldByName("Id_Account")->AsInteger();
        food = AddCategory(U("Еда"), 0, 1, "-");
        bread = AddCategory(U("Хлеб"), food, 2, "-");
        milk = AddCategory(U("Молоко"), food, 2, "-");
        toys = AddCategory(U("Ёлочные игрушки"), 0, 1, "-");
        misc = AddCategory(U("Разное"), 0, 1, "0");
        salary = AddCategory(U("Зарплата"), 1, 1, "+");
        Rebuild();
        f->Show();
        QApplication::setActiveWindow(f.get());
    }
    void TearDown() override
    {
        dm->SetModified(false);
        f->mCloseNotSaveClick(f.get());
    }
    void Rebuild()
    {
        f->BuildCategoryTree(f->TvCt, false, true, false, true);
        f->BuildCategoryTree(f->TvDt, true, true, false, true);
    }
    int AddCategory(const QString &name, int parent, int level, const char *kind, const QString &grp = {},
                    double sum = 0)
    {
        TTable &t = dm->Tb_Items;
        t.Append();
        t.FieldByName("ITM")->SetAsString(name);
        if (parent != NoLevel)
            t.FieldByName("ID_REF")->SetAsInteger(parent);
        t.FieldByName("LEV")->SetAsInteger(level);
        t.FieldByName("C")->SetAsString(kind);
        if (!grp.isEmpty())
            t.FieldByName("Grp")->SetAsString(grp);
        if (sum != 0)
            t.FieldByName("Sm")->SetAsFloat(sum);
        t.Post();
        return t.FieldByName("ID_ITM")->AsInteger();
    }
    QString Item(int id, const char *field)
    {
        EXPECT_TRUE(dm->Tb_Items.FindKey({Variant(int16_t(id))}));
        return dm->Tb_Items.FieldByName(field)->AsString();
    }
    void Select(TTreeView *tree, int id)
    {
        TTreeNode *n = f->FindCategoryNode(tree, id);
        ASSERT_NE(n, nullptr);
        tree->SetSelected(n);
    }
    int HistCount()
    {
        dm->Qtemp.Close();
        dm->Qtemp.SQL() = QStringList{"select count(*) from tb_hist"};
        dm->Qtemp.Open();
        const int n = dm->Qtemp.Fields()[0]->AsInteger();
        dm->Qtemp.Close();
        return n;
    }
    double Rest() { return dm->Tb_Account.FieldByName("Rest")->AsFloat(); }
    static void TypeName(TForm &form, const QString &name)
    {
        FindControl<TDBEdit>(form, "DBECat")->SetText(name);
    }

    TSandbox box;
    std::unique_ptr<TFormMain> f;
    TDm *dm = nullptr;
    int acc1 = 0, food = 0, bread = 0, milk = 0, toys = 0, misc = 0, salary = 0;
};

// ---------------------------------------------------------------- category dialog

TEST_F(MainCat, AddBesideALevelOneIncomeCategory)
{
    f->mDtClick(f->mDt);
    Select(f->TvDt, salary);
    QString caption, label;
    TModalScript script;
    script.Then([&](TForm &form) {
        caption = form.Caption();
        label = FindControl<TLabel>(form, "LabCat")->Caption();
        TypeName(form, U("  Премия  "));
        // "везде", as a click on the second button.
        const auto buttons = FindControl<TDBRadioGroup>(form, "DBRg")->findChildren<QRadioButton *>();
        ASSERT_EQ(buttons.size(), 2);
        EXPECT_EQ(buttons[1]->text(), U("везде"));
        buttons[1]->click();
        PressButton(form, "ButOk");
    });
    f->mpCategoryNew->Click();
    EXPECT_TRUE(script.Finished()) << script.Errors().join("; ").toStdString();
    EXPECT_EQ(caption, U("Добавление статьи прихода"));
    EXPECT_TRUE(label.endsWith(U(" \"") + f->FindCategoryNode(f->TvDt, 1)->Text() + "\"")) << label.toStdString();
    ASSERT_TRUE(dm->Tb_Items.Locate("ITM", Variant(U("Премия")), {}));
    const int id = dm->Tb_Items.FieldByName("ID_ITM")->AsInteger();
    EXPECT_EQ(Item(id, "LEV"), "1");
    EXPECT_EQ(Item(id, "ID_REF"), "1");
    EXPECT_EQ(Item(id, "C"), "0");
    TTreeNode *node = f->TvDt->Selected();
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->Data(), id);
    EXPECT_EQ(node->Parent()->Data(), 1);
    EXPECT_EQ(node->ImageIndex(), -1);
}

TEST_F(MainCat, BranchUnderASelectedCategory)
{
    Select(f->TvCt, food);
    TModalScript script;
    script.Then([](TForm &form) {
        EXPECT_EQ(form.Caption(), U("Ответвление статьи расхода"));
        TypeName(form, U("Сыр"));
        PressButton(form, "ButOk");
    });
    f->mpCategoryNewChild->Click();
    ASSERT_TRUE(dm->Tb_Items.Locate("ITM", Variant(U("Сыр")), {}));
    const int id = dm->Tb_Items.FieldByName("ID_ITM")->AsInteger();
    EXPECT_EQ(Item(id, "LEV"), "2");
    EXPECT_EQ(Item(id, "ID_REF"), QString::number(food));
    EXPECT_EQ(Item(id, "C"), "-");
    EXPECT_EQ(f->TvCt->Selected()->Parent()->Data(), food);
    // The other tree is refilled when shown next.
    EXPECT_EQ(f->TvDt->Items().Count(), 0);
}

TEST_F(MainCat, EditAcceptsACaseChangeAndRefusesAnotherCategorysName)
{
    Select(f->TvCt, milk);
    TModalScript script;
    script.Then([](TForm &form) {
        EXPECT_EQ(form.Caption(), U("Изменение статьи расхода"));
        EXPECT_EQ(FindControl<TDBEdit>(form, "DBECat")->Text(), U("Молоко"));
        TypeName(form, U("МОЛОКО"));
        PressButton(form, "ButOk");
    });
    f->mpCategoryEdit->Click();
    EXPECT_TRUE(script.Finished()) << script.Errors().join("; ").toStdString();
    EXPECT_EQ(Item(milk, "ITM"), U("МОЛОКО"));
    EXPECT_EQ(f->TvCt->Selected()->Text(), U("МОЛОКО"));

    // Another category's name: a notice, the dialog stays, Cancel drops the edit.
    TModalScript dup;
    dup.Then([](TForm &form) {
        TypeName(form, U("хлеб "));
        PressButton(form, "ButOk");
        EXPECT_TRUE(form.isVisible());
        EXPECT_EQ(form.ModalResult(), mrNone);
        PressButton(form, "ButCancel");
    });
    dup.Press("OK");
    f->mpCategoryEdit->Click();
    ASSERT_EQ(dup.Seen().size(), 2u);
    EXPECT_EQ(dup.Seen()[1].Text, U("Такая статья уже есть!"));
    EXPECT_EQ(Item(milk, "ITM"), U("МОЛОКО"));
    EXPECT_EQ(dm->Tb_Items.State(), dsBrowse);
}

TEST_F(MainCat, EmptyNameDisablesOkAndTheTransferCategoryKeepsItsKind)
{
    // The transfer category shows with two accounts.
    TTable &acc = dm->Tb_Account;
    acc.Append();
    acc.FieldByName("Account")->SetAsString(U("Банк"));
    acc.FieldByName("Currency")->SetAsString(U("руб"));
    acc.FieldByName("Rate")->SetAsFloat(1);
    acc.Post();
    Rebuild();
    Select(f->TvCt, TransferCategory);
    bool kindShown = true, okWithEmpty = true;
    TModalScript script;
    script.Then([&](TForm &form) {
        kindShown = FindControl<TDBRadioGroup>(form, "DBRg")->Visible();
        TypeName(form, "   ");
        okWithEmpty = FindControl<TButton>(form, "ButOk")->isEnabled();
        PressButton(form, "ButCancel");
    });
    f->mpCategoryEdit->Click();
    EXPECT_FALSE(kindShown);
    EXPECT_FALSE(okWithEmpty);
    EXPECT_EQ(dm->Tb_Items.State(), dsBrowse);
    EXPECT_EQ(Item(TransferCategory, "C"), "-");
}

TEST_F(MainCat, FailingPostClosesTheDialogAndSaysSo)
{
    Select(f->TvCt, food);
    const int nodes = f->TvCt->Items().Count();
    auto assignId = dm->Tb_Items.BeforePost;
    dm->Tb_Items.BeforePost = [](TDataSet *) { throw EDatabaseError("disk full"); };
    TModalScript script;
    script.Then([](TForm &form) {
        TypeName(form, U("Сыр"));
        PressButton(form, "ButOk");
    });
    script.Press("OK");
    f->mpCategoryNewChild->Click();
    dm->Tb_Items.BeforePost = assignId;
    EXPECT_TRUE(script.Finished()) << script.Errors().join("; ").toStdString();
    ASSERT_EQ(script.Seen().size(), 2u);
    EXPECT_EQ(script.Seen()[0].Result, mrCancel);
    EXPECT_TRUE(script.Seen()[1].Text.startsWith(U("Статья не записана"))) << script.Seen()[1].Text.toStdString();
    EXPECT_EQ(f->TvCt->Items().Count(), nodes);
    EXPECT_FALSE(dm->Tb_Items.Locate("ITM", Variant(U("Сыр")), {}));
    EXPECT_EQ(dm->Tb_Items.State(), dsBrowse);
}

// ---------------------------------------------------------------- category search

TEST_F(MainCat, SearchFindsTheBeginningOfANameInAnyCase)
{
    TFormItm itm(*f);
    TModalScript script;
    QStringList found;
    script.Then([&](TForm &form) {
        auto *edit = FindControl<TEdit>(form, "EdItm");
        for (const char *text : {"ёЛо", "ЁЛОЧ", "мол", "МОЛ", "хЛ", "зар"}) {
            edit->SetText(U(text));
            SendKey(edit, Qt::Key_End);
            found << itm.Qitm->FieldByName("itm")->AsString();
        }
        PressButton(form, "ButOk");
    });
    EXPECT_EQ(itm.ShowModal(), mrOk);
    // "зар" names an income category: the expense tab does not list it.
    EXPECT_EQ(found, (QStringList{U("Ёлочные игрушки"), U("Ёлочные игрушки"), U("Молоко"), U("Молоко"), U("Хлеб"),
                                  U("Хлеб")}));
    EXPECT_EQ(itm.ChosenId(), bread);
    EXPECT_EQ(itm.TvItm->Selected()->Data(), bread);
}

TEST_F(MainCat, SearchWindowIsUsedWithTheKeyboardAlone)
{
    // It opens with the caret in the search box; the first letters and Enter
    // choose a category; Enter in the grid or the tree chooses as well.
    for (const char *where : {"EdItm", "DBGItm", "TvItm"}) {
        TFormItm itm(*f);
        TModalScript script;
        script.Then([&](TForm &form) {
            EXPECT_EQ(form.focusWidget(), itm.EdItm);
            for (const QChar c : U("моЛ"))
                SendKeyToFocus(form, c.toUpper().unicode(), Qt::NoModifier, QString(c));
            EXPECT_EQ(itm.EdItm->Text(), U("моЛ"));
            FindControl<QWidget>(form, QString::fromLatin1(where))->setFocus();
            SendKeyToFocus(form, Qt::Key_Return);
        });
        EXPECT_EQ(itm.ShowModal(), mrOk) << where;
        EXPECT_EQ(itm.ChosenId(), milk) << where;
    }
}

TEST_F(MainCat, IncomeTabListsNoExpenseCategories)
{
    TFormItm itm(*f);
    itm.TcItm->SetTabIndex(1);
    QStringList names, tree;
    TModalScript script;
    script.Then([&](TForm &) {
        for (itm.Qitm->First(); !itm.Qitm->Eof(); itm.Qitm->Next())
            names << itm.Qitm->FieldByName("itm")->AsString();
        for (TTreeNode *n = itm.TvItm->Items().GetFirstNode(); n; n = n->GetNext())
            tree << n->Text();
        EXPECT_EQ(FindControl<TPanel>(itm, "PanBottom")->Caption(), U("Всего статей ") + QString::number(names.size()));
    });
    itm.ShowModal();
    EXPECT_TRUE(names.contains(U("Зарплата")));
    EXPECT_TRUE(names.contains(U("Разное")));
    EXPECT_FALSE(names.contains(U("Хлеб")));
    EXPECT_FALSE(names.contains(U("Еда")));
    EXPECT_TRUE(tree.contains(U("Зарплата")));
    EXPECT_FALSE(tree.contains(U("Еда")));
}

TEST_F(MainCat, TreeMembershipIsStoredAsBitsAndShownAsDigits)
{
    TFormItm itm(*f);
    itm.OpenOn = milk;
    QString column;
    TModalScript script;
    script.Then([&](TForm &) {
        EXPECT_EQ(itm.ChosenId(), milk);
        itm.ButTreeClick(itm.ButTree);
        column = itm.Qitm->FieldByName("cust")->AsString();
        itm.ButTreeClick(itm.ButTree);
        EXPECT_EQ(itm.Qitm->FieldByName("cust")->AsString(), "");
        itm.SetModalResult(mrCancel);
    });
    script.Then([](TForm &form) {
        auto &tree = dynamic_cast<TFormTree &>(form);
        EXPECT_EQ(tree.Caption(), U("Деревья"));
        tree.Ch1->SetChecked(true);
        tree.Ch3->SetChecked(true);
        PressButton(form, "ButOk");
    });
    script.Then([](TForm &form) {
        auto &tree = dynamic_cast<TFormTree &>(form);
        EXPECT_TRUE(tree.Ch1->Checked());
        EXPECT_TRUE(tree.Ch3->Checked());
        EXPECT_FALSE(tree.Ch2->Checked());
        tree.SetBits(31);
        PressButton(form, "ButOk");
    });
    itm.ShowModal();
    EXPECT_TRUE(script.Finished()) << script.Errors().join("; ").toStdString();
    EXPECT_EQ(column, "1,3");
    EXPECT_TRUE(itm.TreesChanged);
    EXPECT_TRUE(Item(milk, "A").isEmpty());
}

TEST_F(MainCat, TitleClickSortsByDataColumnsOnly)
{
    for (const auto &[id, sum] : {std::pair{food, 5.0}, {milk, 3.0}, {bread, 9.0}}) {
        ASSERT_TRUE(dm->Tb_Items.FindKey({Variant(int16_t(id))}));
        dm->Tb_Items.Edit();
        dm->Tb_Items.FieldByName("Sm")->SetAsFloat(sum);
        dm->Tb_Items.Post();
    }
    TFormItm itm(*f);
    QStringList bySum;
    QString afterTrees;
    TModalScript script;
    script.Then([&](TForm &) {
        TDBGridColumns &columns = itm.DBGItm->Columns();
        for (int i = 0; i < columns.Count(); ++i)
            if (columns[i]->FieldName() == "sm")
                itm.DBGItmTitleClick(itm.DBGItm, columns[i]);
        for (itm.Qitm->First(); !itm.Qitm->Eof(); itm.Qitm->Next())
            if (!itm.Qitm->FieldByName("sm")->IsNull())
                bySum << itm.Qitm->FieldByName("itm")->AsString();
        // The trees column is calculated: its title sorts nothing.
        itm.DBGItmTitleClick(itm.DBGItm, columns[columns.Count() - 1]);
        afterTrees = itm.Qitm->SQL().last();
        itm.SetModalResult(mrCancel);
    });
    itm.ShowModal();
    EXPECT_EQ(bySum, (QStringList{U("Молоко"), U("Еда"), U("Хлеб")}));
    EXPECT_EQ(afterTrees, "order by sm");
}

TEST_F(MainCat, SearchWindowKeepsItsPlacement)
{
    f->Itm_Left = 30;
    f->Itm_Top = 40;
    f->Itm_Width = 700;
    f->Itm_Height = 420;
    f->Itm_Wdt = 300;
    {
        TFormItm itm(*f);
        EXPECT_EQ(itm.PanGrid->Width(), 300);
        TModalScript script;
        script.Then([&](TForm &) {
            itm.PanGrid->SetWidth(350);
            itm.SetModalResult(mrCancel);
        });
        itm.ShowModal();
    }
    EXPECT_EQ(f->Itm_Wdt, 350);
    EXPECT_FALSE(f->Itm_Max);
    EXPECT_EQ(f->Itm_Width, 700);
}

TEST_F(MainCat, ExtendedSearchSelectsTheChosenCategory)
{
    Select(f->TvCt, food);
    TModalScript script;
    script.Then([](TForm &form) {
        EXPECT_FALSE(FindControl<TTabControl>(form, "TcItm")->Visible());
        FindControl<TEdit>(form, "EdItm")->SetText(U("ёл"));
        SendKey(FindControl<TEdit>(form, "EdItm"), Qt::Key_End);
        PressButton(form, "ButOk");
    });
    f->mpCategorySearch->Click();
    EXPECT_EQ(f->TvCt->Selected()->Data(), toys);
    EXPECT_EQ(f->CategoryFindText, U("ёл"));
}

TEST_F(MainCat, FindByNameSelectsWhileTypingAndCancelGoesBack)
{
    Select(f->TvCt, food);
    TModalScript script;
    script.Then([&](TForm &w) {
        EXPECT_EQ(w.Caption(), U("Поиск статьи"));
        EXPECT_FALSE(FindControl<TLabel>(w, "LabMove")->Visible());
        TEdit *ed = FindControl<TEdit>(w, "Ed");
        ed->SetText(U("МОЛ"));
        SendKey(ed, Qt::Key_End);
        EXPECT_EQ(f->TvCt->Selected()->Data(), milk);
        ed->SetText(U("игрушки")); // no name begins so: the first that holds it
        SendKey(ed, Qt::Key_End);
        EXPECT_EQ(f->TvCt->Selected()->Data(), toys);
        PressButton(w, "ButOk");
    });
    f->mCategoryFindClick(nullptr);
    ASSERT_TRUE(script.Finished()) << script.Errors().join("; ").toStdString();
    EXPECT_EQ(f->CategoryFindText, U("игрушки"));
    EXPECT_EQ(f->TvCt->Selected()->Data(), toys);

    // Cancel: the text stays, the selection returns.
    Select(f->TvCt, bread);
    TModalScript cancel;
    cancel.Then([&](TForm &w) {
        TEdit *ed = FindControl<TEdit>(w, "Ed");
        EXPECT_EQ(ed->Text(), U("игрушки"));
        ed->SetText(U("раз"));
        SendKey(ed, Qt::Key_End);
        EXPECT_EQ(f->TvCt->Selected()->Data(), misc);
        w.SetModalResult(mrCancel);
    });
    f->mCategoryFindClick(nullptr);
    EXPECT_TRUE(cancel.Finished()) << cancel.Errors().join("; ").toStdString();
    EXPECT_EQ(f->TvCt->Selected()->Data(), bread);
    EXPECT_EQ(f->CategoryFindText, U("игрушки"));

    // F3 with no text searched yet opens the find instead.
    f->CategoryFindText.clear();
    TModalScript f3;
    f3.CloseWith(mrCancel);
    f->mpFindNextItmClick(nullptr);
    ASSERT_EQ(f3.Seen().size(), 1u);
    EXPECT_EQ(f3.Seen()[0].Caption, U("Поиск статьи"));
}

TEST_F(MainCat, MoveByNameUnderTheTypedCategoryOrToTheTop)
{
    Select(f->TvCt, bread);
    TModalScript script;
    script.Then([&](TForm &w) {
        EXPECT_EQ(w.Caption(), U("Перемещение Хлеб"));
        EXPECT_TRUE(FindControl<TLabel>(w, "LabMove")->Visible());
        TEdit *ed = FindControl<TEdit>(w, "Ed");
        ed->SetText(U("ёло"));
        SendKey(ed, Qt::Key_End);
        PressButton(w, "ButOk");
    });
    script.Press("Yes"); // "Изменить место расположения статьи ?"
    f->mCategoryMoveClick(nullptr);
    ASSERT_TRUE(script.Finished()) << script.Errors().join("; ").toStdString();
    EXPECT_EQ(Item(bread, "ID_REF").toInt(), toys);

    // Cancel: typing moved the selection, which goes back to the category.
    Select(f->TvCt, milk);
    TModalScript cancel;
    cancel.Then([&](TForm &w) {
        TEdit *ed = FindControl<TEdit>(w, "Ed");
        ed->SetText(U("раз"));
        SendKey(ed, Qt::Key_End);
        EXPECT_EQ(f->TvCt->Selected()->Data(), misc);
        w.SetModalResult(mrCancel);
    });
    f->mCategoryMoveClick(nullptr);
    EXPECT_TRUE(cancel.Finished()) << cancel.Errors().join("; ").toStdString();
    EXPECT_EQ(f->TvCt->Selected()->Data(), milk);
    EXPECT_EQ(Item(milk, "ID_REF").toInt(), food);

    // A text that names nothing: the category stays, nothing is asked.
    Select(f->TvCt, milk);
    TModalScript nothing;
    nothing.Enter("Ed", U("сыр"), "ButOk");
    f->mCategoryMoveClick(nullptr);
    EXPECT_TRUE(nothing.Finished()) << nothing.Errors().join("; ").toStdString();
    EXPECT_EQ(Item(milk, "ID_REF").toInt(), food);

    // No text: the category becomes a root.
    Select(f->TvCt, milk);
    TModalScript top;
    top.Press("ButOk");
    top.Press("Yes");
    f->mCategoryMoveClick(nullptr);
    EXPECT_TRUE(top.Finished()) << top.Errors().join("; ").toStdString();
    TTreeNode *node = f->FindCategoryNode(f->TvCt, milk);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->Level(), 0);
}

// ---------------------------------------------------------------- batch entry

TEST_F(MainCat, CtrlDigitWritesAFilledPacketAtOnceWithoutConfirmation)
{
    AddCategory(U("Кофе"), food, 2, "-", "35", 100);
    AddCategory(U("Чай"), food, 2, "-", "5", 50);
    AddCategory(U("Сок"), food, 2, "-", "5", 0);
    AddCategory(U("Штраф"), food, 2, "-", "5", -20);
    f->Grp_Conf = false;
    f->EntryDate = Date();
    const double rest = Rest();
    const int ops = HistCount();
    TModalScript none;
    EXPECT_TRUE(f->PacketKey('5', ssCtrl));
    EXPECT_TRUE(none.Seen().empty());
    EXPECT_EQ(HistCount(), ops + 2);
    EXPECT_DOUBLE_EQ(Rest(), rest - 150);
    // The same through the keyboard, with the tree focused.
    f->TvCt->SetFocus();
    SendKey(f->TvCt, Qt::Key_5, Qt::ControlModifier);
    EXPECT_EQ(HistCount(), ops + 4);
    EXPECT_DOUBLE_EQ(Rest(), rest - 300);
    // Not a packet key: other modifiers, or the income tree shown.
    EXPECT_FALSE(f->PacketKey('5', ssCtrl | ssShift));
    f->mDtClick(f->mDt);
    EXPECT_FALSE(f->PacketKey('5', ssCtrl));
}

TEST_F(MainCat, LinesThatCouldNotBeWrittenAreNamed)
{
    AddCategory(U("Кофе"), food, 2, "-", "4", 100);
    AddCategory(U("Чай"), food, 2, "-", "4", 40);
    f->Grp_Conf = false;
    f->EntryDate = Date();
    const double rest = Rest();
    dm->Tb_Hist.BeforePost = [](TDataSet *d) {
        if (d->FieldByName("Ct")->AsFloat() == 40)
            throw EDatabaseError("disk full");
    };
    TModalScript script;
    script.Press("OK");
    EXPECT_TRUE(f->PacketKey('4', ssCtrl));
    dm->Tb_Hist.BeforePost = nullptr;
    EXPECT_TRUE(script.Finished()) << script.Errors().join("; ").toStdString();
    ASSERT_EQ(script.Seen().size(), 1u);
    EXPECT_EQ(script.Seen()[0].Text, U("Не записаны строки пакета:\nЧай"));
    EXPECT_DOUBLE_EQ(Rest(), rest - 100);
}

TEST_F(MainCat, EmptyPacketOpensTheWindowAndOkWithoutSumsWritesNothing)
{
    f->Grp_Conf = false;
    const int ops = HistCount();
    int shown = -1;
    TModalScript script;
    script.Then([&](TForm &form) {
        shown = FindControl<TComboBox>(form, "CbGrp")->ItemIndex();
        form.SetModalResult(mrOk);
    });
    script.Press("OK");
    EXPECT_TRUE(f->PacketKey('5', ssCtrl));
    EXPECT_TRUE(script.Finished()) << script.Errors().join("; ").toStdString();
    EXPECT_EQ(shown, 5);
    EXPECT_EQ(script.Seen().back().Text, U("Не внесены суммы!"));
    EXPECT_EQ(HistCount(), ops);
    EXPECT_EQ(f->LastPacket, 5);
}

TEST_F(MainCat, MenuOpensTheRememberedPacketAndAsksBeforeWriting)
{
    AddCategory(U("Сто"), food, 2, "-", "1", 100);
    AddCategory(U("Ноль"), food, 2, "-", "1", 0);
    AddCategory(U("Полсотни"), food, 2, "-", "1", 50);
    const int off = AddCategory(U("Выкл"), food, 2, "-", "1", 30);
    ASSERT_TRUE(dm->Tb_Items.FindKey({Variant(int16_t(off))}));
    dm->Tb_Items.Edit();
    dm->Tb_Items.FieldByName("S")->SetAsString("N");
    dm->Tb_Items.Post();
    f->LastPacket = 12;
    f->Grp_Conf = true;
    f->EntryDate = Date();
    const int ops = HistCount();
    const double rest = Rest();
    QString sum, count;
    TModalScript script;
    script.Then([&](TForm &form) {
        EXPECT_EQ(form.Caption(), U("Пакетное добавление расходов"));
        EXPECT_EQ(FindControl<TComboBox>(form, "CbGrp")->ItemIndex(), 1);
        EXPECT_TRUE(FindControl<TCheckBox>(form, "ChConf")->Checked());
        sum = FindControl<TPanel>(form, "PanSum")->Caption();
        count = FindControl<TPanel>(form, "PanCount")->Caption();
        PressButton(form, "ButOk");
    });
    script.Press("No");
    f->mPacks->Click();
    EXPECT_TRUE(script.Finished()) << script.Errors().join("; ").toStdString();
    EXPECT_EQ(sum, U("Сумма = 150,00  "));
    EXPECT_EQ(count, U("Строк = 2 / 4      "));
    // The message box shows the carriage return as a line break.
    EXPECT_EQ(script.Seen().back().Text.toStdString(),
              U("Вы уверены, что хотите выполнить пакетный ввод данных\n2 строк на сумму 150,00?").toStdString());
    EXPECT_EQ(HistCount(), ops);

    TModalScript yes;
    yes.Then([](TForm &form) { PressButton(form, "ButOk"); });
    yes.Press("Yes");
    f->mPacks->Click();
    EXPECT_EQ(HistCount(), ops + 2);
    EXPECT_DOUBLE_EQ(Rest(), rest - 150);
}

// A packet the balance bound refuses writes nothing and says so; the window
// stays open on its lines, as typed, and the ledger shows what is stored.
TEST_F(MainCat, RefusedPacketKeepsTheWindowOpenOnItsLines)
{
    for (const char *name : {"Раз", "Два", "Три", "Четыре", "Пять", "Шесть"})
        AddCategory(U(name), food, 2, "-", "1", 99999999999.99);
    f->Grp_Conf = true;
    f->LastPacket = 1;
    f->EntryDate = Date();
    const int ops = HistCount();
    const double rest = Rest();
    bool openAfterRefusal = false;
    int linesAfterRefusal = 0;
    QString comment;
    TModalScript script;
    script.Then([&](TForm &form) {
        auto &grp = dynamic_cast<TFormGrp &>(form);
        dm->Qgrp.First();
        dm->Qgrp.Edit();
        dm->Qgrp.FieldByName("Comm")->SetAsString(U("напечатано"));
        PressButton(form, "ButOk");
        openAfterRefusal = form.ModalResult() == mrNone && form.isVisible();
        linesAfterRefusal = dm->Qgrp.Active() ? dm->Qgrp.RecordCount() : -1;
        if (dm->Qgrp.Active())
            comment = dm->Qgrp.FieldByName("Comm")->AsString();
        EXPECT_TRUE(grp.ButOk->Enabled());
        PressButton(form, "ButCancel");
    });
    script.Press("Yes");
    script.Press("OK");
    f->mPacks->Click();
    EXPECT_TRUE(script.Finished()) << script.Errors().join("; ").toStdString();
    ASSERT_EQ(script.Seen().size(), 3u);
    EXPECT_TRUE(script.Seen()[2].Text.startsWith(U("Пакет не записан: "))) << script.Seen()[2].Text.toStdString();
    EXPECT_TRUE(openAfterRefusal);
    EXPECT_EQ(linesAfterRefusal, 6);
    EXPECT_EQ(comment, U("напечатано"));
    EXPECT_EQ(HistCount(), ops);
    EXPECT_EQ(dm->Tb_Hist.RecordCount(), ops);
    EXPECT_DOUBLE_EQ(Rest(), rest);
}

TEST_F(MainCat, PacketWindowLineCommands)
{
    const int coffee = AddCategory(U("Кофе"), food, 2, "-", "132", 100);
    const int tea = AddCategory(U("Чай"), food, 2, "-", "3", 40);
    TFormGrp grp(*f);
    grp.CbGrp->SetItemIndex(3);
    TModalScript script;
    script.Then([&](TForm &) {
        TQuery &q = dm->Qgrp;
        ASSERT_EQ(q.RecordCount(), 2);
        // Switch a line off and on again.
        ASSERT_TRUE(q.Locate("Id_Itm", Variant(tea), {}));
        grp.mpNoClick(&grp);
        EXPECT_EQ(Item(tea, "S"), "N");
        EXPECT_EQ(grp.PanSum->Caption(), U("Сумма = 100,00  "));
        grp.mpNoClick(&grp);
        EXPECT_EQ(Item(tea, "S"), "");
        // Copy the sum into every line.
        ASSERT_TRUE(q.Locate("Id_Itm", Variant(coffee), {}));
        grp.DBGrp->SetSelectedField(q.FieldByName("Sm"));
        grp.mpCloneClick(&grp);
        EXPECT_EQ(Item(tea, "Sm"), "100");
        EXPECT_EQ(grp.PanSum->Caption(), U("Сумма = 200,00  "));
        // Remove coffee from packet 3: its other packets stay.
        ASSERT_TRUE(q.Locate("Id_Itm", Variant(coffee), {}));
        grp.mpDelClick(&grp);
        EXPECT_EQ(Item(coffee, "Grp"), "12");
        EXPECT_EQ(q.RecordCount(), 1);
        // Adding it again appends the digit; a negative id is ignored.
        grp.AddToPacket(coffee);
        EXPECT_EQ(Item(coffee, "Grp"), "123");
        EXPECT_EQ(q.FieldByName("Id_Itm")->AsInteger(), coffee);
        grp.AddToPacket(coffee);
        EXPECT_EQ(Item(coffee, "Grp"), "123");
        grp.AddToPacket(TransferCategory);
        EXPECT_EQ(q.RecordCount(), 2);
        grp.SetModalResult(mrCancel);
    });
    grp.ShowModal();
    EXPECT_TRUE(script.Finished()) << script.Errors().join("; ").toStdString();
}

TEST_F(MainCat, PacketCalculatorWritesTheSelectedAmountAndF9StartsTheNamedProgram)
{
    const int coffee = AddCategory(U("Кофе"), food, 2, "-", "7", 100);
    QStringList started;
    f->StartProgram = [&](const QString &program) {
        started << program;
        return true;
    };
    f->Calc = "galculator";
    TFormGrp grp(*f);
    grp.CbGrp->SetItemIndex(7);
    TModalScript script;
    script.Then([&](TForm &) {
        TQuery &q = dm->Qgrp;
        ASSERT_TRUE(q.Locate("Id_Itm", Variant(coffee), {}));
        grp.DBGrp->SetSelectedField(q.FieldByName("Sm"));
        WORD key = VK_F6;
        grp.FormKeyDown(&grp, key, 0);
        EXPECT_EQ(Item(coffee, "Sm"), "50");
        EXPECT_EQ(grp.PanSum->Caption(), U("Сумма = 50,00  "));
        // On the name column the calculator only calculates.
        grp.DBGrp->SetSelectedField(q.FieldByName("ITM"));
        key = VK_F6;
        grp.FormKeyDown(&grp, key, 0);
        EXPECT_EQ(Item(coffee, "ITM"), U("Кофе"));
        key = VK_F9;
        grp.FormKeyDown(&grp, key, 0);
        grp.SetModalResult(mrCancel);
    });
    script.Then([](TForm &calc) {
        EXPECT_EQ(FindControl<TEdit>(calc, "Ed")->Text(), "100");
        FindControl<TEdit>(calc, "Ed")->SetText("2*(20+5)");
        PressButton(calc, "ButOk");
    });
    script.Then([](TForm &calc) {
        EXPECT_TRUE(FindControl<TEdit>(calc, "Ed")->Text().isEmpty());
        FindControl<TEdit>(calc, "Ed")->SetText("3*3");
        PressButton(calc, "ButOk");
    });
    grp.ShowModal();
    EXPECT_TRUE(script.Finished()) << script.Errors().join("; ").toStdString();
    EXPECT_EQ(started, QStringList{"galculator"});

    // The category search window starts it as well.
    TFormItm itm(*f);
    WORD key = VK_F9;
    itm.FormKeyDown(&itm, key, 0);
    EXPECT_EQ(started, (QStringList{"galculator", "galculator"}));
}

} // namespace
} // namespace zorbel
