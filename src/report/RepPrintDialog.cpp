// The print dialog over Qt's print dialog, which stands in for the desktop's.
#include "report/RepPrintDialog.h"

#include "platform/rtl/Exceptions.h"
#include "platform/system/SysNames.h"
#include "platform/widgets/Forms.h"
#include "platform/widgets/StdCtrls.h"
#include "report/RepPrinter.h"
#include "report/RepReport.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QPointer>
#include <QPrintDialog>
#include <QScreen>

namespace zorbel {

namespace {

// Places the dialog when it first shows and reports showing and closing.
class TDialogWatch : public QObject {
public:
    TDialogWatch(TRepCommonDialog &owner, QDialog &dialog) : owner_(owner), dialog_(dialog)
    {
        dialog.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == &dialog_ && event->type() == QEvent::Show && !shown_) {
            shown_ = true;
            const QScreen *screen = dialog_.screen() ? dialog_.screen() : QGuiApplication::primaryScreen();
            const QRect area = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
            dialog_.move(area.topLeft() + RepDialogPlace(dialog_.frameGeometry().size(), area.size()));
            if (owner_.OnShow)
                owner_.OnShow(&owner_);
        } else if (watched == &dialog_ && event->type() == QEvent::Hide && shown_) {
            shown_ = false;
            if (owner_.OnClose)
                owner_.OnClose(&owner_);
        }
        return false;
    }

private:
    TRepCommonDialog &owner_;
    QDialog &dialog_;
    bool shown_ = false;
};

} // namespace

QPoint RepDialogPlace(const QSize &dialog, const QSize &screen)
{
    return {(screen.width() - dialog.width()) / 2, (screen.height() - dialog.height()) / 3};
}

QString RepNoPrinterText() { return QStringLiteral("No printers are installed."); }

namespace {

// The question before a print replaces a file: the file's name and the
// buttons "Да" and "Нет" (Escape and the title bar say no).
class TReplaceFileBox : public TForm {
public:
    explicit TReplaceFileBox(const QString &fileName)
    {
        SetName(QStringLiteral("RepReplaceFile"));
        SetCaption(QStringLiteral("Печать"));
        SetBorderStyle(TFormBorderStyle::bsDialog);
        SetPosition(TPosition::poScreenCenter);
        auto *message = new TLabel(this, QStringLiteral("Message"));
        message->SetCaption(QStringLiteral("Файл уже существует:\n%1\nЗаменить его?").arg(fileName));
        const QFontMetrics m(message->font());
        const QSize text = m.boundingRect(QRect(0, 0, 4000, 4000), Qt::AlignLeft, message->Caption()).size();
        auto *yes = new TButton(this, QStringLiteral("Yes"));
        yes->SetCaption(QStringLiteral("Да"));
        yes->SetModalResult(mrYes);
        auto *no = new TButton(this, QStringLiteral("No"));
        no->SetCaption(QStringLiteral("Нет"));
        no->SetModalResult(mrNo);
        no->SetCancel(true);
        no->SetDefault(true);
        const int button = std::max(75, m.horizontalAdvance(QStringLiteral("Нет")) + 24);
        const int high = m.height() + 12;
        const int width = std::max(text.width(), 2 * button + 8) + 24;
        message->SetBounds(12, 12, text.width(), text.height());
        const int top = 12 + text.height() + 14;
        yes->SetBounds(width / 2 - button - 4, top, button, high);
        no->SetBounds(width / 2 + 4, top, button, high);
        ResizeClient(width, top + high + 12);
        SetActiveControl(no); // Enter keeps the file, whichever button has the focus first
        DoCreate();
    }
    ~TReplaceFileBox() override { DoDestroy(); }
};

} // namespace

bool AskReplacePrintFile(const QString &fileName)
{
    TReplaceFileBox box(ShownName(fileName));
    return box.ShowModal() == mrYes;
}

TRepBasePrintDialog::TRepBasePrintDialog(TPrinter *printer) : printer_(printer ? printer : &Printer()) {}

void TRepPrintDialog::SetCopies(int copies)
{
    Copies = copies;
    printer_->Device().setCopyCount(std::max(1, copies));
}

