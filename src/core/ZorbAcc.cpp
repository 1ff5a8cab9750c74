// The accounts book: layout, commands and the two views (accounts, sums by
// currency). Every change it makes is followed by a recomputation of the
// totals (RefreshTotals), which also decides which commands are offered.
#include "core/ZorbAcc.h"

#include "core/TulnDlg.h"
#include "core/ZorbAdd.h"
#include "core/ZorbLaunch.h"
#include "core/ZorbMain.h"
#include "core/ZorbText.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Money.h"

namespace zorbel {
namespace {

TSpeedButton *Button(QWidget *parent, const char *name, const char *caption, const char *hint, int left)
{
    auto *b = new TSpeedButton(parent, QString::fromLatin1(name));
    b->SetCaption(U(caption));
    b->SetHint(U(hint));
    b->SetBounds(left, 3, 26, 26);
    return b;
}

// field | title | display format | tint | title colour | width
struct TBookColumn {
    const char *Field, *Title, *Format;
    TColor Color, TitleColor;
    int Width;
};

const TBookColumn AccountColumns[] = {
    {"C", "", "", clInfoBk, clMaroon, 26},
    {"ACCOUNT", "Наименование", "", clDefault, clDefault, 140},
    {"CURRENCY", "Валюта", "", clDefault, clDefault, 56},
    {"Rate", "Курс", "", clDefault, clDefault, 60},
    {"Beg", "Нач.сумма", "", clDefault, clDefault, 80},
    {"REST", "Остаток", "", clDefault, clDefault, 90},
    {"A", "", "", clInfoBk, clNavy, 26},
};

const TBookColumn SumColumns[] = {
    {"Currency", "Валюта", "", clDefault, clDefault, 70},
    {"Cnt", "Счетов", "", clDefault, clDefault, 50},
    {"Bg", "Поправка", "0.00", clDefault, clDefault, 80},
    {"Rte", "Курс", "", clDefault, clDefault, 60},
    {"Rst", "Остаток", "0.00", clDefault, clDefault, 90},
    {"ye", "Условн. ед.", "0.00", clDefault, clDefault, 90},
};

template <size_t N> void AddColumns(TDBGrid *grid, const TBookColumn (&defs)[N])
{
    for (const TBookColumn &d : defs) {
        TColumn *c = grid->Columns().Add();
        c->SetFieldName(QString::fromLatin1(d.Field));
        if (*d.Title)
            c->SetTitleCaption(U(d.Title));
        if (d.Color != clDefault)
            c->SetColor(d.Color);
        if (d.TitleColor != clDefault)
            c->SetTitleFontColor(d.TitleColor);
        c->SetWidth(d.Width);
    }
}

} // namespace

TFormAcc::TFormAcc(TFormMain &Main) : main_(Main), dm_(*Main.Dm)
{
    SetName(QStringLiteral("FormAcc"));
    SetCaption(U("Счета"));
    SetKeyPreview(true);
    SetBounds(Main.Acc_Left, Main.Acc_Top, Main.Acc_Width, Main.Acc_Height);

    PanTop = new TPanel(this, QStringLiteral("PanTop"));
    PanTop->SetAlign(TAlign::alTop);
    PanTop->SetHeight(33);
    ButSum = Button(PanTop, "ButSum", "Σ", "Суммы по валютам", 4);
    ButSum->SetGroupIndex(1);
    ButSum->SetAllowAllUp(true);
    ButSum->SetVisible(false);
    PanBut = new TPanel(PanTop, QStringLiteral("PanBut"));
    PanBut->SetBevelOuter(TBevelCut::bvNone);
    PanBut->SetBounds(36, 0, 90, 32);
    ButNew_Acc = Button(PanBut, "ButNew_Acc", "+", "Добавить счёт...", 2);
    ButNew_Acc->SetTag(1);
    ButEdit_Acc = Button(PanBut, "ButEdit_Acc", "✎", "Изменить счёт...", 30);
    ButEdit_Acc->SetTag(2);
    ButDel_Acc = Button(PanBut, "ButDel_Acc", "×", "Удалить счёт", 58);
    PanRb = new TPanel(PanTop, QStringLiteral("PanRb"));
    PanRb->SetBevelOuter(TBevelCut::bvNone);
    PanRb->SetBounds(130, 0, 160, 32);
    PanRb->SetVisible(false);
    RbAll = new TRadioButton(PanRb, QStringLiteral("RbAll"));
    RbAll->SetCaption(U("Все"));
    RbAll->SetBounds(4, 7, 60, 18);
    RbAll->SetChecked(true);
    RbGroup = new TRadioButton(PanRb, QStringLiteral("RbGroup"));
    RbGroup->SetCaption(U("&Группа"));
    RbGroup->SetBounds(70, 7, 80, 18);

    PanSum = new TPanel(this, QStringLiteral("PanSum"));
    PanSum->SetAlign(TAlign::alBottom);
    PanSum->SetHeight(33);
    PanSum->SetAlignment(TAlignment::taRightJustify);
    ButAll = Button(PanSum, "ButAll", "∗", "Выбор группы счетов", 4);
    ButAll->SetVisible(false);
    ButOk = Button(PanSum, "ButOk", "✓", "Выбор счёта", 32);
    ButCancel = Button(PanSum, "ButCancel", "", "Закрыть", 60);
    ButCancel->SetCaption(U("✕")); // the designed caption is emptied; the glyph stays

    DBGRate = new TDBGrid(this, QStringLiteral("DBGRate"));
    DBGRate->SetAlign(TAlign::alClient);
    DBGRate->SetReadOnly(true);
    DBGRate->SetOptions({dgTitles, dgIndicator, dgColumnResize, dgColLines, dgRowLines, dgRowSelect,
                         dgAlwaysShowSelection});
    DBGRate->SetDataSource(&dm_.DataAcn);
    AddColumns(DBGRate, SumColumns);
    DBGRate->SetVisible(false);
    DBGAc = new TDBGrid(this, QStringLiteral("DBGAc"));
    DBGAc->SetAlign(TAlign::alClient);
    DBGAc->SetReadOnly(true);
    DBGAc->SetOptions({dgTitles, dgIndicator, dgColumnResize, dgColLines, dgRowLines, dgRowSelect,
                       dgAlwaysShowSelection});
    DBGAc->SetDataSource(&dm_.DataAccount);
    AddColumns(DBGAc, AccountColumns);
    for (TDBGrid *g : {DBGAc, DBGRate}) {
        g->SetFont(Main.GridFont);
        g->SetFontColor(Main.GridFontColor);
        QFont title = Main.TitleFont;
        title.setBold(true);
        g->SetTitleFont(title);
        // Titles whole at any font, and the window as wide as the columns.
        g->SetTitlesWhole(true);
        g->OnColumnWidths = [this, g](TObject *) {
            if (g->Visible())
                WidenFormToGrid(*this, *g);
        };
    }

    PmAcc = new TPopupMenu(this, QStringLiteral("PmAcc"));
    mpNew_Acc = PmAcc->Add(QStringLiteral("mpNew_Acc"), U("&Добавить..."));
    mpNew_Acc->SetTag(1);
    mpEdit_Acc = PmAcc->Add(QStringLiteral("mpEdit_Acc"), U("&Изменить..."));
    mpEdit_Acc->SetTag(2);
    mpDel_Acc = PmAcc->Add(QStringLiteral("mpDel_Acc"), U("&Удалить..."));
    PmAcc->Add(QStringLiteral("N1"), QStringLiteral("-"));
    mpDef_Acc = PmAcc->Add(QStringLiteral("mpDef_Acc"), U("По &умолчанию"));
    mpGroup_Acc = PmAcc->Add(QStringLiteral("mpGroup_Acc"), U("&Группа"));
    mRest = PmAcc->Add(QStringLiteral("mRest"), U("Остаток..."));
    mRest->SetVisible(Main.AdminMode);
    DBGAc->SetPopupMenu(PmAcc);

    const auto edit = [this](TObject *s) { mpNew_AccClick(s); };
    for (TSpeedButton *b : {ButNew_Acc, ButEdit_Acc})
        b->OnClick = edit;
    for (TMenuItem *m : {mpNew_Acc, mpEdit_Acc})
        m->OnClick = edit;
    ButDel_Acc->OnClick = [this](TObject *s) { mpDel_AccClick(s); };
    mpDel_Acc->OnClick = [this](TObject *s) { mpDel_AccClick(s); };
    mpDef_Acc->OnClick = [this](TObject *s) { mpDef_AccClick(s); };
    mpGroup_Acc->OnClick = [this](TObject *s) { mpGroup_AccClick(s); };
    mRest->OnClick = [this](TObject *s) { mRestClick(s); };
    ButSum->OnClick = [this](TObject *s) { ButSumClick(s); };
    RbAll->OnClick = [this](TObject *s) { RbAllClick(s); };
    RbGroup->OnClick = [this](TObject *s) { RbAllClick(s); };
    DBGRate->OnDblClick = [this](TObject *s) { DBGRateDblClick(s); };
    const auto choose = [this](TObject *) { SetModalResult(mrOk); };
    ButOk->OnClick = choose;
    DBGAc->OnDblClick = choose;
    ButAll->OnClick = [this](TObject *) { SetModalResult(mrAccountGroup); };
    ButCancel->OnClick = [this](TObject *) { SetModalResult(mrCancel); };
    OnKeyDown = [this](TObject *s, WORD &k, TShiftState sh) { FormKeyDown(s, k, sh); };
    // Once shown the window has its frame: the stored bounds include it, so
    // they are applied again, or the window would grow by its frame each time.
    // The stored width may be narrower than the columns need at today's font.
    OnShow = [this](TObject *) {
        SetBounds(main_.Acc_Left, main_.Acc_Top, main_.Acc_Width, main_.Acc_Height);
        WidenToShownGrid();
    };
    OnClose = [this](TObject *, TCloseAction &) {
        main_.Acc_Left = Left();
        main_.Acc_Top = Top();
        main_.Acc_Width = Width();
        main_.Acc_Height = Height();
        main_.ApplyColumnLayout(DBGAc, false, main_.Col_Acc);
    };
    DoCreate();
    RefreshTotals(false);
}

TFormAcc::~TFormAcc()
{
    dm_.Qacn.Close();
    DoDestroy();
}

void TFormAcc::ApplyAccountColumns(const QString &Layout)
{
    TDBGridColumns &columns = DBGAc->Columns();
    int next = 0;
    for (const QString &raw : Layout.split(u'\n', Qt::SkipEmptyParts)) {
        const QString name = raw.section(u'=', 0, 0).trimmed();
        bool ok = false;
        const int width = raw.section(u'=', 1).trimmed().toInt(&ok);
        for (int i = next; i < columns.Count(); ++i) {
            if (columns[i]->FieldName().compare(name, Qt::CaseInsensitive) != 0)
                continue;
            columns.Move(i, next);
            if (ok && width > 0)
                columns[next]->SetWidth(width);
            ++next;
            break;
        }
    }
}

void TFormAcc::RefreshTotals(bool Synchronise)
{
    totals_ = RefreshAccountTotals(dm_, Synchronise);
    PanSum->SetCaption(totals_.Caption);
    UpdateCommands();
}

void TFormAcc::UpdateCommands()
{
    const bool rows = !dm_.Tb_Account.IsEmpty();
    for (TSpeedButton *b : {ButEdit_Acc, ButDel_Acc})
        b->SetEnabled(rows);
    for (TMenuItem *m : {mpEdit_Acc, mpDel_Acc, mpDef_Acc, mpGroup_Acc})
        m->SetEnabled(rows);
    const bool fromResults = FormRst() != nullptr;
    const bool editing = !SumsShown() && !fromResults;
    PanBut->SetVisible(editing);
    for (TMenuItem *m : {mpNew_Acc, mpEdit_Acc, mpDel_Acc})
        m->SetVisible(editing);
    ButAll->SetVisible(!SumsShown() && totals_.GroupCount > 0 && fromResults);
    ButSum->SetVisible(totals_.SeveralCurrencies || totals_.GroupCount > 0 || SumsShown());
}

void TFormAcc::mpNew_AccClick(TObject *Sender)
{
    const auto *c = dynamic_cast<TComponent *>(Sender);
    const bool adding = !c || c->Tag() != 2;
    if (!adding && dm_.Tb_Account.IsEmpty())
        return;
    EditAccount(dm_, adding, totals_);
    PanSum->SetCaption(totals_.Caption);
    UpdateCommands();
}

void TFormAcc::mpDel_AccClick(TObject *)
{
    const bool deleted = DeleteAccount(dm_, [](const QString &warning) {
        return AskDialog(warning, TMsgDlgType::mtWarning, mbOK | mbCancel, false) == mrOk;
    });
    if (!deleted)
        return;
    main_.PackOnClose = true;
    RefreshTotals(false);
}

void TFormAcc::mpDef_AccClick(TObject *)
{
    MakeDefaultAccount(dm_);
    RefreshTotals(false);
}

void TFormAcc::mpGroup_AccClick(TObject *)
{
    ToggleGroupAccount(dm_);
    RefreshTotals(false);
}

void TFormAcc::ShowCurrencySums()
{
    const int64_t ye = OpenCurrencySums(dm_, RbGroup->Checked());
    for (const TBookColumn &d : SumColumns)
        if (*d.Format)
            if (TField *f = dm_.Qacn.FindField(QString::fromLatin1(d.Field)))
                f->SetDisplayFormat(QString::fromLatin1(d.Format));
    if (TField *f = dm_.Qacn.FindField(QStringLiteral("Rte")))
        f->SetDisplayFormat(main_.RteFormat);
    PanSum->SetCaption(FormatFloat(QStringLiteral("#,##0.00"), UnitsToMoney(ye)) + QStringLiteral(" y.e.  "));
}

void TFormAcc::ButSumClick(TObject *)
{
    const bool sums = SumsShown();
    DBGRate->SetVisible(sums);
    DBGAc->SetVisible(!sums);
    PanRb->SetVisible(sums);
    ButOk->SetVisible(!sums);
    WidenToShownGrid();
    if (sums) {
        ShowCurrencySums();
        DBGRate->SetFocus();
    } else {
        dm_.Qacn.Close();
        RbAll->SetChecked(true);
        PanSum->SetCaption(totals_.Caption);
        DBGAc->SetFocus();
    }
    UpdateCommands();
}

void TFormAcc::WidenToShownGrid()
{
    QMetaObject::invokeMethod(
        this, [this] { WidenFormToGrid(*this, SumsShown() ? *DBGRate : *DBGAc); }, Qt::QueuedConnection);
}

void TFormAcc::RbAllClick(TObject *)
{
    if (SumsShown())
        ShowCurrencySums();
}

void TFormAcc::DBGRateDblClick(TObject *)
{
    TQuery &q = dm_.Qacn;
    if (!q.Active() || q.IsEmpty())
        return;
    const QString old = q.FieldByName(QStringLiteral("Currency"))->AsString();
    QString name;
    if (!InputLineDefault(U("Замена валюты"), U("Введите новую валюту:"), old, false, name))
        return;
    name = name.trimmed();
    if (!RenameCurrency(dm_, old, name))
        return;
    ShowCurrencySums();
    try {
        q.Locate(QStringLiteral("Currency"), Variant(name), {});
    } catch (const Exception &) {
        // Only the list's position: the rename is written and the sums are read below.
    }
    totals_ = RefreshAccountTotals(dm_, false);
}

void TFormAcc::mRestClick(TObject *)
{
    TTable &acc = dm_.Tb_Account;
    if (!main_.AdminMode || RbGroup->Checked() || acc.IsEmpty() || acc.State() != TDataSetState::dsBrowse)
        return;
    const QString current = acc.FieldByName(QStringLiteral("Rest"))->AsString();
    QString text = current;
    if (!InputLine(U("Исправить остаток на счёте"), U("Введите новое значение:"), text, false))
        return;
    text = text.trimmed();
    if (text.isEmpty() || text == current)
        return;
    if (CorrectAccountRest(dm_, text))
        RefreshTotals(false);
}

void TFormAcc::FormKeyDown(TObject *, WORD &Key, TShiftState Shift)
{
    if (Key == VK_ESCAPE && Shift == TShiftState{}) { // ButCancel is the cancel button
        SetModalResult(mrCancel);
        Key = 0;
    } else if (Key == VK_F9 && KeyModifiers(Shift) == 0) {
        Key = 0;
        main_.mCalcClick(this);
    } else if (Key == VK_RETURN && Shift == TShiftState{}) {
        if (DBGAc->Focused()) {
            SetModalResult(mrOk);
            Key = 0;
        } else if (DBGRate->Focused()) {
            DBGRateDblClick(DBGRate);
            Key = 0;
        }
    }
}

} // namespace zorbel
