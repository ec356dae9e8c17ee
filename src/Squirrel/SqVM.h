// A thread of execution: value stack, call frames, traps, open outers. The main VM, the
// threads of `newthread` and the private stack of each generator are all CSqThread.
#pragma once

#include "SqOpcodes.h"
#include "SqState.h"

#include <string>

namespace Torvane3D::Squirrel
{
    struct SqCallInfo
    {
        const SqInstr* m_pPc = nullptr; // next instruction (saved while the frame is not on top)
        CSqRefObj* m_pClosure = nullptr; // CSqClosure or CSqNativeClosure, alive in stack[m_iBase - 1]
        int32_t m_iBase = 0;            // register 0 (`this`)
        int32_t m_iTop = 0;             // first slot above the frame
        uint8_t m_bRoot = 0;            // entered from native code: its return leaves Execute
        uint8_t m_bNative = 0;
        uint8_t m_bRaiseError = 1;      // a root frame: run the error handler for uncaught errors
        uint8_t m_bConstructor = 0;     // returns `this` instead of its value
    };

    // The call frames of a thread: a flat array that only grows.
    class SqFrameStack
    {
    public:
        SqFrameStack() = default;
        SqFrameStack(const SqFrameStack&) = delete;
        SqFrameStack& operator=(const SqFrameStack&) = delete;
        ~SqFrameStack() { delete[] m_pFrames; }
        size_t size() const { return m_nSize; }
        bool empty() const { return m_nSize == 0; }
        SqCallInfo& back() { return m_pFrames[m_nSize - 1]; }
        const SqCallInfo& back() const { return m_pFrames[m_nSize - 1]; }
        SqCallInfo& operator[](size_t i) { return m_pFrames[i]; }
        const SqCallInfo& operator[](size_t i) const { return m_pFrames[i]; }
        SqCallInfo& push()
        {
            if (m_nSize == m_nCapacity)
                Grow();
            SqCallInfo& ci = m_pFrames[m_nSize++];
            ci = SqCallInfo();
            return ci;
        }
        void push_back(const SqCallInfo& ci) { push() = ci; }
        void pop_back() { --m_nSize; }
        void clear() { m_nSize = 0; }

    private:
        void Grow()
        {
            size_t nNew = m_nCapacity ? m_nCapacity * 2 : 16;
            SqCallInfo* p = new SqCallInfo[nNew];
            for (size_t i = 0; i < m_nSize; ++i)
                p[i] = m_pFrames[i];
            delete[] m_pFrames;
            m_pFrames = p;
            m_nCapacity = nNew;
        }
        SqCallInfo* m_pFrames = nullptr;
        size_t m_nSize = 0;
        size_t m_nCapacity = 0;
    };

    struct SqTrap
    {
        int32_t m_iFrame;
        int32_t m_iTarget; // absolute stack index receiving the exception
        const SqInstr* m_pHandler;
    };

    enum eSqExecResult
    {
        EXEC_ERROR,
        EXEC_RETURNED,
        EXEC_SUSPENDED, // thread suspended by `suspend`
        EXEC_YIELDED,   // generator yielded
    };

    class CSqThread : public CSqGcObj, public CSqVM
    {
    public:
        static CSqThread* Create(CSqSharedState* pState, int iStackSize);
        ~CSqThread();

        static CSqThread* From(CSqVM* p) { return static_cast<CSqThread*>(p); }
        static const CSqThread* From(const CSqVM* p) { return static_cast<const CSqThread*>(p); }

        // ---- Stack ----
        // Total slots needed; false (error set) beyond the limit.
        bool EnsureStack(int iSlots) { return iSlots <= m_iStackSize || GrowStack(iSlots); }
        bool GrowStack(int iSlots);
        void PushValue(const SqValue& v)
        {
            if (m_iTop >= m_iStackSize && !EnsureStack(m_iTop + 1))
                return;
            m_pStack[m_iTop++] = v;
        }
        void PopTo(int iTop)
        {
            while (m_iTop > iTop)
                m_pStack[--m_iTop].SetNull();
        }
        int ApiBase() const { return m_Frames.empty() ? 0 : m_Frames.back().m_iBase; }
        SqValue& ApiSlot(int iIndex) const;
        bool ValidIndex(int iIndex) const;

        // ---- Calls ----
        // The callee is at stack[iFunc], followed by nArgs values (`this` first). The result
        // is stored in stack[iFunc]. Returns false with m_LastError set on failure.
        bool CallAt(int iFunc, int nArgs, bool bRaiseError = true);
        // Convenience for natives and metamethods: calls fn with `this` and arguments.
        bool CallFunction(const SqValue& fn, const SqValue& thisObj, const SqValue* pArgs, int nArgs, SqValue* pResult,
                          bool bRaiseError = true);
        // Runs from the top frame until the frame iEntryFrame returns; bThrow starts by
        // raising m_LastError at the saved position (wakeupthrow).
        eSqExecResult Execute(int iEntryFrame, bool bThrow = false);
        bool MakeGenerator(CSqClosure* pClosure, int iFunc, int nArgs);
        void PopFrame();
        // Sets up a script frame; false on a parameter error. bRoot frames end Execute.
        bool PushScriptFrame(CSqClosure* pClosure, int iFunc, int nArgs, bool bRoot);
        bool CallNative(CSqNativeClosure* pNative, int iFunc, int nArgs, bool* pSuspended);
        void CloseOuters(int iStackIndex);
        CSqOuter* FindOuter(int iStackIndex);
        bool ResumeGenerator(CSqGenerator* pGen, SqValue& result);
        // Starts or wakes this thread (not a generator) from another thread.
        bool RunThread(CSqThread* pCaller, const SqValue* pArgs, int nArgs, SqValue* pResult, bool bWakeUp, bool bThrow,
                       bool bRaiseError);

