#pragma once

#include "SqVM.h"

namespace Torvane3D::Squirrel
{
    // {func, src, line, locals} of a frame of thread t, or null beyond the stack.
    SqValue SqStackInfos(CSqThread* pCaller, CSqThread* t, SqInteger iLevel);
}
