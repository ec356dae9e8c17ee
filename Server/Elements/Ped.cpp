#include "Elements/Ped.h"

#include "Elements/Vehicle.h"
#include "GTAServerManager.h"

#include <Engine/BinaryIO.h>
#include <Multiplayer/PacketIds.h>
#include <Network/Packet.h>

using namespace Torvane3D;

CServerPed::CServerPed(CGTAServerManager* pManager) : CServerPhysical(pManager)
{
    SetType(ELEMENT_PED);
    SetFlag(NETOBJECT_DISTANCE_STREAMING, true);
}

bool CServerPed::IsGameIV() const
{
    return m_pGameManager && m_pGameManager->IsGameIV();
}

void CServerPed::SetHeading(float fHeading)
{
    SetHeadingRows(m_Matrix, fHeading);
    m_fCurrentHeading = fHeading;
    m_fHeading = fHeading;
}

CServerVehicle* CServerPed::GetVehicle() const
{
    if (m_iVehicleId == INVALID_NETWORK_ID || !GetManager())
        return nullptr;
    CNetObject* pElement = GetManager()->GetObjectFromId(m_iVehicleId);
    return pElement && pElement->IsType(ELEMENT_VEHICLE) ? static_cast<CServerVehicle*>(pElement) : nullptr;
}

bool CServerPed::CanExistForMachine(CNetMachine* pClient)
{
    // A ped a script hid stays hidden in a car; a ped in a car needs the car on the client.
    if (!CServerPhysical::CanExistForMachine(pClient))
        return false;
    CServerVehicle* pVehicle = GetVehicle();
    return !pVehicle || pVehicle->IsCreatedFor(pClient);
}

void CServerPed::SetVehicleEnteringState(CServerVehicle* pVehicle, uint8_t ucSeat, eVehicleEnteringState state)
{
    m_VehicleEnteringState = state;
    if (pVehicle) {
        m_iVehicleId = pVehicle->GetId();
        m_ucSeat = ucSeat;
        // The syncer must know the vehicle before it hears that its ped sits in it.
        if (CNetMachine* pSyncer = GetSyncer(); pSyncer && GetManager())
            GetManager()->CreateObjectsAsNeeded(pSyncer, ELEMENT_VEHICLE);
    } else {
        m_iVehicleId = INVALID_NETWORK_ID;
    }
    Packet packet(PACKET_PED_VEHICLE_STATE);
    CBinaryWriter writer(&packet);
    writer.WriteInt32(GetId());
    writer.WriteInt32(pVehicle ? pVehicle->GetId() : INVALID_NETWORK_ID);
    writer.WriteUInt8(ucSeat);
    writer.WriteUInt8(static_cast<uint8_t>(state));
    SendRelated(&packet);
}

void CServerPed::GiveWeapon(uint32_t uiWeapon, uint32_t uiAmmunition, bool bSetCurrent)
{
    if (bSetCurrent) {
        m_usWeapon = static_cast<uint16_t>(uiWeapon);
        m_usAmmunition = static_cast<uint16_t>(uiAmmunition);
    }
    Packet packet(PACKET_PED_GIVE_WEAPON);
    CBinaryWriter writer(&packet);
    writer.WriteInt32(GetId());
    writer.WriteInt32(static_cast<int32_t>(uiWeapon));
    writer.WriteInt32(static_cast<int32_t>(uiAmmunition));
    writer.WriteUInt8(bSetCurrent ? 1 : 0);
    SendRelated(&packet);
}

void CServerPed::OnSpawned()
{
    // Seam: "OnPedSpawn" is raised here with the ped once script events exist.
}

// ---- Payloads ----

bool CServerPed::ReadCreatePacket(Stream* pStream)
{
    if (!CServerPhysical::ReadCreatePacket(pStream))
        return false;
    int32_t iType;
    if (!CBinaryReader(pStream).ReadInt32(iType))
        return false;
    m_iPedType = iType;
    return true;
}

bool CServerPed::WriteCreatePacket(Stream* pStream)
{
    return CServerPhysical::WriteCreatePacket(pStream) && CBinaryWriter(pStream).WriteInt32(m_iPedType);
}

