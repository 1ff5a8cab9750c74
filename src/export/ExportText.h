// Writers that turn the positioned text of a report into rows and columns.
//
// TRepAbstractExportFilter collects every text item of a page; when the page
// is finished it numbers the distinct horizontal positions (grouped by whole
// 0.1 mm) as columns 1..ColumnTotal and the distinct vertical positions as
// lines 1..LineTotal, in ascending order, and hands the grid to WritePage.
// TRepCommaSeparatedFilter writes the grid as CSV (every cell quoted, quotes
// inside doubled, Windows-1251, CR LF); the spreadsheet writer
// (ExportXls.h) derives from the same base.
//
// TRepAsciiExportFilter is simpler: it places each text on a page of
// fixed-pitch character lines (a character is 1/1.7 of the report font's em)
// and writes the non-empty lines. Graphics are ignored by all of them.
//
// Output goes through TFileReplacer: the target file appears complete when
// the document ends, or not at all when the export fails.
#pragma once

#include "platform/system/SysFiles.h"
#include "report/RepFilter.h"

#include <QFont>
#include <QHash>
#include <memory>
#include <vector>

namespace zorbel {

// One collected text item of a page.
struct TTextEntry {
    QString Content;
    double HorzPos = 0; // 0.1 mm; the column number once the page is done
    double VertPos = 0; // 0.1 mm; the line number once the page is done
    uint8_t Alignment = 0; // 0 left, 1 right, 2 centre
    QFont Font;
};

// Distinct positions of a page, grouped by the whole number a position
// rounds to, numbered 1, 2, ... in ascending order. A position of 0 or less,
// or of 9999999 or more, keeps number 0.
//
// Usage: BeginUpdate(); AddPosition(x)...; EndUpdate(); GetPosition(x).
class TRepPositions {
public:
    void BeginUpdate();
    void AddPosition(double x);
    void EndUpdate();
    // The number of x's group, 0 when x was not added or is not numbered.
    int GetPosition(double x) const;
    int Highest() const { return highest_; }

private:
    struct TEntry {
        int Number = 0;
        int UseCount = 1;
        double FirstValue = 0;
    };
    std::vector<TEntry> values_;
    QHash<qint64, int> index_; // rounded position -> entry
    bool collecting_ = false;
    int highest_ = 0;
};

// The size of a font in points, whether it was given in points or pixels.
double FontPoints(const QFont &font);
// A font size in 0.1 mm (254/72 per point).
constexpr double PointInTenthMM = 3.5277777777777777778;

// The output file, the report's font and the page measures that writers of
// one document share (the text grid base below and the HTML writer's base).
// With an empty file name the output goes into MemoryOutput.
class TRepOutputFilter : public TRepExportFilter {
public:
    using TRepExportFilter::TRepExportFilter;

    QString GetDescriptionText() const override { return QString(); }
    QString GetFileExtension() const override { return QString(); }
    QString GetDialogName() const override { return QStringLiteral("RepAbstract"); }

    double CharWidth = 0, LineHeight = 0, PaperWidth = 0, PaperHeight = 0;
    int LineTotal = 0;
    bool PageComplete = false;
    QFont ReportFont, PageFont;
    QByteArray MemoryOutput;

protected:
    // Opens the output, copies the font and sets the measures: CharWidth =
    // LineHeight = the font's size in 0.1 mm, LineTotal = paper height / it.
    void StartDocument(int paperWidth, int paperHeight, const QFont &font);
    // With a name: the file (appearing whole when closed); without: memory.
    virtual void OpenOutput(const QString &fileName);
    // Commits the file (it appears whole under its name).
    virtual void CloseOutput();
    virtual void PageDone()
    {
        PageComplete = true;
        WritePage();
    }
    virtual void WritePage() {}
    void WriteBytes(const QByteArray &bytes);

    std::unique_ptr<TFileReplacer> Output;
    bool OwnsOutput = false;
    bool SyncedOutput = true; // see TFileReplacer
};

class TRepAbstractExportFilter : public TRepOutputFilter {
public:
    using TRepOutputFilter::TRepOutputFilter;

