// Embedding interface of our Squirrel 3 engine.
//
// A VM owns a shared state (strings, garbage collector, constant table, registry) and a
// main thread. Further threads share the state but have their own value stack, root table
// and call frames. Every function below works on the value stack of the thread it is
// called on: index 1 is the first slot of the current frame (for a native, its `this`),
// negative indexes count from the top (-1 is the top).
//
// Natives return 0 (no value: the call yields null), 1 (the value on top of the stack is
// the result) or SQ_ERROR after ThrowError/ThrowObject.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Torvane3D::Squirrel
{
    using SqInteger = int64_t;
    using SqFloat = float;

    enum eSqType : uint8_t
    {
        SQ_NULL = 0,
        SQ_INTEGER,
        SQ_FLOAT,
        SQ_BOOL,
        SQ_USERPOINTER,
        // Reference-counted from here on.
        SQ_STRING,
        SQ_TABLE,
        SQ_ARRAY,
        SQ_CLOSURE,
        SQ_NATIVECLOSURE,
        SQ_GENERATOR,
        SQ_THREAD,
        SQ_CLASS,
        SQ_INSTANCE,
        SQ_WEAKREF,
        SQ_FUNCPROTO, // internal
        SQ_OUTER,     // internal
    };

    constexpr int SQ_ERROR = -1;
    constexpr int SQ_SUSPEND = -2; // only the base function `suspend` returns it

    enum eSqThreadState
    {
        SQ_THREAD_IDLE,
        SQ_THREAD_RUNNING,
        SQ_THREAD_SUSPENDED,
    };

    class CSqVM;
    using SqNativeFunction = int (*)(CSqVM* pVM);
    using SqPrintFunction = void (*)(CSqVM* pVM, const char* szFormat, ...);
    using SqCompileErrorHandler = void (*)(CSqVM* pVM, const char* szDescription, const char* szSource, int iLine, int iColumn);
    // Runs as soon as the instance is freed; it must not call into the VM.
    using SqReleaseHook = void (*)(void* pUserPointer, void* pHookData);

    struct SSqStackInfo
    {
        const char* szFunction; // null when anonymous
        const char* szSource;   // "NATIVE" for natives, null when unknown
        int iLine;              // -1 for natives
        bool bNative;
    };

    // A value as the interface stores it. Only meaningful inside a CSqHandle.
    struct SSqRawValue
    {
        uint64_t uBits = 0;
        eSqType eType = SQ_NULL;
    };

    // Strong handle: keeps any value alive until reset or destroyed. Handles must be
    // released before the VM is closed.
    class CSqHandle
    {
    public:
        CSqHandle() = default;
        CSqHandle(const CSqHandle& other);
        CSqHandle(CSqHandle&& other) noexcept;
        CSqHandle& operator=(const CSqHandle& other);
        CSqHandle& operator=(CSqHandle&& other) noexcept;
        ~CSqHandle();

        void Reset();
        eSqType GetType() const { return m_Value.eType; }
        bool IsNull() const { return m_Value.eType == SQ_NULL; }
        bool operator==(const CSqHandle& other) const { return m_Value.eType == other.m_Value.eType && m_Value.uBits == other.m_Value.uBits; }

        SSqRawValue m_Value; // owned reference
    };

    class CSqVM
    {
    public:
        // ---- VMs and threads ----
        // Creates a VM (shared state and main thread) with the initial stack size in slots.
        static CSqVM* Open(int iStackSize = 1024);
        // Closes the VM of a main thread: frees every object, including cycles.
        void Close();
        // A new thread sharing this VM's state, with this thread's root table and error
        // handler; the thread object is pushed on this stack (it lives while referenced).
        CSqVM* NewThread(int iStackSize = 1024);
        CSqVM* GetMainVM();
        void SetForeignPointer(void* p);
        void* GetForeignPointer() const;
        eSqThreadState GetState() const;
        // Resumes a suspended thread. bPushedValue: the value on top is what `suspend`
        // returns inside the thread; bThrow: that value is thrown there instead.
        // With bReturnValue the value the thread returns or suspends with is pushed.
        bool WakeUp(bool bPushedValue, bool bReturnValue, bool bRaiseError, bool bThrow = false);

        // ---- Stack ----
        int GetTop() const;
        void SetTop(int iTop);
        void Pop(int n);
        void Remove(int iIndex);
        void Push(int iIndex); // pushes a copy of the slot
        int ToAbsolute(int iIndex) const;
        eSqType GetType(int iIndex) const;
        void PushNull();
        void PushInteger(SqInteger i);
        void PushFloat(SqFloat f);
        void PushBool(bool b);
        void PushString(const char* p, size_t nLength);
        void PushString(const char* sz);
        void PushUserPointer(void* p);
        bool GetInteger(int iIndex, SqInteger* pOut) const; // integer, float (truncated) or bool
        bool GetFloat(int iIndex, SqFloat* pOut) const;     // float or integer
        bool GetBool(int iIndex, bool* pOut) const;
        bool GetString(int iIndex, const char** ppText, size_t* pnLength = nullptr) const;
        bool GetUserPointer(int iIndex, void** ppOut) const;
        bool IsTrue(int iIndex) const;
        // Pushes the text of the value (runs _tostring); false with the error set on failure.
        bool ToString(int iIndex);
        // Length of a string, table, array or class member count; -1 for other types.
        SqInteger GetSize(int iIndex) const;
        // Name of the type as `type()` gives it.
        static const char* GetTypeName(eSqType eType);

        // ---- Tables, arrays, classes: slots ----
        void NewTable(int iCapacityHint = 0);
        // Pushes a shallow copy of a table, array or instance (runs _cloned).
        bool Clone(int iIndex);
        void NewArray(SqInteger nSize);
        bool ArrayAppend(int iIndex);           // pops the value
        bool NewSlot(int iIndex, bool bStatic); // pops key and value (value on top)
        bool Set(int iIndex);                   // pops key and value
        bool Get(int iIndex);                   // pops key, pushes value
        bool RawSet(int iIndex);
        bool RawGet(int iIndex);
        bool DeleteSlot(int iIndex, bool bPushValue); // pops key
        bool SetDelegate(int iIndex);                 // pops the delegate table or null
        bool GetDelegate(int iIndex);
        // Iteration: the top slot holds the iterator (null to start); replaces it and pushes
        // key and value. Returns false at the end (nothing pushed).
        bool Next(int iIndex);
        void PushRootTable();
        bool SetRootTable(); // pops a table
        void PushConstTable();
        bool SetConstTable(); // pops a table
        void PushRegistryTable();

        // ---- Functions and calls ----
        // A native closure; the top nFreeVars values are popped and pushed back after the
        // arguments whenever it is called.
        void NewClosure(SqNativeFunction pFunction, int nFreeVars = 0, void* pUserPointer = nullptr);
        bool SetNativeClosureName(int iIndex, const char* szName);
        // nParams counts `this`: >0 exactly, <0 at least -nParams, 0 any. The type mask has one
        // letter group per parameter (from `this`): o null, i integer, f float, n number,
        // s string, t table, a array, u userdata, c closure/native, g generator,
        // p userpointer, v thread, x instance, y class, b bool, w weakref, . any; '|' joins.
        bool SetParamsCheck(int iIndex, int nParams, const char* szTypeMask);
        // User pointer bound to the native closure now running.
        void* GetNativeUserPointer() const;
        // Compiles the text and pushes the main function.
        bool Compile(const char* pText, size_t nLength, const char* szSourceName, bool bRaiseError);
        // Writes a listing of the compiled code of a script function (for diagnostics).
        bool DumpFunction(int iIndex, SqPrintFunction pPrint);
        // Calls the value at -(nParams + 1) with the nParams values above it (the first is
        // `this`); pops the parameters, keeps the function; pushes the result if asked.
        bool Call(int nParams, bool bReturnValue, bool bRaiseError);
        int ThrowError(const char* szFormat, ...)
#if defined(__GNUC__)
            __attribute__((format(printf, 2, 3)))
#endif
            ;
        int ThrowObject(); // pops the value to throw
        void PushLastError();
        void ResetError();
        // Level 0 is the innermost frame (the native calling this, if any).
        bool GetStackInfo(int iLevel, SSqStackInfo* pInfo) const;
        // The iIndex-th local variable visible at that level: pushes its value and returns its
        // name, or returns null (nothing pushed).
        const char* GetLocal(int iLevel, int iIndex);
        void SetErrorHandler(); // pops a closure or null
        void SetCompileErrorHandler(SqCompileErrorHandler pHandler);
        void SetPrintFunctions(SqPrintFunction pPrint, SqPrintFunction pError);
        SqPrintFunction GetPrintFunction() const;
        SqPrintFunction GetErrorFunction() const;

        // ---- Classes and instances ----
        bool NewClass(bool bHasBase); // base class on top (popped) when bHasBase
        bool SetTypeTag(int iIndex, const void* pTag);
        bool GetTypeTag(int iIndex, const void** ppTag) const;
        bool CreateInstance(int iIndex); // pushes a new instance, constructor not run
        bool SetInstanceUP(int iIndex, void* p);
        // With a tag, the instance's class or one of its bases must carry it.
        bool GetInstanceUP(int iIndex, void** pp, const void* pTypeTag) const;
        bool SetReleaseHook(int iIndex, SqReleaseHook pHook, void* pHookData = nullptr);
        bool GetClass(int iIndex);
        bool GetBase(int iIndex);
        bool InstanceOf(); // -2 instance of class -1

        // ---- Handles and weak references ----
        bool GetHandle(int iIndex, CSqHandle* pHandle) const;
        void PushHandle(const CSqHandle& handle);
        void WeakRef(int iIndex);             // pushes a weak reference (value types: themselves)
        bool GetWeakRefValue(int iIndex);     // pushes the target or null

        // ---- Memory ----
        // Runs the cycle collector; returns the number of objects freed.
        SqInteger CollectGarbage();

        // Registers the root-table base functions (print, array, type, ...). Open does it.
        void RegisterBaseLibrary();

    protected:
        CSqVM() = default;
        ~CSqVM() = default;
    };
}
