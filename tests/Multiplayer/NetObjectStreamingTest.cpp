// Streaming: the stream-in and stream-out rules, create and delete packets, syncers, and the
// fast pass against the walk over every element.
#include "ElementTesting.h"

#include <cmath>
#include <limits>
#include <random>

using namespace ElementTesting;

namespace
{
    // Client 0 with a player at the origin in dimension 0.
    class StreamingTest : public ::testing::Test
    {
    protected:
        void SetUp() override
        {
            m_pA = m_World.AddClient(0);
            m_pPlayer = m_World.AddPlayer(m_pA, {0.0f, 0.0f, 0.0f});
            m_pPlayer->SetFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER, true);
            Pass();
            m_World.m_Sender.Clear();
            m_World.m_Events.m_Log.clear();
        }
        void Pass() { m_World.m_Manager.StreamPass(); }
        bool Created(CNetObject* p, int iClient = 0) { return p->IsCreatedFor(iClient); }

        CElementWorld m_World;
        CNetMachine* m_pA;
        CTestElement* m_pPlayer;
    };

    struct StreamInCase
    {
        const char* m_szName;
        std::function<void(CTestElement*, CNetMachine*)> m_Setup;
        bool m_bCreated;
    };
}

TEST_F(StreamingTest, StreamInRules)
{
    const StreamInCase cases[] = {
        {"just inside", [](CTestElement* e, CNetMachine*) { e->SetPosition({99.99f, 0, 0}); }, true},
        {"exactly at the distance", [](CTestElement* e, CNetMachine*) { e->SetPosition({100, 0, 0}); }, false},
        {"distance is 3d", [](CTestElement* e, CNetMachine*) { e->SetPosition({60, 0, 80.5f}); }, false},
        {"other dimension", [](CTestElement* e, CNetMachine*) { e->SetDimension(1); }, false},
        {"other dimension, all dimensions",
            [](CTestElement* e, CNetMachine*) {
                e->SetDimension(1);
                e->SetFlag(NETOBJECT_ON_ALL_DIMENSIONS, true);
            },
            true},
        {"not networked", [](CTestElement* e, CNetMachine*) { e->SetFlag(NETOBJECT_NETWORKED, false); }, false},
        {"no default existence", [](CTestElement* e, CNetMachine*) { e->SetFlag(NETOBJECT_DEFAULT_EXISTANCE, false); },
            false},
        {"not for this client", [](CTestElement* e, CNetMachine* c) { e->SetExistsFor(c, false); }, false},
        {"far, no distance streaming",
            [](CTestElement* e, CNetMachine*) {
                e->SetPosition({5000, 0, 0});
                e->SetFlag(NETOBJECT_DISTANCE_STREAMING, false);
            },
            true},
        {"far, kept for its syncer",
            [](CTestElement* e, CNetMachine* c) {
                e->SetPosition({5000, 0, 0});
                e->SetFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER, true);
                e->SetSyncer(c, true);
            },
            true},
        {"far, kept for another syncer",
            [](CTestElement* e, CNetMachine*) {
                e->SetPosition({5000, 0, 0});
                e->SetFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER, true);
            },
            false},
        {"no position", [](CTestElement* e, CNetMachine*) { e->m_bHasPosition = false; }, false},
        {"no position, no distance streaming",
            [](CTestElement* e, CNetMachine*) {
                e->m_bHasPosition = false;
                e->SetFlag(NETOBJECT_DISTANCE_STREAMING, false);
            },
            true},
        {"infinite reach",
            [](CTestElement* e, CNetMachine*) {
                e->SetPosition({1e7f, 0, 0});
                e->SetStreamInDistance(std::numeric_limits<float>::infinity());
                e->SetStreamOutDistance(std::numeric_limits<float>::infinity());
            },
            true},
        {"not a number", [](CTestElement* e, CNetMachine*) { e->SetPosition({std::nanf(""), 0, 0}); }, false},
        {"child follows the parent's dimension",
            [](CTestElement* e, CNetMachine*) {
                CTestElement* pParent = static_cast<CTestElement*>(e->GetManager()->GetObjectFromName("far parent"));
                pParent->SetDimension(3);
                e->SetParent(pParent);
            },
            false},
        {"child of a parent in this dimension",
            [](CTestElement* e, CNetMachine*) {
                e->SetDimension(5);
                e->SetParent(e->GetManager()->GetObjectFromName("far parent"));
            },
            true},
    };
    for (bool bFast : {true, false}) {
        for (const StreamInCase& c : cases) {
            CElementWorld world;
            world.m_Manager.SetFastPaths(bFast);
            CNetMachine* pA = world.AddClient(0);
            world.AddPlayer(pA, {0, 0, 0});
            CTestElement* pParent = world.Add(ELEMENT_VEHICLE, {9000, 0, 0});
            pParent->SetName("far parent");
            CTestElement* e = world.Add(ELEMENT_OBJECT, {10, 0, 0});
            c.m_Setup(e, pA);
            world.m_Manager.StreamPass();
            EXPECT_EQ(e->IsCreatedFor(pA), c.m_bCreated) << c.m_szName << (bFast ? " (fast)" : " (walk)");
        }
    }
}

