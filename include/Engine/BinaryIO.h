// Typed values on a stream in the wire encoding: little-endian integers and floats,
// compact lengths (7 bits per byte, low group first, at most 5 bytes) and compact strings.
#pragma once

#include <Engine/Mathematics/Vector.h>
#include <Engine/Stream.h>

#include <string>
#include <string_view>

namespace Torvane3D
{
    class CBinaryWriter
    {
    public:
        explicit CBinaryWriter(Stream* pStream) : m_pStream(pStream) {}

        bool WriteBytes(const void* pData, size_t count);
        bool WriteUInt8(uint8_t v) { return WriteBytes(&v, 1); }
        bool WriteInt8(int8_t v) { return WriteBytes(&v, 1); }
        bool WriteBool(bool v) { return WriteUInt8(v ? 1 : 0); }
        bool WriteUInt16(uint16_t v) { return WriteBytes(&v, 2); }
        bool WriteInt16(int16_t v) { return WriteBytes(&v, 2); }
        bool WriteUInt32(uint32_t v) { return WriteBytes(&v, 4); }
        bool WriteInt32(int32_t v) { return WriteBytes(&v, 4); }
        bool WriteUInt64(uint64_t v) { return WriteBytes(&v, 8); }
        bool WriteInt64(int64_t v) { return WriteBytes(&v, 8); }
        bool WriteSingle(float v) { return WriteBytes(&v, 4); }
        bool WriteDouble(double v) { return WriteBytes(&v, 8); }
        bool WriteVector2D(const CVector2D& v) { return WriteSingle(v.x) && WriteSingle(v.y); }
        bool WriteVector3D(const CVector3D& v) { return WriteSingle(v.x) && WriteSingle(v.y) && WriteSingle(v.z); }
        bool WriteCompactLength(uint32_t n);
        // The length is the caller's, so embedded zero bytes are written as they are.
        bool WriteString(const char* szText, size_t length);
        bool WriteString(std::string_view text) { return WriteString(text.data(), text.size()); }

        Stream* GetStream() const { return m_pStream; }

    private:
        Strong<Stream> m_pStream;
    };

    class CBinaryReader
    {
    public:
        explicit CBinaryReader(Stream* pStream) : m_pStream(pStream) {}

        // All or nothing: false on a short read.
        bool ReadBytes(void* pBuffer, size_t count);
        bool ReadUInt8(uint8_t& v) { return ReadBytes(&v, 1); }
        bool ReadInt8(int8_t& v) { return ReadBytes(&v, 1); }
        bool ReadBool(bool& v);
        bool ReadUInt16(uint16_t& v) { return ReadBytes(&v, 2); }
        bool ReadInt16(int16_t& v) { return ReadBytes(&v, 2); }
        bool ReadUInt32(uint32_t& v) { return ReadBytes(&v, 4); }
        bool ReadInt32(int32_t& v) { return ReadBytes(&v, 4); }
        bool ReadUInt64(uint64_t& v) { return ReadBytes(&v, 8); }
        bool ReadInt64(int64_t& v) { return ReadBytes(&v, 8); }
        bool ReadSingle(float& v) { return ReadBytes(&v, 4); }
        bool ReadDouble(double& v) { return ReadBytes(&v, 8); }
        bool ReadVector2D(CVector2D& v) { return ReadSingle(v.x) && ReadSingle(v.y); }
        bool ReadVector3D(CVector3D& v) { return ReadSingle(v.x) && ReadSingle(v.y) && ReadSingle(v.z); }

        // Fails on a short read and on a fifth byte that is still continued.
        bool ReadCompactLength(int32_t& n);
        // A compact string. The length is checked against the bytes that remain in the
        // stream before anything is allocated; embedded zero bytes are kept.
        bool ReadString(std::string& text);
        // The same, as a new[]-allocated, zero-terminated buffer the caller frees with delete[].
        char* ReadString(size_t* pLength = nullptr);
        // A string with a fixed-width byte count (uint16 or uint32) instead of a compact length.
        bool ReadString16(std::string& text);
        bool ReadString32(std::string& text);
        // Reads exactly `length` bytes into text, refusing lengths beyond what remains.
        bool ReadStringOfLength(std::string& text, int64_t length);

        long GetRemaining() { return m_pStream->GetRemaining(); }
        Stream* GetStream() const { return m_pStream; }

    private:
        Strong<Stream> m_pStream;
    };
}
