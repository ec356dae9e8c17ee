// The element manager: pool, ids, names, lookups, destruction, sends and the data encoding.
// Streaming is in NetObjectStreaming.cpp, sync and client reports in NetObjectSync.cpp.
#include <Multiplayer/NetObjectMgr.h>

#include <Engine/Assert.h>
#include <Engine/BinaryIO.h>
#include <Engine/Context.h>
#include <Multiplayer/NetMachines.h>
#include <Multiplayer/PacketIds.h>
#include <Network/Packet.h>

#include <algorithm>
#include <bit>

namespace Torvane3D
{
    static constexpr size_t MAX_POOL_CAPACITY = 65535;

    CNetObjectMgr::CNetObjectMgr(CNetMachines* pMachines, size_t capacity)
        : m_pMachines(pMachines), m_Capacity(std::clamp<size_t>(capacity, 1, MAX_POOL_CAPACITY))
    {
        m_Words = (m_Capacity + 63) / 64;
        m_Slots.assign(m_Capacity, nullptr);
        m_UsedBits.assign(m_Words, 0);
        m_CreatedBits.assign(m_Words * MAX_NET_OBJECT_CLIENTS, 0);
        m_SyncStampOf.assign(m_Capacity, 0);
        m_SyncOffset.assign(m_Capacity, 0);
        m_SyncLength.assign(m_Capacity, 0);
    }

    CNetObjectMgr::~CNetObjectMgr()
    {
        // Whoever installed events, a sender or the client table may already be gone.
        m_pEvents = &m_DefaultEvents;
        m_pSender = &m_DefaultSender;
        m_pMachines = nullptr;
        Shutdown();
    }

    CNetObject* CNetObjectMgr::Create(int32_t)
    {
        return nullptr;
    }

    // ---- Pool and registration ----

    size_t CNetObjectMgr::FindFreeSlot() const
    {
        for (size_t w = 0; w < m_Words; ++w) {
            uint64_t free = ~m_UsedBits[w];
            if (free) {
                size_t slot = w * 64 + static_cast<size_t>(std::countr_zero(free));
                return slot < m_Capacity ? slot : SIZE_MAX;
            }
        }
        return SIZE_MAX;
    }

    bool CNetObjectMgr::RegisterNetObject(CNetObject* pElement)
    {
        if (!pElement)
            return false;
        if (pElement->IsRegistered())
            return true;
        size_t slot = FindFreeSlot();
        if (slot == SIZE_MAX)
            return false;
        m_Slots[slot] = pElement;
        m_UsedBits[slot >> 6] |= uint64_t(1) << (slot & 63);
        ++m_Count;
        pElement->m_Flags.Set(NETOBJECT_REGISTERED, true);
        pElement->m_PoolSlot = slot;

        if (pElement->m_iId == INVALID_NETWORK_ID) {
            if (m_iNextId < 1 || m_iNextId > MAX_ALLOCATED_ID)
                m_iNextId = 1;
            while (m_IdMap.count(m_iNextId))
                m_iNextId = m_iNextId == INT32_MAX ? 1 : m_iNextId + 1;
            int32_t iId = m_iNextId;
            pElement->SetId(iId);
            m_iNextId = iId == INT32_MAX ? 1 : iId + 1;
        }
        pElement->AddRef();

        // Created bits set before registration go into the client bitsets too.
        for (int i = pElement->m_iLowestCreatedClient; i >= 0 && i < MAX_NET_OBJECT_CLIENTS; ++i)
            if (pElement->IsCreatedFor(i))
                OnCreatedChanged(pElement, i, true);

        pElement->CreateNetSyncData();
        pElement->CreateNetBlender();
        pElement->OnCreated();
        if (m_bIndexLive)
            m_LateSlots.push_back(static_cast<uint32_t>(slot));
        ResolveParents(pElement);
        return true;
    }

    void CNetObjectMgr::ResolveParents(CNetObject* pElement)
    {
        int32_t iPending = pElement->m_iPendingParentId;
        if (iPending >= 0) {
            if (CNetObject* pParent = GetObjectFromId(iPending))
                pElement->SetParent(pParent);
            else
                m_WaitingChildren[iPending].push_back(pElement);
        }
        // Children whose create payload arrived before their parent attach now. They wait
        // under the id they named, so this never scans the id map.
        if (pElement->m_iId < 0)
            return;
        auto it = m_WaitingChildren.find(pElement->m_iId);
        if (it == m_WaitingChildren.end())
            return;
        std::vector<CNetObject*> children = std::move(it->second);
        m_WaitingChildren.erase(it);
        std::sort(children.begin(), children.end(),
            [](const CNetObject* a, const CNetObject* b) { return a->m_PoolSlot < b->m_PoolSlot; });
        for (CNetObject* pChild : children)
            if (pChild != pElement && pChild->IsRegistered() && pChild->m_iPendingParentId == pElement->m_iId)
                pChild->SetParent(pElement);
    }

