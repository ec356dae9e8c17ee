// The frame of one native call and the process-wide last-error text that bindings raise
// as the script error of a failed call.
#pragma once

#include <Engine/Arguments.h>
#include <Engine/Reflection.h>

namespace Torvane3D
{
    class CScripting;
    class CResource;

    // The last-error channel. Messages are cut to 1023 characters. Natives run on the
    // scripting thread only, which is why one buffer serves the process.
    void SetError(const char* szFormat, ...) TORVANE_PRINTF(1, 2);
    const char* GetLastError();
    void ClearError();

    class CNativeState
    {
    public:
        CNativeState(CScripting* pScripting, CResource* pResource, CArgumentArray* pArguments);
        CNativeState(const CNativeState&) = delete;
        CNativeState& operator=(const CNativeState&) = delete;

        int GetArgumentCount() const;
        // The argument at a 0-based index, or null beyond the list.
        CArgument* GetArgument(int iIndex) const;

        // Calls a registered function in this frame: clears the last error first, and
        // reports natives that return success after an error or failure without one.
        bool Invoke(const ScriptFunction& function, void* pUser);
        bool Invoke(const ReflectedFunction& function) { return Invoke(function.m_Function, function.m_pUser); }

        // The argument checks. On failure each sets the error "Expected %s for argument %d"
        // (kind or class name, 1-based position) and returns false or null.
        bool CheckBoolean(int iIndex, bool& bValue);
        bool CheckNumber(int iIndex, int32_t& iValue);
        bool CheckNumber(int iIndex, uint32_t& uiValue);
        // The low 8 bits of the unsigned 32-bit number.
        bool CheckNumber(int iIndex, uint8_t& ucValue);
        bool CheckNumber(int iIndex, int64_t& iValue);
        bool CheckNumber(int iIndex, uint64_t& uiValue);
        bool CheckNumber(int iIndex, float& fValue);
        bool CheckNumber(int iIndex, double& dValue);
        // The text (zero-terminated, embedded zero bytes kept) and, if asked, its length.
        const char* CheckString(int iIndex, size_t* pLength = nullptr);
        // A vector value, or an array of exactly 2 (3) numbers.
        bool CheckVector2D(int iIndex, CVector2D& vecValue);
        bool CheckVector3D(int iIndex, CVector3D& vecValue);
        bool CheckMatrix4x4(int iIndex, CMatrix4x4& matValue);
        // An object (element or instance) of the class or a class derived from it; with
        // bNullable also null and undefined, giving no object.
        bool CheckClass(ReflectedClass* pClass, int iIndex, bool bNullable, CBaseObject** ppObject);
        template <class T>
        bool CheckClass(ReflectedClass* pClass, int iIndex, bool bNullable, T** ppObject)
        {
            CBaseObject* pObject;
            if (!CheckClass(pClass, iIndex, bNullable, &pObject))
                return false;
            *ppObject = static_cast<T*>(pObject);
            return true;
        }
        // Any object (element or instance), or null.
        CBaseObject* CheckReferenceable(int iIndex);
        CFunction* CheckFunction(int iIndex);
        // The object the method was called on, of the class or a class derived from it
        // (no class: any); "'this' is null" or "%s expected for 'this'" otherwise.
        bool GetThis(ReflectedClass* pClass, CBaseObject** ppObject);
        template <class T>
        bool GetThis(ReflectedClass* pClass, T** ppObject)
        {
            CBaseObject* pObject;
            if (!GetThis(pClass, &pObject))
                return false;
            *ppObject = static_cast<T*>(pObject);
            return true;
        }

        // Sets the last error (the message cut to 4095 characters first) and m_bHasError;
        // returns false so that a native can end with `return pState->Error(...)`.
        bool Error(const char* szFormat, ...) TORVANE_PRINTF(2, 3);

        CScripting* m_pScripting;
        CResource* m_pResource;
        CArgumentArray* m_pArguments;
        CReturnValue m_RVal;
        bool m_bHasError = false;
        Weak<CBaseObject> m_pThis;

    private:
        bool ExpectedError(const char* szKind, int iIndex);
        CArgument* GetNumber(int iIndex, const char* szKind);
    };
}
