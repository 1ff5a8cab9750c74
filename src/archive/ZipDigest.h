// SHA-256 of what an extraction writes or a packing reads, so that the
// program can name a data file's contents by a digest no outsider can match
// (the CRC-32 and size in a zip header can be forged in a second). The
// digest is taken while the bytes pass anyway: no second read of a file.
//
// Long streams are hashed on a second thread one chunk behind the caller,
// so that hashing overlaps the inflating or deflating instead of adding to
// it; a stream shorter than a chunk, or a system that starts no thread, is
// hashed on the caller's thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace zorbel {

using TSha256 = std::array<uint8_t, 32>;

class TDigestAhead {
public:
    // Bytes handed to the second thread at a time.
    static constexpr size_t ChunkSize = size_t(1) << 20;

    TDigestAhead();
    ~TDigestAhead();
    TDigestAhead(const TDigestAhead &) = delete;
    TDigestAhead &operator=(const TDigestAhead &) = delete;

    // Appends Count bytes to the stream (copied: Data may be reused at once).
    void Add(const uint8_t *Data, size_t Count);
    // The digest of everything added; Add must not follow.
    TSha256 Finish();

    // The digest of Count bytes at once.
    static TSha256 Of(const uint8_t *Data, size_t Count);

private:
    struct TState;
    std::unique_ptr<TState> state_;
};

} // namespace zorbel
