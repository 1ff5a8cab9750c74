// The packed rows of a query result against a plain vector of Variant rows:
// every kind a value can have, unusual doubles and texts, rows across chunks
// and larger than a chunk, replacing and erasing rows.
#include "platform/sqltable/QueryRows.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

namespace zorbel {
namespace {

// Same kind and the same value, doubles bit for bit, null and empty texts apart.
void ExpectIdentical(const Variant &actual, const Variant &expected)
{
    ASSERT_EQ(actual.VarType(), expected.VarType());
    switch (expected.VarType()) {
    case varEmpty: case varNull: break;
    case varDouble: case varDate: {
        const double a = actual.AsDouble();
        const double e = expected.AsDouble();
        ASSERT_EQ(std::memcmp(&a, &e, sizeof a), 0) << e;
        break;
    }
    case varString:
        ASSERT_EQ(actual.AsString(), expected.AsString());
        ASSERT_EQ(actual.AsString().isNull(), expected.AsString().isNull());
        break;
    case varCurrency: ASSERT_EQ(actual.AsCurrencyUnits(), expected.AsCurrencyUnits()); break;
    case varBoolean: ASSERT_EQ(actual.AsBoolean(), expected.AsBoolean()); break;
    default:
        if (expected.IsArray()) {
            ASSERT_EQ(actual.ArrayHighBound(), expected.ArrayHighBound());
            for (int i = 0; i <= expected.ArrayHighBound(); ++i)
                ExpectIdentical(actual[i], expected[i]);
        } else {
            ASSERT_EQ(actual.AsInt64(), expected.AsInt64());
        }
        break;
    }
}

void ExpectSame(const TQueryRows &rows, const std::vector<std::vector<Variant>> &reference)
{
    ASSERT_EQ(rows.size(), reference.size());
    std::vector<Variant> values;
    for (size_t r = 0; r < reference.size(); ++r) {
        rows.Read(r, values);
        ASSERT_EQ(values.size(), reference[r].size()) << r;
        for (size_t c = 0; c < values.size(); ++c) {
            SCOPED_TRACE(testing::Message() << "row " << r << " column " << c);
            ExpectIdentical(values[c], reference[r][c]);
            ExpectIdentical(rows.Cell(r, c), reference[r][c]);
        }
    }
}

TEST(QueryRows, EveryKindComesBackAsItWasStored)
{
    double negativeZero = -0.0;
    const std::vector<Variant> row{Variant(),
                                   Variant::Null(),
                                   Variant(true),
                                   Variant(false),
                                   Variant(std::int16_t(-32768)),
                                   Variant(2147483647),
                                   Variant(static_cast<long long>(-9000000000000000000LL)),
                                   Variant::FromCurrencyUnits(-123456789),
                                   Variant(1.0 / 3),
                                   Variant(negativeZero),
                                   Variant(std::numeric_limits<double>::quiet_NaN()),
                                   Variant(std::numeric_limits<double>::infinity()),
                                   Variant::FromDate(45292.75),
                                   Variant(QString()),
                                   Variant(QStringLiteral("")),
                                   Variant(QStringLiteral("Продукты, ёлка & z")),
                                   Variant(QString(QChar(0)) + QStringLiteral("после нуля")),
                                   Variant::Array({Variant(1), Variant(QStringLiteral("два"))})};
    TQueryRows rows;
    rows.push_back(row);
    rows.push_back({});
    ExpectSame(rows, {row, {}});
}

TEST(QueryRows, RowsAcrossChunksReplacedAndErasedAgreeWithAPlainList)
{
    std::mt19937 random(9);
    const auto randomValue = [&]() -> Variant {
        switch (random() % 6) {
        case 0: return Variant::Null();
        case 1: return Variant(int(random() % 100000) - 50000);
        case 2: return Variant(double(random()) / 7);
        case 3: return Variant::FromDate(40000 + random() % 5000);
        case 4: return Variant(std::int16_t(random() % 300));
        default: return Variant(QStringLiteral("операция %1").arg(random() % 5000));
        }
    };
    const auto randomRow = [&] {
        std::vector<Variant> row;
        for (int c = 0; c < 21; ++c)
            row.push_back(randomValue());
        return row;
    };
    TQueryRows rows;
    std::vector<std::vector<Variant>> reference;
    for (int i = 0; i < 20000; ++i) {
        reference.push_back(randomRow());
        rows.push_back(reference.back());
    }
    // A row larger than a chunk takes one of its own.
    std::vector<Variant> huge{Variant(QString(int(TQueryRows::ChunkBytes), QChar(u'я'))), Variant(7)};
    rows.push_back(huge);
    reference.push_back(huge);
    ExpectSame(rows, reference);

    for (int i = 0; i < 3000; ++i) {
        const size_t at = random() % reference.size();
        if (i % 3 == 0) {
            rows.erase(at);
            reference.erase(reference.begin() + std::ptrdiff_t(at));
        } else {
            reference[at] = randomRow();
            rows.Replace(at, reference[at]);
        }
    }
    ExpectSame(rows, reference);
    rows.clear();
    EXPECT_TRUE(rows.empty());
    rows.push_back(huge);
    ExpectSame(rows, {huge});
}

} // namespace
} // namespace zorbel
