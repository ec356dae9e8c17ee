#include "Peer2PeerSystem.h"

#include "Elements/Entity.h"
#include "GTAServerManager.h"

#include <Engine/BinaryIO.h>
#include <Multiplayer/NetMachines.h>
#include <Multiplayer/PacketIds.h>
#include <Network/Packet.h>

#include <algorithm>
#include <cstring>

using namespace Torvane3D;

void CPeer2PeerSystem::ProcessPacket(Peer_t pPeer, unsigned int uiPacketId, Stream* pStream)
{
    if (uiPacketId != PACKET_REQUEST_LOCAL_VEHICLE && uiPacketId != PACKET_REQUEST_LOCAL_PED)
        return;
    CNetMachines* pMachines = m_pManager->GetMachines();
    if (CNetMachine* pClient = pMachines ? pMachines->GetMachineFromPeer(pPeer) : nullptr)
        ProcessClientPacket(pClient, uiPacketId, pStream);
}

void CPeer2PeerSystem::ProcessClientPacket(CNetMachine* pClient, unsigned int uiPacketId, Stream* pStream)
{
    if (!pClient || !pStream || !m_pManager->IsSyncingLocalEntities())
        return;
    if (uiPacketId != PACKET_REQUEST_LOCAL_VEHICLE && uiPacketId != PACKET_REQUEST_LOCAL_PED)
        return;
    Strong<Stream> pKeepStream(pStream);
    Strong<CNetMachine> pKeepClient(pClient);
    long lStart = pStream->Tell();
    HandleRequest(pClient, uiPacketId == PACKET_REQUEST_LOCAL_VEHICLE ? ELEMENT_VEHICLE : ELEMENT_PED, pStream);
    pStream->Seek(lStart, SEEK_ORIGIN_BEGIN);
}

std::vector<Weak<CNetObject>>& CPeer2PeerSystem::RequestedBy(CNetMachine* pClient)
{
    tClientRequests& entry = m_Clients[pClient->GetIndex() & 0xFF];
    // A new client in the slot starts with nothing handed over.
    if (entry.m_pClient.Get() != pClient) {
        entry.m_pClient = pClient;
        entry.m_Elements.clear();
    }
    // Destroyed elements have emptied their references.
    std::erase_if(entry.m_Elements, [](const Weak<CNetObject>& p) { return !p; });
    return entry.m_Elements;
}

size_t CPeer2PeerSystem::CountRequestedElements(CNetMachine* pClient)
{
    return pClient ? RequestedBy(pClient).size() : 0;
}

void CPeer2PeerSystem::HandleRequest(CNetMachine* pClient, int32_t iType, Stream* pStream)
{
    CBinaryReader reader(pStream);
    tRequest request;
    request.m_iType = iType;
    // Without the handle and the tag there is nothing to answer to.
    if (!reader.ReadUInt32(request.m_uiHandle) || !reader.ReadBytes(request.m_Tag, sizeof(request.m_Tag)))
        return;

    std::vector<Weak<CNetObject>>& requested = RequestedBy(pClient);
    if (requested.size() >= MAX_ELEMENTS_PER_CLIENT)
        return Refuse(pClient, request);

    Strong<CNetObject> pElement = Strong<CNetObject>::Adopt(m_pManager->Create(iType));
    if (!pElement)
        return;
    CServerEntity* pEntity = static_cast<CServerEntity*>(pElement.Get());
    pEntity->SetLocalHandle(static_cast<int32_t>(request.m_uiHandle));
    // A short payload creates nothing.
    if (!pElement->ReadCreatePacket(pStream) || !pElement->ReadSyncPacket(pStream))
        return Refuse(pClient, request);
    // The requester becomes the syncer below, whatever syncer the payload named.
    pElement->SetSyncer(nullptr, false);
    pElement->SetFlag(NETOBJECT_TRANSIENT, true);
    pElement->SetFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER, true);

    if (iType == ELEMENT_VEHICLE) {
        uint8_t ucFlags = pEntity->GetEntityFlags();
        CVector3D vecPosition;
        if ((ucFlags & 1) && (ucFlags & ~3) == 0 && pEntity->GetPosition(vecPosition) && IsCrowded(vecPosition))
            return Refuse(pClient, request);
    }

    // A full pool gets no answer.
    if (!m_pManager->RegisterNetObject(pElement))
        return;
    requested.emplace_back(pElement.Get());
    SendResult(pClient, request, pElement->GetId());
    pElement->SetCreatedFor(pClient, true);
    pElement->SetSyncer(pClient, false);
}

bool CPeer2PeerSystem::IsCrowded(const CVector3D& vecPosition)
{
    size_t remaining = m_pManager->GetCount();
    for (size_t slot = 0; remaining > 0 && slot < m_pManager->GetCapacity(); ++slot) {
        CNetObject* pOther = m_pManager->GetObjectInSlot(slot);
        if (!pOther)
            continue;
        --remaining;
        CVector3D vecOther;
        if (!pOther->IsType(ELEMENT_ENTITY) || !pOther->GetPosition(vecOther))
            continue;
        if (vecPosition.Distance(vecOther) < MIN_VEHICLE_DISTANCE)
            return true;
    }
    return false;
}

void CPeer2PeerSystem::Refuse(CNetMachine* pClient, const tRequest& request)
{
    // Clients have only ever been told -1 for vehicles.
    if (request.m_iType == ELEMENT_VEHICLE)
        SendResult(pClient, request, INVALID_NETWORK_ID);
}

void CPeer2PeerSystem::SendResult(CNetMachine* pClient, const tRequest& request, int32_t iId)
{
    Packet packet(PACKET_LOCAL_ELEMENT_RESULT);
    CBinaryWriter writer(&packet);
    writer.WriteUInt32(static_cast<uint32_t>(request.m_iType));
    writer.WriteUInt32(request.m_uiHandle);
    writer.WriteBytes(request.m_Tag, sizeof(request.m_Tag));
    writer.WriteInt32(iId);
    m_pManager->GetSender()->SendPacket(pClient, &packet, PACKET_PRIORITY_LOW, PACKET_FLAG_RELIABLE, 0);
}
