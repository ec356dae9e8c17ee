// Create and sync payloads of the entity, ped, player and simple element classes: exact bytes
// where clients depend on them, round trips, the GTA IV variants and short payloads.
#include "ElementFixture.h"

#include <gtest/gtest.h>

using namespace ElementFixture;

namespace
{
    // A ped sync of a game other than GTA IV, as a client writes it.
    CBytes PedSyncBytes(bool bBlob)
    {
        CBytes b;
        b.Put<int32_t>(7)                                                    // ped state word
            .Put<float>(10.0f).Put<float>(20.0f).Put<float>(3.0f)            // position
            .Put<float>(0.5f).Put<float>(-0.5f).Put<float>(0.25f)            // ped vector
            .Put<float>(1.0f).Put<float>(2.0f).Put<float>(0.0f)              // velocity
            .Put<float>(0.75f).Put<float>(0.5f)                              // current heading, heading
            .Put<float>(80.0f)                                               // health
            .Put<uint8_t>(4).Put<int32_t>(-1).Put<uint8_t>(2)                // entering state, vehicle, seat
            .Put<uint16_t>(31)                                               // weapon
            .Put<uint16_t>(250).Put<uint16_t>(30).Put<uint8_t>(1)            // ammunition, clip, weapon state
            .Put<float>(45.0f).Put<uint8_t>(9);                              // armour, ped byte
        if (bBlob)
            b.Put<uint8_t>(1).Put<uint16_t>(3).Put<uint8_t>(0xAA).Put<uint8_t>(0xBB).Put<uint8_t>(0xCC);
        else
            b.Put<uint8_t>(0);
        return b;
    }

    CBytes PlayerBlock()
    {
        CBytes b;
        b.Put<uint16_t>(0x1234);
        for (int i = 0; i < 48; ++i)
            b.Put<uint8_t>(static_cast<uint8_t>(i));
        return b.Put<uint32_t>(0xDEADBEEF).Put<uint8_t>(1).Put<uint16_t>(77);
    }
}

TEST(ElementPayload, PedSyncOfOtherGamesHasExactBytesBothWays)
{
    for (bool bBlob : {false, true}) {
        SCOPED_TRACE(bBlob ? "with blob B" : "without blob B");
        CGameWorld world(GAME_SA);
        CServerPed* pPed = world.Add<CServerPed>(ELEMENT_PED);
        CBytes bytes = PedSyncBytes(bBlob);
        ASSERT_TRUE(ReadAll(bytes.m_Data, &CNetObject::ReadSyncPacket, pPed));

        EXPECT_EQ(pPed->GetPedState(), 7);
        CVector3D pos;
        pPed->GetPosition(pos);
        EXPECT_EQ(pos, CVector3D(10, 20, 3));
        EXPECT_EQ(pPed->GetPedVector(), CVector3D(0.5f, -0.5f, 0.25f));
        EXPECT_EQ(pPed->GetVelocity(), CVector3D(1, 2, 0));
        EXPECT_EQ(pPed->GetCurrentHeading(), 0.75f);
        EXPECT_EQ(pPed->GetHeading(), 0.5f);
        EXPECT_EQ(pPed->GetHealth(), 80.0f);
        EXPECT_TRUE(pPed->IsExitingVehicle());
        EXPECT_EQ(pPed->GetSeat(), 2);
        EXPECT_EQ(pPed->GetWeapon(), 31);
        EXPECT_EQ(pPed->GetAmmunition(), 250);
        EXPECT_EQ(pPed->GetClipAmmunition(), 30);
        EXPECT_EQ(pPed->GetWeaponState(), 1);
        EXPECT_EQ(pPed->GetArmour(), 45.0f);
        EXPECT_EQ(pPed->GetPedByte(), 9);
        EXPECT_EQ(pPed->GetBlobB().HasData(), bBlob);
        EXPECT_EQ(SyncPayload(pPed), bytes.m_Data);
    }
}

