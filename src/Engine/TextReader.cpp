#include <Engine/TextReader.h>

#include <algorithm>
#include <cstring>

namespace Torvane3D
{
    static constexpr uint32_t REPLACEMENT_CHARACTER = 0xFFFD;

    void AppendUTF8(std::string& strText, uint32_t cp)
    {
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            cp = REPLACEMENT_CHARACTER;
        if (cp < 0x80) {
            strText += static_cast<char>(cp);
        } else if (cp < 0x800) {
            strText += static_cast<char>(0xC0 | (cp >> 6));
            strText += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            strText += static_cast<char>(0xE0 | (cp >> 12));
            strText += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            strText += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            strText += static_cast<char>(0xF0 | (cp >> 18));
            strText += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            strText += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            strText += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    CTextReader::CTextReader(Stream* pStream) : m_pStream(pStream)
    {
    }

    void CTextReader::DetermineEncoding()
    {
        m_bDetermined = true;
        if (!m_pStream)
            return;
        long lStart = m_pStream->Tell();
        unsigned char mark[4] = {};
        size_t got = m_pStream->Read(mark, sizeof(mark));
        auto Starts = [&](std::initializer_list<unsigned char> bytes) {
            return got >= bytes.size() && std::equal(bytes.begin(), bytes.end(), mark);
        };
        size_t skip = 0;
        if (Starts({0xEF, 0xBB, 0xBF})) {
            m_Encoding = TEXT_ENCODING_UTF8;
            skip = 3;
        } else if (Starts({0xFF, 0xFE, 0x00, 0x00})) {
            // Checked before the UTF-16 mark, which is its prefix.
            m_Encoding = TEXT_ENCODING_UTF32;
            skip = 4;
        } else if (Starts({0xFF, 0xFE})) {
            m_Encoding = TEXT_ENCODING_UTF16;
            skip = 2;
        } else if (Starts({0xFE, 0xFF})) {
            m_Encoding = TEXT_ENCODING_UTF16;
            m_bBigEndian = true;
            skip = 2;
        } else if (Starts({0x00, 0x00, 0xFE, 0xFF})) {
            m_Encoding = TEXT_ENCODING_UTF32;
            m_bBigEndian = true;
            skip = 4;
        }
        m_pStream->Seek(lStart + static_cast<long>(skip), SEEK_ORIGIN_BEGIN);
    }

    // Reads the rest of a stream, refusing more than the limit.
    static bool ReadAll(Stream* pStream, std::string& strData, size_t limit)
    {
        strData.clear();
        char buffer[65536];
        for (;;) {
            size_t got = pStream->Read(buffer, sizeof(buffer));
            if (got == 0)
                return true;
            if (got > limit - strData.size())
                return false;
            strData.append(buffer, got);
        }
    }

    static void ConvertUTF16LE(const std::string& strRaw, std::string& strText)
    {
        strText.clear();
        strText.reserve(strRaw.size());
        const unsigned char* p = reinterpret_cast<const unsigned char*>(strRaw.data());
        size_t units = strRaw.size() / 2; // an odd trailing byte is no unit
        for (size_t i = 0; i < units; i++) {
            uint32_t unit = p[2 * i] | (p[2 * i + 1] << 8);
            if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
                uint32_t low = p[2 * i + 2] | (p[2 * i + 3] << 8);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    AppendUTF8(strText, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                    i++;
                    continue;
                }
            }
            AppendUTF8(strText, unit); // a lone surrogate becomes U+FFFD
        }
    }

    bool CTextReader::Load()
    {
        m_bLoadTried = true;
        m_bHasText = false;
        m_strText.clear();
        m_Position = 0;
        if (!m_pStream)
            return false;
        if (!m_bDetermined)
            DetermineEncoding();
        if (m_Encoding == TEXT_ENCODING_UTF32 || m_bBigEndian)
            return false;
        if (m_Encoding == TEXT_ENCODING_UTF8) {
            if (!ReadAll(m_pStream, m_strText, MAX_TEXT_SIZE)) {
                m_strText.clear();
                return false;
            }
        } else {
            std::string strRaw;
            // Each unit grows to at most 3 bytes of UTF-8.
            if (!ReadAll(m_pStream, strRaw, MAX_TEXT_SIZE / 3 * 2))
                return false;
            ConvertUTF16LE(strRaw, m_strText);
        }
        m_bHasText = true;
        return true;
    }

    bool CTextReader::EnsureLoaded()
    {
        if (!m_bLoadTried)
            Load();
        return m_bHasText;
    }

    const std::string* CTextReader::GetText()
    {
        return EnsureLoaded() ? &m_strText : nullptr;
    }

    size_t CTextReader::Read(void* pBuffer, size_t count)
    {
        if (!EnsureLoaded() || m_Position >= m_strText.size())
            return 0;
        size_t n = std::min(count, m_strText.size() - m_Position);
        memcpy(pBuffer, m_strText.data() + m_Position, n);
        m_Position += n;
        return n;
    }

    bool CTextReader::ReadCharacter(uint32_t& uiCodePoint)
    {
        if (!EnsureLoaded() || m_Position >= m_strText.size())
            return false;
        const unsigned char* p = reinterpret_cast<const unsigned char*>(m_strText.data()) + m_Position;
        size_t left = m_strText.size() - m_Position;
        unsigned char lead = p[0];
        size_t length;
        uint32_t cp;
        if (lead < 0x80) {
            length = 1;
            cp = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            cp = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            cp = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            cp = lead & 0x07;
        } else {
            length = 0; // a continuation byte, an overlong lead or 0xF5 and above
            cp = 0;
        }
        bool bValid = length > 0 && length <= left;
        for (size_t i = 1; bValid && i < length; i++) {
            if ((p[i] & 0xC0) != 0x80)
                bValid = false;
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not characters.
        if (bValid && ((length == 3 && cp < 0x800) || (length == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
                          (cp >= 0xD800 && cp <= 0xDFFF)))
            bValid = false;
        if (!bValid) {
            uiCodePoint = REPLACEMENT_CHARACTER;
            m_Position++;
            return true;
        }
        uiCodePoint = cp;
        m_Position += length;
        return true;
    }

    bool CTextReader::ReadLine(char* pBuffer, size_t size, size_t& length, bool* pbComplete)
    {
        if (!pBuffer || size < 2 || !EnsureLoaded() || m_Position >= m_strText.size())
            return false;
        size_t end = m_strText.find('\n', m_Position);
        bool bTerminated = end != std::string::npos;
        if (!bTerminated)
            end = m_strText.size();
        size_t lineEnd = end;
        if (bTerminated && lineEnd > m_Position && m_strText[lineEnd - 1] == '\r')
            lineEnd--;
        size_t lineLength = lineEnd - m_Position;
        bool bComplete = lineLength <= size - 1;
        length = bComplete ? lineLength : size - 1;
        memcpy(pBuffer, m_strText.data() + m_Position, length);
        pBuffer[length] = '\0';
        m_Position = bComplete ? (bTerminated ? end + 1 : end) : m_Position + length;
        if (pbComplete)
            *pbComplete = bComplete;
        return true;
    }

    bool CTextReader::ReadLine(std::string& strLine)
    {
        if (!EnsureLoaded() || m_Position >= m_strText.size())
            return false;
        size_t end = m_strText.find('\n', m_Position);
        bool bTerminated = end != std::string::npos;
        if (!bTerminated)
            end = m_strText.size();
        size_t lineEnd = end;
        if (bTerminated && lineEnd > m_Position && m_strText[lineEnd - 1] == '\r')
            lineEnd--;
        strLine.assign(m_strText, m_Position, lineEnd - m_Position);
        m_Position = bTerminated ? end + 1 : end;
        return true;
    }
}
