// An outgoing network message: a growable buffer that starts with the packet header
// (magic 0x54523402, then the packet id), so the payload follows at offset 8.
#pragma once

#include <Engine/Stream.h>

namespace Torvane3D
{
    constexpr uint32_t PACKET_MAGIC = 0x54523402;
    constexpr size_t PACKET_HEADER_SIZE = 8;

    class Packet : public CUnlimitedStream
    {
    public:
        explicit Packet(unsigned id);
        unsigned GetId() const { return m_uiId; }

    private:
        unsigned m_uiId;
    };
}
