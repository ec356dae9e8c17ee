// The object model: strings, tables, arrays, functions, classes, instances, weak references.
#pragma once

#include "SqValue.h"

#include <string_view>
#include <vector>

namespace Torvane3D::Squirrel
{
    // ---- Strings: immutable byte strings, interned per shared state, hash cached. ----
    class CSqString : public CSqRefObj
    {
    public:
        static CSqString* Create(CSqSharedState* pState, const char* p, size_t nLength);
        static uint64_t Hash(const char* p, size_t nLength);

        const char* Data() const { return m_szData; }
        size_t Length() const { return m_uLength; }
        std::string_view View() const { return {m_szData, m_uLength}; }

        CSqSharedState* m_pState;
        CSqString* m_pNextInBucket = nullptr;
        uint64_t m_uHash;
        uint32_t m_uLength;
        char m_szData[1]; // zero-terminated copy, allocated to length

    private:
        CSqString() : CSqRefObj(SQ_STRING) {}
        friend class CSqSharedState;
    };

    uint64_t SqHashValue(const SqValue& key);

    // ---- Tables: coalesced hashing inside one node array (open addressing with chains),
    // a free cursor that only moves down, Brent's move of misplaced nodes. Iteration is in
    // slot order; removal never moves other keys, so deleting while iterating is safe. ----
    struct SqNode
    {
        // Null key: a free slot. A removed key leaves a tombstone (null with bits 1): it keeps
        // its place in the chain and is only reused by a key of its own main position.
        bool IsFree() const { return m_Key.m_eType == SQ_NULL && m_Key.m_uRaw == 0; }
        SqValue m_Key;
        SqValue m_Value;
        SqNode* m_pNext = nullptr;
    };

    class CSqTable : public CSqGcObj
    {
    public:
        static CSqTable* Create(CSqSharedState* pState, size_t nCapacityHint);
        ~CSqTable();

        SqNode* Find(const SqValue& key) const
        {
            if (key.m_eType == SQ_STRING)
                return FindString(key.String());
            if (key.m_eType == SQ_NULL)
                return nullptr;
            SqNode* n = &m_pNodes[SqHashValue(key) & (m_uCapacity - 1)];
            do {
                if (n->m_Key.RawEquals(key))
                    return n;
                n = n->m_pNext;
            } while (n);
            return nullptr;
        }
        SqNode* FindString(const CSqString* pKey) const
        {
            SqNode* n = &m_pNodes[pKey->m_uHash & (m_uCapacity - 1)];
            do {
                if (n->m_Key.m_pObj == pKey && n->m_Key.m_eType == SQ_STRING)
                    return n;
                n = n->m_pNext;
            } while (n);
            return nullptr;
        }
        bool Get(const SqValue& key, SqValue& out) const
        {
            SqNode* n = Find(key);
            if (!n)
                return false;
            out = n->m_Value;
            return true;
        }
        // Overwrites an existing slot only.
        bool Set(const SqValue& key, const SqValue& value)
        {
            SqNode* n = Find(key);
            if (!n)
                return false;
            n->m_Value = value;
            return true;
        }
        // Creates or overwrites. The key must not be null.
        void NewSlot(const SqValue& key, const SqValue& value);
        bool Remove(const SqValue& key);
        void Clear();
        size_t Count() const { return m_uCount; }
        // Iteration by slot: returns the next slot index after filling key and value, or -1.
        int64_t Next(int64_t iSlot, SqValue* pKey, SqValue* pValue) const;
        CSqTable* Clone() const;

        CSqSharedState* m_pState;
        SqNode* m_pNodes = nullptr;
        uint32_t m_uCapacity = 0;
        uint32_t m_uCount = 0;
        uint32_t m_uFreeCursor = 0;
        CSqTable* m_pDelegate = nullptr; // owned reference

    private:
        CSqTable() : CSqGcObj(SQ_TABLE) {}
        void Allocate(uint32_t uCapacity);
        void Rebuild(uint32_t uCapacity);
        void Insert(const SqValue& key, const SqValue& value); // key known absent, room known
        SqNode* FreePosition();
    };

    // ---- Arrays ----
    class CSqArray : public CSqGcObj
    {
    public:
        static CSqArray* Create(CSqSharedState* pState, size_t nSize);
        std::vector<SqValue> m_Values;

    private:
        CSqArray() : CSqGcObj(SQ_ARRAY) {}
    };

    // ---- Functions ----
    struct SqInstr
    {
        uint8_t op;
        uint8_t a;
        uint8_t b;
        uint8_t c;
        int32_t d;
    };

    struct SqLocalInfo
    {
        SqValue m_Name;
        uint32_t m_uStartPc;
        uint32_t m_uEndPc;
        uint32_t m_uRegister;
    };

