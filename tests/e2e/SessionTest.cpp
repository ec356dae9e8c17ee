// Client sessions against the real server binary, driven by the project's test client over
// ENet on loopback: refusals, the join sequence, what other clients hear, chat, departures.
#include "ServerProcess.h"
#include "TestClient.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>

using namespace TestSupport;
using namespace TestClient;
using namespace std::chrono_literals;

namespace
{
    const char* const HOST = "127.0.0.1";
    const char* const ANTICHEAT_PATH = "data/handling.cfg";

    struct CServerSettings
    {
        int iMaxPlayers = 8;
        unsigned uiJoinsPerAddress = 1000;
        std::string strMinVersion = "1.0.0.0";
        bool bAnticheat = false;
        std::string strPassword;
        std::string strExtra;
    };

    class SessionTest : public ::testing::Test
    {
    protected:
        // Starts a server; false (with the test skipped) while this build cannot read server.xml.
        bool Launch(const CServerSettings& settings = CServerSettings())
        {
            m_usPort = FindFreePort();
            m_strPassword = settings.strPassword;
            std::string anticheat;
            if (settings.bAnticheat) {
                m_Root.Write("anticheat/handling.cfg", "the server's copy of the file\n");
                m_Root.Write("client/handling.cfg", "the server's copy of the file\n");
                m_Root.Write("client/modified.cfg", "a modified copy\n");
                anticheat = std::string("  <anticheat>\n    <file path=\"") + ANTICHEAT_PATH +
                    "\" src=\"anticheat/handling.cfg\"/>\n  </anticheat>\n";
            }
            m_Root.Write("server.xml",
                "<server>\n"
                "  <servername>Session test</servername>\n"
                "  <gamemode>Testing</gamemode>\n"
                "  <port>" + std::to_string(m_usPort) + "</port>\n"
                "  <bindip>127.0.0.1</bindip>\n"
                "  <httpserver>false</httpserver>\n"
                "  <httpport>" + std::to_string(m_usPort) + "</httpport>\n"
                "  <maxplayers>" + std::to_string(settings.iMaxPlayers) + "</maxplayers>\n"
                "  <maxpeersperaddress>256</maxpeersperaddress>\n"
                "  <maxjoinsperaddress>" + std::to_string(settings.uiJoinsPerAddress) + "</maxjoinsperaddress>\n"
                "  <minclientversion>" + settings.strMinVersion + "</minclientversion>\n"
                "  <password>" + settings.strPassword + "</password>\n"
                "  <cvar name=\"trainers\" value=\"0\"/>\n"
                "  <cvar name=\"colour\" value=\"red\"/>\n" + anticheat + settings.strExtra +
                "  <game>gta:iii</game>\n"
                "</server>\n");
            if (!m_Server.Start({}))
                return false;
            return m_Server.WaitForOutput("Server is now listening on port", 20s);
        }

        CJoinOptions Options(const std::string& name)
        {
            CJoinOptions options;
            options.strName = name;
            options.strPassword = m_strPassword;
            options.anticheatFiles[ANTICHEAT_PATH] = m_Root.File("client/handling.cfg");
            return options;
        }

        // A client that completed the handshake and the anticheat answer.
        std::unique_ptr<CTestClient> Accepted(const std::string& name)
        {
            auto pClient = std::make_unique<CTestClient>();
            EXPECT_TRUE(pClient->Join(HOST, m_usPort, Options(name))) << name << "\n" << m_Server.Output();
            return pClient;
        }

        // A client that also sent client-ready and got the join-complete packet.
        std::unique_ptr<CTestClient> Joined(const std::string& name)
        {
            auto pClient = Accepted(name);
            EXPECT_TRUE(pClient->Ready()) << name << "\n" << m_Server.Output();
            return pClient;
        }

