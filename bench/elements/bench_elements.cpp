// Element records: the cost of writing and reading each class's create and sync payloads
// (one record per iteration, so the time shown is nanoseconds per record), and a sync pass
// that relays N peds to 127 fake clients.
#include "Elements/Blip.h"
#include "Elements/Building.h"
#include "Elements/Dummy.h"
#include "Elements/Marker.h"
#include "Elements/Object.h"
#include "Elements/Pickup.h"
#include "Elements/Player.h"
#include "Elements/Train.h"
#include "GTAServer.h"
#include "GTAServerManager.h"

#include <Multiplayer/NetMachines.h>
#include <Network/Packet.h>

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

using namespace Torvane3D;

namespace
{
    // Counts what would go out, sends nothing.
    class CCountingSender : public INetObjectSender
    {
    public:
        void SendPacket(CNetMachine*, Packet* pPacket, ePacketPriority, ePacketFlags, unsigned char) override
        {
            ++m_ullPackets;
            m_ullBytes += pPacket->GetSize();
        }
        void SendPlayer(CNetMachine*) override {}
        uint64_t m_ullPackets = 0, m_ullBytes = 0;
    };

    struct CWorld
    {
        explicit CWorld(int32_t iGame) : m_Manager(&m_Machines, &m_Server)
        {
            m_Server.m_iGame = iGame;
            m_Manager.SetSender(&m_Sender);
        }
        ~CWorld()
        {
            m_Manager.Shutdown();
            m_Machines.ClearAll();
        }
        CGTAServer m_Server;
        CNetMachines m_Machines;
        CGTAServerManager m_Manager;
        CCountingSender m_Sender;
    };

    // A registered element of the type with typical contents.
    CNetObject* MakeElement(CWorld& world, int32_t iType)
    {
        Strong<CNetObject> p = Strong<CNetObject>::Adopt(world.m_Manager.Create(iType));
        p->SetPosition({1234.5f, -567.25f, 12.0f});
        if (p->IsType(ELEMENT_ENTITY)) {
            auto* pEntity = static_cast<CServerEntity*>(p.Get());
            pEntity->CServerEntity::SetModelIndex(90);
            pEntity->SetRotation({0.1f, 0.2f, 1.3f});
        }
        if (p->IsType(ELEMENT_VEHICLE)) {
            auto* pVehicle = static_cast<CServerVehicle*>(p.Get());
            pVehicle->m_Damage.m_ucKind = 1;
            pVehicle->m_ucExtraFlags = 1;
        }
        world.m_Manager.RegisterNetObject(p);
        return p;
    }

    const struct
    {
        const char* szName;
        int32_t iType;
        bool bReadsCreate; // only the classes clients may hand over mirror their create payload
    } g_Classes[] = {
        {"Ped", ELEMENT_PED, true}, {"Player", ELEMENT_PLAYER, true}, {"Vehicle", ELEMENT_VEHICLE, true},
        {"Train", ELEMENT_TRAIN, true}, {"Object", ELEMENT_OBJECT, true}, {"Building", ELEMENT_BUILDING, true},
        {"Blip", ELEMENT_BLIP, false}, {"Pickup", ELEMENT_PICKUP, false}, {"Marker", ELEMENT_MARKER, false},
        {"Dummy", ELEMENT_DUMMY, false},
    };

    enum eRecord
    {
        RECORD_CREATE,
        RECORD_SYNC
    };

    void BM_Write(benchmark::State& state, int32_t iType, eRecord record, int32_t iGame)
    {
        CWorld world(iGame);
        CNetObject* p = MakeElement(world, iType);
        CUnlimitedStream stream;
        size_t bytes = 0;
        for (auto _ : state) {
            stream.Seek(0, SEEK_ORIGIN_BEGIN);
            bool bOk = record == RECORD_CREATE ? p->WriteCreatePacket(&stream) : p->WriteSyncPacket(&stream);
            benchmark::DoNotOptimize(bOk);
            bytes = static_cast<size_t>(stream.Tell());
        }
        state.counters["bytes"] = static_cast<double>(bytes);
    }

