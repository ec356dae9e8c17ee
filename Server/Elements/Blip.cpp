#include "Elements/Blip.h"

#include "GTAServerManager.h"

#include <Engine/BinaryIO.h>

using namespace Torvane3D;

CServerBlip::CServerBlip(CGTAServerManager* pManager) : CNetObject(pManager)
{
    SetType(ELEMENT_BLIP);
    SetFlag(NETOBJECT_DISTANCE_STREAMING, true);
    SetFlag(NETOBJECT_ONLY_SYNC_IF_DETACHED, true);
    SetFlag(NETOBJECT_FIND_SYNCER, false);
}

bool CServerBlip::SetPosition(const CVector3D& vecPosition)
{
    m_vecPosition = vecPosition;
    return true;
}

bool CServerBlip::GetPosition(CVector3D& vecPosition)
{
    CNetObject* pParent = GetParent();
    if (pParent && pParent->IsType(ELEMENT_TRANSFORMABLE) && pParent->GetPosition(vecPosition))
        return true;
    vecPosition = m_vecPosition;
    return true;
}

bool CServerBlip::WriteCreatePacket(Stream* pStream)
{
    if (!CNetObject::WriteCreatePacket(pStream))
        return false;
    CVector3D vecPosition;
    GetPosition(vecPosition);
    CBinaryWriter writer(pStream);
    return writer.WriteVector3D(vecPosition) && writer.WriteUInt8(m_ucFlags) && writer.WriteUInt8(m_ucSize) &&
        writer.WriteUInt32(m_uiValue);
}

bool CServerBlip::ReadSyncPacket(Stream* pStream)
{
    CNetObject::ReadSyncPacket(pStream);
    CVector3D vecPosition;
    if (!CBinaryReader(pStream).ReadVector3D(vecPosition))
        return false;
    if (!GetParent())
        m_vecPosition = vecPosition;
    return true;
}

bool CServerBlip::WriteSyncPacket(Stream* pStream)
{
    CNetObject::WriteSyncPacket(pStream);
    CVector3D vecPosition;
    GetPosition(vecPosition);
    return CBinaryWriter(pStream).WriteVector3D(vecPosition);
}
