// The dBASE reader on a table written by LibreOffice Calc (tests/data/dbase,
// remade by make.sh there), on a hand-built FoxPro table with the binary
// field types, and on damaged variants of both.
#include "platform/rtl/DbfReader.h"
#include "platform/rtl/StrUtils.h"

#include "platform/rtl/DateTime.h"

#include <QFile>
#include <cstring>
#include <gtest/gtest.h>

namespace zorbel {
namespace {

QByteArray Calc()
{
    QFile f(QStringLiteral(ZORBEL_TEST_DATA "/dbase/rates.dbf"));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

void Put16(QByteArray &b, int at, int v)
{
    b[at] = char(v & 0xFF);
    b[at + 1] = char(v >> 8 & 0xFF);
}

void Put32(QByteArray &b, int at, int64_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char(v >> (8 * i) & 0xFF);
}

void Put64(QByteArray &b, int at, int64_t v)
{
    Put32(b, at, v);
    Put32(b, at + 4, v >> 32);
}

// A FoxPro table of one record: T date-time, L logical, I integer,
// B double, F float "  12.50", Y currency.
QByteArray Fox()
{
    struct Field {
        const char *Name;
        char Type;
        int Length;
    };
    const Field fields[] = {{"WHEN", 'T', 8}, {"OK", 'L', 1}, {"NUM", 'I', 4},
                            {"DBL", 'B', 8},  {"FLT", 'F', 7}, {"CUR", 'Y', 8}};
    const int header = 32 + 6 * 32 + 1, record = 1 + 8 + 1 + 4 + 8 + 7 + 8;
    QByteArray b(header + record, '\0');
    b[0] = char(0x30);       // Visual FoxPro
    Put32(b, 4, 1);          // one record
    Put16(b, 8, header);     // header length
    Put16(b, 10, record);    // record length
    b[29] = char(0xC9);      // Windows 1251
    int at = 32;
    for (const Field &f : fields) {
        std::memcpy(b.data() + at, f.Name, strlen(f.Name)); // name
        b[at + 11] = f.Type;                                 // type
        b[at + 16] = char(f.Length);                         // length
        at += 32;
    }
    b[at] = 0x0D;                                // end of the field list
    int r = header;
    b[r++] = ' ';                                // not deleted
    Put32(b, r, 2415019 + 45301);                // 10.01.2024 (day 45301) as a Julian day
    Put32(b, r + 4, 12 * 3600000);               // noon
    r += 8;
    b[r++] = 'T';                                // true
    Put32(b, r, -7);                             // -7
    r += 4;
    const double d = 95.125;
    int64_t bits = 0;
    std::memcpy(&bits, &d, 8);
    Put64(b, r, bits);                           // 95.125
    r += 8;
    std::memcpy(b.data() + r, "  12.50", 7);     // 12.5
    r += 7;
    Put64(b, r, 955000);                         // 95.5 as currency
    return b;
}

TEST(DbfReader, CalcTableWithCyrillicText)
{
    const TDbfReader t(Calc());
    ASSERT_TRUE(t.Ok()) << t.Error().toStdString();
    ASSERT_EQ(t.Fields().size(), 4u);
    EXPECT_EQ(t.Fields()[0].Name, U("DATE_R"));
    EXPECT_EQ(t.Fields()[0].Type, 'D');
    EXPECT_EQ(t.Fields()[3].Type, 'N');
    EXPECT_EQ(t.Fields()[3].Decimals, 2);
    ASSERT_EQ(t.RecordCount(), 5);
    EXPECT_EQ(t.Value(0, 0).AsDate(), EncodeDate(2024, 1, 10));
    EXPECT_EQ(t.Value(0, 1).AsString(), U("Рубль"));
    EXPECT_EQ(t.Value(1, 1).AsString(), U("Доллар США"));
    EXPECT_EQ(t.Value(4, 1).AsString(), U("Ёлка"));
    EXPECT_DOUBLE_EQ(t.Value(0, 2).AsDouble(), 3);
    EXPECT_DOUBLE_EQ(t.Value(1, 3).AsDouble(), 96.25);
    EXPECT_TRUE(t.Value(2, 0).IsNull()); // a blank date
    EXPECT_FALSE(t.Deleted(0));
}

TEST(DbfReader, FoxProBinaryFields)
{
    const TDbfReader t(Fox());
    ASSERT_TRUE(t.Ok()) << t.Error().toStdString();
    ASSERT_EQ(t.RecordCount(), 1);
    EXPECT_DOUBLE_EQ(t.Value(0, 0).AsDate(), EncodeDate(2024, 1, 10) + 0.5);
    EXPECT_TRUE(t.Value(0, 1).AsBoolean());
    EXPECT_DOUBLE_EQ(t.Value(0, 2).AsDouble(), -7);
    EXPECT_DOUBLE_EQ(t.Value(0, 3).AsDouble(), 95.125);
    EXPECT_DOUBLE_EQ(t.Value(0, 4).AsDouble(), 12.5);
    EXPECT_DOUBLE_EQ(t.Value(0, 5).AsDouble(), 95.5);
}

TEST(DbfReader, DamagedTablesAreRefusedWhole)
{
    const QByteArray good = Calc();
    ASSERT_TRUE(TDbfReader(good).Ok());
    const auto refused = [](const QByteArray &b) {
        const TDbfReader t(b);
        return !t.Ok() && !t.Error().isEmpty() && t.RecordCount() == 0 && t.Fields().empty();
    };
    EXPECT_TRUE(refused(QByteArray()));
    EXPECT_TRUE(refused(good.left(20)));
    EXPECT_TRUE(refused(good.left(good.size() - 10))); // records cut off
    QByteArray b = good;
    b[0] = char(0x7F); // unknown version
    EXPECT_TRUE(refused(b));
    b = good;
    Put16(b, 8, 0xFFFF); // header past the end
    EXPECT_TRUE(refused(b));
    b = good;
    Put16(b, 10, 3); // record shorter than its fields
    EXPECT_TRUE(refused(b));
    b = good;
    Put16(b, 10, 0); // zero record length
    EXPECT_TRUE(refused(b));
    b = good;
    Put32(b, 4, 0x7FFFFFFF); // record count beyond the file
    EXPECT_TRUE(refused(b));
    b = good;
    b[32 + 11] = 'Q'; // unknown field type
    EXPECT_TRUE(refused(b));
    b = good;
    b[32 + 16] = 0; // zero field length
    EXPECT_TRUE(refused(b));
    b = good;
    b[32] = 0x0D; // no fields
    EXPECT_TRUE(refused(b));
    b = good;
    b[good.indexOf(char(0x0D), 32)] = 'X'; // field list runs into the header end
    EXPECT_TRUE(refused(b));
    b = Fox();
    b[32 + 16] = 4; // a date-time field must be 8 bytes
    EXPECT_TRUE(refused(b));
}

TEST(DbfReader, UnreadableValuesAreNull)
{
    QByteArray b = Calc();
    const TDbfReader base(b);
    const int record = uchar(b[8]) | uchar(b[9]) << 8; // the first record
    std::memcpy(b.data() + record + base.Fields()[0].Offset, "20241340", 8); // month 13
    std::memcpy(b.data() + record + base.Fields()[3].Offset, "9x.50", 5);
    const TDbfReader t(b);
    ASSERT_TRUE(t.Ok());
    EXPECT_TRUE(t.Value(0, 0).IsNull());
    EXPECT_TRUE(t.Value(0, 3).IsNull());
    b[record] = '*';
    EXPECT_TRUE(TDbfReader(b).Deleted(0));
}

} // namespace
} // namespace zorbel
