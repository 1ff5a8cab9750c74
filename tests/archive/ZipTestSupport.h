// Helpers of the decoder tests: an LSB-first bit writer for hand-made
// streams, zlib's raw deflate as the reference compressor, a minimal zip
// file writer and walker (independent of the component's own records), and
// running Info-ZIP zip/unzip.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace zorbel::test {

using Bytes = std::vector<uint8_t>;

// Writes bit fields least significant bit first, as deflate and the older
// zip methods read them.
class BitWriter {
public:
    void Put(uint32_t value, unsigned n)
    {
        for (unsigned i = 0; i < n; ++i)
            PutBit((value >> i) & 1);
    }
    // A Huffman code: its bits go out from the most significant one.
    void PutCode(uint32_t code, unsigned n)
    {
        for (unsigned i = n; i-- > 0;)
            PutBit((code >> i) & 1);
    }
    void PutBit(unsigned bit)
    {
        if (count_ % 8 == 0)
            bytes_.push_back(0);
        bytes_.back() |= static_cast<uint8_t>(bit << (count_ % 8));
        ++count_;
    }
    void AlignToByte() { count_ = (count_ + 7) / 8 * 8; }
    const Bytes &Data() const { return bytes_; }

private:
    Bytes bytes_;
    size_t count_ = 0;
};

// zlib raw deflate (no header) with the given level and strategy.
Bytes ZlibDeflate(const Bytes &data, int level, int strategy);
// Text-like sample: words from a small vocabulary, deterministic.
Bytes SampleText(size_t size, uint32_t seed = 1);
// Random bytes, deterministic.
Bytes SampleRandom(size_t size, uint32_t seed = 1);
Bytes ReadFile(const QString &path);
void WriteFile(const QString &path, const Bytes &data);

// One entry as a zip file carries it (fields from the central directory).
struct ZipEntry {
    QString name;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint32_t dosTime = 0;
    uint32_t crc = 0;
    uint32_t compressedSize = 0;
    uint32_t uncompressedSize = 0;
    size_t dataOffset = 0; // first byte after the local header
};
// Lists a whole zip file held in memory.
std::vector<ZipEntry> WalkZip(const Bytes &zip);
// A one-entry zip file around already compressed data.
Bytes MakeZip(const QString &name, uint16_t method, uint16_t flags, const Bytes &compressed, const Bytes &plain);

// Runs a program; returns its exit code (-1 when it could not run) and its
// combined output in Output.
int RunTool(const QString &program, const QStringList &args, const QString &workDir, QString *Output = nullptr);

// True when Info-ZIP's `unzip -t` ran and refused Password: no entry passed
// but those named in EmptyEntries (an empty entry has no data to fail on),
// and it said why for the others. A missing unzip is a failure, not a pass.
bool UnzipRefusesPassword(const QString &Archive, const QString &Password, const QString &WorkDir,
                          QString *Output = nullptr,
                          const QStringList &EmptyEntries = {});

} // namespace zorbel::test
