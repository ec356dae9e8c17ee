#include <Engine/Hash.h>

#include <gtest/gtest.h>

using namespace Torvane3D;

TEST(CRC32, CheckValueAndNameKeys)
{
    EXPECT_EQ(CRC32("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(CRC32("", 0), 0u);
    EXPECT_EQ(g_rguiCRC32Table[1], 0x77073096u);
    EXPECT_EQ(g_rguiCRC32Table[255], 0x2D02EF8Du);
    EXPECT_EQ(CRC32Name("Race", true), CRC32Name("race", true));
    EXPECT_NE(CRC32Name("Race", false), CRC32Name("race", false));
    EXPECT_EQ(CRC32Name("race", false), CRC32("race", 4));
    // Only ASCII letters are lowered; other bytes stay as they are.
    EXPECT_NE(CRC32Name("\xC3\x89", true), CRC32Name("\xC3\xA9", true));

    CRC32Hash hash;
    hash.AddString("12345", false);
    hash.AddString("6789xyz", 4, false); // stops after the length
    EXPECT_EQ(hash.GetHash(), 0xCBF43926u);
    CRC32Hash zero;
    zero.AddString("1234\0" "56789", 10, false); // stops at the zero byte
    zero.AddString(nullptr, false);
    EXPECT_EQ(zero.GetHash(), CRC32("1234", 4));
}
