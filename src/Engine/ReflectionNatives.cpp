// The natives that belong to the registry itself: collectAllGarbage, the reflection
// namespace (clone, move, tostring, createFunction, call), platform and sdl.
#include <Engine/Scripting.h>

#include <Engine/Clock.h>

#include <cstring>
#include <new>

namespace Torvane3D
{
    static bool FunctionCollectAllGarbage(CNativeState* pState, int, void*)
    {
        pState->m_pScripting->CollectGarbage();
        return true;
    }

    // The object of argument i: an element or instance, or (when bVectors) a vector value,
    // which stands for a new instance of the global Vec2 or Vec3 class holding it, so that
    // the special functions of those classes apply.
    static Strong<CBaseObject> ObjectArgument(CNativeState* pState, int iIndex, bool bVectors)
    {
        CArgument* pArgument = pState->GetArgument(iIndex);
        if (pArgument && pArgument->IsObject()) {
            if (CBaseObject* pObject = pArgument->ToObject())
                return pObject;
        }
        if (pArgument && bVectors && (pArgument->IsVector2D() || pArgument->IsVector3D())) {
            ReflectedNamespace* pGlobal = &pState->m_pScripting->m_Global;
            bool b2D = pArgument->IsVector2D();
            CBaseObject* pObject =
                Reflection::Construct(pState->m_pScripting, b2D ? pGlobal->m_pVector2Class : pGlobal->m_pVector3Class);
            if (!pObject)
                return nullptr;
            Strong<CBaseObject> pOwned = Strong<CBaseObject>::Adopt(pObject);
            if (b2D)
                pArgument->ToVector2D(static_cast<CVector2DObject*>(pObject)->m_Value);
            else
                pArgument->ToVector3D(static_cast<CVector3DObject*>(pObject)->m_Value);
            return pOwned;
        }
        pState->Error("Expected %s for argument %d", "Object", iIndex + 1);
        return nullptr;
    }

    // Calls a special function of the object's class with the object as 'this'. The result
    // list is moved into pResult; false leaves the last error set.
    static bool CallSpecial(CNativeState* pState, const ReflectedFunction& function, CBaseObject* pThis,
        CArgumentArray* pArguments, CReturnValue* pResult)
    {
        CNativeState state(pState->m_pScripting, pState->m_pResource, pArguments);
        state.m_pThis = pThis;
        if (!state.Invoke(function))
            return false;
        state.m_RVal.Move(pResult);
        return true;
    }

    static bool FunctionClone(CNativeState* pState, int, void*)
    {
        Strong<CBaseObject> pObject = ObjectArgument(pState, 0, true);
        if (!pObject)
            return false;
        ReflectedClass* pClass = pObject->GetReflectedClass();
        if (!pClass)
            return pState->Error("Class not part of reflection");
        if (pClass->m_Clone.IsEmpty())
            return pState->Error("Class is not cloneable");
        CReturnValue result;
        if (!CallSpecial(pState, pClass->m_Clone, pObject, nullptr, &result))
            return pState->Error("%s", GetLastError());
        CArgument* pCopy = result.GetReturnArgument();
        CBaseObject* pCopyObject = pCopy && pCopy->IsObject() ? pCopy->ToObject() : nullptr;
        if (!pCopyObject)
            return pState->Error("Clone didn't return anything");
        pState->m_RVal.AddObject(pCopyObject);
        return true;
    }

    static bool FunctionMove(CNativeState* pState, int, void*)
    {
        Strong<CBaseObject> pTarget = ObjectArgument(pState, 0, false);
        if (!pTarget)
            return false;
        Strong<CBaseObject> pSource = ObjectArgument(pState, 1, false);
        if (!pSource)
            return false;
        if (pTarget == pSource)
            return pState->Error("Cannot move to same place");
        ReflectedClass* pClass = pTarget->GetReflectedClass();
        if (!pClass)
            return pState->Error("Class not part of reflection");
        if (pClass->m_Move.IsEmpty())
            return pState->Error("Class is not movable");
        auto pArguments = MakeStrong<CArgumentArray>(1);
        pArguments->AddObject(pSource);
        CReturnValue result;
        if (!CallSpecial(pState, pClass->m_Move, pTarget, pArguments, &result))
            return pState->Error("%s", GetLastError());
        pState->m_RVal.AddBoolean(true);
        return true;
    }

