// Element chunks: a name, a text, attributes and child elements. Configuration files,
// meta.xml and maps are loaded as trees of them, from XML or the binary form.
#pragma once

#include <Engine/Chunk.h>

namespace Torvane3D
{
    class CArgumentMap;

    class CElementChunk : public CChunk
    {
    public:
        CElementChunk();
        ~CElementChunk() override;

        // The payload: the text as a compact string, then the attribute map.
        bool ReadData(Stream* pStream) override;
        bool WriteData(Stream* pStream) const override;

        // The value of the attribute (exact name) when it exists and is a string, with its
        // length; null otherwise.
        const char* Attribute(const char* szName, size_t* pLength = nullptr) const;
        void SetAttribute(std::string_view name, std::string_view value);
        // The attribute map itself (strings from XML; any value type from the binary form).
        CArgumentMap* GetAttributes() const { return m_pAttributes; }

        const std::string& GetText() const { return m_strText; }
        void SetText(std::string_view text) { m_strText = text; }

        // The top element of a document in either form (binary first, then XML text), or null.
        static std::unique_ptr<CElementChunk> Load(Stream* pStream);
        // Writes a binary document (version 8) whose top element is this one, compressed
        // through zlib when asked.
        bool Save(Stream* pStream, bool bCompress = false) const;

    private:
        std::string m_strText;
        CArgumentMap* m_pAttributes; // one reference, owned
    };

    // Documents read from XML text only (no binary attempt); null when malformed.
    std::unique_ptr<CElementChunk> LoadXmlDocument(std::string_view text);
}
