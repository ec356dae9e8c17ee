// The embedding interface (Squirrel.h) over the thread object.
#include "SqApi.h"

#include "SqCompiler.h"
#include "SqGC.h"
#include "SqVM.h"

#include <cstdarg>
#include <cstdio>

namespace Torvane3D::Squirrel
{
    namespace
    {
        CSqThread* T(CSqVM* p) { return CSqThread::From(p); }
        const CSqThread* T(const CSqVM* p) { return CSqThread::From(p); }

        SqValue FromRaw(const SSqRawValue& raw)
        {
            SqValue v;
            v.m_eType = raw.eType;
            v.m_uRaw = raw.uBits;
            if (IsRefCounted(v.m_eType))
                SqAddRef(v.m_pObj);
            return v;
        }

        uint32_t MaskOfLetter(char c)
        {
            switch (c) {
            case 'o': return 1u << SQ_NULL;
            case 'i': return 1u << SQ_INTEGER;
            case 'f': return 1u << SQ_FLOAT;
            case 'n': return (1u << SQ_INTEGER) | (1u << SQ_FLOAT);
            case 's': return 1u << SQ_STRING;
            case 't': return 1u << SQ_TABLE;
            case 'a': return 1u << SQ_ARRAY;
            case 'c': return (1u << SQ_CLOSURE) | (1u << SQ_NATIVECLOSURE);
            case 'g': return 1u << SQ_GENERATOR;
            case 'p': return 1u << SQ_USERPOINTER;
            case 'v': return 1u << SQ_THREAD;
            case 'x': return 1u << SQ_INSTANCE;
            case 'y': return 1u << SQ_CLASS;
            case 'b': return 1u << SQ_BOOL;
            case 'w': return 1u << SQ_WEAKREF;
            default: return 0; // '.' and unknown letters: any type
            }
        }
    }

    std::vector<uint32_t> SqParseTypeMask(const char* szMask)
    {
        std::vector<uint32_t> masks;
        bool bJoin = false;
        for (const char* p = szMask; p && *p; ++p) {
            if (*p == '|') {
                bJoin = true;
                continue;
            }
            uint32_t m = MaskOfLetter(*p);
            if (bJoin && !masks.empty()) {
                if (masks.back() != 0)
                    masks.back() = m == 0 ? 0 : (masks.back() | m);
            } else {
                masks.push_back(m);
            }
            bJoin = false;
        }
        return masks;
    }

    void SqPushNative(CSqThread* t, const char* szName, SqNativeFunction pFunction, int nParams, const char* szMask)
    {
        CSqNativeClosure* c = CSqNativeClosure::Create(t->m_pState, pFunction);
        SqValue v(c);
        c->m_Name = t->m_pState->String(szName);
        c->m_nParamsCheck = nParams;
        if (szMask)
            c->m_TypeMasks = SqParseTypeMask(szMask);
        t->PushValue(v);
    }

    void SqRegisterNatives(CSqThread* t, CSqTable* pTable, const SSqNativeEntry* pEntries)
    {
        for (const SSqNativeEntry* e = pEntries; e->szName; ++e) {
            CSqNativeClosure* c = CSqNativeClosure::Create(t->m_pState, e->pFunction);
            SqValue v(c);
            c->m_Name = t->m_pState->String(e->szName);
            c->m_nParamsCheck = e->nParams;
            if (e->szMask)
                c->m_TypeMasks = SqParseTypeMask(e->szMask);
            pTable->NewSlot(c->m_Name, v);
        }
    }

    // ---------------------------------------------------------------- handles
    CSqHandle::CSqHandle(const CSqHandle& other) : m_Value(other.m_Value)
    {
        if (IsRefCounted(m_Value.eType))
            SqAddRef(reinterpret_cast<CSqRefObj*>(m_Value.uBits));
    }

    CSqHandle::CSqHandle(CSqHandle&& other) noexcept : m_Value(other.m_Value)
    {
        other.m_Value = SSqRawValue();
    }

    CSqHandle& CSqHandle::operator=(const CSqHandle& other)
    {
        if (this != &other) {
            CSqHandle copy(other);
            *this = std::move(copy);
        }
        return *this;
    }

    CSqHandle& CSqHandle::operator=(CSqHandle&& other) noexcept
    {
        if (this != &other) {
            Reset();
            m_Value = other.m_Value;
            other.m_Value = SSqRawValue();
        }
        return *this;
    }

    CSqHandle::~CSqHandle() { Reset(); }

    void CSqHandle::Reset()
    {
        SSqRawValue old = m_Value;
        m_Value = SSqRawValue();
        if (IsRefCounted(old.eType))
            SqRelease(reinterpret_cast<CSqRefObj*>(old.uBits));
    }

