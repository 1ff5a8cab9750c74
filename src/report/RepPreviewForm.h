// The standard preview window: toolbar (zoom, pages, go to page, text
// search, printer set-up, print, save and load report files, close), the
// preview control, a side panel with page thumbnails and search results, and
// a status bar with progress, page position and the report's title. Its
// texts are English, as the engine's windows are.
#pragma once

#include "platform/widgets/Buttons.h"
#include "platform/widgets/ComCtrls.h"
#include "platform/widgets/ExtCtrls.h"
#include "platform/widgets/Forms.h"
#include "platform/widgets/StdCtrls.h"
#include "report/RepPreview.h"

#include <QTableWidget>

namespace zorbel {

class TCustomBandReport;

// Asks for a file name for saving or loading: true with a name and the
// 1-based index of the chosen filter. Tests replace it; by default it is the
// desktop's file dialog. filter is "Caption|pattern|Caption|pattern...".
using TRepFileDialog = std::function<bool(bool save, const QString &title, const QString &filter,
                                          QString &fileName, int &filterIndex)>;
TRepFileDialog &RepFileDialog();
// The desktop's file dialog, RepFileDialog's default. On saving, a name typed
// without an extension takes that of the chosen file type, as the system's
// dialog does, and the overwrite question names the file that is written.
bool RunDesktopFileDialog(bool save, const QString &title, const QString &filter, QString &fileName,
                          int &filterIndex);

class TRepStandardPreview : public TForm {
public:
    explicit TRepStandardPreview(TRepPrinter &printer);
    ~TRepStandardPreview() override;

    TSplitter *Splitter2;
    TStatusBar *StatusBar;
    // Made with the window on the status bar and never shown: the progress
    // reads as the percentage in the first panel.
    TProgressBar *ProgressBar;
    TPanel *ToolBar1;
    TSpeedButton *ZoomFit, *ZoomToWidth, *Zoom100;
    TSpeedButton *FirstPage, *PreviousPage, *ToolButton2, *LastPage;
    TSpeedButton *GotoPageButton, *FindButton, *PrintSetup, *Print, *SaveReport, *LoadReport;
    TSpeedButton *ExitButton;
    TRepPreview *RepPreview;
    TPageControl *Tabs;
    TTabSheet *TabThumbs, *TabSearchResult;
    QTableWidget *ThumbGrid;
    TGroupBox *GroupBox1;
    TLabel *SearchTextLabel;
    TListBox *SearchResultBox;

    TRepPrinter *Printer() const { return printer_; }
    // Page n of the printer in the preview, the status bar and the thumbnails.
    void GoToPage(int n);
    void UpdateStatus();
    // The commands of the toolbar.
    void GotoPageClick();
    void Search(const QString &text, bool matchCase);
    void FindClick();
    void PrintSetupClick();
    void PrintClick();
    void SaveClick();
    void LoadClick();
    // Loads a report file; false (with the message shown) when it cannot.
    bool LoadFile(const QString &fileName);
    // Lets go of the printer and tells it the preview closed (closing does it).
    void Detach();
    // The status title shared by every preview window.
    static QString &StatusTitle();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void PageAvailable(int pageNum);
    void ProgressUpdate(int progress);
    void ResizeThumbs();
    void EnableCommands();
    TCustomBandReport *Report() const;
    friend class TThumbDelegate;
    TRepPrinter *printer_;
    bool landscape_ = false;
    int lastProgress_ = 0;
    int thumbTextHeight_ = 0, thumbWidth_ = 0, thumbHeight_ = 0, thumbOffsetX_ = 0, thumbOffsetY_ = 0;
    bool showThumbs_ = true, showSearch_ = true;
    TRepZoomState initialZoom_ = TRepZoomState::qrZoomOther;
    bool settingRow_ = false;
    bool closing_ = false;
};

// The text search dialog.
class TSearchDlg : public TForm {
public:
    TSearchDlg();
    ~TSearchDlg() override;
    TLabel *Label1;
    TEdit *Edit1;
    TCheckBox *CheckBox1;
    TSpeedButton *SpeedButton1, *SpeedButton2;
    bool Cancelled = true;
};

// Opens the standard preview for a printer, modeless or modal.
class TRepStandardPreviewInterface : public TRepPreviewInterface {
public:
    void ShowPreview(TRepPrinter &printer) override;
    void ShowPreviewModal(TRepPrinter &printer) override;
};

// The engine's windows: the standard preview, the progress window of print
// and export runs and the printer set-up dialog of reports.
void RegisterReportWindows();

} // namespace zorbel