    void CNetObjectMgr::OnPendingParentChanged(CNetObject* pElement, int32_t iOldId, int32_t iNewId)
    {
        if (!pElement->IsRegistered())
            return;
        if (iOldId >= 0) {
            auto it = m_WaitingChildren.find(iOldId);
            if (it != m_WaitingChildren.end()) {
                std::erase(it->second, pElement);
                if (it->second.empty())
                    m_WaitingChildren.erase(it);
            }
        }
        if (iNewId >= 0 && !GetObjectFromId(iNewId))
            m_WaitingChildren[iNewId].push_back(pElement);
    }

    // ---- Maps ----

    void CNetObjectMgr::MapId(CNetObject* pElement, int32_t iOldId, int32_t iNewId)
    {
        if (iOldId != INVALID_NETWORK_ID) {
            // Only this element's own entry: another element may have taken the id since.
            auto it = m_IdMap.find(iOldId);
            if (it != m_IdMap.end() && it->second == pElement)
                m_IdMap.erase(it);
        }
        if (iNewId != INVALID_NETWORK_ID)
            m_IdMap[iNewId] = pElement;
    }

    void CNetObjectMgr::MapName(CNetObject* pElement, const std::string* pOldName, const std::string* pNewName)
    {
        if (pOldName) {
            // Renaming an element that lost its name to a later one must not unmap that one.
            auto it = m_NameMap.find(*pOldName);
            if (it != m_NameMap.end() && it->second == pElement)
                m_NameMap.erase(it);
        }
        if (pNewName)
            m_NameMap[*pNewName] = pElement;
    }

    CNetObject* CNetObjectMgr::GetObjectFromId(int32_t iId) const
    {
        if (iId < 0)
            return nullptr;
        auto it = m_IdMap.find(iId);
        return it != m_IdMap.end() ? it->second : nullptr;
    }

    CNetObject* CNetObjectMgr::GetObjectFromName(std::string_view name) const
    {
        auto it = m_NameMap.find(name);
        return it != m_NameMap.end() ? it->second : nullptr;
    }

    void CNetObjectMgr::GetObjectsOfType(int32_t iTypeMask, std::vector<CNetObject*>& elements) const
    {
        for (size_t slot = 0; slot < m_Capacity; ++slot)
            if (m_Slots[slot] && m_Slots[slot]->IsType(iTypeMask))
                elements.push_back(m_Slots[slot]);
    }

    bool CNetObjectMgr::GetNetObjectId(CBaseObject* pObject, int32_t& iId)
    {
        CNetObject* pElement = dynamic_cast<CNetObject*>(pObject);
        if (!pElement || !pElement->IsRegistered())
            return false;
        iId = pElement->m_iId;
        return true;
    }

    CNetObject* CNetObjectMgr::GetPlayerElement(CNetMachine* pClient) const
    {
        return pClient ? dynamic_cast<CNetObject*>(pClient->GetPlayer()) : nullptr;
    }

    int32_t CNetObjectMgr::GetClientDimension(CNetMachine* pClient) const
    {
        CNetObject* pPlayer = GetPlayerElement(pClient);
        return pPlayer ? pPlayer->GetEffectiveDimension() : -1;
    }

    void CNetObjectMgr::OnCreatedChanged(CNetObject* pElement, int iIndex, bool bCreated)
    {
        size_t slot = pElement->m_PoolSlot;
        if (slot >= m_Capacity || iIndex < 0 || iIndex >= MAX_NET_OBJECT_CLIENTS)
            return;
        uint64_t& word = m_CreatedBits[static_cast<size_t>(iIndex) * m_Words + (slot >> 6)];
        uint64_t bit = uint64_t(1) << (slot & 63);
        word = bCreated ? (word | bit) : (word & ~bit);
    }

    // ---- Destruction ----

