// Reading a zip archive: its central directory, and extracting, decrypting and checking entries.
#include "archive/ZipReader.h"

#include "archive/ZipDecode.h"
#include "archive/ZipMatch.h"
#include "archive/ZipSStrm.h"
#include "platform/system/SysEnv.h"
#include "platform/system/SysPaths.h"

#include <QFileInfo>
#include <array>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zorbel {

namespace {

constexpr int ScanChunk = 10240;


// Date of an entry for the overwrite comparisons; 0 when invalid.
TDateTime EntryDate(uint32_t Dos)
{
    TDateTime t = 0;
    DosDateTimeToDateTime(Dos, t);
    return t;
}

void RemoveOneTrailingSeparator(QString &Dir)
{
    if (Dir.size() > 1 && (Dir.endsWith(u'\\') || Dir.endsWith(u'/')))
        Dir.chop(1);
}

} // namespace

TZipReader::TZipReader()
{
    OnGetNextDisk = [this](TZipReader *Sender, int NextDisk, QString &FName) {
        DefaultGetNextDisk(Sender, NextDisk, FName);
    };
}

TZipReader::~TZipReader()
{
    try {
        CloseArchive();
    } catch (const Exception &) {
        // Closing a reader loses nothing; a destructor has no one to tell.
    }
}

// ---- properties ----

void TZipReader::SetZipName(const QString &Value)
{
    if (Value.compare(zipName_, Qt::CaseInsensitive) == 0)
        return;
    QString name = Value;
    if (name.endsWith(u'?')) {
        const QString folder = QFileInfo(name.chopped(1)).path();
        const QString initial = DirExists(folder) ? folder : QStringLiteral("/");
        if (!OpenFileDialog
            || !OpenFileDialog(QStringLiteral("Open a Zip File"),
                               QStringLiteral("Zip Files (*.ZIP)|*.zip|SFX Files (*.EXE)|*.exe|"
                                              "Jar Files (*.JAR)|*.jar|All Files (*.*)|*.*"),
                               initial, name))
            throw EUserCanceled(QStringLiteral("User canceled setting zip file name."));
    }
    zipName_ = name;
    DropArchive();
}

void TZipReader::SetDestDir(const QString &Value)
{
    QString dir = Value;
    if (dir == u"?") {
        const QString initial = DirExists(destDir_) ? destDir_ : CurrentDirOfDrive();
        if (!SelectFolderDialog || !SelectFolderDialog(initial, dir))
            throw EUserCanceled(QStringLiteral("User canceled Set Desination Directory"));
    }
    RemoveOneTrailingSeparator(dir);
    destDir_ = dir;
}

void TZipReader::SetRootDir(const QString &Value)
{
    rootDir_ = Value;
    if (!rootDir_.isEmpty() && !rootDir_.endsWith(u'\\') && !rootDir_.endsWith(u'/'))
        rootDir_ += PathDelim;
}

void TZipReader::SetSourceStream(TStream *Stream)
{
    if (!Stream) {
        if (isSourceStream_)
            archive_ = nullptr;
        isSourceStream_ = false;
        return;
    }
    CloseArchive();
    archive_ = Stream;
    keepZipOpen_ = true;
    isSourceStream_ = true;
}

int TZipReader::Count() const { return files_ ? files_->Count() : 0; }

// ---- opening and closing ----

// Closes an archive file; a source stream stays the archive until the
// archive is dropped.
void TZipReader::CloseStream()
{
    if (isSourceStream_)
        return;
    fileStream_.reset();
    archive_ = nullptr;
}

void TZipReader::DropLists()
{
    sorted_ = nullptr;
    sortedView_.reset();
    files_.reset();
}

void TZipReader::DropArchive()
{
    DropLists();
    archiveDate_ = QDateTime();
    ecrec_.Clear();
    if (isSourceStream_) {
        delete archive_;
        archive_ = nullptr;
        isSourceStream_ = false;
    }
    CloseStream();
    scanMode_ = false;
}

void TZipReader::CloseArchive()
{
    const bool source = isSourceStream_;
    DropArchive();
    volumes_ = 1;
    multiMode_ = TMultiMode::mmNone;
    if (!source)
        zipName_.clear();
}

