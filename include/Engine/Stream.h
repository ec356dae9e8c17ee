// Byte streams: the abstract Stream, a view over memory, a growable buffer and a C file.
#pragma once

#include <Engine/RefCounted.h>

#include <cstdio>

namespace Torvane3D
{
    enum eSeekOrigin
    {
        SEEK_ORIGIN_BEGIN = 0,
        SEEK_ORIGIN_CURRENT = 1,
        SEEK_ORIGIN_END = 2,
    };

    class Stream : public CBaseObject
    {
    public:
        virtual size_t Read(void* pBuffer, size_t count) = 0;
        virtual size_t Write(const void* pData, size_t count) = 0;
        virtual bool Seek(long offset, int origin) = 0;
        virtual long Tell() = 0;
        virtual long GetLength();
        virtual bool SetModifiedTime(long) { return false; }
        virtual bool GetModifiedTime(long&) const { return false; }

        // Bytes between the position and the end (0 when the position lies beyond it).
        long GetRemaining();
    };

    enum eMemoryStreamMode
    {
        MEMSTREAM_READ = 1,
        MEMSTREAM_WRITE = 2,
    };

    // A fixed view over a memory block; never grows or frees the block.
    class CMemoryStream : public Stream
    {
    public:
        CMemoryStream(const void* pData, size_t length, int mode = MEMSTREAM_READ, CRefCounted* pKeeper = nullptr);
        CMemoryStream(void* pData, size_t length, int mode, CRefCounted* pKeeper = nullptr);
        ~CMemoryStream() override;

        size_t Read(void* pBuffer, size_t count) override;
        size_t Write(const void* pData, size_t count) override;
        bool Seek(long offset, int origin) override;
        long Tell() override { return m_lPosition; }
        long GetLength() override { return static_cast<long>(m_Length); }

        const unsigned char* GetData() const { return m_pData; }

    private:
        unsigned char* m_pData;
        size_t m_Length;
        long m_lPosition = 0;
        int m_iMode;
        CRefCounted* m_pKeeper;
    };

    // A growable buffer. Up to 4096 bytes live inline, so small packets never touch the heap.
    class CUnlimitedStream : public Stream
    {
    public:
        static constexpr size_t INLINE_SIZE = 4096;
        // Refuses to grow past this; nothing the server builds comes close.
        static constexpr size_t MAX_CAPACITY = size_t(1) << 30;

        CUnlimitedStream();
        ~CUnlimitedStream() override;

        size_t Read(void* pBuffer, size_t count) override;
        size_t Write(const void* pData, size_t count) override;
        bool Seek(long offset, int origin) override;
        long Tell() override { return static_cast<long>(m_Position); }
        long GetLength() override { return static_cast<long>(m_Length); }

        unsigned char* GetData() { return m_pData; }
        const unsigned char* GetData() const { return m_pData; }
        size_t GetSize() const { return m_Length; }
        size_t GetCapacity() const { return m_Capacity; }

    private:
        bool Reserve(size_t needed);

        unsigned char* m_pData;
        size_t m_Capacity;
        size_t m_Length = 0;
        size_t m_Position = 0;
        unsigned char m_Inline[INLINE_SIZE];
    };

    // A C file, owned and closed at destruction.
    class CStandardStream : public Stream
    {
    public:
        explicit CStandardStream(FILE* pFile) : m_pFile(pFile) {}
        ~CStandardStream() override;

        size_t Read(void* pBuffer, size_t count) override;
        size_t Write(const void* pData, size_t count) override;
        bool Seek(long offset, int origin) override;
        long Tell() override;
        FILE* GetFile() const { return m_pFile; }

    private:
        FILE* m_pFile;
    };
}
