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
        // Per bot: its ped, the centre of its circle, and where its request stands.
        struct tWalker
        {
            CBotElement ped;
            CBotVector centre;
            bool bJoined = false;
            bool bPending = false;   // a request is out
            size_t answersSeen = 0;  // results of the tracker already handled
            uint32_t uiNextHandle = 0;
            uint64_t ullNextSync = 0;
        };
        std::vector<tWalker> walkers(count);
        uint64_t start = NowMs();
        float fAngularSpeed = options.fRadius > 0 ? options.fSpeed / options.fRadius : 0;

        auto request = [&](size_t i) {
            tWalker& w = walkers[i];
            uint8_t tag[8] = {'w', 'a', 'l', 'k'};
            uint32_t index = static_cast<uint32_t>(i);
            memcpy(tag + 4, &index, 4);
            w.ped.iId = -1;
            if (m_Trackers[i]->RequestLocal(swarm.GetBot(i), ++w.uiNextHandle, tag, w.ped)) {
                w.bPending = true;
                ++result.uiRequested;
            }
        };
        for (size_t i = 0; i < count; ++i) {
            tWalker& w = walkers[i];
            w.bJoined = swarm.GetBot(i).IsJoined() && !swarm.GetBot(i).IsDisconnected();
            w.ped.iType = TYPE_PED;
            w.ped.iModel = options.iModel;
            w.ped.iDimension = options.iDimension;
            w.centre = {options.fOriginX + options.fSpacing * static_cast<float>(i), options.fOriginY, options.fOriginZ};
            w.ped.SetPosition({w.centre.x + options.fRadius, w.centre.y, w.centre.z});
            if (w.bJoined)
                request(i);
        }

        // Every interval each bot moves its ped along its circle and syncs it. A ped the server
        // deletes is asked for again where it stands; an unanswered or refused request ends the
        // bot's walk.
        uint64_t walkStart = NowMs();
        uint64_t end = walkStart + static_cast<uint64_t>(options.dSeconds * 1000);
        std::vector<uint64_t> requestDeadline(count, walkStart + options.uiRequestTimeoutMs);
        while (NowMs() < end) {
            uint64_t now = NowMs();
            for (size_t i = 0; i < count; ++i) {
                tWalker& w = walkers[i];
                CElementTracker& tracker = *m_Trackers[i];
                if (w.bPending) {
                    if (tracker.GetResults().size() > w.answersSeen) {
                        w.answersSeen = tracker.GetResults().size();
                        w.bPending = false;
                        w.ped.iId = tracker.GetResults().back().iId;
                        if (w.ped.iId == -1) {
                            ++result.uiRefused;
                            w.bJoined = false;
                            continue;
                        }
                        ++result.uiGranted;
                        tracker.Watch(w.ped.iId);
                    } else if (now > requestDeadline[i]) {
                        w.bPending = false;
                        w.bJoined = false;
                    }
                    continue;
                }
                if (!w.bJoined || w.ped.iId == -1)
                    continue;
                if (tracker.IsLost(w.ped.iId)) {
                    ++result.uiLost;
                    requestDeadline[i] = now + options.uiRequestTimeoutMs;
                    request(i);
                    continue;
                }
                if (now < w.ullNextSync)
                    continue;
                unsigned interval = options.uiSyncIntervalMs ? options.uiSyncIntervalMs : tracker.GetSyncInterval();
                w.ullNextSync = now + (interval ? interval : 30);
                float a = fAngularSpeed * static_cast<float>(now - walkStart) / 1000.0f + static_cast<float>(i);
                w.ped.fCurrentHeading = w.ped.fHeading = a + 1.5707963f;
                w.ped.SetHeading(w.ped.fCurrentHeading);
                w.ped.SetPosition(
                    {w.centre.x + options.fRadius * std::cos(a), w.centre.y + options.fRadius * std::sin(a), w.centre.z});
                w.ped.velocity = {-options.fSpeed * std::sin(a), options.fSpeed * std::cos(a), 0};
                if (tracker.SendSync(swarm.GetBot(i), {&w.ped}))
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
