#include <Engine/TextWriter.h>

namespace Torvane3D
{
    CTextWriter::CTextWriter(Stream* pStream, eTextEncoding encoding, bool bBigEndian)
        : m_pStream(pStream), m_Encoding(encoding), m_bBigEndian(bBigEndian)
    {
    }

    bool CTextWriter::WriteMark()
    {
        static const unsigned char s_UTF8[] = {0xEF, 0xBB, 0xBF};
        static const unsigned char s_UTF16LE[] = {0xFF, 0xFE};
        static const unsigned char s_UTF16BE[] = {0xFE, 0xFF};
        static const unsigned char s_UTF32LE[] = {0xFF, 0xFE, 0x00, 0x00};
        static const unsigned char s_UTF32BE[] = {0x00, 0x00, 0xFE, 0xFF};
        const unsigned char* pMark;
        size_t length;
        switch (m_Encoding) {
        case TEXT_ENCODING_UTF16:
            pMark = m_bBigEndian ? s_UTF16BE : s_UTF16LE;
            length = 2;
            break;
        case TEXT_ENCODING_UTF32:
            pMark = m_bBigEndian ? s_UTF32BE : s_UTF32LE;
            length = 4;
            break;
        default:
            pMark = s_UTF8;
            length = 3;
            break;
        }
        return m_pStream->Write(pMark, length) == length;
    }

    bool CTextWriter::Write(const char* szText, size_t length)
    {
        if (!m_pStream)
            return false;
        if (m_pStream->Tell() == 0 && !WriteMark())
            return false;
        if (m_Encoding != TEXT_ENCODING_UTF8)
            return false;
        if (length == 0)
            return true;
        return szText && m_pStream->Write(szText, length) == length;
    }
}
