#include "Elements/Marker.h"

#include "GTAServerManager.h"

#include <Engine/BinaryIO.h>

using namespace Torvane3D;

CServerMarker::CServerMarker(CGTAServerManager* pManager) : CNetObject(pManager)
{
    SetType(ELEMENT_MARKER);
    SetFlag(NETOBJECT_DISTANCE_STREAMING, true);
    SetFlag(NETOBJECT_FIND_SYNCER, false);
    SetFlag(NETOBJECT_SEND_SYNC, false);
}

bool CServerMarker::SetPosition(const CVector3D& vecPosition)
{
    m_vecPosition = vecPosition;
    return true;
}

bool CServerMarker::GetPosition(CVector3D& vecPosition)
{
    vecPosition = m_vecPosition;
    return true;
}

bool CServerMarker::WriteCreatePacket(Stream* pStream)
{
    if (!CNetObject::WriteCreatePacket(pStream))
        return false;
    CBinaryWriter writer(pStream);
    return writer.WriteVector3D(m_vecPosition) && writer.WriteSingle(m_fSize);
}
