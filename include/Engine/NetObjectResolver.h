// How script values reach networked elements, which live in a higher library.
// The element manager implements this; values read from the network keep a link to it.
#pragma once

#include <Engine/RefCounted.h>

namespace Torvane3D
{
    class INetObjectResolver
    {
    public:
        virtual ~INetObjectResolver() = default;
        // The live element with this network id, or null.
        virtual CBaseObject* FindNetObject(int32_t iId) = 0;
        // The current id of an element that still exists; false once it is gone.
        virtual bool GetNetObjectId(CBaseObject* pElement, int32_t& iId) = 0;
    };
}
