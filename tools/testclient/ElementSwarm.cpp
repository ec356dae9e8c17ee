#include "ElementSwarm.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <poll.h>

namespace TestClient
{
    CElementSwarm::CElementSwarm(CSwarmOptions& options, bool bIV) : m_bIV(bIV)
    {
        for (unsigned i = 0; i < options.uiBots; ++i)
            m_Trackers.push_back(std::make_unique<CElementTracker>(bIV));
        auto previous = options.onBotCreated;
        options.onBotCreated = [this, previous](CTestClient& bot, size_t i) {
            if (previous)
                previous(bot, i);
            if (i < m_Trackers.size())
                m_Trackers[i]->Attach(bot);
        };
    }

    static void ServiceBots(CBotSwarm& swarm, int timeoutMs)
    {
        std::vector<pollfd> fds;
        for (size_t i = 0; i < swarm.GetBotCount(); ++i)
            if (swarm.GetBot(i).GetSocket() >= 0)
                fds.push_back(pollfd{swarm.GetBot(i).GetSocket(), POLLIN, 0});
        poll(fds.data(), fds.size(), timeoutMs);
        for (size_t i = 0; i < swarm.GetBotCount(); ++i)
            swarm.GetBot(i).Service(0);
    }

    CWalkResult CElementSwarm::Walk(CBotSwarm& swarm, const CWalkOptions& options)
    {
        CWalkResult result;
        size_t count = std::min(swarm.GetBotCount(), m_Trackers.size());
        std::vector<CBotElement> peds(count);
        std::vector<CBotVector> centres(count);
        std::vector<bool> active(count);
        uint64_t start = NowMs();

        for (size_t i = 0; i < count; ++i) {
            CTestClient& bot = swarm.GetBot(i);
            if (!bot.IsJoined() || bot.IsDisconnected())
                continue;
            CBotElement& ped = peds[i];
            ped.iType = TYPE_PED;
            ped.iModel = options.iModel;
            centres[i] = {options.fOriginX + options.fSpacing * static_cast<float>(i), options.fOriginY, options.fOriginZ};
            ped.SetPosition({centres[i].x + options.fRadius, centres[i].y, centres[i].z});
            uint8_t tag[8] = {'w', 'a', 'l', 'k'};
            uint32_t index = static_cast<uint32_t>(i);
            memcpy(tag + 4, &index, 4);
            if (m_Trackers[i]->RequestLocal(bot, static_cast<uint32_t>(i + 1), tag, ped))
                ++result.uiRequested, active[i] = true;
        }

        // The answers: each bot learns its ped's id.
        uint64_t deadline = NowMs() + options.uiRequestTimeoutMs;
        auto answered = [&] {
            for (size_t i = 0; i < count; ++i)
                if (active[i] && m_Trackers[i]->GetResults().empty())
                    return false;
            return true;
        };
        while (!answered() && NowMs() < deadline)
            ServiceBots(swarm, 2);
        for (size_t i = 0; i < count; ++i) {
            if (!active[i] || m_Trackers[i]->GetResults().empty()) {
                active[i] = false;
                continue;
            }
            peds[i].iId = m_Trackers[i]->GetResults().back().iId;
            active[i] = peds[i].iId != -1;
            ++(active[i] ? result.uiGranted : result.uiRefused);
        }

        // Walk: every interval each bot moves its ped along its circle and syncs it.
        std::vector<uint64_t> nextSync(count, NowMs());
        uint64_t walkStart = NowMs();
        uint64_t end = walkStart + static_cast<uint64_t>(options.dSeconds * 1000);
        float fAngularSpeed = options.fRadius > 0 ? options.fSpeed / options.fRadius : 0;
        while (NowMs() < end) {
            uint64_t now = NowMs();
            for (size_t i = 0; i < count; ++i) {
                if (!active[i] || now < nextSync[i])
                    continue;
                unsigned interval = options.uiSyncIntervalMs ? options.uiSyncIntervalMs : m_Trackers[i]->GetSyncInterval();
                nextSync[i] = now + (interval ? interval : 30);
                float t = static_cast<float>(now - walkStart) / 1000.0f;
                float a = fAngularSpeed * t + static_cast<float>(i);
                CBotElement& ped = peds[i];
                ped.fCurrentHeading = ped.fHeading = a + 1.5707963f;
                ped.SetHeading(ped.fCurrentHeading);
                ped.SetPosition({centres[i].x + options.fRadius * std::cos(a), centres[i].y + options.fRadius * std::sin(a),
                    centres[i].z});
                ped.velocity = {-options.fSpeed * std::sin(a), options.fSpeed * std::cos(a), 0};
                if (m_Trackers[i]->SendSync(swarm.GetBot(i), {&ped}))
                    ++result.ullSyncSent;
            }
            ServiceBots(swarm, 1);
        }
        // Let what is in flight arrive.
        for (int k = 0; k < 20; ++k)
            ServiceBots(swarm, 5);

        for (size_t i = 0; i < count; ++i) {
            result.ullCreates += m_Trackers[i]->m_ullCreateRecords;
            result.ullDeletes += m_Trackers[i]->m_ullDeleteRecords;
            result.ullSyncRecords += m_Trackers[i]->m_ullSyncRecords;
            result.ullBadRecords += m_Trackers[i]->m_ullBadRecords;
        }
        result.dSeconds = static_cast<double>(NowMs() - start) / 1000.0;
        return result;
    }
}
