#include <Multiplayer/NetObjectSender.h>

#include <Multiplayer/NetMachine.h>

namespace Torvane3D
{
    void CMachineSender::SendPacket(CNetMachine* pClient, Packet* pPacket, ePacketPriority priority, ePacketFlags flags,
        unsigned char ucChannel)
    {
        if (pClient)
            pClient->SendPacket(pPacket, priority, flags, ucChannel);
    }

    void CMachineSender::SendPlayer(CNetMachine* pClient)
    {
        if (pClient)
            pClient->SendPlayer();
    }
}
