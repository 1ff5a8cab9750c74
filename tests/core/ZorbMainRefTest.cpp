// The reference pages, the reminder panel and the reference windows in the
// real main window offscreen, with "today" fixed at 5 March 2024 before the
// window is made: the panel at start and its jumps, the search window with
// namesakes, F3 without a match, the picker's add question, removing a
// birthday, and a cell naming a program.
#include "core/ZorbMain.h"
#include "platform/rtl/StrUtils.h"

#include "ZorbSandbox.h"
#include "core/ZorbRef.h"
#include "platform/rtl/CodePages.h"
#include "platform/system/ShellOpen.h"
#include "platform/widgets/ModalScript.h"
#include "support/FaultEnv.h"
#include "support/ScriptTexts.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>

namespace zorbel {
namespace {

using test::Texts;

class MainRef : public testing::Test {
protected:
    void SetUp() override
    {
        env.SetNow(QDateTime(QDate(2024, 3, 5), QTime(9, 0)));
        f = std::make_unique<TFormMain>(QStringList{}, box.Path("program"));
        ASSERT_TRUE(f->ReadyToRun());
        dm = f->Dm.get();
        shop = AddFirm(U("Гастроном"));
        ivanov = AddPerson(U("Иванов"), EncodeDate(1980, 3, 5), shop);
        twin1 = AddPerson(U("Двойник"), 0);
        twin2 = AddPerson(U("Двойник"), 0);
        masha1 = AddMember(twin1, U("Маша"), EncodeDate(2010, 3, 6));
        masha2 = AddMember(twin2, U("Маша"), 0);
        dm->Tb_Log.Append();
        dm->Tb_Log.FieldByName("Note")->SetAsString(U("  Позвонить  "));
        dm->Tb_Log.FieldByName("C")->SetAsString("1");
        dm->Tb_Log.FieldByName("Id_Person")->SetAsInteger(ivanov);
        dm->Tb_Log.Post();
        f->Day1 = 1;
        f->Show();
        QApplication::setActiveWindow(f.get());
    }
    void TearDown() override
    {
        dm->SetModified(false);
        f->mCloseNotSaveClick(f.get());
    }
    int AddFirm(const QString &name)
    {
        dm->Tb_Firm.Append();
        dm->Tb_Firm.FieldByName("FIRM")->SetAsString(name);
        dm->Tb_Firm.Post();
        return dm->Tb_Firm.FieldByName("ID_FIRM")->AsInteger();
    }
    int AddPerson(const QString &name, TDateTime birthday, int firm = 0)
    {
        TTable &t = dm->Tb_Person;
        t.Append();
        t.FieldByName("NAME")->SetAsString(name);
        if (birthday > 0)
            t.FieldByName("BIRTHDAY")->SetAsDateTime(birthday);
        if (firm)
            t.FieldByName("ID_FIRM")->SetAsInteger(firm);
        t.Post();
        return t.FieldByName("ID_PERSON")->AsInteger();
    }
    int AddMember(int person, const QString &name, TDateTime birthday)
    {
        EXPECT_TRUE(dm->Tb_Person.Locate("ID_PERSON", Variant(person), {}));
        f->ShowPage(1);
        TTable &t = dm->Tb_Family;
        t.Append();
        t.FieldByName("NAME")->SetAsString(name);
        if (birthday > 0)
            t.FieldByName("BIRTHDAY")->SetAsDateTime(birthday);
        t.Post();
        return t.FieldByName("Id_Family")->AsInteger();
    }
    // Rebuilds the list as the menu command does.
    void Remind()
    {
        f->ButRemCloseClick(f.get());
        f->mRemindClick(f->mRemind);
    }
    bool ToKind(int kind)
    {
        for (dm->Tb_Rem.First(); !dm->Tb_Rem.Eof(); dm->Tb_Rem.Next())
            if (dm->Tb_Rem.FieldByName("Knd")->AsInteger() == kind)
                return true;
        return false;
    }

