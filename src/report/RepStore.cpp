// Page store: the spilling stream, the splay-tree coder, the page list with
// its record chain, the outline. Layouts are described in RepStore.h.
//
// A loaded file is trusted in nothing: the header's markers and page count,
// every record's page number, next offset and back pointer are checked
// against the file before a page is read; a page's EMF length is bounded by
// its record and a compressed page's coded bytes by the record's end. A
// failure raises ERepFileError with what was wrong and where.
#include "report/RepStore.h"
#include "platform/rtl/Assert.h"

#include "platform/rtl/DateTime.h"
#include "platform/system/SysFiles.h"

#include "platform/system/SysEnv.h"

#include <QFile>
#include <cstring>

namespace zorbel {

namespace {

constexpr uint16_t kMarker1 = 3;
constexpr uint16_t kMarker2 = 404;
constexpr int kSaveBlock = 10240;
// Largest metafile a page may hold.
constexpr int64_t kMaxPageBytes = int64_t(1) << 30;

[[noreturn]] void Damaged(const QString &what)
{
    throw ERepFileError(QStringLiteral("The report file is damaged or not a report file: ") + what);
}

int32_t ReadI32(TStream &s)
{
    int32_t v = 0;
    s.ReadBuffer(&v, 4);
    return v;
}

void WriteI32(TStream &s, int32_t v) { s.WriteBuffer(&v, 4); }

// Holds a lock for a scope (both locks here are recursive mutexes).
template <typename T> struct Locked {
    explicit Locked(T &t) : Target(t) { Target.Lock(); }
    ~Locked() { Target.Unlock(); }
    T &Target;
};

} // namespace

// ---- stream ----

std::unique_ptr<TRepStream> TRepStream::CreateInMemory(int64_t spillLimit)
{
    std::unique_ptr<TRepStream> s(new TRepStream);
    s->memory_ = std::make_unique<TMemoryStream>();
    s->spillLimit_ = spillLimit;
    return s;
}

std::unique_ptr<TRepStream> TRepStream::CreateOnFile(const QString &fileName)
{
    std::unique_ptr<TRepStream> s(new TRepStream);
    s->disk_ = std::make_unique<TFileStream>(fileName, fmOpenRead | fmShareDenyNone, ReadBound::ReportFile);
    s->readOnly_ = true;
    return s;
}

TRepStream::~TRepStream()
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    memory_.reset();
    disk_.reset();
    if (!tempPath_.isEmpty())
        TSysEnv::Remove(tempPath_);
}

TStream &TRepStream::Current()
{
    if (memory_)
        return *memory_;
    return *disk_;
}

void TRepStream::Spill()
{
    const QString folder = UserTempFolder();
    if (folder.isEmpty())
        throw EFCreateError(QStringLiteral("No temporary folder for the report pages"));
    QByteArray name = EncodeSystemName(folder + QStringLiteral("REPXXXXXX"));
    const int fd = TSysEnv::OpenTemp(name);
    if (fd < 0)
        throw EFCreateError(QStringLiteral("Cannot create a temporary file for the report pages: %1")
                                .arg(qt_error_string(errno)));
    TSysEnv::Close(fd);
    const QString path = DecodeSystemName(name);
    try {
        auto disk = std::make_unique<TFileStream>(path, fmOpenReadWrite);
        disk->WriteBuffer(memory_->Memory(), memory_->Size());
        disk->SetPosition(memory_->Position());
        disk_ = std::move(disk);
    } catch (...) {
        TSysEnv::Remove(path);
        throw;
    }
    tempPath_ = path;
    memory_.reset();
}

int64_t TRepStream::Read(void *buffer, int64_t count)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return Current().Read(buffer, count);
}

int64_t TRepStream::Write(const void *buffer, int64_t count)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (readOnly_)
        throw EWriteError(QStringLiteral("A report opened from a file cannot be written to"));
    const int64_t n = Current().Write(buffer, count);
    if (memory_ && memory_->Size() > spillLimit_)
        Spill();
    return n;
}

int64_t TRepStream::Seek(int64_t offset, int origin)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return Current().Seek(offset, origin);
}

void TRepStream::SetSize(int64_t newSize)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (readOnly_)
        throw EWriteError(QStringLiteral("A report opened from a file cannot be written to"));
    Current().SetSize(newSize);
}

