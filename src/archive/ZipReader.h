// TZipReader: opens a zip archive (a file, or a stream in memory), reads its
// central directory into an entry list and extracts the selected entries into
// a destination folder, decrypting entries protected by the traditional zip
// password and checking each one's CRC-32. TZipWriter derives from it.
//
// Lifecycle: no archive -> ReadDirectory or ExtractFiles opens it and reads
// the directory -> list present (the stream stays open only with KeepZipOpen
// or a source stream) -> read again when the file's modification time
// changes -> CloseArchive or a new ZipName drops everything. ExtractFiles
// never changes the entry list.
//
// The entry list is kept in physical order (disk, local header offset); the
// indexed operations see it through a view in SortMode order.
//
// Entry names that would leave the destination folder (".." components, an
// absolute folder used as it is) or hold control characters are not
// extracted: the entry is given up with OnSkippingFile (srUnsafeName).
// A failed entry (damaged data, CRC mismatch, output larger than stated,
// archive ending inside the data) leaves no output file behind.
//
// Windows and dialogs are not this subsystem's: message boxes, the file and
// folder dialogs and message processing go through hooks the owner sets.
#pragma once

#include "archive/ZipDigest.h"
#include "archive/ZipErrors.h"
#include "archive/ZipLib.h"
#include "archive/ZipObj.h"
#include "archive/ZipSStrm.h"
#include "platform/rtl/Streams.h"

#include <QDateTime>
#include <QString>
#include "platform/rtl/StringList.h"

#include <QStringList>
#include <functional>
#include <map>
#include <memory>

namespace zorbel {

class TZipDecoder;

enum class TUZOverwriteMode { Prompt, Always, Never, ifNewer, ifOlder };
enum class TIncompleteZipMode { izAssumeMulti, izAssumeBad };
enum class TMultiMode { mmNone, mmSpan, mmBlocks };

// Why an entry was given up (OnSkippingFile).
enum class TSkipReason {
    srBadPassword,     // password check or CRC failed on an encrypted entry
    srNoOverwrite,     // the output file exists and is not to be replaced
    srFileCreateError, // the output file could not be created
    srBadHeader,       // the local header is missing or damaged
    srUnsafeName,      // the entry name would leave the destination folder
};

class TZipReader {
public:
    static constexpr int Version = 218;

    TZipReader();
    virtual ~TZipReader();
    TZipReader(const TZipReader &) = delete;
    TZipReader &operator=(const TZipReader &) = delete;

    // Sets ThisVersion back to 218, as after loading the stored form.
    void Loaded() { thisVersion_ = Version; }

    // ---- published properties ----
    int ThisVersion() const { return thisVersion_; }
    void SetThisVersion(int) { thisVersion_ = Version; }
    const QString &ZipName() const { return zipName_; }
    // A different name (ignoring case) drops the archive; a name ending in
    // "?" asks OpenFileDialog (cancel: EUserCanceled).
    virtual void SetZipName(const QString &Value);
    const QString &DestDir() const { return destDir_; }
    // "?" asks SelectFolderDialog (cancel: EUserCanceled); one trailing
    // separator is removed.
    void SetDestDir(const QString &Value);
    const QString &RootDir() const { return rootDir_; }
    void SetRootDir(const QString &Value);
    TZipSortMode SortMode() const { return sortMode_; }
    // Takes effect at the next directory read (or ApplySortMode).
    void SetSortMode(TZipSortMode Value) { sortMode_ = Value; }
    bool RecreateDirs() const { return recreateDirs_; }
    void SetRecreateDirs(bool Value) { recreateDirs_ = Value; }
    TUZOverwriteMode OverwriteMode() const { return overwriteMode_; }
    void SetOverwriteMode(TUZOverwriteMode Value) { overwriteMode_ = Value; }
    TStringList &FilesList() { return filesList_; }
    // Copies the lines.
    void SetFilesList(const TStringList &Value) { filesList_ = Value; }
    bool DoAll() const { return doAll_; }
    void SetDoAll(bool Value) { doAll_ = Value; }
    TIncompleteZipMode IncompleteZipMode() const { return incompleteZipMode_; }
    void SetIncompleteZipMode(TIncompleteZipMode Value) { incompleteZipMode_ = Value; }
    bool KeepZipOpen() const { return keepZipOpen_; }
    void SetKeepZipOpen(bool Value) { keepZipOpen_ = Value; }
    bool DoProcessMessages() const { return doProcessMessages_; }
    void SetDoProcessMessages(bool Value) { doProcessMessages_ = Value; }
    // A cancel request: a handler run while messages are processed sets it;
    // the writer's next output write clears it and raises EUserCanceled.
    bool Cancel() const { return cancel_; }
    void SetCancel(bool Value) { cancel_ = Value; }
    bool RetainAttributes() const { return retainAttributes_; }
    void SetRetainAttributes(bool Value) { retainAttributes_ = Value; }
    bool ReplaceReadOnly() const { return replaceReadOnly_; }
    void SetReplaceReadOnly(bool Value) { replaceReadOnly_ = Value; }

