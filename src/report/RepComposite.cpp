// The composite run: one BeginDoc, then each report's run in composite mode
// (it neither begins nor ends the document), handing on the position, the
// page count and the column, then one EndDoc. The first report starts at the
// foot of an imaginary page 0, so its first band opens page 1.
#include "report/RepComposite.h"

#include "report/RepLayout.h"

#include <cmath>

namespace zorbel {
namespace {
int Round(double v) { return int(std::lround(v)); }
} // namespace

TRepCompositeReport::TRepCompositeReport() = default;

TRepCompositeReport::~TRepCompositeReport()
{
    if (printer_ && printer_->OwnerReport == &target_)
        printer_->OwnerReport = nullptr;
}

void TRepCompositeReport::SetPrinter(TRepPrinter *printer)
{
    ReleasePrinter();
    printer_ = printer;
}

void TRepCompositeReport::ReleasePrinter()
{
    if (printer_ && printer_->OwnerReport == &target_)
        printer_->OwnerReport = nullptr;
    printer_ = nullptr;
    ownPrinter_.reset();
}

void TRepCompositeReport::ApplyPrinterSettings()
{
    const TRepCompositePrinterSettings &s = PrinterSettings;
    if (s.PrinterIndex >= 0)
        printer_->SetPrinterIndex(s.PrinterIndex);
    printer_->SetPaperSize(s.PaperSize);
    printer_->SetOrientation(s.Orientation == poLandscape);
    if (s.PaperSize == rpCustom || s.PaperSize == rpDefault) {
        // A paper the settings do not name takes the first layout's size.
        const TRepPage &page = Reports.front()->Page;
        printer_->SetPaperWidth(Round(page.Values[TRepPage::iWidth]));
        printer_->SetPaperLength(Round(page.Values[TRepPage::iLength]));
    }
    printer_->TakeSettings(s);
    printer_->SetOutputBin(s.OutputBin);
    printer_->Settings().UseStandardprinter = s.UseStandardprinter;
    if (s.Title.isEmpty())
        printer_->Title = ReportTitle;
}

void TRepCompositeReport::Run()
{
    Reports.clear();
    if (!printer_ || (ownPrinter_ && ownPrinter_->Status() != TRepStatus::Idle)) {
        // Each run records into a fresh printer of its own.
        ownPrinter_ = std::make_unique<TRepPrinter>();
        printer_ = ownPrinter_.get();
    }
    printer_->OwnerReport = &target_;
    if (PrinterSettings.PrinterIndex >= 0)
        printer_->SetPrinterIndex(PrinterSettings.PrinterIndex);
    if (OnAddReports)
        OnAddReports(*this);
    if (!Reports.empty()) {
        ApplyPrinterSettings();
        printer_->BeginDoc();
        TCustomBandReport &first = *Reports.front();
        first.SetUnits(TRepUnit::Native);
        int y = Round(first.Page.Values[TRepPage::iLength]);
        int pages = 0, column = 0;
        bool cancelled = false;
        running_ = true;
        for (size_t i = 0; i < Reports.size() && !cancelled; ++i) {
            TCustomBandReport &report = *Reports[i];
            const int tag = report.Tag;
            report.SetExportFilter(nullptr);
            report.RepPrinter = printer_;
            report.CurrentY = y;
            report.CurrentPage = pages;
            report.CurrentColumn = column;
            // The last report ends the last page (its page footer, the end of
            // the export).
            if (i + 1 == Reports.size())
                report.Tag = 999;
            current_ = &report;
            try {
                report.CreateReport(true);
            } catch (...) {
                report.Tag = tag;
                current_ = nullptr;
                running_ = false;
                printer_->AbortDoc();
                throw;
            }
            report.Tag = tag;
            if (report.RunCancelled) {
                cancelled = true;
                break;
            }
            if (OnFinished)
                OnFinished(&report);
            y = report.CurrentY;
            pages = report.CurrentPage;
            column = report.CurrentColumn;
        }
        current_ = nullptr;
        if (cancelled) {
            if (printer_->Status() == TRepStatus::Busy)
                printer_->AbortDoc();
            ReleasePrinter();
        } else {
            printer_->EndDoc();
        }
        running_ = false;
    }
    if (OnFinished)
        OnFinished(nullptr);
}

void TRepCompositeReport::Print()
{
    Reports.clear();
    if (OnAddReports)
        OnAddReports(*this);
    if (Reports.empty())
        return;
    const TRepPage &page = Reports.front()->Page;
    auto device = std::make_unique<TRepPrinter>();
    device->SetOrientation(page.Orientation() == poLandscape);
    device->SetDestination(TRepDestination::Printer);
    PrinterSettings.Orientation = page.Orientation();
    PrinterSettings.PaperSize = page.PaperSize();
    TRepPrinter *previous = printer_;
    std::unique_ptr<TRepPrinter> previousOwn = std::move(ownPrinter_);
    printer_ = device.get();
    struct Restore {
        TRepCompositeReport &c;
        TRepPrinter *previous;
        std::unique_ptr<TRepPrinter> &previousOwn;
        ~Restore()
        {
            c.ReleasePrinter();
            c.printer_ = previous;
            c.ownPrinter_ = std::move(previousOwn);
        }
    } restore{*this, previous, previousOwn};
    Run();
}

void TRepCompositeReport::WMPreviewClosed()
{
    if (running_) {
        if (current_)
            current_->Cancel();
    } else {
        ReleasePrinter();
    }
}

void TRepCompositeReport::TMessageTarget::PostMessage(unsigned msg, intptr_t, intptr_t)
{
    if (msg == RP_PREVIEWCLOSED)
        owner_.WMPreviewClosed();
    else if (msg == RP_PRINTAGAIN)
        owner_.Print();
}

void TRepCompositeReport::TMessageTarget::SendMessage(unsigned msg, intptr_t wParam, intptr_t lParam)
{
    PostMessage(msg, wParam, lParam);
}

} // namespace zorbel
