// The future days window (see ZorbDays.h); the list is computed by FillDays
// of ZorbDaysCalc.
#include "analysis/ZorbDays.h"

#include "analysis/ZorbAnalysisForms.h"
#include "analysis/ZorbDaysCalc.h"
#include "core/ZorbDm.h"
#include "core/ZorbMain.h"
#include "core/ZorbText.h"
#include "core/TulnDlg.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Money.h"

namespace zorbel {

const QString DaysReadFailedText = U("Не удалось прочитать операции счёта: будущие дни не показаны.\n");

TFormDays::TFormDays(TFormMain &Main) : main_(Main)
{
    SetName(QStringLiteral("FormDays"));
    SetCaption(U("Будущие дни с учётом планов"));
    SetKeyPreview(true);
    SetBounds(Main.Days_Left, Main.Days_Top, Main.Days_Width, Main.Days_Height);
    OpenDaysTable(TbDays);
    DBGDays = new TDBGrid(this, QStringLiteral("DBGDays"));
    DBGDays->SetAlign(TAlign::alClient);
    DBGDays->SetTag(1);
    DBGDays->SetReadOnly(true);
    DBGDays->SetOptions({dgTitles, dgIndicator, dgColumnResize, dgColLines, dgRowLines, dgTabs, dgRowSelect, dgAlwaysShowSelection});
    DBGDays->SetDataSource(&DataDays);
    // Four columns that fit the small window.
    for (const auto &[field, width] : {std::pair{"Date_Real", 80}, {"Dt", 85}, {"Ct", 85}, {"Rest", 95}}) {
        TColumn *c = DBGDays->Columns().Add();
        c->SetFieldName(QString::fromLatin1(field));
        c->SetWidth(width);
    }
    TakeLedgerFonts(Main, DBGDays);
    // The window grows with its columns (a balance widened at a large font
    // ran under the scroll bar).
    DBGDays->OnColumnWidths = [this](TObject *) { WidenFormToGrid(*this, *DBGDays); };

    OnShow = [this](TObject *) {
        StartDay = Date();
        FillDays();
    };
    OnClose = [this](TObject *, TCloseAction &) {
        main_.Days_Left = Left();
        main_.Days_Top = Top();
        main_.Days_Width = Width();
        main_.Days_Height = Height();
    };
    OnKeyDown = [this](TObject *, WORD &Key, TShiftState) {
        if (Key == VK_ESCAPE)
            Close();
    };
    DBGDays->OnDblClick = [this](TObject *) { SetModalResult(mrOk); };
    DBGDays->OnKeyPress = [this](TObject *, QChar &Key) {
        if (Key == u'\r') {
            Key = QChar();
            SetModalResult(mrOk);
        }
    };
    DBGDays->OnDrawColumnCell = [this](TObject *, const QRect &Rect, int DataCol, TColumn *Column,
                                       TGridDrawState State) {
        main_.PaintGridCell(DBGDays, State, Column);
        DBGDays->DefaultDrawColumnCell(Rect, DataCol, Column, State);
    };
    DoCreate();
}

TFormDays::~TFormDays()
{
    DBGDays->SetDataSource(nullptr);
    DoDestroy();
}

void TFormDays::FillDays()
{
    SetCaption(U("Будущие дни с учётом планов"));
    TbDays.DisableControls();
    int64_t start = 0;
    try {
        start = zorbel::FillDays(main_.Dm->Db, CurrentAccountScope(main_, false, false).AccountId,
                                 CurrentAccountBeg(main_), StartDay, TbDays, &main_.Dm->HistSums);
    } catch (const Exception &e) {
        // The list stays empty and the caption names no balance: a figure
        // read from a part of the rows would be wrong.
        TbDays.EnableControls();
        ShowNotice(DaysReadFailedText + e.Message(), false);
        return;
    }
    TbDays.EnableControls();
    if (TbDays.Active() && !TbDays.IsEmpty())
        SetCaption(U("Начальный остаток = ") + FormatFloat(QStringLiteral("#,##0.00"), UnitsToMoney(start)));
}

bool ChooseFutureDay(TFormMain &Main, TDateTime &Day)
{
    TFormDays form(Main);
    if (form.ShowModal() != mrOk || !form.TbDays.Active() || form.TbDays.IsEmpty())
        return false;
    const TField *date = form.TbDays.FieldByName(QStringLiteral("Date_Real"));
    if (date->IsNull())
        return false;
    Day = date->AsDateTime();
    return true;
}

} // namespace zorbel
