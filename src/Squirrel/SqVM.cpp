#include "SqVM.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace Torvane3D::Squirrel
{
    const char* SqTypeName(eSqType eType)
    {
        switch (eType) {
        case SQ_NULL: return "null";
        case SQ_INTEGER: return "integer";
        case SQ_FLOAT: return "float";
        case SQ_BOOL: return "bool";
        case SQ_USERPOINTER: return "userpointer";
        case SQ_STRING: return "string";
        case SQ_TABLE: return "table";
        case SQ_ARRAY: return "array";
        case SQ_CLOSURE:
        case SQ_NATIVECLOSURE: return "function";
        case SQ_GENERATOR: return "generator";
        case SQ_THREAD: return "thread";
        case SQ_CLASS: return "class";
        case SQ_INSTANCE: return "instance";
        case SQ_WEAKREF: return "weakref";
        case SQ_FUNCPROTO: return "funcproto";
        case SQ_OUTER: return "outer";
        }
        return "unknown";
    }

    // ---------------------------------------------------------------- thread object
    CSqThread* CSqThread::Create(CSqSharedState* pState, int iStackSize)
    {
        CSqThread* t = new CSqThread();
        t->m_pState = pState;
        if (iStackSize < 16)
            iStackSize = 16;
        if (iStackSize > MAX_STACK_SLOTS)
            iStackSize = MAX_STACK_SLOTS;
        t->m_pStack = new SqValue[static_cast<size_t>(iStackSize)];
        t->m_iStackSize = iStackSize;
        SqGcLink(pState, t);
        return t;
    }

    CSqThread::~CSqThread()
    {
        // Outers still open on this stack keep the values they see.
        CloseOuters(0);
        m_Frames.clear();
        delete[] m_pStack;
    }

    bool CSqThread::GrowStack(int iSlots)
    {
        if (iSlots > MAX_STACK_SLOTS) {
            Raise("stack overflow");
            return false;
        }
        int iNew = m_iStackSize;
        while (iNew < iSlots)
            iNew *= 2;
        if (iNew > MAX_STACK_SLOTS)
            iNew = MAX_STACK_SLOTS;
        SqValue* pNew = new SqValue[static_cast<size_t>(iNew)];
        for (int i = 0; i < m_iStackSize; ++i)
            pNew[i] = std::move(m_pStack[i]);
        delete[] m_pStack;
        m_pStack = pNew;
        m_iStackSize = iNew;
        for (CSqOuter* o = m_pOpenOuters; o; o = o->m_pNextOpen)
            o->m_pValue = &m_pStack[o->m_iStackIndex];
        return true;
    }

    SqValue& CSqThread::ApiSlot(int iIndex) const
    {
        int iAbs = iIndex > 0 ? ApiBase() + iIndex - 1 : m_iTop + iIndex;
        return m_pStack[iAbs];
    }

    bool CSqThread::ValidIndex(int iIndex) const
    {
        int iAbs = iIndex > 0 ? ApiBase() + iIndex - 1 : m_iTop + iIndex;
        return iIndex != 0 && iAbs >= ApiBase() && iAbs < m_iTop;
    }

    // ---------------------------------------------------------------- errors
    bool CSqThread::Raise(const char* szFormat, ...)
    {
        char buffer[1024];
        va_list args;
        va_start(args, szFormat);
        int n = vsnprintf(buffer, sizeof(buffer), szFormat, args);
        va_end(args);
        if (n < 0)
            n = 0;
        if (n >= static_cast<int>(sizeof(buffer)))
            n = sizeof(buffer) - 1;
        m_LastError = SqValue(m_pState->Intern(buffer, static_cast<size_t>(n)));
        m_bErrorHandled = false;
        return false;
    }

    bool CSqThread::RaiseValue(const SqValue& v)
    {
        m_LastError = v;
        m_bErrorHandled = false;
        return false;
    }

    bool CSqThread::RaiseIndexError(const SqValue& key)
    {
        std::string strKey = ErrorText(key);
        std::string strMessage = "the index '" + strKey + "' does not exist";
        return RaiseValue(m_pState->String(strMessage));
    }

    static std::string MaskText(uint32_t uMask)
    {
        static const eSqType s_Order[] = {SQ_NULL, SQ_INTEGER, SQ_FLOAT, SQ_BOOL, SQ_STRING, SQ_TABLE, SQ_ARRAY, SQ_USERPOINTER,
                                          SQ_CLOSURE, SQ_NATIVECLOSURE, SQ_GENERATOR, SQ_THREAD, SQ_CLASS, SQ_INSTANCE, SQ_WEAKREF};
        std::string s;
        for (eSqType t : s_Order) {
            if (uMask & (1u << t)) {
                if (!s.empty())
                    s += '|';
                s += SqTypeName(t);
            }
        }
        return s;
    }

    bool CSqThread::RaiseParamType(int iParam, eSqType eGot, uint32_t uMask)
    {
        return Raise("parameter %d has an invalid type '%s' ; expected: '%s'", iParam, SqTypeName(eGot), MaskText(uMask).c_str());
    }

    void CSqThread::CallErrorHandler()
    {
        if (m_ErrorHandler.IsNull() || m_bGenerator)
            return;
        m_bErrorHandled = true;
        SqValue handler = m_ErrorHandler;
        SqValue error = m_LastError;
        SqValue result;
        CallFunction(handler, m_RootTable, &error, 1, &result, false);
        m_LastError = error;
        m_bErrorHandled = true;
    }

    // ---------------------------------------------------------------- outers
    CSqOuter* CSqThread::FindOuter(int iStackIndex)
    {
        CSqOuter** pp = &m_pOpenOuters;
        while (*pp && (*pp)->m_iStackIndex > iStackIndex)
            pp = &(*pp)->m_pNextOpen;
        if (*pp && (*pp)->m_iStackIndex == iStackIndex)
            return *pp;
        CSqOuter* o = CSqOuter::Create(m_pState, this, iStackIndex);
        o->m_pNextOpen = *pp;
        *pp = o;
        return o;
    }

    CSqOuter::~CSqOuter()
    {
        // Still open: leave the thread's list.
        if (m_pThread) {
            CSqOuter** pp = &m_pThread->m_pOpenOuters;
            while (*pp && *pp != this)
                pp = &(*pp)->m_pNextOpen;
            if (*pp)
                *pp = m_pNextOpen;
        }
    }

    void CSqThread::CloseOuters(int iStackIndex)
    {
        while (m_pOpenOuters && m_pOpenOuters->m_iStackIndex >= iStackIndex) {
            CSqOuter* o = m_pOpenOuters;
            m_pOpenOuters = o->m_pNextOpen;
            o->m_Closed = *o->m_pValue;
            o->m_pValue = &o->m_Closed;
            o->m_pThread = nullptr;
            o->m_pNextOpen = nullptr;
        }
    }

    // ---------------------------------------------------------------- frames
    bool CSqThread::PushScriptFrame(CSqClosure* pClosure, int iFunc, int nArgs, bool bRoot)
    {
        CSqFuncProto* p = pClosure->m_pProto;
        if (static_cast<int>(m_Frames.size()) >= MAX_CALL_DEPTH)
            return Raise("stack overflow");
        int nParams = p->m_nParams;
        int iBase = iFunc + 1;
        if (!EnsureStack(iBase + std::max(p->m_nStackSize, nArgs) + 1))
            return false;
        if (nArgs != nParams) {
            if (nArgs < nParams) {
                int nMissing = nParams - nArgs;
                if (nMissing > p->m_nDefaults) {
                    if (p->m_bVarArgs)
                        return Raise("wrong number of parameters (%d passed, at least %d required)", nArgs, nParams);
                    return Raise("wrong number of parameters (%d passed, %d required)", nArgs, nParams);
                }
                for (int k = 0; k < nMissing; ++k)
                    m_pStack[iBase + nArgs + k] = pClosure->m_Defaults[static_cast<size_t>(p->m_nDefaults - nMissing + k)];
            } else if (!p->m_bVarArgs) {
                return Raise("wrong number of parameters (%d passed, %d required)", nArgs, nParams);
            }
        }
        if (p->m_bVarArgs) {
            int nExtra = nArgs > nParams ? nArgs - nParams : 0;
            CSqArray* a = CSqArray::Create(m_pState, static_cast<size_t>(nExtra));
            SqValue vargv(a);
            for (int k = 0; k < nExtra; ++k) {
                a->m_Values[static_cast<size_t>(k)] = std::move(m_pStack[iBase + nParams + k]);
            }
            m_pStack[iBase + nParams] = std::move(vargv);
        }
        if (pClosure->m_pEnv) {
            CSqRefObj* pTarget = pClosure->m_pEnv->m_pTarget;
            if (pTarget)
                m_pStack[iBase].SetObject(pTarget);
            else
                m_pStack[iBase].SetNull();
        }
        SqCallInfo& ci = m_Frames.push();
        ci.m_pPc = p->m_Code.data();
        ci.m_pClosure = pClosure;
        ci.m_iBase = iBase;
        ci.m_iTop = iBase + p->m_nStackSize;
        ci.m_bRoot = bRoot;
        m_iTop = ci.m_iTop;
        return true;
    }

    // Native frames: `this` and the arguments, then the free variables of the closure.
    bool CSqThread::CallNative(CSqNativeClosure* pNative, int iFunc, int nArgs, bool* pSuspended)
    {
        if (static_cast<int>(m_Frames.size()) >= MAX_CALL_DEPTH)
            return Raise("stack overflow");
        int nCheck = pNative->m_nParamsCheck;
        if ((nCheck > 0 && nArgs != nCheck) || (nCheck < 0 && nArgs < -nCheck))
            return Raise("wrong number of parameters");
        int iBase = iFunc + 1;
        size_t nMasks = pNative->m_TypeMasks.size();
        for (size_t k = 0; k < nMasks && static_cast<int>(k) < nArgs; ++k) {
            uint32_t uMask = pNative->m_TypeMasks[k];
            eSqType t = m_pStack[iBase + static_cast<int>(k)].Type();
            if (uMask && !(uMask & (1u << t)))
                return RaiseParamType(static_cast<int>(k), t, uMask);
        }
        int nFree = static_cast<int>(pNative->m_FreeVars.size());
        if (!EnsureStack(iBase + nArgs + nFree + 20))
            return false;
        if (pNative->m_pEnv) {
            CSqRefObj* pTarget = pNative->m_pEnv->m_pTarget;
            if (pTarget)
                m_pStack[iBase].SetObject(pTarget);
            else
                m_pStack[iBase].SetNull();
        }
        for (int k = 0; k < nFree; ++k)
            m_pStack[iBase + nArgs + k] = pNative->m_FreeVars[static_cast<size_t>(k)];
        SqCallInfo ci;
        ci.m_pClosure = pNative;
        ci.m_iBase = iBase;
        ci.m_iTop = iBase + nArgs + nFree;
        ci.m_bNative = 1;
        m_Frames.push_back(ci);
        m_iTop = ci.m_iTop;
        // Keep the closure alive even if the native replaces its own slot.
        SqValue keep(pNative);
        int iResult = pNative->m_pFunction(this);
        SqValue result;
        bool bOk = true;
        if (iResult == 1 && m_iTop > iBase)
            result = m_pStack[m_iTop - 1];
        else if (iResult == SQ_ERROR)
            bOk = false;
        else if (iResult == SQ_SUSPEND) {
            if (pSuspended)
                *pSuspended = true;
            else
                bOk = Raise("cannot suspend through native calls");
        }
        int iEnd = std::max(m_iTop, iBase + nArgs + nFree);
        for (int k = iBase; k < iEnd && k < m_iStackSize; ++k)
            m_pStack[k].SetNull();
        m_Frames.pop_back();
        m_iTop = iBase;
        if (bOk && !(pSuspended && *pSuspended))
            m_pStack[iFunc] = std::move(result);
        return bOk;
    }

    bool CSqThread::CallAt(int iFunc, int nArgs, bool bRaiseError)
    {
        SqValue fn = m_pStack[iFunc];
        switch (fn.Type()) {
        case SQ_CLOSURE: {
            CSqClosure* c = fn.Closure();
            if (c->m_pProto->m_bGenerator)
                return MakeGenerator(c, iFunc, nArgs);
            int iFrame = static_cast<int>(m_Frames.size());
            if (!PushScriptFrame(c, iFunc, nArgs, true))
                return false;
            m_Frames.back().m_bRaiseError = bRaiseError;
            eSqExecResult r = Execute(iFrame);
            if (r == EXEC_ERROR)
                return false;
            if (r == EXEC_SUSPENDED)
                m_eState = SQ_THREAD_SUSPENDED;
            return true;
        }
        case SQ_NATIVECLOSURE:
            return CallNative(fn.NativeClosure(), iFunc, nArgs, nullptr);
        case SQ_CLASS: {
            SqValue inst;
            if (!CreateInstanceOf(fn.Class(), inst))
                return false;
            SqValue ctor = fn.Class()->m_Constructor;
            if (!ctor.IsNull()) {
                m_pStack[iFunc + 1] = inst;
                m_pStack[iFunc] = ctor;
                if (!CallAt(iFunc, nArgs, bRaiseError))
                    return false;
            }
            m_pStack[iFunc] = inst;
            PopTo(iFunc + 1);
            return true;
        }
        case SQ_TABLE:
        case SQ_INSTANCE: {
            SqValue mm;
            if (GetMetaMethod(fn, MT_CALL, mm)) {
                // _call(originalThis, args...) with the object as `this`.
                if (!EnsureStack(iFunc + nArgs + 3))
                    return false;
                for (int k = iFunc + nArgs; k > iFunc; --k)
                    m_pStack[k + 1] = m_pStack[k];
                m_pStack[iFunc + 1] = fn;
                m_pStack[iFunc] = mm;
                if (m_iTop < iFunc + nArgs + 2)
                    m_iTop = iFunc + nArgs + 2;
                return CallAt(iFunc, nArgs + 1, bRaiseError);
            }
            break;
        }
        default:
            break;
        }
        return Raise("attempt to call '%s'", SqTypeName(fn.Type()));
    }

    // Calling a generator function creates the generator: a private thread holding the
    // function's frame, run by resume.
    bool CSqThread::MakeGenerator(CSqClosure* pClosure, int iFunc, int nArgs)
    {
        CSqThread* t = CSqThread::Create(m_pState, pClosure->m_pProto->m_nStackSize + nArgs + 8);
        SqValue thread(static_cast<CSqGcObj*>(t));
        t->m_bGenerator = true;
        t->m_RootTable = m_RootTable;
        for (int k = 0; k <= nArgs; ++k)
            t->m_pStack[k] = m_pStack[iFunc + k];
        t->m_iTop = nArgs + 1;
        if (!t->PushScriptFrame(pClosure, 0, nArgs, true))
            return RaiseValue(t->m_LastError);
        m_pStack[iFunc] = SqValue(CSqGenerator::Create(m_pState, t));
        for (int k = 1; k <= nArgs; ++k)
            m_pStack[iFunc + k].SetNull();
        return true;
    }

    bool CSqThread::CallFunction(const SqValue& fn, const SqValue& thisObj, const SqValue* pArgs, int nArgs, SqValue* pResult,
                                 bool bRaiseError)
    {
        int iFunc = m_iTop;
        if (!EnsureStack(iFunc + nArgs + 2))
            return false;
        m_pStack[iFunc] = fn;
        m_pStack[iFunc + 1] = thisObj;
        for (int k = 0; k < nArgs; ++k)
            m_pStack[iFunc + 2 + k] = pArgs[k];
        m_iTop = iFunc + 2 + nArgs;
        bool bOk = CallAt(iFunc, nArgs + 1, bRaiseError);
        if (bOk && pResult)
            *pResult = m_pStack[iFunc];
        if (m_iTop < iFunc + 1)
            m_iTop = iFunc + 1;
        PopTo(iFunc);
        return bOk;
    }

    // ---------------------------------------------------------------- generators and threads
    bool CSqThread::ResumeGenerator(CSqGenerator* pGen, SqValue& result)
    {
        if (pGen->m_eState == GENERATOR_DEAD)
            return Raise("resuming dead generator");
        if (pGen->m_eState == GENERATOR_RUNNING)
            return Raise("resuming active generator");
        SqValue keep(pGen);
        CSqThread* t = pGen->m_pThread;
        pGen->m_eState = GENERATOR_RUNNING;
        t->m_pResumer = this;
        eSqExecResult r = t->Execute(0);
        t->m_pResumer = nullptr;
        switch (r) {
        case EXEC_YIELDED:
            pGen->m_eState = GENERATOR_SUSPENDED;
            result = std::move(t->m_TransferValue);
            return true;
        case EXEC_RETURNED:
            pGen->m_eState = GENERATOR_DEAD;
            result = t->m_pStack[0];
            t->PopTo(0);
            t->m_pStack[0].SetNull();
            return true;
        default:
            pGen->m_eState = GENERATOR_DEAD;
            m_LastError = t->m_LastError;
            m_bErrorHandled = t->m_bErrorHandled;
            t->m_LastError.SetNull();
            return false;
        }
    }

    bool CSqThread::RunThread(CSqThread* pCaller, const SqValue* pArgs, int nArgs, SqValue* pResult, bool bWakeUp, bool bThrow,
                              bool bRaiseError)
    {
        SqValue keep(static_cast<CSqGcObj*>(this));
        struct SResumer
        {
            CSqThread* t;
            ~SResumer() { t->m_pResumer = nullptr; }
        } resumer{this};
        m_pResumer = pCaller != this ? pCaller : nullptr;
        eSqExecResult r;
        int iFunc = 0; // where the result of the thread's outermost call lands
        if (!bWakeUp) {
            if (m_eState != SQ_THREAD_IDLE)
                return pCaller->Raise("cannot call a %s thread", m_eState == SQ_THREAD_RUNNING ? "running" : "suspended");
            if (m_Function.IsNull())
                return pCaller->Raise("the thread has no function");
            PopTo(0);
            if (!EnsureStack(nArgs + 3)) {
                pCaller->m_LastError = m_LastError;
                return false;
            }
            m_pStack[0] = m_Function;
            m_pStack[1] = m_RootTable;
            for (int k = 0; k < nArgs; ++k)
                m_pStack[2 + k] = pArgs[k];
            m_iTop = nArgs + 2;
            m_eState = SQ_THREAD_RUNNING;
            if (m_Function.Type() != SQ_CLOSURE || m_Function.Closure()->m_pProto->m_bGenerator) {
                bool bOk = CallAt(0, nArgs + 1, bRaiseError);
                m_eState = SQ_THREAD_IDLE;
                if (!bOk) {
                    pCaller->RaiseValue(m_LastError);
                    PopTo(0);
                    return false;
                }
                if (pResult)
                    *pResult = m_pStack[0];
                PopTo(0);
                m_pStack[0].SetNull();
                return true;
            }
            if (!PushScriptFrame(m_Function.Closure(), 0, nArgs + 1, true)) {
                m_eState = SQ_THREAD_IDLE;
                pCaller->RaiseValue(m_LastError);
                PopTo(0);
                return false;
            }
            m_Frames.back().m_bRaiseError = bRaiseError;
            r = Execute(0);
        } else {
            if (m_eState != SQ_THREAD_SUSPENDED)
                return pCaller->Raise("cannot wakeup a %s thread", m_eState == SQ_THREAD_IDLE ? "idle" : "running");
            m_eState = SQ_THREAD_RUNNING;
            if (m_iSuspendEntryFrame < static_cast<int>(m_Frames.size()))
                iFunc = m_Frames[static_cast<size_t>(m_iSuspendEntryFrame)].m_iBase - 1;
            if (bThrow) {
                m_LastError = nArgs > 0 ? pArgs[0] : SqValue();
                m_bErrorHandled = false;
            } else if (m_iSuspendTarget >= 0) {
                m_pStack[m_iSuspendTarget] = nArgs > 0 ? pArgs[0] : SqValue();
            }
            m_iSuspendTarget = -1;
            r = Execute(m_iSuspendEntryFrame, bThrow);
        }
        switch (r) {
        case EXEC_SUSPENDED:
            m_eState = SQ_THREAD_SUSPENDED;
            if (pResult)
                *pResult = std::move(m_TransferValue);
            m_TransferValue.SetNull();
            return true;
        case EXEC_RETURNED:
            m_eState = SQ_THREAD_IDLE;
            if (pResult)
                *pResult = m_pStack[iFunc];
            PopTo(iFunc);
            m_pStack[iFunc].SetNull();
            return true;
        default:
            m_eState = SQ_THREAD_IDLE;
            if (pCaller != this) {
                pCaller->m_LastError = m_LastError;
                pCaller->m_bErrorHandled = m_bErrorHandled;
                m_LastError.SetNull();
            }
            PopTo(iFunc);
            m_pStack[iFunc].SetNull();
            return false;
        }
    }
}
