// A strict structural check of XML text, run before the text reaches the XML parser.
//
// The parser recurses once per nested element, keeps a partial tree for some malformed
// documents, and in places reads over markup (a multi-byte sequence or a numeric entity
// swallows whatever follows). So a document is parsed only when this check, which reads
// markup the way the parser does, finds it well formed: valid UTF-8 without zero bytes,
// matching tags, quoted attribute values, strict numeric entities, no text outside the
// root, no deeper nesting than allowed, and at most 1024 attributes on an element (the
// parser's check for repeated names takes time that grows with their square).
#pragma once

#include <cstddef>
#include <string_view>

namespace Torvane3D
{
    struct tXmlStructure
    {
        size_t m_uiElements = 0;
        int m_iMaxDepth = 0; // the top element is at depth 1
    };

    bool CheckXmlStructure(std::string_view text, int iMaxDepth, tXmlStructure* pInfo = nullptr);

    // True when the bytes are UTF-8 without overlong forms, surrogates or values past U+10FFFF.
    bool IsValidUTF8(std::string_view text);
}
