#include <Engine/Stream.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

namespace Torvane3D
{
    long Stream::GetLength()
    {
        long lPosition = Tell();
        if (!Seek(0, SEEK_ORIGIN_END))
            return -1;
        long lLength = Tell();
        Seek(lPosition, SEEK_ORIGIN_BEGIN);
        return lLength;
    }

    long Stream::GetRemaining()
    {
        long lPosition = Tell();
        long lLength = GetLength();
        if (lPosition < 0 || lLength < 0 || lPosition >= lLength)
            return 0;
        return lLength - lPosition;
    }

    // Resolves a seek target; false for an unknown origin or an overflow.
    static bool SeekTarget(long offset, int origin, long current, long length, long& target)
    {
        long base;
        switch (origin) {
        case SEEK_ORIGIN_BEGIN: base = 0; break;
        case SEEK_ORIGIN_CURRENT: base = current; break;
        case SEEK_ORIGIN_END: base = length; break;
        default: return false;
        }
        return !__builtin_add_overflow(base, offset, &target);
    }

    CMemoryStream::CMemoryStream(const void* pData, size_t length, int mode, CRefCounted* pKeeper)
        : m_pData(static_cast<unsigned char*>(const_cast<void*>(pData))), m_Length(length),
          m_iMode(mode & ~MEMSTREAM_WRITE), m_pKeeper(pKeeper)
    {
    }

    CMemoryStream::CMemoryStream(void* pData, size_t length, int mode, CRefCounted* pKeeper)
        : m_pData(static_cast<unsigned char*>(pData)), m_Length(length), m_iMode(mode), m_pKeeper(pKeeper)
    {
    }

    CMemoryStream::~CMemoryStream()
    {
        if (m_pKeeper)
            m_pKeeper->Release();
    }

    size_t CMemoryStream::Read(void* pBuffer, size_t count)
    {
        if (!(m_iMode & MEMSTREAM_READ) || m_lPosition < 0 || static_cast<size_t>(m_lPosition) >= m_Length)
            return 0;
        size_t n = std::min(count, m_Length - static_cast<size_t>(m_lPosition));
        memcpy(pBuffer, m_pData + m_lPosition, n);
        m_lPosition += static_cast<long>(n);
        return n;
    }

    size_t CMemoryStream::Write(const void* pData, size_t count)
    {
        if (!(m_iMode & MEMSTREAM_WRITE) || m_lPosition < 0 || static_cast<size_t>(m_lPosition) > m_Length ||
            count > m_Length - static_cast<size_t>(m_lPosition))
            return 0;
        memcpy(m_pData + m_lPosition, pData, count);
        m_lPosition += static_cast<long>(count);
        return count;
    }

    bool CMemoryStream::Seek(long offset, int origin)
    {
        long target;
        if (!SeekTarget(offset, origin, m_lPosition, static_cast<long>(m_Length), target) || target < 0)
            return false;
        m_lPosition = target;
        return true;
    }

    CUnlimitedStream::CUnlimitedStream() : m_pData(m_Inline), m_Capacity(INLINE_SIZE)
    {
    }

    CUnlimitedStream::~CUnlimitedStream()
    {
        if (m_pData != m_Inline)
            free(m_pData);
    }

    bool CUnlimitedStream::Reserve(size_t needed)
    {
        if (needed <= m_Capacity)
            return true;
        if (needed > MAX_CAPACITY)
            return false;
        size_t capacity = m_Capacity ? m_Capacity : 1;
        while (capacity < needed)
            capacity *= 2;
        unsigned char* pNew;
        if (m_pData == m_Inline) {
            pNew = static_cast<unsigned char*>(malloc(capacity));
            if (pNew)
                memcpy(pNew, m_Inline, m_Length);
        } else {
            pNew = static_cast<unsigned char*>(realloc(m_pData, capacity));
        }
        if (!pNew)
            return false;
        m_pData = pNew;
        m_Capacity = capacity;
        return true;
    }

    size_t CUnlimitedStream::Read(void* pBuffer, size_t count)
    {
        if (m_Position >= m_Length)
            return 0;
        size_t n = std::min(count, m_Length - m_Position);
        memcpy(pBuffer, m_pData + m_Position, n);
        m_Position += n;
        return n;
    }

    size_t CUnlimitedStream::Write(const void* pData, size_t count)
    {
        if (count == 0)
            return 0;
        if (count > MAX_CAPACITY || !Reserve(m_Position + count))
            return 0;
        memcpy(m_pData + m_Position, pData, count);
        m_Position += count;
        if (m_Position > m_Length)
            m_Length = m_Position;
        return count;
    }

    bool CUnlimitedStream::Seek(long offset, int origin)
    {
        long target;
        if (!SeekTarget(offset, origin, static_cast<long>(m_Position), static_cast<long>(m_Length), target) ||
            target < 0)
            return false;
        size_t newPosition = static_cast<size_t>(target);
        if (newPosition > m_Length) {
            // The gap becomes part of the data: grow and zero it now, so no later read
            // or write can touch memory the buffer does not have.
            if (!Reserve(newPosition))
                return false;
            memset(m_pData + m_Length, 0, newPosition - m_Length);
            m_Length = newPosition;
        }
        m_Position = newPosition;
        return true;
    }

    CStandardStream::~CStandardStream()
    {
        if (m_pFile)
            fclose(m_pFile);
    }

    size_t CStandardStream::Read(void* pBuffer, size_t count)
    {
        return fread(pBuffer, 1, count, m_pFile);
    }

    size_t CStandardStream::Write(const void* pData, size_t count)
    {
        return fwrite(pData, 1, count, m_pFile);
    }

    bool CStandardStream::Seek(long offset, int origin)
    {
        if (origin < SEEK_ORIGIN_BEGIN || origin > SEEK_ORIGIN_END)
            return false;
        static const int whence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
        return fseek(m_pFile, offset, whence[origin]) == 0;
    }

    long CStandardStream::Tell()
    {
        return ftell(m_pFile);
    }
}
