// State shared by every thread of one VM.
#pragma once

#include "SqObjects.h"

#include <string>

namespace Torvane3D::Squirrel
{
    // Nested entries into the interpreter from native code (metamethods, call(), sort
    // comparators, generator resumes) are bounded so the C stack cannot overflow.
    constexpr int MAX_NATIVE_DEPTH = 100;
    // Script call depth of one thread and its stack size, in slots.
    constexpr int MAX_CALL_DEPTH = 8000;
    constexpr int MAX_STACK_SLOTS = 1 << 20;
    // Longest string a script can build (concatenation fails beyond it).
    constexpr size_t MAX_STRING_LENGTH = size_t(1) << 30;

    class CSqSharedState
    {
    public:
        CSqSharedState();
        ~CSqSharedState();

        CSqString* Intern(const char* p, size_t nLength);
        SqValue String(std::string_view s) { return SqValue(Intern(s.data(), s.size())); }
        void RemoveString(CSqString* pString);

        // Strings.
        CSqString** m_ppStrings = nullptr;
        size_t m_nStringBuckets = 0;
        size_t m_nStrings = 0;

        // Collector list: a sentinel ring of every collectable object.
        CSqGcObj m_GcHead{SQ_NULL};
        bool m_bClosing = false;

        CSqThread* m_pMainThread = nullptr;
        SqValue m_ConstTable;
        SqValue m_Registry;
        SqValue m_MetaNames[MT_COUNT];
        SqValue m_strConstructor;
        SqValue m_strThis;
        SqValue m_strVargv;

        // Default delegates by type.
        SqValue m_TableDelegate;
        SqValue m_ArrayDelegate;
        SqValue m_StringDelegate;
        SqValue m_NumberDelegate;
        SqValue m_ClosureDelegate;
        SqValue m_GeneratorDelegate;
        SqValue m_ThreadDelegate;
        SqValue m_ClassDelegate;
        SqValue m_InstanceDelegate;
        SqValue m_WeakRefDelegate;

        SqPrintFunction m_pPrint = nullptr;
        SqPrintFunction m_pError = nullptr;
        SqCompileErrorHandler m_pCompileErrorHandler = nullptr;
        int m_iNativeDepth = 0;
        SqValue m_DebugHook;

        // Scratch text buffer for conversions.
        std::string m_strScratch;
    };
}
