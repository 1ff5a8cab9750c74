// The kept day sums: one file per contents in the user's data folder (layout
// in ZorbSumsStore.h), written whole through a replacer and read back only
// when every check passes.
#include "core/ZorbSumsStore.h"

#include "core/ZorbFile.h"
#include "core/ZorbSums.h"
#include "platform/rtl/Exceptions.h"
#include "platform/system/SysEnv.h"
#include "platform/system/SysFiles.h"
#include "platform/system/SysPaths.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace zorbel {
namespace {

constexpr char Magic[8] = {'Z', 'O', 'R', 'B', 'S', 'U', 'M', 'S'};
constexpr uint32_t FileFormat = 1;
constexpr qsizetype HeaderBytes = 8 + 4 + 32 + 8 + 8;
constexpr qsizetype TrailerBytes = 32;

void PutBytes(QByteArray &out, uint64_t v, int n)
{
    for (int i = 0; i < n; ++i)
        out.append(char(uint8_t(v >> (8 * i))));
}

uint64_t GetBytes(const QByteArray &in, qsizetype at, int n)
{
    uint64_t v = 0;
    for (int i = 0; i < n; ++i)
        v |= uint64_t(uint8_t(in[at + i])) << (8 * i);
    return v;
}

QByteArray DigestOf(const QByteArray &data, qsizetype count)
{
    const TSha256 d = TDigestAhead::Of(reinterpret_cast<const uint8_t *>(data.constData()), size_t(count));
    return QByteArray(reinterpret_cast<const char *>(d.data()), qsizetype(d.size()));
}

QByteArray KeyBytes(const TContentKey &key)
{
    QByteArray out(reinterpret_cast<const char *>(key.Digest.data()), qsizetype(key.Digest.size()));
    PutBytes(out, uint64_t(key.Size), 8);
    return out;
}

} // namespace

TSumsStore::TSumsStore(QString Folder) : folder_(Folder.isEmpty() ? DefaultFolder() : AbsoluteName(Folder)) {}

QString TSumsStore::DefaultFolder()
{
    return ProgramDataPath(QStringLiteral("sums"));
}

QString TSumsStore::FileFor(const TContentKey &Key) const
{
    const QByteArray digest(reinterpret_cast<const char *>(Key.Digest.data()), qsizetype(Key.Digest.size()));
    return folder_ + u'/' + QString::fromLatin1(digest.toHex()) + u'-' + QString::number(Key.Size) +
           QStringLiteral(".sums");
}

bool TSumsStore::Load(THistSums &Sums) const
{
    const TContentKey key = Sums.Contents();
    if (!key.Valid())
        return false;
    // Sums from a folder that leads elsewhere are no one's the user vouches for.
    if (TakeProgramFolder(folder_, false) != TPrivateFolder::Ok)
        return false;
    const QString file = FileFor(key);
    QByteArray data;
    if (!ReadWholeFile(file, MaxFileSize, data).Ok() || data.size() < HeaderBytes + TrailerBytes)
        return false;
    const qsizetype body = data.size() - TrailerBytes;
    if (std::memcmp(data.constData(), Magic, sizeof Magic) != 0 || GetBytes(data, 8, 4) != FileFormat ||
        data.mid(12, 40) != KeyBytes(key) || GetBytes(data, 52, 8) != uint64_t(body - HeaderBytes) ||
        data.mid(body) != DigestOf(data, body))
        return false;
    if (!Sums.Adopt(data.mid(HeaderBytes, body - HeaderBytes)))
        return false;
    // Used now: the last to be dropped.
    TSysEnv::SetModifiedTime(file, TSysEnv::CurrentTime());
    return true;
}

void TSumsStore::Save(THistSums &Sums) const
{
    // Only sums known to be the rows' are kept: an image taken back is kept
    // again only once its check has ended.
    const TContentKey key = Sums.SumsFor();
    if (!key.Valid() || !Sums.Checked())
        return;
    const QByteArray image = Sums.Image();
    if (image.isEmpty())
        return;
    QByteArray data;
    data.reserve(HeaderBytes + image.size() + TrailerBytes);
    data.append(Magic, sizeof Magic);
    PutBytes(data, FileFormat, 4);
    data += KeyBytes(key);
    PutBytes(data, uint64_t(image.size()), 8);
    data += image;
    data += DigestOf(data, data.size());
    if (data.size() > MaxFileSize)
        return;
    // The folder is the user's alone, like the files in it; one that leads
    // elsewhere or is someone else's takes nothing (start-up said so).
    if (TakeProgramFolder(folder_, true) != TPrivateFolder::Ok)
        return;
    try {
        // Not synced: a file lost to a power cut costs one walk.
        TFileReplacer out(FileFor(key), false, false);
        out.Write(data);
        out.Commit();
    } catch (const Exception &) {
        return; // not kept: the next opening of these contents walks the table
    }
    Trim();
}

void TSumsStore::Forget(const TContentKey &Key) const
{
    if (!Key.Valid())
        return;
    const QString file = FileFor(Key);
    if (TakeProgramFolder(folder_, false) == TPrivateFolder::Ok && PathExists(file))
        TSysEnv::Remove(file); // one that stays is still refused for a file with a password
}

void TSumsStore::Trim() const
{
    std::vector<std::pair<QDateTime, QString>> files;
    for (const TFolderEntry &entry : FolderEntries(folder_, {QStringLiteral("*.sums")})) {
        const QString path = folder_ + u'/' + entry.Name;
        if (!entry.Folder && IsRegularFile(path))
            files.emplace_back(TSysEnv::ModifiedTime(path), path);
    }
    if (files.size() <= size_t(Capacity))
        return;
    std::sort(files.begin(), files.end(), [](const auto &a, const auto &b) { return a.first > b.first; });
    for (size_t i = size_t(Capacity); i < files.size(); ++i)
        TSysEnv::Remove(files[i].second); // one left behind is dropped at the next save
}

} // namespace zorbel
