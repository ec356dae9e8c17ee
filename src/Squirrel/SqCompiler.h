// Single-pass compiler from Squirrel source to register bytecode.
#pragma once

#include "SqObjects.h"

#include <string>

namespace Torvane3D::Squirrel
{
    struct SSqCompileError
    {
        std::string strMessage;
        int iLine = 0;
        int iColumn = 0;
    };

    // Compiles the whole text into the prototype of its main function (vararg, `vargv`).
    // Constants and enums are read from and written to the state's current constant table.
    CSqFuncProto* SqCompile(CSqSharedState* pState, const char* pText, size_t nLength, const char* szSource, SSqCompileError* pError);
}
