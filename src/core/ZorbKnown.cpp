// The list of checked contents: one line per key, "crc size" in hexadecimal
// and decimal, newest first.
#include "core/ZorbKnown.h"

#include "platform/rtl/Exceptions.h"
#include "platform/system/SysFiles.h"

#include <QDir>
#include <QStandardPaths>
#include <vector>

namespace zorbel {
namespace {

std::vector<TContentKey> ReadList(const QString &file)
{
    std::vector<TContentKey> keys;
    QByteArray data;
    if (!ReadWholeFile(file, data) || data.size() > 64 * 1024)
        return keys;
    for (const QByteArray &line : data.split('\n')) {
        const QList<QByteArray> parts = line.trimmed().split(' ');
        if (parts.size() != 2)
            continue;
        bool crcOk = false, sizeOk = false;
        const qulonglong crc = parts[0].toULongLong(&crcOk, 16);
        const qlonglong size = parts[1].toLongLong(&sizeOk, 10);
        if (crcOk && sizeOk && crc <= 0xFFFFFFFFu && size >= 0)
            keys.push_back({uint32_t(crc), size});
    }
    return keys;
}

} // namespace

TKnownContents::TKnownContents(QString File) : file_(File.isEmpty() ? DefaultFile() : std::move(File)) {}

QString TKnownContents::DefaultFile()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("zorbel/checked"));
}

bool TKnownContents::Contains(const TContentKey &Key) const
{
    if (!Key.Valid())
        return false;
    for (const TContentKey &k : ReadList(file_))
        if (k == Key)
            return true;
    return false;
}

void TKnownContents::Remember(const TContentKey &Key) const
{
    if (!Key.Valid())
        return;
    std::vector<TContentKey> keys = ReadList(file_);
    std::erase(keys, Key);
    keys.insert(keys.begin(), Key);
    if (keys.size() > size_t(Capacity))
        keys.resize(size_t(Capacity));
    QByteArray data;
    for (const TContentKey &k : keys)
        data += QByteArray::number(k.Crc, 16) + ' ' + QByteArray::number(qlonglong(k.Size)) + '\n';
    try {
        SaveFileAtomically(file_, data);
    } catch (const Exception &) {
        // Not remembered: the next opening of these contents checks them whole.
    }
}

} // namespace zorbel
