// Setters that tell clients: their packets, who receives them, and when nothing is sent.
#include "ElementFixture.h"

#include <gtest/gtest.h>

using namespace ElementFixture;

namespace
{
    class ElementSetter : public ::testing::Test
    {
    protected:
        void SetUp() override
        {
            m_pHas = m_World.AddClient(0);
            m_pLacks = m_World.AddClient(1);
        }
        template <class T>
        T* Created(int32_t iType)
        {
            T* p = m_World.Add<T>(iType, {1, 2, 3});
            p->SetCreatedFor(m_pHas, true);
            return p;
        }
        // The one packet sent since the last call, which must have gone to client 0 only.
        std::vector<uint8_t> Sent(unsigned uiId)
        {
            auto sent = m_World.m_Sender.m_Sent;
            m_World.m_Sender.Clear();
            EXPECT_EQ(sent.size(), 1u);
            if (sent.size() != 1)
                return {};
            EXPECT_EQ(sent[0].m_uiId, uiId);
            EXPECT_EQ(sent[0].m_iClient, 0);
            EXPECT_EQ(sent[0].m_ucChannel, 0);
            EXPECT_EQ(sent[0].m_Flags, PACKET_FLAG_RELIABLE);
            EXPECT_EQ(sent[0].m_Priority, PACKET_PRIORITY_LOW);
            return sent[0].m_Payload;
        }
        bool NothingSent()
        {
            bool bNothing = m_World.m_Sender.m_Sent.empty();
            m_World.m_Sender.Clear();
            return bNothing;
        }

        CGameWorld m_World;
        CNetMachine* m_pHas = nullptr;
        CNetMachine* m_pLacks = nullptr;
    };
}

TEST_F(ElementSetter, EntityModelAndInterior)
{
    CServerObject* pObject = Created<CServerObject>(ELEMENT_OBJECT);
    pObject->SetModelIndex(1500);
    EXPECT_EQ(Sent(PACKET_ENTITY_MODEL), CBytes().Put<int32_t>(pObject->GetId()).Put<int32_t>(1500).m_Data);
    pObject->SetInterior(7);
    EXPECT_EQ(Sent(PACKET_ENTITY_INTERIOR), CBytes().Put<int32_t>(pObject->GetId()).Put<uint8_t>(7).m_Data);

    // A local element stores both and sends nothing.
    CServerObject* pLocal = m_World.Add<CServerObject>(ELEMENT_OBJECT, {}, false);
    pLocal->SetModelIndex(1501);
    pLocal->SetInterior(2);
    EXPECT_TRUE(NothingSent());
    EXPECT_EQ(pLocal->GetModelIndex(), 1501);
    EXPECT_EQ(pLocal->GetInterior(), 2);
}

TEST_F(ElementSetter, PlayerPositionAndPedWeapons)
{
    CServerPlayer* pPlayer = Created<CServerPlayer>(ELEMENT_PLAYER);
    m_World.m_Sender.Clear();
    pPlayer->SetPosition({7, 8, 9});
    EXPECT_EQ(Sent(PACKET_PLAYER_POSITION),
        CBytes().Put<int32_t>(pPlayer->GetId()).Put<float>(7).Put<float>(8).Put<float>(9).m_Data);
    CVector3D pos;
    pPlayer->GetPosition(pos);
    EXPECT_EQ(pos, CVector3D(7, 8, 9));

    // A plain ped's position is not sent.
    CServerPed* pPed = Created<CServerPed>(ELEMENT_PED);
    pPed->SetPosition({1, 1, 1});
    EXPECT_TRUE(NothingSent());

    pPed->GiveWeapon(24, 70000, false);
    EXPECT_EQ(Sent(PACKET_PED_GIVE_WEAPON),
        CBytes().Put<int32_t>(pPed->GetId()).Put<int32_t>(24).Put<int32_t>(70000).Put<uint8_t>(0).m_Data);
    EXPECT_EQ(pPed->GetWeapon(), 0);
    pPed->GiveWeapon(24, 90, true);
    EXPECT_EQ(Sent(PACKET_PED_GIVE_WEAPON),
        CBytes().Put<int32_t>(pPed->GetId()).Put<int32_t>(24).Put<int32_t>(90).Put<uint8_t>(1).m_Data);
    EXPECT_EQ(pPed->GetWeapon(), 24);
    EXPECT_EQ(pPed->GetAmmunition(), 90);
}

TEST_F(ElementSetter, VehicleColoursFixLockAndEngine)
{
    CServerVehicle* pVehicle = Created<CServerVehicle>(ELEMENT_VEHICLE);
    int32_t iId = pVehicle->GetId();
    pVehicle->m_ucColours[0] = 1;
    pVehicle->m_ucColours[1] = 3;
    pVehicle->ApplyColourChanges();
    EXPECT_EQ(Sent(PACKET_VEHICLE_COLOURS),
        CBytes().Put<int32_t>(iId).Put<uint8_t>(0).Put<uint8_t>(1).Put<uint8_t>(3).Put<uint8_t>(0).Put<uint8_t>(0).m_Data);
    pVehicle->m_bRGBColours = true;
    pVehicle->m_uiRGBColours[0] = 0xFFFF0000;
    pVehicle->m_uiRGBColours[3] = 0x12345678;
    pVehicle->ApplyColourChanges();
    EXPECT_EQ(Sent(PACKET_VEHICLE_COLOURS), CBytes()
                                                .Put<int32_t>(iId)
                                                .Put<uint8_t>(1)
                                                .Put<uint32_t>(0xFFFF0000)
                                                .Put<uint32_t>(0)
                                                .Put<uint32_t>(0)
                                                .Put<uint32_t>(0x12345678)
                                                .m_Data);

    pVehicle->m_fHealth = 20.0f;
    pVehicle->Fix();
    EXPECT_EQ(pVehicle->m_fHealth, 1000.0f);
    EXPECT_EQ(Sent(PACKET_VEHICLE_FIX), CBytes().Put<int32_t>(iId).m_Data);

    pVehicle->SetDoorsLocked(1); // unchanged
    EXPECT_TRUE(NothingSent());
    pVehicle->SetDoorsLocked(2);
    EXPECT_EQ(Sent(PACKET_VEHICLE_LOCKED), CBytes().Put<int32_t>(iId).Put<uint8_t>(2).m_Data);
    pVehicle->SetDoorsLocked(2);
    EXPECT_TRUE(NothingSent());

    pVehicle->SetEngine(false); // unchanged
    EXPECT_TRUE(NothingSent());
    pVehicle->SetEngine(true);
    EXPECT_EQ(Sent(PACKET_VEHICLE_ENGINE), CBytes().Put<int32_t>(iId).Put<uint8_t>(1).m_Data);
    pVehicle->SetEngine(true);
    EXPECT_TRUE(NothingSent());
}