TEST_F(StreamingTest, ClientWithoutPlayerGetsOnlyElementsNotStreamedByDistance)
{
    CNetMachine* pB = m_World.AddClient(1);
    CTestElement* pNear = m_World.Add(ELEMENT_OBJECT, {1, 0, 0});
    CTestElement* pEverywhere = m_World.Add(ELEMENT_DUMMY, {1, 0, 0});
    pEverywhere->SetFlag(NETOBJECT_DISTANCE_STREAMING, false);
    pEverywhere->SetDimension(-1); // a client without a player is in dimension -1
    CTestElement* pAllDimensions = m_World.Add(ELEMENT_DUMMY, {1, 0, 0});
    pAllDimensions->SetFlag(NETOBJECT_DISTANCE_STREAMING, false);
    pAllDimensions->SetFlag(NETOBJECT_ON_ALL_DIMENSIONS, true);
    Pass();
    EXPECT_FALSE(Created(pNear, 1));
    EXPECT_FALSE(Created(m_pPlayer, 1));
    EXPECT_TRUE(Created(pEverywhere, 1));
    EXPECT_TRUE(Created(pAllDimensions, 1));
    Pass(); // and keeps them
    EXPECT_TRUE(Created(pAllDimensions, 1));

    m_World.AddPlayer(pB, {5, 0, 0});
    Pass();
    EXPECT_TRUE(Created(pNear, 1));
    EXPECT_TRUE(Created(m_pPlayer, 1));
    EXPECT_FALSE(Created(pEverywhere, 1)); // dimension -1 no more
}

TEST_F(StreamingTest, HysteresisBetweenTheTwoDistances)
{
    CTestElement* e = m_World.Add(ELEMENT_OBJECT, {150, 0, 0});
    Pass();
    EXPECT_FALSE(Created(e)); // beyond 100: not created
    e->SetPosition({50, 0, 0});
    Pass();
    EXPECT_TRUE(Created(e));
    e->SetPosition({150, 0, 0});
    Pass();
    EXPECT_TRUE(Created(e)); // inside 200: kept
    e->SetPosition({200, 0, 0});
    Pass();
    EXPECT_TRUE(Created(e)); // exactly at 200: kept
    m_World.m_Sender.Clear();
    e->SetPosition({200.02f, 0, 0});
    Pass();
    EXPECT_FALSE(Created(e));
    auto deletes = m_World.m_Sender.Of(PACKET_ELEMENT_DELETE, 0);
    ASSERT_EQ(deletes.size(), 1u);
    EXPECT_EQ(DeletedIds(deletes[0]), (std::vector<int32_t>{e->GetId()}));
    EXPECT_EQ(deletes[0].m_Priority, PACKET_PRIORITY_LOW);
    EXPECT_EQ(deletes[0].m_Flags, PACKET_FLAG_RELIABLE);
    EXPECT_EQ(deletes[0].m_ucChannel, 0);
}

