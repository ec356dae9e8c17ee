// Local element requests against the real server binary with `synclocalentities` on: bots
// hand over peds and vehicles and read the answers (packet 112).
#include "ElementBot.h"
#include "ServerProcess.h"
#include "TestClient.h"

#include <gtest/gtest.h>

#include <memory>

using namespace TestSupport;
using namespace TestClient;
using namespace std::chrono_literals;

namespace
{
    const char* const HOST = "127.0.0.1";

    class Peer2PeerTest : public ::testing::Test
    {
    protected:
        // Starts a server and waits until it listens; false when it does not.
        bool Launch(bool bSyncLocalEntities)
        {
            m_usPort = FindFreePort();
            m_Root.Write("server.xml",
                "<server>\n"
                "  <servername>Peer-to-peer test</servername>\n"
                "  <port>" + std::to_string(m_usPort) + "</port>\n"
                "  <bindip>127.0.0.1</bindip>\n"
                "  <httpserver>false</httpserver>\n"
                "  <httpport>" + std::to_string(m_usPort) + "</httpport>\n"
                "  <maxplayers>8</maxplayers>\n"
                "  <synclocalentities>" + std::string(bSyncLocalEntities ? "true" : "false") + "</synclocalentities>\n"
                "  <game>gta:iii</game>\n"
                "</server>\n");
            if (!m_Server.Start({}))
                return false;
            return m_Server.WaitForOutput("Server is now listening on port", 20s);
        }

        // A joined bot whose element packets are decoded.
        std::unique_ptr<CTestClient> Bot(const std::string& name, CElementTracker& tracker)
        {
            auto pBot = std::make_unique<CTestClient>();
            tracker.Attach(*pBot);
            CJoinOptions options;
            options.strName = name;
            EXPECT_TRUE(pBot->Join(HOST, m_usPort, options)) << m_Server.Output();
            EXPECT_TRUE(pBot->Ready()) << m_Server.Output();
            return pBot;
        }

        // The bots have no player element, so they stand in dimension -1: elements they hand
        // over in another dimension would be streamed away from them (and, being theirs alone,
        // destroyed) at the next stream pass.
        static CBotElement Ped(const CBotVector& position)
        {
            CBotElement ped;
            ped.iDimension = -1;
            ped.iType = TYPE_PED;
            ped.iModel = 7;
            ped.SetPosition(position);
            return ped;
        }
        static CBotElement Vehicle(const CBotVector& position, uint8_t ucEntityFlags)
        {
            CBotElement vehicle;
            vehicle.iDimension = -1;
            vehicle.iType = TYPE_VEHICLE;
            vehicle.iModel = 90;
            vehicle.ucEntityFlags = ucEntityFlags;
            vehicle.SetPosition(position);
            return vehicle;
        }

        // The answer to the request with the handle, or null when none came in time.
        static const CLocalResult* Answer(CTestClient& bot, CElementTracker& tracker, uint32_t uiHandle,
            unsigned timeoutMs = 3000)
        {
            const CLocalResult* pFound = nullptr;
            bot.WaitFor(
                [&] {
                    for (const CLocalResult& r : tracker.GetResults())
                        if (r.uiHandle == uiHandle)
                            pFound = &r;
                    return pFound != nullptr;
                },
                timeoutMs);
            return pFound;
        }

        CTempDir m_Root;
        CServerProcess m_Server{m_Root};
        unsigned short m_usPort = 0;
    };

    const uint8_t TAG[8] = {'r', 'e', 'q', 'u', 'e', 's', 't', '!'};
}

TEST_F(Peer2PeerTest, LocalVehicleAndPedGetNewIdsWithHandleAndTagEchoed)
{
    ASSERT_TRUE(Launch(true)) << m_Server.Output();
    CElementTracker tracker(false);
    auto pBot = Bot("Handing", tracker);

    ASSERT_TRUE(tracker.RequestLocal(*pBot, 0xAB01, TAG, Vehicle({100, 100, 10}, 0)));
    const CLocalResult* pVehicle = Answer(*pBot, tracker, 0xAB01);
    ASSERT_TRUE(pVehicle) << m_Server.Output();
    EXPECT_EQ(pVehicle->uiType, 142u);
    EXPECT_EQ(std::vector<uint8_t>(pVehicle->tag, pVehicle->tag + 8), std::vector<uint8_t>(TAG, TAG + 8));
    EXPECT_GT(pVehicle->iId, 0);
    int32_t iVehicleId = pVehicle->iId;

    ASSERT_TRUE(tracker.RequestLocal(*pBot, 0xAB02, TAG, Ped({103, 100, 10})));
    const CLocalResult* pPed = Answer(*pBot, tracker, 0xAB02);
    ASSERT_TRUE(pPed) << m_Server.Output();
    EXPECT_EQ(pPed->uiType, 30u);
    EXPECT_EQ(std::vector<uint8_t>(pPed->tag, pPed->tag + 8), std::vector<uint8_t>(TAG, TAG + 8));
    EXPECT_GT(pPed->iId, 0);
    EXPECT_NE(pPed->iId, iVehicleId);
}

