// The element manager: registration, ids, lookups, pending parents and destruction.
#include "ElementTesting.h"

using namespace ElementTesting;

TEST(NetObjectMgr, IdsCountUpAndRestartWhenAllAreGone)
{
    CElementWorld world;
    CTestElement* a = world.Add(ELEMENT_OBJECT);
    CTestElement* b = world.Add(ELEMENT_OBJECT);
    CTestElement* c = world.Add(ELEMENT_OBJECT);
    EXPECT_EQ(a->GetId(), 1);
    EXPECT_EQ(b->GetId(), 2);
    EXPECT_EQ(c->GetId(), 3);
    EXPECT_EQ(b->GetPoolSlot(), 1u);

    // A freed id is not reused at once; the freed pool slot is.
    EXPECT_TRUE(world.m_Manager.DestroyObject(b, true, false));
    CTestElement* d = world.Add(ELEMENT_OBJECT);
    EXPECT_EQ(d->GetId(), 4);
    EXPECT_EQ(d->GetPoolSlot(), 1u);

    // Once every element is gone, numbering starts at 1 again.
    for (CTestElement* p : {a, c, d})
        world.m_Manager.DestroyObject(p, true, false);
    EXPECT_EQ(world.m_Manager.GetCount(), 0u);
    EXPECT_EQ(world.Add(ELEMENT_OBJECT)->GetId(), 1);
}

TEST(NetObjectMgr, IdsWrapAfter32767AndSkipIdsInUse)
{
    CElementWorld world;
    world.Add(ELEMENT_OBJECT); // keeps id 1 in use
    CTestElement* pThree = nullptr;
    for (int i = 2; i <= CNetObjectMgr::MAX_ALLOCATED_ID; ++i) {
        CTestElement* p = world.Add(ELEMENT_OBJECT);
        ASSERT_EQ(p->GetId(), i);
        if (i == 3)
            pThree = p; // stays
        else
            world.m_Manager.DestroyObject(p, true, false);
    }
    ASSERT_NE(pThree, nullptr);
    EXPECT_EQ(world.Add(ELEMENT_OBJECT)->GetId(), 2);
    EXPECT_EQ(world.Add(ELEMENT_OBJECT)->GetId(), 4);
}

TEST(NetObjectMgr, FullPoolLeavesTheElementLocal)
{
    CElementWorld world(3);
    for (int i = 0; i < 3; ++i)
        world.Add(ELEMENT_OBJECT);
    Strong<CTestElement> p = MakeStrong<CTestElement>(&world.m_Manager, ELEMENT_OBJECT);
    EXPECT_FALSE(world.m_Manager.RegisterNetObject(p));
    EXPECT_FALSE(p->IsRegistered());
    EXPECT_EQ(p->GetId(), INVALID_NETWORK_ID);
    // Registering twice is fine.
    CTestElement* pFirst = static_cast<CTestElement*>(world.m_Manager.GetObjectInSlot(0));
    EXPECT_TRUE(world.m_Manager.RegisterNetObject(pFirst));
    EXPECT_EQ(world.m_Manager.GetCount(), 3u);
}

TEST(NetObjectMgr, LookupsByIdNameAndTypeInPoolOrder)
{
    CElementWorld world;
    CTestElement* pCar = world.Add(ELEMENT_VEHICLE);
    CTestElement* pPed = world.Add(ELEMENT_PED);
    CTestElement* pPlayer = world.Add(ELEMENT_PLAYER);
    world.m_Manager.DestroyObject(pCar, true, false);
    CTestElement* pTrain = world.Add(ELEMENT_TRAIN); // takes slot 0
    pPed->SetName("bob");

    EXPECT_EQ(world.m_Manager.GetObjectFromId(pPed->GetId()), pPed);
    EXPECT_EQ(world.m_Manager.GetObjectFromId(-1), nullptr);
    EXPECT_EQ(world.m_Manager.GetObjectFromId(999), nullptr);
    EXPECT_EQ(world.m_Manager.FindNetObject(pPed->GetId()), pPed);
    EXPECT_EQ(world.m_Manager.GetObjectFromName("bob"), pPed);

    std::vector<CNetObject*> peds, vehicles, all;
    world.m_Manager.GetObjectsOfType(ELEMENT_PED, peds);
    world.m_Manager.GetObjectsOfType(ELEMENT_VEHICLE, vehicles);
    world.m_Manager.GetObjectsOfType(ELEMENT_ELEMENT, all);
    EXPECT_EQ(peds, (std::vector<CNetObject*>{pPed, pPlayer}));
    EXPECT_EQ(vehicles, (std::vector<CNetObject*>{pTrain}));
    EXPECT_EQ(all, (std::vector<CNetObject*>{pTrain, pPed, pPlayer}));
}

