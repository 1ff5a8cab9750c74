#include "core/ZorbGridExport.h"

#include "core/ZorbText.h"
#include "platform/dataset/DataSet.h"
#include "platform/dataset/Fields.h"
#include "platform/rtl/CodePages.h"
#include "platform/rtl/Exceptions.h"
#include "platform/system/SysFiles.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zorbel {

QChar ExportSeparator(const QString &setting)
{
    if (setting.isEmpty())
        return QLatin1Char(';');
    if (setting.at(0) == QLatin1Char('t'))
        return QChar(9);
    return setting.at(0);
}

namespace {

// A value is quoted (its quotes doubled) when it holds the separator, a
// quote or a line break: unquoted, a comment with a ';' or a line break would
// split its row, and every later value would land under the wrong title in
// the spreadsheet or program that reads the file.
bool NeedsQuotes(const QString &value, QChar separator)
{
    return std::any_of(value.cbegin(), value.cend(), [separator](QChar c) {
        return c == separator || c == u'"' || c == u'\n' || c == u'\r';
    });
}

// Lines as Unicode texts.
class TLineSink {
public:
    TLineSink(QStringList &lines, QChar separator) : lines_(lines), separator_(separator) {}
    void Cell(const QString &value, bool first)
    {
        if (!first)
            line_ += separator_;
        if (!NeedsQuotes(value, separator_)) {
            line_ += value;
            return;
        }
        line_ += u'"';
        for (QChar c : value) {
            if (c == u'"')
                line_ += u'"';
            line_ += c;
        }
        line_ += u'"';
    }
    void EndLine()
    {
        lines_ << line_;
        line_.clear();
    }

private:
    QStringList &lines_;
    QChar separator_;
    QString line_;
};

// Lines straight into the file's Windows-1251 bytes, CR LF after each.
class TByteSink {
public:
    TByteSink(QByteArray &bytes, QChar separator)
        : bytes_(bytes), separator_(separator), separatorByte_(UnicodeToWin1251(QString(separator)).at(0))
    {
    }
    void Cell(const QString &value, bool first)
    {
        if (bytes_.capacity() - bytes_.size() < 2 * value.size() + 4)
            bytes_.reserve(std::max<qsizetype>(2 * bytes_.capacity(), 2 * (bytes_.size() + value.size()) + 4096));
        if (!first)
            bytes_ += separatorByte_;
        if (!NeedsQuotes(value, separator_)) {
            AppendCodePage(bytes_, TCodePage::Win1251, value);
            return;
        }
        bytes_ += '"';
        for (const char b : UnicodeToWin1251(value)) {
            if (b == '"')
                bytes_ += '"';
            bytes_ += b;
        }
        bytes_ += '"';
    }
    void EndLine() { bytes_ += "\r\n"; }

private:
    QByteArray &bytes_;
    QChar separator_;
    char separatorByte_;
};

// A visible column resolved once for the walk.
struct TCellSource {
    TField *Field = nullptr;
    bool KindMark = false; // the kind column shows whether the operation is a plain one
};

std::vector<TCellSource> CellSources(TDataSet *data, const TGridExportLayout &layout)
{
    std::vector<TCellSource> sources;
    TField *kind = data->FindField(QStringLiteral("Kind"));
    for (const TGridExportColumn &column : layout.Columns)
        if (column.Visible) {
            if (column.FieldName == QLatin1String("kind"))
                sources.push_back({kind, true});
            else
                sources.push_back({column.Field, false});
        }
    return sources;
}

QString CellText(const TCellSource &source)
{
    if (source.KindMark)
        return source.Field && source.Field->AsString() == QLatin1String("1") ? QStringLiteral(" ")
                                                                             : QStringLiteral("?");
    return source.Field ? source.Field->AsString() : QString();
}

// Hands the sink the titles, then one line per record from the first.
// Leaves the dataset where it stood, as the spreadsheet export does: a user
// who saves a long ledger keeps the row he was looking at.
template <class Sink>
void WalkDelimitedLines(TDataSet *data, const TGridExportLayout &layout, Sink &sink)
{
    bool first = true;
    for (const TGridExportColumn &column : layout.Columns)
        if (column.Visible) {
            sink.Cell(column.Title, first);
            first = false;
        }
    sink.EndLine();
    const std::vector<TCellSource> sources = CellSources(data, layout);
    const TBookmark mark = data->GetBookmark();
    TControlsOff off(*data);
    // Back to the row the walk started from, whether it ends or fails.
    struct TGoBack {
        TDataSet *Data;
        const TBookmark &Mark;
        ~TGoBack()
        {
            try {
                Data->GotoBookmark(Mark);
            } catch (const Exception &) {
                // The row went away meanwhile: stay where the walk ended.
            }
        }
    } goBack{data, mark};
    for (data->First(); !data->Eof(); data->Next()) {
        first = true;
        for (const TCellSource &source : sources) {
            sink.Cell(CellText(source), first);
            first = false;
        }
        sink.EndLine();
    }
}

} // namespace