bool TRepPrintDialog::FileDeviceOffered() const { return !(Options & poDisablePrintToFile); }

void TRepPrintDialog::Configure(QPrintDialog &dialog) const
{
    QAbstractPrintDialog::PrintDialogOptions options = QAbstractPrintDialog::PrintCollateCopies |
                                                       QAbstractPrintDialog::PrintShowPageSize;
    // The PDF file device is offered beside the printers (it is the only
    // printer of a machine without one) unless printing to a file is off.
    if (FileDeviceOffered())
        options |= QAbstractPrintDialog::PrintToFile;
    if (Options & poPageNums)
        options |= QAbstractPrintDialog::PrintPageRange;
    if (Options & poSelection)
        options |= QAbstractPrintDialog::PrintSelection;
    dialog.setOptions(options);
    if (MinPage > 0 && MaxPage >= MinPage)
        dialog.setMinMax(MinPage, MaxPage);
    if (FromPage > 0 && ToPage >= FromPage)
        dialog.setFromTo(FromPage, ToPage);
    dialog.setPrintRange(PrintRange == TPrintRange::prSelection && (Options & poSelection)
                             ? QAbstractPrintDialog::Selection
                         : PrintRange == TPrintRange::prPageNums && (Options & poPageNums)
                             ? QAbstractPrintDialog::PageRange
                             : QAbstractPrintDialog::AllPages);
    QPrinter &device = printer_->Device();
    if (Collate)
        device.setCollateCopies(true);
    if (Orientation == 2)
        device.setPageOrientation(QPageLayout::Landscape);
    else if (Orientation == 1)
        device.setPageOrientation(QPageLayout::Portrait);
}

void TRepPrintDialog::TakeResult(const QPrintDialog &dialog)
{
    QPrinter &device = printer_->Device();
    // The printer follows the choice: a named printer or a file. Without a
    // choice (the dialog leaves the file name empty when its file box is
    // hidden) the printer keeps its device.
    const bool toFile = device.outputFormat() == QPrinter::PdfFormat && !device.outputFileName().isEmpty();
    const int index = int(printer_->Printers().indexOf(device.printerName()));
    if (toFile) {
        printer_->SetOutputFile(device.outputFileName());
        // The dialog asked before it took a file that exists.
        TPrinter::AgreedToReplace(printer_->OutputFile());
    } else if (index >= 0) {
        printer_->SetOutputFile(QString());
        printer_->SetPrinterIndex(index);
    } else {
        printer_->SetOutputFile(printer_->OutputFile());
    }
    PrintToFile = toFile && (Options & poPrintToFile) && !(Options & poDisablePrintToFile);
    switch (dialog.printRange()) {
    case QAbstractPrintDialog::Selection:
        PrintRange = TPrintRange::prSelection;
        break;
    case QAbstractPrintDialog::PageRange:
        PrintRange = TPrintRange::prPageNums;
        break;
    default:
        PrintRange = TPrintRange::prAllPages;
        break;
    }
    FromPage = dialog.fromPage();
    ToPage = dialog.toPage();

    TPrinterSettings chosen;
    chosen.SetPrinter(printer_);
    chosen.ReadDeviceSettings();
    Device = chosen.Device;
    Driver = chosen.Driver;
    Port = chosen.Port;
    // One copy from the dialog leaves the driver's own count in force.
    const int dialogCopies = std::max(1, device.copyCount());
    Copies = dialogCopies == 1 ? std::max(1, chosen.Copies) : dialogCopies;
    FieldMask = dmOrientation | dmPaperSize | dmPaperLength | dmPaperWidth | dmCopies | dmDefaultSource |
                dmPrintQuality | dmColor | dmDuplex | dmCollate;
    OutputBin = kRepBinValues[std::min<int>(chosen.OutputBin, 13)];
    PaperSize = chosen.PaperSize;
    Paperwidth = chosen.PaperWidth;
    Paperlength = chosen.PaperLength;
    Orientation = device.pageLayout().orientation() == QPageLayout::Landscape ? 2 : 1;
    PrintQuality = device.resolution();
    ColorOption = chosen.ColorOption;
    DuplexCode = chosen.ExtendedDuplex;
    Duplex = DuplexCode != 1;
    Collate = chosen.Collate;
}

