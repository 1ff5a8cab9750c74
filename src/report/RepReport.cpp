#include "report/RepReport.h"
#include "report/RepReportUnit.h"

#include "platform/dataset/DataSet.h"

#include <QFontMetricsF>
#include <QHash>
#include <algorithm>
#include <cmath>
#include <optional>

namespace zorbel {

namespace {
int Round(double v) { return int(std::lround(v)); }

const char *const kBandNames[] = {"Title", "Page Header", "Detail", "Page Footer", "Summary", "Group Header",
                                  "Group Footer", "Sub Detail", "Column Header", "Overlay", "Child"};
const char *const kBandBases[] = {"TitleBand", "PageHeaderBand", "DetailBand", "PageFooterBand", "SummaryBand",
                                  "GroupHeaderBand", "GroupFooterBand", "SubDetailBand", "ColumnHeaderBand",
                                  "OverlayBand", "ChildBand"};
} // namespace

QString RepBandTypeName(TRepBandType type) { return QString::fromLatin1(kBandNames[type]); }
QString RepBandNameBase(TRepBandType type) { return QString::fromLatin1(kBandBases[type]); }

// ---- printable ----

TRepPrintable::TRepPrintable() { Size.SetUnits(TRepUnit::Native); }

void TRepPrintable::AlignInBand()
{
    if (!AlignToBand)
        return;
    Realigning = true;
    double &left = Size.Values[TRepPrintableSize::iLeft];
    const double width = Size.Values[TRepPrintableSize::iWidth];
    if (Alignment == TAlignment::taLeftJustify)
        left = 0;
    else if (Band) {
        const double bandWidth = Band->Size.Width;
        left = Alignment == TAlignment::taRightJustify ? bandWidth - width : std::trunc((bandWidth - width) / 2);
    }
    Realigning = false;
}

void TRepPrintable::SetAlignment(TAlignment a)
{
    Alignment = a;
    AlignInBand();
}

void TRepPrintable::Prepare()
{
    PrintingNow = true;
    Printer = Report ? Report->RepPrinter : nullptr;
}

void TRepPrintable::Print(double x, double y)
{
    if (!Report || !Report->DrawToPrinter || !Frame.HasLines() || !Printer)
        return;
    const double l = Size.Values[TRepPrintableSize::iLeft], t = Size.Values[TRepPrintableSize::iTop];
    const QRect r(QPoint(Printer->XToDevice(x + l), Printer->YToDevice(y + t)),
                  QPoint(Printer->XToDevice(l + x + Size.Values[TRepPrintableSize::iWidth]) - 1,
                         Printer->YToDevice(t + y + Size.Values[TRepPrintableSize::iHeight]) - 1));
    Frame.Draw(Printer->GetCanvas(), r, Printer->YScale(), Printer->XScale(), Report, this);
}

void TRepPrintable::Notify(TRepCustomController &, int code)
{
    if (code == 2)
        AlignInBand();
}

// ---- band ----

TRepCustomBand::TRepCustomBand(TRepBandType type) : BandType(type)
{
    Size.SetUnits(TRepUnit::Native);
}

TRepCustomBand::~TRepCustomBand() = default;

bool TRepCustomBand::SetLinkBand(TRepCustomBand *band)
{
    for (TRepCustomBand *b = band; b; b = b->linkBand_)
        if (b == this)
            return RefuseCircularLink(Report);
    linkBand_ = band;
    return true;
}

bool TRepChildBand::SetParentBand(TRepCustomBand *band)
{
    for (TRepCustomBand *b = band; b; b = dynamic_cast<TRepChildBand *>(b) ? static_cast<TRepChildBand *>(b)->parent_ : nullptr)
        if (b == this)
            return RefuseCircularLink(Report);
    parent_ = band;
    return true;
}

TRepCustomBand *TRepCustomBand::ChildBand() const
{
    if (!Report)
        return nullptr;
    for (const auto &b : Report->Bands())
        if (auto *child = dynamic_cast<TRepChildBand *>(b.get()); child && child->ParentBand() == this)
            return child;
    return nullptr;
}

double TRepCustomBand::HeightWithLinks(bool includeLinks) const
{
    double h = Size.Length;
    // A linked chain must fit with this band: its heights add up.
    if (includeLinks && linkBand_)
        h += linkBand_->HeightWithLinks(true);
    return h;
}

void TRepCustomBand::AdvancePosition() { Report->CurrentY += Round(Size.Length + Expanded); }

bool TRepCustomBand::CanExpand(double extra) const
{
    return Round(extra + Size.Length + Expanded) <= Report->SpaceLeft();
}

bool TRepCustomBand::ExpandBy(double extra, bool &requested, double &total)
{
    if (!CanExpand(extra))
        return false;
    bool result = false;
    if (requested || extra >= Expanded)
        Expanded += extra;
    else
        result = true;
    total = Expanded;
    requested = true;
    return result;
}

double TRepCustomBand::StretchHeight()
{
    constexpr double kPixelsPerTenth = 0.37795; // at 96 pixels per inch
    double h = Size.Length, gap = 0;
    for (const auto &p : printables_) {
        double e = 0;
        if (!p->Enabled || !p->GetExpandedHeight(e))
            continue;
        const double top = p->Size.Values[TRepPrintableSize::iTop] * kPixelsPerTenth;
        const double c = (top + e) / kPixelsPerTenth;
        if (c > h) {
            h = c;
            gap = (Size.Length * kPixelsPerTenth - top - p->Size.Values[TRepPrintableSize::iHeight] * kPixelsPerTenth + 1) /
                  kPixelsPerTenth;
        }
    }
    return h + std::max(gap, 0.0);
}

void TRepCustomBand::MakeSpace()
{
    TCustomBandReport &r = *Report;
    const int h = Round(HeightWithLinks(true));
    bool fits = BandType == rbPageFooter || r.SpaceLeft() >= h;
    if (r.CurrentPage == 0)
        fits = false;
    // At the top of a column a break gains nothing: the band prints here,
    // clipped by the page, rather than breaking page after page. A band
    // taller than any page so starts a column of its own instead of
    // running below the bottom of a page that already holds others.
    else if (!fits && r.AtColumnStart())
        fits = true;
    if (!fits) {
        r.SuppressForceNewPage = BandType == rbDetail;
        r.NewColumn();
    } else if (BandType == rbDetail)
        r.SuppressForceNewPage = false;
}

void TRepCustomBand::PrintPrintables()
{
    TCustomBandReport &r = *Report;
    Expanded = 0;
    const double height = Size.Length;
    bool firstPass = true, allDone = false;
    while (!allDone) {
        allDone = true;
        const bool continuation = !firstPass && r.AtColumnStart();
        bool progressed = false;
        for (const auto &p : printables_) {
            if (!p->Enabled)
                continue;
            if (firstPass || !p->FinishedPrinting) {
                const int64_t before = p->Progress;
                p->Print(r.CurrentX, r.CurrentY);
                progressed = progressed || p->Progress != before;
            }
            allDone = allDone && p->FinishedPrinting;
        }
        if (r.RepPrinter && (r.DrawToPrinter || r.Exporting)) {
            TRepPrinter &pr = *r.RepPrinter;
            BandRect = QRect(QPoint(pr.XToDevice(r.CurrentX), pr.YToDevice(r.CurrentY)),
                             QPoint(pr.XToDevice(r.CurrentX + Size.Width) - 1,
                                    pr.YToDevice(r.CurrentY + Size.Length + Expanded + 1) - 1));
            if (Frame.HasLines())
                Frame.Draw(pr.GetCanvas(), BandRect, pr.YScale(), pr.XScale(), &r);
        }
        // A continuation at the top of a fresh column that printed nothing
        // would repeat forever: what is left is given up, clipped.
        if (!allDone && continuation && !progressed) {
            for (const auto &p : printables_)
                p->FinishedPrinting = true;
            allDone = true;
        }
        if (!allDone) {
            r.SuppressForceNewPage = true;
            r.NewColumn();
            r.SuppressForceNewPage = false;
            Size.Length = height;
            Expanded = 0;
        }
        firstPass = false;
    }
    AdvancePosition();
    Size.Length = height;
}

void TRepCustomBand::Print()
{
    TCustomBandReport &r = *Report;
    int startX = r.CurrentX, startY = r.CurrentY;
    bool doPrint = Enabled;
    if (Enabled && BeforePrint)
        BeforePrint(*this, doPrint);
    const bool decoration = BandType == rbTitle || BandType == rbPageHeader || BandType == rbPageFooter ||
                            BandType == rbOverlay;
    if (doPrint) {
        if (ForceNewPage && !r.SuppressForceNewPage && !decoration && r.CurrentPage > 0) {
            r.ForceNewPageNow();
            r.SuppressForceNewPage = false;
        } else if (ForceNewColumn && !decoration && r.CurrentPage > 0)
            r.ForceNewColumnNow();
        else
            MakeSpace();
        // The writer is told where the band actually went, after any break.
        startX = r.CurrentX;
        startY = r.CurrentY;
        if (PrintingController)
            PrintingController->NotifyClients(0);
        if (KeepOnOnePage && StretchHeight() > r.SpaceLeft())
            r.NewColumn();
        TRepPrinter *pr = r.RepPrinter;
        if (!TransparentBand && Enabled && pr) {
            const double height = PreCaluculateBandHeight ? StretchHeight() : Size.Length;
            BandRect = QRect(QPoint(pr->XToDevice(r.CurrentX), pr->YToDevice(r.CurrentY)),
                             QPoint(pr->XToDevice(r.CurrentX + Size.Width) - 1, pr->YToDevice(r.CurrentY + height) - 1));
            if (r.Exporting && r.ExportFilter) {
                TRepShape shape;
                shape.Brush.Color = Color;
                shape.Pen.Style = TPenStyle::psClear;
                shape.Size.Values[TRepPrintableSize::iLeft] = BandRect.left();
                shape.Size.Values[TRepPrintableSize::iTop] = BandRect.top();
                shape.Size.Values[TRepPrintableSize::iWidth] = BandRect.width();
                shape.Size.Values[TRepPrintableSize::iHeight] = BandRect.height();
                r.ExportFilter->PutGraphic(shape, BandRect.left(), BandRect.top());
            }
            if (r.DrawToPrinter) {
                TCanvas &c = pr->GetCanvas();
                c.Brush.Style = TBrushStyle::bsSolid;
                c.Brush.Color = Color;
                c.FillRect(BandRect);
            }
        }
        if (Size.Length > 0 && Enabled)
            PrintPrintables();
        if (r.Exporting && r.ExportFilter)
            r.ExportFilter->PutBand(*this, Expanded, startX, startY);
    } else if (PrintingController && !Enabled)
        PrintingController->NotifyClients(0);
    if (AfterPrint)
        AfterPrint(*this, doPrint);
    if (TRepCustomBand *child = ChildBand()) {
        const bool footer = BandType == rbPageFooter;
        if (footer)
            child->BandType = rbPageFooter;
        r.PrintBand(child);
        if (footer)
            child->BandType = rbChild;
    }
    r.SuppressForceNewPage = false;
}

// ---- groups ----

TRepEvValue TRepGroup::EvaluateNow() { return Evaluator.IsCompiled() ? Evaluator.Evaluate() : TRepEvValue(); }

static bool SameValue(const TRepEvValue &a, const TRepEvValue &b)
{
    if (a.Kind != b.Kind)
        return false;
    switch (a.Kind) {
    case TRepEvKind::Integer: return a.IntValue == b.IntValue;
    case TRepEvKind::Float: return a.FloatValue == b.FloatValue;
    case TRepEvKind::Boolean: return a.BoolValue == b.BoolValue;
    default: return a.Text == b.Text;
    }
}

void TRepGroup::CheckChange()
{
    Changed = false;
    const TRepEvValue v = EvaluateNow();
    if (!Evaluated || !SameValue(v, LastValue)) {
        LastValue = v;
        Changed = true;
        Evaluated = true;
    }
}

void TRepGroup::StoreNow()
{
    LastValue = EvaluateNow();
    Changed = true;
    Evaluated = true;
}

void TRepGroup::CheckReprint()
{
    if (ReprintOnNewPage && InGroup && HeaderPage != Report->CurrentPage) {
        Changed = true;
        HeaderPage = Report->CurrentPage;
    } else
        Changed = false;
}

void TRepGroup::PrintHeader()
{
    Report->PrintBand(this);
    InGroup = true;
    HeaderPage = Report->CurrentPage;
}

void TRepGroup::PrintFooter()
{
    if (FooterBand)
        Report->PrintBand(FooterBand);
    InGroup = false;
}

// ---- report ----

QFont DefaultReportFont(QLocale::Language systemLanguage)
{
    if (systemLanguage == QLocale::Japanese)
        return QFont();
    // Arial by name: the system's font matching gives the metric-compatible
    // Liberation Sans (fonts-liberation2's aliases), and the writers name
    // the font as the layout does.
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(10);
    return font;
}

TCustomBandReport::TCustomBandReport()
{
    Font = DefaultReportFont(QLocale::system().language());
    Functions.DefineVariable(QStringLiteral("PAGENUMBER"), QStringLiteral("0"));
    Functions.DefineVariable(QStringLiteral("COLUMNNUMBER"), QStringLiteral("0"));
    Functions.DefineVariable(QStringLiteral("REPORTTITLE"), QStringLiteral("''"));
}

// A background run still going is cancelled and waited for first.
TCustomBandReport::~TCustomBandReport()
{
    WaitForRun();
    // A preview still open keeps its pages: its printer outlives the report.
    for (auto &printer : printers_)
        if (printer->Client())
            AdoptRepPrinter(std::move(printer));
}

TRepCustomBand &TCustomBandReport::CreateBand(TRepBandType type)
{
    auto band = std::make_unique<TRepBand>(type);
    // Named as the form designer names it: the type's base and the first free number.
    for (int i = 1;; ++i) {
        const QString name = RepBandNameBase(type) + QString::number(i);
        if (std::none_of(bands_.begin(), bands_.end(), [&](const auto &b) { return b->Name == name; })) {
            band->Name = name;
            break;
        }
    }
    band->Size.Width = Page.Values[TRepPage::iWidth] - Page.Values[TRepPage::iLeftMargin] - Page.Values[TRepPage::iRightMargin];
    return AddBand(std::move(band));
}

void TCustomBandReport::RemoveBand(TRepCustomBand *band)
{
    const auto it = std::find_if(bands_.begin(), bands_.end(), [&](const auto &b) { return b.get() == band; });
    if (it == bands_.end())
        return;
    for (const auto &b : bands_) {
        if (b->LinkBand() == band)
            b->SetLinkBand(nullptr);
        if (auto *c = dynamic_cast<TRepChildBand *>(b.get()); c && c->ParentBand() == band)
            c->SetParentBand(nullptr);
        if (auto *g = dynamic_cast<TRepGroup *>(b.get())) {
            if (g->FooterBand == band)
                g->FooterBand = nullptr;
            if (g->Master == band)
                g->Master = nullptr;
        }
        if (auto *c = dynamic_cast<TRepControllerBand *>(b.get())) {
            if (c->Controller.HeaderBand == band)
                c->Controller.HeaderBand = nullptr;
            if (c->Controller.FooterBand == band)
                c->Controller.FooterBand = nullptr;
            if (c->Master() == band)
                c->SetMaster(nullptr);
        }
    }
    bands_.erase(it);
}

TRepCustomBand *TCustomBandReport::BandOfType(TRepBandType type) const
{
    for (const auto &b : bands_)
        if (b->BandType == type)
            return b.get();
    return nullptr;
}

void TCustomBandReport::SetUnits(TRepUnit unit)
{
    Page.SetUnits(unit);
    for (const auto &b : bands_) {
        b->Size.SetUnits(unit);
        for (const auto &p : b->Printables())
            p->Size.SetUnits(unit);
    }
    for (const auto &p : printables_)
        p->Size.SetUnits(unit);
}

void TCustomBandReport::SetEntry(const char *name, int value)
{
    TRepEvEnvironment::SetIntegerConstant(Functions.GetVariableElement(QString::fromLatin1(name)), value);
}

void TCustomBandReport::PrepareEvaluator(TRepEvaluator &evaluator, const QString &expression)
{
    evaluator.SetDataSetList(DataSetList);
    evaluator.LocalEnvironment = &Functions;
    evaluator.Compile(expression);
}

namespace {
// The font at its pixel height on the screen, whatever the display's own
// resolution: measures then match the recorded pages.
// Labels measure every line of every record: the metrics of the last font
// asked for, and the widths of the texts measured in it (bounded), are kept
// per thread, as a background run measures too.
struct TScreenMeasures {
    QFont Key;
    std::optional<QFontMetricsF> Metrics;
    QHash<QString, double> Widths;
};

TScreenMeasures &ScreenMeasures(const QFont &font)
{
    thread_local TScreenMeasures m;
    if (!m.Metrics || !(m.Key == font)) {
        QFont f = font;
        f.setPixelSize(FontPixelHeight(font));
        m.Metrics.emplace(f);
        m.Key = font;
        m.Widths.clear();
    }
    return m;
}
constexpr double kTenthsPerPixel = 254.0 / ScreenPixelsPerInch;
} // namespace

double TCustomBandReport::FontTextWidth(const QFont &font, const QString &text)
{
    TScreenMeasures &m = ScreenMeasures(font);
    if (auto it = m.Widths.constFind(text); it != m.Widths.constEnd())
        return *it;
    if (m.Widths.size() >= 4096)
        m.Widths.clear();
    const double w = m.Metrics->horizontalAdvance(text) * kTenthsPerPixel;
    m.Widths.insert(text, w);
    return w;
}

double TCustomBandReport::TextWidth(const QFont &font, const QString &text) const
{
    return FontTextWidth(font, text) + kTenthsPerPixel;
}

double TCustomBandReport::FontTextHeight(const QFont &font) { return ScreenMeasures(font).Metrics->height() * kTenthsPerPixel; }

void TCustomBandReport::PrintBand(TRepCustomBand *band)
{
    if (!band)
        return;
    if (band->AlignToBottom) {
        if (band->BandType == rbSummary && !HasOption(TBandReportOption::LastPageFooter))
            PageFooterSize = 0;
        // The printer's length is already that of the page as it is turned.
        const int l = RepPrinter->PaperLengthValue();
        const double h = band->Size.Length, bottom = Page.Values[TRepPage::iBottomMargin];
        if (l - CurrentY >= Round(h + bottom + PageFooterSize))
            CurrentY = l - Round(h) - Round(bottom + PageFooterSize);
    }
    band->Print();
}

int TCustomBandReport::SpaceLeft() const
{
    if (Available || CurrentY == -1 || !RepPrinter)
        return 0;
    if (Exporting && ExportFilter && ExportFilter->WantsOnePage())
        return RepPrinter->PaperLengthValue();
    // The printer's length is that of the page as it is turned: taking its
    // width for a landscape page let rows run past the bottom margin.
    const int l = RepPrinter->PaperLengthValue();
    return Round(l - Page.Values[TRepPage::iBottomMargin] - PageFooterSize - CurrentY);
}

void TCustomBandReport::NewColumn()
{
    const int columns = Page.Columns();
    if (CurrentColumn == columns) {
        CurrentColumn = 1;
        CurrentX = Round(Page.Values[TRepPage::iLeftMargin]);
        NewPage();
    } else {
        const TRepCustomBand *detail = BandOfType(rbDetail);
        const int space = Round(Page.Values[TRepPage::iColumnSpace]);
        const int w = detail ? Round(detail->Size.Width)
                             : (Round(Page.Values[TRepPage::iWidth] - (Page.Values[TRepPage::iLeftMargin] +
                                                                         Page.Values[TRepPage::iRightMargin])) -
                                (columns - 1) * space) / columns;
        CurrentX += w + space;
        CurrentY = ColumnTop;
        ++CurrentColumn;
    }
    SetEntry("COLUMNNUMBER", CurrentColumn);
    freshY_ = CurrentY;
    if (!(CurrentColumn == 1 && CurrentPage == 1)) {
        PrintBand(BandOfType(rbColumnHeader));
        MainController.ReprintGroupHeaders();
    }
    freshY_ = CurrentY;
}

void TCustomBandReport::NewPage()
{
    EndPage();
    if (Exporting && ExportFilter)
        ExportFilter->BeginNextPage();
    ++CurrentPage;
    SetEntry("PAGENUMBER", CurrentPage);
    if (DrawToPrinter || CurrentPage == 1)
        RepPrinter->NewPage();
    CurrentY = Round(Page.Values[TRepPage::iTopMargin]);
    freshY_ = CurrentY;
    if (OnStartPage)
        OnStartPage(*this);
    if (BackImage) {
        const QRect r = BackImageRect(BackImage->Size);
        if (DrawToPrinter)
            BackImage->StretchPicture(RepPrinter->GetCanvas(), r);
        if (Exporting && ExportFilter)
            ExportFilter->PutGraphic(*BackImage, r.left(), r.top());
    }
    if (CurrentPage > 1 || HasOption(TBandReportOption::FirstPageHeader))
        PrintBand(BandOfType(rbPageHeader));
    freshY_ = CurrentY;
    ColumnTop = CurrentY;
    if (CurrentPage == 1)
        if (const TRepCustomBand *title = BandOfType(rbTitle))
            ColumnTop += Round(title->Size.Length);
}

QRect TCustomBandReport::BackImageRect(const TRepPrintableSize &size) const
{
    const double l = size.Values[TRepPrintableSize::iLeft], t = size.Values[TRepPrintableSize::iTop];
    return QRect(QPoint(RepPrinter->XToDevice(l), RepPrinter->YToDevice(t)),
                 QPoint(RepPrinter->XToDevice(l + size.Values[TRepPrintableSize::iWidth]) - 1,
                        RepPrinter->YToDevice(t + size.Values[TRepPrintableSize::iHeight]) - 1));
}

void TCustomBandReport::EndPage()
{
    if (CurrentPage > 0) {
        CurrentY = Round(Page.Values[TRepPage::iLength] - Page.Values[TRepPage::iBottomMargin] - PageFooterSize);
        CurrentX = Round(Page.Values[TRepPage::iLeftMargin]);
        if (!(FinalPage && !HasOption(TBandReportOption::LastPageFooter)))
            PrintBand(BandOfType(rbPageFooter));
        PrintPageDecorations();
        if (OnEndPage)
            OnEndPage(*this);
    }
    if (Exporting && ExportFilter)
        ExportFilter->FinishPage();
}

void TCustomBandReport::PrintPageDecorations()
{
    for (const auto &p : printables_)
        if (p.get() != BackImage)
            p->Print(0, 0);
    if ((DrawToPrinter || Exporting) && Frame.HasLines()) {
        const QRect r(QPoint(RepPrinter->XToDevice(Page.Values[TRepPage::iLeftMargin]),
                             RepPrinter->YToDevice(Page.Values[TRepPage::iTopMargin])),
                      QPoint(RepPrinter->XToDevice(Page.Values[TRepPage::iWidth] - Page.Values[TRepPage::iRightMargin]) - 1,
                             RepPrinter->YToDevice(Page.Values[TRepPage::iLength] - Page.Values[TRepPage::iBottomMargin]) - 1));
        Frame.Draw(RepPrinter->GetCanvas(), r, RepPrinter->YScale(), RepPrinter->XScale(), this);
    }
}

void TCustomBandReport::ForceNewPageNow()
{
    if (Available)
        return;
    if (SkipNextForcedPage) {
        SkipNextForcedPage = false;
        return;
    }
    do
        NewColumn();
    while (CurrentColumn != 1);
}

void TCustomBandReport::ForceNewColumnNow()
{
    if (Available)
        return;
    if (ForcedColumnSeen || CurrentColumn > 1)
        NewColumn();
    else
        ForcedColumnSeen = true;
}

void TCustomBandReport::MeasurePageFooter()
{
    PageFooterSize = 0;
    for (const auto &b : bands_)
        if (b->BandType == rbPageFooter && b->Enabled)
            for (const TRepCustomBand *c = b.get(); c; c = c->ChildBand())
                PageFooterSize += c->Size.Length;
}

void TCustomBandReport::PrepareAllPrintables()
{
    for (const auto &p : printables_)
        p->Prepare();
    for (const auto &b : bands_)
        for (const auto &p : b->Printables())
            p->Prepare();
}

void TCustomBandReport::UnprepareAllPrintables()
{
    for (const auto &p : printables_)
        p->Unprepare();
    for (const auto &b : bands_)
        for (const auto &p : b->Printables())
            p->Unprepare();
}

void TCustomBandReport::Cancel()
{
    if (!Available) {
        RunCancelled = true;
        if (RepPrinter)
            RepPrinter->Cancel();
    }
}

void TCustomBandReport::CreateReport(bool composite)
{
    bool expected = true;
    if (!RepPrinter || !Available.compare_exchange_strong(expected, false))
        return;
    double *v = Page.Values;
    if (v[TRepPage::iWidth] - v[TRepPage::iLeftMargin] - v[TRepPage::iRightMargin] < 0)
        v[TRepPage::iLeftMargin] = v[TRepPage::iRightMargin] = 0;
    if (v[TRepPage::iLength] - v[TRepPage::iTopMargin] - v[TRepPage::iBottomMargin] < 0)
        v[TRepPage::iTopMargin] = v[TRepPage::iBottomMargin] = 0;
    RunCancelled = false;
    FinalPage = SkipNextForcedPage = ForcedColumnSeen = SuppressForceNewPage = false;
    std::vector<TDataSet *> dataSetList;
    DataSetList = &dataSetList;
    BackImage = nullptr;
    for (const auto &p : printables_)
        if (!BackImageControl.isEmpty() && p->Name == BackImageControl)
            BackImage = p.get();
    bool doIt = true;
    try {
        if (BeforePrint)
            BeforePrint(*this, doIt);
    } catch (...) {
        // A failing handler leaves the report ready for another run.
        DataSetList = nullptr;
        Available = true;
        throw;
    }
    if (!doIt) {
        DataSetList = nullptr;
        Available = true;
        return;
    }
    const TRepUnit units = Units();
    SetUnits(TRepUnit::Native);
    bool docBegun = false, expressions = false;
    try {
        for (TDataSet *d : DataSets)
            if (d && d->Active())
                dataSetList.push_back(d);
        if (!composite) {
            RepPrinter->SetPaperSize(Page.PaperSize());
            RepPrinter->SetOrientation(Page.Orientation() == poLandscape);
            if (Page.PaperSize() == rpCustom || Page.PaperSize() == rpDefault) {
                RepPrinter->SetPaperWidth(Round(v[TRepPage::iWidth]));
                RepPrinter->SetPaperLength(Round(v[TRepPage::iLength]));
            }
            RepPrinter->Title = ReportTitle;
            RepPrinter->SetCompression(HasOption(TBandReportOption::Compression));
            RepPrinter->BeginDoc();
            docBegun = true;
            CurrentY = -1;
            CurrentPage = 0;
            CurrentColumn = Page.Columns();
        } else {
            // A part of a composite document lays out on the document's paper.
            Page.SetOrientation(RepPrinter->Settings().Orientation ? poLandscape : poPortrait);
            Page.SetPaperSize(RepPrinter->Settings().PaperSize);
            CurrentColumn = 1;
        }
        freshY_ = -1;
        if (Exporting && ExportFilter && !ExportFilter->Started)
            ExportFilter->BeginDocument(Round(v[TRepPage::iWidth]), Round(v[TRepPage::iLength]), Font);
        MeasurePageFooter();
        CurrentX = Round(v[TRepPage::iLeftMargin]);
        MainController.Report = this;
        MainController.Prepare();
        Functions.SetDataSetList(DataSetList);
        Functions.CompileAll();
        expressions = true;
        TRepEvEnvironment::SetStringConstant(Functions.GetVariableElement(QStringLiteral("REPORTTITLE")), ReportTitle);
        if (composite) // a report that goes on on the page of the one before numbers on from it
            SetEntry("PAGENUMBER", CurrentPage);
        MainController.PrepareRun();
        PrepareAllPrintables();
        InCompositeRun = composite;
        MainController.HeaderBand = BandOfType(rbTitle);
        MainController.DetailBand = BandOfType(rbDetail);
        MainController.FooterBand = BandOfType(rbSummary);
        if (OnNeedData)
            MainController.OnNeedData = OnNeedData;
        MainController.Execute();
        if (!composite || Tag == 999) {
            CurrentX = Round(v[TRepPage::iLeftMargin]);
            FinalPage = true;
            if (!RunCancelled || composite)
                EndPage();
            if (Exporting && ExportFilter)
                ExportFilter->EndDocument();
        }
    } catch (...) {
        // Leave nothing half open: the document, the printables, the
        // expressions and the report's own state are all put back.
        if (docBegun)
            RepPrinter->AbortDoc();
        SetUnits(units);
        UnprepareAllPrintables();
        MainController.UnprepareRun();
        if (expressions)
            Functions.DiscardAll();
        MainController.DiscardGroups();
        DataSetList = nullptr;
        Available = true;
        throw;
    }
    SetUnits(units);
    UnprepareAllPrintables();
    MainController.UnprepareRun();
    Functions.DiscardAll();
    MainController.DiscardGroups();
    if (RunCancelled)
        RepPrinter->AbortDoc();
    else if (!composite)
        DrawToPrinter ? RepPrinter->EndDoc() : RepPrinter->AbortDoc();
    DataSetList = nullptr;
    Available = true;
}

void TCustomBandReport::ExportToFilter(TRepExportFilter &filter)
{
    WaitForRun(); // never two runs over the same datasets at once
    SetExportFilter(&filter);
    filter.Report = this;
    filter.SourcePrinter = RepPrinter;
    DrawToPrinter = false;
    TRepPrinter *kept = RepPrinter;
    TRepPrinter fresh;
    RepPrinter = &fresh;
    struct Restore {
        TCustomBandReport &r;
        TRepPrinter *kept;
        std::unique_ptr<TRepMessageTarget> window;
        ~Restore()
        {
            r.RepPrinter->StatusWindow = nullptr;
            window.reset();
            r.SetExportFilter(nullptr);
            r.DrawToPrinter = true;
            r.RepPrinter = kept;
        }
    } restore{*this, kept, nullptr};
    if (ShowProgress && RepProgressWindowFactory())
        restore.window = RepProgressWindowFactory()(fresh);
    fresh.StatusWindow = restore.window.get();
    CreateReport();
}

int TBandReport::RecordTotal() const
{
    TDataSet *d = MainController.DataSet;
    if (!d || !d->Active())
        return 1;
    try {
        // An open dataset without records has none to count ("строк: 0" on
        // an empty list); the run's progress skips a total of 0.
        return std::max(0, d->RecordCount());
    } catch (const Exception &) {
        return 1; // a dataset that cannot count: the progress shows no total, the run reports its own failures
    }
}

} // namespace zorbel
