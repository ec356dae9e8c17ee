// Operating a running server from its console: typed quit and exit, interrupts, unknown
// commands, and over-long typed lines.
#include "ServerProcess.h"

#include <gtest/gtest.h>

#include <csignal>

using namespace TestSupport;
using namespace std::chrono_literals;

namespace
{
    const char* const NOT_RECOGNIZED =
        "is not recognized as an internal or external command, operable program or batch file.";

    enum eLaunch
    {
        LAUNCH_LISTENING,
        LAUNCH_FAILED,
    };

    class ConsoleTest : public ::testing::Test
    {
    protected:
        eLaunch Launch()
        {
            unsigned short usPort = FindFreePort();
            m_Root.Write("server.xml",
                "<server>\n"
                "  <servername>Console test</servername>\n"
                "  <port>" + std::to_string(usPort) + "</port>\n"
                "  <bindip>127.0.0.1</bindip>\n"
                "  <httpserver>false</httpserver>\n"
                "  <rcon>false</rcon>\n"
                "  <game>gta:iii</game>\n"
                "</server>\n");
            if (!m_Server.Start({}))
                return LAUNCH_FAILED;
            if (m_Server.WaitForOutput("Server is now listening on port", 20s))
                return LAUNCH_LISTENING;
            return LAUNCH_FAILED;
        }

        CTempDir m_Root;
        CServerProcess m_Server{m_Root};
    };

#define LAUNCH_SERVER()                                                                               \
    do {                                                                                               \
        eLaunch launch = Launch();                                                                     \
        ASSERT_EQ(launch, LAUNCH_LISTENING) << m_Server.Output();                                      \
    } while (0)

    void ExpectCleanShutdown(CServerProcess& server)
    {
        EXPECT_EQ(server.Wait(20s), 0) << server.Output();
        EXPECT_NE(server.Output().find("Server shutting down..."), std::string::npos) << server.Output();
    }
}

TEST_F(ConsoleTest, TypedQuitEndsTheServer)
{
    LAUNCH_SERVER();
    ASSERT_TRUE(m_Server.WriteLine("quit"));
    ExpectCleanShutdown(m_Server);
}

TEST_F(ConsoleTest, TypedExitInCapitalsEndsTheServer)
{
    LAUNCH_SERVER();
    ASSERT_TRUE(m_Server.WriteLine("EXIT"));
    ExpectCleanShutdown(m_Server);
}

TEST_F(ConsoleTest, InterruptEndsTheServer)
{
    LAUNCH_SERVER();
    m_Server.Signal(SIGINT);
    ExpectCleanShutdown(m_Server);
}

TEST_F(ConsoleTest, UnknownCommandIsReportedAndTheServerGoesOn)
{
    LAUNCH_SERVER();
    ASSERT_TRUE(m_Server.WriteLine("frobnicate now"));
    EXPECT_TRUE(m_Server.WaitForOutput(std::string("'frobnicate' ") + NOT_RECOGNIZED, 10s)) << m_Server.Output();
    ASSERT_TRUE(m_Server.WriteLine("exit"));
    ExpectCleanShutdown(m_Server);
}

TEST_F(ConsoleTest, OverlongTypedLineNeverRunsItsTail)
{
    LAUNCH_SERVER();
    // 4095 filler bytes and then "exit" on the same line: read in pieces, the tail would
    // run as a command of its own. The whole line must be dropped.
    ASSERT_TRUE(m_Server.WriteLine(std::string(4095, 'f') + "exit"));
    ASSERT_TRUE(m_Server.WriteLine("frobnicate"));
    ASSERT_TRUE(m_Server.WaitForOutput(std::string("'frobnicate' ") + NOT_RECOGNIZED, 10s)) << m_Server.Output();
    EXPECT_EQ(m_Server.Wait(500ms), -1) << "the server exited on the tail of an over-long line";
    EXPECT_EQ(m_Server.Output().find("Server shutting down..."), std::string::npos);
    ASSERT_TRUE(m_Server.WriteLine("exit"));
    ExpectCleanShutdown(m_Server);
}
