#include "Elements/Vehicle.h"

#include "GTAServerManager.h"
#include "VehicleColours.h"

#include <Engine/BinaryIO.h>
#include <Engine/Context.h>
#include <Multiplayer/PacketIds.h>
#include <Network/Packet.h>

#include <cstdlib>
#include <vector>

using namespace Torvane3D;

// ---- Damage state ----

bool CVehicleDamage::Write(CBinaryWriter& writer) const
{
    uint8_t ucKind = m_ucKind & 3;
    if (ucKind == 1) {
        uint32_t uiWord = 1;
        for (unsigned i = 0; i < 6; ++i)
            uiWord |= uint32_t(m_GroupA[i] & 3) << (2 + 2 * i);
        for (unsigned i = 0; i < 4; ++i)
            uiWord |= uint32_t(m_GroupB[i] & 1) << (14 + i);
        for (unsigned i = 0; i < 7; ++i)
            uiWord |= uint32_t(m_GroupC[i] & 3) << (18 + 2 * i);
        uint8_t ucLast = 0;
        for (unsigned i = 0; i < 4; ++i)
            ucLast |= static_cast<uint8_t>((m_GroupD[i] & 3) << (2 * i));
        return writer.WriteUInt32(uiWord) && writer.WriteUInt8(ucLast);
    }
    if (ucKind == 2)
        return writer.WriteUInt8(static_cast<uint8_t>(2 | (m_GroupD[0] & 3) << 2 | (m_GroupD[1] & 3) << 4));
    return writer.WriteUInt8(ucKind);
}

bool CVehicleDamage::Read(CBinaryReader& reader)
{
    uint8_t ucFirst;
    if (!reader.ReadUInt8(ucFirst))
        return false;
    m_ucKind = ucFirst & 3;
    if (m_ucKind == 1) {
        uint8_t rest[3], ucLast;
        if (!reader.ReadBytes(rest, sizeof(rest)) || !reader.ReadUInt8(ucLast))
            return false;
        uint32_t uiWord = ucFirst | uint32_t(rest[0]) << 8 | uint32_t(rest[1]) << 16 | uint32_t(rest[2]) << 24;
        for (unsigned i = 0; i < 6; ++i)
            m_GroupA[i] = (uiWord >> (2 + 2 * i)) & 3;
        for (unsigned i = 0; i < 4; ++i)
            m_GroupB[i] = (uiWord >> (14 + i)) & 1;
        for (unsigned i = 0; i < 7; ++i)
            m_GroupC[i] = (uiWord >> (18 + 2 * i)) & 3;
        for (unsigned i = 0; i < 4; ++i)
            m_GroupD[i] = (ucLast >> (2 * i)) & 3;
    } else if (m_ucKind == 2) {
        m_GroupD[0] = (ucFirst >> 2) & 3;
        m_GroupD[1] = (ucFirst >> 4) & 3;
    }
    return true;
}

// ---- Vehicle ----

CServerVehicle::CServerVehicle(CGTAServerManager* pManager) : CServerPhysical(pManager)
{
    SetType(ELEMENT_VEHICLE);
    SetFlag(NETOBJECT_DISTANCE_STREAMING, true);
}

CServerPed* CServerVehicle::GetOccupant(size_t seat) const
{
    if (seat >= MAX_VEHICLE_SEATS)
        return nullptr;
    CServerPed* pPed = m_Occupants[seat].Get();
    // A ped that has moved on since it took the seat no longer occupies it.
    if (!pPed || pPed->GetVehicleId() != GetId() || pPed->GetSeat() != seat)
        return nullptr;
    return pPed;
}

void CServerVehicle::SetOccupant(size_t seat, CServerPed* pPed)
{
    if (seat < MAX_VEHICLE_SEATS && m_Occupants[seat].Get() != pPed)
        m_Occupants[seat] = pPed;
}

bool CServerVehicle::HasOccupant() const
{
    for (size_t seat = 0; seat < MAX_VEHICLE_SEATS; ++seat)
        if (GetOccupant(seat))
            return true;
    return false;
}

bool CServerVehicle::CanSendSync()
{
    return HasOccupant() && CServerPhysical::CanSendSync();
}

bool CServerVehicle::CanSendSync(CNetMachine* pClient)
{
    return HasOccupant() && CServerPhysical::CanSendSync(pClient);
}

// ---- Colours and setters ----

