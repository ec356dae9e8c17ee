// Vehicle and train payloads: create flags and colours, the sync with its packed damage
// state, the GTA IV variant, and the train's flags and track sync.
#include "ElementFixture.h"

#include <gtest/gtest.h>

using namespace ElementFixture;

namespace
{
    // The entity part of a vehicle's create payload (model 90, interior 0, flag byte 0).
    CBytes VehicleCreateHead()
    {
        CBytes b;
        BaseCreate(b).Put<int32_t>(90).Put<uint8_t>(0).Put<uint8_t>(0);
        return b;
    }

    CVehicleDamage DamageFromBytes(const std::vector<uint8_t>& bytes)
    {
        CVehicleDamage damage;
        CMemoryStream stream(bytes.data(), bytes.size());
        CBinaryReader reader(&stream);
        EXPECT_TRUE(damage.Read(reader));
        EXPECT_EQ(stream.GetRemaining(), 0);
        return damage;
    }

    std::vector<uint8_t> DamageBytes(const CVehicleDamage& damage)
    {
        CUnlimitedStream stream;
        CBinaryWriter writer(&stream);
        EXPECT_TRUE(damage.Write(writer));
        return std::vector<uint8_t>(stream.GetData(), stream.GetData() + stream.GetSize());
    }
}

TEST(VehiclePayload, CreateFlagsAndColours)
{
    CGameWorld world(GAME_III);
    struct
    {
        bool bGrip, bRGB, bEngine;
        int32_t iFlags;
    } cases[] = {
        {false, false, false, 0}, {true, false, false, 1}, {false, true, false, 2}, {false, false, true, 4},
        {true, true, true, 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.iFlags);
        CServerVehicle* pVehicle = world.Add<CServerVehicle>(ELEMENT_VEHICLE);
        pVehicle->CServerEntity::SetModelIndex(90);
        pVehicle->m_bStrongGrip = c.bGrip;
        pVehicle->m_bRGBColours = c.bRGB;
        pVehicle->m_bEngine = c.bEngine;
        pVehicle->m_iLockStatus = 2;
        uint8_t palette[4] = {1, 3, 5, 7};
        uint32_t rgb[4] = {0xFF102030, 0xFF405060, 0x80000001, 0};
        for (int i = 0; i < 4; ++i) {
            pVehicle->m_ucColours[i] = palette[i];
            pVehicle->m_uiRGBColours[i] = rgb[i];
        }
        CBytes expected = VehicleCreateHead();
        expected.Put<int32_t>(c.iFlags).Put<uint8_t>(2);
        for (int i = 0; i < 4; ++i) {
            if (c.bRGB)
                expected.Put<uint32_t>(rgb[i]);
            else
                expected.Put<uint8_t>(palette[i]);
        }
        EXPECT_EQ(CreatePayload(pVehicle), expected.m_Data);

        CServerVehicle* pCopy = world.Add<CServerVehicle>(ELEMENT_VEHICLE, {}, false);
        ASSERT_TRUE(ReadAll(expected.m_Data, &CNetObject::ReadCreatePacket, pCopy));
        EXPECT_EQ(pCopy->m_bStrongGrip, c.bGrip);
        EXPECT_EQ(pCopy->m_bRGBColours, c.bRGB);
        EXPECT_EQ(pCopy->m_bEngine, c.bEngine);
        EXPECT_EQ(pCopy->m_iLockStatus, 2);
        EXPECT_EQ(CreatePayload(pCopy), expected.m_Data);
    }
}

