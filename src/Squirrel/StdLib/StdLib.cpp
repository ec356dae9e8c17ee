// Registration of the standard libraries and the helpers they share.
#include "SqStdInternal.h"

namespace Torvane3D::Squirrel
{
    void SqStdAddSlot(CSqVM* pVM, const char* szName)
    {
        pVM->PushString(szName);
        pVM->Push(-2);
        pVM->Remove(-3);
        pVM->NewSlot(-3, false);
    }

    void SqStdAddFunctions(CSqVM* pVM, const SSqStdFunction* pList, void* pUserPointer)
    {
        for (const SSqStdFunction* f = pList; f->szName; ++f) {
            pVM->PushString(f->szName);
            pVM->NewClosure(f->pFunction, 0, pUserPointer);
            pVM->SetNativeClosureName(-1, f->szName);
            pVM->SetParamsCheck(-1, f->nParams, f->szMask);
            pVM->NewSlot(-3, false);
        }
    }

    void SqStdGetRegistry(CSqVM* pVM, const char* szKey)
    {
        pVM->PushRegistryTable();
        pVM->PushString(szKey);
        if (!pVM->RawGet(-2)) {
            pVM->ResetError();
            pVM->PushNull();
        }
        pVM->Remove(-2);
    }

    void SqStdSetRegistry(CSqVM* pVM, const char* szKey)
    {
        pVM->PushRegistryTable();
        pVM->PushString(szKey);
        pVM->Push(-3);
        pVM->NewSlot(-3, false);
        pVM->Pop(2);
    }

    void SqStdKeepWithVM(CSqVM* pVM, const char* szKey, void* pObject, SqReleaseHook pRelease)
    {
        // An instance of a private class owns the object; the registry holds the instance.
        pVM->NewClass(false);
        pVM->CreateInstance(-1);
        pVM->SetInstanceUP(-1, pObject);
        pVM->SetReleaseHook(-1, pRelease);
        SqStdSetRegistry(pVM, szKey);
        pVM->Pop(1);
    }

    bool SqStdTooManyArgs(CSqVM* pVM, int nMaxArgs)
    {
        return pVM->GetTop() > nMaxArgs;
    }

    // Each library registers in this order so that later ones can use the earlier ones'
    // classes (io's readblob makes blobs).
    void RegisterStandardLibraries(CSqVM* pVM)
    {
        int iTop = pVM->GetTop();
        SqStdRegisterBlob(pVM);
        SqStdRegisterIO(pVM);
        SqStdRegisterMath(pVM);
        SqStdRegisterSystem(pVM);
        SqStdRegisterString(pVM);
        pVM->SetTop(iTop);
    }
}
