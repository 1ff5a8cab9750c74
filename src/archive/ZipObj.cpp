// Zip records in memory: reading and writing the local and central headers, the end record and the entry list.
#include "archive/ZipObj.h"

#include "platform/rtl/CodePages.h"
#include "platform/rtl/StrUtils.h"

#include <QByteArray>
#include <QStringDecoder>
#include <array>
#include <cmath>
#include <vector>

namespace zorbel {

namespace {

void Put16(uint8_t *p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void Put32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

// Sizes and offsets of 2 GiB or more would turn negative in the 32-bit
// signed fields.
void RefuseLarge(uint32_t CompressedSize, uint32_t UncompressedSize, uint32_t Offset)
{
    CheckEntryFits(CompressedSize, UncompressedSize, Offset);
}

// Reads Length name bytes (UTF-8 when the entry's Flag says so, else code
// page 866); false on a short read.
bool ReadName(TStream &Stream, int Length, uint16_t Flag, QString &Name)
{
    Name.clear();
    if (Length == 0)
        return true;
    QByteArray raw(Length, Qt::Uninitialized);
    if (Stream.Read(raw.data(), Length) != Length)
        return false;
    Name = DecodeEntryName(raw, (Flag & FlagUtf8Name) != 0);
    return true;
}

} // namespace

void CheckEntryFits(int64_t CompressedSize, int64_t UncompressedSize, int64_t Offset)
{
    constexpr int64_t Limit = INT32_MAX;
    if (CompressedSize > Limit || UncompressedSize > Limit || Offset > Limit)
        throw EBadZipFile(QStringLiteral("Entry sizes or offsets of 2 GiB or more are not supported"));
}

QString DecodeEntryName(const QByteArray &Raw, bool Utf8)
{
    QString name;
    if (Utf8) {
        QStringDecoder decoder(QStringDecoder::Utf8);
        name = decoder(Raw);
        // Flagged but not UTF-8 (a writer that sets the flag wrongly): read
        // it as code page 866, as unflagged names are.
        if (decoder.hasError())
            name = Cp866ToUnicode(Raw);
    } else {
        name = Cp866ToUnicode(Raw);
    }
    SlashesToBackward(name);
    return name;
}

QByteArray EncodeEntryName(const QString &Name)
{
    QString s = Name;
    SlashesToForward(s);
    return UnicodeToCp866(s);
}

QString DecodeComment(const QByteArray &Raw) { return Win1251ToUnicode(Raw); }
QByteArray EncodeComment(const QString &Text) { return UnicodeToWin1251(Text); }

// ---- TZipHeaderInfo ----

void TZipHeaderInfo::Clear()
{
    VersionMadeBy = 20;
    VersionNeeded = 20;
    Flag = 0;
    CompressionMethod = 8;
    LastModFileDateTime = 0;
    Crc32 = 0xFFFFFFFF;
    CompressedSize = 0;
    UncompressedSize = 0;
    FileNameLength = 0;
    ExtraFieldLength = 0;
    FileCommentLength = 0;
    DiskNumberStart = 0;
    InternalFileAttributes = 1;
    ExternalFileAttributes = 32;
    RelativeOffset = 0;
    CentralOffset = 0;
    Selected = false;
    WriterState = 0;
    fileName_.clear();
    directory_.clear();
    comment_.reset();
}

void TZipHeaderInfo::Assign(const TZipHeaderInfo &Source)
{
    if (&Source == this)
        return;
    VersionMadeBy = Source.VersionMadeBy;
    VersionNeeded = Source.VersionNeeded;
    Flag = Source.Flag;
    CompressionMethod = Source.CompressionMethod;
    LastModFileDateTime = Source.LastModFileDateTime;
    Crc32 = Source.Crc32;
    CompressedSize = Source.CompressedSize;
    UncompressedSize = Source.UncompressedSize;
    ExtraFieldLength = Source.ExtraFieldLength;
    FileCommentLength = Source.FileCommentLength;
    DiskNumberStart = Source.DiskNumberStart;
    InternalFileAttributes = Source.InternalFileAttributes;
    ExternalFileAttributes = Source.ExternalFileAttributes;
    RelativeOffset = Source.RelativeOffset;
    CentralOffset = Source.CentralOffset;
    Selected = Source.Selected;
    WriterState = Source.WriterState;
    SetFileName(Source.fileName_);
    SetDirectory(Source.directory_);
    comment_.reset();
    if (Source.comment_ && Source.FileCommentLength != 0)
        comment_ = Source.comment_;
}

void TZipHeaderInfo::SplitAndSetName(const QString &Name)
{
    const qsizetype slash = Name.lastIndexOf(u'\\');
    fileName_ = Name.mid(slash + 1);
    directory_ = slash >= 0 ? Name.left(slash + 1) : QString();
    RecomputeNameLength();
}

void TZipHeaderInfo::SetFromCentral(const uint8_t *Header, const QString &Name)
{
    VersionMadeBy = GetLE16(Header + 4);
    VersionNeeded = GetLE16(Header + 6);
    Flag = GetLE16(Header + 8);
    CompressionMethod = GetLE16(Header + 10);
    LastModFileDateTime = ClampDosDateTime(GetLE32(Header + 12));
    Crc32 = GetLE32(Header + 16);
    CompressedSize = int32_t(GetLE32(Header + 20));
    UncompressedSize = int32_t(GetLE32(Header + 24));
    ExtraFieldLength = GetLE16(Header + 30);
    FileCommentLength = GetLE16(Header + 32);
    DiskNumberStart = GetLE16(Header + 34);
    InternalFileAttributes = GetLE16(Header + 36);
    ExternalFileAttributes = int32_t(GetLE32(Header + 38));
    RelativeOffset = int32_t(GetLE32(Header + 42));
    SplitAndSetName(Name);
    // The name length is that of the stored name, whatever its decoding.
    FileNameLength = GetLE16(Header + 28);
    CentralOffset = 0;
    comment_.reset();
    Selected = false;
}

void TZipHeaderInfo::SetFromLocal(const uint8_t *Header, const QString &Name)
{
    VersionMadeBy = 0;
    VersionNeeded = GetLE16(Header + 4);
    Flag = GetLE16(Header + 6);
    CompressionMethod = GetLE16(Header + 8);
    LastModFileDateTime = ClampDosDateTime(GetLE32(Header + 10));
    Crc32 = GetLE32(Header + 14);
    CompressedSize = int32_t(GetLE32(Header + 18));
    UncompressedSize = int32_t(GetLE32(Header + 22));
    ExtraFieldLength = GetLE16(Header + 28);
    FileCommentLength = 0;
    DiskNumberStart = 0;
    InternalFileAttributes = 0;
    ExternalFileAttributes = 0;
    RelativeOffset = 0;
    CentralOffset = 0;
    SplitAndSetName(Name);
    FileNameLength = GetLE16(Header + 26);
    comment_.reset();
    Selected = false;
}

void TZipHeaderInfo::WriteCentral(TStream &Stream) const
{
    const QByteArray name = FileNameLength ? EncodeEntryName(FullName()) : QByteArray();
    const QByteArray comment = comment_ ? EncodeComment(*comment_) : QByteArray();
    std::array<uint8_t, CentralHeaderSize> h{};
    Put32(&h[0], CentralHeaderSig);
    Put16(&h[4], VersionMadeBy);
    Put16(&h[6], VersionNeeded);
    Put16(&h[8], Flag & ~FlagUtf8Name); // the name is written in code page 866
    Put16(&h[10], CompressionMethod);
    Put32(&h[12], LastModFileDateTime);
    Put32(&h[16], Crc32);
    Put32(&h[20], uint32_t(CompressedSize));
    Put32(&h[24], uint32_t(UncompressedSize));
    Put16(&h[28], uint16_t(name.size()));
    Put16(&h[30], 0);
    Put16(&h[32], uint16_t(comment.size()));
    Put16(&h[34], DiskNumberStart);
    Put16(&h[36], InternalFileAttributes);
    Put32(&h[38], uint32_t(ExternalFileAttributes));
    Put32(&h[42], uint32_t(RelativeOffset));
    Stream.WriteBuffer(h.data(), h.size());
    if (!name.isEmpty())
        Stream.WriteBuffer(name.constData(), name.size());
    if (!comment.isEmpty())
        Stream.WriteBuffer(comment.constData(), comment.size());
}

void TZipHeaderInfo::WriteLocal(TStream &Stream)
{
    CheckEntryFits(0, 0, Stream.Position());
    RelativeOffset = int32_t(Stream.Position());
    const QByteArray name = FileNameLength ? EncodeEntryName(FullName()) : QByteArray();
    std::array<uint8_t, LocalHeaderSize> h{};
    Put32(&h[0], LocalHeaderSig);
    Put16(&h[4], VersionNeeded);
    Put16(&h[6], Flag & ~FlagUtf8Name); // the name is written in code page 866
    Put16(&h[8], CompressionMethod);
    Put32(&h[10], LastModFileDateTime);
    Put32(&h[14], Crc32);
    Put32(&h[18], uint32_t(CompressedSize));
    Put32(&h[22], uint32_t(UncompressedSize));
    Put16(&h[26], uint16_t(name.size()));
    Put16(&h[28], ExtraFieldLength);
    Stream.WriteBuffer(h.data(), h.size());
    if (!name.isEmpty())
        Stream.WriteBuffer(name.constData(), name.size());
}

bool TZipHeaderInfo::ReadCentral(TStream *&Stream, const TNextDiskProc &NextDiskProc)
{
    TStream *start = Stream;
    const int64_t p = Stream->Position();
    auto restore = [&] {
        if (Stream == start)
            Stream->Seek(p, soFromBeginning);
        return false;
    };
    std::array<uint8_t, CentralHeaderSize> h{};
    int64_t got = Stream->Read(h.data(), CentralHeaderSize);
    if (NextDiskProc && (got == 0 || (got >= 4 && got < CentralHeaderSize && GetLE32(h.data()) == CentralHeaderSig))) {
        NextDiskProc(Stream);
        got += Stream->Read(h.data() + got, CentralHeaderSize - got);
    }
    if (got < CentralHeaderSize || GetLE32(h.data()) != CentralHeaderSig)
        return restore();
    RefuseLarge(GetLE32(&h[20]), GetLE32(&h[24]), GetLE32(&h[42]));
    QString name;
    if (!ReadName(*Stream, GetLE16(&h[28]), GetLE16(&h[8]), name))
        return restore();
    Stream->Seek(int64_t(GetLE16(&h[30])) + GetLE16(&h[32]), soFromCurrent);
    SetFromCentral(h.data(), name);
    CentralOffset = uint32_t(p);
    return true;
}

bool TZipHeaderInfo::ReadLocal(TStream &Stream)
{
    const int64_t p = Stream.Position();
    std::array<uint8_t, LocalHeaderSize> h{};
    if (Stream.Read(h.data(), LocalHeaderSize) != LocalHeaderSize || GetLE32(h.data()) != LocalHeaderSig) {
        Stream.Seek(p, soFromBeginning);
        return false;
    }
    RefuseLarge(GetLE32(&h[18]), GetLE32(&h[22]), uint32_t(p));
    QString name;
    if (!ReadName(Stream, GetLE16(&h[26]), GetLE16(&h[6]), name)) {
        Stream.Seek(p, soFromBeginning);
        return false;
    }
    SetFromLocal(h.data(), name);
    RelativeOffset = int32_t(p);
    return true;
}

void TZipHeaderInfo::RecomputeNameLength()
{
    FileNameLength = uint16_t(UnicodeToCp866(directory_ + fileName_).size());
}

void TZipHeaderInfo::SetFileName(const QString &Value)
{
    if (Value == fileName_)
        return;
    fileName_ = Value;
    RecomputeNameLength();
}

void TZipHeaderInfo::SetDirectory(const QString &Value)
{
    QString dir = Value;
    if (!dir.isEmpty() && !dir.endsWith(u'\\'))
        dir += u'\\';
    if (dir == directory_)
        return;
    directory_ = dir;
    RecomputeNameLength();
}

void TZipHeaderInfo::SetComment(const QString &Text)
{
    if (Text.isEmpty()) {
        comment_.reset();
        FileCommentLength = 0;
        return;
    }
    comment_ = Text;
    FileCommentLength = uint16_t(EncodeComment(Text).size());
}

unsigned TZipHeaderInfo::NameProblems() const
{
    const QString name = FullName();
    unsigned problems = NameOk;
    if (name.isEmpty())
        return NameEmpty;
    if (name.startsWith(u'\\') || (name.size() >= 2 && name[1] == u':'))
        problems |= NameAbsolute;
    for (QChar c : name)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            problems |= NameControlChar;
    for (const QString &part : name.split(u'\\'))
        if (part == u"..")
            problems |= NameParentRef;
    return problems;
}

// ---- TEndCentral ----

void TEndCentral::Clear()
{
    Signature = EndCentralSig;
    ThisDiskNumber = 0;
    CentralStartDisk = 0;
    EntriesThisDisk = 0;
    TotalEntries = 0;
    CentralSize = 0;
    CentralOffset = 0;
    CommentLength = 0;
    CommentPosition = 0;
    CommentChanged = false;
    comment_.reset();
}

void TEndCentral::Assign(const TEndCentral &Source)
{
    if (&Source == this)
        return;
    Signature = Source.Signature;
    ThisDiskNumber = Source.ThisDiskNumber;
    CentralStartDisk = Source.CentralStartDisk;
    EntriesThisDisk = Source.EntriesThisDisk;
    TotalEntries = Source.TotalEntries;
    CentralSize = Source.CentralSize;
    CentralOffset = Source.CentralOffset;
    CommentLength = Source.CommentLength;
    CommentPosition = Source.CommentPosition;
    comment_.reset();
    if (Source.comment_ && Source.CommentLength != 0)
        SetComment(*Source.comment_);
}

void TEndCentral::WriteToStream(TStream &Stream) const
{
    std::array<uint8_t, EndCentralSize> h{};
    Put32(&h[0], Signature);
    Put16(&h[4], ThisDiskNumber);
    Put16(&h[6], CentralStartDisk);
    Put16(&h[8], EntriesThisDisk);
    Put16(&h[10], TotalEntries);
    Put32(&h[12], CentralSize);
    Put32(&h[16], CentralOffset);
    Put16(&h[20], CommentLength);
    Stream.WriteBuffer(h.data(), h.size());
    if (CommentLength != 0 && comment_) {
        const QByteArray text = EncodeComment(*comment_);
        Stream.WriteBuffer(text.constData(), text.size());
    }
}

bool TEndCentral::FindInStream(TStream &Stream)
{
    const int64_t size = Stream.Size();
    if (size < EndCentralSize)
        return false;
    const int64_t n = std::min<int64_t>(size, EndCentralSearchSize);
    std::vector<uint8_t> buf(static_cast<size_t>(n));
    Stream.Seek(size - n, soFromBeginning);
    if (Stream.Read(buf.data(), n) != n)
        return false;
    for (int64_t i = n - EndCentralSize; i >= 0; --i) {
        const uint8_t *r = &buf[size_t(i)];
        if (r[0] != 'P' || GetLE32(r) != EndCentralSig)
            continue;
        ThisDiskNumber = GetLE16(r + 4);
        CentralStartDisk = GetLE16(r + 6);
        EntriesThisDisk = GetLE16(r + 8);
        TotalEntries = GetLE16(r + 10);
        CentralSize = GetLE32(r + 12);
        CentralOffset = GetLE32(r + 16);
        CommentLength = GetLE16(r + 20);
        CommentPosition = uint32_t(size - CommentLength);
        return true;
    }
    return false;
}

void TEndCentral::SetComment(const QString &Text)
{
    if (Text.isEmpty()) {
        comment_.reset();
        CommentLength = 0;
        return;
    }
    comment_ = Text;
    CommentLength = uint16_t(EncodeComment(Text).size());
}

// ---- TSortedZip ----

namespace {

double DateOrZero(uint32_t Dos)
{
    TDateTime value = 0;
    return DosDateTimeToDateTime(Dos, value) ? value : 0;
}

int Rate(const TZipHeaderInfo *E)
{
    return Percent(E->CompressedSize, E->UncompressedSize);
}

} // namespace

int TSortedZip::Compare(const TZipHeaderInfo *A, const TZipHeaderInfo *B) const
{
    switch (SortMode) {
    case TZipSortMode::ByName:
        return CompareText(A->FullName(), B->FullName());
    case TZipSortMode::ByFileName:
        return CompareText(A->FileName(), B->FileName());
    case TZipSortMode::ByDirectoryName:
        return CompareText(A->Directory(), B->Directory());
    case TZipSortMode::ByDate:
        return DateOrZero(B->LastModFileDateTime) > DateOrZero(A->LastModFileDateTime) ? 1 : -1;
    case TZipSortMode::ByCompressedSize:
        return B->CompressedSize > A->CompressedSize ? 1 : -1;
    case TZipSortMode::ByUnCompressedSize:
        return B->UncompressedSize > A->UncompressedSize ? 1 : -1;
    case TZipSortMode::ByRate:
        return Rate(B) - Rate(A);
    case TZipSortMode::ByNone:
        break;
    }
    if (A->DiskNumberStart != B->DiskNumberStart)
        return A->DiskNumberStart < B->DiskNumberStart ? -1 : 1;
    if (A->RelativeOffset != B->RelativeOffset)
        return A->RelativeOffset < B->RelativeOffset ? -1 : 1;
    return 0;
}

} // namespace zorbel
