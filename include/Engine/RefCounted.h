// Reference-counted engine objects, weak references and binding data slots.
#pragma once

#include <Engine/Torvane.h>

#include <atomic>
#include <unordered_set>
#include <utility>

class ReflectedClass;

namespace Torvane3D
{
    class CArgument;

    // Root of the engine's class tree.
    class CBase
    {
    public:
        virtual ~CBase() = default;
    };

    // Intrusive, atomic reference count. A new object starts at 1, owned by its creator.
    class CRefCounted : public CBase
    {
    public:
        CRefCounted() = default;
        CRefCounted(const CRefCounted&) = delete;
        CRefCounted& operator=(const CRefCounted&) = delete;

        virtual int GetRefCount() const { return m_iRefCount.load(std::memory_order_acquire); }
        virtual int AddRef() { return m_iRefCount.fetch_add(1, std::memory_order_relaxed) + 1; }
        virtual void Release()
        {
            if (m_iRefCount.fetch_sub(1, std::memory_order_acq_rel) <= 1)
                delete this;
        }

    protected:
        std::atomic<int32_t> m_iRefCount{1};
    };

    // Data a script engine binding attaches to a native object.
    class IUserData
    {
    public:
        virtual ~IUserData() = default;
        // True when the script side still holds a live wrapper and will obliterate the
        // object itself when that wrapper is finalised.
        virtual bool Destruct() { return false; }
    };

    // Storage of pooled objects. Obliterate runs the destructor in place and hands the block back.
    class IObjectPool
    {
    public:
        virtual ~IObjectPool() = default;
        virtual void Free(void* pBlock) = 0;
    };

    class CBaseObject : public CRefCounted
    {
    public:
        CBaseObject() = default;
        ~CBaseObject() override;

        void Release() override;
        virtual ReflectedClass* GetReflectedClass() { return m_pReflectedClass; }
        // A new script value that refers to this object (an object value by default).
        virtual CArgument* CreateArgument();

        // Destroy now, whatever the count.
        void Obliterate();
        bool IsBeingDestroyed() const { return m_bBeingDestroyed; }

        // Weak slots: each registered slot is set to null when the object dies.
        void CreateReference(CBaseObject** ppSlot);
        void RemoveReference(CBaseObject** ppSlot);
        size_t GetWeakReferenceCount() const { return m_WeakSlots.size(); }

        // Binding data, one slot per script engine; a second install for the same engine is refused.
        bool AddScriptReference(IUserData* pData);   // Lua
        bool AddJSScriptReference(IUserData* pData); // JavaScript
        bool AddSqScriptReference(IUserData* pData); // Squirrel
        IUserData* GetScriptReference() const { return m_pScriptReference; }
        IUserData* GetJSScriptReference() const { return m_pJSScriptReference; }
        IUserData* GetSqScriptReference() const { return m_pSqScriptReference; }

        // Destruction notification installed by native modules; owned, destroyed with the object.
        void SetDestroyNotification(IUserData* pRecord);

        void SetReflectedClass(ReflectedClass* pClass) { m_pReflectedClass = pClass; }
        void SetPool(IObjectPool* pPool) { m_pPool = pPool; }

        // Cached native-module interface wrapper, created on first request by the module layer.
        CBase* GetModuleInterface() const { return m_pModuleInterface; }
        void SetModuleInterface(CBase* pInterface) { m_pModuleInterface = pInterface; }

    protected:
        // Empties every weak slot now; the element manager does this when it destroys an
        // element that scripts may still hold.
        void ClearWeakReferences();

    private:
        bool m_bBeingDestroyed = false;
        bool m_bSpare = false;
        IUserData* m_pDestroyNotification = nullptr;
        IUserData* m_pScriptReference = nullptr;
        IUserData* m_pJSScriptReference = nullptr;
        IUserData* m_pSqScriptReference = nullptr;
        std::unordered_set<CBaseObject**> m_WeakSlots;
        IObjectPool* m_pPool = nullptr;
        ReflectedClass* m_pReflectedClass = nullptr;
        CBase* m_pModuleInterface = nullptr;
    };

    // Owning pointer. Taking a raw pointer adds a count; use Adopt for a fresh object
    // whose creator's count should move into the Strong.
    template <class T>
    class Strong
    {
    public:
        Strong() = default;
        Strong(T* p) : m_pRef(p) { if (m_pRef) m_pRef->AddRef(); }
        Strong(const Strong& o) : Strong(o.m_pRef) {}
        Strong(Strong&& o) noexcept : m_pRef(std::exchange(o.m_pRef, nullptr)) {}
        template <class U>
        Strong(const Strong<U>& o) : Strong(o.Get()) {}
        ~Strong() { if (m_pRef) m_pRef->Release(); }

        static Strong Adopt(T* p)
        {
            Strong s;
            s.m_pRef = p;
            return s;
        }

        Strong& operator=(T* p)
        {
            if (p)
                p->AddRef();
            T* pOld = std::exchange(m_pRef, p);
            if (pOld)
                pOld->Release();
            return *this;
        }
        Strong& operator=(const Strong& o) { return *this = o.m_pRef; }
        Strong& operator=(Strong&& o) noexcept
        {
            if (this != &o) {
                T* pOld = std::exchange(m_pRef, std::exchange(o.m_pRef, nullptr));
                if (pOld)
                    pOld->Release();
            }
            return *this;
        }

        T* Get() const { return m_pRef; }
        T* operator->() const { return m_pRef; }
        T& operator*() const { return *m_pRef; }
        explicit operator bool() const { return m_pRef != nullptr; }
        operator T*() const { return m_pRef; }
        // Gives up ownership without releasing.
        T* Detach() { return std::exchange(m_pRef, nullptr); }

    private:
        T* m_pRef = nullptr;
    };

    template <class T, class... Args>
    Strong<T> MakeStrong(Args&&... args)
    {
        return Strong<T>::Adopt(new T(std::forward<Args>(args)...));
    }

    // Non-owning pointer that reads null once the object is destroyed.
    template <class T>
    class Weak
    {
    public:
        Weak() = default;
        Weak(T* p) { Set(p); }
        Weak(const Weak& o) { Set(o.Get()); }
        ~Weak() { Set(nullptr); }

        Weak& operator=(T* p)
        {
            Set(p);
            return *this;
        }
        Weak& operator=(const Weak& o)
        {
            Set(o.Get());
            return *this;
        }

        T* Get() const { return static_cast<T*>(m_pObject); }
        T* operator->() const { return Get(); }
        operator T*() const { return Get(); }
        explicit operator bool() const { return m_pObject != nullptr; }

    private:
        void Set(T* p)
        {
            CBaseObject* pNew = p;
            if (pNew == m_pObject)
                return;
            if (m_pObject)
                m_pObject->RemoveReference(&m_pObject);
            m_pObject = pNew;
            if (m_pObject)
                m_pObject->CreateReference(&m_pObject);
        }

        CBaseObject* m_pObject = nullptr;
    };

    // A scriptable object that holds one plain value (a vector, a matrix, a stream reference ...).
    template <class T>
    class CObjectValue : public CBaseObject
    {
    public:
        CObjectValue() = default;
        explicit CObjectValue(const T& value) : m_Value(value) {}
        T m_Value{};
    };

    class Identifiable : public CBaseObject
    {
    };
}
