// A window onto part of another stream (an archive member, a chunk's payload).
#pragma once

#include <Engine/Stream.h>

namespace Torvane3D
{
    class CStreamRangeStream : public Stream
    {
    public:
        CStreamRangeStream(Stream* pBase, long lStart, long lLength);

        // Reads stop at the window's end. The base stream is sought before every access,
        // so several windows may share one base stream.
        size_t Read(void* pBuffer, size_t count) override;
        // All or nothing: a write that would pass the window's end writes nothing.
        size_t Write(const void* pData, size_t count) override;
        bool Seek(long offset, int origin) override;
        long Tell() override { return m_lPosition; }
        long GetLength() override { return m_lLength; }

        Stream* GetBaseStream() const { return m_pBase; }
        long GetStart() const { return m_lStart; }

    private:
        Strong<Stream> m_pBase;
        long m_lStart;
        long m_lLength;
        long m_lPosition = 0;
    };
}
