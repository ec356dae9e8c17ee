// The server-side transport interface and the event sink it reports to.
#pragma once

#include <Network/IPAddress.h>

#include <cstddef>
#include <cstdint>

namespace Torvane3D
{
    class Packet;
    class Stream;

    // Carried with every send; ENet gives it no meaning of its own.
    enum ePacketPriority
    {
        PACKET_PRIORITY_IMMEDIATE = 0,
        PACKET_PRIORITY_HIGH = 1,
        PACKET_PRIORITY_MEDIUM = 2,
        PACKET_PRIORITY_LOW = 3,
    };

    // A bit set.
    enum ePacketFlags
    {
        PACKET_FLAG_NONE = 0,
        PACKET_FLAG_RELIABLE = 1,
        PACKET_FLAG_UNSEQUENCED = 2,
        PACKET_FLAG_EVERYONE = 4,
    };

    inline ePacketFlags operator|(ePacketFlags a, ePacketFlags b)
    {
        return static_cast<ePacketFlags>(static_cast<int>(a) | static_cast<int>(b));
    }

    // A transport peer (the ENet peer pointer).
    using Peer_t = void*;

    // One raw datagram that arrived on the game port, as the query protocol sees it.
    class INetSocket
    {
    public:
        virtual ~INetSocket() = default;
        virtual const uint8_t* GetData(size_t& length) = 0;
        // Sends the packet's whole buffer as one datagram to where the current one came from.
        virtual bool Send(Packet* pPacket) = 0;
    };

    // What the transport reports. Every call arrives on the main thread, except
    // ReceiveDatagram, which may arrive on the network thread.
    class INetServerEvents
    {
    public:
        virtual ~INetServerEvents() = default;
        virtual void PacketEvent(Peer_t pPeer, const void* pData, size_t length) = 0;
        virtual void OnConnect(Peer_t pPeer) = 0;
        virtual void OnDisconnect(Peer_t pPeer, unsigned int uiReason) = 0;
        // True when the datagram was handled and the transport must not parse it.
        virtual bool ReceiveDatagram(INetSocket* pSocket) = 0;
        virtual void ProcessPacket(Peer_t pPeer, unsigned int uiPacketId, Stream* pStream) = 0;
        virtual bool OnPlayerConnect(Peer_t pPeer) = 0;
        virtual void OnPlayerDisconnect(Peer_t pPeer, unsigned int uiReason) = 0;
    };

    class CNetServer
    {
    public:
        virtual ~CNetServer() = default;
        virtual bool Initialise(unsigned short usPort, const char* szBindAddress, bool bMultithreaded) = 0;
        virtual void Disconnect(Peer_t pPeer, unsigned int uiReason) = 0;
        virtual void Update() = 0;
        virtual bool SendPacket(Peer_t pPeer, Packet* pPacket, ePacketPriority priority, ePacketFlags flags,
            unsigned char ucChannel) = 0;
        virtual bool SendEveryonePacket(Packet* pPacket, ePacketPriority priority, ePacketFlags flags,
            unsigned char ucChannel) = 0;
        virtual bool GetIPAddress(Peer_t pPeer, CIPAddress& address) = 0;
        // Round-trip time in milliseconds; 0xFFFFFFFF without a peer.
        virtual unsigned int GetLastPing(Peer_t pPeer) = 0;
    };
}
