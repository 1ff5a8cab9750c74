// The band report: printables placed on bands, bands stacked on a report,
// controllers that drive the detail loop over a dataset with groups, and
// the run that lays all of it out into pages of the report's printer and,
// when a writer is attached, into an export filter. Layouts are built in
// code: a report owns its bands, a band owns its printables.
#pragma once

#include "report/RepExpr.h"
#include "report/RepFilter.h"
#include "report/RepLayout.h"
#include "report/RepPrinter.h"

#include <QFont>
#include <QLocale>
#include <QObject>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace zorbel {

class TDataSet;
class TRepController;
class TRepCustomController;

class TRepPrintable {
public:
    TRepPrintable();
    TRepPrintable(const TRepPrintable &) = delete;
    TRepPrintable &operator=(const TRepPrintable &) = delete;
    virtual ~TRepPrintable() = default;

    QString Name;
    TRepFrame Frame{this};
    TCustomBandReport *Report = nullptr;
    TRepPrinter *Printer = nullptr;
    TRepPrintableSize Size{this};
    TAlignment Alignment = TAlignment::taLeftJustify;
    bool AlignToBand = false;
    bool FinishedPrinting = true;
    bool PrintingNow = false;
    bool Enabled = true;
    bool Visible = true;
    bool Transparent = false;
    TColor Color = clWhite;
    TRepCustomBand *Band = nullptr; // the band it lies on, null when on the report
    // Grows whenever a stretching descendant prints a further part; a band
    // sees from it whether a continuation printed anything.
    int64_t Progress = 0;

    virtual bool CanPrint() const { return Enabled || !Visible; }
    virtual void AlignInBand();
    virtual void Prepare();
    // x, y: the band's top-left corner on the page in 0.1 mm.
    virtual void Print(double x, double y);
    virtual void Notify(TRepCustomController &controller, int code);
    virtual void Unprepare() { PrintingNow = false; }
    // Pixels (96 per inch) the content needs; none when the kind cannot stretch.
    virtual bool GetExpandedHeight(double &pixels) { return (void)pixels, false; }
    // A picture placed stretched into a device rectangle (images only).
    virtual void StretchPicture(TCanvas &, const QRect &) {}
    void SetAlignment(TAlignment a);

    // ---- design surface ----
    bool Realigning = false;
    // Set while the layout is being read; bounds written meanwhile are
    // remembered in LoadedBounds (left, top, width, height) for Loaded.
    bool Loading = false;
    int LoadedBounds[4] = {};
    // Pixel bounds on its band (or on the report), at the size's zoom.
    QRect BoundsRect() const;
    // Moves or resizes the control on the design surface: the pixel values
    // go into Size (height, width, top, left), rounded back on every read.
    void SetBounds(int left, int top, int width, int height);
    // After reading: bounds left 0 by Size take the values written while loading.
    virtual void Loaded();
    // The design view in client coordinates (0, 0 at the control's corner);
    // nothing while the control is printing.
    virtual void Paint(TCanvas &canvas);
    void PaintCorners(TCanvas &canvas) const;
    // The corner marks and the frame over what a design view has painted.
    void PaintOutline(TCanvas &canvas) const;
    int GetZoom() const { return Size.Zoom; }
    void SetZoomOf(int zoom);
    // Asks the design surface showing the report to repaint.
    void Repaint() const;
};

enum TRepBandType : uint8_t {
    rbTitle, rbPageHeader, rbDetail, rbPageFooter, rbSummary, rbGroupHeader, rbGroupFooter, rbSubDetail,
    rbColumnHeader, rbOverlay, rbChild
};
QString RepBandTypeName(TRepBandType type);
QString RepBandNameBase(TRepBandType type);

// A figure on a band; also lent to the export filter for band and label
// backgrounds and frame lines.
class TRepShape : public TRepPrintable {
public:
    enum TShapeType { qrsRectangle, qrsCircle, qrsVertLine, qrsHorLine, qrsTopAndBottom, qrsRightAndLeft, qrsRoundRect };
    TRepShape();
    TShapeType Shape = qrsRectangle;
    TCanvas::TBrush Brush;
    TCanvas::TPen Pen;
    // Corner ellipse of qrsRoundRect as a share of the control's pixel width.
    float RoundFactor = 0.1f;
    int VertAdjust = 0; // stored only
    void Print(double x, double y) override;
    void Paint(TCanvas &canvas) override;
};

