// The standard preview window and its text search dialog.
#include "report/RepPreviewForm.h"

#include "report/RepFilter.h"
#include "report/RepPrintDialog.h"
#include "platform/system/SysPaths.h"
#include "report/RepProgress.h"
#include "report/RepReport.h"
#include "report/RepTextSearch.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include <algorithm>

namespace zorbel {

namespace {

// The toolbar's pictures: 0 zoom to fit, 1 100 %, 2 zoom to width, 3-6 first,
// previous, next, last page, 7 printer set-up, 8 print, 9 load, 10 save,
// 11 search, 12 go to page.
QPixmap Glyph(int index)
{
    QStyle *style = QApplication::style();
    switch (index) {
    case 3: return style->standardIcon(QStyle::SP_MediaSkipBackward).pixmap(16, 16);
    case 4: return style->standardIcon(QStyle::SP_MediaSeekBackward).pixmap(16, 16);
    case 5: return style->standardIcon(QStyle::SP_MediaSeekForward).pixmap(16, 16);
    case 6: return style->standardIcon(QStyle::SP_MediaSkipForward).pixmap(16, 16);
    case 9: return style->standardIcon(QStyle::SP_DialogOpenButton).pixmap(16, 16);
    case 10: return style->standardIcon(QStyle::SP_DialogSaveButton).pixmap(16, 16);
    case 12: return style->standardIcon(QStyle::SP_ArrowRight).pixmap(16, 16);
    default: break;
    }
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1.2));
    if (index <= 2 || index == 11) {
        // A magnifier; zoom kinds show what they fit inside the lens.
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(1.5, 1.5, 10, 10));
        p.setPen(QPen(Qt::black, 2.5));
        p.drawLine(QPointF(10, 10), QPointF(14.5, 14.5));
        p.setPen(QPen(Qt::darkBlue, 1));
        if (index == 0)
            p.drawRect(QRectF(4.5, 3.5, 4, 6));
        else if (index == 2)
            p.drawLine(QPointF(3, 6.5), QPointF(10, 6.5));
        else if (index == 1) {
            QFont f = p.font();
            f.setPixelSize(6);
            p.setFont(f);
            p.drawText(QRectF(1.5, 1.5, 10, 10), Qt::AlignCenter, QStringLiteral("1:1"));
        }
    } else {
        // A printer; the set-up one with a sheet of settings.
        p.setBrush(Qt::lightGray);
        p.drawRect(QRectF(1.5, 6.5, 13, 6));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 1.5, 7, 5));
        p.drawRect(QRectF(4.5, 10.5, 7, 4));
        if (index == 7) {
            p.setPen(QPen(Qt::darkBlue, 1));
            p.drawLine(QPointF(6, 3), QPointF(10, 3));
            p.drawLine(QPointF(6, 5), QPointF(10, 5));
        }
    }
    return pixmap;
}

TSpeedButton *ToolButton(TPanel *bar, const QString &name, const QString &hint, int glyph, int &left)
{
    auto *b = new TSpeedButton(bar, name);
    b->SetHint(hint);
    b->SetGlyph(Glyph(glyph));
    b->SetFlat(true);
    b->SetBounds(left, 2, 24, 24);
    left += 24;
    return b;
}

// A disabled divider between the groups of buttons.
void Divider(TPanel *bar, int &left)
{
    auto *d = new TSpeedButton(bar);
    d->SetEnabled(false);
    d->SetFlat(true);
    d->SetBounds(left, 2, 8, 24);
    left += 8;
}

QString QtFilter(const QString &filter, QStringList &entries)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    entries.clear();
    for (int i = 0; i + 1 < parts.size(); i += 2)
        entries << parts[i].trimmed();
    return entries.join(QStringLiteral(";;"));
}