QStringList GridToDelimitedLines(TDataSet *data, const TGridExportLayout &layout, QChar separator)
{
    QStringList lines;
    TLineSink sink(lines, separator);
    WalkDelimitedLines(data, layout, sink);
    return lines;
}

QByteArray DelimitedLinesToBytes(const QStringList &lines)
{
    // Every character becomes one byte, every line break two.
    qsizetype size = 0;
    for (const QString &line : lines)
        size += line.size() + 2;
    QByteArray bytes;
    bytes.reserve(size);
    for (const QString &line : lines) {
        AppendCodePage(bytes, TCodePage::Win1251, line);
        bytes += "\r\n";
    }
    return bytes;
}

namespace {

QString WriteFailure(const QString &fileName)
{
    return U("Не удалось записать файл\n%1").arg(fileName);
}

} // namespace

bool SaveGridDelimited(TDataSet *data, const TGridExportLayout &layout, QChar separator,
                       const QString &fileName, QString *error)
{
    // The file's bytes are built in one buffer, without keeping the lines.
    QByteArray bytes;
    TByteSink sink(bytes, separator);
    WalkDelimitedLines(data, layout, sink);
    try {
        SaveFileAtomically(fileName, bytes);
    } catch (const Exception &) {
        if (error)
            *error = WriteFailure(fileName);
        return false;
    }
    return true;
}

QString XlsPartFileName(const QString &fileName, int n)
{
    QFileInfo info(fileName);
    QString suffix = info.suffix();
    QString base = fileName.left(fileName.size() - (suffix.isEmpty() ? 0 : suffix.size() + 1));
    return base + QString::number(n) + (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix);
}

