#include <Network/ENetSystem.h>
#include <Network/Packet.h>

#include <mutex>

namespace Torvane3D
{
    // The system whose host this thread is servicing; the receive hook has no other way to
    // find it (ENet hosts carry no user pointer). Per thread, so two hosts serviced on two
    // threads never see each other's.
    static thread_local CENetSystem* g_pENet = nullptr;

    // A flood of incoming events must not keep one pass (and so the main loop) busy forever;
    // what is left waits in ENet for the next pass.
    static constexpr size_t MAX_EVENTS_PER_PASS = 4096;
    static constexpr uint32_t NETWORK_THREAD_SLEEP_MS = 5;

    static void InitialiseENetOnce()
    {
        static std::once_flag s_Once;
        std::call_once(s_Once, [] { enet_initialize(); });
    }

    const uint8_t* CENetSocket::GetData(size_t& length)
    {
        length = m_pHost->receivedDataLength;
        return m_pHost->receivedData;
    }

    bool CENetSocket::Send(Packet* pPacket)
    {
        if (!pPacket)
            return false;
        ENetBuffer buffer;
        buffer.data = const_cast<unsigned char*>(pPacket->GetData());
        buffer.dataLength = pPacket->GetSize();
        return enet_socket_send(m_pHost->socket, &m_pHost->receivedAddress, &buffer, 1) >= 0;
    }

    CENetSystem::CENetSystem(INetServerEvents* pEvents) : m_pEvents(pEvents)
    {
        InitialiseENetOnce();
    }

    CENetSystem::~CENetSystem()
    {
        Shutdown();
    }

    int ENET_CALLBACK CENetSystem::ReceiveHook(ENetHost* pHost, ENetEvent*)
    {
        CENetSystem* pSystem = g_pENet;
        if (!pSystem || pSystem->m_pHost != pHost || !pSystem->m_pEvents)
            return 0;
        const uint8_t* pData = pHost->receivedData;
        if (pHost->receivedDataLength < 2 || pData[0] != 0xFF || pData[1] != 0xFF)
            return 0;
        // No ENet header can begin FF FF (peer id 0xFFF never carries session bits), so
        // whatever the query protocol leaves is dropped by ENet's own parser.
        CENetSocket socket(pHost);
        return pSystem->m_pEvents->ReceiveDatagram(&socket) ? 1 : 0;
    }

    size_t ENET_CALLBACK CENetSystem::Compress(void* pContext, const ENetBuffer* pInBuffers, size_t inBufferCount,
        size_t inLimit, enet_uint8* pOutData, size_t outLimit)
    {
        const ENetCompressor& saved = static_cast<CENetSystem*>(pContext)->m_SavedCompressor;
        return saved.compress(saved.context, pInBuffers, inBufferCount, inLimit, pOutData, outLimit);
    }

    size_t ENET_CALLBACK CENetSystem::Decompress(void* pContext, const enet_uint8* pInData, size_t inLimit,
        enet_uint8* pOutData, size_t outLimit)
    {
        const ENetCompressor& saved = static_cast<CENetSystem*>(pContext)->m_SavedCompressor;
        return saved.decompress(saved.context, pInData, inLimit, pOutData, outLimit);
    }

    void ENET_CALLBACK CENetSystem::DestroyCompressor(void* pContext)
    {
        ENetCompressor& saved = static_cast<CENetSystem*>(pContext)->m_SavedCompressor;
        if (saved.context && saved.destroy)
            saved.destroy(saved.context);
        saved = ENetCompressor{};
    }

    bool CENetSystem::InstallCompressor()
    {
        // Clients run the range coder too: a host without it drops their compressed datagrams.
        if (enet_host_compress_with_range_coder(m_pHost) != 0)
            return false;
        m_SavedCompressor = m_pHost->compressor;
        // Take the coder out of the host before installing the wrapper, or ENet destroys it.
        m_pHost->compressor.context = nullptr;
        ENetCompressor wrapper;
        wrapper.context = this;
        wrapper.compress = &CENetSystem::Compress;
        wrapper.decompress = &CENetSystem::Decompress;
        wrapper.destroy = &CENetSystem::DestroyCompressor;
        enet_host_compress(m_pHost, &wrapper);
        return true;
    }