    struct SqLineInfo
    {
        uint32_t m_uPc;
        int32_t m_iLine;
    };

    struct SqOuterInfo
    {
        SqValue m_Name;
        bool m_bFromLocal; // true: a register of the enclosing function; false: its outer
        uint32_t m_uIndex;
    };

    class CSqFuncProto : public CSqRefObj
    {
    public:
        CSqFuncProto() : CSqRefObj(SQ_FUNCPROTO) {}
        int LineOf(const SqInstr* pInstr) const;

        std::vector<SqInstr> m_Code;
        std::vector<SqValue> m_Constants;
        std::vector<SqValue> m_Functions; // nested prototypes
        std::vector<SqLocalInfo> m_Locals;
        std::vector<SqLineInfo> m_Lines;
        std::vector<SqOuterInfo> m_Outers;
        std::vector<SqValue> m_ParamNames; // includes "this" (and "vargv" is a local)
        int m_nParams = 1;                 // including this
        int m_nDefaults = 0;
        bool m_bVarArgs = false;
        bool m_bGenerator = false;
        int m_nStackSize = 2;
        SqValue m_Name;
        SqValue m_Source;
    };

    class CSqOuter : public CSqGcObj
    {
    public:
        static CSqOuter* Create(CSqSharedState* pState, CSqThread* pThread, int iStackIndex);
        ~CSqOuter();
        SqValue* m_pValue;     // into the owning stack while open, else &m_Closed
        SqValue m_Closed;
        CSqOuter* m_pNextOpen = nullptr;
        int m_iStackIndex;
        CSqThread* m_pThread; // null once closed

    private:
        CSqOuter() : CSqGcObj(SQ_OUTER) {}
    };

    class CSqClosure : public CSqGcObj
    {
    public:
        static CSqClosure* Create(CSqSharedState* pState, CSqFuncProto* pProto, CSqWeakRef* pRoot);
        ~CSqClosure();
        CSqClosure* Clone(CSqSharedState* pState) const;

        // Facts of the prototype cached for the call fast path. m_iFastArgs is the argument
        // count (with `this`) a plain call needs, or -1 when the call must take the full path
        // (varargs, defaults, generator, bound environment).
        void UpdateFastPath()
        {
            const CSqFuncProto* p = m_pProto;
            m_pCode = p->m_Code.data();
            m_pConstants = p->m_Constants.data();
            m_iStackSize = p->m_nStackSize;
            m_iFastArgs = (p->m_bVarArgs || p->m_bGenerator || p->m_nDefaults || m_pEnv) ? -1 : p->m_nParams;
        }

        CSqFuncProto* m_pProto; // owned
        const SqInstr* m_pCode = nullptr;
        const SqValue* m_pConstants = nullptr;
        int m_iStackSize = 0;
        int m_iFastArgs = -1;
        std::vector<CSqOuter*> m_Outers; // owned
        std::vector<SqValue> m_Defaults;
        CSqWeakRef* m_pEnv = nullptr;  // bindenv: `this` replacement, weak
        CSqWeakRef* m_pRoot = nullptr; // root table at creation, weak
        CSqClass* m_pBase = nullptr;   // for `base` inside methods, owned

    private:
        CSqClosure() : CSqGcObj(SQ_CLOSURE) {}
    };

    class CSqNativeClosure : public CSqGcObj
    {
    public:
        static CSqNativeClosure* Create(CSqSharedState* pState, SqNativeFunction pFunction);
        ~CSqNativeClosure();
        CSqNativeClosure* Clone(CSqSharedState* pState) const;

        SqNativeFunction m_pFunction;
        void* m_pUserPointer = nullptr;
        std::vector<SqValue> m_FreeVars;
        SqValue m_Name;
        int m_nParamsCheck = 0;
        std::vector<uint32_t> m_TypeMasks; // per parameter from `this`, bit per eSqType
        CSqWeakRef* m_pEnv = nullptr;
        CSqWeakRef* m_pRoot = nullptr;

    private:
        CSqNativeClosure() : CSqGcObj(SQ_NATIVECLOSURE) {}
    };

    enum eSqGeneratorState
    {
        GENERATOR_SUSPENDED,
        GENERATOR_RUNNING,
        GENERATOR_DEAD,
    };

    class CSqGenerator : public CSqGcObj
    {
    public:
        static CSqGenerator* Create(CSqSharedState* pState, CSqThread* pThread);
        ~CSqGenerator();
        CSqThread* m_pThread; // owned: the generator's own stack and frame
        eSqGeneratorState m_eState = GENERATOR_SUSPENDED;

    private:
        CSqGenerator() : CSqGcObj(SQ_GENERATOR) {}
    };

