// Text files: encoding detection by byte-order mark, loading as UTF-8, characters and lines.
#pragma once

#include <Engine/Stream.h>

#include <string>

namespace Torvane3D
{
    enum eTextEncoding
    {
        TEXT_ENCODING_UTF8 = 0,
        TEXT_ENCODING_UTF16 = 1,
        TEXT_ENCODING_UTF32 = 2,
    };

    class CTextReader : public CBaseObject
    {
    public:
        // Larger texts are not loaded.
        static constexpr size_t MAX_TEXT_SIZE = size_t(256) << 20;

        explicit CTextReader(Stream* pStream);

        // Looks at the stream's first bytes: EF BB BF UTF-8, FF FE 00 00 UTF-32 little-endian,
        // FF FE UTF-16 little-endian, FE FF UTF-16 big-endian, 00 00 FE FF UTF-32 big-endian;
        // anything else is UTF-8 without a mark. Leaves the stream after the mark.
        void DetermineEncoding();
        // Reads the rest of the stream as UTF-8 text: UTF-8 as it is, UTF-16 little-endian
        // converted (surrogate pairs joined; a lone surrogate becomes U+FFFD). Big-endian and
        // UTF-32 texts are refused (false, no text).
        bool Load();
        // The loaded text (after detecting and loading on first use); null when refused.
        const std::string* GetText();

        // Copies up to count bytes of the remaining text.
        size_t Read(void* pBuffer, size_t count);
        // The next code point. A byte that cannot start a sequence, or a sequence cut short
        // inside the text, gives U+FFFD and moves one byte on; false only at the end.
        bool ReadCharacter(uint32_t& uiCodePoint);
        // The next line without its terminator ("\n" or "\r\n"); the last line may lack one.
        // A line longer than the buffer comes in pieces: the buffer is filled (size - 1 bytes
        // and a zero), *pbComplete is false, and the next call goes on with the same line.
        // False only when no text is left (or the buffer holds fewer than 2 bytes).
        bool ReadLine(char* pBuffer, size_t size, size_t& length, bool* pbComplete = nullptr);
        // The next whole line, however long.
        bool ReadLine(std::string& strLine);

        eTextEncoding GetEncoding() const { return m_Encoding; }
        bool IsBigEndian() const { return m_bBigEndian; }

    private:
        bool EnsureLoaded();

        Strong<Stream> m_pStream;
        eTextEncoding m_Encoding = TEXT_ENCODING_UTF8;
        bool m_bBigEndian = false;
        bool m_bDetermined = false;
        bool m_bLoadTried = false;
        bool m_bHasText = false;
        std::string m_strText;
        size_t m_Position = 0;
    };

    // Appends one code point to a UTF-8 string.
    void AppendUTF8(std::string& strText, uint32_t uiCodePoint);
}
