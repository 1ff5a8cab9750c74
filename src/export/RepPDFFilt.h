// The PDF export filter: while a report runs with it attached, every page
// break, text and graphic the run hands over becomes a drawing command of
// the PDF writer (RepPdfObjs.h), which writes the file when the document
// ends. Positions arrive in device pixels of the run's printer (texts in
// 0.1 mm) and become points: pixels x 72 / 25.4 / (pixels per mm).
#pragma once

#include "export/RepPdfObjs.h"
#include "platform/canvas/Graphics.h"
#include "report/RepFilter.h"

#include <memory>

namespace zorbel {

class TStream;

// A writer that owns an output stream of its own (files it writes itself).
class TRepPAbstractExportFilter : public TRepExportFilter {
public:
    using TRepExportFilter::TRepExportFilter;
    ~TRepPAbstractExportFilter() override;

    QString GetDescriptionText() const override { return QString(); }
    QString GetFileExtension() const override { return QString(); }
    QString GetDialogName() const override { return QStringLiteral("RepAbstract"); }

    // Creates the file (replacing one of that name) as the output stream.
    virtual void OpenOutput(const QString &fileName);
    virtual void CloseOutput();
    virtual void PageDone() { PageProcessed = true; }
    virtual void WritePage() {}

protected:
    std::unique_ptr<TStream> Output;
    bool PageProcessed = false;
};

class TRepPDFDocumentFilter : public TRepPAbstractExportFilter {
public:
    explicit TRepPDFDocumentFilter(const QString &fileName);
    ~TRepPDFDocumentFilter() override;

    QString GetDescriptionText() const override { return QStringLiteral("PDF document"); }
    QString GetFileExtension() const override { return QStringLiteral("PDF"); }
    QString GetDialogName() const override { return QStringLiteral("PDF document"); }
    bool WantsOnePage() const override { return false; }

    void BeginDocument(int paperWidth, int paperHeight, const QFont &font) override;
    void FinishPage() override {}
    // Writes the file; the writer's errors pass on to the run.
    void EndDocument() override;
    // The first call only notes that the first page began.
    void BeginNextPage() override;
    void PutGraphic(TRepPrintable &control, double x, double y) override;
    // A text in its font colour (a system colour counts by its low 24 bits);
    // the background colour is not used.
    void PutText(double x, double y, const QFont &font, TColor fontColor, unsigned backColor, TAlignment alignment,
                 const QString &text) override;

    // With a file name: as the base; an empty name gives a memory stream.
    void OpenOutput(const QString &fileName) override;
    void CloseOutput() override;
    void PageDone() override;

    TPdfWriter &Writer() { return *writer_; }
    // Points per device pixel of the run's printer, set by BeginDocument.
    double PxX() const { return pxX_; }
    double PxY() const { return pxY_; }

private:
    // The control's device-pixel width and height.
    QSizeF ControlSize(const TRepPrintable &control) const;
    void PutShape(const TRepPrintable &control, TPdfShapeKind kind, double x, double y, const TCanvas::TPen &pen,
                  const TCanvas::TBrush *brush);
    void PutImage(const QImage &bitmap, double x, double y, double targetWidth, double targetHeight);
    void PutPicture(const TRepPrintable &control, double x, double y);

    std::unique_ptr<TPdfWriter> writer_;
    bool fileOutput_ = false;
    bool firstPage_ = true;
    int started_ = 0;
    double pxX_ = 72.0 / ScreenPixelsPerInch, pxY_ = 72.0 / ScreenPixelsPerInch;
};

// The RGB parts of a colour as the writer takes them; a system colour
// counts by its low 24 bits.
TPdfRgb PdfColor(TColor color);

} // namespace zorbel
