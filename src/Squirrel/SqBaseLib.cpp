// Base functions of the root table.
#include "SqApi.h"
#include "SqBaseLib.h"
#include "SqGC.h"

namespace Torvane3D::Squirrel
{
    namespace
    {
        CSqThread* T(CSqVM* p) { return CSqThread::From(p); }

        int base_seterrorhandler(CSqVM* v)
        {
            CSqThread* t = T(v);
            t->m_ErrorHandler = SqArg(t, 2);
            return 0;
        }

        int base_setdebughook(CSqVM* v)
        {
            CSqThread* t = T(v);
            t->m_pState->m_DebugHook = SqArg(t, 2);
            return 0;
        }

        int base_enabledebuginfo(CSqVM*) { return 0; }

        int base_getstackinfos(CSqVM* v)
        {
            CSqThread* t = T(v);
            SqInteger iLevel = SqArg(t, 2).m_iValue;
            return SqReturn(t, SqStackInfos(t, t, iLevel));
        }

        int base_getroottable(CSqVM* v) { return SqReturn(T(v), T(v)->m_RootTable); }

        int base_setroottable(CSqVM* v)
        {
            CSqThread* t = T(v);
            SqValue old = t->m_RootTable;
            const SqValue& n = SqArg(t, 2);
            if (n.Type() != SQ_TABLE && n.Type() != SQ_NULL)
                return v->ThrowError("invalid type");
            t->m_RootTable = n;
            return SqReturn(t, old);
        }

        int base_getconsttable(CSqVM* v) { return SqReturn(T(v), T(v)->m_pState->m_ConstTable); }

        int base_setconsttable(CSqVM* v)
        {
            CSqThread* t = T(v);
            SqValue old = t->m_pState->m_ConstTable;
            const SqValue& n = SqArg(t, 2);
            if (n.Type() != SQ_TABLE)
                return v->ThrowError("invalid type");
            t->m_pState->m_ConstTable = n;
            return SqReturn(t, old);
        }

        int base_assert(CSqVM* v)
        {
            CSqThread* t = T(v);
            if (!SqArg(t, 2).IsFalse())
                return 0;
            if (SqArgCount(t) >= 3) {
                SqValue text;
                if (!t->ToString(SqArg(t, 3), text))
                    return SQ_ERROR;
                return v->ThrowError("%s", text.String()->Data());
            }
            return v->ThrowError("assertion failed");
        }

        int PrintWith(CSqVM* v, SqPrintFunction pFunction)
        {
            CSqThread* t = T(v);
            SqValue text;
            if (!t->ToString(SqArg(t, 2), text))
                return SQ_ERROR;
            if (pFunction)
                pFunction(v, "%s", text.String()->Data());
            return 0;
        }

        int base_print(CSqVM* v) { return PrintWith(v, T(v)->m_pState->m_pPrint); }
        int base_error(CSqVM* v) { return PrintWith(v, T(v)->m_pState->m_pError); }

        int base_compilestring(CSqVM* v)
        {
            CSqThread* t = T(v);
            CSqString* src = SqArg(t, 2).String();
            const char* szName = SqArgCount(t) >= 3 ? SqArg(t, 3).String()->Data() : "unnamedbuffer";
            SqValue closure;
            if (!SqCompileToClosure(t, src->Data(), src->Length(), szName, false, closure))
                return SQ_ERROR;
            return SqReturn(t, closure);
        }

        int base_newthread(CSqVM* v)
        {
            CSqThread* t = T(v);
            CSqThread* n = CSqThread::Create(t->m_pState, 1024);
            SqValue thread(static_cast<CSqGcObj*>(n));
            n->m_RootTable = t->m_RootTable;
            n->m_ErrorHandler = t->m_ErrorHandler;
            n->m_Function = SqArg(t, 2);
            return SqReturn(t, thread);
        }

        int base_suspend(CSqVM* v)
        {
            CSqThread* t = T(v);
            t->m_TransferValue = SqArgCount(t) >= 2 ? SqArg(t, 2) : SqValue();
            return SQ_SUSPEND;
        }

        int base_array(CSqVM* v)
        {
            CSqThread* t = T(v);
            SqInteger n = SqArg(t, 2).Type() == SQ_FLOAT ? SqFloatToInteger(SqArg(t, 2).m_fValue) : SqArg(t, 2).m_iValue;
            if (n < 0)
                return v->ThrowError("resizing to negative length");
            if (n > (1 << 26))
                return v->ThrowError("array size too large");
            CSqArray* a = CSqArray::Create(t->m_pState, static_cast<size_t>(n));
            SqValue result(a);
            if (SqArgCount(t) >= 3) {
                for (SqValue& e : a->m_Values)
                    e = SqArg(t, 3);
            }
            return SqReturn(t, result);
        }

