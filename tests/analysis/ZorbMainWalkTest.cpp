// Every command of the main window, as a user reaches it: each visible,
// enabled item of the main menu and of the pages' popup menus is chosen, each
// shortcut is pressed from a control where it applies, and each key the
// window handles itself is pressed. Whatever window opens is closed at once.
// A command must act (open a window, ask, call the desktop, or change what
// the window shows or holds) and must not crash.
#include "AnalysisLedger.h"
#include "RstFixture.h"

#include "core/ZorbLaunch.h"
#include "platform/widgets/ModalScript.h"

#include <QApplication>
#include <QMap>

namespace zorbel::test {
namespace {

// Every modal window is logged and closed with Cancel.
class TCloseEverything {
public:
    TCloseEverything()
    {
        previous_ = SetModalHandler([this](TForm &form) {
            Windows << form.Name() + u'/' + form.Caption();
            form.SetModalResult(mrCancel);
        });
    }
    ~TCloseEverything() { SetModalHandler(std::move(previous_)); }
    QStringList Windows;

private:
    TModalHandler previous_;
};

class MainWalk : public RstFixture {
protected:
    void SetUp() override
    {
        RstFixture::SetUp();
        ASSERT_TRUE(main->ReadyToRun());
        TDm &dm = *main->Dm;
        TTable &acc = dm.Tb_Account;
        acc.Append();
        acc.FieldByName(U("Account"))->SetAsString(U("Банк"));
        acc.FieldByName(U("Currency"))->SetAsString(U("руб"));
        acc.FieldByName(U("Rate"))->SetAsFloat(1);
        acc.Post();
        acc.First();
        const int id = acc.FieldByName(U("Id_Account"))->AsInteger();
        const TDateTime today = Date();
        TDataSetBuilder build(dm.Db);
        build.Operation({.Account = id, .Date = today - 1, .Ct = 25.0, .Level1 = 0, .Mark = true});
        build.Operation({.Account = id, .Date = today - 1, .Dt = 100.0, .Level1 = 1});
        build.Operation({.Account = id, .Date = today, .Ct = 7.5, .Level1 = 0});
        build.Operation({.Account = id, .Date = today + 10, .Kind = U("2"), .Ct = 40.0, .Level1 = 0});
        for (auto [table, field, text] : {std::tuple{&dm.Tb_Person, "Name", "Иванов И.И."},
                                          std::tuple{&dm.Tb_Firm, "Firm", "Магазин"},
                                          std::tuple{&dm.Tb_Log, "Note", "Позвонить"}}) {
            table->Append();
            table->FieldByName(U(field))->SetAsString(U(text));
            table->Post();
        }
        int parent = 0; // the expense root
        for (auto [name, level] : {std::pair{"Еда", 1}, std::pair{"Хлеб", 2}}) {
            TTable &items = dm.Tb_Items;
            items.Append();
            items.FieldByName(U("ITM"))->SetAsString(U(name));
            items.FieldByName(U("LEV"))->SetAsInteger(level);
            items.FieldByName(U("ID_REF"))->SetAsInteger(parent);
            items.FieldByName(U("C"))->SetAsString(U("-"));
            items.Post();
            parent = items.FieldByName(U("ID_ITM"))->AsInteger();
        }
        main->BuildCategoryTree(main->TvCt, false, true, false, true);
        main->FConfirm = true;
        main->Escape = true;
        main->StartProgram = [this](const QString &) { return ++Desktop, true; };
        main->OpenHelpFile = [this](const QString &) { return ++Desktop, true; };
        main->ExecuteOpenDialog = [this](QString &) { return ++Desktop, false; };
        main->ExecuteSaveDialog = [this](QString &) { return ++Desktop, false; };
        main->ExecuteExportDialog = [this](QString &, int &) { return ++Desktop, false; };
        main->Show();
        QApplication::setActiveWindow(main.get());
        Baseline();
    }
    void TearDown() override
    {
        if (main && main->Dm)
            main->Dm->SetModified(false);
        RstFixture::TearDown();
    }

