// TZipWriter: the zip component that writes archives. It derives from the
// reader TZipReader (archive name, root folder, FilesList, password, entry
// list, end record, progress events) and adds one operation, CompressFiles:
//
//   gather   FilesList patterns and names become a list of files (the walk of
//            each pattern sorted by path, so packing a folder twice gives the
//            same entry order); ExcludeList drops files, zaFreshen drops files
//            without an entry;
//   write    a new archive in a temporary file beside the archive: entries of
//            the old archive in their old order, each either copied unchanged
//            or replaced by its file (zaReplace always, zaUpdate/zaFreshen
//            when the file is newer), then the files new to the archive, then
//            the central directory and the end record;
//   commit   flush the temporary file to disk and rename it over the archive.
//
// The old archive is never written to: any failure (a gathered file that
// cannot be read, a handler that raises, a full disk) deletes the temporary
// file and leaves the old archive byte for byte as it was. A file that was
// gathered but cannot be opened fails the whole run.
//
// Encrypted entries use traditional PKWARE encryption; the 12-byte header
// takes its ten random bytes from the system's random source.
//
// This system has no archive attribute, no short 8.3 names, no drive letters
// and one archive volume: ResetArchiveBitOnZip, SkipIfArchiveBitNotSet,
// Store83Names and StoreVolumes change nothing, and MultiZipInfo only keeps
// its values.
#pragma once

#include "archive/Deflate.h"
#include "archive/ZipCrc.h"
#include "archive/ZipReader.h"

#include <QStringList>
#include <functional>
#include <memory>

namespace zorbel {


// How files meet existing entries of the same name.
enum class TZipAction {
    zaUpdate,  // replace an entry when the file is newer; add new files
    zaReplace, // replace every entry that has a file; add new files
    zaFreshen, // replace an entry when the file is newer; add nothing
};

// Multi-volume settings; kept for the stored form only (one volume is written).
class TMultiZipInfo {
public:
    int BlockSize = 1457600;
    int FirstBlockSize = 1457600;
    TMultiMode MultiMode = TMultiMode::mmNone;
    bool CheckDiskLabels = true;
    bool WriteDiskLabels = true;

    void Assign(const TMultiZipInfo &Source) { *this = Source; }
};

class TZipWriter : public TZipReader, private TDeflateIO {
public:
    TZipWriter();
    ~TZipWriter() override;

    // After loading the stored form: pushes MultiZipInfo's values to the reader.
    void Loaded();

    // ---- published properties ----
    int PackLevel() const { return packLevel_; }
    // 0 stores every file; 1-9 deflate level.
    void SetPackLevel(int Value) { packLevel_ = Value; }
    bool Recurse() const { return recurse_; }
    void SetRecurse(bool Value) { recurse_ = Value; }
    bool Dispose() const { return dispose_; }
    void SetDispose(bool Value) { dispose_ = Value; }
    bool StorePaths() const { return storePaths_; }
    // False also clears StoreVolumes and RelativePaths.
    void SetStorePaths(bool Value);
    bool RelativePaths() const { return relativePaths_; }
    // True also sets StorePaths and Recurse.
    void SetRelativePaths(bool Value);
    bool StoreVolumes() const { return storeVolumes_; }
    // True also sets StorePaths.
    void SetStoreVolumes(bool Value);
    TZipAction ZipAction() const { return zipAction_; }
    void SetZipAction(TZipAction Value) { zipAction_ = Value; }
    const TMultiZipInfo &MultiZipInfo() const { return multiZipInfo_; }
    void SetMultiZipInfo(const TMultiZipInfo &Value) { multiZipInfo_.Assign(Value); }
    bool Store83Names() const { return store83Names_; }
    void SetStore83Names(bool Value) { store83Names_ = Value; }
    const QString &TempPath() const { return tempPath_; }
    // Kept for the stored form: the temporary archive is always written in
    // the archive's own folder, so that it can be renamed into place.
    void SetTempPath(const QString &Value) { tempPath_ = Value; }
    bool SkipIfArchiveBitNotSet() const { return skipIfArchiveBitNotSet_; }
    void SetSkipIfArchiveBitNotSet(bool Value) { skipIfArchiveBitNotSet_ = Value; }
    bool ResetArchiveBitOnZip() const { return resetArchiveBitOnZip_; }
    void SetResetArchiveBitOnZip(bool Value) { resetArchiveBitOnZip_ = Value; }
    QStringList &ExcludeList() { return excludeList_; }
    void SetExcludeList(const QStringList &Value) { excludeList_ = Value; }
    QStringList &NoCompressList() { return noCompressList_; }
    void SetNoCompressList(const QStringList &Value) { noCompressList_ = Value; }

