// The game transport over ENet: the host on the game port, the event and send queues,
// and the optional network thread that exists exactly while a peer is connected.
#pragma once

#include <Engine/Lockable.h>
#include <Engine/Signalable.h>
#include <Engine/Thread.h>
#include <Network/NetServer.h>

#include <enet/enet.h>

#include <memory>
#include <vector>

namespace Torvane3D
{
    // Bounds on what one peer can make the host buffer. ENet's own defaults (32 MiB packets,
    // 32 MiB of queued data per peer, 4095 peers from one address) let a single client pin
    // gigabytes; these are the server's.
    struct CENetLimits
    {
        static constexpr size_t DEFAULT_MAX_PACKET_SIZE = 1024 * 1024;
        static constexpr size_t DEFAULT_MAX_WAITING_DATA = 2 * 1024 * 1024;
        static constexpr size_t DEFAULT_MAX_PEERS_PER_ADDRESS = 16;

        size_t m_uiMaxPacketSize = DEFAULT_MAX_PACKET_SIZE;
        size_t m_uiMaxWaitingData = DEFAULT_MAX_WAITING_DATA;
        size_t m_uiMaxPeersPerAddress = DEFAULT_MAX_PEERS_PER_ADDRESS;
    };

    // The datagram being received, handed to the query protocol.
    class CENetSocket : public INetSocket
    {
    public:
        explicit CENetSocket(ENetHost* pHost) : m_pHost(pHost) {}
        const uint8_t* GetData(size_t& length) override;
        bool Send(Packet* pPacket) override;

    private:
        ENetHost* m_pHost;
    };

    class CENetSystem
    {
    public:
        static constexpr size_t MAX_PEERS = 4095;
        static constexpr size_t MAX_CHANNELS = 255;
        static constexpr uint32_t HOST_MTU = 1392;
        static constexpr int STATE_NONE = 0;
        static constexpr int STATE_LISTENING = 6;

        explicit CENetSystem(INetServerEvents* pEvents);
        ~CENetSystem();
        CENetSystem(const CENetSystem&) = delete;
        CENetSystem& operator=(const CENetSystem&) = delete;

        // Takes effect at the next Initialise.
        void SetLimits(const CENetLimits& limits) { m_Limits = limits; }
        const CENetLimits& GetLimits() const { return m_Limits; }

        bool Initialise(unsigned short usPort, const char* szBindAddress, bool bMultithreaded);
        void Shutdown();
        void Update();
        bool Send(Peer_t pPeer, Packet* pPacket, ePacketPriority priority, ePacketFlags flags, unsigned char ucChannel);
        void Disconnect(Peer_t pPeer, unsigned int uiReason);
        bool GetIPAddress(Peer_t pPeer, CIPAddress& address);
        unsigned int GetLastPing(Peer_t pPeer);

        int GetState() const { return m_iState; }
        int GetConnectedCount() const { return m_iConnected; }
        bool HasNetworkThread() const { return m_pThread != nullptr; }
        // The host's bound port (useful when 0 asked the system for a free one).
        unsigned short GetPort() const;
        ENetHost* GetHost() const { return m_pHost; }

    private:
        struct CQueuedPacket
        {
            ePacketPriority m_Priority;
            ePacketFlags m_Flags;
            unsigned char m_ucChannel;
            ENetPeer* m_pPeer;
            ENetPacket* m_pPacket;
        };

        static int ENET_CALLBACK ReceiveHook(ENetHost* pHost, ENetEvent* pEvent);
        static size_t ENET_CALLBACK Compress(void* pContext, const ENetBuffer* pInBuffers, size_t inBufferCount,
            size_t inLimit, enet_uint8* pOutData, size_t outLimit);
        static size_t ENET_CALLBACK Decompress(void* pContext, const enet_uint8* pInData, size_t inLimit,
            enet_uint8* pOutData, size_t outLimit);
        static void ENET_CALLBACK DestroyCompressor(void* pContext);

        bool InstallCompressor();
        // One servicing pass with the host lock held; every event goes to handler.
        template <class Handler>
        void ServiceHost(Handler&& handler);
        bool SendNow(const CQueuedPacket& item);
        void SendQueuedPackets();
        void HandleEvent(ENetEvent& event);
        void HandleQueuedEvents();
        void NetworkThreadBody();
        // Starts or stops the network thread so that it runs exactly while peers are connected.
        void ReconcileNetworkThread();
        void StopNetworkThread();

        INetServerEvents* m_pEvents;
        CENetLimits m_Limits;
        int m_iState = STATE_NONE;
        ENetHost* m_pHost = nullptr;
        bool m_bMultithreaded = false;
        ENetCompressor m_SavedCompressor{};
        std::unique_ptr<Thread> m_pThread;
        Signalable m_QuitSignal;
        Signalable m_EventsReady;
        std::vector<ENetEvent> m_EventQueue;
        CLockable m_EventLock;
        Signalable m_PacketsReady;
        std::vector<CQueuedPacket> m_SendQueue;
        CLockable m_SendLock;
        CLockable m_HostLock;
        int m_iConnected = 0;
    };

    class CENetServer : public CNetServer
    {
    public:
        explicit CENetServer(INetServerEvents* pEvents) : m_System(pEvents) {}

        void SetLimits(const CENetLimits& limits) { m_System.SetLimits(limits); }
        CENetSystem& GetSystem() { return m_System; }

        bool Initialise(unsigned short usPort, const char* szBindAddress, bool bMultithreaded) override
        {
            return m_System.Initialise(usPort, szBindAddress, bMultithreaded);
        }
        void Disconnect(Peer_t pPeer, unsigned int uiReason) override { m_System.Disconnect(pPeer, uiReason); }
        void Update() override { m_System.Update(); }
        bool SendPacket(Peer_t pPeer, Packet* pPacket, ePacketPriority priority, ePacketFlags flags,
            unsigned char ucChannel) override
        {
            return m_System.Send(pPeer, pPacket, priority, flags, ucChannel);
        }
        bool SendEveryonePacket(Packet* pPacket, ePacketPriority priority, ePacketFlags flags,
            unsigned char ucChannel) override
        {
            return m_System.Send(nullptr, pPacket, priority, flags | PACKET_FLAG_EVERYONE, ucChannel);
        }
        bool GetIPAddress(Peer_t pPeer, CIPAddress& address) override { return m_System.GetIPAddress(pPeer, address); }
        unsigned int GetLastPing(Peer_t pPeer) override { return m_System.GetLastPing(pPeer); }

    private:
        CENetSystem m_System;
    };
}
