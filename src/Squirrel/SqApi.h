// Helpers shared by the interface, the base library and the default delegates.
#pragma once

#include "SqVM.h"

#include <vector>

namespace Torvane3D::Squirrel
{
    struct SSqNativeEntry
    {
        const char* szName;
        SqNativeFunction pFunction;
        int nParams;        // as SetParamsCheck: counts `this`, <0 at least, 0 any
        const char* szMask; // as SetParamsCheck, null for none
    };

    std::vector<uint32_t> SqParseTypeMask(const char* szMask);
    // Adds native closures to a table; the list ends with a null name.
    void SqRegisterNatives(CSqThread* t, CSqTable* pTable, const SSqNativeEntry* pEntries);
    void SqPushNative(CSqThread* t, const char* szName, SqNativeFunction pFunction, int nParams, const char* szMask);
    // Creates the default delegate tables of every type (SqDelegates.cpp).
    void SqRegisterDelegates(CSqThread* t);
    bool SqCompileToClosure(CSqThread* t, const char* pText, size_t nLength, const char* szSource, bool bRaiseError, SqValue& out);
    bool SqRawSet(CSqThread* t, const SqValue& obj, const SqValue& key, const SqValue& value);
    bool SqSetDelegate(CSqThread* t, CSqTable* pTable, const SqValue& delegate);

    // Truncates toward zero; NaN and values out of range give the most negative integer.
    inline SqInteger SqFloatToInteger(double f)
    {
        if (!(f > -9223372036854775808.0 && f < 9223372036854775808.0))
            return INT64_MIN;
        return static_cast<SqInteger>(f);
    }

    // Arguments of a native: index 1 is `this`.
    inline SqValue& SqArg(CSqThread* t, int iIndex) { return t->m_pStack[t->ApiBase() + iIndex - 1]; }
    inline int SqArgCount(CSqThread* t) { return t->m_iTop - t->ApiBase(); }
    inline int SqReturn(CSqThread* t, const SqValue& v)
    {
        t->PushValue(v);
        return 1;
    }
}