    static bool FunctionToString(CNativeState* pState, int, void*)
    {
        Strong<CBaseObject> pObject = ObjectArgument(pState, 0, true);
        if (!pObject)
            return false;
        ReflectedClass* pClass = pObject->GetReflectedClass();
        if (!pClass)
            return pState->Error("Class not part of reflection");
        if (pClass->m_ToString.IsEmpty())
            return pState->Error("Class doesn't implement ToString");
        CReturnValue result;
        if (!CallSpecial(pState, pClass->m_ToString, pObject, nullptr, &result))
            return pState->Error("%s", GetLastError());
        CArgument* pText = result.GetReturnArgument();
        if (!pText)
            return pState->Error("ToString didn't return anything");
        if (!pText->IsString())
            return pState->Error("ToString didn't return a string");
        size_t length = 0;
        const char* szText = pText->ToString(&length);
        // Scripts see the text up to its first zero byte.
        size_t shown = strnlen(szText, length);
        char* szCopy = new (std::nothrow) char[shown + 1];
        if (!szCopy)
            return pState->Error("Out of memory.");
        memcpy(szCopy, szText, shown);
        szCopy[shown] = '\0';
        pState->m_RVal.AddString(szCopy, shown);
        delete[] szCopy;
        return true;
    }

    static bool FunctionCreateFunction(CNativeState* pState, int, void*)
    {
        CFunction* pFunction = pState->CheckFunction(0);
        if (!pFunction)
            return false;
        if (!pFunction->GetReflectedClass())
            pFunction->SetReflectedClass(pState->m_pScripting->m_pFunctionClass);
        pState->m_RVal.AddObject(pFunction);
        return true;
    }

    static bool FunctionCall(CNativeState* pState, int iArgumentCount, void*)
    {
        CFunction* pFunction;
        if (!pState->CheckClass(pState->m_pScripting->m_pFunctionClass, 0, false, &pFunction))
            return false;
        auto pArguments = MakeStrong<CArgumentArray>(static_cast<size_t>(iArgumentCount > 1 ? iArgumentCount - 1 : 0));
        for (int i = 1; i < iArgumentCount; ++i)
            pArguments->Add(pState->GetArgument(i));
        auto pReturn = MakeStrong<CReturnValue>();
        ClearError();
        if (!pFunction->Call(pArguments, pReturn))
            return pState->Error("%s", *GetLastError() ? GetLastError() : "Function call failed");
        if (CArgument* pResult = pReturn->GetReturnArgument())
            pState->m_RVal.Add(pResult);
        return true;
    }

    // Ticks as scripts see them: the 32-bit clock read as signed, so it turns negative
    // after 2^31 milliseconds.
    static bool FunctionGetTicks(CNativeState* pState, int, void*)
    {
        pState->m_RVal.AddNumber(static_cast<int32_t>(GetTickCount32()));
        return true;
    }

    static bool FunctionGetPlatformName(CNativeState* pState, int, void*)
    {
        pState->m_RVal.AddString("Linux");
        return true;
    }

    static bool FunctionGetModState(CNativeState* pState, int, void*)
    {
        pState->m_RVal.AddNumber(int32_t(0));
        return true;
    }

    void RegisterReflectionNatives(CScripting* pScripting)
    {
        ReflectedNamespace* pGlobal = &pScripting->m_Global;
        pGlobal->RegisterFunction("collectAllGarbage", "", FunctionCollectAllGarbage);

        ReflectedNamespace* pReflection = pGlobal->AddNamespace("reflection");
        pScripting->m_pReflection = pReflection;
        pScripting->m_pFunctionClass = pReflection->NewClass("Function");
        pReflection->RegisterFunction("clone", "x", FunctionClone);
        pReflection->RegisterFunction("move", "xx", FunctionMove);
        pReflection->RegisterFunction("tostring", "x", FunctionToString);
        pReflection->RegisterFunction("createFunction", "c", FunctionCreateFunction);
        pReflection->RegisterFunction("call", "x", FunctionCall);

        pScripting->m_pModule = pGlobal->AddNamespace("module");

        ReflectedNamespace* pSDL = pGlobal->AddNamespace("sdl");
        pSDL->AddProperty(nullptr, "platform", ARGUMENT_STRING, FunctionGetPlatformName);
        pSDL->AddProperty(nullptr, "ticks", ARGUMENT_INTEGER, FunctionGetTicks);
        pSDL->RegisterFunction("getModState", "", FunctionGetModState);

        ReflectedNamespace* pPlatform = pGlobal->AddNamespace("platform");
        pPlatform->AddProperty(nullptr, "name", ARGUMENT_STRING, FunctionGetPlatformName);
        pPlatform->AddProperty(nullptr, "modState", ARGUMENT_INTEGER, FunctionGetModState);
        pPlatform->AddProperty(nullptr, "ticks", ARGUMENT_INTEGER, FunctionGetTicks);

        // The stream natives fill these two classes' members.
        pGlobal->NewClass("Stream");
        pScripting->m_pTextReaderClass = pGlobal->NewClass("TextReader");
    }
}
