// Peer-to-peer element requests in-process: peds and vehicles that clients hand over, the
// answer 112, the proximity rule for vehicles, short payloads, the per-client bound.
#include "ElementFixture.h"

#include <gtest/gtest.h>

using namespace ElementFixture;

namespace
{
    const uint8_t TAG[8] = {0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6, 0x07, 0x18};

    class Peer2Peer : public ::testing::Test
    {
    protected:
        void SetUp() override
        {
            m_World.m_Server.m_bSyncLocalEntities = true;
            m_pClient = m_World.AddClient(3);
            m_pClient->SetPeer(reinterpret_cast<Peer_t>(0x1003));
        }

        // A request packet's payload: handle, tag, then an element's create and sync payloads.
        std::vector<uint8_t> Request(int32_t iType, uint32_t uiHandle, const CVector3D& vecPosition,
            uint8_t ucEntityFlags = 0, int32_t iSyncerIndex = -1)
        {
            CServerEntity* pTemplate = m_World.Add<CServerEntity>(iType, vecPosition, false);
            pTemplate->CServerEntity::SetModelIndex(iType == ELEMENT_VEHICLE ? 90 : 7);
            pTemplate->SetEntityFlags(ucEntityFlags);
            std::vector<uint8_t> create = CreatePayload(pTemplate);
            memcpy(create.data(), &iSyncerIndex, 4);
            CBytes b;
            b.Put<uint32_t>(uiHandle);
            for (uint8_t c : TAG)
                b.Put<uint8_t>(c);
            return b.Raw(create).Raw(SyncPayload(pTemplate)).m_Data;
        }

        void Send(unsigned uiId, const std::vector<uint8_t>& payload, CNetMachine* pClient = nullptr)
        {
            Strong<CMemoryStream> pStream = MakeStrong<CMemoryStream>(payload.data(), payload.size());
            m_World.m_Manager.GetPeer2PeerSystem().ProcessPacket((pClient ? pClient : m_pClient)->GetPeer(), uiId,
                pStream);
        }

        struct tAnswer
        {
            uint32_t uiType, uiHandle;
            std::vector<uint8_t> tag;
            int32_t iId;
        };
        std::vector<tAnswer> Answers(int iClient = 3)
        {
            std::vector<tAnswer> answers;
            for (const SentPacket& p : m_World.m_Sender.Of(PACKET_LOCAL_ELEMENT_RESULT, iClient)) {
                EXPECT_EQ(p.m_Payload.size(), 20u);
                EXPECT_EQ(p.m_ucChannel, 0);
                EXPECT_EQ(p.m_Flags, PACKET_FLAG_RELIABLE);
                EXPECT_EQ(p.m_Priority, PACKET_PRIORITY_LOW);
                CPayload r(p.m_Payload);
                tAnswer a;
                a.uiType = r.Get<uint32_t>();
                a.uiHandle = r.Get<uint32_t>();
                for (int i = 0; i < 8; ++i)
                    a.tag.push_back(r.U8());
                a.iId = r.I32();
                answers.push_back(a);
            }
            return answers;
        }

        CGameWorld m_World;
        CNetMachine* m_pClient = nullptr;
    };
}