        // Services every client until pred holds or the time is up.
        static bool WaitAll(std::initializer_list<CTestClient*> clients, const std::function<bool()>& pred,
            unsigned timeoutMs = 5000)
        {
            uint64_t deadline = NowMs() + timeoutMs;
            while (!pred()) {
                if (NowMs() >= deadline)
                    return false;
                for (CTestClient* pClient : clients)
                    pClient->Service(2);
            }
            return true;
        }

        // A handshake that must be refused: the disconnect reason, or -1 when none came.
        long Refusal(const CJoinOptions& options)
        {
            CTestClient client;
            if (!client.Connect(HOST, m_usPort) || !client.SendHandshake(options))
                return -2;
            if (!client.WaitForDisconnect(5000))
                return -1;
            return static_cast<long>(client.GetDisconnectReason());
        }

        bool Logged(const std::string& text) { return m_Server.WaitForOutput(text, 5s); }

        CTempDir m_Root;
        CServerProcess m_Server{m_Root};
        unsigned short m_usPort = 0;
        std::string m_strPassword;
    };

#define LAUNCH_SERVER(...)                                                                            \
    do {                                                                                               \
        bool bUp = Launch(__VA_ARGS__);                                                                \
        ASSERT_TRUE(bUp) << m_Server.Output();                                                         \
    } while (0)

    std::string TextOf(const CReceivedPacket& packet, size_t offset = 0)
    {
        CPayloadReader reader(packet.payload);
        std::vector<uint8_t> skip(offset);
        std::string text;
        if (!reader.Bytes(skip.data(), offset) || !reader.String(text))
            return "<unreadable>";
        return text;
    }
}

// Every refusal a client can provoke with its handshake: the reason code it receives and the
// warning the server logs, in the order the checks run.
TEST_F(SessionTest, RefusalsCarryTheirReasonAndWarning)
{
    CServerSettings settings;
    settings.iMaxPlayers = 2;
    settings.strMinVersion = "1.0.0.0";
    settings.strPassword = "letmein";
    LAUNCH_SERVER(settings);
    auto pFirst = Joined("First");

    struct tCase
    {
        const char* szWhat;
        std::function<void(CJoinOptions&)> change;
        uint32_t reason;
        const char* szLog;
    };
    const tCase cases[] = {
        {"protocol 28", [](CJoinOptions& o) { o.uiProtocol = 28; }, 2,
            "CONNECT: 127.0.0.1 (28) revoked connection [UNSUPPORTED CLIENT]"},
        {"version below the minimum", [](CJoinOptions& o) { o.uiVersion[0] = 0, o.uiVersion[1] = 9; }, 2,
            "CONNECT: 127.0.0.1 revoked connection [UNSUPPORTED CLIENT]"},
        {"wrong password", [](CJoinOptions& o) { o.strPassword = "LetMeIn"; }, 4,
            "CONNECT: 127.0.0.1 revoked connection [WRONG PASSWORD]"},
        {"no password", [](CJoinOptions& o) { o.strPassword.clear(); }, 4,
            "CONNECT: 127.0.0.1 revoked connection [WRONG PASSWORD]"},
        {"empty nickname", [](CJoinOptions& o) { o.strName.clear(); }, 9,
            "CONNECT: 127.0.0.1 revoked connection [INVALID NICKNAME]"},
        {"32-byte nickname", [](CJoinOptions& o) { o.strName.assign(32, 'x'); }, 9,
            "CONNECT: 127.0.0.1 revoked connection [INVALID NICKNAME]"},
        {"wrong game", [](CJoinOptions& o) { o.strName = "Vice", o.ucGame = 2; }, 3,
            "CONNECT: Vice revoked connection [WRONG GAME]"},
        {"name in use", [](CJoinOptions& o) { o.strName = "FIRST"; }, 12,
            "CONNECT: FIRST revoked connection [NICKNAME IN USE]"},
        {"the console's name", [](CJoinOptions& o) { o.strName = "CONSOLE"; }, 12,
            "CONNECT: CONSOLE revoked connection [NICKNAME IN USE]"},
    };
    for (const tCase& c : cases) {
        CJoinOptions options = Options("Second");
        c.change(options);
        EXPECT_EQ(Refusal(options), static_cast<long>(c.reason)) << c.szWhat;
        EXPECT_TRUE(Logged(c.szLog)) << c.szWhat << "\n" << m_Server.Output();
    }

    // Two of two players: the third is refused although slots are free.
    auto pSecond = Joined("Second");
    EXPECT_EQ(Refusal(Options("Third")), 1);
    EXPECT_TRUE(Logged("CONNECT: Third revoked connection [SERVER FULL]"));
}

