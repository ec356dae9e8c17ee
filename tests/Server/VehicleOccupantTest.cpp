// Occupants and seats: who sits in a vehicle, when a vehicle relays its sync, drivers taking
// over the sync, peds that stream with their vehicle, and what a vehicle's removal does to peds.
#include "ElementFixture.h"

#include <gtest/gtest.h>

using namespace ElementFixture;

namespace
{
    // Makes a ped sync that puts the ped into a vehicle and seat with an entering state.
    std::vector<uint8_t> PedSyncInVehicle(CServerPed* pPed, int32_t iVehicle, uint8_t ucSeat, uint8_t ucState)
    {
        std::vector<uint8_t> sync = SyncPayload(pPed);
        sync[52] = ucState;
        memcpy(&sync[53], &iVehicle, 4);
        sync[57] = ucSeat;
        return sync;
    }

    void Sit(CServerPed* pPed, CServerVehicle* pVehicle, uint8_t ucSeat, uint8_t ucState = VEHICLE_STATE_INSIDE)
    {
        ASSERT_TRUE(ReadAll(PedSyncInVehicle(pPed, pVehicle->GetId(), ucSeat, ucState), &CNetObject::ReadSyncPacket, pPed));
    }

    size_t SyncRecordsTo(CGameWorld& world, CNetMachine* pClient)
    {
        world.m_Sender.Clear();
        world.m_Manager.SendSync(pClient, PACKET_PRIORITY_LOW, PACKET_FLAG_NONE);
        auto sent = world.m_Sender.Of(PACKET_ELEMENT_SYNC, pClient->GetIndex());
        return sent.empty() ? 0 : ElementTesting::RecordIds(sent[0]).size();
    }
}

TEST(VehicleOccupant, SlotsYieldOnlyPedsThatStillSitThere)
{
    CGameWorld world;
    CServerVehicle* pVehicle = world.Add<CServerVehicle>(ELEMENT_VEHICLE);
    CServerVehicle* pOther = world.Add<CServerVehicle>(ELEMENT_VEHICLE);
    CServerPed* pPed = world.Add<CServerPed>(ELEMENT_PED);
    EXPECT_EQ(pVehicle->GetOccupant(0), nullptr);
    EXPECT_EQ(pVehicle->GetOccupant(9), nullptr);
    EXPECT_EQ(pVehicle->GetOccupant(1000), nullptr);

    Sit(pPed, pVehicle, 3);
    EXPECT_EQ(pVehicle->GetOccupant(3), pPed);
    EXPECT_TRUE(pVehicle->HasOccupant());
    // The ped moves to another seat: the old slot is stale.
    Sit(pPed, pVehicle, 4);
    EXPECT_EQ(pVehicle->GetOccupant(3), nullptr);
    EXPECT_EQ(pVehicle->GetOccupant(4), pPed);
    // And to another vehicle.
    Sit(pPed, pOther, 4);
    EXPECT_EQ(pVehicle->GetOccupant(4), nullptr);
    EXPECT_FALSE(pVehicle->HasOccupant());
    EXPECT_EQ(pOther->GetOccupant(4), pPed);

    // Seat 9 or more, or an id that is no vehicle, fills no slot.
    CServerPed* pSecond = world.Add<CServerPed>(ELEMENT_PED);
    Sit(pSecond, pVehicle, 9);
    EXPECT_FALSE(pVehicle->HasOccupant());
    CServerObject* pObject = world.Add<CServerObject>(ELEMENT_OBJECT);
    ASSERT_TRUE(ReadAll(PedSyncInVehicle(pSecond, pObject->GetId(), 0, VEHICLE_STATE_INSIDE),
        &CNetObject::ReadSyncPacket, pSecond));
    EXPECT_EQ(pSecond->GetVehicle(), nullptr);

    // A destroyed ped leaves its slot empty.
    Sit(pSecond, pVehicle, 0);
    EXPECT_EQ(pVehicle->GetOccupant(0), pSecond);
    world.m_Manager.DestroyObject(pSecond, true, false);
    EXPECT_EQ(pVehicle->GetOccupant(0), nullptr);
}

TEST(VehicleOccupant, EmptyVehicleRelaysNoSyncUntilSomebodySitsInIt)
{
    CGameWorld world;
    CNetMachine* pSyncer = world.AddClient(0);
    CNetMachine* pWatcher = world.AddClient(1);
    CServerVehicle* pVehicle = world.Add<CServerVehicle>(ELEMENT_VEHICLE);
    CServerPed* pPed = world.Add<CServerPed>(ELEMENT_PED);
    for (CNetObject* p : std::initializer_list<CNetObject*>{pVehicle, pPed}) {
        p->SetCreatedFor(pSyncer, true);
        p->SetCreatedFor(pWatcher, true);
        p->SetSyncer(pSyncer, false);
    }
    EXPECT_FALSE(pVehicle->CanSendSync());
    EXPECT_FALSE(pVehicle->CanSendSync(pWatcher));
    EXPECT_EQ(SyncRecordsTo(world, pWatcher), 1u); // the ped only

    Sit(pPed, pVehicle, 2, VEHICLE_STATE_ENTERING);
    EXPECT_TRUE(pVehicle->CanSendSync(pWatcher));
    EXPECT_EQ(SyncRecordsTo(world, pWatcher), 2u);
    // Its own syncer never hears it back.
    EXPECT_FALSE(pVehicle->CanSendSync(pSyncer));
}

