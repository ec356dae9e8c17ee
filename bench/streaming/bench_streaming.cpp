// Measures one stream pass and one sync pass of the element manager with its fast paths
// (grid over positions, per-client created bitsets, one sync record per element and pass)
// against the straightforward walk over every element for every client, in the same run and
// on the same world. Usage: bench_streaming [repetitions, default 7]
//
// World: 6,000 x 6,000 units; each client has a player element; the other elements are
// vehicles, peds, objects and pickups, streamed in at 100 (pickups 50) and out at 200
// (pickups 100). Most players and a fifth of the elements gather in six busy places of 500 x
// 500 units, the rest are spread uniformly. Between passes every player and a tenth of the
// elements move a little, so each pass creates and removes some elements. Times are medians.
#include <Engine/BinaryIO.h>
#include <Multiplayer/NetMachines.h>
#include <Multiplayer/NetObjectMgr.h>
#include <Network/Packet.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

using namespace Torvane3D;
using Clock = std::chrono::steady_clock;

namespace
{
    constexpr float MAP_HALF = 3000.0f;
    constexpr int HOTSPOTS = 6;
    constexpr float HOTSPOT_RADIUS = 250.0f;

    // A vehicle-sized element: position and rotation in both payloads, a model in the create one.
    class CBenchElement : public CNetObject
    {
    public:
        CBenchElement(CNetObjectMgr* pManager, int32_t iType, const CVector3D& vecPosition)
            : CNetObject(pManager), m_vecPosition(vecPosition)
        {
            SetType(iType);
            SetFlag(NETOBJECT_DISTANCE_STREAMING, true);
            bool bPickup = iType == ELEMENT_PICKUP;
            SetStreamInDistance(bPickup ? 50.0f : 100.0f);
            SetStreamOutDistance(bPickup ? 100.0f : 200.0f);
            if (iType == ELEMENT_PLAYER)
                SetFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER, true);
        }
        bool SetPosition(const CVector3D& v) override
        {
            m_vecPosition = v;
            return true;
        }
        bool GetPosition(CVector3D& v) override
        {
            v = m_vecPosition;
            return true;
        }
        bool WriteCreatePacket(Stream* pStream) override
        {
            CBinaryWriter w(pStream);
            return CNetObject::WriteCreatePacket(pStream) && w.WriteInt32(m_iModel) && w.WriteVector3D(m_vecPosition) &&
                w.WriteVector3D(m_vecRotation);
        }
        bool WriteSyncPacket(Stream* pStream) override
        {
            CBinaryWriter w(pStream);
            return CNetObject::WriteSyncPacket(pStream) && w.WriteVector3D(m_vecPosition) && w.WriteVector3D(m_vecRotation);
        }

