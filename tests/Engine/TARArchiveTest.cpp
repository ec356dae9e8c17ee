#include "TarBuilder.h"

#include <Engine/TARArchive.h>

#include <gtest/gtest.h>

#include <set>

using namespace Torvane3D;
using namespace TestSupport;

namespace
{
    Strong<CTARArchive> ReadTar(const std::vector<unsigned char>& tar, bool* pbRead = nullptr)
    {
        auto pArchive = MakeStrong<CTARArchive>();
        // The stream refers to the vector: the tests keep it alive for the archive's life.
        bool bRead = pArchive->Read(MakeStrong<CMemoryStream>(tar.data(), tar.size()));
        if (pbRead)
            *pbRead = bRead;
        return pArchive;
    }

    std::string ReadMember(CVirtualFileMgr* pMgr, const char* szPath)
    {
        Strong<Stream> pStream = pMgr->Open(szPath, false);
        if (!pStream)
            return "<none>";
        std::string strData(static_cast<size_t>(pStream->GetLength()), '\0');
        EXPECT_EQ(pStream->Read(strData.data(), strData.size()), strData.size());
        return strData;
    }

    bool CollectNames(const tDirectoryEntry& entry, void* pContext)
    {
        static_cast<std::set<std::string>*>(pContext)->insert(std::string(entry.m_szName) +
            (entry.m_bIsDirectory ? "/" : ""));
        return true;
    }
}

TEST(TARArchive, MembersAndTreeWalk)
{
    auto tar = BuildTar({{"a/b/c.txt", "hello"}, {"top.txt", std::string(700, 'x')}, {"a/", "", '5'}});
    bool bRead;
    auto pArchive = ReadTar(tar, &bRead);
    ASSERT_TRUE(bRead);
    EXPECT_EQ(pArchive->GetMembers().size(), 3u);
    EXPECT_EQ(ReadMember(pArchive, "a/b/c.txt"), "hello");
    EXPECT_EQ(ReadMember(pArchive, "/a/b/c.txt"), "hello");
    EXPECT_EQ(ReadMember(pArchive, "top.txt"), std::string(700, 'x'));
    EXPECT_TRUE(pArchive->Exists("a/b", false, true));
    EXPECT_FALSE(pArchive->Exists("a/b", true, false));
    EXPECT_TRUE(pArchive->Exists("a/b/", false, true));
    EXPECT_FALSE(pArchive->Exists("a/b/c.txt/", true, true));
    EXPECT_EQ(ReadMember(pArchive, "a/b/c.txt/"), "<none>");
    EXPECT_EQ(ReadMember(pArchive, "A/B/C.TXT"), "<none>"); // case-sensitive
    EXPECT_EQ(ReadMember(pArchive, "a/b"), "<none>");
    EXPECT_EQ(ReadMember(pArchive, "a//b/c.txt"), "<none>");
    EXPECT_FALSE(pArchive->Open("a/b/c.txt", true)); // read-only
    EXPECT_FALSE(pArchive->Create("new.txt"));

    std::set<std::string> names;
    EXPECT_TRUE(pArchive->Enumerate("/", CollectNames, &names));
    EXPECT_EQ(names, (std::set<std::string>{"a/", "top.txt"}));
    names.clear();
    EXPECT_TRUE(pArchive->Enumerate("a/b", CollectNames, &names));
    EXPECT_EQ(names, (std::set<std::string>{"c.txt"}));
    EXPECT_FALSE(pArchive->Enumerate("a/b/c.txt", CollectNames, &names));
}

TEST(TARArchive, CaseInsensitiveArchive)
{
    auto tar = BuildTar({{"Dir/File.TXT", "x"}});
    auto pArchive = MakeStrong<CTARArchive>(false);
    ASSERT_TRUE(pArchive->Read(MakeStrong<CMemoryStream>(tar.data(), tar.size())));
    EXPECT_EQ(ReadMember(pArchive, "dir/file.txt"), "x");
}

TEST(TARArchive, NameFormsAndChecksumForms)
{
    tTarMember prefixed{"file.txt", "p"};
    prefixed.m_strPrefix = "dir";
    tTarMember v7{"old.txt", "v"};
    v7.m_bUstar = false;
    v7.m_strPrefix = "ignored";
    tTarMember signedSum{"\xC3\xA9t\xC3\xA9.txt", "s"}; // high bytes: the two sums differ
    signedSum.m_bSignedChecksum = true;
    tTarMember nulType{"nul.txt", "n", '\0'};
    tTarMember link{"link", "", '2'};
    auto tar = BuildTar({prefixed, v7, signedSum, nulType, link});
    bool bRead;
    auto pArchive = ReadTar(tar, &bRead);
    ASSERT_TRUE(bRead);
    EXPECT_EQ(ReadMember(pArchive, "dir/file.txt"), "p");
    EXPECT_EQ(ReadMember(pArchive, "old.txt"), "v");
    EXPECT_EQ(ReadMember(pArchive, "\xC3\xA9t\xC3\xA9.txt"), "s");
    EXPECT_EQ(ReadMember(pArchive, "nul.txt"), "n");
    EXPECT_FALSE(pArchive->Exists("link", true, true)); // other types are skipped
}

