// The event sink with its default behaviour: decodes the packet header and turns
// connects and disconnects into the player hooks the server overrides.
#pragma once

#include <Network/NetServer.h>

namespace Torvane3D
{
    class CNetServerCompatibilityShim : public INetServerEvents
    {
    public:
        // Reads the magic and the packet id; a message with a wrong magic or shorter than
        // the header is dropped silently. The payload stream follows the header.
        void PacketEvent(Peer_t pPeer, const void* pData, size_t length) override;
        void OnConnect(Peer_t pPeer) override { OnPlayerConnect(pPeer); }
        void OnDisconnect(Peer_t pPeer, unsigned int uiReason) override { OnPlayerDisconnect(pPeer, uiReason); }
        bool ReceiveDatagram(INetSocket*) override { return false; }
        void ProcessPacket(Peer_t, unsigned int, Stream*) override {}
        bool OnPlayerConnect(Peer_t) override { return true; }
        void OnPlayerDisconnect(Peer_t, unsigned int) override {}
    };
}
