// Tagged values and the reference-counted object header.
#pragma once

#include <Squirrel/Squirrel.h>

#include <cstring>
#include <utility>

namespace Torvane3D::Squirrel
{
    class CSqString;
    class CSqTable;
    class CSqArray;
    class CSqClosure;
    class CSqNativeClosure;
    class CSqGenerator;
    class CSqThread;
    class CSqClass;
    class CSqInstance;
    class CSqWeakRef;
    class CSqFuncProto;
    class CSqOuter;
    class CSqSharedState;

    inline bool IsRefCounted(eSqType t) { return t >= SQ_STRING; }

    // double to float with the IEEE result for values beyond the float range (infinity),
    // spelled out because the plain conversion is undefined there.
    inline SqFloat SqToFloat(double d)
    {
        if (d > 3.4028234663852886e38)
            return d < 3.4028235677973366e38 ? 3.4028234663852886e38f : __builtin_inff();
        if (d < -3.4028234663852886e38)
            return d > -3.4028235677973366e38 ? -3.4028234663852886e38f : -__builtin_inff();
        return static_cast<SqFloat>(d);
    }

    // Header of every reference-counted object.
    struct CSqRefObj
    {
        explicit CSqRefObj(eSqType eType) : m_eType(eType) {}
        CSqRefObj(const CSqRefObj&) = delete;
        CSqRefObj& operator=(const CSqRefObj&) = delete;

        uint32_t m_uRefCount = 0;
        uint32_t m_uGcRefs = 0; // scratch of the cycle collector
        eSqType m_eType;
        uint8_t m_uGcFlags = 0;
        CSqWeakRef* m_pWeakRef = nullptr; // the one weak reference object of this target
    };

    // Objects that can hold references to other objects take part in cycle collection.
    struct CSqGcObj : CSqRefObj
    {
        explicit CSqGcObj(eSqType eType) : CSqRefObj(eType) {}
        CSqGcObj* m_pGcPrev = nullptr;
        CSqGcObj* m_pGcNext = nullptr;
    };

    // Called when a count drops to zero; frees iteratively, never recursing deeply.
    void SqFreeObject(CSqRefObj* p);

    inline void SqAddRef(CSqRefObj* p) { ++p->m_uRefCount; }
    inline void SqRelease(CSqRefObj* p)
    {
        if (--p->m_uRefCount == 0)
            SqFreeObject(p);
    }

    class SqValue
    {
    public:
        SqValue() : m_uRaw(0), m_eType(SQ_NULL) {}
        SqValue(const SqValue& o) : m_uRaw(o.m_uRaw), m_eType(o.m_eType)
        {
            if (IsRefCounted(m_eType))
                ++m_pObj->m_uRefCount;
        }
        SqValue(SqValue&& o) noexcept : m_uRaw(o.m_uRaw), m_eType(o.m_eType) { o.m_eType = SQ_NULL; }
        explicit SqValue(CSqRefObj* p) : m_pObj(p), m_eType(p ? p->m_eType : SQ_NULL)
        {
            if (p)
                ++p->m_uRefCount;
        }
        static SqValue Integer(SqInteger i)
        {
            SqValue v;
            v.m_eType = SQ_INTEGER;
            v.m_iValue = i;
            return v;
        }
        static SqValue Float(SqFloat f)
        {
            SqValue v;
            v.m_eType = SQ_FLOAT;
            v.m_fValue = f;
            return v;
        }
        static SqValue Bool(bool b)
        {
            SqValue v;
            v.m_eType = SQ_BOOL;
            v.m_iValue = b ? 1 : 0;
            return v;
        }
        static SqValue UserPointer(void* p)
        {
            SqValue v;
            v.m_eType = SQ_USERPOINTER;
            v.m_pPointer = p;
            return v;
        }
        ~SqValue()
        {
            if (IsRefCounted(m_eType))
                SqRelease(m_pObj);
        }

