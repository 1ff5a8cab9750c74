// The main window's ledger: the working date and its buttons, the viewed
// period, the key range of the operations grid, the status-bar totals, the
// pages, the cell colours of the program's grids, column layouts and the
// exchange of two operations within their day. The arithmetic and the data
// steps live in ZorbLedger.cpp and ZorbGridPaint.cpp; the handlers here only
// read the window's state and show the results.
#include "core/ZorbMain.h"

#include "core/Qar_date.h"
#include "core/ZorbGridPaint.h"
#include "core/ZorbSumsStore.h"
#include "core/ZorbText.h"
#include "platform/rtl/Format.h"

#include <QFontMetrics>

namespace zorbel {

namespace {

TSpeedButton *ToolButton(QWidget *parent, const char *name, const char *caption, const char *hint, int left,
                         int tag)
{
    auto *b = new TSpeedButton(parent, QString::fromLatin1(name));
    b->SetCaption(U(caption));
    b->SetHint(U(hint));
    b->SetBounds(left, 3, 24, 24);
    b->SetTag(tag);
    return b;
}

} // namespace

// ---------------------------------------------------------------- layout

void TFormMain::BuildLedgerLayout()
{
    // Pages, by the buttons' Tag: 0 money, 1 people, 2 firms, 3 diary.
    ButMoney = ToolButton(PanTop, "ButMoney", "Д", "Деньги", 78, 0);
    ButFace = ToolButton(PanTop, "ButFace", "Л", "Люди", 102, 1);
    ButFirm = ToolButton(PanTop, "ButFirm", "Ф", "Фирмы", 126, 2);
    ButLog = ToolButton(PanTop, "ButLog", "Е", "Ежедневник", 150, 3);
    for (TSpeedButton *b : {ButMoney, ButFace, ButFirm, ButLog}) {
        b->SetGroupIndex(1);
        b->OnClick = [this](TObject *s) { mMoneyViewClick(s); };
    }
    ButMoney->SetDown(true);

    PanDate = new TPanel(PanTop, QStringLiteral("PanDate"));
    PanDate->SetBevelOuter(TBevelCut::bvNone);
    PanDate->SetBounds(236, 2, 150, 26);
    ButPrev = ToolButton(PanDate, "ButPrev", "<", "День назад (правая кнопка - период назад)", 0, 1);
    ButPrev->SetBounds(0, 1, 22, 24);
    ButDate = new TButton(PanDate, QStringLiteral("ButDate"));
    ButDate->SetBounds(23, 1, 104, 24);
    ButDate->SetHint(U("Дата ввода (правая кнопка - сегодня)"));
    ButNext = ToolButton(PanDate, "ButNext", ">", "День вперёд (правая кнопка - период вперёд)", 128, 2);
    ButNext->SetBounds(128, 1, 22, 24);
    ButDate->OnClick = [this](TObject *s) { ButDateClick(s); };
    ButDate->OnMouseDown = [this](TObject *s, TMouseButton b, TShiftState sh, int x, int y) {
        ButDateMouseDown(s, b, sh, x, y);
    };
    ButPrev->OnClick = [this](TObject *s) { ButPrevClick(s); };
    ButNext->OnClick = [this](TObject *s) { ButPrevClick(s); };
    ButPrev->OnMouseDown = [this](TObject *s, TMouseButton b, TShiftState sh, int x, int y) {
        ButPrevMouseDown(s, b, sh, x, y);
    };
    ButNext->OnMouseDown = [this](TObject *s, TMouseButton b, TShiftState sh, int x, int y) {
        ButNextMouseDown(s, b, sh, x, y);
    };
    CbPer->SetBounds(392, 4, 110, 22);
    CbPer->OnClick = [this](TObject *s) { CbPerClick(s); };
    PanAcRest->SetBounds(508, 3, 280, 24);

    Sb->SetHint(U("Баланс"));
    for (int i = 0; i < 8; ++i)
        Sb->SetPanelText(i, QString());

    Pg = new TPageControl(this, QStringLiteral("Pg"));
    Pg->SetAlign(TAlign::alClient);
    ShMoney = new TTabSheet(Pg, QStringLiteral("ShMoney"));
    ShPers = new TTabSheet(Pg, QStringLiteral("ShPers"));
    ShFirm = new TTabSheet(Pg, QStringLiteral("ShFirm"));
    ShLog = new TTabSheet(Pg, QStringLiteral("ShLog"));
    for (TTabSheet *sheet : {ShMoney, ShPers, ShFirm, ShLog})
        sheet->SetTabVisible(false);
    Pg->OnChange = [this](TObject *s) { PgChange(s); };

    PanD->setParent(ShMoney);
    PanD->SetAlign(TAlign::alLeft);
    Splitter1 = new TSplitter(ShMoney, QStringLiteral("Splitter1"));
    Splitter1->SetAlign(TAlign::alLeft);
    Splitter1->SetWidth(4);
    DBG = new TKDBGrid(ShMoney, QStringLiteral("DBG"));
    DBG->SetAlign(TAlign::alClient);
    DBG->SetTag(1);
    DBG->SetReadOnly(true);
    DBG->SetOptions({dgTitles, dgIndicator, dgColumnResize, dgColLines, dgRowLines, dgTabs, dgRowSelect,
                     dgAlwaysShowSelection, dgConfirmDelete, dgCancelOnExit, dgMultiSelect});
    DBG->OnDrawColumnCell = [this](TObject *s, const QRect &r, int c, TColumn *col, TGridDrawState st) {
        DBGDrawColumnCell(s, r, c, col, st);
    };
    PmHist = new TPopupMenu(this, QStringLiteral("PmHist"));
    mpUp = PmHist->Add(QStringLiteral("mpUp"), U("&Выше   (Ctrl+Up)"), ShortCut(VK_UP, ssCtrl));
    mpDown = PmHist->Add(QStringLiteral("mpDown"), U("&Ниже   (Ctrl+Down)"), ShortCut(VK_DOWN, ssCtrl));
    mpUp->OnClick = [this](TObject *s) { mpUpClick(s); };
    mpDown->OnClick = [this](TObject *s) { mpDownClick(s); };
    mpUp->SetVisible(false);
    mpDown->SetVisible(false);
    DBG->SetPopupMenu(PmHist);
}

void TFormMain::BuildLedgerMenu()
{
    mView = MainMenu->Add(QStringLiteral("mView"), U("&Выбор"));
    mMoneyView = mView->Add(QStringLiteral("mMoneyView"), U("&Деньги"));
    mPersonView = mView->Add(QStringLiteral("mPersonView"), U("&Люди"));
    mFirmView = mView->Add(QStringLiteral("mFirmView"), U("&Фирмы"));
    mRemindView = mView->Add(QStringLiteral("mRemindView"), U("&Ежедневник"));
    int tag = 0;
    for (TMenuItem *m : {mMoneyView, mPersonView, mFirmView, mRemindView}) {
        m->SetRadioItem(true);
        m->SetGroupIndex(2);
        m->SetTag(tag++);
        m->OnClick = [this](TObject *s) { mMoneyViewClick(s); };
    }
    mMoneyView->SetChecked(true);
    mView->Add(QStringLiteral("N10"), QStringLiteral("-"));
    mPeriod = mView->Add(QStringLiteral("mPeriod"), U("&Период"));
    mTotal = mPeriod->Add(QStringLiteral("mTotal"), U("&Весь период"));
    mYear = mPeriod->Add(QStringLiteral("mYear"), U("&Год"));
    mQuart = mPeriod->Add(QStringLiteral("mQuart"), U("&Квартал"));
    mMonth = mPeriod->Add(QStringLiteral("mMonth"), U("&Месяц"));
    mWeek = mPeriod->Add(QStringLiteral("mWeek"), U("&Неделя"));
    mDay = mPeriod->Add(QStringLiteral("mDay"), U("&День"));
    for (TMenuItem *m : {mTotal, mYear, mQuart, mMonth, mWeek, mDay}) {
        m->SetRadioItem(true);
        m->SetGroupIndex(3);
        m->OnClick = [this](TObject *s) { mTotalClick(s); };
    }
    mTotal->SetChecked(true);
    mView->Add(QStringLiteral("N11"), QStringLiteral("-"));
    mDayBefore = mView->Add(QStringLiteral("mDayBefore"), U("День &до"), ShortCut(VK_F1, ssShift));
    mDayAfter = mView->Add(QStringLiteral("mDayAfter"), U("День &после"), ShortCut(VK_F2, ssShift));
    mPerBefore = mView->Add(QStringLiteral("mPerBefore"), U("Период д&о"), ShortCut(VK_F3, ssShift));
    mPerAfter = mView->Add(QStringLiteral("mPerAfter"), U("Период п&осле"), ShortCut(VK_F4, ssShift));
    tag = 1;
    for (TMenuItem *m : {mDayBefore, mDayAfter, mPerBefore, mPerAfter}) {
        m->SetTag(tag++);
        m->OnClick = [this](TObject *s) { ButPrevClick(s); };
    }
}

// ---------------------------------------------------------------- period and date

int TFormMain::PeriodKind() const { return CbPer->ItemIndex() < 0 ? pkTotal : CbPer->ItemIndex(); }

void TFormMain::LayOutDateBox()
{
    // The entry date's button is at least as wide as its caption needs in
    // its font (the user's title font: at 16 pt "10.12.26 Чт" needs more
    // than the 104 pixels of the small one); the arrows, the period box, the
    // results button and the balance move along to its right. The balance
    // keeps the width the user gave it (restored from the settings).
    const int width = std::max({104, ButDate->sizeHint().width(),
                                QFontMetrics(ButDate->font()).horizontalAdvance(ButDate->Caption()) + 16});
    ButDate->SetBounds(23, 1, width, 24);
    ButNext->SetBounds(24 + width, 1, 22, 24);
    PanDate->SetBounds(236, 2, 46 + width, 26);
    CbPer->SetBounds(PanDate->Left() + PanDate->Width() + 6, 4, 110, 22);
    int next = CbPer->Left() + CbPer->Width() + 6;
    if (ButResult) {
        // Its place stays when it is hidden, so the balance does not jump.
        ButResult->SetBounds(next, 3, ButResult->Width(), 24);
        next += ButResult->Width() + 4;
    }
    PanAcRest->SetBounds(next, 3, PanAcRest->Width(), 24);
}

void TFormMain::ShowEntryDate()
{
    ButDate->SetCaption(EntryDateCaption(EntryDate));
    LayOutDateBox();
    switch (DayOfWeek(EntryDate)) {
    case 1: ButDate->SetFontColor(RGB(255, 0, 0)); break;
    case 2: ButDate->SetFontColor(clBlack); break;
    case 7: ButDate->SetFontColor(RGB(128, 0, 128)); break;
    default: ButDate->SetFontColor(RGB(0, 0, 128)); break;
    }
}

void TFormMain::ApplyLedgerPeriod()
{
    if (!Dm || !Dm->Tb_Account.Active() || Dm->Tb_Account.IsEmpty())
        return;
    // The window is repainted once the new range is in (not before, which
    // would paint it twice per click).
    Invalidate();
    const TPeriod p = LedgerPeriod(PeriodKind(), EntryDate, AllBegin, AllEnd);
    PeriodBegin = p.Begin;
    PeriodEnd = p.End;
    CbPer->SetHint(PeriodKind() == pkTotal ? U("Период обзора")
                                            : DateTimeToStr(PeriodBegin) + QStringLiteral("...") +
                                                  DateTimeToStr(PeriodEnd));
    THourGlass hourglass;
    SetLedgerRange(Dm->Tb_Hist);
    UpdateBalances(true, 0);
    SetFindRange();
}

void TFormMain::SetLedgerRange(TTable &Table)
{
    const int account = Dm->Tb_Account.FieldByName(QStringLiteral("Id_Account"))->AsInteger();
    zorbel::SetLedgerRange(Table, account, {PeriodBegin, PeriodEnd}, PeriodKind() == pkTotal);
}

void TFormMain::SetFindRange()
{
    const Variant account = Dm->Tb_Hist.FieldByName(QStringLiteral("Id_Account"))->AsVariant();
    for (TQuery *q : {&Dm->QFind, &Dm->QcomFind}) {
        const bool wasOpen = q->Active();
        q->Close();
        q->ParamByName(QStringLiteral("d1"))->SetAsDate(PeriodBegin);
        q->ParamByName(QStringLiteral("d2"))->SetAsDate(PeriodEnd);
        q->ParamByName(QStringLiteral("id"))->SetValue(account);
        if (wasOpen)
            q->Open();
    }
}

void TFormMain::UpdateBalances(bool RecomputeOpening, int64_t Delta)
{
    if (!Dm || !Dm->Tb_Account.Active() || Dm->Tb_Account.IsEmpty())
        return;
    TBalanceContext c;
    c.Period = {PeriodBegin, PeriodEnd};
    c.AllEnd = AllEnd;
    c.WholeView = mTotal->Checked();
    c.ShowStatus = ShowStatus;
    c.Today = Date();
    totals_.OpeningBalance = OpeningBalance;
    UpdateLedgerBalances(*Dm, c, RecomputeOpening, Delta, totals_);
    if (isVisible())
        ScheduleSums();
    if (!ShowStatus)
        return;
    OpeningBalance = totals_.OpeningBalance;
    PlannedIncomeText = totals_.PlannedIncomeText;
    PlannedExpenseText = totals_.PlannedExpenseText;
    ShowTotals();
}

void TFormMain::ScheduleSums()
{
    if (!Dm || Dm->HistSums.Checked())
        return;
    // The first slice comes late enough for the window's first paint to come
    // first; the others follow whenever the event loop has run, so an input
    // event waits at most one slice. Until the walk ends the balances are
    // read by their queries. Sums taken back already answer every click: the
    // walk that checks them takes shorter slices, so a click waits less.
    constexpr int AfterPaintMs = 100;
    constexpr int SliceMs = 4;
    constexpr int CheckSliceMs = 2;
    if (!sumsTimer_) {
        sumsTimer_ = new QTimer(this);
        sumsTimer_->setSingleShot(true);
        connect(sumsTimer_, &QTimer::timeout, this, [this] {
            if (!Dm || !Dm->Db.Connected())
                return;
            const bool checking = Dm->HistSums.Ready();
            const int corrections = Dm->HistSums.Corrections();
            const THistSums::TProgress progress = Dm->HistSums.BuildFor(checking ? CheckSliceMs : SliceMs);
            if (progress == THistSums::TProgress::Going)
                sumsTimer_->start(0);
            else if (progress == THistSums::TProgress::Ready && Dm->HistSums.Corrections() != corrections)
                SumsCorrected();
            else if (progress == THistSums::TProgress::Ready &&
                     (!checking || Dm->HistSums.SumsFor() != Dm->HistSums.AdoptedFor()))
                KeepSums(); // known contents whose sums are the rows': the next opening needs no walk
        });
    }
    if (!sumsTimer_->isActive())
        sumsTimer_->start(Dm->HistSums.Building() ? 0 : AfterPaintMs);
}

void TFormMain::SumsCorrected()
{
    // A derived cache that was wrong is mended in silence: nothing the user
    // wrote is touched, and no stored balance was taken from it (the repair
    // of a balance reads the rows while the sums are unchecked).
    TSumsStore().Forget(Dm->HistSums.AdoptedFor());
    KeepSums();
    if (!Dm->Tb_Account.Active() || Dm->Tb_Account.IsEmpty())
        return;
    // The grid's row counts and the status bar came from the kept sums.
    if (Dm->Tb_Hist.Active() && Dm->Tb_Hist.State() == dsBrowse)
        Dm->Tb_Hist.Refresh();
    UpdateBalances(true, 0);
}

void TFormMain::ShowTotals()
{
    for (int i = 0; i < 8; ++i)
        Sb->SetPanelText(i, totals_.Panels[i]);
    Sb->SetHint(totals_.Hint);
}

void TFormMain::StepEntryDate(int Tag)
{
    const TDateTime next = zorbel::StepEntryDate(PeriodKind(), EntryDate, Tag, Date());
    if (next == EntryDate)
        return;
    EntryDate = next;
    ShowEntryDate();
    ApplyLedgerPeriod();
}

void TFormMain::ButDateClick(TObject *)
{
    const TDateTime d = AskDate(EntryDate);
    if (d > -1000000 && d != EntryDate) {
        EntryDate = d;
        ShowEntryDate();
        ApplyLedgerPeriod();
    }
}

void TFormMain::ButDateMouseDown(TObject *, TMouseButton Button, TShiftState, int, int)
{
    if (Button != TMouseButton::mbLeft && EntryDate != Date()) {
        EntryDate = Date();
        ShowEntryDate();
        ApplyLedgerPeriod();
    }
}

void TFormMain::ButPrevClick(TObject *Sender)
{
    if (!mMoneyView->Checked())
        return;
    const auto *component = dynamic_cast<TComponent *>(Sender);
    if (component)
        StepEntryDate(component->Tag());
}

void TFormMain::ButPrevMouseDown(TObject *, TMouseButton Button, TShiftState, int, int)
{
    if (Button != TMouseButton::mbLeft)
        ButPrevClick(mPerBefore);
}

void TFormMain::ButNextMouseDown(TObject *, TMouseButton Button, TShiftState, int, int)
{
    if (Button != TMouseButton::mbLeft)
        ButPrevClick(mPerAfter);
}

void TFormMain::CbPerClick(TObject *)
{
    TMenuItem *items[] = {mTotal, mYear, mQuart, mMonth, mWeek, mDay};
    items[PeriodKind()]->SetChecked(true);
    mpUp->SetVisible(PeriodKind() == pkDay);
    mpDown->SetVisible(PeriodKind() == pkDay);
    ApplyLedgerPeriod();
}

void TFormMain::mTotalClick(TObject *Sender)
{
    auto *item = dynamic_cast<TMenuItem *>(Sender);
    if (!item)
        return;
    item->SetChecked(true);
    CbPer->SetItemIndex(item->MenuIndex());
    mpUp->SetVisible(PeriodKind() == pkDay);
    mpDown->SetVisible(PeriodKind() == pkDay);
    ApplyLedgerPeriod();
}

TDateTime TFormMain::AskDate(TDateTime Date) { return PickDate(false, true, Date); }

// ---------------------------------------------------------------- pages

void TFormMain::mMoneyViewClick(TObject *Sender)
{
    if (const auto *component = dynamic_cast<TComponent *>(Sender))
        ShowPage(component->Tag());
}

void TFormMain::ShowPage(int Index)
{
    if (Index < 0 || Index > 3)
        return;
    TMenuItem *items[] = {mMoneyView, mPersonView, mFirmView, mRemindView};
    TSpeedButton *buttons[] = {ButMoney, ButFace, ButFirm, ButLog};
    items[Index]->SetChecked(true);
    buttons[Index]->SetDown(true);
    PostAllTables();
    Pg->SetActivePageIndex(Index);
    PgChange(Pg);
    const bool money = Index == 0;
    mCategory->SetVisible(money && PanD->Visible());
    mMoney->SetVisible(money);
    mAccounts->SetVisible(money);
    Dm->UpdateMenus();
    // The firm's people follow the popup's check mark on the firms page and are
    // closed elsewhere; the mark itself survives a change of page.
    ShowFirmPeople(Index == 2 && mpFirmPerson->Checked());
    Dm->FollowPerson();
}

void TFormMain::PgChange(TObject *)
{
    if (TTabSheet *page = Pg->ActivePage())
        TControl::AlignChildren(page);
}

// ---------------------------------------------------------------- operation order

void TFormMain::MoveOperationRow(bool Up)
{
    if (zorbel::MoveOperationRow(*Dm, Up))
        Dm->SetModified(true);
}

void TFormMain::mpUpClick(TObject *) { MoveOperationRow(true); }
void TFormMain::mpDownClick(TObject *) { MoveOperationRow(false); }

// ---------------------------------------------------------------- display formats and grids

void TFormMain::ApplyDisplayFormats()
{
    const TDisplayFormats f = MakeDisplayFormats(Format_Qnt, Format_Prc, Format_Rte);
    QntFormat = f.Qnt;
    PrcFormat = f.Prc;
    RteFormat = f.Rte;
    if (!Dm)
        return;
    const auto format = [](TDataSet &ds, const char *field, const QString &mask) {
        if (TField *f = ds.FindField(QString::fromLatin1(field)))
            f->SetDisplayFormat(mask);
    };
    for (const char *field : {"Qdt", "Qct", "Quant"})
        format(Dm->Tb_Hist, field, QntFormat);
    format(Dm->Tb_Hist, "Price", PrcFormat);
    format(Dm->Tb_Hist, "Rate", RteFormat);
    format(Dm->Tb_Account, "Rate", RteFormat);
    format(Dm->Qacn, "Rte", RteFormat);
    if (TField *date = Dm->Tb_Hist.FindField(QStringLiteral("Date_Real")))
        date->SetDisplayFormat(DateForm);
}

void TFormMain::PaintGridCell(TDBGrid *Grid, TGridDrawState State, TColumn *Column)
{
    TDataSet *row = Grid->DataSource() ? Grid->DataSource()->DataSet() : nullptr;
    if (!row || !Column)
        return;
    TCellPaintInput in;
    in.Tag = Grid->Tag();
    in.GridName = Grid->Name();
    in.FieldName = Column->FieldName();
    in.Selected = (State & gdSelected) != 0 && (State & gdFixed) == 0;
    in.Focused = (State & gdFocused) != 0;
    in.GridColor = Grid->Color() == clDefault ? clWindow : Grid->Color();
    in.GridFontColor = Grid->FontColor();
    in.Day1 = Day1;
    in.Day2 = Day2;
    in.RemFlag = Rem_Flag;
    in.Days = ReminderDays;
    const TCellPaint p = PaintCellColors(in, *row);
    TCanvas &canvas = Grid->Canvas();
    canvas.Brush.Color = p.Brush;
    canvas.FontColor = p.FontColor;
    if (p.Plain) {
        canvas.Font.setBold(false);
        canvas.Font.setItalic(false);
        canvas.Font.setUnderline(false);
        canvas.Font.setStrikeOut(false);
    }
    if (p.Bold)
        canvas.Font.setBold(true);
}

void TFormMain::DBGDrawColumnCell(TObject *Sender, const QRect &Rect, int DataCol, TColumn *Column,
                                  TGridDrawState State)
{
    auto *grid = dynamic_cast<TDBGrid *>(Sender);
    if (!grid)
        return;
    PaintGridCell(grid, State, Column);
    grid->DefaultDrawColumnCell(Rect, DataCol, Column, State);
}

void TFormMain::SetDefaultLedgerColumns()
{
    // name, width in pixels
    static constexpr std::pair<const char *, int> columns[] = {
        {"DATE_REAL", 80}, {"Category", 90}, {"Item", 90}, {"Article", 90}, {"Dt", 80},     {"Ct", 80},
        {"Price", 64},     {"Quant", 56},    {"Comment", 150}, {"Person", 90}, {"Firm", 90}, {"Ref_Acc", 90},
        {"Rate", 56},      {"DATE_CREATE", 120}};
    DBG->Columns().Clear();
    for (const auto &[name, width] : columns) {
        TColumn *c = DBG->Columns().Add();
        c->SetFieldName(QString::fromLatin1(name));
        c->SetWidth(width);
    }
}

QByteArray TFormMain::LedgerColumnsStream() const
{
    QStringList lines;
    for (int i = 0; i < DBG->Columns().Count(); ++i) {
        const TColumn *c = DBG->Columns()[i];
        // "Field=width|visible|title": a hidden column and a title of its own
        // are kept as well (the title last, so it may hold any character).
        if (!c->FieldName().isEmpty())
            lines << c->FieldName() + u'=' + QString::number(c->OwnWidth()) + u'|' + (c->Visible() ? u'1' : u'0') +
                         u'|' + QString(c->Title().Caption).replace(u'\n', u' ');
    }
    return lines.join(u'\n').toUtf8();
}

void TFormMain::ApplyLedgerColumns(const QByteArray &Stream)
{
    TDataSet *hist = DBG->DataSource() ? DBG->DataSource()->DataSet() : nullptr;
    struct TStored {
        QString Name;
        int Width;
        bool Visible;
        QString Title;
    };
    std::vector<TStored> columns;
    for (const QString &line : QString::fromUtf8(Stream).split(u'\n', Qt::SkipEmptyParts)) {
        const QString name = line.section(u'=', 0, 0).trimmed();
        const QString rest = line.section(u'=', 1);
        bool ok = false;
        const int width = rest.section(u'|', 0, 0).trimmed().toInt(&ok);
        const bool visible = rest.section(u'|', 1, 1).trimmed() != u"0";
        const QString title = rest.section(u'|', 2);
        if (hist && hist->FindField(name) && ok)
            columns.push_back({name, width > 0 ? width : 20, visible, title});
    }
    if (columns.empty()) {
        SetDefaultLedgerColumns();
        return;
    }
    DBG->Columns().Clear();
    for (const TStored &s : columns) {
        TColumn *c = DBG->Columns().Add();
        c->SetFieldName(s.Name);
        c->SetWidth(s.Width);
        c->SetVisible(s.Visible);
        if (!s.Title.isEmpty())
            c->SetTitleCaption(s.Title);
    }
}

void TFormMain::ApplyColumnLayout(TDBGrid *Grid, bool Apply, QString &Layout)
{
    zorbel::ApplyColumnLayout(Grid, Apply, Layout);
}

} // namespace zorbel
