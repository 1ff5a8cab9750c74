// The report printer: recording pages into the page store or drawing them on
// the printer, printing stored pages, report files, status messages, links;
// and the device settings over QPrinter.
#include "report/RepPrinter.h"

#include "report/RepFilter.h"

#include "platform/system/ShellOpen.h"

#include <QCoreApplication>
#include <QPageSize>
#include <QPrinterInfo>
#include <QThread>
#include <cmath>
#include <utility>

namespace zorbel {

namespace {

// Lets the window thread handle pending events (status posts, repaint);
// a no-op on the report thread.
void ProcessMessages()
{
    if (QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread())
        QCoreApplication::processEvents();
}

std::vector<std::pair<QString, TRepLinkHandler>> &LinkHandlers()
{
    static std::vector<std::pair<QString, TRepLinkHandler>> handlers;
    return handlers;
}

// The Qt page size for a paper code of the table.
QPageSize PageSizeOf(int code)
{
    const TRepPaper &p = kRepPapers[code];
    return QPageSize(QSizeF(p.Width, p.Height), QPageSize::Millimeter, QString::fromLatin1(p.Name),
                     QPageSize::FuzzyMatch);
}

// The device's physical page in 0.1 mm, portrait.
QSizeF DevicePaper(QPrinter &device)
{
    return device.pageLayout().pageSize().size(QPageSize::Millimeter) * 10.0;
}

} // namespace

std::unique_ptr<TRepPreviewInterface> &RepPreviewInterface()
{
    static std::unique_ptr<TRepPreviewInterface> preview;
    return preview;
}

TRepProgressFactory &RepProgressWindowFactory()
{
    static TRepProgressFactory factory;
    return factory;
}

void RegisterRepLinkHandler(const QString &prefix, TRepLinkHandler handler)
{
    LinkHandlers().emplace_back(prefix, std::move(handler));
}

void ClearRepLinkHandlers() { LinkHandlers().clear(); }

// ---- device settings ----

void TPrinterSettings::SetPrinter(TPrinter *printer)
{
    printer_ = printer;
    if (printer_ && printer_->Available())
        ReadDeviceSettings();
}

void TPrinterSettings::ReadDeviceSettings()
{
    if (!printer_)
        return;
    QPrinter &device = printer_->Device();
    Device = printer_->PrinterIndex() >= 0 ? printer_->Printers()[printer_->PrinterIndex()] : printer_->OutputFile();
    Driver = device.outputFormat() == QPrinter::PdfFormat ? QStringLiteral("pdf") : QStringLiteral("cups");
    Port = device.outputFileName();
    bool skip = false;
    if (OnGetDeviceSettings)
        OnGetDeviceSettings(*this, skip, device);
    if (skip)
        return;
    PixelsX = printer_->DpiX();
    PixelsY = printer_->DpiY();
    Copies = std::max(1, device.copyCount());
    OutputBin = 0;
    const int source = int(device.paperSource()) + 1;
    for (int code = 0; code < 14; ++code)
        if (kRepBinValues[code] == source || (source == 12 && kRepBinValues[code] == 14)) {
            OutputBin = TRepBin(code);
            break;
        }
    const QPrinter::DuplexMode duplex = device.duplex();
    ExtendedDuplex = duplex == QPrinter::DuplexLongSide ? 2 : duplex == QPrinter::DuplexShortSide ? 3 : 1;
    Duplex = ExtendedDuplex != 1;
    LeftOffset = int(std::lround(double(printer_->OffsetX()) / PixelsX * 254));
    TopOffset = int(std::lround(double(printer_->OffsetY()) / PixelsY * 254));
    const QSizeF paper = DevicePaper(device);
    PaperSize = 0;
    for (int code = 1; code <= 26; ++code)
        if (std::abs(kRepPapers[code].Width * 10 - paper.width()) < 10 &&
            std::abs(kRepPapers[code].Height * 10 - paper.height()) < 10) {
            PaperSize = TRepPaperSize(code);
            break;
        }
    PaperWidth = int(std::lround(paper.width()));
    PaperLength = int(std::lround(paper.height()));
    // A file device takes every paper; a printer the ones it lists.
    const QList<QPageSize> sizes = device.outputFormat() == QPrinter::PdfFormat
                                       ? QList<QPageSize>()
                                       : QPrinterInfo(device).supportedPageSizes();
    for (int code = 0; code < 28; ++code) {
        bool supported = sizes.isEmpty();
        for (const QPageSize &s : sizes)
            if (code >= 1 && code <= 26 && s.isEquivalentTo(PageSizeOf(code)))
                supported = true;
        PaperSizeSupported[code] = supported;
    }
    PaperSizesRead = true;
    Collate = device.collateCopies() ? 1 : 0;
    ColorOption = device.colorMode() == QPrinter::Color ? 2 : 1;
}

void TPrinterSettings::ApplyDeviceSettings()
{
    if (!printer_)
        return;
    QPrinter &device = printer_->Device();
    bool skip = false;
    if (OnApplyDeviceSettings)
        OnApplyDeviceSettings(*this, skip, device);
    if (skip)
        return;
    if (PaperSize >= 1 && PaperSize <= 26)
        device.setPageSize(PageSizeOf(PaperSize));
    else if (PaperWidth > 0 && PaperLength > 0)
        device.setPageSize(QPageSize(QSizeF(PaperWidth / 10.0, PaperLength / 10.0), QPageSize::Millimeter,
                                     QString(), QPageSize::ExactMatch));
    device.setPageOrientation(Orientation ? QPageLayout::Landscape : QPageLayout::Portrait);
    device.setCopyCount(std::max(1, Copies));
    const int duplex = ExtendedDuplex ? ExtendedDuplex : Duplex ? 3 : 1;
    device.setDuplex(duplex == 2 ? QPrinter::DuplexLongSide : duplex == 3 ? QPrinter::DuplexShortSide
                                                                          : QPrinter::DuplexNone);
    const int bin = UseCustomBinCode ? CustomBinCode : kRepBinValues[std::min<int>(OutputBin, 13)];
    if (bin >= 1 && bin <= 12)
        device.setPaperSource(QPrinter::PaperSource(bin - 1));
    else if (bin == 14)
        device.setPaperSource(QPrinter::Cassette);
    if (Collate)
        device.setCollateCopies(Collate == 1);
    if (ColorOption)
        device.setColorMode(ColorOption == 2 ? QPrinter::Color : QPrinter::GrayScale);
}

// ---- printer ----

TRepPrinter::TRepPrinter(bool useStandardPrinter, int64_t spillLimit)
{
    settings_.UseStandardprinter = useStandardPrinter;
    settings_.SpillLimit = int(spillLimit);
    if (useStandardPrinter) {
        printer_ = &Printer();
    } else {
        ownPrinter_ = std::make_unique<TPrinter>();
        // The private printer prints on the printer the global one selected.
        // A file is never taken over: it was named for another print, and a
        // report prints into the file its own set-up named (TakeSettings).
        if (Printer().PrinterIndex() >= 0)
            ownPrinter_->SetPrinterIndex(Printer().PrinterIndex());
        printer_ = ownPrinter_.get();
    }
    // Every machine can print: without an installed printer into a PDF file,
    // which the print dialog offers.
    printersAvailable_ = true;
    settings_.SetPrinter(printer_);
    leftOrigin_ = settings_.LeftOffset;
    topOrigin_ = settings_.TopOffset;
}

TRepPrinter::~TRepPrinter()
{
    if (status_ != TRepStatus::Idle)
        Clear();
    canvas_.BeginRecording(nullptr);
}

int TRepPrinter::XToDevice(double x) const { return int(std::lround((x - leftOrigin_) * xScale_)); }
int TRepPrinter::YToDevice(double y) const { return int(std::lround((y - topOrigin_) * yScale_)); }
int TRepPrinter::WidthToDevice(double w) const { return int(std::lround(w * xScale_)); }
int TRepPrinter::HeightToDevice(double h) const { return int(std::lround(h * yScale_)); }

// The paper's width and length in 0.1 mm, portrait, from the table or (for
// Default and Custom) from the settings.
QSize TRepPrinter::PortraitPaper() const
{
    const TRepPaperSize code = settings_.PaperSize;
    if (code == rpDefault || code >= rpCustom)
        return {settings_.PaperWidth, settings_.PaperLength};
    return {int(std::lround(kRepPapers[code].Width * 10)), int(std::lround(kRepPapers[code].Height * 10))};
}

int TRepPrinter::PaperWidthValue() const
{
    const QSize paper = PortraitPaper();
    return settings_.Orientation ? paper.height() : paper.width();
}

int TRepPrinter::PaperLengthValue() const
{
    const QSize paper = PortraitPaper();
    return settings_.Orientation ? paper.width() : paper.height();
}

bool TRepPrinter::InRange(int n) const
{
    return (FirstPage <= 0 || n >= FirstPage) && (LastPage <= 0 || n <= LastPage);
}

void TRepPrinter::BeginDoc()
{
    pageMetafile_.reset();
    availablePages_ = 0;
    cancelled_ = false;
    if (destination_ == TRepDestination::Printer)
        settings_.ApplyDeviceSettings();
    leftOrigin_ = destination_ == TRepDestination::Printer ? settings_.LeftOffset : 0;
    topOrigin_ = destination_ == TRepDestination::Printer ? settings_.TopOffset : 0;
    if (status_ != TRepStatus::Idle)
        throw ERepError(QStringLiteral("RepPrinter not ready"));
    pageNumber_ = 0;
    recordedPages_ = 0;
    deviceTried_ = false;
    status_ = TRepStatus::Busy;
    if (destination_ == TRepDestination::Preview) {
        pageList_.SetStore(TRepStream::CreateInMemory(settings_.SpillLimit));
        xScale_ = ScreenPixelsPerInch / 254.0;
        yScale_ = ScreenPixelsPerInch / 254.0;
    } else {
        xScale_ = printer_->DpiX() / 254.0;
        yScale_ = printer_->DpiY() / 254.0;
    }
}

void TRepPrinter::NewMetafilePage()
{
    xScale_ = ScreenPixelsPerInch / 254.0;
    yScale_ = ScreenPixelsPerInch / 254.0;
    pageMetafile_ = std::make_unique<TMetafileRecorder>(WidthToDevice(PaperWidthValue()),
                                                        HeightToDevice(PaperLengthValue()));
    canvas_ = TCanvas();
    canvas_.BeginRecording(pageMetafile_.get());
    pageObjects_.clear();
}

// Closes the open page: into the store (Preview), or ends the device page.
void TRepPrinter::ClosePage()
{
    if (pageMetafile_) {
        canvas_.BeginRecording(nullptr);
        const bool keep = destination_ == TRepDestination::Preview;
        std::unique_ptr<TMetafileRecorder> recorder = std::move(pageMetafile_);
        pageObjects_.clear();
        if (keep)
            pageList_.AddPage(recorder->Finish());
    }
}

void TRepPrinter::NewPage()
{
    if (status_ != TRepStatus::Busy)
        throw ERepError(QStringLiteral("Illegal call to NewPage"));
    if (pageNumber_ > 0) {
        if (destination_ == TRepDestination::Printer && InRange(pageNumber_)) {
            if (pageNumber_ != LastPage)
                pendingDevicePage_ = true;
        } else {
            ClosePage();
        }
        SetAvailablePages(availablePages_ + 1);
    }
    ++recordedPages_;
    ++pageNumber_;
    if (destination_ == TRepDestination::Preview || !InRange(pageNumber_)) {
        NewMetafilePage();
        return;
    }
    if (printer_->Printing()) {
        if (pendingDevicePage_)
            printer_->NewPage();
    } else if (!deviceTried_) {
        // Once per run: a device that refused (no printer, a file the user
        // keeps) is not asked again at every page.
        deviceTried_ = true;
        printer_->Title = Title;
        printer_->BeginDoc();
    }
    pendingDevicePage_ = false;
    canvas_ = printer_->Canvas();
    xScale_ = printer_->DpiX() / 254.0;
    yScale_ = printer_->DpiY() / 254.0;
}

void TRepPrinter::EndDoc()
{
    if (status_ != TRepStatus::Busy)
        return;
    if (destination_ == TRepDestination::Printer) {
        ClosePage();
        canvas_.Begin(nullptr);
        if (printer_->Printing())
            printer_->EndDoc();
    } else if (recordedPages_ > 0) {
        ClosePage();
    }
    SetAvailablePages(availablePages_ + 1);
    status_ = TRepStatus::Ready;
    ProcessMessages();
    if (destination_ == TRepDestination::Preview)
        pageList_.WriteHeader();
    else if (OnAfterPrint)
        OnAfterPrint(*this);
}

void TRepPrinter::AbortDoc()
{
    if (destination_ == TRepDestination::Printer) {
        ClosePage();
        canvas_.Begin(nullptr);
        printer_->Abort();
    } else {
        ClosePage();
        // The header's page count follows the pages kept, so a saved
        // aborted report shows all of them.
        if (pageList_.Store())
            pageList_.WriteHeader();
    }
    status_ = TRepStatus::Ready;
}

std::unique_ptr<TMetafile> TRepPrinter::GetPageMetafile(int n)
{
    if ((status_ != TRepStatus::Busy && status_ != TRepStatus::Ready) || n < 1 || n > recordedPages_)
        return nullptr;
    return pageList_.GetPage(n);
}

void TRepPrinter::Print()
{
    if (OwnerReport && !loaded_ && !settings_.PrintMetaFile && status_ == TRepStatus::Ready) {
        OwnerReport->PostMessage(RP_PRINTAGAIN, 0, 0);
        return;
    }
    if (status_ != TRepStatus::Ready || !printersAvailable_)
        return;
    int first = 1, last = recordedPages_;
    if (FirstPage > 0)
        first = std::max(first, FirstPage);
    if (LastPage > 0)
        last = std::min(last, LastPage);
    if (first > last)
        return;
    printer_->Title = Title;
    printer_->Abort();
    if (!printer_->MayBeginDoc())
        return; // nothing printed, so nothing after it
    settings_.ApplyDeviceSettings();
    std::unique_ptr<TRepMessageTarget> progress;
    if (RepProgressWindowFactory())
        progress = RepProgressWindowFactory()(*this);
    TRepMessageTarget *previousStatus = StatusWindow;
    if (progress)
        StatusWindow = progress.get();
    cancelled_ = false;
    printer_->BeginDoc();
    for (int i = first; i <= last && printer_->Printing(); ++i) {
        ProcessMessages();
        SetProgress(int(std::lround(double(i - first + 1) / (last - first + 1) * 100)));
        pageNumber_ = i;
        if (std::unique_ptr<TMetafile> page = pageList_.GetPage(i)) {
            QPainter *painter = printer_->Canvas().Painter();
            PlayMetafile(*painter, page->Data(), QRectF(0, 0, printer_->PhysicalWidth(), printer_->PhysicalHeight()));
        }
        if (i != last)
            printer_->NewPage();
        if (cancelled_)
            printer_->Abort();
    }
    if (progress)
        StatusWindow = previousStatus;
    progress.reset();
    if (printer_->Printing())
        printer_->EndDoc();
    if (OnAfterPrint)
        OnAfterPrint(*this);
}

void TRepPrinter::Clear()
{
    if (status_ == TRepStatus::Busy)
        cancelled_ = true;
    ClosePage();
    if (printer_->Printing())
        printer_->Abort();
    pageList_.Clear();
    recordedPages_ = 0;
    status_ = TRepStatus::Idle;
}

void TRepPrinter::Load(const QString &fileName)
{
    Clear();
    loaded_ = false;
    try {
        pageList_.LoadFromFile(fileName);
    } catch (...) {
        Clear();
        throw;
    }
    recordedPages_ = pageList_.StoredPages();
    xScale_ = ScreenPixelsPerInch / 254.0;
    yScale_ = ScreenPixelsPerInch / 254.0;
    DerivePaperFromPage();
    status_ = TRepStatus::Ready;
    OnPrintSetup = nullptr;
    OnExportToFilter = nullptr;
    loaded_ = true;
}

// The paper of a loaded report, from page 1's size in whole units of 4 mm.
void TRepPrinter::DerivePaperFromPage()
{
    if (recordedPages_ < 1)
        return;
    const std::unique_ptr<TMetafile> page = pageList_.GetPage(1);
    if (!page)
        return;
    const int w = int(page->Width() / xScale_ / 40);
    const int h = int(page->Height() / xScale_ / 40);
    // The first code of that size wins, so A4 is not taken for A4Small nor
    // Letter for LetterSmall.
    for (int code = 1; code <= 26; ++code) {
        const int tw = int(kRepPapers[code].Width / 4), th = int(kRepPapers[code].Height / 4);
        const bool portrait = tw == w && th == h, landscape = tw == h && th == w;
        if (portrait || landscape) {
            settings_.PaperSize = TRepPaperSize(code);
            settings_.Orientation = landscape;
            break;
        }
    }
}

void TRepPrinter::Save(const QString &fileName)
{
    if (status_ == TRepStatus::Ready)
        pageList_.SaveToFile(fileName);
}

void TRepPrinter::ExportToFilter(TRepExportFilter &filter)
{
    if (OnExportToFilter)
        OnExportToFilter(*this, filter);
    else if (status_ != TRepStatus::Ready || !filter.ExportStoredPages(*this))
        throw ERepError(RepStoredExportText());
}

QString RepStoredExportText()
{
    return QStringLiteral("A report loaded from a file cannot be exported in this format. "
                          "Run the report again to export it.");
}

void TRepPrinter::SetAvailablePages(int n)
{
    availablePages_ = n;
    if (TRepMessageTarget *window = StatusWindow)
        window->PostMessage(RP_AVAILABLEPAGES, n, 0);
}

void TRepPrinter::SetProgress(int percent)
{
    progress_ = percent;
    if (TRepMessageTarget *window = StatusWindow)
        window->PostMessage(WM_USER, percent, 0);
}

namespace {
std::vector<std::unique_ptr<TRepPrinter>> &OrphanPrinters()
{
    static std::vector<std::unique_ptr<TRepPrinter>> printers;
    return printers;
}
} // namespace

void AdoptRepPrinter(std::unique_ptr<TRepPrinter> printer)
{
    printer->OwnerReport = nullptr;
    printer->OnPrintSetup = nullptr;
    printer->OnExportToFilter = nullptr;
    printer->OnAfterPrint = nullptr;
    printer->OnClientClosed = nullptr;
    printer->OnPreview = nullptr;
    printer->SetLoaded(true); // no report left to run again: print the pages
    OrphanPrinters().push_back(std::move(printer));
}

void TRepPrinter::ClosePreview()
{
    if (OwnerReport) {
        OwnerReport->SendMessage(RP_PREVIEWCLOSED, 0, reinterpret_cast<intptr_t>(this));
        return;
    }
    // A printer whose report is gone dies with its preview (this is the
    // last thing done with it).
    auto &orphans = OrphanPrinters();
    for (auto it = orphans.begin(); it != orphans.end(); ++it)
        if (it->get() == this) {
            std::unique_ptr<TRepPrinter> self = std::move(*it);
            orphans.erase(it);
            return;
        }
}

void TRepPrinter::SetOutlineView(TRepOutlineNodes *nodes)
{
    outlineView_ = nodes;
    pageList_.OutlineData().SetTreeNodes(nodes);
}

void TRepPrinter::SetClient(bool on)
{
    const bool was = client_;
    client_ = on;
    if (was && !on) {
        if (status_ == TRepStatus::Busy)
            Cancel();
        if (OnClientClosed)
            OnClientClosed(*this);
    }
}

void TRepPrinter::ShowPreview()
{
    if (OnPreview)
        OnPreview(*this);
    else if (RepPreviewInterface())
        RepPreviewInterface()->ShowPreview(*this);
}

void TRepPrinter::ShowPreviewModal()
{
    if (OnPreview)
        OnPreview(*this);
    else if (RepPreviewInterface())
        RepPreviewInterface()->ShowPreviewModal(*this);
}

void TRepPrinter::FollowLink(const QString &link)
{
    const QString head = link.left(4).toUpper();
    auto offer = [this](const QString &target) {
        for (auto &[prefix, handler] : LinkHandlers())
            if (target.startsWith(prefix)) {
                handler(*this, target.mid(prefix.size()));
                return true;
            }
        return false;
    };
    if (head == QLatin1String("EXT:"))
        ShellOpen(link.mid(4));
    else if (head == QLatin1String("INT:"))
        offer(link.mid(4));
    else if (!offer(link))
        ShellOpen(link);
}

void TRepPrinter::SetPrinterIndex(int i)
{
    // Without an installed printer there is none to select (the PDF file
    // comes from the report's set-up).
    if (printer_->Printers().isEmpty() || settings_.UseStandardprinter || printer_->Printing())
        return;
    printer_->SetPrinterIndex(i);
    settings_.ReadDeviceSettings();
}

bool TRepPrinter::SetCopies(int copies)
{
    if (copies < 1)
        return false;
    settings_.Copies = copies;
    return true;
}

bool TRepPrinter::SetDuplex(bool on)
{
    QPrinter &device = printer_->Device();
    if (device.outputFormat() == QPrinter::PdfFormat || QPrinterInfo(device).supportedDuplexModes().size() < 2)
        return false;
    settings_.Duplex = on;
    return true;
}

bool TRepPrinter::SetOrientation(bool landscape)
{
    settings_.Orientation = landscape;
    return true;
}

bool TRepPrinter::SetOutputBin(TRepBin bin)
{
    // Qt does not list a printer's bins; a printer takes any, a file none.
    if (bin > 13 || printer_->Device().outputFormat() == QPrinter::PdfFormat)
        return false;
    settings_.OutputBin = bin;
    return true;
}

bool TRepPrinter::SetPaperSize(TRepPaperSize code)
{
    if (code > rpCustom)
        return false;
    if (code != rpDefault && settings_.PaperSizesRead && !settings_.PaperSizeSupported[code])
        return false;
    settings_.PaperSize = code;
    return true;
}

void TRepPrinter::TakeSettings(const TRepPrinterSettings &s)
{
    // The device first: reading its settings must not undo the ones below.
    if (!printer_->Printing() && s.OutputFile != printer_->OutputFile()) {
        printer_->SetOutputFile(s.OutputFile);
        if (printer_->Available())
            settings_.ReadDeviceSettings();
    }
    SetCopies(s.Copies);
    settings_.OutputBin = s.OutputBin;
    settings_.Duplex = s.Duplex;
    FirstPage = s.FirstPage;
    LastPage = s.LastPage;
    settings_.UseCustomBinCode = s.UseCustomBinCode;
    settings_.CustomBinCode = s.CustomBinCode;
    settings_.ExtendedDuplex = s.ExtendedDuplex;
    settings_.UseCustomPaperCode = s.UseCustomPaperCode;
    settings_.CustomPaperCode = s.CustomPaperCode;
    settings_.PrintMetaFile = s.PrintMetaFile;
    settings_.PrintQuality = s.PrintQuality;
    settings_.Collate = s.Collate;
    settings_.ColorOption = s.ColorOption;
    settings_.SpillLimit = s.MemoryLimit;
    if (!s.Title.isEmpty())
        Title = s.Title;
}

} // namespace zorbel