    // ---------------------------------------------------------------- VMs and threads
    CSqVM* CSqVM::Open(int iStackSize)
    {
        CSqSharedState* S = new CSqSharedState();
        CSqThread* t = CSqThread::Create(S, iStackSize);
        SqAddRef(t); // held by the embedder until Close
        S->m_pMainThread = t;
        t->m_RootTable = SqValue(CSqTable::Create(S, 0));
        SqRegisterDelegates(t);
        t->RegisterBaseLibrary();
        return t;
    }

    void CSqVM::Close()
    {
        CSqThread* t = T(this);
        CSqSharedState* S = t->m_pState;
        if (S->m_pMainThread != t)
            return;
        S->m_bClosing = true;
        t->PopTo(0);
        S->m_ConstTable.SetNull();
        S->m_Registry.SetNull();
        S->m_TableDelegate.SetNull();
        S->m_ArrayDelegate.SetNull();
        S->m_StringDelegate.SetNull();
        S->m_NumberDelegate.SetNull();
        S->m_ClosureDelegate.SetNull();
        S->m_GeneratorDelegate.SetNull();
        S->m_ThreadDelegate.SetNull();
        S->m_ClassDelegate.SetNull();
        S->m_InstanceDelegate.SetNull();
        S->m_WeakRefDelegate.SetNull();
        S->m_DebugHook.SetNull();
        SqFreeEverything(S);
        SqRelease(t);
        for (SqValue& v : S->m_MetaNames)
            v.SetNull();
        S->m_strConstructor.SetNull();
        S->m_strThis.SetNull();
        S->m_strVargv.SetNull();
        delete S;
    }

    CSqVM* CSqVM::NewThread(int iStackSize)
    {
        CSqThread* t = T(this);
        CSqThread* n = CSqThread::Create(t->m_pState, iStackSize);
        SqValue v(static_cast<CSqGcObj*>(n));
        n->m_RootTable = t->m_RootTable;
        n->m_ErrorHandler = t->m_ErrorHandler;
        t->PushValue(v);
        return n;
    }

    CSqVM* CSqVM::GetMainVM() { return T(this)->m_pState->m_pMainThread; }
    void CSqVM::SetForeignPointer(void* p) { T(this)->m_pForeignPointer = p; }
    void* CSqVM::GetForeignPointer() const { return T(this)->m_pForeignPointer; }
    eSqThreadState CSqVM::GetState() const { return T(this)->m_eState; }

    bool CSqVM::WakeUp(bool bPushedValue, bool bReturnValue, bool bRaiseError, bool bThrow)
    {
        CSqThread* t = T(this);
        SqValue value;
        if (bPushedValue && t->m_iTop > t->ApiBase()) {
            value = t->m_pStack[t->m_iTop - 1];
            t->PopTo(t->m_iTop - 1);
        }
        if (t->m_eState != SQ_THREAD_SUSPENDED)
            return t->Raise("cannot wakeup a %s thread", t->m_eState == SQ_THREAD_IDLE ? "idle" : "running");
        SqValue result;
        bool bOk = t->RunThread(t, &value, bPushedValue ? 1 : 0, &result, true, bThrow, bRaiseError);
        if (bOk && bReturnValue)
            t->PushValue(result);
        return bOk;
    }

    // ---------------------------------------------------------------- stack
    int CSqVM::GetTop() const { return T(this)->m_iTop - T(this)->ApiBase(); }

    void CSqVM::SetTop(int iTop)
    {
        CSqThread* t = T(this);
        int iAbs = iTop >= 0 ? t->ApiBase() + iTop : t->m_iTop + iTop + 1;
        if (iAbs < t->ApiBase())
            iAbs = t->ApiBase();
        if (iAbs > t->m_iTop) {
            if (!t->EnsureStack(iAbs))
                return;
            t->m_iTop = iAbs;
        } else {
            t->PopTo(iAbs);
        }
    }

    void CSqVM::Pop(int n)
    {
        CSqThread* t = T(this);
        int iAbs = t->m_iTop - n;
        t->PopTo(iAbs < t->ApiBase() ? t->ApiBase() : iAbs);
    }

    int CSqVM::ToAbsolute(int iIndex) const
    {
        return iIndex > 0 ? iIndex : GetTop() + iIndex + 1;
    }

    void CSqVM::Remove(int iIndex)
    {
        CSqThread* t = T(this);
        if (!t->ValidIndex(iIndex))
            return;
        int iAbs = iIndex > 0 ? t->ApiBase() + iIndex - 1 : t->m_iTop + iIndex;
        for (int k = iAbs; k < t->m_iTop - 1; ++k)
            t->m_pStack[k] = std::move(t->m_pStack[k + 1]);
        t->PopTo(t->m_iTop - 1);
    }

    void CSqVM::Push(int iIndex)
    {
        CSqThread* t = T(this);
        SqValue v = t->ValidIndex(iIndex) ? t->ApiSlot(iIndex) : SqValue();
        t->PushValue(v);
    }

