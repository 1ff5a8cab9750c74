// A test-side decoder of raw deflate data that records each block's header:
// its type, whether it is final, where it starts and ends in bits, the bytes
// it produces and what the same symbols would cost with the fixed trees. It
// checks every length and distance and reports the first fault as text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zorbel::test {

struct TWalkedBlock {
    int Type = 0;            // 0 stored, 1 fixed trees, 2 dynamic trees
    bool Final = false;
    uint64_t StartBit = 0;   // position of the 3 header bits
    uint64_t EndBit = 0;     // position after the block
    uint64_t InputBytes = 0; // bytes the block produces
    uint64_t FixedBits = 0;  // 3 + the block's symbols coded with the fixed trees
};

struct TWalk {
    std::string Error; // empty when the stream decoded completely
    std::vector<uint8_t> Output;
    std::vector<TWalkedBlock> Blocks;
};

class TDeflateWalker {
public:
    explicit TDeflateWalker(const std::vector<uint8_t> &data) : data_(data) {}

    TWalk Walk()
    {
        TWalk walk;
        try {
            bool final = false;
            while (!final) {
                TWalkedBlock block;
                block.StartBit = pos_;
                final = Bits(1);
                block.Final = final;
                block.Type = int(Bits(2));
                const size_t before = walk.Output.size();
                fixedBits_ = 3;
                if (block.Type == 0)
                    Stored(walk.Output);
                else if (block.Type == 1)
                    Fixed(walk.Output);
                else if (block.Type == 2)
                    Dynamic(walk.Output);
                else
                    throw std::string("block type 3");
                block.EndBit = pos_;
                block.InputBytes = walk.Output.size() - before;
                block.FixedBits = fixedBits_;
                walk.Blocks.push_back(block);
            }
            if ((pos_ + 7) / 8 != data_.size())
                throw std::string("bytes after the final block");
        } catch (const std::string &e) {
            walk.Error = e;
        }
        return walk;
    }

private:
    struct TCode {
        uint16_t Count[16] = {};
        std::vector<uint16_t> Symbols;
    };

    uint32_t Bits(int n)
    {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i, ++pos_) {
            if (pos_ / 8 >= data_.size())
                throw std::string("input ends inside the stream");
            v |= uint32_t((data_[pos_ / 8] >> (pos_ % 8)) & 1) << i;
        }
        return v;
    }

    static TCode Build(const uint8_t *lengths, int n, bool allowIncomplete)
    {
        TCode c;
        for (int s = 0; s < n; ++s)
            ++c.Count[lengths[s]];
        int left = 1;
        for (int len = 1; len < 16; ++len) {
            left = left * 2 - c.Count[len];
            if (left < 0)
                throw std::string("over-subscribed code");
        }
        if (left > 0 && !allowIncomplete)
            throw std::string("incomplete code");
        for (int len = 1; len < 16; ++len)
            for (int s = 0; s < n; ++s)
                if (lengths[s] == len)
                    c.Symbols.push_back(uint16_t(s));
        return c;
    }

    int Decode(const TCode &c)
    {
        int code = 0, first = 0, index = 0;
        for (int len = 1; len < 16; ++len) {
            code |= int(Bits(1));
            const int count = c.Count[len];
            if (code - first < count)
                return c.Symbols[size_t(index + code - first)];
            index += count;
            first = (first + count) << 1;
            code <<= 1;
        }
        throw std::string("invalid code");
    }

    void Stored(std::vector<uint8_t> &out)
    {
        pos_ = (pos_ + 7) / 8 * 8;
        const uint32_t len = Bits(16), nlen = Bits(16);
        if ((len ^ 0xFFFF) != nlen)
            throw std::string("stored length complement wrong");
        for (uint32_t i = 0; i < len; ++i)
            out.push_back(uint8_t(Bits(8)));
    }

    void Fixed(std::vector<uint8_t> &out)
    {
        uint8_t lengths[288 + 30];
        for (int n = 0; n < 288; ++n)
            lengths[n] = n < 144 ? 8 : n < 256 ? 9 : n < 280 ? 7 : 8;
        for (int n = 0; n < 30; ++n)
            lengths[288 + n] = 5;
        Codes(out, Build(lengths, 288, false), Build(lengths + 288, 30, true));
    }

    void Dynamic(std::vector<uint8_t> &out)
    {
        static const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
        const int nlen = int(Bits(5)) + 257, ndist = int(Bits(5)) + 1, ncode = int(Bits(4)) + 4;
        if (nlen > 286 || ndist > 30)
            throw std::string("too many length or distance codes");
        uint8_t lengths[320] = {};
        for (int i = 0; i < ncode; ++i)
            lengths[order[i]] = uint8_t(Bits(3));
        const TCode lencode = Build(lengths, 19, false);
        int index = 0;
        while (index < nlen + ndist) {
            int sym = Decode(lencode);
            if (sym < 16) {
                lengths[index++] = uint8_t(sym);
                continue;
            }
            uint8_t value = 0;
            int repeat;
            if (sym == 16) {
                if (index == 0)
                    throw std::string("repeat with no first length");
                value = lengths[index - 1];
                repeat = 3 + int(Bits(2));
            } else if (sym == 17) {
                repeat = 3 + int(Bits(3));
            } else {
                repeat = 11 + int(Bits(7));
            }
            if (index + repeat > nlen + ndist)
                throw std::string("too many lengths");
            while (repeat--)
                lengths[index++] = value;
        }
        if (lengths[256] == 0)
            throw std::string("no end-of-block code");
        Codes(out, Build(lengths, nlen, false), Build(lengths + nlen, ndist, ndist == 1));
    }

    void Codes(std::vector<uint8_t> &out, const TCode &lencode, const TCode &distcode)
    {
        static const uint16_t lbase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                           31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
        static const uint8_t lext[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                         2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
        static const uint16_t dbase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                                           193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
        static const uint8_t dext[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6,
                                         6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
        for (;;) {
            int sym = Decode(lencode);
            fixedBits_ += sym < 144 ? 8 : sym < 256 ? 9 : sym < 280 ? 7 : 8;
            if (sym < 256) {
                out.push_back(uint8_t(sym));
            } else if (sym == 256) {
                return;
            } else {
                sym -= 257;
                if (sym >= 29)
                    throw std::string("invalid length code");
                const int len = lbase[sym] + int(Bits(lext[sym]));
                const int dsym = Decode(distcode);
                if (dsym >= 30)
                    throw std::string("invalid distance code");
                const size_t dist = dbase[dsym] + Bits(dext[dsym]);
                fixedBits_ += lext[sym] + 5 + dext[dsym];
                if (dist > out.size() || dist > 32768)
                    throw std::string("distance too far back");
                for (int i = 0; i < len; ++i)
                    out.push_back(out[out.size() - dist]);
            }
        }
    }

    const std::vector<uint8_t> &data_;
    uint64_t pos_ = 0;
    uint64_t fixedBits_ = 0;
};

} // namespace zorbel::test
