// The data file's zip component (TDataZip, see ZorbFile.h). Kept apart from
// the units that show windows, as the archive and the window layer both name
// the dialog results.
#include "archive/ZipWriter.h"
#include "core/ZorbDm.h"
#include "core/ZorbFile.h"
#include "platform/system/SysEnv.h"
#include "platform/system/SysFiles.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace zorbel {

TDataZip::TDataZip() : zip_(std::make_unique<TZipWriter>())
{
    TZipWriter &z = *zip_;
    z.SetOverwriteMode(TUZOverwriteMode::Always);
    z.SetDoAll(true);
    z.SetDoProcessMessages(false);
    z.SetRetainAttributes(false);
    z.SetPackLevel(1);
    z.SetZipAction(TZipAction::zaReplace);
    z.ExcludeList() = QStringList{QStringLiteral("*.lck"), QStringLiteral("*.ini")};
    // The contents' names in the list of checked contents (ZorbKnown.h).
    z.SetDigestOutput(true);
    z.SetDigestInput(true);
    z.OnBadPassword = [this](TZipReader *, int FileIndex, QString &NewPassword) {
        if (OnBadPassword)
            OnBadPassword(FileIndex, NewPassword);
    };
}

TDataZip::~TDataZip() = default;

void TDataZip::Reset()
{
    zip_->SetZipName(QString());
    zip_->CloseArchive();
    zip_->SetSourceStream(nullptr);
    zip_->SetKeepZipOpen(false);
    zip_->SetDoProcessMessages(false);
    zip_->SetPassword(QString());
    zip_->FilesList().Clear();
}

void TDataZip::ReadDirectory(const QString &ZipName)
{
    zip_->SetZipName(ZipName);
    zip_->ReadDirectory();
}

int TDataZip::Count() const { return zip_->Count(); }

bool TDataZip::IsEntryEncrypted(int Index) const { return zip_->IsEntryEncrypted(Index); }

const QString &TDataZip::Password() const { return zip_->Password(); }

void TDataZip::SetPassword(const QString &Password) { zip_->SetPassword(Password); }

qint64 TDataZip::DataSetSizeBound = TDataZip::DefaultSizeBound;

TDataZip::TExtractResult TDataZip::ExtractDataSet(const QString &DestDir)
{
    TExtractResult r;
    // Only the database file is a data set's own; other entries (whatever a
    // foreign or doctored file carries) stay in the archive and so never
    // reach a save.
    const QString own = QString::fromLatin1(TDatabase::DatabaseFileName);
    for (int i = 0; i < zip_->Count(); ++i)
        if (zip_->Entry(i).FullName().compare(own, Qt::CaseInsensitive) == 0)
            ++r.Wanted;
    const qint64 free = TSysEnv::FreeBytes(PathExists(DestDir) ? DestDir : AbsoluteFolderOf(DestDir));
    qint64 bound = DataSetSizeBound;
    if (free >= 0 && free - FreeSpaceMargin < bound) {
        bound = std::max<qint64>(free - FreeSpaceMargin, 1);
        r.DiskBound = true;
    }
    zip_->OnSkippingFile = [&r](TZipReader *, TSkipReason, const QString &, int) { ++r.Skipped; };
    zip_->SetDestDir(DestDir);
    zip_->SetRootDir(DestDir);
    zip_->FilesList().Clear();
    zip_->FilesList().Add(own);
    zip_->SetDoAll(false);
    zip_->SetOutputLimit(bound);
    try {
        r.Extracted = zip_->ExtractFiles();
        // Unpacking checked the data against the entry's CRC-32 and size.
        if (r.Extracted == 1 && r.Wanted == 1 && r.Skipped == 0)
            r.Contents = DataSetEntry(false);
    } catch (const EZipOutputLimit &) {
        r.Extracted = 0;
        r.TooLarge = true;
    } catch (const Exception &) {
        r.Extracted = 0;
    }
    if (!r.TooLarge)
        r.DiskBound = false;
    zip_->SetOutputLimit(0);
    zip_->SetDoAll(true);
    zip_->FilesList().Clear();
    zip_->OnSkippingFile = nullptr;
    return r;
}

int TDataZip::ExtractAll(const QString &DestDir, int &Skipped)
{
    const TExtractResult r = ExtractDataSet(DestDir);
    Skipped = r.Skipped;
    return r.Extracted;
}

int TDataZip::ExtractTemplate(const QString &DestDir)
{
    Reset();
    zip_->SetDestDir(DestDir);
    zip_->SetRootDir(DestDir);
    const int n = TDm::ExtractTemplate(*zip_);
    zip_->SetSourceStream(nullptr);
    return n;
}

int TDataZip::PackFolder(const QString &Folder, const QString &Archive, const QString &Password)
{
    TSysEnv::Remove(Archive);
    if (PathExists(Archive))
        return 0;
    int n = 0;
    packed_ = {};
    try {
        Reset();
        zip_->SetRootDir(Folder);
        zip_->SetZipName(Archive);
        zip_->SetPassword(Password);
        zip_->FilesList().Add(QStringLiteral("*"));
        n = zip_->CompressFiles();
        // What was written must read back whole.
        zip_->SetZipName(QString());
        zip_->SetZipName(Archive);
        zip_->ReadDirectory();
        if (zip_->Count() != n)
            n = 0;
        else
            packed_ = DataSetEntry(true);
    } catch (const std::exception &) {
        n = 0;
    }
    Reset();
    if (n <= 0) {
        TSysEnv::Remove(Archive);
        packed_ = {};
    }
    return n;
}

TContentKey TDataZip::DataSetEntry(bool Packed) const
{
    const QString own = QString::fromLatin1(TDatabase::DatabaseFileName);
    TContentKey key;
    for (int i = 0; i < zip_->Count(); ++i) {
        const TZipHeaderInfo &e = zip_->Entry(i);
        if (e.FullName().compare(own, Qt::CaseInsensitive) != 0)
            continue;
        if (key.Valid())
            return {}; // two of them: neither is named
        const bool digested = Packed ? zip_->PackedDigest(e.FullName(), key.Digest)
                                     : zip_->OutputDigest(e.FullName(), key.Digest);
        if (!digested)
            return {};
        key.Size = int64_t(uint32_t(e.UncompressedSize));
    }
    return key;
}

} // namespace zorbel
