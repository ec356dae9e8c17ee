#include <Scripting/CommandHandlers.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Torvane3D;

namespace
{
    struct CCall
    {
        std::string m_strHandler;
        std::string m_strCommand;
        std::string m_strArguments;
        CBaseObject* m_pSource;
    };

    std::vector<CCall> g_Calls;

    class CRecordingHandler : public CUnhandledCommandHandler
    {
    public:
        CRecordingHandler(const char* szLabel, bool bAdministratorOnly, bool* pDestroyed = nullptr)
            : m_strLabel(szLabel), m_pDestroyed(pDestroyed)
        {
            SetAdministratorOnly(bAdministratorOnly);
        }
        ~CRecordingHandler() override
        {
            if (m_pDestroyed)
                *m_pDestroyed = true;
        }
        void Execute(const char* szCommand, const char* szArguments, CBaseObject* pSource) override
        {
            g_Calls.push_back({m_strLabel, szCommand, szArguments, pSource});
        }

    private:
        std::string m_strLabel;
        bool* m_pDestroyed;
    };

    CResource* FakeResource(int i)
    {
        static char s_Storage[4];
        return reinterpret_cast<CResource*>(&s_Storage[i]);
    }

    class CommandHandlersTest : public ::testing::Test
    {
    protected:
        void SetUp() override { g_Calls.clear(); }

        CCommandHandlers m_Registry;
    };
}

TEST_F(CommandHandlersTest, KeysAreCrc32OfTheLowerCasedName)
{
    EXPECT_EQ(CCommandHandlers::GetCommandKey("123456789"), 0xCBF43926u);
    EXPECT_EQ(CCommandHandlers::GetCommandKey(""), 0u);
    EXPECT_EQ(CCommandHandlers::GetCommandKey(nullptr), 0u);
    EXPECT_EQ(CCommandHandlers::GetCommandKey("Say"), CCommandHandlers::GetCommandKey("sAY"));
    EXPECT_EQ(CCommandHandlers::GetCommandKey("say"), CCommandHandlers::GetCommandKey("say"));
    EXPECT_NE(CCommandHandlers::GetCommandKey("say"), CCommandHandlers::GetCommandKey("sày"));
}

TEST_F(CommandHandlersTest, RegistrationLookupAndRights)
{
    bool bRefusedDestroyed = false;
    ASSERT_TRUE(m_Registry.AddCommandHandler(new CRecordingHandler("admin", true), "Kick"));
    EXPECT_FALSE(m_Registry.AddCommandHandler(new CRecordingHandler("dup", true, &bRefusedDestroyed), "KICK"));
    EXPECT_TRUE(bRefusedDestroyed);
    ASSERT_TRUE(m_Registry.AddCommandHandler(new CRecordingHandler("open", false), "help"));
    EXPECT_EQ(m_Registry.GetCommandHandler("kick")->GetName(), "Kick");
    EXPECT_EQ(m_Registry.GetCommandHandler("kick")->GetOwner(), &m_Registry);
    EXPECT_TRUE(m_Registry.HasCommandHandler("HELP"));
    EXPECT_FALSE(m_Registry.HasCommandHandler("nothing"));

    EXPECT_FALSE(m_Registry.Trigger("kick", "", nullptr, false));
    EXPECT_TRUE(g_Calls.empty());
    EXPECT_TRUE(m_Registry.Trigger("kICK", "x", nullptr, true));
    EXPECT_TRUE(m_Registry.Trigger("help", "", nullptr, false));
    EXPECT_FALSE(m_Registry.Trigger("nothing", "", nullptr, true));
    EXPECT_FALSE(m_Registry.Trigger(nullptr, "", nullptr, true));
    ASSERT_EQ(g_Calls.size(), 2u);
    EXPECT_EQ(g_Calls[0].m_strHandler, "admin");
    EXPECT_EQ(g_Calls[0].m_strCommand, "kICK");
    EXPECT_EQ(g_Calls[1].m_strHandler, "open");
}

TEST_F(CommandHandlersTest, ArgumentsAreCutAndLoseTrailingLineEnds)
{
    m_Registry.AddCommandHandler(new CRecordingHandler("h", false), "h");
    const std::string long300(300, 'a');
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"plain", "plain"},
        {"a b\r\n", "a b"},
        {"\r\n\r\n", ""},
        {"mid\r\nend", "mid\r\nend"},
        {"  lead", "  lead"},
        {long300, std::string(255, 'a')},
        {std::string(254, 'b') + "\r\n", std::string(254, 'b')},
    };
    for (const auto& c : cases) {
        g_Calls.clear();
        ASSERT_TRUE(m_Registry.Trigger("h", c.first.c_str(), nullptr, false));
        ASSERT_EQ(g_Calls.size(), 1u);
        EXPECT_EQ(g_Calls[0].m_strArguments, c.second) << c.first;
    }
    g_Calls.clear();
    m_Registry.Trigger("h", nullptr, nullptr, false);
    EXPECT_EQ(g_Calls.at(0).m_strArguments, "");
}

