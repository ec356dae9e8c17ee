// The scripting front object: the registry's root, the table of script engines, and the
// helpers the engine bindings share.
#pragma once

#include <Engine/NativeState.h>
#include <Engine/Reflection.h>

namespace Torvane3D
{
    class CDefineHandlers;
    class CResource;
    class CScripting;
    class Stream;

    // One resource in one engine.
    class CScriptEnvironment
    {
    public:
        virtual ~CScriptEnvironment() = default;
        // Tears the environment down.
        virtual void Destroy() = 0;
        // Loads and runs one script file.
        virtual bool DoFile(Stream* pStream, const char* szName) = 0;

        // The owning resource, set by the resource manager right after creation.
        CResource* m_pResource = nullptr;
    };

    // The base of the three engine bindings.
    class CScriptingVM
    {
    public:
        explicit CScriptingVM(CScripting* pScripting);
        virtual ~CScriptingVM() = default;
        // Projects the whole registry into the engine, after all registration is done.
        virtual bool DefineClasses() = 0;
        virtual void CollectGarbage() = 0;
        virtual CScriptEnvironment* CreateEnvironment(const char* szName) = 0;

        CScripting* m_pScripting;
        // Exposes a CFunction of another engine as a plain native (user pointer: the CFunction).
        ScriptFunction m_Trampoline;
    };

    class CScripting
    {
    public:
        static constexpr size_t MAX_VMS = 16;

        // Registers the registry's own natives and the math classes.
        CScripting();
        CScripting(const CScripting&) = delete;
        CScripting& operator=(const CScripting&) = delete;
        ~CScripting();

        // The key of an engine: the CRC-32 of its name ("Lua", "SpiderMonkey", "Squirrel"),
        // case-sensitive.
        static uint32_t GetVMKey(const char* szName);
        // Appends an engine; the 17th is refused.
        bool AddVM(uint32_t uiKey, CScriptingVM* pVM);
        // The first engine of that name's key, or null.
        CScriptingVM* GetVM(const char* szName) const;
        size_t GetVMCount() const { return m_VMCount; }
        CScriptingVM* GetVMAt(size_t index) const { return index < m_VMCount ? m_rgVMs[index].m_pVM : nullptr; }
        // DefineClasses on every engine in table order; false at the first that fails.
        bool DefineClasses();
        void CollectGarbage();

        ReflectedNamespace* GetGlobal() { return &m_Global; }

    private:
        size_t m_VMCount = 0;
        struct VMEntry
        {
            uint32_t m_uiKey;
            CScriptingVM* m_pVM;
        } m_rgVMs[MAX_VMS] = {};

    public:
        ReflectedNamespace m_Global;
        ReflectedNamespace* m_pReflection;
        ReflectedNamespace* m_pModule;
        ReflectedClass* m_pFunctionClass;
        ReflectedClass* m_pTextReaderClass;
        CDefineHandlers* m_pDefineHandlers = nullptr;
    };

    // The objects behind instances of the global Vec2, Vec3 and Matrix4x4 classes.
    typedef CObjectValue<CVector2D> CVector2DObject;
    typedef CObjectValue<CVector3D> CVector3DObject;
    typedef CObjectValue<CMatrix4x4> CMatrix4x4Object;

    namespace Reflection
    {
        // Runs the class's constructor with no arguments; the object it produced with one
        // count for the caller, or null with the last error set.
        CBaseObject* Construct(CScripting* pScripting, ReflectedClass* pClass);
        // An object as a value: instances of the global matrix, 3-D and 2-D vector classes
        // become codes 11, 9 and 8 holding their value; any other object its own value.
        CArgument* ToArgument(CBaseObject* pObject, CScripting* pScripting);
        // The native behind CScriptingVM::m_Trampoline: calls the CFunction (user pointer)
        // with clones of the arguments and returns a clone of its first result. A failed
        // call fails with the callee's error.
        bool FunctionTrampoline(CNativeState* pState, int iArgumentCount, void* pUser);
    }

    // Registration of the registry's own natives and of the math classes.
    void RegisterReflectionNatives(CScripting* pScripting);
    void RegisterMathNatives(CScripting* pScripting);
}
