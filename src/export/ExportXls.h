// The spreadsheet writer: a report as one worksheet of an early binary
// spreadsheet file (BIFF). It asks the run for one endless page, so the text
// grid of ExportText.h holds the whole report. A figure as the program
// writes it (blanks or no-break spaces between digit groups, a decimal
// comma, a leading minus, perhaps a blank after it, blanks around) becomes a
// NUMBER cell whose number format shows it the same way, so totals can be
// summed; any other text that reads as a number (after the thousands
// separator is removed) a NUMBER cell in the general format, the rest a
// LABEL cell of at most 255 Windows-1251 characters.
//
// File layout, every number little-endian, every record a u16 number, a u16
// data length and the data:
//   BOF        0x0809  u16 0, u16 0x0010 (worksheet), u16 0
//   CODEPAGE   0x0042  u16 1251 (the labels' code page)
//   FORMAT     0x001E  a length byte and the format text, once per format
//                      used; the first is "General" (index 0)
//   DIMENSIONS 0x0200  u16 first row 0, u16 rows used, u16 first column 0,
//                      u16 columns used, u16 0
//   cells      INTEGER 0x0002, NUMBER 0x0003, LABEL 0x0004: u16 row,
//              u16 column, 3 attribute bytes (0; for a NUMBER the second
//              holds the FORMAT index in its low six bits), then i32, f64 or
//              a length byte and the text
//   EOF        0x000A  (no data)
// The cells are kept in memory until the document ends, so that DIMENSIONS
// can hold the range really used and a failure leaves no file behind. The
// range is the one the cells occupy, not 0 rows and 0 columns: readers
// size the sheet from the record, and a file whose record says the sheet is
// empty while cells follow is one they must repair (Python's xlrd reads it
// with a note that DIMENSIONS is wrong) or may take for an empty sheet.
#pragma once

#include "export/ExportText.h"

namespace zorbel {

class TRepXLSFilter : public TRepAbstractExportFilter {
public:
    using TRepAbstractExportFilter::TRepAbstractExportFilter;
    QString GetDescriptionText() const override { return QStringLiteral("Excel file format"); }
    QString GetFileExtension() const override { return QStringLiteral("XLS"); }
    QString GetDialogName() const override { return QStringLiteral("Excel spreadsheet"); }
    bool WantsOnePage() const override { return true; }

    void BeginDocument(int paperWidth, int paperHeight, const QFont &font) override;
    void EndDocument() override;

    // kind 1 INTEGER, 2 NUMBER, 3 LABEL; any other writes nothing. A NUMBER
    // is shown in the format of the given FORMAT index (0 general).
    virtual void WriteCell(int kind, int row, const QString &text, int column, int format = 0);

    // Whether text is a figure as the program writes it; on return value is
    // its number and format the spreadsheet number format that shows it the
    // same way ("#,##0.00", "0", "#,##0.00;- #,##0.00").
    static bool ReadFigure(const QString &text, double &value, QString &format);

    int HighestRow = -1;
    int DocumentsDone = 0;
    bool ContinueSheet = false;

    // Rows a sheet of this format holds.
    static constexpr int MaxRows = 65535;

protected:
    void OpenOutput(const QString &fileName) override;
    void CloseOutput() override;
    void WritePage() override;

private:
    void WriteRecordHead(QByteArray &to, int number, int length);
    // The FORMAT index of a format text, added when new (at most 64 fit in
    // a cell's attribute; later ones fall back to general).
    int FormatIndex(const QString &format);
    // A NUMBER record in the format of the FORMAT index.
    void WriteNumber(int row, int column, double value, int format);
    QByteArray cells_;
    int usedRows_ = 0, usedColumns_ = 0;
    QStringList formats_;
};

class TRepExcelFilter : public TRepFilterComponent<TRepXLSFilter> {};

} // namespace zorbel
