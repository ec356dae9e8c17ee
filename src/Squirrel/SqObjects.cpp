#include "SqVM.h"

#include <algorithm>
#include <new>

namespace Torvane3D::Squirrel
{
    // ---------------------------------------------------------------- freeing
    // Freeing an object releases its children, which may free further objects: the work is
    // queued so a long chain of objects never recurses on the C stack.
    namespace
    {
        thread_local std::vector<CSqRefObj*> t_Pending;
        thread_local bool t_bFreeing = false;

        void GcUnlink(CSqGcObj* p)
        {
            if (p->m_pGcPrev) {
                p->m_pGcPrev->m_pGcNext = p->m_pGcNext;
                p->m_pGcNext->m_pGcPrev = p->m_pGcPrev;
                p->m_pGcPrev = p->m_pGcNext = nullptr;
            }
        }

        void Destroy(CSqRefObj* p)
        {
            switch (p->m_eType) {
            case SQ_STRING: {
                CSqString* s = static_cast<CSqString*>(p);
                s->~CSqString();
                ::operator delete(s);
                break;
            }
            case SQ_TABLE:
                GcUnlink(static_cast<CSqGcObj*>(p));
                delete static_cast<CSqTable*>(p);
                break;
            case SQ_ARRAY:
                GcUnlink(static_cast<CSqGcObj*>(p));
                delete static_cast<CSqArray*>(p);
                break;
            case SQ_CLOSURE:
                GcUnlink(static_cast<CSqGcObj*>(p));
                delete static_cast<CSqClosure*>(p);
                break;
            case SQ_NATIVECLOSURE:
                GcUnlink(static_cast<CSqGcObj*>(p));
                delete static_cast<CSqNativeClosure*>(p);
                break;
            case SQ_GENERATOR:
                GcUnlink(static_cast<CSqGcObj*>(p));
                delete static_cast<CSqGenerator*>(p);
                break;
            case SQ_THREAD:
                GcUnlink(static_cast<CSqGcObj*>(p));
                delete static_cast<CSqThread*>(static_cast<CSqGcObj*>(p));
                break;
            case SQ_CLASS:
                GcUnlink(static_cast<CSqGcObj*>(p));
                delete static_cast<CSqClass*>(p);
                break;
            case SQ_INSTANCE:
                GcUnlink(static_cast<CSqGcObj*>(p));
                delete static_cast<CSqInstance*>(p);
                break;
            case SQ_OUTER:
                GcUnlink(static_cast<CSqGcObj*>(p));
                delete static_cast<CSqOuter*>(p);
                break;
            case SQ_WEAKREF: {
                CSqWeakRef* w = static_cast<CSqWeakRef*>(p);
                if (w->m_pTarget)
                    w->m_pTarget->m_pWeakRef = nullptr;
                delete w;
                break;
            }
            case SQ_FUNCPROTO:
                delete static_cast<CSqFuncProto*>(p);
                break;
            default:
                break;
            }
        }
    }

    void SqFreeObject(CSqRefObj* p)
    {
        // Weak references see the death at once.
        if (p->m_pWeakRef) {
            p->m_pWeakRef->m_pTarget = nullptr;
            p->m_pWeakRef = nullptr;
        }
        if (p->m_eType == SQ_STRING) {
            CSqString* s = static_cast<CSqString*>(p);
            s->m_pState->RemoveString(s);
        }
        t_Pending.push_back(p);
        if (t_bFreeing)
            return;
        t_bFreeing = true;
        while (!t_Pending.empty()) {
            CSqRefObj* q = t_Pending.back();
            t_Pending.pop_back();
            Destroy(q);
        }
        t_bFreeing = false;
    }

    void SqGcLink(CSqSharedState* pState, CSqGcObj* pObj)
    {
        CSqGcObj* pHead = &pState->m_GcHead;
        pObj->m_pGcNext = pHead->m_pGcNext;
        pObj->m_pGcPrev = pHead;
        pHead->m_pGcNext->m_pGcPrev = pObj;
        pHead->m_pGcNext = pObj;
    }

