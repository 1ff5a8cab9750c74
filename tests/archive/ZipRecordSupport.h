// Helpers of the record and reader tests: little-endian record building and
// file access in QByteArray form. The oracles run through test::RunTool.
#pragma once

#include "archive/ZipTestSupport.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <ostream>

// Readable QString values in test failure messages.
inline void PrintTo(const QString &S, std::ostream *Os) { *Os << '"' << S.toStdString() << '"'; }

namespace ziptest {

using zorbel::test::RunTool;

inline void Add16(QByteArray &b, uint16_t v)
{
    b.append(char(v & 0xFF));
    b.append(char(v >> 8));
}
inline void Add32(QByteArray &b, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
}
inline uint32_t Get32(const QByteArray &b, qsizetype at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | uint8_t(b[at + i]);
    return v;
}
inline void Put32(QByteArray &b, qsizetype at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xFF);
}
inline void Put16(QByteArray &b, qsizetype at, uint16_t v)
{
    b[at] = char(v & 0xFF);
    b[at + 1] = char(v >> 8);
}

inline QByteArray ReadFile(const QString &Name)
{
    QFile f(Name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
inline bool WriteFile(const QString &Name, const QByteArray &Data)
{
    QFile f(Name);
    return f.open(QIODevice::WriteOnly) && f.write(Data) == Data.size();
}

} // namespace ziptest
