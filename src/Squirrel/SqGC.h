#pragma once

#include "SqState.h"

namespace Torvane3D::Squirrel
{
    // Frees unreachable cycles; returns the number of objects freed.
    SqInteger SqCollectGarbage(CSqSharedState* pState);
    // An array of the unreachable objects (which it keeps alive), or null when there are none.
    SqValue SqResurrectUnreachable(CSqSharedState* pState);
    // Empties and frees every collectable object (closing the VM).
    void SqFreeEverything(CSqSharedState* pState);
}
