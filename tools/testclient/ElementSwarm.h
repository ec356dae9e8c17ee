// Element bots: every bot of a swarm hands the server a ped of its own (packet 116) and walks
// it round a circle, syncing it at the server's sync interval, while it keeps the elements
// the server streams to it. Used by the command-line bot (--walk) and by the tests.
#pragma once

#include "BotSwarm.h"
#include "ElementBot.h"

#include <memory>

namespace TestClient
{
    struct CWalkOptions
    {
        double dSeconds = 10;
        // Each bot walks a circle of this radius round its own centre; the centres stand
        // dSpacing apart on a line from (fOriginX, fOriginY, fOriginZ).
        float fRadius = 10;
        float fSpacing = 5;
        float fOriginX = 0, fOriginY = 0, fOriginZ = 10;
        // Walking speed in units per second.
        float fSpeed = 2;
        int32_t iModel = 7;
        // A bot without a player element stands in dimension -1: a ped in any other dimension
        // is streamed away from it and deleted at the server's next stream pass.
        int32_t iDimension = 0;
        // 0: the interval the server gave in packet 2.
        unsigned uiSyncIntervalMs = 0;
        // How long to wait for the server's answer to a ped request.
        unsigned uiRequestTimeoutMs = 5000;
    };

    struct CWalkResult
    {
        unsigned uiRequested = 0;
        unsigned uiGranted = 0;    // answers with an id
        unsigned uiRefused = 0;    // answers with -1
        // Peds the server deleted while their bot walked them; each is asked for again (an
        // element handed over by a client without a player element is removed at the next
        // stream pass, since such a client stands in no dimension).
        unsigned uiLost = 0;
        uint64_t ullSyncSent = 0;  // sync packets the bots sent
        uint64_t ullCreates = 0;   // create records the bots received
        uint64_t ullDeletes = 0;
        uint64_t ullSyncRecords = 0;
        uint64_t ullBadRecords = 0;
        double dSeconds = 0;
    };

    class CElementSwarm
    {
    public:
        // Fills in the swarm options so that every bot gets a decoder; call before Join.
        CElementSwarm(CSwarmOptions& options, bool bIV);

        // After CBotSwarm::Join: request the peds, then walk them.
        CWalkResult Walk(CBotSwarm& swarm, const CWalkOptions& options);

        CElementTracker& GetTracker(size_t bot) { return *m_Trackers[bot]; }

    private:
        bool m_bIV;
        std::vector<std::unique_ptr<CElementTracker>> m_Trackers;
    };
}
