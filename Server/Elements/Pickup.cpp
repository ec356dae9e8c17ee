#include "Elements/Pickup.h"

#include "GTAServerManager.h"

#include <Engine/BinaryIO.h>

using namespace Torvane3D;

CServerPickup::CServerPickup(CGTAServerManager* pManager) : CNetObject(pManager)
{
    SetType(ELEMENT_PICKUP);
    SetFlag(NETOBJECT_DISTANCE_STREAMING, true);
    SetFlag(NETOBJECT_FIND_SYNCER, false);
    SetFlag(NETOBJECT_SEND_SYNC, false);
}

bool CServerPickup::SetPosition(const CVector3D& vecPosition)
{
    m_vecPosition = vecPosition;
    return true;
}

bool CServerPickup::GetPosition(CVector3D& vecPosition)
{
    vecPosition = m_vecPosition;
    return true;
}

bool CServerPickup::WriteCreatePacket(Stream* pStream)
{
    if (!CNetObject::WriteCreatePacket(pStream))
        return false;
    CBinaryWriter writer(pStream);
    return writer.WriteVector3D(m_vecPosition) && writer.WriteInt32(m_iModel) && writer.WriteUInt8(m_ucPickupType) &&
        writer.WriteInt32(m_iValue);
}
