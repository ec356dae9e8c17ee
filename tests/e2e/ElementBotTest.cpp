// The test client's element decoder and encoders against the server's own element classes,
// in-process: every class's create, sync and delete records as the manager sends them, and
// the local ped and vehicle payloads the bots send.
#include "../Server/ElementFixture.h"
#include "ElementBot.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace ElementFixture;
using TestClient::CBotElement;
using TestClient::CElementTracker;
using TestClient::CReceivedPacket;

namespace
{
    // A registered element of the type with contents that differ from its defaults.
    CNetObject* Populated(CGameWorld& world, int32_t iType)
    {
        CNetObject* p = world.Add<CNetObject>(iType, {11.5f, -22.25f, 3.0f});
        p->SetDimension(4);
        p->SetName("name");
        if (p->IsType(ELEMENT_ENTITY)) {
            auto* pEntity = static_cast<CServerEntity*>(p);
            pEntity->CServerEntity::SetModelIndex(321);
            pEntity->SetInterior(2);
            pEntity->SetEntityFlags(6);
            pEntity->SetRotation({0.1f, 0.2f, 0.3f});
        }
        if (p->IsType(ELEMENT_PHYSICAL))
            static_cast<CServerPhysical*>(p)->SetVelocity({1, 2, 3});
        if (p->IsType(ELEMENT_PED)) {
            auto* pPed = static_cast<CServerPed*>(p);
            pPed->SetPedType(21);
            pPed->SetHealth(42.0f);
            pPed->GiveWeapon(31, 500, true);
        }
        if (p->IsType(ELEMENT_VEHICLE)) {
            auto* pVehicle = static_cast<CServerVehicle*>(p);
            pVehicle->m_bRGBColours = true;
            pVehicle->m_uiRGBColours[2] = 0xFF00FF00;
            pVehicle->m_Damage.m_ucKind = 1;
            pVehicle->m_Damage.m_GroupC[6] = 3;
            pVehicle->m_ucExtraFlags = 1;
            pVehicle->m_fExtra[1] = 9.0f;
            pVehicle->m_fHealth = 777.0f;
        }
        if (p->IsType(ELEMENT_TRAIN))
            static_cast<CServerTrain*>(p)->m_ucTrack = 3;
        if (p->IsType(ELEMENT_BLIP))
            static_cast<CServerBlip*>(p)->m_uiValue = 12;
        if (p->IsType(ELEMENT_PICKUP))
            static_cast<CServerPickup*>(p)->m_iModel = 1240;
        if (p->IsType(ELEMENT_MARKER))
            static_cast<CServerMarker*>(p)->m_fSize = 4.0f;
        // Element data of several kinds, nested ones included, precede the class payload.
        CArgumentString text("some text");
        p->SetData("text", &text, false);
        Strong<CArgumentArray> pArray = MakeStrong<CArgumentArray>();
        pArray->AddNumber(7);
        pArray->AddVector3D({1, 2, 3});
        pArray->AddMatrix4x4(CMatrix4x4::Identity());
        pArray->AddString("inner");
        p->SetData("array", pArray, false);
        CArgumentDouble number(2.5);
        p->SetData("number", &number, false);
        return p;
    }

    CReceivedPacket AsReceived(const SentPacket& sent)
    {
        CReceivedPacket packet;
        packet.uiId = sent.m_uiId;
        packet.ucChannel = sent.m_ucChannel;
        packet.payload = sent.m_Payload;
        return packet;
    }
}

