// Streaming: which elements exist on which client, creation and removal there, the stream
// pass and the syncer pass.
//
// The stream pass must not test every element against every client. At its start it takes
// each element's position once into a grid; a client then looks only at the grid cells
// around its player, plus the few elements that are not placed by distance (no distance
// streaming, kept for their syncer, a reach too large for the grid). Every element found
// that way still runs the full stream-in test in pool order, so the records, events and
// packets are those of a walk over the whole pool. Removal and sync walk a per-client bitset
// of created elements instead of the pool.
#include <Multiplayer/NetObjectMgr.h>

#include <Engine/BinaryIO.h>
#include <Multiplayer/NetMachines.h>
#include <Multiplayer/PacketIds.h>
#include <Network/Packet.h>

#include <algorithm>
#include <bit>
#include <cmath>

namespace Torvane3D
{
    // Elements that reach farther than this are tested against every client instead of
    // widening every grid query.
    static constexpr float MAX_GRID_REACH = 1024.0f;

    bool CNetObjectMgr::CanStreamToClient(CNetMachine* pClient) const
    {
        return pClient && !pClient->IsConsole() && pClient->GetIndex() >= 0 &&
            pClient->GetIndex() < MAX_NET_OBJECT_CLIENTS;
    }

    // ---- The tests ----

