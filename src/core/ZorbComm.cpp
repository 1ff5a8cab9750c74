// The notes list (see ZorbComm.h).
#include "core/ZorbComm.h"

#include "core/ZorbDm.h"
#include "core/ZorbSearch.h"
#include "core/ZorbSettings.h"
#include "core/ZorbText.h"
#include "platform/rtl/Exceptions.h"

namespace zorbel {

TFormComm::TFormComm(TDm &Dm, TMainOptions &Options) : dm_(Dm), options_(Options)
{
    SetName(QStringLiteral("FormComm"));
    SetCaption(U("Поиск и выбор примечаний"));
    SetKeyPreview(true);
    SetBounds(Options.Com_Left, Options.Com_Top, Options.Com_Width, Options.Com_Height);

    PanTop = new TPanel(this, QStringLiteral("PanTop"));
    PanTop->SetAlign(TAlign::alTop);
    PanTop->SetHeight(34);
    Ed = new TEdit(PanTop, QStringLiteral("Ed"));
    Ed->SetHint(U("Поиск примечаний, содержащих текст"));
    Ed->SetBounds(6, 5, 200, 24);
    Rb1 = new TRadioButton(PanTop, QStringLiteral("Rb1"));
    Rb1->SetCaption(U("По данной статье"));
    Rb1->SetBounds(216, 8, 140, 20);
    Rb1->SetChecked(true);
    RbAll = new TRadioButton(PanTop, QStringLiteral("RbAll"));
    RbAll->SetCaption(U("По всей базе"));
    RbAll->SetBounds(360, 8, 120, 20);

    PanBottom = new TPanel(this, QStringLiteral("PanBottom"));
    PanBottom->SetAlign(TAlign::alBottom);
    PanBottom->SetHeight(36);
    ButOk = new TButton(PanBottom, QStringLiteral("ButOk"));
    ButOk->SetCaption(QStringLiteral("OK"));
    ButOk->SetModalResult(mrOk);
    ButOk->SetBounds(8, 6, 80, 25);
    ButCancel = new TButton(PanBottom, QStringLiteral("ButCancel"));
    ButCancel->SetCaption(U("Отмена"));
    ButCancel->SetCancel(true);
    ButCancel->SetModalResult(mrCancel);
    ButCancel->SetBounds(96, 6, 80, 25);
    PanCount = new TPanel(PanBottom, QStringLiteral("PanCount"));
    PanCount->SetAlign(TAlign::alRight);
    PanCount->SetWidth(110);
    PanCount->SetBevelOuter(TBevelCut::bvNone);
    PanCount->SetAlignment(TAlignment::taRightJustify);

    Qcomm = std::make_unique<TQuery>();
    Qcomm->SetName(QStringLiteral("Qcomm"));
    Qcomm->SetDatabase(&Dm.Db);
    TField *comment = Qcomm->AddField<TStringField>(QStringLiteral("Comment"), fkData, 200);
    comment->SetDisplayLabel(U("Примеч."));
    Qcomm->AddField<TIntegerField>(QStringLiteral("cnt"))->SetDisplayLabel(U("Кол-во"));
    DataComm = std::make_unique<TDataSource>();
    DataComm->SetDataSet(Qcomm.get());
    DBGComm = new TDBGrid(this, QStringLiteral("DBGComm"));
    DBGComm->SetAlign(TAlign::alClient);
    DBGComm->SetReadOnly(true);
    DBGComm->SetDataSource(DataComm.get());
    const std::pair<const char *, const char *> columns[] = {{"Comment", "Примеч."}, {"cnt", "Кол-во"}};
    for (const auto &[field, title] : columns) {
        TColumn *col = DBGComm->Columns().Add();
        col->SetFieldName(QString::fromLatin1(field));
        col->SetTitleCaption(U(title));
        col->SetWidth(60);
    }

    Qcomm->AfterOpen = [this](TDataSet *) {
        const bool none = Qcomm->RecordCount() == 1 && Qcomm->FieldByName(QStringLiteral("cnt"))->AsInteger() == 0;
        PanCount->SetCaption(QString::number(none ? 0 : Qcomm->RecordCount()) + QStringLiteral("   "));
    };
    Qcomm->AfterClose = [this](TDataSet *) {
        if (isVisible())
            PanCount->SetCaption(QString());
    };
    Ed->OnChange = [this](TObject *) { BuildNotesQuery(); };
    Ed->OnKeyPress = [this](TObject *s, QChar &k) { EdKeyPress(s, k); };
    Rb1->OnClick = RbAll->OnClick = [this](TObject *) { BuildNotesQuery(); };
    DBGComm->OnDblClick = [this](TObject *) { SetModalResult(mrOk); };
    DBGComm->OnKeyPress = [this](TObject *, QChar &k) {
        if (k == u'\r') {
            k = QChar();
            SetModalResult(mrOk);
        }
    };
    OnShow = [this](TObject *s) { FormShow(s); };
    OnClose = [this](TObject *s, TCloseAction &a) { FormClose(s, a); };
    OnResize = [this](TObject *s) { FormResize(s); };
    DoCreate();
}

TFormComm::~TFormComm()
{
    DBGComm->SetDataSource(nullptr);
    Qcomm->AfterOpen = nullptr;
    Qcomm->AfterClose = nullptr;
    Qcomm->Close();
    DoDestroy();
}

QString TFormComm::ChosenNote() const
{
    if (!Qcomm->Active() || Qcomm->IsEmpty())
        return QString();
    return Qcomm->FieldByName(QStringLiteral("Comment"))->AsString();
}

void TFormComm::HideScope()
{
    Rb1->SetVisible(false);
    RbAll->SetVisible(false);
    Ed->SetLeft(0);
}

void TFormComm::BuildNotesQuery()
{
    TNotesQuery o;
    o.OnlyCurrentAccount = OnlyCurrentAccount;
    if (OnlyCurrentAccount) {
        SetCaption(U("Примечания текущего счёта за выбранный период"));
        if (dm_.Tb_Account.Active() && !dm_.Tb_Account.IsEmpty())
            o.Account = dm_.Tb_Account.FieldByName(QStringLiteral("ID_ACCOUNT"))->AsInteger();
    }
    o.WholeBase = RbAll->Checked();
    if (!o.WholeBase && dm_.Tb_Hist.Active() && !dm_.Tb_Hist.IsEmpty()) {
        o.Level1 = dm_.Tb_Hist.FieldByName(QStringLiteral("Level1"))->AsInteger();
        o.Level2 = dm_.Tb_Hist.FieldByName(QStringLiteral("Level2"))->AsInteger();
        o.Level3 = dm_.Tb_Hist.FieldByName(QStringLiteral("Level3"))->AsInteger();
    }
    o.Text = Ed->Text();
    o.Begin = NotesPeriodBegin;
    o.End = NotesPeriodEnd;
    TControlsOff off(*Qcomm);
    zorbel::BuildNotesQuery(*Qcomm, o);
    try {
        Qcomm->Open();
    } catch (const Exception &) {
        // A list that cannot be read stays empty; the user can still cancel.
    }
}

void TFormComm::FormShow(TObject *)
{
    BuildNotesQuery();
    FormResize(this);
    Ed->SetFocus();
}

void TFormComm::FormClose(TObject *, TCloseAction &)
{
    options_.Com_Left = Left();
    options_.Com_Top = Top();
    options_.Com_Width = Width();
    options_.Com_Height = Height();
}

void TFormComm::FormResize(TObject *)
{
    if (!isVisible())
        return;
    if (TColumn *count = DBGComm->Columns().Count() > 1 ? DBGComm->Columns()[1] : nullptr)
        DBGComm->Columns()[0]->SetWidth(std::max(40, DBGComm->Width() - count->Width() - 40));
    if (!Rb1->Visible())
        Ed->SetLeft(std::max(0, (PanTop->Width() - Ed->Width()) / 2));
}

void TFormComm::EdKeyPress(TObject *, QChar &Key)
{
    if (Key != u'\r')
        return;
    Key = QChar();
    if (OnlyCurrentAccount)
        SetModalResult(mrOk);
    else
        BuildNotesQuery();
}

} // namespace zorbel