int64_t TRepStream::Size()
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return Current().Size();
}

// ---- coder ----

TRepCompress::TRepCompress(TStream &target, bool encoding)
    : bitIndex_(encoding ? 0 : 7), encoding_(encoding), target_(target)
{
    for (int i = 0; i < 256; ++i) {
        left_[i] = uint16_t(2 * i + 1);
        right_[i] = uint16_t(2 * i + 2);
    }
    up_[0] = 0;
    for (int i = 1; i <= 512; ++i)
        up_[i] = uint8_t((i - 1) / 2);
}

TRepCompress::~TRepCompress()
{
    if (encoding_ && bitIndex_ != 0) {
        try {
            Flush();
        } catch (const Exception &) {
            // A failing stream reports its error on the caller's next write.
        }
    }
}

void TRepCompress::Flush()
{
    if (encoding_ && bitIndex_ != 0) {
        const uint8_t b = uint8_t(pendingByte_);
        bitIndex_ = 0;
        pendingByte_ = 0;
        target_.WriteBuffer(&b, 1);
    }
}

void TRepCompress::Splay(int a)
{
    // Semi-splay: each step swaps a's subtree with its grandparent's other
    // child, halving the leaf's distance to the root.
    while (a != 0) {
        const int c = up_[a];
        if (c != 0) {
            const int d = up_[c];
            int b = left_[d];
            if (c == b) {
                b = right_[d];
                right_[d] = uint16_t(a);
            } else {
                left_[d] = uint16_t(a);
            }
            if (a == left_[c])
                left_[c] = uint16_t(b);
            else
                right_[c] = uint16_t(b);
            up_[a] = uint8_t(d);
            up_[b] = uint8_t(c);
            a = d;
        } else {
            a = c;
        }
    }
}

void TRepCompress::Expand(uint8_t byte)
{
    // The path from the leaf up, as right-child bits; emitted root first.
    bool bits[512];
    int n = 0;
    int node = 256 + byte;
    do {
        const int parent = up_[node];
        bits[n++] = right_[parent] == node;
        node = parent;
    } while (node != 0);
    while (n > 0) {
        if (bits[--n])
            pendingByte_ |= uint16_t(1u << bitIndex_);
        if (bitIndex_ == 7) {
            const uint8_t b = uint8_t(pendingByte_);
            target_.WriteBuffer(&b, 1);
            bitIndex_ = 0;
            pendingByte_ = 0;
        } else {
            ++bitIndex_;
        }
    }
    Splay(256 + byte);
}

uint8_t TRepCompress::Contract()
{
    int node = 0;
    while (node < 256) {
        if (bitIndex_ == 7) {
            uint8_t b;
            if (target_.Read(&b, 1) != 1)
                throw EReadError(QStringLiteral("A compressed report page ends early"));
            inputByte_ = b;
            bitIndex_ = 0;
        } else {
            ++bitIndex_;
        }
        node = (inputByte_ >> bitIndex_) & 1 ? right_[node] : left_[node];
    }
    if (node > 511)
        throw EReadError(QStringLiteral("A compressed report page holds an invalid code"));
    Splay(node);
    return uint8_t(node - 256);
}

// ---- outline ----

void TRepOutline::SetTreeNodes(TRepOutlineNodes *nodes)
{
    targetNodes_ = nodes;
    if (!nodes)
        return;
    nodes->BeginUpdate();
    nodes->Clear();
    std::vector<void *> latest; // latest node per level, index level - 1
    for (const TRepOutlineEntry &e : Items) {
        const int level = std::max(1, e.Level);
        void *parent = level >= 2 && size_t(level - 2) < latest.size() ? latest[size_t(level - 2)] : nullptr;
        void *node = nodes->Add(parent, e.Title.left(51), e.Key);
        if (latest.size() < size_t(level))
            latest.resize(size_t(level), nullptr);
        latest[size_t(level - 1)] = node;
        latest.resize(size_t(level));
    }
    nodes->EndUpdate();
}

bool TRepOutline::FindNode(int key, QRect &area, int &pageNumber) const
{
    for (const TRepOutlineEntry &e : Items)
        if (e.Key == key) {
            area = e.Area;
            pageNumber = e.PageNumber;
            return true;
        }
    area = QRect();
    pageNumber = 0;
    return false;
}