    eSqType CSqVM::GetType(int iIndex) const
    {
        const CSqThread* t = T(this);
        return t->ValidIndex(iIndex) ? t->ApiSlot(iIndex).Type() : SQ_NULL;
    }

    void CSqVM::PushNull() { T(this)->PushValue(SqValue()); }
    void CSqVM::PushInteger(SqInteger i) { T(this)->PushValue(SqValue::Integer(i)); }
    void CSqVM::PushFloat(SqFloat f) { T(this)->PushValue(SqValue::Float(f)); }
    void CSqVM::PushBool(bool b) { T(this)->PushValue(SqValue::Bool(b)); }
    void CSqVM::PushUserPointer(void* p) { T(this)->PushValue(SqValue::UserPointer(p)); }

    void CSqVM::PushString(const char* p, size_t nLength)
    {
        CSqThread* t = T(this);
        t->PushValue(SqValue(t->m_pState->Intern(p ? p : "", p ? nLength : 0)));
    }

    void CSqVM::PushString(const char* sz) { PushString(sz, sz ? strlen(sz) : 0); }

    bool CSqVM::GetInteger(int iIndex, SqInteger* pOut) const
    {
        const CSqThread* t = T(this);
        if (!t->ValidIndex(iIndex))
            return false;
        const SqValue& v = t->ApiSlot(iIndex);
        switch (v.Type()) {
        case SQ_INTEGER:
        case SQ_BOOL:
            *pOut = v.m_iValue;
            return true;
        case SQ_FLOAT:
            *pOut = SqFloatToInteger(v.m_fValue);
            return true;
        default:
            return false;
        }
    }

    bool CSqVM::GetFloat(int iIndex, SqFloat* pOut) const
    {
        const CSqThread* t = T(this);
        if (!t->ValidIndex(iIndex))
            return false;
        const SqValue& v = t->ApiSlot(iIndex);
        if (!v.IsNumeric())
            return false;
        *pOut = v.ToFloat();
        return true;
    }

    bool CSqVM::GetBool(int iIndex, bool* pOut) const
    {
        const CSqThread* t = T(this);
        if (!t->ValidIndex(iIndex) || t->ApiSlot(iIndex).Type() != SQ_BOOL)
            return false;
        *pOut = t->ApiSlot(iIndex).m_iValue != 0;
        return true;
    }

    bool CSqVM::GetString(int iIndex, const char** ppText, size_t* pnLength) const
    {
        const CSqThread* t = T(this);
        if (!t->ValidIndex(iIndex) || t->ApiSlot(iIndex).Type() != SQ_STRING)
            return false;
        CSqString* s = t->ApiSlot(iIndex).String();
        *ppText = s->Data();
        if (pnLength)
            *pnLength = s->Length();
        return true;
    }

    bool CSqVM::GetUserPointer(int iIndex, void** ppOut) const
    {
        const CSqThread* t = T(this);
        if (!t->ValidIndex(iIndex) || t->ApiSlot(iIndex).Type() != SQ_USERPOINTER)
            return false;
        *ppOut = t->ApiSlot(iIndex).m_pPointer;
        return true;
    }

    bool CSqVM::IsTrue(int iIndex) const
    {
        const CSqThread* t = T(this);
        return t->ValidIndex(iIndex) && !t->ApiSlot(iIndex).IsFalse();
    }

    bool CSqVM::ToString(int iIndex)
    {
        CSqThread* t = T(this);
        SqValue v = t->ValidIndex(iIndex) ? t->ApiSlot(iIndex) : SqValue();
        SqValue out;
        if (!t->ToString(v, out))
            return false;
        t->PushValue(out);
        return true;
    }

    SqInteger CSqVM::GetSize(int iIndex) const
    {
        const CSqThread* t = T(this);
        if (!t->ValidIndex(iIndex))
            return -1;
        const SqValue& v = t->ApiSlot(iIndex);
        switch (v.Type()) {
        case SQ_STRING: return static_cast<SqInteger>(v.String()->Length());
        case SQ_TABLE: return static_cast<SqInteger>(v.Table()->Count());
        case SQ_ARRAY: return static_cast<SqInteger>(v.Array()->m_Values.size());
        case SQ_CLASS: return static_cast<SqInteger>(v.Class()->m_pMembers->Count());
        default: return -1;
        }
    }

    const char* CSqVM::GetTypeName(eSqType eType) { return SqTypeName(eType); }

    // ---------------------------------------------------------------- slots
    void CSqVM::NewTable(int iCapacityHint)
    {
        CSqThread* t = T(this);
        t->PushValue(SqValue(CSqTable::Create(t->m_pState, static_cast<size_t>(iCapacityHint > 0 ? iCapacityHint : 0))));
    }

