#include <Engine/Chunk.h>

#include <Engine/BinaryIO.h>
#include <Engine/ElementChunk.h>
#include <Engine/StreamRangeStream.h>

#include <unordered_map>

namespace Torvane3D
{
    // --- Type registry -------------------------------------------------------------------

    template <class T>
    static CChunk* MakeChunk(uint32_t)
    {
        return new T();
    }

    static std::unordered_map<uint32_t, CChunkTypes::Factory>& Registry()
    {
        static std::unordered_map<uint32_t, CChunkTypes::Factory> s_Registry = {
            {CHUNK_DATA, [](uint32_t) -> CChunk* { return new CDataChunk(CHUNK_DATA); }},
            {CHUNK_IMAGE_DATA, MakeChunk<CImageDataChunk>},
            {CHUNK_HISTORY, MakeChunk<CHistoryChunk>},
            {CHUNK_ELEMENT, MakeChunk<CElementChunk>},
        };
        return s_Registry;
    }

    void CChunkTypes::RegisterCustomChunk(uint32_t uiType, Factory factory)
    {
        if (factory)
            Registry()[uiType] = factory;
    }

    CChunk* CChunkTypes::Create(uint32_t uiType)
    {
        auto& registry = Registry();
        auto it = registry.find(uiType);
        CChunk* pChunk = it != registry.end() ? it->second(uiType) : nullptr;
        return pChunk ? pChunk : new CDataChunk(uiType);
    }

    // --- Tree ----------------------------------------------------------------------------

    CChunk::CChunk(uint32_t uiType) : m_uiType(uiType)
    {
    }

    CChunk::~CChunk()
    {
        for (CChunk* pChild : m_Children)
            delete pChild;
    }

    void CChunk::AddChild(CChunk* pChild)
    {
        if (!pChild || pChild == this)
            return;
        pChild->Orphan();
        pChild->m_pParent = this;
        pChild->m_uiIndex = m_Children.size();
        m_Children.push_back(pChild);
    }

    void CChunk::Orphan()
    {
        if (!m_pParent)
            return;
        auto& siblings = m_pParent->m_Children;
        if (m_uiIndex < siblings.size() && siblings[m_uiIndex] == this) {
            siblings.erase(siblings.begin() + static_cast<long>(m_uiIndex));
            for (size_t i = m_uiIndex; i < siblings.size(); i++)
                siblings[i]->m_uiIndex = i;
        }
        m_pParent = nullptr;
        m_uiIndex = 0;
    }

