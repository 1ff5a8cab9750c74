// The operation card: layout, showing for a row and the check on OK. Its
// keys and buttons are in ZorbCardKeys.cpp, its month totals and the
// category's history in ZorbCardTotals.cpp.
//
//   +--+---------------------------------------------------------------+
//   |L | [Сумма] [DBESum      ] [=] [%]        LabQlim                 |
//   |a |  Цена   [DBEPrice    ] [=]                                    |
//   |b |  Кол-во [DBEQuant    ] [=]                                    |
//   |A | PanTrans: Счёт [DBLTrans              ]                       |
//   |c |   GrRate: [DBETrans_Ref] [=]  [x] [DBERate] [=]               |
//   |c | [От кого (Кому)] [DBLWho           ] [+] [-]                  |
//   |o | [Откуда (Куда) ] [DBLWhere         ] [+] [-]                  |
//   |u | [Примеч.]        [DBEComm                       ] [-]         |
//   |n |  Курс  [DBE_Rate]   [ ] Дата  [ ] За что?                      |
//   |t | PanDate [<] dd.mm.yy ddd [>]                     LabSum       |
//   |  | Lab1  Lab2                               [ OK ] [ Cancel ]    |
//   +--+---------------------------------------------------------------+
#include "core/ZorbCard.h"

#include "core/TulnDlg.h"
#include "core/ZorbBound.h"
#include "core/ZorbText.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Money.h"