    bool CSqVM::Clone(int iIndex)
    {
        CSqThread* t = T(this);
        SqValue v = t->ValidIndex(iIndex) ? t->ApiSlot(iIndex) : SqValue();
        SqValue out;
        if (!t->Clone(v, out))
            return false;
        t->PushValue(out);
        return true;
    }

    void CSqVM::NewArray(SqInteger nSize)
    {
        CSqThread* t = T(this);
        if (nSize < 0)
            nSize = 0;
        t->PushValue(SqValue(CSqArray::Create(t->m_pState, static_cast<size_t>(nSize))));
    }

    bool CSqVM::ArrayAppend(int iIndex)
    {
        CSqThread* t = T(this);
        if (!t->ValidIndex(iIndex) || t->ApiSlot(iIndex).Type() != SQ_ARRAY || GetTop() < 1)
            return t->Raise("array expected");
        SqValue v = t->m_pStack[t->m_iTop - 1];
        t->ApiSlot(iIndex).Array()->m_Values.push_back(v);
        Pop(1);
        return true;
    }

    bool CSqVM::NewSlot(int iIndex, bool bStatic)
    {
        CSqThread* t = T(this);
        if (GetTop() < 2 || !t->ValidIndex(iIndex))
            return t->Raise("not enough values on the stack");
        SqValue obj = t->ApiSlot(iIndex);
        SqValue key = t->m_pStack[t->m_iTop - 2], value = t->m_pStack[t->m_iTop - 1];
        Pop(2);
        return t->NewSlot(obj, key, value, bStatic);
    }

    bool CSqVM::Set(int iIndex)
    {
        CSqThread* t = T(this);
        if (GetTop() < 2 || !t->ValidIndex(iIndex))
            return t->Raise("not enough values on the stack");
        SqValue obj = t->ApiSlot(iIndex);
        SqValue key = t->m_pStack[t->m_iTop - 2], value = t->m_pStack[t->m_iTop - 1];
        Pop(2);
        return t->Set(obj, key, value, false);
    }

    bool CSqVM::Get(int iIndex)
    {
        CSqThread* t = T(this);
        if (GetTop() < 1 || !t->ValidIndex(iIndex))
            return t->Raise("not enough values on the stack");
        SqValue obj = t->ApiSlot(iIndex);
        SqValue key = t->m_pStack[t->m_iTop - 1];
        Pop(1);
        SqValue out;
        if (!t->Get(obj, key, out, false))
            return false;
        t->PushValue(out);
        return true;
    }

    bool CSqVM::RawGet(int iIndex)
    {
        CSqThread* t = T(this);
        if (GetTop() < 1 || !t->ValidIndex(iIndex))
            return t->Raise("not enough values on the stack");
        SqValue obj = t->ApiSlot(iIndex);
        SqValue key = t->m_pStack[t->m_iTop - 1];
        Pop(1);
        SqValue out;
        if (!t->RawGet(obj, key, out))
            return false;
        t->PushValue(out);
        return true;
    }

    bool SqRawSet(CSqThread* t, const SqValue& obj, const SqValue& key, const SqValue& value)
    {
        switch (obj.Type()) {
        case SQ_TABLE:
            if (key.IsNull())
                return t->Raise("null key");
            obj.Table()->NewSlot(key, value);
            return true;
        case SQ_ARRAY: {
            if (key.Type() != SQ_INTEGER)
                return t->Raise("indexing array with %s", SqTypeName(key.Type()));
            std::vector<SqValue>& v = obj.Array()->m_Values;
            if (key.m_iValue < 0 || static_cast<uint64_t>(key.m_iValue) >= v.size())
                return t->RaiseIndexError(key);
            v[static_cast<size_t>(key.m_iValue)] = value;
            return true;
        }
        case SQ_INSTANCE:
            if (!obj.Instance()->Set(key, value))
                return t->RaiseIndexError(key);
            return true;
        case SQ_CLASS:
            // After the first instance a class is locked: the write is ignored.
            if (obj.Class()->m_bLocked)
                return true;
            if (!obj.Class()->SetMember(key, value))
                obj.Class()->NewMember(t->m_pState, key, value, SqValue(), false);
            return true;
        default:
            return t->Raise("trying to set '%s'", SqTypeName(obj.Type()));
        }
    }

    bool CSqVM::RawSet(int iIndex)
    {
        CSqThread* t = T(this);
        if (GetTop() < 2 || !t->ValidIndex(iIndex))
            return t->Raise("not enough values on the stack");
        SqValue obj = t->ApiSlot(iIndex);
        SqValue key = t->m_pStack[t->m_iTop - 2], value = t->m_pStack[t->m_iTop - 1];
        Pop(2);
        return SqRawSet(t, obj, key, value);
    }