// A small input box of the engine (English, unlike the program's own).
bool AskLine(QWidget *owner, const QString &caption, const QString &prompt, QString &value)
{
    TForm form;
    form.SetName(QStringLiteral("GotoPageBox"));
    form.SetCaption(caption);
    form.SetBorderStyle(TFormBorderStyle::bsDialog);
    form.SetPosition(TPosition::poScreenCenter);
    form.SetClientWidth(260);
    form.SetClientHeight(96);
    auto *label = new TLabel(&form, QStringLiteral("Prompt"));
    label->SetCaption(prompt);
    label->SetBounds(8, 10, 244, 16);
    auto *edit = new TEdit(&form, QStringLiteral("Value"));
    edit->SetBounds(8, 30, 244, 22);
    edit->SetText(value);
    edit->SelectAll();
    auto *ok = new TButton(&form, QStringLiteral("OK"));
    ok->SetCaption(QStringLiteral("OK"));
    ok->SetModalResult(mrOk);
    ok->SetDefault(true);
    ok->SetBounds(96, 62, 75, 25);
    auto *cancel = new TButton(&form, QStringLiteral("Cancel"));
    cancel->SetCaption(QStringLiteral("Cancel"));
    cancel->SetModalResult(mrCancel);
    cancel->SetCancel(true);
    cancel->SetBounds(177, 62, 75, 25);
    form.SetActiveControl(edit);
    Q_UNUSED(owner);
    const bool ok_ = form.ShowModal() == mrOk;
    value = edit->Text();
    return ok_;
}

// Calls back when a widget is resized.
class TResizeWatch : public QObject {
public:
    TResizeWatch(QWidget *watched, std::function<void()> onResize) : QObject(watched), onResize_(std::move(onResize))
    {
        watched->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Resize)
            onResize_();
        return false;
    }

private:
    std::function<void()> onResize_;
};

} // namespace

// Paints one row of the thumbnail grid: the page as a small sheet and its
// number at the top left.
class TThumbDelegate : public QStyledItemDelegate {
public:
    explicit TThumbDelegate(TRepStandardPreview &form) : QStyledItemDelegate(&form), form_(form) {}
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const QRect cell = option.rect;
        painter->fillRect(cell, option.palette.button());
        if (form_.printer_) {
            if (std::unique_ptr<TMetafile> page = form_.printer_->GetPageMetafile(index.row() + 1)) {
                const QRect r(QPoint(cell.left() + form_.thumbOffsetX_, cell.top() + 10),
                              QPoint(cell.right() - 30, cell.bottom() - 10));
                if (r.width() > 4 && r.height() > 4)
                    PaintRepPage(*painter, r, page.get());
            }
        }
        painter->setPen(option.palette.buttonText().color());
        painter->drawText(cell.adjusted(2, 1, 0, 0), Qt::AlignLeft | Qt::AlignTop, QString::number(index.row() + 1));
        if (option.state & QStyle::State_Selected) {
            painter->setPen(QPen(option.palette.highlight().color(), 2));
            painter->setBrush(Qt::NoBrush);
            painter->drawRect(cell.adjusted(1, 1, -1, -1));
        }
    }

private:
    TRepStandardPreview &form_;
};

bool RunDesktopFileDialog(bool save, const QString &title, const QString &filter, QString &fileName,
                          int &filterIndex)
{
    QStringList entries;
    const QString qtFilter = QtFilter(filter, entries);
    // The extension of each entry, from its pattern ("*.TXT" gives TXT).
    QStringList suffixes;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (int i = 1; i < parts.size(); i += 2) {
        const QString pattern = parts[i].section(QLatin1Char(';'), 0, 0).trimmed();
        const QString suffix = pattern.section(QLatin1Char('.'), -1);
        suffixes << (pattern.startsWith(QLatin1String("*.")) && !suffix.contains(QLatin1Char('*')) ? suffix : QString());
    }
    QFileDialog box(QApplication::activeWindow(), title, ShownName(fileName), qtFilter);
    box.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    box.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (save) {
        box.setDefaultSuffix(suffixes.value(0));
        QObject::connect(&box, &QFileDialog::filterSelected, &box, [&](const QString &chosen) {
            box.setDefaultSuffix(suffixes.value(int(entries.indexOf(chosen))));
        });
    }
    if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty()) {
        fileName.clear();
        return false;
    }
    // Qt lists names whose bytes are not UTF-8 with U+FFFD: the file meant.
    bool ambiguous = false;
    fileName = ReachableName(box.selectedFiles().first(), &ambiguous);
    if (ambiguous)
        Application().ShowException(ERepError(
            QStringLiteral("В папке несколько файлов с именами, которые выглядят так же, как выбранное: "
                           "программа не может узнать, какое из них выбрано.")));
    filterIndex = std::max(1, int(entries.indexOf(box.selectedNameFilter())) + 1);
    return !fileName.isEmpty();
}