    bool CNetObjectMgr::PassesStreamInChecks(CNetObject* pElement, CNetMachine* pClient)
    {
        if (!pElement->HasFlag(NETOBJECT_ON_ALL_DIMENSIONS) &&
            GetClientDimension(pClient) != pElement->GetEffectiveDimension())
            return false;
        if (!pElement->HasFlag(NETOBJECT_NETWORKED) || !pElement->CanExistForMachine(pClient))
            return false;
        bool bAnyDistance = !pElement->HasFlag(NETOBJECT_DISTANCE_STREAMING) ||
            (pElement->HasFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER) && pElement->GetSyncer() == pClient);
        if (bAnyDistance)
            return true;
        float fDistance;
        return pElement->GetDistanceToMachine(pClient, fDistance) && fDistance < pElement->GetStreamInDistance();
    }

    bool CNetObjectMgr::OnStreamObjectInForClient(CNetObject* pElement, CNetMachine* pClient)
    {
        if (!pElement || !CanStreamToClient(pClient) || !PassesStreamInChecks(pElement, pClient))
            return false;
        Strong<CNetObject> pKeep(pElement);
        return m_pEvents->OnElementStreamIn(pElement, pClient);
    }

    bool CNetObjectMgr::ShouldStreamOut(CNetObject* pElement, CNetMachine* pClient)
    {
        if (!pElement->HasFlag(NETOBJECT_ON_ALL_DIMENSIONS) &&
            GetClientDimension(pClient) != pElement->GetEffectiveDimension())
            return true;
        if (!pElement->HasFlag(NETOBJECT_NETWORKED) || !pElement->CanExistForMachine(pClient))
            return true;
        if ((pElement->HasFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER) && pElement->GetSyncer() == pClient) ||
            !pElement->HasFlag(NETOBJECT_DISTANCE_STREAMING))
            return false;
        float fDistance;
        if (!pElement->GetDistanceToMachine(pClient, fDistance))
            return false;
        return fDistance > pElement->GetStreamOutDistance();
    }

    // ---- Creation ----

    bool CNetObjectMgr::TryCreateFor(CNetObject* pElement, CNetMachine* pClient, int32_t iTypeMask, Packet& packet,
        bool& bOwnPlayer)
    {
        int iIndex = pClient->GetIndex();
        if (!pElement->IsRegistered() || pElement->IsDeleting() || pElement->m_iId == INVALID_NETWORK_ID ||
            pElement->IsCreatedFor(iIndex) || !pElement->IsType(iTypeMask))
            return false;
        if (!PassesStreamInChecks(pElement, pClient))
            return false;
        Strong<CNetObject> pKeep(pElement);
        if (!m_pEvents->OnElementStreamIn(pElement, pClient))
            return false;
        // A handler may have destroyed it, created it here itself, or sent the client away
        // (whose slot must then stay clean for the next one).
        if (!pElement->IsRegistered() || pElement->m_iId == INVALID_NETWORK_ID || pElement->IsCreatedFor(iIndex) ||
            pClient->GetIndex() != iIndex)
            return false;
        if (!BuildCreateRecord(pElement, m_Scratch))
            return false;
        if (!pElement->GetSyncer() && !pElement->HasFlag(NETOBJECT_FORCED_SYNCER)) {
            // The record carries the syncer: the client learns its role from it.
            pElement->SetSyncer(pClient, false);
            if (!BuildCreateRecord(pElement, m_Scratch))
                return false;
        }
        AppendRecord(packet, m_Scratch);
        pElement->SetCreatedFor(iIndex, true);
        if (GetPlayerElement(pClient) == pElement)
            bOwnPlayer = true;
        return true;
    }

    void CNetObjectMgr::CreateObjectsAsNeeded(CNetMachine* pClient, int32_t iTypeMask)
    {
        if (!CanStreamToClient(pClient) || !pClient->IsJoined() || !pClient->IsStreaming())
            return;
        Strong<CNetMachine> pKeepClient(pClient);
        Packet packet(PACKET_ELEMENT_CREATE);
        BeginCounted(packet);
        uint16_t usCount = 0;
        bool bOwnPlayer = false;
        int iIndex = pClient->GetIndex();
        if (m_bFastPaths && m_bIndexLive) {
            std::vector<uint32_t> candidates;
            GatherCandidates(pClient, iTypeMask, candidates);
            for (size_t i = 0; i < candidates.size() && pClient->GetIndex() == iIndex; ++i)
                if (CNetObject* pElement = m_Slots[candidates[i]])
                    usCount += TryCreateFor(pElement, pClient, iTypeMask, packet, bOwnPlayer) ? 1 : 0;
        } else {
            for (size_t slot = 0; slot < m_Capacity && pClient->GetIndex() == iIndex; ++slot)
                if (CNetObject* pElement = m_Slots[slot])
                    usCount += TryCreateFor(pElement, pClient, iTypeMask, packet, bOwnPlayer) ? 1 : 0;
        }
        // A client sent away meanwhile gets nothing more.
        if (usCount == 0 || pClient->GetIndex() != iIndex)
            return;
        EndCounted(packet, usCount);
        m_pSender->SendPacket(pClient, &packet, PACKET_PRIORITY_LOW, PACKET_FLAG_RELIABLE, 0);
        if (bOwnPlayer)
            m_pSender->SendPlayer(pClient);
    }

    void CNetObjectMgr::SendCreatePacket(CNetMachine* pClient, CNetObject* pElement)
    {
        if (!pElement || !CanStreamToClient(pClient))
            return;
        int iIndex = pClient->GetIndex();
        if (!pElement->IsRegistered() || pElement->IsDeleting() || pElement->m_iId == INVALID_NETWORK_ID ||
            pElement->IsCreatedFor(iIndex))
            return;
        Strong<CNetObject> pKeep(pElement);
        Strong<CNetMachine> pKeepClient(pClient);
        if (!OnStreamObjectInForClient(pElement, pClient))
            return;
        if (!pElement->IsRegistered() || pElement->m_iId == INVALID_NETWORK_ID || pElement->IsCreatedFor(iIndex) ||
            pClient->GetIndex() != iIndex)
            return;
        if (!BuildCreateRecord(pElement, m_Scratch))
            return;
        Packet packet(PACKET_ELEMENT_CREATE);
        CBinaryWriter(&packet).WriteUInt16(1);
        AppendRecord(packet, m_Scratch);
        pElement->SetCreatedFor(iIndex, true);
        m_pSender->SendPacket(pClient, &packet, PACKET_PRIORITY_LOW, PACKET_FLAG_RELIABLE, 0);
        // Here the client learns its syncer role from the syncer packet that follows.
        if (!pElement->GetSyncer() && !pElement->HasFlag(NETOBJECT_FORCED_SYNCER))
            pElement->SetSyncer(pClient, false);
        if (GetPlayerElement(pClient) == pElement)
            m_pSender->SendPlayer(pClient);
    }

    // ---- Removal ----

    bool CNetObjectMgr::TryDeleteFor(CNetObject* pElement, CNetMachine* pClient, Packet& packet)
    {
        int iIndex = pClient->GetIndex();
        if (!pElement->IsCreatedFor(iIndex) || !ShouldStreamOut(pElement, pClient))
            return false;
        Strong<CNetObject> pKeep(pElement);
        if (!m_pEvents->OnElementStreamOut(pElement, pClient))
            return false;
        if (!pElement->IsRegistered() || !pElement->IsCreatedFor(iIndex))
            return false;
        pElement->SetCreatedFor(iIndex, false);
        if (pElement->GetSyncer() == pClient)
            pElement->SetSyncer(nullptr, false);
        // The destruction tells every client itself.
        if (pElement->HasFlag(NETOBJECT_TRANSIENT) && pElement->GetLowestCreatedClient() == -1 &&
            DestroyObject(pElement, true, false))
            return false;
        CBinaryWriter(&packet).WriteInt32(pElement->m_iId);
        return true;
    }

    void CNetObjectMgr::DeleteFarAwayStuff(CNetMachine* pClient)
    {
        if (!m_bServerMode || !CanStreamToClient(pClient) || !pClient->IsJoined())
            return;
        Strong<CNetMachine> pKeepClient(pClient);
        Packet packet(PACKET_ELEMENT_DELETE);
        BeginCounted(packet);
        uint16_t usCount = 0;
        if (m_bFastPaths) {
            ForEachCreated(pClient->GetIndex(), [&](size_t slot) {
                if (CNetObject* pElement = m_Slots[slot])
                    usCount += TryDeleteFor(pElement, pClient, packet) ? 1 : 0;
            });
        } else {
            for (size_t slot = 0; slot < m_Capacity; ++slot)
                if (CNetObject* pElement = m_Slots[slot])
                    usCount += TryDeleteFor(pElement, pClient, packet) ? 1 : 0;
        }
        if (usCount == 0)
            return;
        EndCounted(packet, usCount);
        m_pSender->SendPacket(pClient, &packet, PACKET_PRIORITY_LOW, PACKET_FLAG_RELIABLE, 0);
    }

    // ---- Passes ----

    void CNetObjectMgr::ManageElements(CNetMachine* pClient)
    {
        CreateObjectsAsNeeded(pClient, ELEMENT_VEHICLE);
        CreateObjectsAsNeeded(pClient, ELEMENT_ELEMENT);
        DeleteFarAwayStuff(pClient);
    }

    void CNetObjectMgr::StreamPass()
    {
        if (m_bFastPaths) {
            BuildStreamIndex();
            m_bIndexLive = true;
        }
        // Vehicles first, so that a client knows them before the peds that sit in them.
        for (int i = 0; m_pMachines && i < MAX_NET_OBJECT_CLIENTS; ++i) {
            CNetMachine* pClient = m_pMachines->Get(i);
            if (pClient && pClient->IsJoined() && !pClient->IsConsole())
                ManageElements(pClient);
        }
        m_bIndexLive = false;
        m_LateSlots.clear();
        SyncerPass();
    }

    void CNetObjectMgr::SyncerPass()
    {
        if (!m_pMachines)
            return;
        for (size_t slot = 0; slot < m_Capacity; ++slot) {
            CNetObject* pElement = m_Slots[slot];
            if (!pElement || !pElement->HasFlag(NETOBJECT_FIND_SYNCER) || pElement->GetSyncer() ||
                pElement->HasFlag(NETOBJECT_FORCED_SYNCER) || pElement->GetLowestCreatedClient() == -1)
                continue;
            if (CNetMachine* pClient = m_pMachines->Get(pElement->GetLowestCreatedClient()))
                pElement->SetSyncer(pClient, false);
        }
    }

    // ---- The stream index ----

    void CNetObjectMgr::BuildStreamIndex()
    {
        m_GridEntries.clear();
        m_AlwaysSlots.clear();
        m_LateSlots.clear();
        for (size_t w = 0; w < m_Words; ++w) {
            for (uint64_t bits = m_UsedBits[w]; bits; bits &= bits - 1) {
                uint32_t slot = static_cast<uint32_t>(w * 64 + static_cast<size_t>(std::countr_zero(bits)));
                CNetObject* pElement = m_Slots[slot];
                if (pElement->m_iId == INVALID_NETWORK_ID || !pElement->HasFlag(NETOBJECT_NETWORKED))
                    continue; // never created anywhere
                if (!pElement->HasFlag(NETOBJECT_DISTANCE_STREAMING) ||
                    pElement->HasFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER)) {
                    m_AlwaysSlots.push_back(slot);
                    continue;
                }
                float fReach = pElement->GetStreamInDistance();
                if (!(fReach > 0.0f))
                    continue; // no distance is below it
                if (!(fReach <= MAX_GRID_REACH)) {
                    m_AlwaysSlots.push_back(slot);
                    continue;
                }
                CVector3D vecPosition;
                if (!pElement->GetPosition(vecPosition) || !std::isfinite(vecPosition.x) ||
                    !std::isfinite(vecPosition.y) || !std::isfinite(vecPosition.z))
                    continue; // no finite distance to it
                m_GridEntries.push_back({slot, vecPosition.x, vecPosition.y, fReach});
            }
        }
        m_Grid.Build(m_GridEntries);
    }

    void CNetObjectMgr::GatherCandidates(CNetMachine* pClient, int32_t iTypeMask, std::vector<uint32_t>& slots)
    {
        int iIndex = pClient->GetIndex();
        CNetObject* pPlayer = GetPlayerElement(pClient);
        CVector3D vecPlayer;
        if (pPlayer && pPlayer->GetPosition(vecPlayer) && std::isfinite(vecPlayer.x) && std::isfinite(vecPlayer.y) &&
            std::isfinite(vecPlayer.z))
            m_Grid.Query(vecPlayer.x, vecPlayer.y, slots);
        slots.insert(slots.end(), m_AlwaysSlots.begin(), m_AlwaysSlots.end());
        slots.insert(slots.end(), m_LateSlots.begin(), m_LateSlots.end());
        std::erase_if(slots, [&](uint32_t slot) {
            return IsCreatedBit(iIndex, slot) || !m_Slots[slot] || !m_Slots[slot]->IsType(iTypeMask);
        });
        std::sort(slots.begin(), slots.end());
        slots.erase(std::unique(slots.begin(), slots.end()), slots.end());
    }
}