TEST_F(CommandHandlersTest, LinesSplitIntoNameAndArgumentsWithTheFallbackForUnknownNames)
{
    m_Registry.AddCommandHandler(new CRecordingHandler("cmd", true), "cmd");
    m_Registry.SetUnhandledCommandHandler(new CRecordingHandler("fallback", true));
    struct CCase
    {
        std::string m_strLine;
        bool m_bResult;
        std::string m_strHandler, m_strCommand, m_strArguments;
    };
    const std::vector<CCase> cases = {
        {"cmd one two\n", true, "cmd", "cmd", "one two"},
        {"CMD  spaced\n", true, "cmd", "CMD", " spaced"},
        {"cmd\n", true, "cmd", "cmd", ""},
        {"cmd", true, "cmd", "cmd", ""},
        {"cmd\rrest\n", true, "cmd", "cmd", "rest"},
        {"\n", false, "fallback", "", ""},
        {" cmd\n", false, "fallback", "", "cmd\n"},
        {"nope a b\n", false, "fallback", "nope", "a b\n"},
        {"cmd " + std::string(300, 'z'), true, "cmd", "cmd", std::string(252, 'z')},
    };
    for (const CCase& c : cases) {
        g_Calls.clear();
        EXPECT_EQ(m_Registry.ConsoleCommandOnly(c.m_strLine.c_str(), nullptr, true), c.m_bResult) << c.m_strLine;
        ASSERT_EQ(g_Calls.size(), 1u) << c.m_strLine;
        EXPECT_EQ(g_Calls[0].m_strHandler, c.m_strHandler) << c.m_strLine;
        EXPECT_EQ(g_Calls[0].m_strCommand, c.m_strCommand) << c.m_strLine;
        EXPECT_EQ(g_Calls[0].m_strArguments, c.m_strArguments) << c.m_strLine;
    }

    // Without the right, neither the command nor the administrator-only fallback runs.
    g_Calls.clear();
    EXPECT_FALSE(m_Registry.ConsoleCommandOnly("cmd\n", nullptr, false));
    EXPECT_FALSE(m_Registry.ConsoleCommandOnly("nope\n", nullptr, false));
    EXPECT_TRUE(g_Calls.empty());
    m_Registry.SetUnhandledCommandHandler(new CRecordingHandler("open fallback", false));
    EXPECT_FALSE(m_Registry.ConsoleCommandOnly("cmd\n", nullptr, false));
    ASSERT_EQ(g_Calls.size(), 1u);
    EXPECT_EQ(g_Calls[0].m_strHandler, "open fallback");
}

TEST_F(CommandHandlersTest, ConsoleCommandTakesChatOrSlashCommands)
{
    CBaseObject source;
    m_Registry.AddCommandHandler(new CRecordingHandler("cmd", true), "cmd");
    m_Registry.SetUnhandledCommandHandler(new CRecordingHandler("fallback", true));
    EXPECT_FALSE(m_Registry.ConsoleCommand("", nullptr, true));
    EXPECT_FALSE(m_Registry.ConsoleCommand(nullptr, nullptr, true));
    EXPECT_FALSE(m_Registry.ConsoleCommand("/", nullptr, true));
    EXPECT_FALSE(m_Registry.ConsoleCommand(("/cmd " + std::string(251, 'x')).c_str(), nullptr, true));
    EXPECT_TRUE(g_Calls.empty());

    EXPECT_TRUE(m_Registry.ConsoleCommand(("/cmd " + std::string(250, 'x')).c_str(), &source, true));
    ASSERT_EQ(g_Calls.size(), 1u);
    EXPECT_EQ(g_Calls[0].m_strArguments.size(), 250u);
    EXPECT_EQ(g_Calls[0].m_pSource, &source);

    // Chat goes to `say`; without one the fallback hears about "say".
    g_Calls.clear();
    EXPECT_FALSE(m_Registry.ConsoleCommand("hello there", nullptr, true));
    ASSERT_EQ(g_Calls.size(), 1u);
    EXPECT_EQ(g_Calls[0].m_strHandler, "fallback");
    EXPECT_EQ(g_Calls[0].m_strCommand, "say");
    EXPECT_EQ(g_Calls[0].m_strArguments, "hello there");
    m_Registry.AddCommandHandler(new CRecordingHandler("say", true), "say");
    g_Calls.clear();
    EXPECT_TRUE(m_Registry.ConsoleCommand("hello", nullptr, true));
    EXPECT_FALSE(m_Registry.ConsoleCommand("hello", nullptr, false));
    ASSERT_EQ(g_Calls.size(), 1u);
    EXPECT_EQ(g_Calls[0].m_strHandler, "say");
}

