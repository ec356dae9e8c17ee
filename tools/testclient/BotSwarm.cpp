#include "BotSwarm.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace TestClient
{
    CBotSwarm::CBotSwarm(const CSwarmOptions& options) : m_Options(options) {}

    void CBotSwarm::ServiceAll(int timeoutMs)
    {
        std::vector<pollfd> fds;
        fds.reserve(m_Bots.size());
        for (auto& pBot : m_Bots)
            if (pBot->GetSocket() >= 0)
                fds.push_back(pollfd{pBot->GetSocket(), POLLIN, 0});
        poll(fds.data(), fds.size(), timeoutMs);
        for (auto& pBot : m_Bots)
            pBot->Service(0);
        Tick();
    }

    void CBotSwarm::Tick()
    {
        uint64_t now = NowMs();
        if (m_Options.onTick && now - m_ullLastTick >= 50) {
            m_ullLastTick = now;
            m_Options.onTick();
        }
    }

    CJoinResult CBotSwarm::Join()
    {
        CJoinResult result;
        uint64_t start = NowMs();
        std::vector<bool> sentHandshake(m_Options.uiBots), sentReady(m_Options.uiBots);
        for (unsigned i = 0; i < m_Options.uiBots; ++i) {
            auto pBot = std::make_unique<CTestClient>(m_Options.channelCount);
            pBot->SetRecording(false);
            if (m_Options.onBotCreated)
                m_Options.onBotCreated(*pBot, i);
            pBot->ConnectAsync(m_Options.strHost, m_Options.usPort);
            m_Bots.push_back(std::move(pBot));
        }

        uint64_t deadline = start + m_Options.uiJoinTimeoutMs;
        for (;;) {
            unsigned done = 0;
            for (size_t i = 0; i < m_Bots.size(); ++i) {
                CTestClient& bot = *m_Bots[i];
                if (bot.IsDisconnected() || bot.IsJoined()) {
                    ++done;
                    continue;
                }
                if (bot.IsConnected() && !sentHandshake[i]) {
                    CJoinOptions join = m_Options.join;
                    join.strName = m_Options.strNamePrefix + std::to_string(i + 1);
                    sentHandshake[i] = bot.SendHandshake(join);
                }
                if (bot.IsAccepted() && !sentReady[i])
                    sentReady[i] = bot.SendClientReady();
            }
            if (done == m_Bots.size() || NowMs() >= deadline)
                break;
            ServiceAll(2);
        }

        std::vector<uint64_t> times;
        for (auto& pBot : m_Bots) {
            if (pBot->IsJoined() && !pBot->IsDisconnected()) {
                ++result.uiJoined;
                times.push_back(pBot->GetJoinCompleteTime() - start);
            } else {
                ++result.uiFailed;
                if (pBot->IsDisconnected())
                    ++result.disconnectReasons[pBot->GetDisconnectReason()];
            }
        }
        if (!times.empty()) {
            std::sort(times.begin(), times.end());
            result.ullMedianJoinMs = times[times.size() / 2];
            result.ullMaxJoinMs = times.back();
            result.ullAllJoinedMs = times.back();
        }
        return result;
    }

    CChatResult CBotSwarm::Chat(double linesPerSecond, unsigned durationMs, unsigned drainMs)
    {
        CChatResult result;
        std::vector<CTestClient*> bots;
        for (auto& pBot : m_Bots)
            if (pBot->IsJoined() && !pBot->IsDisconnected())
                bots.push_back(pBot.get());
        if (bots.empty() || linesPerSecond <= 0)
            return result;

        uint64_t deliveredBefore = 0;
        for (CTestClient* pBot : bots)
            deliveredBefore += pBot->GetChatCount();

        // Each bot sends on its own schedule, spread over the period so the load is even.
        double periodMs = 1000.0 / linesPerSecond;
        std::vector<double> nextMs(bots.size());
        uint64_t start = NowMs();
        for (size_t i = 0; i < bots.size(); ++i)
            nextMs[i] = periodMs * static_cast<double>(i) / static_cast<double>(bots.size());

        std::string text;
        for (;;) {
            double elapsed = static_cast<double>(NowMs() - start);
            if (elapsed >= durationMs)
                break;
            for (size_t i = 0; i < bots.size(); ++i) {
                while (nextMs[i] <= elapsed && nextMs[i] < durationMs) {
                    text = "line " + std::to_string(result.ullSent);
                    if (bots[i]->SendChat(text))
                        ++result.ullSent;
                    nextMs[i] += periodMs;
                }
            }
            ServiceAll(1);
        }
        uint64_t expected = result.ullSent * bots.size();
        uint64_t drainEnd = NowMs() + drainMs;
        uint64_t delivered = 0;
        do {
            ServiceAll(5);
            delivered = 0;
            for (CTestClient* pBot : bots)
                delivered += pBot->GetChatCount();
            delivered -= deliveredBefore;
        } while (delivered < expected && NowMs() < drainEnd);

        result.ullDelivered = delivered;
        result.dSeconds = static_cast<double>(NowMs() - start) / 1000.0;
        result.dRelayedLinesPerSecond =
            static_cast<double>(delivered) / static_cast<double>(bots.size()) / result.dSeconds;
        return result;
    }

    void CBotSwarm::Leave()
    {
        for (auto& pBot : m_Bots)
            pBot->Disconnect(0, 0);
        // Give the disconnects a moment to go out.
        for (int i = 0; i < 20; ++i)
            ServiceAll(5);
        m_Bots.clear();
    }

    bool ReadProcessCpuMs(pid_t pid, uint64_t& ms)
    {
        char szPath[64];
        snprintf(szPath, sizeof(szPath), "/proc/%d/stat", static_cast<int>(pid));
        FILE* pFile = fopen(szPath, "r");
        if (!pFile)
            return false;
        char szLine[1024];
        bool bOk = fgets(szLine, sizeof(szLine), pFile) != nullptr;
        fclose(pFile);
        if (!bOk)
            return false;
        // The command name may hold blanks and parentheses: fields follow the last ')'.
        const char* p = strrchr(szLine, ')');
        if (!p)
            return false;
        unsigned long utime = 0, stime = 0;
        // After ')': state, then fields 4..13, then utime (14) and stime (15).
        if (sscanf(p + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime) != 2)
            return false;
        long ticks = sysconf(_SC_CLK_TCK);
        ms = static_cast<uint64_t>(utime + stime) * 1000 / static_cast<uint64_t>(ticks > 0 ? ticks : 100);
        return true;
    }
}
