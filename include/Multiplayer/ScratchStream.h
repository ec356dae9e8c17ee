// A reusable write buffer: records are built here first, measured, then copied into their
// packet. Reset keeps the memory, so a pass over many elements allocates once.
#pragma once

#include <Engine/Stream.h>

#include <vector>

namespace Torvane3D
{
    class CScratchStream : public Stream
    {
    public:
        size_t Read(void* pBuffer, size_t count) override;
        size_t Write(const void* pData, size_t count) override;
        bool Seek(long offset, int origin) override;
        long Tell() override { return static_cast<long>(m_Position); }
        long GetLength() override { return static_cast<long>(m_Data.size()); }

        void Reset()
        {
            m_Data.clear();
            m_Position = 0;
        }
        const unsigned char* GetData() const { return m_Data.data(); }
        size_t GetSize() const { return m_Data.size(); }

    private:
        std::vector<unsigned char> m_Data;
        size_t m_Position = 0;
    };
}
