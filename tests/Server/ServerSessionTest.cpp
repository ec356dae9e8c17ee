// Client sessions in-process, on a fake transport.
#include "SessionFixture.h"

#include <Engine/Arguments.h>
#include <Multiplayer/PacketIds.h>
#include <Scripting/CommandHandlers.h>

#include <thread>

using namespace SessionTest;
using namespace Torvane3D;

namespace
{
    class CSession : public CSessionFixture
    {
    };

    class CRecordingEvents : public IServerEvents
    {
    public:
        bool OnPlayerCommand(CNetMachine*, const char* szCommand, const char* szArguments) override
        {
            m_Commands.emplace_back(szCommand, szArguments);
            return true;
        }
        void OnPlayerQuit(CNetMachine* pClient, uint32_t uiReason) override
        {
            m_Quits.emplace_back(pClient->GetName(), uiReason);
            // A script that kicks the leaving client once more.
            if (m_pServer)
                m_pServer->DropClient(pClient, 99);
        }
        CBaseServer* m_pServer = nullptr;
        bool OnPlayerChat(CNetMachine*, const char* pText, size_t length) override
        {
            m_Chats.emplace_back(pText, length);
            return !m_bCancelChat;
        }
        std::vector<std::pair<std::string, std::string>> m_Commands;
        std::vector<std::pair<std::string, uint32_t>> m_Quits;
        bool OnNetworkEvent(CNetMachine*, const char* szName, CArgumentArray* pArguments) override
        {
            if (std::string(szName) != "bound")
                return false;
            m_NetworkEvents.emplace_back(szName, pArguments ? pArguments->GetCount() : 0);
            return true;
        }
        std::vector<std::string> m_Chats;
        std::vector<std::pair<std::string, size_t>> m_NetworkEvents;
        bool m_bCancelChat = false;
    };

    class CTestCommand : public CCommandHandler
    {
    public:
        void Execute(const char*, const char* szArguments, CBaseObject* pSource) override
        {
            m_Runs.emplace_back(szArguments);
            m_pSource = pSource;
        }
        std::vector<std::string> m_Runs;
        CBaseObject* m_pSource = nullptr;
    };
}

TEST_F(CSession, ConsoleClientSitsInSlot255)
{
    CNetMachine* pConsole = m_Server.GetMachines().Get(255);
    ASSERT_NE(pConsole, nullptr);
    EXPECT_EQ(pConsole, m_Server.GetConsoleMachine());
    EXPECT_EQ(pConsole->GetName(), "Console");
    EXPECT_TRUE(pConsole->IsConsole());
    EXPECT_TRUE(pConsole->IsAdministrator());
    EXPECT_EQ(pConsole->GetIndex(), 255);
    EXPECT_EQ(m_Server.GetPlayerCount(), 0);
}

TEST_F(CSession, BannedAddressIsRefusedWithReason7)
{
    m_Server.GetBanList().Ban("10.1.2.3", 0);
    Peer_t pPeer = Connect(1, Handshake("Banned"), "10.1.2.3");
    EXPECT_EQ(m_Transport.DisconnectReason(pPeer), DISCONNECT_BANNED);
    EXPECT_TRUE(m_Log.Has(LOG_WARN, "CONNECT: 10.1.2.3 revoked connection [BANNED]"));
    EXPECT_EQ(ClientOf(pPeer), nullptr);
    EXPECT_TRUE(m_Transport.IdsTo(pPeer).empty());

    // Another address is not affected.
    Peer_t pOther = Connect(2, Handshake("Other"), "10.1.2.4");
    EXPECT_NE(ClientOf(pOther), nullptr);
}

TEST_F(CSession, TimedBanRunsOut)
{
    // Margins wide enough for a loaded machine: the first connect comes well inside the ban.
    m_Server.GetBanList().Ban("10.1.2.3", 500);
    Peer_t pPeer = Connect(1, Handshake("Early"), "10.1.2.3");
    EXPECT_EQ(m_Transport.DisconnectReason(pPeer), DISCONNECT_BANNED);
    std::this_thread::sleep_for(std::chrono::milliseconds(900));
    Peer_t pLater = Connect(2, Handshake("Later"), "10.1.2.3");
    EXPECT_NE(ClientOf(pLater), nullptr);
    EXPECT_EQ(m_Server.GetBanList().GetCount(), 0u);
}

