// The output device of a report run. A run draws every page on the canvas
// that TRepPrinter hands out, in report units of 0.1 mm converted to device
// pixels by XToDevice/YToDevice/WidthToDevice/HeightToDevice. With
// destination Preview each finished page is recorded as an enhanced metafile
// into the page store (TRepPageList); with destination Printer it is drawn
// straight on the printer. The printer also prints stored pages, loads and
// saves report files, posts progress to its status window and follows links.
//
// Status: Idle (constructed, cleared) -> Busy (BeginDoc) -> Ready (EndDoc,
// AbortDoc, Load). BeginDoc outside Idle raises ERepError.
//
// Calling order of a run: SetCompression (optional), BeginDoc, NewPage for
// every page (the first opens page 1), draw on GetCanvas(), EndDoc. Cancel may
// be called from the window thread at any time; the run polls Cancelled().
// The preview reads pages with GetPageMetafile while a run on the report
// thread still adds them (the page store serialises both).
#pragma once

#include "platform/canvas/Metafile.h"
#include "platform/canvas/Printers.h"
#include "report/RepStore.h"

#include <QSize>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace zorbel {

ZORBEL_EXCEPTION(ERepError, Exception);

class TRepExportFilter;
class TRepPrinter;

// Messages between printer, preview and report.
constexpr unsigned WM_USER = 0x400;              // progress percent in wParam
constexpr unsigned RP_AVAILABLEPAGES = 0x401;    // pages available in wParam
constexpr unsigned RP_FIRSTPAGE = 0x401;         // report: keep page 1 as its picture (wParam 1)
constexpr unsigned RP_PRINTAGAIN = 0x402;        // report: run again on the printer
constexpr unsigned RP_PREVIEWCLOSED = 0x404;     // report: the preview closed; lParam the printer

// A window (or report) that receives the printer's messages. PostMessage
// must not wait for the receiver: it may be called on the report thread.
class TRepMessageTarget {
public:
    virtual ~TRepMessageTarget() = default;
    virtual void PostMessage(unsigned msg, intptr_t wParam, intptr_t lParam) = 0;
    virtual void SendMessage(unsigned msg, intptr_t wParam, intptr_t lParam) = 0;
    // A status window shows caption from now on (a writer names its work);
    // other targets ignore it.
    virtual void SetStatusCaption(const QString &caption) { (void)caption; }
};

// Something owned by the page being recorded (a picture a printable drew),
// freed when the page is closed.
class TRepPageObject {
public:
    virtual ~TRepPageObject() = default;
};

enum class TRepStatus : uint8_t {
    Idle,  // nothing recorded, or cleared
    Busy,  // a document is being recorded or printed
    Ready, // the document is complete (or aborted, or loaded)
};

enum class TRepDestination : uint8_t { Preview, Printer };

enum class TRepZoomState : uint8_t {
    qrZoomToFit,   // the whole page in the window, kept on resize
    qrZoomToWidth, // the page's width fills the window, kept on resize
    qrZoomOther    // a zoom set by number
};

// Paper codes; the table below gives their sizes.
using TRepPaperSize = uint8_t;
constexpr TRepPaperSize rpDefault = 0, rpA4 = 9, rpCustom = 27;

// Paper sizes in millimetres, by code (0 and 27 take the settings' size).
struct TRepPaper {
    const char *Name;
    double Width, Height;
};
constexpr TRepPaper kRepPapers[28] = {
    // name          width   height
    {"Default", 0, 0},        {"Letter", 215.9, 279.4},  {"LetterSmall", 215.9, 279.4},
    {"Tabloid", 279.4, 431.8}, {"Ledger", 431.8, 279.4}, {"Legal", 215.9, 355.6},
    {"Statement", 139.7, 215.9}, {"Executive", 190.5, 254}, {"A3", 297, 420},
    {"A4", 210, 297},         {"A4Small", 210, 297},     {"A5", 148, 210},
    {"B4", 250, 354},         {"B5", 182, 257},          {"Folio", 215.9, 330.2},
    {"Quarto", 215, 275},     {"qr10X14", 254, 355.6},   {"qr11X17", 279.4, 431.8},
    {"Note", 215.9, 279},     {"Env9", 98.43, 225.4},    {"Env10", 104.8, 241.3},
    {"Env11", 114.3, 263.5},  {"Env12", 101.6, 279.4},   {"Env14", 127, 292.1},
    {"CSheet", 100, 100},     {"DSheet", 100, 100},      {"ESheet", 100, 100},
    {"Custom", 0, 0},
};

// Bin codes First .. Last (0..13) and the device bin values they stand for.
using TRepBin = uint8_t;
constexpr TRepBin rbAuto = 7;
constexpr int kRepBinValues[14] = {1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 14, 14};

// The device side of the settings, read from and applied to the printer.
class TPrinterSettings {
public:
    // Called with a skip flag before reading or applying the device; setting
    // it skips the standard work.
    using TDeviceEvent = std::function<void(TPrinterSettings &sender, bool &skip, QPrinter &device)>;