TEST_F(Peer2Peer, PedAndVehicleRequestsBecomeElementsOfTheRequester)
{
    struct
    {
        unsigned uiPacket;
        int32_t iType;
    } cases[] = {{PACKET_REQUEST_LOCAL_PED, ELEMENT_PED}, {PACKET_REQUEST_LOCAL_VEHICLE, ELEMENT_VEHICLE}};
    uint32_t uiHandle = 0xCAFE0000;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.iType);
        m_World.m_Sender.Clear();
        size_t before = m_World.m_Manager.GetCount();
        ++uiHandle;
        Send(c.uiPacket, Request(c.iType, uiHandle, {100.0f * uiHandle, 5, 6}));
        auto answers = Answers();
        ASSERT_EQ(answers.size(), 1u);
        EXPECT_EQ(answers[0].uiType, static_cast<uint32_t>(c.iType));
        EXPECT_EQ(answers[0].uiHandle, uiHandle);
        EXPECT_EQ(answers[0].tag, std::vector<uint8_t>(TAG, TAG + 8));
        ASSERT_EQ(m_World.m_Manager.GetCount(), before + 1);

        CServerEntity* pElement = static_cast<CServerEntity*>(m_World.m_Manager.GetObjectFromId(answers[0].iId));
        ASSERT_TRUE(pElement);
        EXPECT_EQ(pElement->GetType(), c.iType);
        EXPECT_EQ(pElement->GetLocalHandle(), static_cast<int32_t>(uiHandle));
        EXPECT_TRUE(pElement->HasFlag(NETOBJECT_TRANSIENT));
        EXPECT_TRUE(pElement->HasFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER));
        EXPECT_TRUE(pElement->IsCreatedFor(m_pClient));
        EXPECT_EQ(pElement->GetSyncer(), m_pClient);
        EXPECT_FALSE(pElement->HasFlag(NETOBJECT_FORCED_SYNCER));
        EXPECT_EQ(pElement->GetModelIndex(), c.iType == ELEMENT_VEHICLE ? 90 : 7);
        CVector3D pos;
        pElement->GetPosition(pos);
        EXPECT_EQ(pos, CVector3D(100.0f * uiHandle, 5, 6));
    }
    EXPECT_EQ(m_World.m_Manager.GetPeer2PeerSystem().CountRequestedElements(m_pClient), 2u);
}

TEST_F(Peer2Peer, NothingHappensWithTheSettingOffOrForOtherPackets)
{
    m_World.m_Server.m_bSyncLocalEntities = false;
    Send(PACKET_REQUEST_LOCAL_PED, Request(ELEMENT_PED, 1, {}));
    Send(PACKET_REQUEST_LOCAL_VEHICLE, Request(ELEMENT_VEHICLE, 2, {}));
    EXPECT_TRUE(m_World.m_Sender.m_Sent.empty());
    EXPECT_EQ(m_World.m_Manager.GetCount(), 0u);

    m_World.m_Server.m_bSyncLocalEntities = true;
    Send(PACKET_ELEMENT_SYNC, Request(ELEMENT_PED, 1, {}));
    Send(PACKET_LOCAL_ELEMENT_RESULT, Request(ELEMENT_PED, 1, {}));
    // An unknown peer is nobody.
    std::vector<uint8_t> request = Request(ELEMENT_PED, 1, {});
    CMemoryStream stream(request.data(), request.size());
    m_World.m_Manager.GetPeer2PeerSystem().ProcessPacket(reinterpret_cast<Peer_t>(0x9999), PACKET_REQUEST_LOCAL_PED,
        &stream);
    EXPECT_TRUE(m_World.m_Sender.m_Sent.empty());
    EXPECT_EQ(m_World.m_Manager.GetCount(), 0u);
}