    static bool EqualsIgnoringCase(const std::string& a, const char* b)
    {
        size_t i = 0;
        for (; i < a.size(); i++) {
            unsigned char ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[i]);
            if (cb == '\0')
                return false;
            if (ca >= 'A' && ca <= 'Z')
                ca = static_cast<unsigned char>(ca - 'A' + 'a');
            if (cb >= 'A' && cb <= 'Z')
                cb = static_cast<unsigned char>(cb - 'A' + 'a');
            if (ca != cb)
                return false;
        }
        return b[i] == '\0';
    }

    CElementChunk* CChunk::FindChunk(size_t start, const char* szName) const
    {
        if (!szName)
            return nullptr;
        for (size_t i = start; i < m_Children.size(); i++) {
            if (m_Children[i]->m_uiType != CHUNK_ELEMENT)
                continue;
            auto* pElement = dynamic_cast<CElementChunk*>(m_Children[i]);
            if (pElement && EqualsIgnoringCase(pElement->m_strName, szName))
                return pElement;
        }
        return nullptr;
    }

    // --- Reading -------------------------------------------------------------------------

    static bool Skip(Stream* pStream, uint64_t count)
    {
        if (count > static_cast<uint64_t>(pStream->GetRemaining()))
            return false;
        return count == 0 || pStream->Seek(static_cast<long>(count), SEEK_ORIGIN_CURRENT);
    }

    bool CChunk::ReadPayload(Stream* pStream, uint32_t uiDataSize)
    {
        if (uiDataSize > static_cast<uint64_t>(pStream->GetRemaining()))
            return false;
        long lStart = pStream->Tell();
        Strong<Stream> pWindow = Strong<Stream>::Adopt(new CStreamRangeStream(pStream, lStart, uiDataSize));
        // The reader goes on after the payload however much of it ReadData took.
        return ReadData(pWindow) && pStream->Seek(lStart + static_cast<long>(uiDataSize), SEEK_ORIGIN_BEGIN);
    }

    bool CChunk::ReadHeaderAndPayload(Stream* pStream, uint32_t& uiChildCount)
    {
        CBinaryReader reader(pStream);
        if (m_uiVersion >= 7) {
            uint32_t uiDataSize;
            if (!reader.ReadString(m_strName) || !reader.ReadUInt32(uiDataSize) || !ReadPayload(pStream, uiDataSize))
                return false;
            return reader.ReadUInt32(uiChildCount);
        }
        // Version 6: a padded header and a padded data block.
        uint16_t usHeaderSize;
        if (!reader.ReadUInt16(usHeaderSize) || !reader.ReadString(m_strName))
            return false;
        int64_t iHeaderPadding = static_cast<int64_t>(usHeaderSize) - static_cast<int64_t>(m_strName.size()) - 1;
        uint32_t uiBlockSize, uiDataSize;
        if (iHeaderPadding < 0 || !Skip(pStream, static_cast<uint64_t>(iHeaderPadding)) ||
            !reader.ReadUInt32(uiBlockSize) || !reader.ReadUInt32(uiDataSize))
            return false;
        int64_t iBlockPadding = static_cast<int64_t>(uiBlockSize) - 4 - static_cast<int64_t>(uiDataSize);
        uint16_t usChildCount;
        if (iBlockPadding < 0 || !ReadPayload(pStream, uiDataSize) ||
            !Skip(pStream, static_cast<uint64_t>(iBlockPadding)) || !reader.ReadUInt16(usChildCount))
            return false;
        uiChildCount = usChildCount;
        return true;
    }

    bool CChunk::ReadNested(Stream* pStream, int iDepth)
    {
        if (!pStream || iDepth > MAX_CHUNK_DEPTH)
            return false;
        uint32_t uiChildCount;
        if (!ReadHeaderAndPayload(pStream, uiChildCount))
            return false;
        // Every child takes at least its type number and an empty body.
        const uint64_t smallestChild = m_uiVersion >= 7 ? 4 + 1 + 4 + 4 : 4 + 2 + 1 + 4 + 4 + 2;
        if (uiChildCount > static_cast<uint64_t>(pStream->GetRemaining()) / smallestChild)
            return false;
        CBinaryReader reader(pStream);
        for (uint32_t i = 0; i < uiChildCount; i++) {
            uint32_t uiType;
            if (!reader.ReadUInt32(uiType))
                return false;
            std::unique_ptr<CChunk> pChild(CChunkTypes::Create(uiType));
            pChild->m_uiVersion = m_uiVersion;
            pChild->m_pParent = this;
            pChild->m_uiIndex = m_Children.size();
            if (!pChild->ReadNested(pStream, iDepth + 1))
                return false;
            pChild->Process();
            m_Children.push_back(pChild.release());
        }
        return true;
    }

    // --- Writing -------------------------------------------------------------------------

    bool CChunk::WriteNested(Stream* pStream, int iDepth) const
    {
        if (!pStream || iDepth > MAX_CHUNK_DEPTH || m_Children.size() > UINT32_MAX)
            return false;
        // On the heap: the buffer is large and this recurses.
        auto pPayload = MakeStrong<CUnlimitedStream>();
        CUnlimitedStream& payload = *pPayload;
        if (!WriteData(pPayload) || payload.GetSize() > UINT32_MAX)
            return false;
        CBinaryWriter writer(pStream);
        if (!writer.WriteString(m_strName) || !writer.WriteUInt32(static_cast<uint32_t>(payload.GetSize())) ||
            !writer.WriteBytes(payload.GetData(), payload.GetSize()) ||
            !writer.WriteUInt32(static_cast<uint32_t>(m_Children.size())))
            return false;
        for (const CChunk* pChild : m_Children) {
            if (!writer.WriteUInt32(pChild->m_uiType) || !pChild->WriteNested(pStream, iDepth + 1))
                return false;
        }
        return true;
    }

    // --- Payloads ------------------------------------------------------------------------

    bool CDataChunk::ReadData(Stream* pStream)
    {
        m_Data.resize(static_cast<size_t>(pStream->GetRemaining()));
        return m_Data.empty() || pStream->Read(m_Data.data(), m_Data.size()) == m_Data.size();
    }

    bool CDataChunk::WriteData(Stream* pStream) const
    {
        return m_Data.empty() || pStream->Write(m_Data.data(), m_Data.size()) == m_Data.size();
    }

    bool CHistoryChunk::ReadData(Stream* pStream)
    {
        m_strText.resize(static_cast<size_t>(pStream->GetRemaining()));
        return m_strText.empty() || pStream->Read(m_strText.data(), m_strText.size()) == m_strText.size();
    }

    bool CHistoryChunk::WriteData(Stream* pStream) const
    {
        return m_strText.empty() || pStream->Write(m_strText.data(), m_strText.size()) == m_strText.size();
    }
}
