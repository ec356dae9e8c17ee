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

TEST(Digests, KnownAnswers)
{
    const std::string strFox = "The quick brown fox jumps over the lazy dog";
    struct tCase
    {
        std::string m_strInput;
        const char* m_szSHA256;
        const char* m_szMD5;
    };
    const tCase cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", "d41d8cd98f00b204e9800998ecf8427e"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", "900150983cd24fb0d6963f7d28e17f72"},
        {strFox, "d7a8fbb307d7809469ca9abcb0082e4f8d5651e46d3cdb762d02d0bf37c9e592", "9e107d9d372bb6826bd81d3542a419d6"},
    };
    for (const tCase& c : cases) {
        EXPECT_EQ(CDigest::ToHex(CSHA256::Hash(c.m_strInput)), c.m_szSHA256) << c.m_strInput;
        EXPECT_EQ(CDigest::ToHex(CMD5Hash::Hash(c.m_strInput)), c.m_szMD5) << c.m_strInput;
    }
    EXPECT_EQ(CSHA256::Hash("abc").size(), CSHA256::DIGEST_SIZE);
    EXPECT_EQ(CMD5Hash::Hash("abc").size(), CMD5Hash::DIGEST_SIZE);

    // Pieces hash like the whole, and a finished hash starts over.
    CSHA256 sha;
    sha.Add("The quick brown ");
    sha.Add(strFox.data() + 16, strFox.size() - 16);
    EXPECT_EQ(sha.FinishHex(), "d7a8fbb307d7809469ca9abcb0082e4f8d5651e46d3cdb762d02d0bf37c9e592");
    sha.Add("abc");
    EXPECT_EQ(sha.FinishHex(), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}
