// Money as whole 1/10000 units: rounding ties to even and exact sums.
#include "platform/rtl/Money.h"

#include <gtest/gtest.h>

using namespace zorbel;

TEST(Money, UnitsRoundToNearestWithTiesToEven)
{
    // Exact binary halves of a unit: 0.03125 = 312.5 units, 0.09375 = 937.5.
    EXPECT_EQ(MoneyToUnits(0.03125), 312);
    EXPECT_EQ(MoneyToUnits(0.09375), 938);
    EXPECT_EQ(MoneyToUnits(-0.03125), -312);
    EXPECT_EQ(MoneyToUnits(-0.09375), -938);
    // Decimal amounts land on their unit despite binary error.
    EXPECT_EQ(MoneyToUnits(1.005), 10050);
    EXPECT_EQ(MoneyToUnits(0.1 + 0.2), 3000);
    EXPECT_EQ(MoneyToUnits(-1.5), -15000);
    EXPECT_EQ(MoneyToUnits(123456789.1234), 1234567891234LL);
    EXPECT_EQ(MoneyToUnits(0.00004), 0);
    EXPECT_EQ(MoneyToUnits(0.00006), 1);
    // Out of range and NaN do not invoke undefined behaviour.
    EXPECT_EQ(MoneyToUnits(1e300), 0);
    EXPECT_EQ(MoneyToUnits(std::nan("")), 0);
}

TEST(Money, SumsInUnitsAreExact)
{
    int64_t total = 0;
    double naive = 0;
    for (int i = 0; i < 10; ++i) {
        total += MoneyToUnits(0.1);
        naive += 0.1;
    }
    EXPECT_EQ(total, MoneyScale);
    EXPECT_NE(naive, 1.0); // why the program adds in units
    EXPECT_DOUBLE_EQ(UnitsToMoney(total), 1.0);
    EXPECT_DOUBLE_EQ(UnitsToMoney(-12345), -1.2345);
    EXPECT_EQ(RoundHalfEven(2.5L), 2);
    EXPECT_EQ(RoundHalfEven(3.5L), 4);
    EXPECT_EQ(RoundHalfEven(-2.5L), -2);
}
