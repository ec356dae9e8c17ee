#include <Engine/TextReader.h>
#include <Engine/TextWriter.h>

#include <gtest/gtest.h>

using namespace Torvane3D;

namespace
{
    Strong<CTextReader> ReaderOver(const std::string& strBytes)
    {
        auto pStream = MakeStrong<CUnlimitedStream>();
        pStream->Write(strBytes.data(), strBytes.size());
        pStream->Seek(0, SEEK_ORIGIN_BEGIN);
        return MakeStrong<CTextReader>(pStream.Get());
    }

    std::string LoadedText(const std::string& strBytes)
    {
        Strong<CTextReader> pReader = ReaderOver(strBytes);
        const std::string* pText = pReader->GetText();
        return pText ? *pText : "<refused>";
    }

    std::string UTF16LE(std::initializer_list<uint16_t> units)
    {
        std::string s = "\xFF\xFE";
        for (uint16_t u : units) {
            s += static_cast<char>(u & 0xFF);
            s += static_cast<char>(u >> 8);
        }
        return s;
    }
}

TEST(TextReader, EncodingsByMark)
{
    struct tCase
    {
        std::string m_strBytes;
        const char* m_szText;
    };
    const tCase cases[] = {
        {"plain", "plain"},
        {"\xEF\xBB\xBFmarked", "marked"},
        {"", ""},
        {"\xEF\xBB", "\xEF\xBB"}, // too short for a mark: UTF-8 text
        {UTF16LE({'h', 'i'}), "hi"},
        {UTF16LE({'h', 'i'}) + "x", "hi"}, // an odd trailing byte is no unit
        {UTF16LE({0x00E9, 0x20AC}), "\xC3\xA9\xE2\x82\xAC"},
        {UTF16LE({0xD83D, 0xDE00}), "\xF0\x9F\x98\x80"},         // a surrogate pair: U+1F600
        {UTF16LE({0xD83D, 'a'}), "\xEF\xBF\xBD" "a"},            // a lone high surrogate
        {UTF16LE({0xDE00}), "\xEF\xBF\xBD"},                     // a lone low surrogate
        {UTF16LE({0xD83D}), "\xEF\xBF\xBD"},                     // cut at the end
        {std::string("\xFF\xFE\x00\x00h\x00\x00\x00", 8), nullptr}, // UTF-32 LE, not UTF-16
        {std::string("\x00\x00\xFE\xFF\x00\x00\x00h", 8), nullptr}, // UTF-32 BE
        {std::string("\xFE\xFF\x00h", 4), nullptr},                 // UTF-16 BE
    };
    for (const tCase& c : cases)
        EXPECT_EQ(LoadedText(c.m_strBytes), c.m_szText ? c.m_szText : "<refused>") << c.m_strBytes;

    auto pReader = ReaderOver(std::string("\xFF\xFE\x00\x00", 4));
    pReader->DetermineEncoding();
    EXPECT_EQ(pReader->GetEncoding(), TEXT_ENCODING_UTF32);
    EXPECT_FALSE(pReader->IsBigEndian());
    EXPECT_FALSE(pReader->Load());
    char c;
    EXPECT_EQ(pReader->Read(&c, 1), 0u);
}

TEST(TextReader, LinesWithEndings)
{
    auto pReader = ReaderOver("a\r\nb\n\nlast");
    std::string strLine;
    std::vector<std::string> lines;
    while (pReader->ReadLine(strLine))
        lines.push_back(strLine);
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "b", "", "last"}));

    auto pSpec = ReaderOver("a\r\nb");
    char buf[16];
    size_t length;
    ASSERT_TRUE(pSpec->ReadLine(buf, sizeof(buf), length));
    EXPECT_STREQ(buf, "a");
    ASSERT_TRUE(pSpec->ReadLine(buf, sizeof(buf), length));
    EXPECT_STREQ(buf, "b");
    EXPECT_FALSE(pSpec->ReadLine(buf, sizeof(buf), length));
}

