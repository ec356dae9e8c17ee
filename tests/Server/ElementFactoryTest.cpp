// The element factory: the class, flags and stream distances of every type mask.
#include "ElementFixture.h"

#include <gtest/gtest.h>

using namespace ElementFixture;

TEST(ElementFactory, EveryTypeGetsItsClassFlagsAndDistances)
{
    CGameWorld world;
    world.m_Server.m_fStreamInDistance = 120.0f;
    world.m_Server.m_fStreamOutDistance = 240.0f;
    world.m_Server.m_fPickupStreamInDistance = 30.0f;
    world.m_Server.m_fPickupStreamOutDistance = 60.0f;

    const uint16_t base = NetObjectFlags::DEFAULT;
    const uint16_t ds = NETOBJECT_DISTANCE_STREAMING, always = NETOBJECT_ALWAYS_EXIST_FOR_SYNCER;
    const uint16_t find = NETOBJECT_FIND_SYNCER, send = NETOBJECT_SEND_SYNC, detached = NETOBJECT_ONLY_SYNC_IF_DETACHED;
    struct
    {
        int32_t iType;
        uint16_t usFlags;
        bool bPickupDistances;
    } cases[] = {
        {ELEMENT_PED, uint16_t(base | ds), false},
        {ELEMENT_PLAYER, uint16_t(base | ds | always), false},
        {ELEMENT_VEHICLE, uint16_t(base | ds), false},
        {ELEMENT_TRAIN, uint16_t(base | always), false},
        {ELEMENT_BLIP, uint16_t((base | ds | detached) & ~find), false},
        {ELEMENT_OBJECT, uint16_t((base | ds) & ~(find | send)), false},
        {ELEMENT_BUILDING, uint16_t((base | ds) & ~(find | send)), false},
        {ELEMENT_PICKUP, uint16_t((base | ds) & ~(find | send)), true},
        {ELEMENT_MARKER, uint16_t((base | ds) & ~(find | send)), false},
        {ELEMENT_DUMMY, uint16_t((base | ds) & ~(find | send)), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.iType);
        Strong<CNetObject> p = Strong<CNetObject>::Adopt(world.m_Manager.Create(c.iType));
        ASSERT_TRUE(p);
        EXPECT_EQ(p->GetType(), c.iType);
        EXPECT_EQ(p->GetFlags().m_usBits, c.usFlags);
        EXPECT_EQ(p->GetStreamInDistance(), c.bPickupDistances ? 30.0f : 120.0f);
        EXPECT_EQ(p->GetStreamOutDistance(), c.bPickupDistances ? 60.0f : 240.0f);
        EXPECT_EQ(p->GetId(), INVALID_NETWORK_ID);
        EXPECT_FALSE(p->IsRegistered());
    }
    EXPECT_TRUE(dynamic_cast<CServerPlayer*>(Strong<CNetObject>::Adopt(world.m_Manager.Create(ELEMENT_PLAYER)).Get()));
    EXPECT_TRUE(dynamic_cast<CServerTrain*>(Strong<CNetObject>::Adopt(world.m_Manager.Create(ELEMENT_TRAIN)).Get()));

    // Masks without a class of their own build nothing.
    for (int32_t iType : std::initializer_list<int32_t>{0, 2, 6, 14, 32, -1, 142 | 4096})
        EXPECT_EQ(world.m_Manager.Create(iType), nullptr) << iType;

    // A later change of the server's distances affects only newer elements.
    Strong<CNetObject> pOld = Strong<CNetObject>::Adopt(world.m_Manager.Create(ELEMENT_PED));
    world.m_Server.m_fStreamInDistance = 10.0f;
    EXPECT_EQ(pOld->GetStreamInDistance(), 120.0f);
    EXPECT_EQ(Strong<CNetObject>::Adopt(world.m_Manager.Create(ELEMENT_PED))->GetStreamInDistance(), 10.0f);
}

TEST(ElementFactory, NewElementsStartWithTheirDefaults)
{
    CGameWorld world;
    CServerPed* pPed = world.Add<CServerPed>(ELEMENT_PED);
    EXPECT_EQ(pPed->GetModelIndex(), -1);
    EXPECT_EQ(pPed->GetHealth(), 100.0f);
    EXPECT_EQ(pPed->GetArmour(), 0.0f);
    EXPECT_EQ(pPed->GetVehicleId(), -1);
    EXPECT_EQ(pPed->GetPedState(), -1);
    EXPECT_EQ(pPed->GetLocalHandle(), -1);
    EXPECT_EQ(pPed->GetMatrix().At(0, 0), 1.0f);
    EXPECT_EQ(pPed->GetMatrix().At(3, 3), 1.0f);
    CServerVehicle* pVehicle = world.Add<CServerVehicle>(ELEMENT_VEHICLE);
    EXPECT_EQ(pVehicle->m_fHealth, 1000.0f);
    EXPECT_EQ(pVehicle->m_iLockStatus, 1);
    EXPECT_FALSE(pVehicle->m_bEngine);
    CServerBlip* pBlip = world.Add<CServerBlip>(ELEMENT_BLIP);
    EXPECT_EQ(pBlip->m_ucFlags, 1);
    EXPECT_EQ(pBlip->m_ucSize, 3);
    EXPECT_EQ(pBlip->m_uiValue, 0xFF00FFu);
}