TEST_F(StreamingTest, StreamOutRules)
{
    CTestElement* pDimension = m_World.Add(ELEMENT_OBJECT, {1, 0, 0});
    CTestElement* pAllDimensions = m_World.Add(ELEMENT_OBJECT, {1, 0, 0});
    CTestElement* pSyncerKeeps = m_World.Add(ELEMENT_OBJECT, {1, 0, 0});
    CTestElement* pNoDistance = m_World.Add(ELEMENT_OBJECT, {1, 0, 0});
    CTestElement* pLosesPosition = m_World.Add(ELEMENT_OBJECT, {1, 0, 0});
    CTestElement* pForbidden = m_World.Add(ELEMENT_OBJECT, {1, 0, 0});
    CTestElement* pParent = m_World.Add(ELEMENT_VEHICLE, {1, 0, 0});
    CTestElement* pChild = m_World.Add(ELEMENT_PED, {1, 0, 0});
    pChild->SetParent(pParent);
    pAllDimensions->SetFlag(NETOBJECT_ON_ALL_DIMENSIONS, true);
    pSyncerKeeps->SetFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER, true);
    pNoDistance->SetFlag(NETOBJECT_DISTANCE_STREAMING, false);
    Pass();
    for (CTestElement* e : {pDimension, pAllDimensions, pSyncerKeeps, pNoDistance, pLosesPosition, pForbidden, pChild})
        ASSERT_TRUE(Created(e));
    ASSERT_EQ(pSyncerKeeps->GetSyncer(), m_pA);

    pDimension->SetDimension(2);
    pAllDimensions->SetDimension(2);
    for (CTestElement* e : {pSyncerKeeps, pNoDistance, pLosesPosition})
        e->SetPosition({5000, 0, 0});
    pLosesPosition->m_bHasPosition = false;
    pForbidden->SetExistsFor(m_pA, false);
    pParent->SetDimension(9); // the child goes with it
    Pass();
    EXPECT_FALSE(Created(pDimension));
    EXPECT_TRUE(Created(pAllDimensions));
    EXPECT_TRUE(Created(pSyncerKeeps));
    EXPECT_TRUE(Created(pNoDistance));
    EXPECT_TRUE(Created(pLosesPosition)); // the distance cannot be measured: it stays
    EXPECT_FALSE(Created(pForbidden));
    EXPECT_FALSE(Created(pChild));
    EXPECT_FALSE(Created(pParent));
}

TEST_F(StreamingTest, StreamOutClearsTheSyncerAndDestroysTransientElements)
{
    CNetMachine* pB = m_World.AddClient(1);
    m_World.AddPlayer(pB, {1000, 0, 0});
    CTestElement* pShared = m_World.Add(ELEMENT_OBJECT, {1, 0, 0});
    CTestElement* pTransient = m_World.Add(ELEMENT_OBJECT, {1, 0, 0});
    pTransient->SetFlag(NETOBJECT_TRANSIENT, true);
    Strong<CTestElement> pKeepTransient(pTransient);
    Pass();
    ASSERT_EQ(pShared->GetSyncer(), m_pA);
    pShared->SetPosition({1000, 0, 0});
    pTransient->SetPosition({600, 0, 0});
    Pass();
    EXPECT_FALSE(Created(pShared, 0));
    EXPECT_TRUE(Created(pShared, 1));
    // Streamed out of its syncer: the syncer pass hands it to the client that has it.
    EXPECT_EQ(pShared->GetSyncer(), pB);

    // The transient one was in nobody's range any more: destroyed and broadcast, and not
    // listed again in the client's own delete packet.
    EXPECT_FALSE(pTransient->IsRegistered());
    int32_t iTransient = -1;
    for (const std::string& line : m_World.m_Events.m_Log)
        if (line.rfind("destroy ", 0) == 0)
            iTransient = std::stoi(line.substr(8));
    ASSERT_GT(iTransient, 0);
    int iBroadcasts = 0;
    for (const SentPacket& p : m_World.m_Sender.Of(PACKET_ELEMENT_DELETE)) {
        std::vector<int32_t> ids = DeletedIds(p);
        int n = static_cast<int>(std::count(ids.begin(), ids.end(), iTransient));
        if (n && ids.size() == 1)
            ++iBroadcasts;
        else
            EXPECT_EQ(n, 0);
    }
    EXPECT_EQ(iBroadcasts, 2);
}