TEST_F(Peer2PeerTest, VehicleWithFlagByteOneOrThreeNextToAnEntityIsRefused)
{
    ASSERT_TRUE(Launch(true)) << m_Server.Output();
    CElementTracker tracker(false);
    auto pBot = Bot("Parking", tracker);
    ASSERT_TRUE(tracker.RequestLocal(*pBot, 1, TAG, Vehicle({0, 0, 0}, 0)));
    const CLocalResult* pParked = Answer(*pBot, tracker, 1);
    ASSERT_TRUE(pParked);
    ASSERT_GT(pParked->iId, 0);

    struct
    {
        uint32_t uiHandle;
        uint8_t ucFlags;
        CBotVector position;
        bool bRefused;
    } cases[] = {
        {2, 1, {9.9f, 0, 0}, true},
        {3, 3, {0, 5, 0}, true},
        {4, 2, {2, 0, 0}, false},
        {5, 1, {500, 0, 0}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.uiHandle);
        ASSERT_TRUE(tracker.RequestLocal(*pBot, c.uiHandle, TAG, Vehicle(c.position, c.ucFlags)));
        const CLocalResult* pAnswer = Answer(*pBot, tracker, c.uiHandle);
        ASSERT_TRUE(pAnswer) << m_Server.Output();
        EXPECT_EQ(pAnswer->uiType, 142u);
        if (c.bRefused)
            EXPECT_EQ(pAnswer->iId, -1);
        else
            EXPECT_GT(pAnswer->iId, 0);
    }
}

TEST_F(Peer2PeerTest, ShortRequestsCreateNothing)
{
    ASSERT_TRUE(Launch(true)) << m_Server.Output();
    CElementTracker tracker(false);
    auto pBot = Bot("Short", tracker);

    ASSERT_TRUE(tracker.RequestLocal(*pBot, 1, TAG, Ped({0, 0, 0})));
    const CLocalResult* pFirst = Answer(*pBot, tracker, 1);
    ASSERT_TRUE(pFirst) << m_Server.Output();
    int32_t iFirst = pFirst->iId;

    // A ped request cut inside its sync payload: no answer; a vehicle cut short: -1.
    std::vector<uint8_t> ped = EncodeLocalRequest(2, TAG, Ped({50, 0, 0}), false);
    ped.resize(ped.size() - 5);
    ASSERT_TRUE(pBot->SendPacket(ID_REQUEST_LOCAL_PED, ped));
    std::vector<uint8_t> vehicle = EncodeLocalRequest(3, TAG, Vehicle({80, 0, 0}, 0), false);
    vehicle.resize(vehicle.size() - 20);
    ASSERT_TRUE(pBot->SendPacket(ID_REQUEST_LOCAL_VEHICLE, vehicle));
    const CLocalResult* pVehicle = Answer(*pBot, tracker, 3);
    ASSERT_TRUE(pVehicle) << m_Server.Output();
    EXPECT_EQ(pVehicle->iId, -1);
    EXPECT_EQ(Answer(*pBot, tracker, 2, 200), nullptr);

    // Nothing was created in between: the next element takes the next id.
    ASSERT_TRUE(tracker.RequestLocal(*pBot, 4, TAG, Ped({0, 100, 0})));
    const CLocalResult* pNext = Answer(*pBot, tracker, 4);
    ASSERT_TRUE(pNext) << m_Server.Output();
    EXPECT_EQ(pNext->iId, iFirst + 1);
}

TEST_F(Peer2PeerTest, WithTheSettingOffNothingIsAnswered)
{
    ASSERT_TRUE(Launch(false)) << m_Server.Output();
    CElementTracker tracker(false);
    auto pBot = Bot("Unheard", tracker);
    ASSERT_TRUE(tracker.RequestLocal(*pBot, 1, TAG, Ped({0, 0, 0})));
    ASSERT_TRUE(tracker.RequestLocal(*pBot, 2, TAG, Vehicle({50, 0, 0}, 0)));
    // The server answers a chat line after both requests: by then any answer would be here.
    ASSERT_TRUE(pBot->SendChat("after the requests"));
    ASSERT_TRUE(pBot->WaitFor([&] { return !pBot->GetChatLines().empty(); }, 3000)) << m_Server.Output();
    EXPECT_TRUE(tracker.GetResults().empty());
}