TStream &TZipReader::Archive()
{
    if (!archive_) {
        fileStream_ = std::make_unique<TLFNFileStream>(zipName_, fmOpenRead | fmShareDenyWrite);
        archive_ = fileStream_.get();
    }
    return *archive_;
}

QDateTime TZipReader::ArchiveFileDate() const
{
    if (isSourceStream_)
        return TSysEnv::CurrentTime();
    return TSysEnv::ModifiedTime(zipName_);
}

void TZipReader::OpenZip()
{
    if (files_ && (isSourceStream_ || ArchiveFileDate() == archiveDate_)) {
        Archive();
        return;
    }
    // A changed file may be a new file under the old name: open it afresh.
    if (files_ && fileStream_)
        CloseStream();
    Archive();
    ReadCentralDirectory();
}

void TZipReader::ReadDirectory()
{
    OpenZip();
    if (!keepZipOpen_)
        CloseStream();
}

void TZipReader::NextDiskForCentral(TStream *&Stream)
{
    AskForNewDisk(currentDisk_ + 2);
    Stream = archive_;
}

void TZipReader::ReadCentralDirectory()
{
    archiveDate_ = ArchiveFileDate();
    DropLists();
    scanMode_ = false;
    TStream &zip = Archive();
    try {
        if (!ecrec_.FindInStream(zip)) {
            if (OnInCompleteZip)
                OnInCompleteZip(this, incompleteZipMode_);
            if (incompleteZipMode_ == TIncompleteZipMode::izAssumeMulti) {
                CloseAfterFailure();
                throw EIncompleteZip(QStringLiteral("Incomplete Zip File"));
            }
            if (!ScanLocalHeaders()) {
                CloseAfterFailure();
                throw EBadZipFile(QStringLiteral("Not a valid zip file!"));
            }
        } else {
            currentDisk_ = ecrec_.ThisDiskNumber;
            // Volumes of a spanned set are files; an archive in memory is one piece.
            multiMode_ = currentDisk_ != 0 && !isSourceStream_ ? TMultiMode::mmBlocks : TMultiMode::mmNone;
            if (ecrec_.TotalEntries > 0) {
                if (multiMode_ != TMultiMode::mmNone && ecrec_.CentralStartDisk != currentDisk_)
                    AskForNewDisk(ecrec_.CentralStartDisk + 1);
                std::array<uint8_t, 4> sig{};
                archive_->Seek(ecrec_.CentralOffset, soFromBeginning);
                if (archive_->Read(sig.data(), 4) == 4 && GetLE32(sig.data()) == CentralHeaderSig) {
                    archive_->Seek(-4, soFromCurrent);
                } else if (!ScanLocalHeaders()) {
                    CloseAfterFailure();
                    throw EBadZipFile(QStringLiteral("Not a valid zip file!"));
                }
            }
        }
        const bool spanned = multiMode_ != TMultiMode::mmNone;
        if (!files_)
            files_ = std::make_unique<TSortedZip>(TDuplicates::dupError, true);
        TNextDiskProc nextDisk;
        if (spanned && !scanMode_)
            nextDisk = [this](TStream *&s) { NextDiskForCentral(s); };
        for (int i = 0; i < ecrec_.TotalEntries; ++i) {
            auto entry = std::make_unique<TZipHeaderInfo>();
            if (!entry->ReadCentral(archive_, nextDisk)) {
                // A list built from local headers stands without its central
                // directory; a central directory itself must be complete.
                if (scanMode_)
                    break;
                throw EBadZipFile(QStringLiteral("Not a valid zip file! (damaged central directory)"));
            }
            if (scanMode_) {
                int at = 0;
                if (files_->Find(entry.get(), at)) {
                    TZipHeaderInfo *known = files_->Items(at);
                    const int32_t offset = known->RelativeOffset;
                    known->Assign(*entry);
                    known->RelativeOffset = offset;
                }
                continue;
            }
            files_->Add(entry.get());
            entry.release();
        }
        if (spanned) {
            for (int i = 0; i < files_->Count(); ++i)
                FetchComment(*files_->Items(i));
            if (ecrec_.HasComment())
                GetZipComment();
        }
        volumes_ = ecrec_.ThisDiskNumber + 1;
        currentDisk_ = ecrec_.ThisDiskNumber;
        ApplySortMode(sortMode_);
    } catch (...) {
        // Never leave a half-read list behind.
        DropLists();
        ecrec_.Clear();
        scanMode_ = false;
        if (!isSourceStream_)
            CloseStream();
        throw;
    }
}

