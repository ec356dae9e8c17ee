// libFuzzer target: client sessions fed arbitrary packets from a few peers.
// The input is a list of records: peer (1 byte), kind (1 byte), length (1 byte), bytes.
// Kind 0xFF connects the peer, 0xFE disconnects it with the first payload byte as reason;
// any other kind is a packet with that id. A fresh server takes each input.
#include "GTAServer.h"

#include <Engine/Context.h>
#include <Network/Packet.h>

#include <arpa/inet.h>
#include <cstring>
#include <vector>

using namespace Torvane3D;

namespace
{
    class CNullTransport : public CNetServer
    {
    public:
        bool Initialise(unsigned short, const char*, bool) override { return true; }
        void Disconnect(Peer_t, unsigned int) override {}
        void Update() override {}
        bool SendPacket(Peer_t, Packet* pPacket, ePacketPriority, ePacketFlags, unsigned char) override
        {
            m_Bytes += pPacket->GetSize();
            return true;
        }
        bool SendEveryonePacket(Packet*, ePacketPriority, ePacketFlags, unsigned char) override { return true; }
        bool GetIPAddress(Peer_t pPeer, CIPAddress& address) override
        {
            // Two peers share an address, so per-address rules meet more than one peer.
            address.SetIPv4(htonl(0x7F000001 + static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pPeer) / 2)), 4000);
            return true;
        }
        unsigned int GetLastPing(Peer_t) override { return 0; }
        size_t m_Bytes = 0;
    };

    class CCommand : public CCommandHandler
    {
    public:
        void Execute(const char*, const char* szArguments, CBaseObject*) override { m_Length += strlen(szArguments); }
        size_t m_Length = 0;
    };
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    SetConsoleLogging(false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t size)
{
    CNullTransport transport;
    CGTAServer server;
    server.GetMachines().SetNetServer(&transport);
    server.m_uiMaxJoinsPerAddress = 8;
    server.m_iMaxPlayers = 3;
    if (size > 0 && (pData[0] & 1)) {
        CGTAServer::tAnticheatFile file{"data/handling.cfg", "handling.cfg", {}};
        memset(file.m_Digest, 0x5A, sizeof(file.m_Digest));
        server.m_AnticheatFiles.push_back(file);
    }
    server.GetCommandHandlers()->AddCommandHandler(new CCommand, "probe");
    server.CreateConsoleMachine();

    size_t pos = 1;
    while (pos + 3 <= size) {
        Peer_t pPeer = reinterpret_cast<Peer_t>(static_cast<uintptr_t>(1 + pData[pos] % 6));
        uint8_t kind = pData[pos + 1];
        size_t length = std::min<size_t>(pData[pos + 2], size - pos - 3);
        const uint8_t* pPayload = pData + pos + 3;
        pos += 3 + length;
        if (kind == 0xFF) {
            server.OnConnect(pPeer);
        } else if (kind == 0xFE) {
            server.OnDisconnect(pPeer, length ? pPayload[0] : 0);
        } else {
            std::vector<uint8_t> message(8 + length);
            uint32_t header[2] = {PACKET_MAGIC, kind};
            memcpy(message.data(), header, sizeof(header));
            if (length)
                memcpy(message.data() + 8, pPayload, length);
            server.PacketEvent(pPeer, message.data(), message.size());
        }
        server.ProcessSessions();
    }
    // Every session ends; the table must come out consistent.
    for (uintptr_t i = 1; i <= 6; ++i)
        server.OnDisconnect(reinterpret_cast<Peer_t>(i), 0);
    if (server.GetPlayerCount() != 0 || server.GetMachines().CountOccupied() != 1)
        __builtin_trap();
    return 0;
}
