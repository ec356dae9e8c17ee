// Element trees from XML text.
#include <Engine/ElementChunk.h>

#include <Engine/TextReader.h>
#include <Engine/XmlStructure.h>

#include <tinyxml.h>

namespace Torvane3D
{
    static std::unique_ptr<CElementChunk> BuildElement(const TiXmlElement* pXml, int iDepth)
    {
        if (iDepth > MAX_CHUNK_DEPTH)
            return nullptr;
        std::unique_ptr<CChunk> pChunk(CChunkTypes::Create(CHUNK_ELEMENT));
        auto* pElement = dynamic_cast<CElementChunk*>(pChunk.get());
        if (!pElement)
            return nullptr;
        pChunk.release();
        std::unique_ptr<CElementChunk> pResult(pElement);
        pElement->SetName(pXml->ValueStr());
        const TiXmlNode* pFirst = pXml->FirstChild();
        if (pFirst && pFirst->ToText())
            pElement->SetText(pFirst->ValueStr());
        for (const TiXmlAttribute* pAttribute = pXml->FirstAttribute(); pAttribute; pAttribute = pAttribute->Next())
            pElement->SetAttribute(pAttribute->NameTStr(), pAttribute->ValueStr());
        for (const TiXmlElement* pChild = pXml->FirstChildElement(); pChild; pChild = pChild->NextSiblingElement()) {
            std::unique_ptr<CElementChunk> pChildChunk = BuildElement(pChild, iDepth + 1);
            if (!pChildChunk)
                return nullptr;
            pElement->AddChild(pChildChunk.release());
        }
        return pResult;
    }

    std::unique_ptr<CElementChunk> LoadXmlDocument(std::string_view text)
    {
        // The parser sees only text that the structural check accepts, and its own error
        // flag is checked too: it keeps a partial root for some malformed documents.
        if (!CheckXmlStructure(text, MAX_CHUNK_DEPTH))
            return nullptr;
        std::string strText(text);
        TiXmlDocument document;
        document.Parse(strText.c_str(), nullptr, TIXML_ENCODING_UTF8);
        if (document.Error())
            return nullptr;
        const TiXmlElement* pRoot = document.RootElement();
        return pRoot ? BuildElement(pRoot, 1) : nullptr;
    }

    std::unique_ptr<CElementChunk> LoadXmlStream(Stream* pStream)
    {
        auto pReader = MakeStrong<CTextReader>(pStream);
        const std::string* pText = pReader->GetText();
        return pText ? LoadXmlDocument(*pText) : nullptr;
    }
}
