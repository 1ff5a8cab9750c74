// The pack run of TZipWriter. Layout of the archive it writes (APPNOTE):
//
//   [local header + name][12-byte encryption header][data]   per entry, old
//                                                            entries first
//   [central header + name + comment]                        per entry
//   [end record + archive comment]
//
// Each new entry's local header is written twice: provisionally before its
// data, and again in place once the CRC, the sizes, the method and the flags
// are known (both have the same length, since the name does not change).
// Entries carried over from the old archive are copied byte for byte from
// the old local header's extra field to the end of their data.
//
// Run state lives in TPackRun, created at the start of PackArchive and freed
// at its end whatever happens.

#include "archive/ZipWriter.h"

#include "archive/ZipMatch.h"
#include "platform/rtl/Assert.h"
#include "platform/rtl/CodePages.h"
#include "platform/rtl/Streams.h"
#include "platform/system/SysEnv.h"
#include "platform/system/SysPaths.h"

#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace zorbel {

namespace {

constexpr int StoreBlockSize = 16000;
constexpr int CrcBlockSize = 4096;
constexpr int EncryptionHeaderSize = 12;
constexpr uint32_t DataDescriptorSig = 0x08074B50;
constexpr uint32_t EarliestDosDateTime = (1 << 5 | 1) << 16; // 1 January 1980, 00:00

// MS-DOS attribute bits of the external attributes.
constexpr int32_t faReadOnly = 0x01;
constexpr int32_t faArchive = 0x20;

QString WithSlashes(QString Path)
{
    Path.replace(u'\\', u'/');
    return Path;
}

// Folder part of a path, ending in "/" (empty when there is none).
QString FolderOf(const QString &Path) { return Path.left(Path.lastIndexOf(u'/') + 1); }
QString NameOf(const QString &Path) { return Path.mid(Path.lastIndexOf(u'/') + 1); }

// A pattern with a folder separator is matched against the full name,
// others against the name without folder.
bool MatchesList(const QStringList &Patterns, const QString &FullName)
{
    const QString full = WithSlashes(FullName);
    for (const QString &pattern : Patterns) {
        const QString p = WithSlashes(pattern);
        if (IsMatch(p, p.contains(u'/') ? full : NameOf(full)))
            return true;
    }
    return false;
}

int32_t DosAttributesOf(const QString &FileName)
{
    const int mode = FileModeOf(FileName);
    const bool writable = mode >= 0 && (mode & S_IWUSR);
    return faArchive | (writable ? 0 : faReadOnly);
}

uint32_t Get32(const uint8_t *p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

} // namespace

struct TZipWriter::TPackRun {
    QString outName;                         // the temporary file being written; empty once renamed
    std::unique_ptr<TTempFileLock> outLock;  // held on outName while the run lasts
    std::unique_ptr<TFileStream> outFile;    // the output for an archive file
    std::unique_ptr<TMemoryStream> outMemory; // the output for an archive held in a stream
    TStream *out = nullptr;
    std::unique_ptr<TSortedZip> newFiles;    // entries in write order; owns them
    std::unique_ptr<TSortedZip> newByName;   // the same by name, to refuse a name written twice
    std::map<const TZipHeaderInfo *, QString> sources; // packed entries: the file's absolute path
    TEndCentral newEnd;
    std::unique_ptr<TDeflateBuffers> buffers;
    int64_t totalBytes = 0;                  // bytes of all gathered files
    int64_t totalDone = 0;
    std::unique_ptr<TFileStream> source;     // the file being packed
    int64_t fileSize = 0;
    int64_t fileDone = 0;
    uint32_t crc = 0xFFFFFFFF;               // running CRC-32 of the file
    bool encrypt = false;
    std::unique_ptr<TDigestAhead> digest;    // of the file being packed, with DigestInput
    TZipKeys keys;
    int count = 0;                           // files packed
    QStringList disposeList;                 // packed files to delete afterwards (Dispose)
};

TZipWriter::TZipWriter() = default;
TZipWriter::~TZipWriter() = default;

void TZipWriter::Loaded()
{
    TZipReader::Loaded();
    SetCheckDiskLabels(multiZipInfo_.CheckDiskLabels);
    SetMultiMode(multiZipInfo_.MultiMode);
}

void TZipWriter::SetStorePaths(bool Value)
{
    if (Value == storePaths_)
        return;
    storePaths_ = Value;
    if (!Value) {
        storeVolumes_ = false;
        relativePaths_ = false;
    }
}

void TZipWriter::SetRelativePaths(bool Value)
{
    if (Value == relativePaths_)
        return;
    relativePaths_ = Value;
    if (Value) {
        SetStorePaths(true);
        recurse_ = true;
    }
}

void TZipWriter::SetStoreVolumes(bool Value)
{
    if (Value == storeVolumes_)
        return;
    storeVolumes_ = Value;
    if (Value)
        SetStorePaths(true);
}

void TZipWriter::SetMultiMode(TMultiMode Value)
{
    multiZipInfo_.MultiMode = Value;
    TZipReader::SetMultiMode(Value);
}

void TZipWriter::SetCheckDiskLabels(bool Value)
{
    multiZipInfo_.CheckDiskLabels = Value;
    TZipReader::SetCheckDiskLabels(Value);
}

void TZipWriter::SetZipName(const QString &Value)
{
    if (Value.compare(ZipName(), Qt::CaseInsensitive) == 0)
        return;
    if (ecrec_.CommentChanged && !busy_ && (SourceStream() || !ZipName().isEmpty())) {
        // Comments changed through the reader are written before the archive is dropped.
        FilesList().Clear();
        PackArchive();
        ecrec_.CommentChanged = false;
    }
    TZipReader::SetZipName(Value);
}

int TZipWriter::CompressFiles()
{
    const int count = PackArchive();
    if (OnZipComplete)
        OnZipComplete(this, count);
    return count;
}

bool TZipWriter::IsExcluded(const QString &FileName) const { return MatchesList(excludeList_, FileName); }

bool TZipWriter::IsNoCompress(const QString &StoredName) const { return MatchesList(noCompressList_, StoredName); }

int TZipWriter::PackArchive()
{
    busy_ = true;
    const TZipSortMode savedSort = SortMode();
    const bool savedKeep = KeepZipOpen();
    auto finish = [&] {
        run_.reset();
        if (files_)
            ApplySortMode(savedSort);
        else
            SetSortMode(savedSort);
        SetKeepZipOpen(savedKeep);
        if (!savedKeep && !SourceStream())
            CloseStream();
        busy_ = false;
    };
    SetKeepZipOpen(true);
    run_ = std::make_unique<TPackRun>();
    packedDigests_.clear();
    int count = 0;
    try {
        const bool existing = SourceStream() ? SourceStream()->Size() > 0 : FileExistsByName(ZipName());
        if (existing)
            OpenZip();
        ApplySortMode(TZipSortMode::ByNone);
        if (FilesList().Count() > 0)
            GatherFiles();
        run_->buffers = std::make_unique<TDeflateBuffers>();
        OpenOutput(existing);
        if (existing && files_)
            CarryOverEntries(*files_);
        if (FilesList().Count() > 0 && OnStartZipInfo) {
            bool stop = false;
            OnStartZipInfo(this, FilesList().Count(), run_->totalBytes, run_->newEnd, stop);
            if (stop)
                throw EUserCanceled(QStringLiteral("User canceled Zip operation"));
        }
        while (FilesList().Count() > 0) {
            const QString file = FilesList().Strings(0);
            FilesList().Delete(0);
            PackOneFile(file);
        }
        WriteCentralDirectory();
        run_->buffers.reset();
        CommitTempArchive();
        if (dispose_)
            DisposeFiles();
        count = run_->count;
        InstallNewDirectory(savedSort);
    } catch (...) {
        if (run_) {
            run_->source.reset();
            run_->outFile.reset();
            if (!run_->outName.isEmpty())
                TSysEnv::Remove(run_->outName);
        }
        finish();
        throw;
    }
    finish();
    return count;
}

// Turns FilesList into the list of files to pack: explicit names stay in
// their order, then the files each pattern finds, sorted by path.
void TZipWriter::GatherFiles()
{
    run_->totalBytes = 0;
    std::unique_ptr<TSortedZip> oldByName;
    if (zipAction_ == TZipAction::zaFreshen) {
        oldByName = std::make_unique<TSortedZip>(TDuplicates::dupAccept, false);
        oldByName->SortMode = TZipSortMode::ByName;
        for (int i = 0; files_ && i < files_->Count(); ++i)
            oldByName->Add(files_->Items(i));
    }
    QStringList patterns;
    QStringList kept;
    for (int f = 0; f < FilesList().Count(); ++f) {
        QString name = FilesList().Strings(f);
        if (HasWildcards(name)) {
            patterns << name;
            continue;
        }
        if (!name.contains(u'/') && !name.contains(u'\\'))
            name = RootDir() + name;
        if (IsExcluded(name))
            continue;
        if (!FileExistsByName(name)) {
            if (OnNoSuchFile)
                OnNoSuchFile(this, name);
            continue;
        }
        if (oldByName && !HasEntryFor(oldByName.get(), name))
            continue;
        run_->totalBytes += std::max<qint64>(0, FileSizeOf(name));
        kept << name;
    }
    FilesList().Clear();
    for (const QString &name : std::as_const(kept))
        FilesList().Add(name);
    const QString archivePath = SourceStream() ? QString() : AbsoluteName(ZipName());
    for (const QString &pattern : std::as_const(patterns))
        GatherPattern(pattern, archivePath, oldByName.get());
}

void TZipWriter::GatherPattern(QString Pattern, const QString &ArchivePath, const TSortedZip *OldByName)
{
    bool recurse = recurse_;
    if (Pattern.startsWith(u'|')) {
        recurse = false;
        Pattern.remove(0, 1);
    } else if (Pattern.startsWith(u'>')) {
        recurse = true;
        Pattern.remove(0, 1);
    }
    Pattern = WithSlashes(Pattern);
    QString folder = FolderOf(Pattern);
    const QString mask = NameOf(Pattern);
    if (folder.isEmpty())
        folder = WithSlashes(RootDir());
    if (folder.isEmpty())
        folder = QStringLiteral("./");
    // A folder with wildcards is walked from its fixed part.
    qsizetype wild = 0;
    while (wild < folder.size() && !HasWildcards(QString(folder[wild])))
        ++wild;
    if (!DirExists(FolderOf(folder.left(wild))))
        return;

    std::vector<std::pair<QString, int64_t>> found;
    TDirSearch search(folder, recurse, mask);
    for (;;) {
        int64_t size = 0;
        const QString file = search.NextFile(size);
        if (file.isEmpty())
            break;
        if (IsExcluded(file))
            continue;
        if (!ArchivePath.isEmpty() && AbsoluteName(file).compare(ArchivePath, Qt::CaseInsensitive) == 0)
            continue;
        if (OldByName && !HasEntryFor(OldByName, file))
            continue;
        found.emplace_back(file, size);
    }
    std::sort(found.begin(), found.end());
    for (const auto &[file, size] : found) {
        FilesList().Add(file);
        run_->totalBytes += size;
    }
}

bool TZipWriter::HasEntryFor(const TSortedZip *OldByName, const QString &FileName) const
{
    TZipHeaderInfo key;
    SetStoredName(key, FileName);
    int index = 0;
    return OldByName->Find(&key, index);
}

void TZipWriter::SetStoredName(TZipHeaderInfo &Header, const QString &FileName) const
{
    // Characters the OEM code page lacks are replaced now, as they will be stored.
    const QString name = WithSlashes(ConvertPathForm(OemRoundTrip(FileName), !store83Names_));
    Header.SetFileName(NameOf(name));
    QString folder;
    if (storePaths_) {
        folder = FolderOf(name);
        while (folder.endsWith(QStringLiteral("//")))
            folder.chop(1);
        const QString root = WithSlashes(RootDir());
        if (relativePaths_) {
            if (!root.isEmpty() && folder.startsWith(root, Qt::CaseInsensitive))
                folder.remove(0, root.size());
        } else if (!storeVolumes_ && folder.startsWith(u'/')) {
            folder.remove(0, 1);
        }
        folder.replace(u'/', u'\\');
    }
    Header.SetDirectory(folder);
}

void TZipWriter::OpenOutput(bool Existing)
{
    TPackRun &r = *run_;
    if (SourceStream()) {
        r.outMemory = std::make_unique<TMemoryStream>();
        r.out = r.outMemory.get();
    } else {
        // Beside the archive, so that the finished file can be renamed over it.
        const QString folder = AbsoluteFolderOf(ZipName());
        RemoveStaleTempFiles(folder);
        r.outName = TempFileIn(folder);
        if (r.outName.isEmpty())
            throw EFCreateError(QStringLiteral("Cannot create file \"%1\"").arg(folder + QStringLiteral("/KPZ*.tmp")));
        r.outLock = std::make_unique<TTempFileLock>(r.outName);
        r.outFile = std::make_unique<TFileStream>(r.outName, fmCreate);
        r.out = r.outFile.get();
    }
    r.newFiles = std::make_unique<TSortedZip>(TDuplicates::dupError, true);
    r.newByName = std::make_unique<TSortedZip>(TDuplicates::dupAccept, false);
    r.newByName->SortMode = TZipSortMode::ByName;
    if (Existing) {
        GetZipComment(); // the comment is kept, so it must be held
        r.newEnd.Assign(ecrec_);
        r.newEnd.EntriesThisDisk = 0;
        r.newEnd.TotalEntries = 0;
    } else {
        r.newEnd.Clear();
    }
}

// Old entries in directory order: kept and copied, or replaced in place by
// the file of the same name, which then leaves FilesList.
void TZipWriter::CarryOverEntries(TSortedZip &OldFiles)
{
    TStringList &files = FilesList();
    std::vector<std::unique_ptr<TZipHeaderInfo>> stored;
    for (int f = 0; f < files.Count(); ++f) {
        const QString &file = files.Strings(f);
        stored.push_back(std::make_unique<TZipHeaderInfo>());
        SetStoredName(*stored.back(), file);
    }
    for (int i = 0; i < OldFiles.Count(); ++i) {
        TZipHeaderInfo &entry = *OldFiles.Items(i);
        if (entry.HasComment() && !entry.FileComment())
            GetFileComment(i); // the list is in directory order during the run
        auto copy = std::make_unique<TZipHeaderInfo>();
        copy->Assign(entry);

        size_t match = 0;
        while (match < stored.size() && !EntryMatchesFile(entry, *stored[match]))
            ++match;
        if (match < stored.size()) {
            const QString file = files.Strings(int(match));
            files.Delete(int(match));
            stored.erase(stored.begin() + long(match));
            const bool keep = zipAction_ != TZipAction::zaReplace && GetDateTime(i) >= FileAgeAsDateTime(file);
            // A file skipped by OnStartZip leaves the old entry in place.
            if (!keep && PackOneFile(file))
                continue;
        }
        CopyOldEntry(std::move(copy));
    }
}

bool TZipWriter::EntryMatchesFile(const TZipHeaderInfo &Entry, const TZipHeaderInfo &File) const
{
    return Entry.Directory().toLower() == File.Directory().toLower()
        && Entry.FileName().toLower() == File.FileName().toLower();
}

// Copies an entry of the old archive: a new local header at the output
// position, then the old local header's extra field and the data (and the
// data descriptor when the entry has one) unchanged. A Zip64 field in the
// old local header (Python's force_zip64, Info-ZIP writing from a pipe) is
// dropped: the entry's sizes, taken from the central directory, fit the
// 32-bit fields the new header carries, and its data descriptor, whose
// sizes were 8 bytes each, is rewritten with 4.
void TZipWriter::CopyOldEntry(std::unique_ptr<TZipHeaderInfo> Entry)
{
    TStream &in = Archive();
    TStream &out = *run_->out;
    in.Seek(Entry->RelativeOffset, soFromBeginning);
    uint8_t local[LocalHeaderSize];
    if (in.Read(local, LocalHeaderSize) != LocalHeaderSize || Get32(local) != LocalHeaderSig)
        throw EBadZipFile(QStringLiteral("Not a valid zip file!"));
    in.Seek(GetLE16(local + 26), soFromCurrent);
    QByteArray extra(GetLE16(local + 28), Qt::Uninitialized);
    in.ReadBuffer(extra.data(), extra.size());
    const bool zip64 = DropZip64Field(extra);
    // The local extra field may differ from the central one (Info-ZIP's do).
    Entry->ExtraFieldLength = uint16_t(extra.size());
    Entry->WriteLocal(out);
    if (!extra.isEmpty())
        out.WriteBuffer(extra.constData(), extra.size());
    if (Entry->CompressedSize > 0)
        out.CopyFrom(in, uint32_t(Entry->CompressedSize));
    if (Entry->HasDataDescriptor()) {
        // [signature] CRC-32, compressed size, uncompressed size.
        uint8_t descriptor[24];
        in.ReadBuffer(descriptor, 4);
        int at = 0;
        uint8_t plain[16];
        int size = 0;
        if (Get32(descriptor) == DataDescriptorSig) {
            std::copy(descriptor, descriptor + 4, plain);
            size = 4;
            in.ReadBuffer(descriptor + 4, 4);
            at = 4;
        }
        std::copy(descriptor + at, descriptor + at + 4, plain + size); // CRC-32
        size += 4;
        const int sizeBytes = zip64 ? 8 : 4;
        in.ReadBuffer(descriptor + at + 4, 2 * sizeBytes);
        for (int field = 0; field < 2; ++field) // the low 4 bytes of each size
            std::copy(descriptor + at + 4 + field * sizeBytes, descriptor + at + 8 + field * sizeBytes,
                      plain + size + 4 * field);
        size += 8;
        out.WriteBuffer(plain, size);
    }
    Book(std::move(Entry), QString(), false);
}

// Removes the Zip64 extended information field (tag 1) from an extra field
// of tagged blocks; returns whether there was one.
bool TZipWriter::DropZip64Field(QByteArray &Extra)
{
    bool found = false;
    QByteArray kept;
    qsizetype p = 0;
    while (p + 4 <= Extra.size()) {
        const auto *b = reinterpret_cast<const uint8_t *>(Extra.constData() + p);
        const qsizetype length = 4 + GetLE16(b + 2);
        if (p + length > Extra.size())
            break; // a damaged tail is kept as it was
        if (GetLE16(b) == 1)
            found = true;
        else
            kept += Extra.mid(p, length);
        p += length;
    }
    if (found)
        Extra = kept + Extra.mid(p);
    return found;
}

bool TZipWriter::PackOneFile(const QString &FileName)
{
    TPackRun &r = *run_;
    try {
        r.source = std::make_unique<TFileStream>(FileName, fmOpenRead | fmShareDenyNone);
    } catch (const EStreamError &) {
        // Gathered but unreadable: the run fails rather than leave it out.
        Skip(TSkipReason::srFileCreateError, FileName, -1);
        throw;
    }
    auto header = std::make_unique<TZipHeaderInfo>();
    TZipHeaderInfo &h = *header;
    const int64_t size = r.source->Size();
    // Refused before anything is written: the archive must stay readable.
    CheckEntryFits(0, size, r.out->Position());
    h.ExternalFileAttributes = DosAttributesOf(FileName);
    if (!FileAgeDos(FileName, h.LastModFileDateTime))
        h.LastModFileDateTime = EarliestDosDateTime; // dated before 1980, or its time unreadable
    h.UncompressedSize = int32_t(size);
    SetStoredName(h, FileName);
    h.RelativeOffset = int32_t(r.out->Position());
    h.InternalFileAttributes = 2;
    h.DiskNumberStart = 0;

    int index = 0;
    bool skip = false;
    if (r.newByName->Find(&h, index)) {
        // The same file named twice is packed once; two files under one
        // stored name (case, or characters code page 866 lacks) would leave
        // one of them out of the archive, so the run fails.
        const auto packed = r.sources.find(r.newByName->Items(index));
        const QString path = AbsoluteName(FileName);
        if (packed != r.sources.end() && packed->second != path)
            throw EZipNameClash(QStringLiteral("Files \"%1\" and \"%2\" would both be stored as \"%3\"")
                                    .arg(packed->second, path, h.FullName()));
        Skip(TSkipReason::srNoOverwrite, FileName, -1);
        skip = true;
    } else if (OnStartZip) {
        OnStartZip(this, FileName, h, skip);
    }
    if (skip) {
        r.totalBytes -= size;
        r.source.reset();
        return false;
    }

    h.WriteLocal(*r.out);
    const int64_t dataStart = r.out->Position();
    int64_t compressed = WriteFileData(h);
    h.Crc32 = ~r.crc;
    if (r.digest)
        packedDigests_[h.FullName()] = std::exchange(r.digest, nullptr)->Finish();
    h.UncompressedSize = int32_t(r.fileDone); // what was read, should the file have changed
    if (r.encrypt) {
        h.Flag |= FlagEncrypted;
        compressed += EncryptionHeaderSize;
    }
    CheckEntryFits(compressed, r.fileDone, h.RelativeOffset);
    h.CompressedSize = int32_t(compressed);
    const int64_t end = r.out->Position();
    // The size the local header records is the bytes behind it, or a reader
    // walking the archive by local headers loses its way.
    ZORBEL_ASSERT(end - dataStart == compressed);
    r.out->Seek(h.RelativeOffset, soFromBeginning);
    h.WriteLocal(*r.out);
    r.out->Seek(end, soFromBeginning);
    r.source.reset();
    if (OnEndZip)
        OnEndZip(this, FileName, h.UncompressedSize, h.CompressedSize, int(end));
    Book(std::move(header), FileName, true);
    return true;
}

// Writes the data of the open source file after its local header: the
// encryption header when a password is set, then the bytes stored or
// deflated. Sets the method, the flags and the file type; returns the bytes
// of data written (without the encryption header).
int64_t TZipWriter::WriteFileData(TZipHeaderInfo &Header)
{
    TPackRun &r = *run_;
    r.encrypt = !Password().isEmpty();
    r.fileSize = Header.UncompressedSize;
    r.fileDone = 0;
    if (r.encrypt) {
        // The header's check byte is the CRC's top byte: one pass first.
        uint32_t crc = 0xFFFFFFFF;
        uint8_t block[CrcBlockSize];
        for (int64_t n; (n = r.source->Read(block, CrcBlockSize)) > 0;)
            crc = UpdateCRC(crc, block, size_t(n));
        r.source->Seek(0, soFromBeginning);
        WriteEncryptionHeader(~crc);
    }

    r.crc = 0xFFFFFFFF;
    r.digest = digestInput_ ? std::make_unique<TDigestAhead>() : nullptr;
    if (packLevel_ <= 0 || IsNoCompress(Header.FileName())) {
        std::vector<uint8_t> block(StoreBlockSize);
        int64_t written = 0;
        for (int n; (n = ReadInput(block.data(), StoreBlockSize)) > 0; written += n)
            WriteOutput(block.data(), n);
        Header.CompressionMethod = 0;
        Header.InternalFileAttributes = 0;
        return written;
    }
    TDeflateEntry entry;
    entry.Flags = Header.Flag;
    entry.InternalAttributes = Header.InternalFileAttributes;
    entry.Method = Header.CompressionMethod;
    const int64_t written = DeflateFile(*this, packLevel_, deflateTables_, *r.buffers, entry);
    Header.Flag = entry.Flags;
    Header.InternalFileAttributes = entry.InternalAttributes;
    Header.CompressionMethod = entry.Method;
    return written;
}

void TZipWriter::Book(std::unique_ptr<TZipHeaderInfo> Header, const QString &FileName, bool Packed)
{
    TPackRun &r = *run_;
    ++r.newEnd.EntriesThisDisk;
    ++r.newEnd.TotalEntries;
    TZipHeaderInfo *h = Header.get();
    r.newFiles->Add(Header.release());
    r.newByName->Add(h);
    if (!FileName.isEmpty())
        r.sources[h] = AbsoluteName(FileName);
    if (Packed) {
        ++r.count;
        if (dispose_)
            r.disposeList << FileName;
    }
}

void TZipWriter::WriteCentralDirectory()
{
    TPackRun &r = *run_;
    TStream &out = *r.out;
    const int64_t offset = out.Position();
    for (int i = 0; i < r.newFiles->Count(); ++i)
        r.newFiles->Items(i)->WriteCentral(out);
    r.newEnd.ThisDiskNumber = 0;
    r.newEnd.CentralStartDisk = 0;
    r.newEnd.CentralOffset = uint32_t(offset);
    r.newEnd.CentralSize = uint32_t(out.Position() - offset);
    r.newEnd.WriteToStream(out);
    r.newEnd.CommentPosition = uint32_t(out.Position() - r.newEnd.CommentLength);
}

// The finished temporary file goes to disk and is renamed over the archive
// in one step; an archive held in a stream is replaced by the new stream.
void TZipWriter::CommitTempArchive()
{
    TPackRun &r = *run_;
    if (r.outMemory) {
        r.outMemory->Seek(0, soFromBeginning);
        SetSourceStream(r.outMemory.release());
        return;
    }
    r.outFile->Flush();
    r.outFile.reset();
    const QString name = ZipName();
    const int oldMode = FileModeOf(name);
    if (oldMode >= 0) {
        ChangeMode(r.outName, oldMode & 0777);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ChangeMode(r.outName, int(0666 & ~mask));
    }
    CloseArchive();
    SetZipName(name);
    if (!TSysEnv::Rename(r.outName, name))
        throw EFCreateError(QStringLiteral("Cannot create file \"%1\"").arg(name));
    r.outName.clear();
    TSysEnv::SyncFolder(AbsoluteFolderOf(name));
}

// The archive just written becomes the component's directory, read back
// from the file as the reader reads it.
void TZipWriter::InstallNewDirectory(TZipSortMode SortMode)
{
    OpenZip();
    ApplySortMode(SortMode);
}

void TZipWriter::DisposeFiles()
{
    for (const QString &file : std::as_const(run_->disposeList)) {
        bool skip = false;
        if (OnDisposeFile)
            OnDisposeFile(this, file, skip);
        if (!skip)
            TSysEnv::Remove(file);
    }
}

// Traditional encryption header: ten random bytes, then the CRC's bits
// 16-23 and 24-31, all encrypted with the keys seeded from the password.
void TZipWriter::WriteEncryptionHeader(uint32_t Crc)
{
    TPackRun &r = *run_;
    r.keys.InitKeys(UnicodeToWin1251(Password()));
    uint8_t header[EncryptionHeaderSize];
    for (int i = 0; i < EncryptionHeaderSize - 2; ++i)
        header[i] = uint8_t(QRandomGenerator::system()->generate());
    header[10] = uint8_t(Crc >> 16);
    header[11] = uint8_t(Crc >> 24);
    for (uint8_t &b : header)
        b = EncryptByte(b);
    r.out->WriteBuffer(header, EncryptionHeaderSize);
}

uint8_t TZipWriter::EncryptByte(uint8_t Plain)
{
    TZipKeys &keys = run_->keys;
    const uint8_t k = keys.DecryptByte();
    keys.UpdateKeys(Plain);
    return Plain ^ k;
}

int TZipWriter::ReadInput(uint8_t *Buffer, int Count)
{
    TPackRun &r = *run_;
    const int64_t n = r.source->Read(Buffer, Count);
    if (n > 0) {
        r.fileDone += n;
        r.totalDone += n;
        if (OnFilePercentDone)
            OnFilePercentDone(this, Percent(r.fileDone, r.fileSize));
        if (OnTotalPercentDone)
            OnTotalPercentDone(this, Percent(r.totalDone, r.totalBytes));
        r.crc = UpdateCRC(r.crc, Buffer, size_t(n));
        if (r.digest)
            r.digest->Add(Buffer, size_t(n));
    }
    return int(n);
}

void TZipWriter::WriteOutput(uint8_t *Buffer, int Count)
{
    TPackRun &r = *run_;
    if (r.encrypt)
        for (int i = 0; i < Count; ++i)
            Buffer[i] = EncryptByte(Buffer[i]);
    r.out->WriteBuffer(Buffer, Count);
    if (DoProcessMessages()) {
        if (ProcessMessages)
            ProcessMessages();
        if (Cancel()) {
            SetCancel(false);
            throw EUserCanceled(QStringLiteral("User Aborted Operation"));
        }
    }
}

bool TZipWriter::PackedDigest(const QString &FullName, TSha256 &Digest) const
{
    const auto found = packedDigests_.find(FullName);
    if (found == packedDigests_.end())
        return false;
    Digest = found->second;
    return true;
}

} // namespace zorbel