TEST(VehiclePayload, DamageKindsPackExactly)
{
    // Kind 1: a 32-bit word with the kind and groups A, B, C, then a byte with group D.
    CVehicleDamage one;
    one.m_ucKind = 1;
    uint8_t a[6] = {1, 2, 3, 0, 1, 2}, b[4] = {1, 0, 1, 1}, c[7] = {3, 2, 1, 0, 3, 2, 1}, d[4] = {2, 3, 0, 1};
    uint32_t word = 1;
    for (int i = 0; i < 6; ++i)
        word |= uint32_t(a[i]) << (2 + 2 * i), one.m_GroupA[i] = a[i];
    for (int i = 0; i < 4; ++i)
        word |= uint32_t(b[i]) << (14 + i), one.m_GroupB[i] = b[i];
    for (int i = 0; i < 7; ++i)
        word |= uint32_t(c[i]) << (18 + 2 * i), one.m_GroupC[i] = c[i];
    uint8_t last = 0;
    for (int i = 0; i < 4; ++i)
        last |= static_cast<uint8_t>(d[i] << (2 * i)), one.m_GroupD[i] = d[i];
    std::vector<uint8_t> oneBytes = {static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8),
        static_cast<uint8_t>(word >> 16), static_cast<uint8_t>(word >> 24), last};
    EXPECT_EQ(DamageBytes(one), oneBytes);
    EXPECT_EQ(DamageFromBytes(oneBytes), one);
    // Hand-checked corners: group A value 1 sits at bits 2-3, group C value 7 at bits 30-31.
    CVehicleDamage corners;
    corners.m_ucKind = 1;
    corners.m_GroupA[0] = 3;
    corners.m_GroupC[6] = 3;
    corners.m_GroupB[3] = 1;
    EXPECT_EQ(DamageBytes(corners), (std::vector<uint8_t>{0x0D, 0x00, 0x02, 0xC0, 0x00}));

    // Kind 2: one byte with the first two values of group D.
    CVehicleDamage two;
    two.m_ucKind = 2;
    two.m_GroupD[0] = 3;
    two.m_GroupD[1] = 1;
    two.m_GroupD[2] = 2; // not carried by kind 2
    EXPECT_EQ(DamageBytes(two), (std::vector<uint8_t>{0x1E}));
    CVehicleDamage twoRead = DamageFromBytes({0x1E});
    EXPECT_EQ(twoRead.m_ucKind, 2);
    EXPECT_EQ(twoRead.m_GroupD[0], 3);
    EXPECT_EQ(twoRead.m_GroupD[1], 1);

    // Kinds 0 and 3: the kind alone; upper bits of the byte are ignored when reading.
    for (uint8_t ucKind : {0, 3}) {
        CVehicleDamage plain;
        plain.m_ucKind = ucKind;
        plain.m_GroupA[0] = 3;
        EXPECT_EQ(DamageBytes(plain), (std::vector<uint8_t>{ucKind}));
        EXPECT_EQ(DamageFromBytes({static_cast<uint8_t>(0xFC | ucKind)}).m_ucKind, ucKind);
    }

    // Values written wider than their field are cut to it.
    CVehicleDamage wide;
    wide.m_ucKind = 1;
    wide.m_GroupA[0] = 0xFF;
    wide.m_GroupB[0] = 0xFF;
    EXPECT_EQ(DamageFromBytes(DamageBytes(wide)).m_GroupA[0], 3);
    EXPECT_EQ(DamageFromBytes(DamageBytes(wide)).m_GroupB[0], 1);
    EXPECT_EQ(DamageFromBytes(DamageBytes(wide)).m_GroupA[1], 0);

    // A kind-1 state cut short fails.
    CVehicleDamage cut;
    std::vector<uint8_t> shortBytes = {0x01, 0x00, 0x00};
    CMemoryStream stream(shortBytes.data(), shortBytes.size());
    CBinaryReader reader(&stream);
    EXPECT_FALSE(cut.Read(reader));
}

TEST(VehiclePayload, SyncRoundTripsAndIsShorterOnIV)
{
    CGameWorld world(GAME_SA);
    CServerVehicle* pVehicle = world.Add<CServerVehicle>(ELEMENT_VEHICLE, {100, 200, 10});
    pVehicle->SetRotation({0, 0, 1.5f});
    pVehicle->SetVelocity({3, 4, 0});
    pVehicle->m_bSyncFlag = true;
    pVehicle->m_fHealth = 650.0f;
    pVehicle->m_fValues[1] = 2.5f;
    pVehicle->m_bVehicleByte = true;
    pVehicle->m_uiVehicleWord = 0x01020304;
    pVehicle->m_Damage.m_ucKind = 1;
    pVehicle->m_Damage.m_GroupC[2] = 2;
    pVehicle->m_ucExtraFlags = 1;
    pVehicle->m_fExtra[0] = 0.5f;
    pVehicle->m_fExtra[1] = -0.5f;
    std::vector<uint8_t> sync = SyncPayload(pVehicle);
    // physical 88, flag 4, four singles 16, byte 1, word 4, damage 5, extras 1 + 8
    EXPECT_EQ(sync.size(), 88u + 4 + 16 + 1 + 4 + 5 + 1 + 8);
    CServerVehicle* pCopy = world.Add<CServerVehicle>(ELEMENT_VEHICLE, {}, false);
    ASSERT_TRUE(ReadAll(sync, &CNetObject::ReadSyncPacket, pCopy));
    EXPECT_EQ(SyncPayload(pCopy), sync);
    EXPECT_EQ(pCopy->m_Damage, pVehicle->m_Damage);

    // The sync flag keeps bit 0 only; the vehicle byte is true for any non-zero value.
    std::vector<uint8_t> odd = sync;
    odd[88] = 0xFE;           // flag 0xFE: bit 0 clear
    odd[88 + 4 + 16] = 0x40;  // vehicle byte
    ASSERT_TRUE(ReadAll(odd, &CNetObject::ReadSyncPacket, pCopy));
    EXPECT_FALSE(pCopy->m_bSyncFlag);
    EXPECT_TRUE(pCopy->m_bVehicleByte);

    // Without extra flag bit 0 the extra singles are absent.
    pVehicle->m_ucExtraFlags = 2;
    EXPECT_EQ(SyncPayload(pVehicle).size(), sync.size() - 8);

    // On GTA IV the sync ends after the four singles.
    CGameWorld iv(GAME_IV);
    CServerVehicle* pIV = iv.Add<CServerVehicle>(ELEMENT_VEHICLE);
    pIV->m_Damage.m_ucKind = 1;
    std::vector<uint8_t> ivSync = SyncPayload(pIV);
    EXPECT_EQ(ivSync.size(), 88u + 4 + 16);
    CServerVehicle* pIVCopy = iv.Add<CServerVehicle>(ELEMENT_VEHICLE, {}, false);
    EXPECT_TRUE(ReadAll(ivSync, &CNetObject::ReadSyncPacket, pIVCopy));

    // A vehicle byte missing leaves the byte as it was and fails the read.
    std::vector<uint8_t> cut(sync.begin(), sync.begin() + 88 + 4 + 16);
    pCopy->m_bVehicleByte = true;
    EXPECT_FALSE(ReadAll(cut, &CNetObject::ReadSyncPacket, pCopy));
    EXPECT_TRUE(pCopy->m_bVehicleByte);
}

