// Configuration documents for tests, loaded from text the way the server loads server.xml.
#pragma once

#include "ServerConfiguration.h"

#include <Engine/ElementChunk.h>
#include <Engine/Stream.h>

#include <memory>
#include <string>

namespace TestSupport
{
    struct CConfigDocumentHolder
    {
        std::unique_ptr<Torvane3D::CElementChunk> m_pDocument;
    };

    // A loaded document and its configuration view, kept together.
    class CConfigDocument : private CConfigDocumentHolder, public CElementChunkConfig
    {
    public:
        explicit CConfigDocument(std::unique_ptr<Torvane3D::CElementChunk> pDocument)
            : CConfigDocumentHolder{std::move(pDocument)}, CElementChunkConfig(*m_pDocument)
        {
        }
    };

    // The document's top element, or null when the text does not load.
    inline std::unique_ptr<CConfigDocument> LoadConfigXml(const std::string& text)
    {
        using namespace Torvane3D;
        auto pStream = Strong<CMemoryStream>::Adopt(new CMemoryStream(text.data(), text.size()));
        std::unique_ptr<CElementChunk> pDocument = CElementChunk::Load(pStream);
        return pDocument ? std::make_unique<CConfigDocument>(std::move(pDocument)) : nullptr;
    }
}
