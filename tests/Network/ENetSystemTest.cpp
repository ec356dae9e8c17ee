#include <Network/ENetSystem.h>
#include <Network/NetCompatibilityShim.h>
#include <Network/Packet.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <dirent.h>
#include <fstream>
#include <functional>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using namespace Torvane3D;
using namespace std::chrono_literals;

namespace
{
    // Records what the transport reports.
    struct CTestSink : CNetServerCompatibilityShim
    {
        struct CReceived
        {
            Peer_t m_pPeer;
            unsigned int m_uiId;
            std::string m_strPayload;
        };
        std::vector<Peer_t> m_Connects;
        std::vector<std::pair<Peer_t, unsigned int>> m_Disconnects;
        std::vector<CReceived> m_Packets;
        std::vector<std::string> m_Datagrams;
        bool m_bInterceptDatagrams = true;
        std::string m_strDatagramReply;

        bool OnPlayerConnect(Peer_t pPeer) override
        {
            m_Connects.push_back(pPeer);
            return true;
        }
        void OnPlayerDisconnect(Peer_t pPeer, unsigned int uiReason) override
        {
            m_Disconnects.emplace_back(pPeer, uiReason);
        }
        void ProcessPacket(Peer_t pPeer, unsigned int uiId, Stream* pStream) override
        {
            std::string payload(static_cast<size_t>(pStream->GetRemaining()), '\0');
            pStream->Read(payload.data(), payload.size());
            m_Packets.push_back({pPeer, uiId, payload});
        }
        bool ReceiveDatagram(INetSocket* pSocket) override
        {
            size_t length = 0;
            const uint8_t* pData = pSocket->GetData(length);
            m_Datagrams.emplace_back(reinterpret_cast<const char*>(pData), length);
            if (!m_strDatagramReply.empty()) {
                Packet reply(0xFFFF);
                reply.Write(m_strDatagramReply.data(), m_strDatagramReply.size());
                pSocket->Send(&reply);
            }
            return m_bInterceptDatagrams;
        }
    };

    // A plain ENet client host, set up the way game clients are (range coder, all channels).
    class CRawClient
    {
    public:
        explicit CRawClient(size_t peers = 1)
        {
            m_pHost = enet_host_create(nullptr, peers, 255, 0, 0);
            if (m_pHost)
                enet_host_compress_with_range_coder(m_pHost);
        }
        ~CRawClient()
        {
            if (m_pHost)
                enet_host_destroy(m_pHost);
        }
        ENetPeer* Connect(unsigned short usPort, size_t channels = 255)
        {
            ENetAddress address;
            enet_address_set_host_ip(&address, "127.0.0.1");
            address.port = usPort;
            return enet_host_connect(m_pHost, &address, channels, 0);
        }
        void Service()
        {
            ENetEvent event;
            while (enet_host_service(m_pHost, &event, 0) > 0) {
                if (event.type == ENET_EVENT_TYPE_CONNECT)
                    ++m_iConnects;
                else if (event.type == ENET_EVENT_TYPE_DISCONNECT)
                    ++m_iDisconnects;
                else if (event.type == ENET_EVENT_TYPE_RECEIVE) {
                    m_Received.emplace_back(reinterpret_cast<const char*>(event.packet->data),
                        event.packet->dataLength);
                    enet_packet_destroy(event.packet);
                }
            }
        }
        void Send(ENetPeer* pPeer, const std::string& bytes, unsigned char ucChannel = 0)
        {
            ENetPacket* pPacket = enet_packet_create(bytes.data(), bytes.size(), ENET_PACKET_FLAG_RELIABLE);
            if (enet_peer_send(pPeer, ucChannel, pPacket) != 0)
                enet_packet_destroy(pPacket);
            enet_host_flush(m_pHost);
        }
        ENetHost* m_pHost = nullptr;
        int m_iConnects = 0;
        int m_iDisconnects = 0;
        std::vector<std::string> m_Received;
    };

