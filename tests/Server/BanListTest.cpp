#include "BanList.h"

#include <gtest/gtest.h>

namespace
{
    uint64_t g_ullNow = 0;
    uint64_t FakeClock() { return g_ullNow; }
}

TEST(BanList, PermanentTimedAndRepeatedBans)
{
    g_ullNow = 1000;
    CBanList bans(&FakeClock);
    EXPECT_FALSE(bans.IsBanned("1.2.3.4"));
    bans.Ban("1.2.3.4", 0);
    bans.Ban("5.6.7.8", 60000);
    g_ullNow += 59999;
    EXPECT_TRUE(bans.IsBanned("1.2.3.4"));
    EXPECT_TRUE(bans.IsBanned("5.6.7.8"));
    // Banning again keeps one entry with the later expiry.
    bans.Ban("5.6.7.8", 10);
    bans.Ban("5.6.7.8", 5000);
    EXPECT_EQ(bans.GetCount(), 2u);
    g_ullNow += 4999;
    EXPECT_TRUE(bans.IsBanned("5.6.7.8"));
    g_ullNow += 1;
    EXPECT_FALSE(bans.IsBanned("5.6.7.8"));
    EXPECT_EQ(bans.GetCount(), 1u);
    // Keys are the text as given.
    EXPECT_FALSE(bans.IsBanned("1.2.3.4 "));
    g_ullNow += uint64_t(1) << 40;
    EXPECT_TRUE(bans.IsBanned("1.2.3.4"));
}

TEST(BanList, ExpiredEntryStillCountsForUnban)
{
    g_ullNow = 0;
    CBanList bans(&FakeClock);
    bans.Ban("1.2.3.4", 100);
    g_ullNow = 200;
    EXPECT_TRUE(bans.Unban("1.2.3.4"));
    EXPECT_FALSE(bans.Unban("1.2.3.4"));
    bans.Ban("a", 0);
    bans.Ban("b", 0);
    bans.UnbanAll();
    EXPECT_EQ(bans.GetCount(), 0u);
}

// A 32-bit millisecond clock wraps after 49.7 days: a ban placed just before the wrap must
// neither end at the wrap nor last until the clock comes round again.
TEST(BanList, ExpiryStaysRightAcrossThe32BitWrap)
{
    g_ullNow = 0xFFFFFF00ull;
    CBanList bans(&FakeClock);
    bans.Ban("1.2.3.4", 60000);
    g_ullNow = 0x100000000ull + 1000; // past the wrap, within the minute
    EXPECT_TRUE(bans.IsBanned("1.2.3.4"));
    g_ullNow = 0xFFFFFF00ull + 60000;
    EXPECT_FALSE(bans.IsBanned("1.2.3.4"));

    // A ban placed after the wrap expires on time, not 49.7 days early or late.
    g_ullNow = 0x100000000ull + 5;
    bans.Ban("5.6.7.8", 1000);
    g_ullNow += 999;
    EXPECT_TRUE(bans.IsBanned("5.6.7.8"));
    g_ullNow += 1;
    EXPECT_FALSE(bans.IsBanned("5.6.7.8"));
}