TEST_F(StreamingTest, CreatePacketBytesAndOrder)
{
    CNetMachine* pB = m_World.AddClient(1);
    CTestElement* pPed = m_World.Add(ELEMENT_PED, {1, 2, 3});
    CTestElement* pCar = m_World.Add(ELEMENT_VEHICLE, {4, 5, 6});
    pPed->SetName("ped");
    m_World.AddPlayer(pB, {0, 0, 0});
    m_World.m_Sender.Clear();
    Pass();

    // Client 0: vehicles first, then the rest, each a packet of its own.
    auto creates = m_World.m_Sender.Of(PACKET_ELEMENT_CREATE, 0);
    ASSERT_EQ(creates.size(), 2u);
    EXPECT_EQ(RecordIds(creates[0]), (std::vector<int32_t>{pCar->GetId()}));
    EXPECT_EQ(creates[0].m_Priority, PACKET_PRIORITY_LOW);
    EXPECT_EQ(creates[0].m_Flags, PACKET_FLAG_RELIABLE);
    EXPECT_EQ(creates[0].m_ucChannel, 0);

    CPayload r(creates[1].m_Payload);
    ASSERT_EQ(r.U16(), 2); // the ped and client 1's player
    uint16_t usSize = r.U16();
    EXPECT_EQ(usSize, 8 + 4 + 4 + 4 + (1 + 3) + 2 + 12 + 12);
    EXPECT_EQ(r.I32(), ELEMENT_PED);
    EXPECT_EQ(r.I32(), pPed->GetId());
    EXPECT_EQ(r.I32(), 0);  // syncer: this client, made syncer as it is the first to get it
    EXPECT_EQ(r.I32(), -1); // parent
    EXPECT_EQ(r.I32(), 0);  // dimension
    EXPECT_EQ(r.Str(), "ped");
    EXPECT_EQ(r.U16(), 0); // data entries
    for (float f : {1.0f, 2.0f, 3.0f})
        EXPECT_EQ(r.F32(), f); // create payload of the class
    for (float f : {1.0f, 2.0f, 3.0f})
        EXPECT_EQ(r.F32(), f); // sync payload
    EXPECT_EQ(pPed->GetSyncer(), m_pA);

    // Client 1 gets its own player in the same packet, then packet 5.
    std::vector<SentPacket> toB;
    for (const SentPacket& p : m_World.m_Sender.m_Sent)
        if (p.m_iClient == 1)
            toB.push_back(p);
    ASSERT_GE(toB.size(), 3u);
    EXPECT_EQ(toB[0].m_uiId, PACKET_ELEMENT_CREATE);
    EXPECT_EQ(toB[1].m_uiId, PACKET_ELEMENT_CREATE);
    EXPECT_TRUE(toB[2].m_bPlayer);

    // Nothing more to create: nothing sent.
    m_World.m_Sender.Clear();
    Pass();
    EXPECT_TRUE(m_World.m_Sender.Of(PACKET_ELEMENT_CREATE).empty());
    EXPECT_TRUE(m_World.m_Sender.Of(PACKET_ELEMENT_DELETE).empty());
}

