// ZORBEL_ASSERT: stops a sanitizer build at a broken invariant, naming it;
// in the other builds the condition is never evaluated.
#include "platform/rtl/Assert.h"

#include <gtest/gtest.h>

TEST(Assert, ABrokenInvariantStopsTheSanitizerBuildAndCostsNothingElsewhere)
{
    int evaluated = 0;
    const auto holds = [&evaluated](bool value) {
        ++evaluated;
        return value;
    };
#ifdef ZORBEL_ASSERTS
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ZORBEL_ASSERT(holds(true));
    EXPECT_EQ(evaluated, 1);
    EXPECT_DEATH(ZORBEL_ASSERT(holds(false)), "AssertTest.cpp:[0-9]+: invariant broken: holds\\(false\\)");
#else
    ZORBEL_ASSERT(holds(true));
    ZORBEL_ASSERT(holds(false));
    EXPECT_EQ(evaluated, 0);
#endif
}
