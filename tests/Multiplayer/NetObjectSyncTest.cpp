// Sync relay in both directions, client reports and departure.
#include "ElementTesting.h"

#include <Engine/Assert.h>
#include <Engine/Context.h>

using namespace ElementTesting;

namespace
{
    // Clients 0, 1 and 2; element e is created on all three and synced by client 1.
    class SyncTest : public ::testing::Test
    {
    protected:
        void SetUp() override
        {
            for (int i = 0; i < 3; ++i)
                m_pClients[i] = m_World.AddClient(i);
            m_pElement = m_World.Add(ELEMENT_VEHICLE, {1, 2, 3});
            CreateEverywhere(m_pElement);
            m_pElement->SetSyncer(m_pClients[1], false);
            m_World.m_Sender.Clear();
        }
        void CreateEverywhere(CNetObject* p)
        {
            for (int i = 0; i < 3; ++i)
                p->SetCreatedFor(i, true);
        }
        // A sync record as a client writes it.
        static std::vector<uint8_t> Record(int32_t iType, int32_t iId, const std::vector<float>& payload,
            int iSizeAdjust = 0)
        {
            CBytes b;
            b.Put<uint16_t>(static_cast<uint16_t>(8 + 4 * payload.size() + iSizeAdjust)).Put(iType).Put(iId);
            for (float f : payload)
                b.Put(f);
            return b.m_Data;
        }
        void Receive(int iClient, unsigned uiId, const CBytes& bytes)
        {
            m_World.m_Manager.ProcessPacket(m_pClients[iClient], uiId, bytes.Stream());
        }

        CElementWorld m_World;
        CNetMachine* m_pClients[3];
        CTestElement* m_pElement;
    };
}

TEST_F(SyncTest, SyncPacketBytesAndRecipients)
{
    CTestElement* pNoSyncer = m_World.Add(ELEMENT_PED, {0, 0, 0});
    CreateEverywhere(pNoSyncer);
    CTestElement* pQuiet = m_World.Add(ELEMENT_OBJECT, {0, 0, 0});
    CreateEverywhere(pQuiet);
    pQuiet->SetSyncer(m_pClients[2], false);
    pQuiet->SetFlag(NETOBJECT_SEND_SYNC, false);
    m_pElement->SetCreatedFor(2, false);
    m_World.m_Sender.Clear();

    m_World.m_Manager.SyncPass(PACKET_PRIORITY_HIGH, PACKET_FLAG_UNSEQUENCED);
    // Client 0 only: client 1 syncs it, client 2 does not have it.
    auto syncs = m_World.m_Sender.Of(PACKET_ELEMENT_SYNC);
    ASSERT_EQ(syncs.size(), 1u);
    EXPECT_EQ(syncs[0].m_iClient, 0);
    EXPECT_EQ(syncs[0].m_ucChannel, 1);
    EXPECT_EQ(syncs[0].m_Priority, PACKET_PRIORITY_HIGH);
    EXPECT_EQ(syncs[0].m_Flags, PACKET_FLAG_UNSEQUENCED);
    CPayload r(syncs[0].m_Payload);
    EXPECT_EQ(r.U16(), 1);
    EXPECT_EQ(r.U16(), 8 + 12);
    EXPECT_EQ(r.I32(), ELEMENT_VEHICLE);
    EXPECT_EQ(r.I32(), m_pElement->GetId());
    EXPECT_EQ(r.F32(), 1.0f);
    EXPECT_EQ(r.F32(), 2.0f);
    EXPECT_EQ(r.F32(), 3.0f);
    EXPECT_EQ(r.Remaining(), 0u);

    // Nothing relayable: nothing sent.
    m_pElement->SetSyncer(nullptr, false);
    m_World.m_Sender.Clear();
    m_World.m_Manager.SyncPass(PACKET_PRIORITY_HIGH, PACKET_FLAG_NONE);
    EXPECT_TRUE(m_World.m_Sender.m_Sent.empty());
}

TEST_F(SyncTest, EachRecordIsWrittenOncePerPass)
{
    CNetMachine* pMore = m_World.AddClient(7);
    m_pElement->SetCreatedFor(pMore, true);
    m_pElement->SetSyncer(m_pClients[2], false);
    m_pElement->m_iSyncWrites = 0;
    m_World.m_Manager.SyncPass(PACKET_PRIORITY_LOW, PACKET_FLAG_NONE);
    EXPECT_EQ(m_World.m_Sender.Of(PACKET_ELEMENT_SYNC).size(), 3u);
    EXPECT_EQ(m_pElement->m_iSyncWrites, 1);
    // The next pass writes it afresh, with the new position.
    m_pElement->SetPosition({9, 9, 9});
    m_World.m_Sender.Clear();
    m_World.m_Manager.SyncPass(PACKET_PRIORITY_LOW, PACKET_FLAG_NONE);
    EXPECT_EQ(m_pElement->m_iSyncWrites, 2);
    CPayload r(m_World.m_Sender.Of(PACKET_ELEMENT_SYNC).at(0).m_Payload);
    r.Skip(2 + 2 + 8);
    EXPECT_EQ(r.F32(), 9.0f);
}