TEST(ElementPayload, FreshPedAndPlayerRecordsHaveExactBytes)
{
    CGameWorld world(GAME_III);
    CServerPed* pPed = world.Add<CServerPed>(ELEMENT_PED, {1, 2, 3});
    pPed->SetPedType(21);
    pPed->SetModelIndex(7);

    CBytes create;
    BaseCreate(create).Put<int32_t>(7).Put<uint8_t>(0).Put<uint8_t>(0).Put<int32_t>(21);
    EXPECT_EQ(CreatePayload(pPed), create.m_Data);

    CBytes sync;
    sync.Put<int32_t>(-1).Put<float>(1).Put<float>(2).Put<float>(3);
    for (int i = 0; i < 8; ++i) // ped vector, velocity, both headings
        sync.Put<float>(0);
    sync.Put<float>(100).Put<uint8_t>(0).Put<int32_t>(-1).Put<uint8_t>(0).Put<uint16_t>(0);
    sync.Put<uint16_t>(0).Put<uint16_t>(0).Put<uint8_t>(0).Put<float>(0).Put<uint8_t>(0).Put<uint8_t>(0);
    EXPECT_EQ(SyncPayload(pPed), sync.m_Data);

    // A fresh player's block: 0, 48 zero bytes, 0, true, 4.
    CServerPlayer* pPlayer = world.Add<CServerPlayer>(ELEMENT_PLAYER, {1, 2, 3});
    CBytes player = sync;
    player.Put<uint16_t>(0);
    for (int i = 0; i < 48; ++i)
        player.Put<uint8_t>(0);
    player.Put<uint32_t>(0).Put<uint8_t>(1).Put<uint16_t>(4);
    EXPECT_EQ(SyncPayload(pPlayer), player.m_Data);
}

TEST(ElementPayload, PlayerBlockRoundTripsOnOtherGamesAndIsAbsentOnIV)
{
    {
        CGameWorld world(GAME_III);
        CServerPlayer* pPlayer = world.Add<CServerPlayer>(ELEMENT_PLAYER);
        CBytes bytes = PedSyncBytes(false);
        bytes.Raw(PlayerBlock().m_Data);
        ASSERT_TRUE(ReadAll(bytes.m_Data, &CNetObject::ReadSyncPacket, pPlayer));
        EXPECT_EQ(pPlayer->m_usBlockValue1, 0x1234);
        EXPECT_EQ(pPlayer->m_uiBlockValue2, 0xDEADBEEFu);
        EXPECT_EQ(pPlayer->m_usBlockValue3, 77);
        EXPECT_EQ(SyncPayload(pPlayer), bytes.m_Data);

        // Any non-zero flag byte is stored as true and written back as 1.
        std::vector<uint8_t> flagged = bytes.m_Data;
        flagged[flagged.size() - 3] = 0x80;
        ASSERT_TRUE(ReadAll(flagged, &CNetObject::ReadSyncPacket, pPlayer));
        EXPECT_TRUE(pPlayer->m_bBlockFlag);
        EXPECT_EQ(SyncPayload(pPlayer), bytes.m_Data);
    }
    {
        CGameWorld world(GAME_IV);
        CServerPlayer* pPlayer = world.Add<CServerPlayer>(ELEMENT_PLAYER);
        CServerPed* pPed = world.Add<CServerPed>(ELEMENT_PED);
        // On GTA IV a player's sync is exactly a ped's.
        EXPECT_EQ(SyncPayload(pPlayer), SyncPayload(pPed));
    }
}

TEST(ElementPayload, IVPedSyncCarriesBlobAOnly)
{
    CGameWorld world(GAME_IV);
    CServerPed* pPed = world.Add<CServerPed>(ELEMENT_PED);
    CBytes head;
    head.Put<int32_t>(3);
    for (int i = 0; i < 12; ++i) // position, vector, velocity, headings, health
        head.Put<float>(static_cast<float>(i));
    head.Put<uint8_t>(0).Put<int32_t>(-1).Put<uint8_t>(0).Put<uint16_t>(5);

    // A blob of 1024 bytes is kept and relayed.
    CBytes full = head;
    full.Put<uint16_t>(1024);
    for (int i = 0; i < 1024; ++i)
        full.Put<uint8_t>(static_cast<uint8_t>(i * 7));
    ASSERT_TRUE(ReadAll(full.m_Data, &CNetObject::ReadSyncPacket, pPed));
    EXPECT_EQ(pPed->GetBlobA().m_usLength, 1024);
    EXPECT_EQ(SyncPayload(pPed), full.m_Data);

    // An empty blob is a zero length.
    CBytes empty = head;
    empty.Put<uint16_t>(0);
    ASSERT_TRUE(ReadAll(empty.m_Data, &CNetObject::ReadSyncPacket, pPed));
    EXPECT_EQ(SyncPayload(pPed), empty.m_Data);

    // A length beyond 1024 is kept, its bytes are not read, and the writer sends no blob.
    CBytes tooLong = head;
    tooLong.Put<uint16_t>(1025);
    CMemoryStream stream(tooLong.m_Data.data(), tooLong.m_Data.size());
    EXPECT_TRUE(pPed->ReadSyncPacket(&stream));
    EXPECT_EQ(pPed->GetBlobA().m_usLength, 1025);
    EXPECT_EQ(SyncPayload(pPed), empty.m_Data);
}