    bool CNetObjectMgr::DestroyObject(CNetObject* pElement, bool, bool bForce)
    {
        if (!pElement || pElement->IsDeleting() || !pElement->CanBeDeleted())
            return false;
        // Handlers and the pool's release below must not free it under our feet.
        Strong<CNetObject> pKeep(pElement);
        pElement->m_Flags.Set(NETOBJECT_DELETING, true);
        bool bAllowed = m_pEvents->OnElementDestroy(pElement);
        if (pElement->m_iId == INVALID_NETWORK_ID) {
            if (!bForce && !bAllowed) {
                pElement->m_Flags.Set(NETOBJECT_DELETING, false);
                return false;
            }
        } else {
            // Every client hears of it, so a networked element cannot be saved by a handler.
            SendDeletePacket(pElement);
        }
        if (!pElement->IsRegistered())
            return true;

        if (m_pMachines) {
            for (int i = 0; i < MAX_NET_OBJECT_CLIENTS; ++i) {
                CNetMachine* pClient = m_pMachines->Get(i);
                if (pClient && pClient->GetPlayer() == pElement)
                    pClient->SetPlayer(nullptr, INVALID_NETWORK_ID);
            }
        }
        m_pEvents->RemoveHandlersOfSource(pElement);
        pElement->m_Data.Clear();
        pElement->Remove();
        OnPendingParentChanged(pElement, pElement->m_iPendingParentId, INVALID_NETWORK_ID);
        pElement->m_iPendingParentId = INVALID_NETWORK_ID;
        pElement->SetId(INVALID_NETWORK_ID);
        for (int i = pElement->m_iLowestCreatedClient; i >= 0 && i < MAX_NET_OBJECT_CLIENTS; ++i)
            if (pElement->IsCreatedFor(i))
                OnCreatedChanged(pElement, i, false);
        pElement->ResetClientStates();
        pElement->ClearWeakReferences();
        pElement->m_pResource = nullptr;

        size_t slot = pElement->m_PoolSlot;
        m_Slots[slot] = nullptr;
        m_UsedBits[slot >> 6] &= ~(uint64_t(1) << (slot & 63));
        --m_Count;
        pElement->m_PoolSlot = SIZE_MAX;
        pElement->m_Flags.Set(NETOBJECT_REGISTERED, false);
        pElement->Release();
        if (m_IdMap.empty())
            m_iNextId = 0;
        return true;
    }

    void CNetObjectMgr::Shutdown()
    {
        m_pEvents->RemoveElementEventHandlers();
        for (size_t slot = 0; slot < m_Capacity; ++slot)
            if (m_Slots[slot])
                DestroyObject(m_Slots[slot], true, false);
        m_IdMap.clear();
        m_NameMap.clear();
        m_WaitingChildren.clear();
    }

    // ---- Sends ----

    void CNetObjectMgr::SendDeletePacket(CNetObject* pElement)
    {
        Packet packet(PACKET_ELEMENT_DELETE);
        CBinaryWriter writer(&packet);
        writer.WriteUInt16(1);
        writer.WriteInt32(pElement->m_iId);
        SendEveryonePacket(&packet);
        for (int i = pElement->m_iLowestCreatedClient; i >= 0 && i < MAX_NET_OBJECT_CLIENTS; ++i)
            if (pElement->IsCreatedFor(i))
                pElement->SetCreatedFor(i, false);
        pElement->m_iLowestCreatedClient = -1;
    }

    void CNetObjectMgr::SendObjectRelatedPacket(Packet* pPacket, CNetObject* pElement)
    {
        if (!pElement || pElement->m_iId == INVALID_NETWORK_ID || !m_pMachines)
            return;
        for (int i = pElement->m_iLowestCreatedClient; i >= 0 && i < MAX_NET_OBJECT_CLIENTS; ++i) {
            if (!pElement->IsCreatedFor(i))
                continue;
            CNetMachine* pClient = m_pMachines->Get(i);
            if (pClient && pClient->IsJoined() && !pClient->IsConsole())
                m_pSender->SendPacket(pClient, pPacket, PACKET_PRIORITY_LOW, PACKET_FLAG_RELIABLE, 0);
        }
    }

    void CNetObjectMgr::SendEveryonePacket(Packet* pPacket)
    {
        SendPacketExcluding(pPacket, nullptr);
    }

    void CNetObjectMgr::SendPacketExcluding(Packet* pPacket, CNetMachine* pExcept)
    {
        if (!m_pMachines)
            return;
        for (int i = 0; i < MAX_NET_OBJECT_CLIENTS; ++i) {
            CNetMachine* pClient = m_pMachines->Get(i);
            if (pClient && pClient != pExcept && !pClient->IsConsole())
                m_pSender->SendPacket(pClient, pPacket, PACKET_PRIORITY_LOW, PACKET_FLAG_RELIABLE, 0);
        }
    }