// A blob's length, then its bytes when the length is one the blob can hold.
static bool ReadBlob(CBinaryReader& reader, CGameBlob& blob)
{
    if (!reader.ReadUInt16(blob.m_usLength))
        return false;
    if (!blob.HasData())
        return true;
    if (!reader.ReadBytes(blob.m_Data, blob.m_usLength)) {
        blob.m_usLength = 0;
        return false;
    }
    return true;
}

static bool WriteBlob(CBinaryWriter& writer, const CGameBlob& blob)
{
    if (!blob.HasData())
        return writer.WriteUInt16(0);
    return writer.WriteUInt16(blob.m_usLength) && writer.WriteBytes(blob.m_Data, blob.m_usLength);
}

bool CServerPed::ReadSyncPacket(Stream* pStream)
{
    CNetObject::ReadSyncPacket(pStream);
    CBinaryReader reader(pStream);
    CVector3D vecPosition;
    if (!reader.ReadInt32(m_iPedState) || !reader.ReadVector3D(vecPosition) || !reader.ReadVector3D(m_vecPedVector) ||
        !reader.ReadVector3D(m_vecVelocity) || !reader.ReadSingle(m_fCurrentHeading) || !reader.ReadSingle(m_fHeading) ||
        !reader.ReadSingle(m_fHealth))
        return false;
    // The transform follows the heading: any pitch or roll in it is dropped.
    // (Written straight into the transform: a player's SetPosition would move it on every client.)
    SetHeadingRows(m_Matrix, m_fCurrentHeading);
    CServerEntity::SetPosition(vecPosition);

    uint8_t ucState;
    if (!reader.ReadUInt8(ucState) || !reader.ReadInt32(m_iVehicleId) || !reader.ReadUInt8(m_ucSeat) ||
        !reader.ReadUInt16(m_usWeapon))
        return false;
    m_VehicleEnteringState = static_cast<eVehicleEnteringState>(ucState);
    if (m_iVehicleId != INVALID_NETWORK_ID && m_ucSeat < MAX_VEHICLE_SEATS)
        if (CServerVehicle* pVehicle = GetVehicle())
            pVehicle->SetOccupant(m_ucSeat, this);

    if (IsGameIV())
        return ReadBlob(reader, m_BlobA);
    uint8_t ucPresent;
    if (!reader.ReadUInt16(m_usAmmunition) || !reader.ReadUInt16(m_usClipAmmunition) ||
        !reader.ReadUInt8(m_ucWeaponState) || !reader.ReadSingle(m_fArmour) || !reader.ReadUInt8(m_ucPedByte) ||
        !reader.ReadUInt8(ucPresent))
        return false;
    if (ucPresent & 1)
        return ReadBlob(reader, m_BlobB);
    return true;
}

bool CServerPed::WriteSyncPacket(Stream* pStream)
{
    CNetObject::WriteSyncPacket(pStream);
    CBinaryWriter writer(pStream);
    CVector3D vecPosition = m_Matrix.GetRow3(3);
    if (!writer.WriteInt32(m_iPedState) || !writer.WriteVector3D(vecPosition) || !writer.WriteVector3D(m_vecPedVector) ||
        !writer.WriteVector3D(m_vecVelocity) || !writer.WriteSingle(m_fCurrentHeading) ||
        !writer.WriteSingle(m_fHeading) || !writer.WriteSingle(m_fHealth) ||
        !writer.WriteUInt8(static_cast<uint8_t>(m_VehicleEnteringState)) || !writer.WriteInt32(m_iVehicleId) ||
        !writer.WriteUInt8(m_ucSeat) || !writer.WriteUInt16(m_usWeapon))
        return false;
    if (IsGameIV())
        return WriteBlob(writer, m_BlobA);
    if (!writer.WriteUInt16(m_usAmmunition) || !writer.WriteUInt16(m_usClipAmmunition) ||
        !writer.WriteUInt8(m_ucWeaponState) || !writer.WriteSingle(m_fArmour) || !writer.WriteUInt8(m_ucPedByte) ||
        !writer.WriteUInt8(m_BlobB.HasData() ? 1 : 0))
        return false;
    return !m_BlobB.HasData() || WriteBlob(writer, m_BlobB);
}
