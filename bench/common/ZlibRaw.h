// zlib's raw deflate and inflate (no header, as in zip entries): the
// reference codec of the benchmarks and the check of every contender's output.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>

namespace zorbel::bench {

// Deflates In at Level into Out; the bytes written (at most Capacity).
inline size_t ZlibDeflateRaw(const uint8_t *In, size_t Size, int Level, uint8_t *Out, size_t Capacity)
{
    z_stream z{};
    deflateInit2(&z, Level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    z.next_in = const_cast<Bytef *>(In);
    z.avail_in = uInt(Size);
    z.next_out = Out;
    z.avail_out = uInt(Capacity);
    deflate(&z, Z_FINISH);
    const size_t n = z.total_out;
    deflateEnd(&z);
    return n;
}

// Inflates In into Out; Produced is the bytes written. True when the stream
// ended within Capacity.
inline bool ZlibInflateRaw(const uint8_t *In, size_t Size, uint8_t *Out, size_t Capacity, size_t &Produced)
{
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = const_cast<Bytef *>(In);
    z.avail_in = uInt(Size);
    z.next_out = Out;
    z.avail_out = uInt(Capacity);
    const int rc = inflate(&z, Z_FINISH);
    Produced = z.total_out;
    inflateEnd(&z);
    return rc == Z_STREAM_END;
}

} // namespace zorbel::bench