    std::string Message(uint32_t uiMagic, uint32_t uiId, const std::string& payload)
    {
        std::string bytes(8, '\0');
        memcpy(bytes.data(), &uiMagic, 4);
        memcpy(bytes.data() + 4, &uiId, 4);
        return bytes + payload;
    }

    int CountThreadsNamed(const std::string& name)
    {
        int iCount = 0;
        DIR* pDir = opendir("/proc/self/task");
        if (!pDir)
            return -1;
        while (dirent* pEntry = readdir(pDir)) {
            if (pEntry->d_name[0] == '.')
                continue;
            std::ifstream comm(std::string("/proc/self/task/") + pEntry->d_name + "/comm");
            std::string line;
            if (std::getline(comm, line) && line == name)
                ++iCount;
        }
        closedir(pDir);
        return iCount;
    }

    class ENetSystemTest : public ::testing::Test
    {
    protected:
        void StartServer(bool bMultithreaded, const CENetLimits& limits = CENetLimits())
        {
            m_pServer = std::make_unique<CENetServer>(&m_Sink);
            m_pServer->SetLimits(limits);
            ASSERT_TRUE(m_pServer->Initialise(0, "127.0.0.1", bMultithreaded));
            m_usPort = m_pServer->GetSystem().GetPort();
            ASSERT_NE(m_usPort, 0);
        }

        // Drives the server (as the main loop does) and the clients until done() or timeout.
        bool PumpUntil(const std::function<bool()>& done, std::vector<CRawClient*> clients,
            std::chrono::milliseconds timeout = 5s)
        {
            auto deadline = std::chrono::steady_clock::now() + timeout;
            for (;;) {
                for (CRawClient* pClient : clients)
                    pClient->Service();
                m_pServer->Update();
                if (done())
                    return true;
                if (std::chrono::steady_clock::now() > deadline)
                    return false;
                usleep(2000);
            }
        }

        ENetPeer* ConnectClient(CRawClient& client, size_t channels = 255)
        {
            size_t before = m_Sink.m_Connects.size();
            ENetPeer* pPeer = client.Connect(m_usPort, channels);
            bool bDone = PumpUntil(
                [&] { return m_Sink.m_Connects.size() > before && client.m_iConnects > 0; }, {&client});
            return bDone ? pPeer : nullptr;
        }

        size_t CountServerPeersInUse()
        {
            ENetHost* pHost = m_pServer->GetSystem().GetHost();
            size_t count = 0;
            for (size_t i = 0; i < pHost->peerCount; ++i)
                count += pHost->peers[i].state != ENET_PEER_STATE_DISCONNECTED;
            return count;
        }

        CTestSink m_Sink;
        std::unique_ptr<CENetServer> m_pServer;
        unsigned short m_usPort = 0;
    };

    int OpenUdpSocket()
    {
        int fd = socket(AF_INET, SOCK_DGRAM, 0);
        timeval tv{0, 200 * 1000};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
        return fd;
    }

    void SendDatagram(int fd, unsigned short usPort, const std::string& bytes)
    {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(usPort);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof(to));
    }
}

TEST_F(ENetSystemTest, HostSettingsAndLimits)
{
    CENetLimits limits;
    limits.m_uiMaxPeersPerAddress = 3;
    StartServer(false, limits);
    ENetHost* pHost = m_pServer->GetSystem().GetHost();
    EXPECT_EQ(m_pServer->GetSystem().GetState(), CENetSystem::STATE_LISTENING);
    EXPECT_EQ(pHost->peerCount, 4095u);
    EXPECT_EQ(pHost->channelLimit, 255u);
    EXPECT_EQ(pHost->mtu, 1392u);
    EXPECT_EQ(pHost->peers[0].mtu, 1392u);
    EXPECT_EQ(pHost->maximumPacketSize, CENetLimits::DEFAULT_MAX_PACKET_SIZE);
    EXPECT_EQ(pHost->maximumWaitingData, CENetLimits::DEFAULT_MAX_WAITING_DATA);
    EXPECT_LT(pHost->maximumPacketSize, size_t(32) * 1024 * 1024);
    EXPECT_EQ(pHost->duplicatePeers, 3u);
    EXPECT_NE(pHost->compressor.compress, nullptr);
    EXPECT_NE(pHost->intercept, nullptr);
}

