// The list of checked contents: one line per key, "digest size filled" (the
// SHA-256 in 64 hexadecimal digits, size in decimal, 1 when the years are
// filled), newest first. A line of any other shape (an earlier version's
// CRC-32 among them) names nothing.
#include "core/ZorbKnown.h"

#include "core/ZorbFile.h"

#include "platform/rtl/Exceptions.h"
#include "platform/system/SysFiles.h"

#include <cstring>
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
    // A list in a folder that leads elsewhere could vouch for any file;
    // whatever cannot be read (not a regular file, past its bound) names nothing.
    if (file.isEmpty() || TakeProgramFolder(AbsoluteFolderOf(file), false) != TPrivateFolder::Ok ||
        !ReadWholeFile(file, ReadBound::CheckedList, data).Ok())
        return keys;
    for (const QByteArray &line : data.split('\n')) {
        const QList<QByteArray> parts = line.trimmed().split(' ');
        if (parts.size() != 3 || (parts[2] != "0" && parts[2] != "1"))
            continue;
        const QByteArray digest = QByteArray::fromHex(parts[0]);
        bool sizeOk = false;
        const qlonglong size = parts[1].toLongLong(&sizeOk, 10);
        if (parts[0].size() != 2 * qsizetype(sizeof(TSha256)) || digest.size() != qsizetype(sizeof(TSha256)) ||
            digest.toHex() != parts[0].toLower() || !sizeOk || size < 0)
            continue;
        TEntry e;
        std::memcpy(e.Key.Digest.data(), digest.constData(), e.Key.Digest.size());
        e.Key.Size = size;
        e.YearsFilled = parts[2] == "1";
        keys.push_back(e);
    }
    return keys;
}

} // namespace

TKnownContents::TKnownContents(QString File) : file_(File.isEmpty() ? DefaultFile() : std::move(File)) {}

QString TKnownContents::DefaultFile()
{
    return ProgramDataPath(QStringLiteral("checked"));
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
        data += QByteArray(reinterpret_cast<const char *>(e.Key.Digest.data()), qsizetype(e.Key.Digest.size())).toHex() + ' ' + QByteArray::number(qlonglong(e.Key.Size)) + ' ' +
                (e.YearsFilled ? '1' : '0') + '\n';
    if (file_.isEmpty() || TakeProgramFolder(AbsoluteFolderOf(file_), true) != TPrivateFolder::Ok)
        return; // not remembered: start-up told why
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
