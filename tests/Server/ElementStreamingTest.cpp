// Elements of one client streamed to another, in-process with fake clients: a client hands
// over a vehicle and the ped driving it; another client nearby gets the vehicle before the
// ped, hears their sync on channel 1, and loses both when they drive out of range.
#include "ElementFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

using namespace ElementFixture;

namespace
{
    const uint8_t TAG[8] = {1, 2, 3, 4, 5, 6, 7, 8};

    class ElementStreaming : public ::testing::Test
    {
    protected:
        void SetUp() override
        {
            m_World.m_Server.m_bSyncLocalEntities = true;
            m_pOwner = m_World.AddClient(0);
            m_pWatcher = m_World.AddClient(1);
            m_pOwnerPlayer = m_World.AddPlayer(m_pOwner, {0, 0, 0});
            m_pWatcherPlayer = m_World.AddPlayer(m_pWatcher, {50, 0, 0});
            m_pOwnerPlayer->SetCreatedFor(m_pOwner, true);
            m_pWatcherPlayer->SetCreatedFor(m_pWatcher, true);
        }

        // The owner hands over an element of the type; its id.
        int32_t Hand(int32_t iType, const CVector3D& vecPosition)
        {
            CServerEntity* pTemplate = m_World.Add<CServerEntity>(iType, vecPosition, false);
            CBytes b;
            b.Put<uint32_t>(77);
            for (uint8_t c : TAG)
                b.Put<uint8_t>(c);
            b.Raw(CreatePayload(pTemplate)).Raw(SyncPayload(pTemplate));
            m_World.m_Sender.Clear();
            CMemoryStream stream(b.m_Data.data(), b.m_Data.size());
            m_World.m_Manager.GetPeer2PeerSystem().ProcessClientPacket(m_pOwner,
                iType == ELEMENT_VEHICLE ? PACKET_REQUEST_LOCAL_VEHICLE : PACKET_REQUEST_LOCAL_PED, &stream);
            auto answers = m_World.m_Sender.Of(PACKET_LOCAL_ELEMENT_RESULT, 0);
            EXPECT_EQ(answers.size(), 1u);
            return answers.empty() ? -1 : CPayload(answers[0].m_Payload).Get<std::array<int32_t, 5>>()[4];
        }

        // A sync packet from the owner with one record per element.
        void OwnerSyncs(const std::vector<CNetObject*>& elements)
        {
            CBytes b;
            b.Put<uint16_t>(static_cast<uint16_t>(elements.size()));
            for (CNetObject* p : elements) {
                std::vector<uint8_t> payload = SyncPayload(p);
                b.Put<uint16_t>(static_cast<uint16_t>(8 + payload.size())).Put<int32_t>(p->GetType()).Put<int32_t>(
                    p->GetId());
                b.Raw(payload);
            }
            CMemoryStream stream(b.m_Data.data(), b.m_Data.size());
            m_World.m_Manager.ProcessSync(m_pOwner, &stream);
        }

        CGameWorld m_World;
        CNetMachine* m_pOwner = nullptr;
        CNetMachine* m_pWatcher = nullptr;
        CServerPlayer* m_pOwnerPlayer = nullptr;
        CServerPlayer* m_pWatcherPlayer = nullptr;
    };
}

