// dBASE table reader: every length and offset is checked against the bytes
// before use; the first failure leaves the reader without fields or records.
#include "platform/rtl/DbfReader.h"

#include "platform/rtl/CodePages.h"
#include "platform/rtl/DateTime.h"

#include <cmath>
#include <cstring>

namespace zorbel {
namespace {

constexpr int HeaderSize = 32;
constexpr int FieldSize = 32;
constexpr char FieldEnd = 0x0D;
// Julian day number of 30 December 1899, day 0 of the program's dates.
constexpr int64_t JulianDay0 = 2415019;

uint32_t Le32(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return uint32_t(u[0]) | uint32_t(u[1]) << 8 | uint32_t(u[2]) << 16 | uint32_t(u[3]) << 24;
}

uint16_t Le16(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return uint16_t(u[0] | u[1] << 8);
}

int64_t Le64(const char *p) { return int64_t(uint64_t(Le32(p)) | uint64_t(Le32(p + 4)) << 32); }

// The fixed width each binary type must have.
int BinaryWidth(char type)
{
    switch (type) {
    case 'I': return 4;
    case 'B':
    case 'Y':
    case 'T': return 8;
    default: return 0;
    }
}

bool KnownType(char type) { return std::strchr("CDNFLIBYT", type) != nullptr && type != 0; }

Variant ReadNumber(const QByteArray &text)
{
    const QByteArray t = text.trimmed();
    if (t.isEmpty())
        return Variant::Null();
    bool ok = false;
    const double v = t.toDouble(&ok); // dBASE numbers always use a point
    return ok && std::isfinite(v) ? Variant(v) : Variant::Null();
}

Variant ReadDate(const QByteArray &text)
{
    const QByteArray t = text.trimmed();
    if (t.size() != 8)
        return Variant::Null();
    for (char c : t)
        if (c < '0' || c > '9')
            return Variant::Null();
    TDateTime d = 0;
    if (!TryEncodeDate(t.left(4).toInt(), t.mid(4, 2).toInt(), t.mid(6, 2).toInt(), d))
        return Variant::Null();
    return Variant::FromDate(d);
}

} // namespace

TDbfReader::TDbfReader(QByteArray Bytes) : bytes_(std::move(Bytes))
{
    const QString why = Parse();
    if (!why.isEmpty())
        Fail(why);
}

QString TDbfReader::Parse()
{
    const qsizetype size = bytes_.size();
    if (size < HeaderSize + 1)
        return (QStringLiteral("файл короче заголовка"));
    const char *h = bytes_.constData();
    const uint8_t version = uint8_t(h[0]) & 0x07;
    if (version != 3 && version != 4 && uint8_t(h[0]) != 0x30 && uint8_t(h[0]) != 0x31 && uint8_t(h[0]) != 0xF5)
        return (QStringLiteral("неизвестная версия таблицы"));
    const uint32_t count = Le32(h + 4);
    headerLength_ = Le16(h + 8);
    recordLength_ = Le16(h + 10);
    const uint8_t driver = uint8_t(h[29]);
    cp866_ = driver == 0x65 || driver == 0x26; // else Windows 1251, as this program writes
    if (headerLength_ < HeaderSize + 1 || headerLength_ > size)
        return (QStringLiteral("неверная длина заголовка"));

    int offset = 1; // after the deletion flag
    for (int at = HeaderSize; at < headerLength_ && h[at] != FieldEnd; at += FieldSize) {
        if (at + FieldSize > headerLength_)
            return (QStringLiteral("описание поля за пределами заголовка"));
        const char *f = h + at;
        TDbfField field;
        field.Name = QString::fromLatin1(f, qsizetype(strnlen(f, 11)));
        field.Type = f[11];
        field.Length = uint8_t(f[16]);
        field.Decimals = uint8_t(f[17]);
        if (field.Type == 'C') // text fields longer than 255 keep the high byte here
            field.Length |= uint8_t(f[17]) << 8;
        if (!KnownType(field.Type))
            return (QStringLiteral("неизвестный тип поля ") + field.Name);
        if (field.Length == 0 || (BinaryWidth(field.Type) && field.Length != BinaryWidth(field.Type)) ||
            (field.Type == 'D' && field.Length != 8))
            return (QStringLiteral("неверная длина поля ") + field.Name);
        field.Offset = offset;
        offset += field.Length;
        fields_.push_back(field);
    }
    if (fields_.empty())
        return (QStringLiteral("нет полей"));
    if (offset > recordLength_)
        return (QStringLiteral("поля длиннее записи"));
    if (recordLength_ == 0 || int64_t(count) > (size - headerLength_) / recordLength_)
        return (QStringLiteral("файл обрезан: записей меньше, чем объявлено"));
    count_ = int(count);
    return QString();
}

void TDbfReader::Fail(const QString &why)
{
    error_ = why;
    fields_.clear();
    count_ = 0;
}

const char *TDbfReader::Record(int Index) const
{
    return bytes_.constData() + headerLength_ + qsizetype(Index) * recordLength_;
}

bool TDbfReader::Deleted(int Index) const { return Record(Index)[0] == '*'; }

Variant TDbfReader::Value(int Index, int Field) const
{
    const TDbfField &f = fields_[size_t(Field)];
    const char *p = Record(Index) + f.Offset;
    const QByteArray raw(p, f.Length);
    switch (f.Type) {
    case 'C': {
        QByteArray t = raw;
        while (!t.isEmpty() && (t.back() == ' ' || t.back() == '\0'))
            t.chop(1);
        return Variant(cp866_ ? Cp866ToUnicode(t) : Win1251ToUnicode(t));
    }
    case 'D': return ReadDate(raw);
    case 'N':
    case 'F': return ReadNumber(raw);
    case 'L': {
        const char c = raw.trimmed().isEmpty() ? '?' : raw.trimmed()[0];
        if (std::strchr("YyTt", c))
            return Variant(true);
        if (std::strchr("NnFf", c))
            return Variant(false);
        return Variant::Null();
    }
    case 'I': return Variant(double(int32_t(Le32(p))));
    case 'B': {
        double v = 0;
        const uint64_t bits = uint64_t(Le64(p));
        std::memcpy(&v, &bits, sizeof v);
        return std::isfinite(v) ? Variant(v) : Variant::Null();
    }
    case 'Y': return Variant(double(Le64(p)) / 10000.0);
    case 'T': {
        const int64_t day = int32_t(Le32(p));
        const int64_t ms = int32_t(Le32(p + 4));
        if (day == 0 && ms == 0)
            return Variant::Null();
        if (ms < 0 || ms >= 86400000 || day < JulianDay0 - 693593 || day > JulianDay0 + 2958465)
            return Variant::Null();
        return Variant::FromDate(double(day - JulianDay0) + double(ms) / 86400000.0);
    }
    default: return Variant::Null();
    }
}

} // namespace zorbel
