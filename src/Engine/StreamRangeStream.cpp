#include <Engine/StreamRangeStream.h>

#include <algorithm>

namespace Torvane3D
{
    CStreamRangeStream::CStreamRangeStream(Stream* pBase, long lStart, long lLength)
        : m_pBase(pBase), m_lStart(std::max(lStart, 0L)), m_lLength(std::max(lLength, 0L))
    {
        long lEnd;
        if (__builtin_add_overflow(m_lStart, m_lLength, &lEnd))
            m_lLength = 0;
    }

    size_t CStreamRangeStream::Read(void* pBuffer, size_t count)
    {
        if (!m_pBase || m_lPosition >= m_lLength)
            return 0;
        size_t n = std::min(count, static_cast<size_t>(m_lLength - m_lPosition));
        if (n == 0 || !m_pBase->Seek(m_lStart + m_lPosition, SEEK_ORIGIN_BEGIN))
            return 0;
        size_t got = m_pBase->Read(pBuffer, n);
        m_lPosition += static_cast<long>(got);
        return got;
    }

    size_t CStreamRangeStream::Write(const void* pData, size_t count)
    {
        if (!m_pBase || m_lPosition > m_lLength || count > static_cast<size_t>(m_lLength - m_lPosition) ||
            count == 0)
            return 0;
        if (!m_pBase->Seek(m_lStart + m_lPosition, SEEK_ORIGIN_BEGIN))
            return 0;
        size_t written = m_pBase->Write(pData, count);
        m_lPosition += static_cast<long>(written);
        return written;
    }

    bool CStreamRangeStream::Seek(long offset, int origin)
    {
        long base;
        switch (origin) {
        case SEEK_ORIGIN_BEGIN: base = 0; break;
        case SEEK_ORIGIN_CURRENT: base = m_lPosition; break;
        case SEEK_ORIGIN_END: base = m_lLength; break;
        default: return false;
        }
        long target;
        if (__builtin_add_overflow(base, offset, &target) || target < 0)
            return false;
        m_lPosition = target;
        return true;
    }
}
