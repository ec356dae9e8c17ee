// libFuzzer target: the game's element classes fed by clients. One element of every class
// is synced by client 0; the input is a list of records: kind (1 byte), length (2 bytes),
// bytes. Kind 0 is a local ped request (116), 1 a local vehicle request (111), both from
// client 0 or 1 by the kind's bit 7; 2 a sync packet of client 0; 3 a delete report of
// client 1; 4 runs a stream pass and a sync pass. The first input byte picks GTA IV (odd)
// or GTA III payloads. A fresh world takes each input.
#include "Elements/Blip.h"
#include "Elements/Player.h"
#include "Elements/Train.h"
#include "GTAServer.h"
#include "GTAServerManager.h"

#include <Engine/Context.h>
#include <Multiplayer/NetMachines.h>
#include <Multiplayer/PacketIds.h>
#include <Network/Packet.h>

using namespace Torvane3D;

namespace
{
    class CNullSender : public INetObjectSender
    {
    public:
        void SendPacket(CNetMachine*, Packet* pPacket, ePacketPriority, ePacketFlags, unsigned char) override
        {
            m_Bytes += pPacket->GetSize();
        }
        void SendPlayer(CNetMachine*) override {}
        size_t m_Bytes = 0;
    };
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    SetConsoleLogging(false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t size)
{
    if (size < 1)
        return 0;
    CGTAServer server;
    server.m_iGame = (pData[0] & 1) ? 5 : 1;
    server.m_bSyncLocalEntities = true;
    CNetMachines machines;
    CNullSender sender;
    {
        CGTAServerManager manager(&machines, &server, 512);
        manager.SetSender(&sender);
        CNetMachine* pClients[2];
        for (int i = 0; i < 2; ++i) {
            Strong<CNetMachine> p = MakeStrong<CGameClient>(&manager, &machines);
            p->SetJoined(true);
            machines.Set(i, p);
            pClients[i] = p;
        }
        const int32_t types[] = {ELEMENT_PLAYER, ELEMENT_PED, ELEMENT_VEHICLE, ELEMENT_TRAIN, ELEMENT_BLIP,
            ELEMENT_OBJECT, ELEMENT_BUILDING, ELEMENT_PICKUP, ELEMENT_MARKER, ELEMENT_DUMMY};
        for (int32_t iType : types) {
            Strong<CNetObject> p = Strong<CNetObject>::Adopt(manager.Create(iType));
            p->SetPosition({static_cast<float>(iType % 50), 0, 0});
            manager.RegisterNetObject(p);
            p->SetSyncer(pClients[0], false);
            p->SetCreatedFor(pClients[0], true);
            if (iType == ELEMENT_PLAYER)
                pClients[0]->SetPlayer(p, p->GetId());
        }

        size_t pos = 1;
        while (pos + 3 <= size) {
            uint8_t ucKind = pData[pos];
            size_t length = pData[pos + 1] | size_t(pData[pos + 2]) << 8;
            pos += 3;
            if (length > size - pos)
                length = size - pos;
            CMemoryStream stream(pData + pos, length);
            pos += length;
            CNetMachine* pClient = pClients[(ucKind >> 7) & 1];
            switch (ucKind & 0x7F) {
            case 0: manager.GetPeer2PeerSystem().ProcessClientPacket(pClient, PACKET_REQUEST_LOCAL_PED, &stream); break;
            case 1: manager.GetPeer2PeerSystem().ProcessClientPacket(pClient, PACKET_REQUEST_LOCAL_VEHICLE, &stream); break;
            case 2: manager.ProcessSync(pClients[0], &stream); break;
            case 3: manager.ProcessDeleteReport(pClients[1], &stream); break;
            case 4:
                manager.StreamPass();
                manager.SyncPass(PACKET_PRIORITY_LOW, PACKET_FLAG_NONE);
                break;
            default: break;
            }
        }
        // Whatever the clients did, every element still writes its records.
        for (size_t slot = 0; slot < manager.GetCapacity(); ++slot) {
            if (CNetObject* p = manager.GetObjectInSlot(slot)) {
                CUnlimitedStream out;
                p->WriteCreatePacket(&out);
                p->WriteSyncPacket(&out);
            }
        }
        manager.Shutdown();
        machines.ClearAll();
    }
    return 0;
}