void TZipReader::CloseAfterFailure()
{
    // A source stream stays held: its owner frees it and lets go of it
    // after a failed read, and must not find it freed already.
    if (!isSourceStream_) {
        CloseArchive();
        return;
    }
    DropLists();
    ecrec_.Clear();
    scanMode_ = false;
    archiveDate_ = QDateTime();
    volumes_ = 1;
    multiMode_ = TMultiMode::mmNone;
}

bool TZipReader::ScanLocalHeaders()
{
    scanMode_ = true;
    TStream &zip = Archive();
    int64_t pos = zipName_.endsWith(QStringLiteral(".exe"), Qt::CaseInsensitive) ? 14000 : 0;
    zip.Seek(pos, soFromBeginning);
    // Search "PK\3\4" chunk by chunk, keeping 3 bytes of overlap.
    std::vector<uint8_t> buf(ScanChunk + 3);
    size_t kept = 0;
    int64_t found = -1;
    while (found < 0) {
        if (doProcessMessages_ && ProcessMessages)
            ProcessMessages();
        const int64_t got = zip.Read(buf.data() + kept, ScanChunk);
        if (got <= 0)
            break;
        const size_t n = kept + size_t(got);
        for (size_t i = 0; i + 4 <= n; ++i)
            if (buf[i] == 'P' && GetLE32(&buf[i]) == LocalHeaderSig) {
                found = pos - int64_t(kept) + int64_t(i);
                break;
            }
        kept = std::min<size_t>(3, n);
        std::copy(buf.begin() + int64_t(n - kept), buf.begin() + int64_t(n), buf.begin());
        pos += got;
    }
    if (found < 0)
        return false;
    zip.Seek(found, soFromBeginning);
    files_ = std::make_unique<TSortedZip>(TDuplicates::dupError, true);
    for (;;) {
        auto entry = std::make_unique<TZipHeaderInfo>();
        if (!entry->ReadLocal(zip))
            break;
        int64_t skip = int64_t(entry->ExtraFieldLength) + entry->CompressedSize;
        if (entry->HasDataDescriptor())
            skip += 16;
        zip.Seek(skip, soFromCurrent);
        files_->Add(entry.get());
        entry.release();
    }
    ecrec_.ThisDiskNumber = 0;
    ecrec_.CentralStartDisk = 0;
    ecrec_.CentralOffset = uint32_t(zip.Position());
    ecrec_.TotalEntries = uint16_t(files_->Count());
    ecrec_.EntriesThisDisk = ecrec_.TotalEntries;
    volumes_ = 1;
    // Found only when a header was read: bytes that hold the signature but
    // no readable header are reported as no zip file ("Not a valid zip
    // file!"), not listed as an empty archive, which a caller listing,
    // extracting or adding to it would take for a file with nothing in it.
    return files_->Count() > 0;
}

// ---- multi-volume archives ----

void TZipReader::AskForNewDisk(int Disk)
{
    CloseStream();
    QString previous;
    QString name;
    for (;;) {
        name = zipName_;
        if (OnGetNextDisk)
            OnGetNextDisk(this, Disk, name);
        if (name.isEmpty())
            throw EUserCanceled(QStringLiteral("User canceled loading new disk."));
        if (FileExistsByName(name) && (!CheckDiskLabels() || CheckDiskLabel(Disk)))
            break;
        // The same missing volume twice: nobody can supply it.
        if (name == previous)
            throw EUserCanceled(QStringLiteral("User canceled loading new disk."));
        previous = name;
    }
    fileStream_ = std::make_unique<TLFNFileStream>(name, fmOpenRead | fmShareDenyWrite);
    archive_ = fileStream_.get();
    currentDisk_ = Disk - 1;
    zipName_ = name;
    archiveDate_ = ArchiveFileDate();
}

bool TZipReader::CheckDiskLabel(int Disk) const
{
    if (MultiMode() != TMultiMode::mmSpan)
        return true;
    const QString label = VolumeLabelOf(zipName_.left(3).toUpper()).left(11);
    return label.endsWith(QStringLiteral("%1").arg(Disk, 3, 10, QLatin1Char('0')));
}