TEST_F(SessionTest, AnticheatAnswerMustMatch)
{
    CServerSettings settings;
    settings.bAnticheat = true;
    LAUNCH_SERVER(settings);

    CJoinOptions modified = Options("Cheater");
    modified.anticheatFiles[ANTICHEAT_PATH] = m_Root.File("client/modified.cfg");
    CTestClient cheater;
    ASSERT_TRUE(cheater.Connect(HOST, m_usPort));
    ASSERT_TRUE(cheater.SendHandshake(modified));
    ASSERT_TRUE(cheater.WaitForDisconnect(5000));
    EXPECT_EQ(cheater.GetDisconnectReason(), 14u);
    EXPECT_TRUE(Logged(std::string("CONNECT: 127.0.0.1 revoked connection [CRC CHECK FAILED - ") + ANTICHEAT_PATH + "]"));
    // The request named the game path.
    const CReceivedPacket* pRequest = cheater.FindLast(ID_ANTICHEAT);
    ASSERT_NE(pRequest, nullptr);
    EXPECT_EQ(TextOf(*pRequest, 4), ANTICHEAT_PATH);

    // One digest too many.
    CJoinOptions extra = Options("Extra");
    extra.bAutoAnswerAnticheat = false;
    CTestClient client;
    ASSERT_TRUE(client.Connect(HOST, m_usPort));
    ASSERT_TRUE(client.SendHandshake(extra));
    ASSERT_TRUE(client.WaitForPacket(ID_ANTICHEAT, 5000));
    ASSERT_TRUE(client.SendAnticheatAnswer({ANTICHEAT_PATH, ANTICHEAT_PATH}, extra));
    ASSERT_TRUE(client.WaitForDisconnect(5000));
    EXPECT_EQ(client.GetDisconnectReason(), 14u);
    EXPECT_TRUE(Logged("CONNECT: 127.0.0.1 revoked connection [CRC CHECK FAILED]"));

    // The right file gets in.
    auto pHonest = Joined("Honest");
    EXPECT_TRUE(pHonest->IsJoined());
}