    // A different name (ignoring case) first writes pending comment changes
    // into the current archive, then drops it as the reader does.
    void SetZipName(const QString &Value) override;
    TMultiMode MultiMode() const override { return multiZipInfo_.MultiMode; }
    void SetMultiMode(TMultiMode Value) override;
    bool CheckDiskLabels() const override { return multiZipInfo_.CheckDiskLabels; }
    void SetCheckDiskLabels(bool Value) override;

    // With DigestInput on, packing takes the SHA-256 of each file it packs
    // (ZipDigest.h) from the bytes it reads to compress; off by default.
    bool DigestInput() const { return digestInput_; }
    void SetDigestInput(bool Value) { digestInput_ = Value; }
    // The digest of the file the last packing stored as FullName; false when
    // it packed none under that name (or DigestInput was off).
    bool PackedDigest(const QString &FullName, TSha256 &Digest) const;

    // ---- operations ----
    // Packs FilesList into the archive ZipName (created when it does not
    // exist). Returns the number of files packed (new and replacing entries;
    // entries carried over unchanged do not count) and fires OnZipComplete.
    // FilesList is consumed. Exceptions leave the old archive as it was.
    int CompressFiles();

    // True when FileName matches a pattern of ExcludeList.
    bool IsExcluded(const QString &FileName) const;
    // True when the stored file name matches a pattern of NoCompressList.
    bool IsNoCompress(const QString &StoredName) const;

    // ---- events ----
    std::function<void(TZipWriter *Sender, int NumFiles, int64_t TotalBytes, TEndCentral &EndCentralRecord,
                       bool &StopNow)>
        OnStartZipInfo;
    std::function<void(TZipWriter *Sender, const QString &FName, TZipHeaderInfo &ZipHeader, bool &Skip)> OnStartZip;
    std::function<void(TZipWriter *Sender, const QString &FName, int UncompressedSize, int CompressedSize,
                       int CurrentZipSize)>
        OnEndZip;
    std::function<void(TZipWriter *Sender, const QString &FName, bool &Skip)> OnDisposeFile;
    // Reserved: this system never deletes entries.
    std::function<void(TZipWriter *Sender, const QString &FName, bool &Skip)> OnDeleteEntry;
    std::function<void(TZipWriter *Sender, const QString &FName)> OnNoSuchFile;
    std::function<void(TZipWriter *Sender, int FileCount)> OnZipComplete;

protected:
    // One whole pack run; returns the number of files packed.
    int PackArchive();

private:
    struct TPackRun;

    void GatherFiles();
    void GatherPattern(QString Pattern, const QString &ArchivePath, const TSortedZip *OldByName);
    bool HasEntryFor(const TSortedZip *OldByName, const QString &FileName) const;
    // Sets the entry's folder and file name as they are stored for FileName.
    void SetStoredName(TZipHeaderInfo &Header, const QString &FileName) const;
    void OpenOutput(bool Existing);
    void CarryOverEntries(TSortedZip &OldFiles);
    bool EntryMatchesFile(const TZipHeaderInfo &Entry, const TZipHeaderInfo &FileName) const;
    static bool DropZip64Field(QByteArray &Extra);
    void CopyOldEntry(std::unique_ptr<TZipHeaderInfo> Entry);
    // Packs one file; false when it was skipped (a name already written, or
    // OnStartZip). Raises when the file cannot be read.
    bool PackOneFile(const QString &FileName);
    int64_t WriteFileData(TZipHeaderInfo &Header);
    void Book(std::unique_ptr<TZipHeaderInfo> Header, const QString &FileName, bool Packed);
    void WriteCentralDirectory();
    void CommitTempArchive();
    void InstallNewDirectory(TZipSortMode SortMode);
    void DisposeFiles();
    void WriteEncryptionHeader(uint32_t Crc);
    uint8_t EncryptByte(uint8_t Plain);

    // TDeflateIO: the source file through the CRC and progress; the output
    // through encryption.
    int ReadInput(uint8_t *Buffer, int Count) override;
    void WriteOutput(uint8_t *Buffer, int Count) override;

    int packLevel_ = 6;
    bool digestInput_ = false;
    std::map<QString, TSha256> packedDigests_; // by stored name, of the last packing
    bool recurse_ = false;
    bool dispose_ = false;
    bool storePaths_ = false;
    bool relativePaths_ = false;
    bool storeVolumes_ = false;
    TZipAction zipAction_ = TZipAction::zaUpdate;
    TMultiZipInfo multiZipInfo_;
    bool store83Names_ = false;
    QString tempPath_;
    bool skipIfArchiveBitNotSet_ = false;
    bool resetArchiveBitOnZip_ = false;
    QStringList excludeList_;
    QStringList noCompressList_;

    TDeflateTables deflateTables_; // built on first use
    std::unique_ptr<TPackRun> run_; // state of the run in progress
    bool busy_ = false;
};

} // namespace zorbel