TRepFileDialog &RepFileDialog()
{
    static TRepFileDialog dialog = RunDesktopFileDialog;
    return dialog;
}

QString &TRepStandardPreview::StatusTitle()
{
    static QString title;
    return title;
}

TRepStandardPreview::TRepStandardPreview(TRepPrinter &printer) : printer_(&printer)
{
    SetName(QStringLiteral("RepStandardPreview"));
    SetCaption(QStringLiteral("Print Preview"));
    SetPosition(TPosition::poScreenCenter);
    SetKeyPreview(true);
    SetBounds(0, 0, 800, 639);

    ToolBar1 = new TPanel(this, QStringLiteral("ToolBar1"));
    ToolBar1->SetAlign(TAlign::alTop);
    ToolBar1->SetBevelOuter(TBevelCut::bvNone);
    ToolBar1->SetHeight(28);
    int left = 2;
    ZoomFit = ToolButton(ToolBar1, QStringLiteral("ZoomFit"), QStringLiteral("Zoom to fit"), 0, left);
    ZoomToWidth = ToolButton(ToolBar1, QStringLiteral("ZoomToWidth"), QStringLiteral("Zoom to width"), 2, left);
    Zoom100 = ToolButton(ToolBar1, QStringLiteral("Zoom100"), QStringLiteral("100%"), 1, left);
    for (TSpeedButton *b : {ZoomFit, ZoomToWidth, Zoom100})
        b->SetGroupIndex(1);
    Divider(ToolBar1, left);
    FirstPage = ToolButton(ToolBar1, QStringLiteral("FirstPage"), QStringLiteral("First page"), 3, left);
    PreviousPage = ToolButton(ToolBar1, QStringLiteral("PreviousPage"), QStringLiteral("Previous page"), 4, left);
    ToolButton2 = ToolButton(ToolBar1, QStringLiteral("ToolButton2"), QStringLiteral("Next page"), 5, left);
    LastPage = ToolButton(ToolBar1, QStringLiteral("LastPage"), QStringLiteral("Last page"), 6, left);
    Divider(ToolBar1, left);
    GotoPageButton = ToolButton(ToolBar1, QStringLiteral("GotoPageButton"), QStringLiteral("Go to page"), 12, left);
    FindButton = ToolButton(ToolBar1, QStringLiteral("FindButton"), QStringLiteral("Search for text"), 11, left);
    Divider(ToolBar1, left);
    PrintSetup = ToolButton(ToolBar1, QStringLiteral("PrintSetup"), QStringLiteral("Printer setup"), 7, left);
    Print = ToolButton(ToolBar1, QStringLiteral("Print"), QStringLiteral("Print"), 8, left);
    Divider(ToolBar1, left);
    SaveReport = ToolButton(ToolBar1, QStringLiteral("SaveReport"), QStringLiteral("Save Report"), 10, left);
    LoadReport = ToolButton(ToolBar1, QStringLiteral("LoadReport"), QStringLiteral("Load Report"), 9, left);
    Divider(ToolBar1, left);
    ExitButton = new TSpeedButton(ToolBar1, QStringLiteral("ExitButton"));
    ExitButton->SetCaption(QStringLiteral("&Close"));
    ExitButton->SetHint(QStringLiteral("Close preview"));
    ExitButton->SetFlat(true);
    ExitButton->SetBounds(left + 4, 3, 40 + 16, 22);

    StatusBar = new TStatusBar(this, QStringLiteral("StatusBar"));
    StatusBar->SetAlign(TAlign::alBottom);
    StatusBar->AddPanel(40, QStringLiteral("0%"));
    StatusBar->AddPanel(120, QStringLiteral("Page"));
    StatusBar->AddPanel(50, QStringLiteral(" "));
    ProgressBar = new TProgressBar(StatusBar, QStringLiteral("ProgressBar"));
    ProgressBar->SetBounds(2, 2, 100, 10);
    ProgressBar->SetVisible(false);

    Tabs = new TPageControl(this, QStringLiteral("Tabs"));
    Tabs->SetAlign(TAlign::alLeft);
    Tabs->SetWidth(193);
    TabThumbs = new TTabSheet(Tabs, QStringLiteral("TabThumbs"));
    TabThumbs->SetCaption(QStringLiteral("Thumbnails"));
    ThumbGrid = new QTableWidget(TabThumbs);
    ThumbGrid->setObjectName(QStringLiteral("ThumbGrid"));
    ThumbGrid->setColumnCount(1);
    ThumbGrid->horizontalHeader()->hide();
    ThumbGrid->verticalHeader()->hide();
    ThumbGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    ThumbGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    ThumbGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ThumbGrid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ThumbGrid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ThumbGrid->setShowGrid(false);
    ThumbGrid->setItemDelegate(new TThumbDelegate(*this));
    new TResizeWatch(ThumbGrid->viewport(), [this] { ResizeThumbs(); });
    // Both tabs' captions fit the panel's width.
    Tabs->setStyleSheet(QStringLiteral("QTabBar::tab { padding: 2px 5px; }"));
    auto *thumbLayout = new QVBoxLayout(TabThumbs);
    thumbLayout->setContentsMargins(0, 0, 0, 0);
    thumbLayout->addWidget(ThumbGrid);
    TabSearchResult = new TTabSheet(Tabs, QStringLiteral("TabSearchResult"));
    TabSearchResult->SetCaption(QStringLiteral("Search result"));
    GroupBox1 = new TGroupBox(TabSearchResult, QStringLiteral("GroupBox1"));
    GroupBox1->SetCaption(QStringLiteral("Search text"));
    SearchTextLabel = new TLabel(GroupBox1, QStringLiteral("SearchTextLabel"));
    SearchTextLabel->SetBounds(8, 20, 160, 16);
    SearchResultBox = new TListBox(TabSearchResult, QStringLiteral("SearchResultBox"));
    SearchResultBox->SetEnabled(false);
    auto *searchLayout = new QVBoxLayout(TabSearchResult);
    searchLayout->setContentsMargins(2, 2, 2, 2);
    GroupBox1->setMinimumHeight(44);
    searchLayout->addWidget(GroupBox1);
    searchLayout->addWidget(SearchResultBox, 1);

    Splitter2 = new TSplitter(this, QStringLiteral("Splitter2"));
    Splitter2->SetAlign(TAlign::alLeft);
    Splitter2->SetWidth(4);
    Splitter2->SetLeft(193);

    auto *pagePanel = new TPanel(this, QStringLiteral("PagePanel"));
    pagePanel->SetAlign(TAlign::alClient);
    pagePanel->SetBevelOuter(TBevelCut::bvNone);
    RepPreview = new TRepPreview(pagePanel);
    RepPreview->setObjectName(QStringLiteral("RepPreview"));
    auto *pageLayout = new QVBoxLayout(pagePanel);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    pageLayout->addWidget(RepPreview);
    RepPreview->SetZoom(70);
    RepPreview->OnPageAvailable = [this](TRepPreview &, int n) { PageAvailable(n); };
    RepPreview->OnProgressUpdate = [this](TRepPreview &, int p) { ProgressUpdate(p); };

    // Commands.
    ZoomFit->OnClick = [this](TObject *) {
        Application().ProcessMessages();
        RepPreview->ZoomToFit();
    };
    ZoomToWidth->OnClick = [this](TObject *) {
        Application().ProcessMessages();
        RepPreview->ZoomToWidth();
    };
    Zoom100->OnClick = [this](TObject *) {
        Application().ProcessMessages();
        RepPreview->SetZoom(100);
    };
    FirstPage->OnClick = [this](TObject *) { GoToPage(1); };
    PreviousPage->OnClick = [this](TObject *) { GoToPage(RepPreview->PageNumber() - 1); };
    ToolButton2->OnClick = [this](TObject *) { GoToPage(RepPreview->PageNumber() + 1); };
    LastPage->OnClick = [this](TObject *) { GoToPage(printer_ ? printer_->RecordedPages() : 1); };
    GotoPageButton->OnClick = [this](TObject *) { GotoPageClick(); };
    FindButton->OnClick = [this](TObject *) { FindClick(); };
    PrintSetup->OnClick = [this](TObject *) { PrintSetupClick(); };
    Print->OnClick = [this](TObject *) { PrintClick(); };
    SaveReport->OnClick = [this](TObject *) { SaveClick(); };
    LoadReport->OnClick = [this](TObject *) { LoadClick(); };
    ExitButton->OnClick = [this](TObject *) { Close(); };
    OnKeyDown = [this](TObject *, WORD &key, TShiftState shift) {
        const bool ctrlOnly = KeyModifiers(shift) == ssCtrl;
        switch (key) {
        case VK_PRIOR: GoToPage(ctrlOnly ? 1 : RepPreview->PageNumber() - 1); break;
        case VK_NEXT: GoToPage(ctrlOnly ? (printer_ ? printer_->RecordedPages() : 1) : RepPreview->PageNumber() + 1); break;
        case VK_HOME: GoToPage(1); break;
        case VK_END: GoToPage(printer_ ? printer_->RecordedPages() : 1); break;
        case VK_ESCAPE: Close(); break;
        default: return;
        }
        key = 0;
    };
    connect(ThumbGrid, &QTableWidget::currentCellChanged, this, [this](int row, int, int, int) {
        if (settingRow_ || row < 0)
            return;
        RepPreview->SetPageNumber(row + 1);
        UpdateStatus();
    });

    // State from the report the printer belongs to.
    if (TCustomBandReport *report = Report()) {
        SetFormStyle(report->PrevStayOnTop ? TFormStyle::fsStayOnTop : TFormStyle::fsNormal);
        SetBounds(Left(), Top(), report->PreviewWidthValue(), report->PreviewHeightValue());
        SetWindowState(report->PreviewInitialState == 2   ? TWindowState::wsMaximized
                       : report->PreviewInitialState == 1 ? TWindowState::wsMinimized
                                                          : TWindowState::wsNormal);
        showThumbs_ = report->PrevShowThumbs;
        showSearch_ = report->PrevShowSearch;
        initialZoom_ = report->PrevInitialZoom;
        StatusTitle() = report->ReportTitle;
        landscape_ = report->Page.Orientation() == poLandscape;
    } else {
        SetWindowState(TWindowState::wsMaximized);
    }
    RepPreview->SetPrinter(printer_);
    if (!printer_->Title.isEmpty())
        SetCaption(printer_->Title);
    lastProgress_ = 0;
    ThumbGrid->setRowCount(printer_->RecordedPages());
    Tabs->SetVisible(showThumbs_ || showSearch_);
    Splitter2->SetVisible(showThumbs_ || showSearch_);
    TabThumbs->SetTabVisible(showThumbs_);
    TabSearchResult->SetTabVisible(showSearch_);
    FindButton->SetVisible(showSearch_);
    if (initialZoom_ == TRepZoomState::qrZoomToFit) {
        RepPreview->ZoomToFit();
        ZoomFit->SetDown(true);
    } else if (initialZoom_ == TRepZoomState::qrZoomToWidth) {
        RepPreview->ZoomToWidth();
        ZoomToWidth->SetDown(true);
    } else {
        RepPreview->SetZoom(100);
        Zoom100->SetDown(true);
    }
    EnableCommands();
    ResizeThumbs();
    UpdateStatus();
    DoCreate();
}

