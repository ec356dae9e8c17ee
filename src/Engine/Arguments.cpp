#include <Engine/Arguments.h>

#include <Engine/Assert.h>
#include <Engine/NetObjectResolver.h>
#include <Engine/Reflection.h>
#include <Engine/Stream.h>

#include "ArgumentWire.h"

#include <cmath>
#include <limits>

namespace Torvane3D
{
    using namespace ArgumentWire;

    const char* const g_rgpszArgumentTypes[ARGUMENT_TYPE_COUNT] = {
        "ARGUMENT_NIL", "ARGUMENT_BOOLEAN", "ARGUMENT_STRING", "ARGUMENT_TABLE", "ARGUMENT_INTEGER",
        "ARGUMENT_FLOAT", "ARGUMENT_NETOBJECT", "ARGUMENT_OBJECT", "ARGUMENT_VECTOR2D", "ARGUMENT_VECTOR3D",
        "ARGUMENT_VECTOR4D", "ARGUMENT_MATRIX4X4", "ARGUMENT_UNDEFINED", "ARGUMENT_LUAREF", "ARGUMENT_JSVALUE",
        "ARGUMENT_LONGINTEGER", "ARGUMENT_DOUBLE", "ARGUMENT_ARRAY", "ARGUMENT_MAP", "ARGUMENT_FUNCTION",
        "ARGUMENT_SQREF", "ARGUMENT_BYTES",
    };

    const char* const g_rgpszArgumentTypeNames[ARGUMENT_TYPE_COUNT] = {
        "null", "boolean", "string", "table", "integer", "number", "element", "instance", "Vector2D", "Vector3D",
        "Vector4D", "Matrix4x4", "undefined", "luaref", "jsvalue", "integer", "number", "array", "map", "function",
        "sqref", "bytes",
    };

    const char* GetArgumentTypeSymbol(unsigned uiCode)
    {
        return uiCode < ARGUMENT_TYPE_COUNT ? g_rgpszArgumentTypes[uiCode] : "ARGUMENT_UNKNOWN";
    }

    const char* GetArgumentTypeName(unsigned uiCode)
    {
        return uiCode < ARGUMENT_TYPE_COUNT ? g_rgpszArgumentTypeNames[uiCode] : "unknown";
    }

    // Objects are script values of their own kind by default; elements override this.
    CArgument* CBaseObject::CreateArgument()
    {
        return new CArgumentObject(this);
    }

    // --- CArgument: null and undefined --------------------------------------------------

    CArgument::CArgument(eArgumentType type)
        : m_ucType(type == ARGUMENT_UNDEFINED ? ARGUMENT_UNDEFINED : ARGUMENT_NIL)
    {
        TORVANE_ASSERT(type == ARGUMENT_NIL || type == ARGUMENT_UNDEFINED);
    }

    CArgument::~CArgument()
    {
        delete m_pModuleInterface;
    }

    void CArgument::SetModuleInterface(CBase* pInterface)
    {
        if (pInterface != m_pModuleInterface)
            delete m_pModuleInterface;
        m_pModuleInterface = pInterface;
    }

    bool CArgument::Read(Stream*)
    {
        return true;
    }

    bool CArgument::GetSize(size_t& size) const
    {
        size = 0;
        return true;
    }

    bool CArgument::Write(Stream*) const
    {
        return true;
    }

    CArgument* CArgument::Clone() const
    {
        if (m_ucType != ARGUMENT_NIL && m_ucType != ARGUMENT_UNDEFINED)
            return nullptr;
        return WithLinkOf(new CArgument(static_cast<eArgumentType>(m_ucType)));
    }

    bool CArgument::ReadNested(Stream* pStream, int)
    {
        return Read(pStream);
    }

    bool CArgument::GetSizeNested(size_t& size, int) const
    {
        return GetSize(size);
    }

    bool CArgument::WriteNested(Stream* pStream, int) const
    {
        return Write(pStream);
    }

    CArgument* CArgument::CloneNested(int) const
    {
        return Clone();
    }