    // ---------------------------------------------------------------- strings
    uint64_t CSqString::Hash(const char* p, size_t nLength)
    {
        // Samples at most 32 bytes of long strings, from the end.
        uint64_t h = nLength;
        size_t nStep = (nLength >> 5) + 1;
        for (size_t i = nLength; i >= nStep; i -= nStep)
            h ^= (h << 5) + (h >> 2) + static_cast<unsigned char>(p[i - 1]);
        return h;
    }

    CSqString* CSqString::Create(CSqSharedState* pState, const char* p, size_t nLength)
    {
        return pState->Intern(p, nLength);
    }

    CSqString* CSqSharedState::Intern(const char* p, size_t nLength)
    {
        uint64_t uHash = CSqString::Hash(p, nLength);
        size_t iBucket = uHash & (m_nStringBuckets - 1);
        for (CSqString* s = m_ppStrings[iBucket]; s; s = s->m_pNextInBucket) {
            if (s->m_uHash == uHash && s->m_uLength == nLength && memcmp(s->m_szData, p, nLength) == 0)
                return s;
        }
        if (nLength > MAX_STRING_LENGTH)
            nLength = MAX_STRING_LENGTH; // callers refuse longer strings before they get here
        void* pMemory = ::operator new(sizeof(CSqString) + nLength);
        CSqString* s = new (pMemory) CSqString();
        s->m_pState = this;
        s->m_uHash = uHash;
        s->m_uLength = static_cast<uint32_t>(nLength);
        if (nLength)
            memcpy(s->m_szData, p, nLength);
        s->m_szData[nLength] = 0;
        s->m_pNextInBucket = m_ppStrings[iBucket];
        m_ppStrings[iBucket] = s;
        if (++m_nStrings > m_nStringBuckets) {
            size_t nNew = m_nStringBuckets * 2;
            CSqString** ppNew = new CSqString*[nNew]();
            for (size_t i = 0; i < m_nStringBuckets; ++i) {
                for (CSqString* q = m_ppStrings[i]; q;) {
                    CSqString* pNext = q->m_pNextInBucket;
                    size_t j = q->m_uHash & (nNew - 1);
                    q->m_pNextInBucket = ppNew[j];
                    ppNew[j] = q;
                    q = pNext;
                }
            }
            delete[] m_ppStrings;
            m_ppStrings = ppNew;
            m_nStringBuckets = nNew;
        }
        return s;
    }

    void CSqSharedState::RemoveString(CSqString* pString)
    {
        CSqString** pp = &m_ppStrings[pString->m_uHash & (m_nStringBuckets - 1)];
        while (*pp) {
            if (*pp == pString) {
                *pp = pString->m_pNextInBucket;
                --m_nStrings;
                return;
            }
            pp = &(*pp)->m_pNextInBucket;
        }
    }