bool TRepPrintDialog::Execute()
{
    if ((Options & poWarning) && printer_->Printers().isEmpty() && !FileDeviceOffered()) {
        Application().ShowException(ERepError(RepNoPrinterText()));
        return false;
    }
    // Everything the user changes in the dialog lands on the device only when
    // confirmed: the dialog works on a copy of the device's settings.
    QPrinter &device = printer_->Device();
    const QPageLayout layout = device.pageLayout();
    const int copies = device.copyCount();
    const bool collate = device.collateCopies();
    const QString outputName = device.outputFileName();
    const QPrinter::OutputFormat format = device.outputFormat();
    const QPrinter::DuplexMode duplex = device.duplex();
    const QPrinter::ColorMode color = device.colorMode();

    QPointer<QWidget> active = QApplication::activeWindow();
    QPrintDialog dialog(&device, active);
    Configure(dialog);
    TDialogWatch watch(*this, dialog);
    const bool confirmed = dialog.exec() == QDialog::Accepted;
    if (active)
        active->activateWindow();
    if (!confirmed) {
        device.setPageLayout(layout);
        device.setCopyCount(copies);
        device.setCollateCopies(collate);
        device.setOutputFormat(format);
        device.setOutputFileName(outputName);
        device.setDuplex(duplex);
        device.setColorMode(color);
        return false;
    }
    TakeResult(dialog);
    return true;
}

} // namespace zorbel

namespace zorbel {

void RunReportPrinterSetup(TCustomBandReport &report)
{
    TPrinter &printer = Printer();
    printer.SetPrinterIndex(report.PrinterSettings.PrinterIndex);
    // The dialog starts from the report's own file (none before its first
    // set-up), never from one another print named; the application's
    // printer gets its own back afterwards.
    struct TSharedFile {
        TPrinter &printer;
        const QString file;
        ~TSharedFile() { printer.SetOutputFile(file); }
    } shared{printer, printer.OutputFile()};
    printer.SetOutputFile(report.PrinterSettings.OutputFile);
    TRepPrintDialog dialog(&printer);
    const bool generated = report.RepPrinter && report.RepPrinter->Status() == TRepStatus::Ready;
    if (generated) {
        dialog.MinPage = dialog.FromPage = 1;
        dialog.MaxPage = dialog.ToPage = report.RepPrinter->RecordedPages();
    } else {
        dialog.MinPage = 0;
        dialog.MaxPage = 9999;
    }
    dialog.Options = poPageNums | poWarning;
    dialog.Orientation = report.Page.Orientation() == poLandscape ? 2 : 1;
    dialog.SetCopies(report.PrinterSettings.Copies);
    if (!dialog.Execute()) {
        report.Tag = 1;
        return;
    }
    report.PrinterSettings.Copies = dialog.Copies;
    report.PrinterSettings.PrinterIndex = printer.PrinterIndex();
    report.PrinterSettings.OutputFile = printer.OutputFile();
    report.Page.SetOrientation(dialog.Orientation == 2 ? poLandscape : poPortrait);
    TBandReportPrinterSettings &d = report.DialogSettings;
    d.UseCustomBinCode = true;
    d.CustomBinCode = dialog.OutputBin;
    d.ExtendedDuplex = dialog.DuplexCode;
    d.Duplex = dialog.Duplex;
    d.PrintQuality = dialog.PrintQuality;
    d.Collate = dialog.Collate;
    d.ColorOption = dialog.ColorOption;
    d.Copies = dialog.Copies;
    d.FirstPage = dialog.FromPage;
    d.LastPage = dialog.ToPage;
    d.OutputBin = report.PrinterSettings.OutputBin;
    d.CustomPaperCode = dialog.PaperSize;
    d.PrinterIndex = report.PrinterSettings.PrinterIndex;
    d.OutputFile = report.PrinterSettings.OutputFile;
    const bool range = dialog.PrintRange == TPrintRange::prPageNums;
    report.PrinterSettings.FirstPage = range ? dialog.FromPage : 0;
    report.PrinterSettings.LastPage = range ? dialog.ToPage : 0;
    report.Tag = 0;
}

} // namespace zorbel