    CArgument* CArgument::Create(unsigned uiCode)
    {
        switch (uiCode) {
        case ARGUMENT_NIL: return new CArgument(ARGUMENT_NIL);
        case ARGUMENT_UNDEFINED: return new CArgument(ARGUMENT_UNDEFINED);
        case ARGUMENT_BOOLEAN: return new CArgumentBoolean();
        case ARGUMENT_STRING: return new CArgumentString();
        case ARGUMENT_INTEGER: return new CArgumentInteger();
        case ARGUMENT_FLOAT: return new CArgumentFloat();
        case ARGUMENT_NETOBJECT: return new CArgumentNetObject();
        case ARGUMENT_VECTOR2D: return new CArgumentVector2D();
        case ARGUMENT_VECTOR3D: return new CArgumentVector3D();
        case ARGUMENT_MATRIX4X4: return new CArgumentMatrix4x4();
        case ARGUMENT_LONGINTEGER: return new CArgumentLongInteger();
        case ARGUMENT_DOUBLE: return new CArgumentDouble();
        case ARGUMENT_ARRAY: return new CArgumentArray();
        case ARGUMENT_MAP: return new CArgumentMap();
        case ARGUMENT_FUNCTION: return new CArgumentFunction();
        case ARGUMENT_BYTES: return new CArgumentBytes();
        default: return nullptr; // 3, 7, 10, 13, 14, 20 and unknown codes have no readable form
        }
    }

    // --- Accessors ------------------------------------------------------------------------

    bool CArgument::ToBoolean() const
    {
        TORVANE_ASSERT(IsBoolean());
        return IsBoolean() && static_cast<const CArgumentBoolean*>(this)->m_bValue;
    }

    const char* CArgument::ToString(size_t* pLength) const
    {
        TORVANE_ASSERT(IsString());
        if (!IsString())
            return nullptr;
        auto* pString = static_cast<const CArgumentString*>(this);
        if (pLength)
            *pLength = pString->GetLength();
        return pString->GetString();
    }

    const unsigned char* CArgument::ToBytes(size_t* pLength) const
    {
        TORVANE_ASSERT(IsBytes());
        if (!IsBytes())
            return nullptr;
        auto* pBytes = static_cast<const CArgumentBytes*>(this);
        if (pLength)
            *pLength = pBytes->GetLength();
        return pBytes->GetData();
    }

    // Floating values outside an integer target saturate (NaN gives 0), so no conversion
    // is undefined. Targets narrower than 64 bits then take the integer path: the low bits,
    // as C's integer conversions do, so that -1 and -1.0 convert alike.
    static int64_t FloatingToInt64(double d)
    {
        if (std::isnan(d))
            return 0;
        if (d >= 9223372036854775808.0)
            return std::numeric_limits<int64_t>::max();
        if (d < -9223372036854775808.0)
            return std::numeric_limits<int64_t>::min();
        return static_cast<int64_t>(d);
    }

    static uint64_t FloatingToUInt64(double d)
    {
        constexpr double TWO_63 = 9223372036854775808.0;
        if (d >= 18446744073709551616.0)
            return std::numeric_limits<uint64_t>::max();
        if (d >= TWO_63)
            return static_cast<uint64_t>(static_cast<int64_t>(d - TWO_63)) + (uint64_t(1) << 63);
        return static_cast<uint64_t>(FloatingToInt64(d));
    }

    static int32_t FloatingToInt32(double d)
    {
        if (std::isnan(d))
            return 0;
        if (d >= 2147483647.0)
            return std::numeric_limits<int32_t>::max();
        if (d <= -2147483648.0)
            return std::numeric_limits<int32_t>::min();
        return static_cast<int32_t>(d);
    }

    // Calls fn with the number as int64_t (integer codes) or double (floating codes).
    template <class F>
    static void VisitNumber(const CArgument* p, F fn)
    {
        switch (p->GetType()) {
        case ARGUMENT_INTEGER: fn(static_cast<int64_t>(static_cast<const CArgumentInteger*>(p)->m_Value)); break;
        case ARGUMENT_LONGINTEGER: fn(static_cast<const CArgumentLongInteger*>(p)->m_Value); break;
        case ARGUMENT_FLOAT: fn(static_cast<double>(static_cast<const CArgumentFloat*>(p)->m_Value)); break;
        case ARGUMENT_DOUBLE: fn(static_cast<const CArgumentDouble*>(p)->m_Value); break;
        default: TORVANE_ASSERT(p->IsNumber()); break;
        }
    }

    void CArgument::ToNumber(int32_t& value) const
    {
        VisitNumber(this, [&](auto n) {
            if constexpr (std::is_same_v<decltype(n), double>)
                value = FloatingToInt32(n);
            else
                value = static_cast<int32_t>(n);
        });
    }

    void CArgument::ToNumber(uint32_t& value) const
    {
        VisitNumber(this, [&](auto n) {
            if constexpr (std::is_same_v<decltype(n), double>)
                value = static_cast<uint32_t>(FloatingToInt64(n));
            else
                value = static_cast<uint32_t>(n);
        });
    }

    void CArgument::ToNumber(int64_t& value) const
    {
        VisitNumber(this, [&](auto n) {
            if constexpr (std::is_same_v<decltype(n), double>)
                value = FloatingToInt64(n);
            else
                value = n;
        });
    }