    bool CENetSystem::Initialise(unsigned short usPort, const char* szBindAddress, bool bMultithreaded)
    {
        Shutdown();
        m_iState = STATE_NONE;
        m_bMultithreaded = bMultithreaded;

        ENetAddress address;
        address.host = ENET_HOST_ANY;
        address.port = usPort;
        // A host name first, then a dotted address.
        if (szBindAddress && szBindAddress[0] && enet_address_set_host(&address, szBindAddress) != 0)
            return false;

        ENetHost* pHost = enet_host_create(&address, MAX_PEERS, MAX_CHANNELS, 0, 0);
        if (!pHost)
            return false;
        pHost->mtu = HOST_MTU;
        for (size_t i = 0; i < pHost->peerCount; ++i)
            enet_peer_reset(&pHost->peers[i]); // peers take the host's MTU when reset
        pHost->maximumPacketSize = m_Limits.m_uiMaxPacketSize;
        pHost->maximumWaitingData = m_Limits.m_uiMaxWaitingData;
        pHost->duplicatePeers = m_Limits.m_uiMaxPeersPerAddress;
        pHost->intercept = &CENetSystem::ReceiveHook;
        m_pHost = pHost;
        if (!InstallCompressor()) {
            enet_host_destroy(m_pHost);
            m_pHost = nullptr;
            return false;
        }
        m_iConnected = 0;
        m_iState = STATE_LISTENING;
        return true;
    }

    void CENetSystem::Shutdown()
    {
        StopNetworkThread();
        if (m_pHost) {
            CScopedLock lock(m_HostLock);
            SendQueuedPackets();
            enet_host_flush(m_pHost);
        }
        {
            CScopedLock lock(m_EventLock);
            for (ENetEvent& event : m_EventQueue) {
                if (event.type == ENET_EVENT_TYPE_RECEIVE && event.packet)
                    enet_packet_destroy(event.packet);
            }
            m_EventQueue.clear();
            m_EventsReady.Reset();
        }
        {
            CScopedLock lock(m_SendLock);
            for (CQueuedPacket& item : m_SendQueue)
                enet_packet_destroy(item.m_pPacket);
            m_SendQueue.clear();
            m_PacketsReady.Reset();
        }
        if (m_pHost) {
            CScopedLock lock(m_HostLock);
            // Closes the socket, resets every peer without notice and destroys the compressor.
            enet_host_destroy(m_pHost);
            m_pHost = nullptr;
        }
        m_iConnected = 0;
        m_iState = STATE_NONE;
    }

    unsigned short CENetSystem::GetPort() const
    {
        if (!m_pHost)
            return 0;
        ENetAddress address;
        if (enet_socket_get_address(m_pHost->socket, &address) != 0)
            return m_pHost->address.port;
        return address.port;
    }

    template <class Handler>
    void CENetSystem::ServiceHost(Handler&& handler)
    {
        CScopedLock lock(m_HostLock);
        CENetSystem* pPrevious = g_pENet;
        g_pENet = this;
        SendQueuedPackets();
        ENetEvent event;
        size_t count = 0;
        for (; count < MAX_EVENTS_PER_PASS; ++count) {
            int result = enet_host_check_events(m_pHost, &event);
            if (result <= 0)
                result = enet_host_service(m_pHost, &event, 0);
            if (result <= 0)
                break;
            handler(event);
        }
        if (count == MAX_EVENTS_PER_PASS)
            enet_host_flush(m_pHost);
        g_pENet = pPrevious;
    }

    bool CENetSystem::SendNow(const CQueuedPacket& item)
    {
        ENetPacket* pPacket = item.m_pPacket;
        bool bSent;
        if (item.m_Flags & PACKET_FLAG_EVERYONE) {
            // Takes the packet whether or not a peer does, and destroys it when none did.
            enet_host_broadcast(m_pHost, item.m_ucChannel, pPacket);
            return true;
        }
        bSent = item.m_pPeer && enet_peer_send(item.m_pPeer, item.m_ucChannel, pPacket) == 0;
        // A refused send (peer not connected, bad channel, packet too large, no memory)
        // leaves the packet with nobody: it is ours to free.
        if (!bSent && pPacket->referenceCount == 0)
            enet_packet_destroy(pPacket);
        return bSent;
    }

    void CENetSystem::SendQueuedPackets()
    {
        if (!m_PacketsReady.IsSignalled())
            return;
        std::vector<CQueuedPacket> queue;
        {
            CScopedLock lock(m_SendLock);
            queue.swap(m_SendQueue);
            m_PacketsReady.Reset();
        }
        for (const CQueuedPacket& item : queue)
            SendNow(item);
    }

