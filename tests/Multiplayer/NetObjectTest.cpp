// The element: flags, per-client state, setters and their change packets, payloads.
#include "ElementTesting.h"

#include <Engine/Context.h>

#include <cmath>

using namespace ElementTesting;

namespace
{
    class CLogCapture : public ILogListener
    {
    public:
        CLogCapture() { AddLogListener(this); }
        ~CLogCapture() override { RemoveLogListener(this); }
        void OnLogMessage(eLogType level, const char* szText) override
        {
            if (level >= LOG_ERROR)
                m_Errors.push_back(szText);
        }
        std::vector<std::string> m_Errors;
    };

    // An element created on clients 0 and 2 (joined), 3 (not joined) and the console.
    class NetObjectTest : public ::testing::Test
    {
    protected:
        void SetUp() override
        {
            m_pA = m_World.AddClient(0);
            m_World.AddClient(1);
            m_World.AddClient(2);
            m_World.AddClient(3, false);
            m_World.AddConsole();
            m_pElement = m_World.Add(ELEMENT_OBJECT);
            for (int i : {0, 2, 3, 255})
                m_pElement->SetCreatedFor(i, true);
            m_World.m_Sender.Clear();
        }
        std::vector<int> Recipients(unsigned uiId)
        {
            std::vector<int> out;
            for (const SentPacket& p : m_World.m_Sender.Of(uiId))
                out.push_back(p.m_iClient);
            return out;
        }

        CElementWorld m_World;
        CNetMachine* m_pA;
        CTestElement* m_pElement;
    };
}

TEST(NetObject, ConstructedState)
{
    CNetObjectMgr manager(nullptr);
    Strong<CNetObject> p = MakeStrong<CNetObject>(&manager);
    EXPECT_EQ(p->GetFlags().m_usBits, 0x0930);
    EXPECT_EQ(p->GetId(), INVALID_NETWORK_ID);
    EXPECT_EQ(p->GetType(), 0);
    EXPECT_EQ(p->GetDimension(), 0);
    EXPECT_EQ(p->GetLowestCreatedClient(), -1);
    EXPECT_EQ(p->GetStreamInDistance(), 0.0f);
    EXPECT_TRUE(std::isinf(p->GetStreamOutDistance()));
    for (int i : {0, 1, 200, 255})
        EXPECT_EQ(p->GetClientState(i), CLIENT_STATE_EXISTS);
    CVector3D v;
    EXPECT_FALSE(p->GetPosition(v));
    EXPECT_FALSE(p->SetPosition(v));
    EXPECT_EQ(p->GetName(), nullptr);
    // The type mask test: mask 0 matches everything, a vehicle is physical but no ped.
    CTestElement vehicle(&manager, ELEMENT_VEHICLE);
    EXPECT_TRUE(vehicle.IsType(ELEMENT_ELEMENT));
    EXPECT_TRUE(vehicle.IsType(ELEMENT_PHYSICAL));
    EXPECT_FALSE(vehicle.IsType(ELEMENT_PED));
}

TEST_F(NetObjectTest, RelatedSendReachesJoinedClientsThatHaveTheElement)
{
    m_pElement->SetDimension(7);
    EXPECT_EQ(Recipients(PACKET_ELEMENT_DIMENSION), (std::vector<int>{0, 2}));
    SentPacket packet = m_World.m_Sender.Of(PACKET_ELEMENT_DIMENSION)[0];
    EXPECT_EQ(packet.m_Priority, PACKET_PRIORITY_LOW);
    EXPECT_EQ(packet.m_Flags, PACKET_FLAG_RELIABLE);
    EXPECT_EQ(packet.m_ucChannel, 0);
    CPayload r(packet.m_Payload);
    EXPECT_EQ(r.U16(), 1);
    EXPECT_EQ(r.I32(), m_pElement->GetId());
    EXPECT_EQ(r.I32(), 7);
    EXPECT_EQ(r.Remaining(), 0u);

    // The same value again sends nothing.
    m_World.m_Sender.Clear();
    m_pElement->SetDimension(7);
    EXPECT_TRUE(m_World.m_Sender.m_Sent.empty());

    // A local element sends nothing at all.
    m_pElement->SetId(INVALID_NETWORK_ID);
    m_pElement->SetDimension(8);
    EXPECT_TRUE(m_World.m_Sender.m_Sent.empty());
    m_pElement->SetId(1);
}

