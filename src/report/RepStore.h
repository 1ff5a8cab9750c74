// The page store: finished report pages as enhanced metafiles in one stream,
// which is also the report file (".REP") byte for byte.
//
// File layout (little-endian):
//   header, 128 bytes: 0 u16 marker 3; 2 u16 marker 404; 8 i32 page count;
//     16 f64 creation time (TDateTime); 25 u8 compression flag (1 = pages
//     compressed); everything else zero.
//   page records from offset 128, in page order:
//     i32 page number (1-based); i32 offset just behind this record;
//     page data; i32 offset of this record's first byte.
//   Page data is the EMF itself, or (compressed) an i32 EMF length followed
//   by the splay-tree coder's output of the EMF bytes.
//   The last four bytes of a store point at the last record.
// Older files have a 124-byte header (page count at 8, time at 12, flag at
// 21); they are recognised by "EMF\0" at offset 173, where page 1's EMF
// signature lies behind such a header.
//
// Threads: pages are added on the report thread while the preview reads them
// on the window thread. TRepPageList's lock is held for a whole AddPage and
// GetPage; TRepStream's own lock inside each Read, Write and Seek and across
// a whole save. The page list's lock is always taken first.
#pragma once

#include "platform/canvas/Metafile.h"
#include "platform/rtl/Streams.h"

#include "platform/rtl/DateTime.h"

#include <QRect>
#include <QString>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace zorbel {

ZORBEL_EXCEPTION(ERepFileError, Exception);

// Bytes kept in memory before a store moves to a temporary file.
constexpr int64_t kRepDefaultSpillLimit = 250000;
constexpr int kRepHeaderSize = 128;
constexpr int kRepOldHeaderSize = 124;

// The store's stream: in memory up to SpillLimit bytes, then a temporary file
// "REP*" in the user's private temporary folder, deleted when the stream is
// freed; or a report file opened for reading.
class TRepStream : public TStream {
public:
    static std::unique_ptr<TRepStream> CreateInMemory(int64_t spillLimit = kRepDefaultSpillLimit);
    // Opens an existing file for reading (EFOpenError when it cannot be).
    static std::unique_ptr<TRepStream> CreateOnFile(const QString &fileName);
    ~TRepStream() override;

    int64_t Read(void *buffer, int64_t count) override;
    // Writing a stream opened on a file raises EWriteError. Crossing the
    // spill limit (strictly greater) moves the bytes to a temporary file;
    // EFCreateError when none can be made (the stream stays in memory).
    int64_t Write(const void *buffer, int64_t count) override;
    int64_t Seek(int64_t offset, int origin) override;
    void SetSize(int64_t newSize) override;
    int64_t Size() override;

    void Lock() { mutex_.lock(); }
    void Unlock() { mutex_.unlock(); }

    bool Resident() const { return memory_ != nullptr; }
    bool ReadOnly() const { return readOnly_; }
    // The temporary file's path once spilled; empty otherwise.
    QString TempPath() const { return tempPath_; }
    int64_t SpillLimit() const { return spillLimit_; }

private:
    TRepStream() = default;
    void Spill();
    TStream &Current();

    std::recursive_mutex mutex_;
    std::unique_ptr<TMemoryStream> memory_;
    std::unique_ptr<TFileStream> disk_; // the spilled store, or a report file
    QString tempPath_;                  // the spilled store's file, removed with it
    bool readOnly_ = false;             // opened on a report file
    int64_t spillLimit_ = kRepDefaultSpillLimit;
};

// The adaptive splay-tree byte coder. One coder codes one page; the tree
// starts complete (every byte an 8- or 9-bit code) and each coded byte's leaf
// moves half-way to the root, in the encoder and the decoder alike.
// Bits fill a byte from its least significant bit up.
class TRepCompress {
public:
    // target is read (decoding) or written (encoding); not owned.
    TRepCompress(TStream &target, bool encoding);
    // An encoder writes its last, partly filled byte.
    ~TRepCompress();
    TRepCompress(const TRepCompress &) = delete;
    TRepCompress &operator=(const TRepCompress &) = delete;

