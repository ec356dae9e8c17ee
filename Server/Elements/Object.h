// Placed objects: an entity's create payload and a physical sync, but no sync relay (a script
// change reaches a client with the next creation there).
#pragma once

#include "Elements/Physical.h"

class CServerObject : public CServerPhysical
{
public:
    explicit CServerObject(CGTAServerManager* pManager);
};