TEST_F(CommandHandlersTest, ResourceHandlersReplaceOnlyTheirOwnAndGoWithTheirResource)
{
    CResource* pA = FakeResource(0);
    CResource* pB = FakeResource(1);
    m_Registry.AddCommandHandler(new CRecordingHandler("builtin", true), "stop");
    EXPECT_FALSE(m_Registry.AddResourceCommandHandler(new CRecordingHandler("a", false), "STOP", pA, true));
    EXPECT_TRUE(m_Registry.AddResourceCommandHandler(new CRecordingHandler("a1", false), "hi", pA, false));
    EXPECT_FALSE(m_Registry.AddResourceCommandHandler(new CRecordingHandler("a2", false), "HI", pA, false));
    EXPECT_FALSE(m_Registry.AddResourceCommandHandler(new CRecordingHandler("b", false), "hi", pB, true));
    EXPECT_TRUE(m_Registry.AddResourceCommandHandler(new CRecordingHandler("a3", false), "HI", pA, true));
    EXPECT_TRUE(m_Registry.AddResourceCommandHandler(new CRecordingHandler("b1", false), "bee", pB, false));
    m_Registry.Trigger("hi", "", nullptr, false);
    ASSERT_EQ(g_Calls.size(), 1u);
    EXPECT_EQ(g_Calls[0].m_strHandler, "a3");
    EXPECT_EQ(m_Registry.GetCommandHandler("hi")->GetResource(), pA);

    EXPECT_FALSE(m_Registry.RemoveCommandHandler("hi", pB));
    EXPECT_FALSE(m_Registry.RemoveCommandHandler("missing", nullptr));
    m_Registry.RemoveHandlers(pA);
    EXPECT_FALSE(m_Registry.HasCommandHandler("hi"));
    EXPECT_TRUE(m_Registry.HasCommandHandler("bee"));
    EXPECT_TRUE(m_Registry.HasCommandHandler("stop"));
    EXPECT_TRUE(m_Registry.RemoveCommandHandler("BEE", pB));
    EXPECT_TRUE(m_Registry.RemoveCommandHandler("stop", nullptr));
    EXPECT_EQ(m_Registry.GetCount(), 0u);
}

// A handler that takes itself out of the registry in the middle of its own run, then keeps
// using its members: it must still be alive until Execute returns.
namespace
{
    enum eRemoval
    {
        REMOVE_BY_NAME,
        REMOVE_BY_RESOURCE,
        REPLACED,
    };

    class CSelfRemovingHandler : public CCommandHandler
    {
    public:
        CSelfRemovingHandler(eRemoval removal, bool* pDestroyed) : m_Removal(removal), m_pDestroyed(pDestroyed) {}
        ~CSelfRemovingHandler() override
        {
            *m_pDestroyed = true;
            if (m_bRunning)
                g_Calls.push_back({"destroyed while running", "", "", nullptr});
        }
        void Execute(const char*, const char*, CBaseObject*) override
        {
            m_bRunning = true;
            CCommandHandlers* pOwner = GetOwner();
            std::string name = GetName();
            if (m_Removal == REMOVE_BY_NAME)
                pOwner->RemoveCommandHandler(name.c_str(), nullptr);
            else if (m_Removal == REMOVE_BY_RESOURCE)
                pOwner->RemoveHandlers(GetResource());
            else
                pOwner->AddResourceCommandHandler(new CRecordingHandler("new", false), name.c_str(), GetResource(), true);
            m_strAfter = GetName() + " still here";
            g_Calls.push_back({m_strAfter, "", "", nullptr});
            EXPECT_EQ(GetOwner(), nullptr);
            m_bRunning = false;
        }

    private:
        eRemoval m_Removal;
        bool* m_pDestroyed;
        bool m_bRunning = false;
        std::string m_strAfter;
    };
}

TEST_F(CommandHandlersTest, AHandlerRemovedWhileItRunsFinishesFirst)
{
    for (eRemoval removal : {REMOVE_BY_NAME, REMOVE_BY_RESOURCE, REPLACED}) {
        g_Calls.clear();
        bool bDestroyed = false;
        CResource* pResource = FakeResource(2);
        ASSERT_TRUE(m_Registry.AddResourceCommandHandler(new CSelfRemovingHandler(removal, &bDestroyed), "self",
            pResource, false));
        EXPECT_TRUE(m_Registry.ConsoleCommandOnly("self\n", nullptr, true));
        EXPECT_TRUE(bDestroyed) << removal;
        ASSERT_EQ(g_Calls.size(), 1u) << removal;
        EXPECT_EQ(g_Calls[0].m_strHandler, "self still here");
        EXPECT_EQ(m_Registry.HasCommandHandler("self"), removal == REPLACED);
        m_Registry.RemoveHandlers(pResource);
    }
}

TEST_F(CommandHandlersTest, ReplyLoggerCanBeSwappedAndRestored)
{
    struct CCapture : CCommandReplyLogger
    {
        std::vector<std::string> m_Lines;
        void Log(eLogType, const char* szText) override { m_Lines.push_back(szText); }
    } capture;
    CCommandReplyLogger* pPlain = m_Registry.GetReplyLogger();
    EXPECT_EQ(m_Registry.SetReplyLogger(&capture), nullptr);
    m_Registry.GetReplyLogger()->LogFormatted(LOG_ERROR, "'%s' here", "%s%n");
    EXPECT_EQ(m_Registry.SetReplyLogger(nullptr), &capture);
    EXPECT_EQ(m_Registry.GetReplyLogger(), pPlain);
    ASSERT_EQ(capture.m_Lines.size(), 1u);
    EXPECT_EQ(capture.m_Lines[0], "'%s%n' here");
}