        // ---- Errors ----
        bool Raise(const char* szFormat, ...) __attribute__((format(printf, 2, 3)));
        bool RaiseValue(const SqValue& v);
        bool RaiseIndexError(const SqValue& key);
        bool RaiseParamType(int iParam, eSqType eGot, uint32_t uMask);
        void CallErrorHandler();
        // Whether a try block of this thread or of the threads that resumed it may catch.
        bool HasEnclosingTrap() const
        {
            for (const CSqThread* t = this; t; t = t->m_pResumer)
                if (!t->m_Traps.empty())
                    return true;
            return false;
        }

        // ---- Semantics (SqVMOps.cpp) ----
        bool Get(const SqValue& obj, const SqValue& key, SqValue& out, bool bRootFallback);
        bool RawGet(const SqValue& obj, const SqValue& key, SqValue& out);
        bool Set(const SqValue& obj, const SqValue& key, const SqValue& value, bool bRootFallback);
        bool NewSlot(const SqValue& obj, const SqValue& key, const SqValue& value, bool bStatic);
        bool DeleteSlot(const SqValue& obj, const SqValue& key, SqValue& out);
        bool Arith(int iOp, const SqValue& a, const SqValue& b, SqValue& out);
        bool BitOp(int iOp, const SqValue& a, const SqValue& b, SqValue& out);
        bool Negate(const SqValue& a, SqValue& out);
        bool Compare(const SqValue& a, const SqValue& b, int* pResult);
        bool CompareOp(int iCmp, const SqValue& a, const SqValue& b, bool* pResult);
        static bool Equals(const SqValue& a, const SqValue& b);
        bool ToString(const SqValue& v, SqValue& out);
        bool TypeOf(const SqValue& v, SqValue& out);
        bool Clone(const SqValue& v, SqValue& out);
        bool InstanceOf(const SqValue& a, const SqValue& b, bool* pResult);
        bool In(const SqValue& key, const SqValue& obj, bool* pResult);
        bool GetMetaMethod(const SqValue& obj, eSqMetaMethod eMeta, SqValue& out) const;
        // Lookup without raising for a missing key: LOOKUP_FOUND, LOOKUP_MISSING or LOOKUP_ERROR.
        int Lookup(const SqValue& obj, const SqValue& key, SqValue& out);
        bool CallMetaMethod(const SqValue& fn, const SqValue& obj, const SqValue* pArgs, int nArgs, SqValue& out);
        bool CreateClass(const SqValue& base, const SqValue& attributes, SqValue& out);
        bool AddClassMember(const SqValue& cls, const SqValue& key, const SqValue& value, const SqValue& attributes, bool bStatic,
                            bool bRaw);
        bool CreateInstanceOf(CSqClass* pClass, SqValue& out); // constructor not run
        // One foreach step: false on error; *pDone at the end.
        bool ForEachStep(int iAbs, bool* pDone);
        SqValue DefaultDelegate(eSqType eType) const;
        SqValue RootOf(const CSqRefObj* pClosure) const;

        // Text of a scalar or the "(type : 0x...)" form, without metamethods.
        std::string PlainText(const SqValue& v) const;
        // A value as error messages show it: numbers and strings by value, others by type.
        std::string ErrorText(const SqValue& v) const;

        CSqSharedState* m_pState;
        SqValue* m_pStack = nullptr;
        int m_iStackSize = 0;
        int m_iTop = 0;
        SqFrameStack m_Frames;
        std::vector<SqTrap> m_Traps;
        CSqOuter* m_pOpenOuters = nullptr; // sorted by stack index, highest first
        SqValue m_RootTable;
        SqValue m_ErrorHandler;
        SqValue m_LastError;
        SqValue m_Function;      // of a `newthread` thread
        SqValue m_TransferValue; // value of yield/suspend
        void* m_pForeignPointer = nullptr;
        eSqThreadState m_eState = SQ_THREAD_IDLE;
        int m_iNestedExecutes = 0;
        int m_iSuspendTarget = -1;
        int m_iSuspendEntryFrame = 0;
        bool m_bErrorHandled = false;
        bool m_bGenerator = false;
        CSqThread* m_pResumer = nullptr; // the thread running this one, while it runs

    private:
        CSqThread() : CSqGcObj(SQ_THREAD) {}
    };

    inline CSqThread* SqValue::Thread() const { return static_cast<CSqThread*>(static_cast<CSqGcObj*>(m_pObj)); }

    const char* SqTypeName(eSqType eType);
    // typeof of a value's raw type (function for native closures too)
    inline const char* SqRawTypeName(const SqValue& v) { return SqTypeName(v.Type()); }
}