TRepStandardPreview::~TRepStandardPreview()
{
    DoDestroy();
    if (RepPreview)
        RepPreview->SetPrinter(nullptr);
}

TCustomBandReport *TRepStandardPreview::Report() const
{
    return printer_ ? dynamic_cast<TCustomBandReport *>(printer_->OwnerReport) : nullptr;
}

void TRepStandardPreview::EnableCommands()
{
    const bool ready = printer_ && printer_->Status() == TRepStatus::Ready;
    Print->SetEnabled(ready);
    PrintSetup->SetEnabled(ready && printer_->OnPrintSetup != nullptr);
    // Saving needs the whole document (a report file) or runs the report
    // again (an export), which waits for nothing half made.
    SaveReport->SetEnabled(ready);
}

void TRepStandardPreview::UpdateStatus()
{
    const int count = printer_ ? printer_->RecordedPages() : 0;
    StatusBar->SetPanelText(1, QStringLiteral("Page %1 of %2").arg(RepPreview->PageNumber()).arg(count));
    StatusBar->SetPanelText(2, StatusTitle());
}

void TRepStandardPreview::GoToPage(int n)
{
    RepPreview->SetPageNumber(n);
    UpdateStatus();
    if (printer_ && n >= 1 && n <= printer_->RecordedPages()) {
        settingRow_ = true;
        ThumbGrid->setCurrentCell(n - 1, 0);
        settingRow_ = false;
    }
}