    bool CSqVM::DeleteSlot(int iIndex, bool bPushValue)
    {
        CSqThread* t = T(this);
        if (GetTop() < 1 || !t->ValidIndex(iIndex))
            return t->Raise("not enough values on the stack");
        SqValue obj = t->ApiSlot(iIndex);
        SqValue key = t->m_pStack[t->m_iTop - 1];
        Pop(1);
        SqValue out;
        if (!t->DeleteSlot(obj, key, out))
            return false;
        if (bPushValue)
            t->PushValue(out);
        return true;
    }

    bool SqSetDelegate(CSqThread* t, CSqTable* pTable, const SqValue& delegate)
    {
        if (delegate.IsNull()) {
            if (pTable->m_pDelegate) {
                CSqTable* d = pTable->m_pDelegate;
                pTable->m_pDelegate = nullptr;
                SqRelease(d);
            }
            return true;
        }
        if (delegate.Type() != SQ_TABLE)
            return t->Raise("only tables can be delegates");
        for (CSqTable* p = delegate.Table(); p; p = p->m_pDelegate)
            if (p == pTable)
                return t->Raise("delegate cycle");
        SqAddRef(delegate.Table());
        if (pTable->m_pDelegate)
            SqRelease(pTable->m_pDelegate);
        pTable->m_pDelegate = delegate.Table();
        return true;
    }

    bool CSqVM::SetDelegate(int iIndex)
    {
        CSqThread* t = T(this);
        if (GetTop() < 1 || !t->ValidIndex(iIndex) || t->ApiSlot(iIndex).Type() != SQ_TABLE)
            return t->Raise("table expected");
        SqValue obj = t->ApiSlot(iIndex);
        SqValue d = t->m_pStack[t->m_iTop - 1];
        Pop(1);
        return SqSetDelegate(t, obj.Table(), d);
    }

    bool CSqVM::GetDelegate(int iIndex)
    {
        CSqThread* t = T(this);
        if (!t->ValidIndex(iIndex) || t->ApiSlot(iIndex).Type() != SQ_TABLE)
            return t->Raise("table expected");
        CSqTable* d = t->ApiSlot(iIndex).Table()->m_pDelegate;
        t->PushValue(d ? SqValue(d) : SqValue());
        return true;
    }

    bool CSqVM::Next(int iIndex)
    {
        CSqThread* t = T(this);
        if (GetTop() < 1 || !t->ValidIndex(iIndex))
            return false;
        SqValue obj = t->ApiSlot(iIndex);
        SqValue& it = t->m_pStack[t->m_iTop - 1];
        int64_t iPos = it.Type() == SQ_INTEGER ? it.m_iValue : 0;
        SqValue k, v;
        switch (obj.Type()) {
        case SQ_TABLE: {
            int64_t iNext = obj.Table()->Next(iPos, &k, &v);
            if (iNext < 0)
                return false;
            it.SetInteger(iNext);
            break;
        }
        case SQ_ARRAY: {
            std::vector<SqValue>& a = obj.Array()->m_Values;
            if (iPos >= static_cast<int64_t>(a.size()))
                return false;
            k = SqValue::Integer(iPos);
            v = a[static_cast<size_t>(iPos)];
            it.SetInteger(iPos + 1);
            break;
        }
        case SQ_CLASS: {
            SqValue enc;
            int64_t iNext = obj.Class()->m_pMembers->Next(iPos, &k, &enc);
            if (iNext < 0)
                return false;
            v = *obj.Class()->MemberSlot(enc.m_iValue);
            it.SetInteger(iNext);
            break;
        }
        default:
            return false;
        }
        t->PushValue(k);
        t->PushValue(v);
        return true;
    }

    void CSqVM::PushRootTable() { T(this)->PushValue(T(this)->m_RootTable); }

    bool CSqVM::SetRootTable()
    {
        CSqThread* t = T(this);
        if (GetTop() < 1)
            return false;
        SqValue v = t->m_pStack[t->m_iTop - 1];
        Pop(1);
        if (v.Type() != SQ_TABLE && v.Type() != SQ_NULL)
            return t->Raise("invalid type");
        t->m_RootTable = v;
        return true;
    }

    void CSqVM::PushConstTable() { T(this)->PushValue(T(this)->m_pState->m_ConstTable); }

    bool CSqVM::SetConstTable()
    {
        CSqThread* t = T(this);
        if (GetTop() < 1)
            return false;
        SqValue v = t->m_pStack[t->m_iTop - 1];
        Pop(1);
        if (v.Type() != SQ_TABLE)
            return t->Raise("invalid type");
        t->m_pState->m_ConstTable = v;
        return true;
    }

    void CSqVM::PushRegistryTable() { T(this)->PushValue(T(this)->m_pState->m_Registry); }

    // ---------------------------------------------------------------- functions
    void CSqVM::NewClosure(SqNativeFunction pFunction, int nFreeVars, void* pUserPointer)
    {
        CSqThread* t = T(this);
        CSqNativeClosure* c = CSqNativeClosure::Create(t->m_pState, pFunction);
        SqValue v(c);
        c->m_pUserPointer = pUserPointer;
        if (nFreeVars > GetTop())
            nFreeVars = GetTop();
        for (int k = nFreeVars; k > 0; --k)
            c->m_FreeVars.push_back(t->m_pStack[t->m_iTop - k]);
        Pop(nFreeVars);
        t->PushValue(v);
    }