TEST(NetObjectMgr, ChildrenAttachWhenTheirParentRegisters)
{
    CElementWorld world;
    // Ids are given by hand here, as a create payload from elsewhere would carry them.
    std::vector<Strong<CTestElement>> children;
    for (int i = 0; i < 3; ++i) {
        children.push_back(MakeStrong<CTestElement>(&world.m_Manager, ELEMENT_PED));
        children.back()->SetPendingParentId(500);
        ASSERT_TRUE(world.m_Manager.RegisterNetObject(children.back()));
    }
    Strong<CTestElement> pOrphan = MakeStrong<CTestElement>(&world.m_Manager, ELEMENT_PED);
    pOrphan->SetPendingParentId(501);
    world.m_Manager.RegisterNetObject(pOrphan);
    for (auto& p : children)
        EXPECT_EQ(p->GetParent(), nullptr);

    Strong<CTestElement> pParent = MakeStrong<CTestElement>(&world.m_Manager, ELEMENT_VEHICLE);
    pParent->SetId(500);
    ASSERT_TRUE(world.m_Manager.RegisterNetObject(pParent));
    EXPECT_EQ(pParent->GetId(), 500);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(children[i]->GetParent(), pParent.Get());
        EXPECT_EQ(pParent->GetChild(i), children[i].Get()); // pool order
    }
    EXPECT_EQ(pOrphan->GetParent(), nullptr);

    // A child registering after its parent attaches at once.
    Strong<CTestElement> pLate = MakeStrong<CTestElement>(&world.m_Manager, ELEMENT_PED);
    pLate->SetPendingParentId(500);
    world.m_Manager.RegisterNetObject(pLate);
    EXPECT_EQ(pLate->GetParent(), pParent.Get());

    // A waiting child that is destroyed is forgotten: a later element with that id finds nobody.
    world.m_Manager.DestroyObject(pOrphan, true, false);
    Strong<CTestElement> p501 = MakeStrong<CTestElement>(&world.m_Manager, ELEMENT_VEHICLE);
    p501->SetId(501);
    world.m_Manager.RegisterNetObject(p501);
    EXPECT_EQ(p501->GetChildCount(), 0);
}

TEST(NetObjectMgr, ManyChildrenWaitForTheirParents)
{
    // Children loaded before their parents; each parent registration attaches exactly the
    // children that wait for its id.
    CElementWorld world;
    std::vector<Strong<CTestElement>> children, parents;
    for (int i = 0; i < 8000; ++i) {
        children.push_back(MakeStrong<CTestElement>(&world.m_Manager, ELEMENT_DUMMY));
        children.back()->SetPendingParentId(100000 + i % 1000);
        ASSERT_TRUE(world.m_Manager.RegisterNetObject(children.back()));
    }
    for (int i = 0; i < 1000; ++i) {
        parents.push_back(MakeStrong<CTestElement>(&world.m_Manager, ELEMENT_DUMMY));
        parents.back()->SetId(100000 + i);
        ASSERT_TRUE(world.m_Manager.RegisterNetObject(parents.back()));
        EXPECT_EQ(parents.back()->GetChildCount(), 8);
    }
    for (int i = 0; i < 8000; ++i)
        ASSERT_EQ(children[i]->GetParent(), parents[i % 1000].Get());
}

TEST(NetObjectMgr, TreesStayShallowEnoughToDestroy)
{
    CElementWorld world;
    std::vector<CTestElement*> chain{world.Add(ELEMENT_DUMMY)};
    while (chain.size() < MAX_NET_OBJECT_DEPTH) {
        chain.push_back(world.Add(ELEMENT_DUMMY));
        ASSERT_TRUE(chain.back()->SetParent(chain[chain.size() - 2]));
    }
    CTestElement* pExtra = world.Add(ELEMENT_DUMMY);
    EXPECT_FALSE(pExtra->SetParent(chain.back()));
    // Nor can a subtree be hung below a chain when the sum is too deep.
    CTestElement* pTop = world.Add(ELEMENT_DUMMY);
    ASSERT_TRUE(pExtra->SetParent(pTop));
    EXPECT_FALSE(pTop->SetParent(chain[chain.size() - 2]));
    EXPECT_TRUE(pTop->SetParent(chain[chain.size() - 3]));
    EXPECT_TRUE(world.m_Manager.DestroyObject(chain[0], true, false));
    EXPECT_EQ(world.m_Manager.GetCount(), 0u);
}