    void CArgument::ToNumber(uint64_t& value) const
    {
        VisitNumber(this, [&](auto n) {
            if constexpr (std::is_same_v<decltype(n), double>)
                value = FloatingToUInt64(n);
            else
                value = static_cast<uint64_t>(n);
        });
    }

    void CArgument::ToNumber(float& value) const
    {
        VisitNumber(this, [&](auto n) { value = static_cast<float>(n); });
    }

    void CArgument::ToNumber(double& value) const
    {
        VisitNumber(this, [&](auto n) { value = static_cast<double>(n); });
    }

    void CArgument::ToVector2D(CVector2D& value) const
    {
        TORVANE_ASSERT(IsVector2D());
        if (IsVector2D())
            value = static_cast<const CArgumentVector2D*>(this)->m_Value;
    }

    void CArgument::ToVector3D(CVector3D& value) const
    {
        TORVANE_ASSERT(IsVector3D());
        if (IsVector3D())
            value = static_cast<const CArgumentVector3D*>(this)->m_Value;
    }

    void CArgument::ToMatrix4x4(CMatrix4x4& value) const
    {
        TORVANE_ASSERT(IsMatrix4x4());
        if (IsMatrix4x4())
            value = static_cast<const CArgumentMatrix4x4*>(this)->m_Value;
    }

    CFunction* CArgument::ToFunction() const
    {
        TORVANE_ASSERT(IsFunction());
        return IsFunction() ? static_cast<const CArgumentFunction*>(this)->GetFunction() : nullptr;
    }

    CBaseObject* CArgument::ToObject() const
    {
        TORVANE_ASSERT(IsObject());
        if (m_ucType == ARGUMENT_NETOBJECT)
            return static_cast<const CArgumentNetObject*>(this)->GetLiveElement();
        if (m_ucType == ARGUMENT_OBJECT)
            return static_cast<const CArgumentObject*>(this)->GetObject();
        return nullptr;
    }

    CBaseObject* CArgument::ToObject(ReflectedClass* pClass) const
    {
        CBaseObject* pObject = ToObject();
        if (!pObject)
            return nullptr;
        ReflectedClass* pOwnClass = pObject->GetReflectedClass();
        return pOwnClass && pOwnClass->IsA(pClass) ? pObject : nullptr;
    }

    // --- Plain values ---------------------------------------------------------------------

    template <class TDerived, class T, uint8_t CODE>
    bool CArgumentPlain<TDerived, T, CODE>::Read(Stream* pStream)
    {
        T value;
        if (!ReadExact(pStream, &value, sizeof(T)))
            return false;
        m_Value = value;
        return true;
    }

    template <class TDerived, class T, uint8_t CODE>
    bool CArgumentPlain<TDerived, T, CODE>::Write(Stream* pStream) const
    {
        return WriteExact(pStream, &m_Value, sizeof(T));
    }

    static_assert(sizeof(CVector2D) == 8 && sizeof(CVector3D) == 12 && sizeof(CMatrix4x4) == 64,
        "plain values are written as their bytes");

    template class CArgumentPlain<CArgumentInteger, int32_t, ARGUMENT_INTEGER>;
    template class CArgumentPlain<CArgumentFloat, float, ARGUMENT_FLOAT>;
    template class CArgumentPlain<CArgumentLongInteger, int64_t, ARGUMENT_LONGINTEGER>;
    template class CArgumentPlain<CArgumentDouble, double, ARGUMENT_DOUBLE>;
    template class CArgumentPlain<CArgumentVector2D, CVector2D, ARGUMENT_VECTOR2D>;
    template class CArgumentPlain<CArgumentVector3D, CVector3D, ARGUMENT_VECTOR3D>;
    template class CArgumentPlain<CArgumentMatrix4x4, CMatrix4x4, ARGUMENT_MATRIX4X4>;

    bool CArgumentBoolean::Read(Stream* pStream)
    {
        uint8_t b;
        if (!ReadExact(pStream, &b, 1))
            return false;
        m_bValue = b != 0;
        return true;
    }

    bool CArgumentBoolean::GetSize(size_t& size) const
    {
        size = 1;
        return true;
    }

    bool CArgumentBoolean::Write(Stream* pStream) const
    {
        uint8_t b = m_bValue ? 1 : 0;
        return WriteExact(pStream, &b, 1);
    }

    // --- Strings and byte strings ---------------------------------------------------------

    // Reads a compact length and that many bytes into `buffer`, checking the length against
    // what remains before anything is allocated.
    template <class TBuffer>
    static bool ReadCounted(Stream* pStream, TBuffer& buffer)
    {
        uint32_t length;
        if (!ReadLength(pStream, length) || !CanFollow(pStream, length, 1))
            return false;
        TBuffer value(length, 0);
        if (!ReadExact(pStream, value.data(), length))
            return false;
        buffer.swap(value);
        return true;
    }