TEST_F(ENetSystemTest, InitialiseFailsOnBadAddressOrTakenPort)
{
    CTestSink sink;
    CENetServer server(&sink);
    EXPECT_FALSE(server.Initialise(0, "no-such-host.invalid", false));
    EXPECT_FALSE(server.SendEveryonePacket(nullptr, PACKET_PRIORITY_LOW, PACKET_FLAG_RELIABLE, 0));
    Packet packet(1);
    EXPECT_FALSE(server.SendEveryonePacket(&packet, PACKET_PRIORITY_LOW, PACKET_FLAG_RELIABLE, 0));

    StartServer(false);
    CENetServer second(&sink);
    EXPECT_FALSE(second.Initialise(m_usPort, "127.0.0.1", false));
    EXPECT_EQ(second.GetSystem().GetState(), CENetSystem::STATE_NONE);
}

TEST_F(ENetSystemTest, PeersPerAddressAreBounded)
{
    CENetLimits limits;
    limits.m_uiMaxPeersPerAddress = 2;
    StartServer(false, limits);
    CRawClient client(3);
    for (int i = 0; i < 3; ++i)
        client.Connect(m_usPort);
    ASSERT_TRUE(PumpUntil([&] { return m_Sink.m_Connects.size() == 2; }, {&client}));
    // The third is never answered.
    PumpUntil([] { return false; }, {&client}, 500ms);
    EXPECT_EQ(m_Sink.m_Connects.size(), 2u);
    EXPECT_EQ(client.m_iConnects, 2);
}

TEST_F(ENetSystemTest, WrongMagicAndShortMessagesAreIgnoredAndTheSessionGoesOn)
{
    StartServer(false);
    CRawClient client;
    ENetPeer* pPeer = ConnectClient(client);
    ASSERT_NE(pPeer, nullptr);

    client.Send(pPeer, Message(0x54523403, 7, "bad"));
    client.Send(pPeer, std::string("\x02\x34\x52", 3));
    client.Send(pPeer, Message(PACKET_MAGIC, 7, "").substr(0, 6));
    client.Send(pPeer, Message(PACKET_MAGIC, 7, "first"));
    client.Send(pPeer, Message(0, 0, ""));
    client.Send(pPeer, Message(PACKET_MAGIC, 8, "second"), 2);
    ASSERT_TRUE(PumpUntil([&] { return m_Sink.m_Packets.size() >= 2; }, {&client}));
    PumpUntil([] { return false; }, {&client}, 100ms);

    ASSERT_EQ(m_Sink.m_Packets.size(), 2u);
    EXPECT_EQ(m_Sink.m_Packets[0].m_uiId, 7u);
    EXPECT_EQ(m_Sink.m_Packets[0].m_strPayload, "first");
    EXPECT_EQ(m_Sink.m_Packets[0].m_pPeer, m_Sink.m_Connects[0]);
    EXPECT_EQ(m_Sink.m_Packets[1].m_uiId, 8u);
    EXPECT_EQ(m_Sink.m_Packets[1].m_strPayload, "second");
    EXPECT_TRUE(m_Sink.m_Disconnects.empty());
    EXPECT_EQ(client.m_iDisconnects, 0);
    EXPECT_EQ(pPeer->state, ENET_PEER_STATE_CONNECTED);

    // The server can still answer on the same session.
    Packet reply(2);
    reply.Write("ok", 2);
    EXPECT_TRUE(m_pServer->SendPacket(m_Sink.m_Connects[0], &reply, PACKET_PRIORITY_LOW, PACKET_FLAG_RELIABLE, 0));
    ASSERT_TRUE(PumpUntil([&] { return !client.m_Received.empty(); }, {&client}));
    EXPECT_EQ(client.m_Received[0], Message(PACKET_MAGIC, 2, "ok"));
}

