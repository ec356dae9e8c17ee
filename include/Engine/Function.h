// A callable function object: a script function of one engine, or a module's native,
// that any engine or native can call with an argument list.
#pragma once

#include <Engine/RefCounted.h>

namespace Torvane3D
{
    class CArgumentArray;
    class CReturnValue;

    class CFunction : public CBaseObject
    {
    public:
        // False when the callee raised an error; the last-error text then says why.
        virtual bool Call(const CArgumentArray* pArguments, CReturnValue* pReturn) = 0;
    };
}