    test::TFaultEnv env;
    TSysEnvScope scope{env};
    TSandbox box;
    std::unique_ptr<TFormMain> f;
    TDm *dm = nullptr;
    int shop = 0, ivanov = 0, twin1 = 0, twin2 = 0, masha1 = 0, masha2 = 0;
};

TEST_F(MainRef, ReminderPanelListsAndLeadsToRows)
{
    Remind();
    EXPECT_TRUE(f->mRemind->Checked());
    EXPECT_TRUE(f->PanRemind->isVisible());
    EXPECT_EQ(dm->Tb_Rem.RecordCount(), 3); // Иванов today, Маша tomorrow, the daily entry
    EXPECT_EQ(f->DBGRem->Columns()[1]->TitleCaption(), U("1 персона         1 родств.         1 напоминание"));

    ASSERT_TRUE(ToKind(2));
    EXPECT_EQ(dm->Tb_Rem.FieldByName("Rem")->AsString(), U("Маша (Двойник)"));
    QChar enter(u'\r');
    f->DBGRemKeyPress(f->DBGRem, enter);
    EXPECT_TRUE(enter.isNull());
    EXPECT_EQ(f->Pg->ActivePageIndex(), 1);
    EXPECT_EQ(dm->Tb_Person.FieldByName("ID_PERSON")->AsInteger(), twin1);
    EXPECT_EQ(dm->Tb_Family.FieldByName("Id_Family")->AsInteger(), masha1);

    ASSERT_TRUE(ToKind(3));
    EXPECT_EQ(dm->Tb_Rem.FieldByName("Rem")->AsString(), U("Позвонить (Иванов)"));
    f->DBGRemDblClick(f->DBGRem);
    EXPECT_EQ(f->Pg->ActivePageIndex(), 3);
    EXPECT_EQ(dm->Tb_Log.FieldByName("Note")->AsString().trimmed(), U("Позвонить"));

    ASSERT_TRUE(ToKind(1));
    f->DBGRemDblClick(f->DBGRem);
    EXPECT_EQ(f->Pg->ActivePageIndex(), 1);
    EXPECT_EQ(dm->Tb_Person.FieldByName("ID_PERSON")->AsInteger(), ivanov);

    // The command again closes the panel and drops the list.
    f->mRemindClick(f->mRemind);
    EXPECT_FALSE(f->PanRemind->isVisible());
    EXPECT_FALSE(dm->Tb_Rem.Active());
    EXPECT_FALSE(f->mRemind->Checked());
}

TEST_F(MainRef, NothingToRemindKeepsThePanelHidden)
{
    f->Day1 = 0; // Маша's birthday is tomorrow
    dm->Tb_Log.First();
    dm->Tb_Log.Delete();
    ASSERT_TRUE(dm->Tb_Person.Locate("ID_PERSON", Variant(ivanov), {}));
    // Deleting the date takes Иванов out of the birthdays.
    f->ShowPage(1);
    f->DBGPerson->SetFocus();
    f->mpPersonDelDate->Click();
    EXPECT_TRUE(dm->Tb_Person.FieldByName("Dy")->IsNull());
    EXPECT_TRUE(dm->Tb_Person.FieldByName("Mn")->IsNull());
    Remind();
    EXPECT_TRUE(f->mRemind->Checked());
    EXPECT_FALSE(f->PanRemind->isVisible());
    EXPECT_FALSE(dm->Tb_Rem.Active());
}

TEST_F(MainRef, SearchWindowChoosesTheRightNamesake)
{
    f->ShowPage(1);
    TModalScript script;
    script.Then([&](TForm &form) {
        auto &find = dynamic_cast<TFormFind &>(form);
        find.EdFind->SetText(U("маш"));
        find.RunSearch();
        ASSERT_EQ(find.Lb->Count(), 2);
        EXPECT_EQ(find.PanHead->Caption(), "2  ");
        EXPECT_EQ(find.Lb->Items()[1], U("Маша »» Двойник"));
        // The second person's member, though both share names.
        const int pick = find.Items()[0].PersonId == twin2 ? 0 : 1;
        find.Lb->SetItemIndex(pick);
        find.LbDblClick(find.Lb);
        form.SetModalResult(mrCancel);
    });
    f->mFindTextClick(f.get());
    EXPECT_TRUE(script.Finished()) << Texts(script).join('|').toStdString();
    EXPECT_EQ(f->FindText, U("маш"));
    EXPECT_EQ(dm->Tb_Person.FieldByName("ID_PERSON")->AsInteger(), twin2);
    EXPECT_EQ(dm->Tb_Family.FieldByName("Id_Family")->AsInteger(), masha2);
    EXPECT_EQ(f->DBGFamily->SelectedField()->FieldName().toUpper(), "NAME");
}

TEST_F(MainRef, SearchAndF3WithoutAMatch)
{
    f->ShowPage(2);
    TModalScript script;
    script.Then([&](TForm &form) {
        auto &find = dynamic_cast<TFormFind &>(form);
        find.EdFind->SetText(U("нигде нет"));
        find.RunSearch();
        form.SetModalResult(mrCancel);
    });
    script.Press("OK");
    f->mFindTextClick(f.get());
    script.Press("OK");
    ASSERT_TRUE(dm->Tb_Firm.Locate("ID_FIRM", Variant(shop), {}));
    f->mFindNextClick(f.get());
    EXPECT_EQ(Texts(script).mid(1), (QStringList{U("Текст не найден!"), U("Текст не найден.")}));
    EXPECT_EQ(dm->Tb_Firm.FieldByName("ID_FIRM")->AsInteger(), shop);
    // F3 on the money page does nothing.
    f->ShowPage(0);
    f->mFindNextClick(f.get());
    EXPECT_EQ(script.Seen().size(), 3u);
}

// Ins and Ctrl+Del, which the popup items name, add and delete in the grid
// the key came from, with the items' conditions and questions.
TEST_F(MainRef, InsAndCtrlDelAddAndDeleteAsTheirMenuItemsDo)
{
    f->ShowPage(2);
    f->DBGFirm->SetFocus();
    const int firms = dm->Tb_Firm.RecordCount();
    SendKey(f->DBGFirm->View(), Qt::Key_Insert);
    EXPECT_EQ(dm->Tb_Firm.State(), dsInsert);
    SendKey(f->DBGFirm->View(), Qt::Key_Escape);
    EXPECT_EQ(dm->Tb_Firm.State(), dsBrowse);
    {
        TModalScript no;
        no.Press("No");
        SendKey(f->DBGFirm->View(), Qt::Key_Delete, Qt::ControlModifier);
        EXPECT_EQ(Texts(no), QStringList{U("Удалить запись ?")});
        EXPECT_EQ(dm->Tb_Firm.RecordCount(), firms);
    }

    f->ShowPage(1);
    ASSERT_TRUE(dm->Tb_Person.Locate("ID_PERSON", Variant(twin2), {}));
    f->DBGFamily->SetFocus();
    SendKey(f->DBGFamily->View(), Qt::Key_Insert);
    EXPECT_EQ(dm->Tb_Family.State(), dsInsert);
    EXPECT_EQ(dm->Tb_Person.State(), dsBrowse);
    SendKey(f->DBGFamily->View(), Qt::Key_Escape);
    ASSERT_EQ(dm->Tb_Family.FieldByName("Id_Family")->AsInteger(), masha2);
    {
        TModalScript yes;
        yes.Press("Yes");
        SendKey(f->DBGFamily->View(), Qt::Key_Delete, Qt::ControlModifier);
        EXPECT_EQ(Texts(yes), QStringList{U("Удалить запись ?")});
    }
    EXPECT_TRUE(dm->Tb_Family.IsEmpty());
    EXPECT_TRUE(dm->Tb_Person.Locate("ID_PERSON", Variant(twin2), {}));

    f->ShowPage(3);
    f->DBGLog->SetFocus();
    {
        TModalScript yes;
        yes.Press("Yes");
        SendKey(f->DBGLog->View(), Qt::Key_Delete, Qt::ControlModifier);
        EXPECT_EQ(Texts(yes), QStringList{U("Удалить запись в дневнике ?")});
    }
    EXPECT_TRUE(dm->Tb_Log.IsEmpty());
    {
        TModalScript none; // nothing to delete: no question
        SendKey(f->DBGLog->View(), Qt::Key_Delete, Qt::ControlModifier);
        EXPECT_TRUE(none.Seen().empty());
    }
    SendKey(f->DBGLog->View(), Qt::Key_Insert);
    EXPECT_EQ(dm->Tb_Log.State(), dsInsert);
    dm->Tb_Log.Cancel();
}

// Deleting an entry that is still referred to shows the data module's
// reason and nothing more (a firm's second box said "Operation aborted"),
// and the entry stays.
TEST_F(MainRef, DeletingAnEntryStillReferredToShowsOnlyItsReason)
{
    struct TCase {
        int Page;
        TDBGrid *Grid;
        TTable *Table;
        const char *Key;
        int Id;
        TMenuItem *Item;
        const char *Reason;
    };
    for (const TCase &c : {TCase{2, f->DBGFirm, &dm->Tb_Firm, "ID_FIRM", shop, f->mpFirmDel,
                                 "Есть ссылки в персональном справочнике!"},
                           TCase{1, f->DBGPerson, &dm->Tb_Person, "ID_PERSON", ivanov, f->mpPersonDel,
                                 "Есть ссылки в дневнике!"}}) {
        f->ShowPage(c.Page);
        c.Grid->SetFocus();
        ASSERT_TRUE(c.Table->Locate(c.Key, Variant(c.Id), {}));
        const int rows = c.Table->RecordCount();
        TModalScript script;
        script.Press("Yes").Press("OK");
        c.Item->Click();
        EXPECT_EQ(Texts(script), (QStringList{U("Удалить запись ?"), U(c.Reason)})) << c.Reason;
        EXPECT_TRUE(script.Finished()) << script.Errors().join('|').toStdString();
        EXPECT_EQ(c.Table->RecordCount(), rows);
        EXPECT_EQ(c.Table->FieldByName(c.Key)->AsInteger(), c.Id);
    }
}

// Ctrl+F offers the current cell's text selected, as an input box does:
// typing replaces it (it was added to it, and the search found nothing).
TEST_F(MainRef, SearchBoxOffersTheCellTextSelected)
{
    f->ShowPage(2);
    ASSERT_TRUE(dm->Tb_Firm.Locate("ID_FIRM", Variant(shop), {}));
    f->DBGFirm->SetFocus();
    f->FindText.clear();
    TModalScript script;
    QString offered, selected, typed;
    script.Then([&](TForm &form) {
        auto &find = dynamic_cast<TFormFind &>(form);
        offered = find.EdFind->Text();
        selected = find.EdFind->selectedText();
        find.EdFind->setFocus();
        SendKey(find.EdFind, Qt::Key_D, Qt::NoModifier, U("д"));
        typed = find.EdFind->Text();
        form.SetModalResult(mrCancel);
    });
    f->mFindTextClick(f.get());
    EXPECT_TRUE(script.Finished()) << script.Errors().join('|').toStdString();
    EXPECT_EQ(offered, U("Гастроном"));
    EXPECT_EQ(selected, offered);
    EXPECT_EQ(typed, U("д"));
}

TEST_F(MainRef, PickerMovesToAnExistingNameAndAsksForANewOne)
{
    TFormRef picker(*f, &dm->DataPerson);
    EXPECT_EQ(picker.Caption(), U("Люди"));
    {
        TModalScript none; // no question expected
        picker.Ed->SetText(U("иванов"));
        picker.ButAddClick(picker.ButAdd);
        EXPECT_TRUE(none.Seen().empty());
    }
    EXPECT_EQ(dm->Tb_Person.FieldByName("ID_PERSON")->AsInteger(), ivanov);
    const int before = dm->Tb_Person.RecordCount();
    TModalScript ask;
    ask.Press("Yes");
    picker.Ed->SetText(U("Петров"));
    picker.ButAddClick(picker.ButAdd);
    EXPECT_EQ(Texts(ask), QStringList{U("Добавить\nПетров?")});
    EXPECT_EQ(dm->Tb_Person.RecordCount(), before + 1);
    EXPECT_EQ(dm->Tb_Person.FieldByName("NAME")->AsString(), U("Петров"));
    TFormRef firms(*f, &dm->DataFirm);
    EXPECT_EQ(firms.Caption(), U("Фирмы"));
}

TEST_F(MainRef, CardPickerReturnsTheChosenRow)
{
    TModalScript script;
    script.Then([](TForm &form) {
        auto &picker = dynamic_cast<TFormRef &>(form);
        picker.Ed->SetText(U("Гастр"));
        picker.ButOk->Click();
    });
    script.Then([](TForm &form) { form.SetModalResult(mrCancel); });
    Variant id;
    EXPECT_TRUE(f->PickReference(2, id));
    EXPECT_EQ(id.AsInteger(), shop);
    Variant none;
    EXPECT_FALSE(f->PickReference(1, none));
    EXPECT_TRUE(VarIsClear(none));
    EXPECT_TRUE(script.Finished()) << Texts(script).join('|').toStdString();
}

TEST_F(MainRef, CellNamingAProgramIsRefused)
{
    QStringList opened;
    TShellLauncher previous = SetShellLauncher([&](const QUrl &url) {
        opened << url.toString();
        return true;
    });
    ASSERT_TRUE(dm->Tb_Person.Locate("ID_PERSON", Variant(ivanov), {}));
    dm->Tb_Person.Edit();
    dm->Tb_Person.FieldByName("ADDRESS")->SetAsString("/bin/sh");
    dm->Tb_Person.FieldByName("COMMENT")->SetAsString("ivanov@example.ru");
    dm->Tb_Person.Post();
    f->ShowPage(1);
    f->DBGPerson->SetSelectedField(dm->Tb_Person.FieldByName("ADDRESS"));
    TModalScript script;
    script.Press("OK");
    f->OpenLink(f->DBGPerson);
    EXPECT_EQ(script.Seen().size(), 1u);
    EXPECT_TRUE(opened.isEmpty());
    f->DBGPerson->SetSelectedField(dm->Tb_Person.FieldByName("COMMENT"));
    f->OpenLink(f->DBGPerson);
    EXPECT_EQ(opened, QStringList{"mailto:ivanov@example.ru"});
    SetShellLauncher(previous);
}

// The books' "save to file" items follow their delete items and write the
// grid the menu belongs to.
TEST_F(MainRef, BooksSaveTheirGridsToFiles)
{
    const QString csv = box.Path("files") + "/books.csv";
    f->ExecuteExportDialog = [&](QString &name, int &type) {
        name = csv;
        type = 1;
        return true;
    };
    const auto saved = [&](TMenuItem *item) {
        QFile::remove(csv);
        item->Click();
        QFile file(csv);
        return file.open(QIODevice::ReadOnly) ? Win1251ToUnicode(file.readAll()) : QString();
    };
    f->ShowPage(3);
    f->PmLogPopup(f.get());
    ASSERT_TRUE(f->mpLogSave->Enabled());
    EXPECT_TRUE(saved(f->mpLogSave).contains(U("Позвонить")));
    f->ShowPage(2);
    f->PmFirmPopup(f.get());
    ASSERT_TRUE(f->mpFirmSave->Enabled());
    EXPECT_TRUE(saved(f->mpFirmSave).contains(U("Гастроном")));
    f->ShowPage(1);
    f->DBGPerson->SetFocus();
    f->PmPersonPopup(f.get());
    ASSERT_TRUE(f->mpPersonSave->Enabled());
    const QString people = saved(f->mpPersonSave);
    EXPECT_EQ(people.count(U("Двойник")), 2);
    EXPECT_FALSE(people.contains(U("Маша")));

    // An empty diary has nothing to save.
    while (!dm->Tb_Log.IsEmpty())
        dm->Tb_Log.Delete();
    f->ShowPage(3);
    f->PmLogPopup(f.get());
    EXPECT_FALSE(f->mpLogSave->Enabled());
}

// The books' column layouts (order and widths) are taken at the settings'
// saving and given back at the next start; the firm's people take theirs
// when first shown, and columns keep the captions the grids gave them.
TEST_F(MainRef, BookColumnLayoutsSurviveARestart)
{
    f->KeepRegistry = true;
    f->DBGLog->Columns()[2]->SetWidth(222);
    f->DBGLog->Columns().Move(5, 0); // Date_Create first
    f->DBGFirm->Columns()[0]->SetWidth(111);
    f->DBGPers_Firm->Columns()[0]->SetWidth(99);
    f->DBGPers_Firm->Columns().Move(5, 1); // Note second
    f->SaveSettings(QString());
    EXPECT_TRUE(f->Col_Log.startsWith("Date_Create=130\r\nKnd=90\r\nDate_Remind=86\r\nNote=222\r\n"))
        << f->Col_Log.toStdString();
    EXPECT_TRUE(f->Col_PF.startsWith("Name=99\r\nNote=160\r\n")) << f->Col_PF.toStdString();
    const QString pf = f->Col_PF;
    dm->SetModified(false);
    f->mCloseNotSaveClick(f.get());

    f = std::make_unique<TFormMain>(QStringList{}, box.Path("program"));
    ASSERT_TRUE(f->ReadyToRun());
    dm = f->Dm.get();
    ASSERT_EQ(f->DBGLog->Columns().Count(), 6);
    EXPECT_EQ(f->DBGLog->Columns()[0]->FieldName(), "Date_Create");
    EXPECT_EQ(f->DBGLog->Columns()[3]->FieldName(), "Note");
    EXPECT_EQ(f->DBGLog->Columns()[3]->Width(), 222);
    EXPECT_EQ(f->DBGFirm->Columns()[0]->Width(), 111);
    EXPECT_EQ(f->DBGFirm->Columns()[1]->TitleCaption(), U("Телефон"));
    // Not yet shown: the firm's people keep their columns until their data opens.
    EXPECT_EQ(f->DBGPers_Firm->Columns()[1]->FieldName(), "Phone");
    f->ShowPage(2);
    AddFirm(U("Аптека")); // the new data set's first firm
    f->mpFirmPersonClick(f->mpFirmPerson);
    ASSERT_TRUE(dm->QPers_Firm.Active());
    ASSERT_EQ(f->DBGPers_Firm->Columns().Count(), 6);
    EXPECT_EQ(f->DBGPers_Firm->Columns()[0]->Width(), 99);
    EXPECT_EQ(f->DBGPers_Firm->Columns()[1]->FieldName(), "Note");
    EXPECT_EQ(f->DBGPers_Firm->Columns()[0]->TitleCaption(), U("Фамилия И.О."));
    // A layout that leaves out a shown field is not used: the grid keeps its columns.
    f->Col_Fam = "Name=50";
    f->BookColumnLayouts(true);
    EXPECT_GT(f->DBGFamily->Columns().Count(), 1);
    EXPECT_NE(f->DBGFamily->Columns()[0]->Width(), 50);
    EXPECT_EQ(f->Col_PF, pf);
}

// The money menu and its accounts item belong to the money page; the firm's
// people are open on the firms page exactly while their popup item is ticked,
// and a visit to another page closes them without unticking the item.
TEST_F(MainRef, PagesShowTheirMenusAndKeepTheFirmPeopleTick)
{
    f->ShowPage(1);
    EXPECT_FALSE(f->mMoney->Visible());
    EXPECT_FALSE(f->mAccounts->Visible());
    f->ShowPage(0);
    EXPECT_TRUE(f->mMoney->Visible());
    EXPECT_TRUE(f->mAccounts->Visible());

    f->ShowPage(2);
    ASSERT_TRUE(dm->Tb_Firm.Locate("ID_FIRM", Variant(shop), {}));
    f->mpFirmPersonClick(f->mpFirmPerson);
    ASSERT_TRUE(f->mpFirmPerson->Checked());
    EXPECT_TRUE(dm->QPers_Firm.Active());
    EXPECT_TRUE(f->DBGPers_Firm->Visible());
    f->ShowPage(3);
    EXPECT_FALSE(f->mMoney->Visible());
    EXPECT_TRUE(f->mpFirmPerson->Checked());
    EXPECT_FALSE(dm->QPers_Firm.Active());
    f->ShowPage(2);
    EXPECT_TRUE(dm->QPers_Firm.Active());
    EXPECT_TRUE(f->DBGPers_Firm->Visible());
    f->mpFirmPersonClick(f->mpFirmPerson);
    EXPECT_FALSE(dm->QPers_Firm.Active());
    EXPECT_FALSE(f->DBGPers_Firm->Visible());
    f->ShowPage(1);
    f->ShowPage(2);
    EXPECT_FALSE(f->mpFirmPerson->Checked());
    EXPECT_FALSE(dm->QPers_Firm.Active());
}

// The books' keys on empty grids and on a row just added: Ins adds in each
// grid, F11 picks the new person's birthday, Enter posts, and in the diary
// F7, F8, F9 set the reminder of the first entry and F11 its date, Ctrl+Del
// drops it.
TEST_F(MainRef, KeysWorkOnEmptyGridsAndOnARowJustAdded)
{
    while (!dm->Tb_Log.IsEmpty())
        dm->Tb_Log.Delete();
    for (const char *sql : {"delete from tb_family", "delete from tb_person", "delete from tb_firm"}) {
        dm->Qtemp.Close();
        dm->Qtemp.SQL() = QStringList{sql};
        dm->Qtemp.ExecSQL();
    }
    for (TTable *t : {&dm->Tb_Family, &dm->Tb_Person, &dm->Tb_Firm})
        t->Refresh();
    ASSERT_TRUE(dm->Tb_Person.IsEmpty() && dm->Tb_Firm.IsEmpty());
    const auto selectColumn = [](TDBGrid *grid, const char *field) {
        for (int i = 0; i < grid->Columns().Count(); ++i)
            if (grid->Columns()[i]->FieldName().compare(QLatin1String(field), Qt::CaseInsensitive) == 0)
                grid->SetSelectedIndex(i);
    };

    f->ShowPage(1);
    f->DBGPerson->SetFocus();
    SendKey(f->DBGPerson->View(), Qt::Key_Insert);
    ASSERT_EQ(dm->Tb_Person.State(), dsInsert);
    dm->Tb_Person.FieldByName("NAME")->SetAsString(U("Новиков"));
    selectColumn(f->DBGPerson, "BIRTHDAY");
    {
        TModalScript picker;
        picker.Press("ButOk");
        SendKey(f->DBGPerson->View(), Qt::Key_F11);
        EXPECT_TRUE(picker.Finished());
    }
    EXPECT_EQ(dm->Tb_Person.FieldByName("BIRTHDAY")->AsDateTime(), EncodeDate(2024, 3, 5));
    SendKey(f->DBGPerson->View(), Qt::Key_Return);
    EXPECT_EQ(dm->Tb_Person.State(), dsBrowse);
    EXPECT_EQ(dm->Tb_Person.RecordCount(), 1);
    f->DBGFamily->SetFocus();
    SendKey(f->DBGFamily->View(), Qt::Key_Insert);
    EXPECT_EQ(dm->Tb_Family.State(), dsInsert);
    SendKey(f->DBGFamily->View(), Qt::Key_Escape);

    f->ShowPage(2);
    f->DBGFirm->SetFocus();
    SendKey(f->DBGFirm->View(), Qt::Key_Insert);
    EXPECT_EQ(dm->Tb_Firm.State(), dsInsert);
    SendKey(f->DBGFirm->View(), Qt::Key_Escape);

    f->ShowPage(3);
    f->DBGLog->SetFocus();
    SendKey(f->DBGLog->View(), Qt::Key_Insert);
    ASSERT_EQ(dm->Tb_Log.State(), dsInsert);
    TField *mode = dm->Tb_Log.FieldByName("C");
    for (auto [key, c] : {std::pair{Qt::Key_F8, "1"}, {Qt::Key_F9, "2"}, {Qt::Key_F7, "0"}, {Qt::Key_F8, "1"}}) {
        SendKey(f->DBGLog->View(), key);
        EXPECT_EQ(mode->AsString(), QLatin1String(c)) << key;
    }
    selectColumn(f->DBGLog, "Date_Remind");
    {
        TModalScript picker;
        picker.Press("ButOk");
        SendKey(f->DBGLog->View(), Qt::Key_F11);
        EXPECT_TRUE(picker.Finished());
    }
    EXPECT_EQ(dm->Tb_Log.FieldByName("Date_Remind")->AsDateTime(), EncodeDate(2024, 3, 5));
    {
        TModalScript yes;
        yes.Press("Yes");
        SendKey(f->DBGLog->View(), Qt::Key_Delete, Qt::ControlModifier);
        EXPECT_EQ(Texts(yes), QStringList{U("Удалить запись в дневнике ?")});
    }
    EXPECT_EQ(dm->Tb_Log.State(), dsBrowse);
    EXPECT_TRUE(dm->Tb_Log.IsEmpty());
}

} // namespace
} // namespace zorbel