    // The money page, the month of today, the expense tree of all trees with
    // its first category selected and focused.
    void Baseline()
    {
        main->ShowPage(0);
        main->mMoneyView->SetChecked(true);
        main->EntryDate = Date();
        main->CbPer->SetItemIndex(3);
        main->CbPerClick(main->CbPer);
        if (!main->mCt->Checked())
            main->mCt->Click();
        main->TreeFilter = 0;
        main->Dm->Tb_Hist.First();
        main->FindText.clear();
        main->CategoryFindText.clear();
        QApplication::setActiveWindow(main.get());
        main->TvCt->setFocus();
        for (int i = 0; i < main->TvCt->Items().Count(); ++i)
            if (TTreeNode *node = main->TvCt->Items()[i]; node->Data() > 1 && !node->HasChildren()) {
                main->TvCt->SetSelected(node); // a category of the user's, without branches
                break;
            }
        main->Dm->UpdateMenus();
    }
    // What the window shows and holds, for telling whether a command acted.
    QStringList State() const
    {
        const TFormMain &m = *main;
        const TDm &dm = *m.Dm;
        int expanded = 0;
        for (TTreeView *tree : {m.TvCt, m.TvDt})
            for (int i = 0; i < tree->Items().Count(); ++i)
                expanded += tree->Items()[i]->Expanded();
        TQuery q;
        q.SetDatabase(&const_cast<TDm &>(dm).Db);
        q.SQL() = {U("select b, date_create, date_real from tb_hist order by 2")};
        q.Open();
        QString rows;
        for (; !q.Eof(); q.Next())
            rows += q.Fields()[0]->AsString() + q.Fields()[1]->AsString() + q.Fields()[2]->AsString() + u';';
        q.SQL() = {U("select c, date_remind, dy from tb_log")};
        q.Open();
        for (; !q.Eof(); q.Next())
            rows += q.Fields()[0]->AsString() + q.Fields()[1]->AsString() + q.Fields()[2]->AsString() + u';';
        QStringList books;
        for (const TTable *t : {&dm.Tb_Person, &dm.Tb_Family, &dm.Tb_Firm, &dm.Tb_Log})
            books << QString::number(int(t->State())) + u'/' + QString::number(t->RecordCount()) + u'/' +
                         QString::number(t->RecNo());
        for (const TDBGrid *g : {m.DBGPerson, m.DBGFirm, m.DBGLog, m.DBG})
            books << QString::number(g->SelectedIndex());
        return {QString::number(m.EntryDate),        QString::number(m.CbPer->ItemIndex()),
                QString::number(m.Pg->ActivePageIndex()), QString::number(m.mCt->Checked()),
                QString::number(m.TreeFilter),       QString::number(dm.Modified()),
                QString::number(dm.Tb_Hist.RecNo()),  QString::number(expanded),
                QString::number(m.PanRemind->Visible()), QString::number(m.mRemind->Checked()),
                m.Caption(), rows, books.join(u' '), QString::number(m.DBGPers_Firm->Visible()),
                m.FindText, m.CategoryFindText,
                QString::number(m.TvCt->Visible()),  m.TvCt->Selected() ? m.TvCt->Selected()->Text() : QString()};
    }
    // Runs a command; true when it acted.
    bool Acts(const std::function<void()> &command, QString *seen = nullptr)
    {
        const QStringList before = State();
        const int desktop = Desktop;
        TCloseEverything closer;
        command();
        QApplication::processEvents();
        if (seen)
            *seen = closer.Windows.join(u';');
        return !closer.Windows.isEmpty() || Desktop != desktop || !main->ReadyToRun() || State() != before;
    }
    static void Leaves(TMenuItem &parent, QList<TMenuItem *> &out)
    {
        for (int i = 0; i < parent.Count(); ++i) {
            TMenuItem *item = parent.Items(i);
            if (item->Caption() == u"-")
                continue;
            if (item->Count() > 0)
                Leaves(*item, out);
            else
                out << item;
        }
    }