    void CNetObjectMgr::BeginCounted(Packet& packet)
    {
        uint16_t usPlaceholder = 0;
        packet.Write(&usPlaceholder, sizeof(usPlaceholder));
    }

    void CNetObjectMgr::EndCounted(Packet& packet, uint16_t usCount)
    {
        long lEnd = packet.Tell();
        packet.Seek(static_cast<long>(PACKET_HEADER_SIZE), SEEK_ORIGIN_BEGIN);
        packet.Write(&usCount, sizeof(usCount));
        packet.Seek(lEnd, SEEK_ORIGIN_BEGIN);
    }

    bool CNetObjectMgr::AppendRecord(Packet& packet, const CScratchStream& scratch)
    {
        uint16_t usSize = static_cast<uint16_t>(scratch.GetSize());
        return packet.Write(&usSize, sizeof(usSize)) == sizeof(usSize) &&
            packet.Write(scratch.GetData(), scratch.GetSize()) == scratch.GetSize();
    }

    // ---- Records ----

    bool CNetObjectMgr::MeasureCreateRecord(CNetObject* pElement, size_t& size)
    {
        // Measuring is not sending: the element's last packet time stays as it was.
        uint32_t uiTime = pElement->m_uiLastPacketTime;
        CScratchStream scratch;
        bool bOk = pElement->WriteIdentifier(&scratch) && pElement->WriteCreatePacket(&scratch) &&
            pElement->WriteSyncPacket(&scratch);
        pElement->m_uiLastPacketTime = uiTime;
        size = scratch.GetSize();
        return bOk;
    }

    bool CNetObjectMgr::BuildCreateRecord(CNetObject* pElement, CScratchStream& scratch)
    {
        scratch.Reset();
        bool bOk = pElement->WriteIdentifier(&scratch) && pElement->WriteCreatePacket(&scratch) &&
            pElement->WriteSyncPacket(&scratch);
        if (bOk && scratch.GetSize() <= MAX_NET_OBJECT_RECORD_SIZE) {
            pElement->m_bRecordRefusalLogged = false;
            return true;
        }
        if (!pElement->m_bRecordRefusalLogged) {
            pElement->m_bRecordRefusalLogged = true;
            if (bOk)
                LogMessage(LOG_ERROR, "Element %d (type %d) is not sent to clients: its record of %zu bytes exceeds %zu",
                    pElement->m_iId, pElement->m_iType, scratch.GetSize(), MAX_NET_OBJECT_RECORD_SIZE);
            else
                LogMessage(LOG_ERROR, "Element %d (type %d) is not sent to clients: its record cannot be written",
                    pElement->m_iId, pElement->m_iType);
        }
        return false;
    }

    // ---- Element data ----

    bool CNetObjectMgr::WriteData(const CArgumentMap& data, Stream* pStream)
    {
        if (data.GetCount() > UINT16_MAX)
            return false;
        CBinaryWriter writer(pStream);
        if (!writer.WriteUInt16(static_cast<uint16_t>(data.GetCount())))
            return false;
        for (const auto& [strKey, pValue] : data.GetEntries())
            if (!writer.WriteString(strKey) || !writer.WriteUInt8(pValue->GetType()) || !pValue->Write(pStream))
                return false;
        return true;
    }

    bool CNetObjectMgr::ReadData(CArgumentMap& data, Stream* pStream)
    {
        CBinaryReader reader(pStream);
        uint16_t usCount;
        if (!reader.ReadUInt16(usCount))
            return false;
        for (uint16_t i = 0; i < usCount; ++i) {
            std::string strKey;
            uint8_t ucType;
            if (!reader.ReadString(strKey) || !reader.ReadUInt8(ucType))
                return false;
            CArgument* pValue = CArgument::Create(ucType);
            if (!pValue)
                return false;
            // Element ids inside the value resolve against this server's elements.
            pValue->SetNetObjectResolver(this);
            if (!pValue->Read(pStream)) {
                pValue->Release();
                return false;
            }
            if (ucType == ARGUMENT_NIL) {
                data.Remove(strKey);
                pValue->Release();
            } else {
                data.Set(strKey, pValue);
            }
        }
        return true;
    }

    bool CNetObjectMgr::SetData(CArgumentMap& data, std::string_view key, const CArgument* pValue)
    {
        if (!pValue || pValue->GetType() == ARGUMENT_NIL) {
            data.Remove(key);
            return true;
        }
        CArgument* pCopy = pValue->Clone();
        if (!pCopy)
            return false;
        data.Set(key, pCopy);
        return true;
    }
}