        CVector3D m_vecPosition, m_vecRotation{0.0f, 0.0f, 1.5f};
        int32_t m_iModel = 400;
    };

    // Counts what would go out; optionally folds every packet into a hash to compare runs.
    class CSinkSender : public INetObjectSender
    {
    public:
        void SendPacket(CNetMachine* pClient, Packet* pPacket, ePacketPriority, ePacketFlags, unsigned char ucChannel) override
        {
            ++m_Packets;
            m_Bytes += pPacket->GetSize();
            if (pPacket->GetId() == 4)
                m_SyncRecords += *reinterpret_cast<const uint16_t*>(pPacket->GetData() + PACKET_HEADER_SIZE);
            if (!m_bHash)
                return;
            Mix(static_cast<uint64_t>(pClient->GetIndex()) << 8 | ucChannel);
            const unsigned char* p = pPacket->GetData();
            for (size_t i = 0; i < pPacket->GetSize(); ++i)
                Mix(p[i]);
        }
        void SendPlayer(CNetMachine* pClient) override { Mix(0x5000 + pClient->GetIndex()); }
        void Mix(uint64_t v) { m_Hash = (m_Hash ^ v) * 0x100000001B3ull; }

        bool m_bHash = false;
        uint64_t m_Hash = 0xCBF29CE484222325ull;
        size_t m_Packets = 0, m_Bytes = 0, m_SyncRecords = 0;
    };

    struct World
    {
        CNetMachines m_Machines;
        std::unique_ptr<CNetObjectMgr> m_pManager;
        CSinkSender m_Sender;
        std::vector<CBenchElement*> m_Elements; // players first
        std::vector<Strong<CNetMachine>> m_Clients;

        World(int iClients, int iElements, bool bFast, uint32_t uiSeed)
        {
            m_pManager = std::make_unique<CNetObjectMgr>(&m_Machines);
            m_pManager->SetSender(&m_Sender);
            m_pManager->SetFastPaths(bFast);
            std::mt19937 rng(uiSeed);
            std::uniform_real_distribution<float> pos(-MAP_HALF, MAP_HALF), nearby(-HOTSPOT_RADIUS, HOTSPOT_RADIUS);
            CVector3D hotspots[HOTSPOTS];
            for (CVector3D& h : hotspots)
                h = {pos(rng) * 0.9f, pos(rng) * 0.9f, 0.0f};
            const int32_t types[] = {ELEMENT_VEHICLE, ELEMENT_PED, ELEMENT_OBJECT, ELEMENT_VEHICLE, ELEMENT_PICKUP};
            for (int i = 0; i < iElements; ++i) {
                int32_t iType = i < iClients ? ELEMENT_PLAYER : types[i % 5];
                // Most players and a fifth of the rest gather in a few busy places.
                bool bBusy = i < iClients ? rng() % 10 < 7 : rng() % 5 == 0;
                CVector3D vec(pos(rng), pos(rng), 10.0f);
                if (bBusy) {
                    const CVector3D& h = hotspots[rng() % HOTSPOTS];
                    vec = {h.x + nearby(rng), h.y + nearby(rng), 10.0f};
                }
                Strong<CBenchElement> p = MakeStrong<CBenchElement>(m_pManager.get(), iType, vec);
                m_pManager->RegisterNetObject(p);
                m_Elements.push_back(p);
            }
            for (int i = 0; i < iClients; ++i) {
                Strong<CNetMachine> pClient = MakeStrong<CGameClient>(m_pManager.get(), &m_Machines);
                pClient->SetJoined(true);
                pClient->SetStreaming(true);
                m_Machines.Set(i, pClient);
                pClient->SetPlayer(m_Elements[i], m_Elements[i]->GetId());
                m_Clients.push_back(pClient);
            }
        }
        ~World()
        {
            m_pManager->Shutdown();
            m_Machines.ClearAll();
        }

        // Players walk, a tenth of the other elements drift.
        void Move(std::mt19937& rng, int iClients)
        {
            std::uniform_real_distribution<float> step(-25.0f, 25.0f);
            for (size_t i = 0; i < m_Elements.size(); ++i) {
                if (static_cast<int>(i) >= iClients && rng() % 10 != 0)
                    continue;
                CVector3D& v = m_Elements[i]->m_vecPosition;
                v.x = std::clamp(v.x + step(rng), -MAP_HALF, MAP_HALF);
                v.y = std::clamp(v.y + step(rng), -MAP_HALF, MAP_HALF);
            }
        }
    };

    double Median(std::vector<double> v)
    {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    }

    template <class F>
    double TimeMs(F fn)
    {
        auto t0 = Clock::now();
        fn();
        return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    }

    struct Result
    {
        double m_dStream = 0, m_dSync = 0;
        size_t m_SyncRecords = 0;
        uint64_t m_Hash = 0;
    };

    // Runs the warm-up pass, then `reps` rounds of move, stream pass, sync pass.
    Result Run(int iClients, int iElements, bool bFast, int iReps)
    {
        World world(iClients, iElements, bFast, 42);
        std::mt19937 moves(99);
        world.m_Sender.m_bHash = true; // the warm-up pass is compared, not timed
        world.m_pManager->StreamPass();
        world.m_pManager->SyncPass(PACKET_PRIORITY_LOW, PACKET_FLAG_NONE);
        Result result;
        result.m_Hash = world.m_Sender.m_Hash;
        world.m_Sender.m_bHash = false;
        std::vector<double> stream, sync;
        size_t records = 0;
        for (int r = 0; r < iReps; ++r) {
            world.Move(moves, iClients);
            stream.push_back(TimeMs([&] { world.m_pManager->StreamPass(); }));
            size_t before = world.m_Sender.m_SyncRecords;
            sync.push_back(TimeMs([&] { world.m_pManager->SyncPass(PACKET_PRIORITY_LOW, PACKET_FLAG_NONE); }));
            records += world.m_Sender.m_SyncRecords - before;
        }
        result.m_dStream = Median(stream);
        result.m_dSync = Median(sync);
        result.m_SyncRecords = records / iReps;
        return result;
    }
}

int main(int argc, char** argv)
{
    int iReps = argc > 1 ? std::max(1, atoi(argv[1])) : 7;
    const int clientCounts[] = {32, 64, 127};
    const int elementCounts[] = {1000, 5000, 16384};
    printf("Element streaming: median of %d passes, milliseconds per pass (walk = every element for every client)\n\n",
        iReps);
    printf("%7s %8s | %10s %10s %8s | %10s %10s %8s | %8s %12s %s\n", "clients", "elements", "stream walk",
        "stream fast", "ratio", "sync walk", "sync fast", "ratio", "records", "fast us/rec", "same");
    double dFinalRatio = 0.0;
    bool bAllSame = true;
    for (int iClients : clientCounts) {
        for (int iElements : elementCounts) {
            Result walk = Run(iClients, iElements, false, iReps);
            Result fast = Run(iClients, iElements, true, iReps);
            double dStreamRatio = walk.m_dStream / fast.m_dStream;
            double dSyncRatio = walk.m_dSync / fast.m_dSync;
            bool bSame = walk.m_Hash == fast.m_Hash;
            bAllSame = bAllSame && bSame;
            printf("%7d %8d | %10.3f %10.3f %7.1fx | %10.3f %10.3f %7.1fx | %8zu %12.3f %s\n", iClients, iElements,
                walk.m_dStream, fast.m_dStream, dStreamRatio, walk.m_dSync, fast.m_dSync, dSyncRatio,
                fast.m_SyncRecords, fast.m_SyncRecords ? fast.m_dSync * 1000.0 / fast.m_SyncRecords : 0.0,
                bSame ? "yes" : "NO");
            fflush(stdout);
            if (iClients == 127 && iElements == 16384)
                dFinalRatio = dStreamRatio;
        }
    }
    printf("\nsame: the first stream and sync pass of both runs sent identical packets%s\n",
        bAllSame ? "" : " -- MISMATCH");
    printf("stream pass speed-up at 127 x 16384: %.1fx\n", dFinalRatio);
    return bAllSame ? 0 : 1;
}