    int Desktop = 0; // calls of the desktop and file dialogs
};

TEST_F(MainWalk, EveryMenuItemActsAndNoneCrashes)
{
    // Choosing what is already chosen changes nothing, as it should.
    const QSet<QString> alreadyChosen{U("mMoneyView"), U("mMonth"), U("mCt"), U("mTreeAll")};
    // Closing or replacing the data set comes last.
    const QStringList last{U("mNew"), U("mCloseNotSave"), U("mExit")};
    struct TPage {
        TPopupMenu *Menu;
        int Page;
        QWidget *Control;
    };
    const TPage popups[] = {{main->PmHist, 0, main->DBG},         {main->PmCat, 0, main->TvCt},
                            {main->PmPerson, 1, main->DBGPerson}, {main->PmFirm, 2, main->DBGFirm},
                            {main->PmLog, 3, main->DBGLog}};
    QStringList idle, walked;
    const auto walk = [&](TMenuItem *item, const std::function<void()> &prepare) {
        prepare();
        if (!item->Visible() || !item->Enabled() || last.contains(item->Name()))
            return;
        if (alreadyChosen.contains(item->Name()) &&
            (item->Checked() || (item == main->mTreeAll && main->TreeFilter == 0)))
            return;
        walked << item->Name();
        QString seen;
        if (!Acts([&] { item->Click(); }, &seen))
            idle << item->Name() + u' ' + item->Caption();
        if (!main->ReadyToRun())
            FAIL() << "the data set closed after " << item->Name().toStdString();
    };

    QList<TMenuItem *> items;
    Leaves(main->MainMenu->Items(), items);
    for (TMenuItem *item : items)
        walk(item, [&] { Baseline(); });
    for (const TPage &p : popups) {
        QList<TMenuItem *> popupItems;
        Leaves(p.Menu->Items(), popupItems);
        for (TMenuItem *item : popupItems)
            walk(item, [&] {
                Baseline();
                main->ShowPage(p.Page);
                p.Control->setFocus();
                if (p.Menu->OnPopup)
                    p.Menu->OnPopup(p.Menu);
            });
    }
    EXPECT_TRUE(idle.isEmpty()) << "commands that did nothing: " << idle.join(u", ").toStdString();
    // The walk reached the commands a household uses most.
    for (const char *name : {"mLim", "mRest", "mCompare", "mDays", "mResult", "mImport", "mCalc", "mcalc2",
                             "mMoneyNew", "mpMoneyCopy", "mAccounts", "mpShowMark", "mpPersonNew", "mpLogNon"})
        EXPECT_TRUE(walked.contains(U(name))) << name;

    // Last: leaving is asked first; cancelled, the data set stays.
    Baseline();
    main->Dm->SetModified(true);
    for (const QString &name : last) {
        TMenuItem *item = main->findChild<TMenuItem *>(name);
        ASSERT_NE(item, nullptr) << name.toStdString();
        QString seen;
        EXPECT_TRUE(Acts([&] { item->Click(); }, &seen)) << name.toStdString();
        EXPECT_FALSE(seen.isEmpty()) << name.toStdString();
        EXPECT_TRUE(main->ReadyToRun()) << name.toStdString();
    }
}

TEST_F(MainWalk, EveryShortcutReachesItsCommand)
{
    // Each item's command counts its runs.
    QMap<TMenuItem *, int> runs;
    struct TKeyed {
        TMenuItem *Item;
        int Page;
        QWidget *Control;
        TMenu *Menu;
    };
    QList<TKeyed> keyed;
    const auto collect = [&](TMenu *menu, int page, QWidget *control) {
        QList<TMenuItem *> items;
        Leaves(menu->Items(), items);
        for (TMenuItem *item : items) {
            TNotifyEvent command = item->OnClick;
            item->OnClick = [&runs, item, command](TObject *s) {
                ++runs[item];
                if (command)
                    command(s);
            };
            if (item->ShortCut())
                keyed << TKeyed{item, page, control, menu};
        }
    };
    collect(main->MainMenu, 0, main->CbPer);
    collect(main->PmHist, 0, main->DBG);
    collect(main->PmCat, 0, main->TvCt);
    collect(main->PmPerson, 1, main->DBGPerson);
    collect(main->PmFirm, 2, main->DBGFirm);
    collect(main->PmLog, 3, main->DBGLog);

    QStringList missed;
    for (const TKeyed &k : keyed) {
        Baseline();
        main->ShowPage(k.Page);
        if (k.Item->Name() == U("mpUp") || k.Item->Name() == U("mpDown")) {
            main->EntryDate = Date() - 1; // the day view of a day with two rows moves rows
            main->CbPer->SetItemIndex(5);
            main->CbPerClick(main->CbPer);
            main->Dm->UpdateMenus();
        }
        // A popup's items are enabled as opening it would enable them, as
        // for its keys; a disabled command takes no key.
        if (auto *popup = dynamic_cast<TPopupMenu *>(k.Menu); popup && popup->OnPopup) {
            popup->SetPopupComponent(dynamic_cast<TControl *>(k.Control));
            popup->OnPopup(popup);
        }
        if (!k.Item->Enabled())
            continue;
        k.Control->setFocus();
        const int before = runs.value(k.Item);
        const TShortCut key = k.Item->ShortCut();
        Qt::KeyboardModifiers mods;
        if (key & scShift)
            mods |= Qt::ShiftModifier;
        if (key & scCtrl)
            mods |= Qt::ControlModifier;
        if (key & scAlt)
            mods |= Qt::AltModifier;
        const int vk = key & 0x0FFF;
        const int qtKey = vk >= VK_F1 && vk <= VK_F1 + 11 ? Qt::Key_F1 + (vk - VK_F1)
                          : vk == VK_INSERT               ? Qt::Key_Insert
                          : vk == VK_DELETE               ? Qt::Key_Delete
                          : vk == VK_UP                   ? Qt::Key_Up
                          : vk == VK_DOWN                 ? Qt::Key_Down
                          : vk == VK_OEM_5                ? Qt::Key_Backslash
                          : vk == VK_OEM_PLUS             ? Qt::Key_Equal
                                                          : vk; // letters and digits: the same codes
        TCloseEverything closer;
        SendKeyToFocus(*main, qtKey, mods);
        QApplication::processEvents();
        if (runs.value(k.Item) == before)
            missed << k.Item->Name() + u' ' + ShortCutToText(key);
        ASSERT_TRUE(main->ReadyToRun()) << k.Item->Name().toStdString();
    }
    EXPECT_GT(keyed.size(), 40);
    EXPECT_TRUE(missed.isEmpty()) << "keys that missed their command: " << missed.join(u", ").toStdString();
}

TEST_F(MainWalk, TheWindowsOwnKeysAct)
{
    struct TKey {
        const char *Name;
        int Key;
        Qt::KeyboardModifiers Mods;
        int Period; // the period kind the key is pressed in
    };
    const TKey keys[] = {{"Esc", Qt::Key_Escape, Qt::NoModifier, 0},
                         {"F4", Qt::Key_F4, Qt::NoModifier, 0},
                         {"Ctrl+keypad plus", Qt::Key_Plus, Qt::ControlModifier | Qt::KeypadModifier, 0},
                         {"Ctrl+F6", Qt::Key_F6, Qt::ControlModifier, 0},
                         {"Ctrl+Left", Qt::Key_Left, Qt::ControlModifier, 3},
                         {"Ctrl+Right", Qt::Key_Right, Qt::ControlModifier, 3},
                         {"Alt+Left", Qt::Key_Left, Qt::AltModifier, 3},
                         {"Alt+Right", Qt::Key_Right, Qt::AltModifier, 3},
                         {"Ctrl+Up", Qt::Key_Up, Qt::ControlModifier, 5},
                         {"Ctrl+Down", Qt::Key_Down, Qt::ControlModifier, 5},
                         {"Ctrl+0", Qt::Key_0, Qt::ControlModifier, 0},
                         {"Ctrl+5", Qt::Key_5, Qt::ControlModifier, 0}};
    QStringList idle;
    for (const TKey &k : keys) {
        Baseline();
        if (k.Period == 5)
            main->EntryDate = Date() - 1; // a day with two rows
        main->CbPer->SetItemIndex(k.Period);
        main->CbPerClick(main->CbPer);
        main->Dm->Tb_Hist.First();
        if (k.Key == Qt::Key_Up)
            main->Dm->Tb_Hist.Last();
        main->Dm->UpdateMenus();
        main->TvCt->SetFocus(); // not the ledger: the window sees these first
        if (!Acts([&] { SendKeyToFocus(*main, k.Key, k.Mods); }))
            idle << QString::fromLatin1(k.Name);
        ASSERT_TRUE(main->ReadyToRun()) << k.Name;
    }
    EXPECT_TRUE(idle.isEmpty()) << "keys that did nothing: " << idle.join(u", ").toStdString();
}

} // namespace
} // namespace zorbel::test