TEST_F(SyncTest, OnlyTheSyncerMovesTheElement)
{
    Receive(0, PACKET_ELEMENT_SYNC, CBytes().Put<uint16_t>(1).Raw(Record(ELEMENT_VEHICLE, m_pElement->GetId(), {50, 50, 50})));
    EXPECT_EQ(m_pElement->m_vecPosition, CVector3D(1, 2, 3));
    EXPECT_EQ(m_pElement->m_iSyncReads, 0);
    Receive(1, PACKET_ELEMENT_SYNC, CBytes().Put<uint16_t>(1).Raw(Record(ELEMENT_VEHICLE, m_pElement->GetId(), {7, 8, 9})));
    EXPECT_EQ(m_pElement->m_vecPosition, CVector3D(7, 8, 9));
    // An element without a syncer takes sync from nobody.
    m_pElement->SetSyncer(nullptr, false);
    Receive(1, PACKET_ELEMENT_SYNC, CBytes().Put<uint16_t>(1).Raw(Record(ELEMENT_VEHICLE, m_pElement->GetId(), {1, 1, 1})));
    EXPECT_EQ(m_pElement->m_vecPosition, CVector3D(7, 8, 9));
}

TEST_F(SyncTest, EachRecordIsReadFromItsOwnBoundedView)
{
    CTestElement* pSecond = m_World.Add(ELEMENT_PED, {0, 0, 0});
    pSecond->SetSyncer(m_pClients[1], false);
    SetAssertionsEnabled(true);
    std::vector<std::string> errors;
    struct : ILogListener
    {
        std::vector<std::string>* m_pErrors;
        void OnLogMessage(eLogType level, const char* szText) override
        {
            if (level >= LOG_ERROR)
                m_pErrors->push_back(szText);
        }
    } capture;
    capture.m_pErrors = &errors;
    AddLogListener(&capture);

    // The first element reads greedily: it gets its 12 bytes and no more; the second record
    // is read intact.
    m_pElement->m_iGreedyRead = 1000;
    Receive(1, PACKET_ELEMENT_SYNC,
        CBytes()
            .Put<uint16_t>(2)
            .Raw(Record(ELEMENT_VEHICLE, m_pElement->GetId(), {5, 5, 5}))
            .Raw(Record(ELEMENT_PED, pSecond->GetId(), {4, 5, 6})));
    EXPECT_EQ(m_pElement->m_LastRead, 12u);
    EXPECT_EQ(pSecond->m_vecPosition, CVector3D(4, 5, 6));

    // A record longer than what its element reads is skipped to its end, with the assertion.
    m_pElement->m_iGreedyRead = 0;
    std::vector<uint8_t> padded = Record(ELEMENT_VEHICLE, m_pElement->GetId(), {6, 6, 6, 99}, 0);
    Receive(1, PACKET_ELEMENT_SYNC,
        CBytes().Put<uint16_t>(2).Raw(padded).Raw(Record(ELEMENT_PED, pSecond->GetId(), {1, 2, 3})));
    EXPECT_EQ(m_pElement->m_vecPosition, CVector3D(6, 6, 6));
    EXPECT_EQ(pSecond->m_vecPosition, CVector3D(1, 2, 3));
    RemoveLogListener(&capture);
    SetAssertionsEnabled(false);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("Read == usSize"), std::string::npos);
}

