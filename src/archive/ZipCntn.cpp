// The object lists behind the zip component's entry lists: capacity growth,
// owned items and the primitives of their stored form.
#include "archive/ZipCntn.h"

namespace zorbel {

void ListIndexError(int Index)
{
    throw EListError(QStringLiteral("List index out of bounds (%1)").arg(Index));
}

int GrownCapacity(int Capacity)
{
    if (Capacity < 5)
        return Capacity + 4;
    if (Capacity <= 8)
        return Capacity + 8;
    return Capacity + 16;
}

void WriteListByte(TStream &Stream, uint8_t Value) { Stream.WriteBuffer(&Value, 1); }

uint8_t ReadListByte(TStream &Stream)
{
    uint8_t value = 0;
    Stream.ReadBuffer(&value, 1);
    return value;
}

void WriteListCount(TStream &Stream, int32_t Value)
{
    const uint32_t v = static_cast<uint32_t>(Value);
    const uint8_t bytes[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    Stream.WriteBuffer(bytes, 4);
}

int32_t ReadListCount(TStream &Stream)
{
    uint8_t b[4] = {};
    Stream.ReadBuffer(b, 4);
    return static_cast<int32_t>(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
}

void WriteClassName(TStream &Stream, const QString &Name)
{
    const QByteArray bytes = Name.left(MaxStoredClassName).toLatin1();
    WriteListByte(Stream, static_cast<uint8_t>(bytes.size()));
    Stream.WriteBuffer(bytes.constData(), bytes.size());
}

QString ReadClassName(TStream &Stream)
{
    // A length above 63 is not one we write; it names no registered class.
    QByteArray bytes(ReadListByte(Stream), '\0');
    Stream.ReadBuffer(bytes.data(), bytes.size());
    return QString::fromLatin1(bytes);
}

} // namespace zorbel