    void BeginDocument(int paperWidth, int paperHeight, const QFont &font) override;
    void FinishPage() override;
    void EndDocument() override;
    void BeginNextPage() override;
    void PutGraphic(TRepPrintable &, double, double) override {}
    void PutText(double x, double y, const QFont &font, TColor fontColor, unsigned backColor,
                 TAlignment alignment, const QString &text) override;
    // A reduced figure takes the line of its band's full-size texts.
    void PutFittedText(double x, double, double rowY, const QFont &font, TColor fontColor, unsigned backColor,
                       TAlignment alignment, const QString &text) override
    {
        PutText(x, rowY, font, fontColor, backColor, alignment, text);
    }

    // The text and font of the first item collected at (line, column), both
    // 1-based; empty when there is none. Valid from PageDone to FinishPage's end.
    QString GetCell(int line, int column, QFont *font = nullptr) const;

    std::vector<TTextEntry> TextItems;
    int ColumnTotal = 0;

protected:
    void PageDone() override;
    // Text in Windows-1251, as the report's readers expect it.
    void WriteString(const QString &text);
    void WriteLine(const QString &text);

private:
    void NumberItems();
    // (line << 32 | column) -> first item there, built by PageDone.
    QHash<quint64, int> cells_;
};

class TRepCommaSeparatedFilter : public TRepAbstractExportFilter {
public:
    using TRepAbstractExportFilter::TRepAbstractExportFilter;
    QString GetDescriptionText() const override { return QStringLiteral("Comma separated text file"); }
    QString GetFileExtension() const override { return QStringLiteral("CSV"); }
    QString GetDialogName() const override { return QStringLiteral("Comma Separated"); }

protected:
    void WritePage() override;
};

class TRepAsciiExportFilter : public TRepOutputFilter {
public:
    using TRepOutputFilter::TRepOutputFilter;
    QString GetDescriptionText() const override { return QStringLiteral("Text export (ASCII) filter"); }
    QString GetFileExtension() const override { return QStringLiteral("TXT"); }
    QString GetDialogName() const override { return QStringLiteral("Text file"); }

    void BeginDocument(int paperWidth, int paperHeight, const QFont &font) override;
    void FinishPage() override;
    void EndDocument() override;
    void BeginNextPage() override;
    void PutText(double x, double y, const QFont &font, TColor fontColor, unsigned backColor,
                 TAlignment alignment, const QString &text) override;
    // A reduced figure takes the line of its band's full-size texts.
    void PutFittedText(double x, double, double rowY, const QFont &font, TColor fontColor, unsigned backColor,
                       TAlignment alignment, const QString &text) override
    {
        PutText(x, rowY, font, fontColor, backColor, alignment, text);
    }

    // A text of the current page on the character grid: its line, where its
    // aligned edge falls (the end for right-aligned text, else the start)
    // and where it would start, in characters from the line start.
    struct TPlacedText {
        qsizetype Line = 0;
        qsizetype Anchor = 0;
        qsizetype Start = 0;
        QString Text;
    };
    // The texts of the current page in the order they came; any line number,
    // however low on the page, so nothing is ever cut.
    std::vector<TPlacedText> PageTexts;

    // The lines of a page (empty ones included). Two texts of one line never
    // overlap: a text that would run into the one before it moves right,
    // leaving one blank. Texts sharing an aligned edge form a column that
    // moves as a whole where that keeps every line clear, so the columns of a
    // table stay aligned; a text still in the way moves alone.
    static std::vector<QString> LayOut(const std::vector<TPlacedText> &texts);
};

// The CSV component: its separator is one for the whole program.
class TRepCSVFilter : public TRepFilterComponent<TRepCommaSeparatedFilter> {
public:
    TRepCSVFilter() { SetSeparator(u','); }
    static QChar Separator();
    static void SetSeparator(QChar c);
};

class TRepTextFilter : public TRepFilterComponent<TRepAsciiExportFilter> {};

} // namespace zorbel
