// Session load benchmark: a real server on loopback, 127 bots.
//   1. every bot joins at once: time until all have joined, and the server's CPU time per join;
//   2. every bot chats at a fixed rate: relayed chat lines per second, and the server's CPU
//      time per relayed line (each line goes to all 127 clients).
// Several runs, each on a fresh server; medians are printed last.
//   bench_session [runs] [chat lines per second per bot] [chat seconds]
#include "BotSwarm.h"
#include "ServerProcess.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using namespace TestClient;
using namespace TestSupport;
using namespace std::chrono_literals;

namespace
{
    constexpr unsigned BOTS = 127;

    struct tRun
    {
        double allJoinedMs = 0;
        double cpuPerJoinMs = 0;
        double linesPerSecond = 0;
        double cpuPerLineMs = 0;
        double deliveredShare = 0;
    };

    double Median(std::vector<double> v)
    {
        if (v.empty())
            return 0;
        std::sort(v.begin(), v.end());
        return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    }

    bool RunOnce(double chatRate, unsigned chatMs, tRun& run)
    {
        CTempDir root;
        unsigned short port = FindFreePort();
        root.Write("server.xml",
            "<server>\n"
            "  <servername>Session benchmark</servername>\n"
            "  <port>" + std::to_string(port) + "</port>\n"
            "  <bindip>127.0.0.1</bindip>\n"
            "  <httpserver>false</httpserver>\n"
            "  <maxplayers>127</maxplayers>\n"
            "  <maxpeersperaddress>1024</maxpeersperaddress>\n"
            "  <maxjoinsperaddress>65535</maxjoinsperaddress>\n"
            "  <game>gta:iii</game>\n"
            "</server>\n");
        CServerProcess server(root);
        if (!server.Start({"-noinput"}) || !server.WaitForOutput("Server is now listening on port", 20s)) {
            fprintf(stderr, "the server did not start:\n%s\n", server.Output().c_str());
            return false;
        }

        CSwarmOptions options;
        options.usPort = port;
        options.uiBots = BOTS;
        // The server's console output goes through a pipe: keep it drained.
        options.onTick = [&server] { server.Output(); };
        CBotSwarm swarm(options);

        uint64_t cpu0 = 0, cpu1 = 0, cpu2 = 0;
        ReadProcessCpuMs(server.Pid(), cpu0);
        CJoinResult join = swarm.Join();
        ReadProcessCpuMs(server.Pid(), cpu1);
        if (join.uiJoined != BOTS) {
            fprintf(stderr, "only %u of %u bots joined\n", join.uiJoined, BOTS);
            return false;
        }
        run.allJoinedMs = static_cast<double>(join.ullAllJoinedMs);
        run.cpuPerJoinMs = static_cast<double>(cpu1 - cpu0) / BOTS;

        CChatResult chat = swarm.Chat(chatRate, chatMs, 2000);
        ReadProcessCpuMs(server.Pid(), cpu2);
        double relayed = chat.dRelayedLinesPerSecond * chat.dSeconds;
        run.linesPerSecond = chat.dRelayedLinesPerSecond;
        run.cpuPerLineMs = relayed > 0 ? static_cast<double>(cpu2 - cpu1) / relayed : 0;
        run.deliveredShare = chat.ullSent ? static_cast<double>(chat.ullDelivered) / (chat.ullSent * BOTS) : 0;
        swarm.Leave();
        server.WriteLine("quit");
        server.Wait(10s);
        return true;
    }
}

int main(int argc, char** argv)
{
    int runs = argc > 1 ? atoi(argv[1]) : 3;
    double chatRate = argc > 2 ? atof(argv[2]) : 2.0;
    double chatSeconds = argc > 3 ? atof(argv[3]) : 5.0;
    printf("session benchmark: %u bots, %d runs, chat %.1f lines/s per bot for %.1f s\n", BOTS, runs, chatRate,
        chatSeconds);
    printf("(server CPU time is read from /proc: it moves in 10 ms ticks, so per-item figures are averages)\n");

    std::vector<double> joined, cpuJoin, lines, cpuLine;
    for (int i = 0; i < runs; ++i) {
        tRun run;
        if (!RunOnce(chatRate, static_cast<unsigned>(chatSeconds * 1000), run))
            return 1;
        printf("run %d: all joined in %.0f ms, %.3f ms CPU per join; %.1f relayed lines/s (%.1f%% delivered), "
               "%.4f ms CPU per relayed line\n",
            i + 1, run.allJoinedMs, run.cpuPerJoinMs, run.linesPerSecond, run.deliveredShare * 100, run.cpuPerLineMs);
        joined.push_back(run.allJoinedMs);
        cpuJoin.push_back(run.cpuPerJoinMs);
        lines.push_back(run.linesPerSecond);
        cpuLine.push_back(run.cpuPerLineMs);
    }
    printf("median: time until all %u joined %.0f ms\n", BOTS, Median(joined));
    printf("median: server CPU time per join %.3f ms\n", Median(cpuJoin));
    printf("median: relayed chat lines per second %.1f (offered %.1f)\n", Median(lines), chatRate * BOTS);
    printf("median: server CPU time per relayed line %.4f ms (%.4f ms per delivered packet)\n", Median(cpuLine),
        Median(cpuLine) / BOTS);
    return 0;
}
