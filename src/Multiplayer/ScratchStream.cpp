#include <Multiplayer/ScratchStream.h>

#include <algorithm>
#include <cstring>

namespace Torvane3D
{
    size_t CScratchStream::Read(void* pBuffer, size_t count)
    {
        if (m_Position >= m_Data.size())
            return 0;
        size_t n = std::min(count, m_Data.size() - m_Position);
        memcpy(pBuffer, m_Data.data() + m_Position, n);
        m_Position += n;
        return n;
    }

    size_t CScratchStream::Write(const void* pData, size_t count)
    {
        if (count == 0)
            return 0;
        if (m_Position + count > m_Data.size())
            m_Data.resize(m_Position + count);
        memcpy(m_Data.data() + m_Position, pData, count);
        m_Position += count;
        return count;
    }

    bool CScratchStream::Seek(long offset, int origin)
    {
        long base = origin == SEEK_ORIGIN_BEGIN ? 0 : origin == SEEK_ORIGIN_CURRENT ? Tell() : GetLength();
        long target = base + offset;
        if (target < 0 || target > GetLength())
            return false;
        m_Position = static_cast<size_t>(target);
        return true;
    }
}
