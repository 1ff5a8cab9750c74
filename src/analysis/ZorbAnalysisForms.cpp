// Shared pieces of the analysis windows (see ZorbAnalysisForms.h).
#include "analysis/ZorbAnalysisForms.h"

#include "core/TulnDlg.h"
#include "core/ZorbDm.h"
#include "core/ZorbMain.h"
#include "platform/canvas/Printers.h"
#include "platform/chart/Chart.h"

#include <QApplication>
#include <QPrintDialog>
#include <QStyle>

namespace zorbel {

const QString ChartPrintFailedText = QString::fromUtf8("Диаграмма не напечатана.\n");
const QString ChartNotPrintedReason = QString::fromUtf8("Принтер недоступен, или файл печати не может быть создан.");

bool RunChartPrintDialog(QWidget *Parent)
{
    QPrintDialog dialog(&Printer().Device(), Parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    Printer().TakeDeviceChoice();
    return true;
}

void PrintChartOnPrinter(TDBChart &Chart)
{
    TPrinter &printer = Printer();
    if (printer.Available() && !printer.MayBeginDoc())
        return; // the user keeps the file
    try {
        if (!Chart.Print(printer, printer.Device().pageLayout().orientation() == QPageLayout::Landscape))
            ShowNotice(ChartPrintFailedText + ChartNotPrintedReason, false);
    } catch (const Exception &e) {
        ShowNotice(ChartPrintFailedText + e.Message(), false);
    }
}

TAccountScope CurrentAccountScope(const TFormMain &Main, bool SameCurrency, bool NoTransfers)
{
    TTable &acc = Main.Dm->Tb_Account;
    return {acc.FieldByName(QStringLiteral("Id_Account"))->AsInteger(),
            acc.FieldByName(QStringLiteral("Currency"))->AsString(), SameCurrency, NoTransfers};
}

double CurrentAccountBeg(const TFormMain &Main)
{
    return Main.Dm->Tb_Account.FieldByName(QStringLiteral("Beg"))->AsFloat();
}

void TakeLedgerFonts(const TFormMain &Main, TDBGrid *Grid)
{
    auto capped = [](QFont font) {
        if (font.pointSize() > 10)
            font.setPointSize(10);
        return font;
    };
    Grid->SetFont(capped(Main.GridFont));
    Grid->SetTitleFont(capped(Main.TitleFont));
}

TSpeedButton *TopButton(QWidget *Parent, const char *Name, const QString &Caption, const QString &Hint, int Left,
                        int Width)
{
    auto *b = new TSpeedButton(Parent, QString::fromLatin1(Name));
    b->SetCaption(Caption);
    b->SetHint(Hint);
    b->SetBounds(Left, 3, Width, 25);
    return b;
}

QPixmap SaveGlyph()
{
    return QApplication::style()->standardIcon(QStyle::SP_DialogSaveButton).pixmap(16, 16);
}

} // namespace zorbel