TEST(NetObjectMgr, DestroyingSendsDeletesToAcceptedClientsThenTakesTheChildren)
{
    CElementWorld world;
    world.AddClient(0);
    world.AddClient(1, false); // accepted, not yet joined
    world.AddConsole();
    CTestElement* pParent = world.Add(ELEMENT_VEHICLE);
    CTestElement* pChild = world.Add(ELEMENT_PED);
    CTestElement* pGrandChild = world.Add(ELEMENT_BLIP);
    pChild->SetParent(pParent);
    pGrandChild->SetParent(pChild);
    pParent->SetName("car");
    for (CTestElement* p : {pParent, pChild, pGrandChild})
        p->SetCreatedFor(0, true);
    Weak<CNetObject> weakParent(pParent), weakChild(pChild);
    world.m_Sender.Clear();

    int32_t iParent = pParent->GetId(), iChild = pChild->GetId(), iGrandChild = pGrandChild->GetId();
    EXPECT_TRUE(world.m_Manager.DestroyObject(pParent, true, false));

    // The parent's delete first, then each child's own, to every accepted client but the console.
    std::vector<int32_t> order;
    for (const SentPacket& p : world.m_Sender.m_Sent) {
        ASSERT_EQ(p.m_uiId, PACKET_ELEMENT_DELETE);
        EXPECT_EQ(p.m_Priority, PACKET_PRIORITY_LOW);
        EXPECT_EQ(p.m_Flags, PACKET_FLAG_RELIABLE);
        std::vector<int32_t> ids = DeletedIds(p);
        ASSERT_EQ(ids.size(), 1u);
        if (p.m_iClient == 0)
            order.push_back(ids[0]);
        EXPECT_NE(p.m_iClient, 255);
    }
    EXPECT_EQ(order, (std::vector<int32_t>{iParent, iChild, iGrandChild}));
    EXPECT_EQ(world.m_Sender.m_Sent.size(), 6u);
    EXPECT_EQ(world.m_Events.m_Log,
        (std::vector<std::string>{"destroy " + std::to_string(iParent), "unbind " + std::to_string(iParent),
            "destroy " + std::to_string(iChild), "unbind " + std::to_string(iChild),
            "destroy " + std::to_string(iGrandChild), "unbind " + std::to_string(iGrandChild)}));

    EXPECT_EQ(world.m_Manager.GetCount(), 0u);
    EXPECT_EQ(world.m_Manager.GetObjectFromName("car"), nullptr);
    EXPECT_EQ(world.m_Manager.GetObjectFromId(iChild), nullptr);
    // Scripts that still hold the elements see them gone.
    EXPECT_EQ(weakParent.Get(), nullptr);
    EXPECT_EQ(weakChild.Get(), nullptr);
}

TEST(NetObjectMgr, DestroyResetsTheElementAndItsClients)
{
    CElementWorld world;
    CNetMachine* pA = world.AddClient(0);
    CTestElement* pPlayer = world.AddPlayer(pA, {});
    Strong<CTestElement> pKeep(pPlayer);
    CArgumentInteger value(1);
    pPlayer->SetData("k", &value, false);
    pPlayer->SetCreatedFor(pA, true);
    pPlayer->SetExistsFor(world.AddClient(1), false);
    Strong<CTestElement> pResource = MakeStrong<CTestElement>(&world.m_Manager, ELEMENT_DUMMY);
    pPlayer->SetResource(pResource);

    EXPECT_TRUE(world.m_Manager.DestroyObject(pPlayer, true, false));
    EXPECT_EQ(pA->GetPlayer(), nullptr);
    EXPECT_EQ(pA->GetPlayerId(), -1);
    EXPECT_EQ(pPlayer->GetId(), INVALID_NETWORK_ID);
    EXPECT_FALSE(pPlayer->IsRegistered());
    EXPECT_TRUE(pPlayer->IsDeleting());
    EXPECT_EQ(pPlayer->GetData().GetCount(), 0u);
    EXPECT_EQ(pPlayer->GetResource(), nullptr);
    EXPECT_EQ(pPlayer->GetLowestCreatedClient(), -1);
    for (int i : {0, 1})
        EXPECT_EQ(pPlayer->GetClientState(i), CLIENT_STATE_EXISTS);
    // A second destruction is refused.
    EXPECT_FALSE(world.m_Manager.DestroyObject(pPlayer, true, true));
}

