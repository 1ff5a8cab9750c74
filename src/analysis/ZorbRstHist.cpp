// The results window's operations list (tab 1): its query's fields and
// names, ordering by a column, offering the row's values to the condition
// boxes, the group edit, amount changes and deletes that keep the accounts'
// stored balances right, bookmarks, the jump to the main window and the
// statistics window.
//
// Every operation is addressed by its key (account, date, creation stamp,
// kind) as stored, in Tb_Hist with the main window's range cancelled; the
// range is put back afterwards. A command writes the rows and the balances
// they imply in one transaction or not at all (WriteStep), and the main
// window's figures and the account box are read again after it. Names
// (categories, people, firms, accounts) come from tables read once per
// refresh, not from a lookup per row.
#include "analysis/ZorbEd.h"
#include "analysis/ZorbRst.h"

#include "core/TulnDlg.h"
#include "platform/sqltable/Database.h"
#include "core/ZorbItm.h"
#include "core/ZorbMain.h"
#include "core/ZorbMarks.h"
#include "core/ZorbText.h"
#include "platform/dataset/Fields.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Money.h"

#include <optional>
#include <utility>

namespace zorbel {

namespace {

const QString GroupEditListsFailedText = U("Не удалось прочитать списки людей и фирм: групповая правка отменена.\n");

// Calculated name columns and the key fields they show and sort by.
struct TNameField {
    const char *Name;
    const char *Key;
    const char *Title;
    int Width;
};
constexpr TNameField NameFields[] = {
    {"Itm1", "level1", "Категория", 15}, {"Itm2", "level2", "Группа", 15},   {"Itm3", "level3", "Предмет", 15},
    {"Pers", "id_person", "Кто?", 10},   {"Firm", "id_firm", "Где?", 10},    {"Acnt", "id_account", "Счёт", 10},
    {"Ac_Ref", "ref_account", "Кор.счёт", 10},
};

// The main window's current account; none while the accounts are closed or
// empty. Every id is an account, 0 (the first account of many data sets)
// as well.
std::optional<int> CurrentAccount(TFormMain &Main)
{
    TTable &acc = Main.Dm->Tb_Account;
    if (!acc.Active() || acc.IsEmpty())
        return std::nullopt;
    return acc.FieldByName(U("Id_Account"))->AsInteger();
}

const QString RowNotFoundText = U("Операция не найдена в таблице: ничего не изменено.");
const QString TransfersRefusedText = U("Переводы не обслуживатся!");

TOperationKey KeyOf(TDataSet &Q)
{
    return {Q.FieldByName(U("id_account"))->AsInteger(), Q.FieldByName(U("date_real"))->AsDateTime(),
            Q.FieldByName(U("date_create"))->AsDateTime(), Q.FieldByName(U("kind"))->AsString()};
}


// Goes back to a row saved by bookmark; a row that went meanwhile is ignored.
void ReturnTo(TDataSet &D, const TBookmark &Mark)
{
    try {
        if (!Mark.isEmpty() && !D.IsEmpty() && D.BookmarkValid(Mark))
            D.GotoBookmark(Mark);
    } catch (const Exception &) {
        // Only the position: the rows and their figures are as read.
    }
}

// Takes the thousands separators out of a number's display text.
QString PlainNumber(double V)
{
    return FormatFloat(U("0.########"), V);
}

} // namespace

// ---- fields, layout and menus ---------------------------------------------------

void TFormRst::DefineQhsFields()
{
    struct TDef {
        const char *Name;
        TFieldType Type;
        int Size;
        const char *Label;
        bool Visible;
    };
    static constexpr TDef defs[] = {
        {"DATE_REAL", ftDate, 0, "Дата", true},         {"dt", ftFloat, 0, "Приход", true},
        {"ct", ftFloat, 0, "Расход", true},             {"level1", ftSmallint, 0, "", false},
        {"level2", ftSmallint, 0, "", false},           {"level3", ftSmallint, 0, "", false},
        {"price", ftFloat, 0, "Цена", true},            {"id_person", ftSmallint, 0, "", false},
        {"id_firm", ftSmallint, 0, "", false},          {"comment", ftString, 200, "Комментарий", true},
        {"rate", ftFloat, 0, "Курс", true},             {"qdt", ftFloat, 0, "Кол-во +", true},
        {"qct", ftFloat, 0, "Кол-во -", true},          {"id_account", ftSmallint, 0, "", false},
        {"ref_account", ftSmallint, 0, "", false},      {"kind", ftString, 1, "План", true},
        {"date_create", ftDateTime, 0, "Дата записи", true}, {"rdt", ftFloat, 0, "y.e.+", true},
        {"rct", ftFloat, 0, "y.e.-", true},             {"b", ftString, 1, "", false},
    };
    TQuery &q = QhsQuery;
    for (const TDef &d : defs) {
        TField *f = nullptr;
        switch (d.Type) {
        case ftDate: f = q.AddField<TDateField>(U(d.Name)); break;
        case ftDateTime: f = q.AddField<TDateTimeField>(U(d.Name)); break;
        case ftSmallint: f = q.AddField<TSmallintField>(U(d.Name)); break;
        case ftString: f = q.AddField<TStringField>(U(d.Name), fkData, d.Size); break;
        default: f = q.AddField<TFloatField>(U(d.Name)); break;
        }
        f->SetDisplayLabel(U(d.Label));
        f->SetVisible(d.Visible);
    }
    for (const char *money : {"dt", "ct", "price", "rdt", "rct"})
        static_cast<TFloatField *>(q.FieldByName(U(money)))->SetDisplayFormat(U("#,##0.00"));
    // Column widths of the list, in digits.
    static constexpr std::pair<const char *, int> widths[] = {
        {"DATE_REAL", 10}, {"price", 8}, {"comment", 20}, {"rate", 8}, {"qdt", 8}, {"qct", 8},
        // Amounts in the millions keep their leading digits.
        {"dt", 12}, {"ct", 12}, {"rdt", 12}, {"rct", 12}};
    for (const auto &[name, width] : widths)
        q.FieldByName(U(name))->SetDisplayWidth(width);
    for (const TNameField &n : NameFields) {
        TField *f = q.AddField<TStringField>(U(n.Name), fkCalculated, 30);
        f->SetDisplayLabel(U(n.Title));
        f->SetDisplayWidth(n.Width);
    }
    q.AddField<TStringField>(U("Itms"), fkCalculated, 90)->SetVisible(false);
    q.OnCalcFields = [this](TDataSet *d) { QhsCalcFields(d); };
}

void TFormRst::QhsCalcFields(TDataSet *D)
{
    const auto name = [D](const char *Key, const QHash<int, QString> &Names) {
        TField *k = D->FieldByName(U(Key));
        return k->IsNull() ? QString() : Names.value(k->AsInteger());
    };
    const QString i1 = name("level1", itemNames_), i2 = name("level2", itemNames_), i3 = name("level3", itemNames_);
    D->FieldByName(U("Itm1"))->SetAsString(i1);
    D->FieldByName(U("Itm2"))->SetAsString(i2);
    D->FieldByName(U("Itm3"))->SetAsString(i3);
    D->FieldByName(U("Pers"))->SetAsString(name("id_person", personNames_));
    D->FieldByName(U("Firm"))->SetAsString(name("id_firm", firmNames_));
    D->FieldByName(U("Acnt"))->SetAsString(name("id_account", accountNames_));
    D->FieldByName(U("Ac_Ref"))->SetAsString(name("ref_account", accountNames_));
    QString all = i1;
    if (!i2.isEmpty())
        all += u':' + i2;
    if (!i3.isEmpty())
        all += u':' + i3;
    D->FieldByName(U("Itms"))->SetAsString(all);
}

void TFormRst::BuildHistPanel()
{
    PanDet = new TPanel(TcGrp, U("PanDet"));
    PanDet->SetAlign(TAlign::alClient);
    PanDet->SetVisible(false);
    PanDetBut = new TPanel(PanDet, U("PanDetBut"));
    PanDetBut->SetAlign(TAlign::alBottom);
    PanDetBut->SetHeight(30);
    ButSumHs = new TButton(PanDetBut, U("ButSumHs"));
    ButSumHs->SetCaption(U("Суммы..."));
    ButSumHs->SetHint(U("Показать суммы..."));
    ButSumHs->SetBounds(4, 3, 100, 24);
    ButPrh = new TButton(PanDetBut, U("ButPrh"));
    ButPrh->SetCaption(U("Печать..."));
    ButPrh->SetBounds(108, 3, 100, 24);
    ButExport = new TButton(PanDetBut, U("ButExport"));
    ButExport->SetCaption(U("В файл..."));
    ButExport->SetHint(U("Сохранить в файл..."));
    ButExport->SetBounds(212, 3, 100, 24);
    DBGTab = new TDBGrid(PanDet, U("DBGTab"));
    DBGTab->SetAlign(TAlign::alClient);
    DBGTab->SetReadOnly(true);
    DBGTab->SetTag(2);
    DBGTab->SetOptions({dgTitles, dgIndicator, dgColumnResize, dgColLines, dgRowLines, dgTabs, dgRowSelect,
                        dgAlwaysShowSelection});
    DBGTab->SetDataSource(&DataHs);
    for (const char *f : {"DATE_REAL", "dt", "ct", "Itm1", "Itm2", "Itm3", "price", "Pers", "Firm", "comment", "rate",
                          "qdt", "qct", "rdt", "rct", "Acnt", "Ac_Ref", "kind", "date_create"})
        DBGTab->Columns().Add()->SetFieldName(U(f));

    DataHs.OnDataChange = [this](TDataSource *s, TField *f) { DataHsDataChange(s, f); };
    DBGTab->OnTitleClick = [this](TObject *s, TColumn *c) { DBGTabTitleClick(s, c); };
    DBGTab->OnColumnMoved = [this](TObject *, int, int) { ColumnMoved = true; };
    DBGTab->OnDblClick = [this](TObject *) { GroupEdit(); };
    DBGTab->OnDrawColumnCell = [this](TObject *, const QRect &r, int col, TColumn *c, TGridDrawState st) {
        main_.PaintGridCell(DBGTab, st, c);
        DBGTab->DefaultDrawColumnCell(r, col, c, st);
    };
    // F2 and Ctrl+Del run their commands as the popup's keys; on a transfer
    // row the popup turns those commands off, and the keys then say why
    // rather than doing nothing.
    DBGTab->OnKeyDown = [this](TObject *, WORD &Key, TShiftState Shift) {
        const bool command = (Key == VK_F2 && Shift == TShiftState{}) || (Key == VK_DELETE && Shift == TShiftState{ssCtrl});
        TQuery &q = QhsQuery;
        if (command && q.Active() && !q.IsEmpty() && q.FieldByName(U("level1"))->AsInteger() < 0) {
            Key = 0;
            ShowNotice(TransfersRefusedText, false);
        }
    };
    DBGTab->OnKeyPress = [this](TObject *, QChar &k) {
        if (k == u'+' || k == u'=') {
            k = QChar();
            SetBookmark();
        } else if (k == u'\r') {
            k = QChar();
            GroupEdit();
        }
    };
    ButSumHs->OnClick = [this](TObject *s) { ButSumHsClick(s); };
    ButExport->OnClick = [this](TObject *) { main_.SaveGridToFile(DBGTab); };
}

void TFormRst::BuildMenus()
{
    PmPer = new TPopupMenu(this, U("PmPer"));
    static constexpr const char *periods[] = {"Весь период   (Ctrl+&1)", "Год                 (Ctrl+&2)",
                                              "Квартал         (Ctrl+&3)", "Месяц             (Ctrl+&4)",
                                              "Неделя           (Ctrl+&5)", "День               (Ctrl+&6)"};
    for (int i = 0; i < 6; ++i) {
        TMenuItem *m = PmPer->Add(U("mpPer%1").arg(i + 1), U(periods[i]));
        m->SetTag(i + 1);
        m->OnClick = [this, i](TObject *) { SetPeriodKind(i + 1); };
    }
    for (TControl *c : std::initializer_list<TControl *>{ButDate1, ButDate2, ButDt1, ButDt2, ButPer})
        c->SetPopupMenu(PmPer);

    PmRes = new TPopupMenu(this, U("PmRes"));
    mpSort = PmRes->Add(U("mpSort"), U("Сортировка"));
    mpSortNm = mpSort->Add(U("mpSortNm"), U("Наименование"));
    mpSortDt = mpSort->Add(U("mpSortDt"), U("Приход"));
    mpSortCt = mpSort->Add(U("mpSortCt"), U("Расход"));
    mpSortRs = mpSort->Add(U("mpSortRs"), U("Результат"));
    mpTab = PmRes->Add(U("mpTab"), U("Что выводить в таблицу"));
    mpCur = mpTab->Add(U("mpCur"), U("Валюта счёта"));
    mpYE = mpTab->Add(U("mpYE"), U("Общая валюта (у.е.)"));
    mpQuant = mpTab->Add(U("mpQuant"), U("Количество"));
    mpDiag = PmRes->Add(U("mpDiag"), U("Что выводить в диаграмму"));
    mpChDt = mpDiag->Add(U("mpChDt"), U("Приход"));
    mpChCt = mpDiag->Add(U("mpChCt"), U("Расход"));
    mpChRs = mpDiag->Add(U("mpChRs"), U("Результат"));
    mpFilt = PmRes->Add(U("mpFilt"), U("Ограничения выводимых сумм..."), ShortCut('E', ssCtrl));
    mpDelRs = PmRes->Add(U("mpDelRs"), U("Удалить строку (только здесь)"), ShortCut(VK_DELETE, ssCtrl));
    mpRefreshRs = PmRes->Add(U("mpRefreshRs"), U("Обновить"), ShortCut('R', ssCtrl));
    mpPrint = PmRes->Add(U("mpPrint"), U("&Печать с просмотром..."), ShortCut('P', ssCtrl));
    mpSave = PmRes->Add(U("mpSave"), U("Со&хранить в файл..."), ShortCut('S', ssCtrl));
    int group = 1;
    for (auto items : {std::vector<TMenuItem *>{mpSortNm, mpSortDt, mpSortCt, mpSortRs},
                       std::vector<TMenuItem *>{mpCur, mpYE, mpQuant}, std::vector<TMenuItem *>{mpChDt, mpChCt, mpChRs}}) {
        int tag = group == 1 ? 0 : 1;
        for (TMenuItem *m : items) {
            m->SetRadioItem(true);
            m->SetGroupIndex(group);
            m->SetTag(tag++);
        }
        ++group;
    }
    mpSortNm->SetChecked(true);
    mpCur->SetChecked(true);
    mpChCt->SetChecked(true);
    for (TMenuItem *m : {mpSortNm, mpSortDt, mpSortCt, mpSortRs})
        m->OnClick = [this](TObject *s) { mpSortNmClick(s); };
    for (TMenuItem *m : {mpCur, mpYE, mpQuant})
        m->OnClick = [this](TObject *s) { mpCurClick(s); };
    for (TMenuItem *m : {mpChDt, mpChCt, mpChRs})
        m->OnClick = [this](TObject *s) { mpChCtClick(s); };
    mpFilt->OnClick = [this](TObject *s) { mpFiltClick(s); };
    mpDelRs->OnClick = [this](TObject *s) { mpDelRsClick(s); };
    mpRefreshRs->OnClick = [this](TObject *) { RefreshResults(); };
    mpPrint->OnClick = [this](TObject *s) { mpPrintClick(s); };
    mpSave->OnClick = [this](TObject *) { main_.SaveGridToFile(DBGRes); };
    DBGRes->SetPopupMenu(PmRes);

    PmHs = new TPopupMenu(this, U("PmHs"));
    mHsEdit = PmHs->Add(U("mHsEdit"), U("&Редактировать..."));
    mpHsEdSum = PmHs->Add(U("mpHsEdSum"), U("&Изменить сумму"), ShortCut(VK_F2, 0));
    mHsDel = PmHs->Add(U("mHsDel"), U("Удалить строку"), ShortCut(VK_DELETE, ssCtrl));
    mDelPlan = PmHs->Add(U("mDelPlan"), U("Удалить все планируемые"));
    mpHsGoTab = PmHs->Add(U("mpHsGoTab"), U("&Найти строку в главном окне"), ShortCut(VK_F3, 0));
    mpSetMark = PmHs->Add(U("mpSetMark"), U("Закладка             +"));
    // Ctrl with the "=" key (VK_OEM_PLUS), not the character code of "=".
    mpShowMark = PmHs->Add(U("mpShowMark"), U("Все закладки..."), ShortCut(VK_OEM_PLUS, ssCtrl));
    mpHsSum = PmHs->Add(U("mpHsSum"), U("Показать &суммы..."));
    mpHsPrint = PmHs->Add(U("mpHsPrint"), U("&Печать с предварительным просмотром..."));
    mpHsSave = PmHs->Add(U("mpHsSave"), U("Со&хранить в файл..."));
    mpHsPrint->OnClick = [this](TObject *s) { ButPrhClick(s); };
    ButPrh->OnClick = [this](TObject *s) { ButPrhClick(s); };
    mHsEdit->OnClick = [this](TObject *) { GroupEdit(); };
    mpHsEdSum->OnClick = [this](TObject *s) { mpHsEdSumClick(s); };
    mHsDel->OnClick = [this](TObject *s) { mHsDelClick(s); };
    mDelPlan->OnClick = [this](TObject *s) { mDelPlanClick(s); };
    mpHsGoTab->OnClick = [this](TObject *s) { mpHsGoTabClick(s); };
    mpSetMark->OnClick = [this](TObject *) { SetBookmark(); };
    mpShowMark->OnClick = [this](TObject *) { ShowBookmarks(); };
    mpHsSum->OnClick = [this](TObject *s) { ButSumHsClick(s); };
    mpHsSave->OnClick = [this](TObject *) { main_.SaveGridToFile(DBGTab); };
    PmHs->OnPopup = [this](TObject *s) { PmHsPopup(s); };
    PmHs->SetAutoPopup(false); // until the list shows rows (DataHsDataChange)
    DBGTab->SetPopupMenu(PmHs);
}

// ---- the list's state -----------------------------------------------------------

void TFormRst::DataHsDataChange(TDataSource *, TField *)
{
    TQuery &q = QhsQuery;
    const bool any = q.Active() && !q.IsEmpty();
    ButSumHs->SetEnabled(any);
    ButPrh->SetEnabled(any);
    ButExport->SetEnabled(any);
    PmHs->SetAutoPopup(any);
    const bool own = any && q.FieldByName(U("level1"))->AsInteger() >= 0;
    mHsEdit->SetEnabled(own);
    mpHsEdSum->SetEnabled(own);
    if (!any || TcGrp->TabIndex() != 1)
        return;
    // Offer the row's values to the unticked boxes.
    const auto offer = [&q](TCheckBox *Box, const char *Name, const char *Key) {
        Box->SetCaption(q.FieldByName(U(Name))->AsString());
        Box->SetTag(q.FieldByName(U(Key))->AsInteger());
    };
    if (!ChItm1->Checked())
        offer(ChItm1, "Itm1", "level1");
    else if (!ChItm2->Checked())
        offer(ChItm2, "Itm2", "level2");
    else if (!ChItm3->Checked())
        offer(ChItm3, "Itm3", "level3");
    if (!ChAcc->Checked()) {
        // The box now names one account, so ticking it must mean that
        // account and not the group it named before (the grouped totals'
        // offer leaves the group mode as well).
        offer(ChAcc, "Acnt", "id_account");
        PanCond->SetTag(0);
        restBoxAccount_.reset();
    }
    if (!ChPers->Checked())
        offer(ChPers, "Pers", "id_person");
    if (!ChFirm->Checked())
        offer(ChFirm, "Firm", "id_firm");
}

void TFormRst::PmHsPopup(TObject *)
{
    TQuery &q = QhsQuery;
    const bool planned = CbKind->ItemIndex() == 1;
    mDelPlan->SetVisible(planned);
    const bool own = q.Active() && !q.IsEmpty() && q.FieldByName(U("level1"))->AsInteger() >= 0;
    mHsEdit->SetEnabled(own);
    mpHsEdSum->SetEnabled(own);
    mHsDel->SetEnabled(own || planned);
}

void TFormRst::DBGTabTitleClick(TObject *, TColumn *Column)
{
    if (ColumnMoved) {
        ColumnMoved = false;
        return;
    }
    if (!Column || !Column->Field())
        return;
    TField *field = Column->Field();
    QString key = field->FieldName();
    if (field->FieldKind() == fkCalculated) {
        key.clear();
        for (const TNameField &n : NameFields)
            if (field->FieldName() == U(n.Name))
                key = U(n.Key);
        if (key.isEmpty())
            return;
    }
    key = key.toLower();
    QStringList &sql = QhsQuery.SQL();
    QhsQuery.Close();
    if (key == u"level1" || key == u"level2" || key == u"level3") {
        HistOrder = U("level1,level2,level3");
        sql.last() = U("order by ") + HistOrder;
    } else if (key != HistOrder) {
        HistOrder = key;
        sql.last() = U("order by ") + HistOrder;
    } else if (sql.last() == U("order by ") + HistOrder) {
        sql.last() += U(" desc");
    } else {
        sql.last() = U("order by ") + HistOrder;
    }
    try {
        QhsQuery.Open();
    } catch (const Exception &e) {
        ReadFailed(e); // the list stays closed: no rows rather than some
    }
}

void TFormRst::ReopenHs(int RecNo)
{
    try {
        if (!QhsQuery.Active())
            QhsQuery.Open();
        if (RecNo >= 1 && QhsQuery.RecordCount() > 0)
            QhsQuery.SetRecNo(std::min(RecNo, QhsQuery.RecordCount()));
    } catch (const Exception &e) {
        if (!QhsQuery.Active())
            ReadFailed(e); // the list stays closed: no rows rather than some
        // Open, only the position was lost: the rows are whole.
    }
}

bool TFormRst::WithHistRow(const std::function<void()> &Body)
{
    TTable &h = main_.Dm->Tb_Hist;
    const TOperationKey key = KeyOf(QhsQuery);
    h.DisableControls();
    h.CancelRange();
    bool found = false;
    try {
        found = FindOperationRow(h, key);
        if (found)
            Body();
    } catch (...) {
        main_.SetLedgerRange(h);
        h.EnableControls();
        throw;
    }
    main_.SetLedgerRange(h);
    h.EnableControls();
    return found;
}

// ---- edits ------------------------------------------------------------------------

void TFormRst::GroupEdit()
{
    TQuery &q = QhsQuery;
    if (!q.Active() || q.IsEmpty())
        return;
    if (q.FieldByName(U("level1"))->AsInteger() < 0) {
        ShowNotice(TransfersRefusedText, false);
        return;
    }
    const TOperationKey key = KeyOf(q);
    TFormEd form(*main_.Dm, main_.AdminMode);
    // The stored bounds, never smaller than the dialog's rows need.
    form.SetBounds(main_.RstEd_Left, main_.RstEd_Top, std::max(main_.RstEd_Width, form.Width()),
                   std::max(main_.RstEd_Height, form.Height()));
    form.EdComm->SetText(q.FieldByName(U("comment"))->AsString());
    if (!q.FieldByName(U("price"))->IsNull())
        form.EdPrice->SetText(PlainNumber(q.FieldByName(U("price"))->AsFloat()));
    if (!q.FieldByName(U("qct"))->IsNull())
        form.EdQuant->SetText(PlainNumber(q.FieldByName(U("qct"))->AsFloat()));
    else if (!q.FieldByName(U("qdt"))->IsNull())
        form.EdQuant->SetText(PlainNumber(q.FieldByName(U("qdt"))->AsFloat()));
    if (!q.FieldByName(U("rate"))->IsNull())
        form.EdRate->SetText(PlainNumber(q.FieldByName(U("rate"))->AsFloat()));
    for (const auto &[level, name] : {std::pair{"level3", "Itm3"}, {"level2", "Itm2"}, {"level1", "Itm1"}})
        if (!q.FieldByName(U(level))->IsNull()) {
            form.ButItm->SetCaption(q.FieldByName(U(name))->AsString());
            form.ButItm->SetTag(q.FieldByName(U(level))->AsInteger());
            break;
        }
    form.SetDate(key.DateReal);
    // People and firms in table order, an empty item first.
    for (auto [box, table, idName, textName] :
         {std::tuple{form.CbPers, &main_.Dm->Tb_Person, "ID_PERSON", "NAME"},
          std::tuple{form.CbFirm, &main_.Dm->Tb_Firm, "ID_FIRM", "FIRM"}}) {
        box->Items().AddObject(QString(), 0);
        TQuery &t = main_.Dm->Qtemp;
        t.Close();
        t.SQL() = QStringList{U("select %1, %2 from %3").arg(U(idName), U(textName), table->TableName())};
        try {
            t.Open();
            for (t.First(); !t.Eof(); t.Next())
                box->Items().AddObject(t.Fields()[1]->AsString(), t.Fields()[0]->AsInteger());
        } catch (const Exception &e) {
            // A list without the rows' own person or firm would offer to
            // clear it: no group edit then.
            t.Close();
            ShowNotice(GroupEditListsFailedText + e.Message(), false);
            return;
        }
        t.Close();
    }
    for (auto [box, name] : {std::pair{form.CbPers, "id_person"}, {form.CbFirm, "id_firm"}}) {
        TField *id = q.FieldByName(U(name));
        TFormEd::SelectId(box, id->IsNull() ? std::nullopt : std::optional<int>(id->AsInteger()));
    }
    form.RememberRowValues();
    form.AllRows = q.RecordCount();
    form.AskDate = [this](TDateTime d) { return main_.AskDate(d); };
    form.PickCategory = [this](int &Id, QString &Name) {
        TFormItm pick(main_);
        if (main_.Dm->Tb_Account.RecordCount() <= 1)
            pick.ExcludeTransfer();
        if (Id >= 0)
            pick.OpenOn = Id;
        if (pick.ShowModal() != mrOk || pick.Qitm->IsEmpty() || !pick.TvItm->Selected())
            return false;
        Id = int(pick.TvItm->Selected()->Data());
        Name = pick.TvItm->Selected()->Text();
        return true;
    };
    const int result = form.ShowModal();
    main_.RstEd_Left = form.Left();
    main_.RstEd_Top = form.Top();
    main_.RstEd_Width = form.Width();
    main_.RstEd_Height = form.Height();
    Repaint();
    TGroupEditValues values;
    if ((result != mrOk && result != mrAll) || !form.Values(values))
        return;
    // "&All" sets every row to what the dialog shows; OK on the one row
    // writes what the user changed and keeps the rest as stored.
    if (result == mrOk)
        form.DropUnchanged(values);
    TTable &h = main_.Dm->Tb_Hist;
    const TBookmark mark = h.Bookmark();
    h.DisableControls();
    h.CancelRange();
    {
        THourGlass busy;
        // Every row of the step or none: a row that cannot be written undoes
        // the others, and the user is told.
        if (result == mrOk) {
            WriteStep([&] { GroupEditRow(*main_.Dm, key, values); });
        } else {
            q.DisableControls();
            WriteStep([&] {
                for (q.First(); !q.Eof(); q.Next())
                    GroupEditRow(*main_.Dm, KeyOf(q), values);
            });
            q.EnableControls();
        }
    }
    main_.SetLedgerRange(h);
    ReturnTo(h, mark);
    h.EnableControls();
    // A moved date takes the row into or out of the main window's period
    // and its planned totals.
    ShowStoredFigures();
    RefreshResults();
    TOperationKey edited = key;
    if (values.Date)
        edited.DateReal = values.DateValue;
    try {
        q.Locate(U("Id_Account;Date_Real;Date_Create;Kind"),
                 VarArrayOf({Variant(edited.Account), Variant::FromDate(edited.DateReal),
                             Variant::FromDate(edited.DateCreate), Variant(edited.Kind)}),
                 {});
    } catch (const Exception &) {
        // Only the position: the list was read anew and is whole.
    }
}

bool TFormRst::WriteStep(const std::function<void()> &Body)
{
    TDm &dm = *main_.Dm;
    bool written = false;
    try {
        // A failure rolls back and re-reads the ledger and the accounts, so
        // the tables show what is stored.
        TTransactionScope tr(dm.Db, {&dm.Tb_Hist, &dm.Tb_Account});
        Body();
        tr.Commit();
        written = true;
    } catch (const Exception &e) {
        ShowNotice(e.Message(), false);
    }
    return written;
}

void TFormRst::ShowStoredFigures()
{
    try {
        // A row may lie before the main window's period, so its opening
        // balance is read again too.
        main_.UpdateBalances(true, 0);
        ShowAccountBoxRest();
    } catch (const Exception &e) {
        ShowNotice(e.Message(), false);
    }
}

void TFormRst::mpHsEdSumClick(TObject *)
{
    TQuery &q = QhsQuery;
    if (!CurrentAccount(main_) || !q.Active() || q.IsEmpty())
        return;
    if (q.FieldByName(U("level1"))->AsInteger() < 0) {
        ShowNotice(TransfersRefusedText, false);
        return;
    }
    const bool expense = !q.FieldByName(U("ct"))->IsNull();
    TField *amount = q.FieldByName(expense ? U("ct") : U("dt"));
    if (amount->IsNull())
        return;
    // The amount as the money arithmetic holds it, in 1/10000: a stored
    // double shows no digits of its binary noise.
    const int64_t old = MoneyToUnits(amount->AsFloat());
    QString text = FormatFloat(U("0.####"), UnitsToMoney(old));
    const QString before = text;
    double value = 0;
    if (!InputLine(U("Изменение суммы"), U("Введите новое число:"), text, false) || text.isEmpty() ||
        text == before || !TryStrToFloat(text, value) || value <= 0)
        return;
    // The balance change is summed in units of 1/10000: an amount past
    // MoneyLimit would overflow it and move the balance by a wrong figure, so
    // it is refused as every money entry refuses it (Money.h).
    if (!MoneyInRange(value)) {
        ShowNotice(MoneyRangeMessage(), false);
        return;
    }
    const int64_t change = expense ? old - MoneyToUnits(value) : MoneyToUnits(value) - old;
    const TOperationKey key = KeyOf(q);
    const int recNo = q.RecNo();
    TTable &h = main_.Dm->Tb_Hist;
    bool found = true;
    // The row and its account's balance, the current account's too, go
    // together or not at all.
    WriteStep([&] {
        found = WithHistRow([&] {
            h.Edit();
            try {
                h.FieldByName(expense ? U("Ct") : U("Dt"))->SetAsFloat(value);
                h.Post();
            } catch (...) {
                h.Cancel();
                throw;
            }
        });
        if (found && key.Kind == u"1")
            AdjustAccountRest(main_, key.Account, change);
    });
    ShowStoredFigures();
    if (!found)
        ShowNotice(RowNotFoundText, false);
    FindOperationRow(h, key);
    RefreshResults();
    ReopenHs(recNo);
}

void AdjustAccountRest(TFormMain &Main, int Id, int64_t Change)
{
    if (Change == 0)
        return;
    TTable &acc = Main.Dm->Tb_Account;
    const TBookmark mark = acc.Bookmark();
    acc.DisableControls();
    try {
        if (acc.Locate(U("Id_Account"), Variant(Id), {})) {
            acc.Edit();
            TField *rest = acc.FieldByName(U("Rest"));
            rest->SetAsFloat(UnitsToMoney(MoneyToUnits(rest->AsFloat()) + Change));
            acc.Post();
        }
    } catch (...) {
        if (acc.State() == dsEdit)
            acc.Cancel();
        if (!mark.isEmpty())
            acc.GotoBookmark(mark);
        acc.EnableControls();
        throw;
    }
    if (!mark.isEmpty())
        acc.GotoBookmark(mark);
    acc.EnableControls();
}

void TFormRst::mHsDelClick(TObject *)
{
    TQuery &q = QhsQuery;
    if (!CurrentAccount(main_) || !q.Active() || q.IsEmpty())
        return;
    const int recNo = q.RecNo();
    const TOperationKey key = KeyOf(q);
    TTable &h = main_.Dm->Tb_Hist;
    bool found = true;
    if (key.Kind > u"1") {
        if (AskDialog(U("Удалить выбранную плановую строку?"), TMsgDlgType::mtConfirmation, mbYes | mbNo, false) !=
            mrYes)
            return;
        WriteStep([&] { found = WithHistRow([&h] { h.Delete(); }); });
        ShowStoredFigures();
        if (!found)
            ShowNotice(RowNotFoundText, false);
        RefreshResults();
        ReopenHs(recNo - 1);
        return;
    }
    if (q.FieldByName(U("level1"))->AsInteger() == -1) {
        ShowNotice(TransfersRefusedText, false);
        return;
    }
    const bool expense = !q.FieldByName(U("ct"))->IsNull();
    const double amount = expense ? q.FieldByName(U("ct"))->AsFloat() : -q.FieldByName(U("dt"))->AsFloat();
    if (amount == 0)
        return;
    if (AskDialog(U("Удалить строку на сумму  ") + FormatFloat(U("#,##0.00"), amount) + u'?',
                  TMsgDlgType::mtConfirmation, mbYes | mbNo, false) != mrYes)
        return;
    const int64_t change = MoneyToUnits(amount);
    const TBookmark mark = h.Bookmark();
    // The row and its account's balance go together or not at all.
    WriteStep([&] {
        found = WithHistRow([&h] { h.Delete(); });
        if (found)
            AdjustAccountRest(main_, key.Account, change);
    });
    ReturnTo(h, mark);
    ShowStoredFigures();
    if (!found)
        ShowNotice(RowNotFoundText, false);
    RefreshResults();
}

void TFormRst::mDelPlanClick(TObject *)
{
    TQuery &q = QhsQuery;
    if (!q.Active() || q.IsEmpty())
        return;
    if (AskDialog(U("Удалить все выбранные плановые строки?"), TMsgDlgType::mtConfirmation, mbYes | mbNo, false) !=
        mrYes)
        return;
    TTable &h = main_.Dm->Tb_Hist;
    const TBookmark mark = h.Bookmark();
    {
        THourGlass busy;
        h.DisableControls();
        q.DisableControls();
        h.CancelRange();
        // A row that cannot be deleted undoes the whole step: the user is
        // told, and no part of the plans is gone.
        WriteStep([&] {
            for (q.First(); !q.Eof(); q.Next()) {
                const TOperationKey key = KeyOf(q);
                if (key.Kind > u"1" && FindOperationRow(h, key))
                    h.Delete();
            }
        });
        main_.SetLedgerRange(h);
        ReturnTo(h, mark);
        q.EnableControls();
        h.EnableControls();
    }
    main_.PackOnClose = true;
    ShowStoredFigures();
    RefreshResults();
}

void TFormRst::mpHsGoTabClick(TObject *)
{
    TQuery &q = QhsQuery;
    if (!q.Active() || q.IsEmpty())
        return;
    FindOperationRow(main_.Dm->Tb_Hist, KeyOf(q));
}

void TFormRst::SetBookmark()
{
    TQuery &q = QhsQuery;
    if (!q.Active() || q.IsEmpty())
        return;
    const int recNo = q.RecNo();
    TTable &h = main_.Dm->Tb_Hist;
    const TBookmark mark = h.Bookmark();
    try {
        WithHistRow([&h] {
            h.Edit();
            TField *b = h.FieldByName(U("B"));
            if (b->IsNull())
                b->SetAsString(U("+"));
            else
                b->Clear();
            h.Post();
        });
    } catch (const Exception &) {
        if (h.State() == dsEdit)
            h.Cancel();
    }
    ReturnTo(h, mark);
    q.Close();
    ReopenHs(recNo + 1);
}

void TFormRst::ShowBookmarks()
{
    TFormMrk form(main_);
    form.MarksPeriodBegin = Period.FromDate;
    form.MarksPeriodEnd = Period.ToDate;
    // As from the ledger: the whole period ticks the box and leaves nothing to choose.
    form.ChTotal->SetChecked(Period.Kind == rpWhole);
    form.ChTotal->SetEnabled(Period.Kind != rpWhole);
    if (!main_.Col_Mrk.isEmpty())
        main_.ApplyColumnLayout(form.DBGMark, true, main_.Col_Mrk);
    form.Sb->SetFont(main_.Sb->Font());
    form.DBGMark->SetFont(main_.DBG->Font());
    form.DBGMark->SetTitleFont(main_.DBG->TitleFont());
    form.ShowModal();
}

// ---- statistics -------------------------------------------------------------------

QStringList TFormRst::StatisticsLines()
{
    const QString from = FormatDateTime(U("dd.mm.yyyy"), Period.FromDate);
    const QString to = FormatDateTime(U("dd.mm.yyyy"), Period.ToDate);
    const TRstOpening o = ComputeOpeningBalances();
    Qsm.Close();
    Qsm.Open();
    const int days = int(Qsm.ParamByName(U("d2"))->AsDateTime()) - int(Qsm.ParamByName(U("d1"))->AsDateTime()) + 1;
    const auto pad = [](const QString &t) { return t.size() >= 20 ? t : QString(20 - t.size(), u' ') + t; };
    const auto v = [this, &pad](const char *Name) {
        TField *f = Qsm.FieldByName(U(Name));
        return pad(FormatFloat(U("#,##0.00"), f->IsNull() ? 0.0 : f->AsFloat()));
    };
    const auto units = [this](const char *Name) { return MoneyToUnits(Qsm.FieldByName(U(Name))->AsFloat()); };
    const auto money = [&pad](int64_t u) { return pad(FormatFloat(U("#,##0.00"), UnitsToMoney(u))); };
    const auto perDay = [&](const char *Name) {
        return pad(FormatFloat(U("#,##0.00"), Qsm.FieldByName(U(Name))->AsFloat() / days));
    };
    QStringList l;
    l << U("Всего строк = ") + FormatFloat(U("#,##0"), Qsm.FieldByName(U("cnt"))->AsFloat()) << QString();
    l << U("Суммы за весь период - %1 дней:").arg(days) << U("(с ") + from + U(" по ") + to + u')' << QString();
    l << U("На начало  =") + money(o.Amount) << U("Приход     =") + v("sdt") << U("Расход     =") + v("sct")
      << U("На конец   =") + money(units("sdt") + o.Amount - units("sct")) << QString();
    l << U("Кол. Нач.  =") + money(o.Quantity) << U("Кол. Прх.  =") + v("sqdt") << U("Кол. Рсх.  =") + v("sqct")
      << U("Кол. Кон.  =") + money(units("sqdt") + o.Quantity - units("sqct")) << QString();
    l << U("У.е. Нач.  =") + money(o.Common) << U("У.е. Прх.  =") + v("sdtr") << U("У.е. Рсх.  =") + v("sctr")
      << U("У.е. Кон.  =") + money(units("sdtr") + o.Common - units("sctr"));
    static constexpr const char *labels[] = {"Приход     =", "Расход     =", "Кол. Прх.  =",
                                             "Кол. Рсх.  =", "У.е. Прх.  =", "У.е. Рсх.  ="};
    const auto block = [&](const char *Title, std::array<const char *, 6> Names, bool Daily) {
        l << QString() << QString() << U(Title) << QString();
        for (size_t i = 0; i < 6; ++i)
            l << U(labels[i]) + (Daily ? perDay(Names[i]) : v(Names[i]));
    };
    if (days > 0)
        block("Средние за день:", {"sdt", "sct", "sqdt", "sqct", "sdtr", "sctr"}, true);
    block("Средние за период:", {"adt", "act", "aqdt", "aqct", "adtr", "actr"}, false);
    block("Минимум за период:", {"mdt", "mct", "mqdt", "mqct", "mdtr", "mctr"}, false);
    block("Максимум за период:", {"xdt", "xct", "xqdt", "xqct", "xdtr", "xctr"}, false);
    Qsm.Close();
    return l;
}

void TFormRst::ButSumHsClick(TObject *)
{
    QStringList lines;
    try {
        Repaint();
        lines = StatisticsLines();
    } catch (const Exception &e) {
        Qsm.Close();
        ReadFailed(e); // no statistics from a wrong opening or no sums
        return;
    }
    TFormSum form;
    QFont f(U("Arial"));
    form.M->SetFont(f);
    form.M->SetLines(lines);
    form.ShowModal();
}

} // namespace zorbel