        __attribute__((always_inline)) SqValue& operator=(const SqValue& o)
        {
            CSqRefObj* pOld = IsRefCounted(m_eType) ? m_pObj : nullptr;
            m_eType = o.m_eType;
            m_uRaw = o.m_uRaw;
            if (IsRefCounted(m_eType))
                ++m_pObj->m_uRefCount;
            if (pOld)
                SqRelease(pOld);
            return *this;
        }
        __attribute__((always_inline)) SqValue& operator=(SqValue&& o) noexcept
        {
            if (this != &o) {
                CSqRefObj* pOld = IsRefCounted(m_eType) ? m_pObj : nullptr;
                m_eType = o.m_eType;
                m_uRaw = o.m_uRaw;
                o.m_eType = SQ_NULL;
                if (pOld)
                    SqRelease(pOld);
            }
            return *this;
        }
        void SetNull()
        {
            if (IsRefCounted(m_eType)) {
                CSqRefObj* pOld = m_pObj;
                m_eType = SQ_NULL;
                SqRelease(pOld);
            } else {
                m_eType = SQ_NULL;
            }
        }
        void SetInteger(SqInteger i)
        {
            if (IsRefCounted(m_eType))
                SetNull();
            m_eType = SQ_INTEGER;
            m_iValue = i;
        }
        void SetFloat(SqFloat f)
        {
            if (IsRefCounted(m_eType))
                SetNull();
            m_eType = SQ_FLOAT;
            m_uRaw = 0;
            m_fValue = f;
        }
        void SetBool(bool b)
        {
            if (IsRefCounted(m_eType))
                SetNull();
            m_eType = SQ_BOOL;
            m_iValue = b ? 1 : 0;
        }
        void SetObject(CSqRefObj* p)
        {
            if (!p) {
                SetNull();
                return;
            }
            ++p->m_uRefCount;
            CSqRefObj* pOld = IsRefCounted(m_eType) ? m_pObj : nullptr;
            m_eType = p->m_eType;
            m_pObj = p;
            if (pOld)
                SqRelease(pOld);
        }

        eSqType Type() const { return m_eType; }
        bool IsNull() const { return m_eType == SQ_NULL; }
        bool IsNumeric() const { return m_eType == SQ_INTEGER || m_eType == SQ_FLOAT; }
        // Only null, false, 0 and 0.0 are false.
        bool IsFalse() const
        {
            switch (m_eType) {
            case SQ_NULL: return true;
            case SQ_INTEGER:
            case SQ_BOOL: return m_iValue == 0;
            case SQ_FLOAT: return m_fValue == 0.0f;
            default: return false;
            }
        }
        SqFloat ToFloat() const { return m_eType == SQ_FLOAT ? m_fValue : static_cast<SqFloat>(m_iValue); }

        CSqString* String() const { return reinterpret_cast<CSqString*>(m_pObj); }
        CSqTable* Table() const { return reinterpret_cast<CSqTable*>(m_pObj); }
        CSqArray* Array() const { return reinterpret_cast<CSqArray*>(m_pObj); }
        CSqClosure* Closure() const { return reinterpret_cast<CSqClosure*>(m_pObj); }
        CSqNativeClosure* NativeClosure() const { return reinterpret_cast<CSqNativeClosure*>(m_pObj); }
        CSqGenerator* Generator() const { return reinterpret_cast<CSqGenerator*>(m_pObj); }
        CSqThread* Thread() const;
        CSqClass* Class() const { return reinterpret_cast<CSqClass*>(m_pObj); }
        CSqInstance* Instance() const { return reinterpret_cast<CSqInstance*>(m_pObj); }
        CSqWeakRef* WeakRef() const { return reinterpret_cast<CSqWeakRef*>(m_pObj); }

        // Same type and same bits: identity for objects, exact equality for scalars
        // (so 1 and 1.0, or 0.0 and -0.0, are different keys).
        bool RawEquals(const SqValue& o) const { return m_eType == o.m_eType && m_uRaw == o.m_uRaw; }

        union
        {
            uint64_t m_uRaw;
            SqInteger m_iValue;
            SqFloat m_fValue;
            CSqRefObj* m_pObj;
            void* m_pPointer;
        };
        eSqType m_eType;
    };
}