void TRepStandardPreview::GotoPageClick()
{
    const int count = printer_ ? printer_->RecordedPages() : 0;
    QString value = QString::number(RepPreview->PageNumber());
    AskLine(this, QStringLiteral("Select a page from 1 to %1").arg(count), QStringLiteral("Go to page >>"), value);
    bool ok = false;
    int n = value.trimmed().toInt(&ok);
    if (!ok || n < 1 || n > count)
        n = 1;
    GoToPage(n);
}

void TRepStandardPreview::PageAvailable(int)
{
    UpdateStatus();
    if (printer_)
        ThumbGrid->setRowCount(printer_->RecordedPages());
    for (int r = 0; r < ThumbGrid->rowCount(); ++r)
        ThumbGrid->setRowHeight(r, std::max(thumbHeight_, 20));
    ThumbGrid->viewport()->update();
    EnableCommands();
}

void TRepStandardPreview::ProgressUpdate(int progress)
{
    if (progress >= lastProgress_ + 5) {
        StatusBar->SetPanelText(0, QString::number(progress) + QLatin1Char('%'));
        lastProgress_ = progress;
    }
    if (progress == 0 || progress == 100)
        StatusBar->SetPanelText(0, QString());
}

void TRepStandardPreview::ResizeThumbs()
{
    const QFontMetrics metrics(ThumbGrid->font());
    thumbTextHeight_ = metrics.height();
    const int columnWidth = std::max(ThumbGrid->viewport()->width() - 4, 40);
    ThumbGrid->setColumnWidth(0, columnWidth);
    thumbWidth_ = columnWidth - 20;
    double paperWidth = 2100, paperLength = 2970;
    if (printer_) {
        paperWidth = std::max(1, printer_->Settings().PaperWidth);
        paperLength = std::max(1, printer_->Settings().PaperLength);
    }
    thumbHeight_ = int(std::lround(landscape_ ? thumbWidth_ * paperWidth / paperLength - thumbTextHeight_
                                              : thumbWidth_ * paperLength / paperWidth - thumbTextHeight_));
    thumbOffsetX_ = int(std::lround((columnWidth - thumbWidth_) / 2.0));
    thumbOffsetY_ = 0;
    for (int r = 0; r < ThumbGrid->rowCount(); ++r)
        ThumbGrid->setRowHeight(r, std::max(thumbHeight_, 20));
}

