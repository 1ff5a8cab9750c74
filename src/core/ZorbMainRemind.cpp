// TFormMain: the reminder panel at the bottom of the main window. The list
// itself is built by BuildReminders (ZorbRemind.h) into the data module's
// Tb_Rem; this part shows it, closes it and leads from a row to its person,
// family member or diary entry.
#include "core/ZorbMain.h"
#include "core/ZorbText.h"

#include "core/ZorbRemind.h"

namespace zorbel {

void TFormMain::BuildRemindLayout()
{
    PanRemind = new TPanel(this, QStringLiteral("PanRemind"));
    PanRemind->SetAlign(TAlign::alBottom);
    PanRemind->SetHeight(120);
    PanRemind->SetBevelOuter(TBevelCut::bvLowered);
    PanRemind->SetVisible(false);
    PanRemind->OnResize = [this](TObject *s) { PanRemindResize(s); };
    ButRemClose = new TSpeedButton(PanRemind, QStringLiteral("ButRemClose"));
    ButRemClose->SetAlign(TAlign::alRight);
    ButRemClose->SetWidth(22);
    ButRemClose->SetCaption(QStringLiteral("×"));
    ButRemClose->SetHint(U("Закрыть окошко напоминаний"));
    ButRemClose->OnClick = [this](TObject *s) { ButRemCloseClick(s); };
    DBGRem = new TKDBGrid(PanRemind, QStringLiteral("DBGRem"));
    DBGRem->SetAlign(TAlign::alClient);
    DBGRem->SetTag(6);
    DBGRem->SetReadOnly(true);
    DBGRem->SetOptions({dgTitles, dgColumnResize, dgColLines, dgRowLines, dgRowSelect, dgAlwaysShowSelection});
    DBGRem->OnDrawColumnCell = [this](TObject *s, const QRect &r, int c, TColumn *col, TGridDrawState st) {
        DBGDrawColumnCell(s, r, c, col, st);
    };
    DBGRem->OnDblClick = [this](TObject *s) { DBGRemDblClick(s); };
    DBGRem->OnKeyPress = [this](TObject *s, QChar &Key) { DBGRemKeyPress(s, Key); };
}

bool TFormMain::BuildReminders()
{
    if (!Dm)
        return false;
    TReminderSettings settings;
    settings.Days = ReminderDays;
    settings.Day1 = Day1;
    settings.Day2 = Day2;
    settings.RemFlag = Rem_Flag;
    settings.Today = Date();
    if (DBGRem->DataSource() != &Dm->Data_Rem)
        DBGRem->SetDataSource(&Dm->Data_Rem);
    const bool any = zorbel::BuildReminders(*Dm, settings).Total() > 0;
    if (any) {
        // The counts line is the text column's title.
        DBGRem->Columns().RebuildColumns();
        PanRemindResize(PanRemind);
    }
    return any;
}

void TFormMain::mRemindClick(TObject *)
{
    mRemind->SetChecked(!mRemind->Checked());
    if (mRemind->Checked()) {
        PanRemind->SetVisible(BuildReminders());
        // The list was built while the panel was hidden and its grid not yet
        // laid out: the text column is widened again to the shown grid.
        if (PanRemind->Visible())
            PanRemindResize(PanRemind);
    } else {
        ButRemCloseClick(this);
    }
    if (PanRemind->Visible() && DBGRem->CanFocus())
        DBGRem->SetFocus();
}

void TFormMain::ButRemCloseClick(TObject *)
{
    PanRemind->SetVisible(false);
    if (Dm)
        Dm->Tb_Rem.Close();
    mRemind->SetChecked(false);
}

void TFormMain::DBGRemDblClick(TObject *)
{
    TVemtMemTable &rem = Dm->Tb_Rem;
    if (!rem.Active() || rem.IsEmpty())
        return;
    const Variant person = rem.FieldByName(QStringLiteral("id_person"))->AsVariant();
    switch (rem.FieldByName(QStringLiteral("Knd"))->AsInteger()) {
    case 1:
    case 2:
        ShowPage(1);
        Dm->Tb_Person.Locate(QStringLiteral("Id_Person"), person, {});
        if (rem.FieldByName(QStringLiteral("Knd"))->AsInteger() == 2)
            Dm->Tb_Family.Locate(QStringLiteral("Id_Family"),
                                 rem.FieldByName(QStringLiteral("id_family"))->AsVariant(), {});
        break;
    case 3:
        ShowPage(3);
        Dm->Tb_Log.Locate(QStringLiteral("Date_Create"),
                          Variant::FromDate(rem.FieldByName(QStringLiteral("Date_Create"))->AsDateTime()), {});
        break;
    default:
        break;
    }
}

void TFormMain::DBGRemKeyPress(TObject *Sender, QChar &Key)
{
    if (Key != QChar(u'\r'))
        return;
    Key = QChar();
    DBGRemDblClick(Sender);
}

void TFormMain::PanRemindResize(TObject *)
{
    if (!Dm || !Dm->Tb_Rem.Active() || DBGRem->Columns().Count() < 2)
        return;
    DBGRem->Columns()[1]->SetWidth(DBGRem->View()->viewport()->width() - DBGRem->Columns()[0]->Width() - 10);
}

} // namespace zorbel