// ---- page list ----

TRepPageList::TRepPageList() = default;

TRepPageList::~TRepPageList()
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    store_.reset();
}

void TRepPageList::SetStore(std::unique_ptr<TRepStream> store)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    store_ = std::move(store);
    storedPages_ = 0;
    headerSize_ = kRepHeaderSize;
    records_.clear();
}

void TRepPageList::Clear()
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    store_.reset();
    storedPages_ = 0;
    records_.clear();
}

void TRepPageList::WriteHeader()
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!store_)
        return;
    uint8_t h[kRepHeaderSize] = {};
    std::memcpy(h, &kMarker1, 2);
    std::memcpy(h + 2, &kMarker2, 2);
    const int32_t count = storedPages_;
    std::memcpy(h + 8, &count, 4);
    const double now = Now();
    std::memcpy(h + 16, &now, 8);
    h[25] = compressed_ ? 1 : 0;
    Locked<TRepStream> streamLock(*store_);
    const int64_t back = store_->Position();
    store_->SetPosition(0);
    store_->WriteBuffer(h, sizeof h);
    if (back > int64_t(sizeof h))
        store_->SetPosition(back);
}

void TRepPageList::AddPage(const TMetafile &page)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!store_)
        throw ERepFileError(QStringLiteral("No page store to add a page to"));
    Locked<TRepStream> streamLock(*store_);
    const int number = storedPages_ + 1;
    const int64_t start = std::max<int64_t>(store_->Size(), headerSize_);
    try {
        if (number == 1) {
            storedPages_ = 1; // the first header already counts this page
            WriteHeader();
        }
        store_->SetPosition(start);
        WriteI32(*store_, number);
        const int64_t next = store_->Position();
        WriteI32(*store_, 0);
        if (!compressed_) {
            page.SaveToStream(*store_);
        } else {
            WriteI32(*store_, int32_t(page.Data().size()));
            TRepCompress coder(*store_, true);
            for (char c : page.Data())
                coder.Expand(uint8_t(c));
            coder.Flush();
        }
        WriteI32(*store_, int32_t(start));
        const int64_t end = store_->Position();
        if (end > INT32_MAX)
            throw ERepFileError(QStringLiteral("The report has grown beyond what a report file can hold"));
        store_->SetPosition(next);
        WriteI32(*store_, int32_t(end));
        store_->SetPosition(end);
    } catch (...) {
        // Drop the half-written record; the pages before it stay whole.
        storedPages_ = number - 1;
        try {
            store_->SetSize(start);
        } catch (const Exception &) {
            // The failure being raised is the one reported; the pages before stay whole.
        }
        throw;
    }
    // Records lie in page order behind the header, one offset per page.
    ZORBEL_ASSERT(records_.size() == size_t(number - 1) && start >= headerSize_);
    ZORBEL_ASSERT(records_.empty() || records_.back() < start);
    storedPages_ = number;
    records_.push_back(start);
}

std::unique_ptr<TMetafile> TRepPageList::GetPage(int n)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!store_ || n < 1 || n > storedPages_ || size_t(n) > records_.size())
        return nullptr;
    Locked<TRepStream> streamLock(*store_);
    const int64_t start = records_[size_t(n - 1)];
    store_->SetPosition(start);
    const int32_t number = ReadI32(*store_);
    const int64_t next = ReadI32(*store_);
    if (number != n || next < start + 12)
        Damaged(QStringLiteral("page %1 record at %2").arg(n).arg(start));
    const int64_t dataSize = next - 4 - (start + 8);
    auto page = std::make_unique<TMetafile>();
    try {
        if (!compressed_) {
            page->LoadFromStream(*store_, dataSize);
        } else {
            const int32_t length = ReadI32(*store_);
            const int64_t coded = dataSize - 4;
            // Every byte takes at least one bit.
            if (length < 88 || length > kMaxPageBytes || coded < 0 || int64_t(length) > coded * 8)
                Damaged(QStringLiteral("page %1 length %2").arg(n).arg(length));
            TMemoryStream input;
            input.SetSize(coded);
            store_->ReadBuffer(input.Memory(), coded);
            TRepCompress decoder(input, false);
            QByteArray bytes(length, Qt::Uninitialized);
            for (int32_t i = 0; i < length; ++i)
                bytes[i] = char(decoder.Contract());
            page->SetData(bytes);
        }
    } catch (const ERepFileError &) {
        throw;
    } catch (const Exception &e) {
        Damaged(QStringLiteral("page %1: %2").arg(n).arg(e.Message()));
    }
    store_->SetPosition(next);
    return page;
}