    QString Device, Driver, Port;
    int Copies = 1;
    bool Duplex = false;
    bool PrintMetaFile = false;
    bool UseStandardprinter = false;
    TDeviceEvent OnGetDeviceSettings, OnApplyDeviceSettings;
    int ExtendedDuplex = 0;
    bool UseCustomBinCode = false;
    int CustomBinCode = 0;
    int PrintQuality = 0, Collate = 0, ColorOption = 0;
    int SpillLimit = int(kRepDefaultSpillLimit);
    bool UseCustomPaperCode = false;
    int CustomPaperCode = 0;
    bool Orientation = false; // landscape
    TRepBin OutputBin = rbAuto;
    TRepPaperSize PaperSize = rpA4;
    bool PaperSizeSupported[28] = {};
    bool PaperSizesRead = false;
    int PaperWidth = 2100, PaperLength = 2970; // 0.1 mm
    int PixelsX = ScreenPixelsPerInch, PixelsY = ScreenPixelsPerInch;
    int TopOffset = 0, LeftOffset = 0; // 0.1 mm

    TPrinter *Printer() const { return printer_; }
    // Attaches a printer; reads its settings when it is available.
    void SetPrinter(TPrinter *printer);
    void ReadDeviceSettings();
    void ApplyDeviceSettings();

private:
    TPrinter *printer_ = nullptr;
};

// The persistent side: what a report layout stores and copies into its
// printer before a run.
class TRepPrinterSettings {
public:
    virtual ~TRepPrinterSettings() = default;
    int Copies = 1;
    TRepBin OutputBin = rbAuto;
    bool Duplex = false;
    int FirstPage = 0, LastPage = 0;
    bool UseStandardprinter = false;
    bool UseCustomBinCode = false;
    int CustomBinCode = 0;
    int ExtendedDuplex = 0;
    bool UseCustomPaperCode = false;
    int CustomPaperCode = 0;
    bool PrintMetaFile = false;
    int PrintQuality = 0, Collate = 0, ColorOption = 0;
    TRepPaperSize PaperSize = 1;
    QString Title;
    int PrinterIndex = -1;
    // The PDF file the report prints into, named in its printer set-up;
    // empty: the selected printer. A report never prints into a file named
    // for another print.
    QString OutputFile;
    int MemoryLimit = int(kRepDefaultSpillLimit);
};

class TBandReportPrinterSettings : public TRepPrinterSettings {};

// Shows a preview of a printer's pages; the windows layer registers the
// standard one.
class TRepPreviewInterface {
public:
    virtual ~TRepPreviewInterface() = default;
    virtual void ShowPreview(TRepPrinter &printer) = 0;
    virtual void ShowPreviewModal(TRepPrinter &printer) = 0;
};

// The registered preview (none until the windows layer sets one).
std::unique_ptr<TRepPreviewInterface> &RepPreviewInterface();

// Creates the progress window of a print of stored pages (the windows layer
// sets it); it becomes the printer's status window while printing.
using TRepProgressFactory = std::function<std::unique_ptr<TRepMessageTarget>(TRepPrinter &)>;
TRepProgressFactory &RepProgressWindowFactory();

// Keeps a printer whose report is freed while a preview still shows it; the
// printer goes when that preview closes.
void AdoptRepPrinter(std::unique_ptr<TRepPrinter> printer);

// What an export of a loaded report tells when its writer needs the run.
QString RepStoredExportText();

// A handler of links that start with its prefix; it receives the rest.
using TRepLinkHandler = std::function<void(TRepPrinter &printer, const QString &rest)>;
void RegisterRepLinkHandler(const QString &prefix, TRepLinkHandler handler);
void ClearRepLinkHandlers();

class TRepPrinter {
public:
    using TNotify = std::function<void(TRepPrinter &sender)>;

    // useStandardPrinter: draw on the global printer object instead of a
    // private one; spillLimit: bytes the page store keeps in memory.
    explicit TRepPrinter(bool useStandardPrinter = false, int64_t spillLimit = kRepDefaultSpillLimit);
    ~TRepPrinter();
    TRepPrinter(const TRepPrinter &) = delete;
    TRepPrinter &operator=(const TRepPrinter &) = delete;

    // ---- conversion of report units (0.1 mm) to device pixels ----
    int XToDevice(double x) const;
    int YToDevice(double y) const;
    int WidthToDevice(double w) const;
    int HeightToDevice(double h) const;
    TCanvas &GetCanvas() { return canvas_; }

    // ---- page geometry (0.1 mm) ----
    int PaperWidthValue() const;
    int PaperLengthValue() const;

    // ---- document ----
    void SetCompression(bool on) { pageList_.SetCompressed(on); }
    void BeginDoc();
    void NewPage();
    void EndDoc();
    void AbortDoc();
    void Cancel() { cancelled_ = true; }
    bool Cancelled() const { return cancelled_; }