// The join sequence as the client sees it.
TEST_F(SessionTest, JoiningClientReceivesPacketsInOrder)
{
    LAUNCH_SERVER();
    CTestClient client;
    ASSERT_TRUE(client.Join(HOST, m_usPort, Options("Orderly")));
    // Nothing else may arrive before the client speaks again.
    client.WaitFor([] { return false; }, 200);
    EXPECT_EQ(client.GetPacketIds(), (std::vector<uint32_t>{149, 30, 2, 17, 29, 19}));

    const CReceivedPacket* pAccepted = client.FindLast(ID_CONNECT_ACCEPTED);
    ASSERT_NE(pAccepted, nullptr);
    CPayloadReader accepted(pAccepted->payload);
    uint32_t index;
    uint16_t httpPort, syncInterval;
    std::string url;
    uint8_t zero, syncMethod;
    ASSERT_TRUE(accepted.U32(index) && accepted.U16(httpPort) && accepted.String(url) && accepted.U16(syncInterval) &&
        accepted.U8(zero) && accepted.U8(syncMethod));
    EXPECT_EQ(index, 0u);
    EXPECT_EQ(httpPort, m_usPort);
    EXPECT_EQ(syncInterval, 30);
    EXPECT_EQ(syncMethod, 1);
    EXPECT_EQ(TextOf(*client.FindLast(ID_GAME_MODE)), "Testing");
    EXPECT_EQ(TextOf(*client.FindLast(ID_SERVER_NAME)), "Session test");

    // Packet 30: both configuration variables, each entry length-prefixed.
    CPayloadReader cvars(client.FindLast(ID_CVARS)->payload);
    uint16_t count;
    ASSERT_TRUE(cvars.U16(count));
    EXPECT_EQ(count, 2);
    std::map<std::string, std::string> vars;
    for (uint16_t i = 0; i < count; ++i) {
        uint32_t entryLength;
        std::string name, value;
        ASSERT_TRUE(cvars.CompactLength(entryLength) && cvars.String(name) && cvars.String(value));
        EXPECT_EQ(entryLength, 2 + name.size() + value.size());
        vars[name] = value;
    }
    EXPECT_EQ(vars, (std::map<std::string, std::string>{{"trainers", "0"}, {"colour", "red"}}));

    // Packet 19: the new client and the console, in slot order.
    CPayloadReader list(client.FindLast(ID_CLIENT_LIST)->payload);
    uint16_t occupied, maxPlayers;
    ASSERT_TRUE(list.U16(occupied) && list.U16(maxPlayers));
    EXPECT_EQ(occupied, 2);
    EXPECT_EQ(maxPlayers, 8);
    std::vector<std::pair<uint32_t, std::string>> clients;
    for (uint16_t i = 0; i < occupied; ++i) {
        uint32_t slot, playerId, dataCount;
        uint8_t flags, game;
        std::string name;
        ASSERT_TRUE(list.U32(slot) && list.U8(flags) && list.U8(game) && list.U32(playerId) && list.String(name) &&
            list.CompactLength(dataCount));
        EXPECT_EQ(game, 1);
        EXPECT_EQ(playerId, 0xFFFFFFFFu);
        EXPECT_EQ(flags, slot == 255 ? 3 : 0);
        clients.emplace_back(slot, name);
    }
    EXPECT_EQ(clients, (std::vector<std::pair<uint32_t, std::string>>{{0, "Orderly"}, {255, "Console"}}));

    size_t from = client.GetPackets().size();
    ASSERT_TRUE(client.Ready());
    std::vector<uint32_t> ready = client.GetPacketIds(from);
    ASSERT_GE(ready.size(), 3u);
    EXPECT_EQ(ready.front(), ID_RESOURCES);
    EXPECT_EQ(ready[ready.size() - 2], ID_CLIENT_PLAYER);
    EXPECT_EQ(ready.back(), ID_JOIN_COMPLETE);
}

TEST_F(SessionTest, OthersHearOfJoinsAndDepartures)
{
    LAUNCH_SERVER();
    auto pA = Joined("Alpha");
    auto pB = Joined("Beta");
    ASSERT_TRUE(pA->WaitForPacket(ID_CLIENT_JOINED, 5000));
    CPayloadReader joined(pA->FindLast(ID_CLIENT_JOINED)->payload);
    uint16_t one;
    uint32_t index, playerId;
    uint8_t flags, game;
    std::string name;
    ASSERT_TRUE(joined.U16(one) && joined.U32(index) && joined.U8(flags) && joined.U8(game) && joined.U32(playerId) &&
        joined.String(name));
    EXPECT_EQ(one, 1);
    EXPECT_EQ(index, 1u);
    EXPECT_EQ(name, "Beta");
    EXPECT_EQ(pB->CountPackets(ID_CLIENT_JOINED), 0u);

    pB->Disconnect();
    ASSERT_TRUE(pA->WaitForPacket(ID_CLIENT_LEFT, 5000));
    CPayloadReader left(pA->FindLast(ID_CLIENT_LEFT)->payload);
    ASSERT_TRUE(left.U16(one) && left.U32(index));
    EXPECT_EQ(one, 1);
    EXPECT_EQ(index, 1u);

    // The freed slot goes to the next client.
    auto pC = Joined("Gamma");
    EXPECT_EQ(pC->GetIndex(), 1);
}

