#include "BaseServer.h"

#include <Engine/Context.h>

#include <gtest/gtest.h>

#include <cmath>
#include <mutex>
#include <string>
#include <vector>

using namespace Torvane3D;

namespace
{
    struct CLogCapture : ILogListener
    {
        CLogCapture() { AddLogListener(this); }
        ~CLogCapture() override { RemoveLogListener(this); }
        void OnLogMessage(eLogType level, const char* szText) override
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_Lines.emplace_back(level, szText);
        }
        size_t Count(eLogType level, const std::string& text)
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            size_t n = 0;
            for (const auto& line : m_Lines)
                n += line.first == level && line.second == text;
            return n;
        }
        std::mutex m_Mutex;
        std::vector<std::pair<eLogType, std::string>> m_Lines;
    };

    constexpr uint64_t NS = 1000000000ull;
}

TEST(FrameTimer, DeltaIsClampedAndCutIntoFixedSteps)
{
    CFrameTimer timer;
    FrameTimeInfo info;
    timer.Initialise(5 * NS, NS);

    timer.Advance(7 * NS, info); // a frame that took 2 seconds
    EXPECT_DOUBLE_EQ(info.m_dDelta, 0.0625);
    EXPECT_EQ(info.m_iStepCount, 3); // 0.0625 = 3.75 steps of 1/60
    timer.Advance(9 * NS, info);
    EXPECT_EQ(info.m_iStepCount, 4); // the remainder carried over
    EXPECT_NEAR(timer.m_dAccumulator, 0.125 - 7.0 / 60.0, 1e-12);

    timer.Advance(9 * NS + NS / 100, info); // 10 ms
    EXPECT_NEAR(info.m_dDelta, 0.01, 1e-12);
    timer.Advance(9 * NS + NS / 100, info); // no time at all
    EXPECT_EQ(info.m_dDelta, 0.0);
    EXPECT_EQ(info.m_iStepCount, 0);

    info.m_dTimeScale = 2.0;
    timer.Advance(10 * NS, info);
    EXPECT_DOUBLE_EQ(info.m_dDelta, 0.125);
    EXPECT_EQ(timer.GetMilliseconds(10 * NS), 5000u);
}

TEST(FrameTimer, MillisecondsGoPastThe32BitWrap)
{
    CFrameTimer timer;
    timer.Initialise(0, NS);
    const uint64_t ullFiftyDays = 50ull * 24 * 3600 * 1000;
    EXPECT_EQ(timer.GetMilliseconds(ullFiftyDays * 1000000), ullFiftyDays);
    EXPECT_GT(ullFiftyDays, 0xFFFFFFFFull);
}

TEST(IntervalClock, FiresOncePerIntervalAcrossTheWrapAndAfterLongIdling)
{
    // Times around the point where a 32-bit millisecond clock wraps (49.7 days).
    const uint64_t ullWrap = 0x100000000ull;
    CIntervalClock clock;
    int iFired = 0;
    for (uint64_t now = ullWrap - 5000; now < ullWrap + 5000; now += 5)
        iFired += clock.Poll(now, 1000);
    EXPECT_GE(iFired, 9);
    EXPECT_LE(iFired, 10);

    // Twenty-five days without a poll (no players), then frames again: one pass, not a
    // stall until the next wrap and not a pass on every frame.
    uint64_t now = ullWrap + 25ull * 24 * 3600 * 1000;
    EXPECT_TRUE(clock.Poll(now, 1000));
    int iBurst = 0;
    for (int frame = 0; frame < 100; ++frame)
        iBurst += clock.Poll(now += 5, 1000);
    EXPECT_EQ(iBurst, 0);
    EXPECT_TRUE(clock.Poll(now + 1000, 1000));
}