class TRepCustomBand {
public:
    explicit TRepCustomBand(TRepBandType type);
    TRepCustomBand(const TRepCustomBand &) = delete;
    TRepCustomBand &operator=(const TRepCustomBand &) = delete;
    virtual ~TRepCustomBand();

    QString Name;
    bool PreCaluculateBandHeight = false, KeepOnOnePage = false;
    QRect BandRect;
    double Expanded = 0;
    std::function<void(TRepCustomBand &sender, bool bandPrinted)> AfterPrint;
    bool AlignToBottom = false;
    std::function<void(TRepCustomBand &sender, bool &printBand)> BeforePrint;
    bool Enabled = true, ForceNewColumn = false, ForceNewPage = false;
    TCustomBandReport *Report = nullptr;
    bool TransparentBand = true;
    TRepBandType BandType;
    TRepBandSize Size{this};
    TRepController *PrintingController = nullptr;
    TColor Color = clWhite;
    TRepFrame Frame{this};

    TRepCustomBand *LinkBand() const { return linkBand_; }
    // Refuses (false) a link whose chain comes back to this band; on the
    // design surface the designer is told SCircularLinking.
    bool SetLinkBand(TRepCustomBand *band);

    // Takes ownership; the printable lies on this band and its measures read
    // and write in the band's unit. Its values in 0.1 mm are kept as they
    // are: the layouts give them exactly, and taking them back from the
    // control's pixel bounds would round the printed positions to pixels.
    template <class T> T &Add(std::unique_ptr<T> printable)
    {
        T &p = *printable;
        p.Band = this;
        p.Report = Report;
        p.Size.SetUnits(Size.GetUnits());
        printables_.push_back(std::move(printable));
        return p;
    }
    const std::vector<std::unique_ptr<TRepPrintable>> &Printables() const { return printables_; }

    TRepCustomBand *ChildBand() const;
    bool HasChild() const { return ChildBand() != nullptr; }
    void Print();
    void MakeSpace();
    double HeightWithLinks(bool includeLinks) const;
    void AdvancePosition();
    bool CanExpand(double extra) const;
    bool ExpandBy(double extra, bool &requested, double &total);
    double StretchHeight();

    // ---- design surface ----
    // Position on the design surface in pixels (set by the report's
    // arrangement); the size follows Size at the band's zoom.
    QPoint DesignPos;
    int Zoom = 100;
    int StreamedHeight = 40;
    bool Loading = false, Rearranging = false;
    QRect Bounds() const;
    // A move or resize on the design surface: the height goes into Size, a
    // moved band makes the report arrange its bands again, the width stays.
    void SetBounds(int left, int top, int width, int height);
    void Loaded();
    void SetZoom(int zoom);
    // The band in client coordinates: background, grid, outline, frame and
    // the kind's name.
    virtual void Paint(TCanvas &canvas);

private:
    void PrintPrintables();
    std::vector<std::unique_ptr<TRepPrintable>> printables_;
    TRepCustomBand *linkBand_ = nullptr;
};

class TRepBand : public TRepCustomBand {
public:
    explicit TRepBand(TRepBandType type = rbDetail) : TRepCustomBand(type) {}
};

// What the designer is told when a link, parent or master is refused.
inline const QString SCircularLinking = QStringLiteral("Circular linking not allowed");

class TRepChildBand : public TRepCustomBand {
public:
    TRepChildBand() : TRepCustomBand(rbChild) {}
    TRepCustomBand *ParentBand() const { return parent_; }
    bool SetParentBand(TRepCustomBand *band);

private:
    TRepCustomBand *parent_ = nullptr;
};

// A group header band: prints when Expression changes from record to record.
class TRepGroup : public TRepCustomBand {
public:
    TRepGroup() : TRepCustomBand(rbGroupHeader) {}
    QString Expression;
    TRepBand *FooterBand = nullptr;
    bool ReprintOnNewPage = false;
    void *Master = nullptr; // the report or a controller band

