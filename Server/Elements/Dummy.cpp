#include "Elements/Dummy.h"

#include "GTAServerManager.h"

using namespace Torvane3D;

CServerDummy::CServerDummy(CGTAServerManager* pManager) : CNetObject(pManager)
{
    SetType(ELEMENT_DUMMY);
    SetFlag(NETOBJECT_DISTANCE_STREAMING, true);
    SetFlag(NETOBJECT_FIND_SYNCER, false);
    SetFlag(NETOBJECT_SEND_SYNC, false);
}

bool CServerDummy::SetPosition(const CVector3D& vecPosition)
{
    m_vecPosition = vecPosition;
    return true;
}

bool CServerDummy::GetPosition(CVector3D& vecPosition)
{
    vecPosition = m_vecPosition;
    return true;
}