TEST(ElementBot, DecodesTheRecordsOfEveryClassAsTheServerSendsThem)
{
    const int32_t types[] = {ELEMENT_PED, ELEMENT_PLAYER, ELEMENT_VEHICLE, ELEMENT_TRAIN, ELEMENT_BLIP, ELEMENT_OBJECT,
        ELEMENT_BUILDING, ELEMENT_PICKUP, ELEMENT_MARKER, ELEMENT_DUMMY};
    for (int32_t iGame : {GAME_III, GAME_IV}) {
        SCOPED_TRACE(iGame);
        CGameWorld world(iGame);
        CNetMachine* pClient = world.AddClient(0);
        CNetMachine* pSyncer = world.AddClient(1);
        // The client's player stands in the elements' dimension.
        world.AddPlayer(pClient, {0, 0, 0})->SetDimension(4);
        std::vector<CNetObject*> elements;
        for (int32_t iType : types) {
            CNetObject* p = Populated(world, iType);
            p->SetSyncer(pSyncer, true);
            elements.push_back(p);
        }
        // Somebody in the vehicle and the train, so that both relay their sync.
        for (int32_t iType : {ELEMENT_VEHICLE, ELEMENT_TRAIN}) {
            CServerPed* pDriver = world.Add<CServerPed>(ELEMENT_PED);
            std::vector<uint8_t> sync = SyncPayload(pDriver);
            int32_t iId = elements[iType == ELEMENT_VEHICLE ? 2 : 3]->GetId();
            sync[52] = VEHICLE_STATE_INSIDE;
            memcpy(&sync[53], &iId, 4);
            ASSERT_TRUE(ReadAll(sync, &CNetObject::ReadSyncPacket, pDriver));
        }

        CElementTracker tracker(iGame == GAME_IV);
        world.m_Sender.Clear();
        world.m_Manager.StreamPass();
        world.m_Manager.SyncPass(PACKET_PRIORITY_LOW, PACKET_FLAG_NONE);
        for (const SentPacket& sent : world.m_Sender.m_Sent)
            if (sent.m_iClient == 0)
                tracker.OnPacket(AsReceived(sent));
        EXPECT_EQ(tracker.m_ullBadRecords, 0u);
        EXPECT_GT(tracker.m_ullSyncRecords, 0u);

        for (CNetObject* p : elements) {
            SCOPED_TRACE(p->GetType());
            const CBotElement* e = tracker.Find(p->GetId());
            ASSERT_TRUE(e);
            EXPECT_EQ(e->iType, p->GetType());
            EXPECT_EQ(e->iSyncer, 1);
            EXPECT_EQ(e->iDimension, 4);
            EXPECT_EQ(e->strName, "name");
            EXPECT_EQ(e->usDataEntries, 3);
            CVector3D pos;
            p->GetPosition(pos);
            // A dummy's position stays on the server; a train on its track sends a track position.
            if (!p->IsType(ELEMENT_DUMMY) && !p->IsType(ELEMENT_TRAIN)) {
                EXPECT_TRUE((e->GetPosition() == TestClient::CBotVector{pos.x, pos.y, pos.z}));
            }
            if (p->IsType(ELEMENT_ENTITY)) {
                EXPECT_EQ(e->iModel, 321);
                EXPECT_EQ(e->ucInterior, 2);
                EXPECT_EQ(e->ucEntityFlags, 6);
            }
            // Re-encoding what was decoded gives the server's bytes back.
            std::vector<uint8_t> sync = SyncPayload(p);
            EXPECT_EQ(TestClient::EncodeSyncPayload(*e, iGame == GAME_IV), sync);
        }
        auto* pPedElement = tracker.Find(elements[0]->GetId());
        EXPECT_EQ(pPedElement->iPedType, 21);
        EXPECT_EQ(pPedElement->usWeapon, 31);
        EXPECT_EQ(pPedElement->fHealth, 42.0f);
        auto* pVehicleElement = tracker.Find(elements[2]->GetId());
        EXPECT_EQ(pVehicleElement->rgb[2], 0xFF00FF00u);
        EXPECT_EQ(pVehicleElement->fVehicleHealth, 777.0f);
        EXPECT_EQ(tracker.Find(elements[3]->GetId())->ucTrack, 3);
        EXPECT_EQ(tracker.Find(elements[4]->GetId())->uiBlipValue, 12u);
        EXPECT_EQ(tracker.Find(elements[7]->GetId())->iPickupModel, 1240);
        EXPECT_EQ(tracker.Find(elements[8]->GetId())->fMarkerSize, 4.0f);

        // Deletes take elements away.
        world.m_Sender.Clear();
        int32_t iGone = elements[5]->GetId();
        world.m_Manager.DestroyObject(elements[5], true, false);
        for (const SentPacket& sent : world.m_Sender.m_Sent)
            if (sent.m_iClient == 0)
                tracker.OnPacket(AsReceived(sent));
        EXPECT_EQ(tracker.Find(iGone), nullptr);
        EXPECT_EQ(tracker.m_ullDeleteRecords, 1u);
    }
}

TEST(ElementBot, LocalPedAndVehiclePayloadsReadBackOnTheServer)
{
    for (int32_t iGame : {GAME_III, GAME_IV}) {
        SCOPED_TRACE(iGame);
        bool bIV = iGame == GAME_IV;
        CGameWorld world(iGame);
        CBotElement ped;
        ped.iType = TestClient::TYPE_PED;
        ped.iModel = 7;
        ped.iPedType = 4;
        ped.SetHeading(0.5f);
        ped.fCurrentHeading = ped.fHeading = 0.5f;
        ped.SetPosition({5, 6, 7});
        ped.usWeapon = 22;
        ped.blob = {1, 2, 3};
        CBotElement vehicle;
        vehicle.iType = TestClient::TYPE_VEHICLE;
        vehicle.iModel = 90;
        vehicle.ucEntityFlags = 1;
        vehicle.iVehicleFlags = 5;
        vehicle.palette[1] = 9;
        vehicle.damage = {0x06};
        vehicle.SetPosition({1, 2, 3});

        for (const CBotElement* e : {&ped, &vehicle}) {
            SCOPED_TRACE(e->iType);
            CServerEntity* p = world.Add<CServerEntity>(e->iType, {}, false);
            std::vector<uint8_t> create = TestClient::EncodeCreatePayload(*e);
            std::vector<uint8_t> sync = TestClient::EncodeSyncPayload(*e, bIV);
            ASSERT_TRUE(ReadAll(create, &CNetObject::ReadCreatePacket, p));
            ASSERT_TRUE(ReadAll(sync, &CNetObject::ReadSyncPacket, p));
            EXPECT_EQ(p->GetModelIndex(), e->iModel);
            EXPECT_EQ(CreatePayload(p), create);
            EXPECT_EQ(SyncPayload(p), sync);
            CVector3D pos;
            p->GetPosition(pos);
            EXPECT_TRUE((TestClient::CBotVector{pos.x, pos.y, pos.z} == e->GetPosition()));
        }
    }
}
