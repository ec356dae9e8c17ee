#include <Engine/RefCounted.h>

#include <gtest/gtest.h>

#include <vector>

using namespace Torvane3D;

namespace
{
    struct CProbe : CBaseObject
    {
        explicit CProbe(int* pDestroyed) : m_pDestroyed(pDestroyed) {}
        ~CProbe() override { ++*m_pDestroyed; }
        int* m_pDestroyed;
    };

    struct CParkingBinding : IUserData
    {
        bool Destruct() override { return m_bKeep; }
        bool m_bKeep = true;
    };

    struct CTestPool : IObjectPool
    {
        void Free(void* pBlock) override { m_Freed.push_back(pBlock); }
        std::vector<void*> m_Freed;
    };
}

TEST(RefCounted, CountsAndDeletesOnLastRelease)
{
    int destroyed = 0;
    auto* p = new CProbe(&destroyed);
    EXPECT_EQ(p->GetRefCount(), 1);
    EXPECT_EQ(p->AddRef(), 2);
    p->Release();
    EXPECT_EQ(destroyed, 0);
    p->Release();
    EXPECT_EQ(destroyed, 1);
}

TEST(RefCounted, StrongAddsAndReleases)
{
    int destroyed = 0;
    {
        Strong<CProbe> a = Strong<CProbe>::Adopt(new CProbe(&destroyed));
        EXPECT_EQ(a->GetRefCount(), 1);
        Strong<CProbe> b = a;
        EXPECT_EQ(a->GetRefCount(), 2);
        Strong<CProbe> c = std::move(b);
        EXPECT_FALSE(b);
        EXPECT_EQ(a->GetRefCount(), 2);
        c = nullptr;
        EXPECT_EQ(a->GetRefCount(), 1);
        a = a; // self-assignment keeps the object
        EXPECT_EQ(destroyed, 0);
    }
    EXPECT_EQ(destroyed, 1);
}

TEST(RefCounted, WeakReadsNullAfterLastRelease)
{
    int destroyed = 0;
    auto* p = new CProbe(&destroyed);
    Weak<CProbe> w1 = p;
    Weak<CProbe> w2 = w1;
    EXPECT_EQ(p->GetWeakReferenceCount(), 2u);
    p->Release();
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(w1.Get(), nullptr);
    EXPECT_EQ(w2.Get(), nullptr);
}

TEST(RefCounted, WeakReadsNullAfterObliterateWithCountsLeft)
{
    int destroyed = 0;
    auto* p = new CProbe(&destroyed);
    p->AddRef();
    Weak<CProbe> w = p;
    p->Obliterate();
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(w.Get(), nullptr);
}

TEST(RefCounted, WeakUnregistersOnReassignAndDestruction)
{
    int destroyed = 0;
    Strong<CProbe> a = Strong<CProbe>::Adopt(new CProbe(&destroyed));
    Strong<CProbe> b = Strong<CProbe>::Adopt(new CProbe(&destroyed));
    {
        Weak<CProbe> w = a.Get();
        EXPECT_EQ(a->GetWeakReferenceCount(), 1u);
        w = b.Get();
        EXPECT_EQ(a->GetWeakReferenceCount(), 0u);
        EXPECT_EQ(b->GetWeakReferenceCount(), 1u);
    }
    EXPECT_EQ(b->GetWeakReferenceCount(), 0u);
}

TEST(RefCounted, SubclassDestructorSeesNullWeak)
{
    static bool s_bSeenNull = false;
    struct CSelfWatch : CBaseObject
    {
        ~CSelfWatch() override { s_bSeenNull = (m_Self.Get() == nullptr); }
        Weak<CSelfWatch> m_Self;
    };
    auto* p = new CSelfWatch;
    p->m_Self = p;
    p->Release();
    EXPECT_TRUE(s_bSeenNull);
}

TEST(RefCounted, ReleaseWhileBeingDestroyedDoesNothing)
{
    static int s_iDestroyed = 0;
    struct CReleasesSelf : CBaseObject
    {
        ~CReleasesSelf() override
        {
            ++s_iDestroyed;
            AddRef();
            Release(); // count 1 -> 0 during destruction: must not delete again
        }
    };
    (new CReleasesSelf)->Release();
    EXPECT_EQ(s_iDestroyed, 1);
}

TEST(RefCounted, ParkedByScriptWrapperUntilObliterated)
{
    int destroyed = 0;
    auto* p = new CProbe(&destroyed);
    auto* pBinding = new CParkingBinding;
    ASSERT_TRUE(p->AddJSScriptReference(pBinding));
    Weak<CProbe> w = p;
    p->Release();
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(p->GetRefCount(), 0);
    EXPECT_EQ(w.Get(), p);
    // Revived by a new owner, then released again: still parked.
    EXPECT_EQ(p->AddRef(), 1);
    p->Release();
    EXPECT_EQ(destroyed, 0);
    // The wrapper's finaliser obliterates it.
    p->Obliterate();
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(w.Get(), nullptr);
}

TEST(RefCounted, SecondBindingForSameEngineRefused)
{
    int destroyed = 0;
    Strong<CProbe> p = Strong<CProbe>::Adopt(new CProbe(&destroyed));
    auto* pFirst = new IUserData;
    auto* pSecond = new IUserData;
    EXPECT_TRUE(p->AddSqScriptReference(pFirst));
    EXPECT_FALSE(p->AddSqScriptReference(pSecond));
    delete pSecond;
    EXPECT_TRUE(p->AddScriptReference(new IUserData));
}

TEST(RefCounted, PooledObjectReturnsToPool)
{
    CTestPool pool;
    alignas(CProbe) unsigned char storage[sizeof(CProbe)];
    int destroyed = 0;
    auto* p = new (storage) CProbe(&destroyed);
    p->SetPool(&pool);
    p->Release();
    EXPECT_EQ(destroyed, 1);
    ASSERT_EQ(pool.m_Freed.size(), 1u);
    EXPECT_EQ(pool.m_Freed[0], static_cast<void*>(p));
}