TEST_F(ElementStreaming, HandedOverElementsReachAnotherClientVehiclesFirst)
{
    // The ped is handed over first, so it comes before the vehicle in the pool.
    int32_t iPed = Hand(ELEMENT_PED, {20, 0, 0});
    int32_t iVehicle = Hand(ELEMENT_VEHICLE, {20, 0, 0});
    ASSERT_NE(iPed, -1);
    ASSERT_NE(iVehicle, -1);
    auto* pPed = static_cast<CServerPed*>(m_World.m_Manager.GetObjectFromId(iPed));
    auto* pVehicle = static_cast<CServerVehicle*>(m_World.m_Manager.GetObjectFromId(iVehicle));

    // The owner reports its ped driving the vehicle.
    CServerPed* pReport = m_World.Add<CServerPed>(ELEMENT_PED, {21, 0, 0}, false);
    std::vector<uint8_t> pedSync = SyncPayload(pReport);
    pedSync[52] = VEHICLE_STATE_INSIDE;
    memcpy(&pedSync[53], &iVehicle, 4);
    pedSync[57] = 0;
    CMemoryStream pedStream(pedSync.data(), pedSync.size());
    ASSERT_TRUE(pPed->ReadSyncPacket(&pedStream));
    ASSERT_EQ(pVehicle->GetOccupant(0), pPed);

    m_World.m_Sender.Clear();
    m_World.m_Manager.StreamPass();
    auto creates = m_World.m_Sender.Of(PACKET_ELEMENT_CREATE, 1);
    std::vector<int32_t> order;
    for (const SentPacket& p : creates)
        for (int32_t iId : ElementTesting::RecordIds(p))
            order.push_back(iId);
    auto at = [&](int32_t iId) { return std::find(order.begin(), order.end(), iId) - order.begin(); };
    ASSERT_LT(at(iVehicle), static_cast<long>(order.size()));
    ASSERT_LT(at(iPed), static_cast<long>(order.size()));
    EXPECT_LT(at(iVehicle), at(iPed));
    // The owner already has both and is sent neither.
    for (const SentPacket& p : m_World.m_Sender.Of(PACKET_ELEMENT_CREATE, 0))
        for (int32_t iId : ElementTesting::RecordIds(p))
            EXPECT_TRUE(iId != iPed && iId != iVehicle);

    // The owner's sync is relayed to the watcher on channel 1, and not back to the owner.
    OwnerSyncs({pPed, pVehicle});
    m_World.m_Sender.Clear();
    m_World.m_Manager.SyncPass(PACKET_PRIORITY_LOW, PACKET_FLAG_NONE);
    auto syncs = m_World.m_Sender.Of(PACKET_ELEMENT_SYNC, 1);
    ASSERT_EQ(syncs.size(), 1u);
    EXPECT_EQ(syncs[0].m_ucChannel, 1);
    std::vector<int32_t> relayed = ElementTesting::RecordIds(syncs[0]);
    EXPECT_NE(std::find(relayed.begin(), relayed.end(), iPed), relayed.end());
    EXPECT_NE(std::find(relayed.begin(), relayed.end(), iVehicle), relayed.end());
    for (const SentPacket& p : m_World.m_Sender.Of(PACKET_ELEMENT_SYNC, 0))
        for (int32_t iId : ElementTesting::RecordIds(p))
            EXPECT_TRUE(iId != iPed && iId != iVehicle);

    // Driven far away: the watcher loses both; the owner keeps them (it syncs them).
    pVehicle->SetPosition({1000, 0, 0});
    pPed->SetPosition({1000, 0, 0});
    m_World.m_Sender.Clear();
    m_World.m_Manager.StreamPass();
    std::vector<int32_t> deleted;
    for (const SentPacket& p : m_World.m_Sender.Of(PACKET_ELEMENT_DELETE, 1))
        for (int32_t iId : ElementTesting::DeletedIds(p))
            deleted.push_back(iId);
    EXPECT_NE(std::find(deleted.begin(), deleted.end(), iPed), deleted.end());
    EXPECT_NE(std::find(deleted.begin(), deleted.end(), iVehicle), deleted.end());
    EXPECT_TRUE(m_World.m_Sender.Of(PACKET_ELEMENT_DELETE, 0).empty());
    EXPECT_TRUE(pPed->IsCreatedFor(m_pOwner));
    EXPECT_TRUE(pVehicle->IsCreatedFor(m_pOwner));
    EXPECT_FALSE(pVehicle->IsCreatedFor(m_pWatcher));

    // When the owner drops them, nobody has them and they are gone.
    CBytes report;
    report.Put<uint16_t>(2).Put<int32_t>(iPed).Put<int32_t>(iVehicle);
    CMemoryStream reportStream(report.m_Data.data(), report.m_Data.size());
    m_World.m_Manager.ProcessDeleteReport(m_pOwner, &reportStream);
    EXPECT_EQ(m_World.m_Manager.GetObjectFromId(iPed), nullptr);
    EXPECT_EQ(m_World.m_Manager.GetObjectFromId(iVehicle), nullptr);
}
