#include "export/ExportText.h"

#include "platform/rtl/CodePages.h"

#include <algorithm>
#include <cmath>

namespace zorbel {

namespace {

QChar csvSeparator = u',';

// Rounds as the positions are grouped: to the nearest whole number, halves
// to the even neighbour.
qint64 RoundPos(double x) { return qint64(std::nearbyint(x)); }

uint8_t AlignmentCode(TAlignment a)
{
    switch (a) {
    case TAlignment::taRightJustify: return 1;
    case TAlignment::taCenter: return 2;
    default: return 0;
    }
}

} // namespace

QChar TRepCSVFilter::Separator() { return csvSeparator; }
void TRepCSVFilter::SetSeparator(QChar c) { csvSeparator = c; }

double FontPoints(const QFont &font)
{
    if (font.pointSizeF() > 0)
        return font.pointSizeF();
    return font.pixelSize() > 0 ? font.pixelSize() * 72.0 / 96.0 : 10.0;
}

// ---- positions ----

void TRepPositions::BeginUpdate()
{
    values_.clear();
    index_.clear();
    highest_ = 0;
    collecting_ = true;
}

void TRepPositions::AddPosition(double x)
{
    if (!collecting_)
        return;
    const qint64 key = RoundPos(x);
    auto it = index_.constFind(key);
    if (it != index_.constEnd()) {
        ++values_[size_t(*it)].UseCount;
        return;
    }
    index_.insert(key, int(values_.size()));
    values_.push_back({0, 1, x});
}

void TRepPositions::EndUpdate()
{
    collecting_ = false;
    // Ascending numbering of the positions inside (0, 9999999); distinct
    // groups have distinct first values, so sorting gives the same order as
    // picking the smallest unnumbered entry again and again.
    std::vector<size_t> order;
    for (size_t i = 0; i < values_.size(); ++i)
        if (values_[i].FirstValue > 0 && values_[i].FirstValue < 9999999)
            order.push_back(i);
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return values_[a].FirstValue < values_[b].FirstValue; });
    int n = 0;
    for (size_t i : order)
        values_[i].Number = ++n;
    highest_ = n;
}

int TRepPositions::GetPosition(double x) const
{
    auto it = index_.constFind(RoundPos(x));
    return it == index_.constEnd() ? 0 : values_[size_t(*it)].Number;
}

// ---- text grid base ----

// ---- output ----

void TRepOutputFilter::OpenOutput(const QString &fileName)
{
    MemoryOutput.clear();
    OwnsOutput = !fileName.isEmpty();
    if (OwnsOutput)
        Output = std::make_unique<TFileReplacer>(fileName, true, SyncedOutput);
}

void TRepOutputFilter::CloseOutput()
{
    if (Output)
        Output->Commit();
    Output.reset();
}

void TRepOutputFilter::WriteBytes(const QByteArray &bytes)
{
    if (Output)
        Output->Write(bytes);
    else if (!OwnsOutput)
        MemoryOutput += bytes;
}

void TRepOutputFilter::StartDocument(int paperWidth, int paperHeight, const QFont &font)
{
    OpenOutput(OutputName);
    ReportFont = font;
    PageFont = QFont();
    CharWidth = LineHeight = FontPoints(font) * PointInTenthMM;
    PaperWidth = paperWidth;
    PaperHeight = paperHeight;
    LineTotal = int(std::lround(PaperHeight / LineHeight));
    PageComplete = false;
}

// ---- text grid base ----

void TRepAbstractExportFilter::WriteString(const QString &text) { WriteBytes(UnicodeToWin1251(text)); }

void TRepAbstractExportFilter::WriteLine(const QString &text)
{
    WriteString(text);
    WriteBytes(QByteArrayLiteral("\r\n"));
}

void TRepAbstractExportFilter::BeginDocument(int paperWidth, int paperHeight, const QFont &font)
{
    TextItems.clear();
    StartDocument(paperWidth, paperHeight, font);
    TRepExportFilter::BeginDocument(paperWidth, paperHeight, font);
}

void TRepAbstractExportFilter::PutText(double x, double y, const QFont &font, TColor, unsigned,
                                       TAlignment alignment, const QString &text)
{
    TextItems.push_back({text, x, y, AlignmentCode(alignment), font});
}

void TRepAbstractExportFilter::FinishPage()
{
    PageDone();
    TextItems.clear();
    cells_.clear();
}

void TRepAbstractExportFilter::BeginNextPage()
{
    TextItems.clear();
    cells_.clear();
    PageComplete = false;
    PageFont = QFont();
}

void TRepAbstractExportFilter::EndDocument()
{
    TextItems.clear();
    cells_.clear();
    CloseOutput();
    TRepExportFilter::EndDocument();
}

void TRepAbstractExportFilter::NumberItems()
{
    TRepPositions columns, lines;
    columns.BeginUpdate();
    lines.BeginUpdate();
    for (const TTextEntry &e : TextItems) {
        columns.AddPosition(e.HorzPos);
        lines.AddPosition(e.VertPos);
    }
    columns.EndUpdate();
    lines.EndUpdate();
    cells_.clear();
    for (size_t i = 0; i < TextItems.size(); ++i) {
        TTextEntry &e = TextItems[i];
        e.HorzPos = columns.GetPosition(e.HorzPos);
        e.VertPos = lines.GetPosition(e.VertPos);
        const quint64 key = (quint64(quint32(e.VertPos)) << 32) | quint32(e.HorzPos);
        if (!cells_.contains(key))
            cells_.insert(key, int(i));
    }
    ColumnTotal = columns.Highest();
    LineTotal = lines.Highest();
}

void TRepAbstractExportFilter::PageDone()
{
    PageComplete = true;
    NumberItems();
    WritePage();
}