TEST_F(StreamingTest, SyncerRules)
{
    CNetMachine* pB = m_World.AddClient(1);
    m_World.AddPlayer(pB, {0, 0, 0});
    // The first client to get it becomes syncer, even without findSyncer ...
    CTestElement* pFirst = m_World.Add(ELEMENT_OBJECT, {1, 0, 0});
    pFirst->SetFlag(NETOBJECT_FIND_SYNCER, false);
    // ... unless the syncer is forced (here: forced to none).
    CTestElement* pForced = m_World.Add(ELEMENT_OBJECT, {1, 0, 0});
    pForced->SetFlag(NETOBJECT_FORCED_SYNCER, true);
    Pass();
    EXPECT_EQ(pFirst->GetSyncer(), m_pA);
    EXPECT_EQ(pForced->GetSyncer(), nullptr);

    // Clients that already have it hear of a syncer change.
    m_World.m_Sender.Clear();
    pFirst->SetSyncer(nullptr, false);
    EXPECT_EQ(m_World.m_Sender.Of(PACKET_ELEMENT_SYNCER).size(), 2u);
    // The syncer pass only serves findSyncer elements: this one stays without.
    Pass();
    EXPECT_EQ(pFirst->GetSyncer(), nullptr);
    pFirst->SetFlag(NETOBJECT_FIND_SYNCER, true);
    pFirst->SetCreatedFor(0, false);
    Pass(); // recreated on client 0 (lowest); client 1 still has it
    EXPECT_EQ(pFirst->GetSyncer(), m_pA);
}

TEST_F(StreamingTest, SendCreatePacketSendsBeforeTheSyncerChange)
{
    CTestElement* e = m_World.Add(ELEMENT_OBJECT, {1, 0, 0});
    m_World.m_Manager.SendCreatePacket(m_pA, e);
    ASSERT_EQ(m_World.m_Sender.m_Sent.size(), 2u);
    EXPECT_EQ(m_World.m_Sender.m_Sent[0].m_uiId, PACKET_ELEMENT_CREATE);
    CPayload r(m_World.m_Sender.m_Sent[0].m_Payload);
    EXPECT_EQ(r.U16(), 1);
    r.U16();
    r.I32();
    r.I32();
    EXPECT_EQ(r.I32(), -1); // no syncer yet in the record
    EXPECT_EQ(m_World.m_Sender.m_Sent[1].m_uiId, PACKET_ELEMENT_SYNCER);
    EXPECT_EQ(e->GetSyncer(), m_pA);

    // Already created, or failing the test: nothing.
    m_World.m_Sender.Clear();
    m_World.m_Manager.SendCreatePacket(m_pA, e);
    CTestElement* pFar = m_World.Add(ELEMENT_OBJECT, {1000, 0, 0});
    m_World.m_Manager.SendCreatePacket(m_pA, pFar);
    m_World.m_Manager.SendCreatePacket(nullptr, pFar);
    EXPECT_TRUE(m_World.m_Sender.m_Sent.empty());
}

TEST_F(StreamingTest, EventsCanKeepElementsOffAndOn)
{
    CTestElement* e = m_World.Add(ELEMENT_OBJECT, {1, 0, 0});
    std::string in = "in " + std::to_string(e->GetId()) + " 0";
    std::string out = "out " + std::to_string(e->GetId()) + " 0";
    m_World.m_Events.m_StreamIn = [](CNetObject*, CNetMachine*) { return false; };
    Pass();
    Pass();
    EXPECT_FALSE(Created(e));
    EXPECT_EQ(std::count(m_World.m_Events.m_Log.begin(), m_World.m_Events.m_Log.end(), in), 2); // asked every pass

    m_World.m_Events.m_StreamIn = nullptr;
    m_World.m_Events.m_StreamOut = [](CNetObject*, CNetMachine*) { return false; };
    Pass();
    EXPECT_TRUE(Created(e));
    e->SetPosition({900, 0, 0});
    Pass();
    Pass();
    EXPECT_TRUE(Created(e));
    EXPECT_EQ(std::count(m_World.m_Events.m_Log.begin(), m_World.m_Events.m_Log.end(), out), 2);

    // The stream-in event is raised only for elements that passed the other steps.
    m_World.m_Events.m_Log.clear();
    m_World.Add(ELEMENT_OBJECT, {500, 0, 0});
    Pass();
    for (const std::string& line : m_World.m_Events.m_Log)
        EXPECT_NE(line.rfind("in ", 0), 0u) << line;
}