    void BM_Read(benchmark::State& state, int32_t iType, eRecord record, int32_t iGame)
    {
        CWorld world(iGame);
        CNetObject* pSource = MakeElement(world, iType);
        CUnlimitedStream written;
        if (record == RECORD_CREATE)
            pSource->WriteCreatePacket(&written);
        else
            pSource->WriteSyncPacket(&written);
        std::vector<uint8_t> bytes(written.GetData(), written.GetData() + written.GetSize());
        CNetObject* pTarget = MakeElement(world, iType);
        CMemoryStream stream(bytes.data(), bytes.size());
        for (auto _ : state) {
            stream.Seek(0, SEEK_ORIGIN_BEGIN);
            bool bOk = record == RECORD_CREATE ? pTarget->ReadCreatePacket(&stream) : pTarget->ReadSyncPacket(&stream);
            benchmark::DoNotOptimize(bOk);
        }
        state.counters["bytes"] = static_cast<double>(bytes.size());
    }

    // One sync pass: N peds synced by client 0 and created on all 127 clients, relayed to the
    // 126 others.
    void BM_SyncPassPeds(benchmark::State& state)
    {
        const int iClients = 127;
        CWorld world(1);
        std::vector<Strong<CNetMachine>> clients;
        for (int i = 0; i < iClients; ++i) {
            Strong<CNetMachine> p = MakeStrong<CGameClient>(&world.m_Manager, &world.m_Machines);
            p->SetJoined(true);
            p->SetStreaming(true);
            world.m_Machines.Set(i, p);
            clients.push_back(p);
        }
        for (int64_t n = 0; n < state.range(0); ++n) {
            CNetObject* pPed = MakeElement(world, ELEMENT_PED);
            pPed->SetSyncer(clients[0], false);
            for (int i = 0; i < iClients; ++i)
                pPed->SetCreatedFor(clients[static_cast<size_t>(i)], true);
        }
        world.m_Sender.m_ullPackets = 0;
        for (auto _ : state)
            world.m_Manager.SyncPass(PACKET_PRIORITY_LOW, PACKET_FLAG_NONE);
        double records = static_cast<double>(state.range(0)) * (iClients - 1);
        state.counters["records/pass"] = records;
        state.counters["ns/record"] = benchmark::Counter(records * static_cast<double>(state.iterations()),
            benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
        state.counters["packets/pass"] =
            static_cast<double>(world.m_Sender.m_ullPackets) / static_cast<double>(state.iterations());
    }

    void RegisterAll()
    {
        for (const auto& c : g_Classes) {
            for (int32_t iGame : {1, 5}) {
                std::string suffix = std::string(c.szName) + (iGame == 5 ? "/IV" : "");
                benchmark::RegisterBenchmark(("WriteCreate/" + suffix).c_str(), BM_Write, c.iType, RECORD_CREATE, iGame);
                benchmark::RegisterBenchmark(("WriteSync/" + suffix).c_str(), BM_Write, c.iType, RECORD_SYNC, iGame);
                if (c.bReadsCreate)
                    benchmark::RegisterBenchmark(("ReadCreate/" + suffix).c_str(), BM_Read, c.iType, RECORD_CREATE, iGame);
                benchmark::RegisterBenchmark(("ReadSync/" + suffix).c_str(), BM_Read, c.iType, RECORD_SYNC, iGame);
                // Only peds and vehicles (bits 4 and 7) have GTA IV variants.
                if (!(c.iType & (1 << 4)) && !(c.iType & (1 << 7)))
                    break;
            }
        }
        benchmark::RegisterBenchmark("SyncPass/127clients/peds", BM_SyncPassPeds)
            ->Arg(100)
            ->Arg(1000)
            ->Arg(5000)
            ->Unit(benchmark::kMicrosecond);
    }
}

int main(int argc, char** argv)
{
    RegisterAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
