// Script values: what crosses between script engines, natives, resources and the network.
// Each value carries a one-byte type code; the codes are a wire and storage format.
#pragma once

#include <Engine/Function.h>
#include <Engine/Mathematics/Matrix.h>
#include <Engine/Mathematics/Vector.h>
#include <Engine/RefCounted.h>

#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class ReflectedClass;

namespace Torvane3D
{
    class Stream;
    class INetObjectResolver;

    enum eArgumentType : uint8_t
    {
        ARGUMENT_NIL = 0,
        ARGUMENT_BOOLEAN = 1,
        ARGUMENT_STRING = 2,
        ARGUMENT_TABLE = 3,
        ARGUMENT_INTEGER = 4,
        ARGUMENT_FLOAT = 5,
        ARGUMENT_NETOBJECT = 6,
        ARGUMENT_OBJECT = 7,
        ARGUMENT_VECTOR2D = 8,
        ARGUMENT_VECTOR3D = 9,
        ARGUMENT_VECTOR4D = 10,
        ARGUMENT_MATRIX4X4 = 11,
        ARGUMENT_UNDEFINED = 12,
        ARGUMENT_LUAREF = 13,
        ARGUMENT_JSVALUE = 14,
        ARGUMENT_LONGINTEGER = 15,
        ARGUMENT_DOUBLE = 16,
        ARGUMENT_ARRAY = 17,
        ARGUMENT_MAP = 18,
        ARGUMENT_FUNCTION = 19,
        ARGUMENT_SQREF = 20,
        ARGUMENT_BYTES = 21,
        ARGUMENT_TYPE_COUNT = 22,
    };

    // Symbolic names ("ARGUMENT_NIL" ...) and the friendly names messages show ("null" ...).
    extern const char* const g_rgpszArgumentTypes[ARGUMENT_TYPE_COUNT];
    extern const char* const g_rgpszArgumentTypeNames[ARGUMENT_TYPE_COUNT];
    // The same, for any code: "ARGUMENT_UNKNOWN" and "unknown" beyond the table.
    const char* GetArgumentTypeSymbol(unsigned uiCode);
    const char* GetArgumentTypeName(unsigned uiCode);

    // Containers nest at most this deep; deeper input fails to read, write, size or clone.
    constexpr int MAX_ARGUMENT_DEPTH = 32;

    class CArgument : public CRefCounted
    {
    public:
        // A plain value: null (code 0) or undefined (code 12). Any other code gives null.
        explicit CArgument(eArgumentType type = ARGUMENT_NIL);
        ~CArgument() override;

        // The payload after the type byte. Read and Write are all or nothing per value;
        // GetSize gives the exact byte count Write produces, false where there is no encoding.
        virtual bool Read(Stream* pStream);
        virtual bool GetSize(size_t& size) const;
        virtual bool Write(Stream* pStream) const;
        // A new value with count 1, or null where the value cannot be copied.
        virtual CArgument* Clone() const;

        // An empty value of the class for a readable code; null for every other code.
        static CArgument* Create(unsigned uiCode);

        uint8_t GetType() const { return m_ucType; }
        const char* GetTypeName() const { return GetArgumentTypeName(m_ucType); }

        bool IsNull() const { return m_ucType == ARGUMENT_NIL || m_ucType == ARGUMENT_UNDEFINED; }
        bool IsBoolean() const { return m_ucType == ARGUMENT_BOOLEAN; }
        bool IsString() const { return m_ucType == ARGUMENT_STRING; }
        bool IsNumber() const
        {
            return m_ucType == ARGUMENT_INTEGER || m_ucType == ARGUMENT_FLOAT || m_ucType == ARGUMENT_LONGINTEGER ||
                m_ucType == ARGUMENT_DOUBLE;
        }
        bool IsObject() const { return m_ucType == ARGUMENT_NETOBJECT || m_ucType == ARGUMENT_OBJECT; }
        bool IsVector2D() const { return m_ucType == ARGUMENT_VECTOR2D; }
        bool IsVector3D() const { return m_ucType == ARGUMENT_VECTOR3D; }
        bool IsVector4D() const { return m_ucType == ARGUMENT_VECTOR4D; }
        bool IsMatrix4x4() const { return m_ucType == ARGUMENT_MATRIX4X4; }
        bool IsFunction() const { return m_ucType == ARGUMENT_FUNCTION; }
        bool IsArray() const { return m_ucType == ARGUMENT_ARRAY; }
        bool IsMap() const { return m_ucType == ARGUMENT_MAP; }
        bool IsBytes() const { return m_ucType == ARGUMENT_BYTES; }