    // Run state.
    bool Changed = false, Evaluated = false, InGroup = false;
    TRepEvValue LastValue;
    int HeaderPage = 1;
    TRepEvaluator Evaluator;

    TRepEvValue EvaluateNow();
    void CheckChange();
    void StoreNow();
    void CheckReprint();
    void PrintHeader();
    void PrintFooter();
};

class TRepCustomController {
public:
    explicit TRepCustomController(TCustomBandReport *report) : Report(report) {}
    TRepCustomController(const TRepCustomController &) = delete;
    TRepCustomController &operator=(const TRepCustomController &) = delete;
    virtual ~TRepCustomController() = default;

    TCustomBandReport *Report;
    // What the controller drives: the report, or the controller band it
    // belongs to; bands and groups whose Master it is join its lists.
    void *CheckReference = nullptr;
    bool PrintBefore = false, PrintIfEmpty = true;
    std::vector<TRepCustomController *> BeforeList, AfterList;
    std::vector<TRepGroup *> Groups;
    std::vector<TRepPrintable *> Clients;

    virtual void Prepare();
    virtual void Execute() { if (PrintIfEmpty) PrintEmpty(); }
    virtual void PrepareRun();
    virtual void UnprepareRun() {}
    virtual void PrintEmpty();
    void RunAfterList();
    void RunBeforeList();
    void RegisterClient(TRepPrintable *printable) { Clients.push_back(printable); }
    virtual void CollectDataSet() {}
    // Releases the expressions of its groups and of the controllers below it.
    void DiscardGroups();
    void NotifyClients(int code);
    bool CheckGroups();
    void PrintGroupHeaders();
    void PrintGroupFooters();
    void InvertGroupChanges();
    void ReprintGroupHeaders();
};

class TRepController : public TRepCustomController {
public:
    using TRepCustomController::TRepCustomController;
    TDataSet *DataSet = nullptr;
    TRepCustomBand *DetailBand = nullptr, *FooterBand = nullptr, *HeaderBand = nullptr;
    std::function<void(bool &moreData)> OnNeedData;
    int DetailNumber = 0;
    // Set by PrepareRun when DataSet is a query with a parameter named like
    // one of the report's variables: Execute refreshes it from them.
    bool RefreshParams = false;

    void Execute() override;
    void PrintEmpty() override;
    void PrepareRun() override;
    void CollectDataSet() override;
};

// Closes query, gives each parameter named like a variable of env that
// variable's value (when the value's kind suits the parameter's type) and
// opens the query again.
void UpdateQueryParams(TDataSet &query, TRepEvEnvironment &env);

// A band that runs its own detail loop under a master (the report or
// another controller band), before or after each record of the master.
class TRepControllerBand : public TRepCustomBand {
public:
    explicit TRepControllerBand(TRepBandType type);
    TRepController Controller{nullptr};
    void *Master() const { return master_; }
    // Refuses (false) a master whose chain of masters comes back here.
    bool SetMaster(void *master);

private:
    void *master_ = nullptr;
};

// A detail band over a dataset of its own, printed for each record of its
// master, with an optional header and footer band.
class TRepSubDetail : public TRepControllerBand {
public:
    TRepSubDetail() : TRepControllerBand(rbSubDetail) {}
    TRepCustomBand *HeaderBand() const { return Controller.HeaderBand; }
    TRepCustomBand *FooterBand() const { return Controller.FooterBand; }
    // The header becomes a group header band, the footer a group footer band.
    void SetHeaderBand(TRepCustomBand *band);
    void SetFooterBand(TRepCustomBand *band);
    // Bands.HasHeader / Bands.HasFooter: true creates the band on the
    // report, false frees it. The band must lie on a report.
    bool HasHeader() const { return Controller.HeaderBand != nullptr; }
    bool HasFooter() const { return Controller.FooterBand != nullptr; }
    void SetHasHeader(bool on) { SwitchBand(&TRepController::HeaderBand, rbGroupHeader, on); }
    void SetHasFooter(bool on) { SwitchBand(&TRepController::FooterBand, rbGroupFooter, on); }

private:
    void SwitchBand(TRepCustomBand *TRepController::*slot, TRepBandType type, bool on);
};

class TCustomBandReport;