void TRepStandardPreview::Search(const QString &text, bool matchCase)
{
    SearchResultBox->SetEnabled(true);
    SearchTextLabel->SetCaption(text);
    SearchResultBox->clear();
    const int count = printer_ ? printer_->RecordedPages() : 0;
    for (int n = 1; n <= count; ++n) {
        const std::unique_ptr<TMetafile> page = printer_->GetPageMetafile(n);
        if (page && RepMetafileTextSearch(text, page->Data(), matchCase))
            SearchResultBox->addItem(QStringLiteral("Page ") + QString::number(n));
    }
    if (SearchResultBox->count() == 0) {
        SearchResultBox->addItem(QStringLiteral("No matching text"));
        SearchResultBox->SetEnabled(false);
    }
    if (showSearch_)
        Tabs->SetActivePage(TabSearchResult);
}

void TRepStandardPreview::FindClick()
{
    TSearchDlg dialog;
    dialog.ShowModal();
    if (dialog.Cancelled)
        return;
    Search(dialog.Edit1->Text(), dialog.CheckBox1->Checked());
}

void TRepStandardPreview::PrintSetupClick()
{
    if (!printer_ || !printer_->OnPrintSetup)
        return;
    printer_->OnPrintSetup(*printer_);
    if (TCustomBandReport *report = Report()) {
        printer_->SetPrinterIndex(report->DialogSettings.PrinterIndex);
        printer_->TakeSettings(report->DialogSettings);
    }
}