        int base_type(CSqVM* v)
        {
            CSqThread* t = T(v);
            return SqReturn(t, t->m_pState->String(SqTypeName(SqArg(t, 2).Type())));
        }

        int base_callee(CSqVM* v)
        {
            CSqThread* t = T(v);
            if (t->m_Frames.size() < 2)
                return v->ThrowError("no closure in the calling stack");
            const SqCallInfo& caller = t->m_Frames[t->m_Frames.size() - 2];
            return SqReturn(t, SqValue(caller.m_pClosure));
        }

        int base_dummy(CSqVM*) { return 0; }

        int base_collectgarbage(CSqVM* v) { return SqReturn(T(v), SqValue::Integer(SqCollectGarbage(T(v)->m_pState))); }

        int base_resurrectunreachable(CSqVM* v) { return SqReturn(T(v), SqResurrectUnreachable(T(v)->m_pState)); }

        const SSqNativeEntry s_BaseFunctions[] = {
            {"seterrorhandler", base_seterrorhandler, 2, ".c|o"},
            {"setdebughook", base_setdebughook, 2, ".c|o"},
            {"enabledebuginfo", base_enabledebuginfo, 2, nullptr},
            {"getstackinfos", base_getstackinfos, 2, ".n"},
            {"getroottable", base_getroottable, 1, nullptr},
            {"setroottable", base_setroottable, 2, nullptr},
            {"getconsttable", base_getconsttable, 1, nullptr},
            {"setconsttable", base_setconsttable, 2, nullptr},
            {"assert", base_assert, -2, nullptr},
            {"print", base_print, 2, nullptr},
            {"error", base_error, 2, nullptr},
            {"compilestring", base_compilestring, -2, ".ss"},
            {"newthread", base_newthread, 2, ".c"},
            {"suspend", base_suspend, -1, nullptr},
            {"array", base_array, -2, ".n"},
            {"type", base_type, 2, nullptr},
            {"callee", base_callee, 1, nullptr},
            {"dummy", base_dummy, 0, nullptr},
            {"collectgarbage", base_collectgarbage, 1, nullptr},
            {"resurrectunreachable", base_resurrectunreachable, 1, nullptr},
            {nullptr, nullptr, 0, nullptr},
        };
    }

    SqValue SqStackInfos(CSqThread* pCaller, CSqThread* t, SqInteger iLevel)
    {
        int idx = static_cast<int>(t->m_Frames.size()) - 1 - static_cast<int>(iLevel);
        if (iLevel < 0 || idx < 0 || iLevel > INT32_MAX)
            return SqValue();
        CSqSharedState* S = pCaller->m_pState;
        SSqStackInfo info;
        t->GetStackInfo(static_cast<int>(iLevel), &info);
        CSqTable* result = CSqTable::Create(S, 4);
        SqValue r(result);
        const SqCallInfo& f = t->m_Frames[static_cast<size_t>(idx)];
        result->NewSlot(S->String("func"), info.szFunction ? S->String(info.szFunction) : SqValue());
        result->NewSlot(S->String("src"), info.szSource ? S->String(info.szSource) : SqValue());
        result->NewSlot(S->String("line"), SqValue::Integer(info.iLine));
        CSqTable* locals = CSqTable::Create(S, 0);
        result->NewSlot(S->String("locals"), SqValue(locals));
        if (!f.m_bNative) {
            const CSqFuncProto* p = static_cast<const CSqClosure*>(f.m_pClosure)->m_pProto;
            uint32_t uPc = f.m_pPc && f.m_pPc > p->m_Code.data() ? static_cast<uint32_t>(f.m_pPc - p->m_Code.data()) - 1 : 0;
            for (const SqLocalInfo& l : p->m_Locals) {
                if (l.m_Name.Type() != SQ_STRING || l.m_Name.String()->Data()[0] == '@')
                    continue;
                if (uPc >= l.m_uStartPc && uPc < l.m_uEndPc)
                    locals->NewSlot(l.m_Name, t->m_pStack[f.m_iBase + static_cast<int>(l.m_uRegister)]);
            }
        }
        return r;
    }

    void CSqVM::RegisterBaseLibrary()
    {
        CSqThread* t = T(this);
        CSqSharedState* S = t->m_pState;
        CSqTable* root = t->m_RootTable.Table();
        SqRegisterNatives(t, root, s_BaseFunctions);
        root->NewSlot(S->String("_versionnumber_"), SqValue::Integer(320));
        root->NewSlot(S->String("_version_"), S->String("Squirrel 3.2 stable"));
        root->NewSlot(S->String("_charsize_"), SqValue::Integer(1));
        root->NewSlot(S->String("_intsize_"), SqValue::Integer(8));
        root->NewSlot(S->String("_floatsize_"), SqValue::Integer(4));
    }
}