// The report's band switches: whether it has a band of a type; switching
// on creates a plain band of that type, switching off frees the first one.
class TBandReportBands {
public:
    explicit TBandReportBands(TCustomBandReport &report) : report_(report) {}
    bool HasTitle() const { return GetBand(1); }
    bool HasPageHeader() const { return GetBand(2); }
    bool HasColumnHeader() const { return GetBand(3); }
    bool HasDetail() const { return GetBand(4); }
    bool HasPageFooter() const { return GetBand(6); }
    bool HasSummary() const { return GetBand(7); }
    void SetHasTitle(bool on) { Switch(1, on); }
    void SetHasPageHeader(bool on) { Switch(2, on); }
    void SetHasColumnHeader(bool on) { Switch(3, on); }
    void SetHasDetail(bool on) { Switch(4, on); }
    void SetHasPageFooter(bool on) { Switch(6, on); }
    void SetHasSummary(bool on) { Switch(7, on); }
    // 1 title, 2 page header, 3 column header, 4 detail, 5 none, 6 page
    // footer, any other number the summary: the first such band.
    TRepCustomBand *GetBand(int n) const;

private:
    void Switch(int n, bool on);
    TCustomBandReport &report_;
};

enum class TBandReportOption : uint8_t { FirstPageHeader = 1, LastPageFooter = 2, Compression = 4 };

// The font a new report starts with: Arial 10, which the layouts measure
// their texts in; on a system whose language is Japanese the system's own
// default font instead, since Arial holds no Japanese letters and a report's
// own texts there would print as boxes. A report passes the language of the
// system's locale.
QFont DefaultReportFont(QLocale::Language systemLanguage);

class TCustomBandReport : public TRepMessageTarget {
public:
    TCustomBandReport();
    TCustomBandReport(const TCustomBandReport &) = delete;
    TCustomBandReport &operator=(const TCustomBandReport &) = delete;
    virtual ~TCustomBandReport();

    // Layout.
    TRepPage Page{this};
    QFont Font;
    TRepFrame Frame{this};
    unsigned Options = unsigned(TBandReportOption::FirstPageHeader) | unsigned(TBandReportOption::LastPageFooter);
    QString ReportTitle;
    QString BackImageControl;
    TRepEvEnvironment Functions;
    TRepController MainController{this};
    std::vector<TDataSet *> DataSets; // the datasets of the form the report lies on
    std::function<void(TCustomBandReport &, bool &printReport)> BeforePrint;
    std::function<void(TCustomBandReport &)> OnStartPage, OnEndPage;
    std::function<void(bool &moreData)> OnNeedData;
    int Tag = 0;

    template <class T> T &AddBand(std::unique_ptr<T> band)
    {
        T &b = *band;
        b.Report = this;
        b.Size.Report = this;
        for (const auto &p : b.Printables())
            p->Report = this;
        bands_.push_back(std::move(band));
        return b;
    }
    // Takes ownership; the printable lies on the report itself, its measures
    // in the report's unit (its values in 0.1 mm kept, as for a band's).
    template <class T> T &AddPrintable(std::unique_ptr<T> printable)
    {
        T &p = *printable;
        p.Report = this;
        p.Size.SetUnits(Units());
        printables_.push_back(std::move(printable));
        return p;
    }
    const std::vector<std::unique_ptr<TRepCustomBand>> &Bands() const { return bands_; }
    // Frees a band; every reference to it (links, parents, footers, headers) is cleared.
    void RemoveBand(TRepCustomBand *band);
    // A plain band of type named from the type's name base.
    TRepCustomBand &CreateBand(TRepBandType type);
    TBandReportBands BandSwitches{*this};
    TRepCustomBand *BandOfType(TRepBandType type) const;
    TRepUnit Units() const { return Page.GetUnits(); }
    void SetUnits(TRepUnit unit);
    bool HasOption(TBandReportOption o) const { return Options & unsigned(o); }

    // The band list and the design surface (RepDesign.cpp). BandList gives
    // the bands in print order, which also decides their stacking on the
    // design surface; it is built afresh from the report's bands whenever
    // asked, so it never holds a band that is gone. BandListRotation moves
    // the first entry to the end that many times (0: none).
    uint32_t BandListRotation = 0;
    std::vector<TRepCustomBand *> BandList();
    // Stacks the bands of BandList from the top margin down at the left
    // margin, in pixels (each band's DesignPos).
    void ArrangeBands();