// Every read of the handshake is bounded by the packet: a packet that ends early is refused
// with the reason of the field it ends in.
TEST_F(CSession, ShortHandshakeIsRefusedWithTheNearestReason)
{
    std::vector<uint8_t> full = Handshake("Shorty").m_Data;
    struct tCase
    {
        size_t length;
        uint32_t reason;
        const char* szLog;
    };
    // protocol 0..3, version 4..19, password length byte 20, name count 21..22, name 23..28, game 29
    const tCase cases[] = {
        {0, DISCONNECT_UNSUPPORTED_CLIENT, "CONNECT: 127.0.0.1 revoked connection [UNSUPPORTED CLIENT]"},
        {3, DISCONNECT_UNSUPPORTED_CLIENT, "CONNECT: 127.0.0.1 revoked connection [UNSUPPORTED CLIENT]"},
        {10, DISCONNECT_UNSUPPORTED_CLIENT, "CONNECT: 127.0.0.1 revoked connection [UNSUPPORTED CLIENT]"},
        {20, DISCONNECT_WRONG_PASSWORD, "CONNECT: 127.0.0.1 revoked connection [WRONG PASSWORD]"},
        {22, DISCONNECT_INVALID_NICKNAME, "CONNECT: 127.0.0.1 revoked connection [INVALID NICKNAME]"},
        {26, DISCONNECT_INVALID_NICKNAME, "CONNECT: 127.0.0.1 revoked connection [INVALID NICKNAME]"},
        {29, DISCONNECT_WRONG_GAME, "CONNECT: Shorty revoked connection [WRONG GAME]"},
    };
    ASSERT_EQ(full.size(), 30u);
    int n = 1;
    for (const tCase& c : cases) {
        Peer_t pPeer = PeerOf(n++);
        m_Transport.m_Addresses[pPeer] = "127.0.0.1";
        Deliver(pPeer, 1, std::vector<uint8_t>(full.begin(), full.begin() + static_cast<long>(c.length)));
        EXPECT_EQ(m_Transport.DisconnectReason(pPeer), static_cast<long>(c.reason)) << "length " << c.length;
        EXPECT_TRUE(m_Log.Has(LOG_WARN, c.szLog)) << "length " << c.length;
        EXPECT_EQ(ClientOf(pPeer), nullptr);
    }
    EXPECT_EQ(m_Server.GetPlayerCount(), 0);
}

TEST_F(CSession, PasswordLengthIsCappedBeforeAnythingIsRead)
{
    // A password length claiming 2^28 bytes: refused at once, nothing allocated.
    CBytes b;
    b.U32(29).U32(1).U32(0).U32(0).U32(0).U8(0x80).U8(0x80).U8(0x80).U8(0x80).U8(0x01);
    Peer_t pPeer = PeerOf(1);
    m_Transport.m_Addresses[pPeer] = "127.0.0.1";
    Deliver(pPeer, 1, b.m_Data);
    EXPECT_EQ(m_Transport.DisconnectReason(pPeer), DISCONNECT_WRONG_PASSWORD);

    // Just over the cap, with every byte present: still refused without a join password.
    Peer_t pLong = Connect(2, Handshake("Long", 1, std::string(CBaseServer::MAX_PASSWORD_LENGTH + 1, 'p')));
    EXPECT_EQ(m_Transport.DisconnectReason(pLong), DISCONNECT_WRONG_PASSWORD);
    Peer_t pCap = Connect(3, Handshake("Cap", 1, std::string(CBaseServer::MAX_PASSWORD_LENGTH, 'p')));
    EXPECT_NE(ClientOf(pCap), nullptr);
}

TEST_F(CSession, NicknamesWithControlCharactersOrOnlyANulAreRefused)
{
    const std::string names[] = {std::string("a\nb"), std::string("\x1b[31m"), std::string("\0abc", 4)};
    int n = 1;
    for (const std::string& name : names) {
        Peer_t pPeer = Connect(n++, Handshake(name));
        EXPECT_EQ(m_Transport.DisconnectReason(pPeer), DISCONNECT_INVALID_NICKNAME);
    }
    // A name that ends at a NUL keeps the bytes before it.
    Peer_t pPeer = Connect(n++, Handshake(std::string("Tom\0xyz", 7)));
    ASSERT_NE(ClientOf(pPeer), nullptr);
    EXPECT_EQ(ClientOf(pPeer)->GetName(), "Tom");
}

