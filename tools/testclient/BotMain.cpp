// osprel-bot: runs N test clients against a server and prints what they measured.
#include "BotSwarm.h"
#include "ElementSwarm.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace TestClient;

static void PrintUsage()
{
    printf(
        "Usage: osprel-bot [options]\n"
        "  --host ADDRESS        server address (127.0.0.1)\n"
        "  --port PORT           game port (22000)\n"
        "  --bots N              number of bots (1)\n"
        "  --name PREFIX         bot names are PREFIX1, PREFIX2, ... (Bot)\n"
        "  --game N              game number (1 = gta:iii, 2 = gta:vc, 3 = gta:sa, 5 = gta:iv)\n"
        "  --version A.B.C.D     client version (1.0.0.0)\n"
        "  --password TEXT       join password\n"
        "  --anticheat PATH=FILE answer the anticheat request for PATH with FILE's digest (repeatable)\n"
        "  --chat-rate R         chat lines per second per bot after joining (0: no chat)\n"
        "  --duration SECONDS    length of the chat phase (10)\n"
        "  --command 'NAME ARGS' command every bot sends once after joining\n"
        "  --stay SECONDS        stay connected this long before leaving (0)\n"
        "  --server-pid PID      also report the server's CPU time per join and per relayed line\n"
        "  --join-timeout S      give up joining after S seconds (30)\n"
        "  --walk SECONDS        every bot hands the server a ped and walks it round a circle,\n"
        "                        syncing at the server's sync interval (needs synclocalentities)\n"
        "  --walk-radius R       radius of each bot's circle (10)\n"
        "  --walk-sync MS        sync interval instead of the server's\n"
        "  --walk-dimension D    dimension of the peds (0; -1 keeps them with bots that have no player)\n");
}

static bool ParseVersion(const char* szText, uint32_t version[4])
{
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (sscanf(szText, "%u.%u.%u.%u", &a, &b, &c, &d) < 1)
        return false;
    version[0] = a, version[1] = b, version[2] = c, version[3] = d;
    return true;
}