    // ---- stored pages ----
    // A new copy of page n; nullptr outside 1..RecordedPages or before a run.
    std::unique_ptr<TMetafile> GetPageMetafile(int n);
    // Prints the stored pages (or asks the owner report to run again on the
    // printer). Does nothing without a printer or file to print into, or
    // when the user keeps the existing file (TPrinter::MayBeginDoc).
    void Print();
    // Loads a report file (ERepFileError, EFOpenError on failure; the printer
    // is then cleared).
    void Load(const QString &fileName);
    // Saves the pages to a report file; only when Ready.
    void Save(const QString &fileName);
    void ExportToFilter(TRepExportFilter &filter);

    // ---- status ----
    void SetAvailablePages(int n);
    void SetProgress(int percent);
    void ClosePreview();
    void SetOutlineView(TRepOutlineNodes *nodes);
    // Attaching or detaching the preview; detaching cancels a Busy run and
    // calls OnClientClosed.
    void SetClient(bool on);
    bool Client() const { return client_; }

    // ---- preview and links ----
    void ShowPreview();
    void ShowPreviewModal();
    // Follows a link of a page: "EXT:" opens the rest with the shell (web and
    // mail addresses only), "INT:" offers the rest to the link handlers,
    // anything else goes to the handlers and then the shell.
    void FollowLink(const QString &link);

    // ---- settings (forwarded to the device settings) ----
    void SetPrinterIndex(int i);
    bool SetCopies(int copies);
    bool SetDuplex(bool on);
    bool SetOrientation(bool landscape);
    bool SetOutputBin(TRepBin bin);
    bool SetPaperSize(TRepPaperSize code);
    void SetPaperWidth(int w) { settings_.PaperWidth = w; }
    void SetPaperLength(int l) { settings_.PaperLength = l; }
    // Copies a report's persistent settings in before a run.
    void TakeSettings(const TRepPrinterSettings &s);

    // ---- state ----
    TRepStatus Status() const { return status_; }
    TRepDestination Destination() const { return destination_; }
    void SetDestination(TRepDestination d) { destination_ = d; }
    int RecordedPages() const { return recordedPages_; }
    int PageNumber() const { return pageNumber_; }
    int AvailablePages() const { return availablePages_; }
    int Progress() const { return progress_; }
    bool PrintersAvailable() const { return printersAvailable_; }
    bool Loaded() const { return loaded_; }
    // Marks the stored pages as the document itself: printing prints them
    // instead of asking the report to run again.
    void SetLoaded(bool loaded) { loaded_ = loaded; }
    double XScale() const { return xScale_; }
    double YScale() const { return yScale_; }
    double LeftOrigin() const { return leftOrigin_; }
    double TopOrigin() const { return topOrigin_; }
    TPrinterSettings &Settings() { return settings_; }
    TRepPageList &PageList() { return pageList_; }
    TPrinter &Device() { return *printer_; }
    // Objects owned by the page being recorded.
    std::vector<std::unique_ptr<TRepPageObject>> &PageObjects() { return pageObjects_; }

    int FirstPage = 0, LastPage = 0; // 0 = no bound
    QString Title;
    // Set on the window thread, read by a background run as it posts.
    std::atomic<TRepMessageTarget *> StatusWindow = nullptr;
    TRepMessageTarget *OwnerReport = nullptr;
    TNotify OnAfterPrint, OnClientClosed, OnPreview, OnPrintSetup;
    std::function<void(TRepPrinter &, TRepExportFilter &)> OnExportToFilter;

private:
    QSize PortraitPaper() const;
    bool InRange(int n) const;
    void NewMetafilePage();
    void ClosePage();
    void Clear();
    void DerivePaperFromPage();

    std::unique_ptr<TPrinter> ownPrinter_;
    TPrinter *printer_;
    TPrinterSettings settings_;
    TRepPageList pageList_;
    TCanvas canvas_;
    std::unique_ptr<TMetafileRecorder> pageMetafile_;
    std::vector<std::unique_ptr<TRepPageObject>> pageObjects_;
    std::atomic<bool> cancelled_ = false;
    std::atomic<TRepStatus> status_ = TRepStatus::Idle;
    TRepDestination destination_ = TRepDestination::Preview;
    std::atomic<int> recordedPages_ = 0;
    std::atomic<int> pageNumber_ = 0;
    std::atomic<int> availablePages_ = 0;
    std::atomic<int> progress_ = 0;
    bool printersAvailable_ = false;
    bool client_ = false;
    bool loaded_ = false;
    // Set by a run (possibly on its own thread), read by the preview.
    std::atomic<double> xScale_ = 1.0, yScale_ = 1.0;
    std::atomic<double> leftOrigin_ = 0, topOrigin_ = 0;
    TRepOutlineNodes *outlineView_ = nullptr;
    bool pendingDevicePage_ = false; // an in-range device page ended; the next one starts a device page
    bool deviceTried_ = false;       // the run asked the device for its document (asked once per run)
};

} // namespace zorbel