TEST_F(SessionTest, ChatIsRelayedToEveryClient)
{
    LAUNCH_SERVER();
    auto pA = Joined("Alpha");
    auto pB = Joined("Beta");
    ASSERT_TRUE(pA->SendChat("hello there"));
    ASSERT_TRUE(WaitAll({pA.get(), pB.get()}, [&] { return pA->GetChatCount() == 1 && pB->GetChatCount() == 1; }));
    for (CTestClient* pClient : {pA.get(), pB.get()}) {
        std::vector<CChatLine> lines = pClient->GetChatLines();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].strText, "Alpha: hello there");
        EXPECT_EQ(lines[0].uiColour, 1u);
    }
    EXPECT_TRUE(Logged("Alpha: hello there"));

    // A control character reaches the log escaped.
    ASSERT_TRUE(pB->SendChat("red\x1b[31mtext"));
    EXPECT_TRUE(Logged("Beta: red\\x1b[31mtext"));

    // Typed on the console, `say` speaks as "Console".
    ASSERT_TRUE(m_Server.WriteLine("say from the console"));
    ASSERT_TRUE(WaitAll({pA.get(), pB.get()}, [&] { return pA->GetChatCount() == 3; }));
    EXPECT_EQ(pA->GetChatLines().back().strText, "Console: from the console");
}

TEST_F(SessionTest, CommandsFromClientsNeedTheirRights)
{
    LAUNCH_SERVER();
    auto pA = Joined("Alpha");
    // `quit` is for administrators only: the server keeps running and says nothing.
    ASSERT_TRUE(pA->SendCommand("quit", ""));
    ASSERT_TRUE(pA->SendChat("still here"));
    ASSERT_TRUE(pA->WaitFor([&] { return pA->GetChatCount() == 1; }, 5000));
    EXPECT_EQ(m_Server.Output().find("Server shutting down"), std::string::npos);
    EXPECT_EQ(m_Server.Output().find("is not recognized"), std::string::npos);
}

// Mend: a client disconnecting with any data leaves; data 12 used to keep its record.
TEST_F(SessionTest, DisconnectWithAnyReasonRunsTheDeparture)
{
    LAUNCH_SERVER();
    auto pA = Joined("Alpha");
    auto pB = Joined("Beta");
    pB->Disconnect(12);
    ASSERT_TRUE(pA->WaitForPacket(ID_CLIENT_LEFT, 5000));
    // The name and the slot are free again.
    auto pAgain = Joined("Beta");
    EXPECT_EQ(pAgain->GetIndex(), 1);
}

// Mend: a second client-ready does not replay the join.
TEST_F(SessionTest, SecondClientReadyIsIgnored)
{
    LAUNCH_SERVER();
    auto pA = Joined("Alpha");
    ASSERT_TRUE(pA->SendClientReady());
    ASSERT_TRUE(pA->SendChat("marker"));
    ASSERT_TRUE(pA->WaitFor([&] { return pA->GetChatCount() == 1; }, 5000));
    EXPECT_EQ(pA->CountPackets(ID_JOIN_COMPLETE), 1u);
    EXPECT_EQ(pA->CountPackets(ID_RESOURCES), 1u);
}

