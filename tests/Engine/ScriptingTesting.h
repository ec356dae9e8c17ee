// Helpers for the registry and native tests: value builders and calls through the registry
// exactly as a binding makes them.
#pragma once

#include <Engine/Scripting.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace ScriptingTesting
{
    using namespace Torvane3D;
    using Value = Strong<CArgument>;

    inline Value Own(CArgument* p) { return Value::Adopt(p); }
    inline Value Int(int32_t i) { return Own(new CArgumentInteger(i)); }
    inline Value Long(int64_t i) { return Own(new CArgumentLongInteger(i)); }
    inline Value Float(float f) { return Own(new CArgumentFloat(f)); }
    inline Value Double(double d) { return Own(new CArgumentDouble(d)); }
    inline Value Bool(bool b) { return Own(new CArgumentBoolean(b)); }
    inline Value Str(std::string_view s) { return Own(new CArgumentString(s)); }
    inline Value Null() { return Own(new CArgument(ARGUMENT_NIL)); }
    inline Value Undefined() { return Own(new CArgument(ARGUMENT_UNDEFINED)); }
    inline Value V2(float x, float y) { return Own(new CArgumentVector2D({x, y})); }
    inline Value V3(float x, float y, float z) { return Own(new CArgumentVector3D({x, y, z})); }
    inline Value Mat(const CMatrix4x4& m) { return Own(new CArgumentMatrix4x4(m)); }
    inline Value Obj(CBaseObject* p) { return Own(new CArgumentObject(p)); }
    inline Value Fn(CFunction* p) { return Own(new CArgumentFunction(p)); }
    inline Value Arr(std::initializer_list<Value> values)
    {
        auto* pArray = new CArgumentArray();
        for (const Value& v : values)
            pArray->Add(v);
        return Own(pArray);
    }

    struct Result
    {
        bool m_bOk = false;
        std::string m_strError;
        Value m_pValue; // the first returned value, if any

        float Number() const
        {
            float f = -12345.0f;
            if (m_pValue && m_pValue->IsNumber())
                m_pValue->ToNumber(f);
            return f;
        }
        int32_t Integer() const
        {
            int32_t i = -12345;
            if (m_pValue && m_pValue->IsNumber())
                m_pValue->ToNumber(i);
            return i;
        }
        CVector3D Vector3() const
        {
            CVector3D v(-1, -1, -1);
            if (m_pValue && m_pValue->IsVector3D())
                m_pValue->ToVector3D(v);
            return v;
        }
        CVector2D Vector2() const
        {
            CVector2D v(-1, -1);
            if (m_pValue && m_pValue->IsVector2D())
                m_pValue->ToVector2D(v);
            return v;
        }
        CBaseObject* Object() const { return m_pValue && m_pValue->IsObject() ? m_pValue->ToObject() : nullptr; }
        std::string String() const
        {
            size_t length = 0;
            const char* sz = m_pValue && m_pValue->IsString() ? m_pValue->ToString(&length) : nullptr;
            return sz ? std::string(sz, length) : std::string("<not a string>");
        }
    };

    // Calls a function as the bindings do: a fresh argument list, the frame, 'this' for methods.
    inline Result Call(CScripting* pScripting, const ReflectedFunction& function, CBaseObject* pThis,
        const std::vector<Value>& arguments)
    {
        auto pArguments = MakeStrong<CArgumentArray>();
        for (const Value& v : arguments)
            pArguments->Add(v);
        CNativeState state(pScripting, nullptr, pArguments);
        state.m_pThis = pThis;
        Result result;
        result.m_bOk = state.Invoke(function);
        result.m_strError = GetLastError();
        if (CArgument* pValue = state.m_RVal.GetReturnArgument())
            result.m_pValue = pValue;
        return result;
    }

    inline Result CallGlobal(CScripting* pScripting, const char* szNamespace, const char* szName,
        const std::vector<Value>& arguments)
    {
        ReflectedNamespace* pNamespace = szNamespace ? pScripting->m_Global.FindNamespace(szNamespace) : &pScripting->m_Global;
        ReflectedFunction* pFunction = pNamespace ? pNamespace->FindFunction(szName) : nullptr;
        if (!pFunction) {
            Result missing;
            missing.m_strError = std::string("no function ") + szName;
            return missing;
        }
        return Call(pScripting, *pFunction, nullptr, arguments);
    }

    inline Result CallMethod(CScripting* pScripting, CBaseObject* pThis, const char* szName,
        const std::vector<Value>& arguments)
    {
        ReflectedClass* pClass = pThis ? pThis->GetReflectedClass() : nullptr;
        ReflectedFunction* pFunction = pClass ? pClass->FindFunction(szName) : nullptr;
        if (!pFunction) {
            Result missing;
            missing.m_strError = std::string("no method ") + szName;
            return missing;
        }
        return Call(pScripting, *pFunction, pThis, arguments);
    }

    inline Result GetProperty(CScripting* pScripting, CBaseObject* pThis, const char* szName)
    {
        ReflectedProperty* pProperty = pThis->GetReflectedClass()->GetProperty(szName);
        if (!pProperty)
            return {};
        return Call(pScripting, ReflectedFunction(pProperty->m_Getter, pProperty->m_pUser, false), pThis, {});
    }

    inline Result SetProperty(CScripting* pScripting, CBaseObject* pThis, const char* szName, const Value& value)
    {
        ReflectedProperty* pProperty = pThis->GetReflectedClass()->GetProperty(szName);
        if (!pProperty)
            return {};
        return Call(pScripting, ReflectedFunction(pProperty->m_Setter, pProperty->m_pUser, false), pThis, {value});
    }

    // A new instance of a registered class, made by its constructor with these arguments.
    inline Strong<CBaseObject> New(CScripting* pScripting, ReflectedClass* pClass, const std::vector<Value>& arguments)
    {
        Result result = Call(pScripting, pClass->m_Constructor, nullptr, arguments);
        return result.Object();
    }
}
