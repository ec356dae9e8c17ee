#include <Engine/StreamRangeStream.h>

#include <gtest/gtest.h>

using namespace Torvane3D;

TEST(StreamRangeStream, WindowBoundsReadsWritesAndSeeks)
{
    char data[] = "0123456789";
    auto pBase = MakeStrong<CMemoryStream>(static_cast<void*>(data), 10, MEMSTREAM_READ | MEMSTREAM_WRITE);
    CStreamRangeStream window(pBase, 3, 4); // "3456"
    EXPECT_EQ(window.GetLength(), 4);
    char buf[8] = {};
    EXPECT_EQ(window.Read(buf, 8), 4u);
    EXPECT_EQ(std::string(buf, 4), "3456");
    EXPECT_EQ(window.Read(buf, 1), 0u);

    // Another user of the base stream does not disturb the window.
    ASSERT_TRUE(window.Seek(-2, SEEK_ORIGIN_END));
    pBase->Seek(0, SEEK_ORIGIN_BEGIN);
    EXPECT_EQ(window.Read(buf, 8), 2u);
    EXPECT_EQ(std::string(buf, 2), "56");

    ASSERT_TRUE(window.Seek(1, SEEK_ORIGIN_BEGIN));
    EXPECT_EQ(window.Write("abcd", 4), 0u); // would pass the end: nothing written
    EXPECT_STREQ(data, "0123456789");
    EXPECT_EQ(window.Write("ab", 2), 2u);
    EXPECT_STREQ(data, "0123ab6789");
    EXPECT_EQ(window.Tell(), 3);

    EXPECT_FALSE(window.Seek(-1, SEEK_ORIGIN_BEGIN));
    EXPECT_FALSE(window.Seek(0, 7));
    EXPECT_EQ(window.Tell(), 3);
    ASSERT_TRUE(window.Seek(10, SEEK_ORIGIN_CURRENT)); // past the end: reads give nothing
    EXPECT_EQ(window.Read(buf, 1), 0u);
}