    // ---- design surface (RepDesign.cpp) ----
    int Zoom = 100; // 1..300
    TColor Color = clWhite;
    bool SnapToGrid = true; // stored only
    // A picture of the first page shown under the layout; any change drops it.
    TMetafile FirstPagePicture;
    // Set by whoever shows the surface: called when it must be painted again.
    std::function<void()> OnRepaint;
    // Set by the design surface while it shows the report: tells the
    // designer why a change was refused.
    std::function<void(const QString &)> OnDesignMessage;
    void SetZoom(int zoom);
    void Repaint() const;
    // Marks a repaint pending (once until the next Paint), drops the first
    // page picture and repaints.
    void Changed();
    bool RepaintPending() const { return repaintPending_; }
    // The page in pixels at the report's zoom.
    QSize PixelSize() const;
    // The report panel: background, first page picture, grid, margins, the
    // report's frame and the column gaps. Clears the pending repaint.
    void Paint(TCanvas &canvas);
    // The whole surface: the report, its bands and every printable, each at
    // its place (the canvas must draw through a painter).
    void PaintSurface(TCanvas &canvas);
    void PaintMargins(TCanvas &canvas);
    void PaintFrame(TCanvas &canvas);
    void PaintColumnLines(TCanvas &canvas);
    // A resize on the design surface: a custom paper takes the new size.
    void SetBounds(int left, int top, int width, int height);
    // What is written with the report: its bands and printables, then the
    // components it owns that lie on no band (datasets, export writers).
    struct TChild {
        enum TKind { Band, Printable, Component } Kind;
        QString Name;
        const void *Object;
    };
    std::vector<TChild> GetChildren() const;
    void OwnComponent(const QString &name, std::shared_ptr<void> component);
    // Reading a layout: BeginLoading marks the report, its bands and
    // printables; Loaded ends it, lets each take its stored bounds and
    // arranges the bands.
    void BeginLoading();
    void Loaded();
    bool IsLoading() const { return loading_; }

    // Run state (positions in 0.1 mm).
    std::atomic<bool> Available = true, RunCancelled = false;
    bool FinalPage = false, SkipNextForcedPage = false, ForcedColumnSeen = false;
    int CurrentX = 0, CurrentY = -1, CurrentColumn = 1, ColumnTop = 0, CurrentPage = 0;
    double PageFooterSize = 0;
    bool Exporting = false;
    TRepExportFilter *ExportFilter = nullptr;
    bool DrawToPrinter = true;
    TRepPrinter *RepPrinter = nullptr;
    TRepPrintable *BackImage = nullptr;
    std::vector<TDataSet *> *DataSetList = nullptr;
    bool SuppressForceNewPage = false;

    void SetExportFilter(TRepExportFilter *filter) { ExportFilter = filter; Exporting = filter != nullptr; }
    // One run into RepPrinter; an exception ends the printer's document and
    // leaves the report ready for another run before it propagates.
    void CreateReport(bool composite = false);
    // Runs again on a fresh printer with filter attached (the preview's
    // export); the report's own printer and its pages stay as they were.
    void ExportToFilter(TRepExportFilter &filter);
    void Cancel();
    void PrintBand(TRepCustomBand *band);
    int SpaceLeft() const;
    void NewColumn();
    void NewPage();
    void EndPage();
    void ForceNewPageNow();
    void ForceNewColumnNow();
    void MeasurePageFooter();
    void PrintPageDecorations();
    // Where the background picture goes on the device for an image size.
    QRect BackImageRect(const TRepPrintableSize &size) const;
    // Whether the current position has not moved since the column began, so
    // a further break could not make room.
    bool AtColumnStart() const { return CurrentY <= freshY_; }
    bool InCompositeRun = false;
    // Compiles expression against the run's datasets and the report's
    // variables (used by groups and by printables that show expressions).
    void PrepareEvaluator(TRepEvaluator &evaluator, const QString &expression);
    // Width and height of text in font, in 0.1 mm, measured at the screen's
    // pixels per inch as pages are recorded.
    // TextWidth gives one pixel more than the text's advance.
    double TextWidth(const QFont &font, const QString &text) const;
    double TextHeight(const QFont &font, const QString &) const { return FontTextHeight(font); }
    static double FontTextWidth(const QFont &font, const QString &text);
    static double FontTextHeight(const QFont &font);

