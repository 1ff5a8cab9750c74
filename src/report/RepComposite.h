// TRepCompositeReport: several band reports run one after another into one
// printer document. Each report starts where the previous one stopped: its
// position on the page, the page count (so page numbers run on) and the
// column are carried from report to report. Only the last report ends the
// last page, so its final page footer and summary close the document.
//
// The reports are not owned: OnAddReports fills Reports before every run.
// The composite printer is either given (SetPrinter, not owned) or, when none
// was given, made by the composite as a preview printer that records pages.
#pragma once

#include "report/RepPrinter.h"
#include "report/RepReport.h"

#include <functional>
#include <memory>
#include <vector>

namespace zorbel {

// The report settings of a printer plus the orientation and paper of the
// whole document.
class TRepCompositePrinterSettings : public TRepPrinterSettings {
public:
    TPrinterOrientation Orientation = poPortrait;
};

class TRepCompositeReport {
public:
    TRepCompositeReport();
    ~TRepCompositeReport();
    TRepCompositeReport(const TRepCompositeReport &) = delete;
    TRepCompositeReport &operator=(const TRepCompositeReport &) = delete;

    // Fills Reports (cleared before it is called).
    std::function<void(TRepCompositeReport &sender)> OnAddReports;
    // After each report's run with that report, then once with nullptr for the
    // composite itself (also when there was nothing to run).
    std::function<void(TCustomBandReport *finished)> OnFinished;
    unsigned Options = 0;
    TRepCompositePrinterSettings PrinterSettings;
    std::vector<TCustomBandReport *> Reports;
    QString ReportTitle;

    // The printer the document goes to; nullptr until given or made by Run.
    TRepPrinter *Printer() const { return printer_; }
    // Uses printer (not owned) for the next runs; nullptr lets Run make one.
    void SetPrinter(TRepPrinter *printer);
    bool Running() const { return running_; }
    // The report being run, nullptr between runs.
    TCustomBandReport *RunningReport() const { return current_; }

    // Runs every report of OnAddReports into one document of the printer.
    // A failure of a report ends the document (aborted) and propagates.
    void Run();
    // Runs the reports straight to the printing device, on a printer of the
    // first report's orientation and paper; the previous printer comes back.
    void Print();
    // The preview of the document closed: a run in progress is cancelled,
    // else the printer is released.
    void WMPreviewClosed();

    // Receives the printer's messages: "preview closed" and "print again".
    class TMessageTarget : public TRepMessageTarget {
    public:
        explicit TMessageTarget(TRepCompositeReport &owner) : owner_(owner) {}
        void PostMessage(unsigned msg, intptr_t wParam, intptr_t lParam) override;
        void SendMessage(unsigned msg, intptr_t wParam, intptr_t lParam) override;

    private:
        TRepCompositeReport &owner_;
    };
    TRepMessageTarget &MessageTarget() { return target_; }

private:
    void ApplyPrinterSettings();
    void ReleasePrinter();

    TMessageTarget target_{*this};
    TRepPrinter *printer_ = nullptr;
    std::unique_ptr<TRepPrinter> ownPrinter_;
    TCustomBandReport *current_ = nullptr;
    bool running_ = false;
};

} // namespace zorbel