TEST_F(SyncTest, MalformedRecordsEndThePacket)
{
    CTestElement* pSecond = m_World.Add(ELEMENT_PED, {0, 0, 0});
    pSecond->SetSyncer(m_pClients[1], false);
    struct Case
    {
        const char* m_szName;
        std::vector<uint8_t> m_First;
        bool m_bFirstApplied;
    };
    const Case cases[] = {
        {"size below 8", Record(ELEMENT_VEHICLE, m_pElement->GetId(), {}, -1), false},
        {"unknown id is skipped, not the end", Record(ELEMENT_VEHICLE, 9999, {1, 1, 1}), false},
        {"negative id is skipped", Record(ELEMENT_VEHICLE, -5, {1, 1, 1}), false},
    };
    for (const Case& c : cases) {
        pSecond->m_vecPosition = {0, 0, 0};
        Receive(1, PACKET_ELEMENT_SYNC,
            CBytes().Put<uint16_t>(2).Raw(c.m_First).Raw(Record(ELEMENT_PED, pSecond->GetId(), {3, 3, 3})));
        bool bSecondApplied = pSecond->m_vecPosition == CVector3D(3, 3, 3);
        EXPECT_EQ(bSecondApplied, std::string(c.m_szName).find("skipped") != std::string::npos) << c.m_szName;
    }

    // A record that claims more bytes than the packet holds is dropped whole: the element
    // reads nothing of it.
    m_pElement->m_iSyncReads = 0;
    std::vector<uint8_t> cut = Record(ELEMENT_VEHICLE, m_pElement->GetId(), {2, 2, 2});
    cut.resize(cut.size() - 1);
    Receive(1, PACKET_ELEMENT_SYNC, CBytes().Put<uint16_t>(1).Raw(cut));
    EXPECT_EQ(m_pElement->m_iSyncReads, 0);
    // Count larger than the records present, empty packets: no harm.
    Receive(1, PACKET_ELEMENT_SYNC, CBytes().Put<uint16_t>(500).Raw(Record(ELEMENT_VEHICLE, m_pElement->GetId(), {2, 2, 2})));
    EXPECT_EQ(m_pElement->m_vecPosition, CVector3D(2, 2, 2));
    Receive(1, PACKET_ELEMENT_SYNC, CBytes());
}

TEST_F(SyncTest, ReplySyncAnswersTheSender)
{
    CTestElement* pOther = m_World.Add(ELEMENT_PED, {0, 0, 0});
    CreateEverywhere(pOther);
    pOther->SetSyncer(m_pClients[0], false);
    m_World.m_Sender.Clear();
    CBytes packet = CBytes().Put<uint16_t>(1).Raw(Record(ELEMENT_VEHICLE, m_pElement->GetId(), {1, 1, 1}));
    Receive(1, PACKET_ELEMENT_SYNC, packet);
    EXPECT_TRUE(m_World.m_Sender.m_Sent.empty());
    m_World.m_Manager.SetReplySync(true, PACKET_PRIORITY_MEDIUM, PACKET_FLAG_RELIABLE);
    Receive(1, PACKET_ELEMENT_SYNC, packet);
    ASSERT_EQ(m_World.m_Sender.m_Sent.size(), 1u);
    EXPECT_EQ(m_World.m_Sender.m_Sent[0].m_iClient, 1);
    EXPECT_EQ(m_World.m_Sender.m_Sent[0].m_Priority, PACKET_PRIORITY_MEDIUM);
    EXPECT_EQ(RecordIds(m_World.m_Sender.m_Sent[0]), (std::vector<int32_t>{pOther->GetId()}));
}

TEST_F(SyncTest, DeleteReportsClearBitsAndDestroyOnlyTransientElements)
{
    CTestElement* pTransient = m_World.Add(ELEMENT_VEHICLE, {0, 0, 0});
    pTransient->SetFlag(NETOBJECT_TRANSIENT, true);
    pTransient->SetFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER, true);
    pTransient->SetCreatedFor(1, true);
    pTransient->SetCreatedFor(2, true);
    pTransient->SetSyncer(m_pClients[1], false);
    CTestElement* pKeptForSyncer = m_World.Add(ELEMENT_PED, {0, 0, 0});
    pKeptForSyncer->SetFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER, true);
    CreateEverywhere(pKeptForSyncer);
    pKeptForSyncer->SetSyncer(m_pClients[1], false);
    CTestElement* pLast = m_World.Add(ELEMENT_OBJECT, {0, 0, 0});
    pLast->SetCreatedFor(1, true);
    int32_t iTransient = pTransient->GetId();

    // The transient element dropped by its syncer is destroyed; the report goes on to the
    // other ids; the others are only gone from this client.
    Receive(1, PACKET_ELEMENT_DELETE,
        CBytes().Put<uint16_t>(5).Put<int32_t>(-1).Put<int32_t>(iTransient).Put<int32_t>(pKeptForSyncer->GetId())
            .Put<int32_t>(m_pElement->GetId()).Put<int32_t>(pLast->GetId()));
    EXPECT_EQ(m_World.m_Manager.GetObjectFromId(iTransient), nullptr);
    for (CNetObject* p : {static_cast<CNetObject*>(pKeptForSyncer), static_cast<CNetObject*>(m_pElement),
             static_cast<CNetObject*>(pLast)}) {
        EXPECT_TRUE(p->IsRegistered());
        EXPECT_FALSE(p->IsCreatedFor(1));
    }
    EXPECT_TRUE(pKeptForSyncer->IsCreatedFor(0));
    EXPECT_TRUE(pLast->IsRegistered()); // created nowhere any more, but not the client's to destroy
    // A client cannot stay syncer of what it dropped.
    EXPECT_EQ(pKeptForSyncer->GetSyncer(), nullptr);
    EXPECT_EQ(m_pElement->GetSyncer(), nullptr);

    // A transient element that nobody has any more goes too.
    CTestElement* pShared = m_World.Add(ELEMENT_VEHICLE, {0, 0, 0});
    pShared->SetFlag(NETOBJECT_TRANSIENT, true);
    pShared->SetCreatedFor(0, true);
    pShared->SetCreatedFor(2, true);
    int32_t iShared = pShared->GetId();
    Receive(0, PACKET_ELEMENT_DELETE, CBytes().Put<uint16_t>(1).Put<int32_t>(iShared));
    EXPECT_NE(m_World.m_Manager.GetObjectFromId(iShared), nullptr);
    Receive(2, PACKET_ELEMENT_DELETE, CBytes().Put<uint16_t>(2).Put<int32_t>(iShared).Put<int32_t>(12345));
    EXPECT_EQ(m_World.m_Manager.GetObjectFromId(iShared), nullptr);
}