TEST_F(NetObjectTest, NamesAndTheNameMap)
{
    CTestElement* pOther = m_World.Add(ELEMENT_OBJECT);
    m_pElement->SetName("door");
    CPayload r(m_World.m_Sender.Of(PACKET_ELEMENT_NAME).at(0).m_Payload);
    EXPECT_EQ(r.U16(), 1);
    EXPECT_EQ(r.I32(), m_pElement->GetId());
    EXPECT_EQ(r.Str(), "door");
    EXPECT_EQ(m_World.m_Manager.GetObjectFromName("door"), m_pElement);

    // The last one named wins; renaming the earlier one must not unmap the later one.
    pOther->SetName("door");
    EXPECT_EQ(m_World.m_Manager.GetObjectFromName("door"), pOther);
    m_pElement->SetName("gate");
    EXPECT_EQ(m_World.m_Manager.GetObjectFromName("door"), pOther);
    EXPECT_EQ(m_World.m_Manager.GetObjectFromName("gate"), m_pElement);
    EXPECT_EQ(m_World.m_Manager.GetObjectFromName("Gate"), nullptr);

    // Clearing sends an empty name.
    m_World.m_Sender.Clear();
    m_pElement->SetName(nullptr);
    EXPECT_EQ(m_pElement->GetName(), nullptr);
    EXPECT_EQ(m_World.m_Manager.GetObjectFromName("gate"), nullptr);
    CPayload r2(m_World.m_Sender.Of(PACKET_ELEMENT_NAME).at(0).m_Payload);
    r2.U16();
    r2.I32();
    EXPECT_EQ(r2.Str(), "");
}

TEST_F(NetObjectTest, ParentPacketsAndChildSlots)
{
    CTestElement* pParent = m_World.Add(ELEMENT_VEHICLE);
    pParent->SetDimension(4);
    EXPECT_TRUE(m_pElement->SetParent(pParent));
    CPayload r(m_World.m_Sender.Of(PACKET_ELEMENT_PARENT).at(0).m_Payload);
    EXPECT_EQ(r.U16(), 1);
    EXPECT_EQ(r.I32(), m_pElement->GetId());
    EXPECT_EQ(r.I32(), pParent->GetId());
    EXPECT_EQ(pParent->GetChild(0), m_pElement);
    EXPECT_EQ(pParent->GetChildCount(), 1);
    // A child follows its parent's dimension (one level).
    EXPECT_EQ(m_pElement->GetDimension(), 0);
    EXPECT_EQ(m_pElement->GetEffectiveDimension(), 4);

    // The same parent again: false, nothing sent.
    m_World.m_Sender.Clear();
    EXPECT_FALSE(m_pElement->SetParent(pParent));
    EXPECT_TRUE(m_World.m_Sender.m_Sent.empty());

    // No parent: the packet carries -1.
    EXPECT_TRUE(m_pElement->SetParent(nullptr));
    CPayload r2(m_World.m_Sender.Of(PACKET_ELEMENT_PARENT).at(0).m_Payload);
    r2.U16();
    r2.I32();
    EXPECT_EQ(r2.I32(), -1);
    EXPECT_EQ(pParent->GetChildCount(), 0);
    EXPECT_EQ(pParent->GetChild(0), nullptr);
}

