// The primitive encodings script values are built from: exact byte runs and the compact
// length (7 bits per byte, low group first, at most 5 bytes).
#pragma once

#include <Engine/Stream.h>

namespace Torvane3D::ArgumentWire
{
    inline bool ReadExact(Stream* pStream, void* pBuffer, size_t count)
    {
        return count == 0 || pStream->Read(pBuffer, count) == count;
    }

    inline bool WriteExact(Stream* pStream, const void* pData, size_t count)
    {
        return count == 0 || pStream->Write(pData, count) == count;
    }

    // A fifth byte can only carry the top 4 bits of 32; anything above 0x0F there fails.
    // pbNothing, when given, tells a stream that had no byte at all from a broken length.
    inline bool ReadLength(Stream* pStream, uint32_t& length, bool* pbNothing = nullptr)
    {
        uint32_t value = 0;
        for (unsigned i = 0; i < 5; ++i) {
            uint8_t b;
            if (!ReadExact(pStream, &b, 1)) {
                if (pbNothing)
                    *pbNothing = i == 0;
                return false;
            }
            if (i == 4 && b > 0x0F)
                return false;
            value |= static_cast<uint32_t>(b & 0x7F) << (7 * i);
            if (!(b & 0x80)) {
                length = value;
                return true;
            }
        }
        return false;
    }

    inline bool WriteLength(Stream* pStream, uint32_t length)
    {
        uint8_t rgBytes[5];
        size_t count = 0;
        while (length > 0x7F) {
            rgBytes[count++] = static_cast<uint8_t>((length & 0x7F) | 0x80);
            length >>= 7;
        }
        rgBytes[count++] = static_cast<uint8_t>(length);
        return WriteExact(pStream, rgBytes, count);
    }

    inline size_t LengthSize(uint32_t length)
    {
        size_t size = 1;
        while (length > 0x7F) {
            length >>= 7;
            ++size;
        }
        return size;
    }

    // Whether `count` items of at least `minimum` bytes each can still follow, so that
    // nothing is reserved for input that is not there.
    inline bool CanFollow(Stream* pStream, uint64_t count, uint64_t minimum)
    {
        long remaining = pStream->GetRemaining();
        return remaining >= 0 && count * minimum <= static_cast<uint64_t>(remaining);
    }
}