    bool CSqVM::SetNativeClosureName(int iIndex, const char* szName)
    {
        CSqThread* t = T(this);
        if (!t->ValidIndex(iIndex) || t->ApiSlot(iIndex).Type() != SQ_NATIVECLOSURE)
            return false;
        t->ApiSlot(iIndex).NativeClosure()->m_Name = t->m_pState->String(szName ? szName : "");
        return true;
    }

    bool CSqVM::SetParamsCheck(int iIndex, int nParams, const char* szTypeMask)
    {
        CSqThread* t = T(this);
        if (!t->ValidIndex(iIndex) || t->ApiSlot(iIndex).Type() != SQ_NATIVECLOSURE)
            return false;
        CSqNativeClosure* c = t->ApiSlot(iIndex).NativeClosure();
        c->m_nParamsCheck = nParams;
        c->m_TypeMasks = SqParseTypeMask(szTypeMask);
        return true;
    }

    void* CSqVM::GetNativeUserPointer() const
    {
        const CSqThread* t = T(this);
        if (t->m_Frames.empty() || !t->m_Frames.back().m_bNative)
            return nullptr;
        return static_cast<CSqNativeClosure*>(t->m_Frames.back().m_pClosure)->m_pUserPointer;
    }

    bool SqCompileToClosure(CSqThread* t, const char* pText, size_t nLength, const char* szSource, bool bRaiseError, SqValue& out)
    {
        SSqCompileError error;
        CSqFuncProto* p = SqCompile(t->m_pState, pText, nLength, szSource, &error);
        if (!p) {
            if (bRaiseError && t->m_pState->m_pCompileErrorHandler)
                t->m_pState->m_pCompileErrorHandler(t, error.strMessage.c_str(), szSource ? szSource : "", error.iLine, error.iColumn);
            t->RaiseValue(t->m_pState->String(error.strMessage));
            return false;
        }
        CSqWeakRef* pRoot = t->m_RootTable.Type() == SQ_TABLE ? CSqWeakRef::Of(t->m_RootTable.m_pObj) : nullptr;
        out = SqValue(CSqClosure::Create(t->m_pState, p, pRoot));
        SqRelease(p);
        return true;
    }

    bool CSqVM::Compile(const char* pText, size_t nLength, const char* szSourceName, bool bRaiseError)
    {
        CSqThread* t = T(this);
        SqValue closure;
        if (!SqCompileToClosure(t, pText, nLength, szSourceName, bRaiseError, closure))
            return false;
        t->PushValue(closure);
        return true;
    }

    bool CSqVM::Call(int nParams, bool bReturnValue, bool bRaiseError)
    {
        CSqThread* t = T(this);
        int iFunc = t->m_iTop - nParams - 1;
        if (nParams < 1 || iFunc < t->ApiBase())
            return t->Raise("not enough values on the stack");
        SqValue fn = t->m_pStack[iFunc];
        bool bOk = t->CallAt(iFunc, nParams, bRaiseError);
        if (t->m_eState == SQ_THREAD_SUSPENDED) {
            if (bReturnValue)
                t->PushValue(t->m_TransferValue);
            return bOk;
        }
        SqValue result = t->m_pStack[iFunc];
        t->m_pStack[iFunc] = fn;
        if (t->m_iTop < iFunc + 1)
            t->m_iTop = iFunc + 1;
        t->PopTo(iFunc + 1);
        if (bOk && bReturnValue)
            t->PushValue(result);
        return bOk;
    }

