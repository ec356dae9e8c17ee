#include <Engine/Arguments.h>

#include <Engine/Context.h>
#include <Engine/Stream.h>

#include "ArgumentWire.h"

namespace Torvane3D
{
    using namespace ArgumentWire;

    CArgumentMap::CArgumentMap(size_t capacity) : CArgument(TypeTag{ARGUMENT_MAP})
    {
        m_Entries.reserve(capacity);
    }

    CArgumentMap::~CArgumentMap()
    {
        Clear();
    }

    void CArgumentMap::Set(std::string_view key, CArgument* pValue)
    {
        if (!pValue) {
            Remove(key);
            return;
        }
        auto it = m_Entries.find(key);
        if (it == m_Entries.end()) {
            m_Entries.emplace(std::string(key), pValue);
            return;
        }
        // Setting the value a key already holds takes and releases nothing.
        if (it->second == pValue)
            return;
        CArgument* pOld = it->second;
        it->second = pValue;
        pOld->Release();
    }

    CArgument* CArgumentMap::Get(std::string_view key) const
    {
        auto it = m_Entries.find(key);
        return it == m_Entries.end() ? nullptr : it->second;
    }

    bool CArgumentMap::Remove(std::string_view key)
    {
        auto it = m_Entries.find(key);
        if (it == m_Entries.end())
            return false;
        CArgument* pOld = it->second;
        m_Entries.erase(it);
        pOld->Release();
        return true;
    }

    void CArgumentMap::Clear()
    {
        Entries entries;
        entries.swap(m_Entries);
        for (auto& entry : entries)
            entry.second->Release();
    }

    bool CArgumentMap::ReadNested(Stream* pStream, int iDepth)
    {
        if (iDepth > MAX_ARGUMENT_DEPTH)
            return false;
        uint32_t count = 0;
        bool bNothing = false;
        if (!ReadLength(pStream, count, &bNothing) && !bNothing)
            return false; // a broken count; a stream with nothing left reads as an empty map
        Clear();
        // Every entry takes at least its type byte and its key length.
        if (!CanFollow(pStream, count, 2))
            return false;
        m_Entries.reserve(count);
        for (uint32_t i = 0; i < count; ++i) {
            uint8_t code;
            uint32_t keyLength;
            if (!ReadExact(pStream, &code, 1) || !ReadLength(pStream, keyLength) || !CanFollow(pStream, keyLength, 1))
                return false;
            std::string strKey(keyLength, '\0');
            if (!ReadExact(pStream, strKey.data(), keyLength))
                return false;
            CArgument* pValue = Create(code);
            if (!pValue) {
                LogMessage(LOG_WARN, "CArgument::Create(%s) - Failed", GetArgumentTypeSymbol(code));
                return false;
            }
            pValue->SetNetObjectResolver(GetNetObjectResolver());
            if (!pValue->ReadNested(pStream, iDepth + 1)) {
                pValue->Release();
                return false;
            }
            Set(strKey, pValue);
        }
        return true;
    }

    // Exact or nothing: a map holding a value without an encoding has no size, as it cannot be written.
    bool CArgumentMap::GetSizeNested(size_t& size, int iDepth) const
    {
        if (iDepth > MAX_ARGUMENT_DEPTH || m_Entries.size() > UINT32_MAX)
            return false;
        size_t total = LengthSize(static_cast<uint32_t>(m_Entries.size()));
        for (const auto& [strKey, pValue] : m_Entries) {
            size_t value;
            if (strKey.size() > UINT32_MAX || !pValue->GetSizeNested(value, iDepth + 1))
                return false;
            total += 1 + LengthSize(static_cast<uint32_t>(strKey.size())) + strKey.size() + value;
        }
        size = total;
        return true;
    }

    bool CArgumentMap::WriteNested(Stream* pStream, int iDepth) const
    {
        if (iDepth > MAX_ARGUMENT_DEPTH || m_Entries.size() > UINT32_MAX)
            return false;
        if (!WriteLength(pStream, static_cast<uint32_t>(m_Entries.size())))
            return false;
        for (const auto& [strKey, pValue] : m_Entries) {
            uint8_t code = pValue->GetType();
            if (strKey.size() > UINT32_MAX || !WriteExact(pStream, &code, 1) ||
                !WriteLength(pStream, static_cast<uint32_t>(strKey.size())) ||
                !WriteExact(pStream, strKey.data(), strKey.size()) || !pValue->WriteNested(pStream, iDepth + 1))
                return false;
        }
        return true;
    }

    CArgument* CArgumentMap::CloneNested(int iDepth) const
    {
        if (iDepth > MAX_ARGUMENT_DEPTH)
            return nullptr;
        Strong<CArgumentMap> pCopy = Strong<CArgumentMap>::Adopt(WithLinkOf(new CArgumentMap(m_Entries.size())));
        for (const auto& [strKey, pValue] : m_Entries) {
            CArgument* pValueCopy = pValue->CloneNested(iDepth + 1);
            if (!pValueCopy)
                return nullptr;
            pCopy->m_Entries.emplace(strKey, pValueCopy);
        }
        return pCopy.Detach();
    }
}