    // ---- entry points: preview, background run, printing, printer set-up ----
    // (built with the engine's windows)
    bool ShowProgress = true;
    int PreviewWidth = 0, PreviewHeight = 0; // read as 600 when not positive
    bool PrevShowThumbs = true, PrevShowSearch = true;
    bool PrevStayOnTop = false;
    int PreviewInitialState = 0; // 0 normal, 1 minimised, 2 maximised
    TRepZoomState PrevInitialZoom = TRepZoomState::qrZoomToFit;
    TBandReportPrinterSettings PrinterSettings, DialogSettings;
    std::function<void(TCustomBandReport &)> AfterPrint, AfterPreview;
    std::function<void(TRepPrinter &)> OnPreview;
    // A background run that failed reports its message here (on the window
    // thread, when the run has ended).
    std::function<void(const QString &)> OnRunError;
    TPrinterSettings::TDeviceEvent OnGetPrinterSettings, OnApplyPrinterSettings;

    // A fresh printer owned by the report becomes RepPrinter; false while a
    // run is in progress.
    bool PrepareNewPrinter();
    void ApplyPrinterSettings();
    // Runs on this thread into a non-modal preview that fills as pages come.
    void RunPreview();
    // Runs on a background thread while a modal preview shows the pages.
    void RunPreviewModal() { GenerateInThread(true); }
    void GenerateInThread(bool modal);
    // Runs again on the printer (the preview's print button).
    void PrintToPrinter();
    // The print dialog for the preview's set-up button (through the handler
    // the windows layer registers); Tag 1 when cancelled.
    void PrinterSetup();
    // Cancels a background run and waits for it to end.
    void WaitForRun();
    bool RunningInBackground() const { return reportThread_.joinable(); }
    int PreviewWidthValue() const { return PreviewWidth > 0 ? PreviewWidth : 600; }
    int PreviewHeightValue() const { return PreviewHeight > 0 ? PreviewHeight : 600; }
    // Messages: print again (posted by the printer), preview closed (sent by
    // the printer), first page (wParam 1: FirstPagePicture takes the
    // printer's page 1 and the report repaints).
    void PostMessage(unsigned msg, intptr_t wParam, intptr_t lParam) override;
    void SendMessage(unsigned msg, intptr_t wParam, intptr_t lParam) override;

private:
    void HandleMessage(unsigned msg, intptr_t wParam, intptr_t lParam);
    void WMFirstPage(intptr_t wParam);
    void PreviewClosed(TRepPrinter *printer);
    void ReleasePrinter(TRepPrinter *printer);
    bool OwnsPrinter(const TRepPrinter *printer) const;
    void RunEnded();
    std::vector<std::unique_ptr<TRepPrinter>> printers_; // printers made by the entry points
    std::thread reportThread_;
    std::vector<TDataSet *> quietDataSets_; // their controls are off during a background run
    TRepPrinter *threadPrinter_ = nullptr;  // the background run's printer
    std::atomic<bool> threadDone_ = false;
    QString threadError_;
    std::unique_ptr<QObject> messages_ = std::make_unique<QObject>(); // context of queued messages
    void PrepareAllPrintables();
    void UnprepareAllPrintables();
    void SetEntry(const char *name, int value);
    std::vector<std::unique_ptr<TRepCustomBand>> bands_;
    std::vector<std::unique_ptr<TRepPrintable>> printables_;
    int freshY_ = -1;
    bool prepared_ = false;
    bool repaintPending_ = false, loading_ = false;
    std::vector<std::pair<QString, std::shared_ptr<void>>> components_;
};

// Runs a report's printer set-up dialog; the windows layer sets it.
std::function<void(TCustomBandReport &)> &RepPrinterSetupHandler();

class TBandReport : public TCustomBandReport {
public:
    // 1 when the main dataset is closed or cannot count.
    int RecordTotal() const;
};

} // namespace zorbel