void TRepPageList::ReadHeader()
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!store_)
        return;
    Locked<TRepStream> streamLock(*store_);
    const int64_t size = store_->Size();
    uint8_t h[kRepHeaderSize] = {};
    store_->SetPosition(0);
    if (size < kRepOldHeaderSize || store_->Read(h, kRepOldHeaderSize) != kRepOldHeaderSize)
        Damaged(QStringLiteral("too short for a header"));
    char signature[4] = {};
    bool old = false;
    if (size >= 177) {
        store_->SetPosition(173);
        store_->ReadBuffer(signature, 4);
        old = std::memcmp(signature, "EMF\0", 4) == 0;
    }
    // The file's own flag decides how its pages are decoded, whatever the
    // setting of the report on screen: a report saved with compressed pages
    // opens in any preview, where decoding by the current setting would fail
    // on the user's own saved files.
    int32_t count;
    if (old) {
        // The older header: count at 8, time at 12, flag at 21.
        headerSize_ = kRepOldHeaderSize;
        std::memcpy(&count, h + 8, 4);
        compressed_ = h[21] == 1;
    } else {
        if (size < kRepHeaderSize)
            Damaged(QStringLiteral("too short for a header"));
        store_->SetPosition(0);
        store_->ReadBuffer(h, kRepHeaderSize);
        uint16_t m1, m2;
        std::memcpy(&m1, h, 2);
        std::memcpy(&m2, h + 2, 2);
        if (m1 != kMarker1 || m2 != kMarker2)
            Damaged(QStringLiteral("no report file marker"));
        headerSize_ = kRepHeaderSize;
        std::memcpy(&count, h + 8, 4);
        compressed_ = h[25] == 1;
    }
    if (count < 0 || count > (size - headerSize_) / 12)
        Damaged(QStringLiteral("page count %1").arg(count));
    // Walk the chain: each record must point forward, inside the file, and back at itself.
    std::vector<int64_t> records;
    records.reserve(size_t(count));
    int64_t pos = headerSize_;
    for (int32_t i = 1; i <= count; ++i) {
        if (size - pos < 12)
            Damaged(QStringLiteral("page %1 missing").arg(i));
        store_->SetPosition(pos);
        const int32_t number = ReadI32(*store_);
        const int64_t next = ReadI32(*store_);
        if (number != i || next < pos + 12 || next > size)
            Damaged(QStringLiteral("page %1 record at %2").arg(i).arg(pos));
        store_->SetPosition(next - 4);
        if (ReadI32(*store_) != pos)
            Damaged(QStringLiteral("page %1 back link").arg(i));
        records.push_back(pos);
        pos = next;
    }
    records_ = std::move(records);
    storedPages_ = count;
}

void TRepPageList::LoadFromFile(const QString &fileName)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Clear();
    store_ = TRepStream::CreateOnFile(fileName);
    try {
        ReadHeader();
        if (storedPages_ > 0)
            GetPage(storedPages_);
    } catch (...) {
        Clear();
        throw;
    }
}

void TRepPageList::SaveToFile(const QString &fileName)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!store_)
        throw ERepFileError(QStringLiteral("There are no pages to save"));
    Locked<TRepStream> streamLock(*store_);
    // A store being recorded gets its current page count first, so a report
    // saved before its run ended (or after it was aborted) shows every page.
    if (!store_->ReadOnly() && storedPages_ > 0)
        WriteHeader();
    const int64_t back = store_->Position();
    store_->SetPosition(0);
    try {
        // Into a temporary file beside the target, renamed over it at the end.
        SaveFileAtomically(fileName, [this](QByteArray &block) {
            block.resize(kSaveBlock);
            const int64_t n = store_->Read(block.data(), kSaveBlock);
            block.resize(qsizetype(std::max<int64_t>(n, 0)));
            return n > 0;
        });
    } catch (...) {
        store_->SetPosition(back);
        throw;
    }
    store_->SetPosition(back);
}

} // namespace zorbel
