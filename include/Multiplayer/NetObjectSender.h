// Where the element manager's packets go. The server's sender hands them to the client
// records (and so to the transport); tests install a recorder.
#pragma once

#include <Network/NetServer.h>

namespace Torvane3D
{
    class CNetMachine;
    class Packet;

    class INetObjectSender
    {
    public:
        virtual ~INetObjectSender() = default;
        virtual void SendPacket(CNetMachine* pClient, Packet* pPacket, ePacketPriority priority, ePacketFlags flags,
            unsigned char ucChannel) = 0;
        // Packet 5: the client's own player element id.
        virtual void SendPlayer(CNetMachine* pClient) = 0;
    };

    // Through CNetMachine: the console and clients without a peer receive nothing.
    class CMachineSender : public INetObjectSender
    {
    public:
        void SendPacket(CNetMachine* pClient, Packet* pPacket, ePacketPriority priority, ePacketFlags flags,
            unsigned char ucChannel) override;
        void SendPlayer(CNetMachine* pClient) override;
    };
}