TEST_F(CSession, HandshakesPerAddressAreRateLimited)
{
    m_Server.m_uiMaxJoinsPerAddress = 3;
    for (int i = 0; i < 3; ++i) {
        Peer_t pPeer = Connect(i + 1, Handshake("Wrong", 9));
        EXPECT_EQ(m_Transport.DisconnectReason(pPeer), DISCONNECT_WRONG_GAME);
    }
    Peer_t pFourth = Connect(4, Handshake("Right"));
    EXPECT_EQ(m_Transport.DisconnectReason(pFourth), DISCONNECT_SERVER_FULL);
    EXPECT_EQ(ClientOf(pFourth), nullptr);
    Peer_t pFifth = Connect(5, Handshake("Right"));
    EXPECT_EQ(m_Transport.DisconnectReason(pFifth), DISCONNECT_SERVER_FULL);
    size_t reports = 0;
    for (auto& line : m_Log.m_Lines)
        reports += line.second.find("[TOO MANY ATTEMPTS]") != std::string::npos;
    EXPECT_EQ(reports, 1u);
    // Another address still gets in.
    Peer_t pOther = Connect(6, Handshake("Right"), "127.0.0.2");
    EXPECT_NE(ClientOf(pOther), nullptr);
}

TEST_F(CSession, JoiningClientReceivesPacketsInOrder)
{
    m_Server.m_CVars.Set("trainers", "0");
    Peer_t pFirst = Join(1, "First");
    EXPECT_EQ(m_Transport.IdsTo(pFirst),
        (std::vector<uint32_t>{149, 30, 2, 17, 29, 19, 8, 5, 14}));
    CGameClient* pClient = static_cast<CGameClient*>(ClientOf(pFirst));
    ASSERT_NE(pClient, nullptr);
    EXPECT_TRUE(pClient->IsVerified());
    EXPECT_TRUE(pClient->IsJoined());
    EXPECT_TRUE(pClient->IsStreaming());
    EXPECT_FALSE(pClient->AreTrainersAllowed());
    EXPECT_EQ(pClient->GetIndex(), 0);
    EXPECT_EQ(m_Server.GetPlayerCount(), 1);

    // The others hear of the second client; the first does not get another list.
    Peer_t pSecond = Join(2, "Second");
    EXPECT_EQ(m_Transport.Count(pFirst, PACKET_CLIENT_JOINED), 1u);
    EXPECT_EQ(m_Transport.Count(pFirst, PACKET_CLIENT_LIST), 1u);
    EXPECT_EQ(m_Transport.Count(pSecond, PACKET_CLIENT_JOINED), 0u);
}

TEST_F(CSession, SecondClientReadyIsIgnored)
{
    Peer_t pPeer = Join(1, "Ready");
    Deliver(pPeer, 3, {});
    EXPECT_EQ(m_Transport.Count(pPeer, PACKET_JOIN_COMPLETE), 1u);
    EXPECT_EQ(m_Transport.Count(pPeer, PACKET_RESOURCE_INFO), 1u);
}

TEST_F(CSession, UnverifiedClientIsHeardOnlyForTheAnticheatAnswer)
{
    CRecordingEvents events;
    m_Server.SetServerEvents(&events);
    Peer_t pPeer = Connect(1, Handshake("Early"));
    Deliver(pPeer, 6, CBytes().U32(2).Text("hi").m_Data);
    Deliver(pPeer, 3, {});
    EXPECT_TRUE(events.m_Chats.empty());
    EXPECT_EQ(m_Transport.Count(pPeer, PACKET_JOIN_COMPLETE), 0u);
    m_Server.SetServerEvents(nullptr);
}

