// The reflection registry: the one engine-neutral description of the script API (namespaces,
// classes, functions, properties) that each script engine binding projects into its language.
#pragma once

#include <Engine/Torvane.h>

#include <memory>
#include <string>
#include <vector>

namespace Torvane3D
{
    class CNativeState;
    namespace Interfaces
    {
        class INativeState;
    }
}

// A native: reads its arguments from the state, appends its result to m_RVal, and returns
// false after CNativeState::Error when it fails.
typedef bool (*NativeCallback)(Torvane3D::CNativeState* pState, int iArgumentCount, void* pUser);
// The same over the native-module interface.
typedef bool (*ModuleNativeCallback)(Torvane3D::Interfaces::INativeState* pState, int iArgumentCount, void* pUser);

// A callable entry: a name, a signature mask and the callback. Masks describe, they do not
// check: each native checks its own arguments.
class ScriptFunction
{
public:
    ScriptFunction() = default;
    ScriptFunction(const char* szName, const char* szMask, NativeCallback pfnNative,
        ModuleNativeCallback pfnModule = nullptr);

    const char* GetName() const { return m_strName.c_str(); }
    const char* GetMask() const { return m_strMask.c_str(); }
    bool IsEmpty() const { return !m_pfnNative && !m_pfnModule; }

    // The number of required arguments of the mask ("s|i" 1, "txx*" 2).
    int GetRequiredArgumentCount() const { return CountRequiredArguments(m_strMask.c_str()); }
    static int CountRequiredArguments(const char* szMask);

    // Runs the native callback, else the module callback, else fails with "Cannot call %s".
    bool Call(Torvane3D::CNativeState* pState, int iArgumentCount, void* pUser) const;

    // The module layer wraps a frame for a module callback and frees what the module
    // allocated during the call; it installs this handler when it starts.
    typedef bool (*ModuleCaller)(Torvane3D::CNativeState* pState, ModuleNativeCallback pfnModule,
        int iArgumentCount, void* pUser);
    static void SetModuleCaller(ModuleCaller pfnCaller);

    std::string m_strName;
    std::string m_strMask;
    NativeCallback m_pfnNative = nullptr;
    ModuleNativeCallback m_pfnModule = nullptr;
};

class ReflectedFunction
{
public:
    ReflectedFunction() = default;
    ReflectedFunction(const ScriptFunction& function, void* pUser, bool bObsolete)
        : m_bObsolete(bObsolete), m_Function(function), m_pUser(pUser)
    {
    }

    const char* GetName() const { return m_Function.GetName(); }
    bool IsEmpty() const { return m_Function.IsEmpty(); }
    bool Call(Torvane3D::CNativeState* pState, int iArgumentCount) const
    {
        return m_Function.Call(pState, iArgumentCount, m_pUser);
    }

    bool m_bObsolete = false;
    ScriptFunction m_Function;
    void* m_pUser = nullptr;
};

// A property: a getter native that returns the value and an optional setter native that
// receives it as argument 0. The type code only documents it.
class ReflectedProperty
{
public:
    const char* GetName() const { return m_strName.c_str(); }
    bool IsReadOnly() const { return m_Setter.IsEmpty(); }
    // "void", "bool", "string", "int", "number", ... as the documentation shows the code.
    static const char* GetTypeName(unsigned uiType);

    bool m_bObsolete = false;
    ScriptFunction m_Getter;
    ScriptFunction m_Setter;
    std::string m_strName;
    uint8_t m_ucType = 0;
    void* m_pUser = nullptr;
};

// Per-engine data a binding attaches to a class (its own class object), in 16 slots.
class ReflectedUserData
{
public:
    typedef void (*DestroyProc)(void** ppData);
    static constexpr size_t MAX_SLOTS = 16;

    ReflectedUserData() = default;
    ReflectedUserData(const ReflectedUserData&) = delete;
    ReflectedUserData& operator=(const ReflectedUserData&) = delete;
    ~ReflectedUserData() { Clear(); }

    // Refused (false, with an error) when all slots are taken.
    bool AddUserData(uint32_t uiKey, DestroyProc pfnDestroy, void* pData);
    // The data word of an engine, or null.
    void* GetUserData(uint32_t uiKey) const;
    size_t GetCount() const { return m_Count; }
    // Runs every destructor and empties the slots.
    void Clear();

private:
    struct Slot
    {
        uint32_t m_uiKey;
        DestroyProc m_pfnDestroy;
        void* m_pData;
    };
    size_t m_Count = 0;
    Slot m_rgSlots[MAX_SLOTS] = {};
};