TEST(BaseServer, TypedCommandsRunOnTheNextFrame)
{
    struct CCase
    {
        std::string m_strLine;
        bool m_bQuits;
        const char* m_szError;
    };
    const std::vector<CCase> cases = {
        {"quit\n", true, nullptr},
        {"EXIT\n", true, nullptr},
        {"Exit", true, nullptr},
        {"frobnicate now\n", false,
            "'frobnicate' is not recognized as an internal or external command, operable program or batch file."},
        {"\n", false, "'' is not recognized as an internal or external command, operable program or batch file."},
        {" quit\n", false, "'' is not recognized as an internal or external command, operable program or batch file."},
        {"%s%s%n\n", false,
            "'%s%s%n' is not recognized as an internal or external command, operable program or batch file."},
        {"exit " + std::string(251, 'x') + "\n", false, nullptr}, // 256 bytes: skipped silently
        {"", false, nullptr},
    };
    for (const CCase& c : cases) {
        CLogCapture log;
        CBaseServer server;
        server.GetConsoleQueue()->Post(c.m_strLine);
        EXPECT_TRUE(server.Frame()) << c.m_strLine;
        EXPECT_EQ(server.IsQuitRequested(), c.m_bQuits) << c.m_strLine;
        EXPECT_EQ(server.Frame(), !c.m_bQuits) << c.m_strLine;
        if (c.m_szError)
            EXPECT_EQ(log.Count(LOG_ERROR, c.m_szError), 1u) << c.m_strLine;
        else
            EXPECT_EQ(log.m_Lines.size(), 0u) << c.m_strLine;
    }
}

TEST(BaseServer, BuiltInCommandsAndTheirRights)
{
    CBaseServer server;
    CCommandHandlers* pCommands = server.GetCommandHandlers();
    for (const char* szName : {"say", "quit", "exit"}) {
        ASSERT_NE(pCommands->GetCommandHandler(szName), nullptr) << szName;
        EXPECT_TRUE(pCommands->GetCommandHandler(szName)->IsAdministratorOnly()) << szName;
    }
    EXPECT_TRUE(pCommands->GetPassSourceToScripts());
    // Clients without administrator rights cannot stop the server, and are never answered.
    CLogCapture log;
    CBaseObject client;
    EXPECT_FALSE(pCommands->Trigger("quit", "", &client, false));
    EXPECT_FALSE(pCommands->ConsoleCommandOnly("unknown\n", &client, true));
    EXPECT_FALSE(server.IsQuitRequested());
    EXPECT_TRUE(log.m_Lines.empty());
    // `say` with no source does nothing, successfully.
    EXPECT_TRUE(pCommands->ConsoleCommand("hello", nullptr, true));
    EXPECT_TRUE(log.m_Lines.empty());
}

TEST(BaseServer, MainLoopSleepsLongWhenIdleAndShortWithPeers)
{
    CBaseServer server;
    server.m_usPort = 0;
    strcpy(server.m_szBindIP, "127.0.0.1");
    server.m_bMultithreaded = false;
    ASSERT_TRUE(server.StartNetwork());
    EXPECT_EQ(server.GetNetServer()->GetSystem().GetHost()->duplicatePeers, 16u);
    EXPECT_EQ(server.GetFrameSleepMilliseconds(), 100u);

    ENetHost* pClient = enet_host_create(nullptr, 1, 255, 0, 0);
    ASSERT_NE(pClient, nullptr);
    enet_host_compress_with_range_coder(pClient);
    ENetAddress address;
    enet_address_set_host_ip(&address, "127.0.0.1");
    address.port = server.GetNetServer()->GetSystem().GetPort();
    enet_host_connect(pClient, &address, 255, 0);
    for (int i = 0; i < 500 && server.GetFrameSleepMilliseconds() != 5; ++i) {
        ENetEvent event;
        enet_host_service(pClient, &event, 5);
        server.Frame();
    }
    EXPECT_EQ(server.GetFrameSleepMilliseconds(), 5u);
    enet_host_destroy(pClient);

    // A typed quit ends the loop on the frame after it runs.
    server.GetConsoleQueue()->Post("quit\n");
    server.MainLoop();
    EXPECT_TRUE(server.IsQuitRequested());
}

TEST(BaseServer, InterruptEndsTheLoop)
{
    CBaseServer server;
    server.RaiseQuitSignal();
    EXPECT_FALSE(server.Frame());
    server.MainLoop();
}