TEST(NetObjectMgr, OnlyLocalElementsCanBeKeptByTheDestroyEvent)
{
    CElementWorld world;
    world.m_Events.m_Destroy = [](CNetObject*) { return false; };

    CTestElement* pNetworked = world.Add(ELEMENT_OBJECT);
    EXPECT_TRUE(world.m_Manager.DestroyObject(pNetworked, true, false));
    EXPECT_EQ(world.m_Manager.GetCount(), 0u);

    CTestElement* pLocal = world.Add(ELEMENT_OBJECT);
    pLocal->SetId(INVALID_NETWORK_ID);
    world.m_Sender.Clear();
    EXPECT_FALSE(world.m_Manager.DestroyObject(pLocal, true, false));
    EXPECT_FALSE(pLocal->IsDeleting());
    EXPECT_TRUE(pLocal->IsRegistered());
    EXPECT_TRUE(world.m_Manager.DestroyObject(pLocal, true, true)); // forced
    EXPECT_TRUE(world.m_Sender.m_Sent.empty());
    EXPECT_EQ(world.m_Manager.GetCount(), 0u);

    CTestElement* pStubborn = world.Add(ELEMENT_OBJECT);
    pStubborn->m_bCanBeDeleted = false;
    EXPECT_FALSE(world.m_Manager.DestroyObject(pStubborn, true, true));
    EXPECT_FALSE(pStubborn->IsDeleting());
    pStubborn->m_bCanBeDeleted = true;
}

TEST(NetObjectMgr, ChildThatCannotBeDestroyedIsDetached)
{
    CElementWorld world;
    CTestElement* pParent = world.Add(ELEMENT_VEHICLE);
    CTestElement* pChild = world.Add(ELEMENT_PED);
    pChild->SetParent(pParent);
    pChild->m_bCanBeDeleted = false;
    EXPECT_TRUE(world.m_Manager.DestroyObject(pParent, true, false));
    EXPECT_TRUE(pChild->IsRegistered());
    EXPECT_EQ(pChild->GetParent(), nullptr);
    pChild->m_bCanBeDeleted = true;
}

TEST(NetObjectMgr, ShutdownDestroysEverythingInPoolOrder)
{
    CElementWorld world;
    CTestElement* a = world.Add(ELEMENT_OBJECT);
    CTestElement* b = world.Add(ELEMENT_OBJECT);
    world.Add(ELEMENT_OBJECT)->SetParent(a);
    int32_t ia = a->GetId(), ib = b->GetId();
    world.m_Manager.Shutdown();
    EXPECT_EQ(world.m_Manager.GetCount(), 0u);
    ASSERT_GE(world.m_Events.m_Log.size(), 4u);
    EXPECT_EQ(world.m_Events.m_Log[0], "destroy " + std::to_string(ia));
    EXPECT_EQ(world.m_Events.m_Log[2], "destroy 3"); // a's child, with a
    EXPECT_EQ(world.m_Events.m_Log[4], "destroy " + std::to_string(ib));
}

TEST(NetObjectMgr, ElementDataEncoding)
{
    CElementWorld world;
    CArgumentMap data;
    CArgumentString text("abc");
    ASSERT_TRUE(world.m_Manager.SetData(data, "t", &text));
    CScratchStream out;
    ASSERT_TRUE(world.m_Manager.WriteData(data, &out));
    std::vector<uint8_t> bytes(out.GetData(), out.GetData() + out.GetSize());
    EXPECT_EQ(bytes, (std::vector<uint8_t>{1, 0, 1, 't', ARGUMENT_STRING, 3, 'a', 'b', 'c'}));

    // Code 0 in a payload removes the key.
    std::vector<uint8_t> removal{1, 0, 1, 't', ARGUMENT_NIL};
    CMemoryStream in(removal.data(), removal.size());
    EXPECT_TRUE(world.m_Manager.ReadData(data, &in));
    EXPECT_EQ(data.GetCount(), 0u);

    // Unreadable codes and truncated entries fail.
    for (std::vector<uint8_t> bad : {std::vector<uint8_t>{1, 0, 1, 't', ARGUMENT_OBJECT},
             std::vector<uint8_t>{2, 0, 1, 't', ARGUMENT_BOOLEAN, 1}, std::vector<uint8_t>{1, 0, 5, 't'},
             std::vector<uint8_t>{1}}) {
        CMemoryStream s(bad.data(), bad.size());
        EXPECT_FALSE(world.m_Manager.ReadData(data, &s));
    }
    EXPECT_FALSE(world.m_Manager.SetData(data, "x", nullptr) && data.Get("x"));
}
