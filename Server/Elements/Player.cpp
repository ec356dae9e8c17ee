#include "Elements/Player.h"

#include "Elements/Vehicle.h"

#include <Engine/BinaryIO.h>
#include <Multiplayer/PacketIds.h>
#include <Network/Packet.h>

using namespace Torvane3D;

CServerPlayer::CServerPlayer(CGTAServerManager* pManager) : CServerPed(pManager)
{
    SetType(ELEMENT_PLAYER);
    SetFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER, true);
}

bool CServerPlayer::SetPosition(const CVector3D& vecPosition)
{
    CServerPed::SetPosition(vecPosition);
    Packet packet(PACKET_PLAYER_POSITION);
    CBinaryWriter writer(&packet);
    writer.WriteInt32(GetId());
    writer.WriteVector3D(vecPosition);
    SendRelated(&packet);
    return true;
}

void CServerPlayer::TakeOverDrivenVehicle()
{
    if (m_ucSeat != 0 || m_VehicleEnteringState != VEHICLE_STATE_INSIDE)
        return;
    CServerVehicle* pVehicle = GetVehicle();
    CNetMachine* pSyncer = GetSyncer();
    if (!pVehicle || !pSyncer || pVehicle->HasFlag(NETOBJECT_FORCED_SYNCER) || pVehicle->GetSyncer() == pSyncer)
        return;
    // Nobody drives, or takes over, a vehicle that is not on its own client.
    if (!pVehicle->IsCreatedFor(pSyncer))
        return;
    pVehicle->SetSyncer(pSyncer, false);
}

bool CServerPlayer::ReadSyncPacket(Stream* pStream)
{
    if (!CServerPed::ReadSyncPacket(pStream))
        return false;
    TakeOverDrivenVehicle();
    if (IsGameIV())
        return true;
    CBinaryReader reader(pStream);
    uint8_t ucFlag;
    if (!reader.ReadUInt16(m_usBlockValue1) || !reader.ReadBytes(m_Block, sizeof(m_Block)) ||
        !reader.ReadUInt32(m_uiBlockValue2) || !reader.ReadUInt8(ucFlag))
        return false;
    m_bBlockFlag = ucFlag != 0;
    return reader.ReadUInt16(m_usBlockValue3);
}

bool CServerPlayer::WriteSyncPacket(Stream* pStream)
{
    if (!CServerPed::WriteSyncPacket(pStream))
        return false;
    if (IsGameIV())
        return true;
    CBinaryWriter writer(pStream);
    return writer.WriteUInt16(m_usBlockValue1) && writer.WriteBytes(m_Block, sizeof(m_Block)) &&
        writer.WriteUInt32(m_uiBlockValue2) && writer.WriteUInt8(m_bBlockFlag ? 1 : 0) &&
        writer.WriteUInt16(m_usBlockValue3);
}