void TRepStandardPreview::PrintClick()
{
    if (!printer_)
        return;
    // Nowhere to print yet (no printer installed, no file named for this
    // report): the set-up asks where, then the print goes there.
    if (!printer_->Device().Available()) {
        if (printer_->OnPrintSetup) {
            PrintSetupClick();
        } else {
            TRepPrintDialog dialog(&printer_->Device());
            dialog.Options = poPageNums;
            dialog.MinPage = dialog.FromPage = 1;
            dialog.MaxPage = dialog.ToPage = std::max(1, printer_->RecordedPages());
            if (dialog.Execute()) {
                const bool range = dialog.PrintRange == TPrintRange::prPageNums;
                printer_->FirstPage = range ? dialog.FromPage : 0;
                printer_->LastPage = range ? dialog.ToPage : 0;
            }
        }
        if (!printer_->Device().Available())
            return;
    }
    printer_->Print();
}

void TRepStandardPreview::SaveClick()
{
    if (!printer_ || printer_->Status() != TRepStatus::Ready)
        return;
    QString fileName;
    int index = 1;
    if (!RepFileDialog()(true, QStringLiteral("Save report"), ExportFilterLibrary().GetSaveFilter(), fileName, index))
        return;
    try {
        if (index <= 1) {
            if (QFileInfo(fileName).suffix().isEmpty())
                fileName += QStringLiteral(".REP");
            printer_->Save(fileName);
        } else if (std::unique_ptr<TRepExportFilter> filter = ExportFilterLibrary().CreateForIndex(index, fileName)) {
            printer_->ExportToFilter(*filter);
        }
    } catch (const Exception &e) {
        Application().ShowException(e);
    }
}

bool TRepStandardPreview::LoadFile(const QString &fileName)
{
    if (!PathExists(fileName)) {
        Application().ShowException(ERepError(QStringLiteral("File does not exist")));
        return false;
    }
    // A file that cannot be read leaves the preview as it was: it is tried on
    // a printer of its own first.
    try {
        TRepPrinter probe;
        probe.Load(fileName);
    } catch (const EFOpenError &e) {
        // The file system's refusal (a folder, a FIFO or device under the
        // name, a file past any report's size, no access) names the file and
        // says why in the words of the program's file notices.
        Application().ShowException(ERepError(e.Message()));
        return false;
    } catch (const Exception &e) {
        Application().ShowException(ERepError(QStringLiteral("The report file cannot be loaded: ") + e.Message()));
        return false;
    }
    if (TCustomBandReport *report = Report())
        report->WaitForRun();
    try {
        printer_->Load(fileName);
    } catch (const Exception &e) {
        Application().ShowException(ERepError(QStringLiteral("The report file cannot be loaded: ") + e.Message()));
        return false;
    }
    StatusTitle() = fileName;
    RepPreview->Image().LoadPage(1);
    RepPreview->SetPageNumber(1);
    PageAvailable(1);
    settingRow_ = true;
    ThumbGrid->setCurrentCell(0, 0);
    settingRow_ = false;
    PrintSetup->SetEnabled(false);
    Print->SetEnabled(true);
    return true;
}