TEST(ElementPayload, ClassPayloadsRoundTrip)
{
    // Each element written, read into a fresh element of its class, and written again.
    for (int32_t iGame : {GAME_III, GAME_IV}) {
        SCOPED_TRACE(iGame);
        CGameWorld world(iGame);
        CServerPed* pPed = world.Add<CServerPed>(ELEMENT_PED, {4, 5, 6});
        pPed->SetHeading(1.0f);
        pPed->GiveWeapon(22, 90, true);
        pPed->SetHealth(55.0f);
        pPed->SetArmour(12.0f);
        pPed->SetPedType(21);
        CServerObject* pObject = world.Add<CServerObject>(ELEMENT_OBJECT, {7, 8, 9});
        pObject->SetRotation({0.1f, 0.2f, 0.3f});
        pObject->SetVelocity({1, 1, 1});
        pObject->SetTurnVelocity({0, 0, 2});
        pObject->SetModelIndex(1337);
        CServerBuilding* pBuilding = world.Add<CServerBuilding>(ELEMENT_BUILDING, {1, 1, 1});
        pBuilding->SetInterior(3);
        CServerPlayer* pPlayer = world.Add<CServerPlayer>(ELEMENT_PLAYER, {2, 2, 2});
        pPlayer->m_usBlockValue1 = 99;

        for (CNetObject* pSource : std::initializer_list<CNetObject*>{pPed, pObject, pBuilding, pPlayer}) {
            SCOPED_TRACE(pSource->GetType());
            CNetObject* pCopy = world.Add<CNetObject>(pSource->GetType(), {}, false);
            std::vector<uint8_t> create = CreatePayload(pSource), sync = SyncPayload(pSource);
            EXPECT_TRUE(ReadAll(create, &CNetObject::ReadCreatePacket, pCopy));
            EXPECT_TRUE(ReadAll(sync, &CNetObject::ReadSyncPacket, pCopy));
            EXPECT_EQ(CreatePayload(pCopy), create);
            EXPECT_EQ(SyncPayload(pCopy), sync);
        }
    }
}

TEST(ElementPayload, ShortPayloadsFailAtEveryCut)
{
    CGameWorld world(GAME_III);
    CServerPed* pPed = world.Add<CServerPed>(ELEMENT_PED, {1, 2, 3});
    CServerPlayer* pPlayer = world.Add<CServerPlayer>(ELEMENT_PLAYER);
    CServerObject* pObject = world.Add<CServerObject>(ELEMENT_OBJECT);
    for (CNetObject* pSource : std::initializer_list<CNetObject*>{pPed, pPlayer, pObject}) {
        SCOPED_TRACE(pSource->GetType());
        std::vector<uint8_t> create = CreatePayload(pSource), sync = SyncPayload(pSource);
        for (size_t cut = 0; cut < create.size(); ++cut) {
            CNetObject* pCopy = world.Add<CNetObject>(pSource->GetType(), {}, false);
            std::vector<uint8_t> bytes(create.begin(), create.begin() + static_cast<long>(cut));
            EXPECT_FALSE(ReadAll(bytes, &CNetObject::ReadCreatePacket, pCopy)) << "create cut at " << cut;
        }
        for (size_t cut = 0; cut < sync.size(); ++cut) {
            CNetObject* pCopy = world.Add<CNetObject>(pSource->GetType(), {}, false);
            std::vector<uint8_t> bytes(sync.begin(), sync.begin() + static_cast<long>(cut));
            EXPECT_FALSE(ReadAll(bytes, &CNetObject::ReadSyncPacket, pCopy)) << "sync cut at " << cut;
        }
    }
}