TEST_F(CSession, AnticheatAnswerIsChecked)
{
    CGTAServer::tAnticheatFile file;
    file.m_strPath = "data/handling.cfg";
    for (int i = 0; i < 16; ++i)
        file.m_Digest[i] = static_cast<uint8_t>(i);
    m_Server.m_AnticheatFiles.push_back(file);
    std::vector<uint8_t> good(file.m_Digest, file.m_Digest + 16), bad(16, 0);

    struct tCase
    {
        CBytes answer;
        const char* szLog;
    };
    tCase cases[] = {
        {CBytes().U32(1).Raw(good.data(), 16).Raw(good.data(), 16), nullptr}, // extra bytes after a match: fine
        {CBytes().U32(2).Raw(good.data(), 16).Raw(good.data(), 16), "[CRC CHECK FAILED]"},
        {CBytes().U32(1).Raw(bad.data(), 16), "[CRC CHECK FAILED - data/handling.cfg]"},
        {CBytes().U32(1).Raw(good.data(), 10), "[CRC CHECK FAILED]"},
        {CBytes().U8(1), "[CRC CHECK FAILED]"},
    };
    int n = 1;
    for (tCase& c : cases) {
        Peer_t pPeer = Connect(n, Handshake("Player" + std::to_string(n)));
        ++n;
        Deliver(pPeer, 149, c.answer.m_Data);
        if (!c.szLog) {
            ASSERT_NE(ClientOf(pPeer), nullptr);
            EXPECT_TRUE(static_cast<CGameClient*>(ClientOf(pPeer))->IsVerified());
            continue;
        }
        EXPECT_EQ(m_Transport.DisconnectReason(pPeer), DISCONNECT_ANTICHEAT);
        EXPECT_TRUE(m_Log.Has(LOG_WARN, std::string("CONNECT: 127.0.0.1 revoked connection ") + c.szLog)) << c.szLog;
        EXPECT_EQ(ClientOf(pPeer), nullptr);
    }
    EXPECT_EQ(m_Server.GetPlayerCount(), 1);
}

TEST_F(CSession, SilentClientIsDroppedAfterTheAnswerLimit)
{
    m_Server.m_ullAnticheatAnswerLimitMs = 500;
    Peer_t pSilent = Connect(1, Handshake("Silent"));
    Peer_t pQuick = Join(2, "Quick");
    m_Server.ProcessSessions();
    EXPECT_NE(ClientOf(pSilent), nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(900));
    m_Server.ProcessSessions();
    EXPECT_EQ(ClientOf(pSilent), nullptr);
    EXPECT_EQ(m_Transport.DisconnectReason(pSilent), DISCONNECT_ANTICHEAT);
    EXPECT_TRUE(m_Log.Has(LOG_WARN, "CONNECT: 127.0.0.1 revoked connection [CRC CHECK TIMED OUT]"));
    EXPECT_NE(ClientOf(pQuick), nullptr);
    EXPECT_EQ(m_Transport.Count(pQuick, PACKET_CLIENT_LEFT), 1u);
}

// Whatever data the far side puts in its disconnect, the departure runs: the next connection
// that gets the same peer must not inherit a verified record.
TEST_F(CSession, TransportDisconnectAlwaysRunsTheDeparture)
{
    for (unsigned reason : {0u, 6u, 12u, 0xFFFFFFFFu}) {
        CRecordingEvents events;
        m_Server.SetServerEvents(&events);
        Peer_t pPeer = Join(1, "Leaver");
        ASSERT_NE(ClientOf(pPeer), nullptr);
        m_Server.OnDisconnect(pPeer, reason);
        EXPECT_EQ(ClientOf(pPeer), nullptr) << reason;
        EXPECT_EQ(m_Server.GetPlayerCount(), 0);
        ASSERT_EQ(events.m_Quits.size(), 1u);
        EXPECT_EQ(events.m_Quits[0].second, reason);
        // The same peer pointer comes back: it must go through the handshake again.
        size_t before = m_Transport.m_Sent.size();
        Deliver(pPeer, 6, CBytes().U32(2).Text("hi").m_Data);
        EXPECT_EQ(m_Transport.m_Sent.size(), before);
        m_Server.SetServerEvents(nullptr);
    }
}

