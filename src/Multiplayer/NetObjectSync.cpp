// Sync relay in both directions, the client's element reports and its departure.
#include <Multiplayer/NetObjectMgr.h>

#include <Engine/Assert.h>
#include <Engine/BinaryIO.h>
#include <Multiplayer/NetMachines.h>
#include <Multiplayer/PacketIds.h>
#include <Network/Packet.h>

#include <algorithm>
#include <cstring>

namespace Torvane3D
{
    static constexpr size_t RECORD_IDENTIFIER_SIZE = 8;

    // ---- Outgoing ----

    void CNetObjectMgr::BeginSyncGeneration()
    {
        // Records written in an earlier generation are stale; stamp 0 is never current.
        if (++m_uiSyncStamp == 0) {
            std::fill(m_SyncStampOf.begin(), m_SyncStampOf.end(), 0);
            m_uiSyncStamp = 1;
        }
        m_SyncArena.clear();
    }

    bool CNetObjectMgr::AppendSyncRecordUncached(CNetObject* pElement, Packet& packet)
    {
        m_Scratch.Reset();
        if (!pElement->WriteIdentifier(&m_Scratch) || !pElement->WriteSyncPacket(&m_Scratch) ||
            m_Scratch.GetSize() > MAX_NET_OBJECT_RECORD_SIZE)
            return false;
        return AppendRecord(packet, m_Scratch);
    }

    bool CNetObjectMgr::AppendSyncRecord(CNetObject* pElement, Packet& packet)
    {
        // Each element's record is written once per generation and copied to every recipient.
        size_t slot = pElement->m_PoolSlot;
        if (m_SyncStampOf[slot] != m_uiSyncStamp) {
            m_SyncStampOf[slot] = m_uiSyncStamp;
            m_SyncLength[slot] = 0;
            m_Scratch.Reset();
            if (pElement->WriteIdentifier(&m_Scratch) && pElement->WriteSyncPacket(&m_Scratch) &&
                m_Scratch.GetSize() <= MAX_NET_OBJECT_RECORD_SIZE) {
                m_SyncOffset[slot] = static_cast<uint32_t>(m_SyncArena.size());
                m_SyncLength[slot] = static_cast<uint32_t>(m_Scratch.GetSize());
                m_SyncArena.insert(m_SyncArena.end(), m_Scratch.GetData(), m_Scratch.GetData() + m_Scratch.GetSize());
            }
        }
        uint16_t usSize = static_cast<uint16_t>(m_SyncLength[slot]);
        if (usSize == 0)
            return false;
        packet.Write(&usSize, sizeof(usSize));
        packet.Write(m_SyncArena.data() + m_SyncOffset[slot], usSize);
        return true;
    }

    void CNetObjectMgr::SendSyncTo(CNetMachine* pClient, ePacketPriority priority, ePacketFlags flags)
    {
        if (!CanStreamToClient(pClient))
            return;
        int iIndex = pClient->GetIndex();
        Packet packet(PACKET_ELEMENT_SYNC);
        BeginCounted(packet);
        uint16_t usCount = 0;
        auto relayable = [&](CNetObject* pElement) {
            return pElement->HasFlag(NETOBJECT_SEND_SYNC) && pElement->HasFlag(NETOBJECT_NETWORKED) &&
                pElement->IsCreatedFor(iIndex) && pElement->CanSendSync(pClient);
        };
        if (m_bFastPaths) {
            ForEachCreated(iIndex, [&](size_t slot) {
                CNetObject* pElement = m_Slots[slot];
                if (pElement && relayable(pElement) && AppendSyncRecord(pElement, packet))
                    ++usCount;
            });
        } else {
            for (size_t slot = 0; slot < m_Capacity; ++slot) {
                CNetObject* pElement = m_Slots[slot];
                if (pElement && relayable(pElement) && AppendSyncRecordUncached(pElement, packet))
                    ++usCount;
            }
        }
        if (usCount == 0)
            return;
        EndCounted(packet, usCount);
        m_pSender->SendPacket(pClient, &packet, priority, flags, 1);
    }

    void CNetObjectMgr::SendSync(CNetMachine* pClient, ePacketPriority priority, ePacketFlags flags)
    {
        BeginSyncGeneration();
        SendSyncTo(pClient, priority, flags);
    }

    void CNetObjectMgr::SyncPass(ePacketPriority priority, ePacketFlags flags)
    {
        if (!m_pMachines)
            return;
        BeginSyncGeneration();
        for (int i = 0; i < MAX_NET_OBJECT_CLIENTS; ++i) {
            CNetMachine* pClient = m_pMachines->Get(i);
            if (pClient && pClient->IsJoined())
                SendSyncTo(pClient, priority, flags);
        }
    }

    // ---- Incoming ----

    bool CNetObjectMgr::ProcessPacket(CNetMachine* pClient, unsigned uiPacketId, Stream* pStream)
    {
        switch (uiPacketId) {
        case PACKET_ELEMENT_SYNC: ProcessSync(pClient, pStream); return true;
        case PACKET_ELEMENT_DELETE: ProcessDeleteReport(pClient, pStream); return true;
        case PACKET_REQUEST_SYNCER: ProcessSyncerRequest(pClient, pStream); return true;
        case PACKET_ELEMENT_STREAMING: ProcessStreamingSwitch(pClient, pStream); return true;
        default: return false;
        }
    }

