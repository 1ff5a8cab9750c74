// The rich text printables: the document laid out and drawn part by part.
#include "report/RepRichText.h"

#include "platform/dataset/DataSet.h"
#include "platform/dataset/Fields.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <cmath>
#include <map>
#include <vector>

namespace zorbel {

namespace {
constexpr double kTenthsPerPixel = 254.0 / ScreenPixelsPerInch;
int Round(double v) { return int(std::lround(v)); }
} // namespace

// ---- layout ----

int TRepRichLayout::Length() const { return std::max(0, doc_.characterCount() - 1); }

void TRepRichLayout::LayoutAt(double width)
{
    if (width_ == width)
        return;
    doc_.setDocumentMargin(0);
    doc_.setTextWidth(std::max(width, 1.0));
    doc_.documentLayout()->documentSize(); // lays the whole document out
    width_ = width;
}

namespace {
// Calls visit(block, line, top) for each line from the one holding from
// while its bottom stays within height of the first line's top; returns the
// first character of the first line that does not fit (length when all do).
template <class Visit>
int FitLines(QTextDocument &doc, int from, double height, int length, Visit visit)
{
    bool started = false;
    double y0 = 0;
    QAbstractTextDocumentLayout *layout = doc.documentLayout();
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        QTextLayout *tl = block.layout();
        if (!tl)
            continue;
        const double blockTop = layout->blockBoundingRect(block).top();
        for (int i = 0; i < tl->lineCount(); ++i) {
            const QTextLine line = tl->lineAt(i);
            const int start = block.position() + line.textStart();
            const int end = start + line.textLength();
            if (!started && end <= from && start < from)
                continue;
            const double top = blockTop + line.y();
            if (!started) {
                started = true;
                y0 = top;
            }
            if (top + line.height() - y0 > height)
                return std::min(start, length);
            visit(block, line, top - y0);
        }
    }
    return length;
}
} // namespace

int TRepRichLayout::Measure(int from, double width, double height)
{
    const int length = Length();
    if (from >= length)
        return -1;
    LayoutAt(width);
    return FitLines(doc_, from, height, length, [](const QTextBlock &, const QTextLine &, double) {});
}

int TRepRichLayout::Draw(TCanvas &canvas, int from, const QRect &target, double scale)
{
    const int length = Length();
    if (from >= length)
        return -1;
    LayoutAt(target.width() / scale);
    const TColor keptColor = canvas.FontColor;
    const unsigned keptAlign = canvas.TextAlign;
    canvas.Brush.Style = TBrushStyle::bsClear;
    canvas.TextAlign = TA_LEFT | TA_BASELINE;
    const int result = FitLines(doc_, from, target.height() / scale, length,
                                [&](const QTextBlock &block, const QTextLine &line, double top) {
        const int ls = line.textStart(), le = ls + line.textLength();
        const int baseline = target.top() + Round((top + line.ascent()) * scale);
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            const int fs = frag.position() - block.position(), fe = fs + frag.length();
            const int s = std::max(ls, fs), e = std::min(le, fe);
            if (s >= e)
                continue;
            const QTextCharFormat fmt = frag.charFormat();
            QFont font = fmt.font();
            font.setPixelSize(std::max(1, Round(FontPixelHeight(font) * scale)));
            canvas.Font = font;
            canvas.FontColor = QColorToColor(fmt.foreground().color());
            // Pieces between tabs and line breaks go where the layout put them.
            const QString text = frag.text().mid(s - fs, e - s);
            int pieceStart = 0;
            for (int k = 0; k <= text.size(); ++k) {
                if (k < text.size() && text[k] != QLatin1Char('\t') && text[k] != QChar(0x2028))
                    continue;
                if (k > pieceStart) {
                    const double x = line.cursorToX(s + pieceStart);
                    canvas.TextOut(target.left() + Round(x * scale), baseline, text.mid(pieceStart, k - pieceStart));
                }
                pieceStart = k + 1;
            }
        }
    });
    canvas.FontColor = keptColor;
    canvas.TextAlign = keptAlign;
    return result;
}

// ---- printables ----

TRepCustomRichText::TRepCustomRichText() : richEdit_(std::make_unique<QTextDocument>())
{
    Font = QFont(QStringLiteral("Liberation Sans"));
    Font.setPixelSize(FontPixelHeight(QFont(QStringLiteral("Liberation Sans"), 10)));
    richEdit_->setDefaultFont(Font);
    richEdit_->setDocumentMargin(0);
    FinishedPrinting = true;
    Size.Values[TRepPrintableSize::iWidth] = Size.Values[TRepPrintableSize::iHeight] = 100 * kTenthsPerPixel;
}

TRepCustomRichText::~TRepCustomRichText() = default;

void TRepCustomRichText::SetLines(const QByteArray &bytes)
{
    richEdit_->setDefaultFont(Font);
    if (IsRtf(bytes))
        ReadRtf(bytes, *richEdit_);
    else {
        richEdit_->setPlainText(QString::fromUtf8(bytes));
        richEdit_->setDocumentMargin(0);
    }
    NextChar = 0;
}