TEST_F(Peer2Peer, VehicleNextToAnEntityIsRefusedOnlyForFlagBytesOneAndThree)
{
    CServerVehicle* pParked = m_World.Add<CServerVehicle>(ELEMENT_VEHICLE, {0, 0, 0});
    (void)pParked;
    // A blip has a position but is no entity: it never crowds anybody.
    m_World.Add<CServerBlip>(ELEMENT_BLIP, {500, 0, 0});
    struct
    {
        uint8_t ucFlags;
        CVector3D vecPosition;
        bool bRefused;
    } cases[] = {
        {1, {9.9f, 0, 0}, true},
        {1, {10.0f, 0, 0}, false},
        {3, {0, 5, 5}, true},
        {3, {0, 0, 10.5f}, false},
        {0, {1, 0, 0}, false},
        {2, {1, 0, 0}, false},
        {5, {1, 0, 0}, false},
        {7, {1, 0, 0}, false},
        {1, {500, 0, 1}, false},
    };
    uint32_t uiHandle = 100;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.ucFlags) << " at " << c.vecPosition.x << "," << c.vecPosition.y);
        // Each accepted vehicle moves away, so that only the parked one is near the next.
        m_World.m_Sender.Clear();
        size_t before = m_World.m_Manager.GetCount();
        Send(PACKET_REQUEST_LOCAL_VEHICLE, Request(ELEMENT_VEHICLE, ++uiHandle, c.vecPosition, c.ucFlags));
        auto answers = Answers();
        ASSERT_EQ(answers.size(), 1u);
        EXPECT_EQ(answers[0].uiType, 142u);
        EXPECT_EQ(answers[0].uiHandle, uiHandle);
        EXPECT_EQ(answers[0].tag, std::vector<uint8_t>(TAG, TAG + 8));
        if (c.bRefused) {
            EXPECT_EQ(answers[0].iId, -1);
            EXPECT_EQ(m_World.m_Manager.GetCount(), before);
        } else {
            ASSERT_NE(answers[0].iId, -1);
            EXPECT_EQ(m_World.m_Manager.GetCount(), before + 1);
            m_World.m_Manager.GetObjectFromId(answers[0].iId)->SetPosition({-10000.0f - 100.0f * uiHandle, 0, 0});
        }
    }
    // A ped is never refused for proximity.
    m_World.m_Sender.Clear();
    Send(PACKET_REQUEST_LOCAL_PED, Request(ELEMENT_PED, 7, {0, 0, 0}, 1));
    ASSERT_EQ(Answers().size(), 1u);
    EXPECT_NE(Answers()[0].iId, -1);
}

TEST_F(Peer2Peer, ShortRequestsCreateNothing)
{
    const struct
    {
        unsigned uiPacket;
        int32_t iType;
    } cases[] = {{PACKET_REQUEST_LOCAL_PED, ELEMENT_PED}, {PACKET_REQUEST_LOCAL_VEHICLE, ELEMENT_VEHICLE}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.iType);
        std::vector<uint8_t> full = Request(c.iType, 55, {1000, 1000, 0});
        for (size_t cut = 0; cut < full.size(); ++cut) {
            m_World.m_Sender.Clear();
            Send(c.uiPacket, std::vector<uint8_t>(full.begin(), full.begin() + static_cast<long>(cut)));
            EXPECT_EQ(m_World.m_Manager.GetCount(), 0u) << "cut at " << cut;
            auto answers = Answers();
            // A vehicle is refused with -1 once its handle and tag can be echoed; a ped never
            // hears anything.
            if (c.iType == ELEMENT_VEHICLE && cut >= 12) {
                ASSERT_EQ(answers.size(), 1u) << "cut at " << cut;
                EXPECT_EQ(answers[0].iId, -1);
                EXPECT_EQ(answers[0].uiHandle, 55u);
            } else {
                EXPECT_TRUE(answers.empty()) << "cut at " << cut;
            }
        }
    }
}