TEST_F(NetObjectTest, FullParentKeepsTheOldParent)
{
    CTestElement* pOld = m_World.Add(ELEMENT_DUMMY);
    CTestElement* pFull = m_World.Add(ELEMENT_DUMMY);
    for (int i = 0; i < MAX_NET_OBJECT_CHILDREN; ++i)
        ASSERT_TRUE(m_World.Add(ELEMENT_DUMMY)->SetParent(pFull));
    ASSERT_TRUE(m_pElement->SetParent(pOld));
    m_World.m_Sender.Clear();

    EXPECT_FALSE(m_pElement->SetParent(pFull));
    EXPECT_EQ(m_pElement->GetParent(), pOld);
    EXPECT_EQ(pOld->GetChild(0), m_pElement);
    EXPECT_EQ(pFull->GetChildCount(), MAX_NET_OBJECT_CHILDREN);
    EXPECT_TRUE(m_World.m_Sender.m_Sent.empty());

    // A freed slot is taken again, the first free one.
    pFull->GetChild(3)->SetParent(nullptr);
    EXPECT_TRUE(m_pElement->SetParent(pFull));
    EXPECT_EQ(pFull->GetChild(3), m_pElement);
    EXPECT_EQ(pOld->GetChildCount(), 0);
}

TEST_F(NetObjectTest, ParentLoopsAreRefused)
{
    CTestElement* pB = m_World.Add(ELEMENT_DUMMY);
    CTestElement* pC = m_World.Add(ELEMENT_DUMMY);
    ASSERT_TRUE(pB->SetParent(m_pElement));
    ASSERT_TRUE(pC->SetParent(pB));
    EXPECT_FALSE(m_pElement->SetParent(m_pElement));
    EXPECT_FALSE(m_pElement->SetParent(pC));
    EXPECT_EQ(m_pElement->GetParent(), nullptr);
}

TEST_F(NetObjectTest, SyncerRules)
{
    CNetMachine* pC = m_World.Client(2);
    m_pElement->SetSyncer(pC, false);
    CPayload r(m_World.m_Sender.Of(PACKET_ELEMENT_SYNCER).at(0).m_Payload);
    EXPECT_EQ(r.U16(), 1);
    EXPECT_EQ(r.I32(), m_pElement->GetId());
    EXPECT_EQ(r.I32(), 2);
    EXPECT_EQ(m_pElement->GetSyncer(), pC);

    // The same syncer sends nothing but still sets the forced flag.
    m_World.m_Sender.Clear();
    m_pElement->SetSyncer(pC, true);
    EXPECT_TRUE(m_World.m_Sender.m_Sent.empty());
    EXPECT_TRUE(m_pElement->HasFlag(NETOBJECT_FORCED_SYNCER));

    // A forced syncer ignores SetSyncerId, even -1.
    m_pElement->SetSyncerId(-1);
    m_pElement->SetSyncerId(0);
    EXPECT_EQ(m_pElement->GetSyncer(), pC);

    // None clears the forced flag; then SetSyncerId works, and an empty slot means none.
    m_pElement->SetSyncer(nullptr, true);
    EXPECT_FALSE(m_pElement->HasFlag(NETOBJECT_FORCED_SYNCER));
    m_pElement->SetSyncerId(0);
    EXPECT_EQ(m_pElement->GetSyncer(), m_pA);
    m_pElement->SetSyncerId(77);
    EXPECT_EQ(m_pElement->GetSyncer(), nullptr);
    m_pElement->SetSyncerId(300);
    EXPECT_EQ(m_pElement->GetSyncer(), nullptr);
}

TEST_F(NetObjectTest, TransientElementsLoseAlwaysExistForSyncerWithTheirSyncer)
{
    m_pElement->SetFlag(NETOBJECT_TRANSIENT, true);
    m_pElement->SetFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER, true);
    m_pElement->SetSyncer(m_pA, false);
    EXPECT_TRUE(m_pElement->HasFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER));
    m_pElement->SetSyncer(m_World.Client(1), false);
    EXPECT_FALSE(m_pElement->HasFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER));

    m_pElement->SetFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER, true);
    m_pElement->SetSyncer(nullptr, false);
    EXPECT_FALSE(m_pElement->HasFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER));
}