void TRepStandardPreview::LoadClick()
{
    QString fileName;
    int index = 1;
    if (!RepFileDialog()(false, QStringLiteral("Load report"), QStringLiteral("Report file (*.REP)|*.REP"), fileName,
                         index))
        return;
    LoadFile(fileName);
}

void TRepStandardPreview::closeEvent(QCloseEvent *event)
{
    TForm::closeEvent(event);
    if (event->isAccepted())
        Detach();
}

void TRepStandardPreview::Detach()
{
    if (closing_)
        return;
    closing_ = true;
    // The control lets go of the printer first: the report may free the
    // printer when it hears that the preview closed.
    TRepPrinter *printer = printer_;
    RepPreview->SetPrinter(nullptr);
    printer_ = nullptr;
    if (printer)
        printer->ClosePreview();
}

TSearchDlg::TSearchDlg()
{
    SetName(QStringLiteral("SearchDlg"));
    SetCaption(QStringLiteral("Report Preview : Text Search"));
    SetBorderStyle(TFormBorderStyle::bsDialog);
    SetPosition(TPosition::poScreenCenter);
    SetClientWidth(305);
    SetClientHeight(118);
    Label1 = new TLabel(this, QStringLiteral("Label1"));
    Label1->SetCaption(QStringLiteral("Search for :"));
    Label1->SetBounds(12, 14, 80, 16);
    Edit1 = new TEdit(this, QStringLiteral("Edit1"));
    Edit1->SetBounds(12, 34, 281, 22);
    CheckBox1 = new TCheckBox(this, QStringLiteral("CheckBox1"));
    CheckBox1->SetCaption(QStringLiteral("Match Case"));
    CheckBox1->SetBounds(12, 64, 120, 20);
    SpeedButton1 = new TSpeedButton(this, QStringLiteral("SpeedButton1"));
    SpeedButton1->SetCaption(QStringLiteral("Cancel"));
    SpeedButton1->SetBounds(218, 86, 75, 25);
    SpeedButton2 = new TSpeedButton(this, QStringLiteral("SpeedButton2"));
    SpeedButton2->SetCaption(QStringLiteral("Search"));
    SpeedButton2->SetBounds(137, 86, 75, 25);
    SpeedButton1->OnClick = [this](TObject *) {
        Cancelled = true;
        SetModalResult(mrCancel);
    };
    SpeedButton2->OnClick = [this](TObject *) {
        Cancelled = false;
        SetModalResult(mrOk);
    };
    SetActiveControl(Edit1);
    DoCreate();
}

TSearchDlg::~TSearchDlg() { DoDestroy(); }

void TRepStandardPreviewInterface::ShowPreview(TRepPrinter &printer)
{
    auto *form = new TRepStandardPreview(printer);
    form->setAttribute(Qt::WA_DeleteOnClose);
    form->Show();
    form->UpdateStatus();
}

void TRepStandardPreviewInterface::ShowPreviewModal(TRepPrinter &printer)
{
    TRepStandardPreview form(printer);
    form.ShowModal();
    form.Detach();
}

void RegisterReportWindows()
{
    RepPreviewInterface() = std::make_unique<TRepStandardPreviewInterface>();
    RegisterRepProgressWindow();
    RepPrinterSetupHandler() = RunReportPrinterSetup;
    TPrinter::ReplaceQuestion() = AskReplacePrintFile;
}

} // namespace zorbel