TEST_F(ENetSystemTest, QueryDatagramsGoToReceiveDatagramAndNeverMakeAPeer)
{
    struct CCase
    {
        std::string m_strBytes;
        bool m_bOffered;
    };
    const std::vector<CCase> cases = {
        {std::string("\xFF\xFFQGP\0\x01", 7), true},
        {std::string("\xFF\xFF", 2), true},
        {std::string("\xFF", 1), false},
        {std::string("\xFF\xFE\x00\x00", 4), false},
        {std::string("\xFE\xFF\x00\x00", 4), false},
    };
    for (bool bIntercept : {true, false}) {
        SCOPED_TRACE(bIntercept ? "sink takes the datagram" : "sink leaves it to ENet");
        m_Sink = CTestSink();
        m_Sink.m_bInterceptDatagrams = bIntercept;
        m_Sink.m_strDatagramReply = "answer";
        StartServer(false);
        int fd = OpenUdpSocket();
        size_t offered = 0;
        for (const CCase& c : cases) {
            SendDatagram(fd, m_usPort, c.m_strBytes);
            offered += c.m_bOffered;
            // Every datagram is processed (the server's receive count catches up) before the next.
            ENetHost* pHost = m_pServer->GetSystem().GetHost();
            uint32_t uiBefore = pHost->totalReceivedPackets;
            ASSERT_TRUE(PumpUntil([&] { return pHost->totalReceivedPackets > uiBefore; }, {}));
            ASSERT_EQ(m_Sink.m_Datagrams.size(), offered) << c.m_strBytes.size();
            if (c.m_bOffered) {
                EXPECT_EQ(m_Sink.m_Datagrams.back(), c.m_strBytes);
                char reply[64];
                ssize_t n = recv(fd, reply, sizeof(reply), 0);
                EXPECT_EQ(std::string(reply, n > 0 ? static_cast<size_t>(n) : 0), Message(PACKET_MAGIC, 0xFFFF, "answer"));
            }
        }
        close(fd);
        EXPECT_EQ(CountServerPeersInUse(), 0u);
        EXPECT_TRUE(m_Sink.m_Connects.empty());

        // A real client still gets in afterwards.
        CRawClient client;
        EXPECT_NE(ConnectClient(client), nullptr);
    }
}

TEST_F(ENetSystemTest, NetworkThreadExistsExactlyWhilePeersAreConnected)
{
    StartServer(true);
    for (int i = 0; i < 5; ++i)
        m_pServer->Update();
    EXPECT_EQ(CountThreadsNamed("NetworkThread"), 0);
    EXPECT_FALSE(m_pServer->GetSystem().HasNetworkThread());

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        CRawClient first, second;
        ENetPeer* pFirst = ConnectClient(first);
        ASSERT_NE(pFirst, nullptr);
        EXPECT_EQ(CountThreadsNamed("NetworkThread"), 1);
        ENetPeer* pSecond = ConnectClient(second);
        ASSERT_NE(pSecond, nullptr);
        EXPECT_EQ(CountThreadsNamed("NetworkThread"), 1);

        // Both directions go through the queues while the thread runs.
        m_Sink.m_Packets.clear();
        first.Send(pFirst, Message(PACKET_MAGIC, 40, "up"));
        ASSERT_TRUE(PumpUntil([&] { return !m_Sink.m_Packets.empty(); }, {&first, &second}));
        EXPECT_EQ(m_Sink.m_Packets[0].m_strPayload, "up");
        Packet everyone(41);
        ASSERT_TRUE(m_pServer->SendEveryonePacket(&everyone, PACKET_PRIORITY_LOW, PACKET_FLAG_RELIABLE, 0));
        ASSERT_TRUE(PumpUntil(
            [&] { return !first.m_Received.empty() && !second.m_Received.empty(); }, {&first, &second}));

        size_t disconnectsBefore = m_Sink.m_Disconnects.size();
        enet_peer_disconnect(pFirst, 0);
        ASSERT_TRUE(PumpUntil(
            [&] { return m_Sink.m_Disconnects.size() == disconnectsBefore + 1; }, {&first, &second}));
        EXPECT_EQ(CountThreadsNamed("NetworkThread"), 1);
        enet_peer_disconnect(pSecond, 9);
        ASSERT_TRUE(PumpUntil(
            [&] { return m_Sink.m_Disconnects.size() == disconnectsBefore + 2; }, {&first, &second}));
        EXPECT_EQ(m_Sink.m_Disconnects.back().second, 9u);
        EXPECT_EQ(m_pServer->GetSystem().GetConnectedCount(), 0);
        EXPECT_FALSE(m_pServer->GetSystem().HasNetworkThread());
        EXPECT_EQ(CountThreadsNamed("NetworkThread"), 0);
    }
}

