// The configured game's define header: ParseConfig reads it through the file system and
// appends its enumerators to the server's define list, naming it by its bare file name.
#include "ConfigTestFileSystem.h"
#include "ConfigXmlTree.h"
#include "GTAServer.h"
#include "ServerConfiguration.h"

#include <Engine/Context.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Torvane3D;
using namespace TestSupport;

namespace
{
    class CProblemLog : public ILogListener
    {
    public:
        CProblemLog() { AddLogListener(this); }
        ~CProblemLog() override { RemoveLogListener(this); }
        void OnLogMessage(eLogType level, const char* szText) override
        {
            if (level >= LOG_WARN)
                m_Lines.emplace_back(szText);
        }
        std::vector<std::string> m_Lines;
    };

    // The entries ParseConfig appended, as name=value.
    std::vector<std::string> ParseAndCollect(const std::string& strGame, std::vector<std::string>* pProblems = nullptr)
    {
        auto pRoot = LoadConfigXml("<config><game>" + strGame + "</game></config>");
        EXPECT_NE(pRoot, nullptr);
        if (!pRoot)
            return {};
        CServerConfiguration config(*pRoot);
        CGTAServer server;
        size_t nBefore = server.m_DefineHandlers.GetCount();
        CProblemLog log;
        server.ParseConfig(config);
        if (pProblems)
            *pProblems = log.m_Lines;
        std::vector<std::string> entries;
        for (size_t i = nBefore; i < server.m_DefineHandlers.GetCount(); ++i) {
            const IntDefine& define = server.m_DefineHandlers.Get(i);
            EXPECT_FALSE(define.m_bUnsigned) << define.m_strName;
            entries.push_back(define.m_strName + "=" + std::to_string(define.GetSigned()));
        }
        return entries;
    }

    // The same header processed on its own.
    std::vector<std::string> HeaderEntries(CFileSystem& fileSystem, const char* szPath)
    {
        CDefineHandlers handlers;
        Strong<Stream> pStream = fileSystem.Open(szPath, false);
        EXPECT_TRUE(pStream) << szPath;
        EXPECT_TRUE(handlers.Process(pStream, szPath)) << szPath;
        std::vector<std::string> entries;
        for (const IntDefine& define : handlers)
            entries.push_back(define.m_strName + "=" + std::to_string(define.GetSigned()));
        return entries;
    }
}

TEST(DefineHeaderConfig, EachGameDefinesItsHeaderConstants)
{
    CConfigTestFileSystem files;
    struct Case
    {
        const char* szGame;
        const char* szHeader;
    };
    const Case cases[] = {
        {"gta:iii", "/GTAInterface/GTAIIIEnums.h"},
        {"gta:vc", "/GTAInterface/GTAVCEnums.h"},
        {"GTA:SA", "/GTAInterface/GTASAEnums.h"},
        {"gta:iv", "/GTAInterface/GTAIVEnums.h"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> problems;
        std::vector<std::string> entries = ParseAndCollect(c.szGame, &problems);
        EXPECT_TRUE(problems.empty()) << c.szGame << ": " << (problems.empty() ? "" : problems[0]);
        EXPECT_FALSE(entries.empty()) << c.szGame;
        EXPECT_EQ(entries, HeaderEntries(files.FileSystem(), c.szHeader)) << c.szGame;
    }
    // Unknown games read no header (their missing colour table then fails the parse).
    EXPECT_TRUE(ParseAndCollect("bully").empty());
    EXPECT_TRUE(ParseAndCollect("gta:lcs").empty());
}

// A header beside the executable replaces the built-in one; its failure is logged under the
// bare file name, keeps what came before it, and does not stop the configuration.
TEST(DefineHeaderConfig, HeaderFromDiskAndItsFailure)
{
    CConfigTestFileSystem files;
    files.Folder().Write("GTAInterface/GTASAEnums.h", "#pragma once\nenum eOwn\n{\n    OWN_A = 7,\n    OWN_B = x,\n};\n");
    auto pRoot = LoadConfigXml("<config><game>gta:sa</game></config>");
    ASSERT_NE(pRoot, nullptr);
    CServerConfiguration config(*pRoot);
    CGTAServer server;
    size_t nBefore = server.m_DefineHandlers.GetCount();
    CProblemLog log;
    EXPECT_TRUE(server.ParseConfig(config));
    EXPECT_EQ(log.m_Lines, std::vector<std::string>{"GTASAEnums.h(5): unexpected identifier 'x'"});
    ASSERT_EQ(server.m_DefineHandlers.GetCount(), nBefore + 1);
    EXPECT_EQ(server.m_DefineHandlers.Get(nBefore).m_strName, "OWN_A");
    EXPECT_EQ(server.m_DefineHandlers.Get(nBefore).GetSigned(), 7);
}
