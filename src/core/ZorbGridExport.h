// Saving a grid's rows to a file: comma or text files (one line per record,
// the visible columns joined by a separator, Windows-1251) and BIFF4
// worksheets (every column, with the grid's fonts, colours, widths and
// alignments; at most 65000 data rows a file, further rows in name2.xls,
// name3.xls ...). Window-free: the windows layer describes its grid in a
// TGridExportLayout and calls these routines.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace zorbel {

class TDataSet;
class TField;

enum class TExportAlign { Left, Right, Center };

struct TGridExportColumn {
    bool Visible = true;
    QString Title;
    QString FieldName;
    TField *Field = nullptr; // null: the column has no field (written empty)
    TExportAlign Align = TExportAlign::Left;
    int Width = 64; // pixels
};

struct TGridExportFont {
    QString Name = QStringLiteral("Arial");
    int Size = 10; // points
    bool Bold = false, Italic = false, Underline = false, StrikeOut = false;
    uint32_t Color = 0; // RGB, red in the lowest byte
};

struct TGridExportLayout {
    std::vector<TGridExportColumn> Columns;
    TGridExportFont Font, TitleFont;
    uint32_t Color = 0xFFFFFF, FixedColor = 0xC0C0C0; // RGB
    uint32_t FrameColor = 0, WindowColor = 0xFFFFFF;  // the system's colours
};

// Most data rows in one spreadsheet file.
constexpr int XlsRowsPerFile = 65000;

// The separator of comma and text files from the "CSV" setting: "t" is a tab,
// an empty setting falls back to ';', otherwise its first character.
QChar ExportSeparator(const QString &setting);

// The comma/text lines of the dataset: the visible columns' titles, then one
// line per record from the first. A value holding the separator, a quote or a
// line break is quoted, its quotes doubled. Leaves the dataset on the record
// it stood on (the user keeps the row he was looking at).
QStringList GridToDelimitedLines(TDataSet *data, const TGridExportLayout &layout, QChar separator);

// The lines as one Windows-1251 text with CR LF after each line (characters
// outside the code page become '?').
QByteArray DelimitedLinesToBytes(const QStringList &lines);

// Writes a comma or text file, replacing fileName whole or not at all. False
// with a Russian message in error when the file cannot be written.
bool SaveGridDelimited(TDataSet *data, const TGridExportLayout &layout, QChar separator,
                       const QString &fileName, QString *error);

// Name of the n-th spreadsheet file (n >= 2): "dir/ledger.xls" -> "dir/ledger2.xls".
QString XlsPartFileName(const QString &fileName, int n);

// Writes the spreadsheet file or files; each file is written whole or not at
// all. The dataset returns to where it stood. True when the first file exists
// afterwards; on a write failure false with a Russian message in error (the
// files already complete stay).
bool ExportGridToXls(TDataSet *data, const TGridExportLayout &layout, const QString &fileName,
                     QString *error = nullptr);

// The BIFF4 bytes of one file: header, title row, the data rows from the
// dataset's current record (at most maxRows), end record. The dataset is left
// on the record after the last written one.
QByteArray BuildXlsFile(TDataSet *data, const TGridExportLayout &layout, int maxRows = XlsRowsPerFile);

} // namespace zorbel
