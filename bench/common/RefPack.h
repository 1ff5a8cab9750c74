// The in-process references of the data file benchmarks: files deflated at
// level 1 by zlib or libdeflate into one plain archive (per file its name
// length, name, size, packed size, CRC-32, then the deflated bytes, with the
// zip cipher when asked) and unpacked back into a folder, reading, checking
// and writing the same bytes as the program's own extraction.
#pragma once

#include "archive/ZipCrc.h"
#include "platform/rtl/CodePages.h"

#include "ZlibRaw.h"

#include <libdeflate.h>
#include <zlib.h>

#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace zorbel::bench {

using TBytes = std::vector<uint8_t>;

// One reference codec: level-1 raw deflate into Out (large enough) and
// inflate into Out of the known size; the CRC-32 of a buffer.
struct TCodec {
    std::function<size_t(const TBytes &In, TBytes &Out)> Compress;
    std::function<bool(const uint8_t *In, size_t Size, TBytes &Out)> Decompress;
    std::function<uint32_t(const TBytes &)> Crc;
};

inline TCodec ZlibCodec()
{
    TCodec c;
    c.Compress = [](const TBytes &in, TBytes &out) {
        return ZlibDeflateRaw(in.data(), in.size(), 1, out.data(), out.size());
    };
    c.Decompress = [](const uint8_t *in, size_t size, TBytes &out) {
        size_t n = 0;
        return ZlibInflateRaw(in, size, out.data(), out.size(), n) && n == out.size();
    };
    c.Crc = [](const TBytes &b) { return uint32_t(crc32(0, b.data(), uInt(b.size()))); };
    return c;
}

inline TCodec LibdeflateCodec()
{
    std::shared_ptr<libdeflate_compressor> packer(libdeflate_alloc_compressor(1), libdeflate_free_compressor);
    std::shared_ptr<libdeflate_decompressor> unpacker(libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
    TCodec c;
    c.Compress = [packer](const TBytes &in, TBytes &out) {
        return libdeflate_deflate_compress(packer.get(), in.data(), in.size(), out.data(), out.size());
    };
    c.Decompress = [unpacker](const uint8_t *in, size_t size, TBytes &out) {
        return libdeflate_deflate_decompress(unpacker.get(), in, size, out.data(), out.size(), nullptr)
            == LIBDEFLATE_SUCCESS;
    };
    c.Crc = [](const TBytes &b) { return libdeflate_crc32(0, b.data(), b.size()); };
    return c;
}

inline TBytes ReadAll(const QString &name)
{
    QFile f(name);
    if (!f.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(name));
        std::exit(7);
    }
    const QByteArray data = f.readAll();
    return TBytes(data.begin(), data.end());
}

inline void WriteAll(const QString &name, const uint8_t *data, size_t size)
{
    QFile f(name);
    if (!f.open(QIODevice::WriteOnly) || f.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(name));
        std::exit(8);
    }
}

// The zip cipher over Size bytes in place, seeded with the password.
inline void Encrypt(const QString &password, uint8_t *data, size_t size)
{
    TZipKeys keys;
    keys.InitKeys(UnicodeToWin1251(password));
    for (size_t i = 0; i < size; ++i) {
        const uint8_t plain = data[i];
        data[i] ^= keys.DecryptByte();
        keys.UpdateKeys(plain);
    }
}

inline void Decrypt(const QString &password, uint8_t *data, size_t size)
{
    TZipKeys keys;
    keys.InitKeys(UnicodeToWin1251(password));
    keys.DecryptBuffer(data, size);
}

// Decrypts on a second thread, chunk by chunk, while the calling thread
// inflates what is already decrypted with zlib's streaming inflate (the
// program's extraction splits the work the same way); Out has the known
// size. True when the stream ended with Out full.
inline bool DecryptInflateTwoThreads(const QString &password, uint8_t *in, size_t size, TBytes &out)
{
    constexpr size_t Chunk = 256 << 10;
    std::mutex m;
    std::condition_variable ready;
    size_t decrypted = 0;
    std::thread worker([&] {
        TZipKeys keys;
        keys.InitKeys(UnicodeToWin1251(password));
        for (size_t at = 0; at < size;) {
            const size_t n = std::min(Chunk, size - at);
            keys.DecryptBuffer(in + at, n);
            at += n;
            {
                std::lock_guard<std::mutex> lock(m);
                decrypted = at;
            }
            ready.notify_one();
        }
    });
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = in;
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    int rc = Z_OK;
    size_t fed = 0;
    while (rc == Z_OK) {
        size_t upTo;
        {
            std::unique_lock<std::mutex> lock(m);
            ready.wait(lock, [&] { return decrypted > fed || decrypted == size; });
            upTo = decrypted;
        }
        if (upTo == fed) // all input given and the stream not ended
            break;
        z.avail_in = uInt(upTo - fed);
        fed = upTo;
        while (z.avail_in > 0 && rc == Z_OK)
            rc = inflate(&z, Z_NO_FLUSH);
    }
    const bool whole = rc == Z_STREAM_END && z.total_out == out.size();
    inflateEnd(&z);
    worker.join();
    return whole;
}

// Packs Files into Archive (see the file comment).
inline void ReferencePack(const TCodec &codec, const QStringList &files, const QString &archive,
                          const QString &password = QString())
{
    TBytes out;
    TBytes buffer;
    for (const QString &file : files) {
        const TBytes data = ReadAll(file);
        buffer.resize(data.size() + data.size() / 10 + 1024);
        const size_t packed = codec.Compress(data, buffer);
        if (!password.isEmpty())
            Encrypt(password, buffer.data(), packed);
        const QByteArray name = QFileInfo(file).fileName().toUtf8();
        const uint32_t header[] = {uint32_t(name.size()), uint32_t(data.size()), uint32_t(packed), codec.Crc(data)};
        const auto *h = reinterpret_cast<const uint8_t *>(header);
        out.insert(out.end(), h, h + sizeof header);
        out.insert(out.end(), name.begin(), name.end());
        out.insert(out.end(), buffer.begin(), buffer.begin() + long(packed));
    }
    WriteAll(archive, out.data(), out.size());
}

// How a protected reference archive is decrypted: on the inflating thread
// first, or on a second thread while zlib inflates.
enum class TDecrypt { Before, TwoThreads };

// Unpacks Archive into Folder, checking each file's CRC-32.
inline void ReferenceUnpack(const TCodec &codec, const QString &archive, const QString &folder,
                            const QString &password = QString(), TDecrypt how = TDecrypt::Before)
{
    TBytes in = ReadAll(archive);
    TBytes data;
    for (size_t at = 0; at < in.size();) {
        uint32_t header[4];
        std::memcpy(header, in.data() + at, sizeof header);
        at += sizeof header;
        const QString name = QString::fromUtf8(reinterpret_cast<const char *>(in.data() + at), int(header[0]));
        at += header[0];
        data.resize(header[1]);
        bool whole;
        if (!password.isEmpty() && how == TDecrypt::TwoThreads) {
            whole = DecryptInflateTwoThreads(password, in.data() + at, header[2], data);
        } else {
            if (!password.isEmpty())
                Decrypt(password, in.data() + at, header[2]);
            whole = codec.Decompress(in.data() + at, header[2], data);
        }
        if (!whole || codec.Crc(data) != header[3]) {
            std::fprintf(stderr, "reference unpack: %s damaged\n", qPrintable(name));
            std::exit(9);
        }
        at += header[2];
        WriteAll(folder + u'/' + name, data.data(), data.size());
    }
}

} // namespace zorbel::bench