    bool CENetSystem::Send(Peer_t pPeer, Packet* pPacket, ePacketPriority priority, ePacketFlags flags,
        unsigned char ucChannel)
    {
        if (!m_pHost || !pPacket)
            return false;
        if (!(flags & PACKET_FLAG_EVERYONE) && !pPeer)
            return false;
        enet_uint32 uiENetFlags = 0;
        if (flags & PACKET_FLAG_RELIABLE)
            uiENetFlags |= ENET_PACKET_FLAG_RELIABLE;
        if (flags & PACKET_FLAG_UNSEQUENCED)
            uiENetFlags |= ENET_PACKET_FLAG_UNSEQUENCED;
        ENetPacket* pENetPacket = enet_packet_create(pPacket->GetData(), pPacket->GetSize(), uiENetFlags);
        if (!pENetPacket)
            return false;
        CQueuedPacket item{priority, flags, ucChannel, static_cast<ENetPeer*>(pPeer), pENetPacket};
        if (!m_pThread) {
            CScopedLock lock(m_HostLock);
            return SendNow(item);
        }
        {
            CScopedLock lock(m_SendLock);
            m_SendQueue.push_back(item);
            m_PacketsReady.Signal();
        }
        return true;
    }

    void CENetSystem::Disconnect(Peer_t pPeer, unsigned int uiReason)
    {
        if (!m_pHost || !pPeer)
            return;
        CScopedLock lock(m_HostLock);
        enet_peer_disconnect(static_cast<ENetPeer*>(pPeer), uiReason);
    }

    bool CENetSystem::GetIPAddress(Peer_t pPeer, CIPAddress& address)
    {
        if (!m_pHost || !pPeer)
            return false;
        CScopedLock lock(m_HostLock);
        const ENetPeer* pENetPeer = static_cast<ENetPeer*>(pPeer);
        address.SetIPv4(pENetPeer->address.host, pENetPeer->address.port);
        return true;
    }

    unsigned int CENetSystem::GetLastPing(Peer_t pPeer)
    {
        if (!m_pHost || !pPeer)
            return 0xFFFFFFFF;
        CScopedLock lock(m_HostLock);
        return static_cast<ENetPeer*>(pPeer)->roundTripTime;
    }

    void CENetSystem::HandleEvent(ENetEvent& event)
    {
        switch (event.type) {
        case ENET_EVENT_TYPE_CONNECT:
            ++m_iConnected;
            event.peer->data = nullptr;
            m_pEvents->OnConnect(event.peer);
            break;
        case ENET_EVENT_TYPE_DISCONNECT:
            if (m_iConnected > 0)
                --m_iConnected;
            // The data is whatever the far side chose; it is reported, never trusted.
            m_pEvents->OnDisconnect(event.peer, event.data);
            break;
        case ENET_EVENT_TYPE_RECEIVE:
            m_pEvents->PacketEvent(event.peer, event.packet->data, event.packet->dataLength);
            enet_packet_destroy(event.packet);
            break;
        default:
            break;
        }
    }

    void CENetSystem::HandleQueuedEvents()
    {
        if (!m_EventsReady.IsSignalled())
            return;
        std::vector<ENetEvent> events;
        {
            CScopedLock lock(m_EventLock);
            events.swap(m_EventQueue);
            m_EventsReady.Reset();
        }
        for (ENetEvent& event : events)
            HandleEvent(event);
    }

    void CENetSystem::Update()
    {
        if (!m_pHost)
            return;
        HandleQueuedEvents();
        if (!m_pThread)
            ServiceHost([this](ENetEvent& event) { HandleEvent(event); });
        // Outside the host lock: stopping joins a thread that may be waiting for it.
        ReconcileNetworkThread();
    }

    void CENetSystem::NetworkThreadBody()
    {
        while (!m_QuitSignal.IsSignalled()) {
            ServiceHost([this](ENetEvent& event) {
                if (event.type == ENET_EVENT_TYPE_CONNECT)
                    event.peer->data = nullptr;
                else if (event.type != ENET_EVENT_TYPE_DISCONNECT && event.type != ENET_EVENT_TYPE_RECEIVE)
                    return;
                CScopedLock lock(m_EventLock);
                m_EventQueue.push_back(event);
                m_EventsReady.Signal();
            });
            m_QuitSignal.Wait(NETWORK_THREAD_SLEEP_MS);
        }
    }

    void CENetSystem::ReconcileNetworkThread()
    {
        if (m_pThread && m_iConnected == 0) {
            StopNetworkThread();
            return;
        }
        if (!m_bMultithreaded || m_pThread || m_iConnected == 0)
            return;
        m_QuitSignal.Reset();
        m_pThread = std::make_unique<Thread>("NetworkThread");
        // A thread that cannot start leaves the servicing on the main thread.
        if (!m_pThread->Start([this] { NetworkThreadBody(); }))
            m_pThread.reset();
    }

    void CENetSystem::StopNetworkThread()
    {
        if (!m_pThread)
            return;
        m_QuitSignal.Signal();
        m_pThread->Join();
        m_pThread.reset();
        m_QuitSignal.Reset();
        // What the thread had no pass left to send goes out now.
        CScopedLock lock(m_HostLock);
        if (m_pHost)
            SendQueuedPackets();
    }
}