namespace {

// Little-endian record writer over a byte buffer.
class TBiffOut {
public:
    explicit TBiffOut(QByteArray &out) : out_(out) {}
    void U8(unsigned v) { out_.append(char(v & 0xFF)); }
    void U16(unsigned v) { U8(v); U8(v >> 8); }
    void U32(uint32_t v) { U16(v & 0xFFFF); U16(v >> 16); }
    void F64(double v)
    {
        uint64_t bits;
        std::memcpy(&bits, &v, 8);
        U32(uint32_t(bits));
        U32(uint32_t(bits >> 32));
    }
    void Bytes(const QByteArray &b) { out_.append(b); }
    void Hex(const char *hex) { out_.append(QByteArray::fromHex(hex)); }
    qsizetype Size() const { return out_.size(); }
    void Truncate(qsizetype size) { out_.truncate(size); }
    QByteArray &Buffer() { return out_; }

private:
    QByteArray &out_;
};

constexpr int XfTitle = 22;

QByteArray FontRecord(const TGridExportFont &font, unsigned colorIndex)
{
    QByteArray name = UnicodeToWin1251(font.Name).left(248);
    QByteArray rec;
    TBiffOut out(rec);
    out.U16(0x0231);
    out.U16(7 + unsigned(name.size()));
    out.U16(unsigned(std::lround(font.Size * 20.0)) & 0xFFFF);
    unsigned options = (font.Bold ? 1 : 0) | (font.Italic ? 2 : 0) | (font.Underline ? 4 : 0)
                       | (font.StrikeOut ? 8 : 0);
    out.U8(options);
    out.U8(0);
    out.U16(colorIndex);
    out.U8(unsigned(name.size()));
    out.Bytes(name);
    return rec;
}

const char *const XfRecords[34] = {
    "43040c000000f5ff200000ce00000000",
    "43040c000100f5ff20f400ce00000000", "43040c000100f5ff20f400ce00000000",
    "43040c000200f5ff20f400ce00000000", "43040c000200f5ff20f400ce00000000",
    "43040c000000f5ff20f400ce00000000", "43040c000000f5ff20f400ce00000000",
    "43040c000000f5ff20f400ce00000000", "43040c000000f5ff20f400ce00000000",
    "43040c000000f5ff20f400ce00000000", "43040c000000f5ff20f400ce00000000",
    "43040c000000f5ff20f400ce00000000", "43040c000000f5ff20f400ce00000000",
    "43040c000000f5ff20f400ce00000000", "43040c000000f5ff20f400ce00000000",
    "43040c0000000100200000ce00000000",
    "43040c000121f5ff20f800ce00000000",
    "43040c00011ff5ff20f800ce00000000",
    "43040c000120f5ff20f800ce00000000",
    "43040c00011ef5ff20f800ce00000000",
    "43040c00010df5ff20f800ce00000000",
    "43040c000500010021784103a1a1a1a1",
    "43040c00060001002278410271717171",
    "43040c00070001002178c10200000000",
    "43040c00050001002278c102b9b9b9b9",
    "43040c00050001002178c102b9b9b9b9",
    "43040c00050001002378c102b9b9b9b9",
    "43040c00050101002278c102b9b9b9b9",
    "43040c00050101002178c102b9b9b9b9",
    "43040c00050101002378c102b9b9b9b9",
    "43040c00050001002278c102b900b900",
    "43040c00080001002278410271717100",
    "43040c00090001002178c102b9b9b9b9",
    "43040c00090001002178c102b900b900",
};

void WriteHeader(TBiffOut &out, const TGridExportLayout &layout)
{
    out.Hex("09040600000010000000");               // BOF: worksheet
    // CODEPAGE 1251: without it spreadsheet programs read the labels' bytes
    // as Western text and Cyrillic comes out garbled.
    out.Hex("42000200e304");
    out.Hex("800008000000000000000000");           // GUTS
    out.Hex("92001a000600");                       // PALETTE, six colours (indexes 8..13)
    for (uint32_t color : {layout.TitleFont.Color, layout.FixedColor, layout.Font.Color, layout.Color,
                           layout.FrameColor, layout.WindowColor})
        out.U32(color & 0xFFFFFF);
    for (int i = 0; i < 4; ++i)
        out.Hex("31020c00c8000000ff7f05417269616c");
    out.Bytes(FontRecord(layout.Font, 10));
    out.Bytes(FontRecord(layout.TitleFont, 8));
    out.Hex("1e040a0000000747656e6572616c");       // FORMAT "General"
    out.Hex("1e040b0000000864642f6d6d2f7979");     // FORMAT "dd/mm/yy"
    for (const char *xf : XfRecords)
        out.Hex(xf);
    unsigned c = 0;
    for (const TGridExportColumn &column : layout.Columns) {
        out.Hex("7d000c00");
        out.U16(c);
        out.U16(c);
        out.U16(unsigned(std::clamp(column.Width * 36, 0, 0xFFFF)));
        out.U16(15);
        out.U16(0);
        out.U16(0);
        ++c;
    }
}

void Label(TBiffOut &out, unsigned r, unsigned c, unsigned xf, const QString &text)
{
    // A label holds at most 255 characters; a longer text is cut there.
    QByteArray bytes = UnicodeToWin1251(text).left(255);
    out.U16(0x0204);
    out.U16(8 + unsigned(bytes.size()));
    out.U16(r);
    out.U16(c);
    out.U16(xf);
    out.U16(unsigned(bytes.size()));
    out.Bytes(bytes);
}

void Blank(TBiffOut &out, unsigned r, unsigned c, unsigned xf)
{
    out.Hex("01020600");
    out.U16(r);
    out.U16(c);
    out.U16(xf);
}

void Number(TBiffOut &out, unsigned r, unsigned c, unsigned xf, double value)
{
    if (!std::isfinite(value)) { // no cell type holds it
        Blank(out, r, c, xf);
        return;
    }
    out.Hex("03020e00");
    out.U16(r);
    out.U16(c);
    out.U16(xf);
    out.F64(value);
}

void Integer(TBiffOut &out, unsigned r, unsigned c, unsigned xf, int64_t value)
{
    // An RK integer holds 30 bits; a larger one is written as a number.
    if (value < -(int64_t(1) << 29) || value >= (int64_t(1) << 29)) {
        Number(out, r, c, xf, double(value));
        return;
    }
    out.Hex("7e020a00");
    out.U16(r);
    out.U16(c);
    out.U16(xf);
    out.U32(uint32_t(int32_t(value) * 4 + 2));
}

bool IsDateType(TFieldType t) { return t == ftDate || t == ftTime || t == ftDateTime; }

void DataCell(TBiffOut &out, unsigned r, unsigned c, const TGridExportColumn &column)
{
    TField *field = column.Field;
    bool date = field && IsDateType(field->DataType());
    int align = column.Align == TExportAlign::Left ? 0 : column.Align == TExportAlign::Right ? 1 : 2;
    static const unsigned dateXf[3] = {28, 29, 27}, plainXf[3] = {25, 26, 24};
    unsigned xf = date ? dateXf[align] : plainXf[align];
    if (!field || field->IsNull()) {
        Blank(out, r, c, xf);
        return;
    }
    switch (field->DataType()) {
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc:
        Integer(out, r, c, xf, field->AsInteger());
        break;
    case ftLargeint:
        Number(out, r, c, xf, double(field->AsLargeInt()));
        break;
    case ftFloat: case ftCurrency: case ftBCD:
        Number(out, r, c, xf, field->AsFloat());
        break;
    case ftDate: case ftTime: case ftDateTime:
        Number(out, r, c, xf, field->AsDateTime());
        break;
    default:
        Label(out, r, c, xf, field->AsString());
        break;
    }
}

} // namespace