    static bool SizeCounted(size_t length, size_t& size)
    {
        if (length > UINT32_MAX)
            return false;
        size = LengthSize(static_cast<uint32_t>(length)) + length;
        return true;
    }

    static bool WriteCounted(Stream* pStream, const void* pData, size_t length)
    {
        return length <= UINT32_MAX && WriteLength(pStream, static_cast<uint32_t>(length)) &&
            WriteExact(pStream, pData, length);
    }

    CArgumentString::CArgumentString(const char* szText, size_t length) : CArgument(TypeTag{ARGUMENT_STRING})
    {
        SetString(szText, length);
    }

    void CArgumentString::SetString(const char* szText, size_t length)
    {
        if (szText)
            m_strValue.assign(szText, length);
        else
            m_strValue.clear();
    }

    bool CArgumentString::Read(Stream* pStream)
    {
        return ReadCounted(pStream, m_strValue);
    }

    bool CArgumentString::GetSize(size_t& size) const
    {
        return SizeCounted(m_strValue.size(), size);
    }

    bool CArgumentString::Write(Stream* pStream) const
    {
        return WriteCounted(pStream, m_strValue.data(), m_strValue.size());
    }

    CArgumentBytes::CArgumentBytes(const void* pData, size_t length) : CArgument(TypeTag{ARGUMENT_BYTES})
    {
        if (pData && length)
            m_Data.assign(static_cast<const unsigned char*>(pData), static_cast<const unsigned char*>(pData) + length);
    }

    bool CArgumentBytes::Read(Stream* pStream)
    {
        return ReadCounted(pStream, m_Data);
    }

    bool CArgumentBytes::GetSize(size_t& size) const
    {
        return SizeCounted(m_Data.size(), size);
    }

    bool CArgumentBytes::Write(Stream* pStream) const
    {
        return WriteCounted(pStream, m_Data.data(), m_Data.size());
    }

    // --- Objects and elements -------------------------------------------------------------

    bool CArgumentObject::Read(Stream*)
    {
        return false;
    }

    bool CArgumentObject::GetSize(size_t&) const
    {
        return false;
    }

    bool CArgumentObject::Write(Stream*) const
    {
        return false;
    }

    CArgumentNetObject::CArgumentNetObject(CBaseObject* pElement, int32_t iId, INetObjectResolver* pResolver)
        : CArgumentObject(TypeTag{ARGUMENT_NETOBJECT}, pElement), m_iId(iId)
    {
        SetNetObjectResolver(pResolver);
    }

    CBaseObject* CArgumentNetObject::GetLiveElement() const
    {
        INetObjectResolver* pResolver = GetNetObjectResolver();
        int32_t iId;
        if (m_pObject && pResolver && !pResolver->GetNetObjectId(m_pObject, iId))
            return nullptr;
        return m_pObject;
    }

    bool CArgumentNetObject::Read(Stream* pStream)
    {
        int32_t iId;
        if (!ReadExact(pStream, &iId, 4))
            return false;
        m_iId = iId;
        INetObjectResolver* pResolver = GetNetObjectResolver();
        m_pObject = iId >= 0 && pResolver ? pResolver->FindNetObject(iId) : nullptr;
        return true;
    }

    bool CArgumentNetObject::GetSize(size_t& size) const
    {
        size = 4;
        return true;
    }

    bool CArgumentNetObject::Write(Stream* pStream) const
    {
        int32_t iId = m_iId;
        INetObjectResolver* pResolver = GetNetObjectResolver();
        int32_t iCurrent;
        if (m_pObject && pResolver && pResolver->GetNetObjectId(m_pObject, iCurrent))
            iId = iCurrent;
        return WriteExact(pStream, &iId, 4);
    }

    CArgument* CArgumentNetObject::Clone() const
    {
        return new CArgumentNetObject(m_pObject, m_iId, GetNetObjectResolver());
    }

    // --- Function values and engine values ------------------------------------------------

    bool CArgumentFunction::Read(Stream*)
    {
        return true;
    }

    bool CArgumentFunction::GetSize(size_t& size) const
    {
        size = 0;
        return true;
    }

    bool CArgumentFunction::Write(Stream*) const
    {
        return true;
    }

    bool CArgumentEngineValue::Read(Stream*)
    {
        return true;
    }

    bool CArgumentEngineValue::GetSize(size_t&) const
    {
        return false;
    }

    bool CArgumentEngineValue::Write(Stream*) const
    {
        return false;
    }
}
