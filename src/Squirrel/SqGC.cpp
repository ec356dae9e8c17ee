// Cycle collector (trial deletion): reference counting frees everything that is not part
// of a cycle at once; this finds the groups of objects referenced only from each other.
#include "SqGC.h"

#include "SqVM.h"

namespace Torvane3D::Squirrel
{
    namespace
    {
        constexpr uint8_t GC_MARKED = 1;

        bool IsCollectable(eSqType t)
        {
            switch (t) {
            case SQ_TABLE:
            case SQ_ARRAY:
            case SQ_CLOSURE:
            case SQ_NATIVECLOSURE:
            case SQ_GENERATOR:
            case SQ_THREAD:
            case SQ_CLASS:
            case SQ_INSTANCE:
            case SQ_OUTER:
                return true;
            default:
                return false;
            }
        }

        template <class F>
        void VisitValue(const SqValue& v, F& f)
        {
            if (IsCollectable(v.m_eType))
                f(static_cast<CSqGcObj*>(v.m_pObj));
        }

        // Calls f for every collectable object that o holds a counted reference to.
        template <class F>
        void Traverse(CSqGcObj* o, F& f)
        {
            switch (o->m_eType) {
            case SQ_TABLE: {
                CSqTable* t = static_cast<CSqTable*>(o);
                for (uint32_t i = 0; i < t->m_uCapacity; ++i) {
                    VisitValue(t->m_pNodes[i].m_Key, f);
                    VisitValue(t->m_pNodes[i].m_Value, f);
                }
                if (t->m_pDelegate)
                    f(t->m_pDelegate);
                break;
            }
            case SQ_ARRAY:
                for (const SqValue& v : static_cast<CSqArray*>(o)->m_Values)
                    VisitValue(v, f);
                break;
            case SQ_CLOSURE: {
                CSqClosure* c = static_cast<CSqClosure*>(o);
                for (CSqOuter* p : c->m_Outers)
                    if (p)
                        f(p);
                for (const SqValue& v : c->m_Defaults)
                    VisitValue(v, f);
                if (c->m_pBase)
                    f(c->m_pBase);
                break;
            }
            case SQ_NATIVECLOSURE:
                for (const SqValue& v : static_cast<CSqNativeClosure*>(o)->m_FreeVars)
                    VisitValue(v, f);
                break;
            case SQ_GENERATOR:
                if (static_cast<CSqGenerator*>(o)->m_pThread)
                    f(static_cast<CSqGenerator*>(o)->m_pThread);
                break;
            case SQ_THREAD: {
                CSqThread* t = static_cast<CSqThread*>(o);
                for (int i = 0; i < t->m_iStackSize; ++i)
                    VisitValue(t->m_pStack[i], f);
                VisitValue(t->m_RootTable, f);
                VisitValue(t->m_ErrorHandler, f);
                VisitValue(t->m_LastError, f);
                VisitValue(t->m_Function, f);
                VisitValue(t->m_TransferValue, f);
                break;
            }
            case SQ_CLASS: {
                CSqClass* c = static_cast<CSqClass*>(o);
                if (c->m_pBase)
                    f(c->m_pBase);
                if (c->m_pMembers)
                    f(c->m_pMembers);
                for (const SqClassMember& m : c->m_Fields) {
                    VisitValue(m.m_Value, f);
                    VisitValue(m.m_Attributes, f);
                }
                for (const SqClassMember& m : c->m_Methods) {
                    VisitValue(m.m_Value, f);
                    VisitValue(m.m_Attributes, f);
                }
                VisitValue(c->m_Attributes, f);
                for (const SqValue& v : c->m_MetaMethods)
                    VisitValue(v, f);
                VisitValue(c->m_Constructor, f);
                break;
            }
            case SQ_INSTANCE: {
                CSqInstance* inst = static_cast<CSqInstance*>(o);
                if (inst->m_pClass)
                    f(inst->m_pClass);
                for (const SqValue& v : inst->m_Values)
                    VisitValue(v, f);
                break;
            }
            case SQ_OUTER:
                VisitValue(static_cast<CSqOuter*>(o)->m_Closed, f);
                break;
            default:
                break;
            }
        }

