// libFuzzer target: element packets from clients (sync, delete reports, syncer requests,
// streaming switches) and element create payloads, against a manager with a few elements,
// interleaved with stream and sync passes.
//
// Input: a sequence of commands; each is one byte of client index (mod 4), one byte of
// command, a 16-bit length and that many bytes of packet payload.
#include <Engine/BinaryIO.h>
#include <Multiplayer/NetMachines.h>
#include <Multiplayer/NetObjectMgr.h>
#include <Multiplayer/PacketIds.h>

#include <cstring>
#include <vector>

using namespace Torvane3D;

namespace
{
    // Reads a position and then a counted blob, so a record can ask for more than it has.
    class CFuzzElement : public CNetObject
    {
    public:
        CFuzzElement(CNetObjectMgr* pManager, int32_t iType) : CNetObject(pManager)
        {
            SetType(iType);
            SetFlag(NETOBJECT_DISTANCE_STREAMING, true);
            SetStreamInDistance(100.0f);
            SetStreamOutDistance(200.0f);
        }
        bool GetPosition(CVector3D& v) override
        {
            v = m_vecPosition;
            return true;
        }
        bool SetPosition(const CVector3D& v) override
        {
            m_vecPosition = v;
            return true;
        }
        bool ReadSyncPacket(Stream* pStream) override
        {
            CNetObject::ReadSyncPacket(pStream);
            CBinaryReader reader(pStream);
            uint8_t ucBlob = 0;
            if (!reader.ReadVector3D(m_vecPosition) || !reader.ReadUInt8(ucBlob))
                return false;
            unsigned char blob[255];
            return reader.ReadBytes(blob, ucBlob);
        }
        bool WriteSyncPacket(Stream* pStream) override
        {
            return CNetObject::WriteSyncPacket(pStream) && CBinaryWriter(pStream).WriteVector3D(m_vecPosition);
        }

        CVector3D m_vecPosition;
    };

    class CNullSender : public INetObjectSender
    {
    public:
        void SendPacket(CNetMachine*, Packet*, ePacketPriority, ePacketFlags, unsigned char) override {}
        void SendPlayer(CNetMachine*) override {}
    };
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t size)
{
    CNetMachines machines;
    CNullSender sender;
    {
        CNetObjectMgr manager(&machines, 64);
        manager.SetSender(&sender);
        manager.SetReplySync(true);
        for (int i = 0; i < 4; ++i) {
            Strong<CNetMachine> pClient = MakeStrong<CGameClient>(&manager, &machines);
            pClient->SetJoined(true);
            machines.Set(i, pClient);
            Strong<CFuzzElement> pPlayer = MakeStrong<CFuzzElement>(&manager, ELEMENT_PLAYER);
            manager.RegisterNetObject(pPlayer);
            pClient->SetPlayer(pPlayer, pPlayer->GetId());
        }
        for (int i = 0; i < 8; ++i) {
            Strong<CFuzzElement> p = MakeStrong<CFuzzElement>(&manager, i % 2 ? ELEMENT_VEHICLE : ELEMENT_OBJECT);
            p->SetFlag(NETOBJECT_TRANSIENT, i % 3 == 0);
            p->SetFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER, i % 4 == 0);
            manager.RegisterNetObject(p);
            if (i > 0 && i % 2 == 0)
                p->SetParent(manager.GetObjectInSlot(4 + i - 1));
        }
        manager.StreamPass();

        size_t pos = 0;
        while (pos + 4 <= size) {
            CNetMachine* pClient = machines.Get(pData[pos] % 4);
            uint8_t ucCommand = pData[pos + 1];
            uint16_t usLength;
            memcpy(&usLength, pData + pos + 2, 2);
            pos += 4;
            size_t length = std::min<size_t>(usLength, size - pos);
            Strong<CMemoryStream> pStream = MakeStrong<CMemoryStream>(pData + pos, length);
            pos += length;
            if (!pClient)
                continue;
            switch (ucCommand % 7) {
            case 0: manager.ProcessPacket(pClient, PACKET_ELEMENT_SYNC, pStream); break;
            case 1: manager.ProcessPacket(pClient, PACKET_ELEMENT_DELETE, pStream); break;
            case 2: manager.ProcessPacket(pClient, PACKET_REQUEST_SYNCER, pStream); break;
            case 3: manager.ProcessPacket(pClient, PACKET_ELEMENT_STREAMING, pStream); break;
            case 4: {
                // A create payload, as a peer-to-peer request would hand it over.
                Strong<CFuzzElement> p = MakeStrong<CFuzzElement>(&manager, ELEMENT_VEHICLE);
                if (p->ReadCreatePacket(pStream))
                    manager.RegisterNetObject(p);
                break;
            }
            case 5: manager.StreamPass(); break;
            default: manager.SyncPass(PACKET_PRIORITY_LOW, PACKET_FLAG_NONE); break;
            }
        }
        manager.OnClientDeparture(machines.Get(1));
        manager.Shutdown();
    }
    machines.ClearAll();
    return 0;
}
