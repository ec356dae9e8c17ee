#include "ServerProcess.h"
#include "TarBuilder.h"

#include <Engine/BuiltinArchive.h>
#include <Engine/FileSystem.h>
#include <Engine/MountedPath.h>
#include <Engine/TARArchive.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <unistd.h>

using namespace Torvane3D;
using namespace TestSupport;

namespace
{
    std::string ReadAll(Stream* pStream)
    {
        if (!pStream)
            return "<none>";
        std::string strData;
        char buf[256];
        while (size_t n = pStream->Read(buf, sizeof(buf)))
            strData.append(buf, n);
        return strData;
    }

    std::string ReadFile(const std::string& strPath)
    {
        std::ifstream in(strPath, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    struct tListing
    {
        std::map<std::string, int> m_Names; // name -> times reported
        std::string m_strDirectory;
        int m_iStopAfter = -1;
    };

    bool Collect(const tDirectoryEntry& entry, void* pContext)
    {
        auto* pListing = static_cast<tListing*>(pContext);
        pListing->m_Names[entry.m_szName]++;
        pListing->m_strDirectory = entry.m_szDirectory;
        return pListing->m_iStopAfter < 0 || static_cast<int>(pListing->m_Names.size()) < pListing->m_iStopAfter;
    }

    // A server root on disk and a built-in archive, mounted in the server's order.
    struct tServerFiles
    {
        CTempDir m_Root;
        std::vector<unsigned char> m_Tar = BuildTar({{"vehiclecolours.conf", "from archive"},
            {"GTAInterface/GTAIIIEnums.h", "#define X 1"}, {"shared/only_archive.txt", "a"}});
        Strong<CFileSystem> m_pFileSystem = MakeStrong<CFileSystem>();

        tServerFiles()
        {
            m_Root.Write("resources/x/meta.xml", "<meta/>");
            m_Root.Write("shared/only_disk.txt", "d");
            m_pFileSystem->Mount(MakeStrong<CMountedPath>((m_Root.Path() + "/").c_str()));
            auto pArchive = MakeStrong<CTARArchive>();
            EXPECT_TRUE(pArchive->Read(MakeStrong<CMemoryStream>(m_Tar.data(), m_Tar.size())));
            m_pFileSystem->Mount(pArchive);
        }
    };
}

TEST(FileSystem, ExecutableFolderComesBeforeTheArchive)
{
    tServerFiles files;
    CFileSystem& fs = *files.m_pFileSystem;
    EXPECT_EQ(ReadAll(fs.Open("vehiclecolours.conf", false)), "from archive");
    files.m_Root.Write("vehiclecolours.conf", "from disk");
    EXPECT_EQ(ReadAll(fs.Open("vehiclecolours.conf", false)), "from disk");
    EXPECT_EQ(ReadAll(fs.Open("/GTAInterface/GTAIIIEnums.h", false)), "#define X 1");
    EXPECT_EQ(ReadAll(fs.Open("resources/x/meta.xml", false)), "<meta/>");
    EXPECT_EQ(ReadAll(fs.Open("/resources/x/meta.xml", false)), "<meta/>");
    EXPECT_EQ(ReadAll(fs.Open("missing.txt", false)), "<none>");
    EXPECT_TRUE(fs.Exists("GTAInterface", false, true));
    EXPECT_FALSE(fs.Exists("GTAInterface", true, false));

    tListing root;
    EXPECT_TRUE(fs.Enumerate("/", Collect, &root));
    EXPECT_EQ(root.m_Names["vehiclecolours.conf"], 1);
    EXPECT_EQ(root.m_Names["shared"], 1);
    EXPECT_EQ(root.m_Names["GTAInterface"], 1);
    EXPECT_EQ(root.m_strDirectory, "/");
    tListing shared;
    EXPECT_TRUE(fs.Enumerate("shared", Collect, &shared));
    EXPECT_EQ(shared.m_Names.size(), 2u); // one name from each mount
    EXPECT_EQ(shared.m_strDirectory, "shared");
    tListing stopped;
    stopped.m_iStopAfter = 1;
    EXPECT_FALSE(fs.Enumerate("/", Collect, &stopped));
    EXPECT_EQ(stopped.m_Names.size(), 1u);
    EXPECT_FALSE(fs.Enumerate("nowhere", Collect, &stopped));
}

TEST(FileSystem, BuiltinArchiveBehindTheExecutableFolder)
{
    auto pArchive = MakeStrong<CTARArchive>();
    ASSERT_TRUE(pArchive->Read(MakeStrong<CMemoryStream>(g_BuiltinArchive, g_BuiltinArchiveSize)));
    for (const char* szMember : {"vehiclecolours.conf", "vehiclecolours_vc.conf", "vehiclecolours_sa.conf",
             "vehiclecolours_iv.conf", "GTAInterface/GTAIIIEnums.h", "GTAInterface/GTAVCEnums.h",
             "GTAInterface/GTASAEnums.h", "GTAInterface/GTAIVEnums.h"})
        EXPECT_TRUE(pArchive->Exists(szMember, true, false)) << szMember;

    CTempDir root;
    auto pFileSystem = MakeStrong<CFileSystem>();
    pFileSystem->Mount(MakeStrong<CMountedPath>((root.Path() + "/").c_str()));
    pFileSystem->Mount(pArchive);
    std::string strBuiltin = ReadAll(pFileSystem->Open("vehiclecolours.conf", false));
    EXPECT_GT(strBuiltin.size(), 0u);
    root.Write("vehiclecolours.conf", "beside the executable");
    EXPECT_EQ(ReadAll(pFileSystem->Open("vehiclecolours.conf", false)), "beside the executable");
    EXPECT_EQ(ReadAll(pFileSystem->Open("/vehiclecolours.conf", false)), "beside the executable");
}

TEST(MountedPath, OpenCreateExists)
{
    CTempDir root;
    auto pMount = MakeStrong<CMountedPath>(root.Path().c_str()); // no trailing '/': one is added
    Strong<Stream> pNew = pMount->Create("/deep/er/file.bin");
    ASSERT_TRUE(pNew);
    EXPECT_EQ(pNew->Write("abcdef", 6), 6u);
    pNew = nullptr;
    EXPECT_EQ(ReadFile(root.File("deep/er/file.bin")), "abcdef");

    Strong<Stream> pRW = pMount->Open("deep/er/file.bin", true); // no truncation
    ASSERT_TRUE(pRW);
    EXPECT_EQ(pRW->Write("X", 1), 1u);
    pRW = nullptr;
    EXPECT_EQ(ReadFile(root.File("deep/er/file.bin")), "Xbcdef");

    EXPECT_FALSE(pMount->Open("deep/er/file.bin", false)->Write("Y", 1) > 0);
    EXPECT_FALSE(pMount->Open("deep", false)); // a folder is not a file
    EXPECT_FALSE(pMount->Open("nothing", false));
    EXPECT_TRUE(pMount->Exists("deep/er", false, true));
    EXPECT_FALSE(pMount->Exists("deep/er", true, false));
    EXPECT_TRUE(pMount->Exists("deep/er/file.bin", true, false));
    EXPECT_FALSE(pMount->Exists("deep/er/file.bin/", true, true));
}

TEST(MountedPath, ConfineVirtualPath)
{
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"a/b.txt", "a/b.txt"}, {"/a/b.txt", "a/b.txt"}, {"//a///b.txt", "a/b.txt"}, {"./a/./b.txt", "a/b.txt"},
        {"a/x/../b.txt", "a/b.txt"}, {"a/b/", "a/b/"}, {"", ""}, {"/", ""}, {"a/..", ""},
        {"..", nullptr}, {"../a", nullptr}, {"/../a", nullptr}, {"a/../../b", nullptr}, {"a/../..", nullptr},
        {"..a/b", "..a/b"}, {"a../b", "a../b"}};
    for (const auto& [szIn, szOut] : cases) {
        std::string strResult;
        bool bOk = ConfineVirtualPath(szIn, strResult);
        EXPECT_EQ(bOk, szOut != nullptr) << szIn;
        if (bOk && szOut) {
            EXPECT_EQ(strResult, szOut) << szIn;
        }
    }
}

