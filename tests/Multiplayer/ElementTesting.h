// Test doubles for the element manager: a positioned element, a recording sender, scripted
// events, and a world with fake clients.
#pragma once

#include <Engine/BinaryIO.h>
#include <Multiplayer/NetMachines.h>
#include <Multiplayer/NetObjectMgr.h>
#include <Multiplayer/PacketIds.h>
#include <Network/Packet.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace ElementTesting
{
    using namespace Torvane3D;

    // A minimal positioned element: the create payload is the base part and the position,
    // the sync payload the position. ReadSyncPacket reads a position, or m_iGreedyRead bytes
    // when set (to show that it cannot read past its record).
    class CTestElement : public CNetObject
    {
    public:
        CTestElement(CNetObjectMgr* pManager, int32_t iType, const CVector3D& vecPosition = {})
            : CNetObject(pManager), m_vecPosition(vecPosition)
        {
            SetType(iType);
            SetFlag(NETOBJECT_DISTANCE_STREAMING, true);
            SetStreamInDistance(100.0f);
            SetStreamOutDistance(200.0f);
        }

        bool SetPosition(const CVector3D& vecPosition) override
        {
            m_vecPosition = vecPosition;
            return true;
        }
        bool GetPosition(CVector3D& vecPosition) override
        {
            if (!m_bHasPosition)
                return false;
            vecPosition = m_vecPosition;
            return true;
        }
        bool WriteCreatePacket(Stream* pStream) override
        {
            return CNetObject::WriteCreatePacket(pStream) && CBinaryWriter(pStream).WriteVector3D(m_vecPosition);
        }
        bool WriteSyncPacket(Stream* pStream) override
        {
            ++m_iSyncWrites;
            return CNetObject::WriteSyncPacket(pStream) && CBinaryWriter(pStream).WriteVector3D(m_vecPosition);
        }
        bool ReadSyncPacket(Stream* pStream) override
        {
            CNetObject::ReadSyncPacket(pStream);
            ++m_iSyncReads;
            if (m_iGreedyRead > 0) {
                std::vector<unsigned char> bytes(m_iGreedyRead);
                m_LastRead = pStream->Read(bytes.data(), bytes.size());
                return true;
            }
            CVector3D vec;
            if (!CBinaryReader(pStream).ReadVector3D(vec))
                return false;
            m_vecPosition = vec;
            return true;
        }
        bool CanBeDeleted() override { return m_bCanBeDeleted; }

        CVector3D m_vecPosition;
        bool m_bHasPosition = true;
        bool m_bCanBeDeleted = true;
        int m_iSyncWrites = 0;
        int m_iSyncReads = 0;
        int m_iGreedyRead = 0;
        size_t m_LastRead = 0;
    };

    // One packet as the sender saw it.
    struct SentPacket
    {
        int m_iClient;
        unsigned m_uiId;
        std::vector<uint8_t> m_Payload; // after the 8-byte header
        ePacketPriority m_Priority;
        ePacketFlags m_Flags;
        unsigned char m_ucChannel;
        bool m_bPlayer = false; // a SendPlayer call rather than a packet
    };

    class CRecordingSender : public INetObjectSender
    {
    public:
        void SendPacket(CNetMachine* pClient, Packet* pPacket, ePacketPriority priority, ePacketFlags flags,
            unsigned char ucChannel) override
        {
            const uint8_t* p = pPacket->GetData();
            m_Sent.push_back({pClient->GetIndex(), pPacket->GetId(),
                std::vector<uint8_t>(p + PACKET_HEADER_SIZE, p + pPacket->GetSize()), priority, flags, ucChannel});
        }
        void SendPlayer(CNetMachine* pClient) override
        {
            m_Sent.push_back({pClient->GetIndex(), PACKET_CLIENT_PLAYER, {}, PACKET_PRIORITY_LOW, PACKET_FLAG_RELIABLE, 0,
                true});
        }
        std::vector<SentPacket> Of(unsigned uiId) const
        {
            std::vector<SentPacket> out;
            for (const SentPacket& p : m_Sent)
                if (p.m_uiId == uiId)
                    out.push_back(p);
            return out;
        }
        std::vector<SentPacket> Of(unsigned uiId, int iClient) const
        {
            std::vector<SentPacket> out;
            for (const SentPacket& p : m_Sent)
                if (p.m_uiId == uiId && p.m_iClient == iClient)
                    out.push_back(p);
            return out;
        }
        void Clear() { m_Sent.clear(); }

        std::vector<SentPacket> m_Sent;
    };

    // Records every event as text ("in 3 0", "out 3 0", "destroy 3") and lets a test decide.
    class CScriptedEvents : public IElementEvents
    {
    public:
        bool OnElementStreamIn(CNetObject* pElement, CNetMachine* pClient) override
        {
            m_Log.push_back("in " + std::to_string(pElement->GetId()) + " " + std::to_string(pClient->GetIndex()));
            return m_StreamIn ? m_StreamIn(pElement, pClient) : true;
        }
        bool OnElementStreamOut(CNetObject* pElement, CNetMachine* pClient) override
        {
            m_Log.push_back("out " + std::to_string(pElement->GetId()) + " " + std::to_string(pClient->GetIndex()));
            return m_StreamOut ? m_StreamOut(pElement, pClient) : true;
        }
        bool OnElementDestroy(CNetObject* pElement) override
        {
            m_Log.push_back("destroy " + std::to_string(pElement->GetId()));
            return m_Destroy ? m_Destroy(pElement) : true;
        }
        void RemoveHandlersOfSource(CNetObject* pElement) override
        {
            m_Log.push_back("unbind " + std::to_string(pElement->GetId()));
        }

        std::function<bool(CNetObject*, CNetMachine*)> m_StreamIn, m_StreamOut;
        std::function<bool(CNetObject*)> m_Destroy;
        std::vector<std::string> m_Log;
    };

    // Little-endian reader over a recorded payload.
    class CPayload
    {
    public:
        explicit CPayload(const std::vector<uint8_t>& bytes) : m_Bytes(bytes) {}
        template <class T>
        T Get()
        {
            T v{};
            EXPECT_LE(m_Pos + sizeof(T), m_Bytes.size()) << "payload too short";
            if (m_Pos + sizeof(T) <= m_Bytes.size())
                memcpy(&v, m_Bytes.data() + m_Pos, sizeof(T));
            m_Pos += sizeof(T);
            return v;
        }
        uint16_t U16() { return Get<uint16_t>(); }
        int32_t I32() { return Get<int32_t>(); }
        uint8_t U8() { return Get<uint8_t>(); }
        float F32() { return Get<float>(); }
        std::string Str()
        {
            uint8_t n = U8(); // short strings only in these tests
            std::string s(reinterpret_cast<const char*>(m_Bytes.data() + m_Pos), n);
            m_Pos += n;
            return s;
        }
        size_t Remaining() const { return m_Pos <= m_Bytes.size() ? m_Bytes.size() - m_Pos : 0; }
        void Skip(size_t n) { m_Pos += n; }

    private:
        std::vector<uint8_t> m_Bytes;
        size_t m_Pos = 0;
    };

    // Builds a client packet's payload.
    class CBytes
    {
    public:
        template <class T>
        CBytes& Put(T v)
        {
            const uint8_t* p = reinterpret_cast<const uint8_t*>(&v);
            m_Data.insert(m_Data.end(), p, p + sizeof(T));
            return *this;
        }
        CBytes& Raw(const std::vector<uint8_t>& bytes)
        {
            m_Data.insert(m_Data.end(), bytes.begin(), bytes.end());
            return *this;
        }
        Strong<CMemoryStream> Stream() const { return MakeStrong<CMemoryStream>(m_Data.data(), m_Data.size()); }
        std::vector<uint8_t> m_Data;
    };

    // A manager with fake clients, a recording sender and scripted events.
    class CElementWorld
    {
    public:
        explicit CElementWorld(size_t capacity = CNetObjectMgr::DEFAULT_POOL_CAPACITY) : m_Manager(&m_Machines, capacity)
        {
            m_Manager.SetSender(&m_Sender);
            m_Manager.SetEvents(&m_Events);
        }
        ~CElementWorld()
        {
            m_Manager.SetEvents(nullptr);
            m_Manager.Shutdown();
            m_Machines.ClearAll();
        }

        // A joined, streaming client in the slot.
        CNetMachine* AddClient(int iIndex, bool bJoined = true)
        {
            Strong<CNetMachine> p = MakeStrong<CGameClient>(&m_Manager, &m_Machines);
            p->SetName("client" + std::to_string(iIndex));
            p->SetJoined(bJoined);
            p->SetStreaming(true);
            m_Machines.Set(iIndex, p);
            return p;
        }
        CNetMachine* AddConsole()
        {
            Strong<CNetMachine> p = MakeStrong<CNetMachine>(&m_Manager, &m_Machines);
            p->SetName("Console");
            p->SetConsole(true);
            m_Machines.Set(255, p);
            return p;
        }
        CNetMachine* Client(int iIndex) { return m_Machines.Get(iIndex); }

        // A registered element; the manager's pool keeps it alive.
        CTestElement* Add(int32_t iType, const CVector3D& vecPosition = {})
        {
            Strong<CTestElement> p = MakeStrong<CTestElement>(&m_Manager, iType, vecPosition);
            EXPECT_TRUE(m_Manager.RegisterNetObject(p));
            return p;
        }
        // A registered player element of the client at the position.
        CTestElement* AddPlayer(CNetMachine* pClient, const CVector3D& vecPosition)
        {
            CTestElement* p = Add(ELEMENT_PLAYER, vecPosition);
            pClient->SetPlayer(p, p->GetId());
            return p;
        }

        CNetMachines m_Machines;
        CNetObjectMgr m_Manager;
        CRecordingSender m_Sender;
        CScriptedEvents m_Events;
    };

    // The ids of a delete packet payload.
    inline std::vector<int32_t> DeletedIds(const SentPacket& packet)
    {
        CPayload r(packet.m_Payload);
        std::vector<int32_t> ids;
        for (uint16_t n = r.U16(); n > 0; --n)
            ids.push_back(r.I32());
        return ids;
    }

    // The ids of a create or sync packet payload (records of size, type, id, ...).
    inline std::vector<int32_t> RecordIds(const SentPacket& packet)
    {
        CPayload r(packet.m_Payload);
        std::vector<int32_t> ids;
        for (uint16_t n = r.U16(); n > 0; --n) {
            uint16_t usSize = r.U16();
            r.I32();
            ids.push_back(r.I32());
            r.Skip(usSize - 8);
        }
        return ids;
    }
}