TEST_F(StreamingTest, ClientSentAwayByAHandlerLeavesItsSlotClean)
{
    CNetMachine* pB = m_World.AddClient(1);
    m_World.AddPlayer(pB, {0, 0, 0});
    CTestElement* e = m_World.Add(ELEMENT_OBJECT, {1, 0, 0});
    Strong<CNetMachine> pKeep(pB);
    // A script kicks the client from the stream-in event, as the session's departure does.
    m_World.m_Events.m_StreamIn = [&](CNetObject*, CNetMachine* pClient) {
        if (pClient == pB && pB->GetIndex() == 1) {
            m_World.m_Manager.OnClientDeparture(pB);
            m_World.m_Machines.Clear(1);
            pB->SetIndex(-1);
        }
        return true;
    };
    Pass();
    EXPECT_TRUE(Created(e, 0));
    EXPECT_FALSE(Created(e, 1));
    EXPECT_FALSE(Created(m_pPlayer, 1));
    EXPECT_TRUE(m_World.m_Sender.Of(PACKET_ELEMENT_CREATE, 1).empty());
}

TEST_F(StreamingTest, ClientsThatDoNotStreamGetNoCreates)
{
    CNetMachine* pB = m_World.AddClient(1, false);
    m_World.AddPlayer(pB, {0, 0, 0});
    CTestElement* e = m_World.Add(ELEMENT_OBJECT, {1, 0, 0});
    m_pA->SetStreaming(false);
    Pass();
    EXPECT_FALSE(Created(e, 0));
    EXPECT_FALSE(Created(e, 1));
    // Removal still runs for a client that switched streaming off.
    m_pA->SetStreaming(true);
    Pass();
    ASSERT_TRUE(Created(e, 0));
    m_pA->SetStreaming(false);
    e->SetPosition({900, 0, 0});
    Pass();
    EXPECT_FALSE(Created(e, 0));
    // The console never gets elements.
    CNetMachine* pConsole = m_World.AddConsole();
    pConsole->SetJoined(true);
    m_World.m_Manager.CreateObjectsAsNeeded(pConsole, 0);
    EXPECT_FALSE(Created(m_pPlayer, 255));
}

TEST(StreamGrid, QueryFindsEveryEntryInReach)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> pos(-3000.0f, 3000.0f), reach(1.0f, 300.0f);
    std::vector<CStreamGrid::Entry> entries;
    for (uint32_t i = 0; i < 3000; ++i)
        entries.push_back({i, pos(rng), pos(rng), reach(rng)});
    entries.push_back({3000, 1e30f, -1e30f, 50.0f}); // far outliers make the grid coarse, not wrong
    std::vector<CStreamGrid::Entry> copy = entries;
    CStreamGrid grid;
    grid.Build(copy);
    for (int q = 0; q < 300; ++q) {
        float x = pos(rng) * 1.1f, y = pos(rng) * 1.1f;
        std::vector<uint32_t> found;
        grid.Query(x, y, found);
        std::sort(found.begin(), found.end());
        for (const CStreamGrid::Entry& e : entries) {
            float dx = e.m_fX - x, dy = e.m_fY - y;
            if (std::sqrt(dx * dx + dy * dy) < e.m_fReach) {
                ASSERT_TRUE(std::binary_search(found.begin(), found.end(), e.m_uiSlot)) << e.m_uiSlot;
            }
        }
    }
}