QString TRepAbstractExportFilter::GetCell(int line, int column, QFont *font) const
{
    auto it = cells_.constFind((quint64(quint32(line)) << 32) | quint32(column));
    if (it == cells_.constEnd())
        return QString();
    const TTextEntry &e = TextItems[size_t(*it)];
    if (font)
        *font = e.Font;
    return e.Content;
}

// ---- CSV ----

void TRepCommaSeparatedFilter::WritePage()
{
    if (LineTotal == 0)
        return;
    const QString sep(TRepCSVFilter::Separator());
    const QString quote = QStringLiteral("\"");
    for (int line = 1; line <= LineTotal; ++line) {
        QString row;
        for (int column = 1; column <= ColumnTotal; ++column) {
            QString cell = GetCell(line, column);
            // A quote inside a cell is doubled: written as it stands it would
            // end the cell, and a spreadsheet or any CSV reader would split a
            // name such as ООО "Ромашка" and shift every later cell of the row.
            cell.replace(quote, QStringLiteral("\"\""));
            row += quote + cell + quote;
            if (column < ColumnTotal)
                row += sep;
        }
        WriteLine(row);
    }
}

// ---- plain text ----

void TRepAsciiExportFilter::BeginDocument(int paperWidth, int paperHeight, const QFont &font)
{
    StartDocument(paperWidth, paperHeight, font);
    PageTexts.clear();
    TRepExportFilter::BeginDocument(paperWidth, paperHeight, font);
}

void TRepAsciiExportFilter::PutText(double x, double y, const QFont &, TColor, unsigned,
                                    TAlignment alignment, const QString &text)
{
    double c = x / CharWidth * 1.7;
    const bool right = alignment == TAlignment::taRightJustify;
    if (right)
        c -= text.size();
    const double lineNo = std::trunc(y / LineHeight + 0.5);
    if (!(lineNo >= 0) || lineNo > 1e6) // off the page or absurd: nothing to place
        return;
    // c is a 1-based character position; one below 1 starts the line.
    const qsizetype start = std::max<qsizetype>(0, qsizetype(std::nearbyint(std::clamp(c, -1e6, 1e6))) - 1);
    PageTexts.push_back({qsizetype(lineNo), right ? start + text.size() : start, start, text});
}

std::vector<QString> TRepAsciiExportFilter::LayOut(const std::vector<TPlacedText> &texts)
{
    // Columns: the distinct aligned edges, left to right. A column's shift
    // is the sum of the moves of itself and every column left of it, so
    // moving one column moves everything right of it along.
    std::vector<qsizetype> anchors;
    qsizetype lines = 0;
    for (const TPlacedText &t : texts) {
        anchors.push_back(t.Anchor);
        lines = std::max(lines, t.Line + 1);
    }
    std::sort(anchors.begin(), anchors.end());
    anchors.erase(std::unique(anchors.begin(), anchors.end()), anchors.end());
    auto columnOf = [&](const TPlacedText &t) {
        return size_t(std::lower_bound(anchors.begin(), anchors.end(), t.Anchor) - anchors.begin());
    };
    std::vector<std::vector<size_t>> byLine(static_cast<size_t>(lines));
    for (size_t i = 0; i < texts.size(); ++i)
        byLine[size_t(texts[i].Line)].push_back(i);
    std::vector<qsizetype> moves(anchors.size(), 0);
    std::vector<qsizetype> shift(anchors.size(), 0);
    auto start = [&](size_t i) { return texts[i].Start + shift[columnOf(texts[i])]; };
    // In the order a line is read: by start, then in the order they came.
    auto order = [&](std::vector<size_t> &line) {
        std::stable_sort(line.begin(), line.end(), [&](size_t a, size_t b) { return start(a) < start(b); });
    };
    // Move columns while a text runs into one of an earlier column. Each
    // round moves one column right; the rounds are bounded, and whatever
    // overlap is left is cleared line by line below.
    for (size_t round = 0; round < 4 * anchors.size() + 4; ++round) {
        qsizetype sum = 0;
        for (size_t k = 0; k < anchors.size(); ++k)
            shift[k] = sum += moves[k];
        bool moved = false;
        for (std::vector<size_t> &line : byLine) {
            order(line);
            qsizetype end = -1;
            size_t endColumn = 0;
            for (size_t i : line) {
                const qsizetype need = end < 0 ? 0 : end + 1 - start(i);
                if (need > 0 && columnOf(texts[i]) > endColumn) {
                    moves[columnOf(texts[i])] += need;
                    moved = true;
                    break;
                }
                if (start(i) + texts[i].Text.size() > end) {
                    end = start(i) + texts[i].Text.size();
                    endColumn = columnOf(texts[i]);
                }
            }
            if (moved)
                break;
        }
        if (!moved)
            break;
    }
    std::vector<QString> out(static_cast<size_t>(lines));
    for (size_t l = 0; l < byLine.size(); ++l) {
        order(byLine[l]);
        QString &line = out[l];
        for (size_t i : byLine[l]) {
            const qsizetype at = line.isEmpty() ? start(i) : std::max(start(i), line.size() + 1);
            line += QString(at - line.size(), u' ');
            line += texts[i].Text;
        }
    }
    return out;
}

void TRepAsciiExportFilter::FinishPage()
{
    for (const QString &line : LayOut(PageTexts))
        if (!line.isEmpty())
            WriteBytes(UnicodeToWin1251(line) + "\r\n");
}

void TRepAsciiExportFilter::BeginNextPage() { PageTexts.clear(); }

void TRepAsciiExportFilter::EndDocument()
{
    CloseOutput();
    TRepExportFilter::EndDocument();
}

} // namespace zorbel
