#include <Engine/ElementChunk.h>

#include <Engine/Arguments.h>
#include <Engine/BinaryIO.h>

#include <zlib.h>

namespace Torvane3D
{
    CElementChunk::CElementChunk() : CChunk(CHUNK_ELEMENT), m_pAttributes(new CArgumentMap())
    {
    }

    CElementChunk::~CElementChunk()
    {
        m_pAttributes->Release();
    }

    bool CElementChunk::ReadData(Stream* pStream)
    {
        CBinaryReader reader(pStream);
        return reader.ReadString(m_strText) && m_pAttributes->Read(pStream);
    }

    bool CElementChunk::WriteData(Stream* pStream) const
    {
        CBinaryWriter writer(pStream);
        return writer.WriteString(m_strText) && m_pAttributes->Write(pStream);
    }

    const char* CElementChunk::Attribute(const char* szName, size_t* pLength) const
    {
        CArgument* pValue = szName ? m_pAttributes->Get(szName) : nullptr;
        if (!pValue || !pValue->IsString())
            return nullptr;
        return pValue->ToString(pLength);
    }

    void CElementChunk::SetAttribute(std::string_view name, std::string_view value)
    {
        m_pAttributes->Set(name, new CArgumentString(value));
    }

    // --- Binary documents ----------------------------------------------------------------

    static constexpr unsigned char DOCUMENT_PLAIN = 0xFF;
    static constexpr unsigned char DOCUMENT_COMPRESSED = 0x5A;
    // A compressed body inflates to at most this; zlib cannot expand more than about 1032 to 1.
    static constexpr uint64_t MAX_INFLATED_SIZE = uint64_t(256) << 20;
    static constexpr uint64_t MAX_DEFLATE_RATIO = 1032;

    // Reads the root chunk and detaches its first child, which must be an element.
    static std::unique_ptr<CElementChunk> ReadRoot(Stream* pStream, uint32_t uiVersion)
    {
        CBinaryReader reader(pStream);
        uint32_t uiRootType;
        if (!reader.ReadUInt32(uiRootType))
            return nullptr;
        CRootChunk root;
        root.m_uiVersion = uiVersion;
        if (!root.ReadDocument(pStream) || root.GetChildCount() == 0)
            return nullptr;
        auto* pTop = dynamic_cast<CElementChunk*>(root.GetChild(0));
        if (!pTop || pTop->GetType() != CHUNK_ELEMENT)
            return nullptr;
        pTop->Orphan();
        return std::unique_ptr<CElementChunk>(pTop);
    }

    static std::unique_ptr<CElementChunk> ReadCompressedRoot(Stream* pStream, uint32_t uiVersion)
    {
        CBinaryReader reader(pStream);
        uint32_t uiInflatedSize, uiCompressedSize, uiIgnored;
        if (!reader.ReadUInt32(uiInflatedSize) || !reader.ReadUInt32(uiCompressedSize) || !reader.ReadUInt32(uiIgnored))
            return nullptr;
        // Both sizes are checked before anything is allocated: the compressed bytes must be
        // there, and the announced size must be one they can inflate to.
        if (uiCompressedSize > static_cast<uint64_t>(pStream->GetRemaining()) || uiInflatedSize > MAX_INFLATED_SIZE ||
            uiInflatedSize > uint64_t(uiCompressedSize) * MAX_DEFLATE_RATIO + 64)
            return nullptr;
        std::vector<unsigned char> compressed(uiCompressedSize);
        if (!reader.ReadBytes(compressed.data(), compressed.size()))
            return nullptr;
        std::vector<unsigned char> inflated(uiInflatedSize);
        z_stream z{};
        if (inflateInit(&z) != Z_OK)
            return nullptr;
        z.next_in = compressed.data();
        z.avail_in = uiCompressedSize;
        z.next_out = inflated.data();
        z.avail_out = uiInflatedSize;
        int iResult = inflate(&z, Z_FINISH);
        size_t produced = uiInflatedSize - z.avail_out;
        inflateEnd(&z);
        // The stream must end within the announced size.
        if (iResult != Z_STREAM_END)
            return nullptr;
        auto pBody = MakeStrong<CMemoryStream>(inflated.data(), produced);
        return ReadRoot(pBody, uiVersion);
    }

    // The binary form, or null with bIsBinary false when the header is not ours.
    static std::unique_ptr<CElementChunk> LoadBinaryDocument(Stream* pStream, bool& bIsBinary)
    {
        bIsBinary = false;
        CBinaryReader reader(pStream);
        unsigned char signature[4];
        uint32_t uiVersion;
        if (!reader.ReadBytes(signature, 4) || signature[0] != 'H' || signature[1] != 'B' || signature[2] != 'F' ||
            (signature[3] != DOCUMENT_PLAIN && signature[3] != DOCUMENT_COMPRESSED) || !reader.ReadUInt32(uiVersion) ||
            uiVersion < 6 || uiVersion > 8)
            return nullptr;
        bIsBinary = true;
        uint32_t uiExtra;
        if (uiVersion > 7 && !reader.ReadUInt32(uiExtra))
            return nullptr;
        if (signature[3] == DOCUMENT_COMPRESSED)
            return ReadCompressedRoot(pStream, uiVersion);
        return ReadRoot(pStream, uiVersion);
    }

    std::unique_ptr<CElementChunk> LoadXmlStream(Stream* pStream);

    std::unique_ptr<CElementChunk> CElementChunk::Load(Stream* pStream)
    {
        if (!pStream)
            return nullptr;
        long lStart = pStream->Tell();
        bool bIsBinary;
        std::unique_ptr<CElementChunk> pTop = LoadBinaryDocument(pStream, bIsBinary);
        if (bIsBinary)
            return pTop;
        if (lStart < 0 || !pStream->Seek(lStart, SEEK_ORIGIN_BEGIN))
            return nullptr;
        return LoadXmlStream(pStream);
    }

    bool CElementChunk::Save(Stream* pStream, bool bCompress) const
    {
        // The body: the root chunk (type 0, unnamed, no payload) with this element as its child.
        auto pBody = MakeStrong<CUnlimitedStream>();
        CBinaryWriter body(pBody);
        if (!body.WriteUInt32(0) || !body.WriteString("") || !body.WriteUInt32(0) || !body.WriteUInt32(1) ||
            !body.WriteUInt32(GetType()) || !Write(pBody))
            return false;
        CBinaryWriter writer(pStream);
        const unsigned char header[4] = {'H', 'B', 'F', bCompress ? DOCUMENT_COMPRESSED : DOCUMENT_PLAIN};
        if (!writer.WriteBytes(header, 4) || !writer.WriteUInt32(CHUNK_VERSION_CURRENT) || !writer.WriteUInt32(0))
            return false;
        if (!bCompress)
            return writer.WriteBytes(pBody->GetData(), pBody->GetSize());
        if (pBody->GetSize() > MAX_INFLATED_SIZE)
            return false;
        uLongf compressedSize = compressBound(pBody->GetSize());
        std::vector<unsigned char> compressed(compressedSize);
        if (compress2(compressed.data(), &compressedSize, pBody->GetData(), pBody->GetSize(), Z_BEST_COMPRESSION) != Z_OK)
            return false;
        return writer.WriteUInt32(static_cast<uint32_t>(pBody->GetSize())) &&
            writer.WriteUInt32(static_cast<uint32_t>(compressedSize)) && writer.WriteUInt32(0) &&
            writer.WriteBytes(compressed.data(), compressedSize);
    }
}