TEST_F(CSession, QuitRunsDepartureAndDisconnectsWithTheReason)
{
    Peer_t pStay = Join(1, "Stay");
    Peer_t pQuit = Join(2, "Quit");
    Deliver(pQuit, 16, CBytes().U32(9).m_Data);
    EXPECT_EQ(ClientOf(pQuit), nullptr);
    EXPECT_EQ(m_Transport.DisconnectReason(pQuit), 9);
    EXPECT_EQ(m_Transport.Count(pStay, PACKET_CLIENT_LEFT), 1u);
    EXPECT_EQ(m_Transport.m_Sent.back().m_Payload, (CBytes().U16(1).U32(1).m_Data));

    Peer_t pBare = Join(3, "Bare");
    Deliver(pBare, 16, {});
    EXPECT_EQ(m_Transport.DisconnectReason(pBare), DISCONNECT_QUIT);
    // The transport's later disconnect event finds nothing more to do.
    size_t before = m_Transport.m_Sent.size();
    m_Server.OnDisconnect(pBare, 0);
    EXPECT_EQ(m_Transport.m_Sent.size(), before);
}

TEST_F(CSession, EveryClientPacketGoesToAcceptedClientsOnly)
{
    Peer_t pJoined = Join(1, "Joined");
    Peer_t pWaiting = PeerOf(2);
    m_Transport.m_Addresses[pWaiting] = "127.0.0.1";
    m_Server.OnConnect(pWaiting);
    Join(3, "Other");
    m_Server.SendChat(nullptr, "x", 1, COLOUR_LIME);
    m_Server.SendCVars(nullptr);
    EXPECT_TRUE(m_Transport.IdsTo(pWaiting).empty());
    EXPECT_TRUE(m_Transport.IdsTo(nullptr).empty());
    EXPECT_EQ(m_Transport.Count(pJoined, PACKET_CHAT), 1u);
}

TEST_F(CSession, ChatIsRelayedAsNameColonText)
{
    Peer_t pA = Join(1, "Alice");
    Peer_t pB = Join(2, "Bob");
    Deliver(pA, 6, CBytes().U32(11).Text("hello\nworld").m_Data);
    std::string line = "Alice: hello\nworld";
    std::vector<uint8_t> expected = CBytes().U32(static_cast<uint32_t>(line.size())).U32(CHAT_TYPE_CHAT).Text(line).m_Data;
    for (Peer_t pPeer : {pA, pB}) {
        ASSERT_EQ(m_Transport.Count(pPeer, PACKET_CHAT), 1u);
        EXPECT_EQ(m_Transport.m_Sent.back().m_uiId, PACKET_CHAT);
    }
    for (const tSent& s : m_Transport.m_Sent) {
        if (s.m_uiId == PACKET_CHAT) {
            EXPECT_EQ(s.m_Payload, expected);
        }
    }
    // The log shows the control character, it does not act on it.
    EXPECT_TRUE(m_Log.Has(LOG_INFO, "Alice: hello\\nworld"));

    // Out-of-range counts and short texts are dropped.
    size_t before = m_Transport.m_Sent.size();
    Deliver(pA, 6, CBytes().U32(0).m_Data);
    Deliver(pA, 6, CBytes().U32(4097).Text(std::string(4097, 'x')).m_Data);
    Deliver(pA, 6, CBytes().U32(10).Text("short").m_Data);
    Deliver(pA, 6, CBytes().U32(1).Text(std::string(1, '\0')).m_Data);
    EXPECT_EQ(m_Transport.m_Sent.size(), before);
}

TEST_F(CSession, CancelledChatIsNotSent)
{
    CRecordingEvents events;
    events.m_bCancelChat = true;
    m_Server.SetServerEvents(&events);
    Peer_t pA = Join(1, "Alice");
    Deliver(pA, 6, CBytes().U32(2).Text("hi").m_Data);
    EXPECT_EQ(events.m_Chats, std::vector<std::string>{"hi"});
    EXPECT_EQ(m_Transport.Count(pA, PACKET_CHAT), 0u);
    m_Server.SetServerEvents(nullptr);
}