class ReflectedClass
{
public:
    ReflectedClass(const char* szName, ReflectedClass* pParent);
    ReflectedClass(const ReflectedClass&) = delete;
    ReflectedClass& operator=(const ReflectedClass&) = delete;
    ~ReflectedClass();

    const char* GetName() const { return m_strName.c_str(); }
    ReflectedClass* GetParent() const { return m_pParent; }
    // True for this class and every class derived from it.
    bool IsA(const ReflectedClass* pBase) const;

    ReflectedFunction* RegisterFunction(const char* szName, const char* szMask, NativeCallback pfnNative,
        void* pUser = nullptr, bool bObsolete = false);
    ReflectedFunction* RegisterFunction(const ScriptFunction* pFunction, void* pUser = nullptr, bool bObsolete = false);
    // Class properties take the object as 'this' (mask "t").
    ReflectedProperty* AddProperty(void* pUser, const char* szName, unsigned uiType, NativeCallback pfnGetter,
        NativeCallback pfnSetter = nullptr, bool bObsolete = false);
    ReflectedFunction* RegisterConstructor(const char* szMask, NativeCallback pfnNative, void* pUser = nullptr);
    void SetClone(NativeCallback pfnNative, void* pUser = nullptr);
    void SetMove(NativeCallback pfnNative, void* pUser = nullptr);
    void SetToString(NativeCallback pfnNative, void* pUser = nullptr);

    // This class's property of that name, else the nearest parent's; none sets the last
    // error "Property %s not found.".
    ReflectedProperty* GetProperty(const char* szName) const;
    // This class's own method of that name, or null.
    ReflectedFunction* FindFunction(const char* szName) const;

    // Frees every member and runs the binding data destructors.
    void Clear();

    ReflectedUserData m_UserData;
    ReflectedFunction m_Constructor;
    ReflectedFunction m_Clone;
    ReflectedFunction m_Move;
    ReflectedFunction m_ToString;
    std::vector<std::unique_ptr<ReflectedFunction>> m_Functions;
    std::vector<std::unique_ptr<ReflectedProperty>> m_Properties;

private:
    std::string m_strName;
    ReflectedClass* m_pParent;
};

class ReflectedNamespace
{
public:
    explicit ReflectedNamespace(const char* szName);
    ReflectedNamespace(const ReflectedNamespace&) = delete;
    ReflectedNamespace& operator=(const ReflectedNamespace&) = delete;
    ~ReflectedNamespace();

    const char* GetName() const { return m_strName.c_str(); }
    // Bindings define the namespace under its alias too; null when it has none.
    const char* GetAlias() const { return m_strAlias.empty() ? nullptr : m_strAlias.c_str(); }
    void SetAlias(const char* szAlias) { m_strAlias = szAlias ? szAlias : ""; }

    // The child of that name (exact match), made when there is none.
    ReflectedNamespace* AddNamespace(const char* szName);
    // Appends a class; "Stream", "Matrix4x4", "Vec2" and "Vec3" also fill the well-known slots.
    ReflectedClass* NewClass(const char* szName, ReflectedClass* pParent = nullptr);
    ReflectedFunction* RegisterFunction(const char* szName, const char* szMask, NativeCallback pfnNative,
        void* pUser = nullptr, bool bObsolete = false);
    ReflectedFunction* RegisterFunction(const ScriptFunction* pFunction, void* pUser = nullptr, bool bObsolete = false);
    // Namespace properties have the empty mask.
    ReflectedProperty* AddProperty(void* pUser, const char* szName, unsigned uiType, NativeCallback pfnGetter,
        NativeCallback pfnSetter = nullptr, bool bObsolete = false);

    // Linear lookups by exact name; null when absent.
    ReflectedNamespace* FindNamespace(const char* szName) const;
    ReflectedClass* FindClass(const char* szName) const;
    ReflectedFunction* FindFunction(const char* szName) const;
    ReflectedProperty* FindProperty(const char* szName) const;

    // Frees everything registered below, running each class's binding data destructors.
    void Clear();

    std::vector<std::unique_ptr<ReflectedFunction>> m_Functions;
    std::vector<std::unique_ptr<ReflectedProperty>> m_Properties;
    std::vector<std::unique_ptr<ReflectedClass>> m_Classes;
    std::vector<std::unique_ptr<ReflectedNamespace>> m_Namespaces;

    ReflectedClass* m_pStreamClass = nullptr;
    ReflectedClass* m_pMatrixClass = nullptr;
    ReflectedClass* m_pVector2Class = nullptr;
    ReflectedClass* m_pVector3Class = nullptr;

private:
    std::string m_strName;
    std::string m_strAlias;
};
