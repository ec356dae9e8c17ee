#include <Squirrel/SqStdLib.h>

namespace Torvane3D::Squirrel
{
    // Each library adds its register call here (blob, io, math, system, string with regexp
    // and format), in that order, so that later ones can use the earlier ones' classes.
    void RegisterStandardLibraries(CSqVM* pVM)
    {
        (void)pVM;
    }
}
