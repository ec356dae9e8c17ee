#include <Engine/BinaryIO.h>

#include <memory>

namespace Torvane3D
{
    bool CBinaryWriter::WriteBytes(const void* pData, size_t count)
    {
        if (count == 0)
            return true;
        return m_pStream->Write(pData, count) == count;
    }

    bool CBinaryWriter::WriteCompactLength(uint32_t n)
    {
        while (n > 127) {
            if (!WriteUInt8(static_cast<uint8_t>((n & 0x7f) | 0x80)))
                return false;
            n >>= 7;
        }
        return WriteUInt8(static_cast<uint8_t>(n));
    }

    bool CBinaryWriter::WriteString(const char* szText, size_t length)
    {
        if (!szText)
            length = 0;
        if (length > UINT32_MAX)
            return false;
        return WriteCompactLength(static_cast<uint32_t>(length)) && WriteBytes(szText, length);
    }

    bool CBinaryReader::ReadBytes(void* pBuffer, size_t count)
    {
        if (count == 0)
            return true;
        return m_pStream->Read(pBuffer, count) == count;
    }

    bool CBinaryReader::ReadBool(bool& v)
    {
        uint8_t b;
        if (!ReadUInt8(b))
            return false;
        v = b != 0;
        return true;
    }

    bool CBinaryReader::ReadCompactLength(int32_t& n)
    {
        uint32_t value = 0;
        unsigned shift = 0;
        for (;;) {
            uint8_t b;
            if (!ReadUInt8(b))
                return false;
            value |= static_cast<uint32_t>(b & 0x7f) << shift;
            if (!(b & 0x80))
                break;
            shift += 7;
            if (shift >= 35)
                return false;
        }
        n = static_cast<int32_t>(value);
        return true;
    }

    bool CBinaryReader::ReadStringOfLength(std::string& text, int64_t length)
    {
        if (length < 0 || length > GetRemaining())
            return false;
        text.resize(static_cast<size_t>(length));
        return ReadBytes(text.data(), text.size());
    }

    bool CBinaryReader::ReadString(std::string& text)
    {
        int32_t length;
        return ReadCompactLength(length) && ReadStringOfLength(text, length);
    }

    char* CBinaryReader::ReadString(size_t* pLength)
    {
        int32_t length;
        if (!ReadCompactLength(length) || length < 0 || length > GetRemaining())
            return nullptr;
        std::unique_ptr<char[]> pText(new char[static_cast<size_t>(length) + 1]);
        if (!ReadBytes(pText.get(), static_cast<size_t>(length)))
            return nullptr;
        pText[length] = '\0';
        if (pLength)
            *pLength = static_cast<size_t>(length);
        return pText.release();
    }

    bool CBinaryReader::ReadString16(std::string& text)
    {
        uint16_t length;
        return ReadUInt16(length) && ReadStringOfLength(text, length);
    }

    bool CBinaryReader::ReadString32(std::string& text)
    {
        uint32_t length;
        return ReadUInt32(length) && ReadStringOfLength(text, length);
    }
}