TEST_F(CSession, CommandArgumentsOver255BytesAreNotRun)
{
    CRecordingEvents events;
    m_Server.SetServerEvents(&events);
    CTestCommand* pCommand = new CTestCommand;
    pCommand->AddRef(); // the test keeps it alive to read it
    ASSERT_TRUE(m_Server.GetCommandHandlers()->AddCommandHandler(pCommand, "probe"));
    Peer_t pPeer = Join(1, "Admin");
    ClientOf(pPeer)->SetAdministrator(true);

    auto send = [&](const std::string& args) {
        Deliver(pPeer, 7, CBytes().U32(5).Text("probe").U32(static_cast<uint32_t>(args.size())).Text(args).m_Data);
    };
    send(std::string(256, 'a'));
    EXPECT_TRUE(pCommand->m_Runs.empty());
    send(std::string(300, 'b'));
    EXPECT_TRUE(pCommand->m_Runs.empty());
    send(std::string(255, 'c'));
    ASSERT_EQ(pCommand->m_Runs.size(), 1u);
    EXPECT_EQ(pCommand->m_Runs[0], std::string(255, 'c'));
    EXPECT_EQ(pCommand->m_pSource, ClientOf(pPeer));
    // The event is raised for every command, run or not.
    ASSERT_EQ(events.m_Commands.size(), 3u);
    EXPECT_EQ(events.m_Commands[1].second.size(), 300u);

    // Without administrator rights an administrator-only command does not run.
    ClientOf(pPeer)->SetAdministrator(false);
    send("x");
    EXPECT_EQ(pCommand->m_Runs.size(), 1u);
    pCommand->Release();
    m_Server.SetServerEvents(nullptr);
}

TEST_F(CSession, NicknameChecksFollowTheirOrder)
{
    m_Server.m_iMaxPlayers = 2;
    Join(1, "One");
    struct tCase
    {
        CBytes handshake;
        uint32_t reason;
        const char* szLog;
    };
    tCase cases[] = {
        {Handshake("Wrong", 1, "", 28), DISCONNECT_UNSUPPORTED_CLIENT, "CONNECT: 127.0.0.1 (28) revoked connection [UNSUPPORTED CLIENT]"},
        {Handshake(std::string(32, 'n')), DISCONNECT_INVALID_NICKNAME, "CONNECT: 127.0.0.1 revoked connection [INVALID NICKNAME]"},
        {Handshake("ONE"), DISCONNECT_NICKNAME_IN_USE, "CONNECT: ONE revoked connection [NICKNAME IN USE]"},
        {Handshake("console"), DISCONNECT_NICKNAME_IN_USE, "CONNECT: console revoked connection [NICKNAME IN USE]"},
        {Handshake("Vice", 2), DISCONNECT_WRONG_GAME, "CONNECT: Vice revoked connection [WRONG GAME]"},
    };
    int n = 10;
    for (tCase& c : cases) {
        Peer_t pPeer = Connect(n++, c.handshake);
        EXPECT_EQ(m_Transport.DisconnectReason(pPeer), static_cast<long>(c.reason)) << c.szLog;
        EXPECT_TRUE(m_Log.Has(LOG_WARN, c.szLog)) << c.szLog;
    }
    Peer_t pTwo = Connect(n++, Handshake(std::string(31, 'n')));
    EXPECT_NE(ClientOf(pTwo), nullptr);
    Peer_t pThree = Connect(n++, Handshake("Three"));
    EXPECT_EQ(m_Transport.DisconnectReason(pThree), DISCONNECT_SERVER_FULL);
    EXPECT_TRUE(m_Log.Has(LOG_WARN, "CONNECT: Three revoked connection [SERVER FULL]"));

    m_Server.m_bDuplicateNames = true;
    m_Server.m_iMaxPlayers = 10;
    Peer_t pDup = Connect(n++, Handshake("One"));
    EXPECT_NE(ClientOf(pDup), nullptr);
}

TEST_F(CSession, DepartedSlotIsReused)
{
    Peer_t pA = Join(1, "A");
    Peer_t pB = Join(2, "B");
    EXPECT_EQ(ClientOf(pB)->GetIndex(), 1);
    m_Server.OnDisconnect(pA, 0);
    Peer_t pC = Join(3, "C");
    EXPECT_EQ(ClientOf(pC)->GetIndex(), 0);
}

TEST_F(CSession, SecondHandshakeFromAnAcceptedPeerIsIgnored)
{
    Peer_t pPeer = Join(1, "Once");
    size_t before = m_Transport.m_Sent.size();
    Deliver(pPeer, 1, Handshake("Twice").m_Data);
    EXPECT_EQ(m_Transport.m_Sent.size(), before);
    EXPECT_EQ(ClientOf(pPeer)->GetName(), "Once");
    EXPECT_EQ(m_Server.GetPlayerCount(), 1);
}

