// The bookmarks window: the marked operations of the viewed period and
// account (or of all), their count and totals, jumping to one, removing one
// or all; and the statistics text window it opens.
#include "core/ZorbMarks.h"

#include "core/TulnDlg.h"
#include "platform/sqltable/Database.h"
#include "core/ZorbDm.h"
#include "core/ZorbLaunch.h"
#include "core/ZorbLedger.h"
#include "core/ZorbMain.h"
#include "core/ZorbText.h"
#include "platform/rtl/DateTime.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Format.h"

namespace zorbel {

TFormSum::TFormSum()
{
    SetName(QStringLiteral("FormSum"));
    SetCaption(U("Статистика"));
    SetPosition(TPosition::poScreenCenter);
    SetClientWidth(420);
    SetClientHeight(300);
    SetKeyPreview(true);
    M = new TMemo(this, QStringLiteral("M"));
    M->SetAlign(TAlign::alClient);
    M->SetReadOnly(true);
    // The statistics of the operations list run past the window's height.
    M->SetScrollBars(TScrollStyle::ssVertical);
    OnKeyDown = [this](TObject *, WORD &Key, TShiftState) {
        if (Key == VK_ESCAPE)
            SetModalResult(mrCancel);
    };
    DoCreate();
}

TFormSum::~TFormSum() { DoDestroy(); }

namespace {

const QString kOperationKey = QStringLiteral("Id_Account;Date_Real;Date_Create;Kind");

TSpeedButton *Button(QWidget *parent, const char *name, const char *caption, const char *hint, int left)
{
    auto *b = new TSpeedButton(parent, QString::fromLatin1(name));
    b->SetCaption(U(caption));
    b->SetHint(U(hint));
    b->SetBounds(left, 3, 28, 25);
    return b;
}

struct TMarkColumn {
    const char *Field, *Title, *Format;
    int Width;
};

} // namespace

TFormMrk::TFormMrk(TFormMain &Main) : main_(Main)
{
    SetName(QStringLiteral("FormMrk"));
    SetCaption(U("Закладки"));
    SetKeyPreview(true);
    SetBounds(Main.Mrk_Left, Main.Mrk_Top, Main.Mrk_Width, Main.Mrk_Height);
    PanTop = new TPanel(this, QStringLiteral("PanTop"));
    PanTop->SetAlign(TAlign::alTop);
    PanTop->SetHeight(31);
    ButGoTo = Button(PanTop, "ButGoTo", "→", "Перейти на строку (DblClick,Enter)", 4);
    ButDel = Button(PanTop, "ButDel", "×", "Удалить закладку (Ctrl+Del)", 34);
    ButClear = Button(PanTop, "ButClear", "∅", "Очистить и закрыть (Shift+Del)", 64);
    ChTotal = new TCheckBox(PanTop, QStringLiteral("ChTotal"));
    ChTotal->SetCaption(U("Весь период"));
    ChTotal->SetBounds(110, 7, 110, 17);
    ChAll = new TCheckBox(PanTop, QStringLiteral("ChAll"));
    ChAll->SetCaption(U("Все счета"));
    ChAll->SetBounds(230, 7, 100, 17);
    Sb = new TStatusBar(this, QStringLiteral("Sb"));
    Sb->SetAlign(TAlign::alBottom);
    const std::pair<const char *, int> panels[] = {{"Строк", 60}, {"", 70},  {"Приход", 65}, {"", 90},
                                                   {"Расход", 65}, {"", 90}, {"Кол+", 60},   {"", 90},
                                                   {"Кол-", 60},   {"", 90}, {"", 50}};
    for (const auto &[text, width] : panels)
        Sb->AddPanel(width, U(text));
    Qmark.SetDatabase(&Main.Dm->Db);
    Qmark.SQL() = MarksQueryText();
    DsMark.SetDataSet(&Qmark);
    DBGMark = new TDBGrid(this, QStringLiteral("DBGMark"));
    DBGMark->SetAlign(TAlign::alClient);
    DBGMark->SetReadOnly(true);
    DBGMark->SetTag(2);
    DBGMark->SetDataSource(&DsMark);
    PmMark = new TPopupMenu(this, QStringLiteral("PmMark"));
    mGoto = PmMark->Add(QStringLiteral("mGoto"), U("Перейти на строку   (DblClick)"));
    mGoto->SetDefault(true);
    mDel = PmMark->Add(QStringLiteral("mDel"), U("Удалить закладку"), ShortCut(VK_DELETE, ssCtrl));
    mClear = PmMark->Add(QStringLiteral("mClear"), U("Очистить всё..."), ShortCut(VK_DELETE, ssShift));
    DBGMark->SetPopupMenu(PmMark);

    // At most one account: the list always shows it.
    if (Main.Dm->Tb_Account.Active() && Main.Dm->Tb_Account.RecordCount() <= 1) {
        ChAll->SetChecked(true);
        ChAll->SetVisible(false);
    }
    auto go = [this](TObject *) { GoToMark(); };
    ButGoTo->OnClick = go;
    mGoto->OnClick = go;
    DBGMark->OnDblClick = go;
    ButDel->OnClick = [this](TObject *) { RemoveMarks(false); };
    mDel->OnClick = [this](TObject *) { RemoveMarks(false); };
    auto clear = [this](TObject *) {
        if (Qmark.Active() && !Qmark.IsEmpty() &&
            AskDialog(U("Удалить все закладки и закрыть окно?"), TMsgDlgType::mtConfirmation, mbYes | mbNo,
                      false) == mrYes)
            RemoveMarks(true);
    };
    ButClear->OnClick = clear;
    mClear->OnClick = clear;
    ChTotal->OnClick = [this](TObject *) { RefreshMarks(); };
    ChAll->OnClick = [this](TObject *) { RefreshMarks(); };
    Sb->OnClick = [this](TObject *s) { SbClick(s); };
    OnShow = [this](TObject *) { RefreshMarks(); };
    OnKeyDown = [this](TObject *s, WORD &k, TShiftState sh) { FormKeyDown(s, k, sh); };
    OnClose = [this](TObject *, TCloseAction &) {
        main_.Mrk_Left = Left();
        main_.Mrk_Top = Top();
        main_.Mrk_Width = Width();
        main_.Mrk_Height = Height();
        main_.ApplyColumnLayout(DBGMark, false, main_.Col_Mrk);
    };
    DsMark.OnDataChange = [this](TDataSource *, TField *) { UpdateCommands(); };
    DoCreate();
}

TFormMrk::~TFormMrk()
{
    DBGMark->SetDataSource(nullptr);
    DoDestroy();
}

void TFormMrk::UpdateCommands()
{
    const bool any = Qmark.Active() && !Qmark.IsEmpty();
    for (TControl *c : {static_cast<TControl *>(ButGoTo), static_cast<TControl *>(ButDel),
                        static_cast<TControl *>(ButClear)})
        c->SetEnabled(any);
    for (TMenuItem *m : {mGoto, mDel, mClear})
        m->SetEnabled(any);
}

void TFormMrk::FormKeyDown(TObject *, WORD &Key, TShiftState Shift)
{
    if (Key == VK_ESCAPE) {
        Key = 0;
        SetModalResult(mrCancel);
    } else if (Key == VK_RETURN && DBGMark->Focused()) {
        Key = 0;
        GoToMark();
    }
    (void)Shift;
}

void TFormMrk::RefreshMarks()
{
    for (int p : {1, 3, 5, 7, 9})
        Sb->SetPanelText(p, QString());
    Qmark.DisableControls();
    const bool whole = ChTotal->Checked();
    const int account = main_.Dm->Tb_Account.FieldByName(QStringLiteral("Id_Account"))->AsInteger();
    PrepareMarksQuery(Qmark, ChAll->Checked(), account, whole ? main_.AllBegin : MarksPeriodBegin,
                      whole ? main_.AllEnd : MarksPeriodEnd);
    try {
        Qmark.Open();
    } catch (...) {
        Qmark.EnableControls();
        throw;
    }
    // The columns the list shows, titled as in the ledger.
    static const TMarkColumn columns[] = {
        {"date_real", "Дата", "", 96},     {"Dt", "Приход", "#,###,###,##0.00", 80},
        {"Ct", "Расход", "#,###,###,##0.00", 80}, {"Itm1", "Категория", "", 90},
        {"Itm2", "Группа", "", 90},        {"Itm3", "Предмет", "", 90},
        {"Price", "Цена", "#,###,###,##0.00", 70}, {"Qdt", "Кол-во+", "0.00", 66},
        {"Qct", "Кол-во-", "0.00", 66},    {"Pers", "Кто?", "", 80},
        {"Firm", "Где?", "", 80},          {"Comment", "Комментарий", "", 150},
        {"Acnt", "Счёт", "", 80},          {"Ac_Ref", "Кор.счёт", "", 80}};
    DBGMark->Columns().Clear();
    for (const TMarkColumn &c : columns) {
        TField *f = Qmark.FindField(QString::fromLatin1(c.Field));
        if (!f)
            continue;
        if (*c.Format)
            f->SetDisplayFormat(QString::fromLatin1(c.Format));
        TColumn *col = DBGMark->Columns().Add();
        col->SetFieldName(f->FieldName());
        col->SetTitleCaption(U(c.Title));
        col->SetWidth(c.Width);
    }
    if (TField *date = Qmark.FindField(QStringLiteral("date_real")))
        if (TField *ledgerDate = main_.Dm->Tb_Hist.FindField(QStringLiteral("Date_Real")))
            date->SetDisplayFormat(ledgerDate->DisplayFormat());
    // Titles as the user renamed them in the ledger.
    static const std::pair<const char *, const char *> titles[] = {
        {"date_real", "date_real"}, {"category", "Itm1"}, {"item", "Itm2"}, {"article", "Itm3"},
        {"dt", "Dt"}, {"ct", "Ct"}, {"price", "Price"}, {"comment", "Comment"}, {"person", "Pers"},
        {"firm", "Firm"}, {"ref_acc", "Ac_Ref"}};
    for (int i = 0; i < main_.DBG->Columns().Count(); ++i) {
        TColumn *ledger = main_.DBG->Columns()[i];
        const QString name = ledger->FieldName().toLower();
        for (int j = 0; j < DBGMark->Columns().Count(); ++j) {
            TColumn *col = DBGMark->Columns()[j];
            for (const auto &[from, to] : titles)
                if (name == QLatin1String(from) && col->FieldName().compare(QLatin1String(to), Qt::CaseInsensitive) == 0)
                    col->SetTitleCaption(ledger->TitleCaption());
            if (name == QLatin1String("quant") && col->FieldName() == QLatin1String("Qdt"))
                col->SetTitleCaption(ledger->TitleCaption() + QStringLiteral(" +"));
            if (name == QLatin1String("quant") && col->FieldName() == QLatin1String("Qct"))
                col->SetTitleCaption(ledger->TitleCaption() + QStringLiteral(" -"));
        }
    }
    if (!main_.Col_Mrk.isEmpty())
        main_.ApplyColumnLayout(DBGMark, true, main_.Col_Mrk);
    const TMarkTotals t = SumMarks(Qmark);
    Qmark.EnableControls();
    Sb->SetPanelText(1, QString::number(t.Count));
    Sb->SetPanelText(3, FormatMarkSum(t.Dt));
    Sb->SetPanelText(5, FormatMarkSum(t.Ct));
    Sb->SetPanelText(7, FormatMarkSum(t.Qdt));
    Sb->SetPanelText(9, FormatMarkSum(t.Qct));
    UpdateCommands();
}

void TFormMrk::GoToMark()
{
    if (!Qmark.Active() || Qmark.IsEmpty())
        return;
    TDm &dm = *main_.Dm;
    const Variant key = VarArrayOf({Qmark.FieldByName(QStringLiteral("Id_Account"))->AsVariant(),
                                    Qmark.FieldByName(QStringLiteral("Date_Real"))->AsVariant(),
                                    Qmark.FieldByName(QStringLiteral("Date_Create"))->AsVariant(),
                                    Qmark.FieldByName(QStringLiteral("Kind"))->AsVariant()});
    if (TRstWindow *results = FormRst()) {
        // Opened from the results window: the jump is in its operations list,
        // over the whole period when the list's own period misses it.
        TQuery &hs = results->Qhs();
        hs.DisableControls();
        bool found = false;
        try {
            found = hs.Active() && hs.Locate(kOperationKey, key, {});
            if (!found) {
                results->SetPeriodKind(1);
                found = hs.Active() && hs.Locate(kOperationKey, key, {});
            }
        } catch (...) {
            hs.EnableControls();
            throw;
        }
        hs.EnableControls();
        if (!found)
            ShowNotice(U("В отобранных строках закладка не найдена!"), false);
        return;
    }
    const int account = Qmark.FieldByName(QStringLiteral("Id_Account"))->AsInteger();
    if (account != dm.Tb_Account.FieldByName(QStringLiteral("Id_Account"))->AsInteger()) {
        if (AskDialog(U("Закладка находится на другом счёте! Поменять??"), TMsgDlgType::mtConfirmation,
                      mbYes | mbNo, false) != mrYes)
            return;
        if (!dm.Tb_Account.Locate(QStringLiteral("Id_Account"), Variant(int16_t(account)), {}))
            return;
        main_.CbPerClick(nullptr);
    }
    dm.Tb_Hist.DisableControls();
    bool found = dm.Tb_Hist.Locate(kOperationKey, key, {});
    if (!found) {
        // Outside the viewed period: show the whole period and look again.
        main_.CbPer->SetItemIndex(0);
        main_.CbPerClick(nullptr);
        found = dm.Tb_Hist.Locate(kOperationKey, key, {});
    }
    dm.Tb_Hist.EnableControls();
}

void TFormMrk::RemoveMarks(bool All)
{
    if (!Qmark.Active() || Qmark.IsEmpty())
        return;
    TTable &hist = main_.Dm->Tb_Hist;
    int row = 0;
    try {
        row = Qmark.RecNo() - 1;
    } catch (const Exception &) {
        row = 0;
    }
    const TBookmark position = hist.GetBookmark();
    Screen().SetCursor(crHourGlass);
    hist.DisableControls();
    Qmark.DisableControls();
    auto unmarkRow = [&] {
        const Variant key = VarArrayOf({Qmark.FieldByName(QStringLiteral("Id_Account"))->AsVariant(),
                                        Qmark.FieldByName(QStringLiteral("Date_Real"))->AsVariant(),
                                        Qmark.FieldByName(QStringLiteral("Date_Create"))->AsVariant(),
                                        Qmark.FieldByName(QStringLiteral("Kind"))->AsVariant()});
        // Among the row's own day: each write then settles without listing
        // the whole table again.
        SetDayRange(hist, key[0], key[1]);
        if (!hist.Locate(kOperationKey, key, {}))
            return;
        try {
            hist.Edit();
            hist.FieldByName(QStringLiteral("B"))->Clear();
            hist.Post();
        } catch (...) {
            hist.Cancel();
            throw; // the step below undoes every mark removed so far
        }
    };
    // All marks are removed as one step: either every one goes or none.
    try {
        TTransactionScope tx(main_.Dm->Db);
        if (All)
            for (Qmark.First(); !Qmark.Eof(); Qmark.Next())
                unmarkRow();
        else
            unmarkRow();
        tx.Commit();
    } catch (...) {
        Screen().SetCursor(crDefault);
        Qmark.EnableControls();
        main_.SetLedgerRange(hist);
        hist.EnableControls();
        throw;
    }
    Screen().SetCursor(crDefault);
    Qmark.EnableControls();
    main_.SetLedgerRange(hist);
    try {
        hist.GotoBookmark(position);
    } catch (const Exception &) {
        // Only the ledger's position: the marks are written.
    }
    hist.EnableControls();
    if (TRstWindow *results = FormRst()) {
        // The results window's list shows the marks too: read it again and
        // stay on its row.
        TQuery &hs = results->Qhs();
        hs.DisableControls();
        try {
            const int recNo = hs.Active() ? hs.RecNo() : 0;
            hs.Close();
            hs.Open();
            if (recNo > 0)
                hs.SetRecNo(recNo);
        } catch (const Exception &e) {
            // Closed, the list shows no rows rather than stale ones; open,
            // only its position was lost.
            if (!hs.Active())
                ShowNotice(U("Не удалось прочитать список операций окна итогов.\r") + e.Message(), false);
        }
        hs.EnableControls();
    }
    if (All) {
        SetModalResult(mrOk);
        return;
    }
    RefreshMarks();
    if (row > 0) {
        try {
            Qmark.SetRecNo(row);
        } catch (const Exception &) {
            // Only the position: the list was read anew.
        }
    }
}

QStringList TFormMrk::StatisticsLines() const
{
    QStringList lines{U("Закладки:"), QString()};
    for (int p = 0; p < 10; p += 2)
        lines << Sb->PanelText(p) + QStringLiteral("\t = \t") + Sb->PanelText(p + 1);
    lines << QString() << AccountStatisticsLines(main_.Dm->Tb_Account);
    return lines;
}

void TFormMrk::SbClick(TObject *) { ShowStatistics(main_.DBG->Font(), StatisticsLines()); }

QStringList AccountStatisticsLines(const TTable &Account)
{
    const auto field = [&Account](const char *name) { return Account.FieldByName(QString::fromLatin1(name)); };
    return {field("ACCOUNT")->AsString() + QStringLiteral(" = ") +
                FormatFloat(QStringLiteral("#,##0.00"), field("REST")->AsFloat()).trimmed() + QLatin1Char(' ') +
                field("CURRENCY")->AsString(),
            QString(), U("Сегодня  ") + FormatDateTime(QStringLiteral("dd mmm yyyy  dddd"), Date())};
}

void ShowStatistics(const QFont &Font, const QStringList &Lines)
{
    TFormSum sum;
    sum.M->SetFont(Font);
    sum.M->SetLines(Lines);
    sum.ShowModal();
}

} // namespace zorbel
