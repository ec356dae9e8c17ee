#include <Network/Packet.h>

namespace Torvane3D
{
    Packet::Packet(unsigned id) : m_uiId(id)
    {
        uint32_t header[2] = {PACKET_MAGIC, id};
        Write(header, sizeof(header));
    }
}
