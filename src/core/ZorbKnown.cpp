// The list of checked contents: one line per key, "crc size filled" (CRC in
// hexadecimal, size in decimal, 1 when the years are filled), newest first.
#include "core/ZorbKnown.h"

#include "platform/rtl/Exceptions.h"
#include "platform/system/SysFiles.h"

#include <QDir>
#include <QStandardPaths>
#include <vector>

namespace zorbel {
namespace {

struct TEntry {
    TContentKey Key;
    bool YearsFilled = false;
};

std::vector<TEntry> ReadList(const QString &file)
{
    std::vector<TEntry> keys;
    QByteArray data;
    if (!ReadWholeFile(file, data) || data.size() > 64 * 1024)
        return keys;
    for (const QByteArray &line : data.split('\n')) {
        const QList<QByteArray> parts = line.trimmed().split(' ');
        if (parts.size() != 3 || (parts[2] != "0" && parts[2] != "1"))
            continue;
        bool crcOk = false, sizeOk = false;
        const qulonglong crc = parts[0].toULongLong(&crcOk, 16);
        const qlonglong size = parts[1].toLongLong(&sizeOk, 10);
        if (crcOk && sizeOk && crc <= 0xFFFFFFFFu && size >= 0)
            keys.push_back({{uint32_t(crc), size}, parts[2] == "1"});
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

TContentFacts TKnownContents::Facts(const TContentKey &Key) const
{
    if (Key.Valid())
        for (const TEntry &e : ReadList(file_))
            if (e.Key == Key)
                return {true, e.YearsFilled};
    return {};
}

void TKnownContents::Remember(const TContentKey &Key, bool YearsFilled) const
{
    if (!Key.Valid())
        return;
    std::vector<TEntry> keys = ReadList(file_);
    std::erase_if(keys, [&](const TEntry &e) { return e.Key == Key; });
    keys.insert(keys.begin(), {Key, YearsFilled});
    if (keys.size() > size_t(Capacity))
        keys.resize(size_t(Capacity));
    QByteArray data;
    for (const TEntry &e : keys)
        data += QByteArray::number(e.Key.Crc, 16) + ' ' + QByteArray::number(qlonglong(e.Key.Size)) + ' ' +
                (e.YearsFilled ? '1' : '0') + '\n';
    try {
        // Replaced whole but not synced: a list lost to a power cut only
        // costs the next opening its checks, and a save need not wait.
        TFileReplacer list(file_, false, false);
        list.Write(data);
        list.Commit();
    } catch (const Exception &) {
        // Not remembered: the next opening of these contents checks them whole.
    }
}

} // namespace zorbel