TEST_F(SyncTest, SyncerRequests)
{
    auto request = [&](int iClient, int32_t iId) {
        Receive(iClient, PACKET_REQUEST_SYNCER, CBytes().Put<int32_t>(iId));
    };
    request(0, m_pElement->GetId());
    EXPECT_EQ(m_pElement->GetSyncer(), m_pClients[0]);
    // Not for a client that does not have the element.
    m_pElement->SetCreatedFor(2, false);
    request(2, m_pElement->GetId());
    EXPECT_EQ(m_pElement->GetSyncer(), m_pClients[0]);
    // Not while the syncer is forced, not for an element that is not networked.
    m_pElement->SetSyncer(m_pClients[0], true);
    request(1, m_pElement->GetId());
    EXPECT_EQ(m_pElement->GetSyncer(), m_pClients[0]);
    m_pElement->SetSyncer(nullptr, false);
    m_pElement->SetFlag(NETOBJECT_NETWORKED, false);
    request(1, m_pElement->GetId());
    EXPECT_EQ(m_pElement->GetSyncer(), nullptr);
    m_pElement->SetFlag(NETOBJECT_NETWORKED, true);
    request(1, 4242);
    Receive(1, PACKET_REQUEST_SYNCER, CBytes().Put<uint16_t>(1)); // too short
    EXPECT_EQ(m_pElement->GetSyncer(), nullptr);
}

TEST_F(SyncTest, StreamingSwitch)
{
    CNetMachine* pC = m_pClients[0];
    Receive(0, PACKET_ELEMENT_STREAMING, CBytes().Put<uint8_t>(0));
    EXPECT_FALSE(pC->IsStreaming());
    Receive(0, PACKET_ELEMENT_STREAMING, CBytes().Put<uint8_t>(7));
    EXPECT_TRUE(pC->IsStreaming());
    Receive(0, PACKET_ELEMENT_STREAMING, CBytes());
    EXPECT_FALSE(pC->IsStreaming());
    EXPECT_FALSE(m_World.m_Manager.ProcessPacket(pC, PACKET_CHAT, CBytes().Stream()));
}

TEST_F(SyncTest, DepartureCleansUp)
{
    CNetMachine* pB = m_pClients[1];
    CTestElement* pPlayer = m_World.AddPlayer(pB, {0, 0, 0});
    CreateEverywhere(pPlayer);
    CTestElement* pTransient = m_World.Add(ELEMENT_VEHICLE, {0, 0, 0});
    pTransient->SetFlag(NETOBJECT_TRANSIENT, true);
    pTransient->SetCreatedFor(1, true);
    CTestElement* pUnseen = m_World.Add(ELEMENT_OBJECT, {0, 0, 0});
    pUnseen->SetExistsFor(pB, false);
    int32_t iPlayer = pPlayer->GetId(), iTransient = pTransient->GetId();

    m_World.m_Manager.OnClientDeparture(pB);
    EXPECT_EQ(m_pElement->GetSyncer(), nullptr);
    EXPECT_FALSE(m_pElement->IsCreatedFor(1));
    EXPECT_TRUE(m_pElement->IsCreatedFor(0));
    EXPECT_EQ(pUnseen->GetClientState(1), CLIENT_STATE_EXISTS); // ready for the slot's next client
    EXPECT_EQ(m_World.m_Manager.GetObjectFromId(iTransient), nullptr);
    EXPECT_EQ(m_World.m_Manager.GetObjectFromId(iPlayer), nullptr);
    EXPECT_EQ(pB->GetPlayer(), nullptr);
    // The departed client gets nothing more in sync passes.
    m_World.m_Manager.SetFastPaths(true);
    m_World.m_Sender.Clear();
    m_World.m_Manager.SyncPass(PACKET_PRIORITY_LOW, PACKET_FLAG_NONE);
    EXPECT_TRUE(m_World.m_Sender.Of(PACKET_ELEMENT_SYNC, 1).empty());
}