int main(int argc, char** argv)
{
    CSwarmOptions options;
    double chatRate = 0, durationS = 10, stayS = 0;
    std::string strCommand;
    long serverPid = 0;
    CWalkOptions walk;
    double walkS = 0;

    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        const char* szValue = i + 1 < argc ? argv[i + 1] : nullptr;
        auto take = [&]() -> const char* {
            if (!szValue) {
                fprintf(stderr, "osprel-bot: %s needs a value\n", arg.c_str());
                exit(2);
            }
            ++i;
            return szValue;
        };
        if (arg == "--help" || arg == "-h") {
            PrintUsage();
            return 0;
        } else if (arg == "--host") {
            options.strHost = take();
        } else if (arg == "--port") {
            options.usPort = static_cast<uint16_t>(atoi(take()));
        } else if (arg == "--bots") {
            options.uiBots = static_cast<unsigned>(atoi(take()));
        } else if (arg == "--name") {
            options.strNamePrefix = take();
        } else if (arg == "--game") {
            options.join.ucGame = static_cast<uint8_t>(atoi(take()));
        } else if (arg == "--version") {
            if (!ParseVersion(take(), options.join.uiVersion)) {
                fprintf(stderr, "osprel-bot: bad version\n");
                return 2;
            }
        } else if (arg == "--password") {
            options.join.strPassword = take();
        } else if (arg == "--anticheat") {
            std::string pair = take();
            size_t eq = pair.find('=');
            if (eq == std::string::npos) {
                fprintf(stderr, "osprel-bot: --anticheat needs PATH=FILE\n");
                return 2;
            }
            options.join.anticheatFiles[pair.substr(0, eq)] = pair.substr(eq + 1);
        } else if (arg == "--chat-rate") {
            chatRate = atof(take());
        } else if (arg == "--duration") {
            durationS = atof(take());
        } else if (arg == "--command") {
            strCommand = take();
        } else if (arg == "--stay") {
            stayS = atof(take());
        } else if (arg == "--server-pid") {
            serverPid = atol(take());
        } else if (arg == "--walk") {
            walkS = atof(take());
        } else if (arg == "--walk-radius") {
            walk.fRadius = static_cast<float>(atof(take()));
        } else if (arg == "--walk-dimension") {
            walk.iDimension = atoi(take());
        } else if (arg == "--walk-sync") {
            walk.uiSyncIntervalMs = static_cast<unsigned>(atoi(take()));
        } else if (arg == "--join-timeout") {
            options.uiJoinTimeoutMs = static_cast<unsigned>(atof(take()) * 1000);
        } else {
            fprintf(stderr, "osprel-bot: unknown option %s\n", arg.c_str());
            PrintUsage();
            return 2;
        }
    }
    if (options.uiBots == 0 || options.usPort == 0) {
        fprintf(stderr, "osprel-bot: need at least one bot and a port\n");
        return 2;
    }

    std::unique_ptr<CElementSwarm> pElements;
    if (walkS > 0)
        pElements = std::make_unique<CElementSwarm>(options, options.join.ucGame == GAME_NUMBER_IV);
    CBotSwarm swarm(options);
    uint64_t cpuStart = 0, cpuJoined = 0, cpuChat = 0;
    bool bCpu = serverPid > 0 && ReadProcessCpuMs(static_cast<pid_t>(serverPid), cpuStart);

    CJoinResult join = swarm.Join();
    printf("joined: %u of %u bots\n", join.uiJoined, options.uiBots);
    if (join.uiJoined)
        printf("time until all joined: %llu ms (median join %llu ms, slowest %llu ms)\n",
            static_cast<unsigned long long>(join.ullAllJoinedMs), static_cast<unsigned long long>(join.ullMedianJoinMs),
            static_cast<unsigned long long>(join.ullMaxJoinMs));
    for (auto& [reason, count] : join.disconnectReasons)
        printf("refused: %u bots with reason %u (%s)\n", count, reason, DescribeReason(reason));
    if (join.uiFailed > 0) {
        unsigned silent = join.uiFailed;
        for (auto& entry : join.disconnectReasons)
            silent -= entry.second;
        if (silent)
            printf("not joined in time: %u bots\n", silent);
    }
    if (bCpu && ReadProcessCpuMs(static_cast<pid_t>(serverPid), cpuJoined) && join.uiJoined)
        printf("server CPU time per join: %.3f ms\n",
            static_cast<double>(cpuJoined - cpuStart) / static_cast<double>(join.uiJoined));

    if (!strCommand.empty()) {
        size_t space = strCommand.find(' ');
        std::string name = strCommand.substr(0, space);
        std::string args = space == std::string::npos ? "" : strCommand.substr(space + 1);
        for (size_t i = 0; i < swarm.GetBotCount(); ++i)
            if (swarm.GetBot(i).IsJoined())
                swarm.GetBot(i).SendCommand(name, args);
    }

    if (chatRate > 0) {
        CChatResult chat = swarm.Chat(chatRate, static_cast<unsigned>(durationS * 1000));
        printf("chat lines sent: %llu, received: %llu in %.2f s\n", static_cast<unsigned long long>(chat.ullSent),
            static_cast<unsigned long long>(chat.ullDelivered), chat.dSeconds);
        printf("relayed chat lines per second: %.1f\n", chat.dRelayedLinesPerSecond);
        double relayed = chat.dRelayedLinesPerSecond * chat.dSeconds;
        if (bCpu && ReadProcessCpuMs(static_cast<pid_t>(serverPid), cpuChat) && relayed > 0)
            printf("server CPU time per relayed line: %.4f ms\n", static_cast<double>(cpuChat - cpuJoined) / relayed);
    }

    if (pElements) {
        walk.dSeconds = walkS;
        CWalkResult result = pElements->Walk(swarm, walk);
        printf("peds requested: %u, granted: %u, refused: %u\n", result.uiRequested, result.uiGranted, result.uiRefused);
        printf("peds deleted by the server while walking (and asked for again): %u\n", result.uiLost);
        printf("ped sync packets sent: %llu\n", static_cast<unsigned long long>(result.ullSyncSent));
        printf("element records received: %llu create, %llu delete, %llu sync (%llu undecodable)\n",
            static_cast<unsigned long long>(result.ullCreates), static_cast<unsigned long long>(result.ullDeletes),
            static_cast<unsigned long long>(result.ullSyncRecords), static_cast<unsigned long long>(result.ullBadRecords));
    }

    if (stayS > 0) {
        uint64_t until = NowMs() + static_cast<uint64_t>(stayS * 1000);
        while (NowMs() < until)
            for (size_t i = 0; i < swarm.GetBotCount(); ++i)
                swarm.GetBot(i).Service(i == 0 ? 5 : 0);
    }
    swarm.Leave();
    return join.uiJoined == options.uiBots ? 0 : 1;
}
