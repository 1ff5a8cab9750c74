// In-memory form of the zip records: one entry (TZipHeaderInfo), the end of
// central directory record (TEndCentral) and the entry list (TSortedZip).
//
// Byte layouts (little-endian, PKWARE APPNOTE):
//   local header, 30 bytes     central header, 46 bytes     end record, 22 bytes
//    0 signature 0x04034B50     0 signature 0x02014B50        0 signature 0x06054B50
//    4 version needed           4 version made by             4 number of this disk
//    6 flags                    6 version needed              6 disk of central dir start
//    8 method                   8 flags                       8 entries on this disk
//   10 time, 12 date           10 method                     10 total entries
//   14 CRC-32                  12 time, 14 date              12 central dir size (4)
//   18 compressed size         16 CRC-32                     16 central dir offset (4)
//   22 uncompressed size       20 compressed size            20 comment length
//   26 name length             24 uncompressed size
//   28 extra length            28 name length, 30 extra length, 32 comment length
//                              34 disk number start, 36 internal attributes
//                              38 external attributes (4), 42 local header offset (4)
// The name follows each header, then the extra field (and the comment in the
// central header). Names are stored in code page 866 with "/" between
// folders; in memory they are Unicode with "\" between folders, split into
// the folder part (empty or ending in "\") and the file name.
//
// Sizes and offsets are the headers' 32-bit fields; entries whose sizes or
// local header offset reach 2 GiB are refused with EBadZipFile (no Zip64).
#pragma once

#include "archive/ZipCntn.h"
#include "archive/ZipErrors.h"
#include "archive/ZipLib.h"
#include "platform/rtl/Streams.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