TEST_F(ENetSystemTest, PeerQueriesAndRefusedSends)
{
    StartServer(false);
    EXPECT_EQ(m_pServer->GetLastPing(nullptr), 0xFFFFFFFFu);
    CRawClient client;
    ASSERT_NE(ConnectClient(client), nullptr);
    Peer_t pPeer = m_Sink.m_Connects[0];

    CIPAddress address;
    ASSERT_TRUE(m_pServer->GetIPAddress(pPeer, address));
    char szText[32];
    address.ToString(szText, sizeof(szText));
    EXPECT_STREQ(szText, "127.0.0.1");
    EXPECT_NE(address.GetPort(), 0);
    EXPECT_LT(m_pServer->GetLastPing(pPeer), 0xFFFFFFFFu);

    // Refused sends free what they made (the leak checker of the sanitizer build watches).
    Packet packet(3);
    EXPECT_FALSE(m_pServer->SendPacket(nullptr, &packet, PACKET_PRIORITY_LOW, PACKET_FLAG_RELIABLE, 0));
    Packet huge(3);
    std::string filler(CENetLimits::DEFAULT_MAX_PACKET_SIZE, 'x');
    huge.Write(filler.data(), filler.size());
    EXPECT_FALSE(m_pServer->SendPacket(pPeer, &huge, PACKET_PRIORITY_LOW, PACKET_FLAG_RELIABLE, 0));
    CRawClient narrow;
    ASSERT_NE(ConnectClient(narrow, 1), nullptr);
    EXPECT_FALSE(m_pServer->SendPacket(m_Sink.m_Connects[1], &packet, PACKET_PRIORITY_LOW, PACKET_FLAG_RELIABLE, 1));
    EXPECT_TRUE(m_pServer->SendPacket(m_Sink.m_Connects[1], &packet, PACKET_PRIORITY_LOW, PACKET_FLAG_RELIABLE, 0));

    // A graceful disconnect carries the reason to the client.
    m_pServer->Disconnect(pPeer, 4);
    ASSERT_TRUE(PumpUntil([&] { return client.m_iDisconnects == 1; }, {&client, &narrow}));
    ASSERT_EQ(m_Sink.m_Disconnects.size(), 1u);
    EXPECT_EQ(m_Sink.m_Disconnects[0].first, pPeer);
}

TEST_F(ENetSystemTest, ShutdownWithQueuedTrafficFreesEverything)
{
    StartServer(true);
    CRawClient client;
    ENetPeer* pPeer = ConnectClient(client);
    ASSERT_NE(pPeer, nullptr);
    ASSERT_TRUE(m_pServer->GetSystem().HasNetworkThread());
    for (int i = 0; i < 20; ++i) {
        client.Send(pPeer, Message(PACKET_MAGIC, 50, "queued"));
        Packet packet(51);
        m_pServer->SendEveryonePacket(&packet, PACKET_PRIORITY_LOW, PACKET_FLAG_RELIABLE, 0);
    }
    usleep(50 * 1000); // the thread queues events that nobody handles
    m_pServer.reset();
    EXPECT_EQ(CountThreadsNamed("NetworkThread"), 0);
}
