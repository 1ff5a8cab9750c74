// Data-aware controls over the vector dataset: edits write their field when
// the focus moves, follow a switched field, respect read-only fields; the
// lookup combo searches by typed Cyrillic letters; check box, radio group,
// memo and navigator.
#include "../dataset/DataSetTestSupport.h"

#include "platform/widgets/DBCtrls.h"
#include "platform/widgets/Forms.h"
#include "platform/widgets/ModalScript.h"

#include <QApplication>
#include <QToolButton>

namespace zorbel {
namespace {

using test::People;

struct DBCtrlsFixture : ::testing::Test {
    People people;
    TDataSource source{&people};
    TForm form;
    TEdit *other = nullptr;

    void SetUp() override
    {
        people.Open();
        people.AddRow(1, QStringLiteral("Иванов"), 10.5);
        people.AddRow(2, QStringLiteral("Петров"), 20);
        people.First();
        other = new TEdit(&form, QStringLiteral("Other"));
        other->SetBounds(10, 100, 100, 22);
        form.resize(300, 200);
        form.show();
        QApplication::setActiveWindow(&form);
    }
    void Type(QWidget *w, const QString &text)
    {
        for (QChar c : text)
            SendKey(w, 0, Qt::NoModifier, QString(c));
    }
    QString Name() const { return people.FieldByName(QStringLiteral("Name"))->AsString(); }
};

TEST_F(DBCtrlsFixture, EditWritesItsFieldWhenTheFocusMoves)
{
    auto *edit = new TDBEdit(&form, QStringLiteral("DBEName"));
    edit->SetBounds(10, 10, 120, 22);
    edit->SetDataSource(&source);
    edit->SetDataField(QStringLiteral("Name"));
    edit->show();
    EXPECT_EQ(edit->Text(), QStringLiteral("Иванов"));
    EXPECT_EQ(edit->MaxLength(), 10);

    edit->SetFocus();
    edit->selectAll();
    Type(edit, QStringLiteral("Сидоров"));
    EXPECT_EQ(people.State(), dsEdit) << "typing starts the edit";
    EXPECT_EQ(Name(), QStringLiteral("Иванов")) << "nothing written while typing";
    other->SetFocus();
    EXPECT_EQ(Name(), QStringLiteral("Сидоров"));
    people.Post();
    people.Next();
    EXPECT_EQ(edit->Text(), QStringLiteral("Петров"));
    people.Prior();
    EXPECT_EQ(edit->Text(), QStringLiteral("Сидоров"));

    // Escape puts the field's value back.
    edit->SetFocus();
    Type(edit, QStringLiteral("ъ"));
    SendKey(edit, Qt::Key_Escape);
    EXPECT_EQ(edit->Text(), QStringLiteral("Сидоров"));
    people.Cancel();

    // The bound field switches at run time: edit text when focused, display text else.
    people.FieldByName(QStringLiteral("Amount"))->SetDisplayFormat(QStringLiteral("#,##0.00"));
    people.FieldByName(QStringLiteral("Amount"))->SetEditFormat(QStringLiteral("0.###"));
    edit->SetDataField(QStringLiteral("Amount"));
    EXPECT_EQ(edit->Text(), QStringLiteral("10,5"));
    other->SetFocus();
    EXPECT_EQ(edit->Text(), QStringLiteral("10,50"));
    edit->SetFocus();
    edit->selectAll();
    Type(edit, QStringLiteral("7,25"));
    other->SetFocus();
    EXPECT_DOUBLE_EQ(people.FieldByName(QStringLiteral("Amount"))->AsFloat(), 7.25);
    EXPECT_EQ(Name(), QStringLiteral("Сидоров"));
    people.Post();
}

// A window that focuses a field and selects its text as it opens (the
// operation card's sum) gets the focus event only when it is activated;
// the text shown again on entering stays wholly selected, so typing
// replaces it. A caret without a selection stays where it was.
TEST_F(DBCtrlsFixture, EnteringKeepsAWholeSelectionAndTheCaret)
{
    auto *edit = new TDBEdit(&form, QStringLiteral("DBESum"));
    edit->SetBounds(10, 40, 120, 22);
    edit->SetDataSource(&source);
    people.FieldByName(QStringLiteral("Amount"))->SetDisplayFormat(QStringLiteral("#,##0.00"));
    people.FieldByName(QStringLiteral("Amount"))->SetEditFormat(QStringLiteral("0.###"));
    edit->SetDataField(QStringLiteral("Amount"));
    edit->show();
    const auto reactivate = [&] {
        QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
        QApplication::sendEvent(edit, &out);
        QFocusEvent in(QEvent::FocusIn, Qt::ActiveWindowFocusReason);
        QApplication::sendEvent(edit, &in);
    };
    edit->SetFocus();
    edit->SelectAll();
    reactivate();
    EXPECT_EQ(edit->Text(), QStringLiteral("10,5"));
    EXPECT_EQ(edit->selectedText(), QStringLiteral("10,5"));
    Type(edit, QStringLiteral("80"));
    EXPECT_EQ(edit->Text(), QStringLiteral("80"));
    people.Cancel();

    edit->setCursorPosition(2);
    reactivate();
    EXPECT_FALSE(edit->hasSelectedText());
    EXPECT_EQ(edit->cursorPosition(), 2);
}

TEST_F(DBCtrlsFixture, ReadOnlyFieldsAndSourcesShowButDoNotEdit)
{
    auto *edit = new TDBEdit(&form, QStringLiteral("DBEName"));
    edit->SetDataSource(&source);
    edit->SetDataField(QStringLiteral("Name"));
    people.FieldByName(QStringLiteral("Name"))->SetReadOnly(true);
    EXPECT_TRUE(edit->isReadOnly());
    edit->SetFocus();
    Type(edit, QStringLiteral("x"));
    EXPECT_EQ(edit->Text(), QStringLiteral("Иванов"));
    EXPECT_EQ(people.State(), dsBrowse);
    people.FieldByName(QStringLiteral("Name"))->SetReadOnly(false);
    EXPECT_FALSE(edit->isReadOnly());

    // Without AutoEdit a browsing dataset refuses the change.
    source.SetAutoEdit(false);
    edit->setText(QStringLiteral("Новое"));
    EXPECT_EQ(edit->Text(), QStringLiteral("Иванов"));
    EXPECT_EQ(people.State(), dsBrowse);
}

TEST_F(DBCtrlsFixture, MemoLabelCheckBoxRadioGroup)
{
    auto *memo = new TDBMemo(&form, QStringLiteral("DBEComm"));
    memo->SetDataSource(&source);
    memo->SetDataField(QStringLiteral("Name"));
    auto *text = new TDBText(&form, QStringLiteral("DBTName"));
    text->SetDataSource(&source);
    text->SetDataField(QStringLiteral("Name"));
    EXPECT_EQ(memo->Text(), QStringLiteral("Иванов"));
    EXPECT_EQ(text->Caption(), QStringLiteral("Иванов"));
    memo->SetFocus();
    memo->SetText(QStringLiteral("Орлов"));
    EXPECT_EQ(text->Caption(), QStringLiteral("Иванов"));
    people.Post(); // the post asks the controls for their values first
    EXPECT_EQ(Name(), QStringLiteral("Орлов"));
    EXPECT_EQ(text->Caption(), QStringLiteral("Орлов"));

    auto *check = new TDBCheckBox(&form, QStringLiteral("ChC"));
    check->SetValueChecked(QStringLiteral("Да"));
    check->SetValueUnchecked(QStringLiteral("Нет"));
    check->SetDataSource(&source);
    check->SetDataField(QStringLiteral("Name"));
    check->show();
    EXPECT_FALSE(check->Checked());
    check->SetFocus();
    check->Click();
    other->SetFocus();
    EXPECT_EQ(Name(), QStringLiteral("Да"));
    people.Post();
    EXPECT_TRUE(check->Checked());

    auto *group = new TDBRadioGroup(&form, QStringLiteral("RgMode"));
    group->SetItems({QStringLiteral("&Не напоминать"), QStringLiteral("Ежедневно"), QStringLiteral("Ежемесячно")});
    group->SetValues({QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("2")});
    group->SetDataSource(&source);
    group->SetDataField(QStringLiteral("Name"));
    group->SetBounds(150, 0, 140, 90);
    group->show();
    EXPECT_EQ(group->ItemIndex(), -1);
    people.Edit();
    people.FieldByName(QStringLiteral("Name"))->SetAsString(QStringLiteral("1"));
    EXPECT_EQ(group->ItemIndex(), 1);
    people.Post();
    group->findChildren<QRadioButton *>().at(2)->click();
    EXPECT_EQ(Name(), QStringLiteral("2"));
    EXPECT_EQ(people.State(), dsEdit);
    people.Cancel();
    EXPECT_EQ(group->ItemIndex(), 1);
}

TEST_F(DBCtrlsFixture, LookupComboSearchesByTypedCyrillicLetters)
{
    // The list: firms by id; the data: people whose Amount holds a firm id.
    People firms;
    firms.Open();
    const QStringList names{QStringLiteral("Альфа"), QStringLiteral("Ёлочка"), QStringLiteral("Елена"),
                            QStringLiteral("Сбербанк"), QStringLiteral("Северсталь"), QStringLiteral("Сигма")};
    for (int i = 0; i < names.size(); ++i)
        firms.AddRow(100 + i, names[i], 0);
    firms.First();
    TDataSource firmSource(&firms);
    people.Edit();
    people.FieldByName(QStringLiteral("Amount"))->SetAsFloat(103);
    people.Post();

    auto *combo = new TDBLookupComboBox(&form, QStringLiteral("DBLWhere"));
    combo->SetListSource(&firmSource);
    combo->SetKeyField(QStringLiteral("ID"));
    combo->SetListField(QStringLiteral("Name"));
    combo->SetDropDownRows(20);
    combo->SetDataSource(&source);
    combo->SetDataField(QStringLiteral("Amount"));
    EXPECT_EQ(combo->Text(), QStringLiteral("Сбербанк"));
    EXPECT_EQ(combo->count(), 6);
    EXPECT_EQ(firms.FieldByName(QStringLiteral("ID"))->AsInteger(), 100) << "reading the list leaves its cursor";

    int changes = 0;
    combo->OnChange = [&](TObject *) { ++changes; };
    combo->SetFocus();
    SendKey(combo, 0, Qt::NoModifier, QStringLiteral("с"));
    EXPECT_EQ(combo->Text(), QStringLiteral("Сбербанк"));
    SendKey(combo, 0, Qt::NoModifier, QStringLiteral("е"));
    EXPECT_EQ(combo->Text(), QStringLiteral("Северсталь"));
    EXPECT_EQ(people.FieldByName(QStringLiteral("Amount"))->AsInteger(), 104) << "the key is written at once";
    SendKey(combo, 0, Qt::NoModifier, QStringLiteral("ж"));
    EXPECT_EQ(combo->SearchText(), QStringLiteral("се")) << "a letter that matches nothing is dropped";
    SendKey(combo, 0, Qt::NoModifier, QStringLiteral("в"));
    EXPECT_EQ(combo->SearchText(), QStringLiteral("сев"));
    SendKey(combo, Qt::Key_Backspace);
    EXPECT_EQ(combo->SearchText(), QString()) << "Backspace starts a new search";
    SendKey(combo, 0, Qt::NoModifier, QStringLiteral("С"));
    SendKey(combo, 0, Qt::NoModifier, QStringLiteral("И"));
    EXPECT_EQ(combo->Text(), QStringLiteral("Сигма"));
    EXPECT_EQ(changes, 3) << "Северсталь, Сбербанк, Сигма";
    people.Post();

    // Ё and Е are different letters.
    SendKey(combo, Qt::Key_Escape);
    SendKey(combo, 0, Qt::NoModifier, QStringLiteral("ё"));
    EXPECT_EQ(combo->Text(), QStringLiteral("Ёлочка"));
    people.Cancel();
    EXPECT_EQ(combo->Text(), QStringLiteral("Сигма"));

    // The list follows its dataset: a renamed firm shows its new name.
    firms.Locate(QStringLiteral("ID"), 105, {});
    firms.Edit();
    firms.FieldByName(QStringLiteral("Name"))->SetAsString(QStringLiteral("Сигма-2"));
    firms.Post();
    people.Next();
    people.Prior();
    EXPECT_EQ(combo->Text(), QStringLiteral("Сигма-2"));

    // A read-only field shows the name but typing changes nothing.
    combo->SetReadOnly(true);
    SendKey(combo, 0, Qt::NoModifier, QStringLiteral("а"));
    EXPECT_EQ(combo->Text(), QStringLiteral("Сигма-2"));
    EXPECT_EQ(people.State(), dsBrowse);
}

TEST_F(DBCtrlsFixture, NavigatorEnablesByStateAndConfirmsDelete)
{
    auto *nav = new TDBNavigator(&form, QStringLiteral("Nav"));
    nav->SetVisibleButtons({nbFirst, nbPrior, nbNext, nbLast, nbInsert, nbDelete, nbPost, nbCancel});
    nav->SetDataSource(&source);
    EXPECT_FALSE(nav->Button(nbEdit)->isVisibleTo(&form));
    EXPECT_FALSE(nav->ButtonEnabled(nbFirst));
    EXPECT_TRUE(nav->ButtonEnabled(nbNext));
    EXPECT_FALSE(nav->ButtonEnabled(nbPost));
    nav->Button(nbNext)->click();
    EXPECT_EQ(people.Id(), 2);
    nav->BtnClick(nbNext);
    EXPECT_FALSE(nav->ButtonEnabled(nbLast));
    EXPECT_TRUE(nav->ButtonEnabled(nbPrior));
    nav->BtnClick(nbInsert);
    EXPECT_TRUE(nav->ButtonEnabled(nbPost));
    EXPECT_FALSE(nav->ButtonEnabled(nbNext));
    nav->BtnClick(nbCancel);

    TModalScript script;
    script.Press(QStringLiteral("Cancel")).Press(QStringLiteral("OK"));
    nav->BtnClick(nbDelete);
    EXPECT_EQ(people.RecordCount(), 2);
    nav->BtnClick(nbDelete);
    EXPECT_EQ(people.RecordCount(), 1);
    EXPECT_TRUE(script.Finished());
    ASSERT_EQ(script.Seen().size(), 2u);
    EXPECT_EQ(script.Seen()[0].Text, QStringLiteral("Удалить запись?"));

    std::vector<TNavigateBtn> before;
    nav->BeforeAction = [&](TObject *, TNavigateBtn b) {
        before.push_back(b);
        Abort();
    };
    nav->BtnClick(nbFirst);
    EXPECT_EQ(before, std::vector<TNavigateBtn>{nbFirst});
}

} // namespace
} // namespace zorbel