TEST(TARArchive, BadChecksumRejectsWholeArchive)
{
    tTarMember bad{"b.txt", "b"};
    bad.m_iChecksumError = 1;
    for (const auto& members : std::vector<std::vector<tTarMember>>{{bad}, {{"a.txt", "a"}, bad}}) {
        bool bRead;
        auto pArchive = ReadTar(BuildTar(members), &bRead);
        EXPECT_FALSE(bRead);
        EXPECT_TRUE(pArchive->GetMembers().empty());
        EXPECT_FALSE(pArchive->Exists("a.txt", true, true));
    }
}

TEST(TARArchive, TruncatedArchives)
{
    auto tar = BuildTar({{"a.txt", "first"}, {"b.txt", std::string(1000, 'b')}}, false);
    // Cut inside the second member's data: its data would pass the end.
    {
        std::vector<unsigned char> cut(tar.begin(), tar.begin() + 1024 + 512 + 100);
        bool bRead;
        auto pArchive = ReadTar(cut, &bRead);
        EXPECT_FALSE(bRead);
        EXPECT_FALSE(pArchive->Exists("a.txt", true, false));
    }
    // Cut inside the second header: the archive ends before it.
    {
        std::vector<unsigned char> cut(tar.begin(), tar.begin() + 1024 + 200);
        bool bRead;
        auto pArchive = ReadTar(cut, &bRead);
        EXPECT_TRUE(bRead);
        EXPECT_EQ(ReadMember(pArchive, "a.txt"), "first");
        EXPECT_FALSE(pArchive->Exists("b.txt", true, false));
    }
    // Nothing at all, and no end blocks: an empty archive.
    bool bRead;
    auto pEmpty = ReadTar({}, &bRead);
    EXPECT_TRUE(bRead);
    EXPECT_TRUE(pEmpty->Exists("/", false, true));
    auto pNoEnd = ReadTar(tar, &bRead);
    EXPECT_TRUE(bRead);
    EXPECT_EQ(ReadMember(pNoEnd, "b.txt"), std::string(1000, 'b'));
}

TEST(TARArchive, MalformedNumbersRejected)
{
    auto tar = BuildTar({{"a.txt", "a"}});
    // A size field with a non-octal digit (the checksum is recomputed to match).
    tar[124] = '9';
    memset(tar.data() + 148, ' ', 8);
    unsigned sum = 0;
    for (int i = 0; i < 512; i++)
        sum += tar[i];
    snprintf(reinterpret_cast<char*>(tar.data()) + 148, 8, "%06o", sum);
    bool bRead;
    ReadTar(tar, &bRead);
    EXPECT_FALSE(bRead);
}

TEST(TARArchive, MemberNamesCannotClimbOut)
{
    auto tar = BuildTar({{"../evil.txt", "e"}, {"a/../../evil2.txt", "e"}, {"./good.txt", "g"},
        {"/abs.txt", "a"}, {"x/./y//z.txt", "z"}});
    bool bRead;
    auto pArchive = ReadTar(tar, &bRead);
    ASSERT_TRUE(bRead);
    std::set<std::string> names;
    pArchive->Enumerate("/", CollectNames, &names);
    EXPECT_EQ(names, (std::set<std::string>{"good.txt", "abs.txt", "x/"}));
    EXPECT_EQ(ReadMember(pArchive, "good.txt"), "g");
    EXPECT_EQ(ReadMember(pArchive, "x/y/z.txt"), "z");
    EXPECT_EQ(ReadMember(pArchive, "../evil.txt"), "<none>");
    EXPECT_FALSE(pArchive->Exists("..", true, true));
}

TEST(TARArchive, DuplicateNamesKeepTheFirst)
{
    auto tar = BuildTar({{"same.txt", "first"}, {"same.txt", "second"}, {"same.txt/inner", "i"}});
    auto pArchive = ReadTar(tar);
    EXPECT_EQ(ReadMember(pArchive, "same.txt"), "first");
    EXPECT_FALSE(pArchive->Exists("same.txt/inner", true, true));
}