    // Encodes one byte.
    void Expand(uint8_t byte);
    // Decodes one byte; EReadError when the coded bytes run out.
    uint8_t Contract();
    // Writes the partial byte now (the destructor then writes nothing).
    void Flush();

private:
    void Splay(int leaf);

    uint8_t bitIndex_;
    bool encoding_;
    uint16_t inputByte_ = 0;
    uint16_t left_[256];
    uint16_t right_[256];
    uint16_t pendingByte_ = 0;
    TStream &target_;
    uint8_t up_[513];
};

// One outline entry: a title shown as a tree node at its level, pointing at
// an area of a page.
struct TRepOutlineEntry {
    QString Title; // at most 51 characters
    int Level = 1; // 1 = top
    QRect Area;
    int PageNumber = 0;
    int Key = 0;
};

// The tree a preview shows the outline in. The preview implements it over its
// tree view.
class TRepOutlineNodes {
public:
    virtual ~TRepOutlineNodes() = default;
    virtual void BeginUpdate() = 0;
    virtual void EndUpdate() = 0;
    virtual void Clear() = 0;
    // Adds a node under parent (nullptr: top level) and returns it.
    virtual void *Add(void *parent, const QString &title, int key) = 0;
};

class TRepOutline {
public:
    std::vector<TRepOutlineEntry> Items;

    // Attaches a tree and fills it (nullptr detaches): an entry of level L
    // becomes a child of the latest node added at level L - 1.
    void SetTreeNodes(TRepOutlineNodes *nodes);
    // The area and page of the first entry with this key; false (empty area,
    // page 0) when there is none.
    bool FindNode(int key, QRect &area, int &pageNumber) const;
    void Clear() { Items.clear(); }

private:
    TRepOutlineNodes *targetNodes_ = nullptr;
};

// The pages of one report. Requires a store (SetStore or LoadFromFile)
// before pages are added or read.
class TRepPageList {
public:
    TRepPageList();
    ~TRepPageList();
    TRepPageList(const TRepPageList &) = delete;
    TRepPageList &operator=(const TRepPageList &) = delete;

    // Whether added pages are compressed; set before the first page. Loading
    // a file takes it from the file's header.
    bool Compressed() const { return compressed_; }
    void SetCompressed(bool on) { compressed_ = on; }
    int StoredPages() const { return storedPages_; }

    TRepStream *Store() const { return store_.get(); }
    // Takes a fresh (empty) store; the page count restarts at 0.
    void SetStore(std::unique_ptr<TRepStream> store);
    TRepOutline &OutlineData() { return outline_; }

    // Appends a page (writing the header with the first one).
    void AddPage(const TMetafile &page);
    // Page n (1-based); nullptr when n is outside 1..StoredPages. Raises
    // ERepFileError when the stored page is damaged.
    std::unique_ptr<TMetafile> GetPage(int n);

    // Rewrites the header with the current page count, time and flag.
    void WriteHeader();
    // Reads the header (old or new form) and the compression flag; checks
    // every record of the chain. ERepFileError on a damaged or foreign file.
    void ReadHeader();

    // Opens a report file as the store (the old store is freed). On failure
    // the list is left empty and the error raised.
    void LoadFromFile(const QString &fileName);
    // Writes the store to a file: into a temporary file beside it, renamed
    // over it at the end, so the file being replaced (even the store's own)
    // stays whole on failure.
    void SaveToFile(const QString &fileName);
    // Frees the store; the page count is 0.
    void Clear();

    void Lock() { mutex_.lock(); }
    void Unlock() { mutex_.unlock(); }

private:
    std::recursive_mutex mutex_;
    bool compressed_ = false;
    std::atomic<int> storedPages_ = 0;
    int headerSize_ = kRepHeaderSize;
    std::unique_ptr<TRepStream> store_;
    std::vector<int64_t> records_; // offset of each page's record
    TRepOutline outline_;
};

} // namespace zorbel