TEST(ElementPayload, SimpleElementRecords)
{
    CGameWorld world(GAME_III);
    CServerPickup* pPickup = world.Add<CServerPickup>(ELEMENT_PICKUP, {1, 2, 3});
    pPickup->m_iModel = 1240;
    CBytes pickup;
    BaseCreate(pickup).Put<float>(1).Put<float>(2).Put<float>(3).Put<int32_t>(1240).Put<uint8_t>(2).Put<int32_t>(0);
    EXPECT_EQ(CreatePayload(pPickup), pickup.m_Data);
    EXPECT_TRUE(SyncPayload(pPickup).empty());

    CServerMarker* pMarker = world.Add<CServerMarker>(ELEMENT_MARKER, {4, 5, 6});
    CBytes marker;
    BaseCreate(marker).Put<float>(4).Put<float>(5).Put<float>(6).Put<float>(1.0f);
    EXPECT_EQ(CreatePayload(pMarker), marker.m_Data);
    EXPECT_TRUE(SyncPayload(pMarker).empty());

    // A dummy's position never leaves the server.
    CServerDummy* pDummy = world.Add<CServerDummy>(ELEMENT_DUMMY, {7, 8, 9});
    CBytes dummy;
    BaseCreate(dummy);
    EXPECT_EQ(CreatePayload(pDummy), dummy.m_Data);
    EXPECT_TRUE(SyncPayload(pDummy).empty());
    CVector3D pos;
    EXPECT_TRUE(pDummy->GetPosition(pos));
    EXPECT_EQ(pos, CVector3D(7, 8, 9));

    // A building relays its transform only; an object adds both velocities.
    CServerBuilding* pBuilding = world.Add<CServerBuilding>(ELEMENT_BUILDING);
    EXPECT_EQ(SyncPayload(pBuilding).size(), 64u);
    CServerObject* pObject = world.Add<CServerObject>(ELEMENT_OBJECT);
    EXPECT_EQ(SyncPayload(pObject).size(), 64u + 24u);
}

TEST(ElementPayload, BlipReportsItsEntityParentsPosition)
{
    CGameWorld world(GAME_III);
    CServerBlip* pBlip = world.Add<CServerBlip>(ELEMENT_BLIP, {1, 1, 1});
    CBytes own;
    BaseCreate(own).Put<float>(1).Put<float>(1).Put<float>(1).Put<uint8_t>(1).Put<uint8_t>(3).Put<uint32_t>(0xFF00FF);
    EXPECT_EQ(CreatePayload(pBlip), own.m_Data);

    CServerVehicle* pVehicle = world.Add<CServerVehicle>(ELEMENT_VEHICLE, {50, 60, 70});
    ASSERT_TRUE(pBlip->SetParent(pVehicle));
    CVector3D pos;
    pBlip->GetPosition(pos);
    EXPECT_EQ(pos, CVector3D(50, 60, 70));
    CBytes attached;
    attached.Put<float>(50).Put<float>(60).Put<float>(70);
    EXPECT_EQ(SyncPayload(pBlip), attached.m_Data);
    // A client's position for an attached blip is not taken.
    CBytes moved;
    moved.Put<float>(9).Put<float>(9).Put<float>(9);
    EXPECT_TRUE(ReadAll(moved.m_Data, &CNetObject::ReadSyncPacket, pBlip));
    ASSERT_TRUE(pBlip->SetParent(nullptr));
    pBlip->GetPosition(pos);
    EXPECT_EQ(pos, CVector3D(1, 1, 1));

    // A parent without bit 1 in its type leaves the blip its own position.
    ElementTesting::CTestElement* pUntyped = new ElementTesting::CTestElement(&world.m_Manager, 0x4000, {5, 5, 5});
    Strong<CNetObject> pKeep = Strong<CNetObject>::Adopt(pUntyped);
    ASSERT_TRUE(world.m_Manager.RegisterNetObject(pUntyped));
    ASSERT_TRUE(pBlip->SetParent(pUntyped));
    pBlip->GetPosition(pos);
    EXPECT_EQ(pos, CVector3D(1, 1, 1));
    ASSERT_TRUE(ReadAll(moved.m_Data, &CNetObject::ReadSyncPacket, pBlip));
    pBlip->SetParent(nullptr);
    pBlip->GetPosition(pos);
    EXPECT_EQ(pos, CVector3D(1, 1, 1));
}