    // ---- Classes and instances ----
    enum eSqMetaMethod
    {
        MT_ADD,
        MT_SUB,
        MT_MUL,
        MT_DIV,
        MT_UNM,
        MT_MODULO,
        MT_SET,
        MT_GET,
        MT_TYPEOF,
        MT_NEXTI,
        MT_CMP,
        MT_CALL,
        MT_CLONED,
        MT_NEWSLOT,
        MT_DELSLOT,
        MT_TOSTRING,
        MT_NEWMEMBER,
        MT_INHERITED,
        MT_COUNT
    };

    // A class member is stored in the member table as an integer: index << 2 | kind.
    enum eSqMemberKind
    {
        MEMBER_FIELD = 1,
        MEMBER_METHOD = 2,
    };

    struct SqClassMember
    {
        SqValue m_Value;
        SqValue m_Attributes;
        bool m_bStatic = false;
    };

    class CSqClass : public CSqGcObj
    {
    public:
        static CSqClass* Create(CSqSharedState* pState, CSqClass* pBase);
        ~CSqClass();

        // Adds or replaces a member; functions become methods unless static.
        void NewMember(CSqSharedState* pState, const SqValue& key, const SqValue& value, const SqValue& attributes, bool bStatic);
        bool Get(const SqValue& key, SqValue& out) const;
        bool SetMember(const SqValue& key, const SqValue& value); // existing members only
        bool GetMemberIndex(const SqValue& key, SqInteger* pEncoded) const;
        SqValue* MemberSlot(SqInteger iEncoded)
        {
            return (iEncoded & 3) == MEMBER_FIELD ? &m_Fields[static_cast<size_t>(iEncoded >> 2)].m_Value
                                                  : &m_Methods[static_cast<size_t>(iEncoded >> 2)].m_Value;
        }
        SqClassMember* MemberInfo(SqInteger iEncoded)
        {
            return (iEncoded & 3) == MEMBER_FIELD ? &m_Fields[static_cast<size_t>(iEncoded >> 2)]
                                                  : &m_Methods[static_cast<size_t>(iEncoded >> 2)];
        }
        bool IsDerivedFrom(const CSqClass* pOther) const
        {
            for (const CSqClass* p = this; p; p = p->m_pBase)
                if (p == pOther)
                    return true;
            return false;
        }

        CSqClass* m_pBase = nullptr; // owned
        CSqTable* m_pMembers;        // owned
        std::vector<SqClassMember> m_Fields;
        std::vector<SqClassMember> m_Methods;
        SqValue m_Attributes;
        SqValue m_MetaMethods[MT_COUNT];
        SqValue m_Constructor;
        bool m_bLocked = false;
        const void* m_pTypeTag = nullptr;
        SqReleaseHook m_pReleaseHook = nullptr;
        void* m_pReleaseHookData = nullptr;

    private:
        CSqClass() : CSqGcObj(SQ_CLASS) {}
    };

    class CSqInstance : public CSqGcObj
    {
    public:
        static CSqInstance* Create(CSqSharedState* pState, CSqClass* pClass);
        ~CSqInstance();
        bool Get(const SqValue& key, SqValue& out) const;
        bool Set(const SqValue& key, const SqValue& value);
        bool InstanceOf(const CSqClass* pClass) const { return m_pClass->IsDerivedFrom(pClass); }
        CSqInstance* Clone(CSqSharedState* pState) const;

        CSqClass* m_pClass; // owned
        std::vector<SqValue> m_Values;
        void* m_pUserPointer = nullptr;
        SqReleaseHook m_pReleaseHook = nullptr;
        void* m_pReleaseHookData = nullptr;

    private:
        CSqInstance() : CSqGcObj(SQ_INSTANCE) {}
    };

    // ---- Weak references: one object per target, cleared when the target dies. ----
    class CSqWeakRef : public CSqRefObj
    {
    public:
        // The weak reference of a reference-counted value (created on first request).
        static CSqWeakRef* Of(CSqRefObj* pTarget);
        SqValue Get() const
        {
            if (!m_pTarget)
                return SqValue();
            return SqValue(m_pTarget);
        }
        CSqRefObj* m_pTarget; // not owned

    private:
        CSqWeakRef() : CSqRefObj(SQ_WEAKREF) {}
    };

    // Reading a slot of a table, array, class or instance dereferences a stored weak reference.
    inline void SqAssignReal(SqValue& dst, const SqValue& src)
    {
        if (src.m_eType != SQ_WEAKREF)
            dst = src;
        else
            dst = src.WeakRef()->Get();
    }
    inline SqValue SqRealValue(const SqValue& src) { return src.m_eType != SQ_WEAKREF ? src : src.WeakRef()->Get(); }

    // Links a collectable object into the collector's list of its state.
    void SqGcLink(CSqSharedState* pState, CSqGcObj* pObj);
}
