// Writes text files with the byte-order mark of their encoding.
#pragma once

#include <Engine/TextReader.h>

namespace Torvane3D
{
    class CTextWriter : public CBaseObject
    {
    public:
        explicit CTextWriter(Stream* pStream, eTextEncoding encoding = TEXT_ENCODING_UTF8, bool bBigEndian = false);

        // At stream position 0 the byte-order mark goes first. UTF-8 text is written as it
        // is; other encodings get only their mark and the write reports false.
        bool Write(const char* szText, size_t length);
        bool Write(std::string_view text) { return Write(text.data(), text.size()); }

    private:
        bool WriteMark();

        Strong<Stream> m_pStream;
        eTextEncoding m_Encoding;
        bool m_bBigEndian;
    };
}
