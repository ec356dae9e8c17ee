#include <Engine/BinaryIO.h>
#include <Engine/Stream.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace Torvane3D;

TEST(MemoryStream, ShortReadAndAllOrNothingWrite)
{
    unsigned char data[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    Strong<CMemoryStream> s = Strong<CMemoryStream>::Adopt(new CMemoryStream(data, 10, MEMSTREAM_READ | MEMSTREAM_WRITE));
    ASSERT_TRUE(s->Seek(8, SEEK_ORIGIN_BEGIN));
    unsigned char buf[4] = {};
    EXPECT_EQ(s->Read(buf, 4), 2u);
    EXPECT_EQ(buf[0], 8);
    EXPECT_EQ(buf[1], 9);
    ASSERT_TRUE(s->Seek(8, SEEK_ORIGIN_BEGIN));
    const unsigned char four[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    EXPECT_EQ(s->Write(four, 4), 0u);
    EXPECT_EQ(data[8], 8);
    EXPECT_EQ(s->Tell(), 8);
}

TEST(MemoryStream, ModesAndSeekRules)
{
    unsigned char data[4] = {};
    Strong<CMemoryStream> ro = Strong<CMemoryStream>::Adopt(new CMemoryStream(static_cast<const void*>(data), 4));
    EXPECT_EQ(ro->Write("x", 1), 0u);
    Strong<CMemoryStream> wo = Strong<CMemoryStream>::Adopt(new CMemoryStream(data, 4, MEMSTREAM_WRITE));
    unsigned char b;
    EXPECT_EQ(wo->Read(&b, 1), 0u);
    EXPECT_EQ(wo->Write("x", 1), 1u);

    EXPECT_FALSE(ro->Seek(0, 3));
    EXPECT_EQ(ro->Tell(), 0);
    EXPECT_FALSE(ro->Seek(-1, SEEK_ORIGIN_BEGIN));
    EXPECT_EQ(ro->Tell(), 0);
    EXPECT_TRUE(ro->Seek(-1, SEEK_ORIGIN_END));
    EXPECT_EQ(ro->Tell(), 3);
    EXPECT_TRUE(ro->Seek(100, SEEK_ORIGIN_BEGIN)); // beyond the end is allowed; reads yield nothing
    EXPECT_EQ(ro->Read(&b, 1), 0u);
    EXPECT_EQ(ro->GetRemaining(), 0);
}

TEST(UnlimitedStream, GrowsByDoubling)
{
    CUnlimitedStream s;
    EXPECT_EQ(s.GetCapacity(), 4096u);
    std::vector<unsigned char> block(5000, 0x5A);
    EXPECT_EQ(s.Write(block.data(), block.size()), 5000u);
    EXPECT_EQ(s.GetCapacity(), 8192u);
    EXPECT_EQ(s.GetLength(), 5000);
    ASSERT_TRUE(s.Seek(0, SEEK_ORIGIN_BEGIN));
    std::vector<unsigned char> back(6000);
    EXPECT_EQ(s.Read(back.data(), back.size()), 5000u);
    EXPECT_EQ(memcmp(back.data(), block.data(), 5000), 0);
}

TEST(UnlimitedStream, SeekPastEndGrowsZeroFilled)
{
    CUnlimitedStream s;
    s.Write("ab", 2);
    ASSERT_TRUE(s.Seek(10000, SEEK_ORIGIN_BEGIN));
    EXPECT_EQ(s.GetLength(), 10000);
    EXPECT_GE(s.GetCapacity(), 10000u);
    EXPECT_EQ(s.Write("z", 1), 1u);
    ASSERT_TRUE(s.Seek(2, SEEK_ORIGIN_BEGIN));
    std::vector<unsigned char> gap(9998, 0xFF);
    EXPECT_EQ(s.Read(gap.data(), gap.size()), gap.size());
    for (unsigned char c : gap)
        ASSERT_EQ(c, 0);
    EXPECT_FALSE(s.Seek(-1, SEEK_ORIGIN_BEGIN));
    EXPECT_FALSE(s.Seek(0, 7));
}

TEST(StandardStream, ReadWriteAndDefaultLength)
{
    FILE* f = tmpfile();
    ASSERT_NE(f, nullptr);
    Strong<CStandardStream> s = Strong<CStandardStream>::Adopt(new CStandardStream(f));
    EXPECT_EQ(s->Write("hello", 5), 5u);
    ASSERT_TRUE(s->Seek(1, SEEK_ORIGIN_BEGIN));
    EXPECT_EQ(s->GetLength(), 5);
    EXPECT_EQ(s->Tell(), 1); // GetLength restores the position
    char buf[8] = {};
    EXPECT_EQ(s->Read(buf, 8), 4u);
    EXPECT_STREQ(buf, "ello");
    EXPECT_FALSE(s->Seek(0, 5));
}
