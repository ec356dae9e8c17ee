#include <Engine/Reflection.h>

#include <Engine/Assert.h>
#include <Engine/Context.h>
#include <Engine/NativeState.h>

#include <cstring>

#define ARRAY_COUNT(a) (sizeof(a) / sizeof((a)[0]))

using namespace Torvane3D;

// --- ScriptFunction ---------------------------------------------------------------------

static ScriptFunction::ModuleCaller g_pfnModuleCaller = nullptr;

ScriptFunction::ScriptFunction(const char* szName, const char* szMask, NativeCallback pfnNative,
    ModuleNativeCallback pfnModule)
    : m_strName(szName ? szName : ""), m_strMask(szMask ? szMask : ""), m_pfnNative(pfnNative), m_pfnModule(pfnModule)
{
}

int ScriptFunction::CountRequiredArguments(const char* szMask)
{
    int iCount = 0;
    for (const char* p = szMask ? szMask : ""; *p && *p != '|' && *p != '*'; ++p) {
        if (*p != 't')
            ++iCount;
    }
    return iCount;
}

void ScriptFunction::SetModuleCaller(ModuleCaller pfnCaller)
{
    g_pfnModuleCaller = pfnCaller;
}

bool ScriptFunction::Call(CNativeState* pState, int iArgumentCount, void* pUser) const
{
    if (m_pfnNative)
        return m_pfnNative(pState, iArgumentCount, pUser);
    if (m_pfnModule && g_pfnModuleCaller)
        return g_pfnModuleCaller(pState, m_pfnModule, iArgumentCount, pUser);
    return pState->Error("Cannot call %s", m_strName.c_str());
}

// --- ReflectedProperty ------------------------------------------------------------------

const char* ReflectedProperty::GetTypeName(unsigned uiType)
{
    switch (uiType) {
    case ARGUMENT_NIL: return "void";
    case ARGUMENT_BOOLEAN: return "bool";
    case ARGUMENT_STRING: return "string";
    case ARGUMENT_INTEGER: return "int";
    case ARGUMENT_FLOAT:
    case ARGUMENT_DOUBLE: return "number";
    case ARGUMENT_NETOBJECT: return "NetObject";
    case ARGUMENT_OBJECT: return "Object";
    case ARGUMENT_VECTOR2D: return "Vector2D";
    case ARGUMENT_VECTOR3D: return "Vector3D";
    case ARGUMENT_VECTOR4D: return "Vector4D";
    case ARGUMENT_MATRIX4X4: return "Matrix4x4";
    case ARGUMENT_LONGINTEGER: return "int64";
    default: return GetArgumentTypeName(uiType);
    }
}

static std::unique_ptr<ReflectedProperty> NewProperty(void* pUser, const char* szName, unsigned uiType,
    NativeCallback pfnGetter, NativeCallback pfnSetter, bool bObsolete, const char* szMask)
{
    auto pProperty = std::make_unique<ReflectedProperty>();
    pProperty->m_bObsolete = bObsolete;
    pProperty->m_Getter = ScriptFunction(szName, szMask, pfnGetter);
    if (pfnSetter)
        pProperty->m_Setter = ScriptFunction(szName, szMask, pfnSetter);
    pProperty->m_strName = szName ? szName : "";
    pProperty->m_ucType = static_cast<uint8_t>(uiType);
    pProperty->m_pUser = pUser;
    return pProperty;
}

template <class T>
static T* FindByName(const std::vector<std::unique_ptr<T>>& entries, const char* szName)
{
    if (!szName)
        return nullptr;
    for (const auto& pEntry : entries) {
        if (strcmp(pEntry->GetName(), szName) == 0)
            return pEntry.get();
    }
    return nullptr;
}

// --- ReflectedUserData ------------------------------------------------------------------

bool ReflectedUserData::AddUserData(uint32_t uiKey, DestroyProc pfnDestroy, void* pData)
{
    TORVANE_ASSERT(m_Count < ARRAY_COUNT(m_rgSlots));
    if (m_Count >= ARRAY_COUNT(m_rgSlots)) {
        LogMessage(LOG_ERROR, "A reflected class takes at most %zu bindings' data", ARRAY_COUNT(m_rgSlots));
        return false;
    }
    m_rgSlots[m_Count++] = {uiKey, pfnDestroy, pData};
    return true;
}

void* ReflectedUserData::GetUserData(uint32_t uiKey) const
{
    for (size_t i = 0; i < m_Count; ++i) {
        if (m_rgSlots[i].m_uiKey == uiKey)
            return m_rgSlots[i].m_pData;
    }
    return nullptr;
}

void ReflectedUserData::Clear()
{
    // Destructors may look at the class; take each slot out before running its destructor.
    while (m_Count > 0) {
        Slot slot = m_rgSlots[--m_Count];
        m_rgSlots[m_Count] = {};
        if (slot.m_pfnDestroy)
            slot.m_pfnDestroy(&slot.m_pData);
    }
}

// --- ReflectedClass ---------------------------------------------------------------------

ReflectedClass::ReflectedClass(const char* szName, ReflectedClass* pParent)
    : m_strName(szName ? szName : ""), m_pParent(pParent)
{
}

ReflectedClass::~ReflectedClass()
{
    Clear();
}

bool ReflectedClass::IsA(const ReflectedClass* pBase) const
{
    for (const ReflectedClass* p = this; p; p = p->m_pParent) {
        if (p == pBase)
            return true;
    }
    return false;
}

