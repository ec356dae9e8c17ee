#include <Multiplayer/NetMachines.h>
#include <Multiplayer/PacketIds.h>
#include <Multiplayer/SafeText.h>
#include <Engine/Arguments.h>
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

TEST(NetMachine, DataChangesReachEveryClient)
{
    CRecordingTransport transport;
    CNetMachines table(&transport);
    Strong<CNetMachine> pA = MakeMachine(table, "A", Peer(1));
    table.Set(4, pA);
    Strong<CArgumentArray> pValues = MakeStrong<CArgumentArray>();
    pValues->AddNumber(int32_t(7));
    pValues->AddString("v");

    ASSERT_TRUE(pA->SetData("k", pValues->Get(0), true));
    ASSERT_EQ(transport.m_Sent.size(), 1u);
    EXPECT_EQ(transport.m_Sent[0].second,
        (std::vector<uint8_t>{1, 0, 4, 0, 0, 0, 1, 0, 1, 'k', ARGUMENT_INTEGER, 7, 0, 0, 0}));
    // Stored without telling anyone.
    ASSERT_TRUE(pA->SetData("s", pValues->Get(1), false));
    EXPECT_EQ(transport.m_Sent.size(), 1u);
    ASSERT_NE(pA->GetData().Get("s"), nullptr);
    EXPECT_STREQ(pA->GetData().Get("s")->ToString(), "v");

    // The description carries the data map.
    CUnlimitedStream stream;
    ASSERT_TRUE(pA->Write(&stream));
    // flags, game, player id (4), name "A" (2), then the map
    CMemoryStream mapBytes(stream.GetData() + 8, stream.GetSize() - 8);
    Strong<CArgumentMap> pMap = MakeStrong<CArgumentMap>();
    ASSERT_TRUE(pMap->Read(&mapBytes));
    EXPECT_EQ(pMap->GetCount(), 2u);
    ASSERT_NE(pMap->Get("s"), nullptr);
    EXPECT_STREQ(pMap->Get("s")->ToString(), "v");

    EXPECT_TRUE(pA->RemoveData("k"));
    EXPECT_EQ(transport.m_Sent.back().second, (std::vector<uint8_t>{1, 0, 4, 0, 0, 0, 1, 0, 1, 'k', 0}));
    size_t before = transport.m_Sent.size();
    EXPECT_FALSE(pA->RemoveData("k"));
    EXPECT_EQ(transport.m_Sent.size(), before);

    // A null value removes the key and still tells the clients.
    ASSERT_TRUE(pA->SetData("s", nullptr, true));
    EXPECT_EQ(pA->GetData().Get("s"), nullptr);
    EXPECT_EQ(transport.m_Sent.back().second, (std::vector<uint8_t>{1, 0, 4, 0, 0, 0, 1, 0, 1, 's', 0}));

    pA->SetData("x", pValues->Get(0), false);
    pA->ClearData();
    EXPECT_EQ(pA->GetData().GetCount(), 0u);
    EXPECT_EQ(transport.m_Sent.back().second, (std::vector<uint8_t>{1, 0, 4, 0, 0, 0}));
    table.ClearAll();
}

// A value that cannot be stored is not sent either: clients never hold data the server lacks.
TEST(NetMachine, UnstorableDataIsNeitherStoredNorSent)
{
    CRecordingTransport transport;
    CNetMachines table(&transport);
    Strong<CNetMachine> pA = MakeMachine(table, "A", Peer(1));
    table.Set(0, pA);
    Strong<CArgumentArray> pDeep = MakeStrong<CArgumentArray>();
    CArgumentArray* pInner = pDeep;
    for (int i = 0; i < MAX_ARGUMENT_DEPTH + 2; ++i) {
        CArgumentArray* pNext = new CArgumentArray;
        pInner->Push(pNext);
        pInner = pNext;
    }
    EXPECT_FALSE(pA->SetData("deep", pDeep, true));
    EXPECT_TRUE(transport.m_Sent.empty());
    EXPECT_EQ(pA->GetData().GetCount(), 0u);
    table.ClearAll();
}