TEST_F(NetObjectTest, LowestCreatedClient)
{
    CNetObjectMgr manager(nullptr);
    CTestElement e(&manager, ELEMENT_OBJECT);
    EXPECT_EQ(e.GetLowestCreatedClient(), -1);
    e.SetCreatedFor(9, true);
    e.SetCreatedFor(4, true);
    e.SetCreatedFor(200, true);
    EXPECT_EQ(e.GetLowestCreatedClient(), 4);
    e.SetCreatedFor(9, false);
    EXPECT_EQ(e.GetLowestCreatedClient(), 4);
    e.SetCreatedFor(4, false);
    EXPECT_EQ(e.GetLowestCreatedClient(), 200);
    EXPECT_EQ(e.GetClientState(200), CLIENT_STATE_EXISTS | CLIENT_STATE_CREATED);
    e.SetCreatedFor(200, false);
    EXPECT_EQ(e.GetLowestCreatedClient(), -1);
    e.SetCreatedFor(256, true);
    e.SetCreatedFor(-1, true);
    EXPECT_EQ(e.GetLowestCreatedClient(), -1);
}

TEST_F(NetObjectTest, SyncAndExistencePermissions)
{
    CNetMachine* pB = m_World.Client(1);
    CTestElement* pParent = m_World.Add(ELEMENT_VEHICLE);
    // Without a syncer nothing is relayed to anyone.
    EXPECT_FALSE(m_pElement->CanSendSync(m_pA));
    m_pElement->SetSyncer(pB, false);
    EXPECT_TRUE(m_pElement->CanSendSync(m_pA));
    EXPECT_FALSE(m_pElement->CanSendSync(pB)); // never back to the syncer

    // onlySyncIfDetached: not relayed to a client that has the parent.
    m_pElement->SetFlag(NETOBJECT_ONLY_SYNC_IF_DETACHED, true);
    m_pElement->SetParent(pParent);
    EXPECT_FALSE(m_pElement->CanSendSync());
    EXPECT_TRUE(m_pElement->CanSendSync(m_pA));
    pParent->SetCreatedFor(m_pA, true);
    EXPECT_FALSE(m_pElement->CanSendSync(m_pA));
    m_pElement->SetFlag(NETOBJECT_ONLY_SYNC_IF_DETACHED, false);
    EXPECT_TRUE(m_pElement->CanSendSync());
    m_pElement->SetFlag(NETOBJECT_SEND_SYNC, false);
    EXPECT_FALSE(m_pElement->CanSendSync(m_pA));
    EXPECT_FALSE(m_pElement->CanSendSync());

    EXPECT_TRUE(m_pElement->CanExistForMachine(m_pA));
    m_pElement->SetExistsFor(m_pA, false);
    EXPECT_FALSE(m_pElement->CanExistForMachine(m_pA));
    EXPECT_TRUE(m_pElement->CanExistForMachine(pB));
    m_pElement->SetFlag(NETOBJECT_DEFAULT_EXISTANCE, false);
    EXPECT_FALSE(m_pElement->CanExistForMachine(pB));
    m_pElement->SetFlag(NETOBJECT_DEFAULT_EXISTANCE, true);
    m_pElement->SetFlag(NETOBJECT_NETWORKED, false);
    EXPECT_FALSE(m_pElement->CanExistForMachine(pB));
    EXPECT_FALSE(m_pElement->CanBeSyncer(pB));
}

TEST_F(NetObjectTest, DistanceToMachine)
{
    float fDistance = -1.0f;
    EXPECT_FALSE(m_pElement->GetDistanceToMachine(m_pA, fDistance)); // no player
    CTestElement* pPlayer = m_World.AddPlayer(m_pA, {3.0f, 4.0f, 12.0f});
    EXPECT_TRUE(m_pElement->GetDistanceToMachine(m_pA, fDistance));
    EXPECT_FLOAT_EQ(fDistance, 13.0f);
    pPlayer->m_bHasPosition = false;
    EXPECT_FALSE(m_pElement->GetDistanceToMachine(m_pA, fDistance));
}