TEST_F(Peer2Peer, EachClientOwnsABoundedNumberOfElements)
{
    const size_t limit = CPeer2PeerSystem::MAX_ELEMENTS_PER_CLIENT;
    std::vector<uint8_t> ped = Request(ELEMENT_PED, 1, {});
    for (size_t i = 0; i < limit; ++i)
        Send(PACKET_REQUEST_LOCAL_PED, ped);
    ASSERT_EQ(m_World.m_Manager.GetCount(), limit);
    ASSERT_EQ(Answers().size(), limit);
    m_World.m_Sender.Clear();

    // Over the bound: a ped hears nothing, a vehicle is answered -1.
    Send(PACKET_REQUEST_LOCAL_PED, ped);
    EXPECT_TRUE(Answers().empty());
    Send(PACKET_REQUEST_LOCAL_VEHICLE, Request(ELEMENT_VEHICLE, 2, {5000, 0, 0}));
    ASSERT_EQ(Answers().size(), 1u);
    EXPECT_EQ(Answers()[0].iId, -1);
    EXPECT_EQ(m_World.m_Manager.GetCount(), limit);

    // Another client has its own bound.
    CNetMachine* pOther = m_World.AddClient(4);
    pOther->SetPeer(reinterpret_cast<Peer_t>(0x1004));
    Send(PACKET_REQUEST_LOCAL_PED, ped, pOther);
    EXPECT_EQ(Answers(4).size(), 1u);

    // A destroyed element frees its place.
    m_World.m_Sender.Clear();
    std::vector<CNetObject*> peds;
    m_World.m_Manager.GetObjectsOfType(ELEMENT_PED, peds);
    m_World.m_Manager.DestroyObject(peds[0], true, false);
    Send(PACKET_REQUEST_LOCAL_PED, ped);
    ASSERT_EQ(Answers().size(), 1u);
    EXPECT_NE(Answers()[0].iId, -1);

    // A new client in the slot starts afresh.
    m_World.m_Machines.Clear(3);
    CNetMachine* pNewcomer = m_World.AddClient(3);
    pNewcomer->SetPeer(reinterpret_cast<Peer_t>(0x2003));
    EXPECT_EQ(m_World.m_Manager.GetPeer2PeerSystem().CountRequestedElements(pNewcomer), 0u);
}

TEST_F(Peer2Peer, AFullPoolGetsNoAnswer)
{
    CGameWorld small(GAME_III, 1);
    small.m_Server.m_bSyncLocalEntities = true;
    CNetMachine* pClient = small.AddClient(0);
    small.Add<CServerObject>(ELEMENT_OBJECT, {9000, 0, 0});
    for (unsigned uiPacket : {PACKET_REQUEST_LOCAL_PED, PACKET_REQUEST_LOCAL_VEHICLE}) {
        std::vector<uint8_t> request =
            Request(uiPacket == PACKET_REQUEST_LOCAL_PED ? ELEMENT_PED : ELEMENT_VEHICLE, 9, {0, 0, 0});
        CMemoryStream stream(request.data(), request.size());
        small.m_Manager.GetPeer2PeerSystem().ProcessClientPacket(pClient, uiPacket, &stream);
    }
    EXPECT_TRUE(small.m_Sender.m_Sent.empty());
    EXPECT_EQ(small.m_Manager.GetCount(), 1u);
}

TEST_F(Peer2Peer, TheRequesterSyncsWhateverSyncerThePayloadNamed)
{
    CNetMachine* pOther = m_World.AddClient(4);
    (void)pOther;
    Send(PACKET_REQUEST_LOCAL_PED, Request(ELEMENT_PED, 1, {}, 0, 4));
    auto answers = Answers();
    ASSERT_EQ(answers.size(), 1u);
    CNetObject* pElement = m_World.m_Manager.GetObjectFromId(answers[0].iId);
    ASSERT_TRUE(pElement);
    EXPECT_EQ(pElement->GetSyncer(), m_pClient);
    EXPECT_TRUE(pElement->HasFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER));
    EXPECT_FALSE(pElement->IsCreatedFor(4));
}

TEST_F(Peer2Peer, TheStreamIsLeftWhereItWasForTheRestOfTheDispatch)
{
    std::vector<uint8_t> request = Request(ELEMENT_VEHICLE, 1, {});
    CMemoryStream stream(request.data(), request.size());
    m_World.m_Manager.GetPeer2PeerSystem().ProcessPacket(m_pClient->GetPeer(), PACKET_REQUEST_LOCAL_VEHICLE, &stream);
    EXPECT_EQ(stream.Tell(), 0);
    EXPECT_EQ(Answers().size(), 1u);
}