// The same random world run twice, with the fast paths and with the walk over every
// element: every packet, record and event must be the same.
TEST(StreamingEquivalence, FastPassesSendWhatTheFullWalkSends)
{
    auto run = [](bool bFast, CRecordingSender& sender, std::vector<std::string>& log) {
        std::mt19937 rng(1234);
        std::uniform_real_distribution<float> pos(-800.0f, 800.0f), step(-60.0f, 60.0f), unit(0.0f, 1.0f);
        CElementWorld world(600);
        world.m_Manager.SetFastPaths(bFast);
        // Prevent a few stream-ins and outs by a fixed rule, as a script could.
        world.m_Events.m_StreamIn = [](CNetObject* e, CNetMachine* c) { return (e->GetId() + c->GetIndex()) % 11 != 0; };
        world.m_Events.m_StreamOut = [](CNetObject* e, CNetMachine* c) { return (e->GetId() * 3 + c->GetIndex()) % 13 != 0; };
        std::vector<CNetMachine*> clients;
        for (int i = 0; i < 12; ++i) {
            clients.push_back(world.AddClient(i * 3));
            if (i % 5 != 4)
                world.AddPlayer(clients.back(), {pos(rng), pos(rng), 0});
        }
        const int32_t types[] = {ELEMENT_VEHICLE, ELEMENT_PED, ELEMENT_OBJECT, ELEMENT_PICKUP, ELEMENT_BLIP};
        for (int i = 0; i < 400; ++i) {
            CTestElement* e = world.Add(types[i % 5], {pos(rng), pos(rng), step(rng)});
            float u = unit(rng);
            if (u < 0.05f)
                e->SetFlag(NETOBJECT_DISTANCE_STREAMING, false);
            else if (u < 0.1f)
                e->SetFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER, true);
            else if (u < 0.15f)
                e->SetStreamInDistance(2000.0f);
            else if (u < 0.2f)
                e->SetFlag(NETOBJECT_TRANSIENT, true);
            else if (u < 0.25f)
                e->SetDimension(1);
            else if (u < 0.28f)
                e->SetFlag(NETOBJECT_ON_ALL_DIMENSIONS, true);
            else if (u < 0.3f)
                e->m_bHasPosition = false;
        }
        for (int pass = 0; pass < 25; ++pass) {
            // Move everything a little, players included; change some dimensions; add and
            // destroy a few elements between passes.
            for (size_t slot = 0; slot < world.m_Manager.GetCapacity(); ++slot) {
                if (auto* e = static_cast<CTestElement*>(world.m_Manager.GetObjectInSlot(slot))) {
                    CVector3D v;
                    e->GetPosition(v);
                    e->m_vecPosition = {v.x + step(rng), v.y + step(rng), v.z};
                }
            }
            if (pass % 4 == 1) {
                CNetMachine* c = clients[pass % clients.size()];
                if (CNetObject* p = world.m_Manager.GetPlayerElement(c))
                    p->SetDimension(p->GetDimension() == 0 ? 1 : 0);
            }
            for (int k = 0; k < 5; ++k)
                world.Add(types[k], {pos(rng), pos(rng), 0});
            std::vector<CNetObject*> all;
            world.m_Manager.GetObjectsOfType(ELEMENT_OBJECT, all);
            if (!all.empty())
                world.m_Manager.DestroyObject(all[rng() % all.size()], true, false);
            world.m_Manager.StreamPass();
            world.m_Manager.SyncPass(PACKET_PRIORITY_MEDIUM, PACKET_FLAG_UNSEQUENCED);
        }
        sender.m_Sent = world.m_Sender.m_Sent;
        log = world.m_Events.m_Log;
    };
    CRecordingSender fast, walk;
    std::vector<std::string> fastLog, walkLog;
    run(true, fast, fastLog);
    run(false, walk, walkLog);
    ASSERT_EQ(fast.m_Sent.size(), walk.m_Sent.size());
    size_t creates = 0;
    for (size_t i = 0; i < fast.m_Sent.size(); ++i) {
        ASSERT_EQ(fast.m_Sent[i].m_iClient, walk.m_Sent[i].m_iClient) << i;
        ASSERT_EQ(fast.m_Sent[i].m_uiId, walk.m_Sent[i].m_uiId) << i;
        ASSERT_EQ(fast.m_Sent[i].m_Payload, walk.m_Sent[i].m_Payload) << i;
        ASSERT_EQ(fast.m_Sent[i].m_ucChannel, walk.m_Sent[i].m_ucChannel) << i;
        creates += fast.m_Sent[i].m_uiId == PACKET_ELEMENT_CREATE;
    }
    EXPECT_EQ(fastLog, walkLog);
    EXPECT_GT(creates, 100u); // the scenario does exercise streaming
    EXPECT_GT(fast.Of(PACKET_ELEMENT_SYNC).size(), 100u);
}