TEST_F(NetObjectTest, DataPackets)
{
    CArgumentInteger value(42);
    EXPECT_TRUE(m_pElement->SetData("score", &value, true));
    EXPECT_EQ(Recipients(PACKET_ELEMENT_DATA), (std::vector<int>{0, 2}));
    CPayload r(m_World.m_Sender.Of(PACKET_ELEMENT_DATA)[0].m_Payload);
    EXPECT_EQ(r.U16(), 1);
    EXPECT_EQ(r.I32(), m_pElement->GetId());
    EXPECT_EQ(r.U16(), 1);
    EXPECT_EQ(r.Str(), "score");
    EXPECT_EQ(r.U8(), ARGUMENT_INTEGER);
    EXPECT_EQ(r.I32(), 42);
    EXPECT_EQ(r.Remaining(), 0u);
    // A copy is stored.
    value.m_Value = 7;
    int32_t iStored = 0;
    m_pElement->GetDataValue("score")->ToNumber(iStored);
    EXPECT_EQ(iStored, 42);

    // Without sync: stored, nothing sent.
    m_World.m_Sender.Clear();
    CArgumentString text("x");
    EXPECT_TRUE(m_pElement->SetData("quiet", &text, false));
    EXPECT_TRUE(m_World.m_Sender.m_Sent.empty());
    EXPECT_NE(m_pElement->GetDataValue("quiet"), nullptr);

    // A null value removes the key and still sends code 0.
    EXPECT_TRUE(m_pElement->SetData("score", nullptr, true));
    EXPECT_EQ(m_pElement->GetDataValue("score"), nullptr);
    CPayload r2(m_World.m_Sender.Of(PACKET_ELEMENT_DATA).at(0).m_Payload);
    r2.Skip(8);
    EXPECT_EQ(r2.Str(), "score");
    EXPECT_EQ(r2.U8(), ARGUMENT_NIL);
    EXPECT_EQ(r2.Remaining(), 0u);

    // RemoveData of an absent key sends nothing; of a present one, code 0.
    m_World.m_Sender.Clear();
    EXPECT_FALSE(m_pElement->RemoveData("score"));
    EXPECT_TRUE(m_World.m_Sender.m_Sent.empty());
    EXPECT_TRUE(m_pElement->RemoveData("quiet"));
    EXPECT_EQ(m_World.m_Sender.Of(PACKET_ELEMENT_DATA).size(), 2u);

    m_World.m_Sender.Clear();
    m_pElement->ClearData();
    CPayload r3(m_World.m_Sender.Of(PACKET_ELEMENT_CLEAR_DATA).at(0).m_Payload);
    EXPECT_EQ(r3.U16(), 1);
    EXPECT_EQ(r3.I32(), m_pElement->GetId());
    EXPECT_EQ(r3.Remaining(), 0u);
}

