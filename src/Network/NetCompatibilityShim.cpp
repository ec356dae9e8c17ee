#include <Engine/BinaryIO.h>
#include <Network/NetCompatibilityShim.h>
#include <Network/Packet.h>

namespace Torvane3D
{
    void CNetServerCompatibilityShim::PacketEvent(Peer_t pPeer, const void* pData, size_t length)
    {
        Strong<CMemoryStream> pStream = Strong<CMemoryStream>::Adopt(new CMemoryStream(pData, length));
        CBinaryReader reader(pStream);
        uint32_t uiMagic, uiId;
        if (!reader.ReadUInt32(uiMagic) || uiMagic != PACKET_MAGIC)
            return;
        if (!reader.ReadUInt32(uiId))
            return;
        ProcessPacket(pPeer, uiId, pStream);
    }
}
