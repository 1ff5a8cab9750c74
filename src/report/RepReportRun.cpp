// The report's entry points: a preview filled on this thread, a preview
// filled by a background run, printing again on the printer, the printer
// set-up and the printer's messages back to the report.
//
// A background run shares the report, its datasets and its printer with the
// window thread. The window thread never frees any of them while the run
// goes on: closing the preview, freeing the report or starting another entry
// point first cancels the run and waits for it. The datasets' controls are
// off while the run moves their cursors.
#include "report/RepReport.h"

#include "platform/dataset/DataSet.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <QTimer>
#include <chrono>

namespace zorbel {

namespace {

void ProcessPendingEvents()
{
    if (QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread())
        QCoreApplication::processEvents();
}

} // namespace

std::function<void(TCustomBandReport &)> &RepPrinterSetupHandler()
{
    static std::function<void(TCustomBandReport &)> handler;
    return handler;
}

bool TCustomBandReport::PrepareNewPrinter()
{
    if (!Available || RunningInBackground())
        return false;
    // The previous printer stays owned by the report (its preview may still
    // show it); the new one starts without a status window, so it never posts
    // to a preview that belongs to another printer.
    printers_.push_back(std::make_unique<TRepPrinter>());
    TRepPrinter *printer = printers_.back().get();
    printer->OnAfterPrint = [this](TRepPrinter &) {
        if (AfterPrint)
            AfterPrint(*this);
    };
    printer->OnClientClosed = [this](TRepPrinter &) {
        if (AfterPreview)
            AfterPreview(*this);
    };
    RepPrinter = printer;
    return true;
}

void TCustomBandReport::ApplyPrinterSettings()
{
    if (!RepPrinter)
        return;
    RepPrinter->SetPrinterIndex(PrinterSettings.PrinterIndex);
    RepPrinter->SetPaperSize(Page.PaperSize());
    if (Page.PaperSize() == rpCustom) {
        RepPrinter->SetPaperWidth(int(std::lround(Page.Values[TRepPage::iWidth])));
        RepPrinter->SetPaperLength(int(std::lround(Page.Values[TRepPage::iLength])));
    }
    RepPrinter->SetOrientation(Page.Orientation() == poLandscape);
    RepPrinter->TakeSettings(PrinterSettings);
    RepPrinter->Settings().OnApplyDeviceSettings = OnApplyPrinterSettings;
    RepPrinter->Settings().OnGetDeviceSettings = OnGetPrinterSettings;
}

namespace {

// Binds a preview printer to its report.
void BindPreviewPrinter(TCustomBandReport &report, TRepPrinter &printer)
{
    printer.SetDestination(TRepDestination::Preview);
    printer.OwnerReport = &report;
    printer.OnPrintSetup = [&report](TRepPrinter &) { report.PrinterSetup(); };
    printer.OnExportToFilter = [&report](TRepPrinter &, TRepExportFilter &filter) { report.ExportToFilter(filter); };
    printer.Title = report.ReportTitle;
    if (report.OnPreview)
        printer.OnPreview = report.OnPreview;
}

} // namespace

void TCustomBandReport::RunPreview()
{
    ProcessPendingEvents();
    if (RepPrinter && RepPrinter->Client())
        return; // this report's preview is open already
    if (!PrepareNewPrinter())
        return;
    TRepPrinter *printer = RepPrinter;
    BindPreviewPrinter(*this, *printer);
    ApplyPrinterSettings();
    printer->ShowPreview();
    CreateReport();
    auto owned = [this, printer] { return OwnsPrinter(printer); };
    if (!owned())
        return; // the preview was closed and its printer released
    printer->SetLoaded(true);
    if (RunCancelled) {
        ReleasePrinter(printer);
        return;
    }
    // The caller goes on once the preview is closed. The thread sleeps until
    // an event comes (the tick looks again at least every 50 ms): a time
    // limit given to processEvents makes it return at once when nothing is
    // pending, which kept a processor busy as long as the preview was open.
    QTimer tick;
    tick.start(50);
    while (owned() && printer->Client() && QCoreApplication::instance() &&
           !QCoreApplication::closingDown())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
}

void TCustomBandReport::GenerateInThread(bool modal)
{
    if (RepPrinter && RepPrinter->Client())
        return;
    if (!PrepareNewPrinter())
        return;
    TRepPrinter *printer = RepPrinter;
    BindPreviewPrinter(*this, *printer);
    ApplyPrinterSettings();
    for (TDataSet *d : DataSets)
        if (d) {
            d->DisableControls();
            d->BeginRunWalk();
            quietDataSets_.push_back(d);
        }
    threadPrinter_ = printer;
    threadDone_ = false;
    threadError_.clear();
    // Not yet available to another entry point, even before the run itself
    // marks the report busy.
    reportThread_ = std::thread([this] {
        try {
            CreateReport();
        } catch (const std::exception &e) {
            threadError_ = QString::fromUtf8(e.what());
        } catch (...) {
            threadError_ = QStringLiteral("The report could not be made.");
        }
        threadDone_ = true;
        QMetaObject::invokeMethod(messages_.get(), [this] { RunEnded(); }, Qt::QueuedConnection);
    });
    if (modal)
        printer->ShowPreviewModal();
    else
        printer->ShowPreview();
}

void TCustomBandReport::WaitForRun()
{
    if (!reportThread_.joinable())
        return;
    // The run clears the cancel flags when it starts: keep setting them
    // until it has ended.
    while (!threadDone_) {
        RunCancelled = true;
        if (threadPrinter_)
            threadPrinter_->Cancel();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    RunEnded();
}

void TCustomBandReport::RunEnded()
{
    if (!reportThread_.joinable())
        return; // handled already (a wait came first)
    reportThread_.join();
    for (TDataSet *d : quietDataSets_) {
        d->EndRunWalk();
        d->EnableControls();
    }
    quietDataSets_.clear();
    TRepPrinter *printer = threadPrinter_;
    threadPrinter_ = nullptr;
    // A cancelled run's printer goes unless a preview still shows it.
    if (RunCancelled && printer && !printer->Client())
        ReleasePrinter(printer);
    const QString error = threadError_;
    threadError_.clear();
    if (!error.isEmpty() && OnRunError)
        OnRunError(error);
}

bool TCustomBandReport::OwnsPrinter(const TRepPrinter *printer) const
{
    for (const auto &p : printers_)
        if (p.get() == printer)
            return true;
    return false;
}

void TCustomBandReport::ReleasePrinter(TRepPrinter *printer)
{
    if (RepPrinter == printer)
        RepPrinter = nullptr;
    for (auto it = printers_.begin(); it != printers_.end(); ++it)
        if (it->get() == printer) {
            printers_.erase(it);
            return;
        }
}

void TCustomBandReport::PrintToPrinter()
{
    TRepPrinter *kept = RepPrinter;
    if (!PrepareNewPrinter())
        return;
    TRepPrinter *printer = RepPrinter;
    struct Restore {
        TCustomBandReport &r;
        TRepPrinter *printer, *kept;
        std::unique_ptr<TRepMessageTarget> window;
        ~Restore()
        {
            printer->StatusWindow = nullptr;
            window.reset();
            r.ReleasePrinter(printer);
            r.RepPrinter = kept;
        }
    } restore{*this, printer, kept, nullptr};
    if (!printer->PrintersAvailable())
        return;
    printer->SetDestination(TRepDestination::Printer);
    ApplyPrinterSettings();
    // Asked before the run: no printer or file to print into, or a file the
    // user keeps, prints nothing.
    if (!printer->Device().MayBeginDoc())
        return;
    if (ShowProgress && RepProgressWindowFactory())
        restore.window = RepProgressWindowFactory()(*printer);
    printer->StatusWindow = restore.window.get();
    CreateReport();
}

void TCustomBandReport::PrinterSetup()
{
    if (RepPrinterSetupHandler())
        RepPrinterSetupHandler()(*this);
    else
        Tag = 1;
}

void TCustomBandReport::PostMessage(unsigned msg, intptr_t wParam, intptr_t lParam)
{
    QMetaObject::invokeMethod(messages_.get(), [this, msg, wParam, lParam] { HandleMessage(msg, wParam, lParam); },
                              Qt::QueuedConnection);
}

void TCustomBandReport::SendMessage(unsigned msg, intptr_t wParam, intptr_t lParam)
{
    HandleMessage(msg, wParam, lParam);
}

void TCustomBandReport::HandleMessage(unsigned msg, intptr_t wParam, intptr_t lParam)
{
    if (msg == RP_FIRSTPAGE)
        WMFirstPage(wParam);
    else if (msg == RP_PRINTAGAIN)
        PrintToPrinter();
    else if (msg == RP_PREVIEWCLOSED)
        PreviewClosed(reinterpret_cast<TRepPrinter *>(lParam));
}

void TCustomBandReport::WMFirstPage(intptr_t wParam)
{
    if (wParam != 1 || !RepPrinter)
        return;
    if (std::unique_ptr<TMetafile> page = RepPrinter->GetPageMetafile(1))
        FirstPagePicture = *page;
    Repaint();
}

void TCustomBandReport::PreviewClosed(TRepPrinter *printer)
{
    if (RunningInBackground() && (printer == nullptr || printer == threadPrinter_)) {
        WaitForRun();
    } else if (!Available) {
        // A run on this thread notices at its next record; it releases the
        // printer itself when it returns.
        Cancel();
        return;
    }
    // The run's end may have released the printer already.
    TRepPrinter *target = printer ? printer : RepPrinter;
    if (!target || !OwnsPrinter(target))
        return;
    if (target->Client())
        target->SetClient(false);
    ReleasePrinter(target);
}

} // namespace zorbel