namespace zorbel {
namespace {

constexpr TColor DerivedColor = 14606308; // light grey: the field the card computes

int64_t Units(const TField *f) { return !f || f->IsNull() ? 0 : MoneyToUnits(f->AsFloat()); }

} // namespace

TFormCard::TFormCard(TDm &Dm, TPosting &Post, TMainOptions &Options)
    : DataAcc(&Tb_Acc), DataItmHist(&QitmHist), dm_(Dm), post_(Post), options_(Options)
{
    SetName(U("FormCard"));
    SetKeyPreview(true);
    QFont font(QStringLiteral("Arial"), 8);
    setFont(font);
    SetClientWidth(527);
    SetClientHeight(380);

    LabAccount = new TLabel(this, U("LabAccount"));
    LabAccount->SetAutoSize(false);
    LabAccount->SetAlignment(TAlignment::taCenter);
    LabAccount->SetBounds(0, 0, 18, 380);

    const auto editOn = [](QWidget *parent, TDataSource *source, const char *name, int tag, int x, int y, int w) {
        auto *e = new TDBEdit(parent, U(name));
        e->SetTag(tag);
        e->SetBounds(x, y, w, 22);
        e->SetDataSource(source);
        return e;
    };
    const auto edit = [&](const char *name, int tag, int x, int y, int w) {
        return editOn(this, &dm_.DataHist, name, tag, x, y, w);
    };
    const auto buttonOn = [](QWidget *parent, const char *name, const char *caption, int tag, int x, int y, int w) {
        auto *b = new TButton(parent, U(name));
        b->SetCaption(U(caption));
        b->SetTag(tag);
        b->SetBounds(x, y, w, 22);
        return b;
    };
    const auto button = [&](const char *name, const char *caption, int tag, int x, int y, int w) {
        return buttonOn(this, name, caption, tag, x, y, w);
    };
    const auto label = [this](const char *name, const char *caption, int x, int y) {
        auto *l = new TLabel(this, U(name));
        l->SetCaption(U(caption));
        l->SetBounds(x, y + 4, 60, 16);
        return l;
    };

    ButSum = button("ButSum", "Сумма", 0, 24, 8, 60);
    ButSum->SetHint(U("Калькулятор 2*2... (F6)"));
    DBESum = edit("DBESum", 1, 90, 8, 140);
    ButSumEv = button("ButSumEv", "=", 1, 232, 8, 22);
    ButPerc = button("ButPerc", "%", 0, 258, 8, 50);
    ButPerc->SetHint(U("Клавиши '%' и пробел пересчитывают сумму на этот процент"));
    LabQlim = new TLabel(this, U("LabQlim"));
    LabQlim->SetHint(U("Количество в месяц"));
    LabQlim->SetBounds(320, 66, 200, 16);
    LabSumCaption = nullptr;
    LabPrice = label("LabPrice", "Цена", 24, 36);
    DBEPrice = edit("DBEPrice", 2, 90, 36, 140);
    DBEPrice->SetDataField(QStringLiteral("PRICE"));
    ButPriceEv = button("ButPriceEv", "=", 2, 232, 36, 22);
    LabQuant = label("LabQuant", "Кол-во", 24, 64);
    DBEQuant = edit("DBEQuant", 3, 90, 64, 140);
    ButQuantEv = button("ButQuantEv", "=", 3, 232, 64, 22);

    PanTrans = new TPanel(this, U("PanTrans"));
    PanTrans->SetBevelOuter(TBevelCut::bvNone);
    PanTrans->setAutoFillBackground(true);
    PanTrans->SetBounds(24, 36, 495, 90); // over price and quantity, which a transfer does not use
    LabTrans = new TLabel(PanTrans, U("LabTrans"));
    LabTrans->SetCaption(U("Счёт"));
    LabTrans->SetBounds(0, 4, 40, 16);
    DBLTrans = new TDBLookupComboBox(PanTrans, U("DBLTrans"));
    DBLTrans->SetBounds(66, 0, 300, 22);
    DBLTrans->SetDataSource(&dm_.DataHist);
    DBLTrans->SetDataField(QStringLiteral("REF_ACCOUNT"));
    DBLTrans->SetListSource(&DataAcc);
    DBLTrans->SetKeyField(QStringLiteral("ID_ACCOUNT"));
    DBLTrans->SetListField(QStringLiteral("Acc"));
    DBLTrans->SetDropDownRows(15);
    GrRate = new TGroupBox(PanTrans, U("GrRate"));
    GrRate->SetCaption(U("Сумма перевода и кросс-курс (цена)"));
    GrRate->SetBounds(0, 28, 400, 56);
    DBETrans_Ref = editOn(GrRate, &dm_.DataTrans, "DBETrans_Ref", 4, 8, 22, 120);
    DBETrans_Ref->SetDataField(QStringLiteral("Dt"));
    ButTransEv = buttonOn(GrRate, "ButTransEv", "=", 4, 130, 22, 22);
    ButDiv = new TSpeedButton(GrRate, U("ButDiv"));
    ButDiv->SetGroupIndex(7);
    ButDiv->SetAllowAllUp(true);
    ButDiv->SetDown(true);
    ButDiv->SetCaption(U("x"));
    ButDiv->SetHint(U("умножить"));
    ButDiv->SetBounds(170, 22, 24, 22);
    DBERate = editOn(GrRate, &dm_.DataHist, "DBERate", 5, 198, 22, 120);
    DBERate->SetHint(U("Цена (кросс-курс) перевода"));
    DBERate->SetDataField(QStringLiteral("PRICE"));
    ButRateEv = buttonOn(GrRate, "ButRateEv", "=", 5, 320, 22, 22);
    GrRate->SetVisible(false);
    PanTrans->SetVisible(false);

    const auto toggle = [this](const char *name, const char *caption, int y) {
        auto *b = new TSpeedButton(this, U(name));
        b->SetCaption(U(caption));
        b->SetHint(U("Подставлять последнее"));
        b->SetAllowAllUp(true);
        b->SetGroupIndex(y); // each alone in its group
        b->SetBounds(24, y, 110, 22);
        return b;
    };
    const auto lookup = [this](const char *name, int tag, const char *field, TDataSource *list, const char *key,
                               const char *listField, int y) {
        auto *l = new TDBLookupComboBox(this, U(name));
        l->SetTag(tag);
        l->SetBounds(140, y, 300, 22);
        l->SetDataSource(&dm_.DataHist);
        l->SetDataField(U(field));
        l->SetListSource(list);
        l->SetKeyField(U(key));
        l->SetListField(U(listField));
        l->SetDropDownRows(20);
        return l;
    };
    ButWho = toggle("ButWho", "От кого (Кому)", 134);
    DBLWho = lookup("DBLWho", 1, "ID_Person", &dm_.DataPerson, "ID_PERSON", "NAME", 134);
    ButFindWho = button("ButFindWho", "+", 1, 444, 134, 22);
    ButDelWho = button("ButDelWho", "-", 1, 468, 134, 22);
    ButWhere = toggle("ButWhere", "Откуда (Куда)", 162);
    DBLWhere = lookup("DBLWhere", 2, "ID_Firm", &dm_.DataFirm, "ID_FIRM", "FIRM", 162);
    ButFindWhere = button("ButFindWhere", "+", 2, 444, 162, 22);
    ButDelWhere = button("ButDelWhere", "-", 2, 468, 162, 22);
    for (TButton *b : {ButFindWho, ButFindWhere})
        b->SetHint(U("Добавить в список..."));
    for (TButton *b : {ButDelWho, ButDelWhere})
        b->SetHint(U("Очистить поле"));
    ButComm = button("ButComm", "Примеч.", 0, 24, 190, 110);
    ButComm->SetHint(U("Список примечаний... (F7)"));
    DBEComm = new TDBMemo(this, U("DBEComm"));
    DBEComm->SetBounds(140, 190, 326, 56);
    DBEComm->SetScrollBars(TScrollStyle::ssVertical);
    DBEComm->SetWantReturns(false);
    DBEComm->SetDataSource(&dm_.DataHist);
    DBEComm->SetDataField(QStringLiteral("Comment"));
    ButDelComm = button("ButDelComm", "-", 3, 468, 190, 22);
    ButDelComm->SetHint(U("Очистить поле"));

    LabRate = label("LabRate", "Курс", 24, 254);
    DBE_Rate = edit("DBE_Rate", 6, 90, 254, 100);
    DBE_Rate->SetDataField(QStringLiteral("Rate"));
    ChDate = new TCheckBox(this, U("ChDate"));
    ChDate->SetCaption(U("Дата"));
    ChDate->SetHint(U("Заменить на новую дату"));
    ChDate->SetBounds(210, 256, 70, 20);
    ChDate->SetVisible(false);
    ChCategory = new TCheckBox(this, U("ChCategory"));
    ChCategory->SetCaption(U("За что?"));
    ChCategory->SetHint(U("Заменить на новую статью расхода-прихода"));
    ChCategory->SetBounds(290, 256, 90, 20);
    ChCategory->SetVisible(false);

    PanDate = new TPanel(this, U("PanDate"));
    PanDate->SetHint(U("Дата использования"));
    PanDate->SetBevelOuter(TBevelCut::bvLowered);
    PanDate->SetBounds(24, 284, 170, 22);
    ButPrior = new TButton(PanDate, U("ButPrior"));
    ButPrior->SetCaption(U("<"));
    ButPrior->SetTag(1);
    ButPrior->SetBounds(0, 0, 20, 22);
    ButNext = new TButton(PanDate, U("ButNext"));
    ButNext->SetCaption(U(">"));
    ButNext->SetTag(2);
    ButNext->SetBounds(150, 0, 20, 22);
    LabSum = new TLabel(this, U("LabSum"));
    LabSum->SetHint(U("(F8)"));
    LabSum->SetBounds(210, 288, 300, 16);
    Lab2 = new TLabel(this, U("Lab2"));
    Lab2->SetBounds(24, 312, 320, 16);
    Lab1 = new TLabel(this, U("Lab1"));
    Lab1->SetBounds(24, 330, 320, 16);
    Lab1->SetVisible(false);
    Lab2->SetVisible(false);
    ButOk = button("ButOk", "OK", 0, 362, 350, 75);
    ButOk->SetDefault(true);
    ButCancel = button("ButCancel", "Cancel", 0, 444, 350, 75);
    ButCancel->SetCancel(true);
    ButCancel->SetModalResult(mrCancel);

    // Own datasets: the other accounts and the category's history.
    Tb_Acc.SetName(U("Tb_Acc"));
    Tb_Acc.SetDatabase(&dm_.Db);
    Tb_Acc.SetTableName(QStringLiteral("Tb_Account"));
    Tb_Acc.SetIndexFieldNames(QStringLiteral("ACCOUNT"));
    Tb_Acc.AddField<TSmallintField>(QStringLiteral("ID_ACCOUNT"));
    Tb_Acc.AddField<TStringField>(QStringLiteral("ACCOUNT"), fkData, 30);
    Tb_Acc.AddField<TStringField>(QStringLiteral("CURRENCY"), fkData, 15);
    Tb_Acc.AddField<TFloatField>(QStringLiteral("REST"))->SetDisplayFormat(QStringLiteral("#,##0.00"));
    Tb_Acc.AddField<TFloatField>(QStringLiteral("Rate"));
    Tb_Acc.AddField<TStringField>(QStringLiteral("Acc"), fkCalculated, 30);
    Tb_Acc.SetFiltered(true);
    Tb_Acc.OnCalcFields = [this](TDataSet *d) { Tb_AccCalcFields(d); };
    DataAcc.OnDataChange = [this](TDataSource *s, TField *f) { DataAccDataChange(s, f); };
    QitmHist.SetName(U("QitmHist"));
    QitmHist.SetDatabase(&dm_.Db);
    QitmHist.SQL() = QStringList{QStringLiteral("select * from tb_hist"), QStringLiteral("where id_account=1"),
                                 QStringLiteral("and level3=33"), QStringLiteral("order by date_real desc")};

    // Bindings of the form layout.
    OnCreate = [this](TObject *s) { FormCreate(s); };
    OnShow = [this](TObject *s) { FormShow(s); };
    OnClose = [this](TObject *s, TCloseAction &a) { FormClose(s, a); };
    OnKeyDown = [this](TObject *s, WORD &k, TShiftState sh) { FormKeyDown(s, k, sh); };
    ButOk->OnClick = [this](TObject *s) { ButOkClick(s); };
    for (TButton *b : {ButSumEv, ButPriceEv, ButQuantEv, ButTransEv, ButRateEv})
        b->OnClick = [this](TObject *s) { ButSumEvClick(s); };
    for (TDBEdit *e : {DBESum, DBEPrice, DBEQuant, DBERate, DBE_Rate, DBETrans_Ref})
        e->OnKeyPress = [this](TObject *s, QChar &k) { DBESumKeyPress(s, k); };
    for (TDBEdit *e : {DBESum, DBEPrice, DBEQuant, DBERate, DBE_Rate})
        e->OnKeyDown = [this](TObject *s, WORD &k, TShiftState sh) { DBESumKeyDown(s, k, sh); };
    DBLTrans->OnKeyPress = [this](TObject *s, QChar &k) { DBLTransKeyPress(s, k); };
    DBLTrans->OnChange = [this](TObject *) {
        const Variant key = DBLTrans->KeyValue();
        if (Tb_Acc.Active() && !VarIsClear(key))
            Tb_Acc.Locate(QStringLiteral("ID_ACCOUNT"), key, {});
    };
    for (TButton *b : {ButFindWho, ButFindWhere})
        b->OnClick = [this](TObject *s) { ButFindWhoClick(s); };
    for (TDBLookupComboBox *l : {DBLWho, DBLWhere}) {
        l->OnKeyPress = [this](TObject *s, QChar &k) { DBLWhoKeyPress(s, k); };
        l->OnKeyDown = [this](TObject *s, WORD &k, TShiftState sh) { DBLWhoKeyDown(s, k, sh); };
    }
    for (TButton *b : {ButDelWho, ButDelWhere, ButDelComm})
        b->OnClick = [this](TObject *s) { ButDelWhoClick(s); };
    ButComm->OnClick = [this](TObject *s) { ButCommClick(s); };
    DBEComm->OnKeyPress = [this](TObject *s, QChar &k) { DBECommKeyPress(s, k); };
    DBEComm->OnEnter = [this](TObject *s) { DBECommEnter(s); };
    ButSum->OnClick = [this](TObject *s) { ButSumClick(s); };
    ButDiv->OnClick = [this](TObject *s) { ButDivClick(s); };
    ButPerc->OnClick = [this](TObject *s) { ButPercClick(s); };
    LabSum->OnClick = [this](TObject *s) { LabSumClick(s); };
    LabAccount->OnClick = [this](TObject *s) { LabAccountClick(s); };
    for (TButton *b : {ButPrior, ButNext})
        b->OnClick = [this](TObject *s) { ButPriorClick(s); };
    DoCreate();
}

TFormCard::~TFormCard()
{
    DoDestroy();
    Tb_Acc.Close();
    QitmHist.Close();
}

TField *TFormCard::H(const char *name) const { return dm_.Tb_Hist.FieldByName(U(name)); }

bool TFormCard::Editing() const { return dm_.Tb_Hist.State() == dsEdit || dm_.Tb_Hist.State() == dsInsert; }

void TFormCard::FormCreate(TObject *)
{
    PercentValue = 0;
    SetBounds(options_.Card_Left > 0 ? options_.Card_Left : Left(), options_.Card_Top > 0 ? options_.Card_Top : Top(),
              options_.Card_Width > 10 ? options_.Card_Width : Width(),
              options_.Card_Height > 10 ? options_.Card_Height : Height());
}

void TFormCard::FormClose(TObject *, TCloseAction &)
{
    if (dm_.Qtrans.Active()) {
        dm_.Qtrans.Cancel();
        dm_.Qtrans.Close();
    }
    ButOk->SetEnabled(true);
    options_.Card_Left = Left();
    options_.Card_Width = Width();
    options_.Card_Top = Top();
    options_.Card_Height = Height();
}

void TFormCard::ShowAccountLabel()
{
    LabAccount->SetCaption(QString());
    LabAccount->SetColor(clBtnFace);
    TTable &acc = dm_.Tb_Account;
    if (acc.Active() && acc.RecordCount() > 1) {
        const QString name = acc.FieldByName(QStringLiteral("Account"))->AsString().left(17);
        QStringList letters;
        for (QChar c : name)
            letters << QString(c);
        LabAccount->SetCaption(letters.join(u'\n'));
        LabAccount->SetColor(clSilver);
    }
}

void TFormCard::ToggleDerivedField(int Tag)
{
    options_.AutoCor = ToggleAutoCor(options_.AutoCor, Tag);
    for (TDBEdit *e : {DBESum, DBEPrice, DBEQuant})
        e->SetColor(clWindow);
    if (post_.CardMode == TCardMode::Transfer)
        return;
    switch (options_.AutoCor) {
    case 1:
        DBEQuant->SetColor(DerivedColor);
        break;
    case 2:
        DBEPrice->SetColor(DerivedColor);
        break;
    case 3:
        DBESum->SetColor(DerivedColor);
        break;
    default:
        break;
    }
}

void TFormCard::DataAccDataChange(TDataSource *, TField *)
{
    const TCardMode mode = post_.CardMode;
    bool cross = false;
    if (Tb_Acc.Active() && !Tb_Acc.IsEmpty() && !H("REF_ACCOUNT")->IsNull()) {
        const QString own = dm_.Tb_Account.FieldByName(QStringLiteral("Currency"))->AsString();
        cross = Tb_Acc.FieldByName(QStringLiteral("CURRENCY"))->AsString() != own &&
                (post_.RealiseFlag || H("Kind")->AsString() == u"1");
    }
    GrRate->SetVisible(cross);
    DBETrans_Ref->SetTabStop(cross);
    DBERate->SetTabStop(cross);
    ButSumEv->SetVisible(mode != TCardMode::Transfer || cross);
}

void TFormCard::Tb_AccCalcFields(TDataSet *DataSet)
{
    DataSet->FieldByName(QStringLiteral("Acc"))
        ->SetAsString(DataSet->FieldByName(QStringLiteral("ACCOUNT"))->AsString().left(15) + QStringLiteral(" = ") +
                      FormatFloat(QStringLiteral("#,##0.00"), DataSet->FieldByName(QStringLiteral("REST"))->AsFloat()) +
                      u' ' + DataSet->FieldByName(QStringLiteral("CURRENCY"))->AsString());
}

void TFormCard::PrepareHistory(int Account)
{
    QitmHist.Close();
    QitmHist.SQL()[1] = QStringLiteral("where id_account=%1").arg(Account);
    const TField *l3 = H("Level3"), *l2 = H("Level2");
    if (!l3->IsNull())
        QitmHist.SQL()[2] = QStringLiteral("and level3=%1").arg(l3->AsInteger());
    else if (!l2->IsNull())
        QitmHist.SQL()[2] = QStringLiteral("and level3 is null and level2=%1").arg(l2->AsInteger());
    else
        QitmHist.SQL()[2] = QStringLiteral("and level3 is null and level2 is null and level1=%1")
                                .arg(H("Level1")->IsNull() ? -100 : H("Level1")->AsInteger());
    try {
        QitmHist.Open();
    } catch (const Exception &) {
        return;
    }
    ShowHistoryPosition();
}

void TFormCard::FormShow(TObject *)
{
    const TCardMode mode = post_.CardMode;
    TTable &h = dm_.Tb_Hist;
    for (QWidget *w : std::initializer_list<QWidget *>{DBESum, DBEQuant, DBEPrice, DBERate, DBEComm, DBLWho,
                                                       DBLWhere, DBLTrans, DBETrans_Ref, DBE_Rate})
        if (GridFont != QFont())
            w->setFont(GridFont);
    static const char *const captions[] = {"", "Расход", "Приход", "Перевод на другой счёт"};
    QString caption = U(captions[int(mode) & 3]);
    PanTrans->SetVisible(mode == TCardMode::Transfer);
    ToggleDerivedField(-1);
    ShowAccountLabel();
    BalanceDelta = 0;
    const bool editing = h.State() == dsEdit;
    if (mode == TCardMode::Expense || mode == TCardMode::Income) {
        const bool expense = mode == TCardMode::Expense;
        DBESum->SetDataField(expense ? QStringLiteral("CT") : QStringLiteral("DT"));
        DBEQuant->SetDataField(expense ? QStringLiteral("Qdt") : QStringLiteral("Qct"));
        BalanceDelta = CardDeltaOnShow(mode, editing, h);
        if (!h.IsEmpty() || h.State() == dsInsert) {
            QString name = H("Article")->AsString();
            if (name.isEmpty())
                name = H("Item")->AsString();
            if (name.isEmpty())
                name = H("Category")->AsString();
            caption += QStringLiteral("...") + name;
        }
    } else if (mode == TCardMode::Transfer) {
        DBESum->SetDataField(QStringLiteral("CT"));
        BalanceDelta = CardDeltaOnShow(mode, editing, h);
        TransferAmount = 0;
        Tb_Acc.Close();
        Tb_Acc.SetFilter(QStringLiteral("id_Account<>'") +
                         dm_.Tb_Account.FieldByName(QStringLiteral("Id_Account"))->AsString() + u'\'');
        Tb_Acc.Open();
        DBLTrans->SetEnabled(h.State() == dsInsert || H("Kind")->AsString() == u"2");
        if (h.State() == dsInsert && Tb_Acc.RecordCount() == 1)
            H("REF_ACCOUNT")->SetAsVariant(Tb_Acc.FieldByName(QStringLiteral("ID_ACCOUNT"))->AsVariant());
        if (!H("REF_ACCOUNT")->IsNull())
            Tb_Acc.Locate(QStringLiteral("ID_ACCOUNT"), H("REF_ACCOUNT")->AsVariant(), {});
        DataAccDataChange(&DataAcc, nullptr);
        TQuery &qt = dm_.Qtrans;
        qt.Close();
        TParam *ref = qt.ParamByName(QStringLiteral("ref_account"));
        if (H("REF_ACCOUNT")->IsNull())
            ref->Clear();
        else
            ref->SetAsSmallInt(H("REF_ACCOUNT")->AsInteger());
        qt.ParamByName(QStringLiteral("date_create"))->SetAsDateTime(H("Date_Create")->AsDateTime());
        try {
            qt.Open();
            if (GrRate->Visible() && !qt.IsEmpty())
                TransferAmount = Units(qt.FieldByName(QStringLiteral("Dt")));
        } catch (const Exception &) {
            // Without the receiving leg the amount is typed anew.
        }
    }
    ButSumEv->SetVisible(mode != TCardMode::Transfer || GrRate->Visible());
    DBLTrans->SetTabStop(PanTrans->Visible());
    DBEPrice->SetTabStop(!PanTrans->Visible());
    DBEQuant->SetTabStop(!PanTrans->Visible());
    DBETrans_Ref->SetTabStop(GrRate->Visible());
    DBERate->SetTabStop(GrRate->Visible());
    ChDate->SetTabStop(ChDate->Visible());
    ChCategory->SetTabStop(ChCategory->Visible());
    caption += h.State() == dsInsert ? U("    --Добавление--") : U("    --Изменение--");
    SetCaption(caption);
    ShowMonthTotals(false);
    const TMemOptions &mem = post_.Mem;
    if (mem.AnyRow() && PanDate->Caption().isEmpty())
        FillFromHistory();
    if (mem.Comm && H("Comment")->IsNull() && QitmHist.Active() && !QitmHist.IsEmpty() && Editing()) {
        QitmHist.First();
        H("Comment")->SetAsVariant(QitmHist.FieldByName(QStringLiteral("Comment"))->AsVariant());
    }
    if (DBESum->CanFocus()) {
        DBESum->SetFocus();
        if (!DBESum->Text().isEmpty())
            DBESum->SelectAll();
    }
}

bool TFormCard::ValidateCard(int64_t &Delta)
{
    const TCardMode mode = post_.CardMode;
    const TCardSwitches switches{options_.QuantDefault, options_.AutoSum, options_.AutoCor};
    if (mode != TCardMode::Transfer)
        DeriveOnOk(dm_.Tb_Hist, DBESum->DataField(), DBEQuant->DataField(), mode, switches);
    const auto refuse = [](TDBEdit *focus) {
        ShowNotice(U("Надо указать положительное число!"), false);
        if (focus->CanFocus())
            focus->SetFocus();
        return false;
    };
    // A value past the money bound, whichever road it took into the row
    // (typed, "=", AutoSum, AutoCor, the keys), is refused with the reason
    // the typed road gives, and the card stays open on its field. The post
    // would refuse it too (ZorbBound.h); refusing here keeps the typed row.
    if (const TField *wrong = AmountOutOfRange(dm_.Tb_Hist)) {
        ShowNotice(MoneyRangeMessage(), false);
        for (TDBEdit *e : {DBESum, mode == TCardMode::Transfer ? DBERate : DBEPrice, DBEQuant, DBE_Rate})
            if (e->Field() == wrong && e->CanFocus()) {
                e->SetFocus();
                break;
            }
        return false;
    }
    const TField *dt = H("Dt"), *ct = H("Ct");
    if (dt->IsNull() && !(!ct->IsNull() && ct->AsFloat() > 0))
        return refuse(DBESum);
    if (ct->IsNull() && !(!dt->IsNull() && dt->AsFloat() > 0))
        return refuse(DBESum);
    if (!H("Price")->IsNull() && H("Price")->AsFloat() <= 0)
        return refuse(DBEPrice);
    const TField *quant = DBEQuant->Field();
    if (mode != TCardMode::Transfer && quant && !quant->IsNull() && quant->AsFloat() <= 0)
        return refuse(DBEQuant);
    if (!H("Rate")->IsNull() && H("Rate")->AsFloat() <= 0)
        return refuse(DBE_Rate);
    Delta = CardDeltaOnOk(Delta, post_.RealiseFlag, dm_.Tb_Hist);
    if (mode != TCardMode::Transfer)
        return true;
    if (H("REF_ACCOUNT")->IsNull() || DBLTrans->Text().isEmpty()) {
        ShowNotice(U("Не выбран целевой счёт ( куда перевести деньги ? ) !"), false);
        if (DBLTrans->CanFocus())
            DBLTrans->SetFocus();
        return false;
    }
    if (GrRate->Visible()) {
        // A receiving amount past the bound has no units (they would
        // overflow): it is refused for its size, not as "not positive".
        if (dm_.Qtrans.Active() && !MoneyInRange(dm_.Qtrans.FieldByName(QStringLiteral("Dt"))->AsFloat())) {
            ShowNotice(MoneyRangeMessage(), false);
            if (DBETrans_Ref->CanFocus())
                DBETrans_Ref->SetFocus();
            return false;
        }
        const int64_t received = FieldUnits(DBETrans_Ref);
        if (received <= 0)
            return refuse(DBETrans_Ref);
        if (H("Kind")->AsString() == u"1" || post_.RealiseFlag)
            TransferAmount = received;
    }
    return true;
}

void TFormCard::ButOkClick(TObject *)
{
    ButOk->setFocus(); // the focused control writes its text into its field
    dm_.Tb_Hist.UpdateRecord();
    int64_t delta = BalanceDelta;
    if (!ValidateCard(delta))
        return;
    BalanceDelta = delta;
    SetModalResult(mrOk);
}

} // namespace zorbel
