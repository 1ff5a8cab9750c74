// The print dialog of the report engine: runs the desktop's print dialog on a
// printer (copies, page range, printer choice, collation) and hands back the
// chosen printer and its device settings.
#pragma once

#include "platform/canvas/Printers.h"
#include "platform/widgets/Classes.h"

#include <QString>
#include <functional>

class QPrintDialog;

namespace zorbel {

// Options of the print dialog.
using TPrintDialogOptions = unsigned;
constexpr TPrintDialogOptions poPrintToFile = 1, poPageNums = 2, poSelection = 4, poWarning = 8, poHelp = 16,
                              poDisablePrintToFile = 32;

enum class TPrintRange { prAllPages, prSelection, prPageNums };

// A dialog run modally over the application's windows.
class TRepCommonDialog : public TComponent {
public:
    virtual ~TRepCommonDialog() = default;
    bool Ctl3D = true;
    int HelpContext = 0;
    TNotifyEvent OnClose, OnShow;
    // True when the user confirmed.
    virtual bool Execute() = 0;
};

class TRepBasePrintDialog : public TRepCommonDialog {
public:
    // The dialog sets up this printer (the application's printer by default).
    explicit TRepBasePrintDialog(TPrinter *printer = nullptr);
    TPrinter &PrinterObject() const { return *printer_; }
    // Names of the printer being set up: device, driver and port.
    QString Device, Driver, Port;

protected:
    TPrinter *printer_;
};

class TRepPrintDialog : public TRepBasePrintDialog {
public:
    using TRepBasePrintDialog::TRepBasePrintDialog;

    bool Duplex = false;
    int DuplexCode = 0;   // 1 simplex, 2 long side, 3 short side
    int OutputBin = 0;    // paper source code
    int PaperSize = 0;    // paper code (see kRepPapers)
    double Paperwidth = 0, Paperlength = 0; // 0.1 mm
    int Collate = 0;      // non-zero: collated copies
    int Copies = 1;
    int FromPage = 0, ToPage = 0;
    int MinPage = 0, MaxPage = 0;
    int PrintQuality = 0; // dots per inch
    int ColorOption = 0;  // 1 monochrome, 2 colour
    TPrintDialogOptions Options = 0;
    bool PrintToFile = false;
    TPrintRange PrintRange = TPrintRange::prAllPages;
    int Orientation = 1;  // 1 portrait, 2 landscape
    int FieldMask = 0;    // which device settings were read

    // Runs the dialog; on confirmation takes the user's choices into the
    // printer and the properties. A cancelled dialog changes nothing.
    bool Execute() override;
    // Copies Copies into the printer as well.
    void SetCopies(int copies);

private:
    // The PDF file device is among the printers offered.
    bool FileDeviceOffered() const;
    void Configure(QPrintDialog &dialog) const;
    void TakeResult(const QPrintDialog &dialog);
};

// Device-settings fields the dialog reports (a mask of them is in FieldMask).
constexpr int dmOrientation = 0x1, dmPaperSize = 0x2, dmPaperLength = 0x4, dmPaperWidth = 0x8,
              dmCopies = 0x100, dmDefaultSource = 0x200, dmPrintQuality = 0x400, dmColor = 0x800,
              dmDuplex = 0x1000, dmCollate = 0x8000;

class TCustomBandReport;
// A report's printer set-up: the print dialog on the application's printer
// with the report's settings; the choices go into the report's settings and
// its DialogSettings (a PDF file chosen there is the report's OutputFile;
// the application's printer keeps its own); Tag 1 when cancelled, 0 when
// confirmed.
void RunReportPrinterSetup(TCustomBandReport &report);

// Where the dialog appears: centred across, a third of the free height above.
QPoint RepDialogPlace(const QSize &dialog, const QSize &screen);

// The text the "no printer" warning shows (English, as the engine's windows).
QString RepNoPrinterText();

// Asks whether an existing print file may be replaced (TPrinter's
// ReplaceQuestion, which RegisterReportWindows sets to this): "Yes" true.
bool AskReplacePrintFile(const QString &fileName);

} // namespace zorbel
