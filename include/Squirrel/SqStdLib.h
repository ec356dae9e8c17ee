// Registration seam of the standard libraries (blob, io, math, system, string).
#pragma once

#include <Squirrel/Squirrel.h>

namespace Torvane3D::Squirrel
{
    // Registers every standard library available in this build into the VM's root table.
    void RegisterStandardLibraries(CSqVM* pVM);
}
