// The rows of a query's result, packed: a results list of a million-operation
// data set holds hundreds of thousands of rows, and a row of Variants (72
// bytes a value, a heap block per row) would take several hundred megabytes
// and a heap allocation per row to build. Each row is one run of bytes in a
// chunk of memory instead; a value is read back as the Variant it was stored
// as (same kind, same value, bit for bit).
//
// Layout of a row: its value count (uint16), then each value as a kind byte
// followed by its payload, all unaligned:
//
//   kind          payload
//   Empty, Null   none
//   False, True   none
//   Smallint      int16
//   Integer       int32
//   Int64         int64
//   Currency      int64 units of 1/10000
//   Double, Date  double
//   String        uint32 length n, then n UTF-16 units
//   Other         uint32 index into others_ (a kind not packed: arrays)
//
// Rows lie in chunks of at least ChunkBytes that are never moved, so a row is
// reached through one pointer; replacing a row writes it anew at the end of
// the last chunk (the old bytes stay unused until Clear). A chunk stays below
// the C library's threshold for mapping a block of its own (128 KiB): mapped
// blocks go back to the system at every reopen and must be faulted in again,
// which made a window that refreshes its list slower at a million operations.
#pragma once

#include "platform/rtl/Variant.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace zorbel {

class TQueryRows {
public:
    static constexpr size_t ChunkBytes = 64 * 1024;

    TQueryRows() = default;
    TQueryRows(const TQueryRows &) = delete;
    TQueryRows &operator=(const TQueryRows &) = delete;

    size_t size() const { return rows_.size(); }
    bool empty() const { return rows_.empty(); }
    // Frees every row.
    void clear();

    // Requires: values.size() < 65536.
    void push_back(const std::vector<Variant> &values);
    // The values of a row. Requires: row < size().
    void Read(size_t row, std::vector<Variant> &values) const;
    // One value of a row. Requires: row < size(), column below its count.
    Variant Cell(size_t row, size_t column) const;
    // Requires: row < size(); values.size() < 65536.
    void Replace(size_t row, const std::vector<Variant> &values);
    // Requires: row < size().
    void erase(size_t row);

private:
    // Packs values into scratch_ and copies it into a chunk; returns where.
    const unsigned char *Store(const std::vector<Variant> &values);
    void Pack(const Variant &value);
    // Reads the value at p and moves p past it.
    Variant Unpack(const unsigned char *&p) const;
    static const unsigned char *Skip(const unsigned char *p);

    std::vector<std::unique_ptr<unsigned char[]>> chunks_;
    size_t chunkFree_ = 0;                 // bytes left in the last chunk
    unsigned char *chunkEnd_ = nullptr;    // first free byte of the last chunk
    std::vector<const unsigned char *> rows_; // where each row lies
    std::vector<Variant> others_;          // values of kinds that are not packed
    std::vector<unsigned char> scratch_;   // the row being packed
};

} // namespace zorbel