        // Each accessor requires its predicate; on another code it reports an assertion and
        // leaves the output unchanged (or returns false / null).
        bool ToBoolean() const;
        const char* ToString(size_t* pLength = nullptr) const;
        const unsigned char* ToBytes(size_t* pLength = nullptr) const;
        void ToNumber(int32_t& value) const;
        void ToNumber(uint32_t& value) const;
        void ToNumber(int64_t& value) const;
        void ToNumber(uint64_t& value) const;
        void ToNumber(float& value) const;
        void ToNumber(double& value) const;
        void ToVector2D(CVector2D& value) const;
        void ToVector3D(CVector3D& value) const;
        void ToMatrix4x4(CMatrix4x4& value) const;
        CFunction* ToFunction() const;
        // The held object; an element reference whose element is gone gives null.
        CBaseObject* ToObject() const;
        // The held object when its reflected class is pClass or derives from it.
        CBaseObject* ToObject(ReflectedClass* pClass) const;

        // Element ids met while reading resolve against this manager.
        INetObjectResolver* GetNetObjectResolver() const { return m_pNetObjectResolver; }
        void SetNetObjectResolver(INetObjectResolver* pResolver) { m_pNetObjectResolver = pResolver; }

        // Cached native-module interface wrapper, owned and destroyed with the value.
        CBase* GetModuleInterface() const { return m_pModuleInterface; }
        void SetModuleInterface(CBase* pInterface);

        // The container operations with the nesting depth of this value (1 at the top).
        virtual bool ReadNested(Stream* pStream, int iDepth);
        virtual bool GetSizeNested(size_t& size, int iDepth) const;
        virtual bool WriteNested(Stream* pStream, int iDepth) const;
        virtual CArgument* CloneNested(int iDepth) const;

    protected:
        // Subclasses pass their own code.
        struct TypeTag
        {
            uint8_t m_ucType;
        };
        explicit CArgument(TypeTag tag) : m_ucType(tag.m_ucType) {}

        // A copy keeps the manager link.
        template <class T>
        T* WithLinkOf(T* pCopy) const
        {
            pCopy->SetNetObjectResolver(m_pNetObjectResolver);
            return pCopy;
        }

    private:
        CBase* m_pModuleInterface = nullptr;
        INetObjectResolver* m_pNetObjectResolver = nullptr;
        uint8_t m_ucType;
    };

    // Values whose payload is a fixed-size plain value written as its bytes (little-endian host).
    template <class TDerived, class T, uint8_t CODE>
    class CArgumentPlain : public CArgument
    {
    public:
        CArgumentPlain() : CArgument(TypeTag{CODE}) {}
        explicit CArgumentPlain(const T& value) : CArgument(TypeTag{CODE}), m_Value(value) {}

        bool Read(Stream* pStream) override;
        bool GetSize(size_t& size) const override
        {
            size = sizeof(T);
            return true;
        }
        bool Write(Stream* pStream) const override;
        CArgument* Clone() const override { return WithLinkOf(new TDerived(m_Value)); }

        T m_Value{};
    };

    class CArgumentBoolean : public CArgument
    {
    public:
        explicit CArgumentBoolean(bool bValue = false) : CArgument(TypeTag{ARGUMENT_BOOLEAN}), m_bValue(bValue) {}
        bool Read(Stream* pStream) override;
        bool GetSize(size_t& size) const override;
        bool Write(Stream* pStream) const override;
        CArgument* Clone() const override { return WithLinkOf(new CArgumentBoolean(m_bValue)); }

        bool m_bValue;
    };

    class CArgumentInteger : public CArgumentPlain<CArgumentInteger, int32_t, ARGUMENT_INTEGER>
    {
    public:
        using CArgumentPlain::CArgumentPlain;
    };

    class CArgumentFloat : public CArgumentPlain<CArgumentFloat, float, ARGUMENT_FLOAT>
    {
    public:
        using CArgumentPlain::CArgumentPlain;
    };

    class CArgumentLongInteger : public CArgumentPlain<CArgumentLongInteger, int64_t, ARGUMENT_LONGINTEGER>
    {
    public:
        using CArgumentPlain::CArgumentPlain;
    };

    class CArgumentDouble : public CArgumentPlain<CArgumentDouble, double, ARGUMENT_DOUBLE>
    {
    public:
        using CArgumentPlain::CArgumentPlain;
    };

    class CArgumentVector2D : public CArgumentPlain<CArgumentVector2D, CVector2D, ARGUMENT_VECTOR2D>
    {
    public:
        using CArgumentPlain::CArgumentPlain;
    };