    uint64_t SqHashValue(const SqValue& key)
    {
        switch (key.m_eType) {
        case SQ_INTEGER:
            return static_cast<uint64_t>(key.m_iValue);
        case SQ_FLOAT: {
            uint32_t u;
            memcpy(&u, &key.m_fValue, 4);
            return u;
        }
        case SQ_BOOL:
            return static_cast<uint64_t>(key.m_iValue);
        case SQ_STRING:
            return key.String()->m_uHash;
        default:
            return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(key.m_pPointer) >> 3);
        }
    }

    // ---------------------------------------------------------------- tables
    CSqTable* CSqTable::Create(CSqSharedState* pState, size_t nCapacityHint)
    {
        CSqTable* t = new CSqTable();
        t->m_pState = pState;
        uint32_t uCapacity = 4;
        while (uCapacity <= nCapacityHint && uCapacity < (1u << 30))
            uCapacity <<= 1;
        t->Allocate(uCapacity);
        SqGcLink(pState, t);
        return t;
    }

    CSqTable::~CSqTable()
    {
        delete[] m_pNodes;
        if (m_pDelegate)
            SqRelease(m_pDelegate);
    }

    void CSqTable::Allocate(uint32_t uCapacity)
    {
        m_pNodes = new SqNode[uCapacity];
        m_uCapacity = uCapacity;
        m_uFreeCursor = uCapacity;
        m_uCount = 0;
    }

    SqNode* CSqTable::FreePosition()
    {
        while (m_uFreeCursor > 0) {
            --m_uFreeCursor;
            if (m_pNodes[m_uFreeCursor].IsFree())
                return &m_pNodes[m_uFreeCursor];
        }
        return nullptr;
    }

    void CSqTable::Insert(const SqValue& key, const SqValue& value)
    {
        SqNode* mp = &m_pNodes[SqHashValue(key) & (m_uCapacity - 1)];
        if (!mp->m_Key.IsNull()) {
            SqNode* f = FreePosition();
            if (!f) {
                // Tombstones and slots freed above the cursor: rebuild (smaller when mostly
                // empty) and try again.
                uint32_t uCapacity = m_uCapacity;
                while (uCapacity > 4 && m_uCount < uCapacity / 4)
                    uCapacity /= 2;
                Rebuild(uCapacity);
                Insert(key, value);
                return;
            }
            SqNode* pOther = &m_pNodes[SqHashValue(mp->m_Key) & (m_uCapacity - 1)];
            if (pOther != mp) {
                // The occupant is not in its main position: move it to the free slot.
                while (pOther->m_pNext != mp)
                    pOther = pOther->m_pNext;
                pOther->m_pNext = f;
                f->m_Key = std::move(mp->m_Key);
                f->m_Value = std::move(mp->m_Value);
                f->m_pNext = mp->m_pNext;
                mp->m_pNext = nullptr;
            } else {
                f->m_pNext = mp->m_pNext;
                mp->m_pNext = f;
                mp = f;
            }
        }
        mp->m_Key = key;
        mp->m_Value = value;
        ++m_uCount;
    }

    void CSqTable::NewSlot(const SqValue& key, const SqValue& value)
    {
        if (SqNode* n = Find(key)) {
            n->m_Value = value;
            return;
        }
        Insert(key, value);
        if (m_uCount >= m_uCapacity)
            Rebuild(m_uCapacity * 2);
    }

    void CSqTable::Rebuild(uint32_t uCapacity)
    {
        SqNode* pOld = m_pNodes;
        uint32_t uOld = m_uCapacity;
        Allocate(uCapacity);
        for (uint32_t i = 0; i < uOld; ++i) {
            if (!pOld[i].m_Key.IsNull())
                Insert(pOld[i].m_Key, pOld[i].m_Value);
        }
        delete[] pOld;
    }

    bool CSqTable::Remove(const SqValue& key)
    {
        SqNode* n = Find(key);
        if (!n)
            return false;
        n->m_Key.SetNull();
        n->m_Key.m_uRaw = 1; // tombstone: the chain through this node stays intact
        n->m_Value.SetNull();
        --m_uCount;
        return true;
    }

    void CSqTable::Clear()
    {
        SqNode* pOld = m_pNodes;
        Allocate(4);
        delete[] pOld;
    }

    int64_t CSqTable::Next(int64_t iSlot, SqValue* pKey, SqValue* pValue) const
    {
        for (int64_t i = iSlot < 0 ? 0 : iSlot; i < m_uCapacity; ++i) {
            const SqNode& n = m_pNodes[i];
            if (!n.m_Key.IsNull()) {
                if (pKey)
                    *pKey = n.m_Key;
                if (pValue)
                    *pValue = n.m_Value;
                return i + 1;
            }
        }
        return -1;
    }

    CSqTable* CSqTable::Clone() const
    {
        CSqTable* t = new CSqTable();
        t->m_pState = m_pState;
        t->Allocate(m_uCapacity);
        for (uint32_t i = 0; i < m_uCapacity; ++i) {
            t->m_pNodes[i].m_Key = m_pNodes[i].m_Key;
            t->m_pNodes[i].m_Value = m_pNodes[i].m_Value;
            t->m_pNodes[i].m_pNext = m_pNodes[i].m_pNext ? t->m_pNodes + (m_pNodes[i].m_pNext - m_pNodes) : nullptr;
        }
        t->m_uCount = m_uCount;
        t->m_uFreeCursor = m_uFreeCursor;
        t->m_pDelegate = m_pDelegate;
        if (m_pDelegate)
            SqAddRef(m_pDelegate);
        SqGcLink(m_pState, t);
        return t;
    }

    // ---------------------------------------------------------------- arrays
    CSqArray* CSqArray::Create(CSqSharedState* pState, size_t nSize)
    {
        CSqArray* a = new CSqArray();
        a->m_Values.resize(nSize);
        SqGcLink(pState, a);
        return a;
    }

    // ---------------------------------------------------------------- functions
    int CSqFuncProto::LineOf(const SqInstr* pInstr) const
    {
        if (m_Lines.empty() || !pInstr)
            return -1;
        uint32_t uPc = static_cast<uint32_t>(pInstr - m_Code.data());
        auto it = std::upper_bound(m_Lines.begin(), m_Lines.end(), uPc,
                                   [](uint32_t pc, const SqLineInfo& l) { return pc < l.m_uPc; });
        if (it == m_Lines.begin())
            return m_Lines.front().m_iLine;
        return (it - 1)->m_iLine;
    }

    CSqOuter* CSqOuter::Create(CSqSharedState* pState, CSqThread* pThread, int iStackIndex)
    {
        CSqOuter* o = new CSqOuter();
        o->m_pThread = pThread;
        o->m_iStackIndex = iStackIndex;
        o->m_pValue = &pThread->m_pStack[iStackIndex];
        SqGcLink(pState, o);
        return o;
    }

    CSqClosure* CSqClosure::Create(CSqSharedState* pState, CSqFuncProto* pProto, CSqWeakRef* pRoot)
    {
        CSqClosure* c = new CSqClosure();
        c->m_pProto = pProto;
        SqAddRef(pProto);
        c->m_pRoot = pRoot;
        if (pRoot)
            SqAddRef(pRoot);
        c->UpdateFastPath();
        SqGcLink(pState, c);
        return c;
    }

    CSqClosure::~CSqClosure()
    {
        for (CSqOuter* o : m_Outers)
            if (o)
                SqRelease(o);
        m_Outers.clear();
        if (m_pEnv)
            SqRelease(m_pEnv);
        if (m_pRoot)
            SqRelease(m_pRoot);
        if (m_pBase)
            SqRelease(m_pBase);
        if (m_pProto)
            SqRelease(m_pProto);
    }

    CSqClosure* CSqClosure::Clone(CSqSharedState* pState) const
    {
        CSqClosure* c = new CSqClosure();
        c->m_pProto = m_pProto;
        SqAddRef(m_pProto);
        c->m_Outers = m_Outers;
        for (CSqOuter* o : c->m_Outers)
            if (o)
                SqAddRef(o);
        c->m_Defaults = m_Defaults;
        c->m_pEnv = m_pEnv;
        if (m_pEnv)
            SqAddRef(m_pEnv);
        c->m_pRoot = m_pRoot;
        if (m_pRoot)
            SqAddRef(m_pRoot);
        c->m_pBase = m_pBase;
        if (m_pBase)
            SqAddRef(m_pBase);
        c->UpdateFastPath();
        SqGcLink(pState, c);
        return c;
    }

    CSqNativeClosure* CSqNativeClosure::Create(CSqSharedState* pState, SqNativeFunction pFunction)
    {
        CSqNativeClosure* c = new CSqNativeClosure();
        c->m_pFunction = pFunction;
        SqGcLink(pState, c);
        return c;
    }

    CSqNativeClosure::~CSqNativeClosure()
    {
        if (m_pEnv)
            SqRelease(m_pEnv);
        if (m_pRoot)
            SqRelease(m_pRoot);
    }

    CSqNativeClosure* CSqNativeClosure::Clone(CSqSharedState* pState) const
    {
        CSqNativeClosure* c = new CSqNativeClosure();
        c->m_pFunction = m_pFunction;
        c->m_pUserPointer = m_pUserPointer;
        c->m_FreeVars = m_FreeVars;
        c->m_Name = m_Name;
        c->m_nParamsCheck = m_nParamsCheck;
        c->m_TypeMasks = m_TypeMasks;
        c->m_pEnv = m_pEnv;
        if (m_pEnv)
            SqAddRef(m_pEnv);
        c->m_pRoot = m_pRoot;
        if (m_pRoot)
            SqAddRef(m_pRoot);
        SqGcLink(pState, c);
        return c;
    }

    CSqGenerator* CSqGenerator::Create(CSqSharedState* pState, CSqThread* pThread)
    {
        CSqGenerator* g = new CSqGenerator();
        g->m_pThread = pThread;
        SqAddRef(pThread);
        SqGcLink(pState, g);
        return g;
    }

    CSqGenerator::~CSqGenerator()
    {
        if (m_pThread)
            SqRelease(m_pThread);
    }

    // ---------------------------------------------------------------- classes
    CSqClass* CSqClass::Create(CSqSharedState* pState, CSqClass* pBase)
    {
        CSqClass* c = new CSqClass();
        if (pBase) {
            c->m_pBase = pBase;
            SqAddRef(pBase);
            c->m_pMembers = pBase->m_pMembers->Clone();
            c->m_Fields = pBase->m_Fields;
            c->m_Methods = pBase->m_Methods;
            for (int i = 0; i < MT_COUNT; ++i)
                c->m_MetaMethods[i] = pBase->m_MetaMethods[i];
            c->m_Constructor = pBase->m_Constructor;
            c->m_pTypeTag = nullptr;
            c->m_pReleaseHook = pBase->m_pReleaseHook;
            c->m_pReleaseHookData = pBase->m_pReleaseHookData;
        } else {
            c->m_pMembers = CSqTable::Create(pState, 0);
        }
        SqAddRef(c->m_pMembers);
        SqGcLink(pState, c);
        return c;
    }

    CSqClass::~CSqClass()
    {
        if (m_pMembers)
            SqRelease(m_pMembers);
        if (m_pBase)
            SqRelease(m_pBase);
    }

    bool CSqClass::GetMemberIndex(const SqValue& key, SqInteger* pEncoded) const
    {
        SqNode* n = m_pMembers->Find(key);
        if (!n)
            return false;
        *pEncoded = n->m_Value.m_iValue;
        return true;
    }

    bool CSqClass::Get(const SqValue& key, SqValue& out) const
    {
        SqNode* n = m_pMembers->Find(key);
        if (!n)
            return false;
        SqInteger i = n->m_Value.m_iValue;
        SqAssignReal(out, (i & 3) == MEMBER_FIELD ? m_Fields[static_cast<size_t>(i >> 2)].m_Value : m_Methods[static_cast<size_t>(i >> 2)].m_Value);
        return true;
    }

    bool CSqClass::SetMember(const SqValue& key, const SqValue& value)
    {
        SqInteger i;
        if (!GetMemberIndex(key, &i))
            return false;
        *MemberSlot(i) = value;
        return true;
    }

    void CSqClass::NewMember(CSqSharedState* pState, const SqValue& key, const SqValue& value, const SqValue& attributes, bool bStatic)
    {
        bool bFunction = value.Type() == SQ_CLOSURE || value.Type() == SQ_NATIVECLOSURE;
        SqValue stored = value;
        if (value.Type() == SQ_CLOSURE && m_pBase) {
            // A method knows the base class for `base`; a closure already bound elsewhere is copied.
            CSqClosure* c = value.Closure();
            if (c->m_pBase != m_pBase) {
                if (c->m_pBase) {
                    c = c->Clone(pState);
                    stored = SqValue(c);
                }
                if (c->m_pBase)
                    SqRelease(c->m_pBase);
                c->m_pBase = m_pBase;
                SqAddRef(m_pBase);
            }
        }
        int eKind = bFunction && !bStatic ? MEMBER_METHOD : MEMBER_FIELD;
        SqInteger iExisting;
        if (GetMemberIndex(key, &iExisting) && (iExisting & 3) == eKind) {
            SqClassMember* m = MemberInfo(iExisting);
            m->m_Value = stored;
            if (!attributes.IsNull())
                m->m_Attributes = attributes;
            m->m_bStatic = bStatic;
        } else {
            std::vector<SqClassMember>& list = eKind == MEMBER_METHOD ? m_Methods : m_Fields;
            SqClassMember m;
            m.m_Value = stored;
            m.m_Attributes = attributes;
            m.m_bStatic = bStatic;
            list.push_back(std::move(m));
            m_pMembers->NewSlot(key, SqValue::Integer(static_cast<SqInteger>((list.size() - 1) << 2) | eKind));
        }
        if (key.Type() == SQ_STRING) {
            if (key.m_pObj == pState->m_strConstructor.m_pObj)
                m_Constructor = stored;
            for (int i = 0; i < MT_COUNT; ++i) {
                if (key.m_pObj == pState->m_MetaNames[i].m_pObj) {
                    m_MetaMethods[i] = stored;
                    break;
                }
            }
        }
    }

    CSqInstance* CSqInstance::Create(CSqSharedState* pState, CSqClass* pClass)
    {
        CSqInstance* inst = new CSqInstance();
        inst->m_pClass = pClass;
        SqAddRef(pClass);
        inst->m_Values.reserve(pClass->m_Fields.size());
        for (const SqClassMember& m : pClass->m_Fields)
            inst->m_Values.push_back(m.m_Value);
        inst->m_pReleaseHook = pClass->m_pReleaseHook;
        inst->m_pReleaseHookData = pClass->m_pReleaseHookData;
        pClass->m_bLocked = true;
        SqGcLink(pState, inst);
        return inst;
    }

    CSqInstance::~CSqInstance()
    {
        if (m_pReleaseHook)
            m_pReleaseHook(m_pUserPointer, m_pReleaseHookData);
        m_Values.clear();
        if (m_pClass)
            SqRelease(m_pClass);
    }

    bool CSqInstance::Get(const SqValue& key, SqValue& out) const
    {
        SqNode* n = m_pClass->m_pMembers->Find(key);
        if (!n)
            return false;
        SqInteger i = n->m_Value.m_iValue;
        size_t idx = static_cast<size_t>(i >> 2);
        if ((i & 3) == MEMBER_FIELD)
            SqAssignReal(out, idx < m_Values.size() ? m_Values[idx] : m_pClass->m_Fields[idx].m_Value);
        else
            out = m_pClass->m_Methods[idx].m_Value;
        return true;
    }

    bool CSqInstance::Set(const SqValue& key, const SqValue& value)
    {
        SqNode* n = m_pClass->m_pMembers->Find(key);
        if (!n)
            return false;
        SqInteger i = n->m_Value.m_iValue;
        size_t idx = static_cast<size_t>(i >> 2);
        if ((i & 3) != MEMBER_FIELD || idx >= m_Values.size())
            return false;
        m_Values[idx] = value;
        return true;
    }

    CSqInstance* CSqInstance::Clone(CSqSharedState* pState) const
    {
        CSqInstance* inst = new CSqInstance();
        inst->m_pClass = m_pClass;
        SqAddRef(m_pClass);
        inst->m_Values = m_Values;
        SqGcLink(pState, inst);
        return inst;
    }

    // ---------------------------------------------------------------- weak references
    CSqWeakRef* CSqWeakRef::Of(CSqRefObj* pTarget)
    {
        if (!pTarget->m_pWeakRef) {
            CSqWeakRef* w = new CSqWeakRef();
            w->m_pTarget = pTarget;
            pTarget->m_pWeakRef = w;
        }
        return pTarget->m_pWeakRef;
    }
}