QByteArray BuildXlsFile(TDataSet *data, const TGridExportLayout &layout, int maxRows)
{
    QByteArray bytes;
    bytes.reserve(1 << 16);
    TBiffOut out(bytes);
    WriteHeader(out, layout);
    // The used range, filled in once the rows are known.
    qsizetype dimensions = out.Size();
    out.Hex("00020a0000000000000000000000");
    unsigned c = 0;
    for (const TGridExportColumn &column : layout.Columns)
        Label(out, 0, c++, XfTitle, column.Title);
    unsigned row = 1;
    for (int n = 0; n < maxRows && !data->Eof(); ++n, data->Next()) {
        // A row is written whole or not at all: a failure reading a value
        // drops the row's cells written so far.
        qsizetype start = out.Size();
        try {
            c = 0;
            for (const TGridExportColumn &column : layout.Columns)
                DataCell(out, row, c++, column);
            ++row;
        } catch (const Exception &) {
            out.Truncate(start);
        }
    }
    out.Hex("0a000000");
    // DIMENSIONS: first row, last row + 1, first column, last column + 1.
    // The worksheet format defines this record as the range the cells use;
    // a reader that trusts it (to size its grid, to find the last row) gets
    // the rows and columns the file holds, not a claimed 65535 x 255.
    char *dim = bytes.data() + dimensions + 4;
    auto put16 = [&](int at, unsigned v) { dim[at] = char(v & 0xFF); dim[at + 1] = char(v >> 8); };
    put16(2, row);
    put16(6, unsigned(layout.Columns.size()));
    return bytes;
}

bool ExportGridToXls(TDataSet *data, const TGridExportLayout &layout, const QString &fileName, QString *error)
{
    if (!data->Active() || data->IsEmpty())
        return false;
    TBookmark mark = data->GetBookmark();
    data->DisableControls();
    bool ok = true;
    try {
        data->First();
        for (int n = 1; ok && (n == 1 || !data->Eof()); ++n) {
            QString name = n == 1 ? fileName : XlsPartFileName(fileName, n);
            QByteArray bytes = BuildXlsFile(data, layout, XlsRowsPerFile);
            try {
                SaveFileAtomically(name, bytes);
            } catch (const Exception &) {
                if (error)
                    *error = WriteFailure(name);
                ok = false;
            }
        }
    } catch (...) {
        data->EnableControls();
        throw;
    }
    try {
        data->GotoBookmark(mark);
    } catch (const Exception &) {
        // Only the grid's position: the file is written or its failure reported.
    }
    data->EnableControls();
    return ok && PathExists(fileName);
}

} // namespace zorbel
