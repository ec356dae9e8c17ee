#include "Elements/Object.h"

using namespace Torvane3D;

CServerObject::CServerObject(CGTAServerManager* pManager) : CServerPhysical(pManager)
{
    SetType(ELEMENT_OBJECT);
    SetFlag(NETOBJECT_DISTANCE_STREAMING, true);
    SetFlag(NETOBJECT_FIND_SYNCER, false);
    SetFlag(NETOBJECT_SEND_SYNC, false);
}