void CServerVehicle::SetModelIndex(int32_t iModel)
{
    CServerPhysical::SetModelIndex(iModel);
    // The clients that have the vehicle would otherwise keep the old model's colours.
    if (RandomiseColours())
        ApplyColourChanges();
}

bool CServerVehicle::RandomiseColours()
{
    CVehicleColours::tDefinitions* pDefinitions = nullptr;
    if (m_pGameManager)
        pDefinitions = &m_pGameManager->GetVehicleColours().FindDefinitions(static_cast<uint32_t>(m_iModelIndex));
    if (!pDefinitions || pDefinitions->empty()) {
        LogMessage(LOG_WARN, "Cannot randomise car colour %d!", m_iModelIndex);
        return false;
    }
    uint32_t r1 = static_cast<uint32_t>(rand());
    uint32_t r2 = static_cast<uint32_t>(rand());
    const CVehicleColourDefinition& definition = (*pDefinitions)[((r1 * 2) | (r2 & 1)) % pDefinitions->size()];
    m_bRGBColours = definition.m_bRGB;
    for (unsigned i = 0; i < 4; ++i) {
        if (definition.m_bRGB)
            m_uiRGBColours[i] = static_cast<uint32_t>(definition.m_iColours[i]);
        else
            m_ucColours[i] = static_cast<uint8_t>(definition.m_iColours[i]);
    }
    return true;
}

void CServerVehicle::ApplyColourChanges()
{
    Packet packet(PACKET_VEHICLE_COLOURS);
    CBinaryWriter writer(&packet);
    writer.WriteInt32(GetId());
    writer.WriteUInt8(m_bRGBColours ? 1 : 0);
    for (unsigned i = 0; i < 4; ++i) {
        if (m_bRGBColours)
            writer.WriteUInt32(m_uiRGBColours[i]);
        else
            writer.WriteUInt8(m_ucColours[i]);
    }
    SendRelated(&packet);
}

void CServerVehicle::Fix()
{
    m_fHealth = FULL_HEALTH;
    Packet packet(PACKET_VEHICLE_FIX);
    CBinaryWriter(&packet).WriteInt32(GetId());
    SendRelated(&packet);
}

void CServerVehicle::SetDoorsLocked(uint32_t uiStatus)
{
    if (static_cast<uint32_t>(m_iLockStatus) == uiStatus)
        return;
    m_iLockStatus = static_cast<int32_t>(uiStatus);
    Packet packet(PACKET_VEHICLE_LOCKED);
    CBinaryWriter writer(&packet);
    writer.WriteInt32(GetId());
    writer.WriteUInt8(static_cast<uint8_t>(uiStatus));
    SendRelated(&packet);
}

void CServerVehicle::SetEngine(bool bOn)
{
    if (m_bEngine == bOn)
        return;
    m_bEngine = bOn;
    Packet packet(PACKET_VEHICLE_ENGINE);
    CBinaryWriter writer(&packet);
    writer.WriteInt32(GetId());
    writer.WriteUInt8(bOn ? 1 : 0);
    SendRelated(&packet);
}

void CServerVehicle::Remove()
{
    CNetObjectMgr* pManager = GetManager();
    int32_t iId = GetId();
    if (pManager && iId != INVALID_NETWORK_ID) {
        std::vector<CNetObject*> elements;
        pManager->GetObjectsOfType(ELEMENT_PED, elements);
        // Destroying a ped changes the pool: hold every ped while working through the list.
        std::vector<Strong<CServerPed>> peds;
        for (CNetObject* pElement : elements)
            if (static_cast<CServerPed*>(pElement)->GetVehicleId() == iId)
                peds.emplace_back(static_cast<CServerPed*>(pElement));
        for (CServerPed* pPed : peds) {
            if (!pPed->IsRegistered() || pPed->GetVehicleId() != iId)
                continue;
            bool bInside = pPed->GetVehicleEnteringState() == VEHICLE_STATE_INSIDE;
            bool bKept = pPed->IsType(ELEMENT_PLAYER) || pPed->GetResource();
            if (bInside && !bKept && pManager->DestroyObject(pPed, true, false))
                continue;
            // Nobody keeps the id of a vehicle that is gone: it may soon name another one.
            pPed->SetVehicleEnteringState(nullptr, 0, VEHICLE_STATE_NONE);
        }
    }
    CServerPhysical::Remove();
}

// ---- Payloads ----

