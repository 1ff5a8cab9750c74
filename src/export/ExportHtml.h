// The HTML writer: every text line, rule, box and picture of a report page
// becomes an absolutely positioned DIV at its pixel position, so a browser
// shows the page as laid out. In single-page mode (the default) the run
// makes one endless page and one file; in multi-page mode every report page
// is a file of its own, "<name>1.html", "<name>2.html", ... beside the
// target, optionally with links between them. Pictures are written as JPEG
// files beside the document (or in PictureDir) and linked by a path relative
// to it. Documents are UTF-8 and say so in their head: a page without a
// declared charset is shown in whatever encoding the browser guesses, and
// Russian text comes out garbled.
//
// A label that wants to be a link prints the placeholder "%!" + its name +
// "!%" and implements TRepHTMLLinkSource; the writer finds it on the
// report's bands and writes its caption as the link.
#pragma once

#include "platform/canvas/Graphics.h"
#include "platform/rtl/Exceptions.h"
#include "export/ExportText.h"
#include "report/RepFilter.h"

#include <QFont>
#include <memory>

namespace zorbel {

ZORBEL_EXCEPTION(EInvalidGraphic, Exception);

// What the writer needs of a label shown as a link.
class TRepHTMLLinkSource {
public:
    virtual ~TRepHTMLLinkSource() = default;
    virtual QString LinkCaption() const = 0;
    virtual QString LinkTarget() const = 0;
    // 0: a jump to an address, 1: a jump to a name in the document, other:
    // the name itself (an anchor, no text).
    virtual int LinkKind() const = 0;
};

// What the writer needs of a horizontal rule control.
class TRepHTMLRuleSource {
public:
    virtual ~TRepHTMLRuleSource() = default;
    virtual int RulePenWidth() const = 0;
    virtual TColor RuleColor() const = 0;
};

// The options of the HTML component, one set for the whole program.
struct THTMLOptions {
    bool MultiPage = false;
    bool PageLinks = false;
    int FinalPage = 0; // the number of the last page file, for "Last page"
    bool FirstLastLinks = false;
    bool Concat = false; // keep the document open for further reports
    int ConcatCount = 1;
    int LinkFontSize = 12;
    QString LinkFontName = QStringLiteral("Arial");
    QString PictureDir;
    QString ImageLinkPrefix, PagelinkPrefix; // kept only
};
THTMLOptions &HTMLOptions();

// "#RRGGBB" for a colour; "#000000" for a system (negative) colour.
QString HTMLColorText(TColor c);
// & < > and blanks as entities, in that order.
QString HTMLEscape(const QString &text);

// Output and page bookkeeping of the graphic writers: UTF-8 text.
class TRepGAbstractExportFilter : public TRepOutputFilter {
public:
    using TRepOutputFilter::TRepOutputFilter;

    void BeginDocument(int paperWidth, int paperHeight, const QFont &font) override;
    void FinishPage() override { PageDone(); }
    void EndDocument() override;
    void BeginNextPage() override;

protected:
    void Write(const QString &text) { WriteBytes(text.toUtf8()); }
    void WriteLine(const QString &text) { Write(text + QStringLiteral("\r\n")); }
};

class TRepGHTMLDocumentFilter : public TRepGAbstractExportFilter {
public:
    explicit TRepGHTMLDocumentFilter(const QString &fileName);
    QString GetDescriptionText() const override { return QStringLiteral("HTML document for web publishing"); }
    QString GetFileExtension() const override { return QStringLiteral("HTM"); }
    QString GetDialogName() const override { return QStringLiteral("HTML document"); }
    bool WantsOnePage() const override { return !HTMLOptions().MultiPage; }

    void BeginDocument(int paperWidth, int paperHeight, const QFont &font) override;
    void FinishPage() override;
    void EndDocument() override;
    void BeginNextPage() override;
    void PutGraphic(TRepPrintable &control, double x, double y) override;
    void PutText(double x, double y, const QFont &font, TColor fontColor, unsigned backColor, TAlignment alignment,
                 const QString &text) override;

    QString BodyPicture;
    TColor BodyBackColor = clWhite;
    QString BodyAttributes;
    bool FirstPageDue = true;
    int PageNo = 1;
    bool LastPageReached = false;
    int PictureCount = 0;
    int ReportNo = 1;
    int PageBottomY = 0;
    QString LinkPrefix;

    // The export's file name without its extension (folder kept): the stem
    // of page files.
    QString BaseName() const;

private:
    void WriteHead(const QString &title);
    void WriteRule(int left, int top, int width, int pen, TColor color);
    void WriteBar(int left, int top, int height, int width, TColor color);
    // A picture the control draws, as a JPEG file; false when it draws none.
    bool WritePicture(TRepPrintable &control, int left, int top, int width, int height);
    const TRepHTMLLinkSource *FindLinkLabel(const QString &text) const;
};

class TRepHTMLFilter : public TRepFilterComponent<TRepGHTMLDocumentFilter> {
public:
    THTMLOptions &Options() { return HTMLOptions(); }
};

// The picture as JPEG bytes (libjpeg, quality 90); an image with an alpha
// channel is put on white first. Raises EInvalidGraphic when it cannot.
QByteArray EncodeJpeg(const QImage &image, int quality = 90);

} // namespace zorbel