ReflectedFunction* ReflectedClass::RegisterFunction(const char* szName, const char* szMask, NativeCallback pfnNative,
    void* pUser, bool bObsolete)
{
    ScriptFunction function(szName, szMask, pfnNative);
    return RegisterFunction(&function, pUser, bObsolete);
}

ReflectedFunction* ReflectedClass::RegisterFunction(const ScriptFunction* pFunction, void* pUser, bool bObsolete)
{
    m_Functions.push_back(std::make_unique<ReflectedFunction>(*pFunction, pUser, bObsolete));
    return m_Functions.back().get();
}

ReflectedProperty* ReflectedClass::AddProperty(void* pUser, const char* szName, unsigned uiType,
    NativeCallback pfnGetter, NativeCallback pfnSetter, bool bObsolete)
{
    m_Properties.push_back(NewProperty(pUser, szName, uiType, pfnGetter, pfnSetter, bObsolete, "t"));
    return m_Properties.back().get();
}

ReflectedFunction* ReflectedClass::RegisterConstructor(const char* szMask, NativeCallback pfnNative, void* pUser)
{
    m_Constructor = ReflectedFunction(ScriptFunction(m_strName.c_str(), szMask, pfnNative), pUser, false);
    return &m_Constructor;
}

void ReflectedClass::SetClone(NativeCallback pfnNative, void* pUser)
{
    m_Clone = ReflectedFunction(ScriptFunction("clone", "", pfnNative), pUser, false);
}

void ReflectedClass::SetMove(NativeCallback pfnNative, void* pUser)
{
    m_Move = ReflectedFunction(ScriptFunction("move", "x", pfnNative), pUser, false);
}

void ReflectedClass::SetToString(NativeCallback pfnNative, void* pUser)
{
    m_ToString = ReflectedFunction(ScriptFunction("toString", "", pfnNative), pUser, false);
}

ReflectedProperty* ReflectedClass::GetProperty(const char* szName) const
{
    for (const ReflectedClass* p = this; p; p = p->m_pParent) {
        if (ReflectedProperty* pProperty = FindByName(p->m_Properties, szName))
            return pProperty;
    }
    SetError("Property %s not found.", szName ? szName : "");
    return nullptr;
}

ReflectedFunction* ReflectedClass::FindFunction(const char* szName) const
{
    return FindByName(m_Functions, szName);
}

void ReflectedClass::Clear()
{
    m_UserData.Clear();
    m_Functions.clear();
    m_Properties.clear();
    m_Constructor = {};
    m_Clone = {};
    m_Move = {};
    m_ToString = {};
}

// --- ReflectedNamespace -----------------------------------------------------------------

ReflectedNamespace::ReflectedNamespace(const char* szName) : m_strName(szName ? szName : "")
{
}

ReflectedNamespace::~ReflectedNamespace()
{
    Clear();
}

ReflectedNamespace* ReflectedNamespace::AddNamespace(const char* szName)
{
    if (ReflectedNamespace* pExisting = FindNamespace(szName))
        return pExisting;
    m_Namespaces.push_back(std::make_unique<ReflectedNamespace>(szName));
    return m_Namespaces.back().get();
}

ReflectedClass* ReflectedNamespace::NewClass(const char* szName, ReflectedClass* pParent)
{
    m_Classes.push_back(std::make_unique<ReflectedClass>(szName, pParent));
    ReflectedClass* pClass = m_Classes.back().get();
    const char* szClass = pClass->GetName();
    if (strcmp(szClass, "Stream") == 0)
        m_pStreamClass = pClass;
    else if (strcmp(szClass, "Matrix4x4") == 0)
        m_pMatrixClass = pClass;
    else if (strcmp(szClass, "Vec2") == 0)
        m_pVector2Class = pClass;
    else if (strcmp(szClass, "Vec3") == 0)
        m_pVector3Class = pClass;
    return pClass;
}

ReflectedFunction* ReflectedNamespace::RegisterFunction(const char* szName, const char* szMask,
    NativeCallback pfnNative, void* pUser, bool bObsolete)
{
    ScriptFunction function(szName, szMask, pfnNative);
    return RegisterFunction(&function, pUser, bObsolete);
}

ReflectedFunction* ReflectedNamespace::RegisterFunction(const ScriptFunction* pFunction, void* pUser, bool bObsolete)
{
    m_Functions.push_back(std::make_unique<ReflectedFunction>(*pFunction, pUser, bObsolete));
    return m_Functions.back().get();
}

ReflectedProperty* ReflectedNamespace::AddProperty(void* pUser, const char* szName, unsigned uiType,
    NativeCallback pfnGetter, NativeCallback pfnSetter, bool bObsolete)
{
    m_Properties.push_back(NewProperty(pUser, szName, uiType, pfnGetter, pfnSetter, bObsolete, ""));
    return m_Properties.back().get();
}

ReflectedNamespace* ReflectedNamespace::FindNamespace(const char* szName) const
{
    return FindByName(m_Namespaces, szName);
}

ReflectedClass* ReflectedNamespace::FindClass(const char* szName) const
{
    return FindByName(m_Classes, szName);
}

ReflectedFunction* ReflectedNamespace::FindFunction(const char* szName) const
{
    return FindByName(m_Functions, szName);
}

ReflectedProperty* ReflectedNamespace::FindProperty(const char* szName) const
{
    return FindByName(m_Properties, szName);
}

void ReflectedNamespace::Clear()
{
    m_Namespaces.clear();
    m_Classes.clear();
    m_Functions.clear();
    m_Properties.clear();
    m_pStreamClass = m_pMatrixClass = m_pVector2Class = m_pVector3Class = nullptr;
}
