// What the monthly, yearly, future-days and limits windows take from the
// main window: the current account as a scope, the ledger grid's fonts, and
// a speed button with a text face.
#pragma once

#include "analysis/ZorbAnalysisTables.h"
#include "platform/widgets/Buttons.h"
#include "platform/widgets/DBGrids.h"

namespace zorbel {

class TFormMain;

// The main window's current account (id, currency), with the choice of
// every account of its currency and of leaving transfers out.
TAccountScope CurrentAccountScope(const TFormMain &Main, bool SameCurrency, bool NoTransfers);
// The current account's opening balance.
double CurrentAccountBeg(const TFormMain &Main);
// The ledger grid's data and title fonts, each capped at size 10.
void TakeLedgerFonts(const TFormMain &Main, TDBGrid *Grid);
// A small speed button at Left on its parent's top row.
TSpeedButton *TopButton(QWidget *Parent, const char *Name, const QString &Caption, const QString &Hint, int Left,
                        int Width = 25);

// The picture of the "save to a file" buttons.
QPixmap SaveGlyph();

// The notice's first line when a chart cannot be printed, and its reason
// when the printer or the print file refused the document.
extern const QString ChartPrintFailedText;
extern const QString ChartNotPrintedReason;

class TDBChart;
// The print dialog of the charts on the application's printer: its printers
// and a PDF file; true when confirmed, the printer then printing where the
// user chose.
bool RunChartPrintDialog(QWidget *Parent);
// Prints Chart on the application's printer, landscape when the printer is
// set so. A chart that could not be printed is said so; when the user keeps
// the existing print file nothing is printed and nothing said.
void PrintChartOnPrinter(TDBChart &Chart);

} // namespace zorbel
