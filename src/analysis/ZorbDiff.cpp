// The year by category window (see ZorbDiff.h).
#include "analysis/ZorbDiff.h"

#include "analysis/ZorbAnalysisForms.h"
#include "analysis/ZorbDiffCalc.h"
#include "core/ZorbDm.h"
#include "core/ZorbMain.h"
#include "core/ZorbText.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Money.h"

namespace zorbel {

TFormDiff::TFormDiff(TFormMain &Main) : main_(Main)
{
    SetName(QStringLiteral("FormDiff"));
    SetCaption(U("Постатейно-месячные итоги за год"));
    SetKeyPreview(true);
    SetBounds(Main.Diff_Left, Main.Diff_Top, Main.Diff_Width, Main.Diff_Height);
    if (Main.Diff_Max)
        SetWindowState(TWindowState::wsMaximized);

    PanTop = new TPanel(this, QStringLiteral("PanTop"));
    PanTop->SetAlign(TAlign::alTop);
    PanTop->SetHeight(31);
    ButPrev = TopButton(PanTop, "ButPrev", U("◄"), U("Предыдущий год  (Shift+F1)"), 4);
    ButPrev->SetTag(1);
    PanDate = new TPanel(PanTop, QStringLiteral("PanDate"));
    PanDate->SetBounds(30, 3, 60, 25);
    PanDate->SetBevelOuter(TBevelCut::bvLowered);
    PanDate->SetHint(U("Выбранный год"));
    ButNext = TopButton(PanTop, "ButNext", U("►"), U("Следующий год (Shift+F2)"), 91);
    ButNext->SetTag(2);
    CbAcc = new TComboBox(PanTop, QStringLiteral("CbAcc"));
    CbAcc->SetStyle(TComboBoxStyle::csDropDownList);
    CbAcc->Items().Add(U("Текущий счёт"));
    CbAcc->Items().Add(U("Счета с этой валютой"));
    CbAcc->SetBounds(124, 4, 160, 22);
    Rb1 = new TRadioButton(PanTop, QStringLiteral("Rb1"));
    Rb2 = new TRadioButton(PanTop, QStringLiteral("Rb2"));
    Rb3 = new TRadioButton(PanTop, QStringLiteral("Rb3"));
    int left = 294;
    for (TRadioButton *rb : {Rb1, Rb2, Rb3}) {
        const int n = rb == Rb1 ? 1 : rb == Rb2 ? 2 : 3;
        rb->SetCaption(QString::number(n));
        rb->SetHint(U("Уровень детализации %1 (Ctrl+%1)").arg(n));
        rb->SetBounds(left, 7, 34, 17);
        left += 36;
    }
    ButSum = TopButton(PanTop, "ButSum", U("Σ"), U("Показать итоговые суммы"), 404);
    ButSum->SetGroupIndex(1);
    ButSum->SetAllowAllUp(true);
    ButExport = TopButton(PanTop, "ButExport", QString(), U("Сохранить в файл... (Ctrl+S)"), 432);
    ButExport->SetGlyph(SaveGlyph());
    ChTrans = new TCheckBox(PanTop, QStringLiteral("ChTrans"));
    ChTrans->SetCaption(U("Исключить Переводы"));
    ChTrans->SetBounds(466, 7, 160, 17);

    Sb = new TStatusBar(this, QStringLiteral("Sb"));
    Sb->SetAlign(TAlign::alBottom);
    const std::pair<const char *, int> panels[] = {{"Статей", 60}, {"", 100}, {"Итого", 60}, {"", 200}, {"", 50}};
    for (const auto &[text, width] : panels)
        Sb->AddPanel(width, U(text));

    OpenDiffTable(TbY);
    DBGY = new TDBGrid(this, QStringLiteral("DBGY"));
    DBGY->SetAlign(TAlign::alClient);
    DBGY->SetReadOnly(true);
    DBGY->SetOptions({dgTitles, dgIndicator, dgColumnResize, dgColLines, dgRowLines, dgTabs, dgRowSelect, dgAlwaysShowSelection});
    DBGY->SetDataSource(&DataY);
    TakeLedgerFonts(Main, DBGY);

    DetailLevel = Main.DiffLev >= 1 && Main.DiffLev <= 3 ? Main.DiffLev : 1;
    CbAcc->SetItemIndex(Main.DiffAcc ? 1 : 0);
    ButSum->SetDown(Main.DiffSum);
    int y, m, d;
    DecodeDate(Main.EntryDate, y, m, d);
    ShownYear = y;
    PanDate->SetCaption(QString::number(ShownYear));

    auto recompute = [this](TObject *) { ComputeYearItemTotals(); };
    CbAcc->OnClick = recompute;
    ButSum->OnClick = recompute;
    for (TRadioButton *rb : {Rb1, Rb2, Rb3})
        rb->OnClick = [this](TObject *s) { Rb1Click(s); };
    ButPrev->OnClick = [this](TObject *) { StepYear(true); };
    ButNext->OnClick = [this](TObject *) { StepYear(false); };
    ChTrans->OnClick = [this](TObject *) {
        ChTrans->SetColor(ChTrans->Checked() ? clRed : PanTop->Color());
        ComputeYearItemTotals();
    };
    PanDate->OnClick = [this](TObject *s) { PanDateClick(s); };
    DBGY->OnDblClick = [this](TObject *s) { DBGYDblClick(s); };
    ButExport->OnClick = [this](TObject *s) { ButExportClick(s); };
    DataY.OnDataChange = [this](TDataSource *, TField *) {
        ButExport->SetEnabled(TbY.Active() && !TbY.IsEmpty());
    };
    DBGY->OnDrawColumnCell = [this](TObject *s, const QRect &r, int c, TColumn *col, TGridDrawState st) {
        DBGYDrawColumnCell(s, r, c, col, st);
    };
    OnKeyDown = [this](TObject *s, WORD &k, TShiftState sh) { FormKeyDown(s, k, sh); };
    OnShow = [this](TObject *) {
        if (!main_.Col_Diff.isEmpty())
            main_.ApplyColumnLayout(DBGY, true, main_.Col_Diff);
        showing_ = true;
        (DetailLevel == 3 ? Rb3 : DetailLevel == 2 ? Rb2 : Rb1)->SetChecked(true);
        showing_ = false;
        ComputeYearItemTotals();
    };
    OnClose = [this](TObject *, TCloseAction &) {
        main_.Diff_Max = WindowState() == TWindowState::wsMaximized;
        if (!main_.Diff_Max) {
            main_.Diff_Left = Left();
            main_.Diff_Top = Top();
            main_.Diff_Width = Width();
            main_.Diff_Height = Height();
        }
        main_.DiffLev = DetailLevel;
        main_.DiffAcc = CbAcc->ItemIndex() == 1;
        main_.DiffSum = ButSum->Down();
        main_.ApplyColumnLayout(DBGY, false, main_.Col_Diff);
        // The year's query is a local one, closed as soon as it has filled
        // the table, so only the table is left to close.
        if (TbY.Active()) {
            TbY.EmptyTable();
            TbY.Close();
        }
    };
    DoCreate();
}

TFormDiff::~TFormDiff()
{
    DBGY->SetDataSource(nullptr);
    DoDestroy();
}

void TFormDiff::Rb1Click(TObject *)
{
    DetailLevel = Rb3->Checked() ? 3 : Rb2->Checked() ? 2 : 1;
    if (!showing_)
        ComputeYearItemTotals();
}

void TFormDiff::ComputeYearItemTotals()
{
    Sb->SetPanelText(1, QString());
    Sb->SetPanelText(3, QString());
    TField *itm = TbY.FieldByName(QStringLiteral("Itm"));
    const QString remembered = TbY.IsEmpty() ? QString() : itm->AsString();
    TDiffOutcome outcome;
    {
        TbY.DisableControls();
        struct TEnable {
            TVemtMemTable &t;
            ~TEnable() { t.EnableControls(); }
        } enable{TbY};
        TDiffOptions options{ShownYear, DetailLevel,
                             CurrentAccountScope(main_, CbAcc->ItemIndex() == 1, ChTrans->Checked()),
                             ButSum->Down()};
        outcome = zorbel::ComputeYearItemTotals(main_.Dm->Db, options, TbY);

        // Back to the remembered row, or to its parent category.
        bool found = !remembered.isEmpty() && TbY.Locate(QStringLiteral("Itm"), remembered, {});
        if (!found && !remembered.isEmpty())
            found = TbY.Locate(QStringLiteral("Itm"), remembered, {loPartialKey});
        QString cut = remembered;
        for (int k = 0; k < 2 && !found && cut.contains(u':'); ++k) {
            cut = cut.left(cut.lastIndexOf(u':'));
            found = TbY.Locate(QStringLiteral("Itm"), cut, {});
        }
        if (!found) {
            TbY.First();
            if (ButSum->Down() && !TbY.IsEmpty() && itm->AsString() == QStringLiteral(" "))
                TbY.Next();
        }
    }
    Sb->SetPanelText(1, QString::number(outcome.Count));
    Sb->SetPanelText(3, FormatFloat(QStringLiteral("#,##0.00"), UnitsToMoney(outcome.GrandTotal)).trimmed());
}

void TFormDiff::StepYear(bool Back)
{
    ShownYear += Back ? -1 : 1;
    PanDate->SetCaption(QString::number(ShownYear));
    ComputeYearItemTotals();
}

void TFormDiff::PanDateClick(TObject *)
{
    TTable &hist = main_.Dm->Tb_Hist;
    if (!hist.Active() || hist.IsEmpty())
        return;
    const TField *date = hist.FieldByName(QStringLiteral("Date_Real"));
    if (date->IsNull())
        return;
    int y, m, d;
    DecodeDate(date->AsDateTime(), y, m, d);
    ShownYear = y;
    PanDate->SetCaption(QString::number(ShownYear));
    ComputeYearItemTotals();
}

void TFormDiff::DBGYDblClick(TObject *)
{
    (DetailLevel == 1 ? Rb2 : DetailLevel == 2 ? Rb3 : Rb1)->SetChecked(true);
}

void TFormDiff::ButExportClick(TObject *)
{
    if (TbY.Active() && !TbY.IsEmpty())
        main_.SaveGridToFile(DBGY);
}

void TFormDiff::FormKeyDown(TObject *, WORD &Key, TShiftState Shift)
{
    const TShiftState mods = KeyModifiers(Shift);
    if (Key == VK_ESCAPE) {
        Close();
    } else if (mods == ssShift && (Key == VK_F1 || Key == VK_F2)) {
        StepYear(Key == VK_F1);
        Key = 0;
    } else if (mods == ssCtrl && (Key == 'S' || Key == VK_F4)) {
        ButExportClick(this);
        Key = 0;
    } else if (mods == ssCtrl && Key >= '1' && Key <= '3') {
        (Key == '1' ? Rb1 : Key == '2' ? Rb2 : Rb3)->SetChecked(true);
        Key = 0;
    }
}

void TFormDiff::DBGYDrawColumnCell(TObject *, const QRect &Rect, int DataCol, TColumn *Column, TGridDrawState State)
{
    TCanvas &canvas = DBGY->Canvas();
    const bool totals = ButSum->Down() && TbY.FieldByName(QStringLiteral("Itm"))->AsString() == QStringLiteral(" ");
    const TField *field = Column->Field();
    const bool isFloat = field && field->DataType() == ftFloat && !field->IsNull();
    const double value = isFloat ? field->AsFloat() : 0;
    if (totals) {
        canvas.Brush.Color = clBtnFace;
        canvas.Font.setBold(true);
    }
    if (isFloat && value != 0)
        canvas.FontColor = value < 0 ? TColor(0x0000D7) : TColor(0x800000);
    if (!totals && field && field->FieldName() == QStringLiteral("SmRs"))
        canvas.Brush.Color = clInfoBk;
    if (State & gdSelected) {
        canvas.Brush.Color = clHighlight;
        if (!totals)
            canvas.FontColor = clHighlightText;
        if (isFloat && value != 0)
            canvas.FontColor = value < 0 ? TColor(0x82C0FF) : TColor(0xFFFF00);
    }
    DBGY->DefaultDrawColumnCell(Rect, DataCol, Column, State);
}

void OpenYearWindow(TFormMain &Main)
{
    TFormDiff form(Main);
    form.ShowModal();
}

} // namespace zorbel