TEST(TextReader, LongLinesComeInPiecesNotAsTheEnd)
{
    std::string strLong(5000, 'x');
    strLong[4999] = 'y';
    auto pReader = ReaderOver("short\n" + strLong + "\r\nafter\n");
    char buf[1024];
    size_t length;
    bool bComplete;
    ASSERT_TRUE(pReader->ReadLine(buf, sizeof(buf), length, &bComplete));
    EXPECT_STREQ(buf, "short");
    EXPECT_TRUE(bComplete);
    std::string strJoined;
    int iPieces = 0;
    do {
        ASSERT_TRUE(pReader->ReadLine(buf, sizeof(buf), length, &bComplete));
        EXPECT_EQ(strlen(buf), length);
        strJoined.append(buf, length);
        iPieces++;
    } while (!bComplete);
    EXPECT_EQ(strJoined, strLong);
    EXPECT_EQ(iPieces, 5);
    ASSERT_TRUE(pReader->ReadLine(buf, sizeof(buf), length, &bComplete));
    EXPECT_STREQ(buf, "after");
    EXPECT_FALSE(pReader->ReadLine(buf, sizeof(buf), length, &bComplete));
    EXPECT_FALSE(ReaderOver("x")->ReadLine(buf, 1, length)); // no room for progress

    std::string strWhole;
    auto pWhole = ReaderOver(strLong);
    ASSERT_TRUE(pWhole->ReadLine(strWhole));
    EXPECT_EQ(strWhole, strLong);
}

TEST(TextReader, Characters)
{
    auto pReader = ReaderOver("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80" "\x80" "\xC3" "b" "\xC0\xAF" "\xE2\x82");
    std::vector<uint32_t> cps;
    uint32_t cp;
    while (pReader->ReadCharacter(cp))
        cps.push_back(cp);
    EXPECT_EQ(cps, (std::vector<uint32_t>{'a', 0xE9, 0x20AC, 0x1F600, 0xFFFD, 0xFFFD, 'b', 0xFFFD, 0xFFFD, 0xFFFD,
                       0xFFFD}));

    auto pRead = ReaderOver("\xEF\xBB\xBFhello");
    char buf[3];
    EXPECT_EQ(pRead->Read(buf, 3), 3u);
    EXPECT_EQ(std::string(buf, 3), "hel");
}

TEST(TextWriter, MarksAndText)
{
    struct tCase
    {
        eTextEncoding m_Encoding;
        bool m_bBigEndian;
        std::string m_strMark;
        bool m_bWrites;
    };
    const tCase cases[] = {
        {TEXT_ENCODING_UTF8, false, "\xEF\xBB\xBF", true},
        {TEXT_ENCODING_UTF16, false, "\xFF\xFE", false},
        {TEXT_ENCODING_UTF16, true, "\xFE\xFF", false},
        {TEXT_ENCODING_UTF32, false, std::string("\xFF\xFE\x00\x00", 4), false},
        {TEXT_ENCODING_UTF32, true, std::string("\x00\x00\xFE\xFF", 4), false},
    };
    for (const tCase& c : cases) {
        auto pStream = MakeStrong<CUnlimitedStream>();
        CTextWriter writer(pStream, c.m_Encoding, c.m_bBigEndian);
        EXPECT_EQ(writer.Write("hi"), c.m_bWrites);
        EXPECT_EQ(writer.Write("!"), c.m_bWrites);
        std::string strOut(reinterpret_cast<const char*>(pStream->GetData()), pStream->GetSize());
        EXPECT_EQ(strOut, c.m_strMark + (c.m_bWrites ? "hi!" : ""));
    }
    // An empty text still gets its mark; a stream not at its start gets none.
    auto pEmpty = MakeStrong<CUnlimitedStream>();
    EXPECT_TRUE(CTextWriter(pEmpty).Write(""));
    EXPECT_EQ(pEmpty->GetSize(), 3u);
    auto pAppend = MakeStrong<CUnlimitedStream>();
    pAppend->Write("old", 3);
    EXPECT_TRUE(CTextWriter(pAppend).Write("new"));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(pAppend->GetData()), pAppend->GetSize()), "oldnew");
}