    // ---- public state ----
    const QString &Password() const { return password_; }
    void SetPassword(const QString &Value) { password_ = Value; }
    // The most bytes one ExtractFiles may write, all its entries together; 0
    // (the default): no bound. An entry whose stated size, or whose data as
    // it is written, would pass it ends the extraction with EZipOutputLimit
    // "Output limit exceeded"; that entry's output is removed.
    int64_t OutputLimit() const { return outputLimit_; }
    void SetOutputLimit(int64_t Value) { outputLimit_ = Value; }
    // With DigestOutput on, ExtractFiles takes the SHA-256 of each entry it
    // writes whole (ZipDigest.h), while writing it; off by default.
    bool DigestOutput() const { return digestOutput_; }
    void SetDigestOutput(bool Value) { digestOutput_ = Value; }
    // The digest of the entry named FullName that the last ExtractFiles wrote
    // whole; false when it wrote none (or DigestOutput was off).
    bool OutputDigest(const QString &FullName, TSha256 &Digest) const;
    // Makes Stream (in memory) the archive and takes it over: the component
    // frees it when the archive is closed, when ZipName changes or when
    // another source stream replaces it. None forgets the held stream
    // without freeing it. Sets KeepZipOpen.
    void SetSourceStream(TStream *Stream);
    TStream *SourceStream() const { return isSourceStream_ ? archive_ : nullptr; }
    int Count() const;
    virtual TMultiMode MultiMode() const { return multiMode_; }
    virtual void SetMultiMode(TMultiMode Value) { multiMode_ = Value; }
    virtual bool CheckDiskLabels() const { return checkDiskLabels_; }
    virtual void SetCheckDiskLabels(bool Value) { checkDiskLabels_ = Value; }
    int NumberOfVolumes() const { return volumes_; }

    // ---- operations ----
    // Opens the archive and reads its directory; closes the stream again
    // unless KeepZipOpen.
    void ReadDirectory();
    // Extracts the selection into DestDir; returns the number of entries
    // written with a correct CRC. DestDir "?" returns 0 at once.
    int ExtractFiles();
    void CloseArchive();

    // Index counts in SortMode order; out of range raises EListError
    // "Index %d is out of range".
    bool IsEntryEncrypted(int Index) const;
    QString GetFilename(int Index) const;
    TDateTime GetDateTime(int Index) const;
    QString GetFileComment(int Index);
    void SetFileComment(int Index, const QString &Text);
    QString GetZipComment();
    void SetZipComment(const QString &Text);
    void ApplySortMode(TZipSortMode Mode);
    // The entry at Index in SortMode order.
    const TZipHeaderInfo &Entry(int Index) const;

    // ---- events ----
    std::function<void(TZipReader *Sender, int NumFiles, int64_t TotalBytes, bool &StopNow)> OnStartUnZipInfo;
    std::function<void(TZipReader *Sender, int FileIndex, QString &FName, bool &Skip)> OnStartUnZip;
    std::function<void(TZipReader *Sender, int FileIndex, const QString &FName)> OnEndUnZip;
    std::function<void(TZipReader *Sender, bool &OverWriteIt, int FileIndex, QString &FName)> OnPromptForOverwrite;
    std::function<void(TZipReader *Sender, TSkipReason Reason, const QString &FName, int FileIndex)> OnSkippingFile;
    std::function<void(TZipReader *Sender, int FileIndex, QString &NewPassword)> OnBadPassword;
    std::function<void(TZipReader *Sender, uint32_t CalcCRC, uint32_t StoredCRC, int FileIndex)> OnBadCRC;
    std::function<void(TZipReader *Sender, TIncompleteZipMode &IncompleteMode)> OnInCompleteZip;
    // Set to DefaultGetNextDisk by the constructor.
    std::function<void(TZipReader *Sender, int NextDisk, QString &FName)> OnGetNextDisk;
    std::function<void(TZipReader *Sender, int FileCount)> OnUnZipComplete;
    std::function<void(TZipReader *Sender, int Percent)> OnFilePercentDone;
    std::function<void(TZipReader *Sender, int Percent)> OnTotalPercentDone;