TEST(VehiclePayload, TrainFlagsCreateAndSync)
{
    CGameWorld world(GAME_III);
    CServerTrain* pTrain = world.Add<CServerTrain>(ELEMENT_TRAIN, {10, 20, 30});
    // A new train is on its track with both lights on.
    EXPECT_EQ(pTrain->GetTrainFlags(), TRAIN_FLAG_HEADLIGHTS | TRAIN_FLAG_TAILLIGHTS);
    pTrain->CServerEntity::SetModelIndex(90);
    pTrain->m_ucTrack = 2;
    pTrain->m_bTrainFlag = true;
    pTrain->m_fTrackPosition = 123.5f;
    pTrain->m_fSpeed = 0.75f;

    std::vector<uint8_t> vehicleCreate = Written([&](Stream* s) { return pTrain->CServerVehicle::WriteCreatePacket(s); });
    CBytes create;
    create.Raw(vehicleCreate).Put<uint8_t>(0x0D).Put<uint8_t>(2);
    EXPECT_EQ(CreatePayload(pTrain), create.m_Data);

    CBytes onTrack;
    onTrack.Put<uint8_t>(0x0D).Put<float>(123.5f).Put<float>(0.75f);
    EXPECT_EQ(SyncPayload(pTrain), onTrack.m_Data);

    // A client's sync changes only the derailed bit; lights and train flag stay with scripts.
    CServerTrain* pCopy = world.Add<CServerTrain>(ELEMENT_TRAIN, {}, false);
    ASSERT_TRUE(ReadAll(create.m_Data, &CNetObject::ReadCreatePacket, pCopy));
    EXPECT_EQ(pCopy->GetTrainFlags(), 0x0D);
    EXPECT_EQ(pCopy->m_ucTrack, 2);
    CBytes clientTrack;
    clientTrack.Put<uint8_t>(0x00).Put<float>(50.0f).Put<float>(1.0f);
    ASSERT_TRUE(ReadAll(clientTrack.m_Data, &CNetObject::ReadSyncPacket, pCopy));
    EXPECT_EQ(pCopy->GetTrainFlags(), 0x0D);
    EXPECT_EQ(pCopy->m_fTrackPosition, 50.0f);

    // Derailed: the flags, then the whole vehicle sync.
    pTrain->m_bDerailed = true;
    std::vector<uint8_t> vehicleSync = Written([&](Stream* s) { return pTrain->CServerVehicle::WriteSyncPacket(s); });
    std::vector<uint8_t> derailed = SyncPayload(pTrain);
    ASSERT_EQ(derailed.size(), 1 + vehicleSync.size());
    EXPECT_EQ(derailed[0], 0x0F);
    EXPECT_TRUE(std::equal(vehicleSync.begin(), vehicleSync.end(), derailed.begin() + 1));
    ASSERT_TRUE(ReadAll(derailed, &CNetObject::ReadSyncPacket, pCopy));
    EXPECT_TRUE(pCopy->m_bDerailed);
    CVector3D pos;
    pCopy->GetPosition(pos);
    EXPECT_EQ(pos, CVector3D(10, 20, 30));
}