    int CSqVM::ThrowError(const char* szFormat, ...)
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
        CSqThread* t = T(this);
        t->RaiseValue(SqValue(t->m_pState->Intern(buffer, static_cast<size_t>(n))));
        return SQ_ERROR;
    }

    int CSqVM::ThrowObject()
    {
        CSqThread* t = T(this);
        SqValue v = GetTop() > 0 ? t->m_pStack[t->m_iTop - 1] : SqValue();
        Pop(1);
        t->RaiseValue(v);
        return SQ_ERROR;
    }

    void CSqVM::PushLastError() { T(this)->PushValue(T(this)->m_LastError); }
    void CSqVM::ResetError() { T(this)->m_LastError.SetNull(); }

    bool CSqVM::GetStackInfo(int iLevel, SSqStackInfo* pInfo) const
    {
        const CSqThread* t = T(this);
        int idx = static_cast<int>(t->m_Frames.size()) - 1 - iLevel;
        if (iLevel < 0 || idx < 0)
            return false;
        const SqCallInfo& f = t->m_Frames[static_cast<size_t>(idx)];
        if (f.m_bNative) {
            const CSqNativeClosure* c = static_cast<const CSqNativeClosure*>(f.m_pClosure);
            pInfo->szFunction = c->m_Name.Type() == SQ_STRING ? c->m_Name.String()->Data() : nullptr;
            pInfo->szSource = "NATIVE";
            pInfo->iLine = -1;
            pInfo->bNative = true;
            return true;
        }
        const CSqClosure* c = static_cast<const CSqClosure*>(f.m_pClosure);
        const CSqFuncProto* p = c->m_pProto;
        pInfo->szFunction = p->m_Name.Type() == SQ_STRING ? p->m_Name.String()->Data() : nullptr;
        pInfo->szSource = p->m_Source.Type() == SQ_STRING ? p->m_Source.String()->Data() : nullptr;
        pInfo->iLine = p->LineOf(f.m_pPc ? f.m_pPc - 1 : nullptr);
        pInfo->bNative = false;
        return true;
    }

    const char* CSqVM::GetLocal(int iLevel, int iIndex)
    {
        CSqThread* t = T(this);
        int idx = static_cast<int>(t->m_Frames.size()) - 1 - iLevel;
        if (iLevel < 0 || idx < 0 || iIndex < 0)
            return nullptr;
        const SqCallInfo& f = t->m_Frames[static_cast<size_t>(idx)];
        if (f.m_bNative)
            return nullptr;
        const CSqFuncProto* p = static_cast<const CSqClosure*>(f.m_pClosure)->m_pProto;
        // The saved position is past the instruction being executed.
        uint32_t uPc = f.m_pPc && f.m_pPc > p->m_Code.data() ? static_cast<uint32_t>(f.m_pPc - p->m_Code.data()) - 1 : 0;
        for (const SqLocalInfo& l : p->m_Locals) {
            if (l.m_Name.Type() != SQ_STRING || l.m_Name.String()->Data()[0] == '@')
                continue;
            if (uPc < l.m_uStartPc || uPc >= l.m_uEndPc)
                continue;
            if (iIndex-- == 0) {
                t->PushValue(t->m_pStack[f.m_iBase + static_cast<int>(l.m_uRegister)]);
                return l.m_Name.String()->Data();
            }
        }
        return nullptr;
    }

    void CSqVM::SetErrorHandler()
    {
        CSqThread* t = T(this);
        if (GetTop() < 1)
            return;
        t->m_ErrorHandler = t->m_pStack[t->m_iTop - 1];
        Pop(1);
    }

    void CSqVM::SetCompileErrorHandler(SqCompileErrorHandler pHandler) { T(this)->m_pState->m_pCompileErrorHandler = pHandler; }

    void CSqVM::SetPrintFunctions(SqPrintFunction pPrint, SqPrintFunction pError)
    {
        T(this)->m_pState->m_pPrint = pPrint;
        T(this)->m_pState->m_pError = pError;
    }

    SqPrintFunction CSqVM::GetPrintFunction() const { return T(this)->m_pState->m_pPrint; }
    SqPrintFunction CSqVM::GetErrorFunction() const { return T(this)->m_pState->m_pError; }

    // ---------------------------------------------------------------- classes
    bool CSqVM::NewClass(bool bHasBase)
    {
        CSqThread* t = T(this);
        SqValue base;
        if (bHasBase) {
            if (GetTop() < 1)
                return t->Raise("not enough values on the stack");
            base = t->m_pStack[t->m_iTop - 1];
            Pop(1);
            if (base.Type() != SQ_CLASS)
                return t->Raise("invalid base type");
        }
        SqValue out;
        if (!t->CreateClass(base, SqValue(), out))
            return false;
        t->PushValue(out);
        return true;
    }

    bool CSqVM::SetTypeTag(int iIndex, const void* pTag)
    {
        CSqThread* t = T(this);
        if (!t->ValidIndex(iIndex))
            return false;
        SqValue& v = t->ApiSlot(iIndex);
        if (v.Type() == SQ_CLASS)
            v.Class()->m_pTypeTag = pTag;
        else if (v.Type() == SQ_INSTANCE)
            v.Instance()->m_pClass->m_pTypeTag = pTag;
        else
            return false;
        return true;
    }

    bool CSqVM::GetTypeTag(int iIndex, const void** ppTag) const
    {
        const CSqThread* t = T(this);
        if (!t->ValidIndex(iIndex))
            return false;
        const SqValue& v = t->ApiSlot(iIndex);
        if (v.Type() == SQ_CLASS)
            *ppTag = v.Class()->m_pTypeTag;
        else if (v.Type() == SQ_INSTANCE)
            *ppTag = v.Instance()->m_pClass->m_pTypeTag;
        else
            return false;
        return true;
    }

    bool CSqVM::CreateInstance(int iIndex)
    {
        CSqThread* t = T(this);
        if (!t->ValidIndex(iIndex) || t->ApiSlot(iIndex).Type() != SQ_CLASS)
            return t->Raise("class expected");
        SqValue out;
        t->CreateInstanceOf(t->ApiSlot(iIndex).Class(), out);
        t->PushValue(out);
        return true;
    }

    bool CSqVM::SetInstanceUP(int iIndex, void* p)
    {
        CSqThread* t = T(this);
        if (!t->ValidIndex(iIndex) || t->ApiSlot(iIndex).Type() != SQ_INSTANCE)
            return false;
        t->ApiSlot(iIndex).Instance()->m_pUserPointer = p;
        return true;
    }

    bool CSqVM::GetInstanceUP(int iIndex, void** pp, const void* pTypeTag) const
    {
        const CSqThread* t = T(this);
        if (!t->ValidIndex(iIndex) || t->ApiSlot(iIndex).Type() != SQ_INSTANCE)
            return false;
        CSqInstance* inst = t->ApiSlot(iIndex).Instance();
        if (pTypeTag) {
            bool bFound = false;
            for (CSqClass* c = inst->m_pClass; c && !bFound; c = c->m_pBase)
                bFound = c->m_pTypeTag == pTypeTag;
            if (!bFound)
                return false;
        }
        *pp = inst->m_pUserPointer;
        return true;
    }

    bool CSqVM::SetReleaseHook(int iIndex, SqReleaseHook pHook, void* pHookData)
    {
        CSqThread* t = T(this);
        if (!t->ValidIndex(iIndex))
            return false;
        SqValue& v = t->ApiSlot(iIndex);
        if (v.Type() == SQ_INSTANCE) {
            v.Instance()->m_pReleaseHook = pHook;
            v.Instance()->m_pReleaseHookData = pHookData;
        } else if (v.Type() == SQ_CLASS) {
            v.Class()->m_pReleaseHook = pHook;
            v.Class()->m_pReleaseHookData = pHookData;
        } else {
            return false;
        }
        return true;
    }

    bool CSqVM::GetClass(int iIndex)
    {
        CSqThread* t = T(this);
        if (!t->ValidIndex(iIndex) || t->ApiSlot(iIndex).Type() != SQ_INSTANCE)
            return t->Raise("instance expected");
        t->PushValue(SqValue(t->ApiSlot(iIndex).Instance()->m_pClass));
        return true;
    }

    bool CSqVM::GetBase(int iIndex)
    {
        CSqThread* t = T(this);
        if (!t->ValidIndex(iIndex) || t->ApiSlot(iIndex).Type() != SQ_CLASS)
            return t->Raise("class expected");
        CSqClass* b = t->ApiSlot(iIndex).Class()->m_pBase;
        t->PushValue(b ? SqValue(b) : SqValue());
        return true;
    }

    bool CSqVM::InstanceOf()
    {
        CSqThread* t = T(this);
        if (GetTop() < 2)
            return false;
        const SqValue& inst = t->m_pStack[t->m_iTop - 2];
        const SqValue& cls = t->m_pStack[t->m_iTop - 1];
        return inst.Type() == SQ_INSTANCE && cls.Type() == SQ_CLASS && inst.Instance()->InstanceOf(cls.Class());
    }

    // ---------------------------------------------------------------- handles
    bool CSqVM::GetHandle(int iIndex, CSqHandle* pHandle) const
    {
        const CSqThread* t = T(this);
        if (!t->ValidIndex(iIndex))
            return false;
        const SqValue& v = t->ApiSlot(iIndex);
        pHandle->Reset();
        if (IsRefCounted(v.Type()))
            SqAddRef(v.m_pObj);
        pHandle->m_Value.eType = v.Type();
        pHandle->m_Value.uBits = v.m_uRaw;
        return true;
    }

    void CSqVM::PushHandle(const CSqHandle& handle) { T(this)->PushValue(FromRaw(handle.m_Value)); }

    void CSqVM::WeakRef(int iIndex)
    {
        CSqThread* t = T(this);
        SqValue v = t->ValidIndex(iIndex) ? t->ApiSlot(iIndex) : SqValue();
        if (IsRefCounted(v.Type()) && v.Type() != SQ_WEAKREF)
            t->PushValue(SqValue(CSqWeakRef::Of(v.m_pObj)));
        else
            t->PushValue(v);
    }

    bool CSqVM::GetWeakRefValue(int iIndex)
    {
        CSqThread* t = T(this);
        if (!t->ValidIndex(iIndex))
            return false;
        SqValue v = t->ApiSlot(iIndex);
        if (v.Type() != SQ_WEAKREF) {
            t->PushValue(v);
            return true;
        }
        t->PushValue(v.WeakRef()->Get());
        return true;
    }

    SqInteger CSqVM::CollectGarbage() { return SqCollectGarbage(T(this)->m_pState); }
}