    class CArgumentVector3D : public CArgumentPlain<CArgumentVector3D, CVector3D, ARGUMENT_VECTOR3D>
    {
    public:
        using CArgumentPlain::CArgumentPlain;
    };

    class CArgumentMatrix4x4 : public CArgumentPlain<CArgumentMatrix4x4, CMatrix4x4, ARGUMENT_MATRIX4X4>
    {
    public:
        using CArgumentPlain::CArgumentPlain;
    };

    // Text of a known byte length; embedded zero bytes are data. A terminator follows the bytes.
    class CArgumentString : public CArgument
    {
    public:
        CArgumentString() : CArgument(TypeTag{ARGUMENT_STRING}) {}
        CArgumentString(const char* szText, size_t length);
        explicit CArgumentString(std::string_view text) : CArgumentString(text.data(), text.size()) {}

        bool Read(Stream* pStream) override;
        bool GetSize(size_t& size) const override;
        bool Write(Stream* pStream) const override;
        CArgument* Clone() const override { return WithLinkOf(new CArgumentString(m_strValue)); }

        void SetString(const char* szText, size_t length);
        const char* GetString() const { return m_strValue.c_str(); }
        size_t GetLength() const { return m_strValue.size(); }

    private:
        std::string m_strValue;
    };

    class CArgumentBytes : public CArgument
    {
    public:
        CArgumentBytes() : CArgument(TypeTag{ARGUMENT_BYTES}) {}
        CArgumentBytes(const void* pData, size_t length);

        bool Read(Stream* pStream) override;
        bool GetSize(size_t& size) const override;
        bool Write(Stream* pStream) const override;
        CArgument* Clone() const override { return WithLinkOf(new CArgumentBytes(m_Data.data(), m_Data.size())); }

        const unsigned char* GetData() const { return m_Data.data(); }
        size_t GetLength() const { return m_Data.size(); }

    private:
        std::vector<unsigned char> m_Data;
    };

    // A script-visible object. It has no encoding: Read, Write and GetSize fail.
    class CArgumentObject : public CArgument
    {
    public:
        explicit CArgumentObject(CBaseObject* pObject = nullptr) : CArgument(TypeTag{ARGUMENT_OBJECT}), m_pObject(pObject) {}

        bool Read(Stream* pStream) override;
        bool GetSize(size_t& size) const override;
        bool Write(Stream* pStream) const override;
        CArgument* Clone() const override { return WithLinkOf(new CArgumentObject(m_pObject)); }

        CBaseObject* GetObject() const { return m_pObject; }

    protected:
        CArgumentObject(TypeTag tag, CBaseObject* pObject) : CArgument(tag), m_pObject(pObject) {}

        Strong<CBaseObject> m_pObject;
    };

    // A networked element, sent as its id and resolved against the linked manager on reading.
    class CArgumentNetObject : public CArgumentObject
    {
    public:
        CArgumentNetObject(CBaseObject* pElement = nullptr, int32_t iId = -1, INetObjectResolver* pResolver = nullptr);

        bool Read(Stream* pStream) override;
        bool GetSize(size_t& size) const override;
        bool Write(Stream* pStream) const override;
        CArgument* Clone() const override;

        int32_t GetId() const { return m_iId; }
        // The element when it still exists (always when no manager is linked).
        CBaseObject* GetLiveElement() const;

    private:
        int32_t m_iId;
    };

    // A function value. It travels as its type byte alone and reads back empty.
    class CArgumentFunction : public CArgument
    {
    public:
        explicit CArgumentFunction(CFunction* pFunction = nullptr)
            : CArgument(TypeTag{ARGUMENT_FUNCTION}), m_pFunction(pFunction)
        {
        }

        bool Read(Stream* pStream) override;
        bool GetSize(size_t& size) const override;
        bool Write(Stream* pStream) const override;
        CArgument* Clone() const override { return WithLinkOf(new CArgumentFunction(m_pFunction)); }

        CFunction* GetFunction() const { return m_pFunction; }

    private:
        Strong<CFunction> m_pFunction;
    };

    // A value that stays inside one script engine (a Lua registry reference, a rooted
    // JavaScript value, a Squirrel handle). The bindings derive from these and give Clone.
    // It never travels: the far side could not read it, so Write and GetSize fail.
    class CArgumentEngineValue : public CArgument
    {
    public:
        bool Read(Stream* pStream) override;
        bool GetSize(size_t& size) const override;
        bool Write(Stream* pStream) const override;
        CArgument* Clone() const override = 0;

