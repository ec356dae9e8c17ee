#include <Multiplayer/NetObject.h>

#include <Engine/Assert.h>
#include <Engine/BinaryIO.h>
#include <Engine/Clock.h>
#include <Engine/Context.h>
#include <Multiplayer/NetMachine.h>
#include <Multiplayer/NetMachines.h>
#include <Multiplayer/NetObjectMgr.h>
#include <Multiplayer/PacketIds.h>
#include <Multiplayer/SafeText.h>
#include <Network/Packet.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace Torvane3D
{
    static constexpr uint8_t CLIENT_STATES_DEFAULT = CLIENT_STATE_EXISTS | (CLIENT_STATE_EXISTS << 4);

    // Bytes of a compact length.
    static size_t CompactLengthSize(size_t n)
    {
        size_t bytes = 1;
        while (n >= 0x80) {
            n >>= 7;
            ++bytes;
        }
        return bytes;
    }

    CNetObject::CNetObject(CNetObjectMgr* pManager)
        : m_pManager(pManager), m_fStreamOutDistance(std::numeric_limits<float>::infinity())
    {
        memset(m_ClientStates, CLIENT_STATES_DEFAULT, sizeof(m_ClientStates));
    }

    CNetObject::~CNetObject()
    {
        // Destruction through the manager leaves the element local and detached. An element
        // that never went through it (built, named or attached, then dropped) must still
        // leave no pointer to itself behind.
        TORVANE_ASSERT(m_iId == INVALID_NETWORK_ID && !m_pParent && m_iChildCount == 0);
        DetachFromParent();
        for (ChildSlot& slot : m_Children)
            if (slot.m_bUsed)
                slot.m_pChild->m_pParent = nullptr;
        if (m_pManager) {
            if (m_iId != INVALID_NETWORK_ID)
                m_pManager->MapId(this, m_iId, INVALID_NETWORK_ID);
            if (m_bHasName)
                m_pManager->MapName(this, &m_strName, nullptr);
        }
        m_Data.Clear();
        m_pResource = nullptr;
    }

    CArgument* CNetObject::CreateArgument()
    {
        return new CArgumentNetObject(this, m_iId, m_pManager);
    }

    // ---- Identity ----

    void CNetObject::SetId(int32_t iId)
    {
        int32_t iOld = m_iId;
        m_iId = iId;
        if (m_pManager)
            m_pManager->MapId(this, iOld, iId);
    }

    void CNetObject::SetName(const char* szName)
    {
        SetName(szName, szName ? strlen(szName) : 0);
    }

    void CNetObject::SetName(const char* pName, size_t length)
    {
        std::string strOld = std::move(m_strName);
        bool bHadName = m_bHasName;
        m_bHasName = pName != nullptr;
        m_strName.assign(pName ? pName : "", pName ? length : 0);
        if (m_pManager)
            m_pManager->MapName(this, bHadName ? &strOld : nullptr, m_bHasName ? &m_strName : nullptr);
        if (!IsNetworked())
            return;
        Packet packet(PACKET_ELEMENT_NAME);
        CBinaryWriter writer(&packet);
        writer.WriteUInt16(1);
        writer.WriteInt32(m_iId);
        writer.WriteString(m_strName);
        SendRelated(&packet);
    }

    void CNetObject::SetDimension(int32_t iDimension)
    {
        if (iDimension == m_iDimension)
            return;
        m_iDimension = iDimension;
        Packet packet(PACKET_ELEMENT_DIMENSION);
        CBinaryWriter writer(&packet);
        writer.WriteUInt16(1);
        writer.WriteInt32(m_iId);
        writer.WriteInt32(iDimension);
        SendRelated(&packet);
    }

    int32_t CNetObject::GetEffectiveDimension() const
    {
        return m_pParent ? m_pParent->m_iDimension : m_iDimension;
    }

    // ---- Parent and children ----

    CNetObject* CNetObject::GetChild(int iSlot) const
    {
        if (iSlot < 0 || iSlot >= MAX_NET_OBJECT_CHILDREN || !m_Children[iSlot].m_bUsed)
            return nullptr;
        return m_Children[iSlot].m_pChild;
    }

    bool CNetObject::IsAncestorOrSelf(const CNetObject* pOther) const
    {
        // Parent chains never loop (SetParent refuses it), so this walk ends.
        for (const CNetObject* p = pOther; p; p = p->m_pParent)
            if (p == this)
                return true;
        return false;
    }

    int CNetObject::GetDepth() const
    {
        int iDepth = 1;
        for (const CNetObject* p = m_pParent; p; p = p->m_pParent)
            ++iDepth;
        return iDepth;
    }

    int CNetObject::GetSubtreeHeight() const
    {
        // Level by level, without recursion.
        std::vector<const CNetObject*> level{this}, next;
        int iHeight = 0;
        while (!level.empty()) {
            ++iHeight;
            next.clear();
            for (const CNetObject* p : level)
                for (const ChildSlot& slot : p->m_Children)
                    if (slot.m_bUsed)
                        next.push_back(slot.m_pChild);
            level.swap(next);
        }
        return iHeight;
    }

    void CNetObject::DetachFromParent()
    {
        if (!m_pParent)
            return;
        for (ChildSlot& slot : m_pParent->m_Children) {
            if (slot.m_bUsed && slot.m_pChild == this) {
                slot.m_bUsed = false;
                slot.m_pChild = nullptr;
                --m_pParent->m_iChildCount;
                break;
            }
        }
        m_pParent = nullptr;
    }

    bool CNetObject::SetParent(CNetObject* pParent)
    {
        if (pParent == m_pParent)
            return false;
        // A full parent, one that would close a loop or one that would make the tree too deep
        // leaves everything as it was.
        if (pParent && (pParent->m_iChildCount >= MAX_NET_OBJECT_CHILDREN || IsAncestorOrSelf(pParent) ||
                           pParent->GetDepth() + GetSubtreeHeight() > MAX_NET_OBJECT_DEPTH))
            return false;
        DetachFromParent();
        if (pParent) {
            for (ChildSlot& slot : pParent->m_Children) {
                if (!slot.m_bUsed) {
                    slot.m_bUsed = true;
                    slot.m_pChild = this;
                    ++pParent->m_iChildCount;
                    break;
                }
            }
            m_pParent = pParent;
        }
        Packet packet(PACKET_ELEMENT_PARENT);
        CBinaryWriter writer(&packet);
        writer.WriteUInt16(1);
        writer.WriteInt32(m_iId);
        writer.WriteInt32(pParent ? pParent->m_iId : INVALID_NETWORK_ID);
        SendRelated(&packet);
        return true;
    }

    void CNetObject::SetPendingParentId(int32_t iId)
    {
        int32_t iOld = m_iPendingParentId;
        m_iPendingParentId = iId;
        if (m_pManager && iOld != iId)
            m_pManager->OnPendingParentChanged(this, iOld, iId);
    }

    void CNetObject::Remove()
    {
        SetParent(nullptr);
        // Children detach themselves from this element while being destroyed: work on a copy.
        CNetObject* children[MAX_NET_OBJECT_CHILDREN];
        int iCount = 0;
        for (const ChildSlot& slot : m_Children)
            if (slot.m_bUsed)
                children[iCount++] = slot.m_pChild;
        for (int i = 0; i < iCount; ++i) {
            CNetObject* pChild = children[i];
            if (pChild->m_pParent != this)
                continue;
            if (!m_pManager || !m_pManager->DestroyObject(pChild, false, true))
                pChild->SetParent(nullptr);
        }
        if (m_bHasName && m_pManager)
            m_pManager->MapName(this, &m_strName, nullptr);
        m_strName.clear();
        m_bHasName = false;
    }

    // ---- Syncer ----

    void CNetObject::SetSyncer(CNetMachine* pClient, bool bForced)
    {
        if (pClient != m_pSyncer.Get()) {
            if (m_pSyncer && m_Flags.Has(NETOBJECT_TRANSIENT))
                m_Flags.Set(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER, false);
            m_pSyncer = pClient;
            Packet packet(PACKET_ELEMENT_SYNCER);
            CBinaryWriter writer(&packet);
            writer.WriteUInt16(1);
            writer.WriteInt32(m_iId);
            writer.WriteInt32(pClient ? pClient->GetIndex() : -1);
            SendRelated(&packet);
        }
        if (pClient) {
            m_Flags.Set(NETOBJECT_FORCED_SYNCER, bForced);
        } else {
            m_Flags.Set(NETOBJECT_FORCED_SYNCER, false);
            if (m_Flags.Has(NETOBJECT_TRANSIENT))
                m_Flags.Set(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER, false);
        }
    }

    void CNetObject::SetSyncerId(int32_t iIndex)
    {
        if (m_Flags.Has(NETOBJECT_FORCED_SYNCER))
            return;
        CNetMachine* pClient = nullptr;
        if (iIndex >= 0 && iIndex < MAX_NET_OBJECT_CLIENTS && m_pManager && m_pManager->GetMachines())
            pClient = m_pManager->GetMachines()->Get(iIndex);
        SetSyncer(pClient, false);
    }

    // ---- Per-client state ----

    uint8_t CNetObject::GetClientState(int iIndex) const
    {
        if (iIndex < 0 || iIndex >= MAX_NET_OBJECT_CLIENTS)
            return 0;
        return static_cast<uint8_t>((m_ClientStates[iIndex >> 1] >> ((iIndex & 1) * 4)) & 0xF);
    }

    void CNetObject::SetClientState(int iIndex, uint8_t ucState)
    {
        uint8_t& byte = m_ClientStates[iIndex >> 1];
        int iShift = (iIndex & 1) * 4;
        byte = static_cast<uint8_t>((byte & ~(0xF << iShift)) | ((ucState & 0xF) << iShift));
    }

    void CNetObject::ResetClientStates()
    {
        memset(m_ClientStates, CLIENT_STATES_DEFAULT, sizeof(m_ClientStates));
        m_iLowestCreatedClient = -1;
    }

    bool CNetObject::IsCreatedFor(const CNetMachine* pClient) const
    {
        return pClient && IsCreatedFor(pClient->GetIndex());
    }

    void CNetObject::SetCreatedFor(CNetMachine* pClient, bool bCreated)
    {
        if (pClient)
            SetCreatedFor(pClient->GetIndex(), bCreated);
    }

    void CNetObject::SetCreatedFor(int iIndex, bool bCreated)
    {
        if (iIndex < 0 || iIndex >= MAX_NET_OBJECT_CLIENTS)
            return;
        uint8_t ucState = GetClientState(iIndex);
        if (((ucState & CLIENT_STATE_CREATED) != 0) == bCreated)
            return;
        SetClientState(iIndex, bCreated ? (ucState | CLIENT_STATE_CREATED) : (ucState & ~CLIENT_STATE_CREATED));
        if (bCreated) {
            if (m_iLowestCreatedClient == -1 || m_iLowestCreatedClient > iIndex)
                m_iLowestCreatedClient = iIndex;
        } else if (m_iLowestCreatedClient == iIndex) {
            m_iLowestCreatedClient = -1;
            for (int i = iIndex + 1; i < MAX_NET_OBJECT_CLIENTS; ++i) {
                if (IsCreatedFor(i)) {
                    m_iLowestCreatedClient = i;
                    break;
                }
            }
        }
        if (IsRegistered() && m_pManager)
            m_pManager->OnCreatedChanged(this, iIndex, bCreated);
    }

    bool CNetObject::ExistsFor(const CNetMachine* pClient) const
    {
        return pClient && (GetClientState(pClient->GetIndex()) & CLIENT_STATE_EXISTS) != 0;
    }

    void CNetObject::SetExistsFor(CNetMachine* pClient, bool bExists)
    {
        if (!pClient || pClient->GetIndex() < 0 || pClient->GetIndex() >= MAX_NET_OBJECT_CLIENTS)
            return;
        uint8_t ucState = GetClientState(pClient->GetIndex());
        SetClientState(pClient->GetIndex(), bExists ? (ucState | CLIENT_STATE_EXISTS) : (ucState & ~CLIENT_STATE_EXISTS));
    }

    // ---- Permissions ----

    bool CNetObject::CanSendSync()
    {
        return m_Flags.Has(NETOBJECT_SEND_SYNC) && m_Flags.Has(NETOBJECT_NETWORKED) &&
            (!m_Flags.Has(NETOBJECT_ONLY_SYNC_IF_DETACHED) || !m_pParent);
    }

    bool CNetObject::CanSendSync(CNetMachine* pClient)
    {
        if (!m_Flags.Has(NETOBJECT_SEND_SYNC) || !m_Flags.Has(NETOBJECT_NETWORKED))
            return false;
        if (m_pParent && m_Flags.Has(NETOBJECT_ONLY_SYNC_IF_DETACHED) && m_pParent->IsCreatedFor(pClient))
            return false;
        CNetMachine* pSyncer = m_pSyncer.Get();
        return pSyncer && pSyncer != pClient;
    }

    bool CNetObject::CanBeSyncer(CNetMachine*)
    {
        return m_Flags.Has(NETOBJECT_NETWORKED);
    }

    bool CNetObject::CanExistForMachine(CNetMachine* pClient)
    {
        return m_Flags.Has(NETOBJECT_NETWORKED) && m_Flags.Has(NETOBJECT_DEFAULT_EXISTANCE) && ExistsFor(pClient);
    }

    // ---- Position ----

    bool CNetObject::SetPosition(const CVector3D&) { return false; }
    bool CNetObject::GetPosition(CVector3D&) { return false; }
    bool CNetObject::SetRotation(const CVector3D&) { return false; }
    bool CNetObject::GetRotation(CVector3D&) { return false; }

    bool CNetObject::GetDistanceToMachine(CNetMachine* pClient, float& fDistance)
    {
        CNetObject* pPlayer = m_pManager ? m_pManager->GetPlayerElement(pClient) : nullptr;
        CVector3D vecPlayer, vecOwn;
        if (!pPlayer || !pPlayer->GetPosition(vecPlayer) || !GetPosition(vecOwn))
            return false;
        float dx = vecPlayer.x - vecOwn.x, dy = vecPlayer.y - vecOwn.y, dz = vecPlayer.z - vecOwn.z;
        fDistance = std::sqrt(dx * dx + dy * dy + dz * dz);
        return true;
    }

    // ---- Data ----

    bool CNetObject::SetData(const char* szKey, const CArgument* pValue, bool bSync)
    {
        if (!szKey)
            return false;
        size_t keyLength = strlen(szKey);
        bool bRemove = !pValue || pValue->GetType() == ARGUMENT_NIL;
        CArgument* pCopy = nullptr;
        if (!bRemove) {
            // Everything stored here goes into every create record of the element: refuse
            // what cannot be written, and what would not fit the record's 16-bit size.
            size_t valueSize = 0;
            if (!pValue->GetSize(valueSize)) {
                LogMessage(LOG_ERROR, "Element data \"%s\" of type %s cannot be sent to clients",
                    EscapeControlCharacters(szKey).c_str(), pValue->GetTypeName());
                return false;
            }
            size_t recordSize = 0;
            if (!m_pManager || !m_pManager->MeasureCreateRecord(this, recordSize)) {
                LogMessage(LOG_ERROR, "Element data \"%s\" refused: the element cannot be written",
                    EscapeControlCharacters(szKey).c_str());
                return false;
            }
            size_t entrySize = CompactLengthSize(keyLength) + keyLength + 1;
            size_t oldValueSize = 0;
            if (CArgument* pOld = m_Data.Get(std::string_view(szKey, keyLength)); pOld && pOld->GetSize(oldValueSize))
                recordSize -= entrySize + oldValueSize;
            if (recordSize + entrySize + valueSize > MAX_NET_OBJECT_RECORD_SIZE) {
                LogMessage(LOG_ERROR, "Element data \"%s\" refused: the element's record would exceed %zu bytes",
                    EscapeControlCharacters(szKey).c_str(), MAX_NET_OBJECT_RECORD_SIZE);
                return false;
            }
            pCopy = pValue->Clone();
            if (!pCopy) {
                LogMessage(LOG_ERROR, "Element data \"%s\" of type %s cannot be stored",
                    EscapeControlCharacters(szKey).c_str(), pValue->GetTypeName());
                return false;
            }
        }
        if (bSync) {
            Packet packet(PACKET_ELEMENT_DATA);
            CBinaryWriter writer(&packet);
            writer.WriteUInt16(1);
            writer.WriteInt32(m_iId);
            writer.WriteUInt16(1);
            writer.WriteString(szKey, keyLength);
            writer.WriteUInt8(bRemove ? uint8_t(ARGUMENT_NIL) : pCopy->GetType());
            if (!bRemove)
                pCopy->Write(&packet);
            SendRelated(&packet);
        }
        if (bRemove)
            m_Data.Remove(std::string_view(szKey, keyLength));
        else
            m_Data.Set(std::string_view(szKey, keyLength), pCopy);
        return true;
    }

    bool CNetObject::RemoveData(const char* szKey)
    {
        if (!szKey || !m_Data.Remove(szKey))
            return false;
        Packet packet(PACKET_ELEMENT_DATA);
        CBinaryWriter writer(&packet);
        writer.WriteUInt16(1);
        writer.WriteInt32(m_iId);
        writer.WriteUInt16(1);
        writer.WriteString(szKey);
        writer.WriteUInt8(ARGUMENT_NIL);
        SendRelated(&packet);
        return true;
    }

    void CNetObject::ClearData()
    {
        m_Data.Clear();
        Packet packet(PACKET_ELEMENT_CLEAR_DATA);
        CBinaryWriter writer(&packet);
        writer.WriteUInt16(1);
        writer.WriteInt32(m_iId);
        SendRelated(&packet);
    }

    // ---- Payloads ----

    void CNetObject::UpdateLastPacketTime()
    {
        m_uiLastPacketTime = GetTickCount32();
    }

    bool CNetObject::WriteIdentifier(Stream* pStream) const
    {
        CBinaryWriter writer(pStream);
        return writer.WriteInt32(m_iType) && writer.WriteInt32(m_iId);
    }

    bool CNetObject::WriteCreatePacket(Stream* pStream)
    {
        CBinaryWriter writer(pStream);
        CNetMachine* pSyncer = m_pSyncer.Get();
        bool bOk = writer.WriteInt32(pSyncer ? pSyncer->GetIndex() : -1) &&
            writer.WriteInt32(m_pParent ? m_pParent->m_iId : INVALID_NETWORK_ID) && writer.WriteInt32(m_iDimension) &&
            writer.WriteString(m_strName) && m_pManager && m_pManager->WriteData(m_Data, pStream);
        UpdateLastPacketTime();
        return bOk;
    }

    bool CNetObject::ReadCreatePacket(Stream* pStream)
    {
        CBinaryReader reader(pStream);
        int32_t iSyncer, iParent, iDimension;
        std::string strName;
        if (!reader.ReadInt32(iSyncer) || !reader.ReadInt32(iParent) || !reader.ReadInt32(iDimension))
            return false;
        SetSyncerId(iSyncer);
        SetPendingParentId(iParent);
        m_iDimension = iDimension;
        if (!reader.ReadString(strName))
            return false;
        SetName(strName.data(), strName.size());
        bool bOk = m_pManager && m_pManager->ReadData(m_Data, pStream);
        UpdateLastPacketTime();
        return bOk;
    }

    bool CNetObject::WriteSyncPacket(Stream*)
    {
        UpdateLastPacketTime();
        return true;
    }

    bool CNetObject::ReadSyncPacket(Stream*)
    {
        UpdateLastPacketTime();
        return true;
    }

    void CNetObject::SendRelated(Packet* pPacket)
    {
        if (m_pManager)
            m_pManager->SendObjectRelatedPacket(pPacket, this);
    }
}
