// The protocol through which a report run hands its texts, graphics, bands
// and page boundaries to an export writer, and the list of writer kinds the
// preview's Save dialog offers.
#pragma once

#include "platform/canvas/Graphics.h"
#include "platform/dataset/DBTypes.h"

#include <QFont>
#include <QString>
#include <memory>
#include <vector>

namespace zorbel {

class TCustomBandReport;
class TRepCustomBand;
class TRepPrintable;
class TRepPrinter;


class TRepExportFilter {
public:
    // The writer's output file; Report stays null for the library's probes.
    explicit TRepExportFilter(const QString &fileName) : OutputName(fileName) {}
    TRepExportFilter(const TRepExportFilter &) = delete;
    TRepExportFilter &operator=(const TRepExportFilter &) = delete;
    virtual ~TRepExportFilter() = default;

    TRepPrinter *SourcePrinter = nullptr;
    bool Started = false;
    QString OutputName;
    TCustomBandReport *Report = nullptr;

    virtual QString GetDescriptionText() const { return QStringLiteral("Abstract non-working export filter"); }
    virtual QString GetFileExtension() const { return QString(); }
    virtual QString GetDialogName() const { return QStringLiteral("Abstract filter"); }
    virtual QString GetVendorText() const { return QString(); }
    virtual bool WantsOnePage() const { return false; }
    // Writes the stored pages of a loaded report (no datasets to run again);
    // false when the writer needs the run itself.
    virtual bool ExportStoredPages(TRepPrinter &) { return false; }

    // Paper width and height in 0.1 mm.
    virtual void BeginDocument(int paperWidth, int paperHeight, const QFont &font);
    virtual void FinishPage() {}
    virtual void EndDocument();
    virtual void BeginNextPage() {}
    // x, y: the control's top-left corner in device pixels of the run's printer.
    // The control handed over is a stand-in made for the writer: its Size
    // holds its device-pixel bounds (Left, Top, Width, Height) and a picture
    // (TRepImage) holds what it shows; it lives only for the call.
    virtual void PutGraphic(TRepPrintable &control, double x, double y);
    virtual void PutBand(TRepCustomBand &band, double expanded, double x, double y);
    // x, y: the line's reference point in 0.1 mm from the page's top-left;
    // fontColor: the colour of the characters, backColor: of the control.
    virtual void PutText(double x, double y, const QFont &font, TColor fontColor, unsigned backColor,
                         TAlignment alignment, const QString &text);
    // A line of a text printed in a font reduced so that its figure stays
    // whole: y is where the reduced line is drawn (on the baseline of the
    // control's own font), rowY where a line of the control's own font
    // starts, the y its neighbours in the band hand over. Writers that set
    // texts on rows and lines take rowY, so the figure stays in its
    // record's row; the others draw it at y (this default).
    virtual void PutFittedText(double x, double y, double rowY, const QFont &font, TColor fontColor,
                               unsigned backColor, TAlignment alignment, const QString &text);
};

using TRepExportFilterClass = std::unique_ptr<TRepExportFilter> (*)(const QString &fileName);

template <class T> std::unique_ptr<TRepExportFilter> MakeRepExportFilter(const QString &fileName)
{
    return std::make_unique<T>(fileName);
}

struct TRepExportFilterLibraryEntry {
    TRepExportFilterClass WriterClass = nullptr;
    QString EntryCaption;
    QString FileExt;
};

class TRepExportFilterLibrary {
public:
    void AddFilter(TRepExportFilterClass filterClass);
    void RemoveFilter(TRepExportFilterClass filterClass);
    QString GetSaveFilter() const;
    // The writer for the Save dialog's 1-based type index (2 and up), or null.
    std::unique_ptr<TRepExportFilter> CreateForIndex(int filterIndex, const QString &fileName) const;
    const std::vector<TRepExportFilterLibraryEntry> &Registered() const { return registered_; }

private:
    std::vector<TRepExportFilterLibraryEntry> registered_;
};

TRepExportFilterLibrary &ExportFilterLibrary();

// A non-visual component of a layout: registers its writer for as long as it
// lives.
template <class Writer> class TRepFilterComponent {
public:
    TRepFilterComponent() { ExportFilterLibrary().AddFilter(&MakeRepExportFilter<Writer>); }
    ~TRepFilterComponent() { ExportFilterLibrary().RemoveFilter(&MakeRepExportFilter<Writer>); }
    TRepFilterComponent(const TRepFilterComponent &) = delete;
    TRepFilterComponent &operator=(const TRepFilterComponent &) = delete;
};

} // namespace zorbel