void TRepCustomRichText::Print(double x, double y)
{
    if (!Printer || !Report)
        return;
    TRepPrinter &pr = *Printer;
    QTextDocument &doc = Printed();
    TRepRichLayout layout(doc);
    const double left = Size.Values[TRepPrintableSize::iLeft], top = Size.Values[TRepPrintableSize::iTop];
    const double width = Size.Values[TRepPrintableSize::iWidth], height = Size.Values[TRepPrintableSize::iHeight];
    QRect rect(QPoint(pr.XToDevice(x + left), pr.YToDevice(y + top)),
               QPoint(pr.XToDevice(x + left + width) - 1, pr.YToDevice(y + top + height) - 1));
    // Device pixels per screen pixel: 1 on recorded pages.
    const double scale = pr.XScale() * kTenthsPerPixel;
    if (FinishedPrinting)
        NextChar = 0;
    const int length = layout.Length();
    const int from = NextChar;
    int fit = layout.Measure(from, rect.width() / scale, rect.height() / scale);
    TCanvas &canvas = pr.GetCanvas();
    if (fit >= 0 && fit < length && AutoStretch && Band && length > 0) {
        FinishedPrinting = false;
        double growth = 0;
        bool requested = false;
        while (fit >= 0 && fit < length && Band->CanExpand(50)) {
            Band->ExpandBy(50, requested, growth);
            rect.setBottom(pr.YToDevice(y + top + height + growth) - 1);
            fit = layout.Measure(from, rect.width() / scale, rect.height() / scale);
        }
        const int drawn = layout.Draw(canvas, from, rect, scale);
        if (drawn < 0 || drawn >= length) {
            NextChar = length;
            FinishedPrinting = true;
        } else
            NextChar = drawn;
    } else {
        const int drawn = layout.Draw(canvas, from, rect, scale);
        NextChar = drawn < 0 ? length : drawn;
        FinishedPrinting = true;
        TRepPrintable::Print(x, y);
    }
    if (NextChar > from)
        ++Progress;
    if (Report->Exporting && Report->ExportFilter) {
        // The part just printed goes to the writer as a picture.
        TMetafileRecorder recorder(rect.width(), rect.height());
        TCanvas mc;
        mc.BeginRecording(&recorder);
        TRepRichLayout(doc).Draw(mc, from, QRect(0, 0, rect.width(), rect.height()), scale);
        TRepImage image;
        image.Name = Name;
        image.AutoSize = true;
        image.Picture.Metafile = recorder.Finish();
        image.Size.SetUnits(TRepUnit::Native);
        image.Size.Values[TRepPrintableSize::iLeft] = rect.left();
        image.Size.Values[TRepPrintableSize::iTop] = rect.top();
        image.Size.Values[TRepPrintableSize::iWidth] = rect.width();
        image.Size.Values[TRepPrintableSize::iHeight] = rect.height();
        Report->ExportFilter->PutGraphic(image, rect.left(), rect.top());
    }
}

// ---- data rich text ----

void TRepDBRichText::Prepare()
{
    TRepCustomRichText::Prepare();
    Field = DataSet ? DataSet->FindField(DataField) : nullptr;
    if (dynamic_cast<TBlobField *>(Field))
        RichEdit().clear();
}

void TRepDBRichText::Unprepare()
{
    Field = nullptr;
    TRepCustomRichText::Unprepare();
}

void TRepDBRichText::LoadField()
{
    if (!dynamic_cast<TBlobField *>(Field))
        return;
    try {
        SetLines(Field->GetBlobData());
    } catch (const std::exception &) {
        SetLines(QByteArray()); // an unreadable field prints nothing
    }
}

void TRepDBRichText::Print(double x, double y)
{
    // A continuation keeps the text it is part way through.
    if (FinishedPrinting)
        LoadField();
    TRepCustomRichText::Print(x, y);
}

QString TRepDBRichText::GetFieldString()
{
    if (!Enabled)
        return QString();
    try {
        Prepare();
        if (dynamic_cast<TBlobField *>(Field)) {
            LoadField();
            return RichEdit().toPlainText();
        }
        return Field ? Field->DisplayText() : QString();
    } catch (const std::exception &) {
        return QString();
    }
}

bool TRepDBRichText::GetExpandedHeight(double &pixels)
{
    LoadField();
    TRepRichLayout layout(RichEdit());
    const double width = Size.Values[TRepPrintableSize::iWidth] / kTenthsPerPixel;
    const double height = Size.Values[TRepPrintableSize::iHeight];
    double added = 0;
    // Grows in steps of 50 units until the text fits; the document's own
    // height bounds the steps.
    const double limit = RichEdit().size().height() * kTenthsPerPixel + height + 100;
    for (;;) {
        const int fit = layout.Measure(0, width, (height + added) / kTenthsPerPixel);
        if (fit < 0 || fit >= layout.Length() || added > limit)
            break;
        added += 50;
    }
    layout.Release();
    pixels = (height + added) / kTenthsPerPixel;
    return true;
}

} // namespace zorbel