void TZipReader::DefaultGetNextDisk(TZipReader *, int NextDisk, QString &FName)
{
    if (MultiMode() == TMultiMode::mmSpan) {
        if (Box(QStringLiteral("Please insert disk %1 of the multi-disk set.").arg(NextDisk), QString(),
                MB_OKCANCEL)
            != mrOk)
            FName.clear();
        return;
    }
    const QFileInfo info(FName);
    const QString ext = QStringLiteral(".%1").arg(NextDisk, 3, 10, QLatin1Char('0'));
    const QString suffix = info.suffix();
    FName = (suffix.isEmpty() ? FName : FName.left(FName.size() - suffix.size() - 1)) + ext;
}

// ---- indexed access ----

void TZipReader::CheckIndex(int Index) const
{
    if (Index < 0 || Index >= Count() || !sorted_)
        throw EListError(QStringLiteral("Index %1 is out of range").arg(Index));
}

const TZipHeaderInfo &TZipReader::Entry(int Index) const
{
    CheckIndex(Index);
    return *sorted_->Items(Index);
}

bool TZipReader::IsEntryEncrypted(int Index) const { return Entry(Index).IsEncrypted(); }
QString TZipReader::GetFilename(int Index) const { return Entry(Index).FileName(); }

TDateTime TZipReader::GetDateTime(int Index) const
{
    TDateTime t = 0;
    if (DosDateTimeToDateTime(Entry(Index).LastModFileDateTime, t))
        return t;
    return Now();
}

void TZipReader::FetchComment(TZipHeaderInfo &Entry)
{
    if (!Entry.HasComment() || Entry.FileComment())
        return;
    TStream &zip = Archive();
    std::array<uint8_t, CentralHeaderSize> h{};
    zip.Seek(Entry.CentralOffset, soFromBeginning);
    if (zip.Read(h.data(), CentralHeaderSize) != CentralHeaderSize)
        return;
    zip.Seek(int64_t(GetLE16(&h[28])) + GetLE16(&h[30]), soFromCurrent);
    QByteArray raw(Entry.FileCommentLength, Qt::Uninitialized);
    raw.truncate(int(zip.Read(raw.data(), raw.size())));
    const uint16_t length = Entry.FileCommentLength;
    Entry.SetComment(DecodeComment(raw));
    Entry.FileCommentLength = length;
}

QString TZipReader::GetFileComment(int Index)
{
    CheckIndex(Index);
    TZipHeaderInfo &entry = *sorted_->Items(Index);
    if (!entry.HasComment())
        return QString();
    if (!entry.FileComment()) {
        FetchComment(entry);
        if (!keepZipOpen_)
            CloseStream();
    }
    return entry.FileComment().value_or(QString());
}

void TZipReader::SetFileComment(int Index, const QString &Text)
{
    CheckIndex(Index);
    TZipHeaderInfo &entry = *sorted_->Items(Index);
    if (entry.FileComment().value_or(QString()) == Text)
        return;
    entry.SetComment(Text);
    ecrec_.CommentChanged = true;
}

QString TZipReader::GetZipComment()
{
    if (!ecrec_.HasComment())
        return QString();
    if (!ecrec_.Comment()) {
        TStream &zip = Archive();
        QByteArray raw(ecrec_.CommentLength, Qt::Uninitialized);
        zip.Seek(ecrec_.CommentPosition, soFromBeginning);
        raw.truncate(int(zip.Read(raw.data(), raw.size())));
        const uint16_t length = ecrec_.CommentLength;
        ecrec_.SetComment(DecodeComment(raw));
        ecrec_.CommentLength = length;
        if (!keepZipOpen_)
            CloseStream();
    }
    return ecrec_.Comment().value_or(QString());
}

void TZipReader::SetZipComment(const QString &Text)
{
    if (ecrec_.Comment().value_or(QString()) == Text)
        return;
    ecrec_.SetComment(Text);
    ecrec_.CommentChanged = true;
}

void TZipReader::ApplySortMode(TZipSortMode Mode)
{
    sortMode_ = Mode;
    sortedView_.reset();
    sorted_ = files_.get();
    if (!files_ || Mode == TZipSortMode::ByNone)
        return;
    sortedView_ = std::make_unique<TSortedZip>(TDuplicates::dupAccept, false);
    sortedView_->SortMode = Mode;
    for (int i = 0; i < files_->Count(); ++i)
        sortedView_->Add(files_->Items(i));
    sorted_ = sortedView_.get();
}

