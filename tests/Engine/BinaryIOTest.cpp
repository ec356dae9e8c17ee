#include <Engine/BinaryIO.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Torvane3D;

namespace
{
    std::vector<unsigned char> Bytes(CUnlimitedStream& s)
    {
        return std::vector<unsigned char>(s.GetData(), s.GetData() + s.GetSize());
    }

    Strong<CMemoryStream> View(const std::vector<unsigned char>& bytes)
    {
        return Strong<CMemoryStream>::Adopt(new CMemoryStream(static_cast<const void*>(bytes.data()), bytes.size()));
    }
}

TEST(BinaryIO, StringLengthPrefixes)
{
    struct Case
    {
        size_t length;
        std::vector<unsigned char> prefix;
    };
    const Case cases[] = {
        {0, {0x00}},
        {1, {0x01}},
        {127, {0x7F}},
        {128, {0x80, 0x01}},
        {300, {0xAC, 0x02}},
        {16384, {0x80, 0x80, 0x01}},
    };
    for (const Case& c : cases) {
        Strong<CUnlimitedStream> s = MakeStrong<CUnlimitedStream>();
        CBinaryWriter w(s);
        std::string text(c.length, 'q');
        ASSERT_TRUE(w.WriteString(text));
        auto bytes = Bytes(*s);
        ASSERT_EQ(bytes.size(), c.prefix.size() + c.length) << c.length;
        EXPECT_TRUE(std::equal(c.prefix.begin(), c.prefix.end(), bytes.begin())) << c.length;

        CBinaryReader r(View(bytes));
        std::string back;
        ASSERT_TRUE(r.ReadString(back));
        EXPECT_EQ(back, text);
    }
}

TEST(BinaryIO, CompactLengthReads)
{
    struct Case
    {
        std::vector<unsigned char> bytes;
        bool ok;
        int32_t value;
    };
    const Case cases[] = {
        {{0x00}, true, 0},
        {{0x7F}, true, 127},
        {{0x80, 0x01}, true, 128},
        {{0x80, 0x80, 0x80, 0x80, 0x01}, true, 268435456},
        {{0xFF, 0xFF, 0xFF, 0xFF, 0x0F}, true, -1}, // 32 bits all set, kept as a signed count
        {{0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0x01}, false, 0},
        {{0x80}, false, 0},
        {{}, false, 0},
    };
    for (const Case& c : cases) {
        CBinaryReader r(View(c.bytes));
        int32_t n = 0;
        EXPECT_EQ(r.ReadCompactLength(n), c.ok);
        if (c.ok) {
            EXPECT_EQ(n, c.value);
        }
    }
}

TEST(BinaryIO, StringLengthBeyondRemainingFailsBeforeAllocating)
{
    // Announces 0x0FFFFFFF bytes but carries three.
    const std::vector<unsigned char> lying = {0xFF, 0xFF, 0xFF, 0x7F, 'a', 'b', 'c'};
    CBinaryReader r(View(lying));
    std::string s;
    EXPECT_FALSE(r.ReadString(s));
    // A negative count (all 32 bits set) is refused too.
    const std::vector<unsigned char> negative = {0xFF, 0xFF, 0xFF, 0xFF, 0x0F};
    CBinaryReader r2(View(negative));
    EXPECT_EQ(r2.ReadString(), nullptr);
}

TEST(BinaryIO, EmbeddedZeroBytesSurvive)
{
    Strong<CUnlimitedStream> s = MakeStrong<CUnlimitedStream>();
    CBinaryWriter w(s);
    const std::string text("a\0b\0", 4);
    ASSERT_TRUE(w.WriteString(text));
    s->Seek(0, SEEK_ORIGIN_BEGIN);
    CBinaryReader r(s);
    size_t length = 0;
    char* p = r.ReadString(&length);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::string(p, length), text);
    EXPECT_EQ(p[length], '\0');
    delete[] p;
}

TEST(BinaryIO, PrimitivesAreLittleEndian)
{
    Strong<CUnlimitedStream> s = MakeStrong<CUnlimitedStream>();
    CBinaryWriter w(s);
    w.WriteUInt16(0x1234);
    w.WriteInt32(-2);
    w.WriteUInt64(0x0102030405060708ull);
    w.WriteSingle(1.0f);
    w.WriteBool(true);
    const std::vector<unsigned char> expected = {0x34, 0x12, 0xFE, 0xFF, 0xFF, 0xFF, 0x08, 0x07, 0x06, 0x05, 0x04,
        0x03, 0x02, 0x01, 0x00, 0x00, 0x80, 0x3F, 0x01};
    EXPECT_EQ(Bytes(*s), expected);

    CBinaryReader r(View(expected));
    uint16_t u16;
    int32_t i32;
    uint64_t u64;
    float f;
    bool b;
    ASSERT_TRUE(r.ReadUInt16(u16) && r.ReadInt32(i32) && r.ReadUInt64(u64) && r.ReadSingle(f) && r.ReadBool(b));
    EXPECT_EQ(u16, 0x1234);
    EXPECT_EQ(i32, -2);
    EXPECT_EQ(u64, 0x0102030405060708ull);
    EXPECT_EQ(f, 1.0f);
    EXPECT_TRUE(b);
    EXPECT_FALSE(r.ReadUInt8(*reinterpret_cast<uint8_t*>(&b))); // nothing left: a short read fails
}

TEST(BinaryIO, RefusedWriteReportsFailure)
{
    unsigned char buf[3];
    Strong<CMemoryStream> s = Strong<CMemoryStream>::Adopt(new CMemoryStream(buf, 3, MEMSTREAM_WRITE));
    CBinaryWriter w(s);
    EXPECT_FALSE(w.WriteString("abcd"));
    EXPECT_FALSE(w.WriteUInt32(1) && w.WriteUInt8(1));
}
