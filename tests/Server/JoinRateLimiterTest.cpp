#include "JoinRateLimiter.h"

#include <gtest/gtest.h>

namespace
{
    uint64_t g_ullNow = 0;
    uint64_t FakeClock() { return g_ullNow; }
}

TEST(JoinRateLimiter, BurstThenEvenRefill)
{
    g_ullNow = 5000;
    CJoinRateLimiter limiter(&FakeClock);
    limiter.SetLimit(30);
    for (int i = 0; i < 30; ++i)
        EXPECT_EQ(limiter.Check("1.1.1.1"), CJoinRateLimiter::ALLOWED) << i;
    EXPECT_EQ(limiter.Check("1.1.1.1"), CJoinRateLimiter::REFUSED_REPORT);
    EXPECT_EQ(limiter.Check("1.1.1.1"), CJoinRateLimiter::REFUSED);
    EXPECT_EQ(limiter.Check("2.2.2.2"), CJoinRateLimiter::ALLOWED);
    // One handshake comes back every two seconds.
    g_ullNow += 1999;
    EXPECT_EQ(limiter.Check("1.1.1.1"), CJoinRateLimiter::REFUSED);
    g_ullNow += 1;
    EXPECT_EQ(limiter.Check("1.1.1.1"), CJoinRateLimiter::ALLOWED);
    EXPECT_EQ(limiter.Check("1.1.1.1"), CJoinRateLimiter::REFUSED_REPORT);
}

TEST(JoinRateLimiter, ForgetsQuietAddressesAndZeroMeansNoLimit)
{
    g_ullNow = 0;
    CJoinRateLimiter limiter(&FakeClock);
    limiter.SetLimit(2);
    for (int i = 0; i < 100; ++i)
        limiter.Check("10.0.0." + std::to_string(i));
    EXPECT_EQ(limiter.GetTrackedCount(), 100u);
    g_ullNow += 120000;
    limiter.Check("10.0.1.1");
    EXPECT_EQ(limiter.GetTrackedCount(), 1u);

    limiter.SetLimit(0);
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(limiter.Check("3.3.3.3"), CJoinRateLimiter::ALLOWED);
}
