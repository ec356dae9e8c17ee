// Element packets from real clients reach the element manager through the server's dispatch:
// well-formed and hostile ones alike leave the server running and the sessions working.
#include "ServerProcess.h"
#include "TestClient.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

using namespace TestSupport;
using namespace TestClient;
using namespace std::chrono_literals;

namespace
{
    const char* const HOST = "127.0.0.1";

    class ElementPacketsTest : public ::testing::Test
    {
    protected:
        bool Launch()
        {
            m_usPort = FindFreePort();
            m_Root.Write("server.xml",
                "<server>\n"
                "  <servername>Element packets</servername>\n"
                "  <port>" + std::to_string(m_usPort) + "</port>\n"
                "  <bindip>127.0.0.1</bindip>\n"
                "  <httpserver>false</httpserver>\n"
                "  <httpport>" + std::to_string(m_usPort) + "</httpport>\n"
                "  <maxjoinsperaddress>1000</maxjoinsperaddress>\n"
                "  <syncmethod>2</syncmethod>\n"
                "  <streaminterval>500</streaminterval>\n"
                "  <game>gta:iii</game>\n"
                "</server>\n");
            if (!m_Server.Start({}))
                return false;
            return m_Server.WaitForOutput("Server is now listening on port", 20s);
        }

        std::unique_ptr<CTestClient> Joined(const std::string& name)
        {
            auto pClient = std::make_unique<CTestClient>();
            CJoinOptions options;
            options.strName = name;
            EXPECT_TRUE(pClient->Join(HOST, m_usPort, options)) << m_Server.Output();
            EXPECT_TRUE(pClient->Ready()) << m_Server.Output();
            return pClient;
        }

        CTempDir m_Root;
        CServerProcess m_Server{m_Root};
        unsigned short m_usPort = 0;
    };

    std::vector<uint8_t> Bytes(std::initializer_list<int> values)
    {
        std::vector<uint8_t> out;
        for (int v : values)
            out.push_back(static_cast<uint8_t>(v));
        return out;
    }
}

TEST_F(ElementPacketsTest, HostileElementPacketsLeaveTheServerRunning)
{
    ASSERT_TRUE(Launch()) << m_Server.Output();
    auto pA = Joined("Alpha");
    auto pB = Joined("Beta");

    const std::vector<std::pair<uint32_t, std::vector<uint8_t>>> packets = {
        {4, {}},                                                  // sync without a count
        {4, Bytes({0xFF, 0xFF, 0x07, 0x00})},                     // record size below 8
        {4, Bytes({0x01, 0x00, 0xFF, 0xFF, 1, 0, 0, 0, 1, 0, 0, 0})}, // record longer than the packet
        {4, Bytes({0x01, 0x00, 0x0C, 0x00, 6, 0, 0, 0, 1, 0, 0, 0, 9, 9, 9, 9})}, // unknown element
        {12, Bytes({0xFF, 0xFF, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF})}, // delete report, short
        {31, Bytes({1, 0})},                                      // syncer request, short
        {31, Bytes({1, 0, 0, 0})},                                // syncer request, no such element
        {33, {}},                                                 // streaming off (byte missing)
        {33, Bytes({1})},                                         // streaming on
    };
    for (const auto& [id, payload] : packets)
        ASSERT_TRUE(pA->SendPacket(id, payload, id == 4 ? 1 : 0));

    // The session goes on: a chat line from the same client still reaches the other one.
    ASSERT_TRUE(pA->SendChat("still here"));
    ASSERT_TRUE(pB->WaitFor([&] { return pB->GetChatCount() >= 1; }, 5000)) << m_Server.Output();
    // Stream passes run over the joined clients meanwhile (every 500 ms).
    pA->WaitFor([] { return false; }, 700);
    EXPECT_EQ(m_Server.Wait(0ms), -1) << "the server ended\n" << m_Server.Output();
    ASSERT_TRUE(pB->SendChat("and you"));
    EXPECT_TRUE(pA->WaitFor([&] { return pA->GetChatCount() >= 2; }, 5000)) << m_Server.Output();
}