        // Drops every reference the object holds, leaving it destructible.
        void ClearContents(CSqGcObj* o)
        {
            switch (o->m_eType) {
            case SQ_TABLE: {
                CSqTable* t = static_cast<CSqTable*>(o);
                t->Clear();
                if (CSqTable* d = t->m_pDelegate) {
                    t->m_pDelegate = nullptr;
                    SqRelease(d);
                }
                break;
            }
            case SQ_ARRAY: {
                std::vector<SqValue> values;
                values.swap(static_cast<CSqArray*>(o)->m_Values);
                break;
            }
            case SQ_CLOSURE: {
                CSqClosure* c = static_cast<CSqClosure*>(o);
                std::vector<CSqOuter*> outers;
                outers.swap(c->m_Outers);
                for (CSqOuter* p : outers)
                    if (p)
                        SqRelease(p);
                std::vector<SqValue> defaults;
                defaults.swap(c->m_Defaults);
                if (CSqClass* b = c->m_pBase) {
                    c->m_pBase = nullptr;
                    SqRelease(b);
                }
                break;
            }
            case SQ_NATIVECLOSURE: {
                std::vector<SqValue> values;
                values.swap(static_cast<CSqNativeClosure*>(o)->m_FreeVars);
                break;
            }
            case SQ_GENERATOR: {
                CSqGenerator* g = static_cast<CSqGenerator*>(o);
                if (CSqThread* t = g->m_pThread) {
                    g->m_pThread = nullptr;
                    g->m_eState = GENERATOR_DEAD;
                    SqRelease(t);
                }
                break;
            }
            case SQ_THREAD: {
                CSqThread* t = static_cast<CSqThread*>(o);
                t->CloseOuters(0);
                t->m_Frames.clear();
                t->m_Traps.clear();
                for (int i = 0; i < t->m_iStackSize; ++i)
                    t->m_pStack[i].SetNull();
                t->m_iTop = 0;
                t->m_RootTable.SetNull();
                t->m_ErrorHandler.SetNull();
                t->m_LastError.SetNull();
                t->m_Function.SetNull();
                t->m_TransferValue.SetNull();
                break;
            }
            case SQ_CLASS: {
                CSqClass* c = static_cast<CSqClass*>(o);
                std::vector<SqClassMember> fields, methods;
                fields.swap(c->m_Fields);
                methods.swap(c->m_Methods);
                fields.clear();
                methods.clear();
                c->m_Attributes.SetNull();
                for (SqValue& v : c->m_MetaMethods)
                    v.SetNull();
                c->m_Constructor.SetNull();
                if (CSqTable* m = c->m_pMembers) {
                    c->m_pMembers = nullptr;
                    SqRelease(m);
                }
                if (CSqClass* b = c->m_pBase) {
                    c->m_pBase = nullptr;
                    SqRelease(b);
                }
                break;
            }
            case SQ_INSTANCE: {
                std::vector<SqValue> values;
                values.swap(static_cast<CSqInstance*>(o)->m_Values);
                break;
            }
            case SQ_OUTER:
                static_cast<CSqOuter*>(o)->m_Closed.SetNull();
                break;
            default:
                break;
            }
        }

        std::vector<CSqGcObj*> FindUnreachable(CSqSharedState* pState)
        {
            CSqGcObj* pHead = &pState->m_GcHead;
            for (CSqGcObj* o = pHead->m_pGcNext; o != pHead; o = o->m_pGcNext) {
                o->m_uGcRefs = o->m_uRefCount;
                o->m_uGcFlags &= static_cast<uint8_t>(~GC_MARKED);
            }
            auto decrement = [](CSqGcObj* child) {
                if (child->m_uGcRefs > 0)
                    --child->m_uGcRefs;
            };
            for (CSqGcObj* o = pHead->m_pGcNext; o != pHead; o = o->m_pGcNext)
                Traverse(o, decrement);
            // Objects with references from outside the collectable set are roots.
            std::vector<CSqGcObj*> work;
            for (CSqGcObj* o = pHead->m_pGcNext; o != pHead; o = o->m_pGcNext) {
                if (o->m_uGcRefs > 0) {
                    o->m_uGcFlags |= GC_MARKED;
                    work.push_back(o);
                }
            }
            auto mark = [&work](CSqGcObj* child) {
                if (!(child->m_uGcFlags & GC_MARKED)) {
                    child->m_uGcFlags |= GC_MARKED;
                    work.push_back(child);
                }
            };
            while (!work.empty()) {
                CSqGcObj* o = work.back();
                work.pop_back();
                Traverse(o, mark);
            }
            std::vector<CSqGcObj*> garbage;
            for (CSqGcObj* o = pHead->m_pGcNext; o != pHead; o = o->m_pGcNext)
                if (!(o->m_uGcFlags & GC_MARKED))
                    garbage.push_back(o);
            return garbage;
        }

        void FreeAll(std::vector<CSqGcObj*>& objects)
        {
            for (CSqGcObj* o : objects)
                SqAddRef(o);
            for (CSqGcObj* o : objects)
                ClearContents(o);
            for (CSqGcObj* o : objects)
                SqRelease(o);
        }
    }

    SqInteger SqCollectGarbage(CSqSharedState* pState)
    {
        std::vector<CSqGcObj*> garbage = FindUnreachable(pState);
        FreeAll(garbage);
        return static_cast<SqInteger>(garbage.size());
    }

    SqValue SqResurrectUnreachable(CSqSharedState* pState)
    {
        std::vector<CSqGcObj*> garbage = FindUnreachable(pState);
        if (garbage.empty())
            return SqValue();
        CSqArray* a = CSqArray::Create(pState, 0);
        SqValue result(a);
        for (CSqGcObj* o : garbage)
            a->m_Values.push_back(SqValue(static_cast<CSqRefObj*>(o)));
        return result;
    }

    void SqFreeEverything(CSqSharedState* pState)
    {
        std::vector<CSqGcObj*> all;
        CSqGcObj* pHead = &pState->m_GcHead;
        for (CSqGcObj* o = pHead->m_pGcNext; o != pHead; o = o->m_pGcNext)
            all.push_back(o);
        FreeAll(all);
    }
}