// ---- extraction ----

int TZipReader::ExtractFiles()
{
    if (destDir_ == u"?")
        return 0;
    try {
        OpenZip();
        const int count = UnzipSelected();
        if (!keepZipOpen_)
            CloseStream();
        return count;
    } catch (...) {
        if (!keepZipOpen_)
            CloseStream();
        throw;
    }
}

void TZipReader::Skip(TSkipReason Reason, const QString &FName, int Index)
{
    if (OnSkippingFile)
        OnSkippingFile(this, Reason, FName, Index);
}

int TZipReader::Box(const QString &Text, const QString &Caption, int Buttons) const
{
    if (MessageBox)
        return MessageBox(Text, Caption, Buttons);
    return Buttons == MB_YESNO ? mrNo : (Buttons == MB_OK ? mrOk : mrCancel);
}

int TZipReader::UnzipSelected()
{
    decoder_ = std::make_unique<TZipDecoder>();
    TZipDecoder &dec = *decoder_;
    dec.ReadArchive = [this](uint8_t *Buffer, int64_t Count) { return archive_->Read(Buffer, Count); };
    if (multiMode_ != TMultiMode::mmNone)
        dec.NextVolume = [this] {
            AskForNewDisk(currentDisk_ + 2);
            return true;
        };
    if (doProcessMessages_ && ProcessMessages)
        dec.ProcessMessages = ProcessMessages;
    if (OnFilePercentDone)
        dec.OnFilePercentDone = [this](int p) { OnFilePercentDone(this, p); };
    if (OnTotalPercentDone)
        dec.OnTotalPercentDone = [this](int p) { OnTotalPercentDone(this, p); };

    if (!destDir_.isEmpty() && !DirExists(destDir_))
        ForceDirs(destDir_);
    const TZipSortMode savedMode = sortMode_;
    if (multiMode_ != TMultiMode::mmNone && sortMode_ != TZipSortMode::ByNone)
        ApplySortMode(TZipSortMode::ByNone);

    int selected = 0;
    int64_t total = 0;
    for (int i = 0; i < Count(); ++i) {
        TZipHeaderInfo &entry = *sorted_->Items(i);
        entry.Selected = doAll_;
        if (!entry.FileName().isEmpty() || recreateDirs_)
            for (int p = 0; p < filesList_.Count() && !entry.Selected; ++p)
                entry.Selected = IsMatch(filesList_.Strings(p).toLower(), entry.FullName().toLower());
        if (entry.FileName().isEmpty() && !recreateDirs_)
            entry.Selected = false;
        if (entry.Selected) {
            ++selected;
            total += entry.UncompressedSize;
        }
    }
    dec.BeginSelection(total);
    written_ = 0;
    digests_.clear();

    int good = 0;
    auto finish = [&] {
        decoder_.reset();
        if (sortMode_ != savedMode)
            ApplySortMode(savedMode);
        if (OnUnZipComplete)
            OnUnZipComplete(this, good);
    };
    try {
        bool stop = false;
        if (OnStartUnZipInfo)
            OnStartUnZipInfo(this, selected, total, stop);
        if (selected > 0 && !stop) {
            for (int i = 0; i < Count(); ++i) {
                if (!doAll_ && !sorted_->Items(i)->Selected)
                    continue;
                bool rerun = true;
                while (rerun) {
                    rerun = false;
                    if (UnzipOne(i, rerun))
                        ++good;
                }
            }
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
    return good;
}

QString TZipReader::OutputName(const TZipHeaderInfo &Entry) const
{
    QString folder;
    if (recreateDirs_ && !Entry.Directory().isEmpty()) {
        folder = Entry.Directory();
        QString root = rootDir_;
        SlashesToBackward(root);
        if (!root.isEmpty() && folder.startsWith(root, Qt::CaseInsensitive))
            folder = folder.mid(root.size());
        if (!destDir_.isEmpty()) {
            if (folder.size() >= 2 && folder[1] == u':')
                folder = folder.mid(2);
            if (!folder.startsWith(u'\\'))
                folder.prepend(u'\\');
            folder.prepend(destDir_);
        }
    } else if (!destDir_.isEmpty()) {
        folder = destDir_ + u'\\';
    }
    // An empty DestDir means the current folder (never the file-system root).
    QString name = folder + Entry.FileName();
    SlashesToForward(name);
    return name;
}

bool TZipReader::IsUnsafe(const TZipHeaderInfo &Entry, const QString &OutName) const
{
    const unsigned problems = Entry.NameProblems();
    if (problems & (NameParentRef | NameControlChar))
        return true;
    if (destDir_.isEmpty())
        return recreateDirs_ && (problems & NameAbsolute);
    const QString base = AbsoluteName(destDir_);
    const QString out = AbsoluteName(OutName);
    return !out.startsWith(base + u'/');
}

bool TZipReader::CheckPassword(int Index, int64_t DataStart, const QString &FName)
{
    TZipDecoder &dec = *decoder_;
    const uint8_t check = tmpHeader_.HasDataDescriptor() ? uint8_t(tmpHeader_.LastModFileDateTime >> 8)
                                                         : uint8_t(tmpHeader_.Crc32 >> 24);
    for (;;) {
        archive_->Seek(DataStart, soFromBeginning);
        if (dec.DecryptHeader(password_) == check)
            return true;
        QString newPassword = password_;
        if (OnBadPassword)
            OnBadPassword(this, Index, newPassword);
        if (newPassword == password_)
            break;
        password_ = newPassword;
    }
    Skip(TSkipReason::srBadPassword, FName, Index);
    dec.LowerSelectionTotal(tmpHeader_.UncompressedSize);
    return false;
}

bool TZipReader::MayOverwrite(int Index, QString &FName)
{
    if (overwriteMode_ == TUZOverwriteMode::Always || !PathExists(FName))
        return true;
    bool overwrite = false;
    switch (overwriteMode_) {
    case TUZOverwriteMode::Always:
    case TUZOverwriteMode::Never:
        break;
    case TUZOverwriteMode::ifNewer:
    case TUZOverwriteMode::ifOlder: {
        const TDateTime entry = EntryDate(tmpHeader_.LastModFileDateTime);
        const TDateTime file = FileAgeAsDateTime(FName);
        overwrite = overwriteMode_ == TUZOverwriteMode::ifNewer ? entry > file : entry < file;
        break;
    }
    case TUZOverwriteMode::Prompt:
        if (OnPromptForOverwrite)
            OnPromptForOverwrite(this, overwrite, Index, FName);
        else
            overwrite = Box(QStringLiteral("Replace existing file ") + tmpHeader_.FileName() + u'?',
                            QStringLiteral("File Exists Alert"), MB_YESNO)
                        == mrYes;
        break;
    }
    return overwrite;
}

// A folder below DestDir that is a symbolic link would take the entry out of
// the destination (or into someone else's folder): the link is replaced by a
// real folder, never followed. False when a link could not be removed: the
// entry must then not be written at all.
bool TZipReader::ReplaceFolderLinks(const QString &Folder) const
{
    if (destDir_.isEmpty())
        return true;
    const QString base = AbsoluteName(destDir_);
    const QString target = AbsoluteName(Folder);
    if (!target.startsWith(base + u'/'))
        return true;
    QString path = base;
    for (const QString &part : target.mid(base.size() + 1).split(u'/', Qt::SkipEmptyParts)) {
        path += u'/' + part;
        if (!IsSymLink(path))
            continue;
        if (!TSysEnv::Remove(path))
            return false;
        MakeFolder(path, 0777);
    }
    return true;
}

// An entry is written to a new temporary file beside its output name
// (PartName) and renamed over that name only once its CRC is good: a damaged
// entry never costs the user an existing file, and a symbolic link at the
// name is replaced rather than written through.
std::unique_ptr<TLFNFileStream> TZipReader::CreateOutput(const QString &FName, QString &PartName)
{
    struct stat st {};
    if (::lstat(EncodeSystemName(FName).constData(), &st) == 0 && !S_ISLNK(st.st_mode) && !PathAccessible(FName, W_OK)) {
        // A read-only file is replaced only with ReplaceReadOnly.
        if (!replaceReadOnly_)
            return nullptr;
        ChangeMode(FName, int(st.st_mode & 07777) | S_IWUSR);
    }
    QByteArray pattern = EncodeSystemName(AbsoluteFolderOf(FName) + QStringLiteral("/.zorb-part-XXXXXX"));
    const int fd = TSysEnv::OpenTemp(pattern);
    if (fd < 0)
        return nullptr;
    TSysEnv::Close(fd);
    PartName = DecodeSystemName(pattern);
    // The final file gets the usual permissions, not the temporary's private ones.
    ChangeMode(PartName, 0644);
    try {
        return std::make_unique<TLFNFileStream>(PartName, fmCreate);
    } catch (const Exception &) {
        TSysEnv::Remove(PartName);
        PartName.clear();
        return nullptr;
    }
}

void TZipReader::CheckOutputLimit(int64_t More) const
{
    if (outputLimit_ > 0 && (More > outputLimit_ || written_ > outputLimit_ - More))
        throw EZipOutputLimit(QStringLiteral("Output limit exceeded"));
}

TZipReader::TEntryOutcome TZipReader::Decompress(TStream &Out, int64_t DataStart)
{
    TZipDecoder &dec = *decoder_;
    const bool encrypted = tmpHeader_.IsEncrypted();
    const int64_t size = tmpHeader_.CompressedSize - (encrypted ? 12 : 0);
    if (size < 0)
        return TEntryOutcome::BadData;
    archive_->Seek(DataStart + (encrypted ? 12 : 0), soFromBeginning);
    // The decoder hands on blocks of BufferSize bytes; the output gets them
    // in runs of whole pages (at a hundred megabytes a write per block costs
    // the system four times as much).
    constexpr size_t RunSize = size_t(1) << 20;
    std::vector<uint8_t> run;
    std::unique_ptr<TDigestAhead> digest;
    if (digestOutput_)
        digest = std::make_unique<TDigestAhead>();
    const auto flush = [&] {
        if (!run.empty())
            Out.WriteBuffer(run.data(), int64_t(run.size()));
        run.clear();
    };
    dec.WriteOutput = [&](const uint8_t *Buffer, int64_t Count) {
        CheckOutputLimit(Count);
        written_ += Count;
        if (digest)
            digest->Add(Buffer, size_t(Count));
        if (run.empty() && size_t(Count) >= RunSize) {
            Out.WriteBuffer(Buffer, Count);
            return;
        }
        if (run.capacity() < RunSize)
            run.reserve(RunSize);
        run.insert(run.end(), Buffer, Buffer + Count);
        if (run.size() >= RunSize)
            flush();
    };
    dec.Begin(size, tmpHeader_.UncompressedSize, encrypted);
    try {
        if (!dec.Decode(tmpHeader_.CompressionMethod, tmpHeader_.Flag)) {
            Box(QStringLiteral("Unknown Compression Method"), QStringLiteral("Zip Error"), MB_OK);
            return TEntryOutcome::Unknown;
        }
    } catch (const EBiggerThanUncompressed &) {
        return TEntryOutcome::BadData;
    }
    flush();
    // An entry must hold exactly the bytes its header states: a short one
    // would pass for contents the size names.
    if (dec.Failed() || dec.Crc() != tmpHeader_.Crc32 ||
        dec.BytesWritten() != int64_t(uint32_t(tmpHeader_.UncompressedSize)))
        return TEntryOutcome::BadData;
    if (digest)
        entryDigest_ = digest->Finish();
    return TEntryOutcome::Good;
}

bool TZipReader::UnzipOne(int Index, bool &Rerun)
{
    tmpHeader_.Assign(*sorted_->Items(Index));
    int64_t dataStart = 0;
    if (!tmpHeader_.FileName().isEmpty()) {
        if (multiMode_ != TMultiMode::mmNone && tmpHeader_.DiskNumberStart != currentDisk_)
            AskForNewDisk(tmpHeader_.DiskNumberStart + 1);
        std::array<uint8_t, LocalHeaderSize> local{};
        archive_->Seek(tmpHeader_.RelativeOffset, soFromBeginning);
        if (archive_->Read(local.data(), LocalHeaderSize) != LocalHeaderSize
            || GetLE32(local.data()) != LocalHeaderSig) {
            Skip(TSkipReason::srBadHeader, tmpHeader_.FullName(), Index);
            decoder_->LowerSelectionTotal(tmpHeader_.UncompressedSize);
            return false;
        }
        dataStart = int64_t(tmpHeader_.RelativeOffset) + LocalHeaderSize + GetLE16(&local[26]) + GetLE16(&local[28]);
    }

    QString name = OutputName(tmpHeader_);
    bool skip = false;
    if (tmpHeader_.FileName().isEmpty()) {
        if (recreateDirs_ && OnStartUnZip) {
            QString folder = QFileInfo(name).path();
            OnStartUnZip(this, Index, folder, skip);
        }
        return false;
    }
    if (IsUnsafe(tmpHeader_, name)) {
        Skip(TSkipReason::srUnsafeName, tmpHeader_.FullName(), Index);
        decoder_->LowerSelectionTotal(tmpHeader_.UncompressedSize);
        return false;
    }
    if (OnStartUnZip)
        OnStartUnZip(this, Index, name, skip);
    if (skip)
        return false;
    const QString folder = QFileInfo(name).path();
    if (!ReplaceFolderLinks(folder)) {
        Skip(TSkipReason::srUnsafeName, name, Index);
        decoder_->LowerSelectionTotal(tmpHeader_.UncompressedSize);
        return false;
    }
    if (!DirExists(folder))
        ForceDirs(folder);

    if (tmpHeader_.IsEncrypted()) {
        if (tmpHeader_.CompressedSize < 12) {
            // No room for the encryption header.
            Skip(TSkipReason::srBadHeader, name, Index);
            decoder_->LowerSelectionTotal(tmpHeader_.UncompressedSize);
            return false;
        }
        if (!CheckPassword(Index, dataStart, name))
            return false;
    }
    if (!MayOverwrite(Index, name)) {
        Skip(TSkipReason::srNoOverwrite, name, Index);
        decoder_->LowerSelectionTotal(tmpHeader_.UncompressedSize);
        return false;
    }
    // The stated size is held against the bound before anything is written.
    CheckOutputLimit(int64_t(uint32_t(tmpHeader_.UncompressedSize)));
    QString part;
    std::unique_ptr<TLFNFileStream> out = CreateOutput(name, part);
    if (!out) {
        Skip(TSkipReason::srFileCreateError, name, Index);
        decoder_->LowerSelectionTotal(tmpHeader_.UncompressedSize);
        return false;
    }

    TEntryOutcome outcome;
    try {
        outcome = Decompress(*out, dataStart);
        // Bytes still buffered are written now: a disk that refuses them
        // fails the entry here, where closing would lose them silently.
        if (outcome == TEntryOutcome::Good)
            out->Flush();
        out.reset();
    } catch (...) {
        // A partial output file is never left behind.
        try {
            out.reset();
        } catch (const Exception &) {
            // The entry's own failure is the one passed on.
        }
        TSysEnv::Remove(part);
        throw;
    }

    if (outcome == TEntryOutcome::Good) {
        SetFileAgeDos(part, ClampDosDateTime(tmpHeader_.LastModFileDateTime));
        const int partMode = FileModeOf(part);
        if (retainAttributes_ && (tmpHeader_.ExternalFileAttributes & 0x01) && partMode >= 0)
            ChangeMode(part, partMode & ~0222);
        // The rename replaces the name in one step (a link at it included).
        if (!TSysEnv::Rename(part, name)) {
            TSysEnv::Remove(part);
            Skip(TSkipReason::srFileCreateError, name, Index);
            return false;
        }
        if (digestOutput_)
            digests_[tmpHeader_.FullName()] = entryDigest_;
        if (OnEndUnZip)
            OnEndUnZip(this, Index, name);
        return true;
    }
    TSysEnv::Remove(part);
    if (outcome == TEntryOutcome::Unknown)
        return false;
    if (tmpHeader_.IsEncrypted()) {
        QString newPassword = password_;
        if (OnBadPassword)
            OnBadPassword(this, Index, newPassword);
        if (newPassword != password_) {
            password_ = newPassword;
            Rerun = true;
        } else {
            Skip(TSkipReason::srBadPassword, name, Index);
        }
    } else if (OnBadCRC) {
        OnBadCRC(this, decoder_->Crc(), tmpHeader_.Crc32, Index);
    }
    return false;
}

bool TZipReader::OutputDigest(const QString &FullName, TSha256 &Digest) const
{
    const auto found = digests_.find(FullName);
    if (found == digests_.end())
        return false;
    Digest = found->second;
    return true;
}

} // namespace zorbel
