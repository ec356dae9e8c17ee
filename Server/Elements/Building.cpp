#include "Elements/Building.h"

using namespace Torvane3D;

CServerBuilding::CServerBuilding(CGTAServerManager* pManager) : CServerEntity(pManager)
{
    SetType(ELEMENT_BUILDING);
    SetFlag(NETOBJECT_DISTANCE_STREAMING, true);
    SetFlag(NETOBJECT_FIND_SYNCER, false);
    SetFlag(NETOBJECT_SEND_SYNC, false);
}
