#include <Engine/RefCounted.h>

#include <Engine/Assert.h>

namespace Torvane3D
{
    CBaseObject::~CBaseObject()
    {
        m_bBeingDestroyed = true;
        ClearWeakReferences();
        delete m_pDestroyNotification;
        m_pDestroyNotification = nullptr;
        delete m_pScriptReference;
        m_pScriptReference = nullptr;
        delete m_pJSScriptReference;
        m_pJSScriptReference = nullptr;
        delete m_pSqScriptReference;
        m_pSqScriptReference = nullptr;
        delete m_pModuleInterface;
        m_pModuleInterface = nullptr;
    }

    void CBaseObject::Release()
    {
        if (m_iRefCount.fetch_sub(1, std::memory_order_acq_rel) > 1)
            return;
        if (m_bBeingDestroyed)
            return;
        if (m_pJSScriptReference && m_pJSScriptReference->Destruct()) {
            // Parked at count 0 until the script wrapper is finalised; AddRef revives it.
            m_iRefCount.store(0, std::memory_order_release);
            return;
        }
        Obliterate();
    }

    void CBaseObject::Obliterate()
    {
        if (m_bBeingDestroyed)
            return;
        m_bBeingDestroyed = true;
        // Weak slots go first, so that no Weak can reach the object while subclass
        // destructors are running.
        ClearWeakReferences();
        if (!m_pPool) {
            delete this;
            return;
        }
        IObjectPool* pPool = m_pPool;
        this->~CBaseObject();
        pPool->Free(this);
    }

    void CBaseObject::ClearWeakReferences()
    {
        // A slot's owner may unregister while we clear; work on a detached copy.
        std::unordered_set<CBaseObject**> slots;
        slots.swap(m_WeakSlots);
        for (CBaseObject** ppSlot : slots)
            *ppSlot = nullptr;
    }

    void CBaseObject::CreateReference(CBaseObject** ppSlot)
    {
        if (m_bBeingDestroyed) {
            // Registering with a dying object would leave a dangling slot behind.
            *ppSlot = nullptr;
            return;
        }
        m_WeakSlots.insert(ppSlot);
    }

    void CBaseObject::RemoveReference(CBaseObject** ppSlot)
    {
        m_WeakSlots.erase(ppSlot);
    }

    bool CBaseObject::AddScriptReference(IUserData* pData)
    {
        TORVANE_ASSERT(!m_pScriptReference);
        if (m_pScriptReference)
            return false;
        m_pScriptReference = pData;
        return true;
    }

    bool CBaseObject::AddJSScriptReference(IUserData* pData)
    {
        TORVANE_ASSERT(!m_pJSScriptReference);
        if (m_pJSScriptReference)
            return false;
        m_pJSScriptReference = pData;
        return true;
    }

    bool CBaseObject::AddSqScriptReference(IUserData* pData)
    {
        TORVANE_ASSERT(!m_pSqScriptReference);
        if (m_pSqScriptReference)
            return false;
        m_pSqScriptReference = pData;
        return true;
    }

    void CBaseObject::SetDestroyNotification(IUserData* pRecord)
    {
        delete m_pDestroyNotification;
        m_pDestroyNotification = pRecord;
    }
}