TEST(MountedPath, UntrustedPathsStayInsideTheRoot)
{
    CTempDir outer;
    outer.Write("secret.txt", "secret");
    outer.Write("root/inside.txt", "inside");
    outer.Write("root/sub/deeper.txt", "deeper");
    std::string strRoot = outer.File("root");
    namespace fs = std::filesystem;
    fs::create_symlink(outer.File("secret.txt"), strRoot + "/link_out.txt");
    fs::create_directory_symlink(outer.Path(), strRoot + "/dir_out");
    fs::create_symlink(strRoot + "/inside.txt", strRoot + "/link_in.txt");
    fs::create_symlink(outer.File("new_outside.txt"), strRoot + "/dangling");

    auto pMount = MakeStrong<CMountedPath>(strRoot.c_str());
    struct tCase
    {
        const char* m_szPath;
        const char* m_szUntrusted; // expected content, or nullptr when refused
        const char* m_szOwner;
    };
    const tCase cases[] = {
        {"inside.txt", "inside", "inside"},
        {"sub/../inside.txt", "inside", "inside"},
        {"link_in.txt", "inside", "inside"},
        {"../secret.txt", nullptr, "secret"},
        {"sub/../../secret.txt", nullptr, "secret"},
        {"link_out.txt", nullptr, "secret"},
        {"dir_out/secret.txt", nullptr, "secret"},
        {"dir_out/root/inside.txt", "inside", "inside"}, // leaves and comes back: still inside
    };
    for (const tCase& c : cases) {
        EXPECT_EQ(ReadAll(pMount->Open(c.m_szPath, false)), c.m_szUntrusted ? c.m_szUntrusted : "<none>") << c.m_szPath;
        EXPECT_EQ(ReadAll(pMount->Open(c.m_szPath, false, PATH_OWNER)), c.m_szOwner) << c.m_szPath;
        EXPECT_EQ(pMount->Exists(c.m_szPath, true, false), c.m_szUntrusted != nullptr) << c.m_szPath;
    }
    EXPECT_FALSE(pMount->Open("link_out.txt", true));
    EXPECT_FALSE(pMount->Create("../made.txt"));
    EXPECT_FALSE(pMount->Create("dir_out/made.txt"));
    EXPECT_FALSE(pMount->Create("dangling")); // would create the link's target outside
    EXPECT_FALSE(fs::exists(outer.File("made.txt")));
    EXPECT_FALSE(fs::exists(outer.File("new_outside.txt")));
    tListing listing;
    EXPECT_FALSE(pMount->Enumerate("dir_out", Collect, &listing));
    EXPECT_FALSE(pMount->Enumerate("..", Collect, &listing));
    EXPECT_TRUE(pMount->Enumerate("/", Collect, &listing));
    EXPECT_EQ(listing.m_Names.count("link_out.txt"), 0u);
    EXPECT_EQ(listing.m_Names.count("link_in.txt"), 1u);

    // The owner's paths (a log folder beside the root, for example) are not confined.
    EXPECT_TRUE(pMount->Create("../logs/ServerLog.log", PATH_OWNER));
    EXPECT_TRUE(fs::exists(outer.File("logs/ServerLog.log")));

    // Through the file system the same rules hold.
    auto pFileSystem = MakeStrong<CFileSystem>();
    pFileSystem->Mount(pMount);
    EXPECT_FALSE(pFileSystem->Open("../secret.txt", false));
    EXPECT_TRUE(pFileSystem->Open("../secret.txt", false, PATH_OWNER));
}
