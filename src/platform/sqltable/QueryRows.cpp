// Packed rows of a query's result (see QueryRows.h).
#include "platform/sqltable/QueryRows.h"

#include <algorithm>
#include <cstring>

namespace zorbel {
namespace {

// Kind byte of a packed value.
enum class TPacked : unsigned char {
    Empty,
    Null,
    False,
    True,
    Smallint,
    Integer,
    Int64,
    Currency,
    Double,
    Date,
    String,
    Other,
};

constexpr std::uint32_t kNullString = 0xFFFFFFFF; // length of a null QString

template <typename T> void Put(std::vector<unsigned char> &out, T value)
{
    const size_t at = out.size();
    out.resize(at + sizeof value);
    std::memcpy(out.data() + at, &value, sizeof value);
}

template <typename T> T Get(const unsigned char *&p)
{
    T value;
    std::memcpy(&value, p, sizeof value);
    p += sizeof value;
    return value;
}

} // namespace

void TQueryRows::clear()
{
    rows_.clear();
    rows_.shrink_to_fit();
    chunks_.clear();
    chunkFree_ = 0;
    chunkEnd_ = nullptr;
    others_.clear();
    scratch_.clear();
    scratch_.shrink_to_fit();
}

void TQueryRows::Pack(const Variant &value)
{
    const auto kind = [this](TPacked k) { scratch_.push_back(static_cast<unsigned char>(k)); };
    switch (value.VarType()) {
    case varEmpty: kind(TPacked::Empty); break;
    case varNull: kind(TPacked::Null); break;
    case varBoolean: kind(value.AsBoolean() ? TPacked::True : TPacked::False); break;
    case varSmallint:
        kind(TPacked::Smallint);
        Put(scratch_, value.AsSmallint());
        break;
    case varInteger:
        kind(TPacked::Integer);
        Put(scratch_, std::int32_t(value.AsInteger()));
        break;
    case varInt64:
        kind(TPacked::Int64);
        Put(scratch_, value.AsInt64());
        break;
    case varCurrency:
        kind(TPacked::Currency);
        Put(scratch_, value.AsCurrencyUnits());
        break;
    case varDouble:
        kind(TPacked::Double);
        Put(scratch_, value.AsDouble());
        break;
    case varDate:
        kind(TPacked::Date);
        Put(scratch_, value.AsDate());
        break;
    case varString: {
        kind(TPacked::String);
        const QString text = value.AsString();
        if (text.isNull()) {
            Put(scratch_, kNullString);
            break;
        }
        Put(scratch_, std::uint32_t(text.size()));
        const size_t at = scratch_.size();
        scratch_.resize(at + 2 * size_t(text.size()));
        std::memcpy(scratch_.data() + at, text.utf16(), 2 * size_t(text.size()));
        break;
    }
    default:
        kind(TPacked::Other);
        Put(scratch_, std::uint32_t(others_.size()));
        others_.push_back(value);
        break;
    }
}

Variant TQueryRows::Unpack(const unsigned char *&p) const
{
    switch (static_cast<TPacked>(*p++)) {
    case TPacked::Empty: return Variant();
    case TPacked::Null: return Variant::Null();
    case TPacked::False: return Variant(false);
    case TPacked::True: return Variant(true);
    case TPacked::Smallint: return Variant(Get<std::int16_t>(p));
    case TPacked::Integer: return Variant(int(Get<std::int32_t>(p)));
    case TPacked::Int64: return Variant(static_cast<long long>(Get<std::int64_t>(p)));
    case TPacked::Currency: return Variant::FromCurrencyUnits(Get<std::int64_t>(p));
    case TPacked::Double: return Variant(Get<double>(p));
    case TPacked::Date: return Variant::FromDate(Get<double>(p));
    case TPacked::String: {
        const auto length = Get<std::uint32_t>(p);
        if (length == kNullString)
            return Variant(QString());
        if (length == 0)
            return Variant(QStringLiteral(""));
        QString text(qsizetype(length), Qt::Uninitialized);
        std::memcpy(text.data(), p, 2 * size_t(length));
        p += 2 * size_t(length);
        return Variant(text);
    }
    case TPacked::Other: return others_[Get<std::uint32_t>(p)];
    }
    return Variant();
}

const unsigned char *TQueryRows::Skip(const unsigned char *p)
{
    switch (static_cast<TPacked>(*p++)) {
    case TPacked::Empty: case TPacked::Null: case TPacked::False: case TPacked::True: return p;
    case TPacked::Smallint: return p + 2;
    case TPacked::Integer: case TPacked::Other: return p + 4;
    case TPacked::Int64: case TPacked::Currency: case TPacked::Double: case TPacked::Date: return p + 8;
    case TPacked::String: {
        const auto length = Get<std::uint32_t>(p);
        return length == kNullString ? p : p + 2 * size_t(length);
    }
    }
    return p;
}

const unsigned char *TQueryRows::Store(const std::vector<Variant> &values)
{
    scratch_.clear();
    Put(scratch_, std::uint16_t(values.size()));
    for (const Variant &value : values)
        Pack(value);
    const size_t bytes = scratch_.size();
    if (bytes > chunkFree_) {
        const size_t size = std::max(bytes, ChunkBytes);
        chunks_.push_back(std::make_unique_for_overwrite<unsigned char[]>(size));
        chunkEnd_ = chunks_.back().get();
        chunkFree_ = size;
    }
    unsigned char *row = chunkEnd_;
    std::memcpy(row, scratch_.data(), bytes);
    chunkEnd_ += bytes;
    chunkFree_ -= bytes;
    return row;
}

void TQueryRows::push_back(const std::vector<Variant> &values) { rows_.push_back(Store(values)); }

void TQueryRows::Read(size_t row, std::vector<Variant> &values) const
{
    const unsigned char *p = rows_[row];
    const auto count = Get<std::uint16_t>(p);
    values.resize(count);
    for (Variant &value : values)
        value = Unpack(p);
}

Variant TQueryRows::Cell(size_t row, size_t column) const
{
    const unsigned char *p = rows_[row];
    p += sizeof(std::uint16_t);
    for (size_t c = 0; c < column; ++c)
        p = Skip(p);
    return Unpack(p);
}

void TQueryRows::Replace(size_t row, const std::vector<Variant> &values) { rows_[row] = Store(values); }

void TQueryRows::erase(size_t row) { rows_.erase(rows_.begin() + std::ptrdiff_t(row)); }

} // namespace zorbel