namespace zorbel {

constexpr uint32_t LocalHeaderSig = 0x04034B50;
constexpr uint32_t CentralHeaderSig = 0x02014B50;
constexpr uint32_t EndCentralSig = 0x06054B50;
constexpr int LocalHeaderSize = 30;
constexpr int CentralHeaderSize = 46;
constexpr int EndCentralSize = 22;
// The end record is searched this far back from the end of the archive: the
// record itself and the longest possible archive comment.
constexpr int EndCentralSearchSize = EndCentralSize + 65535;

// Flag bits of the general purpose flags.
constexpr uint16_t FlagEncrypted = 0x0001;
constexpr uint16_t FlagDataDescriptor = 0x0008;
constexpr uint16_t FlagUtf8Name = 0x0800; // the name is UTF-8 (bit 11)

// Little-endian fields of the records.
inline uint16_t GetLE16(const uint8_t *p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t GetLE32(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Replaces Stream by the next volume of a spanned archive.
using TNextDiskProc = std::function<void(TStream *&Stream)>;

// Reasons an entry name must not be used to build an output path.
enum TZipNameProblem : unsigned {
    NameOk = 0,
    NameEmpty = 1,       // neither folder nor file name
    NameAbsolute = 2,    // starts with "\" or a drive "X:"
    NameParentRef = 4,   // a ".." component
    NameControlChar = 8, // NUL or another control character
};

// Names are read in code page 866, or in UTF-8 when the entry is flagged so
// (and the bytes are UTF-8); they are always written in code page 866.
QString DecodeEntryName(const QByteArray &Raw, bool Utf8 = false);
QByteArray EncodeEntryName(const QString &Name);
// Comments are kept as text of the ANSI code page (Windows-1251).
// Raises EBadZipFile when a size or an offset doesn't fit the headers'
// signed 32-bit fields (2 GiB or more: Zip64, which is not understood).
void CheckEntryFits(int64_t CompressedSize, int64_t UncompressedSize, int64_t Offset);

QString DecodeComment(const QByteArray &Raw);
QByteArray EncodeComment(const QString &Text);

class TZipHeaderInfo {
public:
    static QString ClassName() { return QStringLiteral("TZipHeaderInfo"); }

    TZipHeaderInfo() { Clear(); }
    TZipHeaderInfo(const TZipHeaderInfo &) = delete;
    TZipHeaderInfo &operator=(const TZipHeaderInfo &) = delete;

    // Every field to its default.
    void Clear();
    // Copies every field (name and folder through their setters; the comment
    // only when the source holds one with a non-zero length).
    void Assign(const TZipHeaderInfo &Source);
    void AssignTo(TZipHeaderInfo &Dest) const { Dest.Assign(*this); }

    // Header points at the 46 bytes of a central header as read.
    void SetFromCentral(const uint8_t *Header, const QString &Name);
    // Header points at the 30 bytes of a local header as read.
    void SetFromLocal(const uint8_t *Header, const QString &Name);

    // Central header, name and held comment; no extra field (its length is
    // written as 0).
    void WriteCentral(TStream &Stream) const;
    // Stores the stream position as the local header offset, then writes the
    // local header and name (an offset of 2 GiB or more raises EBadZipFile).
    // The extra field length is written as held; the caller writes that many
    // bytes after.
    void WriteLocal(TStream &Stream);

    // Reads a central header at the stream position. False (position
    // restored) on a short read or a wrong signature; on success the stream
    // is past the header's extra field and comment. Raises EBadZipFile for
    // sizes or offsets of 2 GiB or more.
    bool ReadCentral(TStream *&Stream, const TNextDiskProc &NextDiskProc = {});
    // Reads a local header; on success the stream is just after the name
    // and the local header offset is where it started. Same refusals.
    bool ReadLocal(TStream &Stream);

    bool HasComment() const { return FileCommentLength != 0; }
    bool IsEncrypted() const { return (Flag & FlagEncrypted) != 0; }
    bool HasDataDescriptor() const { return (Flag & FlagDataDescriptor) != 0; }
    int64_t LocalSize() const { return LocalHeaderSize + FileNameLength + ExtraFieldLength; }
    int64_t CentralSize() const
    {
        return CentralHeaderSize + FileNameLength + ExtraFieldLength + FileCommentLength;
    }

    const QString &FileName() const { return fileName_; }
    const QString &Directory() const { return directory_; }
    QString FullName() const { return directory_ + fileName_; }
    void SetFileName(const QString &Value);
    // A non-empty value gets a trailing "\".
    void SetDirectory(const QString &Value);

    const std::optional<QString> &FileComment() const { return comment_; }
    // Holds a copy of Text (none for an empty text) and sets its length.
    void SetComment(const QString &Text);

    // Combination of TZipNameProblem bits for FullName().
    unsigned NameProblems() const;

    uint16_t VersionMadeBy;
    uint16_t VersionNeeded;
    uint16_t Flag;
    uint16_t CompressionMethod;
    uint32_t LastModFileDateTime; // MS-DOS form: time low, date high
    uint32_t Crc32;
    int32_t CompressedSize;
    int32_t UncompressedSize;
    uint16_t FileNameLength; // always the encoded length of FullName()
    uint16_t ExtraFieldLength;
    uint16_t FileCommentLength;
    uint16_t DiskNumberStart;
    uint16_t InternalFileAttributes;
    int32_t ExternalFileAttributes;
    int32_t RelativeOffset;  // where the local header starts
    uint32_t CentralOffset;  // where the central header was read; 0 if not read
    bool Selected;           // set by the reader's selection pass
    uint8_t WriterState;     // state of the entry in a pack run of the writer

private:
    void SplitAndSetName(const QString &Name);
    void RecomputeNameLength();

    QString fileName_;
    QString directory_;
    std::optional<QString> comment_;
};

class TEndCentral {
public:
    TEndCentral() { Clear(); }
    TEndCentral(const TEndCentral &) = delete;
    TEndCentral &operator=(const TEndCentral &) = delete;

    void Clear();
    void Assign(const TEndCentral &Source);
    void AssignTo(TEndCentral &Dest) const { Dest.Assign(*this); }

    // The 22 fixed bytes, then the held comment when its length is non-zero.
    void WriteToStream(TStream &Stream) const;
    // Searches the last EndCentralSearchSize bytes for the last end record
    // and takes its fields (the comment is not read). False when there is none.
    bool FindInStream(TStream &Stream);

    bool HasComment() const { return CommentLength != 0; }
    void SetComment(const QString &Text);
    const std::optional<QString> &Comment() const { return comment_; }
    int64_t Size() const { return EndCentralSize + CommentLength; }

    uint32_t Signature;
    uint16_t ThisDiskNumber;
    uint16_t CentralStartDisk;
    uint16_t EntriesThisDisk;
    uint16_t TotalEntries;
    uint32_t CentralSize;
    uint32_t CentralOffset;
    uint16_t CommentLength;
    uint32_t CommentPosition; // archive size - comment length
    bool CommentChanged;

private:
    std::optional<QString> comment_;
};

enum class TZipSortMode {
    ByName,
    ByFileName,
    ByDirectoryName,
    ByDate,
    ByCompressedSize,
    ByUnCompressedSize,
    ByRate,
    ByNone,
};

class TSortedZip : public TSortedObjectList<TZipHeaderInfo> {
public:
    TSortedZip(TDuplicates Duplicates, bool OwnsItems = true)
        : TSortedObjectList(Duplicates, OwnsItems)
    {
    }

    TZipSortMode SortMode = TZipSortMode::ByNone;

    int Compare(const TZipHeaderInfo *A, const TZipHeaderInfo *B) const override;
};

} // namespace zorbel