    // ---- hooks of the owner (no window system here) ----
    TZipMessageBox MessageBox; // unset: every box is answered No / Cancel
    // File-open dialog for ZipName "?": false when cancelled.
    std::function<bool(const QString &Title, const QString &Filter, const QString &InitialDir, QString &FileName)>
        OpenFileDialog;
    // Folder selection for DestDir "?": false when cancelled.
    std::function<bool(const QString &InitialDir, QString &Folder)> SelectFolderDialog;
    // Called in long loops when DoProcessMessages is on.
    std::function<void()> ProcessMessages;

    void DefaultGetNextDisk(TZipReader *Sender, int NextDisk, QString &FName);

protected:
    // The archive stream, opened when needed.
    TStream &Archive();
    void OpenZip();
    void ReadCentralDirectory();
    bool ScanLocalHeaders();
    int UnzipSelected();
    // Extracts one entry; true when it was written with a correct CRC. Sets
    // Rerun when the password was changed after a CRC failure.
    bool UnzipOne(int Index, bool &Rerun);
    void AskForNewDisk(int Disk);
    bool CheckDiskLabel(int Disk) const;
    void NextDiskForCentral(TStream *&Stream);
    void DropLists();
    // Frees the lists and the archive stream, clears the end record.
    void DropArchive();
    // CloseArchive after a failed directory read, except that a source
    // stream stays held.
    void CloseAfterFailure();
    // Closes an archive file (a source stream is kept until DropArchive).
    void CloseStream();
    void CheckIndex(int Index) const;
    QDateTime ArchiveFileDate() const;
    void Skip(TSkipReason Reason, const QString &FName, int Index);
    int Box(const QString &Text, const QString &Caption, int Buttons) const;

    TZipHeaderInfo tmpHeader_; // working record of the entry being extracted
    TEndCentral ecrec_;
    std::unique_ptr<TSortedZip> files_;      // physical order, owns the entries
    std::unique_ptr<TSortedZip> sortedView_; // SortMode order when not ByNone
    TSortedZip *sorted_ = nullptr;           // files_ or sortedView_

private:
    enum class TEntryOutcome {
        Good,     // written with a correct CRC
        BadData,  // CRC mismatch, damaged data or output larger than stated
        Unknown,  // no decoder for the method
    };
    QString OutputName(const TZipHeaderInfo &Entry) const;
    bool IsUnsafe(const TZipHeaderInfo &Entry, const QString &OutName) const;
    bool CheckPassword(int Index, int64_t DataStart, const QString &FName);
    bool MayOverwrite(int Index, QString &FName);
    bool ReplaceFolderLinks(const QString &Folder) const;
    std::unique_ptr<TLFNFileStream> CreateOutput(const QString &FName, QString &PartName);
    TEntryOutcome Decompress(TStream &Out, int64_t DataStart);
    void CheckOutputLimit(int64_t More) const;
    void FetchComment(TZipHeaderInfo &Entry);

    int thisVersion_ = Version;
    QString zipName_;
    QString destDir_;
    QString rootDir_;
    TZipSortMode sortMode_ = TZipSortMode::ByNone;
    bool recreateDirs_ = false;
    TUZOverwriteMode overwriteMode_ = TUZOverwriteMode::Prompt;
    TStringList filesList_;
    bool doAll_ = false;
    TIncompleteZipMode incompleteZipMode_ = TIncompleteZipMode::izAssumeMulti;
    bool keepZipOpen_ = false;
    bool doProcessMessages_ = true;
    bool cancel_ = false;
    bool retainAttributes_ = true;
    bool replaceReadOnly_ = false;
    QString password_;
    int64_t outputLimit_ = 0;
    int64_t written_ = 0; // bytes written by the running extraction
    bool digestOutput_ = false;
    std::map<QString, TSha256> digests_; // by entry name, of the last extraction
    TSha256 entryDigest_{};              // of the entry Decompress wrote last

    std::unique_ptr<TStream> fileStream_; // the archive file when not a source stream
    TStream *archive_ = nullptr;          // fileStream_ or the source stream
    bool isSourceStream_ = false;
    QDateTime archiveDate_;
    int currentDisk_ = 0;
    bool scanMode_ = false;
    int volumes_ = 1;
    TMultiMode multiMode_ = TMultiMode::mmNone;
    bool checkDiskLabels_ = true;
    std::unique_ptr<TZipDecoder> decoder_; // the decoding context of an extraction run
};

} // namespace zorbel
