#include <Engine/Scripting.h>

#include <Engine/Assert.h>
#include <Engine/Context.h>
#include <Engine/Hash.h>
#include <Engine/Mathematics/Matrix.h>

#define ARRAY_COUNT(a) (sizeof(a) / sizeof((a)[0]))

namespace Torvane3D
{
    CScriptingVM::CScriptingVM(CScripting* pScripting)
        : m_pScripting(pScripting), m_Trampoline("", "*", Reflection::FunctionTrampoline)
    {
    }

    CScripting::CScripting() : m_Global("global")
    {
        RegisterReflectionNatives(this);
        RegisterMathNatives(this);
    }

    CScripting::~CScripting()
    {
        m_Global.Clear();
    }

    uint32_t CScripting::GetVMKey(const char* szName)
    {
        return CRC32Name(szName ? szName : "", false);
    }

    bool CScripting::AddVM(uint32_t uiKey, CScriptingVM* pVM)
    {
        TORVANE_ASSERT(m_VMCount < ARRAY_COUNT(m_rgVMs));
        if (m_VMCount >= ARRAY_COUNT(m_rgVMs)) {
            LogMessage(LOG_ERROR, "At most %zu script engines can be registered", ARRAY_COUNT(m_rgVMs));
            return false;
        }
        m_rgVMs[m_VMCount++] = {uiKey, pVM};
        return true;
    }

    CScriptingVM* CScripting::GetVM(const char* szName) const
    {
        uint32_t uiKey = GetVMKey(szName);
        for (size_t i = 0; i < m_VMCount; ++i) {
            if (m_rgVMs[i].m_uiKey == uiKey)
                return m_rgVMs[i].m_pVM;
        }
        return nullptr;
    }

    bool CScripting::DefineClasses()
    {
        for (size_t i = 0; i < m_VMCount; ++i) {
            if (!m_rgVMs[i].m_pVM->DefineClasses())
                return false;
        }
        return true;
    }

    void CScripting::CollectGarbage()
    {
        for (size_t i = 0; i < m_VMCount; ++i)
            m_rgVMs[i].m_pVM->CollectGarbage();
    }

    namespace Reflection
    {
        CBaseObject* Construct(CScripting* pScripting, ReflectedClass* pClass)
        {
            if (!pClass || pClass->m_Constructor.IsEmpty()) {
                SetError("Class is not constructable");
                return nullptr;
            }
            CNativeState state(pScripting, nullptr, nullptr);
            if (!state.Invoke(pClass->m_Constructor))
                return nullptr;
            CArgument* pResult = state.m_RVal.GetReturnArgument();
            if (!pResult) {
                SetError("Constructor didn't return anything");
                return nullptr;
            }
            if (!pResult->IsObject()) {
                SetError("Constructor didn't return object");
                return nullptr;
            }
            CBaseObject* pObject = pResult->ToObject();
            if (!pObject) {
                SetError("Constructor returned null");
                return nullptr;
            }
            pObject->AddRef();
            return pObject;
        }

        CArgument* ToArgument(CBaseObject* pObject, CScripting* pScripting)
        {
            if (!pObject)
                return new CArgument(ARGUMENT_NIL);
            ReflectedClass* pClass = pObject->GetReflectedClass();
            ReflectedNamespace* pGlobal = pScripting ? &pScripting->m_Global : nullptr;
            if (pClass && pGlobal) {
                if (pGlobal->m_pMatrixClass && pClass->IsA(pGlobal->m_pMatrixClass))
                    return new CArgumentMatrix4x4(static_cast<CMatrix4x4Object*>(pObject)->m_Value);
                if (pGlobal->m_pVector3Class && pClass->IsA(pGlobal->m_pVector3Class))
                    return new CArgumentVector3D(static_cast<CVector3DObject*>(pObject)->m_Value);
                if (pGlobal->m_pVector2Class && pClass->IsA(pGlobal->m_pVector2Class))
                    return new CArgumentVector2D(static_cast<CVector2DObject*>(pObject)->m_Value);
            }
            CArgument* pArgument = pObject->CreateArgument();
            return pArgument ? pArgument : new CArgument(ARGUMENT_NIL);
        }

        bool FunctionTrampoline(CNativeState* pState, int iArgumentCount, void* pUser)
        {
            auto* pFunction = static_cast<CFunction*>(pUser);
            auto pArguments = MakeStrong<CArgumentArray>(static_cast<size_t>(iArgumentCount > 0 ? iArgumentCount : 0));
            for (int i = 0; i < iArgumentCount; ++i)
                pArguments->Add(pState->GetArgument(i));
            auto pReturn = MakeStrong<CReturnValue>();
            ClearError();
            // The callee's error reaches the caller; a failure never passes for success.
            if (!pFunction || !pFunction->Call(pArguments, pReturn))
                return pState->Error("%s", *GetLastError() ? GetLastError() : "Function call failed");
            if (CArgument* pResult = pReturn->GetReturnArgument())
                pState->m_RVal.Add(pResult);
            return true;
        }
    }
}
