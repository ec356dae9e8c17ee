#include <Multiplayer/NetMachines.h>
#include <Multiplayer/PacketIds.h>
#include <Multiplayer/SafeText.h>
#include <Network/Packet.h>

#include <gtest/gtest.h>

#include <vector>

using namespace Torvane3D;

namespace
{
    class CRecordingTransport : public CNetServer
    {
    public:
        bool Initialise(unsigned short, const char*, bool) override { return true; }
        void Disconnect(Peer_t, unsigned int) override {}
        void Update() override {}
        bool SendPacket(Peer_t pPeer, Packet* pPacket, ePacketPriority, ePacketFlags, unsigned char) override
        {
            const uint8_t* p = pPacket->GetData();
            m_Sent.emplace_back(pPeer, std::vector<uint8_t>(p + 8, p + pPacket->GetSize()));
            return true;
        }
        bool SendEveryonePacket(Packet*, ePacketPriority, ePacketFlags, unsigned char) override { return false; }
        bool GetIPAddress(Peer_t, CIPAddress&) override { return false; }
        unsigned int GetLastPing(Peer_t) override { return 0; }
        std::vector<std::pair<Peer_t, std::vector<uint8_t>>> m_Sent;
    };

    Peer_t Peer(int n) { return reinterpret_cast<Peer_t>(static_cast<uintptr_t>(0x100 + n)); }

    Strong<CNetMachine> MakeMachine(CNetMachines& table, const char* szName, Peer_t pPeer)
    {
        Strong<CNetMachine> p = MakeStrong<CNetMachine>(nullptr, &table);
        p->SetName(szName);
        p->SetPeer(pPeer);
        return p;
    }
}

TEST(NetMachines, SlotsLookupsAndNames)
{
    CNetMachines table;
    Strong<CNetMachine> pConsole = MakeMachine(table, "Console", nullptr);
    pConsole->SetConsole(true);
    ASSERT_TRUE(table.Set(255, pConsole));
    EXPECT_FALSE(table.Set(256, pConsole));
    EXPECT_FALSE(table.Set(-1, pConsole));
    EXPECT_EQ(table.Get(256), nullptr);
    EXPECT_EQ(table.FindFreeSlot(), 0);

    Strong<CNetMachine> pA = MakeMachine(table, "Alpha", Peer(1));
    table.Set(0, pA);
    Strong<CNetMachine> pB = MakeMachine(table, "Beta", Peer(2));
    table.Set(1, pB);
    EXPECT_EQ(pB->GetIndex(), 1);
    EXPECT_EQ(table.FindFreeSlot(), 2);
    EXPECT_EQ(table.GetMachineFromPeer(Peer(2)), pB.Get());
    // The console has no peer; a null peer must not find it.
    EXPECT_EQ(table.GetMachineFromPeer(nullptr), nullptr);
    EXPECT_EQ(table.FindByName("aLPHA"), pA.Get());
    EXPECT_EQ(table.FindByName("CONSOLE"), pConsole.Get());
    EXPECT_EQ(table.FindByName("Alph"), nullptr);
    EXPECT_EQ(table.CountOccupied(), 3);
    table.Clear(0);
    EXPECT_EQ(table.FindFreeSlot(), 0);

    for (int i = 0; i < 255; ++i)
        table.Set(i, pA);
    EXPECT_EQ(table.FindFreeSlot(), -1);
    table.ClearAll();
    EXPECT_EQ(table.CountOccupied(), 0);
}

TEST(NetMachines, SendToAllReachesOnlyClientsWithAPeer)
{
    CRecordingTransport transport;
    CNetMachines table(&transport);
    Strong<CNetMachine> pConsole = MakeMachine(table, "Console", nullptr);
    pConsole->SetConsole(true);
    table.Set(255, pConsole);
    Strong<CNetMachine> pA = MakeMachine(table, "A", Peer(1));
    Strong<CNetMachine> pB = MakeMachine(table, "B", Peer(2));
    table.Set(3, pA);
    table.Set(7, pB);
    Packet packet(PACKET_CHAT);
    table.SendToAll(&packet);
    table.SendToAll(&packet, pA);
    ASSERT_EQ(transport.m_Sent.size(), 3u);
    EXPECT_EQ(transport.m_Sent[0].first, Peer(1));
    EXPECT_EQ(transport.m_Sent[1].first, Peer(2));
    EXPECT_EQ(transport.m_Sent[2].first, Peer(2));
    // The console never sends.
    EXPECT_FALSE(pConsole->SendPacket(&packet));
    table.ClearAll();
}

TEST(NetMachine, DescriptionAndChangePackets)
{
    CRecordingTransport transport;
    CNetMachines table(&transport);
    Strong<CNetMachine> pA = MakeMachine(table, "Ann", Peer(1));
    pA->SetGame(3);
    pA->SetAdministrator(true);
    table.Set(2, pA);

    CUnlimitedStream stream;
    ASSERT_TRUE(pA->Write(&stream));
    std::vector<uint8_t> bytes(stream.GetData(), stream.GetData() + stream.GetSize());
    EXPECT_EQ(bytes, (std::vector<uint8_t>{1, 3, 0xFF, 0xFF, 0xFF, 0xFF, 3, 'A', 'n', 'n', 0}));

    Strong<CNetMachine> pPlayer = MakeStrong<CNetMachine>(nullptr, nullptr);
    pA->SetPlayer(pPlayer, 42);
    EXPECT_EQ(pA->GetPlayerId(), 42);
    ASSERT_EQ(transport.m_Sent.size(), 1u);
    EXPECT_EQ(transport.m_Sent[0].second, (std::vector<uint8_t>{1, 0, 2, 0, 0, 0, 42, 0, 0, 0}));
    // The player reference is weak: a destroyed player reads as none.
    pPlayer = nullptr;
    EXPECT_EQ(pA->GetPlayerId(), -1);

    pA->SendUpdate();
    EXPECT_EQ(transport.m_Sent.back().second, (std::vector<uint8_t>{1, 0, 2, 0, 0, 0, 1}));
    pA->SendPlayer();
    EXPECT_EQ(transport.m_Sent.back().second, (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));
    table.ClearAll();
}

TEST(SafeText, ControlCharactersBecomeEscapes)
{
    EXPECT_EQ(EscapeControlCharacters("plain text"), "plain text");
    std::string escaped = EscapeControlCharacters(std::string("a\nb\r\x1b[0m\x7f\0z", 11));
    for (char c : escaped)
        EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7f) << escaped;
    EXPECT_EQ(EscapeControlCharacters("%s%n"), "%s%n");
}
