// Buildings: an entity's create payload and transform, without sync relay.
#pragma once

#include "Elements/Entity.h"

class CServerBuilding : public CServerEntity
{
public:
    explicit CServerBuilding(CGTAServerManager* pManager);
};