TEST(VehicleOccupant, DriverTakesOverTheVehiclesSyncUnlessForced)
{
    CGameWorld world;
    CNetMachine* pFirst = world.AddClient(0);
    CNetMachine* pDriver = world.AddClient(1);
    CServerPlayer* pPlayer = world.AddPlayer(pDriver, {});
    CServerVehicle* pVehicle = world.Add<CServerVehicle>(ELEMENT_VEHICLE);
    pVehicle->SetSyncer(pFirst, false);

    // A vehicle the driver's client does not have is not taken over.
    Sit(pPlayer, pVehicle, 0);
    EXPECT_EQ(pVehicle->GetSyncer(), pFirst);
    pVehicle->SetCreatedFor(pDriver, true);

    // A passenger, or a driver still entering, takes nothing over.
    Sit(pPlayer, pVehicle, 1);
    EXPECT_EQ(pVehicle->GetSyncer(), pFirst);
    Sit(pPlayer, pVehicle, 0, VEHICLE_STATE_ENTERING);
    EXPECT_EQ(pVehicle->GetSyncer(), pFirst);
    Sit(pPlayer, pVehicle, 0);
    EXPECT_EQ(pVehicle->GetSyncer(), pDriver);

    // A script's forced syncer stays.
    pVehicle->SetSyncer(pFirst, true);
    Sit(pPlayer, pVehicle, 0);
    EXPECT_EQ(pVehicle->GetSyncer(), pFirst);

    // A plain ped driving takes nothing over.
    CServerVehicle* pCar = world.Add<CServerVehicle>(ELEMENT_VEHICLE);
    pCar->SetSyncer(pFirst, false);
    pCar->SetCreatedFor(pDriver, true);
    CServerPed* pPed = world.Add<CServerPed>(ELEMENT_PED);
    pPed->SetSyncer(pDriver, false);
    Sit(pPed, pCar, 0);
    EXPECT_EQ(pCar->GetSyncer(), pFirst);
}

TEST(VehicleOccupant, PedInVehicleStreamsWithItAndStaysHiddenWhenHidden)
{
    CGameWorld world;
    CNetMachine* pClient = world.AddClient(0);
    world.AddPlayer(pClient, {0, 0, 0});
    CServerVehicle* pVehicle = world.Add<CServerVehicle>(ELEMENT_VEHICLE, {500, 0, 0});
    CServerPed* pPed = world.Add<CServerPed>(ELEMENT_PED, {10, 0, 0});
    EXPECT_TRUE(pPed->CanExistForMachine(pClient));

    Sit(pPed, pVehicle, 1);
    // The vehicle is not on the client: neither is its passenger.
    EXPECT_FALSE(pPed->CanExistForMachine(pClient));
    pVehicle->SetCreatedFor(pClient, true);
    EXPECT_TRUE(pPed->CanExistForMachine(pClient));

    // A ped a script hid from the client stays hidden inside a vehicle the client has.
    pPed->SetExistsFor(pClient, false);
    EXPECT_FALSE(pPed->CanExistForMachine(pClient));
    pPed->SetExistsFor(pClient, true);
    pPed->SetFlag(NETOBJECT_DEFAULT_EXISTANCE, false);
    EXPECT_FALSE(pPed->CanExistForMachine(pClient));
}