TEST_F(NetObjectTest, UnwritableOrOversizedDataIsRefusedBeforeSending)
{
    CLogCapture log;
    Strong<CTestElement> pHolder = MakeStrong<CTestElement>(&m_World.m_Manager, ELEMENT_OBJECT);
    CArgumentObject object(pHolder);
    EXPECT_FALSE(m_pElement->SetData("object", &object, true));
    CArgumentArray nested;
    nested.AddNumber(1);
    nested.Push(new CArgumentObject(pHolder));
    EXPECT_FALSE(m_pElement->SetData("nested", &nested, true));
    EXPECT_EQ(log.m_Errors.size(), 2u);

    // One big value fits; a second that would push the record past 65535 bytes does not.
    std::string big(40000, 'a');
    CArgumentString first(big);
    EXPECT_TRUE(m_pElement->SetData("first", &first, true));
    m_World.m_Sender.Clear();
    CArgumentString second(std::string(30000, 'b'));
    EXPECT_FALSE(m_pElement->SetData("second", &second, true));
    EXPECT_EQ(log.m_Errors.size(), 3u);
    // Replacing the big value by another of about the same size is fine.
    CArgumentString replacement(std::string(40010, 'c'));
    EXPECT_TRUE(m_pElement->SetData("first", &replacement, false));

    EXPECT_TRUE(m_World.m_Sender.m_Sent.empty());
    EXPECT_EQ(m_pElement->GetDataValue("object"), nullptr);
    EXPECT_EQ(m_pElement->GetDataValue("nested"), nullptr);
    EXPECT_EQ(m_pElement->GetDataValue("second"), nullptr);

    // The element still streams: its record fits.
    CNetMachine* pB = m_World.Client(1);
    m_pElement->SetFlag(NETOBJECT_DISTANCE_STREAMING, false);
    m_pElement->SetFlag(NETOBJECT_ON_ALL_DIMENSIONS, true);
    m_World.m_Manager.CreateObjectsAsNeeded(pB, 0);
    EXPECT_EQ(m_World.m_Sender.Of(PACKET_ELEMENT_CREATE, 1).size(), 1u);
}

TEST_F(NetObjectTest, CreatePayloadWritesAndReadsBack)
{
    CTestElement* pParent = m_World.Add(ELEMENT_VEHICLE);
    CTestElement* pTarget = m_World.Add(ELEMENT_PED);
    m_pElement->SetParent(pParent);
    m_pElement->SetSyncer(m_World.Client(2), false);
    m_pElement->SetDimension(-3);
    m_pElement->SetName("crate");
    CArgumentNetObject reference(pTarget, pTarget->GetId(), &m_World.m_Manager);
    m_pElement->SetData("target", &reference, false);

    CScratchStream stream;
    ASSERT_TRUE(m_pElement->WriteCreatePacket(&stream));
    std::vector<uint8_t> bytes(stream.GetData(), stream.GetData() + stream.GetSize());
    CPayload r(bytes);
    EXPECT_EQ(r.I32(), 2);
    EXPECT_EQ(r.I32(), pParent->GetId());
    EXPECT_EQ(r.I32(), -3);
    EXPECT_EQ(r.Str(), "crate");
    EXPECT_EQ(r.U16(), 1);
    EXPECT_EQ(r.Str(), "target");
    EXPECT_EQ(r.U8(), ARGUMENT_NETOBJECT);
    EXPECT_EQ(r.I32(), pTarget->GetId());
    EXPECT_EQ(r.F32(), 0.0f); // the test class's position follows

    // Read back into a fresh element: the reference resolves against this manager.
    Strong<CTestElement> pCopy = MakeStrong<CTestElement>(&m_World.m_Manager, ELEMENT_OBJECT);
    CMemoryStream in(bytes.data(), bytes.size());
    ASSERT_TRUE(pCopy->ReadCreatePacket(&in));
    EXPECT_EQ(pCopy->GetSyncer(), m_World.Client(2));
    EXPECT_EQ(pCopy->GetPendingParentId(), pParent->GetId());
    EXPECT_EQ(pCopy->GetDimension(), -3);
    EXPECT_STREQ(pCopy->GetName(), "crate");
    CArgument* pValue = pCopy->GetDataValue("target");
    ASSERT_NE(pValue, nullptr);
    EXPECT_EQ(pValue->ToObject(), pTarget);

    // Cut anywhere inside the data: the read fails, nothing crashes.
    for (size_t cut = 16; cut < bytes.size() - 12; ++cut) {
        Strong<CTestElement> pCut = MakeStrong<CTestElement>(&m_World.m_Manager, ELEMENT_OBJECT);
        CMemoryStream part(bytes.data(), cut);
        EXPECT_FALSE(pCut->ReadCreatePacket(&part)) << cut;
    }
}