// Mend: every handshake read is bounded by the packet.
TEST_F(SessionTest, ShortHandshakeIsRefusedWithTheNearestReason)
{
    LAUNCH_SERVER();
    struct tCase
    {
        std::vector<uint8_t> payload;
        uint32_t reason;
    };
    CPayloadWriter longPassword;
    longPassword.U32(29).U32(1).U32(0).U32(0).U32(0).CompactLength(0x7FFFFFFF);
    const tCase cases[] = {
        {CPayloadWriter().U32(29).Data(), 2},
        {CPayloadWriter().U32(29).U32(1).U32(0).U32(0).U32(0).Data(), 4},
        {longPassword.Data(), 4},
        {CPayloadWriter().U32(29).U32(1).U32(0).U32(0).U32(0).U8(0).U16(5).Bytes("abc", 3).Data(), 9},
        {CPayloadWriter().U32(29).U32(1).U32(0).U32(0).U32(0).U8(0).U16(3).Bytes("abc", 3).Data(), 3},
    };
    for (const tCase& c : cases) {
        CTestClient client;
        ASSERT_TRUE(client.Connect(HOST, m_usPort));
        ASSERT_TRUE(client.SendPacket(ID_CONNECT, c.payload));
        ASSERT_TRUE(client.WaitForDisconnect(5000));
        EXPECT_EQ(client.GetDisconnectReason(), c.reason) << c.payload.size();
    }
    // The server is still fine.
    auto pA = Joined("Alpha");
    EXPECT_TRUE(pA->IsJoined());
}

// Mend: packets for every client reach accepted clients only, never a peer still connecting.
TEST_F(SessionTest, PeersWithoutHandshakeHearNothing)
{
    LAUNCH_SERVER();
    CTestClient lurker;
    ASSERT_TRUE(lurker.Connect(HOST, m_usPort));
    auto pA = Joined("Alpha");
    auto pB = Joined("Beta");
    ASSERT_TRUE(pA->SendChat("for the players"));
    ASSERT_TRUE(WaitAll({pA.get(), pB.get(), &lurker}, [&] { return pB->GetChatCount() == 1; }));
    pB->Disconnect();
    ASSERT_TRUE(WaitAll({pA.get(), &lurker}, [&] { return pA->CountPackets(ID_CLIENT_LEFT) == 1; }));
    lurker.WaitFor([] { return false; }, 100);
    EXPECT_TRUE(lurker.GetPackets().empty());
}

// Mend: a flood of handshakes from one address is cut off after the configured number.
TEST_F(SessionTest, HandshakesPerAddressAreLimited)
{
    CServerSettings settings;
    settings.uiJoinsPerAddress = 3;
    LAUNCH_SERVER(settings);
    for (int i = 0; i < 3; ++i) {
        CJoinOptions wrong = Options("Wrong");
        wrong.ucGame = 9;
        EXPECT_EQ(Refusal(wrong), 3);
    }
    EXPECT_EQ(Refusal(Options("Right")), 1);
    EXPECT_EQ(Refusal(Options("Right")), 1);
    EXPECT_TRUE(Logged("CONNECT: 127.0.0.1 revoked connection [TOO MANY ATTEMPTS]"));
    std::string out = m_Server.Output();
    size_t first = out.find("[TOO MANY ATTEMPTS]");
    EXPECT_EQ(out.find("[TOO MANY ATTEMPTS]", first + 1), std::string::npos) << "reported once";
}

// Mend: a client that never answers the anticheat request is dropped.
TEST_F(SessionTest, SilentClientIsDroppedAfterTheAnswerLimit)
{
    LAUNCH_SERVER();
    auto pA = Joined("Alpha");
    CJoinOptions silent = Options("Silent");
    silent.bAutoAnswerAnticheat = false;
    CTestClient client;
    ASSERT_TRUE(client.Connect(HOST, m_usPort));
    ASSERT_TRUE(client.SendHandshake(silent));
    // The limit is 20 seconds.
    ASSERT_TRUE(WaitAll({pA.get(), &client}, [&] { return client.IsDisconnected(); }, 30000));
    EXPECT_EQ(client.GetDisconnectReason(), 14u);
    EXPECT_TRUE(Logged("CONNECT: 127.0.0.1 revoked connection [CRC CHECK TIMED OUT]"));
    ASSERT_TRUE(WaitAll({pA.get()}, [&] { return pA->CountPackets(ID_CLIENT_LEFT) == 1; }));
}
