// The entries of one memory-table index: references to records in index
// order, addressed by position, each with an order key.
//
// A sorted index takes each new record at its place among the others, and a
// results table is filled row by row, so a flat array would move half of
// itself at every insert and filling would grow with the square of the rows.
// The entries are kept in blocks instead: an insert or erase moves at most
// one block (at most MaxBlock entries) and shifts the start positions of the
// blocks after it. Layout:
//
//   blocks_[b]   the entries of block b, in order; no block is empty unless
//                it is the only one
//   starts_[b]   the position of blocks_[b][0]: starts_[0] == 0 and
//                starts_[b + 1] == starts_[b] + blocks_[b].size()
//
// Positional reads look up the block by bisecting starts_, starting with the
// block of the last read (walks read positions in turn). A list of at most
// MaxBlock entries is one block and behaves as a plain array.
//
// Order key: a number the owning index derives from the record's first key
// field (see TVemtIndex), kept beside the reference so that a search compares
// most entries without reaching their records, which lie scattered in memory.
// The list computes it with KeyOf for records it takes whole (push_back,
// Assign); insert takes the key from the caller, who may know the values
// better than the record does (an edit places the record before its new
// values are stored). Without KeyOf every key is 0.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace zorbel {

struct TVemtRecord;

class TVemtEntryList {
public:
    static constexpr size_t MaxBlock = 2048;
    // Order key of a record; a plain function with a context, called per
    // record while loading.
    using KeyFunction = std::uint64_t (*)(const void *context, const TVemtRecord *record);

    TVemtEntryList() { Reset(); }

    // Sets how keys are made; the keys of the entries already held are not
    // recomputed. Requires: empty() when the way changes.
    void SetKeyOf(KeyFunction function, const void *context)
    {
        keyOf_ = function;
        keyContext_ = context;
    }
    std::uint64_t KeyOf(const TVemtRecord *record) const { return keyOf_ ? keyOf_(keyContext_, record) : 0; }

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    // Requires: position < size().
    TVemtRecord *operator[](size_t position) const { return At(position).Record; }
    // Requires: position < size().
    std::uint64_t KeyAt(size_t position) const { return At(position).Key; }
    // Requires: !empty().
    TVemtRecord *back() const { return blocks_.back().back().Record; }

    void clear() { Reset(); }

    void push_back(TVemtRecord *record)
    {
        blocks_.back().push_back({record, KeyOf(record)});
        ++size_;
        if (blocks_.back().size() > MaxBlock)
            Split(blocks_.size() - 1);
    }

    // Puts the record with its key before the entry at the position (at the
    // end when position == size()).
    void insert(size_t position, TVemtRecord *record, std::uint64_t key)
    {
        const size_t b = position == size_ ? blocks_.size() - 1 : BlockOf(position);
        std::vector<Entry> &block = blocks_[b];
        block.insert(block.begin() + static_cast<std::ptrdiff_t>(position - starts_[b]), Entry{record, key});
        ++size_;
        for (size_t i = b + 1; i < starts_.size(); ++i)
            ++starts_[i];
        if (block.size() > MaxBlock)
            Split(b);
    }

    // Requires: position < size().
    void erase(size_t position)
    {
        const size_t b = BlockOf(position);
        std::vector<Entry> &block = blocks_[b];
        block.erase(block.begin() + static_cast<std::ptrdiff_t>(position - starts_[b]));
        --size_;
        for (size_t i = b + 1; i < starts_.size(); ++i)
            --starts_[i];
        if (block.empty() && blocks_.size() > 1) {
            blocks_.erase(blocks_.begin() + static_cast<std::ptrdiff_t>(b));
            starts_.erase(starts_.begin() + static_cast<std::ptrdiff_t>(b));
            lastBlock_.store(0, std::memory_order_relaxed);
        }
    }

    // Removes every entry that references the record.
    void remove(const TVemtRecord *record)
    {
        std::vector<Entry> all = TakeEntries();
        all.erase(std::remove_if(all.begin(), all.end(), [record](const Entry &e) { return e.Record == record; }),
                  all.end());
        AssignEntries(std::move(all));
    }

    // Hands the entries over as one array of records (for sorting) and
    // leaves the list empty; Assign takes them back and makes their keys.
    std::vector<TVemtRecord *> TakeAll()
    {
        std::vector<TVemtRecord *> all;
        all.reserve(size_);
        for (const std::vector<Entry> &block : blocks_)
            for (const Entry &e : block)
                all.push_back(e.Record);
        Reset();
        return all;
    }

    void Assign(std::vector<TVemtRecord *> &&all)
    {
        std::vector<Entry> entries;
        entries.reserve(all.size());
        for (TVemtRecord *record : all)
            entries.push_back({record, KeyOf(record)});
        all.clear();
        AssignEntries(std::move(entries));
    }

private:
    struct Entry {
        TVemtRecord *Record;
        std::uint64_t Key;
    };

    const Entry &At(size_t position) const
    {
        const size_t b = BlockOf(position);
        return blocks_[b][position - starts_[b]];
    }

    std::vector<Entry> TakeEntries()
    {
        std::vector<Entry> all;
        if (blocks_.size() == 1) {
            all = std::move(blocks_[0]);
        } else {
            all.reserve(size_);
            for (const std::vector<Entry> &block : blocks_)
                all.insert(all.end(), block.begin(), block.end());
        }
        Reset();
        return all;
    }

    void AssignEntries(std::vector<Entry> &&all)
    {
        Reset();
        size_ = all.size();
        if (size_ <= MaxBlock) {
            blocks_[0] = std::move(all);
            return;
        }
        const size_t half = MaxBlock / 2;
        blocks_.clear();
        starts_.clear();
        for (size_t at = 0; at < size_; at += half) {
            starts_.push_back(at);
            blocks_.emplace_back(all.begin() + static_cast<std::ptrdiff_t>(at),
                                 all.begin() + static_cast<std::ptrdiff_t>(std::min(size_, at + half)));
        }
    }

    void Reset()
    {
        blocks_.assign(1, {});
        starts_.assign(1, 0);
        size_ = 0;
        lastBlock_.store(0, std::memory_order_relaxed);
    }

    // The block that holds the position. Requires: position < size().
    size_t BlockOf(size_t position) const
    {
        const size_t last = lastBlock_.load(std::memory_order_relaxed);
        if (last < blocks_.size() && position >= starts_[last] && position - starts_[last] < blocks_[last].size())
            return last;
        const size_t b =
            static_cast<size_t>(std::upper_bound(starts_.begin(), starts_.end(), position) - starts_.begin()) - 1;
        lastBlock_.store(b, std::memory_order_relaxed);
        return b;
    }

    // Halves an overfull block.
    void Split(size_t b)
    {
        std::vector<Entry> &block = blocks_[b];
        const size_t half = block.size() / 2;
        std::vector<Entry> upper(block.begin() + static_cast<std::ptrdiff_t>(half), block.end());
        block.resize(half);
        blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(b + 1), std::move(upper));
        starts_.insert(starts_.begin() + static_cast<std::ptrdiff_t>(b + 1), starts_[b] + half);
        lastBlock_.store(b, std::memory_order_relaxed);
    }

    std::vector<std::vector<Entry>> blocks_;
    std::vector<size_t> starts_;
    size_t size_ = 0;
    KeyFunction keyOf_ = nullptr;     // order key of a record, or none (keys 0)
    const void *keyContext_ = nullptr; // what keyOf_ is called with
    // Block of the last positional read; a hint only (readers on the report
    // thread may set it too).
    mutable std::atomic<size_t> lastBlock_ = 0;
};

} // namespace zorbel
