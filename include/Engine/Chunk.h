// Chunked documents: trees of typed chunks, read from the binary "HBF" form or from XML.
#pragma once

#include <Engine/Stream.h>

#include <memory>
#include <string>
#include <vector>

namespace Torvane3D
{
    enum eChunkType : uint32_t
    {
        CHUNK_DATA = 1,
        CHUNK_IMAGE_DATA = 5,
        CHUNK_HISTORY = 21,
        CHUNK_TEXTURE = 72,
        CHUNK_ELEMENT = 93,
    };

    // The layout version of chunks made in memory and of documents this program writes.
    constexpr uint32_t CHUNK_VERSION_CURRENT = 8;
    // Documents nest at most this deep (the top element is at depth 1); deeper ones fail to load.
    constexpr int MAX_CHUNK_DEPTH = 256;

    class CElementChunk;

    class CChunk
    {
    public:
        explicit CChunk(uint32_t uiType);
        CChunk(const CChunk&) = delete;
        CChunk& operator=(const CChunk&) = delete;
        // Destroys the children it still owns.
        virtual ~CChunk();

        // The payload, read through a window of exactly its bytes. The base accepts anything.
        virtual bool ReadData(Stream*) { return true; }
        virtual bool WriteData(Stream*) const { return true; }
        // Runs once the chunk and all its children have been read.
        virtual void Process() {}

        // Reads this chunk's body (everything after its type number) and its subtree, in the
        // layout of m_uiVersion. False on any failure; nothing is allocated on the word of a
        // size or count that the stream cannot hold.
        bool Read(Stream* pStream) { return ReadNested(pStream, 1); }
        // Writes the body in the current layout (version 8), children included.
        bool Write(Stream* pStream) const { return WriteNested(pStream, 1); }

        // The first direct child at index start or later that is an element named szName
        // (ignoring case), or null.
        CElementChunk* FindChunk(size_t start, const char* szName) const;

        // Appends a child and takes ownership of it.
        void AddChild(CChunk* pChild);
        // Leaves the parent: later siblings move down one place, and the caller owns the chunk.
        void Orphan();

        size_t GetChildCount() const { return m_Children.size(); }
        CChunk* GetChild(size_t index) const { return index < m_Children.size() ? m_Children[index] : nullptr; }
        CChunk* GetParent() const { return m_pParent; }
        size_t GetIndex() const { return m_uiIndex; }
        uint32_t GetType() const { return m_uiType; }
        uint32_t GetVersion() const { return m_uiVersion; }
        const std::string& GetName() const { return m_strName; }
        void SetName(std::string_view name) { m_strName = name; }

        uint32_t m_uiVersion = CHUNK_VERSION_CURRENT;

    protected:
        bool ReadNested(Stream* pStream, int iDepth);
        bool WriteNested(Stream* pStream, int iDepth) const;

    private:
        bool ReadHeaderAndPayload(Stream* pStream, uint32_t& uiChildCount);
        bool ReadPayload(Stream* pStream, uint32_t uiDataSize);

        uint32_t m_uiType;
        std::string m_strName;
        CChunk* m_pParent = nullptr;
        size_t m_uiIndex = 0;
        std::vector<CChunk*> m_Children;
    };

    // Raw bytes: type 1, unknown types, and the base of image data.
    class CDataChunk : public CChunk
    {
    public:
        explicit CDataChunk(uint32_t uiType = CHUNK_DATA) : CChunk(uiType) {}

        bool ReadData(Stream* pStream) override;
        bool WriteData(Stream* pStream) const override;

        std::vector<unsigned char> m_Data;
    };

    class CImageDataChunk : public CDataChunk
    {
    public:
        CImageDataChunk() : CDataChunk(CHUNK_IMAGE_DATA) {}
    };

    // Text kept as it is.
    class CHistoryChunk : public CChunk
    {
    public:
        CHistoryChunk() : CChunk(CHUNK_HISTORY) {}

        bool ReadData(Stream* pStream) override;
        bool WriteData(Stream* pStream) const override;

        std::string m_strText;
    };

    // The unnamed container at the top of a binary document.
    class CRootChunk : public CChunk
    {
    public:
        CRootChunk() : CChunk(0) {}

        // Reads the document body; the root does not count towards the nesting depth, so the
        // top element is at depth 1 as in XML.
        bool ReadDocument(Stream* pStream) { return ReadNested(pStream, 0); }
    };

    // Makes chunks by type number. Types 1, 5, 21 and 93 are built in; other code registers
    // its own (textures, type 72). An unregistered type gives a data chunk of that type.
    class CChunkTypes
    {
    public:
        typedef CChunk* (*Factory)(uint32_t uiType);

        static void RegisterCustomChunk(uint32_t uiType, Factory factory);
        static CChunk* Create(uint32_t uiType);
    };
}