bool CServerVehicle::ReadVehicleCreate(CBinaryReader& reader)
{
    int32_t iFlags;
    uint8_t ucLock;
    if (!reader.ReadInt32(iFlags) || !reader.ReadUInt8(ucLock))
        return false;
    m_bStrongGrip = (iFlags & VEHICLE_CREATE_STRONG_GRIP) != 0;
    m_bRGBColours = (iFlags & VEHICLE_CREATE_RGB_COLOURS) != 0;
    m_bEngine = (iFlags & VEHICLE_CREATE_ENGINE) != 0;
    m_iLockStatus = ucLock;
    if (m_bRGBColours) {
        for (uint32_t& uiColour : m_uiRGBColours)
            if (!reader.ReadUInt32(uiColour))
                return false;
        return true;
    }
    return reader.ReadBytes(m_ucColours, sizeof(m_ucColours));
}

bool CServerVehicle::WriteVehicleCreate(CBinaryWriter& writer) const
{
    int32_t iFlags = (m_bStrongGrip ? VEHICLE_CREATE_STRONG_GRIP : 0) | (m_bRGBColours ? VEHICLE_CREATE_RGB_COLOURS : 0) |
        (m_bEngine ? VEHICLE_CREATE_ENGINE : 0);
    if (!writer.WriteInt32(iFlags) || !writer.WriteUInt8(static_cast<uint8_t>(m_iLockStatus)))
        return false;
    if (m_bRGBColours) {
        for (uint32_t uiColour : m_uiRGBColours)
            if (!writer.WriteUInt32(uiColour))
                return false;
        return true;
    }
    return writer.WriteBytes(m_ucColours, sizeof(m_ucColours));
}

bool CServerVehicle::ReadCreatePacket(Stream* pStream)
{
    if (!CServerPhysical::ReadCreatePacket(pStream))
        return false;
    CBinaryReader reader(pStream);
    return ReadVehicleCreate(reader);
}

bool CServerVehicle::WriteCreatePacket(Stream* pStream)
{
    if (!CServerPhysical::WriteCreatePacket(pStream))
        return false;
    CBinaryWriter writer(pStream);
    return WriteVehicleCreate(writer);
}

bool CServerVehicle::ReadSyncPacket(Stream* pStream)
{
    if (!CServerPhysical::ReadSyncPacket(pStream))
        return false;
    CBinaryReader reader(pStream);
    int32_t iSyncFlag;
    if (!reader.ReadInt32(iSyncFlag))
        return false;
    m_bSyncFlag = (iSyncFlag & 1) != 0;
    if (!reader.ReadSingle(m_fHealth) || !reader.ReadSingle(m_fValues[0]) || !reader.ReadSingle(m_fValues[1]) ||
        !reader.ReadSingle(m_fValues[2]))
        return false;
    if (m_pGameManager && m_pGameManager->IsGameIV())
        return true;
    uint8_t ucByte;
    if (!reader.ReadUInt8(ucByte))
        return false;
    m_bVehicleByte = ucByte != 0;
    if (!reader.ReadUInt32(m_uiVehicleWord) || !m_Damage.Read(reader) || !reader.ReadUInt8(m_ucExtraFlags))
        return false;
    if (m_ucExtraFlags & 1)
        return reader.ReadSingle(m_fExtra[0]) && reader.ReadSingle(m_fExtra[1]);
    return true;
}

bool CServerVehicle::WriteSyncPacket(Stream* pStream)
{
    if (!CServerPhysical::WriteSyncPacket(pStream))
        return false;
    CBinaryWriter writer(pStream);
    if (!writer.WriteInt32(m_bSyncFlag ? 1 : 0) || !writer.WriteSingle(m_fHealth) || !writer.WriteSingle(m_fValues[0]) ||
        !writer.WriteSingle(m_fValues[1]) || !writer.WriteSingle(m_fValues[2]))
        return false;
    if (m_pGameManager && m_pGameManager->IsGameIV())
        return true;
    if (!writer.WriteUInt8(m_bVehicleByte ? 1 : 0) || !writer.WriteUInt32(m_uiVehicleWord) || !m_Damage.Write(writer) ||
        !writer.WriteUInt8(m_ucExtraFlags))
        return false;
    if (m_ucExtraFlags & 1)
        return writer.WriteSingle(m_fExtra[0]) && writer.WriteSingle(m_fExtra[1]);
    return true;
}