TEST_F(CSession, NetworkEventsAreReadAndHandedToTheirHandlers)
{
    CRecordingEvents events;
    m_Server.SetServerEvents(&events);
    Peer_t pPeer = Join(1, "Eventful");
    // Two arguments: the integer 5 and the string "x".
    CBytes args;
    args.U8(2).U8(ARGUMENT_INTEGER).U32(5).U8(ARGUMENT_STRING).String("x");
    Deliver(pPeer, 10, CBytes().String("bound").Raw(args.m_Data.data(), args.m_Data.size()).m_Data);
    ASSERT_EQ(events.m_NetworkEvents.size(), 1u);
    EXPECT_EQ(events.m_NetworkEvents[0].second, 2u);

    Deliver(pPeer, 10, CBytes().String("nobody\n").U8(0).m_Data);
    EXPECT_TRUE(m_Log.Has(LOG_WARN, "Network event nobody\\n not bound serverside"));
    // An argument of a code no reader accepts.
    Deliver(pPeer, 10, CBytes().String("bound").U8(1).U8(ARGUMENT_OBJECT).m_Data);
    EXPECT_TRUE(m_Log.Has(LOG_WARN, "Failed to read network arguments for network event bound."));
    EXPECT_EQ(events.m_NetworkEvents.size(), 1u);
    m_Server.SetServerEvents(nullptr);
}

TEST_F(CSession, DepartureRunsOnceEvenWhenAQuitHandlerDropsTheClient)
{
    CRecordingEvents events;
    events.m_pServer = &m_Server;
    m_Server.SetServerEvents(&events);
    Peer_t pStay = Join(1, "Stay");
    Peer_t pLeave = Join(2, "Leave");
    m_Server.OnDisconnect(pLeave, 0);
    EXPECT_EQ(events.m_Quits.size(), 1u);
    EXPECT_EQ(m_Transport.Count(pStay, PACKET_CLIENT_LEFT), 1u);
    EXPECT_EQ(m_Server.GetPlayerCount(), 1);
    // The console is never dropped.
    m_Server.DropClient(m_Server.GetConsoleMachine(), 1);
    EXPECT_EQ(m_Server.GetMachines().Get(255), m_Server.GetConsoleMachine());
    EXPECT_EQ(m_Server.GetPlayerCount(), 1);
    m_Server.SetServerEvents(nullptr);
}

TEST_F(CSession, ClientCausedWarningsAreLimited)
{
    Peer_t pPeer = Join(1, "Noisy");
    for (int i = 0; i < 3 * static_cast<int>(CNetMachine::WARNING_BURST); ++i)
        Deliver(pPeer, 10, CBytes().String("unbound").U8(0).m_Data);
    size_t warnings = 0;
    for (auto& line : m_Log.m_Lines)
        warnings += line.second == "Network event unbound not bound serverside";
    EXPECT_EQ(warnings, CNetMachine::WARNING_BURST);
}

TEST_F(CSession, JoinPasswordIsChecked)
{
    ASSERT_TRUE(m_Server.m_Password.Set("secret"));
    Peer_t pWrong = Connect(1, Handshake("Wrong", 1, "Secret"));
    EXPECT_EQ(m_Transport.DisconnectReason(pWrong), DISCONNECT_WRONG_PASSWORD);
    EXPECT_TRUE(m_Log.Has(LOG_WARN, "CONNECT: 127.0.0.1 revoked connection [WRONG PASSWORD]"));
    Peer_t pEmpty = Connect(2, Handshake("Empty"));
    EXPECT_EQ(m_Transport.DisconnectReason(pEmpty), DISCONNECT_WRONG_PASSWORD);
    // bcrypt would read only 72 bytes: a longer text that starts right is still wrong.
    Peer_t pLong = Connect(3, Handshake("Long", 1, "secret" + std::string(80, 'x')));
    EXPECT_EQ(m_Transport.DisconnectReason(pLong), DISCONNECT_WRONG_PASSWORD);
    Peer_t pRight = Connect(4, Handshake("Right", 1, "secret"));
    EXPECT_NE(ClientOf(pRight), nullptr);
}
