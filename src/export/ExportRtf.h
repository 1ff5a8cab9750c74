// The RTF writer and the metafile writer.
//
// TRepRTFExportFilter groups each page's text items into lines by their
// vertical position (one line per typographic point); a line becomes one
// paragraph whose items stand at tab stops at their horizontal positions,
// with their font, size, style and colour; pages are separated by page
// breaks. The document declares Windows-1251 (\ansicpg1251, every font of
// charset 204); characters of that code page are written as \'xx, any other
// as \uN?, so the file is plain 7-bit text that keeps every character.
//
// TRepWMFExportFilter ignores the run it is attached to: when the document
// ends it saves every page already recorded in the report's page store as a
// file of its own, "<name>001.wmf", "<name>002.wmf", ... (or ".emf" when
// Enhanced is on). Windows metafiles are converted from the recorded pages
// by EmfToWmf (ExportWmf.h).
#pragma once

#include "platform/canvas/Graphics.h"
#include "export/ExportText.h"

#include <QStringList>
#include <memory>
#include <vector>

namespace zorbel {

// The text as RTF: \ { } escaped, Windows-1251 characters as \'xx, others
// as \uN? (N the signed UTF-16 unit).
QByteArray RtfText(const QString &text);

// The installed font families, sorted without regard to case, each with its
// family number (1 roman, 2 swiss, 3 modern, 4 script, ...).
struct TRtfFont {
    QString Name;
    int Family;
};
std::vector<TRtfFont> RtfFontList();

class TRepRTFExportFilter : public TRepOutputFilter {
public:
    using TRepOutputFilter::TRepOutputFilter;
    QString GetDescriptionText() const override { return QStringLiteral("RTF Export filter"); }
    QString GetFileExtension() const override { return QStringLiteral("RTF"); }
    QString GetDialogName() const override { return QStringLiteral("RTF File"); }

    void BeginDocument(int paperWidth, int paperHeight, const QFont &font) override;
    void FinishPage() override;
    void EndDocument() override;
    void BeginNextPage() override;
    void PutText(double x, double y, const QFont &font, TColor fontColor, unsigned backColor, TAlignment alignment,
                 const QString &text) override;

    struct TItem {
        double ItemX = 0, ItemY = 0;
        QByteArray ItemText; // escaped
        uint8_t ItemAlignment = 0;
        int FontIndex = -1;
        TColor ItemColor = clBlack;
        bool Bold = false, Italic = false, Underline = false, StrikeOut = false;
        int HalfPoints = 20;
    };

    std::vector<TRtfFont> Fonts;
    std::vector<std::vector<TItem>> PageLines;
    double PointHeight = 3.5277777777777777778; // LineTotal counts lines of this height
    bool PageBreakDue = false;
    double MarginTop = 720, MarginBottom = 720, MarginLeft = 720, MarginRight = 720;
    double PaperLengthTw = 0, PaperWidthTw = 0;

private:
    void WriteLine(const QByteArray &line);
    int FontIndexOf(const QString &family) const;
};

class TRepWMFExportFilter : public TRepExportFilter {
public:
    using TRepExportFilter::TRepExportFilter;
    QString GetDescriptionText() const override { return QStringLiteral("WMF Export filter"); }
    QString GetFileExtension() const override { return QStringLiteral("WMF"); }
    QString GetDialogName() const override { return QStringLiteral("WMF File"); }

    void BeginDocument(int paperWidth, int paperHeight, const QFont &font) override;
    void EndDocument() override;
    void PutText(double, double, const QFont &, TColor, unsigned, TAlignment, const QString &) override {}

    // The output name without its extension (a dot in a folder name is not
    // an extension).
    QString BaseName;
    // Pages written, in order.
    QStringList Written;
};

class TRepRTFFilter : public TRepFilterComponent<TRepRTFExportFilter> {};

// The metafile component: whether pages are saved as enhanced metafiles is
// one setting for the whole program, off when a component is made.
class TRepWMFFilter : public TRepFilterComponent<TRepWMFExportFilter> {
public:
    TRepWMFFilter() { SetEnhanced(false); }
    static bool Enhanced();
    static void SetEnhanced(bool on);
};

} // namespace zorbel
