#include <Engine/Arguments.h>

#include <Engine/Context.h>
#include <Engine/Stream.h>

#include "ArgumentWire.h"

namespace Torvane3D
{
    using namespace ArgumentWire;

    // The wire carries the element count in one byte.
    static constexpr size_t MAX_WIRE_ELEMENTS = 255;

    CArgumentArray::CArgumentArray(size_t capacity) : CArgument(TypeTag{ARGUMENT_ARRAY})
    {
        m_Arguments.reserve(capacity);
    }

    CArgumentArray::~CArgumentArray()
    {
        Clear();
    }

    void CArgumentArray::Clear()
    {
        std::vector<CArgument*> arguments;
        arguments.swap(m_Arguments);
        for (CArgument* pArgument : arguments)
            pArgument->Release();
    }

    void CArgumentArray::Move(CArgumentArray* pDestination)
    {
        if (pDestination == this)
            return;
        pDestination->Clear();
        pDestination->m_Arguments.swap(m_Arguments);
    }

    void CArgumentArray::Push(CArgument* pArgument)
    {
        m_Arguments.push_back(pArgument ? pArgument : new CArgument(ARGUMENT_NIL));
    }

    void CArgumentArray::Add(const CArgument* pArgument)
    {
        if (!pArgument) {
            AddNull();
            return;
        }
        CArgument* pCopy = pArgument->Clone();
        Push(pCopy ? pCopy : new CArgument(ARGUMENT_UNDEFINED));
    }

    void CArgumentArray::AddNull() { Push(new CArgument(ARGUMENT_NIL)); }
    void CArgumentArray::AddUndefined() { Push(new CArgument(ARGUMENT_UNDEFINED)); }
    void CArgumentArray::AddBoolean(bool bValue) { Push(new CArgumentBoolean(bValue)); }
    void CArgumentArray::AddNumber(int32_t iValue) { Push(new CArgumentInteger(iValue)); }
    void CArgumentArray::AddNumber(int64_t iValue) { Push(new CArgumentLongInteger(iValue)); }
    void CArgumentArray::AddNumber(float fValue) { Push(new CArgumentFloat(fValue)); }
    void CArgumentArray::AddNumber(double dValue) { Push(new CArgumentDouble(dValue)); }
    void CArgumentArray::AddVector2D(const CVector2D& vecValue) { Push(new CArgumentVector2D(vecValue)); }
    void CArgumentArray::AddVector3D(const CVector3D& vecValue) { Push(new CArgumentVector3D(vecValue)); }
    void CArgumentArray::AddMatrix4x4(const CMatrix4x4& matValue) { Push(new CArgumentMatrix4x4(matValue)); }
    void CArgumentArray::AddBytes(const void* pData, size_t length) { Push(new CArgumentBytes(pData, length)); }
    void CArgumentArray::AddFunction(CFunction* pFunction) { Push(new CArgumentFunction(pFunction)); }

    void CArgumentArray::AddString(const char* szText)
    {
        if (!szText)
            AddNull();
        else
            Push(new CArgumentString(szText, strlen(szText)));
    }

    void CArgumentArray::AddString(const char* szText, size_t length)
    {
        if (!szText)
            AddNull();
        else
            Push(new CArgumentString(szText, length));
    }

    void CArgumentArray::AddObject(CBaseObject* pObject)
    {
        Push(pObject ? pObject->CreateArgument() : nullptr);
    }

    bool CArgumentArray::ReadNested(Stream* pStream, int iDepth)
    {
        if (iDepth > MAX_ARGUMENT_DEPTH)
            return false;
        uint8_t count = 0;
        ReadExact(pStream, &count, 1); // no byte at all reads as an empty array
        Clear();
        // Every element takes at least its type byte.
        if (!CanFollow(pStream, count, 1))
            return false;
        m_Arguments.reserve(count);
        for (unsigned i = 0; i < count; ++i) {
            uint8_t code;
            if (!ReadExact(pStream, &code, 1))
                return false;
            CArgument* pArgument = Create(code);
            if (!pArgument) {
                LogMessage(LOG_WARN, "CArgument::Create(%s) - Failed. (Argument %u of %u)", GetArgumentTypeSymbol(code),
                    i + 1, static_cast<unsigned>(count));
                return false;
            }
            pArgument->SetNetObjectResolver(GetNetObjectResolver());
            if (!pArgument->ReadNested(pStream, iDepth + 1)) {
                LogMessage(LOG_WARN, "CArgument::Create(%s)->Read(pStream) - Failed. (Argument %u of %u)",
                    GetArgumentTypeSymbol(code), i + 1, static_cast<unsigned>(count));
                pArgument->Release();
                return false;
            }
            m_Arguments.push_back(pArgument);
        }
        return true;
    }

    bool CArgumentArray::GetSizeNested(size_t& size, int iDepth) const
    {
        if (iDepth > MAX_ARGUMENT_DEPTH || m_Arguments.size() > MAX_WIRE_ELEMENTS)
            return false;
        size_t total = 1;
        for (const CArgument* pArgument : m_Arguments) {
            size_t element;
            if (!pArgument->GetSizeNested(element, iDepth + 1))
                return false;
            total += 1 + element;
        }
        size = total;
        return true;
    }

    bool CArgumentArray::WriteNested(Stream* pStream, int iDepth) const
    {
        if (iDepth > MAX_ARGUMENT_DEPTH || m_Arguments.size() > MAX_WIRE_ELEMENTS)
            return false;
        uint8_t count = static_cast<uint8_t>(m_Arguments.size());
        if (!WriteExact(pStream, &count, 1))
            return false;
        for (const CArgument* pArgument : m_Arguments) {
            uint8_t code = pArgument->GetType();
            if (!WriteExact(pStream, &code, 1) || !pArgument->WriteNested(pStream, iDepth + 1))
                return false;
        }
        return true;
    }

    CArgument* CArgumentArray::CloneNested(int iDepth) const
    {
        if (iDepth > MAX_ARGUMENT_DEPTH)
            return nullptr;
        Strong<CArgumentArray> pCopy = Strong<CArgumentArray>::Adopt(WithLinkOf(new CArgumentArray(m_Arguments.size())));
        for (const CArgument* pArgument : m_Arguments) {
            CArgument* pElement = pArgument->CloneNested(iDepth + 1);
            if (!pElement)
                return nullptr;
            pCopy->m_Arguments.push_back(pElement);
        }
        return pCopy.Detach();
    }
}