TEST(VehicleOccupant, EnteringStatePacketsAndTheSyncerLearnsTheVehicleFirst)
{
    CGameWorld world;
    CNetMachine* pClient = world.AddClient(0);
    world.AddPlayer(pClient, {0, 0, 0});
    CServerVehicle* pVehicle = world.Add<CServerVehicle>(ELEMENT_VEHICLE, {5, 0, 0});
    CServerPed* pPed = world.Add<CServerPed>(ELEMENT_PED, {3, 0, 0});
    pPed->SetCreatedFor(pClient, true);
    pPed->SetSyncer(pClient, false);
    world.m_Sender.Clear();

    pPed->SetVehicleEnteringState(pVehicle, 2, VEHICLE_STATE_INSIDE);
    ASSERT_EQ(world.m_Sender.m_Sent.size(), 2u);
    EXPECT_EQ(world.m_Sender.m_Sent[0].m_uiId, PACKET_ELEMENT_CREATE);
    EXPECT_EQ(ElementTesting::RecordIds(world.m_Sender.m_Sent[0]), std::vector<int32_t>{pVehicle->GetId()});
    const SentPacket& state = world.m_Sender.m_Sent[1];
    EXPECT_EQ(state.m_uiId, PACKET_PED_VEHICLE_STATE);
    CBytes expected;
    expected.Put<int32_t>(pPed->GetId()).Put<int32_t>(pVehicle->GetId()).Put<uint8_t>(2).Put<uint8_t>(3);
    EXPECT_EQ(state.m_Payload, expected.m_Data);
    EXPECT_EQ(pPed->GetVehicleId(), pVehicle->GetId());
    EXPECT_EQ(pPed->GetSeat(), 2);

    // Without a vehicle: id -1 and the given seat are sent; the stored seat stays.
    world.m_Sender.Clear();
    pPed->SetVehicleEnteringState(nullptr, 5, VEHICLE_STATE_NONE);
    ASSERT_EQ(world.m_Sender.m_Sent.size(), 1u);
    CBytes none;
    none.Put<int32_t>(pPed->GetId()).Put<int32_t>(-1).Put<uint8_t>(5).Put<uint8_t>(0);
    EXPECT_EQ(world.m_Sender.m_Sent[0].m_Payload, none.m_Data);
    EXPECT_EQ(pPed->GetVehicleId(), -1);
    EXPECT_EQ(pPed->GetSeat(), 2);
}

TEST(VehicleOccupant, RemovingAVehicleReleasesOrDestroysItsPedsAndResetsTheRest)
{
    CGameWorld world;
    CNetMachine* pClient = world.AddClient(0);
    CServerVehicle* pVehicle = world.Add<CServerVehicle>(ELEMENT_VEHICLE);
    CServerVehicle* pOtherVehicle = world.Add<CServerVehicle>(ELEMENT_VEHICLE);
    CServerPlayer* pPlayer = world.AddPlayer(pClient, {});
    CServerPed* pOwned = world.Add<CServerPed>(ELEMENT_PED);
    Strong<CBaseObject> pResource = MakeStrong<CBaseObject>();
    pOwned->SetResource(pResource);
    CServerPed* pPassenger = world.Add<CServerPed>(ELEMENT_PED);
    CServerPed* pEntering = world.Add<CServerPed>(ELEMENT_PED);
    CServerPed* pExiting = world.Add<CServerPed>(ELEMENT_PED);
    CServerPed* pElsewhere = world.Add<CServerPed>(ELEMENT_PED);
    Sit(pPlayer, pVehicle, 0);
    Sit(pOwned, pVehicle, 1);
    Sit(pPassenger, pVehicle, 2);
    Sit(pEntering, pVehicle, 3, VEHICLE_STATE_ENTERING);
    Sit(pExiting, pVehicle, 4, VEHICLE_STATE_EXITING);
    Sit(pElsewhere, pOtherVehicle, 0);
    Weak<CServerPed> pPassengerRef(pPassenger);
    int32_t iVehicle = pVehicle->GetId();

    ASSERT_TRUE(world.m_Manager.DestroyObject(pVehicle, true, false));
    // Players and resource-owned peds are taken out.
    for (CServerPed* p : {static_cast<CServerPed*>(pPlayer), pOwned}) {
        EXPECT_TRUE(p->IsRegistered());
        EXPECT_EQ(p->GetVehicleId(), -1);
        EXPECT_EQ(p->GetVehicleEnteringState(), VEHICLE_STATE_NONE);
    }
    // Any other ped inside goes with the vehicle.
    EXPECT_FALSE(pPassengerRef);
    // Peds entering or leaving it forget it, so a new vehicle with the same id is not theirs.
    for (CServerPed* p : {pEntering, pExiting}) {
        EXPECT_TRUE(p->IsRegistered());
        EXPECT_EQ(p->GetVehicleId(), -1);
        EXPECT_EQ(p->GetVehicleEnteringState(), VEHICLE_STATE_NONE);
    }
    CServerVehicle* pNew = world.Add<CServerVehicle>(ELEMENT_VEHICLE, {}, false);
    pNew->SetId(iVehicle);
    ASSERT_TRUE(world.m_Manager.RegisterNetObject(pNew));
    EXPECT_EQ(pEntering->GetVehicle(), nullptr);
    EXPECT_EQ(pExiting->GetVehicle(), nullptr);
    // A ped in another vehicle is left alone.
    EXPECT_EQ(pElsewhere->GetVehicleId(), pOtherVehicle->GetId());
    EXPECT_EQ(pOtherVehicle->GetOccupant(0), pElsewhere);
}
