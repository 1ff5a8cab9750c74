// Reader of dBASE III/IV and FoxPro tables (.dbf), as the rates import needs
// them: the field list and the records' values, read from bytes held in
// memory. Nothing of the input is trusted: a length, count or offset that
// does not fit the file makes the whole table unreadable with one message.
//
// Layout (little-endian):
//   header      0 version, 1..3 date of last change (YY MM DD),
//               4..7 record count, 8..9 header length, 10..11 record length,
//               29 language driver (0x65/0x26 DOS 866, 0xC9 Windows 1251)
//   fields      32 bytes each from offset 32 up to a 0x0D byte:
//               0..10 name (NUL-padded), 11 type, 16 length, 17 decimals
//   records     from the header length on, record length bytes each:
//               a deletion flag ('*' deleted) and the fields in order
// Field types read: C text; D date "YYYYMMDD"; N and F numbers as text;
// L logical; I 32-bit integer; B 8-byte double; Y currency (64-bit integer
// of 1/10000); T date-time (32-bit Julian day, 32-bit milliseconds). Blank
// dates and numbers are null.
#pragma once

#include "platform/rtl/Variant.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace zorbel {

struct TDbfField {
    QString Name;
    char Type = 'C';
    int Length = 0;
    int Decimals = 0;
    int Offset = 0; // within the record, after the deletion flag
};

class TDbfReader {
public:
    // Reads the header and the field list of Bytes. On return: Ok() tells
    // whether the table is readable; Error() holds the reason when not.
    explicit TDbfReader(QByteArray Bytes);

    bool Ok() const { return error_.isEmpty(); }
    const QString &Error() const { return error_; }
    const std::vector<TDbfField> &Fields() const { return fields_; }
    int RecordCount() const { return count_; }

    // Whether record Index is marked deleted. Requires: Ok(), 0 <= Index < RecordCount().
    bool Deleted(int Index) const;
    // The value of field Field in record Index: text, number, date (day
    // serial with fraction), logical or null for a blank or unreadable value.
    // Requires: Ok(), indexes in range.
    Variant Value(int Index, int Field) const;

private:
    // Reads the header and fields; returns the reason of a failure, "" when readable.
    QString Parse();
    void Fail(const QString &why);
    const char *Record(int Index) const;

    QByteArray bytes_;
    std::vector<TDbfField> fields_;
    int count_ = 0;
    int headerLength_ = 0;
    int recordLength_ = 0;
    bool cp866_ = false;
    QString error_;
};

} // namespace zorbel