    void CNetObjectMgr::ProcessSync(CNetMachine* pClient, Stream* pStream)
    {
        if (!pClient || !pStream)
            return;
        Strong<CNetMachine> pKeepClient(pClient);
        CBinaryReader reader(pStream);
        uint16_t usCount;
        if (!reader.ReadUInt16(usCount))
            return;
        std::vector<unsigned char> record;
        for (uint16_t n = 0; n < usCount; ++n) {
            uint16_t usSize;
            // A record that is too small or runs past the packet ends it.
            if (!reader.ReadUInt16(usSize) || usSize < RECORD_IDENTIFIER_SIZE || reader.GetRemaining() < usSize)
                break;
            record.resize(usSize);
            if (!reader.ReadBytes(record.data(), usSize))
                break;
            int32_t iId;
            memcpy(&iId, record.data() + 4, sizeof(iId));
            CNetObject* pElement = GetObjectFromId(iId);
            // Only the element's syncer speaks for it.
            if (!pElement || pElement->GetSyncer() != pClient || pElement->IsDeleting())
                continue;
            Strong<CNetObject> pKeep(pElement);
            // The element reads from a view of its own record: it can never read into the next.
            size_t payload = usSize - RECORD_IDENTIFIER_SIZE;
            CMemoryStream view(record.data() + RECORD_IDENTIFIER_SIZE, payload);
            pElement->ReadSyncPacket(&view);
            if (static_cast<size_t>(view.Tell()) != payload)
                ReportAssertion(__FILE__, __func__, __LINE__, "Read == usSize");
        }
        if (m_bReplySync)
            SendSync(pClient, m_ReplyPriority, m_ReplyFlags);
    }

    void CNetObjectMgr::ProcessDeleteReport(CNetMachine* pClient, Stream* pStream)
    {
        if (!CanStreamToClient(pClient) || !pStream)
            return;
        Strong<CNetMachine> pKeepClient(pClient);
        int iIndex = pClient->GetIndex();
        CBinaryReader reader(pStream);
        uint16_t usCount;
        if (!reader.ReadUInt16(usCount))
            return;
        for (uint16_t n = 0; n < usCount; ++n) {
            int32_t iId;
            if (!reader.ReadInt32(iId))
                break;
            CNetObject* pElement = GetObjectFromId(iId);
            if (!pElement)
                continue;
            Strong<CNetObject> pKeep(pElement);
            bool bWasSyncer = pElement->GetSyncer() == pClient;
            bool bKeptForSyncer = bWasSyncer && pElement->HasFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER);
            pElement->SetCreatedFor(iIndex, false);
            // Only what a client handed to the server may be destroyed by a client's word.
            if (pElement->HasFlag(NETOBJECT_TRANSIENT) &&
                (bKeptForSyncer || pElement->GetLowestCreatedClient() == -1) && DestroyObject(pElement, true, false))
                continue;
            // A client cannot sync what it no longer has.
            if (bWasSyncer && pElement->IsRegistered())
                pElement->SetSyncer(nullptr, false);
        }
    }

    void CNetObjectMgr::ProcessSyncerRequest(CNetMachine* pClient, Stream* pStream)
    {
        if (!CanStreamToClient(pClient) || !pStream)
            return;
        int32_t iId;
        if (!CBinaryReader(pStream).ReadInt32(iId))
            return;
        CNetObject* pElement = GetObjectFromId(iId);
        // The client must have the element: nobody takes over what it cannot see.
        if (!pElement || !pElement->IsCreatedFor(pClient->GetIndex()) || !pElement->CanBeSyncer(pClient) ||
            pElement->HasFlag(NETOBJECT_FORCED_SYNCER))
            return;
        pElement->SetSyncer(pClient, false);
    }

    void CNetObjectMgr::ProcessStreamingSwitch(CNetMachine* pClient, Stream* pStream)
    {
        if (!pClient)
            return;
        uint8_t ucEnabled = 0;
        bool bRead = pStream && CBinaryReader(pStream).ReadUInt8(ucEnabled);
        pClient->SetStreaming(bRead && ucEnabled != 0);
    }

    void CNetObjectMgr::OnClientDeparture(CNetMachine* pClient)
    {
        if (!CanStreamToClient(pClient))
            return;
        Strong<CNetMachine> pKeepClient(pClient);
        int iIndex = pClient->GetIndex();
        for (size_t slot = 0; slot < m_Capacity; ++slot) {
            CNetObject* pElement = m_Slots[slot];
            if (!pElement)
                continue;
            Strong<CNetObject> pKeep(pElement);
            if (pElement->GetSyncer() == pClient)
                pElement->SetSyncer(nullptr, false);
            pElement->SetCreatedFor(iIndex, false);
            pElement->SetClientState(iIndex, CLIENT_STATE_EXISTS);
            if (pElement->HasFlag(NETOBJECT_TRANSIENT) && pElement->GetLowestCreatedClient() == -1)
                DestroyObject(pElement, true, false);
        }
        if (CNetObject* pPlayer = GetPlayerElement(pClient))
            DestroyObject(pPlayer, true, false);
        if (pClient->GetPlayer())
            pClient->SetPlayer(nullptr, INVALID_NETWORK_ID);
    }
}
