// N test clients driven from one thread: they join a server together, then chat at a fixed
// rate. Used by the command-line bot and by the session benchmark.
#pragma once

#include "TestClient.h"

#include <memory>
#include <sys/types.h>

namespace TestClient
{
    struct CSwarmOptions
    {
        std::string strHost = "127.0.0.1";
        uint16_t usPort = 22000;
        unsigned uiBots = 1;
        // Bots are named prefix + number (1-based).
        std::string strNamePrefix = "Bot";
        CJoinOptions join;
        unsigned uiJoinTimeoutMs = 30000;
        size_t channelCount = 32;
        // Called about every 50 ms while the swarm works (a benchmark drains the server's
        // output there).
        std::function<void()> onTick;
        // Called with each bot (and its 0-based number) right after it is made, before it
        // connects (the element bots attach their decoder there).
        std::function<void(CTestClient&, size_t)> onBotCreated;
    };

    struct CJoinResult
    {
        unsigned uiJoined = 0;
        unsigned uiFailed = 0;
        uint64_t ullAllJoinedMs = 0; // from the first connect to the last join-complete packet
        uint64_t ullMedianJoinMs = 0;
        uint64_t ullMaxJoinMs = 0;
        std::map<uint32_t, unsigned> disconnectReasons; // reason -> bots refused with it
    };

    struct CChatResult
    {
        uint64_t ullSent = 0;      // chat packets the bots sent
        uint64_t ullDelivered = 0; // chat packets the bots received
        double dSeconds = 0;
        // Delivered lines divided by the number of bots: lines the server relayed to everybody.
        double dRelayedLinesPerSecond = 0;
    };

    class CBotSwarm
    {
    public:
        explicit CBotSwarm(const CSwarmOptions& options);

        // Connects every bot, completes the handshake and the client-ready step.
        CJoinResult Join();
        // Every joined bot chats linesPerSecond times a second for the given time; then the
        // swarm waits up to drainMs for the relayed lines still in flight.
        CChatResult Chat(double linesPerSecond, unsigned durationMs, unsigned drainMs = 1000);
        // Graceful disconnect of every bot.
        void Leave();

        size_t GetBotCount() const { return m_Bots.size(); }
        CTestClient& GetBot(size_t i) { return *m_Bots[i]; }

    private:
        // Waits on every bot's socket up to timeoutMs, then services each bot once.
        void ServiceAll(int timeoutMs);
        void Tick();

        CSwarmOptions m_Options;
        std::vector<std::unique_ptr<CTestClient>> m_Bots;
        uint64_t m_ullLastTick = 0;
    };

    // CPU time (user + system) a process has used, in milliseconds; false when unreadable.
    bool ReadProcessCpuMs(pid_t pid, uint64_t& ms);
}
