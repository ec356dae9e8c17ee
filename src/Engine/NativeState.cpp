#include <Engine/NativeState.h>

#include <Engine/Assert.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace Torvane3D
{
    static constexpr size_t FORMAT_BUFFER_SIZE = 4096;
    static constexpr size_t LAST_ERROR_SIZE = 1024;

    static char g_szError[LAST_ERROR_SIZE];

    // Formats into a local buffer first, so that a message may quote the last error itself.
    static void SetErrorV(const char* szFormat, va_list args)
    {
        char szBuffer[FORMAT_BUFFER_SIZE];
        vsnprintf(szBuffer, sizeof(szBuffer), szFormat, args);
        size_t length = strnlen(szBuffer, sizeof(g_szError) - 1);
        memcpy(g_szError, szBuffer, length);
        g_szError[length] = '\0';
    }

    void SetError(const char* szFormat, ...)
    {
        va_list args;
        va_start(args, szFormat);
        SetErrorV(szFormat, args);
        va_end(args);
    }

    const char* GetLastError()
    {
        return g_szError;
    }

    void ClearError()
    {
        g_szError[0] = '\0';
    }

    CNativeState::CNativeState(CScripting* pScripting, CResource* pResource, CArgumentArray* pArguments)
        : m_pScripting(pScripting), m_pResource(pResource), m_pArguments(pArguments)
    {
    }

    int CNativeState::GetArgumentCount() const
    {
        return m_pArguments ? static_cast<int>(m_pArguments->GetCount()) : 0;
    }

    CArgument* CNativeState::GetArgument(int iIndex) const
    {
        if (!m_pArguments || iIndex < 0)
            return nullptr;
        return m_pArguments->Get(static_cast<size_t>(iIndex));
    }

    bool CNativeState::Invoke(const ScriptFunction& function, void* pUser)
    {
        ClearError();
        bool bResult = function.Call(this, GetArgumentCount(), pUser);
        CNativeState& State = *this;
        TORVANE_ASSERT(bResult != State.m_bHasError);
        return bResult;
    }

    bool CNativeState::Error(const char* szFormat, ...)
    {
        va_list args;
        va_start(args, szFormat);
        SetErrorV(szFormat, args);
        va_end(args);
        m_bHasError = true;
        return false;
    }

    bool CNativeState::ExpectedError(const char* szKind, int iIndex)
    {
        return Error("Expected %s for argument %d", szKind, iIndex + 1);
    }

    bool CNativeState::CheckBoolean(int iIndex, bool& bValue)
    {
        CArgument* pArgument = GetArgument(iIndex);
        if (!pArgument || !pArgument->IsBoolean())
            return ExpectedError("boolean", iIndex);
        bValue = pArgument->ToBoolean();
        return true;
    }

    CArgument* CNativeState::GetNumber(int iIndex, const char* szKind)
    {
        CArgument* pArgument = GetArgument(iIndex);
        if (!pArgument || !pArgument->IsNumber()) {
            ExpectedError(szKind, iIndex);
            return nullptr;
        }
        return pArgument;
    }

    bool CNativeState::CheckNumber(int iIndex, int32_t& iValue)
    {
        CArgument* pArgument = GetNumber(iIndex, "integer");
        if (pArgument)
            pArgument->ToNumber(iValue);
        return pArgument != nullptr;
    }

    bool CNativeState::CheckNumber(int iIndex, uint32_t& uiValue)
    {
        CArgument* pArgument = GetNumber(iIndex, "integer");
        if (pArgument)
            pArgument->ToNumber(uiValue);
        return pArgument != nullptr;
    }

    bool CNativeState::CheckNumber(int iIndex, uint8_t& ucValue)
    {
        uint32_t uiValue;
        if (!CheckNumber(iIndex, uiValue))
            return false;
        ucValue = static_cast<uint8_t>(uiValue);
        return true;
    }

    bool CNativeState::CheckNumber(int iIndex, int64_t& iValue)
    {
        CArgument* pArgument = GetNumber(iIndex, "integer");
        if (pArgument)
            pArgument->ToNumber(iValue);
        return pArgument != nullptr;
    }

    bool CNativeState::CheckNumber(int iIndex, uint64_t& uiValue)
    {
        CArgument* pArgument = GetNumber(iIndex, "integer");
        if (pArgument)
            pArgument->ToNumber(uiValue);
        return pArgument != nullptr;
    }

    bool CNativeState::CheckNumber(int iIndex, float& fValue)
    {
        CArgument* pArgument = GetNumber(iIndex, "number");
        if (pArgument)
            pArgument->ToNumber(fValue);
        return pArgument != nullptr;
    }

    bool CNativeState::CheckNumber(int iIndex, double& dValue)
    {
        CArgument* pArgument = GetNumber(iIndex, "number");
        if (pArgument)
            pArgument->ToNumber(dValue);
        return pArgument != nullptr;
    }

    const char* CNativeState::CheckString(int iIndex, size_t* pLength)
    {
        CArgument* pArgument = GetArgument(iIndex);
        if (!pArgument || !pArgument->IsString()) {
            ExpectedError("string", iIndex);
            return nullptr;
        }
        return pArgument->ToString(pLength);
    }

    // An array of exactly `count` numbers into `rgfOut`.
    static bool NumbersOf(const CArgument* pArgument, size_t count, float* rgfOut)
    {
        if (!pArgument->IsArray())
            return false;
        auto* pArray = static_cast<const CArgumentArray*>(pArgument);
        if (pArray->GetCount() != count)
            return false;
        for (size_t i = 0; i < count; ++i) {
            if (!pArray->Get(i)->IsNumber())
                return false;
        }
        for (size_t i = 0; i < count; ++i)
            pArray->Get(i)->ToNumber(rgfOut[i]);
        return true;
    }

    bool CNativeState::CheckVector2D(int iIndex, CVector2D& vecValue)
    {
        CArgument* pArgument = GetArgument(iIndex);
        float rgf[2];
        if (pArgument && pArgument->IsVector2D()) {
            pArgument->ToVector2D(vecValue);
            return true;
        }
        if (pArgument && NumbersOf(pArgument, 2, rgf)) {
            vecValue = {rgf[0], rgf[1]};
            return true;
        }
        return ExpectedError("Vector2D", iIndex);
    }

    bool CNativeState::CheckVector3D(int iIndex, CVector3D& vecValue)
    {
        CArgument* pArgument = GetArgument(iIndex);
        float rgf[3];
        if (pArgument && pArgument->IsVector3D()) {
            pArgument->ToVector3D(vecValue);
            return true;
        }
        if (pArgument && NumbersOf(pArgument, 3, rgf)) {
            vecValue = {rgf[0], rgf[1], rgf[2]};
            return true;
        }
        return ExpectedError("Vector3D", iIndex);
    }

    bool CNativeState::CheckMatrix4x4(int iIndex, CMatrix4x4& matValue)
    {
        CArgument* pArgument = GetArgument(iIndex);
        if (!pArgument || !pArgument->IsMatrix4x4())
            return ExpectedError("Matrix4x4", iIndex);
        pArgument->ToMatrix4x4(matValue);
        return true;
    }

    bool CNativeState::CheckClass(ReflectedClass* pClass, int iIndex, bool bNullable, CBaseObject** ppObject)
    {
        const char* szKind = pClass ? pClass->GetName() : "Object";
        CArgument* pArgument = GetArgument(iIndex);
        if (pArgument && bNullable && pArgument->IsNull()) {
            *ppObject = nullptr;
            return true;
        }
        if (!pArgument || !pArgument->IsObject())
            return ExpectedError(szKind, iIndex);
        CBaseObject* pObject = pClass ? pArgument->ToObject(pClass) : pArgument->ToObject();
        if (!pObject)
            return ExpectedError(szKind, iIndex);
        *ppObject = pObject;
        return true;
    }

    CBaseObject* CNativeState::CheckReferenceable(int iIndex)
    {
        CArgument* pArgument = GetArgument(iIndex);
        CBaseObject* pObject = pArgument && pArgument->IsObject() ? pArgument->ToObject() : nullptr;
        if (!pObject)
            ExpectedError("Instance", iIndex);
        return pObject;
    }

    CFunction* CNativeState::CheckFunction(int iIndex)
    {
        CArgument* pArgument = GetArgument(iIndex);
        CFunction* pFunction = pArgument && pArgument->IsFunction() ? pArgument->ToFunction() : nullptr;
        if (!pFunction)
            ExpectedError("Function", iIndex);
        return pFunction;
    }

    bool CNativeState::GetThis(ReflectedClass* pClass, CBaseObject** ppObject)
    {
        CBaseObject* pThis = m_pThis.Get();
        if (!pThis)
            return Error("'this' is null");
        if (pClass) {
            ReflectedClass* pOwnClass = pThis->GetReflectedClass();
            if (!pOwnClass || !pOwnClass->IsA(pClass))
                return Error("%s expected for 'this'", pClass->GetName());
        }
        *ppObject = pThis;
        return true;
    }
}