    protected:
        explicit CArgumentEngineValue(eArgumentType type) : CArgument(TypeTag{type}) {}
    };

    class CArgumentLuaRef : public CArgumentEngineValue
    {
    protected:
        CArgumentLuaRef() : CArgumentEngineValue(ARGUMENT_LUAREF) {}
    };

    class CArgumentJSValue : public CArgumentEngineValue
    {
    protected:
        CArgumentJSValue() : CArgumentEngineValue(ARGUMENT_JSVALUE) {}
    };

    class CArgumentSqRef : public CArgumentEngineValue
    {
    protected:
        CArgumentSqRef() : CArgumentEngineValue(ARGUMENT_SQREF) {}
    };

    // An ordered list of values; each element holds one count. At most 255 elements travel
    // (the count is one byte): a longer array refuses to write or size.
    class CArgumentArray : public CArgument
    {
    public:
        explicit CArgumentArray(size_t capacity = 0);
        ~CArgumentArray() override;

        bool Read(Stream* pStream) override { return ReadNested(pStream, 1); }
        bool GetSize(size_t& size) const override { return GetSizeNested(size, 1); }
        bool Write(Stream* pStream) const override { return WriteNested(pStream, 1); }
        CArgument* Clone() const override { return CloneNested(1); }
        bool ReadNested(Stream* pStream, int iDepth) override;
        bool GetSizeNested(size_t& size, int iDepth) const override;
        bool WriteNested(Stream* pStream, int iDepth) const override;
        CArgument* CloneNested(int iDepth) const override;

        size_t GetCount() const { return m_Arguments.size(); }
        // The element without a count, or null beyond the end.
        CArgument* Get(size_t index) const { return index < m_Arguments.size() ? m_Arguments[index] : nullptr; }
        CArgument* operator[](size_t index) const { return Get(index); }

        void AddNull();
        void AddUndefined();
        void AddBoolean(bool bValue);
        void AddString(const char* szText);
        void AddString(const char* szText, size_t length);
        void AddNumber(int32_t iValue);
        void AddNumber(int64_t iValue);
        void AddNumber(float fValue);
        void AddNumber(double dValue);
        void AddVector2D(const CVector2D& vecValue);
        void AddVector3D(const CVector3D& vecValue);
        void AddMatrix4x4(const CMatrix4x4& matValue);
        void AddBytes(const void* pData, size_t length);
        // The object's own value (an element reference or an object value); null appends code 0.
        void AddObject(CBaseObject* pObject);
        void AddFunction(CFunction* pFunction);
        // Appends a clone; a value that cannot be cloned appends undefined, null appends null.
        void Add(const CArgument* pArgument);
        // Appends the value, taking over the caller's count.
        void Push(CArgument* pArgument);

        void Clear();
        // Hands every element over without touching counts; the destination is emptied first.
        void Move(CArgumentArray* pDestination);

    private:
        std::vector<CArgument*> m_Arguments;
    };

    // The return list of a native call; only the first value is ever used.
    class CReturnValue : public CArgumentArray
    {
    public:
        CArgument* GetReturnArgument() const { return Get(0); }
    };

    // A map from byte-string key (exact match) to value; iteration order is the table's own.
    class CArgumentMap : public CArgument
    {
    public:
        struct KeyHash
        {
            using is_transparent = void;
            size_t operator()(std::string_view key) const { return std::hash<std::string_view>{}(key); }
        };
        using Entries = std::unordered_map<std::string, CArgument*, KeyHash, std::equal_to<>>;

        explicit CArgumentMap(size_t capacity = 0);
        ~CArgumentMap() override;

        bool Read(Stream* pStream) override { return ReadNested(pStream, 1); }
        bool GetSize(size_t& size) const override { return GetSizeNested(size, 1); }
        bool Write(Stream* pStream) const override { return WriteNested(pStream, 1); }
        CArgument* Clone() const override { return CloneNested(1); }
        bool ReadNested(Stream* pStream, int iDepth) override;
        bool GetSizeNested(size_t& size, int iDepth) const override;
        bool WriteNested(Stream* pStream, int iDepth) const override;
        CArgument* CloneNested(int iDepth) const override;

        // Takes over the caller's count; a null value removes the key.
        void Set(std::string_view key, CArgument* pValue);
        // The value without a count, or null.
        CArgument* Get(std::string_view key) const;
        bool Remove(std::string_view key);
        void Clear();
        size_t GetCount() const { return m_Entries.size(); }
        const Entries& GetEntries() const { return m_Entries; }

    private:
        Entries m_Entries;
    };
}
