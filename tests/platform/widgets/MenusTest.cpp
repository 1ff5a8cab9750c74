// Menu shortcuts scoped to the focused control's popups and its form's menu, radio items, popups.
#include "platform/widgets/Menus.h"
#include "platform/widgets/ModalScript.h"
#include "platform/widgets/StdCtrls.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QAction>
#include <QMenu>

namespace zorbel {
namespace {

// A window with a main menu and two edits, each with its own popup; both
// popups bind Ins, and the main menu binds F5 and Ctrl+Ins.
class TMenuForm : public TForm {
public:
    TMenuForm()
    {
        resize(300, 200);
        MainMenu = new TMainMenu(this, QStringLiteral("MainMenu"));
        TMenuItem *file = MainMenu->Add(QStringLiteral("mFile"), QStringLiteral("&Файл"));
        mRefresh = file->Add(QStringLiteral("mRefresh"), QStringLiteral("Обновить"), ShortCut(VK_F5, 0));
        mIns = file->Add(QStringLiteral("mIns"), QStringLiteral("Вставить"), ShortCut(VK_INSERT, ssCtrl));
        mHidden = file->Add(QStringLiteral("mHidden"), QStringLiteral("Раскрыть"), ShortCut(VK_OEM_5, ssCtrl));
        mHidden->SetVisible(false);
        PmA = new TPopupMenu(this, QStringLiteral("PmA"));
        mpAddA = PmA->Add(QStringLiteral("mpAddA"), QStringLiteral("Добавить"), ShortCut(VK_INSERT, 0));
        mpMainA = PmA->Add(QStringLiteral("mpMainA"), QStringLiteral("Обновить здесь"), ShortCut(VK_F5, 0));
        PmB = new TPopupMenu(this, QStringLiteral("PmB"));
        mpAddB = PmB->Add(QStringLiteral("mpAddB"), QStringLiteral("Добавить"), ShortCut(VK_INSERT, 0));
        EdA = new TEdit(this, QStringLiteral("EdA"));
        EdA->SetPopupMenu(PmA);
        EdB = new TEdit(this, QStringLiteral("EdB"));
        EdB->SetPopupMenu(PmB);
        EdC = new TEdit(this, QStringLiteral("EdC"));
        SetMenu(MainMenu);
        for (TMenuItem *item : {mRefresh, mIns, mHidden, mpAddA, mpMainA, mpAddB})
            item->OnClick = [this](TObject *sender) { Clicked << static_cast<TMenuItem *>(sender)->Name(); };
        DoCreate();
    }
    TMainMenu *MainMenu;
    TPopupMenu *PmA, *PmB;
    TMenuItem *mRefresh, *mIns, *mHidden, *mpAddA, *mpMainA, *mpAddB;
    TEdit *EdA, *EdB, *EdC;
    QStringList Clicked;
};

TEST(MenuTest, PopupShortcutsWorkOnlyOnTheirControl)
{
    TMenuForm form;
    form.show();
    SendKey(form.EdA, Qt::Key_Insert);
    SendKey(form.EdB, Qt::Key_Insert);
    SendKey(form.EdC, Qt::Key_Insert); // no popup: nothing
    EXPECT_EQ(form.Clicked, (QStringList{"mpAddA", "mpAddB"}));
}

TEST(MenuTest, PopupComesBeforeTheMainMenuWhichWorksEverywhere)
{
    TMenuForm form;
    form.show();
    SendKey(form.EdA, Qt::Key_F5);
    SendKey(form.EdB, Qt::Key_F5);
    SendKey(form.EdC, Qt::Key_Insert, Qt::ControlModifier);
    EXPECT_EQ(form.Clicked, (QStringList{"mpMainA", "mRefresh", "mIns"}));
    // A shortcut never reaches the edit as a key.
    EXPECT_TRUE(form.EdA->Text().isEmpty());
}

TEST(MenuTest, HiddenItemsKeepTheirShortcutDisabledOnesLoseIt)
{
    TMenuForm form;
    form.show();
    SendKey(form.EdC, Qt::Key_Backslash, Qt::ControlModifier, QStringLiteral("\\"));
    form.mRefresh->SetEnabled(false);
    SendKey(form.EdC, Qt::Key_F5);
    EXPECT_EQ(form.Clicked, (QStringList{"mHidden"}));
    EXPECT_EQ(form.mIns->Action()->text(), QStringLiteral("Вставить\tCtrl+Ins"));
}

// A caption "-" is a separator line and shows no text of its own; another
// caption makes the item an item again.
TEST(MenuTest, ADashCaptionIsAPlainSeparator)
{
    TMenuForm form;
    TMenuItem *line = form.MainMenu->Items().Items(0)->Add(QStringLiteral("N1"), QStringLiteral("-"));
    EXPECT_TRUE(line->Action()->isSeparator());
    EXPECT_TRUE(line->Action()->text().isEmpty());
    line->SetShortCut(ShortCut(VK_F5, ssCtrl));
    EXPECT_TRUE(line->Action()->text().isEmpty());
    line->SetCaption(QStringLiteral("Обновить всё"));
    EXPECT_FALSE(line->Action()->isSeparator());
    EXPECT_TRUE(line->Action()->text().startsWith(QStringLiteral("Обновить всё")));
}

TEST(MenuTest, RadioItemsOfAGroupExcludeEachOther)
{
    TMenuForm form;
    TMenuItem *view = form.MainMenu->Add(QStringLiteral("mView"), QStringLiteral("Вид"));
    QList<TMenuItem *> items;
    for (int i = 0; i < 3; ++i) {
        TMenuItem *item = view->Add(QStringLiteral("mTree%1").arg(i), QStringLiteral("N %1").arg(i));
        item->SetRadioItem(true);
        item->SetGroupIndex(1);
        items << item;
    }
    TMenuItem *other = view->Add(QStringLiteral("mOther"), QStringLiteral("Другое"));
    other->SetRadioItem(true);
    other->SetGroupIndex(2);
    other->SetChecked(true);
    items[0]->SetChecked(true);
    items[2]->SetChecked(true);
    EXPECT_FALSE(items[0]->Checked());
    EXPECT_TRUE(items[2]->Checked());
    EXPECT_TRUE(other->Checked()); // another group
    EXPECT_EQ(items[2]->MenuIndex(), 2);
}

TEST(MenuTest, ContextMenuFiresOnPopupAndRemembersTheControl)
{
    TMenuForm form;
    form.show();
    int popups = 0;
    form.PmB->OnPopup = [&](TObject *) {
        ++popups;
        form.mpAddB->SetEnabled(false); // the handler may change the items before they show
    };
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), form.EdB->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(form.EdB, &event);
    EXPECT_EQ(popups, 1);
    EXPECT_EQ(form.PmB->PopupComponent(), form.EdB);
    EXPECT_TRUE(form.PmB->Menu()->isVisible());
    EXPECT_FALSE(form.mpAddB->Action()->isEnabled());
    form.PmB->Menu()->hide();
}

TEST(MenuTest, APopupWithoutAutoPopupStaysShutButKeepsItsShortcuts)
{
    TMenuForm form;
    form.show();
    form.EdA->setFocus();
    int popups = 0;
    form.PmA->OnPopup = [&](TObject *) { ++popups; };
    form.PmA->SetAutoPopup(false);
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), form.EdA->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(form.EdA, &event);
    SendKeyToFocus(form, Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_EQ(popups, 0);
    EXPECT_FALSE(form.PmA->Menu()->isVisible());
    SendKeyToFocus(form, Qt::Key_Insert);
    EXPECT_EQ(form.Clicked, QStringList{QStringLiteral("mpAddA")});
    // The shortcut let the popup's handler set its items' states, as opening
    // would, without opening it.
    EXPECT_EQ(popups, 1);
    EXPECT_FALSE(form.PmA->Menu()->isVisible());
    form.PmA->SetAutoPopup(true);
    QApplication::sendEvent(form.EdA, &event);
    EXPECT_EQ(popups, 2);
    form.PmA->Menu()->hide();
}

TEST(MenuTest, ShiftF10OpensTheFocusedControlsPopupMenu)
{
    // The keyboard's way to the popup menu besides the Menu key.
    TMenuForm form;
    form.show();
    form.EdB->setFocus();
    int popups = 0;
    form.PmB->OnPopup = [&](TObject *) { ++popups; };
    SendKeyToFocus(form, Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_EQ(popups, 1);
    EXPECT_EQ(form.PmB->PopupComponent(), form.EdB);
    EXPECT_TRUE(form.PmB->Menu()->isVisible());
    form.PmB->Menu()->hide();
    // F10 alone is no popup key.
    SendKeyToFocus(form, Qt::Key_F10);
    EXPECT_EQ(popups, 1);
}

} // namespace
} // namespace zorbel
